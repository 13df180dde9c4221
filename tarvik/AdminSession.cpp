#include "tarvik/AdminSession.h"

#include "runtime/Log.h"
#include "tarvik/AccountRequests.h"

namespace Tarvik::Admin {

namespace {

std::unique_ptr<AdminSession>& CurrentSession() {
    static std::unique_ptr<AdminSession> session;
    return session;
}

}  // namespace

AdminSession& AdminSession::Open(std::string host, uint32_t port, bool secure, bool ignoreCertificateErrors) {
    CurrentSession().reset();
    CurrentSession().reset(new AdminSession(std::move(host), port, secure, ignoreCertificateErrors));
    return *CurrentSession();
}

AdminSession* AdminSession::Current() {
    return CurrentSession().get();
}

AdminSession::AdminSession(std::string host, uint32_t port, bool secure, bool ignoreCertificateErrors)
    : connection_(std::move(host), port, secure, ignoreCertificateErrors) {}

Xml::Document AdminSession::AdminExecute(Rpc::Request& request, bool stampSession) {
    return Rpc::ExecuteInSession(connection_, session_, request,
                                 {.stampSession = stampSession,
                                  .targetAccount = std::nullopt,
                                  .adminNamespaces = true,
                                  .sessionIdPath = "//account:sessionId"});
}

bool AdminSession::AdminAuthenticate(std::string_view user, std::string_view password) {
    Rpc::AdminAuthRequest auth(user, password);
    Xml::Document response = AdminExecute(auth, false);
    session_ = {};
    session_.ReadFrom(response, "admin");

    Rpc::GetInfoRequest info;
    accountName_ = Rpc::ApplyAccountInfo(AdminExecute(info, true));
    return session_.authToken && !session_.authToken->empty();
}

std::unique_ptr<Account> AdminSession::GetAdminAccount(std::string_view name) {
    Rpc::GetAccountRequest request(name);
    Xml::Document response = AdminExecute(request, true);
    auto account = std::make_unique<Account>();
    Xml::Node element = response.SelectSingleNode("/soap:Envelope/soap:Body/*/admin:account");
    account->name = element.Attribute("name");
    account->id = element.Attribute("id");
    for (Xml::Node attribute : response.SelectNodes("/soap:Envelope/soap:Body/*/admin:account/admin:a")) {
        std::string attributeName = attribute.Attribute("n").value_or("");
        Xml::Node value = attribute.FirstChild();
        if (value.IsText()) {
            account->attributes.emplace(attributeName, value.Text());
        } else {
            LogLine("Unable to fetch value for %s", attributeName.c_str());
        }
    }
    return account;
}

std::string AdminSession::GetDomainPublicHostname(std::string_view domain) {
    Rpc::GetDomainRequest request(domain);
    Xml::Document response = AdminExecute(request, true);
    std::string hostName;
    for (Xml::Node attribute : response.SelectNodes("/soap:Envelope/soap:Body/*/admin:domain/admin:a")) {
        if (attribute.Attribute("n") == "tarvikPublicServiceHostname") {
            hostName = attribute.Text();
        }
    }
    return hostName;
}

}  // namespace Tarvik::Admin
