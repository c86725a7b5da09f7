// The program folder and its links made for real: the shell's link object under whatever Windows
// the host reports (the test runner uses XP and 98), every link read back through the shell and
// every internet shortcut through the profile functions, field by field, and the uninstall log
// read back from the registry.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h: the hot key modifiers.
#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "links/shell_links.h"
#include "model/install_group.h"
#include "model/uninstall_exe.h"
#include "paths/object_link_root.h"
#include "platform/win32/win32_internal.h"
#include "platform/win32/win32_port.h"
#include "support/exception_message.h"
#include "support/install_tree_fixtures.h"
#include "support/port_fixture.h"
#include "system/system_dirs.h"

namespace tmby::fixtures {
namespace {

using platform::RootKey;

class ShellLinksWin32 : public ::testing::Test {
 protected:
  ShellLinksWin32() {
    previous_ = platform::SetPort(&port_);
    InstallModel().Reset();
    ShellLinkModel().Reset();
    PathSpecifierStartup();
    owner_ = new TComponent(nullptr);
    PathSpecifiers().Standard.CreateStandardSpecifiers(nullptr, owner_, true);
    (new TpsObjectLink(owner_))->SetName("psObjectLink");
    // A "%" in the product name is no meta variable for the uninstaller's link.
    product_ = "Tamberly Link Test 100% " + std::to_string(GetCurrentProcessId());
    base_ = port_.Files().TempPath().value_or("C:\\") + "tmbyln" +
            std::to_string(GetCurrentProcessId());
    program_ = base_ + "\\Program Files\\Lakeside";
    folder_ = GetProgramsDir() + "\\" + product_;
    root_ = new TTestRoot(owner_);
    root_->SetName("Install1");
    root_->Product = product_;
    root_->SetDestDir(program_);
    group_ = new TMainLinkGroup(owner_);
    group_->SetName("MainLinkGroup1");
    group_->SetContainer(root_);
  }
  ~ShellLinksWin32() override {
    TComponent::Free(owner_);
    PathSpecifierShutdown();
    ShellLinkModel().Reset();
    InstallModel().Reset();
    testing::RemoveTree(port_.Files(), base_);
    testing::RemoveTree(port_.Files(), folder_);
    testing::DeleteKeyTree(port_.Registry(), RootKey::LocalMachine, UninstallKey());
    platform::SetPort(previous_);
  }

