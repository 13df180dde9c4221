#include "mapi/MailConverter.h"

#include <strings.h>

#include <ios>

#include "mapi/AddressResolver.h"
#include "mapi/AttachmentPart.h"
#include "mapi/BodyRetrieval.h"
#include "mapi/CodePages.h"
#include "mapi/EntryIds.h"
#include "mapi/HRException.h"
#include "mapi/MailHeaders.h"
#include "mapi/MailItem.h"
#include "mapi/MapiMailItem.h"
#include "mapi/MimeBodies.h"
#include "mime/AddressList.h"
#include "mime/Body.h"
#include "mime/BodyPart.h"
#include "mime/HeaderText.h"
#include "mime/Mailbox.h"
#include "mime/MailboxList.h"
#include "mime/Message.h"
#include "mime/MsgId.h"
#include "runtime/Log.h"
#include "runtime/Utf8.h"

namespace Tarvik::MAPI {

namespace {

// The message properties the converter reads.
namespace Prop {
constexpr uint32_t MessageFlags = 0x0E070003;
constexpr uint32_t ClientSubmitTime = 0x00390040;
constexpr uint32_t SenderAddrType = 0x0C1E001F;
constexpr uint32_t SenderEmailAddress = 0x0C1F001F;
constexpr uint32_t SenderName = 0x0C1A001F;
constexpr uint32_t SenderEntryId = 0x0C190102;
constexpr uint32_t SenderSmtpAddress = 0x5D01001F;
constexpr uint32_t Subject = 0x0037001F;
constexpr uint32_t InternetCodePage = 0x3FDE0003;
constexpr uint32_t MessageCodePage = 0x3FFD0003;
constexpr uint32_t SentRepresentingAddrType = 0x0064001F;
constexpr uint32_t SentRepresentingEntryId = 0x00410102;
constexpr uint32_t SentRepresentingEmailAddress = 0x0065001F;
constexpr uint32_t SentRepresentingName = 0x0042001F;
constexpr uint32_t SentRepresentingSmtpAddress = 0x5D02001F;
constexpr uint32_t ReplyRecipientNames = 0x0050001F;
constexpr uint32_t ReplyRecipientEntries = 0x004F0102;
constexpr uint32_t TransportMessageHeaders = 0x007D001E;
constexpr uint32_t Importance = 0x00170003;
constexpr uint32_t InternetMessageId = 0x1035001E;
constexpr uint32_t MessageDeliveryTime = 0x0E060040;
}  // namespace Prop

constexpr int64_t MessageFlagUnsent = 0x8;
constexpr int64_t MessageFlagHasAttachments = 0x10;
constexpr int32_t RecipientTo = 1;
constexpr int32_t RecipientCc = 2;
constexpr int32_t RecipientBcc = 3;

// Embedded messages nest; a damaged file could nest them without end.
constexpr int MaxEmbeddingDepth = 32;

// A person as a message names them: the sender, the sent-representing identity, a recipient.
struct Person {
    std::optional<std::string> name;
    std::optional<std::string> addressType;
    std::optional<std::string> address;
    std::optional<std::string> entryId;
    std::optional<std::string> smtpAddress;  // what Exchange stored beside an EX address

