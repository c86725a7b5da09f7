#include "archive/archive_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "support/byte_stream.h"
#include "support/memory_machine.h"

namespace tmby {
namespace {

using testing::ByteStream;

// Field readers written from the byte tables of the format, independent of the writer's code.
int32_t I32(const uint8_t* b, int at) {
  return static_cast<int32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
                              (static_cast<uint32_t>(b[at + 3]) << 24));
}
double F64(const uint8_t* b, int at) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | b[at + i];
  double d;
  std::memcpy(&d, &v, 8);
  return d;
}
std::string Short(const uint8_t* b, int at) {
  return std::string(reinterpret_cast<const char*>(b + at + 1), b[at]);
}

TFileHeader SampleHeader() {
  TFileHeader h;
  h.MemberNumber = 7;
  h.FileDate = 37000.5;
  h.EndVolume = 3;
  h.EndPosition = 0x01020304;
  h.FileName = "C:\\Source\\Lakeside\\notes.exe";
  h.NextHeader = 9000;
  h.OriginalSize = 123456;
  h.DataStart = 181;
  h.CompressedSize = 65432;
  h.StartVolume = 2;
  h.MemberIndex = 1999;
  h.FileVersion = "5.1.2600.0";
  return h;
}

// Appends a header record at the end of `bytes` and returns its position.
int32_t AppendRecord(std::vector<uint8_t>& bytes, const TFileHeader& h) {
  const auto r = h.Encode();
  const auto at = static_cast<int32_t>(bytes.size());
  bytes.insert(bytes.end(), r.begin(), r.end());
  return at;
}

std::vector<uint8_t> Head(int32_t count, uint8_t multi) {
  std::vector<uint8_t> b(5);
  std::memcpy(b.data(), &count, 4);  // the test host is little-endian, as the format
  b[4] = multi;
  return b;
}

TEST(FileHeader, EveryFieldSitsAtItsOffset) {
  const auto r = SampleHeader().Encode();
  ASSERT_EQ(r.size(), 176u);
  const uint8_t* b = r.data();
  EXPECT_EQ(I32(b, 0), 7);
  EXPECT_EQ(I32(b, 4), 0);
  EXPECT_DOUBLE_EQ(F64(b, 8), 37000.5);
  EXPECT_EQ(b[16], 3);
  EXPECT_EQ(b[17] | b[18] | b[19], 0);
  EXPECT_EQ(I32(b, 20), 0x01020304);
  EXPECT_EQ(Short(b, 24), "C:\\Source\\Lakeside\\notes.exe");
  EXPECT_EQ(b[125] | b[126] | b[127], 0);
  EXPECT_EQ(I32(b, 128), 9000);
  EXPECT_EQ(I32(b, 132), 123456);
  EXPECT_EQ(I32(b, 136), 181);
  EXPECT_EQ(I32(b, 140), 65432);
  EXPECT_EQ(b[144], 2);
  EXPECT_EQ(b[145] | b[146] | b[147], 0);
  EXPECT_EQ(I32(b, 148), 1999);
  EXPECT_EQ(Short(b, 152), "5.1.2600.0");
  EXPECT_EQ(b[173] | b[174] | b[175], 0);
  // Bytes of the strings beyond their length are zero.
  for (int i = 25 + 29; i < 125; ++i) EXPECT_EQ(b[i], 0) << i;
  for (int i = 153 + 10; i < 173; ++i) EXPECT_EQ(b[i], 0) << i;
}

// Names other than ASCII are read through the code page of the machine (a simulated one here).
using FileHeaderNames = testing::MemoryMachineTest;

