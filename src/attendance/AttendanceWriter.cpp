#include "attendance/AttendanceWriter.h"

#include "attendance/AttendanceVerifier.h"
#include "attendance/AttendanceWindow.h"
#include "libraries/sqlitewrapper/SqlError.h"
#include "libraries/support/XException.h"
#include "libraries/support/XTextFile.h"
#include "writer/SchoolConfig.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const char* const kPeriodHeader = "AttPerRef";
// The key column names that range columns store their rows under.
const XString kPeriodRangeHeader(kPeriodHeader);
const XString kTimeSlotHeader("AttTimeSlot");
const char* const kTimeFrameHeader = "AttTimeFrameRef";

const char* const kOutputColumns[] = {"AttStdRef",  "AttDate", "",         "AttAttCodeRef", "AttAttReasonRef",
                                      "AttExcused", "AttAbs",  "AttTardy", "AttTruant",     "AttDiscipline"};

bool digitsOnly(const XString& text) {
    for (int i = 0; i < text.length(); ++i) {
        if (text.at(i) < '0' || text.at(i) > '9') {
            return false;
        }
    }
    return true;
}

// "Y"/"N" from a count column: a count of "0" means the other answer.
XString excusedFrom(const XString& value, bool zeroMeansExcused) {
    return (value == "0") == zeroMeansExcused ? "Y" : "N";
}

}  // namespace

AttendanceWriter::AttendanceWriter(int options, int dbType, QObject* parent)
    : ODBCDataAccess(options, dbType, parent) {}

AttendanceWriter::~AttendanceWriter() = default;

// --- The cache ---

bool AttendanceWriter::SetAttendanceDatabase(const XFileSpec& folder) {
    XFileSpec base = folder;
    XFileSpec path;
    try {
        if (!base.exists()) {
            report(Debug, "Folder does not exist" + base.path() + " trying: " + importFolder().path(),
                   "SetAttendanceDatabase");
            base = importFolder();
        }
        path = AttendanceCache::fileIn(base);
        m_cache.open(base);
        return true;
    } catch (const std::exception& e) {
        NoteAttendanceFailure(e);
        report(Debug, XString("Set Database: ") + e.what());
        report(Debug, "Tried to set: " + folder.path() + " tried: " + path.path());
        return false;
    }
}

void AttendanceWriter::CloseAttendanceCache() {
    m_cache.close();
}

// --- The attendance part of a run ---

std::optional<int> AttendanceWriter::ParseOverlap(const XString& text) {
    const QString digits = text.toQString().trimmed();
    if (digits.isEmpty() || digits.size() > 3) {
        return std::nullopt;
    }
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
    }
    const int days = digits.toInt();
    return days <= MaxOverlapDays ? std::optional<int>(days) : std::nullopt;
}

void AttendanceWriter::chooseOverlap(const XString& overlapOption) {
    const XString stored = overlap();  // OverlapInDays as the folder's SchoolConfig.xml held it
    std::optional<int> days;
    if (!overlapOption.isEmpty()) {
        days = ParseOverlap(overlapOption);
        if (!days) {
            report(Warning, "--overlapdays=" + overlapOption + " is not a number of days from 0 to " +
                                XString(MaxOverlapDays) + "; the folder's setting is used.");
        }
    }
    if (!days && !stored.isEmpty()) {
        days = ParseOverlap(stored);
        if (!days) {
            report(Warning, "OverlapInDays \"" + stored +
                                "\" in SchoolConfig.xml is not a number of days from 0 to " +
                                XString(MaxOverlapDays) + "; " + XString(DefaultOverlapDays) + " is used.");
        }
    }
    m_overlapDays = days.value_or(DefaultOverlapDays);
    setOverlap(XString(m_overlapDays));
}

void AttendanceWriter::chooseReconcileWindow(const XDate& schoolStart, const XDate& schoolEnd) {
    m_reconcileFrom = XDate();
    m_reconcileTo = XDate();
    const XString& format = settings().dateFormat;
    if (m_overlapDays == 0) {
        report(Informational,
               "Overlap 0 days: attendance is read by its change dates only; absences deleted at "
               "the source are not sent.");
        return;
    }
    // Within the school year, as the change window is: the last days of a year that has ended belong to
    // the update files of that year, not to the first one of the next.
    XDate to = XDate::Today();
    XDate from = to - m_overlapDays;
    if (!schoolStart.IsNull() && from < schoolStart) {
        from = schoolStart;
    }
    if (!schoolEnd.IsNull() && to > schoolEnd) {
        to = schoolEnd;
    }
    if (from > to) {
        report(Informational, "Overlap " + XString(m_overlapDays) +
                                  " days: none of them lies in the school year; absences are read by their "
                                  "change dates only.");
        return;
    }
    m_reconcileFrom = from;
    m_reconcileTo = to;
    report(Informational, "Overlap " + XString(m_overlapDays) + " days: every absence dated from " +
                              from.Format(format) + " to " + to.Format(format) +
                              " is compared with the source again, so corrections and deletions are sent.");
}

