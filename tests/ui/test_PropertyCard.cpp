#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/UserMessages.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "records/BrokerData.h"
#include "records/PhotoFiles.h"
#include "records/PropertyTexts.h"
#include "records/UserData.h"
#include "search/PropertyQuery.h"
#include "support/ClientSetup.h"
#include "support/ProgramFixture.h"
#include "support/Screenshot.h"
#include "support/ServiceProcess.h"
#include "support/TestRoot.h"
#include "sync/Import.h"
#include "sync/Requests.h"
#include "sync/Session.h"
#include "sync/Sync.h"
#include "ui/MapService.h"
#include "ui/PropertyCard.h"
#include "ui/PropertyList.h"
#include "ui/Style.h"
#include "ui/TfrmMain.h"
#include "ui/TfrmViewer.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QList<qint64> Codes(const QString& sql)
{
    QList<qint64> codes;
    std::unique_ptr<TResultSet> rows;
    if (DB()->QueryNoCount(sql, rows) && rows)
        for (rows->First(); !rows->Eof(); rows->Next())
            codes << rows->AsInt64At(0);
    return codes;
}

std::unique_ptr<TResultSet> PropertyRow(qint64 code)
{
    std::unique_ptr<TResultSet> row;
    DB()->QueryNoCount(PropertyQuerySql() + u"WHERE `W_Propiedades`.`Prop_Codigo`=%1;"_s.arg(code), row);
    return row;
}

class OpenedUrls : public QObject {
    Q_OBJECT
public:
    OpenedUrls()
    {
        for (const QString& scheme : {u"http"_s, u"https"_s})
            QDesktopServices::setUrlHandler(scheme, this, "Open");
    }
    ~OpenedUrls() override
    {
        for (const QString& scheme : {u"http"_s, u"https"_s})
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QList<QUrl> urls;
public Q_SLOTS:
    void Open(const QUrl& url) { urls << url; }
};

} // namespace

class TestPropertyCard : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { ApplyAppStyle(*qApp); }
    void init();
    void cleanup();

    void composedTextsAndNavigation();
    void photosStripAndViewer();
    void mapPositionGeocodingAndLinks();
    void videoButton();

private:
    // The card of a property as a user reaches it: its code in the quick search, Enter, and a
    // click on the row found.
    TPropertyCard* OpenCard(qint64 code);
    std::unique_ptr<ProgramFixture> m_program;
    QPointer<TfrmMain> m_window;
};

void TestPropertyCard::init()
{
    m_program = std::make_unique<ProgramFixture>();
    QVERIFY2(m_program->Install(), qPrintable(m_program->Error()));
    ProgramFixture::Options options;
    options.screen = QSize(1920, 1080);
    options.windowSize = QSize(1366, 768);
    m_window = m_program->Start(options);
    QVERIFY2(m_window, qPrintable(m_program->Error()));
    QTest::mouseClick(m_window->btnFLProps, Qt::LeftButton);
    QCOMPARE(m_window->CurrentSection(), int(TfrmMain::SecProps));
}

void TestPropertyCard::cleanup()
{
    const auto calls = m_program->Fatal().calls;
    m_program.reset();
    qunsetenv("KORVEL_MAP_APP_CODE");
    QVERIFY2(calls.empty(), calls.empty() ? "" : qPrintable(calls.front().message));
}

TPropertyCard* TestPropertyCard::OpenCard(qint64 code)
{
    if (m_window->btnPropCardBack->isVisible())
        QTest::mouseClick(m_window->btnPropCardBack, Qt::LeftButton);
    QTest::mouseClick(m_window->edtPropSearch, Qt::LeftButton);
    ProgramFixture::Key(Qt::Key_A, Qt::ControlModifier);
    ProgramFixture::Type(FormatCode(code));
    ProgramFixture::Key(Qt::Key_Return);
    TPropertyList* list = m_window->PropertyList;
    if (list->PageCodes() != QStringList{QString::number(code)})
        return nullptr;
    QTest::mouseClick(list->lstboxResult->viewport(), Qt::LeftButton, {},
                      list->lstboxResult->visualItemRect(list->lstboxResult->item(0)).center());
    TPropertyCard* card = m_window->PropertyCard;
    return card->isVisible() && card->PropertyCode() == code ? card : nullptr;
}

