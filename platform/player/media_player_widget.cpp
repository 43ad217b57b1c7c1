// SPDX-License-Identifier: GPL-3.0-or-later
#include "media_player_widget.h"

#include "after_first_paint.h"
#include "decode_pass.h"
#include "engine_path.h"
#include "gst_playback.h"
#include "peak_decoder.h"
#include "player_keys.h"
#include "song_map.h"
#include "time_entry.h"
#include "waveform_accessible.h"
#include "waveform_bar.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <optional>

namespace sundrel {

namespace {

// A one-line label that shortens its text with "…" in the middle instead of
// widening the player: a long file name must not push the controls out of
// the small windows. text() keeps the whole text.
class ElidedLabel final : public QLabel {
public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
    QSize sizeHint() const override { return {0, QLabel::sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(foregroundRole()));
        const QRect area = contentsRect();
        painter.drawText(area, int(alignment()), fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
    }
};

// The volume slider reads like a loudness control; the sound output wants a
// linear gain. The cube is the curve GStreamer and the sound servers use.
double LinearGain(int volume)
{
    const double level = qBound(0, volume, 100) / 100.0;
    return level * level * level;
}

int VolumeOfGain(double gain) { return qRound(std::cbrt(qMax(0.0, gain)) * 100.0); }

const QColor kLengthWarning(0xff, 0x7b, 0x5c);

// The selection as the display's top line tells it: start, end and length
// to the hundredth of a second, then the fades and the volume when set.
QString SelectionLine(const WaveformBar& wave, bool& tooLong)
{
    const auto seconds = [](double s, int decimals) { return QString::number(s, 'f', decimals); };
    const std::optional<double> start = wave.shownMark(PlayerMark::Start);
    const std::optional<double> end = wave.shownMark(PlayerMark::End);
    tooLong = false;
    if (!start) {
        return {};
    }
    if (!end) {
        return QStringLiteral("开始 %1 秒").arg(seconds(*start, 2));
    }
    const double length = *end - *start;
    tooLong = length > kLongestRingtoneSeconds;
    QString lengthText = QStringLiteral("长 %1 秒").arg(seconds(length, 2));
    if (tooLong) {
        lengthText = QStringLiteral("<span style=\"color:%1\">%2</span>").arg(kLengthWarning.name(), lengthText);
    }
    QString line = QStringLiteral("%1 – %2 秒，%3").arg(seconds(*start, 2), seconds(*end, 2), lengthText);
    if (const double in = wave.shownFade(PlayerFade::In); in > 0) {
        line += QStringLiteral("&nbsp;&nbsp;渐入 %1 秒").arg(seconds(in, 1));
    }
    if (const double out = wave.shownFade(PlayerFade::Out); out > 0) {
        line += QStringLiteral("&nbsp;&nbsp;渐出 %1 秒").arg(seconds(out, 1));
    }
    if (wave.volumeDb() != 0) {
        line += QStringLiteral("&nbsp;&nbsp;音量 %1 dB").arg(QString::asprintf("%+.1f", wave.volumeDb()));
    }
    return line;
}

// Only a regular file whose tags GStreamer can survive is handed to it: a
// FIFO or a device would block the opening for ever, and some impossible
// tag sizes make GStreamer abort the whole program.
bool MayPlay(const QString& path) { return ReadSongFile(EnginePath(path)).SafeToDecode; }

QToolButton* MakeButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon, const QString& tip)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoRaise(true);
    button->setIconSize({16, 16});
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolTip(tip);
    // An icon alone says nothing to a screen reader.
    button->setAccessibleName(tip);
    return button;
}

}  // namespace

QString ClockText(qint64 milliseconds)
{
    const qint64 total = qMax<qint64>(0, milliseconds) / 1000;
    const qint64 hours = total / 3600;
    const qint64 minutes = total / 60 % 60;
    const qint64 seconds = total % 60;
    if (hours > 0) {
        return QStringLiteral("%1:%2:%3")
            .arg(hours)
            .arg(minutes, 2, 10, QLatin1Char('0'))
            .arg(seconds, 2, 10, QLatin1Char('0'));
    }
    return QStringLiteral("%1:%2").arg(minutes).arg(seconds, 2, 10, QLatin1Char('0'));
}

