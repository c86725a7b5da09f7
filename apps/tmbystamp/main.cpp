// tmbystamp [--languages DIR] ENGINE DEFINITION OUTPUT
//
// Makes a setup program: a copy of the engine program (setup.exe of the kit, or a setup program
// made earlier, whose definition is replaced) that carries the install definition. Runs on Linux
// and on Windows; needs no compiler.
//
// When the definition holds a translator, the languages of the language files in DIR (by default
// the folder "lang" beside tmbystamp, where the kit's 21 files are) go into it, so that the setup
// program speaks them (translate/language_carrier.h).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "engine/definition_carrier.h"
#include "translate/language_carrier.h"

namespace {

bool ReadAll(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

constexpr char kUsage[] =
    "usage: tmbystamp [--languages DIR] ENGINE DEFINITION OUTPUT\n"
    "       tmbystamp --help\n"
    "  ENGINE      the kit's setup.exe (or a setup program made before)\n"
    "  DEFINITION  the product's install definition (.tmby)\n"
    "  OUTPUT      the setup program to write\n"
    "  DIR         the language files for the definition's translator\n"
    "              (default: the folder lang beside tmbystamp)\n"
    "Exit code: 0 written, 1 an input could not be read or the output written, 2 wrong usage.\n";

bool AsksForHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
#ifdef _WIN32
    if (a == "/?") return true;
#endif
    if (a == "--help") return true;
  }
  return false;
}

int Usage() {
  std::cerr << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (AsksForHelp(args)) {
    std::cout << kUsage;
    return 0;
  }
  std::filesystem::path languages = std::filesystem::path(argv[0]).parent_path() / "lang";
  if (args.size() >= 2 && args[0] == "--languages") {
    languages = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.size() != 3) return Usage();
  const std::string engine_path = args[0];
  const std::string definition_path = args[1];
  const std::string output_path = args[2];
  std::string engine;
  std::string definition;
  if (!ReadAll(engine_path, &engine)) {
    std::cerr << "tmbystamp: cannot read the engine " << engine_path << "\n";
    return 1;
  }
  if (engine.size() < 2 || engine[0] != 'M' || engine[1] != 'Z') {
    std::cerr << "tmbystamp: " << engine_path << " is not a Windows program\n";
    return 1;
  }
  if (!ReadAll(definition_path, &definition)) {
    std::cerr << "tmbystamp: cannot read the definition " << definition_path << "\n";
    return 1;
  }
  if (definition.find("object ") == std::string::npos) {
    std::cerr << "tmbystamp: " << definition_path << " holds no install definition\n";
    return 1;
  }
  std::string stamped;
  size_t carried = 0;
  try {
    const tmby::TCarriedLanguages withLanguages = tmby::CarryLanguages(
        definition, [&](const std::string& name) -> std::optional<std::string> {
          std::string bytes;
          if (!ReadAll((languages / name).string(), &bytes)) return std::nullopt;
          return bytes;
        });
    for (const std::string& warning : withLanguages.Warnings) {
      std::cerr << "tmbystamp: warning: " << warning << "\n";
    }
    if (withLanguages.HasTranslator && withLanguages.Carried.empty()) {
      std::cerr << "tmbystamp: warning: no language files in " << languages.string()
                << ": the setup program shows the texts of its definition only\n";
    }
    carried = withLanguages.Carried.size();
    stamped = tmby::StampDefinition(engine, withLanguages.Definition);
  } catch (const tmby::Exception& error) {
    std::cerr << "tmbystamp: " << error.what() << "\n";
    return 1;
  }
  const std::string temp = output_path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(stamped.data(), static_cast<std::streamsize>(stamped.size()));
    out.close();
    if (!out) {
      std::remove(temp.c_str());
      std::cerr << "tmbystamp: cannot write " << output_path << "\n";
      return 1;
    }
  }
  std::remove(output_path.c_str());
  if (std::rename(temp.c_str(), output_path.c_str()) != 0) {
    std::remove(temp.c_str());
    std::cerr << "tmbystamp: cannot write " << output_path << "\n";
    return 1;
  }
  std::cout << "tmbystamp: " << output_path << " carries " << definition_path << " ("
            << definition.size() << " bytes)";
  if (carried > 0) std::cout << " and " << carried << " languages";
  std::cout << "\n";
  return 0;
}
