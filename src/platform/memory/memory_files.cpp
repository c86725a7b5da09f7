// Files and directories of the memory adapter: host files under the mapped drive folders, with the
// sharing, attribute and time rules of Windows kept by the adapter.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "base/dostime.h"
#include "platform/memory/memory_state.h"

namespace tmby::platform::memory {

namespace {

using std::chrono::duration_cast;
using std::chrono::seconds;

uint32_t AccessBits(FileAccess access) {
  switch (access) {
    case FileAccess::Read: return kShareRead;
    case FileAccess::Write: return kShareWrite;
    case FileAccess::ReadWrite: return kShareRead | kShareWrite;
  }
  return 0;
}

class MemoryFile : public IFile {
 public:
  // `fresh`: the file is created, or emptied when it exists.
  MemoryFile(std::shared_ptr<State> state, std::shared_ptr<OpenRecord> record, bool fresh)
      : state_(std::move(state)), record_(std::move(record)) {
    stream_.rdbuf()->pubsetbuf(nullptr, 0);  // every write reaches the file at once
    const auto mode = std::ios::in | std::ios::out | std::ios::binary;
    if (fresh) {
      stream_.open(record_->host, mode | std::ios::trunc);
      return;
    }
    stream_.open(record_->host, mode);
    if (!stream_.is_open()) stream_.open(record_->host, std::ios::in | std::ios::binary);
  }

  ~MemoryFile() override {
    auto& open = state_->open;
    open.erase(std::remove(open.begin(), open.end(), record_), open.end());
  }

  bool IsOpen() const { return stream_.is_open(); }

  bool Read(void* buffer, size_t size, size_t* done) override {
    *done = 0;
    if ((record_->access & kShareRead) == 0) return Fail(err::kAccessDenied);
    if (size == 0) return true;
    stream_.clear();
    stream_.seekg(pos_);
    stream_.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
    const std::streamsize got = stream_.gcount();
    stream_.clear();
    if (got < 0) return Fail(err::kReadFault);
    *done = static_cast<size_t>(got);
    pos_ += got;
    return true;
  }

  bool Write(const void* buffer, size_t size) override {
    if ((record_->access & kShareWrite) == 0) return Fail(err::kAccessDenied);
    if (size == 0) return true;
    const uint64_t fits = state_->Reserve(size);
    if (fits > 0) {
      stream_.clear();
      stream_.seekp(pos_);
      stream_.write(static_cast<const char*>(buffer), static_cast<std::streamsize>(fits));
      stream_.flush();
      if (!stream_) {
        stream_.clear();
        return Fail(err::kWriteFault);
      }
      pos_ += static_cast<int64_t>(fits);
    }
    if (fits < size) return Fail(err::kDiskFull);
    return true;
  }

  bool Seek(int64_t offset, SeekOrigin origin, int64_t* position) override {
    int64_t base = 0;
    if (origin == SeekOrigin::Current) {
      base = pos_;
    } else if (origin == SeekOrigin::End) {
      const std::optional<int64_t> size = Size();
      if (!size) return false;
      base = *size;
    }
    if (offset > 0 && base > INT64_MAX - offset) return Fail(err::kInvalidParameter);
    if (offset < 0 && base + offset < 0) return Fail(err::kNegativeSeek);
    pos_ = base + offset;
    if (position != nullptr) *position = pos_;
    return true;
  }

  std::optional<int64_t> Size() override {
    std::error_code ec;
    const auto size = fs::file_size(record_->host, ec);
    if (ec) {
      Fail(err::kInvalidHandle);
      return std::nullopt;
    }
    return static_cast<int64_t>(size);
  }

  bool SetEnd() override {
    if ((record_->access & kShareWrite) == 0) return Fail(err::kAccessDenied);
    const std::optional<int64_t> size = Size();
    if (!size) return false;
    if (pos_ > *size && state_->Reserve(static_cast<uint64_t>(pos_ - *size)) <
                            static_cast<uint64_t>(pos_ - *size)) {
      return Fail(err::kDiskFull);
    }
    std::error_code ec;
    fs::resize_file(record_->host, static_cast<uintmax_t>(pos_), ec);
    if (ec) return Fail(err::kWriteFault);
    return true;
  }

  bool Flush() override {
    stream_.clear();
    stream_.flush();
    return true;
  }

  std::optional<uint32_t> GetDosTime() override {
    return state_->DosTimeOf(record_->host, &error_);
  }

