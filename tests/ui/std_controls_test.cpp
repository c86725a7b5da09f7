// The standard controls and dialog behaviour of forms, against the script adapter: what a user
// does in the script reaches the model's events, and what the model changes shows in the
// transcript.
#include "ui/std_controls.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "base/definition_reader.h"
#include "platform/memory/memory_port.h"
#include "platform/script/script_ui.h"
#include "support/scratch_dir.h"
#include "ui/forms.h"
#include "ui/ui_classes.h"

namespace tmby::ui {
namespace {

using platform::script::ScriptUi;

// A destination page much like the dialogs', read from a definition.
const char kDialog[] = R"(object Dialog: TForm
  Caption = 'Choose Destination Location'
  BorderStyle = bsDialog
  BorderIcons = []
  ClientWidth = 470
  ClientHeight = 368
  object Label1: TLabel
    Left = 144
    Top = 8
    Caption = 'Which directory do you want to install this program into?'
    GLID = 85
  end
  object gbDirectory: TGroupBox
    Left = 144
    Top = 200
    Width = 313
    Height = 57
    Caption = 'Destination Directory'
    GLID = 26
    object edDestDir: TEdit
      Left = 8
      Top = 20
      Width = 217
      Text = 'C:\Program Files\Notes'
      OnChange = EditChanged
    end
    object BrowseBtn: TButton
      Left = 232
      Top = 18
      Caption = '&Browse'
      OnClick = Browse
    end
  end
  object FolderListBox: TListBox
    Left = 144
    Top = 40
    Sorted = True
    Items = ( 'Startup' 'Accessories' 'Games' )
    OnClick = ListClicked
  end
  object RG: TRadioGroup
    Left = 280
    Top = 40
    Height = 60
    Items = ( 'Yes, I would like to reboot windows' 'No, I would not like to reboot windows' )
    ItemIndex = 1
    OnClick = RadioClicked
  end
  object Agree: TCheckBox
    Left = 280
    Top = 110
    Caption = 'I agree'
  end
  object ProgressBar1: TProgressBar
    Left = 280
    Top = 140
    Position = 40
  end
  object Bevel1: TBevel
    Left = 0
    Top = 318
    Width = 470
    Height = 2
    Shape = bsTopLine
  end
  object CancelBtn: TButton
    Left = 368
    Top = 334
    Caption = 'Cancel'
    Cancel = True
    ModalResult = 2
  end
  object ProceedBtn: TButton
    Left = 288
    Top = 334
    Caption = 'Next >'
    Default = True
    ModalResult = 1
  end
end
)";

class StdControlsTest : public ::testing::Test {
 protected:
  StdControlsTest() : machine(scratch.path()) {}
  void SetUp() override {
    previous_port = platform::SetPort(&machine);
    RegisterUiClasses(classes);
    handlers.Register<TNotifyEvent>("EditChanged", [this](TComponent* c) {
      log.push_back("change " + static_cast<TEdit*>(c)->Text());
    });
    handlers.Register<TNotifyEvent>("Browse", [this](TComponent*) { log.push_back("browse"); });
    handlers.Register<TNotifyEvent>("ListClicked", [this](TComponent* c) {
      log.push_back("list " + std::to_string(static_cast<TListBox*>(c)->ItemIndex()));
    });
    handlers.Register<TNotifyEvent>("RadioClicked", [this](TComponent* c) {
      log.push_back("radio " + std::to_string(static_cast<TRadioGroup*>(c)->ItemIndex()));
    });
    options.Classes = &classes;
    options.Handlers = &handlers;
  }
  void TearDown() override {
    platform::SetPort(previous_port);
    if (HasFailure()) std::cerr << "transcript:\n" << Transcript();
  }

  // The dialog under a script adapter running `script`.
  TForm* Dialog(const std::vector<std::string>& script) {
    ui = std::make_unique<ScriptUi>(&transcript, script);
    scoped = std::make_unique<platform::ScopedUi>(ui.get());
    auto* form = new TForm(&app);
    ReadDefinitionInto(*form, kDialog, "dialog.tmby", options);
    form->AfterConstruction();
    return form;
  }
  template <class T>
  T* Find(TForm* form, const char* name) {
    return dynamic_cast<T*>(form->FindComponent(name));
  }
  std::string Transcript() const { return transcript.str(); }
  bool Has(const std::string& line) const {
    return Transcript().find(line + "\n") != std::string::npos;
  }

