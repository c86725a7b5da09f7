// The loading program (TamberlyLoadProgram.exe) as a distribution's setup.exe, run for real: a
// stand-in engine (launchee.exe, which records how it was started) travels in setup.1 with two
// pre-setup files, and the distribution is put together by the same trailer and checksum writers
// the build uses. A damaged copy must end in the message box of the scripted UI and start nothing.
#include <gtest/gtest.h>
#include <windows.h>
// <windows.h> first.
#include <shellapi.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "archive/self_extract.h"
#include "archive/tmby_compress.h"
#include "base/path_text.h"
#include "platform/win32/win32_internal.h"
#include "support/archive_fixture.h"

namespace tmby {
namespace {

using platform::win32::Utf8;
using platform::win32::Wide;

std::string ProgramDir() {
  wchar_t buffer[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  const std::string self = Utf8(std::wstring(buffer));
  return self.substr(0, self.rfind('\\') + 1);
}

// The arguments of a command line as the started program splits them.
std::vector<std::string> Split(const std::string& line) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(Wide(line).c_str(), &count);
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) out.push_back(Utf8(std::wstring(argv[i])));
  LocalFree(argv);
  return out;
}

struct LoaderRun {
  int exit_code = -1;
  std::string transcript;
  std::map<std::string, std::string> report;  // the stand-in's, empty when it never ran
};

class LoaderWin32Test : public testing::ArchiveFixture {
 protected:
  void SetUp() override {
    ArchiveFixture::SetUp();
    // The test flavour: it writes its message boxes into the scripted UI's transcript.
    loader_ = ProgramDir() + "..\\apps\\loader\\TamberlyLoadProgram-test.exe";
    ASSERT_TRUE(Files().FileExists(loader_)) << loader_;
    temp_ = Files().TempPath().value_or("");
    before_ = LoaderFolders();
    ASSERT_TRUE(Files().CreateDirectories(P("src")) && Files().CreateDirectories(P("dist")));
    ASSERT_TRUE(Files().CopyFileTo(ProgramDir() + "launchee.exe", P("src\\Engine.exe"), false));
    WriteFile(P("src\\License.rtf"), testing::TextData(3000, 4));
    WriteFile(P("src\\tmbiEnglish.txt"), testing::TextData(500, 5));
    WriteFile(P("src\\product.dat"), testing::TextData(20000, 6));
    Pack(P("build\\setup.1"), {P("src\\Engine.exe")}, false);
    Pack(P("build\\setup.1"), {P("src\\License.rtf"), P("src\\tmbiEnglish.txt")}, true);
    Pack(P("build\\files.1"), {P("src\\product.dat")}, false);
    ASSERT_TRUE(Files().CopyFileTo(loader_, P("dist\\setup.exe"), false));
    AppendSelfExtractArchives(P("dist\\setup.exe"), P("build\\setup.1"), P("build\\files.1"));
    AppendCheckSum(P("dist\\setup.exe"));
  }

  void TearDown() override {
    // The stand-in does not clean up as the engine would: its folders go here.
    for (const std::string& name : LoaderFolders()) {
      if (std::find(before_.begin(), before_.end(), name) == before_.end()) {
        RemoveLoaderFolder(temp_ + name);
      }
    }
    ArchiveFixture::TearDown();
  }

  static void Pack(const std::string& archive, const std::vector<std::string>& files, bool append) {
    TTmbyCompress c;
    c.SetCompressedFile(archive);
    c.SetFilesToProcess(files);
    c.Compress(append, 0);
  }

