#include "import/console/ConfigXMLParser.h"

#include <pwd.h>
#include <strings.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <exception>

#include "import/console/ReadableFile.h"
#include "mapi/LdapDirectory.h"
#include "runtime/Log.h"
#include "runtime/Text.h"

namespace {

using Tarvik::Xml::Document;
using Tarvik::Xml::Node;

constexpr const char* importSelection =
    "Import[(@AuthAccount and @AdminPort and @AdminSSLEnabled and @Options and @TargetAccount and @Data and "
    "@Server) or (not(@AuthAccount) and @Options and @TargetAccount and @Data and @Server)]";

// A port of 0 (or none) means the HTTPS port.
constexpr int32_t defaultPort = 443;

std::string Trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::string FileNamePart(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// An XPath string literal for any text: quoted with whichever quote it lacks, else built with concat.
std::string XPathLiteral(const std::string& text) {
    if (text.find('"') == std::string::npos) {
        return "\"" + text + "\"";
    }
    if (text.find('\'') == std::string::npos) {
        return "'" + text + "'";
    }
    std::string literal = "concat(";
    size_t start = 0;
    for (size_t quote; (quote = text.find('"', start)) != std::string::npos; start = quote + 1) {
        literal += "\"" + text.substr(start, quote - start) + "\", '\"', ";
    }
    return literal + "\"" + text.substr(start) + "\")";
}

std::string CurrentUserName() {
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_name != nullptr ? entry->pw_name : "";
}

// A whole decimal number with optional blanks around it.
std::optional<int64_t> WholeNumber(const std::string& text) {
    std::string trimmed = Trimmed(text);
    if (trimmed.empty() || trimmed.size() > 9 ||
        trimmed.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::stoll(trimmed);
}

bool IsLeapYear(int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int64_t year, int64_t month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    int64_t era = (year >= 0 ? year : year - 399) / 400;
    int64_t yearOfEra = year - era * 400;
    int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// 100-nanosecond intervals from 1601-01-01 to 1970-01-01.
constexpr int64_t fileTimeOf1970 = 116444736000000000;
constexpr int64_t ticksPerSecond = 10000000;

// "month/day/year" as the file time of that day at 00:00 UTC; nothing when it is no such date.
std::optional<int64_t> StartDateFileTime(const std::string& text) {
    size_t first = text.find('/');
    size_t second = first == std::string::npos ? first : text.find('/', first + 1);
    if (second == std::string::npos || text.find('/', second + 1) != std::string::npos) {
        return std::nullopt;
    }
    std::optional<int64_t> month = WholeNumber(text.substr(0, first));
    std::optional<int64_t> day = WholeNumber(text.substr(first + 1, second - first - 1));
    std::optional<int64_t> year = WholeNumber(text.substr(second + 1));
    // File times begin in 1601; the calendars of the program end with year 30827.
    if (!month || !day || !year || *year < 1601 || *year > 30827 || *month < 1 || *month > 12 || *day < 1 ||
        *day > DaysInMonth(*year, *month)) {
        return std::nullopt;
    }
    return DaysFromCivil(*year, *month, *day) * 86400 * ticksPerSecond + fileTimeOf1970;
}

int64_t FileTimeNow() {
    return static_cast<int64_t>(time(nullptr)) * ticksPerSecond + fileTimeOf1970;
}

}  // namespace

std::string ReferencePath(const std::string& kind, const std::string& name, const std::string& element) {
    return "TVKImport/" + kind + "[@name=" + XPathLiteral(name) + "]/" + element;
}

int32_t LeadingInteger(const std::string& text) {
    long long value = strtoll(text.c_str(), nullptr, 10);
    return static_cast<int32_t>(value < INT32_MIN ? INT32_MIN : value > INT32_MAX ? INT32_MAX : value);
}

ConfigXMLParser::ConfigXMLParser(const std::string& path, const std::string& startDirectory) : path_(path) {
    if (Load(path)) {
        return;
    }
    LogLine("Again searching the file in the current working directory : %s", path.c_str());
    std::string fallback = startDirectory + "/" + FileNamePart(path);
    LogLine("New Config XML Path : %s", fallback.c_str());
    if (fallback == path) {
        return;
    }
    // The reason the given path failed stays first: it is the file the user named.
    std::string firstError = loadError_;
    path_ = fallback;
    if (!Load(path_)) {
        loadError_ = firstError + "\n" + loadError_;
    }
}

bool ConfigXMLParser::Load(const std::string& path) {
    std::string error;
    std::optional<ReadableFile> file = ReadableFile::Open(path, error);
    if (!file) {
        LogLine("%s:%s", error.c_str(), path.c_str());
        loadError_ = error + ":" + path;
        return false;
    }
    std::string text;
    try {
        text = file->ReadAll();
    } catch (const std::exception& failure) {
        loadError_ = std::string(failure.what()) + ":" + path;
        return false;
    }
    document_ = Document::Parse(text, &error);
    if (!document_) {
        LogLine("Provided configuration file is not in correct format.");
        LogLine("%s: %s", path.c_str(), error.c_str());
        loadError_ = path + ": " + error;
    }
    // A file that is there but is no XML is not looked for elsewhere.
    return true;
}

std::string ConfigXMLParser::Validate() {
    if (!document_) {
        return LookupText("ERR_INIT_XMLDOM") + "\n" + loadError_;
    }
    Node root = document_->Root();
    if (!root || root.Name() != "TVKImport") {
        return LookupText("ERR_GET_DOCELEMENT");
    }
    imports_ = root.SelectNodes(importSelection);
    if (imports_.empty()) {
        LogLine("Invalid file : No import node in the XML");
        return "No import node found";
    }
    for (size_t index = 0; index < imports_.size(); ++index) {
        currentIndex_ = index;
        current_ = {};
        std::vector<std::pair<std::string, std::string>> attributes = imports_[index].Attributes();
        if (attributes.empty()) {
            return LookupText("ERR_IMPORTNODE_ATT");
        }
        for (const auto& [name, value] : attributes) {
            if (std::string error = CheckReference(name, value); !error.empty()) {
                return CurrentLabel() + " " + name + "=" + XPathLiteral(value) + ": " + error;
            }
        }
    }
    return {};
}

// Checks one attribute of the current Import element and notes its value.
std::string ConfigXMLParser::CheckReference(const std::string& attribute, const std::string& value) {
    auto exists = [this](const char* kind, const std::string& name, const char* element) {
        return static_cast<bool>(document_->SelectSingleNode(ReferencePath(kind, name, element)));
    };
    ImportNode& current = current_;
    if (attribute == "AuthAccount" || attribute == "TargetAccount") {
        (attribute == "AuthAccount" ? current.authAccount : current.targetAccount) = value;
        return exists("Account", value, "userName") ? "" : LookupText("ERR_ACCOUNTNODE") + value;
    }
    if (attribute == "Options") {
        current.options = value;
        bool valid = document_->SelectSingleNode("TVKImport/Options[@name=" + XPathLiteral(value) + "]") &&
                     (!exists("Options", value, "ADLookup") || exists("Options", value, "ADLookup/ADServer"));
        return valid ? "" : LookupText("ERR_OPTIONS_NODE") + value;
    }
    if (attribute == "Data") {
        current.data = value;
        return exists("Data", value, "PST") ? "" : LookupText("ERR_DATA_NODE");
    }
    if (attribute == "Server") {
        current.server = value;
        return exists("Server", value, "serverName") ? "" : LookupText("ERR_SERVER_NODE");
    }
    if (attribute == "AdminPort") {
        current.adminPort = value;
    } else if (attribute == "AdminSSLEnabled") {
        current.adminSslEnabled = value;
    }
    return {};
}

bool ConfigXMLParser::ReadImportNode(size_t index, std::string& errorText) {
    if (index >= imports_.size()) {
        errorText = LookupText("ERR_IMPORTNODE");
        return false;
    }
    currentIndex_ = index;
    current_ = {};
    auto attribute = [&](const char* name) { return imports_[index].Attribute(name).value_or(""); };
    current_.targetAccount = attribute("TargetAccount");
    current_.authAccount = attribute("AuthAccount");
    current_.options = attribute("Options");
    current_.server = attribute("Server");
    current_.data = attribute("Data");
    current_.adminPort = attribute("AdminPort");
    current_.adminSslEnabled = attribute("AdminSSLEnabled");
    return true;
}

std::string ConfigXMLParser::CurrentLabel() const {
    return "Import[" + std::to_string(currentIndex_ + 1) + "]";
}

std::string ConfigXMLParser::GetText(const std::string& xpath) const {
    return document_ ? document_->SelectSingleNode(xpath).Text() : std::string();
}

std::string ConfigXMLParser::RawField(const char* kind, const std::string& name, const char* element) const {
    return GetText(ReferencePath(kind, name, element));
}

std::string ConfigXMLParser::Field(const char* kind, const std::string& name, const char* element) const {
    return Trimmed(RawField(kind, name, element));
}

bool ConfigXMLParser::Flag(const char* element, bool fallback) const {
    std::string text = Field("Options", current_.options, element);
    return text.empty() ? fallback : LeadingInteger(text) != 0;
}

bool ConfigXMLParser::IgnoreCoreDump() const {
    return Flag("IgnoreCoreDump", false);
}

std::vector<std::string> ConfigXMLParser::PstPaths() const {
    std::vector<std::string> paths;
    if (document_) {
        for (Node node : document_->SelectNodes(ReferencePath("Data", current_.data, "PST"))) {
            paths.push_back(Trimmed(node.Text()));
        }
    }
    return paths;
}

bool ConfigXMLParser::FillImportParams(ImportParams& params, const PasswordReader& readPassword,
                                       std::string& errorText) {
    params.importMails = Flag("importMails", true);
    params.importSentItems = Flag("importSentItems", true);
    params.importContacts = Flag("importContacts", true);
    params.importCalendar = Flag("importCalendarItem", true);
    params.importTasks = Flag("importTasks", true);
    params.importJunk = Flag("importJunk", true);
    params.importDeletedItems = Flag("importDeletedItems", true);
    params.ignorePreviouslyImported = Flag("ignorePreviouslyImported", true);
    params.skipPartialMessages = !Flag("importPartialMalis", true);
    params.importPrivateAppointments = Flag("importPrivateAppts", true);
    params.messageLogging = Flag("messageLogging", false);
    params.acceptInvalidCertificate = params.adminAcceptInvalidCertificate = Flag("InvalidSSLOk", false);

    params.serverName = Field("Server", current_.server, "serverName");
    if (params.serverName.empty()) {
        LogLine("Unable to get Tarvik Server Name from the XML.");
        errorText = LookupText("ERR_GET_SERVERNAME");
        return false;
    }
    int32_t port = LeadingInteger(Field("Server", current_.server, "port"));
    params.port = port == 0 ? defaultPort : port;
    std::string ssl = Field("Server", current_.server, "sslEnabled");
    if (ssl.empty()) {
        LogLine("Unable to get text for node %s.Setting to default.",
                ReferencePath("Server", current_.server, "sslEnabled").c_str());
    }
    params.sslEnabled = ssl.empty() || LeadingInteger(ssl) != 0;

    params.targetAccount = Field("Account", current_.targetAccount, "userName");
    if (params.targetAccount.empty()) {
        LogLine("Unable to get Target Account from the XML.");
        errorText = LookupText("ERR_GET_TARGETACCT");
        return false;
    }
    std::string authUser = Field("Account", current_.authAccount, "userName");
    params.adminMode = !authUser.empty();
    if (params.adminMode) {
        params.authAccount = authUser;
        int32_t adminPort = LeadingInteger(current_.adminPort);
        params.adminPort = adminPort == 0 ? defaultPort : adminPort;
        std::string adminSsl = Trimmed(current_.adminSslEnabled);
        if (adminSsl.empty()) {
            LogLine("Unable to get value of attribute AdminSSLEnabled.Setting to default.");
        }
        params.adminSslEnabled = adminSsl.empty() || LeadingInteger(adminSsl) != 0;
    } else {
        params.authAccount = params.targetAccount;
    }

    const std::string& passwordOwner =
        current_.authAccount.empty() ? current_.targetAccount : current_.authAccount;
    params.password = RawField("Account", passwordOwner, "password");
    if (params.password.empty()) {
        params.password = readPassword(FormatText("PROMPT_ENTER_TPW", params.authAccount));
    }

    std::string organizer = Field("Account", current_.targetAccount, "organizerEmail");
    params.convertOrganizer = !organizer.empty();
    if (params.convertOrganizer) {
        params.organizerAddresses[params.targetAccount] = organizer;
    }
    return ReadDirectorySettings(params, readPassword, errorText) && ReadStartDate(params, errorText);
}

bool ConfigXMLParser::ReadDirectorySettings(ImportParams& params, const PasswordReader& readPassword,
                                            std::string& errorText) {
    params.adServer = Field("Options", current_.options, "ADLookup/ADServer");
    params.directoryLookupDeclined = false;
    // Credentials of an earlier job must not be offered to this job's directory server.
    params.adUser.clear();
    params.adPassword.clear();
    std::string user = Field("Options", current_.options, "ADLookup/ADUser");
    if (user.empty() || strcasecmp(user.c_str(), CurrentUserName().c_str()) == 0) {
        return true;
    }
    params.adUser = user;
    params.adPassword = RawField("Options", current_.options, "ADLookup/ADPassword");
    if (!params.adPassword.empty()) {
        return true;
    }
    std::string typed = readPassword(LookupText("PROMPT_ENTER_ADPW"));
    try {
        Tarvik::MAPI::LdapDirectory directory({params.adServer, user, typed});
    } catch (const Tarvik::MAPI::DirectoryError& error) {
        LogLine("Failed to open Active Directory Search Object. %s", error.what());
        errorText = LookupText("ERR_OPEN_ADSEARCH") + "\n" + error.what();
        return false;
    }
    params.adPassword = typed;
    return true;
}

bool ConfigXMLParser::ReadStartDate(ImportParams& params, std::string& errorText) const {
    std::string text = Field("Options", current_.options, "startDate");
    if (text.empty()) {
        return true;
    }
    std::optional<int64_t> date = StartDateFileTime(text);
    if (!date) {
        LogLine("Specified Start Date is not a valid.");
        errorText = LookupText("ERR_INVALID_STARTDATE") + " (" + text + ")";
        return false;
    }
    if (*date > FileTimeNow()) {
        LogLine("Specified Start Date is not valid.The Start Date must not be in future.\n");
        errorText = LookupText("ERR_STARTDATE_NOFUTURE") + " (" + text + ")";
        return false;
    }
    params.dateFilterEnabled = true;
    params.startDate = static_cast<uint64_t>(*date);
    return true;
}
