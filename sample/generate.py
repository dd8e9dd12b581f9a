#!/usr/bin/env python3
"""Generates the sample Norv source database: the same seeded data as an SQLite file, as a PostgreSQL load
script (DDL and COPY blocks for psql) and as JSON that tests read to compute expected output on their own.

  generate.py --sqlite FILE [--postgres FILE] [--json FILE] [--students N] [--seed S] [--year Y]
              [--as-of YYYY-MM-DD]
  generate.py --schema sqlite|postgres      prints the DDL only

The data are a function of (seed, students, year, as-of) alone. The school year defaults to the one
running today (July boundary, as the extractor computes it), so that the extractor finds its year; pass
--year for a fixed data set. Attendance and entered marks stop at --as-of (default: the last school day).

Standard library only.
"""

import argparse
import datetime as dt
import json
import math
import os
import random
import sqlite3
import sys
import unicodedata

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import norv_schema  # noqa: E402

D = dt.date

# --------------------------------------------------------------------------------------------------
# Name and value pools. Windows-1252 letters (é ü ö ñ ø Š Œ ...), letters outside it (Ł ś ễ ć),
# apostrophes, hyphens, and one name stored decomposed (e + combining acute) so that NFC matters.

SURNAMES = [
    "Smith", "O'Brien", "Tremblay", "Gagnon", "Côté", "Bouchard", "Lévesque", "Nguyễn", "Wiśniewski",
    "Łukaszewicz", "Müller", "Schröder", "D'Souza", "MacDonald", "Chen", "Singh", "Patel", "Kowalski",
    "García", "Núñez", "Ødegaard", "Šimić", "Brown", "Wilson", "Martin", "Roy", "Lee", "Wong", "Björklund",
    "Dubé", "Bélanger", "Hébert", "Lachance", "Ste-Marie", "Van der Berg", "Kasprzak", "Beaulieu",
    "Okonkwo", "Fitzgerald", "Crête", "Thériault", "Moreau", "Œttinger", "Żak", "Campbell", "Ahmed",
]
FIRST_F = [
    "Émilie", "Zoë", "Chloé", "Renée", "Anaïs", "Łucja", "Siobhán", "Marie-Ève", "Olivia", "Emma", "Mia",
    "Ava", "Sofia", "Charlotte", "Aaliyah", "Niamh", "Ana", "Ingrid", "Maëlle", "Hélène", "Priya", "Mei",
]
FIRST_M = [
    "François", "José", "Jürgen", "Noël", "Mathéo", "Søren", "Seán", "Liam", "Noah", "Aiden", "Ethan",
    "Lucas", "Benjamin", "Mohammed", "Jean-Luc", "Łukasz", "Zoltán", "Björn", "Raúl", "Thomas", "Arjun",
]
STREETS = [
    "Main St", "King St W", "Rue de l'Église", "O'Connor Dr", "Lasalle Blvd", "Notre Dame Ave",
    "Chemin du Lac-Ramsey", "Paris St", "Regent St", "Montée Ste-Thérèse", "Kingsway", "Howey Dr",
]
TOWNS = ["Sudbury", "Val Caron", "Chelmsford", "Hanmer", "Lively", "Azilda", "Val Thérèse", "Garson"]
LANGS = ["English", "French", "Français", "Polish", "Vietnamese", "Punjabi", "Ojibwe", "Cree"]
HOSPITALS = ["Health Sciences North", "Hôpital régional de Sudbury", "St. Joseph's Health Centre"]
ALLERGIES = ["Peanuts", "Bee stings\tsevere", "Penicillin\r\nLatex", "Tree nuts, shellfish", "Asthma - inhaler",
             "Lactose", "Épinéphrine auto-injector (EpiPen)"]
RELATIONS = ["Aunt", "Uncle", "Grandmother", "Grandfather", "Neighbour", "Family Friend", "Grand-mère"]
PARENT_TYPES_F = ["Mother", "Stepmother", "Guardian", "Mère"]
PARENT_TYPES_M = ["Father", "Stepfather", "Guardian", "Père"]
MAKES = [("Honda", "Civic"), ("Toyota", "Corolla"), ("Ford", "F-150"), ("Subaru", "Outback"),
         ("Škoda", "Octavia"), ("Chevrolet", "Equinox")]
COLOURS = ["Blue", "Red", "Silver", "Black", "White", "Gris métallique"]


def phone(rng, area="705"):
    """A phone number in one of the many shapes people type."""
    a, b, c = area, "%03d" % rng.randint(200, 989), "%04d" % rng.randint(0, 9999)
    shapes = [
        "(%s) %s-%s" % (a, b, c), "%s-%s-%s" % (a, b, c), "%s.%s.%s" % (a, b, c), "%s%s%s" % (a, b, c),
        "%s-%s" % (b, c), "+1 %s %s %s" % (a, b, c), "1-%s-%s-%s" % (a, b, c),
        "%s %s %s ext. %d" % (a, b, c, rng.randint(1, 999)), " (%s)%s-%s " % (a, b, c),
        "+33 1 42 68 %02d %02d" % (rng.randint(0, 99), rng.randint(0, 99)), "%s %s" % (b, c),
    ]
    return rng.choice(shapes)


def maybe(rng, p, value, absent=None):
    return value if rng.random() < p else absent


def blank(rng):
    """An absent text: mostly NULL, sometimes the empty string (the extractor reads both as empty)."""
    return "" if rng.random() < 0.25 else None


def postal(rng):
    letters = "ABCEGHJKLMNPRSTVXY"
    code = "P%d%s %d%s%d" % (rng.randint(0, 9), rng.choice(letters), rng.randint(0, 9), rng.choice(letters),
                             rng.randint(0, 9))
    r = rng.random()
    return code.replace(" ", "") if r < 0.1 else code.lower() if r < 0.15 else code


# --------------------------------------------------------------------------------------------------
# The school year: Ontario-style calendar, holidays, rotation days.

def nth_weekday(year, month, weekday, n):
    d = D(year, month, 1)
    d += dt.timedelta(days=(weekday - d.weekday()) % 7)
    return d + dt.timedelta(weeks=n - 1)


