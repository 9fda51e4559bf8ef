#include "records/BrokerData.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "db/uDB.h"

#include <memory>
#include <stdexcept>

using namespace Qt::StringLiterals;

TBrokerData CurrentBroker;

bool LoadBroker(int agencyCode, TBrokerData& broker)
{
    const QString where = u"$2030"_s;
    try {
        TDataBase* db = DB();
        if (!db)
            throw std::runtime_error(Config::ErrDbNotOpen.toStdString());
        std::unique_ptr<TResultSet> r;
        int rows = 0;
        if (!db->Query(u"SELECT * FROM `W_Inmobiliarias` WHERE `Inmo_Codigo`=%1;"_s.arg(agencyCode), r, rows) || !r)
            throw std::runtime_error(Config::ErrQueryFailed.toStdString());
        if (rows < 1) {
            WriteLog(where, Config::ErrNoRecord);
            return false;
        }
        const auto text = [&](const char* column) { return r->AsString(QString::fromLatin1(column)); };
        const auto date = [&](const char* column) { return DbTextToDateTime(text(column)); };
        broker = {};
        broker.Code = r->AsInteger(u"Inmo_Codigo"_s);
        broker.Name = text("Inmo_Nombre");
        broker.Address = text("Inmo_Domicilio");
        broker.LocalityCode = r->AsInteger(u"Loc_Codigo"_s);
        broker.Phone = text("Inmo_Te");
        broker.Email = text("Inmo_email");
        broker.Website = text("Inmo_website");
        broker.HeadOffice = r->AsInteger(u"Inmo_CasaCentral"_s) == 1;
        broker.Auctioneer = text("Inmo_Martillero");
        broker.Registration = text("Inmo_Matricula");
        broker.BillingContact = text("Inmo_FactResponsable");
        broker.BillingPhone = text("Inmo_FactTe");
        broker.BillingEmail = text("Inmo_FactEmail");
        broker.BillingCompany = text("Inmo_FactRazonSocial");
        broker.BillingTaxNumber = text("Inmo_FactCUIT");
        broker.BillingAddress = text("Inmo_FactDireccion");
        broker.BillingPostalCode = text("Inmo_FactCP");
        broker.BillingLocality = text("Inmo_FactLocalidad");
        broker.Joined = date("Inmo_FechaIngreso");
        broker.Left = date("Inmo_FechaBaja");
        broker.Rejoined = date("Inmo_FechaReingreso");
        return true;
    } catch (const std::exception& e) {
        WriteLog(where, QString::fromUtf8(e.what()));
        return false;
    }
}
