#include "dialogs/std_dialogs.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "base/exceptions.h"
#include "base/path_text.h"
#include "base/text_codec.h"
#include "dialogs/dialog_manager.h"
#include "model/file_container.h"
#include "model/install_model.h"
#include "paths/path_root_base.h"
#include "paths/standard_roots.h"
#include "platform/port.h"
#include "platform/ui_port.h"
#include "system/os_version.h"
#include "system/system_dirs.h"
#include "ui/bmp.h"
#include "ui/main_form.h"

namespace tmby {

namespace {

// The longest licence shown; a bigger file is no licence text a user reads through.
constexpr int64_t kMaxLicenseBytes = 8 * 1024 * 1024;
// The longest path Windows takes (MAX_PATH without the terminating zero).
constexpr size_t kMaxPath = 259;
// The longest path of a folder Windows makes: room is left in MAX_PATH for a file name of 8 and
// 3 characters.
constexpr size_t kMaxFolderPath = 247;

// The copy window's picture while an archive comes from the server: a globe above an arrow
// pointing down, on a pale blue ground, 48 pixels square. Drawn here rather than stored, each
// pixel the mean of 4 x 4 samples so that the round edges stay smooth.
ui::TBitmapData TransferPicture() {
  constexpr int kSide = 48;
  constexpr int kSamples = 4;
  const auto shade = [](double x, double y) -> uint32_t {
    // The arrow, in front: a shaft and a head whose point touches the bottom.
    const bool shaft = x >= 20.5 && x <= 27.5 && y >= 28 && y <= 37;
    const bool head = y >= 36 && y <= 45.5 && std::abs(x - 24) <= (45.5 - y) * 1.1;
    if (shaft || head) return 0xE8B830;
    const double dx = x - 24;
    const double dy = y - 18;
    const double radius = 14;
    const double d = std::sqrt(dx * dx + dy * dy);
    if (d <= radius) {
      if (d > radius - 1.2) return 0x17466F;
      // Meridians (an ellipse and the middle line), the equator and two parallels.
      const double meridian = std::sqrt((dx / 6) * (dx / 6) + (dy / radius) * (dy / radius));
      const bool line = std::abs(meridian - 1) < 0.09 || std::abs(dx) < 0.6 || std::abs(dy) < 0.6 ||
                        std::abs(std::abs(dy) - 7) < 0.6;
      return line ? 0xA8D8FF : 0x2F80C8;
    }
    const int fade = static_cast<int>(y * 60 / kSide);
    return static_cast<uint32_t>(((0xE6 - fade) << 16) | ((0xEE - fade / 2) << 8) | 0xF6);
  };
  ui::TBitmapData picture;
  picture.Width = kSide;
  picture.Height = kSide;
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      uint32_t sum[3] = {0, 0, 0};
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const uint32_t px = shade(x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples);
          sum[0] += (px >> 16) & 0xFF;
          sum[1] += (px >> 8) & 0xFF;
          sum[2] += px & 0xFF;
        }
      }
      constexpr uint32_t n = kSamples * kSamples;
      picture.Pixels.push_back(((sum[0] / n) << 16) | ((sum[1] / n) << 8) | (sum[2] / n));
    }
  }
  return picture;
}

template <class C>
C* Make(ui::TWinControl* parent, const std::string& name, int left, int top, int width,
        int height) {
  auto* control = new C(parent->ParentForm() != nullptr ? parent->ParentForm() : parent);
  control->SetName(name);
  control->SetParent(parent);
  control->SetBounds(left, top, width, height);
  return control;
}

TTranslateBitBtn* MakeButton(ui::TWinControl* parent, const std::string& name,
                             const std::string& caption, int glid, int left, int width) {
  auto* button = Make<TTranslateBitBtn>(parent, name, left, 15, width, 25);
  button->SetCaption(caption);
  button->SetGLID(glid);
  button->SetTabStop(true);
  return button;
}

// The frame of a small stand-alone dialog (the copy window, the disk prompt): a dialog border
// without close box in the screen's centre, the standard font and colour, and the theme picture
// in its own shape in a box 48 pixels wide (and `pictureHeight` high) at the top-left corner.
ui::TImage* SmallDialogFrame(ui::TCustomForm& form, int clientWidth, int clientHeight,
                             const std::string& pictureName, int pictureHeight) {
  form.SetBorderStyle(ui::bsDialog);
  form.SetBorderIcons({});
  form.SetPosition(ui::poScreenCenter);
  form.Font().SetName("Arial");
  form.Font().SetHeight(-11);
  form.SetColor(ui::DialogColor());
  form.SetClientWidth(clientWidth);
  form.SetClientHeight(clientHeight);
  auto* picture = Make<ui::TImage>(&form, pictureName, 8, 8, 48, pictureHeight);
  picture->SetCenter(true);
  LoadThemeBitmap(&picture->Picture());
  picture->SetStretch(true);
  picture->SetProportional(true);
  picture->SetSmooth(true);
  return picture;
}

