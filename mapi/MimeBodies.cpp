#include "mapi/MimeBodies.h"

#include <memory>

#include "mime/AddBodyToPart.h"
#include "mime/Body.h"
#include "mime/BodyPart.h"
#include "mime/MediaType.h"
#include "mime/Message.h"

namespace Tarvik::MAPI {

namespace {

void MakeMultipart(mimepp::Entity& entity, const char* type) {
    mimepp::MediaType& contentType = entity.Headers().ContentType();
    contentType.SetText(type);
    contentType.Parse();
    contentType.CreateBoundary(0);
}

mimepp::BodyPart& AddTextPart(mimepp::Entity& parent, const char* subtype, const TextPartContent& content) {
    auto part = std::make_unique<mimepp::BodyPart>();
    SetTextContent(*part, subtype, content);
    return parent.Body().AddBodyPart(std::move(part));
}

}  // namespace

void SetTextContent(mimepp::Entity& entity, const char* subtype, const TextPartContent& content) {
    std::string type = std::string("text/") + subtype + "; charset=" + content.charset + ";";
    entity.Headers().ContentType().FromString(mimepp::String(std::move(type)));
    Util::AddBodyToPart(entity, content.bytes.data(), content.bytes.size(), true);
}

void AddBodies(mimepp::Message& mime, const MessageBodies& bodies, bool hasAttachments) {
    mimepp::Entity* holder = &mime;
    if (hasAttachments) {
        MakeMultipart(mime, "multipart/mixed");
        holder = &mime.Body().AddBodyPart(std::make_unique<mimepp::BodyPart>());
    }
    if (bodies.text && bodies.html) {
        MakeMultipart(*holder, "multipart/alternative");
        AddTextPart(*holder, "plain", *bodies.text);
        AddTextPart(*holder, "html", *bodies.html);
    } else if (bodies.text) {
        SetTextContent(*holder, "plain", *bodies.text);
    } else if (bodies.html) {
        SetTextContent(*holder, "html", *bodies.html);
    }
}

}  // namespace Tarvik::MAPI
