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

    // Negative when the path names no existing regular file (an empty path included);
    // 0 for an existing empty file; otherwise the length in bytes.
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
