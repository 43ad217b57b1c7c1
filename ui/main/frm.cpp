// SPDX-License-Identifier: GPL-3.0-or-later
#include "frm.h"

#include "app_services.h"
#include "cut_engine.h"
#include "desktop.h"
#include "engine_path.h"
#include "form_builder.h"
#include "frm_a.h"
#include "frm_o.h"
#include "frm_st.h"
#include "media_player.h"
#include "spoken_status.h"
#include "window_event_pass.h"
#include "window_style.h"
#include "window_texts.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStandardPaths>

namespace sundrel {

namespace {

using K = ControlKind;

// The window as designed, in twips. Frame1 and the size fields lie below the
// client area on purpose: the program alone fills them.
constexpr ControlRow kControls[] = {
    {"Frame2", K::Frame, "", 120, 0, 6495, 1150, 4, ""},
    {"Label1", K::Label, "请选择MP3文件：", 120, 290, 1455, 255, 11, "Frame2"},
    {"txtSource", K::TextBox, "", 1440, 240, 3735, 315, 5, "Frame2"},
    {"cmdBrowseS", K::Button, "浏览", 5280, 220, 1095, 375, 6, "Frame2"},
    {"Line1", K::Line, "", 0, 650, 6480, 0, -1, "Frame2"},
    {"Label2", K::Label, "请选择存放的文件夹：", 120, 840, 1935, 255, 12, "Frame2"},
    {"txtDestdir", K::TextBox, "", 1920, 760, 2415, 320, 7, "Frame2"},
    {"cmdBrowseD", K::Button, "浏览", 4440, 720, 855, 375, 8, "Frame2"},
    {"cmdO", K::Button, "打开文件夹", 5280, 720, 1095, 375, 9, "Frame2"},
    {"MDplay", K::Premade, "", 120, 1200, 6480, 1395, 10, ""},
    {"cmdQ", K::Button, "开始(&S)", 120, 2640, 855, 495, 13, ""},
    {"Command1", K::Button, "结束(&P)", 960, 2640, 975, 495, 14, ""},
    {"Command2", K::Button, "试听(&T)", 2040, 2640, 855, 495, 15, ""},
    {"Command5", K::Button, "另存为", 2880, 2640, 855, 495, 25, ""},
    {"lb", K::Label, "", 3840, 2640, 1095, 495, 24, ""},
    {"Command3", K::Button, "关于(&A)", 4800, 2640, 855, 495, 16, ""},
    {"Command4", K::Button, "如何剪切其他格式", 5640, 2640, 975, 495, 17, ""},
    {"lbzdf", K::Label, "总时间：", 120, 3240, 735, 255, 18, ""},
    {"lbz", K::Label, "", 960, 3240, 1095, 255, 19, ""},
    {"Label3", K::Label, "开始时间：", 2280, 3240, 900, 180, 20, ""},
    {"lbk", K::Label, "", 3360, 3240, 855, 255, 21, ""},
    {"Label5", K::Label, "结束时间：", 4320, 3240, 975, 375, 22, ""},
    {"lbj", K::Label, "", 5520, 3240, 855, 255, 23, ""},
    {"Frame1", K::Frame, "源分割文件大小", 120, 3720, 3495, 855, 0, ""},
    {"txtSplit(0)", K::TextBox, "0", 360, 360, 855, 375, 3, "Frame1"},
    {"txtSplit(1)", K::TextBox, "0", 1320, 360, 855, 375, 2, "Frame1"},
    {"txtSplit(2)", K::TextBox, "0", 2280, 360, 855, 375, 1, "Frame1"},
};

void BringUp(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

// Each secondary window exists at most once: a second press brings the open
// one to the front.
template <typename Window>
Window* ShowOnce(QPointer<Window>& window)
{
    if (!window)
        window = new Window;
    BringUp(window);
    return window;
}

// Where a path box keeps the path it shows.
constexpr char kPathKept[] = "sundrelPath";

QString MusicFolder()
{
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return !music.isEmpty() && QFileInfo(music).isDir() ? music : QDir::homePath();
}

}  // namespace

Frm::Frm(AppServices& services, QWidget* parent)
    : QWidget(parent), services_(services), CmmDlg(services.desktop), ComDlg2(services.desktop)
{
    MakeFixedWindow(this, "Frm", QStringLiteral("SundrelV2.35"), 6705, 3510);
    buildControls();
    Form_Load();

    Timer1.setInterval(1000);
    connect(&Timer1, &QTimer::timeout, this, &Frm::Timer1_Timer);
    Timer1.start();
    CentreOnScreen(this);
}

Frm::~Frm() = default;

void Frm::buildControls()
{
    MDplay = services_.makePlayer(50);
    const auto controls = BuildControls(this, kControls, {{QStringLiteral("MDplay"), MDplay}});
    findControls(controls);

    QWidget* line = controls.value(QStringLiteral("Line1"));
    QPalette linePalette = line->palette();
    linePalette.setColor(QPalette::Window, QColor(192, 192, 255));
    line->setPalette(linePalette);
    colourStatus();
    // Two lines of five signs fit the status, and the About button covers
    // the fifth: the statuses of our own put a comma, a stop or nothing there.
    lb->setFont(SongFont(10.5, true));
    // The About caption slants its Song face; smoothed, its thin slanted
    // strokes came out grey, as a button switched off looks. Drawn
    // unsmoothed, they are whole pixels of the caption's colour.
    QFont about = SongFont(9, false, true);
    about.setStyleStrategy(QFont::NoAntialias);
    controls.value(QStringLiteral("Command3"))->setFont(about);

    MakeDefaultButton(static_cast<QPushButton*>(controls.value(QStringLiteral("Command1"))));
    connectControls(controls);
    // A click on these leaves the focus where it was (on the waveform, with
    // its frame), and while they have it they pass the waveform's keys on.
    for (const char* name : {"cmdQ", "Command1", "Command2", "Command5"}) {
        QWidget* button = controls.value(QString::fromLatin1(name));
        button->setFocusPolicy(Qt::TabFocus);
        button->installEventFilter(this);
    }
    setAcceptDrops(true);
}

void Frm::findControls(const QHash<QString, QWidget*>& controls)
{
    const auto find = [&](const QString& name) { return controls.value(name); };
    txtSource = static_cast<QLineEdit*>(find(QStringLiteral("txtSource")));
    txtDestdir = static_cast<QLineEdit*>(find(QStringLiteral("txtDestdir")));
    // The boxes are filled by the dialogs; reading a long path is still possible.
    txtSource->setReadOnly(true);
    txtDestdir->setReadOnly(true);
    // A screen reader names each box by the label before it.
    static_cast<QLabel*>(find(QStringLiteral("Label1")))->setBuddy(txtSource);
    static_cast<QLabel*>(find(QStringLiteral("Label2")))->setBuddy(txtDestdir);
    Frame1 = static_cast<QGroupBox*>(find(QStringLiteral("Frame1")));
    for (int i = 0; i < 3; ++i) {
        txtSplit[i] = static_cast<QLineEdit*>(find(QStringLiteral("txtSplit(%1)").arg(i)));
        // Out of view: the keyboard focus must never land in them.
        txtSplit[i]->setFocusPolicy(Qt::NoFocus);
        txtSplit[i]->setAccessibleName(QStringLiteral("源分割文件大小 %1").arg(i));
        KeepOutOfHearing(txtSplit[i]);
    }
    // Out of view, it is no business of a screen reader's either.
    KeepOutOfHearing(Frame1);
    lb = static_cast<QLabel*>(find(QStringLiteral("lb")));
    MakeStatusSpoken(lb);
    lbz = static_cast<QLabel*>(find(QStringLiteral("lbz")));
    lbk = static_cast<QLabel*>(find(QStringLiteral("lbk")));
    lbj = static_cast<QLabel*>(find(QStringLiteral("lbj")));
}

void Frm::connectControls(const QHash<QString, QWidget*>& controls)
{
    const auto button = [&](const char* name) {
        return static_cast<QPushButton*>(controls.value(QString::fromLatin1(name)));
    };
    connect(button("cmdBrowseS"), &QPushButton::clicked, this, &Frm::cmdBrowseS_Click);
    connect(button("cmdBrowseD"), &QPushButton::clicked, this, &Frm::cmdBrowseD_Click);
    connect(button("cmdO"), &QPushButton::clicked, this, &Frm::cmdO_Click);
    connect(button("cmdQ"), &QPushButton::clicked, this, &Frm::cmdQ_Click);
    connect(button("Command1"), &QPushButton::clicked, this, &Frm::Command1_Click);
    connect(button("Command2"), &QPushButton::clicked, this, &Frm::Command2_Click);
    connect(button("Command3"), &QPushButton::clicked, this, &Frm::Command3_Click);
    connect(button("Command4"), &QPushButton::clicked, this, &Frm::Command4_Click);
    connect(button("Command5"), &QPushButton::clicked, this, &Frm::Command5_Click);
    connect(MDplay, &MediaPlayer::markMoved, this, &Frm::MDplay_MarkMoved);
    connect(MDplay, &MediaPlayer::markStepped, this, &Frm::MDplay_MarkStepped);
    connect(MDplay, &MediaPlayer::timeTyped, this, &Frm::MDplay_TimeTyped);
    connect(MDplay, &MediaPlayer::fadeSet, this, &Frm::MDplay_FadeSet);
    connect(MDplay, &MediaPlayer::fadeStepped, this, &Frm::MDplay_FadeStepped);
    connect(MDplay, &MediaPlayer::volumeStepped, this, &Frm::MDplay_VolumeStepped);
    connect(MDplay, &MediaPlayer::commandAsked, this, &Frm::MDplay_CommandAsked);
    connect(MDplay, &MediaPlayer::proposalFound, this, &Frm::MDplay_ProposalFound);
    connect(MDplay, &MediaPlayer::proposalTaken, this, &Frm::MDplay_ProposalTaken);
    connect(MDplay, &MediaPlayer::lengthAsked, this, &Frm::MDplay_LengthAsked);
    statusFlash_.setSingleShot(true);
    connect(&statusFlash_, &QTimer::timeout, this, &Frm::statusFlashed);
}

bool Frm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || MDplay->URL().isEmpty())
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    // Tab and Shift+Tab stay the focus keys, Space presses the button; the
    // button keeps whatever the player leaves (Enter).
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab || key->key() == Qt::Key_Space)
        return false;
    QKeyEvent passed(QEvent::KeyPress, key->key(), key->modifiers(), key->text(), key->isAutoRepeat(),
                     ushort(key->count()));
    QCoreApplication::sendEvent(MDplay, &passed);
    return passed.isAccepted();
}

