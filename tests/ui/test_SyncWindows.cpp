#include "core/Config.h"
#include "core/FormatSettings.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "service/Schema.h"
#include "support/SchemaDatabase.h"
#include "support/TestRoot.h"
#include "sync/Sync.h"
#include "sync/TWidgetTransferSinks.h"
#include "sync/TfrmSyncDlg.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestSyncWindows : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void actionButtonIsOfferedAndWithdrawn();
    void progressOperationsReachTheControls();
    void pendingChangesDialogInBothModes();
};

void TestSyncWindows::actionButtonIsOfferedAndWithdrawn()
{
    QWidget panel;
    auto* bar = new QProgressBar(&panel);
    bar->setGeometry(10, 10, 300, 20);
    auto* cancel = new QPushButton(u"Cancelar"_s, &panel);
    cancel->setGeometry(330, 5, 80, 30);
    cancel->hide();
    TWidgetTransferSinks sinks(bar, nullptr, nullptr, cancel);

    // Without a tag the button appears and the bar makes room for it.
    sinks.OfferAction();
    QVERIFY(!cancel->isHidden());
    QCOMPARE(bar->geometry().right() + 1, 330 - 8);
    sinks.WithdrawAction();
    QVERIFY(cancel->isHidden());
    QCOMPARE(bar->geometry().right() + 1, 330 + 80);

    // With a tag it only changes its enabled state.
    cancel->setProperty("tag", 1);
    cancel->setEnabled(false);
    cancel->show();
    const QRect before = bar->geometry();
    sinks.OfferAction();
    QVERIFY(cancel->isEnabled());
    sinks.WithdrawAction();
    QVERIFY(!cancel->isEnabled());
    QVERIFY(!cancel->isHidden());
    QCOMPARE(bar->geometry(), before);
}

void TestSyncWindows::progressOperationsReachTheControls()
{
    QProgressBar bar;
    QLabel status;
    QPlainTextEdit log;
    InitFormatSettings();
    TWidgetTransferSinks sinks(&bar, &status, &log, nullptr);
    SetTransferSinks(&sinks);
    SinkStatus(u"Recibiendo datos"_s);
    SinkProgress(5000000000LL, 2500000000LL); // beyond what an int holds
    SinkLog(u"Tabla Propiedades, 1.234 registros"_s);
    SinkLogSeparator();
    SinkOfferAction(); // no button: nothing happens
    SetTransferSinks(nullptr);
    SinkStatus(u"sin destino"_s); // no sinks: nothing happens

    QCOMPARE(status.text(), u"Recibiendo datos"_s);
    QVERIFY(bar.maximum() > 0);
    QCOMPARE(double(bar.value()) / bar.maximum(), 0.5);
    const QStringList lines = log.toPlainText().split(u'\n');
    QCOMPARE(lines.size(), 2);
    QVERIFY(QRegularExpression(u"^\\d\\d-\\w{3}-\\d\\d \\d\\d:\\d\\d:\\d\\d Tabla Propiedades, 1.234 registros$"_s)
                .match(lines[0])
                .hasMatch());
}

void TestSyncWindows::pendingChangesDialogInBothModes()
{
    TestRoot root;
    QVERIFY(OpenEmptyInstallationDatabase());
    QVERIFY(DB()->ExecNoCount(
        u"INSERT INTO `W_Clientes` (`Cli_Codigo`, `Inmo_Codigo`, `Cli_Nombre`, `Cli_Estado`) VALUES (2147473647, 7, "
        u"\"Gómez, Ana\", \"AM\");"
        u"INSERT INTO `W_Propiedades` (`Prop_Codigo`, `Inmo_Codigo`, `Sync_Tipo`) VALUES (700012, 7, \"B\");"_s));

    // What the shown dialog holds is read while it is up, and checked once it has closed.
    TfrmSyncDlg dialog;
    bool okHidden = false;
    QString cancelText, text, notes;
    auto readAndPress = [&](QPushButton* button) {
        okHidden = dialog.btnOk->isHidden();
        cancelText = dialog.btnCancel->text();
        text = dialog.findChild<QPlainTextEdit*>(u"mmoChanges"_s)->toPlainText();
        notes = dialog.lblNotes->text();
        button->click();
    };
    dialog.setMode(true);
    QTimer::singleShot(0, &dialog, [&] { readAndPress(dialog.btnCancel); });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(okHidden);
    QCOMPARE(cancelText, u"Cerrar"_s);
    QVERIFY2(text.contains(u"Propiedad 0007-00012 (baja)"_s), qPrintable(text));
    QVERIFY(text.contains(u"Cliente Gómez, Ana"_s));
    QVERIFY(text.contains(u"  - Clientes: 1"_s));
    QCOMPARE(dialog.width(), 800);

    dialog.setMode(false);
    QTimer::singleShot(0, &dialog, [&] { readAndPress(dialog.btnOk); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY(!okHidden);
    QCOMPARE(dialog.btnOk->text(), u"Actualizar y salir"_s);
    QCOMPARE(cancelText, u"Cancelar"_s);
    QVERIFY(notes.contains(u"\n\n"_s));
    CloseDatabase();
    ResetInstallContext();
}

QTEST_MAIN(TestSyncWindows)
#include "test_SyncWindows.moc"
