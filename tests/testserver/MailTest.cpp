// Folders, tags, contacts and messages: what is stored, and what is refused.

#include <gtest/gtest.h>

#include "tests/support/ReferenceServer.h"
#include "tests/testserver/TestClient.h"

namespace TestServerTests {
namespace {

using TestSupport::ReferenceServer;
using TestSupport::ReferenceServerOptions;

const char* MailConfig = R"json({
  "maxTags": 2,
  "accounts": [
    {"name": "user@example.com", "password": "secret"},
    {"name": "other@example.com", "password": "secret"},
    {"name": "small@example.com", "password": "secret", "quota": 700, "used": 100}
  ]
})json";

class MailTest : public ::testing::Test {
  protected:
    void SetUp() override { client.Login("user@example.com"); }

    Answer CreateFolder(const std::string& attributes) {
        return client.Call("<CreateFolderRequest xmlns=\"urn:tarvikMail\"><folder " + attributes +
                           "/></CreateFolderRequest>");
    }
    Answer CreateTag(const std::string& name) {
        return client.Call("<CreateTagRequest xmlns=\"urn:tarvikMail\"><tag name=\"" + name +
                           "\" color=\"1\"/></CreateTagRequest>");
    }
    Answer AddMsg(const std::string& attributes) {
        return client.Call("<AddMsgRequest xmlns=\"urn:tarvikMail\"><m " + attributes + "/></AddMsgRequest>");
    }
    Answer CreateContact(const std::string& attributes, const std::string& fields) {
        return client.Call("<CreateContactRequest xmlns=\"urn:tarvikMail\"><cn " + attributes + ">" + fields +
                           "</cn></CreateContactRequest>");
    }

    ReferenceServer server{ReferenceServerOptions{.config = MailConfig}};
    TestClient client{server};
};

TEST_F(MailTest, FolderTreeHasTheSystemFoldersAndGrows) {
    Answer tree = client.Call("<GetFolderRequest xmlns=\"urn:tarvikMail\"/>");
    EXPECT_EQ(tree.Text("/soap:Envelope/soap:Body/mail:GetFolderResponse/mail:folder/@id"), "1");
    for (const auto& [id, view] : std::vector<std::pair<std::string, std::string>>{{"2", "message"},
                                                                                   {"3", ""},
                                                                                   {"4", "message"},
                                                                                   {"5", "message"},
                                                                                   {"6", "message"},
                                                                                   {"7", "contact"},
                                                                                   {"10", "appointment"},
                                                                                   {"15", "task"}}) {
        EXPECT_EQ(tree.Text("//mail:folder[@id=\"" + id + "\"]/@l"), "1") << id;
        EXPECT_EQ(tree.Text("//mail:folder[@id=\"" + id + "\"]/@view"), view) << id;
    }

    Answer calendar = CreateFolder("name=\"Team\" view=\"appointment\" color=\"3\" f=\"#\" l=\"1\"");
    std::string calendarId = calendar.Text("//mail:folder/@id");
    Answer child = CreateFolder("name=\"Sub\" l=\"" + calendarId + "\"");
    tree = client.Call("<GetFolderRequest xmlns=\"urn:tarvikMail\"/>");
    EXPECT_EQ(tree.Text("//mail:folder[@name=\"Team\"]/@color"), "3");
    EXPECT_EQ(tree.Text("//mail:folder[@name=\"Team\"]/@f"), "#");
    EXPECT_EQ(tree.Text("//mail:folder[@name=\"Team\"]/mail:folder/@name"), "Sub");  // nested in the answer
    EXPECT_EQ(tree.Text("//mail:folder[@l=\"" + calendarId + "\"]/@name"), "Sub");
}

TEST_F(MailTest, RefusesDuplicateAndInvalidFolders) {
    ASSERT_EQ(CreateFolder("name=\"Projects\" l=\"2\"").FaultCode(), "");
    struct Case {
        std::string attributes;
        const char* code;
    } cases[] = {
        {"name=\"PROJECTS\" l=\"2\"", "mail.ALREADY_EXISTS"},  // names compare without case
        {"name=\"Inbox\" l=\"1\"", "mail.ALREADY_EXISTS"},
        {"name=\"a:b\" l=\"2\"", "mail.INVALID_NAME"},
        {"name=\"a/b\" l=\"2\"", "mail.INVALID_NAME"},
        {"name=\" padded\" l=\"2\"", "mail.INVALID_NAME"},
        {"name=\"\" l=\"2\"", "mail.INVALID_NAME"},
        {"name=\"" + std::string(129, 'x') + "\" l=\"2\"", "mail.INVALID_NAME"},
        {"name=\"Lost\" l=\"9999\"", "mail.NO_SUCH_FOLDER"},
        {"name=\"Lost\" l=\"-1\"", "mail.NO_SUCH_FOLDER"},
        {"name=\"Odd\" view=\"wiki\" l=\"2\"", "service.INVALID_REQUEST"},
        {"name=\"Odd\" color=\"12\" l=\"2\"", "service.INVALID_REQUEST"},
        {"name=\"Odd\"", "service.INVALID_REQUEST"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CreateFolder(c.attributes).FaultCode(), c.code) << c.attributes;
    }
    EXPECT_EQ(CreateFolder("name=\"Projects\" l=\"5\"").FaultCode(), "") << "another parent";
}

