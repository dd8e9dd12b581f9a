/* The least a program can do to read query results through an ODBC driver: the floor that the
 * extraction benchmark (extract_bench.sh) compares the extractor with.
 *
 *   norv_odbc_floor DSN [USER PASSWORD] < statements
 *
 * Reads SQL statements from standard input, one per line, connects to DSN, and for each statement
 * executes it, binds every result column as wide text (SQL_C_WCHAR, as wide as the driver's display
 * size, at most 255 characters: longer values are cut, which only makes the floor lower) and fetches
 * the rows in blocks of 256 (SQL_ATTR_ROW_ARRAY_SIZE). Nothing is converted, formatted or written.
 * At the end it prints the number of statements, rows and non-NULL values read on standard error.
 * A statement that fails is reported on standard error and counted; the exit status is 1 then. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "FloorReader.h"

enum { kMaxLine = 1 << 20 };

/* Runs one statement and reads all of its rows; adds to the counts. 0 on success. */
static int readStatement(SQLHDBC dbc, const char* sql, long long* rows, long long* values) {
    FloorStatement s;
    if (floorOpen(dbc, sql, &s) != 0) {
        return 1;
    }
    int status = 0;
    while ((status = floorFetch(&s, sql)) > 0) {
        *rows += (long long)s.fetched;
        for (SQLSMALLINT i = 0; i < s.count; ++i) {
            for (SQLULEN r = 0; r < s.fetched; ++r) {
                *values += s.columns[i].indicators[r] != SQL_NULL_DATA;
            }
        }
    }
    floorClose(&s);
    return status < 0;
}

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        fprintf(stderr, "usage: norv_odbc_floor DSN [USER PASSWORD] < statements\n");
        return 2;
    }
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (floorConnect(argv[1], argc == 4 ? argv[2] : NULL, argc == 4 ? argv[3] : NULL, &env, &dbc) != 0) {
        return 1;
    }
    char* line = malloc(kMaxLine);
    long long statements = 0, rows = 0, values = 0;
    int failures = 0;
    while (fgets(line, kMaxLine, stdin) != NULL) {
        line[strcspn(line, "\r\n")] = '\0';
        if (line[0] == '\0') {
            continue;
        }
        ++statements;
        failures += readStatement(dbc, line, &rows, &values);
    }
    free(line);
    floorDisconnect(env, dbc);
    fprintf(stderr, "%lld statements (%d failed), %lld rows, %lld values\n", statements, failures, rows,
            values);
    return failures == 0 ? 0 : 1;
}
