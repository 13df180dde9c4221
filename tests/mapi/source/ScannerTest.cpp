// The mailbox scanner: the folder walk, special folders, the item walk's order, skips and
// dispatch, the per-item error policy and its limit, cancelling, and damaged items.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "mapi/HRException.h"
#include "mapi/MailboxScanner.h"
#include "mapi/MessageFile.h"
#include "mapi/MessageIterator.h"
#include "mapi/platform/PropTags.h"
#include "pst/PstFile.h"
#include "runtime/FaultInjection.h"
#include "tarvik/RpcException.h"
#include "tarvik/TarvikException.h"
#include "tests/mapi/source/SourceFixture.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace Tarvik::MAPI;
using namespace SourceFixture;
namespace fs = std::filesystem;

// The Inbox of a store that also lists a Sync Issues folder among its additional special folders
// (the generated file lists only Junk E-mail there).
class InboxWithSyncIssues : public IMAPIProp {
  public:
    InboxWithSyncIssues(std::unique_ptr<IMAPIProp> inbox, EntryId syncIssues)
        : inbox_(std::move(inbox)), syncIssues_(std::move(syncIssues)) {}
    HRESULT GetProps(const SPropTagArray& tags, uint32_t flags, std::vector<SPropValue>& values) override {
        HRESULT hr = inbox_->GetProps(tags, flags, values);
        for (auto& value : values) {
            if (PROP_ID(value.ulPropTag) == PROP_ID(PR_ADDITIONAL_REN_ENTRYIDS) && !value.IsError()) {
                auto list = value.AsBinaryList();
                list[1] = syncIssues_;
                value = SPropValue(PR_ADDITIONAL_REN_ENTRYIDS, list);
            }
        }
        return hr;
    }
    HRESULT GetPropList(uint32_t f, SPropTagArray& t) override { return inbox_->GetPropList(f, t); }
    HRESULT OpenProperty(uint32_t t, uint32_t f, std::unique_ptr<IStream>& s) override {
        return inbox_->OpenProperty(t, f, s);
    }
    HRESULT GetIDsFromNames(const std::vector<MAPINAMEID>& n, uint32_t f, SPropTagArray& t) override {
        return inbox_->GetIDsFromNames(n, f, t);
    }
    HRESULT GetNamesFromIDs(const SPropTagArray& t, std::vector<std::optional<MAPINAMEID>>& n) override {
        return inbox_->GetNamesFromIDs(t, n);
    }

  private:
    std::unique_ptr<IMAPIProp> inbox_;
    EntryId syncIssues_;
};

class StoreWithSyncIssues : public IMsgStore {
  public:
    StoreWithSyncIssues(std::unique_ptr<IMsgStore> store, EntryId inbox, EntryId syncIssues)
        : store_(std::move(store)), inbox_(std::move(inbox)), syncIssues_(std::move(syncIssues)) {}
    HRESULT OpenEntry(const EntryId& id, uint32_t flags, uint32_t& type,
                      std::unique_ptr<IMAPIProp>& object) override {
        HRESULT hr = store_->OpenEntry(id, flags, type, object);
        if (SUCCEEDED(hr) && id == inbox_) {
            object = std::make_unique<InboxWithSyncIssues>(std::move(object), syncIssues_);
        }
        return hr;
    }
    HRESULT GetReceiveFolder(const std::string& c, uint32_t f, EntryId& id, std::string& e) override {
        return store_->GetReceiveFolder(c, f, id, e);
    }
    HRESULT CompareEntryIDs(const EntryId& a, const EntryId& b, uint32_t f, bool& equal) override {
        return store_->CompareEntryIDs(a, b, f, equal);
    }
    HRESULT GetProps(const SPropTagArray& t, uint32_t f, std::vector<SPropValue>& v) override {
        return store_->GetProps(t, f, v);
    }
    HRESULT GetPropList(uint32_t f, SPropTagArray& t) override { return store_->GetPropList(f, t); }
    HRESULT OpenProperty(uint32_t t, uint32_t f, std::unique_ptr<IStream>& s) override {
        return store_->OpenProperty(t, f, s);
    }
    HRESULT GetIDsFromNames(const std::vector<MAPINAMEID>& n, uint32_t f, SPropTagArray& t) override {
        return store_->GetIDsFromNames(n, f, t);
    }
    HRESULT GetNamesFromIDs(const SPropTagArray& t, std::vector<std::optional<MAPINAMEID>>& n) override {
        return store_->GetNamesFromIDs(t, n);
    }

