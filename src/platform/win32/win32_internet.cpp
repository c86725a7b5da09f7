// Internet sessions on the real API: WININET.DLL loaded by name at run time and its ANSI
// functions looked up one by one, so that the kit starts on a machine without the library.
#include <map>
#include <vector>

#include "platform/internet_functions.h"
#include "platform/win32/win32_internal.h"

namespace tmby::platform::win32 {

namespace {

// The ANSI functions take text in the system's ANSI code page; the port speaks UTF-8.
std::string Ansi(const std::string& utf8) {
  const std::wstring wide = Wide(utf8);
  if (wide.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

std::string FromAnsi(const char* text, size_t length) {
  if (length == 0) return std::string();
  const int n = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
  if (n <= 0) return std::string();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), wide.data(), n);
  return Utf8(wide);
}

// The text of a buffer up to its first NUL (or its end).
std::string TextOf(const std::vector<char>& buffer, size_t limit) {
  size_t n = 0;
  while (n < limit && n < buffer.size() && buffer[n] != '\0') ++n;
  return FromAnsi(buffer.data(), n);
}

// The library's own types and options, declared here rather than taken from <wininet.h>, whose
// macros would turn the port's function names into their wide-character twins.
using HINTERNET = void*;
using INTERNET_PORT = WORD;
constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;
constexpr DWORD INTERNET_OPTION_SEND_TIMEOUT = 5;
constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;

using OpenFn = HINTERNET(WINAPI*)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD);
using ConnectFn = HINTERNET(WINAPI*)(HINTERNET, LPCSTR, INTERNET_PORT, LPCSTR, LPCSTR, DWORD, DWORD,
                                     DWORD_PTR);
using FtpSetDirFn = BOOL(WINAPI*)(HINTERNET, LPCSTR);
using CloseFn = BOOL(WINAPI*)(HINTERNET);
using QueryAvailableFn = BOOL(WINAPI*)(HINTERNET, LPDWORD, DWORD, DWORD_PTR);
using ReadFn = BOOL(WINAPI*)(HINTERNET, LPVOID, DWORD, LPDWORD);
using FtpOpenFn = HINTERNET(WINAPI*)(HINTERNET, LPCSTR, DWORD, DWORD, DWORD_PTR);
using HttpOpenFn = HINTERNET(WINAPI*)(HINTERNET, LPCSTR, LPCSTR, LPCSTR, LPCSTR, LPCSTR*, DWORD,
                                      DWORD_PTR);
using HttpSendFn = BOOL(WINAPI*)(HINTERNET, LPCSTR, DWORD, LPVOID, DWORD);
using HttpQueryFn = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD);
using ResponseFn = BOOL(WINAPI*)(LPDWORD, LPSTR, LPDWORD);
using SetOptionFn = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, DWORD);

HINTERNET H(InternetHandle handle) { return reinterpret_cast<HINTERNET>(handle); }
InternetHandle Handle(HINTERNET h) { return reinterpret_cast<InternetHandle>(h); }

class Win32InternetLibrary : public IInternetLibrary {
 public:
  explicit Win32InternetLibrary(HMODULE module) : module_(module) {
    // Time-outs are the kit's own addition to what it binds: absent, the library's defaults hold.
    setOption_ = Proc<SetOptionFn>(GetProcAddress(module_, inet::kSetOptionFunction));
  }
  ~Win32InternetLibrary() override { FreeLibrary(module_); }
  Win32InternetLibrary(const Win32InternetLibrary&) = delete;
  Win32InternetLibrary& operator=(const Win32InternetLibrary&) = delete;

  bool Bind(const std::string& function) override {
    const FARPROC proc = GetProcAddress(module_, function.c_str());
    Done();
    if (proc == nullptr) return false;
    bound_[function] = proc;
    return true;
  }

  InternetHandle Open(const std::string& agent, uint32_t access, uint32_t flags) override {
    const auto fn = Fn<OpenFn>("InternetOpenA");
    if (fn == nullptr) return 0;
    const HINTERNET h = fn(Ansi(agent).c_str(), access, nullptr, nullptr, flags);
    Done();
    return Handle(h);
  }

  InternetHandle Connect(InternetHandle session, const std::string& host, uint16_t port,
                         const std::optional<std::string>& user,
                         const std::optional<std::string>& password, uint32_t service,
                         uint32_t flags) override {
    const auto fn = Fn<ConnectFn>("InternetConnectA");
    if (fn == nullptr) return 0;
    const std::string u = user ? Ansi(*user) : std::string();
    const std::string p = password ? Ansi(*password) : std::string();
    const HINTERNET h = fn(H(session), Ansi(host).c_str(), port, user ? u.c_str() : nullptr,
                           password ? p.c_str() : nullptr, service, flags, 0);
    Done();
    return Handle(h);
  }

  bool FtpSetCurrentDirectory(InternetHandle connection, const std::string& dir) override {
    const auto fn = Fn<FtpSetDirFn>("FtpSetCurrentDirectoryA");
    if (fn == nullptr) return false;
    const bool ok = fn(H(connection), Ansi(dir).c_str()) != FALSE;
    Done();
    return ok;
  }

