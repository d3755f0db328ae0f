"""Page numbers, Bates numbers and short labels on existing PDF files.

    import tavrix
    tavrix.Stamper(prefix="Seite ", sep=" von ").stamp("in.pdf", "out.pdf")

Stamper holds the settings (one keyword or attribute per setting; help(tavrix.Stamper) lists
them with their defaults), stamp() numbers one file and returns a StampResult, page_count()
counts pages, and plan() gives every file of a list the numbers a run of the files one after
another would give it, so that any executor (threads, processes, a cluster) can stamp them in
any order. Failures raise StampError with the reason in plain words. Nothing is printed.
"""

from ._types import PageSurvey, PlannedFile, StampError, StampResult
from ._tavrix import Stamper, page_count, plan, survey, __version__

__all__ = [
    "Stamper",
    "StampError",
    "StampResult",
    "PageSurvey",
    "PlannedFile",
    "page_count",
    "plan",
    "survey",
    "__version__",
]
