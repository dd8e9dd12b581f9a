// CDEWriter: the layer of the task chain that turns declared output tables into the files the importing
// application reads: the main extract file (appShortName_ + ".CDE") with one table file (".cef") per table
// in a full extract, or one update file ("Update YYYYMMDDHHNNSS.CDU") in an attendance update. It also keeps
// the import folder's "SchoolConfig.xml": the change check at connect time (StartWriter), the clean-up of
// update state after a change (DeleteUpdateFiles) and the save at the end of every run (FinishWriter).
//
// The data access layer above implements the nine abstract operations (declaring and reading queries); the
// engine declares each table with BeginHeader / AddHeaderField / AddColumnBinding and writes it with
// WriteTable. Every file is written under a temporary name in the import folder and renamed into place
// once it is complete and synced, so a crash or a full disk never leaves a torn file under a real name. The
// files of a full extract are held back until the main file is complete and then moved in together, the
// main file last (ExtractSet), so a run that dies never leaves a mix of two runs under real names.
//
// Owns: the declared headers, the run's custom field list, the column bindings of the current table, the
// staging of the open update file (not the XTextFile object the engine supplies) and the configuration
// entries.
// REQUIRES: the output folder is set (Execute's SetCDEFolder) before any file operation; a file object given
// to StartUpdate(file) stays alive until FinishUpdate returns (it may be released earlier when the run stops
// with an exception: the unfinished file is then only deleted).
#pragma once

#include "libraries/support/XDate.h"
#include "libraries/support/XDateTime.h"
#include "libraries/support/XFileSpec.h"
#include "libraries/support/XString.h"
#include "libraries/support/XVector.h"
#include "task/BridgeTaskBase.h"
#include "writer/SISExpCustomFieldList.h"
#include "writer/SISExpHeader.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class DataAccessField;
class ExtractSet;
class StagedFile;
class XTextFile;

// A value formatter bound to an output column: reads the current binding (CDEWriter::CurrentBinding) and
// answers the column's text. Empty = none.
using ValueFormatter = std::function<XString()>;
// A row filter of WriteTable: answers whether the current record is written. Empty = every record.
using RowFilter = std::function<bool()>;

// One output column of the current table, in registration order.
struct ColumnBinding {
    enum Command { WriteFixedText = 1, EndLine = 2, HandToHook = 4 };
    // What the formatter computes, when the layer that reads values can write it without building the text:
    // Formatted, anything (the formatter is called); ColumnText, the field's text as an output column has it;
    // ColumnDate, the field's date in the writer's date format.
    enum class ValueKind { Formatted, ColumnText, ColumnDate };

    DataAccessField* field = nullptr;  // the source field the value is read from; not owned; may be null
    XString columnName;
    XString fixedText;         // written by command 1
    ValueFormatter formatter;  // when set, the command is not used
    int command = 0;
    ValueKind valueKind =
        ValueKind::Formatted;  // REQUIRES: Formatted unless the formatter computes that kind
};

// The pragmas' settings. The defaults are those of a new writer; the engine changes some of them.
struct WriterSettings {
    XString exportSource;
    XString schoolName;
    XString nameFormat;
    XString dateFormat = "mm/dd/yyyy";
    XString timeFormat = "HH:NN:SS AA";
    XString dateTimeFormat = "mm/dd/yyyy HH:NN:SS AA";
    bool verify = false;
    bool showInfo = false;
    bool gradesDontCreateSections = false;
    bool attendanceDoesntCreateDates = true;
    bool termsAreBins = false;
    bool courseKeyInSectionKey = false;  // deprecated: writing pragmas with it set fails
    int maxExpectedTimeSlots = 0;
    int maxExpectedDays = 0;
    int maxExpectedTerms = 0;
    int maxExpectedPeriods = 0;
    int maxExpectedBins = 0;
    XString quotes;
    uint32_t minVersion = 0;  // packed a.b.c.d (writer/PackedVersion.h); 0 = no pragma
};

class CDEWriter : public BridgeTaskBase {
    Q_OBJECT
    Q_DISABLE_COPY(CDEWriter)

  public:
    explicit CDEWriter(QObject* parent = nullptr);
    ~CDEWriter() override;

    // --- Virtual operations, in slot order ---

