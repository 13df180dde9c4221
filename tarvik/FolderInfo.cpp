#include "tarvik/FolderInfo.h"

#include <charconv>

namespace Tarvik::Mail {

int64_t ParseDecimal(const std::optional<std::string>& text) {
    if (!text) {
        return 0;
    }
    std::string_view digits(*text);
    size_t start = digits.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        return 0;
    }
    digits.remove_prefix(start);
    if (digits.starts_with('+')) {
        digits.remove_prefix(1);
    }
    int64_t value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return error == std::errc() ? value : 0;
}

std::unique_ptr<FolderInfo> FolderInfo::Parse(std::shared_ptr<const Xml::Document> response, Xml::Node node) {
    auto folder = std::make_unique<FolderInfo>();
    folder->response = std::move(response);
    folder->node = node;
    std::optional<std::string> id = node.Attribute("id");
    folder->id = id ? ParseDecimal(id) : -1;
    if (folder->id == 1) {
        folder->parentId = 1;
        return folder;
    }
    std::optional<std::string> parent = node.Attribute("l");
    folder->parentId = parent ? ParseDecimal(parent) : -1;
    folder->name = node.Attribute("name");
    folder->view = node.Attribute("view");
    return folder;
}

}  // namespace Tarvik::Mail
