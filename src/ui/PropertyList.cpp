#include "ui/PropertyList.h"

#include "core/Bugs.h"
#include "core/InstallContext.h"
#include "core/MiscFunc.h"
#include "core/UserMessages.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "records/PropertyTexts.h"
#include "search/Filter.h"
#include "search/Marks.h"
#include "search/PropertyQuery.h"
#include "sync/Session.h"
#include "sync/SyncData.h"
#include "ui/Style.h"
#include "ui/TfrmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace PropertyListText {
const QString FilterFailed = u"Error al ejecutar el filtro. [CODE F01]"_s;
const QString QuickSearchFailed = u"Error al cargar el listado. [CODE F02]"_s;
const QString OrderFailed = u"Error al ordenar el listado. [CODE F03]"_s;
const QString OwnFailed = u"Error al cargar el listado. [CODE F04]"_s;
const QString OwnFilterFailed = u"Error al cargar el listado. [CODE F05]"_s;
const QString MarksFailed = u"Error al cargar el listado. [CODE F06]"_s;
const QString SelectionsFailed = u"Error al cargar las selecciones. [CODE F07]"_s;
const QString SelectionPropertiesFailed = u"Error al cargar el listado. [CODE F08]"_s;
const QString PageFailed = u"Error al cargar los datos de la propiedad  [CODE P01]"_s;
const QString MarkFailed = u"Error al indicar los ítems marcados."_s;
const QString UnmarkFailed = u"Se produjo un error al desmarcar la propiedad."_s;
const QString MarksPruned = u"Algunas propiedades marcadas ya no están vigentes y se quitaron de las marcadas."_s;
} // namespace PropertyListText

namespace {

constexpr int kExpandedRowHeight = 87;
constexpr int kSummaryRowHeight = 29;
constexpr int kMaxPageRows = 20;

const char* const kFastFilters[] = {"Todas",
                                    "Activas",
                                    "Activas públicas",
                                    "Activas y Suspendidas",
                                    "Suspendidas",
                                    "Bajas",
                                    "Bajas y Suspendidas",
                                    "Privadas",
                                    "Mis propiedades",
                                    "Pendientes de envío",
                                    "Casas",
                                    "Departamentos",
                                    "Duplex, Loft, PH",
                                    "Locales",
                                    "Oficinas",
                                    "Lotes"};

size_t FamilyIndex(TListFamily family)
{
    switch (family) {
    case TListFamily::Search:
        return 0;
    case TListFamily::Own:
        return 1;
    case TListFamily::Marks:
        return 2;
    case TListFamily::Selections:
        return 3;
    default:
        return 4;
    }
}

QLabel* Text(QWidget* parent, const QString& name, const QString& text = QString())
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

// A header caption that orders the list by its key when clicked.
class THeaderLabel : public QLabel {
public:
    THeaderLabel(const QString& caption, const QString& key, TPropertyList* list, QWidget* parent)
        : QLabel(caption, parent), m_key(key), m_list(list)
    {
        setCursor(Qt::PointingHandCursor);
        setProperty("sortKey", key);
    }

protected:
    void mousePressEvent(QMouseEvent*) override { m_list->OrderBy(m_key); }

private:
    QString m_key;
    TPropertyList* m_list;
};

// A page number or word of the page strip.
class TStripLabel : public QLabel {
public:
    TStripLabel(const QString& text, std::function<void()> action, QWidget* parent)
        : QLabel(text, parent), m_action(std::move(action))
    {}

protected:
    void mousePressEvent(QMouseEvent*) override
    {
        if (m_action)
            m_action();
    }

private:
    std::function<void()> m_action;
};

} // namespace

