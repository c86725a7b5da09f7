// The install run on the memory machine under the scripted UI: the stages a run announces, the
// good, bad and cancelled ends, the deferred registrations, the restart, the files started after
// the install and the loader's cleanup.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "archive/archive_format.h"
#include "engine/install.h"
#include "model/install_model.h"
#include "net/remote_file_list.h"
#include "platform/script/script_ui.h"
#include "support/engine_fixture.h"
#include "support/install_tree_fixtures.h"

namespace tmby {
namespace {

using fixtures::TreeJournal;
using platform::RootKey;
using platform::script::ScriptUi;

class RunTest : public testing::EngineTest {
 protected:
  RunTest() {
    fixtures::RegisterTreeFixtureClasses(classes);
    TreeJournal().clear();
    Engine().ProgramPath = "C:\\Temp\\Setup\\setup.exe";
    MakeFile(Engine().ProgramPath, "the engine");
    Engine().Arguments = {"-sC:\\Dist"};
    app.SetTitle("Installation of Notes");
    InstallModel().SharedArchive = std::make_unique<TTmbyCompress>();
  }
  ~RunTest() override { app.DestroyComponents(); }

  // A product: the root (with `rootProps`), a listener where the dialog managers would be, and
  // `body`. The run starts at the first activation (Start).
  void Read(const std::string& body, const std::string& rootProps = "") {
    form = ReadMainForm(
        "object mainForm: TmainForm\n"
        "  object psProgramFiles: TpsProgramFiles\n  end\n"
        "  object psContainerDestDir: TpsContainerDestDir\n  end\n"
        "  object psMainArchiveFile: TpsMainArchiveFile\n  end\n"
        "  object Install1: TInstall\n    DestDir = '\\Notes'\n"
        "    Information.ProductName = 'Notes'\n" +
            rootProps +
            "  end\n"
            "  object Stages: TTestListener\n    Container = Install1\n  end\n" +
            body + "end\n",
        "product.tmby");
    install = CurrentInstall();
  }
  void Start(const std::vector<std::string>& script = {}) {
    scoped_.reset();
    ui_ = std::make_unique<ScriptUi>(&transcript, script);
    scoped_ = std::make_unique<platform::ScopedUi>(ui_.get());
    form->AfterConstruction();
    form->Show();
  }
  std::string File(const std::string& name) {
    return "  object " + name + ": TTestFile\n    Container = Install1\n" +
           "    DestDirType = psContainerDestDir\n    DestName = '" + name + ".dll'\n";
  }
  // The position of the first journal line, or -1.
  int At(const std::string& line) const {
    const auto& j = TreeJournal();
    const auto it = std::find(j.begin(), j.end(), line);
    return it == j.end() ? -1 : static_cast<int>(it - j.begin());
  }
  int Count(const std::string& line) const {
    const auto& j = TreeJournal();
    return static_cast<int>(std::count(j.begin(), j.end(), line));
  }
  bool StateKeyExists() {
    return Reg().KeyExists(RootKey::LocalMachine, "SOFTWARE\\QRN\\Install\\Install0");
  }
  int QuitCode() const { return ui_->QuitPosted() ? ui_->QuitCode() : -1; }
  TInstallContainer* Object(const std::string& name) {
    return dynamic_cast<TInstallContainer*>(form->FindComponent(name));
  }
  // The transcript's lines that say what the cursor does, and the notes made with them.
  std::vector<std::string> CursorLines() const {
    std::vector<std::string> lines;
    std::istringstream in(transcript.str());
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("cursor ", 0) == 0 || line.rfind("note ", 0) == 0) lines.push_back(line);
    }
    return lines;
  }

  ui::TmainForm* form = nullptr;
  TCustomInstall* install = nullptr;
  std::ostringstream transcript;
  std::unique_ptr<ScriptUi> ui_;
  std::unique_ptr<platform::ScopedUi> scoped_;
};

