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
    std::vector<std::pair<XDate, XDate>> windows;
};

std::vector<std::pair<XDate, XDate>> walk(const Walk& w) {
    AttendanceWindow window(w.update, w.schoolStart, w.schoolEnd, w.lastDay, w.today);
    std::vector<std::pair<XDate, XDate>> windows;
    for (bool last = false; !last && windows.size() < 100;) {
        last = window.next();
        windows.emplace_back(window.start(), window.end());
    }
    return windows;
}

TEST(AttendanceWindow, WalksFromTheUpdateDateToTodayInWeeks) {
    const XDate start(2024, 9, 3);
    const XDate end(2025, 6, 27);
    const Walk walks[] = {
        {"stored date five days back: one window",
         XDate(2025, 1, 20),
         start,
         end,
         XDate(2025, 1, 25),
         false,
         {{XDate(2025, 1, 20), XDate(2025, 1, 25)}}},
        {"the last window covers today as a whole",
         XDate(2025, 1, 20),
         start,
         end,
         XDate(2025, 1, 25),
         true,
         {{XDate(2025, 1, 20), XDate(2025, 1, 26)}}},
        {"an overlap of 14 days",
         XDate(2025, 1, 6),
         start,
         end,
         XDate(2025, 1, 25),
         false,
         {{XDate(2025, 1, 6), XDate(2025, 1, 12)},
          {XDate(2025, 1, 12), XDate(2025, 1, 18)},
          {XDate(2025, 1, 18), XDate(2025, 1, 24)},
          {XDate(2025, 1, 24), XDate(2025, 1, 25)}}},
        {"no update date: from the school start",
         XDate(),
         start,
         end,
         XDate(2024, 9, 20),
         false,
         {{XDate(2024, 9, 3), XDate(2024, 9, 9)},
          {XDate(2024, 9, 9), XDate(2024, 9, 15)},
          {XDate(2024, 9, 15), XDate(2024, 9, 20)}}},
        {"after the school year: up to its end",
         XDate(2025, 6, 20),
         start,
         end,
         XDate(2025, 8, 1),
         false,
         {{XDate(2025, 6, 20), XDate(2025, 6, 26)}, {XDate(2025, 6, 26), XDate(2025, 6, 27)}}},
        {"before the school year: its first day",
         XDate(),
         start,
         end,
         XDate(2024, 8, 1),
         false,
         {{XDate(2024, 9, 3), XDate(2024, 9, 3)}}},
    };
    for (const Walk& w : walks) {
        EXPECT_EQ(walk(w), w.windows) << w.name;
    }
}

}  // namespace
