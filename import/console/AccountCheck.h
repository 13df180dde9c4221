#pragma once
// The account check of one job of the console run, before any of its PST files is touched: logs on
// to the target's server (as the account that authenticates), refuses an account out of quota or
// without the right to import into the target, completes a target without domain, and in
// administrative mode checks the administrator on the admin service, looks the target up and finds
// the host that serves its domain. Every refusal is shown on the console.
//
// A server certificate that fails validation is accepted only when the job says so (InvalidSSLOk);
// otherwise the check ends and the console says how to accept it. Nobody is asked: a console run may
// be unattended, and a password must not go to a server that cannot prove who it is.

#include "import/console/Console.h"
#include "runtime/ImportParams.h"

class AccountCheck {
  public:
    AccountCheck(ImportParams& params, const Console& console) : params_(params), console_(console) {}

    // True when the job can go on; fills quotaLeft, domain, targetAccount and mailHost.
    bool Run();

  private:
    enum class Outcome { Passed, Failed, Again };

    Outcome AccountLogin(int& certificateFailures);
    Outcome CertificateFailed(const std::string& reason, int& certificateFailures);
    bool CheckAccount(int64_t quotaRemaining, const std::string& domain);
    bool AdministratorLogin();
    bool TargetLookup();
    bool Fail(const std::string& text);

    ImportParams& params_;
    const Console& console_;
};
