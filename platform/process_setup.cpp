// SPDX-License-Identifier: GPL-3.0-or-later
#include "process_setup.h"

#include <QFile>

#include <csignal>

namespace sundrel {

void PrepareProcess() { std::signal(SIGXFSZ, SIG_IGN); }

QStringList UserArguments(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QFile::decodeName(QByteArray(argv[i]));
    return arguments;
}

}  // namespace sundrel
