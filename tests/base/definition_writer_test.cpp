#include "base/definition_writer.h"

#include <gtest/gtest.h>

#include "base/definition_reader.h"
#include "base/text_codec.h"
#include "model/install_group.h"
#include "support/component_fixtures.h"
#include "support/install_tree_fixtures.h"

namespace tmby {
namespace {

using fixtures::TTestForm;
using fixtures::TTestItem;
using fixtures::TTestSpecialItem;

// Compares two objects property by property through their class tables; references and
// events by name.
void ExpectSameValues(const TPersistent& a, const TPersistent& b, const std::string& where) {
  ASSERT_EQ(a.ClassName(), b.ClassName()) << where;
  for (const TPropInfo* p : a.ClassInfo().Properties()) {
    const std::string at = where + "." + p->Name();
    switch (p->Kind()) {
      case TPropKind::pkInteger:
      case TPropKind::pkBoolean:
      case TPropKind::pkEnum:
      case TPropKind::pkSet: EXPECT_EQ(p->GetOrd(a), p->GetOrd(b)) << at; break;
      case TPropKind::pkString: EXPECT_EQ(p->GetString(a), p->GetString(b)) << at; break;
      case TPropKind::pkStringList: EXPECT_EQ(p->GetStrings(a), p->GetStrings(b)) << at; break;
      case TPropKind::pkPicture: EXPECT_EQ(p->GetBytes(a), p->GetBytes(b)) << at; break;
      case TPropKind::pkNested: ExpectSameValues(*p->GetObject(a), *p->GetObject(b), at); break;
      case TPropKind::pkComponent: {
        const TComponent* ca = p->GetComponent(a);
        const TComponent* cb = p->GetComponent(b);
        EXPECT_EQ(ca == nullptr, cb == nullptr) << at;
        if (ca != nullptr && cb != nullptr) {
          EXPECT_EQ(ca->Name(), cb->Name()) << at;
        }
        break;
      }
      case TPropKind::pkEvent: EXPECT_EQ(p->GetHandlerName(a), p->GetHandlerName(b)) << at; break;
    }
  }
}

void ExpectSameTree(const TComponent& a, const TComponent& b) {
  ExpectSameValues(a, b, a.Name());
  ASSERT_EQ(a.ComponentCount(), b.ComponentCount());
  for (int i = 0; i < a.ComponentCount(); ++i) {
    const TComponent* ca = a.Components(i);
    const TComponent* cb = b.Components(i);
    EXPECT_EQ(ca->Name(), cb->Name());
    EXPECT_EQ(ca->ParentComponent() ? ca->ParentComponent()->Name() : "-",
              cb->ParentComponent() ? cb->ParentComponent()->Name() : "-");
    ExpectSameValues(*ca, *cb, ca->Name());
  }
}

class DefinitionWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::RegisterFixtureClasses(classes_);
    handlers_.Register<fixtures::TTestNotifyEvent>("FormActivate", [](TComponent*) {});
    handlers_.Register<fixtures::TTestNotifyEvent>("ItemChanged", [](TComponent*) {});
    options_.Classes = &classes_;
    options_.Handlers = &handlers_;
  }
  TOwned<TComponent> Read(const std::string& text) {
    return ReadDefinition(text, "written.tmby", options_);
  }
  TClassRegistry classes_;
  TEventHandlers handlers_;
  TDefinitionOptions options_;
};