  std::vector<std::string> LoaderFolders() {
    std::vector<std::string> names;
    for (const auto& entry : Files().FindFiles(temp_ + "TMBY*")) {
      if (IsLoaderFolderName(entry.name)) names.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string ReadText(const std::string& path) {
    std::ifstream in(Wide(path).c_str(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Runs `exe` with the scripted UI, the stand-in's report and exit code set in the environment.
  LoaderRun Run(const std::string& exe, const std::string& arguments) {
    const std::string report = P("report.txt");
    const std::string transcript = P("transcript.txt");
    Files().RemoveFile(report);
    Files().RemoveFile(transcript);
    const std::vector<std::pair<const wchar_t*, std::string>> environment{
        {L"TMBY_LAUNCHEE_REPORT", report},
        {L"TMBY_LAUNCHEE_EXIT", "7"},
        {L"TMBY_UI", "script"},
        {L"TMBY_UI_TRANSCRIPT", transcript}};
    for (const auto& [name, value] : environment)
      SetEnvironmentVariableW(name, Wide(value).c_str());
    platform::LaunchRequest request;
    request.application_name = exe;
    request.command_line = "\"" + exe + "\" " + arguments;
    LoaderRun run;
    auto process = platform::Port().Processes().Create(request);
    for (const auto& entry : environment) SetEnvironmentVariableW(entry.first, nullptr);
    if (!process) {
      ADD_FAILURE() << "cannot start " << exe;
      return run;
    }
    EXPECT_TRUE(process->WaitForExit(60000));
    run.exit_code = static_cast<int>(process->ExitCode().value_or(-1));
    run.transcript = ReadText(transcript);
    std::istringstream lines(ReadText(report));
    for (std::string line; std::getline(lines, line);) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos) run.report[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return run;
  }

  void ExpectRefused(const std::string& what, const std::string& reason) {
    SCOPED_TRACE(what);
    const LoaderRun run = Run(P("dist\\setup.exe"), "");
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(run.report.empty()) << "the engine was started";
    EXPECT_NE(run.transcript.find("messagebox Stop \"Setup\" buttons OK default OK\n| The file \"" +
                                  P("dist\\setup.exe") + "\" is damaged or incomplete (" + reason +
                                  "). Please download or copy the installation again.\n"),
              std::string::npos)
        << run.transcript;
    EXPECT_EQ(LoaderFolders(), before_);
  }

  std::string loader_;
  std::string temp_;
  std::vector<std::string> before_;
};

TEST_F(LoaderWin32Test, StartsTheEngineInAFreshTemporaryFolderWithTheSwitches) {
  const LoaderRun run = Run(P("dist\\setup.exe"), "-n");
  EXPECT_EQ(run.exit_code, 7) << "the loader ends with the engine's exit code";
  EXPECT_EQ(run.transcript, "");
  ASSERT_FALSE(run.report.empty()) << "the engine never ran";

  const std::vector<std::string> args = Split(run.report.at("cmdline"));
  ASSERT_EQ(args.size(), 5u) << run.report.at("cmdline");
  const std::string folder = args[0].substr(0, args[0].rfind('\\'));
  EXPECT_TRUE(IsInLoaderFolder(args[0])) << args[0];
  EXPECT_EQ(PathFileNamePart(args[0]), "Engine.exe");
  EXPECT_EQ(args[1], "-s" + P("dist"));
  EXPECT_EQ(args[2], "-esetup.exe");
  EXPECT_EQ(args[3], "-c");
  EXPECT_EQ(args[4], "-n");
  EXPECT_TRUE(SameTextIgnoringCase(ExcludeTrailingBackslash(run.report.at("cwd")),
                                   ExcludeTrailingBackslash(temp_)))
      << run.report.at("cwd");
  std::vector<std::string> names;
  for (const auto& entry : Files().FindFiles(folder + "\\*")) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Engine.exe", "License.rtf", "tmbiEnglish.txt"}));
  EXPECT_EQ(LoaderFolders().size(), before_.size() + 1);

  // What the engine makes of -s and -e: the install archive inside setup.exe.
  const std::string main_archive = args[1].substr(2) + "\\" + args[2].substr(2);
  TTmbyCompress install;
  install.SetCompressedFile(main_archive);
  install.Offset = ReadSelfExtractRecord(main_archive).FilesStart;
  install.ExtractDirectory = P("installed");
  install.SetFilesToProcess({P("src\\product.dat")});
  install.Extract();
  EXPECT_EQ(ReadFile(P("installed\\product.dat")), ReadFile(P("src\\product.dat")));
}

TEST_F(LoaderWin32Test, ADamagedOrIncompleteDownloadGetsAMessageBoxAndStartsNothing) {
  const std::vector<uint8_t> good = ReadFile(P("dist\\setup.exe"));
  std::vector<uint8_t> bytes = good;
  bytes[bytes.size() / 2] ^= 0x10;
  WriteFile(P("dist\\setup.exe"), bytes);
  ExpectRefused("one flipped byte", "its checksum does not match its contents");

  WriteFile(P("dist\\setup.exe"), std::vector<uint8_t>(good.begin(), good.end() - 1000));
  ExpectRefused("cut short", "its setup information at the end of the file is missing");

  bytes = std::vector<uint8_t>(good.begin(), good.end() - 40);
  bytes[bytes.size() - 56 + 1] = 'X';  // "XELFEXTRACTING"
  WriteFile(P("dist\\setup.exe"), bytes);
  AppendCheckSum(P("dist\\setup.exe"));
  ExpectRefused("a wrong signature", "its setup information at the end of the file is missing");

  // The bare loader, as it lies in the kit's folder, is no distribution either.
  ASSERT_TRUE(Files().CopyFileTo(loader_, P("dist\\setup.exe"), false));
  ExpectRefused("the bare loader", "its setup information at the end of the file is missing");
}

TEST_F(LoaderWin32Test, TheShippingLoaderNamesNoEnvironmentVariable) {
  // It runs with administrator rights: a variable must not make it write a file anywhere.
  const std::string shipping = ProgramDir() + "..\\apps\\loader\\TamberlyLoadProgram.exe";
  const std::vector<uint8_t> bytes = ReadFile(shipping);
  ASSERT_FALSE(bytes.empty()) << shipping;
  const std::vector<uint8_t> test_flavour = ReadFile(loader_);
  for (const std::string name : {"TMBY_UI", "TMBY_UI_TRANSCRIPT"}) {
    EXPECT_EQ(std::search(bytes.begin(), bytes.end(), name.begin(), name.end()), bytes.end())
        << name;
  }
  // The transcript's variable as the wide-character API names it.
  static constexpr char kWide[] = "T\0M\0B\0Y\0_\0U\0I\0_\0T";
  const std::string wide_name(kWide, sizeof kWide - 1);
  EXPECT_EQ(std::search(bytes.begin(), bytes.end(), wide_name.begin(), wide_name.end()),
            bytes.end());
  EXPECT_NE(
      std::search(test_flavour.begin(), test_flavour.end(), wide_name.begin(), wide_name.end()),
      test_flavour.end());
}

TEST_F(LoaderWin32Test, AnswersHelpWithItsUsage) {
  for (const char* ask : {"--help", "/?"}) {
    const LoaderRun run = Run(P("dist\\setup.exe"), ask);
    EXPECT_EQ(run.exit_code, 0) << ask;
    EXPECT_TRUE(run.report.empty()) << ask;
    EXPECT_NE(run.transcript.find("messagebox Information \"Setup\""), std::string::npos) << ask;
    EXPECT_NE(run.transcript.find("| usage: setup.exe [ARGUMENTS...]"), std::string::npos)
        << run.transcript;
  }
  EXPECT_EQ(LoaderFolders(), before_);
}

TEST(QuoteArgumentWin32, TheWindowsSplittingGivesEachArgumentBack) {
  for (const std::string& argument :
       {std::string("-n"), std::string(""), std::string("-sC:\\My Build\\"),
        std::string("say \"hi\""), std::string("a\\\"b\\\\"), std::string("tab\there")}) {
    const std::vector<std::string> args = Split("setup.exe " + QuoteArgument(argument) + " -c");
    ASSERT_EQ(args.size(), 3u) << argument;
    EXPECT_EQ(args[1], argument);
    EXPECT_EQ(args[2], "-c");
  }
}

}  // namespace
}  // namespace tmby
