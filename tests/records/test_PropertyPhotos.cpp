#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/DBSchema.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "records/PhotoFiles.h"
#include "records/PropertyLocation.h"
#include "records/PropertyPhotos.h"
#include "support/SchemaDatabase.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QtEndian>

#include <gtest/gtest.h>

#include <zlib.h>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kSynced = 700001; // a property of agency 7 the service has
constexpr qint64 kOther = 700002;

class PropertyPhotosTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenEmptyInstallationDatabase(7));
        QDir().mkpath(Paths.PhotoFolder + u"0007"_s);
        inputs = root.Path() + u"in/"_s;
        QDir().mkpath(inputs);
    }
    void TearDown() override { ResetInstallContext(); }

    // An image file of the size, left half red and right half blue.
    QString Picture(const QString& name, int w, int h, const char* format = "JPG")
    {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QPainter(&image).fillRect(0, 0, w / 2, h, Qt::red);
        const QString path = inputs + name;
        EXPECT_TRUE(image.save(path, format, 95));
        return path;
    }
    // A stored photo (row and file) of a property, as the import leaves them.
    void StoredPhoto(qint64 property, qint64 photo, const QString& state = QString())
    {
        ASSERT_TRUE(DB()->ExecNoCount(u"INSERT INTO `W_Fotos` (`Foto_Codigo`, `Prop_Codigo`, `Sync_Tipo`) VALUES "
                                      u"(%1, %2, %3);"_s.arg(photo)
                                          .arg(property)
                                          .arg(state.isEmpty() ? u"NULL"_s : u'"' + state + u'"')));
        ASSERT_TRUE(PlaceOnCanvas(QImage()).save(PhotoFileName(property, photo), "JPG"));
    }
    qint64 Rows(const QString& where) { return ReadCount(u"SELECT COUNT(*) FROM `W_Fotos` WHERE "_s + where + u';'); }
    QStringList FolderFiles() { return QDir(Paths.PhotoFolder + u"0007"_s).entryList(QDir::Files); }
    // The row of every photo that is not a deletion must have its file.
    void EveryRowHasItsFile()
    {
        std::unique_ptr<TResultSet> r;
        ASSERT_TRUE(
            DB()->QueryNoCount(u"SELECT `Prop_Codigo`, `Foto_Codigo` FROM `W_Fotos` WHERE `Prop_Codigo` > 0 AND "
                               u"IFNULL(`Sync_Tipo`, '') <> 'B';"_s,
                               r));
        for (r->First(); !r->Eof(); r->Next()) {
            const QString file = PhotoFileName(r->AsInt64(u"Prop_Codigo"_s), r->AsInt64(u"Foto_Codigo"_s));
            EXPECT_TRUE(QFileInfo::exists(file)) << file.toStdString();
        }
    }
    // What the card's save does: the photo statements in its transaction, then the files.
    void Save(TPropertyPhotos& photos)
    {
        ASSERT_TRUE(
            DB()->ExecNoCount(u"UPDATE `W_Fotos` SET `Foto_Orden` = `Foto_Orden`;"_s + photos.CommitStatements()));
        photos.AfterCommit();
    }

    TestRoot root;
    RecordingFatalHandler fatal;
    QString inputs;
};

// One PNG chunk: length, type and data, CRC.
QByteArray PngChunk(const QByteArray& type, const QByteArray& data)
{
    char length[4];
    qToBigEndian(quint32(data.size()), length);
    const QByteArray body = type + data;
    char crc[4];
    qToBigEndian(quint32(crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()))), crc);
    return QByteArray(length, 4) + body + QByteArray(crc, 4);
}

// A PNG of a few dozen bytes whose header claims the size: decoding it would need
// width × height × 4 bytes.
QByteArray PngHeaderOnly(quint32 width, quint32 height)
{
    char numbers[8];
    qToBigEndian(width, numbers);
    qToBigEndian(height, numbers + 4);
    QByteArray ihdr(numbers, 8);
    ihdr.append("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", ihdr) +
           PngChunk("IDAT", QByteArray::fromHex("78da636000000001000100")) + PngChunk("IEND", {});
}

