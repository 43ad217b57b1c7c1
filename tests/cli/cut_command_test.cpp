// SPDX-License-Identifier: GPL-3.0-or-later
// sundrel-cut as a user runs it: a process, real songs, real faults.

#include "lame_frames.h"
#include "midi_song.h"
#include "mp3_fixture.h"
#include "song_analysis.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using namespace sundrel;
using namespace sundrel::test;
namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

struct Outcome {
    int status = -1;  // the exit status; -1 when it did not exit
    std::string out, err;
};

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The program, where an ordinary user may run it: a build under a
// folder only root may enter (a clone in /root) is copied out first.
const std::string& Program() {
    static TempFolder place;
    static const std::string program = [] {
        const std::string copy = place / "sundrel-cut";
        std::error_code ignored;
        fs::copy_file(SUNDREL_CUT_PROGRAM, copy, fs::copy_options::overwrite_existing, ignored);
        fs::permissions(place.Path(),
                        fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                            fs::perms::others_exec,
                        ignored);
        return copy;
    }();
    return program;
}

// The program in `folder` with `args`. Root writes through any mode, so
// a root run gives the program to an ordinary user, owner of the folder.
Outcome RunCut(const std::string& folder, const std::vector<std::string>& args, rlim_t fileLimit = RLIM_INFINITY) {
    static TempFolder streams;
    const std::string out = streams / "out", err = streams / "err";
    const std::string& program = Program();
    const pid_t child = fork();
    if (child == 0) {
        const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const rlimit limit{fileLimit, fileLimit};
        if (outFd < 0 || errFd < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0 || chdir(folder.c_str()) != 0 ||
            setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(120);
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(121);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(122);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
}

// Everything in a folder: each name, kind, size, mode and time of change.
std::map<std::string, std::string> Listing(const fs::path& folder) {
    std::map<std::string, std::string> listing;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        struct stat info {};
        lstat(entry.path().c_str(), &info);
        listing[fs::relative(entry.path(), folder)] =
            std::to_string(info.st_mode) + " " + std::to_string(info.st_size) + " " +
            std::to_string(info.st_mtim.tv_nsec + info.st_mtim.tv_sec * 1000000000L);
    }
    return listing;
}

void GiveToNobody(const fs::path& folder) {
    if (geteuid() != 0) return;
    lchown(folder.c_str(), kNobody, kNobody);
    for (const auto& entry : fs::recursive_directory_iterator(folder)) lchown(entry.path().c_str(), kNobody, kNobody);
}

struct Kind {
    const char* name;
    std::vector<std::string> lame;
};

const std::vector<Kind>& Kinds() {
    static const std::vector<Kind> kinds = {
        {"LAME CBR", {"-b", "128"}},
        {"LAME VBR", {"-V", "2"}},
        {"MPEG-2", {"--resample", "22.05", "-b", "64"}},
        {"CRC-protected", {"-p", "-b", "128"}},
    };
    return kinds;
}

int RateOf(const std::string& song) {
    const std::vector<std::uint8_t> bytes = ReadBytes(fs::path(song));
    return ParseFrameHeader(std::span<const unsigned char>(bytes)).value().SampleRate();
}

}  // namespace