std::string ProgramFolder() {
  const std::string program = platform::Port().Files().ModuleFileName();
  const size_t slash = program.find_last_of('\\');
  return slash == std::string::npos ? std::string() : program.substr(0, slash);
}

TInstallContainer* RootContainer() {
  IInstallRoot* root = InstallModel().CurrentInstall();
  return root != nullptr ? root->RootContainer() : nullptr;
}

void ShowError(const std::exception& error) {
  if (ui::TApplication* app = ui::Application()) {
    app->ShowException(error);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TStandardPage

const TClassInfo& TStandardPage::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TStandardPage, TBaseInstallForm>("TStandardPage");
  return info;
}

TStandardPage::TStandardPage(TComponent* owner) : TBaseInstallForm(owner) {
  Font().SetName("Arial");
  Font().SetHeight(-11);
  SetColor(ui::DialogColor());
  if (HostForm() == nullptr) {
    SetBorderStyle(ui::bsDialog);
    SetBorderIcons({});
    SetClientWidth(470);
    SetClientHeight(368);
  }
  ButtonPanel = Make<ui::TPanel>(this, "ButtonPanel", 0, 0, 0, 49);
  ButtonPanel->SetAlign(ui::alBottom);
  ButtonPanel->SetBevelOuter(ui::bvNone);
  ButtonPanel->SetParentColor(true);
  auto* line = Make<ui::TBevel>(ButtonPanel, "ButtonLine", 0, 0, 0, 2);
  line->SetAlign(ui::alTop);
  line->SetShape(ui::bsTopLine);
  ThemeBitmap = Make<ui::TImage>(this, "ThemeBitmap", 0, 0, 136, 0);
  ThemeBitmap->SetAlign(ui::alLeft);
  ThemeBitmap->SetCenter(true);
  LoadThemeBitmap(&ThemeBitmap->Picture());
}

void TStandardPage::BuildFrame(const std::string& caption, int order, bool withCancel) {
  SetCaption(caption);
  SetOrder(order);
  if (withCancel) {
    BackBtn = MakeButton(ButtonPanel, "BackBtn", "< Back", 4, 213, 75);
    ProceedBtn = MakeButton(ButtonPanel, "ProceedBtn", "Next >", 5, 288, 75);
    CancelBtn = MakeButton(ButtonPanel, "CancelBtn", "Cancel", 6, 368, 89);
    CancelBtn->SetCancel(true);
    CancelBtn->OnClick.Set([this](TComponent*) { CancelQuery(); });
  } else {
    BackBtn = MakeButton(ButtonPanel, "BackBtn", "< Back", 4, 304, 75);
    ProceedBtn = MakeButton(ButtonPanel, "ProceedBtn", "Next >", 5, 384, 75);
    FinishBtn = MakeButton(ButtonPanel, "FinishBtn", "Finish", 72, 384, 75);
    FinishBtn->SetVisible(false);
    FinishBtn->OnClick.Set([this](TComponent*) { NextPage(); });
  }
  ProceedBtn->SetDefault(true);
  BackBtn->OnClick.Set([this](TComponent*) { PreviousPage(); });
  ProceedBtn->OnClick.Set([this](TComponent*) { NextPage(); });
}

TTranslateLabel* TStandardPage::AddLabel(const std::string& name, const std::string& caption,
                                         int glid, int left, int top, int width, int height,
                                         bool wrap) {
  auto* label = Make<TTranslateLabel>(this, name, left, top, width, height);
  label->SetAutoSize(false);
  label->SetWordWrap(wrap);
  label->SetParentColor(true);
  label->SetCaption(caption);
  label->SetGLID(glid);
  return label;
}

void TStandardPage::EndPageButtons() {
  BackBtn->SetVisible(!IsFirstPage());
  ProceedBtn->SetVisible(!IsLastPage());
  FinishBtn->SetVisible(!ProceedBtn->Visible());
  ProceedBtn->SetDefault(ProceedBtn->Visible());
  FinishBtn->SetDefault(FinishBtn->Visible());
  if (ProceedBtn->Visible()) {
    FocusButton(ProceedBtn);
  } else {
    FocusButton(FinishBtn);
  }
}

bool TStandardPage::Refused(const std::string& problem, ui::TWinControl* field) {
  if (problem.empty()) return false;
  if (ui::TApplication* app = ui::Application()) {
    app->MessageBox(problem, Caption(), platform::mb::kOk | platform::mb::kIconWarning);
  }
  field->SetFocus();
  return true;
}

void TStandardPage::FocusButton(ui::TWinControl* button) {
  if (button->Visible() && Visible()) {
    SetActiveControl(button);
  }
}

// ---------------------------------------------------------------------------------------------
// TLicenseForm

const TClassInfo& TLicenseForm::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TLicenseForm, TStandardPage>("TLicenseForm");
  return info;
}

