// TamberlyLoadProgram.exe, the loading program: the build copies it to a distribution's setup.exe
// and appends the archives, the trailer and the checksum. Started, it checks its own file, unpacks
// the setup engine and the pre-setup files into a fresh temporary folder, starts the engine with
// -s, -e and -c and waits for it; its exit code is the engine's. The rules it follows, and the
// folder and command line it hands over, are in archive/self_extract.h.
//
// The loader that ships reads no environment variable: it runs with administrator rights, and a
// variable naming a transcript file would let anyone make it write a file anywhere. Its test
// flavour, TamberlyLoadProgram-test.exe (TMBY_TEST_SWITCHES), writes its message boxes into the
// scripted UI's transcript under TMBY_UI=script (TMBY_UI_TRANSCRIPT, else standard error).
#include <windows.h>
// <windows.h> first: then take back the API macro that clashes with the kit's name.
#undef MessageBox

#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "archive/self_extract.h"
#ifdef TMBY_TEST_SWITCHES
#include "platform/script/script_transcript.h"
#endif
#include "platform/ui_port.h"
#include "platform/win32/win32_internal.h"
#include "platform/win32/win32_port.h"
#include "platform/win32/win32_program.h"

namespace {

using namespace tmby;
using platform::win32::ApiCharset;

constexpr char kCaption[] = "Setup";
constexpr int kFailed = 1;

constexpr char kUsage[] =
    "usage: setup.exe [ARGUMENTS...]\n"
    "       setup.exe --help | /?\n"
    "\n"
    "The loading program of a Tamberly distribution (the kit's TamberlyLoadProgram.exe, which the\n"
    "build copies to setup.exe). It checks its own file (trailer, signature, SHA-0 checksum),\n"
    "unpacks the setup program and the pre-setup files from setup.1 into a fresh folder TMBYxxxx\n"
    "in the temporary folder, starts the setup program there with\n"
    "  -s<folder of setup.exe> -e<file name of setup.exe> -c [ARGUMENTS...]\n"
    "(-e only when setup.1 is inside setup.exe; *TODISK is passed on as -f, the transfer to\n"
    "floppy disks) and waits for it. Exit code: the setup program's; 1 when setup.exe is damaged\n"
    "or incomplete, or the setup program could not be unpacked or started (a message box says\n"
    "why).\n";

#ifdef TMBY_TEST_SWITCHES
// The lines of a message box in the scripted UI's transcript. The loader's boxes have the one
// button OK, which is also their answer.
void WriteTranscript(const std::string& text, uint32_t flags) {
  std::string lines;
  for (const std::string& line : platform::script::MessageBoxLines(text, kCaption, flags)) {
    lines += line + "\n";
  }
  lines += platform::script::MessageBoxAnswerLine(platform::id::kOk, false) + "\n";
  HANDLE out = GetStdHandle(STD_ERROR_HANDLE);
  bool owned = false;
  if (const wchar_t* path = _wgetenv(L"TMBY_UI_TRANSCRIPT"); path != nullptr && *path != L'\0') {
    out = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
    owned = true;
  }
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(out, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
  if (owned) CloseHandle(out);
}

bool Scripted() { return platform::script::ScriptUiRequested(); }
#else
bool Scripted() { return false; }
#endif

void ShowMessage(ApiCharset charset, const std::string& text, uint32_t icon) {
  const uint32_t flags = platform::mb::kOk | icon;
#ifdef TMBY_TEST_SWITCHES
  if (Scripted()) {
    WriteTranscript(text, flags);
    return;
  }
#endif
  if (charset == ApiCharset::Ansi) {
    MessageBoxA(nullptr, platform::win32::AnsiText(text).c_str(), kCaption,
                flags | MB_SETFOREGROUND);
  } else {
    MessageBoxW(nullptr, platform::win32::Wide(text).c_str(),
                platform::win32::Wide(kCaption).c_str(), flags | MB_SETFOREGROUND);
  }
}

// The usage goes to standard output when there is one (a console, a pipe or a file), else into
// a message box: a program without a console window has nowhere else to say it. Under the
// scripted UI it goes to the transcript, as every box would.
void ShowUsage(ApiCharset charset) {
  if (!Scripted() && platform::win32::WriteStandardOutput(kUsage)) return;
  ShowMessage(charset, kUsage, platform::mb::kIconInformation);
}

// Where the desktop is a process of its own that starts when a program first asks for it (under
// Wine, the first window of a session waits about a quarter of a second for it), the setup
// program's first window would wait for it after the check. Asked for on a thread of its own, it
// starts while the loader checks its file. On Windows the call returns at once. The loader ends
// only after that thread: a process that ends while one of its threads is still connecting to the
// window system can hang in its exit (seen under Wine when a damaged setup.exe is refused at once).
class TDesktopStarter {
 public:
  TDesktopStarter() : thread_(CreateThread(nullptr, 0, Start, nullptr, 0, nullptr)) {}
  ~TDesktopStarter() {
    if (thread_ == nullptr) return;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  TDesktopStarter(const TDesktopStarter&) = delete;
  TDesktopStarter& operator=(const TDesktopStarter&) = delete;

 private:
  static DWORD WINAPI Start(LPVOID) {
    GetDesktopWindow();
    return 0;
  }
  HANDLE thread_;
};

int Run(platform::IPlatform& port, const std::vector<std::string>& arguments) {
  auto& files = port.Files();
  const std::optional<std::string> temp = files.TempPath();
  if (!temp) throw ELoadingProgram("Cannot find the temporary folder of this user");
  const TUnpackedSetup setup =
      UnpackSetup(files.ModuleFileName(), *temp, GetCurrentProcessId() ^ GetTickCount());
  platform::LaunchRequest request;
  request.application_name = setup.Engine;
  request.command_line = EngineCommandLine(setup, arguments);
  request.current_directory = *temp;
  request.show_mode = platform::show::kNormal;
  auto& processes = port.Processes();
  std::unique_ptr<platform::IProcess> engine = processes.Create(request);
  if (!engine) {
    const uint32_t code = processes.LastError();
    RemoveLoaderFolder(setup.Folder);
    throw ELoadingProgram("Cannot start the setup program \"%s\": %s",
                          {setup.Engine, port.System().ErrorText(code)});
  }
  engine->WaitForExit(platform::kInfinite);
  const int code = static_cast<int>(engine->ExitCode().value_or(0));
  // The floppy transfer ends the engine before any run, so its cleanup never comes: the folder
  // goes now. After an install the engine owns the folder: a continuation after a restart
  // starts it from there again, and its own cleanup removes it.
  if (AsksForFloppies(arguments)) RemoveLoaderFolder(setup.Folder);
  return code;
}

}  // namespace

// The ANSI entry point: Windows 95, 98 and ME have no wide one. The arguments are read through
// the adapter's character set.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  platform::win32::Win32Platform port(platform::win32::ProgramApiCharset());
  const std::vector<std::string> arguments = platform::win32::CommandLineArguments(port.Charset());
  if (platform::win32::AsksForHelp(arguments)) {
    ShowUsage(port.Charset());
    return 0;
  }
  platform::SetPort(&port);
  const TDesktopStarter desktop;
  try {
    return Run(port, arguments);
  } catch (const std::exception& error) {
    ShowMessage(port.Charset(), error.what(), platform::mb::kIconStop);
  }
  return kFailed;
}