// The first value of the JPEG's first quantisation table: 5 for quality 85, 8 for 75.
int FirstQuantiser(const QByteArray& jpeg)
{
    const qsizetype at = jpeg.indexOf("\xFF\xDB");
    return at < 0 || at + 5 >= jpeg.size() ? -1 : quint8(jpeg.at(at + 5));
}

} // namespace

TEST_F(PropertyPhotosTest, BadImagesGiveAMessageAndStoreNothing)
{
    const QString good = Picture(u"bueno.jpg"_s, 1024, 768);
    QFile whole(good);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    const struct {
        const char* name;
        QByteArray content;
        QString expected;
    } cases[] = {
        {"cortada.jpg", bytes.left(bytes.size() / 2), PhotoText::Unreadable(u"cortada.jpg"_s)},
        {"texto.jpg", "Esto no es una imagen, es un texto.\n", PhotoText::Unreadable(u"texto.jpg"_s)},
        {"enorme.png", PngHeaderOnly(20000, 20000), PhotoText::TooLarge(u"enorme.png"_s, QSize(20000, 20000))},
        {"vacia.png", QByteArray(), PhotoText::Unreadable(u"vacia.png"_s)},
    };
    TPropertyPhotos photos;
    ASSERT_TRUE(photos.Begin(kSynced, 2));
    for (const auto& c : cases) {
        const QString path = inputs + QString::fromLatin1(c.name);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.content);
        file.close();
        EXPECT_EQ(photos.Add({path}), QStringList{c.expected}) << c.name;
    }
    EXPECT_EQ(Rows(u"1"_s), 0);
    EXPECT_TRUE(FolderFiles().isEmpty()) << FolderFiles().join(u' ').toStdString();
}

TEST_F(PropertyPhotosTest, MinimumSizesAndTheCanvas)
{
    const struct {
        int w, h;
        bool accepted;
        QPoint white; // a canvas point outside the picture, (-1,-1) when it fills the canvas
    } cases[] = {
        {1024, 768, true, {-1, -1}},  {700, 500, false, {}}, {600, 600, true, {50, 300}},  {599, 599, false, {}},
        {450, 800, true, {100, 300}}, {800, 449, false, {}}, {1600, 600, true, {400, 40}},
    };
    TPropertyPhotos photos;
    ASSERT_TRUE(photos.Begin(kSynced, 2));
    for (const auto& c : cases) {
        const QString name = u"f%1x%2.png"_s.arg(c.w).arg(c.h);
        const QString path = Picture(name, c.w, c.h, "PNG");
        const QStringList messages = photos.Add({path});
        SCOPED_TRACE(name.toStdString());
        if (!c.accepted) {
            EXPECT_EQ(messages, QStringList{PhotoText::TooSmall(name, QSize(c.w, c.h))});
            continue;
        }
        ASSERT_TRUE(messages.isEmpty()) << messages.join(u' ').toStdString();
        const QString stored = photos.CurrentFile();
        QFile file(stored);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray jpeg = file.readAll();
        EXPECT_TRUE(jpeg.startsWith("\xFF\xD8\xFF"));
        EXPECT_EQ(FirstQuantiser(jpeg), 5); // quality 85
        const QImage canvas = QImage::fromData(jpeg, "JPG");
        ASSERT_EQ(canvas.size(), QSize(800, 600));
        // The picture sits in the middle: red left of the centre, blue right of it.
        const QColor left = canvas.pixelColor(400 - 20, 300);
        const QColor right = canvas.pixelColor(400 + 20, 300);
        EXPECT_GT(left.red(), 200);
        EXPECT_LT(left.blue(), 60);
        EXPECT_GT(right.blue(), 200);
        if (c.white.x() >= 0) {
            const QColor outside = canvas.pixelColor(c.white);
            EXPECT_GT(outside.red() + outside.green() + outside.blue(), 3 * 240);
        } else {
            EXPECT_GT(canvas.pixelColor(2, 2).red(), 200);
        }
    }
    EXPECT_EQ(Rows(u"`Prop_Codigo` = 700001 AND `Foto_Codigo` >= 2147473647 AND `Sync_Tipo` = 'AM'"_s), 4);
    EveryRowHasItsFile();
}

