#include "model/uninstall_log.h"

#include <exception>

#include "system/registry.h"
#include "system/registry_hold.h"

namespace tmby {

namespace {
constexpr int kLocalMachine = 4;
}  // namespace

void TUninstallLogCounts::Hold() {
  counts_.clear();
  held_ = true;
}

void TUninstallLogCounts::Release() {
  // Keys are held only between Hold and Release: a release outside a run (a reset of the model)
  // has none to let go, and needs no registry.
  const bool was_held = held_;
  counts_.clear();
  held_ = false;
  if (was_held) ReleaseRegKeys();
}

std::optional<int> TUninstallLogCounts::Find(const std::string& key) const {
  const auto kept = counts_.find(key);
  if (kept == counts_.end()) return std::nullopt;
  return kept->second.count;
}

void TUninstallLogCounts::Store(const std::string& key, int count, bool written) {
  if (!held_) return;
  counts_[key] = TCount{count, written};
  // The list's key exists now: it stays open for the entries to come (each still written at
  // once) until Release lets it go.
  HoldRegKey(kLocalMachine, key);
}

void TUninstallLogCounts::Forget(const std::string& key) { counts_.erase(key); }

void TUninstallLogCounts::WritePending() {
  std::exception_ptr failure;
  for (auto& [key, kept] : counts_) {
    if (kept.written) continue;
    try {
      WriteRegString(kLocalMachine, key, "Entries", std::to_string(kept.count));
      kept.written = true;
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

TUninstallLogCounts& UninstallLogCounts() {
  static TUninstallLogCounts counts;
  return counts;
}

}  // namespace tmby
