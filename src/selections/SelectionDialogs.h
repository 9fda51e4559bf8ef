#pragma once

#include "selections/Selections.h"

#include <QDialog>
#include <QList>

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

// The small modal dialogs that collect names, clients and users for the selections.
// Each is 400 wide with its title inside; a validation message stays in lblMsg and keeps
// the dialog open.
class TSelectionDialog : public QDialog {
    Q_OBJECT
public:
    explicit TSelectionDialog(const QString& name, const QString& title, QWidget* parent);

    QLabel* lblTitle = nullptr;
    QLabel* lblMsg = nullptr;

protected:
    void ShowMsg(const QString& text);
    // The trimmed name (shown trimmed in the field), or a message when it cannot be used.
    // The existence test runs only when the name differs from unchanged.
    QString CheckName(QLineEdit* edit, const QString& unchanged = QString());
    // Fills a client combo: no client first, then the agency's clients; chooses client.
    static void FillClients(QComboBox* combo, int client);
    // The chosen client; -1 for none.
    static int ChosenClient(QComboBox* combo);
    // A name field that takes at most 64 characters the program accepts in a name.
    QLineEdit* NameEdit(const QString& name);
    QVBoxLayout* m_column = nullptr;
};

// Saves the marks as a new selection or adds them to an existing one.
class TfrmSelectSave : public TSelectionDialog {
    Q_OBJECT
public:
    TfrmSelectSave(const QList<qint64>& marks, QWidget* parent = nullptr);

    QRadioButton* rbNew = nullptr;
    QRadioButton* rbAdd = nullptr;
    QLineEdit* edtSelectName = nullptr;
    QComboBox* cboSelections = nullptr;
    QComboBox* cboClient = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    void Save();
    void ChoiceChanged();
    QStringList m_marks;
};

// Renames a selection or changes its client.
class TfrmSelectEdit : public TSelectionDialog {
    Q_OBJECT
public:
    TfrmSelectEdit(qint64 code, const QString& name, QWidget* parent = nullptr);

    QLineEdit* edtSelectName = nullptr;
    QComboBox* cboClient = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    void Save();
    qint64 m_code;
    QString m_name;
};

// Duplicates the chosen selections, or joins them into a new one.
class TfrmSelectMerge : public TSelectionDialog {
    Q_OBJECT
public:
    TfrmSelectMerge(const QList<qint64>& codes, QWidget* parent = nullptr);

    QRadioButton* rbDuplicate = nullptr;
    QRadioButton* rbJoin = nullptr;
    QLineEdit* edtNewName = nullptr;
    QCheckBox* chkDelete = nullptr;
    QPushButton* btnApply = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    void Apply();
    void ChoiceChanged();
    bool Duplicate();
    bool Join();
    QList<qint64> m_codes;
};

// Shares selections with users of the agency. Created once at start and shown again for
// each use.
class TfrmSelectShare : public TSelectionDialog {
    Q_OBJECT
public:
    explicit TfrmSelectShare(QWidget* parent = nullptr);
    // Fills the lists for these selections; false when they could not be read.
    bool Prepare(const QList<qint64>& codes);
    // The check box of a user, by his code.
    QCheckBox* UserBox(int userCode) const;

    QListWidget* lstboxSelections = nullptr;
    QWidget* rectUsers = nullptr;
    QPushButton* btnApply = nullptr;
    QPushButton* btnCancel = nullptr;

    void done(int result) override;

private:
    void Apply();
    void Clear();
    QList<qint64> m_codes;
    QList<TSharedUsersData> m_users;
    QList<QCheckBox*> m_boxes;
};

// Chooses which selections shared by other users show in the user's list. Created once at
// start.
class TfrmSelectOthers : public TSelectionDialog {
    Q_OBJECT
public:
    explicit TfrmSelectOthers(QWidget* parent = nullptr);
    bool Prepare(std::optional<qint64> only);

    QWidget* rectOthers = nullptr;
    QPushButton* btnApply = nullptr;
    QPushButton* btnCancel = nullptr;
    const QList<TOthersSelectionsData>& Rows() const { return m_rows; }

private:
    void Apply();
    QList<TOthersSelectionsData> m_rows;
};

// The two dialogs the entry creates; null before they exist and after they are gone.
TfrmSelectShare* SelectShareDialog();
TfrmSelectOthers* SelectOthersDialog();

namespace SelectionText {
extern const QString InvalidName, NameTaken, SaveFailed, EditFailed, DuplicateFailed, JoinFailed, JoinFailedDetail,
    DeleteOriginalFailed, LoadSelectionsFailed1, LoadSelectionsFailed2, ShareFailed, OthersLoadFailed, OthersSaveFailed,
    NoClient;
}
