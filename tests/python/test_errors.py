"""Failures raise StampError with the engine's reason, write nothing, and leave what was there
(an existing output) as it was."""

import os
import subprocess
from pathlib import Path

import pytest
import tavrix
from conftest import have, make_pdf


def damaged(path):
    Path(path).write_bytes(b"%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\n%%EOF\n")
    return str(path)


CASES = [
    # name, input (made in tmp), output, settings, what the reason says
    ("missing input", lambda d: str(d / "nope.pdf"), "out.pdf", {}, "cannot open '{d}/nope.pdf'"),
    ("not a PDF", lambda d: damaged(d / "bad.pdf"), "out.pdf", {}, "is damaged"),
    ("folder as input", lambda d: str(d), "out.pdf", {}, "it is a folder"),
    ("output folder missing", lambda d: make_pdf(d / "in.pdf", 2), "no/such/out.pdf", {},
     "cannot write '{d}/no/such/out.pdf'"),
    ("import file missing", lambda d: make_pdf(d / "in.pdf", 2), "out.pdf",
     {"importit": "missing-counter"}, "missing-counter"),
    ("unknown font", lambda d: make_pdf(d / "in.pdf", 2), "out.pdf", {"font": "Ariel"},
     "unknown font name 'Ariel'"),
]


@pytest.mark.parametrize("name, make, output, settings, says", CASES, ids=[c[0] for c in CASES])
def test_failure_says_why_and_leaves_everything_as_it_was(tmp_path, monkeypatch, name, make,
                                                          output, settings, says):
    monkeypatch.chdir(tmp_path)
    source = make(tmp_path)
    target = tmp_path / output
    existing = tmp_path / "out.pdf"
    existing.write_bytes(b"what was there")
    with pytest.raises(tavrix.StampError) as caught:
        tavrix.Stamper(**settings).stamp(source, target)
    error = caught.value
    assert says.format(d=tmp_path) in error.reason
    assert str(error) == error.reason
    assert error.message == "Stamp file issue"
    assert error.path == source
    assert existing.read_bytes() == b"what was there"
    assert not any(p.name.startswith(".tavrix-") for p in tmp_path.iterdir())


@pytest.mark.skipif(not have("qpdf"), reason="qpdf makes the protected file")
def test_protected_file_names_the_way_out(tmp_path):
    source = make_pdf(tmp_path / "plain.pdf", 1)
    locked = tmp_path / "locked.pdf"
    subprocess.run(["qpdf", "--encrypt", "user", "owner", "256", "--", source, locked],
                   check=True)
    with pytest.raises(tavrix.StampError, match="encrypted"):
        tavrix.Stamper().stamp(locked, tmp_path / "out.pdf")
    with pytest.raises(tavrix.StampError, match="encrypted"):
        tavrix.page_count(locked)


def test_an_exception_from_progress_stops_the_run_and_is_raised_as_itself(tmp_path):
    class Enough(Exception):
        pass

    def progress(done, total):
        if done == 3:
            raise Enough(done)

    with pytest.raises(Enough):
        tavrix.Stamper().stamp(make_pdf(tmp_path / "in.pdf", 9), tmp_path / "out.pdf",
                               progress=progress)
    assert not (tmp_path / "out.pdf").exists()
    assert sorted(os.listdir(tmp_path)) == ["in.pdf"]


def test_stamp_errors_pickle_for_other_processes():
    import pickle
    error = pickle.loads(pickle.dumps(tavrix.StampError("why", "Stamp file issue", "a.pdf")))
    assert (error.reason, error.message, error.path) == ("why", "Stamp file issue", "a.pdf")
