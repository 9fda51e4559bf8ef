// The location dialog and the photo area of the edit form, over the program as the entry
// starts it, used with the keyboard, clicks and a drop of image files.
#include "db/uDB.h"
#include "records/PhotoFiles.h"
#include "records/PropertyPhotos.h"
#include "support/ProgramFixture.h"
#include "support/Screenshot.h"
#include "ui/PhotoArea.h"
#include "ui/TfrmLocation.h"
#include "ui/TfrmVideoAdd.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// The main window with a dialog drawn where it stands over it, as the person sees both.
void SaveOverMain(QWidget* main, QWidget* dialog, const QString& name)
{
    QPixmap picture = main->grab();
    QPainter painter(&picture);
    painter.drawPixmap(dialog->mapToGlobal(QPoint(0, 0)) - main->mapToGlobal(QPoint(0, 0)), dialog->grab());
    painter.end();
    const QString folder = u"/work/shots/photos"_s;
    QDir().mkpath(folder);
    picture.save(folder + u'/' + name + u".png"_s);
    SaveShot(main, name + u"-main"_s);
}

QString FirstText(const QString& sql)
{
    std::unique_ptr<TResultSet> r;
    if (!DB() || !DB()->QueryNoCount(sql, r) || !r || r->RecordCount() == 0)
        return {};
    return r->AsStringAt(0);
}

} // namespace

class TestPhotoLocationWindows : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void locationInTwoSteps();
    void droppedPhotoRotated();
    void videoIdentifier();

private:
    std::unique_ptr<ProgramFixture> m_program;
    TfrmMain* m_main = nullptr;
};

void TestPhotoLocationWindows::init()
{
    m_program = std::make_unique<ProgramFixture>();
    QVERIFY2(m_program->Install(), qPrintable(m_program->Error()));
    ProgramFixture::Options options;
    options.screen = QSize(1024, 768);
    options.windowSize = QSize(1024, 768);
    m_main = m_program->Start(options);
    QVERIFY2(m_main, qPrintable(m_program->Error()));
}

void TestPhotoLocationWindows::cleanup()
{
    const auto calls = m_program->Fatal().calls;
    m_program.reset();
    QVERIFY2(calls.empty(), calls.empty() ? "" : qPrintable(calls.front().message));
}

void TestPhotoLocationWindows::locationInTwoSteps()
{
    // A locality of the demo with zones, and a street, each found by its first letters.
    const QString locality =
        FirstText(u"SELECT l.`Loc_Nombre` FROM `W_Localidades` l JOIN `W_Zonas` z ON z.`Loc_Codigo` = l.`Loc_Codigo` "
                  u"WHERE l.`Loc_Codigo` > 1 AND LENGTH(l.`Loc_Nombre`) >= 4 ORDER BY l.`Loc_Codigo` LIMIT 1;"_s);
    const QString street =
        FirstText(u"SELECT `Calle_Nombre` FROM `W_Calles` WHERE `Calle_Codigo` <> 787 AND LENGTH(`Calle_Nombre`) >= 4 "
                  u"ORDER BY `Calle_Codigo` LIMIT 1;"_s);
    QVERIFY(!locality.isEmpty() && !street.isEmpty());

    TfrmLocation dialog(m_main);
    bool chosen = false;
    TLocationCodes codes;
    QString locationText, streetText;
    QString shot;
    DialogDriver driver;
    driver.On("TfrmLocation", [&](QWidget* widget) {
        auto* d = static_cast<TfrmLocation*>(widget);
        QTRY_COMPARE(QApplication::focusWidget(), d->edtLocationKeyword);
        ProgramFixture::Type(u"ab"_s);
        ProgramFixture::Key(Qt::Key_Return);
        QCOMPARE(d->lblMsg->text(), LocationText::KeywordTooShort);
        ProgramFixture::Key(Qt::Key_A, Qt::ControlModifier);
        ProgramFixture::Type(locality.left(4).toLower());
        ProgramFixture::Key(Qt::Key_Return);
        QVERIFY(d->lstboxLocations->count() >= 3); // "*No Definida", the locality, a zone
        QCOMPARE(d->lstboxLocations->item(0)->text(), u"*No Definida"_s);
        QVERIFY(!d->btnFinish->isVisible());
        d->lstboxLocations->setFocus();
        ProgramFixture::Key(Qt::Key_Down); // the first entry below "*No Definida"
        ProgramFixture::Key(Qt::Key_Down);
        QVERIFY(d->lstboxLocations->currentItem()->text().contains(locality));
        SaveOverMain(m_main, d, u"location-step1"_s);
        QTest::mouseClick(d->btnNext, Qt::LeftButton);
        QCOMPARE(d->lblStep->text(), u"(Paso 2/2)"_s);
        QCOMPARE(d->lblTitle->text(), u"Buscar calle"_s);
        QVERIFY(!d->btnFinish->isEnabled());
        QTRY_COMPARE(QApplication::focusWidget(), d->edtPlaceKeyword);
        ProgramFixture::Type(street.left(4).toLower());
        ProgramFixture::Key(Qt::Key_Return);
        QVERIFY(d->lstboxPlaces->count() >= 2);
        QCOMPARE(d->lstboxPlaces->item(0)->text(), u"FALTA DIRECCION"_s);
        d->lstboxPlaces->setCurrentRow(d->lstboxPlaces->count() - 1);
        QVERIFY(d->btnFinish->isEnabled());
        SaveOverMain(m_main, d, u"location-step2"_s);
        QTest::mouseClick(d->btnFinish, Qt::LeftButton);
    });
    chosen = dialog.Execute(codes, false, locationText, streetText);
    QVERIFY(chosen);
    QVERIFY(codes.Complete());
    QVERIFY(locationText.contains(locality));
    QVERIFY(codes.Street > 0 && codes.Street != 787);
    QVERIFY(!streetText.isEmpty());
}

