// The setup engine's program entry: installs the port and the UI, creates the main window from
// the install definition the program carries, and runs the message loop.
//
// The same source makes two programs. setup.exe, the engine that ships, reads nothing from the
// environment: it runs elevated, and a variable would let anyone make a vendor's setup program run
// another definition or write a file anywhere. setup-test.exe (TMBY_TEST_SWITCHES) is the engine
// the tests and the demo stamp; it honours these variables (see README.md):
//   TMBY_UI, TMBY_UI_TRANSCRIPT, TMBY_UI_SCRIPT  the scripted UI (platform/script/script_ui.h)
//   TMBY_DEFINITION   read the install definition from this file instead of the program's own
//   TMBY_DESTINATIONS write the expanded destination of every install object into this file
//   TMBY_EXIT_AFTER_MS  end the program after that many milliseconds (demo, smoke tests)
//   TMBY_KILL_AT      end the process at once, as a power cut would, at a point of the run:
//                     "state" (the state key is written), "extract" (a file half extracted),
//                     "queued" (the tree is installed, replacements at the restart are queued)
//   TMBY_HOLD_COPY_MS after each progress report of a file the windows keep running for that many
//                     milliseconds, so that the copy window stays up for a picture of it
#include <windows.h>
// <windows.h> first: then take back the API macros that clash with the kit's names.
#undef MessageBox
#undef DrawText
#undef TextOut

#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "base/definition_reader.h"
#include "base/exceptions.h"
#include "dialogs/dialog_manager.h"
#include "dialogs/std_dialogs.h"
#include "engine/definition_carrier.h"
#include "engine/destination_listing.h"
#include "engine/install.h"
#include "links/shell_links.h"
#include "model/install_group.h"
#include "model/install_model.h"
#include "model/install_parameters.h"
#include "paths/path_root_base.h"
#include "platform/script/script_ui.h"
#include "platform/win32/ui_win32.h"
#include "platform/win32/win32_port.h"
#include "platform/win32/win32_program.h"
#include "platform/win32/win32_version_source.h"
#include "system/version_resource.h"
#include "ui/fatal_error.h"
#include "ui/main_form.h"
#include "ui/ui_classes.h"

namespace {

using namespace tmby;

constexpr char kUsage[] =
    "usage: setup.exe [-b | -f | -r] [-s<folder>] [-e<file>] [-c] [-n] [-d]\n"
    "       setup.exe --help | /?\n"
    "\n"
    "The Tamberly setup engine with a product's install definition (tmbystamp puts it in).\n"
    "Without switches it installs the product. A switch starts with \"-\" (or \"*\"), its letter\n"
    "follows in either case, and its value follows the letter directly:\n"
    "  -b          build the distribution (setup.exe, setup.1, files.1; filelist.lst for a net\n"
    "              install) into the folder named by the first line of BUILD.INF beside the "
    "program;\n"
    "              its progress goes to standard error when that is a terminal\n"
    "  -f          copy the distribution onto floppy disks in drive A: (from the distribution's\n"
    "              setup.exe only: setup.exe *TODISK)\n"
    "  -r          continue the install that asked for a restart (Windows starts it so)\n"
    "  -s<folder>  the folder the distribution lies in (the loading program passes it)\n"
    "  -e<file>    the name of the self-extracting setup.exe that holds the archives\n"
    "  -c          remove the loading program's temporary folder at the end\n"
    "  -n          forget what an unfinished earlier install left to do\n"
    "  -d          a run from a development folder: needs -s, removes no temporary folder\n";

// A resource of the program (RCDATA), empty when it is missing.
TBytes RcData(const std::string& name) {
  const std::string_view bytes = platform::win32::ResourceData(name);
  return TBytes(bytes.begin(), bytes.end());
}

// A variable of the test flavour's environment; empty in the engine that ships.
std::string TestSwitch(const char* name) {
#ifdef TMBY_TEST_SWITCHES
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
#else
  (void)name;
  return "";
#endif
}

std::string LoadDefinition(const std::string& program, std::string* name) {
  if (const std::string file = TestSwitch("TMBY_DEFINITION"); !file.empty()) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw Exception("Cannot open the install definition \"" + file + "\"");
    *name = file;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  const size_t slash = program.find_last_of('\\');
  *name = slash == std::string::npos ? program : program.substr(slash + 1);
  return ReadCarriedDefinition(program);
}

std::unique_ptr<platform::IUi> MakeUi(platform::win32::Win32Platform& port) {
  platform::script::ScriptUiOptions options;
  const platform::ScreenInfo screen = port.System().Screen();
  options.screen = {screen.width, screen.height};
  options.bits_per_pixel = screen.bits_per_pixel;
  const std::string module = port.Files().ModuleFileName();
  options.module_name = module.substr(module.find_last_of("\\/") + 1);
#ifdef TMBY_TEST_SWITCHES
  if (auto script = platform::script::ScriptUi::FromEnvironment(options)) return script;
#endif
  return std::make_unique<platform::win32::Win32Ui>(port.Charset());
}

void WriteDestinations() {
  const std::string file = TestSwitch("TMBY_DESTINATIONS");
  if (file.empty()) return;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << ListDestinations();
}

#ifdef TMBY_TEST_SWITCHES
// The scripted UI's stand-in for the dialogs, which this build does not have: it hears what the
// install root announces to its helpers, as a dialog manager does, and notes it in the
// transcript.
class TStageRecorder : public TInstallObject {
 public:
  TStageRecorder(TComponent* owner, platform::script::ScriptUi& ui)
      : TInstallObject(owner), ui_(ui) {}
  int ComponentType() const override { return ctDialog; }
  void HelperEvent(TPersistent*, int code, TPersistent* object) override {
    switch (code) {
      case hnInitialized: ui_.Note("stage -986 initialized"); break;
      case hnBeforeInstall: ui_.Note("stage -980 before install"); break;
      case hnBeforeGoodInstall: ui_.Note("stage -995 before good install"); break;
      case hnGoodInstall: ui_.Note("stage -979 good install"); break;
      case hnBeforeBadInstall: ui_.Note("stage -994 before bad install"); break;
      case hnBadInstall: ui_.Note("stage -978 bad install"); break;
      case hnRebootPending: ui_.Note("stage -987 reboot pending"); break;
      case hnShowStatusText:
        if (auto* message = dynamic_cast<TMessageParameter*>(object)) {
          ui_.Note("status " + message->Text);
        }
        break;
      case hnReplacing:
        if (auto* file = dynamic_cast<TCustomInstallFile*>(object)) {
          ui_.Note("replacing " + file->Name());
        }
        break;
      case hnFileStatus:
        if (auto* status = dynamic_cast<TFileStatusParameter*>(object);
            status != nullptr && status->FilePercentDone == 100) {
          // A file reaches 100 % in the archive's report and again when its container counts
          // it as done: the transcript says it once.
          std::string line = "file " + status->FileName + " done, " +
                             std::to_string(status->TotalPercentDone) + "% of all";
          if (line != lastFileLine_) ui_.Note(line);
          lastFileLine_ = std::move(line);
        }
        break;
      default: break;
    }
  }

