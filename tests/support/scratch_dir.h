// A fresh host folder for one test, removed with everything in it when the test ends.
#pragma once

#include <filesystem>
#include <string>

namespace tmby::testing {

class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag = "scratch");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace tmby::testing
