// The native controls of the Windows adapter: the system's own BUTTON, EDIT, LISTBOX, STATIC,
// msctls_progress32, SysTabControl32 and rich-edit controls, and the kit's own panel class, each a
// child window of its host. The system controls are subclassed: focus and key releases come back
// to the model, and the containers among them (group boxes, radio groups, tab strips) pass the
// notifications of their own children on, as the kit's windows do. On the ANSI path (Windows 9x)
// every control is made, subclassed and spoken to through the ANSI functions, its texts in the
// system's code page: the wide window functions of 9x are stubs, and a control made through them
// would not exist there.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <type_traits>
#include <vector>

#include "platform/rtf_text.h"
#include "platform/win32/ui_win32.h"
#include "platform/win32/ui_win32_internal.h"
#include "platform/win32/win32_internal.h"

namespace tmby::platform::win32 {

namespace {

const char kControlClass[] = "TTamberlyControl";

// Control identifiers: unique enough for a UI driver to tell siblings apart.
int g_next_id = 1000;

// The rich-text control's window class: RICHED20.DLL's, else RICHED32.DLL's; empty when neither
// library loads (the viewer then falls back to a read-only edit with the plain text).
struct RichEditClass {
  const char* name = nullptr;
  bool version2 = false;
};
RichEditClass LoadRichEdit() {
  static const RichEditClass loaded = [] {
    if (LoadLibraryA("RICHED20.DLL") != nullptr) return RichEditClass{"RichEdit20A", true};
    if (LoadLibraryA("RICHED32.DLL") != nullptr) return RichEditClass{"RICHEDIT", false};
    return RichEditClass{};
  }();
  return loaded;
}

void EnsureCommonControls() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_PROGRESS_CLASS | ICC_TAB_CLASSES};
    return InitCommonControlsEx(&icc) != FALSE;
  }();
  (void)done;
}

struct StreamSource {
  const std::string* bytes;
  size_t at;
};

DWORD CALLBACK StreamIn(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* done) {
  auto* source = reinterpret_cast<StreamSource*>(cookie);
  const size_t left = source->bytes->size() - source->at;
  const size_t n = std::min(left, static_cast<size_t>(std::max<LONG>(size, 0)));
  std::copy_n(source->bytes->data() + source->at, n, buffer);
  source->at += n;
  *done = static_cast<LONG>(n);
  return 0;
}

