// What a folder holds, for the names a command line gives by pattern or by folder.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Components {

struct FolderEntry {
    std::string Name;            // the long name, without the folder
    std::string Path;            // the folder's path and the name
    bool IsFile = false;         // a regular file, not reached through a link
    bool IsFolder = false;       // a folder itself, never a link or a junction to one
    std::int64_t LastWrite = 0;  // in the platform's own ticks
};

class FileSearch {
  public:
    virtual ~FileSearch() = default;

    // Every entry directly in `folder` but "." and "..", in no set order. An entry that is a
    // link (or a junction) is listed as neither file nor folder, so that no walk leaves the
    // tree it was given. Raises Err::Error when the folder cannot be read.
    virtual std::vector<FolderEntry> Entries(std::string folder) = 0;

    // Whether `path` names a folder, following links: one named by the user is theirs to name.
    virtual bool IsFolder(std::string path) = 0;

    // Whether `name` matches `pattern`, where * stands for any run of characters and ? for
    // one, as this platform compares file names: without regard to case on Windows.
    virtual bool Matches(std::string name, std::string pattern) = 0;

    // Whether two names are the same file name here: without regard to case on Windows.
    virtual bool SameName(std::string a, std::string b) = 0;
};

std::unique_ptr<FileSearch> CreatePlatformInstance(Tag<FileSearch>);

}  // namespace Components
