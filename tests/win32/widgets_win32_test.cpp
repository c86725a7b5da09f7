// The standard controls on real windows: they are the system's own controls with the model's
// values, and a separate program (the UI driver) presses them with real messages while the form
// runs its modal loop here.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>
// The kit's headers name a MessageBox of their own.
#undef MessageBox
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "dialogs/dialog_manager.h"
#include "dialogs/std_dialogs.h"
#include "platform/win32/ui_win32.h"
#include "support/install_tree_fixtures.h"
#include "ui/forms.h"
#include "ui/std_controls.h"

namespace tmby::platform::win32 {
namespace {

using namespace tmby::ui;

std::wstring ClassOf(HWND hwnd) {
  wchar_t buffer[128] = {};
  GetClassNameW(hwnd, buffer, 128);
  return buffer;
}

std::wstring TextOf(HWND hwnd) {
  wchar_t buffer[2048] = {};
  GetWindowTextW(hwnd, buffer, 2048);
  return buffer;
}

// What the ANSI code page keeps of a text.
std::wstring ThroughCodePage(const std::wstring& text) {
  char ansi[256] = {};
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, ansi, sizeof ansi, nullptr, nullptr);
  wchar_t back[256] = {};
  MultiByteToWideChar(CP_ACP, 0, ansi, -1, back, 256);
  return back;
}

// Presses Cancel of a window (a folder browser left open by a driver that failed).
BOOL CALLBACK CancelWindow(HWND hwnd, LPARAM) {
  PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
  return TRUE;
}

BOOL CALLBACK CollectWindow(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
  return TRUE;
}

// Every window below `parent`, at any depth.
std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> found;
  EnumChildWindows(parent, &CollectWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::wstring Here(const wchar_t* file) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir = path;
  return dir.substr(0, dir.find_last_of(L"\\/") + 1) + file;
}

// A file of this run alone: the Windows tests of two lanes (two prefixes) run side by side from
// the same folder, and a driver script or output shared between them is read by the wrong run.
std::wstring Scratch(const wchar_t* file) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + std::to_wstring(GetCurrentProcessId()) + L"-" + file;
}

class WidgetsWin32Test : public ::testing::Test {
 protected:
  template <class T>
  T* Make(TWinControl* parent, const char* name, int left, int top, int width, int height) {
    auto* c = new T(parent->ParentForm() != nullptr ? static_cast<TComponent*>(parent->ParentForm())
                                                    : parent);
    c->SetName(name);
    c->SetBounds(left, top, width, height);
    c->SetParent(parent);
    return c;
  }
  HWND H(TControl* c) { return Win32Ui::HandleOf(c->Handle()); }

  // A dialog with one of each control the dialogs use.
  TForm* Dialog() {
    auto* form = new TForm(&app);
    form->SetName("WidgetDialog");
    form->SetCaption("Widgets");
    form->SetBorderStyle(bsDialog);
    form->SetBounds(40, 40, 420, 300);
    label = Make<TLabel>(form, "Label1", 8, 8, 300, 16);
    label->SetCaption(
        "Gr\xc3\xb6\xc3\x9f"
        "e \xe6\x97\xa5\xe6\x9c\xac");
    label->Font().SetName("Tahoma");
    label->Font().SetCharset(128);  // SHIFTJIS_CHARSET
    group = Make<TGroupBox>(form, "gbDirectory", 8, 30, 250, 55);
    group->SetCaption("Destination Directory");
    edit = Make<TEdit>(group, "edDestDir", 8, 22, 150, 21);
    edit->SetText("C:\\Apps");
    edit->OnChange.Set([this](TComponent*) { ++edit_changes; });
    browse = Make<TButton>(group, "BrowseBtn", 164, 20, 75, 25);
    browse->SetCaption("&Browse");
    browse->OnClick.Set([this](TComponent*) { ++browse_clicks; });
    list = Make<TListBox>(form, "FolderListBox", 8, 92, 120, 80);
    list->SetSorted(true);
    list->SetItems({"Startup", "Accessories", "Games"});
    radio = Make<TRadioGroup>(form, "RG", 136, 92, 150, 70);
    radio->SetItems({"Yes, reboot", "No, later"});
    radio->SetItemIndex(1);
    check = Make<TCheckBox>(form, "Agree", 8, 180, 120, 17);
    check->SetCaption("I agree");
    progress = Make<TProgressBar>(form, "ProgressBar1", 8, 204, 200, 16);
    progress->SetPosition(40);
    viewer = Make<TRichEdit>(form, "Agreement", 296, 8, 110, 150);
    viewer->SetReadOnly(true);
    viewer->SetRichText("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 LICENCE\\par Caf\\'e9\\par}");
    tabs = Make<TTabControl>(form, "Tabs", 296, 164, 110, 40);
    tabs->SetTabs({"One", "Two"});
    next = Make<TButton>(form, "ProceedBtn", 250, 230, 75, 25);
    next->SetCaption("Next >");
    next->SetDefault(true);
    next->SetModalResult(mrOk);
    cancel = Make<TButton>(form, "CancelBtn", 330, 230, 75, 25);
    cancel->SetCaption("Cancel");
    cancel->SetCancel(true);
    cancel->SetModalResult(mrCancel);
    form->AfterConstruction();
    return form;
  }

