#include "support/port_fixture.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "platform/memory/memory_port.h"
#include "support/scratch_dir.h"

#ifdef TMBY_WIN32_TESTS
#include <windows.h>

#include "platform/win32/win32_internal.h"
#include "platform/win32/win32_port.h"
#endif

namespace tmby::testing {

namespace {

using platform::IFileSystem;
using platform::IRegistry;
using platform::RootKey;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return text;
}

bool Below(const std::string& path, const std::string& root) {
  return Lower(path).rfind(Lower(root) + "\\", 0) == 0;
}

class MemoryUnderTest : public PortUnderTest {
 public:
  MemoryUnderTest() : scratch_("contract"), port_(scratch_.path()) {}

  platform::IPlatform& Port() override { return port_; }
  bool Simulated() const override { return true; }
  bool EnforcesReadOnly() override { return true; }

  std::string MakeRoot(const std::string& name) override {
    const std::string root = "C:\\Contract\\" + name;
    port_.Files().CreateDirectories(root);
    return root;
  }

  bool SetRawWriteTime(const std::string& path, const CivilTime& t) override {
    const auto host = port_.HostPath(path);
    if (!host) return false;
    using namespace std::chrono;
    const year_month_day ymd{year(t.year), month(static_cast<unsigned>(t.month)),
                             day(static_cast<unsigned>(t.day))};
    const auto utc = sys_days(ymd) + hours(t.hour) + minutes(t.minute) + seconds(t.second) +
                     milliseconds(t.millisecond);
    std::error_code ec;
    std::filesystem::last_write_time(*host, file_clock::from_sys(utc), ec);
    return !ec;
  }

  std::vector<std::pair<std::string, std::string>> PendingReplacements(
      const std::string& root) override {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& move : port_.RebootMoves()) {
      if (Below(move.from, root)) out.emplace_back(move.from, move.to);
    }
    return out;
  }

  void ForgetReplacements(const std::string&) override { port_.ClearRecords(); }

  bool PlaceServer(const std::string& path, ServerKind kind) override {
    auto file = port_.Files().Open(path, platform::FileAccess::Write, platform::kShareNone,
                                   platform::FileDisposition::CreateAlways);
    if (!file || !file->Write("MZ", 2)) return false;
    file.reset();
    platform::memory::ServerScript script;
    const std::string name = Lower(path.substr(path.rfind('\\') + 1));
    // What the real test servers write when they register.
    const auto record = [this, name] {
      port_.Registry().CreateKey(RootKey::CurrentUser, kServerRecordKey);
      port_.Registry().WriteString(RootKey::CurrentUser, kServerRecordKey, name,
                                   port_.Files().CurrentDir());
    };
    const auto forget = [this, name] {
      port_.Registry().DeleteValue(RootKey::CurrentUser, kServerRecordKey, name);
    };
    switch (kind) {
      case ServerKind::Library:
        script.on_register = record;
        script.on_unregister = forget;
        break;
      case ServerKind::RefusingLibrary:
        script.on_register = record;
        script.result = kRefusedResult;
        script.on_unregister = forget;
        script.unregister_result = kRefusedResult;
        break;
      case ServerKind::LibraryWithoutEntry: script.has_entry = false; break;
      case ServerKind::TypeLibrary:
        script.on_register = [this, path] {
          const std::string key = std::string("TypeLib\\") + kTestTypeLibrary + "\\1.0\\0\\win32";
          port_.Registry().CreateKey(RootKey::ClassesRoot, key);
          port_.Registry().WriteString(RootKey::ClassesRoot, key, "", path);
        };
        script.on_unregister = [this] {
          DeleteKeyTree(port_.Registry(), RootKey::ClassesRoot,
                        std::string("TypeLib\\") + kTestTypeLibrary);
        };
        break;
    }
    port_.SetServer(path, script);
    return true;
  }

