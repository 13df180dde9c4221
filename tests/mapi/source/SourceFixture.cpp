#include "tests/mapi/source/SourceFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "mapi/FolderIterator.h"
#include "mapi/TemporaryProfile.h"
#include "mapi/platform/PropTags.h"
#include "runtime/Text.h"
#include "tests/support/TestSupport.h"

namespace SourceFixture {

namespace fs = std::filesystem;
using namespace Tarvik::MAPI;

namespace {

TestSupport::TempDir& Scratch() {
    static TestSupport::TempDir dir;
    return dir;
}

}  // namespace

fs::path BuildPst(const std::string& name) {
    static std::map<std::string, fs::path> built;
    if (auto it = built.find(name); it != built.end()) {
        return it->second;
    }
    fs::path out = Scratch() / (name + ".pst");
    auto result = TestSupport::RunCommand(
        {PSTGEN_PATH, (TestSupport::SourceDir() / "tests/mapi/fixtures" / (name + ".json")).string(),
         out.string()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    built[name] = out;
    return out;
}

void ResetJob(IImportProgress* progress) {
    // Profiles go to a settings file of the test's own, never the user's.
    static bool privateSettings = [] {
        setenv("TVKIMPORT_REGISTRY", (Scratch() / "registry.ini").c_str(), 1);
        return true;
    }();
    (void)privateSettings;
    static bool initialised = SUCCEEDED(MAPIInitialize(MAPI_MULTITHREAD_NOTIFICATIONS));
    (void)initialised;
    static bool texts = [] {
        LoadTextTable(TextLanguage::Default);
        return true;
    }();
    (void)texts;
    ImportParams& job = GetImportParams();
    ResetImportParams(job);
    job.restrictionsDisabled = false;
    job.progress = progress;
    job.workDirectory = Scratch().Path().string();
    job.errorThreshold = 3;
    job.startDate = 0;
    ImportCancelFlag() = false;
}

std::unique_ptr<OpenedPst> Open(const fs::path& pst) {
    ImportParams& job = GetImportParams();
    EXPECT_TRUE(CreateTemporaryProfile(pst.string(), true));
    job.profileName = job.tempProfileName;
    auto opened = std::make_unique<OpenedPst>();
    opened->session.Logon(job.profileName);
    opened->session.OpenDefaultStore(opened->store);
    return opened;
}

Folder FindFolder(Store& store, const std::string& path) {
    Folder folder;
    store.OpenRootFolder(folder);
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('/', start);
        std::string name = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        FolderIterator children;
        folder.GetFolderIterator(children);
        Folder child;
        bool found = false;
        while (!found && children.GetNext(child)) {
            found = child.Name() == name;
        }
        EXPECT_TRUE(found) << "no folder " << name << " in " << path;
        folder = child;
        start = end == std::string::npos ? path.size() : end + 1;
    }
    return folder;
}

std::string SubjectOf(IMAPISession& session, const EntryId& entryId) {
    uint32_t type = 0;
    std::unique_ptr<IMAPIProp> object;
    SPropValue subject;
    if (FAILED(session.OpenEntry(entryId, MAPI_BEST_ACCESS, type, object))) {
        return "?";
    }
    if (SUCCEEDED(HrGetOneProp(*object, PR_SUBJECT_W, subject)) ||
        SUCCEEDED(HrGetOneProp(*object, PR_DISPLAY_NAME_W, subject))) {
        return subject.AsText();
    }
    return "";
}

bool RecordingHandler::OnEnterFolder(Folder& folder, Folder&) {
    calls.push_back("enter " + folder.Path());
    folders.push_back(folder);
    return std::find(notEntered.begin(), notEntered.end(), folder.Path()) == notEntered.end();
}

void RecordingHandler::OnLeaveFolder(Folder& folder) {
    calls.push_back("leave " + folder.Path());
}

bool RecordingHandler::ShouldImport(const std::string& searchKey) {
    bool known = std::find(knownKeys.begin(), knownKeys.end(), searchKey) != knownKeys.end();
    if (!known) {
        importedKeys.push_back(searchKey);
    }
    return !known;
}

void RecordingHandler::Item(const char* operation, Message& message) {
    SPropValue name;
    if (FAILED(HrGetOneProp(*message.Get(), PR_SUBJECT_W, name))) {
        HrGetOneProp(*message.Get(), PR_DISPLAY_NAME_W, name);
    }
    calls.push_back(std::string(operation) + " " + (name.Type() == PT_UNICODE ? name.AsText() : ""));
    ++kinds[operation];
}

void RecordingHandler::OnNewMessage(Message& message, Folder&) {
    Item("message", message);
}
void RecordingHandler::OnNewContact(Message& message, Folder&) {
    Item("contact", message);
}
void RecordingHandler::OnNewAppointmentOrTask(Message& message, Folder&) {
    Item("appointment-or-task", message);
}
void RecordingHandler::OnNewMeetingMessage(Message& message, Folder&) {
    Item("meeting", message);
}

}  // namespace SourceFixture
