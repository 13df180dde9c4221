// libFuzzer target: opens arbitrary bytes as a PST file and reads everything reachable. Any crash,
// hang, leak or exception other than pst::Error is a finding.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <set>
#include <string>

#include "pst/PstFile.h"

namespace {

constexpr size_t kMaxRows = 200;
constexpr int kMaxDepth = 6;

void Properties(const pst::PropertyContext& pc) {
    for (const auto& entry : pc.Entries()) {
        try {
            auto stream = pc.OpenStream(entry);
            uint8_t buffer[4096];
            for (int i = 0; i < 64 && stream->Read(buffer, sizeof buffer) > 0; ++i) {
            }
            pc.Decode(entry, 1 << 20);
        } catch (const pst::Error&) {
        }
    }
}

void Table(const std::optional<pst::TableContext>& table) {
    for (size_t i = 0; table && i < std::min(table->RowCount(), kMaxRows); ++i) {
        try {
            table->ReadRow(i);
        } catch (const pst::Error&) {
        }
    }
}

void Message(const pst::Message& m, int depth) {
    Properties(m.Properties());
    Table(m.RecipientTable());
    auto attachments = m.AttachmentTable();
    Table(attachments);
    for (size_t i = 0; attachments && i < std::min(attachments->RowCount(), kMaxRows); ++i) {
        try {
            pst::Attachment a = m.OpenAttachment(attachments->RowId(i));
            Properties(a.Properties());
            if (a.HasEmbeddedMessage() && depth < kMaxDepth) {
                Message(a.OpenEmbeddedMessage(), depth + 1);
            }
        } catch (const pst::Error&) {
        }
    }
}

void Folder(pst::PstFile& file, uint32_t nid, int depth, std::set<uint32_t>& seen) {
    if (depth > kMaxDepth || !seen.insert(nid).second || seen.size() > 64) {
        return;
    }
    try {
        pst::Folder folder = file.OpenFolder(nid);
        Properties(folder.Properties());
        auto contents = folder.ContentsTable();
        Table(contents);
        for (size_t i = 0; contents && i < std::min(contents->RowCount(), kMaxRows); ++i) {
            try {
                Message(file.OpenMessage(contents->RowId(i)), 0);
            } catch (const pst::Error&) {
            }
        }
        Table(folder.AssociatedContentsTable());
        auto hierarchy = folder.HierarchyTable();
        for (size_t i = 0; hierarchy && i < std::min(hierarchy->RowCount(), kMaxRows); ++i) {
            try {
                Folder(file, hierarchy->RowId(i), depth + 1, seen);
            } catch (const pst::Error&) {
            }
        }
    } catch (const pst::Error&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int fd = memfd_create("pst", MFD_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    for (size_t done = 0; done < size;) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) {
            close(fd);
            return 0;
        }
        done += static_cast<size_t>(n);
    }
    try {
        // Checksums off: mutations would otherwise rarely get past them to the structures behind.
        pst::PstFile file("/proc/self/fd/" + std::to_string(fd), {1 << 20, false});
        file.Names();
        std::set<uint32_t> seen;
        Folder(file, file.RootFolderNid(), 0, seen);
        size_t nodes = 0;
        file.Database().ForEachNode([&](const pst::Node&) { ++nodes; });
    } catch (const pst::Error&) {
    }
    close(fd);
    return 0;
}
