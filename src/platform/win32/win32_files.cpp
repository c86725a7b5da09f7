// Files and directories through kernel32, in the adapter's character set. Only calls that Windows
// 95 to XP all have are used (SetFilePointer rather than SetFilePointerEx, GetFileSize rather than
// GetFileSizeEx); the few that the first Windows 95 lacks are looked up when needed.
#include <algorithm>
#include <vector>

#include "platform/win32/win32_internal.h"

namespace tmby::platform::win32 {

namespace {

uint32_t LastCode() { return static_cast<uint32_t>(GetLastError()); }

std::optional<uint32_t> DosFromFileTime(const FILETIME& utc, uint32_t* error) {
  FILETIME local;
  WORD date = 0;
  WORD time = 0;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToDosDateTime(&local, &date, &time)) {
    *error = LastCode();
    return std::nullopt;
  }
  return (static_cast<uint32_t>(date) << 16) | time;
}

bool FileTimeFromDos(uint32_t dos, FILETIME* utc, uint32_t* error) {
  FILETIME local;
  if (!DosDateTimeToFileTime(static_cast<WORD>(dos >> 16), static_cast<WORD>(dos & 0xFFFF),
                             &local) ||
      !LocalFileTimeToFileTime(&local, utc)) {
    *error = LastCode();
    return false;
  }
  return true;
}

class Win32File : public IFile {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}
  ~Win32File() override { CloseHandle(handle_); }
  Win32File(const Win32File&) = delete;
  Win32File& operator=(const Win32File&) = delete;

  bool Read(void* buffer, size_t size, size_t* done) override {
    *done = 0;
    auto* out = static_cast<char*>(buffer);
    while (size > 0) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
      DWORD got = 0;
      if (!ReadFile(handle_, out, chunk, &got, nullptr)) return Fail();
      *done += got;
      if (got < chunk) break;
      out += got;
      size -= got;
    }
    return true;
  }

  bool Write(const void* buffer, size_t size) override {
    const auto* in = static_cast<const char*>(buffer);
    while (size > 0) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
      DWORD put = 0;
      if (!WriteFile(handle_, in, chunk, &put, nullptr)) return Fail();
      if (put < chunk) {
        error_ = ERROR_DISK_FULL;  // a short write without an error: the disk ran out
        return false;
      }
      in += put;
      size -= put;
    }
    return true;
  }

  bool Seek(int64_t offset, SeekOrigin origin, int64_t* position) override {
    LONG high = static_cast<LONG>(offset >> 32);
    const DWORD method = origin == SeekOrigin::Begin     ? FILE_BEGIN
                         : origin == SeekOrigin::Current ? FILE_CURRENT
                                                         : FILE_END;
    SetLastError(ERROR_SUCCESS);
    const DWORD low =
        SetFilePointer(handle_, static_cast<LONG>(offset & 0xFFFFFFFF), &high, method);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS) return Fail();
    if (position != nullptr) *position = (static_cast<int64_t>(high) << 32) | low;
    return true;
  }

  std::optional<int64_t> Size() override {
    DWORD high = 0;
    SetLastError(ERROR_SUCCESS);
    const DWORD low = GetFileSize(handle_, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) {
      Fail();
      return std::nullopt;
    }
    return (static_cast<int64_t>(high) << 32) | low;
  }

  bool SetEnd() override { return SetEndOfFile(handle_) ? true : Fail(); }
  bool Flush() override { return FlushFileBuffers(handle_) ? true : Fail(); }

  std::optional<uint32_t> GetDosTime() override {
    FILETIME written;
    if (!GetFileTime(handle_, nullptr, nullptr, &written)) {
      Fail();
      return std::nullopt;
    }
    return DosFromFileTime(written, &error_);
  }

  bool SetDosTime(uint32_t dos_time) override {
    FILETIME utc;
    if (!FileTimeFromDos(dos_time, &utc, &error_)) return false;
    return SetFileTime(handle_, nullptr, nullptr, &utc) ? true : Fail();
  }

  uint32_t LastError() const override { return error_; }

 private:
  bool Fail() {
    error_ = LastCode();
    return false;
  }

  HANDLE handle_;
  uint32_t error_ = ERROR_SUCCESS;
};

