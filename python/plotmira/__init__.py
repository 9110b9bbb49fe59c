"""Jw_cad drawings (.jww) and figures (.jws) for Python.

    import plotmira
    with plotmira.open("plan.jww") as doc:
        doc.render(width=1024).save("plan.png")

Importing the package also registers both formats with Pillow (when Pillow
is installed), so ``PIL.Image.open("plan.jww")`` works in any program.
"""

import collections
import contextlib
import ctypes
import io
import math
import os
import threading

from . import _library as _c

__all__ = [
    "open", "Document", "Text", "RenderedBytes", "Error", "ArgumentError", "OpenError", "FormatError",
    "DamagedError", "TooLargeError", "OutOfMemoryError", "VersionError", "ViewError", "ImageError",
    "CancelledError", "RenderError", "InternalError", "WriteError", "UnsupportedError", "BusyError",
    "library_version",
    "RASTER_ASPECT",
]

__version__ = "2.1.0"

# The plug-in's picture height over its width.
RASTER_ASPECT = _c.RASTER_ASPECT


def library_version():
    """The version of the C library in use."""
    return _c.version().decode()


class Error(OSError):
    """A drawing could not be opened or drawn. ``status`` is the library's
    status number, ``path`` the file's path where there is one."""

    status = None

    def __init__(self, message, path=None):
        super().__init__(message)
        self.path = path


class ArgumentError(Error):
    status = 1


class OpenError(Error):
    status = 2


class FormatError(Error):
    status = 3


class DamagedError(Error):
    status = 4


class TooLargeError(Error):
    status = 5


class OutOfMemoryError(Error):
    status = 6


class VersionError(Error):
    status = 7


class ViewError(Error):
    status = 8


class ImageError(Error):
    status = 9


class CancelledError(Error):
    status = 10


class RenderError(Error):
    status = 11


class InternalError(Error):
    status = 14


class WriteError(Error):
    status = 15


class UnsupportedError(Error):
    status = 16


class BusyError(Error):
    status = 17


_ERRORS = {cls.status: cls for cls in (ArgumentError, OpenError, FormatError, DamagedError, TooLargeError,
                                       OutOfMemoryError, VersionError, ViewError, ImageError, CancelledError,
                                       RenderError, InternalError, WriteError, UnsupportedError, BusyError)}


def _raise_for(status, path=None, version=None):
    if status == 0:
        return
    words = _c.strerror(status).decode()
    if status == VersionError.status and version is not None:
        words = "the drawing's version %d is not supported" % version
    message = "%s: %s" % (path, words) if path is not None else words
    error = _ERRORS.get(status, InternalError)(message, path)
    error.status = status
    raise error


Text = collections.namedtuple("Text", "text x y height angle layer_group layer in_block dimension")
Text.__doc__ = """One text as drawn: its string (macros expanded), the start of
its baseline (sheet millimetres), character height (mm), angle (degrees
counter-clockwise), layer group and layer, and whether it sits in a block or
is a dimension's label."""

# A picture's buffer kept per thread for the next one of the same size, up
# to this many bytes (a 1920-pixel drawing takes 7.8 MB).
_SCRATCH_BYTES = 16 * 1024 * 1024
_scratch = threading.local()

RenderedBytes = collections.namedtuple("RenderedBytes", "data width height")
RenderedBytes.__doc__ = """A picture's rows, top first, 3 bytes (red, green,
blue) a pixel and ``width * 3`` bytes a row."""


def _counts(c):
    return {name: getattr(c, name) for name, _ in _c.Counts._fields_}


def _rect(r):
    return (r.min_x, r.min_y, r.max_x, r.max_y)


def _text(value):
    return value.decode("utf-8", "replace") if value else ""


def _describe(raw):
    """The description as plain Python values (JSON can hold it)."""
    return {
        "format": "jws" if raw.format == _c.FORMAT_JWS else "jww",
        "version": raw.version,
        "version_drawn": bool(raw.version_drawn),
        "complete": bool(raw.complete),
        "counts": _counts(raw.counts),
        "top_level": _counts(raw.top_level),
        "paper_size": raw.paper_size,
        "paper_name": _text(raw.paper_name),
        "sheet": _rect(raw.sheet),
        "extent": _rect(raw.extent) if raw.has_extent else None,
        "views": [{"center": (v.center_x, v.center_y), "zoom": v.zoom} for v in raw.views[:raw.view_count]],
        "print_view": raw.print_view,
        "print_by_name": bool(raw.print_by_name),
        "layer_groups": [{
            "name": _text(g.name),
            "state": g.state,
            "scale": g.scale,
            "layers": [{"name": _text(layer.name), "state": layer.state} for layer in g.layers],
        } for g in raw.groups],
        "natural_size": (raw.natural_width, raw.natural_height),
        "background": "#%06x" % raw.background,
        "print_background": "#%06x" % raw.print_background,
    }


