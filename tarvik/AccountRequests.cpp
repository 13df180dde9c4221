#include "tarvik/AccountRequests.h"

#include "tarvik/Vocabulary.h"

namespace Tarvik::Rpc {

namespace {

void AppendByName(Xml::Node parent, std::string_view element, std::string_view name) {
    Xml::Node child = parent.AppendElement(element);
    child.SetAttribute(Names::By, Names::Name);
    child.SetText(name);
}

}  // namespace

AuthRequest::AuthRequest(std::string_view user, std::string_view password) {
    Xml::Node request = AppendRequestElement(Names::AuthRequest, Ns::Account);
    AppendByName(request, Names::Account, user);
    AppendTextElement(request, Names::Password, password);
}

AdminAuthRequest::AdminAuthRequest(std::string_view user, std::string_view password) {
    Xml::Node request = AppendRequestElement(Names::AuthRequest, Ns::Admin);
    AppendTextElement(request, Names::Name, user);
    AppendTextElement(request, Names::Password, password);
}

GetInfoRequest::GetInfoRequest() {
    AppendRequestElement(Names::GetInfoRequest, Ns::Account);
}

GetAccountRequest::GetAccountRequest(std::string_view accountName) {
    AppendByName(AppendRequestElement(Names::GetAccountRequest, Ns::Admin), Names::Account, accountName);
}

GetDomainRequest::GetDomainRequest(std::string_view domainName) {
    AppendByName(AppendRequestElement(Names::GetDomainRequest, Ns::Admin), Names::Domain, domainName);
}

}  // namespace Tarvik::Rpc