TEST_F(MailTest, TagsAreUniqueAndLimited) {
    Answer red = CreateTag("Red");
    EXPECT_EQ(red.Text("//mail:tag/@id"), "64");
    EXPECT_EQ(CreateTag("red").FaultCode(), "mail.ALREADY_EXISTS");
    EXPECT_EQ(CreateTag("a:b").FaultCode(), "mail.INVALID_NAME");
    EXPECT_EQ(CreateTag("Blue").FaultCode(), "");
    EXPECT_EQ(CreateTag("Green").FaultCode(), "mail.TOO_MANY_TAGS");
    Answer tags = client.Call("<GetTagRequest xmlns=\"urn:tarvikMail\"/>");
    EXPECT_EQ(tags.Text("//mail:tag[@name=\"Blue\"]/@id"), "65");
    EXPECT_EQ(tags.Text("//mail:tag[@id=\"64\"]/@color"), "1");
}

TEST_F(MailTest, AddsMessagesWithFlagsTagsAndDate) {
    CreateTag("Red");
    CreateTag("Blue");
    std::string mime = SimpleMessage("Quarterly report");
    Answer added =
        AddMsg("aid=\"" + client.UploadToken(mime) + "\" l=\"2\" d=\"1362492189000\" f=\"urs\" t=\"65,64\"");
    EXPECT_FALSE(added.Text("//mail:AddMsgResponse/mail:m/@id").empty()) << added.body;

    nlohmann::ordered_json messages = server.Dump("user@example.com")["messages"];
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0]["folder"], "/Inbox");
    EXPECT_EQ(messages[0]["flags"], "urs");
    EXPECT_EQ(messages[0]["tags"], nlohmann::ordered_json::array({"Blue", "Red"}));
    EXPECT_EQ(messages[0]["date"], 1362492189000);
    EXPECT_EQ(messages[0]["dateUtc"], "2013-03-05T14:03:09.000Z");
    EXPECT_EQ(messages[0]["subject"], "Quarterly report");
    EXPECT_EQ(messages[0]["mime"], mime);
    EXPECT_EQ(messages[0]["size"], mime.size());
}

TEST_F(MailTest, RefusesMessagesItCannotStoreFaithfully) {
    TestClient other{server};
    other.Login("other@example.com");
    std::string othersUpload = other.UploadToken(SimpleMessage());
    std::string used = client.UploadToken(SimpleMessage());
    ASSERT_EQ(AddMsg("aid=\"" + used + "\" l=\"2\"").FaultCode(), "");
    CreateTag("Red");
    struct Case {
        const char* name;
        std::string content;  // uploaded for the request unless `token` is given
        std::string attributes;
        const char* code;
        std::string token = {};
    } cases[] = {
        {"unknown upload", "", "l=\"2\"", "mail.NO_SUCH_UPLOAD", "0000:feed"},
        {"upload used up", "", "l=\"2\"", "mail.NO_SUCH_UPLOAD", used},
        {"another account's upload", "", "l=\"2\"", "mail.NO_SUCH_UPLOAD", othersUpload},
        {"not MIME", "just some text without headers", "l=\"2\"", "mail.MESSAGE_PARSE_ERROR"},
        {"broken multipart",
         "Subject: x\r\nContent-Type: multipart/mixed; boundary=q\r\n\r\n--q\r\n\r\nbody\r\n", "l=\"2\"",
         "mail.MESSAGE_PARSE_ERROR"},
        {"no such folder", SimpleMessage(), "l=\"4711\"", "mail.NO_SUCH_FOLDER"},
        {"unmapped folder", SimpleMessage(), "l=\"-1\"", "mail.NO_SUCH_FOLDER"},
        {"root folder", SimpleMessage(), "l=\"1\"", "mail.CANNOT_CONTAIN"},
        {"unknown flag", SimpleMessage(), "l=\"2\" f=\"uZ\"", "service.INVALID_REQUEST"},
        {"unknown tag", SimpleMessage(), "l=\"2\" t=\"64,99\"", "mail.NO_SUCH_TAG"},
        {"tag list with blank", SimpleMessage(), "l=\"2\" t=\"64, 64\"", "mail.NO_SUCH_TAG"},
        {"date not a number", SimpleMessage(), "l=\"2\" d=\"yesterday\"", "service.INVALID_REQUEST"},
        {"no folder", SimpleMessage(), "", "service.INVALID_REQUEST"},
    };
    for (const Case& c : cases) {
        std::string token = c.token.empty() ? client.UploadToken(c.content) : c.token;
        Answer answer = AddMsg("aid=\"" + token + "\" " + c.attributes);
        EXPECT_EQ(answer.FaultCode(), c.code) << c.name << ": " << answer.body;
    }
    EXPECT_EQ(server.Dump("user@example.com")["messages"].size(), 1u);
}