  // Runs the UI driver with `script` while `form` is shown modally; returns the modal result.
  TModalResult Drive(TForm* form, const std::string& script) {
    TModalResult result = mrNone;
    DriveWhile([&] { result = form->ShowModal(); }, script);
    return result;
  }

  // Runs the UI driver with `script` while `run` runs here. The driver's output goes to
  // `output`, its exit code to `driver_code`. A driver that ends while a modal form is still up
  // (it failed) ends that form with mrAbort, so a failure never hangs the test.
  void DriveWhile(const std::function<void()>& run, const std::string& script) {
    const std::wstring script_file = Scratch(L"widgets_driver.txt");
    const std::wstring out_file = Scratch(L"widgets_driver.out");
    { std::ofstream(script_file.c_str(), std::ios::binary) << script; }
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE out = CreateFileW(out_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW si = {sizeof(si)};
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi = {};
    std::wstring command =
        L"\"" + Here(L"uidriver.exe") + L"\" --timeout 8000 --script \"" + script_file + L"\"";
    EXPECT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                               &si, &pi));
    CloseHandle(out);
    // A timer still queued when `run` is over finds the flag down and touches nothing else.
    auto running = std::make_shared<bool>(true);
    std::function<void()> watch = [&, running] {
      if (!*running) return;
      if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) {
        for (TCustomForm* shown : app.Forms()) {
          if (shown->Modal() && shown->ModalResult() == mrNone) shown->SetModalResult(mrAbort);
        }
      }
      win_ui.StartTimer(100, watch);
    };
    win_ui.StartTimer(100, watch);
    try {
      run();
    } catch (...) {
      *running = false;
      TerminateProcess(pi.hProcess, 99);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
      throw;
    }
    *running = false;
    WaitForSingleObject(pi.hProcess, 20000);
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    driver_code = static_cast<int>(code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    std::ifstream in(out_file.c_str(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    output = text.str();
    in.close();
    DeleteFileW(script_file.c_str());
    DeleteFileW(out_file.c_str());
  }

  // Runs the UI driver with `script` while the folder browser runs here from `start`; the
  // folder it returns. A driver that ends while a browser is still up (it failed) has the browser
  // cancelled, so a failure never hangs the test.
  std::optional<std::string> Browse(const std::string& start, const std::string& script) {
    const std::wstring script_file = Scratch(L"browse_driver.txt");
    { std::ofstream(script_file.c_str(), std::ios::binary) << script; }
    STARTUPINFOW si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    std::wstring command =
        L"\"" + Here(L"uidriver.exe") + L"\" --timeout 15000 --script \"" + script_file + L"\"";
    EXPECT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi));
    const DWORD thread = GetCurrentThreadId();
    std::atomic<bool> done{false};
    std::thread watch([&] {
      WaitForSingleObject(pi.hProcess, 120000);
      while (!done) {
        EnumThreadWindows(thread, &CancelWindow, 0);
        Sleep(200);
      }
    });
    const std::optional<std::string> chosen = win_ui.BrowseForFolder(start, true, true);
    done = true;
    watch.join();
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    driver_code = static_cast<int>(code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    DeleteFileW(script_file.c_str());
    return chosen;
  }

  Win32Ui win_ui;
  ScopedUi scoped{&win_ui};
  TApplication app;
  TLabel* label = nullptr;
  TGroupBox* group = nullptr;
  TEdit* edit = nullptr;
  TButton* browse = nullptr;
  TListBox* list = nullptr;
  TRadioGroup* radio = nullptr;
  TCheckBox* check = nullptr;
  TProgressBar* progress = nullptr;
  TRichEdit* viewer = nullptr;
  TTabControl* tabs = nullptr;
  TButton* next = nullptr;
  TButton* cancel = nullptr;
  int edit_changes = 0;
  int browse_clicks = 0;
  int driver_code = -1;
  std::string output;
};

