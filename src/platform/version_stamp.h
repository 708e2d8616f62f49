// Finding the version stamp (the 52-byte fixed file information block) of a file without
// loading it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <orvanta/version_stamp.h>
#include <string>

namespace orvanta::platform {

// Reads up to `size` bytes at `offset` into `out`; returns how many were read.
using ReadAtFunction = std::function<size_t(uint64_t offset, void* out, size_t size)>;

// The block of a file of `fileSize` bytes read through `readAt`:
// - an ELF file has it in its ORVANTA_VERSION_SECTION section, or has none (its code may hold
//   the signature as an instruction operand, so an ELF file is never searched);
// - any other file (a language pack, a PE file) is searched at every 4-byte boundary for the
//   signature followed by structure version 1.0; the first such block counts.
std::optional<OrvantaFixedFileInfo> FindFixedFileInfo(const ReadAtFunction& readAt,
                                                      uint64_t fileSize);

// The block of the file at `path`, or nothing when the file cannot be read or has none.
std::optional<OrvantaFixedFileInfo> ReadFixedFileInfo(const std::string& path);

}  // namespace orvanta::platform
