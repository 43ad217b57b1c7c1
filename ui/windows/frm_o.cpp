// SPDX-License-Identifier: GPL-3.0-or-later
#include "frm_o.h"

#include "form_builder.h"
#include "window_style.h"

#include <QLabel>
#include <QPushButton>

namespace sundrel {

namespace {

// Three lines, each ended by a line break, the last one too. The hyphens of
// the first line and the colon before "用千千静听" are ASCII.
constexpr const char* kHelpText =
    "Sundrel--------剪切其他格式。\n"
    "要剪切其他格式首先要把其他格式转换为MP3格式，其实也非常简单:用千千静听转换（推荐）。\n"
    "方法如下：有千千静听吗？有的话用千千静听打开，然后对那首歌点击右键，有格式转换，"
    "最上面有一个输出格式，选择MP3格式，然后点击开始转换就可以了。\n";

constexpr ControlRow kControls[] = {
    {"Label1", ControlKind::Label, kHelpText, 120, 240, 5775, 1575, 0, ""},
    {"Command1", ControlKind::Button, "关闭(&C)", 1680, 1920, 2175, 495, 1, ""},
};

}  // namespace

FrmO::FrmO(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    MakeFixedWindow(this, "FrmO", QStringLiteral("Sundrel--如何剪切其他格式"), 5970, 2625);

    const auto controls = BuildControls(this, kControls);
    auto* help = static_cast<QLabel*>(controls.value(QStringLiteral("Label1")));
    help->setFont(SongFont(10.5));
    auto* close = static_cast<QPushButton*>(controls.value(QStringLiteral("Command1")));
    MakeDefaultButton(close);
    connect(close, &QPushButton::clicked, this, &FrmO::Command1_Click);
    CentreOnScreen(this);
}

void FrmO::Command1_Click() { close(); }

}  // namespace sundrel
