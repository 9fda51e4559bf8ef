#include "support/TestRoot.h"
#include "ui/EditKinds.h"

#include <QLineEdit>
#include <QVBoxLayout>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestEditKinds : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void kinds_data();
    void kinds();
    void typingPastingAndThousands();
    void yearsAreJudgedWhenLeft();
    void triState();
};

void TestEditKinds::kinds_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("digits") << 1 << u"1500000"_s << true;
    QTest::newRow("digits with a letter") << 101 << u"15a"_s << false;
    QTest::newRow("alphanumeric") << 2 << u"abc12"_s << true;
    QTest::newRow("alphanumeric with a blank") << 2 << u"abc 12"_s << false;
    QTest::newRow("e-mail") << 5 << u"ana@inmo.com.ar"_s << true;
    QTest::newRow("e-mail without domain") << 5 << u"ana@"_s << false;
    QTest::newRow("year") << 6 << u"1990"_s << true;
    QTest::newRow("year too early") << 6 << u"1700"_s << false;
    QTest::newRow("no rule") << 9 << u"lo que sea!"_s << true;
}

void TestEditKinds::kinds()
{
    QFETCH(int, tag);
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    TestRoot root;
    QCOMPARE(KindAcceptsText(tag, text, 9), accepted);
}

void TestEditKinds::typingPastingAndThousands()
{
    TestRoot root;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* price = new QLineEdit(&window);
    price->setProperty("tag", 1);
    price->setMaxLength(9);
    auto* next = new QLineEdit(&window);
    layout->addWidget(price);
    layout->addWidget(next);
    TEditKindFilter filter;
    filter.Watch(price, true);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    price->setFocus();

    QTest::keyClicks(price, u"15x00000"_s);
    QCOMPARE(price->text(), u"1500000"_s);
    // Enter moves on like Tab, and leaving shows the thousands.
    QTest::keyClick(price, Qt::Key_Return);
    QVERIFY(next->hasFocus());
    QCOMPARE(price->text(), u"1.500.000"_s);
    price->setFocus();
    QCOMPARE(price->text(), u"1500000"_s);
    // A pasted text with a letter empties the field.
    price->insert(u"a"_s);
    QCOMPARE(price->text(), QString());
    filter.SetChecking([] { return false; });
    price->insert(u"12b"_s);
    QCOMPARE(price->text(), u"12b"_s);
}

void TestEditKinds::yearsAreJudgedWhenLeft()
{
    TestRoot root;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* year = new QLineEdit(&window);
    year->setProperty("tag", 6);
    auto* next = new QLineEdit(&window);
    layout->addWidget(year);
    layout->addWidget(next);
    TEditKindFilter filter;
    filter.Watch(year);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    year->setFocus();
    QTest::keyClicks(year, u"1990"_s);
    QCOMPARE(year->text(), u"1990"_s);
    next->setFocus();
    QCOMPARE(year->text(), u"1990"_s);
    year->setFocus();
    year->setText(u"17"_s);
    next->setFocus();
    QCOMPARE(year->text(), QString());

    // Nine digits of price fit with their separators.
    auto* price = new QLineEdit(&window);
    price->setProperty("tag", 1);
    price->setMaxLength(9);
    layout->addWidget(price);
    filter.Watch(price, true);
    price->show();
    price->setFocus();
    QTest::keyClicks(price, u"123456789"_s);
    next->setFocus();
    QCOMPARE(price->text(), u"123.456.789"_s);
}

void TestEditKinds::triState()
{
    TestRoot root;
    TTriStateBox box;
    box.show();
    QCOMPARE(box.Value(), -1);
    QList<int> seen;
    connect(&box, &TTriStateBox::Changed, this, [&](int v) { seen << v; });
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(&box, Qt::LeftButton);
    QCOMPARE(seen, (QList<int>{0, 1, -1}));
    QCOMPARE(box.property("tag").toInt(), -1);
    box.SetTriState(1);
    QCOMPARE(box.Value(), 1);
    box.SetTriState(5);
    QCOMPARE(box.Value(), -1);
}

QTEST_MAIN(TestEditKinds)
#include "test_EditKinds.moc"
