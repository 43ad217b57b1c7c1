// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The piece writer: copies the pieces of the cut state's table into files
// of their own, and keeps the middle one.

#include "block_copy.h"
#include "cut_state.h"
#include "event_pass.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace sundrel {

// DestDir & "[铃声]" & i & SourceName, joined as text (a DestDir without its
// trailing '/' puts the piece beside that folder): the one naming rule of
// the output.
std::filesystem::path PieceName(const std::filesystem::path& destDir, const std::filesystem::path& sourceName, int i);
std::filesystem::path PieceName(const CutState& cut, int i);

// What a cut left in the destination folder.
struct WrittenPieces {
    bool Kept = false;  // PieceName(1) holds KeptHeader, the bytes of its piece it keeps, KeptTrailer
    // Its other files still there: the outer pieces it put in place, and any
    // of its own temporary files that could not be removed.
    std::vector<std::filesystem::path> Others;
    // The kept frames cannot carry the cut's fades or volume (another
    // layer, a gain past its bits): nothing was put in place.
    bool GainRefused = false;
};

// What a cut does with the hidden files a killed cut left beside its
// pieces. Only a cut that holds the lock on its pieces' folder for its
// whole run may remove them: without it, they may be the files another
// running cut (another window, another copy of the program) is writing.
enum class Leftovers { Keep, Remove };

// Copies pieces 0..SegLast of SourcePath into PieceName(0..); of piece 1,
// the kept piece, the bytes of KeptRanges when there are some, between
// KeptHeader and KeptTrailer. Each piece is
// written to a new hidden file beside its name and renamed onto the name
// once whole, so a file or link of that name is replaced, never written
// through. A cut that fails before its kept piece is in place leaves an
// earlier file of that name as it was and removes what it created; once the
// kept piece is in place, an abandoned cut only skips what is left to write.
// The kept file's fades and volume (cut.KeptGain) are laid on its frames
// before it is put in place. Refused when a piece name leads to the song
// itself.
WrittenPieces WritePieces(const CutState& cut, const EventPass& eventPass = {}, Leftovers leftovers = Leftovers::Keep);

// Deletes the files a cut left besides its kept piece, and nothing else.
// True when none of them is left.
bool RemoveOuterPieces(const WrittenPieces& written);

}  // namespace sundrel