void AttendanceWriter::BeginAttendanceUpdate(const XString& overlapOption, const XDate& schoolStart,
                                             const XDate& schoolEnd) {
    AbortAttendanceUpdate();
    chooseOverlap(overlapOption);
    chooseReconcileWindow(schoolStart, schoolEnd);
    startOverWhenTheCacheIsLost();
    if (!SetAttendanceDatabase(importFolder())) {
        reportAndThrow(Error, "The attendance cache could not be opened: " +
                                  AttendanceCache::fileIn(importFolder()).path());
    }
    m_cache.createBookkeeping();
    resolvePendingUpdate();
    // A table that holds nothing yet (a first run, a start-over) is loaded: its rows go in as sent, and the
    // update file carries them all.
    for (const char* table : {AttendanceCache::PeriodTable, AttendanceCache::DailyTable}) {
        if (m_cache.isEmpty(table)) {
            m_loadTables.insert(table);
        }
    }
    m_cache.database().Execute("begin transaction");
    m_runTransaction = true;
}

XFileSpec AttendanceWriter::cacheBase() const {
    return m_scratchBase.isEmpty() ? importFolder() : m_scratchBase;
}

void AttendanceWriter::BeginAttendanceVerification(const XFileSpec& scratchFolder, const XDate& schoolStart,
                                                   const XDate& schoolEnd) {
    AbortAttendanceUpdate();
    m_cache.close();
    m_scratchBase = scratchFolder;
    // Every record of the school span up to today, whatever its change dates, and every record changed in it
    // (an absence dated later): all that any run of the year can have sent.
    setUpdateDate(XDate());
    setUpdateDateTime(XDateTime());
    m_reconcileFrom = schoolStart;
    m_reconcileTo = XDate::Today();
    if (!schoolEnd.IsNull() && m_reconcileTo > schoolEnd) {
        m_reconcileTo = schoolEnd;
    }
    if (m_reconcileFrom.IsNull() || m_reconcileFrom > m_reconcileTo) {
        m_reconcileFrom = m_reconcileTo;
    }
    const XString& format = settings().dateFormat;
    report(Informational, "Verify: the source's attendance of " + m_reconcileFrom.Format(format) + " to " +
                              m_reconcileTo.Format(format) + " is compared with what the folder has sent.");
    m_cache.open(m_scratchBase);
    for (const char* table : {AttendanceCache::PeriodTable, AttendanceCache::DailyTable}) {
        m_cache.createTable(table);
        m_loadTables.insert(table);
    }
    m_cache.database().Execute("begin transaction");
    m_runTransaction = true;
}

bool AttendanceWriter::FinishAttendanceVerification() {
    const XString& format = settings().dateFormat;
    sqlite::Database& scratch = m_cache.database();
    if (scratch.InTransaction()) {
        scratch.Execute("commit transaction");
    }
    m_runTransaction = false;
    m_loadTables.clear();
    AttendanceVerifier verifier(m_cache, m_scratchBase, format);
    QString problem;
    QElapsedTimer clock;
    clock.start();
    bool read = verifier.readCache(importFolder(), problem);
    report(Debug, "Verify: the cache read in " + XString(static_cast<long long>(clock.restart())) + " ms.");
    read = read && verifier.readUpdateFiles(importFolder(), problem);
    report(Debug,
           "Verify: the update files read in " + XString(static_cast<long long>(clock.restart())) + " ms.");
    if (!read) {
        report(Error, "Verify: the folder cannot be checked: " + XString(problem));
        return false;
    }
    const QStringList& files = verifier.updateFiles();
    report(Informational,
           "Verify: the source holds " + XString(verifier.sourceRows(AttendanceCache::PeriodTable)) +
               " period and " + XString(verifier.sourceRows(AttendanceCache::DailyTable)) +
               " daily absences of the " + XString(static_cast<long long>(m_includedStudents.size())) +
               " included students; the folder holds " + XString(static_cast<long long>(files.size())) +
               " update files" +
               (files.isEmpty() ? XString()
                                : " (" + XString(files.first()) + " to " + XString(files.last()) + ")") +
               ".");
    const std::vector<AttendanceVerifier::Finding> findings = verifier.compare(m_includedStudents);
    report(Debug, "Verify: compared in " + XString(static_cast<long long>(clock.restart())) + " ms.");
    int rows = 0;
    for (const AttendanceVerifier::Finding& finding : findings) {
        rows += finding.count;
        using Finding = AttendanceVerifier::Finding;
        const char* what = finding.kind == Finding::Kind::Lacks ? " absences of the source are missing"
                           : finding.kind == Finding::Kind::Extra
                               ? " absences are not in the source"
                               : " absences have another code than in the source";
        const XString table =
            finding.table == QLatin1String(AttendanceCache::PeriodTable) ? "period" : "daily";
        const XString side = finding.side == Finding::Side::Cache ? "cache" : "update files";
        report(Informational, "Verify: " + table + " attendance in the folder's " + side + ": " +
                                  XString(finding.count) + what + ": " +
                                  XString(finding.examples.join("; ")) +
                                  (finding.count > finding.examples.size() ? XString("; ...") : XString()));
    }
    if (rows == 0) {
        report(Informational, "Verify: the target's attendance equals the source's.");
        return true;
    }
    report(Informational,
           "Verify: the target's attendance differs from the source's (" + XString(rows) +
               " differences). A run with --overlapdays wide enough to reach the oldest date named "
               "sends the corrections; a start-over (remove SchoolConfig.xml) sends the whole year.");
    return false;
}

