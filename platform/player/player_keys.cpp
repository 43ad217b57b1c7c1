// SPDX-License-Identifier: GPL-3.0-or-later
#include "player_keys.h"

#include <QKeyEvent>
#include <QStringList>

namespace sundrel {

namespace {

using A = KeyAction;
constexpr QKeyCombination kNone{};
constexpr auto kShift = Qt::ShiftModifier;
constexpr auto kCtrl = Qt::ControlModifier;
constexpr auto kAlt = Qt::AltModifier;

// Rows that share a tooltip line follow the one that gives it.
constexpr KeyRow kKeys[] = {
    {A::TakeProposal,
     0,
     {Qt::Key_H, kNone},
     "H 选用波形上标出的高潮（再按换下一处）；2 / 3 / 4 选区（或高潮）长 20 / 30 / 40 秒"},
    {A::Length, 20, {Qt::Key_2, kNone}, ""},
    {A::Length, 30, {Qt::Key_3, kNone}, ""},
    {A::Length, 40, {Qt::Key_4, kNone}, ""},
    {A::PlayPause, 0, {Qt::Key_Space, kNone}, "空格 播放/暂停，L 循环播放选区（或高潮）"},
    {A::Loop, 0, {Qt::Key_L, kNone}, ""},
    {A::Seek, -1, {Qt::Key_Left, Qt::Key_Down}, "←/→（↑/↓）后退/前进 1 秒，Shift 加 0.1 秒，Ctrl+←/→ 一帧"},
    {A::Seek, 1, {Qt::Key_Right, Qt::Key_Up}, ""},
    {A::Seek, -0.1, {kShift | Qt::Key_Left, kShift | Qt::Key_Down}, ""},
    {A::Seek, 0.1, {kShift | Qt::Key_Right, kShift | Qt::Key_Up}, ""},
    {A::SeekFrames, -1, {kCtrl | Qt::Key_Left, kNone}, ""},
    {A::SeekFrames, 1, {kCtrl | Qt::Key_Right, kNone}, ""},
    {A::Seek, -5, {Qt::Key_PageDown, kNone}, "Page Up/Page Down 前进/后退 5 秒；Home 开头，End 结尾"},
    {A::Seek, 5, {Qt::Key_PageUp, kNone}, ""},
    {A::SeekToEnd, 0, {Qt::Key_Home, kNone}, ""},
    {A::SeekToEnd, 1, {Qt::Key_End, kNone}, ""},
    {A::Zoom, 1, {Qt::Key_Plus, Qt::Key_Equal}, "+/- 在播放位置缩放，0 显示整首（滚轮在指针处缩放）"},
    {A::Zoom, -1, {Qt::Key_Minus, kNone}, ""},
    {A::ZoomWhole, 0, {Qt::Key_0, kNone}, ""},
    {A::MoveStart,
     -1,
     {Qt::Key_BracketLeft, kNone},
     "[ / ] 开始标记移一帧，{ / }（Shift+[ / ]）结束标记移一帧；加 Alt 移 0.1 秒"},
    {A::MoveStart, 1, {Qt::Key_BracketRight, kNone}, ""},
    {A::MoveStartFine, -0.1, {kAlt | Qt::Key_BracketLeft, kNone}, ""},
    {A::MoveStartFine, 0.1, {kAlt | Qt::Key_BracketRight, kNone}, ""},
    {A::MoveEnd, -1, {Qt::Key_BraceLeft, kShift | Qt::Key_BracketLeft}, ""},
    {A::MoveEnd, 1, {Qt::Key_BraceRight, kShift | Qt::Key_BracketRight}, ""},
    {A::MoveEndFine, -0.1, {kAlt | Qt::Key_BraceLeft, kAlt | kShift | Qt::Key_BracketLeft}, ""},
    {A::MoveEndFine, 0.1, {kAlt | Qt::Key_BraceRight, kAlt | kShift | Qt::Key_BracketRight}, ""},
    {A::TypeStart,
     0,
     {Qt::Key_T, kNone},
     "T 输入开始时间，Shift+T 输入结束时间（秒数如 62.43，或分:秒如 1:02.43；也可双击选区时间）"},
    {A::TypeEnd, 0, {kShift | Qt::Key_T, kNone}, ""},
    {A::FadeIn,
     1,
     {Qt::Key_I, kNone},
     "剪切后：I / Shift+I 渐入长 / 短 0.5 秒，O / Shift+O 渐出；也可拖动选区上角的手柄"},
    {A::FadeIn, -1, {kShift | Qt::Key_I, kNone}, ""},
    {A::FadeOut, 1, {Qt::Key_O, kNone}, ""},
    {A::FadeOut, -1, {kShift | Qt::Key_O, kNone}, ""},
    {A::Volume,
     1,
     {kCtrl | Qt::Key_Up, kNone},
     "剪切后：Ctrl+↑ / Ctrl+↓ 或在选区上按住 Ctrl 滚动滚轮，音量大 / 小 1.5 dB"},
    {A::Volume, -1, {kCtrl | Qt::Key_Down, kNone}, ""},
    {A::Undo, 0, {kCtrl | Qt::Key_Z, kNone}, "Ctrl+Z 撤销，Ctrl+Shift+Z 或 Ctrl+Y 重做"},
    {A::Redo, 0, {kCtrl | kShift | Qt::Key_Z, kCtrl | Qt::Key_Y}, ""},
};

// Keys a layout may give only with Shift (+ { } on most): Shift says nothing
// of them.
bool ShiftedSign(int key) { return key == Qt::Key_Plus || key == Qt::Key_BraceLeft || key == Qt::Key_BraceRight; }

bool Matches(QKeyCombination wanted, int key, Qt::KeyboardModifiers modifiers)
{
    if (wanted.key() == Qt::Key_unknown || int(wanted.key()) != key)
        return false;
    Qt::KeyboardModifiers want = wanted.keyboardModifiers();
    if (ShiftedSign(key)) {
        want &= ~Qt::ShiftModifier;
        modifiers &= ~Qt::ShiftModifier;
    }
    return modifiers == want;
}

}  // namespace

std::span<const KeyRow> PlayerKeys() { return kKeys; }

const KeyRow* FindPlayerKey(const QKeyEvent& event)
{
    // The keypad's keys are the same keys.
    const Qt::KeyboardModifiers modifiers =
        event.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    for (const KeyRow& row : kKeys)
        for (const QKeyCombination keys : row.Keys)
            if (Matches(keys, event.key(), modifiers))
                return &row;
    return nullptr;
}

QString PlayerKeysTip()
{
    QStringList lines{QStringLiteral("播放进度：单击或拖动定位；放大后可拖动底部的全曲条"),
                      QStringLiteral("可拖动开始和剪切后的结束标记，自动对齐到帧和声音起点（按住 Shift 只对齐到帧）")};
    for (const KeyRow& row : kKeys)
        if (*row.Tip)
            lines << QString::fromUtf8(row.Tip);
    return lines.join(QLatin1Char('\n'));
}

}  // namespace sundrel
