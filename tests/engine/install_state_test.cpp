// The install's registry state on the memory machine: the state key of a program file, the
// unfinished list, the continuation entry, the restart and the continuation run after it.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "engine/install.h"
#include "model/install_model.h"
#include "platform/script/script_ui.h"
#include "support/engine_fixture.h"
#include "support/install_tree_fixtures.h"
#include "translate/translator.h"

namespace tmby {
namespace {

using fixtures::MessageOf;
using fixtures::TreeJournal;
using platform::RootKey;
using platform::script::ScriptUi;

const char kRoot[] = "SOFTWARE\\QRN\\Install";
const char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

class StateTest : public testing::EngineTest {
 protected:
  StateTest() : ui_(&transcript, {}), scoped_(&ui_) {
    fixtures::RegisterTreeFixtureClasses(classes);
    TreeJournal().clear();
    Engine().ProgramPath = "C:\\Temp\\Setup\\setup.exe";
    MakeFile(Engine().ProgramPath, "the engine");
  }
  ~StateTest() override { app.DestroyComponents(); }

  // Reads a product whose root is followed by `body`; the window is constructed (a mode runs).
  TCustomInstall* Load(const std::string& body = "") {
    ui::TmainForm* form = ReadMainForm(
        "object mainForm: TmainForm\n"
        "  object psProgramFiles: TpsProgramFiles\n  end\n"
        "  object psContainerDestDir: TpsContainerDestDir\n  end\n"
        "  object psMainArchiveFile: TpsMainArchiveFile\n  end\n"
        "  object Install1: TInstall\n  end\n" +
            body + "end\n",
        "product.tmby");
    form->AfterConstruction();
    return CurrentInstall();
  }
  // A state key as a program of that date and size left it.
  void MakeState(const std::string& name, double date, int32_t size, const std::string& path) {
    const std::string key = std::string(kRoot) + "\\" + name;
    Reg().CreateKey(RootKey::LocalMachine, key);
    Reg().WriteString(RootKey::LocalMachine, key, "Path", path);
    Reg().WriteBinary(RootKey::LocalMachine, key, "CreationDate", DateBytes(date));
    Reg().WriteInteger(RootKey::LocalMachine, key, "Size", static_cast<uint32_t>(size));
  }
  static std::vector<uint8_t> DateBytes(double value) {
    std::vector<uint8_t> bytes(8);
    uint64_t bits = 0;
    std::memcpy(&bits, &value, 8);
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
    return bytes;
  }
  double ProgramDate() { return *Files().GetDayCount(Engine().ProgramPath); }
  int32_t ProgramSize() { return static_cast<int32_t>(*Files().FileSize(Engine().ProgramPath)); }
  std::optional<std::string> StateString(const std::string& key, const std::string& name) {
    return Reg().ReadString(RootKey::LocalMachine, std::string(kRoot) + "\\" + key, name);
  }

