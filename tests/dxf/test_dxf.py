"""The converter's DXF files as another CAD program reads them: ezdxf's
reader and audit, its drawing add-on against the plug-in's pictures, and the
drawing's own counts, layers, texts and scales."""

import collections
import functools
import io
import json
import math
import os
import re
import subprocess

import ezdxf
import pytest
from ezdxf.addons.drawing import Frontend, RenderContext
from ezdxf.addons.drawing.matplotlib import MatplotlibBackend
from ezdxf.disassemble import recursive_decompose
from PIL import Image, ImageChops, ImageFilter

CLI = os.environ["PLOTMIRA_CLI"]
EXAMPLES = os.environ["PLOTMIRA_EXAMPLES"]
CORPUS = os.environ["PLOTMIRA_CORPUS"]
VERSIONS = {"2018": "AC1032", "2000": "AC1015", "R12": "AC1009"}
AUX = " 補助線"  # the companion layer of a layer's construction-pen objects
LAYER = re.compile(r"^([0-9A-F])-([0-9A-F])(?: (.*))?$")
WIDTH = 1000  # the pictures compared


def drawings():
    found = [os.path.join(EXAMPLES, name) for name in ("showcase.jww", "showcase.jws", "macros.jww", "measuring.jww")]
    for parent, _, files in os.walk(CORPUS):
        found += sorted(os.path.join(parent, f) for f in files if f.lower().endswith((".jww", ".jws")))
    return found


def run(*args, check=True):
    return subprocess.run([CLI, *args], capture_output=True, check=check,
                          env=dict(os.environ, PLOTMIRA_REGISTRY="/nonexistent"))


@functools.lru_cache(maxsize=None)
def info(path):
    return json.loads(run("info", "--texts", path).stdout)


@pytest.fixture(scope="session")
def converted(tmp_path_factory):
    """Every drawing in every version: {(path, version): dxf path}."""
    folder = tmp_path_factory.mktemp("dxf")
    files = {}
    for n, path in enumerate(drawings()):
        for version in VERSIONS:
            output = str(folder / ("%d-%s.dxf" % (n, version)))
            run("render", path, "-o", output, "--dxf-version", version)
            files[path, version] = output
    return files


def text_values(doc):
    return sorted(e.dxf.text for e in doc.entitydb.values() if e.dxftype() == "TEXT")


def group_scale(path):
    """The scale of each layer group (1 in a figure), by group number."""
    described = info(path)
    return [1.0 if described["format"] == "jws" else g["scale"] for g in described["layerGroups"]]


def test_every_file_reads_clean_in_every_version_and_its_japanese_decodes(converted):
    for path in drawings():
        texts = None
        for version, acad in VERSIONS.items():
            doc = ezdxf.readfile(converted[path, version])
            assert doc.dxfversion == acad, path
            auditor = doc.audit()
            assert not auditor.has_errors, (path, version, [e.message for e in auditor.errors])
            # The Shift-JIS files decode through $DWGCODEPAGE to the texts
            # of the UTF-8 one.
            if texts is None:
                texts = text_values(doc)
            else:
                assert doc.header["$DWGCODEPAGE"] == "ANSI_932"
                assert text_values(doc) == texts, (path, version)


@pytest.mark.parametrize("version", ["2018", "2000"])
def test_counts_blocks_and_layers_are_the_documents(converted, version):
    for path in drawings():
        doc = ezdxf.readfile(converted[path, version])
        kinds = collections.Counter()
        definitions = 0
        for block in doc.blocks:
            if block.name.startswith("*D"):  # a dimension's drawing, not the drawing's own objects
                continue
            definitions += not block.name.startswith("*")
            kinds.update(e.dxftype() for e in block)
        counts = info(path)["counts"]
        assert {
            "lines": kinds["LINE"],
            "arcs": kinds["ARC"] + kinds["CIRCLE"] + kinds["ELLIPSE"],
            "points": kinds["POINT"],
            "texts": kinds["TEXT"],
            "dimensions": kinds["DIMENSION"],
            "solids": kinds["SOLID"] + kinds["HATCH"],
            "blockRefs": kinds["INSERT"],
            "blockDefs": definitions,
        } == counts, path
        groups = info(path)["layerGroups"]
        for layer in doc.layers:
            name = layer.dxf.name
            if name.endswith(AUX):
                name = name[: -len(AUX)]
                assert layer.is_off(), (path, layer.dxf.name)
            found = LAYER.match(name)
            if found is None:
                assert name in ("0", "Defpoints"), (path, name)  # ezdxf adds the latter for dimensions
                continue
            g, n = int(found.group(1), 16), int(found.group(2), 16)
            assert (found.group(3) or "") == groups[g]["layers"][n]["name"], (path, name)


def test_texts_are_where_the_library_says_at_real_scale(converted):
    for path in drawings():
        doc = ezdxf.readfile(converted[path, "2018"])
        placed = collections.defaultdict(list)
        for e in recursive_decompose(doc.modelspace()):
            if e.dxftype() == "TEXT":
                placed[e.dxf.text].append(e.dxf.insert)
        scales = group_scale(path)
        for text in info(path)["texts"]:
            # A block's or a dimension's text takes the scale of the group it
            # is placed in, which the library's list does not name.
            candidates = set(scales) if text["inBlock"] or text["dimension"] else {scales[text["layerGroup"]]}
            assert any(math.isclose(p.x, text["x"] * s, rel_tol=1e-6, abs_tol=1e-6) and
                       math.isclose(p.y, text["y"] * s, rel_tol=1e-6, abs_tol=1e-6)
                       for p in placed.get(text["text"], []) for s in candidates), (path, text)


