#pragma once
// libcurl results as the WinHTTP error codes the callers test and the texts of RpcException know.

#include <cstdint>

namespace Tarvik::Rpc {

inline constexpr uint32_t ERROR_WINHTTP_TIMEOUT = 12002;
inline constexpr uint32_t ERROR_WINHTTP_INTERNAL_ERROR = 12004;
inline constexpr uint32_t ERROR_WINHTTP_INVALID_URL = 12005;
inline constexpr uint32_t ERROR_WINHTTP_UNRECOGNIZED_SCHEME = 12006;
inline constexpr uint32_t ERROR_WINHTTP_NAME_NOT_RESOLVED = 12007;
inline constexpr uint32_t ERROR_WINHTTP_OPERATION_CANCELLED = 12017;
inline constexpr uint32_t ERROR_WINHTTP_CANNOT_CONNECT = 12029;
inline constexpr uint32_t ERROR_WINHTTP_CONNECTION_ERROR = 12030;
inline constexpr uint32_t ERROR_WINHTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr uint32_t ERROR_WINHTTP_SECURE_FAILURE = 12175;
inline constexpr uint32_t ERROR_WINHTTP_RESPONSE_DRAIN_OVERFLOW = 12184;
inline constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;

// The WinHTTP code for a CURLcode; 0 for CURLE_OK.
uint32_t WinHttpErrorFromCurl(int curlCode);

}  // namespace Tarvik::Rpc
