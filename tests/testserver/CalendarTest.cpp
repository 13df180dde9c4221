// SetAppointmentRequest and SetTaskRequest: the invitation tree is kept as received and parsed,
// attachments are taken from uploads, a known UID replaces its item, and faulty trees are refused.

#include <gtest/gtest.h>

#include "tests/support/ReferenceServer.h"
#include "tests/testserver/TestClient.h"

namespace TestServerTests {
namespace {

using TestSupport::ReferenceServer;

const std::string Zone = "(GMT+01.00) Amsterdam /Berlin";
const std::string ZoneElement =
    "<tz id=\"" + Zone +
    "\" stdoff=\"60\" dayoff=\"120\"><standard week=\"-1\" wkday=\"1\" mon=\"10\" hour=\"3\" "
    "min=\"0\" sec=\"0\"/><daylight week=\"-1\" wkday=\"1\" mon=\"3\" hour=\"2\" min=\"0\" "
    "sec=\"0\"/></tz>";

std::string Date(const char* element, const std::string& d) {
    return "<" + std::string(element) + " d=\"" + d + "\" tz=\"" + Zone + "\"/>";
}

std::string RecurringMeeting(const std::string& attachment, const std::string& subject = "Weekly sync") {
    const std::string inv = "method=\"REQUEST\" fb=\"B\" transp=\"O\" allDay=\"0\" name=\"" + subject +
                            "\" loc=\"Room 1\" uid=\"UID-1\" status=\"CONF\"";
    const std::string organizer = "<or d=\"Boss\" a=\"boss@example.com\"/>";
    return "<SetAppointmentRequest xmlns=\"urn:tarvikMail\" l=\"10\">"
           "<default ptst=\"AC\"><m>" +
           ZoneElement + "<inv " + inv + ">" + Date("s", "20130304T090000") + Date("e", "20130304T100000") +
           organizer +
           "<at d=\"Ann\" a=\"ann@example.org\" role=\"REQ\" ptst=\"AC\"/>"
           "<at a=\"room@example.org\" role=\"NON\" cutype=\"RES\" ptst=\"NE\"/>"
           "<recur><add><rule freq=\"WEE\"><interval ival=\"2\"/><byday><wkday day=\"MO\"/><wkday "
           "day=\"WE\"/></byday>"
           "<count num=\"10\"/></rule></add></recur>"
           "<alarm action=\"DISPLAY\"><trigger><rel related=\"START\" neg=\"1\" h=\"1\" "
           "m=\"15\"/></trigger></alarm>"
           "</inv><su>" +
           subject +
           "</su><mp ct=\"multipart/alternative\"><mp ct=\"text/plain\"><content>Agenda</content>"
           "</mp><mp ct=\"text/html\"><content>&lt;p&gt;Agenda&lt;/p&gt;</content></mp></mp>"
           "<attach aid=\"" +
           attachment +
           "\"/></m></default>"
           "<except ptst=\"TE\"><m>" +
           ZoneElement + "<inv " + inv + ">" + Date("s", "20130306T110000") + Date("e", "20130306T120000") +
           Date("exceptId", "20130306T090000") + organizer +
           "</inv><su>Moved</su></m></except>"
           "<cancel><m>" +
           ZoneElement + "<inv fb=\"B\" transp=\"O\" allDay=\"0\" name=\"" + subject +
           "\" loc=\"Room 1\" uid=\"UID-1\">" + Date("s", "20130311T090000") +
           Date("exceptId", "20130311T090000") + organizer + "</inv></m></cancel></SetAppointmentRequest>";
}

class CalendarTest : public ::testing::Test {
  protected:
    void SetUp() override { client.Login("user@example.com"); }

    Answer InBatch(const std::string& request) {
        std::string withId = request;
        withId.insert(withId.find(' '), " requestId=\"0\"");
        return client.Call("<BatchRequest xmlns=\"urn:tarvik\">" + withId + "</BatchRequest>");
    }

