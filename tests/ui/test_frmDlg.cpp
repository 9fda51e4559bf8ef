#include "core/Config.h"
#include "core/MiscFunc.h"
#include "db/uDB.h"
#include "records/TfrmDlg.h"
#include "support/TestRoot.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

// A fixture database per test with the two reason tables. Code 1 of each is the state of a
// current, active property; a reason whose code is not a number must not become a choice.
class TestFrmDlg : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void startsEmpty();
    void withdrawalOfAServicePropertyOffersTheReasons();
    void withdrawalOfALocalPropertyNeedsNoReason();
    void suspensionOffersTheStandbyReasons();
    void recoveryHasNoList();
    void chosenCodeFollowsTheSelection();
    void answersAreModalResults();
    void unreadableListIsReported();

private:
    static QStringList Entries(const TfrmDlg& dlg);
    static void Select(TfrmDlg& dlg, int row);

    std::unique_ptr<TestRoot> m_root;
};

void TestFrmDlg::init()
{
    m_root = std::make_unique<TestRoot>();
    const QString path = m_root->Path() + u"t.kdb"_s;
    QVERIFY(CreateDatabaseFile(path, Config::DatabasePassword));
    QVERIFY(OpenDatabase(path, Config::DatabasePassword, Config::DatabaseDriverId));
    QVERIFY(DB()->ExecNoCount(
        u"CREATE TABLE `W_MotivosBaja` (`Baja_Codigo` INTEGER, `Baja_Nombre` TEXT, `Baja_Abreviatura` TEXT);"_s
        u"INSERT INTO `W_MotivosBaja` VALUES (3, \"Alquilada\", \"ALQ\"), (1, \"Vigente\", \"VIG\"),"_s
        u" (2, \"Vendida\", \"VEN\"), (4, \" Retirada por el propietario \", \"RET\"), (\"x\", \"Roto\", \"X\");"_s
        u"CREATE TABLE `W_MotivosStandby` (`Standby_Codigo` INTEGER, `Standby_Nombre` TEXT,"_s
        u" `Standby_Abreviatura` TEXT);"_s
        u"INSERT INTO `W_MotivosStandby` VALUES (1, \"Activa\", \"ACT\"), (2, \"Reservada\", \"RES\"),"_s
        u" (3, \"En refacci\u00F3n\", \"REF\"), (4, \"A pedido del due\u00F1o\", \"DUE\");"_s));
}

void TestFrmDlg::cleanup()
{
    CloseDatabase();
    m_root.reset();
}

QStringList TestFrmDlg::Entries(const TfrmDlg& dlg)
{
    QStringList entries;
    for (int i = 0; i < dlg.lstboxReasons->count(); ++i)
        entries << dlg.lstboxReasons->item(i)->text();
    return entries;
}

void TestFrmDlg::Select(TfrmDlg& dlg, int row)
{
    dlg.lstboxReasons->setCurrentRow(row);
}

void TestFrmDlg::startsEmpty()
{
    TfrmDlg dlg;
    QCOMPARE(dlg.windowTitle(), QString());
    QCOMPARE(dlg.width(), 400);
    QCOMPARE(dlg.PropCode(), -1);
    QCOMPARE(dlg.ReasonCode(), -1);
    QCOMPARE(dlg.findChild<QPushButton*>(u"btnOk"_s)->text(), u"Aceptar"_s);
    QCOMPARE(dlg.findChild<QPushButton*>(u"btnCancel"_s)->text(), u"Cancelar"_s);
    QVERIFY(dlg.findChild<QListWidget*>(u"lstboxReasons"_s)->isHidden());
    QVERIFY(dlg.findChild<QLabel*>(u"lblNote"_s));
    QVERIFY(dlg.findChild<QLabel*>(u"lblTitle"_s));
    QVERIFY(dlg.findChild<QLabel*>(u"imgIcon"_s));
}