MediaPlayerWidget::MediaPlayerWidget(int volume, QWidget* parent) : MediaPlayer(parent)
{
    // GStreamer starts (its plugin registry read, the outputs looked over)
    // once the player is on the screen, or at its first song: the window's
    // first picture does not wait for it.
    RunAfterFirstPaint(this, &WarnOnceWithoutAudioOutput);
    buildControls(volume);

    connect(playButton_, &QToolButton::clicked, this, &MediaPlayerWidget::togglePlay);
    connect(stopButton_, &QToolButton::clicked, this, &MediaPlayerWidget::stop);
    connect(loopButton_, &QToolButton::clicked, this, &MediaPlayerWidget::toggleLoop);
    connect(proposalButton_, &QToolButton::clicked, this, &MediaPlayerWidget::takeProposal);
    connect(wave_, &WaveformBar::lengthAsked, this, &MediaPlayerWidget::askLength);
    // While the user drags over the waveform, the time shows where the drag
    // would land and playback moves only when the button is let go.
    connect(wave_, &WaveformBar::dragged, this, &MediaPlayerWidget::refreshTime);
    connect(wave_, &WaveformBar::seekRequested, this, &MediaPlayerWidget::moveTo);
    // The window decides what a dropped mark means; the time shows the
    // playing position again.
    connect(wave_, &WaveformBar::markMoved, this, [this](PlayerMark mark, double seconds) {
        refresh();
        emit markMoved(mark, seconds);
    });
    connect(wave_, &WaveformBar::fadeSet, this, &MediaPlayer::fadeSet);
    connect(wave_, &WaveformBar::volumeStepped, this, &MediaPlayer::volumeStepped);
    connect(wave_, &WaveformBar::markStepped, this, &MediaPlayer::markStepped);
    connect(wave_, &WaveformBar::fadeStepped, this, &MediaPlayer::fadeStepped);
    connect(wave_, &WaveformBar::commandAsked, this, &MediaPlayerWidget::takeCommand);
    connect(entry_, &TimeEntry::typed, this, &MediaPlayer::timeTyped);
    connect(wave_, &WaveformBar::selectionShown, this, &MediaPlayerWidget::refreshSelection);
    connect(volumeSlider_, &QSlider::valueChanged, this, &MediaPlayerWidget::applyVolume);

    refresh();
}

// Out of line, where Playback and PeakDecoder are complete types.
MediaPlayerWidget::~MediaPlayerWidget() = default;

void MediaPlayerWidget::buildControls(int volume)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(buildDisplay(), 1);
    layout->addLayout(buildControlRow(volume));

    // The windows around the player have no menus of their own to offer.
    setContextMenuPolicy(Qt::NoContextMenu);
    for (QWidget* child : findChildren<QWidget*>()) {
        child->setContextMenuPolicy(Qt::NoContextMenu);
    }
}

QFrame* MediaPlayerWidget::buildDisplay()
{
    auto* display = new QFrame(this);
    display->setObjectName(QStringLiteral("display"));
    display->setFrameShape(QFrame::StyledPanel);
    display->setFrameShadow(QFrame::Sunken);
    display->setAutoFillBackground(true);
    QPalette screen = display->palette();
    screen.setColor(QPalette::Window, QColor(0x16, 0x20, 0x2c));
    screen.setColor(QPalette::WindowText, QColor(0xdc, 0xe8, 0xf4));
    display->setPalette(screen);

    title_ = new ElidedLabel(display);
    title_->setObjectName(QStringLiteral("title"));
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    // From the first mark on, the selection's times take the name's place.
    selection_ = new QLabel(display);
    selection_->setObjectName(QStringLiteral("selection"));
    selection_->setTextFormat(Qt::RichText);
    // It takes the room it needs; the status gives way.
    selection_->setMinimumWidth(1);
    selection_->hide();
    status_ = new ElidedLabel(display);
    status_->setObjectName(QStringLiteral("status"));
    status_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    wave_ = new WaveformBar(display);
    wave_->setObjectName(QStringLiteral("seek"));
    wave_->setToolTip(PlayerKeysTip());
    // A double click on the top line types a mark's time.
    title_->installEventFilter(this);
    selection_->installEventFilter(this);
    entry_ = new TimeEntry(display);

    // The file name and the status share the top line; the waveform, which
    // is the seek bar, fills the display below them.
    auto* header = new QHBoxLayout;
    header->setSpacing(6);
    header->addWidget(title_, 3);
    header->addWidget(selection_);
    header->addWidget(status_, 1);
    auto* displayLayout = new QVBoxLayout(display);
    displayLayout->setContentsMargins(4, 1, 4, 2);
    displayLayout->setSpacing(1);
    displayLayout->addLayout(header);
    displayLayout->addWidget(wave_, 1);
    return display;
}

