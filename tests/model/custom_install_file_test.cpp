#include "model/custom_install_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "base/definition_reader.h"
#include "base/definition_writer.h"
#include "base/path_text.h"
#include "model/install_parameters.h"
#include "model/uninstall_exe.h"
#include "model/uninstall_log.h"
#include "platform/script/script_ui.h"
#include "support/install_tree_fixtures.h"
#include "system/registry.h"

namespace tmby::fixtures {
namespace {

using platform::RootKey;
using platform::memory::ServerScript;

const char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lakeside Notes";
const char kTarget[] = "C:\\Program Files\\Lakeside\\Bin";

// A product under the test root: a directory "\Bin" with files whose sources lie in C:\Src, its
// archive built by the root's Compress into C:\Dist\files.1, and every standard path kind.
class FileInstall : public InstallTreeTest {
 protected:
  FileInstall() {
    PathSpecifierStartup();
    PathSpecifiers().Standard.CreateStandardSpecifiers(nullptr, owner_, true);
    InstallModel().SharedArchive = std::make_unique<TTmbyCompress>();
    root_ = MakeRoot();
    root_->SetArchiveFile("C:\\Dist\\files.1");
    dir_ = Make<TInstallDirectory>("Bin", root_);
    dir_->SetDestDir("\\Bin");
  }
  ~FileInstall() override { PathSpecifierShutdown(); }

  TInstallFile* AddFile(const std::string& name, const std::string& fileName,
                        const std::string& text) {
    MakeFile("C:\\Src\\" + fileName, text);
    auto* file = TInstallFile::CreateInContainer(owner_, dir_, "C:\\Src\\" + fileName);
    file->SetName(name);
    return file;
  }
  void Build() { root_->Compress({coRelocateArchives, coIncludeAll, coForceNetFilesLocal}); }
  void Run() {
    root_->Running = true;
    InstallModel().DeferRegistrations = true;
    root_->Install();
  }
  std::string Text(const std::string& path) {
    auto f = Files().Open(path, platform::FileAccess::Read, platform::kShareAll,
                          platform::FileDisposition::OpenExisting);
    if (!f) return "<missing>";
    std::string out(4096, '\0');
    size_t got = 0;
    f->Read(out.data(), out.size(), &got);
    out.resize(got);
    return out;
  }
  std::optional<std::string> Value(const std::string& key, const std::string& name) {
    return Reg().ReadString(RootKey::LocalMachine, key, name);
  }
  // The names in the target directory other than the expected ones (left-over temporaries).
  std::vector<std::string> TargetNames() {
    std::vector<std::string> names;
    for (const auto& entry : Files().FindFiles(std::string(kTarget) + "\\*")) {
      names.push_back(entry.name);
    }
    return names;
  }
  // A server the machine registers, recording the calls.
  void KnowServer(const std::string& file, int32_t result = 0) {
    ServerScript script;
    script.result = result;
    Machine().SetServer(file, script);
  }