  testing::ScratchDir scratch{"ui_std_controls"};
  platform::memory::MemoryPlatform machine;
  platform::IPlatform* previous_port = nullptr;
  TClassRegistry classes;
  TEventHandlers handlers;
  TDefinitionOptions options;
  std::ostringstream transcript;
  std::unique_ptr<ScriptUi> ui;
  std::unique_ptr<platform::ScopedUi> scoped;
  TApplication app;
  std::vector<std::string> log;
};

TEST_F(StdControlsTest, WhatTheUserDoesReachesTheModelAndItsEvents) {
  TForm* form = Dialog({"type edDestDir \"D:\\My Notes\"", "select FolderListBox games",
                        "select RG 0", "click \"i agree\"", "click browse", "click ProceedBtn"});
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_EQ(Find<TEdit>(form, "edDestDir")->Text(), "D:\\My Notes");
  EXPECT_EQ(Find<TListBox>(form, "FolderListBox")->ItemIndex(), 1);  // sorted: Games second
  EXPECT_EQ(Find<TRadioGroup>(form, "RG")->ItemIndex(), 0);
  EXPECT_TRUE(Find<TCheckBox>(form, "Agree")->Checked());
  EXPECT_EQ(log, (std::vector<std::string>{"change D:\\My Notes", "list 1", "radio 0", "browse"}));
  // The published identifiers the translator looks captions up by.
  EXPECT_EQ(Find<TLabel>(form, "Label1")->GLID(), 85);
  EXPECT_EQ(Find<TGroupBox>(form, "gbDirectory")->GLID(), 26);
  // The window showed every control, nested ones indented under their parent.
  EXPECT_TRUE(Has("window show Dialog"));
  EXPECT_TRUE(
      Has("  label Label1 \"Which directory do you want to install this program into?\" "
          "144,8 285x11"));
  EXPECT_TRUE(Has("  groupbox gbDirectory \"Destination Directory\" 144,200 313x57"));
  EXPECT_TRUE(Has("    edit edDestDir \"C:\\\\Program Files\\\\Notes\" 8,20 217x21"));
  EXPECT_TRUE(
      Has("  listbox FolderListBox \"\" 144,40 121x97 items "
          "\"Accessories\",\"Games\",\"Startup\" selected -1"));
  EXPECT_TRUE(
      Has("  radiogroup RG \"\" 280,40 185x60 items \"Yes, I would like to reboot "
          "windows\",\"No, I would not like to reboot windows\" selected 1"));
  EXPECT_TRUE(Has("  progressbar ProgressBar1 \"\" 280,140 150x16 position 40"));
  EXPECT_TRUE(Has("  button ProceedBtn \"Next >\" 288,334 75x25 default"));
  EXPECT_TRUE(Has("script type Dialog.edDestDir \"D:\\\\My Notes\""));
  EXPECT_TRUE(Has("control Dialog.edDestDir text \"D:\\\\My Notes\""));
  EXPECT_TRUE(Has("script click Dialog.Agree"));
  EXPECT_TRUE(Has("control Dialog.Agree checked"));
  // A dialog frame without border icons; the bevel is painted, it has no native control.
  EXPECT_TRUE(Has("window create Dialog TForm \"Choose Destination Location\" 0,0 476x392"));
  EXPECT_EQ(Transcript().find("Bevel1"), std::string::npos);
}

TEST_F(StdControlsTest, EnterPressesTheDefaultButtonOrTheFocusedOneAndEscTheCancelButton) {
  TForm* form = Dialog(
      {"press Enter", "press Esc", "focus BrowseBtn", "press Enter", "press Tab", "press Enter"});
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_EQ(form->ShowModal(), mrCancel);
  // Enter on the focused Browse button presses it, not the default; Tab then goes on to the next
  // control in tab order (the list), where Enter presses the default button again.
  auto* browse = Find<TButton>(form, "BrowseBtn");
  browse->OnClick.Set([form](TComponent*) { form->SetModalResult(mrRetry); });
  EXPECT_EQ(form->ShowModal(), mrRetry);
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_TRUE(Has("control Dialog.FolderListBox focus"));
  // A disabled default button is not pressed; without a cancel button Esc does nothing.
  form->Show();
  EXPECT_TRUE(form->DialogKey(platform::vk::kEscape, false));
  Find<TButton>(form, "ProceedBtn")->SetEnabled(false);
  Find<TButton>(form, "CancelBtn")->SetCancel(false);
  EXPECT_FALSE(form->DialogKey(platform::vk::kReturn, false));
  EXPECT_FALSE(form->DialogKey(platform::vk::kEscape, false));
}

TEST_F(StdControlsTest, AModalFormDisablesTheOtherWindowsAndItsCloseQueryCanRefuse) {
  TForm* stage = Dialog({"close main", "close Dialog", "close"});
  auto* main = new TForm(&app);
  main->SetName("main");
  main->AfterConstruction();
  app.SetMainForm(main);
  main->Show();
  int queries = 0;
  stage->OnCloseQuery.Set([&](TComponent*, bool& can_close) { can_close = ++queries > 1; });
  EXPECT_EQ(stage->ShowModal(), mrCancel);
  EXPECT_EQ(queries, 2);
  // The main window took no input while the dialog was up and gets it back after.
  EXPECT_TRUE(Has("window disable main"));
  EXPECT_TRUE(Has("script close main: the window is disabled"));
  EXPECT_TRUE(Has("window enable main"));
  EXPECT_LT(Transcript().find("script close Dialog"), Transcript().find("window enable main"));
  EXPECT_TRUE(main->Window()->Enabled());
}

TEST_F(StdControlsTest, AHostedPageLiesOnItsHostsPanelAndTakesTheKeysFirst) {
  ui = std::make_unique<ScriptUi>(&transcript,
                                  std::vector<std::string>{"click \"Next >\"", "press Enter"});
  scoped = std::make_unique<platform::ScopedUi>(ui.get());
  auto* stage = new TForm(&app);
  stage->SetName("stage");
  stage->SetBorderStyle(bsDialog);
  stage->SetClientWidth(300);
  stage->SetClientHeight(200);
  auto* panel = new TPanel(stage);
  panel->SetName("DisplayPanel");
  panel->SetParent(stage);
  panel->SetAlign(alClient);
  panel->SetColor(clYellow);
  stage->AfterConstruction();
  std::vector<std::string> pressed;
  auto page = [&](const std::string& name, TColor color) {
    auto* p = new TForm(stage);
    p->SetName(name);
    p->SetHostForm(stage);
    p->SetColor(color);
    p->SetBorderStyle(bsNone);
    auto* next = new TButton(p);
    next->SetName("ProceedBtn");
    next->SetCaption("Next >");
    next->SetDefault(true);
    next->SetBounds(200, 160, 75, 25);
    next->SetParent(p);
    next->OnClick.Set([&pressed, name, stage](TComponent*) {
      pressed.push_back(name);
      if (pressed.size() == 2) stage->SetModalResult(mrOk);
    });
    p->AfterConstruction();
    p->HandleNeeded();
    p->SetBounds(panel->Left(), panel->Top(), panel->Width(), panel->Height() - 50);
    p->Show();
    return p;
  };
  TForm* first = page("page1", clRed);
  TForm* second = page("page2", clLime);
  first->BringToFront();  // the first page is current
  EXPECT_EQ(stage->ShowModal(), mrOk);
  // The caption names the button of the page in front; Enter goes to that page's default button.
  EXPECT_EQ(pressed, (std::vector<std::string>{"page1", "page1"}));
  EXPECT_TRUE(Has("window create page1 TForm \"\" 0,0 320x240 borderless in stage"));
  EXPECT_TRUE(Has("  window page1 \"\" 0,0 300x150"));
  EXPECT_TRUE(Has("script click page1.ProceedBtn"));
  EXPECT_TRUE(Has("script press enter in page1"));
  // The stage's picture: the page in front over the panel, the panel below it.
  const TMemoryCanvas* picture = ui->LastPaint("stage");
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->Pixel(10, 10), ColorToRGB(clRed));
  EXPECT_EQ(picture->Pixel(10, 190), ColorToRGB(clYellow));
  // Hosted windows never take activation from their host.
  EXPECT_EQ(Transcript().find("window activate page"), std::string::npos);
  EXPECT_THROW(second->ShowModal(), Exception);
}

