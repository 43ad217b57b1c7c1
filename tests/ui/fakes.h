// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Stand-ins for what cannot run headless: the modal dialogs, the message
// boxes and the file manager. The fake player is for tests that need to set
// the duration and position by hand; others use the real one.

#include "app_services.h"
#include "desktop.h"
#include "media_player.h"

#include <QList>
#include <QPointer>
#include <QStringList>

#include <array>

#include <optional>
#include <utility>

namespace sundrel::testing {

class FakeDesktop final : public Desktop {
public:
    struct Message {
        QString text;
        QString title;
    };

    // Answers handed out in order; "" (or none left) is a cancel.
    QStringList openAnswers, saveAnswers, folderAnswers;
    QList<Message> messages;
    QStringList openedFolders;
    QString openFilter, saveTitle, saveFilter;
    QString openStart, saveStart;  // where each dialog opened last
    QString saveName;              // the name the save dialog proposed

    QString askOpenFile(QWidget*, const QString&, const QString& filter, const QString& folder) override
    {
        openFilter = filter;
        openStart = folder;
        return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
    }
    QString askSaveFile(QWidget*, const QString& title, const QString& filter, const QString& folder,
                        const QString& name) override
    {
        saveName = name;
        saveTitle = title;
        saveFilter = filter;
        saveStart = folder;
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }
    QString pickFolder(QWidget*) override { return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst(); }
    void openFolder(const QString& folder) override { openedFolders << folder; }
    void message(QWidget*, const QString& text, const QString& title) override { messages << Message{text, title}; }
};

class FakePlayer final : public MediaPlayer {
public:
    explicit FakePlayer(int startVolume) : volume(startVolume) {}

    QString url;
    double length = 0;  // what duration() reports once a URL is set
    double position = 0;
    bool paused = false;
    int loads = 0;
    int volume;

    void setURL(const QString& u) override
    {
        url = u;
        position = 0;
        paused = false;
        markStart.reset();
        markEnd.reset();
        loop.reset();
        ++loads;
    }
    QString URL() const override { return url; }
    std::optional<double> duration() const override
    {
        return url.isEmpty() ? std::nullopt : std::optional<double>(length);
    }
    double currentPosition() const override { return position; }
    void pause() override { paused = true; }
    void togglePlay() override { paused = !paused; }
    std::optional<std::pair<double, double>> loop;  // the stretch played in a loop
    void playLoop(double from, double to) override
    {
        loop = {from, to};
        paused = false;
    }
    void stopLoop() override { loop.reset(); }
    bool isLooping() const override { return loop.has_value(); }
    bool failed = false;  // what cannotPlay() reports once a URL is set
    bool cannotPlay() const override { return !url.isEmpty() && failed; }
    void setMarks(std::optional<double> start, std::optional<double> end) override
    {
        markStart = start;
        markEnd = end;
    }
    void setFrameGrid(double first, double frame) override { frameGrid = {first, frame}; }
    void setSongLength(double seconds) override { songLength = seconds; }
    void setFades(double in, double out, double db) override { fades = {in, out, db}; }
    std::optional<double> peakBetween(double, double) const override { return peak; }
    double songLength = 0;
    std::array<double, 3> fades{};  // fade in, fade out, volume in dB
    std::optional<double> peak;     // of any stretch
    void dropMark(PlayerMark mark, double seconds) { emit markMoved(mark, seconds); }
    void askFade(PlayerFade fade, double seconds) { emit fadeSet(fade, seconds); }
    std::optional<double> markStart, markEnd;
    std::pair<double, double> frameGrid;
};

// Everything a window is given, with fakes, and the players it made.
struct FakeServices {
    SharedCutState shared;
    FakeDesktop desktop;
    QList<QPointer<FakePlayer>> players;
    AppServices services{shared, desktop, [this](int volume) {
                             auto* player = new FakePlayer(volume);
                             players << player;
                             return player;
                         }};
};

}  // namespace sundrel::testing
