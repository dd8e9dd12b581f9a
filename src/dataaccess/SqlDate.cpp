#include "dataaccess/SqlDate.h"

#include "dataaccess/DbType.h"
#include "libraries/support/XException.h"

namespace {

// Top Speed counts days from 28 December 1800.
constexpr int32_t topSpeedEpoch = 73410;

}  // namespace

XString SqlDate::literal(const XDate& date, int type, const XString& extractDatePattern) {
    switch (type) {
        case DbType::DBaseODBC:
        case DbType::Access:
            return "#" + date.Format("DD-MMM-YYYY") + "#";
        case DbType::DBaseXBase:
            return date.Format(extractDatePattern);
        case DbType::FoxProODBC:
        case DbType::FoxProDBF:
            return "{^" + date.Format("YYYY/MM/DD") + "}";
        case DbType::MSSQL:
        case DbType::SybaseOLE:
        case DbType::SybaseODBC:
        case DbType::LotusNotes:
            return "'" + date.Format("YYYY-MM-DD") + "'";
        case DbType::MySQL:
        case DbType::SQLite:
        case DbType::DB2:
        case DbType::Progress:
        case DbType::Mimer:
            return "'" + date.Format("yyyy-mm-dd") + "'";
        case DbType::Postgres:
            return date.Format("'MM/DD/YYYY'");
        case DbType::OracleODBC:
        case DbType::OracleOLE:
        case DbType::OracleMSDAORA: {
            const XString text = date.Format("'YYYYMMDD'");
            return text.isEmpty() ? text : "TO_DATE( " + text + ", 'YYYYMMDD' )";
        }
        case DbType::Informix: {
            const XString text = date.Format("MM/DD/YYYY");
            return text.isEmpty() ? text : "TO_DATE(\"" + text + "\",\"%m/%d/%Y\")";
        }
        case DbType::TopSpeed:
            return XString(static_cast<int>(date.DayNumber() - topSpeedEpoch));
        case DbType::CADatacom:
            return "'" + date.Format("yyyymmdd") + "'";
        default:
            throw XException("DB Type not defined for XODBC::SQLDate yet, feel free to do so.");
    }
}
