#include "mapi/NamedProps.h"

#include "runtime/Log.h"

namespace Tarvik::Mapi {

namespace {

// The system's own property set; its two properties keep their places in the table.
const GUID kOwnPropertySet = GUID::Parse("{20022104-6842-430D-B19C-8739BFDB9188}");

// The calling thread's tags: the scan of a console run with several accounts replaces them.
thread_local SPropTagArray calendarTags;
thread_local SPropTagArray keywordsTags;

std::vector<MAPINAMEID> CalendarNames() {
    return {MAPINAMEID::Id(PSETID_Task, 0x8126),        MAPINAMEID::Id(PSETID_Task, 0x8116),
            MAPINAMEID::Id(PSETID_Task, 0x811F),        MAPINAMEID::Id(PSETID_Task, 0x8101),
            MAPINAMEID::Id(PSETID_Task, 0x8102),        MAPINAMEID::Id(PSETID_Task, 0x810F),
            MAPINAMEID::Id(PSETID_Task, 0x811C),        MAPINAMEID::Id(PSETID_Appointment, 0x8233),
            MAPINAMEID::Id(PSETID_Appointment, 0x8234), MAPINAMEID::Id(PSETID_Appointment, 0x8216),
            MAPINAMEID::Id(PSETID_Appointment, 0x8228), MAPINAMEID::Id(PSETID_Meeting, 0x23),
            MAPINAMEID::Id(PSETID_Meeting, 0x3),        MAPINAMEID::Id(kOwnPropertySet, 0x8100),
            MAPINAMEID::Id(kOwnPropertySet, 0x8101)};
}

struct ContactName {
    uint32_t id;
    uint16_t type;
};

const ContactName kContactNames[ContactPropCount] = {
    {0x8083, PT_UNICODE}, {0x8085, PT_BINARY},  {0x8082, PT_UNICODE}, {0x8084, PT_UNICODE},
    {0x8093, PT_UNICODE}, {0x8095, PT_BINARY},  {0x8092, PT_UNICODE}, {0x8094, PT_UNICODE},
    {0x80A3, PT_UNICODE}, {0x80A5, PT_BINARY},  {0x80A2, PT_UNICODE}, {0x80A4, PT_UNICODE},
    {0x8005, PT_UNICODE}, {0x8006, PT_LONG},    {0x8046, PT_UNICODE}, {0x8049, PT_UNICODE},
    {0x8048, PT_UNICODE}, {0x8047, PT_UNICODE}, {0x8045, PT_UNICODE}, {0x804F, PT_UNICODE},
    {0x8050, PT_UNICODE}, {0x8051, PT_UNICODE}, {0x8052, PT_UNICODE}, {0x8054, PT_MV_BINARY},
    {0x8062, PT_UNICODE}};

// The tags a lookup gave, with PR_NULL for names the store does not know.
SPropTagArray Lookup(IMAPIProp& object, const std::vector<MAPINAMEID>& names, uint32_t flags, HRESULT& hr) {
    SPropTagArray tags;
    hr = object.GetIDsFromNames(names, flags, tags);
    if (FAILED(hr)) {
        return {};
    }
    for (uint32_t& tag : tags) {
        if (PROP_TYPE(tag) == PT_ERROR) {
            tag = PR_NULL;
        }
    }
    return tags;
}

}  // namespace

bool NamedProps::Init(IMAPIProp& rootFolder) {
    constexpr const char* where = "Tarvik::Mapi::NamedProps::Init";
    HRESULT hr = S_OK;
    calendarTags = Lookup(rootFolder, CalendarNames(), MAPI_CREATE, hr);
    bool ok = SUCCEEDED(hr);
    if (!ok) {
        LogLine("%s. GetIDsFromNames() failed, hr: %x", where, static_cast<unsigned>(hr));
    }
    keywordsTags = Lookup(rootFolder, {MAPINAMEID::Name(PS_PUBLIC_STRINGS, "Keywords")}, MAPI_CREATE, hr);
    if (FAILED(hr)) {
        LogLine("%s. GetIDsFromNames(2) failed, hr: %x", where, static_cast<unsigned>(hr));
        ok = false;
    }
    if (ok) {
        LogLine("%s. NamedProps::Init() succeeded!", where);
    }
    return ok;
}

SPropTagArray NamedProps::CalendarTags() {
    return calendarTags;
}

SPropTagArray NamedProps::KeywordsTags() {
    return keywordsTags;
}

uint32_t NamedProps::CalendarTag(Index index, uint16_t type) {
    if (index >= calendarTags.size() || calendarTags[index] == PR_NULL) {
        return PR_NULL;
    }
    return CHANGE_PROP_TYPE(calendarTags[index], type);
}

void LookupPartialDownloadMarker(IMsgStore& store, ImportParams& job) {
    job.partialDownloadPropTag = PR_NULL;
    SPropTagArray tags;
    HRESULT hr = store.GetIDsFromNames({MAPINAMEID::Id(PSETID_Common, 0x8578)}, 0, tags);
    if (SUCCEEDED(hr) && !tags.empty() && PROP_TYPE(tags[0]) != PT_ERROR) {
        job.partialDownloadPropTag = CHANGE_PROP_TYPE(tags[0], PT_LONG);
    } else if (job.skipPartialMessages) {
        LogLine(
            "(**Warnning**)Failed to retrieve IMAP Header information for mails. Messages which are not "
            "completely "
            "downloaded will also get migrated.");
    }
}

SPropTagArray LookupContactTags(IMAPIProp& contact) {
    std::vector<MAPINAMEID> names;
    for (const auto& name : kContactNames) {
        names.push_back(MAPINAMEID::Id(PSETID_Address, name.id));
    }
    HRESULT hr = S_OK;
    SPropTagArray tags = Lookup(contact, names, 0, hr);
    tags.resize(ContactPropCount, PR_NULL);
    for (size_t i = 0; i < tags.size(); ++i) {
        if (tags[i] != PR_NULL) {
            tags[i] = CHANGE_PROP_TYPE(tags[i], kContactNames[i].type);
        }
    }
    return tags;
}

}  // namespace Tarvik::Mapi
