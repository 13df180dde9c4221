#pragma once
// Names of MAPI property tags ("PR_SUBJECT" -> 0x0037001F), property types ("PT_BINARY") and
// property sets ("PSETID_Appointment"), so that fixture descriptions and dumps can use them.

#include <cstdint>
#include <optional>
#include <string>

#include "pst/NameMap.h"

namespace pstgen {

std::optional<uint32_t> TagByName(const std::string& name);
std::string NameOfTag(uint32_t tag);  // "" when unknown
std::optional<uint16_t> TypeByName(const std::string& name);
// A known set name or a GUID text; throws pst::Error.
pst::Guid PropertySet(const std::string& nameOrGuid);

}  // namespace pstgen
