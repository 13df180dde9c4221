// The whole engine: ImportWorker imports a PST file made by pstgen into the reference server, and the
// server's content is compared with the source item by item: folder paths, subjects, flag letters,
// tags from categories, dates and MIME bytes. A second run of the same job adds nothing.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "mapi/IItemHandler.h"
#include "mapi/MailConverter.h"
#include "mapi/MailboxScanner.h"
#include "mapi/Session.h"
#include "mapi/Store.h"
#include "mapi/TemporaryProfile.h"
#include "mapi/platform/MapiInterfaces.h"
#include "mime/Message.h"
#include "runtime/ImportParams.h"
#include "tests/import/EngineTestSupport.h"
#include "tests/import/ImportJob.h"
#include "tests/support/ReferenceServer.h"

namespace {

using TestSupport::ReferenceServer;
using TestSupport::TempDir;

constexpr const char* account = "user@example.com";

constexpr const char* description = R"({
  "store": {"name": "End to end"}, "seed": 42, "pad": false,
  "folders": [
    {"name": "Inbox", "messages": [
      {"subject": "Unread report", "body": "First body", "from": {"name": "Alice", "email": "alice@example.com"},
       "to": ["user@example.com"], "sent": "2024-03-01T10:00:00Z", "received": "2024-03-01T10:01:00Z", "read": false,
       "properties": {"named:PS_PUBLIC_STRINGS:Keywords:PT_MV_UNICODE": ["Red category", "Work/Urgent", "red CATEGORY"]}},
      {"subject": "Replied and flagged", "body": "b", "from": "bob@example.com", "to": ["user@example.com"],
       "sent": "2024-03-02T10:00:00Z", "received": "2024-03-02T10:00:30Z",
       "properties": {"0x10810003": 102, "0x10900003": 2}},
      {"subject": "Forwarded", "body": "c", "from": "carol@example.com", "to": ["user@example.com"],
       "sent": "2024-03-03T10:00:00Z", "received": "2024-03-03T10:00:30Z", "properties": {"0x10810003": 104},
       "attachments": [{"filename": "data.bin", "data": {"size": 20000, "pattern": "0123456789"}}]}],
     "folders": [{"name": "Projects", "messages": [
       {"subject": "Nested", "body": "d", "from": "dave@example.com", "received": "2024-03-04T10:00:00Z"}]}]},
    {"name": "Sent Items", "messages": [
      {"subject": "Sent by me", "body": "e", "to": ["alice@example.com"], "sent": "2024-03-05T10:00:00Z",
       "received": "2024-03-05T10:00:01Z"}],
     "folders": [{"name": "Archive", "messages": [
       {"subject": "Archived sent", "body": "f", "to": ["bob@example.com"], "sent": "2024-03-06T10:00:00Z"}]}]},
    {"name": "Drafts", "messages": [{"subject": "Draft", "body": "g", "read": false, "unsent": true,
                                      "properties": {"PR_CREATION_TIME": "2024-03-07T10:00:00Z"}}]},
    {"name": "Junk E-mail", "messages": [{"subject": "Spam", "body": "h", "received": "2024-03-08T10:00:00Z"}],
     "folders": [{"name": "Old spam", "messages": [{"subject": "Older spam", "body": "i", "received": "2024-03-09T10:00:00Z"}]}]},
    {"name": "Deleted Items", "messages": [{"subject": "Deleted", "body": "j", "received": "2024-03-10T10:00:00Z"}]},
    {"name": "a/b", "messages": [{"subject": "Slash folder", "body": "k", "received": "2024-03-11T10:00:00Z"}]}
  ]})";

struct Expected {
    const char* subject;
    const char* folder;
    const char* flags;
    std::vector<std::string> tags;
    const char* dateUtc;
};

