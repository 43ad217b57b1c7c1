// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common_dialog.h"
#include "cut_session.h"
#include "cut_state.h"
#include "file_identity.h"
#include "kept_gain.h"
#include "ringtone_file.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
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
enum class KeyAction;
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
    // What the user did on the player's waveform. A mark dropped at a
    // moment, stepped by a key or typed: before a cut the start alone moves,
    // as 开始 there; after, the cut is made again at once with the other
    // kept. After a cut, a fade (a handle dropped, a key) and a step of
    // volume cut again too. Each is a step undo goes back over.
    void MDplay_MarkMoved(PlayerMark mark, double seconds);
    void MDplay_MarkStepped(PlayerMark mark, double bySeconds);
    void MDplay_TimeTyped(PlayerMark mark, const QString& text);
    void MDplay_FadeSet(PlayerFade fade, double seconds);
    void MDplay_FadeStepped(PlayerFade fade, int steps);
    void MDplay_VolumeStepped(int steps);
    void MDplay_CommandAsked(KeyAction action);
    // The proposal of the song's analysis: said when found; taken, it is
    // cut as Start and End there would cut it (an undoable step), with
    // its fade out. A length asked moves the end, as a dropped end mark.
    void MDplay_ProposalFound();
    void MDplay_ProposalTaken(double startSeconds, double endSeconds, double fadeOutSeconds);
    void MDplay_LengthAsked(double seconds);
    // Back and forth through the steps shown since the song was chosen.
    void undo();
    void redo();
    // Songs handed over by the desktop (the command line, a drop on the
    // window, a later start of the program): one local file is chosen as
    // 浏览 chooses it, after any cut under way; anything else is refused
    // with a message and changes nothing.
    void takeUpGiven(const QList<QUrl>& given);

    const CutState& cutState() const { return cut_; }
    KeptGain keptGain() const { return session_.gain(); }
    bool isCutting() const { return session_.cutting(); }
    const CutSession& session() const { return session_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The desktop's theme changed: the status takes its colours anew.
    void changeEvent(QEvent* event) override;
    // Ctrl+S is 另存为, from whichever control has the focus, but for a text
    // entry one can type into: keys reach the window only when the control
    // with the focus had no use for them.
    void keyPressEvent(QKeyEvent* event) override;
    // Start, End, preview and save as pass the waveform's keys on to the
    // player, so that they reach it whichever of them has the focus.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void findControls(const QHash<QString, QWidget*>& controls);
    void connectControls(const QHash<QString, QWidget*>& controls);
    // What Start and End read first: the duration (kept while nothing is
    // loaded) and the song's size in KB.
    void readSong();

    // The one way a command changes the ringtone: the step asked (a start
    // alone, or a cut) is shown, its cut made first; refused, it changes
    // nothing. True when the step is shown.
    bool takeStep(CutStep step, StepCause cause);
    // A command from the player: now, or once the cut under way is done.
    void whenFree(std::function<void()> command);
    // The step a change of the ringtone builds on: the cut shown with one
    // mark moved (the other kept), or the start alone before a cut.
    void moveMark(PlayerMark mark, double seconds);
    void changeGain(KeptGain gain);
    void stepThroughHistory(bool back);
    // A typed time: a mark dropped there after a cut; before, Start or End
    // pressed there. Text that is no time, or one past the song, is refused.
    void typeTime(PlayerMark mark, const QString& text);
    // Start and End at a moment of the song: Start marks it; a cut checks
    // and makes the cut of a request.
    bool startAt(double position);
    bool cutAt(CutRequest request, StepCause cause);
    // The start's fields: StartPos, the offset field and 开始时间; false
    // while the duration is unknown, which leaves the start unplaced.
    bool holdStart(double position);
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
    bool keepCut(const CutRequest& request, StepCause cause);
    // Writes the planned pieces and removes the outer ones, holding the lock
    // on their folder throughout: a cut into a folder another cut is writing
    // into waits for it. Kept when the kept file is in place; clean when
    // nothing else of the cut was left behind.
    WrittenPieces writeKeptPiece(bool& clean);
    // An open preview plays the ringtone just made again.
    void previewFollows();
    // The gain as a selection can have it: fades of at most half of it (and
    // MaxFadeSeconds), a volume at which none of it clips.
    KeptGain fittedGain(KeptGain gain, double start, double end) const;
    // The loudest volume step of a selection; nothing while its sound is not
    // decoded yet.
    std::optional<int> loudestVolume(double start, double end) const;
    // The window shows the step shown again: its marks, times, fades and
    // volume, after a step that was refused.
    void showStep();
    // The status says the ringtone was replaced, lit up for a moment.
    void flashStatus();
    void statusFlashed();
    // The status in its colour, or lit up while it flashes: as designed on
    // a light ground, readable on a dark one.
    void colourStatus();
    void message(const QString& text, const QString& title = {});
    // The path boxes show a path as the user reads it (a byte of a name that
    // is not UTF-8 as U+FFFD) and keep the path itself, every byte, for the
    // cut. Text written into a box otherwise is read as its own path.
    static void ShowPath(QLineEdit* box, const QString& path);
    static QString PathIn(const QLineEdit* box);
    // Everything a song confirmed in the open dialog brings about; also how
    // a cut takes up again a song that changed since it was chosen.
    void takeUpSong(const QString& fileName);
    // Walks the frames of the song just chosen into the cut state's map.
    void mapSource(const QString& path, const SongFile& song);
    // takeUpGiven's choice, once no cut is under way.
    void chooseGiven(const QList<QUrl>& given);
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
    // Where the window stands, what is shown and what undo goes back to.
    CutSession session_;
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

    QTimer statusFlash_;
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
    // Writes an iPhone's ringtone (M4R) at `target` from the ringtone,
    // which stays where it is, and says where it went, or why not.
    void saveRingtoneAsM4r(const QString& target);

    RingtoneFile ringtone_;
    // The last cut gave up waiting for another cut into its folder.
    bool folderHeldElsewhere_ = false;
};

// What the command line names, as the desktop hands it over: a path
// (relative to the working folder) or a URL, file:// or other.
QList<QUrl> GivenOnCommandLine(const QStringList& arguments);

}  // namespace sundrel
