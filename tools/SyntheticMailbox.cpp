#include "tools/SyntheticMailbox.h"

#include <algorithm>
#include <random>
#include <vector>

#include "pst/PropTags.h"
#include "pst/PstWriter.h"

namespace pstgen {
namespace {

const char* const kWords[] = {"meeting", "report",   "budget",   "project",  "review",   "quarter",
                              "invoice", "team",     "schedule", "deadline", "customer", "update",
                              "draft",   "approval", "release",  "plan",     "the",      "and",
                              "please",  "regards",  "thanks",   "attached", "next",     "week"};

std::string Sentence(std::mt19937& random, size_t bytes) {
    std::string text;
    while (text.size() < bytes) {
        text += kWords[random() % std::size(kWords)];
        text += (random() % 12 == 0) ? ".\r\n" : " ";
    }
    text.resize(bytes);
    return text;
}

}  // namespace

void WriteSyntheticMailbox(const std::string& path, const SyntheticOptions& o) {
    std::mt19937 random(o.seed);
    pst::WriterOptions options;
    options.encryption = o.encryption;
    options.seed = o.seed;
    options.storeName = "Synthetic mailbox";
    pst::PstWriter writer(path, options);

    std::vector<uint32_t> folders = {writer.Special(pst::SpecialFolder::Inbox),
                                     writer.Special(pst::SpecialFolder::SentItems)};
    for (int i = 0; folders.size() < static_cast<size_t>(std::max(o.folders, 2)); ++i) {
        uint32_t parent =
            i % 3 == 2 ? folders[random() % folders.size()] : writer.Special(pst::SpecialFolder::IpmSubtree);
        folders.push_back(writer.AddFolder(parent, "Folder " + std::to_string(i + 1), "IPF.Note"));
    }

    // Bodies (UTF-16 text and HTML), recipients and tables take about 13 KiB per message;
    // attachments make up the rest of the target size.
    const uint64_t bodies = static_cast<uint64_t>(o.messages) * 13 * 1024;
    const uint64_t withAttachment =
        std::max<uint64_t>(1, static_cast<uint64_t>(o.messages * o.attachmentRatio));
    const uint64_t attachmentAverage =
        o.targetBytes > bodies ? (o.targetBytes - bodies) / withAttachment : 1024;
    std::exponential_distribution<double> attachmentSize(1.0 / static_cast<double>(attachmentAverage));
    std::bernoulli_distribution hasAttachment(o.attachmentRatio);
    const int64_t start = 132223104000000000;  // 2020-01-01

    for (int i = 0; i < o.messages; ++i) {
        pst::MessageSpec m;
        std::string subject = "Synthetic message " + std::to_string(i + 1) + ": " + Sentence(random, 30);
        std::string body = Sentence(random, 1000 + random() % 5000);
        std::string html = "<html><body><p>" + body + "</p></body></html>";
        int64_t sent = start + static_cast<int64_t>(i) * 600 * 10000000LL;
        m.properties = {
            {pst::Tag::Subject, pst::TextValue(subject)},
            {pst::Tag::ConversationTopic, pst::TextValue(subject)},
            {pst::Tag::Body, pst::TextValue(body)},
            {pst::MakeTag(0x1013, pst::PropType::Binary),
             pst::BinaryValue(pst::Bytes(html.begin(), html.end()))},
            {pst::Tag::ClientSubmitTime, pst::TimeValue(sent)},
            {pst::Tag::MessageDeliveryTime, pst::TimeValue(sent + 50000000)},
            {pst::Tag::SentRepresentingName, pst::TextValue("Sender " + std::to_string(random() % 100))},
            {pst::Tag::MessageFlags, pst::LongValue(random() % 4 == 0 ? 0 : 1)}};
        for (int r = 0, n = 1 + static_cast<int>(random() % 4); r < n; ++r) {
            std::string address = "user" + std::to_string(random() % 1000) + "@example.com";
            m.recipients.push_back({{pst::Tag::DisplayName, pst::TextValue(address)},
                                    {pst::Tag::EmailAddress, pst::TextValue(address)},
                                    {pst::Tag::AddressType, pst::TextValue("SMTP")},
                                    {pst::Tag::RecipientType, pst::LongValue(r == 0 ? 1 : 2)}});
        }
        if (hasAttachment(random)) {
            size_t size = std::min<size_t>(static_cast<size_t>(attachmentSize(random)) + 100, 32u << 20);
            pst::Bytes data(size);
            uint32_t x = static_cast<uint32_t>(random());
            for (auto& b : data) {
                x = x * 1664525u + 1013904223u;
                b = static_cast<uint8_t>(x >> 24);
            }
            pst::AttachmentSpec a;
            a.properties = {
                {pst::Tag::AttachLongFilename, pst::TextValue("file" + std::to_string(i) + ".bin")},
                {pst::Tag::AttachFilename, pst::TextValue("file" + std::to_string(i) + ".bin")},
                {pst::Tag::AttachMimeTag, pst::TextValue("application/octet-stream")},
                {pst::Tag::AttachDataBinary, pst::BinaryValue(std::move(data))}};
            m.attachments.push_back(std::move(a));
        }
        writer.AddMessage(folders[random() % folders.size()], m);
    }
    writer.Finish();
}

}  // namespace pstgen
