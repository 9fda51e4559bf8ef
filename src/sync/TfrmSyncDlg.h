#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// "Cambios pendientes de envío": what waits to be sent, shown alone or with the offer to
// send it and close.
class TfrmSyncDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSyncDlg(QWidget* parent = nullptr);

    void setMode(bool OnlyShow);

    QLabel* lblTitle = nullptr;
    QLabel* lblNotes = nullptr;
    QPlainTextEdit* mmoChanges = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_onlyShow = true;
};
