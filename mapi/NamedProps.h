#pragma once
// The named properties of calendar and task items, looked up once per scan on the store's root
// folder and kept per thread; the categories ("Keywords"); the partial-download marker; and the
// contact properties, looked up per contact. Tags come back from a lookup without a type (the
// reader adds the type it expects); a name the store does not know becomes PR_NULL, a tag no
// property carries, so that reading it yields nothing.

#include <cstddef>

#include "mapi/platform/MapiInterfaces.h"
#include "runtime/ImportParams.h"

namespace Tarvik::Mapi {

class NamedProps {
  public:
    // Indexes into CalendarTags().
    enum Index : size_t {
        TaskIsRecurring = 0,
        TaskRecurrencePattern,
        TaskOwner,
        TaskStatus,
        PercentComplete,
        DateCompleted,
        TaskComplete,
        TimeZoneStruct,
        TimeZoneDescription,
        RecurrenceBlob,
        ExceptionReplaceTime,
        CleanGlobalObjectId,
        GlobalObjectId,
        OwnProperty1,
        OwnProperty2,
        Count
    };

    // Looks both sets up on `rootFolder` and replaces the calling thread's tags; true when both
    // lookups succeeded.
    static bool Init(IMAPIProp& rootFolder);

    // The calling thread's tags (PT_UNSPECIFIED; PR_NULL for names the store lacks); empty before
    // Init on this thread. CalendarTags() has Count entries, KeywordsTags() one.
    static SPropTagArray CalendarTags();
    static SPropTagArray KeywordsTags();
    // CalendarTags()[index] with `type`, or PR_NULL when unknown.
    static uint32_t CalendarTag(Index index, uint16_t type);
};

// Sets job.partialDownloadPropTag to the store's tag of the marker (typed PT_LONG), or to PR_NULL
// when the store has none (logging a warning when the job skips partial messages).
void LookupPartialDownloadMarker(IMsgStore& store, ImportParams& job);

// The contact properties, typed, in the order of their table; PR_NULL for those the store lacks.
enum ContactProp : size_t {
    Email1Address = 0,
    Email1OriginalEntryId,
    Email1AddrType,
    Email1OriginalDisplayName,
    Email2Address,
    Email2OriginalEntryId,
    Email2AddrType,
    Email2OriginalDisplayName,
    Email3Address,
    Email3OriginalEntryId,
    Email3AddrType,
    Email3OriginalDisplayName,
    FileUnder,
    FileUnderId,
    WorkAddressCity,
    WorkAddressCountry,
    WorkAddressPostalCode,
    WorkAddressState,
    WorkAddressStreet,
    UserField1,
    UserField2,
    UserField3,
    UserField4,
    DistListOneOffMembers,
    InstantMessagingAddress,
    ContactPropCount
};
SPropTagArray LookupContactTags(IMAPIProp& contact);

}  // namespace Tarvik::Mapi
