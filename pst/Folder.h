#pragma once
// A folder: its properties and its hierarchy, contents and associated contents tables. Rows of the
// hierarchy table are subfolders, rows of the contents tables messages; each row's rowId is the
// NID of that object. Search folders are recognised (IsSearchFolder) and have no tables here.

#include <optional>
#include <string>

#include "pst/PropertyContext.h"
#include "pst/TableContext.h"

namespace pst {

class Folder {
  public:
    Folder(NodeDatabase& db, const Node& node);

    uint32_t Nid() const { return properties_.Nid(); }
    bool IsSearchFolder() const;
    const PropertyContext& Properties() const { return properties_; }
    std::string DisplayName() const;

    // The tables; nothing when the folder has no such table node (search folders have none).
    std::optional<TableContext> HierarchyTable() const;
    std::optional<TableContext> ContentsTable() const;
    std::optional<TableContext> AssociatedContentsTable() const;

  private:
    std::optional<TableContext> Table(uint8_t type) const;

    NodeDatabase& db_;
    PropertyContext properties_;
};

}  // namespace pst
