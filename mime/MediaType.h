#pragma once
// mimepp::MediaType: the value of a Content-Type field, a type, a subtype and parameters.
//
// Assembled form (only when a type and a subtype are set; otherwise the text stays as it is):
// type "/" subtype, then "; " and each parameter. Parsing reads a token, "/", a token and the
// "; attribute=value" pairs; a value without "/" keeps its subtype empty.
//
// To make a multipart with a fresh boundary: SetText("multipart/mixed"), Parse(),
// CreateBoundary(0).

#include "mime/FieldBody.h"
#include "mime/ParameterList.h"

namespace mimepp {

// Type codes, from the type word (compared case-insensitively).
enum class TypeCode : int {
    None = 0,  // no type
    Unknown = 1,
    Text = 2,
    Image = 3,
    Audio = 4,
    Video = 5,
    Application = 6,
    Message = 7,
    Multipart = 8,
    Model = 9,
};

class MediaType : public FieldBody {
  public:
    MediaType() = default;

    const String& Type() const;
    void SetType(const String& type);
    const String& Subtype() const;
    void SetSubtype(const String& subtype);
    mimepp::TypeCode TypeCode() const;

    size_t NumParameters() const;
    Parameter& ParameterAt(size_t index) const;
    // The first parameter called `attribute` (case-insensitive), or nullptr.
    Parameter* FindParameter(std::string_view attribute) const;
    // Replaces the value of the first parameter called `attribute`, keeping its spelling, or
    // appends a new parameter.
    void SetParameter(const String& attribute, const String& value);

    // The value of the "boundary" parameter (empty when there is none).
    String GetBoundary() const;
    // Sets the "boundary" parameter to a new boundary for a multipart nested `level` deep:
    // "------------Boundary-", the level as two digits, "=_", four base-36 digits of the time in
    // seconds (least significant first) and sixteen pseudo-random characters driven by the
    // process-wide counter; 45 characters in all, unique within the process.
    void CreateBoundary(int level);

    void Parse() override;
    void Assemble() override;
    std::unique_ptr<Node> Clone() const override;

  protected:
    bool IsStructured() const override { return true; }

  private:
    MediaType(const MediaType& other);

    String type_;
    String subtype_;
    ParameterList parameters_;
};

}  // namespace mimepp
