#pragma once
// A multipart/form-data body as the upload service receives it. Strict about the framing: the body
// starts with the first boundary line, every part has its header section, and the closing boundary
// ends it. Any byte may appear inside a part; the boundary alphabet is not restricted.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace Tarvik::TestServer {

class FormError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct FormPart {
    std::string name;                     // Content-Disposition name
    std::optional<std::string> filename;  // Content-Disposition filename, when the part is a file
    std::string contentType;              // as written, empty when absent
    std::string transferEncoding;         // lower case, empty when absent
    std::string_view content;             // points into the parsed body
};

// The boundary parameter of a multipart/form-data Content-Type; throws FormError for another type
// or a missing boundary.
std::string FormBoundary(std::string_view contentType);

// The boundary the body opens with ("--" boundary CR LF), which must be the one the Content-Type
// declared. cpp-httplib hands header values over percent-decoded ("%c0" arrives as one byte), and the
// importer's boundaries may contain '%', so a declared boundary equal to the percent-decoded form of
// the body's one is the same boundary. Throws FormError.
std::string BodyBoundary(std::string_view body, std::string_view declared);

// Splits the body; throws FormError naming the first problem.
std::vector<FormPart> ParseMultipartForm(std::string_view body, std::string_view boundary);

}  // namespace Tarvik::TestServer
