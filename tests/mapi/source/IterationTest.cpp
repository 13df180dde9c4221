// Folder and item iteration: the item restriction built from the job's options, batches of 50 and
// short batches, search folders skipped, and the kind and flag tests of a message.

#include <gtest/gtest.h>

#include <algorithm>

#include "mapi/FolderIterator.h"
#include "mapi/MessageIterator.h"
#include "mapi/platform/PropTags.h"
#include "tests/mapi/source/SourceFixture.h"

namespace {

using namespace Tarvik::MAPI;
using namespace SourceFixture;

constexpr uint64_t kJanuary2024 = 133485408000000000;  // 2024-01-01T00:00:00Z

std::string SortedSubjects(OpenedPst& pst, const std::string& folderPath) {
    Folder folder = FindFolder(pst.store, folderPath);
    MessageIterator items;
    folder.GetMessageIterator(items);
    std::vector<std::string> subjects;
    EntryId id;
    uint64_t sent = 0;
    std::string key;
    while (items.GetNextIds(id, sent, key)) {
        subjects.push_back(SubjectOf(*pst.session.Get(), id));
    }
    std::sort(subjects.begin(), subjects.end());
    std::string joined;
    for (const auto& s : subjects) {
        joined += (joined.empty() ? "" : ",") + s;
    }
    return joined;
}

TEST(MessageRestriction, SelectsKindsDatesAndCompleteDownloadsAsTheJobAsks) {
    struct Case {
        const char* name;
        void (*options)(ImportParams&);
        const char* folder;
        const char* expected;
    };
    auto dated = [](ImportParams& job) {
        job.dateFilterEnabled = true;
        job.startDate = kJanuary2024;
    };
    const Case cases[] = {
        {"every kind", [](ImportParams&) {}, "Inbox",
         "Bare class,Complete,Early,Keyless one,Keyless two,Late,Old,Partial,Posted"},
        {"mail off", [](ImportParams& job) { job.importMails = false; }, "Inbox", ""},
        {"every kind off",
         [](ImportParams& job) {
             job.importMails = job.importContacts = job.importTasks = job.importCalendar = false;
         },
         "Contacts", ""},
        {"calendar only",
         [](ImportParams& job) { job.importMails = job.importContacts = job.importTasks = false; },
         "Calendar", "Invitation,No uid one,Weekly"},
        {"tasks catch longer task classes too", [](ImportParams&) {}, "Tasks", "Not quite a task,Write it"},
        {"sent on or after the date", dated, "Inbox",
         "Bare class,Complete,Early,Keyless one,Keyless two,Late,Partial,Posted"},
        {"unsent items by creation time", dated, "Drafts", "Unsent draft"},
        {"contacts never by date", dated, "Contacts", "Bob,Team"},
        {"complete downloads only", [](ImportParams& job) { job.skipPartialMessages = true; }, "Inbox",
         "Bare class,Complete,Early,Keyless one,Keyless two,Late,Old,Posted"},
        {"contacts by kind and download, not date",
         [](ImportParams& job) {
             job.skipPartialMessages = true;
             job.dateFilterEnabled = true;
             job.startDate = UINT64_MAX / 2;
         },
         "Contacts", "Bob,Team"},
    };
    for (const auto& c : cases) {
        ResetJob();
        auto pst = Open(BuildPst("scan"));
        c.options(GetImportParams());
        EXPECT_EQ(SortedSubjects(*pst, c.folder), c.expected) << c.name;
    }
}

TEST(MessageRestriction, UnknownMarkerLeavesTheDownloadConditionOut) {
    ResetJob();
    ImportParams job;
    job.skipPartialMessages = true;
    job.partialDownloadPropTag = PR_NULL;
    SRestriction tree = BuildMessageRestriction(job, false);
    EXPECT_EQ(tree.rt, RES_OR) << "the kind condition alone";
    job.partialDownloadPropTag = PROP_TAG(PT_LONG, 0x8123);
    tree = BuildMessageRestriction(job, false);
    ASSERT_EQ(tree.rt, RES_AND);
    EXPECT_EQ(tree.children.size(), 2u);
}

// A table that hands out numbered rows and can leave rows out of one batch.
class NumberedTable : public IMAPITable {
  public:
    NumberedTable(uint32_t rows, size_t shortCall, uint32_t leftOut)
        : rows_(rows), shortCall_(shortCall), leftOut_(leftOut) {}
    HRESULT SetColumns(const SPropTagArray&, uint32_t) override { return S_OK; }
    HRESULT Restrict(const SRestriction*, uint32_t) override { return S_OK; }
    HRESULT SortTable(const SSortOrderSet&, uint32_t) override { return S_OK; }
    HRESULT GetRowCount(uint32_t, uint32_t& count) override {
        count = rows_;
        return S_OK;
    }
    HRESULT SeekRow(uint32_t, int32_t, int32_t*) override { return S_OK; }
    HRESULT QueryRows(int32_t count, uint32_t, SRowSet& rows) override {
        asked->push_back(count);
        rows.clear();
        uint32_t end = std::min<uint32_t>(rows_, position_ + static_cast<uint32_t>(count));
        for (uint32_t i = position_; i < end; ++i) {
            if (asked->size() - 1 != shortCall_ || i - position_ >= leftOut_) {
                rows.push_back(SRow{{SPropValue::Long(PR_ROWID, static_cast<int32_t>(i))}});
            }
        }
        position_ = end;
        return S_OK;
    }
    std::shared_ptr<std::vector<int32_t>> asked = std::make_shared<std::vector<int32_t>>();