  bool SetDosTime(uint32_t dos_time) override {
    if ((record_->access & kShareWrite) == 0) return Fail(err::kAccessDenied);
    return state_->SetDosTimeOf(record_->host, dos_time, &error_);
  }

  uint32_t LastError() const override { return error_; }

 private:
  bool Fail(uint32_t code) {
    error_ = code;
    return false;
  }

  std::shared_ptr<State> state_;
  std::shared_ptr<OpenRecord> record_;
  std::fstream stream_;
  int64_t pos_ = 0;
  uint32_t error_ = err::kSuccess;
};

class MemoryFileSystem : public IFileSystem {
 public:
  explicit MemoryFileSystem(std::shared_ptr<State> state) : state_(std::move(state)) {}

  std::unique_ptr<IFile> Open(const std::string& path, FileAccess access, uint32_t share,
                              FileDisposition disposition) override {
    const std::optional<Located> at = Locate(path);
    if (!at) return nullptr;
    if (at->win.parts.empty() || at->is_dir) return Fail(err::kAccessDenied), nullptr;
    if (!at->parent_dir) return Fail(err::kPathNotFound), nullptr;
    const uint32_t rights = AccessBits(access);
    const uint32_t attributes = at->exists ? state_->StoredAttributes(at->key) : 0;
    bool create = false;
    bool truncate = false;
    switch (disposition) {
      case FileDisposition::CreateNew:
        if (at->exists) return Fail(err::kFileExists), nullptr;
        create = true;
        break;
      case FileDisposition::CreateAlways:
        if (at->exists && (attributes & (attr::kHidden | attr::kSystem)) != 0) {
          return Fail(err::kAccessDenied), nullptr;
        }
        create = !at->exists;
        truncate = at->exists;
        break;
      case FileDisposition::OpenExisting:
        if (!at->exists) return Fail(err::kFileNotFound), nullptr;
        break;
      case FileDisposition::OpenAlways: create = !at->exists; break;
      case FileDisposition::TruncateExisting:
        if (!at->exists) return Fail(err::kFileNotFound), nullptr;
        if ((rights & kShareWrite) == 0) return Fail(err::kInvalidParameter), nullptr;
        truncate = true;
        break;
      default: return Fail(err::kInvalidParameter), nullptr;
    }
    if (at->exists && (attributes & attr::kReadOnly) != 0 &&
        ((rights & kShareWrite) != 0 || truncate)) {
      return Fail(err::kAccessDenied), nullptr;
    }
    if (const uint32_t sharing = state_->CheckSharing(at->key, rights, share); sharing != 0) {
      return Fail(sharing), nullptr;
    }
    auto record = std::make_shared<OpenRecord>();
    record->key = at->key;
    record->host = at->host;
    record->access = rights;
    record->share = share & kShareAll;
    const fs::path dir = at->host.parent_path();
    if (create || truncate) state_->BeforeChange(dir);
    auto file = std::make_unique<MemoryFile>(state_, record, create || truncate);
    if (!file->IsOpen()) return Fail(err::kAccessDenied), nullptr;
    if (create || truncate) {
      state_->AfterChange(dir, "", Utf8FromPath(at->host.filename()));
      // A new or re-created file carries the archive bit alone; truncating keeps the attributes.
      if (disposition != FileDisposition::TruncateExisting) state_->ForgetFile(at->key);
    }
    state_->open.push_back(record);
    error_ = err::kSuccess;
    return file;
  }

  bool FileExists(const std::string& path) override {
    const std::optional<Located> at = Locate(path);
    return at && at->exists && !at->is_dir;
  }

  bool DirectoryExists(const std::string& path) override {
    const std::optional<Located> at = Locate(path);
    return at && at->is_dir;
  }

  std::optional<uint32_t> GetAttributes(const std::string& path) override {
    const std::optional<Located> at = Existing(path);
    if (!at) return std::nullopt;
    return state_->AttributesOf(at->key, at->is_dir);
  }

  bool SetAttributes(const std::string& path, uint32_t attributes) override {
    const std::optional<Located> at = Existing(path);
    if (!at) return false;
    constexpr uint32_t kSettable = attr::kReadOnly | attr::kHidden | attr::kSystem |
                                   attr::kArchive | attr::kTemporary | attr::kOffline | 0x2000;
    state_->attributes[at->key] = attributes & kSettable;
    return true;
  }

