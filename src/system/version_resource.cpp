#include "system/version_resource.h"

#include <cstdio>

#include "engine/exceptions.h"
#include "platform/port.h"
#include "system/pe_version_reader.h"

namespace tmby {

namespace version {

namespace {

struct LanguageEntry {
  const char* name;
  uint16_t id;
};

constexpr LanguageEntry kLanguages[kLanguageCount] = {
    {"lnArabic", 0x0401},
    {"lnBulgarian", 0x0402},
    {"lnCatalan", 0x0403},
    {"lnTraditionalChinese", 0x0404},
    {"lnCzech", 0x0405},
    {"lnDanish", 0x0406},
    {"lnGerman", 0x0407},
    {"lnGreek", 0x0408},
    {"lnUSEnglish", 0x0409},
    {"lnCastilianSpanish", 0x040A},
    {"lnFinnish", 0x040B},
    {"lnFrench", 0x040C},
    {"lnHebrew", 0x040D},
    {"lnHungarian", 0x040E},
    {"lnIcelandic", 0x040F},
    {"lnItalian", 0x0410},
    {"lnJapanese", 0x0411},
    {"lnKorean", 0x0412},
    {"lnDutch", 0x0413},
    {"lnNorwegianBokmal", 0x0414},
    {"lnPolish", 0x0415},
    {"lnBrazilianPortuguese", 0x0416},
    {"lnRhaetoRomanic", 0x0417},
    {"lnRomanian", 0x0418},
    {"lnRussian", 0x0419},
    {"lnCroatoSerbian", 0x041A},
    {"lnSlovak", 0x041B},
    {"lnAlbanian", 0x041C},
    {"lnSwedish", 0x041D},
    {"lnThai", 0x041E},
    {"lnTurkish", 0x041F},
    {"lnUrdu", 0x0420},
    {"lnBahasa", 0x0421},
    {"lnSimplifiedChinese", 0x0804},
    {"lnSwissGerman", 0x0807},
    {"lnUKEnglish", 0x0809},
    {"lnMexicanSpanish", 0x080A},
    {"lnBelgianFrench", 0x080C},
    {"lnSwissItalian", 0x0810},
    {"lnBelgianDutch", 0x0813},
    {"lnNorwegianNynorsk", 0x0814},
    {"lnPortuguese", 0x0816},
    {"lnSerboCroatian", 0x081A},
    {"lnCanadianFrench", 0x0C0C},
    {"lnSwissFrench", 0x100C},
};

struct CharacterSetEntry {
  const char* name;
  uint16_t code_page;
};

constexpr CharacterSetEntry kCharacterSets[kCharacterSetCount] = {
    {"csASCII", 0},      {"csJapan", 932},    {"csKorea", 949},     {"csTaiwan", 950},
    {"csUnicode", 1200}, {"csLatin2", 1250},  {"csCyrillic", 1251}, {"csMultilingual", 1252},
    {"csGreek", 1253},   {"csTurkish", 1254}, {"csHebrew", 1255},   {"csArabic", 1256},
};

const LanguageEntry& LanguageAt(TLanguage language) {
  const int i = static_cast<int>(language);
  if (i < 0 || i >= kLanguageCount) {
    throw Exception("Unknown language %d in TVersionResource", {i});
  }
  return kLanguages[i];
}

const CharacterSetEntry& CharacterSetAt(TCharacterSet character_set) {
  const int i = static_cast<int>(character_set);
  if (i < 0 || i >= kCharacterSetCount) {
    throw Exception("Unknown character set %d in TVersionResource", {i});
  }
  return kCharacterSets[i];
}

}  // namespace

uint16_t LanguageIdentifier(TLanguage language) { return LanguageAt(language).id; }
uint16_t CodePage(TCharacterSet character_set) { return CharacterSetAt(character_set).code_page; }
const char* LanguageName(TLanguage language) { return LanguageAt(language).name; }
const char* CharacterSetName(TCharacterSet character_set) {
  return CharacterSetAt(character_set).name;
}

}  // namespace version

const TVersionInfo::Field TVersionInfo::kFields[15] = {
    {"Comment", &TVersionInfo::Comment},
    {"CompanyName", &TVersionInfo::CompanyName},
    {"FileDescription", &TVersionInfo::FileDescription},
    {"FileVersion", &TVersionInfo::FileVersion},
    {"InternalName", &TVersionInfo::InternalName},
    {"LegalCopyright", &TVersionInfo::LegalCopyright},
    {"LegalTradeMarks", &TVersionInfo::LegalTradeMarks},
    {"OriginalFileName", &TVersionInfo::OriginalFileName},
    {"PrivateBuild", &TVersionInfo::PrivateBuild},
    {"ProductName", &TVersionInfo::ProductName},
    {"ProductVersion", &TVersionInfo::ProductVersion},
    {"SpecialBuild", &TVersionInfo::SpecialBuild},
    {"FileOS", &TVersionInfo::FileOS},
    {"FileType", &TVersionInfo::FileType},
    {"FileSubType", &TVersionInfo::FileSubType},
};

std::string FileOSText(uint32_t file_os) {
  switch (file_os) {
    case 0x00000001: return "Windows 3.0 or later";
    case 0x00000002: return "16 bit OS/2 Presentation Manager";
    case 0x00000003: return "32 bit OS/2 Presentation Manager";
    case 0x00000004: return "32 bit Windows";
    case 0x00010000: return "MS-Dos";
    case 0x00010001: return "Windows 3.0 or later with MS-Dos";
    case 0x00010004: return "32 bit Windows with MS-Dos";
    case 0x00020000: return "16 bit OS/2";
    case 0x00020002: return "16 bit OS/2 with Presentation Manager";
    case 0x00030000: return "32 bit OS/2";
    case 0x00030003: return "32 bit OS/2 with Presentation Manager";
    case 0x00040000: return "Windows NT";
    case 0x00040004: return "Windows NT with 32 bit Windows";
    default: return "Unknown";
  }
}

std::string FileTypeText(uint32_t file_type) {
  switch (file_type) {
    case 1: return "Application";
    case 2: return "Dynamic-Link Library";
    case 3: return "Device Driver";
    case 4: return "Font";
    case 5: return "Virtual Device Driver";
    case 7: return "Static-Link Library";
    default: return "Unknown";
  }
}

std::string FileSubTypeText(uint32_t file_type, uint32_t file_subtype) {
  static const char* const kDrivers[] = {"Printer", "Keyboard",      "Language", "Display",
                                         "Mouse",   "Network",       "System",   "Installable",
                                         "Sound",   "Communications"};
  static const char* const kFonts[] = {"Raster", "Vector", "TrueType"};
  if (file_type == 3) {
    return file_subtype >= 1 && file_subtype <= 10 ? kDrivers[file_subtype - 1] : "Unknown";
  }
  if (file_type == 4) {
    return file_subtype >= 1 && file_subtype <= 3 ? kFonts[file_subtype - 1] : "Unknown";
  }
  return "";
}

std::string FixedVersionText(uint32_t most_significant, uint32_t least_significant) {
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", most_significant >> 16, most_significant & 0xFFFF,
                least_significant >> 16, least_significant & 0xFFFF);
  return text;
}

