// SourceSession: one question put to the source outside a run (school validation, the school and teacher
// lists, the school's long name). It connects and starts an empty query declaration; when it goes out of
// scope, however the question ended, it closes the query and the connection. A failing close is not
// reported: by then the answer is known, or the failure that ended the question was reported already.
//
// Owns: nothing; it borrows the data access object for its lifetime.
// REQUIRES: access outlives the session; one session at a time on one data access object.
#pragma once

#include "dataaccess/ODBCDataAccess.h"

class SourceSession {
  public:
    // Connects with connectionString and clears the query declaration; lets a failure to connect through.
    SourceSession(ODBCDataAccess& access, const XString& connectionString);
    ~SourceSession();
    SourceSession(const SourceSession&) = delete;
    SourceSession& operator=(const SourceSession&) = delete;

  private:
    void close() noexcept;

    ODBCDataAccess& m_access;
};
