#include "support/path_fixtures.h"

#include "paths/standard_roots.h"

namespace tmby::fixtures {

const TClassInfo& TPathTestInstall::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TPathTestInstall, TFileContainer>("TPathTestInstall");
  return info;
}

TPathTestInstall::TPathTestInstall(TComponent* owner) : TFileContainer(owner, false) {
  InstallModel().SetCurrentInstall(this);
}

TPathTestInstall::~TPathTestInstall() {
  if (InstallModel().CurrentInstall() == this) InstallModel().SetCurrentInstall(nullptr);
}

const TClassInfo& TPathTestFile::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TPathTestFile, TCustomInstallFile>(
      "TPathTestFile", [](TClassBuilder<TPathTestFile>& c) {
        c.String("DestName", &TPathTestFile::DestName, &TPathTestFile::DestName);
      });
  return info;
}

PathSpecifierTest::PathSpecifierTest() {
  InstallModel().Reset();
  PathSpecifiers().Reset();
  PathSpecifierStartup();
  owner_ = new TComponent(nullptr);
}

PathSpecifierTest::~PathSpecifierTest() {
  TComponent::Free(owner_);
  EXPECT_EQ(PathSpecifiers().Specifiers.Count(), 0) << "specifiers outlived their owner";
  EXPECT_EQ(PathSpecifiers().Standard.Count(), 0) << "specifiers outlived their owner";
  PathSpecifierShutdown();
  EXPECT_EQ(PathSpecifiers().StartupCount, 0);
  InstallModel().Reset();
}

void PathSpecifierTest::CreateStandard() {
  PathSpecifiers().Standard.CreateStandardSpecifiers(nullptr, owner_, true);
}

TPathTestInstall* PathSpecifierTest::MakeInstall() {
  auto* install = new TPathTestInstall(owner_);
  install->SetName("Install1");
  install->SetDestDirType(Standard<TpsProgramFiles>());
  install->SetDestDir("\\Lakeside");
  return install;
}

void PathSpecifierTest::SetWindows(platform::PlatformId platform, uint32_t major, uint32_t minor) {
  Machine().SetVersion(platform::OsVersion{platform, major, minor, 0, ""});
}

void PathSpecifierTest::SetValue(platform::RootKey root, const std::string& key,
                                 const std::string& name, const std::string& value) {
  ASSERT_TRUE(Reg().CreateKey(root, key));
  ASSERT_TRUE(Reg().WriteString(root, key, name, value));
}

}  // namespace tmby::fixtures
