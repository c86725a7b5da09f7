// The folder browser of the Windows adapter: the shell's own browser (SHBrowseForFolder), to
// which the kit adds a create-folder button and a path edit of its own, so that they look and
// work alike on every Windows (the browser's own new-folder button needs the shell of Windows
// 2000 and a COM apartment; 95 and NT 4 have none).
//
// A click on the create-folder button asks for a name (or takes the path typed into the edit when
// that folder does not exist yet), makes the folder, and ends the browser with its OK button; the
// browser then opens again on the new folder, so that the user sees it and confirms it. A path
// typed into the edit that does not exist when the user presses OK is made and taken.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/win32/ui_win32.h"
#include "platform/win32/ui_win32_internal.h"
#include "platform/win32/win32_internal.h"

namespace tmby::platform::win32 {

namespace {

constexpr int kCreateButtonId = 0x3A01;
constexpr int kPathEditId = 0x3A02;
constexpr int kNameEditId = 0x3A03;
constexpr int kNamePromptId = 0x3A04;
const char kPropBrowse[] = "TmbyBrowse";  // the browse state on the browser and its edit

// A string of a system library's string table, as UTF-8; empty when it cannot be read.
std::string LibraryString(const TextApi& text, const char* library, UINT id) {
  HMODULE module = LoadLibraryA(library);
  if (module == nullptr) return {};
  std::string result;
  if (text.Ansi()) {
    char buffer[4096] = {};
    const int length = LoadStringA(module, id, buffer, 4096);
    if (length > 0) result = FromApi(buffer, static_cast<size_t>(length));
  } else {
    wchar_t buffer[4096] = {};
    const int length = LoadStringW(module, id, buffer, 4096);
    if (length > 0) result = FromApi(buffer, static_cast<size_t>(length));
  }
  FreeLibrary(module);
  return result;
}

std::string WindowTextOf(const TextApi& text, HWND hwnd) {
  if (text.Ansi()) {
    std::string buffer(static_cast<size_t>(std::max(GetWindowTextLengthA(hwnd), 0)) + 1, '\0');
    buffer.resize(static_cast<size_t>(
        std::max(GetWindowTextA(hwnd, buffer.data(), static_cast<int>(buffer.size())), 0)));
    return FromApi(buffer);
  }
  std::wstring buffer(static_cast<size_t>(std::max(GetWindowTextLengthW(hwnd), 0)) + 1, L'\0');
  buffer.resize(static_cast<size_t>(
      std::max(GetWindowTextW(hwnd, buffer.data(), static_cast<int>(buffer.size())), 0)));
  return FromApi(buffer);
}

bool IsFolder(const TextApi& text, const std::string& path) {
  const DWORD attributes = text.WithPaths(
      INVALID_FILE_ATTRIBUTES, [](const auto& p) { return GetFileAttributesT(p.c_str()); }, path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A full path of a drive ("C:\...") or a share ("\\server\share\..."): what the kit makes a
// folder of. A relative name would land in whatever the current folder happens to be.
bool IsFullPath(const std::string& path) {
  if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
      path[2] == '\\') {
    return true;
  }
  return path.size() > 2 && path[0] == '\\' && path[1] == '\\';
}

// Makes a folder and every missing one above it; true when it exists afterwards.
bool MakeFolders(const TextApi& text, std::string path) {
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  if (!IsFullPath(path)) return false;
  for (size_t at = path.find('\\', 3);; at = path.find('\\', at + 1)) {
    const std::string level = at == std::string::npos ? path : path.substr(0, at);
    if (!IsFolder(text, level)) {
      text.WithPaths(
          FALSE, [](const auto& p) { return CreateDirectoryT(p.c_str()); }, level);
    }
    if (at == std::string::npos) break;
  }
  return IsFolder(text, path);
}

// The folder itself when it exists, else the nearest one above it that does; a drive's root
// keeps its backslash, any other folder loses it.
std::string NearestExistingFolder(const TextApi& text, std::string path) {
  while (!path.empty()) {
    if (path.size() > 3 && path.back() == '\\') path.pop_back();
    if (IsFolder(text, path)) {
      if (path.size() == 2 && path[1] == ':') path += '\\';
      return path;
    }
    const size_t slash = path.find_last_of('\\');
    if (slash == std::string::npos) return {};
    path.resize(slash == 2 ? 3 : slash);
    if (path.size() == 3 && !IsFolder(text, path)) return {};
  }
  return {};
}

// ---------------------------------------------------------------------------------------------
// The name of a new folder: a small dialog of its own (the system has no input box), made from
// a template in memory; the template's texts are UTF-16 for either character set.

class DialogTemplate {
 public:
  DialogTemplate(DWORD style, int count, short x, short y, short cx, short cy,
                 const std::wstring& caption) {
    Dword(style);
    Dword(0);
    Word(static_cast<WORD>(count));
    Word(static_cast<WORD>(x));
    Word(static_cast<WORD>(y));
    Word(static_cast<WORD>(cx));
    Word(static_cast<WORD>(cy));
    Word(0);  // no menu
    Word(0);  // the dialog class
    Text(caption);
    Word(8);  // DS_SETFONT: 8 points
    Text(L"MS Shell Dlg");
  }
  void Item(DWORD style, DWORD ex_style, short x, short y, short cx, short cy, WORD id,
            WORD class_atom, const std::wstring& text) {
    while (words_.size() % 2 != 0) words_.push_back(0);  // items start on a DWORD
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(ex_style);
    Word(static_cast<WORD>(x));
    Word(static_cast<WORD>(y));
    Word(static_cast<WORD>(cx));
    Word(static_cast<WORD>(cy));
    Word(id);
    Word(0xFFFF);
    Word(class_atom);
    Text(text);
    Word(0);  // no creation data
  }
  const DLGTEMPLATE* Data() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Word(WORD w) { words_.push_back(w); }
  void Dword(DWORD d) {
    Word(LOWORD(d));
    Word(HIWORD(d));
  }
  void Text(const std::wstring& text) {
    for (wchar_t c : text) Word(static_cast<WORD>(c));
    Word(0);
  }
  std::vector<WORD> words_;
};

struct NameQuestion {
  TextApi text;
  std::string prompt;
  std::optional<std::string> answer;
};

INT_PTR CALLBACK NameProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* question = reinterpret_cast<NameQuestion*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      question = reinterpret_cast<NameQuestion*>(lparam);
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      question->text.WithShown(
          [&](const auto& shown) {
            return SetWindowTextT(GetDlgItem(dialog, kNamePromptId), shown.c_str());
          },
          question->prompt);
      SetNameProp(dialog, "FolderNameDialog", ApiCharset::Ansi);
      SetNameProp(GetDlgItem(dialog, kNameEditId), "FolderNameEdit", ApiCharset::Ansi);
      SetFocus(GetDlgItem(dialog, kNameEditId));
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) {
        question->answer = WindowTextOf(question->text, GetDlgItem(dialog, kNameEditId));
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      RemoveNameProp(GetDlgItem(dialog, kNameEditId));
      RemoveNameProp(dialog);
      return FALSE;
    default: return FALSE;
  }
}

std::optional<std::string> AskFolderName(const TextApi& text, HWND owner,
                                         const std::string& caption, const std::string& prompt) {
  // The template carries no prompt (it may be long): the dialog sets it as a text of the API.
  DialogTemplate form(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU,
                      4, 0, 0, 220, 74, Wide(caption));
  form.Item(SS_LEFT, 0, 7, 7, 206, 20, kNamePromptId, 0x0082, L"");
  form.Item(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 0, 7, 30, 206, 13, kNameEditId, 0x0081, L"");
  form.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 109, 52, 50, 14, IDOK, 0x0080, L"OK");
  form.Item(BS_PUSHBUTTON | WS_TABSTOP, 0, 163, 52, 50, 14, IDCANCEL, 0x0080, L"Cancel");
  NameQuestion question{text, prompt, std::nullopt};
  const auto param = reinterpret_cast<LPARAM>(&question);
  if (text.Ansi()) {
    DialogBoxIndirectParamA(GetModuleHandleA(nullptr), form.Data(), owner, &NameProc, param);
  } else {
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr), form.Data(), owner, &NameProc, param);
  }
  return question.answer;
}

