// The uninstaller against what a real install leaves: the product is built and installed by the
// install objects themselves (files, servers, a help file, shared libraries, the uninstaller and
// a link folder in the Start menu), then removed, with the user's answers and the boxes going
// through the scripted UI.
#include "model/uninstaller.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "model/custom_install_file.h"
#include "model/uninstall_exe.h"
#include "platform/script/script_ui.h"
#include "support/install_tree_fixtures.h"
#include "support/pe_builder.h"
#include "system/registry.h"
#include "translate/translator.h"

namespace tmby::fixtures {
namespace {

using platform::RootKey;

const char kKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lakeside Notes";
const char kBin[] = "C:\\Program Files\\Lakeside\\Bin";
const char kUninstaller[] = "C:\\Program Files\\Lakeside\\Bin\\uninstall.exe";
// The Start menu's Programs folder as the install finds it without "Shell Folders" values.
const char kPrograms[] = "C:\\WINDOWS\\Startmen\\Programs";
const char kMenu[] = "C:\\WINDOWS\\Startmen\\Programs\\Lakeside Notes";
const char kShared[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

class Uninstall : public InstallTreeTest {
 protected:
  Uninstall() {
    PathSpecifierStartup();
    PathSpecifiers().Standard.CreateStandardSpecifiers(nullptr, owner_, true);
    InstallModel().SharedArchive = std::make_unique<TTmbyCompress>();
    root_ = MakeRoot();
    root_->SetArchiveFile("C:\\Dist\\files.1");
    bin_ = Make<TInstallDirectory>("Bin", root_);
    bin_->SetDestDir("\\Bin");
    // The links of the program folder are files of the "Files" list like any other.
    menu_ = Make<TInstallDirectory>("Menu", root_);
    menu_->SetDestDirType(PathSpecifiers().Standard.FindSpecifier("TpsProgramMenu"));
    menu_->SetDestDir("\\Lakeside Notes");
  }
  ~Uninstall() override { PathSpecifierShutdown(); }

  TInstallFile* Add(TInstallDirectory* dir, const std::string& fileName) {
    MakeFile("C:\\Src\\" + fileName, "contents of " + fileName);
    auto* file = TInstallFile::CreateInContainer(owner_, dir, "C:\\Src\\" + fileName);
    file->SetName("F" + std::to_string(++count_));
    return file;
  }
  // Every kind of file the log knows, installed by the install objects.
  void AddUninstaller() {
    MakeFile("C:\\Src\\uninstall.exe", "MZ");
    auto* uninstaller = new TUninstallEXE(owner_);
    uninstaller->SetName("Uninstaller");
    uninstaller->SetContainer(bin_);
    uninstaller->SetIncludeFromDir("C:\\Src");
    uninstaller->SetFileName("uninstall.exe");
  }
  void InstallProduct() {
    AddUninstaller();
    Add(bin_, "notes.exe");
    Add(bin_, "notes.hlp");
    // The control in the product's folder, the type library in the system folder its kind
    // chooses.
    auto* control = Add(bin_, "notes.ocx");
    control->SetFileType(iftNormal);
    control->SetDestDirType(PathSpecifiers().Standard.FindSpecifier("TpsContainerDestDir"));
    control->SetActiveX(true);
    Add(bin_, "notes.tlb");
    Add(bin_, "notesrv.exe")->SetActiveX(true);
    // A library other products may share, and one that is this product's alone.
    Add(bin_, "lakeshr.dll")->UpdateDLLCounter = true;
    Add(bin_, "lakeown.dll")->UpdateDLLCounter = true;
    Add(menu_, "Lakeside Notes.lnk");
    for (const char* name : {"notes.ocx", "notes.tlb"}) {
      platform::memory::ServerScript script;
      script.on_unregister = [this, name] { unregistered_.push_back(name); };
      Machine().SetServer(name, script);
    }
    root_->Compress({coRelocateArchives, coIncludeAll, coForceNetFilesLocal});
    root_->Running = true;
    InstallModel().DeferRegistrations = true;
    root_->Install();
    Machine().ClearRecords();
    ASSERT_TRUE(Files().FileExists(std::string(kMenu) + "\\Lakeside Notes.lnk"));
    ASSERT_EQ(Reg().ReadString(RootKey::LocalMachine, kKey, "UninstallString"),
              "\"" + std::string(kUninstaller) + "\" Lakeside Notes");
  }

  // The uninstaller's run with the user's answers; the transcript is kept.
  int Run(const std::string& product, const std::vector<std::string>& answers = {"answer Yes"},
          const std::string& self = "C:\\Temp\\uninstall.exe") {
    transcript_.str("");
    platform::script::ScriptUi ui(&transcript_, answers);
    platform::ScopedUi scoped(&ui);
    return RunUninstall(product, self);
  }
  std::string Transcript() const { return transcript_.str(); }
  std::string Text(const std::string& path) {
    auto f = Files().Open(path, platform::FileAccess::Read, platform::kShareAll,
                          platform::FileDisposition::OpenExisting);
    if (!f) return "<missing>";
    std::string out(1 << 16, '\0');
    size_t got = 0;
    f->Read(out.data(), out.size(), &got);
    out.resize(got);
    return out;
  }
  bool Exists(const std::string& path) {
    return Files().FileExists(path) || Files().DirectoryExists(path);
  }

  TTestRoot* root_;
  TInstallDirectory* bin_;
  TInstallDirectory* menu_;
  int count_ = 0;
  std::vector<std::string> unregistered_;
  std::ostringstream transcript_;
};

TEST_F(Uninstall, AnInstalledProductGoesWithItsServersHelpLinksFoldersAndKey) {
  InstallProduct();
  ASSERT_TRUE(
      Reg().ReadString(RootKey::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\Help", "NOTES.HLP"));
  MakeFile("C:\\Program Files\\Lakeside\\Other\\keep.txt", "someone else's");

  // The type library and the program server went into the System folder as shared files that
  // only this product counts: Windows' question comes for each, and Yes removes them.
  EXPECT_EQ(Run("  lakeside notes ", {"answer Yes", "answer Yes", "answer Yes"}), kUninstallDone);

  // Asked first, told after.
  const std::string transcript = Transcript();
  const size_t ask = transcript.find(
      "| Do you want to completely remove lakeside notes and all of its components?");
  const size_t told = transcript.find("| lakeside notes was removed from your computer.");
  EXPECT_NE(ask, std::string::npos) << transcript;
  EXPECT_NE(told, std::string::npos) << transcript;
  EXPECT_LT(ask, told);
  // Each server by its kind: the library and the type library in this process, the program
  // server started hidden with /UNREGSERVER and waited for.
  std::vector<std::string> calls;
  for (const auto& call : Machine().ServerCalls()) calls.push_back(call.kind + " " + call.path);
  std::sort(calls.begin(), calls.end());
  EXPECT_EQ(calls,
            (std::vector<std::string>{"DllUnregisterServer " + std::string(kBin) + "\\notes.ocx",
                                      "UnRegisterTypeLib C:\\WINDOWS\\system32\\notes.tlb"}));
  EXPECT_EQ(unregistered_.size(), 2u);
  ASSERT_EQ(Machine().Launches().size(), 1u);
  EXPECT_EQ(Machine().Launches()[0].request.command_line,
            "\"C:\\WINDOWS\\system32\\notesrv.exe\" /UNREGSERVER");
  EXPECT_EQ(Machine().Launches()[0].request.show_mode, platform::show::kHide);

  for (const char* gone :
       {"C:\\Program Files\\Lakeside\\Bin", kMenu, "C:\\WINDOWS\\system32\\notes.tlb"}) {
    EXPECT_FALSE(Exists(gone)) << gone;
  }
  // The folders of Windows and of the shell stay, and so does what the product did not put
  // there.
  for (const char* kept :
       {"C:\\Program Files\\Lakeside\\Other\\keep.txt", "C:\\WINDOWS\\system32", kPrograms}) {
    EXPECT_TRUE(Exists(kept)) << kept;
  }
  EXPECT_FALSE(
      Reg().ReadString(RootKey::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\Help", "NOTES.HLP"));
  EXPECT_EQ(Reg().EnumValues(RootKey::LocalMachine, kShared), std::vector<std::string>{});
  EXPECT_FALSE(Reg().KeyExists(RootKey::LocalMachine, kKey));

  // A second run finds nothing and says so.
  Machine().ClearRecords();
  EXPECT_EQ(Run("Lakeside Notes"), kUninstallNothing);
  EXPECT_NE(Transcript().find("| Lakeside Notes is not installed on this computer, or it has "
                              "already been removed. Nothing was changed."),
            std::string::npos)
      << Transcript();
  EXPECT_EQ(Transcript().find("Do you want"), std::string::npos);
  EXPECT_TRUE(Machine().ServerCalls().empty());
}

// What the install found and kept, and what other programs count, stays byte for byte; the
// product's own files go. A shared file in the System folder that no program counts any more is
// Windows' question, which keeps it unless the user says Yes.
TEST_F(Uninstall, WhatTheInstallDidNotWriteOrOthersStillCountStays) {
  const auto versioned = testing::PeFileOfVersion;
  const std::string bin = kBin;
  // The user's edited settings, a newer library of another program, a library another program
  // brought without counting it, and one another program counts.
  MakeFile(bin + "\\settings.ini", "edited by the user");
  MakeFile(bin + "\\tides.dll", versioned(5));
  MakeFile(bin + "\\found.dll", "brought by another program");
  MakeFile(bin + "\\theirs.dll", "counted by another program");
  Reg().CreateKey(RootKey::LocalMachine, kShared);
  Reg().WriteInteger(RootKey::LocalMachine, kShared, bin + "\\theirs.dll", 3);
  MakeFile("C:\\Src\\tides.dll", versioned(1));
  auto* tides = TInstallFile::CreateInContainer(owner_, bin_, "C:\\Src\\tides.dll");
  tides->SetName("Tides");
  tides->OverwriteMode = owVersion;
  Add(bin_, "settings.ini")->OverwriteMode = owNever;
  Add(bin_, "found.dll")->UpdateDLLCounter = true;
  Add(bin_, "theirs.dll");
  // A library for the System folder that only this product uses.
  auto* system = Add(bin_, "lakesys.dll");
  system->SetFileType(iftSystemWideDLL);
  ASSERT_TRUE(system->UpdateDLLCounter);
  InstallProduct();
  const std::string sys = "C:\\WINDOWS\\system32\\lakesys.dll";
  ASSERT_TRUE(Files().FileExists(sys));
  ASSERT_EQ(Reg().ReadInteger(RootKey::LocalMachine, kShared, bin + "\\found.dll"), 2u);

  // The first answer removes the product; the shared file's question is left to its default.
  EXPECT_EQ(Run("Lakeside Notes"), kUninstallDone);
  const std::string transcript = Transcript();
  EXPECT_NE(
      transcript.find("messagebox Question \"Remove Shared File?\" buttons Yes,No default No"),
      std::string::npos)
      << transcript;
  EXPECT_NE(transcript.find("| " + sys), std::string::npos) << transcript;
  EXPECT_EQ(Text(bin + "\\settings.ini"), "edited by the user");
  EXPECT_EQ(Text(bin + "\\tides.dll"), versioned(5));
  EXPECT_EQ(Text(bin + "\\found.dll"), "contents of found.dll");
  EXPECT_EQ(Text(bin + "\\theirs.dll"), "contents of theirs.dll");
  EXPECT_EQ(Text(sys), "contents of lakesys.dll");
  // The counts are as they were before the install; the System file's is gone with this product.
  EXPECT_EQ(Reg().ReadInteger(RootKey::LocalMachine, kShared, bin + "\\found.dll"), 1u);
  EXPECT_EQ(Reg().ReadInteger(RootKey::LocalMachine, kShared, bin + "\\theirs.dll"), 3u);
  EXPECT_FALSE(Reg().ReadInteger(RootKey::LocalMachine, kShared, sys));
  EXPECT_FALSE(Files().FileExists(bin + "\\notes.exe"));
  EXPECT_FALSE(Files().FileExists(bin + "\\lakeown.dll"));
  EXPECT_FALSE(Reg().KeyExists(RootKey::LocalMachine, kKey));
}

TEST_F(Uninstall, TheSharedFileQuestionAnsweredYesRemovesTheSystemFile) {
  AddUninstaller();
  auto* system = Add(bin_, "lakesys.dll");
  system->SetFileType(iftSystemWideDLL);
  root_->Compress({coRelocateArchives, coIncludeAll, coForceNetFilesLocal});
  root_->Running = true;
  root_->Install();
  const std::string sys = "C:\\WINDOWS\\system32\\lakesys.dll";
  // Another product counts it as well: no question, and it stays.
  const auto count = Reg().ReadInteger(RootKey::LocalMachine, kShared, sys);
  ASSERT_EQ(count, 1u);
  Reg().WriteInteger(RootKey::LocalMachine, kShared, sys, 2);
  EXPECT_EQ(Run("Lakeside Notes", {"answer Yes", "answer Yes"}), kUninstallDone);
  EXPECT_EQ(Transcript().find("Remove Shared File?"), std::string::npos) << Transcript();
  EXPECT_TRUE(Files().FileExists(sys));
  EXPECT_EQ(Reg().ReadInteger(RootKey::LocalMachine, kShared, sys), 1u);

  // Installed again, and this product is the last to count it: the user is asked, and Yes
  // removes it.
  Reg().DeleteValue(RootKey::LocalMachine, kShared, sys);
  Files().RemoveFile(sys);
  root_->Install();
  EXPECT_EQ(Run("Lakeside Notes", {"answer Yes", "answer Yes"}), kUninstallDone);
  EXPECT_NE(Transcript().find("Remove Shared File?"), std::string::npos) << Transcript();
  EXPECT_FALSE(Files().FileExists(sys));
  EXPECT_FALSE(Reg().ReadInteger(RootKey::LocalMachine, kShared, sys));
}

// The raw command lines Windows hands the uninstaller: "UninstallString" as written now (quoted),
// as older installs wrote it (unquoted, blanks in the path), and the link's.
TEST(UninstallCommandLine, TheProgramsOwnPathIsStrippedInAnySpelling) {
  const std::string self = "C:\\Program Files\\Lakeside Notes\\uninstall.exe";
  const std::string selfShort = "C:\\PROGRA~1\\LAKESI~1\\UNINST~1.EXE";
  const auto namesSelf = [&](const std::string& words) {
    for (const std::string& path : {words, words + ".exe"}) {
      if (SameText(path, self) || SameText(path, selfShort)) return true;
    }
    return false;
  };
  for (const std::string& line : std::vector<std::string>{
           "\"" + self + "\" Lakeside Notes", self + " Lakeside Notes",
           selfShort + " Lakeside Notes", "\"" + selfShort + "\" Lakeside Notes",
           "  " + self + "   Lakeside Notes  ",
           "C:\\Program Files\\Lakeside Notes\\uninstall Lakeside Notes",
           "c:\\program files\\lakeside notes\\UNINSTALL.EXE \"Lakeside Notes\"",
           "uninstall.exe Lakeside Notes"}) {
    EXPECT_EQ(ProductFromCommandLine(line, namesSelf), "Lakeside Notes") << line;
  }
  // A product whose name begins like the path is still the rest of the line.
  EXPECT_EQ(ProductFromCommandLine(self + " " + self, namesSelf), self);
  EXPECT_EQ(ProductFromCommandLine("\"" + self + "\"", namesSelf), "");
  EXPECT_EQ(ProductFromCommandLine(self, namesSelf), "");
  EXPECT_EQ(ProductFromCommandLine("", namesSelf), "");
  // Without knowing itself, an unquoted path with a blank would split: the control.
  EXPECT_EQ(ProductFromCommandLine(self + " Lakeside Notes", nullptr),
            "Files\\Lakeside Notes\\uninstall.exe Lakeside Notes");
}

TEST_F(Uninstall, ASharedFileStaysWhileOtherProductsCountIt) {
  // Another product counts the library already (under its short name, the one the system
  // gives); a second shared library is this product's alone.
  MakeFile(std::string(kBin) + "\\lakeshr.dll", "older");
  const std::string shortName = *Files().ShortPathName(std::string(kBin) + "\\lakeshr.dll");
  Reg().CreateKey(RootKey::LocalMachine, kShared);
  Reg().WriteInteger(RootKey::LocalMachine, kShared, shortName, 1);
  InstallProduct();
  ASSERT_EQ(Reg().ReadInteger(RootKey::LocalMachine, kShared, shortName), 2u);

  EXPECT_EQ(Run("Lakeside Notes"), kUninstallDone);
  EXPECT_TRUE(Files().FileExists(std::string(kBin) + "\\lakeshr.dll"));
  EXPECT_EQ(Reg().ReadInteger(RootKey::LocalMachine, kShared, shortName), 1u);
  EXPECT_FALSE(Files().FileExists(std::string(kBin) + "\\lakeown.dll"));
  EXPECT_FALSE(
      Reg().ReadInteger(RootKey::LocalMachine, kShared, std::string(kBin) + "\\lakeown.dll"));
  EXPECT_NE(Transcript().find("| Shared files that other programs still use were kept."),
            std::string::npos);
  // The folder keeps the shared file, and the product is gone all the same.
  EXPECT_FALSE(Files().FileExists(std::string(kBin) + "\\notes.exe"));
  EXPECT_FALSE(Reg().KeyExists(RootKey::LocalMachine, kKey));
}

TEST_F(Uninstall, FilesInUseGoAtTheRestartAndTheirFolderAfterThem) {
  InstallProduct();
  for (const char* name : {"notes.exe", "notes.hlp"}) {
    Machine().LockPath(std::string(kBin) + "\\" + name);
  }
  // The uninstaller runs from its own folder.
  EXPECT_EQ(Run("Lakeside Notes", {"answer Yes"}, kUninstaller), kUninstallDone);
  EXPECT_NE(Transcript().find("| Some files are in use. They will be removed when Windows "
                              "restarts."),
            std::string::npos);
  EXPECT_TRUE(Files().FileExists(std::string(kBin) + "\\notes.exe"));
  EXPECT_FALSE(Reg().KeyExists(RootKey::LocalMachine, kKey));
  // The folders are asked for after what is in them, the deepest first.
  std::vector<std::string> order;
  for (const auto& move : Machine().RebootMoves()) order.push_back(move.from);
  ASSERT_EQ(order.size(), 5u);
  EXPECT_TRUE(
      std::is_permutation(order.begin(), order.begin() + 3,
                          std::vector<std::string>{std::string(kBin) + "\\notes.hlp",
                                                   std::string(kBin) + "\\notes.exe", kUninstaller}
                              .begin()));
  EXPECT_EQ(order[3], kBin);
  EXPECT_EQ(order[4], "C:\\Program Files\\Lakeside");
  ASSERT_TRUE(Machine().ApplyRebootMoves());
  EXPECT_FALSE(Exists("C:\\Program Files\\Lakeside"));
}

TEST_F(Uninstall, OnWindows98EveryFileInUseGetsItsOwnWininitLine) {
  InstallProduct();
  Machine().SetVersion(platform::OsVersion{platform::PlatformId::Windows, 4, 10, 2222, ""});
  MakeFile("C:\\WINDOWS\\WININIT.INI",
           "[Rename]\r\nC:\\OLD.DLL=C:\\NEW.DLL\r\n\r\n[Other]\r\nx=1\r\n");
  for (const char* name : {"notes.exe", "notes.hlp"}) {
    Machine().LockPath(std::string(kBin) + "\\" + name);
  }
  EXPECT_EQ(Run("Lakeside Notes"), kUninstallDone);

  std::string text;
  {
    auto in = Files().Open("C:\\WINDOWS\\WININIT.INI", platform::FileAccess::Read,
                           platform::kShareAll, platform::FileDisposition::OpenExisting);
    ASSERT_TRUE(in);
    text.resize(4096);
    size_t got = 0;
    in->Read(text.data(), text.size(), &got);
    text.resize(got);
  }
  // The two deletions join the section, in the order of removal, before its blank line.
  const std::string exe =
      "NUL=" + *Files().ShortPathName(std::string(kBin) + "\\notes.exe") + "\r\n";
  const std::string hlp =
      "NUL=" + *Files().ShortPathName(std::string(kBin) + "\\notes.hlp") + "\r\n";
  const std::string head = "[Rename]\r\nC:\\OLD.DLL=C:\\NEW.DLL\r\n";
  const std::string tail = "\r\n[Other]\r\nx=1\r\n";
  EXPECT_TRUE(text == head + exe + hlp + tail || text == head + hlp + exe + tail) << text;
  EXPECT_TRUE(Machine().RebootMoves().empty());
}

TEST_F(Uninstall, UnknownProductsDamagedLogsAndANoChangeNothing) {
  InstallProduct();
  // Another setup program's entry of the same shape, and a name no key has.
  const std::string other = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other";
  Reg().CreateKey(RootKey::LocalMachine, other);
  Reg().WriteString(RootKey::LocalMachine, other, "UninstallString", "C:\\x\\unins000.exe");
  Reg().CreateKey(RootKey::LocalMachine, other + "\\Files");
  Reg().WriteString(RootKey::LocalMachine, other + "\\Files", "File1",
                    std::string(kBin) + "\\notes.exe");
  const auto unchanged = [&](const std::string& what) {
    EXPECT_TRUE(Files().FileExists(std::string(kBin) + "\\notes.exe")) << what;
    EXPECT_TRUE(Files().FileExists(std::string(kMenu) + "\\Lakeside Notes.lnk")) << what;
    EXPECT_TRUE(Reg().ReadString(RootKey::LocalMachine, std::string(kKey) + "\\Files", "File1"))
        << what;
    EXPECT_TRUE(Machine().ServerCalls().empty()) << what;
  };
  for (const char* product : {"Other", "Lakeside"}) {
    EXPECT_EQ(Run(product), kUninstallNothing);
    EXPECT_NE(Transcript().find("is not installed on this computer"), std::string::npos);
    unchanged(product);
  }
  EXPECT_EQ(Run("Lakeside Notes", {"answer No"}), kUninstallDone);
  unchanged("answer No");

  // Entries that would lead out of the product, or that cannot be read, stop the run before it
  // changes anything.
  const std::string files = std::string(kKey) + "\\Files";
  const std::string servers = std::string(kKey) + "\\ActiveX";
  struct Damage {
    std::string key, name, value, says;
  };
  for (const Damage& d : std::vector<Damage>{
           {files, "File9", "..\\..\\WINDOWS\\win.ini", "is not the full path of a file"},
           {files, "File9", "C:\\Program Files\\..\\WINDOWS\\win.ini", "is not the full path"},
           {files, "File9", "C:\\Program Files\\*.*", "is not the full path"},
           {files, "File9", "C:\\WINDOWS", "names a folder"},
           {servers, "File9", std::string(kBin) + "\\notes.ocx", "has no kind"},
           {servers, "File9", std::string(kBin) + "\\notes.ocx;7", "has no kind"}}) {
    Reg().WriteString(RootKey::LocalMachine, d.key, d.name, d.value);
    EXPECT_EQ(Run("Lakeside Notes"), kUninstallNothing) << d.value;
    EXPECT_NE(Transcript().find("| The uninstall information of Lakeside Notes is damaged. "
                                "Nothing was removed."),
              std::string::npos)
        << Transcript();
    EXPECT_NE(Transcript().find(d.says), std::string::npos) << Transcript();
    EXPECT_EQ(Transcript().find("Do you want"), std::string::npos);
    unchanged(d.value);
    Reg().DeleteValue(RootKey::LocalMachine, d.key, d.name);
  }
  Reg().WriteInteger(RootKey::LocalMachine, files, "File9", 3);
  EXPECT_EQ(Run("Lakeside Notes"), kUninstallNothing);
  EXPECT_NE(Transcript().find("is not text"), std::string::npos);
  unchanged("a number");
}

TEST_F(Uninstall, WhatCannotGoStaysListedForALaterRun) {
  InstallProduct();
  // In use, and the restart cannot take it either.
  Machine().LockPath(std::string(kBin) + "\\notes.exe");
  Machine().RefuseRebootMoves(true);
  EXPECT_EQ(Run("Lakeside Notes"), kUninstallPartly);
  EXPECT_NE(Transcript().find("| Lakeside Notes could not be removed completely. These items are "
                              "left:\n| " +
                              std::string(kBin) + "\\notes.exe: "),
            std::string::npos)
      << Transcript();
  // The entry stays listed, the product with it; everything else is gone.
  TtmbyRegistry reg;
  reg.SetRootKey(RootKey::LocalMachine);
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\" + std::string(kKey) + "\\Files"));
  std::vector<std::string> left;
  for (const std::string& name : reg.GetValueNames()) {
    if (name != "Entries") left.push_back(*reg.ReadString(name));
  }
  EXPECT_EQ(left, std::vector<std::string>{std::string(kBin) + "\\notes.exe"});
  EXPECT_FALSE(Files().FileExists(std::string(kBin) + "\\notes.hlp"));
  EXPECT_FALSE(Exists(kMenu));

  Machine().UnlockPath(std::string(kBin) + "\\notes.exe");
  Machine().ClearRecords();
  EXPECT_EQ(Run("Lakeside Notes"), kUninstallDone);
  // Nothing is unregistered twice; the folder and the key go now.
  EXPECT_TRUE(Machine().ServerCalls().empty());
  EXPECT_FALSE(Exists("C:\\Program Files\\Lakeside"));
  EXPECT_FALSE(Reg().KeyExists(RootKey::LocalMachine, kKey));
}

TEST_F(Uninstall, TheTextsComeFromTheLanguageFiles) {
  InstallProduct();
  std::string root = __FILE__;
  root = root.substr(0, root.rfind("tests"));
  TTranslator translator(nullptr);
  for (TTmbyLanguage language : {tlEnglish, tlGerman}) {
    std::ifstream in(root + "lang/" + LanguageFileName(language), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    translator.GetLanguage(language)->SetStrings(SplitLanguageText(bytes));
  }
  translator.SetTranslateIntoLanguage(tlGerman);
  EXPECT_EQ(Run("Lakeside Notes", {"answer No"}), kUninstallDone);
  EXPECT_NE(Transcript().find("\"Lakeside Notes deinstallieren\""), std::string::npos)
      << Transcript();
  EXPECT_NE(Transcript().find("| Möchten Sie Lakeside Notes mit allen Komponenten vollständig "
                              "entfernen?"),
            std::string::npos);
}

}  // namespace
}  // namespace tmby::fixtures
