#include "writer/CDEWriter.h"

#include "libraries/support/XException.h"
#include "libraries/support/XFolderIterator.h"
#include "libraries/support/XTextFile.h"
#include "libraries/support/XTime.h"
#include "writer/ExtractSet.h"
#include "writer/PackedVersion.h"
#include "writer/SchoolConfig.h"
#include "writer/StagedFile.h"

#include <exception>

namespace {

const char RuleLine[] =
    "///////////////////////////////////////////////////////////////////////////////////////////\r\n";
static_assert(sizeof(RuleLine) == 91 + 2 + 1);

const char HeadersBlock[] = "// Import Files and Headers\r\n//\r\n\r\n";
const char TimePattern[] = "hh:NN:SS";

// The message of the exception being handled; empty for one that carries none.
XString currentExceptionMessage() {
    try {
        throw;
    } catch (const std::exception& e) {
        return XString(e.what());
    } catch (...) {
        return XString();
    }
}

}  // namespace

CDEWriter::CDEWriter(QObject* parent) : BridgeTaskBase(parent), m_customFields("", "", "", 1) {}

CDEWriter::~CDEWriter() {
    // An update file or an extract that was never finished is dropped (the importer must not see it).
    dropUpdate();
    m_extractSet.reset();
    ClearHeaders();
    for (SISExpCustomFieldList* list : m_extraCustomLists) {
        list->DeleteFields();
    }
    m_extraCustomLists.deleteAll();
}

XString CDEWriter::appInfo(const char* key) const {
    return XString(value(QString::fromLatin1(key)));
}

XFileSpec CDEWriter::importFolder() const {
    if (outputFolder().isEmpty()) {
        throw XException("The import folder is not set.");
    }
    return XFileSpec(outputFolder() + QLatin1Char('/'));
}

// --- Headers ---

void CDEWriter::BeginHeader(const XString& title, const XString& fileName, int includeKind) {
    m_currentTitle = title;
    m_currentFileName = fileName;
    PutJobText("Reading " + title + "...");
    auto* header = new SISExpHeader(title, fileName, includeKind);
    m_headers.append(header);
    m_currentHeader = header;
    ClearColumnBindings();
}

void CDEWriter::AddHeaderField(const XString& name) {
    if (name.isEmpty() || m_currentHeader == nullptr) {
        return;
    }
    m_currentHeader->addField(new SISExpHeaderField(name));
}

void CDEWriter::AddCustomField(const XString& name, const XString& title, const XString& kind,
                               const XString& format) {
    if (name.isEmpty()) {
        return;
    }
    m_customFields.AddField(name, title, kind, format);
}

void CDEWriter::EndHeader() {
    report(Debug, "Finished " + m_currentTitle + " table/query.");
}

void CDEWriter::ClearHeaders() {
    m_headers.deleteAll();
    m_currentHeader = nullptr;
}

void CDEWriter::AddColumnBinding(DataAccessField* field, const XString& columnName, ValueFormatter formatter,
                                 int command, const XString& fixedText, ColumnBinding::ValueKind valueKind) {
    m_bindings.push_back(
        ColumnBinding{field, columnName, fixedText, std::move(formatter), command, valueKind});
}

// --- Empty hooks ---

void CDEWriter::FieldHook(DataAccessField* /*field*/) {}

void CDEWriter::ImportHook() {}

void CDEWriter::CloseAttendanceCache() {}

XString CDEWriter::BindingValue(const ColumnBinding& binding) {
    struct Current {
        const ColumnBinding*& slot;
        ~Current() { slot = nullptr; }
    } current{m_currentBinding};
    m_currentBinding = &binding;
    return binding.formatter ? binding.formatter() : XString();
}

void CDEWriter::AppendBindingValue(const ColumnBinding& binding, std::string& out) {
    if (binding.valueKind == ColumnBinding::ValueKind::Formatted || !binding.formatter) {
        out += BindingValue(binding).toStdString();
        return;
    }
    struct Current {
        const ColumnBinding*& slot;
        ~Current() { slot = nullptr; }
    } current{m_currentBinding};
    m_currentBinding = &binding;
    AppendBoundValue(binding, out);
}

XDate CDEWriter::BindingDate(const ColumnBinding& binding) {
    XDate date;
    date.Parse(m_settings.dateFormat, BindingValue(binding));
    return date;
}

