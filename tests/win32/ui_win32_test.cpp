// The window model on real windows: a form with the title band, painted by GDI.
#include "platform/win32/ui_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/backdrop.h"
#include "ui/forms.h"

namespace tmby::platform::win32 {
namespace {

using ui::MakeRGB;

class Win32UiTest : public ::testing::Test {
 protected:
  void SetUp() override { ui::CurrentBackdrop().Reset(); }

  // A borderless 200 x 100 form at the screen's top-left corner holding the sample band.
  ui::TForm* MakeForm() {
    auto* form = new ui::TForm(&app);
    form->SetName("bandForm");
    form->SetBorderStyle(ui::bsNone);
    form->SetBounds(0, 0, 200, 100);
    form->SetColor(ui::clBlack);
    auto* band = new ui::TBackdrop(form);
    band->SetParentComponent(form);
    band->SetAlign(ui::alTop);
    band->SetHeight(35);
    band->SetStartColor(64);
    band->SetEndColor(16512);
    form->AfterConstruction();
    return form;
  }

  // A frameless top-level window of `width` x `height` at the screen's top-left corner, shown,
  // its events answered by `events`.
  std::unique_ptr<IUiWindow> ShowBareWindow(IUiWindowEvents& events, int width, int height) {
    FormWindowParams params;
    params.caption = "Bare";
    params.bordered = false;
    params.bounds = {0, 0, width, height};
    auto window = win_ui.CreateFormWindow(params, &events);
    window->Show(show::kShow);
    return window;
  }

  // Runs the message loop, a few rounds every 10 ms, until `done` holds (at most half a second);
  // the messages of the exceptions that left the loop meanwhile.
  std::vector<std::string> PumpUntil(const std::function<bool()>& done) {
    std::vector<std::string> caught;
    for (int i = 0; i < 50 && !done(); ++i) {
      for (int round = 0; round < 4; ++round) {
        try {
          win_ui.ProcessMessages();
        } catch (const std::runtime_error& error) {
          caught.push_back(error.what());
        }
      }
      Sleep(10);
    }
    return caught;
  }

  static bool Has(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
  }

