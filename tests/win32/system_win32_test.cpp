// The registry and system routines and the program launcher against the real Windows API. The
// tests run under whatever Windows version the host reports (the test runner uses Windows XP and
// Windows 98); the expectations follow the version that the system itself reports, read here
// straight from the API.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <map>
#include <string>

#include "base/component.h"
#include "base/exceptions.h"
#include "platform/win32/win32_internal.h"
#include "platform/win32/win32_port.h"
#include "system/os_version.h"
#include "system/program_launcher.h"
#include "system/registry.h"
#include "system/system_dirs.h"

namespace tmby {
namespace {

std::wstring W(const std::string& s) { return platform::win32::Wide(s); }
std::string U(const std::wstring& w) { return platform::win32::Utf8(w); }

// The raw registry, past the port: what a string value holds, if anything.
std::optional<std::string> RawString(HKEY root, const std::string& key, const std::string& name) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, W(key).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return std::nullopt;
  wchar_t buffer[1024] = {};
  DWORD type = 0;
  DWORD size = sizeof buffer - sizeof(wchar_t);
  LONG rc =
      RegQueryValueExW(h, W(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(h);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
  return U(buffer);
}

bool RawKeyExists(HKEY root, const std::string& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, W(key).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

void RawDeleteValue(HKEY root, const std::string& key, const std::string& name) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, W(key).c_str(), 0, KEY_SET_VALUE, &h) != ERROR_SUCCESS) return;
  RegDeleteValueW(h, W(name).c_str());
  RegCloseKey(h);
}

bool RawIsNineX() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  return GetVersionExW(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

std::string Unique(const std::string& stem) {
  return stem + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(GetTickCount());
}

class SystemWin32Test : public ::testing::Test {
 protected:
  SystemWin32Test() { previous_ = platform::SetPort(&port_); }
  ~SystemWin32Test() override { platform::SetPort(previous_); }

  static std::string TempDir() {
    wchar_t buffer[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, buffer);
    std::string dir = U(buffer);
    if (!dir.empty() && dir.back() == '\\') dir.pop_back();
    return dir;
  }

  platform::win32::Win32Platform port_;
  platform::IPlatform* previous_ = nullptr;
};

TEST_F(SystemWin32Test, VersionAndSystemDirectoriesMatchTheSystem) {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExW(&info));
  const TOSVerType os = GetOSVersion();
  if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
    EXPECT_TRUE(os == oswin95 || os == oswin98 || os == oswinME) << os;
    if (info.dwMinorVersion == 10) {
      EXPECT_EQ(os, oswin98);
    }
    EXPECT_FALSE(IsNTFamily(os));
  } else if (info.dwMajorVersion > 5 || (info.dwMajorVersion == 5 && info.dwMinorVersion >= 1)) {
    EXPECT_EQ(os, oswinXP);  // XP, and every later Windows counted as XP
    EXPECT_TRUE(IsNTFamily(os));
  }

  wchar_t buffer[MAX_PATH + 1] = {};
  ASSERT_GT(GetSystemDirectoryW(buffer, MAX_PATH), 0u);
  EXPECT_TRUE(SameText(GetSystemDir(), U(buffer))) << GetSystemDir();
  ASSERT_GT(GetWindowsDirectoryW(buffer, MAX_PATH), 0u);
  EXPECT_TRUE(SameText(GetWindowsDir(), U(buffer))) << GetWindowsDir();
  EXPECT_NE(GetSystemDir().back(), '\\');
}

TEST_F(SystemWin32Test, FolderLookupsAnswerWithoutTrailingBackslash) {
  const std::string program_files = GetProgramFilesDir();
  const std::string registered =
      ReadRegString(4, "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", "");
  if (!registered.empty()) {
    EXPECT_TRUE(SameText(program_files, registered)) << program_files;
  } else {
    EXPECT_TRUE(SameText(program_files.substr(1), ":\\Program Files")) << program_files;
  }
  for (const std::string& dir : {GetStartMenuDir(), GetProgramsDir(), GetDesktopDir(),
                                 GetStartupDir(), program_files, GetCommonFilesDir()}) {
    ASSERT_GT(dir.size(), 3u) << dir;
    EXPECT_NE(dir.back(), '\\') << dir;
    EXPECT_EQ(dir[1], ':') << dir;
  }
}