TPropertyList::TPropertyList(QWidget* parent) : QWidget(parent)
{
    setObjectName(u"layoutPropList"_s);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);

    auto* toolbar = new QHBoxLayout;
    lblPropListTitle = Text(this, u"lblPropListTitle"_s);
    SetStyleRole(lblPropListTitle, u"title"_s);
    lblPropListCount = Text(this, u"lblPropListCount"_s);
    toolbar->addWidget(lblPropListTitle);
    toolbar->addWidget(lblPropListCount);
    toolbar->addStretch(1);
    cboOwnFastFilter = new QComboBox(this);
    cboOwnFastFilter->setObjectName(u"cboOwnFastFilter"_s);
    for (const char* item : kFastFilters)
        cboOwnFastFilter->addItem(QString::fromUtf8(item));
    connect(cboOwnFastFilter, &QComboBox::activated, this,
            [this] { ShowOwnProperties(PropertyListText::OwnFilterFailed); });
    toolbar->addWidget(cboOwnFastFilter);
    const auto button = [this, toolbar](const QString& name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        toolbar->addWidget(b);
        return b;
    };
    btnPropListExpanded = button(u"btnPropListExpanded"_s, u"Ampliado"_s);
    btnPropListSummary = button(u"btnPropListSummary"_s, u"Resumido"_s);
    btnPropListCancel = button(u"btnPropListCancel"_s, u"Cancelar"_s);
    connect(btnPropListExpanded, &QPushButton::clicked, this, [this] { SwitchLayout(true); });
    connect(btnPropListSummary, &QPushButton::clicked, this, [this] { SwitchLayout(false); });
    connect(btnPropListCancel, &QPushButton::clicked, this, &TPropertyList::Cancelled);
    column->addLayout(toolbar);

    BuildHeaders();
    for (QWidget* header : {rectHeaderExp, rectHeaderRes, rectHeaderOwnRes, rectHeaderSelec})
        column->addWidget(header);

    lstboxResult = new QListWidget(this);
    lstboxResult->setObjectName(u"lstboxResult"_s);
    lstboxResult->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lstboxResult->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lstboxResult->setAlternatingRowColors(true);
    lstboxResult->setSelectionMode(QAbstractItemView::NoSelection);
    connect(lstboxResult, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int row = lstboxResult->row(item);
        if (row >= 0 && row < m_pageCodes.size() && !m_pageCodes[row].isEmpty())
            Q_EMIT RowOpened(m_pageCodes[row].toLongLong(), item->data(Qt::UserRole).toInt());
    });
    column->addWidget(lstboxResult, 1);

    imgEmptyList = Text(lstboxResult->viewport(), u"imgEmptyListProps"_s);
    imgEmptyList->setPixmap(AppPicture(u"imgEmptyList"_s));
    lblEmptyList = Text(lstboxResult->viewport(), u"lblEmptyListProps"_s);
    imgEmptyList->hide();
    lblEmptyList->hide();

    auto* navigation = new QHBoxLayout;
    const auto nav = [this, navigation](const QString& name, const QString& text, int step) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setEnabled(false);
        connect(b, &QPushButton::clicked, this, [this, step] { Navigate(step); });
        navigation->addWidget(b);
        return b;
    };
    btnPropNavFirst = nav(u"btnPropNavFirst"_s, u"|<"_s, 0);
    btnPropNavLeft = nav(u"btnPropNavLeft"_s, u"<"_s, 1);
    lblPropPage = Text(this, u"lblPropPage"_s, PageLabelText(0, 0));
    lblPropPage->setMinimumWidth(lblPropPage->fontMetrics().horizontalAdvance(u"Página: 0000 / 0000"_s));
    lblPropPage->installEventFilter(this);
    navigation->addWidget(lblPropPage);
    btnPropNavRight = nav(u"btnPropNavRight"_s, u">"_s, 2);
    btnPropNavLast = nav(u"btnPropNavLast"_s, u">|"_s, 3);
    navigation->addStretch(1);
    column->addLayout(navigation);
    // The strip has a row of its own, centred under the list.
    rectPropResultPages = new QWidget(this);
    rectPropResultPages->setObjectName(u"rectPropResultPages"_s);
    auto* strip = new QHBoxLayout(rectPropResultPages);
    strip->setSpacing(2);
    strip->setContentsMargins(0, 0, 0, 0);
    column->addWidget(rectPropResultPages, 0, Qt::AlignHCenter);
    ResetStates();
}

TPropertyList::~TPropertyList() = default;

