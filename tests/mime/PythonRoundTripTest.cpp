// Round trips through an independent parser: every golden message, and large messages built here,
// must read back the same through our parser and through Python's email package (Debian's
// /usr/bin/python3): the same tree of media types, parameters and file names, the same subject and
// addresses, and payloads that decode to exactly the bytes that went in.

#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <sstream>

#include "GoldenCase.h"
#include "mime/CharClasses.h"
#include "mime/Mime.h"
#include "tests/support/TestSupport.h"

namespace {

using nlohmann::json;

std::string Sha256(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0xF];
    }
    return hex;
}

json Payload(std::string_view bytes) {
    return {{"sha256", Sha256(bytes)}, {"size", bytes.size()}};
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = mimepp::chars::ToLowerAscii(c);
    }
    return out;
}

std::string Decoded(const mimepp::String& headerText) {
    mimepp::Text text;
    text.SetText(headerText);
    return text.DecodedText();
}

std::string WordsOf(const std::string& text) {
    std::string out;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

// What our parser reads, in the shape describe_message.py prints.
json DescribeTree(mimepp::Entity& entity) {
    mimepp::Headers& headers = entity.Headers();
    json description;
    mimepp::MediaType* type = nullptr;
    if (mimepp::Field* field = headers.HasField("Content-Type")) {
        type = dynamic_cast<mimepp::MediaType*>(&field->FieldBody());
    }
    bool typed = type && !type->Type().empty() && !type->Subtype().empty();
    description["type"] =
        typed ? Lower(type->Type().View()) + "/" + Lower(type->Subtype().View()) : "text/plain";
    description["params"] = json::object();
    for (size_t i = 0; typed && i < type->NumParameters(); ++i) {
        description["params"][Lower(type->ParameterAt(i).Attribute().View())] =
            type->ParameterAt(i).Value().Str();
    }
    description["filename"] = nullptr;
    const mimepp::Parameter* filename = nullptr;
    if (mimepp::Field* field = headers.HasField("Content-Disposition")) {
        filename = dynamic_cast<mimepp::DispositionType&>(field->FieldBody()).FindParameter("filename");
    }
    if (!filename && typed) {
        filename = type->FindParameter("name");
    }
    if (filename) {
        description["filename"] = Decoded(filename->Value());
    }
    mimepp::Body& body = entity.Body();
    if (typed && type->TypeCode() == mimepp::TypeCode::Multipart) {
        description["parts"] = json::array();
        for (size_t i = 0; i < body.NumBodyParts(); ++i) {
            description["parts"].push_back(DescribeTree(body.BodyPartAt(i)));
        }
    } else if (body.Message()) {
        description["parts"] = json::array({DescribeTree(*body.Message())});
    } else {
        auto encoding = mimepp::TransferEncodingCode::None;
        if (mimepp::Field* field = headers.HasField("Content-Transfer-Encoding")) {
            encoding = dynamic_cast<mimepp::TransferEncodingType&>(field->FieldBody()).TypeCode();
        }
        std::string_view text = body.AsString().View();
        if (encoding == mimepp::TransferEncodingCode::Base64) {
            description["payload"] = Payload(mimepp::Base64Decode(text).View());
        } else if (encoding == mimepp::TransferEncodingCode::QuotedPrintable) {
            description["payload"] = Payload(mimepp::QuotedPrintableDecode(text).View());
        } else {
            description["payload"] = Payload(text);
        }
    }
    return description;
}

void AddMailbox(json& mailboxes, mimepp::Mailbox& mailbox) {
    std::string address = mailbox.LocalPart().Str();
    if (!mailbox.Domain().empty()) {
        address += "@" + mailbox.Domain().Str();
    }
    mailboxes.push_back({mailbox.DisplayName().DecodedText(), address});
}

json DescribeAddresses(mimepp::FieldBody& body) {
    json description = {{"mailboxes", json::array()}, {"groups", json::array()}};
    if (auto* list = dynamic_cast<mimepp::AddressList*>(&body)) {
        for (size_t i = 0; i < list->NumAddresses(); ++i) {
            if (auto* group = dynamic_cast<mimepp::Group*>(&list->AddressAt(i))) {
                description["groups"].push_back(group->GroupName().Str());
                for (size_t j = 0; j < group->MailboxList().NumMailboxes(); ++j) {
                    AddMailbox(description["mailboxes"], group->MailboxList().MailboxAt(j));
                }
            } else {
                AddMailbox(description["mailboxes"], dynamic_cast<mimepp::Mailbox&>(list->AddressAt(i)));
            }
        }
    } else if (auto* mailboxes = dynamic_cast<mimepp::MailboxList*>(&body)) {
        for (size_t i = 0; i < mailboxes->NumMailboxes(); ++i) {
            AddMailbox(description["mailboxes"], mailboxes->MailboxAt(i));
        }
    } else {
        AddMailbox(description["mailboxes"], dynamic_cast<mimepp::Mailbox&>(body));
    }
    return description;
}

json DescribeWithOurParser(const std::string& bytes) {
    mimepp::Message message;
    message.FromString(bytes);
    message.Parse();
    json headers = json::object();
    for (const char* name : {"From", "Sender", "To", "Cc", "Bcc", "Reply-To"}) {
        if (mimepp::Field* field = message.Headers().HasField(name)) {
            headers[name] = DescribeAddresses(field->FieldBody());
        }
    }
    if (mimepp::Field* field = message.Headers().HasField("Subject")) {
        headers["Subject"] = WordsOf(Decoded(field->FieldBody().AsString()));
    }
    return {{"defects", json::array()}, {"headers", headers}, {"tree", DescribeTree(message)}};
}

// One description per file, in order (one Python start for all of them).
json DescribeWithPython(const std::vector<std::filesystem::path>& files) {
    std::vector<std::string> command = {"/usr/bin/python3", TVK_MIME_DESCRIBE_SCRIPT};
    for (const auto& file : files) {
        command.push_back(file.string());
    }
    auto result = TestSupport::RunCommand(command);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.exitCode == 0 ? json::parse(result.out) : json::array();
}

// CR before every LF that lacks one.
std::string WithCrLf(const std::string& bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) {
            out += '\r';
        }
        out += bytes[i];
    }
    return out;
}