  private:
    std::unique_ptr<IMsgStore> store_;
    EntryId inbox_;
    EntryId syncIssues_;
};

// The fixture opened with its "Sync Issues" folder registered as Outlook's Sync Issues folder.
std::unique_ptr<OpenedPst> OpenWithSyncIssues(const fs::path& file) {
    auto pst = Open(file);
    EntryId syncIssues = FindFolder(pst->store, "Sync Issues").GetEntryId();
    EntryId inbox = pst->store.SpecialFolders()[Inbox];
    std::unique_ptr<IMsgStore> real;
    uint32_t count = 0;
    std::unique_ptr<IMAPITable> stores;
    pst->session.Get()->GetMsgStoresTable(0, stores);
    SRowSet rows;
    SPropTagArray columns = {PR_ENTRYID};
    HrQueryAllRows(*stores, &columns, nullptr, nullptr, 0, rows);
    (void)count;
    EXPECT_EQ(pst->session.Get()->OpenMsgStore(rows.at(0).lpProps[0].AsBinary(), 0, real), S_OK);
    pst->store.Init(std::make_unique<StoreWithSyncIssues>(std::move(real), inbox, syncIssues),
                    pst->session.Get());
    return pst;
}

bool Contains(const std::vector<std::string>& calls, const std::string& call) {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

size_t IndexOf(const std::vector<std::string>& calls, const std::string& call) {
    return static_cast<size_t>(std::find(calls.begin(), calls.end(), call) - calls.begin());
}

TEST(SpecialFolders, FoundThroughTheStoreInboxAndAdditionalListNotByName) {
    ResetJob();
    auto pst = OpenWithSyncIssues(BuildPst("scan"));
    const std::pair<const char*, int> cases[] = {{"Inbox", Inbox},
                                                 {"", IpmSubtree},
                                                 {"Calendar", Calendar},
                                                 {"Contacts", Contacts},
                                                 {"Drafts", Drafts},
                                                 {"Tasks", Tasks},
                                                 {"Outbox", Outbox},
                                                 {"Sent Items", SentItems},
                                                 {"Deleted Items", DeletedItems},
                                                 {"Sync Issues", SyncIssues},
                                                 {"Junk E-mail", JunkEmail},
                                                 {"Inbox/Projects", kNotSpecialFolder},
                                                 {"Calendar copy", kNotSpecialFolder}};
    for (const auto& [path, index] : cases) {
        EXPECT_EQ(pst->store.SpecialFolderIndex(FindFolder(pst->store, path).GetEntryId()), index) << path;
    }
    auto plain = Open(BuildPst("scan"));
    EXPECT_EQ(plain->store.SpecialFolderIndex(FindFolder(plain->store, "Sync Issues").GetEntryId()),
              kNotSpecialFolder)
        << "a folder is not special by its name";
}

TEST(FolderWalk, DepthFirstWithoutSearchFoldersOrSyncIssuesAndLeavesEveryFolderEntered) {
    ResetJob();
    auto pst = OpenWithSyncIssues(BuildPst("scan"));
    RecordingHandler handler;
    handler.notEntered = {"/Calendar copy"};
    MailboxScanner walk(true);
    ScanFolders(pst->store, walk, *pst->session.Get(), handler);
    const auto& calls = handler.calls;
    EXPECT_EQ(calls.front(), "enter /");
    EXPECT_EQ(calls.back(), "leave /");
    EXPECT_LT(IndexOf(calls, "enter /Inbox"), IndexOf(calls, "enter /Inbox/Projects"));
    EXPECT_LT(IndexOf(calls, "leave /Inbox/Projects"), IndexOf(calls, "leave /Inbox"));
    EXPECT_TRUE(Contains(calls, "leave /Calendar copy")) << "left even when not entered";
    for (const char* absent : {"enter /Finder", "enter /Sync Issues", "enter /Sync Issues/Conflicts"}) {
        EXPECT_FALSE(Contains(calls, absent)) << absent;
    }
    EXPECT_EQ(
        std::count_if(calls.begin(), calls.end(), [](const auto& c) { return c.starts_with("enter"); }),
        std::count_if(calls.begin(), calls.end(), [](const auto& c) { return c.starts_with("leave"); }));
}

// Every folder of the fixture but Sync Issues, as the folder walk collects them.
std::vector<Folder> ImportedFolders(OpenedPst& pst) {
    RecordingHandler walkHandler;
    MailboxScanner walk(true);
    ScanFolders(pst.store, walk, *pst.session.Get(), walkHandler);
    return walkHandler.folders;
}

std::string SearchKeyOf(OpenedPst& pst, const std::string& folder, const std::string& subject) {
    Folder f = FindFolder(pst.store, folder);
    MessageIterator items;
    f.GetMessageIterator(items);
    EntryId id;
    uint64_t sent = 0;
    std::string key;
    while (items.GetNextIds(id, sent, key)) {
        if (SubjectOf(*pst.session.Get(), id) == subject) {
            return key;
        }
    }
    return {};
}

TEST(ItemWalk, SkipsKnownItemsAndHandsTheRestOverUndatedFirstThenBySentTime) {
    RecordingProgress progress;
    ResetJob(&progress);
    fs::path file = BuildPst("scan");
    std::string before = TestSupport::ReadFile(file);
    auto pst = OpenWithSyncIssues(file);
    RecordingHandler handler;
    handler.knownKeys = {SearchKeyOf(*pst, "Inbox", "Late")};
    MailboxScanner scanner;
    scanner.Scan(*pst->session.Get(), pst->store, handler, ImportedFolders(*pst));

    EXPECT_EQ(progress.status, "Identifying messages to import");
    EXPECT_EQ(progress.total, 141);
    EXPECT_EQ(progress.done, 1);
    EXPECT_EQ(progress.steps, 140);
    EXPECT_EQ(handler.kinds,
              (std::map<std::string, int>{
                  {"message", 131}, {"contact", 2}, {"appointment-or-task", 4}, {"meeting", 1}}));
    const auto& calls = handler.calls;
    EXPECT_FALSE(Contains(calls, "message Late"));
    EXPECT_FALSE(Contains(calls, "appointment-or-task Not quite a task")) << "opened, handed to no one";
    // Undated items (drafts, contacts, tasks) before every dated one, dated ones by sent time.
    size_t firstDated = IndexOf(calls, "message Old");
    for (const char* undated :
         {"message Unsent draft", "contact Bob", "contact Team", "appointment-or-task Write it"}) {
        EXPECT_LT(IndexOf(calls, undated), firstDated) << undated;
    }
    std::vector<std::string> dated = {
        "message Old",        "message Bulk item",   "message Nested",
        "message Posted",     "message Bare class",  "appointment-or-task Weekly",
        "meeting Invitation", "message Keyless one", "message Early",
        "message Partial",    "message Complete"};
    for (size_t i = 1; i < dated.size(); ++i) {
        EXPECT_LT(IndexOf(calls, dated[i - 1]), IndexOf(calls, dated[i])) << dated[i];
    }
    // The same meeting in two folders: the earlier one only. Items without a UID always go.
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "appointment-or-task Weekly"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "appointment-or-task No uid one"), 2);
    EXPECT_EQ(
        progress.warnings,
        std::vector<std::string>{"Appointment with Uid[040000008200E00074C5B7101A82E0080000000000000000000000"
                                 "000000000000000000100000000102030405060708090A0B0C0D0E0F10] has already "
                                 "been migrated, hence skipping it."});
    EXPECT_EQ(TestSupport::ReadFile(file), before) << "the source file is never written";
}