void TPropertyList::BuildHeaders()
{
    struct Column {
        const char* name;
        const char* caption;
        const char* key;
    };
    const auto header = [this](const QString& name, std::initializer_list<Column> columns) {
        auto* rect = new QWidget(this);
        rect->setObjectName(name);
        auto* row = new QHBoxLayout(rect);
        row->setContentsMargins(4, 2, 4, 2);
        for (const Column& c : columns) {
            auto* label = new THeaderLabel(QString::fromUtf8(c.caption), QString::fromLatin1(c.key), this, rect);
            label->setObjectName(QString::fromLatin1(c.name));
            row->addWidget(label, 1);
        }
        rect->hide();
        return rect;
    };
    rectHeaderExp = header(u"rectHeaderExp"_s, {{"txtCod", "Código", "Codigo"},
                                                {"txtEdif", "Edificación", "Edificacion"},
                                                {"txtSitu", "Operación", "Situacion"},
                                                {"txtPrecio", "Precio", "Precio"},
                                                {"txtUbic", "Ubicación", "Ubicacion"},
                                                {"txtDom", "Domicilio", "Domicilio"},
                                                {"txtSupTno", "Sup. terreno", "SupTno"},
                                                {"txtSupCub", "Sup. cubierta", "SupCub"}});
    rectHeaderRes = header(u"rectHeaderRes"_s, {{"txtCodR", "Código", "Codigo"},
                                                {"txtEdifR", "Edificación", "Edificacion"},
                                                {"txtSituR", "Operación", "Situacion"},
                                                {"txtPrecioR", "Precio", "Precio"},
                                                {"txtSupTnoR", "Superficie", "SupTno"},
                                                {"txtUbicR", "Ubicación", "Ubicacion"},
                                                {"txtDomR", "Domicilio", "Domicilio"}});
    rectHeaderOwnRes = header(u"rectHeaderOwnRes"_s, {{"txtCodOwnR", "Código", "Codigo"},
                                                      {"txtEdifOwnR", "Edificación", "Edificacion"},
                                                      {"txtSituOwnR", "Operación", "Situacion"},
                                                      {"txtPrecioOwnR", "Precio", "Precio"},
                                                      {"txtUbicOwnR", "Ubicación", "Ubicacion"},
                                                      {"txtDomOwnR", "Domicilio", "Domicilio"}});
    rectHeaderSelec = header(u"rectHeaderSelec"_s, {{"txtNombre", "Nombre", "Selec_Nombre"},
                                                    {"txtCte", "Cliente", "Cliente"},
                                                    {"txtCreador", "Creador", "Creador"},
                                                    {"txtFechaAlta", "Alta", "FechaAlta"},
                                                    {"txtFechaMod", "Modificación", "FechaMod"}});
}

TAppQuery& TPropertyList::StateOf(TListFamily family)
{
    return m_states[FamilyIndex(family)];
}

const TAppQuery& TPropertyList::State(TListFamily family) const
{
    return m_states[FamilyIndex(family)];
}

void TPropertyList::ResetStates()
{
    for (TAppQuery& state : m_states)
        state = {};
}

void TPropertyList::ReleaseResultSet()
{
    if (!m_result)
        return;
    lstboxResult->clear();
    m_pageRows.reset();
    m_result.reset();
    ReopenDatabase();
}

void TPropertyList::FreeResultSet()
{
    lstboxResult->clear();
    m_pageRows.reset();
    m_result.reset();
}

namespace {

const QString kPropertyFrom = u" FROM `W_Propiedades` "_s;
const QString kKeyColumns = u"SELECT `W_Propiedades`.`Prop_Codigo`, ROUND(`W_Propiedades`.`Prop_Precio` * "
                            u"`W_Monedas`.`Moneda_Cotizacion`) AS `Prop_PrecioPesos`"_s;

// The statement with its column list cut down to the code and the local price: the same
// rows in the same order, without carrying 120 columns through the sort.
QString KeysStatement(const QString& sql)
{
    if (!sql.startsWith(PropertyQuerySql().left(40)))
        return {};
    const qsizetype from = sql.indexOf(kPropertyFrom);
    return from < 0 ? QString() : kKeyColumns + sql.mid(from);
}

} // namespace

bool TPropertyList::RunList(const QString& sql)
{
    m_pageRows.reset();
    const QString keys = KeysStatement(sql);
    m_keyed = !keys.isEmpty();
    int rows = 0;
    return DB() && DB()->Query(m_keyed ? keys : sql, m_result, rows) && m_result;
}

