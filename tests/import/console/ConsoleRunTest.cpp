// The console run against the reference server: which jobs and files are imported when account
// checks fail, files are missing, read-only or being written, or the quota is short; administrative
// jobs inside and outside the administrator's domain; and server certificates that fail validation.

#include "import/console/ConsoleRun.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "import/console/ConfigXMLParser.h"
#include "runtime/Log.h"
#include "runtime/Text.h"
#include "tarvik/RpcException.h"
#include "tests/import/console/Capture.h"
#include "tests/import/console/FakeBackend.h"
#include "tests/support/ReferenceServer.h"
#include "tests/support/TestSupport.h"

namespace {

using TestSupport::ReadFile;
using TestSupport::ReferenceServer;
using TestSupport::WriteFile;

// anna has 2048 bytes of quota; admin administers example.com only; carol lives in another domain.
const std::string accounts = R"({
  "domains": [{"name": "example.com", "publicServiceHostname": "mail.example.com"}, {"name": "other.org"}],
  "accounts": [
    {"name": "anna@example.com", "password": "pw", "quota": 2048},
    {"name": "bob@example.com", "password": "bobs"},
    {"name": "admin@example.com", "password": "secret", "domainAdmin": true},
    {"name": "carol@other.org", "password": "carols"}
  ]
})";

// What every job file below refers to; %PORT%, %ADMINPORT% and %DIR% are filled in.
const std::string references = R"(
  <Server name="plain"><serverName>127.0.0.1</serverName><port>%PORT%</port><sslEnabled>0</sslEnabled></Server>
  <Server name="tls"><serverName>127.0.0.1</serverName><port>%PORT%</port><sslEnabled>1</sslEnabled></Server>
  <Account name="anna"><userName>anna</userName><password>pw</password></Account>
  <Account name="bob"><userName>bob@example.com</userName><password>wrong</password></Account>
  <Account name="bob-right"><userName>bob@example.com</userName><password>bobs</password></Account>
  <Account name="admin"><userName>admin@example.com</userName><password>secret</password></Account>
  <Account name="bob-local"><userName>bob</userName></Account>
  <Account name="carol"><userName>carol@other.org</userName></Account>
  <Data name="pst"><PST>%DIR%/mail.pst</PST></Data>
  <Data name="several"><PST>%DIR%/missing.pst</PST><PST>%DIR%/written.pst</PST><PST>%DIR%/mail.pst</PST></Data>
  <Options name="o"/>
  <Options name="trusting"><InvalidSSLOk>1</InvalidSSLOk></Options>
</TVKImport>)";

void Replace(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at; (at = text.find(from)) != std::string::npos;) {
        text.replace(at, from.size(), to);
    }
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class ConsoleRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ImportParams& params = GetImportParams();
        params.workDirectory = dir_.Path().string();
        ASSERT_TRUE(NameLogFile(params));
        // Read-only, as on a DVD or a share mounted so: it is only read, so it imports.
        WriteFile(dir_ / "mail.pst", std::string(5000, 'p'));
        chmod((dir_ / "mail.pst").c_str(), 0444);
    }
    void TearDown() override { CloseLogFile(); }

    // Runs the Import elements against the servers (the admin service on `admin`, when given).
    ConsoleRunResult Run(const std::string& imports, const ReferenceServer& server,
                         const ReferenceServer* admin = nullptr) {
        std::string jobFile = "<TVKImport>" + imports + references;
        Replace(jobFile, "%PORT%", std::to_string(server.Port()));
        Replace(jobFile, "%ADMINPORT%", std::to_string((admin != nullptr ? *admin : server).Port()));
        Replace(jobFile, "%DIR%", dir_.Path().string());
        WriteFile(dir_ / "job.xml", jobFile);
        ConfigXMLParser parser((dir_ / "job.xml").string(), dir_.Path().string());
        EXPECT_EQ(parser.Validate(), "");
        Console console(out_.Fd(), errors_.Fd());
        int fd = out_.Fd();
        return ConsoleRun(
                   GetImportParams(), parser, backend_, console,
                   [](const std::string&) { return std::string(); }, [fd] { return MakePlainScreen(fd); })
            .Run();
    }

    std::string Errors() const { return errors_.Text(); }
    std::string Out() const { return out_.Text(); }

    TestSupport::TempDir dir_;
    Capture out_;
    Capture errors_;
    FakeBackend backend_{FakeImportPlan{}};
};