// Throws `failure` for every item, or for the item with this subject only.
class FailingHandler : public RecordingHandler {
  public:
    FailingHandler(std::function<void()> failure, std::string subject = {})
        : failure_(std::move(failure)), subject_(std::move(subject)) {}

  protected:
    void Item(const char* operation, Message& message) override {
        RecordingHandler::Item(operation, message);
        if (subject_.empty() || calls.back().ends_with(" " + subject_)) {
            failure_();
        }
    }

  private:
    std::function<void()> failure_;
    std::string subject_;
};

TEST(ItemWalk, EachFailureFamilyIsReportedCountedAndTheWalkGoesOn) {
    struct Case {
        const char* name;
        std::function<void()> failure;
        std::string warning;
    };
    const Case cases[] = {
        {"transport", [] { throw Tarvik::Rpc::RpcException(12029); }, "RPC Error: "},
        {"server fault", [] { throw Tarvik::TarvikException("quota exceeded", "mail.QUOTA_EXCEEDED"); },
         "Tarvik Exception: quota exceeded"},
        {"access denied", [] { throw HRException(6, "mapi/MapiObjects", 7); }, "Error: Access Denied"},
        {"MAPI failure", [] { throw HRException(MAPI_E_CORRUPT_DATA, "mapi/MapiUtils", 12); },
         "COM Exception 8004011b at mapi/MapiUtils(12)"},
        {"converter fault", [] { throw std::runtime_error("bad conversion"); },
         "Unable to process message d(Fri, 01 Mar 2024 10:00:00 +0000) Folder Name - Inbox"},
        {"processor fault", [] { FaultInjection::Trigger(FaultInjection::Fault::InvalidAccess); },
         "Unable to process message d(Fri, 01 Mar 2024 10:00:00 +0000) Folder Name - Inbox"},
    };
    for (const auto& c : cases) {
        RecordingProgress progress;
        ResetJob(&progress);
        GetImportParams().errorThreshold = 1;  // one failure stops the walk only after its item
        auto pst = Open(BuildPst("scan"));
        FailingHandler handler(c.failure, "Early");
        MailboxScanner scanner;
        try {
            scanner.Scan(*pst->session.Get(), pst->store, handler, {FindFolder(pst->store, "Inbox")});
            ADD_FAILURE() << c.name << ": the limit of one error is reached";
        } catch (const Tarvik::TarvikException& error) {
            EXPECT_EQ(error.Code(), "error_threshold_reached.") << c.name;
            EXPECT_EQ(error.Message(), "Error limit reached");
        }
        ASSERT_EQ(progress.warnings.size(), 1u) << c.name;
        EXPECT_TRUE(progress.warnings[0].starts_with(c.warning)) << c.name << ": " << progress.warnings[0];

        RecordingProgress unlimitedProgress;
        ResetJob(&unlimitedProgress);
        GetImportParams().errorThreshold = 0;
        FailingHandler again(c.failure, "Early");
        scanner.Scan(*pst->session.Get(), pst->store, again, {FindFolder(pst->store, "Inbox")});
        EXPECT_EQ(again.kinds["message"], 9) << c.name << ": without a limit every item is handed over";
    }
    // The converter fault leaves a copy of the item in the work directory.
    auto pst = Open(BuildPst("scan"));
    Folder inbox = FindFolder(pst->store, "Inbox");
    MessageIterator items;
    inbox.GetMessageIterator(items);
    EntryId id;
    uint64_t sent = 0;
    std::string key;
    bool found = false;
    while (!found && items.GetNextIds(id, sent, key)) {
        found = SubjectOf(*pst->session.Get(), id) == "Early";
    }
    EXPECT_TRUE(fs::exists(FailedItemFileName(GetImportParams().workDirectory, id)));
}

