// The dialog manager and the standard dialogs against the script adapter: the stage codes of an
// install root open the stage windows, the script plays the user on the pages, and the install
// tree shows what the pages changed.
#include "dialogs/dialog_manager.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "dialogs/std_dialogs.h"
#include "platform/script/script_ui.h"
#include "support/install_tree_fixtures.h"
#include "system/system_dirs.h"
#include "translate/translator.h"
#include "ui/forms.h"

namespace tmby {
namespace {

using fixtures::TTestRoot;
using platform::script::ScriptUi;

// A root that answers Cancel as told and keeps the reboot flag.
class TDialogTestRoot : public TTestRoot {
  TMBY_CLASS(TDialogTestRoot, TTestRoot)
 public:
  explicit TDialogTestRoot(TComponent* owner) : TTestRoot(owner) {}
  bool ConfirmUserAbort() override {
    ++AbortQuestions;
    return AbortAnswer;
  }
  bool RebootPending() const override { return Reboot; }
  void SetRebootPending(bool value) override { Reboot = value; }
  bool AbortAnswer = true;
  int AbortQuestions = 0;
  bool Reboot = false;
};

const TClassInfo& TDialogTestRoot::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TDialogTestRoot, TTestRoot>("TDialogTestRoot");
  return info;
}

// The program folder the folder page works on is found by its class name.
class TMainLinkGroup : public TInstallObject {
  TMBY_CLASS(TMainLinkGroup, TInstallObject)
 public:
  explicit TMainLinkGroup(TComponent* owner) : TInstallObject(owner) {}
  int ComponentType() const override { return ctShellLinkGroup; }
};

const TClassInfo& TMainLinkGroup::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TMainLinkGroup, TInstallObject>("TMainLinkGroup");
  return info;
}

class DialogManagerTest : public fixtures::InstallTreeTest {
 protected:
  DialogManagerTest() {
    DialogRegistry().Reset();
    RegisterStandardDialogs();
    root_ = new TDialogTestRoot(owner_);
    root_->SetName("Install1");
    root_->SetDestDirType(programFiles_);
    root_->SetDestDir("\\Lakeside");
    InstallModel().SetCurrentInstall(root_);
    MakeFile("C:\\SETUP\\License.rtf", "{\\rtf1 {\\b Lakeside} licence\\par}");
  }
  ~DialogManagerTest() override {
    if (HasFailure()) std::cerr << "transcript:\n" << transcript_.str();
    DialogRegistry().Reset();
  }

  // The script adapter with `script`; the stage managers of the root.
  void Start(const std::vector<std::string>& script) {
    scoped_.reset();
    ui_ = std::make_unique<ScriptUi>(&transcript_, script);
    scoped_ = std::make_unique<platform::ScopedUi>(ui_.get());
  }
  TDialogManager* Manager(const std::string& name, TManagerType type,
                          TInstallContainer* container = nullptr) {
    auto* manager = Make<TDialogManager>(name, container != nullptr ? container : root_);
    manager->ManagerType = type;
    return manager;
  }
  bool Has(const std::string& line) const {
    return transcript_.str().find(line + "\n") != std::string::npos;
  }
  size_t Count(const std::string& text) const {
    const std::string t = transcript_.str();
    size_t n = 0;
    for (size_t at = t.find(text); at != std::string::npos; at = t.find(text, at + 1)) ++n;
    return n;
  }

  TDialogTestRoot* root_ = nullptr;
  ui::TApplication app_;
  std::ostringstream transcript_;
  std::unique_ptr<ScriptUi> ui_;
  std::unique_ptr<platform::ScopedUi> scoped_;
};

