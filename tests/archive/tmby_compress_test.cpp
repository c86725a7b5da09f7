#include "archive/tmby_compress.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "archive/disk_limit.h"
#include "base/exceptions.h"
#include "base/sha.h"
#include "platform/memory/memory_port.h"
#include "support/archive_fixture.h"
#include "support/counting_files.h"
#include "support/pe_builder.h"
#include "support/scratch_dir.h"

namespace tmby {
namespace {

using testing::NoiseData;
using testing::TextData;

constexpr uint32_t kStampA = 0x2C8F6E2F;  // 2002-04-15 13:49:30
constexpr uint32_t kStampB = 0x3A214C10;  // 2009-01-01 09:32:32

int32_t I32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<int32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
                              (static_cast<uint32_t>(b[at + 3]) << 24));
}

void PutI32(std::vector<uint8_t>& b, size_t at, int32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

class TmbyCompressTest : public testing::ArchiveFixture {
 protected:
  // Compresses `names` (below the scratch folder) into `archive`.
  void Pack(const std::string& archive, const std::vector<std::string>& names, bool append = false,
            int member_index = -1, TCompressionLevel level = colMax) {
    TTmbyCompress c;
    c.SetCompressedFile(archive);
    c.CompressionLevel = level;
    std::vector<std::string> lines;
    for (const auto& n : names) lines.push_back(P(n));
    c.SetFilesToProcess(lines);
    c.Compress(append, member_index);
  }
  void Unpack(TTmbyCompress& c, const std::vector<std::string>& names, const std::string& dir) {
    std::vector<std::string> lines;
    for (const auto& n : names) lines.push_back(P(n));
    c.ExtractDirectory = dir;
    c.SetFilesToProcess(lines);
    c.Extract();
  }
  void ExpectSameFile(const std::string& a, const std::string& b) {
    EXPECT_EQ(ReadFile(a), ReadFile(b)) << a << " vs " << b;
    EXPECT_EQ(Files().GetDosTime(a), Files().GetDosTime(b)) << a;
  }
  void MakeSources() {
    WriteFile(P("src\\readme.txt"), TextData(200000), kStampA);
    WriteFile(P("src\\empty.dat"), {}, kStampB);
    WriteFile(P("src\\noise.bin"), NoiseData(150000), kStampA);
  }
  const std::vector<std::string> kNames{"src\\readme.txt", "src\\empty.dat", "src\\noise.bin"};
};

std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no exception)";
}

TEST_F(TmbyCompressTest, CompressedMembersExtractByteIdenticalWithTheirDates) {
  MakeSources();
  int before = 0, after = 0, done = 0;
  TTmbyCompress c;
  c.SetCompressedFile(P("dist\\files.1"));  // the directory is created
  std::vector<std::string> lines;
  for (const auto& n : kNames) lines.push_back(P(n) + ";ignored text");
  lines.push_back("   ");
  c.SetFilesToProcess(lines);
  EXPECT_EQ(c.FilesToProcess().size(), 3u);
  c.OnBeforeAdding = [&](TTmbyCompress&, TlzhFileStats& s) {
    ++before;
    EXPECT_EQ(s.CompressedSize, 0);
  };
  c.OnAfterAdding = [&](TTmbyCompress&, TlzhFileStats&) { ++after; };
  c.OnStatus = [&](TTmbyCompress&, TlzhFileStats& s) {
    if (s.Done) {
      ++done;
      EXPECT_EQ(s.FileBytesDone, s.OriginalSize);
    }
  };
  c.Compress(false, 17);
  EXPECT_EQ(before, 3);
  EXPECT_EQ(after, 3);
  EXPECT_EQ(done, 3);
  EXPECT_TRUE(c.FilesToProcess().empty());
  EXPECT_FALSE(c.HeadersLoaded());  // stale after a compression

  EXPECT_EQ(c.GetMemberCount(), 3);
  EXPECT_EQ(c.IndexOfMember(17), 2);  // the last member carrying the identifier
  EXPECT_EQ(c.IndexOfMember(18), -1);
  EXPECT_EQ(c.IndexOfMember(-5), -1);
  EXPECT_EQ(c.IndexOfMember(2000), -1);

  int extracted_done = 0;
  c.OnStatus = [&](TTmbyCompress&, TlzhFileStats& s) {
    if (s.Done) {
      ++extracted_done;
      EXPECT_EQ(s.FilePercent, s.OriginalSize > 0 ? 100 : 0);
    }
  };
  Unpack(c, kNames, P("out"));
  EXPECT_EQ(extracted_done, 3);
  EXPECT_TRUE(c.DestFileName.empty());
  ExpectSameFile(P("src\\readme.txt"), P("out\\readme.txt"));
  ExpectSameFile(P("src\\empty.dat"), P("out\\empty.dat"));
  ExpectSameFile(P("src\\noise.bin"), P("out\\noise.bin"));
  EXPECT_EQ(Files().GetDosTime(P("out\\empty.dat")), kStampB);
  // No temporary file is left beside the extracted ones.
  EXPECT_EQ(Files().FindFiles(P("out\\*")).size(), 3u);
}

TEST_F(TmbyCompressTest, SingleVolumeLayoutReadIndependently) {
  MakeSources();
  Pack(P("files.1"), kNames, false, 42);
  const auto a = ReadFile(P("files.1"));
  ASSERT_GE(a.size(), 5u);
  EXPECT_EQ(I32(a, 0), 3);
  EXPECT_EQ(a[4], 0);
  size_t at = 5;
  for (int i = 0; i < 3; ++i) {
    const auto source = ReadFile(P(kNames[i]));
    EXPECT_EQ(I32(a, at + 0), i + 1);  // MemberNumber
    EXPECT_EQ(a[at + 16], 0);          // EndVolume
    EXPECT_EQ(a[at + 144], 0);         // StartVolume
    EXPECT_EQ(a[at + 24], P(kNames[i]).size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&a[at + 25]), a[at + 24]), P(kNames[i]));
    EXPECT_EQ(I32(a, at + 132), static_cast<int32_t>(source.size()));
    EXPECT_EQ(I32(a, at + 148), 42);
    const int32_t data_start = I32(a, at + 136);
    const int32_t end_position = I32(a, at + 20);
    const int32_t next = I32(a, at + 128);
    EXPECT_EQ(data_start, static_cast<int32_t>(at + 176));
    EXPECT_EQ(next, end_position + 1);
    // CompressedSize is the archive's size once the member was written.
    EXPECT_EQ(I32(a, at + 140), next);
    // The data is one zlib stream that holds the source.
    std::vector<uint8_t> plain(source.size() + 1);
    uLongf plain_size = static_cast<uLongf>(plain.size());
    ASSERT_EQ(uncompress(plain.data(), &plain_size, &a[static_cast<size_t>(data_start)],
                         static_cast<uLong>(end_position - data_start + 1)),
              Z_OK);
    plain.resize(plain_size);
    EXPECT_EQ(plain, source);
    at = static_cast<size_t>(next);
  }
  EXPECT_EQ(at, a.size());  // the last NextHeader is the archive's length
}

