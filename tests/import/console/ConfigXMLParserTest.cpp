// Job files: which Import elements count, what a job reads (defaults, flags, dates, accounts,
// passwords), how bad references are reported, and where the file is looked for.

#include "import/console/ConfigXMLParser.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "runtime/Log.h"
#include "runtime/Text.h"
#include "tests/support/TestSupport.h"

namespace {

using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

// A file with one server, three accounts, one set of PST files and the options given.
std::string JobFile(const std::string& imports, const std::string& options = "<Options name=\"o\"/>") {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<TVKImport>
)" + imports +
           R"(
  <Server name="s"><serverName> mail.example.com </serverName></Server>
  <Account name="anna"><userName>anna@example.com</userName><password> pw </password>
    <organizerEmail>anna@old.example.com</organizerEmail></Account>
  <Account name="admin"><userName>admin@example.com</userName><password>secret</password></Account>
  <Account name="nobody"><userName/></Account>
  <Data name="d"><PST>/data/one.pst</PST><PST>  /data/two.pst  </PST></Data>
  )" + options +
           R"(
</TVKImport>
)";
}

class ConfigXMLParserTest : public ::testing::Test {
  protected:
    void SetUp() override { OpenLogFile((dir_ / "run.log").string()); }
    void TearDown() override { CloseLogFile(); }

    ConfigXMLParser Parse(const std::string& content) {
        WriteFile(dir_ / "job.xml", content);
        return ConfigXMLParser((dir_ / "job.xml").string(), dir_.Path().string());
    }

    // Validates, makes Import[index] current and fills a fresh job record.
    bool Fill(ConfigXMLParser& parser, size_t index, ImportParams& params, std::string& error) {
        EXPECT_EQ(parser.Validate(), "");
        EXPECT_TRUE(parser.ReadImportNode(index, error));
        ResetImportParams(params);
        return parser.FillImportParams(
            params,
            [this](const std::string& prompt) {
                prompts.push_back(prompt);
                return std::string("typed");
            },
            error);
    }

    TempDir dir_;
    std::vector<std::string> prompts;
};

