#!/bin/sh
# Builds the Debian package from the build folder, unpacks it into a temporary root as dpkg would
# lay it out, and uses what it installed: the manual pages, tavrix --help, a machine-wide
# registration (what the package's postinst does) and a stamping run that relies on it alone.
# Usage: package_test.sh BUILD_FOLDER SAMPLE_PDF
set -eu
build=$1
sample=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -B "$work/package" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/package/*.deb)
dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"
root=$work/root
tavrix=$root/usr/bin/tavrix

[ -x "$tavrix" ] || fail "no tavrix in the package"
# Every program has its manual page (the window is left out of builds without Qt).
for program in "$root"/usr/bin/*; do
    page=$(basename "$program")
    [ -s "$root/usr/share/man/man1/$page.1" ] || fail "no manual page $page.1"
done
# The text libraries are loaded at run time, not linked: the package must still depend on them.
for package in libharfbuzz0b libharfbuzz-subset0 libfribidi0 libfontconfig1 libfreetype6; do
    grep '^Depends:' "$work/control/control" | grep -q "$package (" || fail "the package does not depend on $package"
done
grep -q 'tavrix --register --system' "$work/control/postinst" || fail "postinst does not register"
grep -q 'tavrix --unregister --system' "$work/control/prerm" || fail "prerm does not unregister"
# Every program of the package finds its libraries inside the package.
for program in "$root"/usr/bin/*; do
    if ldd "$program" | grep -q 'not found'; then ldd "$program"; fail "$program misses a library"; fi
done

# A file in the working folder named like a library is never loaded in place of the real one,
# by the package's programs or by the build's (the Python module included).
lure=$work/lure
mkdir "$lure"
for lib in libc.so.6 libstdc++.so.6 libz.so.1 libtavrixrt.so libtavrix.so; do echo junk >"$lure/$lib"; done
for program in "$tavrix" "$build/tavrix"; do
    (cd "$lure" && "$program" --help >/dev/null 2>&1) || fail "$program loads libraries from the working folder"
done
for package in "$root/usr/lib/python3/dist-packages" "$build/python"; do
    [ -d "$package/tavrix" ] && [ -x /usr/bin/python3 ] || continue
    (cd "$lure" && PYTHONPATH="$package" /usr/bin/python3 -c "import tavrix" 2>/dev/null) ||
        fail "the Python module in $package loads libraries from the working folder"
done

# A user without a registration of their own, on a machine where the package registered the
# engine for everybody. The runtime finds the system file from where it is installed.
export TAVRIX_REGISTRY="$work/home/registry"
unset TAVRIX_SYSTEM_REGISTRY
"$tavrix" --help >"$work/help.txt" || fail "tavrix --help"
# The manual page names every option that --help lists.
for option in $(grep -o -- '^  --[A-Za-z0-9]*' "$work/help.txt"); do
    grep -q -- "$(echo "$option" | sed 's/-/\\\\-/g')" "$root/usr/share/man/man1/tavrix.1" ||
        fail "tavrix.1 does not describe $option"
done
"$tavrix" --register --system >"$work/register.txt" || fail "tavrix --register --system"
grep -q "in $root/usr/etc/tavrix/registry" "$work/register.txt" || fail "system registry: $(cat "$work/register.txt")"
[ ! -e "$TAVRIX_REGISTRY" ] || fail "the user's registry was written"
"$tavrix" --prefix "Seite " "$sample" "$work/out.pdf" >/dev/null || fail "stamping run"
qpdf --check "$work/out.pdf" >/dev/null || fail "qpdf --check of the output"
pdftotext "$work/out.pdf" - | grep -q "Seite 1 / " || fail "no stamp in the output"
# The Python package, where Debian's Python finds it, stamps without any registration.
if [ -d "$root/usr/lib/python3/dist-packages/tavrix" ] && [ -x /usr/bin/python3 ]; then
    PYTHONPATH="$root/usr/lib/python3/dist-packages" /usr/bin/python3 -c \
        "import sys, tavrix; tavrix.Stamper(prefix='Seite ').stamp(sys.argv[1], sys.argv[2])" \
        "$sample" "$work/python.pdf" || fail "the Python package does not stamp"
    pdftotext "$work/python.pdf" - | grep -q "Seite 1 / " || fail "no stamp from the Python package"
fi
"$tavrix" --unregister --system >/dev/null || fail "tavrix --unregister --system"
if "$tavrix" "$sample" "$work/again.pdf" 2>/dev/null; then fail "ran without a registration"; fi
echo "package test passed: $(basename "$deb")"
