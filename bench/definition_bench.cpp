// Benchmark of reading an install definition: the time per object must not grow with the number
// of objects.
//
//   definition_bench [SCRATCH_DIR [RUNS]]
//
// A definition of the sample product's shape (the main window, the TInstall root, groups and
// directories below them, each with its container, destination and install types) is generated
// with 1,000 and with 10,000 object blocks and read into a main window as the setup program reads
// its own; the main window is then destroyed. Each size runs several times and the fastest run
// counts (processor time). The figures compared are the time per object at 10,000 objects over the
// time per object at 1,000, for reading and for destroying: 1.00 is linear; a reader that notifies
// every sibling of every insert, or an owner that tells every sibling of every removal, shows
// about 10. The exit code judges both.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "base/definition_reader.h"
#include "engine/install.h"
#include "model/install_group.h"
#include "paths/path_root_base.h"
#include "platform/memory/memory_port.h"
#include "ui/forms.h"
#include "ui/main_form.h"
#include "ui/ui_classes.h"

namespace fs = std::filesystem;

namespace {

constexpr double kLinearEnough = 1.5;

double CpuNow() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

// `objects` object blocks in all: the main window, the TInstall, and groups of ten directories.
std::string Definition(int objects) {
  std::string text =
      "object mainForm: TmainForm\n"
      "  Caption = 'Bench'\n"
      "  object Install1: TInstall\n"
      "    DestDir = '\\Bench'\n"
      "    DestDirType = psProgramFiles\n"
      "    Information.ProductName = 'Bench'\n"
      "    InstallTypes = [itFull, itCompact]\n"
      "  end\n";
  std::string group;
  for (int i = 2; i < objects; ++i) {
    const std::string n = std::to_string(i);
    if (group.empty() || i % 11 == 0) {
      group = "grp" + n;
      text += "  object " + group + ": TInstallGroup\n    Container = Install1\n";
      text += "    Description = 'Group " + n + "'\n";
    } else {
      text += "  object dir" + n + ": TInstallDirectory\n    Container = " + group + "\n";
      text += "    Description = 'Directory " + n + "'\n    DestDir = '\\Dir" + n + "'\n";
    }
    text += "    DestDirType = psContainerDestDir\n    InstallTypes = [itFull]\n  end\n";
  }
  return text + "end\n";
}

struct Figures {
  double read = 1e30;
  double destroy = 1e30;
};

Figures Measure(int objects, int runs, const tmby::TDefinitionOptions& options) {
  const std::string text = Definition(objects);
  Figures best;
  for (int run = 0; run < runs; ++run) {
    tmby::ui::TApplication app;
    auto* form = new tmby::ui::TmainForm(&app);
    double start = CpuNow();
    tmby::ReadDefinitionInto(*form, text, "bench.tmby", options);
    best.read = std::min(best.read, CpuNow() - start);
    if (form->ComponentCount() < objects - 1) {
      std::fprintf(stderr, "the main window holds %d components, not %d\n", form->ComponentCount(),
                   objects - 1);
      std::exit(1);
    }
    start = CpuNow();
    app.DestroyComponents();
    best.destroy = std::min(best.destroy, CpuNow() - start);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path scratch =
      fs::absolute(argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "tmby-def-bench");
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  fs::create_directories(scratch);
  tmby::platform::memory::MemoryPlatform port(scratch);
  tmby::platform::SetPort(&port);
  tmby::TClassRegistry classes;
  tmby::TEventHandlers handlers;
  tmby::ui::RegisterUiClasses(classes);
  tmby::RegisterPathSpecifierClasses(classes);
  tmby::RegisterEngineClasses(classes);
  tmby::RegisterInstallObjectClasses(classes);
  tmby::ui::RegisterMainFormHandlers(handlers);
  tmby::TDefinitionOptions options;
  options.Classes = &classes;
  options.Handlers = &handlers;
  tmby::PathSpecifierStartup();
  tmby::InstallModelStartup();

  std::printf("reading a definition: processor seconds, best of %d\n", runs);
  std::printf("%8s %10s %12s %10s %12s\n", "objects", "read s", "us/object", "destroy s",
              "us/object");
  const int sizes[] = {1000, 10000};
  double per_object[2] = {};
  double destroy_per_object[2] = {};
  for (int i = 0; i < 2; ++i) {
    const Figures f = Measure(sizes[i], runs, options);
    per_object[i] = f.read / sizes[i];
    destroy_per_object[i] = f.destroy / sizes[i];
    std::printf("%8d %10.3f %12.2f %10.3f %12.2f\n", sizes[i], f.read, 1e6 * f.read / sizes[i],
                f.destroy, 1e6 * f.destroy / sizes[i]);
  }
  tmby::InstallModelShutdown();
  tmby::PathSpecifierShutdown();
  tmby::platform::SetPort(nullptr);
  fs::remove_all(scratch);
  const double growth = per_object[1] / per_object[0];
  std::printf("time per object read at 10,000 over 1,000 objects: %.2f: %s (target %.2f)\n", growth,
              growth <= kLinearEnough ? "linear" : "NOT linear", kLinearEnough);
  const double destroy_growth = destroy_per_object[1] / destroy_per_object[0];
  std::printf("time per object destroyed at 10,000 over 1,000 objects: %.2f: %s (target %.2f)\n",
              destroy_growth, destroy_growth <= kLinearEnough ? "linear" : "NOT linear",
              kLinearEnough);
  return growth <= kLinearEnough && destroy_growth <= kLinearEnough ? 0 : 1;
}
