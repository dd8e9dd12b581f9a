#include "engine/TransportAggregator.h"

std::optional<TransportAggregator::Line> TransportAggregator::add(const XString& pupilNumber,
                                                                  const Values& values) {
    std::optional<Line> completed;
    if (pupilNumber != m_key && !m_key.isEmpty()) {
        completed = takeLine();
    }
    m_key = pupilNumber;
    for (int i = 0; i < kValueColumns; ++i) {
        const XString& value = values[static_cast<size_t>(i)];
        XString& last = m_last[static_cast<size_t>(i)];
        if (value != last) {
            m_accumulated[static_cast<size_t>(i)] += value + "; ";
            last = value;
        }
    }
    return completed;
}

std::optional<TransportAggregator::Line> TransportAggregator::finish() {
    if (m_key.isEmpty()) {
        return std::nullopt;
    }
    Line line = takeLine();
    m_key = XString();
    return line;
}

TransportAggregator::Line TransportAggregator::takeLine() {
    Line line;
    line.reserve(kValueColumns + 1);
    line.push_back(m_key);
    for (int i = 0; i < kValueColumns; ++i) {
        line.push_back(m_accumulated[static_cast<size_t>(i)]);
        m_accumulated[static_cast<size_t>(i)] = XString();
        m_last[static_cast<size_t>(i)] = XString();
    }
    return line;
}