TEST_F(DefinitionWriterTest, WritesABuiltTreeThatReadsBackToTheSameTreeAndText) {
  TOwned<TTestForm> form(new TTestForm(nullptr));
  form->SetName("Main");
  form->Caption = "Setup of 'Notes'";
  form->OnActivate.Set([](TComponent*) {}, "FormActivate");
  auto* label = new TTestItem(form.get());  // created before its band, written inside it
  label->SetName("Label1");
  label->Text = "Line one\r\nLine two";
  auto* band = new TTestSpecialItem(form.get());
  band->SetName("Band");
  label->SetParentComponent(band);
  band->Colour = fixtures::tcBlack;
  band->Colours = {};
  band->Lines = {"", "it's"};
  band->Image.assign(40, 0xAB);
  band->Settings.SetCaption("Hi");
  band->Settings.Inner.Level = 9;
  band->Settings.Target = label;
  band->Color = 0x0000FF;
  band->SetLink(label);
  band->SetOther(form.get());
  band->Number = -7;  // after SetLink, whose coupling rule copies the label's number
  band->OnChange.Set([](TComponent*) {}, "ItemChanged");
  band->SetTag(3);

  const std::string text = WriteDefinition(*form);
  EXPECT_EQ(text,
            "object Main: TTestForm\n"
            "  Caption = 'Setup of ''Notes'''\n"
            "  OnActivate = FormActivate\n"
            "  object Band: TTestSpecialItem\n"
            "    Tag = 3\n"
            "    Number = -7\n"
            "    Colour = tcBlack\n"
            "    Colours = []\n"
            "    Lines = (\n"
            "      ''\n"
            "      'it''s')\n"
            "    Image = {\n"
            "      ABABABABABABABABABABABABABABABABABABABABABABABABABABABABABABABAB\n"
            "      ABABABABABABABAB}\n"
            "    Settings.Caption = 'Hi'\n"
            "    Settings.Inner.Level = 9\n"
            "    Settings.Target = Label1\n"
            "    Color = clRed\n"
            "    Link = Label1\n"
            "    Other = Main\n"
            "    OnChange = ItemChanged\n"
            "    object Label1: TTestItem\n"
            "      Text = 'Line one'#13#10 +\n"
            "        'Line two'\n"
            "    end\n"
            "  end\n"
            "end\n");

  auto copy = Read(text);
  EXPECT_EQ(WriteDefinition(*copy), text);
  // The copy holds its components in file order: the band before its label.
  ASSERT_EQ(copy->ComponentCount(), 2);
  EXPECT_EQ(copy->Components(0)->Name(), "Band");
  EXPECT_EQ(copy->Components(1)->ParentComponent(), copy->Components(0));
  ExpectSameValues(*form, *copy, "Main");
  ExpectSameValues(*band, *copy->Components(0), "Band");
  ExpectSameValues(*label, *copy->Components(1), "Label1");
}

TEST_F(DefinitionWriterTest, ReadWriteReadGivesTheSameTree) {
  const std::string text =
      "object F: TTestForm\n"
      "  Width = 0\n"
      "  object A: TTestItem\n"
      "    Enabled = False\n"
      "    Colours = [tcRed, tcGreen, tcBlue, tcBlack]\n"
      "    Link = B\n"
      "    object C: TTestItem\n"
      "      Text = ''\n"
      "    end\n"
      "  end\n"
      "  object B: TTestSpecialItem\n"
      "    Enabled = True\n"
      "    Settings.Lines = (\n"
      "      'x')\n"
      "  end\n"
      "  object TTestItem\n"
      "  end\n"
      "end\n";
  auto first = Read(text);
  const std::string written = WriteDefinition(*first);
  // Text = '' equals the default and is dropped; everything else stays as it stood.
  std::string expected = text;
  const std::string dropped = "      Text = ''\n";
  expected.erase(expected.find(dropped), dropped.size());
  EXPECT_EQ(written, expected);
  auto second = Read(written);
  ExpectSameTree(*first, *second);
  EXPECT_EQ(WriteDefinition(*second), written);
}

TEST_F(DefinitionWriterTest, LeavesOutValuesEqualToTheirClassDefaults) {
  TOwned<TTestForm> form(new TTestForm(nullptr));
  auto* item = new TTestItem(form.get());
  item->SetName("Plain");
  auto* special = new TTestSpecialItem(form.get());
  special->SetName("Special");  // Enabled false is its own default
  EXPECT_EQ(WriteDefinition(*form),
            "object TTestForm\n"
            "  object Plain: TTestItem\n"
            "  end\n"
            "  object Special: TTestSpecialItem\n"
            "  end\n"
            "end\n");
}

