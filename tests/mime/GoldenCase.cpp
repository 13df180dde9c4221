#include "GoldenCase.h"

#include <algorithm>
#include <stdexcept>

#include "mime/Mime.h"
#include "tests/support/TestSupport.h"

namespace MimeTests {
namespace {

using nlohmann::json;

std::string FromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::unique_ptr<mimepp::Mailbox> MakeMailbox(const json& address) {
    auto mailbox = std::make_unique<mimepp::Mailbox>();
    if (address.contains("name")) {
        mailbox->SetDisplayName(address["name"].get<std::string>(), "UTF-8");
    }
    std::string spec = address.value("address", "");
    size_t at = spec.find('@');
    mailbox->SetLocalPart(spec.substr(0, at));
    if (at != std::string::npos) {
        mailbox->SetDomain(spec.substr(at + 1));
    }
    return mailbox;
}

std::unique_ptr<mimepp::Address> MakeAddress(const json& address) {
    if (!address.contains("group")) {
        return MakeMailbox(address);
    }
    auto group = std::make_unique<mimepp::Group>();
    group->SetGroupName(address["group"].get<std::string>());
    for (const json& member : address["members"]) {
        group->MailboxList().AddMailbox(MakeMailbox(member));
    }
    return group;
}

template <typename T>
T& BodyAs(mimepp::Entity& entity, const std::string& name) {
    auto* body = dynamic_cast<T*>(&entity.Headers().FieldBodyByName(name));
    if (!body) {
        throw std::runtime_error("field " + name + " has another class");
    }
    return *body;
}

void BuildEntity(mimepp::Entity& entity, const json& steps);

void RunHeaderStep(mimepp::Entity& entity, const json& step) {
    std::string name = step[0];
    std::string op = step[1];
    mimepp::FieldBody& body = entity.Headers().FieldBodyByName(name);
    if (op == "fromString") {
        body.FromString(step[2].get<std::string>());
    } else if (op == "setText") {
        body.SetText(step[2].get<std::string>());
    } else if (op == "setTextParse") {
        body.SetText(step[2].get<std::string>());
        body.Parse();
    } else if (op == "encodeHeaderText") {
        body.FromString(mimepp::EncodeHeaderText(step[2].get<std::string>()));
    } else if (op == "multipart") {
        auto& type = BodyAs<mimepp::MediaType>(entity, name);
        type.SetText(step[2].get<std::string>());
        type.Parse();
        type.SetParameter("boundary", step[3].get<std::string>());
    } else if (op == "parameter") {
        BodyAs<mimepp::MediaType>(entity, name)
            .SetParameter(step[2].get<std::string>(), step[3].get<std::string>());
    } else if (op == "disposition" || op == "dispositionEncoded") {
        auto& disposition = BodyAs<mimepp::DispositionType>(entity, name);
        disposition.SetType(step[2].get<std::string>());
        for (size_t i = 3; i < step.size(); ++i) {
            std::string filename = step[i];
            disposition.SetFilename(op == "disposition" ? filename : mimepp::EncodeHeaderText(filename));
        }
        disposition.Assemble();
    } else if (op == "mailboxes") {
        for (const json& address : step[2]) {
            BodyAs<mimepp::MailboxList>(entity, name).AddMailbox(MakeMailbox(address));
        }
    } else if (op == "addresses") {
        for (const json& address : step[2]) {
            BodyAs<mimepp::AddressList>(entity, name).AddAddress(MakeAddress(address));
        }
    } else if (op == "mailbox") {
        BodyAs<mimepp::Mailbox>(entity, name) = *MakeMailbox(step[2]);
    } else {
        throw std::runtime_error("unknown header operation " + op);
    }
}

void RunStep(mimepp::Entity& entity, const json& step) {
    std::string what = step[0];
    if (what == "body") {
        std::string bytes = BodyBytes(step[1]);
        Tarvik::MAPI::Util::AddBodyToPart(entity, bytes.data(), bytes.size(),
                                          step[1].value("normalise", false));
    } else if (what == "verbatimBody") {
        entity.Body().SetText(step[1].get<std::string>());
    } else if (what == "part") {
        auto part = std::make_unique<mimepp::BodyPart>();
        BuildEntity(*part, step[1]);
        entity.Body().AddBodyPart(std::move(part));
    } else if (what == "encapsulated") {
        auto message = std::make_unique<mimepp::Message>();
        BuildEntity(*message, step[1]);
        entity.Body().SetMessage(std::move(message));
    } else if (what == "bodyFromMessage") {
        mimepp::Message message;
        BuildEntity(message, step[1]);
        message.Assemble();
        entity.Body().SetText(message.AsString());
    } else if (what == "preamble") {
        entity.Body().SetPreamble(step[1].get<std::string>());
    } else if (what == "epilogue") {
        entity.Body().SetEpilogue(step[1].get<std::string>());
    } else {
        RunHeaderStep(entity, step);
    }
}

void BuildEntity(mimepp::Entity& entity, const json& steps) {
    for (const json& step : steps) {
        RunStep(entity, step);
    }
}

}  // namespace

std::vector<GoldenCase> GoldenCases() {
    std::vector<GoldenCase> cases;
    for (const auto& entry : std::filesystem::directory_iterator(TVK_MIME_GOLDEN_DIR)) {
        if (entry.path().extension() == ".json") {
            auto expected = entry.path();
            expected.replace_extension(".eml");
            cases.push_back({entry.path().stem().string(), entry.path(), expected});
        }
    }
    std::sort(cases.begin(), cases.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return cases;
}

std::unique_ptr<mimepp::Message> BuildMessage(const nlohmann::json& description) {
    auto message = std::make_unique<mimepp::Message>();
    BuildEntity(*message, description.at("message"));
    return message;
}

std::string BodyBytes(const nlohmann::json& bytes) {
    std::string out;
    if (bytes.contains("text")) {
        out += bytes["text"].get<std::string>();
    }
    if (bytes.contains("hex")) {
        out += FromHex(bytes["hex"].get<std::string>());
    }
    if (bytes.contains("repeat")) {
        for (int i = 0; i < bytes["repeat"][1].get<int>(); ++i) {
            out += bytes["repeat"][0].get<std::string>();
        }
    }
    return out;
}

}  // namespace MimeTests
