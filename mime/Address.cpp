#include "mime/Address.h"

#include "mime/CharClasses.h"
#include "mime/Tokenizer.h"

namespace mimepp {

String Address::Phrase(const String& text) {
    for (unsigned char c : text.View()) {
        // Control characters are no atom characters either; readers would drop or split at them.
        if (chars::IsRfc822Special(c) || (c < 0x20 && c != '\t') || c == 0x7F) {
            return String(QuoteString(text.View()));
        }
    }
    return text;
}

}  // namespace mimepp
