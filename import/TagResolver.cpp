#include "import/TagResolver.h"

#include <algorithm>

#include "import/ActingAccount.h"
#include "import/FolderName.h"
#include "runtime/Log.h"
#include "runtime/Text.h"
#include "tarvik/TarvikFaults.h"

namespace {

constexpr int32_t tagColours = 7;

// The server said it has no room for another tag.
struct TagsExhausted {};

}  // namespace

TagResolver::TagResolver(Tarvik::Mail::Mailbox& mailbox, ImportParams& params, std::string accountName)
    : mailbox_(mailbox), params_(params), accountName_(std::move(accountName)) {}

void TagResolver::Fetch() {
    try {
        tags_ = mailbox_.GetTags(ActingAccount(params_, accountName_));
    } catch (const Tarvik::TarvikServiceException::AuthExpired&) {
        mailbox_.ReLogon();
        tags_ = mailbox_.GetTags(ActingAccount(params_, accountName_));
    }
}

Tarvik::Rpc::TagIds TagResolver::Resolve(const std::vector<std::string>& categories) {
    Tarvik::Rpc::TagIds ids;
    if (!enabled_) {
        return ids;
    }
    for (const std::string& category : categories) {
        std::string name = CleanFolderName(category).name;
        if (name.empty()) {
            continue;
        }
        std::optional<int64_t> id;
        try {
            id = FindOrCreate(name);
        } catch (const TagsExhausted&) {
            enabled_ = false;
            break;
        }
        if (id && std::find(ids.begin(), ids.end(), *id) == ids.end()) {
            ids.push_back(*id);
        }
    }
    return ids;
}

std::optional<int64_t> TagResolver::FindOrCreate(const std::string& name) {
    auto known = std::find_if(tags_.begin(), tags_.end(), [&name](const Tarvik::Mail::Tag& tag) {
        return SameFolderName(tag.name, name);
    });
    if (known != tags_.end()) {
        return known->id;
    }
    auto create = [&] { return mailbox_.CreateTag(name, nextColour_, ActingAccount(params_, accountName_)); };
    int64_t id = -1;
    try {
        try {
            id = create();
        } catch (const Tarvik::TarvikServiceException::AuthExpired&) {
            mailbox_.ReLogon();
            id = create();
        }
    } catch (const Tarvik::TarvikMailException::TooManyTags&) {
        LogLine("(MI): Cannot create tag, mail.TOO_MANY_TAGS");
        throw TagsExhausted{};
    } catch (const Tarvik::TarvikMailException::InvalidName&) {
        LogLine("**Warning**: Cannot create tag \"%s\", mail.INVALID_NAME. Moving on to next tag.",
                name.c_str());
        if (params_.progress != nullptr) {
            params_.progress->ReportWarning(FormatText("WARN_CREATE_TAG", name));
        }
        return std::nullopt;
    }
    LogLine("(MI): Created tag: %s with id %s", name.c_str(), std::to_string(id).c_str());
    tags_.push_back({name, id});
    nextColour_ = (nextColour_ + 1) % tagColours;
    return id;
}