  std::ostringstream transcript;
  ScriptUi ui_;
  platform::ScopedUi scoped_;
};

TEST_F(StateTest, AStateKeyIsMatchedByTheProgramsDateAndSizeWhereverItLies) {
  TCustomInstall* install = Load();
  EXPECT_EQ(install->FindStateKey(false), "");
  const std::string key = install->FindStateKey(true);
  EXPECT_EQ(key, "\\SOFTWARE\\QRN\\Install\\Install0");
  EXPECT_EQ(StateString("Install0", "Path"), "C:\\Temp\\Setup\\setup.exe");
  EXPECT_EQ(Reg().ReadInteger(RootKey::LocalMachine, std::string(kRoot) + "\\Install0", "Size"),
            static_cast<uint32_t>(ProgramSize()));
  EXPECT_EQ(
      Reg().ReadBinary(RootKey::LocalMachine, std::string(kRoot) + "\\Install0", "CreationDate"),
      DateBytes(ProgramDate()));
  EXPECT_FALSE(
      Reg().ValueType(RootKey::LocalMachine, std::string(kRoot) + "\\Install0", "SelfExtract"));

  // The same file elsewhere (a second copy, or the first moved) matches and updates "Path".
  Engine().ProgramPath = "D:\\Setup.exe";
  Machine().AddDrive('D');
  ASSERT_TRUE(Files().CopyFileTo("C:\\Temp\\Setup\\setup.exe", "D:\\Setup.exe", false));
  ASSERT_TRUE(
      Files().SetDosTime("D:\\Setup.exe", *Files().GetDosTime("C:\\Temp\\Setup\\setup.exe")));
  EXPECT_EQ(install->FindStateKey(false), key);
  EXPECT_EQ(StateString("Install0", "Path"), "D:\\Setup.exe");
}

TEST_F(StateTest, ANewProgramTakesTheSmallestFreeNumberAndSkipsForeignKeys) {
  TCustomInstall* install = Load();
  // Another program's key, one a day older, and keys whose values have the wrong type.
  MakeState("Install0", ProgramDate(), ProgramSize() + 1, "C:\\Other\\setup.exe");
  MakeState("Install2", ProgramDate() - 1, ProgramSize(), "C:\\Old\\setup.exe");
  MakeState("Install3", ProgramDate() + 2e-7, ProgramSize(), "C:\\Close\\setup.exe");
  MakeState("Install4", ProgramDate(), ProgramSize(), "C:\\Typed\\setup.exe");
  Reg().WriteString(RootKey::LocalMachine, std::string(kRoot) + "\\Install4", "CreationDate",
                    "yesterday");
  MakeState("Install5", ProgramDate(), ProgramSize(), "C:\\Typed\\setup.exe");
  Reg().WriteString(RootKey::LocalMachine, std::string(kRoot) + "\\Install5", "Size", "10");
  EXPECT_EQ(install->FindStateKey(false), "");
  EXPECT_EQ(install->FindStateKey(true), "\\SOFTWARE\\QRN\\Install\\Install1");
  // Within a ten-millionth of a day the dates count as equal.
  Reg().DeleteKey(RootKey::LocalMachine, std::string(kRoot) + "\\Install1");
  MakeState("Install6", ProgramDate() + 0.5e-7, ProgramSize(), "C:\\Near\\setup.exe");
  EXPECT_EQ(install->FindStateKey(false), "\\SOFTWARE\\QRN\\Install\\Install6");
}

TEST_F(StateTest, TheSelfExtractorIsRecordedAndARefusingRegistryGivesNoKey) {
  Engine().Arguments = {"-sC:\\Dist\\", "-eNotes.exe"};
  TCustomInstall* install = Load();
  Machine().RefuseRegistryWrites(true);
  EXPECT_EQ(install->FindStateKey(true), "");
  Machine().RefuseRegistryWrites(false);
  EXPECT_EQ(install->FindStateKey(true), "\\SOFTWARE\\QRN\\Install\\Install0");
  EXPECT_EQ(StateString("Install0", "SelfExtract"), "C:\\Dist\\Notes.exe");
}

TEST_F(StateTest, TheUnfinishedListNeedsTheStateKey) {
  TCustomInstall* install = Load();
  const std::string message =
      "The TInstall could not either write or read unfinished business from the registry";
  TStrings list{"stale"};
  EXPECT_EQ(MessageOf<IEInstall>([&] { install->ReadUnfinished(list); }), message);
  EXPECT_EQ(MessageOf<IEInstall>([&] { install->ClearUnfinished(); }), message);
  EXPECT_EQ(MessageOf<IEInstall>([&] { install->AddUnfinished("File1", 0); }), message);

  InstallModel().InstallStateKey = install->FindStateKey(true);
  install->ReadUnfinished(list);
  EXPECT_TRUE(list.empty());
  install->AddUnfinished("File1", 0);
  install->AddUnfinished("C:\\WINDOWS\\TEMP\\bat1.bat", 1);
  EXPECT_EQ(install->UnfinishedCount, 2);
  install->ReadUnfinished(list);
  EXPECT_EQ(list, (TStrings{"File1;0", "C:\\WINDOWS\\TEMP\\bat1.bat;1"}));
  install->ClearUnfinished();
  install->ReadUnfinished(list);
  EXPECT_TRUE(list.empty());
  Machine().RefuseRegistryWrites(true);
  EXPECT_THROW(install->AddUnfinished("File1", 0), EIRCannotWriteValue);
}

TEST_F(StateTest, TheContinuationCommandLineCarriesWhereTheDistributionIs) {
  const struct {
    std::vector<std::string> args;
    const char* useLoader;
    const char* expected;
  } cases[] = {
      {{"-sC:\\Dist\\", "-eNotes Setup.exe", "-c"},
       "True",
       "\"C:\\Temp\\Setup\\setup.exe\" -r -e\"Notes Setup.exe\" -s\"C:\\Dist\" -c"},
      {{"-sD:\\"}, "True", "\"C:\\Temp\\Setup\\setup.exe\" -r -s\"D:\""},
      {{}, "False", "\"C:\\Temp\\Setup\\setup.exe\" -r -s\"C:\\Temp\\Setup\""},
  };
  for (const auto& c : cases) {
    app.DestroyComponents();
    Engine().Arguments = c.args;
    TCustomInstall* install = Load();
    install->SetUseLoadingProgram(std::string(c.useLoader) == "True");
    EXPECT_EQ(install->ContinuationCommandLine(), c.expected);
  }
}

TEST_F(StateTest, TheContinuationGoesUnderTheRunOnceKeyOfTheSystemsFamily) {
  Engine().Arguments = {"-sC:\\Dist"};
  TCustomInstall* install = Load();
  Reg().CreateKey(RootKey::CurrentUser, kRunOnce);
  Reg().WriteString(RootKey::CurrentUser, kRunOnce, "TamberlyUnfinished", "other");
  install->RegisterContinuation();
  EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser, kRunOnce, "TamberlyUnfinished"), "other");
  EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser, kRunOnce, "TamberlyUnfinished1"),
            "\"C:\\Temp\\Setup\\setup.exe\" -r -s\"C:\\Dist\"");

  Machine().SetVersion(platform::OsVersion{platform::PlatformId::Windows, 4, 10, 2222, ""});
  install->RegisterContinuation();
  EXPECT_TRUE(Reg().ValueType(RootKey::LocalMachine, kRunOnce, "TamberlyUnfinished"));

  Machine().RefuseRegistryWrites(true);
  EXPECT_EQ(MessageOf<IEInstall>([&] { install->RegisterContinuation(); }),
            "Cannot register the install to be run on reboot in the RunOnce key in the registry");
}

