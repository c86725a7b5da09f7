// The registry accessor and routines on the simulated machine: key paths, the recursive delete,
// value types, lazy writing, the failure messages and the RunOnce entry on every Windows line.
#include "system/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/exceptions.h"
#include "support/memory_machine.h"
#include "support/path_fixtures.h"

namespace tmby {
namespace {

using platform::OsVersion;
using platform::PlatformId;
using platform::RegValueType;
using platform::RootKey;

constexpr int kHKCU = 2;
constexpr int kHKLM = 4;
const char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

class RegistryTest : public testing::MemoryMachineTest {};

TEST_F(RegistryTest, RootNumbersMapBothWaysAndOutOfRangeFallsBack) {
  const RootKey roots[] = {RootKey::ClassesRoot, RootKey::CurrentConfig, RootKey::CurrentUser,
                           RootKey::DynData,     RootKey::LocalMachine,  RootKey::Users};
  for (int n = 0; n < 6; ++n) {
    EXPECT_EQ(RootKeyOfNumber(n, RootKey::Users), roots[n]);
    EXPECT_EQ(NumberOfRootKey(roots[n], -1), n);
  }
  EXPECT_EQ(RootKeyOfNumber(6, RootKey::DynData), RootKey::DynData);
  EXPECT_EQ(RootKeyOfNumber(-1, RootKey::DynData), RootKey::DynData);
  EXPECT_EQ(NumberOfRootKey(static_cast<RootKey>(42), 7), 7);

  TtmbyRegistry reg;
  EXPECT_EQ(reg.RootKey(), RootKey::CurrentUser);  // the accessor's default
  reg.SetRootKeyNumber(4);
  EXPECT_EQ(reg.RootKey(), RootKey::LocalMachine);
  reg.SetRootKeyNumber(9);  // leaves the root as it was
  EXPECT_EQ(reg.RootKey(), RootKey::LocalMachine);

  // The routines: a number above 5 works on the accessor's default root.
  WriteRegString(9, "\\Software\\Odd", "V", "x");
  EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser, "Software\\Odd", "V"), "x");
}

TEST_F(RegistryTest, OpenKeyFollowsAbsoluteAndRelativePaths) {
  TtmbyRegistry reg;
  EXPECT_FALSE(reg.OpenKey("\\Software\\Vendor", false));  // missing, not created
  EXPECT_FALSE(Reg().KeyExists(RootKey::CurrentUser, "Software\\Vendor"));
  EXPECT_FALSE(reg.HasCurrentKey());

  ASSERT_TRUE(reg.OpenKey("\\Software\\Vendor\\Product", true));  // the whole path is created
  EXPECT_EQ(reg.CurrentPath(), "Software\\Vendor\\Product");
  ASSERT_TRUE(reg.OpenKey("Settings", true));  // relative to the open key
  EXPECT_EQ(reg.CurrentPath(), "Software\\Vendor\\Product\\Settings");
  EXPECT_TRUE(Reg().KeyExists(RootKey::CurrentUser, "Software\\Vendor\\Product\\Settings"));
  EXPECT_TRUE(reg.KeyExists("\\Software\\Vendor"));
  EXPECT_FALSE(reg.KeyExists("Software"));  // relative: below ...\Settings

  ASSERT_TRUE(reg.OpenKey("\\Software\\Vendor\\", false));  // a trailing backslash is harmless
  EXPECT_EQ(reg.CurrentPath(), "Software\\Vendor");
  EXPECT_FALSE(reg.OpenKey("Missing", false));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Vendor");  // a failed open keeps the key

  reg.CloseKey();
  ASSERT_TRUE(reg.OpenKeyReadOnly("Software"));  // relative without an open key: from the root
  EXPECT_EQ(reg.CurrentPath(), "Software");
  EXPECT_EQ(reg.GetKeyNames(), std::vector<std::string>{"Vendor"});
  EXPECT_TRUE(reg.HasSubKeys());
}

