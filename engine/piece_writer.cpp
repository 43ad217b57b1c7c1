// SPDX-License-Identifier: GPL-3.0-or-later
#include "cut_engine.h"
#include "hidden_file.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
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

// What the hidden file of a piece being written is named for.
constexpr const char* PieceTemporary = "part";

class Stream {
public:
    Stream() : buffer_(std::make_unique<char[]>(StreamBufferSize)) {}
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    ~Stream() { Close(); }

    bool Open(const std::string& path, const char* mode) { return Adopt(std::fopen(path.c_str(), mode)); }
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

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    const bool same = fs::equivalent(a, b, ec);
    return !ec && same;
}

// True when nothing is left at path.
bool Remove(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
    return !ec;
}

// Opens a new hidden file beside a piece (see CreateHiddenBeside); its name,
// or nothing when none could be made.
std::optional<std::string> CreateBeside(const std::string& piece, Stream& stream) {
    std::string name;
    if (!stream.Adopt(CreateHiddenBeside(piece, PieceTemporary, name))) return std::nullopt;
    return name;
}

enum class Copied { All, Abandoned, SourceEnded, WriteFailed };

// Copies count bytes from the source to the piece in whole blocks and a
// tail, letting the window run before each block. An outer piece that cannot
// be written is still read through (the kept piece must start at its own
// byte); only the kept piece fails the cut on a write error. A short read
// writes what it got and never pads the piece.
Copied CopyPiece(Stream& source, Stream& piece, bool kept, std::int64_t count,
                 const EventPass& eventPass, char* block) {
    if (count <= 0) return Copied::All;
    const std::int64_t blocks = count / BlockSize;
    const std::size_t tail = static_cast<std::size_t>(count % BlockSize);
    for (std::int64_t b = 0; b < blocks || (b == blocks && tail > 0); ++b) {
        const bool whole = b < blocks;
        if (whole && eventPass && !eventPass()) return Copied::Abandoned;
        const std::size_t wanted = whole ? static_cast<std::size_t>(BlockSize) : tail;
        const std::size_t got = std::fread(block, 1, wanted, source.Get());
        if (got > 0 && piece.IsOpen() && std::fwrite(block, 1, got, piece.Get()) != got) {
            if (kept) return Copied::WriteFailed;
            piece.Close();
        }
        if (got < wanted) return Copied::SourceEnded;
    }
    return Copied::All;
}

}  // namespace

std::string PieceName(const CutState& cut, int i) {
    return cut.DestDir + "[铃声]" + std::to_string(i) + cut.SourceName;
}

WrittenPieces WritePieces(const CutState& cut, const EventPass& eventPass, Leftovers leftovers) {
    WrittenPieces written;
    // The event pass may let the window start a new plan or browse a new
    // source; the copy goes on with what it was given, so take it now.
    const std::string sourcePath = cut.SourcePath;
    const int segLast = cut.SegLast;
    if (segLast < 1 || segLast > 2 || cut.SegBytes.size() < static_cast<std::size_t>(segLast) + 1)
        return written;
    const std::vector<std::int64_t> segBytes(cut.SegBytes.begin(), cut.SegBytes.begin() + segLast + 1);
    const std::vector<unsigned char> header = cut.KeptHeader;
    std::vector<std::string> names;
    for (int i = 0; i <= segLast; ++i) names.push_back(PieceName(cut, i));

    // A piece put in place would take the song's name, or what its link
    // leads to, and the clean-up would then delete the song.
    for (const std::string& name : names)
        if (SameFile(name, sourcePath)) return written;
    // A run killed while it wrote these pieces left them half written and
    // hidden; nothing else would ever remove them.
    if (leftovers == Leftovers::Remove)
        for (const std::string& name : names) RemoveHiddenLeftovers(name, PieceTemporary);

    Stream source;
    if (!source.Open(sourcePath, "rb")) return written;
    Stream piece;
    std::optional<std::string> temporary;  // the piece being written, until it is in place
    const auto dropTemporary = [&] {
        piece.Close();
        if (temporary && !Remove(*temporary)) written.Others.push_back(*temporary);
        temporary.reset();
    };
    // Before the kept piece is in place only outer pieces can be; they go,
    // and an earlier kept file was never touched.
    const auto fail = [&] {
        dropTemporary();
        source.Close();
        std::erase_if(written.Others, Remove);
        return written;
    };

    char block[BlockSize];
    for (int i = 0; i <= segLast; ++i) {
        const bool kept = i == 1;
        const std::string& name = names[static_cast<std::size_t>(i)];
        temporary = CreateBeside(name, piece);
        if (kept && !temporary) return fail();
        if (kept && !header.empty() && std::fwrite(header.data(), 1, header.size(), piece.Get()) != header.size())
            return fail();

        const Copied copied =
            CopyPiece(source, piece, kept, segBytes[static_cast<std::size_t>(i)], eventPass, block);
        if (copied == Copied::Abandoned && written.Kept) {
            dropTemporary();
            break;
        }
        if (copied == Copied::Abandoned || copied == Copied::WriteFailed) return fail();
        // Before the kept piece is whole, a source that ends means the
        // selection is not in the file any more; after it, nothing is lost.
        if (copied == Copied::SourceEnded && i <= 1) return fail();

        // An outer piece whose write failed is not put in place.
        const bool whole = piece.IsOpen() && piece.Close();
        std::error_code ec;
        if (whole) fs::rename(*temporary, name, ec);
        if (whole && !ec) {
            temporary.reset();
            if (kept) written.Kept = true;
            else written.Others.push_back(name);
        } else {
            if (kept) return fail();
            dropTemporary();
        }
        if (copied == Copied::SourceEnded) break;
    }
    source.Close();
    return written;
}

bool RemoveOuterPieces(const WrittenPieces& written) {
    bool gone = true;
    for (const std::string& file : written.Others) gone = Remove(file) && gone;
    return gone;
}

}  // namespace sundrel
