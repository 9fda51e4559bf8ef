// The selections side of the property list: the selections list (mode 10) with its rows
// and tools, the properties of one selection (modes 11 and 12), the marks tools and the
// select-all boxes of the headers.
#include "ui/PropertyList.h"

#include "core/Bugs.h"
#include "core/MiscFunc.h"
#include "core/UserMessages.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "records/PropertyTexts.h"
#include "search/Marks.h"
#include "search/PropertyQuery.h"
#include "selections/SelectionDialogs.h"
#include "selections/Selections.h"
#include "sync/Session.h"
#include "ui/TfrmMain.h"

#include <QCheckBox>
#include <QEnterEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

QString ListDate(const TResultSet& r, const QString& column)
{
    if (r.FieldIndex(column) < 0 || r.IsNull(column) || r.AsString(column).isEmpty())
        return {};
    const QDateTime when = DbTextToDateTime(r.AsString(column));
    return when.isValid() ? when.toString(u"dd/MM/yyyy HH:mm"_s) : QString();
}

// A row picture that acts on a click: a small flat button with its word.
QToolButton* RowAction(QWidget* row, const QString& name, const QString& text, const QString& tip)
{
    auto* b = new QToolButton(row);
    b->setObjectName(name);
    b->setText(text);
    b->setToolTip(tip);
    b->setAutoRaise(true);
    b->setCursor(Qt::PointingHandCursor);
    b->setStyleSheet(u"QToolButton { color: #01548E; font-size: 11px; padding: 0 2px; }"
                     u"QToolButton:disabled { color: #A0A0A0; }"_s);
    return b;
}

// The remove picture of a box while the pointer is over it.
class TRemoveHover : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* box = qobject_cast<QCheckBox*>(watched);
        if (box && box->isEnabled() && (event->type() == QEvent::Enter || event->type() == QEvent::Leave)) {
            const bool over = event->type() == QEvent::Enter;
            box->setProperty("removing", over);
            box->setText(over ? u"✕"_s : QString());
            box->setStyleSheet(over ? u"QCheckBox { color: #EA1515; font-weight: bold; }"_s : QString());
        }
        return false;
    }
};

} // namespace

void TPropertyList::SetRemovePicture(QCheckBox* box)
{
    box->setCursor(Qt::PointingHandCursor);
    box->installEventFilter(new TRemoveHover(box));
}

void TPropertyList::SetSelectionCount(int count)
{
    m_selectionCount = count;
    Q_EMIT SelectionsChanged();
}

void TPropertyList::ShowSelections(int client, const QString& clientName)
{
    m_chosen.clear();
    m_selection = -1;
    m_selectionName.clear();
    m_selectionsClient = client;
    m_selectionsClientName = clientName;
    const int agency = CurrentAgencyCode();
    const QString base = Selections::ListSql(agency, SessionUserCode, client);
    const TAppQuery& state = State(TListFamily::Selections);
    const bool known = !state.OrderBy.isEmpty();
    ShowStatement(TListFamily::Selections, base, known ? state.OrderBy : Selections::ListOrder(),
                  known ? state.SortKey : u"Selec_Nombre"_s, TRMSelecciones, PropertyListText::SelectionsFailed);
    if (client <= 0)
        m_selectionCount = m_result ? m_result->RecordCount() : 0;
    RefreshSelectionButtons();
    Q_EMIT SelectionsChanged();
}

void TPropertyList::ShowSelectionProperties(qint64 code, const QString& name)
{
    QStringList members;
    if (!Selections::Members({code}, members)) {
        FatalError(PropertyListText::SelectionPropertiesFailed);
        return;
    }
    QList<qint64> codes;
    for (const QString& m : std::as_const(members))
        codes << m.toLongLong();
    TAppQuery& state = StateOf(TListFamily::SelectionProperties);
    // Another selection starts by price from its first row; the same one keeps its place.
    if (code != m_selection)
        state = {};
    m_selection = code;
    m_selectionName = name;
    m_selectionOwn = Selections::IsOwnActive(code);
    int mode = FamilyOfMode(m_mode) == TListFamily::SelectionProperties ? m_mode : state.Mode;
    if (mode != TRMSelecPropAmpliado && mode != TRMSelecPropResumido)
        mode = ModeForNewList(TListFamily::SelectionProperties, PresentationSetting());
    if (mode == TRMNone)
        mode = TRMSelecPropAmpliado;
    const bool known = !state.OrderBy.isEmpty();
    ShowStatement(TListFamily::SelectionProperties, PropertyQuerySql() + SelectionPropertiesWhere(codes),
                  known ? state.OrderBy : OrderByClause(u"Precio"_s, false), known ? state.SortKey : u"Precio"_s, mode,
                  PropertyListText::SelectionPropertiesFailed);
    Q_EMIT SelectionsChanged();
}