TEST(DialogPlacementTest, NineWaysWithTheCentreLinesTruncatedOrRounded) {
  const ui::TSize stage{478, 395};
  const ui::TSize screen{1024, 768};
  EXPECT_EQ(DialogPlacement(tdpCenter, 0, 0, stage, screen, 18, false), (ui::TPoint{273, 186}));
  EXPECT_EQ(DialogPlacement(tdpBottomRight, 10, 10, stage, screen, 18, false),
            (ui::TPoint{536, 768 - 18 - 395 - 10}));
  EXPECT_EQ(DialogPlacement(tdpTopLeft, 5, 7, stage, screen, 18, false), (ui::TPoint{5, 7}));
  EXPECT_EQ(DialogPlacement(tdpCenterRight, 4, -3, stage, screen, 18, false),
            (ui::TPoint{1024 - 478 - 4, 186 - 3}));
  // 1025 / 2 - 478 / 2 = 273.5: the stage window truncates, a dialog component rounds to even.
  EXPECT_EQ(DialogPlacement(tdpTopCenter, 0, 0, stage, {1025, 768}, 18, false).X, 273);
  EXPECT_EQ(DialogPlacement(tdpTopCenter, 0, 0, stage, {1025, 768}, 18, true).X, 274);
  EXPECT_EQ(DialogPlacement(tdpTopCenter, 0, 0, {477, 10}, {1024, 768}, 18, true).X, 274);
  // A window wider than the screen: truncation goes toward zero, not down.
  EXPECT_EQ(DialogPlacement(tdpCenter, 0, 0, {1001, 10}, {800, 600}, 18, false).X, -100);
}

TEST_F(DialogManagerTest, BeforeInstallWalksLicenceDestinationAndFolderToTheEnd) {
  Manager("BeforeInstall", dmBeforeInstall);
  auto* folder = Make<TMainLinkGroup>("MainFolder", root_);
  auto* programMenu = new TpsProgramMenu(owner_);
  programMenu->SetName("psProgramMenu");
  MakeFile(GetProgramsDir() + "\\Games\\x.lnk");
  MakeFile(GetProgramsDir() + "\\Accessories\\y.lnk");
  Start({"close", "click ProceedBtn", "click BackBtn", "click ProceedBtn",
         "type edDestDir \"C:\\Lakeside Notes\"", "click ProceedBtn", "select FolderListBox Games",
         "type FolderEdit Tools", "press Enter"});
  root_->Broadcast(root_, hnBeforeInstall, nullptr);
  // Placed in the middle of the 1024 x 768 screen.
  EXPECT_EQ(Count("window create BaseFormContainer TBaseFormContainer \"BaseFormContainer\" "
                  "273,186 478x395"),
            1u);
  // Alt+F4 on the stage window was refused; the licence came from the setup program's folder.
  EXPECT_TRUE(Has("script close BaseFormContainer"));
  EXPECT_EQ(Count("richedit Agreement \"Lakeside licence"), 2u);
  // The existing program folders, sorted; the first was proposed, then the one clicked.
  EXPECT_EQ(Count("items \"Accessories\",\"Games\""), 1u);
  EXPECT_TRUE(Has("control SelectFolderForm.FolderEdit text \"Games\""));
  // Back on the destination page went to the licence, whose Back is hidden as the first page.
  EXPECT_EQ(Count("window show LicenseForm"), 2u);
  EXPECT_EQ(root_->DestDir(), "C:\\Lakeside Notes");
  EXPECT_EQ(root_->DestDirType(), nullptr);
  EXPECT_EQ(folder->DestDir(), "\\Tools");
  EXPECT_EQ(folder->DestDirType(), programMenu);
  EXPECT_EQ(DialogRegistry().CurrentDialogManager, nullptr);
  EXPECT_EQ(app_.Forms().size(), 0u) << "the stage window and its pages are freed";
}