void AttendanceWriter::EndAttendanceVerification() noexcept {
    AbortAttendanceUpdate();
    m_cache.close();
    m_scratchBase = XFileSpec();
}

void AttendanceWriter::resolvePendingUpdate() {
    PendingUpdate& pending = m_cache.pending();
    if (pending.fileName().isEmpty()) {
        return;
    }
    sqlite::Database& database = m_cache.database();
    database.Execute("begin transaction");
    PendingUpdate::Settlement settled;
    try {
        settled = pending.settle(importFolder());
        database.Execute("commit transaction");
    } catch (...) {
        try {
            database.Execute("rollback transaction");
        } catch (...) {
            // The original failure is the one to report.
        }
        throw;
    }
    if (settled.inPlace) {
        // The last run stopped after its update file was in place: the target has it.
        report(Debug, "Attendance: the update file " + settled.fileName + " of the last run is in place.");
    } else {
        report(Warning, "The update file " + settled.fileName +
                            " was never put in place (the run that wrote it stopped first): its " +
                            XString(settled.restored) +
                            " rows count as not sent, and what the source holds for them now is sent.");
    }
}

void AttendanceWriter::AbortAttendanceUpdate() noexcept {
    m_reconciledTables.clear();
    m_loadTables.clear();
    m_reconcilePass = false;
    m_cache.discardStaged();
    if (!m_runTransaction) {
        return;
    }
    m_runTransaction = false;
    try {
        if (m_cache.database().InTransaction()) {
            m_cache.database().Execute("rollback transaction");
        }
    } catch (...) {
        // Closing the connection rolls back what is left.
        m_cache.close();
    }
}

void AttendanceWriter::startOverWhenTheCacheIsLost() {
    const XFileSpec file = AttendanceCache::fileIn(importFolder());
    if (file.exists()) {
        try {
            m_cache.open(importFolder());
            m_cache.check();
        } catch (const std::exception& e) {
            if (!AttendanceCache::isDamage(e)) {
                throw;
            }
            NoteAttendanceFailure(e);
        }
    }
    if (RecoverFromCacheDamage()) {
        return;
    }
    // The folder has sent attendance before when SchoolConfig.xml records a pass: its cache must be there,
    // or deletions and clears of what was sent would never be recognised. Asked of the file itself: the
    // run's own update date may have been set aside already (a pass recorded in the future).
    const auto recorded = [](const XDate& date) { return !date.IsNull() && date.DayNumber() != 0; };
    const bool sentBefore =
        recorded(StoredUpdateDate(outputFolder())) || recorded(StoredUpdateDateTime(outputFolder()).Date());
    if (!sentBefore) {
        return;
    }
    if (!file.exists()) {
        startOver(file, "is missing");
    } else if (!m_cache.tableExists(AttendanceCache::PeriodTable) &&
               !m_cache.tableExists(AttendanceCache::DailyTable)) {
        startOver(file, "holds no attendance");
    }
}

void AttendanceWriter::NoteAttendanceFailure(const std::exception& error) {
    if (AttendanceCache::isDamage(error) && m_cacheDamage.isEmpty()) {
        m_cacheDamage = error.what();
    }
}