TEST_F(SystemWin32Test, RegistryTreesDeleteAndWrongTypesReadAsDefault) {
  const std::string base = "\\Software\\" + Unique("TamberlyTest");
  WriteRegString(2, base + "\\A\\B\\C", "leaf", "1");
  WriteRegString(2, base + "\\A\\D", "other", "2");
  WriteRegInteger(2, base, "Number", 12);
  ASSERT_EQ(RawString(HKEY_CURRENT_USER, base.substr(1) + "\\A\\B\\C", "leaf"), "1");

  // Wrong types through the real API.
  EXPECT_EQ(ReadRegString(2, base, "Number", "dflt"), "dflt");
  EXPECT_EQ(ReadRegInteger(2, base + "\\A\\D", "other", -7), -7);
  EXPECT_EQ(ReadRegInteger(2, base, "Number", 0), 12);
  TtmbyRegistry reg;
  ASSERT_TRUE(reg.OpenKey(base, false));
  ASSERT_TRUE(reg.WriteDateTime("When", 38000.75));
  EXPECT_EQ(reg.ReadDateTime("When"), 38000.75);
  EXPECT_FALSE(reg.ReadInteger("When"));
  reg.CloseKey();

  // The recursive delete removes what the system call alone would refuse.
  EXPECT_TRUE(reg.DeleteKey(base));
  EXPECT_FALSE(RawKeyExists(HKEY_CURRENT_USER, base.substr(1)));
  EXPECT_TRUE(RawKeyExists(HKEY_CURRENT_USER, "Software"));
  EXPECT_NO_THROW(DeleteRegKeyTree(2, base));  // gone already

  // A key name longer than Windows allows: the write fails with the kit's exception.
  const std::string overlong = base + "\\" + std::string(300, 'k');
  EXPECT_THROW(WriteRegString(2, overlong, "V", "x"), EIRCannotWriteValue);
  EXPECT_EQ(ReadRegString(2, overlong, "V", "dflt"), "dflt");
  DeleteRegKeyTree(2, base);
}

TEST_F(SystemWin32Test, AddRunOnceGoesToTheRootOfTheWindowsLine) {
  const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
  const std::string name = Unique("TmbyRunOnce");
  HKEY expected = RawIsNineX() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  HKEY other = RawIsNineX() ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;

  ASSERT_TRUE(AddRunOnce(name, "\"C:\\setup.exe\" -r -s\"C:\\src\"", true));
  ASSERT_TRUE(AddRunOnce(name, "second", true));
  EXPECT_EQ(RawString(expected, key, name), "\"C:\\setup.exe\" -r -s\"C:\\src\"");
  EXPECT_EQ(RawString(expected, key, name + "1"), "second");
  EXPECT_FALSE(RawString(other, key, name));
  RawDeleteValue(expected, key, name);
  RawDeleteValue(expected, key, name + "1");
}

