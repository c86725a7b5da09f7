// System information, shell folders, library probing and program start on the real API, in the
// adapter's character set.
#include <shlobj.h>

#include <vector>

#include "platform/win32/win32_internal.h"

namespace tmby::platform::win32 {

namespace {

inline BOOL SHGetPathFromIDListT(LPCITEMIDLIST l, char* b) { return SHGetPathFromIDListA(l, b); }
inline BOOL SHGetPathFromIDListT(LPCITEMIDLIST l, wchar_t* b) { return SHGetPathFromIDListW(l, b); }

std::string WithoutTrailingBackslash(std::string path) {
  if (path.size() > 1 && path.back() == '\\') path.pop_back();
  return path;
}

class Win32SystemInfo : public ISystemInfo {
 public:
  explicit Win32SystemInfo(ApiCharset charset) : text_(charset) {}

  std::optional<OsVersion> Version() override {
    return text_.Ansi() ? VersionAs<char>() : VersionAs<wchar_t>();
  }

  std::optional<std::string> SystemDirectory() override {
    return Directory(
        text_.Query([](auto* buffer, DWORD size) { return GetSystemDirectoryT(buffer, size); }));
  }

  std::optional<std::string> WindowsDirectory() override {
    return Directory(
        text_.Query([](auto* buffer, DWORD size) { return GetWindowsDirectoryT(buffer, size); }));
  }

  uint16_t UserDefaultLanguage() override { return GetUserDefaultLangID(); }

  ScreenInfo Screen() override {
    ScreenInfo s;
    s.width = GetSystemMetrics(SM_CXSCREEN);
    s.height = GetSystemMetrics(SM_CYSCREEN);
    if (HDC dc = GetDC(nullptr)) {
      s.bits_per_pixel = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
      ReleaseDC(nullptr, dc);
    }
    return s;
  }

  std::string ErrorText(uint32_t code) override {
    std::string text = text_.Ansi() ? ErrorTextAs<char>(code) : ErrorTextAs<wchar_t>(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
      text.pop_back();
    }
    return text;
  }

  void ProcessMessages() override {
    MSG msg;
    const auto peek = text_.Ansi() ? PeekMessageA : PeekMessageW;
    while (peek(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // Leave the quit request for the program's own message loop.
        PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      TranslateMessage(&msg);
      if (text_.Ansi()) {
        DispatchMessageA(&msg);
      } else {
        DispatchMessageW(&msg);
      }
    }
  }

  bool Reboot() override {
    // The 9x line restarts on request. The NT line needs the shutdown privilege first, and every
    // step of enabling it must succeed: AdjustTokenPrivileges also "succeeds" when it could not
    // grant the privilege, which only GetLastError tells.
    if ((GetVersion() & 0x80000000u) == 0) {
      HANDLE token = nullptr;
      if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return false;
      }
      TOKEN_PRIVILEGES privileges{};
      privileges.PrivilegeCount = 1;
      privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
      const bool enabled = (text_.Ansi() ? LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege",
                                                                 &privileges.Privileges[0].Luid)
                                         : LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege",
                                                                 &privileges.Privileges[0].Luid)) &&
                           AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
                           GetLastError() == ERROR_SUCCESS;
      CloseHandle(token);
      if (!enabled) return false;
    }
    return ExitWindowsEx(EWX_REBOOT, 0) != 0;
  }

  uint32_t AnsiCodePage() override { return GetACP(); }

  std::optional<std::string> ToAnsi(const std::string& utf8) override { return AnsiName(utf8); }

  std::optional<std::string> FromAnsi(const std::string& ansi) override {
    if (ansi.empty()) return std::string();
    const int size = static_cast<int>(ansi.size());
    int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), size, nullptr, 0);
    if (n <= 0) return std::nullopt;  // a broken double-byte sequence
    std::wstring wide(static_cast<size_t>(n), L'\0');
    n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), size, wide.data(), n);
    if (n <= 0) return std::nullopt;
    return Utf8(wide.data(), static_cast<size_t>(n));
  }

 private:
  template <typename C>
  static std::optional<OsVersion> VersionAs() {
    typename ApiTypes<C>::VersionInfo info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExT(&info)) return std::nullopt;
    OsVersion v;
    v.platform = info.dwPlatformId <= VER_PLATFORM_WIN32_NT
                     ? static_cast<PlatformId>(info.dwPlatformId)
                     : PlatformId::Other;
    v.major = info.dwMajorVersion;
    v.minor = info.dwMinorVersion;
    // Windows 9x keeps the major and minor version in the high word of the build number.
    v.build = v.platform == PlatformId::Windows ? info.dwBuildNumber & 0xFFFF : info.dwBuildNumber;
    const std::string pack = FromApiBuffer(info.szCSDVersion);
    const size_t first = pack.find_first_not_of(' ');
    v.service_pack = first == std::string::npos ? std::string() : pack.substr(first);
    return v;
  }

  template <typename C>
  static std::string ErrorTextAs(uint32_t code) {
    C buffer[1024] = {};
    const DWORD n = FormatMessageT(code, buffer, 1024);
    return FromApi(buffer, std::min<size_t>(n, 1024));
  }

  static std::optional<std::string> Directory(std::optional<std::string> dir) {
    if (!dir || dir->empty()) return std::nullopt;
    return WithoutTrailingBackslash(*dir);
  }

  TextApi text_;
};

