#pragma once
// Every message of a PST file, read straight from the file: for tools, tests and benchmarks that
// convert a whole file without a MAPI session. Search folders are skipped (their items live in
// other folders too).

#include <functional>
#include <string>

#include "pst/Message.h"
#include "pst/PstFile.h"

namespace Tarvik::MAPI {

struct WalkedMessage {
    const std::string& folderPath;  // "Top of Personal Folders/Inbox", "/"-separated
    uint32_t nid;
    const pst::Message& message;
    bool unicodeStore;

    // Mail, posts and meeting messages: the items an import hands to the mail converter.
    bool IsMail() const;
};

// Calls `visit` for each message of each folder below the root, depth first, in table order.
// A folder or message that cannot be read is handed to `failed` with its path, node id and the
// error text, and the walk goes on.
void WalkPstMessages(
    pst::PstFile& file, const std::function<void(const WalkedMessage&)>& visit,
    const std::function<void(const std::string& path, uint32_t nid, const std::string& error)>& failed);

}  // namespace Tarvik::MAPI
