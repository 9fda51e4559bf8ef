#include "core/TApplication.h"

#include "core/Bugs.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <exception>

bool InstallSpanishQtTexts()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return false;
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Argentina));
    // One catalogue per application object, however often this is asked for.
    if (app->findChild<QTranslator*>(QStringLiteral("qtbaseSpanish")))
        return true;
    auto* translator = new QTranslator(app);
    translator->setObjectName(QStringLiteral("qtbaseSpanish"));
    if (!translator->load(QStringLiteral("qtbase_es"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    InstallSpanishQtTexts();
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        UnexpectedError(QString::fromUtf8(e.what()));
    } catch (...) {
        UnexpectedError(QStringLiteral("Unknown exception"));
    }
    return false;
}
