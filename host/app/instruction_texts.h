// The instruction texts built into the program: the main window's text sets
// by language index and the instructions dialog's texts.
#pragma once

#include <span>
#include <string_view>

namespace app {

struct ControlText {
    int controlId;
    std::u16string_view text;
};

inline constexpr int kLanguageEnglish = 0;
inline constexpr int kLanguageGerman = 2;
inline constexpr int kLanguagePortuguese = 3;

// The main window's texts for `language`; empty for 1 and any other value,
// which leaves the template's texts.
std::span<const ControlText> MainWindowTexts(int language);

// The instructions dialog: its nine texts and its two buttons (OK, Cancel).
std::span<const ControlText> WelcomeTexts();
std::u16string_view WelcomeOkText();
std::u16string_view WelcomeCancelText();

// The language the instructions dialog chooses.
inline constexpr int kWelcomeLanguage = kLanguagePortuguese;

}  // namespace app