TLicenseForm::TLicenseForm(TComponent* owner) : TStandardPage(owner) {
  SetName("LicenseForm");
  SetDM(FindDialogManager(dmBeforeInstall));
  SetFormStyle(ui::fsStayOnTop);
  BuildFrame("Software license agreement", 1, true);
  BackBtn->SetCaption("< Previous");
  BackBtn->SetVisible(false);
  ProceedBtn->SetCaption("Accept >");
  Label1 = AddLabel("Label1", "Please read the following License Agreement.", 2, kTextLeft, 8,
                    kTextWidth, 16, false);
  Label1->Font().SetStyle({ui::fsBold});
  Agreement = Make<ui::TRichEdit>(this, "Agreement", kTextLeft, 28, kTextWidth, 222);
  Agreement->SetReadOnly(true);
  Agreement->SetScrollBars(ui::ssVertical);
  Agreement->SetTabStop(true);
  Agreement->SetText(
      "LICENCE AGREEMENT\r\n\r\nThis product is licensed, not sold. You may install and use it "
      "on the computers you own. You may not sell, rent or lend it.");
  Label2 = AddLabel("Label2",
                    "By clicking on the Next button below, you agree to all terms stated in the "
                    "License Agreement. You may cancel the installation by clicking on the Cancel "
                    "button.",
                    3, kTextLeft, 256, kTextWidth, 56, true);
  auto* version = Make<TTranslateLabel>(ButtonPanel, "VersionLabel", 8, 20, 40, 16);
  version->SetParentColor(true);
  version->SetCaption("v4.0");
  version->SetGLID(-1);
  version->Font().SetStyle({ui::fsBold});
}

void TLicenseForm::PageEntered() {
  const std::string path = IncludeTrailingBackslash(ProgramFolder()) + "License.rtf";
  try {
    const std::optional<int64_t> size = platform::Port().Files().FileSize(path);
    if (size && *size > kMaxLicenseBytes) {
      throw EFOpenError("The licence file \"%s\" is too large to show", {path});
    }
    Agreement->LoadFromFile(path);
  } catch (const EFOpenError& error) {
    // The page stays usable with the text it had: the user may still read it, accept or cancel.
    ShowError(error);
  }
  BackBtn->SetVisible(!IsFirstPage());
  FocusButton(ProceedBtn);
}

namespace {

// A folder the page takes goes into the edit as Windows names it (its change handler hands it
// on), so that the install, its log and the uninstaller all see the same path.
void ShowTakenFolder(const TFolderCheck& check, ui::TEdit& edit) {
  if (check.Path != edit.Text()) edit.SetText(check.Path);
}

std::string NotAFullPath(const std::string& shown) {
  return FormatText(LocalizeMessage("%s is not a full path. Please enter a path such as "
                                    "C:\\Program Files\\Product."),
                    {shown});
}

const char kDeviceName[] =
    "%s cannot be used: %s is a name that Windows keeps for a device. Please choose another "
    "name.";

}  // namespace

// ---------------------------------------------------------------------------------------------
// TSelectDestinationForm

const TClassInfo& TSelectDestinationForm::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TSelectDestinationForm, TStandardPage>("TSelectDestinationForm");
  return info;
}

