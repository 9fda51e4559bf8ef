#include "records/PhotoFiles.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/Guarded.h"
#include "core/InstallState.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/DBSchema.h"
#include "db/uDB.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <memory>
#include <stdexcept>

using namespace Qt::StringLiterals;

bool UnlinkSentLocalPhotos(int agencyCode, int& count)
{
    const QString where = u"$2087.2"_s;
    count = 0;
    try {
        TDataBase* db = DB();
        if (!db)
            throw std::runtime_error(Config::ErrDbNotOpen.toStdString());
        const QString condition =
            u"`W_Fotos`.`Foto_Codigo` >= %1 AND `W_Fotos`.`Prop_Codigo` IN (SELECT `Prop_Codigo` FROM "
            u"`W_Propiedades` WHERE `Inmo_Codigo`=%2 AND IFNULL(`Sync_Tipo`, \"\") NOT IN (\"AM\", \"B\"))"_s.arg(
                QString::number(kLocalCodeFirst), QString::number(agencyCode));
        std::unique_ptr<TResultSet> r;
        int rows = 0;
        if (!db->Query(u"SELECT `Foto_Codigo`, `Prop_Codigo` FROM `W_Fotos` WHERE "_s + condition + u';', r, rows) ||
            !r)
            throw std::runtime_error(Config::ErrQueryFailed.toStdString());
        if (rows == 0)
            return true;
        QStringList files;
        for (; !r->Eof(); r->Next())
            files << PhotoFileName(r->AsInt64(u"Prop_Codigo"_s), r->AsInt64(u"Foto_Codigo"_s), agencyCode);
        // Rows first: a file without a row is only wasted space, a row without its file
        // would be fetched again from a service that never had it.
        int deleted = 0;
        if (!db->Exec(u"DELETE FROM `W_Fotos` WHERE "_s + condition + u';', deleted))
            return false;
        for (const QString& file : std::as_const(files))
            if (QFile::exists(file))
                DeleteFileLogged(file);
        count = deleted;
        return true;
    } catch (const std::exception& e) {
        WriteLog(where, QString::fromUtf8(e.what()));
        return false;
    }
}

int DeleteRotationFiles(int agencyCode)
{
    const QDir folder(Paths.PhotoFolder + ZeroPad(agencyCode, 4));
    int deleted = 0;
    for (const QString& name : folder.entryList({u"w_*_rot.jpg"_s}, QDir::Files))
        if (DeleteFileLogged(folder.filePath(name)))
            ++deleted;
    return deleted;
}

QString PhotoFileName(qint64 propertyCode, qint64 photoCode, int agency)
{
    return Guarded(QString(), QString(), [&] {
        int owner = agency;
        if (IsLocalCode(propertyCode))
            owner = CurrentAgencyCode();
        else if (owner <= 0)
            owner = AgencyOfCode(propertyCode);
        return Paths.PhotoFolder + ZeroPad(owner, 4) + u"/w_"_s + QString::number(propertyCode) + u'_' +
               QString::number(photoCode) + u".jpg"_s;
    });
}

int AgencyOfPhotoFile(const QString& fileName)
{
    return Guarded(QString(), -1, [&] {
        // Only the name: folders on the way may hold "_" too.
        const QString name = QFileInfo(fileName).fileName();
        const qsizetype first = name.indexOf(u'_');
        const qsizetype second = first < 0 ? -1 : name.indexOf(u'_', first + 1);
        if (second < 0)
            return -1;
        const QString part = name.mid(first + 1, second - first - 1);
        if (part.isEmpty() || !IsDigits(part, 10))
            return -1;
        const qint64 code = part.toLongLong();
        // Properties made here keep their photos in our own folder (see PhotoFileName).
        if (IsLocalCode(code))
            return CurrentAgencyCode();
        const int parsed = ParseCode(part);
        return parsed > 0 ? AgencyOfCode(parsed) : -1;
    });
}
