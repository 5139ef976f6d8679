#!/usr/bin/python3
"""A small Wayland client that offers one file for dragging, as a file manager does.

Usage: drag_source.py APP_ID FILE   (in a Wayland session; Debian's python3 with
the gi module and GTK 3)

Shows a window whose whole area is a drag source of FILE's address as
text/uri-list; prints "ready" once shown, "dropped" when a drop took it.
"""

import os
import sys

import gi

gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402


def main():
    app_id, path = sys.argv[1], os.path.abspath(sys.argv[2])
    GLib.set_prgname(app_id)  # sway's app_id for the view
    uri = GLib.filename_to_uri(path, None)
    window = Gtk.Window(title=app_id)
    window.set_default_size(160, 120)
    area = Gtk.EventBox()
    area.add(Gtk.Label(label="drag me"))
    area.drag_source_set(Gdk.ModifierType.BUTTON1_MASK,
                         [Gtk.TargetEntry.new("text/uri-list", 0, 0)], Gdk.DragAction.COPY)
    area.connect("drag-data-get", lambda _w, _c, data, _i, _t: data.set_uris([uri]))
    area.connect("drag-end", lambda *_: print("dropped", flush=True))
    window.add(area)
    window.connect("destroy", Gtk.main_quit)
    window.connect("map-event", lambda *_: print("ready", flush=True))
    window.show_all()
    Gtk.main()


if __name__ == "__main__":
    main()
