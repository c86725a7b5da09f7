#include "system/version_compare.h"

#include <cmath>
#include <optional>
#include <string_view>

#include "base/dostime.h"
#include "platform/port.h"
#include "system/version_resource.h"

namespace tmby {

namespace {

// The i-th field walk: the text up to the next "." (or the end), empty once the string is used up.
std::string_view NextField(std::string_view text, size_t* pos) {
  if (*pos > text.size()) return {};
  const size_t dot = text.find('.', *pos);
  const size_t end = dot == std::string_view::npos ? text.size() : dot;
  std::string_view field = text.substr(*pos, end - *pos);
  *pos = dot == std::string_view::npos ? text.size() + 1 : dot + 1;
  return field;
}

// A decimal integer: an optional sign and at least one digit, nothing else. Any length: a field
// too long for a machine integer still compares by its value.
bool IsInteger(std::string_view field) {
  if (!field.empty() && (field[0] == '-' || field[0] == '+')) field.remove_prefix(1);
  if (field.empty()) return false;
  for (char c : field) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// -1, 0 or 1 as a is numerically below, equal to or above b (both IsInteger).
int CompareIntegers(std::string_view a, std::string_view b) {
  auto split = [](std::string_view s, bool* negative) {
    *negative = s[0] == '-';
    if (s[0] == '-' || s[0] == '+') s.remove_prefix(1);
    while (s.size() > 1 && s[0] == '0') s.remove_prefix(1);
    if (s == "0") *negative = false;
    return s;
  };
  bool neg_a = false, neg_b = false;
  const std::string_view ma = split(a, &neg_a);
  const std::string_view mb = split(b, &neg_b);
  if (neg_a != neg_b) return neg_a ? -1 : 1;
  int magnitude = 0;
  if (ma.size() != mb.size()) {
    magnitude = ma.size() < mb.size() ? -1 : 1;
  } else {
    const int c = ma.compare(mb);
    magnitude = c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  return neg_a ? -magnitude : magnitude;
}

// Windows trims names of everything up to and including the blank.
bool IsBlank(const std::string& text) {
  for (unsigned char c : text) {
    if (c > ' ') return false;
  }
  return true;
}

TFileNewerResult FromComparison(int compared) {
  switch (compared) {
    case 0: return crSame;
    case 1: return crNewer;
    default: return crKeep;
  }
}

// The last-write stamp of a file opened for reading with all sharing allowed, closed again before
// returning. nullopt when the file cannot be opened; a stamp of 0 when it opens but its date has no
// DOS form (before 1980, as files unpacked with a zero time are): such a file counts as older than
// any dated one, so that an install by date replaces it instead of giving up on the comparison.
constexpr uint32_t kUndated = 0;

std::optional<uint32_t> OpenedDosTime(const std::string& path) {
  auto file = platform::Port().Files().Open(path, platform::FileAccess::Read, platform::kShareAll,
                                            platform::FileDisposition::OpenExisting);
  if (!file) return std::nullopt;
  auto stamp = file->GetDosTime();
  if (!stamp || !DecodeDosDateTime(*stamp)) return kUndated;
  return stamp;
}

TFileNewerResult CompareStamps(uint32_t new_stamp, uint32_t existing_stamp) {
  // Valid DOS date-times order as plain numbers: year, month, day, hour, minute, seconds / 2; the
  // undated 0 sorts below all of them.
  if (new_stamp > existing_stamp) return crNewer;
  if (new_stamp < existing_stamp) return crKeep;
  return crSame;
}

TFileNewerResult CompareDates(const std::string& new_file, const std::string& existing_file) {
  auto new_stamp = OpenedDosTime(new_file);
  auto existing_stamp = OpenedDosTime(existing_file);
  if (!new_stamp || !existing_stamp) return crUndetermined;
  return CompareStamps(*new_stamp, *existing_stamp);
}

// A recorded day count against the existing file's stamp, both at the two seconds of the DOS
// form; a recorded date outside the DOS years compares as a day count.
TFileNewerResult CompareRecordedDate(double new_date, const std::string& existing_file) {
  auto existing_stamp = OpenedDosTime(existing_file);
  if (!existing_stamp || !std::isfinite(new_date)) return crUndetermined;
  if (auto new_stamp = DayCountToDosDateTime(new_date)) {
    return CompareStamps(*new_stamp, *existing_stamp);
  }
  // An undated existing file is older than any recorded date but one before 1980 too.
  if (*existing_stamp == kUndated) {
    return new_date < *DosDateTimeToDayCount(0x00210000) ? crSame : crNewer;
  }
  const double existing_date = *DosDateTimeToDayCount(*existing_stamp);
  if (new_date > existing_date) return crNewer;
  if (new_date < existing_date) return crKeep;
  return crSame;
}

bool Exists(const std::string& file) {
  return !IsBlank(file) && platform::Port().Files().FileExists(file);
}

TFileNewerResult NeverRule(const std::string& existing_file) {
  return Exists(existing_file) ? crKeep : crNewer;
}

}  // namespace

int CompareVersionStrings(const std::string& a, const std::string& b) {
  size_t pos_a = 0, pos_b = 0;
  for (;;) {
    const std::string_view fa = NextField(a, &pos_a);
    const std::string_view fb = NextField(b, &pos_b);
    if (fa.empty() || fb.empty()) {
      if (fa.empty() && fb.empty()) return 0;
      return fa.empty() ? 2 : 1;
    }
    const int c = IsInteger(fa) && IsInteger(fb) ? CompareIntegers(fa, fb) : fa.compare(fb);
    if (c > 0) return 1;
    if (c < 0) return 2;
  }
}

TFileNewerResult IsFileNewerByName(const std::string& new_file, const std::string& existing_file,
                                   TOverwriteType mode) {
  switch (mode) {
    case owAlways: return crNewer;
    case owNever: return NeverRule(existing_file);
    case owAsk: return crAsk;
    case owDate: return CompareDates(new_file, existing_file);
    case owVersion:
    case owVersionDate: {
      // Nothing there to keep: a file without a version (read as empty) would otherwise compare
      // equal with the missing one and never be written.
      if (!Exists(existing_file)) return crNewer;
      const std::string new_version = SharedFileVersion(new_file);
      const int compared = CompareVersionStrings(new_version, SharedFileVersion(existing_file));
      if (compared == 0 && mode == owVersionDate) return CompareDates(new_file, existing_file);
      return FromComparison(compared);
    }
  }
  return crUndetermined;
}

TFileNewerResult IsFileNewer(const std::string& new_version, double new_date,
                             const std::string& existing_file, TOverwriteType mode) {
  switch (mode) {
    case owAlways: return crNewer;
    case owNever: return NeverRule(existing_file);
    case owAsk: return crAsk;
    case owDate: return CompareRecordedDate(new_date, existing_file);
    case owVersion:
    case owVersionDate: {
      if (!Exists(existing_file)) return crNewer;
      const int compared = CompareVersionStrings(new_version, SharedFileVersion(existing_file));
      if (compared == 0 && mode == owVersionDate) {
        return CompareRecordedDate(new_date, existing_file);
      }
      return FromComparison(compared);
    }
  }
  return crUndetermined;
}

}  // namespace tmby