bool AttendanceWriter::RecoverFromCacheDamage() {
    if (m_cacheDamage.isEmpty()) {
        return false;
    }
    const XString damage = m_cacheDamage;
    m_cacheDamage = XString();
    AbortAttendanceUpdate();
    m_cache.close();
    const XFileSpec file = AttendanceCache::fileIn(importFolder());
    startOver(file, "is damaged (" + damage + "); it is kept as " + setCacheAside(file).path());
    return true;
}

void AttendanceWriter::startOver(const XFileSpec& cacheFile, const XString& why) {
    report(Warning, "The attendance cache " + cacheFile.path() + " " + why +
                        ". Attendance starts over from the school start, as after a configuration change.");
    DeleteUpdateFiles(importFolder());
    setUpdateDate(XDate());
    setUpdateDateTime(XDateTime());
}

XFileSpec AttendanceWriter::setCacheAside(const XFileSpec& file) {
    // The damaged file is evidence: it keeps its journal beside it under the new name, and the cache that
    // replaces it starts empty.
    const QString stamp = XDateTime::Now().Format("YYYYMMDDHHNNSS").toQString();
    const QString from = file.path().toQString();
    QString to = from;
    to.chop(3);
    to += QStringLiteral("-damaged-") + stamp + QStringLiteral(".db");
    for (const char* companion : {"", "-journal", "-wal", "-shm"}) {
        const QString source = from + QLatin1String(companion);
        if (!QFileInfo::exists(source) && *companion != '\0') {
            continue;
        }
        if (::rename(QFile::encodeName(source).constData(),
                     QFile::encodeName(to + QLatin1String(companion)).constData()) != 0) {
            reportAndThrow(Error, "The damaged attendance cache " + XString(source) +
                                      " could not be set aside: " + XString(std::strerror(errno)));
        }
    }
    return XFileSpec(XString(to));
}

// --- Reading the source into the cache ---

void AttendanceWriter::StartAttTable(const XString& table, bool prepareUpdate, bool extendEnd) {
    m_table = table;
    m_loadingTable = m_loadTables.count(table) != 0;
    m_plan.clear();
    m_extendEnd = extendEnd;
    report(Informational,
           "Start Attendance Table at: " + XDateTime::Now().Format("dd/mm/yyyy|hh:nn:ss") + " ");

    SetAttendanceDatabase(cacheBase());
    try {
        m_cache.createTable(table);
    } catch (const std::exception& e) {
        NoteAttendanceFailure(e);
        report(Debug, "Attendance: Create Table Failed: " + table + ": " + e.what());
    }

    const bool daily = table == AttendanceCache::DailyTable;
    const XString title = daily ? "Student Daily Attendance" : "Student Period Attendance";
    const XString fileName = daily ? "StudentDailyAtt.cef" : "StudentPeriodAtt.cef";

    // The run's update date: read from SchoolConfig.xml when the run started, and forgotten since when the
    // configuration changed, the cache was lost or the date lay in the future.
    const XDate update = updateDate();
    report(Debug, "StartAttTable: After: Update Date is: " + update.Format(settings().dateFormat));
    // The change window finds what changed since the update date; the reconcile window also finds what is
    // gone: its absences are read again, and those no record holds are blanked when the table's records are
    // merged (once per table and run: the daily passes share a table).
    m_reconcilePass = prepareUpdate && !m_reconcileFrom.IsNull();
    if (m_reconcilePass) {
        m_reconciledTables.insert(table);
    }
    report(Debug,
           "StartAttTable: Before StartTable: Update Date is: " + update.Format(settings().dateFormat));
    BeginHeader(title, fileName, 0);
}

