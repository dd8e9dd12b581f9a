// ODBCExpEngineBase: the base of the extraction engines that read an ODBC source. It adds no state and no
// behaviour of its own; it fixes the place of the engine in the task chain
// (... <- ODBCDataAccess <- ODBCExpEngineBase <- ExpEngine) so that an engine for another source system
// can share it.
//
// Owns: nothing beyond ODBCDataAccess.
// REQUIRES: as ODBCDataAccess (one thread).
#pragma once

#include "dataaccess/ODBCDataAccess.h"

class ODBCExpEngineBase : public ODBCDataAccess {
    Q_OBJECT
    Q_DISABLE_COPY(ODBCExpEngineBase)

  public:
    // options: the data access option bits; the database type starts unset (the engine chooses it).
    explicit ODBCExpEngineBase(int options, QObject* parent = nullptr);
    ~ODBCExpEngineBase() override;
};
