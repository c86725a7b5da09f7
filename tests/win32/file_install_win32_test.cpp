// Files installed for real: a product built by Compress from real files (a control and a library
// with DllRegisterServer, a program server, a type library compiled from IDL, a help file, a
// shared DLL) installs through the Windows API under whatever Windows the host reports (the test
// runner uses XP and 98), with the registry values compared one by one; a target held open by a
// running program waits for the restart under the next free number. The uninstaller removes such a
// product again: the servers take their registrations back, the values go, a file held open goes
// at the restart (with its folders on the NT line, through WININIT.INI on the 9x line). What the
// install found and kept (the user's edited file, a newer library, shared libraries others count
// or that Windows keeps) survives the uninstall, started from its stored command as Windows starts
// it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>

#include "base/path_text.h"
#include "model/custom_install_file.h"
#include "model/install_group.h"
#include "model/uninstall_exe.h"
#include "model/uninstaller.h"
#include "platform/script/script_ui.h"
#include "platform/win32/win32_internal.h"
#include "platform/win32/win32_port.h"
#include "support/install_tree_fixtures.h"
#include "support/pe_builder.h"
#include "support/port_fixture.h"
#include "system/program_launcher.h"
#include "system/registry.h"

namespace tmby::fixtures {
namespace {

using platform::RootKey;
using platform::win32::Utf8;
using platform::win32::Wide;

const char kProduct[] = "Tamberly File Test";
const char kUninstall[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tamberly File Test";
const char kServers[] = "Software\\TamberlyTest\\Servers";
const char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char kHelp[] = "SOFTWARE\\Microsoft\\Windows\\Help";
const char kTypeLib[] = "TypeLib\\{6B1D6A2E-3C55-4F0B-9A66-2D0C7E3A51F1}";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return text;
}

bool NineX() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  return GetVersionExW(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

// A file built beside this test program.
std::string Built(const char* name) {
  wchar_t buffer[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  const std::string self = Utf8(buffer);
  return self.substr(0, self.rfind('\\') + 1) + name;
}

class FileInstallWin32 : public ::testing::Test {
 protected:
  FileInstallWin32() {
    previous_ = platform::SetPort(&port_);
    InstallModel().Reset();
    PathSpecifierStartup();
    owner_ = new TComponent(nullptr);
    PathSpecifiers().Standard.CreateStandardSpecifiers(nullptr, owner_, true);
    InstallModel().SharedArchive = std::make_unique<TTmbyCompress>();
    base_ = port_.Files().TempPath().value_or("C:\\") + "tmbyfi" +
            std::to_string(GetCurrentProcessId());
    testing::RemoveTree(port_.Files(), base_);
    Clean();
    root_ = new TTestRoot(owner_);
    root_->SetName("Install1");
    root_->Product = kProduct;
    root_->Entry.ProductName = kProduct;
    root_->SetDestDir(base_ + "\\Program");
    root_->SetArchiveFile(base_ + "\\Dist\\files.1");
    auto* group = new TInstallGroup(owner_);
    group->SetName("Main");
    group->SetContainer(root_);
    dir_ = new TInstallDirectory(owner_);
    dir_->SetName("Bin");
    dir_->SetContainer(group);
    dir_->SetDestDir("\\Bin");
    target_ = base_ + "\\Program\\Bin";
  }
  ~FileInstallWin32() override {
    TComponent::Free(owner_);
    PathSpecifierShutdown();
    InstallModel().Reset();
    Clean();
    testing::RemoveTree(port_.Files(), base_);
    platform::SetPort(previous_);
  }

  // Everything the tests write outside their folder.
  void Clean() {
    auto& reg = port_.Registry();
    testing::DeleteKeyTree(reg, RootKey::LocalMachine, kUninstall);
    testing::DeleteKeyTree(reg, RootKey::CurrentUser, kServers);
    testing::DeleteKeyTree(reg, RootKey::ClassesRoot, kTypeLib);
    for (const char* name : {"NOTES.HLP"}) reg.DeleteValue(RootKey::LocalMachine, kHelp, name);
    if (auto names = reg.EnumValues(RootKey::LocalMachine, kSharedDlls)) {
      for (const auto& name : *names) {
        if (Lower(name).find("tmbyfi") != std::string::npos) {
          reg.DeleteValue(RootKey::LocalMachine, kSharedDlls, name);
        }
      }
    }
  }

  TInstallFile* Add(const std::string& name, const std::string& fileName, const std::string& from) {
    const std::string source = base_ + "\\Src\\" + fileName;
    port_.Files().CreateDirectories(base_ + "\\Src");
    EXPECT_TRUE(CopyFileW(Wide(from).c_str(), Wide(source).c_str(), FALSE)) << from;
    auto* file = TInstallFile::CreateInContainer(owner_, dir_, source);
    file->SetName(name);
    // Servers stay in the test's folder, not in the system folder their kind prefers.
    if (file->FileType() == iftSystemWideDLL) {
      file->SetFileType(iftNormal);
      file->SetDestDirType(PathSpecifiers().Standard.FindSpecifier("TpsContainerDestDir"));
      file->UpdateDLLCounter = false;
    }
    return file;
  }
  std::string Text(const std::string& name, const std::string& text) {
    const std::string path = base_ + "\\Texts\\" + name;
    port_.Files().CreateDirectories(base_ + "\\Texts");
    auto f = port_.Files().Open(path, platform::FileAccess::Write, platform::kShareNone,
                                platform::FileDisposition::CreateAlways);
    f->Write(text.data(), text.size());
    return path;
  }
  std::string Read(const std::string& path) {
    auto in = port_.Files().Open(path, platform::FileAccess::Read, platform::kShareAll,
                                 platform::FileDisposition::OpenExisting);
    std::string text(1 << 16, '\0');
    size_t got = 0;
    if (in) in->Read(text.data(), text.size(), &got);
    text.resize(got);
    return text;
  }
  void Write(const std::string& path, const std::string& text) {
    auto out = port_.Files().Open(path, platform::FileAccess::Write, platform::kShareNone,
                                  platform::FileDisposition::CreateAlways);
    if (out) out->Write(text.data(), text.size());
  }
  void Build() { root_->Compress({coRelocateArchives, coIncludeAll, coForceNetFilesLocal}); }
  void Run() {
    root_->Running = true;
    InstallModel().DeferRegistrations = true;
    root_->Install();
  }
  std::optional<std::string> Value(RootKey root, const std::string& key, const std::string& name) {
    return port_.Registry().ReadString(root, key, name);
  }

  platform::win32::Win32Platform port_;
  platform::IPlatform* previous_ = nullptr;
  TComponent* owner_ = nullptr;
  TTestRoot* root_ = nullptr;
  TInstallDirectory* dir_ = nullptr;
  std::string base_;
  std::string target_;
};

TEST_F(FileInstallWin32, AProductOfEveryKindOfFileInstallsWithItsRegistryValues) {
  auto* help = Add("NotesHelp", "notes.hlp", Text("notes.hlp", "help"));
  auto* shared = Add("SharedDll", "lakeshr.dll", Built("tmbynoentry.dll"));
  shared->UpdateDLLCounter = true;
  auto* control = Add("LakeGrid", "lakegrid.ocx", Built("tmbyserver.dll"));
  auto* types = Add("NoteTypes", "notes.tlb", Built("tmbytest.tlb"));
  auto* server = Add("NoteServer", "notesrv.exe", Built("tmbyexesrv.exe"));
  server->SetActiveX(true);
  server->SetFileType(iftNormal);
  server->SetDestDirType(PathSpecifiers().Standard.FindSpecifier("TpsContainerDestDir"));
  ASSERT_TRUE(help->RegisterAsHelp);
  ASSERT_TRUE(control->ActiveX());
  ASSERT_TRUE(types->ActiveX());
  Build();
  Run();

  const std::string dir = target_;
  for (const char* name :
       {"notes.hlp", "lakeshr.dll", "lakegrid.ocx", "notes.tlb", "notesrv.exe"}) {
    EXPECT_TRUE(port_.Files().FileExists(dir + "\\" + name)) << name;
  }
  EXPECT_EQ(InstallModel().Deferred.Count(), 0);
  // The control registered itself in its own folder.
  const auto control_record = Value(RootKey::CurrentUser, kServers, "lakegrid.ocx");
  ASSERT_TRUE(control_record);
  EXPECT_EQ(Lower(*control_record), Lower(dir));
  const auto server_record = Value(RootKey::CurrentUser, kServers, "notesrv.exe");
  ASSERT_TRUE(server_record);
  EXPECT_NE(server_record->find("/REGSERVER"), std::string::npos) << *server_record;
  const auto tlb = Value(RootKey::ClassesRoot, std::string(kTypeLib) + "\\1.0\\0\\win32", "");
  ASSERT_TRUE(tlb);
  EXPECT_EQ(Lower(*tlb), Lower(dir + "\\notes.tlb"));
  EXPECT_EQ(Value(RootKey::LocalMachine, kHelp, "NOTES.HLP"), dir);
  EXPECT_EQ(port_.Registry().ReadInteger(RootKey::LocalMachine, kSharedDlls, dir + "\\lakeshr.dll"),
            1u);

  const std::string files = std::string(kUninstall) + "\\Files";
  const std::string activex = std::string(kUninstall) + "\\ActiveX";
  EXPECT_EQ(Value(RootKey::LocalMachine, files, "Entries"), "2");
  EXPECT_EQ(Value(RootKey::LocalMachine, files, "File1"), dir + "\\lakeshr.dll");
  EXPECT_EQ(Value(RootKey::LocalMachine, files, "File2"), dir + "\\notes.hlp");
  EXPECT_EQ(Value(RootKey::LocalMachine, activex, "Entries"), "3");
  EXPECT_EQ(Value(RootKey::LocalMachine, activex, "File1"), dir + "\\notesrv.exe;1");
  EXPECT_EQ(Value(RootKey::LocalMachine, activex, "File2"), dir + "\\notes.tlb;2");
  EXPECT_EQ(Value(RootKey::LocalMachine, activex, "File3"), dir + "\\lakegrid.ocx;0");

  // The same product again: the lists and the count go on. The servers, of the same version and
  // date, stay as they are: not written again, they are not logged again either.
  Run();
  EXPECT_EQ(Value(RootKey::LocalMachine, files, "Entries"), "4");
  EXPECT_EQ(Value(RootKey::LocalMachine, files, "File3"), dir + "\\lakeshr.dll");
  EXPECT_EQ(Value(RootKey::LocalMachine, activex, "Entries"), "3");
  EXPECT_EQ(port_.Registry().ReadInteger(RootKey::LocalMachine, kSharedDlls, dir + "\\lakeshr.dll"),
            2u);
}

TEST_F(FileInstallWin32, ARefusedRegistrationRegistersOnTheRetry) {
  auto* control = Add("LakeGrid", "lakegrid.ocx", Built("tmbyrefuse.dll"));
  Build();
  Run();
  ASSERT_EQ(InstallModel().Deferred.Count(), 1);
  EXPECT_TRUE(Value(RootKey::CurrentUser, kServers, "lakegrid.ocx"));
  port_.Registry().DeleteValue(RootKey::CurrentUser, kServers, "lakegrid.ocx");
  // The server is mended (the refusal was passing), and the run retries.
  ASSERT_TRUE(CopyFileW(Wide(Built("tmbyserver.dll")).c_str(),
                        Wide(target_ + "\\lakegrid.ocx").c_str(), FALSE));
  control->RegisterActiveX();
  EXPECT_TRUE(Value(RootKey::CurrentUser, kServers, "lakegrid.ocx"));
}

TEST_F(FileInstallWin32, ATargetHeldByARunningProgramIsReplacedAtTheRestart) {
  auto* dll = Add("SetupDll", "setup.dll", Text("setup.dll", "new"));
  Build();
  port_.Files().CreateDirectories(target_);
  const std::string held = target_ + "\\setup.dll";
  ASSERT_TRUE(CopyFileW(Wide(base_ + "\\Texts\\setup.dll").c_str(), Wide(held).c_str(), FALSE));
  auto old = port_.Files().Open(held, platform::FileAccess::Write, platform::kShareNone,
                                platform::FileDisposition::CreateAlways);
  old->Write("old", 3);
  old.reset();
  port_.Files().CreateDirectories(target_);
  {
    auto taken = port_.Files().Open(target_ + "\\setup.1", platform::FileAccess::Write,
                                    platform::kShareNone, platform::FileDisposition::CreateAlways);
  }
  // Another program holds the target open.
  platform::LaunchRequest request;
  request.application_name = Built("tmbyholder.exe");
  request.command_line = "\"" + request.application_name + "\" \"" + held + "\" 20000";
  auto holder = port_.Processes().Create(request);
  ASSERT_TRUE(holder);
  for (int i = 0; i < 200 && !port_.Files().FileExists(held + ".held"); ++i) Sleep(50);
  ASSERT_TRUE(port_.Files().FileExists(held + ".held"));

  const std::string windows = port_.System().WindowsDirectory().value_or("C:\\WINDOWS");
  const std::string wininit = windows + "\\WININIT.INI";
  const bool hadWininit = port_.Files().FileExists(wininit);
  auto pending = testing::MakePortUnderTest("win32");
  Run();

  EXPECT_TRUE(dll->ReplaceOnReboot);
  EXPECT_EQ(dll->DestName(), "setup.2");
  EXPECT_TRUE(root_->RebootRequested);
  EXPECT_EQ(port_.Files().FileSize(target_ + "\\setup.2"), 3);
  const std::string shortTarget = port_.Files().ShortPathName(held).value_or(held);
  const std::string shortNew = shortTarget.substr(0, shortTarget.rfind('\\') + 1) + "setup.2";
  if (NineX()) {
    EXPECT_EQ(port_.IniFiles().ReadString(wininit, "Rename", shortTarget), shortNew);
  } else {
    const auto moves = pending->PendingReplacements(target_);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(Lower(moves[0].first), Lower(target_ + "\\setup.2"));
    EXPECT_EQ(Lower(moves[0].second), Lower(held));
  }
  // The old file is still what it was.
  holder->WaitForExit(30000);
  auto in = port_.Files().Open(held, platform::FileAccess::Read, platform::kShareAll,
                               platform::FileDisposition::OpenExisting);
  ASSERT_TRUE(in);
  char text[8] = {};
  size_t got = 0;
  in->Read(text, sizeof text, &got);
  EXPECT_EQ(std::string(text, got), "old");
  in.reset();

  pending->ForgetReplacements(target_);
  if (!hadWininit) {
    port_.Files().RemoveFile(wininit);
  } else {
    port_.IniFiles().WriteString(wininit, "Rename", shortTarget, "");
  }
}

TEST_F(FileInstallWin32, TheUninstallerRemovesTheProductWithItsRegistrations) {
  auto* uninstaller = new TUninstallEXE(owner_);
  uninstaller->SetName("Uninstaller");
  uninstaller->SetContainer(dir_);
  uninstaller->SetIncludeFromDir(base_ + "\\Texts");
  Text("uninstall.exe", "stands in for the uninstaller");
  uninstaller->SetFileName("uninstall.exe");
  Add("NotesHelp", "notes.hlp", Text("notes.hlp", "help"));
  Add("SharedDll", "lakeshr.dll", Text("lakeshr.dll", "shared"))->UpdateDLLCounter = true;
  Add("LakeGrid", "lakegrid.ocx", Built("tmbyserver.dll"));
  Add("NoteTypes", "notes.tlb", Built("tmbytest.tlb"));
  auto* server = Add("NoteServer", "notesrv.exe", Built("tmbyexesrv.exe"));
  server->SetActiveX(true);
  server->SetFileType(iftNormal);
  server->SetDestDirType(PathSpecifiers().Standard.FindSpecifier("TpsContainerDestDir"));
  Add("NoteData", "notes.dat", Text("notes.dat", "data"));
  Build();
  Run();
  ASSERT_TRUE(Value(RootKey::CurrentUser, kServers, "lakegrid.ocx"));
  ASSERT_TRUE(Value(RootKey::CurrentUser, kServers, "notesrv.exe"));
  ASSERT_TRUE(port_.Registry().KeyExists(RootKey::ClassesRoot, std::string(kTypeLib) + "\\1.0"));
  ASSERT_EQ(Value(RootKey::LocalMachine, kHelp, "NOTES.HLP"), target_);

  // A running program holds one of the files.
  const std::string held = target_ + "\\notes.dat";
  platform::LaunchRequest request;
  request.application_name = Built("tmbyholder.exe");
  request.command_line = "\"" + request.application_name + "\" \"" + held + "\" 6000";
  auto holder = port_.Processes().Create(request);
  ASSERT_TRUE(holder);
  for (int i = 0; i < 200 && !port_.Files().FileExists(held + ".held"); ++i) Sleep(50);
  ASSERT_TRUE(port_.Files().RemoveFile(held + ".held"));
  const std::string windows = port_.System().WindowsDirectory().value_or("C:\\WINDOWS");
  const std::string wininit = windows + "\\WININIT.INI";
  const bool hadWininit = port_.Files().FileExists(wininit);
  const std::string wininitBefore = Read(wininit);

  std::ostringstream transcript;
  {
    platform::script::ScriptUi ui(&transcript, {"answer Yes"});
    platform::ScopedUi scoped(&ui);
    EXPECT_EQ(RunUninstall(kProduct, base_ + "\\elsewhere\\uninstall.exe"), kUninstallDone);
  }
  EXPECT_NE(transcript.str().find("| Tamberly File Test was removed from your computer."),
            std::string::npos)
      << transcript.str();
  EXPECT_NE(transcript.str().find("| Some files are in use."), std::string::npos);
  EXPECT_FALSE(Value(RootKey::CurrentUser, kServers, "lakegrid.ocx"));
  EXPECT_FALSE(Value(RootKey::CurrentUser, kServers, "notesrv.exe"));
  EXPECT_FALSE(port_.Registry().KeyExists(RootKey::ClassesRoot, std::string(kTypeLib) + "\\1.0"));
  EXPECT_FALSE(Value(RootKey::LocalMachine, kHelp, "NOTES.HLP"));
  EXPECT_FALSE(
      port_.Registry().ReadInteger(RootKey::LocalMachine, kSharedDlls, target_ + "\\lakeshr.dll"));
  EXPECT_FALSE(port_.Registry().KeyExists(RootKey::LocalMachine, kUninstall));
  for (const char* name :
       {"notes.hlp", "lakeshr.dll", "lakegrid.ocx", "notes.tlb", "notesrv.exe", "uninstall.exe"}) {
    EXPECT_FALSE(port_.Files().FileExists(target_ + "\\" + name)) << name;
  }
  // The held file waits for the restart; on the NT line its folders wait after it.
  EXPECT_TRUE(port_.Files().FileExists(held));
  auto pending = testing::MakePortUnderTest("win32");
  if (NineX()) {
    const std::string shortHeld = Lower(port_.Files().ShortPathName(held).value_or(held));
    const std::string text = Lower(Read(wininit));
    EXPECT_NE(text.find("[rename]"), std::string::npos) << text;
    EXPECT_NE(text.find("nul=" + shortHeld + "\r\n"), std::string::npos) << text;
  } else {
    std::vector<std::string> gone;
    for (const auto& move : pending->PendingReplacements(base_)) {
      EXPECT_EQ(move.second, "");
      gone.push_back(Lower(move.first));
    }
    EXPECT_EQ(gone,
              (std::vector<std::string>{Lower(held), Lower(target_), Lower(base_ + "\\Program")}));
  }
  holder->WaitForExit(30000);
  pending->ForgetReplacements(base_);
  if (hadWininit) {
    Write(wininit, wininitBefore);
  } else {
    port_.Files().RemoveFile(wininit);
  }
}

// A product that finds the user's edited settings (kept by owNever), a newer library of another
// program (kept by owVersion) and a shared library another program brought without a count, and
// puts a shared library into the System folder. The uninstaller, started from "UninstallString"
// exactly as stored (CreateProcess with no application name, in a folder with a blank), finds its
// product, removes its own files and leaves those four as they were; the System folder's is
// Windows' question, whose default keeps it.
TEST_F(FileInstallWin32, TheUninstallLeavesWhatTheInstallFoundAndWhatOthersShare) {
  root_->SetDestDir(base_ + "\\Program Files");
  target_ = base_ + "\\Program Files\\Bin";
  const auto versioned = testing::PeFileOfVersion;
  auto* uninstaller = new TUninstallEXE(owner_);
  uninstaller->SetName("Uninstaller");
  uninstaller->SetContainer(dir_);
  port_.Files().CreateDirectories(base_ + "\\Src");
  ASSERT_TRUE(CopyFileW(Wide(Built("..\\apps\\uninstall\\uninstall-test.exe")).c_str(),
                        Wide(base_ + "\\Src\\uninstall.exe").c_str(), FALSE));
  uninstaller->SetIncludeFromDir(base_ + "\\Src");
  uninstaller->SetFileName("uninstall.exe");
  Add("Notes", "notes.txt", Text("notes.txt", "the product's own"));
  Add("Settings", "settings.ini", Text("settings.ini", "as shipped"))->OverwriteMode = owNever;
  Add("Tides", "tides.dll", Text("tides.dll", versioned(1)))->OverwriteMode = owVersion;
  const std::string library = "the same shared library";
  auto* found = Add("Found", "found.dll", Text("found.dll", library));
  found->UpdateDLLCounter = true;
  const std::string sysName = "tmbyfi" + std::to_string(GetCurrentProcessId()) + ".dll";
  auto* system = Add("SystemDll", sysName, Text(sysName, "ours, for the System folder"));
  system->SetDestDirType(PathSpecifiers().Standard.FindSpecifier("TpsSystem"));
  system->SetDestDir("");
  system->UpdateDLLCounter = true;
  Build();
  port_.Files().CreateDirectories(target_);
  Write(target_ + "\\settings.ini", "edited by the user");
  Write(target_ + "\\tides.dll", versioned(5));
  Write(target_ + "\\found.dll", library);
  Run();
  const std::string sys =
      IncludeTrailingBackslash(port_.System().SystemDirectory().value_or("C:\\WINDOWS")) + sysName;
  struct RemoveSystemFile {
    platform::IFileSystem& files;
    std::string path;
    ~RemoveSystemFile() { files.RemoveFile(path); }
  } removeSystemFile{port_.Files(), sys};
  ASSERT_EQ(Read(sys), "ours, for the System folder");
  EXPECT_EQ(Read(target_ + "\\settings.ini"), "edited by the user");
  EXPECT_EQ(Read(target_ + "\\tides.dll"), versioned(5));
  EXPECT_EQ(
      port_.Registry().ReadInteger(RootKey::LocalMachine, kSharedDlls, target_ + "\\found.dll"),
      2u);
  const auto command = Value(RootKey::LocalMachine, kUninstall, "UninstallString");
  ASSERT_EQ(command, "\"" + target_ + "\\uninstall.exe\" " + kProduct);

  const std::string wininit =
      port_.System().WindowsDirectory().value_or("C:\\WINDOWS") + "\\WININIT.INI";
  const bool hadWininit = port_.Files().FileExists(wininit);
  const std::string wininitBefore = Read(wininit);
  // Started as Add/Remove Programs starts it; its boxes go to the transcript.
  const std::string transcript = base_ + "\\uninstall.txt";
  Write(base_ + "\\yes.script", "answer Yes\r\n");
  SetEnvironmentVariableW(L"TMBY_UI", L"script");
  SetEnvironmentVariableW(L"TMBY_UI_SCRIPT", Wide(base_ + "\\yes.script").c_str());
  SetEnvironmentVariableW(L"TMBY_UI_TRANSCRIPT", Wide(transcript).c_str());
  platform::LaunchRequest request;
  request.command_line = *command;
  auto uninstall = port_.Processes().Create(request);
  SetEnvironmentVariableW(L"TMBY_UI", nullptr);
  SetEnvironmentVariableW(L"TMBY_UI_SCRIPT", nullptr);
  SetEnvironmentVariableW(L"TMBY_UI_TRANSCRIPT", nullptr);
  ASSERT_TRUE(uninstall);
  ASSERT_TRUE(uninstall->WaitForExit(120000));
  EXPECT_EQ(uninstall->ExitCode(), std::optional<uint32_t>(kUninstallDone));
  const std::string said = Read(transcript);
  EXPECT_NE(said.find("| " + std::string(kProduct) + " was removed from your computer."),
            std::string::npos)
      << said;
  EXPECT_NE(said.find("messagebox Question \"Remove Shared File?\" buttons Yes,No default No"),
            std::string::npos)
      << said;

  EXPECT_EQ(Read(target_ + "\\settings.ini"), "edited by the user");
  EXPECT_EQ(Read(target_ + "\\tides.dll"), versioned(5));
  EXPECT_EQ(Read(target_ + "\\found.dll"), library);
  EXPECT_EQ(Read(sys), "ours, for the System folder");
  EXPECT_EQ(
      port_.Registry().ReadInteger(RootKey::LocalMachine, kSharedDlls, target_ + "\\found.dll"),
      1u);
  EXPECT_FALSE(port_.Files().FileExists(target_ + "\\notes.txt"));
  EXPECT_FALSE(port_.Registry().KeyExists(RootKey::LocalMachine, kUninstall));

  // The running uninstaller went at the restart: that request is taken back.
  auto pending = testing::MakePortUnderTest("win32");
  pending->ForgetReplacements(base_);
  if (hadWininit) {
    Write(wininit, wininitBefore);
  } else {
    port_.Files().RemoveFile(wininit);
  }
}

}  // namespace
}  // namespace tmby::fixtures
