#include "system/version_resource.h"

#include <gtest/gtest.h>

#include "engine/exceptions.h"
#include "support/pe_builder.h"

namespace tmby {
namespace {

using namespace tmby::version;
using testing::BuildVersionBlock;
using testing::VersionSpec;

VersionSpec FullSpec(const std::string& table) {
  VersionSpec spec;
  spec.file_version_ms = 0x00050001;
  spec.file_version_ls = 0x0A280000;
  spec.product_version_ms = 0x00050001;
  spec.product_version_ls = 0x0A280001;
  spec.tables = {{table,
                  {{"Comment", "a comment"},
                   {"CompanyName", "Lakeside Software"},
                   {"FileDescription", "Lakeside Notes"},
                   {"FileVersion", "9.9.9 (from the table)"},
                   {"InternalName", "lakenotes"},
                   {"LegalCopyright", "(C) Lakeside"},
                   {"LegalTrademarks", "Notes(TM)"},
                   {"OriginalFilename", "LakeNotes.exe"},
                   {"PrivateBuild", "private"},
                   {"ProductName", "Lakeside Notes"},
                   {"ProductVersion", "2.0 beta"},
                   {"SpecialBuild", "special"}}}};
  spec.translations = {0x040904E4};
  return spec;
}

TVersionInfo Read(const VersionSpec& spec, uint16_t language = 0x0409, uint16_t code_page = 1252) {
  TVersionInfo info;
  ReadVersionInfo(TVersionBlock(BuildVersionBlock(spec)), language, code_page, info);
  return info;
}

TEST(TVersionResourceTest, ReadsAllFifteenStrings) {
  const TVersionInfo info = Read(FullSpec("040904E4"));
  EXPECT_EQ(info.Comment, "a comment");
  EXPECT_EQ(info.CompanyName, "Lakeside Software");
  EXPECT_EQ(info.FileDescription, "Lakeside Notes");
  // FileVersion is always the numeric form; a ProductVersion string replaces the numeric one.
  EXPECT_EQ(info.FileVersion, "5.1.2600.0");
  EXPECT_EQ(info.InternalName, "lakenotes");
  EXPECT_EQ(info.LegalCopyright, "(C) Lakeside");
  EXPECT_EQ(info.LegalTradeMarks, "Notes(TM)");  // keys match without regard to case
  EXPECT_EQ(info.OriginalFileName, "LakeNotes.exe");
  EXPECT_EQ(info.PrivateBuild, "private");
  EXPECT_EQ(info.ProductName, "Lakeside Notes");
  EXPECT_EQ(info.ProductVersion, "2.0 beta");
  EXPECT_EQ(info.SpecialBuild, "special");
  EXPECT_EQ(info.FileOS, "Windows NT with 32 bit Windows");
  EXPECT_EQ(info.FileType, "Application");
  EXPECT_EQ(info.FileSubType, "");
}

TEST(TVersionResourceTest, StringsUnderAnotherLanguageOrCodePageStayEmpty) {
  // Stored only under German: the default key 040904E4 finds nothing, whatever the file's own
  // translation list says.
  VersionSpec german = FullSpec("040704B0");
  german.translations = {0x040704B0};
  TVersionInfo info = Read(german);
  EXPECT_EQ(info.FileVersion, "5.1.2600.0");
  EXPECT_EQ(info.ProductVersion, "5.1.2600.1");
  EXPECT_EQ(info.FileOS, "Windows NT with 32 bit Windows");
  EXPECT_EQ(info.FileType, "Application");
  TVersionInfo expected;
  expected.FileVersion = info.FileVersion;
  expected.ProductVersion = info.ProductVersion;
  expected.FileOS = info.FileOS;
  expected.FileType = info.FileType;
  EXPECT_EQ(info, expected);

  // The right language and code page find them.
  info = Read(german, LanguageIdentifier(lnGerman), CodePage(csUnicode));
  EXPECT_EQ(info.CompanyName, "Lakeside Software");
  EXPECT_EQ(info.ProductVersion, "2.0 beta");
  // The right language under another code page does not.
  EXPECT_EQ(Read(german, 0x0407, 1252).CompanyName, "");
}

TEST(TVersionResourceTest, NoFixedInformationMeansNothingIsRead) {
  auto bytes = BuildVersionBlock(FullSpec("040904E4"));
  bytes[40] = 0;  // break the signature
  TVersionInfo info;
  info.CompanyName = "left over";
  ReadVersionInfo(TVersionBlock(bytes), 0x0409, 1252, info);
  EXPECT_EQ(info, TVersionInfo());
  ReadVersionInfo(TVersionBlock(), 0x0409, 1252, info);
  EXPECT_EQ(info, TVersionInfo());
}

TEST(TVersionResourceTest, FixedInformationTexts) {
  EXPECT_EQ(FileOSText(0x00000001), "Windows 3.0 or later");
  EXPECT_EQ(FileOSText(0x00010001), "Windows 3.0 or later with MS-Dos");
  EXPECT_EQ(FileOSText(0x00030003), "32 bit OS/2 with Presentation Manager");
  EXPECT_EQ(FileOSText(0x00040000), "Windows NT");
  EXPECT_EQ(FileOSText(0x00050000), "Unknown");
  EXPECT_EQ(FileTypeText(2), "Dynamic-Link Library");
  EXPECT_EQ(FileTypeText(5), "Virtual Device Driver");
  EXPECT_EQ(FileTypeText(6), "Unknown");
  EXPECT_EQ(FileTypeText(7), "Static-Link Library");
  EXPECT_EQ(FileSubTypeText(3, 1), "Printer");
  EXPECT_EQ(FileSubTypeText(3, 10), "Communications");
  EXPECT_EQ(FileSubTypeText(3, 11), "Unknown");
  EXPECT_EQ(FileSubTypeText(3, 0), "Unknown");
  EXPECT_EQ(FileSubTypeText(4, 3), "TrueType");
  EXPECT_EQ(FileSubTypeText(4, 4), "Unknown");
  EXPECT_EQ(FileSubTypeText(2, 1), "");
  EXPECT_EQ(FixedVersionText(0xFFFF0000, 0x0001FFFF), "65535.0.1.65535");

  VersionSpec font;
  font.file_os = 0x00000001;
  font.file_type = 4;
  font.file_subtype = 1;
  TVersionInfo info;
  ReadVersionInfo(TVersionBlock(BuildVersionBlock(font, /*sixteen_bit=*/true)), 0x0409, 1252, info);
  EXPECT_EQ(info.FileType, "Font");
  EXPECT_EQ(info.FileSubType, "Raster");
  EXPECT_EQ(info.FileOS, "Windows 3.0 or later");
}

TEST(TVersionResourceTest, LanguageAndCharacterSetTables) {
  EXPECT_EQ(LanguageIdentifier(lnArabic), 0x0401);
  EXPECT_EQ(LanguageIdentifier(lnGerman), 0x0407);
  EXPECT_EQ(LanguageIdentifier(lnUSEnglish), 0x0409);
  EXPECT_EQ(LanguageIdentifier(lnBahasa), 0x0421);
  EXPECT_EQ(LanguageIdentifier(lnSimplifiedChinese), 0x0804);
  EXPECT_EQ(LanguageIdentifier(lnNorwegianNynorsk), 0x0814);
  EXPECT_EQ(LanguageIdentifier(lnSwissFrench), 0x100C);
  // The first 33 are one apart.
  for (int i = 0; i <= static_cast<int>(lnBahasa); ++i) {
    EXPECT_EQ(LanguageIdentifier(static_cast<TLanguage>(i)), 0x0401 + i);
  }
  EXPECT_STREQ(LanguageName(lnCroatoSerbian), "lnCroatoSerbian");
  EXPECT_EQ(CodePage(csASCII), 0);
  EXPECT_EQ(CodePage(csUnicode), 1200);
  EXPECT_EQ(CodePage(csMultilingual), 1252);
  EXPECT_EQ(CodePage(csArabic), 1256);
  EXPECT_STREQ(CharacterSetName(csLatin2), "csLatin2");
  EXPECT_THROW(LanguageIdentifier(static_cast<TLanguage>(kLanguageCount)), Exception);
  EXPECT_THROW(CodePage(static_cast<TCharacterSet>(-1)), Exception);
}

}  // namespace
}  // namespace tmby