// In a language that reads from the right the pages are their design in a mirror: the picture
// band on the right, the buttons in the order its readers expect (Cancel on the left, Back on the
// right of Next), the texts marked to read from the right; walking them works as in English.
TEST_F(DialogManagerTest, HebrewPagesAreMirroredAndStillWalk) {
  TTranslator translator(nullptr);
  translator.GetLanguage(tlHebrew)->SetStrings({"4;< \xd7\x94\xd7\xa7\xd7\x95\xd7\x93\xd7\x9d",
                                                "5;\xd7\x94\xd7\x91\xd7\x90 >",
                                                "6;\xd7\x91\xd7\x99\xd7\x98\xd7\x95\xd7\x9c"});
  translator.SetTranslateIntoLanguage(tlHebrew);
  Manager("BeforeInstall", dmBeforeInstall);
  Start({"click ProceedBtn", "type edDestDir \"C:\\No|tes\"", "click ProceedBtn",
         "type edDestDir \"C:\\Notes\"", "click ProceedBtn"});
  root_->Broadcast(root_, hnBeforeInstall, nullptr);
  // The stage window's caption reads as its pages do, and so does the box about the typed path.
  EXPECT_TRUE(Has("window rtl BaseFormContainer"));
  EXPECT_EQ(Count("messagebox Warning \"Choose Destination Location\" buttons OK default OK rtl"),
            1u);
  // Designed: Back 213, Next 288, Cancel 368 (89 wide) on a 470 wide page; mirrored here (also
  // when the page is narrowed to the stage window's client area after it was mirrored).
  EXPECT_TRUE(
      Has("      button ProceedBtn \"\xd7\x94\xd7\x91\xd7\x90 >\" 107,15 75x25 default "
          "rtl focused"));
  EXPECT_TRUE(
      Has("      button CancelBtn \"\xd7\x91\xd7\x99\xd7\x98\xd7\x95\xd7\x9c\" 13,15 89x25 rtl"));
  EXPECT_EQ(Count("button BackBtn \"< \xd7\x94\xd7\xa7\xd7\x95\xd7\x93\xd7\x9d\" 182,15 75x25"),
            2u);
  // The destination's edit reads from the right, at its mirrored place in its group.
  EXPECT_NE(Count(" edit edDestDir \"C:\\\\Program Files\\\\Lakeside\" 98,24 210x21 rtl"), 0u);
  // The picture band moved to the right.
  EXPECT_NE(
      Count("    label Label1 \"Please read the following License Agreement.\" 8,8 318x16 rtl"),
      0u);
  EXPECT_EQ(root_->DestDir(), "C:\\Notes");
  EXPECT_EQ(app_.Forms().size(), 0u);
}

TEST_F(DialogManagerTest, WithoutMainFolderTheDestinationPageEndsTheStage) {
  Manager("BeforeInstall", dmBeforeInstall);
  Start({"click ProceedBtn", "click ProceedBtn"});
  root_->Broadcast(root_, hnBeforeInstall, nullptr);
  EXPECT_TRUE(Has("control BaseFormContainer.Tabs selected 1"));
  EXPECT_FALSE(Has("control BaseFormContainer.Tabs selected 2"));
  EXPECT_EQ(root_->DestDir(), "\\Lakeside");
  EXPECT_EQ(root_->DestDirType(), programFiles_);
}

TEST_F(DialogManagerTest, CancelAnsweredNoStaysOnThePage) {
  Manager("BeforeInstall", dmBeforeInstall);
  root_->AbortAnswer = false;
  Start({"click ProceedBtn", "click CancelBtn", "press Esc", "type edDestDir C:\\Here",
         "click ProceedBtn"});
  root_->Broadcast(root_, hnBeforeInstall, nullptr);
  EXPECT_EQ(root_->AbortQuestions, 2);
  EXPECT_EQ(root_->DestDir(), "C:\\Here") << "the page stayed usable after the refused Cancel";
}

TEST_F(DialogManagerTest, CancelAnsweredYesAbortsTheInstall) {
  Manager("BeforeInstall", dmBeforeInstall);
  Start({"click CancelBtn"});
  EXPECT_THROW(root_->Broadcast(root_, hnBeforeInstall, nullptr), EAIUserAbort);
  EXPECT_EQ(root_->AbortQuestions, 1);
  EXPECT_EQ(DialogRegistry().CurrentDialogManager, nullptr);
  EXPECT_EQ(app_.Forms().size(), 0u);
}

