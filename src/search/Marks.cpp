#include "search/Marks.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "db/uDB.h"

#include <memory>

using namespace Qt::StringLiterals;

namespace {

bool Change(const QString& code, const QString& sql)
{
    TDataBase* db = DB();
    if (!db) {
        WriteLog(code, Config::ErrDbNotOpen);
        return false;
    }
    int rows = 0;
    if (!db->Exec(sql, rows)) {
        WriteLog(code, TakeDbLastError());
        return false;
    }
    return true;
}

} // namespace

TMarks& Marks()
{
    static TMarks marks;
    return marks;
}

bool TMarks::Reload(int agencyCode, int userCode)
{
    m_agency = agencyCode;
    m_user = userCode;
    m_codes.clear();
    TDataBase* db = DB();
    std::unique_ptr<TResultSet> rows;
    int count = 0;
    if (!db ||
        !db->Query(
            u"SELECT * FROM `W_Marcas` WHERE `Inmo_Codigo`=%1 AND `Usuario_Codigo`=%2;"_s.arg(agencyCode).arg(userCode),
            rows, count) ||
        !rows) {
        WriteLog(u"$2053"_s, db ? TakeDbLastError() : Config::ErrDbNotOpen);
        return false;
    }
    for (rows->First(); !rows->Eof(); rows->Next())
        m_codes.append(rows->AsInt64(u"Prop_Codigo"_s));
    return true;
}

bool TMarks::Mark(qint64 code)
{
    if (IsMarked(code))
        return true;
    if (!Change(u"$2051"_s, u"INSERT INTO `W_Marcas` (`Inmo_Codigo`, `Usuario_Codigo`, `Prop_Codigo`) VALUES (%1, %2, "
                            u"%3);"_s.arg(m_agency)
                                .arg(m_user)
                                .arg(code)))
        return false;
    m_codes.append(code);
    return true;
}

bool TMarks::Unmark(qint64 code)
{
    if (!IsMarked(code))
        return true;
    if (!Change(u"$2052"_s, u"DELETE FROM `W_Marcas` WHERE `Inmo_Codigo`=%1 AND `Usuario_Codigo`=%2 AND "
                            u"`Prop_Codigo`=%3;"_s.arg(m_agency)
                                .arg(m_user)
                                .arg(code)))
        return false;
    m_codes.removeAll(code);
    return true;
}

bool TMarks::Clear()
{
    m_codes.clear();
    return Change(
        u"$2054"_s,
        u"DELETE FROM `W_Marcas` WHERE `Inmo_Codigo`=%1 AND `Usuario_Codigo`=%2;"_s.arg(m_agency).arg(m_user));
}

bool TMarks::Prune()
{
    return Change(u"$2055"_s, u"DELETE FROM `W_Marcas` WHERE `W_Marcas`.`Prop_Codigo` NOT IN (SELECT "
                              u"`W_Propiedades`.`Prop_Codigo` FROM `W_Propiedades` WHERE "
                              u"`W_Propiedades`.`Prop_Codigo`=`W_Marcas`.`Prop_Codigo` AND "
                              u"`W_Propiedades`.`Prop_Estado`=2);"_s);
}

void TMarks::Visit(qint64 code)
{
    if (!m_visited.contains(code))
        m_visited.append(code);
}
