// SPDX-License-Identifier: GPL-3.0-or-later
// A bare Qt Widgets window with a title, nothing in it: what startup_bench
// measures the program's start against.

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QString::fromLocal8Bit(argc > 1 ? argv[1] : "bare"));
    window.resize(447, 234);
    window.show();
    return QApplication::exec();
}
