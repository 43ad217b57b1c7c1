// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Inside the engine: a stretch of the song copied into a piece, with an
// event pass between its blocks, read and written many blocks at a time.

#include "event_pass.h"
#include "frame_walk.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>

namespace sundrel {

// Bytes between two event passes: the window runs before each whole block
// of a piece, so that a cut can be abandoned, or the folder seen to change,
// at the same byte whatever the disk.
inline constexpr std::int64_t BlockSize = 1122;

// A C library file with a buffer of its own, closed with its owner.
class Stream {
public:
    Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    ~Stream() { Close(); }

    bool Open(const std::filesystem::path& path, const char* mode);
    // Takes over a file opened elsewhere.
    bool Adopt(std::FILE* file);
    // False when buffered bytes could not be written out.
    bool Close();
    bool IsOpen() const { return file_ != nullptr; }
    std::FILE* Get() const { return file_; }

private:
    std::unique_ptr<char[]> buffer_;  // outlives file_, which points into it
    std::FILE* file_ = nullptr;
};

enum class Copied { All, Abandoned, SourceEnded, WriteFailed };

// Copies `count` bytes read from the source's current place, which is the
// song's offset `at`, to the piece: all of them, or those inside `kept`
// (ranges of the song in file order). An event pass runs before each whole
// block, as if the blocks were copied one by one; the bytes themselves move
// a run of blocks at a time, straight between the files and one buffer, so
// a cut costs little more than a copy. A piece that is not open, or that
// cannot be written and is `optional` (then closed), is read through: the
// next piece must start at its own byte. A short read writes what it got and
// never pads the piece.
enum class Piece { Needed, Optional };
Copied CopyStretch(Stream& source, Stream& piece, Piece need, std::int64_t at, std::int64_t count,
                   std::span<const ByteRange> kept, const EventPass& eventPass);

}  // namespace sundrel
