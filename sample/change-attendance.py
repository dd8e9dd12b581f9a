#!/usr/bin/env python3
"""Changes the attendance of a built sample source, as a school's staff would during a day.

For every school of the sample it changes the codes of some attendance rows already read, blanks others
(the code and reason become ''), clears others with NULL, deletes some rows of the last --window-days days
(a deletion is only seen by a run whose overlap window holds the row's day) and adds new rows; every
changed row gets today's modification stamp and every new row today's creation stamp, so that the next
incremental attendance run carries exactly these changes. The new reason codes ("DR'S" for periods, "MED"
for days) appear nowhere else in the sample; the apostrophe is kept as it is.

    sample/change-attendance.py --json DIR/norv.json [--sqlite DIR/norv.db] [--pg-port PORT]
                                [--sql-out FILE] [--changes-out FILE] [--revert-out FILE] [--per-school N]
                                [--seed S] [--today YYYY-MM-DD] [--window-days N]

--sqlite and --pg-port apply the changes to the sample's SQLite file and to the database "norv" of the
private test server (scripts/pg-test-server.sh). --sql-out writes the statements instead (they run on both
engines). --changes-out writes the changed and new rows as JSON: a list of {"view", "kind", "row"} with the
row as column -> value after the change (for "deleted": the row that was deleted); kind is "changed",
"blanked", "nulled", "deleted" or "added". --revert-out writes the statements that take the changes back, as
the staff would correct them later the same day: every changed row gets its values back with a later
modification stamp, every deleted row comes back with one, every added row is deleted again (or, when it is
dated before the --window-days, cleared with NULL, since an older deletion is not seen).

The choice is a function of the data, the seed and today only. norv.json is not changed.
"""
import argparse
import datetime as dt
import json
import os
import random
import sqlite3
import subprocess
import sys

PERIOD = "V_VLMR_STU_PERIOD_ATTENDANCE"
DAILY = "V_VLMR_STU_DAILY_ATTENDANCE"
CODE_COLUMNS = {PERIOD: ["absent_code", "reason_code"],
                DAILY: ["am_attendance_score", "reason_code_am", "pm_attendance_score", "reason_code_pm"]}


def sql_literal(value):
    if value is None:
        return "NULL"
    return "'" + str(value).replace("'", "''") + "'"


def key_columns(view):
    return ["pupil_number", "school", "absent_date"] + (["period"] if view == PERIOD else [])


def where_key(view, row):
    return " AND ".join("%s = %s" % (c, sql_literal(row[c])) for c in key_columns(view))


def update_statement(view, old, new):
    sets = ", ".join("%s = %s" % (c, sql_literal(new[c])) for c in new if new[c] != old[c])
    return "UPDATE %s SET %s WHERE %s;" % (view, sets, where_key(view, old))


def delete_statement(view, old):
    return "DELETE FROM %s WHERE %s;" % (view, where_key(view, old))


def insert_statement(view, _old, row):
    columns = list(row)
    return "INSERT INTO %s (%s) VALUES (%s);" % (
        view, ", ".join(columns), ", ".join(sql_literal(row[c]) for c in columns))