// Each kind cut from 5 s to 15 s, plain and shaped: it starts on the sample
// of 5 s and lasts 10 s; shaped, it is as long and 3 dB louder between its
// fades; and each is the very file the window writes for the same request.
TEST(CutCommand, EveryKindIsCutToTheSampleAsTheWindowCutsIt) {
    const KeptGain shaped{1, 2, 2};
    for (const Kind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        TempFolder folder, window;
        const std::string song = folder / "song.mp3";
        ASSERT_TRUE(MakeQuietLoudMp3(song, 20, kind.lame, 1, 0.5));
        fs::copy_file(song, window / "song.mp3");
        fs::create_directory(folder / "out");
        GiveToNobody(folder.Path());
        const int rate = RateOf(song);
        const Decoded whole = DecodeWithMpg123(song, rate);

        const Outcome plain = RunCut(folder.Path(), {"-s", "5", "-e", "15", "-d", "out", "song.mp3"});
        ASSERT_EQ(plain.status, 0) << plain.err;
        EXPECT_EQ(plain.out, "out/[铃声]1song.mp3\t5.00\t15.00\t10.00\n");
        const Decoded ringtone = DecodeWithMpg123(folder / "out/[铃声]1song.mp3", rate);
        const auto found = LocateExcerpt(whole.samples, Span(ringtone, 0, 1));
        ASSERT_TRUE(found);
        EXPECT_NEAR(double(*found), 5.0 * rate, 1.0);
        EXPECT_NEAR(double(ringtone.samples.size()), 10.0 * rate, 1.0);
        ASSERT_TRUE(CutAsTheWindow(window / "song.mp3", 5, 15).Kept);
        EXPECT_EQ(ReadBytes(fs::path(folder / "out/[铃声]1song.mp3")), ReadBytes(fs::path(window / "[铃声]1song.mp3")));

        const Outcome louder = RunCut(folder.Path(), {"-s", "0:05", "-l", "10", "--fade-in", "1", "--fade-out", "2",
                                                      "--volume", "3", "-o", "shaped.mp3", "song.mp3"});
        ASSERT_EQ(louder.status, 0) << louder.err;
        const Decoded shapedSound = DecodeWithMpg123(folder / "shaped.mp3", rate);
        ASSERT_EQ(shapedSound.samples.size(), ringtone.samples.size());
        const long from = 1 * rate + 576, to = 8 * rate - 576;
        double worst = 0;
        for (long i = from; i < to; ++i) {
            const auto at = static_cast<std::size_t>(i);
            worst = std::max(worst, std::abs(shapedSound.samples[at] - std::sqrt(2.0) * ringtone.samples[at]));
        }
        // Each decoded sample rounded, and the decoder's single precision
        // at full scale.
        EXPECT_LE(worst, 0.5 + std::sqrt(2.0) / 2 + 0.05) << "3 dB louder between the fades";
        ASSERT_TRUE(CutAsTheWindow(window / "song.mp3", 5, 15, shaped).Kept);
        EXPECT_EQ(ReadBytes(fs::path(folder / "shaped.mp3")), ReadBytes(fs::path(window / "[铃声]1song.mp3")));
    }
}