TEST_F(WidgetsWin32Test, TheControlsAreTheSystemsOwnHoldingTheModelsValues) {
  TForm* form = Dialog();
  form->Show();
  app.ProcessMessages();
  EXPECT_EQ(ClassOf(H(label)), L"Static");
  if (win_ui.Charset() == ApiCharset::Wide) {
    EXPECT_EQ(TextOf(H(label)), L"Gr\u00f6\u00dfe \u65e5\u672c");  // UTF-8 reached the wide API
  } else {
    // Through the ANSI code page: what it holds arrives, the rest as its default character.
    EXPECT_EQ(TextOf(H(label)), ThroughCodePage(L"Gr\u00f6\u00dfe \u65e5\u672c"));
    EXPECT_NE(TextOf(H(label)).find(L"Gr"), std::wstring::npos);
  }
  EXPECT_EQ(ClassOf(H(group)), L"Button");
  EXPECT_EQ(GetParent(H(edit)), H(group));  // nested controls sit on their parent's window
  EXPECT_EQ(ClassOf(H(edit)), L"Edit");
  EXPECT_EQ(TextOf(H(edit)), L"C:\\Apps");
  EXPECT_EQ(ClassOf(H(list)), L"ListBox");
  EXPECT_EQ(SendMessageW(H(list), LB_GETCOUNT, 0, 0), 3);
  wchar_t first[64] = {};
  SendMessageW(H(list), LB_GETTEXT, 0, reinterpret_cast<LPARAM>(first));
  EXPECT_STREQ(first, L"Accessories");
  EXPECT_EQ(ClassOf(H(progress)), L"msctls_progress32");
  EXPECT_EQ(SendMessageW(H(progress), PBM_GETPOS, 0, 0), 40);
  EXPECT_EQ(ClassOf(H(tabs)), L"SysTabControl32");
  EXPECT_EQ(SendMessageW(H(tabs), TCM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(ClassOf(H(viewer)), L"RichEdit20A");
  EXPECT_NE(TextOf(H(viewer)).find(L"Caf\u00e9"), std::wstring::npos);
  EXPECT_EQ(GetWindowLongW(H(next), GWL_STYLE) & 0xF, BS_DEFPUSHBUTTON);
  // The radio group's items are radio buttons inside it, the model's item checked.
  HWND yes = GetDlgItem(H(radio), 1);
  HWND no = GetDlgItem(H(radio), 2);
  EXPECT_EQ(TextOf(yes), L"Yes, reboot");
  EXPECT_EQ(SendMessageW(no, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(yes, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  // A font's name and character set reach the font the control uses.
  auto font = reinterpret_cast<HFONT>(SendMessageW(H(label), WM_GETFONT, 0, 0));
  LOGFONTW log_font = {};
  ASSERT_EQ(GetObjectW(font, sizeof log_font, &log_font), static_cast<int>(sizeof log_font));
  EXPECT_EQ(log_font.lfCharSet, 128);
  EXPECT_STREQ(log_font.lfFaceName, L"Tahoma");
  // The component name is on the window for a UI driver.
  const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(H(edit), L"TmbyName")));
  wchar_t name[64] = {};
  GlobalGetAtomNameW(atom, name, 64);
  EXPECT_STREQ(name, L"edDestDir");
  // Model changes follow on the shown window; hiding the group hides what is on it.
  progress->SetPosition(75);
  EXPECT_EQ(SendMessageW(H(progress), PBM_GETPOS, 0, 0), 75);
  group->SetVisible(false);
  EXPECT_FALSE(IsWindowVisible(H(edit)));
  label->SetCaption("Other");
  EXPECT_EQ(TextOf(H(label)), L"Other");
}

// Windows 9x has only stubs for the wide window functions: on the ANSI path every control, the
// radio items inside a group and the panels are made and subclassed through the ANSI API (a
// window subclassed through the wide one would turn wide), and their texts pass the code page.
TEST_F(WidgetsWin32Test, TheControlsTakeTheCharacterSetOfTheAdapter) {
  TForm* form = Dialog();
  auto* panel = Make<TPanel>(form, "Panel1", 8, 260, 50, 20);
  panel->SetCaption("P");
  form->Show();
  app.ProcessMessages();
  const bool wide = win_ui.Charset() == ApiCharset::Wide;
  // The kit's own windows (not those a system control makes inside itself, as the tab strip's
  // arrows), each carrying its control object.
  size_t own = 0;
  for (HWND hwnd : Descendants(Win32Ui::HandleOf(form->Window()))) {
    if (GetPropA(hwnd, "TmbyControl") == nullptr) continue;
    ++own;
    EXPECT_EQ(IsWindowUnicode(hwnd) != FALSE, wide) << Narrow(ClassOf(hwnd));
  }
  EXPECT_EQ(own, 15u);  // the controls, the two radio items and the panel
  EXPECT_EQ(IsWindowUnicode(H(panel)) != FALSE, wide);
  EXPECT_EQ(IsWindowUnicode(GetDlgItem(H(radio), 1)) != FALSE, wide);
  // A text the user changes in the control comes back to the model whole: a character the
  // Western code page of the tests' prefixes holds, typed as a wide character, which the system
  // hands to an ANSI control in its code page.
  ASSERT_EQ(GetACP(), 1252u);
  edit->SetText("");
  SendMessageW(H(edit), WM_CHAR, 0x00fc, 0);  // u umlaut
  SendMessageW(H(edit), WM_CHAR, 'x', 0);
  EXPECT_EQ(edit->Text(), "\xc3\xbcx");
  EXPECT_EQ(TextOf(H(edit)), L"\u00fcx");
  // The lists' items and a tab's text pass the same way.
  char item[64] = {};
  SendMessageA(H(list), LB_GETTEXT, 2, reinterpret_cast<LPARAM>(item));
  EXPECT_STREQ(item, "Startup");
}

TEST_F(WidgetsWin32Test, TheDriverTypesSelectsAndClicksThroughRealMessages) {
  TForm* form = Dialog();
  const TModalResult result = Drive(form,
                                    "wait Widgets\n"
                                    "type Widgets name:edDestDir \"D:\\Notes\"\n"
                                    "select Widgets name:FolderListBox Games\n"
                                    "select Widgets name:RG \"Yes, reboot\"\n"
                                    "click Widgets \"I agree\"\n"
                                    "click Widgets browse\n"
                                    "select Widgets name:Tabs #1\n"
                                    "list Widgets\n"
                                    "click Widgets name:ProceedBtn\n"
                                    "gone Widgets\n");
  EXPECT_EQ(driver_code, 0) << output;
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(edit->Text(), "D:\\Notes");
  EXPECT_EQ(edit_changes, 9);  // one change per keystroke, after the clearing one
  EXPECT_EQ(list->ItemIndex(), 1);
  EXPECT_EQ(radio->ItemIndex(), 0);
  EXPECT_TRUE(check->Checked());
  EXPECT_EQ(browse_clicks, 1);
  EXPECT_EQ(tabs->TabIndex(), 1);
  EXPECT_NE(output.find("Edit id="), std::string::npos) << output;
  EXPECT_NE(output.find("name=edDestDir \"D:\\\\Notes\""), std::string::npos) << output;
  EXPECT_NE(output.find("name=FolderListBox \"\""), std::string::npos) << output;
  EXPECT_NE(output.find("selected=1 items=\"Accessories\",\"Games\",\"Startup\""),
            std::string::npos)
      << output;
}

TEST_F(WidgetsWin32Test, KeysAndTheCloseBoxGoThroughTheForms) {
  TForm* form = Dialog();
  int queries = 0;
  form->OnCloseQuery.Set([&](TComponent*, bool& can_close) { can_close = ++queries > 1; });
  // The edit has the focus (the first control in tab order). Enter there presses the default
  // button, which is disabled, so nothing happens; the close box's close is refused once by the
  // close query; Esc presses Cancel.
  next->SetEnabled(false);
  const TModalResult result = Drive(form,
                                    "wait Widgets\n"
                                    "key Widgets enter\n"
                                    "close Widgets\n"
                                    "sleep 300\n"
                                    "wait Widgets\n"
                                    "key Widgets esc\n"
                                    "gone Widgets\n");
  EXPECT_EQ(driver_code, 0) << output;
  EXPECT_EQ(result, mrCancel);
  EXPECT_EQ(queries, 2);
}

// The keyboard alone, with real keys sent by another program: Alt and the letter a caption marks
// presses that button or moves the focus to the control a label names; Tab reaches the radio
// group, whose arrow keys move the choice round; Esc cancels.
TEST_F(WidgetsWin32Test, ShortcutsAndArrowKeysWorkFromTheKeyboard) {
  TForm* form = Dialog();
  auto* folders = Make<TLabel>(form, "FoldersLabel", 136, 168, 150, 14);
  folders->SetCaption("E&xisting Folders");
  folders->SetFocusControl(list);
  int choices = 0;
  radio->OnClick.Set([&](TComponent*) { ++choices; });
  const TModalResult result = Drive(form,
                                    "wait Widgets\n"
                                    "focused Widgets name:edDestDir\n"
                                    "key Widgets alt+b\n"
                                    "key Widgets alt+X\n"
                                    "focused Widgets name:FolderListBox\n"
                                    "key Widgets tab\n"
                                    "focused Widgets name:RG\n"
                                    "key Widgets up\n"
                                    "key Widgets up\n"
                                    "key Widgets left\n"
                                    "sleep 200\n"
                                    "key Widgets esc\n"
                                    "gone Widgets\n");
  EXPECT_EQ(driver_code, 0) << output;
  EXPECT_EQ(result, mrCancel);
  EXPECT_EQ(browse_clicks, 1);
  // From "No, later": up to "Yes, reboot", up round to "No, later", left to "Yes, reboot".
  EXPECT_EQ(choices, 3);
  EXPECT_EQ(radio->ItemIndex(), 0);
}

TEST_F(WidgetsWin32Test, AHostedPageIsAChildWindowOnItsHostsPanel) {
  auto* stage = new TForm(&app);
  stage->SetName("Stage");
  stage->SetCaption("Stage");
  stage->SetBorderStyle(bsDialog);
  stage->SetBorderIcons({});
  stage->SetClientWidth(300);
  stage->SetClientHeight(200);
  auto* panel = Make<TPanel>(stage, "DisplayPanel", 0, 0, 300, 200);
  panel->SetAlign(alClient);
  stage->AfterConstruction();
  auto* page = new TForm(stage);
  page->SetName("Page1");
  page->SetHostForm(stage);
  page->SetBorderStyle(bsNone);
  auto* finish = Make<TButton>(page, "FinishBtn", 200, 160, 75, 25);
  finish->SetCaption("Finish");
  finish->SetDefault(true);
  finish->OnClick.Set([stage](TComponent*) { stage->SetModalResult(mrOk); });
  auto* field = Make<TEdit>(page, "FolderEdit", 10, 10, 150, 21);
  page->AfterConstruction();
  page->HandleNeeded();
  page->SetBounds(0, 0, 300, 200);
  page->Show();
  field->SetFocus();
  HWND page_window = Win32Ui::HandleOf(page->Window());
  EXPECT_EQ(GetParent(page_window), Win32Ui::HandleOf(stage->Window()));
  EXPECT_NE(GetWindowLongW(page_window, GWL_STYLE) & WS_CHILD, 0);
  // No border icons: no system menu, so no close box.
  EXPECT_EQ(GetWindowLongW(Win32Ui::HandleOf(stage->Window()), GWL_STYLE) & WS_SYSMENU, 0);
  int queries = 0;
  stage->OnCloseQuery.Set([&](TComponent*, bool& can_close) {
    ++queries;
    can_close = stage->ModalResult() == mrOk;
  });
  // Alt+F4 (the close command) is refused; Enter in the page's edit presses the page's Finish.
  const TModalResult result = Drive(stage,
                                    "wait Stage\n"
                                    "close Stage\n"
                                    "type Stage name:FolderEdit Tools\n"
                                    "key Stage enter\n"
                                    "gone Stage\n");
  EXPECT_EQ(driver_code, 0) << output;
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(field->Text(), "Tools");
  EXPECT_EQ(queries, 2);
}

// The change-disk stage on real windows: when a file asks for its next disk, the stage's manager
// shows the registered change-disk dialog, a top-level dialog without close box; another program
// reads the prompt and the folder from it, types where the disk is and presses OK, and that
// folder goes back to the file.
TEST_F(WidgetsWin32Test, TheChangeDiskDialogAsksForTheDiskInARealWindow) {
  InstallModel().Reset();
  DialogRegistry().Reset();
  RegisterChangeDiskDialog();
  std::unique_ptr<TComponent, void (*)(TComponent*)> owner(
      new TComponent(nullptr), [](TComponent* c) { TComponent::Free(c); });
  // The path kinds a file and its container look for when they are made.
  new TpsContainerDestDir(owner.get());
  new TpsContainerArchiveFile(owner.get());
  auto* root = new fixtures::TTestRoot(owner.get());
  root->SetName("Install1");
  auto* manager = new TDialogManager(owner.get());
  manager->SetName("ChangeDiskManager");
  manager->ManagerType = dmChangeDisk;
  manager->SetContainer(root);
  auto* file = new fixtures::TTestFile(owner.get());
  file->SetName("File1");
  file->SetContainer(root);
  TDiskParameter disk;
  disk.DiskNumber = 2;
  disk.Path = "A:\\";
  tmby::TList list{file, &disk};
  app.SetTitle("Installation of Disk Notes");
  // The dialog's styles, read while it is up (timers that hold nothing of this test's frame).
  auto style = std::make_shared<DWORD>(0);
  for (int i = 1; i <= 30; ++i) {
    win_ui.StartTimer(100 * i, [style] {
      HWND shown = FindWindowW(nullptr, L"Installation of Disk Notes");
      if (*style == 0 && shown != nullptr) *style = GetWindowLongW(shown, GWL_STYLE);
    });
  }
  DriveWhile([&] { root->Broadcast(root, hnNewDisk, &list); },
             "wait \"Installation of Disk Notes\"\n"
             "list \"Installation of Disk Notes\"\n"
             "close \"Installation of Disk Notes\"\n"
             "sleep 300\n"
             "wait \"Installation of Disk Notes\"\n"
             "type \"Installation of Disk Notes\" name:edDiskPath \"D:\\Disk2\"\n"
             "click \"Installation of Disk Notes\" name:OKBtn\n"
             "gone \"Installation of Disk Notes\"\n");
  EXPECT_EQ(driver_code, 0) << output;
  EXPECT_EQ(disk.Path, "D:\\Disk2");
  EXPECT_EQ(file->Tag(), 1);
  EXPECT_NE(output.find("name=lblInsertDisk \"Please insert disk #2\""), std::string::npos)
      << output;
  EXPECT_NE(output.find("name=edDiskPath \"A:\\\\\""), std::string::npos) << output;
  ASSERT_NE(*style, 0u) << "the dialog was never seen";
  EXPECT_EQ(*style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
  EXPECT_EQ(*style & WS_SYSMENU, 0u);
  DialogRegistry().Reset();
}

bool FolderExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The folder browser carries the kit's own path edit and create-folder button: a path typed that
// does not exist yet is made and chosen; the button asks for a name, makes that folder in the
// one shown, and opens the browser again on it, where OK takes it.
TEST_F(WidgetsWin32Test, TheFolderBrowsersPathEditAndCreateButtonMakeTheFolder) {
  const std::string base = Narrow(Scratch(L"browse"));
  ASSERT_TRUE(CreateDirectoryW(Widen(base).c_str(), nullptr));
  const std::string typed = base + "\\Typed\\Deep";
  const std::optional<std::string> chosen = Browse(base,
                                                   "wait class:#32770 name:FolderPathEdit\n"
                                                   "expect class:#32770 name:FolderPathEdit \"" +
                                                       base +
                                                       "\"\n"
                                                       "type class:#32770 name:FolderPathEdit \"" +
                                                       typed +
                                                       "\"\n"
                                                       "click class:#32770 id:1\n"
                                                       "gone class:#32770\n");
  EXPECT_EQ(driver_code, 0);
  EXPECT_EQ(chosen.value_or("(cancelled)"), typed);
  EXPECT_TRUE(FolderExists(typed));

  const std::string made = base + "\\Made";
  const std::optional<std::string> created =
      Browse(base,
             "wait class:#32770 name:CreateFolderBtn\n"
             "post class:#32770 name:CreateFolderBtn\n"
             "wait name:FolderNameDialog\n"
             "type name:FolderNameDialog name:FolderNameEdit Made\n"
             "click name:FolderNameDialog id:1\n"
             "gone name:FolderNameDialog\n"
             "sleep 1500\n"
             "wait class:#32770 name:FolderPathEdit\n"
             "expect class:#32770 name:FolderPathEdit \"" +
                 made +
                 "\"\n"
                 "click class:#32770 id:1\n"
                 "gone class:#32770\n");
  EXPECT_EQ(driver_code, 0);
  EXPECT_EQ(created.value_or("(cancelled)"), made);
  EXPECT_TRUE(FolderExists(made));
  // Cancelled, the browser gives nothing.
  EXPECT_FALSE(Browse(base, "wait class:#32770\nclick class:#32770 id:2\ngone class:#32770\n"));
  for (const std::string& folder : {typed, base + "\\Typed", made, base}) {
    RemoveDirectoryW(Widen(folder).c_str());
  }
}

}  // namespace
}  // namespace tmby::platform::win32
