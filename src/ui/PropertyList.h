#pragma once

#include "search/Filter.h"
#include "ui/ResultList.h"

#include <QStringList>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QListWidget;
class QPushButton;
class TResultSet;

// The list of the property section: one statement run into the shared result set and shown
// a page at a time, with its header, ordering, page strip and navigation.
class TPropertyList : public QWidget {
    Q_OBJECT
public:
    explicit TPropertyList(QWidget* parent = nullptr);
    ~TPropertyList() override;

    // Builds and runs a family's statement and shows it in mode. A failing statement ends
    // the program with failMessage.
    void ShowStatement(TListFamily family, const QString& baseSql, const QString& orderBy, const QString& sortKey,
                       int mode, const QString& failMessage);
    // The agency's own properties with the fast filter's current choice.
    void ShowOwnProperties(const QString& failMessage);
    // The marked properties (modes 8 and 9); nothing when there are none and the list is
    // not already showing them.
    void ShowMarked();
    // The quick search by property code or internal code; false when the text is empty.
    bool QuickSearch(const QString& text);
    // The clipboard's code list, shown like a quick search.
    void CodeListSearch(const QString& codes);
    // Forgets a family's statement, order and page: the next list of it starts afresh.
    void ClearState(TListFamily family);
    void ShowList(int mode);
    void ShowPage(int page);
    // The page that holds a record (0-based) of the result set; that record then decides
    // the page when the list changes size, as on returning from its card.
    void ShowRecord(int record);
    void OrderBy(const QString& sortKey);
    void SwitchLayout(bool toExpanded);
    // 0 first, 1 previous, 2 next, 3 last page.
    void Navigate(int step);
    // Frees the shared result set and reopens the connection, as every new list does first.
    void ReleaseResultSet();
    // Frees the shared result set only (the window is closing).
    void FreeResultSet();
    void ResetStates();

    int CurrentMode() const { return m_mode; }
    int PreviousMode() const { return m_previousMode; }
    int CurrentPage() const { return m_page; }
    int PageCountShown() const { return m_pages; }
    int PageSize() const;
    const TAppQuery& State(TListFamily family) const;
    // The shared result set. For property lists it holds each row's `Prop_Codigo` and
    // `Prop_PrecioPesos` in the list's order; the full rows are read a page at a time
    // (PageRows) or, for whoever needs them all, by FullResultSet.
    TResultSet* ResultSet() const { return m_result.get(); }
    TResultSet* PageRows() const { return m_pageRows ? m_pageRows.get() : m_result.get(); }
    std::unique_ptr<TResultSet> FullResultSet() const;
    // The codes of the rows of the shown page, by position.
    QStringList PageCodes() const;
    // Tests and the reports read the row height of the current layout.
    int RowHeight() const;

    QLabel* lblPropListTitle = nullptr;
    QLabel* lblPropListCount = nullptr;
    QWidget* rectHeaderExp = nullptr;
    QWidget* rectHeaderRes = nullptr;
    QWidget* rectHeaderOwnRes = nullptr;
    QWidget* rectHeaderSelec = nullptr;
    QListWidget* lstboxResult = nullptr;
    QLabel* lblPropPage = nullptr;
    QWidget* rectPropResultPages = nullptr;
    QPushButton* btnPropNavFirst = nullptr;
    QPushButton* btnPropNavLeft = nullptr;
    QPushButton* btnPropNavRight = nullptr;
    QPushButton* btnPropNavLast = nullptr;
    QPushButton* btnPropListExpanded = nullptr;
    QPushButton* btnPropListSummary = nullptr;
    QPushButton* btnPropListCancel = nullptr;
    QComboBox* cboOwnFastFilter = nullptr;
    QLabel* lblEmptyList = nullptr;
    QLabel* imgEmptyList = nullptr;
    // Select-all boxes of the expanded, summary and own summary headers.
    QCheckBox* txtSelectAll = nullptr;
    QCheckBox* txtSelectAllR = nullptr;
    QCheckBox* Text3 = nullptr;
    // Marks tools (modes 8 and 9) and selection tools (mode 10).
    QPushButton* btnPropMarkQuitar = nullptr;
    QPushButton* btnSelectSave = nullptr;
    QPushButton* btnSelectShare = nullptr;
    QPushButton* btnSelectJoin = nullptr;
    QPushButton* btnSelectOthers = nullptr;

