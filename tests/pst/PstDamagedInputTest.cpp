// Damaged files: corrupt headers and non-PST files are refused with a message saying what is wrong;
// damage inside one item is reported with its node id while the rest of the file stays readable;
// loops in the on-disk trees end in an error, not a hang.

#include <gtest/gtest.h>

#include <fstream>

#include "pst/Crc.h"
#include "pst/PropTags.h"
#include "pst/PstFile.h"
#include "tests/pst/PstTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using nlohmann::json;

class DamagedInput : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = dir_ / "good.pst";
        PstTest::Build(PstTest::LoadFixture("mailbox.json"), path_);
        bytes_ = TestSupport::ReadFile(path_);
    }

    std::string WriteVariant(const std::string& content) {
        auto path = dir_ / "damaged.pst";
        TestSupport::WriteFile(path, content);
        return path.string();
    }

    // Recomputes both header checksums after a deliberate change.
    static void FixHeaderChecksums(std::string& b) {
        auto crc = [&](size_t from, size_t size) {
            return pst::PstCrc32(pst::ByteSpan(reinterpret_cast<const uint8_t*>(b.data()) + from, size));
        };
        pst::Put32(reinterpret_cast<uint8_t*>(b.data()) + 4, crc(8, 471));
        pst::Put32(reinterpret_cast<uint8_t*>(b.data()) + 524, crc(8, 516));
    }

    std::string OpenError(const std::string& content) {
        try {
            pst::PstFile file(WriteVariant(content));
            return "(opened)";
        } catch (const pst::Error& e) {
            EXPECT_EQ(e.File(), (dir_ / "damaged.pst").string());
            return e.what();
        }
    }

    TestSupport::TempDir dir_;
    std::filesystem::path path_;
    std::string bytes_;
};

TEST_F(DamagedInput, BrokenHeadersAndOtherFilesAreRefused) {
    auto patched = [&](auto change, bool fixChecksums) {
        std::string b = bytes_;
        change(b);
        if (fixChecksums) {
            FixHeaderChecksums(b);
        }
        return b;
    };
    const std::pair<std::string, std::string> cases[] = {
        {"", "not a PST file"},
        {"From alice@example.com Mon Jan  1 00:00:00 2024\n", "not a PST file"},
        {bytes_.substr(0, 40), "truncated file: 40 bytes"},
        {bytes_.substr(0, 530), "truncated file"},
        {patched([](std::string& b) { b[100] ^= 1; }, false), "corrupt header: checksum"},
        {patched([](std::string& b) { b[600] ^= 1; }, false),
         "(opened)"},  // past the header: not its business
        {patched([](std::string& b) { b[513] = 7; }, true), "unknown encryption method 7"},
        {patched([](std::string& b) { b[10] = 99; }, true), "unsupported PST format version 99"},
        {patched([](std::string& b) { pst::Put64(reinterpret_cast<uint8_t*>(b.data()) + 224, 1ull << 40); },
                 true),
         "node B-tree root page offset"},
        {bytes_.substr(0, bytes_.size() / 2), "lie"},  // a root page outside, or reads beyond the end
    };
    for (const auto& [content, expected] : cases) {
        std::string error = OpenError(content);
        EXPECT_NE(error.find(expected), std::string::npos)
            << "expected \"" << expected << "\", got: " << error;
    }
}

TEST_F(DamagedInput, ADamagedMessageIsReportedWithItsNodeAndTheRestIsRead) {
    uint32_t victim = 0;
    size_t total = 0;
    {
        pst::PstFile file(path_.string());
        total = PstTest::WalkEverything(file).messages;
        auto top = file.OpenFolder(*file.IpmSubtreeNid()).HierarchyTable();
        for (size_t i = 0; i < top->RowCount() && victim == 0; ++i) {
            auto row = top->ReadRow(i);
            if (row.Find(pst::Tag::DisplayName)->AsText() == "Sent Items") {
                victim = file.OpenFolder(row.rowId).ContentsTable()->RowId(0);
            }
        }
        auto& db = file.Database();
        uint64_t ib = db.FindBlock(db.FindNode(victim)->bidData)->ib;
        bytes_[ib + 20] ^= 0x55;
    }
    std::string path = WriteVariant(bytes_);
    pst::PstFile file(path);
    try {
        file.OpenMessage(victim);
        FAIL() << "the damaged message opened";
    } catch (const pst::Error& e) {
        EXPECT_EQ(e.NodeId(), victim);
        EXPECT_EQ(e.File(), path);
        EXPECT_NE(std::string(e.what()).find("checksum mismatch"), std::string::npos) << e.what();
    }
    PstTest::WalkResult walk = PstTest::WalkEverything(file);
    ASSERT_EQ(walk.problems.size(), 1u);
    EXPECT_EQ(walk.messages, total - 1);
    EXPECT_EQ(walk.items["/Top of Personal Folders/Sent Items"], 1u) << "its row is still listed";
}

