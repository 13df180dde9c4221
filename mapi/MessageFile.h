#pragma once
// A copy of a source item as an Outlook message file (.msg), kept for items that failed: every
// property, recipient and attachment, embedded messages included.

#include <filesystem>

#include "mapi/platform/MapiInterfaces.h"

namespace Tarvik::MAPI {

// S_OK when the file was written; otherwise the file is not there and the reason is logged.
HRESULT SaveMessageFile(IMessage& message, const std::filesystem::path& path);

// "<folder>/<entry id in lower-case hexadecimal>.msg".
std::filesystem::path FailedItemFileName(const std::filesystem::path& folder, const EntryId& entryId);

}  // namespace Tarvik::MAPI
