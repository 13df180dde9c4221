#pragma once
// Folders and tags as the server lists them.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "xml/Document.h"

namespace Tarvik::Mail {

// One folder element of a GetFolderResponse. It keeps the whole answer alive, so that the folder's
// children can be looked up from it (Mailbox::FindChildFolder).
struct FolderInfo {
    std::shared_ptr<const Xml::Document> response;
    Xml::Node node;
    std::optional<std::string> name;  // absent for the root
    int64_t id = -1;
    int64_t parentId = -1;
    std::optional<std::string> view;

    // Reads a folder element; the root (id 1) is its own parent and has no name.
    static std::unique_ptr<FolderInfo> Parse(std::shared_ptr<const Xml::Document> response, Xml::Node node);
};

struct Tag {
    std::string name;
    int64_t id = -1;
};

using TagList = std::vector<Tag>;

// The leading decimal number of a text (as the server writes ids and sizes), or 0.
int64_t ParseDecimal(const std::optional<std::string>& text);

}  // namespace Tarvik::Mail