void TPropertyList::FillSelectionPage(int first, int size)
{
    m_result->Seek(first);
    for (int i = 0; i < size && !m_result->Eof(); ++i, m_result->Next()) {
        QWidget* row = SelectionRow(*m_result);
        auto* item = new QListWidgetItem(lstboxResult);
        item->setData(Qt::UserRole, first + i);
        item->setData(Qt::UserRole + 1, m_result->AsString(u"Selec_Nombre"_s));
        item->setSizeHint(QSize(0, RowHeight()));
        lstboxResult->setItemWidget(item, row);
        m_pageCodes << QString::number(m_result->AsInt64(u"Selec_Codigo"_s));
    }
}

QWidget* TPropertyList::SelectionRow(TResultSet& r)
{
    const qint64 code = r.AsInt64(u"Selec_Codigo"_s);
    const QString name = r.AsString(u"Selec_Nombre"_s);
    const bool own = r.AsInteger(u"Usuario_Codigo"_s) == SessionUserCode;
    const QString owner = r.AsString(u"Usuario_Nombre"_s);
    auto* row = new QWidget;
    row->setObjectName(u"ItemSelecciones"_s);
    auto* grid = new QGridLayout(row);
    SetUpSelectionColumns(grid);
    auto* box = new QCheckBox(row);
    box->setObjectName(u"chkSelect"_s);
    box->setChecked(m_chosen.contains(code));
    connect(box, &QCheckBox::toggled, this, [this, code](bool on) {
        if (on && !m_chosen.contains(code))
            m_chosen << code;
        else if (!on)
            m_chosen.removeAll(code);
        RefreshSelectionButtons();
    });
    grid->addWidget(box, 0, 0, 2, 1, Qt::AlignLeft | Qt::AlignVCenter);
    // The cells under the header's captions: name, client, owner, created, modified.
    grid->setVerticalSpacing(0);
    const auto cell = [&](const QString& objectName, const QString& text, int line, int column, bool bold = false) {
        QLabel* label = Cell(row, objectName, text);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        if (bold)
            label->setStyleSheet(u"font-weight: bold;"_s);
        grid->addWidget(label, line, column);
        return label;
    };
    cell(u"txtName"_s, name, 0, 1, true);
    cell(u"txtClient"_s, r.FieldIndex(u"Cli_Nombre"_s) >= 0 ? r.AsString(u"Cli_Nombre"_s) : QString(), 1, 1);
    cell(u"txtUser"_s, own ? u"Mi ("_s + owner + u")"_s : owner, 0, 2);
    cell(u"txtDate"_s, ListDate(r, u"Selec_FechaAlta"_s), 0, 3);
    cell(u"txtModDate"_s, ListDate(r, u"Selec_FechaMod"_s), 1, 3);
    auto* actions = new QHBoxLayout;
    actions->setContentsMargins(0, 0, 0, 0);
    actions->setSpacing(0);
    grid->addLayout(actions, 0, 4, 2, 1);

    const bool shared = r.FieldIndex(u"Selec_Compartir"_s) >= 0 && !r.IsNull(u"Selec_Compartir"_s) &&
                        r.AsInteger(u"Selec_Compartir"_s) == 1;
    QToolButton* share = nullptr;
    if (own)
        share = RowAction(row, u"imgSelectShare"_s, shared ? u"Compartida"_s : u"Compartir"_s,
                          shared ? u"Compartida con otros usuarios: cambiar con quién"_s
                                 : u"Compartir con otros usuarios de la inmobiliaria"_s);
    else
        share = RowAction(row, u"imgSelectShare"_s, u"Mostrar"_s,
                          u"Compartida por %1: elegir si se muestra en su lista"_s.arg(owner));
    share->setProperty("picture",
                       own ? (shared ? u"imgSelectShareOn"_s : u"imgSelectShareOff"_s) : u"imgSelectShareByOther"_s);
    auto* modify = RowAction(row, u"imgSelectMod"_s, u"Modificar"_s,
                             own ? u"Cambiar el nombre o el cliente"_s : u"Solo su creador puede modificarla"_s);
    auto* remove = RowAction(row, u"imgSelectDel"_s, u"Eliminar"_s,
                             own ? u"Eliminar la selección"_s : u"Solo su creador puede eliminarla"_s);
    modify->setEnabled(own);
    remove->setEnabled(own);
    for (QToolButton* b : {share, modify, remove})
        actions->addWidget(b);
    connect(share, &QToolButton::clicked, this, [this, code, own] {
        if (!own) {
            ShowOthers(code);
            return;
        }
        TfrmSelectShare* dialog = SelectShareDialog();
        if (!dialog || !dialog->Prepare({code}))
            return;
        dialog->exec();
        m_chosen.clear();
        btnSelectShare->setEnabled(false);
        btnSelectJoin->setEnabled(false);
        ShowSelections(m_selectionsClient, m_selectionsClientName);
    });
    connect(modify, &QToolButton::clicked, this, [this, code, name] {
        TfrmSelectEdit dialog(code, name, window());
        dialog.exec();
        ShowSelections(m_selectionsClient, m_selectionsClientName);
    });
    connect(remove, &QToolButton::clicked, this, [this, code, name] {
        if (!AskConfirmation(PropertyListText::DeleteQuestion.arg(name)))
            return;
        if (!Selections::Delete(code)) {
            ShowError(PropertyListText::DeleteFailed);
            return;
        }
        m_selectionCount = std::max(0, m_selectionCount - 1);
        ShowSelections(m_selectionsClient, m_selectionsClientName);
    });
    return row;
}