TEST_F(DamagedInput, ALoopInTheNodeTreeEndsInAnError) {
    pst::Bref root;
    {
        pst::PstFile file(path_.string());
        root = file.GetHeader().nodeBTree;
    }
    // Point the root page's first entry back at the root page itself and fix its checksum.
    auto* page = reinterpret_cast<uint8_t*>(bytes_.data()) + root.ib;
    ASSERT_GT(page[491], 0) << "the fixture's node B-tree needs a branch page";
    pst::Put64(page + 8, root.bid);
    pst::Put64(page + 16, root.ib);
    pst::Put32(page + 500, pst::PstCrc32(pst::ByteSpan(page, 496)));
    std::string path = WriteVariant(bytes_);
    try {
        pst::PstFile file(path);
        FAIL() << "opened a file whose node B-tree loops";
    } catch (const pst::Error& e) {
        EXPECT_NE(std::string(e.what()).find("expected 0"), std::string::npos) << e.what();
    }
    pst::NodeDatabase db(path, 1 << 20);
    EXPECT_THROW(db.ForEachNode([](const pst::Node&) {}), pst::Error);
}

TEST_F(DamagedInput, PageChecksumsAndBackPointersAreChecked) {
    pst::Bref root;
    {
        pst::PstFile file(path_.string());
        root = file.GetHeader().blockBTree;
    }
    std::string flipped = bytes_;
    flipped[root.ib + 30] ^= 1;
    EXPECT_NE(OpenError(flipped).find("checksum"), std::string::npos);
    // A back pointer differing only in the reserved low bit is still a mismatch.
    std::string pointer = bytes_;
    pointer[root.ib + 504] ^= 1;
    EXPECT_NE(OpenError(pointer).find("back pointer"), std::string::npos);
}

}  // namespace

namespace {

TEST(DamagedTable, UnreadableRowsAreReportedWithTheirTableAndTheOthersAreRead) {
    // 500 rows spread the contents table's row matrix over a data tree of many blocks; one
    // damaged block must cost only the rows it holds.
    TestSupport::TempDir dir;
    PstTest::Build(
        nlohmann::json{
            {"folders", {{{"name", "Inbox"}, {"messages", {{{"subject", "Same"}, {"repeat", 500}}}}}}}},
        dir / "table.pst");
    std::string bytes = TestSupport::ReadFile(dir / "table.pst");
    uint32_t table = 0;
    {
        pst::PstFile file((dir / "table.pst").string());
        auto top = file.OpenFolder(*file.IpmSubtreeNid()).HierarchyTable();
        for (size_t i = 0; i < top->RowCount(); ++i) {
            auto row = top->ReadRow(i);
            if (row.Find(pst::Tag::DisplayName)->AsText() == "Inbox") {
                table = file.OpenFolder(row.rowId).ContentsTable()->Nid();
            }
        }
        auto& db = file.Database();
        uint64_t matrix = 0;  // the XBLOCK listing the row matrix's blocks
        db.ForEachSubnode(db.FindNode(table)->bidSub, [&](const pst::Node& n) {
            if (pst::NodeDatabase::IsInternal(n.bidData)) {
                matrix = n.bidData;
            }
        });
        ASSERT_NE(matrix, 0u) << "the row matrix should span several blocks";
        uint64_t second = pst::U64(*db.ReadBlock(matrix), 16);
        bytes[db.FindBlock(second)->ib + 20] ^= 0x55;
    }
    TestSupport::WriteFile(dir / "damaged.pst", bytes);
    pst::PstFile file((dir / "damaged.pst").string());
    PstTest::WalkResult walk = PstTest::WalkEverything(file);
    ASSERT_FALSE(walk.problems.empty());
    EXPECT_LT(walk.problems.size(), 100u);
    EXPECT_EQ(walk.messages + walk.problems.size(), 500u) << "every other row leads to its message";
    EXPECT_EQ(walk.items["/Top of Personal Folders/Inbox"], 500u) << "the table still counts them all";

    auto contents = pst::TableContext(file.Database(), *file.Database().FindNode(table));
    for (size_t i = 0; i < contents.RowCount(); ++i) {
        try {
            contents.ReadRow(i);
        } catch (const pst::Error& e) {
            EXPECT_EQ(e.NodeId(), table);
            EXPECT_EQ(e.File(), (dir / "damaged.pst").string());
            EXPECT_NE(e.Detail().find("table row " + std::to_string(i) + ": "), std::string::npos)
                << e.what();
            EXPECT_NE(e.Detail().find("checksum mismatch"), std::string::npos) << e.what();
        }
    }
}

}  // namespace
