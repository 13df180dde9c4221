#pragma once
// mimepp::Stamp: the value of a Received field. Like dates, received stamps are kept as text.

#include "mime/FieldBody.h"

namespace mimepp {

class Stamp : public FieldBody {
  public:
    Stamp() = default;
    std::unique_ptr<Node> Clone() const override { return std::unique_ptr<Node>(new Stamp(*this)); }

  protected:
    bool IsStructured() const override { return true; }

  private:
    Stamp(const Stamp& other) = default;
};

}  // namespace mimepp
