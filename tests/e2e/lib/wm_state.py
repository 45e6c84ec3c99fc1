#!/usr/bin/python3
"""Asks the window manager to change a window's state, as a user would through its menus:
wm_state.py WINDOW_ID add|remove fullscreen. Talks to libX11 directly (no extra packages)."""
import ctypes
import ctypes.util
import sys

ClientMessage = 33
SubstructureNotifyMask = 1 << 19
SubstructureRedirectMask = 1 << 20
ACTIONS = {"remove": 0, "add": 1}


class XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", XClientMessageEvent), ("pad", ctypes.c_long * 24)]


def main():
    if len(sys.argv) != 4 or sys.argv[2] not in ACTIONS:
        sys.exit("usage: wm_state.py WINDOW_ID add|remove STATE")
    x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XDefaultRootWindow.restype = ctypes.c_ulong
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                             ctypes.POINTER(XEvent)]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    dpy = x.XOpenDisplay(None)
    if not dpy:
        sys.exit("wm_state.py: no display")
    ev = XEvent()
    ev.xclient.type = ClientMessage
    ev.xclient.window = int(sys.argv[1], 0)
    ev.xclient.message_type = x.XInternAtom(dpy, b"_NET_WM_STATE", 0)
    ev.xclient.format = 32
    ev.xclient.data[0] = ACTIONS[sys.argv[2]]
    ev.xclient.data[1] = x.XInternAtom(dpy, b"_NET_WM_STATE_" + sys.argv[3].upper().encode(), 0)
    ev.xclient.data[3] = 1  # source: a normal application
    ok = x.XSendEvent(dpy, x.XDefaultRootWindow(dpy), 0,
                      SubstructureRedirectMask | SubstructureNotifyMask, ctypes.byref(ev))
    x.XFlush(dpy)
    x.XCloseDisplay(dpy)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