TEST_F(RunTest, AGoodRunAnnouncesItsStagesInOrderAndEndsTheProgram) {
  Read(File("File1") + "  end\n  object Link1: TTestLink\n    Container = Install1\n  end\n");
  std::vector<std::string> events;
  install->OnAfterInitialized.Set([&](TPersistent*) { events.push_back("initialized"); });
  install->OnAfterInstallObjects.Set([&](TInstallContainer*, bool aborted) {
    events.push_back(aborted ? "after objects (aborted)" : "after objects");
  });
  install->OnAfterNotifyGoodInstall.Set([&](TPersistent*) {
    events.push_back(StateKeyExists() ? "good end, state kept" : "good end");
  });
  install->OnBeforeShutdown.Set([&](TCustomInstall*, bool&) { events.push_back("shutdown"); });
  Start();

  // Archive information, the before-install stage, the tree, the links phase, the good end.
  const int reading = At("hear -984 Install1");
  const int before = At("hear -980 Install1");
  const int file = At("install File1");
  const int good = At("hear -979 Install1");
  EXPECT_LT(reading, At("read File1"));
  EXPECT_LT(At("read File1"), At("hear -983 Install1"));
  EXPECT_EQ(At("hear -986 Install1"), before - 1);
  EXPECT_LT(reading, before);
  EXPECT_LT(before, file);
  EXPECT_LT(file, good);
  EXPECT_EQ(At("hear -995 Install1"), good - 1);
  EXPECT_EQ(Count("hear -978 Install1"), 0);
  auto* stages = dynamic_cast<fixtures::TTestListener*>(form->FindComponent("Stages"));
  ASSERT_NE(stages, nullptr);
  EXPECT_EQ(stages->Texts,
            (std::vector<std::string>{"Reading file information...", "Installing shell links..."}));
  EXPECT_EQ(events, (std::vector<std::string>{"initialized", "after objects",
                                              "good end, state kept", "shutdown"}));
  EXPECT_FALSE(install->Running);
  EXPECT_FALSE(StateKeyExists());
  EXPECT_FALSE(Reg().KeyExists(RootKey::LocalMachine, "SOFTWARE\\QRN\\Install"));
  EXPECT_EQ(QuitCode(), 0);
  EXPECT_EQ(transcript.str().find("messagebox"), std::string::npos) << transcript.str();
}

TEST_F(RunTest, TheHourglassShowsWhileTheArchivesAreReadEvenWhenTheyFail) {
  // The remote list of a net run downloads inside the same step; a list that cannot be had ends
  // the run, and the cursor comes back all the same.
  const std::string net =
      "  object NetLoc1: TNetInstallLocation\n"
      "    LoginInformation.Hostname = 'files.example'\n  end\n";
  for (const bool fails : {false, true}) {
    app.DestroyComponents();
    transcript.str("");
    Read((fails ? net : "") + File("File1") + "  end\n",
         fails ? "    DistributeType = dtWeb\n    NetLocation = NetLoc1\n" : "");
    install->OnBeforeReadArchiveInfo.Set([&](TPersistent*) { ui_->Note("note reading"); });
    install->OnAfterReadArchiveInfo.Set([&](TPersistent*) { ui_->Note("note read"); });
    install->OnAfterInitialized.Set([&](TPersistent*) { ui_->Note("note initialized"); });
    Start();
    const std::vector<std::string> expected =
        fails ? std::vector<std::string>{"note reading", "cursor wait", "cursor default"}
              : std::vector<std::string>{"note reading", "cursor wait", "cursor default",
                                         "note read", "note initialized"};
    EXPECT_EQ(CursorLines(), expected) << transcript.str();
    EXPECT_EQ(Count("hear -978 Install1"), fails ? 1 : 0);
  }
}

