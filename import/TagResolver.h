#pragma once
// Turns an item's categories into the account's tag ids, creating the tags the account lacks.
// Category names are cleaned like folder names and compared without regard to case. After the server
// answers that the account has too many tags, no further tag is created in this item pass.

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/ImportParams.h"
#include "tarvik/FolderInfo.h"
#include "tarvik/MailRequests.h"
#include "tarvik/Mailbox.h"

class TagResolver {
  public:
    TagResolver(Tarvik::Mail::Mailbox& mailbox, ImportParams& params, std::string accountName);

    // Reads the account's tags; a session that expired is renewed once.
    void Fetch();

    // The tag ids of `categories`, each id once, in the order of the categories. Empty once tags
    // are disabled.
    Tarvik::Rpc::TagIds Resolve(const std::vector<std::string>& categories);

    bool Enabled() const { return enabled_; }
    void Release() { tags_.clear(); }

  private:
    // The tag's id, or nothing when it could not be created.
    std::optional<int64_t> FindOrCreate(const std::string& name);

    Tarvik::Mail::Mailbox& mailbox_;
    ImportParams& params_;
    std::string accountName_;
    Tarvik::Mail::TagList tags_;
    int32_t nextColour_ = 0;
    bool enabled_ = true;
};
