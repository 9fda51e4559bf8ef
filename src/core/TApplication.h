#pragma once

#include <QApplication>

// The application object: it is where exceptions thrown by event handlers end up, and
// those go to the unexpected-error routine instead of taking the process down.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Qt's own texts (standard buttons, context menus, the calendar, file dialogs) in Spanish,
// and the es-AR locale for the names of months and days. Installed once per application
// object; false when Qt's Spanish catalogue is not on this machine.
bool InstallSpanishQtTexts();
