// Windows path rules of the memory adapter: parsing, case-insensitive lookup on the host, short
// names and wildcards.
#include <algorithm>
#include <optional>
#include <system_error>

#include "base/text_codec.h"
#include "platform/memory/memory_state.h"

namespace tmby::platform::memory {

namespace {

// Decodes one UTF-8 character at `text[*i]`. A byte that is not part of well-formed UTF-8 (host
// names need not be UTF-8) comes back as itself with `*valid` false and is kept as it stands.
char32_t DecodeOne(std::string_view text, size_t* i, bool* valid) {
  const size_t start = *i;
  if (const std::optional<char32_t> code = DecodeUtf8(text, i)) {
    *valid = true;
    return *code;
  }
  *valid = false;
  *i = start + 1;
  return static_cast<unsigned char>(text[start]);
}

char32_t UpperOne(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c < 0x80) return c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    // Latin Extended-A: pairs; the lower-case letter is odd except in 0x139-0x148 and 0x179-0x17E.
    const bool even_lower = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (even_lower) return (c % 2 == 0) ? c - 1 : c;
    return (c % 2 == 1) ? c - 1 : c;
  }
  if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return c - 0x20;
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

std::u32string Decode(std::string_view text) {
  std::u32string out;
  size_t i = 0;
  bool valid = true;
  while (i < text.size()) out.push_back(DecodeOne(text, &i, &valid));
  return out;
}

bool GlobMatch(const std::u32string& p, const std::u32string& n) {
  size_t pi = 0, ni = 0, star = std::u32string::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == U'?' || p[pi] == n[ni])) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == U'*') {
      star = pi++;
      mark = ni;
    } else if (star != std::u32string::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == U'*') ++pi;
  return pi == p.size();
}

bool IsShortChar(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (u >= 0x80 || u < 0x20) return false;
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$%&'()-@^_`{}~").find(c) != std::string_view::npos;
}

// The parts of the Windows way of making an 8.3 name: upper case, no blanks or extra dots,
// invalid characters as "_"; the base keeps six characters before "~N", the extension three.
struct ShortStem {
  std::string base;
  std::string ext;
  std::string With(int n) const {
    const std::string tail = "~" + std::to_string(n);
    std::string result = base.substr(0, std::min<size_t>(6, 8 - std::min<size_t>(7, tail.size())));
    result += tail;
    if (!ext.empty()) result += "." + ext;
    return result;
  }
};

ShortStem MakeShortStem(const std::string& long_name) {
  const std::string upper = FoldCase(long_name);
  size_t dot = upper.rfind('.');
  if (dot == 0 || dot == std::string::npos) dot = upper.size();
  const auto clean = [](std::string_view part, std::string* out, size_t limit) {
    size_t i = 0;
    bool valid = true;
    while (i < part.size() && out->size() < limit) {
      const size_t start = i;
      const char32_t cp = DecodeOne(part, &i, &valid);
      if (cp == U' ' || cp == U'.') continue;
      if (i - start == 1 && IsShortChar(part[start])) {
        out->push_back(part[start]);
      } else {
        out->push_back('_');
      }
    }
  };
  ShortStem stem;
  clean(std::string_view(upper).substr(0, dot), &stem.base, 6);
  if (dot < upper.size()) clean(std::string_view(upper).substr(dot + 1), &stem.ext, 3);
  if (stem.base.empty()) stem.base = "_";
  return stem;
}

}  // namespace

std::string FoldCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t start = i;
    bool valid = true;
    const char32_t cp = DecodeOne(text, &i, &valid);
    if (!valid) {
      out.push_back(text[start]);
    } else {
      AppendUtf8(out, UpperOne(cp));
    }
  }
  return out;
}

bool SameName(std::string_view a, std::string_view b) { return FoldCase(a) == FoldCase(b); }

fs::path PathFromUtf8(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8FromPath(const fs::path& path) {
  const std::u8string u = path.u8string();
  return std::string(u.begin(), u.end());
}

bool IsValidName(std::string_view name, bool wildcards) {
  if (name.empty() || name.size() > 255) return false;
  for (const char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20) return false;
    switch (c) {
      case '<':
      case '>':
      case ':':
      case '"':
      case '/':
      case '\\':
      case '|': return false;
      case '?':
      case '*':
        if (!wildcards) return false;
        break;
      default: break;
    }
  }
  return true;
}