  TTestRoot* root_;
  TInstallDirectory* dir_;
};

TEST_F(FileInstall, ABuiltProductInstallsWithItsRegistrations) {
  auto* exe = AddFile("NotesExe", "notes.exe", "program");
  auto* help = AddFile("NotesHelp", "notes.hlp", "help text");
  auto* shared = AddFile("SharedDll", "lakeshr.dll", "shared");
  shared->UpdateDLLCounter = true;
  auto* ocx = AddFile("NotesCtl", "notes.ocx", "control");
  auto* tlb = AddFile("NotesTypes", "notes.tlb", "types");
  auto* server = AddFile("NotesServer", "notesrv.exe", "server");
  server->SetActiveX(true);
  EXPECT_TRUE(help->RegisterAsHelp);
  EXPECT_TRUE(ocx->ActiveX());
  EXPECT_TRUE(tlb->ActiveX());
  KnowServer("notes.ocx");
  KnowServer("notes.tlb");
  Build();
  ASSERT_TRUE(Files().FileExists("C:\\Dist\\files.1"));
  // The build read the sources; the install reads the archive afresh.
  for (auto* f : {exe, help, shared, ocx, tlb, server}) {
    f->Size = 0;
    f->Version = "x";
  }
  Run();

  EXPECT_EQ(Text(std::string(kTarget) + "\\notes.exe"), "program");
  EXPECT_EQ(Text(std::string(kTarget) + "\\notes.hlp"), "help text");
  EXPECT_EQ(exe->Size, 7);
  EXPECT_EQ(exe->Version, "");
  EXPECT_EQ(Value("SOFTWARE\\Microsoft\\Windows\\Help", "NOTES.HLP"), kTarget);
  EXPECT_EQ(Reg().ReadInteger(RootKey::LocalMachine,
                              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
                              std::string(kTarget) + "\\lakeshr.dll"),
            1u);
  // The OCX lives in the system folder, as its kind wants.
  EXPECT_EQ(Text("C:\\WINDOWS\\system32\\notes.ocx"), "control");
  std::vector<std::string> calls;
  for (const auto& call : Machine().ServerCalls()) calls.push_back(call.kind + " " + call.path);
  std::sort(calls.begin(), calls.end());
  EXPECT_EQ(calls, (std::vector<std::string>{"DllRegisterServer C:\\WINDOWS\\system32\\notes.ocx",
                                             "RegisterTypeLib C:\\WINDOWS\\system32\\notes.tlb"}));
  ASSERT_EQ(Machine().Launches().size(), 1u);
  EXPECT_EQ(Machine().Launches()[0].request.command_line,
            "\"C:\\WINDOWS\\system32\\notesrv.exe\" /REGSERVER");
  EXPECT_EQ(Machine().Launches()[0].request.show_mode, platform::show::kHide);
  EXPECT_TRUE(InstallModel().Deferred.Count() == 0);

  // The uninstall log: plain files under "Files", servers under "ActiveX" with their kind.
  const std::string files = std::string(kUninstallKey) + "\\Files";
  const std::string activex = std::string(kUninstallKey) + "\\ActiveX";
  EXPECT_EQ(Value(files, "Entries"), "3");
  EXPECT_EQ(Value(activex, "Entries"), "3");
  std::vector<std::string> logged;
  for (int i = 1; i <= 3; ++i) logged.push_back(*Value(activex, "File" + std::to_string(i)));
  std::sort(logged.begin(), logged.end());
  EXPECT_EQ(logged, (std::vector<std::string>{"C:\\WINDOWS\\system32\\notes.ocx;0",
                                              "C:\\WINDOWS\\system32\\notes.tlb;2",
                                              "C:\\WINDOWS\\system32\\notesrv.exe;1"}));

  // A second install of the same product continues the lists and the count. The servers, of
  // the same version and date, are kept as they are: the install did not write them again, and
  // the first run's entries name them.
  Run();
  EXPECT_EQ(Value(files, "Entries"), "6");
  EXPECT_EQ(Value(files, "File6").value_or("").find(kTarget), 0u);
  EXPECT_EQ(Value(activex, "Entries"), "3");
  EXPECT_EQ(Reg().ReadInteger(RootKey::LocalMachine,
                              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
                              std::string(kTarget) + "\\lakeshr.dll"),
            2u);
  EXPECT_EQ(TargetNames().size(), 3u);  // no temporary left behind
}

TEST_F(FileInstall, AFileInUseWaitsForTheRestartUnderTheNextFreeNumber) {
  auto* dll = AddFile("SetupDll", "setup.dll", "new");
  dll->SetActiveX(true);
  // A server, but in the product's folder and always replaced.
  dll->SetFileType(iftNormal);
  dll->SetDestDirType(PathSpecifiers().Standard.FindSpecifier("TpsContainerDestDir"));
  dll->OverwriteMode = owAlways;
  KnowServer("setup.dll");
  Build();
  MakeFile(std::string(kTarget) + "\\setup.dll", "old");
  MakeFile(std::string(kTarget) + "\\setup.1", "unrelated");
  Machine().LockPath(std::string(kTarget) + "\\setup.dll");
  Run();

  EXPECT_TRUE(dll->ReplaceOnReboot);
  EXPECT_EQ(dll->DestName(), "setup.2");
  EXPECT_EQ(Text(std::string(kTarget) + "\\setup.2"), "new");
  EXPECT_EQ(Text(std::string(kTarget) + "\\setup.1"), "unrelated");
  Machine().UnlockPath(std::string(kTarget) + "\\setup.dll");
  EXPECT_EQ(Text(std::string(kTarget) + "\\setup.dll"), "old");
  ASSERT_EQ(Machine().RebootMoves().size(), 1u);
  EXPECT_EQ(Machine().RebootMoves()[0].from, std::string(kTarget) + "\\setup.2");
  EXPECT_EQ(Machine().RebootMoves()[0].to, std::string(kTarget) + "\\setup.dll");
  EXPECT_TRUE(root_->RebootRequested);
  // The server registers after the restart, not now.
  EXPECT_EQ(root_->Unfinished, (std::vector<std::string>{"SetupDll;0"}));
  EXPECT_TRUE(Machine().ServerCalls().empty());
  // The log names the file that will stand there.
  EXPECT_EQ(Value(std::string(kUninstallKey) + "\\ActiveX", "File1"),
            std::string(kTarget) + "\\setup.dll;0");

  ASSERT_TRUE(Machine().ApplyRebootMoves());
  EXPECT_EQ(Text(std::string(kTarget) + "\\setup.dll"), "new");
  // After the restart the definition is read afresh: the file has its own name again.
  dll->SetDestName("setup.dll");
  dll->AfterReboot();
  ASSERT_EQ(Machine().ServerCalls().size(), 1u);
  EXPECT_EQ(Machine().ServerCalls()[0].path, std::string(kTarget) + "\\setup.dll");
}

TEST_F(FileInstall, OnWindows98TheReplacementGoesIntoWininit) {
  AddFile("SetupDll", "setup.dll", "new");
  Build();
  Machine().SetVersion(platform::OsVersion{platform::PlatformId::Windows, 4, 10, 2222, ""});
  MakeFile(std::string(kTarget) + "\\setup.dll", "old");
  Machine().LockPath(std::string(kTarget) + "\\setup.dll");
  Run();

  const auto shortTarget = Files().ShortPathName(std::string(kTarget) + "\\setup.dll");
  ASSERT_TRUE(shortTarget);
  EXPECT_NE(shortTarget->find("PROGRA~1"), std::string::npos) << *shortTarget;
  const std::string shortNew = shortTarget->substr(0, shortTarget->rfind('\\') + 1) + "setup.1";
  EXPECT_EQ(Machine().IniFiles().ReadString("C:\\WINDOWS\\WININIT.INI", "Rename", *shortTarget),
            shortNew);
  EXPECT_TRUE(Machine().RebootMoves().empty());
  EXPECT_TRUE(root_->RebootRequested);
}

TEST_F(FileInstall, WithoutDelayedMovesABatchFileReplacesTheFileAtTheNextStart) {
  AddFile("SetupDll", "setup.dll", "new");
  Build();
  Machine().RefuseRebootMoves(true);
  MakeFile(std::string(kTarget) + "\\setup.dll", "old");
  Machine().LockPath(std::string(kTarget) + "\\setup.dll");
  Run();

  // The batch file goes when the continuation is done; the file itself completes there too.
  ASSERT_EQ(root_->Unfinished.size(), 2u);
  EXPECT_EQ(root_->Unfinished[1], "SetupDll;0");
  const std::string item = root_->Unfinished[0];
  ASSERT_EQ(item.substr(item.size() - 2), ";1");
  const std::string batch = item.substr(0, item.size() - 2);
  EXPECT_EQ(batch.substr(batch.size() - 4), ".bat");
  const std::string shortTarget = *Files().ShortPathName(std::string(kTarget) + "\\setup.dll");
  const std::string shortNew = shortTarget.substr(0, shortTarget.rfind('\\') + 1) + "setup.1";
  EXPECT_EQ(Text(batch),
            "erase " + shortTarget + "\r\nmove " + shortNew + " " + shortTarget + "\r\n");
  EXPECT_EQ(
      Reg().ReadString(RootKey::CurrentUser,
                       "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", "TamberlyBatFile"),
      batch);
}

TEST_F(FileInstall, AFailedExtractionLeavesTheOldFileAsItWas) {
  AddFile("NotesExe", "notes.exe", std::string(5000, 'n'));
  Build();
  MakeFile(std::string(kTarget) + "\\notes.exe", "old");

  // A disk that fills up in the middle of the member.
  Machine().SetDiskFullAfter(1000);
  EXPECT_THROW(Run(), EtcDiskFull);
  Machine().SetDiskFullAfter(std::nullopt);
  EXPECT_EQ(Text(std::string(kTarget) + "\\notes.exe"), "old");
  EXPECT_EQ(TargetNames(), (std::vector<std::string>{"notes.exe"}));

  // A damaged member: a byte of its data flipped.
  {
    auto f = Files().Open("C:\\Dist\\files.1", platform::FileAccess::ReadWrite,
                          platform::kShareNone, platform::FileDisposition::OpenExisting);
    ASSERT_TRUE(f);
    const int64_t at = *f->Size() - 10;
    uint8_t byte = 0;
    size_t got = 0;
    ASSERT_TRUE(f->Seek(at, platform::SeekOrigin::Begin));
    ASSERT_TRUE(f->Read(&byte, 1, &got));
    byte ^= 0x5A;
    ASSERT_TRUE(f->Seek(at, platform::SeekOrigin::Begin));
    ASSERT_TRUE(f->Write(&byte, 1));
  }
  InstallModel().SharedArchive = std::make_unique<TTmbyCompress>();
  EXPECT_ANY_THROW(Run());
  EXPECT_EQ(Text(std::string(kTarget) + "\\notes.exe"), "old");
  EXPECT_EQ(TargetNames(), (std::vector<std::string>{"notes.exe"}));
}

TEST_F(FileInstall, BadSourcesTargetsAndArchivesFailWithTheirMessages) {
  auto* exe = AddFile("NotesExe", "notes.exe", "program");
  Build();
  // A file the archive does not hold.
  auto* extra = AddFile("Extra", "extra.txt", "extra");
  EXPECT_EQ(MessageOf<ETmbyCompress>([&] { Run(); }),
            "The file <C:\\Src\\extra.txt> was not found in the archive <C:\\Dist\\files.1>");
  EXPECT_FALSE(Files().FileExists(std::string(kTarget) + "\\extra.txt"));
  TComponent::Free(extra);

  // A source that vanished before the build.
  ASSERT_TRUE(Files().RemoveFile("C:\\Src\\notes.exe"));
  EXPECT_EQ(MessageOf<IECustomInstallFile>([&] { Build(); }),
            "Could not open or find the following file when trying to read the Size, Date, and "
            "Version :C:\\Src\\notes.exe");

  // A target folder on a drive that does not exist.
  dir_->SetDestDirType(nullptr);
  dir_->SetDestDir("Q:\\Nowhere");
  EXPECT_EQ(MessageOf<ETmbyCompress>([&] { Run(); }),
            "Cannot create the file Q:\\Nowhere\\notes.exe");

  // A read-only target is replaced: the overwrite rule has decided.
  dir_->SetDestDirType(PathSpecifiers().Standard.FindSpecifier("TpsContainerDestDir"));
  dir_->SetDestDir("\\Bin");
  MakeFile("C:\\Src\\notes.exe", "program");
  Build();
  MakeFile(std::string(kTarget) + "\\notes.exe", "old");
  Files().SetAttributes(std::string(kTarget) + "\\notes.exe", platform::attr::kReadOnly);
  Run();
  EXPECT_EQ(Text(std::string(kTarget) + "\\notes.exe"), "program");
  EXPECT_FALSE(exe->ReplaceOnReboot);
}

TEST_F(FileInstall, AFailedExtractionNamesTheTargetNotTheFileWrittenBesideIt) {
  auto* exe = AddFile("NotesExe", "notes.exe", "program");
  Build();
  const std::string target = std::string(kTarget) + "\\notes.exe";
  MakeFile(target, "old");
  // The name the new file is written under first is held by another program.
  Machine().LockPath(std::string(kTarget) + "\\~tmb" + std::to_string(exe->UniqueID()) + ".tmp");
  EXPECT_EQ(MessageOf<ETmbyCompress>([&] { Run(); }), "Cannot create the file " + target);
  EXPECT_EQ(Text(target), "old");
}

TEST_F(FileInstall, AFileWithoutAVersionIsWrittenWhereNoneIsYet) {
  // By the version rule a missing target has no version, nor has a text file: equal, yet there
  // is nothing to keep.
  auto* readme = AddFile("ReadMe", "readme.txt", "read me");
  readme->OverwriteMode = owVersion;
  Build();
  const std::string target = std::string(kTarget) + "\\readme.txt";
  Run();
  EXPECT_EQ(Text(target), "read me");
  // Once there, the equal version keeps it.
  MakeFile(target, "the user's notes");
  Run();
  EXPECT_EQ(Text(target), "the user's notes");
}

TEST_F(FileInstall, TheOverwriteRuleKeepsOrAsks) {
  auto* exe = AddFile("NotesExe", "notes.exe", "program");
  auto* help = AddFile("NotesHelp", "notes.hlp", "help");
  Build();
  MakeFile(std::string(kTarget) + "\\notes.exe", "old");
  MakeFile(std::string(kTarget) + "\\notes.hlp", "old help");
  exe->OverwriteMode = owNever;
  help->OverwriteMode = owAsk;
  std::ostringstream transcript;
  platform::script::ScriptUi ui(&transcript, {"answer No"});
  platform::ScopedUi scoped(&ui);
  Run();
  EXPECT_EQ(Text(std::string(kTarget) + "\\notes.exe"), "old");
  EXPECT_EQ(Text(std::string(kTarget) + "\\notes.hlp"), "old help");
  EXPECT_NE(transcript.str().find("| Copy This File notes.hlp?"), std::string::npos)
      << transcript.str();
  // A kept file still registers and counts as done, but the install did not write it: it is
  // not the product's to remove, and the log does not name it.
  EXPECT_EQ(Value("SOFTWARE\\Microsoft\\Windows\\Help", "NOTES.HLP"), kTarget);
  EXPECT_EQ(std::count(root_->InfoCodes.begin(), root_->InfoCodes.end(), ieFileKept), 2);
  EXPECT_FALSE(exe->CopyDecision);
  EXPECT_FALSE(exe->Wrote());
  EXPECT_TRUE(exe->Processed);
  EXPECT_FALSE(Reg().KeyExists(RootKey::LocalMachine, std::string(kUninstallKey) + "\\Files"));

  // Written the next time (the user says Yes): logged then, and once more on a later run that
  // keeps it (the earlier run's entry stays and the list goes on after it).
  help->OverwriteMode = owAlways;
  Run();
  EXPECT_TRUE(help->Wrote());
  EXPECT_EQ(Value(std::string(kUninstallKey) + "\\Files", "File1"),
            std::string(kTarget) + "\\notes.hlp");
  help->OverwriteMode = owNever;
  Run();
  EXPECT_EQ(Value(std::string(kUninstallKey) + "\\Files", "Entries"), "1");
}

// Shared counts as Windows Installer keeps them: a file that was there without a count belongs
// to the program that brought it too (2), a new one to this product alone (1), and a kept one is
// counted without being logged as written. The product's own list names each count it added.
TEST_F(FileInstall, SharedFilesFoundWithoutACountStartAtTwoAndTheCountsAreListed) {
  auto* found = AddFile("FoundDll", "tides.dll", "ours");
  auto* kept = AddFile("KeptDll", "kept.dll", "ours");
  auto* fresh = AddFile("FreshDll", "fresh.dll", "ours");
  for (auto* f : {found, kept, fresh}) {
    f->UpdateDLLCounter = true;
    f->OverwriteMode = owAlways;
  }
  kept->OverwriteMode = owNever;
  Build();
  MakeFile(std::string(kTarget) + "\\tides.dll", "theirs");
  MakeFile(std::string(kTarget) + "\\kept.dll", "theirs");
  const std::string shared = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
  // A count of 0 that someone left counts as none.
  ASSERT_TRUE(Reg().CreateKey(RootKey::LocalMachine, shared));
  ASSERT_TRUE(
      Reg().WriteInteger(RootKey::LocalMachine, shared, std::string(kTarget) + "\\kept.dll", 0));
  Run();
  const auto count = [&](const char* name) {
    return Reg().ReadInteger(RootKey::LocalMachine, shared, std::string(kTarget) + "\\" + name);
  };
  EXPECT_EQ(count("tides.dll"), 2u);
  EXPECT_EQ(count("kept.dll"), 2u);
  EXPECT_EQ(count("fresh.dll"), 1u);
  EXPECT_EQ(Text(std::string(kTarget) + "\\kept.dll"), "theirs");
  const std::string files = std::string(kUninstallKey) + "\\Files";
  const std::string counted = std::string(kUninstallKey) + "\\SharedDLLs";
  std::vector<std::string> written;
  std::vector<std::string> listed;
  for (int i = 1; i <= 3; ++i) {
    if (auto v = Value(files, "File" + std::to_string(i))) written.push_back(*v);
    if (auto v = Value(counted, "File" + std::to_string(i))) listed.push_back(*v);
  }
  std::sort(written.begin(), written.end());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(written, (std::vector<std::string>{std::string(kTarget) + "\\fresh.dll",
                                               std::string(kTarget) + "\\tides.dll"}));
  EXPECT_EQ(listed, (std::vector<std::string>{std::string(kTarget) + "\\fresh.dll",
                                              std::string(kTarget) + "\\kept.dll",
                                              std::string(kTarget) + "\\tides.dll"}));
  EXPECT_EQ(Value(counted, "Entries"), "3");
}

// The old target is gone and the finished new file cannot take its name (a scanner holds it):
// the new file stays under its temporary name and replaces the target at the restart.
TEST_F(FileInstall, ANewFileThatCannotTakeTheTargetsNameReplacesItAtTheRestart) {
  auto* exe = AddFile("NotesExe", "notes.exe", "new program");
  exe->OverwriteMode = owVersionDate;
  Build();
  MakeFile(std::string(kTarget) + "\\notes.exe", "old");
  Files().SetDosTime(std::string(kTarget) + "\\notes.exe", 0x00210000);
  const std::string temporary =
      std::string(kTarget) + "\\~tmb" + std::to_string(exe->UniqueID()) + ".tmp";
  // Held from the moment the extraction completes it.
  exe->OnStatus.Set([&](TCustomInstallFile*, int32_t percent, int32_t) {
    if (percent == 100) Machine().LockPath(temporary);
  });
  Run();
  Machine().UnlockPath(temporary);
  EXPECT_FALSE(Files().FileExists(std::string(kTarget) + "\\notes.exe"));
  EXPECT_EQ(Text(temporary), "new program");
  EXPECT_TRUE(exe->ReplaceOnReboot);
  EXPECT_TRUE(root_->RebootRequested);
  ASSERT_EQ(Machine().RebootMoves().size(), 1u);
  EXPECT_EQ(Machine().RebootMoves()[0].from, temporary);
  EXPECT_EQ(Machine().RebootMoves()[0].to, std::string(kTarget) + "\\notes.exe");
  // The log names the file that will stand there.
  EXPECT_EQ(Value(std::string(kUninstallKey) + "\\Files", "File1"),
            std::string(kTarget) + "\\notes.exe");
  ASSERT_TRUE(Machine().ApplyRebootMoves());
  EXPECT_EQ(Text(std::string(kTarget) + "\\notes.exe"), "new program");
}

// Windows 98's restart renames files named by their short paths: the target, gone already, gets
// an empty stand-in so that it has one.
TEST_F(FileInstall, OnWindows98ANewFileThatCannotTakeTheTargetsNameGoesIntoWininit) {
  auto* exe = AddFile("NotesExe", "lakeside notes.exe", "new program");
  exe->OverwriteMode = owVersionDate;
  Build();
  Machine().SetVersion(platform::OsVersion{platform::PlatformId::Windows, 4, 10, 2222, ""});
  const std::string target = std::string(kTarget) + "\\lakeside notes.exe";
  MakeFile(target, "old");
  Files().SetDosTime(target, 0x00210000);
  const std::string temporary =
      std::string(kTarget) + "\\~tmb" + std::to_string(exe->UniqueID()) + ".tmp";
  exe->OnStatus.Set([&](TCustomInstallFile*, int32_t percent, int32_t) {
    if (percent == 100) Machine().LockPath(temporary);
  });
  Run();
  Machine().UnlockPath(temporary);
  EXPECT_EQ(Text(temporary), "new program");
  EXPECT_EQ(Text(target), "");
  const auto shortTarget = Files().ShortPathName(target);
  ASSERT_TRUE(shortTarget);
  EXPECT_NE(*shortTarget, target);
  EXPECT_EQ(Machine().IniFiles().ReadString("C:\\WINDOWS\\WININIT.INI", "Rename", *shortTarget),
            shortTarget->substr(0, shortTarget->rfind('\\') + 1) + "~tmb" +
                std::to_string(exe->UniqueID()) + ".tmp");
  EXPECT_TRUE(root_->RebootRequested);
}

TEST_F(FileInstall, FailedServerRegistrationsWaitForTheRetry) {
  auto* ocx = AddFile("NotesCtl", "notes.ocx", "control");
  KnowServer("notes.ocx", static_cast<int32_t>(0x80004005));
  Build();
  Run();
  ASSERT_EQ(InstallModel().Deferred.Count(), 1);
  EXPECT_EQ(InstallModel().Deferred.Items(0), ocx);
  KnowServer("notes.ocx");
  ocx->RegisterActiveX();
  EXPECT_EQ(Machine().ServerCalls().size(), 2u);

  // Without deferral the failure is the install's.
  KnowServer("notes.ocx", 5);
  InstallModel().DeferRegistrations = false;
  EXPECT_EQ(MessageOf<IECustomInstallFile>([&] { ocx->RegisterDll(); }),
            "Could not register the ActiveX component, C:\\WINDOWS\\system32\\notes.ocx, because "
            "the DllRegisterServer function returned a value of 5. The file component is NotesCtl");
  Machine().SetServer("notes.ocx", ServerScript{true, 0, false});
  EXPECT_EQ(MessageOf<IECustomInstallFile>([&] { ocx->RegisterDll(); }),
            "Could not register the ActiveX component, C:\\WINDOWS\\system32\\notes.ocx, because "
            "the DllRegisterServer function could not be found. The file component is NotesCtl. "
            "The following value is the value of the GetLastError function: 127");
  Machine().SetServer("notes.ocx", ServerScript{false, 193});
  EXPECT_EQ(MessageOf<IECustomInstallFile>([&] { ocx->RegisterDll(); }),
            "Could not register the ActiveX component, C:\\WINDOWS\\system32\\notes.ocx, because "
            "the LoadLibrary(C:\\WINDOWS\\system32\\notes.ocx) procedure returned a value of 0. "
            "The file component is NotesCtl. The following value is the value of the "
            "GetLastError function: 193");
  ASSERT_TRUE(Files().RemoveFile("C:\\WINDOWS\\system32\\notes.ocx"));
  EXPECT_EQ(MessageOf<IECustomInstallFile>([&] { ocx->RegisterActiveX(); }),
            "Cannot compress,copy, or install the following file because it's destination "
            "directory is blank. File is :NotesCtl");
}

TEST_F(FileInstall, ASharedDllCountedUnderItsShortNameCountsOnThere) {
  auto* dll = AddFile("SharedDll", "lakeshared.dll", "shared");
  dll->UpdateDLLCounter = true;
  Build();
  Run();
  const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
  const std::string full = std::string(kTarget) + "\\lakeshared.dll";
  const std::string shortName = *Files().ShortPathName(full);
  ASSERT_NE(shortName, full);
  EXPECT_EQ(Reg().ReadInteger(RootKey::LocalMachine, key, full), 1u);
  ASSERT_TRUE(Reg().DeleteValue(RootKey::LocalMachine, key, full));
  ASSERT_TRUE(Reg().WriteInteger(RootKey::LocalMachine, key, shortName, 4));
  Run();
  EXPECT_EQ(Reg().ReadInteger(RootKey::LocalMachine, key, shortName), 5u);
  EXPECT_FALSE(Reg().ReadInteger(RootKey::LocalMachine, key, full));
}

TEST_F(FileInstall, ADamagedFilesListHandsTheEntryToTheNextOne) {
  AddFile("NotesExe", "notes.exe", "program");
  Build();
  const std::string files = std::string(kUninstallKey) + "\\Files";
  Reg().CreateKey(RootKey::LocalMachine, files);
  Reg().WriteString(RootKey::LocalMachine, files, "Entries", "many");
  Run();
  EXPECT_EQ(Value(files, "Entries"), "many");
  EXPECT_EQ(Value(files + "1", "Entries"), "1");
  EXPECT_EQ(Value(files + "1", "File1"), std::string(kTarget) + "\\notes.exe");
}

TEST_F(FileInstall, ARunWritesItsListCountAtTheEndAndAKilledRunLosesNoEntry) {
  AddFile("NotesExe", "notes.exe", "program");
  AddFile("NotesHelp", "notes.hlp", "help text");
  Build();
  const std::string files = std::string(kUninstallKey) + "\\Files";
  TUninstallLogCounts& counts = UninstallLogCounts();
  // A run keeps the count to itself until it ends; this one is killed before it does.
  counts.Hold();
  Run();
  counts.Release();
  EXPECT_TRUE(Value(files, "File1"));
  EXPECT_TRUE(Value(files, "File2"));
  EXPECT_FALSE(Value(files, "Entries"));
  // The next install steps over the entries beyond the count.
  Run();
  EXPECT_EQ(Value(files, "Entries"), "4");
  EXPECT_EQ(Value(files, "File1").value_or("").find(kTarget), 0u);
  EXPECT_EQ(Value(files, "File2").value_or("").find(kTarget), 0u);
  EXPECT_EQ(Value(files, "File4").value_or("").find(kTarget), 0u);
  // A run that ends writes its count.
  counts.Hold();
  Run();
  counts.WritePending();
  counts.Release();
  EXPECT_EQ(Value(files, "Entries"), "6");
  EXPECT_EQ(Value(files, "File6").value_or("").find(kTarget), 0u);
}

TEST_F(FileInstall, ACancelConfirmedAtAFilesLastReportStopsTheRunThere) {
  TCustomInstallFile* files[] = {AddFile("Readme", "readme.txt", "new text"),
                                 AddFile("NotesExe", "notes.exe", "new program")};
  Build();
  MakeFile(std::string(kTarget) + "\\readme.txt", "old text");
  MakeFile(std::string(kTarget) + "\\notes.exe", "old program");
  // The copy window's Cancel, confirmed during the first file's one and last report.
  for (TCustomInstallFile* file : files) {
    file->OnStatus.Set([](TCustomInstallFile*, int32_t percent, int32_t) {
      if (percent == 100) InstallModel().SharedArchive->Abort = true;
    });
  }
  EXPECT_THROW(Run(), EAIUserAbort);
  // Neither the file being copied nor the next one replaced what stood there.
  EXPECT_EQ(Text(std::string(kTarget) + "\\readme.txt"), "old text");
  EXPECT_EQ(Text(std::string(kTarget) + "\\notes.exe"), "old program");
  std::vector<std::string> names = TargetNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"notes.exe", "readme.txt"}));
}

