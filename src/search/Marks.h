#pragma once

#include <QList>
#include <QString>

// The properties the user has marked while browsing, kept per agency and user in W_Marcas
// and mirrored here in the order they were loaded or added. Every change goes to the table
// first and reaches the set only when the statement succeeded.
class TMarks {
public:
    // The current user's marks, read afresh; false (set left empty) when they cannot be read.
    bool Reload(int agencyCode, int userCode);
    bool Mark(qint64 code);
    bool Unmark(qint64 code);
    // Empties the set and the user's rows.
    bool Clear();
    // Removes, for every user, the marks of properties that are missing or not current.
    static bool Prune();

    bool IsMarked(qint64 code) const { return m_codes.contains(code); }
    int Count() const { return int(m_codes.size()); }
    const QList<qint64>& Codes() const { return m_codes; }

    // Cards opened while dimming is on; memory only.
    void Visit(qint64 code);
    bool IsVisited(qint64 code) const { return m_visited.contains(code); }
    void ClearVisited() { m_visited.clear(); }

private:
    int m_agency = 0;
    int m_user = 0;
    QList<qint64> m_codes;
    QList<qint64> m_visited;
};

// The marks of this session.
TMarks& Marks();