QHBoxLayout* MediaPlayerWidget::buildControlRow(int volume)
{
    playIcon_ = style()->standardIcon(QStyle::SP_MediaPlay);
    pauseIcon_ = style()->standardIcon(QStyle::SP_MediaPause);
    playButton_ = MakeButton(this, "play", QStyle::SP_MediaPlay, QStringLiteral("播放"));
    stopButton_ = MakeButton(this, "stop", QStyle::SP_MediaStop, QStringLiteral("停止"));
    // The player knows the selection from its marks: the button needs
    // nothing of the window, and a loop follows the marks as they move.
    loopButton_ = MakeButton(this, "loop", QStyle::SP_BrowserReload, QStringLiteral("循环播放选区"));
    loopButton_->setToolTip(QStringLiteral("循环播放选区：从开始到结束反复播放（剪切后可用）"));
    loopButton_->setCheckable(true);
    // The chorus the analysis found, taken as the ringtone.
    proposalButton_ = new QToolButton(this);
    proposalButton_->setObjectName(QStringLiteral("proposal"));
    proposalButton_->setText(QStringLiteral("高潮"));
    proposalButton_->setAccessibleName(QStringLiteral("选用高潮"));
    proposalButton_->setToolTip(QStringLiteral("选用波形上标出的高潮作为铃声（H；再按换下一处）"));
    proposalButton_->setAutoRaise(true);

    time_ = new QLabel(this);
    time_->setObjectName(QStringLiteral("time"));
    time_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    time_->setMinimumWidth(time_->fontMetrics().horizontalAdvance(QStringLiteral("00:00 / 00:00")));

    auto* speaker = new QLabel(this);
    speaker->setObjectName(QStringLiteral("speaker"));
    speaker->setPixmap(style()->standardIcon(QStyle::SP_MediaVolume).pixmap(16, 16));

    volumeSlider_ = new QSlider(Qt::Horizontal, this);
    volumeSlider_->setObjectName(QStringLiteral("volume"));
    volumeSlider_->setAccessibleName(QStringLiteral("音量"));
    volumeSlider_->setRange(0, 100);
    volumeSlider_->setPageStep(10);
    volumeSlider_->setFixedWidth(52);
    volumeSlider_->setValue(qBound(0, volume, 100));
    applyVolume(volumeSlider_->value());

    auto* controls = new QHBoxLayout;
    controls->setSpacing(3);
    controls->addWidget(playButton_);
    controls->addWidget(stopButton_);
    controls->addWidget(loopButton_);
    controls->addWidget(proposalButton_);
    controls->addStretch(1);
    controls->addWidget(time_);
    controls->addWidget(speaker);
    controls->addWidget(volumeSlider_);
    return controls;
}

void MediaPlayerWidget::setURL(const QString& url)
{
    url_ = url;
    // The song before lets go of its file before the next one is opened;
    // a new song always starts from its beginning, also the same one again.
    playback_.reset();
    decoder_.reset();  // the old song's waveform is not finished: never mind
    wave_->setPeaks(nullptr);
    markStart_.reset();
    markEnd_.reset();
    proposal_.reset();
    proposalSeconds_ = kProposalSeconds;
    wave_->setProposal(std::nullopt, std::nullopt);
    wave_->setMarks(std::nullopt, std::nullopt);
    wave_->setFades(0, 0, 0);
    wave_->setFrameGrid({});
    if (!url.isEmpty() && MayPlay(url)) {
        playback_ = std::make_unique<Playback>(url, gain_, this);
        connect(playback_.get(), &Playback::changed, this, &MediaPlayerWidget::refresh);
        decoder_ = std::make_unique<PeakDecoder>(url, this);
        connect(decoder_.get(), &PeakDecoder::progressed, this, [this] { wave_->setPeaks(&decoder_->peaks()); });
        connect(decoder_.get(), &PeakDecoder::analysed, this, &MediaPlayerWidget::analysed);
    }
    const QString shown = ShownPath(url);
    title_->setText(shown.section(QLatin1Char('/'), -1));
    title_->setToolTip(shown);
    refreshSelection();
    refresh();
}

