#pragma once
// The account a mailbox operation names: an administrator acts on the target account's mailbox, an
// account session on its own (naming no account).

#include <string>

#include "runtime/ImportParams.h"
#include "tarvik/Mailbox.h"

inline Tarvik::Mail::Account ActingAccount(const ImportParams& params, const std::string& accountName) {
    if (params.AdministrativeMode()) {
        return accountName;
    }
    return std::nullopt;
}
