#include "testserver/Fault.h"

namespace Tarvik::TestServer {

Fault::Fault(std::string code, std::string reason, bool sender)
    : std::runtime_error(code + ": " + reason),
      code_(std::move(code)),
      reason_(std::move(reason)),
      sender_(sender) {}

namespace Faults {

Fault AuthRequired() {
    return Fault("service.AUTH_REQUIRED", "no valid authtoken present");
}
Fault AuthExpired() {
    return Fault("service.AUTH_EXPIRED", "auth credentials have expired");
}
Fault PermDenied(const std::string& detail) {
    return Fault("service.PERM_DENIED", "permission denied: " + detail);
}
Fault InvalidRequest(const std::string& detail) {
    return Fault("service.INVALID_REQUEST", "invalid request: " + detail);
}
Fault ParseError(const std::string& detail) {
    return Fault("service.PARSE_ERROR", "parse error: " + detail);
}
Fault UnknownDocument(const std::string& name) {
    return Fault("service.UNKNOWN_DOCUMENT", "unknown document: " + name);
}
Fault AuthFailed(const std::string& account, const std::string& detail) {
    std::string reason = "authentication failed for [" + account + "]";
    if (!detail.empty()) {
        reason += ", " + detail;
    }
    return Fault("account.AUTH_FAILED", reason);
}
Fault NoSuchAccount(const std::string& name) {
    return Fault("account.NO_SUCH_ACCOUNT", "no such account: " + name);
}
Fault NoSuchDomain(const std::string& name) {
    return Fault("account.NO_SUCH_DOMAIN", "no such domain: " + name);
}
Fault AlreadyExists(const std::string& name) {
    return Fault("mail.ALREADY_EXISTS", "object with that name already exists: " + name);
}
Fault InvalidName(const std::string& name) {
    return Fault("mail.INVALID_NAME", "invalid name: " + name);
}
Fault TooManyTags(int limit) {
    return Fault("mail.TOO_MANY_TAGS", "exceeded limit of " + std::to_string(limit) + " tags");
}
Fault NoSuchFolder(const std::string& id) {
    return Fault("mail.NO_SUCH_FOLDER", "no such folder id: " + id);
}
Fault NoSuchTag(const std::string& id) {
    return Fault("mail.NO_SUCH_TAG", "no such tag: " + id);
}
Fault NoSuchUpload(const std::string& token) {
    return Fault("mail.NO_SUCH_UPLOAD", "upload not found: " + token);
}
Fault CannotContain(int64_t folderId) {
    return Fault("mail.CANNOT_CONTAIN", "cannot put object in that folder: " + std::to_string(folderId));
}
Fault QuotaExceeded(int64_t quota) {
    return Fault("mail.QUOTA_EXCEEDED", "mailbox exceeded quota of " + std::to_string(quota) + " bytes");
}
Fault MessageParseError(const std::string& detail) {
    return Fault("mail.MESSAGE_PARSE_ERROR", "message parse error: " + detail);
}

}  // namespace Faults

}  // namespace Tarvik::TestServer
