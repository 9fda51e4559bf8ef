#pragma once

#include <QDate>
#include <QDialog>

class QCheckBox;
class QFileDialog;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The terms of service: shown to read, to accept or decline, or as the list of changes
// of a new version.
class TfrmToS : public QDialog {
    Q_OBJECT
public:
    enum TMode { ModeView = 0, ModeAcceptance = 1, ModeChangeLog = 2 };

    explicit TfrmToS(QWidget* parent = nullptr);

    void SetMode(int mode);
    int Mode() const { return m_mode; }
    void Fill(const QString& text, const QDate& date, double version);

    // The next save writes here instead of asking; tests use it to avoid the modal dialog.
    static QString PresetSaveFileName;

    QLabel* lblTitle2 = nullptr;
    QPlainTextEdit* mmoTOS = nullptr;
    QCheckBox* chkAgree = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnPrint = nullptr;
    QFileDialog* dlgSave = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void PlaceButtons();
    void Save();
    QString ChooseSaveFile();

    QWidget* m_buttonPanel = nullptr;
    int m_mode = ModeAcceptance;
};
