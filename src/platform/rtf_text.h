// The plain text of a rich-text (RTF) document, for where no rich-text control shows it: the
// script adapter's transcript and the model's copy of a rich-text viewer's lines.
#pragma once

#include <string>

namespace tmby::platform {

// True when `bytes` start like an RTF document ("{\rtf").
bool LooksLikeRtf(const std::string& bytes);

// The document's text in UTF-8, paragraphs ended by "\r\n". Groups that hold no text (font and
// colour tables, style sheets, document information, pictures, "\*" destinations) are left out;
// "\'hh" is a byte of the document's ANSI code page (Windows-1252 and its kin: bytes that code
// page does not define become '?'), "\uN" a UTF-16 unit followed by its "\ucN" replacement
// characters. Malformed input (unbalanced braces, a truncated escape) never reads past the end;
// what can be read is kept.
std::string RtfToText(const std::string& rtf);

}  // namespace tmby::platform
