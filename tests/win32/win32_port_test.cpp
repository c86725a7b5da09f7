// What only the real API shows: programs actually started, UTF-8 text arriving as UTF-16, raw
// registry data the kit did not write itself, and Wine's simulated restart.
#include "platform/win32/win32_port.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <map>
#include <string>

#include "platform/registry_hold.h"
#include "support/port_fixture.h"

namespace tmby::platform::win32 {
namespace {

std::string Upper(std::string text) {
  for (auto& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return text;
}

bool RunningOnWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class Win32PortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    root_ =
        *port_.Files().TempPath() + "tmbyw" + std::to_string(GetCurrentProcessId()) + "-" + name;
    testing::RemoveTree(port_.Files(), root_);
    ASSERT_TRUE(port_.Files().CreateDirectories(root_));
  }
  void TearDown() override { testing::RemoveTree(port_.Files(), root_); }

  std::string P(const std::string& relative) const { return root_ + "\\" + relative; }

  // The helper program next to the test binary.
  std::string Launchee(bool console) {
    const std::string self = port_.Files().ModuleFileName();
    return self.substr(0, self.rfind('\\')) +
           (console ? "\\launchee_console.exe" : "\\launchee.exe");
  }

  std::map<std::string, std::string> Report(const std::string& path) {
    std::map<std::string, std::string> values;
    auto f = port_.Files().Open(path, FileAccess::Read, kShareAll, FileDisposition::OpenExisting);
    if (!f) return values;
    std::string text(8192, '\0');
    size_t done = 0;
    f->Read(text.data(), text.size(), &done);
    text.resize(done);
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(start, end - start);
      const size_t eq = line.find('=');
      if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
      start = end + 1;
    }
    return values;
  }

  Win32Platform port_;
  std::string root_;
};

TEST_F(Win32PortTest, StartsAProgramWithItsShowModeDirectoryAndCommandLine) {
  const std::string program = Launchee(false);
  ASSERT_TRUE(port_.Files().FileExists(program)) << program;
  LaunchRequest request;
  request.application_name = program;
  request.command_line = "\"" + program + "\" \"" + P("report.txt") + "\" --stay-ms 200";
  request.current_directory = root_;
  request.show_mode = show::kMinimized;
  auto process = port_.Processes().Create(request);
  ASSERT_TRUE(process) << port_.Processes().LastError();
  EXPECT_NE(process->Id(), 0u);
  EXPECT_EQ(process->WaitForInputIdle(30000), 0u);
  ASSERT_TRUE(process->WaitForExit(30000));
  EXPECT_EQ(process->ExitCode(), 0u);

  auto report = Report(P("report.txt"));
  EXPECT_EQ(report["cmdline"], request.command_line);
  EXPECT_EQ(Upper(report["cwd"]), Upper(root_));
  EXPECT_EQ(report["useshowwindow"], "1");
  EXPECT_EQ(report["showwindow"], std::to_string(show::kMinimized));
  EXPECT_EQ(report["cmdshow"], std::to_string(show::kMinimized));
}

TEST_F(Win32PortTest, ARunningProgramHasNoExitCodeYet) {
  const std::string program = Launchee(false);
  LaunchRequest request;
  request.application_name = program;
  request.command_line = "\"" + program + "\" \"" + P("report.txt") + "\" --stay-ms 3000";
  request.show_mode = show::kHide;
  auto process = port_.Processes().Create(request);
  ASSERT_TRUE(process) << port_.Processes().LastError();
  EXPECT_EQ(process->WaitForInputIdle(30000), 0u);
  EXPECT_FALSE(process->WaitForExit(0));
  EXPECT_FALSE(process->ExitCode());
  ASSERT_TRUE(process->WaitForExit(30000));
  EXPECT_EQ(process->ExitCode(), 0u);
  EXPECT_EQ(Report(P("report.txt"))["showwindow"], std::to_string(show::kHide));
}

TEST_F(Win32PortTest, WaitingForAConsoleProgramReturnsAtOnce) {
  const std::string program = Launchee(true);
  LaunchRequest request;
  request.application_name = program;
  // Without arguments the helper ends at once with exit code 2.
  auto process = port_.Processes().Create(request);
  ASSERT_TRUE(process) << port_.Processes().LastError();
  // A program without a message queue is never "idle": the wait fails instead of blocking.
  EXPECT_NE(process->WaitForInputIdle(kInfinite), kWaitTimeout);
  ASSERT_TRUE(process->WaitForExit(30000));
  EXPECT_EQ(process->ExitCode(), 2u);
}