void CDEWriter::AppendBoundValue(const ColumnBinding& binding, std::string& out) {
    out += binding.formatter().toStdString();
}

// --- File blocks ---

void CDEWriter::WriteFileHead(XTextFile& file) {
    const XString title = appInfo("appTitle_");
    const XString type = appInfo("appType_");
    XDateTime built;
    built.Parse("MMM DD YYYY HH:NN:SS", appInfo("appBuildDate_"));

    file.writeText(RuleLine);
    file.writeText("// " + title + "\r\n");
    file.writeText("// " + type + "\r\n");
    file.writeText("// " + appInfo("appVersion_") + "\r\n");
    file.writeText("// " + built.Format("MMM DD, YYYY") + "\r\n");
    file.writeText("// \r\n");
    file.writeText("// Generated : " + XDateTime::Now().Format("MMM DD, YYYY HH:NN:SS") + "\r\n");
    for (int block = 0; block < 2; ++block) {
        file.writeText(RuleLine);
        file.writeText("\r\n");
        file.writeText(RuleLine);
    }
    file.writeText("// WARNING!\r\n");
    file.writeText("// This file is generated automatically by the " + title + "(" + type + ") \r\n");
    file.writeText("//  Do not edit this file directly. \r\n");
    for (int i = 1; i < m_extraCustomLists.count(); ++i) {
        const SISExpCustomFieldList* list = m_extraCustomLists.at(i);
        file.writeText("//\r\n// If you wish to import " + list->header().title() + ", please see " +
                       list->text() + " in the folder that\r\n//  contains this file.\r\n");
    }
    file.writeText(RuleLine);
    file.writeText("\r\n");
}

void CDEWriter::WritePragmas(XTextFile& file, bool update) {
    const WriterSettings& s = m_settings;
    auto pragma = [&file](const XString& line) { file.writeText(line + "\r\n\r\n"); };
    auto quoted = [](const XString& text) { return "\"" + text + "\""; };

    const XDateTime now = XDateTime::Now();
    if (update) {
        pragma("#pragma update " +
               quoted((m_updateStamp.IsNull() ? now : m_updateStamp).Format("YYYYMMDDHHNNSS")));
    }
    const XString creator = bridgeAlias().isEmpty() ? appInfo("appAlias_") : bridgeAlias();
    pragma("#pragma creator " + quoted(creator) + " " + quoted(appInfo("appVersion_")));
    if (!s.exportSource.isEmpty()) {
        pragma("#pragma exportsource " + quoted(s.exportSource));
    }
    if (s.verify) {
        pragma("#pragma verify");
    }
    setExportDateTime(now);
    pragma("#pragma exportdate " + quoted(now.Date().Format(s.dateFormat)));
    if (!s.schoolName.isEmpty()) {
        pragma("#pragma schoolname " + quoted(s.schoolName));
    }
    if (!s.nameFormat.isEmpty()) {
        pragma("#pragma nameformat " + quoted(s.nameFormat));
    }
    pragma("#pragma dateformat " + quoted(s.dateFormat));
    pragma("#pragma timeformat " + quoted(s.timeFormat));
    pragma("#pragma datetimeformat " + quoted(s.dateTimeFormat));
    if (s.gradesDontCreateSections) {
        pragma("#pragma gradesdontcreatesections");
    }
    if (s.attendanceDoesntCreateDates) {
        pragma("#pragma attendancedoesntcreatedates");
    }
    if (s.termsAreBins) {
        pragma("#pragma termsarebins");
    }
    if (s.courseKeyInSectionKey) {
        reportAndThrow(Critical, "CrsKeyInSecKey Pragma is deprecated. Do not use!");
    }
    const struct {
        const char* name;
        int count;
    } maxima[] = {
        {"maxexpectedtimeslots", s.maxExpectedTimeSlots}, {"maxexpecteddays", s.maxExpectedDays},
        {"maxexpectedterms", s.maxExpectedTerms},         {"maxexpectedperiods", s.maxExpectedPeriods},
        {"maxexpectedbins", s.maxExpectedBins},
    };
    for (const auto& maximum : maxima) {
        if (maximum.count != 0) {
            pragma(XString("#pragma ") + maximum.name + " " + quoted(XString(maximum.count)));
        }
    }
    if (!s.quotes.isEmpty()) {
        pragma("#pragma quotes " + s.quotes);
    }
    if (s.showInfo) {
        pragma("#pragma showinfo");
    }
    if (s.minVersion != 0) {
        pragma("#pragma minversion " + quoted(PackedVersion::Format(s.minVersion)));
    }
}

