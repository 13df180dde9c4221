#pragma once
// mimepp::Entity: what messages and body parts have in common, a header block and a body.
//
// Assembled form: the headers' text, CR LF, the body's text; the empty line between the header
// block and the body is always there, even for an empty body.
// Parsed form: the header block is the text up to the first empty line (CR LF or LF), the body
// everything after it. Multipart bodies and encapsulated messages are parsed in turn, five levels
// deep (the level grows by one per nesting); deeper parts keep their text unparsed.

#include <memory>

#include "mime/Body.h"
#include "mime/Headers.h"

namespace mimepp {

// The deepest level whose body parts are still parsed.
inline constexpr int kMaxParseLevel = 5;

class Entity : public Node {
  public:
    ~Entity() override;

    mimepp::Headers& Headers() { return *headers_; }
    const mimepp::Headers& Headers() const { return *headers_; }
    mimepp::Body& Body() { return *body_; }
    const mimepp::Body& Body() const { return *body_; }

    void Parse() override { Parse(0); }
    // Parses as an entity nested `level` deep (0 for the top).
    virtual void Parse(int level);
    void Assemble() override;

  protected:
    Entity();
    Entity(const Entity& other);

  private:
    std::unique_ptr<mimepp::Headers> headers_;
    std::unique_ptr<mimepp::Body> body_;
};

}  // namespace mimepp