TSelectDestinationForm::TSelectDestinationForm(TComponent* owner) : TStandardPage(owner) {
  SetName("SelectDestinationForm");
  SetDM(FindDialogManager(dmBeforeInstall));
  BuildFrame("Choose Destination Location", 45, true);
  lblText1 = AddLabel("lblText1", "Which directory do you want to install this program into?", 85,
                      kTextLeft, 8, kTextWidth, 32, true);
  lblText2 = AddLabel("lblText2", "To install to the directory displayed below, click Next.", 86,
                      kTextLeft, 48, kTextWidth, 32, true);
  lblText3 = AddLabel("lblText3",
                      "To install to a different directory, click Browse and select another "
                      "directory.",
                      87, kTextLeft, 88, kTextWidth, 32, true);
  gbDirectory = Make<ui::TGroupBox>(this, "gbDirectory", kTextLeft, 250, kTextWidth, 62);
  gbDirectory->SetCaption("Destination Directory");
  gbDirectory->SetParentColor(true);
  edDestDir = Make<ui::TEdit>(gbDirectory, "edDestDir", 10, 24, 210, 21);
  edDestDir->SetTabStop(true);
  BrowseBtn = Make<TTranslateBitBtn>(gbDirectory, "BrowseBtn", 228, 22, 80, 25);
  BrowseBtn->SetCaption("&Browse");
  BrowseBtn->SetGLID(26);
  BrowseBtn->SetTabStop(true);
  edDestDir->OnChange.Set([this](TComponent*) { edDestDirChange(); });
  BrowseBtn->OnClick.Set([this](TComponent*) { BrowseBtnClick(); });
  ProceedBtn->OnClick.Set([this](TComponent*) { ProceedBtnClick(); });
}

void TSelectDestinationForm::PageEntered() {
  suppressChange_ = true;
  try {
    BackBtn->SetVisible(!IsFirstPage());
    TInstallContainer* install = RootContainer();
    const std::string dest = install != nullptr ? install->GetDestPath() : std::string();
    directoryShown_ = directoryShown_ || !dest.empty();
    gbDirectory->SetVisible(directoryShown_);
    edDestDir->SetText(dest);
  } catch (...) {
    suppressChange_ = false;
    throw;
  }
  suppressChange_ = false;
  FocusButton(ProceedBtn);
}

void TSelectDestinationForm::edDestDirChange() {
  if (suppressChange_) return;
  if (TInstallContainer* install = RootContainer()) {
    install->SetDestDirType(nullptr);
    install->SetDestDir(edDestDir->Text());
  }
}

void TSelectDestinationForm::BrowseBtnClick() {
  TInstallContainer* install = RootContainer();
  if (install == nullptr) return;
  platform::IFileSystem& files = platform::Port().Files();
  const std::string start = install->GetDestPath();
  // The browser shows only folders that exist: a new destination is made for it and taken
  // away again afterwards when nothing was put into it.
  bool made = false;
  if (!TrimText(start).empty() && DestinationProblem(start).empty() &&
      !files.DirectoryExists(start)) {
    made = files.CreateDirectories(start);
  }
  std::optional<std::string> chosen;
  try {
    chosen = platform::Ui().BrowseForFolder(start, true, true);
  } catch (...) {
    if (made) files.RemoveDir(start);
    throw;
  }
  if (chosen) {
    install->SetDestDirType(nullptr);
    install->SetDestDir(ExcludeTrailingBackslash(*chosen));
    suppressChange_ = true;
    edDestDir->SetText(install->DestDir());
    suppressChange_ = false;
  }
  if (made) files.RemoveDir(start);
}

void TSelectDestinationForm::ProceedBtnClick() {
  // A destination the install could not create stops here, with the reason, rather than after
  // the copying has begun.
  if (gbDirectory->Visible()) {
    const TFolderCheck check = CheckTypedDestination(edDestDir->Text());
    if (Refused(check.Problem, edDestDir)) return;
    ShowTakenFolder(check, *edDestDir);
  }
  NextPage();
}

TFolderCheck CheckTypedDestination(const std::string& typed) {
  const TTypedFolder folder = NormalizeTypedFolder(typed, false);
  switch (folder.Fault) {
    case TTypedFolder::tfNone: return {folder.Path, DestinationProblem(folder.Path)};
    case TTypedFolder::tfDevice:
      return {{}, FormatText(LocalizeMessage(kDeviceName), {"\"" + typed + "\"", folder.Step})};
    case TTypedFolder::tfEmpty: break;
    case TTypedFolder::tfNotFull:
    case TTypedFolder::tfOutside: return {{}, NotAFullPath("\"" + typed + "\"")};
  }
  return {{}, DestinationProblem("")};
}

TFolderCheck CheckTypedProgramFolder(const std::string& typed) {
  const TTypedFolder folder = NormalizeTypedFolder(typed, true);
  switch (folder.Fault) {
    case TTypedFolder::tfNone:
    case TTypedFolder::tfEmpty: return {folder.Path, ProgramFolderProblem(folder.Path)};
    case TTypedFolder::tfDevice:
      return {{}, FormatText(LocalizeMessage(kDeviceName), {"\"" + typed + "\"", folder.Step})};
    case TTypedFolder::tfNotFull:
    case TTypedFolder::tfOutside: break;
  }
  return {{},
          FormatText(LocalizeMessage("The folder %s leads outside the Programs folder of the "
                                     "Start menu."),
                     {"\"" + typed + "\""})};
}