std::unique_ptr<TResultSet> TPropertyList::FullResultSet() const
{
    const TAppQuery& state = State(FamilyOfMode(m_mode == TRMNone ? m_previousMode : m_mode));
    std::unique_ptr<TResultSet> full;
    int rows = 0;
    if (!DB() || state.BaseSql.isEmpty() || !DB()->Query(state.BaseSql + state.OrderBy, full, rows))
        return {};
    return full;
}

int TPropertyList::RowHeight() const
{
    return IsExpandedMode(m_mode) || m_mode == TRMNone ? kExpandedRowHeight : kSummaryRowHeight;
}

int TPropertyList::PageSize() const
{
    const int height = lstboxResult->viewport()->height();
    const int rows = RowHeight() < 1 ? 0 : height / RowHeight();
    return std::clamp(rows, 1, kMaxPageRows);
}

QStringList TPropertyList::PageCodes() const
{
    return m_pageCodes;
}

void TPropertyList::ShowStatement(TListFamily family, const QString& baseSql, const QString& orderBy,
                                  const QString& sortKey, int mode, const QString& failMessage)
{
    ReleaseResultSet();
    TAppQuery& state = StateOf(family);
    const bool same = state.BaseSql == baseSql && !state.OrderBy.isEmpty();
    state.BaseSql = baseSql;
    if (!same) {
        state.OrderBy = orderBy;
        state.SortKey = sortKey;
        state.Descending = !orderBy.isEmpty() && orderBy == OrderByClause(sortKey, true);
        state.Position = 1;
    }
    if (!RunList(state.BaseSql + state.OrderBy)) {
        FatalError(failMessage);
        return;
    }
    ShowList(mode);
}

void TPropertyList::ShowOwnProperties(const QString& failMessage)
{
    int mode = ModeForNewList(TListFamily::Own, PresentationSetting());
    if (mode == TRMNone)
        mode = TRMOwnAmpliado;
    if (m_mode == TRMOwnAmpliado || m_mode == TRMOwnResumido)
        mode = m_mode;
    ShowStatement(TListFamily::Own,
                  PropertyQuerySql() +
                      OwnPropertiesWhere(CurrentAgencyCode(), cboOwnFastFilter->currentIndex(), SessionUserCode),
                  OrderByClause(u"Ubicacion"_s, false), u"Ubicacion"_s, mode, failMessage);
}

bool TPropertyList::QuickSearch(const QString& text)
{
    std::optional<TFilterQuery> query;
    try {
        query = BuildQuickSearch(text);
    } catch (const std::exception& e) {
        WriteLog(u"$8005"_s, QString::fromUtf8(e.what()));
        return false;
    }
    if (!query)
        return false;
    ShowQuickQuery(*query);
    return true;
}

void TPropertyList::CodeListSearch(const QString& codes)
{
    TFilterQuery query;
    try {
        query = BuildCodeListSearch(codes);
    } catch (const std::exception& e) {
        WriteLog(u"$8005"_s, QString::fromUtf8(e.what()));
        return;
    }
    ShowQuickQuery(query);
}

void TPropertyList::ClearState(TListFamily family)
{
    StateOf(family) = {};
}

void TPropertyList::ShowQuickQuery(const TFilterQuery& query)
{
    int mode = ModeForNewList(TListFamily::Search, PresentationSetting());
    mode = mode == TRMResumido ? TRMSrchResumido : TRMSrchAmpliado;
    // A new search starts from its first row.
    StateOf(TListFamily::Search) = {};
    ShowStatement(TListFamily::Search, query.BaseSql, query.OrderBy, query.SortKey, mode,
                  PropertyListText::QuickSearchFailed);
}

