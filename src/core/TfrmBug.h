#pragma once

#include "core/Bugs.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The window that ends the program after a fatal error.
class TfrmBug : public QDialog {
    Q_OBJECT
public:
    explicit TfrmBug(QWidget* parent = nullptr);

    void ShowErrorMode(const QString& message);
    void ShowUnexpectedMode();

    QLabel* lblTitle = nullptr;
    QLabel* imgErrorHeader = nullptr;
    QLabel* imgErrorIcon = nullptr;
    QLabel* imgBugHeader = nullptr;
    QLabel* imgBugIcon = nullptr;
    QLabel* lblIntro = nullptr;
    QLabel* lblMessageCaption = nullptr;
    QPlainTextEdit* mmoMessage = nullptr;
    QPushButton* btnClose = nullptr;

private:
    void HideOtherWindows();
};

// Makes the fatal routines show this window and end the application.
void InstallBugWindowHandler();