void AttendanceWriter::WriteAttendanceTable(const XDate& schoolStart, const XDate& schoolEnd,
                                            const RowFilter& filter, bool lastDay) {
    const XString& dateFormat = settings().dateFormat;
    const AttendanceWindow window(updateDate(), schoolStart, schoolEnd, lastDay);
    // Within the run's transaction the pass is part of it; alone, it is a transaction of its own, and its
    // records are merged at its end.
    const bool ownTransaction = !m_runTransaction;
    if (ownTransaction && !m_cache.database().InTransaction()) {
        m_cache.database().Execute("begin transaction");
    }
    try {
        XDate start = window.start();
        XDate end = window.end();
        report(Debug, "Update Date is: " + updateDate().Format(dateFormat));
        report(Debug, "startUpdateDate is: " + start.Format(dateFormat));
        report(Debug, "endUpdateDate is: " + end.Format(dateFormat));
        report(Debug, "School Start Date is: " + schoolStart.Format(dateFormat));
        report(Debug, "School End Date is: " + schoolEnd.Format(dateFormat));
        // One streamed query reads the whole change window, each record of the source once whatever the
        // span; in a reconciling pass the same query also reads every absence of the reconcile window.
        XString job = "Reading " + currentTitle();
        if (!start.IsNull()) {
            job += " (" + start.Format(dateFormat) + " to " + end.Format(dateFormat) + ")";
        }
        PutJobText(job + "...");
        if (m_extendEnd) {
            end += 1;
        }
        if (m_reconcilePass) {
            FilterAttendanceWithAbsences(start, end, m_reconcileFrom, m_reconcileTo);
        } else {
            FilterAttendance(start, end);
        }
        report(Proprietary, "Write Attendance Table: Done Filtering Attendance");
        // A span that cannot be read would be skipped for good: the update date moves past it.
        if (!OpenTable(true, RowPasses::Once)) {
            throw XException(("Write Attendance Table: the source could not be read for " +
                              start.Format(dateFormat) + " to " + end.Format(dateFormat) + ".")
                                 .toStdString());
        }
        report(Proprietary, "Write Attendance Table: Table Opened");
        readRecords(filter);
        if (ownTransaction) {
            mergeTable(m_table);
            m_cache.database().Execute("commit transaction");
        }
        ResetAttendanceFilter();
    } catch (...) {
        // A pass that did not finish is not kept: what it staged would be merged as if complete.
        report(Informational, "Write Attendance Table: Failed with Error.  Cleaning up.");
        if (ownTransaction) {
            try {
                m_cache.database().Execute("rollback transaction");
            } catch (...) {
                // The original failure is the one to report.
            }
            m_cache.discardStaged();
        }
        ResetAttendanceFilter();
        throw;
    }
}

void AttendanceWriter::mergeTable(const XString& table) {
    const bool reconciled = m_reconciledTables.count(table) != 0;
    AttendanceCache::Reconcile window;
    if (reconciled) {
        window = AttendanceCache::Reconcile{m_reconcileFrom, m_reconcileTo, &m_includedStudents};
    }
    const AttendanceCache::MergeCounts counts = m_cache.merge(table, window);
    m_reconciledTables.erase(table);
    report(Debug, "Attendance: " + table + ": " + XString(counts.records) + " records read, " +
                      XString(counts.written) + " rows written, " + XString(counts.blanked) +
                      " absences of the reconcile window gone.");
    if (counts.held > 0) {
        report(Warning, "Attendance: " + XString(counts.held) + " of the " + XString(counts.coded) +
                            " absences of the reconcile window in " + table +
                            " are gone at the source at once; they are sent as gone only when the next run "
                            "finds them gone again.");
    }
}

void AttendanceWriter::SetIncludedStudents(std::vector<XString> students) {
    m_includedStudents = std::move(students);
}

void AttendanceWriter::mergePasses() {
    for (const char* table : {AttendanceCache::PeriodTable, AttendanceCache::DailyTable}) {
        if (m_loadTables.count(table) != 0) {
            m_reconciledTables.erase(table);  // it held nothing to find gone
            continue;
        }
        if (m_cache.hasStaged(table) || m_reconciledTables.count(table) != 0) {
            try {
                mergeTable(table);
            } catch (const std::exception& e) {
                NoteAttendanceFailure(e);
                report(Debug, "Attendance: Merge: " + m_cache.lastStatement());
                throw;
            }
        }
    }
}

void AttendanceWriter::readRecords(const RowFilter& filter) {
    for (bool more = GetFirstRecord(); more; more = GetNextRecord()) {
        if (filter && !filter()) {
            continue;
        }
        storeCurrentRecord();
    }
}

void AttendanceWriter::warnOnce(const XString& text) {
    if (!m_warned) {
        m_warned = true;
        report(Warning, text);
    }
}