TEST_F(FileInstall, ACancelConfirmedWhileAKeptFileIsReportedStopsTheNextFile) {
  AddFile("Readme", "readme.txt", "new text");
  auto* exe = AddFile("NotesExe", "notes.exe", "new program");
  Build();
  // The program (installed first) stays as it is; its report (100 %, no copy) is where the
  // user's Cancel in the copy window is confirmed. The next file's extraction starts by clearing
  // the archive's flag: the Cancel must stop the run before that.
  exe->OverwriteMode = owNever;
  MakeFile(std::string(kTarget) + "\\readme.txt", "old text");
  MakeFile(std::string(kTarget) + "\\notes.exe", "old program");
  std::vector<std::string> reported;
  root_->OnStatus.Set([&](TCustomInstallFile* file, int32_t, int32_t) {
    reported.push_back(file->FileName());
    if (file->FileName() == "notes.exe") InstallModel().SharedArchive->Abort = true;
  });
  EXPECT_THROW(Run(), EAIUserAbort);
  EXPECT_EQ(reported, std::vector<std::string>{"notes.exe"});
  EXPECT_EQ(Text(std::string(kTarget) + "\\readme.txt"), "old text");
  EXPECT_EQ(Text(std::string(kTarget) + "\\notes.exe"), "old program");
}

