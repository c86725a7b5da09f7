// The path specifier framework: the three lists, the kinds in registration order, the creation
// of the standard instances, the expansion rule and the check at assignment.
#include "paths/path_root_base.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/definition_reader.h"
#include "paths/object_link_root.h"
#include "paths/office_roots.h"
#include "paths/shell_roots.h"
#include "paths/standard_roots.h"
#include "support/path_fixtures.h"

namespace tmby::fixtures {
namespace {

using PathFramework = PathSpecifierTest;

std::vector<std::string> NamesOf(const TPathSpecifierList& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.Count(); ++i) names.push_back(list.Items(i)->Name());
  return names;
}

TEST_F(PathFramework, SpecifiersListThemselvesForTheirLifetime) {
  auto* custom = new TCustomPathSpecifier(&Owner());
  custom->SetName("Custom");
  auto* files = new TpsProgramFiles(&Owner());
  files->SetName("Files");
  auto* link = new TpsObjectLink(&Owner());
  link->SetName("Link");
  EXPECT_EQ(NamesOf(PathSpecifiers().Specifiers),
            (std::vector<std::string>{"Custom", "Files", "Link"}));
  EXPECT_EQ(NamesOf(PathSpecifiers().Standard), (std::vector<std::string>{"Files", "Link"}));

  TComponent::Free(files);
  EXPECT_EQ(NamesOf(PathSpecifiers().Specifiers), (std::vector<std::string>{"Custom", "Link"}));
  EXPECT_EQ(NamesOf(PathSpecifiers().Standard), (std::vector<std::string>{"Link"}));

  EXPECT_EQ(MessageOf<IEPathSpecifierList>([] { PathSpecifiers().Specifiers.Add(nullptr); }),
            "Tried to add a nil object to the path specifier list");
  EXPECT_EQ(MessageOf<IEPathSpecifierList>([] { PathSpecifiers().Standard.Items(1); }),
            "List index out of bounds (1)");
  // Removing what is not listed changes nothing.
  PathSpecifiers().Standard.Remove(custom);
  EXPECT_EQ(PathSpecifiers().Standard.Count(), 1);
}

TEST_F(PathFramework, FindSpecifierReturnsTheEarliestInstanceOfTheKindOrADerivedOne) {
  CreateStandard();
  TStandardPathSpecList& standard = PathSpecifiers().Standard;
  EXPECT_EQ(standard.FindSpecifier(TStandardPathSpecifier::StaticClass())->Name(), "psBDEDLL");
  EXPECT_EQ(standard.FindSpecifier(TpsWindow::StaticClass())->Name(), "psWindow");
  EXPECT_EQ(standard.FindSpecifier("tpscontainerdestdir")->Name(), "psContainerDestDir");
  TComponent::Free(standard.FindSpecifier(TpsBDEDLL::StaticClass()));
  EXPECT_EQ(standard.FindSpecifier(TStandardPathSpecifier::StaticClass())->Name(), "psCommonFiles");

  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { standard.FindSpecifier(TpsBDEDLL::StaticClass()); }),
            "Could not find the path specifier");
  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { standard.FindSpecifier("TpsObjectLink"); }),
            "Could not find the path specifier");
  EXPECT_EQ(standard.Lookup("TpsObjectLink"), nullptr);
  EXPECT_TRUE(IsSpecifierKind(standard.FindSpecifier("TpsSystem"), "TStandardPathSpecifier"));
  EXPECT_FALSE(IsSpecifierKind(standard.FindSpecifier("TpsSystem"), "TpsWindow"));
  EXPECT_FALSE(IsSpecifierKind(nullptr, "TpsSystem"));
}

