// The dialog classes registered with the dialog registries, in order: the pages of the stages,
// the during-copy windows and the change-disk forms.
#pragma once

#include <vector>

#include "dialogs/dialog_manager.h"

namespace tmby::fixtures {

inline std::vector<const TClassInfo*> RegisteredDialogClasses() {
  std::vector<const TClassInfo*> classes;
  for (int i = 0; i < InstallFormCount(); ++i) classes.push_back(InstallFormEntry(i).FormClass);
  for (const TDCFEntry& entry : DialogRegistry().DuringCopyForms) {
    classes.push_back(entry.FormClass);
  }
  for (const TClassInfo* cls : DialogRegistry().ChangeDiskForms) classes.push_back(cls);
  return classes;
}

}  // namespace tmby::fixtures
