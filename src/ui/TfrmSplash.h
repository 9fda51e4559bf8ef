#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// The window shown while the program starts; until the main window takes over it is the
// application's main form, and closing it ends the application.
class TfrmSplash : public QWidget {
    Q_OBJECT
public:
    explicit TfrmSplash(QWidget* parent = nullptr);

    QLabel* lblStatus = nullptr;
    QPushButton* btnYes = nullptr;
    QPushButton* btnNo = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
};
