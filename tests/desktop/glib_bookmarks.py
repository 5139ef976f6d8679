#!/usr/bin/python3
"""Prints a recently-used.xbel list as GLib itself reads it (what GTK's recent
files and file choosers see), as JSON: {uri: {title, description, groups,
private, added (Unix time), apps: {name: count}}}, or {"error": GLib's message}.
Through GLib's C functions: GLib.BookmarkFile has no constructor in PyGObject.

Usage: glib_bookmarks.py LIST
"""

import ctypes, json, sys
g = ctypes.CDLL("libglib-2.0.so.0")
P, S, Z = ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t
class Error(ctypes.Structure):
    _fields_ = [("domain", ctypes.c_uint32), ("code", ctypes.c_int), ("message", S)]
E = ctypes.POINTER(Error)
for name, res, args in [
        ("g_bookmark_file_new", P, []),
        ("g_bookmark_file_load_from_file", ctypes.c_int, [P, S, ctypes.POINTER(E)]),
        ("g_bookmark_file_get_uris", ctypes.POINTER(S), [P, ctypes.POINTER(Z)]),
        ("g_bookmark_file_get_title", S, [P, S, ctypes.POINTER(E)]),
        ("g_bookmark_file_get_description", S, [P, S, ctypes.POINTER(E)]),
        ("g_bookmark_file_get_groups", ctypes.POINTER(S), [P, S, ctypes.POINTER(Z), ctypes.POINTER(E)]),
        ("g_bookmark_file_get_is_private", ctypes.c_int, [P, S, ctypes.POINTER(E)]),
        ("g_bookmark_file_get_added_date_time", P, [P, S, ctypes.POINTER(E)]),
        ("g_date_time_to_unix", ctypes.c_int64, [P]),
        ("g_bookmark_file_get_applications", ctypes.POINTER(S), [P, S, ctypes.POINTER(Z), ctypes.POINTER(E)]),
        ("g_bookmark_file_get_application_info", ctypes.c_int,
         [P, S, S, ctypes.POINTER(S), ctypes.POINTER(ctypes.c_uint), P, ctypes.POINTER(E)])]:
    f = getattr(g, name); f.restype, f.argtypes = res, args
def strings(array, n):
    return [array[i].decode() for i in range(n.value)] if array else []
b, err = g.g_bookmark_file_new(), E()
if not g.g_bookmark_file_load_from_file(b, sys.argv[1].encode(), ctypes.byref(err)):
    print(json.dumps({"error": err.contents.message.decode()})); sys.exit()
out, n = {}, Z()
for u in strings(g.g_bookmark_file_get_uris(b, ctypes.byref(n)), n):
    k, e = u.encode(), E()
    text = lambda f: (f(b, k, ctypes.byref(E())) or b"").decode()
    apps = strings(g.g_bookmark_file_get_applications(b, k, ctypes.byref(n), ctypes.byref(e)), n)
    counts = {}
    for a in apps:
        count = ctypes.c_uint()
        g.g_bookmark_file_get_application_info(b, k, a.encode(), None, ctypes.byref(count), None,
                                               ctypes.byref(E()))
        counts[a] = count.value
    out[u] = {"title": text(g.g_bookmark_file_get_title),
              "description": text(g.g_bookmark_file_get_description),
              "groups": strings(g.g_bookmark_file_get_groups(b, k, ctypes.byref(n), ctypes.byref(E())), n),
              "private": bool(g.g_bookmark_file_get_is_private(b, k, ctypes.byref(E()))),
              "added": g.g_date_time_to_unix(g.g_bookmark_file_get_added_date_time(b, k, ctypes.byref(E()))),
              "apps": counts}
print(json.dumps(out))
