#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "runtime/Text.h"

namespace {

std::string Parsed(std::string_view table, const std::string& key) {
    TextTable parsed = ParseTextTable(table);
    auto found = parsed.find(key);
    return found != parsed.end() ? found->second : "<missing>";
}

TEST(TextTable, LinesKeysBlanksAndEscapes) {
    struct Case {
        const char* name;
        std::string table;
        std::string key;
        std::string text;
    };
    const Case cases[] = {
        {"plain", "KEY = Text\n", "KEY", "Text"},
        {"blanks in the key are dropped", "ERR  INVALID PARM = x\n", "ERRINVALIDPARM", "x"},
        {"leading blanks dropped, trailing kept", "INFO_PROCESSING =    Processing %s  \n", "INFO_PROCESSING",
         "Processing %s  "},
        {"equals signs never reach the text", "K = a = b==c\n", "K", "a  bc"},
        {"line feed, carriage return, backslash", "K = a\\nb\\rc\\\\d\n", "K", "a\nb\rc\\d"},
        {"\\u gives a UTF-16 unit", "K = \\u00e9t\\U00E9\n", "K", "\xC3\xA9t\xC3\xA9"},
        {"surrogate pair escapes join", "K = \\uD83D\\uDE00\n", "K", "\xF0\x9F\x98\x80"},
        {"\\u0020 keeps a leading blank", "K = \\u0020lead\n", "K", " lead"},
        {"\\u without four hex digits stays", "K = \\u12g4\n", "K", "\\u12g4"},
        {"other backslashes stay", "K = say \\\"hi\\\" \\x\n", "K", "say \\\"hi\\\" \\x"},
        {"backslash at the end of a line joins (CR LF)", "K = first \\\r\nsecond\r\n", "K", "first second"},
        {"backslash at the end of a line joins (LF)", "K = first \\\nsecond\n", "K", "first second"},
        {"carriage return alone ends a line", "A = 1\rK = 2\r", "K", "2"},
        {"last line without a line break", "A = 1\nK = last", "K", "last"},
        {"later line replaces earlier", "K = old\nK = new\n", "K", "new"},
        {"comment lines are skipped", "# K = commented\nK = real\n#K = again\n", "K", "real"},
        {"each 8-bit byte is one character", "K = caf\xE9\n", "K", "caf\xC3\xA9"},
        {"Windows string conversions read as %s", "K = %ws|%hs|%S|%ls|%-10ws|%hc|%ld|%03d|%%s|%x\n", "K",
         "%s|%s|%s|%s|%-10s|%c|%ld|%03d|%%s|%x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Parsed(c.table, c.key), c.text) << c.name;
    }
}

TEST(TextTable, EmptyKeysAndBlankLinesEnterNothing) {
    TextTable parsed = ParseTextTable("\n   \n= orphan text\n  = more\r\n\r\n");
    EXPECT_TRUE(parsed.empty());
}

TEST(TextTable, Utf16TableWithByteOrderMarkKeepsItsCharactersAndIgnoresUEscapes) {
    std::u16string source = u"K = \u65e5\u672c \\u0041\r\nL = x\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : source) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    TextTable parsed = ParseTextTable(bytes);
    EXPECT_EQ(parsed["K"], "\xE6\x97\xA5\xE6\x9C\xAC \\u0041");
    EXPECT_EQ(parsed["L"], "x");
}

TEST(TextLookup, MissingKeyGivesTheKeyAndUnknownLanguageGivesTheDefaultTable) {
    LoadTextTable(1033);  // English (United States): no table of its own
    EXPECT_EQ(LookupText("ERR_RPC"), "RPC Error: %s");
    EXPECT_EQ(LookupText("NO_SUCH_KEY"), "NO_SUCH_KEY");
    EXPECT_EQ(FormatText("ERR_CONN_FAILED_INFO", "mail.example.com", 443),
              "Connection to mail.example.com:443 failed.");
    EXPECT_EQ(FormatText("ERR_COM_EXCEPTION", static_cast<int32_t>(0x80004005), "mapi/MapiObjects(548)"),
              "COM Exception 80004005 at mapi/MapiObjects(548)");
}

TEST(TextLookup, TextWithAWrongPlaceholderGivesTheTextInsteadOfFailing) {
    LoadTextTable(TextLanguage::Default);
    EXPECT_EQ(FormatText("ERR_RPC", 12029), "RPC Error: %s");
    EXPECT_EQ(FormatText("ERR_AUTH_UNABLE", "only one"), LookupText("ERR_AUTH_UNABLE"));
}

// Sets the locale variables for one test and restores them afterwards.
class LocaleEnvironment {
  public:
    LocaleEnvironment() {
        for (const char* name : names) {
            const char* value = getenv(name);
            saved_.push_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
        }
    }
    ~LocaleEnvironment() {
        for (size_t i = 0; i < std::size(names); ++i) {
            Set(names[i], saved_[i]);
        }
    }
    void Set(const char* name, const std::optional<std::string>& value) {
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }
    static constexpr const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};

  private:
    std::vector<std::optional<std::string>> saved_;
};

TEST(TextLanguage, ComesFromTheFirstLocaleVariableThatIsSet) {
    struct Case {
        std::optional<std::string> lcAll, lcMessages, lang;
        int language;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, std::nullopt, TextLanguage::Default},
        {std::nullopt, std::nullopt, "de_DE.UTF-8", TextLanguage::German},
        {std::nullopt, std::nullopt, "es_MX.UTF-8", TextLanguage::Spanish},
        {std::nullopt, std::nullopt, "fr_CA", TextLanguage::French},
        {std::nullopt, std::nullopt, "it@euro", TextLanguage::Italian},
        {std::nullopt, std::nullopt, "ja", TextLanguage::Japanese},
        {std::nullopt, std::nullopt, "en_US.UTF-8", TextLanguage::Default},
        {std::nullopt, std::nullopt, "C.UTF-8", TextLanguage::Default},
        {std::nullopt, std::nullopt, "dsb_DE.UTF-8", TextLanguage::Default},  // Lower Sorbian, not German
        {std::nullopt, "fr_FR.UTF-8", "de_DE.UTF-8", TextLanguage::French},
        {"ja_JP.UTF-8", "fr_FR.UTF-8", "de_DE.UTF-8", TextLanguage::Japanese},
        {"", "", "it_IT.UTF-8", TextLanguage::Italian},  // empty variables count as unset
    };
    LocaleEnvironment environment;
    for (const Case& c : cases) {
        environment.Set("LC_ALL", c.lcAll);
        environment.Set("LC_MESSAGES", c.lcMessages);
        environment.Set("LANG", c.lang);
        EXPECT_EQ(LanguageFromEnvironment(), c.language)
            << c.lcAll.value_or("-") << " " << c.lcMessages.value_or("-") << " " << c.lang.value_or("-");
    }
}

}  // namespace
