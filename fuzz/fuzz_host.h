// The host root the fuzz targets run against: the folders of the fixed paths, the DMI product
// UUID, and small helpers to write a target's input where the code under test reads it.
// Fuzz targets only; one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace TarnFuzz {

// Lays out the fixed folders under the compiled-in root once per process, with an empty log
// file.
void PrepareHostRoot();

// Writes text to path, replacing it (folders must exist); aborts when it cannot.
void WriteText(const std::string& path, const std::string& text);

// The input as text.
inline std::string InputText(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace TarnFuzz
