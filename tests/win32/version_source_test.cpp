// The two sources of version blocks on real files: the system's version library and the portable
// reader of executable files must give the same fifteen strings, for the system's own programs
// and libraries and for test libraries built with version resources under several languages and
// code pages. The portable parsing of the block is checked once more against the system's own
// query (VerQueryValueW) on the block the system returned.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "platform/port.h"
#include "platform/win32/win32_internal.h"
#include "platform/win32/win32_port.h"
#include "platform/win32/win32_version_source.h"
#include "system/pe_version_reader.h"
#include "system/version_resource.h"

namespace tmby {
namespace {

using namespace tmby::version;

using tmby::platform::win32::Wide;

std::string Narrow(const wchar_t* w, size_t length) {
  return tmby::platform::win32::Utf8(w, length);
}

// The fifteen strings as the system's own query gives them, from the block the system returned.
void ReadBySystemQuery(std::vector<uint8_t> block, uint16_t language, uint16_t code_page,
                       TVersionInfo& info) {
  info.Clear();
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
    return;
  }
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  if (fixed->dwSignature != 0xFEEF04BD) return;
  info.FileVersion = FixedVersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
  info.ProductVersion = FixedVersionText(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
  info.FileOS = FileOSText(fixed->dwFileOS);
  info.FileType = FileTypeText(fixed->dwFileType);
  info.FileSubType = FileSubTypeText(fixed->dwFileType, fixed->dwFileSubtype);
  wchar_t prefix[40];
  wsprintfW(prefix, L"\\StringFileInfo\\%04X%04X\\", language, code_page);
  for (size_t i = 0; i < 12; ++i) {
    const auto& field = TVersionInfo::kFields[i];
    if (field.member == &TVersionInfo::FileVersion) continue;
    const std::wstring path = prefix + Wide(field.name);
    if (VerQueryValueW(block.data(), path.c_str(), &value, &length)) {
      const auto* text = static_cast<const wchar_t*>(value);
      info.*field.member = length == 0 ? std::string() : Narrow(text, wcsnlen(text, length));
    }
  }
}

std::string Describe(const TVersionInfo& info) {
  std::string out;
  for (const auto& field : TVersionInfo::kFields) {
    out += std::string(field.name) + "=\"" + info.*field.member + "\" ";
  }
  return out;
}

class Win32VersionSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = platform::SetPort(&port_);
    ResetVersionResources();
  }
  void TearDown() override {
    ResetVersionResources();
    platform::SetPort(previous_);
  }

  // Reads `path` through both sources and checks that every reading agrees: the blocks, the
  // fifteen strings under the defaults and under each language/code page the file declares, and
  // the system's own query. Returns the system's strings under the defaults.
  void CheckBothSources(const std::string& path, TVersionInfo& defaults) {
    SCOPED_TRACE(path);
    sixteen_bit_ = false;
    own_strings_ = false;
    auto portable = portable_.ReadVersionBlock(path);
    auto system = system_.ReadVersionBlock(path);
    ASSERT_EQ(portable.has_value(), system.has_value());
    defaults.Clear();
    if (!system) return;
    const TVersionBlock from_portable(*portable);
    const TVersionBlock from_system(*system);
    ASSERT_EQ(from_portable.Valid(), from_system.Valid());
    EXPECT_EQ(from_portable.Translations(), from_system.Translations());

    std::set<std::pair<uint16_t, uint16_t>> keys = {{0x0409, 1252}, {0x0409, 1200}, {0x0407, 1200}};
    for (uint32_t t : from_system.Translations()) keys.insert({t >> 16, t & 0xFFFF});
    for (const auto& [language, code_page] : keys) {
      TVersionInfo a, b, c;
      ReadVersionInfo(from_portable, language, code_page, a);
      ReadVersionInfo(from_system, language, code_page, b);
      ReadBySystemQuery(*system, language, code_page, c);
      EXPECT_TRUE(a.SameStrings(b)) << std::hex << language << "/" << code_page << "\n portable "
                                    << Describe(a) << "\n system   " << Describe(b);
      EXPECT_TRUE(b.SameStrings(c)) << std::hex << language << "/" << code_page << "\n parsed "
                                    << Describe(b) << "\n query  " << Describe(c);
      if (language == 0x0409 && code_page == 1252) defaults.Assign(b);
      if (!b.CompanyName.empty() || !b.FileDescription.empty()) own_strings_ = true;
    }
    sixteen_bit_ = from_system.IsSixteenBit();
  }