void AttendanceWriter::planColumns() {
    // The role of each bound output column, looked up once per pass instead of once per record.
    static const std::pair<const char*, Role> roles[] = {
        {"ATTSTDREF", Role::Student},
        {"ATTDATE", Role::Date},
        {"ATTPERREF", Role::PeriodKey},
        {"ATTSECREF", Role::PeriodKey},
        {"ATTTIMESLOT", Role::PeriodKey},
        {"ATTTIMEFRAMEREF", Role::TimeFrameKey},
        {"ATTATTCODEREF", Role::Code},
        {"ATTATTREASONREF", Role::Reason},
        {"ATTSTARTPERREF", Role::PeriodRangeStart},
        {"ATTENDPERREF", Role::PeriodRangeEnd},
        {"ATTSTARTTIMESLOT", Role::SlotRangeStart},
        {"ATTENDTIMESLOT", Role::SlotRangeEnd},
        {"ATTEXCUSED", Role::Excused},
        {"ATTABS", Role::Absent},
        {"ATTTARDY", Role::Tardy},
        {"ATTTRUANT", Role::Truant},
        {"ATTEXCABS", Role::ExcusedAbsent},
        {"ATTUNEXCABS", Role::UnexcusedAbsent},
        {"ATTEXCTARDY", Role::ExcusedTardy},
        {"ATTUNEXCTARDY", Role::UnexcusedTardy},
        {"ATTDISCIPLINE", Role::Discipline},
    };
    m_plan.clear();
    const XVectorOf<SISExpHeaderField>& fields = currentHeader()->fields();
    int n = 0;
    for (const ColumnBinding& binding : columnBindings()) {
        if (!binding.formatter) {
            continue;
        }
        const XString name = n < fields.count() ? fields.at(n)->name() : XString();
        ++n;
        const XString column = name.toUpper();
        Role role = Role::Unsupported;
        for (const auto& [text, candidate] : roles) {
            if (column == text) {
                role = candidate;
                break;
            }
        }
        m_plan.push_back(PlannedColumn{&binding, role, name});
    }
    m_keysJoined = false;
}

void AttendanceWriter::storeCurrentRecord() {
    if (m_plan.empty()) {
        planColumns();
    }
    AttendanceRecord record;
    XString rangeStart;
    XString rangeEnd;
    bool range = false;
    const XString* keyName = nullptr;  // the name joining a key name set, with the set
    bool timeFrame = false;
    for (const PlannedColumn& column : m_plan) {
        if (column.role == Role::Date) {
            // From its bound form where the layer below has one: no text made and parsed back.
            record.date = BindingDate(*column.binding);
            continue;
        }
        m_value.clear();
        AppendBindingValue(*column.binding, m_value);
        const XString value(m_value);
        switch (column.role) {
            case Role::Student:
                record.student = value;
                break;
            case Role::Date:
                break;
            case Role::PeriodKey:
            case Role::TimeFrameKey:
                record.key = value;
                record.header = column.name;
                keyName = &column.name;
                timeFrame = column.role == Role::TimeFrameKey;
                break;
            case Role::Code:
                record.code = value;
                break;
            case Role::Reason:
                record.reason = value;
                break;
            case Role::PeriodRangeStart:
            case Role::PeriodRangeEnd:
            case Role::SlotRangeStart:
            case Role::SlotRangeEnd: {
                const bool start =
                    column.role == Role::PeriodRangeStart || column.role == Role::SlotRangeStart;
                (start ? rangeStart : rangeEnd) = value;
                range = true;
                timeFrame = column.role == Role::SlotRangeStart || column.role == Role::SlotRangeEnd;
                keyName = timeFrame ? &kTimeSlotHeader : &kPeriodRangeHeader;
                record.header = *keyName;
                break;
            }
            case Role::Excused:
                record.excused = value;
                break;
            case Role::Absent:
                record.absent = value;
                break;
            case Role::Tardy:
                record.tardy = value;
                break;
            case Role::Truant:
                record.truant = value;
                break;
            case Role::ExcusedAbsent:
            case Role::UnexcusedAbsent:
            case Role::ExcusedTardy:
            case Role::UnexcusedTardy: {
                const bool absence =
                    column.role == Role::ExcusedAbsent || column.role == Role::UnexcusedAbsent;
                (absence ? record.absent : record.tardy) = value;
                if (!value.isEmpty()) {
                    const bool unexcused =
                        column.role == Role::UnexcusedAbsent || column.role == Role::UnexcusedTardy;
                    record.excused = excusedFrom(value, unexcused);
                    warnOnce("SQLite Attendance: Untested header: " + column.name +
                             ", please ensure this is tested");
                }
                break;
            }
            case Role::Discipline:
                record.discipline = value;
                warnOnce("SQLite Attendance: Untested header: " + column.name +
                         ", please ensure this is tested");
                break;
            case Role::Unsupported:
                warnOnce("SQLite Attendance: Unsupported header: " + column.name + ", skipping.");
                break;
        }
    }
    // The key column's name joins its key name set with the pass's first record.
    if (!m_keysJoined && keyName != nullptr) {
        (timeFrame ? m_timeFrameKeys : m_periodKeys).insert(*keyName);
        m_keysJoined = true;
    }

    if (!range) {
        storeRecord(record);
        return;
    }
    if (!digitsOnly(rangeStart) || !digitsOnly(rangeEnd)) {
        report(Error, "SQLite Attendance: Unsupported header: " + record.header +
                          ", cannot continue because Periods or Timeframes are not numeric.");
        XException::raise(0, "SQLite Attendance: Unsupported header: %s, cannot continue.",
                          record.header.c_str());
    }
    const long long first = rangeStart.isEmpty() ? 0 : rangeStart.toInt64();
    const long long last = rangeEnd.isEmpty() ? 0 : rangeEnd.toInt64();
    for (long long number = first; number <= last; ++number) {
        record.key = XString(number);
        storeRecord(record);
    }
}

