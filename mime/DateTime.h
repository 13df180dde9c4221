#pragma once
// mimepp::DateTime: the value of a Date or Resent-Date field. The composer writes dates as text
// (FromString) and never rebuilds one it did not change, so the value is kept as text.

#include "mime/FieldBody.h"

namespace mimepp {

class DateTime : public FieldBody {
  public:
    DateTime() = default;
    std::unique_ptr<Node> Clone() const override { return std::unique_ptr<Node>(new DateTime(*this)); }

  protected:
    bool IsStructured() const override { return true; }

  private:
    DateTime(const DateTime& other) = default;
};

}  // namespace mimepp