void TestPropertyCard::composedTextsAndNavigation()
{
    // An apartment on a street with a floor and unit, with extra details of a choice list.
    const QList<qint64> flats =
        Codes(u"SELECT p.`Prop_Codigo` FROM `W_Propiedades` p WHERE p.`Edif_Codigo`=5 AND p.`Calle_Codigo`>0 AND "
              u"p.`Prop_Numero`<>'' AND EXISTS (SELECT 1 FROM `W_MasDatos` m JOIN `W_DetalleEdif` d ON "
              u"d.`DetalleEdif_Codigo`=m.`DetalleEdif_Codigo` WHERE m.`Prop_Codigo`=p.`Prop_Codigo` AND "
              u"d.`TipoCampo_Codigo`=2) LIMIT 1;"_s);
    QVERIFY(!flats.isEmpty());
    auto card = OpenCard(flats[0]);
    QVERIFY(card);
    auto row = PropertyRow(flats[0]);
    QVERIFY(row);
    QCOMPARE(card->edtPropCodigo->text(), FormatCode(flats[0]));
    const QString street = ReorderStreetName(row->AsString(u"Calle_Nombre"_s));
    QVERIFY(!street.contains(u','));
    QCOMPARE(card->edtPropCalleBarrio->text(), street);
    QCOMPARE(card->lblPropCalleBarrio->text(), u"Calle"_s);
    QCOMPARE(card->edtPropPrecio->text(), PriceText(*row));
    QCOMPARE(card->edtPropEstado->text(), StatusText(*row, false).text);
    QCOMPARE(card->edtPropPiso->text(), row->AsString(u"Prop_Piso"_s).trimmed());
    QCOMPARE(card->lblPropDorm->text(), u"Amb."_s);
    QCOMPARE(card->lblPropDto->text(), u"Dto."_s);
    QCOMPARE(card->lblPropSupTno->text(), u"Sup. Total"_s);
    QCOMPARE(card->lblPropAno->text(), u"Antigüedad"_s);
    QVERIFY(card->edtPropPiso->isVisible());
    // The rest of the address follows the unit field, 3 pixels to its right.
    QCOMPARE(card->edtPropOtros->x(), card->edtPropDto->geometry().right() + 1 + 3);
    // Display mode: a click on a feature box is undone.
    const bool garage = card->chkPropCochera->isChecked();
    QTest::mouseClick(card->chkPropCochera, Qt::LeftButton);
    QCOMPARE(card->chkPropCochera->isChecked(), garage);

    QStringList captions;
    for (int i = 0; i < card->tabsProp->count(); ++i)
        captions << card->tabsProp->tabText(i);
    QCOMPARE(captions, (QStringList{u"  Datos generales  "_s, u"  Más información  "_s, u"  Imágenes  "_s,
                                    u"  Mapa  "_s, u"  Información privada  "_s}));
    QCOMPARE(card->tabsProp->currentWidget(), card->tabGeneral);
    // A choice detail shows the option its stored index names.
    std::unique_ptr<TResultSet> detail;
    QVERIFY(
        DB()->QueryNoCount(u"SELECT d.`DetalleEdif_Codigo`, d.`DetalleEdif_Opciones`, m.`MasDato_Valor` FROM "
                           u"`W_MasDatos` m JOIN `W_DetalleEdif` d ON d.`DetalleEdif_Codigo`=m.`DetalleEdif_Codigo` "
                           u"WHERE m.`Prop_Codigo`=%1 AND d.`TipoCampo_Codigo`=2 LIMIT 1;"_s.arg(flats[0]),
                           detail));
    auto* combo =
        card->tabMoreInfo->findChild<QLineEdit*>(u"MASDATO_COMBO_"_s + detail->AsString(u"DetalleEdif_Codigo"_s));
    QVERIFY(combo);
    QCOMPARE(combo->text(),
             detail->AsString(u"DetalleEdif_Opciones"_s).split(u'/').at(detail->AsInteger(u"MasDato_Valor"_s)));
    QVERIFY(card->tabsProp->isTabVisible(card->tabsProp->indexOf(card->tabMoreInfo)));
    SaveShot(card, u"card-general"_s);
    card->tabsProp->setCurrentWidget(card->tabMoreInfo);
    SaveShot(card, u"card-more-info"_s);

    // Land: no rooms, baths, covered surface, floors or year; no floor and unit, so the rest
    // follows the number.
    const QList<qint64> land =
        Codes(u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Edif_Codigo`=2 AND `Barrio_Codigo`=0 LIMIT 1;"_s);
    QVERIFY(!land.isEmpty());
    QCOMPARE(OpenCard(land[0]), card);
    for (QWidget* w : std::initializer_list<QWidget*>{card->edtPropDorm, card->edtPropBanos, card->edtPropSupCub,
                                                      card->edtPropPlantas, card->edtPropAno, card->edtPropPiso,
                                                      card->chkPropCochera})
        QVERIFY2(w->isHidden(), qPrintable(w->objectName()));
    QCOMPARE(card->edtPropOtros->x(), card->edtPropNum->geometry().right() + 1 + 3);
    QCOMPARE(card->tabsProp->currentWidget(), card->tabGeneral);

    // Navigation belongs to the list: the card steps through the rows it came from.
    QTest::mouseClick(m_window->btnPropCardBack, Qt::LeftButton);
    QTest::mouseClick(m_window->btnFLProps, Qt::LeftButton);
    TPropertyList* list = m_window->PropertyList;
    const QStringList page = list->PageCodes();
    const int total = list->ResultSet()->RecordCount();
    QVERIFY(total >= 3);
    QTest::mouseClick(list->lstboxResult->viewport(), Qt::LeftButton, {},
                      list->lstboxResult->visualItemRect(list->lstboxResult->item(0)).center());
    QCOMPARE(card->lblPropNav->text(), u"Prop: 1 / %1"_s.arg(total));
    QVERIFY(!card->btnPropNavFirst->isEnabled() && !card->btnPropNavLeft->isEnabled());
    QVERIFY(card->btnPropNavRight->isEnabled() && card->btnPropNavLast->isEnabled());
    QTest::mouseClick(card->btnPropNavRight, Qt::LeftButton);
    QCOMPARE(QString::number(card->PropertyCode()), page[1]);
    QTest::mouseClick(card->btnPropNavLast, Qt::LeftButton);
    QCOMPARE(card->lblPropNav->text(), u"Prop: %1 / %1"_s.arg(total));
    QVERIFY(card->btnPropNavLeft->isEnabled() && !card->btnPropNavRight->isEnabled());

    // A code that is not there: the fixed message, the card stays usable.
    ScriptedAnswerer messages;
    QVERIFY(!card->ShowProperty(999999999));
    QCOMPARE(messages.shown.size(), size_t(1));
    QCOMPARE(messages.shown[0].text, u"Error al cargar los datos de la propiedad \r\n[CODE P02]"_s);
}

void TestPropertyCard::photosStripAndViewer()
{
    // The service has picture files for some of its properties only: take one of those
    // with several photos.
    const QList<qint64> candidates =
        Codes(u"SELECT `Prop_Codigo` FROM `W_Fotos` GROUP BY `Prop_Codigo` HAVING COUNT(*) >= 3 ORDER BY "
              u"`Prop_Codigo`;"_s);
    TPropertyCard* card = nullptr;
    for (qint64 code : candidates) {
        card = OpenCard(code);
        QVERIFY(card);
        if (card->PhotoLoaded())
            break;
    }
    QVERIFY2(card && card->PhotoLoaded(), "no demo property with downloadable photos");
    const qint64 code = card->PropertyCode();
    const int count = card->PhotoCount();
    QCOMPARE(card->lblPropImgIndex->text(), u"1 / %1"_s.arg(count));
    QVERIFY(card->lblPropPhotoDownload->isHidden());
    QVERIFY(!card->btnPropImgPrior->isEnabled());
    card->btnPropImgNext->click();
    QCOMPARE(card->PhotoIndex(), 1);
    QCOMPARE(card->lblPropImgIndex->text(), u"2 / %1"_s.arg(count));
    QVERIFY(card->PhotoLoaded());
    card->btnPropImgPrior->click();
    QCOMPARE(card->PhotoIndex(), 0);

    // The photo opens the strip: one image per photo, in rows of five.
    QTest::mouseClick(card->imgPropPhoto, Qt::LeftButton);
    QCOMPARE(card->tabsProp->currentWidget(), card->tabImages);
    const auto thumbs = card->rectPropPhotoStrip->findChildren<TClickLabel*>(Qt::FindDirectChildrenOnly);
    QCOMPARE(thumbs.size(), count + (VideoWatchUrl(PropertyRow(code)->AsString(u"Prop_Video"_s)).isEmpty() ? 0 : 1));
    auto* second = card->rectPropPhotoStrip->findChild<TClickLabel*>(u"imgPhotoThumb1"_s);
    QVERIFY(second);
    QCOMPARE(second->geometry(), QRect(163, 0, 155, 116));
    QCOMPARE(second->property("tag").toInt(), 1);
    SaveShot(card, u"card-images"_s);

    // The viewer opens on the clicked photo and steps with the keys, stopping at the end.
    QStringList seen;
    QTimer::singleShot(0, this, [&] {
        auto* viewer = qobject_cast<TfrmViewer*>(QApplication::activeModalWidget() ? QApplication::activeModalWidget()
                                                                                   : card->findChild<TfrmViewer*>());
        QVERIFY(viewer);
        QCOMPARE(viewer->size(), QSize(800, 600));
        seen << viewer->lblViewerIndex->text();
        for (int i = 0; i < count + 1; ++i)
            QTest::keyClick(viewer, Qt::Key_Right);
        seen << viewer->lblViewerIndex->text();
        QTest::mouseClick(viewer->imgViewer, Qt::LeftButton, {}, QPoint(100, 300));
        seen << viewer->lblViewerIndex->text();
        SaveShot(viewer, u"card-viewer"_s);
        viewer->reject();
    });
    QTest::mouseClick(second, Qt::LeftButton);
    QCOMPARE(seen,
             (QStringList{u"2 / %1"_s.arg(count), u"%1 / %1"_s.arg(count), u"%1 / %2"_s.arg(count - 1).arg(count)}));

    // A photo listed but not on disk, and no downloads: the download link offers it.
    const QString first = PhotoFileName(code, Codes(u"SELECT `Foto_Codigo` FROM `W_Fotos` WHERE `Prop_Codigo`=%1 "
                                                    u"ORDER BY `Foto_Orden`, `Foto_Codigo` LIMIT 1;"_s.arg(code))
                                                  .value(0));
    QVERIFY(QFile::exists(first));
    QVERIFY(QFile::remove(first));
    SyncEnabled = false;
    QCOMPARE(OpenCard(code), card);
    QVERIFY(!card->PhotoLoaded());
    QVERIFY(card->lblPropPhotoDownload->isVisible());
    SyncEnabled = true;
    card->DownloadPhotos();
    QVERIFY(QFile::exists(first));
    QVERIFY(card->PhotoLoaded());
    QVERIFY(card->lblPropPhotoDownload->isHidden());

    // Photos the service has no files for, and no connection at all: the click says which.
    qint64 bare = 0;
    for (qint64 candidate : Codes(u"SELECT DISTINCT f.`Prop_Codigo` FROM `W_Fotos` f JOIN `W_Propiedades` p ON "
                                  u"p.`Prop_Codigo`=f.`Prop_Codigo` WHERE p.`Prop_Estado`=2 ORDER BY 1;"_s)) {
        const QString photo = QFileInfo(PhotoFileName(candidate, 0)).fileName().section(u'_', 0, 1);
        if (QDir(m_program->Service().DataFolder() + u"/photos/"_s + ZeroPad(int(candidate / 100000), 4))
                .entryList({photo + u"_*"_s})
                .isEmpty()) {
            bare = candidate;
            break;
        }
    }
    QVERIFY(bare);
    // Back in the window after the download, as the user's next click would be.
    m_window->activateWindow();
    QTRY_VERIFY(QApplication::focusWidget());
    QCOMPARE(OpenCard(bare), card);
    ScriptedAnswerer messages;
    card->DownloadPhotos();
    QCOMPARE(messages.shown.size(), size_t(1));
    QVERIFY(messages.shown[0].text.contains(u"todavía no tiene"_s));
    SyncEnabled = false;
    card->DownloadPhotos();
    QCOMPARE(messages.shown.size(), size_t(2));
    QVERIFY(messages.shown[1].text.contains(u"No hay conexión"_s));
    SyncEnabled = true;
}

void TestPropertyCard::mapPositionGeocodingAndLinks()
{
    OpenedUrls opened;
    // A position entered by hand is used as it is.
    const QList<qint64> placed =
        Codes(u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Barrio_Codigo`=0 AND "
              u"`Calle_Codigo`>0 AND `Prop_Numero`<>'' AND `Prop_Latitud` IS NOT NULL LIMIT 2;"_s);
    QCOMPARE(placed.size(), 2);
    auto card = OpenCard(placed[0]);
    QVERIFY(card);
    auto row = PropertyRow(placed[0]);
    const QString coordinates = row->AsString(u"Prop_Latitud"_s) + u',' + row->AsString(u"Prop_Longitud"_s);
    QCOMPARE(card->imgPropMap->text(), u"Obteniendo datos..."_s);
    card->tabsProp->setCurrentWidget(card->tabMap);
    QCOMPARE(card->MapCoordinates(), coordinates);
    QCOMPARE(card->lblPropMapAddress->text(), u"Ubicación ingresada manualmente ("_s + coordinates + u')');
    QCOMPARE(card->imgPropMap->pixmap().size(), QSize(1492, 711));
    QVERIFY(card->imgPropMapApprox->isHidden());
    QVERIFY(card->imgPropMapBadge->isVisible());
    SaveShot(card, u"card-map"_s);

    // The map's menu and click.
    std::unique_ptr<QMenu> menu(card->MapMenu(nullptr));
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions.size(), 3);
    QVERIFY(!actions[0]->isEnabled()); // nothing was looked up
    actions[1]->trigger();
    QCOMPARE(QApplication::clipboard()->text(), coordinates);
    actions[2]->trigger();
    QTest::mouseClick(card->imgPropMap, Qt::LeftButton);
    QCOMPARE(opened.urls.size(), 2);
    QCOMPARE(QUrlQuery(opened.urls[0]).queryItemValue(u"q"_s, QUrl::FullyDecoded), coordinates);
    QVERIFY(opened.urls[1].toString().endsWith(u"/directions/drive/Propiedad:"_s + coordinates + u"?map="_s +
                                               coordinates + u",19,satellite"_s));

    // Without a position the address is looked up: the service places it in its locality.
    QVERIFY(DB()->ExecNoCount(
        u"UPDATE `W_Propiedades` SET `Prop_Latitud`=NULL, `Prop_Longitud`=NULL WHERE `Prop_Codigo`=%1;"_s.arg(
            placed[1])));
    row = PropertyRow(placed[1]);
    QCOMPARE(OpenCard(placed[1]), card);
    QVERIFY(card->MapCoordinates().isEmpty());
    card->tabsProp->setCurrentWidget(card->tabMap);
    const QString label = card->MapFoundLabel();
    QVERIFY2(label.startsWith(ReorderStreetName(row->AsString(u"Calle_Nombre"_s)) + u' ' +
                              row->AsString(u"Prop_Numero"_s) + u", "_s),
             qPrintable(label));
    QVERIFY(label.contains(row->AsString(u"Loc_Nombre"_s)));
    QCOMPARE(card->lblPropMapAddress->text(), label + u" ("_s + card->MapCoordinates() + u')');
    std::unique_ptr<TResultSet> around;
    QVERIFY(DB()->QueryNoCount(
        u"SELECT AVG(`Prop_Latitud`) AS `Lat`, AVG(`Prop_Longitud`) AS `Lon` FROM "
        u"`W_Propiedades` WHERE `Loc_Codigo`=%1 AND `Barrio_Codigo`=0 AND `Prop_Latitud` IS NOT NULL;"_s.arg(
            row->AsInteger(u"Loc_Codigo"_s)),
        around));
    const QStringList position = card->MapCoordinates().split(u',');
    QVERIFY2(qAbs(position[0].toDouble() - around->AsFloat(u"Lat"_s)) < 0.05,
             qPrintable(card->MapCoordinates() + u' ' + around->AsString(u"Lat"_s)));
    QVERIFY(qAbs(position[1].toDouble() - around->AsFloat(u"Lon"_s)) < 0.05);
    QVERIFY(card->imgPropMapApprox->isHidden()); // matched down to the house number
    QVERIFY(!card->imgPropMap->pixmap().isNull());
    menu.reset(card->MapMenu(nullptr));
    QVERIFY(menu->actions()[0]->isEnabled());
    menu->actions()[0]->trigger();
    QCOMPARE(QApplication::clipboard()->text(), label);

    // Credentials the map service does not know: nothing found, no map.
    qputenv("KORVEL_MAP_APP_CODE", "kv-0000000000000000000");
    QCOMPARE(OpenCard(placed[1]), card);
    card->tabsProp->setCurrentWidget(card->tabMap);
    QCOMPARE(card->lblPropMapAddress->text(), u"No se encontró la dirección."_s);
    QVERIFY(card->MapCoordinates().isEmpty());
    QVERIFY(card->imgPropMap->pixmap().isNull());
}

