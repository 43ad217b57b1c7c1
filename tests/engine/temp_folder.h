// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Real files for the engine tests: a fresh folder per test, removed after.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>

namespace sundrel::test {

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "sundrel-engine-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern + "/";
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder, ending with '/'.
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// Bytes that differ from offset to offset, so a slice shows where it came from.
inline char PatternByte(std::int64_t offset) {
    const auto x = static_cast<std::uint64_t>(offset);
    return static_cast<char>((x * 2654435761u >> 13) ^ (x >> 7) ^ x);
}

inline std::string Pattern(std::int64_t from, std::int64_t count) {
    std::string bytes(static_cast<std::size_t>(count), '\0');
    for (std::int64_t i = 0; i < count; ++i) bytes[static_cast<std::size_t>(i)] = PatternByte(from + i);
    return bytes;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

}  // namespace sundrel::test
