/* The reading part of the floor clients (OdbcFloorClient.c, CompleteFloorClient.c): one connection, and per
 * statement every result column bound as wide text (SQL_C_WCHAR, as wide as the driver's display size, 32
 * to 255 characters: longer values are cut, which only makes a floor lower) in blocks of 256 rows
 * (SQL_ATTR_ROW_ARRAY_SIZE). Failures are reported on standard error with the driver's diagnostics. */
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kFloorBlockRows = 256, kFloorMaxChars = 255, kFloorMinChars = 32 };

typedef struct {
    SQLWCHAR* buffer; /* kFloorBlockRows elements of elementBytes */
    SQLLEN elementBytes;
    SQLLEN* indicators;
} FloorColumn;

typedef struct {
    SQLHSTMT stmt;
    FloorColumn* columns;
    SQLSMALLINT count; /* columns */
    SQLULEN fetched;   /* rows of the last block */
} FloorStatement;

static void floorDiagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    SQLCHAR state[6];
    SQLCHAR text[1024];
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    for (SQLSMALLINT i = 1;
         SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &length) == SQL_SUCCESS; ++i) {
        fprintf(stderr, "  [%s] %s\n", (const char*)state, (const char*)text);
    }
}

static int floorSucceeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

/* Connects to dsn (user and password may be NULL). 0 on success. */
static int floorConnect(const char* dsn, const char* user, const char* password, SQLHENV* env, SQLHDBC* dbc) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, env);
    SQLSetEnvAttr(*env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    SQLAllocHandle(SQL_HANDLE_DBC, *env, dbc);
    if (!floorSucceeded(SQLConnect(*dbc, (SQLCHAR*)dsn, SQL_NTS, (SQLCHAR*)(user ? user : ""), SQL_NTS,
                                   (SQLCHAR*)(password ? password : ""), SQL_NTS))) {
        fprintf(stderr, "cannot connect to %s\n", dsn);
        floorDiagnostics(SQL_HANDLE_DBC, *dbc);
        return 1;
    }
    return 0;
}

static void floorDisconnect(SQLHENV env, SQLHDBC dbc) {
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

static void floorClose(FloorStatement* s) {
    if (s->stmt != SQL_NULL_HSTMT) {
        SQLFreeHandle(SQL_HANDLE_STMT, s->stmt);
    }
    for (SQLSMALLINT i = 0; s->columns != NULL && i < s->count; ++i) {
        free(s->columns[i].buffer);
        free(s->columns[i].indicators);
    }
    free(s->columns);
    memset(s, 0, sizeof *s);
}

/* Executes sql on a statement of its own and binds its columns. 0 on success (a statement without columns
 * has count 0); on failure the statement is closed. */
static int floorOpen(SQLHDBC dbc, const char* sql, FloorStatement* s) {
    memset(s, 0, sizeof *s);
    if (!floorSucceeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s->stmt))) {
        floorDiagnostics(SQL_HANDLE_DBC, dbc);
        return 1;
    }
    if (!floorSucceeded(SQLExecDirect(s->stmt, (SQLCHAR*)sql, SQL_NTS)) ||
        !floorSucceeded(SQLNumResultCols(s->stmt, &s->count))) {
        fprintf(stderr, "failed: %s\n", sql);
        floorDiagnostics(SQL_HANDLE_STMT, s->stmt);
        floorClose(s);
        return 1;
    }
    if (s->count <= 0) {
        s->count = 0;
        return 0;
    }
    s->columns = calloc((size_t)s->count, sizeof *s->columns);
    SQLSetStmtAttr(s->stmt, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)SQL_BIND_BY_COLUMN, 0);
    SQLSetStmtAttr(s->stmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)(SQLULEN)kFloorBlockRows, 0);
    SQLSetStmtAttr(s->stmt, SQL_ATTR_ROWS_FETCHED_PTR, &s->fetched, 0);
    for (SQLSMALLINT i = 0; i < s->count; ++i) {
        FloorColumn* column = &s->columns[i];
        SQLLEN display = 0;
        SQLColAttribute(s->stmt, (SQLUSMALLINT)(i + 1), SQL_DESC_DISPLAY_SIZE, NULL, 0, NULL, &display);
        const SQLLEN chars = display <= 0 || display > kFloorMaxChars ? kFloorMaxChars
                             : display < kFloorMinChars               ? kFloorMinChars
                                                                      : display;
        column->elementBytes = (chars + 1) * (SQLLEN)sizeof(SQLWCHAR);
        column->buffer = malloc((size_t)(column->elementBytes * kFloorBlockRows));
        column->indicators = malloc(sizeof(SQLLEN) * kFloorBlockRows);
        if (!floorSucceeded(SQLBindCol(s->stmt, (SQLUSMALLINT)(i + 1), SQL_C_WCHAR, column->buffer,
                                       column->elementBytes, column->indicators))) {
            fprintf(stderr, "cannot bind column %d of: %s\n", i + 1, sql);
            floorDiagnostics(SQL_HANDLE_STMT, s->stmt);
            floorClose(s);
            return 1;
        }
    }
    return 0;
}

/* Fetches the next block into the bound columns: 1 with fetched rows, 0 at the end, -1 on failure. */
static int floorFetch(FloorStatement* s, const char* sql) {
    if (s->count == 0) {
        return 0;
    }
    const SQLRETURN rc = SQLFetch(s->stmt);
    if (rc == SQL_NO_DATA) {
        return 0;
    }
    if (!floorSucceeded(rc)) {
        fprintf(stderr, "fetch failed: %s\n", sql);
        floorDiagnostics(SQL_HANDLE_STMT, s->stmt);
        return -1;
    }
    return 1;
}