TEST_F(DialogManagerTest, OnlyTheFirstManagerOfTheRunningInstallShowsItsStage) {
  auto* first = Manager("First", dmBeforeInstall);
  Manager("Second", dmBeforeInstall);
  auto* group = Make<TInstallGroup>("Group1", root_);
  auto* elsewhere = Manager("Elsewhere", dmAfterGoodInstall, group);
  EXPECT_EQ(FindDialogManager(dmBeforeInstall), first);
  EXPECT_EQ(FindDialogManager(dmAfterGoodInstall), nullptr);
  Start({"click ProceedBtn", "click ProceedBtn"});
  root_->Broadcast(root_, hnBeforeInstall, nullptr);
  EXPECT_EQ(Count("window show BaseFormContainer"), 1u);
  // A good-install stage whose manager serves another container builds no page.
  elsewhere->ShowStage();
  EXPECT_EQ(Count("window show BaseFormContainer"), 1u);
}

TEST_F(DialogManagerTest, LoneEndPageShowsOnlyFinishAndTheRebootPageDrivesTheFlag) {
  Manager("Good", dmAfterGoodInstall);
  Manager("Reboot", dmReboot);
  Start({"click FinishBtn"});
  root_->Broadcast(root_, hnGoodInstall, nullptr);
  EXPECT_TRUE(Has("  window GoodInstallForm \"Setup complete\" 0,0 470x369"));
  EXPECT_TRUE(Has("      button BackBtn \"< Back\" 304,15 75x25 hidden"));
  EXPECT_TRUE(Has("      button ProceedBtn \"Next >\" 384,15 75x25 hidden"));
  EXPECT_TRUE(Has("      button FinishBtn \"Finish\" 384,15 75x25 default focused"));

  root_->Reboot = true;
  transcript_.str("");
  Start({"select RG 1", "click FinishBtn"});
  root_->Broadcast(root_, hnRebootPending, nullptr);
  EXPECT_EQ(Count("\"No, I would not like to reboot windows\" selected 0"), 1u);
  EXPECT_FALSE(root_->Reboot);
}