void CDEWriter::WriteTimingBlock(XTextFile& file) {
    m_endTime = XDateTime::Now();
    const XTime elapsed = XTime::Elapsed(m_startTime.Time(), m_endTime.Time());
    file.writeText("//  Timing \r\n//  Start: " + m_startTime.Time().Format(TimePattern) +
                   "\r\n//  End: " + m_endTime.Time().Format(TimePattern) +
                   "\r\n//  Difference: " + elapsed.Format(TimePattern) + "\r\n\r\n");
}

// --- Full extract ---

void CDEWriter::StartImport() {
    const char* method = "CDEWriter::StartImport";
    report(Informational, "Starting Import", method);
    m_updateMode = false;
    m_startTime = XDateTime::Now();
    report(Debug, "Clear Headers", method);
    ClearHeaders();
    report(Debug, "Clear Custom Field Lists", method);
    for (SISExpCustomFieldList* list : m_extraCustomLists) {
        list->DeleteFields();
    }
    // Every file of the extract is held back until the main file is complete (FinishImport).
    XFileSpec mainFile = importFolder();
    mainFile.setFileName(appInfo("appShortName_") + ".CDE");
    m_extractSet.reset();
    m_extractSet = std::make_unique<ExtractSet>(mainFile);
    report(Debug, "Start Import finished", method);
}

void CDEWriter::FinishImport() {
    report(Debug, "Begin Finish Import", "CDEWriter::FinishImport");
    XFileSpec spec = importFolder();
    spec.setFileName(appInfo("appShortName_") + ".CDE");

    XTextFile file;
    StagedFile staged(file);
    staged.open(spec);
    WriteFileHead(file);
    WritePragmas(file, false);

    file.writeText(RuleLine);
    file.writeText("// Custom Fields \r\n//\r\n\r\n");
    for (const SISExpCustomField* field : m_customFields) {
        file.writeText(field->Line());
    }
    file.writeText("\r\n");

    file.writeText(RuleLine);
    file.writeText(HeadersBlock);
    for (const SISExpHeader* header : m_headers) {
        if (header->fieldCount() > 0) {
            header->WriteSection(file);
        }
    }
    for (const SISExpCustomFieldList* list : m_extraCustomLists) {
        if (!list->isEmpty()) {
            file.writeText("// " + list->header().title() + "\r\n#include \"" + list->text() + "\"\r\n\r\n");
        }
    }
    WriteTimingBlock(file);
    staged.commit();
    if (m_extractSet) {
        m_extractSet->publish();
        m_extractSet.reset();
    }
}

// --- Update file ---

void CDEWriter::StartUpdate(XTextFile& file) {
    m_extractSet.reset();  // an extract that never finished stays unpublished
    // A second start without FinishUpdate drops the unfinished file; only when it is the same object is it
    // known to be alive, and is closed for reuse.
    if (m_updateStage && m_updateFile == &file) {
        m_updateStage->abandon();
    }
    dropUpdate();
    m_updateMode = true;
    m_startTime = XDateTime::Now();
    // The importer applies update files in name order, so a new file must sort after every one already in
    // the folder, also when an earlier run's clock was ahead: it takes the second after the latest stamp
    // when that is not before now. Two runs in one second must not share a name either: the second file
    // would replace the first before the importer has read it. The next free second is taken instead.
    XFileSpec spec = importFolder();
    m_updateStamp = m_startTime;
    XDateTime latest = LatestUpdateStamp(spec);
    if (!latest.IsNull() && latest >= m_updateStamp) {
        latest.AddInterval(0, 0, 0, 0, 0, 1);
        report(Warning,
               "An update file in the folder is stamped " + latest.Format("YYYY-MM-DD HH:NN:SS") +
                   " or later, after now (" + m_startTime.Format("YYYY-MM-DD HH:NN:SS") +
                   "): the clock is behind, or was ahead; the new update file takes the next stamp.");
        m_updateStamp = latest;
    }
    for (;;) {
        spec.setFileName("Update " + m_updateStamp.Format("YYYYMMDDHHNNSS") + ".CDU");
        // A temporary file of that name is a crashed run's leftover, which nobody reads: it is replaced.
        if (!spec.exists()) {
            break;
        }
        m_updateStamp.AddInterval(0, 0, 0, 0, 0, 1);
    }

    m_updateStage = std::make_unique<StagedFile>(file);
    try {
        m_updateStage->open(spec);
        m_updateFile = &file;
        WriteFileHead(file);
        WritePragmas(file, true);
        file.writeText(RuleLine);
        file.writeText(HeadersBlock);
    } catch (...) {
        m_updateStage.reset();
        m_updateFile = nullptr;
        throw;
    }
}

