// LogLevel: the level of a log line and of every report a task layer makes. The numbers are those of the
// log file and of the host's log messages, so they never change; lower is more severe.
//
// Progress reports also advance the host's progress bar, ProgressWarning advances it with a warning; levels
// Emergency to Informational also reach the console.
#pragma once

enum class LogLevel : int {
    None = -1,
    Emergency = 0,
    Alert = 1,
    Critical = 2,
    Error = 3,
    Warning = 4,
    Progress = 5,
    ProgressWarning = 6,
    Informational = 7,
    Debug = 8,
    Proprietary = 9,
};