// ---------------------------------------------------------------------------------------------
// The browser and what the kit adds to it

struct Browse {
  explicit Browse(ApiCharset charset) : text(charset) {}
  TextApi text;
  bool create_button = true;
  bool path_edit = true;
  std::string start;      // where the browser opens
  std::string current;    // the selected folder, or what the user typed
  std::string selection;  // the API text of the start folder, alive while the browser runs
  std::wstring selection_w;
  bool restart = false;
  bool from_edit = false;     // the selection follows what the user types in the edit
  bool setting_edit = false;  // the edit's text is being set here, not typed
  HWND browser = nullptr;
  HWND tree = nullptr;
  HWND ok = nullptr;
  HWND create = nullptr;
  HWND edit = nullptr;
  WNDPROC browser_proc = nullptr;

  LRESULT Send(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) const {
    return text.Ansi() ? SendMessageA(hwnd, msg, wparam, lparam)
                       : SendMessageW(hwnd, msg, wparam, lparam);
  }
  LRESULT CallOld(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) const {
    return text.Ansi() ? CallWindowProcA(proc, hwnd, msg, wparam, lparam)
                       : CallWindowProcW(proc, hwnd, msg, wparam, lparam);
  }
  WNDPROC Subclass(HWND hwnd, WNDPROC proc) const {
    const auto p = reinterpret_cast<LONG_PTR>(proc);
    return reinterpret_cast<WNDPROC>(text.Ansi() ? SetWindowLongPtrA(hwnd, GWLP_WNDPROC, p)
                                                 : SetWindowLongPtrW(hwnd, GWLP_WNDPROC, p));
  }
  void Select(const std::string& path) {
    if (text.Ansi()) {
      selection = AnsiText(path);
      Send(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(selection.c_str()));
    } else {
      selection_w = Wide(path);
      Send(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(selection_w.c_str()));
    }
  }
  void SetEditText(const std::string& value) {
    setting_edit = true;
    text.WithShown([&](const auto& shown) { return SetWindowTextT(edit, shown.c_str()); }, value);
    setting_edit = false;
  }

