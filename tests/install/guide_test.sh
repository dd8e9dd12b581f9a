#!/bin/sh
# The built user guide is a real, paged PDF whose text holds the title and every section title of
# its Markdown source, so a guide that lost its fonts, its headings or its pages is caught.
# Usage: guide_test.sh GUIDE.pdf GUIDE.md
set -eu
pdf=$1
md=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

for tool in pdfinfo pdftotext; do
  command -v "$tool" >/dev/null || fail "$tool is missing (poppler-utils, scripts/install-deps.sh)"
done
[ -s "$pdf" ] || fail "$pdf was not built"

pages=$(pdfinfo "$pdf" | sed -n 's/^Pages: *//p')
[ "${pages:-0}" -gt 1 ] || fail "$pdf has ${pages:-no} pages"

# Compare with blanks collapsed: the PDF breaks and spaces lines its own way.
text=$(pdftotext -enc UTF-8 "$pdf" - | tr -s ' \n\f' '  ')
titles=$(sed -n 's/^#\{1,3\} //p' "$md")
[ -n "$titles" ] || fail "$md has no section titles"
missing=0
echo "$titles" | while IFS= read -r title; do
  case "$text" in
    *"$title"*) ;;
    *) echo "FAIL: section title not in the PDF text: $title" >&2; exit 1 ;;
  esac
done || missing=1
[ $missing -eq 0 ] || exit 1
echo "ok: $pages pages, $(echo "$titles" | wc -l) section titles"
