// Batches against the reference server: when a batch is sent, and how every queued item's result
// is reconciled (progress log, reports, dumps, copies, the consecutive-failure limit).

#include "import/ItemBatch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "runtime/ImportParams.h"
#include "runtime/Text.h"
#include "tarvik/MessageStream.h"
#include "tarvik/TarvikException.h"
#include "tarvik/TarvikFaults.h"
#include "tests/import/EngineTestSupport.h"
#include "tests/support/ReferenceServer.h"

namespace {

using TestSupport::ReferenceServer;
using TestSupport::ReferenceServerOptions;
using TestSupport::TempDir;

constexpr FileTimeTicks second = 10'000'000;
constexpr const char* account = "user@example.com";

class ManualClock : public BatchClock {
  public:
    FileTimeTicks Now() const override { return now; }
    FileTimeTicks now = 1'000'000 * second;
};

class RecordingCopier : public IFailedItemCopier {
  public:
    void CopyFailedItem(const PendingItem& item, int32_t dumpNumber) override {
        copies.push_back(item.searchKey + "@" + std::to_string(dumpNumber));
    }
    std::vector<std::string> copies;
};

std::string Mime(int index, size_t bodySize) {
    return "Subject: item " + std::to_string(index) + "\r\nMessage-ID: <" + std::to_string(index) +
           "@example.com>\r\n\r\n" + std::string(bodySize, 'x') + "\r\n";
}

class ItemBatchTest : public ::testing::Test {
  protected:
    explicit ItemBatchTest(std::string scenario = {}, std::optional<bool> noBatch = false)
        : server(ReferenceServerOptions{.scenario = std::move(scenario)}),
          params(Params(work, progress)),
          mailbox(server.Host(), static_cast<uint32_t>(server.Port()), false, false) {
        mailbox.Authenticate(account, "secret");
        progressLog.OpenForImport(params, progressLogSalt, "mail");
        batch.emplace(mailbox, params, account, progressLog, statistics, copier, clock, noBatch);
        batch->Begin();
    }
    ~ItemBatchTest() override { params.progress = nullptr; }

    static ImportParams& Params(const TempDir& work, EngineTest::RecordingProgress& progress) {
        LoadTextTable(TextLanguage::Default);
        ImportParams& params = GetImportParams();
        ResetImportParams(params);
        params.workDirectory = work.Path();
        params.serverName = "127.0.0.1";
        params.targetAccount = account;
        params.errorThreshold = 3;
        params.progress = &progress;
        return params;
    }

    // Uploads and queues one message, as the item adder does, and runs the flush check.
    void Queue(int index, size_t bodySize = 100) {
        std::string mime = Mime(index, bodySize);
        Tarvik::Mail::MemoryMessageStream stream(mime);
        int64_t requestId = mailbox.AddMessage(stream, 2, "", {}, 0, std::nullopt);
        batch->Add(
            {requestId, ItemKind::Mail, "entry" + std::to_string(index), "key" + std::to_string(index)},
            static_cast<int32_t>(mime.size()));
        batch->FlushIfDue(false);
    }

    size_t StoredMessages() const { return server.Dump(account, false)["messages"].size(); }

    // The keys the progress log holds on disk.
    std::vector<std::string> Recorded() const {
        std::string bytes = TestSupport::ReadFile(progressLog.Path());
        std::vector<std::string> keys;
        for (size_t pos = 0; pos + 4 <= bytes.size();) {
            size_t length = static_cast<unsigned char>(bytes[pos]);
            keys.push_back(bytes.substr(pos + 4, length));
            pos += 4 + length;
        }
        return keys;
    }

