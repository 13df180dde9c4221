#pragma once
// mimepp::TransferEncodingType: the value of a Content-Transfer-Encoding field, one word.

#include "mime/FieldBody.h"

namespace mimepp {

// From the word, compared case-insensitively.
enum class TransferEncodingCode : int {
    None = 0,  // no word
    Unknown = 1,
    SevenBit = 2,
    EightBit = 3,
    QuotedPrintable = 4,
    Base64 = 5,
    Binary = 6,
};

class TransferEncodingType : public FieldBody {
  public:
    TransferEncodingType() = default;

    const String& Word() const;
    TransferEncodingCode TypeCode() const;

    void Parse() override;
    void Assemble() override;
    std::unique_ptr<Node> Clone() const override;

  protected:
    bool IsStructured() const override { return true; }

  private:
    TransferEncodingType(const TransferEncodingType& other) = default;

    String word_;
};

}  // namespace mimepp
