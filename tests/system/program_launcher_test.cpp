// The program launcher on the simulated machine: what it asks the system to start, how it reports
// a start that fails, and its published properties.
#include "system/program_launcher.h"

#include <gtest/gtest.h>

#include <string>

#include "base/exceptions.h"
#include "support/memory_machine.h"

namespace tmby {
namespace {

namespace show = platform::show;

class ProgramLauncherTest : public testing::MemoryMachineTest {
 protected:
  ProgramLauncherTest() : launcher_(nullptr) { MakeFile("C:\\Program Files\\Lakeside\\notes.exe"); }

  // The failure of a launch that must fail.
  EProgramLauncherFailed Failure() {
    try {
      launcher_.Launch();
    } catch (const EProgramLauncherFailed& e) {
      return e;
    }
    ADD_FAILURE() << "the launch did not fail";
    return EProgramLauncherFailed("");
  }

  TProgramLauncher launcher_;
};

TEST_F(ProgramLauncherTest, EachSystemCodeOfAFailedStartHasItsOwnText) {
  // The codes a refused process start reports, each with the text that says what happened.
  const std::pair<uint32_t, const char*> table[] = {
      {platform::err::kFileNotFound, "File not found"},
      {platform::err::kAccessDenied, "Access denied"},
      {platform::err::kNotEnoughMemory, "Out of memory"},
      {platform::err::kSharingViolation, "Sharing violation"},
      {platform::err::kBadExeFormat, "Invalid file"},
      {1157, "Invalid dynamic link library"},
  };
  for (const auto& [code, text] : table) {
    try {
      RaiseLaunchError(code);
      ADD_FAILURE() << "no exception for " << code;
    } catch (const EProgramLauncher& e) {  // caught by its base class
      const auto* failed = dynamic_cast<const EProgramLauncherFailed*>(&e);
      ASSERT_NE(failed, nullptr);
      EXPECT_EQ(failed->ErrorCode, code);
      EXPECT_STREQ(e.what(), text) << code;
      EXPECT_STREQ(e.ClassName(), "EProgramLauncherFailed");
    }
  }
  // A code outside the table takes the system's own description, and without one is unknown.
  Machine().SetErrorText(1450, "Insufficient system resources exist to complete the service.");
  launcher_.SetFileName("C:\\Program Files\\Lakeside\\notes.exe");
  Machine().RefuseProcessStart(true, 1450);
  EXPECT_STREQ(Failure().what(), "Insufficient system resources exist to complete the service.");
  Machine().RefuseProcessStart(true, 1451);
  EXPECT_STREQ(Failure().what(), "Unknown error");
}

TEST_F(ProgramLauncherTest, StartsTheProgramWithItsNameInFrontOfTheParameters) {
  launcher_.SetFileName("C:\\Program Files\\Lakeside\\notes.exe");
  launcher_.SetParameters("/REGSERVER");
  launcher_.SetShowMode(smHide);
  launcher_.Launch();
  ASSERT_EQ(Machine().Launches().size(), 1u);
  const platform::LaunchRequest& r = Machine().Launches()[0].request;
  EXPECT_EQ(r.application_name, "C:\\Program Files\\Lakeside\\notes.exe");
  EXPECT_EQ(r.command_line, "\"C:\\Program Files\\Lakeside\\notes.exe\" /REGSERVER");
  EXPECT_EQ(r.show_mode, show::kHide);
  EXPECT_EQ(r.current_directory, "");  // the installer's own

  // Without parameters the command line is the quoted program alone.
  launcher_.SetParameters("");
  EXPECT_EQ(launcher_.CommandLine(), "\"C:\\Program Files\\Lakeside\\notes.exe\"");
}

TEST_F(ProgramLauncherTest, ShowModesAndStartDirectoryReachTheSystem) {
  const std::pair<TplShowMode, int> modes[] = {{smNormal, show::kNormal},
                                               {smMaximized, show::kMaximized},
                                               {smMinimized, show::kMinimized},
                                               {smHide, show::kHide}};
  launcher_.SetFileName("C:\\Program Files\\Lakeside\\notes.exe");
  launcher_.SetStartDir("C:\\Program Files\\Lakeside");
  for (const auto& [mode, command] : modes) {
    EXPECT_EQ(ShowCommandOf(mode), command);
    launcher_.SetShowMode(mode);
    launcher_.Launch();
    EXPECT_EQ(Machine().Launches().back().request.show_mode, command);
    EXPECT_EQ(Machine().Launches().back().request.current_directory, "C:\\Program Files\\Lakeside");
  }
  // Whatever the program answers to the wait (busy, no message queue), the launch returns.
  Machine().ScriptLaunch({platform::kWaitTimeout, false, 0});
  Machine().ScriptLaunch({platform::kWaitFailed, true, 0});
  launcher_.SetTimeout(10);
  EXPECT_NO_THROW(launcher_.Launch());
  launcher_.SetWait(false);
  EXPECT_NO_THROW(launcher_.Launch());
  EXPECT_EQ(Machine().Launches().size(), 6u);
}

TEST_F(ProgramLauncherTest, AFailedStartReportsTheSystemsCodeAndText) {
  launcher_.SetFileName("C:\\Program Files\\Lakeside\\missing.exe");
  EProgramLauncherFailed e = Failure();
  EXPECT_EQ(e.ErrorCode, 2u);
  EXPECT_STREQ(e.what(), "File not found");

  launcher_.SetFileName("C:\\No Such Folder\\notes.exe");
  e = Failure();
  EXPECT_EQ(e.ErrorCode, 3u);
  EXPECT_STREQ(e.what(), "Path not found");

  launcher_.SetFileName("C:\\Program Files\\Lakeside\\notes.exe");
  Machine().RefuseProcessStart(true, platform::err::kBadExeFormat);
  e = Failure();
  EXPECT_EQ(e.ErrorCode, 193u);
  EXPECT_STREQ(e.what(), "Invalid file");
  Machine().RefuseProcessStart(true, platform::err::kNotEnoughMemory);
  EXPECT_STREQ(Failure().what(), "Out of memory");
  Machine().RefuseProcessStart(false);

  // A start directory that does not exist fails the start too.
  launcher_.SetStartDir("C:\\Nowhere");
  EXPECT_NE(Failure().ErrorCode, 0u);
  EXPECT_TRUE(Machine().Launches().empty());
}

TEST_F(ProgramLauncherTest, ABlankProgramNameIsNotFound) {
  for (const char* name : {"", "   "}) {
    launcher_.SetFileName(name);
    launcher_.SetParameters("C:\\Program Files\\Lakeside\\notes.exe");
    EProgramLauncherFailed e = Failure();
    EXPECT_EQ(e.ErrorCode, 2u);
    EXPECT_STREQ(e.what(), "File not found");
  }
  EXPECT_TRUE(Machine().Launches().empty());
}

TEST(ProgramLauncherPropertiesTest, PublishedWithTheirDefaults) {
  TProgramLauncher launcher(nullptr);
  const TClassInfo& info = TProgramLauncher::StaticClass();
  EXPECT_EQ(launcher.ClassName(), "TProgramLauncher");
  EXPECT_TRUE(info.InheritsFrom(TComponent::StaticClass()));
  EXPECT_TRUE(info.CanCreate());

  const TPropInfo* action = info.FindProperty("Action");
  const TPropInfo* show_mode = info.FindProperty("ShowMode");
  const TPropInfo* timeout = info.FindProperty("Timeout");
  const TPropInfo* wait = info.FindProperty("Wait");
  for (const char* name : {"FileName", "Parameters", "StartDir"}) {
    ASSERT_NE(info.FindProperty(name), nullptr) << name;
    EXPECT_EQ(info.FindProperty(name)->Kind(), TPropKind::pkString);
    EXPECT_FALSE(info.FindProperty(name)->IsStored(launcher)) << name;
  }
  ASSERT_TRUE(action && show_mode && timeout && wait);

  // Defaults: nothing differs, so a definition writer stores nothing.
  EXPECT_EQ(action->GetString(launcher), "Open");
  EXPECT_EQ(show_mode->GetOrd(launcher), smNormal);
  EXPECT_EQ(timeout->GetOrd(launcher), -1);
  EXPECT_EQ(wait->GetOrd(launcher), 1);
  for (const TPropInfo* p : {action, show_mode, timeout, wait}) {
    EXPECT_FALSE(p->IsStored(launcher)) << p->Name();
  }

  // Set by name, as the definition reader does.
  show_mode->SetOrd(launcher, show_mode->Enum()->Ordinal("smHide"));
  info.FindProperty("FileName")->SetString(launcher, "C:\\x.exe");
  timeout->SetOrd(launcher, 5000);
  wait->SetOrd(launcher, 0);
  EXPECT_EQ(launcher.ShowMode(), smHide);
  EXPECT_EQ(launcher.FileName(), "C:\\x.exe");
  EXPECT_EQ(launcher.Timeout(), 5000);
  EXPECT_FALSE(launcher.Wait());
  EXPECT_TRUE(show_mode->IsStored(launcher));
  EXPECT_EQ(show_mode->Enum()->Name(3), "smHide");
}

}  // namespace
}  // namespace tmby
