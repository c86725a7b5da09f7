#include "model/uninstaller.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "base/component.h"
#include "base/path_text.h"
#include "model/install_container.h"
#include "platform/port.h"
#include "platform/ui_port.h"
#include "system/registry.h"
#include "system/system_dirs.h"

namespace tmby {

namespace {

using platform::RootKey;

constexpr const char* kSharedDllsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr const char* kHelpKey = "SOFTWARE\\Microsoft\\Windows\\Help";
// The writer hands an entry on to "Files1", "Files2", ... up to this bound.
constexpr int kFilesLists = 100;
// A program server gets this long to unregister itself before its file is removed.
constexpr uint32_t kServerExitWait = 60000;

// The texts the user sees; the language files carry them.
constexpr const char* kCaption = "Uninstall %s";
constexpr const char* kAsk = "Do you want to completely remove %s and all of its components?";
constexpr const char* kNotInstalled =
    "%s is not installed on this computer, or it has already been removed. Nothing was changed.";
constexpr const char* kDamaged =
    "The uninstall information of %s is damaged. Nothing was removed. %s";
constexpr const char* kRemoved = "%s was removed from your computer.";
constexpr const char* kPartly = "%s could not be removed completely. These items are left:";
constexpr const char* kAtRestart =
    "Some files are in use. They will be removed when Windows restarts.";
constexpr const char* kKept = "Shared files that other programs still use were kept.";
// Windows' own question for a shared file in its folders that no program counts any more.
constexpr const char* kSharedCaption = "Remove Shared File?";
constexpr const char* kSharedUnused =
    "The system indicates that the following shared file is no longer used by any programs:";
constexpr const char* kSharedAsk =
    "If any programs are still using this file and it is removed, those programs may not "
    "function. Do you want to remove the shared file?";

std::string Tr(const char* english, const std::vector<FmtArg>& args) {
  return FormatText(LocalizeMessage(english), args);
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string ParentOf(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string NameOf(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

bool EndsWithText(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && SameText(text.substr(text.size() - tail.size()), tail);
}

// A full local or network path to a file, with nothing in it that could lead elsewhere: "X:\..."
// or "\\server\share\...", no "." or ".." steps, no empty steps, no wildcards.
bool IsPlainFullPath(const std::string& path) {
  size_t start = 0;
  if (path.size() > 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
      path[2] == '\\') {
    start = 3;
  } else if (path.size() > 2 && path[0] == '\\' && path[1] == '\\') {
    start = 2;
  } else {
    return false;
  }
  if (FindRefusedPathCharacter(std::string_view(path).substr(start)) != std::string_view::npos) {
    return false;
  }
  size_t steps = 0;
  for (size_t at = start; at <= path.size(); ++steps) {
    size_t stop = path.find('\\', at);
    if (stop == std::string::npos) stop = path.size();
    const std::string step = path.substr(at, stop - at);
    if (step.empty() || step == "." || step == "..") return false;
    at = stop + 1;
  }
  // A network path needs a server, a share and a name.
  return start == 3 || steps >= 3;
}

// The number of a value named "File<n>", or 0 for any other name.
int EntryNumber(const std::string& name) {
  if (name.size() < 5 || name.size() > 13 || !SameText(name.substr(0, 4), "File")) return 0;
  int n = 0;
  for (char c : name.substr(4)) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  return n;
}

// The entries of one list key, by number; `servers` splits off the kind.
void ReadList(const std::string& key, bool servers, std::vector<TUninstallItem>& out) {
  platform::IRegistry& reg = platform::Port().Registry();
  const auto names = reg.EnumValues(RootKey::LocalMachine, key);
  if (!names) return;
  std::map<int, std::string> numbered;
  for (const std::string& name : *names) {
    if (const int n = EntryNumber(name); n > 0) numbered.emplace(n, name);
  }
  for (const auto& [n, name] : numbered) {
    const auto value = reg.ReadString(RootKey::LocalMachine, key, name);
    if (!value) {
      throw EUninstall("The value %s of %s is not text.", {name, key});
    }
    TUninstallItem item{*value, -1, key, name};
    if (servers) {
      const size_t semicolon = value->rfind(';');
      const std::string kind = semicolon == std::string::npos ? "" : value->substr(semicolon + 1);
      if (kind != "0" && kind != "1" && kind != "2") {
        throw EUninstall("The server entry %s of %s has no kind: \"%s\".", {name, key, *value});
      }
      item.Path = value->substr(0, semicolon);
      item.Kind = kind[0] - '0';
    }
    if (!IsPlainFullPath(item.Path)) {
      throw EUninstall("The entry %s of %s is not the full path of a file: \"%s\".",
                       {name, key, item.Path});
    }
    if (platform::Port().Files().DirectoryExists(item.Path)) {
      throw EUninstall("The entry %s of %s names a folder: \"%s\".", {name, key, item.Path});
    }
    out.push_back(std::move(item));
  }
}

// ---------------------------------------------------------------------------------------------
// Removal

class TRemoval {
 public:
  TRemoval(const TUninstallLog& log, const std::string& self, const TRemoveSharedQuestion& ask)
      : log_(log), self_(self), ask_(ask) {
    const auto version = Sys().Version();
    nineX_ = version && version->platform == platform::PlatformId::Windows;
    for (const TUninstallItem& item : log_.Counted) counted_[Upper(item.Path)].push_back(&item);
    for (const auto& dir : {Sys().WindowsDirectory(), Sys().SystemDirectory()}) {
      if (dir && !TrimText(*dir).empty()) windows_.push_back(Upper(IncludeTrailingBackslash(*dir)));
    }
    for (int csidl = 0; csidl <= 0x3f; ++csidl) {
      if (auto folder = platform::Port().ShellFolders().SpecialFolder(csidl)) Protect(*folder);
    }
    if (auto dir = Sys().WindowsDirectory()) Protect(*dir);
    if (auto dir = Sys().SystemDirectory()) Protect(*dir);
    if (auto dir = Files().TempPath()) Protect(*dir);
    // The roots the install placed things under, as it found them (the registry's shell folders
    // may name other folders than the shell does).
    for (const std::string& dir : {GetStartMenuDir(), GetProgramsDir(), GetDesktopDir(),
                                   GetStartupDir(), GetProgramFilesDir(), GetCommonFilesDir()}) {
      Protect(dir);
    }
  }

  TUninstallReport Run() {
    for (auto it = log_.Servers.rbegin(); it != log_.Servers.rend(); ++it) {
      if (Remove(*it)) Forget(*it);
    }
    for (auto it = log_.Files.rbegin(); it != log_.Files.rend(); ++it) {
      if (Remove(*it)) Forget(*it);
    }
    // What the install counted but kept as it found it loses its count and stays.
    for (auto& [path, items] : counted_) {
      for (const TUninstallItem* item : items) {
        if (Uncount(item->Path) != Count::Failed) Forget(*item);
      }
    }
    if (!log_.Uninstaller.empty() && IsPlainFullPath(log_.Uninstaller)) {
      RemoveFile(log_.Uninstaller, SameText(log_.Uninstaller, self_));
    }
    RemoveFolders();
    if (report_.Left.empty()) {
      TtmbyRegistry reg;
      reg.SetRootKey(RootKey::LocalMachine);
      report_.KeyRemoved = reg.DeleteKey("\\" + log_.Key);
      if (!report_.KeyRemoved) report_.Left.push_back("HKEY_LOCAL_MACHINE\\" + log_.Key);
    }
    return std::move(report_);
  }

 private:
  static platform::IFileSystem& Files() { return platform::Port().Files(); }
  static platform::ISystemInfo& Sys() { return platform::Port().System(); }
  static platform::IRegistry& Reg() { return platform::Port().Registry(); }

  void Protect(const std::string& folder) {
    protected_.insert(Upper(ExcludeTrailingBackslash(folder)));
  }

  // True when the entry is done with: the file is gone, goes at the restart, or stays for the
  // other products that count it.
  bool Remove(const TUninstallItem& item) {
    const TUninstallItem* counted = TakeCounted(item.Path);
    if (counted == nullptr) {
      // Not counted by this product, but counted by another: it is theirs as well.
      if (CountName(item.Path).second > 0) {
        report_.Kept.push_back(item.Path);
        return true;
      }
      return RemoveListed(item);
    }
    switch (Uncount(item.Path, true)) {
      case Count::Failed: return false;
      case Count::Shared:
        Forget(*counted);
        report_.Kept.push_back(item.Path);
        return true;
      case Count::Last: break;
    }
    // No program counts the file any more. In Windows' own folders it goes only when the user
    // says so; the default keeps it.
    if (InWindows(item.Path) && Files().FileExists(item.Path) && !(ask_ && ask_(item.Path))) {
      Uncount(item.Path);
      Forget(*counted);
      report_.Kept.push_back(item.Path);
      return true;
    }
    if (!RemoveListed(item)) return false;
    Uncount(item.Path);
    Forget(*counted);
    return true;
  }

  bool RemoveListed(const TUninstallItem& item) {
    if (item.Kind >= 0 && Files().FileExists(item.Path)) Unregister(item);
    if (!RemoveFile(item.Path, false)) return false;
    if (item.Kind < 0) ForgetHelp(item.Path);
    return true;
  }

  // The entry leaves the log once done with; what is left stays listed for a later run.
  void Forget(const TUninstallItem& item) {
    Reg().DeleteValue(RootKey::LocalMachine, item.ListKey, item.ValueName);
  }

  // One of the counts the install added for `path`, taken off the list of those not yet handled.
  const TUninstallItem* TakeCounted(const std::string& path) {
    const auto it = counted_.find(Upper(path));
    if (it == counted_.end() || it->second.empty()) return nullptr;
    const TUninstallItem* item = it->second.back();
    it->second.pop_back();
    return item;
  }

  // The value under SharedDLLs that counts the file (its short path first, as the install looks
  // it up) and its count; an empty name and 0 when there is none.
  std::pair<std::string, int32_t> CountName(const std::string& path) {
    std::vector<std::string> names;
    if (auto shortPath = Files().ShortPathName(path)) names.push_back(*shortPath);
    names.push_back(path);
    for (const std::string& name : names) {
      // The count is a signed number for the writer.
      if (const auto count = Reg().ReadInteger(RootKey::LocalMachine, kSharedDllsKey, name)) {
        return {name, static_cast<int32_t>(*count)};
      }
    }
    return {};
  }

  enum class Count { Shared, Last, Failed };
  // One reference less under SharedDLLs: Shared when other programs still count the file, Last
  // when this product's was the last (its value goes, unless `keepLast`: the caller takes it
  // away once the file is dealt with), Failed when the count could not be written.
  Count Uncount(const std::string& path, bool keepLast = false) {
    const auto [name, count] = CountName(path);
    if (count > 1) {
      if (Reg().WriteInteger(RootKey::LocalMachine, kSharedDllsKey, name,
                             static_cast<uint32_t>(count - 1))) {
        return Count::Shared;
      }
      report_.Left.push_back(path + ": " + Sys().ErrorText(Reg().LastError()));
      return Count::Failed;
    }
    if (!keepLast && !name.empty()) Reg().DeleteValue(RootKey::LocalMachine, kSharedDllsKey, name);
    return Count::Last;
  }

  // In the Windows folder or the System folder, or below them.
  bool InWindows(const std::string& path) const {
    const std::string upper = Upper(path);
    return std::any_of(windows_.begin(), windows_.end(),
                       [&](const std::string& dir) { return upper.starts_with(dir); });
  }

  void Unregister(const TUninstallItem& item) {
    const std::string previous = Files().CurrentDir();
    Files().SetCurrentDir(ParentOf(item.Path));
    std::string failure;
    if (item.Kind == 0) {
      const platform::ServerRegistration done =
          platform::Port().Libraries().UnregisterServer(item.Path);
      using Outcome = platform::ServerRegistration::Outcome;
      switch (done.outcome) {
        case Outcome::Registered: break;
        case Outcome::NotLoaded: failure = Sys().ErrorText(done.error); break;
        case Outcome::NoEntryPoint: failure = "no DllUnregisterServer"; break;
        case Outcome::Refused:
          failure = FormatText("DllUnregisterServer returned %d", {done.result});
          break;
      }
    } else if (item.Kind == 1) {
      platform::LaunchRequest request;
      request.application_name = item.Path;
      request.command_line = "\"" + item.Path + "\" /UNREGSERVER";
      request.current_directory = ParentOf(item.Path);
      request.show_mode = platform::show::kHide;
      auto& processes = platform::Port().Processes();
      if (auto server = processes.Create(request)) {
        // The program must be done with its registration before its file goes.
        if (!server->WaitForExit(kServerExitWait)) failure = "/UNREGSERVER did not end";
      } else {
        failure = Sys().ErrorText(processes.LastError());
      }
    } else {
      const int32_t result = platform::Port().Libraries().UnregisterTypeLibrary(item.Path);
      if (result != platform::hresult::kOk) {
        failure = Sys().ErrorText(static_cast<uint32_t>(result));
        if (failure.empty()) failure = FormatText("error %d", {result});
      }
    }
    Files().SetCurrentDir(previous);
    // The file goes anyway: the user asked for the product to go, and the entry names what is
    // left registered.
    if (!failure.empty()) report_.Left.push_back(item.Path + " (" + failure + ")");
  }

  // Removes a file now, or at the restart when it is in use. True when it is gone or will go.
  bool RemoveFile(const std::string& path, bool running) {
    if (!Files().FileExists(path)) return true;  // removed before (by the user or a cut run)
    folders_.insert(ParentOf(path));
    if (!running) {
      // Read-only and system files (an install may set such attributes) cannot be deleted as
      // they are.
      if (auto attributes = Files().GetAttributes(path);
          attributes && (*attributes & (platform::attr::kReadOnly | platform::attr::kSystem |
                                        platform::attr::kHidden))) {
        Files().SetAttributes(path, platform::attr::kNormal);
      }
      if (Files().RemoveFile(path)) {
        ++report_.Removed;
        return true;
      }
      const uint32_t error = Files().LastError();
      if (error != platform::err::kSharingViolation && error != platform::err::kLockViolation &&
          error != platform::err::kAccessDenied) {
        report_.Left.push_back(path + ": " + Sys().ErrorText(error));
        return false;
      }
    }
    if (!RemoveAtRestart(path)) {
      report_.Left.push_back(path + ": " + Sys().ErrorText(Files().LastError()));
      return false;
    }
    if (!running) report_.AtRestart.push_back(path);
    pending_.insert(Upper(path));
    return true;
  }

  bool RemoveAtRestart(const std::string& path) {
    if (!nineX_) return Files().MoveFileAtReboot(path, "");
    // Windows 95, 98 and ME delete at the restart what WININIT.INI lists as "NUL=<short path>".
    // The profile functions keep one value per name, and every deletion has the name NUL, so the
    // line is added to the file as it stands.
    const auto windows = Sys().WindowsDirectory();
    if (!windows) return false;
    const std::string ini = IncludeTrailingBackslash(*windows) + "WININIT.INI";
    std::string text;
    if (auto in = Files().Open(ini, platform::FileAccess::Read, platform::kShareRead,
                               platform::FileDisposition::OpenExisting)) {
      char buffer[4096];
      size_t got = 0;
      while (in->Read(buffer, sizeof buffer, &got) && got > 0) text.append(buffer, got);
    }
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
      size_t stop = text.find('\n', at);
      if (stop == std::string::npos) stop = text.size();
      std::string line = text.substr(at, stop - at);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      at = stop + 1;
    }
    const std::string entry = "NUL=" + Files().ShortPathName(path).value_or(path);
    auto section = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
      return SameText(TrimText(line), "[Rename]");
    });
    if (section == lines.end()) {
      lines.push_back("[Rename]");
      lines.push_back(entry);
    } else {
      auto end = std::find_if(section + 1, lines.end(), [](const std::string& line) {
        const std::string trimmed = TrimText(line);
        return !trimmed.empty() && trimmed[0] == '[';
      });
      while (end != section + 1 && TrimText(*(end - 1)).empty()) --end;
      lines.insert(end, entry);
    }
    std::string out;
    for (const std::string& line : lines) out += line + "\r\n";
    auto file = Files().Open(ini, platform::FileAccess::Write, platform::kShareNone,
                             platform::FileDisposition::CreateAlways);
    return file && file->Write(out.data(), out.size());
  }

  // A help file's value under the help key names its folder; it goes with the file.
  void ForgetHelp(const std::string& path) {
    const std::string name = Upper(NameOf(path));
    const auto folder = Reg().ReadString(RootKey::LocalMachine, kHelpKey, name);
    if (folder && SameText(ExcludeTrailingBackslash(*folder), ParentOf(path))) {
      Reg().DeleteValue(RootKey::LocalMachine, kHelpKey, name);
    }
  }

  // Each folder that held something removed goes once empty, and its parents after it. A
  // folder that still holds only what goes at the restart goes at the restart too (after its
  // files: Windows carries the requests out in order); Windows 95, 98 and ME have no such
  // request for folders.
  void RemoveFolders() {
    std::vector<std::string> folders(folders_.begin(), folders_.end());
    std::sort(folders.begin(), folders.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (std::string folder : folders) {
      while (!folder.empty() && !protected_.count(Upper(folder)) && folder.size() > 3 &&
             Files().DirectoryExists(folder)) {
        bool empty = true;
        bool pendingOnly = true;
        for (const platform::FindData& entry : Files().FindFiles(folder + "\\*")) {
          empty = false;
          if (!pending_.count(Upper(folder + "\\" + entry.name))) pendingOnly = false;
        }
        if (empty) {
          if (!Files().RemoveDir(folder)) break;
        } else if (pendingOnly && !nineX_) {
          if (!Files().MoveFileAtReboot(folder, "")) break;
          pending_.insert(Upper(folder));
        } else {
          break;
        }
        folder = ParentOf(folder);
      }
    }
  }

  const TUninstallLog& log_;
  std::string self_;
  TRemoveSharedQuestion ask_;
  // The counts the install added, by upper-case path, not yet taken back.
  std::map<std::string, std::vector<const TUninstallItem*>> counted_;
  std::vector<std::string> windows_;  // upper case, with a trailing backslash
  bool nineX_ = false;
  std::set<std::string> protected_;
  std::set<std::string> pending_;  // upper case: what goes at the restart
  std::set<std::string> folders_;
  TUninstallReport report_;
};

}  // namespace

std::optional<TUninstallLog> ReadUninstallLog(const std::string& productName) {
  const std::string product = TrimText(productName);
  if (product.empty()) return std::nullopt;
  platform::IRegistry& reg = platform::Port().Registry();
  const std::string root = ExcludeTrailingBackslash(std::string(kUninstallKeyRoot).substr(1));
  // The key keeps the product name as the definition gives it, blanks and all; the uninstaller
  // is handed the trimmed name.
  std::optional<std::string> keyName;
  for (const std::string& name :
       reg.EnumKeys(RootKey::LocalMachine, root).value_or(std::vector<std::string>{})) {
    if (SameText(TrimText(name), product) && (!keyName || name == product)) keyName = name;
  }
  if (!keyName) return std::nullopt;
  TUninstallLog log;
  log.Key = root + "\\" + *keyName;
  log.ProductName = product;
  // Only a key this kit wrote is removed: its uninstall command names the product.
  const std::string command =
      TrimText(reg.ReadString(RootKey::LocalMachine, log.Key, "UninstallString").value_or(""));
  if (!EndsWithText(command, " " + product)) return std::nullopt;
  log.Uninstaller = TrimText(command.substr(0, command.size() - product.size() - 1));
  if (log.Uninstaller.size() > 1 && log.Uninstaller.front() == '"' &&
      log.Uninstaller.back() == '"') {
    log.Uninstaller = log.Uninstaller.substr(1, log.Uninstaller.size() - 2);
  }
  for (int n = 0; n < kFilesLists; ++n) {
    ReadList(log.Key + "\\Files" + (n == 0 ? std::string() : std::to_string(n)), false, log.Files);
  }
  ReadList(log.Key + "\\ActiveX", true, log.Servers);
  ReadList(log.Key + "\\" + kCountedList, false, log.Counted);
  return log;
}

TUninstallReport RemoveProduct(const TUninstallLog& log, const std::string& self,
                               const TRemoveSharedQuestion& removeShared) {
  return TRemoval(log, self, removeShared).Run();
}

std::string ProductFromCommandLine(std::string_view line,
                                   const std::function<bool(const std::string&)>& namesSelf) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  size_t at = 0;
  while (at < line.size() && blank(line[at])) ++at;
  line.remove_prefix(at);
  size_t end = std::string_view::npos;
  if (!line.empty() && line.front() == '"') {
    end = line.find('"', 1);
    end = end == std::string_view::npos ? line.size() : end + 1;
  } else {
    // Windows itself tries the runs of words from the shortest; the first that names this
    // program is the one that started it.
    for (size_t stop = 0; stop <= line.size() && end == std::string_view::npos; ++stop) {
      if ((stop == line.size() || blank(line[stop])) && stop > 0 && !blank(line[stop - 1]) &&
          namesSelf && namesSelf(std::string(line.substr(0, stop)))) {
        end = stop;
      }
    }
    if (end == std::string_view::npos) {
      end = 0;
      while (end < line.size() && !blank(line[end])) ++end;
    }
  }
  std::string product = TrimText(std::string(line.substr(end)));
  if (product.size() >= 2 && product.front() == '"' && product.back() == '"') {
    product = TrimText(product.substr(1, product.size() - 2));
  }
  return product;
}

int RunUninstall(const std::string& productName, const std::string& self) {
  platform::IUi& ui = platform::Ui();
  const std::string product = TrimText(productName);
  const std::string caption = Tr(kCaption, {product});
  std::optional<TUninstallLog> log;
  try {
    log = ReadUninstallLog(product);
  } catch (const EUninstall& damage) {
    ui.MessageBox(Tr(kDamaged, {product, damage.Message()}), caption,
                  platform::mb::kOk | platform::mb::kIconStop);
    return kUninstallNothing;
  }
  if (!log) {
    ui.MessageBox(Tr(kNotInstalled, {product}), caption,
                  platform::mb::kOk | platform::mb::kIconInformation);
    return kUninstallNothing;
  }
  if (ui.MessageBox(Tr(kAsk, {product}), caption,
                    platform::mb::kYesNo | platform::mb::kIconQuestion) != platform::id::kYes) {
    return kUninstallDone;
  }
  // Windows' own question, with its safe answer as the default: a box that is not answered (a
  // quiet run takes the default) keeps the file.
  const auto removeShared = [&](const std::string& path) {
    return ui.MessageBox(Tr(kSharedUnused, {}) + "\n\n" + path + "\n\n" + Tr(kSharedAsk, {}),
                         Tr(kSharedCaption, {}),
                         platform::mb::kYesNo | platform::mb::kIconQuestion |
                             platform::mb::kDefButton2) == platform::id::kYes;
  };
  const TUninstallReport report = RemoveProduct(*log, self, removeShared);
  std::string text;
  if (report.Left.empty()) {
    text = Tr(kRemoved, {product});
  } else {
    text = Tr(kPartly, {product});
    for (const std::string& item : report.Left) text += "\n" + item;
  }
  if (!report.AtRestart.empty()) text += "\n\n" + Tr(kAtRestart, {});
  if (!report.Kept.empty()) text += "\n\n" + Tr(kKept, {});
  ui.MessageBox(text, caption,
                platform::mb::kOk | (report.Left.empty() ? platform::mb::kIconInformation
                                                         : platform::mb::kIconWarning));
  return report.Left.empty() ? kUninstallDone : kUninstallPartly;
}

}  // namespace tmby
