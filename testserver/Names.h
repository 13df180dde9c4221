#pragma once
// Names of folders, tags and accounts: the comparison key (names are unique without regard to case)
// and the rules a folder or tag name must follow.

#include <string>
#include <string_view>

namespace Tarvik::TestServer {

inline constexpr size_t MaxItemNameLength = 128;  // characters

// The key under which names compare equal without regard to case (Unicode simple lower case).
std::string FoldCase(std::string_view utf8);

// Throws mail.INVALID_NAME unless the name is usable for a folder or tag: not empty, at most 128
// characters, no leading or trailing blank, not "." or "..", and free of control characters and of
// ':', '/' and '"'.
void CheckItemName(std::string_view name);

}  // namespace Tarvik::TestServer