TEST_F(StateTest, RemovingTheStateTakesItsLocalCopiesAndEmptyParentsButNeverQrn) {
  TCustomInstall* install = Load();
  MakeState("Install1", 1.0, 5, "C:\\Other\\setup.exe");
  InstallModel().InstallStateKey = install->FindStateKey(true);
  ASSERT_EQ(InstallModel().InstallStateKey, "\\SOFTWARE\\QRN\\Install\\Install0");
  MakeFile("C:\\WINDOWS\\TEMP\\files.1", "archive");
  const std::string component = std::string(kRoot) + "\\Install0\\dirShared";
  Reg().CreateKey(RootKey::LocalMachine, component);
  Reg().WriteString(RootKey::LocalMachine, component, "LocalFile", "C:\\WINDOWS\\TEMP\\files.1");
  Reg().CreateKey(RootKey::LocalMachine, "Software\\Tamberly\\Kit");
  install->RemoveInstallState();
  EXPECT_FALSE(Files().FileExists("C:\\WINDOWS\\TEMP\\files.1"));
  EXPECT_FALSE(Reg().KeyExists(RootKey::LocalMachine, std::string(kRoot) + "\\Install0"));
  // Another program's state keeps the parent; a parent with keys stays.
  EXPECT_TRUE(Reg().KeyExists(RootKey::LocalMachine, std::string(kRoot) + "\\Install1"));
  EXPECT_TRUE(Reg().KeyExists(RootKey::LocalMachine, "Software\\Tamberly\\Kit"));

  Reg().DeleteKey(RootKey::LocalMachine, "Software\\Tamberly\\Kit");
  InstallModel().InstallStateKey = "\\SOFTWARE\\QRN\\Install\\Install1";
  install->RemoveInstallState();
  EXPECT_FALSE(Reg().KeyExists(RootKey::LocalMachine, kRoot));
  EXPECT_FALSE(Reg().KeyExists(RootKey::LocalMachine, "Software\\Tamberly"));
  EXPECT_TRUE(Reg().KeyExists(RootKey::LocalMachine, "SOFTWARE\\QRN"));
}

