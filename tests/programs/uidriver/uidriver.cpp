// uidriver: plays the user against another program's windows with real messages.
//
//   uidriver [--timeout MS] COMMAND ARGS...     one command
//   uidriver [--timeout MS] --script FILE       one command per line ("-": standard input);
//                                               blank lines and lines starting with '#' skipped
//
// Words with blanks are written in double quotes (\" and \\ inside; other backslashes stay, so
// Windows paths need no doubling), as in the scripted UI's scripts. The first failing command
// ends the run with exit code 1 and a line on standard error; a usage error gives 2.
//
// WINDOW names a shown top-level window: its caption, "~part" (a part of the caption),
// "class:NAME" (window class) or "name:NAME" (the component name the kit puts on its windows).
// CONTROL names a shown, enabled control below it (hosted pages included): "name:NAME", "id:N",
// "class:NAME[#k]" (the k-th of that class, 1 the first) or its text ('&' and case ignored). When
// several match, the one the user can see at its centre wins.
//
// Commands (those that wait poll every 50 ms up to the timeout, default 10000 ms):
//   wait WINDOW [CONTROL]            until the window is shown (and the control on it: a page
//                                    of a stage window by its name, whatever its language)
//   gone WINDOW                      until no such window is shown
//   list WINDOW                      the window and its controls, one line each, indented by depth:
//                                    CLASS id=N name=NAME "TEXT" L,T WxH [hidden] [disabled]
//                                    [checked] [selected=I] [items="a","b"] [position=P]
//   click WINDOW CONTROL             BM_CLICK (buttons, check boxes, radio buttons)
//   post WINDOW CONTROL              BM_CLICK posted, not waited for: a button whose handler
//                                    opens a modal window (a question, a folder browser)
//   type WINDOW CONTROL TEXT         empties an edit and types TEXT into it, one WM_CHAR each
//   settext WINDOW CONTROL TEXT      WM_SETTEXT
//   select WINDOW CONTROL ITEM       a list box item (LB_SETCURSEL and LBN_SELCHANGE to its
//                                    parent), a radio button of a group (BM_CLICK) or a tab
//                                    (TCM_SETCURFOCUS); ITEM is the item's text or "#N"
//   key WINDOW KEY                   the key pressed and released in the focused control: enter,
//                                    esc, tab, shift+tab, up, down, left, right, or alt+C (Alt
//                                    held while C is pressed: a letter or digit as its key, any
//                                    other character as the character that key would type)
//   focused WINDOW CONTROL           until the control (or a window on it, such as a radio item
//                                    of a group) has the keyboard focus
//   close WINDOW                     the close box (WM_SYSCOMMAND SC_CLOSE)
//   expect WINDOW CONTROL TEXT       fails unless the control's text is TEXT
//   sleep MS
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/script/script_ui.h"

namespace {

DWORD g_timeout_ms = 10000;

std::wstring Wide(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

// A caption as shown: a single '&' dropped, "&&" as one '&'.
std::wstring Shown(const std::wstring& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&') {
      if (i + 1 < text.size() && text[i + 1] == L'&') {
        out += L'&';
        ++i;
      }
      continue;
    }
    out += text[i];
  }
  return out;
}

struct Failure {
  std::string message;
};

std::wstring TextOf(HWND hwnd) {
  wchar_t buffer[4096] = {};
  SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_BLOCK, 5000,
                      nullptr);
  return buffer;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buffer[256] = {};
  GetClassNameW(hwnd, buffer, 256);
  return buffer;
}

// The component name the kit puts on its windows, or empty.
std::wstring NameOf(HWND hwnd) {
  const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(hwnd, L"TmbyName")));
  if (atom == 0) return {};
  wchar_t buffer[256] = {};
  GlobalGetAtomNameW(atom, buffer, 256);
  return buffer;
}

