#pragma once
// What every object opened from one PST store shares: the open file, its entry ids and how its
// stored values become MAPI values. Objects hold the context by shared pointer, so the file stays
// open until the last of them is released.

#include <memory>
#include <optional>
#include <string>

#include "mapi/platform/PropValue.h"
#include "pst/PstFile.h"

namespace mapipst {

struct StoreContext {
    StoreContext(std::unique_ptr<pst::PstFile> file, EntryId storeEntryId);

    EntryId EntryIdOf(uint32_t nid) const;
    // The NID an entry id of this store names.
    std::optional<uint32_t> NidOf(const EntryId& entryId) const;
    // The search key of a message that has none stored: derived from the store and the node, so
    // it is the same every time the file is read and differs between messages.
    std::string DerivedSearchKey(uint32_t nid) const;
    // PR_STORE_SUPPORT_MASK as the PST provider reports it for this file.
    int32_t SupportMask() const;

    std::unique_ptr<pst::PstFile> file;
    EntryId storeEntryId;
    uint32_t codepage;
};

// The MAPI value of a stored value, as asked for by `tag` (its type may be PT_UNSPECIFIED; texts
// convert between PT_UNICODE and PT_STRING8). A value of another type is MAPI_E_NOT_FOUND.
SPropValue ToPropValue(uint32_t tag, const pst::Value& value, uint32_t codepage);

// The value of `tag` in a property context: PT_ERROR MAPI_E_NOT_FOUND when absent or of another
// type, MAPI_E_NOT_ENOUGH_MEMORY when larger than `limit`, MAPI_E_CORRUPT_DATA when unreadable.
SPropValue ReadProperty(const pst::PropertyContext& properties, uint32_t tag, uint64_t limit,
                        uint32_t codepage);

// Logs a damaged structure of the file ("<file>, node 0x...: <what is wrong>") while doing `what`
// and returns MAPI_E_CORRUPT_DATA.
HRESULT ReportCorrupt(const std::exception& error, const char* what);

}  // namespace mapipst