  std::string UninstallKey() const {
    return "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product_;
  }
  // A file of the product, put in place as the tree's install would.
  TTestFile* File(const std::string& name, const std::string& destName) {
    auto* file = Make<TTestFile>(name);
    file->SetContainer(root_);
    file->SetFileName(destName);
    file->SetDestName(destName);
    EXPECT_TRUE(port_.Files().CreateDirectories(program_));
    EXPECT_TRUE(port_.Files().Open(program_ + "\\" + destName, platform::FileAccess::Write,
                                   platform::kShareNone, platform::FileDisposition::CreateAlways));
    return file;
  }
  template <class T>
  T* Make(const std::string& name) {
    auto* object = new T(owner_);
    object->SetName(name);
    return object;
  }
  TInstallMainLink* Link(const std::string& name) { return Make<TInstallMainLink>(name); }
  void Run() { InstallAsTheRun(*root_); }
  std::vector<std::string> FilesList() { return UninstallFilesList(port_.Registry(), product_); }
  std::string ProfileString(const std::string& file) {
    wchar_t url[512] = {};
    GetPrivateProfileStringW(L"InternetShortcut", L"URL", L"", url, 512,
                             platform::win32::Wide(file).c_str());
    return platform::win32::Utf8(url);
  }
  std::vector<std::string> FolderEntries() {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(platform::win32::Wide(folder_ + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
      const std::string name = platform::win32::Utf8(found.cFileName);
      if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
  }

  platform::win32::Win32Platform port_;
  platform::IPlatform* previous_ = nullptr;
  TComponent* owner_ = nullptr;
  std::string product_, base_, program_, folder_;
  TTestRoot* root_ = nullptr;
  TMainLinkGroup* group_ = nullptr;
};

TEST_F(ShellLinksWin32, ProgramFolderLinksReadBackAndASecondInstallReplacesThem) {
  TTestFile* notes = File("File1", "LakeNotes.exe");
  TInstallMainLink* link = Link("NotesLink");
  link->SetObjectLink(notes);
  link->SetParameters("/open \"%i\\today.txt\" 100%%");
  link->SetHotKey((HOTKEYF_CONTROL | HOTKEYF_ALT) << 8 | 'L');
  TInstallMainLink* readme = Link("ReadmeLink");
  readme->SetObjectLocationType(PathSpecifiers().Standard.Lookup("TpsMainInstall"));
  readme->SetObjectLocation("\\readme.txt");
  TInstallMainLink* web = Link("WebLink");
  web->SetObjectLocation("http://lakeside.example/notes/");
  auto* uninstaller = Make<TUninstallEXE>("Uninstall1");
  uninstaller->SetContainer(root_);
  // Its file is not this test's business: left out of the tree, it counts as read from its
  // archive and installed.
  uninstaller->SetInclude(false);
  uninstaller->InfoRead = true;
  uninstaller->Processed = true;
  uninstaller->SetDestName("uninstall.exe");
  TInstallMainLink* remove = Link("UninstallLink");
  remove->SetObjectLink(uninstaller);
  remove->SetParameters("%i");

  Run();
  // The program's link, field by field as the shell reads it. The working folder is the
  // target's; no icon, description or show mode of its own.
  const auto read = port_.ShellLinks().Load(folder_ + "\\LakeNotes.lnk");
  ASSERT_TRUE(read) << std::hex << port_.ShellLinks().LastResult();
  EXPECT_EQ(read->target, program_ + "\\LakeNotes.exe");
  EXPECT_EQ(read->arguments, "/open \"" + program_ + "\\today.txt\" 100%");
  EXPECT_EQ(read->working_directory, program_);
  EXPECT_EQ(read->icon_path, "");
  EXPECT_EQ(read->icon_index, 0);
  EXPECT_EQ(read->description, "");
  EXPECT_EQ(read->show_command, SW_SHOWNORMAL);
  EXPECT_EQ(read->hot_key, (HOTKEYF_CONTROL | HOTKEYF_ALT) << 8 | 'L');

  const auto doc = port_.ShellLinks().Load(folder_ + "\\readme.LNK");
  ASSERT_TRUE(doc) << std::hex << port_.ShellLinks().LastResult();
  EXPECT_EQ(doc->target, program_ + "\\readme.txt");
  EXPECT_EQ(doc->arguments, "");
  EXPECT_EQ(doc->working_directory, program_);
  EXPECT_EQ(doc->hot_key, 0);

  const auto undo = port_.ShellLinks().Load(folder_ + "\\uninstall.lnk");
  ASSERT_TRUE(undo) << std::hex << port_.ShellLinks().LastResult();
  EXPECT_EQ(undo->target, program_ + "\\uninstall.exe");
  EXPECT_EQ(undo->arguments, product_);

  // The internet shortcut as the shell reads it: a profile file whose name cannot hold the
  // address's slashes.
  EXPECT_EQ(ProfileString(folder_ + "\\lakeside.example_notes_.URL"),
            "http://lakeside.example/notes/");

  const std::vector<std::string> links{folder_ + "\\LakeNotes.lnk", folder_ + "\\readme.LNK",
                                       folder_ + "\\lakeside.example_notes_.URL",
                                       folder_ + "\\uninstall.lnk"};
  EXPECT_EQ(FilesList(), links);
  const std::vector<std::string> made = FolderEntries();
  EXPECT_EQ(made.size(), 4u);

  // The same install again: each link file is replaced in place, and each is recorded once more,
  // as every installed item is, the counts going on from the stored "Entries".
  link->SetParameters("/new");
  link->SetHotKey(0);
  web->SetObjectLocation("ftp://lakeside.example/pub");
  Run();
  const auto again = port_.ShellLinks().Load(folder_ + "\\LakeNotes.lnk");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->arguments, "/new");
  EXPECT_EQ(again->hot_key, 0);
  EXPECT_EQ(ProfileString(folder_ + "\\lakeside.example_notes_.URL"), "ftp://lakeside.example/pub");
  EXPECT_EQ(FolderEntries(), made);
  std::vector<std::string> twice = links;
  twice.insert(twice.end(), links.begin(), links.end());
  EXPECT_EQ(FilesList(), twice);
}

TEST_F(ShellLinksWin32, BadInputGivesTheRuleOrAClearErrorNeverABrokenLinkFile) {
  TTestFile* notes = File("File1", "LakeNotes.exe");
  // Characters no file name may hold: the author's are cleaned when set, a colon and a
  // backslash when the file is written.
  TInstallMainLink* odd = Link("OddLink");
  odd->SetObjectLink(notes);
  odd->SetLinkName("Notes: \"new\"?\\..\\x.lnk");
  // A "%" that ends the arguments selects nothing.
  odd->SetParameters("-q %");
  // A link to an object that the chosen install type left out.
  TTestFile* extra = File("File2", "Extra.exe");
  extra->SetInstallTypes({itFull});
  root_->SetSelectedInstallType(itCompact);
  TInstallMainLink* skipped = Link("ExtraLink");
  skipped->SetObjectLink(extra);

  Run();
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"Notes_ _new___.._x.lnk"});
  const auto read = port_.ShellLinks().Load(folder_ + "\\Notes_ _new___.._x.lnk");
  ASSERT_TRUE(read) << std::hex << port_.ShellLinks().LastResult();
  EXPECT_EQ(read->target, program_ + "\\LakeNotes.exe");
  EXPECT_EQ(read->arguments, "-q ");
  EXPECT_EQ(FilesList(), std::vector<std::string>{folder_ + "\\Notes_ _new___.._x.lnk"});

  // A target longer than the shell keeps is refused with the shell's own code, not cut short.
  TInstallMainLink* longer = Link("LongLink");
  longer->SetObjectLocation(program_ + "\\" + std::string(300, 'n') + ".txt");
  longer->SetLinkName("Long");
  EXPECT_EQ(MessageOf<IEInstallShellLink>([&] { longer->Install(); }),
            "The TCustomInstallShellLink LongLink name could not be installed. The following "
            "error was reported Indicates one or more arguments are invalid. Error code "
            "-2147024809");
  EXPECT_EQ(FolderEntries().size(), 1u);
  EXPECT_EQ(FilesList().size(), 1u);
}

}  // namespace
}  // namespace tmby::fixtures
