#!/usr/bin/env python3
"""Compares two output folders of norv-extract byte for byte, allowing only what is bound to the moment
of the run, for compare_outputs.sh.

    compare_folders.py BASELINE_FOLDER NEW_FOLDER

Compared: every file of the folders (Norv.CDE, the .cef tables, the update files, SchoolConfig.xml and
anything else a run leaves there, in subfolders too), byte for byte, and the attendance cache
(Attendance/Attendance.db) by its content: the rows of each table, in key order, and its schema.

Not compared (masked), because they say when the run was:
  - the status files (Data ExtractorStatus.tmp, BridgeStatus.tmp, finished_bridge.tmp, finished.tmp), the
    lock file (.norv-extract.lock) and the log files (*.log);
  - the names of the update files "Update yyyyMMddhhmmss.CDU": they are paired by their order;
  - in Norv.CDE, the update files and the tables: the value of the lines "// Generated : ...",
    '#pragma update "..."' and '#pragma exportdate "..."', and of the lines "//  Start: ...",
    "//  End: ..." and "//  Difference: ..." of the closing "//  Timing" block (the run's clock times and
    its duration);
  - in SchoolConfig.xml: the values of UpdateDateValue and UpdateDateTimeValue;
  - the cache file's bytes (its page layout), not its rows;
  - the cache's bookkeeping tables (PENDING_UPDATE, PENDING_SENT, HELD_GONE) while they hold no row: a build
    that keeps them and one that does not hold the same attendance.
Prints one line per difference with a unified diff of the masked text (at most 40 lines per file) and
exits 1 when there is any; prints the number of files compared and exits 0 when there is none.
"""
import difflib
import os
import re
import sqlite3
import sys

BOOKKEEPING = {"PENDING_UPDATE", "PENDING_SENT", "HELD_GONE"}
STATUS = {"Data ExtractorStatus.tmp", "BridgeStatus.tmp", "finished_bridge.tmp", "finished.tmp",
          ".norv-extract.lock"}
UPDATE = re.compile(r"^Update \d{14}\.CDU$")
CACHE = os.path.join("Attendance", "Attendance.db")
MASKS = [
    (re.compile(rb"^(// Generated :).*?(\r?)$", re.M), rb"\1 <masked>\2"),
    (re.compile(rb'^(#pragma update ")[^"]*(")', re.M), rb"\1<masked>\2"),
    (re.compile(rb'^(#pragma exportdate ")[^"]*(")', re.M), rb"\1<masked>\2"),
    (re.compile(rb"^(//  (?:Start|End|Difference):).*?(\r?)$", re.M), rb"\1 <masked>\2"),
    (re.compile(rb'(UpdateDateValue=")[^"]*(")'), rb"\1<masked>\2"),
    (re.compile(rb'(UpdateDateTimeValue=")[^"]*(")'), rb"\1<masked>\2"),
]


def files(folder):
    """Relative path -> key under which it is compared (update files by their order)."""
    found = []
    for root, dirs, names in os.walk(folder):
        dirs.sort()
        for name in sorted(names):
            path = os.path.relpath(os.path.join(root, name), folder)
            if name in STATUS or name.endswith(".log") or path == CACHE or path.startswith(CACHE + "-"):
                continue
            found.append(path)
    keys, updates = {}, 0
    for path in found:
        head, name = os.path.split(path)
        if UPDATE.match(name):
            updates += 1
            keys[os.path.join(head, "Update <%d>.CDU" % updates)] = path
        else:
            keys[path] = path
    return keys


def masked(data):
    for pattern, replacement in MASKS:
        data = pattern.sub(replacement, data)
    return data


def cache_content(folder):
    path = os.path.join(folder, CACHE)
    if not os.path.exists(path):
        return None
    con = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
    con.text_factory = bytes
    lines = []
    for name, sql in con.execute("SELECT name, sql FROM sqlite_master ORDER BY type, name"):
        if name.decode() in BOOKKEEPING and not con.execute('SELECT 1 FROM "%s" LIMIT 1' % name.decode()).fetchone():
            continue
        lines.append(b"schema: " + (sql or b""))
        if sql and sql.upper().startswith(b"CREATE TABLE"):
            table = name.decode()
            columns = [row[1] for row in con.execute('PRAGMA table_info("%s")' % table)]
            order = ", ".join('"%s"' % c.decode() for c in columns)
            for row in con.execute('SELECT * FROM "%s" ORDER BY %s' % (table, order)):
                lines.append(table.encode() + b": " + repr(row).encode())
    con.close()
    return lines


def show(name, old, new):
    diff = list(difflib.unified_diff([l.decode("latin-1") for l in old], [l.decode("latin-1") for l in new],
                                     "baseline/" + name, "new/" + name, lineterm="", n=1))
    for line in diff[:40]:
        print("    " + line.rstrip("\r\n"))
    if len(diff) > 40:
        print("    ... %d more diff lines" % (len(diff) - 40))


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    old_folder, new_folder = argv
    old, new = files(old_folder), files(new_folder)
    differences = 0
    for key in sorted(set(old) | set(new)):
        if key not in new or key not in old:
            print("  DIFFERENT: %s only in the %s output" % (key, "baseline" if key in old else "new"))
            differences += 1
            continue
        with open(os.path.join(old_folder, old[key]), "rb") as f:
            a = masked(f.read())
        with open(os.path.join(new_folder, new[key]), "rb") as f:
            b = masked(f.read())
        if a != b:
            print("  DIFFERENT: %s (baseline %s, new %s)" % (key, old[key], new[key]))
            show(key, a.splitlines(keepends=True), b.splitlines(keepends=True))
            differences += 1
    a, b = cache_content(old_folder), cache_content(new_folder)
    if a != b:
        print("  DIFFERENT: the content of %s" % CACHE)
        show(CACHE, [l + b"\n" for l in a or []], [l + b"\n" for l in b or []])
        differences += 1
    if differences:
        return 1
    print("  identical: %d files%s" % (len(old), ", and the cache's rows" if a is not None else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