  void Initialize(HWND window);
  void SelectionChanged(LPCITEMIDLIST item);
  void CreateClicked();
};

RECT ChildRect(HWND parent, HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

HWND MakeChild(const TextApi& text, HWND parent, const char* cls, const std::string& caption,
               DWORD style, DWORD ex_style, const RECT& r, int id, const char* name) {
  HWND hwnd = text.WithShown(
      [&](const auto& class_name, const auto& shown) {
        return CreateWindowExT(ex_style, class_name.c_str(), shown.c_str(),
                               style | WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                               ui::TRect{r.left, r.top, r.right, r.bottom}, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr);
      },
      std::string(cls), caption);
  if (hwnd == nullptr) return nullptr;
  SendMessageA(hwnd, WM_SETFONT, SendMessageA(parent, WM_GETFONT, 0, 0), FALSE);
  SetNameProp(hwnd, name, text.Ansi() ? ApiCharset::Ansi : ApiCharset::Wide);
  return hwnd;
}

LRESULT CALLBACK BrowserProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* browse = static_cast<Browse*>(GetPropA(hwnd, kPropBrowse));
  const WNDPROC old = browse->browser_proc;
  if (msg == WM_COMMAND && LOWORD(wparam) == kCreateButtonId && HIWORD(wparam) == BN_CLICKED) {
    try {
      browse->CreateClicked();
    } catch (...) {
      KeepCurrentException("the folder browser");
    }
    return 0;
  }
  if (msg == WM_COMMAND && LOWORD(wparam) == kPathEditId && HIWORD(wparam) == EN_CHANGE &&
      !browse->setting_edit) {
    // What the user types is the current path, and the tree follows it where it exists.
    browse->current = WindowTextOf(browse->text, browse->edit);
    if (IsFolder(browse->text, browse->current)) {
      browse->from_edit = true;
      browse->Select(browse->current);
      browse->from_edit = false;
    }
    return 0;
  }
  if (msg == WM_NCDESTROY) {
    RemovePropA(hwnd, kPropBrowse);
    if (browse->create != nullptr) RemoveNameProp(browse->create);
    if (browse->edit != nullptr) RemoveNameProp(browse->edit);
    browse->Subclass(hwnd, old);
  }
  return browse->CallOld(old, hwnd, msg, wparam, lparam);
}

