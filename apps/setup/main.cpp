// The setup engine's program entry: installs the port and the UI, creates the main window from
// the install definition the program carries, and runs the message loop.
//
// Environment variables (see README.md):
//   TMBY_UI, TMBY_UI_TRANSCRIPT, TMBY_UI_SCRIPT  the scripted UI (platform/script/script_ui.h)
//   TMBY_DEFINITION   read the install definition from this file instead of the program's own
//   TMBY_EXIT_AFTER_MS  end the program after that many milliseconds (demo, smoke tests)
// First: it includes <windows.h> and takes back the API macros that clash with the kit's names.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>

#include "base/definition_reader.h"
#include "platform/script/script_ui.h"
#include "platform/win32/ui_win32.h"
#include "platform/win32/win32_port.h"
#include "ui/backdrop.h"
#include "ui/fatal_error.h"
#include "ui/main_form.h"
#include "ui/ui_classes.h"

namespace {

using namespace tmby;

// The definition text and the name it is reported under.
struct Definition {
  std::string text;
  std::string name;
};

Definition LoadDefinition() {
  if (const char* file = std::getenv("TMBY_DEFINITION"); file != nullptr && *file != '\0') {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw Exception(std::string("Cannot open the install definition \"") + file + "\"");
    return {std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()),
            file};
  }
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(module, L"TMBY_DEFINITION", MAKEINTRESOURCEW(10));  // RT_RCDATA
  HGLOBAL data = info != nullptr ? LoadResource(module, info) : nullptr;
  const void* bytes = data != nullptr ? LockResource(data) : nullptr;
  if (bytes == nullptr) throw Exception("The program carries no install definition");
  return {std::string(static_cast<const char*>(bytes), SizeofResource(module, info)),
          "TMBY_DEFINITION"};
}

std::unique_ptr<platform::IUi> MakeUi(platform::IPlatform& port) {
  platform::script::ScriptUiOptions options;
  const platform::ScreenInfo screen = port.System().Screen();
  options.screen = {screen.width, screen.height};
  options.bits_per_pixel = screen.bits_per_pixel;
  const std::string module = port.Files().ModuleFileName();
  options.module_name = module.substr(module.find_last_of("\\/") + 1);
  if (auto script = platform::script::ScriptUi::FromEnvironment(options)) return script;
  return std::make_unique<platform::win32::Win32Ui>();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  platform::win32::Win32Platform port;
  platform::SetPort(&port);
  std::unique_ptr<platform::IUi> ui;
  try {
    ui = MakeUi(port);
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 2;
  }
  platform::ScopedUi scoped(ui.get());
  ui::RegisterUiClasses(ClassRegistry());
  ui::RegisterMainFormHandlers(EventHandlers());

  ui::TApplication app;
  app.SetTitle("Installation of Lakeside Notes");
  ui::TmainForm* form = nullptr;
  try {
    const Definition definition = LoadDefinition();
    form = new ui::TmainForm(&app);
    ReadDefinitionInto(*form, definition.text, definition.name);
    app.SetMainForm(form);
    form->AfterConstruction();
  } catch (const std::exception& error) {
    return ui::ShowFatalError(error);
  }

  // The engine's activation hook: the first activation runs the form's handler, maximizes the
  // window and starts the run; later activations start nothing.
  ui::TFirstActivation first_activation(*form, true, [] {});

  if (const char* after = std::getenv("TMBY_EXIT_AFTER_MS")) {
    ui->StartTimer(static_cast<uint32_t>(std::strtoul(after, nullptr, 10)),
                   [&app] { app.Terminate(); });
  }
  const int code = app.Run();
  app.DestroyComponents();
  return code;
}