  std::optional<int64_t> FileSize(const std::string& path) override {
    const std::optional<Located> at = Existing(path);
    if (!at) return std::nullopt;
    if (at->is_dir) return Fail(err::kAccessDenied), std::nullopt;
    std::error_code ec;
    const auto size = fs::file_size(at->host, ec);
    if (ec) return Fail(err::kAccessDenied), std::nullopt;
    return static_cast<int64_t>(size);
  }

  std::optional<uint32_t> GetDosTime(const std::string& path) override {
    const std::optional<Located> at = Existing(path);
    if (!at) return std::nullopt;
    return state_->DosTimeOf(at->host, &error_);
  }

  bool SetDosTime(const std::string& path, uint32_t dos_time) override {
    const std::optional<Located> at = Existing(path);
    if (!at) return false;
    return state_->SetDosTimeOf(at->host, dos_time, &error_);
  }

  bool CreateDirectories(const std::string& path) override {
    std::optional<WinPath> win = Parse(path);
    if (!win) return false;
    WinPath step{win->drive, {}};
    for (const auto& part : win->parts) {
      step.parts.push_back(part);
      const std::optional<Located> at = state_->Locate(step, &error_);
      if (!at) return false;
      if (at->is_dir) continue;
      if (at->exists) return Fail(err::kAlreadyExists);
      std::error_code ec;
      state_->BeforeChange(at->host.parent_path());
      if (!fs::create_directory(at->host, ec) && !fs::is_directory(at->host)) {
        return Fail(err::kAccessDenied);
      }
      state_->AfterChange(at->host.parent_path(), "", Utf8FromPath(at->host.filename()));
      state_->ForgetFile(at->key);
      state_->attributes[at->key] = 0;
    }
    const std::optional<Located> root = state_->Locate(*win, &error_);
    if (!root || !root->is_dir) return Fail(err::kPathNotFound);
    error_ = err::kSuccess;
    return true;
  }

  bool RemoveDir(const std::string& path) override {
    const std::optional<Located> at = Existing(path);
    if (!at) return false;
    if (!at->is_dir) return Fail(err::kDirectory);
    if (at->win.parts.empty()) return Fail(err::kAccessDenied);
    std::error_code ec;
    if (!fs::is_empty(at->host, ec)) return Fail(err::kDirNotEmpty);
    const std::optional<Located> cwd = state_->Locate(state_->cwd, &error_);
    if (cwd && (cwd->key == at->key || cwd->key.starts_with(at->key + "/"))) {
      return Fail(err::kSharingViolation);  // the current directory of the process
    }
    if (!Remove(at->host)) return Fail(err::kAccessDenied);
    state_->ForgetFile(at->key);
    return true;
  }

  bool RemoveFile(const std::string& path) override {
    const std::optional<Located> at = Existing(path);
    if (!at) return false;
    if (at->is_dir) return Fail(err::kAccessDenied);
    if ((state_->StoredAttributes(at->key) & attr::kReadOnly) != 0) {
      return Fail(err::kAccessDenied);
    }
    if (const uint32_t s = state_->CheckSharing(at->key, kShareDelete, kShareAll); s != 0) {
      return Fail(s);
    }
    if (!Remove(at->host)) return Fail(err::kAccessDenied);
    state_->ForgetFile(at->key);
    return true;
  }

  bool RenameFile(const std::string& from, const std::string& to) override {
    const std::optional<Located> src = Existing(from);
    if (!src) return false;
    const std::optional<Located> dst = Locate(to);
    if (!dst) return false;
    if (src->win.parts.empty() || dst->win.parts.empty()) return Fail(err::kAccessDenied);
    if (!dst->parent_dir) return Fail(err::kPathNotFound);
    const bool same_file = dst->exists && dst->key == src->key;
    if (dst->exists && !same_file) return Fail(err::kAlreadyExists);
    if (src->is_dir) {
      if (state_->AnyOpenBelow(src->key)) return Fail(err::kAccessDenied);
      if (src->win.drive != dst->win.drive) return Fail(err::kNotSameDevice);
      const std::string prefix = src->key + "/";
      if (dst->key.starts_with(prefix)) return Fail(err::kSharingViolation);
    } else if (const uint32_t s = state_->CheckSharing(src->key, kShareDelete, kShareAll); s != 0) {
      return Fail(s);
    }
    // A case change keeps the file: rename through the new spelling of the last component.
    const fs::path target = dst->host.parent_path() / PathFromUtf8(dst->win.parts.back());
    state_->BeforeChange(src->host.parent_path());
    state_->BeforeChange(target.parent_path());
    std::error_code ec;
    fs::rename(src->host, target, ec);
    if (ec && !src->is_dir) {
      // Another host file system: copy, then delete the source, as MoveFile does across drives.
      ec.clear();
      fs::copy_file(src->host, target, ec);
      if (!ec) fs::remove(src->host, ec);
    }
    if (ec) {
      state_->listings.erase(State::KeyOf(src->host.parent_path()));
      state_->listings.erase(State::KeyOf(target.parent_path()));
      return Fail(err::kAccessDenied);
    }
    state_->AfterChange(src->host.parent_path(), Utf8FromPath(src->host.filename()), "");
    state_->AfterChange(target.parent_path(), "", Utf8FromPath(target.filename()));
    const std::string new_key = State::KeyOf(target);
    MoveKeys(src->key, new_key);
    for (auto& r : state_->open) {
      if (r->key == src->key) {
        r->key = new_key;
        r->host = target;
      }
    }
    error_ = err::kSuccess;
    return true;
  }

