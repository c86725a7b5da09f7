#include "system/folder_cache.h"

#include "system/registry.h"

namespace tmby {

void TSystemFolderCache::Hold() {
  values_.clear();
  held_ = true;
}

void TSystemFolderCache::Release() {
  values_.clear();
  held_ = false;
}

std::optional<std::string> TSystemFolderCache::Read(int root, const std::string& key,
                                                    const std::string& name) {
  const auto read = [&] {
    TtmbyRegistry reg;
    reg.SetRootKeyNumber(root);
    return reg.ReadStringAt(key, name);
  };
  if (!held_) return read();
  // A NUL cannot occur in a key path or a value name: the parts cannot run into each other.
  const std::string id = std::to_string(root) + '\0' + key + '\0' + name;
  const auto kept = values_.find(id);
  if (kept != values_.end()) return kept->second;
  return values_.emplace(id, read()).first->second;
}

TSystemFolderCache& SystemFolderCache() {
  static TSystemFolderCache cache;
  return cache;
}

}  // namespace tmby