void TPropertyList::RefreshSelectionButtons()
{
    btnSelectShare->setEnabled(!m_chosen.isEmpty() && Selections::CountOwnActive(m_chosen) > 0);
    btnSelectJoin->setEnabled(!m_chosen.isEmpty());
    const QString why = u"Marque primero una o más selecciones con su casilla."_s;
    btnSelectShare->setToolTip(btnSelectShare->isEnabled() ? QString() : why);
    btnSelectJoin->setToolTip(btnSelectJoin->isEnabled() ? QString() : why);
}

void TPropertyList::ShareChosen()
{
    QList<qint64> own;
    for (qint64 code : std::as_const(m_chosen))
        if (Selections::IsOwnActive(code))
            own << code;
    if (own.size() != m_chosen.size())
        ShowInformation(PropertyListText::OthersNotShared);
    if (own.isEmpty())
        return;
    TfrmSelectShare* dialog = SelectShareDialog();
    if (!dialog || !dialog->Prepare(own))
        return;
    dialog->exec();
    ShowSelections(m_selectionsClient, m_selectionsClientName);
}

void TPropertyList::MergeChosen()
{
    if (m_chosen.isEmpty())
        return;
    TfrmSelectMerge dialog(m_chosen, window());
    dialog.exec();
    const int count = Selections::CountListed();
    if (count >= 0)
        m_selectionCount = count;
    ShowSelections(m_selectionsClient, m_selectionsClientName);
}

void TPropertyList::ShowOthers(std::optional<qint64> only)
{
    TfrmSelectOthers* dialog = SelectOthersDialog();
    if (!dialog || !dialog->Prepare(only))
        return;
    dialog->exec();
    const int count = Selections::CountListed();
    if (count >= 0)
        m_selectionCount = count;
    ShowSelections(m_selectionsClient, m_selectionsClientName);
}

void TPropertyList::ClearMarks()
{
    Marks().Clear();
    Q_EMIT MarksChanged(0);
    ShowMarked();
}

void TPropertyList::SaveMarks()
{
    if (Marks().Count() == 0)
        return;
    TfrmSelectSave dialog(Marks().Codes(), window());
    if (dialog.exec() != QDialog::Accepted)
        return;
    Marks().Clear();
    Q_EMIT MarksChanged(0);
    m_selectionCount = std::max(0, m_selectionCount) + 1;
    ShowSelections();
}

void TPropertyList::SelectAll()
{
    const TListFamily family = FamilyOfMode(m_mode);
    if (family == TListFamily::SelectionProperties || family == TListFamily::Selections || m_mode == TRMNone)
        return;
    QList<QCheckBox*> boxes;
    for (int i = 0; i < lstboxResult->count(); ++i)
        if (QWidget* row = lstboxResult->itemWidget(lstboxResult->item(i)))
            if (auto* box = row->findChild<QCheckBox*>(u"chkMark"_s))
                boxes << box;
    if (family == TListFamily::Marks) {
        for (int i = 0; i < m_pageCodes.size(); ++i)
            if (!Marks().Unmark(m_pageCodes[i].toLongLong()))
                ShowError(PropertyListText::UnmarkFailed);
        Q_EMIT MarksChanged(Marks().Count());
        QTimer::singleShot(0, this, &TPropertyList::ShowMarked);
        return;
    }
    int checked = 0;
    int markable = 0;
    for (QCheckBox* box : std::as_const(boxes))
        if (box->isEnabled()) {
            ++markable;
            checked += box->isChecked() ? 1 : 0;
        }
    const bool mark = checked == 0 ? true : checked == markable ? false : m_selectAllMarks;
    m_selectAllMarks = !m_selectAllMarks;
    for (int i = 0; i < lstboxResult->count() && i < m_pageCodes.size(); ++i) {
        QWidget* row = lstboxResult->itemWidget(lstboxResult->item(i));
        auto* box = row ? row->findChild<QCheckBox*>(u"chkMark"_s) : nullptr;
        if (!box || !box->isEnabled())
            continue;
        box->setChecked(mark);
        const qint64 code = m_pageCodes[i].toLongLong();
        if (!(mark ? Marks().Mark(code) : Marks().Unmark(code))) {
            FatalError(PropertyListText::MarkFailed);
            return;
        }
    }
    for (QCheckBox* box : {txtSelectAll, txtSelectAllR, Text3})
        box->setChecked(mark);
    Q_EMIT MarksChanged(Marks().Count());
}