XDateTime CDEWriter::LatestUpdateStamp(const XFileSpec& folder) {
    XDateTime latest;
    XFolderIterator files(folder, "Update *.CDU");
    XFileSpec entry;
    for (bool more = files.first(entry); more; more = files.next(entry)) {
        // "Update " + yyyyMMddhhmmss + ".CDU"; other names that match the pattern are no update files.
        const QString name = entry.fileName().toQString();
        if (name.length() != 25) {
            continue;
        }
        // Strictly: a name such as "Update 20241399000000.CDU" holds no stamp (XDateTime's lenient parse
        // would roll it over into a later date).
        const XDateTime stamp = XDateTime::FromQDateTime(
            QDateTime::fromString(name.mid(7, 14), QStringLiteral("yyyyMMddHHmmss")));
        if (!stamp.IsNull() && (latest.IsNull() || stamp > latest)) {
            latest = stamp;
        }
    }
    return latest;
}

void CDEWriter::dropUpdate() noexcept {
    if (m_updateStage) {
        m_updateStage->discard();
    }
    m_updateStage.reset();
    m_updateFile = nullptr;
}

void CDEWriter::StartOwnedUpdate() {
    dropUpdate();
    m_ownedUpdateFile = std::make_unique<XTextFile>('\t');
    StartUpdate(*m_ownedUpdateFile);
}

void CDEWriter::FinishUpdate() {
    SealUpdate();
    PublishUpdate();
}

void CDEWriter::SealUpdate() {
    if (m_updateFile == nullptr || !m_updateStage) {
        return;
    }
    try {
        WriteTimingBlock(*m_updateFile);
        m_updateStage->seal();
    } catch (...) {
        dropUpdate();
        throw;
    }
}

bool CDEWriter::PublishUpdate() {
    if (!m_updateStage) {
        return true;
    }
    bool durable = false;
    try {
        m_updateStage->commit();
        durable = m_updateStage->placedDurably();
    } catch (...) {
        dropUpdate();
        throw;
    }
    m_updateStage.reset();
    m_updateFile = nullptr;
    return durable;
}

XFileSpec CDEWriter::UpdateFileSpec() const {
    return m_updateStage ? m_updateStage->finalSpec() : XFileSpec();
}

void CDEWriter::WriteCurrentHeaderHead() {
    if (m_updateFile == nullptr || m_currentHeader == nullptr) {
        throw XException("No update file or output table is open.");
    }
    m_currentHeader->WriteHead(*m_updateFile);
}

void CDEWriter::WriteCurrentHeaderFooter() {
    if (m_updateFile == nullptr) {
        throw XException("No update file is open.");
    }
    m_updateFile->writeText("*\r\n\r\n");
}

// --- Tables ---