TEST_F(DialogManagerTest, CopyWindowOpensOnTheFirstReportAndClosesWhenCopyingIsOver) {
  TDialogManager* copy = Manager("Copy", dmDuringCopyFiles);
  Start({});
  TFileStatusParameter file;
  file.FileName = "notes.exe";
  file.FilePercentDone = 40;
  file.TotalPercentDone = 10;
  root_->Broadcast(root_, hnFileStatus, &file);
  ASSERT_EQ(copy->DuringCopyForms().size(), 1u);
  auto* form = dynamic_cast<TCopyFileForm*>(copy->DuringCopyForms()[0]);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->ProgressBar1->Position(), 40);
  EXPECT_EQ(form->ProgressBar2->Position(), 10);
  EXPECT_EQ(form->lblCopyingFile->Caption(), "notes.exe");
  // The middle of the picture at the left, as the window last painted it.
  const auto picture = [&] { return ui_->LastPaint("CopyFileForm")->Pixel(32, 26); };
  const uint32_t copying = picture();
  TDownloadStatusParameter download;
  download.FileName = "files.2";
  download.PercentDone = 70;
  root_->Broadcast(root_, hnDataReceived, &download);
  EXPECT_TRUE(form->TransferBitmap->Visible());
  EXPECT_NE(picture(), copying) << "the transfer picture shows while an archive downloads";
  EXPECT_EQ(form->ProgressBar1->Position(), 70);
  EXPECT_EQ(form->ProgressBar2->Position(), 10);
  root_->Broadcast(root_, hnFileStatus, &file);
  EXPECT_FALSE(form->TransferBitmap->Visible());
  EXPECT_EQ(picture(), copying);
  // A file's end, or a folder's, is not the end of the copy: the one window stays up, in its
  // place, and the next file's report goes to it.
  auto* oneFile = Make<fixtures::TTestFile>("File1", root_);
  auto* folder = Make<TInstallGroup>("Folder1", root_);
  root_->Broadcast(oneFile, hnOperationOver, nullptr);
  root_->Broadcast(folder, hnOperationOver, nullptr);
  file.FileName = "readme.txt";
  root_->Broadcast(root_, hnFileStatus, &file);
  ASSERT_EQ(copy->DuringCopyForms().size(), 1u);
  EXPECT_EQ(copy->DuringCopyForms()[0], form);
  EXPECT_EQ(form->lblCopyingFile->Caption(), "readme.txt");
  EXPECT_EQ(Count("window show CopyFileForm"), 1u);
  // The install's own end closes it.
  root_->Broadcast(root_, hnOperationOver, nullptr);
  EXPECT_TRUE(copy->DuringCopyForms().empty());
  root_->Broadcast(root_, hnFileStatus, &file);
  EXPECT_EQ(copy->DuringCopyForms().size(), 1u) << "a report after the end opens a fresh window";
  EXPECT_EQ(Count("window show CopyFileForm"), 2u);
  // So do the end pages, should the install end without it.
  root_->Broadcast(root_, hnBeforeGoodInstall, nullptr);
  EXPECT_TRUE(copy->DuringCopyForms().empty());

  TMessageParameter wrong;
  const auto messageOf = [&](int code, TPersistent* object) {
    try {
      root_->Broadcast(root_, code, object);
    } catch (const IException& e) {
      return std::string(e.what());
    }
    return std::string("no failure");
  };
  EXPECT_EQ(messageOf(hnFileStatus, nullptr), "Copy got a nil PO parameter");
  EXPECT_EQ(messageOf(hnFileStatus, &wrong),
            "The PO object passed to Copy is not a TFileStatusParameter object");
  EXPECT_EQ(messageOf(hnDataReceived, &wrong),
            "The PO object passed to Copy is not a TDownloadStatusParameter object");
}

TEST_F(DialogManagerTest, CopyCancelAnsweredYesStopsTheArchiveEngine) {
  TDialogManager* copy = Manager("Copy", dmDuringCopyFiles);
  InstallModel().SharedArchive = std::make_unique<TTmbyCompress>();
  Start({});
  TFileStatusParameter file;
  root_->Broadcast(root_, hnFileStatus, &file);
  auto* form = dynamic_cast<TCopyFileForm*>(copy->DuringCopyForms().at(0));
  root_->AbortAnswer = false;
  form->CancelBtn->Click();
  EXPECT_FALSE(InstallModel().SharedArchive->Abort);
  root_->AbortAnswer = true;
  form->CancelBtn->Click();
  EXPECT_TRUE(InstallModel().SharedArchive->Abort);
  EXPECT_EQ(form->ModalResult(), ui::mrAbort);
}

TEST_F(DialogManagerTest, ChangeDiskWithoutAFormLeavesItToTheFile) {
  Manager("Disk", dmChangeDisk);
  auto* file = Make<fixtures::TTestFile>("File1", root_);
  TDiskParameter disk;
  TList list;
  list.Add(file);
  list.Add(&disk);
  root_->Broadcast(root_, hnNewDisk, &list);
  EXPECT_EQ(file->Tag(), 0);
  EXPECT_EQ(InstallFormCount(), 6);
  EXPECT_EQ(InstallFormEntry(0).FormClass, &TLicenseForm::StaticClass());
  EXPECT_EQ(InstallFormEntry(5).FormClass, &TRebootForm::StaticClass());
  try {
    InstallFormEntry(6);
    ADD_FAILURE() << "no failure";
  } catch (const IException& e) {
    EXPECT_STREQ(e.what(), "6 is an invalid index in the BIFList");
  }
}

