#include "records/ReasonLists.h"

#include "core/Config.h"
#include "core/Guarded.h"
#include "db/uDB.h"

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString ListCode(TReasonKind kind)
{
    return kind == TReasonKind::Withdrawal ? u"$2095"_s : u"$2094"_s;
}

} // namespace

QString ReasonListQuery(TReasonKind kind)
{
    if (kind == TReasonKind::Withdrawal)
        return u"SELECT `Baja_Codigo` AS c, `Baja_Nombre` AS x FROM `W_MotivosBaja` "_s
               u"WHERE `Baja_Codigo` > 1 ORDER BY `Baja_Codigo`;"_s;
    return u"SELECT `Standby_Codigo` AS c, `Standby_Nombre` AS x FROM `W_MotivosStandby` "_s
           u"WHERE `Standby_Codigo` > 1 ORDER BY `Standby_Codigo`;"_s;
}

bool LoadReasons(TReasonKind kind, std::vector<TReason>& reasons)
{
    reasons.clear();
    return Guarded(ListCode(kind), false, [&] {
        TDataBase* db = DB();
        if (!db)
            throw std::runtime_error(Config::ErrDbNotOpen.toStdString());
        std::unique_ptr<TResultSet> result;
        if (!db->QueryNoCount(ReasonListQuery(kind), result) || !result)
            throw std::runtime_error(Config::ErrQueryFailed.toStdString());
        std::vector<TReason> list;
        for (result->First(); !result->Eof(); result->Next())
            list.push_back({result->AsString(u"c"_s), result->AsString(u"x"_s).trimmed()});
        reasons = std::move(list);
        return true;
    });
}
