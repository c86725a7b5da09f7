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

// Control events that do nothing.
class QuietPanel : public IUiControlEvents {
 public:
  void NativePaint(ui::TCanvas&) override {}
  void NativeClick(bool) override {}
  void NativeTextChanged(const std::string&) override {}
  void NativeSelect(int) override {}
  void NativeFocused() override {}
  void NativeKeyUp(int) override {}
};

// Window events that paint the client area white with a red top-left corner.
class CornerPaint : public QuietWindow {
 public:
  void NativePaint(ui::TCanvas& canvas) override {
    canvas.BrushColor = ui::clWhite;
    canvas.FillRect({0, 0, 400, 400});
    canvas.BrushColor = ui::clRed;
    canvas.FillRect({0, 0, 12, 12});
  }
};

// A window whose texts read from the right has its frame mirrored (the system draws the caption on
// the right); the model's layout, already mirrored, is what the screen shows: a control and the
// window's painting stand where they stand on a window that reads from the left, also after the
// window turned both ways.
TEST_F(Win32UiTest, AWindowThatReadsFromTheRightKeepsTheModelsLayoutInsideItsMirroredFrame) {
  CornerPaint left_events;
  CornerPaint right_events;
  FormWindowParams params;
  params.caption = "Reads";
  params.dialog_frame = true;
  params.system_menu = false;
  params.bounds = {40, 40, 240, 160};
  auto left = win_ui.CreateFormWindow(params, &left_events);
  params.right_to_left = true;
  params.bounds = {300, 40, 500, 160};
  auto right = win_ui.CreateFormWindow(params, &right_events);
  QuietPanel panel_events;
  ControlParams panel;
  panel.name = "Panel";
  panel.bounds = {30, 20, 70, 50};
  auto left_panel = left->CreateControl(panel, &panel_events);
  auto right_panel = right->CreateControl(panel, &panel_events);
  left->Show(show::kShow);
  right->Show(show::kShow);
  const HWND right_window = Win32Ui::HandleOf(right.get());
  EXPECT_EQ(GetWindowLongW(right_window, GWL_EXSTYLE) & WS_EX_LAYOUTRTL, WS_EX_LAYOUTRTL);
  EXPECT_EQ(GetWindowLongW(Win32Ui::HandleOf(right_panel.get()), GWL_EXSTYLE) & WS_EX_LAYOUTRTL, 0);
  // Where a control stands on its window, as seen on the screen.
  const auto seen = [](IUiWindow& window, IUiControl& control) {
    RECT outer{};
    RECT inner{};
    GetWindowRect(Win32Ui::HandleOf(&window), &outer);
    GetWindowRect(Win32Ui::HandleOf(&control), &inner);
    return ui::TRect{inner.left - outer.left, inner.top - outer.top, inner.right - outer.left,
                     inner.bottom - outer.top};
  };
  const ui::TRect expected = seen(*left, *left_panel);
  EXPECT_EQ(seen(*right, *right_panel), expected);
  right->SetRightToLeft(false);
  EXPECT_EQ(GetWindowLongW(right_window, GWL_EXSTYLE) & WS_EX_LAYOUTRTL, 0);
  EXPECT_EQ(seen(*right, *right_panel), expected);
  right->SetRightToLeft(true);
  right_panel->SetBounds(panel.bounds);
  EXPECT_EQ(seen(*right, *right_panel), expected);
  // The painting: red in the corner left of the panel's place, white right of it, on both.
  PumpUntil([] { return false; });
  HDC screen = GetDC(nullptr);
  for (IUiWindow* window : {left.get(), right.get()}) {
    RECT outer{};
    GetWindowRect(Win32Ui::HandleOf(window), &outer);
    const int x = outer.left + expected.Left - 30;
    const int y = outer.top + expected.Top - 20;
    EXPECT_EQ(GetPixel(screen, x + 2, y + 2), MakeRGB(255, 0, 0)) << (window == right.get());
    EXPECT_EQ(GetPixel(screen, x + 20, y + 2), MakeRGB(255, 255, 255)) << (window == right.get());
  }
  ReleaseDC(nullptr, screen);
}

// The message box among a thread's windows.
BOOL CALLBACK FindMessageBox(HWND hwnd, LPARAM found) {
  wchar_t name[16] = {};
  GetClassNameW(hwnd, name, 16);
  if (std::wstring(name) == L"#32770") *reinterpret_cast<HWND*>(found) = hwnd;
  return TRUE;
}

// A message box shown while the texts read from the right reads from the right and aligns right,
// whichever character set the adapter speaks.
TEST_F(Win32UiTest, MessageBoxesReadFromTheRightWhenTheTextsDo) {
  struct Seen {
    LONG box_ex_style = -1;
    LONG text_style = -1;
  };
  const auto show = [&](bool right_to_left) {
    SetRightToLeftSource([right_to_left] { return right_to_left; });
    auto seen = std::make_shared<Seen>();
    const DWORD thread = GetCurrentThreadId();
    for (int i = 1; i <= 40; ++i) {
      win_ui.StartTimer(50 * i, [seen, thread] {
        if (seen->box_ex_style != -1) return;
        HWND box = nullptr;
        EnumThreadWindows(thread, &FindMessageBox, reinterpret_cast<LPARAM>(&box));
        if (box == nullptr) return;
        seen->box_ex_style = GetWindowLongW(box, GWL_EXSTYLE);
        seen->text_style = GetWindowLongW(GetDlgItem(box, 0xFFFF), GWL_STYLE);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
      });
    }
    EXPECT_EQ(win_ui.MessageBox("Reads", "Box", mb::kOk), id::kOk);
    SetRightToLeftSource(nullptr);
    return *seen;
  };
  const Seen from_left = show(false);
  const Seen from_right = show(true);
  ASSERT_NE(from_left.box_ex_style, -1);
  ASSERT_NE(from_right.box_ex_style, -1);
  EXPECT_EQ(from_left.box_ex_style & WS_EX_LAYOUTRTL, 0);
  EXPECT_EQ(from_left.text_style & SS_TYPEMASK, SS_LEFT);
  EXPECT_EQ(from_right.box_ex_style & (WS_EX_LAYOUTRTL | WS_EX_RTLREADING),
            WS_EX_LAYOUTRTL | WS_EX_RTLREADING);
  EXPECT_EQ(from_right.text_style & SS_TYPEMASK, SS_RIGHT);
}

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

TEST_F(Win32UiTest, TheHourglassShowsOverTheWindowAndItsControlsWhileAskedFor) {
  QuietWindow form_events;
  QuietPanel panel_events;
  ControlParams panel;
  panel.name = "Panel";
  panel.bounds = {10, 10, 110, 90};
  auto window = ShowBareWindow(form_events, 160, 120);
  auto control = window->CreateControl(panel, &panel_events);
  const HWND form = Win32Ui::HandleOf(window.get());
  const HWND child = Win32Ui::HandleOf(control.get());
  const HCURSOR wait = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT));
  const HCURSOR arrow = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  // What the system asks a window when the mouse moves over it, and the cursor it then shows.
  const auto over = [](HWND hwnd) {
    SetCursor(nullptr);
    SendMessageA(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
  };
  EXPECT_EQ(over(form), arrow);
  EXPECT_FALSE(win_ui.SetWaitCursor(true));
  EXPECT_EQ(over(form), wait);
  EXPECT_EQ(over(child), wait);
  EXPECT_TRUE(win_ui.SetWaitCursor(false));
  EXPECT_EQ(over(form), arrow);
  EXPECT_EQ(over(child), arrow);
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
