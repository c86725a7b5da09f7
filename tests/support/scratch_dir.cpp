#include "support/scratch_dir.h"

#include <cstdio>
#include <random>
#include <system_error>

namespace tmby::testing {

ScratchDir::ScratchDir(const std::string& tag) {
  std::random_device random;
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  for (int attempt = 0; attempt < 100; ++attempt) {
    char id[24];
    std::snprintf(id, sizeof id, "%08x%08x", static_cast<unsigned>(random()),
                  static_cast<unsigned>(random()));
    path_ = base / ("tmby-" + tag + "-" + id);
    if (std::filesystem::create_directories(path_, ec)) return;
  }
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace tmby::testing