    // The selections list (mode 10): all of them, or one client's (client > 0).
    void ShowSelections(int client = 0, const QString& clientName = QString());
    // The properties of a selection (modes 11 and 12).
    void ShowSelectionProperties(qint64 code, const QString& name);
    // The select-all box of the header was clicked.
    void SelectAll();
    // "Quitar": every mark goes, and the (now empty) marked list shows.
    void ClearMarks();
    // "Guardar": the marks into a selection.
    void SaveMarks();
    // The number of selections last listed; -1 before the first count.
    int SelectionCount() const { return m_selectionCount; }
    void SetSelectionCount(int count);
    int SelectionsClient() const { return m_selectionsClient; }
    qint64 ShownSelection() const { return m_selection; }
    const QList<qint64>& ChosenSelections() const { return m_chosen; }

Q_SIGNALS:
    // A row was clicked: its property (or selection) code and its record in the result set.
    void RowOpened(qint64 code, int record);
    // The mark set changed size.
    void MarksChanged(int count);
    // The count of selections or the list shown changed: the section button's captions.
    void SelectionsChanged();
    // A list was shown in this mode.
    void ListShown(int mode);
    // An own row's button: 0 modify, 1 withdraw or delete, 2 recover.
    void OwnRowAction(qint64 code, int action);
    void Cancelled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildHeaders();
    void ShowHeaders();
    void FillStrip();
    // The strip's labels side by side, centred in its room.
    void PlaceStrip();
    // The list's height or width changed: refill for the new number of rows.
    void ListResized();
    QWidget* ExpandedRow(TResultSet& r, const QString& photo);
    // The row's mark box and its dimming; added to the row's top left.
    void DecorateRow(TResultSet& r, QWidget* row, QGridLayout* grid, QBoxLayout* line);
    QWidget* SummaryRow(TResultSet& r);
    QWidget* SelectionRow(TResultSet& r);
    void FillSelectionPage(int first, int size);
    void FinishPage(int page, int first, int size);
    // A cell that shows what its place holds, the whole text as its tooltip when cut.
    static QLabel* Cell(QWidget* parent, const QString& name, const QString& text);
    // A selection row's columns, as its header lays them out.
    void SetUpSelectionColumns(QGridLayout* grid);
    void RefreshSelectionButtons();
    // A box whose click removes: the remove picture while the pointer is over it.
    void SetRemovePicture(QCheckBox* box);
    void ShareChosen();
    void MergeChosen();
    void ShowOthers(std::optional<qint64> only);
    // Runs a list statement into the shared result set: only the codes and prices when it
    // is a property statement.
    bool RunList(const QString& sql);
    TAppQuery& StateOf(TListFamily family);
    void ShowQuickQuery(const TFilterQuery& query);

    std::unique_ptr<TResultSet> m_result;
    std::unique_ptr<TResultSet> m_pageRows;
    bool m_keyed = false;
    std::array<TAppQuery, 5> m_states;
    int m_mode = 0;
    int m_previousMode = 0;
    int m_page = 0;
    int m_pages = 0;
    // The page size the shown page was built with, and the row (1-based) a new page size
    // keeps in view.
    int m_shownPageSize = 0;
    int m_anchor = 1;
    int m_stripWidth = -1;
    QList<QLabel*> m_stripLabels;
    bool m_filling = false;
    QStringList m_pageCodes;
    bool m_selectAllMarks = true;
    int m_selectionCount = -1;
    int m_selectionsClient = 0;
    QString m_selectionsClientName;
    QList<qint64> m_chosen;
    qint64 m_selection = -1;
    QString m_selectionName;
    bool m_selectionOwn = false;
};

namespace PropertyListText {
extern const QString FilterFailed, QuickSearchFailed, OrderFailed, OwnFailed, OwnFilterFailed, MarksFailed,
    SelectionsFailed, SelectionPropertiesFailed, PageFailed, MarkFailed, UnmarkFailed, MarksPruned, DeleteQuestion,
    DeleteFailed, OthersNotShared;
} // namespace PropertyListText
