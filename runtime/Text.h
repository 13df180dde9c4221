#pragma once
// The localised text table: every text the user sees is looked up by key. The tables ship inside
// the program (resources/locale/<language id>.txt); one is loaded at start-up, in the user's
// language when a table for it exists and in the default (English) language otherwise.

#include <fmt/printf.h>

#include <map>
#include <string>
#include <string_view>

// Windows-style language ids of the shipped tables; 0 is the default (English) table.
namespace TextLanguage {
inline constexpr int Default = 0;
inline constexpr int German = 1031;
inline constexpr int SpanishTraditional = 1034;
inline constexpr int French = 1036;
inline constexpr int Italian = 1040;
inline constexpr int Japanese = 1041;
inline constexpr int Spanish = 3082;
}  // namespace TextLanguage

// The language the locale environment asks for (LC_ALL, then LC_MESSAGES, then LANG):
// de -> 1031, es -> 3082, fr -> 1036, it -> 1040, ja -> 1041, anything else -> 0.
int LanguageFromEnvironment();

// Loads the table of the environment's language (or of `language`); a language without a shipped
// table falls back to the default table. Call before other threads start; afterwards the table is
// only read.
void LoadTextTable();
void LoadTextTable(int language);

// The text for `key`, or the key itself when the table has none.
std::string LookupText(std::string_view key);

// The looked-up text used as a printf-style format. Type-safe: a translated text with a wrong
// placeholder gives a wrong text, never a crash.
template <typename... Args>
std::string FormatText(std::string_view key, const Args&... args) {
    try {
        return fmt::sprintf(LookupText(key), args...);
    } catch (const fmt::format_error&) {
        return LookupText(key);
    }
}

// Parses a table in the shipped format (8-bit with \u escapes, or UTF-16 with a byte-order mark);
// resources/locale/0.txt describes it. Each byte of an 8-bit table is one character (U+0000-U+00FF);
// a backslash before a line feed joins lines like one before a carriage return. The texts come out
// as UTF-8 with %ws, %hs, %ls and %S written as %s, ready for FormatText.
using TextTable = std::map<std::string, std::string, std::less<>>;
TextTable ParseTextTable(std::string_view bytes);

// The raw bytes of a shipped table, empty when there is none for `language`.
std::string_view ShippedTextTable(int language);
