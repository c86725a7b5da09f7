// What installing files needs of every adapter beyond files and the registry: INI files (the
// replacement list of WININIT.INI) and servers registered in the installer's own process.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/port_fixture.h"

namespace tmby::testing {
namespace {

using platform::RootKey;
using platform::ServerRegistration;
using Kind = PortUnderTest::ServerKind;

using InstallContract = PortContract;
TMBY_PORT_CONTRACT(InstallContract);

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return text;
}

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_P(InstallContract, IniKeysAreWrittenIntoTheirSectionsAndReadBack) {
  platform::IIniFiles& ini = Port().IniFiles();
  const std::string file = P("wininit.ini");
  EXPECT_FALSE(ini.ReadString(file, "Rename", "C:\\A.DLL"));
  ASSERT_TRUE(ini.WriteString(file, "Rename", "C:\\OLD\\A.DLL", "C:\\OLD\\A.1"));
  ASSERT_TRUE(ini.WriteString(file, "Other", "Key", "x"));
  ASSERT_TRUE(ini.WriteString(file, "rename", "C:\\OLD\\B.DLL", "C:\\OLD\\B.1"));
  EXPECT_EQ(ini.ReadString(file, "RENAME", "c:\\old\\a.dll"), "C:\\OLD\\A.1");
  EXPECT_EQ(ini.ReadString(file, "Rename", "C:\\OLD\\B.DLL"), "C:\\OLD\\B.1");
  EXPECT_EQ(ini.ReadString(file, "Other", "Key"), "x");
  EXPECT_FALSE(ini.ReadString(file, "Other", "C:\\OLD\\A.DLL"));
  EXPECT_FALSE(ini.ReadString(file, "Missing", "Key"));
  // The second entry joined the section that was there: one header, both keys below it.
  const std::string text = ReadText(file);
  EXPECT_EQ(Occurrences(Lower(text), "[rename]"), 1u) << text;
  EXPECT_LT(text.find("B.1"), text.find("[Other]")) << text;

  // A key written again keeps one line with the new value; an empty value is not a missing key.
  ASSERT_TRUE(ini.WriteString(file, "Rename", "C:\\OLD\\A.DLL", "C:\\OLD\\A.2"));
  ASSERT_TRUE(ini.WriteString(file, "Other", "Empty", ""));
  EXPECT_EQ(ini.ReadString(file, "Rename", "C:\\OLD\\A.DLL"), "C:\\OLD\\A.2");
  EXPECT_EQ(ini.ReadString(file, "Other", "Empty"), "");
  EXPECT_EQ(Occurrences(Lower(ReadText(file)), "a.dll="), 1u);
}

TEST_P(InstallContract, IniWritesIntoAMissingFolderFail) {
  EXPECT_FALSE(Port().IniFiles().WriteString(P("no\\such\\dir\\x.ini"), "S", "K", "V"));
  EXPECT_FALSE(Files().FileExists(P("no\\such\\dir\\x.ini")));
}

class ServerContract : public PortContract {
 protected:
  void TearDown() override {
    DeleteKeyTree(Reg(), RootKey::CurrentUser, PortUnderTest::kServerRecordKey);
    DeleteKeyTree(Reg(), RootKey::ClassesRoot,
                  std::string("TypeLib\\") + PortUnderTest::kTestTypeLibrary);
    PortContract::TearDown();
  }
  // What the server of that file name recorded when it registered (the current directory).
  std::optional<std::string> Record(const std::string& name) {
    return Reg().ReadString(RootKey::CurrentUser, PortUnderTest::kServerRecordKey, name);
  }
};
TMBY_PORT_CONTRACT(ServerContract);

TEST_P(ServerContract, ALibraryRegistersInThisProcessInTheCurrentDirectory) {
  const std::string dll = P("notesrv.dll");
  ASSERT_TRUE(UnderTest().PlaceServer(dll, Kind::Library));
  ASSERT_TRUE(Files().SetCurrentDir(Root()));
  const ServerRegistration done = Port().Libraries().RegisterServer(dll);
  EXPECT_EQ(done.outcome, ServerRegistration::Outcome::Registered);
  EXPECT_EQ(done.result, 0);
  const auto record = Record("notesrv.dll");
  ASSERT_TRUE(record);
  EXPECT_EQ(Lower(*record), Lower(Root()));
  // Registering again is no error: servers register idempotently.
  EXPECT_EQ(Port().Libraries().RegisterServer(dll).outcome,
            ServerRegistration::Outcome::Registered);
}

TEST_P(ServerContract, RefusalsAreTold) {
  const std::string refusing = P("refuse.ocx");
  const std::string without = P("plain.dll");
  const std::string text = P("text.dll");
  ASSERT_TRUE(UnderTest().PlaceServer(refusing, Kind::RefusingLibrary));
  ASSERT_TRUE(UnderTest().PlaceServer(without, Kind::LibraryWithoutEntry));
  WriteText(text, "not a library");

  ServerRegistration done = Port().Libraries().RegisterServer(refusing);
  EXPECT_EQ(done.outcome, ServerRegistration::Outcome::Refused);
  EXPECT_EQ(done.result, PortUnderTest::kRefusedResult);
  EXPECT_TRUE(Record("refuse.ocx"));

  done = Port().Libraries().RegisterServer(without);
  EXPECT_EQ(done.outcome, ServerRegistration::Outcome::NoEntryPoint);
  EXPECT_NE(done.error, 0u);

  done = Port().Libraries().RegisterServer(text);
  EXPECT_EQ(done.outcome, ServerRegistration::Outcome::NotLoaded);
  EXPECT_NE(done.error, 0u);

  done = Port().Libraries().RegisterServer(P("missing.dll"));
  EXPECT_EQ(done.outcome, ServerRegistration::Outcome::NotLoaded);
  // The 9x line itself says ERROR_DLL_NOT_FOUND instead; the ANSI path on the NT line does not.
  const auto version = Port().System().Version();
  const bool nine_x_system = version && version->platform == platform::PlatformId::Windows;
  EXPECT_EQ(done.error, nine_x_system ? 1157u : platform::err::kModNotFound);
}

TEST_P(ServerContract, ATypeLibraryRegistersUnderItsGuid) {
  const std::string tlb = P("notes.tlb");
  ASSERT_TRUE(UnderTest().PlaceServer(tlb, Kind::TypeLibrary));
  EXPECT_EQ(Port().Libraries().RegisterTypeLibrary(tlb), platform::hresult::kOk);
  const auto path = Reg().ReadString(
      RootKey::ClassesRoot,
      std::string("TypeLib\\") + PortUnderTest::kTestTypeLibrary + "\\1.0\\0\\win32", "");
  ASSERT_TRUE(path);
  EXPECT_EQ(Lower(*path), Lower(tlb));

  EXPECT_NE(Port().Libraries().RegisterTypeLibrary(P("missing.tlb")), platform::hresult::kOk);
  WriteText(P("text.tlb"), "not a type library");
  EXPECT_NE(Port().Libraries().RegisterTypeLibrary(P("text.tlb")), platform::hresult::kOk);
}

TEST_P(ServerContract, RegistrationsAreTakenBackByTheirKind) {
  const std::string dll = P("notesrv.dll");
  const std::string refusing = P("refuse.ocx");
  const std::string without = P("plain.dll");
  const std::string tlb = P("notes.tlb");
  ASSERT_TRUE(UnderTest().PlaceServer(dll, Kind::Library));
  ASSERT_TRUE(UnderTest().PlaceServer(refusing, Kind::RefusingLibrary));
  ASSERT_TRUE(UnderTest().PlaceServer(without, Kind::LibraryWithoutEntry));
  ASSERT_TRUE(UnderTest().PlaceServer(tlb, Kind::TypeLibrary));
  auto& libraries = Port().Libraries();
  ASSERT_EQ(libraries.RegisterServer(dll).outcome, ServerRegistration::Outcome::Registered);
  ASSERT_EQ(libraries.RegisterTypeLibrary(tlb), platform::hresult::kOk);

  EXPECT_EQ(libraries.UnregisterServer(dll).outcome, ServerRegistration::Outcome::Registered);
  EXPECT_FALSE(Record("notesrv.dll"));
  const ServerRegistration refused = libraries.UnregisterServer(refusing);
  EXPECT_EQ(refused.outcome, ServerRegistration::Outcome::Refused);
  EXPECT_EQ(refused.result, PortUnderTest::kRefusedResult);
  EXPECT_EQ(libraries.UnregisterServer(without).outcome, ServerRegistration::Outcome::NoEntryPoint);
  EXPECT_EQ(libraries.UnregisterServer(P("missing.dll")).outcome,
            ServerRegistration::Outcome::NotLoaded);

  EXPECT_EQ(libraries.UnregisterTypeLibrary(tlb), platform::hresult::kOk);
  EXPECT_FALSE(Reg().KeyExists(
      RootKey::ClassesRoot, std::string("TypeLib\\") + PortUnderTest::kTestTypeLibrary + "\\1.0"));
  EXPECT_NE(libraries.UnregisterTypeLibrary(P("missing.tlb")), platform::hresult::kOk);
}

}  // namespace
}  // namespace tmby::testing
