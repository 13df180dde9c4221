#include "testserver/Operation.h"

#include "testserver/Encoding.h"
#include "testserver/Fault.h"

namespace Tarvik::TestServer {

std::string RequiredAttribute(const Xml::Node& element, std::string_view name) {
    std::optional<std::string> value = element.Attribute(name);
    if (!value) {
        throw Faults::InvalidRequest("missing attribute " + std::string(name) + " of " + element.LocalName());
    }
    return *value;
}

Xml::Node RequiredChild(const Xml::Node& element, std::string_view name) {
    std::vector<Xml::Node> children = element.ChildElements();
    if (children.size() != 1 || children.front().LocalName() != name) {
        throw Faults::InvalidRequest(element.LocalName() + " must hold exactly one " + std::string(name));
    }
    return children.front();
}

int64_t ParseNumber(std::string_view text, std::string_view what) {
    std::optional<int64_t> value = ParseDecimal(text);
    if (!value) {
        throw Faults::InvalidRequest("invalid number for " + std::string(what) + ": \"" + std::string(text) +
                                     "\"");
    }
    return *value;
}

FolderRecord ExistingFolder(Store::Transaction& transaction, const Account& account,
                            std::string_view idText) {
    std::optional<int64_t> id = ParseDecimal(idText);
    std::optional<FolderRecord> folder = id ? transaction.Folder(account.id, *id) : std::nullopt;
    if (!folder) {
        throw Faults::NoSuchFolder(std::string(idText));
    }
    return *folder;
}

FolderRecord ItemFolder(Store::Transaction& transaction, const Account& account, std::string_view idText) {
    FolderRecord folder = ExistingFolder(transaction, account, idText);
    if (folder.id == RootFolderId) {
        throw Faults::CannotContain(folder.id);
    }
    return folder;
}

std::string CheckedTagList(Store::Transaction& transaction, const Account& account, std::string_view list) {
    if (list.empty()) {
        throw Faults::InvalidRequest("empty tag list");
    }
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string_view item =
            list.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        std::optional<int64_t> id = ParseDecimal(item);
        if (!id || !transaction.Tag(account.id, *id)) {
            throw Faults::NoSuchTag(std::string(item));
        }
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    return std::string(list);
}

UploadRecord OwnUpload(Store::Transaction& transaction, const OperationContext& context,
                       const std::string& token) {
    std::optional<UploadRecord> upload = transaction.Upload(token);
    if (!upload || upload->ownerAccountId != context.session->account->id) {
        throw Faults::NoSuchUpload(token);
    }
    return *upload;
}

int64_t UsedBytes(Store::Transaction& transaction, const Account& account) {
    std::optional<AccountRecord> record = transaction.Account(account.name);
    return account.usedBefore + (record ? record->used : 0);
}

void ChargeQuota(Store::Transaction& transaction, const Account& account, int64_t bytes) {
    if (account.quota > 0 && UsedBytes(transaction, account) + bytes > account.quota) {
        throw Faults::QuotaExceeded(account.quota);
    }
    transaction.AddUsed(account.id, bytes);
}

}  // namespace Tarvik::TestServer