TEST_F(FileInstall, WhatAKilledRunLeftBesideTheTargetGivesWay) {
  auto* exe = AddFile("NotesExe", "notes.exe", "program");
  Build();
  // A run killed while it extracted the file left its half-written temporary behind.
  const std::string left =
      std::string(kTarget) + "\\~tmb" + std::to_string(exe->UniqueID()) + ".tmp";
  MakeFile(left, "half a prog");
  Run();
  EXPECT_EQ(Text(std::string(kTarget) + "\\notes.exe"), "program");
  EXPECT_EQ(TargetNames(), std::vector<std::string>{"notes.exe"});
  // A file decided by its date is written beside the target first, and takes its place whole.
  exe->OverwriteMode = owDate;
  MakeFile(left, "half a prog");
  MakeFile(std::string(kTarget) + "\\notes.exe", "older");
  Files().SetDosTime(std::string(kTarget) + "\\notes.exe", 0x00210000);
  Run();
  EXPECT_EQ(Text(std::string(kTarget) + "\\notes.exe"), "program");
  EXPECT_EQ(TargetNames(), std::vector<std::string>{"notes.exe"});
}

TEST_F(FileInstall, ABeforeInstallAbortSkipsTheFileAndCountsItDone) {
  auto* exe = AddFile("NotesExe", "notes.exe", "program");
  AddFile("NotesHlp", "notes.hlp", "help");
  Build();
  bool after = false;
  bool processed = false;
  exe->OnBeforeInstall.Set([](TCustomInstallFile*) { throw EAbort(); });
  exe->OnAfterInstall.Set([&](TCustomInstallFile*) { after = true; });
  exe->OnAfterProcess.Set([&](TInstallContainer*) { processed = true; });
  MakeFile(std::string(kTarget) + "\\notes.exe", "the user's");
  Run();
  EXPECT_EQ(Text(std::string(kTarget) + "\\notes.exe"), "the user's");
  EXPECT_FALSE(after);
  EXPECT_EQ(std::count(root_->InfoCodes.begin(), root_->InfoCodes.end(), ieFileSkipped), 1);
  // Skipped is not installed: not processed, and not in the log the uninstaller reads.
  EXPECT_FALSE(processed);
  EXPECT_FALSE(exe->Processed);
  EXPECT_EQ(Value(std::string(kUninstallKey) + "\\Files", "File1"),
            std::string(kTarget) + "\\notes.hlp");
  EXPECT_EQ(Value(std::string(kUninstallKey) + "\\Files", "Entries"), "1");
}

