#!/usr/bin/env python3
"""The SQL statements of a run, taken from its log file, for the floors of the benchmarks.

    bench_statements.py sent LOG
        every statement the run sent to its source, one a line, in order: the Proprietary lines of the log
        are Base64 and hold the text after the method; existence probes and catalogue reads carry a label
        before the statement. This is what the same-statement floor runs.
    bench_statements.py job TABLE_LOG [ATTENDANCE_LOG]
        the statements of the job floor: the table statements of the full extraction that wrote TABLE_LOG
        (its data statements: no existence probe and no catalogue read, each distinct statement once),
        then one statement per attendance view reading every row that the attendance pass of the run that
        wrote ATTENDANCE_LOG read: its statements on that view (the change window, the overlap window)
        joined into one with OR. With TABLE_LOG "-" only the attendance statements.
    bench_statements.py complete TABLE_LOG [ATTENDANCE_LOG]
        the statements of the job floor, tagged for the complete floor (norv_complete_floor): "S" before the
        included students' statement, "T" before every other table statement, "A", the cache table and the
        header of its key column before each attendance statement; fields separated by TAB. With TABLE_LOG
        "-" the included students' statement comes from ATTENDANCE_LOG.
"""
import base64
import re
import sys

LABELS = ("Table Exists query:", "Field Exists query:", "Columns query:")
CATALOGUE = re.compile(r"\b(all_tab_columns|pragma_table_info|syscolumns|information_schema)\b", re.I)
ATTENDANCE = re.compile(r"\bFROM (V_VLMR_STU_PERIOD_ATTENDANCE|V_VLMR_STU_DAILY_ATTENDANCE)\b", re.I)
# The included students: the statement of the demographics view that selects the pupil number and the
# columns of the student conditions only.
STUDENTS = re.compile(r"^SELECT (\w+)\.pupil_number, \1\.school, \1\.registered_indicator, \1\.withdraw_date "
                      r"FROM V_VLMR_STU_DEMOGRAPHIC \1 WHERE ", re.I)
# The attendance cache table and key column header of each attendance view.
CACHE = {"V_VLMR_STU_PERIOD_ATTENDANCE": ("PERIOD_ATT", "AttPerRef"),
         "V_VLMR_STU_DAILY_ATTENDANCE": ("DAILY_ATT", "AttTimeFrameRef")}


def sent(log):
    """Every statement of the log, with whether it was a probe (labelled)."""
    result = []
    for raw in open(log, encoding="utf-8", errors="replace"):
        raw = raw.rstrip("\r\n")
        if not raw.startswith("proprietary:"):
            continue
        line = base64.b64decode(raw[len("proprietary:"):]).decode("utf-8", "replace")
        # name:hh:mm:ss: <level name, 13 characters> method: message
        rest = line.partition(": ")[2]
        message = rest[14:].partition(": ")[2]
        probe = False
        for label in LABELS:
            if message.startswith(label):
                message = message[len(label):]
                probe = True
        if message.lstrip().upper().startswith("SELECT"):
            result.append((" ".join(message.split()), probe))
    return result


def joined(statements):
    """One statement reading the rows of all of STATEMENTS, which differ in their conditions after the
    first (the school's)."""
    if len(statements) == 1:
        return statements[0]
    heads, rests = set(), []
    for statement in statements:
        head, where, conditions = statement.partition(" WHERE ")
        first, _, rest = conditions.partition(" AND ")
        if not where or not rest:
            sys.exit("bench_statements.py: cannot join: " + statement)
        heads.add((head, first))
        rests.append(rest)
    if len(heads) != 1:
        sys.exit("bench_statements.py: attendance statements of one view differ before their windows")
    head, first = heads.pop()
    return "%s WHERE %s AND (%s)" % (head, first, " OR ".join("(%s)" % rest for rest in rests))


def job_tagged(table_log, attendance_log=None):
    """The job floor's statements as (tag, statement) pairs: ("S", ...), ("T", ...), ("A\tTABLE\tHEADER", ...)."""
    result, seen = [], set()
    if table_log != "-":
        for statement, probe in sent(table_log):
            if probe or CATALOGUE.search(statement) or ATTENDANCE.search(statement) or statement in seen:
                continue
            seen.add(statement)
            result.append(("S" if STUDENTS.search(statement) else "T", statement))
    if attendance_log:
        views = {}
        for statement, probe in sent(attendance_log):
            match = ATTENDANCE.search(statement)
            if match and not probe:
                views.setdefault(match.group(1).upper(), []).append(statement)
            elif table_log == "-" and not probe and STUDENTS.search(statement) and statement not in seen:
                seen.add(statement)
                result.append(("S", statement))
        for view, statements in views.items():
            result.append(("A\t%s\t%s" % CACHE[view], joined(statements)))
    return result


def job(table_log, attendance_log=None):
    for tag, statement in job_tagged(table_log, attendance_log):
        if tag != "S" or table_log != "-":
            print(statement)


def complete(table_log, attendance_log=None):
    for tag, statement in job_tagged(table_log, attendance_log):
        print("%s\t%s" % (tag, statement))


def main(argv):
    if len(argv) == 2 and argv[0] == "sent":
        for statement, _ in sent(argv[1]):
            print(statement)
    elif len(argv) in (2, 3) and argv[0] == "job":
        job(*argv[1:])
    elif len(argv) in (2, 3) and argv[0] == "complete":
        complete(*argv[1:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
