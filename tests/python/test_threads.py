"""Threads: the GIL is released while a file is stamped, and files stamped on many threads at
once come out as when stamped one after another (shared font table, font choice, progress)."""

import os
import subprocess
import sys
import textwrap
from concurrent.futures import ThreadPoolExecutor

import tavrix
from conftest import comparable_objects, make_pdf, stamp_texts


def test_the_gil_is_released_while_a_file_is_stamped(tmp_path):
    # The run writes into a FIFO, whose opening waits until the main thread opens the other
    # end: with the GIL held by the stamping thread, the main thread never could. Run in a
    # child so that a held GIL shows as a timeout, not as a test run that never ends.
    source = make_pdf(tmp_path / "in.pdf", 3)
    fifo = tmp_path / "out.fifo"
    os.mkfifo(fifo)
    script = textwrap.dedent(f"""
        import threading, tavrix
        results = []
        t = threading.Thread(target=lambda: results.append(
            tavrix.Stamper().stamp({str(source)!r}, {str(fifo)!r})))
        t.start()
        with open({str(fifo)!r}, "rb") as f:
            data = f.read()
        t.join()
        assert data.startswith(b"%PDF-") and b"(Page 3 / 3) Tj" in data, data[:100]
        print(results[0].pages)
    """)
    child = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                           timeout=60)
    assert child.returncode == 0, child.stderr
    assert child.stdout.strip() == "3"


def test_files_stamped_on_threads_equal_files_stamped_one_after_another(tmp_path):
    sources = [make_pdf(tmp_path / f"in{k}.pdf", 1 + k % 5, label=f"File {k}") for k in range(24)]
    stampers = [tavrix.Stamper(), tavrix.Stamper(prefix="Страница ", sep=" из "),
                tavrix.Stamper(prefix="第 ", sep=" / ", font="Noto Sans CJK SC"),
                tavrix.Stamper(rom=True, reverse=True, font="Times-Roman")]
    work = [(k, stampers[k % len(stampers)]) for k in range(len(sources))]

    def one(item, folder, progress=None):
        k, stamper = item
        return stamper.stamp(sources[k], folder / f"out{k}.pdf", progress=progress)

    (tmp_path / "one").mkdir()
    (tmp_path / "many").mkdir()
    expected = [one(item, tmp_path / "one") for item in work]
    pages_seen = []
    with ThreadPoolExecutor(8) as pool:
        results = list(pool.map(lambda item: one(item, tmp_path / "many",
                                                 lambda d, t: pages_seen.append(t)), work))
    assert [(r.pages, r.first, r.last) for r in results] == \
        [(r.pages, r.first, r.last) for r in expected]
    assert len(pages_seen) == sum(r.pages for r in results)
    for k in range(len(sources)):
        assert comparable_objects(tmp_path / "many" / f"out{k}.pdf") == \
            comparable_objects(tmp_path / "one" / f"out{k}.pdf"), k
        assert len(stamp_texts(tmp_path / "many" / f"out{k}.pdf")) == results[k].pages
