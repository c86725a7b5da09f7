#include "ui/fatal_error.h"

#include <cstdio>
#include <iostream>

#include "platform/ui_port.h"
#include "ui/forms.h"

namespace tmby::ui {

std::string FatalErrorText(const std::exception& error, const std::string& module,
                           uintptr_t address) {
  char hex[32];
  std::snprintf(hex, sizeof hex, "%08llX", static_cast<unsigned long long>(address));
  std::string message = ExceptionMessage(error);
  if (!message.empty() && message.back() != '.') message += '.';
  return "Exception " + ExceptionClassName(error) + " in module " + module + " at " + hex + ".\n" +
         message;
}

int ShowFatalError(const std::exception& error, uintptr_t address) {
  if (address == 0) {
    address =
        reinterpret_cast<uintptr_t>(__builtin_extract_return_addr(__builtin_return_address(0)));
  }
  platform::IUi* ui = platform::CurrentUi();
  const std::string module = ui != nullptr ? ui->ModuleName() : std::string("setup.exe");
  const std::string text = FatalErrorText(error, module, address);
  try {
    if (ui != nullptr) {
      ui->MessageBox(text, kFatalErrorCaption,
                     platform::mb::kOk | platform::mb::kIconStop | platform::mb::kTaskModal);
      return kFatalErrorExitCode;
    }
  } catch (...) {
    // The box itself failed: fall through to standard error.
  }
  std::cerr << kFatalErrorCaption << ": " << text << '\n';
  return kFatalErrorExitCode;
}

}  // namespace tmby::ui
