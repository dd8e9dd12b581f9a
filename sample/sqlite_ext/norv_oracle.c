/*
 * Oracle's TO_DATE for SQLite, so that the sample Norv database answers the SQL the extractor sends in
 * the Oracle dialect: TO_DATE( '20240131', 'YYYYMMDD' ).
 *
 * TO_DATE(text, format) returns the date as 'YYYY-MM-DD' text (or 'YYYY-MM-DD HH:MM:SS' when the format
 * has time fields): the form SQLite's date functions use, the form the sample stores in its DATE and
 * DATETIME columns, and the form the SQLite ODBC driver parses in a column it reports as a date. A bare
 * date therefore compares as the midnight at the start of that day, as Oracle's DATE does.
 *
 * Format elements (case-insensitive): YYYY, YY, MM, DD, HH24, HH12, HH, MI, SS, and the separators
 * - / , . ; : and blank, which must match the text. NULL or '' in gives NULL (Oracle reads '' as NULL).
 * A text that does not fit the format, or a day that does not exist, is an error whose message starts
 * with Oracle's error code.
 *
 * Loaded by the SQLite ODBC driver through the DSN attribute LoadExt=/path/norv_oracle.so, or by
 * sqlite3's ".load". Entry points: sqlite3_extension_init and sqlite3_norvoracle_init.
 */
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

#include <ctype.h>
#include <stdio.h>
#include <string.h>

struct parsed {
    int year, month, day, hour, minute, second;
    int has_time;
};

/* Reads up to n digits; returns how many were read, or 0 when fewer than n were read although the format
 * goes on with another field right away (fields without a separator between them have fixed widths). */
static int read_digits(const char** p, int n, int* value, const char* rest) {
    int count = 0;
    *value = 0;
    while (count < n && isdigit((unsigned char)**p)) {
        *value = *value * 10 + (**p - '0');
        ++*p;
        ++count;
    }
    if (count < n && isalpha((unsigned char)*rest))
        return 0;
    return count;
}

static int starts_with(const char* fmt, const char* token) {
    return sqlite3_strnicmp(fmt, token, (int)strlen(token)) == 0;
}

static int is_leap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

/* Returns NULL on success, else the error message. */
static const char* parse(const char* text, const char* fmt, struct parsed* out) {
    const char* p = text;
    int v = 0, pm = -1, hour12 = 0;
    memset(out, 0, sizeof *out);
    out->year = -1;
    out->month = -1;
    out->day = -1;
    while (*fmt) {
        if (starts_with(fmt, "YYYY")) {
            if (read_digits(&p, 4, &v, fmt + 4) == 0)
                return "ORA-01841: (full) year must be between -4713 and +9999";
            out->year = v;
            fmt += 4;
        } else if (starts_with(fmt, "YY")) {
            if (read_digits(&p, 2, &v, fmt + 2) == 0)
                return "ORA-01841: (full) year must be between -4713 and +9999";
            out->year = 2000 + v;
            fmt += 2;
        } else if (starts_with(fmt, "MM")) {
            if (read_digits(&p, 2, &v, fmt + 2) == 0 || v < 1 || v > 12)
                return "ORA-01843: not a valid month";
            out->month = v;
            fmt += 2;
        } else if (starts_with(fmt, "DD")) {
            if (read_digits(&p, 2, &v, fmt + 2) == 0 || v < 1 || v > 31)
                return "ORA-01847: day of month must be between 1 and last day of month";
            out->day = v;
            fmt += 2;
        } else if (starts_with(fmt, "HH24")) {
            if (read_digits(&p, 2, &v, fmt + 4) == 0 || v > 23)
                return "ORA-01850: hour must be between 0 and 23";
            out->hour = v;
            out->has_time = 1;
            fmt += 4;
        } else if (starts_with(fmt, "HH")) {
            int len = starts_with(fmt, "HH12") ? 4 : 2;
            if (read_digits(&p, 2, &v, fmt + len) == 0 || v < 1 || v > 12)
                return "ORA-01849: hour must be between 1 and 12";
            out->hour = v;
            hour12 = 1;
            out->has_time = 1;
            fmt += len;
        } else if (starts_with(fmt, "MI")) {
            if (read_digits(&p, 2, &v, fmt + 2) == 0 || v > 59)
                return "ORA-01851: minutes must be between 0 and 59";
            out->minute = v;
            out->has_time = 1;
            fmt += 2;
        } else if (starts_with(fmt, "SS")) {
            if (read_digits(&p, 2, &v, fmt + 2) == 0 || v > 59)
                return "ORA-01852: seconds must be between 0 and 59";
            out->second = v;
            out->has_time = 1;
            fmt += 2;
        } else if (starts_with(fmt, "AM") || starts_with(fmt, "PM")) {
            if (sqlite3_strnicmp(p, "AM", 2) == 0)
                pm = 0;
            else if (sqlite3_strnicmp(p, "PM", 2) == 0)
                pm = 1;
            else
                return "ORA-01855: AM/A.M. or PM/P.M. required";
            p += 2;
            fmt += 2;
        } else if (strchr("-/,.;: ", *fmt)) {
            if (*p != *fmt)
                return "ORA-01861: literal does not match format string";
            ++p;
            ++fmt;
        } else {
            return "ORA-01821: date format not recognized";
        }
    }
    if (*p)
        return "ORA-01830: date format picture ends before converting entire input string";
    if (hour12) {
        if (pm < 0)
            return "ORA-01855: AM/A.M. or PM/P.M. required";
        out->hour = out->hour % 12 + (pm ? 12 : 0);
    }
    /* Oracle fills missing fields from the current month; the sample has no use for that. */
    if (out->year < 0 || out->month < 0 || out->day < 0)
        return "ORA-01821: date format not recognized";
    if (out->year < 1)
        return "ORA-01841: (full) year must be between -4713 and +9999";
    {
        static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        int last = days[out->month - 1] + (out->month == 2 && is_leap(out->year));
        if (out->day > last)
            return "ORA-01839: date not valid for month specified";
    }
    return NULL;
}

static void to_date(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const char* text;
    const char* fmt;
    const char* error;
    struct parsed d;
    char out[80]; /* wide enough for any int the compiler can imagine */

    if (argc != 2) {
        sqlite3_result_error(ctx, "ORA-00909: invalid number of arguments", -1);
        return;
    }
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    text = (const char*)sqlite3_value_text(argv[0]);
    fmt = (const char*)sqlite3_value_text(argv[1]);
    if (!text || !fmt) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    if (*text == '\0') {
        sqlite3_result_null(ctx);
        return;
    }
    error = parse(text, fmt, &d);
    if (error) {
        sqlite3_result_error(ctx, error, -1);
        return;
    }
    if (d.has_time)
        snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour, d.minute,
                 d.second);
    else
        snprintf(out, sizeof out, "%04d-%02d-%02d", d.year, d.month, d.day);
    sqlite3_result_text(ctx, out, -1, SQLITE_TRANSIENT);
}

#ifdef _WIN32
__declspec(dllexport)
#endif
    int sqlite3_extension_init(sqlite3* db, char** error, const sqlite3_api_routines* api) {
    (void)error;
    SQLITE_EXTENSION_INIT2(api);
    return sqlite3_create_function(db, "TO_DATE", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                   NULL, to_date, NULL, NULL);
}

int sqlite3_norvoracle_init(sqlite3* db, char** error, const sqlite3_api_routines* api) {
    return sqlite3_extension_init(db, error, api);
}
