#include "components/posix/DatabaseFormat.h"

#include <algorithm>

namespace Components::Posix {

namespace {

constexpr std::size_t kSignatureStart = 4;
constexpr std::size_t kVersionAt = 0x14;
constexpr char kJetSignature[] = "Standard Jet DB";  // with its NUL: 16 bytes
constexpr char kAceSignature[] = "Standard ACE DB";
static_assert(sizeof kJetSignature == 16 && sizeof kAceSignature == 16);
static_assert(kSignatureStart + sizeof kJetSignature == kVersionAt);

DatabaseCheck Unrecognised(std::string reason) {
    return {DatabaseVerdict::kUnrecognised, 0, std::move(reason)};
}

}  // namespace

DatabaseCheck CheckDatabaseHeader(const unsigned char* bytes, std::size_t count,
                                  std::uint64_t fileSize) {
    const std::size_t available =
        bytes == nullptr ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(count, fileSize));

    if (available > 0 && bytes[0] != 0x00) {
        return Unrecognised("it does not begin as a database file does");
    }
    bool jet = true, ace = true;
    const std::size_t signatureEnd = std::min(available, kVersionAt);
    for (std::size_t i = kSignatureStart; i < signatureEnd; ++i) {
        const char c = static_cast<char>(bytes[i]);
        jet = jet && c == kJetSignature[i - kSignatureStart];
        ace = ace && c == kAceSignature[i - kSignatureStart];
    }
    if (!jet && !ace) return Unrecognised("it carries no database signature");
    if (available < kDatabaseHeaderBytes) {
        return {DatabaseVerdict::kCorrupt, 0,
                fileSize == 0 ? "the file is empty" : "the file ends inside its header"};
    }

    const unsigned version = bytes[kVersionAt];
    std::uint32_t pageSize = 0;
    if (jet && version <= 1) {
        pageSize = version == 0 ? 2048 : 4096;
    } else if (ace && version >= 2 && version <= 6) {
        pageSize = 4096;
    } else {
        return Unrecognised("its format version " + std::to_string(version) +
                            " is not one this engine knows");
    }

    if (fileSize < pageSize) {
        return {DatabaseVerdict::kCorrupt, pageSize,
                "it is shorter than one page of " + std::to_string(pageSize) + " bytes"};
    }
    if (fileSize % pageSize != 0) {
        return {DatabaseVerdict::kCorrupt, pageSize,
                "its size of " + std::to_string(fileSize) + " bytes is not a whole number of " +
                    std::to_string(pageSize) + "-byte pages"};
    }
    return {DatabaseVerdict::kDatabase, pageSize, ""};
}

}  // namespace Components::Posix
