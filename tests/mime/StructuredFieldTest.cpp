// Structured field bodies: generated boundaries and message identifiers, and reading media types,
// dispositions and addresses from text (the assembled forms are in the golden files).

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "mime/Mime.h"

namespace {

TEST(CreateBoundary, MakesDistinct45CharacterBoundariesWithTheLevel) {
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        mimepp::MediaType type;
        type.SetText("multipart/mixed");
        type.CreateBoundary(i % 3 == 0 ? 0 : 107);
        std::string boundary = type.GetBoundary().Str();
        ASSERT_EQ(boundary.size(), 45u) << boundary;
        ASSERT_TRUE(
            std::regex_match(boundary, std::regex(R"(------------Boundary-(00|07)=_[0-9A-Za-z$%]{20})")))
            << boundary;
        ASSERT_TRUE(seen.insert(boundary).second) << "repeated " << boundary;
    }
}

TEST(CreateBoundary, ReplacesTheBoundaryAndMovesItToAContinuationLine) {
    mimepp::Message message;
    mimepp::MediaType& type = message.Headers().ContentType();
    type.SetText("multipart/mixed; boundary=old; charset=x");
    type.Parse();
    type.CreateBoundary(0);
    message.Assemble();
    std::string text = message.AsString().Str();
    std::smatch match;
    ASSERT_TRUE(
        std::regex_match(text, match,
                         std::regex("Content-Type: multipart/mixed;\r\n  boundary=\"(.{45})\"; charset=x\r\n"
                                    "\r\n\r\n--(.{45})--\r\n")))
        << text;
    EXPECT_EQ(match[1], match[2]);
}

TEST(MsgId, CreatesDistinctDefaultIdentifiers) {
    mimepp::Message message;
    message.Headers().MessageId().CreateDefault();
    message.Assemble();
    std::string first = message.AsString().Str();
    message.Headers().MessageId().CreateDefault();
    message.Assemble();
    std::regex form("Message-ID: <[0-9A-F]{8}\\.[0-9A-F]{6}\\.[0-9A-F]{5}@unknown\\.host>\r\n\r\n");
    EXPECT_TRUE(std::regex_match(first, form)) << first;
    EXPECT_TRUE(std::regex_match(message.AsString().Str(), form));
    EXPECT_NE(message.AsString(), first);
}

TEST(MsgId, ReadsDamagedBracketsWithoutCarryingThemIntoTheDomain) {
    struct Case {
        std::string text, local, domain;
    } cases[] = {
        {"<4F2A.1@example.com>", "4F2A.1", "example.com"},
        {"4F2A.1@example.com", "4F2A.1", "example.com"},
        {"4F2A.1@example.com>", "4F2A.1", "example.com"},
        {"<4F2A.1@example.com", "4F2A.1", "example.com"},
        {"junk <4F2A.1@example.com> (comment)", "4F2A.1", "example.com"},
    };
    for (const Case& c : cases) {
        mimepp::Message message;
        mimepp::MsgId& id = message.Headers().MessageId();
        id.SetText(c.text);
        EXPECT_EQ(id.LocalPart(), c.local) << c.text;
        EXPECT_EQ(id.Domain(), c.domain) << c.text;
        id.SetModified();
        message.Assemble();
        EXPECT_EQ(message.AsString(), "Message-ID: <" + c.local + "@" + c.domain + ">\r\n\r\n") << c.text;
    }
}

