#include "core/Bugs.h"
#include "core/TApplication.h"
#include "support/TestRoot.h"

#include <QTimer>
#include <QtTest>

#include <stdexcept>

// An exception thrown by an event handler reaches the application object and becomes an
// unexpected error instead of ending the process.
class TestApplication : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exceptionInHandlerBecomesUnexpectedError()
    {
        TestRoot root;
        RecordingFatalHandler fatal;
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, this, [] { throw std::runtime_error("handler failed"); });
        timer.start(0);
        QTRY_COMPARE(fatal.calls.size(), size_t(1));
        QCOMPARE(fatal.calls[0].mode, TBugMode::Unexpected);
        QCOMPARE(fatal.calls[0].message, QStringLiteral("handler failed"));
        QVERIFY(root.LogLines().last().endsWith(QStringLiteral("Global Exception Handler - Bug: handler failed")));
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_Application.moc"
