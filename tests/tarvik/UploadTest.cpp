#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "runtime/ImportParams.h"
#include "runtime/Log.h"
#include "tarvik/Connection.h"
#include "tarvik/DumpFiles.h"
#include "tarvik/Mailbox.h"
#include "tarvik/MessageStream.h"
#include "tarvik/TarvikFaults.h"
#include "tarvik/Upload.h"
#include "tests/support/ScriptedHttpResponder.h"
#include "tests/tarvik/Golden.h"

namespace {

using namespace Tarvik::Mail;
using TestSupport::ScriptedHttpResponder;

std::filesystem::path Scenario(const std::string& name) {
    return TestSupport::TarvikTestDir() / "scenarios" / name;
}

constexpr std::string_view defaultPartHeader =
    "Content-Disposition: form-data; name=\"kvlib32\"; filename=\"kvlib32.bin\"\r\n"
    "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: binary\r\n\r\n";
constexpr size_t boundaryLength = 28;
// The form's bytes around the content: "--B", the request-id part, "--B", the part header; "--B--".
constexpr size_t envelopeLength = 2 * boundaryLength + 79 + defaultPartHeader.size() + boundaryLength + 8;
constexpr size_t oneMiB = 1048576;

class UploadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ImportParams& params = GetImportParams();
        params.workDirectory = work_.Path().string();
        params.adminMode = params.isAdmin = params.isDomainAdmin = false;
        params.messageLogging = false;
        OpenLogFile((work_ / "run.log").string());
    }
    void TearDown() override { CloseLogFile(); }

    std::string Log() const { return TestSupport::ReadFile(work_ / "run.log"); }

    std::vector<std::filesystem::path> UploadDumps() const {
        std::vector<std::filesystem::path> dumps;
        for (const auto& entry : std::filesystem::directory_iterator(work_.Path())) {
            if (entry.path().filename().string().starts_with("upload_request")) {
                dumps.push_back(entry.path());
            }
        }
        return dumps;
    }

    TestSupport::TempDir work_;
};

// Bytes of every value, with a CR LF pair straddling the first megabyte when the content is longer.
std::string Content(size_t size) {
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        content[i] = static_cast<char>(i * 7 + i / 251);
    }
    if (size > oneMiB) {
        content[oneMiB - 1] = '\r';
        content[oneMiB] = '\n';
    }
    return content;
}

TEST_F(UploadTest, StreamsTheFormFromAFileByteForByteAtEverySize) {
    const size_t sizes[] = {0, 5, oneMiB - envelopeLength, oneMiB - envelopeLength + 1, oneMiB + 3};
    for (size_t size : sizes) {
        SCOPED_TRACE(size);
        std::string content = Content(size);
        std::filesystem::path file = work_ / "message.eml";
        TestSupport::WriteFile(file, content);
        int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        FileMessageStream message(fd);

        ScriptedHttpResponder server(
            Scenario("upload.http"),
            {{"CONTENT", content}, {"COOKIE", "TV_AUTH_TOKEN"}, {"REPLY", "200,'null','a1b2:c3-d4'"}});
        Tarvik::Rpc::Connection connection("127.0.0.1", server.Port(), false, false);
        EXPECT_EQ(DoFileUpload(std::nullopt, connection, "tok-1", message), "a1b2:c3-d4");
        close(fd);
        EXPECT_EQ(server.Problems(), std::vector<std::string>());
    }
}

TEST_F(UploadTest, AdminModeAuthenticatesWithTheAdminCookieEvenForAnOrdinaryAccount) {
    GetImportParams().adminMode = true;  // the account turned out not to be an administrator
    ScriptedHttpResponder server(
        Scenario("upload.http"),
        {{"CONTENT", "x"}, {"COOKIE", "TV_ADMIN_AUTH_TOKEN"}, {"REPLY", "200,'null','t'"}});
    Tarvik::Rpc::Connection connection("127.0.0.1", server.Port(), false, false);
    EXPECT_EQ(DoFileUpload(std::nullopt, connection, "tok-1", MemoryMessageStream("x")), "t");
    EXPECT_EQ(server.Problems(), std::vector<std::string>());
}