TEST(DefinitionQuoting, QuotesControlCharactersAndKeepsOtherBytes) {
  EXPECT_EQ(QuoteDefinitionString(""), "''");
  EXPECT_EQ(QuoteDefinitionString("It's"), "'It''s'");
  EXPECT_EQ(QuoteDefinitionString("a\tb\x7F"), "'a'#9'b'#127");
  EXPECT_EQ(QuoteDefinitionString("\n"), "#10");
  EXPECT_EQ(QuoteDefinitionString("caf\xC3\xA9"), "'caf\xC3\xA9'");
  EXPECT_EQ(QuoteDefinitionString("a\nb"), "'a'#10 +\n  'b'");
}

TEST_F(DefinitionWriterTest, EveryCharacterOfAStringSurvivesTheRoundTrip) {
  TOwned<TTestForm> form(new TTestForm(nullptr));
  std::string all;
  for (char32_t c = 0; c < 0x800; ++c) AppendUtf8(all, c);
  all += "\xEF\xBF\xBF\xF0\x9F\x98\x80";  // U+FFFF and U+1F600
  form->Caption = all + all;
  auto copy = Read(WriteDefinition(*form));
  EXPECT_EQ(dynamic_cast<TTestForm*>(copy.get())->Caption, all + all);

  // Bytes that are no UTF-8 could not be read back.
  form->Caption = "Caf\xE9";
  EXPECT_THROW(WriteDefinition(*form), EComponentError);
}

TEST_F(DefinitionWriterTest, RefusesValuesItCouldNotReadBack) {
  TOwned<TTestForm> form(new TTestForm(nullptr));
  TOwned<TTestForm> elsewhere(new TTestForm(nullptr));
  auto* item = new TTestItem(form.get());
  auto* stranger = new TTestItem(elsewhere.get());
  stranger->SetName("Stranger");
  item->SetOther(stranger);
  EXPECT_THROW(WriteDefinition(*form), EComponentError) << "not in this tree";
  auto* unnamed = new TTestItem(form.get());
  item->SetOther(unnamed);
  EXPECT_THROW(WriteDefinition(*form), EComponentError) << "no name";
  item->SetOther(nullptr);
  item->Colour = static_cast<fixtures::TTestColour>(9);
  EXPECT_THROW(WriteDefinition(*form), EComponentError) << "no enumerator";
  item->Colour = fixtures::tcRed;
  item->OnChange.SetName("not a name");
  EXPECT_THROW(WriteDefinition(*form), EComponentError);
  item->OnChange.Clear();
  EXPECT_NO_THROW(WriteDefinition(*form));
}

}  // namespace
}  // namespace tmby

