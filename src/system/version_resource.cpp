#include "system/version_resource.h"

#include <cstdio>

#include "base/exceptions.h"
#include "platform/port.h"
#include "system/pe_version_reader.h"

namespace tmby {

namespace version {

namespace {

// Windows language identifiers, in the order of TLanguage: the first 33 one apart from 0x0401.
constexpr uint16_t kLanguageIds[kLanguageCount] = {
    0x0401, 0x0402, 0x0403, 0x0404, 0x0405, 0x0406, 0x0407, 0x0408, 0x0409, 0x040A, 0x040B, 0x040C,
    0x040D, 0x040E, 0x040F, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418,
    0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0804, 0x0807, 0x0809,
    0x080A, 0x080C, 0x0810, 0x0813, 0x0814, 0x0816, 0x081A, 0x0C0C, 0x100C};

// Code pages, in the order of TCharacterSet.
constexpr uint16_t kCodePages[kCharacterSetCount] = {0,    932,  949,  950,  1200, 1250,
                                                     1251, 1252, 1253, 1254, 1255, 1256};

}  // namespace

uint16_t LanguageIdentifier(TLanguage language) {
  const int i = static_cast<int>(language);
  if (i < 0 || i >= kLanguageCount) {
    throw Exception("Unknown language %d in TVersionResource", {i});
  }
  return kLanguageIds[i];
}

uint16_t CodePage(TCharacterSet character_set) {
  const int i = static_cast<int>(character_set);
  if (i < 0 || i >= kCharacterSetCount) {
    throw Exception("Unknown character set %d in TVersionResource", {i});
  }
  return kCodePages[i];
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

const TClassInfo& TVersionInfo::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TVersionInfo, TPersistent>(
      "TVersionInfo", [](TClassBuilder<TVersionInfo>& c) {
        for (const Field& field : kFields) c.String(field.name, field.member, field.member);
      });
  return info;
}

void TVersionInfo::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TVersionInfo*>(&source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  for (const Field& field : kFields) this->*field.member = other->*field.member;
}

void TVersionInfo::Clear() {
  for (const Field& field : kFields) (this->*field.member).clear();
}

bool TVersionInfo::SameStrings(const TVersionInfo& other) const {
  for (const Field& field : kFields) {
    if (this->*field.member != other.*field.member) return false;
  }
  return true;
}

const TClassInfo& TVersionResource::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TVersionResource, TComponent>(
      "TVersionResource", [](TClassBuilder<TVersionResource>& c) {
        // The default file is the running program, which differs from run to run: always stored.
        c.String("FileName", &TVersionResource::FileName, &TVersionResource::SetFileName)
            .NoDefault();
        c.Enum("Language", &TVersionResource::Language, &TVersionResource::SetLanguage,
               version::lnUSEnglish);
        c.Enum("CharacterSet", &TVersionResource::CharacterSet, &TVersionResource::SetCharacterSet,
               version::csMultilingual);
        c.Nested("VersionInfo", &TVersionResource::VersionInfo);
      });
  return info;
}

TVersionResource::TVersionResource(TComponent* owner, IVersionBlockSource* source)
    : TComponent(owner), source_(source), info_(std::make_unique<TVersionInfo>(this)) {
  file_name_ = platform::Port().Files().ModuleFileName();
  Read();
}

void TVersionResource::SetFileName(const std::string& file_name) {
  file_name_ = file_name;
  if (!Loading()) Read();
}

void TVersionResource::SetLanguage(version::TLanguage language) {
  version::LanguageIdentifier(language);  // refuses a value outside the table
  language_ = language;
  if (!Loading()) Read();
}

void TVersionResource::SetCharacterSet(version::TCharacterSet character_set) {
  version::CodePage(character_set);
  character_set_ = character_set;
  if (!Loading()) Read();
}

void TVersionResource::Loaded() {
  TComponent::Loaded();
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
TOwned<TVersionResource> g_shared;
int g_started = 0;

}  // namespace

std::optional<std::vector<uint8_t>> TExecutableVersionSource::ReadVersionBlock(
    const std::string& path) {
  if (path.empty()) return std::nullopt;
  auto file = platform::Port().Files().Open(path, platform::FileAccess::Read,
                                            platform::kShareRead | platform::kShareWrite,
                                            platform::FileDisposition::OpenExisting);
  if (!file) return inner_.ReadVersionBlock(path);
  char head[2] = {};
  size_t got = 0;
  if (!file->Read(head, sizeof head, &got)) return inner_.ReadVersionBlock(path);
  file.reset();
  if (!MayHoldVersionBlock(head, got)) return std::nullopt;
  return inner_.ReadVersionBlock(path);
}

bool MayHoldVersionBlock(const void* head, size_t size) {
  if (size < 2) return false;
  const std::string magic(static_cast<const char*>(head), 2);
  return magic == "MZ" || magic == "SZ" || magic == "KW";
}

IVersionBlockSource& VersionBlockSource() { return g_source ? *g_source : g_portable_source; }

IVersionBlockSource* SetVersionBlockSource(IVersionBlockSource* source) {
  IVersionBlockSource* previous = g_source ? g_source : &g_portable_source;
  g_source = source;
  return previous;
}

void StartVersionResources() {
  if (g_started++ == 0 && !g_shared) g_shared.reset(new TVersionResource(nullptr));
}

void StopVersionResources() {
  if (g_started > 0 && --g_started == 0) g_shared.reset();
}

TVersionResource& SharedVersionResource() {
  if (!g_shared) g_shared.reset(new TVersionResource(nullptr));
  return *g_shared;
}

std::string SharedFileVersion(const std::string& path) {
  TVersionResource& reader = SharedVersionResource();
  reader.SetFileName(path);
  return reader.VersionInfo().FileVersion;
}

std::string SharedFileVersion(const std::string& path, platform::IFile& file) {
  char head[2] = {};
  size_t got = 0;
  const bool read = file.Seek(0, platform::SeekOrigin::Begin) && file.Read(head, sizeof head, &got);
  if (!file.Seek(0, platform::SeekOrigin::Begin) || !read) return SharedFileVersion(path);
  return MayHoldVersionBlock(head, got) ? SharedFileVersion(path) : std::string();
}

void ResetVersionResources() {
  g_shared.reset();
  g_started = 0;
}

}  // namespace tmby