    ReferenceServer server;
    TempDir work;
    EngineTest::RecordingProgress progress;
    EngineTest::CapturedLog log;
    ImportParams& params;
    Tarvik::Mail::Mailbox mailbox;
    ProgressLog progressLog;
    ImportStatistics statistics;
    RecordingCopier copier;
    ManualClock clock;
    std::optional<ItemBatch> batch;
};

TEST_F(ItemBatchTest, ThirtyThirdRequestSendsTheBatchAndConfirmedItemsAreDurableAtOnce) {
    for (int i = 0; i < 32; ++i) {
        Queue(i);
    }
    EXPECT_EQ(statistics.batches, 0);
    EXPECT_EQ(StoredMessages(), 0u);
    Queue(32);
    EXPECT_EQ(statistics.batches, 1);
    EXPECT_EQ(StoredMessages(), 33u);
    EXPECT_EQ(Recorded().size(), 33u) << "records reach the disk before the next batch starts";
    EXPECT_EQ(statistics.itemsAttempted, 33);
    EXPECT_EQ(statistics.largestBatchItems, 33);
    EXPECT_EQ(batch->PendingCount(), 0u);
    EXPECT_TRUE(progress.errors.empty());
}

TEST_F(ItemBatchTest, MessageOfSeventyThousandBytesIsSentRightAfterQueueing) {
    Queue(0, 70'000);
    EXPECT_EQ(statistics.batches, 1);
    EXPECT_EQ(StoredMessages(), 1u);
    EXPECT_GT(statistics.largestBatchBytes, 70'000);
}

TEST_F(ItemBatchTest, BatchOlderThanFiveMinutesIsSentWithTheNextItem) {
    Queue(0);
    clock.now += 302 * second;
    Queue(1);
    EXPECT_EQ(statistics.batches, 0) << "302 seconds are within the limit of 302.4";
    clock.now += 1 * second;
    Queue(2);
    EXPECT_EQ(statistics.batches, 1);
    EXPECT_EQ(StoredMessages(), 3u);
}

TEST_F(ItemBatchTest, FinalFlushSendsWhatIsLeftAndAnEmptyBatchOnlyWhenOld) {
    Queue(0);
    batch->FlushIfDue(true);
    EXPECT_EQ(statistics.batches, 1);
    EXPECT_EQ(StoredMessages(), 1u);
    batch->FlushIfDue(true);
    EXPECT_EQ(statistics.batches, 1) << "nothing pending, nothing sent";
    clock.now += 303 * second;
    batch->FlushIfDue(true);
    EXPECT_EQ(statistics.batches, 2);
    EXPECT_EQ(statistics.itemsAttempted, 1);
}

class NoBatchTest : public ItemBatchTest {
  protected:
    NoBatchTest() : ItemBatchTest({}, true) {}
};

TEST_F(NoBatchTest, EveryItemIsSentOnItsOwnAndNotCountedAsAttempted) {
    Queue(0);
    Queue(1);
    EXPECT_EQ(statistics.batches, 2);
    EXPECT_EQ(StoredMessages(), 2u);
    EXPECT_EQ(statistics.itemsAttempted, 0);
    EXPECT_EQ(Recorded().size(), 2u);
}

class WholeBatchFaultTest : public ItemBatchTest {
  protected:
    WholeBatchFaultTest()
        : ItemBatchTest(
              R"({"rules": [{"operation": "BatchRequest", "occurrence": 1, "action": "fault", "code": "service.FAILURE", "reason": "down"}]})") {
    }
};

TEST_F(WholeBatchFaultTest, CostsOneErrorAndEveryItemIsCopiedButNotRecorded) {
    Queue(0);
    Queue(1);
    batch->FlushIfDue(true);
    ASSERT_EQ(progress.errors.size(), 1u);
    EXPECT_TRUE(progress.errors[0].starts_with("BatchRequest caused soap fault service.FAILURE "));
    EXPECT_TRUE(progress.errors[0].ends_with(".2 items were not imported"));
    EXPECT_EQ(batch->ErrorCount(), 1);
    EXPECT_EQ(copier.copies, (std::vector<std::string>{"key0@0", "key1@0"}));
    EXPECT_TRUE(Recorded().empty());
    EXPECT_TRUE(log.Contains("(MI): 2 items were not imported to the server"));

    Queue(2);  // the next batch is a fresh one
    batch->FlushIfDue(true);
    EXPECT_EQ(Recorded(), std::vector<std::string>{"key2"});
    EXPECT_EQ(batch->ErrorCount(), 0);
}

class ItemFaultTest : public ItemBatchTest {
  protected:
    ItemFaultTest()
        : ItemBatchTest(R"({"rules": [
            {"operation": "AddMsgRequest", "requestId": "1", "action": "fault", "code": "mail.QUOTA_EXCEEDED", "reason": "full"},
            {"operation": "AddMsgRequest", "requestId": "2", "action": "fault", "code": "mail.QUOTA_EXCEEDED", "reason": "full"},
            {"operation": "AddMsgRequest", "requestId": "5", "action": "fault", "code": "mail.QUOTA_EXCEEDED", "reason": "full"},
            {"operation": "AddMsgRequest", "requestId": "6", "action": "fault", "code": "mail.QUOTA_EXCEEDED", "reason": "full"},
            {"operation": "AddMsgRequest", "requestId": "7", "action": "fault", "code": "mail.QUOTA_EXCEEDED", "reason": "full"}]})") {
    }
};