TEST_F(RunTest, AProductWithoutANameIsRefusedBeforeAnythingIsWritten) {
  // Its Add/Remove Programs entry would be the Uninstall key itself.
  for (const char* name : {"''", "'   '"}) {
    app.DestroyComponents();
    transcript.str("");
    TreeJournal().clear();
    Read(File("File1") + "  end\n", std::string("    Information.ProductName = ") + name + "\n");
    Start();
    EXPECT_EQ(Count("install File1"), 0) << name;
    EXPECT_EQ(Count("hear -978 Install1"), 1) << name;
    EXPECT_NE(transcript.str().find("| This setup program does not name its product "
                                    "(Information.ProductName is empty), so it cannot record the "
                                    "product for removal. Nothing was installed.\n"),
              std::string::npos)
        << transcript.str();
    EXPECT_FALSE(StateKeyExists());
    EXPECT_EQ(QuitCode(), kInstallFailedExitCode);
  }
}

TEST_F(RunTest, TheContinuationWorksWhereThePagesLeftTheInstall) {
  const std::string product = File("File1") + "    JournalPlace = True\n  end\n" + File("File2") +
                              "  end\n" + File("File3") + "    Include = False\n  end\n" +
                              "  object MainLinkGroup1: TMainLinkGroup\n    Container = Install1\n"
                              "    DestDir = '\\Notes'\n  end\n";
  const std::string root = "    InstallTypes = [itFull, itCompact]\n    Reboot = True\n";
  Read(product, root);
  // What the pages and the definition's handlers do: another folder typed, another program
  // folder, the compact install, one component left out and one taken in; and a file in use
  // that waits for the restart.
  install->OnAfterInitialized.Set([&](TPersistent*) {
    install->SetDestDirType(nullptr);
    install->SetDestDir("D:\\Elsewhere\\Notes");
    Object("MainLinkGroup1")->SetDestDir("\\Lakeside");
    install->SetSelectedInstallType(itCompact);
    Object("File2")->SetInclude(false);
    Object("File3")->SetInclude(true);
  });
  install->OnAfterInstallObjects.Set(
      [&](TInstallContainer*, bool) { install->AddUnfinished("File1", 0); });
  Start();
  ASSERT_TRUE(StateKeyExists()) << transcript.str();
  // The values an administrator finds under the state key.
  const std::string key = "SOFTWARE\\QRN\\Install\\Install0";
  EXPECT_EQ(Reg().ReadString(RootKey::LocalMachine, key, "DestDir"), "D:\\Elsewhere\\Notes");
  EXPECT_EQ(Reg().ReadString(RootKey::LocalMachine, key, "DestDirType"), "");
  EXPECT_EQ(Reg().ReadString(RootKey::LocalMachine, key, "ProgramFolder"), "\\Lakeside");
  EXPECT_EQ(Reg().ReadInteger(RootKey::LocalMachine, key, "InstallType"), 2u);
  EXPECT_EQ(Reg().EnumValues(RootKey::LocalMachine, key + "\\Included").value_or(TStrings{}),
            (std::vector<std::string>{"File2", "File3"}));
  EXPECT_EQ(Reg().ReadInteger(RootKey::LocalMachine, key + "\\Included", "File2"), 0u);
  EXPECT_EQ(Reg().ReadInteger(RootKey::LocalMachine, key + "\\Included", "File3"), 1u);

  // After the restart the definition is read afresh, and continued.
  app.DestroyComponents();
  TreeJournal().clear();
  transcript.str("");
  Engine().Arguments = {"-r", "-sC:\\Dist"};
  Read(product, root);
  std::vector<std::string> seen;
  install->OnBeforeNotifyGoodInstall.Set([&](TPersistent*) {
    seen = {install->GetDestPath(),
            Object("MainLinkGroup1")->DestDir(),
            std::to_string(install->SelectedInstallType()),
            std::to_string(Object("File1")->SelectedInstallType()),
            Object("File2")->Include() ? "File2 in" : "File2 out",
            Object("File3")->Include() ? "File3 in" : "File3 out"};
  });
  Start();
  EXPECT_EQ(Count("after reboot File1 in D:\\Elsewhere\\Notes"), 1) << transcript.str();
  EXPECT_EQ(seen, (std::vector<std::string>{"D:\\Elsewhere\\Notes", "\\Lakeside", "2", "2",
                                            "File2 out", "File3 in"}));
  EXPECT_EQ(Count("hear -979 Install1"), 1);
  EXPECT_FALSE(StateKeyExists());
}