QString MediaPlayerWidget::URL() const { return url_; }

std::optional<double> MediaPlayerWidget::duration() const
{
    if (url_.isEmpty()) {
        return std::nullopt;
    }
    return playback_ ? double(playback_->durationMs()) / 1000.0 : 0.0;
}

bool MediaPlayerWidget::cannotPlay() const
{
    return !url_.isEmpty() && (!playback_ || playback_->status() == Playback::Status::Failed);
}

double MediaPlayerWidget::currentPosition() const { return playback_ ? double(playback_->positionMs()) / 1000.0 : 0.0; }

void MediaPlayerWidget::pause()
{
    // Only a playing song has a place to stop at.
    if (playback_ && playback_->status() == Playback::Status::Playing) {
        playback_->pause();
    }
}

void MediaPlayerWidget::setMarks(std::optional<double> startSeconds, std::optional<double> endSeconds)
{
    const auto moment = [](std::optional<double> seconds) -> std::optional<double> {
        if (!seconds || !qIsFinite(*seconds)) {
            return std::nullopt;
        }
        return qMax(0.0, *seconds);
    };
    markStart_ = moment(startSeconds);
    markEnd_ = moment(endSeconds);
    wave_->setMarks(markStart_, markEnd_);
    // A loop over the selection goes on over the selection as it now is.
    // Marks without an end leave it as it was: a mark dropped after a cut
    // comes as the start alone, then both once the cut is made again.
    if (isLooping() && markStart_ && markEnd_) {
        playLoop(*markStart_, *markEnd_);
    }
    refresh();
}

void MediaPlayerWidget::setFrameGrid(double firstSeconds, double frameSeconds)
{
    const bool known = qIsFinite(firstSeconds) && qIsFinite(frameSeconds) && frameSeconds > 0;
    wave_->setFrameGrid(known ? FrameGrid{firstSeconds, frameSeconds} : FrameGrid{});
}

void MediaPlayerWidget::setSongLength(double seconds)
{
    if (playback_) {
        playback_->setSongLength(qIsFinite(seconds) && seconds > 0 ? qRound64(seconds * 1000.0) : 0);
    }
}

void MediaPlayerWidget::setFades(double fadeInSeconds, double fadeOutSeconds, double volumeDb)
{
    wave_->setFades(fadeInSeconds, fadeOutSeconds, volumeDb);
}

std::optional<double> MediaPlayerWidget::peakBetween(double fromSeconds, double toSeconds) const
{
    if (!decoder_ || !qIsFinite(fromSeconds) || !qIsFinite(toSeconds) || toSeconds < fromSeconds) {
        return std::nullopt;
    }
    const Peaks& peaks = decoder_->peaks();
    if (peaks.binSeconds <= 0 || peaks.bins.empty() || (!peaks.finished && toSeconds > peaks.decodedSeconds)) {
        return std::nullopt;
    }
    // The bins wholly inside the stretch tell their peaks; those at its
    // edges hold sound from beyond it too, so the stretch's own samples
    // there are decoded (a few ms each).
    const auto [first, last] = peaks.binsWithin(fromSeconds, toSeconds);
    double peak = 0;
    for (std::size_t i = first; i < last; ++i) {
        peak = qMax(peak, double(peaks.peak(i)));
    }
    const double innerFrom = double(first) * peaks.binSeconds;
    const double innerTo = double(last) * peaks.binSeconds;
    const std::filesystem::path song = EnginePath(url_);
    const auto edges = first == last
                           ? std::vector<std::pair<double, double>>{{fromSeconds, toSeconds}}
                           : std::vector<std::pair<double, double>>{{fromSeconds, innerFrom}, {innerTo, toSeconds}};
    for (const auto& [from, to] : edges) {
        if (to <= from)
            continue;
        const std::optional<float> edge = analysis::LoudestSample(song, from, to);
        if (!edge)
            return std::nullopt;
        peak = qMax(peak, double(*edge));
    }
    return peak;
}

