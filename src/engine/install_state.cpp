// The install's registry state: the state key of a setup program, the unfinished list, the
// continuation entry under RunOnce, the restart, and the continuation run after it.
#include <cmath>
#include <cstdlib>

#include "archive/archive_format.h"
#include "base/path_text.h"
#include "engine/install.h"
#include "model/install_model.h"
#include "system/os_version.h"
#include "system/registry.h"
#include "translate/translator.h"
#include "ui/forms.h"

namespace tmby {

namespace {

constexpr int kLocalMachine = static_cast<int>(platform::RootKey::LocalMachine);

const char kNoStateKey[] =
    "The TInstall could not either write or read unfinished business from the registry";

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

// The text of `entry` between `from` and the next ";" (or the end).
std::string Field(const std::string& entry, size_t from) {
  const size_t end = entry.find(';', from);
  return entry.substr(from, end == std::string::npos ? std::string::npos : end - from);
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
  const std::string key = UnfinishedKey(RequireStateKey());
  TtmbyRegistry reg;
  reg.SetRootKey(platform::RootKey::LocalMachine);
  if (!reg.OpenKey(key, false)) return;
  for (const std::string& name : reg.GetValueNames()) {
    list.push_back(name + ";" + reg.ReadString(name).value_or(""));
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
  Running = true;
  InstallModel().InstallStateKey = FindStateKey(false);
  if (TTranslator* translator = CurrentTranslator()) {
    translator->SetTranslateIntoLanguage(LoadLanguage());
  }
  TStrings list;
  ReadUnfinished(list);
  ClearUnfinished();
  for (const std::string& entry : list) {
    const size_t semicolon = entry.find(';');
    const std::string item = entry.substr(0, semicolon);
    const std::optional<int> code =
        ParseCode(semicolon == std::string::npos ? std::string() : Field(entry, semicolon + 1));
    if (!code)
      throw IEInstall("There is an invalid entry for the unfinished install list %s", {entry});
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
  }
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
  // \SOFTWARE\QRN itself stays: other programs of the vendor keep their keys there.
  if (!DeleteWhenEmpty(kStateKeysRoot)) return;
  DeleteWhenEmpty("\\Software\\Tamberly");
}

}  // namespace tmby
