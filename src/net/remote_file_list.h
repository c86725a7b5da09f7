// The remote file list, "filelist.lst": what a net build leaves beside the archives on the server
// and what an install downloads first to learn the size, date and version of every file it will
// fetch. An int32 count, then that many 80-byte records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tmby {

class TCustomNetInstallLocation;

inline constexpr const char* kRemoteFileListName = "filelist.lst";
inline constexpr size_t kRemoteFileRecordSize = 80;

struct TRemoteFileRecord {
  int32_t Size = 0;     // the member's original size
  double Date = 0;      // the member's file date (days since 1899-12-30)
  std::string Name;     // the install file's component name, at most 39 characters
  std::string Version;  // the member's file version, at most 20 characters
};

// Reads a list. A file shorter than its count, or than the records the count announces, raises
// IEInstall "Cannot read the remote list of files: %s" with the path.
std::vector<TRemoteFileRecord> ReadRemoteFileList(const std::string& path);
// Writes a list, replacing the file; longer names and versions are cut to their fields. Returns
// false when the file cannot be written completely.
bool WriteRemoteFileList(const std::string& path, const std::vector<TRemoteFileRecord>& records);
// Downloads "filelist.lst" from `location` into a fresh temporary file and reads it; the
// temporary file is deleted afterwards, also after a failure.
std::vector<TRemoteFileRecord> FetchRemoteFileList(TCustomNetInstallLocation& location);

}  // namespace tmby