  std::optional<NetServersUnderTest> NetServers() override {
    NetServersUnderTest servers{"127.0.0.1", 0, 0, "C:\\Served", "tamberly", "lakeside"};
    port_.Files().CreateDirectories(servers.folder);
    platform::memory::NetServer server;
    server.folder = *port_.HostPath(servers.folder);
    server.user = servers.user;
    server.password = servers.password;
    port_.ServeHost(servers.host, server);
    return servers;
  }

 private:
  ScratchDir scratch_;
  platform::memory::MemoryPlatform port_;
};

#ifdef TMBY_WIN32_TESTS

using platform::win32::Utf8;
using platform::win32::WidePath;

const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingValue[] = L"PendingFileRenameOperations";

// The pending renames as Windows keeps them: pairs of NT paths ("\??\C:\x") in one multi-string.
std::vector<std::wstring> ReadPending() {
  std::vector<std::wstring> items;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != 0) {
    return items;
  }
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key, kPendingValue, nullptr, &type, nullptr, &size) == 0 && size > 0) {
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
    if (RegQueryValueExW(key, kPendingValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &size) == 0) {
      const size_t count = size / sizeof(wchar_t);
      size_t start = 0;
      for (size_t i = 0; i < count; ++i) {
        if (data[i] == L'\0') {
          items.emplace_back(data.data() + start, i - start);
          start = i + 1;
        }
      }
      // The multi-string ends with an empty string; pairs hold empty targets, so keep pairs only.
      if (items.size() % 2 == 1) items.pop_back();
    }
  }
  RegCloseKey(key);
  return items;
}

std::string FromNtPath(const std::wstring& path) {
  std::wstring p = path;
  if (p.rfind(L"\\??\\", 0) == 0) p = p.substr(4);
  if (p.size() > 0 && p[0] == L'!') p = p.substr(1);  // the replace-existing mark
  if (p.rfind(L"\\??\\", 0) == 0) p = p.substr(4);
  return Utf8(p);
}

class Win32UnderTest : public PortUnderTest {
 public:
  explicit Win32UnderTest(platform::win32::ApiCharset charset) : port_(charset) {}
  platform::IPlatform& Port() override { return port_; }
  bool Simulated() const override { return false; }
  bool NineXApi() const override { return port_.Charset() == platform::win32::ApiCharset::Ansi; }

  bool EnforcesReadOnly() override {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const bool wine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    wchar_t user[256] = {};
    DWORD size = 256;
    const bool root = GetUserNameW(user, &size) && std::wstring(user) == L"root";
    return !(wine && root);
  }

  std::string MakeRoot(const std::string& name) override {
    const std::string temp = port_.Files().TempPath().value_or("C:\\");
    const std::string root = temp + "tmbyc" + std::to_string(GetCurrentProcessId()) + "-" + name;
    RemoveTree(port_.Files(), root);
    port_.Files().CreateDirectories(root);
    return root;
  }

  bool SetRawWriteTime(const std::string& path, const CivilTime& t) override {
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(t.year);
    local.wMonth = static_cast<WORD>(t.month);
    local.wDay = static_cast<WORD>(t.day);
    local.wHour = static_cast<WORD>(t.hour);
    local.wMinute = static_cast<WORD>(t.minute);
    local.wSecond = static_cast<WORD>(t.second);
    local.wMilliseconds = static_cast<WORD>(t.millisecond);
    FILETIME local_time;
    FILETIME utc;
    if (!SystemTimeToFileTime(&local, &local_time) || !LocalFileTimeToFileTime(&local_time, &utc)) {
      return false;
    }
    const HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = SetFileTime(h, nullptr, nullptr, &utc) != 0;
    CloseHandle(h);
    return ok;
  }