TEST_F(StateTest, OnlyThe9xAndNtFamiliesAreAskedToRestart) {
  TCustomInstall* install = Load();
  const struct {
    platform::OsVersion version;
    int requests;
  } cases[] = {{{platform::PlatformId::Windows, 4, 0, 950, ""}, 1},
               {{platform::PlatformId::NT, 4, 0, 1381, ""}, 1},
               {{platform::PlatformId::NT, 3, 51, 1057, ""}, 0},
               {{platform::PlatformId::Win32s, 3, 10, 0, ""}, 0}};
  for (const auto& c : cases) {
    Machine().ClearRecords();
    transcript.str("");
    Machine().SetVersion(c.version);
    install->RebootWindows();
    EXPECT_EQ(Machine().RebootRequests(), c.requests) << c.version.major << "." << c.version.minor;
    EXPECT_EQ(transcript.str().find("Could not reboot windows.") != std::string::npos,
              c.requests == 0);
  }
}

TEST_F(StateTest, TheContinuationFinishesWhatWaitedForTheRestartOnceEverythingIsLoaded) {
  // The first run: its state key with the unfinished list as the files left it.
  MakeState("Install0", ProgramDate(), ProgramSize(), Engine().ProgramPath);
  const std::string unfinished = std::string(kRoot) + "\\Install0\\Unfinished";
  Reg().CreateKey(RootKey::LocalMachine, unfinished);
  Reg().WriteString(RootKey::LocalMachine, unfinished, "file1", "0");
  Reg().WriteString(RootKey::LocalMachine, unfinished, "Gone", "0");
  Reg().WriteString(RootKey::LocalMachine, unfinished, "C:\\WINDOWS\\TEMP\\bat1.bat", "1");
  Reg().WriteString(RootKey::LocalMachine, unfinished, "File2", "7");
  MakeFile("C:\\WINDOWS\\TEMP\\bat1.bat");
  Engine().Arguments = {"-r", "-sC:\\Dist"};
  // The group names no container: it joins the root in its own post-load step, after the root's.
  ui::TmainForm* form = ReadMainForm(
      "object mainForm: TmainForm\n"
      "  object psProgramFiles: TpsProgramFiles\n  end\n"
      "  object psContainerDestDir: TpsContainerDestDir\n  end\n"
      "  object Install1: TInstall\n  end\n"
      "  object Stages: TTestListener\n    Container = Install1\n  end\n"
      "  object Group1: TInstallGroup\n  end\n"
      "  object File1: TTestFile\n    Container = Group1\n  end\n"
      "  object File2: TTestFile\n    Container = Group1\n  end\n"
      "end\n",
      "product.tmby");
  TCustomInstall* install = CurrentInstall();
  TInstallContainer* seen = nullptr;
  install->OnBeforeNotifyGoodInstall.Set([&](TPersistent*) {
    seen = dynamic_cast<TInstallObject*>(form->FindComponent("Group1"))->Container();
  });
  EXPECT_TRUE(TreeJournal().empty());  // nothing ran while the definition was read
  form->AfterConstruction();
  EXPECT_EQ(seen, install);
  EXPECT_EQ(TreeJournal(), (std::vector<std::string>{"after reboot File1", "hear -995 Install1",
                                                     "hear -979 Install1"}));
  EXPECT_FALSE(Files().FileExists("C:\\WINDOWS\\TEMP\\bat1.bat"));
  EXPECT_FALSE(Reg().KeyExists(RootKey::LocalMachine, kRoot));
  EXPECT_TRUE(ui_.QuitPosted());
  EXPECT_FALSE(install->Running);
  EXPECT_FALSE(install->Activated);  // no run starts when the window shows
}