std::string DestinationProblem(const std::string& path) {
  const std::string text = TrimText(path);
  const std::string shown = "\"" + path + "\"";
  if (text.empty()) return LocalizeMessage("Please enter the directory to install into.");
  const bool drive = text.size() >= 3 && std::isalpha(static_cast<unsigned char>(text[0])) &&
                     text[1] == ':' && text[2] == '\\';
  const bool share = text.size() > 2 && text[0] == '\\' && text[1] == '\\';
  if (!drive && !share) return NotAFullPath(shown);
  const size_t from = drive ? 2 : 0;
  if (const size_t bad = FindRefusedPathCharacter(std::string_view(text).substr(from));
      bad != std::string_view::npos) {
    return FormatText(LocalizeMessage("The directory %s contains a character that Windows does "
                                      "not allow in a name: %s"),
                      {shown, text.substr(from + bad, 1)});
  }
  if (text.size() > kMaxPath) {
    return FormatText(LocalizeMessage("The directory %s is longer than Windows allows (%d "
                                      "characters)."),
                      {shown, static_cast<int>(kMaxPath)});
  }
  if (drive) {
    const std::string root = text.substr(0, 3);
    if (!platform::Port().Files().DirectoryExists(root)) {
      return FormatText(LocalizeMessage("The drive %s does not exist."), {root.substr(0, 2)});
    }
  }
  return {};
}

// ---------------------------------------------------------------------------------------------
// TSelectFolderForm

const TClassInfo& TSelectFolderForm::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TSelectFolderForm, TStandardPage>("TSelectFolderForm");
  return info;
}

TSelectFolderForm::TSelectFolderForm(TComponent* owner) : TStandardPage(owner) {
  SetName("SelectFolderForm");
  SetDM(FindDialogManager(dmBeforeInstall));
  SetFormStyle(ui::fsStayOnTop);
  BuildFrame("Select folder in start menu", 60, true);
  TopDescriptionLabel = AddLabel(
      "TopDescriptionLabel",
      "Setup will add program icons to the Program Folder listed below. You may type a new "
      "folder name, or select from the E&xisting Folders list.",
      41, kTextLeft, 6, kTextWidth, 70, true);
  // The description takes four lines in the longer languages (German, French, Greek), five in
  // a wider font.
  AddLabel("Spacer1", "", 0, kTextLeft, 76, kTextWidth, 2, false);
  ProgramFolders =
      AddLabel("ProgramFolders", "&Program Folder", 42, kTextLeft, 78, kTextWidth, 15, false);
  FolderEdit = Make<ui::TEdit>(this, "FolderEdit", kTextLeft, 94, kTextWidth, 21);
  FolderEdit->SetTabStop(true);
  AddLabel("Spacer2", "", 0, kTextLeft, 116, kTextWidth, 8, false);
  ExistingFolders =
      AddLabel("ExistingFolders", "E&xisting Folders", 43, kTextLeft, 126, kTextWidth, 16, false);
  FolderListBox = Make<ui::TListBox>(this, "FolderListBox", kTextLeft, 144, kTextWidth, 164);
  FolderListBox->SetSorted(true);
  FolderListBox->SetTabStop(true);
  // Alt and the marked letter of a label go to the control it speaks of ("select from the
  // E&xisting Folders list" too).
  ProgramFolders->SetFocusControl(FolderEdit);
  ExistingFolders->SetFocusControl(FolderListBox);
  TopDescriptionLabel->SetFocusControl(FolderListBox);
  FolderEdit->OnChange.Set([this](TComponent*) { FolderEditChange(); });
  FolderListBox->OnClick.Set([this](TComponent*) { FolderListBoxClick(); });
  ProceedBtn->OnClick.Set([this](TComponent*) { ProceedBtnClick(); });
}

TInstallContainer* TSelectFolderForm::MainFolder() {
  const TInstallContainerList& containers = InstallModel().Containers;
  for (int i = 0; i < containers.Count(); ++i) {
    TInstallContainer* c = containers.Items(i);
    if (c != nullptr && c->ClassInfo().InheritsFrom("TMainLinkGroup")) return c;
  }
  return nullptr;
}

bool TSelectFolderForm::SkipPage() { return MainFolder() == nullptr; }