TEST_F(PropertyPhotosTest, NoMoreThanFifteen)
{
    for (int i = 1; i <= 13; ++i)
        StoredPhoto(kSynced, 100 + i);
    TPropertyPhotos photos;
    ASSERT_TRUE(photos.Begin(kSynced, 2));
    const QStringList three = {Picture(u"a.jpg"_s, 1024, 768), Picture(u"b.jpg"_s, 1024, 768),
                               Picture(u"c.jpg"_s, 1024, 768)};
    const QStringList refused = photos.Add(three);
    ASSERT_EQ(refused, QStringList{PhotoText::RemainingRoom(2)});
    EXPECT_TRUE(refused.first().contains(u"2 fotografías"_s));
    EXPECT_TRUE(PhotoText::RemainingRoom(1).contains(u"1 fotografía "_s));
    EXPECT_EQ(photos.Count(), 13);
    EXPECT_TRUE(photos.Add(three.mid(0, 2)).isEmpty());
    EXPECT_EQ(photos.Add(three.mid(2)), QStringList{PhotoText::PhotoLimit});
    EXPECT_EQ(photos.Count(), 15);
}

TEST_F(PropertyPhotosTest, DeletionsStayReversibleUntilSaveOrCancel)
{
    const qint64 sentLocal = kLocalCodeFirst + 5; // added in an earlier edit, not yet sent
    StoredPhoto(kSynced, 10);
    StoredPhoto(kSynced, 11);
    StoredPhoto(kSynced, sentLocal, u"AM"_s);
    // Another listing's deletion marks are not this edit's to purge.
    StoredPhoto(kOther, 20);
    ASSERT_TRUE(DB()->ExecNoCount(u"UPDATE `W_Fotos` SET `Prop_Codigo` = -700002 WHERE `Foto_Codigo` = 20;"_s));

    TPropertyPhotos photos;
    ASSERT_TRUE(photos.Begin(kSynced, 2));
    ASSERT_EQ(photos.Photos(), (QList<qint64>{10, 11, sentLocal}));
    QString error;
    photos.SetCurrentIndex(0);
    ASSERT_TRUE(photos.DeleteCurrent(error));
    EXPECT_EQ(photos.Photos(), (QList<qint64>{11, sentLocal}));
    ASSERT_TRUE(photos.Undo());
    EXPECT_EQ(Rows(u"`Prop_Codigo` = 700001"_s), 3);
    EXPECT_TRUE(QFileInfo::exists(PhotoFileName(kSynced, 10)));

    ASSERT_TRUE(photos.Begin(kSynced, 2));
    photos.SetCurrentIndex(0);
    ASSERT_TRUE(photos.DeleteCurrent(error));
    photos.SetCurrentIndex(1);
    ASSERT_TRUE(photos.DeleteCurrent(error)); // the local one
    EXPECT_EQ(photos.Photos(), QList<qint64>{11});
    Save(photos);
    // The service's photo waits marked for the upload; the local one simply went.
    EXPECT_EQ(Rows(u"`Foto_Codigo` = 10 AND `Prop_Codigo` = 700001 AND `Sync_Tipo` = 'B'"_s), 1);
    EXPECT_EQ(Rows(u"`Foto_Codigo` = %1"_s.arg(sentLocal)), 0);
    EXPECT_FALSE(QFileInfo::exists(PhotoFileName(kSynced, 10)));
    EXPECT_FALSE(QFileInfo::exists(PhotoFileName(kSynced, sentLocal)));
    EXPECT_EQ(Rows(u"`Foto_Codigo` = 20 AND `Prop_Codigo` = -700002"_s), 1);
    EXPECT_TRUE(QFileInfo::exists(PhotoFileName(kOther, 20)));
    // A deleted photo is not shown again.
    ASSERT_TRUE(photos.Begin(kSynced, 2));
    EXPECT_EQ(photos.Photos(), QList<qint64>{11});
    EveryRowHasItsFile();
}

