// The card as the form of the agency's own listings, through the program as the entry
// assembles it: the action column by role and property, a new house saved, and the
// save's checks refused one by one.
#include "core/MiscFunc.h"
#include "core/UserMessages.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "records/OwnProperty.h"
#include "records/PhotoFiles.h"
#include "records/TfrmDlg.h"
#include "support/DialogDriver.h"
#include "support/ProgramFixture.h"
#include "support/Screenshot.h"
#include "ui/PhotoArea.h"
#include "ui/PropertyCard.h"
#include "ui/PropertyList.h"
#include "ui/TfrmMain.h"

#include <QComboBox>
#include <QImageReader>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

qint64 Scalar(const QString& sql)
{
    std::unique_ptr<TResultSet> r;
    if (!DB() || !DB()->QueryNoCount(sql, r) || !r || r->RecordCount() == 0 || r->IsNullAt(0))
        return -999;
    return r->AsInt64At(0);
}

// The location dialog is another piece of the program; here it answers with the place of
// an existing listing, as a user's choice would.
TPropertyLocation SomeLocation()
{
    TOwnPropertyInput input;
    LoadOwnPropertyInput(int(Scalar(u"SELECT MIN(`Prop_Codigo`) FROM `W_Propiedades` WHERE `Calle_Codigo` > 0 AND "
                                    u"`Zon_Codigo` > 0;"_s)),
                         input);
    input.Location.Path = u"Argentina > Buenos Aires > Tigre > Don Torcuato"_s;
    input.Location.StreetName = u"Rivadavia"_s;
    return input.Location;
}

} // namespace

class TestOwnPropertyEdit : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup();

    void actionColumnByPropertyAndRole();
    void aHouseForSaleIsSaved();
    void eachCheckRefusesWithItsMessage();
    void modifyAndCopyForms();
    void ownRowsLeadIntoTheForm();

private:
    TfrmMain* Start(const QString& user);
    TPropertyCard* OpenCard(qint64 code);
    // Clicks a field and types over what it holds.
    static void TypeInto(QWidget* field, const QString& text);
    // Steps a combo with the arrow keys until its item carries the value.
    static bool Choose(QComboBox* combo, int value);
    void StartNewHouse(TPropertyCard* card);

    std::unique_ptr<ProgramFixture> m_program;
    QPointer<TfrmMain> m_window;
};

void TestOwnPropertyEdit::cleanup()
{
    TPropertyCard::SetEditServices({});
    QString fatal;
    if (m_program && !m_program->Fatal().calls.empty())
        fatal = m_program->Fatal().calls.front().message;
    m_program.reset();
    QVERIFY2(fatal.isEmpty(), qPrintable(fatal));
}

TfrmMain* TestOwnPropertyEdit::Start(const QString& user)
{
    m_program = std::make_unique<ProgramFixture>();
    if (!m_program->Install())
        return nullptr;
    ProgramFixture::Options options;
    options.user = user;
    options.windowSize = QSize(1024, 768);
    m_window = m_program->Start(options);
    if (m_window)
        QTest::mouseClick(m_window->btnFLProps, Qt::LeftButton);
    return m_window;
}

TPropertyCard* TestOwnPropertyEdit::OpenCard(qint64 code)
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

