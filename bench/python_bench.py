"""The Python package's costs, on the corpus.

    PYTHONPATH=python PLOTMIRA_LIBRARY=build/native/libplotmira.so.2 \\
        /usr/bin/python3 bench/python_bench.py ../shared/corpus/raw [thumbnails|threads|batch|all]

thumbnails: Image.open(p).thumbnail((256, 256)) per file against the C API
    drawing the plug-in's 256-pixel thumbnail of it (open, describe, render,
    close, called straight through ctypes), medians of 7 runs.
threads: the corpus converted to PNG (opened, drawn at its natural width,
    written into memory) by a ThreadPoolExecutor of one thread against two,
    in one process; medians of 3 runs.
batch: plotmira.batch on a LocalCluster, one worker against two, over the
    corpus copied until there are at least 500 files; the cluster's own cost
    per task (empty tasks); and chunk sizes.
"""

import ctypes
import io
import os
import shutil
import statistics
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

import plotmira
import plotmira.batch
from plotmira import _library as c
from PIL import Image

REPS = 7


def median_seconds(action, reps=REPS):
    times = []
    for _ in range(reps):
        started = time.perf_counter()
        action()
        times.append(time.perf_counter() - started)
    return statistics.median(times)


def c_thumbnail(path):
    handle = ctypes.c_void_p()
    if c.open_file(os.fsencode(path), ctypes.byref(handle)) != 0:
        raise RuntimeError(path)
    info = c.Info()
    info.struct_size = ctypes.sizeof(info)
    c.describe(handle, ctypes.byref(info))
    view = c.View()
    c.view_init(ctypes.byref(view), 256, 180)
    buffer = ctypes.create_string_buffer(256 * 180 * 3)
    image = c.Image(ctypes.sizeof(c.Image), c.PIXELS_RGB24, ctypes.cast(buffer, ctypes.c_void_p), 256 * 3, 256 * 180 * 3)
    c.render(handle, ctypes.byref(view), ctypes.byref(image))
    c.close(handle)


def pillow_thumbnail(path):
    with Image.open(path) as im:
        im.thumbnail((256, 256))


def pillow_draft(path):
    with Image.open(path) as im:
        im.draft("RGB", (256, 180))
        im.load()


def thumbnails(files):
    for label, action in (("Image.open(p).thumbnail((256, 256))", pillow_thumbnail),
                          ("Image.open(p), draft at 256 x 180, load()", pillow_draft)):
        ratios, total_c, total_py = [], 0.0, 0.0
        rows = []
        for path in files:
            c_time = median_seconds(lambda: c_thumbnail(path))
            py_time = median_seconds(lambda: action(path))
            ratios.append(py_time / c_time)
            total_c += c_time
            total_py += py_time
            rows.append((py_time / c_time, os.path.basename(path), c_time, py_time))
        rows.sort()
        print("thumbnail 256: the C API against %s, per file (ms)" % label)
        for ratio, name, c_time, py_time in rows[:2] + rows[-2:]:
            print("  %-40s C %7.2f  Python %7.2f  x%.2f" % (name, c_time * 1e3, py_time * 1e3, ratio))
        print("  %d files: median ratio x%.2f, sum C %.0f ms, Python %.0f ms (x%.2f)" % (
            len(files), statistics.median(ratios), total_c * 1e3, total_py * 1e3, total_py / total_c))


def nothing(_):
    return None


def batch(files):
    from distributed import Client, LocalCluster

    work = tempfile.mkdtemp()
    try:
        copies = []
        n = 0
        while len(copies) < 500:
            folder = os.path.join(work, "in", str(n))
            os.makedirs(folder)
            for i, path in enumerate(files):
                target = os.path.join(folder, "%03d%s" % (i, os.path.splitext(path)[1]))
                shutil.copyfile(path, target)
                copies.append(target)
            n += 1
        root = os.path.join(work, "in")
        kinds = (("thumbnail 256", {"thumbnail": 256}, (1, 8, 32)), ("natural size", {}, (8,)))
        for workers in (1, 2):
            with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=":0") as \
                    cluster, Client(cluster) as client:
                client.run(lambda: __import__("plotmira.batch"))
                started = time.perf_counter()
                client.gather(client.map(nothing, range(500), pure=False))
                print("%d worker(s): an empty task costs %.2f ms" % (workers, (time.perf_counter() - started) / 500 * 1e3))
                for label, options, chunks in kinds:
                    for chunk in chunks:
                        out = os.path.join(work, "out-%d-%d-%s" % (workers, chunk, label))
                        started = time.perf_counter()
                        results = plotmira.batch.convert(copies, out, client=client, root=root, chunk_files=chunk,
                                                         **options)
                        seconds = time.perf_counter() - started
                        assert all(r.error is None for r in results)
                        inside = sum(r.seconds for r in results) / len(copies)
                        print("  %d PNG, %s, chunks of %2d: %6.2f s (%.1f ms a file; %.1f ms of it inside tasks)" % (
                            len(copies), label, chunk, seconds, seconds / len(copies) * 1e3, inside * 1e3))
        for label, options, _ in kinds:
            started = time.perf_counter()
            plotmira.batch.convert(copies, os.path.join(work, "local-" + label), root=root, workers=2, **options)
            print("no cluster, 2 local processes, %s: %.2f s" % (label, time.perf_counter() - started))
    finally:
        shutil.rmtree(work)


def convert(path):
    with plotmira.open(path) as doc:
        out = io.BytesIO()
        doc.render().save(out, "PNG")
        return out.tell()


def threads(files):
    # The library draws without a lock, ctypes lets go of the GIL during a
    # call and Pillow while it encodes: two threads convert two files at once.
    readable = []
    for path in files:
        try:
            convert(path)
            readable.append(path)
        except plotmira.Error:
            pass
    timings = {}
    for workers in (1, 2):
        with ThreadPoolExecutor(workers) as pool:
            timings[workers] = median_seconds(lambda: list(pool.map(convert, readable)), reps=3)
        print("ThreadPoolExecutor(%d): %d files in %.2f s (%.1f files/s)" % (
            workers, len(readable), timings[workers], len(readable) / timings[workers]))
    print("two threads: %.2fx one" % (timings[1] / timings[2]))


def main():
    corpus = sys.argv[1]
    what = sys.argv[2] if len(sys.argv) > 2 else "all"
    files = plotmira.batch.find_drawings(corpus)
    if what in ("thumbnails", "all"):
        thumbnails(files)
    if what in ("threads", "all"):
        threads(files)
    if what in ("batch", "all"):
        batch(files)


if __name__ == "__main__":
    main()