TEST_F(FileHeaderNames, DecodesAHandBuiltRecordAndIgnoresReservedBytes) {
  TFileHeader::Record r;
  r.fill(0xEE);  // reserved and unused bytes hold junk
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) r[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(0, 2);
  const double date = 36526.25;
  uint64_t bits;
  std::memcpy(&bits, &date, 8);
  for (int i = 0; i < 8; ++i) r[8 + i] = static_cast<uint8_t>(bits >> (8 * i));
  r[16] = 0;
  put32(20, 500);
  r[24] = 5;
  std::memcpy(&r[25], "a.txt", 5);
  put32(128, 501);
  put32(132, 10);
  put32(136, 181);
  put32(140, 501);
  r[144] = 0;
  put32(148, 0xFFFFFFFF);
  r[152] = 0;
  TFileHeader h;
  h.Decode(r);
  EXPECT_EQ(h.MemberNumber, 2);
  EXPECT_DOUBLE_EQ(h.FileDate, 36526.25);
  EXPECT_EQ(h.FileName, "a.txt");
  EXPECT_EQ(h.EndPosition, 500);
  EXPECT_EQ(h.NextHeader, 501);
  EXPECT_EQ(h.OriginalSize, 10);
  EXPECT_EQ(h.DataStart, 181);
  EXPECT_EQ(h.MemberIndex, -1);
  EXPECT_EQ(h.FileVersion, "");
  // A length byte above the field's size is held to the field: the junk after the name is read
  // as text of the code page (Windows-1252 here, where 0xEE is a letter).
  r[24] = 250;
  h.Decode(r);
  std::string junk;
  for (int i = 0; i < 95; ++i) junk += "\xC3\xAE";
  EXPECT_EQ(h.FileName, "a.txt" + junk);
}

TEST(FileHeader, LongTextsAreCutToTheirFields) {
  TFileHeader h = SampleHeader();
  h.FileName = "C:\\" + std::string(150, 'x');
  h.FileVersion = "1.2.3.4.5.6.7.8.9.10.11";
  const auto r = h.Encode();
  EXPECT_EQ(r[24], 100);
  EXPECT_EQ(r[152], 20);
  EXPECT_EQ(Short(r.data(), 152), "1.2.3.4.5.6.7.8.9.10");
}

// Names are stored in the ANSI code page (the simulated machine's is Windows-1252): one byte for
// an accented letter, read back as it was; the cut to the field keeps whole characters, and a
// name the code page cannot hold is refused rather than written with a stand-in character.
TEST_F(FileHeaderNames, AreStoredInTheCodePageAndReadBackAsTheyWere) {
  TFileHeader h = SampleHeader();
  h.FileName =
      "C:\\Caf\xC3\xA9\\\xC3\x9C"
      "bersicht.txt";
  const auto r = h.Encode();
  EXPECT_EQ(Short(r.data(), 24),
            "C:\\Caf\xE9\\\xDC"
            "bersicht.txt");
  TFileHeader back;
  back.Decode(r);
  EXPECT_EQ(back.FileName, h.FileName);
  h.FileName = std::string(99, 'a') + "\xC3\xA9\xC3\xA9";
  EXPECT_EQ(Short(h.Encode().data(), 24), std::string(99, 'a') + "\xE9");
  h.FileName = "C:\\\xD0\x97\xD0\xB0\xD0\xBC.txt";
  EXPECT_THROW(h.Encode(), ETmbyCompress);
}

// The version string is text of the code page too; it is only compared, so a character the code
// page cannot hold ends it rather than the build. Twenty characters fill the field even where
// UTF-8 would take more bytes.
TEST_F(FileHeaderNames, VersionsAreStoredInTheCodePageByWholeCharacters) {
  TFileHeader h = SampleHeader();
  h.FileVersion = "2.0 b\xC3\xA9ta 12345678901";
  auto r = h.Encode();
  EXPECT_EQ(Short(r.data(), 152), "2.0 b\xE9ta 12345678901");
  TFileHeader back;
  back.Decode(r);
  EXPECT_EQ(back.FileVersion, h.FileVersion);
  h.FileVersion = "2.0 \xD0\xB1\xD0\xB5\xD1\x82\xD0\xB0";
  EXPECT_EQ(Short(h.Encode().data(), 152), "2.0 ");
}

