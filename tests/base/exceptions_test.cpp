#include "base/exceptions.h"

#include <gtest/gtest.h>

namespace tmby {
namespace {

class TranslatorReset : public ::testing::Test {
 protected:
  void TearDown() override { SetMessageTranslator(nullptr); }
};

TEST(FormatText, FillsPlaceholdersInOrderAndNeverReadsPastTheArguments) {
  EXPECT_EQ(FormatText("Index: %d, ComponentType: %d", {3, 1000}), "Index: 3, ComponentType: 1000");
  EXPECT_EQ(FormatText("%s and %s and %d", {"a"}), "a and  and ");
  EXPECT_EQ(FormatText("%d%%", {50}), "50%");
  EXPECT_EQ(FormatText("Cannot expand the %a meta variable", {}),
            "Cannot expand the %a meta variable");
  EXPECT_EQ(FormatText("trailing %", {"x"}), "trailing %");
  EXPECT_EQ(FormatText("%s", {"a", "b"}), "a");
}

TEST_F(TranslatorReset, IExceptionTranslatesBeforeFormattingOthersStayEnglish) {
  SetMessageTranslator([](const std::string& english) {
    return english == "There is already a file with the name :%s" ? "Datei :%s gibt es schon"
                                                                  : english;
  });
  IEfcDuplicateFile dup("There is already a file with the name :%s", {"a.dll"});
  EXPECT_STREQ(dup.what(), "Datei :a.dll gibt es schon");
  ETmbyCompress plain("There is already a file with the name :%s", {"a.dll"});
  EXPECT_STREQ(plain.what(), "There is already a file with the name :a.dll");
  EXPECT_STREQ(EAIUserAbort().what(), "Installation aborted by the user");
}

TEST_F(TranslatorReset, WithoutTranslatorTheEnglishTextStays) {
  IEInstall e("Aborted by user");
  EXPECT_EQ(e.Message(), "Aborted by user");
  EXPECT_STREQ(e.ClassName(), "IEInstall");
}

TEST(ExceptionTree, FamiliesCatchOnlyTheirOwn) {
  auto caught_by_enil = [](auto&& raise) {
    try {
      raise();
    } catch (const ENIL&) {
      return true;
    } catch (const Exception&) {
      return false;
    }
    return false;
  };
  EXPECT_TRUE(caught_by_enil([] { throw IENetList("x"); }));
  EXPECT_TRUE(caught_by_enil([] { throw ENIL_FTPSetDir("x"); }));
  EXPECT_FALSE(caught_by_enil([] { throw ENIL_WriteDestFile("x"); }));
  EXPECT_FALSE(caught_by_enil([] { throw ENIL_FailLoadWININET("x"); }));
  EXPECT_FALSE(caught_by_enil([] { throw ENIL_FailLoadDLLProc("x"); }));

  bool by_iexception = false;
  try {
    throw IENetList("x");
  } catch (const IException&) {
    by_iexception = true;
  } catch (const Exception&) {
  }
  EXPECT_FALSE(by_iexception);

  try {
    throw EtcDiskFull("The disk is full");
  } catch (const ETmbyCompress& e) {
    EXPECT_STREQ(e.ClassName(), "EtcDiskFull");
  }
}

}  // namespace
}  // namespace tmby
