#include "mapi/PstMessageWalk.h"

#include <strings.h>

#include "pst/Error.h"
#include "pst/Folder.h"
#include "pst/PropTags.h"

namespace Tarvik::MAPI {

namespace {

bool StartsWithIgnoreCase(const std::string& text, std::string_view prefix) {
    return text.size() >= prefix.size() && strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

using FailedFn = std::function<void(const std::string&, uint32_t, const std::string&)>;

void WalkFolder(pst::PstFile& file, uint32_t nid, const std::string& path,
                const std::function<void(const WalkedMessage&)>& visit, const FailedFn& failed, int depth) {
    // Folder trees are shallow; a deeper one is a loop in a damaged file.
    constexpr int MaxDepth = 64;
    try {
        pst::Folder folder = file.OpenFolder(nid);
        if (folder.IsSearchFolder() || depth > MaxDepth) {
            return;
        }
        std::optional<pst::TableContext> contents = folder.ContentsTable();
        for (size_t i = 0; contents && i < contents->RowCount(); ++i) {
            uint32_t messageNid = 0;
            try {
                messageNid = contents->ReadRow(i).rowId;
                pst::Message message = file.OpenMessage(messageNid);
                visit(WalkedMessage{path, messageNid, message, file.GetHeader().format != pst::Format::Ansi});
            } catch (const pst::Error& error) {
                failed(path, messageNid, error.what());
            }
        }
        std::optional<pst::TableContext> hierarchy = folder.HierarchyTable();
        for (size_t i = 0; hierarchy && i < hierarchy->RowCount(); ++i) {
            uint32_t child = hierarchy->ReadRow(i).rowId;
            std::string name = file.OpenFolder(child).DisplayName();
            WalkFolder(file, child, path.empty() ? name : path + "/" + name, visit, failed, depth + 1);
        }
    } catch (const pst::Error& error) {
        failed(path, nid, error.what());
    }
}

}  // namespace

bool WalkedMessage::IsMail() const {
    std::optional<pst::Value> value =
        message.Properties().Get(pst::MakeTag(0x001A, pst::PropType::Unspecified));
    std::string messageClass = value ? value->AsText() : std::string();
    return StartsWithIgnoreCase(messageClass, "IPM.Note") || StartsWithIgnoreCase(messageClass, "IPM.Post") ||
           strcasecmp(messageClass.c_str(), "IPM") == 0 ||
           messageClass.find("IPM.Schedule") != std::string::npos;
}

void WalkPstMessages(pst::PstFile& file, const std::function<void(const WalkedMessage&)>& visit,
                     const FailedFn& failed) {
    WalkFolder(file, file.RootFolderNid(), "", visit, failed, 0);
}

}  // namespace Tarvik::MAPI