bool IsShortName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  const size_t dot = name.find('.');
  if (dot != std::string_view::npos && name.find('.', dot + 1) != std::string_view::npos) {
    return false;
  }
  const std::string_view base = name.substr(0, dot);
  const std::string_view ext =
      dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string_view::npos && ext.empty()) return false;
  return std::all_of(base.begin(), base.end(), IsShortChar) &&
         std::all_of(ext.begin(), ext.end(), IsShortChar);
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  const std::u32string p = Decode(FoldCase(pattern));
  const std::u32string n = Decode(FoldCase(name));
  if (p == U"*.*" || p == U"*") return true;
  if (GlobMatch(p, n)) return true;
  const bool has_dot = n.find(U'.') != std::u32string::npos;
  // "name.*" also finds "name"; "*." finds the names without an extension.
  if (p.size() >= 2 && p.ends_with(U".*") && !has_dot) {
    return GlobMatch(p.substr(0, p.size() - 2), n);
  }
  if (p.size() >= 2 && p.back() == U'.' && !has_dot) {
    return GlobMatch(p.substr(0, p.size() - 1), n);
  }
  return false;
}

std::string WinPath::Text() const {
  std::string out(1, drive);
  out += ":";
  if (parts.empty()) return out + "\\";
  for (const auto& p : parts) out += "\\" + p;
  return out;
}

WinPath WinPath::Parent() const {
  WinPath p = *this;
  if (!p.parts.empty()) p.parts.pop_back();
  return p;
}

std::optional<WinPath> ParseWinPath(const std::string& text, const WinPath& cwd, bool pattern,
                                    uint32_t* error) {
  std::string s = text;
  std::replace(s.begin(), s.end(), '/', '\\');
  if (s.empty()) {
    *error = err::kPathNotFound;
    return std::nullopt;
  }
  if (s.size() >= 2 && s[0] == '\\' && s[1] == '\\') {
    *error = err::kBadNetPath;  // UNC paths and device paths are not simulated
    return std::nullopt;
  }
  WinPath out = cwd;
  size_t pos = 0;
  const bool has_drive = s.size() >= 2 && s[1] == ':' &&
                         ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'));
  if (has_drive) {
    const char drive = static_cast<char>(s[0] & ~0x20);
    pos = 2;
    if (drive != cwd.drive) out = WinPath{drive, {}};
    if (pos < s.size() && s[pos] == '\\') out.parts.clear();
  } else if (s[0] == '\\') {
    out.parts.clear();
  }
  std::vector<std::string> pieces;
  size_t start = pos;
  for (size_t i = pos; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == '\\') {
      pieces.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  for (size_t i = 0; i < pieces.size(); ++i) {
    std::string piece = pieces[i];
    const bool last = i + 1 == pieces.size();
    if (piece.empty() || piece == ".") continue;
    if (piece == "..") {
      if (!out.parts.empty()) out.parts.pop_back();
      continue;
    }
    const bool wild = pattern && last;
    if (!wild) {
      // Windows drops trailing dots and blanks of a name.
      while (!piece.empty() && (piece.back() == '.' || piece.back() == ' ')) piece.pop_back();
      if (piece.empty()) continue;
    }
    if (!IsValidName(piece, wild)) {
      *error = piece.size() > 255 ? err::kFilenameExcedRange : err::kInvalidName;
      return std::nullopt;
    }
    out.parts.push_back(piece);
  }
  if (out.Text().size() > 259) {
    *error = err::kFilenameExcedRange;
    return std::nullopt;
  }
  return out;
}

RegValue* RegNode::FindValue(const std::string& value_name) {
  const std::string folded = FoldCase(value_name);
  for (auto& v : values) {
    if (FoldCase(v.name) == folded) return &v;
  }
  return nullptr;
}

std::string State::KeyOf(const fs::path& host) {
  return FoldCase(Utf8FromPath(host.lexically_normal().generic_u8string()));
}

std::vector<std::string> State::ListNames(const fs::path& dir) {
  std::vector<std::pair<std::string, std::string>> entries;  // folded, stored
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = Utf8FromPath(it->path().filename());
    if (IsValidName(name) && name != "." && name != "..") {
      entries.emplace_back(FoldCase(name), std::move(name));
    }
  }
  std::sort(entries.begin(), entries.end());
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (auto& e : entries) names.push_back(std::move(e.second));
  return names;
}

