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


def rootless(path):
    """A sound file whose trailer names a catalog beyond its table."""
    pdf = Path(make_pdf(path, 2))
    pdf.write_bytes(pdf.read_bytes().replace(b"/Root 1 0 R", b"/Root 9 0 R"))
    return str(pdf)


CASES = [
    # name, input (made in tmp), output, settings, what the reason says
    ("missing input", lambda d: str(d / "nope.pdf"), "out.pdf", {}, "cannot open '{d}/nope.pdf'"),
    ("no cross-reference data", lambda d: damaged(d / "bad.pdf"), "out.pdf", {},
     "cross-reference data damaged at byte 51; --repair rebuilds it"),
    ("folder as input", lambda d: str(d), "out.pdf", {}, "it is a folder"),
    ("catalog beyond the table", lambda d: rootless(d / "r.pdf"), "out.pdf", {},
     "r.pdf' is damaged: its cross-reference data or catalog is missing"),
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
def test_protected_and_damaged_files_name_the_way_out_and_open_with_it(tmp_path):
    source = make_pdf(tmp_path / "plain.pdf", 2)
    locked = tmp_path / "locked.pdf"
    subprocess.run(["qpdf", "--encrypt", "user", "owner", "256", "--modify=none", "--",
                    source, locked], check=True)
    out = tmp_path / "out.pdf"
    for password, kind, says in [(None, "password", "is encrypted (give its password"),
                                 ("nope", "password", "the password does not open it"),
                                 ("user", "owner-password", "does not allow changes")]:
        with pytest.raises(tavrix.StampError) as caught:
            tavrix.Stamper().stamp(locked, out, password=password)
        assert caught.value.kind == kind
        assert says in caught.value.reason
        assert not out.exists()
    # Counting pages changes nothing: the user password is enough for it.
    assert tavrix.page_count(locked, password="user") == 2
    assert tavrix.Stamper().stamp(locked, out, password="owner").pages == 2
    assert subprocess.run(["qpdf", "--check", "--password=user", out]).returncode == 0

    broken = tmp_path / "broken.pdf"
    broken.write_bytes(Path(source).read_bytes().replace(b"startxref", b"xxxxxxxxx"))
    with pytest.raises(tavrix.StampError) as caught:
        tavrix.Stamper().stamp(broken, out)
    assert caught.value.kind == "repair"
    assert tavrix.Stamper().stamp(broken, out, repair=True).pages == 2


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
    error = pickle.loads(pickle.dumps(tavrix.StampError("why", "Stamp file issue", "a.pdf",
                                                         "repair")))
    assert (error.reason, error.message, error.path, error.kind) == \
        ("why", "Stamp file issue", "a.pdf", "repair")
