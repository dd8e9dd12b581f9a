// The text rules behind the value formatters: how a value's text is normalised for an output column.
// Pure functions over the working code page; the formatters apply them to the value they read.
#pragma once

#include "libraries/support/XString.h"

class FormatRules {
  public:
    // TAB, CR and LF each replaced by a blank.
    static XString oneLine(const XString& text);
    // Trimmed at both ends, then TAB, CR and LF each replaced by a blank: the text of an output column.
    static XString columnText(const XString& text);
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
