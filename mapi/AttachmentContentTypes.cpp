#include "mapi/AttachmentContentTypes.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace Tarvik::MAPI {

namespace {

const std::map<std::string, std::string, std::less<>>& ContentTypes() {
    static const std::map<std::string, std::string, std::less<>> types = {
        // Text and documents.
        {"txt", "text/plain"},
        {"log", "text/plain"},
        {"csv", "text/csv"},
        {"htm", "text/html"},
        {"html", "text/html"},
        {"css", "text/css"},
        {"xml", "text/xml"},
        {"md", "text/markdown"},
        {"ics", "text/calendar"},
        {"vcs", "text/x-vcalendar"},
        {"vcf", "text/x-vcard"},
        {"rtf", "application/rtf"},
        {"pdf", "application/pdf"},
        {"ps", "application/postscript"},
        {"eps", "application/postscript"},
        {"xps", "application/vnd.ms-xpsdocument"},
        {"json", "application/json"},
        {"js", "application/javascript"},
        // Microsoft Office.
        {"doc", "application/msword"},
        {"dot", "application/msword"},
        {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
        {"dotx", "application/vnd.openxmlformats-officedocument.wordprocessingml.template"},
        {"docm", "application/vnd.ms-word.document.macroEnabled.12"},
        {"xls", "application/vnd.ms-excel"},
        {"xlt", "application/vnd.ms-excel"},
        {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
        {"xltx", "application/vnd.openxmlformats-officedocument.spreadsheetml.template"},
        {"xlsm", "application/vnd.ms-excel.sheet.macroEnabled.12"},
        {"xlsb", "application/vnd.ms-excel.sheet.binary.macroEnabled.12"},
        {"ppt", "application/vnd.ms-powerpoint"},
        {"pps", "application/vnd.ms-powerpoint"},
        {"pot", "application/vnd.ms-powerpoint"},
        {"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
        {"ppsx", "application/vnd.openxmlformats-officedocument.presentationml.slideshow"},
        {"potx", "application/vnd.openxmlformats-officedocument.presentationml.template"},
        {"pptm", "application/vnd.ms-powerpoint.presentation.macroEnabled.12"},
        {"vsd", "application/vnd.visio"},
        {"vsdx", "application/vnd.ms-visio.drawing"},
        {"mpp", "application/vnd.ms-project"},
        {"one", "application/onenote"},
        {"pub", "application/x-mspublisher"},
        {"msg", "application/vnd.ms-outlook"},
        {"eml", "message/rfc822"},
        {"mht", "message/rfc822"},
        {"mhtml", "message/rfc822"},
        // OpenDocument.
        {"odt", "application/vnd.oasis.opendocument.text"},
        {"ods", "application/vnd.oasis.opendocument.spreadsheet"},
        {"odp", "application/vnd.oasis.opendocument.presentation"},
        {"odg", "application/vnd.oasis.opendocument.graphics"},
        // Images.
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"jpe", "image/jpeg"},
        {"png", "image/png"},
        {"gif", "image/gif"},
        {"bmp", "image/bmp"},
        {"tif", "image/tiff"},
        {"tiff", "image/tiff"},
        {"ico", "image/x-icon"},
        {"svg", "image/svg+xml"},
        {"webp", "image/webp"},
        {"heic", "image/heic"},
        {"emf", "image/x-emf"},
        {"wmf", "image/x-wmf"},
        {"psd", "image/vnd.adobe.photoshop"},
        // Sound and video.
        {"mp3", "audio/mpeg"},
        {"wav", "audio/wav"},
        {"wma", "audio/x-ms-wma"},
        {"m4a", "audio/mp4"},
        {"ogg", "audio/ogg"},
        {"mid", "audio/mid"},
        {"midi", "audio/mid"},
        {"aac", "audio/aac"},
        {"mp4", "video/mp4"},
        {"m4v", "video/mp4"},
        {"avi", "video/x-msvideo"},
        {"wmv", "video/x-ms-wmv"},
        {"mov", "video/quicktime"},
        {"mpg", "video/mpeg"},
        {"mpeg", "video/mpeg"},
        {"3gp", "video/3gpp"},
        // Archives, programs and certificates.
        {"zip", "application/zip"},
        {"rar", "application/x-rar-compressed"},
        {"7z", "application/x-7z-compressed"},
        {"gz", "application/gzip"},
        {"tgz", "application/gzip"},
        {"tar", "application/x-tar"},
        {"bz2", "application/x-bzip2"},
        {"cab", "application/vnd.ms-cab-compressed"},
        {"exe", "application/x-msdownload"},
        {"dll", "application/x-msdownload"},
        {"msi", "application/x-msi"},
        {"p7s", "application/pkcs7-signature"},
        {"p7m", "application/pkcs7-mime"},
        {"cer", "application/x-x509-ca-cert"},
        {"crt", "application/x-x509-ca-cert"},
        {"der", "application/x-x509-ca-cert"},
        {"pfx", "application/x-pkcs12"},
        {"p12", "application/x-pkcs12"},
        {"ttf", "font/ttf"},
        {"otf", "font/otf"},
        {"woff", "font/woff"},
    };
    return types;
}

}  // namespace

std::optional<std::string> ContentTypeFromRegistry(std::string_view extension) {
    if (extension.starts_with('.')) {
        extension.remove_prefix(1);
    }
    std::string key(extension);
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
    auto it = ContentTypes().find(key);
    if (it == ContentTypes().end()) {
        return std::nullopt;
    }
    return it->second;
}

}  // namespace Tarvik::MAPI
