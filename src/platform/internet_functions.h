// The functions of the Windows Internet library (WININET.DLL) that the kit binds by name.
#pragma once

namespace tmby::platform::inet {

// What a net location binds before its first connection, in the order it looks them up; the
// first one missing is named in its failure (without the "A" of an ANSI function).
inline constexpr const char* kLocationFunctions[] = {"InternetGetLastResponseInfoA",
                                                     "InternetOpenA",
                                                     "InternetConnectA",
                                                     "FtpSetCurrentDirectoryA",
                                                     "InternetCloseHandle",
                                                     "InternetQueryDataAvailable",
                                                     "InternetReadFile",
                                                     "FtpOpenFileA",
                                                     "HttpOpenRequestA",
                                                     "HttpSendRequestA",
                                                     "HttpQueryInfoA"};

// Bound by the adapters on their own to set a location's time-outs; a library without it still
// serves, with its own time-outs.
inline constexpr const char* kSetOptionFunction = "InternetSetOptionA";

}  // namespace tmby::platform::inet