TEST_F(RegistryTest, DeleteKeyRemovesWholeTreesAndNothingElse) {
  WriteRegString(kHKLM, "\\SOFTWARE\\QRN\\Install\\Install0\\Unfinished", "a.dll", "0");
  WriteRegString(kHKLM, "\\SOFTWARE\\QRN\\Install\\Install0\\Box\\Deep\\Deeper", "v", "1");
  WriteRegInteger(kHKLM, "\\SOFTWARE\\QRN\\Install\\Install0", "Size", 7);
  WriteRegString(kHKLM, "\\SOFTWARE\\QRN\\Install\\Install1", "Path", "keep");

  TtmbyRegistry reg;
  reg.SetRootKey(RootKey::LocalMachine);
  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\QRN\\Install", false));
  EXPECT_TRUE(reg.DeleteKey("Install0"));  // relative to the open key
  EXPECT_FALSE(Reg().KeyExists(RootKey::LocalMachine, "SOFTWARE\\QRN\\Install\\Install0"));
  EXPECT_EQ(Reg().ReadString(RootKey::LocalMachine, "SOFTWARE\\QRN\\Install\\Install1", "Path"),
            "keep");
  EXPECT_EQ(reg.CurrentPath(), "SOFTWARE\\QRN\\Install");  // the open key survives

  EXPECT_FALSE(reg.DeleteKey("Install0"));  // missing now
  // The open key itself: deleted, and the accessor lets go of it.
  EXPECT_TRUE(reg.DeleteKey(""));
  EXPECT_FALSE(reg.HasCurrentKey());
  EXPECT_TRUE(Reg().KeyExists(RootKey::LocalMachine, "SOFTWARE\\QRN"));
}

TEST_F(RegistryTest, DeleteKeyNeverEmptiesAWholeRoot) {
  WriteRegString(kHKCU, "\\Software\\A", "v", "1");
  WriteRegString(kHKCU, "\\Control Panel\\Desktop", "v", "1");
  TtmbyRegistry reg;
  EXPECT_FALSE(reg.DeleteKey("\\"));
  EXPECT_FALSE(reg.DeleteKey(""));
  DeleteRegKeyTree(kHKCU, "\\");
  DeleteRegKeyTree(kHKCU, "");
  EXPECT_TRUE(Reg().KeyExists(RootKey::CurrentUser, "Software\\A"));
  EXPECT_TRUE(Reg().KeyExists(RootKey::CurrentUser, "Control Panel\\Desktop"));
}

TEST_F(RegistryTest, ValuesRoundTripWithTheirTypes) {
  TtmbyRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Values", true));
  ASSERT_TRUE(reg.WriteString("Name", "Lakeside Notes"));
  ASSERT_TRUE(reg.WriteExpandString("Home", "%ProgramFiles%\\Lakeside"));
  ASSERT_TRUE(reg.WriteInteger("Count", -5));
  ASSERT_TRUE(reg.WriteDateTime("When", 38000.75));

  EXPECT_EQ(reg.ReadString("Name"), "Lakeside Notes");
  EXPECT_EQ(reg.ReadString("Home"), "%ProgramFiles%\\Lakeside");  // not expanded
  EXPECT_EQ(reg.ReadInteger("Count"), -5);
  EXPECT_EQ(reg.ReadDateTime("When"), 38000.75);
  EXPECT_EQ(reg.GetDataType("Home"), RegValueType::ExpandString);

  // A date-time is the 8 little-endian bytes of the double: 38000.75 = 0x40E28E1800000000.
  EXPECT_EQ(reg.GetDataType("When"), RegValueType::Binary);
  EXPECT_EQ(reg.ReadBinaryData("When"),
            (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x00, 0x18, 0x8E, 0xE2, 0x40}));

  // Reads of another type, or of a binary value of the wrong size, give nothing.
  EXPECT_FALSE(reg.ReadInteger("Name"));
  EXPECT_FALSE(reg.ReadString("Count"));
  EXPECT_FALSE(reg.ReadDateTime("Name"));
  ASSERT_TRUE(reg.WriteBinaryData("Short", {1, 2, 3}));
  EXPECT_FALSE(reg.ReadDateTime("Short"));

  EXPECT_TRUE(reg.ValueExists("Count"));
  EXPECT_TRUE(reg.DeleteValue("Count"));
  EXPECT_FALSE(reg.ValueExists("Count"));
  std::vector<std::string> names = reg.GetValueNames();
  EXPECT_EQ(names.size(), 4u);

  reg.CloseKey();  // nothing is open: every value operation fails quietly
  EXPECT_FALSE(reg.ReadString("Name"));
  EXPECT_FALSE(reg.WriteString("Name", "x"));
  EXPECT_TRUE(reg.GetValueNames().empty());
}