void CDEWriter::writeRecord(XTextFile& file, bool firstRecord) {
    for (const ColumnBinding& binding : m_bindings) {
        m_currentBinding = &binding;
        const XString& name = binding.columnName;
        if (firstRecord) {
            report(Debug, "Getting curColumns field...");
            report(Proprietary, "Processing Field = " +
                                    (binding.field != nullptr ? name : XString("**Blank FieldName**")));
        }
        if (binding.formatter) {
            if (firstRecord) {
                report(Debug, "Getting valueStr");
            }
            if (binding.valueKind == ColumnBinding::ValueKind::Formatted) {
                file.writeField(binding.formatter());
            } else {
                m_value.clear();
                AppendBoundValue(binding, m_value);
                file.writeField(m_value.data(), static_cast<int>(m_value.size()));
            }
            if (firstRecord) {
                report(Debug, "Got valueStr");
                report(Proprietary, "Wrote = " + name);
            }
            continue;
        }
        if (firstRecord) {
            report(Debug, "Getting command");
            report(Debug, "Got command");
        }
        switch (binding.command) {
            case ColumnBinding::WriteFixedText:
                file.writeField(binding.fixedText);
                break;
            case ColumnBinding::EndLine:
                file.endLine();
                break;
            case ColumnBinding::HandToHook:
                FieldHook(binding.field);
                break;
            default:
                break;
        }
        if (firstRecord) {
            report(Debug, "Wrote Default Value Command " + XString(binding.command) + " for " + name);
            report(Debug, "Wrote the value = " + binding.fixedText);
        }
    }
    m_currentBinding = nullptr;
    file.endLine();
}

int CDEWriter::WriteTable(const RowFilter& filter, const XString& firstLine) {
    int count = 0;
    XTextFile tableFile;
    StagedFile staged(tableFile);
    try {
        report(Debug, "Opening Table");
        // A query that could not be run (the connection lost on every try) is no empty table: written as
        // one, it would empty the target's table.
        if (!OpenTable(true, RowPasses::Once)) {
            throw XException("the source could not be read");
        }
        report(Debug, "Writing " + m_currentFileName);

        XTextFile* out = nullptr;
        if (m_updateMode) {
            report(Debug, "Writing CDU File");
            WriteCurrentHeaderHead();
            report(Debug, "Wrote Current Header");
            out = m_updateFile;
        } else {
            report(Debug, "Writing CDE File");
            XFileSpec spec = importFolder();
            spec.setFileName(m_currentFileName);
            staged.open(spec);
            report(Debug, "Opened CDE FIle");
            out = &tableFile;
        }
        if (!firstLine.isEmpty()) {
            out->writeField(firstLine);
            out->endLine();
        }

        report(Debug, "Generating CDE Entries");
        for (bool more = GetFirstRecord(); more; more = GetNextRecord()) {
            if (filter && !filter()) {
                continue;
            }
            ++count;
            if (count == 1) {
                report(Debug, "Generating First CDE Entry");
                report(Debug, "Line Passed Filter");
            }
            writeRecord(*out, count == 1);
        }

        if (m_updateMode) {
            report(Debug, "Writing cdu footer");
            WriteCurrentHeaderFooter();
            report(Debug, "Finished CDU File. Lines= " + XString(count));
        } else {
            report(Debug, "Closing Table file");
            staged.commit();
            report(Debug, "Closed Table File. Lines= " + XString(count));
        }
        report(Debug, "Wrote " + m_currentFileName);
        return count;
    } catch (...) {
        m_currentBinding = nullptr;
        staged.abandon();
        report(Debug, "Error writing line= " + XString(count));
        const XString message = currentExceptionMessage();
        XString query;
        try {
            query = BuildQuery();
        } catch (...) {
            // The original failure matters more than a query text that cannot be built.
        }
        if (message.isEmpty()) {
            reportAndThrow(Critical, "Failed with unknown error while writing file [" + m_currentFileName +
                                         "] with query: " + query);
        }
        reportAndThrow(Critical, "Failed with error [" + message + "] while writing file [" +
                                     m_currentFileName + "] with query: " + query);
    }
}

// --- SchoolConfig.xml and the import folder ---

XDate CDEWriter::StoredUpdateDate(const QString& folder) {
    if (folder.isEmpty()) {
        return XDate();
    }
    return SchoolConfig::UpdateDate(XFileSpec(folder + QLatin1Char('/')));
}

XDateTime CDEWriter::StoredUpdateDateTime(const QString& folder) {
    if (folder.isEmpty()) {
        return XDateTime();
    }
    return SchoolConfig::UpdateDateTime(XFileSpec(folder + QLatin1Char('/')));
}

