// System information, shell folders, library probing and program start on the real API.
#include <shlobj.h>

#include <vector>

#include "platform/win32/win32_internal.h"

namespace tmby::platform::win32 {

namespace {

std::string WithoutTrailingBackslash(std::string path) {
  if (path.size() > 1 && path.back() == '\\') path.pop_back();
  return path;
}

class Win32SystemInfo : public ISystemInfo {
 public:
  std::optional<OsVersion> Version() override {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExW(&info)) return std::nullopt;
    OsVersion v;
    v.platform = info.dwPlatformId <= VER_PLATFORM_WIN32_NT
                     ? static_cast<PlatformId>(info.dwPlatformId)
                     : PlatformId::Other;
    v.major = info.dwMajorVersion;
    v.minor = info.dwMinorVersion;
    // Windows 9x keeps the major and minor version in the high word of the build number.
    v.build = v.platform == PlatformId::Windows ? info.dwBuildNumber & 0xFFFF : info.dwBuildNumber;
    std::string pack = Utf8(std::wstring(info.szCSDVersion));
    const size_t first = pack.find_first_not_of(' ');
    v.service_pack = first == std::string::npos ? std::string() : pack.substr(first);
    return v;
  }

  std::optional<std::string> SystemDirectory() override {
    const auto dir =
        QueryString([](wchar_t* buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); });
    if (!dir || dir->empty()) return std::nullopt;
    return WithoutTrailingBackslash(Utf8(*dir));
  }

  std::optional<std::string> WindowsDirectory() override {
    const auto dir =
        QueryString([](wchar_t* buffer, DWORD size) { return GetWindowsDirectoryW(buffer, size); });
    if (!dir || dir->empty()) return std::nullopt;
    return WithoutTrailingBackslash(Utf8(*dir));
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
    wchar_t buffer[1024] = {};
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, buffer, 1024, nullptr);
    std::string text = Utf8(buffer, n);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
      text.pop_back();
    }
    return text;
  }

  void ProcessMessages() override {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // Leave the quit request for the program's own message loop.
        PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
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
      const bool enabled =
          LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid) &&
          AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
          GetLastError() == ERROR_SUCCESS;
      CloseHandle(token);
      if (!enabled) return false;
    }
    return ExitWindowsEx(EWX_REBOOT, 0) != 0;
  }
};

class Win32ShellFolders : public IShellFolders {
 public:
  std::optional<std::string> SpecialFolder(int csidl) override {
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) || list == nullptr) {
      return std::nullopt;
    }
    wchar_t buffer[MAX_PATH + 1] = {};
    const BOOL ok = SHGetPathFromIDListW(list, buffer);
    CoTaskMemFree(list);
    if (!ok || buffer[0] == L'\0') return std::nullopt;
    return WithoutTrailingBackslash(Utf8(std::wstring(buffer)));
  }
};

class Win32Libraries : public ILibraries {
 public:
  bool CanLoad(const std::string& name) override {
    if (name.empty()) return false;
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const HMODULE module = LoadLibraryW(Wide(name).c_str());
    SetErrorMode(previous);
    if (module == nullptr) return false;
    FreeLibrary(module);
    return true;
  }
  ServerRegistration RegisterServer(const std::string& path) override {
    return RegisterServerInProcess(path);
  }
  int32_t RegisterTypeLibrary(const std::string& path) override {
    return RegisterTypeLibraryFile(path);
  }
  ServerRegistration UnregisterServer(const std::string& path) override {
    return UnregisterServerInProcess(path);
  }
  int32_t UnregisterTypeLibrary(const std::string& path) override {
    return UnregisterTypeLibraryFile(path);
  }
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
  std::unique_ptr<IProcess> Create(const LaunchRequest& request) override {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEONFEEDBACK;
    startup.wShowWindow = static_cast<WORD>(request.show_mode);
    PROCESS_INFORMATION info{};
    const std::wstring application = WidePath(request.application_name);
    const std::wstring directory = WidePath(request.current_directory);
    // CreateProcessW may write into the command line, so it gets a copy of its own.
    std::vector<wchar_t> command;
    if (!request.command_line.empty()) {
      const std::wstring text = Wide(request.command_line);
      command.assign(text.begin(), text.end());
      command.push_back(L'\0');
    }
    if (!CreateProcessW(application.empty() ? nullptr : application.c_str(),
                        command.empty() ? nullptr : command.data(), nullptr, nullptr, FALSE,
                        NORMAL_PRIORITY_CLASS, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
      error_ = GetLastError();
      return nullptr;
    }
    CloseHandle(info.hThread);
    error_ = ERROR_SUCCESS;
    return std::make_unique<Win32Process>(info.hProcess, info.dwProcessId);
  }

  uint32_t LastError() const override { return error_; }

 private:
  uint32_t error_ = ERROR_SUCCESS;
};

}  // namespace

std::unique_ptr<ISystemInfo> MakeSystemInfo() { return std::make_unique<Win32SystemInfo>(); }
std::unique_ptr<IShellFolders> MakeShellFolders() { return std::make_unique<Win32ShellFolders>(); }
std::unique_ptr<ILibraries> MakeLibraries() { return std::make_unique<Win32Libraries>(); }
std::unique_ptr<IProcesses> MakeProcesses() { return std::make_unique<Win32Processes>(); }

}  // namespace tmby::platform::win32
