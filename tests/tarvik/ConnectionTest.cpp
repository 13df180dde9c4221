#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>

#include "runtime/ImportParams.h"
#include "runtime/Log.h"
#include "runtime/SettingsStore.h"
#include "tarvik/AccountRequests.h"
#include "tarvik/Connection.h"
#include "tarvik/RpcException.h"
#include "tarvik/Vocabulary.h"
#include "tests/support/ScriptedHttpResponder.h"
#include "tests/tarvik/Golden.h"
#include "tests/tarvik/TlsChannel.h"

namespace {

using namespace std::chrono_literals;
using Tarvik::Rpc::Connection;
using Tarvik::Rpc::RpcException;
using TestSupport::ScriptedHttpResponder;

std::filesystem::path Scenario(const std::string& name) {
    return TestSupport::TarvikTestDir() / "scenarios" / name;
}

class ConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ImportParams& params = GetImportParams();
        params.workDirectory = work_.Path().string();
        params.adminMode = params.isAdmin = params.isDomainAdmin = false;
        OpenLogFile((work_ / "run.log").string());
    }
    void TearDown() override { CloseLogFile(); }

    // The error code of a failed Send, or 0.
    static uint32_t SendError(Connection& connection, std::string_view xml) {
        try {
            connection.Send(xml);
        } catch (const RpcException& error) {
            return error.ErrorCode();
        }
        return 0;
    }

    TestSupport::TempDir work_;
};

TEST_F(ConnectionTest, SendsExactBytesOnOneKeptAliveConnectionAndReturnsFaultBodies) {
    ScriptedHttpResponder server(Scenario("soap-keep-alive.http"));
    Connection connection("127.0.0.1", server.Port(), false, false);

    Tarvik::Rpc::GetInfoRequest request;
    Tarvik::Xml::Document answer = connection.ExecuteAndParse(request);
    answer.SetSelectionNamespaces(Tarvik::Rpc::ResponseNamespaces(false));
    EXPECT_EQ(answer.SelectSingleNode("//l:Code").Text(), "service.AUTH_EXPIRED");

    GetImportParams().adminMode = GetImportParams().isAdmin = true;
    EXPECT_EQ(connection.Send("<x>ü</x>"), "<ok/>");

    EXPECT_EQ(server.Problems(), std::vector<std::string>());
    EXPECT_EQ(server.Connections(), 1);
}

TEST_F(ConnectionTest, RequestMeetingAStaleKeptAliveConnectionIsSentAgainOnANewOne) {
    ScriptedHttpResponder server(Scenario("stale-connection.http"));
    Connection connection("127.0.0.1", server.Port(), false, false);
    EXPECT_EQ(connection.Send("<GetInfoRequest/>"), "<one/>");
    EXPECT_EQ(connection.Send("<GetFolderRequest/>"), "<two/>");
    EXPECT_EQ(server.Problems(), std::vector<std::string>());
    EXPECT_EQ(server.Connections(), 2);
}

TEST_F(ConnectionTest, TransportFailuresBecomeWinHttpCodesAndDumpTheRequestMasked) {
    ScriptedHttpResponder server(Scenario("transport-failures.http"));
    Connection connection("127.0.0.1", server.Port(), false, false);
    connection.SetTimeout(1s);
    const std::string request =
        "<AuthRequest><account by=\"name\">anna</account><password>secret</password><password>old</password>"
        "</AuthRequest>";

    // An HTML error page is no transport failure; it parses to an empty document.
    const std::string& page = connection.Send(request);
    EXPECT_NE(page.find("502 Bad Gateway"), std::string::npos);
    EXPECT_FALSE(Tarvik::Xml::Document::Parse(page));

    struct {
        const char* what;
        uint32_t code;
    } const failures[] = {{"closed without answer", 12030},
                          {"reset", 12030},
                          {"reset mid-answer", 12030},
                          {"not HTTP", 12152},
                          {"no answer", 12002}};
    for (const auto& failure : failures) {
        EXPECT_EQ(SendError(connection, request), failure.code) << failure.what << "\n"
                                                                << TestSupport::ReadFile(work_ / "run.log");
    }
    EXPECT_EQ(server.Problems(), std::vector<std::string>());

    // Each failure left a numbered copy of the request, readable by the user only, password masked.
    std::vector<int> numbers;
    for (const auto& entry : std::filesystem::directory_iterator(work_.Path())) {
        std::smatch match;
        std::string name = entry.path().filename().string();
        if (std::regex_match(name, match, std::regex("([0-9]+)-RPCErrorRequest\\.xml"))) {
            numbers.push_back(std::stoi(match[1]));
            EXPECT_EQ(TestSupport::ReadFile(entry.path()),
                      "<AuthRequest><account by=\"name\">anna</account><password>*******</password>"
                      "<password>*******</password></AuthRequest>");
            struct stat status {};
            stat(entry.path().c_str(), &status);
            EXPECT_EQ(status.st_mode & 0777, 0600u) << name;
        }
    }
    std::sort(numbers.begin(), numbers.end());
    ASSERT_EQ(numbers.size(), 5u);
    EXPECT_EQ(numbers.back() - numbers.front(), 4) << "consecutive numbers";

    std::string log = TestSupport::ReadFile(work_ / "run.log");
    EXPECT_NE(log.find("RPC Error:- WinHttpReceiveResponse failed. The RPC request is logged as " +
                       work_.Path().string() + "/"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("RPC Error:- WinHttpQueryDataAvailable failed."), std::string::npos) << log;
}

TEST_F(ConnectionTest, RefusedConnectionIsCannotConnect) {
    Connection connection("127.0.0.1", TestSupport::FreePort(), false, false);
    EXPECT_EQ(SendError(connection, "<a/>"), 12029u);
    std::string log = TestSupport::ReadFile(work_ / "run.log");
    EXPECT_NE(log.find("RPC Error:- WinHttpSendRequest failed."), std::string::npos) << log;
}

TEST_F(ConnectionTest, UntrustedCertificateFailsUnlessCertificateErrorsAreIgnored) {
    TestSupport::UntrustedTlsServer tls;
    ScriptedHttpResponder server(Scenario("tls.http"), {}, tls.Channels());

    Connection strict("127.0.0.1", server.Port(), true, false);
    EXPECT_EQ(SendError(strict, "<GetInfoRequest/>"), 12175u);

    Connection lenient("127.0.0.1", server.Port(), true, true);
    EXPECT_EQ(lenient.Send("<GetInfoRequest/>"), "<ok/>");
    EXPECT_EQ(server.Problems(), std::vector<std::string>());
}

TEST_F(ConnectionTest, TimeoutComesFromTheSettingInMinutes) {
    SettingsStore& settings = SettingsStore::User();
    settings.DeleteValue("Software\\Tarvik", "WConnectTimeout");
    EXPECT_EQ(Connection("h", 80, false, false).Timeout(), 900000ms);
    settings.WriteDword("Software\\Tarvik", "WConnectTimeout", 2);
    EXPECT_EQ(Connection("h", 80, false, false).Timeout(), 120000ms);
    settings.WriteDword("Software\\Tarvik", "WConnectTimeout", 0);
    EXPECT_EQ(Connection("h", 80, false, false).Timeout(), 0ms);
    settings.DeleteValue("Software\\Tarvik", "WConnectTimeout");
}

}  // namespace