  bool CopyFileTo(const std::string& from, const std::string& to, bool fail_if_exists) override {
    const std::optional<Located> src = Existing(from);
    if (!src) return false;
    if (src->is_dir) return Fail(err::kAccessDenied);
    const std::optional<Located> dst = Locate(to);
    if (!dst) return false;
    if (!dst->parent_dir) return Fail(err::kPathNotFound);
    if (dst->is_dir) return Fail(err::kAccessDenied);
    if (dst->exists && fail_if_exists) return Fail(err::kFileExists);
    if (dst->exists && dst->key == src->key) return Fail(err::kSharingViolation);
    if (dst->exists && (state_->StoredAttributes(dst->key) &
                        (attr::kReadOnly | attr::kHidden | attr::kSystem)) != 0) {
      return Fail(err::kAccessDenied);
    }
    if (const uint32_t s = state_->CheckSharing(src->key, kShareRead, kShareRead | kShareWrite);
        s != 0) {
      return Fail(s);
    }
    if (const uint32_t s = state_->CheckSharing(dst->key, kShareWrite, kShareRead | kShareWrite);
        s != 0) {
      return Fail(s);
    }
    std::error_code ec;
    const uint64_t size = fs::file_size(src->host, ec);
    if (ec) return Fail(err::kAccessDenied);
    const uint64_t fits = state_->Reserve(size);
    const fs::path dir = dst->host.parent_path();
    const std::string name = Utf8FromPath(dst->host.filename());
    state_->BeforeChange(dir);
    std::ifstream in(src->host, std::ios::binary);
    std::ofstream out(dst->host, std::ios::binary | std::ios::trunc);
    state_->AfterChange(dir, "", name);
    if (!in || !out) return Fail(err::kAccessDenied);
    std::vector<char> buffer(64 * 1024);
    uint64_t left = fits;
    while (left > 0 && in) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
      in.read(buffer.data(), static_cast<std::streamsize>(n));
      const std::streamsize got = in.gcount();
      if (got <= 0) break;
      out.write(buffer.data(), got);
      left -= static_cast<uint64_t>(got);
    }
    out.close();
    if (fits < size || !out) {
      Remove(dst->host);  // CopyFile leaves no half-written file behind
      return Fail(fits < size ? err::kDiskFull : err::kWriteFault);
    }
    fs::last_write_time(dst->host, fs::last_write_time(src->host, ec), ec);
    state_->attributes[dst->key] = state_->StoredAttributes(src->key) | attr::kArchive;
    error_ = err::kSuccess;
    return true;
  }

