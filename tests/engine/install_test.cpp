#include "engine/install.h"

#include <gtest/gtest.h>

#include <sstream>

#include "base/definition_reader.h"
#include "base/definition_writer.h"
#include "engine/destination_listing.h"
#include "model/install_group.h"
#include "net/net_location.h"
#include "paths/path_root_base.h"
#include "paths/standard_roots.h"
#include "platform/script/script_ui.h"
#include "support/engine_fixture.h"
#include "ui/main_form.h"
#include "ui/ui_classes.h"

namespace tmby {
namespace {

using platform::script::ScriptUi;

class InstallTest : public testing::EngineTest {
 protected:
  InstallTest() { Engine().ProgramPath = "C:\\Temp\\Setup\\setup.exe"; }

  // Reads a main window holding `body` (after its specifiers) as the program entry does.
  ui::TmainForm* Build(const std::string& body) {
    ui::TmainForm* form = ReadMainForm(
        "object mainForm: TmainForm\n"
        "  OnActivate = FormActivate\n"
        "  object psProgramFiles: TpsProgramFiles\n  end\n"
        "  object psMainArchiveFile: TpsMainArchiveFile\n  end\n" +
            body + "end\n",
        "test.tmby");
    form->AfterConstruction();
    return form;
  }
  std::string ErrorOf(const std::string& body) {
    try {
      Build(body);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }

  std::ostringstream transcript;
};

TEST_F(InstallTest, DefaultsOfANewInstall) {
  ScriptUi ui(&transcript, {});
  platform::ScopedUi scoped(&ui);
  Build("  object Install1: TInstall\n  end\n");
  TCustomInstall* install = CurrentInstall();
  ASSERT_NE(install, nullptr);
  EXPECT_TRUE(install->AutoMaximizeWindow());
  EXPECT_FALSE(install->HideMainForm());
  EXPECT_TRUE(install->RunAutomatic);
  EXPECT_TRUE(install->UseLoadingProgram());
  EXPECT_FALSE(install->NoUninstall);
  EXPECT_EQ(install->DistributeType(), dtTraditional);
  EXPECT_EQ(install->DestDir(), "\\MyApplication");
  EXPECT_EQ(install->DestDirType(), PathSpecifiers().Standard.Lookup("TpsProgramFiles"));
  EXPECT_EQ(install->ArchiveFileType(), PathSpecifiers().Standard.Lookup("TpsMainArchiveFile"));
  EXPECT_EQ(install->ArchiveFile(), "");
  EXPECT_EQ(install->Description, "TInstall component");
  EXPECT_EQ(install->InstallTypes(), TInstallTypeSet{itFull});
  EXPECT_EQ(install->Information().CompanyName, "My Company");
  EXPECT_EQ(install->Information().ProductName, "My product");
  EXPECT_EQ(install->Information().Version, "1.0");
  EXPECT_EQ(install->PasswordInfo().PasswordTries(), 3);
  EXPECT_EQ(install->BuildInfo().BuildDirectory, "c:\\build");
  EXPECT_EQ(install->BuildInfo().OCXName, "tbsetup");
  EXPECT_EQ(install->BuildInfo().TmbyVersion(), "5.20.00");
  EXPECT_FALSE(install->FireAfterInstallObjects);
  EXPECT_EQ(install->SourceDir(), "C:\\Temp\\Setup");
  EXPECT_EQ(install->GetDestPath(),
            Machine().Files().CurrentDir().substr(0, 2) + "\\Program Files\\MyApplication");
}

TEST_F(InstallTest, ASecondInstallRootFailsWithTheExactMessage) {
  EXPECT_EQ(ErrorOf("  object Install1: TInstall\n  end\n  object Install2: TInstall\n  end\n")
                .find("The TInstall component does not currently support the use of 2 TInstall "
                      "components in the same project"),
            0u);
}

TEST_F(InstallTest, AnInstallRootNeedsAFormAsOwner) {
  TComponent owner(nullptr);
  EXPECT_THROW(TInstall install(&owner), IEInstall);
  EXPECT_THROW(TInstall install(nullptr), IEInstall);
  EXPECT_EQ(CurrentInstall(), nullptr);
}

TEST_F(InstallTest, TheInitialInstallTypeFollowsTheOfferedTypes) {
  const struct {
    const char* types;
    TInstallType expected;
  } cases[] = {{"[itFull, itCompact]", itCompact},
               {"[itDefault, itCompact]", itDefault},
               {"[itFull]", itFull},
               {"[itCustom]", itFull}};
  for (const auto& c : cases) {
    app.DestroyComponents();
    Build(std::string("  object Install1: TInstall\n    InstallTypes = ") + c.types +
          "\n  end\n  object Group1: TInstallGroup\n    Container = Install1\n  end\n");
    EXPECT_EQ(CurrentInstall()->SelectedInstallType(), c.expected) << c.types;
    auto* group = dynamic_cast<TInstallContainer*>(app.MainForm()->FindComponent("Group1"));
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->SelectedInstallType(), c.expected) << c.types;
  }
}

TEST_F(InstallTest, CoupledFlagsStayAsStoredWhileReadingAndCoupleAfterwards) {
  ScriptUi ui(&transcript, {});
  platform::ScopedUi scoped(&ui);
  ui::TmainForm* form = Build(
      "  object Install1: TInstall\n    AutoMaximizeWindow = True\n    HideMainForm = True\n"
      "  end\n");
  TCustomInstall* install = CurrentInstall();
  EXPECT_TRUE(install->AutoMaximizeWindow());
  EXPECT_TRUE(install->HideMainForm());
  // Hidden: moved off screen by twice its size.
  EXPECT_EQ(form->Left(), -2 * form->Width());
  EXPECT_EQ(form->Top(), -2 * form->Height());
  install->SetAutoMaximizeWindow(true);
  EXPECT_FALSE(install->HideMainForm());
  install->SetHideMainForm(true);
  EXPECT_FALSE(install->AutoMaximizeWindow());
}

TEST_F(InstallTest, PasswordIsKeptAsItsDigestAndTriesHaveAFloor) {
  Build(
      "  object Install1: TInstall\n    PasswordInfo.Password = '$ABC'\n"
      "    PasswordInfo.PasswordTries = -4\n  end\n");
  TPasswordInfo& info = CurrentInstall()->PasswordInfo();
  EXPECT_EQ(info.Password(), "$ABC");  // read back as stored
  EXPECT_EQ(info.PasswordTries(), 1);
  info.SetPassword("abc");
  EXPECT_EQ(info.Password(), "$A9993E364706816ABA3E25717850C26C9CD0D89D");
  info.SetPasswordTries(0);
  EXPECT_EQ(info.PasswordTries(), 1);
  info.SetPasswordTries(5);
  EXPECT_EQ(info.PasswordTries(), 5);
}

TEST_F(InstallTest, PresetupFilesDropBlankLines) {
  Build(
      "  object Install1: TInstall\n    PresetupFiles = ( 'a.dll' '   ' '' 'b.txt;x' )\n"
      "  end\n");
  EXPECT_EQ(CurrentInstall()->PresetupFiles(), (TStrings{"a.dll", "b.txt;x"}));
}

TEST_F(InstallTest, DistributeTypeIsDesignTimeOnlyAndNeedsANetLocation) {
  Build("  object Install1: TInstall\n    DistributeType = dtWeb\n  end\n");
  TCustomInstall* install = CurrentInstall();
  EXPECT_EQ(install->DistributeType(), dtWeb);  // stored while reading
  try {
    install->SetDistributeType(dtTraditional);
    FAIL();
  } catch (const IEInstall& e) {
    EXPECT_STREQ(e.what(), "DistributeType can only be set at design-time");
  }
  install->SetDesigning(true);
  try {
    install->SetDistributeType(dtTraditionalNet);
    FAIL();
  } catch (const IEInstallNetLocNil& e) {
    EXPECT_STREQ(e.what(),
                 "Must assign a net location via the NetLocation property before you can set the "
                 "distribute type");
  }
  install->SetDistributeType(dtTraditional);
  EXPECT_EQ(install->DistributeType(), dtTraditional);
}

TEST_F(InstallTest, NetLocationIsTheProcessWideCurrentLocationUntilItGoes) {
  NetLocations().Reset();
  Build(
      "  object NetLoc1: TNetInstallLocation\n"
      "    LoginInformation.Anonymous = False\n"
      "    LoginInformation.Hostname = 'files.example:8080'\n"
      "    LoginInformation.Protocol = ipFTP\n"
      "  end\n"
      "  object Install1: TInstall\n    DistributeType = dtWeb\n    NetLocation = NetLoc1\n"
      "  end\n");
  TCustomInstall* install = CurrentInstall();
  auto* location = dynamic_cast<TNetInstallLocation*>(install->NetLocation());
  ASSERT_NE(location, nullptr);
  EXPECT_EQ(NetLocations().Current, location);
  EXPECT_EQ(location->LoginInformation().Hostname, "files.example:8080");
  EXPECT_EQ(location->LoginInformation().Protocol, ipFTP);
  EXPECT_FALSE(location->LoginInformation().Anonymous);
  TComponent::Free(location);
  EXPECT_EQ(install->NetLocation(), nullptr);
  EXPECT_EQ(NetLocations().Current, nullptr);
  EXPECT_EQ(install->DistributeType(), dtTraditional);
}

TEST_F(InstallTest, UseLoadingProgramResetsTheArchiveOutsideReading) {
  Build("  object Install1: TInstall\n  end\n");
  TCustomInstall* install = CurrentInstall();
  install->SetArchiveFileType(nullptr);
  install->SetArchiveFile("\\files.1");
  EXPECT_EQ(install->ArchiveFile(), "\\files.1");
  install->SetUseLoadingProgram(true);
  EXPECT_EQ(install->ArchiveFileType(), PathSpecifiers().Standard.Lookup("TpsMainArchiveFile"));
  EXPECT_EQ(install->ArchiveFile(), "");
}

TEST_F(InstallTest, DebugSwitchWithoutSourceFailsAndSourceSwitchSetsTheSource) {
  Engine().Arguments = {"-d"};
  EXPECT_EQ(ErrorOf("  object Install1: TInstall\n  end\n"),
            "You forgot to pass in the build directory. In Run | Parameters, follow this format: "
            "-d \"-sC:\\My Build\"");
  app.DestroyComponents();
  Engine().Arguments = {"-d", "-sC:\\My Build\\"};
  Build("  object Install1: TInstall\n  end\n");
  EXPECT_EQ(CurrentInstall()->SourceDir(), "C:\\My Build");
  app.DestroyComponents();
  Engine().Arguments = {"-q"};
  EXPECT_EQ(ErrorOf("  object Install1: TInstall\n  end\n").find("Invalid parameter <-q>."), 0u);
}

TEST_F(InstallTest, TheFirstOfBuildFloppyRebootSwitchesRunsItsModeAndNoActivationHook) {
  // Each mode here fails at its first step, which tells which one ran; none starts a run.
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"-r", "-f", "-b"}, "| Need to have a BUILD.INF file"},
      {{"-r", "-f"}, "| Sorry... You can only transfer"}};
  for (const auto& [args, line] : cases) {
    app.DestroyComponents();
    transcript.str("");
    Engine().Arguments = args;
    ScriptUi ui(&transcript, {});
    platform::ScopedUi scoped(&ui);
    ui::TmainForm* form = Build("  object Install1: TInstall\n  end\n");
    form->Show();  // activation: no run in these modes
    EXPECT_FALSE(CurrentInstall()->Activated);
    EXPECT_TRUE(ui.QuitPosted());
    EXPECT_NE(transcript.str().find(line), std::string::npos) << transcript.str();
  }
  // -r continues after a restart; without the state the first run left there is nothing to
  // continue, and the program ends without a word.
  app.DestroyComponents();
  transcript.str("");
  Engine().Arguments = {"-r"};
  ScriptUi ui(&transcript, {});
  platform::ScopedUi scoped(&ui);
  Build("  object Install1: TInstall\n  end\n")->Show();
  EXPECT_FALSE(CurrentInstall()->Activated);
  EXPECT_TRUE(ui.QuitPosted());
  EXPECT_EQ(transcript.str().find("messagebox"), std::string::npos) << transcript.str();
}