void TestPropertyCard::videoButton()
{
    OpenedUrls opened;
    const QList<qint64> withVideo =
        Codes(u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Prop_Video` LIKE 'youtube,%' LIMIT 1;"_s);
    const QList<qint64> without =
        Codes(u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Prop_Video` IS NULL LIMIT 1;"_s);
    QVERIFY(!withVideo.isEmpty() && !without.isEmpty());
    auto card = OpenCard(withVideo[0]);
    QVERIFY(card);
    QVERIFY(card->btnPropPlayVideo->isVisible());
    card->btnPropPlayVideo->click();
    const QString id = PropertyRow(withVideo[0])->AsString(u"Prop_Video"_s).section(u',', 1);
    QCOMPARE(opened.urls, QList<QUrl>{QUrl(u"https://www.youtube.com/watch?v="_s + id)});
    QCOMPARE(VideoWatchUrl(u"vimeo,12345678"_s), u"https://vimeo.com/12345678"_s);
    QVERIFY(VideoWatchUrl(u"dailymotion,x1"_s).isEmpty());
    QCOMPARE(OpenCard(without[0]), card);
    QVERIFY(card->btnPropPlayVideo->isHidden());
}

QTEST_MAIN(TestPropertyCard)
#include "test_PropertyCard.moc"
