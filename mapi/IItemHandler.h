#pragma once
// What the mailbox scanner drives: the folder walk calls OnEnterFolder / OnLeaveFolder, the item
// walk asks ShouldImport for every item and hands each new one to the operation for its kind.
// Handlers report an item's failure by throwing (Tarvik::Rpc::RpcException,
// Tarvik::TarvikException, Tarvik::MAPI::HRException); the scanner reports and counts it.

#include <string>

#include "mapi/Folder.h"
#include "mapi/Message.h"

namespace Tarvik::MAPI {

class IItemHandler {
  public:
    virtual ~IItemHandler() = default;
    // True to walk into the folder's subfolders. The root is its own parent.
    virtual bool OnEnterFolder(Folder& folder, Folder& parent) = 0;
    // After the folder's subtree, whatever OnEnterFolder answered.
    virtual void OnLeaveFolder(Folder& folder) = 0;
    // True when the item with this search key is new and is to be imported.
    virtual bool ShouldImport(const std::string& searchKey) {
        (void)searchKey;
        return true;
    }
    virtual void OnNewMessage(Message& message, Folder& folder) = 0;            // mail
    virtual void OnNewContact(Message& message, Folder& folder) = 0;            // contacts, lists
    virtual void OnNewAppointmentOrTask(Message& message, Folder& folder) = 0;  // calendar, tasks
    virtual void OnNewMeetingMessage(Message& message, Folder& folder) = 0;     // requests, replies
};

}  // namespace Tarvik::MAPI
