// Inside the UI part of the Windows adapter: what its windows and its native controls share.
#pragma once

#include <windows.h>
#undef MessageBox
#undef DrawText
#undef TextOut

#include <memory>
#include <string>

#include "platform/ui_port.h"

namespace tmby::platform::win32 {

// Window properties the adapter puts on its windows. A UI driver reads kPropName (a global atom
// holding the component name) to find a control by the name the definition gives it.
inline constexpr wchar_t kPropControl[] = L"TmbyControl";  // the adapter's control object
inline constexpr wchar_t kPropName[] = L"TmbyName";

// Puts the component name on a window (nothing for an empty name) / takes it off again.
void SetNameProp(HWND hwnd, const std::string& name);
void RemoveNameProp(HWND hwnd);

// A window got WM_COMMAND, WM_NOTIFY or WM_CTLCOLOR* from one of the adapter's controls on it:
// the control handles it. True when it did; `*result` is then the message's result.
bool RouteChildMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result);

// A native control of `params.kind` on the window `parent`.
std::unique_ptr<IUiControl> CreateNativeControl(HWND parent, const ControlParams& params,
                                                IUiControlEvents* events);

// The window of a native control this adapter made, or null.
HWND ControlHandle(IUiControl* control);

// Registers the window class of panels ("TTamberlyControl") once.
void RegisterControlClass();

// Hands the exception being handled, which must not unwind through the system's frames, to the
// adapter, whose message loop throws it again where the application's handler sees it.
void KeepCurrentException(const char* where);

}  // namespace tmby::platform::win32
