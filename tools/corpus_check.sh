#!/usr/bin/env bash
# Runs tavrix over a folder of real PDF files and checks every output with independent tools:
#  - objects: every object the input has in use is in the output, as qpdf --show-xref lists them
#    (object streams excepted: their members become plain objects; so are cross-reference
#    streams, which the output's table replaces, and objects that qpdf itself reads as null);
#  - qpdf --check finds the output no worse than the input (errors > warnings > clean);
#  - the stamp: every page k of N shows "Page k / N" in poppler (pdftotext) or in MuPDF
#    (mutool draw -F txt). With --fliph 1 and a left-aligned stamp, the text starts 20 points
#    from the right edge and runs past it by design: there the page must show one "Page" more
#    than the input's page does. With --startPage 100000 nothing is stamped and the text of the
#    whole document must be unchanged. A page too small to hold the stamp where it is placed
#    (under 80 x 30 points) is counted apart.
# Usage: tools/corpus_check.sh FOLDER [TAVRIX [extra tavrix options...]]
# With a MANIFEST.tsv in FOLDER (columns file ... encrypted qpdf_check ...), its verdicts are
# shown beside refused files. Prints one line per file that fails or is refused, and a summary.
set -u
dir=${1:?folder of PDF files}
tavrix=${2:-$(dirname "$0")/../build/tavrix}
shift 2 2>/dev/null || shift $#
extra=("$@")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
pass=0 fail=0 refused=0 small=0
col() { awk -F'\t' -v f="$1" -v c="$2" 'NR==1{for(i=1;i<=NF;i++) if($i==c) k=i; next} $1==f{print $k}' "$dir/MANIFEST.tsv" 2>/dev/null; }

# The object numbers a file has in use, one a line, sorted: qpdf's reading of its
# cross-reference data, less the object streams that hold compressed objects.
objects_in_use() {
  qpdf --show-xref "$1" 2>/dev/null | awk -F'[/:;=,]' '
    /: uncompressed;/ { used[$1] = 1 }
    /: compressed;/   { used[$1] = 1; container[$5 + 0] = 1 }
    END { for (n in used) if (!((n + 0) in container)) print n + 0 }' | sort -n
}

# Of the numbers on standard input (objects of $1), those that hold something the output must
# keep: not null to qpdf, not an object stream, not a cross-reference stream.
kept_objects() {
  while read -r n; do
    qpdf --show-object="$n" "$1" 2>/dev/null | head -c 4000 |
      grep -qE '^null$|/Type /(ObjStm|XRef)' || echo "$n"
  done
}

# Whether page $2 of $1 is too small for the stamp: under 80 x 30 points, either way round.
page_too_small() {
  pdfinfo -f "$2" -l "$2" "$1" 2>/dev/null | awk -v k="$2" '
    $1 == "Page" && $2 == k && $3 == "size:" {
      w = $4; h = $6; if (w < h) { t = w; w = h; h = t }
      exit !(w < 80 || h < 30) }
    END { }' 
}

# qpdf --check as a level: 0 clean, 1 warnings, 2 errors.
qpdf_level() {
  qpdf --check "$1" >/dev/null 2>&1
  case $? in 0) echo 0 ;; 3) echo 1 ;; *) echo 2 ;; esac
}

# The text of page $2 of $1 in MuPDF.
mupdf_page() { timeout 60 mutool draw -q -F txt -o - "$1" "$2" 2>/dev/null; }

# How the stamp must read: the whole text, or (a left-aligned stamp placed from the right edge)
# its first word.
mode=full
opts=" ${extra[*]} "
if [[ $opts == *" --fliph 1 "* && ! $opts =~ " --align "(right|center) ]]; then mode=cut; fi
[ "${extra[*]}" = "--startPage 100000" ] && mode=unchanged

for pdf in "$dir"/*.pdf; do
  name=$(basename "$pdf")
  res="$out/$name"
  timeout 120 "$tavrix" "${extra[@]}" "$pdf" "$res" >"$out/stdout" 2>"$out/stderr"
  rc=$?
  if [ $rc -ne 0 ]; then
    if [ $rc -eq 1 ] && grep -q "Stamp file issue" "$out/stderr" && [ ! -e "$res" ]; then
      echo "REFUSED $name (encrypted=$(col "$name" encrypted) qpdf=$(col "$name" qpdf_check)): $(tail -n 1 "$out/stderr")"
      refused=$((refused+1))
    else
      echo "FAIL $name: exit $rc $(head -c 200 "$out/stderr")"; fail=$((fail+1))
    fi
    rm -f "$res"
    continue
  fi
  problems=""

  missing=$(comm -23 <(objects_in_use "$pdf" | sort) <(objects_in_use "$res" | sort) | sort -n |
    kept_objects "$pdf")
  [ -z "$missing" ] || problems+=" objects-missing($(echo "$missing" | wc -l): $(echo "$missing" | head -5 | tr '\n' ' '))"

  lin=$(qpdf_level "$pdf"); lout=$(qpdf_level "$res")
  [ "$lout" -le "$lin" ] || problems+=" qpdf-check($lin->$lout)"

  pin=$(qpdf --show-npages "$pdf" 2>/dev/null); pout=$(qpdf --show-npages "$res" 2>/dev/null)
  [ "$pin" = "$pout" ] || problems+=" pages($pin->$pout)"

  timeout 120 pdftotext -q "$pdf" "$out/a.txt" 2>/dev/null
  timeout 120 pdftotext -q "$res" "$out/b.txt" 2>/dev/null
  if [ $mode = unchanged ]; then
    cmp -s "$out/a.txt" "$out/b.txt" || problems+=" text"
  elif [ -n "$pout" ]; then
    # Pages whose stamp poppler does not show, then asked of MuPDF one by one.
    if [ $mode = full ]; then
      unseen=$(awk -v n="$pout" 'BEGIN{RS="\f"} NR<=n && index($0, "Page " NR " / " n)==0 {print NR}' "$out/b.txt")
    else
      unseen=$(awk -v n="$pout" 'BEGIN{RS="\f"}
        function count(t,  c) { c = 0; while ((i = index(t, "Page")) > 0) { c++; t = substr(t, i + 4) } return c }
        FNR==NR { before[FNR] = count($0); next }
        FNR<=n && count($0) <= before[FNR] {print FNR}' "$out/a.txt" "$out/b.txt")
    fi
    nomupdf=0
    for k in $unseen; do
      if page_too_small "$res" "$k"; then small=$((small+1)); continue; fi
      text=$(mupdf_page "$res" "$k" | tr -s ' \n' '  ')
      if [ $mode = full ]; then
        [[ $text == *"Page $k / $pout"* ]] || nomupdf=$((nomupdf+1))
      else
        before=$(mupdf_page "$pdf" "$k" | grep -o "Pag" | wc -l)
        [ "$(grep -o "Pag" <<<"$text" | wc -l)" -gt "$before" ] || nomupdf=$((nomupdf+1))
      fi
    done
    [ "$nomupdf" = 0 ] || problems+=" stamp-missing-on-$nomupdf-pages"
  fi
  if [ -z "$problems" ]; then pass=$((pass+1)); else echo "FAIL $name:$problems"; fail=$((fail+1)); fi
  rm -f "$res"
done
[ $small = 0 ] || echo "($small pages too small for the stamp were not looked at)"
echo "$pass passed, $fail failed, $refused refused"
