// Shell links on the real API: the shell's link object saved and loaded through its IPersistFile
// interface. The link object is asked for in the adapter's character set: IShellLinkA on the ANSI
// path, since the shell of Windows 95, 98 and ME has no IShellLinkW, and IShellLinkW otherwise.
// IPersistFile names its file in UTF-16 on every Windows.
#include <objbase.h>
#include <objidl.h>
#include <shlguid.h>
#include <shlobj.h>

#include <string>

#include "platform/shell_links.h"
#include "platform/win32/win32_com.h"
#include "platform/win32/win32_internal.h"

namespace tmby::platform::win32 {

namespace {

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

// The link object's interface for a character type of the API.
template <typename C>
struct LinkInterface;
template <>
struct LinkInterface<char> {
  using Type = IShellLinkA;
  static const IID& Id() { return IID_IShellLinkA; }
};
template <>
struct LinkInterface<wchar_t> {
  using Type = IShellLinkW;
  static const IID& Id() { return IID_IShellLinkW; }
};
template <typename C>
using LinkOf = typename LinkInterface<C>::Type;

// What a text the code page cannot hold comes to: the thread's last error as the API's result.
const HRESULT kUntranslatable = HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION);

// A text the link object hands back through a buffer of fixed size, given in characters. A
// double-byte code page may take two bytes for each of them.
template <typename C, typename Getter>
std::string Text(Getter get, size_t characters) {
  std::basic_string<C> buffer(characters * (sizeof(C) == 1 ? 2 : 1), C(0));
  if (FAILED(get(buffer.data(), static_cast<int>(buffer.size())))) return std::string();
  buffer.back() = C(0);
  return FromApi(std::basic_string<C>(buffer.c_str()));
}

// A fresh link object of the shell and its file interface.
template <typename C>
HRESULT MakeLinkObject(ComRef<LinkOf<C>>& shell_link, ComRef<IPersistFile>& file) {
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                LinkInterface<C>::Id(), shell_link.OutVoid());
  if (FAILED(hr)) return hr;
  return shell_link->QueryInterface(IID_IPersistFile, file.OutVoid());
}

template <typename C>
HRESULT SaveLink(const std::string& path, const ShellLink& link, const std::basic_string<C>& target,
                 const std::basic_string<C>& arguments, const std::basic_string<C>& working,
                 const std::basic_string<C>& icon, const std::basic_string<C>& description) {
  ComRef<LinkOf<C>> shell_link;
  ComRef<IPersistFile> file;
  HRESULT hr = MakeLinkObject<C>(shell_link, file);
  if (FAILED(hr)) return hr;
  // Each field has to be taken: a link that silently lost its arguments or its hot key
  // would still open, but not as the product meant it.
  for (HRESULT step :
       {shell_link->SetPath(target.c_str()), shell_link->SetArguments(arguments.c_str()),
        shell_link->SetWorkingDirectory(working.c_str()),
        shell_link->SetDescription(description.c_str()),
        shell_link->SetIconLocation(icon.c_str(), link.icon_index),
        shell_link->SetShowCmd(link.show_command), shell_link->SetHotkey(link.hot_key)}) {
    if (FAILED(step)) return step;
  }
  hr = file->Save(WidePath(path).c_str(), TRUE);
  return FAILED(hr) ? hr : S_OK;
}

template <typename C>
HRESULT LoadLink(const std::string& path, ShellLink& link) {
  ComRef<LinkOf<C>> shell_link;
  ComRef<IPersistFile> file;
  HRESULT hr = MakeLinkObject<C>(shell_link, file);
  if (FAILED(hr)) return hr;
  hr = file->Load(WidePath(path).c_str(), STGM_READ);
  if (FAILED(hr)) return hr;
  link.target = Text<C>(
      [&](C* buffer, int size) { return shell_link->GetPath(buffer, size, nullptr, SLGP_RAWPATH); },
      MAX_PATH);
  link.arguments = Text<C>(
      [&](C* buffer, int size) { return shell_link->GetArguments(buffer, size); }, INFOTIPSIZE);
  link.working_directory = Text<C>(
      [&](C* buffer, int size) { return shell_link->GetWorkingDirectory(buffer, size); }, MAX_PATH);
  link.description = Text<C>(
      [&](C* buffer, int size) { return shell_link->GetDescription(buffer, size); }, INFOTIPSIZE);
  link.icon_path =
      Text<C>([&](C* buffer,
                  int size) { return shell_link->GetIconLocation(buffer, size, &link.icon_index); },
              MAX_PATH);
  shell_link->GetShowCmd(&link.show_command);
  WORD hot_key = 0;
  shell_link->GetHotkey(&hot_key);
  link.hot_key = hot_key;
  return S_OK;
}

class Win32ShellLinks : public ShellLinksBase {
 public:
  explicit Win32ShellLinks(ApiCharset charset) : text_(charset) {}

  int32_t Write(const std::string& path, const ShellLink& link) override {
    ComScope com;
    if (FAILED(com.Result())) return com.Result();
    // The paths and the arguments (which may name files) must fit the code page on the ANSI
    // path, the link file's own name as well: the shell of Windows 9x turns it into one. The
    // description is only shown.
    return text_.With(
        kUntranslatable,
        [&](const auto&, const auto& target, const auto& arguments, const auto& working,
            const auto& icon) {
          using C = CharOf<decltype(target)>;
          std::basic_string<C> description;
          if constexpr (sizeof(C) == 1) {
            description = AnsiText(link.description);
          } else {
            description = Wide(link.description);
          }
          return SaveLink<C>(path, link, target, arguments, working, icon, description);
        },
        Backslashes(path), Backslashes(link.target), link.arguments,
        Backslashes(link.working_directory), Backslashes(link.icon_path));
  }

  int32_t Read(const std::string& path, ShellLink& link) override {
    ComScope com;
    if (FAILED(com.Result())) return com.Result();
    const HRESULT hr = text_.With(
        kUntranslatable,
        [&](const auto& name) { return LoadLink<CharOf<decltype(name)>>(path, link); },
        Backslashes(path));
    return FAILED(hr) ? hr : S_OK;
  }

 private:
  TextApi text_;
};

}  // namespace

std::unique_ptr<IShellLinks> MakeShellLinks(ApiCharset charset) {
  return std::make_unique<Win32ShellLinks>(charset);
}

}  // namespace tmby::platform::win32