TEST_F(PropertyPhotosTest, RotationOfNewPhotos)
{
    StoredPhoto(kSynced, 10);
    // The service's order: a new photo still comes after it, and is the one shown.
    ASSERT_TRUE(DB()->ExecNoCount(u"UPDATE `W_Fotos` SET `Foto_Orden` = 5 WHERE `Foto_Codigo` = 10;"_s));
    TPropertyPhotos photos;
    ASSERT_TRUE(photos.Begin(kSynced, 2));
    QString error;
    photos.SetCurrentIndex(0);
    EXPECT_FALSE(photos.RotateCurrent(error));
    EXPECT_EQ(error, PhotoText::CannotRotate);

    ASSERT_TRUE(photos.Add({Picture(u"n1.jpg"_s, 1024, 768), Picture(u"n2.jpg"_s, 1024, 768)}).isEmpty());
    const QList<qint64> codes = photos.Photos();
    ASSERT_EQ(codes.size(), 3);
    const QString second = PhotoFileName(kSynced, codes.at(1));
    const QString third = PhotoFileName(kSynced, codes.at(2));
    const auto topIsRed = [](const QString& file) { return QImage(file).pixelColor(400, 100).red() > 200; };
    ASSERT_FALSE(topIsRed(third));

    // Four turns are no turn at all.
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(photos.RotateCurrent(error)) << error.toStdString();
    EXPECT_EQ(photos.PendingRotation(), 0);
    EXPECT_EQ(photos.CurrentFile(), third);
    EXPECT_FALSE(topIsRed(third));

    // One turn (90° clockwise puts the red left half on top) shows in the side file only.
    ASSERT_TRUE(photos.RotateCurrent(error));
    EXPECT_TRUE(photos.CurrentFile().endsWith(u"_rot.jpg"_s));
    EXPECT_TRUE(topIsRed(photos.CurrentFile()));
    EXPECT_FALSE(topIsRed(third));
    // Showing another photo commits it: the file is replaced, no side file stays.
    photos.SetCurrentIndex(1);
    EXPECT_TRUE(topIsRed(third));
    EXPECT_EQ(FolderFiles().filter(u"_rot"_s), QStringList());

    // A pending rotation is committed by the save.
    ASSERT_TRUE(photos.RotateCurrent(error));
    Save(photos);
    EXPECT_TRUE(topIsRed(second));
    EXPECT_EQ(FolderFiles().filter(u"_rot"_s), QStringList());
    EveryRowHasItsFile();

    // A cancel removes the new photo and its side file, and leaves the others.
    ASSERT_TRUE(photos.Begin(kSynced, 2));
    ASSERT_TRUE(photos.Add({Picture(u"n3.jpg"_s, 1024, 768)}).isEmpty());
    ASSERT_TRUE(photos.RotateCurrent(error));
    ASSERT_TRUE(photos.Undo());
    EXPECT_EQ(photos.Begin(kSynced, 2), true);
    EXPECT_EQ(photos.Photos(), codes);
    EXPECT_EQ(FolderFiles().size(), 3);
}