TEST_F(PathFramework, TheClassListHoldsThe35KindsInRegistrationOrder) {
  const std::vector<std::string> expected = {"TpsBDEDLL",
                                             "TpsCommonFiles",
                                             "TpsContainerArchiveFile",
                                             "TpsContainerDestDir",
                                             "TpsDesktopMenu",
                                             "TpsInstallSource",
                                             "TpsMainInstall",
                                             "TpsProgramFiles",
                                             "TpsProgramMenu",
                                             "TpsStartMenu",
                                             "TpsStartupMenu",
                                             "TpsSystem",
                                             "TpsMainArchiveFile",
                                             "TpsWindow",
                                             "TpsPrinters",
                                             "TpsRecent",
                                             "TpsSendTo",
                                             "TpsStartup",
                                             "TpsControlPanel",
                                             "TpsFavorites",
                                             "TpsBitBucket",
                                             "TpsCookies",
                                             "TpsCommonAltStartup",
                                             "TpsCommonStartup",
                                             "TpsCommonDesktopDirectory",
                                             "TpsCommonFavorites",
                                             "TpsCommonPrograms",
                                             "TpsCommonStartMenu",
                                             "TpsQuickLaunchMenu",
                                             "TpsOfficeUserTemplates",
                                             "TpsOfficeWorkgroupTemplates",
                                             "TpsOfficeClipartDirectory",
                                             "TpsOfficeStartupDirectory",
                                             "TpsOfficeToolsDirectory",
                                             "TpsOfficeFavoritesDirectory"};
  const TPathSpecifierClassList& classes = PathSpecifiers().Classes;
  std::vector<std::string> names;
  for (int i = 0; i < classes.Count(); ++i) names.push_back(classes.Items(i)->Name());
  EXPECT_EQ(names, expected);

  EXPECT_EQ(MessageOf<IEPathSpecifierClassList>([] { PathSpecifiers().Classes.Add(nullptr); }),
            "Tried to add a nil object to the path specifier list");
  EXPECT_EQ(MessageOf<IEPathSpecifierClassList>([] { PathSpecifiers().Classes.Items(35); }),
            "List index out of bounds (35)");
}

TEST_F(PathFramework, StartUpAndShutDownPairUp) {
  PathSpecifierStartup();  // a second start-up changes nothing
  EXPECT_EQ(PathSpecifiers().Classes.Count(), 35);
  PathSpecifierShutdown();
  EXPECT_EQ(PathSpecifiers().Classes.Count(), 35);
  PathSpecifierShutdown();  // the last one
  EXPECT_EQ(PathSpecifiers().Classes.Count(), 0);
  PathSpecifierShutdown();  // unmatched: ignored
  EXPECT_EQ(PathSpecifiers().StartupCount, 0);
  // Without registered kinds nothing is created.
  CreateStandard();
  EXPECT_EQ(Owner().ComponentCount(), 0);
  PathSpecifierStartup();  // for the fixture's own shut-down
}

TEST_F(PathFramework, TheFirstCallCreatesOneNamedInstanceOfEveryKindAndLaterOnesNone) {
  TStandardPathSpecList& standard = PathSpecifiers().Standard;
  standard.CreateStandardSpecifiers(nullptr, nullptr, true);  // no owner: nothing
  EXPECT_EQ(standard.Count(), 0);

  CreateStandard();
  ASSERT_EQ(Owner().ComponentCount(), 35);
  for (int i = 0; i < Owner().ComponentCount(); ++i) {
    auto* specifier = dynamic_cast<TCustomPathSpecifier*>(Owner().Components(i));
    ASSERT_NE(specifier, nullptr);
    EXPECT_EQ(specifier->Name(), specifier->SpecifierName);
    EXPECT_EQ(specifier->ClassInfo().Name(), PathSpecifiers().Classes.Items(i)->Name());
  }
  EXPECT_EQ(Owner().Components(0)->Name(), "psBDEDLL");
  EXPECT_EQ(Owner().Components(34)->Name(), "psOfficeFavoritesDirectory");

  CreateStandard();
  EXPECT_EQ(Owner().ComponentCount(), 35);

  // Only the missing kinds come back.
  TComponent::Free(Standard<TpsSystem>());
  TComponent::Free(Standard<TpsQuickLaunchMenu>());
  CreateStandard();
  EXPECT_EQ(Owner().ComponentCount(), 35);
  EXPECT_EQ(Standard<TpsSystem>()->Name(), "psSystem");

  // Without the flag a full set is made for another owner.
  TOwned<TComponent> other(new TComponent(nullptr));
  standard.CreateStandardSpecifiers(nullptr, other.get(), false);
  EXPECT_EQ(other->ComponentCount(), 35);
  EXPECT_EQ(standard.Count(), 70);
  other.reset();
  EXPECT_EQ(standard.Count(), 35);
}

