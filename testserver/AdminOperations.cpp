#include "testserver/AdminOperations.h"

#include "testserver/AccountOperations.h"
#include "testserver/Fault.h"
#include "testserver/Names.h"

namespace Tarvik::TestServer::AdminOperations {

namespace {

// The text of <what by="name">...</what>, the only child of the request.
std::string ByName(const Xml::Node& request, std::string_view what) {
    Xml::Node child = RequiredChild(request, what);
    if (child.Attribute("by").value_or("") != "name" || child.Text().empty()) {
        throw Faults::InvalidRequest(std::string(what) + " must be given by name");
    }
    return child.Text();
}

void RequireDomainRight(const OperationContext& context, const std::string& domain) {
    const Account& admin = *context.session->account;
    if (!admin.admin && FoldCase(admin.domain) != FoldCase(domain)) {
        throw Faults::PermDenied("can not access domain " + domain);
    }
}

void WriteAttr(XmlWriter& out, std::string_view name, std::string_view value) {
    out.Open("a").Attribute("n", name).Text(value).Close();
}

}  // namespace

void Auth(OperationContext& context, const Xml::Node& request, XmlWriter& out) {
    Xml::Node nameNode = request.ChildElement("name");
    Xml::Node passwordNode = request.ChildElement("password");
    if (!nameNode || !passwordNode) {
        throw Faults::InvalidRequest("AuthRequest needs <name> and <password>");
    }
    std::string name = nameNode.Text();
    const Account* account = context.server.directory.FindAccount(name);
    if (account == nullptr || account->password != passwordNode.Text()) {
        throw Faults::AuthFailed(name);
    }
    if (!account->admin && !account->domainAdmin) {
        throw Faults::AuthFailed(name, "not an admin account");
    }
    Session session = context.server.sessions.Create(*account, true);
    OpenResponse(out, "AuthResponse", AdminNs, context.batchId);
    AccountOperations::WriteSession(out, session, context.server.sessions.LifetimeMs());
    out.Close();
}

void GetAccount(OperationContext& context, const Xml::Node& request, XmlWriter& out) {
    std::string name = context.server.directory.Qualified(ByName(request, "account"));
    RequireDomainRight(context, name.substr(name.find('@') + 1));
    const Account* account = context.server.directory.FindAccount(name);
    if (account == nullptr) {
        throw Faults::NoSuchAccount(name);
    }
    OpenResponse(out, "GetAccountResponse", AdminNs, context.batchId);
    out.Open("account").Attribute("name", account->name).Attribute("id", account->uuid);
    WriteAttr(out, "tarvikMailQuota", std::to_string(account->quota));
    WriteAttr(out, "tarvikIsAdminAccount", account->admin ? "TRUE" : "FALSE");
    WriteAttr(out, "tarvikIsDomainAdminAccount", account->domainAdmin ? "TRUE" : "FALSE");
    for (const auto& [attrName, value] : account->attrs) {
        WriteAttr(out, attrName, value);
    }
    out.Close().Close();
}

void GetDomain(OperationContext& context, const Xml::Node& request, XmlWriter& out) {
    std::string name = ByName(request, "domain");
    RequireDomainRight(context, name);
    const Domain* domain = context.server.directory.FindDomain(name);
    if (domain == nullptr) {
        throw Faults::NoSuchDomain(name);
    }
    OpenResponse(out, "GetDomainResponse", AdminNs, context.batchId);
    out.Open("domain").Attribute("name", domain->name).Attribute("id", domain->uuid);
    if (!domain->publicServiceHostname.empty()) {
        WriteAttr(out, "tarvikPublicServiceHostname", domain->publicServiceHostname);
    }
    for (const auto& [attrName, value] : domain->attrs) {
        WriteAttr(out, attrName, value);
    }
    out.Close().Close();
}

}  // namespace Tarvik::TestServer::AdminOperations
