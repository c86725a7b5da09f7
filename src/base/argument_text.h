// A Windows command line split into its words, as the C runtime splits it for main().
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tmby {

// The words of a command line, the program's name first. Blanks and tabs separate words except
// inside double quotes. In the program's name a quote only groups. In the arguments, 2n
// backslashes before a quote give n backslashes and the quote groups; 2n+1 give n backslashes
// and a quote; backslashes before anything else stay as they are. "" gives an empty argument.
std::vector<std::string> SplitCommandLine(std::string_view line);

}  // namespace tmby