def ink(picture):
    """The pixels that differ from the picture's most common colour."""
    background = max(picture.getcolors(1 << 24))[1]
    difference = ImageChops.difference(picture, Image.new("RGB", picture.size, background)).convert("L")
    return difference.point(lambda v: 255 if v > 40 else 0)


def share_near(a, b):
    """The share of b's ink within 2 pixels of a's."""
    near = ImageChops.multiply(a.filter(ImageFilter.MaxFilter(5)), b)
    total = b.histogram()[255]
    return near.histogram()[255] / total if total else 1.0


def chords_stray(entity, pixels_per_unit):
    """True for an arc the plug-in draws as chords of 0.1 radian (its step
    from 100 pixels of radius) that stray more than 2 pixels off it."""
    if entity.dxftype() not in ("ARC", "CIRCLE", "ELLIPSE"):
        return False
    if entity.dxftype() == "ELLIPSE":
        radius = entity.dxf.major_axis.magnitude
        sweep = (entity.dxf.end_param - entity.dxf.start_param) % (2 * math.pi) or 2 * math.pi
    else:
        radius = entity.dxf.radius
        sweep = 2 * math.pi if entity.dxftype() == "CIRCLE" else (
            (entity.dxf.end_angle - entity.dxf.start_angle) % 360 or 360) * math.pi / 180
    return radius * pixels_per_unit * (1 - math.cos(min(sweep, 0.1) / 2)) > 2


def dxf_picture(doc, box, size):
    import matplotlib.pyplot as plt

    paper = doc.layout("Layout1")
    layout = paper if len(paper.query("VIEWPORT")) else doc.modelspace()
    figure = plt.figure(figsize=((size[0] + 0.5) / 100, (size[1] + 0.5) / 100), dpi=100)
    axes = figure.add_axes([0, 0, 1, 1])
    axes.set_axis_off()
    context = RenderContext(doc)
    Frontend(context, MatplotlibBackend(axes)).draw_layout(layout, finalize=False)
    axes.set_xlim(box[0], box[2])
    axes.set_ylim(box[1], box[3])
    data = io.BytesIO()
    figure.savefig(data, dpi=100, facecolor=context.current_layout_properties.background_color[:7])
    plt.close(figure)
    data.seek(0)
    return Image.open(data).convert("RGB")


def test_the_layout_draws_as_the_plugin_does(converted, tmp_path):
    """ezdxf draws the sheet's layout (a figure's model space) as the plug-in
    pictures it: 95 % of either picture's ink lies within 2 pixels of the
    other's. Where the picture has texts (drawn in other fonts) or arcs the
    plug-in draws as chords, they are left out of the DXF's picture and its
    ink is judged alone."""
    for path in drawings():
        described = info(path)
        figure = described["format"] == "jws"
        rect = described["extent" if figure else "sheet"]
        rect = rect if figure else rect["rect"]
        box = [rect["minX"], rect["minY"], rect["maxX"], rect["maxY"]]
        if figure:
            margin = 0.05 * max(box[2] - box[0], box[3] - box[1]) + 1
            box = [box[0] - margin, box[1] - margin, box[2] + margin, box[3] + margin]
        height = round((box[3] - box[1]) * WIDTH / (box[2] - box[0]))
        png = str(tmp_path / "plugin.png")
        run("render", path, "-o", png, "--width", str(WIDTH), "--region", ",".join(map(str, box)))
        plugin = Image.open(png).convert("RGB")
        doc = ezdxf.readfile(converted[path, "2018"])
        pixels_per_mm = WIDTH / (box[2] - box[0])
        scales = group_scale(path)
        left_out = 0
        for block in doc.blocks:
            for e in list(block):
                found = LAYER.match(e.dxf.layer)
                scale = scales[int(found.group(1), 16)] if found and block.name == "*Model_Space" else 1
                if e.dxftype() == "TEXT" or chords_stray(e, pixels_per_mm / scale):
                    block.delete_entity(e)
                    left_out += 1
        if not figure:
            box = [0, 0, box[2] - box[0], box[3] - box[1]]  # the layout's paper starts at its corner
        drawn = dxf_picture(doc, box, plugin.size)
        assert drawn.size == plugin.size, path
        a, b = ink(plugin), ink(drawn)
        assert share_near(a, b) >= 0.95, (path, share_near(a, b))
        if left_out == 0:
            assert share_near(b, a) >= 0.95, (path, share_near(b, a))


@pytest.mark.parametrize("name, content, converts", [
    ("noise.jww", b"\x00\x01 not a drawing" * 40, False),
    ("damaged.jww", b"JwwData." + bytes(range(256)) * 4, False),
    ("old.jww", None, False),  # a version the library does not draw
    ("cut.jww", "half", True),  # the showcase cut in the middle: what was read
])
def test_hostile_and_damaged_inputs_leave_no_file(tmp_path, name, content, converts):
    source = tmp_path / name
    if content is None:
        source.write_bytes(open(os.path.join(EXAMPLES, "version250.jww"), "rb").read())
    elif content == "half":
        whole = open(os.path.join(EXAMPLES, "showcase.jww"), "rb").read()
        source.write_bytes(whole[: len(whole) // 2])
    else:
        source.write_bytes(content)
    output = tmp_path / "out.dxf"
    result = run("render", str(source), "-o", str(output), check=False)
    assert (result.returncode == 0) == converts, result.stderr
    assert output.exists() == converts
    assert not (tmp_path / "out.dxf.part").exists()
    if converts:
        assert not ezdxf.readfile(str(output)).audit().has_errors
    # A folder that does not exist: refused, nothing left behind.
    missing = tmp_path / "none" / "out.dxf"
    assert run("render", os.path.join(EXAMPLES, "showcase.jww"), "-o", str(missing), check=False).returncode == 1
    assert not missing.parent.exists()