void TPropertyList::ShowHeaders()
{
    const bool summary = m_mode == TRMResumido || m_mode == TRMSrchResumido || m_mode == TRMMarkResumido ||
                         m_mode == TRMSelecPropResumido;
    rectHeaderRes->setVisible(summary);
    rectHeaderOwnRes->setVisible(m_mode == TRMOwnResumido);
    rectHeaderSelec->setVisible(m_mode == TRMSelecciones);
    rectHeaderExp->setVisible(!summary && m_mode != TRMOwnResumido && m_mode != TRMSelecciones);
    btnPropListCancel->setVisible(FamilyOfMode(m_mode) == TListFamily::Search);
    btnPropListSummary->setVisible(IsExpandedMode(m_mode));
    btnPropListExpanded->setVisible(!IsExpandedMode(m_mode) && m_mode != TRMSelecciones && m_mode != TRMNone);
    cboOwnFastFilter->setVisible(FamilyOfMode(m_mode) == TListFamily::Own);

    const TAppQuery& state = State(FamilyOfMode(m_mode));
    for (QWidget* header : {rectHeaderExp, rectHeaderRes, rectHeaderOwnRes, rectHeaderSelec})
        for (QLabel* label : header->findChildren<QLabel*>()) {
            QString caption = label->text();
            caption.remove(u" ▲"_s).remove(u" ▼"_s);
            if (label->property("sortKey").toString() == state.SortKey)
                caption += state.Descending ? u" ▼"_s : u" ▲"_s;
            label->setText(caption);
        }

    const int mode = m_mode;
    QString title = u"Resultado de la búsqueda: "_s;
    if (mode == TRMMarkAmpliado || mode == TRMMarkResumido)
        title = u"Marcadas: "_s;
    else if (mode == TRMSelecciones)
        title = u"Cantidad de selecciones: "_s;
    else if (mode == TRMSelecPropAmpliado || mode == TRMSelecPropResumido)
        title = u"Selección: "_s;
    lblPropListTitle->setText(title);
    lblPropListCount->setText(ListCountText(mode, m_result ? m_result->RecordCount() : 0));
}

void TPropertyList::ShowList(int mode)
{
    m_mode = mode;
    TAppQuery& state = StateOf(FamilyOfMode(mode));
    state.Mode = quint8(mode);
    const int rows = m_result ? m_result->RecordCount() : 0;
    const int position = std::min(state.Position, std::max(rows, 1));
    lblPropPage->setText(PageLabelText(0, 0));
    for (QPushButton* b : {btnPropNavFirst, btnPropNavLeft, btnPropNavRight, btnPropNavLast})
        b->setEnabled(false);
    ShowHeaders();
    imgEmptyList->hide();
    lblEmptyList->hide();
    if (rows == 0) {
        const TListFamily family = FamilyOfMode(mode);
        lblEmptyList->setText(family == TListFamily::Marks                 ? u"No hay propiedades marcadas"_s
                              : family == TListFamily::Selections          ? u"No hay selecciones guardadas"_s
                              : family == TListFamily::SelectionProperties ? u"No hay propiedades en la selección"_s
                                                                           : u"No se han encontrado propiedades"_s);
        lblEmptyList->adjustSize();
        const QRect area = lstboxResult->viewport()->rect();
        imgEmptyList->move((area.width() - imgEmptyList->width()) / 2, area.height() / 2 - imgEmptyList->height());
        lblEmptyList->move((area.width() - lblEmptyList->width()) / 2, area.height() / 2 + 8);
        imgEmptyList->show();
        lblEmptyList->show();
    }
    ShowPage(CeilDiv(position, PageSize()));
    m_previousMode = mode;
}

void TPropertyList::DecorateRow(TResultSet& r, QWidget* row, QGridLayout* grid, QBoxLayout* line)
{
    const qint64 code = PropInteger(r, u"Prop_Codigo"_s);
    auto* box = new QCheckBox(row);
    box->setObjectName(u"chkMark"_s);
    const bool withdrawn = PropInteger(r, u"Prop_Estado"_s) == 1;
    const bool marksList = m_mode == TRMMarkAmpliado || m_mode == TRMMarkResumido;
    box->setEnabled(!withdrawn);
    box->setChecked(marksList || Marks().IsMarked(code));
    connect(box, &QCheckBox::clicked, this, [this, box, code, marksList](bool checked) {
        if (marksList) {
            if (!Marks().Unmark(code)) {
                box->setChecked(true);
                ShowError(PropertyListText::UnmarkFailed);
                return;
            }
            Q_EMIT MarksChanged(Marks().Count());
            // The list is rebuilt once this click has been handled.
            QTimer::singleShot(0, this, &TPropertyList::ShowMarked);
            return;
        }
        if (!(checked ? Marks().Mark(code) : Marks().Unmark(code))) {
            FatalError(PropertyListText::MarkFailed);
            return;
        }
        Q_EMIT MarksChanged(Marks().Count());
    });
    if (grid)
        grid->addWidget(box, 3, 0, Qt::AlignLeft | Qt::AlignBottom);
    else if (line)
        line->insertWidget(0, box);
    if (Marks().IsVisited(code)) {
        auto* dim = new QGraphicsOpacityEffect(row);
        dim->setOpacity(0.5);
        row->setGraphicsEffect(dim);
    }
}

