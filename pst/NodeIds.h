#pragma once
// Node ids (NIDs): a 5-bit type and a 27-bit index. The fixed NIDs of the store and the NIDs of a
// folder's tables, which share the folder's index.

#include <cstdint>

namespace pst {

namespace NidType {
constexpr uint8_t Hid = 0x00;
constexpr uint8_t Internal = 0x01;
constexpr uint8_t NormalFolder = 0x02;
constexpr uint8_t SearchFolder = 0x03;
constexpr uint8_t NormalMessage = 0x04;
constexpr uint8_t Attachment = 0x05;
constexpr uint8_t SearchUpdateQueue = 0x06;
constexpr uint8_t SearchCriteria = 0x07;
constexpr uint8_t AssociatedMessage = 0x08;
constexpr uint8_t ContentsTableIndex = 0x0A;
constexpr uint8_t ReceiveFolderTable = 0x0B;
constexpr uint8_t OutgoingQueueTable = 0x0C;
constexpr uint8_t HierarchyTable = 0x0D;
constexpr uint8_t ContentsTable = 0x0E;
constexpr uint8_t AssociatedContentsTable = 0x0F;
constexpr uint8_t SearchContentsTable = 0x10;
constexpr uint8_t AttachmentTable = 0x11;
constexpr uint8_t RecipientTable = 0x12;
constexpr uint8_t SearchTableIndex = 0x13;
constexpr uint8_t Ltp = 0x1F;
}  // namespace NidType

constexpr uint32_t MakeNid(uint8_t type, uint32_t index) {
    return (index << 5) | type;
}
constexpr uint8_t NidTypeOf(uint32_t nid) {
    return static_cast<uint8_t>(nid & 0x1F);
}
constexpr uint32_t NidIndexOf(uint32_t nid) {
    return nid >> 5;
}
// The NID of one of a folder's tables (hierarchy, contents, associated contents).
constexpr uint32_t FolderTableNid(uint32_t folderNid, uint8_t tableType) {
    return (folderNid & ~0x1Fu) | tableType;
}

namespace Nid {
constexpr uint32_t MessageStore = 0x21;
constexpr uint32_t NameToIdMap = 0x61;
constexpr uint32_t NormalFolderTemplate = 0xA1;
constexpr uint32_t SearchFolderTemplate = 0xC1;
constexpr uint32_t RootFolder = 0x122;
constexpr uint32_t SearchManagementQueue = 0x1E1;
constexpr uint32_t SearchActivityList = 0x201;
constexpr uint32_t SearchDomainObject = 0x261;
constexpr uint32_t SearchGathererQueue = 0x281;
constexpr uint32_t SearchGathererDescriptor = 0x2A1;
constexpr uint32_t SearchGathererFolderQueue = 0x321;
constexpr uint32_t ReceiveFolderTable = 0x62B;
constexpr uint32_t HierarchyTableTemplate = 0x60D;
constexpr uint32_t ContentsTableTemplate = 0x60E;
constexpr uint32_t AssociatedContentsTableTemplate = 0x60F;
constexpr uint32_t SearchContentsTableTemplate = 0x610;
constexpr uint32_t AttachmentTable = 0x671;
constexpr uint32_t RecipientTable = 0x692;
}  // namespace Nid

}  // namespace pst