void TestPhotoLocationWindows::droppedPhotoRotated()
{
    const qint64 property = FirstText(u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Inmo_Codigo` = 7 ORDER BY "
                                      u"`Prop_Codigo` LIMIT 1;"_s)
                                .toLongLong();
    QVERIFY(property > 0);
    QDialog host(m_main);
    host.setWindowTitle(u"Fotografías"_s);
    auto* layout = new QVBoxLayout(&host);
    auto* area = new TPhotoArea(&host);
    layout->addWidget(area);
    QVERIFY(area->Begin(property, 2));
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    const int before = area->Store().Count();

    // A landscape picture, left half red, dropped on the area like a file from the desktop.
    QImage picture(1200, 700, QImage::Format_RGB32);
    picture.fill(QColor(30, 90, 200));
    QPainter(&picture).fillRect(0, 0, 600, 700, QColor(220, 40, 40));
    const QString file = m_program->Root().Path() + u"living.jpg"_s;
    QVERIFY(picture.save(file, "JPG", 95));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file), QUrl::fromLocalFile(m_program->Root().Path() + u"notas.txt"_s)});
    const QPoint at = area->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &drop);
    QCOMPARE(area->Store().Count(), before + 1);
    QCOMPARE(area->lblPropPhotoPosition->text(), u"Foto %1 de %1"_s.arg(before + 1));

    QTest::mouseClick(area->btnPropRotPhoto, Qt::LeftButton);
    QCOMPARE(area->Store().PendingRotation(), 90);
    QVERIFY(area->Store().CurrentFile().endsWith(u"_rot.jpg"_s));
    host.move(m_main->mapToGlobal(QPoint(200, 120)));
    QTest::qWait(50);
    SaveOverMain(m_main, &host, u"photo-area-rotated"_s);

    // The form's cancel leaves the listing as it was.
    area->Undo();
    QVERIFY(area->Begin(property, 2));
    QCOMPARE(area->Store().Count(), before);
    area->Undo();
}

void TestPhotoLocationWindows::videoIdentifier()
{
    TfrmVideoAdd dialog(m_main);
    QString value = u"YouTube,dQw4w9WgXcQ"_s;
    DialogDriver driver;
    driver.On("TfrmVideoAdd", [&](QWidget* widget) {
        auto* d = static_cast<TfrmVideoAdd*>(widget);
        QVERIFY(d->rbYouTube->isChecked());
        QCOMPARE(d->edtVideoID->text(), u"dQw4w9WgXcQ"_s);
        // The other provider's logo: the id of one means nothing to the other.
        QTest::mouseClick(d->imgVimeo, Qt::LeftButton);
        QVERIFY(d->rbVimeo->isChecked());
        QVERIFY(d->edtVideoID->text().isEmpty());
        d->edtVideoID->setFocus();
        ProgramFixture::Type(u"76 97<\"98"_s); // "<" and the quote are not taken; the blank is refused
        QCOMPARE(d->edtVideoID->text(), u"76 9798"_s);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        QCOMPARE(d->lblMsg->text(), PhotoText::InvalidVideoId);
        QVERIFY(d->isVisible());
        d->edtVideoID->setFocus();
        ProgramFixture::Key(Qt::Key_A, Qt::ControlModifier);
        ProgramFixture::Type(u"76979871"_s);
        ProgramFixture::Key(Qt::Key_Return);
    });
    QVERIFY(dialog.Execute(value));
    QCOMPARE(value, u"Vimeo,76979871"_s);
}

QTEST_MAIN(TestPhotoLocationWindows)
#include "test_PhotoLocationWindows.moc"
