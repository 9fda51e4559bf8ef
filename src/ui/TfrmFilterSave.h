#pragma once

#include "search/StoredSearches.h"

#include <QDialog>
#include <QList>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "Guardar filtro": the current filter as a new stored search under a name, or in place of
// one the user already has (own or a client's). The entry creates it once with the other
// windows of the program; Execute shows it for one parameter text at a time.
class TfrmFilterSave : public QDialog {
    Q_OBJECT
public:
    explicit TfrmFilterSave(QWidget* parent = nullptr);
    ~TfrmFilterSave() override;

    // Shows the dialog modally over owner for this parameter text; true when the search was
    // saved.
    bool Execute(const QString& parameters, int agency, int user, QWidget* owner = nullptr);
    // What the last successful Execute wrote.
    int SavedKind() const { return m_savedKind; }
    int SavedCode() const { return m_savedCode; }

    QLabel* lblTitle = nullptr;
    QRadioButton* rbNew = nullptr;
    QLineEdit* edtFilterName = nullptr;
    QRadioButton* rbReplace = nullptr;
    QComboBox* cboStoredFilters = nullptr;
    QLabel* lblMsg = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    void ChoiceChanged();
    void Accept();
    void ShowMessage(const QString& text);

    QString m_parameters;
    int m_agency = 0;
    int m_user = 0;
    QList<TStoredSrchData> m_entries;
    int m_savedKind = 0;
    int m_savedCode = 0;
};

// The program's instance, as the entry created it; null before that and after it is gone.
TfrmFilterSave* FilterSaveDialog();

namespace FilterSaveText {
extern const QString InvalidName, NameTaken, ChooseEntry, SaveFailed;
} // namespace FilterSaveText
