// The MAPI layer over a PST built from tests/mapi/fixtures/scan.json: profiles, logon, properties
// with their per-property errors, entry ids, search keys, tables, named properties, read-only use.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "mapi/HRException.h"
#include "mapi/MailboxScanner.h"
#include "mapi/MessageIterator.h"
#include "mapi/TemporaryProfile.h"
#include "mapi/platform/PropTags.h"
#include "runtime/Log.h"
#include "tests/mapi/source/SourceFixture.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace Tarvik::MAPI;
using namespace SourceFixture;

std::vector<std::string> ProfileNames() {
    std::unique_ptr<IProfAdmin> admin;
    EXPECT_EQ(MAPIAdminProfiles(0, admin), S_OK);
    std::unique_ptr<IMAPITable> table;
    admin->GetProfileTable(0, table);
    SRowSet rows;
    SPropTagArray columns = {PR_DISPLAY_NAME_A};
    EXPECT_EQ(HrQueryAllRows(*table, &columns, nullptr, nullptr, 0, rows), S_OK);
    std::vector<std::string> names;
    for (const auto& row : rows) {
        names.push_back(row.lpProps[0].AsText());
    }
    return names;
}

// The message of `folder` with this subject.
std::unique_ptr<IMessage> OpenBySubject(OpenedPst& pst, const std::string& folderPath,
                                        const std::string& subject) {
    Folder folder = FindFolder(pst.store, folderPath);
    MessageIterator items;
    folder.GetMessageIterator(items);
    EntryId id;
    uint64_t sent = 0;
    std::string key;
    while (items.GetNextIds(id, sent, key)) {
        if (SubjectOf(*pst.session.Get(), id) == subject) {
            uint32_t type = 0;
            std::unique_ptr<IMAPIProp> object;
            EXPECT_EQ(pst.session.Get()->OpenEntry(id, MAPI_BEST_ACCESS, type, object), S_OK);
            return As<IMessage>(std::move(object));
        }
    }
    ADD_FAILURE() << "no item " << subject << " in " << folderPath;
    return nullptr;
}

TEST(MapiProfiles, TemporaryProfileReplacesStaleOnesKeepsOthersAndIsDeletedAfterwards) {
    ResetJob();
    std::unique_ptr<IProfAdmin> admin;
    ASSERT_EQ(MAPIAdminProfiles(0, admin), S_OK);
    ASSERT_EQ(admin->CreateProfile("T4rv1kPST23Migration01_02_03", "", 0, 0), S_OK);  // left by a crash
    ASSERT_EQ(admin->CreateProfile("mine with T4rv1kPST23Migration inside", "", 0, 0), S_OK);
    ASSERT_EQ(admin->CreateProfile("Outlook", "", 0, 0), S_OK);
    EXPECT_EQ(admin->CreateProfile("Outlook", "", 0, 0), MAPI_E_NO_ACCESS);

    ASSERT_TRUE(CreateTemporaryProfile(BuildPst("scan").string(), true));
    ImportParams& job = GetImportParams();
    EXPECT_TRUE(
        std::regex_match(job.tempProfileName, std::regex("T4rv1kPST23Migration\\d\\d_\\d\\d_\\d\\d")));
    EXPECT_EQ(ProfileNames(), (std::vector<std::string>{"Outlook", job.tempProfileName}));
    EXPECT_EQ(admin->CreateProfile(job.tempProfileName, "", 0, 0), MAPI_E_NO_ACCESS);

    Session withoutStore;
    EXPECT_EQ(withoutStore.Logon("Outlook"), S_OK);
    Store none;
    try {
        withoutStore.OpenDefaultStore(none);
        ADD_FAILURE() << "a profile without a message store has no default store";
    } catch (const HRException& error) {
        EXPECT_EQ(error.ErrorCode(), MAPI_E_NOT_FOUND);
    }
    job.profileName = job.tempProfileName;
    Session logged;
    EXPECT_EQ(logged.Logon(job.profileName), S_OK);
    EXPECT_EQ(logged.Logon(job.profileName), E_FAIL) << "a second logon leaves the first in place";
    EXPECT_TRUE(logged.LoggedOn());

    DeleteTemporaryProfile();
    EXPECT_EQ(ProfileNames(), (std::vector<std::string>{"Outlook"}));
    Session late;
    EXPECT_THROW(late.Logon(job.profileName), LogonException);
    admin->DeleteProfile("Outlook", 0);
}

