// INI files of the memory adapter: text files of its own file system, read and rewritten whole
// on every call, with the profile functions' rules for sections, keys and values.
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory/memory_state.h"

namespace tmby::platform::memory {

namespace {

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// The section named by a "[name]" line, or nullopt for any other line.
std::optional<std::string_view> SectionOf(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  const size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

// The key of a "key=value" line, or nullopt.
std::optional<std::string_view> KeyOf(std::string_view line) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(0, equals));
}

class MemoryIniFiles : public IIniFiles {
 public:
  explicit MemoryIniFiles(IFileSystem& files) : files_(files) {}

  std::optional<std::string> ReadString(const std::string& file, const std::string& section,
                                        const std::string& key) override {
    std::vector<std::string> lines;
    if (!Load(file, lines)) return std::nullopt;
    const auto [first, end] = FindSection(lines, section);
    for (size_t i = first; i < end; ++i) {
      const auto k = KeyOf(lines[i]);
      if (!k || !SameName(*k, key)) continue;
      std::string_view value = Trim(std::string_view(lines[i]).substr(lines[i].find('=') + 1));
      // A value in double quotes is given without them.
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
      }
      error_ = err::kSuccess;
      return std::string(value);
    }
    error_ = err::kFileNotFound;
    return std::nullopt;
  }

  bool WriteString(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value) override {
    std::vector<std::string> lines;
    if (!Load(file, lines) && error_ != err::kFileNotFound && error_ != err::kPathNotFound) {
      return false;
    }
    const std::string entry = key + "=" + value;
    const auto [first, end] = FindSection(lines, section);
    if (first == 0 && end == 0) {
      lines.push_back("[" + section + "]");
      lines.push_back(entry);
    } else {
      bool replaced = false;
      for (size_t i = first; i < end && !replaced; ++i) {
        const auto k = KeyOf(lines[i]);
        if (k && SameName(*k, key)) {
          lines[i] = entry;
          replaced = true;
        }
      }
      if (!replaced) {
        // After the section's last line that is not blank.
        size_t at = end;
        while (at > first && Trim(lines[at - 1]).empty()) --at;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), entry);
      }
    }
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    auto out = files_.Open(file, FileAccess::Write, kShareNone, FileDisposition::CreateAlways);
    if (!out || !out->Write(text.data(), text.size())) {
      error_ = out ? out->LastError() : files_.LastError();
      return false;
    }
    error_ = err::kSuccess;
    return true;
  }

  uint32_t LastError() const override { return error_; }

 private:
  // The file's lines without their line ends; false (kFileNotFound) when it is missing.
  bool Load(const std::string& file, std::vector<std::string>& lines) {
    auto in = files_.Open(file, FileAccess::Read, kShareRead | kShareWrite,
                          FileDisposition::OpenExisting);
    if (!in) {
      error_ = files_.LastError();
      return false;
    }
    std::string text;
    char buffer[4096];
    size_t got = 0;
    while (in->Read(buffer, sizeof buffer, &got) && got > 0) text.append(buffer, got);
    size_t start = 0;
    while (start < text.size()) {
      size_t stop = text.find('\n', start);
      if (stop == std::string::npos) stop = text.size();
      std::string line = text.substr(start, stop - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(std::move(line));
      start = stop + 1;
    }
    return true;
  }

  // The lines of a section's body, [first, end); {0, 0} when the section is missing.
  static std::pair<size_t, size_t> FindSection(const std::vector<std::string>& lines,
                                               const std::string& section) {
    for (size_t i = 0; i < lines.size(); ++i) {
      const auto name = SectionOf(lines[i]);
      if (!name || !SameName(*name, section)) continue;
      size_t end = i + 1;
      while (end < lines.size() && !SectionOf(lines[end])) ++end;
      return {i + 1, end};
    }
    return {0, 0};
  }

  IFileSystem& files_;
  uint32_t error_ = err::kSuccess;
};

}  // namespace

std::unique_ptr<IIniFiles> MakeIniFiles(IFileSystem& files) {
  return std::make_unique<MemoryIniFiles>(files);
}

}  // namespace tmby::platform::memory
