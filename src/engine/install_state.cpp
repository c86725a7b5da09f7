// The install's registry state: the state key of a setup program, the unfinished list, the
// continuation entry under RunOnce, the restart, and the continuation run after it.
#include <cmath>
#include <cstdlib>

#include "archive/archive_format.h"
#include "base/path_text.h"
#include "engine/install.h"
#include "links/shell_links.h"
#include "model/install_model.h"
#include "paths/path_root_base.h"
#include "system/os_version.h"
#include "system/registry.h"
#include "translate/translator.h"
#include "ui/forms.h"

namespace tmby {

namespace {

constexpr int kLocalMachine = static_cast<int>(platform::RootKey::LocalMachine);

const char kNoStateKey[] =
    "The TInstall could not either write or read unfinished business from the registry";

// The choices of the pages under the state key (SaveChoices, RestoreChoices):
//   "DestDir"        string   the install's destination as the root's DestDir holds it
//   "DestDirType"    string   the name of the path specifier DestDir follows; empty when DestDir
//                             is a full path (the destination page makes it one)
//   "ProgramFolder"  string   the program folder's DestDir below the Start menu's Programs folder
//                             ("\Lakeside Notes"), as the program-folder page left it
//   "InstallType"    integer  the selected install type: 0 itFull, 1 itDefault, 2 itCompact,
//                             3 itCustom
//   subkey "Included"         one integer value per install object whose Include the run
//                             changed, named after the object: 1 taken in, 0 left out
constexpr char kDestDirValue[] = "DestDir";
constexpr char kDestDirTypeValue[] = "DestDirType";
constexpr char kProgramFolderValue[] = "ProgramFolder";
constexpr char kInstallTypeValue[] = "InstallType";
constexpr char kIncludedKey[] = "Included";

const char kRunOnceKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// The state key's own path and its unfinished list.
std::string UnfinishedKey(const std::string& stateKey) {
  return IncludeTrailingBackslash(stateKey) + "Unfinished";
}

const std::string& RequireStateKey() {
  const std::string& key = InstallModel().InstallStateKey;
  if (key.empty()) throw IEInstall(kNoStateKey);
  return key;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& n : names) {
    if (SameText(n, name)) return true;
  }
  return false;
}

// Deletes the key when it exists and holds no subkeys; false when it cannot be opened.
bool DeleteWhenEmpty(const std::string& key) {
  TtmbyRegistry reg;
  reg.SetRootKey(platform::RootKey::LocalMachine);
  if (!reg.OpenKey(key, false)) return false;
  const bool empty = !reg.HasSubKeys();
  reg.CloseKey();
  if (empty) reg.DeleteKey(key);
  return true;
}

// A downloaded archive's copy, and the empty temporary file beside it that reserved its name when
// the download began.
void RemoveDownloadedCopy(const std::string& local) {
  platform::IFileSystem& files = platform::Port().Files();
  files.RemoveFile(local);
  if (!SameText(ReplaceExtension(local, ".1"), local)) return;
  const std::string reserved = ReplaceExtension(local, ".tmp");
  if (files.FileSize(reserved) == 0) files.RemoveFile(reserved);
}

// A whole decimal number (an optional sign, then digits), as the unfinished codes are written.
std::optional<int> ParseCode(const std::string& text) {
  const std::string t = TrimText(text);
  size_t i = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
  if (i == t.size()) return std::nullopt;
  for (size_t k = i; k < t.size(); ++k) {
    if (t[k] < '0' || t[k] > '9') return std::nullopt;
  }
  if (t.size() - i > 9) return std::nullopt;
  return std::atoi(t.c_str());
}

// The unfinished entries as their values hold them: the item (a component name, or a path that
// may hold ";" as NTFS allows) and its code, each read on its own.
std::vector<std::pair<std::string, std::string>> UnfinishedEntries(const std::string& stateKey) {
  std::vector<std::pair<std::string, std::string>> entries;
  TtmbyRegistry reg;
  reg.SetRootKey(platform::RootKey::LocalMachine);
  if (!reg.OpenKey(UnfinishedKey(stateKey), false)) return entries;
  for (const std::string& name : reg.GetValueNames()) {
    entries.emplace_back(name, reg.ReadString(name).value_or(""));
  }
  return entries;
}

// The first component of a process-wide list (the specifiers, the install objects) that bears
// that name, or null.
template <class List>
auto Named(const List& list, const std::string& name) -> decltype(list.Items(0)) {
  for (int i = 0; i < list.Count(); ++i) {
    if (auto* item = list.Items(i); item != nullptr && SameText(item->Name(), name)) return item;
  }
  return nullptr;
}

TInstallContainer* ObjectNamed(const std::string& name) {
  return Named(InstallModel().Containers, name);
}

// Whether a RunOnce command line continues this program: "<program>" -r ..., the program this
// one or a copy of it (the same size and date, as the state key knows a program; the copy an
// earlier start of the loading program unpacked).
bool ContinuesThisProgram(const std::string& command) {
  if (command.size() < 2 || command[0] != '"') return false;
  const size_t quote = command.find('"', 1);
  if (quote == std::string::npos) return false;
  const std::string rest = command.substr(quote + 1);
  if (rest != " -r" && rest.rfind(" -r ", 0) != 0) return false;
  const std::string program = command.substr(1, quote - 1);
  const std::string& self = Engine().ProgramPath;
  if (SameText(program, self)) return true;
  platform::IFileSystem& files = platform::Port().Files();
  const std::optional<int64_t> size = files.FileSize(program);
  const std::optional<double> date = files.GetDayCount(program);
  return size && date && size == files.FileSize(self) &&
         std::fabs(*date - files.GetDayCount(self).value_or(-1)) < 1e-7;
}

// Deletes the continuation entries of this program under RunOnce, in both hives (the family of
// the system decides where one goes, and a profile may have moved between them).
void RemovePendingContinuations() {
  for (const platform::RootKey root :
       {platform::RootKey::CurrentUser, platform::RootKey::LocalMachine}) {
    TtmbyRegistry reg;
    reg.SetRootKey(root);
    if (!reg.OpenKey(kRunOnceKey, false)) continue;
    const std::string prefix = kContinuationName;
    for (const std::string& name : reg.GetValueNames()) {
      if (name.size() < prefix.size() || !SameText(name.substr(0, prefix.size()), prefix)) continue;
      const std::string number = name.substr(prefix.size());
      if (number.find_first_not_of("0123456789") != std::string::npos) continue;
      const std::optional<std::string> command = reg.ReadString(name);
      if (command && ContinuesThisProgram(*command)) reg.DeleteValue(name);
    }
  }
}

}  // namespace