  std::vector<std::pair<std::string, std::string>> PendingReplacements(
      const std::string& root) override {
    std::vector<std::pair<std::string, std::string>> out;
    const std::vector<std::wstring> items = ReadPending();
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
      const std::string from = FromNtPath(items[i]);
      if (Below(from, root)) out.emplace_back(from, FromNtPath(items[i + 1]));
    }
    return out;
  }

  std::optional<NetServersUnderTest> NetServers() override { return LoopbackServers(); }

  void ForgetReplacements(const std::string& root) override {
    const std::vector<std::wstring> items = ReadPending();
    std::wstring kept;
    bool changed = false;
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
      if (Below(FromNtPath(items[i]), root)) {
        changed = true;
        continue;
      }
      kept += items[i] + L'\0' + items[i + 1] + L'\0';
    }
    if (!changed) return;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != 0) return;
    if (kept.empty()) {
      RegDeleteValueW(key, kPendingValue);
    } else {
      kept += L'\0';
      RegSetValueExW(key, kPendingValue, 0, REG_MULTI_SZ,
                     reinterpret_cast<const BYTE*>(kept.data()),
                     static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
    }
    RegCloseKey(key);
  }

  bool PlaceServer(const std::string& path, ServerKind kind) override {
    const wchar_t* built = L"tmbyserver.dll";
    switch (kind) {
      case ServerKind::Library: break;
      case ServerKind::RefusingLibrary: built = L"tmbyrefuse.dll"; break;
      case ServerKind::LibraryWithoutEntry: built = L"tmbynoentry.dll"; break;
      case ServerKind::TypeLibrary: built = L"tmbytest.tlb"; break;
    }
    return CopyFileW(TestProgram(built).c_str(), WidePath(path).c_str(), FALSE) != 0;
  }

 private:
  // A file built beside the test binary.
  static std::wstring TestProgram(const wchar_t* name) {
    wchar_t module[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring dir = module;
    dir = dir.substr(0, dir.find_last_of(L"\\/") + 1);
    return dir + name;
  }

  platform::win32::Win32Platform port_;
};

#endif

}  // namespace

std::vector<std::string> AdaptersUnderTest() {
#ifdef TMBY_WIN32_TESTS
  if (platform::win32::ChooseApiCharset() == platform::win32::ApiCharset::Ansi) {
    return {"memory", "win32"};
  }
  return {"memory", "win32", "win32ansi"};
#else
  return {"memory"};
#endif
}

std::optional<NetServersUnderTest> LoopbackServers() {
  auto env = [](const char* name) -> std::string {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
  };
  NetServersUnderTest servers;
  servers.host = env("TMBY_TEST_NET_HOST");
  servers.folder = env("TMBY_TEST_NET_FOLDER");
  servers.http_port = static_cast<uint16_t>(std::atoi(env("TMBY_TEST_HTTP_PORT").c_str()));
  servers.ftp_port = static_cast<uint16_t>(std::atoi(env("TMBY_TEST_FTP_PORT").c_str()));
  servers.user = env("TMBY_TEST_FTP_USER");
  servers.password = env("TMBY_TEST_FTP_PASSWORD");
  if (servers.host.empty() || servers.folder.empty() || servers.http_port == 0 ||
      servers.ftp_port == 0) {
    return std::nullopt;
  }
  return servers;
}

std::vector<std::string> NetAdaptersUnderTest() {
  std::vector<std::string> adapters{"memory"};
#ifdef TMBY_WIN32_TESTS
  if (LoopbackServers()) adapters.push_back("win32");
#endif
  return adapters;
}

std::unique_ptr<PortUnderTest> MakePortUnderTest(const std::string& adapter) {
#ifdef TMBY_WIN32_TESTS
  if (adapter == "win32") {
    return std::make_unique<Win32UnderTest>(platform::win32::ChooseApiCharset());
  }
  if (adapter == "win32ansi") {
    return std::make_unique<Win32UnderTest>(platform::win32::ApiCharset::Ansi);
  }
#endif
  if (adapter == "memory") return std::make_unique<MemoryUnderTest>();
  return nullptr;
}

