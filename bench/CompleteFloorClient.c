/* The complete floor of an extraction run: the least a program can do that reads what the run must read
 * and stores what it must store, for the extraction benchmark (extract_bench.sh) to compare the extractor
 * with.
 *
 *   norv_complete_floor OUTPUT_FOLDER DSN [USER PASSWORD] < tagged statements
 *
 * Reads tagged statements from standard input, one a line, fields separated by TAB
 * (bench_statements.py complete writes them):
 *   S <TAB> sql                  the included students: the first column of every row goes into a hash set
 *   T <TAB> sql                  a table statement
 *   A <TAB> table <TAB> header <TAB> sql
 *                                an attendance statement whose columns are the pupil number, the date, the
 *                                key of the period or time frame, the code and the reason: the rows of
 *                                included students that carry a code (the reason when there is one, else
 *                                the code) are stored in the cache table
 * One connection; every statement executed once; every column bound as wide text (SQL_C_WCHAR, as wide as
 * the driver's display size, 32 to 255 characters) in blocks of 256 rows; every fetched row written as one
 * TAB-separated line ending in CR LF to OUTPUT_FOLDER/rows.txt through one 1 MiB buffer and fwrite, one
 * fsync at the end; the attendance rows stored with one prepared INSERT OR REPLACE in one transaction into
 * OUTPUT_FOLDER/Attendance.db, made with the cache's CREATE TABLEs and a 2 MiB page cache. Text is narrowed
 * by keeping the low byte of each character (what the sample holds is Latin-1).
 * At the end it prints on standard error the statements, rows and lines, and for each cache table the rows
 * stored in it ("stored TABLE ROWS"), which the benchmark checks against the program's cache.
 * A failing statement is reported and counted; the exit status is 1 then. */
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "FloorReader.h"

enum { kMaxLine = 1 << 20, kOutBytes = 1 << 20 };

/* A hash set of byte strings (open addressing), for the included students. */
typedef struct {
    char** keys;
    size_t capacity, count;
} KeySet;

static size_t hashBytes(const char* text, size_t length) {
    size_t hash = 1469598103934665603ull;
    for (size_t i = 0; i < length; ++i) {
        hash = (hash ^ (unsigned char)text[i]) * 1099511628211ull;
    }
    return hash;
}

static int keySetFind(const KeySet* set, const char* text, size_t length, size_t* slot) {
    if (set->capacity == 0) {
        return 0;
    }
    size_t i = hashBytes(text, length) & (set->capacity - 1);
    while (set->keys[i] != NULL) {
        if (strlen(set->keys[i]) == length && memcmp(set->keys[i], text, length) == 0) {
            *slot = i;
            return 1;
        }
        i = (i + 1) & (set->capacity - 1);
    }
    *slot = i;
    return 0;
}

static void keySetAdd(KeySet* set, const char* text, size_t length) {
    size_t slot = 0;
    if ((set->count + 1) * 2 > set->capacity) {
        KeySet grown = {calloc(set->capacity ? set->capacity * 2 : 1024, sizeof(char*)),
                        set->capacity ? set->capacity * 2 : 1024, 0};
        for (size_t i = 0; i < set->capacity; ++i) {
            if (set->keys[i] != NULL) {
                keySetFind(&grown, set->keys[i], strlen(set->keys[i]), &slot);
                grown.keys[slot] = set->keys[i];
                ++grown.count;
            }
        }
        free(set->keys);
        *set = grown;
    }
    if (!keySetFind(set, text, length, &slot)) {
        set->keys[slot] = strndup(text, length);
        ++set->count;
    }
}

static char out[kOutBytes];
static size_t outUsed;
static FILE* outFile;

static void put(const char* bytes, size_t length) {
    if (outUsed + length > sizeof out) {
        fwrite(out, 1, outUsed, outFile);
        outUsed = 0;
    }
    memcpy(out + outUsed, bytes, length);
    outUsed += length;
}

/* The value of a cell narrowed into text (at most kFloorMaxChars bytes and a NUL), blanks trimmed; its
 * length. */
