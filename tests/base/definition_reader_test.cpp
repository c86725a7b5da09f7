#include "base/definition_reader.h"

#include <gtest/gtest.h>

#include "support/component_fixtures.h"

namespace tmby {
namespace {

using fixtures::Journal;
using fixtures::TTestForm;
using fixtures::TTestItem;
using fixtures::TTestSpecialItem;

const char* const kEveryKind = R"(// A definition with one property of every kind.
object Form1: TTestForm
  Caption = 'Setup'
  OnActivate = FormActivate
  object Item1: TTestItem
    Number = -42
    Text = 'It''s'#13#10'here' +
      ' and there'
    Small = 255
    Enabled = False
    Colour = tcBlue
    Colours = [tcGreen, tcBlack]
    Lines = (
      'one'
      'two' + '!')
    Image = {
      0001FF
      80}
    Settings.Caption = 'Hello'
    Settings.Inner.Flag = True
    Settings.Target = Item2
    Color = clWhite
    Link = Item2
    Other = Form1
    OnChange = ItemChanged
    OnCount = Counted
    object Label1: TTestItem
      Text = 'on item 1'
    end
  end
  object Item2: TTestSpecialItem
    Link = Item1
    Colours = []
  end
end
)";

class DefinitionReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Journal().clear();
    fixtures::RegisterFixtureClasses(classes_);
    handlers_.Register<fixtures::TTestNotifyEvent>("FormActivate",
                                                   [this](TComponent*) { ++activations_; });
    handlers_.Register<fixtures::TTestNotifyEvent>("ItemChanged", [](TComponent*) {});
    handlers_.Register<fixtures::TTestCountEvent>(
        "Counted", [](TComponent*, int n, int& out) { out = n + 1; });
    options_.Classes = &classes_;
    options_.Handlers = &handlers_;
  }

  TOwned<TComponent> Read(const std::string& text) {
    return ReadDefinition(text, "product.tmby", options_);
  }

  // The reader error of `text`, or a failure when it reads.
  EDefinitionError ErrorOf(const std::string& text) {
    try {
      Read(text);
    } catch (const EDefinitionError& e) {
      return e;
    }
    ADD_FAILURE() << "no error for:\n" << text;
    return EDefinitionError("", 0, 0, "");
  }

  TClassRegistry classes_;
  TEventHandlers handlers_;
  TDefinitionOptions options_;
  int activations_ = 0;
};

TEST_F(DefinitionReaderTest, ReadsEveryPropertyKind) {
  auto root = Read(kEveryKind);
  auto* form = dynamic_cast<TTestForm*>(root.get());
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->Name(), "Form1");
  EXPECT_EQ(form->Caption, "Setup");
  form->OnActivate(form);
  EXPECT_EQ(activations_, 1);

  auto* item1 = dynamic_cast<TTestItem*>(form->FindComponent("Item1"));
  auto* item2 = dynamic_cast<TTestSpecialItem*>(form->FindComponent("Item2"));
  ASSERT_NE(item1, nullptr);
  ASSERT_NE(item2, nullptr);
  EXPECT_EQ(item1->Number, -42);
  EXPECT_EQ(item1->Text, "It's\r\nhere and there");
  EXPECT_EQ(item1->Small, 255);
  EXPECT_FALSE(item1->Enabled);
  EXPECT_EQ(item1->Colour, fixtures::tcBlue);
  EXPECT_EQ(item1->Colours, (fixtures::TTestColours{fixtures::tcGreen, fixtures::tcBlack}));
  EXPECT_EQ(item1->Lines, (TStrings{"one", "two!"}));
  EXPECT_EQ(item1->Image, (TBytes{0x00, 0x01, 0xFF, 0x80}));
  EXPECT_EQ(item1->Settings.Caption(), "Hello");
  EXPECT_TRUE(item1->Settings.Inner.Flag);
  EXPECT_EQ(item1->Settings.Target, item2);
  EXPECT_EQ(item1->Color, 0xFFFFFF);
  EXPECT_EQ(item1->Link(), item2);
  EXPECT_EQ(item1->Other(), form);
  EXPECT_EQ(item1->OnChange.HandlerName(), "ItemChanged");
  int out = 0;
  item1->OnCount(item1, 41, out);
  EXPECT_EQ(out, 42);
  EXPECT_EQ(item2->Link(), item1);
  EXPECT_TRUE(item2->Colours.Empty());
  EXPECT_FALSE(item2->Enabled) << "its class's default";
}

