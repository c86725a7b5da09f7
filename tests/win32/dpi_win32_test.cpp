// The dialogs on displays of 96, 120 and 144 pixels per inch, in real windows: the adapter lays
// each form out for the display (its design coordinates and fonts scaled), every text fits its
// control in the languages with the longest texts, and no two controls on one window overlap.
#include <windows.h>
#undef MessageBox
#undef DrawText
#undef TextOut

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "dialogs/dialog_manager.h"
#include "dialogs/std_dialogs.h"
#include "platform/win32/ui_win32.h"
#include "support/registered_dialogs.h"
#include "translate/translator.h"
#include "ui/forms.h"

namespace tmby {
namespace {

using platform::win32::Win32Ui;

TStrings LanguageLines(TTmbyLanguage language) {
  std::string root = __FILE__;
  root = root.substr(0, root.rfind("tests"));
  std::ifstream in(root + "lang/" + LanguageFileName(language), std::ios::binary);
  return SplitLanguageText(
      std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return name;
}

std::wstring TextOf(HWND hwnd) {
  const int n = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), n + 1)));
  return text;
}

std::string NameOf(HWND hwnd) {
  const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(hwnd, L"TmbyName")));
  char name[128] = {};
  if (atom != 0) GlobalGetAtomNameA(atom, name, sizeof name);
  return name;
}

// The size `text` takes in the control's own font: on one line, or broken at `width`.
SIZE TextSize(HWND hwnd, const std::wstring& text, bool wrap, int width, bool prefix) {
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
  RECT r{0, 0, width, 0};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
            DT_CALCRECT | DT_EXPANDTABS | (wrap ? DT_WORDBREAK : DT_SINGLELINE) |
                (prefix ? 0 : DT_NOPREFIX));
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  return {r.right - r.left, r.bottom - r.top};
}