TEST_F(StateTest, TheTranslatorsLanguageIsKeptOverTheRestart) {
  TCustomInstall* install =
      Load("  object MainTranslator: TTranslator\n    TranslateIntoLanguage = tlGerman\n  end\n");
  InstallModel().InstallStateKey = install->FindStateKey(true);
  install->SaveLanguage();
  EXPECT_EQ(Reg().ReadInteger(RootKey::LocalMachine, std::string(kRoot) + "\\Install0", "Language"),
            static_cast<uint32_t>(tlGerman));

  // The continuation starts with the user's language and takes the stored one; a stored number
  // that names no language leaves it as it is.
  for (const uint32_t stored : {static_cast<uint32_t>(tlGerman), 99u}) {
    app.DestroyComponents();
    Reg().WriteInteger(RootKey::LocalMachine, std::string(kRoot) + "\\Install0", "Language",
                       stored);
    Engine().Arguments = {"-r"};
    Load("  object MainTranslator: TTranslator\n  end\n");
    ASSERT_NE(CurrentTranslator(), nullptr);
    EXPECT_EQ(CurrentTranslator()->TranslateIntoLanguage(), stored == 99u ? tlUser : tlGerman);
    MakeState("Install0", ProgramDate(), ProgramSize(), Engine().ProgramPath);
  }
}

TEST_F(StateTest, AMalformedUnfinishedEntryStopsTheContinuationWithTheStateInPlace) {
  MakeState("Install0", ProgramDate(), ProgramSize(), Engine().ProgramPath);
  const std::string unfinished = std::string(kRoot) + "\\Install0\\Unfinished";
  Reg().CreateKey(RootKey::LocalMachine, unfinished);
  Reg().WriteString(RootKey::LocalMachine, unfinished, "File1", "zero");
  Engine().Arguments = {"-r"};
  EXPECT_EQ(MessageOf<IEInstall>([&] { Load(); }),
            "There is an invalid entry for the unfinished install list File1;zero");
  EXPECT_TRUE(Reg().KeyExists(RootKey::LocalMachine, std::string(kRoot) + "\\Install0"));

  // A value of another type reads as empty: as malformed as a wrong number.
  app.DestroyComponents();
  Reg().CreateKey(RootKey::LocalMachine, unfinished);
  Reg().WriteInteger(RootKey::LocalMachine, unfinished, "File1", 0);
  EXPECT_EQ(MessageOf<IEInstall>([&] { Load(); }),
            "There is an invalid entry for the unfinished install list File1;");
}

TEST_F(StateTest, AnUnfinishedPathWithASemicolonIsReadApartFromItsCode) {
  MakeState("Install0", ProgramDate(), ProgramSize(), Engine().ProgramPath);
  const std::string unfinished = std::string(kRoot) + "\\Install0\\Unfinished";
  const std::string batch = "C:\\Temp\\Notes;Tools\\bat1.bat";
  MakeFile(batch);
  Reg().CreateKey(RootKey::LocalMachine, unfinished);
  Reg().WriteString(RootKey::LocalMachine, unfinished, batch, "1");
  Engine().Arguments = {"-r"};
  Load();
  EXPECT_FALSE(Files().FileExists(batch));
  EXPECT_EQ(transcript.str().find("messagebox"), std::string::npos) << transcript.str();
  EXPECT_FALSE(Reg().KeyExists(RootKey::LocalMachine, kRoot));
}

