#include "runtime/Text.h"

#include <cctype>
#include <cstdlib>

#include "runtime/Utf8.h"

namespace {

TextTable table;

// The tables write strings the Windows way (%ws and %S wide, %hs narrow); here every string is UTF-8
// and fmt::sprintf knows only %s, so those conversions become %s (and %wc, %hc, %C become %c).
std::string WithUtf8Conversions(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] != '%') {
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        size_t next = i + 1;
        while (next < text.size() &&
               std::string_view("-+ #0123456789.*").find(text[next]) != std::string_view::npos) {
            out += text[next++];
        }
        size_t conversion = next;
        while (conversion < text.size() &&
               std::string_view("hlw").find(text[conversion]) != std::string_view::npos) {
            ++conversion;
        }
        if (conversion < text.size() &&
            std::string_view("sScC").find(text[conversion]) != std::string_view::npos) {
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(text[conversion])));
            i = conversion;
        } else {
            i = next - 1;  // other conversions are copied as they stand
        }
    }
    return out;
}

// Reads a table as a sequence of code units: bytes for 8-bit tables, UTF-16 units after a BOM.
class TableReader {
  public:
    explicit TableReader(std::string_view bytes) {
        if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
            static_cast<unsigned char>(bytes[1]) == 0xFE) {
            for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
                units_ += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                (static_cast<unsigned char>(bytes[i + 1]) << 8));
            }
            wide_ = true;
        } else {
            for (unsigned char byte : bytes) {
                units_ += static_cast<char16_t>(byte);
            }
        }
    }

    TextTable Parse() {
        TextTable result;
        while (pos_ < units_.size()) {
            ParseLine(result);
        }
        return result;
    }

  private:
    bool AtLineEnd() const { return pos_ >= units_.size() || units_[pos_] == u'\r' || units_[pos_] == u'\n'; }

    void SkipLineEnd() {
        if (pos_ < units_.size() && units_[pos_] == u'\r') {
            ++pos_;
        }
        if (pos_ < units_.size() && units_[pos_] == u'\n') {
            ++pos_;
        }
    }

    static int HexValue(char16_t unit) {
        if (unit >= u'0' && unit <= u'9')
            return unit - u'0';
        if (unit >= u'a' && unit <= u'f')
            return unit - u'a' + 10;
        if (unit >= u'A' && unit <= u'F')
            return unit - u'A' + 10;
        return -1;
    }

    // Handles the escape at pos_ (a backslash); appends what it stands for.
    void ReadEscape(std::u16string& out) {
        ++pos_;
        if (pos_ >= units_.size()) {
            out += u'\\';
            return;
        }
        char16_t next = units_[pos_];
        switch (next) {
            case u'n':
                out += u'\n';
                ++pos_;
                return;
            case u'r':
                out += u'\r';
                ++pos_;
                return;
            case u'\\':
                out += u'\\';
                ++pos_;
                return;
            case u'\r':
            case u'\n':
                SkipLineEnd();
                return;  // line joining
            case u'u':
            case u'U':
                if (!wide_ && pos_ + 4 < units_.size()) {
                    int value = 0;
                    for (size_t i = 1; i <= 4; ++i) {
                        int digit = HexValue(units_[pos_ + i]);
                        if (digit < 0) {
                            value = -1;
                            break;
                        }
                        value = value * 16 + digit;
                    }
                    if (value >= 0) {
                        out += static_cast<char16_t>(value);
                        pos_ += 5;
                        return;
                    }
                }
                break;
            default:
                break;
        }
        out += u'\\';  // any other backslash stays; the next character is read normally
    }

    void ParseLine(TextTable& result) {
        if (units_[pos_] == u'#') {
            while (!AtLineEnd())
                ++pos_;
            SkipLineEnd();
            return;
        }
        std::u16string key;
        std::u16string text;
        bool inText = false;
        bool textStarted = false;
        while (!AtLineEnd()) {
            char16_t unit = units_[pos_];
            if (!inText && unit == u'=') {
                inText = true;
                ++pos_;
                continue;
            }
            if (unit == u'=') {  // an equals sign is never part of a text
                ++pos_;
                continue;
            }
            if (!inText && unit == u' ') {
                ++pos_;
                continue;
            }
            if (inText && !textStarted && unit == u' ') {
                ++pos_;
                continue;
            }
            std::u16string& target = inText ? text : key;
            if (unit == u'\\') {
                ReadEscape(target);
            } else {
                target += unit;
                ++pos_;
            }
            textStarted = inText;
        }
        SkipLineEnd();
        if (!key.empty()) {
            result[Utf8::FromUtf16(key)] = WithUtf8Conversions(Utf8::FromUtf16(text));
        }
    }

    std::u16string units_;
    size_t pos_ = 0;
    bool wide_ = false;
};

}  // namespace

TextTable ParseTextTable(std::string_view bytes) {
    return TableReader(bytes).Parse();
}

int LanguageFromEnvironment() {
    const char* locale = nullptr;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = getenv(name);
        if (value != nullptr && *value != '\0') {
            locale = value;
            break;
        }
    }
    if (locale == nullptr) {
        return TextLanguage::Default;
    }
    // "de_DE.UTF-8", "de.UTF-8", "de@euro" and "de" all name German.
    std::string_view language(locale);
    language = language.substr(0, language.find_first_of("_.@"));
    if (language == "de")
        return TextLanguage::German;
    if (language == "es")
        return TextLanguage::Spanish;
    if (language == "fr")
        return TextLanguage::French;
    if (language == "it")
        return TextLanguage::Italian;
    if (language == "ja")
        return TextLanguage::Japanese;
    return TextLanguage::Default;
}

void LoadTextTable() {
    LoadTextTable(LanguageFromEnvironment());
}

void LoadTextTable(int language) {
    std::string_view bytes = ShippedTextTable(language);
    if (bytes.empty()) {
        bytes = ShippedTextTable(TextLanguage::Default);
    }
    table = ParseTextTable(bytes);
}

std::string LookupText(std::string_view key) {
    auto found = table.find(key);
    return found != table.end() ? found->second : std::string(key);
}