TEST_F(DefinitionReaderTest, CreatesInFileOrderOwnedByTheRootAndNestedBlocksAsParents) {
  auto root = Read(kEveryKind);
  ASSERT_EQ(root->ComponentCount(), 3);
  EXPECT_EQ(root->Components(0)->Name(), "Item1");
  EXPECT_EQ(root->Components(1)->Name(), "Label1");
  EXPECT_EQ(root->Components(2)->Name(), "Item2");
  for (TComponent* c : root->ComponentList()) EXPECT_EQ(c->Owner(), root.get());
  EXPECT_EQ(root->Components(1)->ParentComponent(), root->Components(0));
  EXPECT_EQ(root->Components(0)->ParentComponent(), nullptr);
}

TEST_F(DefinitionReaderTest,
       SettersStoreWhileLoadingAndLoadedRunsAfterAllReferencesInCreationOrder) {
  auto root = Read(kEveryKind);
  // Both links were set while loading (no coupling rule copied the Number), after all objects
  // existed (the forward reference resolved), and before any Loaded step.
  EXPECT_EQ(Journal(), (std::vector<std::string>{"SetLink Item1 loading", "SetLink Item2 loading",
                                                 "Loaded Form1", "Loaded Item1", "Loaded Label1",
                                                 "Loaded Item2"}));
  auto* item2 = dynamic_cast<TTestItem*>(root->FindComponent("Item2"));
  EXPECT_EQ(item2->Number, 0);
  EXPECT_FALSE(root->Loading());
  for (TComponent* c : root->ComponentList()) EXPECT_FALSE(c->Loading()) << c->Name();
  auto* item1 = dynamic_cast<TTestItem*>(root->FindComponent("Item1"));
  EXPECT_EQ(item1->Settings.Changes, 0) << "the caption was stored while loading";
  item2->SetLink(item1);  // after loading the coupling rule acts
  EXPECT_EQ(item2->Number, -42);
}

TEST_F(DefinitionReaderTest, ToleratesCaseLineEndsCommentsAndTheByteOrderMark) {
  auto root = Read(
      "\xEF\xBB\xBFOBJECT f: ttestform // the window\r\n"
      "  caption = #$41'b'#99#233 + ''  // ends in e-acute\r\n"
      "  OBJECT i: TTESTITEM enabled = TRUE colour = TCGREEN Number = $7FFFFFFF End\r\n"
      "END\r\n");
  auto* form = dynamic_cast<TTestForm*>(root.get());
  EXPECT_EQ(form->Caption, "Abc\xC3\xA9");
  auto* item = dynamic_cast<TTestItem*>(form->FindComponent("I"));
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->Colour, fixtures::tcGreen);
  EXPECT_EQ(item->Number, 0x7FFFFFFF);
}

struct BadCase {
  const char* label;
  const char* text;
  int line;
  int column;
  const char* says;
};

