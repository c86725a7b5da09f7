#include "engine/definition_carrier.h"

#include <gtest/gtest.h>

#include "base/exceptions.h"
#include "support/memory_machine.h"

namespace tmby {
namespace {

const std::string kEngine = std::string("MZ\x90\0engine image", 16) + std::string(300, '\x7f');

TEST(DefinitionCarrier, AStampedProgramGivesBackItsDefinitionAndItsEngine) {
  const std::string stamped = StampDefinition(kEngine, "object mainForm: TmainForm\nend\n");
  EXPECT_EQ(stamped.size(), kEngine.size() + 31 + kDefinitionRecordSize);
  std::string text;
  ASSERT_EQ(FindDefinition(stamped, &text), TCarriedDefinition::Present);
  EXPECT_EQ(text, "object mainForm: TmainForm\nend\n");
  EXPECT_EQ(StripDefinition(stamped), kEngine);
  // Stamping again replaces the definition instead of stacking a second one.
  const std::string again = StampDefinition(stamped, "object x: TmainForm\nend\n");
  EXPECT_EQ(StripDefinition(again), kEngine);
  ASSERT_EQ(FindDefinition(again, &text), TCarriedDefinition::Present);
  EXPECT_EQ(text, "object x: TmainForm\nend\n");
  EXPECT_EQ(FindDefinition(kEngine, &text), TCarriedDefinition::None);
  EXPECT_EQ(StripDefinition(kEngine), kEngine);
}

TEST(DefinitionCarrier, DamageIsFoundAndNeverReadsOutsideTheProgram) {
  const std::string stamped = StampDefinition(kEngine, "object mainForm: TmainForm\nend\n");
  std::string flipped = stamped;
  flipped[kEngine.size() + 3] ^= 0x20;
  EXPECT_EQ(FindDefinition(flipped, nullptr), TCarriedDefinition::Damaged);
  // A length larger than the file.
  std::string longer = stamped;
  longer[longer.size() - 5] = '\x7f';
  EXPECT_EQ(FindDefinition(longer, nullptr), TCarriedDefinition::Damaged);
  // Only the record, nothing before it.
  EXPECT_EQ(FindDefinition(stamped.substr(stamped.size() - kDefinitionRecordSize), nullptr),
            TCarriedDefinition::Damaged);
  EXPECT_EQ(FindDefinition(std::string("TMBYDEF1"), nullptr), TCarriedDefinition::None);
  EXPECT_EQ(StripDefinition(flipped), flipped);
}

class CarriedDefinitionFile : public testing::MemoryMachineTest {};

TEST_F(CarriedDefinitionFile, TheEngineReadsItsOwnDefinitionOrFailsClearly) {
  const std::string stamped = StampDefinition(kEngine, "object mainForm: TmainForm\nend\n");
  MakeFile("C:\\Setup\\setup.exe", stamped);
  EXPECT_EQ(ReadCarriedDefinition("C:\\Setup\\setup.exe"), "object mainForm: TmainForm\nend\n");

  MakeFile("C:\\Setup\\plain.exe", kEngine);
  try {
    ReadCarriedDefinition("C:\\Setup\\plain.exe");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "The program C:\\Setup\\plain.exe carries no install definition");
  }
  std::string damaged = stamped;
  damaged[kEngine.size()] = 'O';
  MakeFile("C:\\Setup\\damaged.exe", damaged);
  try {
    ReadCarriedDefinition("C:\\Setup\\damaged.exe");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "The install definition carried by C:\\Setup\\damaged.exe is damaged");
  }
  EXPECT_THROW(ReadCarriedDefinition("C:\\Setup\\missing.exe"), Exception);
}

}  // namespace
}  // namespace tmby
