// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The cut engine: the split plan turns three size texts into a table of
// pieces, the piece writer copies them and keeps the middle one.

#include "cut_state.h"
#include "conventions.h"
#include "event_pass.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sundrel {

inline constexpr std::int64_t BlockSize = 1122;

// Checks that both paths exist and the three size texts are numbers, moves
// "0" fields to the end, and fills cut.SegBytes and cut.SegLast. The field
// that receives the rest of the file is rewritten with its size. False when
// there is no piece, when a check fails, or when a size cannot be represented.
bool CheckSplit(CutState& cut, const std::string& destDir, const std::string& sourcePath,
                std::array<std::string, 3>& sizes);

// DestDir & "[铃声]" & i & SourceName: the one naming rule of the output.
std::string PieceName(const CutState& cut, int i);

// What a cut left in the destination folder.
struct WrittenPieces {
    bool Kept = false;  // PieceName(1) holds KeptHeader and all the bytes of its piece
    // Its other files still there: the outer pieces it put in place, and any
    // of its own temporary files that could not be removed.
    std::vector<std::string> Others;
};

// What a cut does with the hidden files a killed cut left beside its
// pieces. Only a cut that holds the lock on its pieces' folder for its
// whole run may remove them: without it, they may be the files another
// running cut (another window, another copy of the program) is writing.
enum class Leftovers { Keep, Remove };

// Copies pieces 0..SegLast of SourcePath into PieceName(0..). Each piece is
// written to a new hidden file beside its name and renamed onto the name
// once whole, so a file or link of that name is replaced, never written
// through. A cut that fails before its kept piece is in place leaves an
// earlier file of that name as it was and removes what it created; once the
// kept piece is in place, an abandoned cut only skips what is left to write.
// Refused when a piece name leads to the song itself.
WrittenPieces WritePieces(const CutState& cut, const EventPass& eventPass = {},
                          Leftovers leftovers = Leftovers::Keep);

// Deletes the files a cut left besides its kept piece, and nothing else.
// True when none of them is left.
bool RemoveOuterPieces(const WrittenPieces& written);

// Length in bytes of a file; nothing when it cannot be read.
std::optional<std::int64_t> FileLength(const std::string& path);

// Moves a file to a new name, replacing an existing target, across file
// systems too (copy, then delete). On failure the file stays where it was
// and an existing target is untouched.
bool MoveFile(const std::string& from, const std::string& to);

}  // namespace sundrel