void Browse::Initialize(HWND window) {
  browser = window;
  // The browser's own parts: its folder tree, and of its buttons the first (OK) and the second
  // (Cancel).
  HWND cancel = nullptr;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    char name[64] = {};
    GetClassNameA(child, name, sizeof name);
    if (tree == nullptr && _strnicmp(name, "SysTree", 7) == 0) tree = child;
    if (_strnicmp(name, "Button", 6) == 0) {
      if (ok == nullptr) {
        ok = child;
      } else if (cancel == nullptr) {
        cancel = child;
      }
    }
  }
  SetPropA(window, kPropBrowse, this);
  browser_proc = Subclass(window, &BrowserProc);
  const RECT ok_rect = ok != nullptr ? ChildRect(window, ok) : RECT{};
  const RECT cancel_rect = cancel != nullptr ? ChildRect(window, cancel) : RECT{};
  RECT tree_rect = tree != nullptr ? ChildRect(window, tree) : RECT{};
  // The create-folder button: a row above OK, from the tree's left edge to where OK would end
  // one button further left.
  RECT button_rect{20, 230, 140, 253};
  if (ok != nullptr && cancel != nullptr) {
    button_rect.top = ok_rect.top - 22;
    button_rect.bottom = ok_rect.bottom - 22;
    button_rect.right = ok_rect.right + (ok_rect.left - cancel_rect.left);
  }
  if (tree != nullptr) button_rect.left = tree_rect.left;
  if (create_button) {
    std::string caption = LibraryString(text, "comdlg32.dll", 703);
    if (caption.empty()) caption = "&New Folder";
    create = MakeChild(text, window, "BUTTON", caption, BS_PUSHBUTTON, 0, button_rect,
                       kCreateButtonId, "CreateFolderBtn");
  }
  if (path_edit) {
    // The tree makes room for the edit, which lies below it across the tree's width.
    RECT edit_rect = button_rect;
    if (tree != nullptr) {
      tree_rect.bottom -= 60;
      SetWindowPos(tree, nullptr, 0, 0, tree_rect.right - tree_rect.left,
                   tree_rect.bottom - tree_rect.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      if (ok != nullptr) {
        const LONG height = edit_rect.bottom - edit_rect.top;
        edit_rect = {tree_rect.left, tree_rect.bottom + 15, tree_rect.right,
                     tree_rect.bottom + 15 + height};
      }
    }
    edit = MakeChild(text, window, "EDIT", start, ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, edit_rect,
                     kPathEditId, "FolderPathEdit");
    if (edit != nullptr) {
      // A path reads from the left also in a browser mirrored for a language that reads from
      // the right (a Hebrew system's): the edit does not take over the mirroring.
      const LONG ex_style = GetWindowLongA(edit, GWL_EXSTYLE);
      if ((ex_style & WS_EX_LAYOUTRTL) != 0) {
        SetWindowLongA(edit, GWL_EXSTYLE, ex_style & ~(WS_EX_LAYOUTRTL | WS_EX_RTLREADING));
      }
    }
  }
  if (tree != nullptr) {
    SetWindowLongA(tree, GWL_STYLE, GetWindowLongA(tree, GWL_STYLE) | TVS_SHOWSELALWAYS);
  }
  const std::string initial = NearestExistingFolder(text, start);
  current = initial.empty() ? start : initial;
  if (!initial.empty()) {
    Select(initial);
    // Once more after what the browser still has queued from its own start: under Wine a busy
    // machine was seen selecting the tree's first folder after the selection above had been
    // made. The text lives until the browser returns.
    if (text.Ansi()) {
      PostMessageA(window, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(selection.c_str()));
    } else {
      PostMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(selection_w.c_str()));
    }
  }
}

void Browse::SelectionChanged(LPCITEMIDLIST item) {
  std::optional<std::string> path;
  if (text.Ansi()) {
    char buffer[MAX_PATH] = {};
    if (SHGetPathFromIDListA(item, buffer)) path = FromApiBuffer(buffer);
  } else {
    wchar_t buffer[MAX_PATH] = {};
    if (SHGetPathFromIDListW(item, buffer)) path = FromApiBuffer(buffer);
  }
  if (path) {
    current = *path;
    // The edit follows the tree, except when the tree follows what the user types.
    if (edit != nullptr && !from_edit) SetEditText(current);
  }
  if (create != nullptr && ok != nullptr) {
    ShowWindow(create, path && IsWindowEnabled(ok) ? SW_SHOWNA : SW_HIDE);
  }
}

