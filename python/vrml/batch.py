"""Batch conversion of many scenes, on a Dask cluster or a local process pool.

    rows = vrml.batch.convert_all(["archive/", "more/*.wrz"], "out/", format="glb")
    vrml.batch.write_csv(rows, "report.csv")

From the shell:

    python3 -m vrml.batch IN... -o DIR [--format glb] [--scheduler ADDRESS] [--csv FILE] [--jobs N]

Each output is written in a temporary folder inside the output folder and
moved to its name when complete, so a partial file never stands under the
final name. A rerun skips outputs newer than their input. A worker lost in
the middle of a file (killed, out of memory) leaves that file reported as
failed; every other file still converts.
"""

import argparse
import concurrent.futures
import csv
import glob
import os
import shutil
import sys
import tempfile
import time

from . import _vrml

FIELDS = ["file", "status", "reason", "objects", "triangles", "seconds"]
FORMATS = [f["name"] for f in _vrml.formats()]  # one table for every front end
SCENE_ENDINGS = (".wrl", ".wrz", ".vrml", ".wrl.gz", ".vrml.gz")
LOST_WORKER = "the worker converting it was lost (killed or out of memory)"


def expand_inputs(inputs):
    """Paths, folders (searched below for .wrl, .wrz, .vrml and .gz of them) and globs, as a sorted list of files."""
    if isinstance(inputs, (str, bytes)) or hasattr(inputs, "__fspath__"):
        inputs = [inputs]
    files = []
    for item in map(str, inputs):
        if os.path.isdir(item):
            for folder, _, names in os.walk(item):
                files += [os.path.join(folder, n) for n in sorted(names) if n.lower().endswith(SCENE_ENDINGS)]
        elif any(c in item for c in "*?["):
            files += sorted(glob.glob(item, recursive=True))
        else:
            files.append(item)
    seen, unique = set(), []
    for f in files:
        if f not in seen:
            seen.add(f)
            unique.append(f)
    return unique


def output_name(path, format):
    """What `vrml convert -o` writes for `path`: its name without .gz and .wrl/.wrz/.vrml, with the format's extension."""
    return _vrml.output_name(str(path), format)


def convert_one(path, output, format):
    """Converts one file; returns its row. The output appears under its name only once complete."""
    folder = os.path.dirname(os.path.abspath(output))
    staging = tempfile.mkdtemp(prefix=_staging_prefix(output), dir=folder)
    try:
        row = _vrml.convert([path], staging, format=format)[0]
        if row["status"] == "converted":
            for name in os.listdir(staging):  # the OBJ's .mtl and images come along
                os.replace(os.path.join(staging, name), os.path.join(folder, name))
        return {k: row[k] for k in FIELDS}
    finally:
        shutil.rmtree(staging, ignore_errors=True)


def _staging_prefix(output):
    return ".vrml-part-" + os.path.basename(output) + "-"


def _remove_staging(output):
    """What a worker lost in the middle of this output left: the folder it was writing in."""
    pattern = os.path.join(glob.escape(os.path.dirname(os.path.abspath(output))), glob.escape(_staging_prefix(output)))
    for folder in glob.glob(pattern + "*"):
        shutil.rmtree(folder, ignore_errors=True)


def _names(names):
    return ", ".join(names[:-1]) + " or " + names[-1]


def _failed(path, reason):
    return {"file": path, "status": "failed", "reason": reason, "objects": 0, "triangles": 0, "seconds": 0.0}


def _is_current(path, output):
    try:
        return os.path.getmtime(output) >= os.path.getmtime(path)
    except OSError:
        return False


def _run_local(jobs, task, format):
    """Runs `jobs` (path, output) in a process pool. A pool whose worker dies is broken as a whole: the
    files it left unfinished are run again one per fresh pool, so only the file that kills its worker fails."""
    rows = {}
    retry = []
    with concurrent.futures.ProcessPoolExecutor(max_workers=max(1, min(len(jobs), os.cpu_count() or 1))) as pool:
        futures = {pool.submit(task, p, o, format): (p, o) for p, o in jobs}
        for future in concurrent.futures.as_completed(futures):
            path, output = futures[future]
            try:
                rows[path] = future.result()
            except concurrent.futures.process.BrokenProcessPool:
                retry.append((path, output))
            except Exception as error:  # the task itself failed
                rows[path] = _failed(path, str(error))
    for path, output in retry:
        with concurrent.futures.ProcessPoolExecutor(max_workers=1) as pool:
            try:
                rows[path] = pool.submit(task, path, output, format).result()
            except concurrent.futures.process.BrokenProcessPool:
                rows[path] = _failed(path, LOST_WORKER)
            except Exception as error:
                rows[path] = _failed(path, str(error))
    return rows


