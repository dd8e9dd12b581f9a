// AttendanceWriter: the layer of the task chain (ODBCDataAccess <- AttendanceWriter <- ODBCExpEngineBase)
// that keeps attendance incremental. An attendance pass reads the declared attendance query of the source,
// streamed, and stages what it finds for the attendance cache (StartAttTable, WriteAttendanceTable); the
// staged records are merged into the cache, and the cached rows whose code changed since they were last sent
// are written into the update file (CreateStudentAttendanceFromDB).
//
// Corrections reach the target through the reconcile window: the absences of the last overlap days up to
// today (the run's --overlapdays, else the folder's OverlapInDays, else 14) are read again whatever their
// change dates, and a row of the window that no record holds has its code blanked, so a row deleted at the
// source, or moved to another day or period, is sent once with an empty code.
//
// No change is ever lost: the attendance part of a run (BeginAttendanceUpdate .. FinishUpdate) changes the
// cache in one transaction that commits only once the update file is complete, synced and in place under
// its real name, with its rows marked as sent. A run that stops before that leaves the cache as it was, and
// the next run sends the same changes again. A source that cannot be read or a row that cannot be stored
// ends the pass with an error, so the run does not move the update date past what it never read. A cache
// that is missing while the folder records sent attendance, or that is damaged, starts attendance over as a
// configuration change does (a damaged file is set aside, not deleted).
//
// Owns: the attendance cache, the key column name sets, the marks of the open update file.
// REQUIRES: one thread; the output folder is set before any cache operation; the engine declares the
// attendance query (with its change-date fields) between StartAttTable and WriteAttendanceTable.
#pragma once

#include "attendance/AttendanceCache.h"
#include "dataaccess/ODBCDataAccess.h"

