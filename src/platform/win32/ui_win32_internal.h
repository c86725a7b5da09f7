// Inside the UI part of the Windows adapter: what its windows and its native controls share.
#pragma once

#include <windows.h>
#undef MessageBox
#undef DrawText
#undef TextOut

#include <memory>
#include <string>

#include "platform/ui_port.h"
#include "platform/win32/ui_win32.h"
#include "platform/win32/win32_port.h"

namespace tmby::platform::win32 {

// Window properties the adapter puts on its windows. A UI driver reads kPropName (a global atom
// holding the component name) to find a control by the name the definition gives it. Property
// names are atoms, one table for both character sets: the ANSI functions serve every Windows.
inline constexpr char kPropControl[] = "TmbyControl";  // the adapter's control object
inline constexpr char kPropName[] = "TmbyName";

// Puts the component name on a window (nothing for an empty name) / takes it off again.
void SetNameProp(HWND hwnd, const std::string& name, ApiCharset charset);
void RemoveNameProp(HWND hwnd);

// The window functions that take text, in both character sets (see TextApi in win32_internal.h).
// clang-format off
inline HWND CreateWindowExT(DWORD x, const char* c, const char* t, DWORD s, const ui::TRect& b, HWND o, HMENU id, void* p) { return CreateWindowExA(x, c, t, s, b.Left, b.Top, b.Width(), b.Height(), o, id, GetModuleHandleA(nullptr), p); }
inline HWND CreateWindowExT(DWORD x, const wchar_t* c, const wchar_t* t, DWORD s, const ui::TRect& b, HWND o, HMENU id, void* p) { return CreateWindowExW(x, c, t, s, b.Left, b.Top, b.Width(), b.Height(), o, id, GetModuleHandleW(nullptr), p); }
inline BOOL SetWindowTextT(HWND w, const char* t) { return SetWindowTextA(w, t); }
inline BOOL SetWindowTextT(HWND w, const wchar_t* t) { return SetWindowTextW(w, t); }
// clang-format on

// The extended styles of a top-level window whose texts read from the right: its frame and
// caption mirrored, its caption read from the right, and the windows on it not mirrored (the
// model has laid them out as they are to be seen).
inline constexpr DWORD kMirroredWindow = WS_EX_LAYOUTRTL | WS_EX_NOINHERITLAYOUT | WS_EX_RTLREADING;

// Where a child window of `parent` goes for the model's `bounds` in the parent's client area: a
// mirrored parent counts its client x from the right edge, so the bounds are handed over
// mirrored back.
ui::TRect ChildPlacement(HWND parent, const ui::TRect& bounds);

// Places a native control this adapter made (`hwnd`) again at its model bounds, after its
// parent turned; nothing for another window.
void PlaceControlAgain(HWND hwnd);

// A window got WM_COMMAND, WM_NOTIFY or WM_CTLCOLOR* from one of the adapter's controls on it:
// the control handles it. True when it did; `*result` is then the message's result.
bool RouteChildMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result);

// A native control of `params.kind` on the window `parent`, made and spoken to through the API
// of `charset` (the ANSI functions on Windows 9x, whose wide window functions are stubs), its
// bounds and font in design pixels scaled for the display by `scale`.
std::unique_ptr<IUiControl> CreateNativeControl(HWND parent, const ControlParams& params,
                                                IUiControlEvents* events, ApiCharset charset,
                                                const DpiScale& scale);

// The window of a native control this adapter made, or null.
HWND ControlHandle(IUiControl* control);

// Registers the window class of panels ("TTamberlyControl") once, in the character set of the
// first adapter made (as the forms' class).
void RegisterControlClass(ApiCharset charset);

// Hands the exception being handled, which must not unwind through the system's frames, to the
// adapter, whose message loop throws it again where the application's handler sees it.
void KeepCurrentException(const char* where);

}  // namespace tmby::platform::win32