// A song that fails is said with its name; the others are still cut. Names
// are bytes: a Latin-1 one (café) is cut, its twin one byte apart (cafè)
// is missing, and neither is taken for the other.
TEST(CutCommand, OneFailedSongLeavesTheOthersCut) {
    TempFolder folder;
    ASSERT_TRUE(MakeToneMp3(folder / "a.mp3", 8));
    ASSERT_TRUE(MakeToneMp3(folder / "caf\xE9.mp3", 8));
    GiveToNobody(folder.Path());
    const Outcome cut = RunCut(folder.Path(), {"-s", "1", "-l", "2", "a.mp3", "caf\xE8.mp3", "caf\xE9.mp3"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(cut.out, "[铃声]1a.mp3\t1.00\t3.00\t2.00\n[铃声]1caf\xE9.mp3\t1.00\t3.00\t2.00\n");
    EXPECT_NE(cut.err.find("caf\xE8.mp3：找不到此文件"), std::string::npos) << cut.err;
    EXPECT_TRUE(fs::exists(folder / "[铃声]1caf\xE9.mp3"));
}

// --chorus cuts what the analysis proposes, 30 s from the chorus's beat,
// fading out as the proposal says: the bytes the window would write for it.
TEST(CutCommand, ChorusIsTheAnalysisProposal) {
    TempFolder folder, window;
    SongPlan plan;
    plan.name = "c120";
    plan.form = {{Part::Intro, 4},  {Part::Verse, 8},  {Part::Chorus, 8}, {Part::Verse, 8},
                 {Part::Chorus, 8}, {Part::Bridge, 8}, {Part::Chorus, 8}, {Part::Outro, 4}};
    ASSERT_TRUE(MakeSongMp3(folder / "song.mp3", plan));
    fs::copy_file(folder / "song.mp3", window / "song.mp3");
    GiveToNobody(folder.Path());
    const Outcome run = RunCut(folder.Path(), {"--chorus", "-o", "ring.mp3", "song.mp3"});
    ASSERT_EQ(run.status, 0) << run.err;

    const Proposal proposal = ProposalFor(AnalyseSong(window / "song.mp3"), 0);
    EXPECT_EQ(run.out, "ring.mp3\t" + HundredthsText(proposal.StartSeconds) + "\t" +
                           HundredthsText(proposal.EndSeconds) + "\t" +
                           HundredthsText(proposal.EndSeconds - proposal.StartSeconds) + "\n");
    const KeptGain fade{0, proposal.FadeOutSeconds, 0};
    ASSERT_TRUE(CutAsTheWindow(window / "song.mp3", proposal.StartSeconds, proposal.EndSeconds, fade).Kept);
    EXPECT_EQ(ReadBytes(fs::path(folder / "ring.mp3")), ReadBytes(fs::path(window / "[铃声]1song.mp3")));
}

// An output ending in .m4r: an iPhone's ringtone whose sound is that of the
// MP3 ringtone the same command writes (a stereo one, at 256 kbit/s), and
// nothing else left in the folder.
TEST(CutCommand, AnM4rOutputIsTheMp3RingtoneEncodedForAnIphone) {
    TempFolder folder;
    // lame told the mono samples are stereo: two channels of different
    // noise, 20 s long.
    ASSERT_TRUE(MakeQuietLoudMp3(folder / "song.mp3", 40, {"-m", "s", "-b", "256"}, 3, 0.5));
    GiveToNobody(folder.Path());
    const std::vector<std::string> shape = {"-s", "4", "-l", "10", "--fade-out", "2", "--volume", "-3"};
    const auto cut = [&](const char* output) {
        std::vector<std::string> args = shape;
        args.insert(args.end(), {"-o", output, "song.mp3"});
        return RunCut(folder.Path(), args);
    };
    const Outcome m4r = cut("ring.m4r");
    ASSERT_EQ(m4r.status, 0) << m4r.err;
    EXPECT_EQ(m4r.out, "ring.m4r\t4.00\t14.00\t10.00\n");
    ASSERT_EQ(cut("ring.mp3").status, 0);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.Path())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"ring.m4r", "ring.mp3", "song.mp3"}));

    const std::string probe = ProbeWithFfprobe(folder / "ring.m4r");
    for (const char* line : {"major_brand=M4A ", "codec_name=aac", "channels=2", "title=song"})
        EXPECT_NE(probe.find(line), std::string::npos) << line << "\n" << probe;
    const M4rAgainstMp3 compared = CompareM4rWithMp3(folder / "ring.m4r", folder / "ring.mp3");
    std::printf("M4R against the MP3 ringtone: middle SNR %.1f dB, worst level %.2f dB\n", compared.middleSnrDb,
                compared.worstLevelDb);
    EXPECT_GE(compared.m4rSamples, compared.mp3Samples);
    EXPECT_LT(compared.m4rSamples, compared.mp3Samples + 1024);
    // Noise over the whole band hides the encoder's own noise, which it
    // spends its bits to keep just below: some 14 dB here, against 45 dB on
    // the band-limited mono noise of the window's test. A ringtone off by a
    // sample would be near 0 dB.
    EXPECT_GT(compared.middleSnrDb, 10);
    EXPECT_LT(compared.worstLevelDb, 1);
}

struct BadInput {
    const char* name;
    std::function<void(const TempFolder&)> make;  // beside song.mp3, a 20 s tone
    std::vector<std::string> args;
    int status;
    rlim_t fileLimit = RLIM_INFINITY;
};