    ReferenceServer server;
    TestClient client{server};
};

TEST_F(CalendarTest, KeepsARecurringMeetingAsReceivedAndParsed) {
    std::string attachment = client.UploadToken("agenda.pdf bytes");
    Answer answer = InBatch(RecurringMeeting(attachment));
    std::string id = answer.Text("//mail:SetAppointmentResponse[@requestId=\"0\"]//mail:default/@id");
    ASSERT_FALSE(id.empty()) << answer.body;
    EXPECT_EQ(answer.Text("//mail:SetAppointmentResponse/mail:except/@recurId"), "20130306T090000");

    nlohmann::ordered_json appointments = server.Dump("user@example.com")["appointments"];
    ASSERT_EQ(appointments.size(), 1u);
    const auto& item = appointments[0];
    EXPECT_EQ(item["folder"], "/Calendar");
    EXPECT_EQ(item["uid"], "UID-1");
    EXPECT_EQ(std::to_string(item["id"].get<int64_t>()), id);
    const auto& series = item["parsed"]["default"];
    EXPECT_EQ(series["ptst"], "AC");
    EXPECT_EQ(series["timezones"][0]["id"], Zone);
    EXPECT_EQ(series["timezones"][0]["daylight"]["mon"], 3);
    EXPECT_EQ(series["start"], nlohmann::ordered_json({{"d", "20130304T090000"}, {"tz", Zone}}));
    EXPECT_EQ(series["organizer"]["address"], "boss@example.com");
    EXPECT_EQ(series["attendees"].size(), 2u);
    EXPECT_EQ(series["attendees"][1]["cutype"], "RES");
    EXPECT_EQ(series["recurrence"][0],
              nlohmann::ordered_json::parse(
                  R"({"freq": "WEE", "interval": 2, "byday": ["MO", "WE"], "count": 10})"));
    EXPECT_EQ(series["alarm"]["minutes"], 75);
    EXPECT_TRUE(series["alarm"]["before"].get<bool>());
    EXPECT_EQ(series["body"], nlohmann::ordered_json({{"text", "Agenda"}, {"html", "<p>Agenda</p>"}}));
    EXPECT_EQ(series["attachments"][0]["size"], 16);
    EXPECT_EQ(item["attachments"][0]["filename"], "kvlib32.bin");
    EXPECT_EQ(item["parsed"]["exceptions"][0]["exceptId"]["d"], "20130306T090000");
    EXPECT_EQ(item["parsed"]["exceptions"][0]["subject"], "Moved");
    EXPECT_EQ(item["parsed"]["cancellations"][0]["start"]["d"], "20130311T090000");
    // As received, but without what changes from run to run.
    std::string request = item["request"];
    EXPECT_EQ(request.find("requestId"), std::string::npos);
    EXPECT_NE(request.find("aid=\"attachment-1\""), std::string::npos) << request;
    EXPECT_NE(request.find("<SetAppointmentRequest xmlns=\"urn:tarvikMail\" l=\"10\">"), std::string::npos);
}

TEST_F(CalendarTest, ASecondItemWithTheSameUidReplacesTheFirst) {
    std::string first = InBatch(RecurringMeeting(client.UploadToken("a"))).Text("//mail:default/@id");
    std::string second =
        InBatch(RecurringMeeting(client.UploadToken("b"), "Renamed")).Text("//mail:default/@id");
    EXPECT_EQ(first, second);
    nlohmann::ordered_json appointments = server.Dump("user@example.com")["appointments"];
    ASSERT_EQ(appointments.size(), 1u);
    EXPECT_EQ(appointments[0]["parsed"]["default"]["name"], "Renamed");
}

TEST_F(CalendarTest, KeepsTasksWithTheirProperties) {
    Answer answer = client.Call(
        "<SetTaskRequest xmlns=\"urn:tarvikMail\" l=\"15\"><default ptst=\"NE\"><m><inv method=\"REQUEST\" "
        "fb=\"B\" "
        "transp=\"O\" allDay=\"1\" name=\"Report\" loc=\"\" class=\"PRI\" percentComplete=\"100\" "
        "priority=\"1\" "
        "completed=\"20130310T120000Z\" uid=\"T-1\" status=\"COMP\"><s d=\"20130301\"/><e d=\"20130308\"/>"
        "<or a=\"user@example.com\"/><xprop name=\"X-TARVIK-TASK-TOTAL-WORK\" value=\"90\"/>"
        "<xprop name=\"X-TARVIK-TASK-COMPANIES\" value=\"ACME\"/></inv></m></default></SetTaskRequest>");
    EXPECT_FALSE(answer.Text("//mail:SetTaskResponse/mail:default/@id").empty()) << answer.body;
    nlohmann::ordered_json task = server.Dump("user@example.com")["tasks"].at(0)["parsed"]["default"];
    EXPECT_EQ(task["status"], "COMP");
    EXPECT_EQ(task["priority"], 1);
    EXPECT_EQ(task["completed"], "20130310T120000Z");
    EXPECT_EQ(task["class"], "PRI");
    EXPECT_EQ(task["end"]["d"], "20130308");
    EXPECT_EQ(task["xprops"][0],
              nlohmann::ordered_json({{"name", "X-TARVIK-TASK-TOTAL-WORK"}, {"value", "90"}}));
}

TEST_F(CalendarTest, RefusesFaultyInvitationTrees) {
    auto appointment = [](const std::string& invAttributes, const std::string& children,
                          const std::string& rest = "") {
        return "<SetAppointmentRequest xmlns=\"urn:tarvikMail\" l=\"10\"><default ptst=\"AC\"><m><inv "
               "method=\"REQUEST\" "
               "transp=\"O\" name=\"x\" loc=\"\" " +
               invAttributes + ">" + children + "</inv>" + rest + "</m></default></SetAppointmentRequest>";
    };
    const std::string times = "<s d=\"20130304T090000Z\"/><e d=\"20130304T100000Z\"/>";
    struct Case {
        const char* name;
        std::string request;
        const char* code;
    } cases[] = {
        {"valid", appointment("fb=\"B\" allDay=\"0\"", times), ""},
        {"undefined zone", appointment("fb=\"B\" allDay=\"0\"", "<s d=\"20130304T090000\" tz=\"Nowhere\"/>"),
         "service.INVALID_REQUEST"},
        {"end before start",
         appointment("fb=\"B\" allDay=\"0\"", "<s d=\"20130304T090000Z\"/><e d=\"20130304T080000Z\"/>"),
         "service.INVALID_REQUEST"},
        {"all-day with times", appointment("fb=\"B\" allDay=\"1\"", times), "service.INVALID_REQUEST"},
        {"timed without times", appointment("fb=\"B\" allDay=\"0\"", "<s d=\"20130304\"/>"),
         "service.INVALID_REQUEST"},
        {"bad date", appointment("fb=\"B\" allDay=\"0\"", "<s d=\"2013-03-04T09:00\"/>"),
         "service.INVALID_REQUEST"},
        {"bad free/busy", appointment("fb=\"X\" allDay=\"0\"", times), "service.INVALID_REQUEST"},
        {"bad frequency",
         appointment("fb=\"B\" allDay=\"0\"",
                     times + "<recur><add><rule freq=\"FORTNIGHTLY\"/></add></recur>"),
         "service.INVALID_REQUEST"},
        {"until and count",
         appointment("fb=\"B\" allDay=\"0\"", times + "<recur><add><rule freq=\"DAI\"><until d=\"20130401\"/>"
                                                      "<count num=\"3\"/></rule></add></recur>"),
         "service.INVALID_REQUEST"},
        {"attendee without @",
         appointment("fb=\"B\" allDay=\"0\"",
                     times + "<at a=\"/o=ExchangeLabs/cn=ann\" role=\"REQ\" ptst=\"NE\"/>"),
         "service.INVALID_REQUEST"},
        {"misplaced element", appointment("fb=\"B\" allDay=\"0\"", "<or a=\"a@b.org\"/>" + times),
         "service.INVALID_REQUEST"},
        {"unknown element", appointment("fb=\"B\" allDay=\"0\"", times + "<geo lat=\"1\"/>"),
         "service.INVALID_REQUEST"},
        {"unknown upload", appointment("fb=\"B\" allDay=\"0\"", times, "<attach aid=\"0000:gone\"/>"),
         "mail.NO_SUCH_UPLOAD"},
        {"no such folder",
         "<SetAppointmentRequest xmlns=\"urn:tarvikMail\" l=\"999\"><default ptst=\"AC\"><m><inv "
         "method=\"REQUEST\" fb=\"B\" transp=\"O\" allDay=\"0\" name=\"x\" loc=\"\"/></m></default>"
         "</SetAppointmentRequest>",
         "mail.NO_SUCH_FOLDER"},
        {"no default", "<SetAppointmentRequest xmlns=\"urn:tarvikMail\" l=\"10\"/>",
         "service.INVALID_REQUEST"},
        {"exception without exceptId",
         "<SetAppointmentRequest xmlns=\"urn:tarvikMail\" l=\"10\"><default ptst=\"AC\"><m><inv "
         "method=\"REQUEST\" fb=\"B\" "
         "transp=\"O\" allDay=\"0\" name=\"x\" loc=\"\"/></m></default><except ptst=\"AC\"><m><inv "
         "method=\"REQUEST\" "
         "fb=\"B\" transp=\"O\" allDay=\"0\" name=\"x\" loc=\"\"/></m></except></SetAppointmentRequest>",
         "service.INVALID_REQUEST"},
        {"task with alarm",
         "<SetTaskRequest xmlns=\"urn:tarvikMail\" l=\"15\"><default ptst=\"NE\"><m><inv method=\"REQUEST\" "
         "fb=\"B\" "
         "transp=\"O\" allDay=\"1\" name=\"x\" loc=\"\" percentComplete=\"0\" priority=\"5\" "
         "status=\"NEED\"><alarm "
         "action=\"DISPLAY\"><trigger><rel related=\"START\" "
         "m=\"5\"/></trigger></alarm></inv></m></default></SetTaskRequest>",
         "service.INVALID_REQUEST"},
    };
    for (const Case& c : cases) {
        Answer answer = client.Call(c.request);
        EXPECT_EQ(answer.FaultCode(), c.code) << c.name << ": " << answer.body;
    }
    EXPECT_EQ(server.Dump("user@example.com")["appointments"].size(), 1u) << "only the valid one";
}

}  // namespace
}  // namespace TestServerTests
