#pragma once
// The backend of this build: the temporary MAPI profile of a PST file, the MAPI source over it and
// the import engine (MapiMessageImporter) that imports from it.

#include "import/ImportBackend.h"

std::unique_ptr<IImportBackend> CreateMapiImportBackend();
