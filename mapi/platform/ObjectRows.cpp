#include "mapi/platform/ObjectRows.h"

#include "mapi/platform/PropTags.h"
#include "pst/NodeIds.h"

namespace mapipst {

namespace {

constexpr int32_t kFolderSearch = 2;  // PR_FOLDER_FLAGS of a search folder

std::string NodeBytes(uint32_t nid) {
    pst::Bytes bytes;
    pst::Append32(bytes, nid);
    return {bytes.begin(), bytes.end()};
}

}  // namespace

ObjectRows::ObjectRows(std::shared_ptr<StoreContext> context, pst::TableContext table, RowKind kind,
                       std::shared_ptr<pst::Message> owner)
    : context_(std::move(context)), table_(std::move(table)), kind_(kind), owner_(std::move(owner)) {}

bool ObjectRows::IsComputed(uint32_t tag) const {
    uint16_t id = PROP_ID(tag);
    switch (kind_) {
        case RowKind::Folders:
            return id == PROP_ID(PR_ENTRYID) || id == PROP_ID(PR_INSTANCE_KEY) ||
                   id == PROP_ID(PR_FOLDER_FLAGS) || id == PROP_ID(PR_OBJECT_TYPE);
        case RowKind::Messages:
        case RowKind::AssociatedMessages:
            return id == PROP_ID(PR_ENTRYID) || id == PROP_ID(PR_INSTANCE_KEY) ||
                   id == PROP_ID(PR_OBJECT_TYPE);
        case RowKind::Attachments:
            return id == PROP_ID(PR_ATTACH_NUM) || id == PROP_ID(PR_INSTANCE_KEY) ||
                   id == PROP_ID(PR_OBJECT_TYPE);
        case RowKind::Recipients:
            return id == PROP_ID(PR_INSTANCE_KEY) ||
                   (id == PROP_ID(PR_ROWID) && !table_.FindColumn(PR_ROWID));
    }
    return false;
}

SPropValue ObjectRows::Computed(uint32_t tag, uint32_t rowId, size_t index) const {
    uint16_t id = PROP_ID(tag);
    SPropValue value;
    if (id == PROP_ID(PR_ENTRYID)) {
        value = SPropValue::Binary(PR_ENTRYID, context_->EntryIdOf(rowId));
    } else if (id == PROP_ID(PR_INSTANCE_KEY)) {
        value = SPropValue::Binary(PR_INSTANCE_KEY, NodeBytes(rowId));
    } else if (id == PROP_ID(PR_FOLDER_FLAGS)) {
        bool search = pst::NidTypeOf(rowId) == pst::NidType::SearchFolder;
        value = SPropValue::Long(PR_FOLDER_FLAGS,
                                 search ? kFolderSearch : static_cast<int32_t>(MDB_FOLDER_NORMAL));
    } else if (id == PROP_ID(PR_ATTACH_NUM)) {
        value = SPropValue::Long(PR_ATTACH_NUM, static_cast<int32_t>(index));
    } else if (id == PROP_ID(PR_ROWID)) {
        value = SPropValue::Long(PR_ROWID, static_cast<int32_t>(index));
    } else {
        uint32_t type = kind_ == RowKind::Folders       ? MAPI_FOLDER
                        : kind_ == RowKind::Attachments ? MAPI_ATTACH
                                                        : MAPI_MESSAGE;
        value = SPropValue::Long(PR_OBJECT_TYPE, static_cast<int32_t>(type));
    }
    if (PROP_TYPE(tag) != PT_UNSPECIFIED && PROP_TYPE(tag) != value.Type()) {
        return SPropValue::Error(tag, MAPI_E_NOT_FOUND);
    }
    return value;
}

const ObjectRows::Plan& ObjectRows::PlanFor(const SPropTagArray& tags) {
    if (plan_ && plan_->tags == tags) {
        return *plan_;
    }
    Plan plan;
    plan.tags = tags;
    for (uint32_t tag : tags) {
        const pst::TableColumn* column = nullptr;
        for (const auto& c : table_.Columns()) {
            if (PROP_ID(c.tag) == PROP_ID(tag)) {
                column = &c;
                break;
            }
        }
        if (IsComputed(tag)) {
            plan.sources.push_back(Source::Computed);
            plan.storedTags.push_back(0);
        } else if (column != nullptr) {
            plan.sources.push_back(Source::Column);
            plan.storedTags.push_back(column->tag);
            plan.columnsToRead.push_back(column->tag);
        } else {
            plan.sources.push_back(Source::Object);
            plan.storedTags.push_back(0);
        }
    }
    plan_ = std::move(plan);
    return *plan_;
}

pst::PropertyContext ObjectRows::OpenRowObject(uint32_t rowId) const {
    switch (kind_) {
        case RowKind::Folders:
            return context_->file->OpenFolder(rowId).Properties();
        case RowKind::Attachments:
            return owner_->OpenAttachment(rowId).Properties();
        default:
            return context_->file->OpenMessage(rowId).Properties();
    }
}

SPropValue ObjectRows::Mended(uint32_t tag, SPropValue value, uint32_t rowId) const {
    // Every top-level message has a search key (see StoreContext::DerivedSearchKey).
    if (kind_ != RowKind::Messages || PROP_ID(tag) != PROP_ID(PR_SEARCH_KEY)) {
        return value;
    }
    bool missing = value.IsError() ? value.ErrorCode() == MAPI_E_NOT_FOUND
                                   : value.Type() == PT_BINARY && value.AsBinary().empty();
    return missing ? SPropValue::Binary(PR_SEARCH_KEY, context_->DerivedSearchKey(rowId)) : value;
}

std::vector<SPropValue> ObjectRows::Fetch(size_t index, const SPropTagArray& tags) {
    const Plan& plan = PlanFor(tags);
    pst::TableRow row;
    if (plan.columnsToRead.empty()) {
        row.rowId = table_.RowId(index);
    } else {
        row = table_.ReadRow(index, &plan.columnsToRead);
    }
    std::optional<pst::PropertyContext> object;
    std::vector<SPropValue> values;
    values.reserve(tags.size());
    for (size_t i = 0; i < tags.size(); ++i) {
        uint32_t tag = tags[i];
        SPropValue value;
        switch (plan.sources[i]) {
            case Source::Computed:
                value = Computed(tag, row.rowId, index);
                break;
            case Source::Column: {
                const pst::Value* cell = row.Find(plan.storedTags[i]);
                if (cell != nullptr) {
                    value = ToPropValue(tag, *cell, context_->codepage);
                    break;
                }
                value = SPropValue::Error(tag, MAPI_E_NOT_FOUND);
                // The search key must be the one the message itself gives, whatever the table says.
                if (kind_ != RowKind::Messages || PROP_ID(tag) != PROP_ID(PR_SEARCH_KEY)) {
                    break;
                }
                [[fallthrough]];
            }
            case Source::Object:
                if (kind_ == RowKind::Recipients) {
                    value = SPropValue::Error(tag, MAPI_E_NOT_FOUND);
                    break;
                }
                if (!object) {
                    object.emplace(OpenRowObject(row.rowId));
                }
                value = ReadProperty(*object, tag, IMAPIProp::kGetPropsLimit, context_->codepage);
                break;
        }
        values.push_back(Mended(tag, std::move(value), row.rowId));
    }
    return values;
}

SPropTagArray ObjectRows::DefaultColumns() const {
    SPropTagArray tags;
    if (kind_ != RowKind::Recipients && kind_ != RowKind::Attachments) {
        tags.push_back(PR_ENTRYID);
    }
    if (kind_ == RowKind::Attachments) {
        tags.push_back(PR_ATTACH_NUM);
    }
    for (const auto& column : table_.Columns()) {
        if (column.tag != PR_ENTRYID && PROP_ID(column.tag) != PROP_ID(PR_ATTACH_NUM)) {
            tags.push_back(column.tag);
        }
    }
    return tags;
}

std::string ObjectRows::Describe() const {
    char node[16];
    snprintf(node, sizeof node, "0x%x", table_.Nid());
    return "table node " + std::string(node) + " of " + context_->file->Path();
}

}  // namespace mapipst
