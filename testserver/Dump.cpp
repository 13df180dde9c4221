#include "testserver/Dump.h"

#include <algorithm>
#include <limits>
#include <map>
#include <tuple>

#include "runtime/Utf8.h"
#include "testserver/Encoding.h"
#include "testserver/Names.h"

namespace Tarvik::TestServer {

namespace {

using Json = nlohmann::ordered_json;

// Folder id -> path ("/" for the root, "/Inbox/Sub" below it).
std::map<int64_t, std::string> FolderPaths(const std::vector<FolderRecord>& folders) {
    std::map<int64_t, const FolderRecord*> byId;
    for (const FolderRecord& folder : folders) {
        byId[folder.id] = &folder;
    }
    std::map<int64_t, std::string> paths;
    for (const FolderRecord& folder : folders) {
        std::string path;
        for (const FolderRecord* at = &folder; at->id != RootFolderId; at = byId.at(at->parentId)) {
            path = "/" + at->name + path;
        }
        paths[folder.id] = path.empty() ? "/" : path;
    }
    return paths;
}

Json TagNames(const std::string& list, const std::map<int64_t, std::string>& names) {
    Json tags = Json::array();
    for (size_t start = 0; !list.empty() && start <= list.size();) {
        size_t comma = list.find(',', start);
        std::optional<int64_t> id = ParseDecimal(list.substr(start, comma - start));
        tags.push_back(id && names.contains(*id) ? names.at(*id) : list.substr(start, comma - start));
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return tags;
}

// Bytes as text when they are UTF-8, else as base64, under the matching key.
void PutBytes(Json& object, const char* textKey, const char* base64Key, const std::string& bytes) {
    if (Utf8::IsValid(bytes)) {
        object[textKey] = bytes;
    } else {
        object[base64Key] = Base64Encode(bytes);
    }
}

Json BlobJson(const BlobRecord& blob, const DumpOptions& options) {
    Json json{{"position", blob.position},
              {"filename", blob.filename},
              {"contentType", blob.contentType},
              {"size", blob.content.size()},
              {"sha256", Sha256Hex(blob.content)}};
    if (options.withBytes) {
        json["base64"] = Base64Encode(blob.content);
    }
    return json;
}

template <typename Key>
void SortBy(Json& array, Key key) {
    std::vector<Json> items(array.begin(), array.end());
    std::stable_sort(items.begin(), items.end(),
                     [&](const Json& a, const Json& b) { return key(a) < key(b); });
    array = Json(items);
}

Json AccountJson(Store::Transaction& transaction, const AccountRecord& account, const DumpOptions& options) {
    std::vector<FolderRecord> folderRecords = transaction.Folders(account.id);
    std::map<int64_t, std::string> paths = FolderPaths(folderRecords);

    Json folders = Json::array();
    for (const FolderRecord& folder : folderRecords) {
        Json json{{"path", paths[folder.id]}, {"id", folder.id}};
        if (!folder.view.empty())
            json["view"] = folder.view;
        if (folder.color)
            json["color"] = *folder.color;
        if (!folder.flags.empty())
            json["flags"] = folder.flags;
        folders.push_back(json);
    }
    SortBy(folders, [](const Json& folder) { return folder["path"].get<std::string>(); });

    Json tags = Json::array();
    std::map<int64_t, std::string> tagNames;
    for (const TagRecord& tag : transaction.Tags(account.id)) {
        tagNames[tag.id] = tag.name;
        tags.push_back(Json{{"name", tag.name}, {"id", tag.id}, {"color", tag.color}});
    }
    SortBy(tags, [](const Json& tag) { return FoldCase(tag["name"].get<std::string>()); });

    Json messages = Json::array();
    for (const MessageRecord& message : transaction.Messages(account.id)) {
        Json json{{"folder", paths[message.folderId]},
                  {"id", message.id},
                  {"flags", message.flags},
                  {"tags", TagNames(message.tags, tagNames)}};
        json["date"] = message.date ? Json(*message.date) : Json(nullptr);
        json["dateUtc"] = message.date ? Json(FormatUtcMillis(*message.date)) : Json(nullptr);
        json["subject"] = message.subject;
        json["messageId"] = message.messageId;
        json["size"] = message.mime.size();
        json["sha256"] = Sha256Hex(message.mime);
        if (options.withBytes) {
            PutBytes(json, "mime", "mimeBase64", message.mime);
        }
        messages.push_back(json);
    }
    SortBy(messages, [](const Json& m) {
        int64_t date = m["date"].is_null() ? std::numeric_limits<int64_t>::min() : m["date"].get<int64_t>();
        return std::make_tuple(m["folder"].get<std::string>(), date, m["sha256"].get<std::string>());
    });

    Json contacts = Json::array();
    for (const ContactRecord& contact : transaction.Contacts(account.id)) {
        Json json{{"folder", paths[contact.folderId]},
                  {"id", contact.id},
                  {"tags", TagNames(contact.tags, tagNames)},
                  {"attributes", Json::parse(contact.attributes)}};
        for (const BlobRecord& blob : transaction.Blobs(account.id, contact.id)) {
            json["image"] = BlobJson(blob, options);
        }
        contacts.push_back(json);
    }
    SortBy(contacts, [](const Json& c) {
        return std::make_pair(c["folder"].get<std::string>(), c["attributes"].dump());
    });

    Json appointments = Json::array();
    Json tasks = Json::array();
    for (const CalendarRecord& item : transaction.CalendarItems(account.id)) {
        Json json{{"folder", paths[item.folderId]},
                  {"id", item.id},
                  {"uid", item.uid},
                  {"parsed", Json::parse(item.parsed)},
                  {"request", item.request}};
        Json attachments = Json::array();
        for (const BlobRecord& blob : transaction.Blobs(account.id, item.id)) {
            attachments.push_back(BlobJson(blob, options));
        }
        if (!attachments.empty()) {
            json["attachments"] = attachments;
        }
        (item.kind == "task" ? tasks : appointments).push_back(json);
    }
    auto byFolderAndUid = [](const Json& c) {
        return std::make_pair(c["folder"].get<std::string>(), c["uid"].get<std::string>());
    };
    SortBy(appointments, byFolderAndUid);
    SortBy(tasks, byFolderAndUid);

    return Json{
        {"name", account.name}, {"used", account.used}, {"folders", folders},           {"tags", tags},
        {"messages", messages}, {"contacts", contacts}, {"appointments", appointments}, {"tasks", tasks}};
}

}  // namespace

std::optional<nlohmann::ordered_json> DumpAccount(Store& store, const std::string& account,
                                                  const DumpOptions& options) {
    auto transaction = store.Begin();
    for (const AccountRecord& record : transaction->Accounts()) {
        if (FoldCase(record.name) == FoldCase(account)) {
            return AccountJson(*transaction, record, options);
        }
    }
    return std::nullopt;
}

nlohmann::ordered_json DumpAll(Store& store, const DumpOptions& options) {
    auto transaction = store.Begin();
    Json accounts = Json::array();
    for (const AccountRecord& record : transaction->Accounts()) {
        accounts.push_back(AccountJson(*transaction, record, options));
    }
    return Json{{"accounts", accounts}};
}

}  // namespace Tarvik::TestServer