class Win32Control : public IUiControl {
 public:
  Win32Control(HWND parent, const ControlParams& params, IUiControlEvents* events,
               ApiCharset charset, const DpiScale& scale)
      : params_(params), events_(events), charset_(charset), scale_(scale), text_(charset) {
    EnsureCommonControls();
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD ex_style = 0;
    const char* cls = kControlClass;
    std::string text = params.text;
    switch (params.kind) {
      case ControlKind::kPanel:
        style |= WS_CLIPCHILDREN;
        ex_style |= WS_EX_CONTROLPARENT;
        break;
      case ControlKind::kButton:
        cls = "BUTTON";
        style |= (params.default_button ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        break;
      case ControlKind::kCheckBox:
        cls = "BUTTON";
        style |= BS_AUTOCHECKBOX;
        break;
      case ControlKind::kGroupBox:
      case ControlKind::kRadioGroup:
        cls = "BUTTON";
        style |= BS_GROUPBOX | WS_CLIPCHILDREN;
        ex_style |= WS_EX_CONTROLPARENT;
        break;
      case ControlKind::kEdit:
        cls = "EDIT";
        style |= ES_AUTOHSCROLL | (params.read_only ? ES_READONLY : 0);
        ex_style |= WS_EX_CLIENTEDGE;
        break;
      case ControlKind::kMemo:
        cls = "EDIT";
        style |=
            ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | (params.read_only ? ES_READONLY : 0);
        if (params.vertical_scroll) style |= WS_VSCROLL;
        if (!params.word_wrap) style |= ES_AUTOHSCROLL | WS_HSCROLL;
        ex_style |= WS_EX_CLIENTEDGE;
        break;
      case ControlKind::kRichEdit: {
        const RichEditClass rich = LoadRichEdit();
        rich_ = rich.name != nullptr;
        rich2_ = rich.version2;
        cls = rich_ ? rich.name : "EDIT";
        style |= ES_MULTILINE | ES_AUTOVSCROLL | (params.read_only ? ES_READONLY : 0);
        if (params.vertical_scroll) style |= WS_VSCROLL;
        ex_style |= WS_EX_CLIENTEDGE;
        text.clear();  // filled below, as rich or plain text
        break;
      }
      case ControlKind::kListBox:
        cls = "LISTBOX";
        style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL;
        ex_style |= WS_EX_CLIENTEDGE;
        break;
      case ControlKind::kLabel:
        cls = "STATIC";
        style |= params.alignment == 1   ? SS_RIGHT
                 : params.alignment == 2 ? SS_CENTER
                 : params.word_wrap      ? SS_LEFT
                                         : SS_LEFTNOWORDWRAP;
        if (params.vertical_center && !params.word_wrap) style |= SS_CENTERIMAGE;
        if (!params.show_accel_char) style |= SS_NOPREFIX;
        break;
      case ControlKind::kProgressBar: cls = PROGRESS_CLASSA; break;
      case ControlKind::kTabControl:
        cls = WC_TABCONTROLA;
        style |= WS_CLIPCHILDREN;
        ex_style |= WS_EX_CONTROLPARENT;
        break;
    }
    if (params.right_to_left) RightToLeftStyles(params.kind, &style, &ex_style);
    if (params.tab_stop) style |= WS_TABSTOP;
    if (!params.enabled) style |= WS_DISABLED;
    const int id = g_next_id++;
    hwnd_ = text_.WithShown(
        [&](const auto& class_name, const auto& shown) {
          return CreateWindowExT(ex_style, class_name.c_str(), shown.c_str(), style,
                                 ChildPlacement(parent, scale_.Px(params.bounds)), parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr);
        },
        std::string(cls), text);
    if (hwnd_ == nullptr) return;
    SetPropA(hwnd_, kPropControl, this);
    SetNameProp(hwnd_, params.name, charset_);
    if (cls != kControlClass) old_proc_ = Subclass(hwnd_);
    // Later controls lie above the earlier ones, as the model paints them.
    SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    background_ = CreateSolidBrush(params.background_rgb);
    SetFont(params.font);
    setting_ = true;
    switch (params.kind) {
      case ControlKind::kCheckBox:
        Send(hwnd_, BM_SETCHECK, params.checked ? BST_CHECKED : BST_UNCHECKED, 0);
        break;
      case ControlKind::kRichEdit:
        if (rich_) Send(hwnd_, EM_SETEVENTMASK, 0, ENM_CHANGE);
        SetPlainText(params.text);
        break;
      case ControlKind::kProgressBar:
        Send(hwnd_, PBM_SETRANGE32, static_cast<WPARAM>(params.min),
             static_cast<LPARAM>(params.max));
        Send(hwnd_, PBM_SETPOS, static_cast<WPARAM>(params.position), 0);
        break;
      default: break;
    }
    setting_ = false;
    if (!params.items.empty() || params.kind == ControlKind::kRadioGroup) {
      SetItemsNow(params.items);
      SetItemIndex(params.item_index);
    }
    if (params.visible) ShowWindow(hwnd_, SW_SHOWNA);
  }

  ~Win32Control() override {
    if (hwnd_ != nullptr) {
      const HWND hwnd = hwnd_;
      Forget();
      DestroyWindow(hwnd);
    }
    if (background_ != nullptr) DeleteObject(background_);
  }

  HWND Handle() const { return hwnd_; }
  void PlaceAgain() { SetBounds(params_.bounds); }

  // The styles of a control whose text reads from the right: the system reads its text so, and
  // it leads with its right side (a check box's box and a group's caption on the right, a
  // scroll bar on the left, a progress bar filling from the right). A rich-text viewer keeps
  // the reading of its document, which says its own direction.
  static void RightToLeftStyles(ControlKind kind, DWORD* style, DWORD* ex_style) {
    if (kind != ControlKind::kRichEdit) *ex_style |= WS_EX_RTLREADING;
    switch (kind) {
      case ControlKind::kEdit:
      case ControlKind::kMemo:
        *style |= ES_RIGHT;
        *ex_style |= WS_EX_LEFTSCROLLBAR;
        break;
      case ControlKind::kRichEdit: *ex_style |= WS_EX_LEFTSCROLLBAR; break;
      case ControlKind::kListBox: *ex_style |= WS_EX_RIGHT | WS_EX_LEFTSCROLLBAR; break;
      case ControlKind::kCheckBox: *style |= BS_RIGHTBUTTON | BS_RIGHT; break;
      case ControlKind::kGroupBox:
      case ControlKind::kRadioGroup: *style |= BS_RIGHT; break;
      case ControlKind::kProgressBar: *ex_style |= WS_EX_LAYOUTRTL; break;
      default: break;
    }
  }

  std::unique_ptr<IUiControl> CreateControl(const ControlParams& params,
                                            IUiControlEvents* events) override {
    return CreateNativeControl(hwnd_, params, events, charset_, scale_);
  }

  void SetBounds(const ui::TRect& b) override {
    params_.bounds = b;
    if (hwnd_ == nullptr) return;
    const ui::TRect placed = ChildPlacement(GetParent(hwnd_), scale_.Px(b));
    MoveWindow(hwnd_, placed.Left, placed.Top, placed.Width(), placed.Height(), TRUE);
    if (params_.kind == ControlKind::kRadioGroup) LayoutItems();
  }
  void SetVisible(bool visible) override {
    params_.visible = visible;
    if (hwnd_ != nullptr) ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
  }
  void SetEnabled(bool enabled) override {
    params_.enabled = enabled;
    if (hwnd_ == nullptr) return;
    EnableWindow(hwnd_, enabled ? TRUE : FALSE);
    for (HWND item : items_) EnableWindow(item, enabled ? TRUE : FALSE);
  }
  void SetText(const std::string& text) override {
    params_.text = text;
    if (hwnd_ == nullptr) return;
    setting_ = true;
    if (params_.kind == ControlKind::kRichEdit) {
      SetPlainText(text);
    } else {
      text_.WithShown([&](const auto& shown) { return SetWindowTextT(hwnd_, shown.c_str()); },
                      text);
    }
    setting_ = false;
    // A label's old text must not show through where the new one is shorter.
    if (params_.kind == ControlKind::kLabel) InvalidateRect(hwnd_, nullptr, TRUE);
  }
  void SetFont(const ui::TFontSpec& font) override {
    params_.font = font;
    if (hwnd_ == nullptr) return;
    auto made = std::make_unique<GdiFont>(scale_.Px(font), charset_);
    Send(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(made->Handle()), TRUE);
    for (HWND item : items_) {
      Send(item, WM_SETFONT, reinterpret_cast<WPARAM>(made->Handle()), TRUE);
    }
    font_ = std::move(made);  // the old font is deleted once nothing uses it
    if (params_.kind == ControlKind::kRadioGroup) LayoutItems();
  }
  void SetBackground(uint32_t rgb) override {
    params_.background_rgb = rgb;
    if (background_ != nullptr) DeleteObject(background_);
    background_ = CreateSolidBrush(rgb);
    if (hwnd_ != nullptr) InvalidateRect(hwnd_, nullptr, TRUE);
  }
  void SetDefault(bool default_button) override {
    params_.default_button = default_button;
    if (hwnd_ == nullptr || params_.kind != ControlKind::kButton) return;
    Send(hwnd_, BM_SETSTYLE, default_button ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  }
  void SetChecked(bool checked) override {
    params_.checked = checked;
    if (hwnd_ == nullptr) return;
    Send(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  void SetReadOnly(bool read_only) override {
    params_.read_only = read_only;
    if (hwnd_ != nullptr) Send(hwnd_, EM_SETREADONLY, read_only ? TRUE : FALSE, 0);
  }
  void SetItems(const std::vector<std::string>& items) override {
    params_.items = items;
    SetItemsNow(items);
  }
  void SetItemIndex(int index) override {
    params_.item_index = index;
    if (hwnd_ == nullptr) return;
    switch (params_.kind) {
      case ControlKind::kListBox: Send(hwnd_, LB_SETCURSEL, static_cast<WPARAM>(index), 0); break;
      case ControlKind::kTabControl:
        Send(hwnd_, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
        break;
      case ControlKind::kRadioGroup:
        for (size_t i = 0; i < items_.size(); ++i) {
          Send(items_[i], BM_SETCHECK, static_cast<int>(i) == index ? BST_CHECKED : BST_UNCHECKED,
               0);
        }
        break;
      default: break;
    }
  }
  void SetPosition(int position) override {
    params_.position = position;
    if (hwnd_ != nullptr) Send(hwnd_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  }
  void SetRichText(const std::string& rtf) override {
    if (hwnd_ == nullptr) return;
    setting_ = true;
    if (rich_) {
      StreamSource source{&rtf, 0};
      EDITSTREAM stream = {};
      stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
      stream.pfnCallback = &StreamIn;
      Send(hwnd_, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    } else {
      SetPlainText(RtfToText(rtf));
    }
    setting_ = false;
  }
  void Invalidate() override {
    if (hwnd_ != nullptr) InvalidateRect(hwnd_, nullptr, params_.kind != ControlKind::kPanel);
  }
  void SetFocus() override {
    if (hwnd_ == nullptr) return;
    HWND target = hwnd_;
    if (params_.kind == ControlKind::kRadioGroup && !items_.empty()) {
      const size_t index = params_.item_index >= 0 ? static_cast<size_t>(params_.item_index) : 0;
      target = items_[std::min(index, items_.size() - 1)];
    }
    if (GetFocus() != target) ::SetFocus(target);
  }
  void BringToFront() override {
    if (hwnd_ != nullptr) {
      SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }

  // A notification the control sent to its parent (or, for radio items, to the group).
  bool Notify(UINT msg, WPARAM wparam, LPARAM lparam, HWND from, LRESULT* result) {
    switch (msg) {
      case WM_COMMAND: {
        const UINT code = HIWORD(wparam);
        if (setting_) return true;
        if (params_.kind == ControlKind::kRadioGroup) {
          if (code == BN_CLICKED) {
            const int index = GetDlgCtrlID(from) - 1;
            events_->NativeSelect(index);
          }
        } else if (code == BN_CLICKED && params_.kind == ControlKind::kButton) {
          events_->NativeClick(false);
        } else if (code == BN_CLICKED && params_.kind == ControlKind::kCheckBox) {
          params_.checked = Send(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
          events_->NativeClick(params_.checked);
        } else if (code == EN_CHANGE) {
          params_.text = WindowText();
          events_->NativeTextChanged(params_.text);
        } else if (code == LBN_SELCHANGE) {
          params_.item_index = static_cast<int>(Send(hwnd_, LB_GETCURSEL, 0, 0));
          events_->NativeSelect(params_.item_index);
        }
        *result = 0;
        return true;
      }
      case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lparam);
        if (params_.kind == ControlKind::kTabControl && header->code == TCN_SELCHANGE &&
            !setting_) {
          params_.item_index = static_cast<int>(Send(hwnd_, TCM_GETCURSEL, 0, 0));
          events_->NativeSelect(params_.item_index);
        }
        *result = 0;
        return true;
      }
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORLISTBOX:
      case WM_CTLCOLORBTN: {
        if (params_.kind == ControlKind::kButton) return false;  // push buttons draw their own
        HDC dc = reinterpret_cast<HDC>(wparam);
        SetTextColor(dc, ui::ColorToRGB(params_.font.Color));
        SetBkColor(dc, params_.background_rgb);
        *result = reinterpret_cast<LRESULT>(background_);
        return true;
      }
      default: return false;
    }
  }

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto* self = static_cast<Win32Control*>(GetPropA(hwnd, kPropControl));
    if (self == nullptr || self->hwnd_ == nullptr) return Default(hwnd, msg, wparam, lparam);
    const WNDPROC old_proc = self->old_proc_;
    try {
      // A radio item: the group's object handles it, the item's own procedure draws it.
      if (hwnd != self->hwnd_) {
        if (msg == WM_SETFOCUS) self->events_->NativeFocused();
        if (msg == WM_NCDESTROY) {
          RemovePropA(hwnd, kPropControl);
          self->Unsubclass(hwnd, self->item_proc_);
        }
        return self->CallOld(self->item_proc_, hwnd, msg, wparam, lparam);
      }
      LRESULT result = 0;
      if (self->params_.kind == ControlKind::kRadioGroup) {
        // The group's own radio items report to it.
        const auto from = reinterpret_cast<HWND>(lparam);
        if (msg != WM_NOTIFY && msg != WM_ERASEBKGND &&
            std::find(self->items_.begin(), self->items_.end(), from) != self->items_.end() &&
            self->Notify(msg, wparam, lparam, from, &result)) {
          return result;
        }
      }
      if (RouteChildMessage(msg, wparam, lparam, &result)) return result;
      switch (msg) {
        case WM_SETFOCUS: self->events_->NativeFocused(); break;
        case WM_KEYUP: self->events_->NativeKeyUp(static_cast<int>(wparam)); break;
        case WM_ERASEBKGND:
          if (self->params_.kind == ControlKind::kGroupBox ||
              self->params_.kind == ControlKind::kRadioGroup) {
            RECT r{};
            GetClientRect(hwnd, &r);
            FillRect(reinterpret_cast<HDC>(wparam), &r, self->background_);
            return 1;
          }
          break;
        case WM_NCDESTROY: {
          self->Forget();
          self->Unsubclass(hwnd, old_proc);
          return self->CallOld(old_proc, hwnd, msg, wparam, lparam);
        }
        default: break;
      }
    } catch (...) {
      KeepCurrentException("a control's window procedure");
      return 0;
    }
    return self->CallOld(old_proc, hwnd, msg, wparam, lparam);
  }

 public:
  static LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto* self = static_cast<Win32Control*>(GetPropA(hwnd, kPropControl));
    if (self == nullptr || self->hwnd_ == nullptr) return Default(hwnd, msg, wparam, lparam);
    try {
      LRESULT result = 0;
      if (RouteChildMessage(msg, wparam, lparam, &result)) return result;
      switch (msg) {
        case WM_ERASEBKGND: return 1;  // WM_PAINT covers everything
        case WM_PAINT: self->PaintPanel(); return 0;
        case WM_SETFOCUS: self->events_->NativeFocused(); return 0;
        case WM_NCDESTROY: self->Forget(); break;
        default: break;
      }
    } catch (...) {
      KeepCurrentException("a panel's window procedure");
      return 0;
    }
    return Default(hwnd, msg, wparam, lparam);
  }

 private:
  // The default procedure of the window's character set: a panel's class is registered in the
  // adapter's set, and a window made through one set stays in it.
  static LRESULT Default(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    return IsWindowUnicode(hwnd) ? DefWindowProcW(hwnd, msg, wparam, lparam)
                                 : DefWindowProcA(hwnd, msg, wparam, lparam);
  }

  LRESULT Send(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) const {
    return text_.Ansi() ? SendMessageA(hwnd, msg, wparam, lparam)
                        : SendMessageW(hwnd, msg, wparam, lparam);
  }
  // A system control takes the subclass procedure through the API of its character set: set
  // through the other one, the system would convert every text message on the way.
  WNDPROC Subclass(HWND hwnd) const {
    const auto proc = reinterpret_cast<LONG_PTR>(&SubclassProc);
    return reinterpret_cast<WNDPROC>(text_.Ansi() ? SetWindowLongPtrA(hwnd, GWLP_WNDPROC, proc)
                                                  : SetWindowLongPtrW(hwnd, GWLP_WNDPROC, proc));
  }
  void Unsubclass(HWND hwnd, WNDPROC proc) const {
    const auto old = reinterpret_cast<LONG_PTR>(proc);
    if (text_.Ansi()) {
      SetWindowLongPtrA(hwnd, GWLP_WNDPROC, old);
    } else {
      SetWindowLongPtrW(hwnd, GWLP_WNDPROC, old);
    }
  }
  LRESULT CallOld(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) const {
    return text_.Ansi() ? CallWindowProcA(proc, hwnd, msg, wparam, lparam)
                        : CallWindowProcW(proc, hwnd, msg, wparam, lparam);
  }

  void Forget() {
    if (hwnd_ == nullptr) return;
    RemovePropA(hwnd_, kPropControl);
    RemoveNameProp(hwnd_);
    hwnd_ = nullptr;
    items_.clear();
  }

  std::string WindowText() const {
    if (text_.Ansi()) return Text<char>(GetWindowTextLengthA, GetWindowTextA);
    return Text<wchar_t>(GetWindowTextLengthW, GetWindowTextW);
  }
  template <typename C, typename Length, typename Get>
  std::string Text(Length length, Get get) const {
    const int n = length(hwnd_);
    std::basic_string<C> text(static_cast<size_t>(std::max(n, 0)) + 1, C(0));
    const int got = get(hwnd_, text.data(), n + 1);
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return FromApi(text);
  }

  void SetPlainText(const std::string& text) {
    text_.WithShown(
        [&](const auto& shown) {
          if (rich_ && rich2_) {
            // UTF-16 (code page 1200) or the ANSI code page, as the text is.
            SETTEXTEX how = {ST_DEFAULT, text_.Ansi() ? CP_ACP : 1200u};
            return Send(hwnd_, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how),
                        reinterpret_cast<LPARAM>(shown.c_str()));
          }
          return static_cast<LRESULT>(SetWindowTextT(hwnd_, shown.c_str()));
        },
        text);
  }

  void SetItemsNow(const std::vector<std::string>& items) {
    if (hwnd_ == nullptr) return;
    setting_ = true;
    switch (params_.kind) {
      case ControlKind::kListBox:
        Send(hwnd_, LB_RESETCONTENT, 0, 0);
        for (const std::string& item : items) {
          text_.WithShown(
              [&](const auto& shown) {
                return Send(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown.c_str()));
              },
              item);
        }
        break;
      case ControlKind::kTabControl: {
        Send(hwnd_, TCM_DELETEALLITEMS, 0, 0);
        for (size_t i = 0; i < items.size(); ++i) {
          text_.WithShown([&](auto shown) { return InsertTab(i, shown.data()); }, items[i]);
        }
        break;
      }
      case ControlKind::kRadioGroup: {
        for (HWND item : items_) DestroyWindow(item);
        items_.clear();
        for (size_t i = 0; i < items.size(); ++i) {
          DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | BS_RADIOBUTTON |
                        (i == 0 ? WS_GROUP : 0) | (params_.tab_stop ? WS_TABSTOP : 0) |
                        (params_.enabled ? 0 : WS_DISABLED);
          DWORD ex_style = 0;
          if (params_.right_to_left) RightToLeftStyles(ControlKind::kCheckBox, &style, &ex_style);
          HWND item = text_.WithShown(
              [&](const auto& class_name, const auto& shown) {
                return CreateWindowExT(
                    ex_style, class_name.c_str(), shown.c_str(), style, ui::TRect{}, hwnd_,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(i + 1)), nullptr);
              },
              std::string("BUTTON"), items[i]);
          if (item == nullptr) continue;
          SetWindowPos(item, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
          SetPropA(item, kPropControl, this);
          item_proc_ = Subclass(item);
          if (font_ != nullptr) {
            Send(item, WM_SETFONT, reinterpret_cast<WPARAM>(font_->Handle()), FALSE);
          }
          items_.push_back(item);
        }
        LayoutItems();
        break;
      }
      default: break;
    }
    setting_ = false;
  }

  // The radio items in rows and columns below the group's caption, as the model paints them.
  void LayoutItems() {
    if (items_.empty()) return;
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int caption = ui::FontPixelHeight(scale_.Px(params_.font));
    const int margin = scale_.Px(2);
    const ui::TRect area{client.left + margin, client.top + caption + margin, client.right - margin,
                         client.bottom - margin};
    const int count = static_cast<int>(items_.size());
    const int columns = std::max(1, params_.columns);
    const int rows = (count + columns - 1) / columns;
    const int column_width = area.Width() / columns;
    const int row_height = std::max(1, area.Height() / rows);
    const int item_height = std::min(row_height, caption + scale_.Px(8));
    for (int i = 0; i < count; ++i) {
      // Columns go from the right when the group reads from the right.
      const int column = params_.right_to_left ? columns - 1 - i / rows : i / rows;
      const int left = area.Left + column * column_width + 2 * margin;
      const int top = area.Top + (i % rows) * row_height + (row_height - item_height) / 2;
      MoveWindow(items_[static_cast<size_t>(i)], left, top, column_width - 4 * margin, item_height,
                 TRUE);
    }
  }

  void PaintPanel() {
    // The paint ends, and the bitmap and its device context go, also when the model's painting
    // throws: otherwise every failed paint would leave two GDI objects behind.
    struct Paint {
      HWND hwnd;
      PAINTSTRUCT ps{};
      HDC dc = BeginPaint(hwnd, &ps);
      ~Paint() { EndPaint(hwnd, &ps); }
    } paint{hwnd_};
    RECT r{};
    GetClientRect(hwnd_, &r);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return;
    struct Buffer {
      HDC memory;
      HBITMAP bitmap;
      HGDIOBJ old = SelectObject(memory, bitmap);
      ~Buffer() {
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
      }
    } buffer{CreateCompatibleDC(paint.dc), CreateCompatibleBitmap(paint.dc, w, h)};
    {
      GdiCanvas canvas(buffer.memory, w, h, charset_, scale_);
      events_->NativePaint(canvas);
    }
    BitBlt(paint.dc, 0, 0, w, h, buffer.memory, 0, 0, SRCCOPY);
  }

  LRESULT InsertTab(size_t index, char* text) const {
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    return Send(hwnd_, TCM_INSERTITEMA, index, reinterpret_cast<LPARAM>(&item));
  }
  LRESULT InsertTab(size_t index, wchar_t* text) const {
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    return Send(hwnd_, TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&item));
  }

  HWND hwnd_ = nullptr;
  ControlParams params_;
  IUiControlEvents* events_;
  ApiCharset charset_;
  DpiScale scale_;
  TextApi text_;
  WNDPROC old_proc_ = nullptr;
  WNDPROC item_proc_ = nullptr;
  HBRUSH background_ = nullptr;
  std::unique_ptr<GdiFont> font_;
  std::vector<HWND> items_;  // radio items
  bool setting_ = false;     // a change made here, not by the user
  bool rich_ = false;        // a rich-text control (not the plain edit fallback)
  bool rich2_ = false;       // of version 2.0 or later
};

}  // namespace

void SetNameProp(HWND hwnd, const std::string& name, ApiCharset charset) {
  if (name.empty()) return;
  const ATOM atom = TextApi(charset).WithShown(
      [](const auto& shown) {
        if constexpr (std::is_same_v<CharOf<decltype(shown)>, char>) {
          return GlobalAddAtomA(shown.c_str());
        } else {
          return GlobalAddAtomW(shown.c_str());
        }
      },
      name);
  if (atom != 0) SetPropA(hwnd, kPropName, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(atom)));
}

