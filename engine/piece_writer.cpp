// SPDX-License-Identifier: GPL-3.0-or-later
#include "piece_writer.h"

#include "block_copy.h"
#include "hidden_file.h"
#include "kept_file.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace sundrel {
namespace fs = std::filesystem;

namespace {

// "[铃声]", the word for ringtone in brackets, that every piece's name
// starts with; spelt in UTF-8, whatever the compiler's own character set.
constexpr char8_t PiecePrefix[] = u8"[铃声]";

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    const bool same = fs::equivalent(a, b, ec);
    return !ec && same;
}

// True when nothing is left at path.
bool Remove(const fs::path& path) {
    std::error_code ec;
    fs::remove(path, ec);
    return !ec;
}

// Opens a new hidden file beside a piece (see CreateHiddenBeside); its name,
// or nothing when none could be made.
std::optional<fs::path> CreateBeside(const fs::path& piece, Stream& stream) {
    fs::path name;
    if (!stream.Adopt(CreateHiddenBeside(piece, PieceTemporary, name))) return std::nullopt;
    return name;
}

// What a cut copies, taken when it starts: the event pass may let the
// window start a new plan or browse a new source, and the copy goes on with
// what it was given.
struct CutCopy {
    fs::path SourcePath;
    std::vector<std::int64_t> SegBytes;  // pieces 0..SegLast
    KeptContent Kept;                    // piece 1's file
    std::vector<fs::path> Names;         // PieceName of each piece
};

// One piece at a time: written to a hidden file, renamed onto its name once
// whole. The kept piece is piece 1.
class PieceCopier {
public:
    PieceCopier(const CutCopy& cut, const EventPass& eventPass) : cut_(cut), eventPass_(eventPass) {}

    WrittenPieces Run() {
        if (!source_.Open(cut_.SourcePath, "rb")) return written_;
        for (std::size_t i = 0; i < cut_.Names.size(); ++i) {
            const Step step = WritePiece(i);
            if (step == Step::Fail) return Fail();
            if (step == Step::Stop) break;
        }
        source_.Close();
        return written_;
    }

private:
    enum class Step { Next, Stop, Fail };

    Step WritePiece(std::size_t i) {
        const std::int64_t at = read_;
        read_ += std::max<std::int64_t>(cut_.SegBytes[i], 0);
        if (i == 1) return WriteKept(at);
        temporary_ = CreateBeside(cut_.Names[i], piece_);
        const Copied copied = CopyStretch(source_, piece_, Piece::Optional, at, cut_.SegBytes[i], {}, eventPass_);
        if (copied == Copied::Abandoned && written_.Kept) {
            DropTemporary();
            return Step::Stop;
        }
        if (copied == Copied::Abandoned) return Step::Fail;
        // Before the kept piece is whole, a source that ends means the
        // selection is not in the file any more; after it, nothing is lost.
        if (copied == Copied::SourceEnded && i == 0) return Step::Fail;
        PutInPlace(cut_.Names[i]);
        return copied == Copied::SourceEnded ? Step::Stop : Step::Next;
    }

    // The kept piece, written as every kept file is; its fades and volume
    // set while it is still hidden.
    Step WriteKept(std::int64_t at) {
        KeptContent content = cut_.Kept;
        content.At = at;
        content.Count = cut_.SegBytes[1];
        const KeptWrite kept = PutKeptFile(source_, content, cut_.Names[1], eventPass_);
        written_.GainRefused = kept.Fault == KeptFault::GainRefused;
        if (kept.LeftBehind) written_.Others.push_back(*kept.LeftBehind);
        if (kept.Fault != KeptFault::None) return Step::Fail;
        written_.Kept = true;
        return Step::Next;
    }

    // An outer piece whose write failed is not put in place, and the cut
    // goes on.
    void PutInPlace(const fs::path& name) {
        const bool whole = piece_.IsOpen() && piece_.Close();
        std::error_code ec;
        if (whole) fs::rename(*temporary_, name, ec);
        if (!whole || ec) {
            DropTemporary();
            return;
        }
        temporary_.reset();
        written_.Others.push_back(name);
    }

    void DropTemporary() {
        piece_.Close();
        if (temporary_ && !Remove(*temporary_)) written_.Others.push_back(*temporary_);
        temporary_.reset();
    }

    // Before the kept piece is in place only outer pieces can be; they go,
    // and an earlier kept file was never touched.
    WrittenPieces Fail() {
        DropTemporary();
        source_.Close();
        std::erase_if(written_.Others, Remove);
        return written_;
    }

    const CutCopy& cut_;
    const EventPass& eventPass_;
    Stream source_;
    Stream piece_;
    std::optional<fs::path> temporary_;  // the piece being written, until it is in place
    std::int64_t read_ = 0;              // source bytes the pieces so far took
    WrittenPieces written_;
};

}  // namespace

fs::path PieceName(const fs::path& destDir, const fs::path& sourceName, int i) {
    fs::path name = destDir;
    name += fs::path(PiecePrefix);
    name += std::to_string(i);
    name += sourceName;
    return name;
}

fs::path PieceName(const CutState& cut, int i) { return PieceName(cut.DestDir, cut.SourceName, i); }

WrittenPieces WritePieces(const CutState& cut, const EventPass& eventPass, Leftovers leftovers) {
    const int segLast = cut.SegLast;
    if (segLast < 1 || segLast > 2 || cut.SegBytes.size() < static_cast<std::size_t>(segLast) + 1) return {};
    CutCopy copy;
    copy.SourcePath = cut.SourcePath;
    copy.SegBytes.assign(cut.SegBytes.begin(), cut.SegBytes.begin() + segLast + 1);
    copy.Kept.Header = cut.KeptHeader;
    copy.Kept.Ranges = cut.KeptRanges;
    copy.Kept.Trailer = cut.KeptTrailer;
    copy.Kept.Gain = cut.KeptGain;
    for (int i = 0; i <= segLast; ++i) copy.Names.push_back(PieceName(cut, i));

    // A piece put in place would take the song's name, or what its link
    // leads to, and the clean-up would then delete the song.
    for (const fs::path& name : copy.Names)
        if (SameFile(name, copy.SourcePath)) return {};
    // A run killed while it wrote these pieces left them half written and
    // hidden; nothing else would ever remove them.
    if (leftovers == Leftovers::Remove)
        for (const fs::path& name : copy.Names) RemoveHiddenLeftovers(name, PieceTemporary);
    return PieceCopier(copy, eventPass).Run();
}

bool RemoveOuterPieces(const WrittenPieces& written) {
    bool gone = true;
    for (const fs::path& file : written.Others) gone = Remove(file) && gone;
    return gone;
}

}  // namespace sundrel
