"""Stamper.stamp against the command-line client: the same settings give the same file (but
for the resource names, which every run draws anew), and the result tells what was stamped."""

import os
from pathlib import Path

import pytest
import tavrix
from conftest import comparable_objects, have, make_pdf, page_texts, stamp_texts

CASES = [
    ("defaults", {}),
    ("texts and placement", {"prefix": "Seite ", "sep": " von ", "end": ".", "posh": -1,
                              "align": "center", "flipv": True, "font_size": 14}),
    ("numbering", {"start_page": 2, "start_number": 10, "nth": 3, "reverse": True, "mask": 4}),
    ("roman, colour, angle", {"rom_upper": True, "one_page_no": True, "color": 0xC00000,
                              "font_angle": 45, "opacity": 50, "font": "Helvetica-Bold"}),
    ("cmyk and two-up", {"cmyk_color": 0x00FF0000, "up2": True, "nopg": False, "noforce": True}),
    ("outside Windows-1252", {"prefix": "Страница ", "sep": " из "}),
]


# The engine's member names of the keywords above that are not already the same.
MEMBER = {"start_page": "startPage", "start_number": "startNumber", "font_size": "fontSize",
          "rom_upper": "romUpper", "one_page_no": "onePageNo", "font_angle": "fontAngle",
          "cmyk_color": "CMYKcolor"}


def cli_options(settings):
    args = []
    for key, value in settings.items():
        args += [f"--{MEMBER.get(key, key)}",
                 str(int(value)) if isinstance(value, (bool, int)) else value]
    return args


@pytest.mark.parametrize("name, settings", CASES, ids=[c[0] for c in CASES])
def test_same_file_as_the_command_line(tmp_path, cli, name, settings):
    source = make_pdf(tmp_path / "in.pdf", 7)
    by_cli, by_python = tmp_path / "cli.pdf", tmp_path / "python.pdf"
    run = cli(*cli_options(settings), source, by_cli)
    assert run.returncode == 0, run.stderr
    result = tavrix.Stamper(**settings).stamp(source, by_python)
    assert comparable_objects(by_python) == comparable_objects(by_cli)
    assert len(comparable_objects(by_python)) > 7 * 2 + 3
    assert result.pages == 7 and result.output == str(by_python)
    if have("qpdf"):
        assert os.system(f"qpdf --check {by_python} >/dev/null") == 0


def test_result_numbers_counter_and_rename(tmp_path):
    source = make_pdf(tmp_path / "report.pdf", 5)
    counter = tmp_path / "counter"
    counter.write_text("41")
    s = tavrix.Stamper(importit=counter, exportit=counter, reverse=True, one_page_no=True,
                       sep="", prefix="ACME-", mask=6,
                       renameoutput="[FILETITLE]-[PAGESTART]-[PAGEEND].pdf")
    result = s.stamp(source, tmp_path / "out.pdf")
    # Reverse numbering shows the highest number on the first page.
    assert (result.start, result.first, result.last, result.next) == (41, 45, 41, 46)
    assert result.output == str(tmp_path / "out-000041-000045.pdf")
    assert counter.read_text() == "46"
    assert stamp_texts(result.output) == [f"(ACME-0000{n})" for n in range(45, 40, -1)]
    again = s.stamp(source, tmp_path / "out.pdf")
    assert (again.start, again.first) == (46, 50)


def test_paths_may_be_bytes_or_path_like_and_the_input_itself(tmp_path):
    source = Path(make_pdf(tmp_path / "in.pdf", 2))
    os.fsencode(source)
    tavrix.Stamper().stamp(os.fsencode(source), source)
    assert [t.strip().splitlines()[-1] for t in page_texts(source)] == ["Page 1 / 2", "Page 2 / 2"]


def test_incremental_keeps_the_input_bytes_and_appends_the_stamps(tmp_path):
    source = make_pdf(tmp_path / "in.pdf", 2)
    out = tmp_path / "out.pdf"
    tavrix.Stamper().stamp(source, out, incremental=True)
    before, after = Path(source).read_bytes(), out.read_bytes()
    assert after.startswith(before) and len(after) > len(before)
    assert [t.strip().splitlines()[-1] for t in page_texts(out)] == ["Page 1 / 2", "Page 2 / 2"]


def test_progress_reports_every_page_and_prints_nothing(tmp_path, capfd):
    source = make_pdf(tmp_path / "in.pdf", 13)
    seen = []
    tavrix.Stamper().stamp(source, tmp_path / "out.pdf", progress=lambda d, t: seen.append((d, t)))
    assert seen == [(k, 13) for k in range(1, 14)]
    assert capfd.readouterr() == ("", "")