TEST_F(ItemFaultTest, FailedItemsAreReportedDumpedAndCopiedWhileTheOthersAreRecorded) {
    params.messageLogging = true;
    for (int i = 0; i < 4; ++i) {
        Queue(i);
    }
    batch->FlushIfDue(true);
    EXPECT_EQ(Recorded(), (std::vector<std::string>{"key0", "key3"}));
    EXPECT_EQ(progress.errors,
              (std::vector<std::string>{"Unable to add message 1: full", "Unable to add message 2: full"}));
    EXPECT_EQ(batch->ErrorCount(), 0) << "the success of item 3 resets the count";
    EXPECT_EQ(copier.copies, (std::vector<std::string>{"key1@1", "key2@2"}));
    for (const char* dump : {"2-request.xml", "2-response.xml", "3-request.xml", "3-response.xml"}) {
        EXPECT_TRUE(std::filesystem::exists(work / dump)) << dump;
    }
    std::vector<std::string> kept;
    for (const auto& entry : std::filesystem::directory_iterator(work.Path())) {
        if (entry.path().extension() == ".eml") {
            kept.push_back(entry.path().filename());
        }
    }
    EXPECT_EQ(kept.size(), 2u) << "only the uploads of failed items are kept";
    EXPECT_TRUE(mailbox.DumpedMessages.empty());
}

TEST_F(ItemFaultTest, ThirdConsecutiveFailureStopsReconcilingAndRaisesTheLimit) {
    for (int i = 0; i < 4; ++i) {
        Queue(i);
    }
    batch->FlushIfDue(true);  // 0 ok, 1 and 2 fail, 3 ok: the count is back to 0
    for (int i = 4; i < 9; ++i) {
        Queue(i);
    }
    try {
        batch->FlushIfDue(true);  // 4 ok, then 5, 6, 7 fail: stop before 8
        FAIL() << "no limit fault";
    } catch (const Tarvik::TarvikException& fault) {
        EXPECT_EQ(fault.Code(), "error_threshold_reached");
        EXPECT_EQ(fault.Message(), "Message processing error limit reached");
    }
    EXPECT_EQ(Recorded(), (std::vector<std::string>{"key0", "key3", "key4"}));
    EXPECT_EQ(StoredMessages(), 4u) << "item 8 reached the server but was never confirmed";
    EXPECT_EQ(batch->PendingCount(), 0u);
}

TEST_F(ItemFaultTest, ZeroThresholdNeverRaisesTheLimit) {
    params.errorThreshold = 0;
    for (int i = 0; i < 8; ++i) {
        Queue(i);
    }
    EXPECT_NO_THROW(batch->FlushIfDue(true));
    EXPECT_EQ(batch->ErrorCount(), 3);
    EXPECT_EQ(Recorded(), (std::vector<std::string>{"key0", "key3", "key4"}));
}

class EmptyContactTest : public ItemBatchTest {
  protected:
    EmptyContactTest()
        : ItemBatchTest(R"({"rules": [
            {"operation": "CreateContactRequest", "requestId": "0", "action": "fault", "code": "service.INVALID_REQUEST", "reason": "invalid request: contact must have fields"},
            {"operation": "CreateContactRequest", "requestId": "1", "action": "fault", "code": "service.INVALID_REQUEST", "reason": "**Error**:invalid request: contact must have fields"}]})") {
    }
};

TEST_F(EmptyContactTest, RefusedEmptyContactIsAWarningThatDoesNotCount) {
    for (int i = 0; i < 2; ++i) {
        int64_t requestId = mailbox.CreateContact({{"email", "a@example.com"}}, 7, {}, std::nullopt);
        batch->Add({requestId, ItemKind::Contact, "entry", "key" + std::to_string(i)}, 0);
    }
    batch->FlushIfDue(true);
    EXPECT_EQ(statistics.batches, 1) << "contacts carry no MIME bytes but are sent all the same";
    EXPECT_TRUE(progress.errors.empty());
    EXPECT_EQ(progress.warnings.size(), 2u);
    EXPECT_EQ(batch->ErrorCount(), 0);
    EXPECT_TRUE(Recorded().empty());
}

class ExpiringBatchTest : public ItemBatchTest {
  protected:
    explicit ExpiringBatchTest(int times = 1)
        : ItemBatchTest(R"({"rules": [{"operation": "BatchRequest", "occurrence": 1, "times": )" +
                        std::to_string(times) + R"(, "action": "expireSession"}]})") {}
};

TEST_F(ExpiringBatchTest, ExpiredSessionIsRenewedAndTheBatchSentAgain) {
    Queue(0);
    batch->FlushIfDue(true);
    EXPECT_EQ(Recorded(), std::vector<std::string>{"key0"});
    EXPECT_TRUE(progress.errors.empty());
}

class TwiceExpiringBatchTest : public ExpiringBatchTest {
  protected:
    TwiceExpiringBatchTest() : ExpiringBatchTest(2) {}
};

TEST_F(TwiceExpiringBatchTest, SecondExpiryFailsTheAttempt) {
    Queue(0);
    EXPECT_THROW(batch->FlushIfDue(true), Tarvik::TarvikServiceException::AuthExpired);
    EXPECT_TRUE(Recorded().empty());
}

}  // namespace
