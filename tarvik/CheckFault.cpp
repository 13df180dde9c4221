#include "tarvik/CheckFault.h"

#include <optional>
#include <string>
#include <string_view>

#include "runtime/Text.h"
#include "tarvik/TarvikFaults.h"

namespace Tarvik {

namespace {

enum class MessageFrom { Table, Reason, Code };

struct FaultRow {
    std::string_view code;
    void (*raise)(std::string message, std::string code);
    MessageFrom messageFrom = MessageFrom::Table;
};

template <typename Fault>
void Raise(std::string message, std::string code) {
    throw Fault(std::move(message), std::move(code));
}

using Service = TarvikServiceException;
using Account = TarvikAccountException;
using Mail = TarvikMailException;

constexpr FaultRow faultTable[] = {
    {"service.FAILURE", Raise<Service::Failure>},
    {"service.INVALID_REQUEST", Raise<Service::InvalidRequest>},
    {"service.UNKNOWN_DOCUMENT", Raise<Service::UnknownDocument>},
    {"service.PARSE_ERROR", Raise<Service::ParseError>},
    {"service.TEMPORARILY_UNAVAILABLE", Raise<Service::TemporarilyUnavailable>},
    {"service.PERM_DENIED", Raise<Service::PermDenied>},
    {"service.AUTH_REQUIRED", Raise<Service::AuthRequired>},
    {"service.AUTH_EXPIRED", Raise<Service::AuthExpired>},
    {"service.WRONG_HOST", Raise<Service::WrongHost>},
    {"service.PROXY_ERROR", Raise<Service::ProxyError>},
    {"service.OPERATION_DENIED_ON_REPLSLAVE", Raise<Service::OperationDeniedOnReplSlave>,
     MessageFrom::Reason},
    {"account.AUTH_FAILED", Raise<Account::AuthFailed>},
    {"account.CHANGE_PASSWORD", Raise<Account::ChangePassword>},
    {"account.PASSWORD_LOCKED", Raise<Account::PasswordLocked>},
    {"account.PASSWORD_CHANGE_TOO_SOON", Raise<Account::PasswordChangeTooSoon>},
    {"account.PASSWORD_RECENTLY_USED", Raise<Account::PasswordRecentlyUsed>},
    {"account.INVALID_PASSWORD", Raise<Account::InvalidPassword>},
    {"account.INVALID_ATTR_NAME", Raise<Account::InvalidAttrName>},
    {"account.INVALID_ATTR_VALUE", Raise<Account::InvalidAttrValue>},
    {"account.NO_SUCH_ACCOUNT", Raise<Account::NoSuchAccount>},
    {"account.NO_SUCH_DOMAIN", Raise<Account::NoSuchDomain>},
    {"account.NO_SUCH_COS", Raise<Account::NoSuchCos>},
    {"account.NO_SUCH_SERVER", Raise<Account::NoSuchServer>},
    {"account.NO_SUCH_DISTRIBUTION_LIST", Raise<Account::NoSuchDistributionList>},
    {"account.ACCOUNT_EXISTS", Raise<Account::AccountExists>},
    {"account.DOMAIN_EXISTS", Raise<Account::DomainExists>},
    {"account.DOMAIN_NOT_EMPTY", Raise<Account::DomainNotEmpty>},
    {"account.COS_EXISTS", Raise<Account::CosExists>},
    {"account.SERVER_EXISTS", Raise<Account::ServerExists>},
    {"account.DISTRIBUTION_LIST_EXISTS", Raise<Account::DistributionListExists>},
    {"account.MAINTENANCE_MODE", Raise<Account::MaintenanceMode>},
    {"mail.TOO_MANY_TAGS", Raise<Mail::TooManyTags>},
    {"mail.INVALID_NAME", Raise<Mail::InvalidName>},
    {"mail.ALREADY_EXISTS", Raise<Mail::FolderExists>, MessageFrom::Code},
};

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// The value of the first child (a text node) of the first match.
std::optional<std::string> FirstText(const Xml::Document& document, std::string_view xpath) {
    Xml::Node child = document.SelectSingleNode(xpath).FirstChild();
    return child.IsText() ? std::optional<std::string>(child.Text()) : std::nullopt;
}

}  // namespace

void CheckFault(const Xml::Document& response) {
    std::optional<std::string> reason =
        FirstText(response, "/soap:Envelope/soap:Body/soap:Fault/soap:Reason/soap:Text");
    std::optional<std::string> code =
        FirstText(response, "/soap:Envelope/soap:Body/soap:Fault/soap:Detail/l:Error/l:Code");
    if (!code) {
        return;
    }
    for (const FaultRow& row : faultTable) {
        if (!EqualsIgnoringAsciiCase(*code, row.code)) {
            continue;
        }
        std::string canonical(row.code);
        switch (row.messageFrom) {
            // Looked up by the canonical code: the table's keys are case-sensitive.
            case MessageFrom::Table:
                row.raise(LookupText(canonical), canonical);
                break;
            case MessageFrom::Reason:
                row.raise(reason.value_or(""), canonical);
                break;
            case MessageFrom::Code:
                row.raise(canonical, canonical);
                break;
        }
    }
    throw TarvikException(reason.value_or(""), *code);
}

}  // namespace Tarvik
