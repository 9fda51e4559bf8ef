// What a user sees in the main window: Spanish everywhere, whole texts, no internal
// names, panels that show the data as it is now, and clicks that always say something.
#include "app/Startup.h"
#include "core/Config.h"
#include "core/FormatSettings.h"
#include "core/MiscFunc.h"
#include "core/UserMessages.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "support/ClientSetup.h"
#include "support/ProgramFixture.h"
#include "support/Screenshot.h"
#include "support/ServiceProcess.h"
#include "support/TestRoot.h"
#include "sync/Session.h"
#include "sync/Sync.h"
#include "sync/SyncData.h"
#include "sync/TfrmToS.h"
#include "sync/TfrmUserCredentials.h"
#include "ui/FilterPanel.h"
#include "ui/LabelTrimming.h"
#include "ui/PropertyCard.h"
#include "ui/PropertyList.h"
#include "ui/Style.h"
#include "ui/TfrmMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyleOptionFrame>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The texts a person can read on the visible widgets under root.
QStringList VisibleTexts(QWidget* root)
{
    QStringList texts;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(root) || !w->isVisible())
            continue;
        if (auto* label = qobject_cast<QLabel*>(w))
            texts << label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            texts << button->text();
        else if (auto* edit = qobject_cast<QLineEdit*>(w))
            texts << edit->text() << edit->placeholderText();
        else if (auto* combo = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < combo->count(); ++i)
                texts << combo->itemText(i);
    }
    texts.removeAll(QString());
    return texts;
}

// Any name the program gives its controls, and any word written the way those are.
QString InternalNameIn(const QString& text, const QStringList& objectNames)
{
    for (const QString& name : objectNames)
        if (name.size() > 3 && text.contains(name))
            return name;
    static const QRegularExpression identifier(u"\\b([a-z]+[A-Z][A-Za-z0-9]*|[A-Z][a-z]+[A-Z][A-Za-z0-9]*)\\b"_s);
    const QRegularExpressionMatch match = identifier.match(text);
    return match.hasMatch() ? match.captured(1) : QString();
}

// The width a line edit has for its text.
int TextRoom(QLineEdit* edit)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    const QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    const QMargins margins = edit->textMargins();
    return contents.width() - margins.left() - margins.right() - 4;
}

// Whether w sits in the list rows or the page strip, which are looked after elsewhere.
bool InListRowsOrPages(QWidget* w)
{
    for (QWidget* p = w; p; p = p->parentWidget())
        if (p->objectName() == u"lstboxResult"_s || p->objectName() == u"rectPropResultPages"_s)
            return true;
    return false;
}

// Plain one-line labels and fields under root whose text does not fit them.
QStringList ClippedTexts(QWidget* root)
{
    QStringList clipped;
    for (QLabel* label : root->findChildren<QLabel*>()) {
        if (!label->isVisible() || InListRowsOrPages(label) || label->wordWrap() || !label->pixmap().isNull() ||
            label->text().isEmpty() || label->text().contains(u'\n') || Qt::mightBeRichText(label->text()))
            continue;
        const int room = label->contentsRect().width() - 2 * label->margin() - 2 * std::max(0, label->indent());
        if (label->fontMetrics().horizontalAdvance(label->text()) > room)
            clipped << label->objectName() + u": "_s + label->text();
    }
    for (QLineEdit* edit : root->findChildren<QLineEdit*>()) {
        if (!edit->isVisible() || !edit->isReadOnly() || edit->text().isEmpty())
            continue;
        if (edit->fontMetrics().horizontalAdvance(edit->text()) > TextRoom(edit))
            clipped << edit->objectName() + u": "_s + edit->text();
    }
    return clipped;
}

// Runs action on the next modal window once it is up, then gives control back.
void OnNextModal(std::function<void(QWidget*)> action)
{
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        action(modal);
    });
    poll->start();
}

const QSize kScreens[] = {{1024, 768}, {1366, 768}, {1920, 1080}};

} // namespace

