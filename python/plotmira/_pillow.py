"""The Pillow plug-in: PIL.Image.open reads drawings (.jww) and figures (.jws).

The picture is drawn when it is loaded, at the plug-in's natural size or at
the size draft() chose, so im.thumbnail() draws a small picture instead of
shrinking a large one.
"""

import math

try:
    from PIL import Image, ImageFile
except ImportError:  # Pillow is optional: the rest of the package works without it
    Image = None

from . import _library as _c


def _accept_jww(prefix):
    return prefix[:8] == b"JwwData."


def _accept_jws(prefix):
    return prefix[:8] == b"JwsData."


if Image is not None:

    class JwwImageFile(ImageFile.ImageFile):
        format = "JWW"
        format_description = "Jw_cad drawing"
        _accept = staticmethod(_accept_jww)

        def _open(self):
            import plotmira

            if not self._accept(self.fp.read(8)):
                raise SyntaxError("not a " + self.format_description)
            self.fp.seek(0)
            name = self.filename if isinstance(self.filename, str) and self.filename else None
            # A named file is opened by its path, so that the drawing's
            # name and time reach it as they reach the plug-in.
            self._document = plotmira.open(name) if name else plotmira.open(self.fp)
            # Under a key of its own: Pillow's writers read some keys of
            # im.info ("background", say) as their own options.
            info = self._document.info
            self.info["plotmira"] = info
            if hasattr(self, "_mode"):  # Pillow 10.1 and later: mode is read-only
                self._mode = "RGB"
            else:
                self.mode = "RGB"
            self._size = tuple(info["natural_size"])
            self.tile = []

        def draft(self, mode, size):
            """Draws the next load at the smallest size of the plug-in's
            proportion that covers size."""
            if self._document is None or not size:
                return None
            want_w, want_h = max(1, int(size[0])), max(1, int(size[1]))
            width = max(want_w, math.ceil(want_h / _c.RASTER_ASPECT))
            while int(width * _c.RASTER_ASPECT) < want_h:
                width += 1
            height = int(width * _c.RASTER_ASPECT)
            if width > _c.MAX_SIDE or height > _c.MAX_SIDE or width * height > _c.MAX_PIXELS:
                return None
            self._size = (width, height)
            return self.mode, (0, 0, width, height)

        def load(self):
            document = getattr(self, "_document", None)
            if document is not None:
                self._document = None
                try:
                    picture = document.render(self.size[0], height=self.size[1])
                finally:
                    document.close()
                self.im = picture.im
                self.readonly = 0
                if getattr(self, "_exclusive_fp", False) and self.fp is not None:
                    self.fp.close()
                    self.fp = None
            return Image.Image.load(self)

    class JwsImageFile(JwwImageFile):
        format = "JWS"
        format_description = "Jw_cad figure"
        _accept = staticmethod(_accept_jws)

    # Pillow keeps extensions lower-cased and compares them so: .JWW is .jww.
    for _kind, _extension, _mime in ((JwwImageFile, ".jww", "application/x-jww"),
                                     (JwsImageFile, ".jws", "application/x-jws")):
        Image.register_open(_kind.format, _kind, _kind._accept)
        Image.register_extension(_kind.format, _extension)
        Image.register_mime(_kind.format, _mime)