  std::vector<FindData> FindFiles(const std::string& pattern) override {
    std::vector<FindData> found;
    const std::optional<WinPath> win = Parse(pattern, true);
    if (!win) return found;
    // A pattern needs a name: "C:\dir\" finds nothing.
    const char last = pattern.empty() ? '\\' : pattern.back();
    if (win->parts.empty() || last == '\\' || last == '/') return Fail(err::kFileNotFound), found;
    const std::optional<Located> dir = state_->Locate(win->Parent(), &error_);
    if (!dir) return found;
    if (!dir->is_dir) return Fail(err::kPathNotFound), found;
    const std::string& mask = win->parts.back();
    const auto& shorts = state_->ShortNames(dir->host);
    for (const auto& name : State::ListNames(dir->host)) {
      const std::string short_name = State::ShortNameIn(shorts, name);
      if (!WildcardMatch(mask, name) && (short_name.empty() || !WildcardMatch(mask, short_name))) {
        continue;
      }
      const fs::path host = dir->host / PathFromUtf8(name);
      std::error_code ec;
      const bool is_dir = fs::is_directory(host, ec);
      FindData data;
      data.name = name;
      data.short_name = short_name;
      data.attributes = state_->AttributesOf(State::KeyOf(host), is_dir);
      if (!is_dir) data.size = static_cast<int64_t>(fs::file_size(host, ec));
      if (ec) data.size = 0;
      uint32_t ignored = 0;
      data.dos_time = state_->DosTimeOf(host, &ignored).value_or(0);
      found.push_back(std::move(data));
    }
    error_ = found.empty() ? err::kFileNotFound : err::kSuccess;
    return found;
  }

  std::optional<std::string> ShortPathName(const std::string& path) override {
    const std::optional<Located> at = Existing(path);
    if (!at) return std::nullopt;
    WinPath out{at->win.drive, {}};
    if (!at->win.parts.empty()) {
      const fs::path root = state_->drives.at(at->win.drive);
      fs::path dir = root;
      for (const auto& piece : at->host.lexically_relative(root)) {
        const std::string stored = state_->StoredName(dir, Utf8FromPath(piece));
        const std::string short_name = state_->ShortNameOf(dir, stored);
        out.parts.push_back(short_name.empty() ? stored : short_name);
        dir /= piece;
      }
    }
    error_ = err::kSuccess;
    return out.Text();
  }

  std::optional<std::string> FullPathName(const std::string& path) override {
    const std::optional<WinPath> win = Parse(path);
    if (!win) return std::nullopt;
    return win->Text();
  }

  std::optional<std::string> TempPath() override {
    if (!state_->temp_path) return Fail(err::kPathNotFound), std::nullopt;
    return state_->temp_path;
  }

  std::optional<std::string> CreateTempFile(const std::string& dir,
                                            const std::string& prefix) override {
    const std::optional<Located> at = Existing(dir);
    if (!at) return std::nullopt;
    if (!at->is_dir) return Fail(err::kDirectory), std::nullopt;
    std::string head = prefix.substr(0, 3);
    for (uint32_t tries = 0; tries < 0xFFFF; ++tries) {
      state_->temp_counter = state_->temp_counter % 0xFFFF + 1;
      char number[8];
      std::snprintf(number, sizeof number, "%X", static_cast<unsigned>(state_->temp_counter));
      WinPath name = at->win;
      name.parts.push_back(head + number + ".tmp");
      auto file = Open(name.Text(), FileAccess::Write, kShareNone, FileDisposition::CreateNew);
      if (file) return name.Text();
      if (error_ != err::kFileExists) return std::nullopt;
    }
    return Fail(err::kFileExists), std::nullopt;
  }

  bool MoveFileAtReboot(const std::string& from, const std::string& to) override {
    // The 9x line has no MoveFileEx at all.
    if (state_->version && state_->version->platform == PlatformId::Windows) {
      return Fail(err::kCallNotImplemented);
    }
    if (state_->refuse_moves) return Fail(state_->moves_error);
    const std::optional<WinPath> src = Parse(from);
    if (!src) return false;
    RebootMove move{src->Text(), ""};
    if (!to.empty()) {
      const std::optional<WinPath> dst = Parse(to);
      if (!dst) return false;
      move.to = dst->Text();
    }
    state_->moves.push_back(move);
    error_ = err::kSuccess;
    return true;
  }

  std::string CurrentDir() override { return state_->cwd.Text(); }

  bool SetCurrentDir(const std::string& path) override {
    const std::optional<Located> at = Existing(path);
    if (!at) return false;
    if (!at->is_dir) return Fail(err::kDirectory);
    state_->cwd = at->win;
    return true;
  }

  std::optional<DiskSpace> FreeSpace(const std::string& path) override {
    const std::optional<WinPath> win = Parse(path);
    if (!win) return std::nullopt;
    if (state_->drives.count(win->drive) == 0) return Fail(err::kPathNotFound), std::nullopt;
    DiskSpace space{2ull << 30, 8ull << 30};
    if (const auto it = state_->space.find(win->drive); it != state_->space.end()) {
      space = it->second;
    }
    if (state_->disk_budget) space.free_bytes = std::min(space.free_bytes, *state_->disk_budget);
    return space;
  }