TEST_F(Win32PortTest, Utf8TextArrivesAsUtf16) {
  if (port_.Charset() == ApiCharset::Ansi) GTEST_SKIP() << "the ANSI path of Windows 9x";
  const std::string name =
      "Gr\xC3\xBC\xC3\x9F"
      "e \xD0\x9C\xD0\xB8\xD1\x80.txt";  // Grüße Мир.txt
  auto f =
      port_.Files().Open(P(name), FileAccess::Write, kShareNone, FileDisposition::CreateAlways);
  ASSERT_TRUE(f);
  f.reset();
  const std::wstring wide_root(root_.begin(), root_.end());  // the temp path is ASCII
  WIN32_FIND_DATAW data;
  const HANDLE h =
      FindFirstFileW((wide_root + L"\\Gr\u00FC\u00DFe \u041C\u0438\u0440.txt").c_str(), &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  FindClose(h);
  EXPECT_EQ(std::wstring(data.cFileName), L"Gr\u00FC\u00DFe \u041C\u0438\u0440.txt");
  ASSERT_EQ(port_.Files().FindFiles(P("*.txt")).size(), 1u);
  EXPECT_EQ(port_.Files().FindFiles(P("*.txt"))[0].name, name);

  const std::string key = "Software\\TamberlyWin32Test";
  ASSERT_TRUE(port_.Registry().CreateKey(RootKey::CurrentUser, key));
  ASSERT_TRUE(port_.Registry().WriteString(RootKey::CurrentUser, key, "\xD0\x9C", name));
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\TamberlyWin32Test", 0, KEY_READ, &k), 0);
  wchar_t buffer[64] = {};
  DWORD type = 0;
  DWORD size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExW(k, L"\u041C", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
            0);
  RegCloseKey(k);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::wstring(buffer), L"Gr\u00FC\u00DFe \u041C\u0438\u0440.txt");
  EXPECT_EQ(size, (std::wstring(buffer).size() + 1) * sizeof(wchar_t));  // with its NUL
  testing::DeleteKeyTree(port_.Registry(), RootKey::CurrentUser, key);
}

