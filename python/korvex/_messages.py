"""Message boxes and the log for Python hosts, on korvex_set_message_cb and korvex_set_log_cb.

A handler set with set_message_handler receives each box the machine shows on this thread as a
Message and returns the answer: "ok", "yes" or "no" (True and False stand for yes and no). An answer
the box does not offer is taken as the safe one (OK; No to "reconnect?") and logged as a warning;
an exception inside the handler answers the same way and is raised again from the member's call.
"""
import collections
import ctypes
import threading

from ._native import lib

Message = collections.namedtuple("Message", "text shown title buttons icon")
Message.__doc__ = """One message box: text byte-exact as the machine shows it (mostly Chinese); shown in
the operator's language (English with the original beside it, from LANG); title; buttons "ok" or
"yesno"; icon "none", "info" or "critical"."""

_BUTTONS = ("ok", "yesno")
_ICONS = ("none", "info", "critical")
_ANSWERS = {"ok": 0, "yes": 1, "no": 2, True: 1, False: 2}
_LEVELS = {"none": 0, "error": 1, "warning": 2, "info": 3}
_LEVEL_NAMES = {v: k for k, v in _LEVELS.items()}


class _CMessage(ctypes.Structure):
    _fields_ = [("text", ctypes.c_char_p), ("shown", ctypes.c_char_p), ("title", ctypes.c_char_p),
                ("buttons", ctypes.c_int32), ("icon", ctypes.c_int32)]


_MESSAGE_CB = ctypes.CFUNCTYPE(ctypes.c_int32, ctypes.POINTER(_CMessage), ctypes.c_void_p)
_LOG_CB = ctypes.CFUNCTYPE(None, ctypes.c_int, ctypes.c_char_p, ctypes.c_void_p)
lib.korvex_set_message_cb.argtypes = [_MESSAGE_CB, ctypes.c_void_p]
lib.korvex_set_message_cb.restype = ctypes.c_int32
lib.korvex_set_log_cb.argtypes = [_LOG_CB, ctypes.c_int, ctypes.c_void_p]
lib.korvex_set_log_cb.restype = ctypes.c_int32

_callbacks = {}  # the C callbacks in use, kept alive: per thread id, and "log"
_pending = threading.local()  # the exception a message handler raised, until the call returns


def _text(raw):
    return raw.decode("utf-8", "replace") if raw else ""


def _name(names, index):
    return names[index] if 0 <= index < len(names) else str(index)


def set_message_handler(handler):
    """Sets this thread's message handler (a callable taking a Message); None restores the default,
    which writes the box to standard error and answers on the safe side."""
    from . import _check
    if handler is None:
        _check(lib.korvex_set_message_cb(_MESSAGE_CB(), None))
        _callbacks.pop(threading.get_ident(), None)
        return

    def answer(message, _user_data):
        m = message.contents
        try:
            given = handler(Message(_text(m.text), _text(m.shown), _text(m.title), _name(_BUTTONS, m.buttons),
                                    _name(_ICONS, m.icon)))
            return _ANSWERS.get(given.lower() if isinstance(given, str) else given, -1)
        except BaseException as e:  # noqa: B036 - raised again once the member returns
            _pending.error = e
            return -1

    callback = _MESSAGE_CB(answer)
    _check(lib.korvex_set_message_cb(callback, None))
    _callbacks[threading.get_ident()] = callback


def set_log_handler(handler, level="info"):
    """Sets the process's log handler: handler(level, line) for every line up to level ("error":
    faults the library returned; "warning": answers a box does not offer; "info": every message box
    and its answer). None removes it. Called on the thread the event happens on."""
    from . import _check
    if level not in _LEVELS:
        raise ValueError(f"level must be one of {', '.join(_LEVELS)}, not {level!r}")
    if handler is None:
        _check(lib.korvex_set_log_cb(_LOG_CB(), 0, None))
        _callbacks.pop("log", None)
        return

    def log(level_number, line, _user_data):
        try:
            handler(_LEVEL_NAMES.get(level_number, str(level_number)), _text(line))
        except Exception:  # a logger's failure must not reach the machine
            pass

    callback = _LOG_CB(log)
    _check(lib.korvex_set_log_cb(callback, _LEVELS[level], None))
    _callbacks["log"] = callback


def raise_pending():
    """Raises the exception a message handler raised during the last call, if any."""
    error = getattr(_pending, "error", None)
    if error is not None:
        _pending.error = None
        raise error
