#pragma once
// The property tags the library itself reads or writes. Callers may use any other tag.

#include <cstdint>

namespace pst::Tag {

constexpr uint32_t Importance = 0x00170003;
constexpr uint32_t MessageClass = 0x001A001F;
constexpr uint32_t Sensitivity = 0x00360003;
constexpr uint32_t Subject = 0x0037001F;
constexpr uint32_t ClientSubmitTime = 0x00390040;
constexpr uint32_t SentRepresentingName = 0x0042001F;
constexpr uint32_t MessageToMe = 0x0057000B;
constexpr uint32_t MessageCcMe = 0x0058000B;
constexpr uint32_t ConversationTopic = 0x0070001F;
constexpr uint32_t ConversationIndex = 0x00710102;
constexpr uint32_t DisplayBcc = 0x0E02001F;
constexpr uint32_t DisplayCc = 0x0E03001F;
constexpr uint32_t DisplayTo = 0x0E04001F;
constexpr uint32_t MessageDeliveryTime = 0x0E060040;
constexpr uint32_t MessageFlags = 0x0E070003;
constexpr uint32_t MessageSize = 0x0E080003;
constexpr uint32_t MessageStatus = 0x0E170003;
constexpr uint32_t AttachSize = 0x0E200003;
constexpr uint32_t RecipientType = 0x0C150003;
constexpr uint32_t Responsibility = 0x0E0F000B;
constexpr uint32_t HasAttachments = 0x0E1B000B;
constexpr uint32_t EntryId = 0x0FFF0102;
constexpr uint32_t ObjectType = 0x0FFE0003;
constexpr uint32_t RecordKey = 0x0FF90102;
constexpr uint32_t Body = 0x1000001F;
constexpr uint32_t DisplayName = 0x3001001F;
constexpr uint32_t AddressType = 0x3002001F;
constexpr uint32_t EmailAddress = 0x3003001F;
constexpr uint32_t CreationTime = 0x30070040;
constexpr uint32_t LastModificationTime = 0x30080040;
constexpr uint32_t SearchKey = 0x300B0102;
constexpr uint32_t DisplayType = 0x39000003;
constexpr uint32_t SevenBitDisplayName = 0x39FF001F;
constexpr uint32_t SendRichInfo = 0x3A40000B;
constexpr uint32_t IpmSubtreeEntryId = 0x35E00102;
constexpr uint32_t IpmOutboxEntryId = 0x35E20102;
constexpr uint32_t IpmWastebasketEntryId = 0x35E30102;
constexpr uint32_t IpmSentMailEntryId = 0x35E40102;
constexpr uint32_t FinderEntryId = 0x35E70102;
constexpr uint32_t ValidFolderMask = 0x35DF0003;
constexpr uint32_t ContentCount = 0x36020003;
constexpr uint32_t ContentUnreadCount = 0x36030003;
constexpr uint32_t Subfolders = 0x360A000B;
constexpr uint32_t ContainerClass = 0x3613001F;
constexpr uint32_t IpmAppointmentEntryId = 0x36D00102;
constexpr uint32_t IpmContactEntryId = 0x36D10102;
constexpr uint32_t IpmJournalEntryId = 0x36D20102;
constexpr uint32_t IpmNoteEntryId = 0x36D30102;
constexpr uint32_t IpmTaskEntryId = 0x36D40102;
constexpr uint32_t IpmDraftsEntryId = 0x36D70102;
constexpr uint32_t AdditionalRenEntryIds = 0x36D81102;
constexpr uint32_t AttachDataBinary = 0x37010102;
constexpr uint32_t AttachDataObject = 0x3701000D;
constexpr uint32_t AttachFilename = 0x3704001F;
constexpr uint32_t AttachMethod = 0x37050003;
constexpr uint32_t AttachLongFilename = 0x3707001F;
constexpr uint32_t RenderingPosition = 0x370B0003;
constexpr uint32_t AttachMimeTag = 0x370E001F;
constexpr uint32_t AttachContentId = 0x3712001F;
constexpr uint32_t MessageCodepage = 0x3FFD0003;
constexpr uint32_t InternetCodepage = 0x3FDE0003;
constexpr uint32_t PstPassword = 0x67FF0003;
constexpr uint32_t LtpRowId = 0x67F20003;
constexpr uint32_t LtpRowVersion = 0x67F30003;
constexpr uint32_t ReceiveFolderNid = 0x66050003;  // column of the receive folder table
constexpr uint32_t ReplItemId = 0x0E300003;
constexpr uint32_t ReplChangeNumber = 0x0E330014;
constexpr uint32_t ReplVersionHistory = 0x0E340102;
constexpr uint32_t ReplFlags = 0x0E380003;
constexpr uint32_t ReplCopiedFromVersionHistory = 0x0E3C0102;
constexpr uint32_t ReplCopiedFromItemId = 0x0E3D0102;
constexpr uint32_t ReplyRecipientNames = 0x0050001F;

}  // namespace pst::Tag
