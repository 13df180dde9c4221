#pragma once
// Turns the addresses of senders and recipients into SMTP addresses. An SMTP address is itself; an
// Exchange address (type "EX", a legacy distinguished name) is looked up in the directory and
// becomes the entry's "mail". Results are cached for the life of the resolver. The directory comes
// from the job record (adServer, adUser, adPassword); without one, a console run fails such
// addresses at once (and tries again for the next one), while an interactive run asks the user
// once. When the user declines, or binding fails even with what the user gave, the resolver is
// switched off (directoryLookupDeclined) and every later Exchange address fails without asking.
// Not thread-safe: only the import's worker thread resolves addresses.

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "mapi/DirectoryPrompt.h"

struct ImportParams;

namespace Tarvik::MAPI {

class LdapDirectory;

// An address as a message stores it; the entry id is not used for resolving.
struct SenderAddress {
    std::string addressType;
    std::string address;
    std::string entryId;
};

class AddressResolver {
  public:
    // `prompt` may be nullptr: nobody can be asked, which counts as declining.
    explicit AddressResolver(ImportParams& params, IDirectoryPrompt* prompt = nullptr);
    ~AddressResolver();

    void SetPrompt(IDirectoryPrompt* prompt) { prompt_ = prompt; }

    // The SMTP address (for type "SMTP" the address itself, which may be empty), or nothing when
    // the type is neither "SMTP" nor "EX" or the Exchange address cannot be resolved.
    std::optional<std::string> Resolve(const SenderAddress& sender);

  private:
    bool EnsureDirectoryServer();
    bool EnsureBound();
    bool TryBind();
    void SwitchOff(const char* reason);
    DirectorySettings Settings() const;
    void TakeSettings(const DirectorySettings& settings);

    ImportParams& params_;
    IDirectoryPrompt* prompt_;
    std::map<std::string, std::string> cache_;  // legacy DN (exact) -> SMTP address
    std::unique_ptr<LdapDirectory> directory_;
    DirectorySettings boundWith_;
};

// The resolver of the running import: the process-wide job record and a cache that lives as long
// as the process.
AddressResolver& ImportAddressResolver();

}  // namespace Tarvik::MAPI
