// The objects that travel with notifications and information events: a plain list, and the
// parameter objects of file progress, download progress, disk requests and status texts. The
// sender creates them around one report and frees them afterwards; receivers only read them
// (a new-disk handler may change the disk path).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "base/component.h"

namespace tmby {

// A non-owning list of objects ("the file and its parameter").
class TList : public TPersistent {
  TMBY_CLASS(TList, TPersistent)
 public:
  TList() = default;
  TList(std::initializer_list<TPersistent*> items) : items_(items) {}
  int Count() const { return static_cast<int>(items_.size()); }
  // Null for an index outside the list.
  TPersistent* Items(int index) const;
  void Add(TPersistent* item) { items_.push_back(item); }

 private:
  std::vector<TPersistent*> items_;
};

class TFileStatusParameter : public TPersistent {
  TMBY_CLASS(TFileStatusParameter, TPersistent)
 public:
  int32_t BytesDone = 0;        // bytes of the current file so far
  int32_t FilePercentDone = 0;  // 0 to 100
  std::string FileName;
  TlzhFileStats FileStats;     // the archive engine's record for the member
  int32_t TotalBytesDone = 0;  // overall bytes, as the last sender computed them
  int32_t TotalPercentDone = 0;
};

class TDownloadStatusParameter : public TPersistent {
  TMBY_CLASS(TDownloadStatusParameter, TPersistent)
 public:
  int32_t Bytes = 0;  // the block just received
  std::string FileName;
  int32_t FileSize = 0;    // the whole file
  int32_t TotalBytes = 0;  // received so far
  int32_t PercentDone = 0;
};

class TDiskParameter : public TPersistent {
  TMBY_CLASS(TDiskParameter, TPersistent)
 public:
  int32_t DiskNumber = 0;
  std::string Path;  // where the archive is expected; a new-disk handler may change it
};

class TMessageParameter : public TPersistent {
  TMBY_CLASS(TMessageParameter, TPersistent)
 public:
  std::string Text;
};

// part x 100 / whole rounded to the nearest integer, halves to even; 0 when whole is 0. Held
// within the 32-bit range.
int32_t PercentOf(int64_t part, int64_t whole);

}  // namespace tmby
