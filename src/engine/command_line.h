// The setup program's command line: switches of at least two characters whose first character is
// "-" or "*" and whose second selects the switch (either case); the rest of the argument is the
// switch's value. A later occurrence of a switch overwrites its value.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tmby {

enum TCommandSwitch : int {
  csBuild = 0,          // -b  build the distribution from BUILD.INF
  csFloppies = 1,       // -f  transfer the distribution to floppy disks
  csDebug = 2,          // -d  run from a development environment; needs -s
  csSelfExtractor = 3,  // -e  started by the self-extracting executable (its file name)
  csReboot = 4,         // -r  continuation after a reboot
  csSource = 5,         // -s  the source directory
  csCleanup = 6,        // -c  clean up the temporary copy of the program at the end
  csNewList = 7,        // -n  clear the unfinished list before the run
};

struct TCommandLine {
  uint32_t Switches = 0;  // bit n for switch n
  std::array<std::string, 8> Values;

  bool Has(TCommandSwitch s) const { return (Switches & (uint32_t{1} << s)) != 0; }
  const std::string& Value(TCommandSwitch s) const { return Values[static_cast<size_t>(s)]; }
  void Clear() {
    Switches = 0;
    for (auto& v : Values) v.clear();
  }
};

// Parses the arguments (without the program name). An argument shorter than two characters, not
// starting with "-" or "*", or naming an unknown switch after "-" raises IException "Invalid
// parameter <%s>. ..."; an unknown switch after "*" (such as "*TODISK") is ignored.
TCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace tmby
