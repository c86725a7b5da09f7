// A port that hands everything to another one, except that no file written through it grows
// beyond a given size: a write past that point stores what fits and fails with kDiskFull, as on a
// full disk. Splitting an archive through it gives volumes of that size, on any adapter, which is
// how a vendor makes volumes for disks of a chosen size.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/forwarding_files.h"

namespace tmby {

class TDiskLimitPlatform : public platform::ForwardingPlatform {
 public:
  // `inner` (not owned) answers every call; `capacity` is the size of each "disk" in bytes.
  TDiskLimitPlatform(platform::IPlatform& inner, int64_t capacity);
  ~TDiskLimitPlatform() override;

  platform::IFileSystem& Files() override;

 private:
  std::unique_ptr<platform::IFileSystem> files_;
};

}  // namespace tmby
