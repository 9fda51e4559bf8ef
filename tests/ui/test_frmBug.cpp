#include "core/TfrmBug.h"
#include "core/uTypes.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class TestFrmBug : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void errorModeShowsTheMessage();
    void unexpectedModeHidesTheMessage();
    void closeButtonSetsForceClose();
    void otherWindowsAreHidden();
};

void TestFrmBug::errorModeShowsTheMessage()
{
    TfrmBug bug;
    bug.ShowErrorMode(QStringLiteral("detalle del fallo"));
    QCOMPARE(bug.findChild<QLabel*>(QStringLiteral("lblTitle"))->text(), QStringLiteral("Error"));
    QCOMPARE(bug.lblTitle->palette().color(QPalette::WindowText), QColor::fromRgba(0xFF000000));
    QVERIFY(bug.lblIntro->text().startsWith(QStringLiteral("Se produjo un error al ejecutar un proceso del sistema.")));
    QCOMPARE(bug.mmoMessage->toPlainText(), QStringLiteral("detalle del fallo"));
    QVERIFY(bug.mmoMessage->isReadOnly());
    QVERIFY(!bug.mmoMessage->isHidden());
    QVERIFY(!bug.imgErrorHeader->isHidden());
    QVERIFY(bug.imgBugHeader->isHidden());
    QCOMPARE(bug.lblMessageCaption->text(), QStringLiteral("Mensaje de error"));
    QCOMPARE(bug.width(), 400);
    QCOMPARE(bug.height(), bug.btnClose->geometry().bottom() + 1 + 12);
    QCOMPARE(bug.btnClose->x(), (400 - bug.btnClose->width()) / 2);
    QCOMPARE(bug.imgBugHeader->geometry(), bug.imgErrorHeader->geometry());
    QCOMPARE(bug.imgBugIcon->geometry(), bug.imgErrorIcon->geometry());
}

void TestFrmBug::unexpectedModeHidesTheMessage()
{
    TfrmBug bug;
    bug.ShowUnexpectedMode();
    QCOMPARE(bug.lblTitle->text(), QStringLiteral("Error inesperado"));
    QCOMPARE(bug.lblTitle->palette().color(QPalette::WindowText), QColor::fromRgba(0xFFFFFFFF));
    QCOMPARE(bug.lblIntro->height(), 193);
    QCOMPARE(
        bug.lblIntro->text(),
        QStringLiteral("Se produjo un error inesperado.\n\nCierre el programa y vuelva a realizar la operación que "
                       "produjo el error.\n\nSi el problema persiste comuníquese con nuestro soporte técnico."));
    QVERIFY(bug.mmoMessage->isHidden());
    QVERIFY(bug.lblMessageCaption->isHidden());
    QVERIFY(!bug.imgBugHeader->isHidden());
    QVERIFY(bug.imgErrorIcon->isHidden());
}

void TestFrmBug::closeButtonSetsForceClose()
{
    ForceClose = false;
    TfrmBug bug;
    bug.ShowErrorMode(QStringLiteral("x"));
    QCOMPARE(bug.btnClose->text(), QStringLiteral("Cerrar el sistema"));
    QTimer::singleShot(0, &bug, [&bug] { bug.btnClose->click(); });
    QCOMPARE(bug.exec(), int(QDialog::Rejected));
    QVERIFY(ForceClose);
    ForceClose = false;
}

void TestFrmBug::otherWindowsAreHidden()
{
    QWidget mainWindow;
    mainWindow.show();
    QWidget splash;
    splash.show();
    TfrmBug bug;
    bug.ShowUnexpectedMode();
    QVERIFY(!mainWindow.isVisible());
    QVERIFY(!splash.isVisible());
}

QTEST_MAIN(TestFrmBug)
#include "test_frmBug.moc"
