// "SchoolConfig.xml" of the import folder: the last run's settings and update stamps.
//
// The file is a small line-based XML without declaration, one element per line, CR LF line ends:
//   <SchoolConfig>
//   <Key KeyValue="value"/>      (one line per key, in byte order of the keys; values written unescaped)
//   </SchoolConfig>
// The reader is as tolerant as the importing side has always been: it looks only at the first attribute of
// each element and recognises an element only when both its name and that attribute are a known pair.
// The file is written under a temporary name and renamed into place (see StagedFile).
#pragma once

#include "libraries/support/XDate.h"
#include "libraries/support/XDateTime.h"
#include "libraries/support/XFileSpec.h"
#include "libraries/support/XString.h"

#include <map>

namespace SchoolConfig {

inline constexpr const char FileName[] = "SchoolConfig.xml";
inline constexpr const char UpdateDatePattern[] = "dd-mmm-yyyy";
inline constexpr const char UpdateDateTimePattern[] = "dd-mmm-yyyy hh:nn:ss";

// Key -> value, in byte order of the keys.
using Entries = std::map<XString, XString>;

struct Key {
    const char* key;
    const char* attribute;
};
// The fourteen keys in file order.
inline constexpr Key Keys[] = {
    {"GlobalFolder", "GlobalFolderValue"},
    {"LastBridgeLogLevel", "LastBridgeLogLevelValue"},
    {"LastBridgeVersion", "LastBridgeVersionValue"},
    {"LastDSN", "LastDSNValue"},
    {"LastDistrict", "LastDistrictValue"},
    {"LastMasterFile", "LastMasterFileValue"},
    {"LastMasterFolder", "LastMasterFolderValue"},
    {"LastSchoolNumber", "LastSchoolNumberValue"},
    {"LastSchoolYear", "LastSchoolYearValue"},
    {"LastSecurityFile", "LastSecurityFileValue"},
    {"OverlapInDays", "OverlapValue"},
    {"SIS", "SISValue"},
    {"UpdateDate", "UpdateDateValue"},
    {"UpdateDateTime", "UpdateDateTimeValue"},
};
inline constexpr int KeyCount = 14;
// The largest file read as a configuration; a larger one reads as none.
inline constexpr qint64 SizeLimit = 1 << 20;

// The file in folder.
XFileSpec FileIn(const XFileSpec& folder);

// Reads the recognised entries of the file in folder (a later element replaces an earlier one). False, with
// no entries, when the file is missing, unreadable or not a SchoolConfig file.
bool Read(const XFileSpec& folder, Entries& entries);
// Parses file bytes as Read does.
bool Parse(const XString& bytes, Entries& entries);

// One stored value; empty when absent.
XString Value(const XFileSpec& folder, const char* key);
// "UpdateDate" parsed with UpdateDatePattern; null when absent or unreadable.
XDate UpdateDate(const XFileSpec& folder);
// "UpdateDateTime" parsed with UpdateDateTimePattern; null when absent or unreadable.
XDateTime UpdateDateTime(const XFileSpec& folder);

// The file's bytes for entries (keys without a known attribute are left out).
XString Serialize(const Entries& entries);
// Replaces the file in folder with entries, atomically.
void Write(const XFileSpec& folder, const Entries& entries);

}  // namespace SchoolConfig