TEST_F(FileInstall, WithoutAHandlerTheUserIsAskedForTheDisk) {
  auto* exe = AddFile("NotesExe", "notes.exe", "program");
  Build();
  std::ostringstream transcript;
  platform::script::ScriptUi ui(&transcript, {"answer Cancel"});
  platform::ScopedUi scoped(&ui);
  TTmbyCompress archive;
  std::string path = "A:\\";
  EXPECT_THROW(exe->NewDiskHandler(archive, 2, path), EAIUserAbort);
  EXPECT_TRUE(archive.Abort);
  EXPECT_NE(transcript.str().find("| Please insert disk #2"), std::string::npos)
      << transcript.str();
  EXPECT_EQ(exe->Tag(), 0);

  // A handler answers for the user: no box, and the path it gives is used from now on.
  exe->OnNewDisk.Set([](TCustomInstallFile*, int32_t, std::string& p) { p = "B:\\Disk2\\"; });
  exe->NewDiskHandler(archive, 2, path);
  EXPECT_EQ(path, "B:\\Disk2");
  auto* main = static_cast<TpsMainArchiveFile*>(
      PathSpecifiers().Standard.FindSpecifier("TpsMainArchiveFile"));
  EXPECT_EQ(main->ArchiveDirectory, "B:\\Disk2");
}