TEST_F(InstallTest, OnlyTheFirstActivationRunsTheInstall) {
  MakeFile(Engine().ProgramPath, "the engine");
  ScriptUi ui(&transcript, {"activate mainForm", "activate mainForm"});
  platform::ScopedUi scoped(&ui);
  ui::TmainForm* form = ReadMainForm(
      "object mainForm: TmainForm\n  OnActivate = FormActivate\n"
      "  object Install1: TInstall\n    UseLoadingProgram = False\n  end\nend\n",
      "test.tmby");
  int runs = 0;
  CurrentInstall()->OnAfterInitialized.Set([&](TPersistent*) {
    EXPECT_TRUE(CurrentInstall()->Activated);
    ++runs;
  });
  form->AfterConstruction();
  form->Show();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(form->WindowState(), ui::wsMaximized);
  form->Hide();
  form->Show();
  EXPECT_EQ(runs, 1);
  // The form's own handler is back in place.
  EXPECT_EQ(form->OnActivate.HandlerName(), "FormActivate");
}

TEST_F(InstallTest, WithoutRunAutomaticTheRunIsLeftToTheDefinition) {
  ScriptUi ui(&transcript, {});
  platform::ScopedUi scoped(&ui);
  ui::TmainForm* form = Build("  object Install1: TInstall\n    RunAutomatic = False\n  end\n");
  form->Show();
  EXPECT_EQ(Engine().RunStartTime, 0);
  EXPECT_FALSE(CurrentInstall()->Running);
  EXPECT_TRUE(CurrentInstall()->Activated);
}

