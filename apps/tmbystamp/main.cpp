// tmbystamp ENGINE DEFINITION OUTPUT
//
// Makes a setup program: a copy of the engine program (setup.exe of the kit, or a setup program
// made earlier, whose definition is replaced) that carries the install definition. Runs on Linux
// and on Windows; needs no compiler.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "engine/definition_carrier.h"
#include "base/exceptions.h"

namespace {

bool ReadAll(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

int Usage() {
  std::cerr << "usage: tmbystamp ENGINE DEFINITION OUTPUT\n"
               "  ENGINE      the kit's setup.exe (or a setup program made before)\n"
               "  DEFINITION  the product's install definition (.tmby)\n"
               "  OUTPUT      the setup program to write\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return Usage();
  const std::string engine_path = argv[1];
  const std::string definition_path = argv[2];
  const std::string output_path = argv[3];
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
  try {
    stamped = tmby::StampDefinition(engine, definition);
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
            << definition.size() << " bytes)\n";
  return 0;
}