// ---------------------------------------------------------------------------------------------
// File settings, identifiers and the file list

using FileSettings = FileInstall;

TEST_F(FileSettings, TheFileNameChoosesKindDestinationAndRules) {
  auto* ocx = AddFile("Ctl", "grid.ocx", "x");
  EXPECT_TRUE(ocx->ActiveX());
  EXPECT_EQ(ocx->FileType(), iftSystemWideDLL);
  EXPECT_TRUE(ocx->UpdateDLLCounter);
  EXPECT_EQ(ocx->OverwriteMode, owVersionDate);
  EXPECT_EQ(ocx->DestDir(), "");
  EXPECT_TRUE(IsSpecifierKind(ocx->DestDirType(), "TpsSystem"));
  EXPECT_EQ(ocx->DestName(), "grid.ocx");

  auto* dll = AddFile("Lib", "lake.dll", "x");
  dll->SetFileType(iftVendorSharedDLL);
  EXPECT_EQ(dll->DestDir(), "\\System");
  EXPECT_TRUE(IsSpecifierKind(dll->DestDirType(), "TpsCommonFiles"));
  dll->SetFileType(iftApplicationSpecificDLL);
  EXPECT_TRUE(IsSpecifierKind(dll->DestDirType(), "TpsMainInstall"));

  auto* win = AddFile("Win", "winhelp.dll", "x");
  win->SetDestDirType(PathSpecifiers().Standard.FindSpecifier("TpsWindow"));
  EXPECT_EQ(win->OverwriteMode, owVersionDate);
  win->SetDestDirType(PathSpecifiers().Standard.FindSpecifier("TpsSystem"));
  EXPECT_EQ(win->FileType(), iftSystemWideDLL);

  MakeFile("C:\\Src\\ro.txt", "x");
  Files().SetAttributes("C:\\Src\\ro.txt", platform::attr::kReadOnly);
  auto* ro = TInstallFile::CreateInContainer(owner_, dir_, "C:\\Src\\ro.txt");
  EXPECT_EQ(ro->InstallAttributes, TTmbyFileAttributesSet{tfaReadOnly});
  EXPECT_EQ(MessageOf<IEfcDuplicateFile>([&] { ro->SetFileName("lake.dll"); }),
            "There is already a file with the name :C:\\Src\\lake.dll");
}