  bool CloseHandle(InternetHandle handle) override {
    const auto fn = Fn<CloseFn>("InternetCloseHandle");
    if (fn == nullptr) return false;
    const bool ok = fn(H(handle)) != FALSE;
    Done();
    return ok;
  }

  bool QueryDataAvailable(InternetHandle file, uint32_t* bytes) override {
    const auto fn = Fn<QueryAvailableFn>("InternetQueryDataAvailable");
    if (fn == nullptr) return false;
    DWORD n = 0;
    const bool ok = fn(H(file), &n, 0, 0) != FALSE;
    Done();
    *bytes = n;
    return ok;
  }

  bool ReadFile(InternetHandle file, void* buffer, uint32_t size, uint32_t* done) override {
    const auto fn = Fn<ReadFn>("InternetReadFile");
    if (fn == nullptr) return false;
    DWORD n = 0;
    const bool ok = fn(H(file), buffer, size, &n) != FALSE;
    Done();
    *done = ok ? n : 0;
    return ok;
  }

  InternetHandle FtpOpenFile(InternetHandle connection, const std::string& name, uint32_t access,
                             uint32_t flags) override {
    const auto fn = Fn<FtpOpenFn>("FtpOpenFileA");
    if (fn == nullptr) return 0;
    const HINTERNET h = fn(H(connection), Ansi(name).c_str(), access, flags, 0);
    Done();
    return Handle(h);
  }

  InternetHandle HttpOpenRequest(InternetHandle connection, const std::string& verb,
                                 const std::string& object, uint32_t flags) override {
    const auto fn = Fn<HttpOpenFn>("HttpOpenRequestA");
    if (fn == nullptr) return 0;
    const HINTERNET h = fn(H(connection), Ansi(verb).c_str(), Ansi(object).c_str(), nullptr,
                           nullptr, nullptr, flags, 0);
    Done();
    return Handle(h);
  }

  bool HttpSendRequest(InternetHandle request, const std::string& headers) override {
    const auto fn = Fn<HttpSendFn>("HttpSendRequestA");
    if (fn == nullptr) return false;
    const bool ok =
        fn(H(request), headers.c_str(), static_cast<DWORD>(headers.size()), nullptr, 0) != FALSE;
    Done();
    return ok;
  }

  bool HttpQueryInfo(InternetHandle request, uint32_t level, uint32_t capacity,
                     std::string* text) override {
    const auto fn = Fn<HttpQueryFn>("HttpQueryInfoA");
    if (fn == nullptr) return false;
    std::vector<char> buffer(capacity + 1, '\0');
    DWORD length = capacity;
    const bool ok = fn(H(request), level, buffer.data(), &length, nullptr) != FALSE;
    Done();
    *text = TextOf(buffer, capacity);
    return ok;
  }

  bool GetLastResponseInfo(uint32_t capacity, std::string* text) override {
    const auto fn = Fn<ResponseFn>("InternetGetLastResponseInfoA");
    if (fn == nullptr) return false;
    std::vector<char> buffer(capacity + 1, '\0');
    DWORD code = 0;
    DWORD length = capacity;
    const bool ok = fn(&code, buffer.data(), &length) != FALSE;
    Done();
    *text = TextOf(buffer, capacity);
    return ok;
  }

  bool SetTimeouts(InternetHandle handle, uint32_t milliseconds) override {
    if (setOption_ == nullptr) {
      SetLastError(inet::kProcNotFound);
      Done();
      return false;
    }
    DWORD value = milliseconds;
    bool ok = true;
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                               INTERNET_OPTION_RECEIVE_TIMEOUT}) {
      ok = setOption_(H(handle), option, &value, sizeof value) != FALSE && ok;
    }
    Done();
    return ok;
  }

  uint32_t LastError() const override { return error_; }

 private:
  template <class F>
  static F Proc(FARPROC proc) {
    // Through the generic function pointer type, the conversion GCC accepts without a warning.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
  }

  // The bound function, or null with kProcNotFound as the error.
  template <class F>
  F Fn(const char* name) {
    const auto it = bound_.find(name);
    if (it == bound_.end()) {
      SetLastError(inet::kProcNotFound);
      Done();
      return nullptr;
    }
    return Proc<F>(it->second);
  }

  void Done() { error_ = static_cast<uint32_t>(GetLastError()); }

  HMODULE module_;
  std::map<std::string, FARPROC> bound_;
  SetOptionFn setOption_ = nullptr;
  uint32_t error_ = 0;
};

class Win32Internet : public IInternet {
 public:
  std::unique_ptr<IInternetLibrary> Load() override {
    const HMODULE module = LoadLibraryA(inet::kLibraryName);
    error_ = static_cast<uint32_t>(GetLastError());
    if (module == nullptr) return nullptr;
    return std::make_unique<Win32InternetLibrary>(module);
  }
  uint32_t LastError() const override { return error_; }

 private:
  uint32_t error_ = 0;
};

}  // namespace

std::unique_ptr<IInternet> MakeInternet() { return std::make_unique<Win32Internet>(); }

}  // namespace tmby::platform::win32
