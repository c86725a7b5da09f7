#include "ui/main_form.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "base/definition_reader.h"
#include "base/definition_writer.h"
#include "platform/memory/memory_port.h"
#include "platform/script/script_ui.h"
#include "support/scratch_dir.h"
#include "ui/backdrop.h"
#include "ui/bmp.h"
#include "ui/fatal_error.h"
#include "ui/ui_classes.h"

namespace tmby::ui {
namespace {

using platform::script::ScriptUi;

// A file component stand-in with the published Include flag the real ones have.
class TIncludable : public TComponent {
  TMBY_CLASS(TIncludable, TComponent)
 public:
  explicit TIncludable(TComponent* owner) : TComponent(owner) {}
  bool Include = false;
};

const TClassInfo& TIncludable::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TIncludable, TComponent>("TIncludable", [](TClassBuilder<TIncludable>& c) {
        c.Boolean("Include", &TIncludable::Include, &TIncludable::Include, false);
      });
  return info;
}

std::string SampleDefinition() {
  std::string root = __FILE__;
  root = root.substr(0, root.rfind("tests"));
  std::ifstream in(root + "samples/notes/mainform.tmby", std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class MainFormTest : public ::testing::Test {
 protected:
  MainFormTest() : machine(scratch.path()) {}
  void SetUp() override {
    previous_port = platform::SetPort(&machine);
    RegisterUiClasses(classes);
    classes.Register(TIncludable::StaticClass());
    RegisterMainFormHandlers(handlers);
    options.Classes = &classes;
    options.Handlers = &handlers;
    CurrentBackdrop().Reset();
    SetDialogColor(clBtnFace);
    SetIncludeComponentHook(nullptr);
  }
  void TearDown() override {
    platform::SetPort(previous_port);
    CurrentBackdrop().Reset();
  }

  // Builds the main form from `text` under a script UI, as the program entry does.
  TmainForm* Build(const std::string& text, ScriptUi& ui) {
    (void)ui;
    auto* form = new TmainForm(&app);
    ReadDefinitionInto(*form, text, "mainform.tmby", options);
    app.SetMainForm(form);
    form->AfterConstruction();
    return form;
  }

  std::string Transcript() const { return transcript.str(); }

  testing::ScratchDir scratch{"ui_main_form"};
  platform::memory::MemoryPlatform machine;
  platform::IPlatform* previous_port = nullptr;
  TClassRegistry classes;
  TEventHandlers handlers;
  TDefinitionOptions options;
  std::ostringstream transcript;
  TApplication app;
};

TEST_F(MainFormTest, TheSampleMainWindowReadsAndShowsItsBandAndPicture) {
  const std::string text = SampleDefinition();
  ASSERT_FALSE(text.empty());
  machine.SetLibrary("RICHED20.DLL", true);
  ScriptUi ui(&transcript, {});
  platform::ScopedUi scoped(&ui);
  TmainForm* form = Build(text, ui);
  EXPECT_EQ(form->BorderStyle(), bsNone);
  EXPECT_EQ(form->BoundsRect(), Bounds(-5, -5, 691, 515));
  auto* band = dynamic_cast<TBackdrop*>(form->FindComponent("Backdrop1"));
  auto* label = dynamic_cast<TLabel*>(form->FindComponent("Label1"));
  auto* image = dynamic_cast<TImage*>(form->FindComponent("Image321"));
  ASSERT_TRUE(band && label && image);
  EXPECT_EQ(label->Parent(), band);
  EXPECT_EQ(band->BoundsRect(), Bounds(0, 0, 691, 35));
  EXPECT_EQ(image->BoundsRect(), Bounds(0, 35, 691, 480));
  EXPECT_EQ(image->Picture().Width(), 320);
  EXPECT_EQ(label->Font().Name(), "Arial");
  EXPECT_EQ(form->Font().Name(), "MS Sans Serif");
  // FormCreate ran: the dialog colour of a 32-bit screen.
  EXPECT_EQ(DialogColor(), Blend(clWindow, clBtnFace, 45, 32));

  form->Show();
  form->Maximize();  // as the engine does at the first activation
  const ui::TMemoryCanvas* shot = ui.LastPaint("mainForm");
  ASSERT_NE(shot, nullptr);
  EXPECT_EQ(shot->Width(), 1024);  // maximized
  EXPECT_EQ(shot->Pixel(10, 0), MakeRGB(65, 1, 0));
  EXPECT_EQ(shot->Pixel(10, 34), MakeRGB(127, 63, 0));
  EXPECT_NE(shot->Pixel(512, 400), 0u);  // the splash picture fills the rest
  EXPECT_EQ(Transcript().find("messagebox"), std::string::npos);
}

TEST_F(MainFormTest, AMissingPrerequisiteWarnsAndEndsTheProgramWithAFailureCode) {
  const std::string text = SampleDefinition();
  std::string missing = text;
  missing.replace(missing.find("'RICHED20.DLL'"), 14, "'CALWIN32.DLL'");
  ScriptUi ui(&transcript, {});
  platform::ScopedUi scoped(&ui);
  TmainForm* form = Build(missing, ui);
  app.SetTitle("Installation of Lakeside Notes");
  EXPECT_EQ(app.Run(), kPrerequisiteMissingExitCode);
  const std::string expected =
      "messagebox Warning \"Installation of Lakeside Notes\" buttons OK default OK\n"
      "| " +
      form->PrerequisiteMessage().substr(0, form->PrerequisiteMessage().find('\r')) +
      "\n"
      "| \n"
      "| Please install the latest Windows updates and run this setup again.\n"
      "answer OK (default)\n"
      "quit 1\n";
  EXPECT_NE(Transcript().find(expected), std::string::npos) << Transcript();
  EXPECT_EQ(Transcript().find("window maximize"), std::string::npos);
}

TEST_F(MainFormTest, FormCreateIncludesTheRedistributableOnlyWhenItsLibraryIsMissing) {
  ScriptUi ui(&transcript, {});
  platform::ScopedUi scoped(&ui);
  const std::string text =
      "object mainForm: TmainForm\n"
      "  OnCreate = FormCreate\n"
      "  RedistLibrary = 'SHFOLDER.DLL'\n"
      "  RedistComponent = IFShFolder_Exe\n"
      "  object IFShFolder_Exe: TIncludable\n"
      "  end\n"
      "end\n";
  machine.SetLibrary("SHFOLDER.DLL", false);
  TmainForm* form = Build(text, ui);
  auto* file = dynamic_cast<TIncludable*>(form->FindComponent("IFShFolder_Exe"));
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(file->Include) << Transcript();

  machine.SetLibrary("SHFOLDER.DLL", true);
  TOwned<TmainForm> second(new TmainForm(nullptr));
  ReadDefinitionInto(*second, text, "mainform.tmby", options);
  second->AfterConstruction();
  EXPECT_FALSE(dynamic_cast<TIncludable*>(second->FindComponent("IFShFolder_Exe"))->Include);

  // The engine may include components its own way.
  machine.SetLibrary("SHFOLDER.DLL", false);
  std::string included;
  SetIncludeComponentHook([&](TComponent& c) { included = c.Name(); });
  TOwned<TmainForm> third(new TmainForm(nullptr));
  ReadDefinitionInto(*third, text, "mainform.tmby", options);
  third->AfterConstruction();
  EXPECT_EQ(included, "IFShFolder_Exe");
  SetIncludeComponentHook(nullptr);
}

TEST_F(MainFormTest, DialogColourIsButtonFaceOnA256ColourScreen) {
  EXPECT_EQ(ComputeDialogColor(8), clBtnFace);
  EXPECT_EQ(ComputeDialogColor(4), clBtnFace);
  EXPECT_EQ(ComputeDialogColor(16), Blend(clWindow, clBtnFace, 45, 16));
  platform::script::ScriptUiOptions low;
  low.bits_per_pixel = 8;
  ScriptUi ui(&transcript, {}, low);
  platform::ScopedUi scoped(&ui);
  FormCreate(nullptr);
  EXPECT_EQ(DialogColor(), clBtnFace);
}

TEST_F(MainFormTest, TheFatalErrorBoxNamesClassModuleAddressAndMessage) {
  EXPECT_EQ(FatalErrorText(IEInstall("Application.MainForm is undefined"), "setup.exe", 0x40A1B2),
            "Exception IEInstall in module setup.exe at 0040A1B2.\n"
            "Application.MainForm is undefined.");
  EXPECT_EQ(FatalErrorText(std::runtime_error("ends with a period."), "x.exe", 0),
            "Exception Exception in module x.exe at 00000000.\nends with a period.");
  ScriptUi ui(&transcript, {});
  platform::ScopedUi scoped(&ui);
  EXPECT_EQ(ShowFatalError(IEInstall("two TInstall components"), 0x401000), kFatalErrorExitCode);
  EXPECT_EQ(Transcript(),
            "messagebox Stop \"Application Error\" buttons OK default OK\n"
            "| Exception IEInstall in module setup.exe at 00401000.\n"
            "| two TInstall components.\n"
            "answer OK (default)\n");
}

TEST_F(MainFormTest, EveryPublishedBandPropertyReadsAndWritesBack) {
  const std::string text =
      "object mainForm: TmainForm\n"
      "  object Band: TBackdrop\n"
      "    Tag = -1\n"
      "    Left = 3\n"
      "    Top = 4\n"
      "    Width = 50\n"
      "    Height = 35\n"
      "    Align = alNone\n"
      "    Enabled = False\n"
      "    Visible = False\n"
      "    Anchors = [akLeft, akTop, akRight]\n"
      "    Cursor = crHandPoint\n"
      "    DragCursor = crNoDrop\n"
      "    DragMode = dmAutomatic\n"
      "    HelpContext = 7\n"
      "    Hint = 'the band'\n"
      "    ParentShowHint = False\n"
      "    ShowHint = True\n"
      "    BorderWidth = 2\n"
      "    TabOrder = 1\n"
      "    TabStop = True\n"
      "    BorderStyle = bsSingle\n"
      "    Locked = True\n"
      "    Direction = bdVertOut\n"
      "    EndColor = clWhite\n"
      "    StartColor = clNavy\n"
      "  end\n"
      "end\n";
  TmainForm form(nullptr);
  form.SetName("mainForm");
  ReadDefinitionInto(form, text, "band.tmby", options);
  auto* band = dynamic_cast<TBackdrop*>(form.FindComponent("Band"));
  ASSERT_NE(band, nullptr);
  EXPECT_EQ(CurrentBackdrop().Current(), band);
  EXPECT_EQ(band->Direction(), bdVertOut);
  EXPECT_EQ(band->StartColor(), clNavy);
  EXPECT_EQ(band->Cursor(), -21);
  EXPECT_TRUE(band->Locked());
  EXPECT_EQ(band->BorderStyle(), TBorderStyle::bsSingle);
  // What the writer gives reads back into the same text.
  const std::string written = WriteDefinition(form);
  TmainForm again(nullptr);
  again.SetName("mainForm");
  CurrentBackdrop().Reset();
  ReadDefinitionInto(again, written, "written.tmby", options);
  EXPECT_EQ(WriteDefinition(again), written);
  EXPECT_NE(written.find("StartColor = clNavy"), std::string::npos) << written;
  EXPECT_NE(written.find("Tag = -1"), std::string::npos);
}

TEST_F(MainFormTest, ABadPictureInTheDefinitionIsRefusedWithItsPlace) {
  ScriptUi ui(&transcript, {});
  platform::ScopedUi scoped(&ui);
  const std::string text =
      "object mainForm: TmainForm\n"
      "  object Image321: TImage\n"
      "    Picture = {424D0000}\n"
      "  end\n"
      "end\n";
  TmainForm form(nullptr);
  try {
    ReadDefinitionInto(form, text, "bad.tmby", options);
    ADD_FAILURE() << "accepted";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
  }
  EXPECT_EQ(form.FindComponent("Image321"), nullptr);
}

}  // namespace
}  // namespace tmby::ui