TEST_F(PropertyPhotosTest, CancellingACopyRemovesItsCopiedPhotos)
{
    const qint64 copy = kLocalCodeFirst + 1;
    // The copy's photos are in place before the edit starts, like the card copies them.
    StoredPhoto(copy, kLocalCodeFirst + 10);
    StoredPhoto(copy, kLocalCodeFirst + 11);
    TPropertyPhotos photos;
    ASSERT_TRUE(photos.Begin(copy, 3));
    ASSERT_TRUE(photos.Undo());
    EXPECT_EQ(Rows(u"1"_s), 0);
    EXPECT_TRUE(FolderFiles().isEmpty());

    // A modified listing keeps the local photos it started with.
    const qint64 unsent = kLocalCodeFirst + 2;
    StoredPhoto(unsent, kLocalCodeFirst + 12, u"AM"_s);
    ASSERT_TRUE(photos.Begin(unsent, 2));
    ASSERT_TRUE(photos.Add({Picture(u"x.jpg"_s, 1024, 768)}).isEmpty());
    ASSERT_TRUE(photos.Undo());
    EXPECT_EQ(Rows(u"`Prop_Codigo` = %1"_s.arg(unsent)), 1);
    EXPECT_EQ(FolderFiles().size(), 1);
}

TEST_F(PropertyPhotosTest, ASaveThatStopsBeforeItsFilesLeavesNoRowWithoutAFile)
{
    StoredPhoto(kSynced, 10);
    TPropertyPhotos photos;
    ASSERT_TRUE(photos.Begin(kSynced, 2));
    ASSERT_TRUE(photos.Add({Picture(u"n.jpg"_s, 1024, 768)}).isEmpty());
    QString error;
    ASSERT_TRUE(photos.RotateCurrent(error));
    photos.SetCurrentIndex(0);
    ASSERT_TRUE(photos.DeleteCurrent(error));
    // The transaction commits; the program stops before the files are touched.
    ASSERT_TRUE(DB()->ExecNoCount(photos.CommitStatements()));
    EveryRowHasItsFile();
    // The next edit of the listing starts clean: the leftover side file goes.
    TPropertyPhotos next;
    ASSERT_TRUE(next.Begin(kSynced, 2));
    EXPECT_EQ(FolderFiles().filter(u"_rot"_s), QStringList());
    EveryRowHasItsFile();
}

// --- Location --------------------------------------------------------------------------------

class LocationTest : public PropertyPhotosTest {
protected:
    void SetUp() override
    {
        PropertyPhotosTest::SetUp();
        ASSERT_TRUE(DB()->ExecNoCount(
            u"INSERT INTO `W_Paises` VALUES (1, '*No Definido'), (2, 'Argentina');"
            u"INSERT INTO `W_Provincias` VALUES (1, 1, '*No Definida'), (2, 2, 'Buenos Aires');"
            u"INSERT INTO `W_Partidos` VALUES (1, 1, '*No Definido'), (2, 2, 'La Plata');"
            u"INSERT INTO `W_Localidades` VALUES (1, 1, '*No Definida'), (2, 2, 'City Bell'), (3, 2, 'Tolosa'),"
            u" (4, 2, 'Villa 100% Sol'), (5, 2, 'Calle 100 Metros'), (6, 2, 'San_Isidro'), (7, 2, 'Sanlisidro'),"
            u" (8, 2, 'Barrio \"El Ombú\"'), (9, 2, 'O''Higgins');"
            u"INSERT INTO `W_Zonas` VALUES (1, 1, '*No Definida'), (20, 2, 'Centro'), (21, 2, 'Norte'),"
            u" (30, 3, 'Sur');"
            u"INSERT INTO `W_Calles` VALUES (787, 'FALTA DIRECCION'), (5, 'Calle 7'), (6, 'Diagonal 74'),"
            u" (7, 'Avenida 100% Libre');"
            u"INSERT INTO `W_Barrios` (`Barrio_Codigo`, `Barrio_Nombre`) VALUES (787, 'FALTA DIRECCION'),"
            u" (9, 'Los Ceibos');"_s));
    }
    QStringList Texts(const QString& keyword)
    {
        QList<TLocationEntry> entries;
        EXPECT_TRUE(SearchLocations(keyword, entries));
        QStringList texts;
        for (const TLocationEntry& e : entries)
            texts << e.Text + u" ["_s + e.Codes() + u']';
        return texts;
    }
};

