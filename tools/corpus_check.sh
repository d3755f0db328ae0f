#!/usr/bin/env bash
# Runs tavrix over a folder of real PDF files and checks every output with independent tools:
# qpdf --check, the page count, and pdftotext of the whole document against the input's.
# Usage: tools/corpus_check.sh FOLDER [TAVRIX [extra tavrix options...]]
# With a MANIFEST.tsv in FOLDER (columns file ... encrypted qpdf_check ...), the expected
# verdicts are read from it. Prints one line per file and a summary.
set -u
dir=${1:?folder of PDF files}
tavrix=${2:-$(dirname "$0")/../build/tavrix}
shift 2 2>/dev/null || shift $#
extra=("$@")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
pass=0 fail=0 refused=0
col() { awk -F'\t' -v f="$1" -v c="$2" 'NR==1{for(i=1;i<=NF;i++) if($i==c) k=i; next} $1==f{print $k}' "$dir/MANIFEST.tsv" 2>/dev/null; }
for pdf in "$dir"/*.pdf; do
  name=$(basename "$pdf")
  enc=$(col "$name" encrypted); verdict=$(col "$name" qpdf_check)
  res="$out/$name"
  timeout 60 "$tavrix" "${extra[@]}" "$pdf" "$res" >"$out/stdout" 2>"$out/stderr"
  rc=$?
  if [ $rc -ne 0 ]; then
    if [ $rc -eq 1 ] && grep -q "Stamp file issue" "$out/stderr" && [ ! -e "$res" ]; then
      echo "REFUSED $name (encrypted=$enc qpdf=$verdict)"; refused=$((refused+1))
    else
      echo "FAIL $name: exit $rc $(head -c 200 "$out/stderr")"; fail=$((fail+1))
    fi
    continue
  fi
  problems=""
  qpdf --check "$res" >"$out/check" 2>&1 || { [ $? -eq 3 ] && problems+=" qpdf-warnings" || problems+=" qpdf-check"; }
  pin=$(qpdf --show-npages "$pdf" 2>/dev/null); pout=$(qpdf --show-npages "$res" 2>/dev/null)
  [ "$pin" = "$pout" ] || problems+=" pages($pin->$pout)"
  if [ "${extra[*]}" = "--startPage 100000" ]; then
    # Nothing stamped: the text of the whole document must be unchanged.
    timeout 60 pdftotext -q "$pdf" "$out/a.txt" 2>/dev/null; timeout 60 pdftotext -q "$res" "$out/b.txt" 2>/dev/null
    cmp -s "$out/a.txt" "$out/b.txt" || problems+=" text"
  elif [ ${#extra[@]} -eq 0 ]; then
    # Default stamp: "Page k / N" on every page k whose text can be extracted at all.
    timeout 120 pdftotext -q "$pdf" "$out/a.txt" 2>/dev/null; timeout 120 pdftotext -q "$res" "$out/b.txt" 2>/dev/null
    missing=$(awk -v n="$pout" 'BEGIN{RS="\f"} NR<=n && index($0, "Page " NR " / " n)==0 {m++} END{print m+0}' "$out/b.txt")
    [ "$missing" = 0 ] || problems+=" stamp-missing-on-$missing-pages"
  fi
  if [ -z "$problems" ]; then pass=$((pass+1)); else echo "FAIL $name:$problems"; fail=$((fail+1)); fi
  rm -f "$res"
done
echo "$pass passed, $fail failed, $refused refused"