// A search handle, closed on every way out.
struct FindHandle {
  HANDLE handle = INVALID_HANDLE_VALUE;
  FindHandle() = default;
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  ~FindHandle() {
    if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
  }
};

// Attributes, size and last write of one file or folder found by name.
struct Entry {
  DWORD attributes = 0;
  int64_t size = 0;
  FILETIME written{};
};

class Win32FileSystem : public IFileSystem {
 public:
  explicit Win32FileSystem(ApiCharset charset) : text_(charset) {}

  std::unique_ptr<IFile> Open(const std::string& path, FileAccess access, uint32_t share,
                              FileDisposition disposition) override {
    DWORD rights = 0;
    if (access == FileAccess::Read || access == FileAccess::ReadWrite) rights |= GENERIC_READ;
    if (access == FileAccess::Write || access == FileAccess::ReadWrite) rights |= GENERIC_WRITE;
    // The port's share bits and dispositions have the values of the API's.
    const HANDLE h = text_.WithPaths(
        INVALID_HANDLE_VALUE,
        [&](const auto& p) {
          return CreateFileT(p.c_str(), rights, Sharing(share), static_cast<DWORD>(disposition),
                             FILE_ATTRIBUTE_NORMAL);
        },
        path);
    if (h == INVALID_HANDLE_VALUE) {
      Fail();
      return nullptr;
    }
    error_ = ERROR_SUCCESS;
    return std::make_unique<Win32File>(h);
  }

  bool FileExists(const std::string& path) override {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  bool DirectoryExists(const std::string& path) override {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  std::optional<uint32_t> GetAttributes(const std::string& path) override {
    const DWORD a = Attributes(path);
    if (a == INVALID_FILE_ATTRIBUTES) {
      Fail();
      return std::nullopt;
    }
    return a;
  }

  bool SetAttributes(const std::string& path, uint32_t attributes) override {
    return text_.WithPaths(
               FALSE, [&](const auto& p) { return SetFileAttributesT(p.c_str(), attributes); },
               path)
               ? Succeed()
               : Fail();
  }

  std::optional<int64_t> FileSize(const std::string& path) override {
    const std::optional<Entry> entry = Find(path);
    if (!entry) return std::nullopt;
    if (entry->attributes & FILE_ATTRIBUTE_DIRECTORY) {
      error_ = ERROR_ACCESS_DENIED;
      return std::nullopt;
    }
    return entry->size;
  }

  std::optional<uint32_t> GetDosTime(const std::string& path) override {
    const std::optional<Entry> entry = Find(path);
    if (!entry) return std::nullopt;
    return DosFromFileTime(entry->written, &error_);
  }

  bool SetDosTime(const std::string& path, uint32_t dos_time) override {
    FILETIME utc;
    if (!FileTimeFromDos(dos_time, &utc, &error_)) return false;
    return text_.Ansi() ? SetDosTimeNineX(path, utc) : SetDosTimeNT(path, utc);
  }

  bool CreateDirectories(const std::string& path) override {
    const std::optional<std::string> full = FullPathName(path);
    if (!full) return false;
    // Usually the folder is there already (an install asks once per file): one look at its
    // attributes then answers where creating every step would call into the system per step.
    const DWORD existing = Attributes(*full);
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return Succeed();
    }
    for (size_t pos = RootLength(*full); pos < full->size();) {
      const size_t next = full->find('\\', pos);
      const std::string step = full->substr(0, next);
      const bool made = text_.With(
          FALSE, [](const auto& p) { return CreateDirectoryT(p.c_str()); }, step);
      if (!made) {
        const DWORD code = GetLastError();
        const DWORD a = Attributes(step);
        if (a == INVALID_FILE_ATTRIBUTES) {
          error_ = code;
          return false;
        }
        if ((a & FILE_ATTRIBUTE_DIRECTORY) == 0) {
          error_ = ERROR_ALREADY_EXISTS;  // a file stands in the way
          return false;
        }
      }
      if (next == std::string::npos) break;
      pos = next + 1;
    }
    const DWORD a = Attributes(*full);
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      error_ = ERROR_PATH_NOT_FOUND;
      return false;
    }
    return Succeed();
  }

