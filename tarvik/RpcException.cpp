#include "tarvik/RpcException.h"

#include <fmt/format.h>

#include <string_view>

#include "runtime/Text.h"

namespace Tarvik::Rpc {

namespace {

struct ErrorText {
    uint32_t code;
    std::string_view key;
    std::string_view english;
};

constexpr ErrorText winHttpTexts[] = {
    {12002, "ERR_WINHTTP_TIMEOUT", "The request has timed out."},
    {12004, "ERR_WINHTTP_INTERNAL_ERROR", "An internal WinHttp error has occurred."},
    {12005, "ERR_WINHTTP_INVALID_URL", "The URL is invalid."},
    {12006, "ERR_WINHTTP_UNRECOGNIZED_SCHEME",
     "The URL specified a scheme other than \"http:\" or \"https:\"."},
    {12007, "ERR_WINHTTP_NAME_NOT_RESOLVED", "The server name could not be resolved."},
    {12012, "ERR_WINHTTP_SHUTDOWN", "The WinHTTP function support is being shut down or unloaded."},
    {12015, "ERR_WINHTTP_LOGIN_FAILURE", "The WinHttp login attempt failed."},
    {12017, "ERR_WINHTTP_OPERATION_CANCELLED", "The WinHttp operation was canceled"},
    {12018, "ERR_WINHTTP_INCORRECT_HANDLE_TYPE",
     "The type of handle supplied is incorrect for this operation."},
    {12019, "ERR_WINHTTP_INCORRECT_HANDLE_STATE",
     "The requested operation cannot be carried out because the handle supplied is not in the correct "
     "state."},
    {12029, "ERR_WINHTTP_CANNOT_CONNECT", "Unable to connect."},
    {12030, "ERR_WINHTTP_CONNECTION_ERROR",
     "The connection with the server has been reset or terminated, or an incompatible SSL protocol was "
     "encountered."},
    {12152, "ERR_WINHTTP_INVALID_SERVER_RESPONSE",
     "The server response could not be parsed.  The server may require a secure channel."},
    {12175, "ERR_WINHTTP_SECURE_FAILURE",
     "One or more errors were found in the Secure Sockets Layer (SSL) certificate sent by the server."},
    {12184, "ERR_WINHTTP_RESPONSE_DRAIN_OVERFLOW", "The response exceeds an internal WinHTTP size limit."},
};

// The system messages of the few non-WinHTTP codes the transport can report.
constexpr ErrorText systemTexts[] = {
    {5, "", "Access is denied."},
    {8, "", "Not enough memory resources are available to process this command."},
    {14, "", "Not enough memory resources are available to complete this operation."},
    {87, "", "The parameter is incorrect."},
};

const ErrorText* Find(const auto& table, uint32_t code) {
    for (const ErrorText& entry : table) {
        if (entry.code == code) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

std::string RpcException::Description() const {
    if (const ErrorText* entry = Find(winHttpTexts, errorCode_)) {
        return std::string(entry->english);
    }
    if (const ErrorText* entry = Find(systemTexts, errorCode_)) {
        return std::string(entry->english);
    }
    return fmt::format("Unknown Error {:x}", errorCode_);
}

std::string RpcException::LocalizedDescription() const {
    if (const ErrorText* entry = Find(winHttpTexts, errorCode_)) {
        return LookupText(entry->key);
    }
    return Description();
}

}  // namespace Tarvik::Rpc
