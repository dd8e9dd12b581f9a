#include "engine/ODBCExpEngineBase.h"

ODBCExpEngineBase::ODBCExpEngineBase(int options, QObject* parent) : AttendanceWriter(options, 0, parent) {}

ODBCExpEngineBase::~ODBCExpEngineBase() = default;