  bool RemoveDir(const std::string& path) override {
    return text_.WithPaths(
               FALSE, [](const auto& p) { return RemoveDirectoryT(p.c_str()); }, path)
               ? Succeed()
               : Fail();
  }

  bool RemoveFile(const std::string& path) override {
    return text_.WithPaths(
               FALSE, [](const auto& p) { return DeleteFileT(p.c_str()); }, path)
               ? Succeed()
               : Fail();
  }

  bool RenameFile(const std::string& from, const std::string& to) override {
    return text_.WithPaths(
               FALSE, [](const auto& a, const auto& b) { return MoveFileT(a.c_str(), b.c_str()); },
               from, to)
               ? Succeed()
               : Fail();
  }

  bool CopyFileTo(const std::string& from, const std::string& to, bool fail_if_exists) override {
    return text_.WithPaths(
               FALSE,
               [&](const auto& a, const auto& b) {
                 return CopyFileT(a.c_str(), b.c_str(), fail_if_exists ? TRUE : FALSE);
               },
               from, to)
               ? Succeed()
               : Fail();
  }

  std::vector<FindData> FindFiles(const std::string& pattern) override {
    std::vector<FindData> found;
    const bool searched = text_.WithPaths(
        false,
        [&](const auto& p) {
          typename ApiTypes<CharOf<decltype(p)>>::FindData data;
          FindHandle search;
          search.handle = FindFirstFileT(p.c_str(), &data);
          if (search.handle == INVALID_HANDLE_VALUE) return false;
          do {
            const std::string name = FromApiBuffer(data.cFileName);
            if (name == "." || name == "..") continue;
            FindData item;
            item.name = name;
            item.short_name = FromApiBuffer(data.cAlternateFileName);
            item.attributes = data.dwFileAttributes;
            item.size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            uint32_t ignored = 0;
            item.dos_time = DosFromFileTime(data.ftLastWriteTime, &ignored).value_or(0);
            found.push_back(std::move(item));
          } while (FindNextFileT(search.handle, &data));
          return true;
        },
        pattern);
    if (!searched) {
      Fail();
      return found;
    }
    error_ = found.empty() ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
    return found;
  }

  std::optional<std::string> ShortPathName(const std::string& path) override {
    return Result(text_.WithPaths(
        std::optional<std::string>(),
        [](const auto& p) {
          return QueryText<CharOf<decltype(p)>>(
              [&](auto* buffer, DWORD size) { return GetShortPathNameT(p.c_str(), buffer, size); });
        },
        path));
  }

  std::optional<std::string> FullPathName(const std::string& path) override {
    return Result(text_.WithPaths(
        std::optional<std::string>(),
        [](const auto& p) {
          return QueryText<CharOf<decltype(p)>>(
              [&](auto* buffer, DWORD size) { return GetFullPathNameT(p.c_str(), size, buffer); });
        },
        path));
  }

  std::optional<std::string> TempPath() override {
    std::optional<std::string> text =
        Result(text_.Query([](auto* buffer, DWORD size) { return GetTempPathT(size, buffer); }));
    if (!text) return std::nullopt;
    if (text->empty() || text->back() != '\\') *text += '\\';
    return text;
  }

