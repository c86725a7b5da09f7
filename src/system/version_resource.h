// The reader of file version resources: reads the version block of a Windows file and exposes it
// as fifteen strings. One shared reader serves the whole program (the install files and the
// archive compressor learn a file's FileVersion through it); the overwrite comparisons of
// version_compare.h use it too.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/component.h"
#include "system/version_block.h"
#include "system/version_compare.h"

namespace tmby {

namespace platform {
class IFile;
}

// The language and code-page halves of the string-table key. A namespace of their own: the
// translator has a TLanguage of its own.
namespace version {

enum TLanguage {
  lnArabic,
  lnBulgarian,
  lnCatalan,
  lnTraditionalChinese,
  lnCzech,
  lnDanish,
  lnGerman,
  lnGreek,
  lnUSEnglish,
  lnCastilianSpanish,
  lnFinnish,
  lnFrench,
  lnHebrew,
  lnHungarian,
  lnIcelandic,
  lnItalian,
  lnJapanese,
  lnKorean,
  lnDutch,
  lnNorwegianBokmal,
  lnPolish,
  lnBrazilianPortuguese,
  lnRhaetoRomanic,
  lnRomanian,
  lnRussian,
  lnCroatoSerbian,
  lnSlovak,
  lnAlbanian,
  lnSwedish,
  lnThai,
  lnTurkish,
  lnUrdu,
  lnBahasa,
  lnSimplifiedChinese,
  lnSwissGerman,
  lnUKEnglish,
  lnMexicanSpanish,
  lnBelgianFrench,
  lnSwissItalian,
  lnBelgianDutch,
  lnNorwegianNynorsk,
  lnPortuguese,
  lnSerboCroatian,
  lnCanadianFrench,
  lnSwissFrench,
};
inline constexpr int kLanguageCount = 45;
TMBY_ENUM_NAMES(TLanguage, lnArabic, lnBulgarian, lnCatalan, lnTraditionalChinese, lnCzech,
                lnDanish, lnGerman, lnGreek, lnUSEnglish, lnCastilianSpanish, lnFinnish, lnFrench,
                lnHebrew, lnHungarian, lnIcelandic, lnItalian, lnJapanese, lnKorean, lnDutch,
                lnNorwegianBokmal, lnPolish, lnBrazilianPortuguese, lnRhaetoRomanic, lnRomanian,
                lnRussian, lnCroatoSerbian, lnSlovak, lnAlbanian, lnSwedish, lnThai, lnTurkish,
                lnUrdu, lnBahasa, lnSimplifiedChinese, lnSwissGerman, lnUKEnglish, lnMexicanSpanish,
                lnBelgianFrench, lnSwissItalian, lnBelgianDutch, lnNorwegianNynorsk, lnPortuguese,
                lnSerboCroatian, lnCanadianFrench, lnSwissFrench)

enum TCharacterSet {
  csASCII,
  csJapan,
  csKorea,
  csTaiwan,
  csUnicode,
  csLatin2,
  csCyrillic,
  csMultilingual,
  csGreek,
  csTurkish,
  csHebrew,
  csArabic,
};
inline constexpr int kCharacterSetCount = 12;
TMBY_ENUM_NAMES(TCharacterSet, csASCII, csJapan, csKorea, csTaiwan, csUnicode, csLatin2, csCyrillic,
                csMultilingual, csGreek, csTurkish, csHebrew, csArabic)

// The Windows language identifier of a language (lnGerman 0x0407); a value outside the
// enumeration raises Exception.
uint16_t LanguageIdentifier(TLanguage language);
// The code page of a character set (csMultilingual 1252); a value outside raises Exception.
uint16_t CodePage(TCharacterSet character_set);

}  // namespace version

// The strings of one version block; all empty when the file has none. Owned by its reader.
class TVersionInfo : public TPersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  explicit TVersionInfo(TPersistent* owner = nullptr) : owner_(owner) {}
  TPersistent* GetOwner() const override { return owner_; }
  // Takes the fifteen strings of another TVersionInfo.
  void Assign(const TPersistent& source) override;

  std::string Comment;
  std::string CompanyName;
  std::string FileDescription;
  std::string FileVersion;
  std::string InternalName;
  std::string LegalCopyright;
  std::string LegalTradeMarks;
  std::string OriginalFileName;
  std::string PrivateBuild;
  std::string ProductName;
  std::string ProductVersion;
  std::string SpecialBuild;
  std::string FileOS;
  std::string FileType;
  std::string FileSubType;

  void Clear();
  bool SameStrings(const TVersionInfo& other) const;

