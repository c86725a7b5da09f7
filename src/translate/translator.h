// The translator: one string table per language (TLanguage) and the translation of texts,
// windows and messages into the target language.
//
// Every text of the kit is written in English. A text is translated by looking it up among the
// strings of its source language (ignoring case) and taking the string with the same identifier
// (GLID) from the target language; controls that carry an identifier (TTranslateLabel,
// TTranslateBitBtn) take the target's string of that identifier directly; multi-line blocks
// (memos) are looked up as a whole. Whatever has no entry stays as it is.
//
// The first translator constructed is the current one until it is destroyed; the free functions
// below act on it and return their input unchanged when there is none. While it exists it is the
// exception catalogue's message translator (LocalizeMessage of base/exceptions.h), so a loaded
// language also translates the messages of the kit. A translated message whose "%s" / "%d"
// placeholders differ from the English text's is not used: the English text is, so that a
// faulty language file can never make a formatting call read the wrong arguments.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/component.h"
#include "translate/language.h"
#include "ui/controls.h"

namespace tmby {

class TTranslator : public TComponent {
  TMBY_CLASS(TTranslator, TComponent)
 public:
  explicit TTranslator(TComponent* owner);
  ~TTranslator() override;

  // The language of an ident (null for tlUser); the 21 languages in enumeration order.
  TLanguage* GetLanguage(TTmbyLanguage language) const;
  const std::vector<TLanguage*>& Languages() const { return list_; }

  TTmbyLanguage TranslateIntoLanguage() const { return into_; }
  // Stores the value and raises OnChange.
  void SetTranslateIntoLanguage(TTmbyLanguage language);
  // The translator's change notification.
  std::function<void()> OnChange;

  // The language of the user's default language identifier (through the port); null when it
  // cannot be told.
  TLanguage* UserLanguage() const;
  // UserLanguage for tlUser, else GetLanguage(TranslateIntoLanguage).
  TLanguage* TargetLanguage() const;

  std::string TranslateText(TTmbyLanguage source, const std::string& text) const;
  std::string TranslateByGLID(int32_t glid, const std::string& defaultText) const;
  // `result` becomes `lines`, or the target's memo of the source memo that holds the same lines.
  void TranslateStrings(TTmbyLanguage source, const TStrings& lines, TStrings& result) const;
  // Translates the texts of `component` and of everything it owns (except forms) from `source`;
  // returns the language the texts are in afterwards (`source` when the target has no strings).
  TTmbyLanguage TranslateComponent(TTmbyLanguage source, TComponent& component);
  TTmbyLanguage TranslateComponent(TTmbyLanguage source, TComponent& component,
                                   TTmbyLanguage target);
  // Sets the fonts of `control` and of all its child controls for the target language (English
  // when the target has no strings, unless `keepTarget`).
  void ApplyFont(ui::TControl& control, bool keepTarget);
  void ApplyFont(ui::TControl& control, bool keepTarget, TTmbyLanguage target);

  // TranslateText(tlEnglish, english), also for a message too long for one string (looked up
  // among the memos, their lines joined by blanks); the English text when the translation's
  // placeholders differ from it.
  std::string LocalizeMessage(const std::string& english) const;
  // The texts translated now read from the right: the target language has texts and is one
  // that reads so (message boxes and window captions follow it).
  bool TextsReadFromRight() const;

 private:
  class TargetScope;
  void TranslateTexts(TTmbyLanguage source, TComponent& component);
  void ApplyFontTo(ui::TControl& control, const TLanguage& language);

  std::vector<std::unique_ptr<TLanguage>> owned_;
  std::vector<TLanguage*> list_;
  TTmbyLanguage into_ = tlUser;
};

// The current translator, or null.
TTranslator* CurrentTranslator();

// The operations of the current translator (inputs unchanged, nothing done, when there is none).
TLanguage* GetLanguage(TTmbyLanguage language);
TLanguage* UserLanguage();
TLanguage* TargetLanguage();
std::string TranslateText(TTmbyLanguage source, const std::string& text);
std::string TranslateByGLID(int32_t glid, const std::string& defaultText);
void TranslateStrings(TTmbyLanguage source, const TStrings& lines, TStrings& result);
TTmbyLanguage TranslateComponent(TTmbyLanguage source, TComponent& component);
TTmbyLanguage TranslateComponent(TTmbyLanguage source, TComponent& component, TTmbyLanguage target);
void ApplyFont(ui::TControl& control, bool keepTarget);
void ApplyFont(ui::TControl& control, bool keepTarget, TTmbyLanguage target);

// The "%s" / "%d" placeholders of a format, in order ("sd" for "%s ... %d"; "%%" is none).
std::string PlaceholderSequence(const std::string& format);

}  // namespace tmby
