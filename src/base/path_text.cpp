#include "base/path_text.h"

#include <vector>

namespace tmby {

std::string IncludeTrailingBackslash(const std::string& path) {
  if (path.empty() || path.back() == '\\') return path;
  return path + '\\';
}

std::string ExcludeTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path.substr(0, path.size() - 1);
  return path;
}

std::string TrimText(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

std::string UpperText(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

namespace {

// Windows gives these names (with any extension) to its devices, in every folder.
bool IsDeviceName(const std::string& step) {
  std::string base = UpperText(step.substr(0, step.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (const char* name : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"}) {
    if (base == name) return true;
  }
  return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
         base[3] >= '0' && base[3] <= '9';
}

}  // namespace

TTypedFolder NormalizeTypedFolder(std::string_view typed, bool relative) {
  std::string text = TrimText(std::string(typed));
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  TTypedFolder out;
  if (text.empty()) {
    out.Fault = TTypedFolder::tfEmpty;
    return out;
  }
  std::string root;
  size_t at = 0;
  const bool drive = text.size() >= 3 &&
                     ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z')) &&
                     text[1] == ':' && text[2] == '\\';
  std::vector<std::string> steps;
  const auto split = [&](std::string_view rest) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
      const size_t stop = rest.find('\\', from);
      parts.emplace_back(
          rest.substr(from, stop == std::string_view::npos ? rest.npos : stop - from));
      if (stop == std::string_view::npos) return parts;
      from = stop + 1;
    }
  };
  if (relative) {
    at = 0;
  } else if (drive) {
    root = text.substr(0, 2);
    at = 3;
  } else if (text.size() > 2 && text[0] == '\\' && text[1] == '\\') {
    // A share: the server and the share name are its root, both made like any other step.
    std::vector<std::string> parts = split(std::string_view(text).substr(2));
    std::vector<std::string> named;
    size_t used = 0;
    for (; used < parts.size() && named.size() < 2; ++used) {
      std::string step = parts[used];
      while (!step.empty() && (step.back() == ' ' || step.back() == '.')) step.pop_back();
      if (!step.empty()) named.push_back(step);
    }
    if (named.size() < 2) {
      out.Fault = TTypedFolder::tfNotFull;
      return out;
    }
    root = "\\\\" + named[0] + "\\" + named[1];
    at = text.size();
    for (; used < parts.size(); ++used) steps.push_back(parts[used]);
  } else {
    out.Fault = TTypedFolder::tfNotFull;
    return out;
  }
  if (at < text.size()) steps = split(std::string_view(text).substr(at));
  std::vector<std::string> kept;
  for (std::string step : steps) {
    std::string bare = step;
    while (!bare.empty() && bare.back() == ' ') bare.pop_back();
    if (bare == "..") {
      if (!kept.empty()) {
        kept.pop_back();
      } else if (relative) {
        out.Fault = TTypedFolder::tfOutside;
        return out;
      }
      continue;
    }
    while (!step.empty() && (step.back() == ' ' || step.back() == '.')) step.pop_back();
    if (step.empty()) continue;
    if (IsDeviceName(step)) {
      out.Fault = TTypedFolder::tfDevice;
      out.Step = step;
      return out;
    }
    kept.push_back(step);
  }
  std::string path = root;
  for (const std::string& step : kept) {
    if (!path.empty()) path += '\\';
    path += step;
  }
  if (drive && kept.empty()) path += '\\';
  if (path.empty()) out.Fault = TTypedFolder::tfEmpty;
  out.Path = path;
  return out;
}

size_t FindRefusedPathCharacter(std::string_view path) {
  for (size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (c < 32 || std::string_view("<>:\"/|?*").find(path[i]) != std::string_view::npos) return i;
  }
  return std::string_view::npos;
}

}  // namespace tmby