// Each refused with a message, and nothing in the folder written or changed.
TEST(CutCommand, BadInputChangesNothing) {
    const auto none = [](const TempFolder&) {};
    const auto file = [](const char* name, const char* bytes) {
        return [=](const TempFolder& f) { WriteBytes(f / name, bytes); };
    };
    const std::vector<BadInput> cases = {
        {"missing song", none, {"-s", "5", "-e", "15", "gone.mp3"}, 1},
        {"unreadable song",
         [](const TempFolder& f) { chmod((f / "song.mp3").c_str(), 0); },
         {"-s", "5", "-e", "15", "song.mp3"},
         1},
        {"no MPEG frames", file("text.mp3", "not a song at all\n"), {"-s", "0", "-e", "1", "text.mp3"}, 1},
        {"FLAC renamed",
         [](const TempFolder& f) { MakeToneIn(OtherAudio::Flac, f / "flac.mp3", 3); },
         {"-s", "0", "-e", "1", "flac.mp3"},
         1},
        {"a FIFO",
         [](const TempFolder& f) { mkfifo((f / "fifo.mp3").c_str(), 0644); },
         {"-s", "0", "-e", "1", "fifo.mp3"},
         1},
        {"a folder",
         [](const TempFolder& f) { fs::create_directory(f / "dir.mp3"); },
         {"-s", "0", "-e", "1", "dir.mp3"},
         1},
        {"end past the song", none, {"-s", "5", "-e", "25", "song.mp3"}, 1},
        {"start past the song", none, {"-s", "1:00", "-l", "5", "song.mp3"}, 1},
        {"end before start", none, {"-s", "15", "-e", "5", "song.mp3"}, 2},
        {"garbage time", none, {"-s", "5s", "-e", "15", "song.mp3"}, 2},
        {"negative time", none, {"-s", "-5", "-e", "15", "song.mp3"}, 2},
        {"61 seconds a minute", none, {"-s", "1:60", "-l", "5", "song.mp3"}, 2},
        {"volume not a number", none, {"-s", "5", "-e", "15", "--volume", "nan", "song.mp3"}, 2},
        {"fade too long", none, {"-s", "5", "-e", "15", "--fade-in", "6", "song.mp3"}, 1},
        {"-o for two songs", none, {"-s", "5", "-e", "15", "-o", "x.mp3", "song.mp3", "song.mp3"}, 2},
        {"unknown option", none, {"-s", "5", "-e", "15", "--fast", "song.mp3"}, 2},
        {"output a FIFO, forced",
         [](const TempFolder& f) { mkfifo((f / "pipe.mp3").c_str(), 0644); },
         {"-s", "5", "-e", "15", "-f", "-o", "pipe.mp3", "song.mp3"},
         1},
        {"output exists", file("ring.mp3", "earlier"), {"-s", "5", "-e", "15", "-o", "ring.mp3", "song.mp3"}, 1},
        {"folder missing", none, {"-s", "5", "-e", "15", "-d", "nowhere", "song.mp3"}, 1},
        {"folder read-only",
         [](const TempFolder& f) {
             fs::create_directory(f / "ro");
             chmod((f / "ro").c_str(), 0555);
         },
         {"-s", "5", "-e", "15", "-d", "ro", "song.mp3"},
         1},
        {"output is the song", none, {"-s", "5", "-e", "15", "-f", "-o", "song.mp3", "song.mp3"}, 1},
        {"output links to the song",
         [](const TempFolder& f) { fs::create_symlink("song.mp3", f / "link.mp3"); },
         {"-s", "5", "-e", "15", "-f", "-o", "link.mp3", "song.mp3"},
         1},
        {"output a hard link of the song",
         [](const TempFolder& f) { fs::create_hard_link(f / "song.mp3", f / "hard.mp3"); },
         {"-s", "5", "-e", "15", "-f", "-o", "hard.mp3", "song.mp3"},
         1},
        {"disk full", none, {"-s", "5", "-e", "15", "song.mp3"}, 1, 100'000},
        {"M4R over 40 s", none, {"-s", "0", "-l", "41", "-o", "ring.m4r", "song.mp3"}, 1},
        {"M4R exists", file("ring.m4r", "earlier"), {"-s", "5", "-e", "15", "-o", "ring.m4r", "song.mp3"}, 1},
        {"M4R folder missing", none, {"-s", "5", "-e", "15", "-o", "nowhere/ring.m4r", "song.mp3"}, 1},
        {"M4R folder read-only",
         [](const TempFolder& f) {
             fs::create_directory(f / "ro");
             chmod((f / "ro").c_str(), 0555);
         },
         {"-s", "5", "-e", "15", "-o", "ro/ring.m4r", "song.mp3"},
         1},
    };
    for (const BadInput& bad : cases) {
        SCOPED_TRACE(bad.name);
        TempFolder folder;
        ASSERT_TRUE(MakeToneMp3(folder / "song.mp3", 20));
        bad.make(folder);
        GiveToNobody(folder.Path());
        const auto before = Listing(folder.Path());
        const Outcome run = RunCut(folder.Path(), bad.args, bad.fileLimit);
        EXPECT_EQ(run.status, bad.status) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_NE(run.err.find("sundrel-cut："), std::string::npos) << run.err;
        EXPECT_EQ(Listing(folder.Path()), before);
        chmod((folder / "ro").c_str(), 0755);
    }
}
