#pragma once
// The named properties of one Outlook message file: every name met in the message and everything
// inside it gets one file id (0x8000, 0x8001, ... in the order first met), and the map is written
// as the file's "__nameid_version1.0" storage (property sets, entries, names and the lookup streams
// readers use to find an id by its name).

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "mapi/platform/CompoundFileWriter.h"
#include "mapi/platform/MessageContent.h"

namespace msgfile {

class MsgNamedPropertyMap {
  public:
    // The file id of the name, assigned when the name is new; nothing when all 32767 ids are used.
    std::optional<uint16_t> IdFor(const PropertyName& name);

    // Writes the mapping storage under the root (also when there is no named property).
    void Write(cfb::CompoundFileWriter& file) const;

  private:
    std::vector<PropertyName> names_;  // in file id order
    std::map<PropertyName, uint16_t> ids_;
};

}  // namespace msgfile
