#include "engine/ODBCExpEngineBase.h"

ODBCExpEngineBase::ODBCExpEngineBase(int options, QObject* parent) : ODBCDataAccess(options, 0, parent) {}

ODBCExpEngineBase::~ODBCExpEngineBase() = default;