void TSelectFolderForm::PageEntered() {
  BackBtn->SetVisible(!IsFirstPage());
  TStrings folders;
  static constexpr OSSet kListed{oswin95, oswinNT, oswin2K, oswin98, oswinME, oswinXP};
  if (kListed.Contains(GetOSVersion())) {
    const std::string programs = GetProgramsDir();
    for (const platform::FindData& entry :
         platform::Port().Files().FindFiles(IncludeTrailingBackslash(programs) + "*.*")) {
      if ((entry.attributes & platform::attr::kDirectory) == 0) continue;
      if (entry.name == "." || entry.name == "..") continue;
      folders.push_back(entry.name);
    }
  }
  FolderListBox->SetItems(folders);
  std::string name;
  if (TInstallContainer* folder = MainFolder()) {
    TCustomPathSpecifier* programMenu = PathSpecifiers().Specifiers.Lookup("TpsProgramMenu");
    if (programMenu != nullptr && folder->DestDirType() == programMenu) {
      // The whole path below the Programs menu ("Company\Product"), so that Next keeps it.
      name = ExcludeTrailingBackslash(folder->DestDir());
      if (!name.empty() && name.front() == '\\') name.erase(0, 1);
    }
  }
  if (name.empty() && !FolderListBox->Items().empty()) name = FolderListBox->Items().front();
  FolderEdit->SetText(name);
  FolderEditChange();
  FocusButton(ProceedBtn);
}

void TSelectFolderForm::FolderEditChange() {
  TInstallContainer* folder = MainFolder();
  if (folder == nullptr) return;
  folder->SetDestDirType(PathSpecifiers().Specifiers.FindSpecifier("TpsProgramMenu"));
  folder->SetDestDir("\\" + FolderEdit->Text());
}

void TSelectFolderForm::ProceedBtnClick() {
  // A name Windows refuses would fail only once every file is copied: it stops here instead.
  if (MainFolder() != nullptr) {
    const TFolderCheck check = CheckTypedProgramFolder(FolderEdit->Text());
    if (Refused(check.Problem, FolderEdit)) return;
    ShowTakenFolder(check, *FolderEdit);
  }
  NextPage();
}

std::string ProgramFolderProblem(const std::string& folder) {
  const std::string shown = "\"" + folder + "\"";
  if (const size_t bad = FindRefusedPathCharacter(folder); bad != std::string_view::npos) {
    return FormatText(LocalizeMessage("The program folder %s contains a character that Windows "
                                      "does not allow in a name: %s"),
                      {shown, folder.substr(bad, 1)});
  }
  // The folder is made below the Programs menu, and Windows makes no folder whose full path
  // leaves no room for a file name of 8 and 3 characters.
  const size_t programs = ExcludeTrailingBackslash(GetProgramsDir()).size() + 1;
  const size_t room = kMaxFolderPath > programs ? kMaxFolderPath - programs : 0;
  if (Utf8Length(folder) > room) {
    return FormatText(LocalizeMessage("The program folder %s is longer than Windows allows (%d "
                                      "characters)."),
                      {shown, room});
  }
  return {};
}

void TSelectFolderForm::FolderListBoxClick() {
  const int index = FolderListBox->ItemIndex();
  if (index < 0) return;
  FolderEdit->SetText(FolderListBox->Items()[static_cast<size_t>(index)]);
}

// ---------------------------------------------------------------------------------------------
// The end pages

const TClassInfo& TBadInstallForm::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TBadInstallForm, TStandardPage>("TBadInstallForm");
  return info;
}

TBadInstallForm::TBadInstallForm(TComponent* owner) : TStandardPage(owner) {
  SetName("BadInstallForm");
  SetDM(FindDialogManager(dmAfterBadInstall));
  BuildFrame("Setup incomplete", 10, false);
  TopLabel = AddLabel("TopLabel",
                      "This software has not been properly installed and will not work correctly "
                      "if you try to use it.",
                      60, kTextLeft, 16, kTextWidth, 60, true);
}

const TClassInfo& TGoodInstallForm::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TGoodInstallForm, TStandardPage>("TGoodInstallForm");
  return info;
}

TGoodInstallForm::TGoodInstallForm(TComponent* owner) : TStandardPage(owner) {
  SetName("GoodInstallForm");
  SetDM(FindDialogManager(dmAfterGoodInstall));
  BuildFrame("Setup complete", 10, false);
  Label1 = AddLabel("Label1",
                    "The software has been properly installed. You may start the software by "
                    "clicking on the icon.",
                    38, kTextLeft, 16, kTextWidth, 60, true);
}

const TClassInfo& TRebootForm::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TRebootForm, TStandardPage>("TRebootForm");
  return info;
}

