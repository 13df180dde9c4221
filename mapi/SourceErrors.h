#pragma once
// Where the source side's HRExceptions say they were raised, and helpers to raise them.

#include "mapi/HRException.h"

namespace Tarvik::MAPI {

inline constexpr const char* kObjectsUnit = "mapi/MapiObjects";
inline constexpr const char* kUtilsUnit = "mapi/MapiUtils";

}  // namespace Tarvik::MAPI

#define TVK_THROW_HR(hr) throw ::Tarvik::MAPI::HRException((hr), ::Tarvik::MAPI::kObjectsUnit, __LINE__)