  std::string NextToTests(const std::string& name) {
    std::string dir = port_.Files().ModuleFileName();
    dir.erase(dir.find_last_of('\\') + 1);
    return dir + name;
  }

  platform::win32::Win32Platform port_;
  platform::IPlatform* previous_ = nullptr;
  TPeVersionBlockSource portable_;
  platform::win32::Win32VersionBlockSource system_;
  // What the last CheckBothSources saw: a 16-bit block, strings under some key.
  bool sixteen_bit_ = false;
  bool own_strings_ = false;
};

TEST_F(Win32VersionSourceTest, SystemProgramsAndLibrariesReadTheSameThroughBothSources) {
  std::vector<std::string> dirs;
  for (auto dir : {port_.System().SystemDirectory(), port_.System().WindowsDirectory()}) {
    if (dir) dirs.push_back(*dir);
  }
  // The 64-bit system files, seen from a 32-bit program on a 64-bit Windows.
  const std::string native = dirs.back() + "\\sysnative";
  if (port_.Files().DirectoryExists(native)) dirs.push_back(native);
  // Wine's own font files (16-bit NE images), through its drive of the host's root.
  if (port_.Files().DirectoryExists("Z:\\usr\\share\\wine\\fonts")) {
    dirs.push_back("Z:\\usr\\share\\wine\\fonts");
  }

  int files = 0, versioned = 0, with_strings = 0, sixteen_bit = 0;
  for (const auto& dir : dirs) {
    for (const char* pattern : {"\\*.dll", "\\*.exe", "\\*.drv", "\\*.ocx", "\\*.fon"}) {
      for (const auto& entry : port_.Files().FindFiles(dir + pattern)) {
        if (entry.attributes & platform::attr::kDirectory) continue;
        TVersionInfo info;
        CheckBothSources(dir + "\\" + entry.name, info);
        ++files;
        if (!info.FileVersion.empty()) ++versioned;
        if (own_strings_) ++with_strings;
        if (sixteen_bit_) ++sixteen_bit;
      }
    }
  }
  std::printf(
      "[ version  ] %d system files: %d with a version block (%d of them 16-bit), %d with "
      "strings\n",
      files, versioned, sixteen_bit, with_strings);
  EXPECT_GT(files, 100);
  EXPECT_GT(versioned, 50);
  EXPECT_GT(with_strings, 50);
}