TEST_F(ConfigXMLParserTest, CountsOnlyCompleteImportElementsAndReadsTheirJobs) {
    ConfigXMLParser parser = Parse(JobFile(R"(
  <Import TargetAccount="anna" Server="s" Data="d" Options="o"/>
  <Import AuthAccount="admin" TargetAccount="anna" Server="s" Data="d" Options="o"/>
  <Import TargetAccount="anna" Server="s" Options="o"/>
  <Import AuthAccount="admin" AdminPort="0" AdminSSLEnabled="" TargetAccount="anna" Server="s" Data="d" Options="o"/>
  <Import AuthAccount="nobody" AdminPort="7071" AdminSSLEnabled="0" TargetAccount="anna" Server="s" Data="d" Options="o"/>)"));
    EXPECT_EQ(parser.Validate(), "");
    EXPECT_EQ(parser.ImportCount(), 3u);

    ImportParams params;
    std::string error;
    ASSERT_TRUE(Fill(parser, 0, params, error)) << error;
    EXPECT_FALSE(params.adminMode);
    EXPECT_EQ(params.serverName, "mail.example.com");
    EXPECT_EQ(params.targetAccount, "anna@example.com");
    EXPECT_EQ(params.authAccount, "anna@example.com");
    EXPECT_EQ(params.password, " pw ") << "passwords keep their blanks";
    EXPECT_TRUE(params.convertOrganizer);
    EXPECT_EQ(params.organizerAddresses.at("anna@example.com"), "anna@old.example.com");
    EXPECT_EQ(parser.PstPaths(), (std::vector<std::string>{"/data/one.pst", "/data/two.pst"}));

    // An administrator: port 0 means 443, an empty AdminSSLEnabled means yes; its own password.
    ASSERT_TRUE(Fill(parser, 1, params, error)) << error;
    EXPECT_TRUE(params.adminMode);
    EXPECT_EQ(params.authAccount, "admin@example.com");
    EXPECT_EQ(params.adminPort, 443);
    EXPECT_TRUE(params.adminSslEnabled);
    EXPECT_EQ(params.password, "secret");
    EXPECT_NE(ReadFile(dir_ / "run.log")
                  .find("Unable to get value of attribute AdminSSLEnabled.Setting to default."),
              std::string::npos);

    // An AuthAccount without a user name: no administrative mode; its (missing) password is asked for.
    ASSERT_TRUE(Fill(parser, 2, params, error)) << error;
    EXPECT_FALSE(params.adminMode);
    EXPECT_EQ(params.authAccount, "anna@example.com");
    EXPECT_EQ(params.password, "typed");
    EXPECT_EQ(prompts, std::vector<std::string>{FormatText("PROMPT_ENTER_TPW", "anna@example.com")});
}

TEST_F(ConfigXMLParserTest, FlagsAreNumbersAndMissingValuesTakeTheirDefaults) {
    struct Case {
        std::string options;
        bool importMails, importJunk, skipPartial, messageLogging, acceptInvalid;
    } cases[] = {
        {"", true, true, false, false, false},
        {"<importMails>true</importMails><importJunk>0</importJunk>", false, false, false, false, false},
        {"<importMails></importMails><importJunk> 2 </importJunk>", true, true, false, false, false},
        {"<importPartialMalis>0</importPartialMalis><messageLogging>-1</messageLogging>", true, true, true,
         true, false},
        {"<InvalidSSLOk>1</InvalidSSLOk><importMails>0x1</importMails>", false, true, false, false, true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.options);
        ConfigXMLParser parser =
            Parse(JobFile(R"(<Import TargetAccount="anna" Server="s" Data="d" Options="o"/>)",
                          "<Options name=\"o\">" + test.options + "</Options>"));
        ImportParams params;
        std::string error;
        ASSERT_TRUE(Fill(parser, 0, params, error)) << error;
        EXPECT_EQ(params.importMails, test.importMails);
        EXPECT_EQ(params.importJunk, test.importJunk);
        EXPECT_TRUE(params.importSentItems && params.importCalendar && params.ignorePreviouslyImported);
        EXPECT_EQ(params.skipPartialMessages, test.skipPartial);
        EXPECT_EQ(params.messageLogging, test.messageLogging);
        EXPECT_EQ(params.acceptInvalidCertificate, test.acceptInvalid);
        EXPECT_EQ(params.adminAcceptInvalidCertificate, test.acceptInvalid);
        EXPECT_FALSE(params.dateFilterEnabled);
    }
}

TEST_F(ConfigXMLParserTest, ServerPortAndSecurityDefaults) {
    struct Case {
        std::string server;
        int32_t port;
        bool ssl;
    } cases[] = {
        {"<serverName>h</serverName>", 443, true},
        {"<serverName>h</serverName><port>0</port><sslEnabled>0</sslEnabled>", 443, false},
        {"<serverName>h</serverName><port>8080</port><sslEnabled>1</sslEnabled>", 8080, true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.server);
        std::string content = JobFile(R"(<Import TargetAccount="anna" Server="t" Data="d" Options="o"/>)");
        content.replace(content.find("</TVKImport>"), 0, "<Server name=\"t\">" + test.server + "</Server>\n");
        ConfigXMLParser parser = Parse(content);
        ImportParams params;
        std::string error;
        ASSERT_TRUE(Fill(parser, 0, params, error)) << error;
        EXPECT_EQ(params.port, test.port);
        EXPECT_EQ(params.sslEnabled, test.ssl);
    }
    EXPECT_NE(
        ReadFile(dir_ / "run.log")
            .find("Unable to get text for node TVKImport/Server[@name=\"t\"]/sslEnabled.Setting to default."),
        std::string::npos);
}

TEST_F(ConfigXMLParserTest, StartDatesMustBeRealDaysInThePast) {
    struct Case {
        std::string text;
        bool accepted;
        uint64_t fileTime;
        std::string errorKey;
    } cases[] = {
        {"12/31/2011", true, 129697632000000000, ""},  // 2011-12-31 00:00 UTC
        {" 2/29/2012 ", true, 129749472000000000, ""},    {"2/30/2011", false, 0, "ERR_INVALID_STARTDATE"},
        {"2/29/2011", false, 0, "ERR_INVALID_STARTDATE"}, {"13/1/2011", false, 0, "ERR_INVALID_STARTDATE"},
        {"1/2011", false, 0, "ERR_INVALID_STARTDATE"},    {"1/1/2011/1", false, 0, "ERR_INVALID_STARTDATE"},
        {"a/b/c", false, 0, "ERR_INVALID_STARTDATE"},     {"1/1/1600", false, 0, "ERR_INVALID_STARTDATE"},
        {"1/1/2999", false, 0, "ERR_STARTDATE_NOFUTURE"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.text);
        ConfigXMLParser parser =
            Parse(JobFile(R"(<Import TargetAccount="anna" Server="s" Data="d" Options="o"/>)",
                          "<Options name=\"o\"><startDate>" + test.text + "</startDate></Options>"));
        ImportParams params;
        std::string error;
        EXPECT_EQ(Fill(parser, 0, params, error), test.accepted);
        EXPECT_EQ(params.dateFilterEnabled, test.accepted);
        if (test.accepted) {
            EXPECT_EQ(params.startDate, test.fileTime);
        } else {
            EXPECT_EQ(error.find(LookupText(test.errorKey)), 0u) << error;
        }
    }
}

TEST_F(ConfigXMLParserTest, ProblemsNameTheImportElementAndWhatItRefersTo) {
    struct Case {
        std::string content;
        std::string expected;
    } cases[] = {
        {JobFile(R"(<Import TargetAccount="carl" Server="s" Data="d" Options="o"/>)"),
         "Import[1] TargetAccount=\"carl\": " + LookupText("ERR_ACCOUNTNODE") + "carl"},
        {JobFile(R"(<Import TargetAccount="anna" Server="s" Data="none" Options="o"/>)"),
         "Import[1] Data=\"none\": " + LookupText("ERR_DATA_NODE")},
        {JobFile(R"(<Import TargetAccount="anna" Server="x" Data="d" Options="o"/>)"),
         "Import[1] Server=\"x\": " + LookupText("ERR_SERVER_NODE")},
        {JobFile(R"(<Import TargetAccount="anna" Server="s" Data="d" Options="o"/>)",
                 "<Options name=\"o\"><ADLookup><ADUser>u</ADUser></ADLookup></Options>"),
         "Import[1] Options=\"o\": " + LookupText("ERR_OPTIONS_NODE") + "o"},
        {JobFile(R"(<Import AuthAccount="admin" TargetAccount="anna" Server="s" Data="d" Options="o"/>)"),
         "No import node found"},
        {"<Jobs><Import TargetAccount=\"anna\" Server=\"s\" Data=\"d\" Options=\"o\"/></Jobs>",
         LookupText("ERR_GET_DOCELEMENT")},
    };
    for (const Case& test : cases) {
        ConfigXMLParser parser = Parse(test.content);
        EXPECT_EQ(parser.Validate(), test.expected);
    }

    ConfigXMLParser broken = Parse("<TVKImport><Import></TVKImport>");
    std::string error = broken.Validate();
    EXPECT_EQ(error.find(LookupText("ERR_INIT_XMLDOM") + "\n" + (dir_ / "job.xml").string() + ": "), 0u)
        << error;
    EXPECT_NE(error.find("line 1"), std::string::npos) << "the parser says where: " << error;
}

TEST_F(ConfigXMLParserTest, AJobWithoutServerNameOrTargetUserIsRefused) {
    std::string content = JobFile(R"(
  <Import TargetAccount="anna" Server="blank" Data="d" Options="o"/>
  <Import TargetAccount="nobody" Server="s" Data="d" Options="o"/>)");
    content.replace(content.find("</TVKImport>"), 0, "<Server name=\"blank\"><serverName/></Server>\n");
    ConfigXMLParser parser = Parse(content);
    ImportParams params;
    std::string error;
    EXPECT_FALSE(Fill(parser, 0, params, error));
    EXPECT_EQ(error, LookupText("ERR_GET_SERVERNAME"));
    EXPECT_FALSE(Fill(parser, 1, params, error));
    EXPECT_EQ(error, LookupText("ERR_GET_TARGETACCT"));
}

TEST_F(ConfigXMLParserTest, NamesWithQuotesAreLookedUpSafely) {
    std::string content = JobFile(R"(<Import TargetAccount='a"b&apos;c' Server="s" Data="d" Options="o"/>)");
    content.replace(
        content.find("</TVKImport>"), 0,
        "<Account name='a\"b&apos;c'><userName>quoted@example.com</userName><password>x</password>"
        "</Account>\n");
    ConfigXMLParser parser = Parse(content);
    ImportParams params;
    std::string error;
    ASSERT_TRUE(Fill(parser, 0, params, error)) << error;
    EXPECT_EQ(params.targetAccount, "quoted@example.com");
    EXPECT_EQ(ReferencePath("Account", "it's", "userName"), "TVKImport/Account[@name=\"it's\"]/userName");
}

TEST_F(ConfigXMLParserTest, ADirectoryAccountWithoutPasswordIsAskedForAndCheckedAtOnce) {
    std::string server = "ldap://127.0.0.1:" + std::to_string(TestSupport::FreePort());
    ConfigXMLParser parser =
        Parse(JobFile(R"(<Import TargetAccount="anna" Server="s" Data="d" Options="o"/>)",
                      "<Options name=\"o\"><ADLookup><ADServer>" + server +
                          "</ADServer><ADUser>directory-reader</ADUser></ADLookup></Options>"));
    ImportParams params;
    params.adUser = "left-over";
    std::string error;
    EXPECT_FALSE(Fill(parser, 0, params, error));
    EXPECT_EQ(prompts, std::vector<std::string>{LookupText("PROMPT_ENTER_ADPW")});
    EXPECT_EQ(error.find(LookupText("ERR_OPEN_ADSEARCH")), 0u) << error;
    EXPECT_EQ(params.adServer, server);
    EXPECT_EQ(params.adPassword, "");
}

TEST_F(ConfigXMLParserTest, AFileMovedAwayIsFoundInTheStartDirectory) {
    WriteFile(dir_ / "moved.xml",
              JobFile(R"(<Import TargetAccount="anna" Server="s" Data="d" Options="o"/>)"));
    ConfigXMLParser parser("/no/such/folder/moved.xml", dir_.Path().string());
    EXPECT_TRUE(parser.Loaded());
    EXPECT_EQ(parser.Path(), (dir_ / "moved.xml").string());
    EXPECT_EQ(parser.Validate(), "");
    EXPECT_NE(ReadFile(dir_ / "run.log").find("New Config XML Path : " + (dir_ / "moved.xml").string()),
              std::string::npos);

    ConfigXMLParser missing("/no/such/folder/gone.xml", dir_.Path().string());
    EXPECT_FALSE(missing.Loaded());
    EXPECT_NE(missing.Validate().find("No such file or directory:" + (dir_ / "gone.xml").string()),
              std::string::npos);
}

// Job files and PST files are only read: read-only files are fine, a file being written is not.
TEST_F(ConfigXMLParserTest, AFileIsReadWithoutWriteAccessButNotWhileBeingWritten) {
    WriteFile(dir_ / "job.xml", JobFile(R"(<Import TargetAccount="anna" Server="s" Data="d" Options="o"/>)"));
    chmod((dir_ / "job.xml").c_str(), 0400);
    EXPECT_EQ(ConfigXMLParser((dir_ / "job.xml").string(), "/nowhere").Validate(), "");

    int writer = open((dir_ / "job.xml").c_str(), O_RDONLY);
    ASSERT_EQ(flock(writer, LOCK_EX), 0);
    EXPECT_NE(ConfigXMLParser((dir_ / "job.xml").string(), "/nowhere")
                  .Validate()
                  .find(LookupText("ERR_FILE_IN_USE")),
              std::string::npos);
    close(writer);

    EXPECT_NE(ConfigXMLParser(dir_.Path().string(), "/nowhere").Validate().find("Is a directory"),
              std::string::npos);
}

}  // namespace
