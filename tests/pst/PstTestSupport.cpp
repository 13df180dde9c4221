#include "tests/pst/PstTestSupport.h"

#include <fstream>
#include <set>

#include "tests/support/TestSupport.h"
#include "tools/Description.h"

namespace PstTest {

std::filesystem::path FixtureDir() {
    return TestSupport::SourceDir() / "tests/pst/fixtures";
}

void Build(const nlohmann::json& description, const std::filesystem::path& path) {
    pstgen::WriteDescription(description, FixtureDir(), path.string());
}

nlohmann::json LoadFixture(const std::string& name) {
    std::ifstream in(FixtureDir() / name);
    return nlohmann::json::parse(in);
}

namespace {

struct Walker {
    pst::PstFile& file;
    WalkResult result;
    std::set<uint32_t> seen;

    void Report(const std::exception& e) { result.problems.push_back(e.what()); }

    void Properties(const pst::PropertyContext& pc) {
        for (const auto& entry : pc.Entries()) {
            try {
                auto stream = pc.OpenStream(entry);
                uint8_t buffer[65536];
                while (stream->Read(buffer, sizeof buffer) > 0) {
                }
                if (pc.Size(entry) <= pst::PropertyContext::kDefaultValueLimit) {
                    pc.Decode(entry, pst::PropertyContext::kDefaultValueLimit);
                }
            } catch (const pst::Error& e) {
                Report(e);
            }
        }
    }

    void Table(const pst::TableContext& table) {
        for (size_t i = 0; i < table.RowCount(); ++i) {
            try {
                table.ReadRow(i);
            } catch (const pst::Error& e) {
                Report(e);
            }
        }
    }

    void Message(const pst::Message& m, int depth) {
        ++result.messages;
        Properties(m.Properties());
        if (auto r = m.RecipientTable()) {
            Table(*r);
        }
        auto attachments = m.AttachmentTable();
        if (!attachments) {
            return;
        }
        Table(*attachments);
        for (size_t i = 0; i < attachments->RowCount(); ++i) {
            try {
                pst::Attachment a = m.OpenAttachment(attachments->RowId(i));
                ++result.attachments;
                Properties(a.Properties());
                if (a.HasEmbeddedMessage() && depth < 8) {
                    Message(a.OpenEmbeddedMessage(), depth + 1);
                }
            } catch (const pst::Error& e) {
                Report(e);
            }
        }
    }

    void Folder(uint32_t nid, const std::string& path, int depth) {
        if (depth > 32 || !seen.insert(nid).second) {
            result.problems.push_back("folder loop at " + path);
            return;
        }
        pst::Folder folder = file.OpenFolder(nid);
        if (folder.IsSearchFolder()) {
            ++result.searchFolders;
            return;
        }
        Properties(folder.Properties());
        if (auto contents = folder.ContentsTable()) {
            result.items[path] = contents->RowCount();
            for (size_t i = 0; i < contents->RowCount(); ++i) {
                try {
                    contents->ReadRow(i);
                    Message(file.OpenMessage(contents->RowId(i)), 0);
                } catch (const pst::Error& e) {
                    Report(e);
                }
            }
        }
        if (auto hierarchy = folder.HierarchyTable()) {
            for (size_t i = 0; i < hierarchy->RowCount(); ++i) {
                try {
                    uint32_t child = hierarchy->RowId(i);
                    std::string name = file.OpenFolder(child).DisplayName();
                    Folder(child, path + "/" + name, depth + 1);
                } catch (const pst::Error& e) {
                    Report(e);
                }
            }
        }
    }
};

}  // namespace

WalkResult WalkEverything(pst::PstFile& file) {
    Walker w{file, {}, {}};
    w.Folder(file.RootFolderNid(), "", 0);
    return w.result;
}

}  // namespace PstTest