def _run_on_cluster(jobs, task, format, client):
    """One task per file on the cluster; a task whose worker is lost fails alone."""
    rows = {}
    futures = [client.submit(task, p, o, format, pure=False, key=f"vrml-{i}-{os.path.basename(p)}")
               for i, (p, o) in enumerate(jobs)]
    for future, (path, output) in zip(futures, jobs):
        try:
            rows[path] = future.result()
        except Exception as error:
            name = type(error).__name__
            lost = name in ("KilledWorker", "CommClosedError", "FutureCancelledError")
            rows[path] = _failed(path, LOST_WORKER if lost else f"{name}: {error}")
    return rows


def convert_all(inputs, outdir, format="glb", client=None, csv_path=None, task=None):
    """Converts every scene `inputs` names into `outdir`; returns one row per file:
    file, status ("converted", "skipped" or "failed"), reason, objects, triangles, seconds.

    With a dask.distributed Client the work runs on its cluster, one task per file; without one, on a local
    process pool. `task(path, output, format) -> row` replaces the conversion of one file (tests use it)."""
    task = task or convert_one
    format = format.lower().lstrip(".")
    if format not in FORMATS:
        raise ValueError(f"unknown format '{format}' ({_names(FORMATS)})")
    os.makedirs(outdir, exist_ok=True)
    rows, jobs, taken = {}, [], set()
    files = expand_inputs(inputs)
    for path in files:
        output = os.path.join(str(outdir), output_name(path, format))
        if output in taken:
            rows[path] = _failed(path, f"{output} was already written for an earlier input")
        elif _is_current(path, output):
            rows[path] = {"file": path, "status": "skipped", "reason": "output is newer than the input",
                          "objects": 0, "triangles": 0, "seconds": 0.0}
        else:
            jobs.append((path, output))
        taken.add(output)
    if jobs:
        run = _run_on_cluster(jobs, task, format, client) if client is not None else _run_local(jobs, task, format)
        rows.update(run)
        for _, output in jobs:  # what attempts cut short by a lost worker left
            _remove_staging(output)
    table = [rows[p] for p in files]
    if csv_path:
        write_csv(table, csv_path)
    return table


def write_csv(rows, path):
    with open(path, "w", newline="", encoding="utf-8") as out:
        writer = csv.DictWriter(out, fieldnames=FIELDS)
        writer.writeheader()
        writer.writerows({k: r[k] for k in FIELDS} for r in rows)


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m vrml.batch", description="Convert many VRML scenes.")
    parser.add_argument("inputs", nargs="+", help="files, folders or globs")
    parser.add_argument("-o", "--output-dir", required=True)
    parser.add_argument("--format", default="glb", type=str.lower, choices=FORMATS, help="the output format (default glb)")
    parser.add_argument("--scheduler", help="address of a dask.distributed scheduler (default: local processes)")
    parser.add_argument("--csv", help="also write the table of results here")
    args = parser.parse_args(argv)
    client = None
    if args.scheduler:
        from distributed import Client
        client = Client(args.scheduler)
    start = time.monotonic()
    try:
        rows = convert_all(args.inputs, args.output_dir, args.format, client=client, csv_path=args.csv)
    finally:
        if client is not None:
            client.close()
    counts = {s: sum(r["status"] == s for r in rows) for s in ("converted", "skipped", "failed")}
    for r in rows:
        if r["status"] == "failed":
            print(f"vrml: {r['file']}: {r['reason']}", file=sys.stderr)
    print(f"{counts['converted']} converted, {counts['skipped']} skipped, {counts['failed']} failed "
          f"in {time.monotonic() - start:.1f} s")
    return 1 if counts["failed"] else 0


if __name__ == "__main__":
    sys.exit(main())