bool Matches(HWND hwnd, const std::wstring& pattern, bool caption) {
  if (pattern.rfind(L"name:", 0) == 0) return Lower(NameOf(hwnd)) == Lower(pattern.substr(5));
  if (pattern.rfind(L"class:", 0) == 0) return Lower(ClassOf(hwnd)) == Lower(pattern.substr(6));
  if (pattern.rfind(L"id:", 0) == 0)
    return std::to_wstring(GetDlgCtrlID(hwnd)) == pattern.substr(3);
  const std::wstring text = TextOf(hwnd);
  if (caption && !pattern.empty() && pattern[0] == L'~')
    return text.find(pattern.substr(1)) != text.npos;
  return caption ? text == pattern : Lower(Shown(text)) == Lower(Shown(pattern));
}

struct TopLevelSearch {
  const std::wstring* pattern;
  HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<TopLevelSearch*>(param);
  if (!IsWindowVisible(hwnd) || !Matches(hwnd, *search->pattern, true)) return TRUE;
  search->found = hwnd;
  return FALSE;
}

HWND FindTopLevel(const std::wstring& pattern) {
  TopLevelSearch search{&pattern, nullptr};
  EnumWindows(&MatchTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Polls `found` until it is true or the time is up.
bool Poll(const std::function<bool()>& found) {
  const DWORD start = GetTickCount();
  while (true) {
    if (found()) return true;
    if (GetTickCount() - start >= g_timeout_ms) return false;
    Sleep(50);
  }
}

HWND NeedWindow(const std::string& pattern) {
  HWND hwnd = nullptr;
  if (!Poll([&] { return (hwnd = FindTopLevel(Wide(pattern))) != nullptr; })) {
    throw Failure{"no window \"" + pattern + "\" is shown"};
  }
  return hwnd;
}

// Every descendant of `parent` in z-order (the top first), with its depth.
void Descendants(HWND parent, int depth, std::vector<std::pair<HWND, int>>& out) {
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    out.emplace_back(child, depth);
    Descendants(child, depth + 1, out);
  }
}

// Shown and enabled, with every parent up to the top-level window.
bool Reachable(HWND hwnd) {
  return IsWindowVisible(hwnd) && IsWindowEnabled(hwnd) && [&] {
    for (HWND w = hwnd; w != nullptr; w = GetAncestor(w, GA_PARENT)) {
      if (!IsWindowEnabled(w)) return false;
      if ((GetWindowLongW(w, GWL_STYLE) & WS_CHILD) == 0) break;
    }
    return true;
  }();
}

// The user can see the control at its centre: nothing else of the window lies above it there.
bool OnTop(HWND top, HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  HWND at = top;
  while (true) {
    POINT local = centre;
    ScreenToClient(at, &local);
    HWND next = ChildWindowFromPointEx(at, local, CWP_SKIPINVISIBLE);
    if (next == nullptr || next == at) break;
    at = next;
  }
  for (HWND w = at; w != nullptr; w = GetAncestor(w, GA_PARENT)) {
    if (w == hwnd) return true;
    if (w == top) break;
  }
  return false;
}

HWND FindControl(HWND top, const std::string& pattern_utf8) {
  std::wstring pattern = Wide(pattern_utf8);
  size_t nth = 0;
  if (pattern.rfind(L"class:", 0) == 0) {
    const size_t hash = pattern.find(L'#');
    if (hash != pattern.npos) {
      nth = static_cast<size_t>(std::max(1, _wtoi(pattern.c_str() + hash + 1)));
      pattern = pattern.substr(0, hash);
    }
  }
  std::vector<std::pair<HWND, int>> all;
  Descendants(top, 0, all);
  std::vector<HWND> found;
  for (const auto& [hwnd, depth] : all) {
    if (Reachable(hwnd) && Matches(hwnd, pattern, false)) found.push_back(hwnd);
  }
  if (nth > 0) return nth <= found.size() ? found[nth - 1] : nullptr;
  for (HWND hwnd : found) {
    if (OnTop(top, hwnd)) return hwnd;
  }
  return found.empty() ? nullptr : found.front();
}

HWND NeedControl(HWND top, const std::string& pattern) {
  HWND hwnd = nullptr;
  if (!Poll([&] { return (hwnd = FindControl(top, pattern)) != nullptr; })) {
    throw Failure{"no control \"" + pattern + "\" is shown and enabled"};
  }
  return hwnd;
}

std::string Quote(const std::wstring& text) {
  std::string out = "\"";
  for (char c : Utf8(text)) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
  }
  return out + "\"";
}

