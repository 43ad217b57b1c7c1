// SPDX-License-Identifier: GPL-3.0-or-later
#include "cut_options.h"

#include "conventions.h"
#include "kept_gain.h"
#include "time_text.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace sundrel::cli {

namespace {

// The option texts as typed; read into numbers here, so that every refusal
// says what was wrong in the user's language.
struct Typed {
    std::optional<std::string> Start, End, Length, FadeIn, FadeOut, Volume, Output, Folder;
    bool Chorus = false, Force = false, Help = false, Version = false;
    std::vector<std::string> Songs;
};

void AddOptions(CLI::App& app, Typed& typed) {
    app.set_help_flag();  // our own, in two languages
    app.add_option("-s,--start", typed.Start);
    app.add_option("-e,--end", typed.End);
    app.add_option("-l,--length", typed.Length);
    app.add_flag("--chorus", typed.Chorus);
    app.add_option("--fade-in", typed.FadeIn);
    app.add_option("--fade-out", typed.FadeOut);
    app.add_option("--volume", typed.Volume);
    app.add_option("-o,--output", typed.Output);
    app.add_option("-d,--dir", typed.Folder);
    app.add_flag("-f,--force", typed.Force);
    app.add_flag("-h,--help", typed.Help);
    app.add_flag("--version", typed.Version);
    app.add_option("songs", typed.Songs);
}

ParsedCommand Refused(std::string message) {
    ParsedCommand refused;
    refused.Message = std::move(message);
    return refused;
}

// A moment or a length: seconds or minutes:seconds. False, with the
// refusal, when the text is none.
bool ReadTime(const std::optional<std::string>& text, const char* option, std::optional<double>& seconds,
              std::string& refusal) {
    if (!text) return true;
    seconds = ParseTimeText(*text);
    if (!seconds)
        refusal = std::string("无法识别 ") + option + " 的时间“" + *text + "”（应为秒数如 62.43，或 1:02.43）";
    return seconds.has_value();
}

std::optional<std::string> ReadGain(const Typed& typed, KeptGain& gain) {
    std::optional<double> fadeIn, fadeOut;
    std::string refusal;
    if (!ReadTime(typed.FadeIn, "--fade-in", fadeIn, refusal) ||
        !ReadTime(typed.FadeOut, "--fade-out", fadeOut, refusal))
        return refusal;
    gain.FadeInSeconds = fadeIn.value_or(0);
    gain.FadeOutSeconds = fadeOut.value_or(0);
    if (!typed.Volume) return std::nullopt;
    const std::optional<double> db = TextToNumber(*typed.Volume, '.');
    if (!db || !std::isfinite(*db)) return "无法识别 --volume 的分贝数“" + *typed.Volume + "”";
    // The nearest step of 1.5 dB, the one a granule's gain can take.
    const long steps = std::lround(*db / GainStepDb);
    if (std::abs(static_cast<double>(steps) * GainStepDb) > MaxVolumeDb) return "音量须在 -12 dB 与 +12 dB 之间";
    gain.VolumeSteps = static_cast<int>(steps);
    return std::nullopt;
}

std::optional<std::string> ReadMoments(const Typed& typed, Moments& when) {
    std::string refusal;
    if (!ReadTime(typed.Start, "-s", when.StartSeconds, refusal) ||
        !ReadTime(typed.End, "-e", when.EndSeconds, refusal) ||
        !ReadTime(typed.Length, "-l", when.LengthSeconds, refusal))
        return refusal;
    if (typed.Chorus && typed.Start) return "-s 与 --chorus 只能选一个";
    if (!typed.Chorus && !typed.Start) return "请用 -s 指定开始时间，或用 --chorus 从副歌开始";
    if (typed.End && typed.Length) return "-e 与 -l 只能选一个";
    if (typed.Chorus && typed.End) return "--chorus 只能与 -l 一起指定长度";
    if (!typed.Chorus && !typed.End && !typed.Length) return "请用 -e 指定结束时间，或用 -l 指定长度";
    if (when.LengthSeconds && *when.LengthSeconds <= 0) return "长度必须大于0";
    if (when.StartSeconds && when.EndSeconds && *when.EndSeconds <= *when.StartSeconds)
        return "结束时间必须在开始时间之后";
    return std::nullopt;
}

std::optional<std::string> ReadPlaces(const Typed& typed, CutOptions& options) {
    if (typed.Songs.empty()) return "请指定要剪切的MP3文件";
    if (typed.Output && typed.Folder) return "-o 与 -d 只能选一个";
    if (typed.Output && typed.Songs.size() > 1) return "-o 只能用于一首歌";
    if (typed.Output && typed.Output->empty()) return "-o 的文件名是空的";
    if (typed.Folder && typed.Folder->empty()) return "-d 的文件夹名是空的";
    for (const std::string& song : typed.Songs) options.Songs.emplace_back(song);
    if (typed.Output) options.Output = *typed.Output;
    if (typed.Folder) options.Folder = *typed.Folder;
    options.Force = typed.Force;
    return std::nullopt;
}

}  // namespace

