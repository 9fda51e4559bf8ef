#pragma once

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

// The small dialog the property card asks before it withdraws, suspends or recovers a
// property: what is about to happen, and, for withdrawal and suspension, why.
class TfrmDlg : public QDialog {
    Q_OBJECT
public:
    enum TMode { ModeWithdraw = 0, ModeSuspend = 1, ModeRecover = 2 };

    explicit TfrmDlg(QWidget* parent = nullptr);

    // The property the dialog is about; set it before the mode, which words the note with it.
    void SetPropCode(int code) { m_propCode = code; }
    int PropCode() const { return m_propCode; }
    // Fills title, icon, note and (when the mode has one) the reason list; false for an
    // unknown mode or when the list could not be read.
    bool SetMode(int mode);
    int Mode() const { return m_mode; }
    // Code of the chosen reason; -1 until one is chosen.
    int ReasonCode() const { return m_reasonCode; }

    QLabel* imgIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblNote = nullptr;
    QListWidget* lstboxReasons = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnOk = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void TakeSelectedReason();
    void ArrangeControls();

    int m_propCode = -1;
    int m_reasonCode = -1;
    int m_mode = -1;
    QPalette m_notePalette;
};