TEST_F(PathFramework, AnInstanceThatCannotTakeItsNameIsFreedAndTheFailurePassedOn) {
  auto* squatter = new TComponent(&Owner());
  squatter->SetName("psSystem");
  EXPECT_EQ(MessageOf<EComponentError>([&] { CreateStandard(); }),
            "A component named psSystem already exists");
  // The kinds before psSystem were made; the failed one is gone, nothing after it exists.
  EXPECT_EQ(PathSpecifiers().Standard.Count(), 11);
  EXPECT_EQ(PathSpecifiers().Standard.Lookup("TpsSystem"), nullptr);
  EXPECT_EQ(Owner().ComponentCount(), 12);
}

TEST_F(PathFramework, TheBaseDescribesItselfAsUnspecifiedAndAsksItsHook) {
  TCustomPathSpecifier custom(&Owner());
  EXPECT_EQ(custom.GetDescription(), "Unspecified");
  EXPECT_EQ(custom.GetShortCaption(), "Unspecified");
  EXPECT_EQ(custom.GetDescriptionFor(&Owner()), "Unspecified");
  EXPECT_EQ(custom.GetShortCaptionFor(nullptr), "Unspecified");
  EXPECT_EQ(custom.GetPath(&Owner()), "");
  custom.CheckUsableFor(nullptr);  // accepts everything

  TPersistent* asked = nullptr;
  custom.OnGetPath = [&](TPersistent* object, std::string& path) {
    asked = object;
    path = "E:\\Hooked";
  };
  EXPECT_EQ(custom.GetPath(&Owner()), "E:\\Hooked");
  EXPECT_EQ(asked, &Owner());
}

