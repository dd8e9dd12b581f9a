#include "attendance/PendingUpdate.h"

#include "attendance/AttendanceCache.h"
#include "dataaccess/SqlText.h"
#include "libraries/sqlitewrapper/Query.h"

void PendingUpdate::createTables() {
    m_database.Execute("CREATE TABLE IF NOT EXISTS PENDING_UPDATE (name TEXT NOT NULL)");
    m_database.Execute(
        "CREATE TABLE IF NOT EXISTS PENDING_SENT (tbl TEXT NOT NULL, stdkey, attdate, k, header, oldcode)");
}

void PendingUpdate::begin(const XString& fileName) {
    clear();
    m_database.Execute("INSERT INTO PENDING_UPDATE (name) VALUES (" + SqlText::quoted(fileName) + ")");
}

void PendingUpdate::keepSentCodes(const XString& table, const char* keyColumn, const XString& condition) {
    m_database.Execute("INSERT INTO PENDING_SENT (tbl, stdkey, attdate, k, header, oldcode) SELECT " +
                       SqlText::quoted(table) + ", stdkey, attdate, " + keyColumn +
                       ", header, oldcode FROM " + table + " WHERE " + condition);
}

void PendingUpdate::keepTableUnsent(const XString& table) {
    m_database.Execute("INSERT INTO PENDING_SENT (tbl) VALUES (" + SqlText::quoted(table) + ")");
}

bool PendingUpdate::tablesExist() {
    return m_database.HasTable("PENDING_UPDATE") && m_database.HasTable("PENDING_SENT");
}

XString PendingUpdate::fileName() {
    if (!tablesExist()) {
        return XString();
    }
    sqlite::Query query(m_database);
    query.Prepare("SELECT name FROM PENDING_UPDATE LIMIT 1");
    return query.Step() ? query.StringColumnAt(0) : XString();
}

int PendingUpdate::restore() {
    int restored = 0;
    for (const char* table : {AttendanceCache::DailyTable, AttendanceCache::PeriodTable}) {
        const XString t = table;
        const XString k = AttendanceCache::keyColumn(t);
        if (!m_database.HasTable(t)) {
            continue;
        }
        const XString mine = "p.tbl = " + SqlText::quoted(t);
        restored += m_database.Execute("UPDATE " + t +
                                       " SET oldcode = NULL WHERE EXISTS (SELECT 1 FROM "
                                       "PENDING_SENT AS p WHERE " +
                                       mine + " AND p.stdkey IS NULL)");
        restored +=
            m_database.Execute("UPDATE " + t + " SET oldcode = p.oldcode FROM PENDING_SENT AS p WHERE " +
                               mine + " AND p.stdkey = " + t + ".stdkey AND p.attdate = " + t +
                               ".attdate AND p.k = " + t + "." + k + " AND p.header = " + t + ".header");
    }
    clear();
    return restored;
}

PendingUpdate::Settlement PendingUpdate::settle(const XFileSpec& outputFolder) {
    Settlement settlement;
    settlement.fileName = fileName();
    if (settlement.fileName.isEmpty()) {
        return settlement;
    }
    XFileSpec file = outputFolder;
    file.setFileName(settlement.fileName);
    settlement.inPlace = file.exists();
    if (settlement.inPlace) {
        clear();
    } else {
        settlement.restored = restore();
    }
    return settlement;
}

void PendingUpdate::clear() {
    if (!tablesExist()) {
        return;
    }
    m_database.Execute("DELETE FROM PENDING_UPDATE");
    m_database.Execute("DELETE FROM PENDING_SENT");
}