    // What binding command 4 hands the source field to; does nothing here.
    virtual void FieldHook(DataAccessField* field);
    // Connect time: the configuration change check; after a change the update state is deleted
    // (DeleteUpdateFiles) and the update date forgotten.
    virtual void StartWriter();
    // End of every run: saves SchoolConfig.xml, clears the headers, reports "Export complete." and sends
    // "bridge_complete".
    virtual void FinishWriter();
    // Begins a full extract: clears the update mode and the headers and starts collecting the extract's
    // files.
    virtual void StartImport();
    // Writes the main extract file and moves the collected files into place, the main file last.
    virtual void FinishImport();
    // Does nothing here.
    virtual void ImportHook();
    // Begins an update file on file (separator TAB, not open): its head, the pragmas and the headers block.
    // The file is written under a temporary name until FinishUpdate.
    virtual void StartUpdate(XTextFile& file);
    // Writes the timing block, closes the update file and moves it into place (SealUpdate, PublishUpdate).
    virtual void FinishUpdate();
    // The two halves of FinishUpdate, for a layer that records the update file's publication in between:
    // SealUpdate writes the timing block and makes the file complete and synced under its temporary name;
    // PublishUpdate moves it into place and answers whether the move is on disk (the folder synced after
    // it). Either raises when it fails, and the unfinished file is then deleted. Nothing when no update is
    // open (PublishUpdate then answers true).
    void SealUpdate();
    bool PublishUpdate();
    // The name the open update file takes when it is published; empty when no update is open.
    XFileSpec UpdateFileSpec() const;
    // Forgets the open update and deletes its unfinished file; it is never published.
    void AbandonUpdate() noexcept { dropUpdate(); }
    // StartUpdate on a file object that the writer owns itself.
    void StartOwnedUpdate();

    // The data access operations, implemented by the layer above.
    // Restricts the current query to records changed between from and to.
    virtual void FilterAttendance(const XDate& from, const XDate& to) = 0;
    virtual void ResetAttendanceFilter() = 0;
    // Writes the cached attendance that changed into the update file.
    virtual void CreateAttendanceFromDB() = 0;
    // How the rows of an opened query are read. Repeated: a step may go through them again from the first
    // record, and every pass must see the same rows, so the whole result is held. Once: front to back a
    // single time, as WriteTable does, so the rows are streamed from the source a block at a time.
    enum class RowPasses { Repeated, Once };
    // Runs the declared query (run is always true in this system); false when it was skipped.
    virtual bool OpenTable(bool run, RowPasses passes = RowPasses::Repeated) = 0;
    // Record stepping; false at the end. Only a result read once can fail on the way (the source breaks off
    // while rows are streamed): that throws rather than reading as the end.
    virtual bool GetFirstRecord() = 0;
    virtual bool GetNextRecord() = 0;
    // Deletes the query declaration.
    virtual void ClearQuery() = 0;
    // The SQL text of the declared query (also used in error messages; has no side effects on the
    // declaration).
    virtual XString BuildQuery() = 0;
    // The data source name of the connection ("LastDSN" of SchoolConfig.xml).
    virtual XString DataSourceName() = 0;

    // Deletes every "*.cde" file of the import folder. Not part of an extraction run.
    virtual void DeleteCDEFiles();

    // The attendance cache step of DeleteUpdateFiles, completed by the attendance layer: closing the cache
    // before its file under the import folder is deleted (nothing here).
    virtual void CloseAttendanceCache();

    // The update stamps of folder's SchoolConfig.xml; null when absent or unreadable.
    XDate StoredUpdateDate(const QString& folder) override;
    XDateTime StoredUpdateDateTime(const QString& folder) override;

    // --- Headers ---

    // Makes a new header current (and the title/file name the current table's), sends the job text
    // "Reading " + title + "...", and clears the column bindings.
    void BeginHeader(const XString& title, const XString& fileName, int includeKind = 0);
    // Appends a field to the current header. An empty name is no field (a binding without output column).
    void AddHeaderField(const XString& name);
    // Offers a custom field to the run's list; a name offered before (or empty) is ignored.
    void AddCustomField(const XString& name, const XString& title, const XString& kind,
                        const XString& format);
    // The end-of-table step: reports "Finished " + title + " table/query.".
    void EndHeader();
    // Deletes every header.
    void ClearHeaders();

    const XVectorOf<SISExpHeader>& headers() const { return m_headers; }
    SISExpHeader* currentHeader() const { return m_currentHeader; }
    const XString& currentTitle() const { return m_currentTitle; }
    const XString& currentFileName() const { return m_currentFileName; }
    const SISExpCustomFieldList& customFields() const { return m_customFields; }

    // --- Column bindings and tables ---

    void AddColumnBinding(DataAccessField* field, const XString& columnName, ValueFormatter formatter,
                          int command = 0, const XString& fixedText = XString(),
                          ColumnBinding::ValueKind valueKind = ColumnBinding::ValueKind::Formatted);
    void ClearColumnBindings() { m_bindings.clear(); }
    const std::vector<ColumnBinding>& columnBindings() const { return m_bindings; }
    // The binding whose value WriteTable is asking for (what the value formatters read); null outside.
    const ColumnBinding* CurrentBinding() const { return m_currentBinding; }

    // Writes the current table: opens its query, writes firstLine (when not empty) and one line per record
    // that passes filter into the table file (full extract) or the update file (update mode). Returns the
    // number of records written. Any failure is rethrown as "Failed with error [...] while writing file
    // [...] with query: ..." after the table file was closed.
    int WriteTable(const RowFilter& filter = RowFilter(), const XString& firstLine = XString());

