#pragma once
// The ordered parameters of a Content-Type or Content-Disposition value (internal to both).

#include <memory>
#include <string_view>
#include <vector>

#include "mime/Parameter.h"

namespace mimepp {

class ParameterList {
  public:
    ParameterList() = default;
    // Deep copy; the copies are attached to `owner`.
    ParameterList(const ParameterList& other, Node* owner);
    ParameterList& operator=(const ParameterList&) = delete;

    size_t Size() const { return parameters_.size(); }
    Parameter& At(size_t index) const { return *parameters_.at(index); }

    // The first parameter called `attribute` (case-insensitive), or nullptr.
    Parameter* Find(std::string_view attribute) const;
    // Replaces the value of the first parameter called `attribute` (keeping its spelling) or appends
    // a new parameter attached to `owner`; marks the owner modified.
    void Set(const String& attribute, const String& value, Node* owner);

    // Parses the "; attribute=value" pairs of `text` from `pos` on, replacing the list.
    void Parse(const String& text, size_t pos, Node* owner);
    // Appends separator + each parameter's assembled text.
    void AppendTo(String& text, std::string_view separator) const;

  private:
    std::vector<std::unique_ptr<Parameter>> parameters_;
};

}  // namespace mimepp
