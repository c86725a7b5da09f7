// The translator: choosing the language, translating texts, windows and messages, and fonts.
#include "translate/translator.h"

#include <gtest/gtest.h>

#include <random>

#include "base/exceptions.h"
#include "support/memory_machine.h"
#include "translate/translate_controls.h"
#include "ui/forms.h"
#include "ui/std_controls.h"

namespace tmby {
namespace {

class TranslatorTest : public testing::MemoryMachineTest {
 protected:
  TranslatorTest() {
    Machine().SetUserLanguage(0x0407);  // German (Germany)
    Lang(tlEnglish).SetStrings(
        {"4;< Back", "5;Next >", "6;Cancel", "100;Setup complete",
         "108;Yes, I would like to reboot windows", "1020;The loader program %s was not found",
         "1021;Cannot copy the loading program from %s to %s", "#30", "First line", "Second line",
         "#", "#1004", std::string(300, 'L') + " %s", "#"});
    Lang(tlGerman).SetStrings(
        {"4;< Zurück", "5;Weiter >", "6;Abbrechen", "100;Setup abgeschlossen",
         "108;Ja, Windows jetzt neu starten", "1020;Das Ladeprogramm %s wurde nicht gefunden",
         "1021;Von %s kann nichts kopiert werden", "#30", "Erste Zeile", "Zweite Zeile",
         "Dritte Zeile", "#", "#1004", "Lang %s,", "und weiter.", "#"});
  }
  TLanguage& Lang(TTmbyLanguage l) { return *translator_.GetLanguage(l); }

