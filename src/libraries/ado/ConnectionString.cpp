#include "libraries/ado/ConnectionString.h"

#include "libraries/ado/ComError.h"

namespace ado {

namespace {

// One "key=value" pair. value is the value itself, braces and quotes taken off; braced says the text had it
// in braces, which the ODBC string keeps (a driver may expect them, as in Driver={SQLite3}).
struct Pair {
    QString key;
    QString value;
    bool braced = false;
};

// Splits "k=v;k2=v2" honouring ODBC braces ({...} with "}}" for "}") and ADO quotes ('...' or
// "..." with the quote doubled) around values. A brace or quote that is never closed is part of the value,
// which then runs to the next ";" as it stands.
QList<Pair> split(const QString& text) {
    QList<Pair> pairs;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const qsizetype keyStart = i;
        while (i < n && text[i] != u'=' && text[i] != u';') {
            ++i;
        }
        Pair pair;
        pair.key = text.mid(keyStart, i - keyStart).trimmed();
        if (i < n && text[i] == u'=') {
            ++i;
            while (i < n && text[i] == u' ') {
                ++i;
            }
            bool closed = false;
            if (i < n && (text[i] == u'{' || text[i] == u'\'' || text[i] == u'"')) {
                const QChar close = text[i] == u'{' ? QChar(u'}') : text[i];
                qsizetype j = i + 1;
                QString value;
                while (j < n) {
                    if (text[j] == close) {
                        if (j + 1 < n && text[j + 1] == close) {
                            value.append(close);
                            j += 2;
                            continue;
                        }
                        closed = true;
                        ++j;
                        break;
                    }
                    value.append(text[j]);
                    ++j;
                }
                if (closed) {
                    pair.value = value;
                    pair.braced = text[i] == u'{';
                    i = j;
                    while (i < n && text[i] != u';') {
                        ++i;  // anything after the closing mark up to ";" is ignored
                    }
                }
            }
            if (!closed) {
                const qsizetype end = text.indexOf(u';', i);
                pair.value = text.mid(i, (end < 0 ? n : end) - i).trimmed();
                i = end < 0 ? n : end;
            }
        }
        if (i < n && text[i] == u';') {
            ++i;
        }
        if (!pair.key.isEmpty()) {
            pairs.append(pair);
        }
    }
    return pairs;
}

QString braced(QString value) {
    return QStringLiteral("{") + value.replace(QStringLiteral("}"), QStringLiteral("}}")) + u'}';
}

// A value as ODBC reads it: braced when the text had it so, or when it could otherwise end the pair or be
// read back as another value (one that starts with a brace or a quote, or has blanks at either end).
QString odbcValue(const Pair& pair) {
    const QString& value = pair.value;
    if (pair.braced || value.contains(u';') || value.contains(u'}') || value.startsWith(u'{') ||
        value.startsWith(u'"') || value.startsWith(u'\'') || value != value.trimmed()) {
        return braced(value);
    }
    return value;
}

bool isKey(const QString& key, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (key.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

QString ConnectionString::toOdbc(const QString& adoConnectionString, const QString& user,
                                 const QString& password) {
    QStringList parts;
    for (const Pair& pair : split(adoConnectionString)) {
        QString key;
        if (isKey(pair.key, {"Provider"})) {
            const QString provider = pair.value.trimmed();
            if (!provider.isEmpty() && provider.compare(QLatin1String("MSDASQL"), Qt::CaseInsensitive) != 0 &&
                !provider.startsWith(QLatin1String("MSDASQL."), Qt::CaseInsensitive)) {
                throw ComError(ComError::ProviderNotFound, QStringLiteral("ADODB.Connection"),
                               QStringLiteral("Provider cannot be found. It may not be properly installed."));
            }
            continue;
        }
        if (isKey(pair.key, {"Persist Security Info"})) {
            continue;
        }
        if (isKey(pair.key, {"Data Source", "DSN"})) {
            key = QStringLiteral("DSN");
        } else if (isKey(pair.key, {"User ID", "UID"})) {
            if (!user.isEmpty()) {
                continue;
            }
            key = QStringLiteral("UID");
        } else if (isKey(pair.key, {"Password", "PWD"})) {
            if (!password.isEmpty()) {
                continue;
            }
            key = QStringLiteral("PWD");
        } else if (isKey(pair.key, {"Database"})) {
            key = QStringLiteral("DATABASE");
        } else {
            key = pair.key;
        }
        parts.append(key + u'=' + odbcValue(pair));
    }
    // Braced always: a user or password is taken as it stands, whatever characters it holds.
    if (!user.isEmpty()) {
        parts.append(QStringLiteral("UID=") + braced(user));
    }
    if (!password.isEmpty()) {
        parts.append(QStringLiteral("PWD=") + braced(password));
    }
    return parts.join(u';');
}

std::optional<ConnectionString::DsnLogin> ConnectionString::dsnLogin(const QString& odbcConnectionString) {
    DsnLogin login;
    bool hasDsn = false;
    bool hasUser = false;
    bool hasPassword = false;
    for (const Pair& pair : split(odbcConnectionString)) {
        bool* seen = nullptr;
        QString* target = nullptr;
        if (isKey(pair.key, {"DSN"})) {
            seen = &hasDsn;
            target = &login.dsn;
        } else if (isKey(pair.key, {"UID"})) {
            seen = &hasUser;
            target = &login.user;
        } else if (isKey(pair.key, {"PWD"})) {
            seen = &hasPassword;
            target = &login.password;
        } else {
            return std::nullopt;  // any other key needs SQLDriverConnect
        }
        if (*seen) {
            return std::nullopt;  // repeated keys: leave their reading to the driver
        }
        *seen = true;
        *target = pair.value;
    }
    if (!hasDsn || login.dsn.isEmpty()) {
        return std::nullopt;
    }
    return login;
}

QStringList ConnectionString::secrets(const QString& connectionString) {
    QStringList values;
    for (const Pair& pair : split(connectionString)) {
        if (isKey(pair.key, {"Password", "PWD"})) {
            if (!pair.value.isEmpty()) {
                values.append(pair.value);
            }
        }
    }
    return values;
}

}  // namespace ado
