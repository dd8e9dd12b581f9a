// The text rules behind the value formatters: how a value's text is normalised for an output column.
// Pure functions over the working code page; the formatters apply them to the value they read.
#pragma once

#include "libraries/support/XDate.h"
#include "libraries/support/XString.h"

#include <cstddef>
#include <string>

class FormatRules {
  public:
    // The two rules of a value's text: Field, what the typed text reader gives (trimmed at both ends, every
    // TAB removed); Column, what an output column gets (the same, with CR and LF each replaced by a blank).
    enum class TextRule { Field, Column };
    // Appends text with rule applied to out, in one pass. text is the bytes of the working code page, or
    // UTF-16 code units that all lie below 0x100 and stand for the bytes of the same value (ASCII and
    // Latin-1 text as the source delivers it).
    template <typename Char>
    static void appendRuled(const Char* text, std::size_t length, TextRule rule, std::string& out);
    static void appendRuled(const XString& text, TextRule rule, std::string& out) {
        appendRuled(text.c_str(), static_cast<std::size_t>(text.length()), rule, out);
    }
    // The decimal digits of value (not negative), with leading zeros up to width digits, appended to out.
    static void appendDigits(int value, int width, std::string& out);

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
    // The same, appended to out.
    static void appendDate(const XDate& date, const XString& pattern, std::string& out);
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
