// The install definition writer: the text of a component tree in the form that the reader
// (base/definition_reader.h) takes, so that writing, reading and writing again gives the same
// text and the same tree.
//
// The root is written first, then every component it owns, in creation order; a component whose
// parent component is another component of the root is written inside that one's block. Each
// block lists the published properties whose value differs from the stored default (settings
// objects as "Information.ProductName = ..."), then the blocks inside it. Two blanks indent each
// level; lines end with a line feed.
#pragma once

#include <string>

#include "base/component.h"

namespace tmby {

// Raises EComponentError when a value cannot be written: a reference to a component that has
// no name in this tree, an enumeration value without a name, blocks nested too deeply.
std::string WriteDefinition(const TComponent& root);

// A string in the definition's quoted form ('It''s', #13#10 for control characters).
std::string QuoteDefinitionString(const std::string& text);

}  // namespace tmby