class TestWhatUserSees : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void qtSpeaksSpanish();
    void sectionsShowNoInternalNames();
    void wholeTextsAtEverySize();
    void exitDialogShowsItsWholeTitle();
    void calendarShowsItsLastRow();
    void synchronisationPanelAfterTheRun();
    void clicksThatSayWhatHappened();
    void credentialsAndTermsFromTheConfiguration();
    void credentialsOnlyForTheAdministrator();
    void labelTrimmingFollowsTheInstallation_data();
    void labelTrimmingFollowsTheInstallation();

private:
    // The program as the entry starts it: with its first synchronisation, or offline (the
    // offline marker in the data folder).
    TfrmMain* StartProgram(bool online);
    std::unique_ptr<ProgramFixture> m_program;
};

void TestWhatUserSees::init()
{
    m_program = std::make_unique<ProgramFixture>();
    QVERIFY2(m_program->Error().isEmpty(), qPrintable(m_program->Error()));
}

void TestWhatUserSees::cleanup()
{
    const auto calls = m_program->Fatal().calls;
    m_program.reset();
    LabelTrimming = true;
    QVERIFY2(calls.empty(), calls.empty() ? "" : qPrintable(calls.front().message));
}

TfrmMain* TestWhatUserSees::StartProgram(bool online)
{
    if (!m_program->Install())
        return nullptr;
    if (!online) {
        QFile marker(Paths.DataFolder + Config::OfflineMarkerFile);
        if (!marker.open(QIODevice::WriteOnly))
            return nullptr;
    }
    ProgramFixture::Options options;
    options.firstSync = online;
    TfrmMain* window = m_program->Start(options);
    if (!window)
        qWarning("%s", qPrintable(m_program->Error()));
    return window;
}

void TestWhatUserSees::qtSpeaksSpanish()
{
    // Standard buttons, the context menu of every field, and the calendar.
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), u"Cancelar"_s);
    QLineEdit field;
    field.setText(u"texto"_s);
    std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    QStringList actions;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            actions << action->text().remove(u'&').section(u'\t', 0, 0);
    QVERIFY(actions.size() >= 5);
    for (const QString& english : {u"Undo"_s, u"Redo"_s, u"Cut"_s, u"Copy"_s, u"Paste"_s, u"Delete"_s, u"Select All"_s})
        QVERIFY2(!actions.contains(english), qPrintable(actions.join(u", "_s)));
    QCalendarWidget calendar;
    QCOMPARE(calendar.locale().language(), QLocale::Spanish);
    QCOMPARE(calendar.locale().monthName(12), u"diciembre"_s);
    QMessageBox box(QMessageBox::Question, u"t"_s, u"x"_s, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Cancel)->text().remove(u'&'), u"Cancelar"_s);
}

void TestWhatUserSees::sectionsShowNoInternalNames()
{
    TfrmMain* window = StartProgram(true);
    QVERIFY(window);
    QStringList names;
    for (QObject* child : window->findChildren<QObject*>())
        if (!child->objectName().isEmpty())
            names << child->objectName();
    const std::pair<QPushButton*, const char*> sections[] = {{window->btnFLNews, "Avisos"},
                                                             {window->btnFLBrokers, "Inmobiliarias"},
                                                             {window->btnFLClients, "Clientes"},
                                                             {window->btnFLConfig, "Configuración"},
                                                             {window->btnFLUpdate, "Actualizar"}};
    for (const auto& [button, title] : sections) {
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_VERIFY(!SyncInProgress);
        const QStringList texts = VisibleTexts(window);
        QVERIFY2(texts.contains(QString::fromUtf8(title)), title);
        for (const QString& text : texts) {
            const QString found = InternalNameIn(text, names);
            QVERIFY2(found.isEmpty(), qPrintable(QString::fromUtf8(title) + u": \""_s + text + u"\" shows "_s + found));
        }
    }
    // The synchronisation panel names the operating system in Spanish.
    QVERIFY(VisibleTexts(window->layoutSync).contains(u"Sistema operativo"_s));
}

