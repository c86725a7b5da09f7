#include "base/path_text.h"

#include <gtest/gtest.h>

namespace tmby {
namespace {

std::string Full(const std::string& typed) {
  const TTypedFolder folder = NormalizeTypedFolder(typed, false);
  return folder.Fault == TTypedFolder::tfNone ? folder.Path : "!" + std::to_string(folder.Fault);
}
std::string Below(const std::string& typed) {
  const TTypedFolder folder = NormalizeTypedFolder(typed, true);
  return folder.Fault == TTypedFolder::tfNone ? folder.Path : "!" + std::to_string(folder.Fault);
}

// What Windows would make of a typed folder is the folder the install uses, so that the log it
// writes names plain full paths (the uninstaller refuses any other).
TEST(TypedFolder, StepsAreMadeAsWindowsMakesThem) {
  EXPECT_EQ(Full("C:\\Apps\\..\\Notes"), "C:\\Notes");
  EXPECT_EQ(Full("C:\\Notes\\\\Data"), "C:\\Notes\\Data");
  EXPECT_EQ(Full("  C:\\Notes\\.\\Data\\  "), "C:\\Notes\\Data");
  EXPECT_EQ(Full("C:\\Notes. \\Data..."), "C:\\Notes\\Data");
  EXPECT_EQ(Full("c:/Program Files/Notes"), "c:\\Program Files\\Notes");
  EXPECT_EQ(Full("C:\\"), "C:\\");
  EXPECT_EQ(Full("C:\\..\\..\\Notes"), "C:\\Notes");
  EXPECT_EQ(Full("C:\\a\\...\\b"), "C:\\a\\b");
  EXPECT_EQ(Full("C:\\ Notes"), "C:\\ Notes");
  EXPECT_EQ(Full("\\\\server\\share\\..\\Notes"), "\\\\server\\share\\Notes");
  EXPECT_EQ(Full("\\\\server.\\\\share \\Notes"), "\\\\server\\share\\Notes");
  EXPECT_EQ(Below("Lakeside\\.\\Tools. "), "Lakeside\\Tools");
  EXPECT_EQ(Below("\\Lakeside\\Old\\..\\Tools\\"), "Lakeside\\Tools");
}

TEST(TypedFolder, WhatCannotBeAFolderIsNamed) {
  const auto fault = [](const std::string& typed, bool relative) {
    return NormalizeTypedFolder(typed, relative).Fault;
  };
  EXPECT_EQ(fault("   ", false), TTypedFolder::tfEmpty);
  EXPECT_EQ(fault("", true), TTypedFolder::tfEmpty);
  EXPECT_EQ(fault(".\\. ", true), TTypedFolder::tfEmpty);
  for (const char* typed : {"Notes", "C:", "C:Notes", "\\Notes", "\\\\server", "\\\\server\\.."}) {
    EXPECT_EQ(fault(typed, false), TTypedFolder::tfNotFull) << typed;
  }
  for (const char* typed : {"..\\Startup", "Tools\\..\\..\\Startup", ".. "}) {
    EXPECT_EQ(fault(typed, true), TTypedFolder::tfOutside) << typed;
  }
  for (const char* typed :
       {"C:\\NUL", "C:\\Apps\\con.txt\\x", "C:\\aux ", "C:\\Com1", "C:\\LPT9.log", "C:\\CONOUT$"}) {
    EXPECT_EQ(fault(typed, false), TTypedFolder::tfDevice) << typed;
  }
  const TTypedFolder device = NormalizeTypedFolder("Tools\\Prn.", true);
  EXPECT_EQ(device.Fault, TTypedFolder::tfDevice);
  EXPECT_EQ(device.Step, "Prn");
  // Names that only begin like a device are names.
  EXPECT_EQ(Full("C:\\Console\\COM10\\LPT\\nul_"), "C:\\Console\\COM10\\LPT\\nul_");
}

}  // namespace
}  // namespace tmby
