// Which bodies a converted message carries, for stores and bodies that pstgen cannot write: the
// text of UTF-8 messages in non-Unicode stores, and damaged RTF.

#include <gtest/gtest.h>

#include <map>
#include <variant>

#include "mapi/MailConverter.h"
#include "mapi/MailItem.h"
#include "mime/Message.h"

using namespace Tarvik::MAPI;

namespace {

constexpr uint32_t PropBody = 0x1000001F;
constexpr uint32_t PropHtml = 0x10130102;
constexpr uint32_t PropRtfCompressed = 0x10090102;
constexpr uint32_t PropRtfInSync = 0x0E1F000B;
constexpr uint32_t PropNativeBodyInfo = 0x10160003;
constexpr uint32_t PropInternetCpid = 0x3FDE0003;
constexpr uint32_t PropStoreSupportMask = 0x340D0003;
constexpr int64_t AnsiStore = 0x10000 | 0x800;
constexpr int64_t UnicodeStore = AnsiStore | 0x40000;

// A message of plain values.
class FakeMailItem : public MailItem {
  public:
    std::map<uint32_t, std::variant<int64_t, std::string>> values;

    std::optional<int64_t> Integer(uint32_t tag) override {
        auto it = values.find(tag);
        return it != values.end() && std::holds_alternative<int64_t>(it->second)
                   ? std::optional<int64_t>(std::get<int64_t>(it->second))
                   : std::nullopt;
    }
    std::optional<std::string> Bytes(uint32_t tag) override {
        auto it = values.find(tag);
        return it != values.end() && std::holds_alternative<std::string>(it->second)
                   ? std::optional<std::string>(std::get<std::string>(it->second))
                   : std::nullopt;
    }
    std::vector<RecipientRow> Recipients() override { return {}; }
    std::vector<std::unique_ptr<MailAttachment>> Attachments() override { return {}; }
};

std::string Converted(FakeMailItem& item) {
    return ConvertMailToMime(item)->AsString().Str();
}

}  // namespace

TEST(BodyChoice, UtfEightMailOfANonUnicodeStoreTakesItsTextFromItsHtml) {
    struct Case {
        const char* name;
        int64_t store;
        int64_t native;  // PR_NATIVE_BODY_INFO: 1 text, 3 HTML
        bool text;       // the text comes from the HTML, not from PR_BODY
        bool html;
    } cases[] = {
        {"HTML mail keeps its HTML", AnsiStore, 3, true, true},
        {"text mail is text only", AnsiStore, 1, true, false},
        {"Unicode stores keep PR_BODY", UnicodeStore, 3, false, true},
    };
    for (const Case& c : cases) {
        FakeMailItem item;
        item.values = {{PropStoreSupportMask, c.store},
                       {PropNativeBodyInfo, c.native},
                       {PropInternetCpid, int64_t{65001}},
                       {PropBody, std::string("Caf? as the store kept it")},
                       {PropHtml, std::string("<html><body><p>Caf\xC3\xA9 au lait</p></body></html>")}};
        std::string mime = Converted(item);
        EXPECT_EQ(mime.find("Caf? as the store kept it") == std::string::npos, c.text) << c.name;
        EXPECT_EQ(mime.find("Content-Type: text/html") != std::string::npos, c.html) << c.name << "\n"
                                                                                     << mime;
    }
}

TEST(BodyChoice, DamagedRtfGivesNoHtmlAndTheMessageStillConverts) {
    FakeMailItem item;
    item.values = {{PropStoreSupportMask, UnicodeStore},
                   {PropRtfInSync, int64_t{1}},
                   {PropBody, std::string("text")},
                   {PropRtfCompressed, std::string("\x20\0\0\0\x40\0\0\0LZFu\x01\x02\x03\x04garbage", 24)}};
    std::string mime = Converted(item);
    EXPECT_NE(mime.find("Content-Type: text/plain; charset=utf-8;"), std::string::npos) << mime;
    EXPECT_EQ(mime.find("text/html"), std::string::npos) << mime;
}
