// The text rules behind the value formatters: how a value's text is normalised for an output column.
// Pure functions over the working code page; the formatters apply them to the value they read.
#pragma once

#include "libraries/support/XDate.h"
#include "libraries/support/XString.h"

class FormatRules {
  public:
    // Trims text in place (XString::trim) when an end is blank; most values have nothing to trim, and
    // checking the ends first saves the work and a copy per value.
    static void trimEnds(XString& text);
    // TAB, CR and LF each replaced by a blank. This and columnText take the text by value: a value read
    // for a column is moved in and changed in place, if at all.
    static XString oneLine(XString text);
    // Trimmed at both ends, then TAB, CR and LF each replaced by a blank: the text of an output column.
    static XString columnText(XString text);
    // date.Format(pattern), with the writer's default pattern "mm/dd/yyyy" written directly: a date column
    // is formatted once per row, and the general token formatter costs more than reading the value.
    static XString date(const XDate& date, const XString& pattern);
    // "0" becomes empty; anything else is kept.
    static XString noZero(const XString& text);
    // "N/A" becomes empty; anything else is kept.
    static XString noNA(const XString& text);
    // "", "1" and "0" stay; "yes"/"y" become "1" and "no"/"n" become "0" in any letter case; else empty.
    static XString flag(const XString& text);
    // True for "1", "yes" and "y" (any letter case).
    static bool isTextTrue(const XString& text);
    // One of the importer's activity kinds ("activity", "athletic", "class", "enrollment", "lunch",
    // "transit") in lower case when text names it in any letter case; otherwise text unchanged.
    static XString activityKind(const XString& text);
};
