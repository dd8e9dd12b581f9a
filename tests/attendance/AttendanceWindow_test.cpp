#include <gtest/gtest.h>

#include "attendance/AttendanceWindow.h"

namespace {

struct Walk {
    const char* name;
    XDate update;
    XDate schoolStart;
    XDate schoolEnd;
    XDate today;
    bool lastDay;
    std::pair<XDate, XDate> window;
};

TEST(AttendanceWindow, RunsFromTheUpdateDateToTodayWithinTheSchoolYear) {
    const XDate start(2024, 9, 3);
    const XDate end(2025, 6, 27);
    const Walk walks[] = {
        {"stored date five days back: one window",
         XDate(2025, 1, 20),
         start,
         end,
         XDate(2025, 1, 25),
         false,
         {XDate(2025, 1, 20), XDate(2025, 1, 25)}},
        {"the window covers today as a whole",
         XDate(2025, 1, 20),
         start,
         end,
         XDate(2025, 1, 25),
         true,
         {XDate(2025, 1, 20), XDate(2025, 1, 26)}},
        {"weeks back: one window all the same",
         XDate(2025, 1, 6),
         start,
         end,
         XDate(2025, 1, 25),
         false,
         {XDate(2025, 1, 6), XDate(2025, 1, 25)}},
        {"no update date: from the school start",
         XDate(),
         start,
         end,
         XDate(2024, 9, 20),
         false,
         {XDate(2024, 9, 3), XDate(2024, 9, 20)}},
        {"after the school year: up to its end",
         XDate(2025, 6, 20),
         start,
         end,
         XDate(2025, 8, 1),
         false,
         {XDate(2025, 6, 20), XDate(2025, 6, 27)}},
        {"before the school year: its first day",
         XDate(),
         start,
         end,
         XDate(2024, 8, 1),
         false,
         {XDate(2024, 9, 3), XDate(2024, 9, 3)}},
        {"no school start and no update date: no lower bound",
         XDate(),
         XDate::FromDayNumber(0),
         end,
         XDate(2025, 1, 25),
         false,
         {XDate(), XDate(2025, 1, 25)}},
    };
    for (const Walk& w : walks) {
        const AttendanceWindow window(w.update, w.schoolStart, w.schoolEnd, w.lastDay, w.today);
        EXPECT_EQ(std::make_pair(window.start(), window.end()), w.window) << w.name;
    }
}

}  // namespace
