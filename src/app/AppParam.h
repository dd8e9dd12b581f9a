// One declared parameter: what the host shows for a setting and how the command line accepts it.
//
// Records are created only by AppBase::setParam and owned by the registry for the life of the process.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// The parameter values: key -> text. Besides every option it holds internal keys ("command", "apppath",
// "logSchema") and the application information keys ("appTitle_", ...). A missing key reads as "".
using ParamValues = QMap<QString, QString>;

struct AppParam {
    QString key;
    QString name;
    QString group;
    QString type;
    QString help;
    QString defaultValue;
    // Keys whose values must be present before this parameter's values can be listed; only the keys
    // count. Starts with the single entry "" (which checks nothing).
    QMap<QString, QString> prerequisites{{QString(), QString()}};
    // Per-type settings reported by the params command (file extensions, number bounds, date range).
    QStringList options;
};