TEST_F(RunTest, OnlyTheFirstActivationRunsAndNoLinksMeansNoLinkText) {
  Read(File("File1") + "  end\n");
  Start({"activate mainForm", "activate mainForm"});
  form->Hide();
  form->Show();
  EXPECT_EQ(Count("hear -986 Install1"), 1);
  EXPECT_EQ(Count("install File1"), 1);
  auto* stages = dynamic_cast<fixtures::TTestListener*>(form->FindComponent("Stages"));
  EXPECT_EQ(stages->Texts, (std::vector<std::string>{"Reading file information..."}));
}

TEST_F(RunTest, WithTheLoadingProgramTheSourceSwitchIsRequired) {
  Engine().Arguments = {};
  Read(File("File1") + "  end\n");
  Start();
  EXPECT_EQ(Count("install File1"), 0);
  EXPECT_EQ(Count("hear -978 Install1"), 1);
  EXPECT_NE(transcript.str().find(
                "| The path of the loading program was not passed correctly. If you are running "
                "your install project in the IDE, then you need to add two command line "
                "parameters. In Run | Parameters | \"Run Parameters\", type in: -d \"-sBUILDPATH\" "
                "where BUILDPATH is the path into which you built the distributables. Example: -d "
                "\"-sC:\\My Build\".\n"),
            std::string::npos)
      << transcript.str();
  EXPECT_EQ(QuitCode(), kInstallFailedExitCode);
}

TEST_F(RunTest, AConfirmedCancelEndsBadWithoutABoxAndRemovesTheState) {
  Read(File("File1") + "  end\n");
  bool afterObjects = false;
  install->OnAfterInitialized.Set([&](TPersistent*) {
    EXPECT_TRUE(StateKeyExists());
    if (install->ConfirmUserAbort()) throw EAIUserAbort();
  });
  install->OnAfterInstallObjects.Set([&](TInstallContainer*, bool) { afterObjects = true; });
  Start();
  EXPECT_EQ(Count("install File1"), 0);
  EXPECT_EQ(Count("hear -994 Install1"), 1);
  EXPECT_EQ(Count("hear -978 Install1"), 1);
  EXPECT_FALSE(afterObjects);  // the tree never started
  EXPECT_EQ(transcript.str().find("messagebox"), std::string::npos) << transcript.str();
  EXPECT_FALSE(StateKeyExists());
  EXPECT_TRUE(install->Aborted);
  EXPECT_FALSE(install->Running);
  EXPECT_EQ(QuitCode(), kUserAbortExitCode);
}

TEST_F(RunTest, ARefusedCancelLetsTheRunGoOn) {
  Read(File("File1") + "  end\n");
  install->OnUserAbort.Set([](TCustomInstall*, bool& quitOut) { quitOut = false; });
  install->OnAfterInitialized.Set([&](TPersistent*) {
    if (install->ConfirmUserAbort()) throw EAIUserAbort();
  });
  Start();
  EXPECT_EQ(Count("install File1"), 1);
  EXPECT_EQ(Count("hear -979 Install1"), 1);
}

