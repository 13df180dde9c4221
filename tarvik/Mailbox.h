#pragma once
// One account on the server: logon and session, account information (administrator flags, server
// version, quota), folders, tags, contacts, messages, and batches of requests with their per-item
// results. Every operation builds a request, executes it over the mailbox's connection, turns a
// fault into its exception and reads its result. Used by one thread at a time.
//
// Operations that take `account` act on that account's mailbox (administrative mode); nothing means
// the authenticated account itself.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "tarvik/BatchRequest.h"
#include "tarvik/Connection.h"
#include "tarvik/FolderInfo.h"
#include "tarvik/MailRequests.h"
#include "tarvik/SessionInfo.h"

namespace Tarvik::Mail {

class MessageStream;

using Account = std::optional<std::string>;

class Mailbox {
  public:
    Mailbox(std::string host, uint32_t port, bool secure, bool ignoreCertificateErrors);
    ~Mailbox();
    Mailbox(const Mailbox&) = delete;
    Mailbox& operator=(const Mailbox&) = delete;

    // Executes a request, optionally stamped with the session, and returns the answer after
    // throwing its fault. Throws RpcException or a TarvikException.
    Xml::Document Execute(Rpc::Request& request, bool stampSession, const Account& account);

    // Logs on (an administrator on the admin service in administrative mode) and reads the account
    // information. True when the server gave an auth token. The first call's credentials are kept
    // for ReLogon.
    bool Authenticate(std::string_view user, std::string_view password);
    bool ReLogon();
    // Sets the job's administrator flags and server version, the account name and QuotaRemaining.
    void ReadAccountInfo();

    std::unique_ptr<FolderInfo> GetRootFolder(const Account& account);
    // A folder of the same answer as `folder` whose parent is `parentId` and whose name equals `name`
    // without regard to case; nothing when there is none.
    std::unique_ptr<FolderInfo> FindChildFolder(const FolderInfo& folder, int64_t parentId,
                                                std::string_view name);
    int64_t CreateFolder(std::string_view name, int64_t parentId, int kind, const Account& account);
    TagList GetTags(const Account& account);
    int64_t CreateTag(std::string_view name, int32_t color, const Account& account);

    // In batch mode these queue the request and return its request id; otherwise they return the
    // new item's id.
    int64_t CreateContact(const Rpc::ContactAttributes& attributes, int64_t folderId,
                          const Rpc::TagIds& tagIds, const Account& account);
    int64_t AddMessage(const MessageStream& message, int64_t folderId, std::string_view flags,
                       const Rpc::TagIds& tagIds, uint64_t fileTime, const Account& account);
    // Keeps a copy of an uploaded message in the work directory as <DumpFileName(token)>.eml and
    // records the name in DumpedMessages.
    void DumpMessage(std::string_view uploadToken, const MessageStream& message);

    void StartBatch();
    // Queues a request built elsewhere (appointments, tasks); its request id, or -1 on failure.
    int64_t AddToBatch(Rpc::Request& request);
    bool InBatchMode() const { return batchMode_; }
    // Sends the batch and ends batch mode. The executed batch stays readable through ExecutedBatch()
    // until the next StartBatch (its document is dumped when items failed). A batch that could not be
    // sent stays pending, so it can be sent again after a new logon.
    Xml::Document ExecuteBatchRequest(const Account& account);
    const Rpc::BatchRequest* ExecutedBatch() const { return executedBatch_.get(); }
    static bool HasFault(const Xml::Document& response);

    // Per-item results of a batch answer: the new item's id, or a TarvikException with the item's
    // fault (or a "no id returned" text).
    static int64_t GetAddMsgResult(const Xml::Document& response, int64_t requestId);
    static int64_t GetCreateContactResult(const Xml::Document& response, int64_t requestId);
    static int64_t GetSetAppointmentResult(const Xml::Document& response, int64_t requestId);
    static int64_t GetSetTaskResult(const Xml::Document& response, int64_t requestId);

    // The domain of `user` (after its first "@"), else of the account name the server reported.
    std::string DomainOf(std::string_view user) const;

    Rpc::Connection& Connection() { return connection_; }
    const Rpc::SessionInfo& Session() const { return session_; }
    const std::string& AccountName() const { return accountName_; }
    int64_t QuotaRemaining() const { return quotaRemaining_; }
    int64_t RequestCounter() const { return requestCounter_; }

    // File names (without ".eml") of the messages DumpMessage kept; the batch code deletes them once
    // their batch succeeded.
    std::set<std::string> DumpedMessages;

  private:
    int64_t Queue(Rpc::Request& request);

    Rpc::Connection connection_;
    Rpc::SessionInfo session_;
    std::unique_ptr<Rpc::BatchRequest> batch_;
    std::unique_ptr<Rpc::BatchRequest> executedBatch_;
    bool batchMode_ = false;
    int64_t requestCounter_ = 0;
    std::optional<std::string> user_;
    std::optional<std::string> password_;
    std::string accountName_;
    int64_t quotaRemaining_ = 0;
};

}  // namespace Tarvik::Mail