// Member names are found ignoring case as Windows finds files: accented, Greek and Cyrillic
// letters match their capitals, a sharp s does not match "SS", and a letter matches no other.
TEST_F(FileHeaderNames, AreFoundIgnoringTheCaseOfEveryLetter) {
  TFileHeaders list;
  TFileHeader h = SampleHeader();
  for (const char* name : {"C:\\Caf\xC3\xA9\\\xC3\xBC"
                           "bersicht.txt",
                           "C:\\\xD0\xB7\xD0\xB0\xD0\xBC\xC5\xA1\xC3\xBF.txt",
                           "C:\\stra\xC3\x9F"
                           "e.txt"}) {
    h.FileName = name;
    list.Add(h);
  }
  EXPECT_EQ(list.IndexOf("c:\\CAF\xC3\x89\\\xC3\x9C"
                         "BERSICHT.TXT"),
            0);
  EXPECT_EQ(list.IndexOf("C:\\\xD0\x97\xD0\x90\xD0\x9C\xC5\xA0\xC5\xB8.TXT"), 1);
  EXPECT_TRUE(SameTextIgnoringCase("\xCE\xAC\xCF\x82", "\xCE\x86\xCE\xA3"));
  EXPECT_EQ(list.IndexOf("C:\\STRASSE.TXT"), -1);
  EXPECT_EQ(list.IndexOf("C:\\STRA\xC3\x9F"
                         "E.TXT"),
            2);
  EXPECT_EQ(list.IndexOf("C:\\Cafe\\\xC3\xBC"
                         "bersicht.txt"),
            -1);
}

TEST(FileHeader, ReadAndWriteMoveTheWholeRecord) {
  ByteStream stream;
  SampleHeader().WriteTo(stream);
  EXPECT_EQ(stream.Bytes().size(), 176u);
  stream.Seek(0, platform::SeekOrigin::Begin, nullptr);
  TFileHeader back;
  back.ReadFrom(stream);
  EXPECT_TRUE(back.Loaded);
  EXPECT_EQ(back.Encode(), SampleHeader().Encode());

  ByteStream short_stream(std::vector<uint8_t>(175, 1));
  try {
    back.ReadFrom(short_stream);
    FAIL();
  } catch (const ETmbyCompress& e) {
    EXPECT_STREQ(e.what(),
                 "Could not read the file headers for the compressed file. The Archive file could "
                 "possible be corrupt");
  }
  ByteStream full;
  full.LimitSize(100);
  try {
    SampleHeader().WriteTo(full);
    FAIL();
  } catch (const ETmbyCompress& e) {
    EXPECT_STREQ(e.what(), "Could not write the file headers for the compressed file");
  }
}

TEST(FileHeaders, ListRulesAndMessages) {
  TFileHeaders list;
  TFileHeader blank;
  blank.FileName = "   ";
  try {
    list.Add(blank);
    FAIL();
  } catch (const ETmbyCompress& e) {
    EXPECT_STREQ(e.what(), "Tried to add an invalid file header");
  }
  TFileHeader h = SampleHeader();
  h.FileName = "c:\\product\\readme.txt";
  list.Add(h);
  EXPECT_EQ(list.IndexOf("C:\\PRODUCT\\README.TXT;extra text"), 0);
  EXPECT_EQ(list.IndexOf("c:\\product\\readme"), -1);
  // The first of two members of one name; names changed in place, and a list filled anew.
  h.FileName = "C:\\PRODUCT\\README.TXT";
  list.Add(h);
  EXPECT_EQ(list.IndexOf("c:\\product\\readme.txt"), 0);
  list.Items(0).FileName = "c:\\product\\renamed.txt";
  EXPECT_EQ(list.IndexOf("c:\\product\\readme.txt"), 1);
  EXPECT_EQ(list.IndexOf("C:\\product\\RENAMED.txt"), 0);
  // The totals follow every change of the list: a header added, sizes changed in place, a list
  // filled anew.
  TlzhFileStats stats;
  list.SumTotals(stats);
  EXPECT_EQ(stats.TotalOriginal, 2 * h.OriginalSize);
  EXPECT_EQ(stats.TotalCompressed, 2 * h.CompressedSize);
  list.Items(1).OriginalSize = 7;
  list.Items(1).CompressedSize = 3;
  list.SumTotals(stats);
  EXPECT_EQ(stats.TotalOriginal, h.OriginalSize + 7);
  EXPECT_EQ(stats.TotalCompressed, h.CompressedSize + 3);
  list.Add(h);
  list.SumTotals(stats);
  EXPECT_EQ(stats.TotalOriginal, 2 * h.OriginalSize + 7);
  list.Clear();
  list.SumTotals(stats);
  EXPECT_EQ(stats.TotalOriginal, 0);
  h.FileName = "other.txt";
  list.Add(h);
  EXPECT_EQ(list.IndexOf("c:\\product\\readme.txt"), -1);
  EXPECT_EQ(list.IndexOf("OTHER.TXT"), 0);
  try {
    list.Items(1);
    FAIL();
  } catch (const ETmbyCompress& e) {
    EXPECT_STREQ(e.what(), "1 is an invalid TFileHeader index in TFileHeaders.GetFileHeaders");
  }
  EXPECT_THROW(list.Items(-1), ETmbyCompress);
}

