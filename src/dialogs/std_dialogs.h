// The standard dialogs of an install: the licence, destination and program-folder pages of the
// before-install stage, the good-end, bad-end and reboot pages, and the copy progress window.
// Each registers itself once (RegisterStandardDialogs) and finds the manager of its stage when it
// is made. Texts are the English design texts; labels and buttons with a GLID are translated by
// it, the rest by their text.
//
// Pages share one layout: the theme picture in a band 136 pixels wide on the left, the texts to
// its right, a button panel 49 pixels high at the bottom with a line over it and the buttons at
// y = 15. Pages that can cancel the install have Back, Next and Cancel; the end pages Back, Next
// and Finish in Next's place.
#pragma once

#include <string>

#include "dialogs/base_forms.h"
#include "dialogs/dialog_manager.h"
#include "translate/translate_controls.h"
#include "ui/controls.h"
#include "ui/std_controls.h"

namespace tmby {

// The frame every standard page shares.
class TStandardPage : public TBaseInstallForm {
  TMBY_CLASS(TStandardPage, TBaseInstallForm)
 public:
  explicit TStandardPage(TComponent* owner);

  ui::TImage* ThemeBitmap = nullptr;
  ui::TPanel* ButtonPanel = nullptr;
  TTranslateBitBtn* BackBtn = nullptr;
  TTranslateBitBtn* ProceedBtn = nullptr;
  TTranslateBitBtn* FinishBtn = nullptr;  // end pages only
  TTranslateBitBtn* CancelBtn = nullptr;  // pages that can cancel only

 protected:
  // The caption and stage, then the buttons: with Cancel (licence, destination, folder) or
  // with Finish (the end pages).
  void BuildFrame(const std::string& caption, int order, bool withCancel);
  // A label of the text area; `glid` 0 for a spacer that is never translated.
  TTranslateLabel* AddLabel(const std::string& name, const std::string& caption, int glid, int left,
                            int top, int width, int height, bool wrap);
  // Back visible unless first; Next unless last; Finish when Next is not; the focus on Next,
  // else Finish.
  void EndPageButtons();
  // The focus on `button` when it and the page are visible.
  void FocusButton(ui::TWinControl* button);
  // What the user typed cannot be used (`problem` is not empty): the reason in a box, the focus
  // back on `field`, true.
  bool Refused(const std::string& problem, ui::TWinControl* field);

  // The area to the right of the theme band, above the button panel.
  static constexpr int kTextLeft = 144;
  static constexpr int kTextWidth = 318;
};

class TLicenseForm : public TStandardPage {
  TMBY_CLASS(TLicenseForm, TStandardPage)
 public:
  explicit TLicenseForm(TComponent* owner);
  TTranslateLabel* Label1 = nullptr;
  ui::TRichEdit* Agreement = nullptr;
  TTranslateLabel* Label2 = nullptr;
  // Loads "License.rtf" from the setup program's folder (a failure is shown in the error box
  // and the design text stays); Back unless first; the focus on Next.
  void PageEntered() override;
};

class TSelectDestinationForm : public TStandardPage {
  TMBY_CLASS(TSelectDestinationForm, TStandardPage)
 public:
  explicit TSelectDestinationForm(TComponent* owner);
  TTranslateLabel* lblText1 = nullptr;
  TTranslateLabel* lblText2 = nullptr;
  TTranslateLabel* lblText3 = nullptr;
  ui::TGroupBox* gbDirectory = nullptr;
  ui::TEdit* edDestDir = nullptr;
  TTranslateBitBtn* BrowseBtn = nullptr;
  void PageEntered() override;

 private:
  void edDestDirChange();
  void BrowseBtnClick();
  void ProceedBtnClick();
  bool suppressChange_ = false;
  // The directory box, once shown, stays for the rest of the run: a destination the user emptied
  // is still one to refuse when the page comes back.
  bool directoryShown_ = false;
};

class TSelectFolderForm : public TStandardPage {
  TMBY_CLASS(TSelectFolderForm, TStandardPage)
 public:
  explicit TSelectFolderForm(TComponent* owner);
  TTranslateLabel* TopDescriptionLabel = nullptr;
  TTranslateLabel* ProgramFolders = nullptr;
  ui::TEdit* FolderEdit = nullptr;
  TTranslateLabel* ExistingFolders = nullptr;
  ui::TListBox* FolderListBox = nullptr;
  void PageEntered() override;
  // True when the definition has no main program folder.
  bool SkipPage() override;
  // The definition's main program folder (a TMainLinkGroup), or null.
  static TInstallContainer* MainFolder();