TEST_F(UploadTest, RefusedUploadIsLoggedAndItsContentKeptPrivately) {
    ScriptedHttpResponder server(
        Scenario("upload.http"),
        {{"CONTENT", "the message"}, {"COOKIE", "TV_AUTH_TOKEN"}, {"REPLY", "500,quota\nretry later"}});
    Tarvik::Rpc::Connection connection("127.0.0.1", server.Port(), false, false);
    EXPECT_EQ(DoFileUpload(std::nullopt, connection, "tok-1", MemoryMessageStream("the message")),
              std::nullopt);
    EXPECT_NE(Log().find("HTTP Response: 500,quota\r\nretry later"), std::string::npos) << Log();
    std::vector<std::filesystem::path> dumps = UploadDumps();
    ASSERT_EQ(dumps.size(), 1u);
    EXPECT_EQ(TestSupport::ReadFile(dumps[0]), "the message");
    EXPECT_EQ(std::filesystem::status(dumps[0]).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_NE(Log().find("DoFileUpload Failed: Request file is: " + dumps[0].string()), std::string::npos);
}

TEST_F(UploadTest, ExpiredTokenRaisesAuthExpiredAndMissingTokenSendsNothing) {
    ScriptedHttpResponder server(
        Scenario("upload.http"),
        {{"CONTENT", "m"}, {"COOKIE", "TV_AUTH_TOKEN"}, {"REPLY", "401,'authtoken expired'"}});
    Tarvik::Rpc::Connection connection("127.0.0.1", server.Port(), false, false);
    try {
        DoFileUpload(std::nullopt, connection, "tok-1", MemoryMessageStream("m"));
        ADD_FAILURE() << "no exception";
    } catch (const Tarvik::TarvikServiceException::AuthExpired& expired) {
        EXPECT_EQ(expired.Code(), "service.AUTH_EXPIRED");
        EXPECT_EQ(expired.Message(), "DoFileUpload:authtoken expired");
    }
    EXPECT_EQ(server.Problems(), std::vector<std::string>());

    for (const std::optional<std::string>& token :
         {std::optional<std::string>(), std::optional<std::string>("")}) {
        EXPECT_EQ(DoFileUpload(std::nullopt, connection, token, MemoryMessageStream("m")), std::nullopt);
    }
    EXPECT_EQ(DoFileUpload(std::nullopt, connection, "t\r\nX-Injected: 1", MemoryMessageStream("m")),
              std::nullopt);
    EXPECT_NE(Log().find("DoFileUpload NULL authtoken.  Make sure the domain name exists."),
              std::string::npos);
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(UploadTest, ThreeExpiriesMeanThreeLogonsThenNoToken) {
    ScriptedHttpResponder server(Scenario("upload-relogon.http"));
    Mailbox mailbox("127.0.0.1", server.Port(), false, false);
    ASSERT_TRUE(mailbox.Authenticate("anna@example.com", "pw"));
    try {
        mailbox.AddMessage(MemoryMessageStream("Subject: hi\r\nX-Test: 1\r\n\r\nbody"), 2, "", {}, 0,
                           std::nullopt);
        ADD_FAILURE() << "no exception";
    } catch (const Tarvik::TarvikException& error) {
        EXPECT_EQ(error.Code(), "message not added");
    }
    EXPECT_EQ(server.Problems(), std::vector<std::string>());
    EXPECT_EQ(mailbox.Session().authToken, "t4");
    for (int trial = 1; trial <= 3; ++trial) {
        EXPECT_NE(Log().find("**INFO**AuthToken Expired: ReLogon Trial:" + std::to_string(trial)),
                  std::string::npos);
    }
}

TEST(UploadForm, BoundaryHasItsFixedShape) {
    const time_t now = 1700000000;
    std::string first = MakeUploadBoundary(now);
    std::string second = MakeUploadBoundary(now);
    for (const std::string& boundary : {first, second}) {
        ASSERT_EQ(boundary.size(), 28u) << boundary;
        EXPECT_EQ(boundary.substr(0, 8), "--B-00=_");
        // Four characters of the time, in base 36, lowest digit first.
        EXPECT_EQ(boundary.substr(8, 4), "8EW4") << boundary;
        for (size_t group = 12; group < 28; group += 4) {
            EXPECT_NE(std::string_view("01234567").find(boundary[group + 2]), std::string_view::npos)
                << boundary;
            EXPECT_EQ(boundary[group + 3], '0') << boundary;
        }
    }
    EXPECT_NE(first, second) << "the counter changes the random part";
}

TEST(UploadForm, TokenIsReadFromTheThirdFieldOfTheAnswer) {
    struct {
        const char* answer;
        std::optional<std::string> token;
    } const cases[] = {
        {"200,'null','3f0c:1a2b'", "3f0c:1a2b"},
        {"200,'null','tok'\r\n", "tok"},
        {"200,'x',unquoted", "nquoted"},  // the token always starts two characters after the comma
        {"200,'null',''", std::nullopt},
        {"200,'null',", std::nullopt},
        {"200,'null'", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseUploadToken(c.answer), c.token) << c.answer;
    }
}

TEST(UploadForm, AttachmentPartHeaderCannotBreakOutOfItsField) {
    EXPECT_EQ(UploadPartHeader("report.pdf", "application/pdf"),
              "Content-Disposition: form-data; name=\"report.pdf\"; filename=\"report.pdf\"\r\n"
              "Content-Type: application/pdf\r\n\r\n");
    EXPECT_EQ(UploadPartHeader("a\"b\r\nc", "text/plain"),
              "Content-Disposition: form-data; name=\"a%22b%0D%0Ac\"; filename=\"a%22b%0D%0Ac\"\r\n"
              "Content-Type: text/plain\r\n\r\n");
}

TEST(UploadForm, DumpNamesFromServerTokensStayInsideTheWorkDirectory) {
    struct {
        const char* token;
        const char* name;
    } const cases[] = {
        {"4a1f:9c2e-77", "4a1f-9c2e-77"},
        {"../../.bashrc", "______.bashrc"},
        {"a/b\\c", "a_b_c"},
        {"x\ny\x7f", "x_y_"},
        {"..", "__"},
        {"v1.2", "v1.2"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Tarvik::Util::DumpFileName(c.token), c.name) << c.token;
    }
}

}  // namespace