void List(HWND top) {
  RECT client{};
  GetWindowRect(top, &client);
  std::cout << Utf8(ClassOf(top)) << " name=" << Utf8(NameOf(top)) << " " << Quote(TextOf(top))
            << (IsWindowEnabled(top) ? "" : " disabled") << "\n";
  std::vector<std::pair<HWND, int>> all;
  Descendants(top, 1, all);
  // Listed in creation order (the bottom of each z-order first), as the program made them.
  std::vector<std::pair<HWND, int>> ordered;
  std::function<void(HWND, int)> walk = [&](HWND parent, int depth) {
    std::vector<HWND> children;
    for (HWND c = GetWindow(parent, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
      children.push_back(c);
    }
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      ordered.emplace_back(*it, depth);
      walk(*it, depth + 1);
    }
  };
  walk(top, 1);
  for (const auto& [hwnd, depth] : ordered) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    POINT origin{r.left, r.top};
    ScreenToClient(GetAncestor(hwnd, GA_PARENT), &origin);
    const std::wstring cls = ClassOf(hwnd);
    std::cout << std::string(static_cast<size_t>(depth) * 2, ' ') << Utf8(cls)
              << " id=" << GetDlgCtrlID(hwnd) << " name=" << Utf8(NameOf(hwnd)) << " "
              << Quote(TextOf(hwnd)) << " " << origin.x << "," << origin.y << " "
              << (r.right - r.left) << "x" << (r.bottom - r.top);
    if (!IsWindowVisible(hwnd)) std::cout << " hidden";
    if (!IsWindowEnabled(hwnd)) std::cout << " disabled";
    const std::wstring lower = Lower(cls);
    if (lower == L"button" && SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED) {
      std::cout << " checked";
    }
    if (lower == L"listbox") {
      std::cout << " selected=" << SendMessageW(hwnd, LB_GETCURSEL, 0, 0) << " items=";
      const LRESULT count = SendMessageW(hwnd, LB_GETCOUNT, 0, 0);
      for (LRESULT i = 0; i < count; ++i) {
        wchar_t item[1024] = {};
        if (SendMessageW(hwnd, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0) < 1024) {
          SendMessageW(hwnd, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
        }
        std::cout << (i > 0 ? "," : "") << Quote(item);
      }
    }
    if (lower == Lower(WC_TABCONTROLW)) {
      std::cout << " selected=" << SendMessageW(hwnd, TCM_GETCURSEL, 0, 0)
                << " tabs=" << SendMessageW(hwnd, TCM_GETITEMCOUNT, 0, 0);
    }
    if (lower == Lower(PROGRESS_CLASSW)) {
      std::cout << " position=" << SendMessageW(hwnd, PBM_GETPOS, 0, 0);
    }
    std::cout << "\n";
  }
  std::cout.flush();
}

void SendKey(HWND top, WORD vk, bool shift) {
  // The key goes where the user's would: the focused control of the window's thread.
  const DWORD thread = GetWindowThreadProcessId(top, nullptr);
  GUITHREADINFO info = {sizeof(info)};
  HWND target = top;
  if (GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr) target = info.hwndFocus;
  const UINT scan = MapVirtualKeyW(vk, 0);
  if (shift) PostMessageW(target, WM_KEYDOWN, VK_SHIFT, 1);
  PostMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16));
  PostMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | (3u << 30));
  if (shift) PostMessageW(target, WM_KEYUP, VK_SHIFT, 1 | (3u << 30));
}

