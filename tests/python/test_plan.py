"""tavrix.plan gives every file of a list the numbers of the command line's run one file after
another, so that files stamped in any order, on any number of threads, show exactly those."""

import random
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest
import tavrix
from conftest import make_pdf, stamp_texts

SETTINGS = [
    ("counter", [], {}),
    ("nth and reverse", ["--nth", "3", "--reverse", "1"], {"nth": 3, "reverse": True}),
    ("two-up, later start", ["--up2", "1", "--startPage", "2"], {"up2": True, "start_page": 2}),
    ("nth in sequence", ["--nth", "2", "--seq", "1", "--mask", "3"],
     {"nth": 2, "seq": True, "mask": 3}),
]


def mixed_list(folder):
    """Files of several page counts, a damaged file and a missing one, one file twice."""
    folder.mkdir()
    names = []
    for name, pages in [("a", 7), ("b", 1), ("bad", 0), ("c", 12), ("missing", -1), ("d", 4),
                        ("a", 7), ("e", 2)]:
        path = folder / f"{name}.pdf"
        if pages > 0:
            make_pdf(path, pages, label=name)
        elif pages == 0:
            path.write_bytes(b"%PDF-1.4\nnot really\n%%EOF\n")
        names.append(f"{folder.name}/{name}.pdf")
    return names


@pytest.mark.parametrize("name, options, settings", SETTINGS, ids=[s[0] for s in SETTINGS])
def test_plan_gives_the_numbers_of_a_run_one_file_after_another(tmp_path, cli, name, options,
                                                                  settings):
    files = mixed_list(tmp_path / "in")
    (tmp_path / "list.txt").write_text("".join(f + "\n" for f in files))
    (tmp_path / "counter").write_text("100")
    (tmp_path / "seq" / "in").mkdir(parents=True)
    run = cli("--importit", "counter", "--exportit", "counter", *options, "list.txt", "-fseq",
              cwd=tmp_path)
    assert run.returncode == 0, run.stderr

    (tmp_path / "mine").write_text("100")
    stamper = tavrix.Stamper(importit=tmp_path / "mine", exportit=tmp_path / "mine", **settings)
    paths = [tmp_path / f for f in files]
    planned = tavrix.plan(paths, stamper, jobs=3)
    assert [p.error is None for p in planned] == \
        [True, True, False, True, False, True, True, True]
    assert planned[-1].counter == int((tmp_path / "counter").read_text())

    # Stamped in a shuffled order on threads, each from its planned start.
    (tmp_path / "par").mkdir()
    order = [k for k, p in enumerate(planned) if p.error is None]
    random.Random(7).shuffle(order)

    def stamp(k):
        copy = stamper.copy(start_number=planned[k].start, importit="", exportit="")
        return k, copy.stamp(paths[k], tmp_path / "par" / f"{k}.pdf")

    with ThreadPoolExecutor(3) as pool:
        results = dict(pool.map(stamp, order))
    last_output = {}
    for k in sorted(order):
        last_output[files[k]] = tmp_path / "par" / f"{k}.pdf"
        assert (results[k].first, results[k].last) == (planned[k].first, planned[k].last)
    for listed, output in last_output.items():
        # Listed twice, the file's output holds the second run's numbers in both runs.
        assert stamp_texts(output) == stamp_texts(tmp_path / "seq" / listed), listed


def test_surveys_made_elsewhere_give_the_same_plan(tmp_path):
    files = [tmp_path / f for f in mixed_list(tmp_path / "in")]
    stamper = tavrix.Stamper(start_number=5, reverse=True)
    surveys = []
    for f in files:
        try:
            surveys.append(tavrix.survey(f))
        except tavrix.StampError as error:
            surveys.append(error)
    assert tavrix.plan(files, stamper, surveys=surveys) == tavrix.plan(files, stamper)
    assert [s.pages for s in surveys if isinstance(s, tavrix.PageSurvey)] == [7, 1, 12, 4, 7, 2]
    assert tavrix.page_count(files[0]) == 7
    # Without a counter every file starts from start_number.
    assert {p.start for p in tavrix.plan(files, stamper)} == {5}


def test_plan_refuses_what_it_cannot_use(tmp_path):
    with pytest.raises(tavrix.StampError, match="cannot open"):
        tavrix.plan([], tavrix.Stamper(importit=tmp_path / "missing"))
    with pytest.raises(ValueError, match="one entry per file"):
        tavrix.plan(["a.pdf", "b.pdf"], tavrix.Stamper(), surveys=[None])
    with pytest.raises(TypeError):
        tavrix.plan(["a.pdf"], tavrix.Stamper(), surveys=[3])
    assert tavrix.plan(["a.pdf"], tavrix.Stamper(), surveys=[None])[0].error
