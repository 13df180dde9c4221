#include "testserver/FolderOperations.h"

#include <map>
#include <set>

#include "testserver/Fault.h"
#include "testserver/Names.h"

namespace Tarvik::TestServer::FolderOperations {

namespace {

constexpr int64_t MaxColor = 9;

void WriteFolderAttributes(XmlWriter& out, const FolderRecord& folder) {
    out.Attribute("id", folder.id).Attribute("name", folder.name).Attribute("l", folder.parentId);
    if (!folder.view.empty()) {
        out.Attribute("view", folder.view);
    }
    if (folder.color) {
        out.Attribute("color", *folder.color);
    }
    if (!folder.flags.empty()) {
        out.Attribute("f", folder.flags);
    }
}

void WriteTree(XmlWriter& out, const FolderRecord& folder,
               const std::multimap<int64_t, FolderRecord>& children) {
    out.Open("folder");
    WriteFolderAttributes(out, folder);
    auto [begin, end] = children.equal_range(folder.id);
    for (auto child = begin; child != end; ++child) {
        WriteTree(out, child->second, children);
    }
    out.Close();
}

void OnlyAttributes(const Xml::Node& element, const std::set<std::string>& allowed) {
    for (const auto& [name, value] : element.Attributes()) {
        if (!allowed.contains(name)) {
            throw Faults::InvalidRequest("unexpected attribute " + name + " of " + element.LocalName());
        }
    }
    if (!element.ChildElements().empty()) {
        throw Faults::InvalidRequest("unexpected content in " + element.LocalName());
    }
}

std::optional<int64_t> OptionalColor(const Xml::Node& element) {
    std::optional<std::string> text = element.Attribute("color");
    if (!text) {
        return std::nullopt;
    }
    int64_t color = ParseNumber(*text, "color");
    if (color < 0 || color > MaxColor) {
        throw Faults::InvalidRequest("color must be between 0 and 9: " + *text);
    }
    return color;
}

}  // namespace

void GetFolder(OperationContext& context, const Xml::Node& request, XmlWriter& out) {
    if (!request.ChildElements().empty()) {
        throw Faults::InvalidRequest("GetFolderRequest takes no arguments here");
    }
    std::vector<FolderRecord> folders;
    {
        auto transaction = context.server.store.Begin();
        folders = transaction->Folders(context.target->id);
    }
    std::multimap<int64_t, FolderRecord> children;
    const FolderRecord* root = nullptr;
    for (const FolderRecord& folder : folders) {
        if (folder.id == RootFolderId) {
            root = &folder;
        } else {
            children.emplace(folder.parentId, folder);
        }
    }
    OpenResponse(out, "GetFolderResponse", MailNs, context.batchId);
    WriteTree(out, *root, children);
    out.Close();
}

void CreateFolder(OperationContext& context, const Xml::Node& request, XmlWriter& out) {
    Xml::Node element = RequiredChild(request, "folder");
    OnlyAttributes(element, {"name", "l", "view", "color", "f"});
    FolderRecord folder;
    folder.name = RequiredAttribute(element, "name");
    CheckItemName(folder.name);
    folder.view = element.Attribute("view").value_or("");
    static const std::set<std::string> views = {"",        "message",     "conversation",
                                                "contact", "appointment", "task"};
    if (!views.contains(folder.view)) {
        throw Faults::InvalidRequest("unknown folder view " + folder.view);
    }
    folder.color = OptionalColor(element);
    folder.flags = element.Attribute("f").value_or("");
    if (folder.flags.find_first_not_of("#*!b") != std::string::npos) {
        throw Faults::InvalidRequest("unknown folder flags " + folder.flags);
    }
    auto transaction = context.server.store.Begin();
    folder.parentId = ExistingFolder(*transaction, *context.target, RequiredAttribute(element, "l")).id;
    if (transaction->ChildFolder(context.target->id, folder.parentId, FoldCase(folder.name))) {
        throw Faults::AlreadyExists(folder.name);
    }
    folder.id = transaction->NewItemId(context.target->id);
    transaction->InsertFolder(context.target->id, folder);
    transaction->Commit();
    OpenResponse(out, "CreateFolderResponse", MailNs, context.batchId).Open("folder");
    WriteFolderAttributes(out, folder);
    out.Close().Close();
}

void GetTag(OperationContext& context, const Xml::Node& request, XmlWriter& out) {
    if (!request.ChildElements().empty()) {
        throw Faults::InvalidRequest("GetTagRequest takes no arguments");
    }
    std::vector<TagRecord> tags;
    {
        auto transaction = context.server.store.Begin();
        tags = transaction->Tags(context.target->id);
    }
    OpenResponse(out, "GetTagResponse", MailNs, context.batchId);
    for (const TagRecord& tag : tags) {
        out.Open("tag")
            .Attribute("id", tag.id)
            .Attribute("name", tag.name)
            .Attribute("color", tag.color)
            .Close();
    }
    out.Close();
}

void CreateTag(OperationContext& context, const Xml::Node& request, XmlWriter& out) {
    Xml::Node element = RequiredChild(request, "tag");
    OnlyAttributes(element, {"name", "color"});
    std::string name = RequiredAttribute(element, "name");
    CheckItemName(name);
    int64_t color = OptionalColor(element).value_or(0);
    auto transaction = context.server.store.Begin();
    if (transaction->TagByName(context.target->id, FoldCase(name))) {
        throw Faults::AlreadyExists(name);
    }
    if (transaction->Tags(context.target->id).size() >= static_cast<size_t>(context.server.config.maxTags)) {
        throw Faults::TooManyTags(context.server.config.maxTags);
    }
    TagRecord tag = transaction->InsertTag(context.target->id, name, color);
    transaction->Commit();
    OpenResponse(out, "CreateTagResponse", MailNs, context.batchId);
    out.Open("tag").Attribute("id", tag.id).Attribute("name", tag.name).Attribute("color", tag.color).Close();
    out.Close();
}

}  // namespace Tarvik::TestServer::FolderOperations