void Browse::CreateClicked() {
  const std::string typed = edit != nullptr ? WindowTextOf(text, edit) : std::string();
  std::string folder;
  if (edit == nullptr || IsFolder(text, typed)) {
    // A new folder inside the current one: its name from the user.
    std::string caption = LibraryString(text, "comdlg32.dll", 703);
    std::string prompt = LibraryString(text, "shell32.dll", 8977);
    if (caption.empty()) caption = "New Folder";
    if (prompt.empty()) prompt = "Name of the new folder:";
    const std::optional<std::string> name = AskFolderName(text, browser, caption, prompt);
    if (!name || name->find_first_not_of(' ') == std::string::npos) return;
    const std::string& base = current;
    folder = base + (!base.empty() && base.back() == '\\' ? "" : "\\") + *name;
  } else {
    folder = typed;  // a path typed that does not exist yet
  }
  if (!MakeFolders(text, folder)) {
    // Not a folder that can be made (no such drive, a character Windows does not allow): the
    // browser stays as it was.
    MessageBeep(MB_ICONWARNING);
    return;
  }
  current = folder;
  restart = true;
  PostMessageA(browser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
}

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM lparam, LPARAM data) {
  auto* browse = reinterpret_cast<Browse*>(data);
  try {
    if (message == BFFM_INITIALIZED) browse->Initialize(window);
    if (message == BFFM_SELCHANGED && browse->browser != nullptr) {
      browse->SelectionChanged(reinterpret_cast<LPCITEMIDLIST>(lparam));
    }
  } catch (...) {
    KeepCurrentException("the folder browser");
  }
  return 0;
}

// The shell's browser in the API's character set (only file-system folders): true when the user
// confirmed a folder, whose path is then in `*path` (unless it has none).
template <typename C>
bool ShowBrowser(const std::basic_string<C>& title, HWND owner, LPARAM param,
                 std::optional<std::string>* path) {
  C name[MAX_PATH] = {};
  C buffer[MAX_PATH] = {};
  std::conditional_t<std::is_same_v<C, char>, BROWSEINFOA, BROWSEINFOW> info{};
  info.hwndOwner = owner;
  info.pszDisplayName = name;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  info.lpfn = BrowseCallback;
  info.lParam = param;
  LPITEMIDLIST chosen = nullptr;
  bool has_path = false;
  if constexpr (std::is_same_v<C, char>) {
    chosen = SHBrowseForFolderA(&info);
    has_path = chosen != nullptr && SHGetPathFromIDListA(chosen, buffer);
  } else {
    chosen = SHBrowseForFolderW(&info);
    has_path = chosen != nullptr && SHGetPathFromIDListW(chosen, buffer);
  }
  if (has_path) *path = FromApiBuffer(buffer);
  if (chosen == nullptr) return false;
  CoTaskMemFree(chosen);
  return true;
}

// One run of the browser: the folder confirmed (with `browse.restart` set when the user made a
// new folder, which the browser is to open on).
std::optional<std::string> RunBrowser(Browse& browse, HWND owner) {
  std::string title = LibraryString(browse.text, "shell32.dll", 9248);
  if (const size_t at = title.find("%s"); at != std::string::npos) title.erase(at, 2);
  if (title.empty()) title = "Choose a folder";
  std::optional<std::string> path;
  const bool chosen =
      browse.text.Ansi()
          ? ShowBrowser<char>(AnsiText(title), owner, reinterpret_cast<LPARAM>(&browse), &path)
          : ShowBrowser<wchar_t>(Wide(title), owner, reinterpret_cast<LPARAM>(&browse), &path);
  if (!chosen) return std::nullopt;
  // A path typed into the edit is what the user chose: made when it does not exist yet. One
  // that cannot be made (not a full path, no such drive) leaves the folder of the tree.
  if (browse.edit != nullptr && !browse.restart && browse.current != path.value_or("") &&
      MakeFolders(browse.text, browse.current)) {
    return browse.current;
  }
  return path;
}

}  // namespace

std::optional<std::string> Win32Ui::BrowseForFolder(const std::string& start, bool createButton,
                                                    bool pathEdit) {
  const HRESULT com = OleInitialize(nullptr);
  std::optional<std::string> result;
  std::string from = start;
  // Each new folder opens the browser again, on it; a user who keeps making folders still ends.
  for (int round = 0; round < 100; ++round) {
    Browse browse(charset_);
    browse.create_button = createButton;
    browse.path_edit = pathEdit;
    browse.start = from;
    result = RunBrowser(browse, GetActiveWindow());
    if (!browse.restart) break;
    from = browse.current;
  }
  if (SUCCEEDED(com)) OleUninitialize();
  ThrowKept();
  return result;
}

}  // namespace tmby::platform::win32
