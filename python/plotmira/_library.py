"""The C library, libplotmira.so.2, through ctypes.

The structures mirror include/plotmira.h field for field; every structure
that can grow carries its size in ``struct_size``.
"""

import ctypes
import ctypes.util
import os
import sys

LAYER_GROUPS = 16
LAYERS_PER_GROUP = 16
MAX_REGISTERED_VIEWS = 8
MAX_SIDE = 16384
RASTER_ASPECT = 0.707  # the plug-in's pictures: height = int(width x RASTER_ASPECT)
MAX_PIXELS = 64 * 1024 * 1024
MAX_INPUT_BYTES = 256 * 1024 * 1024

FORMAT_JWW, FORMAT_JWS = 1, 2
PLACE_FIT, PLACE_CENTER, PLACE_ANCHOR, PLACE_REGION = 0, 1, 2, 3
PENS_SCREEN, PENS_PRINT = 0, 1
PIXELS_BGR24_DIB, PIXELS_RGB24, PIXELS_RGBA32, PIXELS_BGRA32 = 0, 1, 2, 3
SETTINGS_BUILT_IN, SETTINGS_USER, SETTINGS_FILE = 0, 1, 2
TEXT_IN_BLOCK, TEXT_DIMENSION = 1, 2


class Counts(ctypes.Structure):
    _fields_ = [(name, ctypes.c_uint32) for name in
                ("lines", "arcs", "points", "texts", "dimensions", "solids", "block_refs", "block_defs")]


class Rect(ctypes.Structure):
    _fields_ = [("min_x", ctypes.c_double), ("min_y", ctypes.c_double),
                ("max_x", ctypes.c_double), ("max_y", ctypes.c_double)]


class RegisteredView(ctypes.Structure):
    _fields_ = [("center_x", ctypes.c_double), ("center_y", ctypes.c_double), ("zoom", ctypes.c_double)]


class Layer(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("state", ctypes.c_uint32)]


class LayerGroup(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("state", ctypes.c_uint32), ("scale", ctypes.c_double),
                ("layers", Layer * LAYERS_PER_GROUP)]


class Info(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_size_t),
        ("format", ctypes.c_int),
        ("version", ctypes.c_uint32),
        ("version_drawn", ctypes.c_int),
        ("complete", ctypes.c_int),
        ("counts", Counts),
        ("top_level", Counts),
        ("paper_size", ctypes.c_uint32),
        ("paper_name", ctypes.c_char_p),
        ("sheet", Rect),
        ("has_extent", ctypes.c_int),
        ("extent", Rect),
        ("view_count", ctypes.c_uint32),
        ("views", RegisteredView * MAX_REGISTERED_VIEWS),
        ("print_view", ctypes.c_int32),
        ("print_by_name", ctypes.c_int),
        ("groups", LayerGroup * LAYER_GROUPS),
        ("natural_width", ctypes.c_int32),
        ("natural_height", ctypes.c_int32),
        ("background", ctypes.c_uint32),
        ("print_background", ctypes.c_uint32),
    ]


class OpenOptions(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_size_t), ("settings", ctypes.c_int), ("desktop_width", ctypes.c_int32),
                ("settings_file", ctypes.c_char_p)]


# The fields a view and the DXF options end with alike: pens, the layer
# masks and the cancel callback.
_PENS_LAYERS_CANCEL = [
    ("pens", ctypes.c_int),
    ("hide_groups", ctypes.c_uint16),
    ("show_groups", ctypes.c_uint16),
    ("hide_layers", ctypes.c_uint16 * LAYER_GROUPS),
    ("show_layers", ctypes.c_uint16 * LAYER_GROUPS),
    ("cancel", ctypes.c_void_p),
    ("cancel_data", ctypes.c_void_p),
]


