"""Pictures and descriptions through the installed package, against the
converter on the same files."""

import io
import json
import os
import subprocess
import threading

import plotmira
import pytest
from PIL import Image

from conftest import CLI, SHOWCASE, converted, corpus_files, same_pixels

FILES = corpus_files()


def test_installed_package_carries_its_library():
    assert plotmira._library.lib._name.startswith(os.path.dirname(plotmira.__file__))
    assert plotmira.library_version() == plotmira.__version__


@pytest.mark.parametrize("path", FILES, ids=os.path.basename)
def test_thumbnails_and_descriptions(path, tmp_path):
    # draft() at the thumbnailer's size draws exactly its picture.
    with Image.open(path) as im:
        assert im.format == ("JWS" if path.lower().endswith(".jws") else "JWW")
        assert im.draft("RGB", (256, 180)) is not None
        im.load()
        same_pixels(im, converted(tmp_path, "thumbnail", "-s", "256", path))
    described = json.loads(subprocess.run([CLI, "info", path], check=True, capture_output=True).stdout)
    with plotmira.open(path) as doc:
        info = doc.info
    assert info["format"] == described["format"] and info["version"] == described["version"]
    assert info["counts"]["lines"] == described["counts"]["lines"]
    assert info["counts"]["block_defs"] == described["counts"]["blockDefs"]
    assert info["paper_name"] == described["sheet"]["paper"]
    assert list(info["natural_size"]) == [described["picture"]["width"], described["picture"]["height"]]
    assert [g["layers"][3]["name"] for g in info["layer_groups"]] == \
        [g["layers"][3]["name"] for g in described["layerGroups"]]


def views(path):
    """A natural-size picture, a region, hidden layers, each with the
    converter's command line for the same picture."""
    with plotmira.open(path) as doc:
        x0, y0, x1, y1 = doc.info["sheet"]
    w, h = x1 - x0, y1 - y0
    region = (x0 + w * 0.3, y0 + h * 0.2, x0 + w * 0.6, y0 + h * 0.5)
    return [
        ({}, ["render", path]),
        ({"width": 640, "region": region}, ["render", path, "--width", "640", "--region", ",".join(map(repr, region))]),
        ({"hide_layers": [0, (1, 0), "2:3"]}, ["render", path, "--hide-layer", "0", "--hide-layer", "1:0",
                                               "--hide-layer", "2:3"]),
    ]


@pytest.mark.parametrize("path", FILES[::6] + [SHOWCASE], ids=os.path.basename)
def test_views_match_the_converter(path, tmp_path):
    with plotmira.open(path) as doc:
        for options, command in views(path):
            same_pixels(doc.render(**options), converted(tmp_path, *command))
    with Image.open(path) as im:  # Image.open at the natural size, and a thumbnail drawn small
        same_pixels(im.convert("RGB"), converted(tmp_path, "render", path))
    with Image.open(path) as im:
        im.thumbnail((256, 256))
        assert im.size == (256, 181)


def test_texts_info_and_bytes(showcase):
    with open(showcase, "rb") as f:
        data = f.read()
    for source in (showcase, data, open(showcase, "rb")):
        with plotmira.open(source) as doc:
            strings = [t.text for t in doc.texts]
            assert "Plotmira" in strings and "図面データ" in strings
            title = next(t for t in doc.texts if t.text == "Plotmira")
            assert title.height > 0 and title.layer_group == 0
            rows = doc.render_bytes(400)
            assert (rows.width, rows.height, len(rows.data)) == (400, 282, 400 * 282 * 3)
    with Image.open(showcase) as im:
        assert im.info["plotmira"]["paper_name"] == "A3" and im.get_format_mimetype() == "application/x-jww"
        im.load()[0, 0] = (1, 2, 3)  # a picture of one's own, writable
        im.save(io.BytesIO(), "GIF", save_all=True)


def test_threads_draw_one_document_at_once_and_close_waits(showcase):
    # The library takes no turns: four threads draw one document at once and
    # each gets the picture one thread alone gets.
    from concurrent.futures import ThreadPoolExecutor

    doc = plotmira.open(showcase)
    alone = doc.render_bytes(640).data
    started = threading.Barrier(4)

    def draw(_):
        started.wait()
        return doc.render_bytes(640).data

    with ThreadPoolExecutor(4) as pool:
        assert all(p == alone for p in pool.map(draw, range(4)))
    # A close while a call uses the document frees it after that call.
    with doc._using():
        doc.close()
        assert doc._handle
    assert not doc._handle
    with pytest.raises(ValueError):
        doc.render_bytes(64)
