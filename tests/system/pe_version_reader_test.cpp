#include "system/pe_version_reader.h"

#include <gtest/gtest.h>

#include <random>

#include "support/pe_builder.h"
#include "system/version_resource.h"

namespace tmby {
namespace {

using testing::BuildNe;
using testing::BuildPe;
using testing::BuildVersionBlock;
using testing::PeLayout;
using testing::PeOptions;
using testing::Put16;
using testing::Put32;
using testing::VersionSpec;

std::vector<uint8_t> Block(const std::string& company = "Lakeside Software") {
  VersionSpec layout;
  layout.tables = {{"040904E4", {{"CompanyName", company}}}};
  layout.translations = {0x040904E4};
  return BuildVersionBlock(layout);
}

std::optional<std::vector<uint8_t>> Extract(const std::vector<uint8_t>& file) {
  return ExtractVersionBlock(file.data(), file.size());
}

TEST(PeVersionReaderTest, FindsTheVersionBlockOfPe32Pe32PlusAndNeImages) {
  const auto block = Block();
  EXPECT_EQ(Extract(BuildPe(block)), block);

  PeOptions plus;
  plus.pe32_plus = true;
  plus.languages = {{0x0409, block}};
  EXPECT_EQ(Extract(BuildPe(plus)), block);

  const auto sixteen = BuildVersionBlock(VersionSpec{}, /*sixteen_bit=*/true);
  auto from_ne = Extract(BuildNe(sixteen));
  ASSERT_TRUE(from_ne.has_value());
  // The NE resource length is in alignment units: the block comes with its padding.
  ASSERT_GE(from_ne->size(), sixteen.size());
  EXPECT_TRUE(std::equal(sixteen.begin(), sixteen.end(), from_ne->begin()));
  EXPECT_TRUE(TVersionBlock(*from_ne).FixedInfo().has_value());
}

TEST(PeVersionReaderTest, PrefersTheNeutralThenUsEnglishResourceElseTheFirst) {
  const auto german = Block("Deutsch");
  const auto english = Block("English");
  const auto neutral = Block("Neutral");
  PeOptions options;
  options.languages = {{0x0407, german}, {0x0409, english}};
  EXPECT_EQ(Extract(BuildPe(options)), english);
  options.languages = {{0x0407, german}, {0x0409, english}, {0x0000, neutral}};
  EXPECT_EQ(Extract(BuildPe(options)), neutral);
  options.languages = {{0x040C, german}, {0x0407, english}};
  EXPECT_EQ(Extract(BuildPe(options)), german);
}

TEST(PeVersionReaderTest, FilesWithoutAVersionResourceHaveNone) {
  EXPECT_FALSE(Extract({}).has_value());
  EXPECT_FALSE(Extract(std::vector<uint8_t>(4096, 0)).has_value());
  std::vector<uint8_t> text = {'M', 'Z', 'h', 'e', 'l', 'l', 'o'};
  EXPECT_FALSE(Extract(text).has_value());

  PeLayout l;
  PeOptions options;
  options.languages = {{0x0409, Block()}};
  auto pe = BuildPe(options, &l);

  auto no_directory = pe;  // no resource directory at all
  Put32(no_directory, PeLayout::kOptional + 92 + 4 + 16, 0);
  EXPECT_FALSE(Extract(no_directory).has_value());

  auto other_type = pe;  // icons only
  Put32(other_type, PeLayout::kRawData + PeLayout::kTypeDirectory + 16, 3);
  EXPECT_FALSE(Extract(other_type).has_value());

  auto other_name = pe;  // a version resource named 2 is not VS_VERSION_INFO
  Put32(other_name, PeLayout::kRawData + PeLayout::kNameDirectory + 16, 2);
  EXPECT_FALSE(Extract(other_name).has_value());

  auto few_directories = pe;  // the optional header lists no resource directory
  Put32(few_directories, PeLayout::kOptional + 92, 2);
  EXPECT_FALSE(Extract(few_directories).has_value());
}

TEST(PeVersionReaderTest, EveryTruncationBeforeTheBlockEndsReadsAsNoVersionBlock) {
  PeLayout l;
  PeOptions options;
  const auto block = Block();
  options.languages = {{0x0409, block}};
  const auto pe = BuildPe(options, &l);
  const size_t block_end = l.blocks[0] + block.size();
  for (size_t n = 0; n < pe.size(); ++n) {
    auto found = Extract(std::vector<uint8_t>(pe.begin(), pe.begin() + n));
    if (n < block_end) {
      EXPECT_FALSE(found.has_value()) << n;
    } else {
      EXPECT_EQ(found, block) << n;
    }
  }
  const auto ne = BuildNe(BuildVersionBlock(VersionSpec{}, true));
  for (size_t n = 0; n < ne.size(); ++n) {
    EXPECT_FALSE(Extract(std::vector<uint8_t>(ne.begin(), ne.begin() + n)).has_value()) << n;
  }
}

TEST(PeVersionReaderTest, HandCraftedDirectoriesAndOffsetsReadAsNoVersionBlock) {
  PeLayout l;
  PeOptions options;
  options.languages = {{0x0409, Block()}};
  const auto pe = BuildPe(options, &l);
  const size_t rsrc = PeLayout::kRawData;
  auto damaged = [&](auto change) {
    auto copy = pe;
    change(copy);
    return Extract(copy);
  };

  // Directories that point back at themselves or at the root.
  EXPECT_FALSE(damaged([&](auto& b) {
    Put32(b, rsrc + PeLayout::kNameDirectory + 20, 0x80000000 | PeLayout::kNameDirectory);
  }));
  EXPECT_FALSE(damaged([&](auto& b) {
    Put32(b, rsrc + PeLayout::kTypeDirectory + 20, 0x80000000 | PeLayout::kTypeDirectory);
  }));
  // A language entry that is a directory, and a type entry that is data.
  EXPECT_FALSE(damaged([&](auto& b) {
    Put32(b, rsrc + PeLayout::kLanguageDirectory + 20, 0x80000000 | PeLayout::kTypeDirectory);
  }));
  EXPECT_FALSE(damaged(
      [&](auto& b) { Put32(b, rsrc + PeLayout::kTypeDirectory + 20, PeLayout::kNameDirectory); }));
  // Offsets past the end of the file, of the section, or overflowing 32 bits.
  EXPECT_FALSE(damaged([&](auto& b) { Put32(b, rsrc + l.data_entries, 0x7FFFFFF0); }));
  EXPECT_FALSE(damaged([&](auto& b) { Put32(b, rsrc + l.data_entries, 0xFFFFFFF8); }));
  EXPECT_FALSE(damaged([&](auto& b) { Put32(b, rsrc + l.data_entries + 4, 0xFFFFFFFF); }));
  EXPECT_FALSE(damaged(
      [&](auto& b) { Put32(b, rsrc + PeLayout::kTypeDirectory + 20, 0x80000000 | 0x7FFFFFF0); }));
  EXPECT_FALSE(damaged([&](auto& b) { Put32(b, l.section_table + 20, 0xFFFFFE00); }));
  EXPECT_FALSE(damaged([&](auto& b) { Put32(b, 0x3C, 0xFFFFFFF0); }));
  // Entry counts far larger than the section holds; a section table past the end.
  EXPECT_FALSE(damaged([&](auto& b) { Put16(b, rsrc + PeLayout::kTypeDirectory + 12, 0xFFFF); }));
  EXPECT_FALSE(damaged([&](auto& b) { Put16(b, PeLayout::kCoff + 2, 0xFFFF); }));
  EXPECT_FALSE(damaged([&](auto& b) { Put16(b, PeLayout::kCoff + 16, 0xFFFF); }));
  // An unknown optional header.
  EXPECT_FALSE(damaged([&](auto& b) { Put16(b, PeLayout::kOptional, 0x107); }));

  // A block shorter than its header: found, but it reads as no version block.
  auto tiny = damaged([&](auto& b) { Put32(b, rsrc + l.data_entries + 4, 4); });
  ASSERT_TRUE(tiny.has_value());
  EXPECT_FALSE(TVersionBlock(*tiny).Valid());
}

TEST(PeVersionReaderTest, HandCraftedNeTablesReadAsNoVersionBlock) {
  const auto ne = BuildNe(BuildVersionBlock(VersionSpec{}, true));
  auto damaged = [&](auto change) {
    auto copy = ne;
    change(copy);
    return Extract(copy);
  };
  EXPECT_FALSE(damaged([](auto& b) { Put16(b, 0x80, 40); }));  // alignment shift
  EXPECT_FALSE(damaged([](auto& b) {  // a resource count far past the file, no match in it
    Put16(b, 0x84, 0xFFFF);
    Put16(b, 0x90, 0x8002);
  }));
  EXPECT_FALSE(damaged([](auto& b) { Put16(b, 0x8A, 0xFFFF); }));         // data offset
  EXPECT_FALSE(damaged([](auto& b) { Put16(b, 0x40 + 0x24, 0xFFF0); }));  // table offset
  EXPECT_FALSE(damaged([](auto& b) { Put16(b, 0x82, 0x8003); }));         // not a version
  // Type records with no end mark run into the end of the file.
  EXPECT_FALSE(damaged([](auto& b) {
    for (size_t at = 0x82; at + 8 <= b.size(); at += 8) {
      Put16(b, at, 0x8002);
      Put16(b, at + 2, 0);
    }
  }));
}

// Random damage to valid images: whatever comes out, the reader and the parser stay inside
// their buffers (the sanitizer build checks this) and a result is a block the parser can take.
TEST(PeVersionReaderTest, RandomlyDamagedImagesNeverReadOutside) {
  VersionSpec layout;
  layout.tables = {{"040904E4", {{"CompanyName", "A"}, {"ProductVersion", "9.9"}}}};
  layout.translations = {0x040904E4};
  const std::vector<std::vector<uint8_t>> images = {BuildPe(BuildVersionBlock(layout)),
                                                    BuildNe(BuildVersionBlock(layout, true))};
  std::mt19937 random(20240229);
  int found = 0;
  for (int round = 0; round < 4000; ++round) {
    auto image = images[round % 2];
    const int flips = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < flips; ++i) {
      image[random() % image.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
    }
    auto block = Extract(image);
    if (!block) continue;
    ++found;
    EXPECT_LE(block->size(), TVersionBlock::kMaxSize);
    TVersionInfo info;
    ReadVersionInfo(TVersionBlock(*block), 0x0409, 1252, info);
  }
  EXPECT_GT(found, 100);  // most damage lands in padding, so blocks are still found
}

}  // namespace
}  // namespace tmby