TEST_F(StdControlsTest, ModelChangesOnAShownWindowReachItsNativeControls) {
  TForm* form = Dialog({});
  form->Show();
  auto* list = Find<TListBox>(form, "FolderListBox");
  auto* group = Find<TGroupBox>(form, "gbDirectory");
  auto* edit = Find<TEdit>(form, "edDestDir");
  int changes = 0;
  edit->OnChange.Set([&](TComponent*) { ++changes; });
  edit->SetText("E:\\Apps");  // the program's change fires OnChange too
  list->SetItemIndex(2);      // a list's index set in code fires nothing
  group->SetVisible(false);
  Find<TProgressBar>(form, "ProgressBar1")->SetPosition(250);  // kept at Max
  // A control moved onto another parent gets a new native control there.
  edit->SetParent(form);
  TComponent::Free(Find<TButton>(form, "BrowseBtn"));
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(Has("control Dialog.edDestDir text \"E:\\\\Apps\""));
  EXPECT_TRUE(Has("control Dialog.FolderListBox selected 2"));
  EXPECT_TRUE(Has("control Dialog.gbDirectory hide"));
  EXPECT_TRUE(Has("control Dialog.ProgressBar1 position 100"));
  EXPECT_EQ(ui->DescribeControl("Dialog.edDestDir"), "edit edDestDir \"E:\\\\Apps\" 8,20 217x21");
  EXPECT_EQ(ui->DescribeControl("Dialog.BrowseBtn"), "");
  // Labels on a form take its colour until they get their own.
  auto* label = Find<TLabel>(form, "Label1");
  form->SetColor(clAqua);
  EXPECT_EQ(label->Color(), clAqua);
  label->SetColor(clRed);
  form->SetColor(clWhite);
  EXPECT_EQ(label->Color(), clRed);
  EXPECT_FALSE(label->ParentColor());
}