#include <optional>
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

    // Starts the attendance part of a run: chooses the overlap (overlapOption: the run's --overlapdays text,
    // empty when not given; it is written back as OverlapInDays) and the reconcile window within the school
    // span, starts over when the cache is lost or damaged, opens the cache, settles an update file that the
    // last run marked as sent but may not have put in place, and begins the run's cache transaction (ended
    // by FinishUpdate or AbortAttendanceUpdate). Raises when the cache cannot be opened.
    void BeginAttendanceUpdate(const XString& overlapOption, const XDate& schoolStart = XDate(),
                               const XDate& schoolEnd = XDate());
    // The students the run includes: only their absences of the reconcile window can be found gone.
    void SetIncludedStudents(std::vector<XString> students);

    // Verification, which writes nothing into the output folder: the passes between Begin and Finish read
    // every record of the school span up to today (and every record changed in it) into a scratch cache
    // under scratchFolder, as a first run stores them; FinishAttendanceVerification compares them with what
    // the folder's cache records as sent and with what its update files give, reports the differences
    // (Informational, the first keys of each kind) and answers whether there are none. False too, with the
    // reason at Error level, when the folder cannot be read. End closes the scratch cache.
    void BeginAttendanceVerification(const XFileSpec& scratchFolder, const XDate& schoolStart,
                                     const XDate& schoolEnd);
    bool FinishAttendanceVerification();
    void EndAttendanceVerification() noexcept;
    // Ends the attendance part without sending: the cache goes back to where the run found it.
    void AbortAttendanceUpdate() noexcept;
    // Remembers a failure that says the cache file is damaged (others are passed over); the writer's own
    // operations note what they catch.
    void NoteAttendanceFailure(const std::exception& error);
    // After a damage was noted: ends the attendance part, sets the cache file aside and starts attendance
    // over (update files and state deleted, update date forgotten), with a Warning. False when no damage was
    // noted.
    bool RecoverFromCacheDamage();
    // The overlap in days and the reconcile window: the overlap's days before today, and today, within the
    // school span (both null when the overlap is 0 or no day of it lies in the school span).
    int overlapDays() const { return m_overlapDays; }
    const XDate& reconcileFrom() const { return m_reconcileFrom; }
    const XDate& reconcileTo() const { return m_reconcileTo; }
    // The overlap text as a number of days: 0 to MaxOverlapDays, nothing else.
    static std::optional<int> ParseOverlap(const XString& text);
    static constexpr int DefaultOverlapDays = 14;
    static constexpr int MaxOverlapDays = 366;

    // Starts an attendance pass into the cache table ("DAILY_ATT" or "PERIOD_ATT"): opens the cache, creates
    // the table when missing, declares the pass's output header and takes the run's update date.
    // prepareUpdate makes the pass reconcile: the first such pass of a table in the run blanks the new codes
    // of its rows dated in the reconcile window, and the pass reads every absence of the window again (the
    // declaration names the absence date, SetAttendanceDateField). extendEnd reads each window one day
    // further.
    void StartAttTable(const XString& table, bool prepareUpdate, bool extendEnd);
    // Reads the declared query from the update date (or the school start) to today in one streamed query,
    // then, in a reconciling pass, the absences of the reconcile window, and stores the records that pass
    // filter. lastDay: the last window also covers the rest of today. Raises when the source cannot be read
    // or a record cannot be stored; without the run's transaction the pass is its own, and is rolled back.
    void WriteAttendanceTable(const XDate& schoolStart, const XDate& schoolEnd,
                              const RowFilter& filter = RowFilter(), bool lastDay = false);

    // Daily, then period attendance from the cache into the update file.
    void CreateStudentAttendanceFromDB(bool filter) override;
    void CreateStudentDailyAttendanceFromDB(bool filter);
    void CreateStudentPeriodAttendanceFromDB(bool filter);

    // Begins the update file; the marks of an earlier, unfinished one are forgotten.
    void StartUpdate(XTextFile& file) override;
    // Seals the update file, marks its rows as sent and commits the cache (the run's transaction, or one of
    // its own) together with the record of the file, then puts the file in place and clears the record.
    // Raises when any of it fails: when the file is not in place its rows count as not sent (at once, or
    // when the next run finds the record without the file).
    void FinishUpdate() override;

    void CloseAttendanceCache() override;

    AttendanceCache& attendanceCache() { return m_cache; }
    const std::set<XString>& periodKeys() const { return m_periodKeys; }
    const std::set<XString>& timeFrameKeys() const { return m_timeFrameKeys; }

  private:
    struct Mark {
        XString table;
        XString keyName;
        bool specialKey;
        bool loaded;  // the table was loaded: its rows are marked as they are written
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

    void chooseOverlap(const XString& overlapOption);
    void chooseReconcileWindow(const XDate& schoolStart, const XDate& schoolEnd);
    void resolvePendingUpdate();
    // Where the cache is: the import folder's, or a verification's scratch folder.
    XFileSpec cacheBase() const;
    void startOverWhenTheCacheIsLost();
    void startOver(const XFileSpec& cacheFile, const XString& why);
    XFileSpec setCacheAside(const XFileSpec& file);
    void readRecords(const RowFilter& filter);
    // Merges the table's staged records into the cache (blanking its reconcile window when a pass of this
    // run reconciled it); mergePasses does so for every table with records or a window.
    void mergeTable(const XString& table);
    void mergePasses();
    void planColumns();
    void storeCurrentRecord();
    void storeRecord(const AttendanceRecord& record);
    void warnOnce(const XString& text);
    void writeCachedTables(const CachedTable& spec, std::set<XString>& keys);
    void writeCachedTable(const CachedTable& spec, const XString& keyName);
    void commitMarks(const std::vector<Mark>& marks);
    void publishMarkedUpdate();

    AttendanceCache m_cache;
    XString m_table;
    bool m_extendEnd = false;
    std::set<XString> m_periodKeys;
    std::set<XString> m_timeFrameKeys{"AttTimeFrameRef"};
    bool m_warned = false;
    std::vector<Mark> m_marks;

    // What each bound output column of the pass's declaration gives a record.
    enum class Role {
        Student,
        Date,
        PeriodKey,
        TimeFrameKey,
        Code,
        Reason,
        PeriodRangeStart,
        PeriodRangeEnd,
        SlotRangeStart,
        SlotRangeEnd,
        Excused,
        Absent,
        Tardy,
        Truant,
        ExcusedAbsent,
        UnexcusedAbsent,
        ExcusedTardy,
        UnexcusedTardy,
        Discipline,
        Unsupported
    };
    struct PlannedColumn {
        const ColumnBinding* binding;
        Role role;
        XString name;  // as declared
    };
    std::vector<PlannedColumn> m_plan;  // made from the first record of a pass (StartAttTable forgets it)
    std::string m_value;                // the text of the column being read, its buffer kept between records
    bool m_keysJoined = false;

    int m_overlapDays = 0;
    XDate m_reconcileFrom;
    XDate m_reconcileTo;
    bool m_reconcilePass = false;          // the current pass reads the reconcile window again
    std::set<XString> m_reconciledTables;  // tables whose reconcile window is still to blank
    bool m_runTransaction = false;         // BeginAttendanceUpdate's transaction is open
    std::vector<XString> m_includedStudents;
    std::set<XString> m_loadTables;  // tables that held nothing when the run's transaction began
    bool m_loadingTable = false;     // m_table is one of them: looked up once per pass, not per record
    XFileSpec m_scratchBase;         // a verification's scratch folder; empty for a run
    XString m_cacheDamage;           // what said the cache file is damaged, until recovered
};
