// SPDX-License-Identifier: GPL-3.0-or-later
#include "gapless_record.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

namespace sundrel {

namespace {

// An MPEG-4 box (ISO/IEC 14496-12, 4.2): a 32-bit big-endian size that
// counts its 8-byte header, then its four-letter type, then its body
// (other boxes, for those here).
struct Box {
    std::size_t At = 0;
    std::size_t Size = 0;
};

std::uint32_t ReadBigEndian(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t(bytes[at]) << 24 | std::uint32_t(bytes[at + 1]) << 16 | std::uint32_t(bytes[at + 2]) << 8 |
           std::uint32_t(bytes[at + 3]);
}

void PutBigEndian(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + std::size_t(i)] = std::uint8_t(value >> (24 - 8 * i));
}

// The child box of `type` between `from` and `to`. A size of 0 (to the
// end) or 1 (64-bit) is not one a muxer gives the boxes we edit: none.
std::optional<Box> FindBox(std::span<const std::uint8_t> bytes, std::size_t from, std::size_t to,
                           const char (&type)[5]) {
    for (std::size_t at = from; at + 8 <= to;) {
        const std::size_t size = ReadBigEndian(bytes, at);
        if (size < 8 || size > to - at) return std::nullopt;
        if (std::equal(type, type + 4, bytes.begin() + std::ptrdiff_t(at) + 4)) return Box{at, size};
        at += size;
    }
    return std::nullopt;
}

void Append(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.resize(out.size() + 4);
    PutBigEndian(out, out.size() - 4, value);
}

void Append(std::vector<std::uint8_t>& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

// A box of `type` around `body`.
std::vector<std::uint8_t> Boxed(const char (&type)[5], const std::vector<std::uint8_t>& body) {
    std::vector<std::uint8_t> box;
    Append(box, std::uint32_t(8 + body.size()));
    Append(box, std::string_view(type, 4));
    box.insert(box.end(), body.begin(), body.end());
    return box;
}

// iTunes's freeform item: "----" holding "mean" (the owner, reverse-DNS),
// "name" and "data"; mean and name are full boxes (4 bytes of version and
// flags, 0), data has a type (1: UTF-8 text) and a locale (0).
std::vector<std::uint8_t> FreeformItem(std::string_view name, std::string_view text) {
    std::vector<std::uint8_t> mean, label, data;
    Append(mean, 0);
    Append(mean, "com.apple.iTunes");
    Append(label, 0);
    Append(label, name);
    Append(data, 1);
    Append(data, 0);
    Append(data, text);
    std::vector<std::uint8_t> body = Boxed("mean", mean);
    for (const auto& part : {Boxed("name", label), Boxed("data", data)}) body.insert(body.end(), part.begin(), part.end());
    return Boxed("----", body);
}

}  // namespace

std::string GaplessRecordText(std::int64_t priming, std::int64_t padding, std::int64_t sampleFrames) {
    std::array<char, 160> text{};
    std::snprintf(text.data(), text.size(),
                  " 00000000 %08" PRIX32 " %08" PRIX32 " %016" PRIX64
                  " 00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000",
                  std::uint32_t(priming), std::uint32_t(padding), std::uint64_t(sampleFrames));
    return text.data();
}

bool AddGaplessRecord(std::vector<std::uint8_t>& file, const std::string& text) {
    const std::span<const std::uint8_t> bytes(file);
    const auto moov = FindBox(bytes, 0, bytes.size(), "moov");
    if (!moov || moov->At + moov->Size != bytes.size()) return false;
    const auto udta = FindBox(bytes, moov->At + 8, moov->At + moov->Size, "udta");
    if (!udta) return false;
    const auto meta = FindBox(bytes, udta->At + 8, udta->At + udta->Size, "meta");
    if (!meta || meta->Size < 12) return false;
    // meta is a full box (14496-12, 8.11.1): its children follow its
    // version and flags.
    const auto ilst = FindBox(bytes, meta->At + 12, meta->At + meta->Size, "ilst");
    if (!ilst) return false;

    const std::vector<std::uint8_t> item = FreeformItem("iTunSMPB", text);
    for (const Box* holder : {&*moov, &*udta, &*meta, &*ilst})
        if (std::uint64_t(holder->Size) + item.size() > UINT32_MAX) return false;
    file.insert(file.begin() + std::ptrdiff_t(ilst->At + ilst->Size), item.begin(), item.end());
    for (const Box* holder : {&*moov, &*udta, &*meta, &*ilst})
        PutBigEndian(file, holder->At, std::uint32_t(holder->Size + item.size()));
    return true;
}

}  // namespace sundrel
