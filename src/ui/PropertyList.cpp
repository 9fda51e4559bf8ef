#include "ui/PropertyList.h"

#include "core/Bugs.h"
#include "core/MiscFunc.h"
#include "core/UserMessages.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "records/PropertyTexts.h"
#include "search/Filter.h"
#include "search/Marks.h"
#include "search/PropertyQuery.h"
#include "selections/Selections.h"
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
const QString DeleteQuestion = u"¿Desea eliminar la selección \"%1\"?"_s;
const QString DeleteFailed = u"No se pudo eliminar la selección."_s;
const QString OthersNotShared = u"Las selecciones de otros usuarios no pueden compartirse."_s;
} // namespace PropertyListText

namespace {

constexpr int kExpandedRowHeight = 87;
constexpr int kSummaryRowHeight = 29;
constexpr int kSelectionRowHeight = 40;

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

// A cell of a list row or header: it shows as much of its text as its place holds, cut
// at a word with an ellipsis, and the whole text as a tooltip when it had to cut. Cells
// take their width from the columns, never from their text, so that a long name cannot
// push its neighbours out of line or over each other.
class TCellLabel : public QLabel {
public:
    TCellLabel(const QString& name, const QString& text, bool wrap, QWidget* parent) : QLabel(parent), m_wrap(wrap)
    {
        setObjectName(name);
        setTextFormat(Qt::PlainText);
        setWordWrap(wrap);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        SetFullText(text);
    }
    void SetFullText(const QString& text)
    {
        m_full = text;
        setProperty("fullText", text);
        Fit();
    }
    QString FullText() const { return m_full; }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        Fit();
    }
    void changeEvent(QEvent* event) override
    {
        QLabel::changeEvent(event);
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
            Fit();
    }

private:
    bool Fits(const QFontMetrics& metrics, const QString& text, int width, int height) const
    {
        const QRect needed = metrics.boundingRect(QRect(0, 0, width, 1 << 20), Qt::TextWordWrap, text);
        return needed.width() <= width && needed.height() <= height;
    }
    void Fit()
    {
        if (m_fitting)
            return;
        m_fitting = true;
        ensurePolished();
        const QFontMetrics metrics = fontMetrics();
        const QRect area = contentsRect();
        QString shown;
        if (m_wrap) {
            const int lines = std::max(1, area.height() / std::max(1, metrics.lineSpacing()));
            const int height = lines * metrics.lineSpacing();
            shown = m_full;
            if (!Fits(metrics, shown, area.width(), height)) {
                // The longest cut at a word that still fits its lines.
                int low = 0;
                int high = int(m_full.size());
                while (low < high) {
                    const int middle = (low + high + 1) / 2;
                    if (Fits(metrics, TruncateAtWord(m_full, middle), area.width(), height))
                        low = middle;
                    else
                        high = middle - 1;
                }
                shown = low > 0 ? TruncateAtWord(m_full, low) : QString();
            }
        } else {
            QStringList lines = m_full.split(u'\n');
            for (QString& line : lines)
                line = metrics.elidedText(line, Qt::ElideRight, std::max(0, area.width()));
            shown = lines.join(u'\n');
        }
        setToolTip(shown == m_full ? QString() : m_full);
        QLabel::setText(shown);
        m_fitting = false;
    }

    QString m_full;
    bool m_wrap = false;
    bool m_fitting = false;
};

