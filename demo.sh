#!/usr/bin/env bash
# Installs what is missing, builds norv-extract, builds the SQLite sample of a Norv source and extracts one
# school from it into demo-output/extract, then shows what the extraction left there.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target norv-extract

out=$PWD/demo-output
rm -rf "$out"
mkdir -p "$out"
echo "== building the sample source in $out/source"
sample/build-sample.sh --out "$out/source"
# unixODBC reads user DSNs from the file ODBCINI names; the sample's DSN "NorvSQLite" is read-only.
export ODBCINI=$out/source/odbc.ini

echo "== build/norv-extract test --group=school (DSN NorvSQLite, school 1021)"
# The SQLite DSN ignores the login, but the connection settings require a user and a password.
build/norv-extract test --group=school --dsn=NorvSQLite --user=demo --pwd=demo --school=1021

echo "== build/norv-extract run --dsn=NorvSQLite --school=1021 --path=$out/extract"
set +e
build/norv-extract run --dsn=NorvSQLite --user=demo --pwd=demo --school=1021 --path="$out/extract" \
    --log=consoleoff
code=$?
set -e
echo "== exit code: $code"

echo "== files written into $out/extract"
(cd "$out/extract" && find . -type f -printf '%10s  %P\n' | sort -k2)
echo "== the tables listed in Norv.CDE, in run order, with their lines"
if [ -f "$out/extract/Norv.CDE" ]; then
    tr -d '\r' < "$out/extract/Norv.CDE" | awk -v dir="$out/extract" '
        /^\/\/ / { title = substr($0, 4) }
        /^#include "/ {
            file = $0; sub(/^#include "/, "", file); sub(/"$/, "", file)
            lines = 0; while ((getline line < (dir "/" file)) > 0) lines++; close(dir "/" file)
            printf "%-28s %-24s %6d lines\n", title, file, lines
        }'
fi
echo "== first lines of Students.cef (TAB-separated, Windows-1252)"
if [ -f "$out/extract/Students.cef" ]; then
    head -n 5 "$out/extract/Students.cef" | iconv -f WINDOWS-1252 -t UTF-8 | tr '\t' '|'
fi
echo "== Data ExtractorStatus.tmp"
cat "$out/extract/Data ExtractorStatus.tmp"
if [ "$code" -ne 0 ]; then
    echo "The extraction failed (exit code $code); the reason is in the log file above." >&2
    exit "$code"
fi