void MediaPlayerWidget::seek(double seconds)
{
    if (url_.isEmpty() || !qIsFinite(seconds)) {
        return;
    }
    moveTo(qMax(0.0, seconds));
}

int MediaPlayerWidget::volume() const { return VolumeOfGain(gain_); }

void MediaPlayerWidget::togglePlay()
{
    if (!playback_) {
        return;
    }
    const auto status = playback_->status();
    if (status == Playback::Status::Playing || status == Playback::Status::Opening) {
        playback_->pause();
    } else {
        playback_->play();
    }
}

void MediaPlayerWidget::stop()
{
    if (playback_) {
        playback_->stop();
    }
}

void MediaPlayerWidget::playLoop(double fromSeconds, double toSeconds)
{
    if (!playback_ || !qIsFinite(fromSeconds) || !qIsFinite(toSeconds)) {
        return;
    }
    playback_->loop(qRound64(fromSeconds * 1000.0), qRound64(toSeconds * 1000.0));
    if (playback_->looping()) {
        playback_->play();
    }
}

void MediaPlayerWidget::stopLoop()
{
    if (playback_) {
        playback_->stopLoop();
    }
}

bool MediaPlayerWidget::isLooping() const { return playback_ && playback_->looping(); }

void MediaPlayerWidget::toggleLoop()
{
    if (isLooping()) {
        stopLoop();
    } else if (markStart_ && markEnd_) {
        playLoop(*markStart_, *markEnd_);
    } else if (proposal_ && !markStart_) {
        // Before anything is marked, the proposal is heard as it would ring.
        playLoop(proposal_->StartSeconds, proposal_->EndSeconds);
    }
    // A click checks the button by itself; it says what really happened.
    refresh();
}

void MediaPlayerWidget::applyVolume(int volume)
{
    gain_ = LinearGain(volume);
    if (playback_) {
        playback_->setGain(gain_);
    }
    volumeSlider_->setToolTip(QStringLiteral("音量：%1").arg(volume));
}

void MediaPlayerWidget::moveTo(double seconds)
{
    if (playback_) {
        playback_->seek(qRound64(seconds * 1000.0));
    }
}

void MediaPlayerWidget::keyPressEvent(QKeyEvent* event)
{
    if (!wave_->isEnabled() || !wave_->takeKey(*event)) {
        event->ignore();
    }
}

void MediaPlayerWidget::refresh()
{
    const bool loaded = !url_.isEmpty();
    const auto status = playback_ ? playback_->status() : Playback::Status::Failed;
    const bool playing = loaded && (status == Playback::Status::Playing || status == Playback::Status::Opening);
    const qint64 length = playback_ ? playback_->durationMs() : 0;

    wave_->setDuration(double(length) / 1000.0);
    if (!wave_->isDragging()) {
        const qint64 position = playback_ ? playback_->positionMs() : 0;
        wave_->setPosition(double(qMin(position, length)) / 1000.0);
        refreshTime(double(position) / 1000.0);
    }
    playButton_->setEnabled(loaded);
    stopButton_->setEnabled(loaded);
    const bool looping = isLooping();
    loopButton_->setEnabled(looping || (loaded && markStart_ && markEnd_ && *markEnd_ > *markStart_) ||
                            (loaded && proposal_ && !markStart_));
    proposalButton_->setEnabled(loaded && proposal_.has_value());
    loopButton_->setChecked(looping);
    wave_->setEnabled(loaded && length > 0);
    // The same two icons every time: an icon fresh from the style at each
    // refresh (25 a second while playing, more while seeking) leaves its
    // pixmaps in Qt's pixmap cache, which then grows by up to 10 MB.
    playButton_->setIcon(playing ? pauseIcon_ : playIcon_);
    const QString action = playing ? QStringLiteral("暂停") : QStringLiteral("播放");
    playButton_->setToolTip(action);
    if (playButton_->accessibleName() != action) {
        playButton_->setAccessibleName(action);
    }

    QString text;
    if (!loaded) {
        text = QStringLiteral("就绪");
    } else {
        switch (status) {
            case Playback::Status::Failed:
                text = QStringLiteral("无法播放此文件");
                break;
            case Playback::Status::Opening:
                text = QStringLiteral("正在打开…");
                break;
            case Playback::Status::Playing:
                text = QStringLiteral("正在播放");
                break;
            case Playback::Status::Paused:
                text = QStringLiteral("已暂停");
                break;
            case Playback::Status::Ended:
                text = QStringLiteral("播放完毕");
                break;
            case Playback::Status::Stopped:
                text = QStringLiteral("已停止");
                break;
        }
    }
    status_->setText(text);
}