TEST_F(DefinitionReaderTest, MalformedDefinitionsNameLineColumnAndWhatWasExpected) {
  const BadCase cases[] = {
      {"empty", "", 1, 1, "expected \"object\", found the end of the definition"},
      {"unknown class", "object F: TTestForm\n  object X: TNoSuch\n  end\nend", 2, 13,
       "unknown class TNoSuch"},
      {"abstract class", "object F: TTestForm\n  object X: TTestAbstract\n  end\nend", 2, 13,
       "cannot be created"},
      {"unknown property", "object F: TTestForm\n  Colour = tcRed\nend", 2, 3,
       "TTestForm has no published property \"Colour\""},
      {"unknown sub-property",
       "object F: TTestForm\n object I: TTestItem\n  Settings.Nope = 1\n"
       " end\nend",
       3, 12, "TTestSettings has no published property \"Nope\""},
      {"not a settings object", "object F: TTestForm\n  Caption.Size = 1\nend", 2, 11,
       "not a settings object"},
      {"settings object given a value",
       "object F: TTestForm\n object I: TTestItem\n"
       "  Settings = 1\n end\nend",
       3, 14, "Settings is a settings object"},
      {"Boolean given a string",
       "object F: TTestForm\n object I: TTestItem\n  Enabled = 'yes'\n"
       " end\nend",
       3, 13, "expected True or False, found a quoted string"},
      {"integer given a name", "object F: TTestForm\n  Width = wide\nend", 2, 11,
       "expected an integer, found the name \"wide\""},
      {"integer out of range",
       "object F: TTestForm\n object I: TTestItem\n  Small = 256\n"
       " end\nend",
       3, 11, "out of range for Small (0 to 255)"},
      {"number too large", "object F: TTestForm\n  Width = 99999999999999999999\nend", 2, 11,
       "number too large"},
      {"unknown enumerator",
       "object F: TTestForm\n object I: TTestItem\n  Colour = tcPink\n"
       " end\nend",
       3, 12, "expected one of tcRed, tcGreen, tcBlue, tcBlack"},
      {"unknown set member",
       "object F: TTestForm\n object I: TTestItem\n"
       "  Colours = [tcRed, tcPink]\n end\nend",
       3, 21, "\"tcPink\" is not a value of TTestColour"},
      {"string list given a string",
       "object F: TTestForm\n object I: TTestItem\n"
       "  Lines = 'one'\n end\nend",
       3, 11, "expected a list of quoted strings"},
      {"unresolved reference",
       "object F: TTestForm\n object I: TTestItem\n  Link = Ghost\n"
       " end\nend",
       3, 10, "unresolved reference: no component named \"Ghost\" for Link"},
      {"reference of the wrong class",
       "object F: TTestForm\n object I: TTestItem\n"
       "  Link = F\n end\nend",
       3, 10, "\"F\" is a TTestForm, but Link expects a TTestItem"},
      {"duplicate name",
       "object F: TTestForm\n object A: TTestItem\n end\n"
       " object a: TTestItem\n end\nend",
       4, 9, "A component named a already exists"},
      {"unknown handler", "object F: TTestForm\n  OnActivate = Nowhere\nend", 2, 16,
       "no event handler named \"Nowhere\" is registered"},
      {"handler of other parameters", "object F: TTestForm\n  OnActivate = Counted\nend", 2, 16,
       "does not fit OnActivate"},
      {"read-only property",
       "object F: TTestForm\n object S: TTestSpecialItem\n  Kids = 1\n"
       " end\nend",
       3, 3, "read-only"},
      {"missing end", "object F: TTestForm\n  object I: TTestItem\n  end\n", 4, 1,
       "expected \"end\" closing object F (line 1)"},
      {"truncated string", "object F: TTestForm\n  Caption = 'Set", 2, 13,
       "string not closed before the end of the line"},
      {"truncated binary", "object F: TTestForm\n object I: TTestItem\n  Image = {00FF", 3, 11,
       "binary data not closed"},
      {"odd hex digits",
       "object F: TTestForm\n object I: TTestItem\n  Image = {0F0}\n"
       " end\nend",
       3, 15, "odd number of hexadecimal digits"},
      {"missing equals", "object F: TTestForm\n  Caption 'x'\nend", 2, 11,
       "expected \"=\" after the property name \"Caption\""},
      {"property after object",
       "object F: TTestForm\n object I: TTestItem\n end\n"
       "  Caption = 'x'\nend",
       4, 3, "properties come first"},
      {"trailing text", "object F: TTestForm\nend\nend", 3, 1,
       "expected the end of the definition"},
      {"stray character", "object F: TTestForm\n  Caption = 'x' ;\nend", 2, 17,
       "unexpected character \";\""},
      {"control byte", "object F: TTestForm\n \x01\nend", 2, 2, "unexpected byte 0x01"},
      {"bad character code", "object F: TTestForm\n  Caption = #55296\nend", 2, 13,
       "is not a character"},
      {"overlong form in a string", "object F: TTestForm\n  Caption = 'ab\xC0\xAF'\nend", 2, 16,
       "invalid UTF-8 at byte 0xC0"},
      {"invalid byte in a comment after others", "object F: TTestForm\n // \xC3\xA9\xFF\nend", 2, 6,
       "invalid UTF-8 at byte 0xFF"},
      {"sequence cut by the end", "object F: TTestForm\nend\n\xE2\x82", 3, 1,
       "invalid UTF-8 at byte 0xE2"},
      {"column counts characters", "object F: TTestForm\n  Caption = '\xC3\xA9\xC3\xA9' ?\nend", 2,
       18, "unexpected character \"?\""},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.label);
    const EDefinitionError e = ErrorOf(c.text);
    EXPECT_EQ(e.FileName(), "product.tmby");
    EXPECT_EQ(e.Line(), c.line);
    EXPECT_EQ(e.Column(), c.column);
    EXPECT_NE(e.Problem().find(c.says), std::string::npos) << e.what();
    const std::string place = "product.tmby, line " + std::to_string(c.line) + ", column " +
                              std::to_string(c.column) + ": ";
    EXPECT_EQ(std::string(e.what()).rfind(place, 0), 0u) << e.what();
  }
}

