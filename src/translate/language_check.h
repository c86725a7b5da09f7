// The check of a language file against the master language (English): what a translation must
// keep so that the kit can use it. The kit's own files are checked by the tests, and tmbystamp
// checks the files it puts into a setup program.
#pragma once

#include <string>
#include <vector>

#include "base/component.h"

namespace tmby {

// The "%" sequences of a text in order: "%s", "%d" and the meta variables "%a", "%c", "%i" (any
// "%" and letter); "%%" is none. A translation must keep the master's sequence exactly.
std::vector<std::string> PercentSequences(const std::string& text);

// Everything wrong with `candidate` measured against `master`, one line each ("line 12: ...";
// empty when it is sound):
// - the file does not parse (the parse failure; nothing else is checked then);
// - an identifier of a master string or memo is missing from the candidate;
// - a string or memo's "%" sequences differ from the master's;
// - a string's text is longer than 255 characters (it would be cut), or holds a ";" (what follows
//   is lost; one at the end too, such as a Greek question mark typed as a semicolon);
// - an identifier appears twice among the strings or among the memos (the second is never used).
// For the master itself (`candidate` == `master`) it also reports texts that repeat another text
// ignoring case, which a lookup by text could never reach.
std::vector<std::string> CheckLanguageFile(const TStrings& master, const TStrings& candidate);

}  // namespace tmby
