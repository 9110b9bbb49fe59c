"""Converting many drawings: in local processes, or as tasks on a Dask
distributed cluster whose workers all see the input and output paths.

    python3 -m plotmira.batch SRC_DIR OUT_DIR [--scheduler ADDRESS] [--thumbnail 256] [--index FILE]

walks SRC_DIR for drawings and figures, writes one picture for each under
OUT_DIR in the same folders, and leaves alone the pictures that are newer
than their drawings, so a run after an interruption converts only what is
missing.
"""

import argparse
import collections
import concurrent.futures
import json
import multiprocessing
import os
import sys
import time

Result = collections.namedtuple("Result", "input output error seconds skipped")
Result.__doc__ = """What became of one input: the picture's path (None when it
failed), the error's words (None when it worked), the seconds its task spent
on it, and whether an up-to-date picture was left as it was."""

# Inputs smaller than this share a task with their neighbours, up to
# CHUNK_FILES of them: a task costs the cluster a few milliseconds of its own
# (measured by bench/python_batch.py), about what drawing a small file takes.
SMALL_FILE = 256 * 1024
CHUNK_FILES = 8

EXTENSIONS = (".jww", ".jws")


def _save(output, write):
    """Writes a file so that a reader never sees half of it: write(path)
    into a temporary file beside it, then renamed over it."""
    folder = os.path.dirname(output)
    if folder:
        os.makedirs(folder, exist_ok=True)
    temporary = "%s.%d.part" % (output, os.getpid())
    try:
        write(temporary)
        os.replace(temporary, output)
    except BaseException:
        if os.path.exists(temporary):
            os.remove(temporary)
        raise


def _convert_chunk(jobs, options):
    """One task: each job is (input, output or None, describe). Returns one
    (error, seconds, record) per job; record is the index line's content."""
    import plotmira

    results = []
    for source, output, describe in jobs:
        started = time.perf_counter()
        error, record = None, None
        try:
            with plotmira.open(source) as document:
                if output is not None and options["format"] == "DXF":
                    _save(output, lambda path: _write_dxf(document, path))
                elif output is not None:
                    picture = document.render(options["thumbnail"] or options["width"])
                    _save(output, lambda path: picture.save(path, format=options["format"]))
                if describe:
                    record = {"description": document.info, "texts": [t._asdict() for t in document.texts]}
        except Exception as failure:  # every file's fate is reported, none stops the rest
            error = str(failure) or type(failure).__name__
        results.append((error, time.perf_counter() - started, record))
    return results


def _write_dxf(document, path):
    with open(path, "wb") as file:
        document.save_dxf(file)


def _chunks(jobs, sizes, chunk_files):
    """Runs of small inputs grouped, each large one alone."""
    chunk = []
    for job, size in zip(jobs, sizes):
        if size >= SMALL_FILE:
            yield [job]
            continue
        chunk.append(job)
        if len(chunk) >= chunk_files:
            yield chunk
            chunk = []
    if chunk:
        yield chunk


def _size(path):
    try:
        return os.path.getsize(path)
    except OSError:
        return 0


def _up_to_date(source, output):
    try:
        return os.path.getmtime(output) >= os.path.getmtime(source)
    except OSError:
        return False


def output_path(source, out_dir, fmt="png", root=None):
    """Where a drawing's picture goes: under out_dir at the drawing's place
    below root, or by its name alone; plan.jww becomes plan.png."""
    relative = os.path.relpath(source, root) if root is not None else os.path.basename(source)
    return os.path.join(out_dir, os.path.splitext(relative)[0] + "." + fmt.lower())


