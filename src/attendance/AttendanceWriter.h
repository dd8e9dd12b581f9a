// AttendanceWriter: the layer of the task chain (ODBCDataAccess <- AttendanceWriter <- ODBCExpEngineBase)
// that keeps attendance incremental. An attendance pass reads the declared attendance query of the source in
// date windows and stores what it finds in the attendance cache (StartAttTable, WriteAttendanceTable); the
// cached rows whose code changed since they were last sent are then written into the update file
// (CreateStudentAttendanceFromDB).
//
// No change is ever lost: the rows written are marked as sent only once the update file is complete, synced
// and in place under its real name (FinishUpdate), all marks of the run in one cache transaction. A run that
// stops before that leaves them unmarked, and the next run sends them again. A source that cannot be read
// or a row that cannot be stored ends the pass with an error, so the run does not move the update date past
// what it never read.
//
// Owns: the attendance cache, the key column name sets, the marks of the open update file.
// REQUIRES: one thread; the output folder is set before any cache operation; the engine declares the
// attendance query (with its change-date fields) between StartAttTable and WriteAttendanceTable.
#pragma once

#include "attendance/AttendanceCache.h"
#include "dataaccess/ODBCDataAccess.h"

#include <set>
#include <vector>

class AttendanceWriter : public ODBCDataAccess {
    Q_OBJECT
    Q_DISABLE_COPY(AttendanceWriter)

  public:
    explicit AttendanceWriter(int options, int dbType, QObject* parent = nullptr);
    ~AttendanceWriter() override;

    // Opens the cache under folder (the import folder when folder does not exist). False, with the reason
    // at Debug level, when it cannot be opened.
    bool SetAttendanceDatabase(const XFileSpec& folder);
    // Starts an attendance pass into the cache table ("DAILY_ATT" or "PERIOD_ATT"): opens the cache, creates
    // the table when missing, declares the pass's output header and takes the stored update date.
    // prepareUpdate widens the window by the stored overlap and blanks the new codes of that span first;
    // extendEnd reads each window one day further.
    void StartAttTable(const XString& table, bool prepareUpdate, bool extendEnd);
    // Reads the declared query window by window from the update date (or the school start) to today and
    // stores the records that pass filter. lastDay: the last window also covers the rest of today. Raises
    // when the source cannot be read or a record cannot be stored (the rows stored so far are kept).
    void WriteAttendanceTable(const XDate& schoolStart, const XDate& schoolEnd,
                              const RowFilter& filter = RowFilter(), bool lastDay = false);
    void BlankNewCodeInSQLiteDB(const XString& table, const XDate& from);

    // Daily, then period attendance from the cache into the update file.
    void CreateStudentAttendanceFromDB(bool filter) override;
    void CreateStudentDailyAttendanceFromDB(bool filter);
    void CreateStudentPeriodAttendanceFromDB(bool filter);

    // Whether the table of the global folder's cache is old enough to be dropped after a configuration
    // change; true when the cache cannot tell (it keeps no ages).
    virtual bool CheckCacheAge(const XString& table);

    // Begins the update file; the marks of an earlier, unfinished one are forgotten.
    void StartUpdate(XTextFile& file) override;
    // Puts the update file in place, then marks its rows as sent in one cache transaction. Raises when
    // either fails; unmarked rows are sent again by the next run.
    void FinishUpdate() override;

    void CloseAttendanceCache() override;
    void ResetGlobalAttendanceCache(const XFileSpec& globalFolder) override;

    AttendanceCache& attendanceCache() { return m_cache; }
    const std::set<XString>& periodKeys() const { return m_periodKeys; }
    const std::set<XString>& timeFrameKeys() const { return m_timeFrameKeys; }

  private:
    struct Mark {
        XString table;
        XString keyName;
        bool specialKey;
    };
    struct CachedTable {
        const char* table;
        const char* title;
        const char* fileName;
        const char* specialKey;
        const char* method;
        const char* missingText;
        const char* exportingText;
    };

    void storeCurrentRecord();
    void storeRecord(const AttendanceRecord& record);
    void warnOnce(const XString& text);
    void writeCachedTables(const CachedTable& spec, std::set<XString>& keys);
    void writeCachedTable(const CachedTable& spec, const XString& keyName);
    void commitMarks();

    AttendanceCache m_cache;
    XString m_table;
    bool m_extendEnd = false;
    std::set<XString> m_periodKeys;
    std::set<XString> m_timeFrameKeys{"AttTimeFrameRef"};
    bool m_warned = false;
    std::vector<Mark> m_marks;
};