void TestFrmDlg::withdrawalOfAServicePropertyOffersTheReasons()
{
    TfrmDlg dlg;
    dlg.SetPropCode(1200345);
    QVERIFY(dlg.SetMode(TfrmDlg::ModeWithdraw));
    QVERIFY(dlg.lblNote->text().contains(u"0012-00345"_s));
    QVERIFY(!dlg.lblTitle->text().isEmpty());
    QCOMPARE(dlg.lblNote->palette().color(QPalette::WindowText), QColor::fromRgba(0xFFF5070C));
    QVERIFY(!dlg.lstboxReasons->isHidden());
    QCOMPARE(Entries(dlg), (QStringList{u"Vendida"_s, u"Alquilada"_s, u"Retirada por el propietario"_s, u"Roto"_s}));
    QVERIFY(!dlg.imgIcon->pixmap().isNull());

    // Buttons 24 below the list, the window 12 below the buttons, the list below the note.
    QVERIFY(dlg.lstboxReasons->y() > dlg.lblNote->geometry().bottom());
    QCOMPARE(dlg.btnOk->y(), dlg.lstboxReasons->geometry().bottom() + 1 + 24);
    QCOMPARE(dlg.btnCancel->y(), dlg.btnOk->y());
    QCOMPARE(dlg.height(), dlg.btnOk->geometry().bottom() + 1 + 12);
    QCOMPARE(dlg.width(), 400);
    QVERIFY(dlg.btnCancel->geometry().right() < dlg.btnOk->x());
    QVERIFY(dlg.btnOk->geometry().right() < 400);
    QVERIFY(!dlg.btnOk->isEnabled()); // a withdrawal needs its reason
}

void TestFrmDlg::withdrawalOfALocalPropertyNeedsNoReason()
{
    TfrmDlg dlg;
    dlg.SetPropCode(2147473650);
    QVERIFY(dlg.SetMode(TfrmDlg::ModeWithdraw));
    QVERIFY(dlg.lstboxReasons->isHidden());
    QCOMPARE(dlg.lstboxReasons->count(), 0);
    QVERIFY(!dlg.lblNote->text().contains(NewCodeText));
    QCOMPARE(dlg.lblNote->palette().color(QPalette::WindowText), QColor::fromRgba(0xFFF5070C));
    QCOMPARE(dlg.btnOk->y(), std::max(dlg.lblNote->geometry().bottom(), dlg.imgIcon->geometry().bottom()) + 1 + 24);
    QCOMPARE(dlg.height(), dlg.btnOk->geometry().bottom() + 1 + 12);
    QVERIFY(dlg.btnOk->isEnabled());

    // The same dialog used again for a service property gets its list back.
    TfrmDlg other;
    other.SetPropCode(1200345);
    QVERIFY(other.SetMode(TfrmDlg::ModeWithdraw));
    QVERIFY(other.lblTitle->text() != dlg.lblTitle->text());
    dlg.SetPropCode(1200345);
    QVERIFY(dlg.SetMode(TfrmDlg::ModeWithdraw));
    QCOMPARE(dlg.lstboxReasons->count(), 4);
    QVERIFY(dlg.height() > dlg.lstboxReasons->geometry().bottom());
}

void TestFrmDlg::suspensionOffersTheStandbyReasons()
{
    TfrmDlg dlg;
    dlg.SetPropCode(700123);
    QVERIFY(dlg.SetMode(TfrmDlg::ModeSuspend));
    QVERIFY(dlg.lblNote->text().contains(u"0007-00123"_s));
    QCOMPARE(Entries(dlg), (QStringList{u"Reservada"_s, u"En refacci\u00F3n"_s, u"A pedido del due\u00F1o"_s}));
    QVERIFY(dlg.lblNote->palette().color(QPalette::WindowText) != QColor::fromRgba(0xFFF5070C));
    QCOMPARE(dlg.btnOk->y(), dlg.lstboxReasons->geometry().bottom() + 1 + 24);
}

void TestFrmDlg::recoveryHasNoList()
{
    TfrmDlg dlg;
    dlg.SetPropCode(700123);
    QVERIFY(dlg.SetMode(TfrmDlg::ModeSuspend));
    QVERIFY(dlg.SetMode(TfrmDlg::ModeRecover)); // a reused dialog drops the list it had
    QVERIFY(dlg.lblNote->text().contains(u"0007-00123"_s));
    QVERIFY(dlg.lstboxReasons->isHidden());
    QCOMPARE(dlg.lstboxReasons->count(), 0);
    QVERIFY(dlg.btnOk->isEnabled());
    QCOMPARE(dlg.ReasonCode(), -1);
    QVERIFY(!dlg.SetMode(3));
    QCOMPARE(dlg.Mode(), int(TfrmDlg::ModeRecover));
}