    bool HasAddress() const { return address && !address->empty(); }
};

// Stored subjects may begin with 0x01 and a character that gives the length of their prefix
// ("RE: "); the marker is not part of the subject.
std::string WithoutSubjectPrefixMarker(const std::string& subject) {
    if (subject.size() >= 2 && subject[0] == '\x01') {
        size_t pos = 1;
        Utf8::Next(subject, pos);
        return subject.substr(pos);
    }
    return subject;
}

std::optional<std::string> Cleaned(std::optional<std::string> text) {
    return text ? std::optional<std::string>(ReplaceControls(*text)) : std::nullopt;
}

// Some writers leave the address type empty beside an Internet address; it is still one.
void TypeInternetAddress(Person& person) {
    bool untyped = !person.addressType || person.addressType->empty();
    if (untyped && person.address && person.address->find('@') != std::string::npos) {
        person.addressType = "SMTP";
    }
}

Person ReadPerson(MailItem& item, uint32_t nameTag, uint32_t typeTag, uint32_t addressTag,
                  uint32_t entryIdTag, uint32_t smtpTag) {
    Person person{Cleaned(item.Bytes(nameTag)), Cleaned(item.Bytes(typeTag)), Cleaned(item.Bytes(addressTag)),
                  item.Bytes(entryIdTag), Cleaned(item.Bytes(smtpTag))};
    TypeInternetAddress(person);
    if (!person.address && person.entryId) {
        // Exchange mail often names its sender only by an address-book entry id.
        if (std::optional<std::string> dn = ExchangeDnOfEntryId(*person.entryId)) {
            person.address = ReplaceControls(*dn);
            person.addressType = "EX";
        }
    }
    return person;
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Whether the sender and the sent-representing identity are one person. Entry ids that are equal
// say so; without both entry ids, equal addresses of the same type do.
bool SamePerson(const Person& sender, const Person& represented) {
    bool bothTypes = sender.addressType && represented.addressType;
    bool bothEntryIds = sender.entryId && represented.entryId;
    if (!bothTypes && !bothEntryIds) {
        return true;
    }
    if (bothEntryIds && *sender.entryId == *represented.entryId) {
        return true;
    }
    return bothTypes && sender.address && represented.address &&
           EqualsIgnoreCase(*sender.addressType, *represented.addressType) &&
           EqualsIgnoreCase(*sender.address, *represented.address);
}

// The SMTP address of a person; empty when it cannot be found.
std::string SmtpAddressOf(const Person& person) {
    if (person.addressType == "EX" && person.smtpAddress && !person.smtpAddress->empty()) {
        return *person.smtpAddress;
    }
    SenderAddress sender{person.addressType.value_or(""), person.address.value_or(""),
                         person.entryId.value_or("")};
    return ImportAddressResolver().Resolve(sender).value_or("");
}

std::unique_ptr<mimepp::Mailbox> MailboxOf(const Person& person) {
    return MakeMailbox(person.name.value_or(""), SmtpAddressOf(person));
}

mimepp::AddressList& AddressField(mimepp::Message& mime, const char* name) {
    return static_cast<mimepp::AddressList&>(mime.Headers().FieldBodyByName(name));
}

void SetDateField(MailItem& item, mimepp::Message& mime, uint32_t tag, const char* field) {
    std::optional<int64_t> time = item.Integer(tag);
    if (time && !IsNeverTime(*time)) {
        mime.Headers().FieldBodyByName(field).FromString(mimepp::String(MailDateText(time)));
    }
}

void AddIdentities(MailItem& item, mimepp::Message& mime) {
    Person sender = ReadPerson(item, Prop::SenderName, Prop::SenderAddrType, Prop::SenderEmailAddress,
                               Prop::SenderEntryId, Prop::SenderSmtpAddress);
    Person represented = ReadPerson(item, Prop::SentRepresentingName, Prop::SentRepresentingAddrType,
                                    Prop::SentRepresentingEmailAddress, Prop::SentRepresentingEntryId,
                                    Prop::SentRepresentingSmtpAddress);
    bool representedKnown = represented.addressType || represented.entryId;
    bool senderKnown = sender.addressType || sender.entryId;
    if (representedKnown && senderKnown && !SamePerson(sender, represented)) {
        mime.Headers().Sender() = *MailboxOf(sender);
    } else if (sender.name && !sender.HasAddress()) {
        LogLine("Sender(%s) email address not found.", sender.name->c_str());
        mime.Headers().Sender() = *MakeMailbox(*sender.name, "");
    }
    // A message that names only its sender is from the sender.
    const Person* from = representedKnown ? &represented : senderKnown ? &sender : nullptr;
    if (from != nullptr) {
        mime.Headers().From().AddMailbox(MailboxOf(*from));
    }
}

void AddRecipients(MailItem& item, mimepp::Message& mime) {
    for (RecipientRow& row : item.Recipients()) {
        Person person{Cleaned(row.displayName), Cleaned(row.addressType), Cleaned(row.address), row.entryId,
                      Cleaned(row.smtpAddress)};
        TypeInternetAddress(person);
        std::unique_ptr<mimepp::Mailbox> mailbox;
        if (person.addressType && person.address) {
            mailbox = MailboxOf(person);
        } else if (person.name && !person.name->empty()) {
            auto [name, address] = SplitRecipientName(*person.name);
            mailbox = MakeMailbox(name, address);
        } else {
            continue;
        }
        const char* field = row.recipientType == RecipientTo    ? "To"
                            : row.recipientType == RecipientCc  ? "Cc"
                            : row.recipientType == RecipientBcc ? "Bcc"
                                                                : nullptr;
        if (field != nullptr) {
            AddressField(mime, field).AddAddress(std::move(mailbox));
        }
    }
}

// The i-th name of a "; "-separated list of display names.
std::string NthName(const std::string& names, size_t index) {
    size_t start = 0;
    for (size_t i = 0; i < index && start != std::string::npos; ++i) {
        start = names.find(';', start);
        start = start == std::string::npos ? start : start + 1;
    }
    if (start == std::string::npos) {
        return {};
    }
    std::string name = names.substr(start, names.find(';', start) - start);
    size_t first = name.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : name.substr(first);
}

void AddReplyTo(MailItem& item, mimepp::Message& mime) {
    std::optional<std::string> names = item.Bytes(Prop::ReplyRecipientNames);
    std::optional<std::string> entries = item.Bytes(Prop::ReplyRecipientEntries);
    if (!names || !entries) {
        return;
    }
    std::vector<std::string> entryIds = ParseFlatEntryList(*entries);
    for (size_t i = 0; i < entryIds.size(); ++i) {
        Person person;
        if (std::optional<OneOffAddress> oneOff = DecodeOneOffEntryId(entryIds[i])) {
            person = {oneOff->displayName, oneOff->addressType, oneOff->address, entryIds[i], std::nullopt};
        } else if (std::optional<std::string> dn = ExchangeDnOfEntryId(entryIds[i])) {
            person = {NthName(*names, i), std::string("EX"), *dn, entryIds[i], std::nullopt};
        } else {
            continue;
        }
        person.name = Cleaned(person.name);
        person.addressType = Cleaned(person.addressType);
        person.address = Cleaned(person.address);
        TypeInternetAddress(person);
        AddressField(mime, "Reply-To").AddAddress(MailboxOf(person));
    }
}

void AddHeaders(MailItem& item, mimepp::Message& mime) {
    mimepp::Headers& headers = mime.Headers();
    headers.FieldBodyByName("MIME-Version").FromString("1.0");
    if (std::optional<std::string> original = item.Bytes(Prop::TransportMessageHeaders)) {
        CopyOriginalHeaders(*original, headers);
    }
    SetDateField(item, mime, Prop::ClientSubmitTime, "Date");
    SetDateField(item, mime, Prop::MessageDeliveryTime, "X-Tarvik-Received");
    AddIdentities(item, mime);
    AddRecipients(item, mime);
    AddReplyTo(item, mime);
    std::optional<std::string> subject = item.Bytes(Prop::Subject);
    if (subject) {
        subject = WithoutSubjectPrefixMarker(*subject);
    }
    if (subject && !subject->empty()) {
        headers.Subject().FromString(mimepp::String(mimepp::EncodeHeaderText(*subject)));
    }
    std::optional<int64_t> importance = item.Integer(Prop::Importance);
    if (std::optional<std::string> priority =
            importance ? PriorityOfImportance(static_cast<int32_t>(*importance)) : std::nullopt) {
        headers.FieldBodyByName("X-Priority").FromString(mimepp::String(*priority));
    }
    if (std::optional<std::string> messageId = item.Bytes(Prop::InternetMessageId)) {
        std::string id = ReplaceControls(*messageId);
        for (char& c : id) {
            if (static_cast<unsigned char>(c) >= 0x80) {
                c = ' ';
            }
        }
        headers.MessageId().SetText(mimepp::String(std::move(id)));
    }
    std::optional<int64_t> flags = item.Integer(Prop::MessageFlags);
    if (flags && (*flags & MessageFlagUnsent) != 0) {
        headers.FieldBodyByName("X-Unsent").FromString("1");
    }
}

uint32_t MessageCodePage(MailItem& item) {
    for (uint32_t tag : {Prop::InternetCodePage, Prop::MessageCodePage}) {
        if (std::optional<int64_t> codePage = item.Integer(tag)) {
            return static_cast<uint32_t>(*codePage);
        }
    }
    // The system's own code page: UTF-8 on this platform.
    return CodePageUtf8;
}

MessageBodies ChooseBodies(MailItem& item, uint32_t codePage, const std::string& charset) {
    MessageBodies bodies;
    std::optional<std::string> text;
    std::optional<HtmlBody> html = GetHtmlBody(item, true);
    // A non-Unicode store cannot keep a UTF-8 message's text in PR_BODY; its HTML has it intact.
    std::optional<NativeBody> native = charset == "utf-8" ? NativeBodyType(item) : std::nullopt;
    if (native == NativeBody::Html || native == NativeBody::PlainText) {
        text = GetTextFromHtml(item);
        if (text && native == NativeBody::PlainText) {
            html.reset();
        }
    }
    if (!text) {
        text = GetTextBody(item);
    }
    if (text) {
        EncodedText encoded = EncodeTextBody(*text, codePage);
        bodies.text = TextPartContent{std::move(encoded.bytes), std::move(encoded.charset)};
    }
    if (html) {
        bodies.html = TextPartContent{std::move(html->bytes), html->fromRtf ? std::string("utf-8") : charset};
    }
    return bodies;
}

void Convert(MailItem& item, mimepp::Message& mime, int depth);

std::unique_ptr<mimepp::BodyPart> AttachmentPartOf(MailAttachment& attachment, const std::string& charset,
                                                   int depth) {
    AttachmentProperties properties = attachment.Properties();
    if (!properties.method) {
        return nullptr;
    }
    if (*properties.method == AttachByValue) {
        std::optional<std::string> data = attachment.Data();
        return data ? DataAttachmentPart(properties, *data, charset) : nullptr;
    }
    if (*properties.method == AttachEmbeddedMessage) {
        std::unique_ptr<MailItem> embedded =
            depth < MaxEmbeddingDepth ? attachment.EmbeddedMessage() : nullptr;
        if (!embedded) {
            return nullptr;
        }
        mimepp::Message converted;
        Convert(*embedded, converted, depth + 1);
        return EmbeddedMessagePart(properties, converted);
    }
    return ContentlessAttachmentPart(properties, charset);
}

void AddAttachments(MailItem& item, mimepp::Message& mime, const std::string& charset, int depth) {
    for (std::unique_ptr<MailAttachment>& attachment : item.Attachments()) {
        if (!attachment) {
            continue;
        }
        try {
            if (std::unique_ptr<mimepp::BodyPart> part = AttachmentPartOf(*attachment, charset, depth)) {
                mime.Body().AddBodyPart(std::move(part));
            }
        } catch (const HRException&) {
            LogLine("**Error** Exception in AttachPartFromIAttach occurred");
        } catch (const std::exception& error) {
            LogLine("**Error** Exception in AttachPartFromIAttach occurred: %s", error.what());
        }
    }
}

void Convert(MailItem& item, mimepp::Message& mime, int depth) {
    AddHeaders(item, mime);
    uint32_t codePage = MessageCodePage(item);
    std::string charset = CharsetName(codePage);
    std::optional<int64_t> flags = item.Integer(Prop::MessageFlags);
    bool hasAttachments = flags && (*flags & MessageFlagHasAttachments) != 0;
    AddBodies(mime, ChooseBodies(item, codePage, charset), hasAttachments);
    if (hasAttachments) {
        AddAttachments(item, mime, charset, depth);
    }
    mime.Assemble();
}

}  // namespace

void storeUtils::Init(Message& message, mimepp::Message& mime) {
    MapiMailItem item(message);
    Convert(item, mime, 0);
}

std::unique_ptr<mimepp::Message> ConvertMailToMime(Message& message) {
    auto mime = std::make_unique<mimepp::Message>();
    storeUtils::Init(message, *mime);
    return mime;
}

void ConvertMailItem(MailItem& item, mimepp::Message& mime) {
    Convert(item, mime, 0);
}

std::unique_ptr<mimepp::Message> ConvertMailToMime(MailItem& item) {
    auto mime = std::make_unique<mimepp::Message>();
    ConvertMailItem(item, *mime);
    return mime;
}

uint64_t MimeSize(const mimepp::Message& mime) {
    return mime.AsString().size();
}

uint64_t WriteMime(const mimepp::Message& mime, std::ostream& out) {
    uint64_t written = 0;
    mime.AsString().ForEachPiece([&](std::string_view piece) {
        if (out) {
            out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
            written += out ? piece.size() : 0;
        }
    });
    out.flush();
    if (!out) {
        throw std::ios_base::failure("the MIME text could not be written in full");
    }
    return written;
}

}  // namespace Tarvik::MAPI
