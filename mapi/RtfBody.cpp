#include "mapi/RtfBody.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

#include "mapi/CodePages.h"
#include "mapi/CompressedRtf.h"
#include "mapi/RtfTokenizer.h"
#include "runtime/Utf8.h"

namespace Tarvik::MAPI {

namespace {

// The code page of an RTF font charset (\fcharsetN); 0 when the document's code page applies.
uint32_t CodePageOfCharset(int charset) {
    static const std::map<int, uint32_t> codePages = {
        {0, 1252},   {77, 10000}, {78, 10001}, {79, 10003}, {80, 10008}, {81, 10002}, {83, 10005},
        {84, 10004}, {85, 10006}, {86, 10081}, {88, 10029}, {89, 10007}, {128, 932},  {129, 949},
        {130, 1361}, {134, 936},  {136, 950},  {161, 1253}, {162, 1254}, {163, 1258}, {177, 1255},
        {178, 1256}, {186, 1257}, {204, 1251}, {222, 874},  {238, 1250}, {254, 437},  {255, 850},
    };
    auto it = codePages.find(charset);
    return it != codePages.end() ? it->second : 0;
}

// Groups whose text is not part of the document: tables, pictures, list numbers, field codes, ...
bool IsSkippedDestination(std::string_view word) {
    static constexpr std::string_view words[] = {
        "annotation",
        "colortbl",
        "falt",
        "field",
        "fldinst",
        "filetbl",
        "footer",
        "footerf",
        "footerl",
        "footerr",
        "footnote",
        "header",
        "headerf",
        "headerl",
        "headerr",
        "info",
        "listtable",
        "listtext",
        "listoverridetable",
        "nonshppict",
        "object",
        "objdata",
        "pict",
        "pntext",
        "pntxta",
        "pntxtb",
        "revtbl",
        "rsidtbl",
        "stylesheet",
        "tc",
        "template",
        "txe",
        "xe",
    };
    return std::find(std::begin(words), std::end(words), word) != std::end(words);
}

// Control words that stand for one character of text.
const char* CharacterOfControlWord(std::string_view word) {
    static const std::map<std::string_view, const char*> characters = {
        {"par", "\r\n"},       {"line", "\r\n"},        {"tab", "\t"},           {"lquote", "\u2018"},
        {"rquote", "\u2019"},  {"ldblquote", "\u201C"}, {"rdblquote", "\u201D"}, {"bullet", "\u2022"},
        {"endash", "\u2013"},  {"emdash", "\u2014"},    {"enspace", "\u2002"},   {"emspace", "\u2003"},
        {"qmspace", "\u2005"}, {"zwj", "\u200D"},       {"zwnj", "\u200C"},      {"ltrmark", "\u200E"},
        {"rtlmark", "\u200F"},
    };
    auto it = characters.find(word);
    return it != characters.end() ? it->second : nullptr;
}

size_t FindIgnoringCase(std::string_view text, std::string_view what, size_t from) {
    auto it = std::search(text.begin() + std::min(from, text.size()), text.end(), what.begin(), what.end(),
                          [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    return it == text.end() ? std::string_view::npos : static_cast<size_t>(it - text.begin());
}

// Changes the charset of every <meta ... charset=...> declaration to utf-8.
void DeclareUtf8InMetaTags(std::string& html) {
    size_t pos = 0;
    while ((pos = FindIgnoringCase(html, "<meta", pos)) != std::string::npos) {
        size_t end = html.find('>', pos);
        if (end == std::string::npos) {
            return;
        }
        size_t charset = FindIgnoringCase(std::string_view(html).substr(0, end), "charset", pos);
        if (charset != std::string::npos) {
            size_t value = html.find_first_not_of(" \t\r\n", charset + 7);
            if (value < end && html[value] == '=') {
                value = html.find_first_not_of(" \t\r\n\"'", value + 1);
                size_t valueEnd = value;
                while (valueEnd < end &&
                       (std::isalnum(static_cast<unsigned char>(html[valueEnd])) ||
                        std::string_view("-_.:").find(html[valueEnd]) != std::string_view::npos)) {
                    ++valueEnd;
                }
                if (valueEnd > value) {
                    html.replace(value, valueEnd - value, "utf-8");
                    end = html.find('>', value);
                }
            }
        }
        pos = end;
    }
}

enum class Destination { Text, HtmlTag, FontTable, Skipped };

struct GroupState {
    Destination destination = Destination::Text;
    bool htmlrtf = false;
    int font = -1;
    int unicodeSkip = 1;  // characters that follow \uN as its fallback (\ucN)
};

struct Font {
    int charset = -1;
    uint32_t codePage = 0;  // \cpgN, 0 when not given
};

class HtmlUnwrapper {
  public:
    explicit HtmlUnwrapper(std::string_view rtf) : tokenizer_(rtf) {}

    std::string Run() {
        for (RtfToken token = tokenizer_.Next(); token.kind != RtfToken::Kind::End;
             token = tokenizer_.Next()) {
            bool opensGroup = groupJustOpened_;
            groupJustOpened_ = false;
            if (SkipsAsUnicodeFallback(token)) {
                continue;
            }
            switch (token.kind) {
                case RtfToken::Kind::GroupStart:
                    OpenGroup();
                    break;
                case RtfToken::Kind::GroupEnd:
                    CloseGroup();
                    break;
                case RtfToken::Kind::ControlWord:
                    if (!(opensGroup && OpenDestination(token))) {
                        OnControlWord(token);
                    }
                    break;
                case RtfToken::Kind::ControlSymbol:
                    OnControlSymbol(token.text[0], opensGroup);
                    break;
                case RtfToken::Kind::HexByte: {
                    char byte = static_cast<char>(token.parameter);
                    AppendBytes(std::string_view(&byte, 1));
                    break;
                }
                case RtfToken::Kind::Text:
                    AppendBytes(token.text);
                    break;
                case RtfToken::Kind::End:
                    break;
            }
        }
        Flush();
        DeclareUtf8InMetaTags(out_);
        return std::move(out_);
    }

  private:
    static constexpr size_t maxDepth = 4096;

    // After \uN the next characters are the fallback for readers without Unicode; they are dropped.
    bool SkipsAsUnicodeFallback(RtfToken& token) {
        if (fallbackLeft_ == 0) {
            return false;
        }
        switch (token.kind) {
            case RtfToken::Kind::Text: {
                size_t skipped = std::min<size_t>(fallbackLeft_, token.text.size());
                fallbackLeft_ -= static_cast<int>(skipped);
                token.text.remove_prefix(skipped);
                return token.text.empty();
            }
            case RtfToken::Kind::HexByte:
            case RtfToken::Kind::ControlSymbol:
            case RtfToken::Kind::ControlWord:
                --fallbackLeft_;
                return true;
            default:
                fallbackLeft_ = 0;  // a group boundary ends the fallback
                return false;
        }
    }

    void OpenGroup() {
        if (groups_.size() >= maxDepth) {
            ++groupsBeyondDepth_;
            return;
        }
        groups_.push_back(state_);
        groupJustOpened_ = true;
    }

    void CloseGroup() {
        if (groupsBeyondDepth_ > 0) {
            --groupsBeyondDepth_;
            return;
        }
        if (groups_.empty()) {
            return;
        }
        state_ = groups_.back();
        groups_.pop_back();
    }

    // The first control word of a group may make the group a destination of its own.
    bool OpenDestination(const RtfToken& token) {
        std::string_view word = token.text;
        bool ignorable = ignorableDestination_;
        ignorableDestination_ = false;
        if (state_.destination == Destination::Skipped) {
            return true;  // nothing inside a skipped group is text, tags included
        }
        if (word == "htmltag" || word == "mhtmltag") {
            Flush();
            started_ = true;
            int number = token.hasParameter ? token.parameter : 0;
            if (word == "mhtmltag") {
                pendingTagNumber_ = number;
                state_.destination = Destination::HtmlTag;
            } else {
                // An \*\htmltag that follows an \*\mhtmltag of the same number repeats that tag.
                bool repeatsPending = number == pendingTagNumber_;
                pendingTagNumber_ = -1;
                state_.destination = repeatsPending ? Destination::Skipped : Destination::HtmlTag;
            }
            return true;
        }
        if (word == "fonttbl") {
            state_.destination = Destination::FontTable;
            return true;
        }
        if (ignorable || IsSkippedDestination(word)) {
            Flush();
            state_.destination = Destination::Skipped;
            return true;
        }
        return false;
    }

    void OnControlSymbol(char symbol, bool opensGroup) {
        switch (symbol) {
            case '*':
                ignorableDestination_ = opensGroup;
                groupJustOpened_ = opensGroup;  // the destination's name follows
                break;
            case '\\':
            case '{':
            case '}':
                AppendBytes(std::string_view(&symbol, 1));
                break;
            case '~':
                AppendUtf8("\u00A0");
                break;
            case '_':
                AppendUtf8("\u2011");
                break;
            default:
                break;  // \- (optional hyphen) and unknown symbols have no text
        }
    }

    void OnControlWord(const RtfToken& token) {
        std::string_view word = token.text;
        ignorableDestination_ = false;
        if (state_.destination == Destination::FontTable) {
            OnFontTableWord(token);
            return;
        }
        if (word == "u" && token.hasParameter) {
            AppendUnicode(token.parameter);
            fallbackLeft_ = state_.unicodeSkip;
        } else if (word == "uc" && token.hasParameter) {
            state_.unicodeSkip = std::max(0, token.parameter);
        } else if (word == "f" && token.hasParameter) {
            state_.font = token.parameter;
        } else if (word == "htmlrtf") {
            Flush();
            state_.htmlrtf = !(token.hasParameter && token.parameter == 0);
        } else if (word == "ansicpg" && token.hasParameter && token.parameter > 0) {
            documentCodePage_ = static_cast<uint32_t>(token.parameter);
        } else if (word == "mac") {
            documentCodePage_ = 10000;
        } else if (word == "pc") {
            documentCodePage_ = 437;
        } else if (word == "pca") {
            documentCodePage_ = 850;
        } else if (word == "deff" && token.hasParameter && !started_) {
            state_.font = token.parameter;
        } else if (const char* character = CharacterOfControlWord(word)) {
            AppendUtf8(character);
        }
    }

    void OnFontTableWord(const RtfToken& token) {
        if (!token.hasParameter) {
            return;
        }
        if (token.text == "f") {
            fontTableEntry_ = token.parameter;
        } else if (token.text == "fcharset") {
            fonts_[fontTableEntry_].charset = token.parameter;
        } else if (token.text == "cpg" && token.parameter > 0) {
            fonts_[fontTableEntry_].codePage = static_cast<uint32_t>(token.parameter);
        }
    }

    bool Emitting() const {
        return started_ && !state_.htmlrtf &&
               (state_.destination == Destination::Text || state_.destination == Destination::HtmlTag);
    }

    // HTML markup was written in the document's code page; text follows the fonts.
    uint32_t CurrentCodePage() const {
        if (state_.destination == Destination::HtmlTag) {
            return documentCodePage_;
        }
        auto font = fonts_.find(state_.font);
        if (font == fonts_.end()) {
            return documentCodePage_;
        }
        if (font->second.codePage != 0) {
            return font->second.codePage;
        }
        uint32_t codePage = CodePageOfCharset(font->second.charset);
        return codePage != 0 ? codePage : documentCodePage_;
    }

    // Bytes of text in the current code page; runs of them are decoded together, so that the two
    // bytes of a double-byte character may come from separate escapes.
    void AppendBytes(std::string_view bytes) {
        if (!Emitting()) {
            return;
        }
        uint32_t codePage = CurrentCodePage();
        if (!pending_.empty() && codePage != pendingCodePage_) {
            Flush();
        }
        EndSurrogatePair();
        pendingCodePage_ = codePage;
        pending_.append(bytes);
    }

    void AppendUtf8(std::string_view text) {
        if (!Emitting()) {
            return;
        }
        Flush();
        EndSurrogatePair();
        out_.append(text);
    }

    void AppendUnicode(int32_t value) {
        if (!Emitting()) {
            return;
        }
        Flush();
        char32_t codePoint = static_cast<char32_t>(value < 0 ? value + 65536 : value);
        if (codePoint >= 0xD800 && codePoint <= 0xDBFF) {
            EndSurrogatePair();
            highSurrogate_ = codePoint;
            return;
        }
        if (codePoint >= 0xDC00 && codePoint <= 0xDFFF && highSurrogate_ != 0) {
            codePoint = 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (codePoint - 0xDC00);
            highSurrogate_ = 0;
        }
        EndSurrogatePair();
        Utf8::Append(out_, codePoint);
    }

    // A high surrogate not followed by its low half stands for a character that is lost.
    void EndSurrogatePair() {
        if (highSurrogate_ != 0) {
            Utf8::Append(out_, 0xFFFD);
            highSurrogate_ = 0;
        }
    }

    void Flush() {
        if (pending_.empty()) {
            return;
        }
        bool ascii = std::all_of(pending_.begin(), pending_.end(), [](char c) { return (c & 0x80) == 0; });
        if (ascii) {
            out_.append(pending_);
        } else if (auto text = DecodeToUtf8(pending_, pendingCodePage_)) {
            out_.append(*text);
        } else {
            out_.append(DecodeToUtf8(pending_, CodePageWindows1252).value_or(std::string()));
        }
        pending_.clear();
    }

    RtfTokenizer tokenizer_;
    std::vector<GroupState> groups_;
    size_t groupsBeyondDepth_ = 0;
    GroupState state_;
    bool groupJustOpened_ = false;
    bool ignorableDestination_ = false;  // "{\*" was just read
    bool started_ = false;               // output starts at the first \*\htmltag group
    int pendingTagNumber_ = -1;
    int fallbackLeft_ = 0;
    char32_t highSurrogate_ = 0;
    std::map<int, Font> fonts_;
    int fontTableEntry_ = -1;
    uint32_t documentCodePage_ = CodePageWindows1252;
    std::string pending_;
    uint32_t pendingCodePage_ = CodePageWindows1252;
    std::string out_;
};

}  // namespace

NativeBody NativeBodyTypeOfRtf(std::string_view rtf) {
    RtfTokenizer tokenizer(rtf);
    for (RtfToken token = tokenizer.Next(); token.kind != RtfToken::Kind::End; token = tokenizer.Next()) {
        if (token.kind == RtfToken::Kind::ControlWord && token.text.starts_with("from")) {
            if (token.text == "fromhtml")
                return NativeBody::Html;
            if (token.text == "fromtext")
                return NativeBody::PlainText;
            return NativeBody::Rtf;
        }
    }
    return NativeBody::Rtf;
}

std::optional<std::string> UnwrapHtmlFromRtf(std::string_view rtf) {
    if (NativeBodyTypeOfRtf(rtf) != NativeBody::Html) {
        return std::nullopt;
    }
    return HtmlUnwrapper(rtf).Run();
}

std::optional<std::string> HtmlFromCompressedRtf(std::string_view compressedRtf) {
    return UnwrapHtmlFromRtf(DecompressRtf(compressedRtf));
}

}  // namespace Tarvik::MAPI