TEST_F(FileSettings, IdentifiersAreTheLowestFreeAndAreGivenBack) {
  auto* a = AddFile("A", "a.txt", "a");
  auto* b = AddFile("B", "b.txt", "b");
  EXPECT_EQ(a->UniqueID(), 0);
  EXPECT_EQ(b->UniqueID(), 1);
  TComponent::Free(a);
  auto* c = AddFile("C", "c.txt", "c");
  EXPECT_EQ(c->UniqueID(), 0);
  EXPECT_THROW(c->SetUniqueID(2000), IECustomInstallFile);
  // Once every identifier is taken a new file has 0.
  InstallModel().UsedIds.fill(true);
  auto* d = AddFile("D", "d.txt", "d");
  EXPECT_EQ(d->UniqueID(), 0);
}

TEST_F(FileSettings, TheListEntryIsAnEightyByteRecord) {
  auto* file = AddFile("NotesExe", "notes.exe", "program");
  file->Size = 0x01020304;
  file->FileDate = 36526.5;
  file->Version = "2.0.1.7";
  std::vector<uint8_t> out{0xEE};
  file->WriteListEntry(out);
  ASSERT_EQ(out.size(), 81u);
  EXPECT_EQ(out[1], 0x04);
  EXPECT_EQ(out[4], 0x01);
  double date = 0;
  std::memcpy(&date, out.data() + 1 + 8, 8);
  EXPECT_EQ(date, 36526.5);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data() + 1 + 16)), "NotesExe");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data() + 1 + 56)), "2.0.1.7");
  // Nineteen characters in 21 bytes: the field of 20 ends before the last "é", which would not
  // fit whole, never in the middle of it.
  file->Version = "2.0.1 b\xC3\xA9ta 1234567\xC3\xA9";
  out.clear();
  file->WriteListEntry(out);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data() + 56)),
            "2.0.1 b\xC3\xA9ta 1234567");
  file->SetName(std::string(40, 'N'));
  EXPECT_THROW(file->WriteListEntry(out), IECustomInstallFile);
  EXPECT_EQ(out.size(), 80u);
}

