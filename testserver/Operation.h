#pragma once
// What every SOAP operation gets: the server's shared state, the authenticated session and the
// account acted on, and helpers for the checks operations share (ids, folders, tags, uploads,
// quota). An operation writes its response element or throws a Fault.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "testserver/Config.h"
#include "testserver/Directory.h"
#include "testserver/Scenario.h"
#include "testserver/Sessions.h"
#include "testserver/SoapMessage.h"
#include "testserver/Store.h"
#include "testserver/XmlWriter.h"
#include "xml/Node.h"

namespace Tarvik::TestServer {

struct ServerState {
    const ServerConfig& config;
    Directory& directory;
    Store& store;
    Sessions& sessions;
    Scenario& scenario;
};

struct OperationContext {
    ServerState& server;
    bool adminService = false;         // the request came to /service/admin/soap/
    const Session* session = nullptr;  // null for operations without authentication
    const Account* target = nullptr;   // the account acted on (the context account, else the session's)
    BatchId batchId;                   // set inside a batch
};

using OperationHandler = void (*)(OperationContext& context, const Xml::Node& request, XmlWriter& out);

// The element's attribute, or service.INVALID_REQUEST naming it.
std::string RequiredAttribute(const Xml::Node& element, std::string_view name);
// The element's only child element with this name, or service.INVALID_REQUEST.
Xml::Node RequiredChild(const Xml::Node& element, std::string_view name);
// A decimal id or number, or service.INVALID_REQUEST naming the attribute.
int64_t ParseNumber(std::string_view text, std::string_view what);

// The folder of the target account, or mail.NO_SUCH_FOLDER.
FolderRecord ExistingFolder(Store::Transaction& transaction, const Account& account, std::string_view idText);
// As ExistingFolder, for a folder that is to receive an item (not the root: mail.CANNOT_CONTAIN).
FolderRecord ItemFolder(Store::Transaction& transaction, const Account& account, std::string_view idText);
// A tag list ("64,65"): every id must be a tag of the account (mail.NO_SUCH_TAG); returns it as given.
std::string CheckedTagList(Store::Transaction& transaction, const Account& account, std::string_view list);
// The upload behind a token, if it was made by the session's account; else mail.NO_SUCH_UPLOAD.
UploadRecord OwnUpload(Store::Transaction& transaction, const OperationContext& context,
                       const std::string& token);
// Counts `bytes` against the target's quota (mail.QUOTA_EXCEEDED when it would be exceeded).
void ChargeQuota(Store::Transaction& transaction, const Account& account, int64_t bytes);
// The account's used bytes as GetInfo reports them.
int64_t UsedBytes(Store::Transaction& transaction, const Account& account);

}  // namespace Tarvik::TestServer
