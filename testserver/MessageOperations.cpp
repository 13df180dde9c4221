#include "testserver/MessageOperations.h"

#include "testserver/Fault.h"
#include "testserver/MimeCheck.h"

namespace Tarvik::TestServer::MessageOperations {

void AddMsg(OperationContext& context, const Xml::Node& request, XmlWriter& out) {
    Xml::Node element = RequiredChild(request, "m");
    for (const auto& [name, value] : element.Attributes()) {
        if (name != "aid" && name != "l" && name != "d" && name != "f" && name != "t") {
            throw Faults::InvalidRequest("unexpected attribute " + name + " of m");
        }
    }
    if (!element.ChildElements().empty()) {
        throw Faults::InvalidRequest("the message must come as an upload (aid), not inline");
    }
    MessageRecord message;
    std::string token = RequiredAttribute(element, "aid");
    if (std::optional<std::string> date = element.Attribute("d")) {
        message.date = ParseNumber(*date, "d");
    }
    message.flags = element.Attribute("f").value_or("");
    if (message.flags.find_first_not_of(MessageFlagLetters) != std::string::npos) {
        throw Faults::InvalidRequest("unknown message flags \"" + message.flags + "\"");
    }
    auto transaction = context.server.store.Begin();
    message.folderId = ItemFolder(*transaction, *context.target, RequiredAttribute(element, "l")).id;
    if (std::optional<std::string> tags = element.Attribute("t")) {
        message.tags = CheckedTagList(*transaction, *context.target, *tags);
    }
    UploadRecord upload = OwnUpload(*transaction, context, token);
    try {
        MimeSummary summary = CheckMime(upload.content);
        message.subject = summary.subject;
        message.messageId = summary.messageId;
    } catch (const MimeError& error) {
        throw Faults::MessageParseError(error.what());
    }
    ChargeQuota(*transaction, *context.target, static_cast<int64_t>(upload.content.size()));
    message.id = transaction->NewItemId(context.target->id);
    message.mime = std::move(upload.content);
    transaction->InsertMessage(context.target->id, message);
    transaction->DeleteUpload(token);
    transaction->Commit();
    OpenResponse(out, "AddMsgResponse", MailNs, context.batchId);
    out.Open("m").Attribute("id", message.id).Attribute("l", message.folderId).Close();
    out.Close();
}

}  // namespace Tarvik::TestServer::MessageOperations