def easter(year):
    a, b, c = year % 19, year // 100, year % 100
    d, e = b // 4, b % 4
    f = (b + 8) // 25
    g = (b - f + 1) // 3
    h = (19 * a + b - d - g + 15) % 30
    i, k = c // 4, c % 4
    l_ = (32 + 2 * e + 2 * i - h - k) % 7
    m = (a + 11 * h + 22 * l_) // 451
    month = (h + l_ - 7 * m + 114) // 31
    day = (h + l_ - 7 * m + 114) % 31 + 1
    return D(year, month, day)


def school_days(year, extra_off):
    """The school days of the school year that starts in September of year."""
    first = nth_weekday(year, 9, 0, 1) + dt.timedelta(days=1)  # the Tuesday after Labour Day
    last = D(year + 1, 6, 27)
    while last.weekday() >= 5:
        last -= dt.timedelta(days=1)
    off = set(extra_off)
    off.add(nth_weekday(year, 10, 0, 2))  # Thanksgiving
    d = D(year, 12, 22)
    while d <= D(year + 1, 1, 2):
        off.add(d)
        d += dt.timedelta(days=1)
    off.add(nth_weekday(year + 1, 2, 0, 3))  # Family Day
    march = nth_weekday(year + 1, 3, 0, 2)
    off.update(march + dt.timedelta(days=i) for i in range(5))  # March break
    e = easter(year + 1)
    off.update([e - dt.timedelta(days=2), e + dt.timedelta(days=1)])
    victoria = D(year + 1, 5, 24)
    while victoria.weekday() != 0:
        victoria -= dt.timedelta(days=1)
    off.add(victoria)
    days, d = [], first
    while d <= last:
        if d.weekday() < 5 and d not in off:
            days.append(d)
        d += dt.timedelta(days=1)
    return days


def last_on_or_before(days, limit):
    return max(d for d in days if d <= limit)


def first_on_or_after(days, limit):
    return min(d for d in days if d >= limit)


# --------------------------------------------------------------------------------------------------

SCHOOLS = [
    # number, long names (a duplicated number gets two rows), attendance type, alternate period,
    # grades, rotation days, bell by grade, share of students
    dict(number="1021", names=["Maple Ridge Secondary School"], att="P", alt="N",
         grades=["09", "10", "11", "12"], rotation=["1", "2", "3", "4"], bell_by_grade=True, share=0.55,
         periods=["1", "2", "3", "4"], bad_day="5", area="705"),
    dict(number="875", names=["École élémentaire Saint-Étienne"], att="D", alt="Y",
         grades=["JK", "SK", "01", "02", "03", "04", "05", "06", "07", "08"],
         rotation=["1", "2", "3", "4", "5", "6"], bell_by_grade=False, share=0.35,
         periods=["1", "2", "3", "4", "5"], bad_day="7", area="705"),
    dict(number="2040", names=["Northview Adult Learning Centre", "Northview Adult Learning Centre (Annex)"],
         att="D", alt="N", grades=["11", "12"], rotation=["A"], bell_by_grade=False, share=0.10,
         periods=["1", "2"], bad_day="1", area="249"),
]


