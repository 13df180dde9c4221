// pstdump: prints what a PST file holds.
//
//   pstdump FILE              header facts and the folder tree with item counts by message class
//   pstdump --item NID FILE   every property of one item (message, folder or the store: 0x21),
//                             with its recipients and attachments
//   --json                    the same as JSON for machines
//
// Exits 1 with a message naming the file when the file cannot be read; damaged folders or items
// are reported in the output and the rest is still listed.

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "pst/PropTags.h"
#include "pst/PstFile.h"
#include "tools/PropertyNames.h"

using nlohmann::ordered_json;

namespace {

constexpr int kMaxFolderDepth = 64;

std::string MessageClassOf(const pst::TableRow& row, uint32_t codepage) {
    for (uint16_t type : {pst::PropType::Unicode, pst::PropType::String8}) {
        if (const auto* v = row.Find(pst::MakeTag(0x001A, type))) {
            return v->AsText(codepage);
        }
    }
    return "";
}

struct Walker {
    pst::PstFile& file;
    std::set<uint32_t> visited;
    int problems = 0;

    ordered_json Folder(uint32_t nid, int depth) {
        ordered_json out;
        out["nid"] = nid;
        if (depth > kMaxFolderDepth || !visited.insert(nid).second) {
            out["error"] = "folder loop or runaway depth; not followed";
            ++problems;
            return out;
        }
        try {
            pst::Folder folder = file.OpenFolder(nid);
            out["name"] = folder.DisplayName();
            if (folder.IsSearchFolder()) {
                out["search_folder"] = true;
                return out;
            }
            if (auto cls = folder.Properties().Get(pst::Tag::ContainerClass)) {
                out["container_class"] = cls->AsText();
            }
            Items(folder, out);
            ordered_json children = ordered_json::array();
            if (auto table = folder.HierarchyTable()) {
                for (size_t i = 0; i < table->RowCount(); ++i) {
                    try {
                        children.push_back(Folder(table->RowId(i), depth + 1));
                    } catch (const pst::Error& e) {
                        children.push_back({{"error", e.what()}});
                        ++problems;
                    }
                }
            }
            out["folders"] = children;
        } catch (const pst::Error& e) {
            out["error"] = e.what();
            ++problems;
        }
        return out;
    }

