// Stored searches as a user meets them: saved from the filter panel, found again after a
// restart, loaded, deleted, sent to the service, a client's search in its own view, and the
// new matches that a synchronisation brings from the rest of the network.
#include "core/MiscFunc.h"
#include "core/UserMessages.h"
#include "db/DBSchema.h"
#include "db/uDB.h"
#include "search/NewMatches.h"
#include "support/DialogDriver.h"
#include "support/ProgramFixture.h"
#include "support/Screenshot.h"
#include "support/TestRoot.h"
#include "ui/FilterPanel.h"
#include "ui/PropertyList.h"
#include "ui/TfrmFilterSave.h"
#include "ui/TfrmMain.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <sqlite3.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The service's master database, read and written beside the running service.
class MasterDb {
public:
    explicit MasterDb(const QString& folder)
    {
        sqlite3_open((folder + u"/master.db"_s).toUtf8().constData(), &m_db);
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~MasterDb() { sqlite3_close(m_db); }
    QStringList Column(const QString& sql) const
    {
        QStringList values;
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &s, nullptr) == SQLITE_OK)
            while (sqlite3_step(s) == SQLITE_ROW)
                values << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
        sqlite3_finalize(s);
        return values;
    }
    QString Value(const QString& sql) const { return Column(sql).value(0); }
    bool Exec(const QString& sql)
    {
        return sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }

private:
    sqlite3* m_db = nullptr;
};

QString LocalValue(const QString& sql)
{
    std::unique_ptr<TResultSet> rows;
    if (!DB() || !DB()->QueryNoCount(sql, rows) || !rows || rows->RecordCount() == 0)
        return u"<none>"_s;
    return rows->AsStringAt(0);
}

// A client's search as another workstation of the agency saved it: houses, any price.
const QString kClientSearch =
    u"{<Ubicacion()><Edificacion(1)><Situacion()><Estado()><Inmobiliaria()><Pais()><Provincia()><Partido()>"
    u"<Localidad()><Zona()><Calle()><Barrio()><Precio(0,0)><Moneda(0)><Ingreso(0,0)><Modificado(0,0)><SupTno(0,0)>"
    u"<SupCub(0,0)><Dormitorios(0,0)><Ambientes(0,0)><Plantas(0,0)><Banio(0,0)><Anio(0,0)><Texto()>"
    u"<Dependencias(-1)><Cochera(-1)><Telefono(-1)><AEstrenar(-1)><EnCero(0)>}"_s;

} // namespace

class TestStoredSearchWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ProgramFixture> program;
    std::unique_ptr<ScriptedAnswerer> answers;
    QPointer<TfrmMain> window;
    TFilterPanel* panel = nullptr;
    QString clientName;
    int clientCode = 0;

    template <typename T> T* Child(const QString& name)
    {
        T* child = panel->findChild<T*>(name);
        if (!child)
            qWarning("no control %s", qPrintable(name));
        return child;
    }
    QListWidget* Stored() { return Child<QListWidget>(u"lstboxStoredSrch"_s); }
    void Click(const QString& button) { QTest::mouseClick(Child<QPushButton>(button), Qt::LeftButton); }
    QListWidgetItem* Entry(const QString& text)
    {
        const QList<QListWidgetItem*> items = Stored()->findItems(text, Qt::MatchExactly);
        return items.isEmpty() ? nullptr : items.first();
    }
    void ClickEntry(QListWidget* list, QListWidgetItem* item, bool twice = false)
    {
        list->scrollToItem(item);
        const QPoint at = list->visualItemRect(item).center() - QPoint(list->visualItemRect(item).width() / 4, 0);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        if (twice) {
            QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        }
    }
    bool ClickFilterEntry(const QString& text)
    {
        QListWidget* list = Child<QListWidget>(u"lstboxFilter1"_s);
        const QList<QListWidgetItem*> items = list->findItems(text, Qt::MatchExactly);
        if (items.isEmpty())
            return false;
        list->scrollToItem(items.first());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(items.first()).center());
        return true;
    }
    int Apply()
    {
        Click(u"btnFilterApply"_s);
        TResultSet* rows = window->PropertyList->ResultSet();
        return rows ? rows->RecordCount() : -1;
    }
    // Saves the filter on show as a new search through the dialog, typing its name.
    void SaveAs(const QString& name, bool shot = false)
    {
        DialogDriver driver;
        driver.On("TfrmFilterSave", [name, shot](QWidget* dialog) {
            auto* save = static_cast<TfrmFilterSave*>(dialog);
            QCOMPARE(QApplication::focusWidget(), save->edtFilterName);
            ProgramFixture::Type(name);
            if (shot)
                SaveShot(save, u"srch-filter-save"_s);
            QTest::mouseClick(save->btnOk, Qt::LeftButton);
        });
        Click(u"btnFilterSave"_s);
        QVERIFY(driver.seen.contains(u"TfrmFilterSave"_s));
        // The dialog lives as long as the program; it is shown again for the next save.
        FilterSaveDialog()->setProperty("driven", false);
    }
    void Synchronise()
    {
        window->activateWindow();
        QTRY_VERIFY(QApplication::activeWindow() == window);
        QTest::mouseClick(window->btnFLUpdate, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!SyncInProgress, 60000);
        if (window->layoutSyncFW->isVisible()) {
            // The installation's first changes: the agency's key and the picture's code first.
            window->activateWindow();
            QTRY_VERIFY(QApplication::activeWindow() == window);
            QTest::mouseClick(window->edtSyncFwKey, Qt::LeftButton);
            ProgramFixture::Type(u"DEMO0007"_s);
            QTest::mouseClick(window->edtSyncFwCode, Qt::LeftButton);
            ProgramFixture::Type(DrawnCaptchaCode(window->CaptchaDigestKept()));
            QTest::mouseClick(window->btnSyncFWLogin, Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!SyncInProgress, 60000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!NewMatchRunActive(), 20000);
        QTest::mouseClick(window->btnFLProps, Qt::LeftButton);
    }

private Q_SLOTS:
    void initTestCase()
    {
        ServiceOptions service;
        service.properties = 400;
        // The rest of the network changes only when a test asks it to.
        service.arguments = {u"--churn"_s, u"3600"_s, u"--churn-seed"_s, u"20261209"_s};
        program = std::make_unique<ProgramFixture>(service);
        QVERIFY2(program->Error().isEmpty(), qPrintable(program->Error()));
        {
            // A client whose search another workstation stored, delivered with the agency's data.
            MasterDb master(program->Service().DataFolder());
            clientCode = master
                             .Value(u"SELECT MIN(`Cli_Codigo`) FROM `W_Clientes` WHERE `Inmo_Codigo`=7 AND "
                                    u"`Cli_Tipo`=0;"_s)
                             .toInt();
            clientName =
                master.Value(u"SELECT `Cli_Nombre` FROM `W_Clientes` WHERE `Cli_Codigo`=%1;"_s.arg(clientCode));
            const QString admin = master.Value(
                u"SELECT `Usuario_Codigo` FROM `W_Usuarios` WHERE `Inmo_Codigo`=7 AND `Usuario_Login`='admin';"_s);
            QVERIFY(clientCode > 0 && !admin.isEmpty());
            QVERIFY(master.Exec(u"UPDATE `W_Clientes` SET `Cli_Filtro`='%1', `Cli_FiltroFecha`='2026-11-20 09:30:00', "
                                u"`Cli_FiltroUsuario`=%2 WHERE `Cli_Codigo`=%3;"_s.arg(kClientSearch, admin)
                                    .arg(clientCode)));
        }
        QVERIFY2(program->Install(), qPrintable(program->Error()));
        window = program->Start();
        QVERIFY2(window, qPrintable(program->Error()));
        QTest::mouseClick(window->btnFLProps, Qt::LeftButton);
        panel = window->FilterPanel;
        answers = std::make_unique<ScriptedAnswerer>();
    }

    void cleanupTestCase()
    {
        answers.reset();
        const auto calls = program ? program->Fatal().calls : decltype(program->Fatal().calls){};
        program.reset();
        QVERIFY2(calls.empty(), calls.empty() ? "" : qPrintable(calls.front().message));
    }

    void savedSearchSurvivesARestart()
    {
        QVERIFY(Entry(u"Búsqueda para "_s + clientName));
        QVERIFY(!Child<QPushButton>(u"btnStoredSrchLoad"_s)->isEnabled());
        Click(u"btnFilterEdif"_s);
        QVERIFY(ClickFilterEntry(u"Casa"_s));
        Child<QLineEdit>(u"edtFilterPrecioHasta"_s)->setFocus();
        ProgramFixture::Type(u"90000000"_s);
        const int count = Apply();
        QVERIFY(count > 0);

        // A ")" would cut the stored text short: refused before the dialog opens.
        Child<QLineEdit>(u"edtFilterTexto"_s)->setFocus();
        ProgramFixture::Type(u"jardin)"_s);
        answers->shown.clear();
        {
            DialogDriver driver;
            driver.On("TfrmFilterSave", [](QWidget* dialog) { static_cast<TfrmFilterSave*>(dialog)->reject(); });
            Click(u"btnFilterSave"_s);
            QVERIFY(!driver.seen.contains(u"TfrmFilterSave"_s));
            FilterSaveDialog()->setProperty("driven", false);
        }
        QCOMPARE(answers->shown.size(), size_t(1));
        QVERIFY(answers->shown[0].text.contains(u"\")\""_s));
        QCOMPARE(LocalValue(u"SELECT COUNT(*) FROM `W_Filtros`;"_s), u"0"_s);
        Child<QLineEdit>(u"edtFilterTexto"_s)->clear();

        SaveAs(u"Casas hasta 90 millones"_s, true);
        QVERIFY(Entry(u"Casas hasta 90 millones"_s));
        QCOMPARE(
            LocalValue(u"SELECT `Filtro_Estado` FROM `W_Filtros` WHERE `Filtro_Nombre`='Casas hasta 90 millones';"_s),
            u"AM"_s);
        // The same name again is refused in the dialog, which stays open.
        {
            DialogDriver driver;
            QString message;
            driver.On("TfrmFilterSave", [&message](QWidget* dialog) {
                auto* save = static_cast<TfrmFilterSave*>(dialog);
                ProgramFixture::Type(u"Casas hasta 90 millones"_s);
                QTest::mouseClick(save->btnOk, Qt::LeftButton);
                message = save->lblMsg->text();
                QVERIFY(save->isVisible());
                QTest::mouseClick(save->btnCancel, Qt::LeftButton);
            });
            Click(u"btnFilterSave"_s);
            QCOMPARE(message, FilterSaveText::NameTaken);
            FilterSaveDialog()->setProperty("driven", false);
        }

        // Sent to the service, which keeps the very same text.
        const QString text = LocalValue(u"SELECT `Filtro_Parametros` FROM `W_Filtros`;"_s);
        Synchronise();
        const QString code = LocalValue(u"SELECT `Filtro_Codigo` || '|' || `Filtro_Estado` FROM `W_Filtros`;"_s);
        QVERIFY2(code.endsWith(u"|OK"_s) && code.section(u'|', 0, 0).toLongLong() < kLocalCodeFirst, qPrintable(code));
        MasterDb master(program->Service().DataFolder());
        QCOMPARE(master.Value(u"SELECT `Filtro_Parametros` FROM `W_Filtros` WHERE `Filtro_Codigo`=%1;"_s.arg(
                     code.section(u'|', 0, 0))),
                 text);
        // The support tool finds as many rows with the text the service holds.
        QProcess tool;
        tool.start(QStringLiteral(KORVEL_TOOL_BIN), {u"filter"_s, Paths.DatabaseFile, text});
        QVERIFY(tool.waitForFinished(30000));
        QVERIFY2(tool.readAllStandardOutput().contains(u"filas: %1"_s.arg(count).toUtf8()),
                 qPrintable(QString::fromUtf8(tool.readAllStandardError())));

        program->Close();
        window = program->Start();
        QVERIFY2(window, qPrintable(program->Error()));
        QTest::mouseClick(window->btnFLProps, Qt::LeftButton);
        panel = window->FilterPanel;
        QListWidgetItem* saved = Entry(u"Casas hasta 90 millones"_s);
        QVERIFY(saved);
        ClickEntry(Stored(), saved, true);
        QCOMPARE(Child<QLineEdit>(u"edtFilterPrecioHasta"_s)->text(), u"90.000.000"_s);
        QVERIFY(Child<QPushButton>(u"btnStoredSrchDel"_s)->isEnabled());
        QCOMPARE(Apply(), count);
    }

    void clientSearchOpensTheClientView()
    {
        QListWidgetItem* item = Entry(u"Búsqueda para "_s + clientName);
        QVERIFY(item);
        ClickEntry(Stored(), item);
        QVERIFY(Child<QPushButton>(u"btnStoredSrchLoad"_s)->isEnabled());
        Click(u"btnStoredSrchLoad"_s);
        QVERIFY(panel->InClientView());
        QVERIFY(Child<QWidget>(u"layoutFilterClient"_s)->isVisible());
        QVERIFY(!Stored()->isVisible());
        QCOMPARE(Child<QLabel>(u"lblFilterCliName"_s)->text(), clientName);
        QCOMPARE(Child<QLabel>(u"lblFilterCliDate"_s)->text(), u"Guardada el 20/11/2026 09:30"_s);
        QVERIFY(Child<QLabel>(u"lblFilterCliUser"_s)->text().startsWith(u"Por "_s));
        QVERIFY(panel->State().Codes(FilterList::Edificacion).contains(1));
        for (const QSize size : {QSize(1024, 768), QSize(1920, 1080)}) {
            window->resize(size);
            QTest::qWait(50);
            SaveShot(window, u"srch-client-view-%1x%2"_s.arg(size.width()).arg(size.height()));
        }

        // Saving in the client view writes the client's search, marked for upload.
        Child<QLineEdit>(u"edtFilterPrecioDesde"_s)->setFocus();
        ProgramFixture::Type(u"50000"_s);
        answers->shown.clear();
        Click(u"btnFilterSave"_s);
        QCOMPARE(answers->shown.size(), size_t(1));
        QCOMPARE(answers->shown[0].kind, TMessageKind::Information);
        const QString row = LocalValue(
            u"SELECT `Cli_Estado` || '|' || `Cli_Filtro` FROM `W_Clientes` WHERE `Cli_Codigo`=%1;"_s.arg(clientCode));
        QVERIFY2(row.startsWith(u"AM|"_s) && row.contains(u"<Precio(50000,0)>"_s), qPrintable(row));
        QVERIFY(Child<QLabel>(u"lblFilterCliDate"_s)
                    ->text()
                    .startsWith(u"Guardada el "_s + QDate::currentDate().toString(u"dd/MM/yyyy"_s)));

        Click(u"btnFilterCancel"_s);
        QVERIFY(!panel->InClientView());
        QVERIFY(Stored()->isVisible());

        // From a client's record, for a client without a search yet: the name says so until
        // the first one is saved, which then shows in the list.
        const QString other = LocalValue(u"SELECT `Cli_Codigo` FROM `W_Clientes` WHERE `Inmo_Codigo`=7 AND "
                                         u"COALESCE(`Cli_Filtro`, '')='' AND `Cli_Tipo`=0 ORDER BY 1 LIMIT 1;"_s);
        const QString otherName =
            LocalValue(u"SELECT `Cli_Nombre` FROM `W_Clientes` WHERE `Cli_Codigo`=%1;"_s.arg(other));
        panel->OpenClientView(other.toInt(), otherName);
        QCOMPARE(Child<QLabel>(u"lblFilterCliName"_s)->text(), otherName + u" *"_s);
        QVERIFY(!Child<QLabel>(u"lblFilterCliDate"_s)->isVisible());
        Click(u"btnFilterEdif"_s);
        QVERIFY(ClickFilterEntry(u"Casa"_s));
        Click(u"btnFilterSave"_s);
        QCOMPARE(Child<QLabel>(u"lblFilterCliName"_s)->text(), otherName);
        QVERIFY(Child<QLabel>(u"lblFilterCliDate"_s)->isVisible());
        Click(u"btnFilterCancel"_s);
        QVERIFY(Entry(u"Búsqueda para "_s + otherName));
    }

    void damagedSearchIsRefusedAndTheListStillWorks()
    {
        QVERIFY(DB()->ExecNoCount(u"UPDATE `W_Filtros` SET `Filtro_Parametros`='{<Precio(1,2' WHERE `Filtro_Nombre`="
                                  u"'Casas hasta 90 millones';"_s));
        answers->shown.clear();
        ClickEntry(Stored(), Entry(u"Casas hasta 90 millones"_s), true);
        QCOMPARE(answers->shown.size(), size_t(1));
        QCOMPARE(answers->shown[0].kind, TMessageKind::Error);
        QVERIFY(program->Fatal().calls.empty());
        // The other entry still loads.
        ClickEntry(Stored(), Entry(u"Búsqueda para "_s + clientName), true);
        QVERIFY(panel->InClientView());
        Click(u"btnFilterCancel"_s);
    }

    void newMatchesAfterTheNetworkChanged()
    {
        // Listings that entered the network today, whatever else they are.
        Click(u"btnFilterNew"_s);
        auto* from = Child<QDateEdit>(u"edtFilterIngresoDesde"_s);
        // As the Tab key enters it: the day selected, the rest typed over section by section.
        from->setFocus(Qt::TabFocusReason);
        ProgramFixture::Type(QDate::currentDate().toString(u"ddMMyyyy"_s));
        QCOMPARE(from->date(), QDate::currentDate());
        SaveAs(u"Nuevas de hoy"_s);

        // Other agencies at work until one of them lists a new property.
        MasterDb master(program->Service().DataFolder());
        const QString listed = u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Prop_CodigoInterno` LIKE 'N-%' "
                               u"AND `Prop_Publica`=1 AND `Prop_Estado`=2 ORDER BY 1;"_s;
        const QStringList before = master.Column(listed);
        QStringList added;
        for (int batch = 0; batch < 20 && added.isEmpty(); ++batch) {
            QCOMPARE(program->Service().Post(u"/admin/churn"_s, R"({"batches":1})", "application/json").status, 200);
            added = master.Column(listed);
            for (const QString& code : before)
                added.removeAll(code);
        }
        QCOMPARE(added.size(), 1);
        QVERIFY(Entry(u"Nuevas de hoy"_s));
        QVERIFY(!Stored()->findChild<QPushButton*>(u"btnStoredSrchNew"_s));

        Synchronise();
        QListWidgetItem* item = Entry(u"Nuevas de hoy"_s);
        QVERIFY(item);
        auto* news = Stored()->itemWidget(item)->findChild<QPushButton*>(u"btnStoredSrchNew"_s);
        QVERIFY(news);
        QCOMPARE(news->text(), u"1 nueva"_s);
        for (const QSize size : {QSize(1024, 768), QSize(1920, 1080)}) {
            window->resize(size);
            QTest::qWait(50);
            SaveShot(window, u"srch-new-matches-%1x%2"_s.arg(size.width()).arg(size.height()));
        }
        // Survives a restart of the list (and of the program: the table is in the file).
        panel->RefreshStoredSearches();
        item = Entry(u"Nuevas de hoy"_s);
        news = Stored()->itemWidget(item)->findChild<QPushButton*>(u"btnStoredSrchNew"_s);
        QVERIFY(news);

        // One click: just those properties; seen, the count goes.
        QTest::mouseClick(news, Qt::LeftButton);
        TResultSet* rows = window->PropertyList->ResultSet();
        QVERIFY(rows);
        QStringList shown;
        for (rows->First(); !rows->Eof(); rows->Next())
            shown << rows->AsString(u"Prop_Codigo"_s);
        QCOMPARE(shown, added);
        item = Entry(u"Nuevas de hoy"_s);
        QVERIFY(!Stored()->itemWidget(item)->findChild<QPushButton*>(u"btnStoredSrchNew"_s));
        QCOMPARE(LocalValue(u"SELECT COUNT(*) FROM `%1`;"_s.arg(kNewMatchTable)),
                 LocalValue(u"SELECT COUNT(*) FROM `%1` WHERE `Busqueda_Tipo`=2;"_s.arg(kNewMatchTable)));

        ClickEntry(Stored(), item);
        Click(u"btnStoredSrchDel"_s);
    }

    void deletionsLocalAndSynchronisedReachTheService()
    {
        // Saved and never sent: the row goes at once.
        answers->answer = true;
        Click(u"btnFilterEdif"_s);
        QVERIFY(ClickFilterEntry(u"Departamento"_s));
        SaveAs(u"Departamentos"_s);
        QVERIFY(Entry(u"Departamentos"_s));
        ClickEntry(Stored(), Entry(u"Departamentos"_s));
        Click(u"btnStoredSrchDel"_s);
        QVERIFY(!Entry(u"Departamentos"_s));
        QCOMPARE(LocalValue(u"SELECT COUNT(*) FROM `W_Filtros` WHERE `Filtro_Nombre`='Departamentos';"_s), u"0"_s);

        // The synchronised one stays, marked, until the upload takes the deletion along.
        const QString code =
            LocalValue(u"SELECT `Filtro_Codigo` FROM `W_Filtros` WHERE `Filtro_Nombre`='Casas hasta 90 millones';"_s);
        ClickEntry(Stored(), Entry(u"Casas hasta 90 millones"_s));
        Click(u"btnStoredSrchDel"_s);
        QVERIFY(!Entry(u"Casas hasta 90 millones"_s));
        QCOMPARE(LocalValue(u"SELECT `Filtro_Estado` FROM `W_Filtros` WHERE `Filtro_Codigo`=%1;"_s.arg(code)), u"B"_s);
        Synchronise();
        MasterDb master(program->Service().DataFolder());
        QCOMPARE(master.Value(u"SELECT COUNT(*) FROM `W_Filtros` WHERE `Filtro_Codigo`=%1;"_s.arg(code)), u"0"_s);
        // The client's search went with the client.
        QVERIFY(master.Value(u"SELECT `Cli_Filtro` FROM `W_Clientes` WHERE `Cli_Codigo`=%1;"_s.arg(clientCode))
                    .contains(u"<Precio(50000,0)>"_s));
        QCOMPARE(LocalValue(u"SELECT COUNT(*) FROM `W_Filtros` WHERE `Filtro_Codigo`=%1;"_s.arg(code)), u"0"_s);
    }
};

QTEST_MAIN(TestStoredSearchWindow)
#include "test_StoredSearchWindow.moc"