TEST_F(RunTest, ACopyFailureEndsBadWithItsBoxAndKeepsTheState) {
  Read(File("File1") + "    FailInstall = True\n  end\n" + File("File2") + "  end\n");
  std::vector<std::string> after;
  install->OnAfterInstallObjects.Set(
      [&](TInstallContainer* container, bool) { after.push_back(container->Name()); });
  Start();
  EXPECT_EQ(after, (std::vector<std::string>{"Install1"}));  // fired on the failed path too
  EXPECT_LT(At("hear -994 Install1"), At("hear -978 Install1"));
  EXPECT_EQ(Count("hear -979 Install1"), 0);
  EXPECT_NE(transcript.str().find("messagebox Stop \"Installation of Notes\" buttons OK default "
                                  "OK\n| Cannot install File1.\n"),
            std::string::npos)
      << transcript.str();
  // The next start of the program finds its state again.
  EXPECT_TRUE(StateKeyExists());
  EXPECT_EQ(QuitCode(), kInstallFailedExitCode);
}

TEST_F(RunTest, FailedRegistrationsAreRetriedAfterTheTreeAndASecondFailureIsFatal) {
  Read(File("File1") + "    DeferRegister = True\n  end\n" + File("File2") +
       "    DeferRegister = True\n  end\n" + File("File3") + "  end\n");
  Start();
  // Helpers of one type stand in reverse order of reading; the list keeps the install order.
  EXPECT_LT(At("install File3"), At("install File1"));
  EXPECT_LT(At("install File1"), At("register File2"));
  EXPECT_LT(At("register File2"), At("register File1"));
  EXPECT_LT(At("register File1"), At("hear -979 Install1"));
  EXPECT_EQ(Count("register File3"), 0);
  EXPECT_TRUE(InstallModel().DeferRegistrations);

  app.DestroyComponents();
  TreeJournal().clear();
  transcript.str("");
  Read(File("File1") + "    DeferRegister = True\n    FailRegister = True\n  end\n");
  Start();
  EXPECT_EQ(Count("register File1"), 1);
  EXPECT_EQ(Count("hear -978 Install1"), 1);
  EXPECT_NE(transcript.str().find("| Could not register File1.\n"), std::string::npos);
}

TEST_F(RunTest, ARebootEndsTheRunWithTheContinuationAndTheStateInPlace) {
  Read(File("File1") + "  end\n", "    Reboot = True\n");
  bool asked = false;
  install->OnBeforeReboot.Set([&](TCustomInstall*, bool& proceed) {
    asked = true;
    EXPECT_TRUE(proceed);
  });
  Start();
  EXPECT_TRUE(asked);
  EXPECT_LT(At("install File1"), At("hear -987 Install1"));
  EXPECT_EQ(Count("hear -979 Install1"), 0);
  EXPECT_EQ(Machine().RebootRequests(), 1);
  EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser,
                             "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                             "TamberlyUnfinished"),
            "\"C:\\Temp\\Setup\\setup.exe\" -r -s\"C:\\Dist\"");
  EXPECT_TRUE(StateKeyExists());
  EXPECT_TRUE(install->Running);  // the continuation finishes the run
  EXPECT_EQ(QuitCode(), 0);
}

