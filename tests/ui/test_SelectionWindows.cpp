#include "core/Config.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "search/Marks.h"
#include "selections/SelectionDialogs.h"
#include "selections/Selections.h"
#include "support/DialogDriver.h"
#include "support/ProgramFixture.h"
#include "support/Screenshot.h"
#include "support/TestRoot.h"
#include "sync/Requests.h"
#include "sync/Session.h"
#include "sync/Sync.h"
#include "sync/SyncData.h"
#include "sync/TfrmToS.h"
#include "ui/PropertyCard.h"
#include "ui/PropertyList.h"
#include "ui/ResultList.h"
#include "ui/Style.h"
#include "ui/TfrmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

void Click(QWidget* widget)
{
    QVERIFY2(widget, "no widget to click");
    QVERIFY2(widget->isVisible(), qPrintable(widget->objectName() + u" is not visible"_s));
    QVERIFY2(widget->isEnabled(), qPrintable(widget->objectName() + u" is not enabled"_s));
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

QWidget* Row(TPropertyList* list, int n)
{
    QListWidgetItem* item = list->lstboxResult->item(n);
    return item ? list->lstboxResult->itemWidget(item) : nullptr;
}

template <typename T> T* InRow(TPropertyList* list, int n, const char* name)
{
    QWidget* row = Row(list, n);
    return row ? row->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

// What a cell holds, whatever part of it its width shows.
QString CellText(TPropertyList* list, int n, const char* name)
{
    auto* label = InRow<QLabel>(list, n, name);
    return label ? label->property("fullText").toString() : u"<none>"_s;
}

// The row of the selections list whose name is name; -1 when none.
int RowNamed(TPropertyList* list, const QString& name)
{
    for (int i = 0; i < list->lstboxResult->count(); ++i)
        if (CellText(list, i, "txtName") == name)
            return i;
    return -1;
}

QCheckBox* MarkBox(TPropertyList* list, int n)
{
    for (int row = 0; row < list->lstboxResult->count(); ++row) {
        auto* box = InRow<QCheckBox>(list, row, "chkMark");
        if (box && box->isEnabled() && n-- == 0)
            return box;
    }
    return nullptr;
}

qint64 Number(const QString& sql)
{
    return ReadCount(sql);
}

void ShotsAtSizes(TfrmMain* window, const QString& name)
{
    for (const QSize& size : {QSize(1024, 768), QSize(1920, 1080)}) {
        window->resize(size);
        QTest::qWait(40);
        SaveShot(window, u"%1-%2x%3"_s.arg(name).arg(size.width()).arg(size.height()));
    }
    window->resize(1024, 768);
    QTest::qWait(40);
}

} // namespace

class TestSelectionWindows : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { ApplyAppStyle(*qApp); }
    void init()
    {
        m_program = std::make_unique<ProgramFixture>();
        QVERIFY2(m_program->Error().isEmpty(), qPrintable(m_program->Error()));
    }
    void cleanup()
    {
        const auto calls = m_program->Fatal().calls;
        m_program.reset();
        QVERIFY2(calls.empty(), calls.empty() ? "" : qPrintable(calls.front().message));
    }
    void marksBecomeASelectionThatIsSharedAndAccepted();

private:
    std::unique_ptr<ProgramFixture> m_program;
};

