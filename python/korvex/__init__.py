"""korvex for Python: the laser marking library's object and its simulated machine.

    import korvex
    m = korvex.Machine()                      # on the simulated machine unless set_platform says otherwise
    m.Marking_init_pci(128, 0, 0, 1, 0, [0, 0, 0, 0], 1)
    m.Marking_para(1000, 3000, 100, 200, 300, 400, 3.0, 50, 20, 100, 500)
    m.marking_start()
    m.Marking_data([5, -10, -10, 10, -10, 10, 10, -10, 10, -10, -10, 0])
    korvex.marks()                            # what the laser did, as Mark tuples
    korvex.picture(head_steps_per_mm=1000 / 3.0)  # shows itself in a notebook

Members keep their names and argument order; numbers and lists go in, the member's status code
comes back, and a fault inside a member is raised as korvex.Fault (its .kind says "index",
"overflow", "division", ...). Objects and the machine belong to the thread that made them.
"""
import collections
import ctypes
import math
import numbers
import operator
import os
import struct
import tempfile

from . import _messages, _native
from ._messages import Message, set_log_handler, set_message_handler
from .member_values import *  # noqa: F401,F403 - CARD_DIRECT, GATE_OPENS_LOW, MD_END, ...
from ._native import lib

__all__ = ["Fault", "Machine", "Mark", "Picture", "set_platform", "library_folder", "marks", "clear_marks",
           "write_marks", "set_input", "laser_emitting", "time_us", "save_picture", "picture", "version",
           "Message", "set_message_handler", "set_log_handler"]

__version__ = lib.korvex_version().decode("ascii")  # the loaded library's: the module is its interface


class Fault(Exception):
    """A failed call: a fault inside a member, or a bad argument at the C boundary.

    kind: "index", "overflow", "division", "float", "eof", "type", "file", "device", "unavailable",
    "argument", "memory" or "internal"; message: what failed; code: the C error code.
    """

    def __init__(self, kind, message, code):
        super().__init__(f"{kind}: {message}")
        self.kind, self.message, self.code = kind, message, code


def _text(raw):
    return raw.decode("utf-8", "replace") if raw else ""


def _fault(code, handle=None):
    kind_code = _native.ERROR_BASE - code
    message = lib.korvex_fault_message(handle) if handle else lib.korvex_last_fault_message()
    return Fault(_text(lib.korvex_fault_kind_name(kind_code)), _text(message), code)


def _check(code, handle=None):
    if code <= _native.ERROR_BASE:
        raise _fault(code, handle)
    return code


# Arguments are checked here the way Python checks its own: a value of the wrong type (a float for an
# integer, a string for a number) is a TypeError; a value its C type cannot carry (out of range, a
# NUL inside a string) is a ValueError. Nothing is wrapped, truncated or reinterpreted: every array
# is converted element by element, whatever memory layout it has (numpy arrays included).
def _named(name, index):
    return name if index is None else f"{name}[{index}]"


def _integer(value, low, high, name, ctype, index=None):
    try:
        v = operator.index(value)  # refuses 1.9 rather than rounding it to bit 1
    except TypeError:
        raise TypeError(f"{_named(name, index)} must be an integer, not {type(value).__name__}") from None
    if not low <= v <= high:
        shown = f"= {v}" if v.bit_length() <= 64 else f"(an integer of {v.bit_length()} bits)"
        raise ValueError(f"{_named(name, index)} {shown} does not fit {ctype} ({low} to {high})")
    return v


def _int(value, bits, name):
    return _integer(value, -(1 << (bits - 1)), (1 << (bits - 1)) - 1, name, f"a {bits}-bit integer")


_SINGLE_MAX = struct.unpack("<f", b"\xff\xff\x7f\x7f")[0]


def _real(value, name, single=False, index=None):
    if type(value) is not float:
        if not isinstance(value, numbers.Real):  # also refuses "1.5" and nested arrays
            raise TypeError(f"{_named(name, index)} must be a number, not {type(value).__name__}")
        try:
            value = float(value)
        except OverflowError:
            raise ValueError(f"{_named(name, index)} is too large for a Double") from None
    if single and math.isfinite(value) and abs(value) > _SINGLE_MAX:
        raise ValueError(f"{_named(name, index)} = {value} does not fit a Single")
    return value


def _bytes(values, name):
    if not isinstance(values, (bytes, bytearray)):
        values = bytes([_integer(v, 0, 255, name, "a byte", i) for i, v in enumerate(values)])
    return (ctypes.c_uint8 * len(values)).from_buffer_copy(values) if values else None, len(values)