std::string TCustomInstall::FindStateKey(bool mayCreate) {
  const std::string program = Engine().ProgramPath;
  platform::IFileSystem& files = platform::Port().Files();
  const std::optional<int64_t> size = files.FileSize(program);
  const std::optional<double> date = files.GetDayCount(program);
  // A program that cannot tell its own size and date cannot be matched to a state.
  if (program.empty() || !size || !date) return "";

  TtmbyRegistry reg;
  reg.SetRootKey(platform::RootKey::LocalMachine);
  if (!reg.OpenKey(kStateKeysRoot, true)) return "";
  const std::vector<std::string> names = reg.GetKeyNames();
  reg.CloseKey();

  const std::string parent = std::string(kStateKeysRoot) + "\\";
  for (const std::string& name : names) {
    TtmbyRegistry state;
    state.SetRootKey(platform::RootKey::LocalMachine);
    if (!state.OpenKey(parent + name, false)) continue;
    // Values of another type count as missing: such a key belongs to no program.
    const std::optional<std::string> path = state.ReadString("Path");
    const std::optional<double> created = state.ReadDateTime("CreationDate");
    const std::optional<int32_t> stored = state.ReadInteger("Size");
    if (!path || !created || !stored) continue;
    // The file's date and size identify the program wherever it lies now.
    if (!(std::fabs(*created - *date) < 1e-7) || *stored != *size) continue;
    state.SetLazyWrite(false);
    if (!state.WriteDateTime("LastRunDate", Engine().RunStartTime) ||
        !state.WriteString("Path", program)) {
      return "";
    }
    return parent + name;
  }
  if (!mayCreate) return "";

  int n = 0;
  while (Contains(names, "Install" + std::to_string(n))) ++n;
  const std::string key = parent + "Install" + std::to_string(n);
  TtmbyRegistry state;
  state.SetRootKey(platform::RootKey::LocalMachine);
  if (!state.OpenKey(key, true)) return "";
  state.SetLazyWrite(false);
  bool ok = state.WriteString("Path", program) &&
            state.WriteDateTime("LastRunDate", Engine().RunStartTime) &&
            state.WriteDateTime("CreationDate", *date) &&
            state.WriteInteger("Size", static_cast<int32_t>(*size));
  if (ok && commandLine_.Has(csSelfExtractor)) {
    ok = state.WriteString("SelfExtract", IncludeTrailingBackslash(commandLine_.Value(csSource)) +
                                              commandLine_.Value(csSelfExtractor));
  }
  return ok ? key : "";
}

void TCustomInstall::AddUnfinished(const std::string& item, int code) {
  const std::string& key = RequireStateKey();
  ++UnfinishedCount;
  WriteRegString(kLocalMachine, UnfinishedKey(key), item, std::to_string(code));
}