void TestOwnPropertyEdit::TypeInto(QWidget* field, const QString& text)
{
    QTest::mouseClick(field, Qt::LeftButton);
    ProgramFixture::Key(Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        ProgramFixture::Key(Qt::Key_Delete);
    else
        ProgramFixture::Type(text);
}

bool TestOwnPropertyEdit::Choose(QComboBox* combo, int value)
{
    combo->setFocus();
    ProgramFixture::Key(Qt::Key_Home);
    for (int i = 0; i <= combo->count(); ++i) {
        if (combo->currentData().toInt() == value)
            return true;
        ProgramFixture::Key(Qt::Key_Down);
    }
    return combo->currentData().toInt() == value;
}

void TestOwnPropertyEdit::StartNewHouse(TPropertyCard* card)
{
    QTest::mouseClick(card->btnPropNew, Qt::LeftButton);
    QCOMPARE(card->EditMode(), int(EditNew));
    const TPropertyLocation location = SomeLocation();
    TCardEditServices services;
    services.ChooseLocation = [location](QWidget*, TPropertyLocation& chosen) {
        chosen = location;
        return true;
    };
    TPropertyCard::SetEditServices(services);
    QTest::mouseClick(card->btnPropLocation, Qt::LeftButton);
    QCOMPARE(card->edtPropUbicacion->text(), location.Path);
    QVERIFY(Choose(card->cboPropMoneda, int(Scalar(u"SELECT MIN(`Moneda_Codigo`) FROM `W_Monedas` WHERE "
                                                   u"`Moneda_Cotizacion` > 1;"_s))));
    QVERIFY(Choose(card->cboPropEdif, 1));
    QVERIFY(Choose(card->cboPropSitu, 1));
    TypeInto(card->edtPropPrecio, u"150.000"_s);
    TypeInto(card->edtPropNum, u"1234"_s);
}

void TestOwnPropertyEdit::actionColumnByPropertyAndRole()
{
    QVERIFY(Start(u"admin"_s));
    ScriptedAnswerer messages;
    const qint64 own = Scalar(u"SELECT MIN(p.`Prop_Codigo`) FROM `W_Propiedades` p WHERE p.`Inmo_Codigo` = 7 AND "
                              u"p.`Prop_Estado` = 2 AND IFNULL(p.`Standby_Codigo`, 1) = 1 AND NOT EXISTS (SELECT 1 "
                              u"FROM `W_Fotos` f WHERE f.`Prop_Codigo` = p.`Prop_Codigo`);"_s);
    const qint64 foreign = Scalar(u"SELECT MIN(`Prop_Codigo`) FROM `W_Propiedades` WHERE `Inmo_Codigo` <> 7 AND "
                                  u"`Prop_Estado` = 2 AND `Prop_Publica` = 1;"_s);
    TPropertyCard* card = OpenCard(own);
    QVERIFY(card);
    const QList<QPushButton*> editing = {card->btnPropNew, card->btnPropMod, card->btnPropSuspend, card->btnPropDel,
                                         card->btnPropCopy};
    for (QPushButton* b : editing)
        QVERIFY2(b->isVisible() && b->isEnabled(), qPrintable(b->objectName()));
    QVERIFY(!card->btnPropRecovery->isVisible());
    QVERIFY(!card->btnPropSave->isVisible() && !card->btnPropCancel->isVisible());
    // Each slot 36 pixels below the one before.
    QCOMPARE(card->btnPropMod->y() - card->btnPropNew->y(), 36);
    QCOMPARE(card->btnPropDel->y() - card->btnPropSuspend->y(), 36);
    QVERIFY(card->imgPropKV->isVisible());
    QVERIFY(!card->imgPropKV->text().isEmpty());
    SaveShot(m_window, u"edit-column-own"_s);

    QTest::mouseClick(card->btnPropMod, Qt::LeftButton);
    QVERIFY2(messages.shown.empty(), messages.shown.empty() ? "" : qPrintable(messages.shown.front().text));
    QCOMPARE(card->EditMode(), int(EditModify));
    QVERIFY(card->btnPropSave->isVisible() && card->btnPropCancel->isVisible());
    for (QPushButton* b : editing)
        QVERIFY2(!b->isVisible(), qPrintable(b->objectName()));
    QVERIFY(!card->btnPropMark->isVisible());
    QVERIFY(!m_window->btnPropCardBack->isVisible());
    SaveShot(m_window, u"edit-column-edit"_s);
    QTest::mouseClick(card->btnPropCancel, Qt::LeftButton);
    QCOMPARE(card->EditMode(), 0);
    QCOMPARE(card->PropertyCode(), own);

    QVERIFY(OpenCard(foreign));
    for (QPushButton* b : editing)
        QVERIFY2(!b->isVisible(), qPrintable(b->objectName()));
    QVERIFY(!card->btnPropRecovery->isVisible() && !card->btnPropSave->isVisible());
    QVERIFY(!card->layoutPropPublication->isVisible());
    SaveShot(m_window, u"edit-column-foreign"_s);

    // A withdrawn listing offers recovery instead of withdrawal.
    QVERIFY(DB()->ExecNoCount(
        u"UPDATE `W_Propiedades` SET `Prop_Estado` = 1, `Baja_Codigo` = 2 WHERE `Prop_Codigo` = %1;"_s.arg(own)));
    QVERIFY(OpenCard(own));
    QVERIFY(card->btnPropRecovery->isVisible() && !card->btnPropDel->isVisible());
    QVERIFY(!card->btnPropMod->isEnabled() && !card->btnPropSuspend->isEnabled());

    // A read-only user finds no enabled editing button.
    QVERIFY(DB()->ExecNoCount(
        u"UPDATE `W_Propiedades` SET `Prop_Estado` = 2, `Baja_Codigo` = 1 WHERE `Prop_Codigo` = %1;"_s.arg(own)));
    m_program.reset();
    QVERIFY(Start(u"consulta2"_s));
    card = OpenCard(own);
    QVERIFY(card);
    for (QPushButton* b :
         {card->btnPropNew, card->btnPropMod, card->btnPropSuspend, card->btnPropDel, card->btnPropCopy})
        QVERIFY2(b->isVisible() && !b->isEnabled(), qPrintable(b->objectName()));
}

void TestOwnPropertyEdit::aHouseForSaleIsSaved()
{
    QVERIFY(Start(u"admin"_s));
    const qint64 own = Scalar(u"SELECT MIN(`Prop_Codigo`) FROM `W_Propiedades` WHERE `Inmo_Codigo` = 7;"_s);
    TPropertyCard* card = OpenCard(own);
    QVERIFY(card);
    StartNewHouse(card);
    QCOMPARE(card->lblPropFormTitle->text(), u"Formulario de alta de propiedades"_s);
    QVERIFY(card->lblPropFormTitle->isVisible());
    QCOMPARE(card->edtPropCodigo->text(), u"(Sin asignar)"_s);
    // Two 1024x768 photos dropped on the form's photo area, as files from the desktop.
    QVERIFY(card->rectPropEditPhotos->isVisible() && !card->imgPropPhoto->isVisible());
    QMimeData data;
    QList<QUrl> files;
    for (const QColor& colour : {QColor(200, 40, 40), QColor(40, 40, 200)}) {
        QImage picture(1024, 768, QImage::Format_RGB32);
        picture.fill(colour);
        const QString file = m_program->Root().Path() + u"foto-%1.jpg"_s.arg(files.size() + 1);
        QVERIFY(picture.save(file, "JPG", 90));
        files << QUrl::fromLocalFile(file);
    }
    data.setUrls(files);
    const QPoint at = card->rectPropEditPhotos->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(card->rectPropEditPhotos, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(card->rectPropEditPhotos, &drop);
    QCOMPARE(card->rectPropEditPhotos->lblPropPhotoPosition->text(), u"Foto 2 de 2"_s);
    SaveShot(m_window, u"edit-card-new"_s);
    ScriptedAnswerer messages;
    QTest::mouseClick(card->btnPropSave, Qt::LeftButton);
    QVERIFY2(messages.shown.empty(), messages.shown.empty() ? "" : qPrintable(messages.shown.front().text));
    QCOMPARE(card->EditMode(), 0);
    const qint64 code = card->PropertyCode();
    QVERIFY(IsLocalCode(code));
    QCOMPARE(Scalar(u"SELECT `Prop_Precio` FROM `W_Propiedades` WHERE `Prop_Codigo` = %1 AND `Edif_Codigo` = 1 AND "
                    u"`Situ_Codigo` = 1 AND `Inmo_Codigo` = 7 AND `Sync_Tipo` = 'AM';"_s.arg(code)),
             150000);
    QVERIFY(card->edtPropPrecio->text().endsWith(u" 150.000"_s));
    // The photos were committed with the save: two rows of the listing, each file on its canvas.
    std::unique_ptr<TResultSet> photos;
    QVERIFY(DB()->QueryNoCount(u"SELECT `Foto_Codigo` FROM `W_Fotos` WHERE `Prop_Codigo` = %1;"_s.arg(code), photos));
    int stored = 0;
    for (photos->First(); !photos->Eof(); photos->Next(), ++stored)
        QCOMPARE(QImageReader(PhotoFileName(code, photos->AsInt64(u"Foto_Codigo"_s))).size(), QSize(800, 600));
    QCOMPARE(stored, 2);
    QCOMPARE(Scalar(u"SELECT COUNT(*) FROM `W_Fotos` WHERE `Prop_Codigo` < 0;"_s), 0);
    QCOMPARE(card->imgPropKV->text(), u"Sin enviar al servicio"_s);
    QVERIFY(!card->lblPropWebApp->isVisible());
    QCOMPARE(card->imgPropStatusZP->text(), u"No publicada en Zonaprop"_s);
    SaveShot(m_window, u"edit-card-saved"_s);
}

void TestOwnPropertyEdit::eachCheckRefusesWithItsMessage()
{
    QVERIFY(Start(u"admin"_s));
    TPropertyCard* card =
        OpenCard(Scalar(u"SELECT MIN(`Prop_Codigo`) FROM `W_Propiedades` WHERE `Inmo_Codigo` = 7;"_s));
    QVERIFY(card);
    StartNewHouse(card);
    const int pesos = int(Scalar(u"SELECT MIN(`Moneda_Codigo`) FROM `W_Monedas` WHERE `Moneda_Cotizacion` = 1;"_s));
    const int usd = card->cboPropMoneda->currentData().toInt();
    const auto invalid = [](const QString& caption) { return OwnPropertyText::InvalidField(caption); };
    struct Case {
        const char* name;
        std::function<void()> change;
        QString message;
        QWidget* focus;
    };
    const QList<Case> cases = {
        {"internal code", [&] { TypeInto(card->edtPropCodigoInterno, u"A<1>"_s); }, invalid(u"Código interno"_s),
         card->edtPropCodigoInterno},
        {"price with cents", [&] { TypeInto(card->edtPropPrecio, u"150.000,5"_s); }, OwnPropertyText::InvalidPrice,
         card->edtPropPrecio},
        {"sale under 10.000 pesos",
         [&] {
             Choose(card->cboPropMoneda, pesos);
             TypeInto(card->edtPropPrecio, u"9.999"_s);
         },
         OwnPropertyText::InvalidPrice, card->edtPropPrecio},
        {"no number", [&] { TypeInto(card->edtPropNum, QString()); }, invalid(u"Número"_s), card->edtPropNum},
        {"rest", [&] { TypeInto(card->edtPropOtros, u"<b>"_s); }, invalid(u"Resto"_s), card->edtPropOtros},
        {"land surface", [&] { TypeInto(card->edtPropSupTno, u"300m"_s); }, invalid(u"Sup. Tno."_s),
         card->edtPropSupTno},
        {"covered surface", [&] { TypeInto(card->edtPropSupCub, u"12a"_s); }, invalid(u"Sup. Cubierta"_s),
         card->edtPropSupCub},
        {"floors", [&] { TypeInto(card->edtPropPlantas, u"0"_s); }, invalid(u"Plantas"_s), card->edtPropPlantas},
        {"rooms", [&] { TypeInto(card->edtPropDorm, u"3,5"_s); }, invalid(u"Dorm."_s), card->edtPropDorm},
        {"baths", [&] { TypeInto(card->edtPropBanos, u"-1"_s); }, invalid(u"Baños"_s), card->edtPropBanos},
        {"year", [&] { TypeInto(card->edtPropAno, u"19x9"_s); }, invalid(u"Año"_s), card->edtPropAno},
        {"floor of an apartment",
         [&] {
             Choose(card->cboPropEdif, 5);
             TypeInto(card->edtPropPiso, u"100"_s);
         },
         OwnPropertyText::InvalidFloor, card->edtPropPiso},
        {"unit of an apartment",
         [&] {
             Choose(card->cboPropEdif, 5);
             TypeInto(card->edtPropPiso, u"pb"_s);
             TypeInto(card->edtPropDto, u"A-1"_s);
         },
         invalid(u"Dto."_s), card->edtPropDto},
    };
    ScriptedAnswerer messages;
    for (const Case& c : cases) {
        // A valid house again, then the one wrong field.
        Choose(card->cboPropEdif, 1);
        Choose(card->cboPropMoneda, usd);
        TypeInto(card->edtPropPrecio, u"150.000"_s);
        TypeInto(card->edtPropNum, u"1234"_s);
        for (QLineEdit* e : {card->edtPropCodigoInterno, card->edtPropOtros, card->edtPropSupTno, card->edtPropSupCub,
                             card->edtPropPlantas, card->edtPropDorm, card->edtPropBanos, card->edtPropAno})
            if (!e->text().isEmpty())
                TypeInto(e, QString());
        c.change();
        messages.shown.clear();
        QTest::mouseClick(card->btnPropSave, Qt::LeftButton);
        QVERIFY2(messages.shown.size() == 1, c.name);
        QCOMPARE(messages.shown.front().text, c.message);
        QVERIFY2(card->EditMode() == EditNew, c.name);
        QVERIFY2(QApplication::focusWidget() == c.focus, c.name);
    }
    QCOMPARE(Scalar(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Codigo` > 2147473646;"_s), 0);

    // The location dialog left without a choice: no location, and the save refuses.
    QTest::mouseClick(card->btnPropCancel, Qt::LeftButton);
    TPropertyCard::SetEditServices({});
    QTest::mouseClick(card->btnPropNew, Qt::LeftButton);
    TypeInto(card->edtPropPrecio, u"150.000"_s);
    TypeInto(card->edtPropNum, u"1234"_s);
    Choose(card->cboPropMoneda, usd);
    messages.shown.clear();
    DialogDriver driver;
    bool offered = false;
    driver.On("TfrmLocation", [&](QWidget* w) {
        offered = true;
        ProgramFixture::Key(Qt::Key_Escape);
        if (w->isVisible())
            static_cast<QDialog*>(w)->reject();
    });
    QTest::mouseClick(card->btnPropLocation, Qt::LeftButton);
    QVERIFY(offered);
    QVERIFY(card->edtPropUbicacion->text().isEmpty());
    messages.shown.clear();
    QTest::mouseClick(card->btnPropSave, Qt::LeftButton);
    QCOMPARE(messages.shown.size(), size_t(1));
    QCOMPARE(messages.shown.front().text, OwnPropertyText::MissingLocation);
    QCOMPARE(card->EditMode(), int(EditNew));
}

void TestOwnPropertyEdit::modifyAndCopyForms()
{
    QVERIFY(Start(u"admin"_s));
    const qint64 own = Scalar(u"SELECT MIN(p.`Prop_Codigo`) FROM `W_Propiedades` p WHERE p.`Inmo_Codigo` = 7 AND "
                              u"p.`Prop_Estado` = 2 AND NOT EXISTS (SELECT 1 FROM `W_Fotos` f WHERE f.`Prop_Codigo` = "
                              u"p.`Prop_Codigo`);"_s);
    TPropertyCard* card = OpenCard(own);
    QVERIFY(card);
    QTest::mouseClick(card->btnPropMod, Qt::LeftButton);
    QCOMPARE(card->EditMode(), int(EditModify));
    QCOMPARE(card->lblPropFormTitle->text(), u"Formulario de modificación de propiedades"_s);
    // Modifying offers no building type, operation or street choice.
    QVERIFY(!card->cboPropEdif->isVisible() && card->edtPropEdif->isVisible());
    QVERIFY(!card->cboPropSitu->isVisible() && !card->cboPropCalleBarrio->isEnabled());
    QVERIFY(card->cboPropSellerName->isVisible()); // the administrator picks the seller
    SaveShot(m_window, u"edit-card-modify"_s);
    ScriptedAnswerer messages;
    TypeInto(card->edtPropCodigoInterno, u"MOD-1"_s);
    QTest::mouseClick(card->btnPropSave, Qt::LeftButton);
    QVERIFY2(messages.shown.empty(), messages.shown.empty() ? "" : qPrintable(messages.shown.front().text));
    QCOMPARE(card->PropertyCode(), own);
    QCOMPARE(Scalar(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Codigo` = %1 AND `Prop_CodigoInterno` = "
                    u"'MOD-1' AND `Sync_Tipo` = 'AM';"_s.arg(own)),
             1);

    QTest::mouseClick(card->btnPropCopy, Qt::LeftButton);
    QCOMPARE(card->EditMode(), int(EditCopy));
    QCOMPARE(card->lblPropFormTitle->text(), u"Formulario de alta de propiedades"_s);
    QVERIFY(card->cboPropEdif->isVisible() && card->cboPropSitu->isVisible() && card->cboPropCalleBarrio->isEnabled());
    SaveShot(m_window, u"edit-card-copy"_s);
    QTest::mouseClick(card->btnPropSave, Qt::LeftButton);
    QVERIFY2(messages.shown.empty(), messages.shown.empty() ? "" : qPrintable(messages.shown.front().text));
    QVERIFY(IsLocalCode(card->PropertyCode()));
    QCOMPARE(Scalar(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_CodigoInterno` = 'MOD-1';"_s), 2);
}

void TestOwnPropertyEdit::ownRowsLeadIntoTheForm()
{
    QVERIFY(Start(u"admin"_s));
    ScriptedAnswerer messages;
    // The section opens on the agency's own listings, each row with its buttons.
    TPropertyList* list = m_window->PropertyList;
    const int before = list->ResultSet()->RecordCount();
    QVERIFY(before > 0);
    // A row whose listing has no photos to wait for.
    int index = 0;
    while (index < list->PageCodes().size() &&
           Scalar(u"SELECT COUNT(*) FROM `W_Fotos` WHERE `Prop_Codigo` = %1;"_s.arg(list->PageCodes().at(index))) > 0)
        ++index;
    QVERIFY(index < list->PageCodes().size());
    QWidget* row = list->lstboxResult->itemWidget(list->lstboxResult->item(index));
    QVERIFY(row);
    auto* edit = row->findChild<QPushButton*>(u"btnRowEdit"_s);
    QVERIFY(edit && row->findChild<QPushButton*>(u"btnRowDel"_s));
    const qint64 code = list->PageCodes().at(index).toLongLong();
    SaveShot(m_window, u"edit-own-rows"_s);
    QTest::mouseClick(edit, Qt::LeftButton);
    TPropertyCard* card = m_window->PropertyCard;
    QTRY_VERIFY2(card->EditMode() == EditModify,
                 messages.shown.empty() ? "no message" : qPrintable(messages.shown.front().text));
    QCOMPARE(card->PropertyCode(), code);
    QTest::mouseClick(card->btnPropCancel, Qt::LeftButton);

    // A new house: the own list is read again and the card stands on it there.
    StartNewHouse(card);
    QTest::mouseClick(card->btnPropSave, Qt::LeftButton);
    QVERIFY2(messages.shown.empty(), messages.shown.empty() ? "" : qPrintable(messages.shown.front().text));
    const qint64 created = card->PropertyCode();
    QVERIFY(IsLocalCode(created));
    QCOMPARE(list->ResultSet()->RecordCount(), before + 1);
    QVERIFY(card->isVisible());

    // Withdrawn before it was ever sent: it goes entirely, and the list shows again.
    DialogDriver driver;
    driver.On("TfrmDlg",
              [](QWidget* dialog) { QTest::mouseClick(static_cast<TfrmDlg*>(dialog)->btnOk, Qt::LeftButton); });
    QTest::mouseClick(card->btnPropDel, Qt::LeftButton);
    QVERIFY2(messages.shown.empty(), messages.shown.empty() ? "" : qPrintable(messages.shown.front().text));
    QCOMPARE(Scalar(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Codigo` = %1;"_s.arg(created)), 0);
    QTRY_VERIFY(list->isVisible());
    QCOMPARE(list->ResultSet()->RecordCount(), before);
}

QTEST_MAIN(TestOwnPropertyEdit)
#include "test_OwnPropertyEdit.moc"
