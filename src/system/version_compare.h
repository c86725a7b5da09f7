// The overwrite decision: whether a file about to be written should replace a file already on
// disk, by version, by date, always, never, or by asking the user.
#pragma once

#include <string>

namespace tmby {

// How an existing target is treated. Stored by name in install definitions: keep the order.
enum TOverwriteType { owAlways, owNever, owVersion, owDate, owVersionDate, owAsk };

// The answer of the comparisons.
enum TFileNewerResult {
  crUndetermined = 0,  // the comparison cannot be made (a file cannot be opened for its date)
  crSame = 1,          // equal by the chosen rule: leave the existing file
  crNewer = 2,         // the incoming file wins: replace
  crKeep = 3,          // the existing file wins (or must never be overwritten): leave it
  crAsk = 4,           // the user is to be asked
};

// 0 when the two version strings are equal, 1 when `a` is the higher version, 2 when `b` is.
// Fields between "." compare as numbers when both are decimal integers, else as byte strings;
// a string with more fields is the higher one ("1.0.0" > "1.0").
int CompareVersionStrings(const std::string& a, const std::string& b);

// Compares two files on disk: `new_file` (about to be written) with `existing_file`. Versions
// are read through the shared version reader; dates are the last-write DOS date-times.
TFileNewerResult IsFileNewerByName(const std::string& new_file, const std::string& existing_file,
                                   TOverwriteType mode);

// Compares a file recorded earlier (its version string and last-write day count, as kept in an
// archive header) with `existing_file` on disk.
TFileNewerResult IsFileNewer(const std::string& new_version, double new_date,
                             const std::string& existing_file, TOverwriteType mode);

}  // namespace tmby