static size_t cellText(const FloorColumn* column, SQLULEN row, char* text) {
    const SQLLEN indicator = column->indicators[row];
    if (indicator == SQL_NULL_DATA) {
        text[0] = '\0';
        return 0;
    }
    const SQLWCHAR* chars = column->buffer + row * (SQLULEN)(column->elementBytes / (SQLLEN)sizeof(SQLWCHAR));
    size_t length = indicator == SQL_NO_TOTAL ? kFloorMaxChars : (size_t)indicator / sizeof(SQLWCHAR);
    if (length > (size_t)(column->elementBytes / (SQLLEN)sizeof(SQLWCHAR)) - 1) {
        length = (size_t)(column->elementBytes / (SQLLEN)sizeof(SQLWCHAR)) - 1;
    }
    size_t begin = 0;
    while (begin < length && chars[begin] == ' ') {
        ++begin;
    }
    while (length > begin && chars[length - 1] == ' ') {
        --length;
    }
    for (size_t i = begin; i < length; ++i) {
        text[i - begin] = (char)chars[i];
    }
    text[length - begin] = '\0';
    return length - begin;
}

typedef struct {
    KeySet students;
    sqlite3* cache;
    long long rows, lines;
} Floor;

static const char* const kTables[2] = {"PERIOD_ATT", "DAILY_ATT"};

