// Feeds arbitrary server answers to everything that reads them: the fault check, the result lookups
// of a batch answer and the upload answer.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tarvik/CheckFault.h"
#include "tarvik/Mailbox.h"
#include "tarvik/TarvikException.h"
#include "tarvik/Upload.h"
#include "tarvik/Vocabulary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    Tarvik::Mail::ParseUploadToken(text);
    std::optional<Tarvik::Xml::Document> answer = Tarvik::Xml::Document::Parse(text);
    if (!answer) {
        return 0;
    }
    answer->SetSelectionNamespaces(Tarvik::Rpc::ResponseNamespaces(true));
    try {
        Tarvik::CheckFault(*answer);
    } catch (const Tarvik::TarvikException&) {
    }
    Tarvik::Mail::Mailbox::HasFault(*answer);
    for (int64_t requestId : {0, 1, 2}) {
        for (auto lookup :
             {Tarvik::Mail::Mailbox::GetAddMsgResult, Tarvik::Mail::Mailbox::GetCreateContactResult,
              Tarvik::Mail::Mailbox::GetSetAppointmentResult, Tarvik::Mail::Mailbox::GetSetTaskResult}) {
            try {
                lookup(*answer, requestId);
            } catch (const Tarvik::TarvikException&) {
            }
        }
    }
    return 0;
}
