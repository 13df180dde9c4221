#include "import/ImportBackend.h"

#include "import/MapiImportBackend.h"

std::unique_ptr<IImportBackend> CreateImportBackend() {
    return CreateMapiImportBackend();
}
