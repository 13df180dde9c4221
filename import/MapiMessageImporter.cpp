#include "import/MapiMessageImporter.h"

#include <memory>

#include "import/FolderName.h"
#include "import/ItemBatch.h"
#include "import/MapiSourceFolder.h"
#include "import/MessageAdder.h"
#include "import/ProgressLog.h"
#include "mapi/IItemHandler.h"
#include "mapi/MailConverter.h"
#include "mapi/MailboxScanner.h"
#include "mapi/MessageFile.h"
#include "mapi/platform/PropTags.h"
#include "mime/Message.h"
#include "runtime/Log.h"
#include "runtime/Text.h"

namespace {

using Tarvik::MAPI::Folder;
using Tarvik::MAPI::Message;

bool SecureSession(const ImportParams& params) {
    return params.AdministrativeMode() ? params.adminSslEnabled : params.sslEnabled;
}

bool LenientCertificates(const ImportParams& params) {
    return params.AdministrativeMode() ? params.adminAcceptInvalidCertificate
                                       : params.acceptInvalidCertificate;
}

// The folder walk's handler: folder replication over the store's folders.
class ReplicationHandler : public Tarvik::MAPI::IItemHandler {
  public:
    ReplicationHandler(FolderTreeReplicator& replicator, Tarvik::MAPI::Store& store,
                       std::vector<Folder>& folderList, FolderParentMap& parents)
        : replicator_(replicator), store_(store), folderList_(folderList), parents_(parents) {}

    bool OnEnterFolder(Folder& folder, Folder& parent) override {
        parents_.Record(folder.GetEntryId(), parent.GetEntryId());
        FolderTreeReplicator::Decision decision =
            replicator_.OnEnterFolder(MapiSourceFolder(folder, store_), MapiSourceFolder(parent, store_));
        if (decision.listed) {
            folderList_.push_back(folder);
        }
        return decision.descend;
    }
    void OnLeaveFolder(Folder& folder) override {
        replicator_.OnLeaveFolder(MapiSourceFolder(folder, store_));
    }
    void OnNewMessage(Message&, Folder&) override {}
    void OnNewContact(Message&, Folder&) override {}
    void OnNewAppointmentOrTask(Message&, Folder&) override {}
    void OnNewMeetingMessage(Message&, Folder&) override {}

  private:
    FolderTreeReplicator& replicator_;
    Tarvik::MAPI::Store& store_;
    std::vector<Folder>& folderList_;
    FolderParentMap& parents_;
};

class ConvertedMail : public IMimeText {
  public:
    explicit ConvertedMail(std::unique_ptr<mimepp::Message> mime) : mime_(std::move(mime)) {}
    uint64_t Size() const override { return Tarvik::MAPI::MimeSize(*mime_); }
    uint64_t WriteTo(std::ostream& out) const override { return Tarvik::MAPI::WriteMime(*mime_, out); }

  private:
    std::unique_ptr<mimepp::Message> mime_;
};

template <typename T, typename Read>
std::optional<T> PropertyOf(const Message& message, size_t index, Read read) {
    const SPropValue* value = message.Property(index);
    return value != nullptr ? std::optional<T>(read(*value)) : std::nullopt;
}

MailItemFacts FactsOf(const Message& message, const Folder& folder) {
    using namespace Tarvik::MAPI::MessageProp;
    auto text = [](const SPropValue& v) { return v.AsText(); };
    auto number = [](const SPropValue& v) { return v.AsLong(); };
    auto time = [](const SPropValue& v) { return static_cast<int64_t>(v.AsFileTime()); };
    MailItemFacts facts;
    facts.entryId = message.GetEntryId();
    facts.searchKey = PropertyOf<std::string>(message, SearchKey, [](const SPropValue& v) {
                          return v.AsBinary();
                      }).value_or(std::string());
    facts.subject = PropertyOf<std::string>(message, Subject, text).value_or(std::string());
    facts.folderEntryId = folder.GetEntryId();
    facts.folderName = folder.Name();
    facts.messageSize = PropertyOf<int32_t>(message, MessageSize, number);
    facts.messageFlags = PropertyOf<int32_t>(message, MessageFlags, number);
    facts.lastVerb = PropertyOf<int32_t>(message, LastVerbExecuted, number);
    facts.flagStatus = PropertyOf<int32_t>(message, FlagStatus, number);
    facts.submitTime = PropertyOf<int64_t>(message, ClientSubmitTime, time);
    facts.deliveryTime = PropertyOf<int64_t>(message, MessageDeliveryTime, time);
    SPropValue created;
    if (message.Get() != nullptr && !FAILED(HrGetOneProp(*message.Get(), PR_CREATION_TIME, created))) {
        facts.creationTime = static_cast<int64_t>(created.AsFileTime());
    }
    facts.categories = message.Keywords();
    return facts;
}

// The item walk's handler: mail goes to the adder; contacts, appointments and tasks come later.
class AdderHandler : public Tarvik::MAPI::IItemHandler {
  public:
    explicit AdderHandler(MessageAdder& adder) : adder_(adder) {}