def _run_local(chunks, options, workers, on_done):
    """In local processes. A process that dies (a crash on some file) takes
    its pool with it: the chunks left are then run again one file a task in
    a fresh pool, so that only the file that kills its process is lost."""
    context = multiprocessing.get_context("spawn")
    for attempt in (0, 1):
        left = []
        with concurrent.futures.ProcessPoolExecutor(max_workers=workers, mp_context=context) as pool:
            futures = {pool.submit(_convert_chunk, chunk, options): chunk for chunk in chunks}
            for future in concurrent.futures.as_completed(futures):
                try:
                    outcome = future.result()
                except concurrent.futures.process.BrokenProcessPool as failure:
                    if attempt == 0:
                        left.append(futures[future])
                        continue
                    outcome = failure
                except Exception as failure:
                    outcome = failure
                on_done(futures[future], outcome)
        if not left:
            return
        chunks = [[job] for chunk in left for job in chunk]


def _run_dask(client, chunks, options, on_done):
    from distributed import as_completed

    futures = {}
    for chunk in chunks:
        futures[client.submit(_convert_chunk, chunk, options, pure=False)] = chunk
    for future in as_completed(list(futures)):
        try:
            outcome = future.result()
        except Exception as failure:  # a lost worker, a restarted cluster
            outcome = failure
        on_done(futures[future], outcome)
        future.release()


def convert(inputs, out_dir, *, client=None, width=None, thumbnail=None, fmt="png", index=None, root=None,
            update=False, workers=None, chunk_files=CHUNK_FILES, progress=None):
    """Converts drawings to pictures and returns a Result per input, in the
    order given.

    client: a dask.distributed Client; its workers read the inputs and write
    out_dir, so both must be paths every worker sees. Without one, the files
    are converted in local processes (workers of them, default one per CPU).
    width: the picture's width (default the plug-in's); thumbnail: a picture
    that many pixels wide instead. fmt: any format Pillow writes, or "dxf"
    for the drawings as DXF files (2018) for other CAD programs.
    index: True or a file path: one JSON line per input (path, description,
    texts), True writing out_dir/index.jsonl.
    root: keeps the inputs' folders below root under out_dir.
    update: leaves alone pictures newer than their inputs.
    progress: called as progress(done, total, result) after each input.
    """
    # Absolute paths: a cluster's workers do not share our working folder.
    inputs = [os.path.abspath(p) for p in inputs]
    out_dir = os.path.abspath(out_dir)
    root = os.path.abspath(root) if root is not None else None
    fmt = fmt.lower()
    if fmt == "dxf" and (width is not None or thumbnail is not None):
        raise ValueError("width and thumbnail size pictures; a DXF file holds the whole drawing")
    outputs = [output_path(p, out_dir, fmt, root) for p in inputs]
    first_for = {}
    for source, output in zip(inputs, outputs):
        first_for.setdefault(output, source)
    options = {"width": width, "thumbnail": thumbnail, "format": "JPEG" if fmt in ("jpg", "jpeg") else fmt.upper()}
    describe = index is not None and index is not False
    results = [None] * len(inputs)
    records = [None] * len(inputs)
    where = {}
    jobs, sizes = [], []
    done = 0

    def finish(i, result):
        nonlocal done
        results[i] = result
        done += 1
        if progress is not None:
            progress(done, len(inputs), result)

    for i, (source, output) in enumerate(zip(inputs, outputs)):
        if first_for[output] != source:  # plan.jww and plan.jws: the first keeps plan.png
            finish(i, Result(source, None, "%s: %s is the picture of %s" % (source, output, first_for[output]), 0.0,
                             False))
            continue
        fresh = update and _up_to_date(source, output)
        if fresh and not describe:
            finish(i, Result(source, output, None, 0.0, True))
            continue
        where[source] = i
        jobs.append((source, None if fresh else output, describe))
        sizes.append(_size(source))

    def on_done(chunk, outcome):
        for n, (source, output, _) in enumerate(chunk):
            i = where[source]
            if isinstance(outcome, BaseException):
                words = str(outcome) or type(outcome).__name__
                finish(i, Result(source, None, "the task was lost: " + words, 0.0, False))
                continue
            error, seconds, record = outcome[n]
            records[i] = record
            fresh = output is None
            finish(i, Result(source, None if error else outputs[i], error, seconds, fresh))

    chunks = list(_chunks(jobs, sizes, max(1, chunk_files)))
    if chunks:
        if client is not None:
            _run_dask(client, chunks, options, on_done)
        else:
            _run_local(chunks, options, workers or os.cpu_count() or 1, on_done)
    if describe:
        index_path = os.path.join(out_dir, "index.jsonl") if index is True else os.fspath(index)
        _write_index(index_path, results, records)
    return results


