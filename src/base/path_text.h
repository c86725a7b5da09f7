// Path texts as the kit writes them: Windows paths joined by plain concatenation, where relative
// parts begin with a backslash and roots come without a trailing one.
#pragma once

#include <string>
#include <string_view>

namespace tmby {

// Adds a backslash unless the text is empty or already ends with one.
std::string IncludeTrailingBackslash(const std::string& path);
// Removes one trailing backslash, when there is one.
std::string ExcludeTrailingBackslash(const std::string& path);
// The text without leading and trailing blanks and control characters.
std::string TrimText(const std::string& text);
// The text with the letters a to z in upper case; other bytes (UTF-8 included) stay, so that
// names compare the way the system compares file names and extensions.
std::string UpperText(std::string text);
// Where the first character lies that Windows refuses in the levels of a path: a control
// character or one of < > : " / | ? * (the backslash separates the levels), or npos. A drive's
// colon ("C:") is the caller's to leave out.
size_t FindRefusedPathCharacter(std::string_view path);

}  // namespace tmby