def _doubles(values, name):
    return (ctypes.c_double * len(values))(*[_real(v, name, index=i) for i, v in enumerate(values)])


def _utf8(value, name, index=None):
    if value is None:
        return None  # the C interface says which argument is missing
    if isinstance(value, os.PathLike):
        value = os.fspath(value)
    raw = bytes(value) if isinstance(value, (bytes, bytearray)) else str(value).encode("utf-8")
    if b"\0" in raw:
        raise ValueError(f"{_named(name, index)} contains a NUL character, which would end it early in C")
    return raw


def _strings(values, name):
    if isinstance(values, (str, bytes, bytearray)):
        raise TypeError(f"{name} must be a sequence of strings, not one {type(values).__name__}")
    encoded = [_utf8(v, name, i) for i, v in enumerate(values)]
    return (ctypes.c_char_p * len(encoded))(*encoded) if encoded else None, len(encoded)


def _string_out(call):
    length = ctypes.c_size_t(0)
    call(None, 0, ctypes.byref(length))
    buffer = ctypes.create_string_buffer(length.value + 1)
    call(buffer, len(buffer), ctypes.byref(length))
    return _text(buffer.value)


class Machine:
    """One korvex_dll object. Every object of a thread shares that thread's machine."""

    def __init__(self):
        handle = ctypes.c_void_p()
        _check(lib.korvex_create(ctypes.byref(handle)))
        self._h = handle

    def close(self):
        """Destroys the object now (touches nothing on the machine); only its own thread can."""
        if self._h:
            _check(lib.korvex_destroy(self._h))
            self._h = None

    def __del__(self):
        if getattr(self, "_h", None) and lib is not None:  # not after a failed create, nor at shutdown
            try:
                self.close()
            except Fault:
                pass  # collected on another thread: the object goes when the thread that made it ends

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _call(self, function, *args):
        if not self._h:
            raise ValueError("the object is closed")
        try:
            return _check(function(self._h, *args), self._h)
        finally:
            _messages.raise_pending()

    # Properties (slots 1-5)
    @property
    def Name(self):
        """The object's name (a string the host may set; the library does not use it)."""
        return _string_out(lambda buf, size, length: self._call(lib.korvex_get_Name, buf, size, length))

    @Name.setter
    def Name(self, value):
        self._call(lib.korvex_set_Name, _utf8(value, "Name"))

    @property
    def File_no_begin(self):
        """First job number of a stand-alone download (32-bit); Marking_init_pci in stand-alone mode sets it 0."""
        value = ctypes.c_int32()
        self._call(lib.korvex_get_File_no_begin, ctypes.byref(value))
        return value.value

    @File_no_begin.setter
    def File_no_begin(self, value):
        self._call(lib.korvex_set_File_no_begin, _int(value, 32, "File_no_begin"))

    @property
    def DebugID(self):
        """The object's serial number, counting the objects the library has made (read only)."""
        value = ctypes.c_int32()
        self._call(lib.korvex_get_DebugID, ctypes.byref(value))
        return value.value

    # Members (slots 6-22)
    def e_isMarking(self):
        """-1 (True) while an e_PrintEarMark print pass runs, 0 otherwise; a pass that faulted leaves it -1."""
        return self._call(lib.korvex_e_isMarking)

    def e_PrintEarMark(self, imageData, strNumber1, strNumber2, arr_Size):
        """Marks one plate of ear tags with the template e_setPrintInfo loaded: per bar-code cell its
        16x16 dot matrix from imageData (bytes, 32 a tag), its first and second number from
        strNumber1 and strNumber2 (lists of strings) and its plot cell. arr_Size: byte sizes, the
        first the number of tags. Returns 0."""
        image, image_n = _bytes(imageData, "imageData")
        n1, n1_n = _strings(strNumber1, "strNumber1")
        n2, n2_n = _strings(strNumber2, "strNumber2")
        sizes, sizes_n = _bytes(arr_Size, "arr_Size")
        return self._call(lib.korvex_e_PrintEarMark, image, image_n, n1, n1_n, n2, n2_n, sizes, sizes_n)

    def e_Initlize(self):
        """Brings the machine up for ear tags with fixed settings (direct mode, step size 3 um), loads the
        template MarkConfig and the font catalogue. Returns 0."""
        return self._call(lib.korvex_e_Initlize)

    def e_Relese(self):
        """Releases nothing on the machine (the card and ports stay as they are). Returns 0."""
        return self._call(lib.korvex_e_Relese)

    def e_setPrintInfo(self, strTempletFileName):
        """Loads the ear-tag template pair BASE.mc1 and BASE.nam (strTempletFileName: BASE, a path)."""
        self._call(lib.korvex_e_setPrintInfo, _utf8(strTempletFileName, "strTempletFileName"))

    def usb_laser_open(self, laserpower, laserfre, on_off):
        """Stand-alone mode: switches the controller's laser on (on_off 1) or off (0) at laserpower (%)
        and laserfre (kHz). Returns 0."""
        return self._call(lib.korvex_usb_laser_open, _real(laserpower, "laserpower", single=True),
                          _real(laserfre, "laserfre", single=True), _int(on_off, 16, "on_off"))

    def Marking_init_pci(self, out_data0, out_data1, card, LaserType, lnghead, rs_n, laser_sw):
        """Brings the machine up. card 0: direct mode through the PCI I/O card (out_data0, out_data1:
        the two output bytes it starts with, LaserType the laser controller, laser_sw 1 to program
        it); else stand-alone mode through the serial ports in rs_n (bytes, one a head; lnghead: the
        head). Loads the field correction grid. Returns 0."""
        ports, ports_n = _bytes(rs_n, "rs_n")
        ints = [_int(v, 16, n) for v, n in ((out_data0, "out_data0"), (out_data1, "out_data1"), (card, "card"),
                                           (LaserType, "LaserType"), (lnghead, "lnghead"))]
        return self._call(lib.korvex_Marking_init_pci, *ints, ports, ports_n, _int(laser_sw, 16, "laser_sw"))

    def _with_md(self, md, call):
        values = _doubles(md, "md")
        try:
            return call(values, len(md))
        finally:
            if isinstance(md, list):  # the member may write into md, as it does for C++ hosts
                md[:] = list(values)

    def Marking_data(self, md):
        """Marks the records in md; a list passed in gets the values the library wrote back."""
        return self._with_md(md, lambda values, n: self._call(lib.korvex_Marking_data, values, n))

    def Marking_end(self, fileno, fileAll, MarkM, m_sel, m_head, md):
        """Stand-alone mode: packs md (as Marking_data) as job fileno of fileAll and downloads it to
        head m_head (MarkM: marking mode, m_sel: selection). Returns 1 when the download completed,
        else 0; a list md gets the values the library stored (clamped)."""
        ints = [_int(v, 32, n) for v, n in ((fileno, "fileno"), (fileAll, "fileAll"), (MarkM, "MarkM"),
                                            (m_sel, "m_sel"), (m_head, "m_head"))]
        return self._with_md(md, lambda values, n: self._call(lib.korvex_Marking_end, *ints, values, n))

    def Marking_run(self):
        """Stand-alone mode: starts the stored jobs on the controllers. Returns 0."""
        return self._call(lib.korvex_Marking_run)

    def Marking_stop(self):
        """Stand-alone mode: stops the controllers' jobs. Returns 0."""
        return self._call(lib.korvex_Marking_stop)

    def Marking_para(self, ms, mms, tcf, tch, tof, toh, su, laserpower, laserfre, lasermaxpower, dr_time):
        """Sets the marking parameters: ms marking speed and mms jump speed (mm/s, up to 15000), tcf
        and tch the waits before and after the laser gate closes, tof and toh before and after it
        opens (us), su the step size (um; 1000 / su D/A steps per mm), laserpower (%), laserfre
        (kHz), lasermaxpower (power at full scale), dr_time the longest wait after a vector (us).
        Programs the laser controller. Returns 1."""
        tcf, tch, tof, toh, dr_time = (_int(v, 32, n) for v, n in ((tcf, "tcf"), (tch, "tch"), (tof, "tof"),
                                                                   (toh, "toh"), (dr_time, "dr_time")))
        ms, mms, laserpower, laserfre, lasermaxpower = (
            _real(v, n, single=True) for v, n in ((ms, "ms"), (mms, "mms"), (laserpower, "laserpower"),
                                                  (laserfre, "laserfre"), (lasermaxpower, "lasermaxpower")))
        return self._call(lib.korvex_Marking_para, ms, mms, tcf, tch, tof, toh, _real(su, "su"), laserpower, laserfre,
                          lasermaxpower, dr_time)

    def Send_cal_data(self, lnghead):
        """Stand-alone mode: downloads the field correction grid to head lnghead. Returns -1 (True) when
        the download completed, else 0."""
        return self._call(lib.korvex_Send_cal_data, _int(lnghead, 32, "lnghead"))

    def marking_start(self):
        """Starts marking: the laser gate closed, the scanner at the centre (direct mode), or an empty
        job buffer (stand-alone mode). Returns 0."""
        return self._call(lib.korvex_marking_start)

    def port_Out_bit(self, intBit, intV):
        """Drives output bit intBit (0-15) to the raw level intV (0 or 1). Returns 0."""
        return self._call(lib.korvex_port_Out_bit, _int(intBit, 16, "intBit"), _int(intV, 16, "intV"))

    def port_In_Bit(self, intBit):
        """Reads input bit intBit (0-15): returns its level, 0 or 1."""
        return self._call(lib.korvex_port_In_Bit, _int(intBit, 16, "intBit"))

    def Marking_DA(self, V, P):
        """Writes V volts (-10 to +10 for full scale) to the scanner's D/A channel P (0 or 1; another
        channel writes nothing). Returns 0."""
        return self._call(lib.korvex_Marking_DA, _real(V, "V"), _int(P, 16, "P"))


