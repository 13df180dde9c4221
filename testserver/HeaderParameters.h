#pragma once
// Splits a structured header value such as `multipart/mixed; boundary="abc"` or
// `form-data; name="file"; filename="a.txt"` into its leading value and its parameters.

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

namespace Tarvik::TestServer {

struct HeaderParameters {
    std::string value;                          // the text before the first ';', trimmed, lower case
    std::map<std::string, std::string> params;  // lower-case name -> value (quotes removed)
};

// Throws std::invalid_argument for an unterminated quoted string or a parameter without '='.
HeaderParameters ParseHeaderParameters(std::string_view text);

// Lower-case ASCII copy.
std::string AsciiLower(std::string_view text);
// The text without leading and trailing blanks and tabs.
std::string TrimBlanks(std::string_view text);

}  // namespace Tarvik::TestServer
