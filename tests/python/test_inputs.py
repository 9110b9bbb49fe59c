"""Whatever a file holds, the package raises an error of its own and the
interpreter lives on, and its memory stays flat."""

import io
import os
import random

import plotmira
import pytest
from PIL import Image

from conftest import SHOWCASE


def hostile_inputs():
    with open(SHOWCASE, "rb") as f:
        good = f.read()
    rng = random.Random(7)
    flipped = bytearray(good)
    for _ in range(64):
        flipped[rng.randrange(16, len(flipped))] = rng.randrange(256)
    return [
        ("empty", b""),
        ("foreign", b"\x89PNG\r\n\x1a\n" + bytes(200)),
        ("noise", bytes(rng.randrange(256) for _ in range(4096))),
        ("signature only", b"JwwData."),
        ("truncated", good[:len(good) // 3]),
        ("truncated late", good[:-7]),
        ("flipped", bytes(flipped)),
    ]


@pytest.mark.parametrize("name,data", hostile_inputs(), ids=lambda v: v if isinstance(v, str) else "")
def test_hostile_inputs(name, data, tmp_path):
    path = tmp_path / (name.replace(" ", "_") + ".jww")
    path.write_bytes(data)
    for source in (data, io.BytesIO(data), str(path)):
        try:
            with plotmira.open(source) as doc:
                doc.render(300)  # a damaged drawing may still show what it has
                doc.texts
        except plotmira.Error as error:
            assert type(error) is not plotmira.Error and str(error)
    try:
        with Image.open(path) as im:
            im.load()
    except (plotmira.Error, Image.UnidentifiedImageError):
        pass


def test_errors_and_arguments(showcase, tmp_path):
    with pytest.raises(plotmira.OpenError, match="nothing-here.jww: the file cannot be opened"):
        plotmira.open(str(tmp_path / "nothing-here.jww"))
    with pytest.raises(plotmira.FormatError):
        plotmira.open(b"GIF89a" + bytes(100))
    with plotmira.open(showcase) as doc:
        for bad in ({"width": 0}, {"width": 20000}, {"region": (0, 0, 0, 10)}, {"scale": -1}, {"pens": "ink"},
                    {"hide_layers": [16]}, {"hide_layers": [(0, 16)]}, {"width": 100, "scale": 1}):
            with pytest.raises((ValueError, plotmira.ViewError)):
                doc.render_bytes(**bad)
    doc.close()
    with pytest.raises(ValueError, match="closed"):
        doc.render_bytes(100)
    with pytest.raises(ValueError, match="settings"):
        plotmira.open(showcase, settings="mine")


def test_built_in_settings_unless_the_users_are_asked_for(showcase, tmp_path, monkeypatch):
    registry = tmp_path / "registry.reg"
    registry.write_bytes(b'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Plotmira_spi\\ini]\r\n'
                         b'"SIZE_JWW"=dword:000003e8\r\n')
    monkeypatch.setenv("PLOTMIRA_REGISTRY", str(registry))
    monkeypatch.setenv("PLOTMIRA_DESKTOP_WIDTH", "1500")
    with open(showcase, "rb") as f:
        data = f.read()
    for source in (showcase, data):
        with plotmira.open(source) as doc:
            assert doc.info["natural_size"][0] == 1920
        with plotmira.open(source, settings="user") as doc:
            assert doc.info["natural_size"][0] == 1000
    # A settings file of the plug-in's form: its width, whatever the machine says.
    ini = tmp_path / "team.ini"
    ini.write_bytes(b"Plotmira_ini\r\nSIZE_JWW=1200\r\n")
    with plotmira.open(showcase, settings=ini) as doc:
        assert doc.info["natural_size"][0] == 1200
    with pytest.raises(plotmira.OpenError):
        plotmira.open(showcase, settings=str(tmp_path / "missing.ini"))
    with pytest.raises(ValueError):
        plotmira.open(showcase, settings="usr")


def resident_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


def test_a_thousand_opens_keep_memory_flat(showcase):
    with open(showcase, "rb") as f:
        good = f.read()
    inputs = [good, good[:len(good) // 2], b"JwsData." + bytes(64), SHOWCASE]

    def cycle(n):
        for i in range(n):
            try:
                with plotmira.open(inputs[i % len(inputs)]) as doc:
                    doc.render_bytes(200 + i % 7)
                    doc.texts
            except plotmira.Error:
                pass
            Image.open(SHOWCASE).thumbnail((64, 64))

    cycle(100)
    before = resident_kib()
    cycle(1000)
    grown = resident_kib() - before
    assert grown < 4096, "1000 opens and renders grew the process by %d KiB" % grown
