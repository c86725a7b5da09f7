#include "ui/forms.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/script/script_ui.h"
#include "ui/backdrop.h"

namespace tmby::ui {
namespace {

using platform::script::ScriptUi;

class FormsTest : public ::testing::Test {
 protected:
  explicit FormsTest(std::vector<std::string> script = {}) : ui(&transcript, script) {}
  std::string Transcript() const { return transcript.str(); }

  std::ostringstream transcript;
  ScriptUi ui;
  platform::ScopedUi scoped{&ui};
  TApplication app;
};

TEST_F(FormsTest, ClientSizeFollowsTheBorderStyle) {
  TOwned<TForm> form(new TForm(&app));
  form->SetClientWidth(691);
  form->SetClientHeight(515);
  EXPECT_EQ(form->Width(), 691 + 8);
  EXPECT_EQ(form->Height(), 515 + 8 + ui.CaptionHeight());
  form->SetLoading(true);
  form->SetBorderStyle(bsNone);
  form->SetLoading(false);
  EXPECT_EQ(form->Width(), 691);
  EXPECT_EQ(form->ClientHeight(), 515);
}

TEST_F(FormsTest, ShowingTheMainFormActivatesItAndClosingItEndsTheApplication) {
  auto* form = new TForm(&app);
  form->SetName("mainForm");
  form->SetBorderStyle(bsNone);
  form->SetBounds(-5, -5, 691, 515);
  form->SetColor(clBlack);
  std::vector<std::string> seen;
  form->OnCreate.Set([&](TComponent*) { seen.push_back("create"); });
  form->OnShow.Set([&](TComponent*) { seen.push_back("show"); });
  form->OnActivate.Set([&](TComponent* sender) {
    EXPECT_EQ(sender, form);
    seen.push_back("activate");
    static_cast<TForm*>(sender)->Close();
  });
  form->OnClose.Set([&](TComponent*, TCloseAction& action) {
    seen.push_back("close");
    EXPECT_EQ(action, caHide);
  });
  form->AfterConstruction();
  app.SetMainForm(form);
  EXPECT_EQ(app.Run(), 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"create", "show", "activate", "close"}));
  EXPECT_NE(Transcript().find("window create mainForm TForm \"\" -5,-5 691x515 borderless\n"
                              "window show mainForm\n"
                              "window activate mainForm\n"
                              "quit 0\n"),
            std::string::npos);
  // The whole client area was painted black.
  ASSERT_NE(ui.LastPaint("mainForm"), nullptr);
  EXPECT_EQ(ui.LastPaint("mainForm")->Pixel(100, 100), 0u);
}

TEST_F(FormsTest, AnExceptionInAHandlerReachesTheApplicationNotTheAdapter) {
  auto* form = new TForm(&app);
  form->SetName("f");
  form->OnActivate.Set([](TComponent*) { throw IEInstall("activation failed"); });
  form->AfterConstruction();
  app.SetMainForm(form);
  app.SetTitle("Installation of Notes");
  EXPECT_EQ(app.Run(), 0);  // at the script's end the main form is closed
  EXPECT_NE(Transcript().find("messagebox Stop \"Installation of Notes\" buttons OK default OK\n"
                              "| activation failed.\n"),
            std::string::npos);
  // The engine can take the exceptions over; EAbort stays silent.
  std::string taken;
  app.OnException = [&](const std::exception& e) { taken = e.what(); };
  app.HandleException(EAbort());
  EXPECT_EQ(taken, "");
  app.HandleException(IEInstall("x"));
  EXPECT_EQ(taken, "x");
}

TEST_F(FormsTest, ShowModalRunsTheLoopUntilAResultIsSet) {
  auto* main = new TForm(&app);
  main->SetName("main");
  main->AfterConstruction();
  app.SetMainForm(main);
  main->Show();
  auto* dialog = new TForm(&app);
  dialog->SetName("dialog");
  dialog->AfterConstruction();
  int queries = 0;
  dialog->OnCloseQuery.Set([&](TComponent*, bool& can_close) { can_close = ++queries > 1; });
  // The script closes the dialog twice: the first close is refused by OnCloseQuery.
  ui.StartTimer(10, [&] { dialog->Close(); });
  ui.StartTimer(20, [&] { dialog->SetModalResult(mrOk); });
  EXPECT_EQ(dialog->ShowModal(), mrOk);
  EXPECT_EQ(queries, 2);
  EXPECT_FALSE(dialog->Visible());
  EXPECT_NE(
      Transcript().find("window hide dialog\nwindow deactivate dialog\nwindow activate main\n"),
      std::string::npos);
  EXPECT_THROW(main->ShowModal(), Exception);  // visible already
}

TEST_F(FormsTest, ABandAndALabelOnAFormPaintThroughTheAdapter) {
  auto* form = new TForm(&app);
  form->SetName("mainForm");
  form->SetBorderStyle(bsNone);
  form->SetBounds(0, 0, 300, 100);
  form->SetColor(clBlack);
  auto* band = new TBackdrop(form);
  band->SetParentComponent(form);
  band->SetAlign(alTop);
  band->SetHeight(35);
  band->SetStartColor(64);
  band->SetEndColor(16512);
  auto* label = new TLabel(form);
  label->SetParentComponent(band);
  label->SetAlign(alClient);
  label->SetTransparent(true);
  label->SetAlignment(taCenter);
  label->SetLayout(tlCenter);
  label->Font().SetColor(clWhite);
  label->SetCaption("Notes");
  form->AfterConstruction();
  form->Show();
  form->Maximize();
  const TMemoryCanvas* shot = ui.LastPaint("mainForm");
  ASSERT_NE(shot, nullptr);
  EXPECT_EQ(shot->Width(), 1024);
  EXPECT_EQ(band->Width(), 1024);
  EXPECT_EQ(shot->Pixel(500, 0), MakeRGB(65, 1, 0));
  EXPECT_EQ(shot->Pixel(500, 34), MakeRGB(127, 63, 0));
  EXPECT_EQ(shot->Pixel(500, 35), 0u);
  ASSERT_EQ(shot->Texts().size(), 1u);
  EXPECT_EQ(shot->Texts()[0].Text, "Notes");
  EXPECT_EQ(shot->Texts()[0].Rgb, 0xFFFFFFu);
  const TRect r = shot->Texts()[0].Rect;
  EXPECT_NEAR(r.Left + r.Right, 1024, 1);  // centred across the band
}

}  // namespace
}  // namespace tmby::ui