TEST_F(Win32PortTest, TheAnsiPathPassesOnlyWhatTheCodePageHolds) {
  if (GetACP() != 1252) GTEST_SKIP() << "code page " << GetACP();
  Win32Platform ansi(ApiCharset::Ansi);
  // "Grüße €.txt" is Windows-1252 text and arrives as the same characters.
  const std::string held =
      "Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x82\xAC.txt";
  ASSERT_TRUE(
      ansi.Files().Open(P(held), FileAccess::Write, kShareNone, FileDisposition::CreateAlways));
  const std::wstring wide_root(root_.begin(), root_.end());  // the temp path is ASCII
  WIN32_FIND_DATAW data;
  const HANDLE h = FindFirstFileW((wide_root + L"\\*.txt").c_str(), &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  FindClose(h);
  EXPECT_EQ(std::wstring(data.cFileName), L"Gr\u00FC\u00DFe \u20AC.txt");
  ASSERT_EQ(ansi.Files().FindFiles(P("*.txt")).size(), 1u);
  EXPECT_EQ(ansi.Files().FindFiles(P("*.txt"))[0].name, held);

  // "Мир" has no place in the code page: refused, with nothing made in its stead (the system
  // would have made "???").
  const std::string cyrillic = "\xD0\x9C\xD0\xB8\xD1\x80";
  EXPECT_FALSE(ansi.Files().Open(P(cyrillic + ".txt"), FileAccess::Write, kShareNone,
                                 FileDisposition::CreateAlways));
  EXPECT_EQ(ansi.Files().LastError(), err::kNoUnicodeTranslation);
  EXPECT_FALSE(ansi.Files().CreateDirectories(P(cyrillic)));
  EXPECT_EQ(ansi.Files().FindFiles(P("*")).size(), 1u);

  const std::string key = "Software\\TamberlyWin32Test";
  EXPECT_FALSE(ansi.Registry().CreateKey(RootKey::CurrentUser, key + "\\" + cyrillic));
  EXPECT_EQ(ansi.Registry().LastError(), err::kNoUnicodeTranslation);
  EXPECT_FALSE(ansi.Registry().KeyExists(RootKey::CurrentUser, key));
  ASSERT_TRUE(ansi.Registry().CreateKey(RootKey::CurrentUser, key));
  EXPECT_FALSE(ansi.Registry().WriteString(RootKey::CurrentUser, key, "Name", cyrillic));
  EXPECT_EQ(ansi.Registry().LastError(), err::kNoUnicodeTranslation);
  EXPECT_FALSE(ansi.Registry().ValueType(RootKey::CurrentUser, key, "Name"));
  ASSERT_TRUE(ansi.Registry().WriteString(RootKey::CurrentUser, key, "\xC3\xA9", held));
  EXPECT_EQ(ansi.Registry().ReadString(RootKey::CurrentUser, key, "\xC3\xA9"), held);
  EXPECT_EQ(ansi.Registry().EnumValues(RootKey::CurrentUser, key),
            std::vector<std::string>{"\xC3\xA9"});
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\TamberlyWin32Test", 0, KEY_READ, &k), 0);
  wchar_t buffer[64] = {};
  DWORD size = sizeof buffer;
  EXPECT_EQ(
      RegQueryValueExW(k, L"\u00E9", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size), 0);
  RegCloseKey(k);
  EXPECT_EQ(std::wstring(buffer), L"Gr\u00FC\u00DFe \u20AC.txt");
  testing::DeleteKeyTree(ansi.Registry(), RootKey::CurrentUser, key);
}

TEST(Win32ApiCharset, TheNineXFamilyTakesTheAnsiPathUnlessTheSwitchSaysOtherwise) {
  const char* set = std::getenv("TMBY_WIN32_API");
  const std::string before = set != nullptr ? set : "";
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  const bool nine_x = info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
  _putenv("TMBY_WIN32_API=");
  EXPECT_EQ(ChooseApiCharset(), nine_x ? ApiCharset::Ansi : ApiCharset::Wide);
  _putenv("TMBY_WIN32_API=ansi");
  EXPECT_EQ(ChooseApiCharset(), ApiCharset::Ansi);
  _putenv("TMBY_WIN32_API=wide");
  EXPECT_EQ(ChooseApiCharset(), ApiCharset::Wide);
  _putenv(("TMBY_WIN32_API=" + before).c_str());
}

TEST_F(Win32PortTest, StringsWithoutTheirNulReadSafely) {
  // Other programs may store strings without the terminating NUL, or with an odd length.
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\TamberlyWin32Test", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &k, nullptr),
            0);
  const wchar_t text[] = L"abcd";
  RegSetValueExW(k, L"NoNul", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 4 * sizeof(wchar_t));
  RegSetValueExW(k, L"Odd", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 3);
  const BYTE two[2] = {1, 2};
  RegSetValueExW(k, L"ShortDword", 0, REG_DWORD, two, 2);
  RegCloseKey(k);
  const std::string key = "Software\\TamberlyWin32Test";
  EXPECT_EQ(port_.Registry().ReadString(RootKey::CurrentUser, key, "NoNul"), "abcd");
  EXPECT_EQ(port_.Registry().ReadString(RootKey::CurrentUser, key, "Odd"), "a");
  EXPECT_FALSE(port_.Registry().ReadInteger(RootKey::CurrentUser, key, "ShortDword"));
  testing::DeleteKeyTree(port_.Registry(), RootKey::CurrentUser, key);
}