TEST(FileHeaders, ReadsTheChainNotThePhysicalOrder) {
  // Head, then header B at 5 pointing to header A placed after it: A is second in the chain.
  TFileHeader a = SampleHeader();
  a.FileName = "a.txt";
  TFileHeader b = SampleHeader();
  b.FileName = "b.txt";
  std::vector<uint8_t> bytes = Head(2, 0);
  b.NextHeader = 5 + 176 + 40;  // 40 bytes of data lie between
  AppendRecord(bytes, b);
  bytes.resize(bytes.size() + 40, 0xAB);
  a.NextHeader = static_cast<int32_t>(bytes.size() + 176);
  AppendRecord(bytes, a);
  ByteStream stream(bytes);
  TFileHeaders list;
  list.ReadFrom(stream, 0);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Items(0).FileName, "b.txt");
  EXPECT_EQ(list.Items(1).FileName, "a.txt");
  EXPECT_TRUE(list.Items(1).Loaded);
  EXPECT_FALSE(list.MultiVolume);

  // The same archive behind 1000 bytes of a program reads the same at offset 1000.
  std::vector<uint8_t> embedded(1000, 0x90);
  embedded.insert(embedded.end(), bytes.begin(), bytes.end());
  embedded.resize(embedded.size() + 96, 0);
  ByteStream inside(embedded);
  TFileHeaders again;
  again.ReadFrom(inside, 1000);
  ASSERT_EQ(again.Count(), 2);
  EXPECT_EQ(again.Items(0).Encode(), list.Items(0).Encode());
  EXPECT_EQ(again.Items(1).Encode(), list.Items(1).Encode());
}

TEST(FileHeaders, AChainThatTurnsBackIsReadWhileItMeetsNoHeaderTwice) {
  // Headers at 5, 181 and 357; the chain runs 5 -> 357 -> 181.
  TFileHeader h = SampleHeader();
  std::vector<uint8_t> bytes = Head(3, 0);
  const std::pair<const char*, int32_t> layout[] = {
      {"first.txt", 357}, {"third.txt", 0}, {"second.txt", 181}};
  for (const auto& [name, next] : layout) {
    h.FileName = name;
    h.NextHeader = next;
    AppendRecord(bytes, h);
  }
  ByteStream stream(bytes);
  TFileHeaders list;
  list.ReadFrom(stream, 0);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Items(0).FileName, "first.txt");
  EXPECT_EQ(list.Items(1).FileName, "second.txt");
  EXPECT_EQ(list.Items(2).FileName, "third.txt");

  // The second header pointing back at the first: the loop is refused at the first repeat.
  std::vector<uint8_t> loop = Head(3, 0);
  for (int next : {181, 5}) {
    h.NextHeader = next;
    AppendRecord(loop, h);
  }
  loop.resize(loop.size() + 176, 0);
  ByteStream looping(loop);
  TFileHeaders refused;
  EXPECT_THROW(refused.ReadFrom(looping, 0), ETmbyCompress);
  EXPECT_EQ(refused.Count(), 2);
}

