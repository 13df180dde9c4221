#pragma once
// An account's content as JSON, for tests that compare an import with its source item by item.
// Deterministic: the same content gives the same text whatever order it arrived in. The format is
// described in testserver/README.md.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "testserver/Store.h"

namespace Tarvik::TestServer {

struct DumpOptions {
    bool withBytes = true;  // include the bytes of messages and blobs (else only size and hash)
};

// One account's content; nothing when the store has no such account.
std::optional<nlohmann::ordered_json> DumpAccount(Store& store, const std::string& account,
                                                  const DumpOptions& options);
// {"accounts": [...]} with every account, by name.
nlohmann::ordered_json DumpAll(Store& store, const DumpOptions& options);

}  // namespace Tarvik::TestServer