TEST(ItemWalk, ErrorLimitStopsBeforeTheNextItemIsOpened) {
    struct Case {
        const char* name;
        int32_t limit;
        std::function<void()> failure;
        int64_t opened;
    };
    const Case cases[] = {
        {"limit 3, every item fails", 3, [] { throw HRException(E_FAIL, "mapi/MapiObjects", 1); }, 3},
        {"the adder's own limit", 5,
         [] { throw Tarvik::TarvikException("too many", "error_threshold_reached"); }, 1},
    };
    for (const auto& c : cases) {
        RecordingProgress progress;
        ResetJob(&progress);
        GetImportParams().errorThreshold = c.limit;
        auto pst = Open(BuildPst("scan"));
        FailingHandler handler(c.failure);
        MailboxScanner scanner;
        EXPECT_THROW(scanner.Scan(*pst->session.Get(), pst->store, handler, {FindFolder(pst->store, "Bulk")}),
                     Tarvik::TarvikException)
            << c.name;
        EXPECT_EQ(progress.steps, c.opened) << c.name;
    }
}

TEST(ItemWalk, CancellingStopsBetweenItems) {
    RecordingProgress progress;
    ResetJob(&progress);
    auto pst = Open(BuildPst("scan"));
    FailingHandler handler([] { ImportCancelFlag() = true; });
    MailboxScanner scanner;
    scanner.Scan(*pst->session.Get(), pst->store, handler, {FindFolder(pst->store, "Bulk")});
    EXPECT_EQ(handler.kinds["message"], 1);
    ImportCancelFlag() = false;
}

