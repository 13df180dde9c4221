#include "tarvik/BatchRequest.h"

#include <charconv>
#include <exception>

#include "runtime/ImportParams.h"
#include "runtime/Log.h"
#include "tarvik/Vocabulary.h"

namespace Tarvik::Rpc {

namespace {

constexpr int32_t E_FAIL = static_cast<int32_t>(0x80004005);

// The leading number of a version text such as "5.0.9_GA" (5.0), or 0.
double LeadingNumber(std::string_view text) {
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        return 0;
    }
    text.remove_prefix(start);
    double value = 0;
    auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    return error == std::errc() ? value : 0;
}

}  // namespace

std::string_view RequestIdAttribute(std::string_view serverVersion) {
    return LeadingNumber(serverVersion) >= 5 ? Names::RequestId : Names::Id;
}

std::string_view RequestIdAttribute() {
    return RequestIdAttribute(GetImportParams().serverVersion);
}

BatchRequest::BatchRequest() : _pBatchRequestElement(AppendRequestElement(Names::BatchRequest, Ns::Tarvik)) {}

int32_t BatchRequest::AppendRequest(Request& request, int64_t requestId) {
    Xml::Node body = request.Document().SelectSingleNode("//soap:Body");
    if (!body) {
        LogLine("Failed to select SOAP node hr: %0x", E_FAIL);
        return E_FAIL;
    }
    Xml::Node element = body.FirstChild();
    if (!element.IsElement()) {
        LogLine("Failed to get first child of request element. hr: %0x", E_FAIL);
        return E_FAIL;
    }
    try {
        LogLine("BatchRequest::AppendRequest: going for appendChild");
        Xml::Node copy = Document().ImportNode(element);
        copy.SetAttribute(RequestIdAttribute(), std::to_string(requestId));
        if (!_pBatchRequestElement.AppendChild(copy)) {
            LogLine("Failed to appendChild. hr: %0x", E_FAIL);
            return E_FAIL;
        }
        element.Remove();
        LogLine("BatchRequest::AppendRequest: appendChild done");
    } catch (const std::exception&) {
        LogLine("BatchRequest::AppendRequest: _pBatchRequestElement->appendChild exception");
        return E_FAIL;
    }
    return 0;
}

}  // namespace Tarvik::Rpc
