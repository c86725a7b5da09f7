// The messages of the net install locations' failures. An ENIL carries, besides what failed, the
// Windows Internet library's view of it: the symbolic name of the last error, the host last
// connected to and the server's last response.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/exceptions.h"

namespace tmby {

namespace platform {
class IInternetLibrary;
}

// The Windows SDK name of an error the library reports ("ERROR_INTERNET_TIMEOUT"),
// "ERROR_INVALID_HANDLE" for 6, and "Unregistered error code" for any other value.
std::string InternetErrorName(uint32_t code);

// "<message>. Error message <name>. Server <host>. Response from server <response>", where the
// error and the response come from `library` (null: no error, "No server response") and the host
// is that of the location last connected.
std::string ComposeNetMessage(const std::string& message, platform::IInternetLibrary* library);

// Raises an ENIL of class E with the composed message of `format` and its arguments.
template <class E>
[[noreturn]] void RaiseNetError(platform::IInternetLibrary* library, const std::string& format,
                                const std::vector<FmtArg>& args = {}) {
  throw E(ComposeNetMessage(FormatText(format, args), library));
}

}  // namespace tmby
