#include "archive/self_extract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/tmby_compress.h"
#include "base/sha.h"
#include "support/archive_fixture.h"
#include "support/counting_files.h"
#include "support/exception_message.h"

namespace tmby {
namespace {

using fixtures::MessageOf;

using testing::CountingPlatform;

std::string DamagedText(const std::string& file, const std::string& reason) {
  return "The file \"" + file + "\" is damaged or incomplete (" + reason +
         "). Please download or copy the installation again.";
}

class SelfExtractTest : public testing::ArchiveFixture {
 protected:
  void SetUp() override {
    ArchiveFixture::SetUp();
    counting_ = std::make_unique<CountingPlatform>(platform::Port());
    previous_ = platform::SetPort(counting_.get());
    engine_ = testing::NoiseData(70000, 3);
    license_ = testing::TextData(30000, 4);
    language_ = testing::TextData(500, 5);
    WriteFile(P("src\\Engine.exe"), engine_);
    WriteFile(P("src\\License.rtf"), license_);
    WriteFile(P("src\\tmbiEnglish.txt"), language_);
    // A pre-setup file that happens to carry the engine's name must not replace it.
    WriteFile(P("other\\ENGINE.EXE"), testing::TextData(100, 6));
    WriteFile(P("src\\product.dat"), testing::TextData(50000, 7));
    Pack(P("build\\setup.1"), {P("src\\Engine.exe")}, false);
    Pack(P("build\\setup.1"),
         {P("src\\License.rtf"), P("src\\tmbiEnglish.txt"), P("other\\ENGINE.EXE")}, true);
    Pack(P("build\\files.1"), {P("src\\product.dat")}, false);
    ASSERT_TRUE(Files().CreateDirectories(P("temp")));
  }
  void TearDown() override {
    platform::SetPort(previous_);
    counting_.reset();
    ArchiveFixture::TearDown();
  }

  void Pack(const std::string& archive, const std::vector<std::string>& files, bool append) {
    TTmbyCompress c;
    c.SetCompressedFile(archive);
    c.SetFilesToProcess(files);
    c.Compress(append, 0);
  }

  // The distribution as the build writes it: loader, setup.1, files.1, trailer, checksum.
  std::string SelfExtracting(const std::string& name = "dist\\setup.exe") {
    WriteFile(P(name), loader_);
    AppendSelfExtractArchives(P(name), P("build\\setup.1"), P("build\\files.1"));
    AppendCheckSum(P(name));
    return P(name);
  }

  TUnpackedSetup Unpack(const std::string& exe, uint32_t seed = 0x10) {
    counting_->files.Reset();
    counting_->files.watched = exe;
    return UnpackSetup(exe, P("temp") + "\\", seed);
  }

  std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : Files().FindFiles(folder + "\\*")) names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    return names;
  }

  void Patch(const std::string& path, size_t at, uint8_t value) {
    auto bytes = ReadFile(path);
    ASSERT_LT(at, bytes.size());
    bytes[at] = value;
    WriteFile(path, bytes);
  }

  void ExpectRefused(const std::string& exe, const std::string& reason) {
    EXPECT_EQ(MessageOf<ELoaderDamaged>([&] { Unpack(exe); }), DamagedText(exe, reason));
    EXPECT_TRUE(Listing(P("temp")).empty()) << "the folder stays after refusing " << reason;
  }

  const std::vector<uint8_t> loader_ = testing::TextData(9000, 2);
  std::vector<uint8_t> engine_, license_, language_;
  std::unique_ptr<CountingPlatform> counting_;
  platform::IPlatform* previous_ = nullptr;
};

TEST_F(SelfExtractTest, UnpacksTheEngineAndThePresetupFilesReadingItselfOnce) {
  const std::string exe = SelfExtracting();
  const int64_t size = static_cast<int64_t>(ReadFile(exe).size());
  const TUnpackedSetup setup = Unpack(exe);

  EXPECT_EQ(setup.Folder, P("temp\\TMBY0010"));
  EXPECT_EQ(setup.Engine, P("temp\\TMBY0010\\Engine.exe"));
  EXPECT_EQ(setup.SourceDir, P("dist"));
  EXPECT_EQ(setup.SelfName, "setup.exe");
  EXPECT_EQ(ReadFile(setup.Engine), engine_);
  EXPECT_EQ(ReadFile(setup.Folder + "\\License.rtf"), license_);
  EXPECT_EQ(ReadFile(setup.Folder + "\\tmbiEnglish.txt"), language_);
  // Only the engine and the pre-setup files: the copy of setup.1 is gone again.
  EXPECT_EQ(Listing(setup.Folder),
            (std::vector<std::string>{"Engine.exe", "License.rtf", "tmbiEnglish.txt"}));
  EXPECT_EQ(setup.Files.front(), setup.Engine);
  EXPECT_EQ(Listing(P("temp")), std::vector<std::string>{"TMBY0010"});

  // One open, the last 96 bytes, then one pass up to the checksum: nothing is read twice but the
  // 56 bytes of the trailer.
  EXPECT_EQ(counting_->files.opens, 1);
  EXPECT_EQ(counting_->files.bytes, 96 + size - 40);
  EXPECT_EQ(setup.SelfBytesRead, counting_->files.bytes);
  EXPECT_LE(counting_->files.reads, 2 + (size + 65535) / 65536 + 1);

  EXPECT_EQ(
      EngineCommandLine(setup, {"-n", "*todisk", "two words"}),
      "\"" + setup.Engine + "\" \"-s" + P("dist") + "\" \"-esetup.exe\" -c -n -f \"two words\"");
  EXPECT_FALSE(AsksForFloppies({"-n"}));
  EXPECT_TRUE(AsksForFloppies({"*ToDisk"}));
}

