#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "runtime/ImportParams.h"
#include "tarvik/AccountRequests.h"
#include "tarvik/BatchRequest.h"
#include "tarvik/MailRequests.h"
#include "tarvik/TarvikException.h"
#include "tests/tarvik/Golden.h"

namespace {

using namespace Tarvik::Rpc;
using TestSupport::ExpectGolden;

constexpr uint64_t unixEpoch = 116444736000000000;
// 2009-02-13 23:31:30.123 UTC
constexpr uint64_t someDate = unixEpoch + 12345678901230000;

struct GoldenCase {
    const char* file;
    std::function<std::unique_ptr<Request>()> build;
};

TEST(RequestXml, EveryRequestClassMatchesItsGoldenFile) {
    const GoldenCase cases[] = {
        {"auth.xml", [] { return std::make_unique<AuthRequest>("anna@example.com", "s3cret <&> \"x\""); }},
        {"admin-auth.xml", [] { return std::make_unique<AdminAuthRequest>("admin@example.com", "pw"); }},
        {"get-info.xml", [] { return std::make_unique<GetInfoRequest>(); }},
        {"get-folder.xml", [] { return std::make_unique<GetFolderRequest>(); }},
        {"get-tag.xml", [] { return std::make_unique<GetTagRequest>(); }},
        {"create-folder-mail.xml",
         [] { return std::make_unique<CreateFolderRequest>("Projekte & Ä", 1, FolderKind::Mail); }},
        {"create-folder-contacts.xml",
         [] { return std::make_unique<CreateFolderRequest>("People", 7, FolderKind::Contacts); }},
        {"create-folder-tasks.xml",
         [] { return std::make_unique<CreateFolderRequest>("To do", 15, FolderKind::Tasks); }},
        {"create-folder-other-kind.xml", [] { return std::make_unique<CreateFolderRequest>("Notes", 1, 2); }},
        {"create-tag.xml", [] { return std::make_unique<CreateTagRequest>("Urgent", 5); }},
        {"create-contact.xml",
         [] {
             ContactAttributes attributes = {{"firstName", "Anna"},           {"lastName", "Meier\x07Huber"},
                                             {"notes", "line 1\r\n\tline 2"}, {"company", ""},
                                             {"aid", "upload-7:1"},           {"email", "anna@example.com"}};
             return std::make_unique<CreateContactRequest>(attributes, 7, TagIds{3, 12});
         }},
        {"create-contact-image-only.xml",
         [] {
             return std::make_unique<CreateContactRequest>(ContactAttributes{{"aid", "a:b"}}, 7, TagIds{});
         }},
        {"add-message.xml",
         [] {
             return std::make_unique<AddMessageRequest>("u-1:2", 257, "sfu", TagIds{64, 65}, someDate);
         }},
        {"add-message-minimal.xml",
         [] { return std::make_unique<AddMessageRequest>("u-1:2", 2, "", TagIds{}, someDate); }},
        {"get-account.xml", [] { return std::make_unique<GetAccountRequest>("bob@example.com"); }},
        {"get-domain.xml", [] { return std::make_unique<GetDomainRequest>("example.com"); }},
    };
    for (const GoldenCase& golden : cases) {
        SCOPED_TRACE(golden.file);
        ExpectGolden(golden.file, golden.build()->Document().ToString());
    }
}

TEST(RequestXml, StampedHeaderHoldsEachElementOnceInStampingOrder) {
    GetFolderRequest request;
    request.SetTargetAccount(std::nullopt);  // no account: nothing stamped
    request.SetSessionId("1001");
    request.SetAuthToken("0_abc&def");
    request.SetSessionId("1002");
    request.SetTargetAccount("bob@example.com");
    // Re-stamping moves sessionId to the end, as the facade's order (session, token, account) wants.
    ExpectGolden("stamped.xml", request.Document().ToString());

    GetInfoRequest unauthenticated;
    unauthenticated.SetSessionId(std::nullopt);
    unauthenticated.SetAuthToken(std::nullopt);
    EXPECT_NE(unauthenticated.Document().ToString().find("<sessionId/><authToken/></context>"),
              std::string::npos);
}

TEST(RequestXml, BatchTagsRequestsByTheServerVersionsAttribute) {
    struct {
        const char* version;
        const char* attribute;
    } const cases[] = {
        {"4.5.10", "id"},     {"", "id"},          {"garbage", "id"}, {"5.0.9_GA", "requestId"},
        {"7.1", "requestId"}, {" 5", "requestId"}, {"4.99", "id"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        GetImportParams().serverVersion = c.version;
        BatchRequest batch;
        AddMessageRequest first("u:1", 2, "", {}, unixEpoch);
        AddMessageRequest second("u:2", 2, "", {}, unixEpoch);
        ASSERT_EQ(batch.AppendRequest(first, 0), 0);
        ASSERT_EQ(batch.AppendRequest(second, 1), 0);
        std::vector<Tarvik::Xml::Node> added = batch.Document().SelectNodes("//AddMsgRequest");
        ASSERT_EQ(added.size(), 2u);
        EXPECT_EQ(added[0].Attribute(c.attribute), "0");
        EXPECT_EQ(added[1].Attribute(c.attribute), "1");
        EXPECT_EQ(RequestIdAttribute(), c.attribute);
    }
}

TEST(RequestXml, BatchMovesRequestElementsAndLeavesEmptyEnvelopes) {
    GetImportParams().serverVersion = "8.0.0";
    BatchRequest batch;
    AddMessageRequest message("u-1:2", 257, "f", {64}, someDate);
    CreateContactRequest contact({{"firstName", "Bo\x01"}}, 7, {});
    ASSERT_EQ(batch.AppendRequest(message, 0), 0);
    ASSERT_EQ(batch.AppendRequest(contact, 1), 0);
    batch.SetSessionId("s");
    batch.SetAuthToken("t");
    ExpectGolden("batch.xml", batch.Document().ToString());

    EXPECT_FALSE(message.Document().SelectSingleNode("//soap:Body").FirstChild());
    EXPECT_NE(batch.AppendRequest(message, 2), 0) << "an emptied request cannot be appended again";
}

TEST(RequestXml, ContactWithoutValuesIsRefused) {
    for (const ContactAttributes& attributes :
         {ContactAttributes{}, ContactAttributes{{"firstName", ""}, {"aid", ""}}}) {
        try {
            CreateContactRequest request(attributes, 7, {});
            ADD_FAILURE() << "no exception";
        } catch (const Tarvik::TarvikException& error) {
            EXPECT_EQ(error.Code(), "contact_no_fields");
            EXPECT_EQ(error.Message(), "Contact has no fields.");
        }
    }
}

TEST(RequestXml, MessageDateIsMillisecondsSince1970TruncatedTowardZero) {
    struct {
        uint64_t fileTime;
        int64_t expected;
    } const cases[] = {{unixEpoch, 0},           {unixEpoch + 10000, 1},  {unixEpoch + 9999, 0},
                       {unixEpoch - 9999, 0},    {unixEpoch - 10000, -1}, {0, -11644473600000},
                       {someDate, 1234567890123}};
    for (const auto& c : cases) {
        EXPECT_EQ(FileTimeToUnixMilliseconds(c.fileTime), c.expected) << c.fileTime;
    }
}

TEST(RequestXml, CalendarFoldersCycleThroughEightColors) {
    // The only test that creates calendar folders, so the process's first one is this test's first.
    std::vector<std::string> colors;
    for (int i = 0; i < 9; ++i) {
        CreateFolderRequest request("Calendar " + std::to_string(i), 10, FolderKind::Calendar);
        if (i == 0) {
            ExpectGolden("create-folder-calendar.xml", request.Document().ToString());
        }
        colors.push_back(*request.Document().SelectSingleNode("//folder").Attribute("color"));
    }
    EXPECT_EQ(colors, (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "0", "1"}));
}

}  // namespace
