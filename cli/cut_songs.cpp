// SPDX-License-Identifier: GPL-3.0-or-later
#include "cut_songs.h"

#include "cut_request.h"
#include "kept_file.h"
#include "kept_gain.h"
#include "piece_folder_lock.h"
#include "piece_writer.h"
#include "song_analysis.h"
#include "song_map.h"
#include "song_tags.h"
#include "time_text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

namespace sundrel::cli {
namespace fs = std::filesystem;

namespace {

// How long a cut waits for another cut into the same folder, as the window's does.
constexpr int kLockWaitMs = 30'000;

const char* Said(KeptFault fault) {
    switch (fault) {
        case KeptFault::None:
            return "";
        case KeptFault::NoFrames:
            return "只能剪切MP3文件：其中没有MPEG音频帧（其他格式请先转换）";
        case KeptFault::Silent:
            return "此MP3文件没有声音，不能剪切";
        case KeptFault::EndNotAfterStart:
            return "结束时间必须在开始时间之后";
        case KeptFault::OutsideSong:
            return "时间超出了歌曲的长度";
        case KeptFault::TooShort:
            return "所选的一段不足一帧";
        case KeptFault::FadeTooLong:
            return "渐入、渐出各最长为铃声的一半，且不超过10秒";
        case KeptFault::VolumeTooLow:
            return "音量最低为 -12 dB";
        case KeptFault::TargetIsSong:
            return "铃声的文件就是这首歌本身";
        case KeptFault::TargetIsFolder:
            return "铃声的路径是一个文件夹";
        case KeptFault::TargetNotAFile:
            return "铃声的路径上是设备、管道之类，不是普通文件，不会替换它";
        case KeptFault::TargetExists:
            return "铃声的文件已存在（用 -f 替换）";
        case KeptFault::FolderMissing:
            return "存放铃声的文件夹不存在";
        case KeptFault::CannotCreate:
            return "无法在存放铃声的文件夹中写入";
        case KeptFault::SourceChanged:
            return "读取歌曲失败，文件可能已改变";
        case KeptFault::WriteFailed:
            return "写入铃声失败（磁盘已满？）";
        case KeptFault::GainRefused:
            return "此文件的帧无法渐入渐出或调节音量";
        case KeptFault::CannotPutInPlace:
            return "无法把铃声放到它的路径上";
        case KeptFault::Abandoned:
            break;
    }
    return "剪切已中止";
}

SongCut Failed(const fs::path& song, const std::string& why) { return {false, song.native() + "：" + why}; }

// Only a regular file that can be read is mapped: a FIFO or a device would
// block the walk, a folder has no frames.
std::optional<std::string> RefusedSong(const fs::path& song) {
    std::error_code ec;
    const fs::file_status status = fs::status(song, ec);
    if (!fs::exists(status)) return "找不到此文件";
    if (fs::is_directory(status)) return "这是一个文件夹，不是MP3文件";
    if (!fs::is_regular_file(status)) return "这不是普通文件";
    std::FILE* file = std::fopen(song.c_str(), "rb");
    if (!file) return "无法读取此文件";
    std::fclose(file);
    return std::nullopt;
}

// -o, or the window's name for the kept piece in -d or beside the song.
fs::path TargetOf(const CutOptions& options, const fs::path& song) {
    if (options.Output) return *options.Output;
    const fs::path folder = options.Folder ? *options.Folder : song.parent_path();
    return PieceName(folder.empty() ? folder : folder / "", song.filename(), 1);
}

// The song's chorus, as the window proposes it: from the best candidate's
// beat, as long as asked (30 s), fading out where it ends inside the music
// unless --fade-out says otherwise. Nothing for a song whose sound cannot
// be analysed, or that has no stretch to propose.
std::optional<CutRequest> ChorusRequest(const CutOptions& options, const fs::path& song) {
    const SongAnalysis analysis = AnalyseSong(song);
    if (!analysis.Finished || analysis.Candidates.empty()) return std::nullopt;
    const Proposal proposal = ProposalFor(analysis, 0, options.When.LengthSeconds.value_or(ChorusLengthSeconds));
    CutRequest request{proposal.StartSeconds, proposal.EndSeconds, options.Gain};
    if (!options.FadeOutGiven)
        request.Gain.FadeOutSeconds = std::min(proposal.FadeOutSeconds, LongestFadeSeconds(request.LengthSeconds()));
    return request;
}

CutRequest RequestFor(const CutOptions& options) {
    const Moments& when = options.When;
    const double start = when.StartSeconds.value_or(0);
    return {start, when.EndSeconds ? *when.EndSeconds : start + when.LengthSeconds.value_or(0), options.Gain};
}

}  // namespace

SongCut CutSong(const CutOptions& options, const fs::path& song) {
    if (const std::optional<std::string> refusal = RefusedSong(song)) return Failed(song, *refusal);
    const std::optional<SongMap> map = MapSong(song, ReadSongFile(song));
    if (!map) return Failed(song, "无法读取此文件");
    std::optional<CutRequest> request = RequestFor(options);
    // Only a song with frames is worth its sound's analysis; another is
    // refused below for what it is.
    const bool frames = map->Frames().Count() > 0 && !map->File().OtherFormat;
    if (!options.When.StartSeconds && frames) {
        request = ChorusRequest(options, song);
        if (!request) return Failed(song, "找不到可作铃声的副歌");
        // The analysis's decoder and the song map may tell the end apart
        // by a few samples.
        request->EndSeconds = std::min(request->EndSeconds, map->Duration().value_or(0));
    }
    const fs::path target = TargetOf(options, song);
    // The folder's lock, as the window takes it: a window cutting into the
    // same folder meanwhile waits for this cut, and never takes its hidden
    // file for a killed cut's leftover; this cut waits for the window's.
    PieceFolderLock lock(target.has_parent_path() ? target.parent_path().native() : std::string("."));
    for (int waitedMs = 0; lock.state() == PieceFolderLock::State::Busy && waitedMs < kLockWaitMs; waitedMs += 5) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        lock.tryAgain();
    }
    if (lock.state() == PieceFolderLock::State::Busy) return Failed(song, "另有剪切占用此文件夹，请稍后再试");
    const KeptFileResult result =
        WriteKeptFile(*map, *request, target, {}, options.Force ? Existing::Replace : Existing::Keep);
    if (result.Written.Fault != KeptFault::None) {
        std::string why = Said(result.Written.Fault);
        if (result.Written.Fault == KeptFault::OutsideSong)
            why += "（歌曲长 " + HundredthsText(map->Duration().value_or(0)) + " 秒）";
        if (result.Written.LeftBehind) why += "；未能删除临时文件 " + result.Written.LeftBehind->native();
        return Failed(song, why);
    }
    const Selection& cut = result.Moments;
    return {true, target.native() + "\t" + HundredthsText(cut.Start) + "\t" + HundredthsText(cut.End) + "\t" +
                      HundredthsText(cut.End - cut.Start)};
}

}  // namespace sundrel::cli