// With the change-disk dialog registered, the manager checks what it was sent before anything is
// shown; then the prompt names the disk and its folder, OK hands back the folder the user typed
// (the close box is no answer), and Cancel is the user's abort only when confirmed.
TEST_F(DialogManagerTest, TheChangeDiskFormAsksForTheDiskAndHandsBackTheFolderGiven) {
  RegisterChangeDiskDialog();
  TDialogManager* manager = Manager("Disk", dmChangeDisk);
  auto* file = Make<fixtures::TTestFile>("File1", root_);
  TDiskParameter disk;
  disk.DiskNumber = 2;
  disk.Path = "A:\\";
  const auto failure = [&](TPersistent* object) -> std::string {
    try {
      manager->ShowChangeDisk(object);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "(none)";
  };
  Start({});
  TList oneItem{file};
  TList diskFirst{&disk, file};
  TList fileTwice{file, file};
  EXPECT_EQ(failure(nullptr),
            "The ParameterObject is Nil in the TDialogManager. Cannot show the change disk form");
  EXPECT_EQ(failure(&disk), "TChangeDiskDlg--PO is not a TList object");
  EXPECT_EQ(failure(&oneItem), "TChangeDiskDlg--Not engouh parameters for status event");
  EXPECT_EQ(failure(&diskFirst), "TChangeDiskDlg says bad first parameter");
  EXPECT_EQ(failure(&fileTwice), "TChangeDiskDlg says bad second parameter");
  EXPECT_EQ(file->Tag(), 0);
  EXPECT_EQ(DialogRegistry().CurrentDialogManager, nullptr);
  EXPECT_EQ(Count("window show"), 0u);

  TList list{file, &disk};
  Start({"close ChangeDiskForm", "type edDiskPath \"B:\\Disk2\"", "click OK"});
  root_->Broadcast(root_, hnNewDisk, &list);
  EXPECT_EQ(file->Tag(), 1);
  EXPECT_EQ(disk.Path, "B:\\Disk2");
  EXPECT_EQ(Count("label lblInsertDisk \"Please insert disk #2\""), 1u);
  EXPECT_EQ(Count("edit edDiskPath \"A:\\\\\""), 1u);

  root_->AbortAnswer = false;
  Start({"click Cancel", "click OK"});
  EXPECT_NO_THROW(root_->Broadcast(root_, hnNewDisk, &list));
  root_->AbortAnswer = true;
  Start({"click Cancel"});
  EXPECT_THROW(root_->Broadcast(root_, hnNewDisk, &list), EAIUserAbort);
  EXPECT_EQ(root_->AbortQuestions, 2);
  EXPECT_EQ(DialogRegistry().CurrentDialogManager, nullptr);
}

TEST_F(DialogManagerTest, DestinationsTheInstallCannotUseAreNamed) {
  EXPECT_EQ(DestinationProblem("C:\\Program Files\\Lakeside"), "");
  EXPECT_EQ(DestinationProblem("\\\\server\\share\\Lakeside"), "");
  EXPECT_NE(DestinationProblem("  "), "");
  EXPECT_NE(DestinationProblem("Lakeside").find("is not a full path"), std::string::npos);
  EXPECT_NE(DestinationProblem("C:\\Lake|side").find("character that Windows does not allow"),
            std::string::npos);
  EXPECT_NE(DestinationProblem("C:\\" + std::string(260, 'a')).find("longer than Windows"),
            std::string::npos);
  EXPECT_EQ(DestinationProblem("Q:\\Lakeside"), "The drive Q: does not exist.");

  // On the page: the message, and the stage stays until the path is usable.
  Manager("BeforeInstall", dmBeforeInstall);
  Start({"click ProceedBtn", "type edDestDir \"C:\\Lake?side\"", "click ProceedBtn",
         "type edDestDir \"C:\\Lakeside\"", "click ProceedBtn"});
  root_->Broadcast(root_, hnBeforeInstall, nullptr);
  EXPECT_EQ(Count("messagebox Warning"), 1u);
  EXPECT_EQ(Count(" rtl"), 0u) << "English reads from the left";
  EXPECT_EQ(root_->DestDir(), "C:\\Lakeside");
}

TEST_F(DialogManagerTest, TheProgramFolderKeepsItsWholePathAndRefusesWhatWindowsRefuses) {
  EXPECT_EQ(ProgramFolderProblem("Lakeside\\Notes"), "");
  EXPECT_EQ(ProgramFolderProblem(""), "");
  EXPECT_EQ(ProgramFolderProblem("Lake:side"),
            "The program folder \"Lake:side\" contains a character that Windows does not allow "
            "in a name: :");
  EXPECT_NE(ProgramFolderProblem("Notes?").find(": ?"), std::string::npos);
  EXPECT_NE(ProgramFolderProblem("No*tes").find(": *"), std::string::npos);
  EXPECT_NE(ProgramFolderProblem("Notes\t").find("character"), std::string::npos);
  const size_t room = 247 - GetProgramsDir().size() - 1;
  EXPECT_EQ(ProgramFolderProblem(std::string(room, 'a')), "");
  EXPECT_EQ(ProgramFolderProblem(std::string(room + 1, 'a')),
            "The program folder \"" + std::string(room + 1, 'a') +
                "\" is longer than Windows allows (" + std::to_string(room) + " characters).");

  Manager("BeforeInstall", dmBeforeInstall);
  auto* folder = Make<TMainLinkGroup>("MainFolder", root_);
  auto* programMenu = new TpsProgramMenu(owner_);
  programMenu->SetName("psProgramMenu");
  folder->SetDestDirType(programMenu);
  folder->SetDestDir("\\Lakeside\\Notes");
  // Next alone keeps the folder below the company's.
  Start({"click ProceedBtn", "click ProceedBtn", "click ProceedBtn"});
  root_->Broadcast(root_, hnBeforeInstall, nullptr);
  EXPECT_EQ(Count(" edit FolderEdit \"Lakeside\\\\Notes\" "), 1u);
  EXPECT_EQ(folder->DestDir(), "\\Lakeside\\Notes");
  // A name Windows refuses is refused on the page, with the reason, until it is mended.
  transcript_.str("");
  Start({"click ProceedBtn", "click ProceedBtn", "type FolderEdit \"Lakeside\\No:tes\"",
         "click ProceedBtn", "type FolderEdit \"Lakeside\\Notes 2\"", "click ProceedBtn"});
  root_->Broadcast(root_, hnBeforeInstall, nullptr);
  EXPECT_EQ(Count("messagebox Warning \"Select folder in start menu\""), 1u);
  EXPECT_TRUE(
      Has("| The program folder \"Lakeside\\No:tes\" contains a character that Windows "
          "does not allow in a name: :"));
  EXPECT_EQ(folder->DestDir(), "\\Lakeside\\Notes 2");
  EXPECT_EQ(app_.Forms().size(), 0u);
}

// Typed folders are taken as Windows names them, or refused on their page with the reason; a
// destination emptied, left with Back and come back to is still refused.
TEST_F(DialogManagerTest, TypedFoldersAreMadePlainOrRefusedOnTheirPage) {
  Manager("BeforeInstall", dmBeforeInstall);
  auto* folder = Make<TMainLinkGroup>("MainFolder", root_);
  auto* programMenu = new TpsProgramMenu(owner_);
  programMenu->SetName("psProgramMenu");
  Start({"click ProceedBtn", "type edDestDir \"\"", "click BackBtn", "click ProceedBtn",
         "click ProceedBtn", "type edDestDir \"C:\\Apps\\NUL.txt\"", "click ProceedBtn",
         "type edDestDir \"C:\\Apps\\..\\Notes\\\\\\\\Data. \"", "click ProceedBtn",
         "type FolderEdit \"..\\Startup\"", "click ProceedBtn",
         "type FolderEdit \"Lakeside\\.\\Tools \"", "click ProceedBtn"});
  root_->Broadcast(root_, hnBeforeInstall, nullptr);
  EXPECT_EQ(Count("messagebox Warning"), 3u);
  EXPECT_EQ(Count("| Please enter the directory to install into."), 1u);
  EXPECT_EQ(Count("| \"C:\\Apps\\NUL.txt\" cannot be used: NUL.txt is a name that Windows keeps "
                  "for a device."),
            1u);
  EXPECT_EQ(Count("| The folder \"..\\Startup\" leads outside the Programs folder of the Start "
                  "menu."),
            1u);
  EXPECT_TRUE(Has("control SelectDestinationForm.edDestDir text \"C:\\\\Notes\\\\Data\""));
  EXPECT_EQ(root_->DestDir(), "C:\\Notes\\Data");
  EXPECT_EQ(folder->DestDir(), "\\Lakeside\\Tools");
  EXPECT_EQ(DialogRegistry().CurrentDialogManager, nullptr);
}

TEST_F(DialogManagerTest, TheKeyboardReachesEveryChoice) {
  // Alt and a marked letter: "&Browse" opens the browser; on the folder page "&Program Folder"
  // goes to the edit and "E&xisting Folders" to the list.
  Manager("BeforeInstall", dmBeforeInstall);
  Make<TMainLinkGroup>("MainFolder", root_);
  (new TpsProgramMenu(owner_))->SetName("psProgramMenu");
  MakeFile(GetProgramsDir() + "\\Games\\x.lnk");
  Start({"click ProceedBtn", "browse cancel", "press Alt+b", "click ProceedBtn", "press Alt+X",
         "press Alt+p", "press Alt+q", "click ProceedBtn"});
  root_->Broadcast(root_, hnBeforeInstall, nullptr);
  EXPECT_TRUE(Has("browse \"C:\\\\Program Files\\\\Lakeside\""));
  EXPECT_TRUE(Has("control SelectFolderForm.FolderListBox focus"));
  EXPECT_TRUE(Has("control SelectFolderForm.FolderEdit focus"));
  EXPECT_TRUE(Has("script press alt+q in SelectFolderForm"));

  // The reboot page: Tab reaches the choice, the arrow keys move it (round from the last item to
  // the first), and Enter finishes with it.
  Manager("Reboot", dmReboot);
  root_->Reboot = true;
  transcript_.str("");
  Start({"press Tab", "press Down", "press Enter"});
  root_->Broadcast(root_, hnRebootPending, nullptr);
  EXPECT_FALSE(root_->Reboot) << "\"No, I would not like to reboot windows\" chosen by keyboard";
  // From No: Up to Yes, Up round to No, Right to Yes.
  transcript_.str("");
  Start({"press Tab", "press Up", "press Up", "press Right", "press Enter"});
  root_->Broadcast(root_, hnRebootPending, nullptr);
  EXPECT_TRUE(root_->Reboot);
  EXPECT_EQ(Count("control RebootForm.RG selected"), 3u);
}

TEST_F(DialogManagerTest, BrowseMakesAMissingDestinationForTheBrowserAndRemovesItAgain) {
  Manager("BeforeInstall", dmBeforeInstall);
  Start({"browse \"C:\\Other\"", "browse cancel", "click ProceedBtn", "click BrowseBtn",
         "click BrowseBtn", "click ProceedBtn"});
  root_->Broadcast(root_, hnBeforeInstall, nullptr);
  EXPECT_TRUE(Has("browse \"C:\\\\Program Files\\\\Lakeside\""));
  EXPECT_TRUE(Has("browse \"C:\\\\Other\""));
  EXPECT_EQ(root_->DestDir(), "C:\\Other");
  EXPECT_FALSE(Files().DirectoryExists("C:\\Program Files\\Lakeside"));
}

}  // namespace
}  // namespace tmby
