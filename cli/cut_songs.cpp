// SPDX-License-Identifier: GPL-3.0-or-later
#include "cut_songs.h"

#include "cut_request.h"
#include "hidden_file.h"
#include "kept_file.h"
#include "kept_gain.h"
#include "m4r_file.h"
#include "piece_folder_lock.h"
#include "piece_writer.h"
#include "song_analysis.h"
#include "song_map.h"
#include "song_tags.h"
#include "time_text.h"

#include <algorithm>
#include <cerrno>
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

// The line of a song cut: the ringtone's path, its start, end and length.
SongCut Done(const fs::path& target, const Selection& cut) {
    return {true, target.native() + "\t" + HundredthsText(cut.Start) + "\t" + HundredthsText(cut.End) + "\t" +
                      HundredthsText(cut.End - cut.Start)};
}

// Why an M4R could not be written, from the error of the call that failed.
std::string M4rWriteFailure(const std::error_code& why) {
    switch (why.value()) {
        case ENOENT:
        case ENOTDIR:
            return Said(KeptFault::FolderMissing);
        case EACCES:
        case EPERM:
        case EROFS:
            return Said(KeptFault::CannotCreate);
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return Said(KeptFault::WriteFailed);
        default:
            return "无法写入苹果手机铃声：" + why.message();
    }
}

std::string TooLongForIphone(double seconds) {
    return "苹果手机的铃声最长 " + HundredthsText(LongestM4rSeconds) + " 秒（所选的一段长 " +
           HundredthsText(seconds) + " 秒）";
}

// What stands at an M4R's path and keeps it from being written: the
// checks the kept file's writer makes of an MP3's path.
std::optional<KeptFault> M4rTargetRefused(const fs::path& target, const fs::path& song, bool force) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(target, ec);
    if (!fs::exists(status)) return std::nullopt;
    if (fs::is_directory(fs::status(target, ec))) return KeptFault::TargetIsFolder;
    if (fs::equivalent(target, song, ec)) return KeptFault::TargetIsSong;
    if (!fs::is_regular_file(status) && !fs::is_symlink(status)) return KeptFault::TargetNotAFile;
    if (!force) return KeptFault::TargetExists;
    return std::nullopt;
}

// An output ending in .m4r: the MP3 ringtone is cut first, as for any other
// name, into a hidden file beside the M4R, which is made from its sound;
// then the MP3 goes.
SongCut CutToM4r(const SongMap& map, const CutRequest& request, const fs::path& target, const CutOptions& options,
                 const fs::path& song) {
    if (request.LengthSeconds() > LongestM4rSeconds) return Failed(song, TooLongForIphone(request.LengthSeconds()));
    if (const auto refused = M4rTargetRefused(target, song, options.Force)) return Failed(song, Said(*refused));
    fs::path mp3;
    std::FILE* reserved = CreateHiddenBeside(target, "m4r-mp3", mp3);
    if (!reserved) return Failed(song, M4rWriteFailure({errno, std::generic_category()}));
    std::fclose(reserved);
    const KeptFileResult result = WriteKeptFile(map, request, mp3, {}, Existing::Replace);
    M4rWrite written;
    if (result.Written.Fault == KeptFault::None) written = WriteM4r(mp3, target, song.stem().string());
    std::error_code ec;
    fs::remove(mp3, ec);
    if (result.Written.Fault != KeptFault::None) return Failed(song, Said(result.Written.Fault));
    switch (written.Fault) {
        case M4rFault::None:
            break;
        case M4rFault::TooLong:
            return Failed(song, TooLongForIphone(written.Seconds));
        case M4rFault::CannotWrite:
            return Failed(song, M4rWriteFailure(written.Why));
        default:
            return Failed(song, "无法编码苹果手机铃声");
    }
    return Done(target, result.Moments);
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
    if (IsM4rName(target)) return CutToM4r(*map, *request, target, options, song);
    const KeptFileResult result =
        WriteKeptFile(*map, *request, target, {}, options.Force ? Existing::Replace : Existing::Keep);
    if (result.Written.Fault != KeptFault::None) {
        std::string why = Said(result.Written.Fault);
        if (result.Written.Fault == KeptFault::OutsideSong)
            why += "（歌曲长 " + HundredthsText(map->Duration().value_or(0)) + " 秒）";
        if (result.Written.LeftBehind) why += "；未能删除临时文件 " + result.Written.LeftBehind->native();
        return Failed(song, why);
    }
    return Done(target, result.Moments);
}

}  // namespace sundrel::cli