  std::optional<std::string> CreateTempFile(const std::string& dir,
                                            const std::string& prefix) override {
    return Result(text_.With(
        std::optional<std::string>(),
        [](const auto& d, const auto& p) -> std::optional<std::string> {
          CharOf<decltype(d)> buffer[MAX_PATH + 1] = {};
          if (GetTempFileNameT(d.c_str(), p.c_str(), buffer) == 0) return std::nullopt;
          return FromApiBuffer(buffer);
        },
        Backslashes(dir), prefix));
  }

  bool MoveFileAtReboot(const std::string& from, const std::string& to) override {
    if (text_.Ansi()) {
      // Windows 95, 98 and ME have no MoveFileEx; they replace files through WININIT.INI.
      error_ = ERROR_CALL_NOT_IMPLEMENTED;
      return false;
    }
    const std::wstring source = WidePath(from);
    const std::wstring target = WidePath(to);
    const DWORD flags = MOVEFILE_DELAY_UNTIL_REBOOT | (to.empty() ? 0 : MOVEFILE_REPLACE_EXISTING);
    return MoveFileExW(source.c_str(), to.empty() ? nullptr : target.c_str(), flags) ? Succeed()
                                                                                     : Fail();
  }

  std::string CurrentDir() override {
    return text_.Query([](auto* buffer, DWORD size) { return GetCurrentDirectoryT(size, buffer); })
        .value_or(std::string());
  }

  bool SetCurrentDir(const std::string& path) override {
    return text_.WithPaths(
               FALSE, [](const auto& p) { return SetCurrentDirectoryT(p.c_str()); }, path)
               ? Succeed()
               : Fail();
  }

  std::optional<DiskSpace> FreeSpace(const std::string& path) override {
    const std::optional<std::string> full = FullPathName(path);
    if (!full) return std::nullopt;
    std::string root = full->substr(0, RootLength(*full));
    if (root.empty() || root.back() != '\\') root += '\\';
    return text_.Ansi() ? FreeSpaceNineX(root) : FreeSpaceNT(root);
  }

  std::string ModuleFileName() override {
    return text_
        .Query([](auto* buffer, DWORD size) {
          const DWORD n = GetModuleFileNameT(buffer, size);
          return n >= size ? size * 2 : n;  // a cut name fills the buffer exactly
        })
        .value_or(std::string());
  }

  uint32_t LastError() const override { return error_; }

 private:
  bool Fail() {
    error_ = LastCode();
    return false;
  }
  bool Succeed() {
    error_ = ERROR_SUCCESS;
    return true;
  }
  // A query's result, with the failure's code kept.
  std::optional<std::string> Result(std::optional<std::string> result) {
    if (result) {
      error_ = ERROR_SUCCESS;
    } else {
      Fail();
    }
    return result;
  }

  // Windows 9x refuses FILE_SHARE_DELETE (ERROR_INVALID_PARAMETER): it has no delete sharing.
  DWORD Sharing(uint32_t share) const {
    return share & (text_.Ansi() ? kShareRead | kShareWrite : kShareAll);
  }

  DWORD Attributes(const std::string& path) {
    return text_.WithPaths(
        INVALID_FILE_ATTRIBUTES, [](const auto& p) { return GetFileAttributesT(p.c_str()); }, path);
  }

  // GetFileAttributesEx came with Windows 98 and NT 4; the ANSI path asks the directory instead,
  // which every Windows can. A wildcard would find another file.
  std::optional<Entry> Find(const std::string& path) {
    if (!text_.Ansi()) {
      WIN32_FILE_ATTRIBUTE_DATA data;
      if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data)) {
        Fail();
        return std::nullopt;
      }
      return Entry{data.dwFileAttributes,
                   (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                   data.ftLastWriteTime};
    }
    if (path.find_first_of("*?") != std::string::npos) {
      error_ = ERROR_INVALID_NAME;
      return std::nullopt;
    }
    const std::optional<std::string> name = AnsiName(Backslashes(path));
    if (!name) {
      Fail();
      return std::nullopt;
    }
    WIN32_FIND_DATAA data;
    FindHandle search;
    search.handle = FindFirstFileA(name->c_str(), &data);
    if (search.handle == INVALID_HANDLE_VALUE) {
      Fail();
      return std::nullopt;
    }
    return Entry{data.dwFileAttributes,
                 (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                 data.ftLastWriteTime};
  }

