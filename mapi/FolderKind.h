#pragma once
// The kind of a folder from its container class, as the folder-tree replicator numbers them.

#include "mapi/Folder.h"

namespace Tarvik::MAPI {

inline constexpr int kMailFolderKind = 1;
inline constexpr int kContactFolderKind = 3;
inline constexpr int kAppointmentFolderKind = 5;
inline constexpr int kTaskFolderKind = 6;

// "IPF.Contact" -> 3, "IPF.Appointment" -> 5, "IPF.Task" -> 6 (ignoring case); anything else, or
// no class, 1.
int FolderKind(const Folder& folder);
int FolderKindOfClass(const std::string& containerClass);

}  // namespace Tarvik::MAPI
