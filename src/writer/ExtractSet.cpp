#include "writer/ExtractSet.h"

#include "libraries/support/XException.h"
#include "writer/StagedFile.h"

#include <unistd.h>
#include <QFile>
#include <algorithm>
#include <cerrno>

namespace {

ExtractSet* g_collecting = nullptr;

void unlinkQuietly(const XFileSpec& spec) {
    ::unlink(spec.native().constData());
}

}  // namespace

ExtractSet::ExtractSet(const XFileSpec& mainFile) : m_mainFile(mainFile) {
    g_collecting = this;
}

ExtractSet::~ExtractSet() {
    if (g_collecting == this) {
        g_collecting = nullptr;
    }
    dropPending();
}

ExtractSet* ExtractSet::collecting() {
    return g_collecting;
}

bool ExtractSet::holds(const XFileSpec& final) const {
    return final.folder() == m_mainFile.folder();
}

void ExtractSet::add(const XFileSpec& temporary, const XFileSpec& final) {
    const auto same = std::find_if(m_entries.begin(), m_entries.end(),
                                   [&](const Entry& entry) { return entry.final == final; });
    if (same != m_entries.end()) {
        unlinkQuietly(same->temporary);
        m_entries.erase(same);
    }
    m_entries.push_back({temporary, final});
}

void ExtractSet::publish() {
    if (g_collecting == this) {
        g_collecting = nullptr;
    }
    // The main file names the tables: the previous one goes before any table of this set appears.
    if (::unlink(m_mainFile.native().constData()) != 0 && errno != ENOENT) {
        const int error = errno;
        dropPending();
        XException::raise(error, "Error closing file: %s", m_mainFile.path().c_str());
    }
    std::stable_partition(m_entries.begin(), m_entries.end(),
                          [&](const Entry& entry) { return entry.final != m_mainFile; });
    while (!m_entries.empty()) {
        const Entry entry = m_entries.front();
        if (!StagedFile::moveIntoPlace(entry.temporary, entry.final)) {
            const int error = errno;
            dropPending();
            XException::raise(error, "Error closing file: %s", entry.final.path().c_str());
        }
        m_entries.erase(m_entries.begin());
    }
}

void ExtractSet::dropPending() noexcept {
    for (const Entry& entry : m_entries) {
        unlinkQuietly(entry.temporary);
    }
    m_entries.clear();
}