// Alt held while the key of `c` is pressed, as the keyboard sends it: the system makes the
// WM_SYSCHAR of a letter or digit from its key; another character is posted as that message.
void SendAltKey(HWND top, wchar_t c) {
  const DWORD thread = GetWindowThreadProcessId(top, nullptr);
  GUITHREADINFO info = {sizeof(info)};
  HWND target = top;
  if (GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr) target = info.hwndFocus;
  const LPARAM alt = 1 | (1 << 29);  // the context bit: Alt is down
  PostMessageW(target, WM_SYSKEYDOWN, VK_MENU, alt | (MapVirtualKeyW(VK_MENU, 0) << 16));
  const wchar_t upper = static_cast<wchar_t>(std::towupper(c));
  if ((upper >= L'A' && upper <= L'Z') || (upper >= L'0' && upper <= L'9')) {
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(upper, 0)) << 16;
    PostMessageW(target, WM_SYSKEYDOWN, upper, alt | scan);
    PostMessageW(target, WM_SYSKEYUP, upper, alt | scan | (3u << 30));
  } else {
    PostMessageW(target, WM_SYSCHAR, c, alt);
  }
  PostMessageW(target, WM_KEYUP, VK_MENU, 1 | (MapVirtualKeyW(VK_MENU, 0) << 16) | (3u << 30));
}

