"""Stamper's settings: one keyword and attribute per member of the engine, with the engine's
defaults and meanings (read here from the command line's --help, the other surface made from
the same member table), checked types, and the type stubs."""

import ast
import pickle
import re
from pathlib import Path

import pytest
import tavrix


def snake(name):
    name = re.sub(r"(?<=[a-z0-9])(?=[A-Z])", "_", name)
    return re.sub(r"(?<=[A-Z]{2})(?=[a-z])", "_", name).lower()


@pytest.fixture(scope="module")
def members(cli):
    """(name, kind, default text, meaning) of every property, as --help lists them."""
    help_text = cli("--help").stdout.decode()
    rows = re.findall(r"^  --(\S+)\s+(number|flag|text)\s+\[(.*?)\]  (.*)$", help_text, re.M)
    assert len(rows) == 33
    return rows


def python_value(kind, text):
    return {"number": int, "flag": lambda t: t != "0", "text": str}[kind](text)


def test_every_member_is_a_keyword_and_attribute_with_its_default_and_meaning(members):
    fresh = tavrix.Stamper()
    doc = tavrix.Stamper.__doc__
    for name, kind, default, meaning in members:
        attribute = snake(name)
        assert getattr(fresh, attribute) == python_value(kind, default), attribute
        assert f"    {attribute}: " in doc and meaning in doc, attribute
        assert meaning in getattr(tavrix.Stamper, attribute).__doc__
    names = {snake(m[0]) for m in members}
    assert {"start_page", "font_size", "cmyk_color", "rom_upper", "one_page_no", "up2"} <= names


def test_keywords_attributes_copy_and_pickle_hold_the_values_set():
    s = tavrix.Stamper(prefix="Страница ", start_number=-3, reverse=True, importit=Path("/tmp/c"))
    s.cmyk_color = 0xFF000000
    s.font_size = 14
    assert (s.prefix, s.start_number, s.reverse, s.importit) == ("Страница ", -3, True, "/tmp/c")
    # Colours fill all 32 bits, as on the command line; the engine keeps the 32-bit pattern.
    assert s.cmyk_color == -0x1000000
    c = s.copy(start_number=7, reverse=False)
    assert (c.start_number, c.reverse, c.prefix, s.start_number) == (7, False, "Страница ", -3)
    back = pickle.loads(pickle.dumps(s))
    assert repr(back) == repr(s)
    assert "prefix='Страница '" in repr(s) and "font_size=14" in repr(s)


@pytest.mark.parametrize("settings, error, says", [
    ({"startPage": 2}, TypeError, "did you mean 'start_page'"),
    ({"no_such": 1}, TypeError, "unknown setting 'no_such'"),
    ({"font_size": "12"}, TypeError, "font_size takes an int"),
    ({"font_size": 2**32}, ValueError, "32 bits"),
    ({"start_page": -2**31 - 1}, ValueError, "32 bits"),
    ({"prefix": 5}, TypeError, "prefix takes a str"),
    ({"reverse": "yes"}, TypeError, "reverse takes a bool"),
])
def test_wrong_settings_are_refused_with_what_to_do(settings, error, says):
    with pytest.raises(error, match=re.escape(says)):
        tavrix.Stamper(**settings)
    s = tavrix.Stamper()
    with pytest.raises((error, AttributeError)):
        for key, value in settings.items():
            setattr(s, key, value)


def test_type_stubs_describe_every_setting(members):
    stubs = Path(tavrix.__file__).with_name("__init__.pyi").read_text()
    tree = ast.parse(stubs)
    stamper = next(n for n in tree.body if isinstance(n, ast.ClassDef) and n.name == "Stamper")
    init = next(n for n in stamper.body if isinstance(n, ast.FunctionDef) and n.name == "__init__")
    keywords = {a.arg for a in init.args.kwonlyargs}
    assert keywords == {snake(m[0]) for m in members}
    for name in ("stamp", "copy"):
        assert any(isinstance(n, ast.FunctionDef) and n.name == name for n in stamper.body)
    for name in ("page_count", "plan", "survey"):
        assert any(isinstance(n, ast.FunctionDef) and n.name == name for n in tree.body)
    assert (Path(tavrix.__file__).with_name("py.typed")).exists()
