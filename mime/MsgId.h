#pragma once
// mimepp::MsgId: the value of a Message-ID or Content-ID field, "<" local part "@" domain ">".

#include "mime/FieldBody.h"

namespace mimepp {

// The domain of generated message identifiers.
inline constexpr std::string_view kDefaultHostName = "unknown.host";

class MsgId : public FieldBody {
  public:
    MsgId() = default;

    const String& LocalPart() const;
    const String& Domain() const;

    // A new identifier: eight hexadecimal digits of the time in seconds, ".", the low 24 bits of
    // the process-wide counter as six, ".", the low 20 bits of the thread id as five (upper case,
    // most significant first), "@unknown.host".
    void CreateDefault();

    // Reads "<" local "@" domain ">"; the angle brackets may be missing.
    void Parse() override;
    // "<" local "@" domain ">"; an identifier without either part is written as nothing.
    void Assemble() override;
    std::unique_ptr<Node> Clone() const override;

  protected:
    bool IsStructured() const override { return true; }

  private:
    MsgId(const MsgId& other) = default;

    String localPart_;
    String domain_;
};

}  // namespace mimepp
