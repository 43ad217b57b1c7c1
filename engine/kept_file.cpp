// SPDX-License-Identifier: GPL-3.0-or-later
#include "kept_file.h"

#include "hidden_file.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

namespace sundrel {
namespace fs = std::filesystem;

namespace {

// An end typed from a length shown to the hundredth may lie past the last
// sample by up to half of one.
constexpr double EndSlackSeconds = 0.005;

bool WriteAll(Stream& file, const std::vector<unsigned char>& bytes) {
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file.Get()) == bytes.size();
}

KeptFault FaultOf(Copied copied) {
    switch (copied) {
        case Copied::All:
            return KeptFault::None;
        case Copied::Abandoned:
            return KeptFault::Abandoned;
        case Copied::SourceEnded:
            return KeptFault::SourceChanged;
        case Copied::WriteFailed:
            break;
    }
    return KeptFault::WriteFailed;
}

KeptFault FaultOf(GainPass pass) {
    switch (pass) {
        case GainPass::Done:
            return KeptFault::None;
        case GainPass::Refused:
            return KeptFault::GainRefused;
        case GainPass::Abandoned:
            return KeptFault::Abandoned;
        case GainPass::Failed:
            break;
    }
    return KeptFault::WriteFailed;
}

// Header, stretch, trailer and gain into the open hidden file.
KeptFault Fill(Stream& source, Stream& kept, const KeptContent& content, const EventPass& eventPass) {
    if (!WriteAll(kept, content.Header)) return KeptFault::WriteFailed;
    const KeptFault copied =
        FaultOf(CopyStretch(source, kept, Piece::Needed, content.At, content.Count, content.Ranges, eventPass));
    if (copied != KeptFault::None) return copied;
    if (!WriteAll(kept, content.Trailer)) return KeptFault::WriteFailed;
    if (!content.Gain.Gain.Any()) return KeptFault::None;
    return FaultOf(ApplyGainToKeptFile(kept.Get(), content.Gain, eventPass));
}

KeptFault CheckRequest(const SongMap& song, const CutRequest& request, Selection& moments) {
    if (song.File().OtherFormat || song.Frames().Count() == 0) return KeptFault::NoFrames;
    const double duration = song.Duration().value_or(0);
    if (!(duration > 0)) return KeptFault::Silent;
    if (!(request.EndSeconds > request.StartSeconds)) return KeptFault::EndNotAfterStart;
    if (!(request.StartSeconds >= 0) || !(request.EndSeconds <= duration + EndSlackSeconds))
        return KeptFault::OutsideSong;
    moments = {request.StartSeconds, std::min(request.EndSeconds, duration)};
    const double longest = LongestFadeSeconds(moments.End - moments.Start);
    const KeptGain& gain = request.Gain;
    if (!(gain.FadeInSeconds >= 0 && gain.FadeInSeconds <= longest) ||
        !(gain.FadeOutSeconds >= 0 && gain.FadeOutSeconds <= longest))
        return KeptFault::FadeTooLong;
    if (gain.VolumeSteps < MinVolumeSteps) return KeptFault::VolumeTooLow;
    return KeptFault::None;
}

KeptFault CheckTarget(const fs::path& songPath, const fs::path& target, Existing existing) {
    std::error_code ec;
    // Also through a link or another hard link: renamed onto, the song
    // would be lost.
    if (fs::equivalent(target, songPath, ec) && !ec) return KeptFault::TargetIsSong;
    if (fs::is_directory(fs::status(target, ec))) return KeptFault::TargetIsFolder;
    // A link that leads nowhere is a file there all the same; a link is
    // replaced, never what it leads to. Renamed onto, /dev/null would be
    // the ringtone for everyone.
    const fs::file_status here = fs::symlink_status(target, ec);
    if (fs::exists(here) && !fs::is_regular_file(here) && !fs::is_symlink(here)) return KeptFault::TargetNotAFile;
    if (existing == Existing::Keep && fs::exists(here)) return KeptFault::TargetExists;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (!fs::is_directory(fs::status(folder, ec))) return KeptFault::FolderMissing;
    return KeptFault::None;
}

}  // namespace

KeptContent ContentOf(const KeptPlan& plan) {
    const KeptPiece& piece = plan.Piece;
    return {piece.Header, piece.Begin(), piece.End() - piece.Begin(), piece.Ranges, piece.Trailer, plan.Gain};
}

KeptWrite PutKeptFile(Stream& source, const KeptContent& content, const fs::path& target, const EventPass& eventPass) {
    fs::path hidden;
    Stream kept;
    if (!kept.Adopt(CreateHiddenBeside(target, PieceTemporary, hidden))) return {KeptFault::CannotCreate, {}};
    KeptFault fault = Fill(source, kept, content, eventPass);
    if (fault == KeptFault::None && !kept.Close()) fault = KeptFault::WriteFailed;
    std::error_code ec;
    if (fault == KeptFault::None) {
        fs::rename(hidden, target, ec);
        if (!ec) return {};
        fault = KeptFault::CannotPutInPlace;
    }
    kept.Close();
    fs::remove(hidden, ec);
    if (ec) return {fault, hidden};
    return {fault, {}};
}

KeptFileResult WriteKeptFile(const SongMap& song, const CutRequest& request, const fs::path& target,
                             const EventPass& eventPass, Existing existing) {
    KeptFileResult result;
    KeptFault& fault = result.Written.Fault;
    fault = CheckRequest(song, request, result.Moments);
    if (fault == KeptFault::None) fault = CheckTarget(song.Path(), target, existing);
    if (fault != KeptFault::None) return result;
    const std::optional<KeptPlan> plan = PlanKept(song, result.Moments, request.Gain);
    if (!plan) {
        fault = KeptFault::TooShort;
        return result;
    }
    const KeptContent content = ContentOf(*plan);
    Stream source;
    if (!source.Open(song.Path(), "rb") || std::fseek(source.Get(), static_cast<long>(content.At), SEEK_SET) != 0) {
        fault = KeptFault::SourceChanged;
        return result;
    }
    result.Written = PutKeptFile(source, content, target, eventPass);
    return result;
}

}  // namespace sundrel
