#include "pst/Error.h"

#include <fmt/format.h>

namespace pst {
namespace {

std::string Compose(const std::string& detail, const std::string& file, std::optional<uint32_t> nid) {
    std::string text;
    if (!file.empty()) {
        text += file + ": ";
    }
    if (nid) {
        text += fmt::format("node 0x{:x}: ", *nid);
    }
    return text + detail;
}

}  // namespace

Error::Error(std::string detail, std::string file, std::optional<uint32_t> nid)
    : std::runtime_error(Compose(detail, file, nid)),
      detail_(std::move(detail)),
      file_(std::move(file)),
      nid_(nid) {}

Error Error::InFile(const std::string& file) const {
    return file_.empty() ? Error(detail_, file, nid_) : *this;
}

Error Error::AtNode(uint32_t nid) const {
    return nid_ ? *this : Error(detail_, file_, nid);
}

}  // namespace pst