class View(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_size_t),
        ("placement", ctypes.c_int),
        ("scale", ctypes.c_double),
        ("x", ctypes.c_double),
        ("y", ctypes.c_double),
        ("region", ctypes.c_double * 4),
        ("registered_view", ctypes.c_int32),
        ("canvas_width", ctypes.c_int32),
        ("canvas_height", ctypes.c_int32),
        ("origin_x", ctypes.c_int64),
        ("origin_y", ctypes.c_int64),
        ("width", ctypes.c_int32),
        ("height", ctypes.c_int32),
    ] + _PENS_LAYERS_CANCEL


class Image(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_size_t),
        ("format", ctypes.c_int),
        ("pixels", ctypes.c_void_p),
        ("stride", ctypes.c_size_t),
        ("size", ctypes.c_size_t),
    ]


class Text(ctypes.Structure):
    _fields_ = [
        ("text", ctypes.c_char_p),
        ("x", ctypes.c_double),
        ("y", ctypes.c_double),
        ("height", ctypes.c_double),
        ("angle", ctypes.c_double),
        ("layer_group", ctypes.c_int32),
        ("layer", ctypes.c_int32),
        ("kind", ctypes.c_uint32),
    ]


TextCallback = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.POINTER(Text), ctypes.c_void_p)


class DxfOptions(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_size_t),
        ("version", ctypes.c_int),
    ] + _PENS_LAYERS_CANCEL


WriteCallback = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t)
DXF_VERSIONS = {"2018": 0, "2000": 1, "R12": 2}

_SONAME = "libplotmira.so.2"


def _candidates():
    """Where the library is looked for, in order: PLOTMIRA_LIBRARY, beside
    this package (the wheel carries it), the system's library path."""
    named = os.environ.get("PLOTMIRA_LIBRARY")
    if named:
        yield named
    here = os.path.dirname(os.path.abspath(__file__))
    beside = os.path.join(here, _SONAME)
    if os.path.exists(beside):
        yield beside
    yield _SONAME
    found = ctypes.util.find_library("plotmira")
    if found:
        yield found


def _load():
    problems = []
    for candidate in _candidates():
        try:
            return ctypes.CDLL(candidate)
        except OSError as error:
            problems.append(str(error))
    raise ImportError("plotmira: the library %s is neither beside the package nor on the system's library path (%s)"
                      % (_SONAME, "; ".join(problems) or sys.platform))


lib = _load()


def _declare(name, restype, *argtypes):
    function = getattr(lib, name)
    function.restype = restype
    function.argtypes = list(argtypes)
    return function


strerror = _declare("plotmira_strerror", ctypes.c_char_p, ctypes.c_int)
version = _declare("plotmira_version", ctypes.c_char_p)
open_options_init = _declare("plotmira_open_options_init", None, ctypes.POINTER(OpenOptions))
open_memory_with = _declare("plotmira_open_memory_with", ctypes.c_int, ctypes.c_void_p, ctypes.c_size_t,
                            ctypes.POINTER(OpenOptions), ctypes.POINTER(ctypes.c_void_p))
open_file_with = _declare("plotmira_open_file_with", ctypes.c_int, ctypes.c_char_p, ctypes.POINTER(OpenOptions),
                          ctypes.POINTER(ctypes.c_void_p))
close = _declare("plotmira_close", None, ctypes.c_void_p)
describe = _declare("plotmira_describe", ctypes.c_int, ctypes.c_void_p, ctypes.POINTER(Info))
view_init = _declare("plotmira_view_init", None, ctypes.POINTER(View), ctypes.c_int32, ctypes.c_int32)
row_bytes = _declare("plotmira_row_bytes", ctypes.c_size_t, ctypes.c_int, ctypes.c_int32)
render = _declare("plotmira_render", ctypes.c_int, ctypes.c_void_p, ctypes.POINTER(View), ctypes.POINTER(Image))
texts = _declare("plotmira_texts", ctypes.c_int, ctypes.c_void_p, TextCallback, ctypes.c_void_p)
dxf_options_init = _declare("plotmira_dxf_options_init", None, ctypes.POINTER(DxfOptions))
export_dxf = _declare("plotmira_export_dxf", ctypes.c_int, ctypes.c_void_p, ctypes.POINTER(DxfOptions), WriteCallback,
                      ctypes.c_void_p)