TEST_F(RunTest, ADeclinedOrRefusedRebootLeavesTheContinuationForTheNextStart) {
  Read(File("File1") + "  end\n", "    Reboot = True\n");
  install->OnBeforeReboot.Set([](TCustomInstall*, bool& proceed) { proceed = false; });
  Start();
  EXPECT_EQ(Machine().RebootRequests(), 0);
  EXPECT_EQ(Count("hear -979 Install1"), 0);
  EXPECT_TRUE(Reg().ValueType(RootKey::CurrentUser,
                              "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                              "TamberlyUnfinished"));
  EXPECT_EQ(QuitCode(), 0);

  // Windows refuses: the box says so (or the definition's handler does instead).
  app.DestroyComponents();
  transcript.str("");
  Machine().SetRebootResult(false);
  Read(File("File1") + "  end\n", "    Reboot = True\n");
  Start();
  EXPECT_NE(transcript.str().find("messagebox None \"Installation of Notes\" buttons OK default "
                                  "OK\n| Could not reboot windows. Please manually reboot "
                                  "windows.\n"),
            std::string::npos)
      << transcript.str();
  // The name is taken by the first run's entry.
  EXPECT_TRUE(Reg().ValueType(RootKey::CurrentUser,
                              "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                              "TamberlyUnfinished1"));
  app.DestroyComponents();
  transcript.str("");
  Read(File("File1") + "  end\n", "    Reboot = True\n");
  bool failed = false;
  install->OnFailedReboot.Set([&](TPersistent*) { failed = true; });
  Start();
  EXPECT_TRUE(failed);
  EXPECT_EQ(transcript.str().find("messagebox"), std::string::npos);
}

TEST_F(RunTest, FilesMarkedToRunAreStartedWithTheirOwnParametersAfterTheGoodEnd) {
  Read(File("File1") + "    RunAfterInstall = True\n    RunParameters = '/first'\n  end\n" +
       File("File2") + "    RunAfterInstall = True\n  end\n" + File("File3") +
       "    RunAfterInstall = True\n    RunParameters = '/third'\n  end\n");
  for (const char* name : {"File1", "File2", "File3"}) {
    MakeFile(std::string("C:\\Program Files\\Notes\\") + name + ".dll");
  }
  install->OnBeforeRunFile.Set([](TCustomInstall*, TCustomInstallFile* file, bool& run) {
    if (file->Name() == "File2") run = false;
  });
  Start();
  std::vector<std::string> lines;
  for (const auto& launch : Machine().Launches()) lines.push_back(launch.request.command_line);
  EXPECT_EQ(lines, (std::vector<std::string>{"\"C:\\Program Files\\Notes\\File1.dll\" /first",
                                             "\"C:\\Program Files\\Notes\\File3.dll\" /third"}));
}

TEST_F(RunTest, TheSelfExtractingSwitchStartsTheArchiveAtItsRecordedOffset) {
  // A self-extracting program: whatever comes first, the trailer record, then the checksum.
  TSelfExtractRecord record;
  record.Signature = kSelfExtracting;
  record.SetupStart = 10;
  record.SetupEnd = 99;
  record.FilesStart = 100;
  record.FilesEnd = 299;
  const auto bytes = record.Encode();
  std::string exe(300, 'x');
  exe.append(bytes.begin(), bytes.end());
  exe.append(kCheckSumSize, '0');
  MakeFile("C:\\Dist\\NotesSetup.exe", exe);
  Engine().Arguments = {"-sC:\\Dist", "-eNotesSetup.exe"};
  Read(File("File1") + "  end\n");
  Start();
  EXPECT_EQ(InstallModel().SharedArchive->Offset, 100);
  EXPECT_EQ(Count("hear -979 Install1"), 1);
}

// The loading program unpacked this program into a folder of its own below the temporary folder
// (its shape: archive/self_extract.h). The cleanup empties it and leaves a batch file, started
// hidden at the end, that removes the rest once the program has ended.
class CleanupTest : public RunTest {
 protected:
  // Runs the product from the loader's folder; the batch file's text.
  std::string CleanupBatch() {
    const std::string folder = "C:\\WINDOWS\\TEMP\\TMBY0001";
    Engine().ProgramPath = folder + "\\setup.exe";
    MakeFile(Engine().ProgramPath, "the engine");
    MakeFile(folder + "\\readme.txt");
    Machine().LockPath(Engine().ProgramPath);  // it is running
    Engine().Arguments = {"-sC:\\Dist", "-c"};
    Read(File("File1") + "  end\n");
    Start();
    EXPECT_FALSE(Files().FileExists(folder + "\\readme.txt"));
    EXPECT_TRUE(Files().FileExists(Engine().ProgramPath));
    EXPECT_TRUE(install->CleanupPending);
    batch = install->CleanupBatchFile;
    EXPECT_EQ(batch.substr(batch.size() - 4), ".bat");
    auto in = Files().Open(batch, platform::FileAccess::Read, platform::kShareAll,
                           platform::FileDisposition::OpenExisting);
    if (!in) return "<no batch file>";
    std::string text(4096, '\0');
    size_t done = 0;
    EXPECT_TRUE(in->Read(text.data(), text.size(), &done));
    text.resize(done);
    in.reset();
    Machine().ClearRecords();
    app.DestroyComponents();
    EXPECT_EQ(Machine().Launches().size(), 1u);
    if (Machine().Launches().size() == 1) {
      EXPECT_EQ(Machine().Launches()[0].request.show_mode, platform::show::kHide);
      EXPECT_EQ(Machine().Launches()[0].request.command_line, "\"" + batch + "\"");
    }
    return text;
  }
  std::string batch;
};

TEST_F(CleanupTest, OnTheNTFamilyTheFolderGoesWithRdOnceTheProgramIsGone) {
  // There is no DELTREE: RD /S /Q removes the folder once the program file is gone, which the
  // batch waits for a bounded number of times.
  const std::string text = CleanupBatch();
  const std::string program = "\"C:\\WINDOWS\\TEMP\\TMBY0001\\setup.exe\"";
  EXPECT_EQ(text.find("DELTREE"), std::string::npos) << text;
  const size_t erase = text.find(":AGAIN\r\nERASE " + program);
  const size_t wait = text.find("IF NOT EXIST " + program + " GOTO GONE\r\n");
  const size_t bound = text.find("IF %TRIES% GEQ 30 GOTO GONE\r\n");
  const size_t remove = text.find(":GONE\r\nRD /S /Q \"C:\\WINDOWS\\TEMP\\TMBY0001\"\r\n");
  EXPECT_LT(erase, wait) << text;
  EXPECT_LT(wait, bound) << text;
  EXPECT_LT(bound, remove) << text;
  EXPECT_NE(remove, std::string::npos) << text;
  const std::string last = "ERASE \"" + batch + "\"\r\n";
  EXPECT_EQ(text.substr(text.size() - std::min(text.size(), last.size())), last);
}

TEST_F(CleanupTest, OnWindows9xTheFolderGoesWithDeltree) {
  Machine().SetVersion(platform::OsVersion{platform::PlatformId::Windows, 4, 10, 2222, ""});
  const std::string text = CleanupBatch();
  const std::string pif = batch.substr(0, batch.size() - 4) + ".PIF";
  EXPECT_EQ(text,
            "ERASE \"C:\\WINDOWS\\TEMP\\TMBY0001\\setup.exe\"\r\nDELTREE /Y "
            "\"C:\\WINDOWS\\TEMP\\TMBY0001\"\r\nERASE \"" +
                pif + "\"\r\nERASE \"" + batch + "\"\r\n");
}

TEST_F(RunTest, TheCleanupLeavesAnyOtherFolderAlone) {
  // Started with the loader's switch from a download folder, from the temporary folder itself,
  // from a folder of another shape below it, and from the distribution the source switch names.
  const std::vector<std::pair<std::string, std::string>> places = {
      {"C:\\Downloads\\setup.exe", "-sC:\\Dist"},
      {"C:\\WINDOWS\\TEMP\\setup.exe", "-sC:\\Dist"},
      {"C:\\WINDOWS\\TEMP\\Unpacked\\setup.exe", "-sC:\\Dist"},
      {"C:\\WINDOWS\\TEMP\\Notes\\setup.exe", "-sC:\\WINDOWS\\TEMP\\Notes"}};
  for (const auto& [program, source] : places) {
    app.DestroyComponents();
    Engine().ProgramPath = program;
    MakeFile(program, "the engine");
    const std::string other = program.substr(0, program.rfind('\\')) + "\\notes.doc";
    MakeFile(other);
    Engine().Arguments = {source, "-c"};
    Read(File("File1") + "  end\n");
    bool asked = false;
    install->OnBeforeCleanup.Set([&](TCustomInstall*, bool&) { asked = true; });
    Start();
    EXPECT_EQ(Count("hear -979 Install1"), 1) << program;
    EXPECT_TRUE(Files().FileExists(program)) << program;
    EXPECT_TRUE(Files().FileExists(other)) << program;
    EXPECT_FALSE(install->CleanupPending) << program;
    // The handler hears of the cleanup all the same: only the deletion depends on the folder.
    EXPECT_TRUE(asked) << program;
    TreeJournal().clear();
  }
}

TEST_F(RunTest, AFailedBuildModeEndsTheProgramWithoutARun) {
  // No BUILD.INF beside the program, no self-extracting file to copy to disks.
  for (const char* mode : {"-b", "-f"}) {
    app.DestroyComponents();
    transcript.str("");
    Engine().Arguments = {mode};
    Read(File("File1") + "  end\n");
    Start();
    EXPECT_NE(transcript.str().find(mode[1] == 'b' ? "| Need to have a BUILD.INF" : "| Sorry..."),
              std::string::npos)
        << mode;
    EXPECT_EQ(QuitCode(), kInstallFailedExitCode) << mode;
    EXPECT_EQ(Count("install File1"), 0) << mode;
  }
}

TEST_F(RunTest, ANetRunGivesTheFilesTheirRemoteRecordsOrEndsBadOnADamagedList) {
  // The server's folder holds the file list a web build wrote.
  MakeFile("C:\\Served\\lakeside\\keep.txt");
  platform::memory::NetServer server;
  server.folder = *Machine().HostPath("C:\\Served");
  Machine().ServeHost("files.example", server);
  const std::string list = "C:\\Served\\lakeside\\filelist.lst";
  ASSERT_TRUE(WriteRemoteFileList(
      list, {{5000, 40000.5, "FILE1", "1.2.3.4"}, {9, 1.0, "NoSuchFile", "9.9"}}));
  const std::string location =
      "  object NetLoc1: TNetInstallLocation\n"
      "    LoginInformation.Hostname = 'files.example'\n"
      "    LoginInformation.Directory = 'lakeside'\n  end\n";
  const std::string net = "    DistributeType = dtWeb\n    NetLocation = NetLoc1\n";
  Read(location + File("File1") + "  end\n" + File("File2") + "  end\n", net);
  auto* file1 = dynamic_cast<TCustomInstallFile*>(form->FindComponent("File1"));
  auto* file2 = dynamic_cast<TCustomInstallFile*>(form->FindComponent("File2"));
  ASSERT_NE(file1, nullptr);
  Start();
  EXPECT_EQ(Count("hear -979 Install1"), 1) << transcript.str();
  // The record finds its file without regard to case; a file the list does not name keeps what
  // its archive said.
  EXPECT_EQ(file1->Size, 5000);
  EXPECT_EQ(file1->FileDate, 40000.5);
  EXPECT_EQ(file1->Version, "1.2.3.4");
  EXPECT_EQ(file2->Size, 0);
  EXPECT_EQ(file2->Version, "");
  EXPECT_TRUE(Files().FindFiles("C:\\WINDOWS\\TEMP\\bat*.tmp").empty());

  // A list that announces a record it does not hold.
  std::string bytes = FileBytes(list);
  bytes.resize(bytes.size() - 1);
  MakeFile(list, bytes);
  app.DestroyComponents();
  transcript.str("");
  TreeJournal().clear();
  Read(location + File("File1") + "  end\n", net);
  Start();
  EXPECT_NE(transcript.str().find("| Cannot read the remote list of files: C:\\WINDOWS\\TEMP\\bat"),
            std::string::npos)
      << transcript.str();
  EXPECT_EQ(Count("install File1"), 0);
  EXPECT_EQ(QuitCode(), kInstallFailedExitCode);
  EXPECT_TRUE(Files().FindFiles("C:\\WINDOWS\\TEMP\\bat*.tmp").empty());
}

}  // namespace
}  // namespace tmby
