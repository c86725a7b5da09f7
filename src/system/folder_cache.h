// The system folders that the registry records, read once while an install runs.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace tmby {

// The registry values that name system folders (Program Files, Common Files, the shell folders),
// kept while an install runs: the destination of every file expands from one of them, several
// times per file, and each read of the registry is several calls into the system. Nothing an
// install does writes these values. Outside a run every lookup reads the registry afresh.
class TSystemFolderCache {
 public:
  // From Hold to Release values read are kept; both forget what was kept.
  void Hold();
  void Release();
  bool Held() const { return held_; }
  // The text value `name` under `key` (a key path with a leading backslash) of registry root
  // number `root`; nullopt when it is missing or not text.
  std::optional<std::string> Read(int root, const std::string& key, const std::string& name);

 private:
  bool held_ = false;
  std::map<std::string, std::optional<std::string>> values_;
};

// The process-wide instance.
TSystemFolderCache& SystemFolderCache();

}  // namespace tmby