/* Runs one statement; kind 'S', 'T' or 'A' (table, header given). 0 on success. */
static int readStatement(SQLHDBC dbc, Floor* floor, char kind, const char* table, const char* header,
                         const char* sql) {
    sqlite3_stmt* insert = NULL;
    const int daily = table != NULL && strcmp(table, kTables[1]) == 0;
    char text[6][kFloorMaxChars + 1];
    if (kind == 'A') {
        char statement[512];
        snprintf(statement, sizeof statement,
                 "INSERT OR REPLACE INTO %s (stdkey, attdate, %s, reason, excused, absent, tardy, truant, "
                 "discipline, header, oldcode, newcode) VALUES (?, ?, ?, '', '', '', '', '', '', ?, ?, ?)",
                 table, daily ? "timeframe" : "perkey");
        if (sqlite3_prepare_v2(floor->cache, statement, -1, &insert, NULL) != SQLITE_OK) {
            fprintf(stderr, "cannot prepare: %s\n", sqlite3_errmsg(floor->cache));
            return 1;
        }
    }
    FloorStatement s;
    if (floorOpen(dbc, sql, &s) != 0) {
        sqlite3_finalize(insert);
        return 1;
    }
    int failed = 0;
    int status = 0;
    while ((kind != 'A' || s.count >= 5) && (status = floorFetch(&s, sql)) > 0) {
        floor->rows += (long long)s.fetched;
        for (SQLULEN r = 0; r < s.fetched; ++r) {
            /* Each cell is narrowed once: the first five into text[0..4], kept for the store below. */
            size_t length[5] = {0, 0, 0, 0, 0};
            for (SQLSMALLINT i = 0; i < s.count; ++i) {
                if (i > 0) {
                    put("\t", 1);
                }
                char* cell = i < 5 ? text[i] : text[5];
                const size_t n = cellText(&s.columns[i], r, cell);
                if (i < 5) {
                    length[i] = n;
                }
                put(cell, n);
            }
            put("\r\n", 2);
            ++floor->lines;
            if (kind == 'S') {
                keySetAdd(&floor->students, text[0], length[0]);
            } else if (kind == 'A') {
                size_t slot = 0;
                if (!keySetFind(&floor->students, text[0], length[0], &slot)) {
                    continue;
                }
                text[1][10] = '\0'; /* the date without a time of day */
                const int hasReason = length[4] > 0;
                const int hasCode = length[3] > 0;
                if (!hasReason && !hasCode) {
                    continue;
                }
                const char* code = hasReason ? text[4] : text[3];
                sqlite3_bind_text(insert, 1, text[0], -1, SQLITE_STATIC);
                sqlite3_bind_text(insert, 2, text[1], -1, SQLITE_STATIC);
                sqlite3_bind_text(insert, 3, text[2], -1, SQLITE_STATIC);
                sqlite3_bind_text(insert, 4, header, -1, SQLITE_STATIC);
                sqlite3_bind_text(insert, 5, code, -1, SQLITE_STATIC);
                sqlite3_bind_text(insert, 6, code, -1, SQLITE_STATIC);
                if (sqlite3_step(insert) != SQLITE_DONE) {
                    fprintf(stderr, "cannot store: %s\n", sqlite3_errmsg(floor->cache));
                    failed = 1;
                }
                sqlite3_reset(insert);
            }
        }
    }
    floorClose(&s);
    sqlite3_finalize(insert);
    return failed || status < 0;
}

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) {
        fprintf(stderr, "usage: norv_complete_floor OUTPUT_FOLDER DSN [USER PASSWORD] < tagged statements\n");
        return 2;
    }
    char path[4096];
    snprintf(path, sizeof path, "%s/rows.txt", argv[1]);
    outFile = fopen(path, "wb");
    snprintf(path, sizeof path, "%s/Attendance.db", argv[1]);
    unlink(path);
    Floor floor = {{NULL, 0, 0}, NULL, 0, 0};
    if (outFile == NULL || sqlite3_open(path, &floor.cache) != SQLITE_OK) {
        fprintf(stderr, "cannot create the output files in %s\n", argv[1]);
        return 1;
    }
    for (int i = 0; i < 2; ++i) {
        char create[1024];
        snprintf(create, sizeof create,
                 "CREATE TABLE %s (stdkey VARCHAR(100), attdate DATETIME, %s VARCHAR(100), reason "
                 "VARCHAR(100), excused VARCHAR(100), absent VARCHAR(100), tardy VARCHAR(100), truant "
                 "VARCHAR(100), discipline VARCHAR(100), header VARCHAR(10), oldcode VARCHAR(100), newcode "
                 "VARCHAR(100), PRIMARY KEY (stdkey, attdate, %s, header))",
                 kTables[i], i ? "timeframe" : "perkey", i ? "timeframe" : "perkey");
        sqlite3_exec(floor.cache, create, NULL, NULL, NULL);
    }
    sqlite3_exec(floor.cache, "PRAGMA cache_size = -2048", NULL, NULL, NULL);
    sqlite3_exec(floor.cache, "BEGIN", NULL, NULL, NULL);

    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (floorConnect(argv[2], argc == 5 ? argv[3] : NULL, argc == 5 ? argv[4] : NULL, &env, &dbc) != 0) {
        return 1;
    }
    char* line = malloc(kMaxLine);
    long long statements = 0;
    int failures = 0;
    while (fgets(line, kMaxLine, stdin) != NULL) {
        line[strcspn(line, "\r\n")] = '\0';
        char* fields[4] = {line, NULL, NULL, NULL};
        int n = 1;
        for (char* tab = strchr(line, '\t'); tab != NULL && n < 4; tab = strchr(tab + 1, '\t')) {
            *tab = '\0';
            fields[n++] = tab + 1;
            if (line[0] != 'A') {
                break;
            }
        }
        if (line[0] == '\0' || n < 2 || (line[0] == 'A' && n < 4)) {
            continue;
        }
        ++statements;
        failures += line[0] == 'A' ? readStatement(dbc, &floor, 'A', fields[1], fields[2], fields[3])
                                   : readStatement(dbc, &floor, line[0], NULL, NULL, fields[1]);
    }
    free(line);
    floorDisconnect(env, dbc);
    fwrite(out, 1, outUsed, outFile);
    fflush(outFile);
    fsync(fileno(outFile));
    fclose(outFile);
    if (sqlite3_exec(floor.cache, "COMMIT", NULL, NULL, NULL) != SQLITE_OK) {
        fprintf(stderr, "cannot commit: %s\n", sqlite3_errmsg(floor.cache));
        ++failures;
    }
    fprintf(stderr, "%lld statements (%d failed), %lld rows, %lld lines, %zu students\n", statements,
            failures, floor.rows, floor.lines, floor.students.count);
    for (int i = 0; i < 2; ++i) {
        char query[64];
        sqlite3_stmt* rows = NULL;
        snprintf(query, sizeof query, "SELECT count(*) FROM %s", kTables[i]);
        if (sqlite3_prepare_v2(floor.cache, query, -1, &rows, NULL) == SQLITE_OK &&
            sqlite3_step(rows) == SQLITE_ROW) {
            fprintf(stderr, "stored %s %lld\n", kTables[i], (long long)sqlite3_column_int64(rows, 0));
        }
        sqlite3_finalize(rows);
    }
    sqlite3_close(floor.cache);
    return failures == 0 ? 0 : 1;
}
