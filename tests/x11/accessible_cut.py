#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Reads the running program's accessibility tree over AT-SPI, as a screen
# reader does, and cuts the song it was given with its access keys.
# Usage: accessible_cut.py SONG KEPT-FILE PROGRAM
import atexit
import os
import re
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

song, kept, program = sys.argv[1], sys.argv[2], sys.argv[3]


def fail(why):
    print("FAIL: " + why, file=sys.stderr)
    sys.exit(1)


# What the program says to a screen reader, as it comes: each event's type,
# its source's role and name, and the text it carries.
heard = []


def hear(event):
    try:
        role, name = event.source.get_role_name(), event.source.get_name()
    except GLib.Error:
        role, name = "", ""
    text = event.any_data if isinstance(event.any_data, str) else ""
    heard.append((event.type, role, name, text))


listener = Atspi.EventListener.new(hear)
for kind in ("object:announcement", "object:property-change:accessible-name", "object:text-changed",
             "window:activate"):
    listener.register(kind)
# `sundrel SONG`, as the desktop's "Open with" starts it.
app = subprocess.Popen([program, song], stderr=subprocess.DEVNULL)
atexit.register(app.kill)


def eventually(check, what, seconds=20):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while GLib.MainContext.default().iteration(False):
            pass
        found = check()
        if found:
            return found
        time.sleep(0.1)
    fail(what)


def nodes(root):
    """Every node under root, with its role and name."""
    stack = [root]
    while stack:
        node = stack.pop()
        yield node
        stack.extend(node.get_child_at_index(i) for i in range(node.get_child_count()))


def main_window():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        for window in (app.get_child_at_index(j) for j in range(app.get_child_count())):
            if window.get_name() == "SundrelV2.35":
                return window
    return None


window = eventually(main_window, "no window SundrelV2.35 in the accessibility tree")
# AT-SPI 2.46 (Debian 12) calls a button "push button", later ones "button".
tree = [(n.get_role_name().replace("push button", "button"), n.get_name(), n) for n in nodes(window)]


def named(role, name):
    return [n for r, m, n in tree if r == role and m == name]


# Every control a user works with has its name; the path boxes are named by
# their labels, and the source box holds the song from the command line.
for role, name in [("text", "请选择MP3文件："), ("text", "请选择存放的文件夹："),
                   ("button", "停止"), ("slider", "音量"), ("slider", "播放进度"),
                   ("button", "开始(S)"), ("button", "结束(P)"), ("button", "试听(T)"),
                   ("button", "另存为"), ("button", "浏览"), ("button", "打开文件夹")]:
    if not named(role, name):
        fail(f"no {role} named {name}")
for role, name, _ in tree:
    if role in ("button", "text", "slider") and not name:
        fail(f"a {role} without a name")
source = named("text", "请选择MP3文件：")[0]
if Atspi.Text.get_text(source, 0, -1) != song:
    fail("the song on the command line is not in the source box")
wave = named("slider", "播放进度")[0]
# The play button is named for what it does: 暂停 while the song plays.
if not (named("button", "暂停") or named("button", "播放")):
    fail("no play button named 播放 or 暂停")


def value():
    return wave.get_description()


def seconds(label):
    found = re.search(label + r" (\d+\.\d\d) 秒", value())
    return float(found.group(1)) if found else None


def keys(combination):
    subprocess.run(["xdotool", "search", "--name", "^SundrelV2.35$", "windowactivate", "--sync",
                    "key", "--clearmodifiers", combination], check=True)


# The song plays: the value follows its position, and the numeric value
# with it.
eventually(lambda: (seconds("位置") or 0) >= 1.0, "the waveform's value does not follow playback: " + value())
if abs(Atspi.Value.get_current_value(wave) - seconds("位置")) > 0.5:
    fail("the waveform's value and its text disagree")
keys("alt+s")
start = eventually(lambda: seconds("开始"), "Start is not in the waveform's value: " + value())
eventually(lambda: (seconds("位置") or 0) >= start + 2, "playback stopped: " + value())
keys("alt+p")
length = eventually(lambda: seconds("长"), "the cut is not in the waveform's value: " + value())
end = seconds("结束")
if abs(end - start - length) > 0.011:
    fail("start, end and length disagree: " + value())

