#pragma once
// Turns a SOAP fault in a response document into the matching exception of TarvikFaults.h. The
// document's selection namespaces must bind soap and l (as every response document's do).

#include "xml/Document.h"

namespace Tarvik {

// Returns when the document holds no fault code (a fault with a reason but no code is no fault).
// Otherwise throws: the class whose code matches without regard to case, carrying the canonical code
// and the localised text of that code; TarvikException with the server's reason and code for a code
// the program does not tell apart.
void CheckFault(const Xml::Document& response);

}  // namespace Tarvik