  // The fifteen fields by name, in the order above.
  struct Field {
    const char* name;
    std::string TVersionInfo::*member;
  };
  static const Field kFields[15];

 private:
  TPersistent* owner_;
};

// The texts of the fixed file information.
std::string FileOSText(uint32_t file_os);
std::string FileTypeText(uint32_t file_type);
std::string FileSubTypeText(uint32_t file_type, uint32_t file_subtype);
// "5.1.2600.0" from the two double words of a fixed version.
std::string FixedVersionText(uint32_t most_significant, uint32_t least_significant);

// Fills `info` from a version block, reading the strings stored under `language` and
// `code_page` only (the translation list the file declares does not choose the key).
void ReadVersionInfo(const TVersionBlock& block, uint16_t language, uint16_t code_page,
                     TVersionInfo& info);

class TVersionResource : public TComponent {
  TMBY_CLASS(TVersionResource, TComponent)

 public:
  // Reads the running program's own file at once. `source` (not owned) is where version blocks
  // come from; null: the process-wide source of VersionBlockSource(), looked up at each read.
  explicit TVersionResource(TComponent* owner, IVersionBlockSource* source = nullptr);

  const std::string& FileName() const { return file_name_; }
  // Each setter stores the value and rereads the version block (while the component is being
  // loaded from a definition it only stores; Loaded() reads).
  void SetFileName(const std::string& file_name);
  version::TLanguage Language() const { return language_; }
  void SetLanguage(version::TLanguage language);
  version::TCharacterSet CharacterSet() const { return character_set_; }
  void SetCharacterSet(version::TCharacterSet character_set);

  const TVersionInfo& VersionInfo() const { return *info_; }
  // The language/code-page pairs the file declares (language << 16 | code page), as last read.
  const std::vector<uint32_t>& Translations() const { return translations_; }

  void Loaded() override;

  // The comparisons of version_compare.h.
  static TFileNewerResult IsFileNewerByName(const std::string& new_file,
                                            const std::string& existing_file, TOverwriteType mode);
  static TFileNewerResult IsFileNewer(const std::string& new_version, double new_date,
                                      const std::string& existing_file, TOverwriteType mode);

 private:
  void Read();

  IVersionBlockSource* source_;
  std::string file_name_;
  version::TLanguage language_ = version::lnUSEnglish;
  version::TCharacterSet character_set_ = version::csMultilingual;
  std::unique_ptr<TVersionInfo> info_;
  std::vector<uint32_t> translations_;
};

// A source that asks `inner` only about files that can hold a version block: executables (they
// begin with "MZ") and files packed by the Windows expander ("SZDD", "KWAJ"), which the system's
// version library unpacks. Any other file has none, which its first two bytes show: the system's
// library maps such a file twice to find that out, and a product of thousands of data files pays
// for it on every file. A file that cannot be opened here is left to `inner`.
class TExecutableVersionSource : public IVersionBlockSource {
 public:
  explicit TExecutableVersionSource(IVersionBlockSource& inner) : inner_(inner) {}
  std::optional<std::vector<uint8_t>> ReadVersionBlock(const std::string& path) override;

 private:
  IVersionBlockSource& inner_;
};

// The process-wide source of version blocks: the portable reader of executable files unless a
// program installs another (the Windows programs install the system's version library).
IVersionBlockSource& VersionBlockSource();
// Installs `source` (not owned) and returns the previous one; null restores the portable reader.
IVersionBlockSource* SetVersionBlockSource(IVersionBlockSource* source);

// The shared reader. Start-up and shut-down are reference counted; the last shut-down frees it.
void StartVersionResources();
void StopVersionResources();
// The shared reader, created when missing (the comparisons need it before any start-up).
TVersionResource& SharedVersionResource();
// The FileVersion of a file ("5.1.2600.0"; empty without a version block), read through the shared
// reader, as the install files and the archive compressor record it.
std::string SharedFileVersion(const std::string& path);
// The same for the file already open as `file`: its first bytes show whether it can hold a version
// block at all, so that a data file is not opened again to find out (a build reads thousands).
// `file` is left at its start.
std::string SharedFileVersion(const std::string& path, platform::IFile& file);
// True when a file beginning with these bytes can hold a version block: an executable ("MZ") or a
// file packed by the Windows expander ("SZDD", "KWAJ"). No other file has one, whoever reads it.
bool MayHoldVersionBlock(const void* head, size_t size);
// Frees the shared reader whatever the count (tests start from a clean state with it).
void ResetVersionResources();

}  // namespace tmby
