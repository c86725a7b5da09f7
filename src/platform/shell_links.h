// What both adapters' shell links share: the length check before a link is written, and the
// result of the last call that LastResult() reports. An adapter writes and reads the link file.
#pragma once

#include <optional>
#include <string>

#include "platform/port.h"

namespace tmby::platform {

class ShellLinksBase : public IShellLinks {
 public:
  int32_t Save(const std::string& path, const ShellLink& link) final {
    result_ = CheckShellLinkLengths(path, link);
    if (result_ == 0) result_ = Write(path, link);
    return result_;
  }

  std::optional<ShellLink> Load(const std::string& path) final {
    ShellLink link;
    result_ = Read(path, link);
    if (result_ != 0) return std::nullopt;
    return link;
  }

  int32_t LastResult() const final { return result_; }

 protected:
  // 0 once the link file holds `link`, or the failing HRESULT; no link file is left then.
  virtual int32_t Write(const std::string& path, const ShellLink& link) = 0;
  // 0 with `link` filled from the file, or the failing HRESULT.
  virtual int32_t Read(const std::string& path, ShellLink& link) = 0;

 private:
  int32_t result_ = 0;
};

}  // namespace tmby::platform