    bool OnEnterFolder(Folder&, Folder&) override { return true; }
    void OnLeaveFolder(Folder&) override {}
    bool ShouldImport(const std::string& searchKey) override { return adder_.ShouldImport(searchKey); }
    void OnNewMessage(Message& message, Folder& folder) override {
        adder_.AddMail(FactsOf(message, folder), [&message] {
            return std::make_unique<ConvertedMail>(Tarvik::MAPI::ConvertMailToMime(message));
        });
    }
    void OnNewMeetingMessage(Message& message, Folder& folder) override { OnNewMessage(message, folder); }
    void OnNewContact(Message& message, Folder& folder) override { NotYet(message, folder); }
    void OnNewAppointmentOrTask(Message& message, Folder& folder) override { NotYet(message, folder); }

  private:
    static void NotYet(const Message& message, const Folder& folder) {
        LogLine("(MI): %s item in %s left out: this version imports mail only",
                message.MessageClass().c_str(), folder.Name().c_str());
    }

    MessageAdder& adder_;
};

// Keeps an Outlook message file of every item that failed, named after its dump number.
class MessageFileCopier : public IFailedItemCopier {
  public:
    MessageFileCopier(Tarvik::MAPI::Session& session, const ImportParams& params)
        : session_(session), params_(params) {}

    void CopyFailedItem(const PendingItem& item, int32_t dumpNumber) override {
        uint32_t type = 0;
        std::unique_ptr<IMAPIProp> object;
        if (session_.Get() == nullptr || FAILED(session_.Get()->OpenEntry(item.entryId, 0, type, object))) {
            return;
        }
        std::unique_ptr<IMessage> message = As<IMessage>(std::move(object));
        std::string path =
            params_.workDirectory + "/" + std::to_string(dumpNumber) + "-" + HexBytes(item.entryId) + ".msg";
        if (message && Tarvik::MAPI::SaveMessageFile(*message, path) == S_OK) {
            LogLine("(MI): The MAPI message was logged to %s: ", path.c_str());
        }
    }

  private:
    Tarvik::MAPI::Session& session_;
    const ImportParams& params_;
};

}  // namespace

MapiMessageImporter::MapiMessageImporter(Tarvik::MAPI::Store& store, ImportParams& params,
                                         Tarvik::MAPI::Session& session, std::string accountName,
                                         std::string host, int32_t port)
    : store_(store),
      params_(params),
      session_(session),
      accountName_(std::move(accountName)),
      mailbox_(std::move(host), static_cast<uint32_t>(port), SecureSession(params),
               LenientCertificates(params)) {}

void MapiMessageImporter::Run() {
    LogLine("Using default store");
    LogLine("Logging on to tarvik server (%s:%d)", params_.serverName.c_str(),
            params_.AdministrativeMode() ? params_.adminPort : params_.port);
    mailbox_.Authenticate(params_.authAccount, params_.password);

    ReplicateFolders();
    ImportItems();

    LogLine("Messages imported, cleaning up");
    LogLine("Deleting mapi folder list");
    folderList.clear();
    LogLine("Deleted mapi folder list");
    LogLine("Import complete");
}

void MapiMessageImporter::ReplicateFolders() {
    LogLine("Replicating folder hierarchy");
    if (params_.progress != nullptr) {
        params_.progress->SetStatus(LookupText("INFO_REPLICATING_HIERARCHY"));
    }
    FolderTreeReplicator replicator(folderIdMap, mailbox_, params_, accountName_);
    replicator.FetchServerFolders();
    ReplicationHandler handler(replicator, store_, folderList, folderParents);
    Tarvik::MAPI::MailboxScanner folderWalk(true);
    Tarvik::MAPI::ScanFolders(store_, folderWalk, *session_.Get(), handler);
}

void MapiMessageImporter::ImportItems() {
    LogLine("Importing messages");
    MessageFileCopier copier(session_, params_);
    MessageAdder adder(folderIdMap, mailbox_, params_, accountName_, params_.pstBaseName, copier,
                       folderParents);
    adder.OpenProgressLog(progressLogSalt, params_.pstBaseName);
    adder.BeginBatch();
    AdderHandler handler(adder);
    Tarvik::MAPI::MailboxScanner scanner;
    scanner.Scan(*session_.Get(), store_, handler, folderList);
    adder.Finish();
}
