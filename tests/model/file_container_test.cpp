#include "model/file_container.h"

#include <gtest/gtest.h>

#include "model/install_parameters.h"
#include "support/install_tree_fixtures.h"

namespace tmby::fixtures {
namespace {

// A root holding a directory with two files and a dialog manager on each container.
class FileContainerEvents : public InstallTreeTest {
 protected:
  FileContainerEvents() {
    root_ = MakeRoot();
    rootManager_ = Make<TTestListener>("RootManager", root_);
    dir_ = Make<TInstallDirectory>("Dir1", root_);
    dirManager_ = Make<TTestListener>("DirManager", dir_);
    file1_ = Make<TTestFile>("File1", dir_);
    file1_->SetFileName("notes.exe");
    file1_->Size = 300;
    file2_ = Make<TTestFile>("File2", dir_);
    file2_->SetFileName("notes.hlp");
    file2_->Size = 100;
    for (TFileContainer* c :
         {static_cast<TFileContainer*>(root_), static_cast<TFileContainer*>(dir_)}) {
      c->OnStatus.Set([c](TCustomInstallFile* f, int32_t filePercent, int32_t totalPercent) {
        TreeJournal().push_back("status " + c->Name() + " " + f->Name() + " " +
                                std::to_string(filePercent) + " " + std::to_string(totalPercent));
      });
    }
  }
  // Both containers busy, as during the walk, with their own totals.
  void Busy(int64_t rootSize, int64_t dirSize) {
    root_->State = ifsInstall;
    root_->SizeToProcess = rootSize;
    root_->BytesProcessed = 0;
    dir_->State = ifsInstall;
    dir_->SizeToProcess = dirSize;
    dir_->BytesProcessed = 0;
  }
  void Report(TCustomInstallFile* file, int32_t bytesDone, int32_t filePercent, bool done = false) {
    TFileStatusParameter status;
    status.BytesDone = bytesDone;
    status.FilePercentDone = filePercent;
    status.FileStats.Done = done;
    status.FileStats.OriginalSize = file->Size;
    TList list{file, &status};
    dir_->DoInformationEventControl(file, ieInstallStatus, &list);
  }
  TTestRoot* root_;
  TTestListener* rootManager_;
  TInstallDirectory* dir_;
  TTestListener* dirManager_;
  TTestFile* file1_;
  TTestFile* file2_;
};

TEST_F(FileContainerEvents, AnIdleContainerSwallowsTheReportsOfItsFiles) {
  Report(file1_, 10, 3);
  EXPECT_TRUE(TreeJournal().empty());
  EXPECT_TRUE(dirManager_->Codes.empty());
  EXPECT_TRUE(rootManager_->Codes.empty());
  // A busy directory under an idle root: the report stops at the root.
  dir_->State = ifsInstall;
  dir_->SizeToProcess = 400;
  Report(file1_, 10, 3);
  // 10 of 400 is 2.5 % -> 2.
  EXPECT_EQ(TreeJournal(), (std::vector<std::string>{"status Dir1 File1 3 2", "hear -998 Dir1"}));
  EXPECT_TRUE(rootManager_->Codes.empty());
}

TEST_F(FileContainerEvents, EachContainerUpTheChainComputesItsOwnTotals) {
  Busy(800, 400);
  Report(file1_, 150, 50);
  // 150 of 400 is 37.5 % -> 38; 150 of 800 is 18.75 % -> 19.
  EXPECT_EQ(TreeJournal(),
            (std::vector<std::string>{"status Dir1 File1 50 38", "hear -998 Dir1",
                                      "status Install1 File1 50 19", "hear -998 Install1"}));
  // The finished member counts for both from now on.
  Report(file1_, 300, 100, true);
  EXPECT_EQ(dir_->BytesProcessed, 300);
  EXPECT_EQ(root_->BytesProcessed, 300);
  TreeJournal().clear();
  Report(file2_, 50, 50);
  // 350 of 400 -> 88; 350 of 800 is 43.75 -> 44.
  EXPECT_EQ(dirManager_->Percents.back(), 88);
  EXPECT_EQ(rootManager_->Percents.back(), 44);
}

TEST_F(FileContainerEvents, RoundsHalvesToEven) {
  Busy(8, 8);
  Report(file1_, 1, 0);  // 12.5 -> 12
  Report(file1_, 3, 0);  // 37.5 -> 38
  EXPECT_EQ(dirManager_->Percents, (std::vector<int32_t>{12, 38}));
  EXPECT_EQ(PercentOf(5, 200), 2);  // 2.5 -> 2
  EXPECT_EQ(PercentOf(7, 200), 4);  // 3.5 -> 4
  EXPECT_EQ(PercentOf(10, 0), 0);
}

TEST_F(FileContainerEvents, FilesOfSizeZeroReportZeroThroughout) {
  file1_->Size = 0;
  file2_->Size = 0;
  Busy(0, 0);
  Report(file1_, 0, 100, true);
  dir_->DoInformationEventControl(file2_, ieFileKept, file2_);
  EXPECT_EQ(dirManager_->Percents, (std::vector<int32_t>{0, 0}));
  EXPECT_EQ(rootManager_->Percents, (std::vector<int32_t>{0, 0}));
}

TEST_F(FileContainerEvents, ASkippedOrKeptFileCountsAsDone) {
  Busy(400, 400);
  dir_->DoInformationEventControl(file1_, ieFileSkipped, file1_);
  EXPECT_EQ(TreeJournal().front(), "status Dir1 File1 100 75");
  EXPECT_EQ(dir_->BytesProcessed, 300);
  EXPECT_EQ(root_->BytesProcessed, 300);
  dir_->DoInformationEventControl(file2_, ieFileKept, file2_);
  EXPECT_EQ(dir_->BytesProcessed, 400);
  EXPECT_EQ(dirManager_->Percents.back(), 100);
}

TEST_F(FileContainerEvents, ANewDiskRequestGoesThroughTheHandlerAndTheHelpers) {
  Busy(400, 400);
  TDiskParameter disk;
  disk.DiskNumber = 2;
  disk.Path = "A:\\";
  TList list{file1_, &disk};
  // Without a handler the file is not marked.
  dir_->DoInformationEventControl(file1_, ieNewDisk, &list);
  EXPECT_EQ(file1_->Tag(), 0);
  EXPECT_EQ(dirManager_->Codes, (std::vector<int>{hnNewDisk}));
  EXPECT_EQ(dirManager_->Objects.back(), &list);

  dir_->OnNewDisk.Set([](TCustomInstallFile*, int32_t number, std::string& path) {
    path = "B:\\disk" + std::to_string(number) + "\\";
  });
  dir_->DoInformationEventControl(file1_, ieNewDisk, &list);
  EXPECT_EQ(file1_->Tag(), 1);
  EXPECT_EQ(disk.Path, "B:\\disk2\\");
  EXPECT_EQ(rootManager_->Codes, (std::vector<int>{hnNewDisk, hnNewDisk}));
}

TEST_F(FileContainerEvents, ReplacingAndDownloadReportsReachHandlersAndHelpers) {
  Busy(400, 400);
  std::vector<std::string> seen;
  dir_->OnReplacing.Set([&](TCustomInstallFile* f) { seen.push_back("replacing " + f->Name()); });
  dir_->OnDataReceived.Set([&](TPersistent* sender, const std::string& name, int32_t bytes,
                               int32_t total, int32_t size, const void* buffer) {
    seen.push_back(static_cast<TComponent*>(sender)->Name() + " " + name + " " +
                   std::to_string(bytes) + " " + std::to_string(total) + " " +
                   std::to_string(size) + (buffer == nullptr ? " no buffer" : " buffer"));
  });
  dir_->DoInformationEventControl(file1_, ieReplacing, file1_);
  // A file's download progress comes up as ieDataReceived.
  const char block[4] = {1, 2, 3, 4};
  file1_->DoDataReceived("Dir1.1", 4, 12, 48, block);
  EXPECT_EQ(seen, (std::vector<std::string>{"replacing File1", "Dir1 Dir1.1 4 12 48 no buffer"}));
  EXPECT_EQ(dirManager_->Codes, (std::vector<int>{hnReplacing, hnDataReceived}));
  EXPECT_EQ(dirManager_->Objects.front(), file1_);
  EXPECT_EQ(rootManager_->Codes, (std::vector<int>{hnReplacing, hnDataReceived}));
}

TEST_F(FileContainerEvents, MalformedReportsAreNamed) {
  Busy(400, 400);
  TFileStatusParameter status;
  TDiskParameter disk;
  TDownloadStatusParameter download;
  TList one{file1_};
  TList statusBadFirst{&status, &status};
  TList statusBadSecond{file1_, &disk};
  TList diskBadFirst{&disk, &disk};
  TList diskBadSecond{file1_, &status};
  auto report = [&](int code, TPersistent* object) {
    return MessageOf<IEFileContainer>(
        [&] { dir_->DoInformationEventControl(file1_, code, object); });
  };
  EXPECT_EQ(report(ieInstallStatus, nullptr), "Dir1 got a nil PO parameter");
  EXPECT_EQ(report(ieDataReceived, nullptr), "Dir1 got a nil PO parameter");
  EXPECT_EQ(report(ieReplacing, &status),
            "DoInformationEventControl parameter is not TInstallFile");
  EXPECT_EQ(report(ieCopyStatus, file1_), "DoInformationEventControl--PO is not a TList object");
  EXPECT_EQ(report(ieCompressStatus, &one),
            "DoInformationEventControl--Not engouh parameters for status event");
  EXPECT_EQ(report(ieInstallStatus, &statusBadFirst),
            "DoInformationEventControl says bad first parameter");
  EXPECT_EQ(report(ieInstallStatus, &statusBadSecond),
            "DoInformationEventControl says bad second parameter");
  EXPECT_EQ(report(ieNewDisk, &diskBadFirst), "DoInformationEventControl says bad 1 parameter");
  EXPECT_EQ(report(ieNewDisk, &diskBadSecond), "DoInformationEventControl says bad 2 parameter");
  EXPECT_EQ(report(ieDataReceived, &status),
            "The PO object passed to Dir1 is not a TDownloadStatusParameter object");
  EXPECT_EQ(report(ieFileSkipped, &download), "DoInformationEventControl says bad first parameter");
  // Reports a container does not handle only pass on; idle containers check nothing.
  EXPECT_NO_THROW(dir_->DoInformationEventControl(file1_, ieFileInstalled, nullptr));
  dir_->State = ifsNone;
  EXPECT_NO_THROW(dir_->DoInformationEventControl(file1_, ieInstallStatus, nullptr));
}

TEST_F(FileContainerEvents, AddsUpSizesOfIncludedOrAllObjects) {
  auto* sub = Make<TInstallDirectory>("Sub", dir_);
  auto* file3 = Make<TTestFile>("File3", sub);
  file3->Size = 1000;
  file3->CompressedSize = 400;
  file1_->CompressedSize = 120;
  file2_->CompressedSize = 60;
  file2_->SetInclude(false);
  EXPECT_EQ(dir_->FilesSize(false), 300);
  EXPECT_EQ(dir_->FilesSize(true), 400);
  EXPECT_EQ(dir_->TotalSize(false), 1300);
  EXPECT_EQ(root_->TotalSize(true), 1400);
  EXPECT_EQ(root_->CompressedSize(false), 520);
  EXPECT_EQ(root_->CompressedSize(true), 580);
  // An excluded directory takes its files out of the sums.
  sub->SetInclude(false);
  EXPECT_EQ(root_->TotalSize(false), 300);
  EXPECT_EQ(root_->TotalSize(true), 1400);
}

TEST_F(FileContainerEvents, TheWalkReportsToTheContainerAndRestoresItsState) {
  std::vector<std::string> seen;
  root_->State = ifsInstall;  // as in the root's own walk
  root_->SizeToProcess = 400;
  dir_->OnBeforeInstallObjects.Set([&](TInstallContainer* c) {
    auto* fc = static_cast<TFileContainer*>(c);
    seen.push_back("before " + std::to_string(fc->State) + " " + std::to_string(fc->SizeToProcess));
  });
  dir_->OnAfterInstallObjects.Set([&](TInstallContainer*, bool aborted) {
    seen.push_back(aborted ? "after aborted" : "after");
  });
  file2_->SetInclude(false);
  InstallModelStartup();
  InstallModel().SharedArchive->Abort = true;
  dir_->InstallHelpers();
  InstallModelShutdown();
  EXPECT_EQ(seen, (std::vector<std::string>{"before 2 300", "after aborted"}));
  EXPECT_EQ(dir_->State, ifsNone);
  EXPECT_TRUE(dir_->InfoRead);
  EXPECT_EQ(root_->InfoCodes, (std::vector<int>{ieContainerStart, ieContainerEnd}));
  EXPECT_EQ(dirManager_->Codes, (std::vector<int>{hnInstallHelpers, hnOperationOver}));

  // The root fires the event itself at the end of its run.
  seen.clear();
  dir_->FireAfterInstallObjects = false;
  dir_->InstallHelpers();
  EXPECT_EQ(seen, (std::vector<std::string>{"before 2 300"}));
}

TEST_F(FileContainerEvents, FindsFilesBySourcePath) {
  file1_->SetIncludeFromDir("C:\\Build\\Lakeside");
  file2_->SetIncludeFromDir("C:\\Build\\Lakeside\\");
  EXPECT_EQ(dir_->FindFileBySource("c:\\build\\lakeside\\NOTES.HLP"), file2_);
  EXPECT_EQ(dir_->FindFileBySource("C:\\Build\\Lakeside\\notes.exe"), file1_);
  EXPECT_EQ(dir_->FindFileBySource("C:\\Build\\notes.exe"), nullptr);
}

using FileContainerSpecifier = InstallTreeTest;

TEST_F(FileContainerSpecifier, EachContainerNamesItsDestinationWithItsOwnSpecifier) {
  auto* root = MakeRoot();
  auto* dir = Make<TInstallDirectory>("Dir1", root);
  dir->Description = "Lakeside program";
  dir->SetDestDir("\\Program");
  auto* dir2 = Make<TInstallDirectory>("Dir2", root);
  EXPECT_EQ(root->OwnPathSpecifier(), nullptr);
  ASSERT_NE(dir->OwnPathSpecifier(), nullptr);
  EXPECT_EQ(dir->OwnPathSpecifier()->Name(), "psFileContainer");
  EXPECT_EQ(dir2->OwnPathSpecifier()->Name(), "psFileContainer1");
  EXPECT_EQ(dir->OwnPathSpecifier()->Owner(), &Owner());

  TpsFileContainer* ps = dir->OwnPathSpecifier();
  EXPECT_EQ(ps->GetPath(nullptr), "C:\\Program Files\\Lakeside\\Program");
  EXPECT_EQ(ps->GetDescription(), "Path into which Lakeside program will be installed");
  EXPECT_EQ(ps->GetShortCaption(), "<Lakeside program>");
  for (TPersistent* user : {static_cast<TPersistent*>(dir2), static_cast<TPersistent*>(root)}) {
    EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { ps->GetPath(user); }),
              "A file container cannot reference another file container or group");
  }
  auto* file = Make<TTestFile>("File1", dir2);
  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { file->SetDestDirType(ps); }),
            "A file container cannot reference another file container or group");

  // The specifier goes with its container.
  TComponent::Free(dir);
  EXPECT_EQ(Owner().FindComponent("psFileContainer"), nullptr);
  EXPECT_NE(Owner().FindComponent("psFileContainer1"), nullptr);
}

