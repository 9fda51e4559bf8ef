#include "core/TApplication.h"

#include "core/Bugs.h"

#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

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
