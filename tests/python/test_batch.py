"""Conversions on a Dask cluster: the same pictures as in one process, no
input lost when workers die or the cluster restarts, and an index."""

import io
import json
import os
import signal
import subprocess
import sys

import plotmira
import plotmira.batch
from distributed import Client, LocalCluster
from PIL import Image
from plotmira.batch import convert

from conftest import corpus_files

FILES = corpus_files()
ROOT = os.path.commonpath([os.path.dirname(f) for f in FILES])


def pixels(path):
    with Image.open(path) as im:
        return im.convert("RGB").tobytes()


def test_cluster_matches_one_process_and_loses_nothing(tmp_path):
    single = convert(FILES, tmp_path / "single", thumbnail=128, root=ROOT, workers=1)
    assert [r.error for r in single] == [None] * len(FILES)
    out = tmp_path / "cluster"
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=":0") as cluster, \
            Client(cluster) as client:

        def trouble(done, total, result):  # a worker killed, then the whole cluster restarted, mid-run
            if done == 3:
                os.kill(next(iter(client.run(os.getpid).values())), signal.SIGKILL)
            if done == len(FILES) // 3:
                client.restart()

        first = convert(FILES, out, client=client, thumbnail=128, root=ROOT, update=True, index=True,
                        chunk_files=2, progress=trouble)
        assert [r.input for r in first] == FILES
        assert all((r.output is None) != (r.error is None) for r in first)
        # A lost task may have written its picture before it was lost.
        missing = {r.input for r in first if not os.path.exists(plotmira.batch.output_path(r.input, out, "png", ROOT))}
        assert missing <= {r.input for r in first if r.error}
        second = convert(FILES, out, client=client, thumbnail=128, root=ROOT, update=True, index=True)
        assert [r.error for r in second] == [None] * len(FILES)
        assert {r.input for r in second if not r.skipped} == missing
        # The command line on the same cluster: everything is up to date.
        command = [sys.executable, "-m", "plotmira.batch", ROOT, str(out), "--thumbnail", "128",
                   "--scheduler", cluster.scheduler_address]
        ran = subprocess.run(command, capture_output=True, text=True, check=True)
        assert "0 converted, %d up to date, 0 failed" % len(FILES) in ran.stdout
    for one, many in zip(single, second):
        assert os.path.relpath(one.output, tmp_path / "single") == os.path.relpath(many.output, out)
        assert pixels(one.output) == pixels(many.output), many.input
    lines = [json.loads(line) for line in open(out / "index.jsonl", encoding="utf-8")]
    assert [line["path"] for line in lines] == FILES
    for line in lines[::5]:
        with plotmira.open(line["path"]) as doc:
            assert [t["text"] for t in line["texts"]] == [t.text for t in doc.texts]
            assert line["description"]["counts"] == doc.info["counts"]


def test_command_line_tree_index_and_failures(tmp_path):
    source = tmp_path / "archive"
    (source / "a" / "b").mkdir(parents=True)
    showcase = os.environ["PLOTMIRA_SHOWCASE"]
    (source / "a" / "b" / "Plan.JWW").write_bytes(open(showcase, "rb").read())
    (source / "a" / "b" / "Plan.jws").write_bytes(open(showcase[:-1] + "s", "rb").read())  # also Plan.png
    (source / "broken.jww").write_bytes(b"JwwData." + bytes(40))
    (source / "notes.txt").write_text("not a drawing")
    command = [sys.executable, "-m", "plotmira.batch", str(source), str(tmp_path / "out"), "--index",
               str(tmp_path / "index.jsonl"), "-j", "2"]
    ran = subprocess.run(command, capture_output=True, text=True)
    assert ran.returncode == 1 and "3 drawings: 1 converted, 0 up to date, 2 failed" in ran.stdout
    assert "broken.jww" in ran.stderr and "Plan.png is the picture of" in ran.stderr
    assert Image.open(tmp_path / "out" / "a" / "b" / "Plan.png").size == (1920, 1357)
    lines = {os.path.basename(line["path"]): line for line in map(json.loads, open(tmp_path / "index.jsonl"))}
    assert "Plotmira" in [t["text"] for t in lines["Plan.JWW"]["texts"]] and "error" in lines["broken.jww"]


def test_dxf_files_are_the_converters_and_batches_write_them(tmp_path):
    """save_dxf to a path or a file object gives the converter's bytes, in
    each version; a batch writes .dxf files; plotmira.batch is there after a
    plain import (a fresh interpreter, as a user's script starts)."""
    source = FILES[0]
    for version in ("2018", "2000", "R12"):
        reference = tmp_path / ("cli-%s.dxf" % version)
        subprocess.run([os.environ["PLOTMIRA_CLI"], "render", source, "-o", str(reference), "--dxf-version",
                        version], check=True, env=dict(os.environ, PLOTMIRA_REGISTRY="/nonexistent"))
        with plotmira.open(source, settings="user") as document:
            document.save_dxf(tmp_path / "saved.dxf", version=version)
            memory = io.BytesIO()
            document.save_dxf(memory, version=version)
        assert (tmp_path / "saved.dxf").read_bytes() == reference.read_bytes() == memory.getvalue(), version
    with plotmira.open(source) as document:
        try:
            document.save_dxf(tmp_path / "bad.dxf", version="R14")
        except ValueError:
            pass
        else:
            raise AssertionError("an unknown version was taken")
    assert not (tmp_path / "bad.dxf").exists()
    results = convert(FILES[:3], tmp_path / "dxf", fmt="dxf", root=ROOT, workers=1)
    assert [r.error for r in results] == [None] * len(results)
    assert all(r.output.endswith(".dxf") and open(r.output, "rb").read(9) == b"  0\nSECTI" for r in results)
    subprocess.run([sys.executable, "-c", "import plotmira; plotmira.batch.convert"], check=True)
