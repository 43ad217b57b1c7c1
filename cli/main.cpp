// SPDX-License-Identifier: GPL-3.0-or-later
// sundrel-cut: the command-line cutter, over the same engine as the window.

#include "cut_options.h"
#include "cut_songs.h"

#include <csignal>
#include <cstdio>
#include <filesystem>

namespace {

// Exit statuses: every song cut, some failed, the command line is wrong.
constexpr int AllCut = 0;
constexpr int SomeFailed = 1;
constexpr int UsageError = 2;

}  // namespace

int main(int argc, char** argv) {
    using namespace sundrel::cli;
    // A file size limit reached is a failed write to say, not a death; and
    // a reader of the lines that goes away (`| head -1`) leaves the other
    // songs to be cut as asked.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    const ParsedCommand command = ParseCommand(argc, argv);
    switch (command.What) {
        case ParsedCommand::Kind::Help:
            std::fputs(HelpText().c_str(), stdout);
            return AllCut;
        case ParsedCommand::Kind::Version:
            std::puts("sundrel-cut " SUNDREL_VERSION);
            return AllCut;
        case ParsedCommand::Kind::UsageError:
            std::fprintf(stderr, "sundrel-cut：%s\n请用 sundrel-cut --help 查看用法。\n", command.Message.c_str());
            return UsageError;
        case ParsedCommand::Kind::Cut:
            break;
    }
    int status = AllCut;
    for (const std::filesystem::path& song : command.Options.Songs) {
        const SongCut cut = CutSong(command.Options, song);
        std::fprintf(cut.Cut ? stdout : stderr, cut.Cut ? "%s\n" : "sundrel-cut：%s\n", cut.Line.c_str());
        std::fflush(stdout);
        if (!cut.Cut) status = SomeFailed;
    }
    return status;
}