class Changer:
    def __init__(self, doc, seed, per_school, today, window_days):
        self.rng = random.Random(seed)
        self.per_school = per_school
        self.today = today
        self.window_start = (today - dt.timedelta(days=window_days)).isoformat()
        self.views = {}
        for view in (PERIOD, DAILY):
            columns = [c["name"] for c in doc["views"][view]["columns"]]
            self.views[view] = [dict(zip(columns, row)) for row in doc["views"][view]["rows"]]
        self.schools = [s["number"] for s in doc["schools"]]
        self.statements = []
        self.reverts = []
        self.changes = []
        self.seconds = 0

    def stamp(self):
        # Today in the morning, a second apart, never midnight.
        self.seconds += 1
        moment = dt.datetime.combine(self.today, dt.time(9, 0)) + dt.timedelta(seconds=self.seconds)
        return moment.strftime("%Y-%m-%d %H:%M:%S")

    def sent_before_today(self, row):
        # Rows the previous runs have read: created (or modified) before today, on a past school day.
        day = self.today.isoformat()
        return row["absent_date"] < day and row["create_date"] < day and (row["mod_date"] or "") < day

    def update(self, view, old, new, kind):
        self.statements.append(update_statement(view, old, new))
        back = dict(old, mod_date=None)  # stamped when the reverts are made, after every change
        self.reverts.append((update_statement, view, new, back))
        self.changes.append(dict(view=view, kind=kind, row=new))

    def delete(self, view, old):
        self.statements.append(delete_statement(view, old))
        self.reverts.append((insert_statement, view, None, dict(old, mod_date=None)))
        self.changes.append(dict(view=view, kind="deleted", row=old))

    def insert(self, view, row):
        self.statements.append(insert_statement(view, None, row))
        if row["absent_date"] >= self.window_start:
            self.reverts.append((lambda v, old, new: delete_statement(v, old), view, row, None))
        else:
            # A deletion older than the overlap window is not seen: the absence is cleared instead.
            cleared = dict(row, **{c: None for c in CODE_COLUMNS[view]})
            self.reverts.append((update_statement, view, row, dict(cleared, mod_date=None)))
        self.changes.append(dict(view=view, kind="added", row=row))

    def revert_statements(self):
        statements = []
        for make, view, old, new in self.reverts:
            if new is not None:
                new["mod_date"] = self.stamp()
            statements.append(make(view, old, new))
        return statements

    def run(self):
        for school in self.schools:
            for view in (PERIOD, DAILY):
                rows = [r for r in self.views[view] if r["school"] == school and self.sent_before_today(r)]
                if not rows:
                    continue
                picked = self.rng.sample(rows, min(len(rows), 3 * self.per_school))
                for n, old in enumerate(picked):
                    new = dict(old)
                    new["mod_date"] = self.stamp()
                    # changed, then blanked with '', then cleared with NULL (one value to the extractor)
                    kind = ("changed", "blanked", "nulled")[min(n // self.per_school, 2)]
                    cleared = {"blanked": "", "nulled": None}.get(kind, "")
                    if view == PERIOD:
                        if kind != "changed":
                            new["absent_code"], new["reason_code"] = cleared, cleared
                        else:
                            new["absent_code"] = "L" if old["absent_code"] == "A" else "A"
                            new["reason_code"] = "" if n % 2 == 0 else "DR'S"
                    else:
                        part = "am" if old["am_attendance_score"] is not None else "pm"
                        score, reason = part + "_attendance_score", "reason_code_" + part
                        if kind != "changed":
                            new[score], new[reason] = cleared, cleared
                        else:
                            new[score] = "L" if old[score] == "A" else "A"
                            new[reason] = "" if n % 2 == 0 else "MED"
                    self.update(view, old, new, kind)
                taken = {id(r) for r in picked}
                recent = [r for r in rows if id(r) not in taken and r["absent_date"] >= self.window_start]
                for old in self.rng.sample(recent, min(len(recent), self.per_school)):
                    self.delete(view, old)
                self.add_rows(view, school, rows)
        return self

    def add_rows(self, view, school, rows):
        taken = {tuple(r[c] for c in key_columns(view)) for r in self.views[view]}
        days = sorted({r["absent_date"] for r in rows})
        pupils = sorted({r["pupil_number"] for r in rows})
        added = 0
        for _ in range(200):
            if added == self.per_school:
                break
            row = {c: None for c in self.views[view][0]}
            row.update(pupil_number=self.rng.choice(pupils), school=school, absent_date=self.rng.choice(days),
                       create_date=self.stamp(), mod_date=None)
            if view == PERIOD:
                row.update(period=self.rng.choice(["1", "2"]), absent_code="A", reason_code="")
            else:
                row.update(am_attendance_score="A", reason_code_am="", pm_attendance_score=None, reason_code_pm=None)
            key = tuple(row[c] for c in key_columns(view))
            if key in taken:
                continue
            taken.add(key)
            self.insert(view, row)
            added += 1


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--json", required=True, help="the sample's norv.json")
    p.add_argument("--sqlite", help="apply the changes to this SQLite sample database")
    p.add_argument("--pg-port", help="apply the changes to the database norv of the test server on this port")
    p.add_argument("--sql-out", help="write the statements to this file ('-' for standard output)")
    p.add_argument("--changes-out", help="write the changed and new rows as JSON to this file")
    p.add_argument("--revert-out", help="write the statements that take the changes back to this file")
    p.add_argument("--per-school", type=int, default=3,
                   help="rows changed, blanked, cleared with NULL, deleted and added per school and view")
    p.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    p.add_argument("--today", help="the day of the changes, YYYY-MM-DD (default: today)")
    p.add_argument("--window-days", type=int, default=14,
                   help="deleted rows are of this many days before today (default 14, the default overlap)")
    args = p.parse_args(argv)
    today = dt.date.fromisoformat(args.today) if args.today else dt.date.today()
    with open(args.json, encoding="utf-8") as f:
        doc = json.load(f)
    changer = Changer(doc, args.seed, args.per_school, today, args.window_days).run()
    script = "\n".join(changer.statements) + "\n"

    if args.sql_out == "-":
        sys.stdout.write(script)
    elif args.sql_out:
        with open(args.sql_out, "w", encoding="utf-8") as f:
            f.write(script)
    if args.revert_out:
        with open(args.revert_out, "w", encoding="utf-8") as f:
            f.write("\n".join(changer.revert_statements()) + "\n")
    if args.changes_out:
        with open(args.changes_out, "w", encoding="utf-8") as f:
            json.dump(changer.changes, f, ensure_ascii=False)
    if args.sqlite:
        con = sqlite3.connect(args.sqlite)
        con.executescript("BEGIN;\n" + script + "COMMIT;\n")
        con.close()
    if args.pg_port:
        here = os.path.dirname(os.path.abspath(__file__))
        env = dict(os.environ, NORV_PG_PORT=args.pg_port)
        subprocess.run([os.path.join(os.path.dirname(here), "scripts", "pg-test-server.sh"), "psql", "-d", "norv"],
                       input=("BEGIN;\n" + script + "COMMIT;\n").encode("utf-8"), env=env, check=True)
    count = lambda *kinds: sum(c["kind"] in kinds for c in changer.changes)
    sys.stderr.write("%d attendance rows changed, %d deleted, %d added\n" % (
        count("changed", "blanked", "nulled"), count("deleted"), count("added")))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