TEST_F(SelfExtractTest, DamagedOrIncompleteFilesAreRefusedAndLeaveNoFolder) {
  const std::string exe = SelfExtracting();
  const std::vector<uint8_t> good = ReadFile(exe);
  const size_t size = good.size();
  const std::string checksum = "its checksum does not match its contents";
  const std::string missing = "its setup information at the end of the file is missing";

  // One flipped byte anywhere: in the loader, in setup.1, in files.1, in the trailer's reserved
  // bytes, in the checksum itself (another digit, or no digit at all).
  for (size_t at : {size_t{100}, loader_.size() + 200, size - 96 - 10, size - 96 + 40, size - 1}) {
    WriteFile(exe, good);
    Patch(exe, at, at >= size - 40 ? (good[at] == '0' ? '1' : '0') : (good[at] ^ 0x01));
    ExpectRefused(exe, checksum);
  }
  WriteFile(exe, good);
  Patch(exe, size - 5, 'x');
  ExpectRefused(exe, missing);
  // Cut short: by one byte, by the checksum, in the middle, to almost nothing.
  for (size_t keep : {size - 1, size - 40, size / 2, size_t{30}}) {
    WriteFile(exe, std::vector<uint8_t>(good.begin(), good.begin() + keep));
    ExpectRefused(exe, missing);
  }
  // A signature of neither kind, even under a checksum that matches it.
  WriteFile(exe, std::vector<uint8_t>(good.begin(), good.end() - 40));
  Patch(exe, size - 96 + 14, 'H');  // "SELFEXTRACTINH"
  AppendCheckSum(exe);
  ExpectRefused(exe, missing);
}

TEST_F(SelfExtractTest, TrailerOffsetsMustDescribeTheFile) {
  // loader 1000 bytes, setup.1 at 1000..1499, files.1 at 1500..1903, trailer at 1904.
  const int64_t size = 2000;
  auto tail_of = [](const std::string& signature, int32_t a, int32_t b, int32_t c, int32_t d) {
    TSelfExtractRecord r;
    r.Signature = signature;
    r.SetupStart = a;
    r.SetupEnd = b;
    r.FilesStart = c;
    r.FilesEnd = d;
    const auto bytes = r.Encode();
    std::vector<uint8_t> tail(bytes.begin(), bytes.end());
    const std::string sum(40, 'A');
    tail.insert(tail.end(), sum.begin(), sum.end());
    return tail;
  };
  const std::string file = "C:\\d\\setup.exe";
  auto reason = [&](const std::vector<uint8_t>& tail) {
    return MessageOf<ELoaderDamaged>([&] { ParseLoaderTail(file, size, tail); });
  };
  const TLoaderTail good =
      ParseLoaderTail(file, size, tail_of(kSelfExtracting, 1000, 1499, 1500, 1903));
  EXPECT_TRUE(good.SelfExtracting);
  EXPECT_TRUE(good.HasCheckSum);
  EXPECT_EQ(good.Record.FilesEnd, 1903);
  EXPECT_TRUE(ParseLoaderTail(file, size, tail_of(kSelfExtracting, 1000, 1903, 0, 0))
                  .SelfExtracting);  // no files.1
  const std::string bad = DamagedText(file, "its setup information does not describe the file");
  EXPECT_EQ(reason(tail_of(kSelfExtracting, 0, 1499, 1500, 1903)), bad);     // no loader
  EXPECT_EQ(reason(tail_of(kSelfExtracting, 1000, 1002, 1003, 1903)), bad);  // setup.1 < head
  EXPECT_EQ(reason(tail_of(kSelfExtracting, 1000, 1499, 1600, 1903)), bad);  // a gap
  EXPECT_EQ(reason(tail_of(kSelfExtracting, 1000, 1499, 1500, 1950)), bad);  // into the trailer
  EXPECT_EQ(reason(tail_of(kSelfExtracting, 1000, 1499, 0, 0)), bad);        // short of it
  EXPECT_EQ(reason(tail_of(kSelfExtracting, -5, 1499, 1500, 1903)), bad);
  EXPECT_EQ(reason(tail_of(kNotSelfExtract, 1000, 1499, 1500, 1903)), bad);  // must be zeros
  EXPECT_FALSE(ParseLoaderTail(file, size, tail_of(kNotSelfExtract, 0, 0, 0, 0)).SelfExtracting);
}

