#pragma once
// The items of a folder, narrowed to the kinds of items the job imports, to its start date and to
// completely downloaded messages, in order of delivery time. Either the identifiers of each row
// (without opening the message) or the opened Message.

#include <cstdint>
#include <optional>
#include <string>

#include "mapi/MapiTableIterator.h"
#include "mapi/Message.h"
#include "runtime/ImportParams.h"

namespace Tarvik::MAPI {

// The item restriction for a job; nothing is never returned for a message table (an empty OR
// selects nothing when every kind is off). Contacts folders are never filtered by date.
SRestriction BuildMessageRestriction(const ImportParams& job, bool isContactsFolder);

class MessageIterator : public MapiTableIterator {
  public:
    // The next item, opened and read; false (and `message` cleared) at the end. Throws
    // HRException when the item cannot be opened or read.
    bool GetNext(Message& message);

    // The next row's entry id, PR_CLIENT_SUBMIT_TIME (0 when it has none) and PR_SEARCH_KEY
    // (empty when the row has none); false at the end.
    bool GetNextIds(EntryId& entryId, uint64_t& submitTime, std::string& searchKey);

  protected:
    SPropTagArray Columns() const override;
    const SSortOrderSet* SortOrder() const override;
    std::optional<SRestriction> Restriction(bool isContactsFolder) const override;
};

}  // namespace Tarvik::MAPI