void TestFrmDlg::chosenCodeFollowsTheSelection()
{
    TfrmDlg dlg;
    dlg.SetPropCode(1200345);
    QVERIFY(dlg.SetMode(TfrmDlg::ModeWithdraw));
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(dlg.ReasonCode(), -1);

    const struct {
        int row;
        int code;
    } picks[] = {{0, 2}, {2, 4}, {1, 3}, {3, -1}}; // row 3 carries "x"
    for (const auto& pick : picks) {
        Select(dlg, pick.row);
        QCOMPARE(dlg.ReasonCode(), pick.code);
        QCOMPARE(dlg.btnOk->isEnabled(), pick.code != -1);
    }
    Select(dlg, 1);
    dlg.lstboxReasons->clearSelection();
    QCOMPARE(dlg.ReasonCode(), -1);
    QVERIFY(!dlg.btnOk->isEnabled());

    // A click on the list picks the reason under the pointer.
    const QRect second = dlg.lstboxReasons->visualItemRect(dlg.lstboxReasons->item(1));
    QTest::mouseClick(dlg.lstboxReasons->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(dlg.ReasonCode(), 3);
    dlg.hide();

    // A selection made before showing counts from the moment the dialog shows.
    TfrmDlg preset;
    preset.SetPropCode(700123);
    QVERIFY(preset.SetMode(TfrmDlg::ModeSuspend));
    QSignalBlocker block(preset.lstboxReasons);
    Select(preset, 2);
    QCOMPARE(preset.ReasonCode(), -1);
    preset.show();
    QCOMPARE(preset.ReasonCode(), 4);
}

void TestFrmDlg::answersAreModalResults()
{
    struct Case {
        const char* button;
        int row;
        int result;
        int code;
    };
    for (const Case c : {Case{"btnOk", 1, QDialog::Accepted, 3}, Case{"btnCancel", 0, QDialog::Rejected, 2},
                         Case{"btnOk", -1, QDialog::Accepted, -1}}) {
        TfrmDlg dlg;
        dlg.SetPropCode(c.row < 0 ? 2147473650 : 1200345);
        QVERIFY(dlg.SetMode(TfrmDlg::ModeWithdraw));
        QTimer::singleShot(0, &dlg, [&] {
            if (c.row >= 0)
                Select(dlg, c.row);
            QTest::mouseClick(dlg.findChild<QPushButton*>(QString::fromLatin1(c.button)), Qt::LeftButton);
        });
        QCOMPARE(dlg.exec(), c.result);
        QCOMPARE(dlg.ReasonCode(), c.code);
    }

    // Double-clicking a reason answers with it.
    TfrmDlg dlg;
    dlg.SetPropCode(700123);
    QVERIFY(dlg.SetMode(TfrmDlg::ModeSuspend));
    QTimer::singleShot(0, &dlg, [&] {
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const QRect first = dlg.lstboxReasons->visualItemRect(dlg.lstboxReasons->item(0));
        // A real double click arrives as a press, a release and then the double click.
        QTest::mouseClick(dlg.lstboxReasons->viewport(), Qt::LeftButton, {}, first.center());
        QTest::mouseDClick(dlg.lstboxReasons->viewport(), Qt::LeftButton, {}, first.center());
    });
    QTimer::singleShot(5000, &dlg, &QDialog::reject); // a missed double click fails, not hangs
    QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    QCOMPARE(dlg.ReasonCode(), 2);
}

void TestFrmDlg::unreadableListIsReported()
{
    QVERIFY(DB()->ExecNoCount(u"DROP TABLE `W_MotivosStandby`;"_s));
    TfrmDlg dlg;
    dlg.SetPropCode(700123);
    QVERIFY(!dlg.SetMode(TfrmDlg::ModeSuspend));
    QCOMPARE(dlg.lstboxReasons->count(), 0);
    QVERIFY(!dlg.btnOk->isEnabled());
    QVERIFY(m_root->LogLines().last().contains(u"$2094: "_s));

    CloseDatabase();
    QVERIFY(!dlg.SetMode(TfrmDlg::ModeWithdraw));
    QVERIFY(m_root->LogLines().last().contains(u"$2095: "_s));
}

QTEST_MAIN(TestFrmDlg)
#include "test_frmDlg.moc"
