#include "system/version_compare.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/dostime.h"
#include "platform/port.h"
#include "support/archive_fixture.h"
#include "support/pe_builder.h"
#include "system/version_resource.h"

#ifdef TMBY_WIN32_TESTS
#include <windows.h>

#include "platform/win32/win32_internal.h"
#else
#include <chrono>
#include <filesystem>

#include "platform/memory/memory_port.h"
#endif

namespace tmby {
namespace {

TEST(CompareVersionStringsTest, FieldsCompareAsNumbersWhenBothAreIntegers) {
  EXPECT_EQ(CompareVersionStrings("1.2.10", "1.2.9"), 1);
  EXPECT_EQ(CompareVersionStrings("1.2.9", "1.2.10"), 2);
  EXPECT_EQ(CompareVersionStrings("5.1.2600.0", "5.1.2600.0"), 0);
  EXPECT_EQ(CompareVersionStrings("01.2", "1.02"), 0);
  EXPECT_EQ(CompareVersionStrings("4.0.0.0", "10.0.0.0"), 2);
  // Beyond any machine integer the value still decides, not the first digit.
  EXPECT_EQ(CompareVersionStrings("1.99999999999999999999", "1.100000000000000000000"), 2);
  EXPECT_EQ(CompareVersionStrings("1.-2", "1.-10"), 1);
  EXPECT_EQ(CompareVersionStrings("1.-0", "1.0"), 0);
}

TEST(CompareVersionStringsTest, OtherFieldsCompareAsByteStrings) {
  EXPECT_EQ(CompareVersionStrings("1.2a", "1.2b"), 2);
  EXPECT_EQ(CompareVersionStrings("1.2b", "1.2a"), 1);
  EXPECT_EQ(CompareVersionStrings("1.beta", "1.beta"), 0);
  EXPECT_EQ(CompareVersionStrings("1.B", "1.a"), 2);     // case-sensitive: 'B' < 'a'
  EXPECT_EQ(CompareVersionStrings("1.ab", "1.abc"), 2);  // a shorter prefix sorts first
  EXPECT_EQ(CompareVersionStrings("1.9", "1.10a"), 1);   // one side not numeric: bytes decide
  EXPECT_EQ(CompareVersionStrings("1.\xE9", "1.z"), 1);  // bytes compare unsigned
}

TEST(CompareVersionStringsTest, TheFirstEmptyFieldEndsTheComparison) {
  EXPECT_EQ(CompareVersionStrings("2.0", "2.0.0"), 2);
  EXPECT_EQ(CompareVersionStrings("2.0.0", "2.0"), 1);
  EXPECT_EQ(CompareVersionStrings("2.0", "2.0"), 0);
  EXPECT_EQ(CompareVersionStrings("", ""), 0);
  EXPECT_EQ(CompareVersionStrings("", "0"), 2);
  EXPECT_EQ(CompareVersionStrings("0", ""), 1);
  EXPECT_EQ(CompareVersionStrings("1.", "1"), 0);
  EXPECT_EQ(CompareVersionStrings("1..5", "1..3"), 0);
  EXPECT_EQ(CompareVersionStrings("1..5", "1.0.3"), 2);
}

}  // namespace
}  // namespace tmby

// ---------------------------------------------------------------------------------------------
// The comparisons on files, on the adapter under test (memory natively, the real API on Windows).

