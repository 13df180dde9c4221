#include "mapi/AddressResolver.h"

#include "mapi/LdapDirectory.h"
#include "runtime/ImportParams.h"
#include "runtime/Log.h"

namespace Tarvik::MAPI {

AddressResolver::AddressResolver(ImportParams& params, IDirectoryPrompt* prompt)
    : params_(params), prompt_(prompt) {}

AddressResolver::~AddressResolver() = default;

std::optional<std::string> AddressResolver::Resolve(const SenderAddress& sender) {
    if (sender.addressType == "SMTP") {
        return sender.address;
    }
    if (sender.addressType != "EX" || params_.directoryLookupDeclined || !EnsureDirectoryServer() ||
        sender.address.empty()) {
        return std::nullopt;
    }
    if (auto cached = cache_.find(sender.address); cached != cache_.end()) {
        return cached->second;
    }
    if (!EnsureBound()) {
        return std::nullopt;
    }
    try {
        std::string mail = directory_->FindMail(sender.address);
        if (mail.empty()) {
            return std::nullopt;
        }
        cache_.emplace(sender.address, mail);
        return mail;
    } catch (const DirectoryError& error) {
        // The resolver stays on; the next address binds afresh.
        LogLine("**Warning**: Directory lookup of %s failed: %s", sender.address.c_str(), error.what());
        directory_.reset();
        return std::nullopt;
    }
}

// A directory server in the job record, or one the user gives now.
bool AddressResolver::EnsureDirectoryServer() {
    if (params_.adServer.empty()) {
        if (params_.commandLineMode) {
            return false;  // nobody to ask; the next address tries again
        }
        std::optional<DirectorySettings> answer =
            prompt_ != nullptr ? prompt_->AskForDirectory(Settings()) : std::nullopt;
        if (!answer || answer->server.empty()) {
            SwitchOff("no directory server was given");
            return false;
        }
        TakeSettings(*answer);
    }
    params_.adServer = DirectoryPath(params_.adServer);
    return true;
}

// A connection bound with the job's current settings; asks the user once when binding fails.
bool AddressResolver::EnsureBound() {
    if (directory_ && boundWith_ == Settings()) {
        return true;
    }
    if (TryBind()) {
        return true;
    }
    std::optional<DirectorySettings> answer =
        prompt_ != nullptr ? prompt_->AskForDirectory(Settings()) : std::nullopt;
    if (!answer || answer->server.empty()) {
        SwitchOff("the directory could not be bound");
        return false;
    }
    TakeSettings(*answer);
    params_.adServer = DirectoryPath(params_.adServer);
    if (!TryBind()) {
        SwitchOff("the directory could not be bound");
        return false;
    }
    return true;
}

bool AddressResolver::TryBind() {
    directory_.reset();
    try {
        directory_ = std::make_unique<LdapDirectory>(Settings());
        boundWith_ = Settings();
        return true;
    } catch (const DirectoryError& error) {
        LogLine("**Warning**: Cannot connect to the directory: %s", error.what());
        return false;
    }
}

void AddressResolver::SwitchOff(const char* reason) {
    params_.directoryLookupDeclined = true;
    LogLine("**Warning**: Exchange addresses are not resolved for the rest of this run: %s.", reason);
}

DirectorySettings AddressResolver::Settings() const {
    return {params_.adServer, params_.adUser, params_.adPassword};
}

void AddressResolver::TakeSettings(const DirectorySettings& settings) {
    params_.adServer = settings.server;
    params_.adUser = settings.user;
    params_.adPassword = settings.password;
}

AddressResolver& ImportAddressResolver() {
    static AddressResolver resolver(GetImportParams());
    return resolver;
}

}  // namespace Tarvik::MAPI
