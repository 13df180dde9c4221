#include "testserver/AccountOperations.h"

#include <algorithm>
#include <chrono>

#include "testserver/Fault.h"

namespace Tarvik::TestServer::AccountOperations {

void WriteSession(XmlWriter& out, const Session& session, int64_t lifetimeMs) {
    out.TextElement("authToken", session.token);
    out.TextElement("lifetime", std::to_string(lifetimeMs));
    out.TextElement("sessionId", session.sessionId);
}

void Auth(OperationContext& context, const Xml::Node& request, XmlWriter& out) {
    Xml::Node accountNode = request.ChildElement("account");
    Xml::Node passwordNode = request.ChildElement("password");
    if (!accountNode || !passwordNode || accountNode.Attribute("by").value_or("name") != "name") {
        throw Faults::InvalidRequest("AuthRequest needs <account by=\"name\"> and <password>");
    }
    std::string name = accountNode.Text();
    const Account* account = context.server.directory.FindAccount(name);
    if (account == nullptr || account->password != passwordNode.Text()) {
        throw Faults::AuthFailed(name);
    }
    Session session = context.server.sessions.Create(*account, false);
    OpenResponse(out, "AuthResponse", AccountNs, context.batchId);
    WriteSession(out, session, context.server.sessions.LifetimeMs());
    out.Close();
}

void GetInfo(OperationContext& context, const Xml::Node&, XmlWriter& out) {
    const Account& account = *context.target;
    int64_t used = 0;
    {
        auto transaction = context.server.store.Begin();
        used = UsedBytes(*transaction, account);
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(context.session->expires -
                                                                      std::chrono::steady_clock::now());
    OpenResponse(out, "GetInfoResponse", AccountNs, context.batchId);
    out.TextElement("version", context.server.config.serverVersion);
    out.TextElement("id", account.uuid);
    out.TextElement("name", account.name);
    out.TextElement("lifetime", std::to_string(std::max<int64_t>(0, left.count())));
    out.TextElement("used", std::to_string(used));
    out.Open("attrs");
    auto attr = [&](std::string_view name, std::string_view value) {
        out.Open("attr").Attribute("name", name).Text(value).Close();
    };
    attr("tarvikMailQuota", std::to_string(account.quota));
    attr("tarvikIsAdminAccount", account.admin ? "TRUE" : "FALSE");
    attr("tarvikIsDomainAdminAccount", account.domainAdmin ? "TRUE" : "FALSE");
    for (const auto& [name, value] : account.attrs) {
        attr(name, value);
    }
    out.Close();
    out.Close();
}

}  // namespace Tarvik::TestServer::AccountOperations