def _layer_masks(hide_layers):
    """hide_layers: layer groups (G) and layers (G, L) or "G" and "G:L"."""
    groups = 0
    layers = [0] * _c.LAYER_GROUPS
    for item in hide_layers:
        if isinstance(item, str):
            item = tuple(int(part) for part in item.split(":"))
        if isinstance(item, int):
            item = (item,)
        item = tuple(item)
        if len(item) not in (1, 2) or not all(isinstance(n, int) and 0 <= n < 16 for n in item):
            raise ValueError("hide_layers takes layer groups G and layers (G, L), each 0 to 15, not %r" % (item,))
        if len(item) == 1:
            groups |= 1 << item[0]
        else:
            layers[item[0]] |= 1 << item[1]
    return groups, layers


def _read_source(source):
    """A file object's bytes, no more than the library takes, read in
    pieces (a short read is not the end)."""
    pieces, total = [], 0
    while total <= _c.MAX_INPUT_BYTES:
        piece = source.read(1 << 20)
        if piece is None:  # a non-blocking stream with nothing yet
            continue
        if not isinstance(piece, (bytes, bytearray)):
            raise TypeError("plotmira.open needs a file opened in binary mode")
        if not piece:
            break
        pieces.append(piece)
        total += len(piece)
    data = b"".join(pieces)
    if len(data) > _c.MAX_INPUT_BYTES:
        name = getattr(source, "name", None)
        _raise_for(TooLargeError.status, name if isinstance(name, str) else None)
    return data


_SETTINGS = {"built-in": _c.SETTINGS_BUILT_IN, "user": _c.SETTINGS_USER}


def open(source, settings="built-in"):  # noqa: A001 - the package's entry point, as io.open and PIL.Image.open
    """Opens a drawing or figure: a path, the file's bytes, or a binary file
    object. Returns a Document; raises an Error subclass with the library's
    words when the file cannot be read.

    settings: "built-in" (a file draws the same on every machine, as
    batches on many machines need), "user" (the user's settings, as the
    plug-in and the converter take them: picture widths, user variables, the
    CAD program's pens for figures, the desktop width), or the path of a
    settings file of the form of "Plotmira.ini" (its widths and user
    variables over the built-in settings, the same on every machine that has
    the file)."""
    options = _c.OpenOptions()
    _c.open_options_init(ctypes.byref(options))
    named = isinstance(settings, str) and ("/" in settings or os.sep in settings or settings.lower().endswith(".ini"))
    if isinstance(settings, os.PathLike) or named:
        options.settings = _c.SETTINGS_FILE
        options.settings_file = os.fsencode(os.fspath(settings))
    elif settings in _SETTINGS:
        options.settings = _SETTINGS[settings]
    else:
        raise ValueError("plotmira.open: settings is 'built-in', 'user' or a settings file's path, not %r"
                         % (settings,))
    handle = ctypes.c_void_p()
    path = None
    if isinstance(source, (str, os.PathLike)):
        path = os.fspath(source)
        if isinstance(path, bytes):
            path = os.fsdecode(path)
        if "\0" in path:
            raise ValueError("plotmira.open: the path holds a NUL character")
        status = _c.open_file_with(os.fsencode(path), ctypes.byref(options), ctypes.byref(handle))
    else:
        if hasattr(source, "read"):
            source = _read_source(source)
        if not isinstance(source, (bytes, bytearray, memoryview)):
            raise TypeError("plotmira.open takes a path, bytes or a binary file object, not %s"
                            % type(source).__name__)
        data = bytes(source)
        status = _c.open_memory_with(data, len(data), ctypes.byref(options), ctypes.byref(handle))
    _raise_for(status, path)
    return Document(handle, path)


