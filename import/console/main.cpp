// tvkimport: imports the PST files of a job file into accounts on a Tarvik server.

#include <string>
#include <vector>

#include "import/ImportBackend.h"
#include "import/console/CommandLineApp.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::unique_ptr<IImportBackend> backend = CreateImportBackend();
    return RunTvkImport(arguments, *backend);
}