// Overwrites the middle of the data block of the Inbox item with this subject.
void DamageItem(const fs::path& file, const std::string& subject) {
    uint64_t offset = 0;
    {
        pst::PstFile pstFile(file.string());
        auto contents = pstFile.OpenFolder(pstFile.ReceiveFolderNid().value()).ContentsTable();
        for (size_t i = 0; i < contents->RowCount(); ++i) {
            pst::TableRow row = contents->ReadRow(i);
            const pst::Value* s = row.Find(0x0037001F);
            if (s != nullptr && s->AsText() == subject) {
                auto node = pstFile.Database().FindNode(row.rowId);
                auto block = pstFile.Database().FindBlock(node->bidData);
                offset = block->ib + block->cb / 2;
            }
        }
    }
    ASSERT_NE(offset, 0u);
    std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(static_cast<std::streamoff>(offset));
    out.write("\xDE\xAD\xBE\xEF\xDE\xAD\xBE\xEF", 8);
}

TEST(ItemWalk, DamagedItemIsReportedAndSkippedAndTheOthersAreHandedOver) {
    RecordingProgress progress;
    ResetJob(&progress);
    TestSupport::TempDir dir;
    fs::path file = dir / "damaged.pst";
    fs::copy_file(BuildPst("scan"), file);
    DamageItem(file, "Early");
    auto pst = Open(file);
    RecordingHandler handler;
    MailboxScanner scanner;
    scanner.Scan(*pst->session.Get(), pst->store, handler, {FindFolder(pst->store, "Inbox")});
    EXPECT_EQ(handler.kinds["message"], 8);
    EXPECT_FALSE(Contains(handler.calls, "message Early"));
    ASSERT_EQ(progress.warnings.size(), 1u);
    EXPECT_TRUE(progress.warnings[0].starts_with("Failed to open message error(8004011b) eid(00000000"))
        << progress.warnings[0];
}

}  // namespace
