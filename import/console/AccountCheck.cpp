#include "import/console/AccountCheck.h"

#include <exception>
#include <map>
#include <memory>

#include "runtime/Log.h"
#include "runtime/Text.h"
#include "tarvik/AdminSession.h"
#include "tarvik/Mailbox.h"
#include "tarvik/RpcException.h"
#include "tarvik/TarvikFaults.h"

namespace {

// The transport's code for a server certificate that failed validation.
constexpr uint32_t certificateFailure = 12175;
// QuotaRemaining when the quota is used up.
constexpr int64_t quotaExhausted = -1;

std::string DomainAfterAt(const std::string& account) {
    size_t at = account.find('@');
    return at == std::string::npos ? std::string() : account.substr(at + 1);
}

}  // namespace

bool AccountCheck::Run() {
    int certificateFailures = 0;
    Outcome outcome;
    while ((outcome = AccountLogin(certificateFailures)) == Outcome::Again) {
    }
    if (outcome == Outcome::Failed) {
        return false;
    }
    if (!params_.AdministrativeMode()) {
        return true;
    }
    return AdministratorLogin() && TargetLookup();
}

bool AccountCheck::Fail(const std::string& text) {
    console_.Show(text);
    return false;
}

AccountCheck::Outcome AccountCheck::AccountLogin(int& certificateFailures) {
    try {
        Tarvik::Mail::Mailbox mailbox(params_.serverName, static_cast<uint32_t>(params_.port),
                                      params_.sslEnabled, params_.acceptInvalidCertificate);
        if (!mailbox.Authenticate(params_.authAccount, params_.password)) {
            Fail(LookupText("ERR_AUTH_FAILED"));
            return Outcome::Failed;
        }
        return CheckAccount(mailbox.QuotaRemaining(), mailbox.DomainOf(params_.authAccount))
                   ? Outcome::Passed
                   : Outcome::Failed;
    } catch (const Tarvik::Rpc::RpcException& error) {
        if (error.ErrorCode() == certificateFailure) {
            return CertificateFailed(error.LocalizedDescription(), certificateFailures);
        }
        Fail(FormatText("ERR_CONN_FAILED_INFO2", params_.serverName, params_.port,
                        error.LocalizedDescription()));
    } catch (const Tarvik::TarvikException& error) {
        Fail(FormatText("ERR_AUTH_UNABLE", error.Code(), error.Message()));
    } catch (const std::exception& error) {
        LogLine("Account check: %s", error.what());
        Fail(LookupText("ERR_UNEXPECTED"));
    } catch (...) {
        Fail(LookupText("ERR_UNEXPECTED"));
    }
    return Outcome::Failed;
}

AccountCheck::Outcome AccountCheck::CertificateFailed(const std::string& reason, int& certificateFailures) {
    if (params_.acceptInvalidCertificate && ++certificateFailures >= 2) {
        params_.acceptInvalidCertificate = false;
        Fail(FormatText("ERR_CONN_FAILED_INFO", params_.serverName, params_.port));
        return Outcome::Failed;
    }
    console_.Show(FormatText("ERR_INVALID_CERT_CONT", reason));
    // Only the job's own InvalidSSLOk answers yes; it is what set acceptInvalidCertificate.
    if (params_.acceptInvalidCertificate) {
        return Outcome::Again;
    }
    Fail(LookupText("ERR_IMPORT_HALTED"));
    return Outcome::Failed;
}

// Steps of the check that follow a successful logon.
bool AccountCheck::CheckAccount(int64_t quotaRemaining, const std::string& domain) {
    if (quotaRemaining == quotaExhausted) {
        return Fail(LookupText("ERR_OUTOF_QUOTA"));
    }
    params_.quotaLeft = quotaRemaining > 0 ? static_cast<uint64_t>(quotaRemaining) : 0;
    if (domain.empty()) {
        return Fail(LookupText("ERR_DETERMINE_DOMAIN"));
    }
    params_.domain = domain;
    if (!params_.isAdmin && !params_.isDomainAdmin && params_.authAccount != params_.targetAccount) {
        LogLine("%s does not have rights to import PST into %s's account", params_.authAccount.c_str(),
                params_.targetAccount.c_str());
        return Fail(LookupText("ERR_NO_RIGHTS"));
    }
    if (params_.targetAccount.find('@') == std::string::npos) {
        std::string completed = params_.targetAccount + "@" + domain;
        std::map<std::string, std::string> rekeyed;
        for (auto& [account, address] : params_.organizerAddresses) {
            rekeyed[account == params_.targetAccount ? completed : account] = address;
        }
        params_.organizerAddresses = std::move(rekeyed);
        params_.targetAccount = completed;
    }
    return true;
}

bool AccountCheck::AdministratorLogin() {
    try {
        Tarvik::Admin::AdminSession& admin =
            Tarvik::Admin::AdminSession::Open(params_.serverName, static_cast<uint32_t>(params_.adminPort),
                                              params_.adminSslEnabled, params_.adminAcceptInvalidCertificate);
        if (!admin.AdminAuthenticate(params_.authAccount, params_.password)) {
            return Fail(LookupText("ERR_AUTH_FAILED"));
        }
        return true;
    } catch (const Tarvik::Rpc::RpcException& error) {
        if (error.ErrorCode() == certificateFailure) {
            return Fail(LookupText("ERR_IMPORT_HALTED"));
        }
        return Fail(FormatText("ERR_CONN_FAILED_INFO2", params_.serverName, params_.adminPort,
                               error.LocalizedDescription()));
    } catch (const Tarvik::TarvikException& error) {
        return Fail(FormatText("ERR_AUTH_UNABLE", error.Code(), error.Message()));
    } catch (const std::exception& error) {
        LogLine("Administrator check: %s", error.what());
        return Fail(LookupText("ERR_UNEXPECTED"));
    } catch (...) {
        return Fail(LookupText("ERR_UNEXPECTED"));
    }
}

bool AccountCheck::TargetLookup() {
    try {
        Tarvik::Admin::AdminSession& admin = *Tarvik::Admin::AdminSession::Current();
        std::unique_ptr<Tarvik::Admin::Account> account = admin.GetAdminAccount(params_.targetAccount);
        std::string domain = DomainAfterAt(params_.targetAccount);
        if (params_.targetAccount.find('@') == std::string::npos && account->name) {
            domain = DomainAfterAt(*account->name);
        }
        if (domain.empty()) {
            return Fail(LookupText("ERR_DETERMINE_DOMAIN"));
        }
        params_.domain = domain;
        params_.mailHost = admin.GetDomainPublicHostname(domain);
        return true;
    } catch (const Tarvik::TarvikAccountException::NoSuchAccount&) {
        return Fail(FormatText("ERR_NO_SUCH_ACCOUNT2", params_.targetAccount));
    } catch (const Tarvik::TarvikException& error) {
        // The fault's message is the localised text of its code, so the code alone tells a refusal.
        bool noPermission = error.Code() == "service.PERM_DENIED";
        return Fail(noPermission
                        ? FormatText("ERR_VERIFY_ACCT2", LookupText("ERR_PERMISSION"), params_.targetAccount)
                        : FormatText("ERR_VERIFY_ACCT2", error.Code(), error.Message()));
    } catch (const Tarvik::Rpc::RpcException& error) {
        return Fail(FormatText("ERR_VERIFY_ACCTNWK", error.LocalizedDescription()));
    } catch (const std::exception& error) {
        LogLine("Target account check: %s", error.what());
        return Fail(LookupText("ERR_UNEXPECTED"));
    } catch (...) {
        return Fail(LookupText("ERR_UNEXPECTED"));
    }
}