namespace tmby {
namespace {

// The install tree itself: groups, directories and files with their references, sets, settings
// objects, pictures and events, read, written and read again.
class InstallDefinitionRoundTrip : public fixtures::InstallTreeTest {
 protected:
  InstallDefinitionRoundTrip() {
    fixtures::RegisterTreeFixtureClasses(classes_);
    classes_.Register(TComponent::StaticClass());
    handlers_.Register<TInstallFileStatusEvent>("ShowStatus",
                                                [](TCustomInstallFile*, int32_t, int32_t) {});
    handlers_.Register<TInstallContainerNotifyEvent>("BeforeGroup", [](TInstallContainer*) {});
    options_.Classes = &classes_;
    options_.Handlers = &handlers_;
  }
  TClassRegistry classes_;
  TEventHandlers handlers_;
  TDefinitionOptions options_;
};

TEST_F(InstallDefinitionRoundTrip, GroupsDirectoriesAndFilesRebuildTheSameTree) {
  const std::string text =
      "object Main: TComponent\n"
      "  object psProgramFiles: TTestProgramFiles\n"
      "  end\n"
      "  object psContainerDestDir: TpsContainerDestDir\n"
      "  end\n"
      "  object psContainerArchiveFile: TpsContainerArchiveFile\n"
      "  end\n"
      "  object Install1: TTestRoot\n"
      "  end\n"
      "  object Group1: TInstallGroup\n"
      "    ArchiveFile = 'group1.arc'\n"
      "    Container = Install1\n"
      "    Description = 'Program files'\n"
      "    DestDir = '\\Program'\n"
      "    DestDirType = psProgramFiles\n"
      "    DialogOptions.AllowChangeDir = False\n"
      "    DialogOptions.Description = ('Main' 'program')\n"
      "    DialogOptions.SmallIcon = {00010203}\n"
      "    DialogOptions.Password = 'secret'\n"
      "    InstallTypes = [itFull, itCompact]\n"
      "    OS = [oswin95, oswinNT, oswinXP]\n"
      "    OnBeforeProcess = BeforeGroup\n"
      "    OnStatus = ShowStatus\n"
      "  end\n"
      "  object Dir1: TInstallDirectory\n"
      "    Container = Group1\n"
      "    DestDir = '\\Help'\n"
      "    DestDirType = psContainerDestDir\n"
      "    Include = False\n"
      "  end\n"
      "  object Dir2: TInstallDirectory\n"
      "    Container = Install1\n"
      "  end\n"
      "  object File1: TTestFile\n"
      "    Container = Dir1\n"
      "  end\n"
      "end\n";
  auto first = ReadDefinition(text, "lakeside.tmby", options_);
  const std::string written = WriteDefinition(*first);
  auto second = ReadDefinition(written, "written.tmby", options_);
  EXPECT_EQ(WriteDefinition(*second), written);
  ExpectSameTree(*first, *second);
  for (const char* name : {"Install1", "Group1", "Dir1", "Dir2"}) {
    SCOPED_TRACE(name);
    auto* a = dynamic_cast<TInstallContainer*>(first->FindComponent(name));
    auto* b = dynamic_cast<TInstallContainer*>(second->FindComponent(name));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(HelperNames(*a), HelperNames(*b));
  }
  EXPECT_EQ(HelperNames(*dynamic_cast<TInstallContainer*>(second->FindComponent("Install1"))),
            "Group1 Dir2");
  auto* group = dynamic_cast<TInstallGroup*>(second->FindComponent("Group1"));
  EXPECT_EQ(group->DialogOptions().Description, (TStrings{"Main", "program"}));
  EXPECT_EQ(group->DialogOptions().Password(), "secret");
  EXPECT_FALSE(group->DialogOptions().HasPassword) << "stored only while loading";
  EXPECT_TRUE(group->OnStatus.Assigned());
  // One own path specifier per file container, the saved one, and no lasting name clash.
  for (TComponent* c : second->ComponentList()) {
    EXPECT_EQ(c->Name().find("nameClash"), std::string::npos) << c->Name();
  }
}

TEST_F(InstallDefinitionRoundTrip, TreeRulesOfTheSettersKeepTheirClassAndGainThePlace) {
  const std::string text =
      "object Main: TComponent\n"
      "  object Install1: TTestRoot\n"
      "  end\n"
      "  object Dir1: TInstallDirectory\n"
      "    Container = Install1\n"
      "  end\n"
      "  object Group1: TInstallGroup\n"
      "    Container = Dir1\n"
      "  end\n"
      "end\n";
  try {
    ReadDefinition(text, "lakeside.tmby", options_);
    FAIL() << "a group inside a directory was read";
  } catch (const IEInstallGroup& e) {
    EXPECT_STREQ(e.what(),
                 "A TInstallGroup component can only be contained by a TInstall, or another "
                 "TInstallGroup component (lakeside.tmby, line 8, column 17)");
  }
  EXPECT_EQ(InstallModel().Containers.Count(), 0) << "the failed read left containers behind";
}

}  // namespace
}  // namespace tmby
