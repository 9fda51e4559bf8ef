#include "core/Config.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "records/PropertyTexts.h"
#include "search/Filter.h"
#include "support/ProgramFixture.h"
#include "support/TestRoot.h"
#include "ui/EditKinds.h"
#include "ui/FilterPanel.h"
#include "ui/PropertyList.h"
#include "ui/Style.h"
#include "ui/TfrmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

QList<qint64> Column(const QString& sql)
{
    QList<qint64> values;
    std::unique_ptr<TResultSet> rows;
    if (DB()->QueryNoCount(sql, rows) && rows)
        for (rows->First(); !rows->Eof(); rows->Next())
            values << rows->AsInt64At(0);
    return values;
}

} // namespace

class TestFilterPanel : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ProgramFixture> program;
    std::unique_ptr<ScriptedAnswerer> answers;
    QPointer<TfrmMain> window;
    TFilterPanel* panel = nullptr;
    std::optional<TFilterQuery> applied;

    template <typename T> T* Child(const QString& name)
    {
        T* child = panel->findChild<T*>(name);
        if (!child)
            qWarning("no control %s", qPrintable(name));
        return child;
    }
    QListWidget* List() { return Child<QListWidget>(u"lstboxFilter1"_s); }
    void Click(const QString& button) { QTest::mouseClick(Child<QPushButton>(button), Qt::LeftButton); }
    // Clicks the first entry of the shown list whose text is the given one.
    bool ClickEntry(const QString& text)
    {
        QListWidget* list = List();
        const QList<QListWidgetItem*> items = list->findItems(text, Qt::MatchExactly);
        if (items.isEmpty())
            return false;
        list->scrollToItem(items.first());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(items.first()).center());
        return true;
    }
    QList<int> Positions(int list) const
    {
        QList<int> positions;
        const TFilterState state = panel->State();
        for (const auto& [position, code] : state.Set(list))
            positions << position;
        return positions;
    }
    bool Selected(const QString& button) { return Child<QPushButton>(button)->property("selected").toBool(); }
    QStringList Texts()
    {
        QStringList texts;
        for (int row = 0; row < List()->count(); ++row)
            texts << List()->item(row)->text();
        return texts;
    }