// What is wrong with the windows below `parent`: texts that do not fit, controls that overlap.
void CheckWindows(HWND parent, int dpi, const std::string& where, std::vector<std::string>& out) {
  const auto px = [dpi](int design) { return MulDiv(design, dpi, 96); };
  std::vector<std::pair<HWND, RECT>> shown;
  for (HWND c = GetWindow(parent, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    // The window is checked hidden (made, not shown: a top-level window shown on the display
    // costs the display's time): a control counts as shown when it would be.
    if ((GetWindowLongW(c, GWL_STYLE) & WS_VISIBLE) == 0) continue;
    RECT r{};
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    RECT client{};
    GetClientRect(c, &client);
    const std::string name = where + "." + NameOf(c);
    const std::wstring cls = ClassOf(c);
    const std::wstring text = TextOf(c);
    const LONG style = GetWindowLongW(c, GWL_STYLE);
    if (!text.empty() && (lstrcmpiW(cls.c_str(), L"Static") == 0)) {
      const bool wrap = (style & SS_TYPEMASK) == SS_LEFT;
      const SIZE need = TextSize(c, text, wrap, client.right, (style & SS_NOPREFIX) == 0);
      if ((!wrap && need.cx > client.right) || need.cy > client.bottom) {
        out.push_back(name + ": the text needs " + std::to_string(need.cx) + "x" +
                      std::to_string(need.cy) + ", the label has " + std::to_string(client.right) +
                      "x" + std::to_string(client.bottom));
      }
    } else if (!text.empty() && lstrcmpiW(cls.c_str(), L"Button") == 0) {
      const LONG type = style & BS_TYPEMASK;
      // The room a button's own drawing takes beside its text: the frame of a push button, the
      // box of a check box or radio item, the line before and after a group's caption.
      const int beside = type == BS_GROUPBOX                                 ? px(16)
                         : type == BS_RADIOBUTTON || type == BS_AUTOCHECKBOX ? px(20)
                                                                             : px(6);
      const SIZE need = TextSize(c, text, false, 0, true);
      if (need.cx + beside > client.right || need.cy > client.bottom) {
        out.push_back(name + ": the caption needs " + std::to_string(need.cx + beside) + "x" +
                      std::to_string(need.cy) + ", the button has " + std::to_string(client.right) +
                      "x" + std::to_string(client.bottom));
      }
    }
    for (const auto& [other, o] : shown) {
      RECT both{};
      if (IntersectRect(&both, &r, &o) != FALSE) {
        out.push_back(name + " overlaps " + where + "." + NameOf(other));
      }
    }
    shown.emplace_back(c, r);
    CheckWindows(c, dpi, name, out);
  }
}

class DpiWin32Test : public ::testing::TestWithParam<int> {};

TEST_P(DpiWin32Test, EveryPageFitsItsTextsInTheLongestLanguages) {
  const int dpi = GetParam();
  Win32Ui win_ui(platform::win32::ChooseApiCharset(), dpi);
  platform::ScopedUi scoped(&win_ui);
  ui::TApplication app;
  TTranslator translator(nullptr);
  const std::vector<TTmbyLanguage> languages = {tlEnglish, tlGerman, tlFrench,
                                                tlRussian, tlGreek,  tlPortugese};
  for (const TTmbyLanguage language : languages) {
    translator.GetLanguage(language)->SetStrings(LanguageLines(language));
  }
  DialogRegistry().Reset();
  RegisterStandardDialogs();
  RegisterChangeDiskDialog();
  const std::vector<const TClassInfo*> classes = fixtures::RegisteredDialogClasses();
  std::vector<std::string> problems;
  for (const TTmbyLanguage language : languages) {
    translator.SetTranslateIntoLanguage(language);
    for (const TClassInfo* cls : classes) {
      auto* form = dynamic_cast<TBaseTamberlyForm*>(cls->Create(&app));
      ASSERT_NE(form, nullptr);
      form->AfterConstruction();
      form->ApplyLanguage();
      form->HandleNeeded();
      form->Realign();
      HWND window = Win32Ui::HandleOf(form->Window());
      // Laid out for the display: the client area and the first button as designed, scaled.
      RECT client{};
      GetClientRect(window, &client);
      EXPECT_NEAR(client.right, MulDiv(form->ClientWidth(), dpi, 96), 1) << cls->Name();
      CheckWindows(window, dpi, EnumName(language) + " " + form->Name(), problems);
      TComponent::Free(form);
    }
  }
  DialogRegistry().Reset();
  std::string lines;
  for (const std::string& p : problems) lines += "\n  " + p;
  EXPECT_TRUE(problems.empty()) << "at " << dpi << " DPI:" << lines;
}

INSTANTIATE_TEST_SUITE_P(Displays, DpiWin32Test, ::testing::Values(96, 120, 144));

// The fonts too: a button's font is its design height scaled, so that its text is as sharp as the
// display allows (not a small font stretched).
TEST(DpiWin32, FontsAreDrawnAtTheDisplaysSize) {
  for (const int dpi : {96, 144}) {
    Win32Ui win_ui(platform::win32::ChooseApiCharset(), dpi);
    platform::ScopedUi scoped(&win_ui);
    ui::TApplication app;
    auto* form = new ui::TForm(&app);
    form->SetName("DpiForm");
    form->SetBorderStyle(ui::bsNone);
    form->SetBounds(30, 40, 201, 101);
    auto* button = new ui::TButton(form);
    button->SetName("OkBtn");
    button->SetParent(form);
    button->SetBounds(10, 20, 75, 25);
    button->SetCaption("OK");
    button->Font().SetName("Arial");
    button->Font().SetHeight(-11);
    form->AfterConstruction();
    form->HandleNeeded();  // made, not shown: a shown window costs the display's time
    HWND hwnd = Win32Ui::HandleOf(button->Handle());
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(font.lfHeight, MulDiv(-11, dpi, 96));
    RECT r{};
    GetWindowRect(hwnd, &r);
    EXPECT_EQ(r.right - r.left, MulDiv(75, dpi, 96));
    EXPECT_EQ(r.bottom - r.top, MulDiv(25, dpi, 96));
    GetWindowRect(Win32Ui::HandleOf(form->Window()), &r);
    EXPECT_EQ(r.left, MulDiv(30, dpi, 96));
    EXPECT_EQ(r.right - r.left, MulDiv(201, dpi, 96));
    // The model keeps its design coordinates, also after the system reported the window back.
    win_ui.ProcessMessages();
    EXPECT_EQ(form->BoundsRect(), (ui::TRect{30, 40, 231, 141}));
    EXPECT_EQ(form->ClientWidth(), 201);
    EXPECT_EQ(button->Width(), 75);
    TComponent::Free(form);
  }
}

// The programs that ship say in their manifest that they lay their windows out for the display
// themselves (so Windows does not stretch them as a picture at 125 % or 150 %) and which Windows
// versions they know (so Windows 8.1 to 11 report themselves as they are).
TEST(DpiWin32, TheShippingProgramsDeclareDpiAwarenessAndTheirWindowsVersions) {
  wchar_t self[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring dir = self;
  dir = dir.substr(0, dir.rfind(L'\\') + 1) + L"..\\apps\\";
  for (const wchar_t* program :
       {L"setup\\setup.exe", L"uninstall\\uninstall.exe", L"loader\\TamberlyLoadProgram.exe"}) {
    const std::wstring path = dir + program;
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << platform::win32::Narrow(path);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_NE(found, nullptr) << platform::win32::Narrow(path);
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    const std::string manifest(bytes, SizeofResource(module, found));
    FreeLibrary(module);
    for (const char* part : {">true</dpiAware>", ">system</dpiAwareness>",
                             "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
                             "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
                             "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
                             "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
                             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
                             "requireAdministrator"}) {
      EXPECT_NE(manifest.find(part), std::string::npos)
          << platform::win32::Narrow(path) << " lacks " << part;
    }
  }
}

}  // namespace
}  // namespace tmby
