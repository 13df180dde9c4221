#pragma once
// Outlook stores a subject with a prefix ("RE: ") as 0x01, one character giving the prefix's
// length, then the subject; the two marker characters are not part of the subject and MAPI never
// shows them.

#include <string>

#include "runtime/Utf8.h"

namespace pst {

inline constexpr uint16_t kSubjectPropertyId = 0x0037;

// `subject` (UTF-8) without its prefix marker, if it has one.
inline std::string WithoutSubjectPrefixMarker(const std::string& subject) {
    if (subject.size() >= 2 && subject[0] == '\x01') {
        size_t pos = 1;
        Utf8::Next(subject, pos);
        return subject.substr(pos);
    }
    return subject;
}

}  // namespace pst
