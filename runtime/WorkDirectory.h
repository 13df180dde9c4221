#pragma once
// The work directory: the run log, progress logs, request dumps, message copies and crash reports
// of every import go there. It holds private mail, so it is the user's alone (mode 0700), and it
// must survive a reboot because resuming an import depends on the progress logs inside it.

#include <stdexcept>
#include <string>

// The directory cannot be used; the message names the path and says why.
class WorkDirectoryError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Where the work directory is: $TVKIMPORT_WORKDIR when set, else
// ${XDG_STATE_HOME:-~/.local/state}/tvkimport/REROZAImportWizard.
std::string WorkDirectoryPath();

// Makes sure `path` (by default WorkDirectoryPath()) is a directory of the current user with mode
// 0700, creating it and its missing parents (0700) as needed; an existing one is narrowed to 0700.
// Refuses a symbolic link, a non-directory and a directory owned by someone else. Returns the path.
std::string PrepareWorkDirectory();
std::string PrepareWorkDirectory(const std::string& path);
