// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A big song for the benchmarks, written a MiB at a time: frames of MPEG
// audio at 128 kbit/s whose bodies are a pattern, so that the window maps
// and cuts it as it would a real song of that size.

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace sundrel::bench {

inline void WriteFramedSource(const std::string& path, std::int64_t bytes) {
    constexpr std::size_t kFrame = 417;
    const unsigned char header[] = {0xFF, 0xFB, 0x90, 0xC0};
    std::vector<char> chunk(kFrame * 2514);
    for (std::size_t i = 0; i < chunk.size(); ++i)
        chunk[i] =
            i % kFrame < sizeof header ? static_cast<char>(header[i % kFrame]) : static_cast<char>(i * 131 + (i >> 10));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::int64_t left = bytes; left > 0; left -= std::int64_t(chunk.size()))
        out.write(chunk.data(), std::streamsize(std::min<std::int64_t>(left, std::int64_t(chunk.size()))));
}

}  // namespace sundrel::bench
