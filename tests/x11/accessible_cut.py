#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Reads the running program's accessibility tree over AT-SPI, as a screen
# reader does, and cuts the song it was given with its access keys.
# Usage: accessible_cut.py SONG KEPT-FILE
import os
import re
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

song, kept = sys.argv[1], sys.argv[2]


def fail(why):
    print("FAIL: " + why, file=sys.stderr)
    sys.exit(1)


def eventually(check, what, seconds=20):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
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
heard = len(pcm) / 2 / 44100
if abs(heard - length) > 0.03:
    fail(f"the kept file plays {heard:.3f} s, the value says {length} s")
print(f"names read from the accessibility tree; cut from {start} to {end} s: {value()}; it plays {heard:.3f} s")