// A header caption that orders the list by its key when clicked; captions of columns
// without a key only name them.
class THeaderLabel : public TCellLabel {
public:
    THeaderLabel(const QString& name, const QString& caption, const QString& key, TPropertyList* list, QWidget* parent)
        : TCellLabel(name, caption, false, parent), m_key(key), m_list(list)
    {
        setProperty("caption", caption);
        if (!key.isEmpty()) {
            setCursor(Qt::PointingHandCursor);
            setProperty("sortKey", key);
        }
    }

protected:
    void mousePressEvent(QMouseEvent*) override
    {
        if (!m_key.isEmpty())
            m_list->OrderBy(m_key);
    }

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

// The columns of the list layouts. A header and its rows lay their columns out with the
// same grid (same lead, spacing, minimum widths and stretch), so that every cell sits
// exactly under its caption whatever the width of the list.
struct TListColumn {
    const char* name; // the caption's name in the header
    const char* caption;
    const char* key; // sort key; "" when the column does not order
    // Share of the width left once every column has its minimum. Columns of codes, prices
    // and figures are at least as wide as their longest value (sample); names take most
    // of the rest.
    int stretch;
    const char* sample;
    bool centred;
    // The caption of the column's second line, where its rows have one.
    const char* name2 = nullptr;
    const char* caption2 = nullptr;
    const char* key2 = "";
};

// Expanded rows stack two values in most columns (building type over operation, locality
// over address, surfaces over storeys and rooms), so that a list beside the filter panel
// still gives each value room to be read; the header names both lines.
const TListColumn kExpandedColumns[] = {
    {"txtCod", "Código", "Codigo", 0, "0000-00000", false},
    {"txtEdif", "Edificación", "Edificacion", 4, "", false, "txtSitu", "Operación", "Situacion"},
    {"txtPrecio", "Precio", "Precio", 0, "U$S 0.000.000 ", false},
    {"txtUbic", "Ubicación", "Ubicacion", 5, "", false, "txtDom", "Domicilio", "Domicilio"},
    // The figures' columns also hold the agency below them: a share of any spare width.
    {"txtSupTno", "Sup. Tno.", "SupTno", 1, "00.000 m²", true, "txtPlantas", "Plantas"},
    {"txtSupCub", "Sup. Cub.", "SupCub", 1, "00.000 m²", true, "txtDormAmb", "Dorm."},
};
const TListColumn kSummaryColumns[] = {
    {"txtCodR", "Código", "Codigo", 0, "0000-00000", false},
    {"txtEdifR", "Edificación", "Edificacion", 4, "", false},
    {"txtSituR", "Operación", "Situacion", 3, "", false},
    {"txtPrecioR", "Precio", "Precio", 0, "U$S 0.000.000 ", true},
    {"txtSupTnoR", "Superficie", "SupTno", 0, "00.000 m²", true},
    {"txtUbicR", "Ubicación", "Ubicacion", 5, "", false},
    {"txtDomR", "Domicilio", "Domicilio", 6, "", false},
};
// Own summary rows carry the same cells as the summary rows.
const TListColumn kOwnSummaryColumns[] = {
    {"txtCodOwnR", "Código", "Codigo", 0, "0000-00000", false},
    {"txtEdifOwnR", "Edificación", "Edificacion", 4, "", false},
    {"txtSituOwnR", "Operación", "Situacion", 3, "", false},
    {"txtPrecioOwnR", "Precio", "Precio", 0, "U$S 0.000.000 ", true},
    {"txtSupTnoOwnR", "Superficie", "SupTno", 0, "00.000 m²", true},
    {"txtUbicOwnR", "Ubicación", "Ubicacion", 5, "", false},
    {"txtDomOwnR", "Domicilio", "Domicilio", 6, "", false},
};
// Selection rows end with their share, modify and delete pictures, under no caption.
// Selection rows stack the client under the name and the modification under the creation,
// and end with their share, modify and delete pictures, under no caption.
const TListColumn kSelectionColumns[] = {
    {"txtNombre", "Nombre", "Selec_Nombre", 5, "", false, "txtCte", "Cliente", "Cliente"},
    {"txtCreador", "Creador", "Creador", 3, "", false},
    {"txtFechaAlta", "Alta", "FechaAlta", 0, "00/00/0000 00:00", false, "txtFechaMod", "Modificación", "FechaMod"},
    {"txtAcciones", "", "", 0, "Compartida Modificar Eliminar", false},
};

constexpr int kPhotoWidth = 84;
constexpr int kPhotoHeight = 63;
constexpr int kMarkWidth = 20;
constexpr int kRowMargin = 4;
constexpr int kColumnSpacing = 4;

template <size_t N> std::vector<TListColumn> Columns(const TListColumn (&columns)[N])
{
    return {std::begin(columns), std::end(columns)};
}

// Lead column, stretches and minimum widths shared by a header and its rows.
void SetUpColumns(QGridLayout* grid, int lead, const std::vector<TListColumn>& columns, const QFont& font)
{
    grid->setHorizontalSpacing(kColumnSpacing);
    grid->setColumnMinimumWidth(0, lead);
    grid->setColumnStretch(0, 0);
    // Measured in bold, as codes, prices and captions are drawn.
    QFont bold = font;
    bold.setPixelSize(12);
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    for (size_t i = 0; i < columns.size(); ++i) {
        const TListColumn& c = columns[i];
        int minimum = 0;
        if (*c.sample)
            for (const char* text : {c.sample, c.caption, c.caption2})
                if (text)
                    minimum = std::max(minimum, metrics.horizontalAdvance(QString::fromUtf8(text)) + 2);
        grid->setColumnStretch(int(i) + 1, c.stretch);
        grid->setColumnMinimumWidth(int(i) + 1, minimum);
    }
}

Qt::Alignment CellAlignment(const TListColumn& column, Qt::Alignment vertical)
{
    return (column.centred ? Qt::AlignHCenter : Qt::AlignLeft) | vertical;
}

} // namespace

