// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common_dialog.h"
#include "cut_state.h"
#include "file_identity.h"
#include "kept_gain.h"
#include "ringtone_file.h"

#include <QColor>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <optional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QUrl;

namespace sundrel {

struct AppServices;
struct CutPlan;
struct WrittenPieces;
class FrmA;
class FrmO;
class FrmST;
class MediaPlayer;
enum class PlayerFade;
enum class PlayerMark;

// The main window: choose a song and a folder, play it, mark Start and End,
// and get the ringtone.
class Frm final : public QWidget {
    Q_OBJECT

public:
    explicit Frm(AppServices& services, QWidget* parent = nullptr);
    ~Frm() override;

    // The handlers, one per control event.
    void Form_Load();
    void Timer1_Timer();
    void LockSplit(bool locked);
    void cmdBrowseS_Click();
    void cmdBrowseD_Click();
    void cmdO_Click();
    void cmdQ_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    // A mark dragged on the player's waveform and dropped at a moment, or
    // moved there by a key.
    void MDplay_MarkMoved(PlayerMark mark, double seconds);
    // After a cut, a fade asked for on the waveform (a handle dropped, a key)
    // and a step of volume: each cuts again at once, as a dropped mark does.
    void MDplay_FadeSet(PlayerFade fade, double seconds);
    void MDplay_VolumeStepped(int steps);
    // Songs handed over by the desktop (the command line, a drop on the
    // window): one local file is chosen as 浏览 chooses it; anything else
    // is refused with a message and changes nothing.
    void takeUpGiven(const QList<QUrl>& given);

    const CutState& cutState() const { return cut_; }
    const KeptGain& keptGain() const { return gain_; }
    bool isCutting() const { return cutting_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Start, End, preview and save as pass the waveform's keys on to the
    // player, so that they reach it whichever of them has the focus.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    // What Start and End read first: the duration (kept while nothing is
    // loaded) and the song's size in KB.
    void readSong();
    // Start and End at a moment of the song, pressed or dropped: Start marks
    // it; End checks and makes the cut from the Start marked. True when a
    // kept file was written.
    void startAt(double position);
    bool endAt(double position);
    // A cut from start to end that End would refuse as running backwards
    // (or shorter than a frame) is refused here first, with End's message.
    bool refusedSelection(double start, double end);
    // Where a moment of playback falls in the file, in KB; nothing while the
    // duration is unknown.
    std::optional<double> positionKB(double position) const;
    // End's steps: the length field and the plan of the cut (PlanCut: the
    // split plan, and the piece table the writer copies); the refusals, each
    // with its message; the pieces written, and what came of it said.
    CutPlan planCut(std::optional<double> startPosition, double endPosition, const KeptGain& gain);
    bool refusedCut(const CutPlan& plan);
    bool keepCut(double startPosition, double endPosition, const KeptGain& gain);
    // Writes the planned pieces and removes the outer ones, holding the lock
    // on their folder throughout: a cut into a folder another cut is writing
    // into waits for it. Kept when the kept file is in place; clean when
    // nothing else of the cut was left behind.
    WrittenPieces writeKeptPiece(bool& clean);
    // The cut made again at once with the start kept, after a drop or a
    // change of fades or volume; an open preview plays the new ringtone.
    bool recutAt(double endPosition);
    // The fades and volume asked for, cut again; one the kept frames cannot
    // carry leaves the cut as it was.
    void reshape(KeptGain gain);
    bool mayReshape() const;
    // The gain as a selection can have it: fades of at most half of it (and
    // MaxFadeSeconds), a volume at which none of it clips.
    KeptGain fittedGain(KeptGain gain, double start, double end) const;
    // The loudest volume step of a selection; nothing while its sound is not
    // decoded yet.
    std::optional<int> loudestVolume(double start, double end) const;
    void showGain();
    // The status says the ringtone was replaced, lit up for a moment.
    void flashStatus();
    void statusFlashed();
    void message(const QString& text, const QString& title = {});
    // Everything a song confirmed in the open dialog brings about; also how
    // a cut takes up again a song that changed since it was chosen.
    void takeUpSong(const QString& fileName);
    // Walks the frames of the song just chosen into the cut state's map.
    void mapSource(const QString& path, const SongFile& song);
    // A press while the song is being mapped is refused, with a message.
    bool refusedWhileMapping();
    // The file about to be cut is the one that was mapped; if not, the
    // user is told and the song is taken up again.
    bool songStillMapped();
    // Only MPEG audio is cut; other formats are refused with a message.
    bool refusedAsOtherFormat();
    // An MP3 song the player cannot play, or without sound, is refused
    // with a message that says so.
    bool refusedAsUnplayable();

    AppServices& services_;
    CutState cut_;
    CommonDialog CmmDlg;
    CommonDialog ComDlg2;
    QTimer Timer1;

    QLineEdit* txtSource = nullptr;
    QLineEdit* txtDestdir = nullptr;
    std::array<QLineEdit*, 3> txtSplit{};
    QGroupBox* Frame1 = nullptr;
    QLabel* lb = nullptr;
    QLabel* lbz = nullptr;
    QLabel* lbk = nullptr;
    QLabel* lbj = nullptr;
    MediaPlayer* MDplay = nullptr;

    QPointer<FrmST> preview_;
    QPointer<FrmA> about_;
    QPointer<FrmO> help_;

    // A Start made on the song now loaded; a mark on an earlier song, or
    // sizes left from an earlier cut, must never cut this one.
    bool startMarked_ = false;
    // The marks show the cut whose kept file is in place: either may be
    // dragged to cut again.
    bool cutShown_ = false;
    bool cutting_ = false;
    // The fades and volume of the cut, kept across cuts until a new Start
    // or song; the last cut refused them.
    KeptGain gain_;
    bool gainRefused_ = false;
    // The cut under way replaces the one shown at once (a drop, a fade).
    bool recutting_ = false;
    QTimer statusFlash_;
    QColor statusColour_;
    // The frames of the song just chosen are being walked; each choice of a
    // song (and closing) starts a new generation and so ends an older walk.
    bool mapping_ = false;
    int songGeneration_ = 0;
    // The status shown before a long walk said so, to be shown again after.
    QString statusBeforeMapping_;
    // The song file as it was when chosen: what its map describes.
    std::optional<FileIdentity> songIdentity_;
    bool closing_ = false;

    // ---- This window's ringtone on disk, and save as (frm_save.cpp) ----
public:
    // The kept file the cut just put in place (PieceName(cut_, 1)) is this
    // window's ringtone now: its identity on disk is recorded, for an open
    // preview too, so that 另存为, 试听 and the preview's delete act on
    // that file only, and follow it where save as moves it.
    void keptFileWritten();

private:
    // True while no ringtone is recorded, or the file at its path is still
    // the one recorded; otherwise the user is told, and nothing is touched.
    bool ringtoneStillOurs();
    // Moves the ringtone to `target` and says where it went, or why not.
    void saveRingtoneAs(const QString& target);

    RingtoneFile ringtone_;
    // The last cut gave up waiting for another cut into its folder.
    bool folderHeldElsewhere_ = false;
};

// What the command line names, as the desktop hands it over: a path
// (relative to the working folder) or a URL, file:// or other.
QList<QUrl> GivenOnCommandLine(const QStringList& arguments);

}  // namespace sundrel