void RemoveNameProp(HWND hwnd) {
  const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(RemovePropA(hwnd, kPropName)));
  if (atom != 0) GlobalDeleteAtom(atom);
}

bool RouteChildMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  HWND from = nullptr;
  switch (msg) {
    case WM_COMMAND: from = reinterpret_cast<HWND>(lparam); break;
    case WM_NOTIFY: from = reinterpret_cast<const NMHDR*>(lparam)->hwndFrom; break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN: from = reinterpret_cast<HWND>(lparam); break;
    default: return false;
  }
  if (from == nullptr) return false;
  auto* control = static_cast<Win32Control*>(GetPropA(from, kPropControl));
  if (control == nullptr || control->Handle() != from) return false;
  return control->Notify(msg, wparam, lparam, from, result);
}

void PlaceControlAgain(HWND hwnd) {
  auto* control = static_cast<Win32Control*>(GetPropA(hwnd, kPropControl));
  if (control != nullptr && control->Handle() == hwnd) control->PlaceAgain();
}

HWND ControlHandle(IUiControl* control) {
  auto* c = dynamic_cast<Win32Control*>(control);
  return c != nullptr ? c->Handle() : nullptr;
}

std::unique_ptr<IUiControl> CreateNativeControl(HWND parent, const ControlParams& params,
                                                IUiControlEvents* events, ApiCharset charset,
                                                const DpiScale& scale) {
  RegisterControlClass(charset);
  auto control = std::make_unique<Win32Control>(parent, params, events, charset, scale);
  if (control->Handle() == nullptr) {
    throw std::runtime_error("Error creating the control " + params.name + " (system error " +
                             std::to_string(GetLastError()) + ")");
  }
  return control;
}

void RegisterControlClass(ApiCharset charset) {
  static const bool registered = [charset] {
    const std::wstring wide_name = Wide(kControlClass);
    auto fill = [&](auto& wc) {
      wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
      wc.lpfnWndProc = &Win32Control::PanelProc;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    };
    if (charset == ApiCharset::Ansi) {
      WNDCLASSA wc = {};
      fill(wc);
      wc.lpszClassName = kControlClass;
      return RegisterClassA(&wc) != 0;
    }
    WNDCLASSW wc = {};
    fill(wc);
    wc.lpszClassName = wide_name.c_str();
    return RegisterClassW(&wc) != 0;
  }();
  (void)registered;
}

}  // namespace tmby::platform::win32
