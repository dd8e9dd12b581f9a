// ODBCExpEngineBase: the base of the extraction engines that read an ODBC source. It adds no state and no
// behaviour of its own; it fixes the place of the engine in the task chain
// (... <- ODBCDataAccess <- AttendanceWriter <- ODBCExpEngineBase <- ExpEngine) so that an engine for
// another source system can share it.
//
// Owns: nothing beyond AttendanceWriter.
// REQUIRES: as AttendanceWriter (one thread).
#pragma once

#include "attendance/AttendanceWriter.h"

class ODBCExpEngineBase : public AttendanceWriter {
    Q_OBJECT
    Q_DISABLE_COPY(ODBCExpEngineBase)

  public:
    // options: the data access option bits; the database type starts unset (the engine chooses it).
    explicit ODBCExpEngineBase(int options, QObject* parent = nullptr);
    ~ODBCExpEngineBase() override;
};
