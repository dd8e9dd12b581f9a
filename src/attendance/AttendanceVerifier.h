// AttendanceVerifier: compares what the source holds with what an output folder has sent, without changing
// anything in the folder. The source's side is a scratch attendance cache that a verification pass loaded
// (every row it holds has its code as newcode). The folder's side is taken twice:
//   - what its cache records as sent (oldcode), from a snapshot of the cache, with the codes of an update
//     file that was marked as sent but never put in place put back, as the next run would;
//   - what its update files, applied in name order to an empty target, give (a row with a code sets its
//     key, a row without one removes it): what the target received.
// Rows are compared by student, date, key and key column name; only rows of the students given count on the
// folder's side (a student left out keeps his absences by design).
//
// Each side is read in key order, the order of its index, and the three meet in one pass.
//
// Owns its scratch tables (in the scratch cache's database) and the snapshot file in the scratch folder.
// REQUIRES: the scratch cache is open and outlives the verifier; one thread; the folder is not written by
// this process meanwhile.
#pragma once

#include "attendance/AttendanceCache.h"
#include "libraries/support/XFileSpec.h"

#include <QStringList>

#include <functional>
#include <vector>

class AttendanceVerifier {
  public:
    // dateFormat: the update files' date format (the writer's).
    AttendanceVerifier(AttendanceCache& scratch, const XFileSpec& scratchFolder, const XString& dateFormat);
    AttendanceVerifier(const AttendanceVerifier&) = delete;
    AttendanceVerifier& operator=(const AttendanceVerifier&) = delete;

    // Takes the snapshot of importFolder's cache. False, with the reason in problem, when there is none or
    // it cannot be read.
    bool readCache(const XFileSpec& importFolder, QString& problem);
    // Applies importFolder's update files in name order. False, with the reason, when one cannot be read.
    bool readUpdateFiles(const XFileSpec& importFolder, QString& problem);
    // The update files read, in name order.
    const QStringList& updateFiles() const { return m_files; }

    // One kind of difference of one table: what the folder's side lacks, holds beyond the source, or holds
    // with another code.
    struct Finding {
        // In the order the findings are reported; compare() counts them by these values.
        enum class Side { UpdateFiles, Cache };
        enum class Kind { Lacks, Extra, Differs };
        Side side = Side::UpdateFiles;
        QString table;  // "DAILY_ATT" or "PERIOD_ATT"
        Kind kind = Kind::Lacks;
        int count = 0;
        QStringList examples;  // the first few, "student date key (source code / folder code)"
    };
    static constexpr int ExampleCount = 5;
    // Compares both sides with the source for the students given; an empty list when they agree.
    std::vector<Finding> compare(const std::vector<XString>& students);
    // The rows with a code the source holds, per table.
    int sourceRows(const XString& table);

  private:
    XString example(const XString& student, const XString& isoDate, const XString& key, const XString& source,
                    const XString& folder) const;

    AttendanceCache& m_scratch;
    XFileSpec m_scratchFolder;
    XString m_dateFormat;
    QStringList m_files;
    bool m_cacheRead = false;
};