class Win32ShellFolders : public IShellFolders {
 public:
  explicit Win32ShellFolders(ApiCharset charset) : text_(charset) {}

  std::optional<std::string> SpecialFolder(int csidl) override {
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) || list == nullptr) {
      return std::nullopt;
    }
    const std::string path = text_.Ansi() ? PathAs<char>(list) : PathAs<wchar_t>(list);
    CoTaskMemFree(list);
    if (path.empty()) return std::nullopt;
    return WithoutTrailingBackslash(path);
  }

 private:
  template <typename C>
  static std::string PathAs(LPCITEMIDLIST list) {
    C buffer[MAX_PATH + 1] = {};
    if (!SHGetPathFromIDListT(list, buffer)) return std::string();
    return FromApiBuffer(buffer);
  }

  TextApi text_;
};

class Win32Libraries : public ILibraries {
 public:
  explicit Win32Libraries(ApiCharset charset) : text_(charset) {}

  bool CanLoad(const std::string& name) override {
    if (name.empty()) return false;
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const HMODULE module = text_.With(
        HMODULE(nullptr), [](const auto& file) { return LoadLibraryT(file.c_str()); }, name);
    SetErrorMode(previous);
    if (module == nullptr) return false;
    FreeLibrary(module);
    return true;
  }
  ServerRegistration RegisterServer(const std::string& path) override {
    return RegisterServerInProcess(text_, path);
  }
  int32_t RegisterTypeLibrary(const std::string& path) override {
    return RegisterTypeLibraryFile(path);
  }
  ServerRegistration UnregisterServer(const std::string& path) override {
    return UnregisterServerInProcess(text_, path);
  }
  int32_t UnregisterTypeLibrary(const std::string& path) override {
    return UnregisterTypeLibraryFile(path);
  }

 private:
  TextApi text_;
};

class Win32Process : public IProcess {
 public:
  Win32Process(HANDLE process, DWORD id) : process_(process), id_(id) {}
  ~Win32Process() override { CloseHandle(process_); }
  Win32Process(const Win32Process&) = delete;
  Win32Process& operator=(const Win32Process&) = delete;

  uint32_t Id() const override { return id_; }
  uint32_t WaitForInputIdle(uint32_t timeout_ms) override {
    return ::WaitForInputIdle(process_, timeout_ms);
  }
  bool WaitForExit(uint32_t timeout_ms) override {
    return WaitForSingleObject(process_, timeout_ms) == WAIT_OBJECT_0;
  }
  std::optional<uint32_t> ExitCode() override {
    if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) return std::nullopt;  // running
    DWORD code = 0;
    if (!GetExitCodeProcess(process_, &code)) return std::nullopt;
    return code;
  }

 private:
  HANDLE process_;
  DWORD id_;
};

class Win32Processes : public IProcesses {
 public:
  explicit Win32Processes(ApiCharset charset) : text_(charset) {}

  std::unique_ptr<IProcess> Create(const LaunchRequest& request) override {
    PROCESS_INFORMATION info{};
    const BOOL started = text_.With(
        FALSE,
        [&](const auto& application, const auto& command_line, const auto& directory) {
          using C = CharOf<decltype(application)>;
          typename ApiTypes<C>::StartupInfo startup{};
          startup.cb = sizeof startup;
          startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEONFEEDBACK;
          startup.wShowWindow = static_cast<WORD>(request.show_mode);
          // CreateProcess may write into the command line, so it gets a copy of its own.
          std::vector<C> command(command_line.begin(), command_line.end());
          command.push_back(C(0));
          return CreateProcessT(application.empty() ? nullptr : application.c_str(),
                                command_line.empty() ? nullptr : command.data(),
                                directory.empty() ? nullptr : directory.c_str(), &startup, &info);
        },
        Backslashes(request.application_name), request.command_line,
        Backslashes(request.current_directory));
    if (!started) {
      error_ = GetLastError();
      return nullptr;
    }
    CloseHandle(info.hThread);
    error_ = ERROR_SUCCESS;
    return std::make_unique<Win32Process>(info.hProcess, info.dwProcessId);
  }

  uint32_t LastError() const override { return error_; }

 private:
  TextApi text_;
  uint32_t error_ = ERROR_SUCCESS;
};

}  // namespace

std::unique_ptr<ISystemInfo> MakeSystemInfo(ApiCharset charset) {
  return std::make_unique<Win32SystemInfo>(charset);
}
std::unique_ptr<IShellFolders> MakeShellFolders(ApiCharset charset) {
  return std::make_unique<Win32ShellFolders>(charset);
}
std::unique_ptr<ILibraries> MakeLibraries(ApiCharset charset) {
  return std::make_unique<Win32Libraries>(charset);
}
std::unique_ptr<IProcesses> MakeProcesses(ApiCharset charset) {
  return std::make_unique<Win32Processes>(charset);
}

}  // namespace tmby::platform::win32