TEST_F(InstallTest, AMissingPrerequisiteEndsTheProgramBeforeTheRun) {
  ScriptUi ui(&transcript, {});
  platform::ScopedUi scoped(&ui);
  ui::TmainForm* form = Build("  object Install1: TInstall\n  end\n");
  form->SetPrerequisiteLibrary("CALWIN32.DLL");
  form->Show();
  EXPECT_EQ(Engine().RunStartTime, 0);
  EXPECT_TRUE(ui.QuitPosted());
  EXPECT_NE(transcript.str().find("messagebox"), std::string::npos);
}

TEST_F(InstallTest, DestructionGivesBackTheHandlerAndStartsTheCleanup) {
  ui::TmainForm* form = Build("  object Install1: TInstall\n  end\n");
  TCustomInstall* install = CurrentInstall();
  EXPECT_NE(form->OnActivate.HandlerName(), "FormActivate");
  MakeFile("C:\\Temp\\bat1.bat", "ERASE x");
  install->CleanupBatchFile = "C:\\Temp\\bat1.bat";
  TComponent::Free(install);
  EXPECT_EQ(CurrentInstall(), nullptr);
  EXPECT_EQ(form->OnActivate.HandlerName(), "FormActivate");
  ASSERT_EQ(Machine().Launches().size(), 1u);
  EXPECT_EQ(Machine().Launches()[0].request.command_line, "\"C:\\Temp\\bat1.bat\"");
  EXPECT_EQ(Machine().Launches()[0].request.show_mode, platform::show::kHide);
}

