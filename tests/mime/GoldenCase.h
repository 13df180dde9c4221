#pragma once
// Golden cases of the MIME composer: a JSON description of how a message is built (the calls a
// converter makes, in order) beside the exact bytes the message must assemble to.
//
// A description is {"about": text, "message": steps}. Steps run in order on one entity:
//   [Header, "fromString", text]         FieldBodyByName(Header).FromString(text)
//   [Header, "setText", text]            ... .SetText(text)
//   [Header, "setTextParse", text]       ... .SetText(text), then Parse()
//   [Header, "encodeHeaderText", text]   ... .FromString(EncodeHeaderText(text))
//   [Header, "multipart", type, b]       SetText(type), Parse(), SetParameter("boundary", b)
//   [Header, "parameter", name, value]   SetParameter on a media type
//   [Header, "disposition", word, file...] SetType(word), SetFilename(file) per file, Assemble()
//   [Header, "dispositionEncoded", ...]  the same with SetFilename(EncodeHeaderText(file))
//   [Header, "mailboxes", [address...]]  AddMailbox per address (From)
//   [Header, "addresses", [address...]]  AddAddress per address; {"group": name, "members": [...]}
//   [Header, "mailbox", address]         the field's Mailbox = a new mailbox (Sender)
//   ["body", bytes]                      AddBodyToPart(bytes, bytes.normalise)
//   ["verbatimBody", text]               Body().SetText(text)
//   ["part", steps]                      a new BodyPart built by the steps, then AddBodyPart
//   ["encapsulated", steps]              Body().SetMessage(a new Message built by the steps)
//   ["bodyFromMessage", steps]           Body().SetText(the assembled text of such a message)
//   ["preamble", text], ["epilogue", text]
// An address is {"name": text, "address": "local@domain"}; names are set with SetDisplayName as
// UTF-8. Bytes are {"text": utf8} or {"hex": "..."} or {"repeat": [text, count]}, concatenated in
// that order when several are given, plus an optional "normalise": true.

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "mime/Message.h"

namespace MimeTests {

struct GoldenCase {
    std::string name;
    std::filesystem::path description;  // NAME.json
    std::filesystem::path expected;     // NAME.eml
};

// Every case in the golden folder, by name.
std::vector<GoldenCase> GoldenCases();

// The message a description builds (not yet assembled).
std::unique_ptr<mimepp::Message> BuildMessage(const nlohmann::json& description);

// The bytes of a body step, and what decoding the encoded body must give back: the bytes with
// CR put before bare LFs when normalised, and when the body went out quoted-printable (which
// writes every line break as CR LF).
std::string BodyBytes(const nlohmann::json& bytes);

}  // namespace MimeTests