TEST_F(SystemWin32Test, TempFilesAttributesAndNearestDirectory) {
  const std::string kept = GetTempFile(true);
  const std::string gone = GetTempFile(false);
  const std::string temp = TempDir();
  EXPECT_TRUE(SameText(kept.substr(0, temp.size() + 4), temp + "\\bat")) << kept;
  EXPECT_NE(GetFileAttributesW(W(kept).c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(W(gone).c_str()), INVALID_FILE_ATTRIBUTES);

  SetFileAttributesFromSet(kept, {tfaReadOnly, tfaHidden});
  EXPECT_EQ(GetFileAttributesW(W(kept).c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  SetFileAttributesFromSet(kept, {tfaNormal});
  EXPECT_EQ(GetFileAttributesW(W(kept).c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  DeleteFileW(W(kept).c_str());
  try {
    SetFileAttributesFromSet(kept, {tfaArchive});
    FAIL() << "no exception";
  } catch (const IEfcSetAttributes& e) {
    const std::string message = e.what();
    EXPECT_EQ(message.rfind("Cannot set file attributes. Error : ", 0), 0u) << message;
    EXPECT_GT(message.size(), 40u) << message;  // the system's text follows
  }

  EXPECT_TRUE(SameText(NearestExistingDirectory(temp + "\\missing\\one\\two"), temp));
  std::string long_path = temp;
  while (long_path.size() < 300) long_path += "\\abcdefghij";
  EXPECT_TRUE(SameText(NearestExistingDirectory(long_path), temp));
  EXPECT_EQ(NearestExistingDirectory("   "), "");
  EXPECT_EQ(NearestExistingDirectory(temp.substr(0, 2) + "\\no_such_top\\sub"), temp.substr(0, 2));
}

// --- The program launcher, with a real child program -----------------------------------------

class LauncherWin32Test : public SystemWin32Test {
 protected:
  LauncherWin32Test() : launcher_(nullptr), report_(TempDir() + "\\" + Unique("launch") + ".txt") {}
  ~LauncherWin32Test() override { DeleteFileW(W(report_).c_str()); }

  // The child program next to this test program.
  static std::string Child(const char* name) {
    wchar_t buffer[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::string self = U(buffer);
    return self.substr(0, self.rfind('\\') + 1) + name;
  }

  // The report as key/value pairs; empty when it is not (yet) there.
  std::map<std::string, std::string> Report() {
    std::map<std::string, std::string> values;
    std::ifstream in(W(report_).c_str());
    std::string line;
    while (std::getline(in, line)) {
      size_t eq = line.find('=');
      if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
  }

  // Waits up to 20 s for a report that holds `key`.
  std::map<std::string, std::string> AwaitReport(const std::string& key) {
    for (int i = 0; i < 200; ++i) {
      auto r = Report();
      if (r.count(key) != 0) return r;
      Sleep(100);
    }
    return {};
  }

  void Start(const char* child, TplShowMode mode, const std::string& extra = "") {
    launcher_.SetFileName(Child(child));
    launcher_.SetParameters("\"" + report_ + "\" --stay-ms 300" + extra);
    launcher_.SetShowMode(mode);
    launcher_.Launch();
  }

  TProgramLauncher launcher_;
  std::string report_;
};

TEST_F(LauncherWin32Test, TheChildGetsItsCommandLineAndIsReadyWhenLaunchReturns) {
  // The child sleeps before it creates its window and reports; Launch waits for it.
  Start("launchee.exe", smNormal, " --delay-ms 800");
  auto r = Report();
  ASSERT_FALSE(r.empty()) << "Launch returned before the program was ready for input";
  EXPECT_EQ(r["cmdline"],
            "\"" + Child("launchee.exe") + "\" \"" + report_ + "\" --stay-ms 300 --delay-ms 800");
  EXPECT_EQ(r["useshowwindow"], "1");
  EXPECT_EQ(r["showwindow"], "1");
  r = AwaitReport("visible");
  EXPECT_EQ(r["visible"], "1");
  EXPECT_EQ(r["iconic"], "0");
}

TEST_F(LauncherWin32Test, ShowModesReachTheChildsFirstWindow) {
  Start("launchee.exe", smHide);
  auto r = AwaitReport("visible");
  EXPECT_EQ(r["showwindow"], "0");
  EXPECT_EQ(r["visible"], "0");  // really hidden
  DeleteFileW(W(report_).c_str());

  Start("launchee.exe", smMinimized);
  r = AwaitReport("iconic");
  EXPECT_EQ(r["showwindow"], "2");
  EXPECT_EQ(r["iconic"], "1");
  DeleteFileW(W(report_).c_str());

  Start("launchee.exe", smMaximized);
  r = AwaitReport("zoomed");
  EXPECT_EQ(r["showwindow"], "3");
  EXPECT_EQ(r["zoomed"], "1");
}

TEST_F(LauncherWin32Test, StartDirectoryAndNoWait) {
  launcher_.SetStartDir(TempDir());
  launcher_.SetWait(false);
  Start("launchee.exe", smHide, " --delay-ms 1500");
  // Without waiting the launch returns while the child still sleeps.
  EXPECT_TRUE(Report().empty());
  auto r = AwaitReport("cwd");
  ASSERT_FALSE(r.empty());
  EXPECT_TRUE(SameText(r["cwd"], TempDir()) || SameText(r["cwd"], TempDir() + "\\")) << r["cwd"];
}

TEST_F(LauncherWin32Test, AConsoleProgramDoesNotHoldTheLaunchUp) {
  launcher_.SetTimeout(-1);  // no limit: only the system's rule ends the wait
  Start("launchee_console.exe", smNormal);
  auto r = AwaitReport("console");
  EXPECT_EQ(r["console"], "1");
  EXPECT_EQ(r["cmdline"].rfind("\"" + Child("launchee_console.exe") + "\" ", 0), 0u)
      << r["cmdline"];
}

TEST_F(LauncherWin32Test, AMissingProgramReportsFileNotFound) {
  launcher_.SetFileName(Child("no_such_program.exe"));
  try {
    launcher_.Launch();
    FAIL() << "no exception";
  } catch (const EProgramLauncherFailed& e) {
    EXPECT_EQ(e.ErrorCode, 2u);
    EXPECT_STREQ(e.what(), "File not found");
  }
  launcher_.SetFileName(TempDir() + "\\no_such_folder\\x.exe");
  try {
    launcher_.Launch();
    FAIL() << "no exception";
  } catch (const EProgramLauncherFailed& e) {
    EXPECT_EQ(e.ErrorCode, 3u);
    EXPECT_STREQ(e.what(), "Path not found");
  }
}

}  // namespace
}  // namespace tmby