TEST_F(StdControlsTest, ARichTextViewerLoadsRtfAsItsTextAndAMissingFileFails) {
  TForm* form = Dialog({});
  auto* viewer = new TRichEdit(form);
  viewer->SetName("Agreement");
  viewer->SetReadOnly(true);
  viewer->SetParent(form);
  form->Show();
  const std::string path = "C:\\Setup\\License.rtf";
  machine.Files().CreateDirectories("C:\\Setup");
  {
    auto file = machine.Files().Open(path, platform::FileAccess::Write, platform::kShareNone,
                                     platform::FileDisposition::CreateAlways);
    const std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}}\\f0 LICENSE\\par "
        "Caf\\'e9 terms\\par}";
    ASSERT_TRUE(file->Write(rtf.data(), rtf.size()));
  }
  viewer->LoadFromFile(path);
  EXPECT_EQ(viewer->Lines(), (TStrings{"LICENSE", "Caf\xc3\xa9 terms"}));
  EXPECT_EQ(viewer->RichText().substr(0, 5), "{\\rtf");
  EXPECT_TRUE(Has("control Dialog.Agreement text \"LICENSE\\r\\nCaf\xc3\xa9 terms\\r\\n\""));
  try {
    viewer->LoadFromFile("C:\\Setup\\Missing.rtf");
    ADD_FAILURE();
  } catch (const EFOpenError& e) {
    EXPECT_STREQ(e.what(), "Cannot open file \"C:\\Setup\\Missing.rtf\"");
  }
  EXPECT_EQ(viewer->Lines().size(), 2u);
}

TEST_F(StdControlsTest, ATabStripCanRefuseTheUsersChange) {
  TForm* form = Dialog({"select Tabs 1", "select Tabs Second", "click ProceedBtn"});
  auto* tabs = new TTabControl(form);
  tabs->SetName("Tabs");
  tabs->SetTabs({"First", "Second"});
  tabs->SetParent(form);
  int changes = 0;
  bool allow = false;
  tabs->OnChanging.Set([&](TComponent*, bool& allow_change) {
    allow_change = allow;
    allow = true;
  });
  tabs->OnChange.Set([&](TComponent*) { ++changes; });
  EXPECT_EQ(tabs->TabIndex(), 0);
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_EQ(tabs->TabIndex(), 1);
  EXPECT_EQ(changes, 1);
  // The refused change put the strip back on the first tab before the second try.
  const std::string text = Transcript();
  EXPECT_LT(text.find("control Dialog.Tabs selected 1"),
            text.find("control Dialog.Tabs selected 0"));
}

}  // namespace
}  // namespace tmby::ui
