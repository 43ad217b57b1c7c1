#include "media_player_widget.h"

#include <QAudio>
#include <QAudioOutput>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaPlayer>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QtMath>

#include <algorithm>
#include <climits>

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
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(foregroundRole()));
        const QRect area = contentsRect();
        painter.drawText(area, int(alignment()),
                         fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
    }
};

// The volume slider reads like a loudness control; the sound output wants a
// linear gain.
float LinearGain(int volume) {
    return QAudio::convertVolume(float(volume) / 100.0f, QAudio::LogarithmicVolumeScale,
                                 QAudio::LinearVolumeScale);
}

int VolumeOfGain(float gain) {
    return qRound(QAudio::convertVolume(gain, QAudio::LinearVolumeScale,
                                        QAudio::LogarithmicVolumeScale) * 100.0f);
}

QToolButton* MakeButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon,
                        const QString& tip) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoRaise(true);
    button->setIconSize({16, 16});
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolTip(tip);
    return button;
}

}  // namespace

QString ClockText(qint64 milliseconds) {
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

MediaPlayerWidget::MediaPlayerWidget(int volume, QWidget* parent)
    : MediaPlayer(parent),
      audio_(std::make_unique<QAudioOutput>()),
      player_(std::make_unique<QMediaPlayer>()) {
    player_->setAudioOutput(audio_.get());
    buildControls(volume);

    connect(player_.get(), &QMediaPlayer::positionChanged, this,
            &MediaPlayerWidget::onPositionChanged);
    connect(player_.get(), &QMediaPlayer::durationChanged, this,
            &MediaPlayerWidget::onDurationChanged);
    connect(player_.get(), &QMediaPlayer::playbackStateChanged, this,
            &MediaPlayerWidget::refreshState);
    connect(player_.get(), &QMediaPlayer::mediaStatusChanged, this,
            &MediaPlayerWidget::onMediaStatusChanged);
    connect(player_.get(), &QMediaPlayer::seekableChanged, this,
            &MediaPlayerWidget::applyPendingSeek);
    connect(player_.get(), &QMediaPlayer::errorOccurred, this, &MediaPlayerWidget::onError);

    connect(playButton_, &QToolButton::clicked, this, &MediaPlayerWidget::togglePlay);
    connect(stopButton_, &QToolButton::clicked, this, &MediaPlayerWidget::stop);
    // While the user drags the handle, the time shows where the drag would
    // land and playback moves only when the handle is let go.
    connect(seekSlider_, &QSlider::sliderMoved, this, &MediaPlayerWidget::refreshTime);
    connect(seekSlider_, &QSlider::sliderReleased, this, &MediaPlayerWidget::onSeekReleased);
    connect(seekSlider_, &QSlider::actionTriggered, this, &MediaPlayerWidget::onSeekAction);
    connect(volumeSlider_, &QSlider::valueChanged, this, &MediaPlayerWidget::applyVolume);

    refreshTime(0);
    refreshState();
}

// Out of line, where QMediaPlayer and QAudioOutput are complete types. The
// player outlives the members declared after it, so whatever it might still
// signal while it shuts down must not reach this half-destroyed widget.
MediaPlayerWidget::~MediaPlayerWidget() {
    player_->disconnect(this);
}

void MediaPlayerWidget::buildControls(int volume) {
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
    status_ = new ElidedLabel(display);
    status_->setObjectName(QStringLiteral("status"));

    auto* displayLayout = new QVBoxLayout(display);
    displayLayout->setContentsMargins(6, 1, 6, 1);
    displayLayout->setSpacing(0);
    displayLayout->addStretch(1);
    displayLayout->addWidget(title_);
    displayLayout->addWidget(status_);
    displayLayout->addStretch(1);

    playButton_ = MakeButton(this, "play", QStyle::SP_MediaPlay, QStringLiteral("播放"));
    stopButton_ = MakeButton(this, "stop", QStyle::SP_MediaStop, QStringLiteral("停止"));

    seekSlider_ = new QSlider(Qt::Horizontal, this);
    seekSlider_->setObjectName(QStringLiteral("seek"));
    seekSlider_->setRange(0, 0);
    seekSlider_->setSingleStep(1000);
    seekSlider_->setPageStep(5000);
    seekSlider_->setMinimumWidth(40);
    seekSlider_->setToolTip(QStringLiteral("播放进度"));

    time_ = new QLabel(this);
    time_->setObjectName(QStringLiteral("time"));
    time_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    time_->setMinimumWidth(time_->fontMetrics().horizontalAdvance(QStringLiteral("00:00 / 00:00")));

    auto* speaker = new QLabel(this);
    speaker->setObjectName(QStringLiteral("speaker"));
    speaker->setPixmap(style()->standardIcon(QStyle::SP_MediaVolume).pixmap(16, 16));

    volumeSlider_ = new QSlider(Qt::Horizontal, this);
    volumeSlider_->setObjectName(QStringLiteral("volume"));
    volumeSlider_->setRange(0, 100);
    volumeSlider_->setPageStep(10);
    volumeSlider_->setFixedWidth(52);
    volumeSlider_->setValue(qBound(0, volume, 100));
    volumeSlider_->setToolTip(QStringLiteral("音量"));
    applyVolume(volumeSlider_->value());

    auto* controls = new QHBoxLayout;
    controls->setSpacing(3);
    controls->addWidget(playButton_);
    controls->addWidget(stopButton_);
    controls->addWidget(seekSlider_, 1);
    controls->addWidget(time_);
    controls->addWidget(speaker);
    controls->addWidget(volumeSlider_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(display, 1);
    layout->addLayout(controls);

    // The windows around the player have no menus of their own to offer.
    setContextMenuPolicy(Qt::NoContextMenu);
    for (QWidget* child : findChildren<QWidget*>()) {
        child->setContextMenuPolicy(Qt::NoContextMenu);
    }
}

void MediaPlayerWidget::setURL(const QString& url) {
    url_ = url;
    failed_ = false;
    pendingSeek_.reset();
    played_ = false;
    reloaded_ = false;
    load();
    title_->setText(url.isEmpty() ? QString() : QFileInfo(url).fileName());
    title_->setToolTip(url);
    seekSlider_->setValue(0);
    refreshTime(0);
    refreshState();
}

void MediaPlayerWidget::load() {
    // Qt ignores a source equal to the one it holds. Going through the empty
    // source makes it open the file anew and play it from the beginning, and
    // so also picks up a file that was rewritten under the same name. The
    // empty source closes the file.
    player_->stop();
    player_->setSource(QUrl());
    if (!url_.isEmpty()) {
        player_->setSource(QUrl::fromLocalFile(QFileInfo(url_).absoluteFilePath()));
        player_->play();
    }
}

QString MediaPlayerWidget::URL() const {
    return url_;
}

std::optional<double> MediaPlayerWidget::duration() const {
    if (url_.isEmpty()) {
        return std::nullopt;
    }
    return double(player_->duration()) / 1000.0;
}

double MediaPlayerWidget::currentPosition() const {
    return double(player_->position()) / 1000.0;
}

void MediaPlayerWidget::pause() {
    // Pausing a stopped player would load it at its start; only a playing
    // one has a place to stop at.
    if (player_->playbackState() == QMediaPlayer::PlayingState) {
        player_->pause();
    }
}

void MediaPlayerWidget::seek(double seconds) {
    if (url_.isEmpty() || !qIsFinite(seconds)) {
        return;
    }
    moveTo(qMax<qint64>(0, qRound64(seconds * 1000.0)));
}

int MediaPlayerWidget::volume() const {
    return VolumeOfGain(audio_->volume());
}

void MediaPlayerWidget::togglePlay() {
    if (url_.isEmpty()) {
        return;
    }
    if (player_->playbackState() == QMediaPlayer::PlayingState) {
        player_->pause();
        return;
    }
    if (player_->mediaStatus() == QMediaPlayer::EndOfMedia) {
        player_->setPosition(0);
    }
    player_->play();
}

void MediaPlayerWidget::stop() {
    player_->stop();
    seekSlider_->setValue(0);
    refreshTime(0);
}

void MediaPlayerWidget::applyVolume(int volume) {
    audio_->setVolume(LinearGain(volume));
    volumeSlider_->setToolTip(QStringLiteral("音量：%1").arg(volume));
}

void MediaPlayerWidget::onPositionChanged(qint64 milliseconds) {
    if (milliseconds > 0) {
        played_ = true;
    }
    if (seekSlider_->isSliderDown()) {
        return;
    }
    seekSlider_->setValue(int(qMin<qint64>(milliseconds, seekSlider_->maximum())));
    refreshTime(milliseconds);
}

void MediaPlayerWidget::onDurationChanged(qint64 milliseconds) {
    seekSlider_->setRange(0, int(std::clamp<qint64>(milliseconds, 0, INT_MAX)));
    if (!seekSlider_->isSliderDown()) {
        refreshTime(player_->position());
    }
    refreshState();
}

void MediaPlayerWidget::onSeekAction(int action) {
    // A drag is finished by onSeekReleased; steps, pages and Home/End land
    // at once.
    if (action == QAbstractSlider::SliderMove || action == QAbstractSlider::SliderNoAction) {
        return;
    }
    moveTo(seekSlider_->sliderPosition());
}

void MediaPlayerWidget::onSeekReleased() {
    moveTo(seekSlider_->sliderPosition());
}

void MediaPlayerWidget::moveTo(qint64 milliseconds) {
    // While the media is still being opened the backend drops a seek
    // although it already plays; the seek waits until the media can take it.
    if (!player_->isSeekable()) {
        pendingSeek_ = milliseconds;
        return;
    }
    pendingSeek_.reset();
    player_->setPosition(milliseconds);
}

void MediaPlayerWidget::applyPendingSeek() {
    if (pendingSeek_ && player_->isSeekable()) {
        moveTo(*pendingSeek_);
    }
}

void MediaPlayerWidget::onMediaStatusChanged(int status) {
    // When a seek is still under way as a new source is set, the GStreamer
    // backend may end the new media before it has played at all. Such an
    // end belongs to the media that was replaced; the file is opened once
    // more instead of leaving the player stopped at position 0.
    if (status == QMediaPlayer::EndOfMedia && !played_ && !reloaded_ && !url_.isEmpty()) {
        reloaded_ = true;
        load();
        return;
    }
    if (status == QMediaPlayer::InvalidMedia) {
        failed_ = true;
    }
    refreshState();
}

void MediaPlayerWidget::onError() {
    if (player_->error() != QMediaPlayer::NoError) {
        failed_ = true;
    }
    refreshState();
}

void MediaPlayerWidget::refreshState() {
    const bool loaded = !url_.isEmpty();
    const auto state = player_->playbackState();
    const bool playing = state == QMediaPlayer::PlayingState;

    playButton_->setEnabled(loaded);
    stopButton_->setEnabled(loaded);
    seekSlider_->setEnabled(loaded && seekSlider_->maximum() > 0);
    playButton_->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause
                                                       : QStyle::SP_MediaPlay));
    playButton_->setToolTip(playing ? QStringLiteral("暂停") : QStringLiteral("播放"));

    QString status;
    if (!loaded) {
        status = QStringLiteral("就绪");
    } else if (failed_) {
        status = QStringLiteral("无法播放此文件");
    } else if (player_->mediaStatus() == QMediaPlayer::LoadingMedia) {
        status = QStringLiteral("正在打开…");
    } else if (playing) {
        status = QStringLiteral("正在播放");
    } else if (state == QMediaPlayer::PausedState) {
        status = QStringLiteral("已暂停");
    } else if (player_->mediaStatus() == QMediaPlayer::EndOfMedia) {
        status = QStringLiteral("播放完毕");
    } else {
        status = QStringLiteral("已停止");
    }
    status_->setText(status);
}

void MediaPlayerWidget::refreshTime(qint64 milliseconds) {
    // The length is rounded to the nearest second, as lengths are usually
    // given: a song of 29.99 s reads as 0:30, not 0:29.
    const qint64 length = url_.isEmpty() ? 0 : player_->duration() + 500;
    time_->setText(ClockText(milliseconds) + QStringLiteral(" / ") + ClockText(length));
}

}  // namespace sundrel
