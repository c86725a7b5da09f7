#include "net/net_errors.h"

#include "net/net_location.h"

namespace tmby {

namespace {

// The library's errors by number, as the Windows SDK names them.
const char* const kInternetErrors[] = {
    "ERROR_INTERNET_OUT_OF_HANDLES",            // 12001
    "ERROR_INTERNET_TIMEOUT",                   // 12002
    "ERROR_INTERNET_EXTENDED_ERROR",            // 12003
    "ERROR_INTERNET_INTERNAL_ERROR",            // 12004
    "ERROR_INTERNET_INVALID_URL",               // 12005
    "ERROR_INTERNET_UNRECOGNIZED_SCHEME",       // 12006
    "ERROR_INTERNET_NAME_NOT_RESOLVED",         // 12007
    "ERROR_INTERNET_PROTOCOL_NOT_FOUND",        // 12008
    "ERROR_INTERNET_INVALID_OPTION",            // 12009
    "ERROR_INTERNET_BAD_OPTION_LENGTH",         // 12010
    "ERROR_INTERNET_OPTION_NOT_SETTABLE",       // 12011
    "ERROR_INTERNET_SHUTDOWN",                  // 12012
    "ERROR_INTERNET_INCORRECT_USER_NAME",       // 12013
    "ERROR_INTERNET_INCORRECT_PASSWORD",        // 12014
    "ERROR_INTERNET_LOGIN_FAILURE",             // 12015
    "ERROR_INTERNET_INVALID_OPERATION",         // 12016
    "ERROR_INTERNET_OPERATION_CANCELLED",       // 12017
    "ERROR_INTERNET_INCORRECT_HANDLE_TYPE",     // 12018
    "ERROR_INTERNET_INCORRECT_HANDLE_STATE",    // 12019
    "ERROR_INTERNET_NOT_PROXY_REQUEST",         // 12020
    "ERROR_INTERNET_REGISTRY_VALUE_NOT_FOUND",  // 12021
    "ERROR_INTERNET_BAD_REGISTRY_PARAMETER",    // 12022
    "ERROR_INTERNET_NO_DIRECT_ACCESS",          // 12023
    "ERROR_INTERNET_NO_CONTEXT",                // 12024
    "ERROR_INTERNET_NO_CALLBACK",               // 12025
    "ERROR_INTERNET_REQUEST_PENDING",           // 12026
    "ERROR_INTERNET_INCORRECT_FORMAT",          // 12027
    "ERROR_INTERNET_ITEM_NOT_FOUND",            // 12028
    "ERROR_INTERNET_CANNOT_CONNECT",            // 12029
    "ERROR_INTERNET_CONNECTION_ABORTED",        // 12030
    "ERROR_INTERNET_CONNECTION_RESET",          // 12031
    "ERROR_INTERNET_FORCE_RETRY",               // 12032
};

const char* const kGopherErrors[] = {
    "ERROR_GOPHER_PROTOCOL_ERROR",          // 12130
    "ERROR_GOPHER_NOT_FILE",                // 12131
    "ERROR_GOPHER_DATA_ERROR",              // 12132
    "ERROR_GOPHER_END_OF_DATA",             // 12133
    "ERROR_GOPHER_INVALID_LOCATOR",         // 12134
    "ERROR_GOPHER_INCORRECT_LOCATOR_TYPE",  // 12135
    "ERROR_GOPHER_NOT_GOPHER_PLUS",         // 12136
    "ERROR_GOPHER_ATTRIBUTE_NOT_FOUND",     // 12137
    "ERROR_GOPHER_UNKNOWN_LOCATOR",         // 12138
};

const char* const kHttpErrors[] = {
    "ERROR_HTTP_HEADER_NOT_FOUND",         // 12150
    "ERROR_HTTP_DOWNLEVEL_SERVER",         // 12151
    "ERROR_HTTP_INVALID_SERVER_RESPONSE",  // 12152
    "ERROR_HTTP_INVALID_HEADER",           // 12153
    "ERROR_HTTP_INVALID_QUERY_REQUEST",    // 12154
    "ERROR_HTTP_HEADER_ALREADY_EXISTS",    // 12155
};

template <size_t N>
const char* InRange(const char* const (&names)[N], uint32_t first, uint32_t code) {
  return code >= first && code < first + N ? names[code - first] : nullptr;
}

// Size of the buffer the server's last response is read into.
constexpr uint32_t kResponseBufferSize = 3000;

}  // namespace

std::string InternetErrorName(uint32_t code) {
  switch (code) {
    case 6: return "ERROR_INVALID_HANDLE";
    case 12036: return "ERROR_INTERNET_HANDLE_EXISTS";
    case 12041: return "ERROR_INTERNET_MIXED_SECURITY";
    case 12110: return "ERROR_FTP_TRANSFER_IN_PROGRESS";
    case 12111: return "ERROR_FTP_DROPPED";
    default: break;
  }
  for (const char* name :
       {InRange(kInternetErrors, 12001, code), InRange(kGopherErrors, 12130, code),
        InRange(kHttpErrors, 12150, code)}) {
    if (name != nullptr) return name;
  }
  return "Unregistered error code";
}

std::string ComposeNetMessage(const std::string& message, platform::IInternetLibrary* library) {
  // The error first: asking the library for the response sets it anew.
  const uint32_t error = library != nullptr ? library->LastError() : 0;
  const TCustomNetInstallLocation* last = NetLocations().LastConnected;
  std::string response;
  if (library == nullptr || !library->GetLastResponseInfo(kResponseBufferSize, &response)) {
    response = "No server response";
  }
  return FormatText(
      "%s. Error message %s. Server %s. Response from server %s",
      {message, InternetErrorName(error),
       last != nullptr ? last->LoginInformation().Hostname : std::string(), response});
}

}  // namespace tmby
