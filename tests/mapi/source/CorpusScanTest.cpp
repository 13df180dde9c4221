// The scanner over the real PST files of the shared corpus: every readable file is walked with a
// recording handler and the kinds it dispatches agree with the corpus MANIFEST (counted as the PST
// library counts the items of the visible folders); files that cannot be read fail with an error.

#include <gtest/gtest.h>

#include "mapi/HRException.h"
#include "mapi/MailboxScanner.h"
#include "mapi/TemporaryProfile.h"
#include "tests/mapi/source/SourceFixture.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace Tarvik::MAPI;
using namespace SourceFixture;

struct Expected {
    const char* file;
    std::map<std::string, int> kinds;  // handler operation -> items
    int64_t opened;                    // items opened, including those no operation takes
};

const std::string kMail = "message";
const std::string kContact = "contact";
const std::string kCalendar = "appointment-or-task";

TEST(CorpusScan, KindsDispatchedAgreeWithTheManifest) {
    TVK_REQUIRE_CORPUS();
    const Expected files[] = {
        {"02-tika-testPST.pst", {{kMail, 7}}, 7},
        {"03-tika-testPST_variousBodyTypes.pst", {{kMail, 4}}, 4},
        {"04-rubymsg-attachAndInline.pst", {{kMail, 1}}, 1},
        {"05-rubymsg-msgInMsg.pst", {{kMail, 1}}, 1},
        {"06-rubymsg-200-recipients.pst", {{kMail, 1}}, 1},
        {"07-pstsdk-submessage.pst", {{kMail, 1}}, 1},
        {"08-pstsdk-sample2-ansi.pst", {{kMail, 1}}, 1},
        {"09-tghanem-user1-testlab.pst", {{kMail, 6}}, 6},
        {"10-gopst-32bit-enron-ansi.pst", {{kCalendar, 1}}, 1},
        {"13-aspose-contacts72.pst", {{kContact, 72}}, 72},
        {"14-javalibpst-dist-list.pst", {{kCalendar, 1}, {kContact, 2}}, 3},
        {"15-javalibpst-passworded.pst", {{kContact, 2}}, 2},
        {"18-aspose-Test_part1.pst", {{kMail, 31}, {kCalendar, 9}, {kContact, 21}}, 61},
        // Delivery reports are opened but are no kind of item the import takes.
        {"24-aspose-passwordprotected-chinese.pst", {{kMail, 11}}, 18},
    };
    for (const auto& expected : files) {
        SCOPED_TRACE(expected.file);
        RecordingProgress progress;
        ResetJob(&progress);
        GetImportParams().errorThreshold = 0;
        auto pst = Open(*TestSupport::CorpusDir() / expected.file);
        RecordingHandler walkHandler;
        MailboxScanner walk(true);
        ScanFolders(pst->store, walk, *pst->session.Get(), walkHandler);
        RecordingHandler handler;
        MailboxScanner scanner;
        scanner.Scan(*pst->session.Get(), pst->store, handler, walkHandler.folders);
        EXPECT_EQ(handler.kinds, expected.kinds);
        EXPECT_EQ(progress.steps, expected.opened);
        EXPECT_TRUE(progress.warnings.empty()) << progress.warnings.front();
        DeleteTemporaryProfile();
    }
}

TEST(CorpusScan, FilesThatAreNoReadableStoreFailWithAnError) {
    TVK_REQUIRE_CORPUS();
    for (const char* file : {"27-corrupt-index-backpointer.pst", "28-corrupt-header-crc.pst",
                             "29-truncated-in-header.bin", "30-not-a-pst-mbox.pst"}) {
        SCOPED_TRACE(file);
        ResetJob();
        try {
            auto pst = Open(*TestSupport::CorpusDir() / file);
            RecordingHandler handler;
            MailboxScanner walk(true);
            ScanFolders(pst->store, walk, *pst->session.Get(), handler);
            ADD_FAILURE() << "walked";
        } catch (const HRException& error) {
            EXPECT_TRUE(error.ErrorCode() == MAPI_E_CORRUPT_STORE || error.ErrorCode() == MAPI_E_CORRUPT_DATA)
                << std::hex << error.ErrorCode();
        }
        DeleteTemporaryProfile();
    }
    // An OST keeps its visible tree where only Exchange's provider finds it.
    ResetJob();
    auto ost = Open(*TestSupport::CorpusDir() / "17-aspose-SampleOstFile.ost");
    RecordingHandler handler;
    MailboxScanner walk(true);
    try {
        ScanFolders(ost->store, walk, *ost->session.Get(), handler);
        ADD_FAILURE() << "walked";
    } catch (const FolderNotFoundException& error) {
        EXPECT_EQ(error.ErrorCode(), MAPI_E_NOT_FOUND);
    }
    DeleteTemporaryProfile();
}

}  // namespace