TPropertyList::TPropertyList(QWidget* parent) : QWidget(parent)
{
    setObjectName(u"layoutPropList"_s);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    // Every pixel of height left to the list is a better chance of one more row.
    column->setSpacing(0);

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
        b->setStyleSheet(u"QPushButton { min-height: 18px; padding: 1px 10px; }"_s);
        toolbar->addWidget(b);
        return b;
    };
    btnPropListExpanded = button(u"btnPropListExpanded"_s, u"Ampliado"_s);
    btnPropListSummary = button(u"btnPropListSummary"_s, u"Resumido"_s);
    btnPropListCancel = button(u"btnPropListCancel"_s, u"Cancelar"_s);
    connect(btnPropListExpanded, &QPushButton::clicked, this, [this] { SwitchLayout(true); });
    connect(btnPropListSummary, &QPushButton::clicked, this, [this] { SwitchLayout(false); });
    connect(btnPropListCancel, &QPushButton::clicked, this, &TPropertyList::Cancelled);
    btnPropMarkQuitar = button(u"btnPropMarkQuitar"_s, u"Quitar"_s);
    btnPropMarkQuitar->setToolTip(u"Desmarcar todas las propiedades"_s);
    btnSelectSave = button(u"btnSelectSave"_s, u"Guardar"_s);
    btnSelectSave->setToolTip(u"Guardar las marcadas como una selección"_s);
    btnSelectShare = button(u"btnSelectShare"_s, u"Compartir\nselecciones"_s);
    btnSelectJoin = button(u"btnSelectJoin"_s, u"Manipular\nselecciones"_s);
    btnSelectOthers = button(u"btnSelectOthers"_s, u"Selecciones de\notros usuarios"_s);
    for (QPushButton* b : {btnPropMarkQuitar, btnSelectSave, btnSelectShare, btnSelectJoin, btnSelectOthers})
        b->hide();
    connect(btnPropMarkQuitar, &QPushButton::clicked, this, &TPropertyList::ClearMarks);
    connect(btnSelectSave, &QPushButton::clicked, this, &TPropertyList::SaveMarks);
    connect(btnSelectShare, &QPushButton::clicked, this, &TPropertyList::ShareChosen);
    connect(btnSelectJoin, &QPushButton::clicked, this, &TPropertyList::MergeChosen);
    connect(btnSelectOthers, &QPushButton::clicked, this, [this] { ShowOthers(std::nullopt); });
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
        if (row < 0 || row >= m_pageCodes.size() || m_pageCodes[row].isEmpty())
            return;
        if (m_mode == TRMSelecciones) {
            // Once this click has been handled: the list it came from goes away.
            const qint64 code = m_pageCodes[row].toLongLong();
            const QString name = item->data(Qt::UserRole + 1).toString();
            QTimer::singleShot(0, this, [this, code, name] { ShowSelectionProperties(code, name); });
            return;
        }
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
        b->setStyleSheet(u"QPushButton { min-height: 18px; padding: 1px 10px; }"_s);
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
    // The strip shares the row of the navigation buttons, in the room they leave: a row of
    // its own, or a place over the foot of the list, would cost the list a row or hide part
    // of one. It shows as many page numbers as that room holds.
    rectPropResultPages = new QWidget(this);
    rectPropResultPages->setObjectName(u"rectPropResultPages"_s);
    rectPropResultPages->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    rectPropResultPages->installEventFilter(this);
    navigation->addWidget(rectPropResultPages, 1);
    column->addLayout(navigation);
    lstboxResult->viewport()->installEventFilter(this);
    ResetStates();
}

TPropertyList::~TPropertyList() = default;

