#pragma once
// mimepp::DispositionType: the value of a Content-Disposition field, a type word ("inline",
// "attachment") and parameters.
//
// Assembled form (only when the type word is set): the word, then "; " and each parameter.

#include "mime/FieldBody.h"
#include "mime/ParameterList.h"

namespace mimepp {

enum class DispositionCode : int {
    None = 0,  // no type word
    Unknown = 1,
    Inline = 2,
    Attachment = 3,
};

class DispositionType : public FieldBody {
  public:
    DispositionType() = default;

    const String& Type() const;
    void SetType(const String& word);
    // From the type word, compared case-insensitively.
    DispositionCode TypeCode() const;

    // The value of the first "filename" parameter (empty when there is none).
    String GetFilename() const;
    // Replaces the value of the first "filename" parameter or appends a new one.
    void SetFilename(const String& filename);

    size_t NumParameters() const;
    Parameter& ParameterAt(size_t index) const;
    Parameter* FindParameter(std::string_view attribute) const;
    void SetParameter(const String& attribute, const String& value);

    void Parse() override;
    void Assemble() override;
    std::unique_ptr<Node> Clone() const override;

  protected:
    bool IsStructured() const override { return true; }

  private:
    DispositionType(const DispositionType& other);

    String type_;
    ParameterList parameters_;
};

}  // namespace mimepp