TEST_F(PathFramework, EveryKindCarriesItsNameDescriptionAndShortCaption) {
  struct Row {
    const char* kind;
    const char* name;
    const char* description;
    const char* caption;
  };
  const Row rows[] = {
      {"TpsBDEDLL", "psBDEDLL", "Borland Database Engine DLL Path", "BDE DLL"},
      {"TpsCommonFiles", "psCommonFiles",
       "Path of the common files directory under the program files directory", "Common files"},
      {"TpsContainerArchiveFile", "psContainerArchiveFile",
       "Path to the archive file of the container", "Container archive file"},
      {"TpsContainerDestDir", "psContainerDestDir", "Path of the group (container)",
       "Path of the group (container)"},
      {"TpsDesktopMenu", "psDesktopMenu", "Path of the Desktop", "Desktop"},
      {"TpsInstallSource", "psInstallSource", "Path from which the user ran the install",
       "Install source"},
      {"TpsMainInstall", "psMainInstall", "Main installation directory", "Main install dir"},
      {"TpsProgramFiles", "psProgramFiles", "Path of the program files directory", "Program files"},
      {"TpsProgramMenu", "psProgramMenu", "Path of the Programs folder under the Start Menu",
       "Program menu"},
      {"TpsStartMenu", "psStartMenu", "Path of Start Menu", "Start menu"},
      {"TpsStartupMenu", "psStartupMenu",
       "Path of the Startup folder in the Programs folder under the Start Menu", "Startup menu"},
      {"TpsSystem", "psSystem", "Path of system directory", "System dir"},
      {"TpsMainArchiveFile", "psMainArchiveFile",
       "Archive containing most or all non-internet installation files", "Main archive"},
      {"TpsWindow", "psWindow", "Path of the Windows directory", "Windows dir"},
      {"TpsPrinters", "psPrinters", "virtual folder containing installed printers",
       "Installed Printers"},
      {"TpsRecent", "psRecent", "Recently Used Documents", "Recently Used"},
      {"TpsSendTo", "psSendTo", "Send To Menu", "Send To"},
      {"TpsStartup", "psStartup", "User Startup", "Startup"},
      {"TpsControlPanel", "psControlPanel", "Control Panel", "Control Panel"},
      {"TpsFavorites", "psFavorites", "Favorites", "Favorites"},
      {"TpsBitBucket", "psBitBucket", "Recycle bin", "Recycle bin"},
      {"TpsCookies", "psCookies", "Cookies", "Cookies"},
      {"TpsCommonAltStartup", "psCommonAltStartup",
       "Alternate Startup folder for (All Users profile)", "Common Alternate Startup folder"},
      {"TpsCommonStartup", "psCommonStartup", "Common Startup directory", "Common Startup"},
      {"TpsCommonDesktopDirectory", "psCommonDesktopDirectory", "Common Desktop Directory",
       "Common Desktop"},
      {"TpsCommonFavorites", "psCommonFavorites", "Common Favorites", "Common Favorites"},
      {"TpsCommonPrograms", "psCommonPrograms", "Common Programs", "Common Programs"},
      {"TpsCommonStartMenu", "psCommonStartMenu", "Common Start Menu", "Common Start Menu"},
      {"TpsQuickLaunchMenu", "psQuickLaunchMenu", "Path of the Quick Launch Toolbar Menu",
       "Quick Launch Toolbar menu"},
      {"TpsOfficeUserTemplates", "psOfficeUserTemplates",
       "Path to the MS Office User Templates directory", "User Templates"},
      {"TpsOfficeWorkgroupTemplates", "psOfficeWorkgroupTemplates",
       "Path to the MS Office Workgroup Templates directory", "Workgroup Templates"},
      {"TpsOfficeClipartDirectory", "psOfficeClipartDirectory",
       "Path to the MS Office Clipart directory", "Office Clipart dir"},
      {"TpsOfficeStartupDirectory", "psOfficeStartupDirectory",
       "Path to the MS Office Startup directory", "Office Startup dir"},
      {"TpsOfficeToolsDirectory", "psOfficeToolsDirectory", "Path to the MS Office Tools directory",
       "Office Tools dir"},
      {"TpsOfficeFavoritesDirectory", "psOfficeFavoritesDirectory",
       "Path to the MS Office Favorites directory", "Office Favorites dir"},
  };
  CreateStandard();
  new TpsObjectLink(&Owner());
  for (const Row& row : rows) {
    TCustomPathSpecifier* s = PathSpecifiers().Standard.FindSpecifier(row.kind);
    EXPECT_EQ(s->SpecifierName, row.name) << row.kind;
    EXPECT_EQ(s->GetDescription(), row.description) << row.kind;
    EXPECT_EQ(s->GetShortCaption(), row.caption) << row.kind;
    EXPECT_EQ(s->GetDescriptionFor(nullptr), row.description) << row.kind;
  }
  TCustomPathSpecifier* link = PathSpecifiers().Standard.FindSpecifier("TpsObjectLink");
  EXPECT_EQ(link->SpecifierName, "psObjectLink");
  EXPECT_EQ(link->GetDescription(), "Path of the file or file group in the ObjectLink property");
  EXPECT_EQ(link->GetShortCaption(), link->GetDescription());
}

