// A file system that counts what the code under test asks of the port's files: the opens of every
// path (by its name in lower case) and the reads of one watched file. It forwards everything.
#pragma once

#include <cctype>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/forwarding_files.h"
#include "platform/port.h"

namespace tmby::testing {

class CountingFiles : public platform::ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;

  std::map<std::string, int> opens_of;  // every path opened, lower case
  std::string watched;
  int opens = 0;  // of the watched file
  int reads = 0;
  int64_t bytes = 0;

  int OpensOf(const std::string& path) const {
    const auto it = opens_of.find(Lower(path));
    return it == opens_of.end() ? 0 : it->second;
  }
  void Reset() {
    opens_of.clear();
    opens = reads = 0;
    bytes = 0;
  }

  std::unique_ptr<platform::IFile> Open(const std::string& path, platform::FileAccess access,
                                        uint32_t share,
                                        platform::FileDisposition disposition) override {
    auto file = Inner().Open(path, access, share, disposition);
    if (!file) return file;
    const std::string name = Lower(path);
    ++opens_of[name];
    if (name != Lower(watched)) return file;
    ++opens;
    return std::make_unique<Counted>(std::move(file), *this);
  }

 private:
  static std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  }
  class Counted : public platform::ForwardingFile {
   public:
    Counted(std::unique_ptr<platform::IFile> inner, CountingFiles& owner)
        : ForwardingFile(std::move(inner)), owner_(owner) {}
    bool Read(void* buffer, size_t size, size_t* done) override {
      const bool ok = ForwardingFile::Read(buffer, size, done);
      ++owner_.reads;
      if (ok) owner_.bytes += static_cast<int64_t>(*done);
      return ok;
    }

   private:
    CountingFiles& owner_;
  };
};

// The platform around it: every other service is the inner platform's.
class CountingPlatform : public platform::ForwardingPlatform {
 public:
  explicit CountingPlatform(platform::IPlatform& inner)
      : ForwardingPlatform(inner), files(inner.Files()) {}
  platform::IFileSystem& Files() override { return files; }
  CountingFiles files;
};

// Counts while it lives: the port of the process is the counting one, then the one before again.
class ScopedCountingPort : public CountingPlatform {
 public:
  ScopedCountingPort() : CountingPlatform(platform::Port()), previous_(platform::SetPort(this)) {}
  ~ScopedCountingPort() override { platform::SetPort(previous_); }
  ScopedCountingPort(const ScopedCountingPort&) = delete;
  ScopedCountingPort& operator=(const ScopedCountingPort&) = delete;

 private:
  platform::IPlatform* previous_;
};

}  // namespace tmby::testing
