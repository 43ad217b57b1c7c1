// SPDX-License-Identifier: GPL-3.0-or-later
#include "process_setup.h"

#include "engine_path.h"

#include <csignal>

namespace sundrel {

void PrepareProcess() { std::signal(SIGXFSZ, SIG_IGN); }

QStringList UserArguments(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QtPath(std::filesystem::path(argv[i]));
    return arguments;
}

bool TakeNewWindowOption(QStringList& arguments)
{
    const qsizetype names = arguments.indexOf(QStringLiteral("--"));
    const qsizetype end = names < 0 ? arguments.size() : names;
    bool found = false;
    for (qsizetype i = end - 1; i >= 0; --i)
        if (arguments.at(i) == QLatin1String("--new-window")) {
            arguments.removeAt(i);
            found = true;
        }
    return found;
}

}  // namespace sundrel