TEST_F(PathFramework, ExpansionJoinsTheRootAndTheRelativePathWithoutTrailingBackslash) {
  CreateStandard();
  auto* install = MakeInstall();
  EXPECT_EQ(install->GetDestPath(), "C:\\Program Files\\Lakeside");
  install->SetDestDir("\\");
  EXPECT_EQ(install->GetDestPath(), "C:\\Program Files");
  install->SetDestDir("");
  EXPECT_EQ(install->GetDestPath(), "C:\\Program Files");
  install->SetDestDirType(nullptr);
  EXPECT_EQ(install->GetDestPath(), "");
  install->SetDestDir("E:\\Elsewhere\\");
  EXPECT_EQ(install->GetDestPath(), "E:\\Elsewhere");

  // Each level of a tree below the install adds its own part.
  install->SetDestDirType(Standard<TpsProgramFiles>());
  install->SetDestDir("\\Lakeside");
  auto* group = Make<TInstallGroup>("Group1", install);
  group->SetDestDirType(Standard<TpsContainerDestDir>());
  group->SetDestDir("\\Notes");
  auto* dir = Make<TInstallDirectory>("Dir1", group);
  dir->SetDestDirType(Standard<TpsContainerDestDir>());
  dir->SetDestDir("\\Help\\");
  auto* file = Make<TPathTestFile>("File1", dir);
  file->SetDestDirType(Standard<TpsContainerDestDir>());
  file->SetDestDir("\\en");
  EXPECT_EQ(file->GetDestPath(), "C:\\Program Files\\Lakeside\\Notes\\Help\\en");
}

TEST_F(PathFramework, AMisusedSpecifierFailsAtAssignmentButOnlyAtExpansionWhenLoaded) {
  CreateStandard();
  auto* install = MakeInstall();
  const char kSelf[] = "Cannot use the ddMainInstallDir path specifier for a TInstall component";
  EXPECT_EQ(
      MessageOf<IEPathSpecifier>([&] { install->SetDestDirType(Standard<TpsMainInstall>()); }),
      kSelf);
  EXPECT_EQ(install->DestDirType(), Standard<TpsProgramFiles>());  // unchanged

  // While the definition is read the setter only stores; the check comes with the expansion.
  install->SetLoading(true);
  install->SetDestDirType(Standard<TpsMainInstall>());
  install->Loaded();
  EXPECT_EQ(install->DestDirType(), Standard<TpsMainInstall>());
  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { install->GetDestPath(); }), kSelf);
}

TEST_F(PathFramework, DefinitionsNameTheInstancesAndTheirKinds) {
  TClassRegistry classes;
  classes.Register(TComponent::StaticClass());
  RegisterInstallObjectClasses(classes);
  RegisterPathSpecifierClasses(classes);
  TDefinitionOptions options;
  options.Classes = &classes;

  TOwned<TComponent> root = ReadDefinition(
      "object Main: TComponent\n"
      "  object psProgramFiles: TpsProgramFiles\n"
      "    SpecifierName = 'psProgramFiles'\n"
      "  end\n"
      "  object psMainInstall: TpsMainInstall end\n"
      "  object Dir1: TInstallDirectory\n"
      "    DestDir = '\\Docs'\n"
      "    DestDirType = psMainInstall\n"
      "  end\n"
      "end\n",
      "product.tmby", options);
  ASSERT_EQ(PathSpecifiers().Standard.Count(), 2);
  EXPECT_EQ(Standard<TpsProgramFiles>()->Name(), "psProgramFiles");
  EXPECT_EQ(Standard<TpsMainInstall>()->Owner(), root.get());
  auto* dir = dynamic_cast<TInstallDirectory*>(root->FindComponent("Dir1"));
  ASSERT_NE(dir, nullptr);
  // Read without a TInstall in the program: the misuse shows when the path is expanded.
  EXPECT_EQ(dir->DestDirType(), Standard<TpsMainInstall>());
  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { dir->GetDestPath(); }),
            "There is no TInstall component so the path specifier could not be expanded for "
            "Dir1");
  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { dir->SetDestDirType(Standard<TpsMainInstall>()); }),
            "There is no TInstall component so the path specifier could not be expanded for "
            "Dir1");
  root.reset();
  EXPECT_EQ(PathSpecifiers().Specifiers.Count(), 0);
}

}  // namespace
}  // namespace tmby::fixtures