void CDEWriter::StartWriter() {
    report(Informational, "Starting CDE Writer");
    const XFileSpec folder = importFolder();
    m_globalFolder = SchoolConfig::Value(folder, "GlobalFolder");
    // Read before a change deletes the file: the overlap a school set outlives the clean-up.
    m_overlap = SchoolConfig::Value(folder, "OverlapInDays");
    if (ConfigurationChanged()) {
        report(Informational, "Bridge Configuration Changed.");
        DeleteUpdateFiles(folder);
        // Both stamps go: the save at the end of this run must not bring back an update date from before the
        // change, or the next attendance pass would skip what the deleted cache and folders held.
        setUpdateDate(XDate());
        setUpdateDateTime(XDateTime());
    } else {
        report(Informational, "Bridge Configuration Did Not Change.");
        distrustUpdateDateFromTheFuture();
    }
    report(Informational, QStringLiteral("Import Folder: ") + outputFolder());
}

void CDEWriter::distrustUpdateDateFromTheFuture() {
    // The stored stamps lie one day before the last attendance pass. A pass recorded after now was made
    // with the clock ahead (or the clock is behind now); reading from its date would skip every change made
    // between the real moment of that pass and its recorded one, so attendance is read from the school
    // start instead: the cache then sends only what really changed.
    XDateTime pass = updateDateTime();
    if (pass.Date().IsNull() || pass.Date().DayNumber() == 0) {
        pass = XDateTime(updateDate(), XTime(0, 0, 0));
    }
    if (pass.Date().IsNull() || pass.Date().DayNumber() == 0) {
        return;
    }
    pass.AddInterval(0, 0, 1);
    const XDateTime now = XDateTime::Now();
    if (pass <= now) {
        return;
    }
    report(Warning, "SchoolConfig.xml records the last attendance pass at " +
                        pass.Format("YYYY-MM-DD HH:NN:SS") + ", after now (" +
                        now.Format("YYYY-MM-DD HH:NN:SS") +
                        "): the clock was ahead then, or is behind now. Attendance is read again from the "
                        "school start, so that no change is missed.");
    setUpdateDate(XDate());
    setUpdateDateTime(XDateTime());
}

bool CDEWriter::ConfigurationChanged() {
    SchoolConfig::Entries stored;
    if (!SchoolConfig::Read(importFolder(), stored) || stored.size() != SchoolConfig::KeyCount) {
        return true;
    }
    const struct {
        const char* key;
        XString current;
        const char* label;
    } compared[] = {
        {"LastBridgeVersion", appInfo("appVersion_"), "Version Changed. Old="},
        {"LastDSN", DataSourceName(), "DSN Changed. Old="},
        {"LastDistrict", district(), "District Changed. Old="},
        {"LastMasterFile", m_masterFile, "MasterFile Changed. Old="},
        {"LastMasterFolder", m_masterFolder, "MasterFolder Changed. Old="},
        {"LastSchoolNumber", schoolNumber(), "School Changed. Old="},
        {"LastSchoolYear", schoolYear(), "Year Changed. Old="},
        {"LastSecurityFile", m_securityFile, "Security File Changed. Old="},
        {"SIS", bridgeAlias(), "SIS Changed. Old="},
    };
    for (const auto& [key, value] : stored) {
        for (const auto& item : compared) {
            if (key == item.key && value.toLower() != item.current.toLower()) {
                report(Informational, item.label + value + " new=" + item.current);
                return true;
            }
        }
    }
    return false;
}

namespace {

// Deletes every entry of folder matching pattern (files, and folders with their content), reporting each.
template <typename Report>
void deleteEntries(const XFileSpec& folder, const char* pattern, bool foldersOnly, Report report,
                   const char* found, const char* deleted) {
    XFolderIterator entries(folder, pattern, XFolderIterator::Folders);
    XFileSpec entry;
    for (bool more = entries.first(entry); more; more = entries.next(entry)) {
        if (foldersOnly && !entry.isFolder()) {
            continue;
        }
        report(found);
        entry.remove();
        report(deleted);
    }
}

}  // namespace