TEST(FileHeaders, AnEmptyArchiveIsTheHeadAlone) {
  ByteStream stream(Head(0, 0));
  TFileHeaders list;
  list.ReadFrom(stream, 0);
  EXPECT_EQ(list.Count(), 0);
  ByteStream too_short(std::vector<uint8_t>{1, 0, 0});
  try {
    list.ReadFrom(too_short, 0);
    FAIL();
  } catch (const ETmbyCompress& e) {
    EXPECT_STREQ(e.what(), "Could not read the file header count for the compressed file");
  }
}

TEST(FileHeaders, DamagedDirectoriesAreRefusedAsCorrupt) {
  const std::string corrupt =
      "Could not read the file headers for the compressed file. The Archive file could possible "
      "be corrupt";
  auto expect_corrupt = [&](std::vector<uint8_t> bytes, int expected_left) {
    ByteStream stream(std::move(bytes));
    TFileHeaders list;
    try {
      list.ReadFrom(stream, 0);
      ADD_FAILURE() << "no failure";
    } catch (const ETmbyCompress& e) {
      EXPECT_EQ(e.what(), corrupt);
    }
    // What was read before the failure stays; nothing partial is added.
    EXPECT_EQ(list.Count(), expected_left);
  };
  TFileHeader h = SampleHeader();
  // A count far beyond what the file can hold.
  std::vector<uint8_t> huge = Head(0x7FFFFFFF, 0);
  h.NextHeader = 5 + 176;
  AppendRecord(huge, h);
  expect_corrupt(huge, 0);
  // A negative count.
  expect_corrupt(Head(-1, 0), 0);
  // A chain that points back at the first header.
  std::vector<uint8_t> loop = Head(3, 0);
  h.NextHeader = 5;
  AppendRecord(loop, h);
  AppendRecord(loop, h);
  AppendRecord(loop, h);
  expect_corrupt(loop, 1);
  // A chain that points past the end of the file.
  std::vector<uint8_t> outside = Head(2, 0);
  h.NextHeader = 1 << 30;
  AppendRecord(outside, h);
  AppendRecord(outside, h);
  expect_corrupt(outside, 1);
  // A truncated second header.
  std::vector<uint8_t> cut = Head(2, 0);
  h.NextHeader = 5 + 176;
  AppendRecord(cut, h);
  AppendRecord(cut, h);
  cut.resize(cut.size() - 1);
  expect_corrupt(cut, 0);
}

TEST(FileHeaders, ABlankNameStopsTheReadWithTheInvalidHeaderMessage) {
  TFileHeader good = SampleHeader();
  good.NextHeader = 5 + 176;
  TFileHeader blank = SampleHeader();
  blank.FileName = "";
  std::vector<uint8_t> bytes = Head(2, 0);
  AppendRecord(bytes, good);
  AppendRecord(bytes, blank);
  ByteStream stream(bytes);
  TFileHeaders list;
  try {
    list.ReadFrom(stream, 0);
    FAIL();
  } catch (const ETmbyCompress& e) {
    EXPECT_STREQ(e.what(), "Tried to add an invalid file header");
  }
  EXPECT_EQ(list.Count(), 1);
}

TEST(FileHeaders, WritesTheHeadAndForVolumesEveryHeaderInOrder) {
  TFileHeaders list;
  for (const char* name : {"one", "two", "three"}) {
    TFileHeader h = SampleHeader();
    h.FileName = name;
    h.NextHeader = 77;
    list.Add(h);
  }
  ByteStream single(std::vector<uint8_t>(400, 0xCC));
  list.WriteTo(single);
  EXPECT_EQ(I32(single.Bytes().data(), 0), 3);
  EXPECT_EQ(single.Bytes()[4], 0);
  EXPECT_EQ(single.Bytes()[5], 0xCC);  // headers of a single archive are written elsewhere

  list.MultiVolume = true;
  ByteStream multi;
  list.WriteTo(multi);
  const auto& b = multi.Bytes();
  ASSERT_EQ(b.size(), 5u + 3 * 176);
  EXPECT_EQ(b[4], 1);
  for (int i = 0; i < 3; ++i) {
    const int at = 5 + 176 * i;
    EXPECT_EQ(I32(b.data(), at + 128), at + 176);
  }
  EXPECT_EQ(Short(b.data(), 5 + 176 + 24), "two");
  ByteStream tiny;
  tiny.LimitSize(5 + 176);
  EXPECT_THROW(list.WriteTo(tiny), ETmbyCompress);
}