void TCustomInstall::ReadUnfinished(TStrings& list) {
  list.clear();
  for (const auto& [item, code] : UnfinishedEntries(RequireStateKey())) {
    list.push_back(item + ";" + code);
  }
}

void TCustomInstall::ClearUnfinished() {
  DeleteRegKeyTree(kLocalMachine, UnfinishedKey(RequireStateKey()));
}

std::string TCustomInstall::GetSourceExecutable() {
  if (commandLine_.Has(csSelfExtractor)) return GetArchivePath();
  // The loading program lies in the source directory; only the directory counts.
  if (UseLoadingProgram()) return IncludeTrailingBackslash(sourceDir_);
  return Engine().ProgramPath;
}

std::string TCustomInstall::ContinuationCommandLine() {
  const std::string source = GetSourceExecutable();
  const std::string dir = ExcludeTrailingBackslash(PathDirectoryPart(source));
  std::string line = "\"" + Engine().ProgramPath + "\" -r";
  if (commandLine_.Has(csSelfExtractor)) line += " -e\"" + PathFileNamePart(source) + "\"";
  line += " -s\"" + dir + "\"";
  if (commandLine_.Has(csCleanup)) line += " -c";
  return line;
}

void TCustomInstall::RegisterContinuation() {
  if (!AddRunOnce(kContinuationName, ContinuationCommandLine(), true)) {
    throw IEInstall(
        "Cannot register the install to be run on reboot in the RunOnce key in the "
        "registry");
  }
}

void TCustomInstall::SaveLanguage() {
  if (TTranslator* translator = CurrentTranslator()) {
    WriteRegInteger(kLocalMachine, InstallModel().InstallStateKey, "Language",
                    static_cast<int32_t>(translator->TranslateIntoLanguage()));
  }
}

void TCustomInstall::NoteIncludes() {
  includesAtStart_.clear();
  const TInstallContainerList& objects = InstallModel().Containers;
  for (int i = 0; i < objects.Count(); ++i) {
    const TInstallContainer* object = objects.Items(i);
    if (object != nullptr && !object->Name().empty()) {
      includesAtStart_.emplace_back(object->Name(), object->Include());
    }
  }
}

void TCustomInstall::SaveChoices() {
  const std::string& key = RequireStateKey();
  // A specifier without a name cannot be found again: the continuation keeps the definition's.
  const TCustomPathSpecifier* type = DestDirType();
  if (type == nullptr || !type->Name().empty()) {
    WriteRegString(kLocalMachine, key, kDestDirValue, DestDir());
    WriteRegString(kLocalMachine, key, kDestDirTypeValue, type != nullptr ? type->Name() : "");
  }
  if (const TMainLinkGroup* folder = ShellLinkModel().MainLinkGroup) {
    WriteRegString(kLocalMachine, key, kProgramFolderValue, folder->DestDir());
  }
  WriteRegInteger(kLocalMachine, key, kInstallTypeValue,
                  static_cast<int32_t>(SelectedInstallType()));
  const std::string included = IncludeTrailingBackslash(key) + kIncludedKey;
  DeleteRegKeyTree(kLocalMachine, included);
  for (const auto& [name, includedAtStart] : includesAtStart_) {
    const TInstallContainer* object = ObjectNamed(name);
    if (object != nullptr && object->Include() != includedAtStart) {
      WriteRegInteger(kLocalMachine, included, name, object->Include() ? 1 : 0);
    }
  }
}

void TCustomInstall::RestoreChoices() {
  const std::string& key = InstallModel().InstallStateKey;
  if (key.empty()) return;
  TtmbyRegistry reg;
  reg.SetRootKey(platform::RootKey::LocalMachine);
  if (!reg.OpenKeyReadOnly(key)) return;
  const std::optional<std::string> destDir = reg.ReadString(kDestDirValue);
  const std::optional<std::string> typeName = reg.ReadString(kDestDirTypeValue);
  if (destDir && typeName) {
    TCustomPathSpecifier* type =
        typeName->empty() ? nullptr : Named(PathSpecifiers().Specifiers, *typeName);
    if (typeName->empty() || type != nullptr) {
      SetDestDirType(type);
      SetDestDir(*destDir);
    }
  }
  if (const std::optional<std::string> folder = reg.ReadString(kProgramFolderValue)) {
    if (TMainLinkGroup* group = ShellLinkModel().MainLinkGroup) group->SetDestDir(*folder);
  }
  const std::optional<int32_t> installType = reg.ReadInteger(kInstallTypeValue);
  if (installType && *installType >= itFull && *installType <= itCustom) {
    SetSelectedInstallType(static_cast<TInstallType>(*installType));
  }
  reg.CloseKey();
  if (!reg.OpenKeyReadOnly(IncludeTrailingBackslash(key) + kIncludedKey)) return;
  for (const std::string& name : reg.GetValueNames()) {
    const std::optional<int32_t> value = reg.ReadInteger(name);
    TInstallContainer* object = ObjectNamed(name);
    if (value && object != nullptr) object->SetInclude(*value != 0);
  }
}

