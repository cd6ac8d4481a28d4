// The console's instructions step in the language chosen on its command line.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/console/console_view.h"
#include "app/instruction_texts.h"

namespace {

// What the instructions step writes, accepted without a key.
std::string Instructions(int language)
{
    std::FILE* out = std::tmpfile();
    if (out == nullptr) return {};
    app::ConsoleView view(true, language, out);
    const bool accepted = view.RunWelcomeDialog();
    std::string text;
    std::rewind(out);
    for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) text += static_cast<char>(c);
    std::fclose(out);
    return accepted ? text : "not accepted";
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ConsoleInstructions, PortugueseShowsTheInstructionsDialogsTexts)
{
    const std::string text = Instructions(app::kLanguagePortuguese);
    EXPECT_TRUE(Has(text, "Informacao importante!")) << text;
    EXPECT_TRUE(Has(text, "- Clique \"OK\" quando voce tiver realizado todas as instrucoes.")) << text;
    EXPECT_FALSE(Has(text, "Follow these steps")) << text;
}

TEST(ConsoleInstructions, EnglishAndGermanShowTheirOwnSetsInstructions)
{
    const std::string english = Instructions(app::kLanguageEnglish);
    EXPECT_TRUE(Has(english, "Follow these steps to update your router:\n")) << english;
    EXPECT_TRUE(Has(english, "NOTE!\n")) << english;
    EXPECT_TRUE(Has(english, "The update may fail if computer goes to sleep, standby or hibernates during the update.\n")) << english;
    EXPECT_FALSE(Has(english, "Informacao importante!")) << english;
    // The set's labels and button are the status line's, not instructions.
    EXPECT_FALSE(Has(english, "Progress:")) << english;

    const std::string german = Instructions(app::kLanguageGerman);
    EXPECT_TRUE(Has(german, "Beachten Sie folgende Schritte:\n")) << german;
    EXPECT_TRUE(Has(german, "Das Update bricht möglicherweise ab falls der PC in den Stand by Modus schaltet.\n")) << german;
    EXPECT_FALSE(Has(german, "Follow these steps")) << german;
}

}  // namespace
