#pragma once
// A message as the Outlook message file writer takes it, independent of where it was read: its
// properties, recipients and attachments (an attachment may hold an embedded message, to any depth)
// and the names of its named properties.
//
// A property is a MAPI property tag (id in the high 16 bits, type in the low 16) and a value whose
// kind the tag's type decides:
//
//   PT_I2 0x0002, PT_LONG 0x0003, PT_ERROR 0x000A, PT_CURRENCY 0x0006,
//   PT_I8 0x0014, PT_SYSTIME 0x0040 (a FILETIME)                   int64_t
//   PT_R4 0x0004, PT_DOUBLE 0x0005, PT_APPTIME 0x0007                double
//   PT_BOOLEAN 0x000B                                                bool
//   PT_CLSID 0x0048                                                  Guid
//   PT_UNICODE 0x001F, PT_STRING8 0x001E                             std::string, UTF-8 text
//   PT_BINARY 0x0102, PT_SVREID 0x00FB,
//   PT_SRESTRICTION 0x00FD, PT_ACTIONS 0x00FE                        std::string, the bytes
//   the multi-valued types (0x1000 | one of the above but PT_BOOLEAN, PT_ERROR and the last three
//   binary kinds): a vector of the same kind (std::vector<std::string> for texts and binaries)
//   PT_BINARY and PT_UNICODE, when the value is large               LargeValue
//
// Texts are written as PT_UNICODE whatever their type said. A large value is opened when it is
// written and read to its end: the bytes as stored, UTF-16LE without a terminator for PT_UNICODE.
// An attachment kept as an OLE storage (PR_ATTACH_METHOD 6) hands its compound file over as the
// bytes of PR_ATTACH_DATA_BIN (0x37010102).
//
// Property ids from 0x8000 up are named properties: `namedProperties` of the message (or of an
// enclosing one, for recipients, attachments and embedded messages) says what each stands for. The
// ids are those of the source (the store's name-to-id map); the file gets ids of its own.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "mapi/platform/ByteSource.h"
#include "mapi/platform/CompoundFileWriter.h"

namespace msgfile {

using Guid = cfb::Clsid;

// A value too large to hold in memory: opened when the writer needs its bytes, possibly more than
// once (a file with a stream of 2 GiB or more is started over in the larger format).
struct LargeValue {
    std::function<std::unique_ptr<cfb::ByteSource>()> open;
};

using PropertyValue =
    std::variant<bool, int64_t, double, Guid, std::string, std::vector<int64_t>, std::vector<double>,
                 std::vector<Guid>, std::vector<std::string>, LargeValue>;

struct Property {
    uint32_t tag = 0;
    PropertyValue value;
};

using PropertyList = std::vector<Property>;

// A named property: a property set and either a number (a LID) or a name.
struct PropertyName {
    Guid propertySet;
    std::variant<uint32_t, std::string> id;  // the string is UTF-8

    auto operator<=>(const PropertyName&) const = default;
};

struct MessageContent;

struct Recipient {
    PropertyList properties;
};

struct Attachment {
    PropertyList properties;
    // The message of an attachment with PR_ATTACH_METHOD 5 (embedded message), or nothing.
    std::unique_ptr<MessageContent> embeddedMessage;
};

struct MessageContent {
    PropertyList properties;
    std::vector<Recipient> recipients;
    std::vector<Attachment> attachments;
    // Source property id (0x8000 and up) -> name, for this message and everything inside it.
    std::map<uint16_t, PropertyName> namedProperties;
};

// Well-known property sets: named properties in these two get the file's short GUID indexes.
inline const Guid kPsMapi = Guid::Parse("{00020328-0000-0000-C000-000000000046}");
inline const Guid kPsPublicStrings = Guid::Parse("{00020329-0000-0000-C000-000000000046}");

}  // namespace msgfile
