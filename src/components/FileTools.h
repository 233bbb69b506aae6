// Three questions about paths, asked by start-up, the compact operation and the
// temporary-name maker. Every failure other than a missing file raises Err::Error naming
// the operation.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <cstdint>
#include <string>

namespace Components {

class FileTools {
  public:
    virtual ~FileTools() = default;

    // Negative when no directory entry of any kind stands under the path (an empty path
    // included); 0 for an existing empty file, and for an entry that holds no file's bytes (a
    // folder, a link leading nowhere, a FIFO, a device), so that its name counts as taken yet
    // never as a database; otherwise the length in bytes.
    virtual double FileSize(std::string path) = 0;

    // The folder that holds the path, ending in the path separator; empty when the path
    // has no folder part. The flag has no meaning yet and is always 0.
    virtual std::string FolderOf(std::string path, std::int32_t flag) = 0;

    // The whole path with its final extension (the last dot of the file name and what
    // follows) removed; a file name without a dot comes back unchanged.
    virtual std::string PathWithoutExtension(std::string path) = 0;
};

std::unique_ptr<FileTools> CreatePlatformInstance(Tag<FileTools>);

}  // namespace Components
