"""Loading the korvex C library and declaring its functions for ctypes.

The library is found, in order: the folder in KORVEX_LIBRARY_DIR; the folder the build wrote into
_location.py (the build tree, or the installation relative to this module); the system's loader.
"""
import ctypes
import os

try:
    from . import _location
except ImportError:  # a bare copy of the sources: only the environment or the loader can help
    _location = None

LIBRARY = getattr(_location, "LIBRARY", "libkorvex.so.0.1")
PICTURE_LIBRARY = getattr(_location, "PICTURE_LIBRARY", "libkorvex_picture.so.0.1")


def _candidates(name):
    folder = os.environ.get("KORVEX_LIBRARY_DIR")
    if folder:
        yield os.path.join(folder, name)
    if _location is not None:
        here = os.path.dirname(os.path.abspath(__file__))
        yield os.path.normpath(os.path.join(here, _location.LIBRARY_DIR, name))
    yield name


def _load(name):
    tried = []
    for path in _candidates(name):
        if os.path.sep in path and not os.path.exists(path):
            tried.append(path + " (missing)")
            continue
        try:
            return ctypes.CDLL(path)
        except OSError as e:
            tried.append(f"{path} ({e})")
    raise ImportError(f"cannot load {name}: tried " + "; ".join(tried))


lib = _load(LIBRARY)
_picture = None


def picture_lib():
    """The picture library, loaded on first use (it brings cairo)."""
    global _picture
    if _picture is None:
        _picture = _load(PICTURE_LIBRARY)
        _picture.korvex_sim_write_picture.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_double, ctypes.c_double]
        _picture.korvex_sim_write_picture.restype = ctypes.c_int32
    return _picture


class Mark(ctypes.Structure):
    _fields_ = [("kind", ctypes.c_int32), ("x0", ctypes.c_int32), ("y0", ctypes.c_int32),
                ("x1", ctypes.c_int32), ("y1", ctypes.c_int32), ("steps", ctypes.c_int32),
                ("t0_us", ctypes.c_double), ("t1_us", ctypes.c_double)]


H = ctypes.c_void_p
I16, I32, F32, F64 = ctypes.c_int16, ctypes.c_int32, ctypes.c_float, ctypes.c_double
SIZE = ctypes.c_size_t
U8P, F64P, STRP = ctypes.POINTER(ctypes.c_uint8), ctypes.POINTER(ctypes.c_double), ctypes.POINTER(ctypes.c_char_p)
STR = ctypes.c_char_p

_PROTOTYPES = {
    "korvex_fault_kind_name": ([ctypes.c_int], STR),
    "korvex_fault_kind_of": ([H], ctypes.c_int),
    "korvex_fault_message": ([H], STR),
    "korvex_last_fault_kind": ([], ctypes.c_int),
    "korvex_last_fault_message": ([], STR),
    "korvex_version": ([], STR),
    "korvex_set_platform": ([STR, STR, STR], I32),
    "korvex_library_folder": ([ctypes.c_char_p, SIZE, ctypes.POINTER(SIZE)], I32),
    "korvex_create": ([ctypes.POINTER(H)], I32),
    "korvex_destroy": ([H], I32),
    "korvex_get_Name": ([H, ctypes.c_char_p, SIZE, ctypes.POINTER(SIZE)], I32),
    "korvex_set_Name": ([H, STR], I32),
    "korvex_get_File_no_begin": ([H, ctypes.POINTER(I32)], I32),
    "korvex_set_File_no_begin": ([H, I32], I32),
    "korvex_get_DebugID": ([H, ctypes.POINTER(I32)], I32),
    "korvex_e_isMarking": ([H], I32),
    "korvex_e_PrintEarMark": ([H, U8P, SIZE, STRP, SIZE, STRP, SIZE, U8P, SIZE], I32),
    "korvex_e_Initlize": ([H], I32),
    "korvex_e_Relese": ([H], I32),
    "korvex_e_setPrintInfo": ([H, STR], I32),
    "korvex_usb_laser_open": ([H, F32, F32, I16], I32),
    "korvex_Marking_init_pci": ([H, I16, I16, I16, I16, I16, U8P, SIZE, I16], I32),
    "korvex_Marking_data": ([H, F64P, SIZE], I32),
    "korvex_Marking_end": ([H, I32, I32, I32, I32, I32, F64P, SIZE], I32),
    "korvex_Marking_run": ([H], I32),
    "korvex_Marking_stop": ([H], I32),
    "korvex_Marking_para": ([H, F32, F32, I32, I32, I32, I32, F64, F32, F32, F32, I32], I32),
    "korvex_Send_cal_data": ([H, I32], I32),
    "korvex_marking_start": ([H], I32),
    "korvex_port_Out_bit": ([H, I16, I16], I32),
    "korvex_port_In_Bit": ([H, I16], I32),
    "korvex_Marking_DA": ([H, F64, I16], I32),
    "korvex_sim_marks": ([ctypes.POINTER(Mark), SIZE, ctypes.POINTER(SIZE)], I32),
    "korvex_sim_write_marks": ([STR], I32),
    "korvex_sim_clear_marks": ([], I32),
    "korvex_sim_set_input": ([I32, I32], I32),
    "korvex_sim_laser_emitting": ([ctypes.POINTER(I32)], I32),
    "korvex_sim_time_us": ([ctypes.POINTER(F64)], I32),
}

for _name, (_args, _result) in _PROTOTYPES.items():
    _f = getattr(lib, _name)
    _f.argtypes = _args
    _f.restype = _result

ERROR_BASE = -65536
