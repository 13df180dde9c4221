#include "tarvik/SessionInfo.h"

#include "runtime/ImportParams.h"
#include "tarvik/CheckFault.h"
#include "tarvik/Connection.h"
#include "tarvik/Request.h"
#include "tarvik/Vocabulary.h"

namespace Tarvik::Rpc {

std::optional<std::string> SelectText(const Xml::Document& document, std::string_view xpath) {
    Xml::Node node = document.SelectSingleNode(xpath);
    return node ? std::optional<std::string>(node.Text()) : std::nullopt;
}

std::string SelectTextOrEmpty(const Xml::Document& document, std::string_view xpath) {
    return SelectText(document, xpath).value_or("");
}

namespace {

bool IsTrue(const std::optional<std::string>& text) {
    if (!text || text->size() != 4) {
        return false;
    }
    for (size_t i = 0; i < 4; ++i) {
        if (((*text)[i] | 0x20) != "true"[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string ApplyAccountInfo(const Xml::Document& getInfoResponse) {
    ImportParams& params = GetImportParams();
    params.isAdmin = IsTrue(SelectText(getInfoResponse, "//account:attr[@name=\"tarvikIsAdminAccount\"]"));
    params.isDomainAdmin =
        !params.isAdmin &&
        IsTrue(SelectText(getInfoResponse, "//account:attr[@name=\"tarvikIsDomainAdminAccount\"]"));
    params.serverVersion = SelectTextOrEmpty(getInfoResponse, "//account:version");
    return SelectTextOrEmpty(getInfoResponse, "//account:name");
}

void SessionInfo::ReadFrom(const Xml::Document& authResponse, std::string_view prefix) {
    std::string base = "//" + std::string(prefix) + ":";
    authToken = SelectText(authResponse, base + "authToken");
    lifetime = SelectText(authResponse, base + "lifetime");
    sessionId = SelectText(authResponse, base + "sessionId");
}

Xml::Document ExecuteInSession(Connection& connection, SessionInfo& session, Request& request,
                               const ExecuteOptions& options) {
    if (options.stampSession) {
        request.SetSessionId(session.sessionId);
        request.SetAuthToken(session.authToken);
    }
    request.SetTargetAccount(options.targetAccount);
    Xml::Document response = connection.ExecuteAndParse(request);
    response.SetSelectionNamespaces(ResponseNamespaces(options.adminNamespaces));
    Tarvik::CheckFault(response);
    std::optional<std::string> sessionId = SelectText(response, options.sessionIdPath);
    if (sessionId && !sessionId->empty()) {
        session.sessionId = sessionId;
    }
    return response;
}

}  // namespace Tarvik::Rpc