TEST(MapiProfiles, StoreThatCannotBeReadFailsToOpenWithTheFileNamed) {
    ResetJob();
    TestSupport::TempDir dir;
    ASSERT_TRUE(OpenLogFile((dir / "run.log").string()));
    struct Case {
        const char* name;
        std::string content;
        HRESULT expected;
    };
    for (const Case& c : {Case{"missing.pst", "", MAPI_E_NOT_FOUND},
                          Case{"mbox.pst", "From someone\nSubject: not a PST\n", MAPI_E_CORRUPT_STORE}}) {
        SCOPED_TRACE(c.name);
        if (!c.content.empty()) {
            TestSupport::WriteFile(dir / c.name, c.content);
        }
        ASSERT_TRUE(CreateTemporaryProfile((dir / c.name).string(), true));
        GetImportParams().profileName = GetImportParams().tempProfileName;
        Session session;
        session.Logon(GetImportParams().profileName);
        Store store;
        try {
            session.OpenDefaultStore(store);
            ADD_FAILURE() << "opened";
        } catch (const HRException& error) {
            EXPECT_EQ(error.ErrorCode(), c.expected);
        }
        EXPECT_NE(TestSupport::ReadFile(dir / "run.log").find((dir / c.name).string()), std::string::npos);
        DeleteTemporaryProfile();
    }
    CloseLogFile();
}

