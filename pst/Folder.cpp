#include "pst/Folder.h"

#include "pst/NodeIds.h"
#include "pst/PropTags.h"

namespace pst {

Folder::Folder(NodeDatabase& db, const Node& node) : db_(db), properties_(db, node) {}

bool Folder::IsSearchFolder() const {
    return NidTypeOf(Nid()) == NidType::SearchFolder;
}

std::string Folder::DisplayName() const {
    if (auto v = properties_.Get(MakeTag(TagId(Tag::DisplayName), PropType::Unspecified))) {
        return v->AsText();
    }
    return {};
}

std::optional<TableContext> Folder::Table(uint8_t type) const {
    if (IsSearchFolder()) {
        return std::nullopt;
    }
    auto node = db_.FindNode(FolderTableNid(Nid(), type));
    if (!node) {
        return std::nullopt;
    }
    try {
        return std::optional<TableContext>(std::in_place, db_, *node);
    } catch (const Error& e) {
        throw e.AtNode(node->nid).InFile(db_.Path());
    }
}

std::optional<TableContext> Folder::HierarchyTable() const {
    return Table(NidType::HierarchyTable);
}
std::optional<TableContext> Folder::ContentsTable() const {
    return Table(NidType::ContentsTable);
}
std::optional<TableContext> Folder::AssociatedContentsTable() const {
    return Table(NidType::AssociatedContentsTable);
}

}  // namespace pst
