#pragma once
// One attempt at an import job over an open source store: authenticates a Mailbox session for the
// target account, mirrors the folder tree, then adds every item of the mirrored folders in batches,
// skipping what the progress log records, and logs the statistics of the pass. A failed attempt
// leaves as the exception that ended it (Tarvik::Rpc::RpcException, Tarvik::TarvikException,
// Tarvik::MAPI::HRException).

#include <cstdint>
#include <string>
#include <vector>

#include "import/FolderTreeReplicator.h"
#include "import/MessageAdder.h"
#include "mapi/Folder.h"
#include "mapi/Session.h"
#include "mapi/Store.h"
#include "runtime/ImportParams.h"
#include "tarvik/Mailbox.h"

class MapiMessageImporter {
  public:
    MapiMessageImporter(Tarvik::MAPI::Store& store, ImportParams& params, Tarvik::MAPI::Session& session,
                        std::string accountName, std::string host, int32_t port);

    void Run();

    // Filled by the folder pass, walked by the item pass.
    FolderIdMap folderIdMap;
    std::vector<Tarvik::MAPI::Folder> folderList;
    // The source tree as the folder pass met it, for the item pass's sent test.
    FolderParentMap folderParents;

  private:
    void ReplicateFolders();
    void ImportItems();

    Tarvik::MAPI::Store& store_;
    ImportParams& params_;
    Tarvik::MAPI::Session& session_;
    std::string accountName_;
    Tarvik::Mail::Mailbox mailbox_;
};