TEST_F(RegistryTest, WritesWithLazyWritingOffAreFlushed) {
  TtmbyRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Flush", true));
  ASSERT_TRUE(reg.WriteString("Lazy", "1"));
  EXPECT_EQ(Machine().RegistryFlushes(), 0);
  reg.SetLazyWrite(false);
  ASSERT_TRUE(reg.WriteString("Now", "1"));
  EXPECT_EQ(Machine().RegistryFlushes(), 1);
  EXPECT_TRUE(Reg().LazyWrite());  // the port's own setting is left as it was
}

TEST_F(RegistryTest, ReadRoutinesFallBackToTheDefault) {
  EXPECT_EQ(ReadRegString(kHKLM, "\\SOFTWARE\\Nowhere", "V", "dflt"), "dflt");
  EXPECT_EQ(ReadRegInteger(kHKLM, "\\SOFTWARE\\Nowhere", "V", 42), 42);
  EXPECT_FALSE(Reg().KeyExists(RootKey::LocalMachine, "SOFTWARE\\Nowhere"));  // nothing created

  WriteRegString(kHKLM, "\\SOFTWARE\\Here", "Text", "abc");
  WriteRegInteger(kHKLM, "\\SOFTWARE\\Here", "Number", 17);
  EXPECT_EQ(ReadRegString(kHKLM, "\\SOFTWARE\\Here", "Missing", "dflt"), "dflt");
  EXPECT_EQ(ReadRegString(kHKLM, "\\SOFTWARE\\Here", "Text", "dflt"), "abc");
  EXPECT_EQ(ReadRegInteger(kHKLM, "\\SOFTWARE\\Here", "Number", 0), 17);
  EXPECT_EQ(ReadRegInteger(kHKLM, "SOFTWARE\\Here", "Number", 0), 17);  // no leading "\" too
  // A value of the wrong type reads as the default.
  EXPECT_EQ(ReadRegString(kHKLM, "\\SOFTWARE\\Here", "Number", "dflt"), "dflt");
  EXPECT_EQ(ReadRegInteger(kHKLM, "\\SOFTWARE\\Here", "Text", -1), -1);
  // Another root does not see the values.
  EXPECT_EQ(ReadRegString(kHKCU, "\\SOFTWARE\\Here", "Text", "dflt"), "dflt");
  EXPECT_EQ(ReadRegString(99, "\\SOFTWARE\\Here", "Text", "dflt"), "dflt");  // HKCU
}

TEST_F(RegistryTest, RefusedWritesRaiseWithTheirMessagesAndKeepOldValues) {
  WriteRegString(kHKLM, "\\SOFTWARE\\Help", "OLD.HLP", "C:\\Old");
  Machine().RefuseRegistryWrites(true);
  EXPECT_EQ(fixtures::MessageOf<EIRCannotWriteValue>(
                [&] { WriteRegString(kHKLM, "\\SOFTWARE\\Help", "OLD.HLP", "C:\\New"); }),
            "Cannot install into registry. Key: \\SOFTWARE\\Help Ident: OLD.HLP "
            "Value C:\\New");
  // The key cannot be created: the message is the key path alone.
  EXPECT_EQ(fixtures::MessageOf<EIRCannotWriteValue>(
                [&] { WriteRegInteger(kHKLM, "\\SOFTWARE\\Fresh\\Key", "Size", 5); }),
            "\\SOFTWARE\\Fresh\\Key");
  EXPECT_NO_THROW(DeleteRegKeyTree(kHKLM, "\\SOFTWARE\\Help"));  // errors ignored
  Machine().RefuseRegistryWrites(false);
  EXPECT_EQ(ReadRegString(kHKLM, "\\SOFTWARE\\Help", "OLD.HLP", ""), "C:\\Old");
  EXPECT_FALSE(Reg().KeyExists(RootKey::LocalMachine, "SOFTWARE\\Fresh"));
}