  TTranslator translator_{nullptr};
};

TEST_F(TranslatorTest, TheFirstTranslatorIsCurrentUntilItIsDestroyed) {
  EXPECT_EQ(CurrentTranslator(), &translator_);
  {
    TTranslator second(nullptr);
    EXPECT_EQ(CurrentTranslator(), &translator_);
  }
  EXPECT_EQ(CurrentTranslator(), &translator_);
  EXPECT_EQ(translator_.Languages().size(), 21u);
  EXPECT_EQ(translator_.GetLanguage(tlUser), nullptr);
  EXPECT_EQ(translator_.Languages()[20]->LanguageIdent(), tlVietnamese);
}

TEST_F(TranslatorTest, TheTargetFollowsTheUsersLanguageUnlessOneIsChosen) {
  EXPECT_EQ(TargetLanguage(), &Lang(tlGerman));
  Machine().SetUserLanguage(0x0416);  // Brazilian Portuguese
  EXPECT_EQ(TargetLanguage(), &Lang(tlPortugese));
  Machine().SetUserLanguage(0x0418);  // Romanian: not carried
  EXPECT_EQ(TargetLanguage(), &Lang(tlEnglish));
  int changes = 0;
  translator_.OnChange = [&] { ++changes; };
  translator_.SetTranslateIntoLanguage(tlGerman);
  EXPECT_EQ(TargetLanguage(), &Lang(tlGerman));
  EXPECT_EQ(changes, 1);
}

TEST_F(TranslatorTest, TextsByTextIgnoringCaseByIdentifierAndMemosAsAWhole) {
  EXPECT_EQ(TranslateText(tlEnglish, "CANCEL"), "Abbrechen");
  EXPECT_EQ(TranslateText(tlEnglish, "Cancel me"), "Cancel me");
  // From German into German: the text is found among the German strings and stays.
  EXPECT_EQ(TranslateText(tlUser, "weiter >"), "Weiter >");
  EXPECT_EQ(TranslateByGLID(5, "Accept >"), "Weiter >");
  EXPECT_EQ(TranslateByGLID(99, "Accept >"), "Accept >");
  TStrings result;
  TranslateStrings(tlEnglish, {"First line", "Second line"}, result);
  EXPECT_EQ(result, (TStrings{"Erste Zeile", "Zweite Zeile", "Dritte Zeile"}));
  TranslateStrings(tlEnglish, {"first line", "Second line"}, result);
  EXPECT_EQ(result, (TStrings{"first line", "Second line"}));
  // A language without strings translates nothing.
  translator_.SetTranslateIntoLanguage(tlFrench);
  EXPECT_EQ(TranslateText(tlEnglish, "Cancel"), "Cancel");
}

TEST_F(TranslatorTest, KitMessagesAreTranslatedOnlyWithTheirPlaceholdersIntact) {
  EXPECT_STREQ(IEInstall("The loader program %s was not found", {"C:\\x.exe"}).what(),
               "Das Ladeprogramm C:\\x.exe wurde nicht gefunden");
  // The German text lost a placeholder: the English text is used, with both arguments.
  EXPECT_STREQ(IEInstall("Cannot copy the loading program from %s to %s", {"A", "B"}).what(),
               "Cannot copy the loading program from A to B");
  // A message longer than a string holds is found among the memos.
  EXPECT_STREQ(IEInstall(std::string(300, 'L') + " %s", {"X"}).what(), "Lang X, und weiter.");
  // Only the IE family is translated.
  EXPECT_STREQ(ETmbyCompress("Cancel").what(), "Cancel");
}

TEST_F(TranslatorTest, NoTranslationEverHandsAFormatOtherPlaceholders) {
  const std::vector<std::string> pieces = {"%s", "%d", "%%", "%", "%x", "text ", "%a"};
  std::mt19937 random(7);
  for (int i = 0; i < 2000; ++i) {
    std::string translated;
    for (int n = random() % 5; n > 0; --n) translated += pieces[random() % pieces.size()];
    if (translated.empty()) translated = "x";
    Lang(tlGerman).SetStrings({"1021;" + translated});
    const std::string message =
        IEInstall("Cannot copy the loading program from %s to %s", {"A", "B"}).what();
    const bool used = PlaceholderSequence(translated) == "ss";
    EXPECT_EQ(message == "Cannot copy the loading program from A to B",
              !used || translated == "Cannot copy the loading program from %s to %s")
        << translated << " -> " << message;
  }
}

TEST(NoTranslator, EverythingStaysAsItIs) {
  ASSERT_EQ(CurrentTranslator(), nullptr);
  EXPECT_STREQ(IEInstall("The loader program %s was not found", {"x"}).what(),
               "The loader program x was not found");
  EXPECT_EQ(TranslateText(tlEnglish, "Cancel"), "Cancel");
  EXPECT_EQ(TranslateByGLID(6, "Cancel"), "Cancel");
  ui::TLabel label(nullptr);
  label.SetCaption("Cancel");
  EXPECT_EQ(TranslateComponent(tlEnglish, label), tlEnglish);
  EXPECT_EQ(label.Caption(), "Cancel");
}

class TranslateFormTest : public TranslatorTest {
 protected:
  TranslateFormTest() {
    form_ = new ui::TForm(nullptr);
    form_->SetCaption("Setup complete");
    label_ = Make<TTranslateLabel>();
    label_->SetCaption("Next >");
    back_ = Make<TTranslateBitBtn>();
    back_->SetCaption("< Previous");
    back_->SetGLID(4);
    cancel_ = Make<TTranslateBitBtn>();
    cancel_->SetCaption("Cancel");
    kept_ = Make<TTranslateBitBtn>();
    kept_->SetCaption("Cancel");
    kept_->SetGLID(-1);
    group_ = Make<ui::TRadioGroup>();
    group_->SetItems({"Yes, I would like to reboot windows", "Cancel"});
    group_->SetItemIndex(0);
    list_ = Make<ui::TListBox>();
    list_->SetItems({"Cancel", "Accessories"});
    child_ = new ui::TForm(form_);
    child_->SetCaption("Cancel");
  }
  ~TranslateFormTest() override { TComponent::Free(form_); }
  template <class T>
  T* Make() {
    T* c = new T(form_);
    c->SetParent(form_);
    return c;
  }