void TestSelectionWindows::marksBecomeASelectionThatIsSharedAndAccepted()
{
    QVERIFY(m_program->Install());
    ScriptedAnswerer messages;
    DialogDriver driver;
    ProgramFixture::Options options;
    options.windowSize = QSize(1024, 768);
    QPointer<TfrmMain> window = m_program->Start(options);
    QVERIFY2(window, qPrintable(m_program->Error()));
    // The entry made the two dialogs that live as long as the program.
    QVERIFY(SelectShareDialog());
    QVERIFY(SelectOthersDialog());
    // The dimming option of Configuración is the installation's setting.
    Click(window->btnFLConfig);
    QVERIFY(!window->chkConfigMarkVisitedProps->isChecked());
    Click(window->chkConfigMarkVisitedProps);
    QCOMPARE(ReadSetting(Setting::MarkVisitedProps), u"True"_s);
    Click(window->chkConfigMarkVisitedProps);
    QCOMPARE(ReadSetting(Setting::MarkVisitedProps), u"False"_s);

    Click(window->btnFLProps);
    TPropertyList* list = window->PropertyList;
    QCOMPARE(window->lblBtnPropSelections2->text(), u"0 guardadas"_s);

    // The header box marks the page and, with every row marked, unmarks it again.
    int markable = 0;
    for (int i = 0; i < list->lstboxResult->count(); ++i)
        if (auto* box = InRow<QCheckBox>(list, i, "chkMark"); box && box->isEnabled())
            ++markable;
    QVERIFY(markable > 3);
    Click(list->txtSelectAll);
    QCOMPARE(Marks().Count(), markable);
    QCOMPARE(window->lblBtnPropMarks2->text(), u"%1 propiedades"_s.arg(Marks().Count()));
    Click(list->txtSelectAll);
    QCOMPARE(Marks().Count(), 0);

    // The card's toggle marks the property shown.
    QTest::mouseClick(list->lstboxResult->viewport(), Qt::LeftButton, {},
                      list->lstboxResult->visualItemRect(list->lstboxResult->item(0)).center());
    QCOMPARE(window->ResultMode, int(TRMFicha));
    QCOMPARE(window->PropertyCard->btnPropMark->text(), u"Marcar"_s);
    Click(window->PropertyCard->btnPropMark);
    QCOMPARE(window->PropertyCard->btnPropMark->text(), u"Desmarcar"_s);
    QVERIFY(Marks().IsMarked(window->PropertyCard->PropertyCode()));
    QCOMPARE(window->lblBtnPropMarks2->text(), u"1 propiedad"_s);
    Click(window->PropertyCard->btnPropMark);
    QCOMPARE(Marks().Count(), 0);
    Click(window->btnPropCardBack);

    // Three marks, then the marked list with its tools and its select-all box.
    for (int i = 0; i < 3; ++i) {
        QCheckBox* box = MarkBox(list, i);
        Click(box);
    }
    QCOMPARE(Marks().Count(), 3);
    QVERIFY(!window->btnSLPropMarks->isChecked());
    Click(window->btnSLPropMarks);
    QCOMPARE(list->CurrentMode(), int(TRMMarkAmpliado));
    QVERIFY(window->btnSLPropMarks->isChecked());
    QVERIFY(list->txtSelectAll->isVisible());
    QVERIFY(list->btnPropMarkQuitar->isVisible());
    ShotsAtSizes(window, u"sel-marked-list"_s);

    // "Guardar": a new selection with a client, typed and chosen with the keyboard.
    QString client;
    driver.On("TfrmSelectSave", [&](QWidget* w) {
        auto* dialog = static_cast<TfrmSelectSave*>(w);
        SaveShot(dialog, u"sel-dialog-save"_s);
        QCOMPARE(QApplication::focusWidget(), dialog->edtSelectName);
        // Nothing of the user's own to add to yet.
        QVERIFY(!dialog->rbAdd->isEnabled());
        ProgramFixture::Type(u"Para Gomez <1>"_s);
        QCOMPARE(dialog->edtSelectName->text(), u"Para Gomez 1"_s);
        ProgramFixture::Key(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog->cboClient);
        ProgramFixture::Key(Qt::Key_Down);
        client = dialog->cboClient->currentText();
        Click(dialog->btnSave);
    });
    Click(list->btnSelectSave);
    QTRY_COMPARE(list->CurrentMode(), int(TRMSelecciones));
    QVERIFY(!client.isEmpty());
    QCOMPARE(Marks().Count(), 0);
    QCOMPARE(window->lblBtnPropMarks2->text(), u"0 propiedades"_s);
    QCOMPARE(window->lblBtnPropSelections2->text(), u"1 guardada"_s);
    QCOMPARE(list->lstboxResult->count(), 1);
    QCOMPARE(CellText(list, 0, "txtName"), u"Para Gomez 1"_s);
    QCOMPARE(CellText(list, 0, "txtClient"), client);
    QVERIFY(CellText(list, 0, "txtUser").startsWith(u"Mi ("_s));
    QVERIFY(!list->btnSelectJoin->isEnabled());
    const qint64 code = Number(u"SELECT `Selec_Codigo` FROM `W_Selecciones` WHERE `Selec_Nombre`=\"Para Gomez 1\";"_s);
    QCOMPARE(Number(u"SELECT COUNT(*) FROM `W_SeleccionesProps` WHERE `Selec_Codigo`=%1;"_s.arg(code)), 3);
    ShotsAtSizes(window, u"sel-selections-list"_s);

    // Its properties; a member taken out with its box.
    Click(InRow<QLabel>(list, 0, "txtName"));
    QTRY_COMPARE(list->CurrentMode(), int(TRMSelecPropAmpliado));
    QCOMPARE(list->ResultSet()->RecordCount(), 3);
    QVERIFY(list->lblPropListTitle->text().contains(u"Para Gomez 1"_s));
    QVERIFY(!list->txtSelectAll->isVisible());
    ShotsAtSizes(window, u"sel-selection-properties"_s);
    Click(MarkBox(list, 0));
    QTRY_COMPARE(list->ResultSet()->RecordCount(), 2);
    QCOMPARE(Number(u"SELECT COUNT(*) FROM `W_SeleccionesProps` WHERE `Selec_Codigo`=%1;"_s.arg(code)), 2);

    // Back to the list: duplicate the chosen selection.
    Click(window->btnSLPropSelections);
    QCOMPARE(list->CurrentMode(), int(TRMSelecciones));
    Click(InRow<QCheckBox>(list, 0, "chkSelect"));
    QVERIFY(list->btnSelectJoin->isEnabled());
    QVERIFY(list->btnSelectShare->isEnabled());
    driver.On("TfrmSelectMerge", [&](QWidget* w) {
        auto* dialog = static_cast<TfrmSelectMerge*>(w);
        SaveShot(dialog, u"sel-dialog-merge"_s);
        QVERIFY(dialog->rbDuplicate->isChecked());
        QVERIFY(!dialog->rbJoin->isEnabled());
        QVERIFY(!dialog->edtNewName->isEnabled());
        Click(dialog->btnApply);
    });
    Click(list->btnSelectJoin);
    QTRY_COMPARE(list->lstboxResult->count(), 2);
    QCOMPARE(window->lblBtnPropSelections2->text(), u"2 guardadas"_s);
    const int copy = RowNamed(list, u"Para Gomez 1"_s) == 0 ? 1 : 0;
    QVERIFY(CellText(list, copy, "txtName").startsWith(u"Para Gomez 1_Dup. "_s));
    QCOMPARE(CellText(list, copy, "txtClient"), QString());
    const QString copyName = CellText(list, copy, "txtName");

    // Shared with a colleague through the row's share picture.
    const int colleague = int(Number(u"SELECT `Usuario_Codigo` FROM `W_Usuarios` WHERE `Inmo_Codigo`=7 AND "
                                     u"`Usuario_Login`=\"carga1\";"_s));
    const QString me =
        ReadValue(u"W_Usuarios"_s, u"Usuario_Nombre"_s, u"Usuario_Codigo"_s, QString::number(SessionUserCode));
    driver.On("TfrmSelectShare", [&](QWidget* w) {
        auto* dialog = static_cast<TfrmSelectShare*>(w);
        QCOMPARE(dialog->lstboxSelections->count(), 1);
        QVERIFY(dialog->lstboxSelections->item(0)->text().contains(u"2 propiedades - Cliente: "_s));
        QCheckBox* box = dialog->UserBox(colleague);
        QVERIFY(box);
        QCOMPARE(box->checkState(), Qt::Unchecked);
        Click(box);
        QCOMPARE(box->checkState(), Qt::Checked);
        SaveShot(dialog, u"sel-dialog-share"_s);
        Click(dialog->btnApply);
    });
    Click(InRow<QToolButton>(list, RowNamed(list, u"Para Gomez 1"_s), "imgSelectShare"));
    QTRY_COMPARE(Number(u"SELECT COUNT(*) FROM `W_SeleccionesCompartidas` WHERE `Selec_Codigo`=%1 AND "
                        u"`Usuario_Codigo`=%2;"_s.arg(code)
                            .arg(colleague)),
                 qint64(1));
    QCOMPARE(InRow<QToolButton>(list, RowNamed(list, u"Para Gomez 1"_s), "imgSelectShare")->property("picture"),
             QVariant(u"imgSelectShareOn"_s));

    // The edit dialog's name rules: empty, taken, and the selection's own name.
    driver.On("TfrmSelectEdit", [&](QWidget* w) {
        auto* dialog = static_cast<TfrmSelectEdit*>(w);
        QCOMPARE(dialog->edtSelectName->text(), u"Para Gomez 1"_s);
        QCOMPARE(dialog->cboClient->currentText(), client);
        SaveShot(dialog, u"sel-dialog-edit"_s);
        QCOMPARE(QApplication::focusWidget(), dialog->edtSelectName);
        ProgramFixture::Key(Qt::Key_A, Qt::ControlModifier);
        ProgramFixture::Key(Qt::Key_Delete);
        ProgramFixture::Type(u"   "_s);
        Click(dialog->btnSave);
        QCOMPARE(dialog->lblMsg->text(), u"El nombre de la selección no es válido."_s);
        QCOMPARE(dialog->edtSelectName->text(), QString());
        Click(dialog->edtSelectName);
        ProgramFixture::Type(copyName);
        Click(dialog->btnSave);
        QCOMPARE(dialog->lblMsg->text(), u"El nombre ya existe, por favor elija otro."_s);
        QVERIFY(dialog->isVisible());
        Click(dialog->edtSelectName);
        ProgramFixture::Key(Qt::Key_A, Qt::ControlModifier);
        ProgramFixture::Type(u" Para Gomez 1 "_s);
        Click(dialog->btnSave);
    });
    Click(InRow<QToolButton>(list, RowNamed(list, u"Para Gomez 1"_s), "imgSelectMod"));
    QTRY_VERIFY(driver.seen.contains(u"TfrmSelectEdit"_s));
    QTRY_VERIFY(RowNamed(list, u"Para Gomez 1"_s) >= 0);

    // The two joined into a third; then that one and the copy joined, the originals deleted.
    const auto join = [&](const QString& name, bool deleteOriginals) {
        driver.On("TfrmSelectMerge", [=](QWidget* w) {
            auto* dialog = static_cast<TfrmSelectMerge*>(w);
            QVERIFY(dialog->rbJoin->isEnabled());
            Click(dialog->rbJoin);
            QVERIFY(dialog->edtNewName->isEnabled());
            Click(dialog->edtNewName);
            ProgramFixture::Type(name);
            if (deleteOriginals)
                Click(dialog->chkDelete);
            SaveShot(dialog, u"sel-dialog-join"_s);
            Click(dialog->btnApply);
        });
        Click(list->btnSelectJoin);
    };
    Click(InRow<QCheckBox>(list, 0, "chkSelect"));
    Click(InRow<QCheckBox>(list, 1, "chkSelect"));
    join(u"Todas juntas"_s, false);
    QTRY_COMPARE(list->lstboxResult->count(), 3);
    const qint64 joined =
        Number(u"SELECT `Selec_Codigo` FROM `W_Selecciones` WHERE `Selec_Nombre`=\"Todas juntas\";"_s);
    QCOMPARE(Number(u"SELECT COUNT(*) FROM `W_SeleccionesProps` WHERE `Selec_Codigo`=%1;"_s.arg(joined)), 2);
    Click(InRow<QCheckBox>(list, RowNamed(list, u"Todas juntas"_s), "chkSelect"));
    for (int i = 0; i < list->lstboxResult->count(); ++i)
        if (CellText(list, i, "txtName").contains(u"_Dup. "_s))
            Click(InRow<QCheckBox>(list, i, "chkSelect"));
    join(u"Otra"_s, true);
    QTRY_COMPARE(list->lstboxResult->count(), 2);
    QCOMPARE(window->lblBtnPropSelections2->text(), u"2 guardadas"_s);
    QVERIFY(RowNamed(list, u"Otra"_s) >= 0);
    QVERIFY(RowNamed(list, u"Para Gomez 1"_s) >= 0);
    // A row's delete picture asks first.
    const size_t asked = messages.shown.size();
    Click(InRow<QToolButton>(list, RowNamed(list, u"Otra"_s), "imgSelectDel"));
    QCOMPARE(messages.shown.size(), asked + 1);
    QCOMPARE(messages.shown.back().text, u"¿Desea eliminar la selección \"Otra\"?"_s);
    QCOMPARE(list->lstboxResult->count(), 1);
    QCOMPARE(window->lblBtnPropSelections2->text(), u"1 guardada"_s);

    // The colleague on the same installation: offered, hidden until accepted.
    // The installation is validated, so that the next start sends what was made here.
    TStatusAnswer validation;
    QCOMPARE(RequestValidationKey(CurrentSessionValues(), u"DEMO0007"_s, validation), QString());
    m_program->Close();
    // A new run of the program: what the previous one left in the process goes with it.
    ForceClose = false;
    CloseDatabase();
    ClearSession();
    options.user = u"carga1"_s;
    // Whoever enters for the first time here accepts the terms.
    options.dialogs = [](DialogDriver& start) {
        start.On("TfrmToS", [](QWidget* w) {
            auto* terms = static_cast<TfrmToS*>(w);
            terms->chkAgree->setChecked(true);
            terms->btnOk->click();
        });
    };
    window = m_program->Start(options);
    QVERIFY2(window,
             qPrintable(m_program->Error() + u"\n"_s + m_program->DialogsSeen().join(u' ') + u"\n"_s +
                        m_program->Root().LogLines().mid(m_program->Root().LogLines().size() - 12).join(u'\n')));
    list = window->PropertyList;
    Click(window->btnFLProps);
    Click(window->btnSLPropSelections);
    QCOMPARE(list->CurrentMode(), int(TRMNone));
    QCOMPARE(list->lblEmptyList->text(), u"No hay selecciones guardadas"_s);
    // The start sent the selections and brought them back under the service's codes.
    const qint64 sent = Number(u"SELECT `Selec_Codigo` FROM `W_Selecciones` WHERE `Selec_Nombre`=\"Para Gomez 1\";"_s);
    QVERIFY(sent > 0 && sent < 2147473647);
    driver.On("TfrmSelectOthers", [&](QWidget* w) {
        auto* dialog = static_cast<TfrmSelectOthers*>(w);
        QCOMPARE(dialog->Rows().size(), 1);
        auto* row = dialog->rectOthers->findChild<QWidget*>(u"rowOther%1"_s.arg(sent));
        QVERIFY(row);
        QCheckBox* see = row->findChild<QCheckBox*>(u"chkSee"_s);
        QVERIFY(!see->isChecked());
        Click(see);
        SaveShot(dialog, u"sel-dialog-others"_s);
        Click(dialog->btnApply);
    });
    Click(list->btnSelectOthers);
    QTRY_COMPARE(list->CurrentMode(), int(TRMSelecciones));
    QCOMPARE(list->lstboxResult->count(), 1);
    QCOMPARE(CellText(list, 0, "txtUser"), me);
    QCOMPARE(InRow<QToolButton>(list, 0, "imgSelectShare")->property("picture"), QVariant(u"imgSelectShareByOther"_s));
    QVERIFY(!InRow<QToolButton>(list, 0, "imgSelectDel")->isEnabled());
    ShotsAtSizes(window, u"sel-selections-of-others"_s);
    // Only the colleague's share row waits to go up; the owner's selection is as he left it.
    QCOMPARE(Number(u"SELECT COUNT(*) FROM `W_SeleccionesCompartidas` WHERE `Selec_EstadoCompartida`=\"AM\";"_s), 1);
    QVERIFY(driver.seen.contains(u"TfrmSelectOthers"_s));
}

QTEST_MAIN(TestSelectionWindows)
#include "test_SelectionWindows.moc"
