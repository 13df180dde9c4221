#include "mime/Address.h"

#include "mime/CharClasses.h"
#include "mime/Tokenizer.h"

namespace mimepp {

String Address::Phrase(const String& text) {
    for (char c : text.View()) {
        if (chars::IsRfc822Special(c)) {
            return String(QuoteString(text.View()));
        }
    }
    return text;
}

}  // namespace mimepp