const std::vector<Expected> expected = {
    {"Unread report", "/Inbox", "u", {"Red category", "Work\\Urgent"}, "2024-03-01T10:01:00.000Z"},
    {"Replied and flagged", "/Inbox", "rf", {}, "2024-03-02T10:00:30.000Z"},
    {"Forwarded", "/Inbox", "w", {}, "2024-03-03T10:00:30.000Z"},
    {"Nested", "/Inbox/Projects", "", {}, "2024-03-04T10:00:00.000Z"},
    {"Sent by me", "/Sent", "s", {}, "2024-03-05T10:00:00.000Z"},
    {"Archived sent", "/Sent/Archive", "s", {}, "2024-03-06T10:00:00.000Z"},
    {"Draft", "/Drafts", "ud", {}, "2024-03-07T10:00:00.000Z"},
    {"Spam", "/Junk", "", {}, "2024-03-08T10:00:00.000Z"},
    {"Older spam", "/Junk", "", {}, "2024-03-09T10:00:00.000Z"},
    {"Deleted", "/Trash", "", {}, "2024-03-10T10:00:00.000Z"},
    {"Slash folder", "/a\\b", "", {}, "2024-03-11T10:00:00.000Z"},
};

// Boundaries are made afresh for every conversion; everything else must be the same bytes.
std::string WithoutBoundaries(std::string mime) {
    std::smatch match;
    std::vector<std::string> boundaries;
    std::string rest = mime;
    static const std::regex boundary("boundary=\"([^\"]+)\"");
    while (std::regex_search(rest, match, boundary)) {
        boundaries.push_back(match[1]);
        rest = match.suffix();
    }
    for (size_t i = 0; i < boundaries.size(); ++i) {
        for (size_t at; (at = mime.find(boundaries[i])) != std::string::npos;) {
            mime.replace(at, boundaries[i].size(), "BOUNDARY" + std::to_string(i));
        }
    }
    return mime;
}

// The MIME text of every mail item of the PST file by subject, converted as the import converts it.
class ConvertingHandler : public Tarvik::MAPI::IItemHandler {
  public:
    bool OnEnterFolder(Tarvik::MAPI::Folder& folder, Tarvik::MAPI::Folder&) override {
        folders.push_back(folder);
        return true;
    }
    void OnLeaveFolder(Tarvik::MAPI::Folder&) override {}
    void OnNewMessage(Tarvik::MAPI::Message& message, Tarvik::MAPI::Folder&) override {
        std::unique_ptr<mimepp::Message> mime = Tarvik::MAPI::ConvertMailToMime(message);
        std::ostringstream text;
        Tarvik::MAPI::WriteMime(*mime, text);
        const SPropValue* subject = message.Property(Tarvik::MAPI::MessageProp::Subject);
        converted[subject != nullptr ? subject->AsText() : ""] = text.str();
    }
    void OnNewContact(Tarvik::MAPI::Message&, Tarvik::MAPI::Folder&) override {}
    void OnNewAppointmentOrTask(Tarvik::MAPI::Message&, Tarvik::MAPI::Folder&) override {}
    void OnNewMeetingMessage(Tarvik::MAPI::Message& m, Tarvik::MAPI::Folder& f) override {
        OnNewMessage(m, f);
    }

    std::vector<Tarvik::MAPI::Folder> folders;
    std::map<std::string, std::string> converted;
};

std::map<std::string, std::string> ConvertSource(const std::string& pstPath) {
    ConvertingHandler handler;
    MAPIInitialize(MAPI_MULTITHREAD_NOTIFICATIONS);
    EXPECT_TRUE(Tarvik::MAPI::CreateTemporaryProfile(pstPath, true));
    GetImportParams().profileName = GetImportParams().tempProfileName;
    {
        Tarvik::MAPI::Session session;
        session.Logon(GetImportParams().profileName);
        Tarvik::MAPI::Store store;
        session.OpenDefaultStore(store);
        Tarvik::MAPI::MailboxScanner folderWalk(true);
        Tarvik::MAPI::ScanFolders(store, folderWalk, *session.Get(), handler);
        Tarvik::MAPI::MailboxScanner scanner;
        scanner.Scan(*session.Get(), store, handler, handler.folders);
    }
    Tarvik::MAPI::DeleteTemporaryProfile();
    MAPIUninitialize();
    return handler.converted;
}

