#pragma once
// The job file of a command-line run: an XML document whose root TVKImport lists import jobs
// (Import elements) and, by name, what they refer to:
//
//   <TVKImport>
//     <Import TargetAccount="anna" Server="main" Data="annas-files" Options="all"/>
//     <Import AuthAccount="admin" AdminPort="7071" AdminSSLEnabled="1" TargetAccount="bob" .../>
//     <Server name="main"><serverName>mail.example.com</serverName><port>443</port>
//       <sslEnabled>1</sslEnabled></Server>
//     <Account name="anna"><userName>anna@example.com</userName><password>...</password>
//       <organizerEmail>anna@old.example.com</organizerEmail></Account>
//     <Data name="annas-files"><PST>/home/anna/mail.pst</PST></Data>
//     <Options name="all"><importJunk>0</importJunk><startDate>1/31/2011</startDate>
//       <ADLookup><ADServer>ldap://dc1</ADServer><ADUser>...</ADUser></ADLookup></Options>
//   </TVKImport>
//
// Only Import elements with TargetAccount, Data, Server and Options, and with AuthAccount,
// AdminPort and AdminSSLEnabled all three or none, count. Flags are decimal numbers (not 0 = yes;
// other text = no); a missing or empty element takes its default. Values are read without the
// blanks around them, except passwords. A job whose settings cannot be used is refused with a text
// that says why; the console run skips it and goes on with the next.

#include <optional>
#include <string>
#include <vector>

#include "import/console/PasswordPrompt.h"
#include "runtime/ImportParams.h"
#include "xml/Document.h"

// The attribute values of the current Import element (empty when absent).
struct ImportNode {
    std::string targetAccount;
    std::string authAccount;
    std::string options;
    std::string server;
    std::string data;
    std::string adminPort;
    std::string adminSslEnabled;
};

class ConfigXMLParser {
  public:
    // Reads the job file. When it cannot be read at `path`, the file of the same name in
    // `startDirectory` (the directory the program was started in) is tried.
    ConfigXMLParser(const std::string& path, const std::string& startDirectory);

    // The file that was read, or the last one tried.
    const std::string& Path() const { return path_; }
    bool Loaded() const { return document_.has_value(); }

    // Checks every Import element and what it refers to: empty when the file is usable, else the
    // reason (naming the Import element and the reference). Afterwards the current job is the last.
    std::string Validate();

    size_t ImportCount() const { return imports_.size(); }
    // Makes Import element `index` (from 0) the current job.
    bool ReadImportNode(size_t index, std::string& errorText);
    const ImportNode& Current() const { return current_; }
    // "Import[2]": the current job, for messages.
    std::string CurrentLabel() const;

    // Fills the job record from the current job; asks for passwords the file does not hold. False
    // with the reason when the job cannot run.
    bool FillImportParams(ImportParams& params, const PasswordReader& readPassword, std::string& errorText);

    // The PST paths of the current job's Data element, in document order.
    std::vector<std::string> PstPaths() const;

    // The current job's IgnoreCoreDump option.
    bool IgnoreCoreDump() const;

    // The text of the first node `xpath` selects in the document, or "".
    std::string GetText(const std::string& xpath) const;

  private:
    bool Load(const std::string& path);
    std::string CheckReference(const std::string& attribute, const std::string& value);
    // The (trimmed) text of `element` inside the `kind` element named `name`.
    std::string Field(const char* kind, const std::string& name, const char* element) const;
    std::string RawField(const char* kind, const std::string& name, const char* element) const;
    bool Flag(const char* element, bool fallback) const;
    bool ReadDirectorySettings(ImportParams& params, const PasswordReader& readPassword,
                               std::string& errorText);
    bool ReadStartDate(ImportParams& params, std::string& errorText) const;

    std::string path_;
    std::string loadError_;
    std::optional<Tarvik::Xml::Document> document_;
    std::vector<Tarvik::Xml::Node> imports_;
    size_t currentIndex_ = 0;
    ImportNode current_;
};

// The path of `element` inside the `kind` element whose name attribute is `name`:
// TVKImport/Account[@name="anna"]/userName. Names with quotes are quoted safely.
std::string ReferencePath(const std::string& kind, const std::string& name, const std::string& element);

// The leading decimal integer of a text, as the C library reads one: blanks, a sign, digits; 0 when
// there is none, clamped to the 32-bit range.
int32_t LeadingInteger(const std::string& text);