TEST(MediaType, ParsesToleratingWhatTheWildWrites) {
    struct Case {
        std::string text;
        std::string type, subtype;
        mimepp::TypeCode code;
        std::vector<std::pair<std::string, std::string>> parameters;
    } cases[] = {
        {"Text/HTML; Charset=\"utf-8\"", "Text", "HTML", mimepp::TypeCode::Text, {{"Charset", "utf-8"}}},
        {"text/plain; charset=windows-1252;",
         "text",
         "plain",
         mimepp::TypeCode::Text,
         {{"charset", "windows-1252"}}},
        {"multipart/mixed;\r\n  boundary=\"----=_NextPart \\\"x\\\"\"",
         "multipart",
         "mixed",
         mimepp::TypeCode::Multipart,
         {{"boundary", "----=_NextPart \"x\""}}},
        {"multipart/related; boundary=----=_Part_0_1.2; type=\"text/html\"",
         "multipart",
         "related",
         mimepp::TypeCode::Multipart,
         {{"boundary", "----=_Part_0_1.2"}, {"type", "text/html"}}},
        {"application/x-thing (a comment) ; name = report.pdf",
         "application",
         "x-thing",
         mimepp::TypeCode::Application,
         {{"name", "report.pdf"}}},
        {"text", "text", "", mimepp::TypeCode::Text, {}},
        {"text/plain; flag; =novalue; ;", "text", "plain", mimepp::TypeCode::Text, {{"flag", ""}}},
        {"model/vrml", "model", "vrml", mimepp::TypeCode::Model, {}},
        {"x-custom/thing", "x-custom", "thing", mimepp::TypeCode::Unknown, {}},
        {"", "", "", mimepp::TypeCode::None, {}},
        {"; filename=\"unterminated", "", "", mimepp::TypeCode::None, {{"filename", "unterminated"}}},
    };
    for (const Case& c : cases) {
        mimepp::MediaType type;
        type.SetText(c.text);
        type.Parse();
        EXPECT_EQ(type.Type(), c.type) << c.text;
        EXPECT_EQ(type.Subtype(), c.subtype) << c.text;
        EXPECT_EQ(static_cast<int>(type.TypeCode()), static_cast<int>(c.code)) << c.text;
        std::vector<std::pair<std::string, std::string>> parameters;
        for (size_t i = 0; i < type.NumParameters(); ++i) {
            parameters.emplace_back(type.ParameterAt(i).Attribute().Str(), type.ParameterAt(i).Value().Str());
        }
        EXPECT_EQ(parameters, c.parameters) << c.text;
        EXPECT_EQ(type.AsString(), c.text) << "parsing never changes the text";
    }
}

TEST(MediaType, ParsesTextSetWithoutAnExplicitParse) {
    mimepp::MediaType type;
    type.SetText("multipart/alternative; boundary=abc");
    EXPECT_EQ(type.GetBoundary(), "abc");
    EXPECT_EQ(type.TypeCode(), mimepp::TypeCode::Multipart);
    type.FromString("text/plain; charset=us-ascii");
    type.SetSubtype("html");
    type.Assemble();
    EXPECT_EQ(type.AsString(), "text/html; charset=us-ascii");
}

TEST(DispositionType, ReadsTheTypeAndTheFilename) {
    struct Case {
        std::string text;
        mimepp::DispositionCode code;
        std::string filename;
    } cases[] = {
        {"attachment; filename=\"a b.txt\"", mimepp::DispositionCode::Attachment, "a b.txt"},
        {"INLINE; FileName=x.png", mimepp::DispositionCode::Inline, "x.png"},
        {"form-data; name=x", mimepp::DispositionCode::Unknown, ""},
        {"; filename=orphan.txt", mimepp::DispositionCode::None, "orphan.txt"},
    };
    for (const Case& c : cases) {
        mimepp::DispositionType disposition;
        disposition.SetText(c.text);
        EXPECT_EQ(static_cast<int>(disposition.TypeCode()), static_cast<int>(c.code)) << c.text;
        EXPECT_EQ(disposition.GetFilename(), c.filename) << c.text;
    }
}