TRebootForm::TRebootForm(TComponent* owner) : TStandardPage(owner) {
  SetName("RebootForm");
  SetDM(FindDialogManager(dmReboot));
  if (HostForm() == nullptr) SetClientWidth(475);
  BuildFrame("Reboot windows", 10, false);
  Label1 = AddLabel("Label1",
                    "Several components could not be installed on your system because they were "
                    "in use. For the installation to proceed, you will need to reboot your "
                    "computer. If you decide not to reboot now, the software will probably not "
                    "work until you do reboot.",
                    52, kTextLeft, 16, kTextWidth, 100, true);
  RG = Make<ui::TRadioGroup>(this, "RG", kTextLeft, 140, kTextWidth, 80);
  RG->SetParentColor(true);
  RG->SetItems({"Yes, I would like to reboot windows", "No, I would not like to reboot windows"});
  RG->SetTabStop(true);
  RG->OnClick.Set([this](TComponent*) { RGClick(); });
}

void TRebootForm::PageEntered() {
  EndPageButtons();
  IInstallRoot* root = InstallModel().CurrentInstall();
  suppressClick_ = true;
  RG->SetItemIndex(1);
  if (root != nullptr && root->RebootPending()) RG->SetItemIndex(0);
  suppressClick_ = false;
}

void TRebootForm::RGClick() {
  if (suppressClick_) return;
  if (IInstallRoot* root = InstallModel().CurrentInstall()) {
    root->SetRebootPending(RG->ItemIndex() == 0);
  }
}

// ---------------------------------------------------------------------------------------------
// TCopyFileForm

const TClassInfo& TCopyFileForm::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TCopyFileForm, TBaseDuringCopyForm>("TCopyFileForm");
  return info;
}

TCopyFileForm::TCopyFileForm(TComponent* owner) : TBaseDuringCopyForm(owner) {
  SetName("CopyFileForm");
  SetDM(FindDialogManager(dmDuringCopyFiles));
  SetCaption("Copying installation files");
  // The theme picture is a tall one (the band of the pages): it keeps its shape in the height
  // of the window. The transfer picture takes its place while an archive downloads.
  UnZipImage = SmallDialogFrame(*this, 460, 92, "UnZipImage", 76);
  TransferBitmap = Make<ui::TImage>(this, "TransferBitmap", 8, 8, 48, 76);
  TransferBitmap->Picture().SetData(ui::EncodeBmp24(TransferPicture()));
  TransferBitmap->SetCenter(true);
  TransferBitmap->SetVisible(false);
  const auto label = [this](const std::string& name, const std::string& caption, int glid,
                            int top) {
    auto* l = Make<TTranslateLabel>(this, name, 64, top, 290, 14);
    l->SetAutoSize(false);
    l->SetParentColor(true);
    l->SetCaption(caption);
    l->SetGLID(glid);
    return l;
  };
  lblCopyFileHeader = label("lblCopyFileHeader", "Processing", 14, 4);
  lblCopyFileHeader->Font().SetStyle({ui::fsBold});
  lblCopyingFile = label("lblCopyingFile", "---", -1, 18);
  lblCopyingFile->SetShowAccelChar(false);
  Label1 = label("Label1", "File progress", 15, 34);
  ProgressBar1 = Make<ui::TProgressBar>(this, "ProgressBar1", 64, 48, 290, 12);
  Label2 = label("Label2", "Total progress", 16, 62);
  ProgressBar2 = Make<ui::TProgressBar>(this, "ProgressBar2", 64, 76, 290, 12);
  CancelBtn = Make<TTranslateBitBtn>(this, "CancelBtn", 368, 34, 84, 25);
  CancelBtn->SetCaption("Cancel");
  CancelBtn->SetGLID(6);
  CancelBtn->SetCancel(true);
  CancelBtn->SetTabStop(true);
  CancelBtn->OnClick.Set([this](TComponent*) { CancelCopy(); });
}

void TCopyFileForm::UpdateStatus(const TFileStatusParameter* file,
                                 const TDownloadStatusParameter* download) {
  if (file != nullptr) {
    TransferBitmap->SetVisible(false);
    UnZipImage->SetVisible(true);
    ProgressBar2->SetPosition(file->TotalPercentDone);
    ProgressBar1->SetPosition(file->FilePercentDone);
    lblCopyingFile->SetCaption(file->FileName);
  } else if (download != nullptr) {
    UnZipImage->SetVisible(false);
    TransferBitmap->SetVisible(true);
    ProgressBar1->SetPosition(download->PercentDone);
    lblCopyingFile->SetCaption(download->FileName);
  }
  Repaint();
}

