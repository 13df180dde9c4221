#include "testserver/CalendarOperations.h"

#include <libxml/tree.h>

#include <set>

#include "testserver/CalendarParser.h"
#include "testserver/Encoding.h"
#include "testserver/Fault.h"
#include "xml/Document.h"

namespace Tarvik::TestServer::CalendarOperations {

namespace {

// The request as kept: without the batch id attribute (which depends on the batch it came in) and
// with each upload token (random) replaced by "attachment-<n>", so that stored items compare equal
// between runs.
std::string CanonicalRequest(const Xml::Node& request) {
    Xml::Document copy;
    Xml::Node root = copy.ImportNode(request);
    copy.SetRoot(root);
    // The DOM module cannot remove attributes; libxml2 can.
    xmlUnsetProp(root.Raw(), reinterpret_cast<const xmlChar*>("requestId"));
    xmlUnsetProp(root.Raw(), reinterpret_cast<const xmlChar*>("id"));
    int position = 0;
    for (Xml::Node attach : root.SelectNodes(".//*[local-name()='attach']")) {
        std::string replaced;
        std::string tokens = attach.Attribute("aid").value_or("");
        for (size_t start = 0; start <= tokens.size();) {
            size_t comma = tokens.find(',', start);
            replaced +=
                (replaced.empty() ? "" : ",") + std::string("attachment-") + std::to_string(++position);
            if (comma == std::string::npos) {
                break;
            }
            start = comma + 1;
        }
        attach.SetAttribute("aid", replaced);
    }
    return root.ToString();
}

// Replaces every {"aid": token} of the parsed components by what was stored for it.
void DescribeAttachments(nlohmann::ordered_json& parsed, const std::vector<BlobRecord>& blobs) {
    size_t next = 0;
    auto describe = [&](nlohmann::ordered_json& component) {
        if (!component.contains("attachments")) {
            return;
        }
        for (auto& attachment : component["attachments"]) {
            const BlobRecord& blob = blobs.at(next++);
            attachment = nlohmann::ordered_json{{"position", blob.position},
                                                {"filename", blob.filename},
                                                {"contentType", blob.contentType},
                                                {"size", blob.content.size()},
                                                {"sha256", Sha256Hex(blob.content)}};
        }
    };
    describe(parsed["default"]);
    for (auto& component : parsed["exceptions"]) {
        describe(component);
    }
    for (auto& component : parsed["cancellations"]) {
        describe(component);
    }
}

void SetItem(OperationContext& context, const Xml::Node& request, XmlWriter& out, bool isTask) {
    for (const auto& [name, value] : request.Attributes()) {
        if (name != "l" && name != "requestId" && name != "id") {
            throw Faults::InvalidRequest("unexpected attribute " + name + " of " + request.LocalName());
        }
    }
    ParsedInvitation invitation = ParseInvitation(request, isTask);
    CalendarRecord item;
    item.kind = isTask ? "task" : "appointment";
    item.request = CanonicalRequest(request);

    auto transaction = context.server.store.Begin();
    item.folderId = ItemFolder(*transaction, *context.target, RequiredAttribute(request, "l")).id;
    std::vector<BlobRecord> blobs;
    std::set<std::string> used;
    int64_t size = static_cast<int64_t>(item.request.size());
    for (const std::string& token : invitation.attachmentTokens) {
        if (!used.insert(token).second) {
            throw Faults::InvalidRequest("upload " + token + " attached twice");
        }
        UploadRecord upload = OwnUpload(*transaction, context, token);
        size += static_cast<int64_t>(upload.content.size());
        blobs.push_back(BlobRecord{"attachment", static_cast<int64_t>(blobs.size()) + 1, upload.filename,
                                   upload.contentType, std::move(upload.content)});
    }
    DescribeAttachments(invitation.parsed, blobs);
    item.parsed = invitation.parsed.dump();
    item.uid = invitation.uid;
    std::optional<CalendarRecord> existing =
        item.uid.empty() ? std::nullopt
                         : transaction->CalendarItemByUid(context.target->id, item.kind, item.uid);
    if (existing) {
        transaction->DeleteCalendarItem(context.target->id, *existing);
        item.id = existing->id;
    } else {
        item.id = transaction->NewItemId(context.target->id);
    }
    if (item.uid.empty()) {
        item.uid = "tvk-testserver-" + std::to_string(item.id);
    }
    ChargeQuota(*transaction, *context.target, size);
    item.size = size;
    transaction->InsertCalendarItem(context.target->id, item);
    for (const BlobRecord& blob : blobs) {
        transaction->InsertBlob(context.target->id, item.id, blob);
    }
    for (const std::string& token : invitation.attachmentTokens) {
        transaction->DeleteUpload(token);
    }
    transaction->Commit();

    OpenResponse(out, isTask ? "SetTaskResponse" : "SetAppointmentResponse", MailNs, context.batchId);
    out.Attribute("calItemId", item.id).Attribute("apptId", item.id);
    out.Open("default").Attribute("id", item.id).Close();
    for (const auto& exception : invitation.parsed["exceptions"]) {
        out.Open("except")
            .Attribute("recurId", exception["exceptId"]["d"].get<std::string>())
            .Attribute("id", item.id);
        out.Close();
    }
    out.Close();
}

}  // namespace

void SetAppointment(OperationContext& context, const Xml::Node& request, XmlWriter& out) {
    SetItem(context, request, out, false);
}

void SetTask(OperationContext& context, const Xml::Node& request, XmlWriter& out) {
    SetItem(context, request, out, true);
}

}  // namespace Tarvik::TestServer::CalendarOperations
