#include "tarvik/MailRequests.h"

#include <atomic>

#include "tarvik/TarvikException.h"
#include "tarvik/Vocabulary.h"

namespace Tarvik::Rpc {

namespace {

std::atomic<int64_t> calendarColorCounter{0};

int64_t NextCalendarColor() {
    return (calendarColorCounter.fetch_add(1) + 1) % 8;
}

void SetTagsIfAny(Xml::Node element, const TagIds& tagIds) {
    if (!tagIds.empty()) {
        element.SetAttribute(Names::Tags, JoinTagIds(tagIds));
    }
}

}  // namespace

std::string JoinTagIds(const TagIds& tagIds) {
    std::string joined;
    for (int64_t id : tagIds) {
        if (!joined.empty()) {
            joined += ',';
        }
        joined += std::to_string(id);
    }
    return joined;
}

int64_t FileTimeToUnixMilliseconds(uint64_t fileTime) {
    constexpr int64_t unixEpochAsFileTime = 116444736000000000;
    return (static_cast<int64_t>(fileTime) - unixEpochAsFileTime) / 10000;
}

GetFolderRequest::GetFolderRequest() {
    AppendRequestElement(Names::GetFolderRequest, Ns::Mail);
}

GetTagRequest::GetTagRequest() {
    AppendRequestElement(Names::GetTagRequest, Ns::Mail);
}

CreateFolderRequest::CreateFolderRequest(std::string_view name, int64_t parentId, int kind) {
    Xml::Node folder =
        AppendRequestElement(Names::CreateFolderRequest, Ns::Mail).AppendElement(Names::Folder);
    folder.SetAttribute(Names::Name, name);
    switch (kind) {
        case FolderKind::Contacts:
            folder.SetAttribute(Names::View, "contact");
            break;
        case FolderKind::Calendar:
            folder.SetAttribute(Names::View, "appointment");
            folder.SetAttribute(Names::Color, std::to_string(NextCalendarColor()));
            folder.SetAttribute(Names::Flags, "#");
            break;
        case FolderKind::Tasks:
            folder.SetAttribute(Names::View, "task");
            break;
        default:
            break;
    }
    folder.SetAttribute(Names::FolderId, std::to_string(parentId));
}

CreateTagRequest::CreateTagRequest(std::string_view name, int32_t color) {
    Xml::Node tag = AppendRequestElement(Names::CreateTagRequest, Ns::Mail).AppendElement(Names::Tag);
    tag.SetAttribute(Names::Name, name);
    tag.SetAttribute(Names::Color, std::to_string(color));
}

CreateContactRequest::CreateContactRequest(const ContactAttributes& attributes, int64_t folderId,
                                           const TagIds& tagIds) {
    Xml::Node contact =
        AppendRequestElement(Names::CreateContactRequest, Ns::Mail).AppendElement(Names::Contact);
    contact.SetAttribute(Names::FolderId, std::to_string(folderId));
    SetTagsIfAny(contact, tagIds);
    bool anyValue = false;
    for (const auto& [name, value] : attributes) {
        if (value.empty()) {
            continue;
        }
        anyValue = true;
        Xml::Node attribute = contact.AppendElement(Names::ContactAttribute);
        if (name == Names::UploadId) {
            attribute.SetAttribute(Names::AttributeName, "image");
            attribute.SetAttribute(Names::UploadId, value);
        } else {
            attribute.SetAttribute(Names::AttributeName, name);
            attribute.SetText(value);
        }
    }
    if (!anyValue) {
        throw TarvikException("Contact has no fields.", "contact_no_fields");
    }
    ReloadWithoutControlCharacters();
}

AddMessageRequest::AddMessageRequest(std::string_view uploadId, int64_t folderId, std::string_view flags,
                                     const TagIds& tagIds, uint64_t fileTime) {
    Xml::Node message = AppendRequestElement(Names::AddMsgRequest, Ns::Mail).AppendElement(Names::Message);
    message.SetAttribute(Names::UploadId, uploadId);
    message.SetAttribute(Names::FolderId, std::to_string(folderId));
    message.SetAttribute(Names::Date, std::to_string(FileTimeToUnixMilliseconds(fileTime)));
    if (!flags.empty()) {
        message.SetAttribute(Names::Flags, flags);
    }
    SetTagsIfAny(message, tagIds);
}

}  // namespace Tarvik::Rpc