TEST_F(Win32PortTest, AHeldKeyTakesEveryWriteAtOnceAndIsLetGo) {
  IRegistry& reg = port_.Registry();
  auto* hold = dynamic_cast<IRegistryKeyHold*>(&reg);
  ASSERT_NE(hold, nullptr);
  const std::string key = "Software\\TamberlyWin32Test\\Held";
  ASSERT_TRUE(reg.CreateKey(RootKey::CurrentUser, key));
  // What another handle reads: a value is in the registry the moment it is written.
  const auto stored = [&](const std::string& name) -> std::string {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE, &k) != 0) return "?";
    char buffer[64] = {};
    DWORD size = sizeof buffer - 1;
    const LONG r =
        RegQueryValueExA(k, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(k);
    return r == 0 ? buffer : "?";
  };
  ASSERT_TRUE(hold->HoldKey(RootKey::CurrentUser, key));
  ASSERT_TRUE(hold->HoldKey(RootKey::CurrentUser, key));
  for (const char* name : {"File1", "File2", "File3"}) {
    ASSERT_TRUE(reg.WriteString(RootKey::CurrentUser, key, name, std::string("C:\\") + name));
    EXPECT_EQ(stored(name), std::string("C:\\") + name);
  }
  ASSERT_TRUE(reg.WriteInteger(RootKey::CurrentUser, key, "Entries", 3));
  EXPECT_EQ(reg.ReadInteger(RootKey::CurrentUser, key, "Entries"), 3u);

  // Deleted by someone else and made again: the next write reaches the new key.
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str()), 0);
  ASSERT_TRUE(reg.CreateKey(RootKey::CurrentUser, key));
  ASSERT_TRUE(reg.WriteString(RootKey::CurrentUser, key, "File4", "C:\\File4"));
  EXPECT_EQ(stored("File4"), "C:\\File4");

  // The registry's own deletion of a held key.
  ASSERT_TRUE(hold->HoldKey(RootKey::CurrentUser, key));
  EXPECT_TRUE(reg.DeleteKey(RootKey::CurrentUser, key));
  EXPECT_FALSE(reg.KeyExists(RootKey::CurrentUser, key));
  // A key that is not there is not held, and a write to it fails as before.
  EXPECT_FALSE(hold->HoldKey(RootKey::CurrentUser, key));
  EXPECT_FALSE(reg.WriteString(RootKey::CurrentUser, key, "File5", "C:\\File5"));
  hold->ReleaseKeys();
  testing::DeleteKeyTree(reg, RootKey::CurrentUser, "Software\\TamberlyWin32Test");
}

TEST_F(Win32PortTest, ErrorTextsComeFromTheSystem) {
  const std::string text = port_.System().ErrorText(err::kSharingViolation);
  // Windows says "... being used by another process.", Wine "Sharing violation."
  EXPECT_TRUE(text.find("another process") != std::string::npos ||
              text.find("Sharing violation") != std::string::npos)
      << text;
  EXPECT_NE(text.back(), '\n');
  EXPECT_EQ(port_.System().ErrorText(0x1FFFFFFF), "");
}

TEST_F(Win32PortTest, ABrokenLibraryFailsToLoadWithoutABox) {
  auto f = port_.Files().Open(P("bogus.dll"), FileAccess::Write, kShareNone,
                              FileDisposition::CreateAlways);
  ASSERT_TRUE(f);
  ASSERT_TRUE(f->Write("not a library", 13));
  f.reset();
  EXPECT_FALSE(port_.Libraries().CanLoad(P("bogus.dll")));
  EXPECT_FALSE(port_.Libraries().CanLoad(P("missing.dll")));
  EXPECT_TRUE(port_.Libraries().CanLoad("shell32.dll"));
}

TEST_F(Win32PortTest, WinesRestartCarriesOutDelayedReplacements) {
  if (!RunningOnWine()) GTEST_SKIP() << "a real Windows would restart";
  if (port_.Charset() == ApiCharset::Ansi) GTEST_SKIP() << "Windows 9x has no MoveFileEx";
  // The simulated restart also runs the machine's run-once entries; leave them to their owners.
  const auto run_once = port_.Registry().EnumValues(
      RootKey::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
  if (run_once && !run_once->empty()) GTEST_SKIP() << "run-once entries are waiting";

  for (const char* name : {"old.dll", "new.dll", "gone.tmp"}) {
    auto f =
        port_.Files().Open(P(name), FileAccess::Write, kShareNone, FileDisposition::CreateAlways);
    ASSERT_TRUE(f);
    ASSERT_TRUE(f->Write(name, 3));
  }
  ASSERT_TRUE(port_.Files().MoveFileAtReboot(P("new.dll"), P("old.dll")));
  ASSERT_TRUE(port_.Files().MoveFileAtReboot(P("gone.tmp"), ""));
  ASSERT_TRUE(port_.System().Reboot());
  // Wine restarts in the background; give it time.
  for (int i = 0; i < 300 && port_.Files().FileExists(P("gone.tmp")); ++i) Sleep(100);
  EXPECT_FALSE(port_.Files().FileExists(P("gone.tmp")));
  EXPECT_FALSE(port_.Files().FileExists(P("new.dll")));
  auto f =
      port_.Files().Open(P("old.dll"), FileAccess::Read, kShareAll, FileDisposition::OpenExisting);
  ASSERT_TRUE(f);
  char buffer[3];
  size_t done = 0;
  ASSERT_TRUE(f->Read(buffer, 3, &done));
  EXPECT_EQ(std::string(buffer, done), "new");
}

}  // namespace
}  // namespace tmby::platform::win32