void Frm::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        colourStatus();
    QWidget::changeEvent(event);
}

void Frm::keyPressEvent(QKeyEvent* event)
{
    const auto* entry = qobject_cast<QLineEdit*>(focusWidget());
    const bool typing = entry && !entry->isReadOnly();
    if (event->key() == Qt::Key_S && event->modifiers() == Qt::ControlModifier && !typing) {
        Command5_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Frm::ShowPath(QLineEdit* box, const QString& path)
{
    box->setProperty(kPathKept, path);
    box->setText(ShownPath(path));
}

QString Frm::PathIn(const QLineEdit* box)
{
    const QString kept = box->property(kPathKept).toString();
    return box->text() == ShownPath(kept) ? kept : box->text();
}

void Frm::Form_Load() { CmmDlg.Filter = QStringLiteral("MP3音频文件|*.mp3"); }

void Frm::Timer1_Timer()
{
    // Nothing loaded: the last duration read stays.
    if (const auto duration = PlayedDuration(MDplay->duration(), cut_.SourceMap))
        services_.shared.MediaDuration = *duration;
    lbz->setText(QString::fromStdString(WholeSecondsText(services_.shared.MediaDuration)));
}

void Frm::LockSplit(bool locked)
{
    for (QLineEdit* field : txtSplit)
        field->setReadOnly(locked);
}

void Frm::cmdBrowseS_Click()
{
    // The dialog opens where the last song was chosen; at first in the
    // user's music folder.
    CmmDlg.InitDir = CmmDlg.FileName.isEmpty() ? MusicFolder() : QFileInfo(CmmDlg.FileName).absolutePath();
    // A cancel keeps the file confirmed earlier, which is then loaded again.
    CmmDlg.ShowOpen(this);
    takeUpSong(CmmDlg.FileName);
}

void Frm::takeUpSong(const QString& fileName)
{
    SongFile song;
    if (!fileName.isEmpty()) {
        ShowPath(txtSource, fileName);
        if (txtDestdir->text().isEmpty())
            ShowPath(txtDestdir, QtPath(EnginePath(fileName).remove_filename()));
        // Taken before the file is read, so that any change from here on
        // shows at the cut.
        songIdentity_ = IdentifyFile(EnginePath(fileName));
        // Only a regular file is sized and read: a FIFO or a device is a
        // file whose length cannot be read.
        song = ReadSongFile(EnginePath(fileName));
        if (song.Regular) {
            cut_.SourceLen = song.Length;
            cut_.SourceMap = SongMap(song);
        }
        Frame1->setTitle(
            QStringLiteral("源分割文件大小（%1 KB）").arg(QString::fromStdString(BytesToKbText(cut_.SourceLen))));
    }
    MDplay->setURL(fileName);
    // A song the player will not play cannot be cut: its frames are not
    // worth a walk (it may be hundreds of MB made to waste one). Nor are
    // those of a file of another format, which is never cut.
    const bool walk = song.SafeToDecode && !song.OtherFormat;
    session_.chooseSong(!MDplay->URL().isEmpty(), walk);
    Timer1_Timer();
    lbk->setText(QString());
    lbj->setText(QString());
    if (walk)
        mapSource(fileName, song);
}

void Frm::mapSource(const QString& path, const SongFile& song)
{
    // The song plays while its frames are walked; on a big file the window
    // keeps painting. Choosing another song, or closing the window, leaves
    // this walk unfinished and unused.
    const int generation = session_.songGeneration();
    if (lb->text() != texts::ReadingSong())
        statusBeforeMapping_ = lb->text();
    const auto current = [this, generation] { return generation == session_.songGeneration(); };
    // A walk the user could notice is said, so that the refused presses
    // meanwhile make sense.
    QTimer::singleShot(500, this, [this, current] {
        if (current() && session_.stage() == WindowStage::ReadingSong)
            SayStatus(lb, texts::ReadingSong());
    });
    const auto map = MapSong(EnginePath(path), song, WindowEventPass(current));
    if (!current())
        return;
    session_.songRead();
    if (lb->text() == texts::ReadingSong())
        lb->setText(statusBeforeMapping_);  // said before: back without a word
    if (!map)
        return;
    cut_.SourceMap = *map;
    // Marks dragged on the waveform land where a cut can begin: on a frame.
    if (const auto frame = cut_.SourceMap.FrameNear(0))
        MDplay->setFrameGrid(frame->Start, frame->Length);
    // A header frame may lie about the length: every moment must be reached.
    MDplay->setSongLength(cut_.SourceMap.Duration().value_or(0));
}

void Frm::cmdBrowseD_Click()
{
    const QString folder = services_.desktop.pickFolder(this);
    // A cancelled choice leaves the folder box as it was.
    if (folder.isEmpty())
        return;
    ShowPath(txtDestdir, folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

void Frm::cmdO_Click() { services_.desktop.openFolder(PathIn(txtDestdir)); }

void Frm::Command2_Click()
{
    if (session_.cutting() || !ringtoneStillOurs())
        return;
    // The preview may outlive this window's folder box. It opens beside
    // this window, clear of the waveform, where the screen has room; once
    // open, it stays where the user put it.
    if (!preview_) {
        preview_ =
            new FrmST(services_, [box = QPointer<QLineEdit>(txtDestdir)] { return box ? PathIn(box) : QString(); });
        PlaceBeside(preview_, this);
    }
    FrmST* preview = preview_;
    BringUp(preview);
    services_.shared.PreviewPath = ringtone_.None() ? PieceName(cut_, 1) : ringtone_.Path;
    preview->setRingtone(ringtone_);
    preview->play(QtPath(services_.shared.PreviewPath));
}

void Frm::Command3_Click() { ShowOnce(about_); }

void Frm::Command4_Click() { ShowOnce(help_); }

void Frm::message(const QString& text, const QString& title) { services_.desktop.message(this, text, title); }

void Frm::closeEvent(QCloseEvent* event)
{
    // Closing asks nothing and leaves the other windows open. A cut under
    // way is abandoned: what it wrote is removed, but for a kept file already
    // in place. A song's frames still being walked are left alone.
    closing_ = session_.cutting();
    session_.chooseSong(false, false);
    MDplay->setURL(QString());
    Timer1.stop();
    event->accept();
}

}  // namespace sundrel
