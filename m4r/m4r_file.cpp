// SPDX-License-Identifier: GPL-3.0-or-later
#include "m4r_file.h"

#include "aac_mp4.h"
#include "decode_pass.h"
#include "gapless_record.h"
#include "hidden_file.h"

#include <unistd.h>
#include <cerrno>
#include <cstdio>

namespace sundrel {
namespace fs = std::filesystem;

namespace {

// What the hidden file of an M4R being written is named for.
constexpr const char* kM4rTemporary = "m4r";

std::error_code LastError() { return {errno, std::generic_category()}; }

// The bytes into a new hidden file beside `target`, renamed onto it once
// they are all on disk; the hidden file goes on any failure.
std::error_code PutInPlace(const std::vector<std::uint8_t>& bytes, const fs::path& target) {
    fs::path hidden;
    std::FILE* file = CreateHiddenBeside(target, kM4rTemporary, hidden);
    if (!file) return LastError();
    std::error_code why;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fflush(file) != 0 ||
        ::fsync(::fileno(file)) != 0)
        why = LastError();
    if (std::fclose(file) != 0 && !why) why = LastError();
    if (!why) fs::rename(hidden, target, why);
    if (why) {
        std::error_code ignored;
        fs::remove(hidden, ignored);
    }
    return why;
}

}  // namespace

bool IsM4rName(const fs::path& path) {
    const std::string extension = path.extension().string();
    return extension.size() == 4 && extension[0] == '.' && (extension[1] | 0x20) == 'm' && extension[2] == '4' &&
           (extension[3] | 0x20) == 'r';
}

M4rWrite WriteM4r(const fs::path& mp3, const fs::path& target, const std::string& title, const EventPass& eventPass) {
    const std::optional<analysis::DecodedSound> sound = analysis::DecodeWhole(mp3, LongestM4rSeconds);
    if (!sound || sound->Frames() == 0) return {M4rFault::Undecodable, {}, 0};
    M4rWrite result;
    result.Seconds = double(sound->Frames()) / sound->Rate;
    if (double(sound->Frames()) > LongestM4rSeconds * sound->Rate) {
        result.Fault = M4rFault::TooLong;
        return result;
    }
    bool abandoned = false;
    const EventPass pass = [&] { return !eventPass || !(abandoned = !eventPass()); };
    std::optional<AacMp4> encoded = EncodeAacMp4(sound->Samples, sound->Rate, sound->Channels, title, pass);
    if (!encoded) {
        result.Fault = abandoned ? M4rFault::Abandoned : M4rFault::EncoderFailed;
        return result;
    }
    const std::string record =
        GaplessRecordText(encoded->PrimingFrames, encoded->PaddingFrames, std::int64_t(sound->Frames()));
    if (!AddGaplessRecord(encoded->Bytes, record)) {
        result.Fault = M4rFault::EncoderFailed;
        return result;
    }
    result.Why = PutInPlace(encoded->Bytes, target);
    if (result.Why) result.Fault = M4rFault::CannotWrite;
    return result;
}

}  // namespace sundrel