// Listings are kept per directory and trusted while the directory's write time stays the same;
// the adapter's own changes update them in place. A change made on the host past the adapter
// within the same tick of the host clock as the adapter's last change can go unseen by lookups
// that differ in case from the stored name.
const std::map<std::string, std::string>& State::DirIndex(const fs::path& dir) {
  std::error_code ec;
  const fs::file_time_type stamp = fs::last_write_time(dir, ec);
  DirListing& listing = listings[KeyOf(dir)];
  if (!listing.valid || ec || listing.stamp != stamp) {
    listing.names.clear();
    ++listings_read;
    for (auto& name : ListNames(dir)) listing.names.emplace(FoldCase(name), std::move(name));
    listing.stamp = stamp;
    listing.valid = !ec;
  }
  return listing.names;
}

void State::BeforeChange(const fs::path& dir) {
  if (listings.count(KeyOf(dir)) != 0) DirIndex(dir);
}

void State::AfterChange(const fs::path& dir, const std::string& removed, const std::string& added) {
  const auto it = listings.find(KeyOf(dir));
  if (it == listings.end() || !it->second.valid) return;
  if (!removed.empty()) it->second.names.erase(FoldCase(removed));
  if (!added.empty()) it->second.names.emplace(FoldCase(added), added);
  std::error_code ec;
  it->second.stamp = fs::last_write_time(dir, ec);
  if (ec) it->second.valid = false;
}

std::optional<std::string> State::FindEntry(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  // The exact spelling (on a Windows host any spelling) reaches the entry without a listing.
  if (fs::exists(fs::symlink_status(dir / PathFromUtf8(name), ec))) return name;
  return FindListed(dir, name);
}

std::optional<std::string> State::FindListed(const fs::path& dir, const std::string& name) {
  const auto& index = DirIndex(dir);
  if (const auto it = index.find(FoldCase(name)); it != index.end()) return it->second;
  if (name.find('~') != std::string::npos) return LongNameOfShort(dir, name);
  return std::nullopt;
}

std::string State::StoredName(const fs::path& dir, const std::string& name) {
  const auto& index = DirIndex(dir);
  const auto it = index.find(FoldCase(name));
  return it == index.end() ? name : it->second;
}
std::optional<Located> State::Locate(const std::string& path, uint32_t* error, bool pattern) {
  const std::optional<WinPath> win = ParseWinPath(path, cwd, pattern, error);
  if (!win) return std::nullopt;
  return Locate(*win, error);
}

std::optional<Located> State::Locate(const WinPath& win, uint32_t* error) {
  const auto drive = drives.find(win.drive);
  if (drive == drives.end()) {
    *error = err::kPathNotFound;
    return std::nullopt;
  }
  Located out;
  out.win = win;
  std::error_code ec;
  // A path spelt as the host stores it, the usual case, is found with one call on the host; a
  // listing of a folder is needed only for a name in another case, a short name, or a new name
  // (which must not be the twin of an existing one in another case).
  fs::path direct = drive->second;
  for (const auto& part : win.parts) direct /= PathFromUtf8(part);
  const fs::file_status status = fs::status(direct, ec);
  if (fs::exists(status)) {
    out.host = direct;
    out.key = KeyOf(direct);
    out.exists = true;
    out.is_dir = fs::is_directory(status);
    out.parent_dir = true;
    return out;
  }
  // A new name in a folder spelt as stored: the folder's listing answers for the name alone.
  if (!win.parts.empty()) {
    const fs::path folder = direct.parent_path();
    if (fs::is_directory(folder, ec)) {
      const std::string& name = win.parts.back();
      const std::optional<std::string> found = FindListed(folder, name);
      out.host = folder / PathFromUtf8(found.value_or(name));
      out.key = KeyOf(out.host);
      out.parent_dir = true;
      if (found) {
        const fs::file_status listed = fs::status(out.host, ec);
        out.exists = fs::exists(listed);
        out.is_dir = fs::is_directory(listed);
      }
      return out;
    }
  }
  fs::path host = drive->second;
  bool existing = fs::is_directory(host, ec);
  out.parent_dir = existing;
  for (size_t i = 0; i < win.parts.size(); ++i) {
    const bool last = i + 1 == win.parts.size();
    if (last) out.parent_dir = existing && fs::is_directory(host, ec);
    std::optional<std::string> found;
    if (existing && fs::is_directory(host, ec)) found = FindEntry(host, win.parts[i]);
    if (found) {
      host /= PathFromUtf8(*found);
    } else {
      existing = false;
      host /= PathFromUtf8(win.parts[i]);
    }
  }
  out.host = host;
  out.key = KeyOf(host);
  out.exists = existing && fs::exists(host, ec);
  out.is_dir = out.exists && fs::is_directory(host, ec);
  return out;
}

