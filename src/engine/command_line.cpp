#include "engine/command_line.h"

#include "base/exceptions.h"

namespace tmby {

namespace {

const char kInvalidParameter[] =
    "Invalid parameter <%s>. Valid command line parameters are: -b (Build), -d (Debug), -f "
    "(Transfer to floppies), -e (Called by self-extractor), -r (After reboot)";

int SwitchOf(char letter) {
  switch (letter) {
    case 'b':
    case 'B': return csBuild;
    case 'f':
    case 'F': return csFloppies;
    case 'd':
    case 'D': return csDebug;
    case 'e':
    case 'E': return csSelfExtractor;
    case 'r':
    case 'R': return csReboot;
    case 's':
    case 'S': return csSource;
    case 'c':
    case 'C': return csCleanup;
    case 'n':
    case 'N': return csNewList;
    default: return -1;
  }
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  TCommandLine line;
  for (const std::string& argument : arguments) {
    if (argument.size() < 2 || (argument[0] != '-' && argument[0] != '*')) {
      throw IException(kInvalidParameter, {argument});
    }
    const int s = SwitchOf(argument[1]);
    if (s < 0) {
      if (argument[0] == '*') continue;
      throw IException(kInvalidParameter, {argument});
    }
    line.Switches |= uint32_t{1} << s;
    line.Values[static_cast<size_t>(s)] = argument.substr(2);
  }
  return line;
}

}  // namespace tmby