    // The update file while an update is open (between StartUpdate and FinishUpdate), else null.
    XTextFile* CurrentOutputFile() const { return m_updateFile; }
    // Writes the current header's title and field lines / its closing "*" line into the update file.
    // REQUIRES: an update is open and a header is current.
    void WriteCurrentHeaderHead();
    void WriteCurrentHeaderFooter();

    bool updateMode() const { return m_updateMode; }
    WriterSettings& settings() { return m_settings; }
    const WriterSettings& settings() const { return m_settings; }
    const XDateTime& startTime() const { return m_startTime; }
    const XDateTime& endTime() const { return m_endTime; }

    // --- Import folder and SchoolConfig.xml ---

    // The output folder as a folder spec (ends in "/").
    XFileSpec importFolder() const;
    // Deletes the update state of folder: update files, SchoolConfig.xml, the importer's attendance folders
    // and the attendance cache. A symbolic link at any of these names is removed as a link; nothing it points
    // at is touched. Failures are reported at Critical level and rethrown with the manual-clean-up text.
    void DeleteUpdateFiles(const XFileSpec& folder);
    // Whether the stored configuration differs from the current one (reports the first difference).
    bool ConfigurationChanged();
    // Forgets the update date read from SchoolConfig.xml (with a Warning) when the pass it records lies
    // after now.
    void distrustUpdateDateFromTheFuture();
    // The latest stamp among the update file names of folder ("Update yyyyMMddhhmmss.CDU", any case); null
    // when there is none.
    static XDateTime LatestUpdateStamp(const XFileSpec& folder);
    // Writes SchoolConfig.xml from the current state (update stamps one day back).
    void SaveBridgeConfig();

    const XString& globalFolder() const { return m_globalFolder; }
    const XString& overlap() const { return m_overlap; }
    void setOverlap(const XString& overlap) { m_overlap = overlap; }
    const XString& masterFile() const { return m_masterFile; }
    const XString& masterFolder() const { return m_masterFolder; }
    const XString& securityFile() const { return m_securityFile; }

  protected:
    // The formatter's text of binding, with binding current while the formatter runs (what WriteTable does
    // for each value), for layers that read the bound values themselves.
    XString BindingValue(const ColumnBinding& binding);
    // The same text appended to out, without a string of its own where the binding's kind allows.
    void AppendBindingValue(const ColumnBinding& binding, std::string& out);
    // The date of a binding whose text is a date in the writer's date format: for a ColumnDate binding the
    // date as the layer above reads it (no text made and parsed back), else BindingValue parsed with the
    // date format (a null date when it does not parse).
    virtual XDate BindingDate(const ColumnBinding& binding);
    // Appends the text of a ColumnText or ColumnDate binding for the current record to out: what its
    // formatter answers, written by the layer that reads values without making the text first. Here: the
    // formatter's text.
    virtual void AppendBoundValue(const ColumnBinding& binding, std::string& out);
    // The value of an application information key ("appTitle_" ...) in the working code page.
    XString appInfo(const char* key) const;
    void WriteFileHead(XTextFile& file);
    void WritePragmas(XTextFile& file, bool update);
    void WriteTimingBlock(XTextFile& file);

  private:
    void writeRecord(XTextFile& file, bool firstRecord);
    // Forgets an unfinished update and deletes its temporary file. The caller's file object may already be
    // released (a run that stopped with an exception), so it is not touched.
    void dropUpdate() noexcept;

    XVectorOf<SISExpHeader> m_headers{5};
    SISExpHeader* m_currentHeader = nullptr;
    XString m_currentTitle;
    XString m_currentFileName;
    SISExpCustomFieldList m_customFields;
    XVectorOf<SISExpCustomFieldList> m_extraCustomLists{5};

    std::vector<ColumnBinding> m_bindings;
    const ColumnBinding* m_currentBinding = nullptr;
    std::string m_value;  // the value being written, kept to reuse its room

    WriterSettings m_settings;
    bool m_updateMode = false;
    XDateTime m_startTime;
    XDateTime m_endTime;
    XTextFile* m_updateFile = nullptr;
    XDateTime m_updateStamp;                       // the update file's name stamp, also its "#pragma update"
    std::unique_ptr<XTextFile> m_ownedUpdateFile;  // declared before the staging that may refer to it
    std::unique_ptr<StagedFile> m_updateStage;
    std::unique_ptr<ExtractSet> m_extractSet;  // the full extract being collected (StartImport..FinishImport)

    XString m_globalFolder;  // as SchoolConfig.xml held it, written back; nothing acts on it
    XString m_overlap;
    XString m_masterFile;
    XString m_masterFolder;
    XString m_securityFile;
};