TEST(FileHeaders, SumsTheTotals) {
  TFileHeaders list;
  TFileHeader h = SampleHeader();
  h.OriginalSize = 1000;
  h.CompressedSize = 300;
  list.Add(h);
  h.OriginalSize = 500;
  h.CompressedSize = 700;
  list.Add(h);
  TlzhFileStats stats;
  list.SumTotals(stats);
  EXPECT_EQ(stats.TotalOriginal, 1500);
  EXPECT_EQ(stats.TotalCompressed, 1000);
}

TEST(ArchiveNames, VolumesAndPathPieces) {
  EXPECT_EQ(VolumeFileName("files.1", 12), "files.12");
  EXPECT_EQ(VolumeFileName("A:\\files.1", 2), "A:\\files.2");
  EXPECT_EQ(VolumeFileName("C:\\dist.d\\files", 3), "C:\\dist.d\\files.3");
  EXPECT_EQ(PathFileNamePart("C:\\a\\..\\b.txt"), "b.txt");
  EXPECT_EQ(PathFileNamePart("D:evil.txt"), "evil.txt");
  EXPECT_EQ(PathFileNamePart("x/y/z.txt"), "z.txt");
  EXPECT_EQ(PathDirectoryPart("C:\\a\\b.txt"), "C:\\a");
  EXPECT_EQ(PathDirectoryPart("C:\\b.txt"), "C:\\");
  EXPECT_EQ(PathDirectoryPart("b.txt"), "");
  EXPECT_EQ(WithTrailingBackslash(""), "");
  EXPECT_EQ(WithTrailingBackslash("C:\\x\\"), "C:\\x\\");
  EXPECT_EQ(LineFileName("a.txt;b;c"), "a.txt");
}

TEST(ArchivePercent, RoundsHalfToEvenAndFailsSoftly) {
  EXPECT_EQ(Percent(1, 8), 12);  // 12.5
  EXPECT_EQ(Percent(3, 8), 38);  // 37.5
  EXPECT_EQ(Percent(2, 3), 67);
  EXPECT_EQ(Percent(5, 0), 0);
  EXPECT_EQ(Percent(10, 1), 255);
  EXPECT_EQ(Percent(-1, 1), 0);
}

TEST(SelfExtractRecord, FieldsSitAtTheirOffsets) {
  TSelfExtractRecord r;
  r.Signature = "SELFEXTRACTING";
  r.SetupStart = 1000;
  r.SetupEnd = 2000;
  r.FilesStart = 2001;
  r.FilesEnd = 5000;
  const auto b = r.Encode();
  ASSERT_EQ(b.size(), 56u);
  EXPECT_EQ(b[0], 14);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[1]), 14), "SELFEXTRACTING");
  EXPECT_EQ(b[15], 0);
  EXPECT_EQ(I32(b.data(), 16), 1000);
  EXPECT_EQ(I32(b.data(), 20), 2000);
  EXPECT_EQ(I32(b.data(), 24), 2001);
  EXPECT_EQ(I32(b.data(), 28), 5000);
  for (int i = 32; i < 56; ++i) EXPECT_EQ(b[i], 0);
  const auto back = TSelfExtractRecord::Decode(b);
  EXPECT_EQ(back.Signature, "SELFEXTRACTING");
  EXPECT_EQ(back.FilesEnd, 5000);
}

}  // namespace
}  // namespace tmby