// The payloads the leaves of a golden description must decode to, in tree order.
void ExpectedPayloads(const json& steps, std::vector<json>& payloads) {
    bool container = false;
    std::optional<std::string> leaf;
    for (const json& step : steps) {
        std::string what = step[0];
        if (what == "body") {
            std::string bytes = MimeTests::BodyBytes(step[1]);
            if (step[1].value("normalise", false)) {
                bytes = WithCrLf(bytes);
            }
            if (mimepp::ChooseTransferEncoding(bytes.data(), bytes.size()) ==
                mimepp::BodyEncoding::QuotedPrintable) {
                bytes = WithCrLf(bytes);  // quoted-printable writes every line break as CR LF
            }
            leaf = bytes;
        } else if (what == "verbatimBody") {
            leaf = step[1].get<std::string>();
        } else if (what == "part" || what == "encapsulated" || what == "bodyFromMessage") {
            container = true;
            ExpectedPayloads(step[1], payloads);
        }
    }
    if (!container) {
        payloads.push_back(Payload(leaf.value_or("")));
    }
}

void ActualPayloads(const json& tree, std::vector<json>& payloads) {
    if (tree.contains("parts")) {
        for (const json& part : tree["parts"]) {
            ActualPayloads(part, payloads);
        }
    } else {
        payloads.push_back(tree["payload"]);
    }
}

// Cases whose text is deliberately malformed, where parsers may disagree about the damage.
bool IsMalformedOnPurpose(const std::string& name) {
    return name == "unsafe-text";
}

