#include "testserver/XmlWriter.h"

#include <stdexcept>

namespace Tarvik::TestServer {

namespace {

void AppendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            // Keep line ends and tabs of values intact through attribute normalisation.
            case '\r':
                out += "&#13;";
                break;
            case '\n':
                out += "&#10;";
                break;
            case '\t':
                out += "&#9;";
                break;
            default:
                out += c;
        }
    }
}

}  // namespace

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendEscaped(out, text);
    return out;
}

void XmlWriter::EndStartTag() {
    if (inStartTag_) {
        out_ += '>';
        inStartTag_ = false;
    }
}

XmlWriter& XmlWriter::Open(std::string_view name) {
    EndStartTag();
    out_ += '<';
    out_ += name;
    open_.emplace_back(name);
    inStartTag_ = true;
    return *this;
}

XmlWriter& XmlWriter::Attribute(std::string_view name, std::string_view value) {
    if (!inStartTag_) {
        throw std::logic_error("XmlWriter: attribute outside a start tag");
    }
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    AppendEscaped(out_, value);
    out_ += '"';
    return *this;
}

XmlWriter& XmlWriter::Attribute(std::string_view name, long long value) {
    return Attribute(name, std::to_string(value));
}

XmlWriter& XmlWriter::Text(std::string_view text) {
    EndStartTag();
    AppendEscaped(out_, text);
    return *this;
}

XmlWriter& XmlWriter::Raw(std::string_view xml) {
    EndStartTag();
    out_ += xml;
    return *this;
}

XmlWriter& XmlWriter::Close() {
    if (open_.empty()) {
        throw std::logic_error("XmlWriter: nothing to close");
    }
    if (inStartTag_) {
        out_ += "/>";
        inStartTag_ = false;
    } else {
        out_ += "</";
        out_ += open_.back();
        out_ += '>';
    }
    open_.pop_back();
    return *this;
}

XmlWriter& XmlWriter::TextElement(std::string_view name, std::string_view text) {
    return Open(name).Text(text).Close();
}

}  // namespace Tarvik::TestServer
