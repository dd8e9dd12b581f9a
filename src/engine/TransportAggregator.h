// TransportAggregator: folds the transport rows of each student (ordered by pupil number) into one
// output line per student.
//
// Per value column it keeps the distinct consecutive values of the current student, each followed by
// "; ": a value equal to the previous row's value of that column is not repeated, and an empty value after
// a non-empty one adds "; ". A new pupil number completes the previous student's line.
//
// Owns: the accumulated texts of the current student.
// REQUIRES: rows of one student arrive together (the query orders by pupil number); rows with an empty
// pupil number are not given to add().
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "libraries/support/XString.h"

class TransportAggregator {
  public:
    static constexpr int kValueColumns = 7;
    using Values = std::array<XString, kValueColumns>;
    // The pupil number followed by the seven accumulated texts.
    using Line = std::vector<XString>;

    // Takes one row; returns the previous student's complete line when this row starts a new student.
    std::optional<Line> add(const XString& pupilNumber, const Values& values);
    // The last student's line, if any row was taken since the last completed line; resets the state.
    std::optional<Line> finish();

  private:
    Line takeLine();

    XString m_key;
    Values m_accumulated;
    Values m_last;
};
