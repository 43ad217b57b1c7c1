// SPDX-License-Identifier: GPL-3.0-or-later
#include "piece_writer.h"

#include "hidden_file.h"
#include "kept_gain.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace sundrel {
namespace fs = std::filesystem;

namespace {

// 1122-byte reads and writes straight to the kernel would make a cut many
// times slower than a copy; through a large stdio buffer each block costs a
// memcpy and the system calls move hundreds of KB at a time.
constexpr std::size_t StreamBufferSize = 512 * 1024;

// "[铃声]", the word for ringtone in brackets, that every piece's name
// starts with; spelt in UTF-8, whatever the compiler's own character set.
constexpr char8_t PiecePrefix[] = u8"[铃声]";

// What the hidden file of a piece being written is named for.
constexpr const char* PieceTemporary = "part";

class Stream {
public:
    Stream() : buffer_(std::make_unique<char[]>(StreamBufferSize)) {}
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    ~Stream() { Close(); }

    bool Open(const fs::path& path, const char* mode) { return Adopt(OpenFile(path, mode)); }
    // Takes over a file opened elsewhere.
    bool Adopt(std::FILE* file) {
        Close();
        file_ = file;
        if (file_) std::setvbuf(file_, buffer_.get(), _IOFBF, StreamBufferSize);
        return file_ != nullptr;
    }
    // False when buffered bytes could not be written out.
    bool Close() {
        if (!file_) return true;
        const bool ok = std::fclose(file_) == 0;
        file_ = nullptr;
        return ok;
    }
    bool IsOpen() const { return file_ != nullptr; }
    std::FILE* Get() const { return file_; }

private:
    std::unique_ptr<char[]> buffer_;  // outlives file_, which points into it
    std::FILE* file_ = nullptr;
};

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

// The bytes of the source a piece keeps: all of them, or those inside
// ranges of the source (in file order), given the blocks in order.
class KeptBytes {
public:
    explicit KeptBytes(std::span<const ByteRange> ranges = {}) : ranges_(ranges) {}

    // Writes those of `count` bytes read at source offset `at` that are
    // kept; false when a write fails.
    bool Write(std::FILE* out, const char* block, std::size_t count, std::int64_t at) {
        if (ranges_.empty()) return std::fwrite(block, 1, count, out) == count;
        const std::int64_t end = at + static_cast<std::int64_t>(count);
        for (; next_ < ranges_.size() && ranges_[next_].Begin < end; ++next_) {
            const std::int64_t from = std::max(ranges_[next_].Begin, at), to = std::min(ranges_[next_].End, end);
            const auto bytes = static_cast<std::size_t>(std::max<std::int64_t>(to - from, 0));
            if (bytes > 0 && std::fwrite(block + (from - at), 1, bytes, out) != bytes) return false;
            if (ranges_[next_].End > end) break;  // goes on in the next block
        }
        return true;
    }

private:
    std::span<const ByteRange> ranges_;
    std::size_t next_ = 0;
};

// False when not all of `bytes` could be written.
bool WriteAll(Stream& piece, const std::vector<unsigned char>& bytes) {
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), piece.Get()) == bytes.size();
}

enum class Copied { All, Abandoned, SourceEnded, WriteFailed };

// Copies count bytes from the source, read at offset `at`, to the piece in
// whole blocks and a tail, letting the window run before each block; the
// piece receives the bytes it keeps. An outer piece that cannot be written is
// still read through (the kept piece must start at its own byte); only the
// kept piece fails the cut on a write error. A short read writes what it got
// and never pads the piece.
Copied CopyPiece(Stream& source, Stream& piece, bool kept, std::int64_t at, std::int64_t count, KeptBytes keep,
                 const EventPass& eventPass, char* block) {
    if (count <= 0) return Copied::All;
    const std::int64_t blocks = count / BlockSize;
    const std::size_t tail = static_cast<std::size_t>(count % BlockSize);
    for (std::int64_t b = 0; b < blocks || (b == blocks && tail > 0); ++b) {
        const bool whole = b < blocks;
        if (whole && eventPass && !eventPass()) return Copied::Abandoned;
        const std::size_t wanted = whole ? static_cast<std::size_t>(BlockSize) : tail;
        const std::size_t got = std::fread(block, 1, wanted, source.Get());
        if (got > 0 && piece.IsOpen() && !keep.Write(piece.Get(), block, got, at + b * BlockSize)) {
            if (kept) return Copied::WriteFailed;
            piece.Close();
        }
        if (got < wanted) return Copied::SourceEnded;
    }
    return Copied::All;
}