ParsedCommand ParseCommand(int argc, const char* const* argv) {
    CLI::App app("sundrel-cut");
    Typed typed;
    AddOptions(app, typed);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return Refused(std::string("命令行有误：") + error.what());
    }
    ParsedCommand parsed;
    if (typed.Help || typed.Version) {
        parsed.What = typed.Help ? ParsedCommand::Kind::Help : ParsedCommand::Kind::Version;
        return parsed;
    }
    CutOptions& options = parsed.Options;
    if (auto refusal = ReadMoments(typed, options.When)) return Refused(*refusal);
    if (auto refusal = ReadGain(typed, options.Gain)) return Refused(*refusal);
    options.FadeOutGiven = typed.FadeOut.has_value();
    if (auto refusal = ReadPlaces(typed, options)) return Refused(*refusal);
    parsed.What = ParsedCommand::Kind::Cut;
    return parsed;
}

}  // namespace sundrel::cli

namespace sundrel::cli {

std::string HelpText() {
    return R"(用法 Usage: sundrel-cut [选项 options] 歌曲.mp3 SONG.mp3...

从MP3歌曲中剪出铃声，不重新编码：所选的帧原样复制到新文件，精确到采样。
Cuts a ringtone out of each MP3 song without re-encoding: the frames of the
selection are copied into a new file, exact to the sample.

  -s, --start 时间 TIME     铃声开始处：秒数 (62.43) 或 分:秒 (1:02.43)
                           where the ringtone begins: seconds or minutes:seconds
  -e, --end 时间 TIME       铃声结束处 where it ends
  -l, --length 秒 SECONDS   或铃声长度 or how long it lasts
      --chorus             从歌曲的副歌开始（长度30秒，除非 -l 另行指定；在节拍上结束，
                           结束在音乐中间时渐出）
                           begin at the song's chorus (30 s unless -l says otherwise;
                           ending on a beat, fading out if it ends inside the music)
      --fade-in 秒 SECONDS  渐入 fade in from silence
      --fade-out 秒 SECONDS 渐出 fade out to silence
                           (各最长为铃声的一半且不超过10秒 each at most half the
                           ringtone and 10 s)
      --volume 分贝 DB      音量，取最近的1.5 dB一级，-12 到 +12 dB
                           volume, to the nearest 1.5 dB step, -12 to +12 dB
  -o, --output 文件 FILE    铃声的路径（仅一首歌） the ringtone's path (one song);
                           以 .m4r 结尾时写苹果手机铃声（AAC，最长40秒，重新编码）
                           ending in .m4r: an iPhone's ringtone (AAC, at most
                           40 s, encoded again)
  -d, --dir 文件夹 FOLDER   铃声存放的文件夹；默认放在每首歌旁边，名为“[铃声]1歌名”
                           where ringtones go; by default beside each song,
                           named "[铃声]1<song name>"
  -f, --force              替换已存在的文件 replace a file that exists
  -h, --help               显示此帮助 show this help
      --version            显示版本 show the version

每首歌在标准输出上一行：铃声路径、开始、结束、长度（秒，精确到0.01），以制表符分隔。
One line per song on standard output: the ringtone's path, its start, end and
length in seconds to 0.01, separated by tabs.

退出状态 Exit status: 0 全部剪切成功 every song was cut; 1 部分失败（其余照常剪切，
失败原因写在标准错误上） some failed (the others were still cut, each failure said
on standard error); 2 用法错误 a usage error.

例 Examples:
  sundrel-cut -s 1:02.43 -l 30 歌.mp3
  sundrel-cut -s 62.43 -e 92.43 --fade-out 2 -o ring.mp3 song.mp3
  sundrel-cut -s 0:45 -l 25 --volume 3 -d ~/铃声 *.mp3
)";
}

}  // namespace sundrel::cli
