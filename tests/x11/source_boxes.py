#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Prints, one line each, what the song box of every main window on the
# accessibility bus holds, as a screen reader reads it.
import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def nodes(root):
    stack = [root]
    while stack:
        node = stack.pop()
        yield node
        stack.extend(node.get_child_at_index(i) for i in range(node.get_child_count()))


desktop = Atspi.get_desktop(0)
for i in range(desktop.get_child_count()):
    app = desktop.get_child_at_index(i)
    for window in (app.get_child_at_index(j) for j in range(app.get_child_count())):
        if window is None or window.get_name() != "SundrelV2.35":
            continue
        for node in nodes(window):
            if node.get_role_name() == "text" and node.get_name() == "请选择MP3文件：":
                print(Atspi.Text.get_text(node, 0, -1))