// What a cut copies, taken when it starts: the event pass may let the
// window start a new plan or browse a new source, and the copy goes on with
// what it was given.
struct CutCopy {
    fs::path SourcePath;
    std::vector<std::int64_t> SegBytes;  // pieces 0..SegLast
    std::vector<unsigned char> Header;   // ahead of the kept piece
    std::vector<ByteRange> KeptRanges;   // of the kept piece, the bytes it holds; empty: all
    std::vector<unsigned char> Trailer;  // after the kept piece
    GainPlan Gain;                       // laid on the kept file
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
        const bool kept = i == 1;
        temporary_ = CreateBeside(cut_.Names[i], piece_);
        if (kept && !temporary_) return Step::Fail;
        if (kept && !WriteAll(piece_, cut_.Header)) return Step::Fail;

        const std::int64_t at = read_;
        read_ += std::max<std::int64_t>(cut_.SegBytes[i], 0);
        const KeptBytes keep(kept ? std::span(cut_.KeptRanges) : std::span<const ByteRange>());
        const Copied copied = CopyPiece(source_, piece_, kept, at, cut_.SegBytes[i], keep, eventPass_, block_);
        if (copied == Copied::Abandoned && written_.Kept) {
            DropTemporary();
            return Step::Stop;
        }
        if (copied == Copied::Abandoned || copied == Copied::WriteFailed) return Step::Fail;
        // Before the kept piece is whole, a source that ends means the
        // selection is not in the file any more; after it, nothing is lost.
        if (copied == Copied::SourceEnded && i <= 1) return Step::Fail;
        if (kept && !WriteAll(piece_, cut_.Trailer)) return Step::Fail;
        if (kept && !LayGain()) return Step::Fail;
        if (!PutInPlace(cut_.Names[i], kept)) return Step::Fail;
        return copied == Copied::SourceEnded ? Step::Stop : Step::Next;
    }

    // The kept file's fades and volume, set in its frames while it is
    // still hidden. False when its frames cannot carry them, or it could
    // not be read and written back.
    bool LayGain() {
        if (!cut_.Gain.Gain.Any()) return true;
        const GainPass pass = ApplyGainToKeptFile(piece_.Get(), cut_.Gain, eventPass_);
        written_.GainRefused = pass == GainPass::Refused;
        return pass == GainPass::Done;
    }

    // False when the kept piece could not be put in place; an outer piece
    // whose write failed is not put in place, and the cut goes on.
    bool PutInPlace(const fs::path& name, bool kept) {
        const bool whole = piece_.IsOpen() && piece_.Close();
        std::error_code ec;
        if (whole) fs::rename(*temporary_, name, ec);
        if (!whole || ec) {
            if (kept) return false;
            DropTemporary();
            return true;
        }
        temporary_.reset();
        if (kept)
            written_.Kept = true;
        else
            written_.Others.push_back(name);
        return true;
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
    alignas(64) char block_[BlockSize];  // aligned as the stack would have it: memcpy runs at full speed
};

}  // namespace

fs::path PieceName(const CutState& cut, int i) {
    fs::path name = cut.DestDir;
    name += fs::path(PiecePrefix);
    name += std::to_string(i);
    name += cut.SourceName;
    return name;
}

WrittenPieces WritePieces(const CutState& cut, const EventPass& eventPass, Leftovers leftovers) {
    const int segLast = cut.SegLast;
    if (segLast < 1 || segLast > 2 || cut.SegBytes.size() < static_cast<std::size_t>(segLast) + 1) return {};
    CutCopy copy;
    copy.SourcePath = cut.SourcePath;
    copy.SegBytes.assign(cut.SegBytes.begin(), cut.SegBytes.begin() + segLast + 1);
    copy.Header = cut.KeptHeader;
    copy.KeptRanges = cut.KeptRanges;
    copy.Trailer = cut.KeptTrailer;
    copy.Gain = cut.KeptGain;
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
