// The translator on the real Windows API: the user's language as Windows reports it, and the font
// GDI gives each language's texts. tests/e2e/languages.sh runs these with the user's language
// switched and tells the expected language in TMBY_EXPECTED_LANGUAGE ("tlGerman").
#include <windows.h>
#undef MessageBox
#undef DrawText
#undef TextOut

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/win32/ui_win32.h"
#include "platform/win32/win32_port.h"
#include "translate/translator.h"
#include "ui/controls.h"

namespace tmby {
namespace {

class TranslateWin32Test : public ::testing::Test {
 protected:
  TranslateWin32Test() {
    previous_ = platform::SetPort(&port_);
    for (TLanguage* language : translator_.Languages()) language->SetStrings({"6;x"});
  }
  ~TranslateWin32Test() override { platform::SetPort(previous_); }

  platform::win32::Win32Platform port_;
  platform::IPlatform* previous_ = nullptr;
  TTranslator translator_{nullptr};
};

TEST_F(TranslateWin32Test, TheUsersLanguageIsTheOneWindowsReports) {
  TLanguage* user = translator_.UserLanguage();
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(user->LanguageIdent(), LanguageFromLangId(GetUserDefaultLangID()));
  if (const char* expected = std::getenv("TMBY_EXPECTED_LANGUAGE")) {
    EXPECT_EQ(EnumName(user->LanguageIdent()), expected);
    EXPECT_EQ(translator_.TargetLanguage(), user);
  }
}

// The character set GDI actually selects for the font the translator sets: the user's language
// gets a font that holds its script (Hebrew included, which once had none). On a Western system
// every language is checked; on a system of another code page the fonts named for Western
// languages may come in that system's character set (Wine's MS Sans Serif is a Cyrillic font in a
// Russian locale), so there only the user's own language is.
TEST_F(TranslateWin32Test, GdiGivesTheLanguagesTheirCharacterSets) {
  std::vector<TTmbyLanguage> languages = PublishedLanguages();
  if (GetACP() != 1252) languages = {translator_.UserLanguage()->LanguageIdent()};
  HDC dc = CreateCompatibleDC(nullptr);
  for (const TTmbyLanguage language : languages) {
    ui::TLabel label(nullptr);
    ApplyFont(label, false, language);
    platform::win32::GdiFont font(label.Font().Data());
    HGDIOBJ old = SelectObject(dc, font.Handle());
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    const int charset = GetTextCharset(dc);
    SelectObject(dc, old);
    EXPECT_EQ(charset, LanguageCharset(language))
        << EnumName(language) << " drew with " << platform::win32::Narrow(face);
  }
  DeleteDC(dc);
}

}  // namespace
}  // namespace tmby
