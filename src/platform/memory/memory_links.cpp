// Shell links of the memory adapter: a link file is a text file of the adapter's own file system
// that holds the link's fields one per line ("Target=C:\...\notes.exe"), so that a test (or a
// person looking into the scratch folder) reads what a link holds.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory/memory_state.h"
#include "platform/shell_links.h"

namespace tmby::platform::memory {

namespace {

constexpr std::string_view kHeader = "[Shell link]";

// Control characters and "%" as "%XX", so that every field stays on its line.
std::string Escape(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || c == '%') {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexDigit(text[i + 1]);
    const int low = HexDigit(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::optional<int64_t> Number(const std::string& text) {
  if (text.empty() || text.size() > 11) return std::nullopt;
  int64_t value = 0;
  size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return std::nullopt;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return text[0] == '-' ? -value : value;
}

class MemoryShellLinks : public ShellLinksBase {
 public:
  MemoryShellLinks(std::shared_ptr<State> state, IFileSystem& files)
      : state_(std::move(state)), files_(files) {}

  int32_t Write(const std::string& path, const ShellLink& link) override {
    if (state_->shell_link_failure != 0) return state_->shell_link_failure;
    std::string text = std::string(kHeader) + "\r\n";
    const auto line = [&text](const char* name, const std::string& value) {
      text += name;
      text += '=';
      text += Escape(value);
      text += "\r\n";
    };
    line("Target", link.target);
    line("Arguments", link.arguments);
    line("WorkingDirectory", link.working_directory);
    line("Description", link.description);
    line("IconPath", link.icon_path);
    line("IconIndex", std::to_string(link.icon_index));
    line("ShowCommand", std::to_string(link.show_command));
    line("HotKey", std::to_string(link.hot_key));
    auto file = files_.Open(path, FileAccess::Write, kShareNone, FileDisposition::CreateAlways);
    if (!file) return OpenFailure();
    if (!file->Write(text.data(), text.size())) {
      const uint32_t error = file->LastError();
      file.reset();
      files_.RemoveFile(path);
      return hresult::FromWin32(error);
    }
    return 0;
  }

  int32_t Read(const std::string& path, ShellLink& link) override {
    auto file = files_.Open(path, FileAccess::Read, kShareRead, FileDisposition::OpenExisting);
    if (!file) return OpenFailure();
    std::string text;
    char buffer[4096];
    size_t done = 0;
    while (file->Read(buffer, sizeof buffer, &done) && done > 0) {
      text.append(buffer, done);
      // No link is this long: a file that is must be something else.
      if (text.size() > 64 * 1024) return hresult::kFail;
    }
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      lines.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    if (lines.empty() || lines[0] != kHeader) return hresult::kFail;
    for (size_t i = 1; i < lines.size(); ++i) {
      const size_t equals = lines[i].find('=');
      if (equals == std::string::npos) return hresult::kFail;
      const std::string name = lines[i].substr(0, equals);
      const std::optional<std::string> value = Unescape(lines[i].substr(equals + 1));
      if (!value) return hresult::kFail;
      if (name == "Target") {
        link.target = *value;
      } else if (name == "Arguments") {
        link.arguments = *value;
      } else if (name == "WorkingDirectory") {
        link.working_directory = *value;
      } else if (name == "Description") {
        link.description = *value;
      } else if (name == "IconPath") {
        link.icon_path = *value;
      } else {
        const std::optional<int64_t> number = Number(*value);
        if (!number) return hresult::kFail;
        if (name == "IconIndex") {
          link.icon_index = static_cast<int>(*number);
        } else if (name == "ShowCommand") {
          link.show_command = static_cast<int>(*number);
        } else if (name == "HotKey") {
          link.hot_key = static_cast<uint16_t>(*number);
        }
      }
    }
    return 0;
  }

 private:
  // An open that failed without an error code still failed.
  int32_t OpenFailure() const {
    const int32_t result = hresult::FromWin32(files_.LastError());
    return result != 0 ? result : hresult::kFail;
  }

  std::shared_ptr<State> state_;
  IFileSystem& files_;
};

}  // namespace

std::unique_ptr<IShellLinks> MakeShellLinks(std::shared_ptr<State> state, IFileSystem& files) {
  return std::make_unique<MemoryShellLinks>(std::move(state), files);
}

}  // namespace tmby::platform::memory