void TPropertyList::BuildHeaders()
{
    const auto header = [this](const QString& name, int lead, const std::vector<TListColumn>& columns,
                               const QString& selectAllName) {
        auto* rect = new QWidget(this);
        rect->setObjectName(name);
        auto* grid = new QGridLayout(rect);
        grid->setContentsMargins(kRowMargin, 0, kRowMargin, 0);
        SetUpColumns(grid, lead, columns, font());
        // The lead column holds the photo or the mark box in the rows; a placeholder here,
        // because the grid leaves out an empty column together with its spacing.
        auto* placeholder = new QWidget(rect);
        placeholder->setFixedSize(lead, 1);
        grid->addWidget(placeholder, 0, 0, Qt::AlignTop);
        grid->setVerticalSpacing(0);
        if (!selectAllName.isEmpty()) {
            auto* all = new QCheckBox(rect);
            all->setObjectName(selectAllName);
            all->setToolTip(u"Marcar o desmarcar todas las propiedades de la página"_s);
            all->setCursor(Qt::PointingHandCursor);
            connect(all, &QCheckBox::clicked, this, &TPropertyList::SelectAll);
            grid->addWidget(all, 0, 0, Qt::AlignLeft | Qt::AlignVCenter);
        }
        const auto caption = [&](const char* name, const char* text, const char* key, const TListColumn& c, int line,
                                 int column) {
            auto* label = new THeaderLabel(QString::fromLatin1(name), QString::fromUtf8(text), QString::fromLatin1(key),
                                           this, rect);
            label->setAlignment(CellAlignment(c, Qt::AlignVCenter));
            QFont bold = font();
            bold.setPixelSize(11);
            bold.setBold(true);
            label->setFont(bold);
            // The style sheet would otherwise put its own font over this one.
            label->setStyleSheet(u"font-weight: bold; font-size: 11px; color: #404040;"_s);
            label->setFixedHeight(QFontMetrics(bold).lineSpacing() + 1);
            grid->addWidget(label, line, column);
        };
        for (size_t i = 0; i < columns.size(); ++i) {
            const TListColumn& c = columns[i];
            caption(c.name, c.caption, c.key, c, 0, int(i) + 1);
            if (c.name2)
                caption(c.name2, c.caption2, c.key2, c, 1, int(i) + 1);
        }
        // Its height is that of its caption lines, whatever the list below would like.
        QFont bold = font();
        bold.setPixelSize(11);
        bold.setBold(true);
        const int line = QFontMetrics(bold).lineSpacing() + 1;
        const bool twoLines = std::any_of(columns.begin(), columns.end(), [](const TListColumn& c) { return c.name2; });
        for (int l = 0; l < (twoLines ? 2 : 1); ++l) {
            grid->setRowMinimumHeight(l, line);
            grid->setRowStretch(l, 1);
        }
        rect->setFixedHeight(line * (twoLines ? 2 : 1) + 2);
        rect->hide();
        return rect;
    };
    rectHeaderExp = header(u"rectHeaderExp"_s, kPhotoWidth, Columns(kExpandedColumns), u"txtSelectAll"_s);
    rectHeaderRes = header(u"rectHeaderRes"_s, kMarkWidth, Columns(kSummaryColumns), u"txtSelectAllR"_s);
    rectHeaderOwnRes = header(u"rectHeaderOwnRes"_s, kMarkWidth, Columns(kOwnSummaryColumns), u"Text3"_s);
    rectHeaderSelec = header(u"rectHeaderSelec"_s, kMarkWidth, Columns(kSelectionColumns), QString());
    txtSelectAll = rectHeaderExp->findChild<QCheckBox*>(u"txtSelectAll"_s);
    txtSelectAllR = rectHeaderRes->findChild<QCheckBox*>(u"txtSelectAllR"_s);
    Text3 = rectHeaderOwnRes->findChild<QCheckBox*>(u"Text3"_s);
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
    if (m_mode == TRMSelecciones)
        return kSelectionRowHeight;
    return IsExpandedMode(m_mode) || m_mode == TRMNone ? kExpandedRowHeight : kSummaryRowHeight;
}

