// SPDX-License-Identifier: GPL-3.0-or-later
#include "block_copy.h"

#include "hidden_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>

namespace sundrel {
namespace fs = std::filesystem;

namespace {

// The files' own buffers serve the small writes (a header frame, a
// trailer) and the gain's chunks; a run is larger, so the C library moves
// it between the file and the run's buffer without copying it again.
constexpr std::size_t StreamBufferSize = 64 * 1024;

// Blocks read and written at once: some 256 KB, a few milliseconds even
// from a slow disk, so that the window's passes stay about 10 ms apart.
constexpr std::int64_t RunBlocks = 233;

// Writes those of `count` bytes read at the song's offset `at` that lie in
// `kept` (empty: all of them), keeping its place in `kept` in `next`.
// False when a write fails.
bool WriteKept(std::FILE* out, const char* run, std::size_t count, std::int64_t at, std::span<const ByteRange> kept,
               std::size_t& next) {
    if (kept.empty()) return std::fwrite(run, 1, count, out) == count;
    const std::int64_t end = at + static_cast<std::int64_t>(count);
    for (; next < kept.size() && kept[next].Begin < end; ++next) {
        const std::int64_t from = std::max(kept[next].Begin, at), to = std::min(kept[next].End, end);
        const auto bytes = static_cast<std::size_t>(std::max<std::int64_t>(to - from, 0));
        if (bytes > 0 && std::fwrite(run + (from - at), 1, bytes, out) != bytes) return false;
        if (kept[next].End > end) break;  // goes on in the next run
    }
    return true;
}

// Event passes before up to `blocks` whole blocks; how many ran and let
// the copy go on.
std::int64_t PassesBefore(std::int64_t blocks, const EventPass& eventPass) {
    if (!eventPass) return blocks;
    std::int64_t passed = 0;
    while (passed < blocks && eventPass()) ++passed;
    return passed;
}

}  // namespace

Stream::Stream() : buffer_(std::make_unique<char[]>(StreamBufferSize)) {}

bool Stream::Open(const fs::path& path, const char* mode) { return Adopt(OpenFile(path, mode)); }

bool Stream::Adopt(std::FILE* file) {
    Close();
    file_ = file;
    if (file_) std::setvbuf(file_, buffer_.get(), _IOFBF, StreamBufferSize);
    return file_ != nullptr;
}

bool Stream::Close() {
    if (!file_) return true;
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
}

Copied CopyStretch(Stream& source, Stream& piece, Piece need, std::int64_t at, std::int64_t count,
                   std::span<const ByteRange> kept, const EventPass& eventPass) {
    if (count <= 0) return Copied::All;
    const std::int64_t wholeBlocks = count / BlockSize;
    const std::int64_t tail = count % BlockSize;
    const auto runBytes = static_cast<std::size_t>(RunBlocks * BlockSize);
    const std::unique_ptr<char[]> run = std::make_unique_for_overwrite<char[]>(runBytes);
    std::size_t next = 0;
    for (std::int64_t block = 0; block < wholeBlocks || (block == wholeBlocks && tail > 0);) {
        const std::int64_t blocks = std::min(RunBlocks, wholeBlocks - block);
        const std::int64_t passed = PassesBefore(blocks, eventPass);
        // The tail follows the last whole block in the same run, without a
        // pass of its own.
        const bool withTail = passed == wholeBlocks - block && tail > 0 && passed < RunBlocks;
        const auto wanted = static_cast<std::size_t>(passed * BlockSize + (withTail ? tail : 0));
        const std::size_t got = wanted > 0 ? std::fread(run.get(), 1, wanted, source.Get()) : 0;
        if (got > 0 && piece.IsOpen() && !WriteKept(piece.Get(), run.get(), got, at, kept, next)) {
            if (need == Piece::Needed) return Copied::WriteFailed;
            piece.Close();
        }
        if (got < wanted) return Copied::SourceEnded;
        if (passed < blocks) return Copied::Abandoned;
        at += static_cast<std::int64_t>(got);
        block += passed + (withTail ? 1 : 0);
    }
    return Copied::All;
}

}  // namespace sundrel