void Run(const std::vector<std::string>& w) {
  auto need = [&](size_t n) {
    if (w.size() != n + 1) throw Failure{"\"" + w[0] + "\" takes " + std::to_string(n) + " words"};
  };
  const std::string& cmd = w[0];
  if (cmd == "sleep") {
    need(1);
    Sleep(static_cast<DWORD>(std::stoul(w[1])));
  } else if (cmd == "wait") {
    if (w.size() == 3) {
      NeedControl(NeedWindow(w[1]), w[2]);
    } else {
      need(1);
      NeedWindow(w[1]);
    }
  } else if (cmd == "gone") {
    need(1);
    if (!Poll([&] { return FindTopLevel(Wide(w[1])) == nullptr; })) {
      throw Failure{"the window \"" + w[1] + "\" is still shown"};
    }
  } else if (cmd == "list") {
    need(1);
    List(NeedWindow(w[1]));
  } else if (cmd == "click") {
    need(2);
    HWND control = NeedControl(NeedWindow(w[1]), w[2]);
    SendMessageW(control, BM_CLICK, 0, 0);
  } else if (cmd == "post") {
    need(2);
    HWND control = NeedControl(NeedWindow(w[1]), w[2]);
    PostMessageW(control, BM_CLICK, 0, 0);
  } else if (cmd == "type" || cmd == "settext") {
    need(3);
    HWND control = NeedControl(NeedWindow(w[1]), w[2]);
    const std::wstring text = Wide(w[3]);
    if (cmd == "settext") {
      SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    } else {
      SendMessageW(control, EM_SETSEL, 0, -1);
      SendMessageW(control, WM_CLEAR, 0, 0);
      for (wchar_t c : text) SendMessageW(control, WM_CHAR, c, 1);
    }
  } else if (cmd == "select") {
    need(3);
    HWND top = NeedWindow(w[1]);
    HWND control = NeedControl(top, w[2]);
    const std::wstring cls = Lower(ClassOf(control));
    const std::wstring item = Wide(w[3]);
    const bool by_index = !item.empty() && item[0] == L'#';
    const int index = by_index ? _wtoi(item.c_str() + 1) : -1;
    if (cls == L"listbox") {
      LRESULT at = index;
      if (!by_index) {
        at = SendMessageW(control, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                          reinterpret_cast<LPARAM>(item.c_str()));
      }
      if (at < 0 || at >= SendMessageW(control, LB_GETCOUNT, 0, 0)) {
        throw Failure{"the list has no item \"" + w[3] + "\""};
      }
      SendMessageW(control, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
      SendMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), LBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(control));
    } else if (cls == Lower(WC_TABCONTROLW)) {
      if (index < 0 || index >= SendMessageW(control, TCM_GETITEMCOUNT, 0, 0)) {
        throw Failure{"tabs are selected by \"#N\""};
      }
      SendMessageW(control, TCM_SETCURFOCUS, static_cast<WPARAM>(index), 0);
    } else {
      // A group of radio buttons: the item is one of its buttons.
      std::vector<HWND> buttons;
      for (HWND c = GetWindow(control, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        if (Lower(ClassOf(c)) == L"button") buttons.push_back(c);
      }
      std::sort(buttons.begin(), buttons.end(),
                [](HWND a, HWND b) { return GetDlgCtrlID(a) < GetDlgCtrlID(b); });
      HWND target = nullptr;
      for (size_t i = 0; i < buttons.size() && target == nullptr; ++i) {
        if (by_index ? static_cast<int>(i) == index
                     : Lower(Shown(TextOf(buttons[i]))) == Lower(Shown(item))) {
          target = buttons[i];
        }
      }
      if (target == nullptr) throw Failure{"the group has no item \"" + w[3] + "\""};
      SendMessageW(target, BM_CLICK, 0, 0);
    }
  } else if (cmd == "key") {
    need(2);
    HWND top = NeedWindow(w[1]);
    const std::string key = w[2];
    const std::wstring character = key.rfind("alt+", 0) == 0 ? Wide(key.substr(4)) : L"";
    if (character.size() == 1) {
      SendAltKey(top, character[0]);
      return;
    }
    static const std::vector<std::pair<std::string, WORD>> keys = {
        {"enter", VK_RETURN}, {"esc", VK_ESCAPE}, {"tab", VK_TAB},   {"shift+tab", VK_TAB},
        {"up", VK_UP},        {"down", VK_DOWN},  {"left", VK_LEFT}, {"right", VK_RIGHT}};
    const auto found =
        std::find_if(keys.begin(), keys.end(), [&](const auto& k) { return k.first == key; });
    if (found == keys.end()) throw Failure{"unknown key \"" + key + "\""};
    SendKey(top, found->second, key == "shift+tab");
  } else if (cmd == "focused") {
    need(2);
    HWND top = NeedWindow(w[1]);
    HWND control = NeedControl(top, w[2]);
    const DWORD thread = GetWindowThreadProcessId(top, nullptr);
    HWND focus = nullptr;
    if (!Poll([&] {
          GUITHREADINFO info = {sizeof(info)};
          focus = GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
          return focus != nullptr && (focus == control || IsChild(control, focus));
        })) {
      throw Failure{"the focus is on " +
                    (focus != nullptr ? Quote(ClassOf(focus)) + " " + Quote(NameOf(focus)) + " " +
                                            Quote(TextOf(focus))
                                      : std::string("no control")) +
                    ", not on \"" + w[2] + "\""};
    }
  } else if (cmd == "close") {
    need(1);
    PostMessageW(NeedWindow(w[1]), WM_SYSCOMMAND, SC_CLOSE, 0);
  } else if (cmd == "expect") {
    need(3);
    HWND top = NeedWindow(w[1]);
    HWND control = NeedControl(top, w[2]);
    std::wstring text;
    if (!Poll([&] { return (text = TextOf(control)) == Wide(w[3]); })) {
      throw Failure{"\"" + w[2] + "\" shows " + Quote(text) + ", not \"" + w[3] + "\""};
    }
  } else {
    throw Failure{"unknown command \"" + cmd + "\""};
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::vector<std::vector<std::string>> commands;
  try {
    size_t at = 0;
    if (at + 1 < args.size() && args[at] == "--timeout") {
      g_timeout_ms = static_cast<DWORD>(std::stoul(args[at + 1]));
      at += 2;
    }
    if (at + 1 < args.size() && args[at] == "--script") {
      std::ifstream file;
      std::istream* in = &std::cin;
      if (args[at + 1] != "-") {
        file.open(args[at + 1]);
        if (!file) throw Failure{"cannot read " + args[at + 1]};
        in = &file;
      }
      std::string line;
      while (std::getline(*in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        commands.push_back(tmby::platform::script::ScriptUi::SplitWords(line));
      }
    } else if (at < args.size()) {
      commands.emplace_back(args.begin() + static_cast<std::ptrdiff_t>(at), args.end());
    } else {
      std::cerr << "usage: uidriver [--timeout MS] COMMAND ARGS... | --script FILE\n";
      return 2;
    }
  } catch (const Failure& f) {
    std::cerr << "uidriver: " << f.message << "\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "uidriver: " << e.what() << "\n";
    return 2;
  }
  for (const auto& command : commands) {
    try {
      Run(command);
    } catch (const Failure& f) {
      std::cerr << "uidriver: " << command[0] << ": " << f.message << "\n";
      return 1;
    } catch (const std::exception& e) {
      std::cerr << "uidriver: " << command[0] << ": " << e.what() << "\n";
      return 1;
    }
  }
  return 0;
}
