#include "records/PropertyPhotos.h"

#include "core/Bugs.h"
#include "core/Guarded.h"
#include "core/MiscFunc.h"
#include "db/DBSchema.h"
#include "db/uDB.h"
#include "records/PhotoFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTransform>

#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace PhotoText {
const QString PhotoLimit = u"La propiedad ya tiene %1 fotografías, el máximo permitido. Elimine alguna para agregar "
                           u"otra."_s.arg(TPropertyPhotos::kMaxPhotos);
QString RemainingRoom(int room)
{
    return u"Solo puede agregar %1 %2 más a esta propiedad (el máximo es %3). No se agregó ninguna."_s.arg(room)
        .arg(room == 1 ? u"fotografía"_s : u"fotografías"_s)
        .arg(TPropertyPhotos::kMaxPhotos);
}
const QString FolderError = u"No se pudo crear la carpeta de las fotografías de la inmobiliaria."_s;
QString TooSmall(const QString& file, const QSize& size)
{
    return u"La imagen \"%1\" mide %2 × %3 píxeles y es demasiado chica: una fotografía horizontal debe medir al "
           u"menos %4 × %5, una vertical %6 × %7 y una cuadrada %8 × %8. No se agregó."_s.arg(file)
               .arg(size.width())
               .arg(size.height())
               .arg(800)
               .arg(450)
               .arg(450)
               .arg(800)
               .arg(600);
}
QString TooLarge(const QString& file, const QSize& size)
{
    return u"La imagen \"%1\" mide %2 × %3 píxeles y es demasiado grande para procesarla. Redúzcala e intente "
           u"nuevamente. No se agregó."_s.arg(file)
               .arg(size.width())
               .arg(size.height());
}
QString Unreadable(const QString& file)
{
    return u"No se pudo leer la imagen \"%1\": el archivo está dañado o no es una imagen. No se agregó."_s.arg(file);
}
QString NotSaved(const QString& file)
{
    return u"No se pudo guardar la fotografía \"%1\". No se agregó."_s.arg(file);
}
const QString CannotRotate = u"Solo pueden rotarse las fotografías agregadas durante esta edición."_s;
const QString RotationError = u"No se pudo rotar la fotografía."_s;
const QString CouldNotDelete = u"No se pudo eliminar la fotografía."_s;
const QString InvalidVideoId =
    u"El ID del video no es válido: escriba solo el código que aparece en la dirección del video (letras, "
    u"números, \"_\" y \"-\")."_s;
} // namespace PhotoText

namespace {

// Beyond this the decoder would need hundreds of megabytes for one picture; a camera
// photo is far below it.
constexpr qint64 kMaxPixels = 60'000'000;
constexpr int kMaxSide = 16'000;
constexpr int kAllocationLimitMb = 256;

QString Name(const QString& path)
{
    return QFileInfo(path).fileName();
}

// A JPEG that stops early decodes "successfully" with grey below the break: only the end
// marker tells.
bool JpegIsComplete(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    const qint64 tail = qMin<qint64>(size, 4096);
    if (!file.seek(size - tail))
        return false;
    QByteArray end = file.read(tail);
    // Some cameras pad after the marker.
    while (!end.isEmpty() && (end.endsWith('\0') || end.endsWith('\xFF') || end.endsWith('\n') || end.endsWith('\r')))
        if (end.endsWith("\xFF\xD9"))
            break;
        else
            end.chop(1);
    return end.endsWith("\xFF\xD9");
}

// Replaces target by source in one step: a reader sees the old file or the new one.
bool ReplaceFile(const QString& source, const QString& target)
{
    return std::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) == 0;
}

QString Rows(const QString& sql, const QString& code, std::unique_ptr<TResultSet>& rows)
{
    TDataBase* db = DB();
    if (!db || !db->QueryNoCount(sql, rows) || !rows) {
        WriteLog(code, TakeDbLastError());
        return u"fail"_s;
    }
    return {};
}

} // namespace

