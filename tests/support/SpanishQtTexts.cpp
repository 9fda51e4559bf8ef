// Window tests see Qt's own texts as the program does: in Spanish, from the moment the
// application object exists.
#include "core/TApplication.h"

#include <QCoreApplication>

namespace {

void InstallAtStart()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        InstallSpanishQtTexts();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallAtStart)
