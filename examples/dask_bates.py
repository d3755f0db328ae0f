#!/usr/bin/env python3
"""Bates-number a folder tree of PDF files on a Dask cluster, with exactly the numbers of one
run over the files one after another.

    python3 examples/dask_bates.py SOURCE OUTPUT [--local N | --scheduler ADDRESS]
        [--counter FILE | --start N] [--prefix TEXT] [--mask N] [--set NAME=VALUE]...
        [--manifest FILE]

The files are the PDF files below SOURCE (".pdf" in any case), in the sorted order of their
paths relative to SOURCE; each is written to the same relative path below OUTPUT. Numbers run
on from the counter file's number (or from --start), one per stamped page, and a file that
cannot be stamped takes none, as in `tavrix --importit FILE --exportit FILE LIST.txt -fOUTPUT`
over the same list. Three steps:

1. the workers survey the files (open each, read its page list);
2. the client gives each file its start number (tavrix.plan);
3. the workers stamp the files, in any order. A file that fails though its survey read it takes
   no numbers after all: the client plans again, and the files whose numbers moved are stamped
   again, so the result is still that of the run one after another.

At the end the client writes the counter file (the next free number) and a manifest: one
tab-separated line per file with its path, first and last number, output, and the reason it
failed (empty when it did not).

With --local N a cluster of N worker processes is started on this machine; --scheduler
connects to a running one, whose workers must have the tavrix package and see SOURCE and
OUTPUT under the same paths (a shared filesystem).
"""

import argparse
import os
import sys
import tempfile
from pathlib import Path

import tavrix
from distributed import Client, LocalCluster


def survey_file(path):
    """On a worker: the file's survey, or the StampError that says why it does not open."""
    try:
        return tavrix.survey(path)
    except tavrix.StampError as error:
        return error


def stamp_file(stamper, source, target):
    """On a worker: the StampResult, or the StampError."""
    try:
        Path(target).parent.mkdir(parents=True, exist_ok=True)
        return stamper.stamp(source, target)
    except tavrix.StampError as error:
        return error


def setting_value(text):
    try:
        return int(text, 0)
    except ValueError:
        return text


def write_counter(path, value):
    """Replaces the counter file whole, so that it never holds a partial number."""
    folder = Path(path).resolve().parent
    fd, temp = tempfile.mkstemp(dir=folder, prefix=".counter-")
    with os.fdopen(fd, "w") as f:
        f.write(str(value))
        f.flush()
        os.fsync(f.fileno())
    if Path(path).exists():
        os.chmod(temp, Path(path).stat().st_mode & 0o7777)
    os.replace(temp, path)


def bates(client, files, source, output, stamper):
    """Plans and stamps `files`; returns the plan and the result (or error) of each file."""
    surveys = client.gather(client.map(survey_file, [str(f) for f in files], pure=False))
    targets = [str(output / f.relative_to(source)) for f in files]
    outcomes = {}  # index -> (start it was stamped from, StampResult or StampError)
    while True:
        planned = tavrix.plan(files, stamper, surveys=surveys)
        todo = [k for k, p in enumerate(planned)
                if p.error is None and (k not in outcomes or outcomes[k][0] != p.start)]
        if not todo:
            return planned, [outcomes.get(k, (None, None))[1] for k in range(len(files))]
        stampers = [stamper.copy(start_number=planned[k].start, importit="", exportit="")
                    for k in todo]
        results = client.gather(client.map(stamp_file, stampers, [str(files[k]) for k in todo],
                                           [targets[k] for k in todo], pure=False))
        for k, result in zip(todo, results):
            outcomes[k] = (planned[k].start, result)
            # Failed though it opened: it takes no numbers, and the files after it move up.
            if isinstance(result, tavrix.StampError):
                surveys[k] = result


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("source", type=Path)
    parser.add_argument("output", type=Path)
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--local", type=int, metavar="N", default=2,
                       help="start a cluster of N worker processes here (default 2)")
    where.add_argument("--scheduler", metavar="ADDRESS", help="use the cluster at ADDRESS")
    first = parser.add_mutually_exclusive_group()
    first.add_argument("--counter", type=Path, help="file holding the next free number")
    first.add_argument("--start", type=int, default=1, help="first number (default 1)")
    parser.add_argument("--prefix", default="", help="text before the number")
    parser.add_argument("--mask", type=int, default=6, help="digits, zero-filled (default 6)")
    parser.add_argument("--set", action="append", default=[], metavar="NAME=VALUE",
                        help="any other setting of tavrix.Stamper, e.g. --set posh=-1")
    parser.add_argument("--manifest", type=Path, help="default: OUTPUT/manifest.tsv")
    args = parser.parse_args(argv)

    settings = {"prefix": args.prefix, "sep": "", "one_page_no": True, "mask": args.mask,
                "start_number": args.start}
    for item in args.set:
        name, _, value = item.partition("=")
        settings[name] = setting_value(value)
    if args.counter:
        settings["importit"] = settings["exportit"] = str(args.counter)
    stamper = tavrix.Stamper(**settings)

    source, output = args.source.resolve(), args.output.resolve()
    files = sorted((p for p in source.rglob("*") if p.suffix.lower() == ".pdf" and p.is_file()),
                   key=lambda p: str(p.relative_to(source)))
    output.mkdir(parents=True, exist_ok=True)

    if args.scheduler:
        client = Client(args.scheduler)
        cluster = None
    else:
        cluster = LocalCluster(n_workers=args.local, threads_per_worker=1, processes=True,
                               dashboard_address=None)
        client = Client(cluster)
    try:
        planned, results = bates(client, files, source, output, stamper)
    finally:
        client.close()
        if cluster:
            cluster.close()

    if args.counter and planned and planned[-1].counter is not None:
        write_counter(args.counter, planned[-1].counter)
    manifest = args.manifest or output / "manifest.tsv"
    failed = 0
    with open(manifest, "w") as f:
        f.write("file\tfirst\tlast\toutput\terror\n")
        for path, plan, result in zip(files, planned, results):
            error = plan.error or (result.reason if isinstance(result, tavrix.StampError) else "")
            failed += bool(error)
            cells = [str(path.relative_to(source)), "", "", "", error]
            if not error:
                cells[1:4] = ["" if plan.first is None else str(plan.first),
                              "" if plan.last is None else str(plan.last), result.output]
            f.write("\t".join(c.replace("\t", " ").replace("\n", " ") for c in cells) + "\n")
    print(f"{len(files) - failed} of {len(files)} files stamped; manifest: {manifest}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