TEST_F(ConsoleRunTest, JobsWhoseAccountCheckFailsAreSkippedAndTheNextOneRuns) {
    ReferenceServer server({.config = accounts});
    // Another program is writing this one.
    WriteFile(dir_ / "written.pst", "p");
    int writer = open((dir_ / "written.pst").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(flock(writer, LOCK_EX), 0);

    ConsoleRunResult result = Run(R"(
  <Import TargetAccount="bob" Server="plain" Data="pst" Options="o"/>
  <Import AuthAccount="bob-right" AdminPort="%PORT%" AdminSSLEnabled="0" TargetAccount="anna" Server="plain"
          Data="pst" Options="o"/>
  <Import TargetAccount="anna" Server="plain" Data="several" Options="o"/>)",
                                  server);
    close(writer);

    // Only the third job's usable file was imported, into the account completed with its domain.
    ASSERT_EQ(backend_.imports.size(), 1u);
    EXPECT_EQ(backend_.imports[0].pstPath, (dir_ / "mail.pst").string());
    EXPECT_EQ(backend_.imports[0].account, "anna@example.com");
    EXPECT_EQ(backend_.imports[0].host, "127.0.0.1");
    EXPECT_EQ(backend_.imports[0].port, server.Port());
    EXPECT_EQ(backend_.deletedProfiles, std::vector<std::string>{backend_.imports[0].profile});

    std::string errors = Errors();
    // A wrong password; an ordinary user importing into someone else's account.
    EXPECT_TRUE(Contains(
        errors, FormatText("ERR_AUTH_UNABLE", "account.AUTH_FAILED", LookupText("account.AUTH_FAILED"))))
        << errors;
    EXPECT_TRUE(Contains(errors, LookupText("ERR_NO_RIGHTS"))) << errors;
    EXPECT_TRUE(Contains(errors, "No such file or directory:" + (dir_ / "missing.pst").string() + "\n"))
        << errors;
    EXPECT_TRUE(
        Contains(errors, LookupText("ERR_FILE_IN_USE") + ":" + (dir_ / "written.pst").string() + "\n"))
        << errors;
    // 2048 bytes of quota are left, the file has 5000: a warning, and the import goes on.
    EXPECT_TRUE(Contains(errors, FormatText("ERR_QUOTA_MSG2", (dir_ / "mail.pst").string(), 2, 4))) << errors;

    std::string out = Out();
    EXPECT_TRUE(Contains(out, "PST Import Complete")) << out;
    EXPECT_TRUE(Contains(out, FormatText("INFO_SEE_DETAILS", GetImportParams().logFiles.front())));
    EXPECT_EQ(result.jobs, 3);
    EXPECT_EQ(result.jobsSkipped, 2);
    EXPECT_EQ(result.files, 3);
    EXPECT_EQ(result.filesFailed, 2);
    EXPECT_FALSE(result.Succeeded());
    EXPECT_TRUE(Contains(ReadFile(GetImportParams().logFiles.front()), "CheckFields failed!!!"));
}

TEST_F(ConsoleRunTest, ADomainAdministratorImportsIntoAccountsOfItsDomainOnly) {
    ReferenceServer server({.config = accounts});
    ConsoleRunResult inside = Run(R"(
  <Import AuthAccount="admin" AdminPort="%PORT%" AdminSSLEnabled="0" TargetAccount="bob-local" Server="plain"
          Data="pst" Options="o"/>)",
                                  server);
    EXPECT_TRUE(inside.Succeeded()) << Errors();
    // The engine works in administrative mode on the host that serves the target's domain.
    ASSERT_EQ(backend_.imports.size(), 1u);
    EXPECT_EQ(backend_.imports[0].account, "bob@example.com");
    EXPECT_EQ(backend_.imports[0].host, "mail.example.com");
    EXPECT_EQ(GetImportParams().domain, "example.com");

    ConsoleRunResult outside = Run(R"(
  <Import AuthAccount="admin" AdminPort="%PORT%" AdminSSLEnabled="0" TargetAccount="carol" Server="plain"
          Data="pst" Options="o"/>)",
                                   server);
    EXPECT_EQ(backend_.imports.size(), 1u);
    EXPECT_EQ(outside.jobsSkipped, 1);
    EXPECT_TRUE(
        Contains(Errors(), FormatText("ERR_VERIFY_ACCT2", LookupText("ERR_PERMISSION"), "carol@other.org")))
        << Errors();
}

// A certificate that fails validation is accepted only when the job says so: nobody answers the
// question in a console run, and the password must not go to a server that cannot prove who it is.
TEST_F(ConsoleRunTest, AnInvalidCertificateIsRefusedUnlessTheJobAcceptsIt) {
    ReferenceServer server({.config = accounts, .tls = true});
    ConsoleRunResult refused =
        Run(R"(<Import TargetAccount="anna" Server="tls" Data="pst" Options="o"/>)", server);
    EXPECT_EQ(refused.jobsSkipped, 1);
    EXPECT_TRUE(backend_.imports.empty());
    std::string question =
        FormatText("ERR_INVALID_CERT_CONT", Tarvik::Rpc::RpcException(12175).LocalizedDescription());
    EXPECT_TRUE(Contains(Errors(), question + "\n" + LookupText("ERR_IMPORT_HALTED"))) << Errors();
    EXPECT_TRUE(Contains(Errors(), "<InvalidSSLOk>1</InvalidSSLOk>")) << "how to accept it";
    for (const nlohmann::json& request : server.Requests()) {
        EXPECT_NE(request.value("operation", ""), "AuthRequest") << "the password went out";
    }

    ConsoleRunResult trusted =
        Run(R"(<Import TargetAccount="anna" Server="tls" Data="pst" Options="trusting"/>)", server);
    EXPECT_TRUE(trusted.Succeeded()) << Errors();
    EXPECT_EQ(backend_.imports.size(), 1u);
}

TEST_F(ConsoleRunTest, AnInvalidCertificateOfTheAdminServiceHaltsTheJob) {
    ReferenceServer accountService({.config = accounts});
    ReferenceServer adminService({.config = accounts, .tls = true});
    ConsoleRunResult result = Run(R"(
  <Import AuthAccount="admin" AdminPort="%ADMINPORT%" AdminSSLEnabled="1" TargetAccount="bob-local" Server="plain"
          Data="pst" Options="o"/>)",
                                  accountService, &adminService);
    EXPECT_EQ(result.jobsSkipped, 1);
    EXPECT_TRUE(backend_.imports.empty());
    EXPECT_TRUE(Contains(Errors(), LookupText("ERR_IMPORT_HALTED"))) << Errors();
    EXPECT_TRUE(adminService.Requests().empty());
}

}  // namespace