void CDEWriter::DeleteUpdateFiles(const XFileSpec& folder) {
    auto debug = [this](const char* text) { report(Debug, text); };
    try {
        debug("DeleteUpdateFiles: Assigned import folder");
        XFileSpec::deleteMatching(folder, "*.cdu");
        debug("Deleted cdu files");

        const XFileSpec config = SchoolConfig::FileIn(folder);
        debug("Changed FileName to SchoolConfig");
        config.remove();
        debug("Deleted SchoolConfig");

        // The importer's attendance folders beside the configuration; names compare without regard to
        // case, as on the file systems the importer came from.
        const XFileSpec parent = config.folder();
        debug("Got Parent Folder");
        debug("Appended PAT");
        deleteEntries(parent, "PAT", true, debug, "Found PAT Folder", "Deleted PAT Folder");
        debug("Reset CDE Folder");
        debug("Appended DAT Folder");
        deleteEntries(parent, "DAT", true, debug, "Found DAT Folder", "Deleted DAT Folder");
        debug("Assigned AATP Iterator");
        deleteEntries(parent, "AATP*", false, debug, "Iterating AATP Folder", "Deleted AATP Folder");
        debug("Assigned AATD Iterator");
        deleteEntries(parent, "AATD*", false, debug, "Iterating AATD Folder", "Deleted AATD Folder");

        try {
            CloseAttendanceCache();
            XFileSpec cache = folder;
            cache.appendFolder("Attendance");
            if (cache.isLink()) {
                // Not the folder's own cache: the link goes, what it points at stays.
                cache.remove();
            } else {
                // A journal left by a run that was killed would otherwise be rolled back into the new cache,
                // bringing back the rows marked as sent before the change.
                for (const char* name :
                     {"Attendance.db-journal", "Attendance.db-wal", "Attendance.db-shm", "Attendance.db"}) {
                    cache.setFileName(name);
                    cache.remove();
                }
            }
        } catch (const XException&) {
            debug("Attendance: Database could not be deleted");
        }

        // Nothing of this program sets a global folder; a hand-edited one would have this folder's change
        // drop the cache tables of whatever folder it names, another school's among them.
        if (!m_globalFolder.isEmpty()) {
            report(Warning, "SchoolConfig.xml names the global folder " + m_globalFolder +
                                ": it is left alone; a configuration change clears this folder's attendance "
                                "cache only.");
        }
    } catch (...) {
        reportAndThrow(
            Critical,
            "Error: Failed while trying to remove CDU Files.\n Please manually remove all .cdu files from "
            "the Import Directory, and try extracting again.\n" +
                currentExceptionMessage() + "\nExiting Extractor.");
    }
}

void CDEWriter::DeleteCDEFiles() {
    try {
        report(Debug, "DeleteCDEFiles: Assigned import folder");
        XFileSpec::deleteMatching(importFolder(), "*.cde");
    } catch (...) {
        reportAndThrow(
            Critical,
            "Error: Failed while trying to remove CDE Files.\n Please manually remove all .cde (except for "
            "CustomFieldConfig.cde) files from the Import Directory, and try extracting again.\n" +
                currentExceptionMessage() + "\nExiting Extractor.");
    }
}

void CDEWriter::SaveBridgeConfig() {
    XDate date = updateDate();
    if (date.IsNull() || date.DayNumber() == 0) {
        date = updateDateTime().Date();
    }
    if (!date.IsNull()) {
        date = date - 1;
    }
    XDateTime dateTime = updateDateTime();
    dateTime.SubtractInterval(0, 0, 1);
    if (dateTime.IsNull()) {
        dateTime = XDateTime(date);
    }

    SchoolConfig::Entries entries;
    entries["GlobalFolder"] = m_globalFolder;
    entries["LastBridgeLogLevel"] = "7";
    entries["LastBridgeVersion"] = appInfo("appVersion_");
    entries["LastDSN"] = DataSourceName();
    entries["LastDistrict"] = district();
    entries["LastMasterFile"] = m_masterFile;
    entries["LastMasterFolder"] = m_masterFolder;
    entries["LastSchoolNumber"] = schoolNumber();
    entries["LastSchoolYear"] = schoolYear();
    entries["LastSecurityFile"] = m_securityFile;
    entries["OverlapInDays"] = m_overlap;
    entries["SIS"] = bridgeAlias();
    entries["UpdateDate"] = date.Format(SchoolConfig::UpdateDatePattern);
    entries["UpdateDateTime"] = dateTime.Format(SchoolConfig::UpdateDateTimePattern);
    SchoolConfig::Write(importFolder(), entries);
}

void CDEWriter::FinishWriter() {
    m_extractSet.reset();
    SaveBridgeConfig();
    ClearHeaders();
    report(Progress, "Export complete.");
    emit writeProgress(QStringLiteral("bridge_complete"), -1);
}