TEST_F(MailTest, EnforcesTheQuota) {
    client.Login("small@example.com");
    std::string message = SimpleMessage("fits") + std::string(300 - SimpleMessage("fits").size(), 'x');
    EXPECT_EQ(AddMsg("aid=\"" + client.UploadToken(message) + "\" l=\"2\"").FaultCode(), "");
    Answer info = client.Call("<GetInfoRequest xmlns=\"urn:tarvikAccount\"/>");
    EXPECT_EQ(info.Text("//account:used"), "400");  // 100 configured + 300 stored
    Answer over = AddMsg("aid=\"" + client.UploadToken(message + "more") + "\" l=\"2\"");
    EXPECT_EQ(over.FaultCode(), "mail.QUOTA_EXCEEDED");
    EXPECT_EQ(AddMsg("aid=\"" + client.UploadToken(message) + "\" l=\"2\"").FaultCode(), "")
        << "exactly full";
    EXPECT_EQ(CreateContact("l=\"7\"", "<a n=\"firstName\">X</a>").FaultCode(), "mail.QUOTA_EXCEEDED");
}

TEST_F(MailTest, CreatesContactsWithPictures) {
    CreateTag("Red");
    std::string picture("\xff\xd8\xff\xe0 jpeg bytes", 15);
    std::string image = client.UploadToken(picture);
    Answer created = CreateContact("l=\"7\" t=\"64\"",
                                   "<a n=\"email\">ann@example.org</a><a n=\"firstName\">Ann</a>"
                                   "<a n=\"birthday\">1970-12-31</a><a n=\"fileAs\">8:Ann Smith</a>"
                                   "<a n=\"image\" aid=\"" +
                                       image + "\"/><a n=\"notes\"></a>");
    EXPECT_FALSE(created.Text("//mail:CreateContactResponse/mail:cn/@id").empty()) << created.body;
    EXPECT_FALSE(CreateContact("l=\"7\"",
                               "<a n=\"type\">group</a><a n=\"nickname\">Team</a>"
                               "<a n=\"dlist\">a@x.org,b@x.org</a>")
                     .Text("//mail:cn/@id")
                     .empty());

    nlohmann::ordered_json contacts = server.Dump("user@example.com")["contacts"];
    ASSERT_EQ(contacts.size(), 2u);
    const auto& ann = contacts[0]["attributes"].contains("firstName") ? contacts[0] : contacts[1];
    EXPECT_EQ(ann["folder"], "/Contacts");
    EXPECT_EQ(ann["tags"], nlohmann::ordered_json::array({"Red"}));
    EXPECT_EQ(ann["attributes"],
              nlohmann::ordered_json::parse(R"({"birthday": "1970-12-31", "email": "ann@example.org",
                                                                  "fileAs": "8:Ann Smith", "firstName": "Ann"})"));
    EXPECT_EQ(ann["image"]["size"], 15);
}

TEST_F(MailTest, RefusesContactsWithoutFieldsOrWithUnknownOnes) {
    Answer empty = CreateContact("l=\"7\"", "<a n=\"notes\"></a>");
    EXPECT_EQ(empty.FaultCode(), "service.INVALID_REQUEST");
    EXPECT_EQ(empty.Text("//soap:Reason/soap:Text"), "invalid request: contact must have fields");
    struct Case {
        std::string attributes;
        std::string fields;
        const char* code;
    } cases[] = {
        {"l=\"7\"", "<a n=\"shoeSize\">44</a>", "service.INVALID_REQUEST"},
        {"l=\"7\"", "<a n=\"aid\">x</a>", "service.INVALID_REQUEST"},
        {"l=\"7\"", "<a n=\"email\">a@b</a><a n=\"email\">c@d</a>", "service.INVALID_REQUEST"},
        {"l=\"7\"", "<a n=\"birthday\">31.12.1970</a>", "service.INVALID_REQUEST"},
        {"l=\"7\"", "<a n=\"fileAs\">9</a>", "service.INVALID_REQUEST"},
        {"l=\"7\"", "<a n=\"image\" aid=\"0000:none\"/>", "mail.NO_SUCH_UPLOAD"},
        {"l=\"77\"", "<a n=\"firstName\">X</a>", "mail.NO_SUCH_FOLDER"},
        {"l=\"7\" t=\"64\"", "<a n=\"firstName\">X</a>", "mail.NO_SUCH_TAG"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CreateContact(c.attributes, c.fields).FaultCode(), c.code) << c.fields;
    }
    EXPECT_EQ(server.Dump("user@example.com")["contacts"].size(), 0u);
}

}  // namespace
}  // namespace TestServerTests