class Generator:
    def __init__(self, seed, students, year, as_of):
        self.rng = random.Random(seed)
        self.seed, self.n_students, self.year = seed, students, year
        self.rows = {name: [] for name, _ in norv_schema.VIEWS}
        self.cols = {name: [c for c, _ in cols] for name, cols in norv_schema.VIEWS}
        self.days = {}
        self.prev_days = {}
        for i, s in enumerate(SCHOOLS):
            pd_day = nth_weekday(year, 10 + (i % 2), 4, 1 + i)  # a professional development day
            self.days[s["number"]] = school_days(year, [pd_day])
            self.prev_days[s["number"]] = school_days(year - 1, [])
        last = max(max(d) for d in self.days.values())
        self.as_of = as_of or last
        self.next_section = 5000
        self.staff = {}
        self.sections = {}

    def add(self, view, **values):
        unknown = set(values) - set(self.cols[view])
        if unknown:
            raise KeyError("%s: %s" % (view, sorted(unknown)))
        # Stored as the text every writer uses, so dates are formatted once.
        self.rows[view].append([text_value(values.get(c)) for c in self.cols[view]])

    # ---------------------------------------------------------------------------------------------
    def run(self):
        for s in SCHOOLS:
            for name in s["names"]:
                self.add("V_VLMR_SCHOOL", school=s["number"], long_name=name, attendance_type=s["att"],
                         alternate_period_attendance=s["alt"])
        for s in SCHOOLS:
            self.attendance_codes(s)
            self.bells(s)
            self.calendar(s)
            self.tumble(s)
            self.reporting_periods(s)
            self.make_staff(s)
        self.itinerant_staff()
        for s in SCHOOLS:
            self.make_sections(s)
        self.make_students()
        self.full_extract_cases()
        return self

    # ---------------------------------------------------------------------------------------------
    # Rows that make each rule of the full extraction visible whatever the random draws gave. They come
    # last and draw nothing from the random generator, so the data above do not depend on them.

    def full_extract_cases(self):
        school = SCHOOLS[0]["number"]
        registered = [r for r in self.rows["V_VLMR_STU_DEMOGRAPHIC"]
                      if r[self.cols["V_VLMR_STU_DEMOGRAPHIC"].index("school")] == school
                      and r[self.cols["V_VLMR_STU_DEMOGRAPHIC"].index("registered_indicator")] == "R"]
        first, second = (r[self.cols["V_VLMR_STU_DEMOGRAPHIC"].index("pupil_number")] for r in registered[:2])
        # Work phones with and without extension, an extension without phone, and a parent known by
        # surname only (the contact key starts with a blank).
        for first_name, work, ext in (("Ann", "555-1234", "12"), (None, None, "12"), ("Ann", "555-1234", None)):
            self.add("V_VLMR_STU_CONTACT_PARENTS", pupil_number=first, par_surname="Lee", par_first_name=first_name,
                     parent_type_desc="Guardian", work_phone=work, work_extention=ext, unlisted=1,
                     emergency_contact="N")
        # One emergency contact of two students.
        for pupil in (first, second):
            self.add("V_VLMR_EMERGENCY_CONTACTS", pupil_number=pupil, em_surname="Okafor", em_first_name="Grace",
                     relationship_desc="Neighbour", HOME_PHONE="705-555-0101", WORK_PHONE="705-555-0102",
                     WORK_PHONE_EXT="7", language_code="EN", CALL_SEQUENCE=9)
        # A vehicle without colour.
        teacher = self.teachers[school][0]
        self.add("V_VLMR_TEACHER_VEHICLES", teach_id=teacher, SCHOOL_school=school, VEH_make="Honda",
                 VEH_model="Civic", VEH_year=2005, VEH_colour="", VEH_licence_number="BCDF 123")

    def attendance_codes(self, s):
        french = s["number"] == "875"
        codes = [
            ("A", "Absence non motivée" if french else "Absent", "Absent - Unexcused"),
            ("A", "Absence non motivée" if french else "Absent", "Absent - Unexcused"),  # DISTINCT folds it
            ("ILL", "Maladie" if french else "Illness", "Absent - Excused"),
            ("APPT", "Rendez-vous" if french else "Appointment", "Absent - Excused"),
            ("L", "Retard" if french else "Late", "Late"),
            ("LE", "Retard motivé" if french else "Late - Excused", "Late - Excused"),
            ("FT", "Sortie éducative" if french else "Field Trip", "Present"),
            ("SUS", "Suspension", "absent"),
            ("O", "Other", ""),
            ("X", "Unknown", None),
        ]
        for code, desc, sub in codes:
            self.add("V_VLMR_ATTENDANCE_CODE", SCHOOL=s["number"], ATTENDANCE_CODE=code, ATTENDANCE_DESC=desc,
                     SUB_ALLOCATION_CODE=sub)

    def bells(self, s):
        starts = ["08:45", "10:05", "11:25", "12:50", "14:10"]
        ends = ["10:00", "11:20", "12:10", "14:05", "15:20"]
        if s["bell_by_grade"]:
            for g in s["grades"]:
                shift = 5 if g == "09" else 0
                for i, p in enumerate(s["periods"]):
                    st = "%s:%02d" % (starts[i][:2], int(starts[i][3:]) + shift)
                    self.add("V_VLMR_PERIOD_STAR_TEND", school=s["number"], grade=g, grade_desc="Grade %s" % g,
                             period=p, start_time=st, end_time=ends[i])
        else:
            for i, p in enumerate(s["periods"]):
                # The blank key of a single bell schedule is NULL on one row and '' on the others.
                self.add("V_VLMR_PERIOD_STAR_TEND", school=s["number"], grade=None if i == 0 else "",
                         grade_desc="Horaire régulier" if s["number"] == "875" else "Regular Day",
                         period=p, start_time=starts[i], end_time=ends[i])

    def calendar(self, s):
        rot = s["rotation"]
        # The last weeks of the previous year come first, so a query that forgets the year sees them.
        prev = self.prev_days[s["number"]][-10:]
        for i, d in enumerate(prev):
            self.add("V_VLMR_ATTENDANCE_CYCLES", school=s["number"], school_year=self.year - 1, effective_date=d,
                     day=rot[i % len(rot)], cycle=str(40 + i // len(rot)))
        for i, d in enumerate(self.days[s["number"]]):
            self.add("V_VLMR_ATTENDANCE_CYCLES", school=s["number"], school_year=self.year, effective_date=d,
                     day=rot[i % len(rot)], cycle=str(i // len(rot) + 1))

    def tumble(self, s):
        rot, periods = s["rotation"], s["periods"]
        for year, shift in ((self.year - 1, 1), (self.year, 0)):
            for pi, p in enumerate(periods):
                values = {"D%d" % (di + 1): str((pi + di + shift) % len(periods) + 1) for di in range(len(rot))}
                self.add("V_VLMR_CURRENT_YEAR_CALENDAR", school=s["number"], year=year, period=p, **values)
        if len(rot) > 2:
            # An assembly slot on days 1 and 3 only: D2 stays empty.
            self.add("V_VLMR_CURRENT_YEAR_CALENDAR", school=s["number"], year=self.year, period="9", D1="1",
                     D3="4")

    def reporting_periods(self, s):
        idx = SCHOOLS.index(s) + 1
        days = self.days[s["number"]]
        y = self.year
        start, end = days[0], days[-1]
        sem1_end = last_on_or_before(days, D(y + 1, 1, 31))
        sem2_start = first_on_or_after(days, D(y + 1, 2, 1))
        mid1 = last_on_or_before(days, D(y, 11, 15))
        mid2 = last_on_or_before(days, D(y + 1, 4, 15))
        self.semesters = getattr(self, "semesters", {})
        self.semesters[s["number"]] = dict(start=start, end=end, sem1_end=sem1_end, sem2_start=sem2_start,
                                           mid1=mid1, mid2=mid2)
        if s["number"] == "875":
            periods = [("Bulletin de progrès", start, mid1), ("Bulletin 1", start, sem1_end),
                       ("Bulletin 2", sem2_start, end)]
        else:
            periods = [("Semester 1 Midterm", start, mid1), ("Semester 1 Final", start, sem1_end),
                       ("Semester 2 Midterm", sem2_start, mid2), ("Semester 2 Final", sem2_start, end)]
        # Last year's periods come first; their marks belong to last year's sections.
        for n, (name, a, b) in enumerate(periods, 1):
            self.add("V_VLMR_REPORTING_PERIOD", id=idx * 100 + 50 + n, school=s["number"], long_name=name,
                     marking_start_date=a.replace(year=a.year - 1), marking_end_date=b.replace(year=b.year - 1))
        ids = []
        for n, (name, a, b) in enumerate(periods, 1):
            self.add("V_VLMR_REPORTING_PERIOD", id=idx * 100 + n, school=s["number"], long_name=name,
                     marking_start_date=a, marking_end_date=b)
            ids.append((idx * 100 + n, a, b))
        # A period no mark refers to.
        self.add("V_VLMR_REPORTING_PERIOD", id=idx * 100 + 9, school=s["number"], long_name="Summer School",
                 marking_start_date=D(y + 1, 7, 6), marking_end_date=D(y + 1, 7, 31))
        self.report_ids = getattr(self, "report_ids", {})
        self.report_ids[s["number"]] = ids

    # ---------------------------------------------------------------------------------------------
    def person_name(self, female=None):
        rng = self.rng
        if female is None:
            female = rng.random() < 0.5
        first = rng.choice(FIRST_F if female else FIRST_M)
        if first == "Renée" and rng.random() < 0.5:
            first = unicodedata.normalize("NFD", first)
        return female, first

    def staff_row(self, school, teach_id, last, first, second, contacts, female):
        rng = self.rng
        area = school["area"]
        base = dict(
            teach_id=teach_id, school_school=school["number"],
            teach_name_prefix=rng.choice((["Mrs.", "Ms.", "Mme"] if female else ["Mr.", "M."]) + ["Dr.", None]),
            teach_last_name=last, teach_first_name=first, teach_second_name=second,
            teach_sex="F" if female else "M",
            teach_birth_date=D(self.year - rng.randint(24, 63), rng.randint(1, 12), rng.randint(1, 28)),
            teach_address=maybe(rng, 0.8, "%d %s\r\n%s ON  %s" % (rng.randint(1, 2999), rng.choice(STREETS),
                                                                 rng.choice(TOWNS), postal(rng))),
            teach_PHONE=phone(rng, area), teach_CELL_PHONE=maybe(rng, 0.7, phone(rng, area), blank(rng)),
            teach_EMAIL_ADDRESS=maybe(rng, 0.9, "%s.%s@norv-schools.example" % (
                ascii_fold(first).lower(), ascii_fold(last or "staff").lower())),
            teach_PAGER_NO=maybe(rng, 0.1, phone(rng, area)),
            teach_WORK_PHONE=maybe(rng, 0.8, "705-555-%04d x%d" % (rng.randint(0, 9999), rng.randint(100, 399))),
            teach_VOICEMAIL=maybe(rng, 0.3, "%d" % rng.randint(2000, 2999)),
            medical_HEALTH_FACTOR_CODE=maybe(rng, 0.2, rng.choice(["HF1", "HF2", "DIAB"])),
            medical_HEALTH_INSURANCE=maybe(rng, 0.7, rng.choice(["Sun Life #%06d" % rng.randint(0, 999999),
                                                                  "Manulife\t%06d" % rng.randint(0, 999999)])),
            medical_VALID_FIRST_AID=rng.choice(["Y", "N", None]),
            medical_TRANSPORT_PERMISSION=rng.choice(["Y", "N", blank(rng)]),
            medical_APPROVAL_DATE=maybe(rng, 0.6, D(self.year, rng.randint(8, 12), rng.randint(1, 28))),
            medical_EXPIRE_DATE=maybe(rng, 0.5, D(self.year + rng.randint(1, 3), rng.randint(1, 12), 1)),
            medical_DOCTOR_NAME=maybe(rng, 0.7, "Dr. %s %s" % (self.person_name()[1], rng.choice(SURNAMES))),
            medical_DOCTOR_PHONE=maybe(rng, 0.6, phone(rng, area)),
        )
        if not contacts:
            self.add("V_VLMR_TEACH_CONTACTS_MEDICAL", **base)
        for cid, name in contacts:
            self.add("V_VLMR_TEACH_CONTACTS_MEDICAL", contacts_id=cid, contacts_CONTACT_NAME=name,
                     contacts_CONTACT_HOME_PHONE=phone(rng, area),
                     contacts_CONTACT_WORK_PHONE=maybe(rng, 0.5, phone(rng, area), blank(rng)), **base)

    def make_staff(self, s):
        rng = self.rng
        n_students = max(1, round(self.n_students * s["share"]))
        n_teachers = max(4, math.ceil(n_students / 14))
        ids = []
        for i in range(n_teachers + 2):
            teach_id = "E%05d" % (10000 + len(self.staff) * 7 + rng.randint(0, 6))
            while teach_id in self.staff:
                teach_id = "E%05d" % (int(teach_id[1:]) + 1)
            female, first = self.person_name()
            last = rng.choice(SURNAMES)
            second = maybe(rng, 0.5, self.person_name(female)[1], blank(rng))
            if i == 1:
                # A supply teacher known by first name only. Empty rather than NULL: the teacher list sorts
                # empty last names last with a CASE on '', and NULLs sort differently in the two engines.
                last, second = "", ""
            contacts = [("C%06d" % rng.randint(0, 999999), "%s %s" % (self.person_name()[1], rng.choice(SURNAMES)))
                        for _ in range(rng.choice([0, 1, 1, 2]))]
            if i == 0:
                # Two contacts: two rows of the staff view for one teacher.
                contacts = [("C%06d" % rng.randint(0, 999999), "Pat O'Neil"),
                            ("C%06d" % rng.randint(0, 999999), "Łucja Kowalski")]
            self.staff[teach_id] = (s["number"], last, first)
            self.staff_row(s, teach_id, last, first, second, contacts, female)
            ids.append(teach_id)
            for _ in range(rng.choice([0, 0, 1, 1, 2])):
                make, model = rng.choice(MAKES)
                self.add("V_VLMR_TEACHER_VEHICLES", teach_id=teach_id, SCHOOL_school=s["number"], VEH_make=make,
                         VEH_model=model, VEH_year=rng.randint(1998, self.year + 1),
                         VEH_colour=rng.choice(COLOURS + [None, ""]),
                         VEH_licence_number=maybe(rng, 0.95, "".join(rng.choice("ABCDEFGHJKLMNPRSTVWXYZ")
                                                                     for _ in range(4)) + " %03d" % rng.randint(0, 999)),
                         VEH_parking_space_number=maybe(rng, 0.6, str(rng.randint(1, 120))))
        # A row without a staff number: listed by no teacher list.
        self.staff_row(s, None, "Vacant", "Position", None, [], False)
        self.teachers = getattr(self, "teachers", {})
        self.teachers[s["number"]] = ids

    def itinerant_staff(self):
        """One teacher works at the first two schools (a row in each); one teacher of the third school is
        the homeroom teacher of students of the first (their school's staff list does not have him)."""
        a, b = SCHOOLS[0], SCHOOLS[1]
        teach_id = "E09999"
        female, first = self.person_name(True)
        for s in (a, b):
            self.staff_row(s, teach_id, "Saint-Onge", first, None, [("C000777", "Luc Saint-Onge")], female)
        self.staff[teach_id] = (a["number"], "Saint-Onge", first)
        self.teachers[a["number"]].append(teach_id)
        self.teachers[b["number"]].append(teach_id)
        self.outsider = self.teachers[SCHOOLS[2]["number"]][0]

    # ---------------------------------------------------------------------------------------------
    def section(self, s, year, code, title, sem, term, start, stop, day, period, credit):
        self.next_section += self.rng.randint(1, 3)
        sid = self.next_section
        self.add("V_VLMR_COURSE_SECT_MAINT", id=sid, school=s["number"], year=year, course_code=code, title=title,
                 teacher_id=self.rng.choice(self.teachers[s["number"]]), start_date=start, stop_date=stop,
                 semester=sem, term=term, day=day, period=period,
                 room_long_name=maybe(self.rng, 0.9, "Room %d%02d" % (self.rng.randint(1, 3), self.rng.randint(1, 40))),
                 credit_value=credit)
        self.sections[sid] = dict(school=s["number"], year=year, code=code, sem=sem, term=term, start=start,
                                  stop=stop)
        return sid

    def make_sections(self, s):
        sem = self.semesters[s["number"]]
        y = self.year
        secondary = s["number"] != "875"
        credit = "1.00" if secondary else None
        catalogue = {}
        # Last year's sections first: a query that forgets the year condition picks their dates.
        prev = {}
        for g in s["grades"]:
            ps, pe = self.prev_days[s["number"]][0], self.prev_days[s["number"]][-1]
            prev[g] = [self.section(s, y - 1, "HR%s" % g, "Homeroom %s" % g, 0, 0, ps, pe, "0", s["periods"][0],
                                    credit),
                       self.section(s, y - 1, "ENG%s" % g, "English", 1, 0, ps, D(y, 1, 31), "0", s["periods"][-1],
                                    credit)]
        subjects = ([("ENG", "English"), ("MTH", "Mathematics"), ("SNC", "Science"), ("FSF", "Core French"),
                     ("CHC", "History"), ("PPL", "Healthy Active Living"), ("AVI", "Visual Arts"),
                     ("TIJ", "Technology")] if secondary else
                    [("FSL", "Français langue seconde"), ("MUS", "Musique"), ("ART", "Arts plastiques")])
        for g in s["grades"]:
            hr = [self.section(s, y, "HR%s" % g, "Homeroom %s" % g if secondary else "Classe-foyer %s" % g, 0, 0,
                               sem["start"], sem["end"], "0", s["periods"][0], credit)]
            courses = []
            for k, (code, title) in enumerate(subjects):
                course = "%s%s%s" % (code, g, "D1" if secondary else "")
                half = 1 + k % 2
                start, stop = (sem["start"], sem["sem1_end"]) if half == 1 else (sem["sem2_start"], sem["end"])
                day = "0"
                if code in ("SNC", "MUS"):
                    day = s["rotation"][min(1, len(s["rotation"]) - 1)] if s["number"] != "2040" else "0"
                courses.append(self.section(s, y, course, title, half, 0, start, stop, day,
                                            s["periods"][k % len(s["periods"])], credit))
            catalogue[g] = dict(hr=hr, courses=courses, prev=prev[g])
        g0 = s["grades"][-1]
        specials = [
            # a day that is not a rotation day of this school
            self.section(s, y, "RCV%s" % g0, "Credit Recovery", 2, 3, sem["sem2_start"], sem["end"], s["bad_day"],
                         s["periods"][0], "0.50" if secondary else None),
            # no term number: no reporting period
            self.section(s, y, "COP%s" % g0, "Co-operative Education", 1, None, sem["start"], sem["sem1_end"], "0",
                         s["periods"][-1], "2.00" if secondary else None),
        ]
        if secondary:
            specials.append(self.section(s, y, "PPZ%s" % g0, "Fitness Quarter", 1, 1, sem["start"], sem["mid1"],
                                         "0", s["periods"][1], "0.50"))
        catalogue[g0]["courses"].extend(specials)
        self.catalogue = getattr(self, "catalogue", {})
        self.catalogue[s["number"]] = catalogue

    # ---------------------------------------------------------------------------------------------
    def make_students(self):
        rng = self.rng
        pupil = 301000000
        # Every school gets at least one student; the largest takes up the rounding.
        counts = [max(1, round(self.n_students * s["share"])) for s in SCHOOLS]
        counts[0] = max(1, counts[0] + max(self.n_students, len(SCHOOLS)) - sum(counts))
        plan = []
        for s, n in zip(SCHOOLS, counts):
            plan += [s] * n
        rng.shuffle(plan)
        family = None
        family_left = 0
        for s in plan:
            pupil += rng.randint(1, 97)
            if family_left == 0:
                family = self.make_family(s)
                family_left = rng.choice([1, 1, 1, 2, 2, 3])
            family_left -= 1
            self.make_student(str(pupil), s, family)

    def make_family(self, s):
        rng = self.rng
        surname = rng.choice(SURNAMES)
        parents = []
        for female in (True, False):
            if rng.random() < 0.85 or not parents:
                _, first = self.person_name(female)
                last = surname if rng.random() < 0.8 else rng.choice(SURNAMES)
                if rng.random() < 0.04:
                    first = None  # only a surname is known: the contact key starts with a blank
                parents.append(dict(first=first, last=last, female=female))
        return dict(
            surname=surname, parents=parents, area=s["area"],
            street_number=rng.choice([str(rng.randint(1, 2999)), "%d%s" % (rng.randint(1, 300), rng.choice("AB"))]),
            street_name=rng.choice(STREETS), apartment=rng.choice([None] * 6 + [str(rng.randint(1, 40)), ""]),
            town=rng.choice(TOWNS), postal=postal(rng), phone=phone(rng, s["area"]),
            language=rng.choice(["English", "English", "French", "Français"]),
            emergency=[(rng.choice(SURNAMES), self.person_name()[1], rng.choice(RELATIONS))
                       for _ in range(rng.randint(1, 3))],
        )

    def make_student(self, pupil, s, fam):
        rng = self.rng
        y = self.year
        number = s["number"]
        days = self.days[number]
        female, first = self.person_name()
        grade = rng.choice(s["grades"])
        gi = s["grades"].index(grade)
        age = (14 + gi) if number == "1021" else (4 + gi) if number == "875" else rng.randint(17, 40)
        legal = fam["surname"]
        r = rng.random()
        if r < 0.02:
            legal = " %s " % legal  # stray blanks around a name
        elif r < 0.03:
            legal = legal + "\t"
        indicator, withdraw = "R", None
        r = rng.random()
        if r < 0.07:
            indicator, withdraw = "W", rng.choice([d for d in days if d <= self.as_of] or days[:1])
        elif r < 0.09:
            indicator, withdraw = "W", self.prev_days[number][-rng.randint(1, 5)]
        elif r < 0.10:
            indicator = "P"  # pre-registered for next year
        elif r < 0.12:
            withdraw = D(y - rng.randint(1, 3), 6, rng.randint(1, 28))  # came back after leaving once
        rows = [(s, indicator, withdraw, grade)]
        if number == "1021" and indicator == "R" and rng.random() < 0.02:
            # A transfer: withdrawn from this school, registered at the adult centre.
            leave = rng.choice(days[10:60])
            rows = [(s, "W", leave, grade), (SCHOOLS[2], "R", None, "12")]
        homeroom = rng.choice(self.teachers[number])
        if number == "1021" and rng.random() < 0.02:
            homeroom = self.outsider
        lockers = number == "1021"
        for school, ind, wd, gr in rows:
            self.add(
                "V_VLMR_STU_DEMOGRAPHIC", pupil_number=pupil, school=school["number"], registered_indicator=ind,
                withdraw_date=wd, legal_name=legal,
                last_name_suffix=rng.choice(["Jr.", "III"]) if rng.random() < 0.03 else blank(rng),
                surname=fam["surname"], first_name=first if rng.random() > 0.01 else "\t%s " % first,
                second_name=maybe(rng, 0.6, self.person_name(female)[1], blank(rng)),
                preferred_first_name=maybe(rng, 0.15, rng.choice(["Em", "Jo", "Lou", "Zé"])),
                sex="F" if female else "M",
                birth_date=D(y - age, rng.randint(1, 12), rng.randint(1, 28)),
                street_number=fam["street_number"], street_name=fam["street_name"], apartment=fam["apartment"],
                municipality_desc=fam["town"], province="ON" if rng.random() < 0.97 else "QC",
                postal_code=fam["postal"],
                mailing_address=maybe(rng, 0.15, "PO Box %d\r\n%s ON\r\n%s" % (rng.randint(1, 999), fam["town"],
                                                                            fam["postal"])),
                grade=gr, teacher_id=homeroom,
                councellor_id=self.teachers[number][-1] if number != "875" else None,
                locker_number=("L%03d" % rng.randint(1, 600)) if lockers else None,
                locker_combo_1=("%02d" % rng.randint(0, 39)) if lockers else None,
                locker_combo_2=("%02d" % rng.randint(0, 39)) if lockers else None,
                locker_combo_3=("%02d" % rng.randint(0, 39)) if lockers else blank(rng),
                phone=fam["phone"], phone_unlisted=rng.choice(["Y", "N", "N", "N", None]),
                language_desc=fam["language"], first_language_desc=maybe(rng, 0.8, rng.choice(LANGS)))
        self.medical(pupil)
        self.transport(pupil, rows, fam)
        self.contacts(pupil, fam)
        if indicator == "P":
            return  # nothing this year yet
        self.courses(pupil, s, grade, withdraw if indicator == "W" else None)
        if withdraw is None or indicator == "R" or withdraw >= days[0]:
            last_day = withdraw if indicator == "W" else None
            if len(rows) > 1:
                last_day = rows[0][2]
            self.attendance(pupil, s, last_day)
            if len(rows) > 1:
                self.attendance(pupil, SCHOOLS[2], None, first_day=rows[0][2] + dt.timedelta(days=1))

    def medical(self, pupil):
        rng = self.rng
        if rng.random() > 0.6:
            return
        result = rng.choice(["Pass", "Fail", None, None])
        self.add("V_VLMR_STUDENT_MEDICAL", student_pupil_number=pupil,
                 medical_health_card_no=rng.choice(["%04d-%03d-%03d-%s" % (rng.randint(0, 9999), rng.randint(0, 999),
                                                                           rng.randint(0, 999), "AB"),
                                                    "%010d" % rng.randint(0, 9999999999), None]),
                 medical_preferred_hospital=maybe(rng, 0.7, rng.choice(HOSPITALS)),
                 medical_allergies=maybe(rng, 0.4, rng.choice(ALLERGIES), blank(rng)),
                 medical_life_threatning=rng.choice(["Y", "y", "YES", "N", "N", None]),
                 medical_permission_to_transp=rng.choice(["Y", "N", None]),
                 medical_physical_exam_date=maybe(rng, 0.4, D(self.year, rng.randint(8, 12), rng.randint(1, 28))),
                 medical_physic_exam_pass_fail=result,
                 medical_athletic_status=rng.choice(["Cleared", "Restricted", None]))

    def transport(self, pupil, rows, fam):
        rng = self.rng
        if rng.random() > 0.35:
            return
        route = "R-%02d" % rng.randint(1, 40)
        bus = str(rng.randint(1000, 1999))
        desc = "%s %s" % (fam["town"], rng.choice(["North", "South", "Loop", "Express"]))
        stop = str(rng.randint(1, 90))
        where = "%s & %s" % (fam["street_name"], rng.choice(STREETS))
        trips = [("AM", route, bus, desc, stop, "07:%02d" % rng.randint(10, 59), where),
                 ("PM", route, bus, desc, stop, "15:%02d" % rng.randint(30, 59), where)]
        r = rng.random()
        if r < 0.2:
            trips[1] = ("PM", "R-%02d" % rng.randint(41, 60), str(rng.randint(2000, 2999)), "Late Run", None,
                        "16:45", None)
        elif r < 0.3:
            trips.insert(1, ("NOON", route, bus, desc, stop, "11:50", where))
        for school, ind, wd, _ in rows:
            for t in trips:
                self.add("V_VLMR_STU_TRANSPORT", pupil_number=pupil, school=school["number"],
                         registered_indicator=ind, withdraw_date=wd, stop_type=t[0], bus_route_number=t[1],
                         bus_number_id=t[2], bus_description=t[3], stop_number=t[4], stop_time=t[5], stop_desc=t[6])

    def contacts(self, pupil, fam):
        rng = self.rng
        area = fam["area"]
        address = "%s %s\r\n%s ON  %s" % (fam["street_number"], fam["street_name"], fam["town"], fam["postal"])
        # Parent data are fixed per family, so that siblings list the same contacts.
        if "parent_rows" not in fam:
            fam["parent_rows"] = []
            for p in fam["parents"]:
                work = maybe(rng, 0.6, phone(rng, area), blank(rng))
                fam["parent_rows"].append(dict(
                    par_surname=p["last"], par_first_name=p["first"],
                    parent_type_desc=rng.choice(PARENT_TYPES_F if p["female"] else PARENT_TYPES_M),
                    prefix=rng.choice((["Mrs.", "Ms.", "Mme"] if p["female"] else ["Mr.", "M."]) + ["Dr.", None]),
                    address=address, phone=fam["phone"], unlisted=rng.choice([0, 0, 0, 1, None]),
                    mobile_phone=maybe(rng, 0.7, phone(rng, area), blank(rng)), work_phone=work,
                    work_extention=rng.choice([None, None, "", str(rng.randint(1, 9999))]),
                    voice_mail=maybe(rng, 0.1, phone(rng, area)), fax_no=maybe(rng, 0.05, phone(rng, area)),
                    language_desc=fam["language"], living_with=rng.choice(["Y", "Y", "N"]),
                    emergency_contact=rng.choice(["Y", "N"])))
            fam["emergency_rows"] = []
            for n, (last, first, rel) in enumerate(fam["emergency"], 1):
                fam["emergency_rows"].append(dict(
                    em_surname=last, em_first_name=first, relationship_desc=rel,
                    address=maybe(rng, 0.5, "%d %s\r\n%s ON" % (rng.randint(1, 999), rng.choice(STREETS),
                                                                 rng.choice(TOWNS))),
                    HOME_PHONE=phone(rng, area), MOBILE_PHONE=maybe(rng, 0.6, phone(rng, area), blank(rng)),
                    WORK_PHONE=maybe(rng, 0.4, phone(rng, area)),
                    WORK_PHONE_EXT=rng.choice([None, None, "", str(rng.randint(1, 999))]),
                    PAGER=maybe(rng, 0.05, phone(rng, area)), VOICE_MAIL=maybe(rng, 0.05, phone(rng, area)),
                    FAX_NO=maybe(rng, 0.03, phone(rng, area)), language_desc=fam["language"],
                    can_pickup=rng.choice(["Y", "N"]), language_code=rng.choice(["EN", "FR", None]),
                    CALL_SEQUENCE=n))
        for row in fam["parent_rows"]:
            self.add("V_VLMR_STU_CONTACT_PARENTS", pupil_number=pupil, **row)
        for row in fam["emergency_rows"]:
            self.add("V_VLMR_EMERGENCY_CONTACTS", pupil_number=pupil, **row)

    def courses(self, pupil, s, grade, withdraw):
        rng = self.rng
        cat = self.catalogue[s["number"]][grade]
        taken = list(cat["hr"]) + [c for c in cat["courses"] if rng.random() < 0.75]
        if withdraw is not None and withdraw < self.days[s["number"]][0]:
            taken = []  # left before this year began
        if grade != s["grades"][0]:
            taken = list(cat["prev"]) + taken  # last year's sections of a returning student
        for sid in taken:
            sec = self.sections[sid]
            self.add("V_VLMR_STU_COURSE_SELECTION", pupil_number=pupil, course_code=sec["code"], timetable_id=sid)
            self.marks(pupil, s, sid, sec, withdraw)

    def marks(self, pupil, s, sid, sec, withdraw):
        rng = self.rng
        secondary = s["number"] != "875"
        if sec["year"] == self.year:
            periods = self.report_ids[s["number"]]
        else:
            periods = [(i + 50, a.replace(year=a.year - 1), b.replace(year=b.year - 1))
                       for i, a, b in self.report_ids[s["number"]]]
        for rid, a, b in periods:
            if b < sec["start"] or a > sec["stop"]:
                continue
            entered = b <= self.as_of and (withdraw is None or withdraw >= b) and rng.random() > 0.05
            values = {}
            if entered:
                mark = str(rng.randint(45, 99)) if secondary else rng.choice(["A+", "A", "B+", "B", "C", "R", "D-"])
                values = dict(mark=mark,
                              LEARNING_SKILL_1=rng.choice("EGSN"), LEARNING_SKILL_2=rng.choice("EGSN"),
                              LEARNING_SKILL_3=rng.choice("EGSN"), LEARNING_SKILL_4=rng.choice(["E", "G", "S", "N", None]),
                              LEARNING_SKILL_5=rng.choice(["E", "G", "S", "N", ""]))
                if secondary and b == sec["stop"]:
                    values.update(final_exam=maybe(rng, 0.8, str(rng.randint(40, 100))),
                                  semester_grade=mark, year_final=mark if sec["sem"] == 0 else None)
                if rng.random() < 0.03:
                    values = dict(final_exam=str(rng.randint(40, 100)))  # an exam mark alone
            else:
                values = dict(mark=blank(rng), LEARNING_SKILL_1=blank(rng))  # not entered yet
            self.add("V_VLMR_STUDENT_MARKS", pupil_number=pupil, timetable_id=sid, cours_id=sec["code"], REPORT_ID=rid,
                     **values)

    def stamp(self, day, lo=7, hi=17):
        """A time stamp on day, never exactly midnight (the SQLite TO_DATE gives a bare date, which sorts
        before every time of that day, as Oracle's midnight does)."""
        rng = self.rng
        return dt.datetime(day.year, day.month, day.day, rng.randint(lo, hi - 1), rng.randint(0, 59),
                           rng.randint(1, 59))

    def attendance(self, pupil, s, last_day, first_day=None):
        rng = self.rng
        number = s["number"]
        days = [d for d in self.days[number] if d <= self.as_of and (last_day is None or d <= last_day)
                and (first_day is None or d >= first_day)]
        codes_abs = ["ILL", "APPT", "FT", "SUS", "O", "X"]
        period_att = s["att"] == "P" or s["alt"] == "Y"
        daily_att = s["att"] != "P"
        for i, d in enumerate(days):
            nxt = days[i + 1] if i + 1 < len(days) else d + dt.timedelta(days=1)
            if period_att:
                whole = rng.random() < 0.025
                for p in s["periods"]:
                    r = rng.random()
                    if whole or r < 0.02:
                        code = "A"
                    elif p == s["periods"][0] and r < 0.04:
                        code = "L"
                    else:
                        continue
                    self.att_row("V_VLMR_STU_PERIOD_ATTENDANCE", pupil, number, d, nxt, dict(
                        period=p, absent_code=code,
                        reason_code=rng.choice(codes_abs if code == "A" else ["LE"]) if rng.random() < 0.4 else blank(rng)))
            if daily_att:
                r = rng.random()
                if r < 0.06:
                    am = rng.choice(["A", "A", "L"]) if r < 0.04 else None
                    pm = rng.choice(["A", "L"]) if r > 0.02 else None
                    self.att_row("V_VLMR_STU_DAILY_ATTENDANCE", pupil, number, d, nxt, dict(
                        am_attendance_score=am, pm_attendance_score=pm,
                        reason_code_am=rng.choice(codes_abs) if am and rng.random() < 0.4 else blank(rng),
                        reason_code_pm=rng.choice(codes_abs) if pm and rng.random() < 0.4 else blank(rng)))

    def att_row(self, view, pupil, school, day, next_day, values):
        rng = self.rng
        created = self.stamp(next_day if rng.random() < 0.1 else day)
        modified = None
        if rng.random() < 0.2:
            modified = self.stamp(day + dt.timedelta(days=rng.randint(1, 9)))
            if modified <= created:
                modified = created + dt.timedelta(hours=1)
        self.add(view, pupil_number=pupil, school=school, absent_date=day, create_date=created, mod_date=modified,
                 **values)


def ascii_fold(text):
    return "".join(c for c in unicodedata.normalize("NFKD", text) if c.isascii() and (c.isalnum() or c == "-"))


# --------------------------------------------------------------------------------------------------
# Writers

def text_value(value):
    if isinstance(value, dt.datetime):
        return value.strftime("%Y-%m-%d %H:%M:%S")
    if isinstance(value, dt.date):
        return value.isoformat()
    return value


def write_sqlite(gen, path):
    tmp = path + ".tmp"
    if os.path.exists(tmp):
        os.remove(tmp)
    con = sqlite3.connect(tmp)
    con.executescript(norv_schema.ddl("sqlite").replace("CREATE INDEX", "--CREATE INDEX"))
    for view, cols in norv_schema.VIEWS:
        sql = "INSERT INTO %s VALUES (%s)" % (view, ", ".join("?" * len(cols)))
        con.executemany(sql, gen.rows[view])
    for n, (view, col) in enumerate(norv_schema.INDEXES, 1):
        con.execute("CREATE INDEX norv_ix%d ON %s (%s)" % (n, view, col))
    con.commit()
    con.execute("ANALYZE")
    con.commit()
    con.close()
    os.replace(tmp, path)


def copy_text(value):
    if value is None:
        return "\\N"
    text = str(value)
    return (text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r"))


def write_postgres(gen, path):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write("SET client_encoding = 'UTF8';\n")
        f.write(norv_schema.ddl("postgres").replace("CREATE INDEX", "--CREATE INDEX"))
        for view, cols in norv_schema.VIEWS:
            f.write("COPY %s (%s) FROM stdin;\n" % (view, ", ".join(c for c, _ in cols)))
            for row in gen.rows[view]:
                f.write("\t".join(copy_text(v) for v in row) + "\n")
            f.write("\\.\n")
        for n, (view, col) in enumerate(norv_schema.INDEXES, 1):
            f.write("CREATE INDEX norv_ix%d ON %s (%s);\n" % (n, view, col))
        f.write("ANALYZE;\n")


def write_json(gen, path, args):
    doc = {
        "seed": args.seed, "students": args.students, "school_year": gen.year, "as_of": gen.as_of.isoformat(),
        "schools": [dict(number=s["number"], long_names=s["names"], attendance_type=s["att"],
                         alternate_period_attendance=s["alt"], first_day=gen.days[s["number"]][0].isoformat(),
                         last_day=gen.days[s["number"]][-1].isoformat(), rotation=s["rotation"])
                    for s in SCHOOLS],
        "views": {view: {"columns": [dict(name=c, kind=k) for c, k in cols],
                         "rows": gen.rows[view]}
                  for view, cols in norv_schema.VIEWS},
    }
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump(doc, f, ensure_ascii=False, indent=None, separators=(",", ":"))
        f.write("\n")
    os.replace(tmp, path)


def current_school_year(today):
    return today.year if today.month >= 7 else today.year - 1


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--sqlite", help="SQLite file to write")
    p.add_argument("--postgres", help="psql load script to write")
    p.add_argument("--json", help="JSON copy of the data to write")
    p.add_argument("--students", type=int, default=300,
                   help="number of students, at least one per school (default 300)")
    p.add_argument("--seed", type=int, default=20240901, help="random seed (default 20240901)")
    p.add_argument("--year", type=int, help="first calendar year of the school year (default: the current one)")
    p.add_argument("--as-of", help="last day with attendance and entered marks, YYYY-MM-DD (default: last school day)")
    p.add_argument("--schema", choices=["sqlite", "postgres"], help="print the DDL of one dialect and stop")
    args = p.parse_args(argv)
    if args.schema:
        sys.stdout.write(norv_schema.ddl(args.schema))
        return 0
    if args.students < 1:
        p.error("--students must be at least 1")
    if args.year is not None and not 1901 <= args.year <= 9998:
        p.error("--year must be a four-digit year")
    if not (args.sqlite or args.postgres or args.json):
        p.error("nothing to write: give --sqlite, --postgres or --json")
    year = args.year or current_school_year(dt.date.today())
    as_of = None
    if args.as_of:
        try:
            as_of = dt.date.fromisoformat(args.as_of)
        except ValueError:
            p.error("--as-of must be YYYY-MM-DD")
    gen = Generator(args.seed, args.students, year, as_of).run()
    if args.sqlite:
        write_sqlite(gen, args.sqlite)
    if args.postgres:
        write_postgres(gen, args.postgres)
    if args.json:
        write_json(gen, args.json, args)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
