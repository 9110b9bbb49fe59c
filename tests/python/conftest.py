"""What the Python tests share: the converter to compare with, the corpus,
and pictures read back as RGB."""

import os
import subprocess

import pytest
from PIL import Image

CLI = os.environ["PLOTMIRA_CLI"]
SHOWCASE = os.environ["PLOTMIRA_SHOWCASE"]
CORPUS = os.environ["PLOTMIRA_CORPUS"]


def corpus_files():
    """Every drawing and figure of the shared corpus, sorted (where there is
    no corpus, run.sh puts the project's own drawings in its place)."""
    found = []
    for parent, _, files in os.walk(CORPUS):
        found += [os.path.join(parent, f) for f in files if f.lower().endswith((".jww", ".jws"))]
    if not found:
        raise RuntimeError("no drawings at %r" % CORPUS)
    return sorted(os.path.abspath(f) for f in found)


def converted(tmp_path, *args):
    """The converter's picture for a command line ending in its output."""
    output = str(tmp_path / ("cli-%d.png" % len(os.listdir(tmp_path))))
    command = [CLI, *args, output] if args[0] == "thumbnail" else [CLI, *args, "-o", output]
    subprocess.run(command, check=True, env=dict(os.environ, PLOTMIRA_REGISTRY="/nonexistent"))
    with Image.open(output) as picture:
        return picture.convert("RGB")


def same_pixels(a, b):
    assert a.size == b.size
    assert a.tobytes() == b.tobytes(), "the pictures differ"


@pytest.fixture
def showcase():
    return SHOWCASE
