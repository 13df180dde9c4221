// The shipped text tables: every language has every key, and every translated text takes the
// arguments its default text takes, because callers format it with the same arguments.

#include <fmt/args.h>
#include <fmt/printf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "runtime/Text.h"

namespace {

const int translatedLanguages[] = {TextLanguage::German,   TextLanguage::SpanishTraditional,
                                   TextLanguage::French,   TextLanguage::Italian,
                                   TextLanguage::Japanese, TextLanguage::Spanish};

TextTable Shipped(int language) {
    return ParseTextTable(ShippedTextTable(language));
}

// The conversion letters of a printf text in order ("s", "d", "x", "c", ...), as printf reads them.
std::string Conversions(const std::string& text) {
    static const std::regex conversion(R"(%[-+ #0]*(\d+|\*)?(\.\d+)?(hh|h|ll|l|L|z|j|t)?([a-zA-Z%]))");
    std::string letters;
    for (std::sregex_iterator it(text.begin(), text.end(), conversion), end; it != end; ++it) {
        if ((*it)[4] != "%") {
            letters += (*it)[4].str();
        }
    }
    return letters;
}

// Formats the text with one sample argument of the right type per conversion; throws
// fmt::format_error where the text cannot take them.
std::string FormatWithSamples(const std::string& text, const std::string& conversions) {
    fmt::dynamic_format_arg_store<fmt::printf_context> arguments;
    for (char letter : conversions) {
        switch (letter) {
            case 's':
                arguments.push_back(std::string("text"));
                break;
            case 'c':
                arguments.push_back('%');
                break;
            default:
                arguments.push_back(42);
                break;
        }
    }
    return fmt::vsprintf(fmt::string_view(text), fmt::basic_format_args<fmt::printf_context>(arguments));
}

TEST(ShippedTextTables, EveryLanguageIsSevenBitTextWithEveryDefaultKeyTranslated) {
    TextTable english = Shipped(TextLanguage::Default);
    // 270 keys, and 5 for the command line of tvkimport and the check of files being written.
    EXPECT_EQ(english.size(), 275u);
    for (int language : translatedLanguages) {
        SCOPED_TRACE(language);
        std::string_view bytes = ShippedTextTable(language);
        ASSERT_FALSE(bytes.empty());
        EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](char c) {
            return (c >= 0x20 && c < 0x7f) || c == '\n' || c == '\r';
        })) << "characters beyond ASCII are written as \\u escapes";
        TextTable translated = ParseTextTable(bytes);
        int sameAsEnglish = 0;
        for (const auto& [key, text] : english) {
            auto found = translated.find(key);
            if (found == translated.end()) {
                ADD_FAILURE() << "missing key " << key;
            } else if (found->second == text) {
                ++sameAsEnglish;
            }
        }
        for (const auto& entry : translated) {
            EXPECT_TRUE(english.contains(entry.first)) << "key not in the default table: " << entry.first;
        }
        EXPECT_LT(sameAsEnglish, 40) << "most texts must be translated";
    }
}

TEST(ShippedTextTables, EveryTextTakesTheArgumentsOfItsDefaultText) {
    TextTable english = Shipped(TextLanguage::Default);
    std::vector<std::pair<int, TextTable>> tables = {{TextLanguage::Default, english}};
    for (int language : translatedLanguages) {
        tables.emplace_back(language, Shipped(language));
    }
    for (const auto& [key, defaultText] : english) {
        std::string expected = Conversions(defaultText);
        for (const auto& [language, table] : tables) {
            auto found = table.find(key);
            if (found == table.end()) {
                continue;  // reported by the test above
            }
            EXPECT_EQ(Conversions(found->second), expected)
                << language << " " << key << ": " << found->second;
            EXPECT_NO_THROW(FormatWithSamples(found->second, expected)) << language << " " << key;
        }
    }
}

TEST(ShippedTextTables, EachLanguageLoadsItsOwnTable) {
    for (int language : translatedLanguages) {
        LoadTextTable(language);
        EXPECT_EQ(LookupText("ERR_LOGON_PROFILE"), Shipped(language).at("ERR_LOGON_PROFILE")) << language;
        EXPECT_NE(LookupText("ERR_LOGON_PROFILE"), "Unable to Logon to the profile") << language;
    }
    LoadTextTable(TextLanguage::Default);
    EXPECT_EQ(LookupText("ERR_LOGON_PROFILE"), "Unable to Logon to the profile");
}

}  // namespace