class EndToEndTest : public ::testing::Test {
  protected:
    explicit EndToEndTest(std::string scenario = {})
        : server(TestSupport::ReferenceServerOptions{.scenario = std::move(scenario)}) {
        setenv("TVKIMPORT_REGISTRY", (scratch / "registry").c_str(), 1);
        TestSupport::WriteFile(scratch / "mailbox.json", description);
        TestSupport::CommandResult made =
            TestSupport::RunCommand({(TestSupport::BinaryDir() / "tools/pstgen").string(),
                                     (scratch / "mailbox.json").string(), pstPath});
        EXPECT_EQ(made.exitCode, 0) << made.err;
        options.pstPath = pstPath;
        options.port = server.Port();
        options.workDirectory = work.Path();
    }

    TempDir scratch;
    TempDir work;
    std::string pstPath = (scratch / "mailbox.pst").string();
    ReferenceServer server;
    EngineTest::JobOptions options;
    EngineTest::RecordingProgress progress;
    EngineTest::CapturedLog log;
};

TEST_F(EndToEndTest, ServerHoldsEveryMailItemAsTheSourceHasItAndARepeatedRunAddsNothing) {
    ASSERT_TRUE(EngineTest::RunImportJob(options, progress));
    EXPECT_TRUE(progress.errors.empty()) << progress.errors.front();
    EXPECT_EQ(progress.warnings, std::vector<std::string>{"Sub Folders for JunkMail will not be created."});

    nlohmann::ordered_json dump = server.Dump(account);
    std::map<std::string, nlohmann::ordered_json> stored;
    for (const auto& message : dump["messages"]) {
        EXPECT_EQ(stored.count(message["subject"]), 0u) << "twice: " << message["subject"];
        stored[message["subject"]] = message;
    }
    ASSERT_EQ(stored.size(), expected.size());
    std::map<std::string, std::string> source = ConvertSource(pstPath);
    for (const Expected& item : expected) {
        SCOPED_TRACE(item.subject);
        const nlohmann::ordered_json& message = stored[item.subject];
        EXPECT_EQ(message["folder"], item.folder);
        EXPECT_EQ(message["flags"], item.flags);
        EXPECT_EQ(message["tags"], nlohmann::ordered_json(item.tags));
        EXPECT_EQ(message["dateUtc"], item.dateUtc);
        ASSERT_TRUE(message.contains("mime"));
        EXPECT_EQ(WithoutBoundaries(message["mime"]), WithoutBoundaries(source[item.subject]));
    }

    ASSERT_TRUE(EngineTest::RunImportJob(options, progress));
    EXPECT_EQ(server.Dump(account, false)["messages"].size(), expected.size());
    EXPECT_TRUE(log.Contains("(MI):     Number of items skipped      : 11 items"));
    EXPECT_TRUE(log.Contains("(MI):     Number of items attempted    : 0 items"));
}

class RefusingServerTest : public EndToEndTest {
  protected:
    RefusingServerTest()
        : EndToEndTest(
              R"({"rules": [{"operation": "AddMsgRequest", "action": "fault", "code": "mail.QUOTA_EXCEEDED", "reason": "full"}]})") {
    }
};

TEST_F(RefusingServerTest, LimitReachedByTheFinalBatchCostsAnAttemptUntilTheJobGivesUp) {
    GetImportParams().errorThreshold = 3;
    ASSERT_TRUE(EngineTest::RunImportJob(options, progress));

    EXPECT_TRUE(server.Dump(account, false)["messages"].empty());
    std::vector<std::string> lines = log.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "(MI): Executing batch request"), 4)
        << "one batch per attempt";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Too many items failed, exiting"), 1);
    EXPECT_TRUE(log.Contains("(MI):     Import stats"));
    EXPECT_TRUE(
        log.Contains("(MI):     Number of Errors             : " + std::to_string(progress.errors.size())));
    // Three failed items stop each reconciliation; the limit fault ends each attempt.
    EXPECT_EQ(
        std::count(progress.errors.begin(), progress.errors.end(), "Message processing error limit reached"),
        4);
    EXPECT_EQ(std::count_if(progress.errors.begin(), progress.errors.end(),
                            [](const std::string& e) { return e.starts_with("Unable to add message"); }),
              12);
    size_t copies = 0;
    for (const auto& entry : std::filesystem::directory_iterator(work.Path())) {
        copies += entry.path().extension() == ".msg" && std::filesystem::file_size(entry.path()) > 0;
    }
    EXPECT_EQ(copies, 12u) << "a message file of every failed item";
}

}  // namespace
