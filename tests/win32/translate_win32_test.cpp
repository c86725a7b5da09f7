// The translator on the real Windows API: the user's language as Windows reports it, and the font
// GDI gives each language's texts. tests/e2e/languages.sh runs these with the user's language
// switched and tells the expected language in TMBY_EXPECTED_LANGUAGE ("tlGerman").
#include <windows.h>
#undef MessageBox
#undef DrawText
#undef TextOut

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <type_traits>
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

// Windows 95, 98 and ME draw text as bytes, each glyph taken from the font's character set: a
// language's texts, in the code page of that language's Windows, must come out of the font the
// translator gives the language as the same letters the wide API draws (Greek in code page 1253
// drawn with a Western font shows Western letters; Portuguese with an East European one turns
// "Não" into "Nău").
TEST_F(TranslateWin32Test, OnTheAnsiPathEveryLanguageDrawsItsLettersInTheFontItIsGiven) {
  struct Sample {
    TTmbyLanguage language;
    UINT codePage;
    const wchar_t* text;
  };
  const Sample samples[] = {
      {tlGreek, 1253, L"\x395\x3b3\x3ba\x3b1\x3c4\x3ac\x3c3\x3c4\x3b1\x3c3\x3b7"},
      {tlPortugese, 1252, L"N\xe3o, instala\xe7\xe3o"},
      {tlGerman, 1252, L"Gr\xf6\xdf\x65 \xfc\x62\x65r"},
      {tlFrench, 1252, L"R\xe9pertoire \xe0 cr\xe9\x65r"},
      {tlCzech, 1250, L"Slo\x17eka program\x16f"},
      {tlPolish, 1250, L"Zako\x144\x63z instalacj\x119"},
      {tlRussian, 1251, L"\x41f\x430\x43f\x43a\x430"},
      {tlSwedish, 1252, L"M\xe5lkatalog"},
      {tlHebrew, 1255, L"\x5d4\x5ea\x5e7\x5e0\x5d4"},
      {tlJapanese, 932, L"\x30a4\x30f3\x30b9\x30c8\x30fc\x30eb"},
      {tlChineseSimplified, 936, L"\x5b89\x88c5"},
  };
  // On a system of another code page the fonts named for the Western languages may come in that
  // system's character set (see above): there only the user's own language is drawn.
  const TTmbyLanguage user = translator_.UserLanguage()->LanguageIdent();
  HDC dc = CreateCompatibleDC(nullptr);
  const auto draw = [&](const auto& text, int length) {
    HBITMAP bitmap = CreateBitmap(400, 40, 1, 1, nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    PatBlt(dc, 0, 0, 400, 40, WHITENESS);
    if constexpr (std::is_same_v<std::decay_t<decltype(text[0])>, char>) {
      TextOutA(dc, 2, 2, text, length);
    } else {
      TextOutW(dc, 2, 2, text, length);
    }
    std::vector<BYTE> bits(50 * 40);
    GetBitmapBits(bitmap, static_cast<LONG>(bits.size()), bits.data());
    SelectObject(dc, old);
    DeleteObject(bitmap);
    return bits;
  };
  for (const Sample& sample : samples) {
    if (GetACP() != 1252 && sample.language != user) continue;
    ui::TLabel label(nullptr);
    ApplyFont(label, false, sample.language);
    platform::win32::GdiFont font(label.Font().Data(), platform::win32::ApiCharset::Ansi);
    HGDIOBJ old = SelectObject(dc, font.Handle());
    const std::wstring wide = sample.text;
    char bytes[128] = {};
    const int n = WideCharToMultiByte(sample.codePage, 0, wide.c_str(), -1, bytes, sizeof bytes,
                                      nullptr, nullptr);
    ASSERT_GT(n, 1) << EnumName(sample.language);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    EXPECT_TRUE(draw(bytes, n - 1) == draw(wide.c_str(), static_cast<int>(wide.size())))
        << EnumName(sample.language) << " drawn from code page " << sample.codePage
        << " with character set " << label.Font().Charset() << " (GDI gave "
        << platform::win32::Narrow(face) << " in character set " << GetTextCharset(dc) << ")";
    SelectObject(dc, old);
  }
  DeleteDC(dc);
}

}  // namespace
}  // namespace tmby