void MediaPlayerWidget::takeCommand(KeyAction action)
{
    if (action == KeyAction::TypeStart || action == KeyAction::TypeEnd)
        openEntry(action == KeyAction::TypeStart ? PlayerMark::Start : PlayerMark::End);
    else if (action == KeyAction::PlayPause)
        togglePlay();
    else if (action == KeyAction::Loop)
        toggleLoop();
    else if (action == KeyAction::TakeProposal)
        takeProposal();
    else
        emit commandAsked(action);
}

void MediaPlayerWidget::analysed()
{
    proposalIndex_ = 0;
    proposalTaken_ = false;
    showProposal();
    if (proposal_)
        emit proposalFound();
    refresh();
}

void MediaPlayerWidget::showProposal()
{
    if (decoder_ && proposalIndex_ < decoder_->candidates().size())
        proposal_ = decoder_->proposal(proposalIndex_, proposalSeconds_);
    else
        proposal_.reset();
    wave_->setProposal(proposal_ ? std::optional(proposal_->StartSeconds) : std::nullopt,
                       proposal_ ? std::optional(proposal_->EndSeconds) : std::nullopt);
}

void MediaPlayerWidget::takeProposal()
{
    if (!proposal_ || !decoder_)
        return;
    // Taken once, the key goes on to the next candidate: the chorus's other
    // occurrences, then the next best section.
    if (std::exchange(proposalTaken_, true)) {
        proposalIndex_ = (proposalIndex_ + 1) % decoder_->candidates().size();
        showProposal();
    }
    emit proposalTaken(proposal_->StartSeconds, proposal_->EndSeconds, proposal_->FadeOutSeconds);
}

void MediaPlayerWidget::askLength(double seconds)
{
    // A selection is the window's to change; a proposal is the player's.
    if (markStart_) {
        emit lengthAsked(seconds);
    } else if (proposal_) {
        proposalSeconds_ = seconds;
        showProposal();
        if (isLooping())
            playLoop(proposal_->StartSeconds, proposal_->EndSeconds);
    }
}

void MediaPlayerWidget::openEntry(PlayerMark mark)
{
    if (url_.isEmpty())
        return;
    // Over the top line, which it stands for while it is open.
    const QRect line = title_->isVisible() ? title_->geometry() : selection_->geometry();
    entry_->setGeometry(QRect(line.left(), line.top(), status_->geometry().right() - line.left(), line.height() + 4));
    entry_->open(mark, wave_->shownMark(mark), wave_);
}

bool MediaPlayerWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick && (watched == selection_ || watched == title_)) {
        // The left of the times is the start's, the right the end's.
        const auto* click = static_cast<QMouseEvent*>(event);
        const bool end = watched == selection_ && wave_->shownMark(PlayerMark::End) &&
                         click->position().x() > selection_->width() / 3.0;
        openEntry(end ? PlayerMark::End : PlayerMark::Start);
        return true;
    }
    return MediaPlayer::eventFilter(watched, event);
}

void MediaPlayerWidget::refreshSelection()
{
    bool tooLong = false;
    const QString line = SelectionLine(*wave_, tooLong);
    title_->setVisible(line.isEmpty());
    selection_->setVisible(!line.isEmpty());
    selection_->setText(line);
    selection_->setToolTip(tooLong ? TooLongWarning() : ShownPath(url_));
    // The colour is not heard: a screen reader reads the warning with the line.
    selection_->setAccessibleDescription(tooLong ? TooLongWarning() : QString());
}

void MediaPlayerWidget::refreshTime(double seconds)
{
    // The length is rounded to the nearest second, as lengths are usually
    // given: a song of 29.99 s reads as 0:30, not 0:29.
    const qint64 length = playback_ ? playback_->durationMs() + 500 : 0;
    time_->setText(ClockText(qRound64(seconds * 1000.0)) + QStringLiteral(" / ") + ClockText(length));
}

}  // namespace sundrel