TEST(MapiLayer, GetPropsGivesPerPropertyErrorsAndLargeValuesAsStreams) {
    ResetJob();
    auto pst = Open(BuildPst("scan"));
    auto message = OpenBySubject(*pst, "Inbox/Projects", "Nested");
    ASSERT_TRUE(message);
    constexpr uint32_t subjectA = CHANGE_PROP_TYPE(PR_SUBJECT_W, PT_STRING8);
    constexpr uint32_t subjectAsLong = CHANGE_PROP_TYPE(PR_SUBJECT_W, PT_LONG);
    std::vector<SPropValue> values;
    EXPECT_EQ(message->GetProps({PR_SUBJECT_W, subjectA, PR_SENSITIVITY, PR_HTML, subjectAsLong,
                                 PROP_TAG(PT_UNSPECIFIED, PROP_ID(PR_SUBJECT_W))},
                                MAPI_UNICODE, values),
              MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(values.size(), 6u);
    EXPECT_EQ(values[0].AsText(), "Nested");
    EXPECT_EQ(values[1].ulPropTag, subjectA);
    EXPECT_EQ(values[1].AsText(), "Nested");
    EXPECT_EQ(values[2].ulPropTag, CHANGE_PROP_TYPE(PR_SENSITIVITY, PT_ERROR));
    EXPECT_EQ(values[2].ErrorCode(), MAPI_E_NOT_FOUND);
    EXPECT_EQ(values[3].ErrorCode(), MAPI_E_NOT_ENOUGH_MEMORY) << "40,000 bytes are too many for GetProps";
    EXPECT_EQ(values[4].ErrorCode(), MAPI_E_NOT_FOUND) << "a value of another type is not there";
    EXPECT_EQ(values[5].ulPropTag, PR_SUBJECT_W) << "PT_UNSPECIFIED takes the stored type";

    std::unique_ptr<IStream> stream;
    ASSERT_EQ(message->OpenProperty(PR_HTML, 0, stream), S_OK);
    STATSTG stat;
    ASSERT_EQ(stream->Stat(stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize, 40000u);
    std::string html(40000, '\0');
    uint32_t read = 0;
    ASSERT_EQ(stream->Read(html.data(), 40000, &read), S_OK);
    EXPECT_EQ(read, 40000u);
    EXPECT_EQ(html.substr(0, 24), "<p>large</p><p>large</p>");
    ASSERT_EQ(message->OpenProperty(PR_SUBJECT_W, 0, stream), S_OK);
    std::string utf16(12, '\0');
    stream->Read(utf16.data(), 12, &read);
    EXPECT_EQ(utf16, std::string("N\0e\0s\0t\0e\0d\0", 12)) << "Unicode streams are UTF-16LE";
    EXPECT_EQ(message->OpenProperty(PR_SENSITIVITY, 0, stream), MAPI_E_NOT_FOUND);

    SPropValue missing;
    EXPECT_EQ(HrGetOneProp(*message, PR_SENSITIVITY, missing), MAPI_E_NOT_FOUND);
}

TEST(MapiLayer, EntryIdsAreThePstProvidersAndCompareByStoreAndNode) {
    ResetJob();
    auto pst = Open(BuildPst("scan"));
    SPropValue recordKey;
    ASSERT_EQ(HrGetOneProp(*pst->store.Get(), PR_RECORD_KEY, recordKey), S_OK);
    const EntryId& inbox = pst->store.SpecialFolders()[Inbox];
    ASSERT_EQ(inbox.size(), 24u);
    EXPECT_EQ(inbox.substr(0, 4), std::string(4, '\0'));
    EXPECT_EQ(inbox.substr(4, 16), recordKey.AsBinary());
    EXPECT_EQ(inbox.substr(20), std::string("\x82\x80\0\0", 4)) << "the Inbox's node id, little-endian";

    IMAPISession& session = *pst->session.Get();
    EntryId flagged = inbox;
    flagged[0] = 1;
    EntryId otherNode = inbox;
    otherNode[20] ^= 0x20;
    EntryId otherStore = inbox;
    otherStore[5] ^= 1;
    bool equal = false;
    struct Case {
        const EntryId& id;
        bool same;
    };
    for (const Case& c :
         {Case{inbox, true}, Case{flagged, true}, Case{otherNode, false}, Case{otherStore, false}}) {
        ASSERT_EQ(session.CompareEntryIDs(inbox, c.id, 0, equal), S_OK);
        EXPECT_EQ(equal, c.same);
    }
    uint32_t type = 0;
    std::unique_ptr<IMAPIProp> object;
    EXPECT_EQ(session.OpenEntry(flagged, 0, type, object), S_OK);
    EXPECT_EQ(type, MAPI_FOLDER);
    EXPECT_EQ(session.OpenEntry(otherStore, 0, type, object), MAPI_E_INVALID_ENTRYID);
    EXPECT_EQ(session.OpenEntry("garbage", 0, type, object), MAPI_E_INVALID_ENTRYID);
    EntryId gone = inbox;
    gone[22] = 0x7F;
    EXPECT_EQ(session.OpenEntry(gone, 0, type, object), MAPI_E_NOT_FOUND);
}

TEST(MapiLayer, MessagesWithoutSearchKeyGetStableDistinctKeysInTablesAndProperties) {
    ResetJob();
    std::map<std::string, std::string> fromTable;
    std::map<std::string, std::string> fromMessage;
    for (int run = 0; run < 2; ++run) {
        auto pst = Open(BuildPst("scan"));
        Folder inbox = FindFolder(pst->store, "Inbox");
        MessageIterator items;
        inbox.GetMessageIterator(items);
        EntryId id;
        uint64_t sent = 0;
        std::string key;
        while (items.GetNextIds(id, sent, key)) {
            std::string subject = SubjectOf(*pst->session.Get(), id);
            if (subject.starts_with("Keyless")) {
                EXPECT_TRUE(!fromTable.contains(subject) || fromTable[subject] == key)
                    << "stable between runs";
                fromTable[subject] = key;
                uint32_t type = 0;
                std::unique_ptr<IMAPIProp> object;
                pst->session.Get()->OpenEntry(id, 0, type, object);
                SPropValue value;
                ASSERT_EQ(HrGetOneProp(*object, PR_SEARCH_KEY, value), S_OK);
                fromMessage[subject] = value.AsBinary();
            }
        }
        DeleteTemporaryProfile();
    }
    ASSERT_EQ(fromTable.size(), 2u);
    EXPECT_FALSE(fromTable["Keyless one"].empty());
    EXPECT_NE(fromTable["Keyless one"], fromTable["Keyless two"]);
    EXPECT_EQ(fromTable, fromMessage);
}

TEST(MapiLayer, TablesRestrictSortSeekAndQueryInBatches) {
    ResetJob();
    auto pst = Open(BuildPst("scan"));
    Folder inbox = FindFolder(pst->store, "Inbox");
    std::unique_ptr<IMAPITable> table;
    ASSERT_EQ(inbox.Get()->GetContentsTable(MAPI_UNICODE, table), S_OK);
    uint32_t count = 0;
    table->GetRowCount(0, count);
    EXPECT_EQ(count, 9u);

    auto subjects = [&](const SRestriction* restriction, uint32_t order) {
        SSortOrderSet sort{{{PR_CLIENT_SUBMIT_TIME, order}}, 0, 0};
        SPropTagArray columns = {PR_SUBJECT_W};
        SRowSet rows;
        EXPECT_EQ(HrQueryAllRows(*table, &columns, restriction, &sort, 0, rows), S_OK);
        std::string joined;
        for (const auto& row : rows) {
            joined += (joined.empty() ? "" : ",") + row.lpProps[0].AsText();
        }
        return joined;
    };
    auto cls = [](uint32_t fuzzy, const char* text) {
        return SRestriction::Content(fuzzy, PR_MESSAGE_CLASS_W, SPropValue::Text(PR_MESSAGE_CLASS_W, text));
    };
    auto since = [](uint64_t t) {
        return SRestriction::Property(RELOP_GE, PR_CLIENT_SUBMIT_TIME,
                                      SPropValue::Int64(PR_CLIENT_SUBMIT_TIME, static_cast<int64_t>(t)));
    };
    constexpr uint64_t march2024 = 133537248000000000;  // 2024-03-01T00:00:00Z
    struct Case {
        const char* name;
        SRestriction restriction;
        uint32_t order;
        const char* expected;
    };
    const Case cases[] = {
        {"class ignoring case", cls(FL_FULLSTRING | FL_IGNORECASE, "ipm.post"), TABLE_SORT_ASCEND, "Posted"},
        {"class with case", cls(FL_FULLSTRING, "ipm.post"), TABLE_SORT_ASCEND, ""},
        {"prefix or exact", SRestriction::Or({cls(FL_PREFIX, "IPM.P"), cls(FL_FULLSTRING, "IPM")}),
         TABLE_SORT_DESCEND, "Bare class,Posted"},
        {"date and not", SRestriction::And({since(march2024), SRestriction::Not(cls(FL_SUBSTRING, "Post"))}),
         TABLE_SORT_DESCEND, "Late,Complete,Partial,Early"},
        {"exists", SRestriction::Exist(PR_HTML), TABLE_SORT_ASCEND, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(subjects(&c.restriction, c.order), c.expected) << c.name;
    }

    table->Restrict(nullptr, 0);
    table->SortTable({{{PR_CLIENT_SUBMIT_TIME, TABLE_SORT_ASCEND}}, 0, 0}, 0);
    SRowSet rows;
    ASSERT_EQ(table->QueryRows(4, 0, rows), S_OK);
    EXPECT_EQ(rows.size(), 4u);
    int32_t sought = 0;
    ASSERT_EQ(table->SeekRow(BOOKMARK_CURRENT, -1, &sought), S_OK);
    EXPECT_EQ(sought, -1);
    ASSERT_EQ(table->QueryRows(50, 0, rows), S_OK);
    EXPECT_EQ(rows.size(), 6u) << "a batch shorter than asked only at the end";
    EXPECT_EQ(rows.back().lpProps[0].AsText(), "Late");
    ASSERT_EQ(table->QueryRows(50, 0, rows), S_OK);
    EXPECT_TRUE(rows.empty());
    ASSERT_EQ(table->SeekRow(BOOKMARK_END, -100, &sought), S_OK);
    EXPECT_EQ(sought, -9);
}

TEST(MapiLayer, NamesResolveThroughTheStoresMapWithoutCreatingAny) {
    ResetJob();
    auto pst = Open(BuildPst("scan"));
    IMsgStore& store = *pst->store.Get();
    SPropTagArray tags;
    EXPECT_EQ(
        store.GetIDsFromNames({MAPINAMEID::Name(PS_PUBLIC_STRINGS, "Keywords"),
                               MAPINAMEID::Id(PSETID_Common, 0x8578), MAPINAMEID::Id(PSETID_Task, 0x8101)},
                              MAPI_CREATE, tags),
        MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(tags.size(), 3u);
    EXPECT_GE(PROP_ID(tags[0]), 0x8000);
    EXPECT_EQ(PROP_TYPE(tags[0]), PT_UNSPECIFIED);
    EXPECT_GE(PROP_ID(tags[1]), 0x8000);
    EXPECT_EQ(PROP_TYPE(tags[2]), PT_ERROR) << "the store has no task status, and nothing is created";
    std::vector<std::optional<MAPINAMEID>> names;
    ASSERT_EQ(store.GetNamesFromIDs({tags[0], tags[1], PR_SUBJECT_W}, names), S_OK);
    EXPECT_EQ(names[0], MAPINAMEID::Name(PS_PUBLIC_STRINGS, "Keywords"));
    EXPECT_EQ(names[1], MAPINAMEID::Id(PSETID_Common, 0x8578));
    EXPECT_FALSE(names[2]);
}

}  // namespace
