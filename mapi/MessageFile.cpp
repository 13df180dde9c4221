#include "mapi/MessageFile.h"

#include "mapi/platform/MessageContentReader.h"
#include "mapi/platform/MsgFileWriter.h"
#include "runtime/Log.h"

namespace Tarvik::MAPI {

HRESULT SaveMessageFile(IMessage& message, const std::filesystem::path& path) {
    msgfile::MessageContent content;
    HRESULT hr = ReadMessageContent(message, content);
    if (FAILED(hr)) {
        LogLine("**Warning**: the message could not be read for %s: error 0x%x", path.c_str(),
                static_cast<unsigned>(hr));
        return hr;
    }
    try {
        msgfile::MsgFileResult result = msgfile::MsgFileWriter::Write(content, path);
        for (const auto& skipped : result.skipped) {
            LogLine("**Warning**: %s: property 0x%08x of the %s is not in the file: %s", path.c_str(),
                    skipped.tag, skipped.object.c_str(), skipped.reason.c_str());
        }
        return S_OK;
    } catch (const std::exception& error) {
        LogLine("**Warning**: the message file %s could not be written: %s", path.c_str(), error.what());
        return E_FAIL;
    }
}

std::filesystem::path FailedItemFileName(const std::filesystem::path& folder, const EntryId& entryId) {
    std::string hex;
    char digits[3];
    for (unsigned char c : entryId) {
        snprintf(digits, sizeof digits, "%02x", c);
        hex += digits;
    }
    return folder / (hex + ".msg");
}

}  // namespace Tarvik::MAPI
