#include "mapi/FolderKind.h"

#include <strings.h>

#include "mapi/platform/PropTags.h"

namespace Tarvik::MAPI {

int FolderKindOfClass(const std::string& containerClass) {
    const char* name = containerClass.c_str();
    if (strcasecmp(name, "IPF.Contact") == 0) {
        return kContactFolderKind;
    }
    if (strcasecmp(name, "IPF.Appointment") == 0) {
        return kAppointmentFolderKind;
    }
    if (strcasecmp(name, "IPF.Task") == 0) {
        return kTaskFolderKind;
    }
    return kMailFolderKind;
}

int FolderKind(const Folder& folder) {
    SPropValue containerClass;
    if (folder.Get() == nullptr ||
        FAILED(HrGetOneProp(*folder.Get(), PR_CONTAINER_CLASS_W, containerClass))) {
        return kMailFolderKind;
    }
    return FolderKindOfClass(containerClass.AsText());
}

}  // namespace Tarvik::MAPI
