// One attendance record as the cache stores it: the student, the day, the key of the period or time frame
// with the name of the output column that supplied it, the codes and the flag values. Plain values.
#pragma once

#include "libraries/support/XDate.h"
#include "libraries/support/XString.h"

struct AttendanceRecord {
    XString student;
    XDate date;
    XString key;
    XString header;
    XString oldCode;
    XString code;
    XString reason;
    XString excused;
    XString absent;
    XString tardy;
    XString truant;
    XString discipline;
};
