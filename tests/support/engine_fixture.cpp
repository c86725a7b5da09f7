#include "support/engine_fixture.h"

#include "model/install_group.h"
#include "paths/path_root_base.h"
#include "ui/ui_classes.h"

namespace tmby::testing {

EngineTest::EngineTest() {
  InstallModel().Reset();
  PathSpecifiers().Reset();
  PathSpecifierStartup();
  Engine().Reset();
  ui::RegisterUiClasses(classes);
  RegisterPathSpecifierClasses(classes);
  RegisterEngineClasses(classes);
  RegisterInstallObjectClasses(classes);
  ui::RegisterMainFormHandlers(handlers);
  RegisterEngineHandlers(handlers);
  options.Classes = &classes;
  options.Handlers = &handlers;
  Machine().SetLibrary("RICHED20.DLL", true);
}

EngineTest::~EngineTest() {
  app.DestroyComponents();
  PathSpecifierShutdown();
  InstallModel().Reset();
  Engine().Reset();
}

ui::TmainForm* EngineTest::ReadMainForm(const std::string& text, const std::string& fileName) {
  auto* form = new ui::TmainForm(&app);
  ReadDefinitionInto(*form, text, fileName, options);
  app.SetMainForm(form);
  return form;
}

}  // namespace tmby::testing