def _write_index(path, results, records):
    folder = os.path.dirname(path)
    if folder:
        os.makedirs(folder, exist_ok=True)
    with open(path, "w", encoding="utf-8") as index:
        for result, record in zip(results, records):
            line = {"path": result.input, "output": result.output}
            if record is not None:
                line.update(record)
            else:
                line["error"] = result.error
            index.write(json.dumps(line, ensure_ascii=False) + "\n")


def find_drawings(folder):
    """The drawings and figures below a folder, in a stable order."""
    found = []
    for parent, folders, files in os.walk(folder):
        folders.sort()
        for name in sorted(files):
            if os.path.splitext(name)[1].lower() in EXTENSIONS:
                found.append(os.path.join(parent, name))
    return found


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="python3 -m plotmira.batch",
        description="Converts every Jw_cad drawing and figure below SRC_DIR to a picture under OUT_DIR, in the "
        "same folders, leaving alone the pictures newer than their drawings.")
    parser.add_argument("source", metavar="SRC_DIR")
    parser.add_argument("out", metavar="OUT_DIR")
    parser.add_argument("--scheduler", metavar="ADDRESS", help="a Dask scheduler, e.g. tcp://10.0.0.5:8786")
    size = parser.add_mutually_exclusive_group()
    size.add_argument("--thumbnail", type=int, metavar="SIZE", help="pictures SIZE pixels wide")
    size.add_argument("--width", type=int, metavar="PIXELS", help="pictures this wide (default the plug-in's)")
    parser.add_argument("--format", default="png", help="png (default), jpeg, webp, bmp, ..., or dxf")
    parser.add_argument("--index", metavar="FILE", help="also write a JSON line per drawing: description and texts")
    parser.add_argument("--jobs", "-j", type=int, metavar="N", help="local processes (without --scheduler)")
    args = parser.parse_args(argv)
    if not os.path.isdir(args.source):
        parser.error("%s is not a folder" % args.source)
    for value, name in ((args.thumbnail, "--thumbnail"), (args.width, "--width")):
        if value is not None and not 1 <= value <= 16384:
            parser.error("%s takes 1 to 16384 pixels" % name)
        if value is not None and args.format.lower() == "dxf":
            parser.error("%s sizes pictures; a DXF file holds the whole drawing" % name)
    inputs = find_drawings(args.source)
    terminal = sys.stderr.isatty()
    failed = []

    def progress(done, total, result):
        if result.error:
            failed.append(result)
            if terminal:
                sys.stderr.write("\r\033[K")
            sys.stderr.write("plotmira: %s\n" % result.error)
        if terminal:
            sys.stderr.write("\r%d/%d converted" % (done, total))
            sys.stderr.flush()

    client = None
    if args.scheduler:
        from distributed import Client

        client = Client(args.scheduler)
    try:
        results = convert(inputs, args.out, client=client, width=args.width, thumbnail=args.thumbnail,
                          fmt=args.format, index=args.index, root=args.source, update=True, workers=args.jobs,
                          progress=progress)
    finally:
        if client is not None:
            client.close()
    skipped = sum(1 for r in results if r.skipped)
    if terminal:
        sys.stderr.write("\r\033[K")
    print("%d drawings: %d converted, %d up to date, %d failed" % (
        len(results), len(results) - skipped - len(failed), skipped, len(failed)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