  Win32Ui win_ui;
  ScopedUi scoped{&win_ui};
  ui::TApplication app;
};

TEST_F(Win32UiTest, TheGdiCanvasPaintsTheBandPixelExactly) {
  ui::TForm* form = MakeForm();
  // Paint into a 32-bit DIB section and read its bits back.
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = 200;
  info.bmiHeader.biHeight = -100;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP dib = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(dib, nullptr);
  HGDIOBJ old = SelectObject(dc, dib);
  {
    GdiCanvas canvas(dc, 200, 100);
    form->PaintWindow(canvas);
  }
  GdiFlush();
  auto pixel = [&](int x, int y) {
    const uint32_t px = static_cast<const uint32_t*>(bits)[y * 200 + x] & 0xFFFFFF;
    return ui::RGBFromPixel(px);
  };
  EXPECT_EQ(pixel(10, 0), MakeRGB(65, 1, 0));
  EXPECT_EQ(pixel(10, 17), MakeRGB(96, 32, 0));
  EXPECT_EQ(pixel(199, 34), MakeRGB(127, 63, 0));
  EXPECT_EQ(pixel(10, 35), 0u);
  SelectObject(dc, old);
  DeleteObject(dib);
  DeleteDC(dc);
}

TEST_F(Win32UiTest, AShownFormPaintsItsWindowAndIsActivated) {
  ui::TForm* form = MakeForm();
  int activations = 0;
  form->OnActivate.Set([&](TComponent*) { ++activations; });
  form->Show();
  app.ProcessMessages();
  form->Repaint();
  app.ProcessMessages();
  HWND hwnd = Win32Ui::HandleOf(form->Window());
  ASSERT_NE(hwnd, nullptr);
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_GE(activations, 1);
  EXPECT_EQ(form->ClientWidth(), 200);
  HDC dc = GetDC(hwnd);
  EXPECT_EQ(GetPixel(dc, 10, 0), MakeRGB(65, 1, 0));
  EXPECT_EQ(GetPixel(dc, 100, 34), MakeRGB(127, 63, 0));
  EXPECT_EQ(GetPixel(dc, 100, 60), MakeRGB(0, 0, 0));
  ReleaseDC(hwnd, dc);

  // Maximizing a frameless form covers the work area; the band follows the new width.
  form->Maximize();
  app.ProcessMessages();
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  EXPECT_EQ(form->Width(), area.right - area.left);
  EXPECT_EQ(form->Controls(0)->Width(), form->ClientWidth());
}

TEST_F(Win32UiTest, AnActivationThatMaximizesAndRunsALoopOfItsOwnGetsTheWindowMaximized) {
  // The setup program's main window: its first activation maximizes it and then runs the whole
  // install, pages and all, with message loops of its own, inside the ShowWindow that activated it.
  ui::TForm* form = MakeForm();
  int messages = -1;
  int widthInLoop = 0;
  form->OnActivate.Set([&](TComponent*) {
    if (messages >= 0) return;
    form->Maximize();
    // A bounded loop: a request that keeps coming back would never let it empty.
    messages = 0;
    MSG msg;
    while (messages < 100 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ++messages;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    widthInLoop = form->Width();
  });
  form->Show();
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  EXPECT_LT(messages, 100);
  EXPECT_EQ(widthInLoop, area.right - area.left);
  app.ProcessMessages();
  EXPECT_EQ(form->Width(), area.right - area.left);
}

TEST_F(Win32UiTest, TimersRunFromTheLoopAndTerminateEndsIt) {
  ui::TForm* form = MakeForm();
  app.SetMainForm(form);
  int fired = 0;
  win_ui.StartTimer(10, [&] { ++fired; });
  win_ui.StartTimer(30, [&] {
    app.SetExitCode(5);
    app.Terminate();
  });
  EXPECT_EQ(app.Run(), 5);
  EXPECT_EQ(fired, 1);
  EXPECT_TRUE(win_ui.QuitPosted());
}

// Window events whose painting fails.
class FailingPaint : public IUiWindowEvents {
 public:
  void NativePaint(ui::TCanvas&) override {
    ++paints;
    throw std::runtime_error("the paint failed");
  }
  void NativeActivate(bool) override {}
  void NativeCloseRequest() override {}
  void NativeResized(const ui::TRect&, ui::TSize) override {}
  int paints = 0;
};

TEST_F(Win32UiTest, AnExceptionInAWindowProcedureReachesTheLoopOnceAndThePaintEnds) {
  FailingPaint events;
  auto window = ShowBareWindow(events, 120, 80);
  const std::vector<std::string> caught = PumpUntil([&] { return events.paints > 0; });
  EXPECT_EQ(caught, std::vector<std::string>{"the paint failed"});
  // The failed paint was ended: the window holds no region to paint, and no new WM_PAINT comes.
  const HWND hwnd = Win32Ui::HandleOf(window.get());
  EXPECT_FALSE(GetUpdateRect(hwnd, nullptr, FALSE));
  const int paints = events.paints;
  EXPECT_NO_THROW(win_ui.ProcessMessages());
  EXPECT_EQ(events.paints, paints);
}

// Window events that do nothing.
class QuietWindow : public IUiWindowEvents {
 public:
  void NativePaint(ui::TCanvas&) override {}
  void NativeActivate(bool) override {}
  void NativeCloseRequest() override {}
  void NativeResized(const ui::TRect&, ui::TSize) override {}
};

// A panel control whose painting fails.
class FailingPanel : public IUiControlEvents {
 public:
  void NativePaint(ui::TCanvas&) override {
    ++paints;
    throw std::runtime_error("the panel failed");
  }
  void NativeClick(bool) override {}
  void NativeTextChanged(const std::string&) override {}
  void NativeSelect(int) override {}
  void NativeFocused() override {}
  void NativeKeyUp(int) override {}
  int paints = 0;
};

TEST_F(Win32UiTest, AnExceptionInAPanelsPaintReachesTheLoopAndThePaintEnds) {
  QuietWindow form_events;
  FailingPanel panel_events;
  ControlParams panel;
  panel.name = "FailingPanel";
  panel.bounds = {10, 10, 110, 90};
  auto window = ShowBareWindow(form_events, 160, 120);
  auto control = window->CreateControl(panel, &panel_events);
  const std::vector<std::string> caught = PumpUntil([&] { return panel_events.paints > 0; });
  ASSERT_GT(panel_events.paints, 0);
  EXPECT_TRUE(Has(caught, "the panel failed"));
  // The failed paint was ended: the panel holds no region to paint, and no new WM_PAINT comes.
  const HWND hwnd = Win32Ui::HandleOf(control.get());
  EXPECT_FALSE(GetUpdateRect(hwnd, nullptr, FALSE));
  const int paints = panel_events.paints;
  EXPECT_NO_THROW(win_ui.ProcessMessages());
  EXPECT_EQ(panel_events.paints, paints);
}

TEST_F(Win32UiTest, AnExceptionInATimerGoesToTheApplicationsHandler) {
  ui::TForm* form = MakeForm();
  app.SetMainForm(form);
  std::vector<std::string> handled;
  app.OnException = [&](const std::exception& error) { handled.push_back(error.what()); };
  win_ui.StartTimer(10, [] { throw std::runtime_error("the timer failed"); });
  win_ui.StartTimer(60, [&] { app.Terminate(); });
  app.Run();
  EXPECT_EQ(handled, std::vector<std::string>{"the timer failed"});
}

TEST_F(Win32UiTest, DisplayFactsComeFromTheSystem) {
  EXPECT_EQ(win_ui.ScreenSize().cx, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_GT(win_ui.BitsPerPixel(), 0);
  EXPECT_EQ(win_ui.SystemColorRGB(COLOR_BTNFACE), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(ui::ColorToRGB(ui::clBtnFace), GetSysColor(COLOR_BTNFACE));
  EXPECT_GT(win_ui.CaptionHeight(), 0);
  const ui::TSize wide = win_ui.MeasureText("MMMMMMMM", {"Arial", -24, 0, 0, 1});
  const ui::TSize narrow = win_ui.MeasureText("ii", {"Arial", -24, 0, 0, 1});
  EXPECT_GT(wide.cx, narrow.cx);
  EXPECT_GE(wide.cy, 20);
  EXPECT_NE(win_ui.ModuleName().find(".exe"), std::string::npos);
}

}  // namespace
}  // namespace tmby::platform::win32
