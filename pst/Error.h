#pragma once
// The one exception type of the PST library. It names what is wrong and, where known, the file and
// the node (NID) in which it was found, so that a caller can report "file X, node 0x2004: ...".

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace pst {

class Error : public std::runtime_error {
  public:
    explicit Error(std::string detail, std::string file = {}, std::optional<uint32_t> nid = {});

    const std::string& Detail() const { return detail_; }
    const std::string& File() const { return file_; }
    std::optional<uint32_t> NodeId() const { return nid_; }

    // Copies with context added; context already present is kept.
    Error InFile(const std::string& file) const;
    Error AtNode(uint32_t nid) const;

  private:
    std::string detail_;
    std::string file_;
    std::optional<uint32_t> nid_;
};

}  // namespace pst
