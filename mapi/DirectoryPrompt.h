#pragma once
// How address resolution asks the user for a directory server when it has none, or when binding to
// the configured one fails. The wizard shows its directory dialog behind this interface; a run
// without anyone to ask has no prompt, which counts as declining.

#include <optional>
#include <string>

namespace Tarvik::MAPI {

// A directory server ("LDAP://host", "ldaps://host:636", "LDAP://host/dc=example,dc=org" or a bare
// host name) and the account to bind with; an empty user and password bind anonymously.
struct DirectorySettings {
    std::string server;
    std::string user;
    std::string password;

    bool operator==(const DirectorySettings&) const = default;
};

class IDirectoryPrompt {
  public:
    virtual ~IDirectoryPrompt() = default;

    // Asks for a directory, with `current` filled in. Nothing when the user declines; a returned
    // empty server counts as declining too.
    virtual std::optional<DirectorySettings> AskForDirectory(const DirectorySettings& current) = 0;
};

}  // namespace Tarvik::MAPI