def version():
    """The library's version, as korvex.__version__."""
    return _text(lib.korvex_version())


def set_platform(card="simulated", clock=None, library_folder=None):
    """Chooses the calling thread's machine: card "simulated" or "real", clock "virtual" or
    "monotonic" (None: the card's default), the library folder (grid files and font/; None: the
    default). A new simulated machine starts with no marks."""
    _check(lib.korvex_set_platform(_utf8(card, "card"), _utf8(clock, "clock"), _utf8(library_folder, "library_folder")))


def library_folder():
    """The folder the library reads grid files and fonts from, for this thread."""
    return _string_out(lambda buf, size, length: _check(lib.korvex_library_folder(buf, size, length)))


Mark = collections.namedtuple("Mark", "kind x0 y0 x1 y1 steps t0_us t1_us")
Mark.__doc__ = """A mark of the simulated machine in D/A units: kind "line" (laser on), "jump" (laser off),
"dot" (at x0, y0) or "axis" (steps of the rotary axis), with its start and end time in microseconds."""
_MARK_KINDS = ("line", "jump", "dot", "axis")


def marks():
    """Every mark the thread's simulated machine has made since it started or was cleared."""
    count = ctypes.c_size_t(0)
    _check(lib.korvex_sim_marks(None, 0, ctypes.byref(count)))
    array = (_native.Mark * count.value)()
    _check(lib.korvex_sim_marks(array, count.value, ctypes.byref(count)))
    return [Mark(_MARK_KINDS[m.kind], m.x0, m.y0, m.x1, m.y1, m.steps, m.t0_us, m.t1_us) for m in array[:count.value]]