struct ReadMailbox {
    std::string name, route, local, domain;
    bool operator==(const ReadMailbox&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ReadMailbox& m) {
    return out << "[" << m.name << "|" << m.route << "|" << m.local << "|" << m.domain << "]";
}

ReadMailbox Read(const mimepp::Mailbox& mailbox) {
    return {mailbox.DisplayName().DecodedText(), mailbox.Route().Str(), mailbox.LocalPart().Str(),
            mailbox.Domain().Str()};
}

TEST(AddressList, ParsesMailboxesAndGroups) {
    struct Case {
        std::string text;
        std::vector<std::vector<ReadMailbox>> addresses;  // a group holds several mailboxes
        std::vector<std::string> groups;
    } cases[] = {
        {"\"Smith, John\" <john@example.com>, John Q. Public <jqp@example.com>",
         {{{"Smith, John", "", "john", "example.com"}}, {{"John Q. Public", "", "jqp", "example.com"}}},
         {"", ""}},
        {"plain@example.com, (comment) other@example.com (Other)",
         {{{"", "", "plain", "example.com"}}, {{"", "", "other", "example.com"}}},
         {"", ""}},
        {"=?UTF-8?Q?M=C3=BCller=2C?= =?UTF-8?Q?_Hans?= <hans@example.com>",
         {{{"M\xc3\xbcller, Hans", "", "hans", "example.com"}}},
         {""}},
        {"<@relay.example:user@example.com>", {{{"", "@relay.example", "user", "example.com"}}}, {""}},
        {"Team: a@example.com, \"B, C\" <b@example.com>;, d@example.com",
         {{{"", "", "a", "example.com"}, {"B, C", "", "b", "example.com"}}, {{"", "", "d", "example.com"}}},
         {"Team", ""}},
        {"Empty Group:;", {{}}, {"Empty Group"}},
        {" , ,x@y,, ", {{{"", "", "x", "y"}}}, {""}},
        {"\"john..doe\"@example.com", {{{"", "", "\"john..doe\"", "example.com"}}}, {""}},
        {"Name <no-domain>", {{{"Name", "", "no-domain", ""}}}, {""}},
        {"\"unterminated <x@y>", {{{"", "", "\"unterminated <x@y>", ""}}}, {""}},
    };
    for (const Case& c : cases) {
        mimepp::AddressList list;
        list.SetText(c.text);
        std::vector<std::vector<ReadMailbox>> addresses;
        std::vector<std::string> groups;
        for (size_t i = 0; i < list.NumAddresses(); ++i) {
            std::vector<ReadMailbox> mailboxes;
            if (auto* group = dynamic_cast<mimepp::Group*>(&list.AddressAt(i))) {
                groups.push_back(group->GroupName().Str());
                for (size_t j = 0; j < group->MailboxList().NumMailboxes(); ++j) {
                    mailboxes.push_back(Read(group->MailboxList().MailboxAt(j)));
                }
            } else {
                groups.emplace_back();
                mailboxes.push_back(Read(dynamic_cast<mimepp::Mailbox&>(list.AddressAt(i))));
            }
            addresses.push_back(mailboxes);
        }
        EXPECT_EQ(addresses, c.addresses) << c.text;
        EXPECT_EQ(groups, c.groups) << c.text;
    }
}

TEST(Mailbox, DamagedAddressPartsCannotSwallowTheFollowingAddresses) {
    struct Case {
        std::string name, local, domain;
        std::string written;
    } cases[] = {
        {"", "john.q.public", "example.com", "<john.q.public@example.com>"},
        {"", "john..doe", "example.com", "<john..doe@example.com>"},
        {"", "\"quoted local\"", "example.com", "<\"quoted local\"@example.com>"},
        {"", "john \"jack", "example.com", "<\"john \\\"jack\"@example.com>"},
        {"", "a,b>c", "example.com", "<\"a,b>c\"@example.com>"},
        {"", "x", "exa mple>com", "<x@[exa mple>com]>"},
        {"", "x", "[10.0.0.1]", "<x@[10.0.0.1]>"},
        {"Bell\x07Ring", "x", "example.com", "\"Bell\x07Ring\" <x@example.com>"},
    };
    for (const Case& c : cases) {
        mimepp::Message message;
        mimepp::AddressList& to = message.Headers().ReplyTo();
        auto damaged = std::make_unique<mimepp::Mailbox>();
        damaged->SetDisplayName(c.name, "UTF-8");
        damaged->SetLocalPart(c.local);
        damaged->SetDomain(c.domain);
        to.AddAddress(std::move(damaged));
        auto next = std::make_unique<mimepp::Mailbox>();
        next->SetLocalPart("next");
        next->SetDomain("example.com");
        to.AddAddress(std::move(next));
        message.Assemble();
        EXPECT_EQ(message.AsString(), "Reply-To: " + c.written + ", <next@example.com>\r\n\r\n");

        mimepp::AddressList parsed;
        parsed.SetText(c.written + ", <next@example.com>");
        ASSERT_EQ(parsed.NumAddresses(), 2u) << c.written;
        EXPECT_EQ(dynamic_cast<mimepp::Mailbox&>(parsed.AddressAt(1)).LocalPart(), "next");
        EXPECT_EQ(dynamic_cast<mimepp::Mailbox&>(parsed.AddressAt(0)).DisplayName().DecodedText(), c.name);
    }
}

TEST(Mailbox, AssignmentTakesOverThePartsAndKeepsThePlaceInTheTree) {
    mimepp::Message message;
    message.Headers().Sender().SetText("Old <old@example.com>");
    mimepp::Mailbox replacement;
    replacement.SetDisplayName("New Name", "UTF-8");
    replacement.SetLocalPart("new");
    replacement.SetDomain("example.com");
    message.Headers().Sender() = replacement;
    message.Assemble();
    EXPECT_EQ(message.AsString(), "Sender: New Name <new@example.com>\r\n\r\n");
    EXPECT_EQ(replacement.Parent(), nullptr);
}

}  // namespace