 private:
  platform::script::ScriptUi& ui_;
  std::string lastFileLine_;
};
#endif

// TMBY_KILL_AT: ends the process without any cleanup at the named point of the run. The point's
// event keeps the handler the definition gave it.
void ArmKillPoint(TCustomInstall& install) {
  const std::string point = TestSwitch("TMBY_KILL_AT");
  const auto kill = [] { TerminateProcess(GetCurrentProcess(), 9); };
  if (point == "state") {
    TInstallNotifyEvent before = install.OnBeforeReadArchiveInfo;
    install.OnBeforeReadArchiveInfo.Set([before, kill](TPersistent* sender) {
      before(sender);
      kill();
    });
  } else if (point == "extract") {
    TInstallFileStatusEvent before = install.OnStatus;
    install.OnStatus.Set([before, kill](TCustomInstallFile* file, int32_t percent, int32_t total) {
      before(file, percent, total);
      if (percent > 0 && percent < 100) kill();
    });
  } else if (point == "queued") {
    TAfterInstallObjectsEvent before = install.OnAfterInstallObjects;
    install.OnAfterInstallObjects.Set([before, kill](TInstallContainer* container, bool aborted) {
      before(container, aborted);
      kill();
    });
  }
}

// TMBY_HOLD_COPY_MS: each progress report of a file is followed by that long a time in which the
// windows go on running (they repaint and take the user's input, as during a slow copy).
void ArmCopyHold(TCustomInstall& install, ui::TApplication& app) {
  const std::string hold = TestSwitch("TMBY_HOLD_COPY_MS");
  if (hold.empty()) return;
  const DWORD ms = std::strtoul(hold.c_str(), nullptr, 10);
  TInstallFileStatusEvent before = install.OnStatus;
  install.OnStatus.Set(
      [before, ms, &app](TCustomInstallFile* file, int32_t percent, int32_t total) {
        before(file, percent, total);
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < ms && !app.Terminated()) {
          app.ProcessMessages();
          Sleep(20);
        }
      });
}

// -b with standard error on a terminal: the build shows its progress there, one line rewritten
// in place as the files go into the archive ("building  42%  data\readme.txt"), as tmbyarc does.
// A build started from a window, or with standard error in a file or a pipe, prints nothing.
class TBuildProgress {
 public:
  TBuildProgress() = default;
  TBuildProgress(const TBuildProgress&) = delete;
  TBuildProgress& operator=(const TBuildProgress&) = delete;
  ~TBuildProgress() {
    if (!shown_) return;
    std::fputc('\n', stderr);
    std::fflush(stderr);
  }

