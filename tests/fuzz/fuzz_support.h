// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the engine's fuzz targets share: a folder of their own for the files
// an input becomes, and checks that stop the run with a reason.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace sundrel::fuzz {

using Bytes = std::vector<unsigned char>;

// A check of what must hold; libFuzzer keeps the input that broke it.
#define FUZZ_REQUIRE(condition, what)                                                          \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, __FILE__, __LINE__); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

// A fresh temporary folder for this process, removed at exit; each input
// empties it first.
inline const std::filesystem::path& Folder() {
    static const std::filesystem::path folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "sundrel-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(Folder(), ec);
        });
        return std::filesystem::path(pattern);
    }();
    return folder;
}

inline void Empty(const std::filesystem::path& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) std::filesystem::remove_all(entry.path());
}

inline void Write(const std::filesystem::path& path, const unsigned char* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    FUZZ_REQUIRE(out.good(), "the input is written to its file");
}

// A cut's ground, laid anew: the song at work/music/song.mp3 and an empty
// work/rings for the cut to write into; whatever a cut writes lands in
// work/, and beside it nothing may appear. Gives the song's path.
inline std::string LayOutWork(const Bytes& song) {
    const std::filesystem::path work = Folder() / "work";
    Empty(Folder());
    std::filesystem::create_directories(work / "rings");
    std::filesystem::create_directories(work / "music");
    const std::string source = (work / "music" / "song.mp3").string();
    Write(source, song.data(), song.size());
    return source;
}

inline Bytes Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names in a folder, hidden ones too, sorted.
inline std::vector<std::string> Names(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace sundrel::fuzz
