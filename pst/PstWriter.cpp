#include "pst/PstWriter.h"

#include <algorithm>
#include <cstring>
#include <random>

#include <fmt/format.h>

#include "pst/Crc.h"
#include "pst/NodeIds.h"
#include "pst/PropTags.h"
#include "runtime/Utf8.h"

namespace pst {

Value TextValue(const std::string& utf8) {
    std::string utf16 = Utf8::ToUtf16LE(utf8);
    return Value(PropType::Unicode, Bytes(utf16.begin(), utf16.end()));
}

Value LongValue(int32_t v) {
    Bytes raw(4);
    Put32(raw.data(), static_cast<uint32_t>(v));
    return Value(PropType::Long, raw);
}

Value BoolValue(bool v) {
    return Value(PropType::Boolean, Bytes{static_cast<uint8_t>(v ? 1 : 0)});
}

Value Int64Value(uint16_t type, int64_t v) {
    Bytes raw(8);
    Put64(raw.data(), static_cast<uint64_t>(v));
    return Value(type, raw);
}

Value TimeValue(int64_t fileTime) {
    return Int64Value(PropType::SysTime, fileTime);
}

Value BinaryValue(Bytes bytes) {
    return Value(PropType::Binary, std::move(bytes));
}

Value DoubleValue(uint16_t type, double v) {
    if (type == PropType::Float) {
        float f = static_cast<float>(v);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        Bytes raw(4);
        Put32(raw.data(), bits);
        return Value(type, raw);
    }
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    Bytes raw(8);
    Put64(raw.data(), bits);
    return Value(type, raw);
}

namespace {

const std::vector<uint32_t> kHierarchyColumns = {Tag::DisplayName, Tag::ContentCount, Tag::ContentUnreadCount,
                                                 Tag::Subfolders, Tag::ContainerClass};

const std::vector<uint32_t> kContentsColumns = {Tag::Importance,
                                                Tag::MessageClass,
                                                Tag::Sensitivity,
                                                Tag::Subject,
                                                Tag::ClientSubmitTime,
                                                Tag::SentRepresentingName,
                                                Tag::MessageToMe,
                                                Tag::MessageCcMe,
                                                Tag::ConversationTopic,
                                                Tag::ConversationIndex,
                                                Tag::DisplayCc,
                                                Tag::DisplayTo,
                                                Tag::MessageDeliveryTime,
                                                Tag::MessageFlags,
                                                Tag::MessageSize,
                                                Tag::MessageStatus,
                                                Tag::LastModificationTime,
                                                Tag::SearchKey,
                                                Tag::HasAttachments,
                                                Tag::CreationTime};

const std::vector<uint32_t> kAttachmentColumns = {Tag::AttachSize, Tag::AttachFilename, Tag::AttachMethod,
                                                  Tag::RenderingPosition};

const std::vector<uint32_t> kRecipientColumns = {
    Tag::RecipientType, Tag::Responsibility, Tag::RecordKey,           Tag::ObjectType,
    Tag::EntryId,       Tag::DisplayName,    Tag::AddressType,         Tag::EmailAddress,
    Tag::SearchKey,     Tag::DisplayType,    Tag::SevenBitDisplayName, Tag::SendRichInfo};

const Value* FindValue(const PropertyList& list, uint32_t tag) {
    for (const auto& [t, v] : list) {
        if (t == tag) {
            return &v;
        }
    }
    return nullptr;
}

bool HasId(const PropertyList& list, uint16_t id) {
    return std::any_of(list.begin(), list.end(), [&](const auto& p) { return TagId(p.first) == id; });
}

void SetDefault(PropertyList& list, uint32_t tag, Value value) {
    if (!HasId(list, TagId(tag))) {
        list.emplace_back(tag, std::move(value));
    }
}

PropertyList Subset(const PropertyList& list, const std::vector<uint32_t>& tags) {
    PropertyList out;
    for (const auto& p : list) {
        if (std::find(tags.begin(), tags.end(), p.first) != tags.end()) {
            out.push_back(p);
        }
    }
    return out;
}

uint64_t ApproximateSize(const PropertyList& list) {
    uint64_t size = 0;
    for (const auto& [tag, value] : list) {
        size += 8 + (value.IsMulti() ? value.Stored().size() : value.Raw().size());
    }
    return size;
}

}  // namespace

PstWriter::PstWriter(const std::string& path, WriterOptions options) : options_(std::move(options)) {
    std::mt19937 random(options_.seed);
    for (auto& b : recordKey_) {
        b = static_cast<uint8_t>(random());
    }
    ndb_ = std::make_unique<NdbWriter>(path, options_.format, options_.encryption,
                                       static_cast<uint32_t>(random()), options_.padToInterval);
    CreateStandardFolders();
    // Readers expect a name-to-id map with entries and property sets; every Outlook store has
    // these two (categories, and the version of the client that wrote an item).
    NamedId(kPsPublicStrings, "Keywords");
    NamedId(Guid::Parse("{00062008-0000-0000-C000-000000000046}"), 0x8554);
}

PstWriter::~PstWriter() = default;

Bytes PstWriter::EntryIdOf(uint32_t nid) const {
    Bytes id(24, 0);
    std::copy(recordKey_.begin(), recordKey_.end(), id.begin() + 4);
    Put32(id.data() + 20, nid);
    return id;
}

void PstWriter::CreateStandardFolders() {
    FolderRecord root;
    root.nid = Nid::RootFolder;
    root.parent = Nid::RootFolder;  // the root folder is its own parent
    folders_[root.nid] = root;
    special_[SpecialFolder::Root] = root.nid;
    special_[SpecialFolder::IpmSubtree] = AddFolder(root.nid, "Top of Personal Folders", "");
    special_[SpecialFolder::SearchRoot] = AddFolder(root.nid, "Search Root", "");
    const uint32_t ipm = special_[SpecialFolder::IpmSubtree];
    special_[SpecialFolder::DeletedItems] = AddFolder(ipm, "Deleted Items", "IPF.Note");
    special_[SpecialFolder::Inbox] = AddFolder(ipm, "Inbox", "IPF.Note");
    special_[SpecialFolder::Outbox] = AddFolder(ipm, "Outbox", "IPF.Note");
    special_[SpecialFolder::SentItems] = AddFolder(ipm, "Sent Items", "IPF.Note");
    special_[SpecialFolder::Calendar] = AddFolder(ipm, "Calendar", "IPF.Appointment");
    special_[SpecialFolder::Contacts] = AddFolder(ipm, "Contacts", "IPF.Contact");
    special_[SpecialFolder::Tasks] = AddFolder(ipm, "Tasks", "IPF.Task");
    special_[SpecialFolder::Drafts] = AddFolder(ipm, "Drafts", "IPF.Note");
    special_[SpecialFolder::JunkEmail] = AddFolder(ipm, "Junk E-mail", "IPF.Note");
    // Where clients find the special folders: on the Inbox and on the root folder.
    PropertyList links = {
        {Tag::IpmAppointmentEntryId, BinaryValue(EntryIdOf(special_[SpecialFolder::Calendar]))},
        {Tag::IpmContactEntryId, BinaryValue(EntryIdOf(special_[SpecialFolder::Contacts]))},
        {Tag::IpmTaskEntryId, BinaryValue(EntryIdOf(special_[SpecialFolder::Tasks]))},
        {Tag::IpmDraftsEntryId, BinaryValue(EntryIdOf(special_[SpecialFolder::Drafts]))},
        {Tag::AdditionalRenEntryIds,
         Value::Multi(PropType::Binary, {{}, {}, {}, {}, EntryIdOf(special_[SpecialFolder::JunkEmail])})}};
    FolderAt(special_[SpecialFolder::Inbox]).extra = links;
    FolderAt(Nid::RootFolder).extra = links;
}

PstWriter::FolderRecord& PstWriter::FolderAt(uint32_t nid) {
    auto it = folders_.find(nid);
    if (it == folders_.end() || it->second.search) {
        throw Error(fmt::format("0x{:x} is not a folder of this file", nid));
    }
    return it->second;
}

uint16_t PstWriter::NamedId(const Guid& guid, uint32_t number) {
    for (const auto& n : named_) {
        if (!n.isString && n.number == number && n.guid == guid) {
            return n.propId;
        }
    }
    NamedProperty n;
    n.guid = guid;
    n.number = number;
    n.propId = static_cast<uint16_t>(0x8000 + named_.size());
    named_.push_back(n);
    return n.propId;
}

uint16_t PstWriter::NamedId(const Guid& guid, const std::string& name) {
    for (const auto& n : named_) {
        if (n.isString && n.name == name && n.guid == guid) {
            return n.propId;
        }
    }
    NamedProperty n;
    n.guid = guid;
    n.isString = true;
    n.name = name;
    n.propId = static_cast<uint16_t>(0x8000 + named_.size());
    named_.push_back(n);
    return n.propId;
}

uint32_t PstWriter::AddFolder(uint32_t parentNid, const std::string& name, const std::string& containerClass,
                              const PropertyList& extra, bool searchFolder) {
    FolderRecord& parent = FolderAt(parentNid);
    FolderRecord f;
    f.nid = searchFolder ? MakeNid(NidType::SearchFolder, nextSearchFolderIndex_++)
                         : MakeNid(NidType::NormalFolder, nextFolderIndex_++);
    f.parent = parentNid;
    f.name = name;
    f.containerClass = containerClass;
    f.extra = extra;
    f.search = searchFolder;
    parent.children.push_back(f.nid);
    folders_[f.nid] = f;
    return f.nid;
}

PropertyList PstWriter::CompleteMessage(const MessageSpec& spec, uint32_t nid) const {
    PropertyList p = spec.properties;
    SetDefault(p, Tag::MessageClass, TextValue("IPM.Note"));
    int32_t flags = 1;  // read
    if (const Value* v = FindValue(p, Tag::MessageFlags)) {
        flags = v->AsInt32();
        p.erase(
            std::remove_if(p.begin(), p.end(), [](const auto& e) { return e.first == Tag::MessageFlags; }),
            p.end());
    }
    if (!spec.attachments.empty()) {
        flags |= 0x10;
    }
    p.emplace_back(Tag::MessageFlags, LongValue(flags));
    SetDefault(p, Tag::HasAttachments, BoolValue(!spec.attachments.empty()));
    Bytes searchKey(16);
    for (size_t i = 0; i < 16; ++i) {
        searchKey[i] = static_cast<uint8_t>((nid >> ((i % 4) * 8)) ^ recordKey_[i] ^ (i * 37));
    }
    SetDefault(p, Tag::SearchKey, BinaryValue(searchKey));
    int64_t created = options_.defaultTime;
    if (const Value* v = FindValue(p, Tag::ClientSubmitTime)) {
        created = v->AsInt64();
    }
    SetDefault(p, Tag::CreationTime, TimeValue(created));
    SetDefault(p, Tag::LastModificationTime, TimeValue(created));
    uint64_t size = ApproximateSize(p);
    for (const auto& a : spec.attachments) {
        size += ApproximateSize(a.properties);
    }
    SetDefault(p, Tag::MessageSize, LongValue(static_cast<int32_t>(std::min<uint64_t>(size, 0x7FFFFFFF))));
    return p;
}

SubnodeEntry PstWriter::WriteAttachment(const AttachmentSpec& spec, uint32_t nid, int index) {
    PropertyList p = spec.properties;
    SubnodeIds ids;
    NodeContent embedded;
    uint32_t embeddedNid = 0;
    if (spec.embedded) {
        SetDefault(p, Tag::AttachMethod, LongValue(5));
        PropertyList inner = CompleteMessage(*spec.embedded, nid);
        NodeContent content = WriteMessage(*spec.embedded, inner);
        embeddedNid = ids.Next(NidType::NormalMessage);
        embedded.subnodes.push_back({embeddedNid, content.bidData, ndb_->WriteSubnodes(content.subnodes)});
        Bytes object(8);
        Put32(object.data(), embeddedNid);
        Put32(object.data() + 4, static_cast<uint32_t>(ApproximateSize(inner)));
        p.emplace_back(Tag::AttachDataObject, Value(PropType::Object, object));
    } else {
        SetDefault(p, Tag::AttachMethod, LongValue(1));
    }
    SetDefault(p, Tag::RenderingPosition, LongValue(-1));
    SetDefault(p, MakeTag(0x0E21, PropType::Long), LongValue(index));  // PR_ATTACH_NUM
    SetDefault(p, Tag::AttachSize,
               LongValue(static_cast<int32_t>(std::min<uint64_t>(ApproximateSize(p), 0x7FFFFFFF))));
    NodeContent content = WritePropertyContext(*ndb_, p, ids);
    content.subnodes.insert(content.subnodes.end(), embedded.subnodes.begin(), embedded.subnodes.end());
    return {nid, content.bidData, ndb_->WriteSubnodes(content.subnodes)};
}

NodeContent PstWriter::WriteMessage(const MessageSpec& spec, const PropertyList& properties) {
    SubnodeIds ids;
    NodeContent message = WritePropertyContext(*ndb_, properties, ids);
    auto addTable = [&](uint32_t nid, const std::vector<uint32_t>& columns,
                        const std::vector<TableRowToWrite>& rows) {
        SubnodeIds tableIds;
        NodeContent table = WriteTableContext(*ndb_, columns, rows, tableIds);
        message.subnodes.push_back({nid, table.bidData, ndb_->WriteSubnodes(table.subnodes)});
    };
    if (!spec.recipients.empty()) {
        std::vector<uint32_t> columns = kRecipientColumns;
        std::vector<TableRowToWrite> rows;
        for (size_t i = 0; i < spec.recipients.size(); ++i) {
            for (const auto& [tag, value] : spec.recipients[i]) {
                columns.push_back(tag);
            }
            PropertyList r = spec.recipients[i];
            SetDefault(r, Tag::RecipientType, LongValue(1));
            SetDefault(r, Tag::ObjectType, LongValue(6));  // MAPI_MAILUSER
            SetDefault(r, Tag::DisplayType, LongValue(0));
            SetDefault(r, Tag::Responsibility, BoolValue(false));
            SetDefault(r, Tag::SendRichInfo, BoolValue(false));
            rows.push_back({static_cast<uint32_t>(i), r});
        }
        addTable(Nid::RecipientTable, columns, rows);
    }
    if (!spec.attachments.empty()) {
        std::vector<TableRowToWrite> rows;
        for (size_t i = 0; i < spec.attachments.size(); ++i) {
            uint32_t nid = ids.Next(NidType::Attachment);
            SubnodeEntry entry = WriteAttachment(spec.attachments[i], nid, static_cast<int>(i));
            message.subnodes.push_back(entry);
            PropertyList row = Subset(spec.attachments[i].properties, kAttachmentColumns);
            SetDefault(row, Tag::AttachMethod, LongValue(spec.attachments[i].embedded ? 5 : 1));
            SetDefault(row, Tag::RenderingPosition, LongValue(-1));
            SetDefault(row, Tag::AttachSize,
                       LongValue(static_cast<int32_t>(
                           std::min<uint64_t>(ApproximateSize(spec.attachments[i].properties), 0x7FFFFFFF))));
            rows.push_back({nid, row});
        }
        addTable(Nid::AttachmentTable, kAttachmentColumns, rows);
    }
    return message;
}

uint32_t PstWriter::AddMessage(uint32_t folderNid, const MessageSpec& message, bool associated) {
    FolderRecord& folder = FolderAt(folderNid);
    const uint32_t nid = associated ? MakeNid(NidType::AssociatedMessage, nextAssociatedIndex_++)
                                    : MakeNid(NidType::NormalMessage, nextMessageIndex_++);
    PropertyList properties = CompleteMessage(message, nid);
    WriteNode(nid, WriteMessage(message, properties), folderNid);
    std::vector<uint32_t> columns = kContentsColumns;
    (associated ? folder.associated : folder.contents).push_back({nid, Subset(properties, columns)});
    if (!associated && (FindValue(properties, Tag::MessageFlags)->AsInt32() & 1) == 0) {
        ++folder.unread;
    }
    return nid;
}

void PstWriter::WriteNode(uint32_t nid, const NodeContent& content, uint32_t parent) {
    ndb_->AddNode(nid, content.bidData, ndb_->WriteSubnodes(content.subnodes), parent);
}

void PstWriter::WriteFolder(const FolderRecord& f) {
    PropertyList p = f.extra;
    SetDefault(p, Tag::DisplayName, TextValue(f.name));
    if (!f.containerClass.empty()) {
        SetDefault(p, Tag::ContainerClass, TextValue(f.containerClass));
    }
    if (f.search) {
        SubnodeIds ids;
        WriteNode(f.nid, WritePropertyContext(*ndb_, p, ids), f.parent);
        return;
    }
    SetDefault(p, Tag::ContentCount, LongValue(static_cast<int32_t>(f.contents.size())));
    SetDefault(p, Tag::ContentUnreadCount, LongValue(static_cast<int32_t>(f.unread)));
    SetDefault(p, Tag::Subfolders, BoolValue(!f.children.empty()));
    SubnodeIds ids;
    WriteNode(f.nid, WritePropertyContext(*ndb_, p, ids), f.parent);

    std::vector<TableRowToWrite> hierarchy;
    for (uint32_t child : f.children) {
        const FolderRecord& c = folders_.at(child);
        PropertyList row = {{Tag::DisplayName, TextValue(c.name)},
                            {Tag::ContentCount, LongValue(static_cast<int32_t>(c.contents.size()))},
                            {Tag::ContentUnreadCount, LongValue(static_cast<int32_t>(c.unread))},
                            {Tag::Subfolders, BoolValue(!c.children.empty())}};
        if (!c.containerClass.empty()) {
            row.emplace_back(Tag::ContainerClass, TextValue(c.containerClass));
        }
        hierarchy.push_back({child, row});
    }
    auto table = [&](uint8_t type, const std::vector<uint32_t>& columns,
                     const std::vector<TableRowToWrite>& rows) {
        SubnodeIds tableIds;
        WriteNode(FolderTableNid(f.nid, type), WriteTableContext(*ndb_, columns, rows, tableIds), 0);
    };
    table(NidType::HierarchyTable, kHierarchyColumns, hierarchy);
    table(NidType::ContentsTable, kContentsColumns, f.contents);
    table(NidType::AssociatedContentsTable, kContentsColumns, f.associated);
}

void PstWriter::WriteStore() {
    PropertyList p = {
        {Tag::RecordKey, BinaryValue(Bytes(recordKey_.begin(), recordKey_.end()))},
        {Tag::DisplayName, TextValue(options_.storeName)},
        {Tag::IpmSubtreeEntryId, BinaryValue(EntryIdOf(special_[SpecialFolder::IpmSubtree]))},
        {Tag::IpmWastebasketEntryId, BinaryValue(EntryIdOf(special_[SpecialFolder::DeletedItems]))},
        {Tag::FinderEntryId, BinaryValue(EntryIdOf(special_[SpecialFolder::SearchRoot]))},
        {Tag::IpmOutboxEntryId, BinaryValue(EntryIdOf(special_[SpecialFolder::Outbox]))},
        {Tag::IpmSentMailEntryId, BinaryValue(EntryIdOf(special_[SpecialFolder::SentItems]))},
        // Subtree, inbox, outbox, wastebasket, sent mail and finder are valid.
        {Tag::ValidFolderMask, LongValue(0x9F)}};
    if (options_.passwordCrc) {
        p.emplace_back(Tag::PstPassword, LongValue(static_cast<int32_t>(*options_.passwordCrc)));
    }
    SubnodeIds ids;
    WriteNode(Nid::MessageStore, WritePropertyContext(*ndb_, p, ids), 0);
}

void PstWriter::WriteNameMap() {
    constexpr uint32_t kBuckets = 251;
    Bytes guids, entries, strings;
    std::vector<Bytes> buckets(kBuckets);
    std::vector<Guid> guidList;
    for (size_t i = 0; i < named_.size(); ++i) {
        const NamedProperty& n = named_[i];
        uint16_t guidIndex;
        if (n.guid == kPsMapi) {
            guidIndex = 1;
        } else if (n.guid == kPsPublicStrings) {
            guidIndex = 2;
        } else {
            auto it = std::find(guidList.begin(), guidList.end(), n.guid);
            if (it == guidList.end()) {
                guidList.push_back(n.guid);
                guids.insert(guids.end(), n.guid.bytes.begin(), n.guid.bytes.end());
                it = guidList.end() - 1;
            }
            guidIndex = static_cast<uint16_t>(3 + (it - guidList.begin()));
        }
        uint32_t value = n.number;
        uint32_t hash = n.number;
        if (n.isString) {
            std::string utf16 = Utf8::ToUtf16LE(n.name);
            value = static_cast<uint32_t>(strings.size());
            Append32(strings, static_cast<uint32_t>(utf16.size()));
            strings.insert(strings.end(), utf16.begin(), utf16.end());
            while (strings.size() % 4) {
                strings.push_back(0);
            }
            hash = PstCrc32(ByteSpan(reinterpret_cast<const uint8_t*>(utf16.data()), utf16.size()));
        }
        const uint16_t guidWord = static_cast<uint16_t>((guidIndex << 1) | (n.isString ? 1 : 0));
        Bytes record;
        Append32(record, value);
        Append16(record, guidWord);
        Append16(record, static_cast<uint16_t>(i));
        AppendBytes(entries, record);
        AppendBytes(buckets[(hash ^ guidWord) % kBuckets], record);
    }
    PropertyList p = {{MakeTag(0x0001, PropType::Long), LongValue(kBuckets)},
                      {MakeTag(0x0002, PropType::Binary), BinaryValue(guids)},
                      {MakeTag(0x0003, PropType::Binary), BinaryValue(entries)},
                      {MakeTag(0x0004, PropType::Binary), BinaryValue(strings)}};
    for (uint32_t b = 0; b < kBuckets; ++b) {
        if (!buckets[b].empty()) {
            p.emplace_back(MakeTag(static_cast<uint16_t>(0x1000 + b), PropType::Binary),
                           BinaryValue(buckets[b]));
        }
    }
    SubnodeIds ids;
    WriteNode(Nid::NameToIdMap, WritePropertyContext(*ndb_, p, ids), 0);
}

void PstWriter::WriteReceiveFolders() {
    const uint32_t inbox = special_[SpecialFolder::Inbox];
    const std::pair<const char*, uint32_t> classes[] = {
        {"", inbox}, {"IPM", inbox}, {"Report.IPM", inbox}, {"IPC", Nid::RootFolder}};
    std::vector<TableRowToWrite> rows;
    for (const auto& [cls, folder] : classes) {
        rows.push_back({static_cast<uint32_t>(rows.size() + 1),
                        {{Tag::MessageClass, TextValue(cls)},
                         {Tag::ReceiveFolderNid, LongValue(static_cast<int32_t>(folder))}}});
    }
    SubnodeIds ids;
    WriteNode(Nid::ReceiveFolderTable,
              WriteTableContext(*ndb_, {Tag::MessageClass, Tag::ReceiveFolderNid}, rows, ids), 0);
}

void PstWriter::WriteTemplates() {
    auto empty = [&](uint32_t nid, const std::vector<uint32_t>& columns) {
        SubnodeIds ids;
        WriteNode(nid, WriteTableContext(*ndb_, columns, {}, ids), 0);
    };
    empty(Nid::HierarchyTableTemplate, kHierarchyColumns);
    empty(Nid::ContentsTableTemplate, kContentsColumns);
    empty(Nid::AssociatedContentsTableTemplate, kContentsColumns);
    empty(Nid::SearchContentsTableTemplate, kContentsColumns);
    empty(Nid::AttachmentTable, kAttachmentColumns);
    empty(Nid::RecipientTable, kRecipientColumns);
}

void PstWriter::Finish() {
    if (finished_) {
        return;
    }
    finished_ = true;
    for (const auto& [nid, folder] : folders_) {
        WriteFolder(folder);
    }
    WriteStore();
    WriteNameMap();
    WriteReceiveFolders();
    WriteTemplates();
    std::array<uint32_t, 32> next{};
    for (uint32_t type = 0; type < 32; ++type) {
        next[type] = MakeNid(static_cast<uint8_t>(type), 0x400);
    }
    next[NidType::NormalFolder] = MakeNid(NidType::NormalFolder, nextFolderIndex_);
    next[NidType::SearchFolder] = MakeNid(NidType::SearchFolder, nextSearchFolderIndex_);
    next[NidType::NormalMessage] = MakeNid(NidType::NormalMessage, nextMessageIndex_);
    next[NidType::AssociatedMessage] = MakeNid(NidType::AssociatedMessage, nextAssociatedIndex_);
    ndb_->Finish(next);
}

}  // namespace pst