  ui::TForm* form_;
  TTranslateLabel* label_;
  TTranslateBitBtn* back_;
  TTranslateBitBtn* cancel_;
  TTranslateBitBtn* kept_;
  ui::TRadioGroup* group_;
  ui::TListBox* list_;
  ui::TForm* child_;
};

TEST_F(TranslateFormTest, EveryTextOfTheWindowAndWhatItOwnsButOwnedForms) {
  label_->SetHint("Cancel");
  label_->SetName("Cancel");
  EXPECT_EQ(TranslateComponent(tlEnglish, *form_), tlUser);
  EXPECT_EQ(form_->Caption(), "Setup abgeschlossen");
  EXPECT_EQ(label_->Caption(), "Weiter >");
  EXPECT_EQ(label_->Hint(), "Abbrechen");
  EXPECT_EQ(label_->Name(), "Cancel");
  EXPECT_EQ(back_->Caption(), "< Zurück");     // by its identifier only
  EXPECT_EQ(cancel_->Caption(), "Abbrechen");  // identifier 0: by its text
  EXPECT_EQ(kept_->Caption(), "Cancel");       // negative identifier: untouched
  EXPECT_EQ(group_->Items(), (TStrings{"Ja, Windows jetzt neu starten", "Abbrechen"}));
  EXPECT_EQ(group_->ItemIndex(), 0);
  EXPECT_EQ(list_->Items(), (TStrings{"Abbrechen", "Accessories"}));
  EXPECT_EQ(child_->Caption(), "Cancel");
  // Controls are shown again and a label sizes itself again afterwards.
  EXPECT_TRUE(label_->Visible());
  EXPECT_TRUE(label_->AutoSize());
  // Translated again from what the texts are in now, nothing changes.
  EXPECT_EQ(TranslateComponent(tlUser, *form_), tlUser);
  EXPECT_EQ(cancel_->Caption(), "Abbrechen");
}

TEST_F(TranslateFormTest, AnExplicitTargetHoldsForOneCallAndATargetWithoutStringsKeepsTheSource) {
  cancel_->SetVisible(false);
  int changes = 0;
  translator_.OnChange = [&] { ++changes; };
  EXPECT_EQ(TranslateComponent(tlEnglish, *form_, tlFrench), tlEnglish);
  EXPECT_EQ(cancel_->Caption(), "Cancel");
  EXPECT_FALSE(cancel_->Visible());
  EXPECT_EQ(translator_.TranslateIntoLanguage(), tlUser);
  EXPECT_EQ(TranslateComponent(tlEnglish, *form_, tlGerman), tlGerman);
  EXPECT_EQ(cancel_->Caption(), "Abbrechen");
  EXPECT_EQ(changes, 0);
}

TEST_F(TranslateFormTest, FontsFollowTheLanguageAndItsMinimumSize) {
  Lang(tlJapanese).SetStrings({"6;キャンセル"});
  ApplyFont(*form_, false, tlJapanese);
  for (ui::TControl* c : {static_cast<ui::TControl*>(form_), static_cast<ui::TControl*>(label_)}) {
    EXPECT_EQ(c->Font().Charset(), 128);
    EXPECT_EQ(c->Font().Name(), "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E");
    EXPECT_EQ(c->Font().Size(), 9);
  }
  // A larger size stays; Hebrew gets its own character set.
  label_->Font().SetSize(14);
  Lang(tlHebrew).SetStrings({"6;ביטול"});
  ApplyFont(*form_, false, tlHebrew);
  EXPECT_EQ(label_->Font().Charset(), 177);
  EXPECT_EQ(label_->Font().Name(), "Arial");
  EXPECT_EQ(label_->Font().Size(), 14);
  // A target without strings shows the English font unless the target is kept.
  ApplyFont(*form_, false, tlKorean);
  EXPECT_EQ(form_->Font().Charset(), 0);
  ApplyFont(*form_, true, tlKorean);
  EXPECT_EQ(form_->Font().Name(), "\xB9\xD9\xC5\xC1");
  EXPECT_EQ(form_->Font().Charset(), 129);
  // An overriding font is copied as it stands.
  Lang(tlGerman).SetFontOverride(true);
  Lang(tlGerman).Font().SetName("Tahoma");
  Lang(tlGerman).Font().SetHeight(-20);
  ApplyFont(*form_, false);
  EXPECT_EQ(cancel_->Font().Name(), "Tahoma");
  EXPECT_EQ(cancel_->Font().Height(), -20);
}

}  // namespace
}  // namespace tmby
