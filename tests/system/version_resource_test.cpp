#include "system/version_resource.h"

#include <gtest/gtest.h>

#include <map>

#include "base/exceptions.h"
#include "platform/port.h"
#include "support/archive_fixture.h"
#include "support/pe_builder.h"
#include "system/pe_version_reader.h"

namespace tmby {
namespace {

using namespace tmby::version;
using testing::BuildPe;
using testing::BuildVersionBlock;
using testing::VersionSpec;

VersionSpec FullSpec(const std::string& table) {
  VersionSpec layout;
  layout.file_version_ms = 0x00050001;
  layout.file_version_ls = 0x0A280000;
  layout.product_version_ms = 0x00050001;
  layout.product_version_ls = 0x0A280001;
  layout.tables = {{table,
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
  layout.translations = {0x040904E4};
  return layout;
}

void Read(const VersionSpec& layout, TVersionInfo& info, uint16_t language = 0x0409,
          uint16_t code_page = 1252) {
  ReadVersionInfo(TVersionBlock(BuildVersionBlock(layout)), language, code_page, info);
}

TEST(TVersionResourceTest, ReadsAllFifteenStrings) {
  TVersionInfo info;
  Read(FullSpec("040904E4"), info);
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
  TVersionInfo info;
  Read(german, info);
  EXPECT_EQ(info.FileVersion, "5.1.2600.0");
  EXPECT_EQ(info.ProductVersion, "5.1.2600.1");
  EXPECT_EQ(info.FileOS, "Windows NT with 32 bit Windows");
  EXPECT_EQ(info.FileType, "Application");
  TVersionInfo expected;
  expected.FileVersion = info.FileVersion;
  expected.ProductVersion = info.ProductVersion;
  expected.FileOS = info.FileOS;
  expected.FileType = info.FileType;
  EXPECT_TRUE(info.SameStrings(expected));

  // The right language and code page find them.
  Read(german, info, LanguageIdentifier(lnGerman), CodePage(csUnicode));
  EXPECT_EQ(info.CompanyName, "Lakeside Software");
  EXPECT_EQ(info.ProductVersion, "2.0 beta");
  // The right language under another code page does not.
  Read(german, info, 0x0407, 1252);
  EXPECT_EQ(info.CompanyName, "");
}

TEST(TVersionResourceTest, NoFixedInformationMeansNothingIsRead) {
  auto bytes = BuildVersionBlock(FullSpec("040904E4"));
  bytes[40] = 0;  // break the signature
  TVersionInfo info;
  info.CompanyName = "left over";
  ReadVersionInfo(TVersionBlock(bytes), 0x0409, 1252, info);
  EXPECT_TRUE(info.SameStrings(TVersionInfo()));
  ReadVersionInfo(TVersionBlock(), 0x0409, 1252, info);
  EXPECT_TRUE(info.SameStrings(TVersionInfo()));
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
  EXPECT_EQ(EnumName(lnCroatoSerbian), "lnCroatoSerbian");
  EXPECT_EQ(EnumName(lnSwissFrench), "lnSwissFrench");
  EXPECT_EQ(CodePage(csASCII), 0);
  EXPECT_EQ(CodePage(csUnicode), 1200);
  EXPECT_EQ(CodePage(csMultilingual), 1252);
  EXPECT_EQ(CodePage(csArabic), 1256);
  EXPECT_EQ(EnumName(csArabic), "csArabic");
  EXPECT_THROW(LanguageIdentifier(static_cast<TLanguage>(kLanguageCount)), Exception);
  EXPECT_THROW(CodePage(static_cast<TCharacterSet>(-1)), Exception);
}

// ---------------------------------------------------------------------------------------------
// The reader component on files of the adapter under test.

// A source that hands out fixed blocks by path and counts the reads.
class CountingSource : public IVersionBlockSource {
 public:
  std::optional<std::vector<uint8_t>> ReadVersionBlock(const std::string& path) override {
    ++reads;
    last_path = path;
    auto it = blocks.find(path);
    if (it == blocks.end()) return std::nullopt;
    return it->second;
  }
  std::map<std::string, std::vector<uint8_t>> blocks;
  int reads = 0;
  std::string last_path;
};

class TVersionResourceFileTest : public testing::ArchiveFixture {
 protected:
  void SetUp() override {
    ArchiveFixture::SetUp();
    ResetVersionResources();
  }
  void TearDown() override {
    ResetVersionResources();
    ArchiveFixture::TearDown();
  }
};

TEST_F(TVersionResourceFileTest, ReadsTheProgramItselfAtConstructionAndRereadsOnEveryChange) {
  CountingSource source;
  TOwned<TVersionResource> reader(new TVersionResource(nullptr, &source));
  EXPECT_EQ(reader->FileName(), Files().ModuleFileName());
  EXPECT_EQ(source.last_path, Files().ModuleFileName());
  EXPECT_EQ(reader->Language(), lnUSEnglish);
  EXPECT_EQ(reader->CharacterSet(), csMultilingual);
  EXPECT_EQ(source.reads, 1);

  VersionSpec layout = FullSpec("040704B0");
  source.blocks["C:\\x.dll"] = BuildVersionBlock(layout);
  reader->SetFileName("C:\\x.dll");
  EXPECT_EQ(source.reads, 2);
  EXPECT_EQ(reader->VersionInfo().CompanyName, "");
  reader->SetLanguage(lnGerman);
  EXPECT_EQ(source.reads, 3);
  EXPECT_EQ(reader->VersionInfo().CompanyName, "");
  reader->SetCharacterSet(csUnicode);
  EXPECT_EQ(source.reads, 4);
  EXPECT_EQ(reader->VersionInfo().CompanyName, "Lakeside Software");
  EXPECT_EQ(reader->Translations(), std::vector<uint32_t>{0x040904E4});

  // A file without a block clears everything read before.
  reader->SetFileName("C:\\other.dll");
  EXPECT_TRUE(reader->VersionInfo().SameStrings(TVersionInfo()));
  EXPECT_TRUE(reader->Translations().empty());

  // While loaded from a definition the setters only store; Loaded() reads once.
  reader->SetLoading(true);
  reader->SetFileName("C:\\x.dll");
  reader->SetLanguage(lnGerman);
  reader->SetCharacterSet(csUnicode);
  EXPECT_EQ(source.reads, 5);
  reader->Loaded();
  EXPECT_EQ(source.reads, 6);
  EXPECT_EQ(reader->VersionInfo().CompanyName, "Lakeside Software");
}

// Only files that can hold a version block reach the source: executables, expander-packed files,
// and (left to the source) files that cannot be opened; a text file is answered from its first
// two bytes.
TEST_F(TVersionResourceFileTest, TheExecutableSourceAsksOnlyAboutFilesThatCanHoldAVersion) {
  CountingSource inner;
  const std::vector<uint8_t> block = BuildVersionBlock(FullSpec("040904E4"));
  WriteFile(P("notes.exe"), BuildPe(block));
  WriteFile(P("notes.ex_"), {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33});
  WriteFile(P("readme.txt"), {'M', 'Y', 'Z'});
  WriteFile(P("one.bin"), {'M'});
  WriteFile(P("empty.dat"), {});
  for (const char* name : {"notes.exe", "notes.ex_", "missing.dll"}) inner.blocks[P(name)] = block;
  TExecutableVersionSource source(inner);
  for (const char* name : {"readme.txt", "one.bin", "empty.dat"}) {
    EXPECT_FALSE(source.ReadVersionBlock(P(name))) << name;
  }
  EXPECT_FALSE(source.ReadVersionBlock(""));
  EXPECT_EQ(inner.reads, 0);
  for (const char* name : {"notes.exe", "notes.ex_", "missing.dll"}) {
    EXPECT_EQ(source.ReadVersionBlock(P(name)), block) << name;
    EXPECT_EQ(inner.last_path, P(name));
  }
  EXPECT_EQ(inner.reads, 3);
}

TEST_F(TVersionResourceFileTest, ReadsFilesThroughThePortableReader) {
  WriteFile(P("notes.exe"), BuildPe(BuildVersionBlock(FullSpec("040904E4"))));
  VersionSpec font;
  font.file_type = 4;
  font.file_subtype = 3;
  font.file_os = 1;
  font.tables = {{"040904E4", {{"CompanyName", "Typefoundry"}}}};
  WriteFile(P("serif.fon"), testing::BuildNe(BuildVersionBlock(font, /*sixteen_bit=*/true)));
  WriteFile(P("readme.txt"), {'h', 'i'});

  TOwned<TVersionResource> reader(new TVersionResource(nullptr));
  reader->SetFileName(P("notes.exe"));
  const TVersionInfo& info = reader->VersionInfo();
  EXPECT_EQ(info.FileVersion, "5.1.2600.0");
  EXPECT_EQ(info.ProductVersion, "2.0 beta");
  EXPECT_EQ(info.OriginalFileName, "LakeNotes.exe");
  EXPECT_EQ(info.FileType, "Application");

  reader->SetFileName(P("serif.fon"));
  EXPECT_EQ(info.FileVersion, "1.2.3.4");
  EXPECT_EQ(info.CompanyName, "Typefoundry");
  EXPECT_EQ(info.FileType, "Font");
  EXPECT_EQ(info.FileSubType, "TrueType");

  for (const char* name : {"readme.txt", "missing.dll", "no\\such\\dir.dll"}) {
    reader->SetFileName(P(name));
    EXPECT_TRUE(info.SameStrings(TVersionInfo())) << name;
  }
  reader->SetFileName("");
  EXPECT_TRUE(info.SameStrings(TVersionInfo()));
}

TEST_F(TVersionResourceFileTest, PublishesItsPropertiesAndTheFifteenStrings) {
  const TClassInfo& cls = TVersionResource::StaticClass();
  ASSERT_TRUE(cls.InheritsFrom(TComponent::StaticClass()));
  const TPropInfo* file_name = cls.FindProperty("FileName");
  const TPropInfo* language = cls.FindProperty("Language");
  const TPropInfo* character_set = cls.FindProperty("CharacterSet");
  const TPropInfo* version_info = cls.FindProperty("VersionInfo");
  ASSERT_TRUE(file_name && language && character_set && version_info);
  EXPECT_EQ(language->Kind(), TPropKind::pkEnum);
  EXPECT_EQ(language->Enum()->Count(), kLanguageCount);
  EXPECT_EQ(character_set->Enum()->Count(), kCharacterSetCount);
  EXPECT_EQ(version_info->Kind(), TPropKind::pkNested);
  const auto& strings = TVersionInfo::StaticClass().Properties();
  ASSERT_EQ(strings.size(), 15u);
  EXPECT_EQ(strings.front()->Name(), "Comment");
  EXPECT_EQ(strings.back()->Name(), "FileSubType");

  WriteFile(P("notes.exe"), BuildPe(BuildVersionBlock(FullSpec("040704B0"))));
  TOwned<TVersionResource> reader(new TVersionResource(nullptr));
  file_name->SetString(*reader, P("notes.exe"));
  language->SetOrd(*reader, language->Enum()->Ordinal("lnGerman"));
  character_set->SetOrd(*reader, character_set->Enum()->Ordinal("csUnicode"));
  TPersistent* info = version_info->GetObject(*reader);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->GetOwner(), reader.get());
  EXPECT_EQ(TVersionInfo::StaticClass().FindProperty("CompanyName")->GetString(*info),
            "Lakeside Software");
  EXPECT_EQ(TVersionInfo::StaticClass().FindProperty("LegalTradeMarks")->GetString(*info),
            "Notes(TM)");
  // The writer stores what differs from the defaults, and the file name always.
  EXPECT_TRUE(language->IsStored(*reader));
  reader->SetLanguage(lnUSEnglish);
  EXPECT_FALSE(language->IsStored(*reader));
  EXPECT_TRUE(file_name->IsStored(*reader));
}

TEST_F(TVersionResourceFileTest, TheSharedReaderIsStartedCountedAndCreatedOnDemand) {
  TVersionResource& first = SharedVersionResource();  // created on demand
  EXPECT_EQ(&SharedVersionResource(), &first);
  ResetVersionResources();

  StartVersionResources();
  StartVersionResources();
  TVersionResource* shared = &SharedVersionResource();
  StopVersionResources();
  EXPECT_EQ(&SharedVersionResource(), shared);  // one start still holds it
  StopVersionResources();
  StopVersionResources();  // a surplus stop does nothing

  // The comparisons create it again when it is missing.
  WriteFile(P("a.dll"), BuildPe(BuildVersionBlock(VersionSpec{})));
  EXPECT_EQ(IsFileNewer("1.2.3.4", 0, P("a.dll"), owVersion), crSame);
  EXPECT_EQ(SharedVersionResource().FileName(), P("a.dll"));

  // The process-wide source decides where blocks come from.
  CountingSource source;
  IVersionBlockSource* previous = SetVersionBlockSource(&source);
  EXPECT_EQ(IsFileNewer("1.2.3.4", 0, P("a.dll"), owVersion), crNewer);  // no block: empty
  EXPECT_EQ(source.last_path, P("a.dll"));
  EXPECT_EQ(SetVersionBlockSource(previous), &source);
  EXPECT_EQ(IsFileNewer("1.2.3.4", 0, P("a.dll"), owVersion), crSame);
}

}  // namespace
}  // namespace tmby