  std::string ModuleFileName() override { return state_->module_file; }

  uint32_t LastError() const override { return error_; }

 private:
  bool Fail(uint32_t code) {
    error_ = code;
    return false;
  }

  std::optional<WinPath> Parse(const std::string& path, bool pattern = false) {
    return ParseWinPath(path, state_->cwd, pattern, &error_);
  }

  std::optional<Located> Locate(const std::string& path) { return state_->Locate(path, &error_); }

  // The path when it exists; else nullopt with kFileNotFound (kPathNotFound when its folder is
  // missing too).
  std::optional<Located> Existing(const std::string& path) {
    std::optional<Located> at = Locate(path);
    if (!at) return std::nullopt;
    if (!at->exists) {
      Fail(at->parent_dir ? err::kFileNotFound : err::kPathNotFound);
      return std::nullopt;
    }
    return at;
  }

  // Removes a host file or empty directory, keeping the listing of its folder current.
  bool Remove(const fs::path& host) {
    std::error_code ec;
    state_->BeforeChange(host.parent_path());
    const bool removed = fs::remove(host, ec);
    state_->AfterChange(host.parent_path(), Utf8FromPath(host.filename()), "");
    return removed;
  }

  // Attributes (of the entry and, for a directory, everything below it) follow a rename.
  void MoveKeys(const std::string& from, const std::string& to) {
    std::map<std::string, uint32_t> moved;
    auto& attrs = state_->attributes;
    for (auto it = attrs.begin(); it != attrs.end();) {
      if (it->first == from || it->first.starts_with(from + "/")) {
        moved[to + it->first.substr(from.size())] = it->second;
        it = attrs.erase(it);
      } else {
        ++it;
      }
    }
    for (auto& [k, v] : moved) attrs[k] = v;
  }

  std::shared_ptr<State> state_;
  uint32_t error_ = err::kSuccess;
};

}  // namespace

uint64_t State::Reserve(uint64_t bytes) {
  if (!disk_budget) return bytes;
  const uint64_t fits = std::min(bytes, *disk_budget);
  *disk_budget -= fits;
  return fits;
}

std::optional<uint32_t> State::DosTimeOf(const fs::path& host, uint32_t* error) const {
  std::error_code ec;
  const fs::file_time_type stamp = fs::last_write_time(host, ec);
  if (ec) {
    *error = err::kFileNotFound;
    return std::nullopt;
  }
  const auto utc = std::chrono::floor<seconds>(std::chrono::file_clock::to_sys(stamp));
  const auto local = utc - std::chrono::minutes(utc_bias);
  const auto day = std::chrono::floor<std::chrono::days>(local);
  const std::chrono::year_month_day ymd(day);
  const std::chrono::hh_mm_ss<seconds> tod(local - day);
  CivilTime t;
  t.year = static_cast<int>(ymd.year());
  t.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  t.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  t.hour = static_cast<int>(tod.hours().count());
  t.minute = static_cast<int>(tod.minutes().count());
  t.second = static_cast<int>(tod.seconds().count());
  const std::optional<uint32_t> dos = EncodeDosDateTime(t);
  if (!dos) *error = err::kInvalidParameter;  // outside 1980..2107
  return dos;
}

bool State::SetDosTimeOf(const fs::path& host, uint32_t dos, uint32_t* error) const {
  const std::optional<CivilTime> t = DecodeDosDateTime(dos);
  if (!t) {
    *error = err::kInvalidParameter;
    return false;
  }
  const std::chrono::year_month_day ymd{std::chrono::year(t->year),
                                        std::chrono::month(static_cast<unsigned>(t->month)),
                                        std::chrono::day(static_cast<unsigned>(t->day))};
  const auto local = std::chrono::sys_days(ymd) + std::chrono::hours(t->hour) +
                     std::chrono::minutes(t->minute) + seconds(t->second);
  const auto utc = local + std::chrono::minutes(utc_bias);
  std::error_code ec;
  fs::last_write_time(host, std::chrono::file_clock::from_sys(utc), ec);
  if (ec) {
    *error = err::kAccessDenied;
    return false;
  }
  return true;
}

std::unique_ptr<IFileSystem> MakeFileSystem(std::shared_ptr<State> state) {
  return std::make_unique<MemoryFileSystem>(std::move(state));
}

}  // namespace tmby::platform::memory