class Document:
    """An open drawing. Close it (or use ``with``) to free it at once; the
    garbage collector frees it otherwise. Any number of threads may draw one
    document at once; closing it while they do frees it when the last one
    is done."""

    def __init__(self, handle, path=None):
        self._handle = handle
        self._lock = threading.Lock()  # over the handle and the calls using it, not the calls
        self._users = 0
        self._closing = False
        self.path = path
        raw = _c.Info()
        raw.struct_size = ctypes.sizeof(raw)
        status = _c.describe(handle, ctypes.byref(raw))
        if status != 0:
            _c.close(handle)
            self._handle = None
            _raise_for(status, path)
        self.info = _describe(raw)

    def close(self):
        with self._lock:
            self._closing = True
            if self._handle and self._users == 0:
                _c.close(self._handle)
                self._handle = None

    @contextlib.contextmanager
    def _using(self):
        """The handle, kept open while a call of the library uses it."""
        counted = False
        try:
            with self._lock:
                if not self._handle or self._closing:
                    raise ValueError("the document is closed")
                self._users += 1
                counted = True
                handle = self._handle
            yield handle
        finally:
            with self._lock:
                self._users -= counted
                if self._closing and self._users == 0 and self._handle:
                    _c.close(self._handle)
                    self._handle = None

    def __del__(self):
        handle = getattr(self, "_handle", None)
        if handle:
            _c.close(handle)
            self._handle = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        state = "closed" if not self._handle else "%s %s" % (self.info["format"], self.info["paper_name"] or "")
        return "<plotmira.Document %s%s>" % (self.path + " " if self.path else "", state.strip())

    @property
    def natural_size(self):
        """The plug-in's picture size for this kind of file: (width, height)."""
        return self.info["natural_size"]

    @property
    def texts(self):
        """Every shown text as the picture draws it, a list of Text."""
        found, failures = [], []

        def take(text, _data):
            try:
                t = text.contents
                found.append(Text(_text(t.text), t.x, t.y, t.height, t.angle, t.layer_group, t.layer,
                                  bool(t.kind & _c.TEXT_IN_BLOCK), bool(t.kind & _c.TEXT_DIMENSION)))
                return 0
            except BaseException as failure:  # ctypes would swallow it: stop the walk and raise it here
                failures.append(failure)
                return 1

        callback = _c.TextCallback(take)
        with self._using() as handle:
            status = _c.texts(handle, callback, None)
        if failures:
            raise failures[0]
        _raise_for(status, self.path)
        return found

    def save_dxf(self, target, version="2018", *, hide_layers=(), pens=None):
        """Writes the drawing as a DXF file for other CAD programs: model
        space at real scale, a layout of the sheet, layers, blocks and texts.
        target: a path (written whole or not at all) or a binary file object.
        version: "2018" (UTF-8), "2000" or "R12" (Shift-JIS). hide_layers as
        in render_bytes: hidden layers are written as layers that are off;
        pens "screen" (also when left out) or "print"."""
        if str(version) not in _c.DXF_VERSIONS:
            raise ValueError("version takes %s, not %r" % (", ".join(_c.DXF_VERSIONS), version))
        options = _c.DxfOptions()
        _c.dxf_options_init(ctypes.byref(options))
        options.version = _c.DXF_VERSIONS[str(version)]
        options.hide_groups, layers = _layer_masks(hide_layers)
        options.hide_layers[:] = layers
        if pens is not None:
            if pens not in ("screen", "print"):
                raise ValueError("pens takes 'screen' or 'print', not %r" % (pens,))
            options.pens = 1 if pens == "print" else 0
        if isinstance(target, (str, bytes, os.PathLike)):
            path = os.fspath(target)
            temporary = "%s.%d.part" % (os.fsdecode(path), os.getpid())
            try:
                with io.open(temporary, "wb") as file:
                    self._write_dxf(options, file)
                os.replace(temporary, path)
            except BaseException:
                if os.path.exists(temporary):
                    os.remove(temporary)
                raise
        else:
            self._write_dxf(options, target)

    def _write_dxf(self, options, file):
        failures = []

        def take(_data, pointer, length):
            try:
                file.write(ctypes.string_at(pointer, length))
                return 0
            except BaseException as failure:  # ctypes would swallow it: stop and raise it here
                failures.append(failure)
                return 1

        callback = _c.WriteCallback(take)
        with self._using() as handle:
            status = _c.export_dxf(handle, ctypes.byref(options), callback, None)
        if failures:
            raise failures[0]
        _raise_for(status, self.path)

    def _view(self, width, height, region, scale, hide_layers, pens):
        """The view of a picture, and its size. Without pens, as the
        plug-in draws the file: upper-case-J names print through the print
        view in printer pens."""
        if pens not in (None, "screen", "print"):
            raise ValueError('pens is "screen" or "print", not %r' % (pens,))
        if width is not None and scale is not None:
            raise ValueError("give a width or a scale, not both")
        info = self.info
        if region is not None:
            x0, y0, x1, y1 = (float(v) for v in region)
            w, h = abs(x1 - x0), abs(y1 - y0)
            if not (w > 0 and h > 0 and all(math.isfinite(v) for v in (x0, y0, x1, y1))):
                raise ValueError("region is (x0, y0, x1, y1) in millimetres, a rectangle of some width and height")
        else:
            x0, y0, x1, y1 = info["sheet"]
            w, h = x1 - x0, y1 - y0
        if scale is not None:
            if not (scale > 0 and math.isfinite(scale)):
                raise ValueError("scale is pixels per millimetre, above 0")
            width = round(w * scale)
        if width is None:
            width = info["natural_size"][0]
        width = int(width)
        if height is not None:
            height = int(height)
        elif region is not None:
            height = round(h * width / w)
        elif scale is not None:
            height = round(h * scale)
        else:
            height = int(width * RASTER_ASPECT)
        if not (1 <= width <= _c.MAX_SIDE and 1 <= height <= _c.MAX_SIDE and width * height <= _c.MAX_PIXELS):
            raise ViewError("%s: the picture would be %d x %d pixels; each side is 1 to %d, at most %d pixels in all"
                            % (self.path or "drawing", width, height, _c.MAX_SIDE, _c.MAX_PIXELS), self.path)
        view = _c.View()
        _c.view_init(ctypes.byref(view), width, height)
        view.hide_groups, layers = _layer_masks(hide_layers)
        for g, mask in enumerate(layers):
            view.hide_layers[g] = mask
        if pens is None and info["print_by_name"] and info["print_view"] > 0:
            view.pens = _c.PENS_PRINT
            view.registered_view = info["print_view"]
        elif pens == "print":
            view.pens = _c.PENS_PRINT
        if region is not None or scale is not None:
            view.placement = _c.PLACE_REGION
            view.registered_view = 0
            for i, v in enumerate((x0, y0, x1, y1)):
                view.region[i] = v
        return view

    def render_bytes(self, width=None, *, region=None, scale=None, hide_layers=(), pens=None, height=None):
        """Draws a picture and returns its RGB rows (RenderedBytes).

        width: pixels (default the plug-in's width for this kind of file);
        the height is the plug-in's 0.707 of it, or the region's proportion.
        region: (x0, y0, x1, y1), a rectangle of the sheet in millimetres.
        scale: pixels per millimetre instead of a width.
        hide_layers: groups G and layers (G, L) left out.
        pens: "screen" or "print"; by default as the plug-in draws the file.
        """
        view = self._view(width, height, region, scale, hide_layers, pens)
        buffer = bytearray(view.width * view.height * 3)
        self._draw(view, (ctypes.c_char * len(buffer)).from_buffer(buffer))
        return RenderedBytes(buffer, view.width, view.height)

    def _draw(self, view, pixels):
        stride = view.width * 3
        image = _c.Image(ctypes.sizeof(_c.Image), _c.PIXELS_RGB24, ctypes.cast(pixels, ctypes.c_void_p), stride,
                         ctypes.sizeof(pixels))
        with self._using() as handle:
            status = _c.render(handle, ctypes.byref(view), ctypes.byref(image))
        _raise_for(status, self.path, self.info["version"])

    def _image(self, view):
        """The picture as a PIL.Image, drawn through a buffer this thread
        keeps for its next picture of the same size: fresh pages cost more
        than drawing a small picture."""
        from PIL import Image

        size = view.width * view.height * 3
        pixels = getattr(_scratch, "pixels", None)
        if pixels is None or ctypes.sizeof(pixels) != size:
            pixels = (ctypes.c_char * size)()
            _scratch.pixels = pixels if size <= _SCRATCH_BYTES else None
        self._draw(view, pixels)
        return Image.frombytes("RGB", (view.width, view.height), pixels)

    def render(self, width=None, *, region=None, scale=None, hide_layers=(), pens=None, height=None):
        """Draws a picture as a PIL.Image in RGB; the options are those of
        render_bytes."""
        return self._image(self._view(width, height, region, scale, hide_layers, pens))


from . import _pillow  # noqa: E402,F401  (registers the formats with Pillow when it is there)


def __getattr__(name):
    """plotmira.batch after a plain ``import plotmira``, loaded when first
    used (``python3 -m plotmira.batch`` runs it as a program of its own)."""
    if name == "batch":
        import importlib

        return importlib.import_module(".batch", __name__)
    raise AttributeError("module 'plotmira' has no attribute %r" % name)