uint32_t State::CheckSharing(const std::string& key, uint32_t access, uint32_t share) const {
  const auto conflicts = [&](uint32_t held_access, uint32_t held_share) {
    return (access & ~held_share) != 0 || (held_access & ~share) != 0;
  };
  if (locked.count(key) != 0 && conflicts(kShareAll, kShareNone)) return err::kSharingViolation;
  for (const auto& r : open) {
    if (r->key == key && conflicts(r->access, r->share)) return err::kSharingViolation;
  }
  return err::kSuccess;
}

bool State::AnyOpenBelow(const std::string& dir_key) const {
  const std::string prefix = dir_key.ends_with("/") ? dir_key : dir_key + "/";
  for (const auto& r : open) {
    if (r->key.starts_with(prefix)) return true;
  }
  for (const auto& k : locked) {
    if (k.starts_with(prefix)) return true;
  }
  return false;
}

uint32_t State::StoredAttributes(const std::string& key) const {
  const auto it = attributes.find(key);
  return it == attributes.end() ? attr::kArchive : it->second;
}

void State::ForgetFile(const std::string& key) { attributes.erase(key); }

std::map<std::string, std::string>& State::AssignShortNames(const fs::path& dir) {
  auto& table = short_names[KeyOf(dir)];
  const auto& index = DirIndex(dir);
  std::set<std::string> taken;
  for (const auto& [folded, name] : index) {
    if (IsShortName(name)) taken.insert(folded);
  }
  for (auto it = table.begin(); it != table.end();) {
    if (index.count(it->first) == 0) {
      it = table.erase(it);
    } else {
      taken.insert(it->second);
      ++it;
    }
  }
  // New names in sorted order; each stem counts on from where it stopped.
  std::map<std::string, int> next;
  for (const auto& [folded, name] : index) {
    if (IsShortName(name) || table.count(folded) != 0) continue;
    const ShortStem stem = MakeShortStem(name);
    int& k = next[stem.base + "." + stem.ext];
    for (++k; k < 10000000; ++k) {
      std::string candidate = stem.With(k);
      if (taken.insert(candidate).second) {
        table[folded] = std::move(candidate);
        break;
      }
    }
  }
  return table;
}

std::string State::ShortNameOf(const fs::path& dir, const std::string& long_name) {
  if (IsShortName(long_name)) return "";
  return ShortNameIn(AssignShortNames(dir), long_name);
}

const std::map<std::string, std::string>& State::ShortNames(const fs::path& dir) {
  return AssignShortNames(dir);
}

std::string State::ShortNameIn(const std::map<std::string, std::string>& table,
                               const std::string& long_name) {
  if (IsShortName(long_name)) return "";
  const auto it = table.find(FoldCase(long_name));
  return it == table.end() ? "" : it->second;
}

uint32_t State::AttributesOf(const std::string& key, bool is_dir) const {
  if (is_dir) {
    const auto it = attributes.find(key);
    return attr::kDirectory | (it == attributes.end() ? 0 : it->second);
  }
  const uint32_t stored = StoredAttributes(key);
  return stored == 0 ? attr::kNormal : stored;
}

std::optional<std::string> State::LongNameOfShort(const fs::path& dir,
                                                  const std::string& short_name) {
  const std::string folded = FoldCase(short_name);
  const auto& table = AssignShortNames(dir);
  for (const auto& [long_folded, short_form] : table) {
    if (short_form != folded) continue;
    const auto& index = DirIndex(dir);
    if (const auto it = index.find(long_folded); it != index.end()) return it->second;
  }
  return std::nullopt;
}

}  // namespace tmby::platform::memory