const char kFiles[] = R"(object Main: TComponent
  object psProgramFiles: TpsProgramFiles
  end
  object psContainerDestDir: TpsContainerDestDir
  end
  object psContainerArchiveFile: TpsContainerArchiveFile
  end
  object Install1: TTestRoot
    DestDir = '\Lakeside'
    DestDirType = psProgramFiles
  end
  object Bin: TInstallDirectory
    ArchiveFileType = psContainerArchiveFile
    Container = Install1
    DestDir = '\Bin'
    DestDirType = psContainerDestDir
    InstallTypes = [itFull, itCompact]
  end
  object psFileContainer: TpsFileContainer
    FileContainer = Bin
  end
  object Grid: TInstallFile
    ArchiveFileType = psContainerArchiveFile
    Container = Bin
    DestDir = '\Controls'
    DestDirType = psContainerDestDir
    InstallTypes = [itFull, itCompact]
    InstallAttributes = []
    DestName = 'grid.ocx'
    FileName = 'grid.ocx'
    IncludeFromDir = 'C:\Src'
    UniqueID = 7
  end
  object psInstallSource: TpsInstallSource
  end
  object Uninstaller: TUninstallEXE
    ArchiveFile = '\tools.1'
    ArchiveFileType = psInstallSource
    Container = Bin
    DestDirType = psContainerDestDir
    InstallTypes = [itFull, itCompact]
    DestName = 'uninstall.exe'
    FileName = 'uninstall.exe'
    IncludeFromDir = 'C:\Src'
    UniqueID = 3
  end
end
)";

TEST_F(FileSettings, ADefinitionKeepsEveryStoredValueAndItsIdentifiers) {
  // The fixture's own tree stands aside: the definition brings its own.
  AddFile("Before", "before.txt", "x");
  TComponent::Free(owner_);
  owner_ = new TComponent(nullptr);
  TClassRegistry classes;
  classes.Register(TComponent::StaticClass());
  RegisterTreeFixtureClasses(classes);
  TEventHandlers handlers;
  TDefinitionOptions options;
  options.Classes = &classes;
  options.Handlers = &handlers;
  TOwned<TComponent> main(ReadDefinition(kFiles, "files.tmby", options).release());
  auto* grid = static_cast<TInstallFile*>(main->FindComponent("Grid"));
  ASSERT_TRUE(grid);
  // An .ocx read from a definition stays what the author stored: no coupling while loading.
  EXPECT_FALSE(grid->ActiveX());
  EXPECT_EQ(grid->FileType(), iftNormal);
  EXPECT_EQ(grid->DestDir(), "\\Controls");
  EXPECT_EQ(grid->UniqueID(), 7);
  EXPECT_EQ(grid->TargetPath(), "C:\\Program Files\\Lakeside\\Bin\\Controls\\grid.ocx");
  auto* uninstaller = static_cast<TUninstallEXE*>(main->FindComponent("Uninstaller"));
  ASSERT_TRUE(uninstaller);
  EXPECT_TRUE(uninstaller->Net());
  // The relative archive part survives although the definition names its specifier after it.
  EXPECT_EQ(uninstaller->ArchiveFile(), "\\tools.1");
  // The table holds exactly the identifiers of the definition.
  std::vector<int> used;
  for (int i = 0; i < kUniqueIdCount; ++i) {
    if (InstallModel().UsedIds[static_cast<size_t>(i)]) used.push_back(i);
  }
  EXPECT_EQ(used, (std::vector<int>{3, 7}));
  // The identifiers are always written, and what was read is written back alike.
  const std::string once = WriteDefinition(*main);
  EXPECT_NE(once.find("    UniqueID = 7\n"), std::string::npos) << once;
  EXPECT_NE(once.find("    UniqueID = 3\n"), std::string::npos) << once;
  TComponent::Free(main.release());
  main.reset(ReadDefinition(once, "again.tmby", options).release());
  EXPECT_EQ(WriteDefinition(*main), once);
  TComponent::Free(main.release());
}

// ---------------------------------------------------------------------------------------------
// The uninstaller and the Add/Remove Programs entry

TEST_F(FileInstall, TheUninstallerWritesTheEntryInItsOrder) {
  // Added first, so installed last: the files it names are in place by then.
  MakeFile("C:\\Src\\uninstall.exe", "MZ");
  auto* uninstaller = new TUninstallEXE(owner_);
  uninstaller->SetName("Uninstaller");
  uninstaller->SetContainer(dir_);
  uninstaller->SetIncludeFromDir("C:\\Src");
  uninstaller->SetFileName("uninstall.exe");
  auto* readme = AddFile("ReadMe", "readme.txt", "read me");
  auto* icon = AddFile("Icon", "notes.ico", "icon");
  icon->SetInclude(false);
  root_->Product = "Lakeside Notes ";
  root_->Entry = TUninstallEntry{"Lakeside Notes ", "2.0", "Lakeside Software"};
  root_->Entry.HelpLink = "http://lakeside.example/help";
  root_->Entry.ReadMe = readme;
  root_->Entry.DisplayIcon = icon;
  root_->Entry.RegOwner = "Pat";
  Build();
  Run();
  const std::string key = std::string(kUninstallKey) + " ";
  TtmbyRegistry reg;
  reg.SetRootKey(RootKey::LocalMachine);
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\" + key));
  // Only what has a value, in the order of the entry; the excluded icon is not named.
  EXPECT_EQ(reg.GetValueNames(),
            (std::vector<std::string>{"DisplayName", "UninstallString", "DisplayVersion",
                                      "HelpLink", "Publisher", "Readme", "RegOwner"}));
  EXPECT_EQ(Value(key, "DisplayName"), "Lakeside Notes");
  EXPECT_EQ(Value(key, "UninstallString"),
            "\"" + std::string(kTarget) + "\\uninstall.exe\" Lakeside Notes");
  EXPECT_EQ(Value(key, "Readme"), std::string(kTarget) + "\\readme.txt");
  EXPECT_TRUE(Files().FileExists(std::string(kTarget) + "\\uninstall.exe"));

  // Without an install root there is no entry to write.
  InstallModel().SetCurrentInstall(nullptr);
  EXPECT_EQ(MessageOf<IEUninstallEXE>([&] { uninstaller->RegisterUninstall(key); }),
            "Uninstaller could not write information about the uninstall to the registry because "
            "there was no TInstall component");
  InstallModel().SetCurrentInstall(root_);
  TComponent::Free(uninstaller);
  EXPECT_TRUE(root_->UninstallerGone);
}

}  // namespace
}  // namespace tmby::fixtures