  void Arm(TCustomInstall& install) {
    if (!install.CommandLine().Has(csBuild) || _isatty(_fileno(stderr)) == 0) return;
    TInstallFileStatusEvent before = install.OnStatus;
    install.OnStatus.Set([this, before](TCustomInstallFile* file, int32_t percent, int32_t total) {
      before(file, percent, total);
      if (file != nullptr) Show(total, file->FileName());
    });
  }

 private:
  // Only a change is written: a file reports once per buffer of its data.
  void Show(int32_t total, const std::string& name) {
    if (shown_ && total == total_ && name == name_) return;
    total_ = total;
    name_ = name;
    std::string line = "building " + std::to_string(total) + "%  " + name;
    // What the previous line had beyond this one is blanked.
    const size_t width = line.size();
    if (width < width_) line.append(width_ - width, ' ');
    width_ = width;
    // One write for the whole line: standard error has no buffer, and a console shows each
    // write by itself.
    line.insert(line.begin(), '\r');
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    shown_ = true;
  }

  bool shown_ = false;
  int32_t total_ = -1;
  std::string name_;
  size_t width_ = 0;
};

}  // namespace

// The ANSI entry point: Windows 95, 98 and ME have no wide one. The arguments are read through
// the adapter's character set.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  platform::win32::Win32Platform port(platform::win32::ProgramApiCharset());
  platform::SetPort(&port);
  // File versions are read by the system's version library, asked only about files that can
  // hold one.
  platform::win32::Win32VersionBlockSource system_versions(port.Charset());
  TExecutableVersionSource versions(system_versions);
  SetVersionBlockSource(&versions);
  StartVersionResources();
  std::unique_ptr<platform::IUi> ui;
  try {
    ui = MakeUi(port);
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 2;
  }
  platform::ScopedUi scoped(ui.get());
  // The usage goes to standard output when there is one, else into a box.
  if (platform::win32::AsksForHelp(platform::win32::CommandLineArguments(port.Charset()))) {
    if (!platform::win32::WriteStandardOutput(kUsage)) {
      ui->MessageBox(kUsage, "Setup", platform::mb::kOk | platform::mb::kIconInformation);
    }
    return 0;
  }
  ui::RegisterUiClasses(ClassRegistry());
  RegisterPathSpecifierClasses(ClassRegistry());
  RegisterInstallObjectClasses(ClassRegistry());
  RegisterEngineClasses(ClassRegistry());
  RegisterStandardDialogs();
  RegisterChangeDiskDialog();
  ui::RegisterMainFormHandlers(EventHandlers());
  RegisterEngineHandlers(EventHandlers());
  PathSpecifierStartup();
  InstallModelStartup();

  const std::string program = port.Files().ModuleFileName();
  TEngine& engine = Engine();
  engine.ProgramPath = program;
  engine.Arguments = platform::win32::CommandLineArguments(port.Charset());
  engine.Hooks.LoadBitmapResource = RcData;

  TBuildProgress progress;
  ui::TApplication app;
  app.SetTitle("Installation");
  try {
    std::string name;
    const std::string definition = LoadDefinition(program, &name);
    auto* form = new ui::TmainForm(&app);
    app.SetMainForm(form);
    ReadDefinitionInto(*form, definition, name);
    if (TCustomInstall* install = CurrentInstall()) {
      // The caption of every message box, in the user's language.
      app.SetTitle(
          FormatText(LocalizeMessage("Installation of %s"), {install->Information().ProductName}));
      ArmKillPoint(*install);
      ArmCopyHold(*install, app);
      progress.Arm(*install);
    }
    WriteDestinations();
#ifdef TMBY_TEST_SWITCHES
    auto* script = dynamic_cast<platform::script::ScriptUi*>(ui.get());
    if (TCustomInstall* install = CurrentInstall(); install != nullptr && script != nullptr) {
      (new TStageRecorder(form, *script))->SetContainer(install);
    }
#endif
    form->AfterConstruction();
  } catch (const std::exception& error) {
    return ui::ShowFatalError(error);
  }

  if (const std::string after = TestSwitch("TMBY_EXIT_AFTER_MS"); !after.empty()) {
    ui->StartTimer(static_cast<uint32_t>(std::strtoul(after.c_str(), nullptr, 10)),
                   [&app] { app.Terminate(); });
  }
  const int code = app.Run();
  if (const std::string file = TestSwitch("TMBY_LINKS"); !file.empty()) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << ListInstalledLinks();
  }
  app.DestroyComponents();
  DialogRegistry().Reset();
  InstallModelShutdown();
  PathSpecifierShutdown();
  StopVersionResources();
  return code;
}
