// The object link kind against a stand-in for the shell link class: the installed path of a
// linked file, the destination of a linked container, and the misuses.
#include "paths/object_link_root.h"

#include <gtest/gtest.h>

#include <string>

#include "paths/standard_roots.h"
#include "support/path_fixtures.h"

namespace tmby::fixtures {
namespace {

// Stands in for the shell link class: the class name and the published ObjectLink matter.
class TCustomInstallShellLink : public TInstallObject {
  TMBY_CLASS(TCustomInstallShellLink, TInstallObject)
 public:
  explicit TCustomInstallShellLink(TComponent* owner) : TInstallObject(owner) {}
  int ComponentType() const override { return ctShellLink; }
  TInstallContainer* ObjectLink = nullptr;
};

const TClassInfo& TCustomInstallShellLink::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TCustomInstallShellLink, TInstallObject>(
      "TCustomInstallShellLink", [](TClassBuilder<TCustomInstallShellLink>& c) {
        c.Reference("ObjectLink", &TCustomInstallShellLink::ObjectLink,
                    &TCustomInstallShellLink::ObjectLink);
      });
  return info;
}

class ObjectLinks : public PathSpecifierTest {
 protected:
  ObjectLinks() {
    CreateStandard();
    spec_ = new TpsObjectLink(&Owner());
    spec_->SetName("psObjectLink");
    install_ = MakeInstall();
    dir_ = Make<TInstallDirectory>("Dir1", install_);
    dir_->SetDestDirType(Standard<TpsContainerDestDir>());
    dir_->SetDestDir("\\Docs\\");
    link_ = Make<TCustomInstallShellLink>("Link1");
  }
  TpsObjectLink* spec_;
  TPathTestInstall* install_;
  TInstallDirectory* dir_;
  TCustomInstallShellLink* link_;
};

TEST_F(ObjectLinks, ALinkedFileGivesItsInstalledPath) {
  auto* file = Make<TPathTestFile>("File1", dir_);
  file->SetDestDirType(Standard<TpsContainerDestDir>());
  file->DestName = "notes.exe";
  link_->ObjectLink = file;
  EXPECT_EQ(spec_->GetPath(link_), "C:\\Program Files\\Lakeside\\Docs\\notes.exe");
  file->SetDestDir("\\bin\\");
  EXPECT_EQ(spec_->GetPath(link_), "C:\\Program Files\\Lakeside\\Docs\\bin\\notes.exe");
}

TEST_F(ObjectLinks, ALinkedContainerGivesItsDestination) {
  link_->ObjectLink = dir_;
  EXPECT_EQ(spec_->GetPath(link_), "C:\\Program Files\\Lakeside\\Docs");
  link_->ObjectLink = install_;
  EXPECT_EQ(spec_->GetPath(link_), "C:\\Program Files\\Lakeside");
}

TEST_F(ObjectLinks, OnlyALinkWithAnObjectCanUseIt) {
  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { spec_->GetPath(dir_); }),
            "Dir1 must be a TCustomInstallShellLink to use the psObjectLink path specifier");
  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { dir_->SetDestDirType(spec_); }),
            "Dir1 must be a TCustomInstallShellLink to use the psObjectLink path specifier");
  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { spec_->CheckUsableFor(nullptr); }),
            "nil must be a TCustomInstallShellLink to use the psObjectLink path specifier");
  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { spec_->GetPath(link_); }),
            "Cannot use ddObjectLink for Link1 unless you assign a value to ObjectLink");
  // The linked object is read through the published property.
  auto* file = Make<TPathTestFile>("File1", dir_);
  link_->ObjectLink = file;
  EXPECT_EQ(ObjectLinkOf(link_), file);
  EXPECT_EQ(ObjectLinkOf(dir_), nullptr);
  EXPECT_EQ(ObjectLinkOf(nullptr), nullptr);
}

}  // namespace
}  // namespace tmby::fixtures