TEST_F(SelfExtractTest, SeparateFormUnpacksTheSetupArchiveBesideIt) {
  // The floppy copy: the loader and the zero trailer, no checksum; setup.1 on the same disk.
  WriteFile(P("disk\\setup.exe"), loader_);
  AppendNotSelfExtractTrailer(P("disk\\setup.exe"));
  EXPECT_EQ(MessageOf<ELoadingProgram>([&] { Unpack(P("disk\\setup.exe")); }),
            "The setup archive \"" + P("disk\\setup.1") +
                "\" was not found beside the setup program. Copy the whole installation "
                "(setup.exe, setup.1 and files.1) again, or insert its first disk.");
  EXPECT_TRUE(Listing(P("temp")).empty());

  WriteFile(P("disk\\setup.1"), ReadFile(P("build\\setup.1")));
  const TUnpackedSetup setup = Unpack(P("disk\\setup.exe"), 0xFFFF);
  EXPECT_EQ(setup.Folder, P("temp\\TMBYFFFF"));
  EXPECT_EQ(ReadFile(setup.Engine), engine_);
  EXPECT_TRUE(setup.SelfName.empty());
  // Without a checksum there is nothing to check: only the trailer is read.
  EXPECT_EQ(counting_->files.bytes, 96);
  // No -e: the archives lie beside setup.exe; the second argument is -c.
  EXPECT_EQ(EngineCommandLine(setup, {}), "\"" + setup.Engine + "\" \"-s" + P("disk") + "\" -c");

  // A build that is not stand-alone: the same with the checksum, which is checked.
  WriteFile(P("sep\\setup.exe"), loader_);
  AppendNotSelfExtractTrailer(P("sep\\setup.exe"));
  AppendCheckSum(P("sep\\setup.exe"));
  WriteFile(P("sep\\setup.1"), ReadFile(P("build\\setup.1")));
  RemoveLoaderFolder(setup.Folder);
  EXPECT_EQ(ReadFile(Unpack(P("sep\\setup.exe")).Engine), engine_);
  RemoveLoaderFolder(P("temp\\TMBY0010"));
  Patch(P("sep\\setup.exe"), 10, 0x55);
  ExpectRefused(P("sep\\setup.exe"), "its checksum does not match its contents");

  // A damaged setup.1 on the disk: a member count the file cannot hold.
  WriteFile(P("disk\\setup.1"), {0x40, 0x42, 0x0F, 0x00, 0x00, 1, 2, 3});
  EXPECT_EQ(MessageOf<ELoaderDamaged>([&] { Unpack(P("disk\\setup.exe")); }),
            DamagedText(P("disk\\setup.1"), "its setup archive cannot be read"));
  EXPECT_TRUE(Listing(P("temp")).empty());
}

TEST_F(SelfExtractTest, FolderNamesSkipWhatExistsAndAreRecognised) {
  ASSERT_TRUE(Files().CreateDirectories(P("temp\\TMBY0010")));
  WriteFile(P("temp\\tmby0011"), {1});
  const TUnpackedSetup setup = Unpack(SelfExtracting());
  EXPECT_EQ(setup.Folder, P("temp\\TMBY0012"));
  EXPECT_EQ(LoaderFolderName(0x1A2F), "TMBY1A2F");
  EXPECT_EQ(LoaderFolderName(0x71A2F), "TMBY1A2F");
  EXPECT_TRUE(IsLoaderFolderName("tmby1a2f"));
  for (const char* name : {"TMBY1A2", "TMBY1A2G", "TMBY1A2F0", "XMBY1A2F", ""}) {
    EXPECT_FALSE(IsLoaderFolderName(name)) << name;
  }

  const std::string temp = Files().TempPath().value_or("C:\\TEMP\\");
  EXPECT_TRUE(IsInLoaderFolder(temp + "TMBY0001\\Engine.exe"));
  EXPECT_FALSE(IsInLoaderFolder(temp + "Other\\Engine.exe"));
  EXPECT_FALSE(IsInLoaderFolder(temp + "TMBY0001\\sub\\Engine.exe"));
  EXPECT_FALSE(IsInLoaderFolder(temp + "Engine.exe"));
  EXPECT_FALSE(IsInLoaderFolder(P("TMBY0001\\Engine.exe")));
}

TEST(QuoteArgument, GivesBackWhatTheWindowsSplittingReads) {
  EXPECT_EQ(QuoteArgument("-n"), "-n");
  EXPECT_EQ(QuoteArgument(""), "\"\"");
  EXPECT_EQ(QuoteArgument("C:\\My Build\\"), "\"C:\\My Build\\\\\"");
  EXPECT_EQ(QuoteArgument("say \"hi\""), "\"say \\\"hi\\\"\"");
  EXPECT_EQ(QuoteArgument("a\\\"b"), "\"a\\\\\\\"b\"");
}

}  // namespace
}  // namespace tmby