 private:
  void FolderEditChange();
  void FolderListBoxClick();
  // Next: on only with a folder name Windows takes.
  void ProceedBtnClick();
};

class TBadInstallForm : public TStandardPage {
  TMBY_CLASS(TBadInstallForm, TStandardPage)
 public:
  explicit TBadInstallForm(TComponent* owner);
  TTranslateLabel* TopLabel = nullptr;
  void PageEntered() override { EndPageButtons(); }
};

class TGoodInstallForm : public TStandardPage {
  TMBY_CLASS(TGoodInstallForm, TStandardPage)
 public:
  explicit TGoodInstallForm(TComponent* owner);
  TTranslateLabel* Label1 = nullptr;
  void PageEntered() override { EndPageButtons(); }
};

class TRebootForm : public TStandardPage {
  TMBY_CLASS(TRebootForm, TStandardPage)
 public:
  explicit TRebootForm(TComponent* owner);
  TTranslateLabel* Label1 = nullptr;
  ui::TRadioGroup* RG = nullptr;
  // The end-page buttons; the first item (reboot now) selected when a reboot is pending, else
  // the second.
  void PageEntered() override;

 private:
  void RGClick();
  bool suppressClick_ = false;
};

class TCopyFileForm : public TBaseDuringCopyForm {
  TMBY_CLASS(TCopyFileForm, TBaseDuringCopyForm)
 public:
  explicit TCopyFileForm(TComponent* owner);
  ui::TImage* UnZipImage = nullptr;
  ui::TImage* TransferBitmap = nullptr;
  TTranslateLabel* lblCopyFileHeader = nullptr;
  TTranslateLabel* lblCopyingFile = nullptr;
  TTranslateLabel* Label1 = nullptr;
  ui::TProgressBar* ProgressBar1 = nullptr;
  TTranslateLabel* Label2 = nullptr;
  ui::TProgressBar* ProgressBar2 = nullptr;
  TTranslateBitBtn* CancelBtn = nullptr;
  // A file report moves both bars and hides the transfer picture; a download report moves the
  // file bar only and shows it.
  void UpdateStatus(const TFileStatusParameter* file,
                    const TDownloadStatusParameter* download) override;
};

// The disk prompt of a distribution spread over disks, shown by the change-disk stage's manager:
// it asks for the disk by its number and shows the folder its files are looked for in, which the
// user may change (typed or browsed) when the disk is elsewhere. OK goes on with that folder;
// Cancel, confirmed, ends the install as the user's abort; the close box does neither.
class TChangeDiskForm : public TBaseInstallForm, public IDiskParameterForm {
  TMBY_CLASS(TChangeDiskForm, TBaseInstallForm)
 public:
  explicit TChangeDiskForm(TComponent* owner);
  ui::TImage* DiskImage = nullptr;
  TTranslateLabel* lblInsertDisk = nullptr;
  ui::TEdit* edDiskPath = nullptr;
  TTranslateBitBtn* BrowseBtn = nullptr;
  TTranslateBitBtn* OKBtn = nullptr;
  TTranslateBitBtn* CancelBtn = nullptr;
  void SetDiskParameter(TDiskParameter* disk) override { disk_ = disk; }
  // The disk asked for and its folder; the focus on OK.
  void PageEntered() override;

 private:
  void BrowseBtnClick();
  void OKBtnClick();
  TDiskParameter* disk_ = nullptr;
};

// What is wrong with a destination the user typed, or empty when it can be installed into: a
// full path (a drive letter or a network share), no characters Windows refuses in names, no
// longer than a Windows path may be, on a drive or share that exists.
std::string DestinationProblem(const std::string& path);
// What is wrong with a program folder the user typed (its path below the Programs menu, such as
// "Company\Product"), or empty: no character Windows refuses in a name, and a full path no
// longer than Windows makes a folder.
std::string ProgramFolderProblem(const std::string& folder);

// A folder typed on a page: as the install will use it (NormalizeTypedFolder of base/path_text.h),
// and what is wrong with it, a message for the user (empty when it can be used).
struct TFolderCheck {
  std::string Path;
  std::string Problem;
};
// The destination page's folder: a full path, refused as DestinationProblem refuses.
TFolderCheck CheckTypedDestination(const std::string& typed);
// The program-folder page's folder, below the Start menu's Programs: empty is the Programs
// folder itself.
TFolderCheck CheckTypedProgramFolder(const std::string& typed);

// Registers the standard dialogs with the dialog registries, in their fixed order (once, at
// program start).
void RegisterStandardDialogs();
// Registers the change-disk dialog (the programs that install from disks).
void RegisterChangeDiskDialog();
// Registers their classes with the definition reader.
void RegisterStandardDialogClasses(TClassRegistry& registry);

}  // namespace tmby
