// The property list as a user meets it: rows that fit the window, cells under their
// captions, a page strip that can be read, and the page kept when the window changes size
// or the user comes back from a card.
#include "support/ProgramFixture.h"
#include "support/Screenshot.h"
#include "ui/PropertyCard.h"
#include "ui/PropertyList.h"
#include "ui/ResultList.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QRect GlobalRect(const QWidget* w)
{
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

// Whether the label's text, as shown, fits inside the label.
bool TextFits(const QLabel* label)
{
    const QRect area = label->contentsRect();
    const int flags = label->wordWrap() ? Qt::TextWordWrap : 0;
    const QRect needed = label->fontMetrics().boundingRect(QRect(0, 0, area.width(), 1 << 20), flags, label->text());
    return needed.width() <= area.width() && needed.height() <= area.height();
}

// The shown labels of a row or header that carry text.
QList<QLabel*> TextLabels(QWidget* parent)
{
    QList<QLabel*> labels;
    for (QLabel* label : parent->findChildren<QLabel*>())
        if (label->isVisible() && !label->text().isEmpty())
            labels << label;
    return labels;
}

} // namespace

class TestResultListWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ProgramFixture> program;
    TfrmMain* window = nullptr;
    TPropertyList* list = nullptr;

    // The window at a size, the list settled for it.
    void Resize(const QSize& size)
    {
        window->resize(size);
        QTRY_COMPARE(window->size(), size);
        QTest::qWait(50);
        QTRY_COMPARE(list->lstboxResult->count(),
                     std::min(list->PageSize(),
                              list->ResultSet()->RecordCount() - list->PageSize() * (list->CurrentPage() - 1)));
    }
    void Switch(bool expanded)
    {
        QPushButton* button = expanded ? list->btnPropListExpanded : list->btnPropListSummary;
        if (button->isVisible())
            QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(IsExpandedMode(list->CurrentMode()) == expanded);
        QTest::qWait(50);
    }
    QListWidgetItem* Item(int row) { return list->lstboxResult->item(row); }
    QWidget* Row(int row) { return list->lstboxResult->itemWidget(Item(row)); }
    void ClickRow(int row)
    {
        const QRect rect = list->lstboxResult->visualItemRect(Item(row));
        // A click in the middle of the row, as a user opens a card.
        QTest::mouseClick(list->lstboxResult->viewport(), Qt::LeftButton, {}, rect.center());
    }