TEST_F(RegistryTest, OverlongKeyNamesFailCleanly) {
  const std::string key = "\\Software\\" + std::string(300, 'k');
  EXPECT_THROW(WriteRegString(kHKCU, key, "V", "x"), EIRCannotWriteValue);
  EXPECT_THROW(WriteRegInteger(kHKCU, key, "V", 1), EIRCannotWriteValue);
  EXPECT_EQ(ReadRegString(kHKCU, key, "V", "dflt"), "dflt");
  EXPECT_EQ(ReadRegInteger(kHKCU, key, "V", 3), 3);
  EXPECT_NO_THROW(DeleteRegKeyTree(kHKCU, key));
  TtmbyRegistry reg;
  EXPECT_FALSE(reg.OpenKey(key, true));
  EXPECT_FALSE(reg.HasCurrentKey());
  // Blanks are a valid key name, as on Windows.
  WriteRegString(kHKCU, "\\Software\\   ", "V", "blank");
  EXPECT_EQ(ReadRegString(kHKCU, "\\Software\\   ", "V", ""), "blank");
}

TEST_F(RegistryTest, DeleteRegKeyTreeIgnoresMissingKeys) {
  EXPECT_NO_THROW(DeleteRegKeyTree(kHKLM, "\\SOFTWARE\\Nothing\\Here"));
  WriteRegString(kHKLM, "\\SOFTWARE\\Tree\\A\\B", "v", "1");
  WriteRegString(kHKLM, "\\SOFTWARE\\Tree\\C", "v", "1");
  DeleteRegKeyTree(kHKLM, "\\SOFTWARE\\Tree");
  EXPECT_FALSE(Reg().KeyExists(RootKey::LocalMachine, "SOFTWARE\\Tree"));
  EXPECT_TRUE(Reg().KeyExists(RootKey::LocalMachine, "SOFTWARE"));
}

TEST_F(RegistryTest, AddRunOnceChoosesTheRootByWindowsLine) {
  struct Row {
    OsVersion version;
    RootKey root;
  };
  const Row rows[] = {
      {{PlatformId::NT, 5, 1, 2600, ""}, RootKey::CurrentUser},         // XP
      {{PlatformId::NT, 5, 0, 2195, ""}, RootKey::CurrentUser},         // 2000
      {{PlatformId::NT, 4, 0, 1381, ""}, RootKey::CurrentUser},         // NT 4
      {{PlatformId::NT, 3, 51, 1057, ""}, RootKey::LocalMachine},       // NT 3.51: not the family
      {{PlatformId::NT, 6, 1, 7601, ""}, RootKey::CurrentUser},         // 7, counted as XP
      {{PlatformId::Windows, 4, 10, 2222, ""}, RootKey::LocalMachine},  // 98
      {{PlatformId::Windows, 4, 0, 950, ""}, RootKey::LocalMachine},    // 95
      {{PlatformId::Win32s, 3, 10, 0, ""}, RootKey::LocalMachine},
  };
  for (const Row& row : rows) {
    Machine().SetVersion(row.version);
    DeleteRegKeyTree(kHKCU, "\\Software");
    DeleteRegKeyTree(kHKLM, "\\Software");
    Machine().ClearRecords();
    ASSERT_TRUE(AddRunOnce("TamberlyUnfinished", "\"C:\\SETUP.EXE\" -r", true));
    RootKey other = row.root == RootKey::CurrentUser ? RootKey::LocalMachine : RootKey::CurrentUser;
    EXPECT_EQ(Reg().ReadString(row.root, kRunOnce, "TamberlyUnfinished"), "\"C:\\SETUP.EXE\" -r")
        << row.version.major << "." << row.version.minor;
    EXPECT_FALSE(Reg().KeyExists(other, kRunOnce));
    EXPECT_GE(Machine().RegistryFlushes(), 1);  // written with lazy writing off
  }
}

TEST_F(RegistryTest, AddRunOnceTakesTheFirstFreeNameOrOverwrites) {
  ASSERT_TRUE(AddRunOnce("X", "first", true));
  ASSERT_TRUE(AddRunOnce("X", "second", true));
  ASSERT_TRUE(AddRunOnce("X", "third", true));
  EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser, kRunOnce, "X"), "first");
  EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser, kRunOnce, "X1"), "second");
  EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser, kRunOnce, "X2"), "third");

  ASSERT_TRUE(AddRunOnce("X", "replaced", false));
  EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser, kRunOnce, "X"), "replaced");
  EXPECT_EQ(Reg().EnumValues(RootKey::CurrentUser, kRunOnce)->size(), 3u);

  Machine().RefuseRegistryWrites(true);
  EXPECT_FALSE(AddRunOnce("X", "refused", false));
  EXPECT_FALSE(AddRunOnce("New", "refused", true));
}

}  // namespace
}  // namespace tmby
