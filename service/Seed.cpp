#include "service/Seed.h"

#include "core/Config.h"
#include "service/DemoData.h"
#include "service/MasterStore.h"
#include "service/Pictures.h"
#include "service/Schema.h"
#include "service/ServiceText.h"

#include <QDate>
#include <QDir>
#include <QFile>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

const char* const kTermsText =
    "TÉRMINOS Y CONDICIONES DE USO DEL SERVICIO KORVEL INTERINMOBILIARIO\n\n"
    "1. El servicio reúne las propiedades que publican las inmobiliarias asociadas para que cada una "
    "pueda ofrecerlas a sus clientes.\n\n"
    "2. Cada inmobiliaria es responsable de la veracidad de los datos de sus propiedades y de contar "
    "con la autorización de sus propietarios para publicarlas.\n\n"
    "3. Los datos de las propiedades de otras inmobiliarias se usan solo para la intermediación entre "
    "inmobiliarias asociadas y no pueden copiarse ni publicarse fuera del sistema.\n\n"
    "4. Los usuarios y contraseñas son personales. La inmobiliaria debe dar de baja a los usuarios "
    "que ya no trabajen con ella.\n\n"
    "5. El abono mensual se informa desde el sistema. Las inmobiliarias con saldo pendiente pueden "
    "ver limitado el envío de novedades.\n\n"
    "6. El servicio puede modificar estos términos; la nueva versión se presenta para su aceptación "
    "al ingresar al sistema.";

} // namespace

QString DemoValidationKey(int agency)
{
    return u"DEMO"_s + ServiceText::Pad(agency, 4);
}

bool SeedDemoFolder(const QString& folder, const TSeedOptions& options, QString* error)
{
    const auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    QDir().mkpath(folder);
    TDemoOptions demo;
    demo.properties = options.properties;
    demo.photoFiles = options.photoFiles;
    demo.photoFolder = folder + u"/photos"_s;
    TDemoResult result;
    if (!GenerateDemoDatabase(folder + u"/master.db"_s, demo, result))
        return fail(result.error);

    TMasterStore store;
    if (!store.Open(folder, error))
        return false;
    TServiceDb& db = store.Db();
    try {
        TServiceDb::Transaction transaction(db);
        TStatement terms(db.Handle(), u"INSERT INTO `S_Terminos` VALUES (?, ?, ?);"_s);
        terms.BindAll({2.1, u"2026-10-01 00:00:00"_s, QString::fromUtf8(kTermsText)}).Run();

        // The demo database the generator writes for the own agency carries this key; a
        // client that starts from such a file is a known, validated installation.
        TStatement own(db.Handle(), u"SELECT `Inmo_Codigo`, `Sys_InstallKey` FROM `W_System`;"_s);
        while (own.Step())
            store.RegisterInstallKey(own.Text(1), int(own.Int(0)), true);

        std::vector<int> agencies;
        TStatement list(db.Handle(), u"SELECT `Inmo_Codigo`, `Inmo_Nombre` FROM `W_Inmobiliarias` ORDER BY 1;"_s);
        QDir().mkpath(folder + u"/logos"_s);
        while (list.Step()) {
            const int agency = int(list.Int(0));
            agencies.push_back(agency);
            QFile logo(store.LogoPath(agency));
            if (!logo.open(QIODevice::WriteOnly) || logo.write(DrawLogoPng(list.Text(1))) <= 0)
                return fail(u"cannot write "_s + logo.fileName());
        }
        TStatement account(db.Handle(), u"INSERT INTO `S_Cuentas` VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?);"_s);
        for (int agency : agencies) {
            store.SetValidationKey(agency, DemoValidationKey(agency));
            const double fee = 52500 + (agency % 7) * 2500;
            const bool owes = agency % 5 == 0;
            account
                .BindAll({agency, u"2026-11-%1"_s.arg(ServiceText::Pad(1 + agency % 9, 2)), fee, u"2026-11-30"_s,
                          owes ? fee : 0.0,
                          agency % 3 == 0 ? u"Bonificación del 10% por pago anticipado."_s : QString(), QString(),
                          u"Los importes incluyen IVA."_s, u"2026-11-30 09:30:00"_s})
                .Run();
        }
        transaction.Commit();
    } catch (const std::exception& e) {
        return fail(QString::fromUtf8(e.what()));
    }

    QDir().mkpath(folder + u"/help"_s);
    if (!WriteHelpPdf(folder + u"/help/ayuda.pdf"_s, u"1.0"_s))
        return fail(u"cannot write the help document"_s);
    QFile version(folder + u"/help/version.txt"_s);
    if (!version.open(QIODevice::WriteOnly) || version.write("1.0\n") <= 0)
        return fail(u"cannot write the help version"_s);
    return true;
}

bool BuildAgencyDatabase(const QString& path, int agency, const QString& installKey, QString* error)
{
    QFile::remove(path);
    sqlite3* db = nullptr;
    const QByteArray file = QFile::encodeName(path);
    const auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        if (db)
            sqlite3_close_v2(db);
        QFile::remove(path);
        return false;
    };
    if (sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        return fail(u"cannot create the installation database"_s);
    const QByteArray key = Config::DatabasePassword.toUtf8();
    if (sqlite3_key(db, key.constData(), int(key.size())) != SQLITE_OK)
        return fail(u"cannot encrypt the installation database"_s);
    try {
        Schema::Create(db);
    } catch (const std::exception& e) {
        return fail(QString::fromUtf8(e.what()));
    }
    sqlite3_stmt* s = nullptr;
    const char* sql = "INSERT INTO `W_System` (`Sys_Codigo`, `Inmo_Codigo`, `Sys_InstallKey`, `Sys_DataVersion`, "
                      "`Sys_PhotoDownloadMode`, `Sys_OptimizeDays`, `Sys_ListExpanded`, `Sys_DefaultOwnFilter`) "
                      "VALUES (1, ?, ?, -1, '0', '5', '1', '0');";
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK)
        return fail(QString::fromUtf8(sqlite3_errmsg(db)));
    const QByteArray keyText = installKey.toUtf8();
    sqlite3_bind_int(s, 1, agency);
    sqlite3_bind_text(s, 2, keyText.constData(), int(keyText.size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(s);
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE)
        return fail(QString::fromUtf8(sqlite3_errmsg(db)));
    sqlite3_close_v2(db);
    return true;
}