void TestWhatUserSees::wholeTextsAtEverySize()
{
    TfrmMain* window = StartProgram(true);
    QVERIFY(window);
    // A withdrawn card sold by another agency, with the longest seller e-mail there is.
    std::unique_ptr<TResultSet> rows;
    QVERIFY(DB()->QueryNoCount(u"SELECT `W_Propiedades`.`Prop_Codigo` FROM `W_Propiedades` LEFT JOIN `W_Usuarios` ON "
                               u"`W_Propiedades`.`Prop_Vendedor` = `W_Usuarios`.`Usuario_Codigo` WHERE "
                               u"`Prop_Estado`=1 ORDER BY `Baja_Codigo`=5 DESC, "
                               u"LENGTH(IFNULL(`W_Usuarios`.`Usuario_email`, \"\")) DESC LIMIT 1;"_s,
                               rows) &&
            rows && rows->RecordCount() == 1);
    const qint64 withdrawn = rows->AsInt64At(0);
    for (const QSize& screen : kScreens) {
        const QString size = u"%1x%2"_s.arg(screen.width()).arg(screen.height());
        window->resize(screen);
        QTest::qWait(20);
        for (QPushButton* button :
             {window->btnFLNews, window->btnFLBrokers, window->btnFLClients, window->btnFLConfig}) {
            QTest::mouseClick(button, Qt::LeftButton);
            QTest::qWait(10);
            const QStringList clipped = ClippedTexts(window);
            QVERIFY2(clipped.isEmpty(), qPrintable(size + u": "_s + clipped.join(u" | "_s)));
        }
        SaveShot(window, u"look-configuration-"_s + size);
        QTest::mouseClick(window->btnFLBrokers, Qt::LeftButton);
        SaveShot(window, u"look-agencies-"_s + size);
        QTest::mouseClick(window->btnFLUpdate, Qt::LeftButton);
        QTRY_VERIFY(!SyncInProgress);
        QVERIFY2(ClippedTexts(window->layoutSync).isEmpty(),
                 qPrintable(ClippedTexts(window->layoutSync).join(u" | "_s)));
        SaveShot(window, u"look-synchronisation-"_s + size);

        QTest::mouseClick(window->btnFLProps, Qt::LeftButton);
        QVERIFY(window->PropertyList->QuickSearch(QString::number(withdrawn)));
        QTest::qWait(10);
        QVERIFY2(ClippedTexts(window->PropertyList).isEmpty(),
                 qPrintable(size + u": "_s + ClippedTexts(window->PropertyList).join(u" | "_s)));
        Q_EMIT window->PropertyList->RowOpened(withdrawn, 0);
        QVERIFY(window->PropertyCard->isVisible());
        QTest::qWait(10);
        SaveShot(window, u"look-card-"_s + size);
        QVERIFY(!window->PropertyCard->edtPropEstado->text().isEmpty());
        QVERIFY2(ClippedTexts(window->PropertyCard).isEmpty(),
                 qPrintable(size + u": "_s + ClippedTexts(window->PropertyCard).join(u" | "_s)));
        window->btnPropCardBack->click();
    }
}

void TestWhatUserSees::exitDialogShowsItsWholeTitle()
{
    int width = 0, titleWidth = 0;
    OnNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        width = box->width();
        // A desktop's title bar uses a larger, bold font and keeps room for its buttons.
        QFont title = box->font();
        title.setBold(true);
        if (title.pointSizeF() > 0)
            title.setPointSizeF(title.pointSizeF() * 1.25);
        else
            title.setPixelSize(title.pixelSize() * 5 / 4);
        titleWidth = QFontMetrics(title).horizontalAdvance(box->windowTitle()) + 120;
        SaveShot(box, u"look-exit-dialog"_s);
        box->button(QMessageBox::No)->click();
    });
    QVERIFY(!AskConfirmation(MainText::CloseQuestion));
    QVERIFY2(width >= titleWidth, qPrintable(u"%1 < %2"_s.arg(width).arg(titleWidth)));
}