void AttendanceWriter::storeRecord(const AttendanceRecord& record) {
    try {
        if (m_loadingTable) {
            m_cache.load(m_table, record);
        } else {
            m_cache.stage(m_table, record);
        }
    } catch (const std::exception& e) {
        // A record that is not stored would never be sent: the pass ends, and the next run reads it again.
        report(Debug, "Attendance: Insert Row: " + m_cache.lastStatement());
        report(Debug, XString("Attendance: Insert Row: ") + e.what());
        throw;
    }
}

// --- Writing the cache into the update file ---

void AttendanceWriter::CreateStudentAttendanceFromDB(bool filter) {
    if (m_cache.isOpen()) {
        mergePasses();
    }
    CreateStudentDailyAttendanceFromDB(filter);
    CreateStudentPeriodAttendanceFromDB(filter);
}

void AttendanceWriter::CreateStudentDailyAttendanceFromDB(bool /*filter*/) {
    static const CachedTable daily{AttendanceCache::DailyTable,
                                   "Cached Daily Attendance",
                                   "StudentDailyAtt.cef",
                                   kTimeFrameHeader,
                                   "CreateStudentDailyAttendanceFromDB",
                                   "Daily Attendance Table does not exist, skipping",
                                   "Exporting Daily Attendance from DB"};
    writeCachedTables(daily, m_timeFrameKeys);
}

void AttendanceWriter::CreateStudentPeriodAttendanceFromDB(bool /*filter*/) {
    static const CachedTable period{AttendanceCache::PeriodTable,
                                    "Cached Period Attendance",
                                    "StudentPeriodAtt.cef",
                                    kPeriodHeader,
                                    "CreateStudentPeriodAttendanceFromDB",
                                    "Period Attendance Table does not exist, skipping",
                                    "Exporting Period Attendance from DB"};
    writeCachedTables(period, m_periodKeys);
}

void AttendanceWriter::writeCachedTables(const CachedTable& spec, std::set<XString>& keys) {
    if (!m_cache.isOpen()) {
        SetAttendanceDatabase(cacheBase());
    }
    bool exists = false;
    try {
        exists = m_cache.isOpen() && m_cache.tableExists(spec.table);
    } catch (const std::exception& e) {
        NoteAttendanceFailure(e);
        report(Debug, XString(spec.method) + " Error: " + e.what());
    }
    if (!exists) {
        PutJobText(spec.missingText);
        return;
    }
    report(Informational, spec.exportingText);
    if (keys.empty()) {
        keys.insert(spec.specialKey);
        report(Debug, XString(spec.method) +
                          ": Either no data returned or No Period Timeframe header set, assuming AttPerRef");
    }
    for (const XString& key : keys) {
        writeCachedTable(spec, key);
    }
}

void AttendanceWriter::writeCachedTable(const CachedTable& spec, const XString& keyName) {
    BeginHeader(spec.title, spec.fileName, 0);
    emit writeProgressIncrement(QString());
    for (const char* column : kOutputColumns) {
        AddHeaderField(*column != '\0' ? XString(column) : keyName);
    }
    WriteCurrentHeaderHead();

    const bool special = keyName == spec.specialKey;
    const bool loaded = m_loadTables.count(spec.table) != 0;
    const XString sql = loaded ? AttendanceCache::loadedRowsSql(spec.table, keyName, special)
                               : AttendanceCache::changedRowsSql(spec.table, keyName, special);
    int count = 0;
    try {
        report(Proprietary, "Attendance Query: " + sql);
        sqlite::Query rows(m_cache.database());
        rows.Prepare("%s", sql.c_str());
        XTextFile& out = *CurrentOutputFile();
        const XString& dateFormat = settings().dateFormat;
        while (rows.Step()) {
            ++count;
            XDate date;
            date.ParseIso(rows.StringColumnAt(1));
            out.writeField(rows.StringColumnAt(0));
            out.writeField(date.Format(dateFormat));
            out.writeField(rows.StringColumnAt(8));
            out.writeField(rows.StringColumnAt(10));
            for (int column = 2; column <= 7; ++column) {
                out.writeField(rows.StringColumnAt(column));
            }
            out.endLine();
        }
        report(Debug, "Students: Total:" + XString(attendanceStudentTotal()));
        report(Debug, "Students: Total After Filter:" + XString(attendanceStudentFiltered()));
        report(Debug, "Attendance Query: Wrote" + XString(count) + " records.");
        // Marked as sent only once the update file is in place (FinishUpdate).
        m_marks.push_back(Mark{spec.table, keyName, special, loaded});
    } catch (const std::exception& e) {
        NoteAttendanceFailure(e);
        // The rows of this table stay unmarked and are sent again by the next run.
        const bool period = XString(spec.table) == AttendanceCache::PeriodTable;
        report(period ? Warning : Debug,
               XString(spec.method) + (period ? " Warning: " : " Error: ") + e.what());
        report(Proprietary, "Update Query: UPDATE " + XString(spec.table) + " SET oldcode=newcode WHERE " +
                                AttendanceCache::changedCondition(keyName, special));
    }
    WriteCurrentHeaderFooter();
    setUpdateDateTime(XDateTime::Now());
    setUpdateDate(XDate::Today());
    emit writeProgressIncrement(QString());
    EndHeader();
}