TEST_F(DefinitionReaderTest, RefusesDefinitionsBeyondTheNestingAndObjectBounds) {
  std::string deep = "object F: TTestForm\n";
  for (int i = 0; i < kMaxDefinitionNesting; ++i) deep += "object TTestItem\n";
  for (int i = 0; i < kMaxDefinitionNesting; ++i) deep += "end\n";
  deep += "end\n";
  EXPECT_NE(ErrorOf(deep).Problem().find("nested deeper than 64 levels"), std::string::npos);

  std::string many = "object F: TTestForm\n";
  for (int i = 0; i < kMaxDefinitionObjects; ++i) many += "object TTestItem end\n";
  many += "end\n";
  EXPECT_NE(ErrorOf(many).Problem().find("more than 10000 objects"), std::string::npos);

  // Just inside the bounds: 63 nested blocks read.
  std::string inside = "object F: TTestForm\n";
  for (int i = 1; i < kMaxDefinitionNesting; ++i) inside += "object TTestItem\n";
  for (int i = 1; i < kMaxDefinitionNesting; ++i) inside += "end\n";
  inside += "end\n";
  EXPECT_EQ(Read(inside)->ComponentCount(), kMaxDefinitionNesting - 1);
}

TEST_F(DefinitionReaderTest, FailuresOfTheComponentsKeepTheirClassAndSettersGainThePlace) {
  const std::string setterFails =
      "object F: TTestForm\n object A: TTestItem\n end\n object B: TTestItem\n"
      "  Text = 'fail'\n end\nend";
  try {
    Read(setterFails);
    FAIL();
  } catch (const IEInstall& e) {
    EXPECT_STREQ(e.what(), "The text fail is refused (product.tmby, line 5, column 3)");
  }
  const std::string loadedFails =
      "object F: TTestForm\n object A: TTestItem\n  Number = 666\n end\nend";
  try {
    Read(loadedFails);
    FAIL();
  } catch (const IEInstall& e) {
    EXPECT_STREQ(e.what(), "Item A cannot be loaded") << "post-load failures keep their message";
  }
}

TEST_F(DefinitionReaderTest, AFailedReadIntoAnExistingRootLeavesOnlyWhatItHadBefore) {
  TOwned<TTestForm> form(new TTestForm(nullptr));
  auto* mine = new TTestItem(form.get());
  mine->SetName("Mine");
  const std::string text =
      "object Main: TTestForm\n Caption = 'x'\n object A: TTestItem\n  Link = Mine\n end\n"
      " object B: TTestItem\n  Link = Nobody\n end\nend";
  EXPECT_THROW(ReadDefinitionInto(*form, text, "main.tmby", options_), EDefinitionError);
  ASSERT_EQ(form->ComponentCount(), 1);
  EXPECT_EQ(form->Components(0), mine);
  EXPECT_FALSE(form->Loading());
  EXPECT_FALSE(mine->Loading());

  // The same root reads a sound definition afterwards; references may name its own components.
  ReadDefinitionInto(*form,
                     "object Main: TTestForm\n object A: TTestItem\n  Link = Mine\n end\nend",
                     "main.tmby", options_);
  EXPECT_EQ(form->Name(), "Main");
  ASSERT_EQ(form->ComponentCount(), 2);
  EXPECT_EQ(dynamic_cast<TTestItem*>(form->Components(1))->Link(), mine);

  const EDefinitionError e = [&] {
    try {
      ReadDefinitionInto(*form, "object X: TTestItem\nend", "main.tmby", options_);
    } catch (const EDefinitionError& err) {
      return err;
    }
    return EDefinitionError("", 0, 0, "");
  }();
  EXPECT_NE(e.Problem().find("expected the class TTestForm for the root object"),
            std::string::npos);
}

TEST_F(DefinitionReaderTest, DesignToolsKeepUnknownHandlerNamesAndReadInDesignMode) {
  options_.Designing = true;
  options_.KeepUnknownHandlers = true;
  auto root = Read("object F: TTestForm\n OnActivate = NotHere\n object I: TTestItem end\nend");
  auto* form = dynamic_cast<TTestForm*>(root.get());
  EXPECT_EQ(form->OnActivate.HandlerName(), "NotHere");
  EXPECT_FALSE(form->OnActivate.Assigned());
  EXPECT_TRUE(form->DesignMode());
  EXPECT_TRUE(form->Components(0)->DesignMode());
}

TEST_F(DefinitionReaderTest, NilClearsReferencesAndEvents) {
  auto root = Read(
      "object F: TTestForm\n OnActivate = FormActivate\n OnActivate = nil\n"
      " object I: TTestItem\n  Other = F\n  Other = nil\n end\nend");
  auto* form = dynamic_cast<TTestForm*>(root.get());
  EXPECT_FALSE(form->OnActivate.Assigned());
  EXPECT_EQ(dynamic_cast<TTestItem*>(form->Components(0))->Other(), nullptr);
}

}  // namespace
}  // namespace tmby