TEST_F(Win32VersionSourceTest, TestLibrariesUnderSeveralLanguagesAndCodePages) {
  for (const char* name :
       {"verinfo_english.dll", "verinfo_german.dll", "verinfo_multi.dll", "verinfo_font.dll"}) {
    ASSERT_TRUE(port_.Files().FileExists(NextToTests(name))) << name;
    TVersionInfo ignored;
    CheckBothSources(NextToTests(name), ignored);
  }

  // Through the reader component, once with each source.
  for (IVersionBlockSource* source :
       std::initializer_list<IVersionBlockSource*>{&portable_, &system_}) {
    TOwned<TVersionResource> reader(new TVersionResource(nullptr, source));
    const TVersionInfo& info = reader->VersionInfo();

    reader->SetFileName(NextToTests("verinfo_english.dll"));
    EXPECT_EQ(info.Comment, "Reader test library");
    EXPECT_EQ(info.CompanyName, "Lakeside Software");
    EXPECT_EQ(info.FileDescription, "Version reader probe");
    EXPECT_EQ(info.FileVersion, "1.2.10.0");
    EXPECT_EQ(info.InternalName, "verinfo_en");
    EXPECT_EQ(info.LegalCopyright, "Copyright © 2026 Lakeside Software");
    EXPECT_EQ(info.LegalTradeMarks, "Lakeside™");
    EXPECT_EQ(info.OriginalFileName, "verinfo_en.dll");
    EXPECT_EQ(info.PrivateBuild, "built by the tests");
    EXPECT_EQ(info.ProductName, "Tamberly test programs");
    EXPECT_EQ(info.ProductVersion, "3.0 release 7");
    EXPECT_EQ(info.SpecialBuild, "none");
    EXPECT_EQ(info.FileOS, "32 bit Windows");
    EXPECT_EQ(info.FileType, "Dynamic-Link Library");
    EXPECT_EQ(info.FileSubType, "");

    // Stored only under German: the defaults give the fixed part and nothing else.
    reader->SetFileName(NextToTests("verinfo_german.dll"));
    TVersionInfo expected;
    expected.FileVersion = "4.0.1381.4";
    expected.ProductVersion = "4.0.0.0";
    expected.FileOS = "Windows NT with 32 bit Windows";
    expected.FileType = "Application";
    EXPECT_TRUE(info.SameStrings(expected)) << Describe(info);
    reader->SetLanguage(lnGerman);
    reader->SetCharacterSet(csUnicode);
    EXPECT_EQ(info.CompanyName, "Seeufer Software GmbH");
    EXPECT_EQ(info.FileDescription, "Prüfprogramm für Versionsangaben – Größe ändern");
    EXPECT_EQ(info.ProductVersion, "4.0 Ausgabe A");
    EXPECT_EQ(reader->Translations(), std::vector<uint32_t>{0x040704B0});

    reader->SetFileName(NextToTests("verinfo_multi.dll"));
    EXPECT_EQ(info.CompanyName, "");
    EXPECT_EQ(info.FileVersion, "65535.1.0.65535");
    EXPECT_EQ(info.FileOS, "Windows NT");
    EXPECT_EQ(info.FileType, "Device Driver");
    EXPECT_EQ(info.FileSubType, "Sound");
    reader->SetLanguage(lnFrench);
    reader->SetCharacterSet(csMultilingual);
    EXPECT_EQ(info.CompanyName, "Logiciels du Lac");
    EXPECT_EQ(info.ProductVersion, "2.5 édition française");
    reader->SetLanguage(lnJapanese);
    reader->SetCharacterSet(csUnicode);
    EXPECT_EQ(info.CompanyName, "湖畔ソフトウェア");
    EXPECT_EQ(info.ProductVersion, "2.5.0.0");
    reader->SetLanguage(lnRussian);
    reader->SetCharacterSet(csCyrillic);
    EXPECT_EQ(info.CompanyName, "Озёрное ПО");
    EXPECT_EQ(info.Comment, "проверка");

    reader->SetLanguage(lnUSEnglish);
    reader->SetCharacterSet(csMultilingual);
    reader->SetFileName(NextToTests("verinfo_font.dll"));
    EXPECT_EQ(info.FileType, "Font");
    EXPECT_EQ(info.FileSubType, "TrueType");
    EXPECT_EQ(info.FileOS, "Windows 3.0 or later");
    EXPECT_EQ(info.CompanyName, "X");
    EXPECT_EQ(info.ProductName, "");
    EXPECT_EQ(info.ProductVersion, "0.0.0.1");

    reader->SetFileName(NextToTests("no such file.dll"));
    EXPECT_TRUE(info.SameStrings(TVersionInfo()));
  }
}

TEST_F(Win32VersionSourceTest, FilesWithoutABlockAndFilesInUse) {
  const std::string temp = port_.Files().TempPath().value_or("C:\\");
  const std::string text = temp + "tmby_version_plain.txt";
  {
    auto file = port_.Files().Open(text, platform::FileAccess::Write, platform::kShareNone,
                                   platform::FileDisposition::CreateAlways);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->Write("MZ not really", 13));
  }
  TVersionInfo info;
  CheckBothSources(text, info);
  EXPECT_TRUE(info.SameStrings(TVersionInfo()));
  CheckBothSources(temp + "tmby_version_missing.dll", info);
  EXPECT_TRUE(info.SameStrings(TVersionInfo()));
  port_.Files().RemoveFile(text);

  // A library in use by this very program (loaded) is still read by both.
  TVersionInfo loaded;
  CheckBothSources(NextToTests("verinfo_english.dll"), loaded);
  HMODULE module = LoadLibraryW(Wide(NextToTests("verinfo_english.dll")).c_str());
  ASSERT_NE(module, nullptr);
  TVersionInfo while_loaded;
  CheckBothSources(NextToTests("verinfo_english.dll"), while_loaded);
  EXPECT_TRUE(loaded.SameStrings(while_loaded));
  FreeLibrary(module);
}

}  // namespace
}  // namespace tmby
