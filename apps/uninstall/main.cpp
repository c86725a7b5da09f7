// uninstall.exe PRODUCT NAME: removes a product that a Tamberly setup program installed, by what
// the product's uninstall key records (model/uninstaller.h). Its texts are those of the user's
// language from the kit's language files, which the program carries as resources.
//
// The uninstaller that ships reads no environment variable: it runs with administrator rights.
// Its test flavour, uninstall-test.exe (TMBY_TEST_SWITCHES), takes the scripted UI from the
// environment (TMBY_UI=script, TMBY_UI_TRANSCRIPT, TMBY_UI_SCRIPT): its boxes go to the transcript
// and the answers come from the script.
#include <windows.h>
// <windows.h> first: then take back the API macros that clash with the kit's names.
#undef MessageBox
#undef DrawText
#undef TextOut

#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/path_text.h"
#include "model/uninstaller.h"
#include "platform/script/script_ui.h"
#include "platform/win32/ui_win32.h"
#include "platform/win32/win32_port.h"
#include "platform/win32/win32_program.h"
#include "translate/language.h"
#include "translate/translator.h"

namespace {

using namespace tmby;

constexpr char kUsage[] =
    "usage: uninstall.exe PRODUCT NAME\n"
    "       uninstall.exe --help | /?\n"
    "\n"
    "Removes a product that a Tamberly setup program installed. PRODUCT NAME is the name the\n"
    "product is listed under in Add/Remove Programs (its \"UninstallString\" and the "
    "uninstaller's\n"
    "link in the Start menu pass it). The uninstaller asks first; then it unregisters the\n"
    "product's servers, removes its files and links (a shared file only when no other product\n"
    "still counts it; a file in use at the next restart), the folders that are empty afterwards\n"
    "and the product's entry, and says how it went.\n"
    "Exit code: 0 removed, or the user chose to keep the product; 1 nothing was changed (the\n"
    "product is not installed, its uninstall information is damaged, or no name was given);\n"
    "2 removed except for the items the last box names.\n";

// English, and the user's language when it is another: the translator needs both to turn an
// English text into the user's.
void LoadLanguages(TTranslator& translator, platform::IPlatform& port) {
  const TTmbyLanguage user = LanguageFromLangId(port.System().UserDefaultLanguage());
  for (const TTmbyLanguage language : {tlEnglish, user}) {
    std::string name = LanguageFileName(language);
    name = name.substr(0, name.rfind('.'));
    const std::string_view bytes = platform::win32::ResourceData(name);
    if (bytes.empty()) continue;
    try {
      translator.GetLanguage(language)->SetStrings(SplitLanguageText(bytes));
    } catch (const std::exception&) {
      // A language that does not parse leaves the texts English.
    }
  }
}

std::unique_ptr<platform::IUi> MakeUi(platform::win32::ApiCharset charset) {
#ifdef TMBY_TEST_SWITCHES
  if (auto script = platform::script::ScriptUi::FromEnvironment()) return script;
#endif
  return std::make_unique<platform::win32::Win32Ui>(charset);
}

// The usage goes to standard output when there is one, else into a message box: a program
// without a console window has nowhere else to say it.
void ShowUsage(platform::IUi& ui, bool scripted) {
  if (!scripted && platform::win32::WriteStandardOutput(kUsage)) return;
  ui.MessageBox(kUsage, "Uninstall", platform::mb::kOk | platform::mb::kIconInformation);
}

}  // namespace

// The ANSI entry point: Windows 95, 98 and ME have no wide one. The arguments are read through
// the adapter's character set.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  platform::win32::Win32Platform port(platform::win32::ProgramApiCharset());
  const std::vector<std::string> arguments = platform::win32::CommandLineArguments(port.Charset());
  platform::SetPort(&port);
  std::unique_ptr<platform::IUi> ui;
  try {
    ui = MakeUi(port.Charset());
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return kUninstallNothing;
  }
  platform::ScopedUi scoped(ui.get());
  const bool scripted = dynamic_cast<platform::script::ScriptUi*>(ui.get()) != nullptr;
  if (platform::win32::AsksForHelp(arguments)) {
    ShowUsage(*ui, scripted);
    return 0;
  }
  // "UninstallString" and the link pass the product name unquoted, blanks and all, after the
  // program's path, which older entries did not quote either: the path is known by the file it
  // names, this program, in any of its spellings.
  const std::string self = port.Files().ModuleFileName();
  const std::optional<std::string> selfShort = port.Files().ShortPathName(self);
  const auto namesSelf = [&](const std::string& words) {
    for (const std::string& path : {words, words + ".exe"}) {
      if (SameText(path, self) || (selfShort && SameText(path, *selfShort))) return true;
      // A mixed spelling (a short folder and a long name) names the same short path.
      if (selfShort && port.Files().FileExists(path) &&
          SameText(port.Files().ShortPathName(path).value_or(""), *selfShort)) {
        return true;
      }
    }
    return false;
  };
  const std::string product =
      ProductFromCommandLine(platform::win32::RawCommandLine(port.Charset()), namesSelf);
  if (product.empty()) {
    ShowUsage(*ui, scripted);
    return kUninstallNothing;
  }
  TTranslator translator(nullptr);
  LoadLanguages(translator, port);
  try {
    return RunUninstall(product, self);
  } catch (const std::exception& error) {
    ui->MessageBox(error.what(), "Uninstall", platform::mb::kOk | platform::mb::kIconStop);
  }
  return kUninstallPartly;
}