TEST_F(TmbyCompressTest, AppendingKeepsTheExistingMembersBytes) {
  MakeSources();
  // Appending with no archive present creates one.
  Pack(P("files.1"), {kNames[0]}, true);
  const auto first = ReadFile(P("files.1"));
  Pack(P("files.1"), {kNames[1], kNames[2]}, true, 5);
  const auto second = ReadFile(P("files.1"));
  ASSERT_GT(second.size(), first.size());
  EXPECT_EQ(I32(second, 0), 3);
  EXPECT_TRUE(std::equal(first.begin() + 5, first.end(), second.begin() + 5));
  // The new members are numbered from 1 again.
  EXPECT_EQ(I32(second, first.size()), 1);

  TTmbyCompress c;
  c.SetCompressedFile(P("files.1"));
  EXPECT_EQ(c.IndexOfMember(5), 2);
  Unpack(c, kNames, P("out"));
  for (const auto& n : kNames) ExpectSameFile(P(n), P("out\\" + n.substr(4)));

  // Overwriting replaces the archive.
  Pack(P("files.1"), {kNames[1]}, false);
  TTmbyCompress again;
  again.SetCompressedFile(P("files.1"));
  EXPECT_EQ(again.GetMemberCount(), 1);
}

TEST_F(TmbyCompressTest, APathLongerThanTheNameFieldIsRefusedAndTheArchiveKept) {
  MakeSources();
  Pack(P("files.1"), {kNames[0]});
  const auto before = ReadFile(P("files.1"));
  // Paths of exactly 100 characters and of one more.
  const size_t room = 100 - P("").size();
  const std::string fits = "deep\\" + std::string(room - 5, 'f');
  const std::string over = "deep\\" + std::string(room - 4, 'o');
  ASSERT_EQ(P(fits).size(), 100u);
  WriteFile(P(fits), TextData(3000, 7));
  WriteFile(P(over), TextData(3000, 8));
  const std::string refusal = "The path " + P(over) +
                              " is longer than the 100 characters that an archive member name "
                              "can hold";
  for (bool append : {false, true}) {
    EXPECT_EQ(MessageOf([&] { Pack(P("files.1"), {kNames[1], over}, append); }), refusal);
    EXPECT_EQ(ReadFile(P("files.1")), before) << append;
  }
  // The longest path that fits is found again by the whole of it.
  Pack(P("files.1"), {fits}, true);
  TTmbyCompress c;
  c.SetCompressedFile(P("files.1"));
  Unpack(c, {fits}, P("out"));
  EXPECT_EQ(ReadFile(P("out\\" + fits.substr(5))), TextData(3000, 7));
}

// Extracts `member` of an archive of `bytes` on another port; the member's bytes, or nothing when
// it is not found.
std::vector<uint8_t> ExtractElsewhere(platform::IPlatform& port, const std::vector<uint8_t>& bytes,
                                      const std::string& member) {
  platform::IPlatform* previous = platform::SetPort(&port);
  std::vector<uint8_t> extracted;
  try {
    auto& files = port.Files();
    files.CreateDirectories("C:\\dist");
    auto archive = files.Open("C:\\dist\\files.1", platform::FileAccess::Write,
                              platform::kShareNone, platform::FileDisposition::CreateAlways);
    if (archive && archive->Write(bytes.data(), bytes.size())) {
      archive.reset();
      TTmbyCompress other;
      other.SetCompressedFile("C:\\dist\\files.1");
      other.ExtractDirectory = "C:\\out";
      other.SetFilesToProcess({member});
      other.Extract();
      auto file = files.Open("C:\\out\\" + PathFileNamePart(member), platform::FileAccess::Read,
                             platform::kShareAll, platform::FileDisposition::OpenExisting);
      extracted.resize(file ? static_cast<size_t>(file->Size().value_or(0)) : 0);
      size_t got = 0;
      if (file) file->Read(extracted.data(), extracted.size(), &got);
      extracted.resize(got);
    }
  } catch (const Exception&) {
    extracted.clear();
  }
  platform::SetPort(previous);
  return extracted;
}

// Member names go into the archive in the system's ANSI code page, as every reader of the format
// expects: an accented name is stored as its code page has it and found again by its name, also
// by the other adapter (a build under Windows extracted on the simulated machine, whose code page
// is Windows-1252); a name the code page cannot hold fails the build by name and leaves the
// archive as it was.
TEST_F(TmbyCompressTest, MemberNamesAreStoredInTheCodePageAndFoundAgain) {
  MakeSources();
  const std::string accented =
      "src\\Caf\xC3\xA9 \xC3\x9C"
      "bersicht.txt";  // Café Übersicht
  WriteFile(P(accented), TextData(5000, 3));
  Pack(P("files.1"), {kNames[0], accented});
  const std::vector<uint8_t> built = ReadFile(P("files.1"));
  auto& system = platform::Port().System();
  const auto stored = system.ToAnsi(P(accented));
  ASSERT_TRUE(stored) << "code page " << system.AnsiCodePage();
  const auto contains = [&](const std::string& text) {
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    return std::search(built.begin(), built.end(), bytes.begin(), bytes.end()) != built.end();
  };
  EXPECT_TRUE(contains(*stored));
  EXPECT_FALSE(contains(P(accented)));  // the UTF-8 form
  if (system.AnsiCodePage() == 1252) {
    EXPECT_TRUE(
        contains("Caf\xE9 \xDC"
                 "bersicht.txt"));
  }
  TTmbyCompress c;
  c.SetCompressedFile(P("files.1"));
  Unpack(c, {accented}, P("out"));
  EXPECT_EQ(ReadFile(P("out\\Caf\xC3\xA9 \xC3\x9C"
                       "bersicht.txt")),
            TextData(5000, 3));

  const std::vector<std::string> non_latin{
      "src\\\xD0\x97\xD0\xB0\xD0\xBC\xD0\xB5\xD1\x82\xD0\xBA\xD0\xB8.txt",  // Cyrillic
      "src\\\xE3\x83\xA1\xE3\x83\xA2.txt"};                                 // Japanese
  for (const std::string& name : non_latin) {
    // A system whose code page holds the name stores it as any other. The refusal comes before
    // the file is looked at (on the path of Windows 9x it could not even be made).
    if (system.ToAnsi(P(name))) continue;
    for (bool append : {false, true}) {
      EXPECT_EQ(MessageOf([&] {
                  Pack(P("files.1"), {kNames[1], name}, append);
                }),
                "The name " + P(name) +
                    " cannot be stored in an archive: the code page of this system (" +
                    std::to_string(system.AnsiCodePage()) +
                    ") has no place for one of its characters");
      EXPECT_EQ(ReadFile(P("files.1")), built);
    }
  }

  // The other side: the same archive on the simulated machine.
  testing::ScratchDir scratch("archive-names");
  platform::memory::MemoryPlatform machine(scratch.path());
  if (machine.System().ToAnsi(P(accented)) != stored) {
    GTEST_SKIP() << "code page " << system.AnsiCodePage() << " is not the simulated machine's";
  }
  EXPECT_EQ(ExtractElsewhere(machine, built, P(accented)), TextData(5000, 3));
}

