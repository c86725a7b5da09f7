#include "system/version_block.h"

#include <gtest/gtest.h>

#include "support/pe_builder.h"

namespace tmby {
namespace {

using testing::BuildVersionBlock;
using testing::Put16;
using testing::VersionSpec;

VersionSpec Sample() {
  VersionSpec layout;
  layout.tables = {{"040904E4",
                    {{"CompanyName", "Lakeside Software"},
                     {"FileDescription", "Grüße aus Köln – 東京 𝄞"},
                     {"Empty", ""}}}};
  layout.translations = {0x040904E4, 0x04070000};
  return layout;
}

TEST(TVersionBlockTest, ReadsFixedInfoStringsAndTranslationsOfThe32BitLayout) {
  const TVersionBlock block(BuildVersionBlock(Sample()));
  ASSERT_TRUE(block.Valid());
  EXPECT_FALSE(block.IsSixteenBit());
  auto fixed = block.FixedInfo();
  ASSERT_TRUE(fixed.has_value());
  EXPECT_EQ(fixed->file_version_ms, 0x00010002u);
  EXPECT_EQ(fixed->file_version_ls, 0x00030004u);
  EXPECT_EQ(fixed->file_os, 0x00040004u);

  EXPECT_EQ(block.QueryString("\\StringFileInfo\\040904E4\\CompanyName"), "Lakeside Software");
  // Non-ASCII texts, a character outside the basic plane included, arrive as UTF-8.
  EXPECT_EQ(block.QueryString("\\StringFileInfo\\040904E4\\FileDescription"),
            "Grüße aus Köln – 東京 𝄞");
  EXPECT_EQ(block.QueryString("\\StringFileInfo\\040904E4\\Empty"), "");
  EXPECT_EQ(block.Translations(), (std::vector<uint32_t>{0x040904E4, 0x04070000}));
}

TEST(TVersionBlockTest, KeysMatchWithoutRegardToCaseAndMissingKeysAreNotFound) {
  const TVersionBlock block(BuildVersionBlock(Sample()));
  EXPECT_EQ(block.QueryString("\\stringfileinfo\\040904e4\\COMPANYNAME"), "Lakeside Software");
  EXPECT_FALSE(block.QueryString("\\StringFileInfo\\040704E4\\CompanyName").has_value());
  EXPECT_FALSE(block.QueryString("\\StringFileInfo\\040904E4\\Company").has_value());
  EXPECT_FALSE(block.QueryString("\\StringFileInfo\\040904E4\\CompanyNameX").has_value());
  EXPECT_FALSE(block.QueryString("\\StringFileInfo\\040904E4\\CompanyName\\More").has_value());
}

TEST(TVersionBlockTest, ReadsThe16BitLayoutOfNeFiles) {
  VersionSpec layout;
  layout.tables = {{"040904E4", {{"CompanyName", "Café €"}, {"ProductName", "Fonts"}}}};
  layout.translations = {0x040904E4};
  const TVersionBlock block(BuildVersionBlock(layout, /*sixteen_bit=*/true));
  ASSERT_TRUE(block.Valid());
  EXPECT_TRUE(block.IsSixteenBit());
  ASSERT_TRUE(block.FixedInfo().has_value());
  EXPECT_EQ(block.QueryString("\\StringFileInfo\\040904E4\\CompanyName"), "Café €");
  EXPECT_EQ(block.QueryString("\\StringFileInfo\\040904E4\\ProductName"), "Fonts");
  EXPECT_EQ(block.Translations(), std::vector<uint32_t>{0x040904E4});
}

TEST(TVersionBlockTest, IgnoresTheScratchSpaceAfterTheRootNode) {
  auto bytes = BuildVersionBlock(Sample());
  const size_t length = bytes.size();
  bytes.resize(length * 2, 0xCC);  // the system's reader returns a larger buffer
  const TVersionBlock block(bytes);
  ASSERT_TRUE(block.Valid());
  EXPECT_EQ(block.QueryString("\\StringFileInfo\\040904E4\\CompanyName"), "Lakeside Software");
}

TEST(TVersionBlockTest, DamagedBlocksAnswerNotFoundWithoutReadingOutside) {
  const auto good = BuildVersionBlock(Sample());

  // Shorter than a node header, and every truncation of the block.
  EXPECT_FALSE(TVersionBlock(std::vector<uint8_t>{}).Valid());
  EXPECT_FALSE(TVersionBlock(std::vector<uint8_t>{0x10, 0x00, 0x00}).Valid());
  for (size_t n = 0; n < good.size(); ++n) {
    const TVersionBlock block(std::vector<uint8_t>(good.begin(), good.begin() + n));
    EXPECT_FALSE(block.Valid()) << "truncated to " << n;
    EXPECT_FALSE(block.FixedInfo().has_value());
    EXPECT_FALSE(block.QueryString("\\StringFileInfo\\040904E4\\CompanyName").has_value());
  }

  // A root that claims more than it holds.
  auto longer = good;
  Put16(longer, 0, static_cast<uint32_t>(good.size() + 4));
  EXPECT_FALSE(TVersionBlock(longer).Valid());

  // A root whose value is shorter than the fixed information: valid, but no fixed part.
  auto short_value = good;
  Put16(short_value, 2, 20);
  EXPECT_FALSE(TVersionBlock(short_value).FixedInfo().has_value());

  // A wrong signature.
  auto unsigned_block = good;
  unsigned_block[40] ^= 0xFF;
  EXPECT_FALSE(TVersionBlock(unsigned_block).FixedInfo().has_value());

  // Another root key.
  auto other_root = good;
  other_root[6] = 'X';
  EXPECT_FALSE(TVersionBlock(other_root).Valid());
}

TEST(TVersionBlockTest, DamagedChildrenEndTheSearchInsteadOfLooping) {
  const auto good = BuildVersionBlock(Sample());
  const size_t string_file_info = 40 + 52;  // after the root header, key and fixed info

  auto zero = good;
  Put16(zero, string_file_info, 0);  // a zero-length child
  const TVersionBlock zero_block(zero);
  ASSERT_TRUE(zero_block.Valid());
  EXPECT_FALSE(zero_block.QueryString("\\StringFileInfo\\040904E4\\CompanyName").has_value());
  EXPECT_FALSE(zero_block.QueryValue("\\VarFileInfo\\Translation").has_value());

  auto beyond = good;
  Put16(beyond, string_file_info, 0xFFF0);  // past its parent
  EXPECT_FALSE(
      TVersionBlock(beyond).QueryString("\\StringFileInfo\\040904E4\\CompanyName").has_value());

  // A text value whose length runs past its node is cut at the node.
  auto long_value = good;
  const size_t company = string_file_info + 36 + 24;  // StringFileInfo and table headers
  ASSERT_EQ(long_value[company + 6], 'C');
  Put16(long_value, company + 2, 0x7FFF);
  EXPECT_EQ(TVersionBlock(long_value).QueryString("\\StringFileInfo\\040904E4\\CompanyName"),
            "Lakeside Software");

  // A key without its terminating NUL inside the node.
  auto open_key = good;
  const size_t key_end = company + 6 + 2 * 11;
  Put16(open_key, company, static_cast<uint32_t>(key_end - company));
  EXPECT_FALSE(
      TVersionBlock(open_key).QueryString("\\StringFileInfo\\040904E4\\CompanyName").has_value());
}

}  // namespace
}  // namespace tmby
