#include "tarvik/Mailbox.h"

#include <fmt/format.h>

#include <exception>

#include "runtime/ImportParams.h"
#include "runtime/Log.h"
#include "runtime/Text.h"
#include "runtime/Utf8.h"
#include "tarvik/AccountRequests.h"
#include "tarvik/DumpFiles.h"
#include "tarvik/MessageStream.h"
#include "tarvik/TarvikException.h"
#include "tarvik/Upload.h"

namespace Tarvik::Mail {

namespace {

bool AdministrativeMode() {
    return GetImportParams().AdministrativeMode();
}

[[noreturn]] void ThrowMissing(std::string_view key, std::string_view code) {
    throw TarvikException(LookupText(key), std::string(code));
}

// The "id" attribute of the first match of `xpath`, or nothing.
std::optional<int64_t> SelectId(const Xml::Document& document, const std::string& xpath) {
    std::optional<std::string> id = document.SelectSingleNode(xpath).Attribute("id");
    return id ? std::optional<int64_t>(ParseDecimal(id)) : std::nullopt;
}

struct ResultKind {
    std::string_view response;
    std::string_view result;
    std::string_view missingKey;
    std::string_view missingCode;
};

int64_t GetResult(const Xml::Document& response, int64_t requestId, const ResultKind& kind) {
    std::string_view attribute = Rpc::RequestIdAttribute();
    std::string selector = fmt::format("[@{}=\"{}\"]", attribute, requestId);
    if (std::optional<int64_t> id =
            SelectId(response, fmt::format("//mail:{}{}//mail:{}", kind.response, selector, kind.result))) {
        return *id;
    }
    std::optional<std::string> reason = Rpc::SelectText(response, "//soap:Fault" + selector + "//soap:Text");
    std::optional<std::string> code = Rpc::SelectText(response, "//soap:Fault" + selector + "//l:Code");
    if (reason && code) {
        throw TarvikException(*reason, *code);
    }
    ThrowMissing(kind.missingKey, kind.missingCode);
}

std::string AfterFirstAt(std::string_view text) {
    size_t at = text.find('@');
    return at == std::string_view::npos ? std::string() : std::string(text.substr(at + 1));
}

}  // namespace

Mailbox::Mailbox(std::string host, uint32_t port, bool secure, bool ignoreCertificateErrors)
    : connection_(std::move(host), port, secure, ignoreCertificateErrors) {}

Mailbox::~Mailbox() = default;

Xml::Document Mailbox::Execute(Rpc::Request& request, bool stampSession, const Account& account) {
    bool admin = AdministrativeMode();
    return Rpc::ExecuteInSession(connection_, session_, request,
                                 {.stampSession = stampSession,
                                  .targetAccount = account,
                                  .adminNamespaces = admin,
                                  .sessionIdPath = admin ? "//admin:sessionId" : "//account:sessionId"});
}

bool Mailbox::Authenticate(std::string_view user, std::string_view password) {
    if (!user_) {
        user_ = std::string(user);
        password_ = std::string(password);
    }
    bool admin = AdministrativeMode();
    std::unique_ptr<Rpc::Request> request;
    if (admin) {
        request = std::make_unique<Rpc::AdminAuthRequest>(user, password);
    } else {
        request = std::make_unique<Rpc::AuthRequest>(user, password);
    }
    Xml::Document response = Execute(*request, false, std::nullopt);
    session_ = {};
    session_.ReadFrom(response, admin ? "admin" : "account");
    ReadAccountInfo();
    return session_.authToken && !session_.authToken->empty();
}

bool Mailbox::ReLogon() {
    if (!user_) {
        return false;
    }
    std::string user = *user_;
    std::string password = *password_;
    return Authenticate(user, password);
}

void Mailbox::ReadAccountInfo() {
    Rpc::GetInfoRequest request;
    Xml::Document response = Execute(request, true, std::nullopt);
    accountName_ = Rpc::ApplyAccountInfo(response);
    int64_t used = ParseDecimal(Rpc::SelectText(response, "//account:used"));
    quotaRemaining_ = 0;
    for (Xml::Node attribute : response.SelectNodes("//account:attrs/account:attr")) {
        if (attribute.Attribute("name") == "tarvikMailQuota") {
            int64_t quota = ParseDecimal(attribute.Text());
            quotaRemaining_ = quota == 0 ? 0 : used >= quota ? -1 : quota - used;
            break;
        }
    }
}

std::unique_ptr<FolderInfo> Mailbox::GetRootFolder(const Account& account) {
    Rpc::GetFolderRequest request;
    auto response = std::make_shared<const Xml::Document>(Execute(request, true, account));
    Xml::Node root = response->SelectSingleNode("//mail:folder");
    return FolderInfo::Parse(response, root);
}

std::unique_ptr<FolderInfo> Mailbox::FindChildFolder(const FolderInfo& folder, int64_t parentId,
                                                     std::string_view name) {
    if (!folder.node) {
        LogLine("NULL folder node for folder %.*s: skipping", static_cast<int>(name.size()), name.data());
        return nullptr;
    }
    for (Xml::Node child : folder.node.SelectNodes(fmt::format("//mail:folder[@l=\"{}\"]", parentId))) {
        std::optional<std::string> childName = child.Attribute("name");
        if (childName && Utf8::EqualIgnoringCase(*childName, name)) {
            return FolderInfo::Parse(folder.response, child);
        }
    }
    return nullptr;
}

int64_t Mailbox::CreateFolder(std::string_view name, int64_t parentId, int kind, const Account& account) {
    Rpc::CreateFolderRequest request(name, parentId, kind);
    Xml::Document response = Execute(request, true, account);
    if (std::optional<int64_t> id = SelectId(response, "//mail:folder")) {
        return *id;
    }
    ThrowMissing("ERR_NO_FOLDER_ID_RETURNED", "folder not created");
}

TagList Mailbox::GetTags(const Account& account) {
    Rpc::GetTagRequest request;
    Xml::Document response = Execute(request, true, account);
    TagList tags;
    for (Xml::Node node : response.SelectNodes("//mail:tag")) {
        std::optional<std::string> id = node.Attribute("id");
        tags.push_back({node.Attribute("name").value_or(""), id ? ParseDecimal(id) : -1});
    }
    return tags;
}

int64_t Mailbox::CreateTag(std::string_view name, int32_t color, const Account& account) {
    Rpc::CreateTagRequest request(name, color);
    Xml::Document response = Execute(request, true, account);
    if (std::optional<int64_t> id = SelectId(response, "//mail:tag")) {
        return *id;
    }
    ThrowMissing("ERR_NO_TAGID_RETURNED", "tag not created");
}

int64_t Mailbox::Queue(Rpc::Request& request) {
    batch_->AppendRequest(request, requestCounter_);
    return requestCounter_++;
}

int64_t Mailbox::CreateContact(const Rpc::ContactAttributes& attributes, int64_t folderId,
                               const Rpc::TagIds& tagIds, const Account& account) {
    Rpc::CreateContactRequest request(attributes, folderId, tagIds);
    if (batchMode_) {
        return Queue(request);
    }
    Xml::Document response = Execute(request, true, account);
    if (std::optional<int64_t> id = SelectId(response, "//mail:cn")) {
        return *id;
    }
    ThrowMissing("ERR_NO_CONTACT_ID_RETURNED", "contact_id_not_returned");
}

int64_t Mailbox::AddMessage(const MessageStream& message, int64_t folderId, std::string_view flags,
                            const Rpc::TagIds& tagIds, uint64_t fileTime, const Account& account) {
    std::optional<std::string> token = UploadWithRelogon(*this, message);
    if (!token) {
        ThrowMissing("ERR_NO_UPLOAD_TOKAN_RETURNED", "message not added");
    }
    Rpc::AddMessageRequest request(*token, folderId, flags, tagIds, fileTime);
    if (GetImportParams().messageLogging) {
        try {
            DumpMessage(*token, message);
        } catch (const std::exception&) {
            LogLine("message could not be dumped.");
        }
    }
    if (batchMode_) {
        return Queue(request);
    }
    Xml::Document response = Execute(request, true, account);
    if (std::optional<int64_t> id = SelectId(response, "//mail:m")) {
        return *id;
    }
    ThrowMissing("ERR_NO_MSGID_RETURNED", "message not added");
}

void Mailbox::DumpMessage(std::string_view uploadToken, const MessageStream& message) {
    std::string name = Util::DumpFileName(uploadToken);
    DumpedMessages.insert(name);
    std::optional<std::string> path = Util::WorkDirectoryPath(name + ".eml");
    if (!path) {
        return;
    }
    Util::DumpFile file(*path);
    if (!file.IsOpen()) {
        return;
    }
    uint64_t size = message.Size();
    LogLine("Mailbox::DumpMessage:MimeLen:%llu", static_cast<unsigned long long>(size));
    std::string piece(64 * 1024, '\0');
    for (uint64_t offset = 0; offset < size;) {
        size_t got = message.ReadAt(offset, piece.data(), piece.size());
        if (got == 0 || !file.Write(std::string_view(piece.data(), got))) {
            LogLine("message could not be dumped.");
            return;
        }
        offset += got;
    }
}

void Mailbox::StartBatch() {
    batchMode_ = true;
    batch_ = std::make_unique<Rpc::BatchRequest>();
    executedBatch_.reset();
}

int64_t Mailbox::AddToBatch(Rpc::Request& request) {
    if (!batch_ || batch_->AppendRequest(request, requestCounter_) != 0) {
        return -1;
    }
    return requestCounter_++;
}

Xml::Document Mailbox::ExecuteBatchRequest(const Account& account) {
    if (!batch_) {
        batchMode_ = false;
        throw TarvikException("no batch request exists", "ExecuteBatchRequest failed");
    }
    Xml::Document response = Execute(*batch_, true, account);
    batchMode_ = false;
    executedBatch_ = std::move(batch_);
    return response;
}

bool Mailbox::HasFault(const Xml::Document& response) {
    return !response.SelectNodes("//soap:Fault").empty();
}

int64_t Mailbox::GetAddMsgResult(const Xml::Document& response, int64_t requestId) {
    return GetResult(response, requestId,
                     {"AddMsgResponse", "m", "ERR_NO_MSGID_RETURNED", "message not added"});
}

int64_t Mailbox::GetCreateContactResult(const Xml::Document& response, int64_t requestId) {
    return GetResult(
        response, requestId,
        {"CreateContactResponse", "cn", "ERR_NO_CONTACT_ID_RETURNED", "contact_id_not_returned"});
}

int64_t Mailbox::GetSetAppointmentResult(const Xml::Document& response, int64_t requestId) {
    return GetResult(response, requestId,
                     {"SetAppointmentResponse", "default", "ERR_NO_MSGID_RETURNED", "message not added"});
}

int64_t Mailbox::GetSetTaskResult(const Xml::Document& response, int64_t requestId) {
    return GetResult(response, requestId,
                     {"SetTaskResponse", "default", "ERR_NO_MSGID_RETURNED", "message not added"});
}

std::string Mailbox::DomainOf(std::string_view user) const {
    if (user.find('@') != std::string_view::npos) {
        return AfterFirstAt(user);
    }
    return AfterFirstAt(accountName_);
}

}  // namespace Tarvik::Mail