TEST_F(LocationTest, KeywordsFindWhatTheySay)
{
    const QString path = u"Argentina > Buenos Aires > La Plata > "_s;
    const QString none = u"*No Definida [1;1;1;1;1]"_s;
    const struct {
        QString keyword;
        QStringList expected;
    } cases[] = {
        {u"city bell"_s,
         {none, path + u"City Bell [2;2;2;2;1]"_s, path + u"City Bell > Centro [2;2;2;2;20]"_s,
          path + u"City Bell > Norte [2;2;2;2;21]"_s}},
        {u"  CÍTY  "_s,
         {none, path + u"City Bell [2;2;2;2;1]"_s, path + u"City Bell > Centro [2;2;2;2;20]"_s,
          path + u"City Bell > Norte [2;2;2;2;21]"_s}},
        {u"100%"_s, {none, path + u"Villa 100% Sol [2;2;2;4;1]"_s}},
        {u"an_is"_s, {none, path + u"San_Isidro [2;2;2;6;1]"_s}},
        {u"\"el omb"_s, {none, path + u"Barrio \"El Ombú\" [2;2;2;8;1]"_s}},
        {u"o'hig"_s, {none, path + u"O'Higgins [2;2;2;9;1]"_s}},
        {u"x\" OR 1=1 --"_s, {none}},
        {u"sur"_s, {none, path + u"Tolosa > Sur [2;2;2;3;30]"_s}},
        {u"ab"_s, {none}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Texts(c.keyword), c.expected) << c.keyword.toStdString();

    QList<TPlaceEntry> places;
    ASSERT_TRUE(SearchPlaces(u"100%"_s, false, places));
    ASSERT_EQ(places.size(), 2);
    EXPECT_EQ(places.at(0).Code, kMissingAddressCode);
    EXPECT_EQ(places.at(1).Text, u"Avenida 100% Libre"_s);
    ASSERT_TRUE(SearchPlaces(u"ceib"_s, true, places));
    ASSERT_EQ(places.size(), 2);
    EXPECT_EQ(places.at(1).Code, 9);
    ASSERT_TRUE(SearchPlaces(u"\"; DROP TABLE W_Calles; --"_s, false, places));
    EXPECT_EQ(places.size(), 1);
    EXPECT_EQ(ReadCount(u"SELECT COUNT(*) FROM `W_Calles`;"_s), 4);

    EXPECT_EQ(LocationDisplayPath({2, 2, 2, 2, 20, 5, 0}), path + u"City Bell > Centro"_s);
    EXPECT_EQ(LocationDisplayPath({2, 2, 2, 2, 1, 5, 0}), path + u"City Bell"_s);
    EXPECT_EQ(LocationDisplayPath({1, 1, 1, 1, 1, 0, 0}), u"*No Definida"_s);
}

// --- Video -----------------------------------------------------------------------------------

TEST(PropertyVideoTest, IdentifiersOutsideTheCodeAlphabetAreRefused)
{
    const struct {
        QString id;
        bool valid;
    } cases[] = {
        {u"dQw4w9WgXcQ"_s, true},   {u"76979871"_s, true}, {u"a-b_C9"_s, true},       {QString(32, u'x'), true},
        {QString(33, u'x'), false}, {QString(), false},    {u"a b"_s, false},         {u"abc\"def"_s, false},
        {u"<script>"_s, false},     {u"ñandú"_s, false},   {u"watch?v=abc"_s, false}, {u"abc,def"_s, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PropertyVideo::IsValidId(c.id), c.valid) << c.id.toStdString();
        EXPECT_EQ(PropertyVideo::Value(PropertyVideo::Vimeo, c.id).isEmpty(), !c.valid) << c.id.toStdString();
    }
    EXPECT_EQ(PropertyVideo::Value(PropertyVideo::YouTube, u"  dQw4w9WgXcQ "_s), u"YouTube,dQw4w9WgXcQ"_s);
    QString provider, id;
    PropertyVideo::Split(u"vimeo,76979871"_s, provider, id);
    EXPECT_EQ(provider, PropertyVideo::Vimeo);
    EXPECT_EQ(id, u"76979871"_s);
}