  bool SetDosTimeNT(const std::string& path, const FILETIME& utc) {
    // Attribute access is not subject to sharing, and works on read-only files and folders.
    const HANDLE h = CreateFileW(WidePath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Fail();
    const bool ok = SetFileTime(h, nullptr, nullptr, &utc) != 0;
    if (!ok) Fail();
    CloseHandle(h);
    return ok ? Succeed() : false;
  }

  // Windows 9x sets a time only through a handle open for writing, which it neither grants on a
  // read-only file nor opens on a folder: the read-only mark is lifted for the moment.
  bool SetDosTimeNineX(const std::string& path, const FILETIME& utc) {
    const std::optional<std::string> name = AnsiName(Backslashes(path));
    if (!name) return Fail();
    const DWORD attributes = GetFileAttributesA(name->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Fail();
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      error_ = ERROR_ACCESS_DENIED;
      return false;
    }
    const bool read_only = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (read_only && !SetFileAttributesA(name->c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
      return Fail();
    }
    bool ok = false;
    const HANDLE h = CreateFileA(name->c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      Fail();
    } else {
      ok = SetFileTime(h, nullptr, nullptr, &utc) != 0;
      if (!ok) Fail();
      CloseHandle(h);
    }
    if (read_only) SetFileAttributesA(name->c_str(), attributes);
    return ok ? Succeed() : false;
  }

  std::optional<DiskSpace> FreeSpaceNT(const std::string& root) {
    ULARGE_INTEGER available, total, free_total;
    if (!GetDiskFreeSpaceExW(Wide(root).c_str(), &available, &total, &free_total)) {
      Fail();
      return std::nullopt;
    }
    error_ = ERROR_SUCCESS;
    return DiskSpace{available.QuadPart, total.QuadPart};
  }

  // GetDiskFreeSpaceEx came with Windows 95 OSR2; the first Windows 95 only counts clusters (and
  // never more than 2 GB).
  std::optional<DiskSpace> FreeSpaceNineX(const std::string& root) {
    const std::optional<std::string> name = AnsiName(root);
    if (!name) {
      Fail();
      return std::nullopt;
    }
    using FreeSpaceEx = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    const auto ex = reinterpret_cast<FreeSpaceEx>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA")));
    if (ex != nullptr) {
      ULARGE_INTEGER available, total, free_total;
      if (!ex(name->c_str(), &available, &total, &free_total)) {
        Fail();
        return std::nullopt;
      }
      error_ = ERROR_SUCCESS;
      return DiskSpace{available.QuadPart, total.QuadPart};
    }
    DWORD sectors = 0, bytes = 0, free_clusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceA(name->c_str(), &sectors, &bytes, &free_clusters, &clusters)) {
      Fail();
      return std::nullopt;
    }
    error_ = ERROR_SUCCESS;
    const uint64_t cluster = static_cast<uint64_t>(sectors) * bytes;
    return DiskSpace{cluster * free_clusters, cluster * clusters};
  }

  // Length of the root of a full path with its backslash: 3 for "C:\", up to the backslash
  // after the share for "\\server\share\".
  static size_t RootLength(const std::string& full) {
    if (full.size() >= 2 && full[0] == '\\' && full[1] == '\\') {
      size_t pos = full.find('\\', 2);
      if (pos != std::string::npos) pos = full.find('\\', pos + 1);
      return pos == std::string::npos ? full.size() : pos + 1;
    }
    return std::min<size_t>(3, full.size());
  }

  TextApi text_;
  uint32_t error_ = ERROR_SUCCESS;
};

}  // namespace

std::unique_ptr<IFileSystem> MakeFileSystem(ApiCharset charset) {
  return std::make_unique<Win32FileSystem>(charset);
}

}  // namespace tmby::platform::win32