private Q_SLOTS:
    void initTestCase()
    {
        program = std::make_unique<ProgramFixture>();
        QVERIFY2(program->Install(), qPrintable(program->Error()));
        ProgramOptions options;
        options.screen = QSize(1920, 1200);
        window = program->Start(options);
        QVERIFY2(window, qPrintable(program->Error()));
        QTest::mouseClick(window->btnFLProps, Qt::LeftButton);
        list = window->PropertyList;
        QTRY_VERIFY(list->ResultSet() && list->ResultSet()->RecordCount() > 0);
    }

    void cleanupTestCase()
    {
        const auto calls = program->Fatal().calls;
        program.reset();
        QVERIFY2(calls.empty(), calls.empty() ? "" : qPrintable(calls.front().message));
    }

    void rowsFitTheirPlaces_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("expanded");
        QTest::addColumn<int>("rows");
        // The window opens 1008 x 718 on a screen this large.
        QTest::newRow("expanded 1008x718") << QSize(1008, 718) << true << 5;
        QTest::newRow("summary 1008x718") << QSize(1008, 718) << false << 14;
        QTest::newRow("expanded 1024x768") << QSize(1024, 768) << true << 5;
        QTest::newRow("summary 1024x768") << QSize(1024, 768) << false << 16;
        QTest::newRow("expanded 1366x768") << QSize(1366, 768) << true << 5;
        QTest::newRow("summary 1366x768") << QSize(1366, 768) << false << 16;
        QTest::newRow("expanded 1920x1080") << QSize(1920, 1080) << true << 8;
        QTest::newRow("summary 1920x1080") << QSize(1920, 1080) << false << 24;
    }

    void rowsFitTheirPlaces()
    {
        QFETCH(QSize, size);
        QFETCH(bool, expanded);
        QFETCH(int, rows);
        Switch(expanded);
        Resize(size);
        QTest::mouseClick(list->btnPropNavFirst, Qt::LeftButton);
        SaveShot(window,
                 u"list-%1-%2x%3"_s.arg(expanded ? u"expanded"_s : u"summary"_s).arg(size.width()).arg(size.height()));
        QVERIFY2(list->PageSize() >= rows,
                 qPrintable(u"%1 rows in %2"_s.arg(list->PageSize()).arg(list->lstboxResult->viewport()->height())));
        QCOMPARE(list->lstboxResult->count(), std::min(list->PageSize(), list->ResultSet()->RecordCount()));
        // The rows fill the list without running past its foot.
        QVERIFY(list->PageSize() * list->RowHeight() <= list->lstboxResult->viewport()->height());

        // Every cell inside its row, beside the others, its text inside it.
        for (int r = 0; r < list->lstboxResult->count(); ++r) {
            QWidget* row = Row(r);
            const QList<QLabel*> labels = TextLabels(row);
            QVERIFY(labels.size() >= 6);
            for (QLabel* label : labels) {
                const QString name = label->objectName() + u": "_s + label->text();
                QVERIFY2(row->rect().contains(label->geometry()), qPrintable(name));
                QVERIFY2(TextFits(label), qPrintable(name));
                for (QLabel* other : labels)
                    QVERIFY2(other == label || !label->geometry().intersects(other->geometry()),
                             qPrintable(name + u" / "_s + other->objectName()));
            }
        }

        // Each cell of the first row sits exactly under its caption.
        const bool own = list->CurrentMode() == TRMOwnResumido;
        QWidget* header = expanded ? list->rectHeaderExp : own ? list->rectHeaderOwnRes : list->rectHeaderRes;
        QVERIFY(header->isVisible());
        const QList<std::pair<const char*, const char*>> columns =
            expanded ? QList<std::pair<const char*, const char*>>{{"txtCod", "TxtCodDat"}, {"txtEdif", "TxtEdif"},
                                                                  {"txtSitu", "TxtSitu"},  {"txtPrecio", "TextPrecio"},
                                                                  {"txtUbic", "TxtCiud"},  {"txtDom", "TxtDir"},
                                                                  {"txtSupTno", "TxtTno"}, {"txtSupCub", "TxtCub"},
                                                                  {"txtPlantas", "TxtPl"}, {"txtDormAmb", "TxtDorm"}}
                     : QList<std::pair<const char*, const char*>>{{"txtCodR", "TxtCodR"},   {"txtEdifR", "TxtEdif"},
                                                                  {"txtSituR", "TxtSitu"},  {"txtPrecioR", "TxtPrecio"},
                                                                  {"txtSupTnoR", "TxtSup"}, {"txtUbicR", "TxtUbic"},
                                                                  {"txtDomR", "TxtDom"}};
        // The captions inside the header, none over another.
        const QList<QLabel*> captions = TextLabels(header);
        for (QLabel* label : captions) {
            QVERIFY2(header->rect().contains(label->geometry()),
                     qPrintable(label->objectName() + u" %1,%2 %3x%4 in %5"_s.arg(label->y())
                                                          .arg(label->height())
                                                          .arg(label->width())
                                                          .arg(label->x())
                                                          .arg(header->height())));
            for (QLabel* other : captions)
                QVERIFY2(other == label || !label->geometry().intersects(other->geometry()),
                         qPrintable(label->objectName() + u" / "_s + other->objectName()));
        }
        for (const auto& [caption, cell] : columns) {
            QString name = QString::fromLatin1(caption);
            if (own)
                name.replace(u"R"_s, u"OwnR"_s);
            auto* top = header->findChild<QLabel*>(name);
            auto* value = Row(0)->findChild<QLabel*>(QString::fromLatin1(cell));
            QVERIFY2(top && value, cell);
            const QRect a = GlobalRect(top);
            const QRect b = GlobalRect(value);
            QVERIFY2(a.left() == b.left() && a.right() == b.right(),
                     qPrintable(u"%1 %2-%3 / %4-%5 row %6 viewport %7"_s.arg(QString::fromLatin1(cell))
                                    .arg(a.left())
                                    .arg(a.right())
                                    .arg(b.left())
                                    .arg(b.right())
                                    .arg(Row(0)->width())
                                    .arg(list->lstboxResult->viewport()->width())));
            QCOMPARE(top->alignment() & Qt::AlignHorizontal_Mask, value->alignment() & Qt::AlignHorizontal_Mask);
            QVERIFY2(TextFits(top), caption);
        }
        // Expanded rows carry every value their header names, and the telephone cell.
        if (expanded)
            for (const char* name : {"TxtTno", "TxtCub", "TxtPl", "TxtDorm", "TxtTel", "txtResto", "TxtInm", "TxtDes"})
                QVERIFY2(Row(0)->findChild<QLabel*>(QString::fromLatin1(name)), name);

        // The page strip: each word whole, nothing over its neighbour or the buttons, all
        // inside the list's width.
        QVERIFY(list->PageCountShown() >= 2);
        QVERIFY(list->rectPropResultPages->isVisible());
        const QRect strip = GlobalRect(list->rectPropResultPages);
        QVERIFY(strip.left() > GlobalRect(list->btnPropNavLast).right());
        QVERIFY(strip.right() <= GlobalRect(list->lstboxResult).right());
        QList<QLabel*> words = list->rectPropResultPages->findChildren<QLabel*>();
        std::sort(words.begin(), words.end(), [](QLabel* a, QLabel* b) { return a->x() < b->x(); });
        QVERIFY(words.size() >= 5);
        QCOMPARE(words.first()->text(), u"Primera"_s);
        QCOMPARE(words.last()->text(), u"Última"_s);
        for (int i = 0; i < words.size(); ++i) {
            QVERIFY2(words[i]->width() >= words[i]->fontMetrics().horizontalAdvance(words[i]->text()),
                     qPrintable(words[i]->text()));
            QVERIFY(words[i]->rect().translated(words[i]->pos()).left() >= 0);
            QVERIFY(words[i]->geometry().right() < list->rectPropResultPages->width());
            if (i > 0)
                QVERIFY2(words[i - 1]->geometry().right() < words[i]->x(),
                         qPrintable(u"%1 %2 / %3 %4 in %5"_s.arg(words[i - 1]->text())
                                        .arg(words[i - 1]->geometry().right())
                                        .arg(words[i]->text())
                                        .arg(words[i]->x())
                                        .arg(list->rectPropResultPages->width())));
        }
    }

    // The page after a resize and after a card is the one that holds the rows the user saw.
    void pageKeptOnResizeAndReturnFromCard()
    {
        Switch(true);
        Resize(QSize(1008, 718));
        const int count = list->ResultSet()->RecordCount();
        // A height at which the last page is a partial one.
        int height = 718;
        while (count % list->PageSize() == 0 && height < 1000)
            Resize(QSize(1008, height += 40));
        QVERIFY(count % list->PageSize() != 0);
        QTest::mouseClick(list->btnPropNavLast, Qt::LeftButton);
        const int size = list->PageSize();
        const int last = list->CurrentPage();
        QCOMPARE(last, PageCount(count, size));
        const QString first = list->PageCodes().first();
        const int firstRow = size * (last - 1) + 1;

        // A taller window: the page that now holds the first row that was shown.
        Resize(QSize(1008, height + 200));
        QVERIFY(list->PageSize() > size);
        QCOMPARE(list->CurrentPage(), CeilDiv(firstRow, list->PageSize()));
        QVERIFY(list->PageCodes().contains(first));
        Resize(QSize(1008, height));
        QCOMPARE(list->PageSize(), size);
        QCOMPARE(list->CurrentPage(), last);

        // The card of the last row of the last page, and back.
        const int shown = list->lstboxResult->count();
        const QString lastCode = list->PageCodes().last();
        ClickRow(shown - 1);
        QCOMPARE(window->ResultMode, int(TRMFicha));
        QCOMPARE(QString::number(window->PropertyCard->PropertyCode()), lastCode);
        QTest::mouseClick(window->btnPropCardBack, Qt::LeftButton);
        QTRY_VERIFY(list->isVisible());
        QTest::qWait(50);
        QCOMPARE(list->CurrentPage(), last);
        QCOMPARE(list->lstboxResult->count(), shown);
        QVERIFY(list->PageCodes().contains(lastCode));

        // The window changed size while a card was open: back on the page of that card.
        ClickRow(0);
        QCOMPARE(window->ResultMode, int(TRMFicha));
        const QString opened = QString::number(window->PropertyCard->PropertyCode());
        window->resize(1366, 768);
        QTest::qWait(50);
        QTest::mouseClick(window->btnPropCardBack, Qt::LeftButton);
        QTRY_VERIFY(list->isVisible());
        QTest::qWait(50);
        QTRY_VERIFY2(list->PageCodes().contains(opened), qPrintable(list->PageCodes().join(u',')));
        Resize(QSize(1008, 718));
    }

    void pageKeysFromTheListAndTheDescription()
    {
        Switch(false);
        QTest::mouseClick(list->btnPropNavFirst, Qt::LeftButton);
        QCOMPARE(list->CurrentPage(), 1);
        list->lstboxResult->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), list->lstboxResult);
        ProgramFixture::Key(Qt::Key_PageDown);
        QCOMPARE(list->CurrentPage(), 2);
        ProgramFixture::Key(Qt::Key_PageUp);
        QCOMPARE(list->CurrentPage(), 1);
        ProgramFixture::Key(Qt::Key_End);
        QCOMPARE(list->CurrentPage(), list->PageCountShown());
        ProgramFixture::Key(Qt::Key_Home);
        QCOMPARE(list->CurrentPage(), 1);

        // On the card, with the caret in the description.
        const QStringList codes = list->PageCodes();
        ClickRow(1);
        QCOMPARE(window->ResultMode, int(TRMFicha));
        QCOMPARE(QString::number(window->PropertyCard->PropertyCode()), codes[1]);
        QPlainTextEdit* description = window->PropertyCard->mmoPropDesc;
        QTest::mouseClick(description->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        QTRY_COMPARE(QApplication::focusWidget(), description);
        ProgramFixture::Key(Qt::Key_PageDown);
        QCOMPARE(QString::number(window->PropertyCard->PropertyCode()), codes[2]);
        ProgramFixture::Key(Qt::Key_PageUp);
        QCOMPARE(QString::number(window->PropertyCard->PropertyCode()), codes[1]);
        QTest::mouseClick(window->btnPropCardBack, Qt::LeftButton);
    }
};

QTEST_MAIN(TestResultListWindow)
#include "test_ResultListWindow.moc"
