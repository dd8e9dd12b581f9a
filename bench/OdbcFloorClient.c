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
#include <sql.h>
#include <sqlext.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kBlockRows = 256, kMaxChars = 255, kMinChars = 32, kMaxLine = 1 << 20 };

typedef struct {
    SQLWCHAR* buffer;
    SQLLEN elementBytes;
    SQLLEN* indicators;
} Column;

static void printDiagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    SQLCHAR state[6];
    SQLCHAR text[1024];
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    for (SQLSMALLINT i = 1;
         SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &length) == SQL_SUCCESS; ++i) {
        fprintf(stderr, "  [%s] %s\n", (const char*)state, (const char*)text);
    }
}

static int succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

/* Runs one statement and reads all of its rows; adds to the counts. 0 on success. */
static int readStatement(SQLHDBC dbc, const char* sql, long long* rows, long long* values) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) {
        printDiagnostics(SQL_HANDLE_DBC, dbc);
        return 1;
    }
    int failed = 0;
    Column* columns = NULL;
    SQLSMALLINT count = 0;
    SQLULEN fetched = 0;
    if (!succeeded(SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS)) ||
        !succeeded(SQLNumResultCols(stmt, &count))) {
        fprintf(stderr, "failed: %s\n", sql);
        printDiagnostics(SQL_HANDLE_STMT, stmt);
        failed = 1;
        goto done;
    }
    if (count <= 0) {
        goto done;
    }
    columns = calloc((size_t)count, sizeof *columns);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)SQL_BIND_BY_COLUMN, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)(SQLULEN)kBlockRows, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    for (SQLSMALLINT i = 0; i < count; ++i) {
        SQLLEN display = 0;
        SQLColAttribute(stmt, (SQLUSMALLINT)(i + 1), SQL_DESC_DISPLAY_SIZE, NULL, 0, NULL, &display);
        const SQLLEN chars = display <= 0 || display > kMaxChars ? kMaxChars
                             : display < kMinChars               ? kMinChars
                                                                 : display;
        columns[i].elementBytes = (chars + 1) * (SQLLEN)sizeof(SQLWCHAR);
        columns[i].buffer = malloc((size_t)(columns[i].elementBytes * kBlockRows));
        columns[i].indicators = malloc(sizeof(SQLLEN) * kBlockRows);
        if (!succeeded(SQLBindCol(stmt, (SQLUSMALLINT)(i + 1), SQL_C_WCHAR, columns[i].buffer,
                                  columns[i].elementBytes, columns[i].indicators))) {
            fprintf(stderr, "cannot bind column %d of: %s\n", i + 1, sql);
            printDiagnostics(SQL_HANDLE_STMT, stmt);
            failed = 1;
            goto done;
        }
    }
    for (;;) {
        const SQLRETURN rc = SQLFetch(stmt);
        if (rc == SQL_NO_DATA) {
            break;
        }
        if (!succeeded(rc)) {
            fprintf(stderr, "fetch failed: %s\n", sql);
            printDiagnostics(SQL_HANDLE_STMT, stmt);
            failed = 1;
            break;
        }
        *rows += (long long)fetched;
        for (SQLSMALLINT i = 0; i < count; ++i) {
            for (SQLULEN r = 0; r < fetched; ++r) {
                *values += columns[i].indicators[r] != SQL_NULL_DATA;
            }
        }
    }
done:
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    for (SQLSMALLINT i = 0; columns != NULL && i < count; ++i) {
        free(columns[i].buffer);
        free(columns[i].indicators);
    }
    free(columns);
    return failed;
}

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        fprintf(stderr, "usage: norv_odbc_floor DSN [USER PASSWORD] < statements\n");
        return 2;
    }
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    SQLCHAR* user = (SQLCHAR*)(argc == 4 ? argv[2] : "");
    SQLCHAR* password = (SQLCHAR*)(argc == 4 ? argv[3] : "");
    if (!succeeded(SQLConnect(dbc, (SQLCHAR*)argv[1], SQL_NTS, user, SQL_NTS, password, SQL_NTS))) {
        fprintf(stderr, "cannot connect to %s\n", argv[1]);
        printDiagnostics(SQL_HANDLE_DBC, dbc);
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
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    fprintf(stderr, "%lld statements (%d failed), %lld rows, %lld values\n", statements, failures, rows,
            values);
    return failures == 0 ? 0 : 1;
}
