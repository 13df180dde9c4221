#pragma once
// Requests of the mail service: folders, tags, contacts and messages.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tarvik/Request.h"

namespace Tarvik::Rpc {

using TagIds = std::vector<int64_t>;
// Contact attributes by name; the request lists them in name order.
using ContactAttributes = std::map<std::string, std::string>;

// Folder kinds of CreateFolderRequest; any other value creates a plain folder.
namespace FolderKind {
inline constexpr int Mail = 1;
inline constexpr int Contacts = 3;
inline constexpr int Calendar = 5;
inline constexpr int Tasks = 6;
}  // namespace FolderKind

// The whole folder tree of the account.
class GetFolderRequest : public Request {
  public:
    GetFolderRequest();
};

// All tags of the account.
class GetTagRequest : public Request {
  public:
    GetTagRequest();
};

// A folder under `parentId`. Calendar folders get the next of eight colours, process-wide, so that
// several imported calendars can be told apart.
class CreateFolderRequest : public Request {
  public:
    CreateFolderRequest(std::string_view name, int64_t parentId, int kind);
};

class CreateTagRequest : public Request {
  public:
    CreateTagRequest(std::string_view name, int32_t color);
};

// A contact in `folderId`. Empty values are left out; "aid" names the uploaded contact picture.
// Throws TarvikException ("contact_no_fields") when no value is left.
class CreateContactRequest : public Request {
  public:
    CreateContactRequest(const ContactAttributes& attributes, int64_t folderId, const TagIds& tagIds);
};

// A message uploaded beforehand (`uploadId`), filed in `folderId` with its flag letters, tags and
// date (a FILETIME: 100-ns units since 1601, UTC).
class AddMessageRequest : public Request {
  public:
    AddMessageRequest(std::string_view uploadId, int64_t folderId, std::string_view flags,
                      const TagIds& tagIds, uint64_t fileTime);
};

// Tag ids as the server lists them: decimal, joined with "," and no blanks.
std::string JoinTagIds(const TagIds& tagIds);

// Milliseconds since 1970-01-01 UTC of a FILETIME, truncated toward zero.
int64_t FileTimeToUnixMilliseconds(uint64_t fileTime);

}  // namespace Tarvik::Rpc