TPhotoImageCheck ReadPhotoImage(const QString& path, QImage& image, QSize& size)
{
    image = QImage();
    size = QSize();
    if (QImageReader::allocationLimit() > kAllocationLimitMb || QImageReader::allocationLimit() == 0)
        QImageReader::setAllocationLimit(kAllocationLimitMb);
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    // The header's size first: nothing is decoded before it is judged.
    size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return TPhotoImageCheck::Unreadable;
    if (size.width() > kMaxSide || size.height() > kMaxSide || qint64(size.width()) * size.height() > kMaxPixels)
        return TPhotoImageCheck::TooLarge;
    if (!IsPhotoLargeEnough(size))
        return TPhotoImageCheck::TooSmall;
    const QByteArray format = reader.format();
    if (!reader.read(&image) || image.isNull()) {
        image = QImage();
        return TPhotoImageCheck::Unreadable;
    }
    if ((format == "jpeg" || format == "jpg") && !JpegIsComplete(path)) {
        image = QImage();
        return TPhotoImageCheck::Unreadable;
    }
    // The header may lie about the size; what was decoded is what counts.
    size = image.size();
    if (!IsPhotoLargeEnough(size)) {
        image = QImage();
        return TPhotoImageCheck::TooSmall;
    }
    return TPhotoImageCheck::Ok;
}

bool IsPhotoLargeEnough(const QSize& size)
{
    const int w = size.width();
    const int h = size.height();
    if (w > h)
        return w >= 800 && h >= 450;
    if (h > w)
        return w >= 450 && h >= 800;
    return qint64(w) * h >= 360000;
}