namespace tmby {
namespace {

using testing::BuildPe;
using testing::BuildVersionBlock;
using testing::VersionSpec;

constexpr uint32_t kNoon = 0x5A8F6000;       // 2025-04-15 12:00:00
constexpr uint32_t kNoonPlus2 = 0x5A8F6001;  // two seconds later
constexpr uint32_t kEvening = 0x5A8F9000;    // 18:00:00 the same day

std::vector<uint8_t> Versioned(uint32_t ms, uint32_t ls) {
  VersionSpec layout;
  layout.file_version_ms = ms;
  layout.file_version_ls = ls;
  return BuildPe(BuildVersionBlock(layout));
}

class FileComparisonTest : public testing::ArchiveFixture {
 protected:
  void SetUp() override {
    ArchiveFixture::SetUp();
    ResetVersionResources();
  }
  void TearDown() override {
    ResetVersionResources();
    ArchiveFixture::TearDown();
  }
  // Holds a file open without any sharing, as a program that has it in use does.
  std::unique_ptr<platform::IFile> Hold(const std::string& path) {
    auto file = Files().Open(path, platform::FileAccess::ReadWrite, platform::kShareNone,
                             platform::FileDisposition::OpenExisting);
    EXPECT_TRUE(file) << path;
    return file;
  }
};

TEST_F(FileComparisonTest, AlwaysNeverAndAskNeedNoComparison) {
  WriteFile(P("new.dll"), Versioned(0x00010000, 0));
  WriteFile(P("old.dll"), Versioned(0x00020000, 0));
  EXPECT_EQ(IsFileNewerByName(P("new.dll"), P("old.dll"), owAlways), crNewer);
  EXPECT_EQ(IsFileNewer("1.0.0.0", 0, P("old.dll"), owAlways), crNewer);

  EXPECT_EQ(IsFileNewerByName(P("new.dll"), P("old.dll"), owNever), crKeep);
  EXPECT_EQ(IsFileNewer("9.0", 0, P("old.dll"), owNever), crKeep);
  EXPECT_EQ(IsFileNewerByName(P("new.dll"), P("missing.dll"), owNever), crNewer);
  EXPECT_EQ(IsFileNewerByName(P("new.dll"), "   ", owNever), crNewer);
  EXPECT_EQ(IsFileNewer("9.0", 0, " \t ", owNever), crNewer);
  EXPECT_EQ(IsFileNewer("9.0", 0, "", owNever), crNewer);

  // Asking opens neither file: both in use still give crAsk.
  auto held_new = Hold(P("new.dll"));
  auto held_old = Hold(P("old.dll"));
  EXPECT_EQ(IsFileNewerByName(P("new.dll"), P("old.dll"), owAsk), crAsk);
  EXPECT_EQ(IsFileNewer("1.0", 0, P("old.dll"), owAsk), crAsk);
  EXPECT_EQ(IsFileNewerByName(P("missing1"), P("missing2"), owAsk), crAsk);
}

TEST_F(FileComparisonTest, VersionRuleComparesTheFileVersions) {
  WriteFile(P("v1_2_10.dll"), Versioned(0x00010002, 0x000A0000));
  WriteFile(P("v1_2_9.dll"), Versioned(0x00010002, 0x00090000));
  WriteFile(P("copy_1_2_9.dll"), Versioned(0x00010002, 0x00090000));
  WriteFile(P("plain.txt"), {'n', 'o', ' ', 'v', 'e', 'r'});
  WriteFile(P("plain2.txt"), {'a'});

  EXPECT_EQ(IsFileNewerByName(P("v1_2_10.dll"), P("v1_2_9.dll"), owVersion), crNewer);
  EXPECT_EQ(IsFileNewerByName(P("v1_2_9.dll"), P("v1_2_10.dll"), owVersion), crKeep);
  EXPECT_EQ(IsFileNewerByName(P("v1_2_9.dll"), P("copy_1_2_9.dll"), owVersion), crSame);
  // Files without a version block have the empty version.
  EXPECT_EQ(IsFileNewerByName(P("plain.txt"), P("plain2.txt"), owVersion), crSame);
  EXPECT_EQ(IsFileNewerByName(P("v1_2_9.dll"), P("plain.txt"), owVersion), crNewer);
  EXPECT_EQ(IsFileNewerByName(P("plain.txt"), P("v1_2_9.dll"), owVersion), crKeep);
  EXPECT_EQ(IsFileNewerByName(P("v1_2_9.dll"), P("missing.dll"), owVersion), crNewer);

  EXPECT_EQ(IsFileNewer("1.2.10.0", 0, P("v1_2_9.dll"), owVersion), crNewer);
  EXPECT_EQ(IsFileNewer("1.2.9.0", 0, P("v1_2_9.dll"), owVersion), crSame);
  EXPECT_EQ(IsFileNewer("1.2.9", 0, P("v1_2_9.dll"), owVersion), crKeep);  // fewer fields
  EXPECT_EQ(IsFileNewer("", 0, P("v1_2_9.dll"), owVersion), crKeep);
  // A missing target keeps nothing: even a file without a version (empty, as the missing one's
  // would read) is newer than none.
  EXPECT_EQ(IsFileNewer("", 0, P("missing.dll"), owVersion), crNewer);
  EXPECT_EQ(IsFileNewer("", 0, P("missing.dll"), owVersionDate), crNewer);
  EXPECT_EQ(IsFileNewerByName(P("plain.txt"), P("missing.txt"), owVersion), crNewer);
}

TEST_F(FileComparisonTest, DateRuleComparesLastWriteStampsAtTwoSeconds) {
  WriteFile(P("noon"), {1}, kNoon);
  WriteFile(P("noon_too"), {2}, kNoon);
  WriteFile(P("noon2"), {3}, kNoonPlus2);
  EXPECT_EQ(IsFileNewerByName(P("noon2"), P("noon"), owDate), crNewer);
  EXPECT_EQ(IsFileNewerByName(P("noon"), P("noon2"), owDate), crKeep);
  EXPECT_EQ(IsFileNewerByName(P("noon"), P("noon_too"), owDate), crSame);

  const double noon = *DosDateTimeToDayCount(kNoon);
  const double second = 1.0 / 86400;
  EXPECT_EQ(IsFileNewer("", noon, P("noon"), owDate), crSame);
  EXPECT_EQ(IsFileNewer("", noon + second, P("noon"), owDate), crSame);  // within the two seconds
  EXPECT_EQ(IsFileNewer("", noon + 2 * second, P("noon"), owDate), crNewer);
  EXPECT_EQ(IsFileNewer("", noon - 2 * second, P("noon"), owDate), crKeep);
  EXPECT_EQ(IsFileNewer("", 1.0, P("noon"), owDate), crKeep);       // 1899-12-31: before DOS time
  EXPECT_EQ(IsFileNewer("", 80000.0, P("noon"), owDate), crNewer);  // 2119: after DOS time
}

TEST_F(FileComparisonTest, DateRuleIsUndeterminedWhenAFileCannotBeOpened) {
  WriteFile(P("a"), {1}, kNoon);
  WriteFile(P("b"), {2}, kEvening);
  EXPECT_EQ(IsFileNewerByName(P("a"), P("missing"), owDate), crUndetermined);
  EXPECT_EQ(IsFileNewerByName(P("missing"), P("a"), owDate), crUndetermined);
  EXPECT_EQ(IsFileNewer("", 40000.0, P("missing"), owDate), crUndetermined);
  // A recorded date that is no date at all (a damaged header).
  EXPECT_EQ(IsFileNewer("", std::nan(""), P("a"), owDate), crUndetermined);
  {
    auto held = Hold(P("b"));
    EXPECT_EQ(IsFileNewerByName(P("a"), P("b"), owDate), crUndetermined);
    EXPECT_EQ(IsFileNewerByName(P("b"), P("a"), owDate), crUndetermined);
    EXPECT_EQ(IsFileNewer("", 40000.0, P("b"), owDate), crUndetermined);
  }
  // Both files were closed again: the one in use before can now be opened without sharing.
  EXPECT_EQ(IsFileNewerByName(P("a"), P("b"), owDate), crKeep);
  EXPECT_TRUE(Hold(P("a")));
  EXPECT_TRUE(Hold(P("b")));
}

// Gives a file the last-write time 1970-01-02, which has no DOS form (files unpacked with a zero
// time look like this).
void MakeUndated(const std::string& path) {
#ifdef TMBY_WIN32_TESTS
  const HANDLE h =
      CreateFileW(platform::win32::Wide(path).c_str(), FILE_WRITE_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  ULARGE_INTEGER ticks;
  ticks.QuadPart = 116444736000000000ULL + 864000000000ULL;  // 1970-01-02 in 100 ns since 1601
  FILETIME stamp{ticks.LowPart, ticks.HighPart};
  EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &stamp));
  CloseHandle(h);
#else
  auto* machine = dynamic_cast<platform::memory::MemoryPlatform*>(&platform::Port());
  ASSERT_NE(machine, nullptr);
  const auto host = machine->HostPath(path);
  ASSERT_TRUE(host) << path;
  const std::chrono::sys_seconds day_two{std::chrono::sys_days{std::chrono::year{1970} / 1 / 2}};
  std::filesystem::last_write_time(*host, std::chrono::file_clock::from_sys(day_two));
#endif
}

TEST_F(FileComparisonTest, AFileDatedBefore1980IsOlderThanAnyDatedOne) {
  WriteFile(P("noon.dll"), Versioned(0x00020000, 0), kNoon);
  WriteFile(P("old.dll"), Versioned(0x00020000, 0), kNoon);
  WriteFile(P("old_too.dll"), Versioned(0x00020000, 0), kNoon);
  MakeUndated(P("old.dll"));
  MakeUndated(P("old_too.dll"));
  ASSERT_FALSE(Files().GetDosTime(P("old.dll")));

  const double noon = *DosDateTimeToDayCount(kNoon);
  EXPECT_EQ(IsFileNewer("", noon, P("old.dll"), owDate), crNewer);
  EXPECT_EQ(IsFileNewer("2.0.0.0", noon, P("old.dll"), owVersionDate), crNewer);
  EXPECT_EQ(IsFileNewer("", 80000.0, P("old.dll"), owDate), crNewer);  // after DOS time
  EXPECT_EQ(IsFileNewer("", 1.0, P("old.dll"), owDate), crSame);       // both before it
  EXPECT_EQ(IsFileNewerByName(P("noon.dll"), P("old.dll"), owDate), crNewer);
  EXPECT_EQ(IsFileNewerByName(P("old.dll"), P("noon.dll"), owDate), crKeep);
  EXPECT_EQ(IsFileNewerByName(P("old.dll"), P("old_too.dll"), owVersionDate), crSame);
}

TEST_F(FileComparisonTest, VersionDateRuleFallsBackToTheDateOnlyForEqualVersions) {
  WriteFile(P("v2_noon.dll"), Versioned(0x00020000, 0), kNoon);
  WriteFile(P("v2_noon_too.dll"), Versioned(0x00020000, 0), kNoon);
  WriteFile(P("v2_evening.dll"), Versioned(0x00020000, 0), kEvening);
  WriteFile(P("v1_evening.dll"), Versioned(0x00010000, 0), kEvening);

  EXPECT_EQ(IsFileNewerByName(P("v2_noon.dll"), P("v2_noon_too.dll"), owVersionDate), crSame);
  EXPECT_EQ(IsFileNewerByName(P("v2_noon.dll"), P("v2_evening.dll"), owVersionDate), crKeep);
  EXPECT_EQ(IsFileNewerByName(P("v2_evening.dll"), P("v2_noon.dll"), owVersionDate), crNewer);
  // A higher version wins whatever the dates say.
  EXPECT_EQ(IsFileNewerByName(P("v2_noon.dll"), P("v1_evening.dll"), owVersionDate), crNewer);
  EXPECT_EQ(IsFileNewerByName(P("v1_evening.dll"), P("v2_noon.dll"), owVersionDate), crKeep);

  const double noon = *DosDateTimeToDayCount(kNoon);
  EXPECT_EQ(IsFileNewer("2.0.0.0", noon, P("v2_noon.dll"), owVersionDate), crSame);
  EXPECT_EQ(IsFileNewer("2.0.0.0", noon, P("v2_evening.dll"), owVersionDate), crKeep);
  EXPECT_EQ(IsFileNewer("3.0", noon, P("v2_evening.dll"), owVersionDate), crNewer);
  EXPECT_EQ(IsFileNewer("1.9", 80000.0, P("v2_noon.dll"), owVersionDate), crKeep);

  // A target in use cannot be read for its version: it counts as unversioned, so the new file
  // wins (and will replace it at the restart).
  auto held = Hold(P("v2_evening.dll"));
  EXPECT_EQ(IsFileNewerByName(P("v2_noon.dll"), P("v2_evening.dll"), owVersionDate), crNewer);
  EXPECT_EQ(IsFileNewer("2.0.0.0", noon, P("v2_evening.dll"), owVersionDate), crNewer);
}

}  // namespace
}  // namespace tmby