TEST_F(StateTest, WorkTheContinuationCouldNotDoStaysRecorded) {
  // Of the list as the run left it, what is done leaves it; what a failure stopped, and what came
  // after, stays with the state key for a later continuation.
  MakeState("Install0", ProgramDate(), ProgramSize(), Engine().ProgramPath);
  const std::string unfinished = std::string(kRoot) + "\\Install0\\Unfinished";
  Reg().CreateKey(RootKey::LocalMachine, unfinished);
  Reg().WriteString(RootKey::LocalMachine, unfinished, "File1", "0");
  Reg().WriteString(RootKey::LocalMachine, unfinished, "File2", "zero");
  Reg().WriteString(RootKey::LocalMachine, unfinished, "File3", "0");
  Engine().Arguments = {"-r"};
  const std::string product =
      "  object File1: TTestFile\n    Container = Install1\n  end\n"
      "  object File3: TTestFile\n    Container = Install1\n  end\n";
  EXPECT_EQ(MessageOf<IEInstall>([&] { Load(product); }),
            "There is an invalid entry for the unfinished install list File2;zero");
  EXPECT_EQ(TreeJournal(), (std::vector<std::string>{"after reboot File1"}));
  EXPECT_EQ(Reg().EnumValues(RootKey::LocalMachine, unfinished).value_or(TStrings{}),
            (std::vector<std::string>{"File2", "File3"}));
}

TEST_F(StateTest, AContinuationWhoseStateIsGoneEndsQuietly) {
  // The user declined the restart, started the setup program again and finished the install: the
  // first run's continuation finds nothing to do.
  Engine().Arguments = {"-r", "-sC:\\Dist"};
  Load("  object Stages: TTestListener\n    Container = Install1\n  end\n");
  EXPECT_TRUE(TreeJournal().empty());
  EXPECT_EQ(transcript.str().find("messagebox"), std::string::npos) << transcript.str();
  EXPECT_TRUE(ui_.QuitPosted());
  EXPECT_EQ(ui_.QuitCode(), 0);
  EXPECT_FALSE(CurrentInstall()->Running);
  EXPECT_FALSE(Reg().KeyExists(RootKey::LocalMachine, std::string(kRoot) + "\\Install0"));
}

TEST_F(StateTest, RemovingTheStateRemovesThisProgramsPendingContinuations) {
  // Continuations of this program, of an earlier copy of it the loading program unpacked
  // elsewhere, and of other programs; and other values of the key.
  const std::string copy = "C:\\WINDOWS\\TEMP\\TMBY0001\\setup.exe";
  ASSERT_TRUE(Files().CreateDirectories("C:\\WINDOWS\\TEMP\\TMBY0001"));
  ASSERT_TRUE(Files().CopyFileTo(Engine().ProgramPath, copy, false));
  ASSERT_TRUE(Files().SetDosTime(copy, *Files().GetDosTime(Engine().ProgramPath)));
  MakeFile("C:\\Other\\setup.exe", "another engine");
  const std::string self = "\"" + Engine().ProgramPath + "\" -r -s\"C:\\Dist\"";
  const std::vector<std::pair<std::string, std::string>> values = {
      {"TamberlyUnfinished", self},
      {"TamberlyUnfinished1", "\"" + copy + "\" -r -e\"Setup.exe\" -s\"C:\\Dist\" -c"},
      {"TamberlyUnfinished2", "\"C:\\Other\\setup.exe\" -r -s\"C:\\Dist\""},
      {"TamberlyUnfinished3", "\"" + Engine().ProgramPath + "\" -b"},
      {"TamberlyBatFile", "C:\\WINDOWS\\TEMP\\bat1.bat"},
      {"Notes", self}};
  for (const RootKey root : {RootKey::CurrentUser, RootKey::LocalMachine}) {
    Reg().CreateKey(root, kRunOnce);
    for (const auto& [name, command] : values) Reg().WriteString(root, kRunOnce, name, command);
  }
  TCustomInstall* install = Load();
  InstallModel().InstallStateKey = install->FindStateKey(true);
  install->RemoveInstallState();
  for (const RootKey root : {RootKey::CurrentUser, RootKey::LocalMachine}) {
    EXPECT_EQ(Reg().EnumValues(root, kRunOnce).value_or(TStrings{}),
              (std::vector<std::string>{"TamberlyUnfinished2", "TamberlyUnfinished3",
                                        "TamberlyBatFile", "Notes"}));
  }
}

}  // namespace
}  // namespace tmby
