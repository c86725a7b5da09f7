// How a product carries its languages: inside its install definition, as the `Strings` of the
// languages of its translator (`lgGerman.Strings = ( ... )`). The setup program reads nothing else
// at run time, so a stamped setup program is complete in itself.
//
// A vendor writes the translator into the definition with only what the product changes (a font,
// a target language, its own texts for some languages); tmbystamp fills in every other language
// from the kit's language files (lang/tmbiGerman.txt and its siblings), placing them at the head
// of the translator's block, so that strings the definition gives itself come later and win.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "translate/language.h"

namespace tmby {

struct TCarriedLanguages {
  std::string Definition;              // the definition with the languages in it
  std::vector<TTmbyLanguage> Carried;  // the languages put in, in enumeration order
  std::vector<std::string> Warnings;   // what the language check found, "tmbiGerman.txt: ..."
  bool HasTranslator = false;          // whether the definition holds a translator at all
};

// Puts the languages that `readFile` gives (the bytes of a language file by its name, nothing when
// there is none) into the first TTranslator object of `definition`. A file that does not parse is
// refused with Exception "<file name>: <the parse failure>"; every other finding of the language
// check against the English file is a warning (the setup program then shows English for what the
// file lacks); a file beyond kMaxLanguageFile is refused with "The language file %s is larger
// than 4 MB". Without a translator in the definition it is returned unchanged.
TCarriedLanguages CarryLanguages(
    std::string_view definition,
    const std::function<std::optional<std::string>(const std::string& fileName)>& readFile);

}  // namespace tmby
