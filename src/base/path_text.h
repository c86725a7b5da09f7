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

// A folder the user typed, made as Windows makes a path: surrounding blanks go, "/" becomes "\\",
// empty and "." steps go, ".." takes the step before it away (at a drive's root or a share it
// stays there, as Windows keeps it), and every step loses its trailing blanks and dots (Windows
// drops them, so a folder "Notes." is the folder "Notes"). A full path keeps its root ("C:\\",
// "\\\\server\\share"); a relative one (a folder below another) is given without a leading
// backslash and may not climb out with "..".
struct TTypedFolder {
  enum TFault {
    tfNone,
    tfEmpty,    // nothing typed, or nothing left but steps that go
    tfNotFull,  // a full path was wanted: no drive ("C:\\") or share ("\\\\server\\share")
    tfDevice,   // a step is a device name (CON, NUL, COM1, LPT1, ..., also with an extension)
    tfOutside,  // a relative folder climbs out of the one it is below
  };
  std::string Path;  // the folder as Windows would take it (empty with a fault)
  TFault Fault = tfNone;
  std::string Step;  // the step at fault (tfDevice)
};
TTypedFolder NormalizeTypedFolder(std::string_view typed, bool relative);

}  // namespace tmby
