// Inside the Windows adapter: COM and OLE for the calling thread.
#pragma once

#include <ole2.h>
#include <windows.h>

namespace tmby::platform::win32 {

// COM and OLE for the calling thread for as long as one call needs them (a shell link, a server's
// registration). The program may have initialised them already (then this only counts once more);
// a thread set up for another apartment model keeps its own, which serves such a call as well.
class ComScope {
 public:
  ComScope() : result_(OleInitialize(nullptr)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) OleUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  HRESULT Result() const { return result_ == RPC_E_CHANGED_MODE ? S_OK : result_; }

 private:
  HRESULT result_;
};

}  // namespace tmby::platform::win32