TEST_F(FileContainerSpecifier, WithoutContainerItDescribesItselfAsUnknown) {
  auto* ps = new TpsFileContainer(&Owner());
  EXPECT_EQ(ps->GetDescription(), "Path specifier for unknown file container");
  EXPECT_EQ(ps->GetShortCaption(), "Path specifier for unknown file container");
  EXPECT_EQ(ps->GetPath(nullptr), "");
  auto* dir = Make<TInstallDirectory>("Dir1");
  ps->SetFileContainer(dir);
  TComponent::Free(dir);
  EXPECT_EQ(ps->FileContainer(), nullptr);
}

TEST_F(FileContainerSpecifier, AClaimedNameMovesTheHolderAside) {
  auto* dir = Make<TInstallDirectory>("Dir1");
  TpsFileContainer* automatic = dir->OwnPathSpecifier();
  auto* saved = new TpsFileContainer(&Owner());
  saved->SetName("psFileContainer");
  EXPECT_EQ(saved->Name(), "psFileContainer");
  EXPECT_EQ(automatic->Name(), "nameClash1");

  // The next clash takes the next number, and a number further when that name is taken.
  auto* blocker = new TComponent(&Owner());
  blocker->SetName("nameClash2");
  auto* third = new TpsFileContainer(&Owner());
  third->SetName("psFileContainer");
  EXPECT_EQ(third->Name(), "psFileContainer");
  EXPECT_EQ(saved->Name(), "nameClash21");

  // Any other failure leaves the name as it was.
  third->SetName("not a name");
  EXPECT_EQ(third->Name(), "psFileContainer");
}

TEST_F(FileContainerSpecifier, ASavedSpecifierReplacesTheAutomaticOneWhenLoaded) {
  auto* dir = Make<TInstallDirectory>("Dir1");
  auto* saved = new TpsFileContainer(&Owner());
  saved->SetLoading(true);
  saved->SetName("psFileContainer");
  saved->SetFileContainer(dir);
  saved->Loaded();
  EXPECT_EQ(dir->OwnPathSpecifier(), saved);
  EXPECT_EQ(Owner().FindComponent("nameClash1"), nullptr);
  int specifiers = 0;
  for (TComponent* c : Owner().ComponentList()) {
    if (dynamic_cast<TpsFileContainer*>(c) != nullptr) ++specifiers;
  }
  EXPECT_EQ(specifiers, 1);
}

}  // namespace
}  // namespace tmby::fixtures
