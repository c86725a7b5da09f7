#include "net/remote_file_list.h"

#include <algorithm>
#include <array>
#include <memory>

#include "archive/archive_io.h"
#include "base/exceptions.h"
#include "net/net_location.h"
#include "platform/port.h"
#include "system/system_dirs.h"

namespace tmby {

namespace {

constexpr size_t kNameField = 40;
constexpr size_t kVersionField = 20;

[[noreturn]] void Unreadable(const std::string& path) {
  throw IEInstall("Cannot read the remote list of files: %s", {path});
}

// The text of a fixed field: up to its first NUL, or the whole field.
std::string FieldText(const uint8_t* at, size_t size) {
  const auto* end = std::find(at, at + size, uint8_t{0});
  return std::string(reinterpret_cast<const char*>(at), static_cast<size_t>(end - at));
}

void PutField(uint8_t* at, size_t size, const std::string& text) {
  std::copy_n(text.data(), std::min(text.size(), size), at);
}

}  // namespace

std::vector<TRemoteFileRecord> ReadRemoteFileList(const std::string& path) {
  platform::IFileSystem& files = platform::Port().Files();
  const std::unique_ptr<platform::IFile> in =
      files.Open(path, platform::FileAccess::Read, platform::kShareRead,
                 platform::FileDisposition::OpenExisting);
  if (!in) Unreadable(path);
  uint8_t head[4];
  if (ReadFully(*in, head, sizeof head) != sizeof head) Unreadable(path);
  const int32_t count = GetInt32(head);
  // A count the file cannot hold is a damaged list; refusing it before reading keeps a hostile
  // count from sizing the table.
  const int64_t size = in->Size().value_or(0);
  if (count < 0 ||
      static_cast<int64_t>(count) * static_cast<int64_t>(kRemoteFileRecordSize) > size - 4) {
    Unreadable(path);
  }
  std::vector<TRemoteFileRecord> records;
  records.reserve(static_cast<size_t>(count));
  std::array<uint8_t, kRemoteFileRecordSize> raw;
  for (int32_t i = 0; i < count; ++i) {
    if (ReadFully(*in, raw.data(), raw.size()) != raw.size()) Unreadable(path);
    TRemoteFileRecord record;
    record.Size = GetInt32(raw.data());
    record.Date = GetFloat64(raw.data() + 8);
    record.Name = FieldText(raw.data() + 16, kNameField);
    record.Version = FieldText(raw.data() + 56, kVersionField);
    records.push_back(std::move(record));
  }
  return records;
}

bool WriteRemoteFileList(const std::string& path, const std::vector<TRemoteFileRecord>& records) {
  std::vector<uint8_t> bytes(4 + records.size() * kRemoteFileRecordSize, 0);
  PutInt32(bytes.data(), static_cast<int32_t>(records.size()));
  uint8_t* at = bytes.data() + 4;
  for (const TRemoteFileRecord& record : records) {
    PutInt32(at, record.Size);
    PutFloat64(at + 8, record.Date);
    // The name keeps its terminating NUL; the version needs one only when it is shorter.
    PutField(at + 16, kNameField - 1, record.Name);
    PutField(at + 56, kVersionField, record.Version);
    at += kRemoteFileRecordSize;
  }
  const std::unique_ptr<platform::IFile> out =
      platform::Port().Files().Open(path, platform::FileAccess::Write, platform::kShareNone,
                                    platform::FileDisposition::CreateAlways);
  return out && out->Write(bytes.data(), bytes.size());
}

std::vector<TRemoteFileRecord> FetchRemoteFileList(TCustomNetInstallLocation& location) {
  const std::string temp = GetTempFile(true);
  try {
    location.Download(kRemoteFileListName, temp);
    std::vector<TRemoteFileRecord> records = ReadRemoteFileList(temp);
    platform::Port().Files().RemoveFile(temp);
    return records;
  } catch (...) {
    platform::Port().Files().RemoveFile(temp);
    throw;
  }
}

}  // namespace tmby
