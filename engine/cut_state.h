// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "kept_gain.h"
#include "song_map.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sundrel {

// The values that carry one cut and belong to the main window.
struct CutState {
    std::filesystem::path SourcePath;  // taken from the source box when a cut starts writing
    std::filesystem::path SourceName;  // everything after the last '/' of SourcePath
    std::filesystem::path DestDir;     // ends with '/' when it came from a browse
    std::int64_t SourceLen = 0;
    SongMap SourceMap;                   // made with SourceLen when a source is chosen
    std::vector<std::int64_t> SegBytes;  // byte count of each piece, in file order
    int SegLast = -1;                    // last valid index of SegBytes; -1 for none
    // Bytes the kept file starts with, ahead of its piece (a frame header
    // that makes it a song of its own); no part of the piece table.
    std::vector<unsigned char> KeptHeader;
    // The bytes of piece 1 the kept file holds, as ranges of the source in
    // file order (its frames, without what lay between them); empty: all.
    std::vector<ByteRange> KeptRanges;
    // Bytes the kept file ends with, after its piece (silent frames where it
    // would end as if a tag stood there); mostly none.
    std::vector<unsigned char> KeptTrailer;
    // The fades and volume laid on the kept file's frames once it is
    // written; no part of the piece table either.
    GainPlan KeptGain;
};

// The values every window shares; they live as long as the program.
struct SharedCutState {
    double MediaDuration = 0;  // seconds
    double SourceKB = 0;       // SourceLen / 1024 as its "0.#" text reads back
    std::string StartPos;      // seconds, as number text
    std::string EndPos;
    std::filesystem::path PreviewPath;  // what the preview window was last given
    bool CutMade = false;               // a cut has written a kept file in this run
};

}  // namespace sundrel