void ReadVersionInfo(const TVersionBlock& block, uint16_t language, uint16_t code_page,
                     TVersionInfo& info) {
  info.Clear();
  auto fixed = block.FixedInfo();
  if (!fixed) return;
  info.FileVersion = FixedVersionText(fixed->file_version_ms, fixed->file_version_ls);
  info.ProductVersion = FixedVersionText(fixed->product_version_ms, fixed->product_version_ls);
  info.FileOS = FileOSText(fixed->file_os);
  info.FileType = FileTypeText(fixed->file_type);
  info.FileSubType = FileSubTypeText(fixed->file_type, fixed->file_subtype);

  char prefix[40];
  std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04X%04X\\", language, code_page);
  // The first twelve fields are the string-table keys, in the order they are queried; FileVersion
  // among them is never taken from the table: it stays the numeric four-part form.
  for (size_t i = 0; i < 12; ++i) {
    const auto& field = TVersionInfo::kFields[i];
    if (field.member == &TVersionInfo::FileVersion) continue;
    if (auto text = block.QueryString(std::string(prefix) + field.name)) info.*field.member = *text;
  }
}

TVersionResource::TVersionResource(IVersionBlockSource* source)
    : source_(source), info_(std::make_unique<TVersionInfo>()) {
  file_name_ = platform::Port().Files().ModuleFileName();
  Read();
}

void TVersionResource::SetFileName(const std::string& file_name) {
  file_name_ = file_name;
  Read();
}

void TVersionResource::SetLanguage(version::TLanguage language) {
  version::LanguageIdentifier(language);  // refuses a value outside the table
  language_ = language;
  Read();
}

void TVersionResource::SetCharacterSet(version::TCharacterSet character_set) {
  version::CodePage(character_set);
  character_set_ = character_set;
  Read();
}

void TVersionResource::Read() {
  info_->Clear();
  translations_.clear();
  IVersionBlockSource& source = source_ ? *source_ : VersionBlockSource();
  auto bytes = source.ReadVersionBlock(file_name_);
  if (!bytes) return;
  const TVersionBlock block(std::move(*bytes));
  translations_ = block.Translations();
  ReadVersionInfo(block, version::LanguageIdentifier(language_), version::CodePage(character_set_),
                  *info_);
}

TFileNewerResult TVersionResource::IsFileNewerByName(const std::string& new_file,
                                                     const std::string& existing_file,
                                                     TOverwriteType mode) {
  return tmby::IsFileNewerByName(new_file, existing_file, mode);
}

TFileNewerResult TVersionResource::IsFileNewer(const std::string& new_version, double new_date,
                                               const std::string& existing_file,
                                               TOverwriteType mode) {
  return tmby::IsFileNewer(new_version, new_date, existing_file, mode);
}

namespace {

TPeVersionBlockSource g_portable_source;
IVersionBlockSource* g_source = nullptr;
std::unique_ptr<TVersionResource> g_shared;
int g_started = 0;

}  // namespace

IVersionBlockSource& VersionBlockSource() { return g_source ? *g_source : g_portable_source; }

IVersionBlockSource* SetVersionBlockSource(IVersionBlockSource* source) {
  IVersionBlockSource* previous = g_source ? g_source : &g_portable_source;
  g_source = source;
  return previous;
}

void StartVersionResources() {
  if (g_started++ == 0 && !g_shared) g_shared = std::make_unique<TVersionResource>();
}

void StopVersionResources() {
  if (g_started > 0 && --g_started == 0) g_shared.reset();
}

TVersionResource& SharedVersionResource() {
  if (!g_shared) g_shared = std::make_unique<TVersionResource>();
  return *g_shared;
}

void ResetVersionResources() {
  g_shared.reset();
  g_started = 0;
}

}  // namespace tmby
