"""examples/dask_bates.py on a local cluster of several worker processes gives every file the
numbers of the command line's run over the same files one after another."""

import csv
import os
import subprocess
import sys
from pathlib import Path

import pytest
from conftest import SOURCE_DIR, make_pdf, stamp_texts

pytest.importorskip("distributed")


def make_tree(source):
    """Files of several page counts in nested folders, a damaged one, and one whose output
    cannot be written (a folder stands at its output path) though it opens."""
    layout = {"a.pdf": 3, "b/b1.pdf": 1, "b/b2.PDF": 8, "b/c/c1.pdf": 5, "b/c/damaged.pdf": 0,
              "blocked.pdf": 4, "d.pdf": 11, "e/e1.pdf": 2}
    for name, pages in layout.items():
        path = source / name
        path.parent.mkdir(parents=True, exist_ok=True)
        if pages:
            make_pdf(path, pages, label=name)
        else:
            path.write_bytes(b"%PDF-1.4\ntruncated")
    (source / "notes.txt").write_text("not a PDF")
    return sorted(layout)


def test_cluster_numbers_equal_the_sequential_run(tmp_path, cli):
    source, by_dask, by_cli = tmp_path / "source", tmp_path / "dask", tmp_path / "cli"
    names = make_tree(source)
    for out in (by_dask, by_cli):
        (out / "blocked.pdf").mkdir(parents=True)
        for name in names:
            (out / name).parent.mkdir(parents=True, exist_ok=True)
    options = ["--prefix", "ACME", "--sep", "", "--onePageNo", "1", "--mask", "6",
               "--nth", "3", "--reverse", "1"]

    (tmp_path / "list.txt").write_text("".join(n + "\n" for n in names))
    (tmp_path / "cli-counter").write_text("1000")
    run = cli(*options, "--importit", tmp_path / "cli-counter", "--exportit",
              tmp_path / "cli-counter", tmp_path / "list.txt", f"-f{by_cli}", cwd=source)
    assert run.returncode == 0, run.stderr

    (tmp_path / "counter").write_text("1000")
    example = SOURCE_DIR / "examples" / "dask_bates.py"
    done = subprocess.run(
        [sys.executable, example, source, by_dask, "--local", "3", "--counter",
         tmp_path / "counter", "--prefix", "ACME", "--set", "nth=3", "--set", "reverse=1"],
        capture_output=True, text=True, timeout=300, env=dict(os.environ))
    assert done.returncode == 1, done.stderr  # two files failed
    assert "6 of 8 files stamped" in done.stdout

    assert (tmp_path / "counter").read_text() == (tmp_path / "cli-counter").read_text()
    with open(by_dask / "manifest.tsv") as f:
        rows = {r["file"]: r for r in csv.DictReader(f, delimiter="\t")}
    assert sorted(rows) == names
    for name in names:
        expected = by_cli / name
        if not expected.is_file():
            assert rows[name]["error"], name
            continue
        texts = stamp_texts(by_dask / name)
        assert texts == stamp_texts(expected), name
        assert rows[name]["output"] == str(by_dask / name)
        # Reverse numbering: the first page shows the highest number.
        number = lambda text: str(int(text[len("(ACME"):-1]))  # noqa: E731
        assert (rows[name]["first"], rows[name]["last"]) == \
            (number(texts[0]), number(texts[-1])), name
    assert "Is a directory" in rows["blocked.pdf"]["error"]