void TestWhatUserSees::calendarShowsItsLastRow()
{
    TFilterPanel panel;
    panel.resize(340, 700);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QDateEdit* edit = panel.findChild<QDateEdit*>(u"edtFilterIngresoDesde"_s);
    QVERIFY(edit);
    edit->setDate(QDate(2026, 8, 1)); // a month that takes six rows
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(edit->width() - 6, edit->height() / 2));
    QCalendarWidget* calendar = edit->calendarWidget();
    QTRY_VERIFY(calendar->isVisible());
    auto* table = calendar->findChild<QTableView*>();
    QVERIFY(table);
    const int last = table->model()->rowCount() - 1;
    const int bottom = table->rowViewportPosition(last) + table->rowHeight(last);
    SaveShot(calendar->window(), u"look-calendar"_s);
    QVERIFY2(table->rowViewportPosition(last) >= 0 && bottom <= table->viewport()->height(),
             qPrintable(u"%1 > %2"_s.arg(bottom).arg(table->viewport()->height())));
    calendar->window()->hide();
}

void TestWhatUserSees::synchronisationPanelAfterTheRun()
{
    TfrmMain* window = StartProgram(true);
    QVERIFY(window);
    // Other agencies change their listings: the next run brings a new data version.
    const ServiceProcess::HttpReply reply = m_program->Service().Post(
        u"/admin/churn"_s, QJsonDocument(QJsonObject{{u"batches"_s, 3}}).toJson(), "application/json");
    QCOMPARE(reply.status, 200);
    const int before = LocalDataVersion();
    QTest::mouseClick(window->btnFLUpdate, Qt::LeftButton);
    QTRY_VERIFY(!SyncInProgress);
    QCOMPARE(window->lblSyncMessage->text(), MainText::Finished);
    QVERIFY(LocalDataVersion() > before);
    QCOMPARE(window->lblSyncDBVer->text(), QString::number(LocalDataVersion()));
    QCOMPARE(window->lblSyncLastSync->text(), FormatDateTimeText(u"dd-mmm-yy hh:nn"_s, LastSyncTime()));
}

void TestWhatUserSees::clicksThatSayWhatHappened()
{
    TfrmMain* window = StartProgram(false);
    QVERIFY(window);
    // The offline caption, whole at every size.
    QCOMPARE(window->titBtnUpdate->text(), MainText::OfflineTitle);
    for (const QSize& screen : kScreens) {
        const QString size = u"%1x%2"_s.arg(screen.width()).arg(screen.height());
        window->resize(screen);
        QTest::qWait(20);
        QVERIFY2(ClippedTexts(window->layoutFirstLevel).isEmpty(),
                 qPrintable(size + u": "_s + ClippedTexts(window->layoutFirstLevel).join(u" | "_s)));
        SaveShot(window, u"look-offline-"_s + size);
    }
    ScriptedAnswerer messages;

    // "Sin conexión" with the service down: the test fails, and the user is told.
    DropConnections();
    m_program->Service().Stop();
    QTest::mouseClick(window->btnFLUpdate, Qt::LeftButton);
    QCOMPARE(window->ConnectionState(), 0);
    QVERIFY(window->timerTestConnection->isActive());
    QCOMPARE(window->CurrentSection(), int(TfrmMain::SecNews));
    QCOMPARE(messages.shown.size(), size_t(1));
    QCOMPARE(messages.shown[0].kind, TMessageKind::Error);
    QVERIFY(messages.shown[0].text.contains(u"No se pudo conectar"_s));

    // The service back: the connection is back, and the click says so.
    QVERIFY(m_program->Service().Start());
    qputenv("KORVEL_SERVICE_URL", m_program->Service().SyncUrl().toUtf8());
    QTest::mouseClick(window->btnFLUpdate, Qt::LeftButton);
    QCOMPARE(window->ConnectionState(), 1);
    QCOMPARE(window->CurrentSection(), int(TfrmMain::SecNews));
    QCOMPARE(messages.shown.size(), size_t(2));
    QCOMPARE(messages.shown[1].kind, TMessageKind::Information);
    QVERIFY(messages.shown[1].text.contains(u"Se restableció la conexión"_s));

    // The help document comes, but this machine has nothing to open it with.
    QTest::mouseClick(window->btnFLHelp, Qt::LeftButton);
    QVERIFY(QFile::exists(HelpDocumentFile()));
    QCOMPARE(messages.shown.size(), size_t(3));
    QCOMPARE(messages.shown[2].kind, TMessageKind::Error);
    QVERIFY(messages.shown[2].text.contains(QDir::toNativeSeparators(HelpDocumentFile())));
}

