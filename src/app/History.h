#pragma once

#include <QStringList>

namespace app {

// A browsing history: entries and a current index (-1 when empty). Entering a
// known entry only moves to it; a new entry drops what lies after the current
// one and is appended.
class History {
public:
    void enter(const QString& entry)
    {
        const int at = int(m_entries.indexOf(entry));
        if (at >= 0) {
            m_current = at;
            return;
        }
        if (m_current >= 0 && m_current < m_entries.size() - 1)
            m_entries.erase(m_entries.begin() + m_current + 1, m_entries.end());
        m_entries.append(entry);
        m_current = int(m_entries.size()) - 1;
    }
    bool canBack() const { return m_current > 0; }
    bool canForward() const { return m_current >= 0 && m_current < m_entries.size() - 1; }
    // The entry before / after the current one, or empty when there is none.
    QString before() const { return canBack() ? m_entries.at(m_current - 1) : QString(); }
    QString after() const { return canForward() ? m_entries.at(m_current + 1) : QString(); }
    int current() const { return m_current; }
    QStringList entries() const { return m_entries; }
    void clear()
    {
        m_entries.clear();
        m_current = -1;
    }

private:
    QStringList m_entries;
    int m_current = -1;
};

} // namespace app
