// Shell links on the real API: the shell's link object (IShellLinkW) saved and loaded through its
// IPersistFile interface.
#include <objbase.h>
#include <objidl.h>
#include <shlguid.h>
#include <shlobj.h>

#include <string>

#include "platform/win32/win32_internal.h"

namespace tmby::platform::win32 {

namespace {

// COM for the calling thread for as long as one call needs it. The program may have initialised
// it already (then this only counts once more); a thread set up for another apartment model keeps
// its own, which serves the link object as well.
class ComScope {
 public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  HRESULT Result() const { return result_ == RPC_E_CHANGED_MODE ? S_OK : result_; }

 private:
  HRESULT result_;
};

// Releases a COM interface at the end of the scope.
template <typename Interface>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (p_ != nullptr) p_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  Interface* operator->() const { return p_; }
  Interface** Out() { return &p_; }
  void** OutVoid() { return reinterpret_cast<void**>(&p_); }

 private:
  Interface* p_ = nullptr;
};

// A text the link object hands back through a buffer of fixed size.
template <typename Getter>
std::string Text(Getter get, size_t capacity) {
  std::wstring buffer(capacity, L'\0');
  if (FAILED(get(buffer.data(), static_cast<int>(buffer.size())))) return std::string();
  buffer.back() = L'\0';
  return Utf8(std::wstring(buffer.c_str()));
}

// A fresh link object of the shell and its file interface.
HRESULT MakeLinkObject(ComRef<IShellLinkW>& shell_link, ComRef<IPersistFile>& file) {
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                shell_link.OutVoid());
  if (FAILED(hr)) return hr;
  return shell_link->QueryInterface(IID_IPersistFile, file.OutVoid());
}

class Win32ShellLinks : public IShellLinks {
 public:
  int32_t Save(const std::string& path, const ShellLink& link) override {
    if (int32_t checked = CheckShellLinkLengths(path, link); checked != 0) return Done(checked);
    ComScope com;
    if (FAILED(com.Result())) return Done(com.Result());
    ComRef<IShellLinkW> shell_link;
    ComRef<IPersistFile> file;
    HRESULT hr = MakeLinkObject(shell_link, file);
    if (FAILED(hr)) return Done(hr);
    const std::wstring target = WidePath(link.target);
    const std::wstring arguments = Wide(link.arguments);
    const std::wstring working = WidePath(link.working_directory);
    const std::wstring description = Wide(link.description);
    const std::wstring icon = WidePath(link.icon_path);
    // Each field has to be taken: a link that silently lost its arguments or its hot key
    // would still open, but not as the product meant it.
    for (HRESULT step :
         {shell_link->SetPath(target.c_str()), shell_link->SetArguments(arguments.c_str()),
          shell_link->SetWorkingDirectory(working.c_str()),
          shell_link->SetDescription(description.c_str()),
          shell_link->SetIconLocation(icon.c_str(), link.icon_index),
          shell_link->SetShowCmd(link.show_command), shell_link->SetHotkey(link.hot_key)}) {
      if (FAILED(step)) return Done(step);
    }
    hr = file->Save(WidePath(path).c_str(), TRUE);
    return Done(FAILED(hr) ? hr : S_OK);
  }

  std::optional<ShellLink> Load(const std::string& path) override {
    ComScope com;
    if (FAILED(com.Result())) return Fail(com.Result());
    ComRef<IShellLinkW> shell_link;
    ComRef<IPersistFile> file;
    HRESULT hr = MakeLinkObject(shell_link, file);
    if (FAILED(hr)) return Fail(hr);
    hr = file->Load(WidePath(path).c_str(), STGM_READ);
    if (FAILED(hr)) return Fail(hr);
    ShellLink link;
    link.target =
        Text([&](wchar_t* buffer,
                 int size) { return shell_link->GetPath(buffer, size, nullptr, SLGP_RAWPATH); },
             MAX_PATH);
    link.arguments =
        Text([&](wchar_t* buffer, int size) { return shell_link->GetArguments(buffer, size); },
             INFOTIPSIZE);
    link.working_directory = Text(
        [&](wchar_t* buffer, int size) { return shell_link->GetWorkingDirectory(buffer, size); },
        MAX_PATH);
    link.description =
        Text([&](wchar_t* buffer, int size) { return shell_link->GetDescription(buffer, size); },
             INFOTIPSIZE);
    link.icon_path =
        Text([&](wchar_t* buffer,
                 int size) { return shell_link->GetIconLocation(buffer, size, &link.icon_index); },
             MAX_PATH);
    shell_link->GetShowCmd(&link.show_command);
    WORD hot_key = 0;
    shell_link->GetHotkey(&hot_key);
    link.hot_key = hot_key;
    result_ = S_OK;
    return link;
  }

  int32_t LastResult() const override { return result_; }

 private:
  int32_t Done(HRESULT hr) {
    result_ = hr;
    return hr;
  }
  std::optional<ShellLink> Fail(HRESULT hr) {
    result_ = hr;
    return std::nullopt;
  }

  int32_t result_ = S_OK;
};

}  // namespace

std::unique_ptr<IShellLinks> MakeShellLinks() { return std::make_unique<Win32ShellLinks>(); }

}  // namespace tmby::platform::win32
