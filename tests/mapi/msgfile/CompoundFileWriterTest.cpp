#include "mapi/platform/CompoundFileWriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "tests/mapi/msgfile/MsgFileTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using cfb::CompoundFileVersion;
using cfb::CompoundFileWriter;
using MsgFileTest::DumpedBinary;
using MsgFileTest::PatternSource;

uint32_t HeaderField(const std::string& file, size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<uint8_t>(file[offset + i]);
    return value;
}

std::vector<std::string> FilesIn(const std::filesystem::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Storages with 1 to 40 children (full, partly filled and single-level trees), names of mixed
// length and case, streams on both sides of the mini-stream cutoff, nested storages with class ids.
TEST(CompoundFileWriter, ReadersSeeEveryStorageAndStreamInValidTrees) {
    for (CompoundFileVersion version : {CompoundFileVersion::V3, CompoundFileVersion::V4}) {
        SCOPED_TRACE(static_cast<int>(version));
        TestSupport::TempDir dir;
        std::map<std::string, std::string> expectedStreams;
        std::map<std::string, std::string> expectedStorages;
        cfb::Clsid nestedClass = cfb::Clsid::Parse("{00020D0B-0000-0000-C000-000000000046}");
        {
            CompoundFileWriter writer(dir / "tree.cfb", version);
            writer.SetClsid(CompoundFileWriter::kRoot,
                            cfb::Clsid::Parse("00020D0B-0000-0000-C000-000000000046"));
            for (size_t size : {0, 1, 63, 64, 65, 4095, 4096, 4097, 70000}) {
                std::string name = "s" + std::to_string(size);
                expectedStreams[name] = DumpedBinary(PatternSource::Bytes(size));
                writer.AddStream(CompoundFileWriter::kRoot, name, PatternSource::Bytes(size));
            }
            PatternSource pieces(70001, 777);
            EXPECT_EQ(writer.AddStream(CompoundFileWriter::kRoot, "pieces", pieces), 70001u);
            expectedStreams["pieces"] = DumpedBinary(PatternSource::Bytes(70001));
            for (int children : {1, 2, 3, 7, 10, 40}) {
                std::string storageName = "Storage" + std::to_string(children);
                auto storage = writer.AddStorage(CompoundFileWriter::kRoot, storageName, nestedClass);
                expectedStorages[storageName] = "00020D0B-0000-0000-C000-000000000046";
                for (int i = 0; i < children; ++i) {
                    std::string name = std::string(1 + i % 5, i % 2 ? 'x' : 'Y') + std::to_string(i);
                    std::string data = "child " + std::to_string(i);
                    writer.AddStream(storage, name, data);
                    expectedStreams[storageName + "/" + name] = DumpedBinary(data);
                }
            }
            auto outer = writer.AddStorage(CompoundFileWriter::kRoot, "outer");
            auto inner = writer.AddStorage(outer, "inner");
            writer.AddStream(inner, "deep", "deep data");
            expectedStreams["outer/inner/deep"] = DumpedBinary("deep data");
            expectedStorages["outer"] = "";
            expectedStorages["outer/inner"] = "";
            writer.Commit();
        }
        nlohmann::json dump = MsgFileTest::DumpWithOlefile(dir / "tree.cfb", true);
        EXPECT_EQ(dump["version"], static_cast<int>(version));
        EXPECT_EQ(dump["problems"], nlohmann::json::array());
        using Names = std::map<std::string, std::string>;
        EXPECT_EQ(dump["streams"].get<Names>(), expectedStreams);
        expectedStorages[""] = "00020D0B-0000-0000-C000-000000000046";
        EXPECT_EQ(dump["storages"].get<Names>(), expectedStorages);
    }
}

// More than 109 FAT sectors: the rest are listed in DIFAT sectors.
TEST(CompoundFileWriter, LargeStreamIsCopiedInPiecesWithDifatSectors) {
    TestSupport::TempDir dir;
    const uint64_t size = 7'500'000;
    {
        CompoundFileWriter writer(dir / "large.cfb");
        PatternSource source(size, 65536 + 17);
        EXPECT_EQ(writer.AddStream(CompoundFileWriter::kRoot, "large", source), size);
        writer.AddStream(CompoundFileWriter::kRoot, "small", "after the large one");
        writer.Commit();
    }
    std::string file = TestSupport::ReadFile(dir / "large.cfb");
    EXPECT_GT(HeaderField(file, 44), 109u) << "FAT sectors";
    EXPECT_GE(HeaderField(file, 72), 1u) << "DIFAT sectors";
    EXPECT_EQ(file.size() % 512, 0u);
    nlohmann::json dump = MsgFileTest::DumpWithOlefile(dir / "large.cfb", true);
    EXPECT_EQ(dump["problems"], nlohmann::json::array());
    EXPECT_EQ(dump["streams"]["large"], DumpedBinary(PatternSource::Bytes(size)));
    EXPECT_EQ(dump["streams"]["small"], DumpedBinary("after the large one"));
}

TEST(CompoundFileWriter, FileAppearsWithMode0600OnlyWhenCommitted) {
    TestSupport::TempDir dir;
    TestSupport::WriteFile(dir / "copy.msg", "an older copy");
    {
        CompoundFileWriter writer(dir / "copy.msg");
        writer.AddStream(CompoundFileWriter::kRoot, "data", "new");
        EXPECT_EQ(TestSupport::ReadFile(dir / "copy.msg"), "an older copy");
        writer.Commit();
    }
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"copy.msg"});
    EXPECT_EQ(TestSupport::ReadFile(dir / "copy.msg").substr(0, 4), "\xD0\xCF\x11\xE0");
    struct stat status {};
    ASSERT_EQ(stat((dir / "copy.msg").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST(CompoundFileWriter, FailedWriteLeavesNothingBehind) {
    TestSupport::TempDir dir;
    TestSupport::WriteFile(dir / "copy.msg", "an older copy");
    {
        CompoundFileWriter writer(dir / "copy.msg");
        writer.AddStream(CompoundFileWriter::kRoot, "first", "kept in memory");
        PatternSource broken(100000, 4096, 50000);
        EXPECT_THROW(writer.AddStream(CompoundFileWriter::kRoot, "broken", broken), std::runtime_error);
        EXPECT_THROW(writer.Commit(), std::logic_error) << "a half-copied stream must never be committed";
    }
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"copy.msg"});
    EXPECT_EQ(TestSupport::ReadFile(dir / "copy.msg"), "an older copy");

    try {
        CompoundFileWriter writer(dir / "missing" / "copy.msg");
        FAIL() << "a file in a missing folder was created";
    } catch (const cfb::CompoundFileError& error) {
        EXPECT_NE(std::string(error.what()).find("missing/copy.msg"), std::string::npos) << error.what();
    }
}

TEST(CompoundFileWriter, BadNamesAreRefused) {
    TestSupport::TempDir dir;
    CompoundFileWriter writer(dir / "names.cfb");
    writer.AddStream(CompoundFileWriter::kRoot, "Taken", "x");
    for (std::string name :
         {std::string(), std::string(32, 'a'), std::string("a/b"), std::string("a\\b"), std::string("a:b"),
          std::string("a!"), std::string("\xC3\xA4"), std::string("TAKEN"), std::string("taken")}) {
        SCOPED_TRACE(name);
        EXPECT_THROW(writer.AddStream(CompoundFileWriter::kRoot, name, "y"), std::invalid_argument);
        EXPECT_THROW(writer.AddStorage(CompoundFileWriter::kRoot, name), std::invalid_argument);
    }
    writer.AddStream(CompoundFileWriter::kRoot, std::string(31, 'a'), "the longest name");
    writer.Commit();
    nlohmann::json dump = MsgFileTest::DumpWithOlefile(dir / "names.cfb", true);
    EXPECT_EQ(dump["streams"].size(), 2u);
}

}  // namespace
