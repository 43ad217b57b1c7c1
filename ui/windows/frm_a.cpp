// SPDX-License-Identifier: GPL-3.0-or-later
#include "frm_a.h"

#include "form_builder.h"
#include "window_style.h"

#include <QPushButton>

namespace sundrel {

namespace {

constexpr ControlRow kControls[] = {
    {"Label4", ControlKind::Label, "Sundrel--关于我们", 1680, 120, 1815, 255, 3, ""},
    {"Label2", ControlKind::Label,
     "    Sundrel2.35更直观的剪切MP3文件，操作会是最简单的，让你简简单单得到MP3中任意一段你想要的部分。", 240, 480,
     5055, 615, 1, ""},
    {"Label3", ControlKind::Label, "如果有什么问题，请联系我们Email：help@example.com", 240, 960, 4935, 255, 2, ""},
    // No ampersand: the Q in parentheses is plain text, not an access key.
    {"Command2", ControlKind::Button, "确定(Q)", 1440, 1320, 2535, 495, 0, ""},
    {"Label1", ControlKind::Label, "Sundrel组", 4680, 1800, 975, 255, 4, ""},
};

}  // namespace

FrmA::FrmA(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    // No taskbar entry: a tool window on Windows, a window state on X11.
    MakeFixedWindow(this, "FrmA", QStringLiteral("关于Sundrel"), 5610, 2025, Qt::Tool);
    KeepOutOfTaskbar(this);
    // Qt lets a tool window die with the last ordinary one; this one keeps
    // the program running until it is closed itself.
    setAttribute(Qt::WA_QuitOnClose, true);

    const auto controls = BuildControls(this, kControls);
    auto* ok = static_cast<QPushButton*>(controls.value(QStringLiteral("Command2")));
    MakeDefaultButton(ok);
    connect(ok, &QPushButton::clicked, this, &FrmA::Command2_Click);
    ok->setFocus();
    CentreOnScreen(this);
}

void FrmA::Command2_Click() { close(); }

}  // namespace sundrel
