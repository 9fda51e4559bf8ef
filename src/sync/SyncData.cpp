#include "sync/SyncData.h"

#include "core/Bugs.h"
#include "core/FormatSettings.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/DBSchema.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "records/PhotoFiles.h"
#include "sync/Import.h"
#include "sync/Sync.h"
#include "sync/WireProtocol.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

std::function<void()> g_refresh;
TPhotoDownloadPanel* g_panel = nullptr;
bool g_fetching = false;

const QString kSyncFailed = u"No se pudo completar la actualización de datos."_s;
const QString kImportFailed = u"No se pudieron incorporar los datos recibidos."_s;
const QString kCannotSave = u"No se pudo guardar la versión de los datos."_s;
const QString kFullImportFailed = u"No se pudieron cargar los datos recibidos. Intente nuevamente."_s;

// Locally created properties of the agency whose copy under a service code has come back
// with the import: the generation code they were created with identifies them.
const QString kArrivedCopies =
    u"SELECT `L`.`Prop_Codigo` AS c FROM `W_Propiedades` `L` WHERE `L`.`Inmo_Codigo` = %1 AND `L`.`Prop_Codigo` > "
    u"2147473646 AND IFNULL(`L`.`Prop_CodigoGeneracion`, '') <> '' AND EXISTS (SELECT 1 FROM `W_Propiedades` `S` "
    u"WHERE `S`.`Prop_Codigo` < 2147473647 AND `S`.`Prop_CodigoGeneracion` = `L`.`Prop_CodigoGeneracion`);"_s;
// Pending marks of rows that the service has answered for: a locally created row still
// marked whose service copy exists is removed; nothing else is touched, so a change that
// has not been sent stays pending.
const QString kStateStatement =
    u"DELETE FROM `%1` WHERE `Sync_Tipo` = \"%2\" AND `Prop_Codigo` > 2147473646 AND `Prop_CodigoGeneracion` IN "
    u"(SELECT `Prop_CodigoGeneracion` FROM `%1` WHERE `Prop_Codigo` < 2147473647 AND "
    u"IFNULL(`Prop_CodigoGeneracion`, '') <> '');"_s;
const QString kStateCount = u"SELECT COUNT(*) AS c FROM `%1` WHERE `Sync_Tipo` = \"%2\" AND `Inmo_Codigo` = %3;"_s;

bool DeleteByList(const QString& code, const QString& table, const QString& key, const QString& list)
{
    if (list.trimmed().isEmpty())
        return true;
    TDataBase* db = DB();
    if (!db || !db->ExecNoCount(u"DELETE FROM `%1` WHERE `%2` IN (%3);"_s.arg(table, key, list))) {
        WriteLog(code, TakeDbLastError());
        return false;
    }
    return true;
}

bool Scalar(const QString& code, const QString& sql, qint64& value)
{
    std::unique_ptr<TResultSet> result;
    TDataBase* db = DB();
    if (!db || !db->QueryNoCount(sql, result) || !result || result->RecordCount() == 0) {
        WriteLog(code, TakeDbLastError());
        return false;
    }
    value = result->AsInt64At(0);
    return true;
}

// Photo names come from the service; only the program's own pattern may become a path.
bool IsPhotoFileName(const QString& name)
{
    static const QRegularExpression pattern(u"^w_\\d{1,10}_\\d{1,10}\\.jpg$"_s);
    return pattern.match(name).hasMatch();
}

} // namespace

int LocalDataVersion()
{
    bool ok = false;
    const int version = ReadSetting(Setting::DataVersion).trimmed().toInt(&ok);
    return ok ? version : -1;
}

void SetAfterSyncRefresh(std::function<void()> refresh)
{
    g_refresh = std::move(refresh);
}

void SetPhotoDownloadPanel(TPhotoDownloadPanel* panel)
{
    g_panel = panel;
}