void TPropertyList::ShowMarked()
{
    const bool showing = m_mode == TRMMarkAmpliado || m_mode == TRMMarkResumido;
    if (Marks().Count() == 0 && !showing)
        return;
    int mode = showing ? m_mode : ModeForNewList(TListFamily::Marks, PresentationSetting());
    if (mode == TRMNone)
        mode = TRMMarkAmpliado;
    const TAppQuery& state = State(TListFamily::Marks);
    const QString base = PropertyQuerySql() + MarkedPropertiesWhere(Marks().Codes());
    // A list built before keeps its order; a new one starts by price.
    const bool known = !state.OrderBy.isEmpty();
    ShowStatement(TListFamily::Marks, base, known ? state.OrderBy : OrderByClause(u"Precio"_s, false),
                  known ? state.SortKey : u"Precio"_s, mode, PropertyListText::MarksFailed);
    const int rows = m_result ? m_result->RecordCount() : 0;
    if (rows != Marks().Count() && TMarks::Prune()) {
        Marks().Reload(CurrentAgencyCode(), SessionUserCode);
        ShowInformation(PropertyListText::MarksPruned);
    }
    Q_EMIT MarksChanged(rows);
}

QWidget* TPropertyList::ExpandedRow(TResultSet& r, const QString& photo)
{
    auto* row = new QWidget;
    auto* grid = new QGridLayout(row);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(0);
    auto* image = Text(row, u"imgItem"_s);
    image->setFixedSize(84, 63);
    const QPixmap picture(photo);
    image->setPixmap((picture.isNull() ? AppPicture(u"imgNoPhoto"_s) : picture)
                         .scaled(84, 63, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    grid->addWidget(image, 0, 0, 3, 1);
    DecorateRow(r, row, grid, nullptr);
    const TPropertyStatus status = StatusText(r, true);
    const TStatusBadge badge = StatusBadge(status);
    auto* code = Text(row, u"TxtCodDat"_s, FormatCode(PropInteger(r, u"Prop_Codigo"_s)));
    auto* state = Text(row, u"txtEstado"_s, status.text.toUpper());
    state->setStyleSheet(u"background: %1; color: %2; padding: 0 4px;"_s.arg(QColor::fromRgba(badge.background).name(),
                                                                             QColor::fromRgba(badge.text).name()));
    grid->addWidget(code, 0, 1);
    grid->addWidget(state, 0, 2);
    grid->addWidget(Text(row, u"TxtEdif"_s, PropText(r, u"Edif_Nombre"_s)), 0, 3);
    grid->addWidget(Text(row, u"TxtSitu"_s, PropText(r, u"Situ_Nombre"_s)), 0, 4);
    auto* price = Text(row, u"TextPrecio"_s, PriceText(r));
    SetStyleRole(price, u"title"_s);
    grid->addWidget(price, 0, 5);
    grid->addWidget(Text(row, u"TxtCiud"_s, ComposeLocZon(r)), 1, 1, 1, 2);
    grid->addWidget(Text(row, u"TxtDir"_s, ComposeAddress(r)), 1, 3, 1, 2);
    grid->addWidget(Text(row, u"TxtInm"_s, AgencyNameText(r) + u"\n\n"_s + PropText(r, u"Inmo_Te"_s)), 1, 5, 2, 1);
    const int characters = std::max(20, (lstboxResult->viewport()->width() - 640) / 7);
    grid->addWidget(Text(row, u"TxtDes"_s, TruncateAtWord(DescriptionText(r), characters)), 2, 1, 1, 4);
    grid->addWidget(Text(row, u"txtResto"_s, ComposeFeatures(r)), 3, 1, 1, 4);
    grid->setColumnStretch(4, 1);
    return row;
}

QWidget* TPropertyList::SummaryRow(TResultSet& r)
{
    auto* row = new QWidget;
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(4, 0, 4, 0);
    const TStatusBadge badge = StatusBadge(StatusText(r, true));
    auto* code = Text(row, u"TxtCodR"_s, FormatCode(PropInteger(r, u"Prop_Codigo"_s)));
    code->setStyleSheet(u"color: %1;"_s.arg(QColor::fromRgba(badge.background).name()));
    const QString surface = NumberText(r, u"Prop_SupTno"_s);
    DecorateRow(r, row, nullptr, line);
    for (auto* label : {code, Text(row, u"TxtEdif"_s, PropText(r, u"Edif_Nombre"_s)),
                        Text(row, u"TxtSitu"_s, PropText(r, u"Situ_Nombre"_s)), Text(row, u"TxtPrecio"_s, PriceText(r)),
                        Text(row, u"TxtSup"_s, surface.isEmpty() ? QString() : surface + u" m²"_s),
                        Text(row, u"TxtUbic"_s, ComposeLocZon(r)),
                        Text(row, u"TxtDom"_s, (ComposeAddress(r) + u' ' + PropText(r, u"Prop_Resto"_s)).trimmed())})
        line->addWidget(label, 1);
    return row;
}

void TPropertyList::ShowPage(int page)
{
    try {
        m_filling = true;
        lstboxResult->clear();
        m_pageCodes.clear();
        const int rows = m_result ? m_result->RecordCount() : 0;
        const int size = PageSize();
        m_pages = PageCount(rows, size);
        m_page = 0;
        if (rows == 0) {
            m_previousMode = m_mode;
            m_mode = TRMNone;
            m_filling = false;
            FillStrip();
            return;
        }
        if (page <= 0 || page > m_pages) {
            m_filling = false;
            return;
        }
        m_page = page;
        const int first = size * (page - 1);
        const bool expanded = IsExpandedMode(m_mode);
        QStringList codes;
        m_result->Seek(first);
        for (int i = 0; i < size && !m_result->Eof(); ++i, m_result->Next())
            codes << QString::number(PropInteger(*m_result, u"Prop_Codigo"_s));
        // The full rows of this page, in the list's order.
        std::vector<int> order;
        TResultSet* rowsOfPage = m_result.get();
        if (m_keyed) {
            int count = 0;
            if (!DB()->Query(PropertyQuerySql() +
                                 u"WHERE `W_Propiedades`.`Prop_Codigo` IN (%1) "_s.arg(codes.join(u',')),
                             m_pageRows, count) ||
                !m_pageRows)
                throw std::runtime_error("the rows of the page cannot be read");
            QHash<QString, int> at;
            for (m_pageRows->First(); !m_pageRows->Eof(); m_pageRows->Next())
                at.insert(QString::number(PropInteger(*m_pageRows, u"Prop_Codigo"_s)), m_pageRows->Row());
            for (const QString& code : std::as_const(codes))
                order.push_back(at.value(code, -1));
            rowsOfPage = m_pageRows.get();
        } else {
            for (int i = 0; i < codes.size(); ++i)
                order.push_back(first + i);
        }
        // The first photo of each property, by the property code in its file name.
        QHash<QString, QString> photos;
        if (expanded)
            for (const QString& path : FetchPhotos(CurrentSessionValues(), codes.join(u','), true, false))
                photos.insert(QFileInfo(path).completeBaseName().section(u'_', 1, 1), path);
        for (int i = 0; i < codes.size(); ++i) {
            if (order[size_t(i)] < 0 || !rowsOfPage->Seek(order[size_t(i)]))
                continue;
            auto* item = new QListWidgetItem(lstboxResult);
            item->setData(Qt::UserRole, first + i);
            QWidget* row = expanded ? ExpandedRow(*rowsOfPage, photos.value(codes[i])) : SummaryRow(*rowsOfPage);
            item->setSizeHint(QSize(0, RowHeight()));
            lstboxResult->setItemWidget(item, row);
            m_pageCodes << codes[i];
        }
        m_result->Seek(std::min(first + size, rows) - 1);
        lblPropPage->setText(PageLabelText(page, m_pages));
        lblPropPage->setCursor(m_pages >= 2 ? Qt::PointingHandCursor : Qt::ArrowCursor);
        btnPropNavFirst->setEnabled(page > 1);
        btnPropNavLeft->setEnabled(page > 1);
        btnPropNavRight->setEnabled(page < m_pages);
        btnPropNavLast->setEnabled(page < m_pages);
        FillStrip();
        StateOf(FamilyOfMode(m_mode)).Position = m_result->Row() + 1;
        m_filling = false;
    } catch (const std::exception& e) {
        m_filling = false;
        WriteLog(u"$8006"_s, QString::fromUtf8(e.what()));
        FatalError(PropertyListText::PageFailed);
    }
}

void TPropertyList::FillStrip()
{
    for (QWidget* child : rectPropResultPages->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        delete child;
    const TPageStrip strip = PageStripWindow(m_page, m_pages);
    rectPropResultPages->setVisible(strip.visible);
    if (!strip.visible)
        return;
    auto* layout = rectPropResultPages->layout();
    const auto add = [&](const QString& text, int width, bool current, std::function<void()> action) {
        auto* label = new TStripLabel(text, current ? std::function<void()>() : std::move(action), rectPropResultPages);
        label->setFixedWidth(width);
        label->setAlignment(Qt::AlignCenter);
        label->setStyleSheet(
            u"font-weight: bold; font-size: 12pt; color: %1;"_s.arg(current ? u"#F81C1C"_s : u"#404040"_s));
        if (!current)
            label->setCursor(Qt::PointingHandCursor);
        layout->addWidget(label);
    };
    add(u"Primera"_s, 60, false, [this] { Navigate(0); });
    add(u"Anterior"_s, 60, false, [this] { Navigate(1); });
    for (int p = strip.first; p <= strip.last; ++p)
        add(QString::number(p), 26, p == m_page, [this, p] { ShowPage(p); });
    add(u"Siguiente"_s, 60, false, [this] { Navigate(2); });
    add(u"Última"_s, 60, false, [this] { Navigate(3); });
}

void TPropertyList::Navigate(int step)
{
    if (m_filling || !m_result || m_result->RecordCount() == 0)
        return;
    const int target = step == 0 ? 1 : step == 1 ? m_page - 1 : step == 2 ? m_page + 1 : m_pages;
    if (target >= 1 && target <= m_pages && target != m_page)
        ShowPage(target);
}

void TPropertyList::OrderBy(const QString& sortKey)
{
    try {
        if (!m_result || m_result->RecordCount() == 0)
            return;
        TAppQuery& state = StateOf(FamilyOfMode(m_mode));
        const bool descending = NextDescending(state, sortKey);
        const QString clause = OrderByClause(sortKey, descending);
        if (clause.isEmpty())
            return;
        state.SortKey = sortKey;
        state.Descending = descending;
        state.OrderBy = clause;
        state.Position = 1;
        ReleaseResultSet();
        if (!RunList(state.BaseSql + state.OrderBy)) {
            FatalError(PropertyListText::OrderFailed);
            return;
        }
        ShowHeaders();
        ShowPage(1);
    } catch (const std::exception& e) {
        WriteLog(u"$8008"_s, QString::fromUtf8(e.what()));
    }
}

void TPropertyList::SwitchLayout(bool toExpanded)
{
    const int mode = SwitchedMode(m_mode, toExpanded, Marks().Count() > 0);
    if (mode == m_mode)
        return;
    // The page that holds the first row shown now stays in view.
    StateOf(FamilyOfMode(mode)).Position = (m_page - 1) * PageSize() + 1;
    m_mode = mode;
    ShowList(mode);
}

bool TPropertyList::eventFilter(QObject* watched, QEvent* event)
{
    // A click on the page label offers to go to any page.
    if (watched == lblPropPage && event->type() == QEvent::MouseButtonRelease && m_pages >= 2 && !m_filling) {
        bool ok = false;
        const int page = QInputDialog::getInt(this, u"Ir a la página"_s, u"Número de página (1 a %1):"_s.arg(m_pages),
                                              m_page, 1, m_pages, 1, &ok);
        if (ok && page != m_page)
            ShowPage(page);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TPropertyList::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_result && m_result->RecordCount() > 0 && m_page > 0 && !m_filling) {
        const int first = (m_page - 1) * std::max(1, lstboxResult->count()) + 1;
        const int page = CeilDiv(first, PageSize());
        if (page != m_page || lstboxResult->count() != std::min(PageSize(), m_result->RecordCount() - first + 1))
            ShowPage(std::max(1, page));
    }
}
