// Files and directories through kernel32's wide-character functions. Only calls that Windows 95
// to XP all have are used (SetFilePointer rather than SetFilePointerEx, GetFileSize rather than
// GetFileSizeEx).
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
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) return Fail(), std::nullopt;
    return (static_cast<int64_t>(high) << 32) | low;
  }

  bool SetEnd() override { return SetEndOfFile(handle_) ? true : Fail(); }
  bool Flush() override { return FlushFileBuffers(handle_) ? true : Fail(); }

  std::optional<uint32_t> GetDosTime() override {
    FILETIME written;
    if (!GetFileTime(handle_, nullptr, nullptr, &written)) return Fail(), std::nullopt;
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

class Win32FileSystem : public IFileSystem {
 public:
  std::unique_ptr<IFile> Open(const std::string& path, FileAccess access, uint32_t share,
                              FileDisposition disposition) override {
    DWORD rights = 0;
    if (access == FileAccess::Read || access == FileAccess::ReadWrite) rights |= GENERIC_READ;
    if (access == FileAccess::Write || access == FileAccess::ReadWrite) rights |= GENERIC_WRITE;
    // The port's share bits and dispositions have the values of the API's.
    const HANDLE h = CreateFileW(WidePath(path).c_str(), rights, share & kShareAll, nullptr,
                                 static_cast<DWORD>(disposition), FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Fail(), nullptr;
    error_ = ERROR_SUCCESS;
    return std::make_unique<Win32File>(h);
  }

  bool FileExists(const std::string& path) override {
    const DWORD a = GetFileAttributesW(WidePath(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  bool DirectoryExists(const std::string& path) override {
    const DWORD a = GetFileAttributesW(WidePath(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  std::optional<uint32_t> GetAttributes(const std::string& path) override {
    const DWORD a = GetFileAttributesW(WidePath(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return Fail(), std::nullopt;
    return a;
  }

  bool SetAttributes(const std::string& path, uint32_t attributes) override {
    return SetFileAttributesW(WidePath(path).c_str(), attributes) ? Succeed() : Fail();
  }

  std::optional<int64_t> FileSize(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data)) {
      return Fail(), std::nullopt;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      error_ = ERROR_ACCESS_DENIED;
      return std::nullopt;
    }
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }

  std::optional<uint32_t> GetDosTime(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data)) {
      return Fail(), std::nullopt;
    }
    return DosFromFileTime(data.ftLastWriteTime, &error_);
  }

  bool SetDosTime(const std::string& path, uint32_t dos_time) override {
    FILETIME utc;
    if (!FileTimeFromDos(dos_time, &utc, &error_)) return false;
    // Attribute access is not subject to sharing, and works on read-only files and folders.
    const HANDLE h = CreateFileW(WidePath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Fail();
    const bool ok = SetFileTime(h, nullptr, nullptr, &utc) != 0;
    if (!ok) Fail();
    CloseHandle(h);
    return ok;
  }

  bool CreateDirectories(const std::string& path) override {
    const std::optional<std::wstring> full = Full(WidePath(path));
    if (!full) return false;
    for (size_t pos = RootLength(*full); pos < full->size();) {
      const size_t next = full->find(L'\\', pos);
      const std::wstring step = full->substr(0, next);
      if (!CreateDirectoryW(step.c_str(), nullptr)) {
        const DWORD code = GetLastError();
        const DWORD a = GetFileAttributesW(step.c_str());
        if (a == INVALID_FILE_ATTRIBUTES) {
          error_ = code;
          return false;
        }
        if ((a & FILE_ATTRIBUTE_DIRECTORY) == 0) {
          error_ = ERROR_ALREADY_EXISTS;  // a file stands in the way
          return false;
        }
      }
      if (next == std::wstring::npos) break;
      pos = next + 1;
    }
    const DWORD a = GetFileAttributesW(full->c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      error_ = ERROR_PATH_NOT_FOUND;
      return false;
    }
    return Succeed();
  }

  bool RemoveDir(const std::string& path) override {
    return RemoveDirectoryW(WidePath(path).c_str()) ? Succeed() : Fail();
  }

  bool RemoveFile(const std::string& path) override {
    return DeleteFileW(WidePath(path).c_str()) ? Succeed() : Fail();
  }

  bool RenameFile(const std::string& from, const std::string& to) override {
    return MoveFileW(WidePath(from).c_str(), WidePath(to).c_str()) ? Succeed() : Fail();
  }

  bool CopyFileTo(const std::string& from, const std::string& to, bool fail_if_exists) override {
    return CopyFileW(WidePath(from).c_str(), WidePath(to).c_str(), fail_if_exists ? TRUE : FALSE)
               ? Succeed()
               : Fail();
  }

  std::vector<FindData> FindFiles(const std::string& pattern) override {
    std::vector<FindData> found;
    WIN32_FIND_DATAW data;
    const HANDLE h = FindFirstFileW(WidePath(pattern).c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return Fail(), found;
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      FindData item;
      item.name = Utf8(name);
      item.short_name = Utf8(std::wstring(data.cAlternateFileName));
      item.attributes = data.dwFileAttributes;
      item.size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      uint32_t ignored = 0;
      item.dos_time = DosFromFileTime(data.ftLastWriteTime, &ignored).value_or(0);
      found.push_back(std::move(item));
    } while (FindNextFileW(h, &data));
    FindClose(h);
    error_ = found.empty() ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
    return found;
  }

  std::optional<std::string> ShortPathName(const std::string& path) override {
    const std::wstring wide = WidePath(path);
    const auto result = QueryString(
        [&](wchar_t* buffer, DWORD size) { return GetShortPathNameW(wide.c_str(), buffer, size); });
    if (!result) return Fail(), std::nullopt;
    return Utf8(*result);
  }

  std::optional<std::string> FullPathName(const std::string& path) override {
    const std::optional<std::wstring> full = Full(WidePath(path));
    if (!full) return std::nullopt;
    return Utf8(*full);
  }

  std::optional<std::string> TempPath() override {
    const auto result =
        QueryString([](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); });
    if (!result) return Fail(), std::nullopt;
    std::string text = Utf8(*result);
    if (text.empty() || text.back() != '\\') text += '\\';
    return text;
  }

  std::optional<std::string> CreateTempFile(const std::string& dir,
                                            const std::string& prefix) override {
    wchar_t buffer[MAX_PATH + 1] = {};
    if (GetTempFileNameW(WidePath(dir).c_str(), Wide(prefix).c_str(), 0, buffer) == 0) {
      return Fail(), std::nullopt;
    }
    return Utf8(std::wstring(buffer));
  }

  bool MoveFileAtReboot(const std::string& from, const std::string& to) override {
    const std::wstring source = WidePath(from);
    const std::wstring target = WidePath(to);
    const DWORD flags = MOVEFILE_DELAY_UNTIL_REBOOT | (to.empty() ? 0 : MOVEFILE_REPLACE_EXISTING);
    return MoveFileExW(source.c_str(), to.empty() ? nullptr : target.c_str(), flags) ? Succeed()
                                                                                     : Fail();
  }

  std::string CurrentDir() override {
    const auto result =
        QueryString([](wchar_t* buffer, DWORD size) { return GetCurrentDirectoryW(size, buffer); });
    return result ? Utf8(*result) : std::string();
  }

  bool SetCurrentDir(const std::string& path) override {
    return SetCurrentDirectoryW(WidePath(path).c_str()) ? Succeed() : Fail();
  }

  std::optional<DiskSpace> FreeSpace(const std::string& path) override {
    const std::optional<std::wstring> full = Full(WidePath(path));
    if (!full) return std::nullopt;
    std::wstring root = full->substr(0, RootLength(*full));
    if (root.empty() || root.back() != L'\\') root += L'\\';
    ULARGE_INTEGER available, total, free_total;
    if (!GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free_total)) {
      return Fail(), std::nullopt;
    }
    return DiskSpace{available.QuadPart, total.QuadPart};
  }

  std::string ModuleFileName() override {
    const auto result = QueryString([](wchar_t* buffer, DWORD size) {
      const DWORD n = GetModuleFileNameW(nullptr, buffer, size);
      return n >= size ? size * 2 : n;  // a cut name fills the buffer exactly
    });
    return result ? Utf8(*result) : std::string();
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

  // Length of the root of a full path with its backslash: 3 for "C:\", up to the backslash after
  // the share for "\\server\share\".
  static size_t RootLength(const std::wstring& full) {
    if (full.size() >= 2 && full[0] == L'\\' && full[1] == L'\\') {
      size_t pos = full.find(L'\\', 2);
      if (pos != std::wstring::npos) pos = full.find(L'\\', pos + 1);
      return pos == std::wstring::npos ? full.size() : pos + 1;
    }
    return std::min<size_t>(3, full.size());
  }

  std::optional<std::wstring> Full(const std::wstring& path) {
    const auto result = QueryString([&](wchar_t* buffer, DWORD size) {
      return GetFullPathNameW(path.c_str(), size, buffer, nullptr);
    });
    if (!result) Fail();
    return result;
  }

  uint32_t error_ = ERROR_SUCCESS;
};

}  // namespace

std::unique_ptr<IFileSystem> MakeFileSystem() { return std::make_unique<Win32FileSystem>(); }

}  // namespace tmby::platform::win32
