// PendingUpdate: the attendance cache's record of an update file whose rows are marked as sent before the
// file is in place. Marking and publishing cannot be one step (a file rename and a database commit), so the
// marks are committed first, together with this record: the file's name and, for every row marked, the
// code it was sent with before (for a table that held nothing before the run: that all its rows were
// unsent). Once the file is in place the record is cleared. A run that finds a record knows the last run
// stopped in between: when the file is in the folder the target has it and the record only goes; when it
// is not, the kept codes are put back, so that what the source holds now is sent again. Sending a row
// again is harmless (the target gets the code it holds); losing one is not.
//
// The record lives in the tables PENDING_UPDATE (name) and PENDING_SENT (tbl, stdkey, attdate, k, header,
// oldcode; a row whose stdkey is NULL stands for every row of its table).
//
// Owns nothing: it borrows the cache's connection.
// REQUIRES: the connection is open while it is used; one thread; the attendance tables are those of
// AttendanceCache.
#pragma once

#include "libraries/sqlitewrapper/Database.h"
#include "libraries/support/XFileSpec.h"
#include "libraries/support/XString.h"

class PendingUpdate {
  public:
    explicit PendingUpdate(sqlite::Database& database) : m_database(database) {}
    PendingUpdate(const PendingUpdate&) = delete;
    PendingUpdate& operator=(const PendingUpdate&) = delete;

    // Creates the record's tables when they are missing.
    void createTables();
    // Starts the record of the update file fileName (its name in the output folder), replacing any other.
    void begin(const XString& fileName);
    // Keeps the sent code of every row of table that condition selects, before they are marked.
    // keyColumn: the table's period or time frame column.
    void keepSentCodes(const XString& table, const char* keyColumn, const XString& condition);
    // Keeps that every row of table counts as unsent (the table held nothing before the run).
    void keepTableUnsent(const XString& table);
    // The recorded file's name; empty when there is no record (or no record table).
    XString fileName();
    // Puts back the kept codes and clears the record; answers the number of rows put back.
    int restore();
    // Forgets the record.
    void clear();

    // What settle() found: the recorded file's name (empty: no record), whether it was in place, and the
    // rows put back when it was not.
    struct Settlement {
        XString fileName;
        bool inPlace = false;
        int restored = 0;
    };
    // Settles a record that a run left when it stopped between its commit and its rename: when the recorded
    // file is in outputFolder the target has it and the record only goes; when it is not, the kept codes are
    // put back (restore). What the next run does first, and what a verification assumes it will.
    Settlement settle(const XFileSpec& outputFolder);

  private:
    bool tablesExist();

    sqlite::Database& m_database;
};
