// The fixture of the engine tests: a simulated machine, the path specifier framework started, the
// classes and handlers a setup program registers, and an application whose main window reads an
// install definition as the program entry does.
#pragma once

#include <string>

#include "base/definition_reader.h"
#include "engine/install.h"
#include "support/memory_machine.h"
#include "ui/forms.h"
#include "ui/main_form.h"

namespace tmby::testing {

class EngineTest : public MemoryMachineTest {
 protected:
  EngineTest();
  ~EngineTest() override;

  // Reads `text` into a new main window of the application, which becomes its main form.
  ui::TmainForm* ReadMainForm(const std::string& text, const std::string& fileName);

  TClassRegistry classes;
  TEventHandlers handlers;
  TDefinitionOptions options;
  ui::TApplication app;
};

}  // namespace tmby::testing