    void Items(const pst::Folder& folder, ordered_json& out) {
        std::map<std::string, int> byClass;
        int count = 0;
        if (auto table = folder.ContentsTable()) {
            const std::vector<uint32_t> columns = {0x001A001F, 0x001A001E};
            for (size_t i = 0; i < table->RowCount(); ++i) {
                try {
                    pst::TableRow row = table->ReadRow(i, &columns);
                    ++byClass[MessageClassOf(row, file.Codepage())];
                    ++count;
                } catch (const pst::Error& e) {
                    out["errors"].push_back(e.what());
                    ++problems;
                }
            }
        }
        out["items"] = count;
        out["by_class"] = byClass;
        if (auto table = folder.AssociatedContentsTable()) {
            out["associated_items"] = table->RowCount();
        }
    }
};

ordered_json Properties(const pst::PropertyContext& pc, pst::PstFile& file) {
    ordered_json out = ordered_json::object();
    for (const auto& entry : pc.Entries()) {
        std::string key = fmt::format("0x{:08X}", entry.Tag());
        if (std::string name = pstgen::NameOfTag(entry.Tag()); !name.empty()) {
            key += " " + name;
        }
        if (entry.id >= 0x8000) {
            if (const auto* named = file.Names().ById(entry.id)) {
                key += " " + named->guid.ToString() +
                       (named->isString ? " \"" + named->name + "\"" : fmt::format(" 0x{:X}", named->number));
            }
        }
        try {
            uint64_t size = pc.Size(entry);
            if (size > (1 << 20)) {
                out[key] = fmt::format("<{} {} bytes>", pst::TypeName(entry.type), size);
            } else {
                out[key] = pst::DescribeValue(pc.Decode(entry, 1 << 20), file.Codepage());
            }
        } catch (const pst::Error& e) {
            out[key] = std::string("<unreadable: ") + e.what() + ">";
        }
    }
    return out;
}

ordered_json TableRows(const std::optional<pst::TableContext>& table, pst::PstFile& file) {
    ordered_json rows = ordered_json::array();
    if (!table) {
        return rows;
    }
    for (size_t i = 0; i < table->RowCount(); ++i) {
        try {
            pst::TableRow row = table->ReadRow(i);
            ordered_json r;
            r["row_id"] = row.rowId;
            for (const auto& [tag, value] : row.values) {
                r[fmt::format("0x{:08X}", tag)] = pst::DescribeValue(value, file.Codepage());
            }
            rows.push_back(r);
        } catch (const pst::Error& e) {
            rows.push_back({{"error", e.what()}});
        }
    }
    return rows;
}

ordered_json MessageJson(const pst::Message& message, pst::PstFile& file, int depth) {
    ordered_json out;
    out["nid"] = message.Nid();
    out["properties"] = Properties(message.Properties(), file);
    out["recipients"] = TableRows(message.RecipientTable(), file);
    ordered_json attachments = ordered_json::array();
    if (auto table = message.AttachmentTable()) {
        for (size_t i = 0; i < table->RowCount(); ++i) {
            try {
                pst::Attachment a = message.OpenAttachment(table->RowId(i));
                ordered_json aj;
                aj["nid"] = a.Nid();
                aj["properties"] = Properties(a.Properties(), file);
                if (a.HasEmbeddedMessage() && depth < 8) {
                    aj["embedded_message"] = MessageJson(a.OpenEmbeddedMessage(), file, depth + 1);
                }
                attachments.push_back(aj);
            } catch (const pst::Error& e) {
                attachments.push_back({{"error", e.what()}});
            }
        }
    }
    out["attachments"] = attachments;
    return out;
}

ordered_json Item(pst::PstFile& file, uint32_t nid) {
    if (nid == pst::Nid::MessageStore) {
        return {{"nid", nid}, {"properties", Properties(file.StoreProperties(), file)}};
    }
    uint8_t type = pst::NidTypeOf(nid);
    if (type == pst::NidType::NormalFolder || type == pst::NidType::SearchFolder) {
        pst::Folder folder = file.OpenFolder(nid);
        return {{"nid", nid}, {"properties", Properties(folder.Properties(), file)}};
    }
    return MessageJson(file.OpenMessage(nid), file, 0);
}

void PrintFolderText(const ordered_json& folder, int depth) {
    std::string indent(depth * 2, ' ');
    std::string name = folder.contains("name") ? folder["name"].get<std::string>() : "?";
    std::printf("%s%s [nid 0x%x]", indent.c_str(), name.c_str(), folder["nid"].get<uint32_t>());
    if (folder.contains("search_folder")) {
        std::printf(" (search folder)");
    }
    if (folder.contains("items")) {
        std::printf(": %d items", folder["items"].get<int>());
        for (const auto& [cls, n] : folder["by_class"].items()) {
            std::printf(", %s %d", cls.empty() ? "(no class)" : cls.c_str(), n.get<int>());
        }
        if (folder.contains("associated_items") && folder["associated_items"].get<int>() > 0) {
            std::printf(", %d associated", folder["associated_items"].get<int>());
        }
    }
    std::printf("\n");
    if (folder.contains("error")) {
        std::printf("%s  error: %s\n", indent.c_str(), folder["error"].get<std::string>().c_str());
    }
    if (folder.contains("errors")) {
        for (const auto& e : folder["errors"]) {
            std::printf("%s  error: %s\n", indent.c_str(), e.get<std::string>().c_str());
        }
    }
    if (folder.contains("folders")) {
        for (const auto& child : folder["folders"]) {
            PrintFolderText(child, depth + 1);
        }
    }
}

int Usage() {
    std::fprintf(stderr, "usage: pstdump [--json] [--item NID] FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool json = false;
    std::optional<uint32_t> item;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--json") {
            json = true;
        } else if (arg == "--item" && i + 1 < argc) {
            item = static_cast<uint32_t>(std::stoul(argv[++i], nullptr, 0));
        } else if (!arg.empty() && arg[0] != '-' && path.empty()) {
            path = arg;
        } else {
            return Usage();
        }
    }
    if (path.empty()) {
        return Usage();
    }
    try {
        pst::PstFile file(path);
        if (item) {
            std::printf("%s\n", Item(file, *item).dump(2).c_str());
            return 0;
        }
        ordered_json out;
        const auto& h = file.GetHeader();
        out["file"] = path;
        out["format"] = pst::FormatName(h.format);
        out["kind"] = h.clientMagic == "SO" ? "OST" : h.clientMagic == "AB" ? "PAB" : "PST";
        out["encryption"] = pst::EncryptionName(h.encryption);
        if (auto crc = file.PasswordCrc()) {
            out["password_crc"] = fmt::format("0x{:08x}", *crc);
        }
        if (auto name = file.StoreProperties().Get(pst::Tag::DisplayName)) {
            out["store_name"] = name->AsText();
        }
        Walker walker{file, {}, 0};
        out["root"] = walker.Folder(file.RootFolderNid(), 0);
        out["problems"] = walker.problems;
        if (json) {
            std::printf("%s\n", out.dump(2).c_str());
        } else {
            std::printf(
                "file: %s\nformat: %s %s, encryption %s%s\n", path.c_str(),
                out["format"].get<std::string>().c_str(), out["kind"].get<std::string>().c_str(),
                out["encryption"].get<std::string>().c_str(),
                out.contains("password_crc")
                    ? (", password-protected (CRC " + out["password_crc"].get<std::string>() + ")").c_str()
                    : "");
            PrintFolderText(out["root"], 0);
            if (walker.problems > 0) {
                std::printf("%d problems found\n", walker.problems);
            }
        }
        return 0;
    } catch (const pst::Error& e) {
        std::fprintf(stderr, "pstdump: %s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pstdump: %s: %s\n", path.c_str(), e.what());
        return 1;
    }
}
