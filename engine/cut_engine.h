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

// Copies pieces 0..SegLast of SourcePath into PieceName(0..); the event
// pass runs before each block. True exactly when PieceName(1) holds all the
// bytes of its piece. After a failed or abandoned cut no piece file of that
// cut is left behind.
bool WritePieces(const CutState& cut, const EventPass& eventPass = {});

// Deletes PieceName(0) and PieceName(2); a missing file is no error.
void RemoveOuterPieces(const CutState& cut);

// Length in bytes of a file; nothing when it cannot be read.
std::optional<std::int64_t> FileLength(const std::string& path);

// Moves a file to a new name, replacing an existing target, across file
// systems too (copy, then delete). On failure the file stays where it was
// and an existing target is untouched.
bool MoveFile(const std::string& from, const std::string& to);

}  // namespace sundrel