TTmbyLanguage TCustomInstall::LoadLanguage() {
  const TTranslator* translator = CurrentTranslator();
  const TTmbyLanguage current =
      translator != nullptr ? translator->TranslateIntoLanguage() : tlUser;
  const std::string& key = InstallModel().InstallStateKey;
  if (key.empty()) return current;
  const int32_t stored = ReadRegInteger(kLocalMachine, key, "Language", current);
  // A number beyond the languages (a damaged or foreign value) is as good as none.
  if (stored < 0 || stored >= kLanguageCount) return current;
  return static_cast<TTmbyLanguage>(stored);
}

void TCustomInstall::RebootWindows() {
  bool restarted = false;
  try {
    const TOSVerType os = GetOSVersion();
    // The 9x line restarts on request; the NT line first needs the shutdown privilege, which the
    // port enables (every step of it must succeed). Other systems are not asked.
    if (os == oswin95 || os == oswin98 || os == oswinME || IsNTFamily(os)) {
      restarted = platform::Port().System().Reboot();
    }
  } catch (const EAPIRoutines&) {
    restarted = false;
  }
  if (restarted) return;
  if (OnFailedReboot) {
    OnFailedReboot(this);
    return;
  }
  if (ui::TApplication* app = ui::Application()) {
    app->MessageBox(LocalizeMessage("Could not reboot windows. Please manually reboot windows."),
                    app->Title(), platform::mb::kOk);
  }
}

void TCustomInstall::ContinueAfterReboot() {
  InstallModel().InstallStateKey = FindStateKey(false);
  if (InstallModel().InstallStateKey.empty()) {
    // An entry that Windows ran after a later run had finished the install (the user declined
    // the restart and started the setup program again): nothing is left to do.
    if (ui::TApplication* app = ui::Application()) app->Terminate();
    return;
  }
  Running = true;
  // Before anything else: the continuation works where the run installed.
  RestoreChoices();
  if (TTranslator* translator = CurrentTranslator()) {
    translator->SetTranslateIntoLanguage(LoadLanguage());
  }
  // Each entry leaves the list once its work is done, so that what a failure stops stays
  // recorded with the state key, as the run left it.
  const std::string& stateKey = InstallModel().InstallStateKey;
  for (const auto& [item, value] : UnfinishedEntries(stateKey)) {
    // The code is the value up to a ";" of its own, as an entry once read "item;code;...".
    const std::optional<int> code = ParseCode(value.substr(0, value.find(';')));
    if (!code) {
      throw IEInstall("There is an invalid entry for the unfinished install list %s",
                      {item + ";" + value});
    }
    if (*code == 0) {
      const TInstallContainerList& objects = InstallModel().Containers;
      for (int i = 0; i < objects.Count(); ++i) {
        TInstallContainer* object = objects.Items(i);
        // The root's own name would start this continuation again.
        if (object != nullptr && object != this && SameText(object->Name(), item)) {
          object->AfterReboot();
        }
      }
    } else if (*code == 1) {
      platform::Port().Files().RemoveFile(item);
    }
    TtmbyRegistry reg;
    reg.SetRootKey(platform::RootKey::LocalMachine);
    if (reg.OpenKey(UnfinishedKey(stateKey), false)) reg.DeleteValue(item);
  }
  ClearUnfinished();
  FinishGoodInstall();
}

void TCustomInstall::RemoveInstallState() {
  const std::string key = InstallModel().InstallStateKey;
  if (key.empty()) return;
  TtmbyRegistry reg;
  reg.SetRootKey(platform::RootKey::LocalMachine);
  if (reg.OpenKey(key, false)) {
    const std::vector<std::string> subkeys = reg.GetKeyNames();
    reg.CloseKey();
    for (const std::string& name : subkeys) {
      const std::string subkey = IncludeTrailingBackslash(key) + name;
      const std::string local = ReadRegString(kLocalMachine, subkey, "LocalFile", "");
      if (!TrimText(local).empty()) RemoveDownloadedCopy(local);
      reg.DeleteKey(subkey);
    }
  }
  reg.DeleteKey(key);
  RemovePendingContinuations();
  // \SOFTWARE\QRN itself stays: other programs of the vendor keep their keys there.
  if (!DeleteWhenEmpty(kStateKeysRoot)) return;
  DeleteWhenEmpty("\\Software\\Tamberly");
}

}  // namespace tmby
