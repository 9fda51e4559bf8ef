#pragma once

#include "search/Filter.h"
#include "search/StoredSearches.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class TEditKindFilter;
class TTriStateBox;

// The filter panel of the property section: the twelve selection lists shown one at a time
// in lstboxFilter1, the ranges, the features, the text, and the buttons that apply, reset or
// cancel the filter. The panel keeps its controls and a TFilterState in step both ways;
// the rules themselves live in search/Filter.
class TFilterPanel : public QWidget {
    Q_OBJECT
public:
    explicit TFilterPanel(QWidget* parent = nullptr);

    // Shows a whole state (a stored search, a filter kept from before); the rules that tie
    // features to building types apply to it as to anything the user does.
    void SetState(const TFilterState& state);
    // What the controls hold now, as typed (not normalised).
    TFilterState State() const;
    // The default state, with or without the default "Estado" entries, the "Estado" list
    // shown. Reads the data date and the currencies afresh: a synchronisation may have
    // changed them since the panel was built.
    void Reset(bool withDefaultEntries);
    // Shows list n (FilterList::) in lstboxFilter1.
    void ShowList(int list);
    int ShownList() const { return m_shownList; }
    // Offers the clipboard's code list on the clipboard button; hides the button when the
    // clipboard holds none. Run when the panel opens.
    void ExamineClipboard();
    // After a synchronisation: the data date, the currencies and the lists may have changed.
    // A default filter is built afresh; a filter the user composed keeps its choices, and
    // upper dates that stood at the old data date ("up to now") move to the new one.
    void DataChanged();
    // The data date and exchange rates the panel works with.
    const TFilterEnv& Env() const { return m_env; }

    // Stored searches: the list of the user's own and the clients' searches, with the count
    // of new matches beside each; no entry chosen afterwards unless keepChoice (the alerts
    // refresh it under the user's hands).
    void RefreshStoredSearches(bool keepChoice = false);
    // As a new login leaves it: out of any client view, the list read afresh.
    void ResetStoredSearches();
    // The client view entered from a client's record: the client's search loaded, or a fresh
    // filter to save as the client's first one.
    void OpenClientView(int clientCode, const QString& clientName);
    bool InClientView() const { return m_client.Active; }
    int ClientViewCode() const { return m_client.Code; }

Q_SIGNALS:
    // "Aplicar" was pressed and the field being edited has finished: whoever owns the list
    // forgets the previous search and settles the marks before the filter is judged.
    void Applying();
    // The filter's statement from "Aplicar".
    void Apply(TFilterQuery query);
    // The clipboard's code list ("1200345,1200346"), searched like the quick search.
    void CodeListApply(QString codes);
    // "Cancelar": the filter is back at its default and the caller leaves the result list.
    void Cancelled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct TRangeEdits {
        QLineEdit* From = nullptr;
        QLineEdit* To = nullptr;
        QLabel* Caption = nullptr;
    };

    void BuildControls();
    void ConnectControls();
    void ToggleEntry(int position);
    void SelectAll();
    void DeselectAll();
    // After the sets changed: the list's check marks, the buttons' looks, the features.
    void SetsChanged(bool buildingTypesChanged);
    void PaintEntry(int position);
    void UpdateListButtons();
    void UpdateFeatureFields();
    void TypeAhead(QChar c);
    void WriteFields(const TFilterState& state);
    void ReadFields(TFilterState& state) const;
    void DateEdited(QDateEdit* edit, bool lowerBound);
    void YearEditFinished(QLineEdit* edit, bool lowerBound);
    void ApplyClicked();
    void RefreshEnv();
    void BuildStoredSearchControls(QWidget* content, class QVBoxLayout* column);
    void StoredSearchChosen();
    void LoadStoredSearch(int row);
    void SaveFilter();
    void DeleteStoredSearch();
    void ShowNewMatches(int row);
    void LeaveClientView();
    void RefreshClientHeader();
    // Applies a stored parameter text after a reset without the default entries; false (with
    // a word to the user) when the text cannot be loaded.
    bool ApplyStoredText(const QString& parameters);

    struct TClientView {
        bool Active = false;
        int Code = 0;
        QString Name;
        QDateTime Date;
        QString User;
    };
    TClientView m_client;
    QList<TStoredSrchData> m_stored;

    TFilterEnv m_env;
    TFilterState m_state; // the sets are kept here; the fields are read from the controls
    int m_shownList = FilterList::Estado;
    QList<TFilterEntry> m_entries; // of the shown list
    bool m_filling = false;
    QString m_typeAhead;
    QElapsedTimer m_typeAheadClock;
    QString m_clipboardCodes;

    QListWidget* lstboxFilter1 = nullptr;
    std::array<QPushButton*, FilterList::Count> m_listButtons{};
    QPushButton* btnFilterSelectAll = nullptr;
    QPushButton* btnFilterDeselectAll = nullptr;
    QLineEdit* edtFilterPrecioDesde = nullptr;
    QLineEdit* edtFilterPrecioHasta = nullptr;
    QComboBox* cboFilterMoneda = nullptr;
    QDateEdit* edtFilterIngresoDesde = nullptr;
    QDateEdit* edtFilterIngresoHasta = nullptr;
    QDateEdit* edtFilterModDesde = nullptr;
    QDateEdit* edtFilterModHasta = nullptr;
    TRangeEdits m_tno, m_cub, m_dorm, m_amb, m_banos, m_plantas, m_ano;
    TTriStateBox* chkFilterDepend = nullptr;
    TTriStateBox* chkFilterCochera = nullptr;
    TTriStateBox* chkFilterTel = nullptr;
    TTriStateBox* chkFilterAEstrenar = nullptr;
    QLineEdit* edtFilterTexto = nullptr;
    QCheckBox* chkFilterValoresEnCero = nullptr;
    QPushButton* btnFilterApply = nullptr;
    QPushButton* btnFilterNew = nullptr;
    QPushButton* btnFilterCancel = nullptr;
    QPushButton* btnFilterClipboard = nullptr;
    QWidget* layoutStoredSrch = nullptr;
    QListWidget* lstboxStoredSrch = nullptr;
    QPushButton* btnFilterSave = nullptr;
    QPushButton* btnStoredSrchLoad = nullptr;
    QPushButton* btnStoredSrchDel = nullptr;
    QWidget* layoutFilterClient = nullptr;
    QLabel* lblFilterCliName = nullptr;
    QLabel* lblFilterCliDate = nullptr;
    QLabel* lblFilterCliUser = nullptr;
    TEditKindFilter* m_kinds = nullptr;
    TEditKindFilter* m_yearKinds = nullptr;
};