# The ringtone, decoded gapless, is as long as the value says.
eventually(lambda: os.path.exists(kept), "no kept file")
pcm = subprocess.run(["mpg123", "-q", "-s", kept], check=True, capture_output=True).stdout
heard_s = len(pcm) / 2 / 44100
if abs(heard_s - length) > 0.03:
    fail(f"the kept file plays {heard_s:.3f} s, the value says {length} s")
print(f"names read from the accessibility tree; cut from {start} to {end} s: {value()}; it plays {heard_s:.3f} s")


# Each outcome is spoken once, where the focus is: an announcement (Qt 6.8
# on) or the status, a notification, renamed (older Qt).
def announced(words):
    return sum(1 for kind, role, name, text in heard
               if (kind == "object:announcement" and text == words)
               or (kind.startswith("object:property-change:accessible-name") and role == "notification"
                   and name == words))


def press(combination, words, times, what):
    keys(combination)
    eventually(lambda: announced(words) >= times, f"{what} was not announced as {words}: {heard[-5:]}")


if announced("剪切完成，请试听") != 1:
    fail(f"the cut was not announced once: {heard}")
# The waveform has the keys; Tab goes there from the song's box.
for _ in range(5):
    keys("Tab")
eventually(lambda: wave.get_state_set().contains(Atspi.StateType.FOCUSED), "Tab does not reach the waveform")
press("o", "铃声已换，请试听", 1, "a fade")
eventually(lambda: seconds("渐出"), "the fade is not in the waveform's value: " + value())
press("ctrl+Down", "铃声已换，请试听", 2, "a volume step")
eventually(lambda: "音量 -1.5 dB" in value(), "the volume is not in the waveform's value: " + value())

# Refusals: the end mark dropped before the start with the mouse, then an
# end typed before the start. The message box is an alert that takes the
# focus (from the waveform the mouse just let go of too), read as it opens;
# Return answers it.
refusal = "结束时间必须在开始时间之后！"


def refused(times, what):
    eventually(lambda: sum(1 for k, r, n, t in heard if k == "window:activate" and r == "alert") == times,
               f"no message box opened after {what}")
    box = [n for k, r, n, t in heard if k == "object:property-change:accessible-name" and n == refusal]
    if len(box) != times:
        fail(f"the refusal's words were not told once after {what}: {heard}")
    subprocess.run(["xdotool", "key", "Return"], check=True)
    activations = lambda: [r for k, r, n, t in heard if k == "window:activate"]  # noqa: E731
    eventually(lambda: activations()[-1] != "alert", f"Return did not close the message box after {what}")


extents = Atspi.Component.get_extents(wave, Atspi.CoordType.SCREEN)
song_seconds = float(re.search(r"共 (\d+\.\d\d) 秒", value()).group(1))
def column(at): return extents.x + int(at / song_seconds * extents.width)  # noqa: E301,E704
middle = extents.y + extents.height // 2
drag = ["xdotool", "mousemove", str(column(end)), str(middle), "mousedown", "1"]
for x in range(column(end) - 4, column(start) - 16, -4):
    drag += ["mousemove", str(x), str(middle)]
subprocess.run(drag + ["mouseup", "1"], check=True)
refused(1, "the end mark dropped before the start")
if seconds("结束") != end:
    fail("the refused drop moved the end: " + value())

keys("shift+t")
subprocess.run(["xdotool", "type", "--delay", "20", "1"], check=True)
subprocess.run(["xdotool", "key", "Return"], check=True)
refused(2, "an end typed before the start")
eventually(lambda: wave.get_state_set().contains(Atspi.StateType.FOCUSED), "the focus did not come back")

# Once each, all told: nothing said twice, nothing heard from the size
# fields the program fills out of view. Their frame, retitled when a song
# is chosen, may still tell that something of it changed, with neither a
# role nor a name a reader could say.
for words, times in (("剪切完成，请试听", 1), ("铃声已换，请试听", 2), (refusal, 0)):
    if announced(words) != times:
        fail(f"{words} announced {announced(words)} times, not {times}: {heard}")
for kind, role, name, text in heard:
    if "源分割文件大小" in name + text or (role in ("invalid", "unknown") and (name or text)):
        fail(f"heard from the size fields out of view: {kind} {role} {name}")
print(f"announced once each: the cut, a fade, a volume step; two refusals read from their boxes; {len(heard)} events")
