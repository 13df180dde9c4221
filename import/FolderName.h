#pragma once
// Server folder names made from source folder names. The server refuses control characters, ":",
// "/" and '"', and leading or trailing blanks, and keeps names to 128 characters; sibling folders
// whose names clean to the same text are told apart by a suffix made from their entry ids.

#include <optional>
#include <string>
#include <string_view>

// The name the folder of the store's root gets when the root holds items itself.
inline constexpr std::string_view rootItemsFolderName = "PST Root Folder";

inline constexpr size_t maxFolderNameLength = 128;  // characters

struct CleanedFolderName {
    std::string name;      // empty: the folder has no usable name
    bool changed = false;  // cleaning replaced or stripped something
};

// Control characters become blanks, ":" "|", '"' "'", a leading "\" or "/" "-", any other "/" "\";
// then leading and trailing blanks are stripped.
CleanedFolderName CleanFolderName(std::string_view name);

// "{<hex>}" from the entry id's bytes after the first 20; nothing for an entry id of 20 bytes or fewer.
std::optional<std::string> EntryIdSuffix(std::string_view entryId);

// Appends `suffix` and keeps the whole within maxFolderNameLength characters, cutting the name
// rather than the suffix, and never leaving a trailing blank.
std::string WithSuffix(std::string_view name, std::string_view suffix);

// Equal without regard to case, as the server compares folder and tag names.
bool SameFolderName(std::string_view a, std::string_view b);

// A key under which names that SameFolderName calls equal are equal.
std::string FolderNameKey(std::string_view name);

// Lower-case hexadecimal, two digits per byte.
std::string HexBytes(std::string_view bytes);