void PortContract::SetUp() {
  under_test_ = MakePortUnderTest(GetParam());
  ASSERT_TRUE(under_test_) << GetParam();
  previous_ = platform::SetPort(&under_test_->Port());
  std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::replace(name.begin(), name.end(), '/', '-');
  root_ = under_test_->MakeRoot(name);
  ASSERT_TRUE(Files().DirectoryExists(root_)) << root_;
}

void PortContract::TearDown() {
  if (under_test_) {
    for (auto it = keys_.rbegin(); it != keys_.rend(); ++it) {
      DeleteKeyTree(Reg(), it->first, it->second);
      // The shared parent goes once the last test has left it empty.
      const std::string parent = it->second.substr(0, it->second.rfind('\\'));
      if (parent != it->second) Reg().DeleteKey(it->first, parent);
    }
    under_test_->ForgetReplacements(root_);
    Files().SetCurrentDir(Files().TempPath().value_or("C:\\"));
    RemoveTree(Files(), root_);
  }
  platform::SetPort(previous_);
  under_test_.reset();
}

bool PortContract::NineX() {
  if (under_test_->NineXApi()) return true;
  const auto v = Port().System().Version();
  return v && v->platform == platform::PlatformId::Windows;
}

std::string PortContract::TestKey(RootKey root) {
  std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::replace(name.begin(), name.end(), '/', '-');
  const std::string key = root == RootKey::ClassesRoot
                              ? "TamberlyContract." + name
                              : (root == RootKey::Users ? ".DEFAULT\\" : "") +
                                    std::string("Software\\TamberlyContract\\") + name;
  for (const auto& [r, k] : keys_) {
    if (r == root && k == key) return key;
  }
  DeleteKeyTree(Reg(), root, key);  // left over from an interrupted run
  keys_.emplace_back(root, key);
  return key;
}

void PortContract::WriteText(const std::string& path, const std::string& text) {
  auto f = Files().Open(path, platform::FileAccess::Write, platform::kShareNone,
                        platform::FileDisposition::CreateAlways);
  ASSERT_TRUE(f) << path << " error " << Files().LastError();
  ASSERT_TRUE(f->Write(text.data(), text.size())) << path << " error " << f->LastError();
}

std::string PortContract::ReadText(const std::string& path) {
  auto f = Files().Open(path, platform::FileAccess::Read, platform::kShareAll,
                        platform::FileDisposition::OpenExisting);
  if (!f) return "<cannot open: " + std::to_string(Files().LastError()) + ">";
  std::string out;
  char buffer[4096];
  size_t done = 0;
  while (f->Read(buffer, sizeof buffer, &done) && done > 0) out.append(buffer, done);
  return out;
}

std::string ReadFileBytes(IFileSystem& files, const std::string& path) {
  auto f = files.Open(path, platform::FileAccess::Read, platform::kShareAll,
                      platform::FileDisposition::OpenExisting);
  if (!f) return "<missing>";
  std::string out(static_cast<size_t>(f->Size().value_or(0)), '\0');
  size_t done = 0;
  f->Read(out.data(), out.size(), &done);
  out.resize(done);
  return out;
}

void DeleteKeyTree(IRegistry& registry, RootKey root, const std::string& key) {
  if (const auto subkeys = registry.EnumKeys(root, key)) {
    for (const auto& sub : *subkeys) DeleteKeyTree(registry, root, key + "\\" + sub);
  }
  registry.DeleteKey(root, key);
}

void RemoveTree(IFileSystem& files, const std::string& path) {
  for (const auto& entry : files.FindFiles(path + "\\*")) {
    const std::string child = path + "\\" + entry.name;
    if (entry.attributes & platform::attr::kDirectory) {
      RemoveTree(files, child);
    } else {
      files.SetAttributes(child, platform::attr::kNormal);
      files.RemoveFile(child);
    }
  }
  files.SetAttributes(path, platform::attr::kNormal);
  files.RemoveDir(path);
}

}  // namespace tmby::testing