TEST(PythonRoundTrip, GoldenMessagesReadTheSameInBothParsersAndDecodeToTheirInputs) {
    auto cases = MimeTests::GoldenCases();
    std::vector<std::filesystem::path> files;
    for (const auto& golden : cases) {
        files.push_back(golden.expected);
    }
    json pythonDescriptions = DescribeWithPython(files);
    ASSERT_EQ(pythonDescriptions.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& golden = cases[i];
        SCOPED_TRACE(golden.name);
        json ours = DescribeWithOurParser(TestSupport::ReadFile(golden.expected));
        if (!IsMalformedOnPurpose(golden.name)) {
            const json& python = pythonDescriptions[i];
            EXPECT_EQ(python["defects"], json::array());
            EXPECT_EQ(ours, python) << "ours:   " << ours.dump() << "\npython: " << python.dump();
        }
        auto description = json::parse(TestSupport::ReadFile(golden.description));
        std::vector<json> expected, actual;
        ExpectedPayloads(description["message"], expected);
        ActualPayloads(ours["tree"], actual);
        EXPECT_EQ(actual, expected);
    }
}

std::string RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

// Text with long lines, trailing spaces, "From " lines and a few non-ASCII letters.
std::string AwkwardText(size_t lines) {
    std::string text;
    for (size_t i = 0; i < lines; ++i) {
        text += i % 7 == 0 ? "From the desk of " : ". dot first ";
        text += std::string(i % 150, 'x');
        text += i % 5 == 0 ? " Grüße \n" : "\t \r\n";
    }
    return text;
}

TEST(PythonRoundTrip, LargeAttachmentsDecodeToTheirBytesInBothParsers) {
    std::vector<std::pair<std::string, std::string>> attachments = {
        {"random.bin", RandomBytes(1 << 20, 1)},
        {"Prüfung Größe.txt", AwkwardText(3000)},
        {"few-controls.dat", std::string(200000, 'a') + std::string("\x01\x02", 2) + std::string(70000, 'b')},
    };
    mimepp::Message message;
    message.Headers().FieldBodyByName("MIME-Version").FromString("1.0");
    mimepp::MediaType& type = message.Headers().ContentType();
    type.SetText("multipart/mixed");
    type.Parse();
    type.CreateBoundary(0);
    for (const auto& [name, bytes] : attachments) {
        mimepp::BodyPart& part = message.Body().AddBodyPart(std::make_unique<mimepp::BodyPart>());
        part.Headers().ContentDisposition().SetType("attachment");
        part.Headers().ContentDisposition().SetFilename(mimepp::EncodeHeaderText(name));
        Tarvik::MAPI::Util::AddBodyToPart(part, bytes.data(), bytes.size(), false);
    }
    message.Assemble();

    TestSupport::TempDir dir;
    std::ofstream out(dir / "large.eml", std::ios::binary);
    message.AsString().WriteTo(out);
    out.close();
    json ours = DescribeWithOurParser(message.AsString().Str());
    json python = DescribeWithPython({dir / "large.eml"}).at(0);
    EXPECT_EQ(python["defects"], json::array());
    EXPECT_EQ(ours, python);
    ASSERT_EQ(ours["tree"]["parts"].size(), attachments.size());
    for (size_t i = 0; i < attachments.size(); ++i) {
        const json& part = ours["tree"]["parts"][i];
        EXPECT_EQ(part["filename"], attachments[i].first);
        // Quoted-printable writes every line break as CR LF; the other bytes come back unchanged.
        std::string expected = attachments[i].second;
        if (mimepp::ChooseTransferEncoding(expected.data(), expected.size()) ==
            mimepp::BodyEncoding::QuotedPrintable) {
            expected = WithCrLf(expected);
        }
        EXPECT_EQ(part["payload"], Payload(expected)) << attachments[i].first;
    }
}

}  // namespace