private Q_SLOTS:
    void initTestCase()
    {
        ServiceOptions service;
        service.properties = 400;
        program = std::make_unique<ProgramFixture>(service);
        QVERIFY2(program->Install(), qPrintable(program->Error()));
        window = program->Start();
        QVERIFY2(window, qPrintable(program->Error()));
        QTest::mouseClick(window->btnFLProps, Qt::LeftButton);
        panel = window->FilterPanel;
        QVERIFY(panel->isVisible());
        connect(panel, &TFilterPanel::Apply, this, [this](const TFilterQuery& query) { applied = query; });
        answers = std::make_unique<ScriptedAnswerer>();
    }

    // Every case starts from "Nuevo filtro", as a user starting over does.
    void init()
    {
        Click(u"btnFilterNew"_s);
        applied.reset();
        answers->shown.clear();
    }

    void cleanupTestCase()
    {
        answers.reset();
        const auto calls = program->Fatal().calls;
        program.reset();
        QVERIFY2(calls.empty(), calls.empty() ? "" : qPrintable(calls.front().message));
    }

    void defaultStateAndNew()
    {
        const TFilterEnv& env = panel->Env();
        QCOMPARE(env.DataDate, LastSyncTime().date());
        const TFilterState fresh = DefaultFilterState(env, true, LoadFilterList(FilterList::Estado, TFilterState()));
        QCOMPARE(panel->State(), fresh);
        QCOMPARE(Positions(FilterList::Estado), QList<int>({0, 2}));
        QCOMPARE(panel->ShownList(), FilterList::Estado);
        QVERIFY(Selected(u"btnFilterEstado"_s));
        QVERIFY(!Selected(u"btnFilterPais"_s));
        QCOMPARE(Child<QLineEdit>(u"edtFilterAnoHasta"_s)->text(), QString::number(env.DataYear()));
        QCOMPARE(Child<QDateEdit>(u"edtFilterIngresoDesde"_s)->date(), QDate(1992, 8, 1));
        // Checked entries stand out in the accent colour.
        QCOMPARE(List()->item(2)->checkState(), Qt::Checked);
        QCOMPARE(List()->item(2)->foreground().color(), Colors::AccentRed);
        QCOMPARE(List()->item(1)->checkState(), Qt::Unchecked);

        // A whole state shows and reads back as it was.
        TFilterState state = fresh;
        state.Precio = {150000, 900000};
        state.Moneda = 1;
        state.Dormitorios = {2, 3};
        state.Anio = {1990, env.DataYear()};
        state.Ingreso = {QDate(2020, 3, 1), env.DataDate};
        state.Cochera = 1;
        state.Texto = u"pileta"_s;
        state.EnCero = true;
        state.Set(FilterList::Situacion)[0] = LoadFilterList(FilterList::Situacion, state)[0].Code;
        panel->SetState(state);
        QCOMPARE(panel->State(), state);
        QCOMPARE(Child<QLineEdit>(u"edtFilterPrecioHasta"_s)->text(), u"900.000"_s);
        QVERIFY(Selected(u"btnFilterSitu"_s));

        Click(u"btnFilterPais"_s);
        Click(u"btnFilterNew"_s);
        QCOMPARE(panel->State(), fresh);
        QCOMPARE(panel->ShownList(), FilterList::Estado);
        QVERIFY(!Selected(u"btnFilterSitu"_s));

        QSignalSpy cancelled(panel, &TFilterPanel::Cancelled);
        panel->SetState(state);
        Click(u"btnFilterCancel"_s);
        QCOMPARE(cancelled.count(), 1);
        QCOMPARE(panel->State(), fresh);
    }

    void togglingRules()
    {
        // "Estado": the withdrawn entry and the stand-by states exclude each other.
        QVERIFY(ClickEntry(List()->item(4)->text()));
        QCOMPARE(Positions(FilterList::Estado), QList<int>({4}));
        QVERIFY(ClickEntry(List()->item(1)->text()));
        QVERIFY(ClickEntry(List()->item(3)->text()));
        QCOMPARE(Positions(FilterList::Estado), QList<int>({1, 3}));
        QVERIFY(ClickEntry(List()->item(1)->text()));
        QCOMPARE(Positions(FilterList::Estado), QList<int>({3}));
        // Select all is refused in lists 1 and 4; deselect all is not.
        QVERIFY(!Child<QPushButton>(u"btnFilterSelectAll"_s)->isEnabled());
        Click(u"btnFilterDeselectAll"_s);
        QVERIFY(Positions(FilterList::Estado).isEmpty());
        QVERIFY(!Selected(u"btnFilterEstado"_s));

        // Operations: select and deselect all.
        Click(u"btnFilterSitu"_s);
        const int operations = List()->count();
        QVERIFY(operations > 5);
        Click(u"btnFilterSelectAll"_s);
        QCOMPARE(int(panel->State().Set(FilterList::Situacion).size()), operations);
        QCOMPARE(List()->item(operations - 1)->checkState(), Qt::Checked);
        Click(u"btnFilterDeselectAll"_s);
        QVERIFY(panel->State().Set(FilterList::Situacion).empty());
        QCOMPARE(List()->item(0)->checkState(), Qt::Unchecked);

        // One location type at most; choosing one disables the other kind of address and
        // switching it empties the building types chosen under the old one.
        Click(u"btnFilterEdif"_s);
        QVERIFY(ClickEntry(u"Casa"_s));
        Click(u"btnFilterTipo"_s);
        QCOMPARE(Texts(), QStringList({u"Propiedades en Barrios Cerrados"_s, u"Propiedades a la Calle"_s}));
        QVERIFY(ClickEntry(u"Propiedades en Barrios Cerrados"_s));
        QVERIFY(panel->State().Set(FilterList::Edificacion).empty());
        QVERIFY(!Selected(u"btnFilterEdif"_s));
        QVERIFY(ClickEntry(u"Propiedades a la Calle"_s));
        QCOMPARE(Positions(FilterList::Ubicacion), QList<int>({1}));
        Click(u"btnFilterBarrio"_s);
        QVERIFY(!List()->isEnabled());
        QVERIFY(Texts().join(u' ').startsWith(u"No se pueden seleccionar barrios cerrados"_s));
        QVERIFY(!Child<QPushButton>(u"btnFilterSelectAll"_s)->isEnabled());
        Click(u"btnFilterCalle"_s);
        QVERIFY(List()->isEnabled());
        QVERIFY(List()->count() > 5);
    }

    void cascadeOfLocations()
    {
        Click(u"btnFilterProv"_s);
        const int allProvinces = List()->count();
        Click(u"btnFilterPais"_s);
        QVERIFY(ClickEntry(u"Argentina"_s));
        QVERIFY(Selected(u"btnFilterPais"_s));
        const int argentina = panel->State().Codes(FilterList::Pais).first();

        Click(u"btnFilterProv"_s);
        const QList<qint64> expected =
            Column(u"SELECT Prov_Codigo FROM W_Provincias WHERE Pais_Codigo = %1"_s.arg(argentina));
        QVERIFY(List()->count() > 1);
        QVERIFY(List()->count() < allProvinces);
        QCOMPARE(List()->count(), expected.size());
        for (int row = 0; row < List()->count(); ++row)
            QVERIFY(expected.contains(List()->item(row)->data(Qt::UserRole).toInt()));

        // A province narrows the districts to its own.
        const QString province = List()->item(0)->text();
        QVERIFY(ClickEntry(province));
        const int provinceCode = panel->State().Codes(FilterList::Provincia).first();
        Click(u"btnFilterPart"_s);
        QCOMPARE(List()->count(),
                 Column(u"SELECT Part_Codigo FROM W_Partidos WHERE Prov_Codigo = %1"_s.arg(provinceCode)).size());
        QVERIFY(ClickEntry(List()->item(0)->text()));
        QVERIFY(Selected(u"btnFilterPart"_s));

        // Changing the country empties every level below it.
        Click(u"btnFilterPais"_s);
        QVERIFY(ClickEntry(u"Argentina"_s));
        QVERIFY(panel->State().Set(FilterList::Provincia).empty());
        QVERIFY(panel->State().Set(FilterList::Partido).empty());
        QVERIFY(!Selected(u"btnFilterProv"_s));
        QVERIFY(!Selected(u"btnFilterPart"_s));
    }

    void typeAhead()
    {
        Click(u"btnFilterSitu"_s);
        List()->setFocus();
        QTest::keyClicks(List(), u"al"_s);
        QVERIFY(List()->currentItem()->text().toUpper().startsWith(u"AL"_s));
        QTest::keyClicks(List(), u"q"_s);
        QVERIFY(List()->currentItem()->text().toUpper().startsWith(u"ALQ"_s));
        // After a pause the prefix starts afresh.
        QTest::qWait(700);
        QTest::keyClicks(List(), u"v"_s);
        QVERIFY(List()->currentItem()->text().startsWith(u"V"_s));
        // Keys move the current entry only; nothing gets checked.
        QVERIFY(panel->State().Set(FilterList::Situacion).empty());
    }

    void featureFieldsFollowBuildingTypes()
    {
        QVERIFY(!FieldApplies(u"Dormitorios"_s, 5) && FieldApplies(u"Ambientes"_s, 5));
        QVERIFY(!FieldApplies(u"Ambientes"_s, 1) && !FieldApplies(u"Cochera"_s, 2) && !FieldApplies(u"Año"_s, 2) &&
                FieldApplies(u"Cochera"_s, 1));
        auto* dorm = Child<QLineEdit>(u"edtFilterDormDesde"_s);
        auto* amb = Child<QLineEdit>(u"edtFilterAmbDesde"_s);
        auto* anoHasta = Child<QLineEdit>(u"edtFilterAnoHasta"_s);
        auto* cochera = Child<TTriStateBox>(u"chkFilterCochera"_s);
        QTest::keyClicks(dorm, u"2"_s);
        QTest::keyClicks(amb, u"3"_s);
        QTest::mouseClick(cochera, Qt::LeftButton);
        QTest::mouseClick(cochera, Qt::LeftButton);
        QCOMPARE(cochera->Value(), 1);
        anoHasta->setText(u"2000"_s);

        Click(u"btnFilterEdif"_s);
        QVERIFY(ClickEntry(u"Departamento"_s));
        QVERIFY(!dorm->isEnabled());
        QVERIFY(dorm->text().isEmpty());
        QVERIFY(amb->isEnabled());
        QCOMPARE(amb->text(), u"3"_s);
        QVERIFY(cochera->isEnabled());

        QVERIFY(ClickEntry(u"Departamento"_s));
        QVERIFY(ClickEntry(u"Lote"_s));
        QVERIFY(!amb->isEnabled() && !cochera->isEnabled() && !anoHasta->isEnabled());
        QCOMPARE(cochera->Value(), -1);
        QCOMPARE(anoHasta->text(), QString::number(panel->Env().DataYear()));
        QCOMPARE(panel->State().Anio.To, panel->Env().DataYear());
        // A second type that has the features brings them back.
        QVERIFY(ClickEntry(u"Casa"_s));
        QVERIFY(dorm->isEnabled());
        QVERIFY(!amb->isEnabled()); // rooms belong to flats, not to houses or plots
        QVERIFY(cochera->isEnabled());
        QVERIFY(anoHasta->isEnabled());
        // Price and land surface never depend on it.
        QVERIFY(Child<QLineEdit>(u"edtFilterPrecioDesde"_s)->isEnabled());
        QVERIFY(Child<QLineEdit>(u"edtFilterTnoDesde"_s)->isEnabled());
    }

    void typingRules()
    {
        auto* price = Child<QLineEdit>(u"edtFilterPrecioDesde"_s);
        auto* dorm = Child<QLineEdit>(u"edtFilterDormHasta"_s);
        auto* anoDesde = Child<QLineEdit>(u"edtFilterAnoDesde"_s);
        auto* anoHasta = Child<QLineEdit>(u"edtFilterAnoHasta"_s);
        auto* text = Child<QLineEdit>(u"edtFilterTexto"_s);

        QTest::mouseClick(price, Qt::LeftButton);
        QTest::keyClicks(price, u"12a34-56789999"_s);
        QCOMPARE(price->text(), u"123456789"_s); // letters dropped, nine digits at most
        QTest::mouseClick(dorm, Qt::LeftButton);
        QCOMPARE(price->text(), u"123.456.789"_s);
        QCOMPARE(panel->State().Precio.From, 123456789);
        QTest::mouseClick(price, Qt::LeftButton);
        QCOMPARE(price->text(), u"123456789"_s);

        QTest::keyClicks(dorm, u"123"_s);
        QCOMPARE(dorm->text(), u"12"_s);

        // Years are judged once typed: an impossible lower year empties its field, an
        // impossible upper year falls back to the data year.
        QTest::mouseClick(anoDesde, Qt::LeftButton);
        QTest::keyClicks(anoDesde, u"1990"_s);
        QCOMPARE(anoDesde->text(), u"1990"_s);
        QTest::mouseClick(anoHasta, Qt::LeftButton);
        QCOMPARE(anoDesde->text(), u"1990"_s);
        anoHasta->clear();
        QTest::keyClicks(anoHasta, u"3000"_s);
        QTest::mouseClick(anoDesde, Qt::LeftButton);
        QCOMPARE(anoHasta->text(), QString::number(panel->Env().DataYear()));
        anoDesde->clear();
        QTest::keyClicks(anoDesde, u"1700"_s);
        QTest::mouseClick(text, Qt::LeftButton);
        QVERIFY(anoDesde->text().isEmpty());

        QTest::keyClicks(text, u"pileta <climatizada>"_s);
        QCOMPARE(text->text(), u"pileta climatizada"_s);

        // Dates: an upper bound after the data date is pulled back to it.
        auto* hasta = Child<QDateEdit>(u"edtFilterModHasta"_s);
        hasta->setDate(panel->Env().DataDate.addYears(3));
        QCOMPARE(hasta->date(), panel->Env().DataDate);
    }

    void applyRunsTheFilter()
    {
        // Without the default "Estado" entries the filter is empty: refused with a message,
        // and nothing runs.
        for (const int row : {0, 2})
            QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                              List()->visualItemRect(List()->item(row)).center());
        Click(u"btnFilterApply"_s);
        QVERIFY(!applied);
        QCOMPARE(int(answers->shown.size()), 1);
        QCOMPARE(answers->shown[0].kind, TMessageKind::Information);

        // A text the filter cannot search (a stored search may hold one) is refused with a word
        // instead of being left out, which would find every row.
        TFilterState unsearchable = panel->State();
        unsearchable.Texto = u"pileta \\ quincho"_s;
        panel->SetState(unsearchable);
        answers->shown.clear();
        Click(u"btnFilterApply"_s);
        QVERIFY(!applied);
        QCOMPARE(int(answers->shown.size()), 1);
        QVERIFY(answers->shown[0].text.contains(u"no se pueden buscar"_s));

        Click(u"btnFilterNew"_s);
        Click(u"btnFilterEdif"_s);
        QVERIFY(ClickEntry(u"Casa"_s));
        // The upper bound typed below the lower one is put in order before the search.
        auto* desde = Child<QLineEdit>(u"edtFilterPrecioDesde"_s);
        auto* hasta = Child<QLineEdit>(u"edtFilterPrecioHasta"_s);
        QTest::mouseClick(desde, Qt::LeftButton);
        QTest::keyClicks(desde, u"900000000"_s);
        QTest::mouseClick(hasta, Qt::LeftButton);
        QTest::keyClicks(hasta, u"50000"_s);
        Click(u"btnFilterApply"_s);
        QVERIFY(applied);
        QCOMPARE(desde->text().remove(u'.'), u"50000"_s);
        QCOMPARE(hasta->text(), u"900.000.000"_s);
        QCOMPARE(applied->OrderBy, u"ORDER BY `Prop_PrecioPesos` ASC"_s);
        QVERIFY(applied->BaseSql.contains(u"`W_Propiedades`.`Edif_Codigo` IN (1) "_s));

        std::unique_ptr<TResultSet> rows;
        QVERIFY(DB()->QueryNoCount(applied->Sql(), rows) && rows);
        QVERIFY(rows->RecordCount() > 0);
        QStringList states;
        for (const int code : panel->State().Codes(FilterList::Estado))
            states << QString::number(code);
        const qint64 expected = Column(u"SELECT COUNT(*) FROM W_Propiedades WHERE Edif_Codigo = 1 AND Prop_Estado = 2 "
                                       u"AND Standby_Codigo IN (%1) AND Moneda_Codigo = 1 AND Prop_Precio BETWEEN "
                                       u"50000 AND 900000000"_s.arg(states.join(u',')))
                                    .value(0);
        // Other currencies convert into the range too, so at least the peso listings show.
        QVERIFY(rows->RecordCount() >= expected);
        for (rows->First(); !rows->Eof(); rows->Next()) {
            QCOMPARE(rows->AsInteger(u"Edif_Codigo"_s), 1);
            QVERIFY(rows->AsInt64(u"Prop_PrecioPesos"_s) >= 50000);
        }
    }

    void clipboardCodeList()
    {
        const QList<qint64> codes = Column(u"SELECT Prop_Codigo FROM W_Propiedades ORDER BY Prop_Codigo LIMIT 3"_s);
        QCOMPARE(codes.size(), 3);
        auto* button = Child<QPushButton>(u"btnFilterClipboard"_s);
        QApplication::clipboard()->setText(ClipboardCodeText(codes));
        QTRY_VERIFY(button->isVisible());
        QApplication::clipboard()->setText(u"algo sin códigos"_s);
        QTRY_VERIFY(!button->isVisible());

        QApplication::clipboard()->setText(ClipboardCodeText(codes));
        QTRY_VERIFY(button->isVisible());
        Click(u"btnFilterClipboard"_s);
        QList<qint64> found;
        for (const QString& code : window->PropertyList->PageCodes())
            found << code.toLongLong();
        std::sort(found.begin(), found.end());
        QCOMPARE(found, codes);
        QApplication::clipboard()->clear();
    }

    void screenshot()
    {
        Click(u"btnFilterEdif"_s);
        QVERIFY(ClickEntry(u"Casa"_s));
        QVERIFY(ClickEntry(u"Departamento"_s));
        Child<QLineEdit>(u"edtFilterPrecioDesde"_s)->setText(u"80.000"_s);
        QTest::mouseClick(Child<TTriStateBox>(u"chkFilterCochera"_s), Qt::LeftButton);
        QDir().mkpath(QStringLiteral(KORVEL_SCREENSHOT_DIR));
        QVERIFY(panel->grab().save(QStringLiteral(KORVEL_SCREENSHOT_DIR) + u"/filter-panel-choices.png"_s));
    }
};

QTEST_MAIN(TestFilterPanel)
#include "test_FilterPanel.moc"