void TestWhatUserSees::credentialsAndTermsFromTheConfiguration()
{
    QVERIFY(m_program->Install());
    TfrmMain* window = m_program->Start();
    QVERIFY2(window, qPrintable(m_program->Error()));
    QVERIFY(m_program->Service().PublishTerms(3.5, u"2026-11-02 10:00:00"_s, u"Texto de los términos publicados."_s));
    QTest::mouseClick(window->btnFLConfig, Qt::LeftButton);
    QVERIFY(window->btnViewTerms->isVisible() && window->btnUsrChgCre->isVisible());
    SaveShot(window, u"look-configuration"_s);

    // The terms, to read again.
    QString shownTerms;
    int termsMode = -1;
    OnNextModal([&](QWidget* modal) {
        auto* terms = qobject_cast<TfrmToS*>(modal);
        QVERIFY(terms);
        termsMode = terms->Mode();
        shownTerms = terms->mmoTOS->toPlainText();
        SaveShot(terms, u"look-terms"_s);
        terms->btnOk->click();
    });
    QTest::mouseClick(window->btnViewTerms, Qt::LeftButton);
    QCOMPARE(termsMode, int(TfrmToS::ModeView));
    QVERIFY(shownTerms.contains(u"Texto de los términos publicados."_s));

    // The administrator's own access data.
    int dialogUser = -1;
    QString shownName;
    OnNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<TfrmUserCredentials*>(modal);
        QVERIFY(dialog);
        dialogUser = dialog->usrCode;
        shownName = dialog->edtNewUsr->text();
        SaveShot(dialog, u"look-credentials"_s);
        dialog->btnCancel->click();
    });
    QTest::mouseClick(window->btnUsrChgCre, Qt::LeftButton);
    QCOMPARE(dialogUser, SessionUserCode);
    QCOMPARE(shownName, u"admin"_s);
}

void TestWhatUserSees::credentialsOnlyForTheAdministrator()
{
    // Anyone else is told why the button does not open the dialog.
    QVERIFY(m_program->Install());
    ProgramFixture::Options options;
    options.user = u"carga1"_s;
    TfrmMain* window = m_program->Start(options);
    QVERIFY2(window, qPrintable(m_program->Error()));
    QTest::mouseClick(window->btnFLConfig, Qt::LeftButton);
    ScriptedAnswerer messages;
    QTest::mouseClick(window->btnUsrChgCre, Qt::LeftButton);
    QCOMPARE(messages.shown.size(), size_t(1));
    QVERIFY(messages.shown[0].text.contains(u"administrador"_s));
}

void TestWhatUserSees::labelTrimmingFollowsTheInstallation_data()
{
    QTest::addColumn<bool>("trimming");
    QTest::newRow("trimmed texts") << true;
    QTest::newRow("whole texts") << false;
}

void TestWhatUserSees::labelTrimmingFollowsTheInstallation()
{
    // As the launch read it from the display marker or the stored setting: the main
    // window's creation sets every label accordingly.
    QFETCH(bool, trimming);
    LabelTrimming = trimming;
    QVERIFY(m_program->Install());
    TfrmMain* window = m_program->Start();
    QVERIFY2(window, qPrintable(m_program->Error()));
    const QList<QLabel*> labels = window->findChildren<QLabel*>();
    QVERIFY(labels.size() > 20);
    for (QLabel* label : labels)
        QVERIFY2(LabelTrimmed(label) == trimming, qPrintable(label->objectName()));
    // A text too long for its label: trimmed, it ends otherwise than cut off.
    QLabel* label = window->lblSyncStatus;
    label->setText(u"Un texto bastante más largo que el lugar que tiene"_s);
    label->setFixedSize(120, 20);
    const QImage shown = label->grab().toImage();
    SetLabelTrimming(label, !trimming);
    QVERIFY(shown != label->grab().toImage());
}

QTEST_MAIN(TestWhatUserSees)
#include "test_WhatUserSees.moc"