// --- The update file ---

void AttendanceWriter::StartUpdate(XTextFile& file) {
    m_marks.clear();
    ODBCDataAccess::StartUpdate(file);
}

void AttendanceWriter::FinishUpdate() {
    std::vector<Mark> marks;
    marks.swap(m_marks);
    if (CurrentOutputFile() == nullptr) {
        AbortAttendanceUpdate();
        return;
    }
    try {
        SealUpdate();
        commitMarks(marks);
    } catch (...) {
        AbandonUpdate();
        AbortAttendanceUpdate();
        throw;
    }
    publishMarkedUpdate();
}

void AttendanceWriter::commitMarks(const std::vector<Mark>& marks) {
    m_runTransaction = false;
    m_reconciledTables.clear();
    sqlite::Database& database = m_cache.database();
    const XFileSpec file = UpdateFileSpec();
    try {
        if (!m_cache.isOpen()) {
            SetAttendanceDatabase(cacheBase());
        }
        if (!database.InTransaction()) {
            database.Execute("begin transaction");
        }
        // The marks and the record of the file they belong to are one commit, made before the file is in
        // place: a run that stops in between leaves the record, and the next run knows what to undo.
        m_cache.createBookkeeping();
        PendingUpdate& pending = m_cache.pending();
        pending.begin(file.fileName());
        int marked = 0;
        std::set<XString> loaded;
        for (const Mark& mark : marks) {
            if (mark.loaded) {
                // Written as sent already; should the file not arrive, the whole table is unsent.
                if (loaded.insert(mark.table).second) {
                    pending.keepTableUnsent(mark.table);
                }
                continue;
            }
            pending.keepSentCodes(mark.table, AttendanceCache::keyColumn(mark.table),
                                  AttendanceCache::changedCondition(mark.keyName, mark.specialKey));
            marked += m_cache.markSent(mark.table, mark.keyName, mark.specialKey);
        }
        m_loadTables.clear();
        database.Execute("commit transaction");
        report(Debug, "Attendance: marked " + XString(marked) + " rows as sent for " + file.fileName() + ".");
    } catch (const std::exception& e) {
        NoteAttendanceFailure(e);
        try {
            database.Execute("rollback transaction");
        } catch (...) {
            // A failed commit may have ended the transaction already.
        }
        reportAndThrow(Error, XString("Attendance: the rows of the update file could not be marked as sent; "
                                      "the update file is not put in place, and the next run sends them: ") +
                                  e.what());
    }
}

void AttendanceWriter::publishMarkedUpdate() {
    PendingUpdate& pending = m_cache.pending();
    bool durable = false;
    try {
        durable = PublishUpdate();
    } catch (const std::exception& e) {
        // Not in place: the marks go back at once (or, failing that, with the next run).
        try {
            const int rows = pending.restore();
            report(Debug,
                   "Attendance: " + XString(rows) + " rows of the update file count as not sent again.");
        } catch (const std::exception& undo) {
            NoteAttendanceFailure(undo);
            report(Debug,
                   XString("Attendance: the marks stay recorded for the next run to undo: ") + undo.what());
        }
        throw;
    }
    if (!durable) {
        // The file may not survive a power loss: the record stays, and the next run looks for the file.
        report(Warning,
               "The folder could not be synced after the update file was put in place; the next run "
               "checks that it is still there.");
        return;
    }
    try {
        pending.clear();
    } catch (const std::exception& e) {
        NoteAttendanceFailure(e);
        report(Debug,
               XString("Attendance: the record of the update file stays for the next run: ") + e.what());
    }
}
