// Fuzzes the install definition reader with the fixture classes (every property kind, nested
// blocks, references, events). A definition that reads must write, read again and write the
// same text again.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/definition_reader.h"
#include "base/definition_writer.h"
#include "support/component_fixtures.h"

namespace {

struct Setup {
  tmby::TClassRegistry classes;
  tmby::TEventHandlers handlers;
  tmby::TDefinitionOptions options;
  Setup() {
    tmby::fixtures::RegisterFixtureClasses(classes);
    handlers.Register<tmby::fixtures::TTestNotifyEvent>("FormActivate", [](tmby::TComponent*) {});
    handlers.Register<tmby::fixtures::TTestNotifyEvent>("ItemChanged", [](tmby::TComponent*) {});
    handlers.Register<tmby::fixtures::TTestCountEvent>("Counted",
                                                       [](tmby::TComponent*, int, int&) {});
    options.Classes = &classes;
    options.Handlers = &handlers;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  tmby::fixtures::Journal().clear();
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string first;
  try {
    auto root = tmby::ReadDefinition(text, "fuzz.tmby", setup.options);
    first = tmby::WriteDefinition(*root);
  } catch (const tmby::Exception&) {
    return 0;  // a refused definition (or a value the writer cannot express) is fine
  }
  auto again = tmby::ReadDefinition(first, "written.tmby", setup.options);
  const std::string second = tmby::WriteDefinition(*again);
  if (second != first) {
    std::fprintf(stderr, "written text changed on the second round:\n%s\n---\n%s\n", first.c_str(),
                 second.c_str());
    std::abort();
  }
  return 0;
}
