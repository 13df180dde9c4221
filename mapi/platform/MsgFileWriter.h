#pragma once
// Writes a message as an Outlook message file (.msg): a compound file whose root storage (class
// {00020D0B-0000-0000-C000-000000000046}) holds the message's property stream and one stream per
// large or variable-length value, a storage per recipient and per attachment, embedded messages as
// storages inside their attachments, and the named-property map of the whole file.
//
// Every property, recipient and attachment is kept. Texts are written as Unicode (the file says so
// in PR_STORE_SUPPORT_MASK). A property the file cannot hold is left out and listed in the result:
// an unknown type, a value of the wrong kind for its type, a number out of its type's range, a
// named property whose name is unknown, a second value for the same tag, or a large value whose
// source cannot be opened. Everything else is written.
//
// The file appears at `path` complete or not at all (see CompoundFileWriter); an existing file of
// that name is replaced. Failures to write, and failures of a large value's source while it is
// read, are thrown (CompoundFileError, or what the source threw), naming the file.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "mapi/platform/MessageContent.h"

namespace msgfile {

inline const Guid kMessageClsid = Guid::Parse("{00020D0B-0000-0000-C000-000000000046}");

struct SkippedProperty {
    std::string object;  // "message", "recipient 2", "attachment 0", "attachment 0/message/recipient 1", ...
    uint32_t tag = 0;    // as the content gave it
    std::string reason;
};

struct MsgFileResult {
    std::vector<SkippedProperty> skipped;
};

class MsgFileWriter {
  public:
    static MsgFileResult Write(const MessageContent& message, const std::filesystem::path& path);
};

}  // namespace msgfile