QString SyncIncremental(const TSessionValues& session)
{
    const QString code = u"$3104"_s;
    QString error = kSyncFailed;
    const int version = LocalDataVersion();
    WriteLog(code, u"DataVersion=%1"_s.arg(version));
    SinkLog(u"Última actualización: %1, versión de datos %2"_s.arg(
        FormatDateTimeText(u"dd-mmm-yy hh:nn:ss"_s, LastSyncTime()), QString::number(version)));

    // The answer stays packed; the import unpacks it a piece at a time.
    QByteArray envelope;
    const QString requestError = RequestIncrementalDataPacked(session, version, envelope);
    if (!requestError.isEmpty()) {
        error = requestError;
    } else {
        TEnvelopeReader answer(envelope, Wire::ResponsePreambleLength, ImportLimits().maxAnswer);
        const TImportResult imported = ImportTables(answer, version);
        if (!imported.ok) {
            error = imported.tooLarge ? TableDataTooLargeText() : kImportFailed;
        } else if (!imported.changed) {
            error.clear();
            WriteLog(code, u"Los datos están actualizados."_s);
            SinkLog(u"Los datos están actualizados."_s);
        } else {
            error = CleanupAfterSync();
            if (error.isEmpty()) {
                if (!WriteSetting(Setting::DataVersion, QString::number(imported.dataVersion)) ||
                    !WriteSetting(Setting::LastSyncTime, imported.serverTime)) {
                    error = kCannotSave;
                } else {
                    LoadInstallContext();
                    if (g_refresh)
                        g_refresh();
                    WriteLog(code, u"Actualización de datos finalizada."_s);
                    SinkLog(u"Actualización de datos finalizada."_s);
                }
            }
        }
    }
    if (!error.isEmpty())
        WriteLog(code, error);
    return error;
}

QString ImportFullData(const TSessionValues& session)
{
    const QString code = u"$3103"_s;
    QString error;
    TImportResult imported;
    {
        QByteArray envelope;
        error = RequestFullDataPacked(session, envelope);
        if (!error.isEmpty())
            return error;
        TEnvelopeReader answer(envelope, Wire::ResponsePreambleLength, ImportLimits().maxAnswer);
        imported = ImportTables(answer, -1);
    }
    if (!imported.ok) {
        error = imported.tooLarge ? TableDataTooLargeText() : kFullImportFailed;
    } else if (!WriteSetting(Setting::DataVersion, QString::number(imported.dataVersion)) ||
               !WriteSetting(Setting::LastSyncTime, imported.serverTime)) {
        // Without them the next synchronisation would download and import everything again.
        error = kCannotSave;
    } else {
        WriteLog(code, u"DataVersion=%1"_s.arg(imported.dataVersion));
    }
    if (!error.isEmpty())
        WriteLog(code, error);
    return error;
}

QString CleanupAfterSync()
{
    const int agency = CurrentAgencyCode();
    QStringList codes;
    {
        std::unique_ptr<TResultSet> rows;
        TDataBase* db = DB();
        if (!db || !db->QueryNoCount(kArrivedCopies.arg(agency), rows) || !rows) {
            WriteLog(u"$3031"_s, TakeDbLastError());
            return u"No se pudieron depurar las propiedades enviadas."_s;
        }
        for (rows->First(); !rows->Eof(); rows->Next())
            codes << rows->AsStringAt(0);
    }
    const QString list = codes.join(u',');
    if (!DeleteByList(u"$3032"_s, u"W_Propiedades"_s, u"Prop_Codigo"_s, list) ||
        !DB()->ExecNoCount(kStateStatement.arg(u"W_Propiedades"_s, u"B"_s)))
        return u"No se pudieron depurar las propiedades enviadas."_s;
    int photos = 0;
    if (!DeleteByList(u"$3033"_s, u"W_MasDatos"_s, u"Prop_Codigo"_s, list) ||
        !DeletePhotosOfProperties(list, &photos) ||
        !DeleteByList(u"$3034"_s, u"W_Propietarios"_s, u"Prop_Codigo"_s, list))
        return u"No se pudieron depurar los datos de las propiedades enviadas."_s;
    qint64 pending = 0;
    if (!Scalar(u"$3035"_s, kStateCount.arg(u"W_Propiedades"_s, u"AM"_s).arg(agency), pending) ||
        !DB()->ExecNoCount(kStateStatement.arg(u"W_Propiedades"_s, u"AM"_s)))
        return u"No se pudo actualizar el estado de las propiedades."_s;
    if (pending > 0)
        SinkLog(u"Propiedades con cambios pendientes: %1"_s.arg(pending));
    if (!codes.isEmpty())
        SinkLog(u"Propiedades depuradas: %1"_s.arg(codes.size()));
    if (photos > 0)
        SinkLog(u"Fotos depuradas: %1"_s.arg(photos));
    return {};
}