def clear_marks():
    """Forgets the marks the thread's simulated machine has made."""
    _check(lib.korvex_sim_clear_marks())


def write_marks(path):
    """Writes the marks as the korvex program's --marks text."""
    _check(lib.korvex_sim_write_marks(_utf8(os.fspath(path), "path")))


def set_input(bit, level):
    """Drives the simulated card's input bit (0-15) to level 0 or 1."""
    _check(lib.korvex_sim_set_input(_int(bit, 32, "bit"), _int(level, 32, "level")))


def laser_emitting():
    """True while the simulated laser emits (its gate open and the laser on)."""
    value = ctypes.c_int32()
    _check(lib.korvex_sim_laser_emitting(ctypes.byref(value)))
    return bool(value.value)


def time_us():
    """The simulated machine's time in microseconds since it started."""
    value = ctypes.c_double()
    _check(lib.korvex_sim_time_us(ctypes.byref(value)))
    return value.value


def save_picture(path, head_steps_per_mm=100.0, field_mm=110.0, format=None):
    """Draws the marks into a PNG, SVG or PDF (by format, else by the file name) at the simulated
    head's scale: D/A units per mm, 1000 / the step size in um the job used."""
    _check(_native.picture_lib().korvex_sim_write_picture(_utf8(os.fspath(path), "path"), _utf8(format, "format"),
                                                          _real(head_steps_per_mm, "head_steps_per_mm"),
                                                          _real(field_mm, "field_mm")))


class Picture:
    """A PNG of the marks; a notebook shows it."""

    def __init__(self, png):
        self.png = png

    def _repr_png_(self):
        return self.png

    def save(self, path):
        """Writes the PNG bytes to path."""
        with open(path, "wb") as f:
            f.write(self.png)


def picture(head_steps_per_mm=100.0, field_mm=110.0):
    """The marks so far as a Picture (PNG bytes in .png)."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "marks.png")
        save_picture(path, head_steps_per_mm, field_mm, "png")
        with open(path, "rb") as f:
            return Picture(f.read())