TEST_F(TmbyCompressTest, EveryCompressionLevelRoundTrips) {
  WriteFile(P("text.txt"), TextData(300000), kStampA);
  std::vector<size_t> sizes;
  for (auto level : {colNone, colFastest, colDefault, colMax}) {
    const std::string archive = P("level" + std::to_string(level) + ".1");
    Pack(archive, {"text.txt"}, false, -1, level);
    sizes.push_back(ReadFile(archive).size());
    TTmbyCompress c;
    c.SetCompressedFile(archive);
    Unpack(c, {"text.txt"}, P("out" + std::to_string(level)));
    ExpectSameFile(P("text.txt"), P("out" + std::to_string(level) + "\\text.txt"));
  }
  EXPECT_GT(sizes[0], 300000u);  // stored
  EXPECT_LT(sizes[1], sizes[0] / 2);
  EXPECT_LE(sizes[3], sizes[1]);
}

TEST_F(TmbyCompressTest, BytesThatDoNotShrinkAreStoredAndTheNextMemberDeflatesAgain) {
  WriteFile(P("noise.bin"), NoiseData(400000), kStampA);
  WriteFile(P("text.txt"), TextData(300000), kStampA);
  Pack(P("noise.1"), {"noise.bin"}, false, -1, colDefault);
  Pack(P("both.1"), {"noise.bin", "text.txt"}, false, -1, colDefault);
  const size_t noise = ReadFile(P("noise.1")).size();
  const size_t both = ReadFile(P("both.1")).size();
  // Stored blocks take a few bytes each beyond the data.
  EXPECT_LT(noise, 400000u + 1000u);
  // The member after the stored one is deflated at the archive's level, not stored too.
  EXPECT_LT(both - noise, 300000u / 2);
  TTmbyCompress c;
  c.SetCompressedFile(P("both.1"));
  Unpack(c, {"noise.bin", "text.txt"}, P("out"));
  ExpectSameFile(P("noise.bin"), P("out\\noise.bin"));
  ExpectSameFile(P("text.txt"), P("out\\text.txt"));
}

// The zlib streams of a single-volume archive's members, inflated by zlib itself.
std::vector<std::vector<uint8_t>> InflatedMembers(const std::vector<uint8_t>& a) {
  std::vector<std::vector<uint8_t>> members;
  for (size_t at = 5; at < a.size(); at = static_cast<size_t>(I32(a, at + 128))) {
    const int32_t data_start = I32(a, at + 136);
    const int32_t end_position = I32(a, at + 20);
    std::vector<uint8_t> plain(static_cast<size_t>(I32(a, at + 132)) + 1);
    uLongf plain_size = static_cast<uLongf>(plain.size());
    EXPECT_EQ(uncompress(plain.data(), &plain_size, &a[static_cast<size_t>(data_start)],
                         static_cast<uLong>(end_position - data_start + 1)),
              Z_OK);
    plain.resize(plain_size);
    members.push_back(std::move(plain));
  }
  return members;
}

TEST_F(TmbyCompressTest, LargeMembersDeflatedInChunksOnSeveralThreadsAreOneStreamEach) {
  // Around the sizes where a member stops being deflated whole (two chunks of 128 KiB); text
  // that turns to noise, and noise from the start (stored after its first chunk).
  std::vector<uint8_t> mixed = TextData(128 * 1024 * 3);
  const auto noise_tail = NoiseData(128 * 1024 * 2 + 77);
  mixed.insert(mixed.end(), noise_tail.begin(), noise_tail.end());
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> sources{
      {"whole.txt", TextData(256 * 1024)},
      {"one_more.txt", TextData(256 * 1024 + 1)},
      {"mixed.dat", mixed},
      {"noise.bin", NoiseData(700000)},
      {"text.txt", TextData(1000000)}};
  std::vector<std::string> names;
  for (const auto& [name, bytes] : sources) {
    WriteFile(P(name), bytes, kStampA);
    names.push_back(name);
  }
  std::vector<uint8_t> first_archive;
  for (const unsigned threads : {0u, 1u, 3u}) {
    SCOPED_TRACE(threads);
    TTmbyCompress c;
    c.SetDeflateThreads(threads);
    c.SetCompressedFile(P("files.1"));
    std::vector<std::string> lines;
    for (const auto& name : names) lines.push_back(P(name));
    c.SetFilesToProcess(lines);
    c.Compress(false, -1);
    const auto archive = ReadFile(P("files.1"));
    const auto members = InflatedMembers(archive);
    ASSERT_EQ(members.size(), sources.size());
    for (size_t i = 0; i < sources.size(); ++i) EXPECT_TRUE(members[i] == sources[i].second) << i;
    // The chunks' bytes do not depend on which thread deflated them, or when.
    if (first_archive.empty()) first_archive = archive;
    EXPECT_TRUE(archive == first_archive);
    Unpack(c, names, P("out"));
    for (const auto& name : names) ExpectSameFile(P(name), P("out\\" + name));
  }
  // Chunks cost next to nothing against one stream over the whole text; the noise is stored.
  const auto& text = sources[4].second;
  std::vector<uint8_t> one(compressBound(static_cast<uLong>(text.size())));
  uLongf one_size = static_cast<uLongf>(one.size());
  ASSERT_EQ(compress2(one.data(), &one_size, text.data(), static_cast<uLong>(text.size()), 9), Z_OK);
  Pack(P("text.1"), {"text.txt"});
  Pack(P("noise.1"), {"noise.bin"});
  const size_t header = 5 + 176;
  EXPECT_LT(ReadFile(P("text.1")).size() - header, one_size + one_size / 200);
  EXPECT_LT(ReadFile(P("noise.1")).size() - header, 700000u + 700000u / 200);
}

TEST_F(TmbyCompressTest, SourcesReadAheadAreTakenOnlyWhileTheyAreStillTheFileThatWasRead) {
  WriteFile(P("a.txt"), TextData(300000), kStampA);
  WriteFile(P("b.txt"), TextData(1000, 2), kStampA);
  WriteFile(P("c.txt"), TextData(2000, 3), kStampA);
  WriteFile(P("e.txt"), TextData(3000, 4), kStampA);
  WriteFile(P("skipped.txt"), TextData(3000, 5), kStampA);  // as long as e.txt, and as old
  const std::vector<std::string> names{"a.txt", "b.txt", "c.txt", "e.txt"};
  TTmbyCompress c;
  c.SetDeflateThreads(1);
  c.SetCompressedFile(P("files.1"));
  // Two expected sources are never asked for; one of them is not even there.
  c.ExpectSources(
      {P("a.txt"), P("missing.txt"), P("b.txt"), P("c.txt"), P("skipped.txt"), P("e.txt")});
  const auto append = [&](const std::string& name) {
    c.SetFilesToProcess({P(name)});
    c.Compress(true, -1);
  };
  testing::ScopedCountingPort counting;
  append("a.txt");
  // Changed once read ahead: longer; as long, but of another date.
  WriteFile(P("b.txt"), TextData(1500, 2), kStampA);
  WriteFile(P("c.txt"), NoiseData(2000), kStampB);
  append("b.txt");
  append("c.txt");
  append("e.txt");
  // e.txt was read ahead, then opened to be described: its member is the work done ahead.
  EXPECT_EQ(counting.files.OpensOf(P("e.txt")), 2);
  c.ExpectSources({});
  Unpack(c, names, P("out"));
  for (const auto& name : names) ExpectSameFile(P(name), P("out\\" + name));
}