QImage PlaceOnCanvas(const QImage& image)
{
    QImage canvas(TPropertyPhotos::kCanvasWidth, TPropertyPhotos::kCanvasHeight, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    if (image.isNull())
        return canvas;
    const QImage fitted = image.scaled(canvas.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter painter(&canvas);
    painter.drawImage((canvas.width() - fitted.width()) / 2, (canvas.height() - fitted.height()) / 2, fitted);
    return canvas;
}

bool SavePhotoJpeg(const QImage& image, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!image.save(&file, "JPG", TPropertyPhotos::kJpegQuality)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// --- The edit ------------------------------------------------------------------------------

bool TPropertyPhotos::Begin(qint64 propertyCode, int mode)
{
    m_property = 0;
    m_original.clear();
    m_index = 0;
    m_rotation = 0;
    m_rotated = 0;
    m_purgeFiles.clear();
    if (propertyCode <= 0)
        return false;
    m_mode = mode;
    return Guarded(u"$2083"_s, false, [&] {
        TDataBase* db = DB();
        if (!db)
            return false;
        // Marks left by an edit that never ended (the program stopped) are not deletions
        // anyone confirmed.
        if (ReadCount(u"SELECT COUNT(*) FROM `W_Fotos` WHERE `Prop_Codigo` = %1;"_s.arg(-propertyCode)) > 0 &&
            !db->ExecNoCount(u"UPDATE `W_Fotos` SET `Prop_Codigo` = %1 WHERE `Prop_Codigo` = %2;"_s.arg(propertyCode)
                                 .arg(-propertyCode)))
            return false;
        m_property = propertyCode;
        if (mode == 2) {
            for (qint64 code : Photos())
                if (IsLocalCode(code))
                    m_original.insert(code);
        }
        DropSideFiles();
        return true;
    });
}

QList<qint64> TPropertyPhotos::Photos() const
{
    QList<qint64> codes;
    if (m_property <= 0)
        return codes;
    std::unique_ptr<TResultSet> rows;
    if (!Rows(u"SELECT `Foto_Codigo` FROM `W_Fotos` WHERE `Prop_Codigo` = %1 AND IFNULL(`Sync_Tipo`, \"\") <> \"B\" "
              u"ORDER BY `Foto_Orden`, `Foto_Codigo`;"_s.arg(m_property),
              u"$2081"_s, rows)
             .isEmpty())
        return codes;
    for (rows->First(); !rows->Eof(); rows->Next())
        codes << rows->AsInt64(u"Foto_Codigo"_s);
    return codes;
}

void TPropertyPhotos::SetCurrentIndex(int index)
{
    const int count = Count();
    const int next = count == 0 ? 0 : qBound(0, index, count - 1);
    if (next != m_index)
        CommitRotation();
    m_index = next;
}

QString TPropertyPhotos::CurrentFile() const
{
    const QList<qint64> photos = Photos();
    if (m_index < 0 || m_index >= photos.size())
        return {};
    const qint64 photo = photos.at(m_index);
    if (m_rotation != 0 && m_rotated == photo && QFileInfo::exists(SideFile(photo)))
        return SideFile(photo);
    return PhotoFileName(m_property, photo);
}

bool TPropertyPhotos::IsNew(qint64 photoCode) const
{
    return IsLocalCode(photoCode) && !m_original.contains(photoCode);
}

QString TPropertyPhotos::SideFile(qint64 photo) const
{
    QString name = PhotoFileName(m_property, photo);
    name.chop(4);
    return name + u"_rot.jpg"_s;
}

void TPropertyPhotos::DropSideFiles() const
{
    const QDir folder(QFileInfo(PhotoFileName(m_property, 1)).absolutePath());
    for (const QString& name :
         folder.entryList({u"w_%1_*_rot.jpg"_s.arg(m_property), u"w_%1_*_rot.jpg.*"_s.arg(m_property)}, QDir::Files))
        DeleteFileLogged(folder.filePath(name));
}

QStringList TPropertyPhotos::Add(const QStringList& files)
{
    QStringList messages;
    if (m_property <= 0 || files.isEmpty())
        return messages;
    const QString code = u"$2081"_s;
    const int existing = Count();
    if (existing > 0)
        CommitRotation();
    if (existing >= kMaxPhotos)
        return {PhotoText::PhotoLimit};
    if (existing + files.size() > kMaxPhotos)
        return {PhotoText::RemainingRoom(kMaxPhotos - existing)};
    if (!EnsureFolder(QFileInfo(PhotoFileName(m_property, 1)).absolutePath()))
        return {PhotoText::FolderError};
    qint64 last = 0;
    for (const QString& source : files) {
        QImage image;
        QSize size;
        switch (ReadPhotoImage(source, image, size)) {
        case TPhotoImageCheck::Unreadable:
            messages << PhotoText::Unreadable(Name(source));
            continue;
        case TPhotoImageCheck::TooSmall:
            messages << PhotoText::TooSmall(Name(source), size);
            continue;
        case TPhotoImageCheck::TooLarge:
            messages << PhotoText::TooLarge(Name(source), size);
            continue;
        case TPhotoImageCheck::Ok:
            break;
        }
        int photo = 0;
        if (!NextLocalCode(u"W_Fotos"_s, u"Foto_Codigo"_s, photo)) {
            WriteLog(u"$3053"_s, u"No local photo code left"_s);
            messages << PhotoText::NotSaved(Name(source));
            break;
        }
        // The file before its row: a row without its file would stop every upload.
        const QString target = PhotoFileName(m_property, photo);
        if (!SavePhotoJpeg(PlaceOnCanvas(image), target)) {
            WriteLog(code, u"Can't write \""_s + target + u"\""_s);
            messages << PhotoText::NotSaved(Name(source));
            continue;
        }
        TDataBase* db = DB();
        // After the photos it has: the listing shows them in this order.
        if (!db || !db->ExecNoCount(u"INSERT INTO `W_Fotos` (`Foto_Codigo`, `Prop_Codigo`, `Foto_Orden`, `Sync_Tipo`) "
                                    u"SELECT %1, %2, IFNULL(MAX(`Foto_Orden`), 0) + 1, \"AM\" FROM `W_Fotos` WHERE "
                                    u"`Prop_Codigo` = %2;"_s.arg(photo)
                                        .arg(m_property))) {
            WriteLog(code, TakeDbLastError());
            DeleteFileLogged(target);
            messages << PhotoText::NotSaved(Name(source));
            continue;
        }
        last = photo;
    }
    m_rotation = 0;
    m_rotated = 0;
    const QList<qint64> shown = Photos();
    m_index = last != 0 && shown.contains(last) ? int(shown.indexOf(last)) : qMax(0, int(shown.size()) - 1);
    return messages;
}

bool TPropertyPhotos::DeleteCurrent(QString& error)
{
    error.clear();
    const QList<qint64> photos = Photos();
    if (m_property <= 0 || m_index < 0 || m_index >= photos.size()) {
        error = PhotoText::CouldNotDelete;
        return false;
    }
    const qint64 photo = photos.at(m_index);
    const bool ok = Guarded(u"$2082"_s, false, [&] {
        int changed = 0;
        return DB() &&
               DB()->Exec(u"UPDATE `W_Fotos` SET `Prop_Codigo` = %1 WHERE `Foto_Codigo` = %2 AND `Prop_Codigo` = %3;"_s
                              .arg(-m_property)
                              .arg(photo)
                              .arg(m_property),
                          changed) &&
               changed == 1;
    });
    if (!ok) {
        error = PhotoText::CouldNotDelete;
        return false;
    }
    if (m_rotated == photo) {
        if (QFileInfo::exists(SideFile(photo)))
            DeleteFileLogged(SideFile(photo));
        m_rotation = 0;
        m_rotated = 0;
    }
    m_index = qMax(0, m_index - 1);
    return true;
}

bool TPropertyPhotos::RotateCurrent(QString& error)
{
    error.clear();
    const QList<qint64> photos = Photos();
    if (m_property <= 0 || m_index < 0 || m_index >= photos.size()) {
        error = PhotoText::RotationError;
        return false;
    }
    const qint64 photo = photos.at(m_index);
    if (!IsNew(photo)) {
        error = PhotoText::CannotRotate;
        return false;
    }
    if (m_rotated != photo) {
        CommitRotation();
        m_rotation = 0;
    }
    const int angle = (m_rotation + 90) % 360;
    const bool ok = Guarded(u"$2087.3"_s, false, [&] {
        const QString side = SideFile(photo);
        if (angle == 0) {
            // A full turn is the photo as it is.
            return !QFileInfo::exists(side) || DeleteFileLogged(side);
        }
        QImage original(PhotoFileName(m_property, photo));
        if (original.isNull())
            return false;
        const QImage turned = original.transformed(QTransform().rotate(angle), Qt::SmoothTransformation);
        return SavePhotoJpeg(PlaceOnCanvas(turned), side);
    });
    if (!ok) {
        error = PhotoText::RotationError;
        return false;
    }
    m_rotation = angle;
    m_rotated = angle == 0 ? 0 : photo;
    return true;
}

bool TPropertyPhotos::CommitRotation()
{
    if (m_rotated == 0 || m_rotation == 0) {
        m_rotation = 0;
        m_rotated = 0;
        return true;
    }
    const qint64 photo = m_rotated;
    m_rotation = 0;
    m_rotated = 0;
    return Guarded(u"$2087.3"_s, false, [&] {
        const QString side = SideFile(photo);
        if (!QFileInfo::exists(side))
            return true;
        // Written beside, renamed over: the photo never lacks its file, whatever happens.
        if (!ReplaceFile(side, PhotoFileName(m_property, photo))) {
            WriteLog(u"$2087.3"_s, u"Can't replace \""_s + PhotoFileName(m_property, photo) + u"\""_s);
            return false;
        }
        return true;
    });
}

QString TPropertyPhotos::CommitStatements()
{
    m_purgeFiles.clear();
    if (m_property <= 0)
        return {};
    std::unique_ptr<TResultSet> rows;
    if (!Rows(u"SELECT `Foto_Codigo` FROM `W_Fotos` WHERE `Prop_Codigo` = %1;"_s.arg(-m_property), u"$2084"_s, rows)
             .isEmpty())
        return {};
    for (rows->First(); !rows->Eof(); rows->Next())
        m_purgeFiles << PhotoFileName(m_property, rows->AsInt64(u"Foto_Codigo"_s));
    if (m_purgeFiles.isEmpty())
        return {};
    // Photos the service never had simply go; the service's own are kept marked "B" so the
    // upload tells it which to delete.
    return u"DELETE FROM `W_Fotos` WHERE `Prop_Codigo` = %1 AND `Foto_Codigo` >= %2;"
           u"UPDATE `W_Fotos` SET `Prop_Codigo` = %3, `Sync_Tipo` = \"B\" WHERE `Prop_Codigo` = %1;"_s.arg(-m_property)
               .arg(kLocalCodeFirst)
               .arg(m_property);
}

void TPropertyPhotos::AfterCommit()
{
    if (m_property <= 0)
        return;
    for (const QString& file : std::as_const(m_purgeFiles))
        if (QFile::exists(file) && !DeleteFileLogged(file))
            WriteLog(u"$2084"_s, u"Can't delete \""_s + file + u"\""_s);
    m_purgeFiles.clear();
    CommitRotation();
    DropSideFiles();
    m_property = 0;
}

bool TPropertyPhotos::Undo()
{
    if (m_property <= 0)
        return true;
    bool ok = Guarded(u"$2083"_s, false, [&] {
        return DB() &&
               DB()->ExecNoCount(u"UPDATE `W_Fotos` SET `Prop_Codigo` = %1 WHERE `Prop_Codigo` = %2;"_s.arg(m_property)
                                     .arg(-m_property));
    });
    ok = Guarded(u"$2085"_s, false,
                 [&] {
                     QStringList codes;
                     QStringList files;
                     for (qint64 photo : Photos())
                         if (IsNew(photo)) {
                             codes << QString::number(photo);
                             files << PhotoFileName(m_property, photo);
                         }
                     if (codes.isEmpty())
                         return true;
                     // Rows before files: a photo row without its file would stop every upload.
                     if (!DB() || !DB()->ExecNoCount(
                                      u"DELETE FROM `W_Fotos` WHERE `Prop_Codigo` = %1 AND `Foto_Codigo` IN (%2);"_s
                                          .arg(m_property)
                                          .arg(codes.join(u','))))
                         return false;
                     for (const QString& file : std::as_const(files))
                         if (QFile::exists(file) && !DeleteFileLogged(file))
                             WriteLog(u"$2085"_s, u"Can't delete \""_s + file + u"\""_s);
                     return true;
                 }) &&
         ok;
    DropSideFiles();
    m_rotation = 0;
    m_rotated = 0;
    m_property = 0;
    return ok;
}

// --- Video ---------------------------------------------------------------------------------

namespace PropertyVideo {

bool IsValidId(const QString& id)
{
    static const QRegularExpression form(u"^[A-Za-z0-9_-]{1,32}$"_s);
    return form.match(id).hasMatch();
}

QString Value(const QString& provider, const QString& id)
{
    const QString trimmed = id.trimmed();
    if (!IsValidId(trimmed))
        return {};
    return (provider.compare(Vimeo, Qt::CaseInsensitive) == 0 ? Vimeo : YouTube) + u',' + trimmed;
}

void Split(const QString& value, QString& provider, QString& id)
{
    const QString word = value.section(u',', 0, 0).trimmed();
    provider = word.compare(YouTube, Qt::CaseInsensitive) == 0 ? YouTube
               : word.compare(Vimeo, Qt::CaseInsensitive) == 0 ? Vimeo
                                                               : QString();
    id = value.section(u',', 1).trimmed();
}

} // namespace PropertyVideo