TEST_F(InstallTest, TheRootWritesBackWhatItRead) {
  const std::string body =
      "  object Install1: TInstall\n"
      "    Information.CompanyName = 'Lakeside Software'\n"
      "    Information.ProductName = 'Lakeside Notes'\n"
      "    InstallTypes = [itFull, itCompact]\n"
      "    NoUninstall = True\n"
      "    win2KExtendedInformation.HelpLink = 'http://lakeside.example/help'\n"
      "    BuildInfo.AppName = 'Notes'\n"
      "  end\n";
  ui::TmainForm* form = Build(body);
  const std::string written = WriteDefinition(*form);
  app.DestroyComponents();
  auto* again = new ui::TmainForm(&app);
  ReadDefinitionInto(*again, written, "again.tmby", options);
  EXPECT_EQ(WriteDefinition(*again), written);
  TCustomInstall* install = CurrentInstall();
  ASSERT_NE(install, nullptr);
  EXPECT_EQ(install->Information().ProductName, "Lakeside Notes");
  EXPECT_EQ(install->Win2KExtendedInformation().HelpLink, "http://lakeside.example/help");
  EXPECT_EQ(install->BuildInfo().AppName, "Notes");
  EXPECT_EQ(install->InstallTypes(), (TInstallTypeSet{itFull, itCompact}));
}

TEST_F(InstallTest, TheDestinationListingExpandsEveryObjectOrSaysWhyNot) {
  Reg().CreateKey(platform::RootKey::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
  Reg().WriteString(platform::RootKey::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                    "ProgramFilesDir", "C:\\Programme");
  Build(
      "  object psContainerDestDir: TpsContainerDestDir\n  end\n"
      "  object psMainInstall: TpsMainInstall\n  end\n"
      "  object Install1: TInstall\n    DestDir = '\\Lakeside Notes\\'\n  end\n"
      "  object grpProgram: TInstallGroup\n    Container = Install1\n"
      "    DestDirType = psContainerDestDir\n  end\n"
      "  object dirTemplates: TInstallDirectory\n    Container = grpProgram\n"
      "    DestDir = '\\Templates'\n    DestDirType = psContainerDestDir\n  end\n"
      "  object dirLoose: TInstallDirectory\n    DestDir = '\\Loose'\n"
      "    DestDirType = psContainerDestDir\n  end\n");
  const std::string listing = ListDestinations();
  EXPECT_NE(listing.find("Install1 (TInstall): C:\\Programme\\Lakeside Notes\r\n"),
            std::string::npos)
      << listing;
  EXPECT_NE(listing.find("grpProgram (TInstallGroup): C:\\Programme\\Lakeside Notes\r\n"),
            std::string::npos)
      << listing;
  EXPECT_NE(listing.find(
                "dirTemplates (TInstallDirectory): C:\\Programme\\Lakeside Notes\\Templates\r\n"),
            std::string::npos)
      << listing;
  EXPECT_NE(listing.find("dirLoose (TInstallDirectory): ! Cannot use ddContainerDestDir for "
                         "dirLoose unless you assign a Container\r\n"),
            std::string::npos)
      << listing;
}

}  // namespace
}  // namespace tmby