TEST_F(TmbyCompressTest, ProgressFiguresAndMessagesRunOncePerBuffer) {
  WriteFile(P("noise.bin"), NoiseData(64 * 1024 * 5), kStampA);
  TTmbyCompress c;
  c.SetCompressedFile(P("files.1"));
  c.SetFilesToProcess({P("noise.bin")});
  int reports = 0;
  c.OnStatus = [&](TTmbyCompress&, TlzhFileStats& s) {
    ++reports;
    EXPECT_LE(s.FilePercent, 100);
    EXPECT_EQ(s.TotalOriginal, 64 * 1024 * 5);
  };
  c.Compress(false, 0);
  // One report per 128 KiB chunk written (three), the end and the Done report.
  EXPECT_EQ(reports, 5);
  if (Simulated()) {
    EXPECT_EQ(MessageRuns(), reports);
  }

  TlzhFileStats stats;
  c.GetMemberStats(0, stats);
  EXPECT_EQ(stats.OriginalSize, 64 * 1024 * 5);
  EXPECT_EQ(stats.TotalOriginal, 64 * 1024 * 5);
  EXPECT_EQ(stats.Header.FileName, P("noise.bin"));
  EXPECT_EQ(MessageOf([&] { c.GetMemberStats(1, stats); }),
            "Tried to access the 1th file. This file is not defined");

  int listed = 0;
  c.OnListing = [&](TTmbyCompress&, TlzhFileStats& s) {
    ++listed;
    EXPECT_EQ(s.FileName, P("noise.bin"));
  };
  c.ListMembers();
  EXPECT_EQ(listed, 1);
}

TEST_F(TmbyCompressTest, ExtractingManySmallMembersRunsMessagesWithoutAskingForEveryOne) {
  if (!Simulated()) GTEST_SKIP() << "the message runs are counted by the simulated machine";
  std::vector<std::string> names;
  for (int i = 0; i < 200; ++i) {
    names.push_back("small\\f" + std::to_string(i) + ".txt");
    WriteFile(P(names.back()), TextData(100 + i), kStampA);
  }
  Pack(P("files.1"), names);
  TTmbyCompress c;
  c.SetCompressedFile(P("files.1"));
  const int before = MessageRuns();
  Unpack(c, names, P("out"));
  // Messages ran (a window still repaints while a product of small files arrives), but far
  // from once per member.
  EXPECT_GE(MessageRuns() - before, 1);
  EXPECT_LT(MessageRuns() - before, 50);
  ExpectSameFile(P(names[199]), P("out\\f199.txt"));
}