// ---------------------------------------------------------------------------------------------
// TChangeDiskForm

const TClassInfo& TChangeDiskForm::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TChangeDiskForm, TBaseInstallForm>("TChangeDiskForm");
  return info;
}

TChangeDiskForm::TChangeDiskForm(TComponent* owner) : TBaseInstallForm(owner) {
  SetName("ChangeDiskForm");
  SetDM(FindDialogManager(dmChangeDisk));
  DiskImage = SmallDialogFrame(*this, 400, 118, "DiskImage", 102);
  lblInsertDisk = Make<TTranslateLabel>(this, "lblInsertDisk", 64, 12, 328, 16);
  lblInsertDisk->SetAutoSize(false);
  lblInsertDisk->SetParentColor(true);
  lblInsertDisk->SetShowAccelChar(false);
  lblInsertDisk->SetGLID(-1);  // made from the translated prompt when shown
  lblInsertDisk->Font().SetStyle({ui::fsBold});
  edDiskPath = Make<ui::TEdit>(this, "edDiskPath", 64, 40, 240, 21);
  edDiskPath->SetTabStop(true);
  BrowseBtn = Make<TTranslateBitBtn>(this, "BrowseBtn", 312, 38, 80, 25);
  BrowseBtn->SetCaption("&Browse");
  BrowseBtn->SetGLID(26);
  BrowseBtn->SetTabStop(true);
  OKBtn = Make<TTranslateBitBtn>(this, "OKBtn", 232, 84, 75, 25);
  OKBtn->SetCaption("OK");
  OKBtn->SetGLID(7);
  OKBtn->SetTabStop(true);
  OKBtn->SetDefault(true);
  CancelBtn = Make<TTranslateBitBtn>(this, "CancelBtn", 317, 84, 75, 25);
  CancelBtn->SetCaption("Cancel");
  CancelBtn->SetGLID(6);
  CancelBtn->SetTabStop(true);
  CancelBtn->SetCancel(true);
  BrowseBtn->OnClick.Set([this](TComponent*) { BrowseBtnClick(); });
  OKBtn->OnClick.Set([this](TComponent*) { OKBtnClick(); });
  CancelBtn->OnClick.Set([this](TComponent*) { CancelQuery(); });
  // The close box would end the prompt with neither answer: only OK and a confirmed Cancel do.
  OnClose.Set([this](TComponent*, ui::TCloseAction& action) {
    if (ModalResult() != ui::mrOk && ModalResult() != ui::mrAbort) action = ui::caNone;
  });
}

void TChangeDiskForm::PageEntered() {
  if (ui::TApplication* app = ui::Application()) SetCaption(app->Title());
  if (disk_ != nullptr) {
    lblInsertDisk->SetCaption(
        FormatText(LocalizeMessage("Please insert disk #%d"), {disk_->DiskNumber}));
    edDiskPath->SetText(disk_->Path);
  }
  SetActiveControl(OKBtn);
}

void TChangeDiskForm::BrowseBtnClick() {
  const std::optional<std::string> chosen =
      platform::Ui().BrowseForFolder(TrimText(edDiskPath->Text()), false, true);
  if (chosen) edDiskPath->SetText(*chosen);
}

void TChangeDiskForm::OKBtnClick() {
  if (disk_ != nullptr) disk_->Path = TrimText(edDiskPath->Text());
  SetModalResult(ui::mrOk);
}

// ---------------------------------------------------------------------------------------------

void RegisterStandardDialogClasses(TClassRegistry& registry) {
  registry.Register({&TLicenseForm::StaticClass(), &TSelectDestinationForm::StaticClass(),
                     &TSelectFolderForm::StaticClass(), &TBadInstallForm::StaticClass(),
                     &TCopyFileForm::StaticClass(), &TGoodInstallForm::StaticClass(),
                     &TRebootForm::StaticClass()});
}

void RegisterStandardDialogs() {
  RegisterInstallForm(TLicenseForm::StaticClass());
  RegisterInstallForm(TSelectDestinationForm::StaticClass());
  RegisterInstallForm(TSelectFolderForm::StaticClass());
  RegisterInstallForm(TBadInstallForm::StaticClass());
  RegisterDuringCopyForm(TCopyFileForm::StaticClass());
  RegisterInstallForm(TGoodInstallForm::StaticClass());
  RegisterInstallForm(TRebootForm::StaticClass());
}

void RegisterChangeDiskDialog() { RegisterChangeDiskForm(TChangeDiskForm::StaticClass()); }

}  // namespace tmby
