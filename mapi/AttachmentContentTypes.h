#pragma once
// The MIME content type of an attachment by its file extension. Desktop systems keep this in a
// registry of file types; here a fixed table covers the types that mail commonly carries.

#include <optional>
#include <string>
#include <string_view>

namespace Tarvik::MAPI {

// The content type for an extension such as ".pdf" (the dot is optional, case does not matter);
// nothing for an extension the table does not know.
std::optional<std::string> ContentTypeFromRegistry(std::string_view extension);

}  // namespace Tarvik::MAPI
