// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame_walk.h"

#include "side_info.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <span>
#include <utility>

namespace sundrel {

// ---- FrameIndex ----

void FrameIndex::Note(std::vector<Run>& runs, std::size_t i, std::int64_t value) {
    if (runs.empty() || runs.back().Value != value) runs.push_back({i, value});
}

const FrameIndex::Run& FrameIndex::RunAt(const std::vector<Run>& runs, std::size_t i) {
    const auto after = std::upper_bound(runs.begin(), runs.end(), i,
                                        [](std::size_t frame, const Run& run) { return frame < run.First; });
    return *(after - 1);
}

void FrameIndex::Add(std::int64_t offset, int length, int channelMode, int stream) {
    const std::size_t i = low_.size();
    Note(high_, i, offset >> 32);
    Note(modes_, i, channelMode);
    Note(streams_, i, stream);
    if (chains_.empty() || chains_.back().Value != offset)
        chains_.push_back({i, offset + length});
    else
        chains_.back().Value = offset + length;
    low_.push_back(static_cast<std::uint32_t>(offset));
}

void FrameIndex::Shrink() {
    low_.shrink_to_fit();
    high_.shrink_to_fit();
    chains_.shrink_to_fit();
    modes_.shrink_to_fit();
    streams_.shrink_to_fit();
}

std::int64_t FrameIndex::Offset(std::size_t i) const {
    return RunAt(high_, i).Value << 32 | static_cast<std::int64_t>(low_[i]);
}

std::int64_t FrameIndex::End(std::size_t i) const {
    const auto after = std::upper_bound(chains_.begin(), chains_.end(), i,
                                        [](std::size_t frame, const Run& run) { return frame < run.First; });
    const std::size_t nextChain = after == chains_.end() ? Count() : after->First;
    return i + 1 < nextChain ? Offset(i + 1) : (after - 1)->Value;
}

int FrameIndex::ChannelMode(std::size_t i) const { return static_cast<int>(RunAt(modes_, i).Value); }

int FrameIndex::Stream(std::size_t i) const { return static_cast<int>(RunAt(streams_, i).Value); }

std::size_t FrameIndex::FirstStartingFrom(std::int64_t offset) const {
    std::size_t low = 0, high = Count();
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (Offset(mid) < offset)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

std::size_t FrameIndex::FirstEndingAfter(std::int64_t offset) const {
    std::size_t low = 0, high = Count();
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (End(mid) <= offset)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

std::vector<ByteRange> FrameIndex::Stretches(std::size_t first, std::size_t after) const {
    std::vector<ByteRange> stretches;
    if (first >= after || after > Count()) return stretches;
    // The chain that holds `first`, then each chain after it up to `after`.
    auto chain = std::upper_bound(chains_.begin(), chains_.end(), first,
                                  [](std::size_t frame, const Run& run) { return frame < run.First; }) -
                 1;
    for (std::size_t i = first; i < after; ++chain) {
        const std::size_t chainAfter = chain + 1 == chains_.end() ? Count() : (chain + 1)->First;
        const std::size_t last = std::min(after, chainAfter) - 1;
        stretches.push_back({Offset(i), last + 1 == chainAfter ? chain->Value : Offset(last + 1)});
        i = last + 1;
    }
    return stretches;
}

// ---- the walk ----

namespace {

// Adjacent frames needed before frames of another stream than the one
// before them count: a second song joined on, not garbage that chains.
constexpr int NewStreamFrames = 16;
// Read at a time; the event pass runs after each read.
constexpr std::int64_t ChunkSize = 256 * 1024;
// Enough bytes beyond a position to check a chain from it, and to find the
// length of free-format frames at any frame of the chain.
constexpr std::int64_t Lookahead = 64 * 1024;
static_assert(Lookahead >= (NewStreamFrames + LockFrames) * MaxFrameLength + FrameHeaderLength);

class Walker {
public:
    Walker(std::istream& in, std::int64_t first, std::int64_t end, const EventPass& eventPass)
        : in_(in), end_(end), bufferStart_(first), eventPass_(eventPass) {
        buffer_.reserve(static_cast<std::size_t>(ChunkSize + Lookahead));
    }

    std::optional<FrameWalk> Run() {
        in_.clear();
        in_.seekg(bufferStart_);
        std::int64_t pos = bufferStart_;
        bool locked = false;
        while (pos + FrameHeaderLength <= end_) {
            if (!Fill(pos)) return std::nullopt;
            if (pos + FrameHeaderLength > end_) break;
            const unsigned char* at = At(pos);
            if (locked) {
                const auto header = HeaderAt(pos, freeLength_);
                // The length is worked out once a frame: it costs two divisions.
                const int length = header ? header->Length() : 0;
                if (header && SameStream(*header, *current_) && pos + length <= end_) {
                    Take(pos, *header, length);
                    pos += length;
                    continue;
                }
                // Another stream may begin right here.
                locked = false;
                continue;
            }
            if (soundEnd_ && pos - *soundEnd_ > MaxGapInSound) {
                walk_.SoundEnd = soundEnd_;
                break;
            }
            if (*at != FrameSyncByte) {
                const auto* next = static_cast<const unsigned char*>(
                    std::memchr(at, FrameSyncByte, static_cast<std::size_t>(BufferEnd() - pos)));
                pos = next ? pos + (next - at) : BufferEnd();
                continue;
            }
            if (const auto header = ChainStartsAt(pos)) {
                if (!walk_.Stream) walk_.Stream = header;
                current_ = header;
                freeLength_ = header->FreeFormatLength;
                locked = true;
            } else {
                ++pos;
            }
        }
        walk_.Frames.Shrink();
        return std::move(walk_);
    }

private:
    std::int64_t BufferEnd() const { return bufferStart_ + static_cast<std::int64_t>(buffer_.size()); }
    const unsigned char* At(std::int64_t pos) const { return buffer_.data() + (pos - bufferStart_); }
    // The bytes read from pos on.
    std::span<const unsigned char> From(std::int64_t pos) const {
        return {At(pos), static_cast<std::size_t>(BufferEnd() - pos)};
    }

    // Makes [pos, pos + Lookahead) readable as far as the sound goes. A file
    // that has shrunk since it was measured ends where its bytes end.
    bool Fill(std::int64_t pos) {
        const std::int64_t wanted = std::min(end_, pos + Lookahead);
        if (wanted <= BufferEnd()) return true;
        buffer_.erase(buffer_.begin(), buffer_.begin() + (pos - bufferStart_));
        bufferStart_ = pos;
        while (BufferEnd() < wanted) {
            const std::int64_t count = std::min(ChunkSize, end_ - BufferEnd());
            const std::size_t had = buffer_.size();
            buffer_.resize(had + static_cast<std::size_t>(count));
            in_.read(reinterpret_cast<char*>(buffer_.data() + had), count);
            const std::int64_t got = in_.gcount();
            buffer_.resize(had + static_cast<std::size_t>(got));
            if (got < count) end_ = BufferEnd();
            if (eventPass_ && !eventPass_()) return false;
        }
        return true;
    }

    // The header at pos. A free-format one is read with the length of its
    // stream's frames, `freeLength`, found from pos when it is not known.
    std::optional<FrameHeader> HeaderAt(std::int64_t pos, int& freeLength) const {
        if (auto header = ParseFrameHeader(From(pos), freeLength); header || freeLength != 0) return header;
        freeLength = FreeFormatLengthAt(pos);
        return freeLength == 0 ? std::nullopt : ParseFrameHeader(From(pos), freeLength);
    }

    // The length of the unpadded frames of the free-format stream whose
    // frame begins at pos: the distance to the next frame of the stream in
    // free format, less this one's padding, confirmed by a chain of such
    // frames (11172-3 2.4.2.3: a free format stream keeps its bit rate); 0
    // when there is none. A Layer III frame holds at least its side
    // information.
    int FreeFormatLengthAt(std::int64_t pos) const {
        const auto first = ParseFrameHeader(From(pos), ShortestFreeFormatLength);
        if (!first || first->BitRateIndex != FreeFormatBitRateIndex) return 0;
        const int padding = first->Length() - first->FreeFormatLength;
        const int shortest = first->Layer == 3 ? MainDataOffset(*first) : ShortestFreeFormatLength;
        for (int length = shortest + padding; length <= MaxFrameLength; ++length) {
            const std::int64_t next = pos + length;
            if (next + FrameHeaderLength > end_) break;
            if (*At(next) != FrameSyncByte) continue;
            const auto header = ParseFrameHeader(From(next), ShortestFreeFormatLength);
            if (!header || header->BitRateIndex != FreeFormatBitRateIndex || !SameStream(*header, *first)) continue;
            if (FreeFormatChain(pos, length - padding, *first)) return length - padding;
        }
        return 0;
    }

    // LockFrames frames of the stream of `first` from pos on, its
    // free-format ones of `length`, or fewer that end the sound.
    bool FreeFormatChain(std::int64_t pos, int length, const FrameHeader& first) const {
        for (int frames = 0; frames < LockFrames; ++frames) {
            if (pos == end_) return true;
            const auto header = pos + FrameHeaderLength <= end_ ? ParseFrameHeader(From(pos), length) : std::nullopt;
            if (!header || !SameStream(*header, first)) return false;
            pos += header->Length();
            if (pos > end_) return false;
        }
        return true;
    }

    // The first header of enough adjacent frames of one stream starting at
    // pos; nothing when they do not chain.
    std::optional<FrameHeader> ChainStartsAt(std::int64_t pos) const {
        int freeLength = 0;
        const auto first = HeaderAt(pos, freeLength);
        if (!first) return std::nullopt;
        const bool newStream = current_ && !SameStream(*first, *current_);
        const int needed = newStream ? NewStreamFrames : LockFrames;
        std::int64_t at = pos;
        for (int frames = 0; frames < needed; ++frames) {
            // Frames that lead exactly to the end are no garbage.
            if (at == end_ && frames > 0) return first;
            if (at + FrameHeaderLength > end_) return std::nullopt;
            const auto header = HeaderAt(at, freeLength);
            if (!header || !SameStream(*header, *first)) return std::nullopt;
            at += header->Length();
            if (at > end_) return std::nullopt;
        }
        return first;
    }

    void Take(std::int64_t pos, const FrameHeader& header, int length) {
        soundEnd_ = pos + length;
        if (!firstTaken_) {
            firstTaken_ = true;
            if (const auto headerFrame = ReadHeaderFrame(From(pos), header)) {
                walk_.HeaderFrameEnd = pos + length;
                walk_.Header = *headerFrame;
                return;
            }
        }
        if (walk_.Frames.Count() == 0)
            firstBitRate_ = header.BitRateIndex;
        else if (header.BitRateIndex != firstBitRate_)
            walk_.SameBitRate = false;
        if (walk_.Streams.empty() || !SameStream(header, walk_.Streams.back().Header))
            walk_.Streams.push_back({walk_.Frames.Count(), header});
        walk_.Frames.Add(pos, length, header.ChannelMode, static_cast<int>(walk_.Streams.size()) - 1);
    }

    std::istream& in_;
    std::int64_t end_;
    std::int64_t bufferStart_;
    const EventPass& eventPass_;
    std::vector<unsigned char> buffer_;
    FrameWalk walk_;
    std::optional<FrameHeader> current_;    // the stream being followed
    int freeLength_ = 0;                    // of its free-format frames, once found
    std::optional<std::int64_t> soundEnd_;  // after the last frame taken
    bool firstTaken_ = false;
    int firstBitRate_ = 0;
};

}  // namespace

std::optional<FrameWalk> WalkFrames(std::istream& in, std::int64_t first, std::int64_t end,
                                    const EventPass& eventPass) {
    if (first >= end) return FrameWalk{};
    return Walker(in, first, end, eventPass).Run();
}

}  // namespace sundrel
