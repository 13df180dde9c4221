#include "testserver/ContactOperations.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>
#include <set>

#include "testserver/Fault.h"

namespace Tarvik::TestServer::ContactOperations {

namespace {

const std::set<std::string>& KnownAttributes() {
    static const std::set<std::string> names = {"callbackPhone",
                                                "carPhone",
                                                "company",
                                                "email",
                                                "email2",
                                                "email3",
                                                "fileAs",
                                                "firstName",
                                                "homeCity",
                                                "homeCountry",
                                                "homeFax",
                                                "homePhone",
                                                "homePhone2",
                                                "homePostalCode",
                                                "homeState",
                                                "homeStreet",
                                                "homeURL",
                                                "jobTitle",
                                                "lastName",
                                                "middleName",
                                                "mobilePhone",
                                                "namePrefix",
                                                "nameSuffix",
                                                "notes",
                                                "otherCity",
                                                "otherCountry",
                                                "otherFax",
                                                "otherPhone",
                                                "otherPostalCode",
                                                "otherState",
                                                "otherStreet",
                                                "otherURL",
                                                "pager",
                                                "workCity",
                                                "workCountry",
                                                "workFax",
                                                "workPhone",
                                                "workPostalCode",
                                                "workState",
                                                "workStreet",
                                                "workURL",
                                                "birthday",
                                                "outlookUserField1",
                                                "outlookUserField2",
                                                "outlookUserField3",
                                                "outlookUserField4",
                                                "nickname",
                                                "dlist",
                                                "type",
                                                "imAddress1"};
    return names;
}

bool IsDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// Values whose form the server interprets: a birthday date, the file-as choice, the contact type.
void CheckValue(const std::string& name, const std::string& value) {
    bool valid = true;
    if (name == "birthday") {
        valid = value.size() == 10 && value[4] == '-' && value[7] == '-' && IsDigits(value.substr(0, 4)) &&
                IsDigits(value.substr(5, 2)) && IsDigits(value.substr(8, 2)) && value.substr(5, 2) >= "01" &&
                value.substr(5, 2) <= "12" && value.substr(8, 2) >= "01" && value.substr(8, 2) <= "31";
    } else if (name == "fileAs") {
        valid = (value.size() == 1 && value[0] >= '1' && value[0] <= '7') || value.starts_with("8:");
    } else if (name == "type") {
        valid = value == "group";
    }
    if (!valid) {
        throw Faults::InvalidRequest("invalid value for contact attribute " + name + ": " + value);
    }
}

}  // namespace

void CreateContact(OperationContext& context, const Xml::Node& request, XmlWriter& out) {
    Xml::Node contact = RequiredChild(request, "cn");
    for (const auto& [name, value] : contact.Attributes()) {
        if (name != "l" && name != "t") {
            throw Faults::InvalidRequest("unexpected attribute " + name + " of cn");
        }
    }
    nlohmann::json attributes = nlohmann::json::object();
    std::optional<std::string> imageToken;
    int64_t size = 0;
    for (const Xml::Node& element : contact.ChildElements()) {
        std::optional<std::string> name = element.Attribute("n");
        if (element.LocalName() != "a" || !name) {
            throw Faults::InvalidRequest("a contact holds only <a n=\"...\"> elements");
        }
        if (attributes.contains(*name) || (*name == "image" && imageToken)) {
            throw Faults::InvalidRequest("contact attribute " + *name + " given twice");
        }
        if (*name == "image") {
            imageToken = element.Attribute("aid");
            if (!imageToken || imageToken->empty() || !element.Text().empty()) {
                throw Faults::InvalidRequest("a contact image needs an aid and no text");
            }
            continue;
        }
        if (!KnownAttributes().contains(*name) || element.Attribute("aid")) {
            throw Faults::InvalidRequest("unknown contact attribute " + *name);
        }
        std::string value = element.Text();
        if (value.empty()) {
            continue;
        }
        CheckValue(*name, value);
        size += static_cast<int64_t>(value.size());
        attributes[*name] = value;
    }
    if (attributes.empty() && !imageToken) {
        throw Faults::InvalidRequest("contact must have fields");
    }
    auto transaction = context.server.store.Begin();
    ContactRecord record;
    record.folderId = ItemFolder(*transaction, *context.target, RequiredAttribute(contact, "l")).id;
    if (std::optional<std::string> tags = contact.Attribute("t")) {
        record.tags = CheckedTagList(*transaction, *context.target, *tags);
    }
    std::optional<UploadRecord> image;
    if (imageToken) {
        image = OwnUpload(*transaction, context, *imageToken);
        size += static_cast<int64_t>(image->content.size());
    }
    ChargeQuota(*transaction, *context.target, size);
    record.id = transaction->NewItemId(context.target->id);
    record.attributes = attributes.dump();
    record.size = size;
    transaction->InsertContact(context.target->id, record);
    if (image) {
        transaction->InsertBlob(context.target->id, record.id,
                                BlobRecord{"image", 0, image->filename, image->contentType, image->content});
        transaction->DeleteUpload(image->token);
    }
    transaction->Commit();
    OpenResponse(out, "CreateContactResponse", MailNs, context.batchId);
    out.Open("cn").Attribute("id", record.id).Attribute("l", record.folderId).Close();
    out.Close();
}

}  // namespace Tarvik::TestServer::ContactOperations