int TPropertyList::PageSize() const
{
    const int height = lstboxResult->viewport()->height();
    const int rows = RowHeight() < 1 ? 0 : height / RowHeight();
    // The codes of the shown rows are kept in a list as long as the page, so a tall window
    // shows every row that fits rather than stopping at a fixed count.
    return std::max(rows, 1);
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
    const TListFamily shownFamily = FamilyOfMode(m_mode);
    btnPropMarkQuitar->setVisible(shownFamily == TListFamily::Marks);
    btnSelectSave->setVisible(shownFamily == TListFamily::Marks);
    btnSelectSave->setEnabled(Marks().Count() > 0);
    btnPropMarkQuitar->setEnabled(Marks().Count() > 0);
    for (QPushButton* b : {btnSelectShare, btnSelectJoin, btnSelectOthers})
        b->setVisible(m_mode == TRMSelecciones || (m_mode == TRMNone && m_previousMode == TRMSelecciones));
    // The properties of a selection are not marked from their header.
    const bool selectAll = shownFamily != TListFamily::SelectionProperties;
    for (QCheckBox* box : {txtSelectAll, txtSelectAllR, Text3}) {
        box->setVisible(selectAll);
        box->setChecked(false);
    }

    const TAppQuery& state = State(FamilyOfMode(m_mode));
    // The captions line up with the cells of the rows, which sit inside the list's frame.
    const int inset = lstboxResult->frameWidth() + kRowMargin;
    for (QWidget* header : {rectHeaderExp, rectHeaderRes, rectHeaderOwnRes, rectHeaderSelec}) {
        header->layout()->setContentsMargins(inset, 0, inset, 0);
        for (THeaderLabel* label : header->findChildren<THeaderLabel*>()) {
            QString caption = label->property("caption").toString();
            if (!caption.isEmpty() && label->property("sortKey").toString() == state.SortKey)
                caption += state.Descending ? u" ▼"_s : u" ▲"_s;
            label->SetFullText(caption);
        }
    }

    const int mode = m_mode;
    QString title = u"Resultado de la búsqueda: "_s;
    if (mode == TRMMarkAmpliado || mode == TRMMarkResumido)
        title = u"Marcadas: "_s;
    else if (mode == TRMSelecciones)
        title = m_selectionsClient > 0 ? u"Selecciones para "_s + m_selectionsClientName + u": "_s
                                       : u"Cantidad de selecciones: "_s;
    else if (mode == TRMSelecPropAmpliado || mode == TRMSelecPropResumido)
        title = u"Selección:"_s + u" ("_s + m_selectionName.left(Selections::kNameLength) + u") "_s;
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
    // The header of the new layout may differ in height: the page size reads the list's
    // height once the column has taken it.
    if (isVisible())
        layout()->activate();
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
    Q_EMIT ListShown(mode);
}

namespace {

// Keeps an own row's buttons at the row's right end, centred in its height.
class TRowActionsPlacer : public QObject {
public:
    explicit TRowActionsPlacer(QWidget* actions) : QObject(actions), m_actions(actions) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Show) {
            auto* row = static_cast<QWidget*>(watched);
            // Tall rows have room under the surfaces; short rows take them centred.
            const bool tall = row->height() > 3 * m_actions->height();
            m_actions->move(row->width() - m_actions->width() - 6,
                            tall ? row->height() - m_actions->height() - 4 : (row->height() - m_actions->height()) / 2);
            m_actions->raise();
        }
        return false;
    }

private:
    QWidget* m_actions;
};

} // namespace

