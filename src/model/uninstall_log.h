// The counts of the uninstall lists, kept in memory while an install runs.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace tmby {

// Appending to an uninstall list reads its count "Entries", writes the entry and then the new
// count. While an install runs, nothing but the run itself writes the lists of its product: the
// count it wrote last is the one stored, and it need not write every count either. Keeping them
// here saves two trips to the registry per file. Outside a run nothing is kept and every append
// reads and writes the count.
class TUninstallLogCounts {
 public:
  // From Hold to Release counts are kept and the lists' keys held open; both forget what was
  // kept, and Release lets go of the keys (Release after WritePending, or the counts not yet
  // written are lost: the lists stay sound without them).
  void Hold();
  void Release();
  bool Held() const { return held_; }
  // The count of the list under `key` (a local-machine key path) during this run; nullopt when
  // none is kept.
  std::optional<int> Find(const std::string& key) const;
  // Kept only between Hold and Release, with the list's key held open (the entry is written, so
  // the key exists); `written` tells whether the registry holds the count already.
  void Store(const std::string& key, int count, bool written);
  // After a failed write the stored count is unknown.
  void Forget(const std::string& key);
  // Writes every count the registry does not hold yet. Raises EIRCannotWriteValue when one
  // cannot be written (the others are written first).
  void WritePending();

 private:
  struct TCount {
    int count = 0;
    bool written = true;
  };
  bool held_ = false;
  std::map<std::string, TCount> counts_;
};

// The process-wide instance; InstallModel().Reset() releases it.
TUninstallLogCounts& UninstallLogCounts();

}  // namespace tmby
