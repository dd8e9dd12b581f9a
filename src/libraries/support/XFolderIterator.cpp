#include "libraries/support/XFolderIterator.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

XFolderIterator::XFolderIterator(const XFileSpec& folder, const XString& pattern, int kinds)
    : m_folder(folder),
      m_pattern(pattern.isEmpty() ? QStringLiteral("*.*") : pattern.toQString()),
      m_kinds(kinds) {
    if (!m_folder.isEmpty() && !m_folder.isFolder()) {
        m_folder.set(m_folder.toQString() + QLatin1Char('/'));
    }
}

bool XFolderIterator::first(XFileSpec& entry) {
    m_names.clear();
    m_index = 0;
    if (m_folder.isEmpty()) {
        return false;
    }
    const QDir dir(m_folder.toQString());
    const QFileInfoList infos = dir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& info : infos) {
        const QString name = info.fileName();
        if (!XFileSpec::matchesWildcard(name, m_pattern)) {
            continue;
        }
        if (info.isFile()) {
            m_names.append(name);
        } else if (info.isDir() && (m_kinds & Folders) && !name.startsWith(QLatin1Char('.'))) {
            m_names.append(name + QLatin1Char('/'));
        }
    }
    std::sort(m_names.begin(), m_names.end());
    return yield(entry);
}

bool XFolderIterator::next(XFileSpec& entry) {
    return yield(entry);
}

bool XFolderIterator::yield(XFileSpec& entry) {
    if (m_index >= m_names.size()) {
        return false;
    }
    const QString& name = m_names.at(m_index++);
    XFileSpec spec(m_folder);
    if (name.endsWith(QLatin1Char('/'))) {
        spec.appendFolder(name.chopped(1));
    } else {
        spec.setFileName(name);
    }
    entry = spec;
    return true;
}
