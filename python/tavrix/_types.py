"""The values the extension hands back, as plain dataclasses (they pickle, so they travel
between processes and cluster workers)."""

from dataclasses import dataclass


class StampError(Exception):
    """A file could not be stamped.

    `reason` says what went wrong and what to do, in plain words (the text the command line
    prints after "tavrix: "); `message` is the engine's fixed result text ("Stamp file issue");
    `path` is the file the call was given. `kind` says when another try can succeed:
    "password" (the file is encrypted: give its password), "owner-password" (it opened, but
    changes need its owner's password), "repair" (its cross-reference data is damaged: pass
    repair=True), or None.
    """

    def __init__(self, reason, message="Stamp file issue", path="", kind=None):
        super().__init__(reason)
        self.reason = reason
        self.message = message
        self.path = path
        self.kind = kind

    def __reduce__(self):
        return (StampError, (self.reason, self.message, self.path, self.kind))


@dataclass(frozen=True)
class StampResult:
    """What stamp() did: the page total shown, the number the file started from, the numbers on
    the first and the last stamped page (None when no page was stamped), the value a counter
    file gets (`next`), and where the output ended after renaming."""

    input: str
    output: str
    pages: int
    start: int
    first: "int | None"
    last: "int | None"
    next: int


@dataclass(frozen=True)
class PageSurvey:
    """What numbering needs to know of a file: its page total and the positions (1-based) of
    the pages a run meets. survey() makes one; plan() takes them."""

    pages: int
    positions: "tuple[int, ...]"


@dataclass(frozen=True)
class PlannedFile:
    """One file of a plan: the number its run starts from, the numbers it shows on its first
    and last stamped page, its page total, and the counter's value after it, all as a run of
    the files one after another gives them. A file that does not open has `error` set; its run
    fails and moves no number."""

    path: str
    start: int
    first: "int | None"
    last: "int | None"
    pages: "int | None"
    counter: "int | None"
    error: "str | None"
