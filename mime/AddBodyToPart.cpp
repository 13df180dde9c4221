#include "mime/AddBodyToPart.h"

#include <exception>
#include <string>
#include <string_view>

#include "mime/Base64.h"
#include "mime/QuotedPrintable.h"
#include "mime/TransferEncoding.h"
#include "mime/TransferEncodingType.h"
#include "runtime/Log.h"

namespace Tarvik::MAPI::Util {
namespace {

std::string WithCrBeforeEveryLf(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 32 + 16);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) {
            out.push_back('\r');
        }
        out.push_back(bytes[i]);
    }
    return out;
}

}  // namespace

void AddBodyToPart(mimepp::Entity& part, const char* bytes, size_t length, bool normaliseLineEnds) {
    if (!bytes) {
        LogLine("Tarvik::MAPI::Util::AddBodyToPart: No body pStr found");
        return;
    }
    std::string normalised;
    std::string_view data(bytes, length);
    if (normaliseLineEnds) {
        normalised = WithCrBeforeEveryLf(data);
        data = normalised;
    }
    mimepp::String encoded;
    const char* encodingWord = "Base64";
    switch (mimepp::ChooseTransferEncoding(data.data(), data.size())) {
        case mimepp::BodyEncoding::SevenBit:
            encodingWord = "7bit";
            encoded = normaliseLineEnds ? mimepp::String(std::move(normalised)) : mimepp::String(data);
            break;
        case mimepp::BodyEncoding::QuotedPrintable:
            try {
                encoded = mimepp::QuotedPrintableEncode(data);
                encodingWord = "Quoted-printable";
            } catch (const std::exception&) {
                encoded = mimepp::Base64Encode(data);
            }
            break;
        case mimepp::BodyEncoding::Base64:
            encoded = mimepp::Base64Encode(data);
            break;
    }
    part.Headers().ContentTransferEncoding().SetText(encodingWord);
    part.Body().SetText(encoded);
}

}  // namespace Tarvik::MAPI::Util