void TPropertyList::DecorateRow(TResultSet& r, QWidget* row, QGridLayout* grid, QBoxLayout* line)
{
    const qint64 code = PropInteger(r, u"Prop_Codigo"_s);
    auto* box = new QCheckBox(row);
    box->setObjectName(u"chkMark"_s);
    const bool withdrawn = PropInteger(r, u"Prop_Estado"_s) == 1;
    const bool marksList = m_mode == TRMMarkAmpliado || m_mode == TRMMarkResumido;
    if (FamilyOfMode(m_mode) == TListFamily::SelectionProperties) {
        // Here the box takes the property out of the selection, when the selection is the
        // user's own; in another user's selection it only shows membership.
        box->setChecked(true);
        box->setEnabled(m_selectionOwn);
        box->setToolTip(m_selectionOwn ? u"Quitar de la selección"_s
                                       : u"La selección es de otro usuario: no se puede modificar."_s);
        SetRemovePicture(box);
        connect(box, &QCheckBox::clicked, this, [this, box, code] {
            if (!Selections::RemoveMember(code, m_selection)) {
                box->setChecked(true);
                ShowError(PropertyListText::UnmarkFailed);
                return;
            }
            QTimer::singleShot(0, this, [this] { ShowSelectionProperties(m_selection, m_selectionName); });
        });
    } else {
        box->setEnabled(!withdrawn);
        box->setChecked(marksList || Marks().IsMarked(code));
        if (marksList)
            SetRemovePicture(box);
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
    }
    // Under the photo in an expanded row, in the lead column of a summary row.
    if (grid && IsExpandedMode(m_mode))
        grid->addWidget(box, 4, 0, Qt::AlignLeft | Qt::AlignBottom);
    else if (grid) {
        box->setFixedWidth(kMarkWidth);
        grid->addWidget(box, 0, 0, Qt::AlignLeft | Qt::AlignVCenter);
    } else if (line)
        line->insertWidget(0, box);
    // The agency's own rows carry the way into the card's form and the withdrawal.
    if (grid && (m_mode == TRMOwnAmpliado || m_mode == TRMOwnResumido)) {
        auto* actions = new QWidget(row);
        actions->setObjectName(u"layoutRowActions"_s);
        auto* buttons = new QHBoxLayout(actions);
        buttons->setContentsMargins(0, 0, 0, 0);
        buttons->setSpacing(2);
        const auto add = [&](const QString& name, const QString& text, int action) {
            auto* b = new QPushButton(text, actions);
            b->setObjectName(name);
            b->setAutoDefault(false);
            b->setFocusPolicy(Qt::NoFocus);
            b->setStyleSheet(u"QPushButton { font-size: 11px; padding: 1px 6px; }"_s);
            b->setFixedHeight(20);
            connect(b, &QPushButton::clicked, this, [this, code, action] {
                // After the click: the action may rebuild this very row.
                QTimer::singleShot(0, this, [this, code, action] { Q_EMIT OwnRowAction(code, action); });
            });
            buttons->addWidget(b);
        };
        add(u"btnRowEdit"_s, u"Modificar"_s, 0);
        if (withdrawn)
            add(u"btnRowRecovery"_s, u"Recuperar"_s, 2);
        else
            add(u"btnRowDel"_s, u"Dar de baja"_s, 1);
        // Over the row's right end, outside its grid: the columns must keep lining up with
        // the header's.
        actions->adjustSize();
        row->installEventFilter(new TRowActionsPlacer(actions));
    }
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
    grid->setContentsMargins(kRowMargin, 2, kRowMargin, 2);
    grid->setVerticalSpacing(0);
    const std::vector<TListColumn> columns = Columns(kExpandedColumns);
    SetUpColumns(grid, kPhotoWidth, columns, lstboxResult->font());
    // Five lines of text: two under the header's two caption lines, then the description,
    // the rest of the address and the agency with its telephone.
    for (int line = 0; line < 5; ++line)
        grid->setRowStretch(line, 1);
    auto* image = Text(row, u"imgItem"_s);
    image->setFixedSize(kPhotoWidth, kPhotoHeight);
    const QPixmap picture(photo);
    image->setPixmap((picture.isNull() ? AppPicture(u"imgNoPhoto"_s) : picture)
                         .scaled(kPhotoWidth, kPhotoHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    grid->addWidget(image, 0, 0, 4, 1, Qt::AlignTop);
    DecorateRow(r, row, grid, nullptr);

    const QMap<QString, QString> texts = ExpandedRowTexts(r);
    const auto cell = [&](const QString& name, int line, int column, int lines = 1, int span = 1, bool wrap = false) {
        auto* label = new TCellLabel(name, texts.value(name), wrap, row);
        const bool centred = span == 1 && columns[size_t(column - 1)].centred;
        label->setAlignment((centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
        grid->addWidget(label, line, column, lines, span);
        return label;
    };
    cell(u"TxtCodDat"_s, 0, 1);
    cell(u"TxtEdif"_s, 0, 2);
    cell(u"TxtSitu"_s, 1, 2);
    TCellLabel* price = cell(u"TextPrecio"_s, 0, 3);
    price->setStyleSheet(u"font-weight: bold; font-size: 13px; color: #01548E;"_s);
    cell(u"TxtCiud"_s, 0, 4);
    cell(u"TxtDir"_s, 1, 4);
    cell(u"txtResto"_s, 2, 4);
    cell(u"TxtTno"_s, 0, 5);
    cell(u"TxtPl"_s, 1, 5);
    cell(u"TxtCub"_s, 0, 6);
    cell(u"TxtDorm"_s, 1, 6);

    const TStatusBadge badge = StatusBadge(StatusText(r, true));
    auto* state = new TCellLabel(u"txtEstado"_s, texts.value(u"txtEstado"_s), false, row);
    state->setAlignment(Qt::AlignCenter);
    state->setStyleSheet(u"background: %1; color: %2; font-size: 11px; font-weight: bold; padding: 0 2px;"_s.arg(
        QColor::fromRgba(badge.background).name(), QColor::fromRgba(badge.text).name()));
    grid->addWidget(state, 1, 1);
    // The agency's telephone goes with its name; this cell stays empty.
    cell(u"TxtTel"_s, 3, 4);
    cell(u"TxtDes"_s, 2, 1, 3, 3, true);
    cell(u"TxtInm"_s, 2, 5, 3, 2);
    return row;
}

QWidget* TPropertyList::SummaryRow(TResultSet& r)
{
    auto* row = new QWidget;
    auto* grid = new QGridLayout(row);
    grid->setContentsMargins(kRowMargin, 0, kRowMargin, 0);
    const std::vector<TListColumn> columns = Columns(kSummaryColumns);
    SetUpColumns(grid, kMarkWidth, columns, lstboxResult->font());
    DecorateRow(r, row, grid, nullptr);
    const QMap<QString, QString> texts = SummaryRowTexts(r);
    const char* const names[] = {"TxtCodR", "TxtEdif", "TxtSitu", "TxtPrecio", "TxtSup", "TxtUbic", "TxtDom"};
    for (size_t i = 0; i < columns.size(); ++i) {
        const QString name = QString::fromLatin1(names[i]);
        auto* label = new TCellLabel(name, texts.value(name), false, row);
        label->setAlignment(CellAlignment(columns[i], Qt::AlignVCenter));
        grid->addWidget(label, 0, int(i) + 1);
        if (i == 0) {
            const TStatusBadge badge = StatusBadge(StatusText(r, true));
            label->setStyleSheet(u"color: %1; font-weight: bold;"_s.arg(QColor::fromRgba(badge.background).name()));
        }
    }
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
        m_shownPageSize = size;
        const int first = size * (page - 1);
        m_anchor = first + 1;
        const bool expanded = IsExpandedMode(m_mode);
        if (m_mode == TRMSelecciones) {
            FillSelectionPage(first, size);
            FinishPage(page, first, size);
            m_filling = false;
            return;
        }
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
            QWidget* row = nullptr;
            try {
                row = expanded ? ExpandedRow(*rowsOfPage, photos.value(codes[i])) : SummaryRow(*rowsOfPage);
            } catch (const std::exception& e) {
                m_filling = false;
                WriteLog(u"$8006"_s, QString::fromUtf8(e.what()));
                FatalError(RowFailedMessage(m_mode));
                return;
            }
            auto* item = new QListWidgetItem(lstboxResult);
            item->setData(Qt::UserRole, first + i);
            item->setSizeHint(QSize(0, RowHeight()));
            lstboxResult->setItemWidget(item, row);
            m_pageCodes << codes[i];
        }
        FinishPage(page, first, size);
        m_filling = false;
    } catch (const std::exception& e) {
        m_filling = false;
        WriteLog(u"$8006"_s, QString::fromUtf8(e.what()));
        FatalError(PropertyListText::PageFailed);
    }
}

QLabel* TPropertyList::Cell(QWidget* parent, const QString& name, const QString& text)
{
    return new TCellLabel(name, text, false, parent);
}

void TPropertyList::SetUpSelectionColumns(QGridLayout* grid)
{
    grid->setContentsMargins(kRowMargin, 0, kRowMargin, 0);
    SetUpColumns(grid, kMarkWidth, Columns(kSelectionColumns), lstboxResult->font());
}

void TPropertyList::FinishPage(int page, int first, int size)
{
    const int rows = m_result->RecordCount();
    m_result->Seek(std::min(first + size, rows) - 1);
    lblPropPage->setText(PageLabelText(page, m_pages));
    lblPropPage->setCursor(m_pages >= 2 ? Qt::PointingHandCursor : Qt::ArrowCursor);
    btnPropNavFirst->setEnabled(page > 1);
    btnPropNavLeft->setEnabled(page > 1);
    btnPropNavRight->setEnabled(page < m_pages);
    btnPropNavLast->setEnabled(page < m_pages);
    m_selectAllMarks = true;
    FillStrip();
    StateOf(FamilyOfMode(m_mode)).Position = m_result->Row() + 1;
}

namespace {
constexpr int kStripSpacing = 2;
}

void TPropertyList::FillStrip()
{
    for (QWidget* child : rectPropResultPages->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        delete child;
    m_stripLabels.clear();
    m_stripWidth = rectPropResultPages->width();
    // Each label is as wide as its text needs, never narrower than the strip's usual 26
    // units for a number and 60 for a word; as many numbers as the list's width holds.
    QFont font = rectPropResultPages->font();
    font.setPixelSize(12);
    font.setBold(true);
    const QFontMetrics metrics(font);
    const QString words[] = {u"Primera"_s, u"Anterior"_s, u"Siguiente"_s, u"Última"_s};
    const auto wordWidth = [&](const QString& word) { return std::max(60, metrics.horizontalAdvance(word) + 8); };
    int wordsWidth = 0;
    for (const QString& word : words)
        wordsWidth += wordWidth(word) + kStripSpacing;
    const int numberWidth = std::max(26, metrics.horizontalAdvance(QString::number(std::max(m_pages, 1))) + 8);
    const int room = m_stripWidth - wordsWidth;
    const TPageStrip strip = PageStripWindow(m_page, m_pages, std::max(1, room / (numberWidth + kStripSpacing)));
    rectPropResultPages->setFixedHeight(metrics.height() + 6);
    if (!strip.visible)
        return;
    const auto add = [&](const QString& text, int width, bool current, std::function<void()> action) {
        auto* label = new TStripLabel(text, current ? std::function<void()>() : std::move(action), rectPropResultPages);
        label->setFont(font);
        label->resize(width, metrics.height() + 4);
        label->setAlignment(Qt::AlignCenter);
        label->setStyleSheet(u"color: %1;"_s.arg(current ? u"#F81C1C"_s : u"#404040"_s));
        if (!current)
            label->setCursor(Qt::PointingHandCursor);
        label->show();
        m_stripLabels << label;
    };
    add(words[0], wordWidth(words[0]), false, [this] { Navigate(0); });
    add(words[1], wordWidth(words[1]), false, [this] { Navigate(1); });
    for (int p = strip.first; p <= strip.last; ++p)
        add(QString::number(p), numberWidth, p == m_page, [this, p] { ShowPage(p); });
    add(words[2], wordWidth(words[2]), false, [this] { Navigate(2); });
    add(words[3], wordWidth(words[3]), false, [this] { Navigate(3); });
    PlaceStrip();
}

void TPropertyList::PlaceStrip()
{
    // The labels side by side, centred in the strip's room.
    int total = -kStripSpacing;
    for (QLabel* label : std::as_const(m_stripLabels))
        total += label->width() + kStripSpacing;
    int x = std::max(0, (rectPropResultPages->width() - total) / 2);
    for (QLabel* label : std::as_const(m_stripLabels)) {
        label->move(x, (rectPropResultPages->height() - label->height()) / 2);
        x += label->width() + kStripSpacing;
    }
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
    if (watched == rectPropResultPages && event->type() == QEvent::Resize) {
        if (rectPropResultPages->width() != m_stripWidth)
            FillStrip();
        else
            PlaceStrip();
        return false;
    }
    if (watched == lstboxResult->viewport() && event->type() == QEvent::Resize) {
        const bool handled = QWidget::eventFilter(watched, event);
        // After the viewport has taken its new size, so that the page size reads it.
        QTimer::singleShot(0, this, &TPropertyList::ListResized);
        return handled;
    }
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

void TPropertyList::ListResized()
{
    if (m_filling || !m_result || m_result->RecordCount() == 0 || m_page <= 0)
        return;
    // The page that holds the remembered row at the new page size: the first row of the
    // page shown, or the row whose card was open.
    const int size = PageSize();
    const int page = CeilDiv(m_anchor, size);
    if (size != m_shownPageSize || page != m_page) {
        const int anchor = m_anchor;
        ShowPage(std::clamp(page, 1, PageCount(m_result->RecordCount(), size)));
        m_anchor = anchor;
    }
}

void TPropertyList::ShowRecord(int record)
{
    if (!m_result || record < 0 || record >= m_result->RecordCount())
        return;
    ShowPage(CeilDiv(record + 1, PageSize()));
    m_anchor = record + 1;
}
