"""What the Python package's tests share: PDF files made here with computed offsets, the
command-line client with a registry of its own, and reading stamps back.

The build passes where things are through the environment: PYTHONPATH finds the package
built in build/python, TAVRIX_CLI and TAVRIX_LIBRARY name the client and the engine."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

SOURCE_DIR = Path(os.environ.get("TAVRIX_SOURCE_DIR", Path(__file__).resolve().parents[2]))


def make_pdf(path, pages, label="Hello"):
    """A plain document: catalog, page tree, and `pages` pages that each draw "<label> k"."""
    objects = {1: "<< /Type /Catalog /Pages 2 0 R >>"}
    first, font = 3, 3 + 2 * pages
    kids = " ".join(f"{first + k} 0 R" for k in range(pages))
    objects[2] = f"<< /Type /Pages /Kids [ {kids} ] /Count {pages} >>"
    for k in range(pages):
        content = f"BT /F1 24 Tf 72 700 Td ({label} {k + 1}) Tj ET"
        objects[first + k] = (f"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] "
                              f"/Contents {first + pages + k} 0 R "
                              f"/Resources << /Font << /F1 {font} 0 R >> >> >>")
        objects[first + pages + k] = f"<< /Length {len(content)} >>\nstream\n{content}\nendstream"
    objects[font] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = {}
    for num in sorted(objects):
        offsets[num] = len(out)
        out += f"{num} 0 obj\n{objects[num]}\nendobj\n".encode()
    xref = len(out)
    size = max(objects) + 1
    out += f"xref\n0 {size}\n0000000000 65535 f \n".encode()
    for num in range(1, size):
        out += f"{offsets[num]:010d} 00000 n \n".encode()
    out += f"trailer\n<< /Size {size} /Root 1 0 R >>\nstartxref\n{xref}\n%%EOF\n".encode()
    Path(path).write_bytes(bytes(out))
    return str(path)


def stamp_texts(path):
    """The texts the stamp streams draw, in the order they stand in the file: what a run
    stamped, read from its bytes (the stamp text is an uncompressed literal string)."""
    data = Path(path).read_bytes()
    shown = rb"(?m)^([(<\[][^\n]*[)>\]]) T[jJ]\n(?:EMC\n)?ET\n"
    return [m.group(1).decode("latin-1") for m in re.finditer(shown, data)]


def page_texts(path):
    """pdftotext's text of every page, one string per page."""
    text = subprocess.run(["pdftotext", "-layout", str(path), "-"], check=True,
                          capture_output=True, text=True).stdout
    return text.split("\f")[:-1]


def comparable_objects(path):
    """The objects of an output, by number, as two runs on the same settings write them: a run
    names its font and opacity resources with numbers drawn from the clock, so the names, the
    lengths of the streams that hold them, and the offsets are left out."""
    data = Path(path).read_bytes()
    objects = {}
    for m in re.finditer(rb"(?m)^(\d+) 0 obj\n(.*?)endobj", data, re.S):
        body = re.sub(rb"/(F|GS)\d+\b", rb"/\1#", m.group(2))
        objects[int(m.group(1))] = re.sub(rb"/Length \d+", b"/Length #", body)
    return objects


@pytest.fixture(scope="session")
def cli(tmp_path_factory):
    """Runs build/tavrix with a registry of its own; returns CompletedProcess."""
    program = os.environ.get("TAVRIX_CLI", str(SOURCE_DIR / "build" / "tavrix"))
    library = os.environ.get("TAVRIX_LIBRARY", str(SOURCE_DIR / "build" / "libtavrix.so"))
    registry = tmp_path_factory.mktemp("registry")
    env = dict(os.environ, TAVRIX_REGISTRY=str(registry / "registry"),
               TAVRIX_SYSTEM_REGISTRY=str(registry / "system"))
    subprocess.run([program, "--register", library], check=True, env=env, capture_output=True)

    def run(*args, cwd=None):
        return subprocess.run([program, *map(str, args)], env=env, cwd=cwd, capture_output=True)

    return run


def have(tool):
    return shutil.which(tool) is not None
