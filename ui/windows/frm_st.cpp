// SPDX-License-Identifier: GPL-3.0-or-later
#include "frm_st.h"

#include "app_services.h"
#include "desktop.h"
#include "form_builder.h"
#include "media_player.h"
#include "window_style.h"

#include <QKeyEvent>
#include <QPushButton>

#include <filesystem>
#include <system_error>
#include <utility>

namespace sundrel {

namespace {

constexpr ControlRow kControls[] = {
    {"MDst", ControlKind::Premade, "", 0, 0, 4680, 3195, 0, ""},
    {"Command1", ControlKind::Button, "满意！关闭", 0, 3240, 1575, 495, 1, ""},
    {"Command2", ControlKind::Button, "不满意，删除！", 1560, 3240, 1455, 495, 2, ""},
    {"Command3", ControlKind::Button, "打开所在文件夹", 3000, 3240, 1695, 495, 3, ""},
};

}  // namespace

FrmST::FrmST(AppServices& services, std::function<QString()> destDirText)
    : services_(services), destDirText_(std::move(destDirText))
{
    setAttribute(Qt::WA_DeleteOnClose);
    MakeFixedWindow(this, "FrmST", QStringLiteral("Sundrel--试听"), 4710, 3750);

    MDst = services_.makePlayer(77);
    const auto controls = BuildControls(this, kControls, {{QStringLiteral("MDst"), MDst}});
    auto button = [&](const char* name) { return static_cast<QPushButton*>(controls.value(QString::fromUtf8(name))); };
    connect(button("Command1"), &QPushButton::clicked, this, &FrmST::Command1_Click);
    connect(button("Command2"), &QPushButton::clicked, this, &FrmST::Command2_Click);
    connect(button("Command3"), &QPushButton::clicked, this, &FrmST::Command3_Click);
    CentreOnScreen(this);
}

void FrmST::play(const QString& path) { MDst->setURL(path); }

void FrmST::Command1_Click() { close(); }

void FrmST::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        Command1_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FrmST::Command2_Click()
{
    // A file another program put in the ringtone's place (another copy of
    // this one cutting into the folder), or one changed by hand, is not the
    // user's to lose here: it stays, and the preview with it.
    if (!ringtone_.None()) {
        if (const auto lost = RingtoneLost(ringtone_)) {
            services_.desktop.message(this, *lost, QStringLiteral("提示"));
            return;
        }
    }
    // The player lets go of the file before it is deleted.
    MDst->setURL(QString());
    // Before any cut there is no ringtone; a bare name must never be
    // resolved against the working folder and remove a file there. The path
    // is the ringtone's own bytes, whatever the song's name was.
    std::error_code ignored;
    if (services_.shared.CutMade && !ringtone_.None() && ringtone_.Path.is_absolute())
        std::filesystem::remove(ringtone_.Path, ignored);
    close();
}

void FrmST::Command3_Click()
{
    services_.desktop.openFolder(destDirText_());
    close();
}

}  // namespace sundrel