  private:
    uint32_t rows_;
    size_t shortCall_;
    uint32_t leftOut_;
    uint32_t position_ = 0;
};

class RowIterator : public MapiTableIterator {
  protected:
    SPropTagArray Columns() const override { return {PR_ROWID}; }
    const SSortOrderSet* SortOrder() const override { return nullptr; }
    std::optional<SRestriction> Restriction(bool) const override { return std::nullopt; }
};

TEST(TableIterator, ReadsInBatchesOfFiftyAndCountsRowsTheTableLeftOut) {
    struct Case {
        const char* name;
        uint32_t rows;
        size_t shortCall;
        uint32_t leftOut;
        std::vector<int32_t> asked;
        int yielded;
        const char* warning;
    };
    const Case cases[] = {
        {"120 rows", 120, 99, 0, {50, 50, 20}, 120, nullptr},
        {"45 of the second 50",
         120,
         1,
         5,
         {50, 50, 20},
         115,
         "Could not retrieve all the items, 5 items would be skipped"},
        {"short last batch",
         120,
         2,
         3,
         {50, 50, 20},
         117,
         "Could not retrieve all the items, 3 items would be skipped"},
        {"empty table", 0, 99, 0, {50}, 0, nullptr},
    };
    for (const auto& c : cases) {
        RecordingProgress progress;
        ResetJob(&progress);
        auto table = std::make_unique<NumberedTable>(c.rows, c.shortCall, c.leftOut);
        auto asked = table->asked;
        RowIterator rows;
        rows.Init(std::move(table), nullptr);
        int yielded = 0;
        while (rows.NextRow() != nullptr) {
            ++yielded;
        }
        EXPECT_EQ(*asked, c.asked) << c.name;
        EXPECT_EQ(yielded, c.yielded) << c.name;
        EXPECT_EQ(progress.warnings,
                  c.warning ? std::vector<std::string>{c.warning} : std::vector<std::string>{})
            << c.name;
    }
}

TEST(FolderIteration, SkipsSearchFoldersAndReadsLargeFoldersWhole) {
    ResetJob();
    auto pst = Open(BuildPst("scan"));
    Folder root = FindFolder(pst->store, "");
    FolderIterator children;
    root.GetFolderIterator(children);
    std::vector<std::string> names;
    Folder child;
    while (children.GetNext(child)) {
        names.push_back(child.Name());
        EXPECT_TRUE(child.IsOpen());
    }
    EXPECT_EQ(std::count(names.begin(), names.end(), "Finder"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Bulk"), 1);

    Folder bulk = FindFolder(pst->store, "Bulk");
    MessageIterator items;
    bulk.GetMessageIterator(items);
    Message message(pst->session.Get());
    int count = 0;
    while (items.GetNext(message)) {
        ++count;
        EXPECT_TRUE(message.IsInitialised());
    }
    EXPECT_EQ(count, 120);
    EXPECT_FALSE(message.IsInitialised()) << "the end clears the message";
}

TEST(MessageKinds, ClassesAndFlagsDecideWhatAnItemIs) {
    ResetJob();
    auto pst = Open(BuildPst("scan"));
    std::map<std::string, std::string> kindsBySubject;
    std::map<std::string, std::vector<std::string>> keywords;
    for (const char* path : {"Inbox", "Inbox/Projects", "Drafts", "Calendar", "Contacts", "Tasks"}) {
        Folder folder = FindFolder(pst->store, path);
        MessageIterator items;
        folder.GetMessageIterator(items);
        Message m(pst->session.Get());
        while (items.GetNext(m)) {
            std::string kinds = std::string(m.IsMail() ? "mail " : "") + (m.IsContact() ? "contact " : "") +
                                (m.IsAppointment() ? "appointment " : "") + (m.IsTask() ? "task " : "") +
                                (m.IsMeetingMessage() ? "meeting " : "") + (m.IsUnread() ? "unread " : "") +
                                (m.IsUnsent() ? "unsent " : "") + (m.HasAttachments() ? "attachments " : "") +
                                (m.HasTextBody() ? "body " : "") + std::to_string(m.Recipients().size());
            std::string subject = SubjectOf(*pst->session.Get(), m.GetEntryId());
            kindsBySubject[subject] = kinds;
            keywords[subject] = m.Keywords();
        }
    }
    const std::map<std::string, std::string> expected = {
        {"Late", "mail body 2"},
        {"Posted", "mail 0"},
        {"Bare class", "mail 0"},
        {"Nested", "mail attachments body 0"},
        {"Unsent draft", "mail unsent 0"},
        {"Weekly", "appointment 0"},
        {"Invitation", "meeting 0"},
        {"Bob", "contact 0"},
        {"Team", "contact 0"},
        {"Write it", "task 0"},
        {"Not quite a task", "0"},
    };
    for (const auto& [subject, kinds] : expected) {
        EXPECT_EQ(kindsBySubject[subject], kinds) << subject;
    }
    EXPECT_EQ(keywords["Early"], (std::vector<std::string>{"Red category", "Blue"}));
    EXPECT_TRUE(keywords["Late"].empty());
}

TEST(MessageKinds, RecipientRowsCarryTheFiveColumns) {
    ResetJob();
    auto pst = Open(BuildPst("scan"));
    Folder inbox = FindFolder(pst->store, "Inbox");
    MessageIterator items;
    inbox.GetMessageIterator(items);
    Message m(pst->session.Get());
    while (items.GetNext(m) && m.Recipients().empty()) {
    }
    ASSERT_EQ(m.Recipients().size(), 2u);
    const SRow& first = m.Recipients()[0];
    ASSERT_EQ(first.lpProps.size(), RecipientColumn::Count);
    EXPECT_EQ(first.lpProps[RecipientColumn::EmailAddress].AsText(), "bob@example.com");
    EXPECT_EQ(first.lpProps[RecipientColumn::AddrType].AsText(), "SMTP");
    EXPECT_EQ(first.lpProps[RecipientColumn::RecipientType].AsLong(), 1);
    EXPECT_EQ(m.Property(MessageProp::SenderEmailAddress)->AsText(), "alice@example.com");
    EXPECT_FALSE(m.GetEntryId().empty());
}

}  // namespace