QStringList FetchPhotos(const TSessionValues& session, const QString& propertyCodes, bool firstPhotoOnly, bool force)
{
    QStringList paths;
    if (g_fetching)
        return paths;
    g_fetching = true;
    struct Done {
        ~Done() { g_fetching = false; }
    } done;

    QStringList wanted;
    for (const QString& item : propertyCodes.split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const qint64 code = item.trimmed().toLongLong(&ok);
        if (ok)
            wanted << QString::number(code);
    }
    if (wanted.isEmpty())
        return paths;
    std::unique_ptr<TResultSet> rows;
    TDataBase* db = DB();
    if (!db ||
        !db->QueryNoCount(
            u"SELECT `Foto_Codigo`, `Prop_Codigo` FROM `W_Fotos` WHERE `Prop_Codigo` IN (%1) AND "
            u"IFNULL(`Sync_Tipo`, \"\") <> \"B\" ORDER BY `Prop_Codigo`, `Foto_Orden`, `Foto_Codigo`;"_s.arg(
                wanted.join(u',')),
            rows) ||
        !rows) {
        WriteLog(u"$3052"_s, TakeDbLastError());
        return paths;
    }
    QStringList missing;
    qint64 lastProperty = -1;
    for (rows->First(); !rows->Eof(); rows->Next()) {
        const qint64 property = rows->AsInt64(u"Prop_Codigo"_s);
        if (firstPhotoOnly && property == lastProperty)
            continue;
        lastProperty = property;
        const qint64 photo = rows->AsInt64(u"Foto_Codigo"_s);
        const QString path = PhotoFileName(property, photo);
        paths << path;
        if (!QFileInfo::exists(path))
            missing << QString::number(photo);
    }

    const bool automatic = ReadSetting(Setting::PhotoDownloadMode).trimmed() != u"1"_s;
    if (SyncEnabled && !missing.isEmpty() && (force || automatic)) {
        TTransferSinks* previous = TransferSinks();
        if (g_panel)
            SetTransferSinks(g_panel->ShowPanel());
        SinkOfferAction();
        QList<QPair<QString, QByteArray>> photos;
        const QString error = RequestPhotos(session, 0, missing.join(u','), photos);
        for (const auto& [name, bytes] : photos) {
            if (!IsPhotoFileName(name)) {
                WriteLog(u"$3115"_s, u"Nombre de foto inválido: "_s + name);
                continue;
            }
            const qint64 property = name.section(u'_', 1, 1).toLongLong();
            const QString path = PhotoFileName(property, name.section(u'_', 2, 2).section(u'.', 0, 0).toLongLong());
            EnsureFolder(QFileInfo(path).absolutePath());
            WriteBytesFile(path, bytes);
        }
        if (g_panel)
            g_panel->HidePanel();
        SetTransferSinks(previous);
        if (!error.isEmpty())
            WriteLog(u"$3115"_s, u"Prop=%1; Fotos=%2; %3"_s.arg(propertyCodes, missing.join(u','), error));
    }
    return paths;
}