TEST_F(TmbyCompressTest, OverwriteRulesDecideAboutExistingFiles) {
  MakeSources();
  Pack(P("files.1"), kNames);
  WriteFile(P("out\\readme.txt"), {'o', 'l', 'd'}, kStampB);

  TTmbyCompress c;
  c.SetCompressedFile(P("files.1"));
  c.Overwrite = owNever;
  int done = 0;
  int replaced = 0;
  c.OnStatus = [&](TTmbyCompress&, TlzhFileStats& s) { done += s.Done ? 1 : 0; };
  c.OnReplace = [&](TTmbyCompress&, TlzhFileStats&) { ++replaced; };
  c.DestFileName = "readme.txt";
  Unpack(c, {kNames[0], kNames[1]}, P("out"));
  EXPECT_EQ(ReadFile(P("out\\readme.txt")), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(done, 2);  // one report for the kept file, one for the extracted one
  EXPECT_EQ(replaced, 0);
  // DestFileName was cleared after the kept file: the second member kept its own name.
  EXPECT_EQ(ReadFile(P("out\\empty.dat")).size(), 0u);

  c.Overwrite = owAlways;
  c.OnReplace = [&](TTmbyCompress& sender, TlzhFileStats&) {
    ++replaced;
    sender.DestFileName = "renamed.txt";  // the handler may choose another name
  };
  Unpack(c, {kNames[0]}, P("out"));
  EXPECT_EQ(replaced, 1);
  ExpectSameFile(P(kNames[0]), P("out\\renamed.txt"));
  EXPECT_EQ(ReadFile(P("out\\readme.txt")).size(), 3u);

  // A member name that is not in the archive fails; the members before it stay extracted.
  c.Overwrite = owAlways;
  EXPECT_EQ(MessageOf([&] {
              Unpack(c, {kNames[2], "src\\missing.txt"}, P("out2"));
            }),
            "The file <" + P("src\\missing.txt") + "> was not found in the archive <" +
                P("files.1") + ">");
  EXPECT_TRUE(Files().FileExists(P("out2\\noise.bin")));
  EXPECT_TRUE(c.FilesToProcess().empty());
}

TEST_F(TmbyCompressTest, CopyFileCopiesWithTheDateAndStopsQuietlyOnAbort) {
  WriteFile(P("big.bin"), NoiseData(100000), kStampA);
  TTmbyCompress c;
  int done = 0;
  c.OnStatus = [&](TTmbyCompress&, TlzhFileStats& s) { done += s.Done ? 1 : 0; };
  c.CopyFile(P("big.bin"), P("copy\\big.bin"));
  ExpectSameFile(P("big.bin"), P("copy\\big.bin"));
  EXPECT_EQ(done, 1);
  EXPECT_EQ(c.ExtractDirectory, P("copy"));

  int reports = 0;
  c.OnStatus = [&](TTmbyCompress& sender, TlzhFileStats&) {
    if (++reports == 3) sender.Abort = true;
  };
  EXPECT_NO_THROW(c.CopyFile(P("big.bin"), P("copy\\partial.bin")));
  EXPECT_EQ(ReadFile(P("copy\\partial.bin")).size(), 3u * 8192);

  c.OnStatus = nullptr;
  c.BuildAborted = [] { return true; };
  EXPECT_EQ(MessageOf([&] { c.CopyFile(P("big.bin"), P("copy\\third.bin")); }),
            "Creating Install Aborted!");
  c.BuildAborted = nullptr;
  EXPECT_EQ(MessageOf([&] { c.CopyFile(P("nothere.bin"), P("copy\\x.bin")); }),
            "Cannot open the file " + P("nothere.bin"));
}

TEST_F(TmbyCompressTest, AnAbortedCompressionLeavesAConsistentArchive) {
  MakeSources();
  Pack(P("files.1"), {kNames[0]});
  bool aborted_event = false;
  TTmbyCompress c;
  c.SetCompressedFile(P("files.1"));
  c.SetFilesToProcess({P(kNames[1]), P(kNames[2])});
  c.OnAfterAdding = [&](TTmbyCompress& sender, TlzhFileStats&) { sender.Abort = true; };
  c.OnAborted = [&](TTmbyCompress&) { aborted_event = true; };
  EXPECT_NO_THROW(c.Compress(true, 0));
  EXPECT_TRUE(aborted_event);
  TTmbyCompress r;
  r.SetCompressedFile(P("files.1"));
  EXPECT_EQ(r.GetMemberCount(), 2);  // the one before and the one finished before the abort
  Unpack(r, {kNames[0], kNames[1]}, P("out"));
  ExpectSameFile(P(kNames[0]), P("out\\readme.txt"));

  // A missing source leaves an existing archive as it was.
  const auto before = ReadFile(P("files.1"));
  EXPECT_EQ(MessageOf([&] { Pack(P("files.1"), {"src\\missing.txt"}); }),
            "Cannot open the file " + P("src\\missing.txt"));
  EXPECT_EQ(ReadFile(P("files.1")), before);
}

TEST_F(TmbyCompressTest, AFullDiskOrAnAbortAmidTheChunksOfALargeMemberLeavesTheArchiveAsItWas) {
  WriteFile(P("small.txt"), TextData(5000), kStampA);
  WriteFile(P("large.txt"), TextData(1500000, 7), kStampA);
  Pack(P("files.1"), {"small.txt"});
  const auto before = ReadFile(P("files.1"));
  TTmbyCompress c;
  c.SetDeflateThreads(3);
  c.SetCompressedFile(P("files.1"));
  c.SetFilesToProcess({P("large.txt")});
  {
    TDiskLimitPlatform limited(platform::Port(), static_cast<int64_t>(before.size()) + 100 * 1024);
    auto* previous = platform::SetPort(&limited);
    const std::string message = MessageOf([&] { c.Compress(true, -1); });
    platform::SetPort(previous);
    EXPECT_EQ(message, "The disk is full");
  }
  EXPECT_TRUE(ReadFile(P("files.1")) == before);
  c.OnStatus = [](TTmbyCompress& sender, TlzhFileStats& stats) {
    if (stats.FileBytesDone >= 256 * 1024) sender.Abort = true;
  };
  c.SetFilesToProcess({P("large.txt")});
  c.Compress(true, -1);
  EXPECT_TRUE(ReadFile(P("files.1")) == before);
  // Nothing of either attempt is left over for the next.
  c.OnStatus = nullptr;
  c.SetFilesToProcess({P("large.txt")});
  c.Compress(true, -1);
  Unpack(c, {"small.txt", "large.txt"}, P("out"));
  ExpectSameFile(P("small.txt"), P("out\\small.txt"));
  ExpectSameFile(P("large.txt"), P("out\\large.txt"));
}

TEST_F(TmbyCompressTest, HeadersStayLoadedOnlyForVolumesOfTheSameArchive) {
  MakeSources();
  Pack(P("files.1"), kNames);
  TTmbyCompress c;
  c.SetCompressedFile(P("files.1"));
  c.LoadHeaders();
  c.SetCompressedFile(P("FILES.1"));  // letter case only: nothing changes
  EXPECT_EQ(c.CompressedFile(), P("files.1"));
  c.SetCompressedFile(P("files.7"));  // another volume of the same archive
  EXPECT_TRUE(c.HeadersLoaded());
  c.SetCompressedFile(P("setup.1"));
  EXPECT_FALSE(c.HeadersLoaded());
}

TEST_F(TmbyCompressTest, OneComponentExtractsAgainAfterItsArchiveGrewOrChanged) {
  MakeSources();
  Pack(P("files.1"), {kNames[0]});
  Pack(P("other.1"), {kNames[2]});
  TTmbyCompress c;
  c.SetCompressedFile(P("files.1"));
  Unpack(c, {kNames[0]}, P("out"));
  // The component appends to the archive it extracted from, then extracts the new member.
  c.SetFilesToProcess({P(kNames[1])});
  c.Compress(true, 7);
  Unpack(c, {kNames[1]}, P("out"));
  ExpectSameFile(P(kNames[0]), P("out\\readme.txt"));
  ExpectSameFile(P(kNames[1]), P("out\\empty.dat"));
  // Another archive: its own members, and the first one is no longer in use.
  c.SetCompressedFile(P("other.1"));
  Unpack(c, {kNames[2]}, P("out"));
  ExpectSameFile(P(kNames[2]), P("out\\noise.bin"));
  EXPECT_TRUE(Files().RemoveFile(P("files.1")));
  // A failed extraction lets go of its archive too.
  EXPECT_NE(MessageOf([&] { Unpack(c, {kNames[0]}, P("out")); }), "(no exception)");
  EXPECT_TRUE(Files().RemoveFile(P("other.1")));
}

TEST_F(TmbyCompressTest, AComponentAppendingMemberAfterMemberSeesWhatOthersAppended) {
  MakeSources();
  WriteFile(P("src\\tool.exe"), testing::BuildPe(testing::BuildVersionBlock({})), kStampB);
  WriteFile(P("src\\late.txt"), TextData(3000), kStampB);
  testing::ScopedCountingPort counting;
  TTmbyCompress c;
  c.SetCompressedFile(P("files.1"));
  const auto append = [&](const std::string& name, int index) {
    c.SetFilesToProcess({P(name)});
    c.Compress(true, index);
  };
  append(kNames[0], 1);
  append("src\\tool.exe", 2);
  // A source that is not there fails alone: the archive written so far stays whole and usable.
  EXPECT_NE(MessageOf([&] { append("src\\missing.txt", 3); }), "(no exception)");
  append(kNames[1], 3);
  // Another writer appends between two appends of this component.
  Pack(P("files.1"), {kNames[2]}, true, 4);
  append("src\\late.txt", 5);
  // Each source is opened once; the archive stays open from one append to the next, and is
  // opened again only after the failure (and by the other writer).
  for (const auto& name : kNames) EXPECT_EQ(counting.files.OpensOf(P(name)), 1) << name;
  EXPECT_EQ(counting.files.OpensOf(P("src\\late.txt")), 1);
  EXPECT_EQ(counting.files.OpensOf(P("files.1")), 3);
  c.Close();

  TTmbyCompress reader;
  reader.SetCompressedFile(P("files.1"));
  ASSERT_EQ(reader.GetMemberCount(), 5);
  for (int index = 1; index <= 5; ++index) EXPECT_EQ(reader.IndexOfMember(index), index - 1);
  TlzhFileStats stats;
  reader.GetMemberStats(1, stats);
  EXPECT_EQ(stats.Header.FileVersion, "1.2.3.4") << "an executable's version is still read";
  reader.GetMemberStats(0, stats);
  EXPECT_EQ(stats.Header.FileVersion, "");
  Unpack(reader, {kNames[0], "src\\tool.exe", kNames[1], kNames[2], "src\\late.txt"}, P("out"));
  for (const auto& n : kNames) ExpectSameFile(P(n), P("out\\" + n.substr(4)));
  ExpectSameFile(P("src\\tool.exe"), P("out\\tool.exe"));
  ExpectSameFile(P("src\\late.txt"), P("out\\late.txt"));
  reader.Close();
  EXPECT_TRUE(Files().RemoveFile(P("files.1"))) << "nothing holds the archive any more";
}

TEST_F(TmbyCompressTest, CopyFileKeepsAFileTheOverwriteRuleKeeps) {
  WriteFile(P("new.txt"), TextData(5000), kStampA);
  WriteFile(P("dest\\new.txt"), {'o', 'l', 'd'}, kStampB);
  TTmbyCompress c;
  c.Overwrite = owNever;
  int done = 0;
  c.OnStatus = [&](TTmbyCompress&, TlzhFileStats& s) { done += s.Done ? 1 : 0; };
  c.CopyFile(P("new.txt"), P("dest\\new.txt"));
  EXPECT_EQ(ReadFile(P("dest\\new.txt")).size(), 3u);
  EXPECT_EQ(done, 1);
  c.Overwrite = owDate;  // the new file is older than the one there
  c.CopyFile(P("new.txt"), P("dest\\new.txt"));
  EXPECT_EQ(ReadFile(P("dest\\new.txt")).size(), 3u);
  c.Overwrite = owAlways;
  c.CopyFile(P("new.txt"), P("dest\\new.txt"));
  ExpectSameFile(P("new.txt"), P("dest\\new.txt"));
}

TEST_F(TmbyCompressTest, LoadingHeadersOfAMissingArchiveFails) {
  TTmbyCompress c;
  c.SetCompressedFile(P("none.1"));
  EXPECT_EQ(MessageOf([&] { c.LoadHeaders(); }), "Cannot open the compressed file " + P("none.1"));
  EXPECT_EQ(MessageOf([&] { c.IndexOfMember(1); }),
            "Cannot open the compressed file " + P("none.1"));
}

// ---------------------------------------------------------------------------------------------
// Volumes

class VolumeTest : public TmbyCompressTest {
 protected:
  // Splits P("files.1") onto volumes of `capacity` bytes in P("disks").
  void Split(int64_t capacity, std::vector<int>* asked = nullptr) {
    TDiskLimitPlatform limited(platform::Port(), capacity);
    auto* previous = platform::SetPort(&limited);
    TTmbyCompress c;
    c.SetCompressedFile(P("files.1"));
    c.OnNewDisk = [&](TTmbyCompress&, int disk, std::string& path) {
      if (asked) asked->push_back(disk);
      EXPECT_EQ(path, P("disks"));
    };
    try {
      c.SplitToVolumes(P("disks"), "files.1");
    } catch (...) {
      platform::SetPort(previous);
      throw;
    }
    platform::SetPort(previous);
    EXPECT_EQ(c.CompressedFile(), P("disks\\files.1"));
  }
};

TEST_F(VolumeTest, SplitVolumesExtractByteIdentical) {
  MakeSources();
  Pack(P("files.1"), kNames);
  std::vector<int> asked;
  Split(64 * 1024, &asked);
  ASSERT_GE(asked.size(), 2u);
  EXPECT_EQ(asked.front(), 2);
  for (size_t i = 0; i < asked.size(); ++i) {
    const std::string volume = P("disks\\files." + std::to_string(i + 2));
    EXPECT_TRUE(Files().FileExists(volume)) << volume;
    EXPECT_LE(ReadFile(volume).size(), 64u * 1024);
  }
  // Volume 1: head and all headers, then the data.
  const auto v1 = ReadFile(P("disks\\files.1"));
  EXPECT_EQ(I32(v1, 0), 3);
  EXPECT_EQ(v1[4], 1);
  EXPECT_EQ(I32(v1, 5 + 128), 5 + 176);
  EXPECT_EQ(I32(v1, 5 + 176 + 128), 5 + 2 * 176);
  EXPECT_EQ(I32(v1, 5 + 136), 5 + 3 * 176);  // the first member's data follow the headers
  EXPECT_EQ(v1[5 + 144], 1);                 // it starts on volume 1

  TTmbyCompress c;
  c.SetCompressedFile(P("disks\\files.1"));
  Unpack(c, kNames, P("out"));
  for (const auto& n : kNames) ExpectSameFile(P(n), P("out\\" + n.substr(4)));
}

// An append that is refused, however late, leaves the archive byte for byte as it was.
TEST_F(VolumeTest, ARefusedAppendLeavesTheArchiveAsItWas) {
  MakeSources();
  Pack(P("files.1"), {kNames[0]});
  Split(64 * 1024);
  const auto refused = [&](const std::string& archive, const std::string& source) {
    const auto before = ReadFile(archive);
    EXPECT_NE(MessageOf([&] { Pack(archive, {source}, true); }), "(no exception)") << archive;
    EXPECT_EQ(ReadFile(archive), before) << archive;
  };
  // The first volume of a set.
  refused(P("disks\\files.1"), kNames[1]);
  // Headers that cannot be read: a member count the file does not hold, a blank member name,
  // a file shorter than a head.
  auto damaged = ReadFile(P("files.1"));
  PutI32(damaged, 0, 2);
  WriteFile(P("more.1"), damaged);
  refused(P("more.1"), kNames[1]);
  damaged = ReadFile(P("files.1"));
  damaged[5 + 24] = 0;
  WriteFile(P("blank.1"), damaged);
  refused(P("blank.1"), kNames[1]);
  WriteFile(P("short.1"), {1, 0, 0});
  refused(P("short.1"), kNames[1]);
  // A source that is missing, next to one that is there.
  const auto before = ReadFile(P("files.1"));
  EXPECT_EQ(MessageOf([&] {
              Pack(P("files.1"), {kNames[1], "src\\missing.txt"}, true);
            }),
            "Cannot open the file " + P("src\\missing.txt"));
  EXPECT_EQ(ReadFile(P("files.1")), before);
}

TEST_F(VolumeTest, AVolumeNameWithAnotherExtensionGivesOneNumberedSet) {
  MakeSources();
  Pack(P("files.1"), kNames);
  TDiskLimitPlatform limited(platform::Port(), 100 * 1024);
  auto* previous = platform::SetPort(&limited);
  TTmbyCompress c;
  c.SetCompressedFile(P("files.1"));
  c.OnNewDisk = [](TTmbyCompress&, int, std::string&) {};
  EXPECT_NO_THROW(c.SplitToVolumes(P("disks"), "product.cab"));
  platform::SetPort(previous);
  EXPECT_EQ(c.CompressedFile(), P("disks\\product.1"));
  EXPECT_FALSE(Files().FileExists(P("disks\\product.cab")));
  EXPECT_TRUE(Files().FileExists(P("disks\\product.2")));
  TTmbyCompress reader;
  reader.SetCompressedFile(P("disks\\product.1"));
  Unpack(reader, kNames, P("out"));
  for (const auto& n : kNames) ExpectSameFile(P(n), P("out\\" + n.substr(4)));
}

TEST_F(VolumeTest, AVolumeThatIsNotWhereItWasLookedForIsAskedFor) {
  MakeSources();
  Pack(P("files.1"), kNames);
  Split(100 * 1024);
  // Move volume 2 elsewhere: the reader asks for it through OnNewDisk.
  ASSERT_TRUE(Files().CreateDirectories(P("moved")));
  ASSERT_TRUE(Files().RenameFile(P("disks\\files.2"), P("moved\\files.2")));
  TTmbyCompress c;
  c.SetCompressedFile(P("disks\\files.1"));
  std::vector<int> asked;
  c.OnNewDisk = [&](TTmbyCompress&, int disk, std::string& path) {
    asked.push_back(disk);
    EXPECT_EQ(path, P("disks"));
    path = P("moved");
  };
  Unpack(c, kNames, P("out"));
  EXPECT_EQ(asked, std::vector<int>{2});
  for (const auto& n : kNames) ExpectSameFile(P(n), P("out\\" + n.substr(4)));

  TTmbyCompress no_handler;
  no_handler.SetCompressedFile(P("disks\\files.1"));
  EXPECT_EQ(MessageOf([&] { Unpack(no_handler, {kNames[2]}, P("out3")); }),
            "Could not open the correct disk file 2");
}

TEST_F(VolumeTest, DataBeginningAtTheEndOfAVolumeContinueOnTheNext) {
  WriteFile(P("a.bin"), NoiseData(3000, 1), kStampA);
  WriteFile(P("b.bin"), NoiseData(3000, 2), kStampA);
  Pack(P("files.1"), {"a.bin", "b.bin"});
  const auto source = ReadFile(P("files.1"));
  const int32_t a_length = I32(source, 5 + 20) - I32(source, 5 + 136) + 1;
  // Volume 1 holds the head, two headers and exactly the first member's data.
  const int64_t capacity = 5 + 2 * 176 + a_length;
  Split(capacity);
  const auto v1 = ReadFile(P("disks\\files.1"));
  EXPECT_EQ(static_cast<int64_t>(v1.size()), capacity);
  const size_t second = 5 + 176;
  EXPECT_EQ(v1[second + 144], 1);                                    // StartVolume
  EXPECT_EQ(I32(v1, second + 136), static_cast<int32_t>(capacity));  // DataStart: the end
  EXPECT_EQ(v1[second + 16], 2);                                     // EndVolume
  TTmbyCompress c;
  c.SetCompressedFile(P("disks\\files.1"));
  Unpack(c, {"a.bin", "b.bin"}, P("out"));
  ExpectSameFile(P("a.bin"), P("out\\a.bin"));
  ExpectSameFile(P("b.bin"), P("out\\b.bin"));
}

TEST_F(VolumeTest, DisksTooSmallAndMissingHandlersFailWithTheirMessages) {
  MakeSources();
  Pack(P("files.1"), kNames);
  EXPECT_EQ(MessageOf([&] { Split(100); }),
            "Could not write the file headers for the compressed file");
  // Each chunk is 8192 bytes: a disk smaller than a chunk's remainder cannot take it.
  EXPECT_EQ(MessageOf([&] { Split(5 + 3 * 176 + 100); }),
            "There is too little space on this disk to operate");

  TDiskLimitPlatform limited(platform::Port(), 64 * 1024);
  auto* previous = platform::SetPort(&limited);
  TTmbyCompress c;
  c.SetCompressedFile(P("files.1"));
  const std::string message = MessageOf([&] { c.SplitToVolumes(P("disks"), "files.1"); });
  platform::SetPort(previous);
  EXPECT_EQ(message,
            "There was no event handler for the OnNewDisk event, therefore no new disk could be "
            "inserted");
  EXPECT_TRUE(c.Abort);
}

// ---------------------------------------------------------------------------------------------
// Damaged archives

class DamagedArchiveTest : public TmbyCompressTest {
 protected:
  void SetUp() override {
    TmbyCompressTest::SetUp();
    WriteFile(P("src\\data.txt"), TextData(100000), kStampA);
    Pack(P("files.1"), {"src\\data.txt"});
    good_ = ReadFile(P("files.1"));
    WriteFile(P("out\\data.txt"), {'k', 'e', 'e', 'p'}, kStampB);
  }
  // Extracts the member from `bytes` over an existing file; returns the failure's message.
  std::string ExtractFrom(const std::vector<uint8_t>& bytes) {
    WriteFile(P("bad.1"), bytes, kStampA);
    TTmbyCompress c;
    c.SetCompressedFile(P("bad.1"));
    c.ExtractDirectory = P("out");
    c.SetFilesToProcess({P("src\\data.txt")});
    return MessageOf([&] { c.Extract(); });
  }
  void ExpectExistingFileKept() {
    EXPECT_EQ(ReadFile(P("out\\data.txt")), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(Files().FindFiles(P("out\\*")).size(), 1u);
  }
  std::vector<uint8_t> good_;
  const std::string corrupt_ =
      "Could not read the file headers for the compressed file. The Archive file could possible "
      "be corrupt";
};

TEST_F(DamagedArchiveTest, DamagedDataNeverReplacesTheExistingFile) {
  // A flipped bit in the deflate data.
  auto flipped = good_;
  flipped[5 + 176 + 200] ^= 0x10;
  EXPECT_NE(ExtractFrom(flipped), "(no exception)");
  ExpectExistingFileKept();
  // A truncated archive.
  auto cut = good_;
  cut.resize(cut.size() - 100);
  EXPECT_EQ(ExtractFrom(cut),
            "The decompressed file's size does not match with the actual size of the file.  The "
            "file is " +
                P("src\\data.txt"));
  ExpectExistingFileKept();
  // A stream that inflates to more than the recorded size stops there.
  auto smaller = good_;
  PutI32(smaller, 5 + 132, 1000);
  EXPECT_EQ(ExtractFrom(smaller),
            "The decompressed file's size does not match with the actual size of the file.  The "
            "file is " +
                P("src\\data.txt"));
  ExpectExistingFileKept();
  // ... and one that inflates to less.
  auto larger = good_;
  PutI32(larger, 5 + 132, 100001);
  EXPECT_NE(ExtractFrom(larger), "(no exception)");
  ExpectExistingFileKept();
}

TEST_F(DamagedArchiveTest, DamagedHeadersAreRefusedAsCorrupt) {
  auto past_end = good_;
  PutI32(past_end, 5 + 136, 1 << 30);
  EXPECT_EQ(ExtractFrom(past_end), corrupt_);
  auto negative = good_;
  PutI32(negative, 5 + 136, -7);
  EXPECT_EQ(ExtractFrom(negative), corrupt_);
  auto huge_count = good_;
  PutI32(huge_count, 0, 50000000);
  EXPECT_EQ(ExtractFrom(huge_count), corrupt_);
  ExpectExistingFileKept();
}

TEST_F(DamagedArchiveTest, MemberNamesNeverLeadOutOfTheExtractionDirectory) {
  auto evil = good_;
  const std::string name = "..\\..\\evil.txt";
  evil[5 + 24] = static_cast<uint8_t>(name.size());
  std::memcpy(&evil[5 + 25], name.data(), name.size());
  WriteFile(P("evil.1"), evil, kStampA);
  TTmbyCompress c;
  c.SetCompressedFile(P("evil.1"));
  c.ExtractDirectory = P("deep\\dir");
  c.SetFilesToProcess({name});
  c.Extract();
  EXPECT_TRUE(Files().FileExists(P("deep\\dir\\evil.txt")));
  EXPECT_FALSE(Files().FileExists(P("evil.txt")));

  for (const std::string bad : {"..", "C:..", "x\\.", "\\. .", "C:"}) {
    auto named = good_;
    named[5 + 24] = static_cast<uint8_t>(bad.size());
    std::memcpy(&named[5 + 25], bad.data(), bad.size());
    WriteFile(P("named.1"), named, kStampA);
    TTmbyCompress d;
    d.SetCompressedFile(P("named.1"));
    d.ExtractDirectory = P("deep\\dir");
    d.SetFilesToProcess({bad});
    const std::string message = MessageOf([&] { d.Extract(); });
    EXPECT_EQ(message.rfind("Cannot create the file ", 0), 0u) << bad << ": " << message;
  }
}

TEST_F(DamagedArchiveTest, AFullDiskWhileExtractingIsReported) {
  // Every file written holds at most 10000 bytes, as on a nearly full disk.
  TDiskLimitPlatform limited(platform::Port(), 10000);
  auto* previous = platform::SetPort(&limited);
  TTmbyCompress c;
  c.SetCompressedFile(P("files.1"));
  c.ExtractDirectory = P("full");
  c.SetFilesToProcess({P("src\\data.txt")});
  EXPECT_EQ(MessageOf([&] { c.Extract(); }), "The disk is full");
  int full = 0;
  c.OnFullDisk = [&](TTmbyCompress&) { ++full; };
  c.SetFilesToProcess({P("src\\data.txt")});
  const std::string message = MessageOf([&] { c.Extract(); });
  EXPECT_NE(message, "(no exception)");
  EXPECT_GT(full, 0) << message;
  platform::SetPort(previous);
  EXPECT_FALSE(Files().FileExists(P("full\\data.txt")));
  // The same component goes on with a clean stream after the failures.
  c.OnFullDisk = nullptr;
  c.SetFilesToProcess({P("src\\data.txt")});
  c.Extract();
  ExpectSameFile(P("src\\data.txt"), P("full\\data.txt"));
}

TEST_F(DamagedArchiveTest, AFileInUseCannotBeReplaced) {
  // Another program holds the file open without sharing.
  auto held = Files().Open(P("out\\data.txt"), platform::FileAccess::Read, platform::kShareNone,
                           platform::FileDisposition::OpenExisting);
  ASSERT_TRUE(held);
  TTmbyCompress c;
  c.SetCompressedFile(P("files.1"));
  c.ExtractDirectory = P("out");
  c.SetFilesToProcess({P("src\\data.txt")});
  EXPECT_EQ(MessageOf([&] { c.Extract(); }), "Cannot create the file " + P("out\\data.txt"));
  held.reset();
  ExpectExistingFileKept();
}

// ---------------------------------------------------------------------------------------------
// The self-extracting setup program

TEST_F(TmbyCompressTest, SelfExtractingProgramCarriesBothArchivesAndTheChecksum) {
  MakeSources();
  Pack(P("build\\setup.1"), {kNames[1]});
  Pack(P("build\\files.1"), kNames);
  const auto loader = NoiseData(12345);
  WriteFile(P("build\\setup.exe"), loader, kStampA);
  const auto record =
      AppendSelfExtractArchives(P("build\\setup.exe"), P("build\\setup.1"), P("build\\files.1"));
  AppendCheckSum(P("build\\setup.exe"));

  const auto exe = ReadFile(P("build\\setup.exe"));
  const auto setup1 = ReadFile(P("build\\setup.1"));
  const auto files1 = ReadFile(P("build\\files.1"));
  ASSERT_EQ(exe.size(), loader.size() + setup1.size() + files1.size() + 56 + 40);
  EXPECT_EQ(record.SetupStart, 12345);
  EXPECT_EQ(record.SetupEnd, static_cast<int32_t>(12345 + setup1.size() - 1));
  EXPECT_EQ(record.FilesStart, record.SetupEnd + 1);
  const std::string body(exe.begin(), exe.end() - 40);
  EXPECT_EQ(std::string(exe.end() - 40, exe.end()), Sha0Hex(body));
  EXPECT_EQ(exe[exe.size() - 96], 14);

  const auto read = ReadSelfExtractRecord(P("build\\setup.exe"));
  EXPECT_EQ(read.Signature, "SELFEXTRACTING");
  EXPECT_EQ(read.FilesStart, record.FilesStart);
  EXPECT_EQ(read.FilesEnd, static_cast<int32_t>(exe.size() - 97));

  TTmbyCompress c;
  c.SetCompressedFile(P("build\\setup.exe"));
  c.Offset = read.FilesStart;
  Unpack(c, kNames, P("out"));
  for (const auto& n : kNames) ExpectSameFile(P(n), P("out\\" + n.substr(4)));

  // A disk copy of the loader alone carries the zero record.
  WriteFile(P("a\\setup.exe"), loader, kStampA);
  AppendNotSelfExtractTrailer(P("a\\setup.exe"));
  const auto copy = ReadFile(P("a\\setup.exe"));
  ASSERT_EQ(copy.size(), loader.size() + 56);
  EXPECT_EQ(std::string(copy.end() - 56 + 1, copy.end() - 56 + 15), "NOTSELFEXTRACT");
  for (size_t i = copy.size() - 40; i < copy.size(); ++i) EXPECT_EQ(copy[i], 0);
}

TEST_F(TmbyCompressTest, TrailersWithOffsetsOutsideTheFileAreRefused) {
  const std::string message =
      "Could not read the extraction info from the archive file %s when trying to find the "
      "correct offset into the self extracting file";
  auto expect_refused = [&](const std::vector<uint8_t>& bytes) {
    WriteFile(P("t.exe"), bytes, kStampA);
    EXPECT_EQ(MessageOf([&] { ReadSelfExtractRecord(P("t.exe")); }),
              FormatText(message, {P("t.exe")}));
  };
  expect_refused(std::vector<uint8_t>(95, 0));
  std::vector<uint8_t> bytes(1000, 0);
  PutI32(bytes, 1000 - 96 + 24, 100);
  PutI32(bytes, 1000 - 96 + 28, 5000);  // the end lies past the trailer
  expect_refused(bytes);
  PutI32(bytes, 1000 - 96 + 24, -3);
  PutI32(bytes, 1000 - 96 + 28, 200);
  expect_refused(bytes);
  EXPECT_EQ(MessageOf([&] { ReadSelfExtractRecord(P("none.exe")); }),
            FormatText(message, {P("none.exe")}));
  EXPECT_EQ(MessageOf([&] { AppendSelfExtractArchives(P("none.exe"), P("a"), P("b")); }),
            "Cannot create the self-extracting exe because " + P("a") +
                " could not be loaded onto " + P("none.exe"));
}

}  // namespace
}  // namespace tmby
