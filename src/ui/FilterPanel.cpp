#include "ui/FilterPanel.h"

#include "core/Bugs.h"
#include "core/FormatSettings.h"
#include "core/MiscFunc.h"
#include "core/UserMessages.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "records/ClientSearch.h"
#include "records/PropertyTexts.h"
#include "search/NewMatches.h"
#include "search/StoredSearchText.h"
#include "sync/Session.h"
#include "ui/EditKinds.h"
#include "ui/Style.h"
#include "ui/TfrmFilterSave.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

struct TListButton {
    const char* name;
    QString caption;
};

// In list-number order.
const std::array<TListButton, FilterList::Count> kListButtons = {{
    {"btnFilterTipo", u"Tipo de ubicación"_s},
    {"btnFilterEdif", u"Edificación"_s},
    {"btnFilterSitu", u"Situación"_s},
    {"btnFilterEstado", u"Estado"_s},
    {"btnFilterInmo", u"Inmobiliaria"_s},
    {"btnFilterPais", u"País"_s},
    {"btnFilterProv", u"Provincia"_s},
    {"btnFilterPart", u"Partido"_s},
    {"btnFilterLoc", u"Localidad"_s},
    {"btnFilterZona", u"Zona"_s},
    {"btnFilterCalle", u"Calle"_s},
    {"btnFilterBarrio", u"Barrio cerrado"_s},
}};

// A key pause longer than this starts the type-ahead prefix afresh (7.5e-6 days).
constexpr qint64 kTypeAheadPauseMs = 648;

// The mark of a list button whose list has a choice.
QIcon SelectedIcon()
{
    static const QIcon icon = [] {
        QPixmap picture(14, 14);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Colors::AccentRed);
        painter.drawEllipse(QRectF(1, 1, 12, 12));
        painter.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(QPolygonF({QPointF(4, 7.5), QPointF(6.2, 9.8), QPointF(10, 4.8)}));
        return QIcon(picture);
    }();
    return icon;
}

QLineEdit* NumberEdit(const QString& name, int tag, int digits, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setProperty("tag", tag);
    edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    if (tag == 6) {
        edit->setMaxLength(digits);
    } else {
        // The field shows its number with thousands dots outside editing: room for the
        // dots, while the validator keeps the digits within their limit.
        edit->setMaxLength(digits + (digits - 1) / 3);
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(u"^\\.*([0-9]\\.*){0,%1}$"_s.arg(digits)), edit));
    }
    return edit;
}

qint64 NumberOf(const QLineEdit* edit)
{
    bool ok = false;
    const qint64 value = edit->text().remove(u'.').trimmed().toLongLong(&ok);
    return ok ? value : 0;
}

void SetNumber(QLineEdit* edit, qint64 value)
{
    const QSignalBlocker block(edit);
    if (value <= 0)
        edit->clear();
    else if (edit->property("tag").toInt() == 6 || edit->hasFocus())
        edit->setText(QString::number(value));
    else
        edit->setText(FormatThousands(double(value)));
}

QDateEdit* DateEdit(const QString& name, QWidget* parent)
{
    auto* edit = new QDateEdit(parent);
    edit->setObjectName(name);
    edit->setDisplayFormat(u"dd/MM/yyyy"_s);
    edit->setCalendarPopup(true);
    return edit;
}

QPushButton* Button(const QString& name, const QString& caption, QWidget* parent)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    return button;
}

} // namespace

TFilterPanel::TFilterPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(u"rectFilterPanel"_s);
    BuildControls();
    ConnectControls();
    Reset(true);
}

void TFilterPanel::BuildControls()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(6);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget(scroll);
    content->setObjectName(u"rectFilterContent"_s);
    scroll->setWidget(content);
    outer->addWidget(scroll, 1);

    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(6);
    BuildStoredSearchControls(content, column);

    // The twelve lists, two buttons a row; the shown list's button stays down.
    auto* lists = new QGridLayout;
    lists->setSpacing(3);
    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    for (int list = 1; list <= FilterList::Count; ++list) {
        const TListButton& spec = kListButtons[size_t(list - 1)];
        auto* button = Button(QString::fromLatin1(spec.name), spec.caption, content);
        button->setCheckable(true);
        button->setProperty("filterList", true);
        button->setIconSize(QSize(14, 14));
        group->addButton(button, list);
        m_listButtons[size_t(list - 1)] = button;
        lists->addWidget(button, (list - 1) / 2, (list - 1) % 2);
    }
    column->addLayout(lists);
    lstboxFilter1 = new QListWidget(content);
    lstboxFilter1->setObjectName(u"lstboxFilter1"_s);
    lstboxFilter1->setMinimumHeight(170);
    lstboxFilter1->setSelectionMode(QAbstractItemView::SingleSelection);
    lstboxFilter1->setUniformItemSizes(true);
    lstboxFilter1->installEventFilter(this);
    column->addWidget(lstboxFilter1, 1);

    auto* all = new QHBoxLayout;
    btnFilterSelectAll = Button(u"btnFilterSelectAll"_s, u"Seleccionar todo"_s, content);
    btnFilterDeselectAll = Button(u"btnFilterDeselectAll"_s, u"Deseleccionar todo"_s, content);
    all->addWidget(btnFilterSelectAll);
    all->addWidget(btnFilterDeselectAll);
    column->addLayout(all);

    // Ranges: caption, lower and upper bound.
    auto* ranges = new QGridLayout;
    ranges->setHorizontalSpacing(6);
    ranges->setVerticalSpacing(4);
    ranges->setColumnStretch(1, 1);
    ranges->setColumnStretch(2, 1);
    int row = 0;
    auto* desde = new QLabel(u"Desde"_s, content);
    auto* hasta = new QLabel(u"Hasta"_s, content);
    ranges->addWidget(desde, row, 1, Qt::AlignHCenter);
    ranges->addWidget(hasta, row, 2, Qt::AlignHCenter);
    ++row;

    const auto caption = [&](const QString& text) {
        auto* label = new QLabel(text, content);
        ranges->addWidget(label, row, 0);
        return label;
    };
    caption(u"Precio"_s);
    edtFilterPrecioDesde = NumberEdit(u"edtFilterPrecioDesde"_s, 1, 9, content);
    edtFilterPrecioHasta = NumberEdit(u"edtFilterPrecioHasta"_s, 1, 9, content);
    ranges->addWidget(edtFilterPrecioDesde, row, 1);
    ranges->addWidget(edtFilterPrecioHasta, row, 2);
    ++row;
    caption(u"Moneda"_s);
    cboFilterMoneda = new QComboBox(content);
    cboFilterMoneda->setObjectName(u"cboFilterMoneda"_s);
    ranges->addWidget(cboFilterMoneda, row, 1, 1, 2);
    ++row;

    const auto datePair = [&](const QString& text, const QString& from, const QString& to, QDateEdit*& lower,
                              QDateEdit*& upper) {
        caption(text);
        lower = DateEdit(from, content);
        upper = DateEdit(to, content);
        ranges->addWidget(lower, row, 1);
        ranges->addWidget(upper, row, 2);
        ++row;
    };
    datePair(u"Ingreso"_s, u"edtFilterIngresoDesde"_s, u"edtFilterIngresoHasta"_s, edtFilterIngresoDesde,
             edtFilterIngresoHasta);
    datePair(u"Modificado"_s, u"edtFilterModDesde"_s, u"edtFilterModHasta"_s, edtFilterModDesde, edtFilterModHasta);

    const auto numberPair = [&](const QString& text, const QString& stem, int tag, int digits, TRangeEdits& pair) {
        pair.Caption = caption(text);
        pair.From = NumberEdit(u"edtFilter%1Desde"_s.arg(stem), tag, digits, content);
        pair.To = NumberEdit(u"edtFilter%1Hasta"_s.arg(stem), tag, digits, content);
        ranges->addWidget(pair.From, row, 1);
        ranges->addWidget(pair.To, row, 2);
        ++row;
    };
    numberPair(u"Sup. Terreno"_s, u"Tno"_s, 1, 6, m_tno);
    numberPair(u"Sup. Cubierta"_s, u"Cub"_s, 1, 6, m_cub);
    numberPair(u"Dorm. / Desp."_s, u"Dorm"_s, 1, 2, m_dorm);
    numberPair(u"Ambientes"_s, u"Amb"_s, 1, 2, m_amb);
    numberPair(u"Baños"_s, u"Banos"_s, 1, 2, m_banos);
    numberPair(u"Plantas"_s, u"Plantas"_s, 1, 2, m_plantas);
    numberPair(u"Año"_s, u"Ano"_s, 6, 4, m_ano);
    column->addLayout(ranges);

    // The features, two a row, each box with its caption.
    auto* features = new QGridLayout;
    features->setHorizontalSpacing(6);
    features->setVerticalSpacing(4);
    const auto feature = [&](const QString& name, const QString& text, int index) {
        auto* box = new TTriStateBox(content);
        box->setObjectName(name);
        auto* label = new QLabel(text, content);
        label->setObjectName(u"lbl"_s + name.mid(3));
        label->setBuddy(box);
        features->addWidget(box, index / 2, (index % 2) * 2);
        features->addWidget(label, index / 2, (index % 2) * 2 + 1);
        return box;
    };
    chkFilterDepend = feature(u"chkFilterDepend"_s, u"Dependencias"_s, 0);
    chkFilterCochera = feature(u"chkFilterCochera"_s, u"Cochera"_s, 1);
    chkFilterTel = feature(u"chkFilterTel"_s, u"Teléfono"_s, 2);
    chkFilterAEstrenar = feature(u"chkFilterAEstrenar"_s, u"A estrenar"_s, 3);
    features->setColumnStretch(1, 1);
    features->setColumnStretch(3, 1);
    column->addLayout(features);

    column->addWidget(new QLabel(u"Con el texto"_s, content));
    edtFilterTexto = new QLineEdit(content);
    edtFilterTexto->setObjectName(u"edtFilterTexto"_s);
    edtFilterTexto->setProperty("tag", 3);
    edtFilterTexto->setMaxLength(255);
    column->addWidget(edtFilterTexto);

    chkFilterValoresEnCero = new QCheckBox(u"Mostrar valores en cero"_s, content);
    chkFilterValoresEnCero->setObjectName(u"chkFilterValoresEnCero"_s);
    column->addWidget(chkFilterValoresEnCero);

    btnFilterClipboard = Button(u"btnFilterClipboard"_s, QString(), content);
    btnFilterClipboard->hide();
    column->addWidget(btnFilterClipboard);

    // The action buttons stay in sight below the scrolled fields.
    auto* actions = new QHBoxLayout;
    actions->setContentsMargins(8, 0, 8, 8);
    btnFilterNew = Button(u"btnFilterNew"_s, u"Nuevo\nfiltro"_s, this);
    btnFilterApply = Button(u"btnFilterApply"_s, u"Aplicar\nfiltro"_s, this);
    btnFilterCancel = Button(u"btnFilterCancel"_s, u"Cancelar"_s, this);
    btnFilterApply->setDefault(true);
    QFont bold = btnFilterApply->font();
    bold.setBold(true);
    btnFilterApply->setFont(bold);
    actions->addWidget(btnFilterNew);
    actions->addWidget(btnFilterApply);
    actions->addWidget(btnFilterCancel);
    outer->addLayout(actions);

    // The button of the list on show stays pressed; the action buttons have two lines.
    setStyleSheet(u"QPushButton[filterList=\"true\"]:checked { background: #D0DFEA; border-color: #01548E; } "
                  u"QPushButton#btnFilterNew, QPushButton#btnFilterApply, QPushButton#btnFilterCancel "
                  u"{ min-height: 34px; }"_s);

    m_kinds = new TEditKindFilter(this);
    for (QLineEdit* edit :
         {edtFilterPrecioDesde, edtFilterPrecioHasta, m_tno.From, m_tno.To, m_cub.From, m_cub.To, m_dorm.From,
          m_dorm.To, m_amb.From, m_amb.To, m_banos.From, m_banos.To, m_plantas.From, m_plantas.To})
        m_kinds->Watch(edit, true);
    m_kinds->Watch(edtFilterTexto, false);
    // A year can only be judged once typed in full: the year fields drop non-digits as
    // they are typed and are checked when their editing ends.
    m_yearKinds = new TEditKindFilter(this);
    m_yearKinds->SetChecking([] { return false; });
    m_yearKinds->Watch(m_ano.From, false);
    m_yearKinds->Watch(m_ano.To, false);
}

void TFilterPanel::ConnectControls()
{
    for (int list = 1; list <= FilterList::Count; ++list)
        connect(m_listButtons[size_t(list - 1)], &QPushButton::clicked, this, [this, list] { ShowList(list); });
    connect(lstboxFilter1, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { ToggleEntry(lstboxFilter1->row(item)); });
    connect(btnFilterSelectAll, &QPushButton::clicked, this, &TFilterPanel::SelectAll);
    connect(btnFilterDeselectAll, &QPushButton::clicked, this, &TFilterPanel::DeselectAll);

    connect(edtFilterIngresoDesde, &QDateEdit::dateChanged, this, [this] { DateEdited(edtFilterIngresoDesde, true); });
    connect(edtFilterModDesde, &QDateEdit::dateChanged, this, [this] { DateEdited(edtFilterModDesde, true); });
    connect(edtFilterIngresoHasta, &QDateEdit::dateChanged, this, [this] { DateEdited(edtFilterIngresoHasta, false); });
    connect(edtFilterModHasta, &QDateEdit::dateChanged, this, [this] { DateEdited(edtFilterModHasta, false); });
    connect(m_ano.From, &QLineEdit::editingFinished, this, [this] { YearEditFinished(m_ano.From, true); });
    connect(m_ano.To, &QLineEdit::editingFinished, this, [this] { YearEditFinished(m_ano.To, false); });

    connect(btnFilterApply, &QPushButton::clicked, this, &TFilterPanel::ApplyClicked);
    connect(btnFilterNew, &QPushButton::clicked, this, [this] { Reset(true); });
    connect(btnFilterCancel, &QPushButton::clicked, this, [this] {
        Reset(true);
        LeaveClientView();
        lstboxStoredSrch->clearSelection();
        lstboxStoredSrch->setCurrentRow(-1);
        StoredSearchChosen();
        Q_EMIT Cancelled();
    });
    connect(lstboxStoredSrch, &QListWidget::itemSelectionChanged, this, &TFilterPanel::StoredSearchChosen);
    connect(lstboxStoredSrch, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { LoadStoredSearch(lstboxStoredSrch->row(item)); });
    connect(btnStoredSrchLoad, &QPushButton::clicked, this,
            [this] { LoadStoredSearch(lstboxStoredSrch->currentRow()); });
    connect(btnStoredSrchDel, &QPushButton::clicked, this, &TFilterPanel::DeleteStoredSearch);
    connect(btnFilterSave, &QPushButton::clicked, this, &TFilterPanel::SaveFilter);
    connect(btnFilterClipboard, &QPushButton::clicked, this, [this] {
        if (!m_clipboardCodes.isEmpty())
            Q_EMIT CodeListApply(m_clipboardCodes);
    });
}

void TFilterPanel::RefreshEnv()
{
    m_env = CurrentFilterEnv();
    const QDate base = FilterBaseDate();
    const QDate data = m_env.DataDate.isValid() && m_env.DataDate >= base ? m_env.DataDate : base;
    for (QDateEdit* edit : {edtFilterIngresoDesde, edtFilterIngresoHasta, edtFilterModDesde, edtFilterModHasta}) {
        const QSignalBlocker block(edit);
        edit->setDateRange(base, data);
    }
    const int index = cboFilterMoneda->currentIndex();
    const QSignalBlocker block(cboFilterMoneda);
    cboFilterMoneda->clear();
    for (const TCurrency& currency : LoadFilterCurrencies())
        cboFilterMoneda->addItem(currency.Name, currency.Code);
    cboFilterMoneda->setCurrentIndex(std::min(std::max(index, 0), cboFilterMoneda->count() - 1));
}

void TFilterPanel::DataChanged()
{
    const QDate before = m_env.DataDate;
    TFilterState state = State();
    const bool wasDefault =
        state == DefaultFilterState(m_env, true, LoadFilterList(FilterList::Estado, TFilterState()));
    if (wasDefault) {
        const int shown = m_shownList;
        Reset(true);
        ShowList(shown);
        return;
    }
    RefreshEnv();
    for (TFilterDates* dates : {&state.Ingreso, &state.Modificado})
        if (dates->To == before)
            dates->To = m_env.DataDate;
    if (state.Anio.To == before.year())
        state.Anio.To = m_env.DataYear();
    SetState(state);
}

void TFilterPanel::Reset(bool withDefaultEntries)
{
    RefreshEnv();
    const QList<TFilterEntry> estado =
        withDefaultEntries ? LoadFilterList(FilterList::Estado, TFilterState()) : QList<TFilterEntry>();
    m_shownList = FilterList::Estado;
    SetState(DefaultFilterState(m_env, withDefaultEntries, estado));
}

void TFilterPanel::SetState(const TFilterState& state)
{
    m_state = state;
    WriteFields(state);
    SetsChanged(true);
    ShowList(m_shownList);
}

TFilterState TFilterPanel::State() const
{
    TFilterState state = m_state;
    ReadFields(state);
    return state;
}

void TFilterPanel::WriteFields(const TFilterState& state)
{
    SetNumber(edtFilterPrecioDesde, state.Precio.From);
    SetNumber(edtFilterPrecioHasta, state.Precio.To);
    {
        const QSignalBlocker block(cboFilterMoneda);
        cboFilterMoneda->setCurrentIndex(state.Moneda >= 0 && state.Moneda < cboFilterMoneda->count() ? state.Moneda
                                                                                                      : 0);
    }
    const auto setDate = [](QDateEdit* edit, const QDate& date, const QDate& fallback) {
        const QSignalBlocker block(edit);
        edit->setDate(date.isValid() ? date : fallback);
    };
    setDate(edtFilterIngresoDesde, state.Ingreso.From, FilterBaseDate());
    setDate(edtFilterIngresoHasta, state.Ingreso.To, m_env.DataDate);
    setDate(edtFilterModDesde, state.Modificado.From, FilterBaseDate());
    setDate(edtFilterModHasta, state.Modificado.To, m_env.DataDate);
    const auto setRange = [](const TRangeEdits& pair, const TFilterRange& range) {
        SetNumber(pair.From, range.From);
        SetNumber(pair.To, range.To);
    };
    setRange(m_tno, state.SupTno);
    setRange(m_cub, state.SupCub);
    setRange(m_dorm, state.Dormitorios);
    setRange(m_amb, state.Ambientes);
    setRange(m_banos, state.Banos);
    setRange(m_plantas, state.Plantas);
    setRange(m_ano, state.Anio);
    chkFilterDepend->SetTriState(state.Dependencias);
    chkFilterCochera->SetTriState(state.Cochera);
    chkFilterTel->SetTriState(state.Telefono);
    chkFilterAEstrenar->SetTriState(state.AEstrenar);
    {
        const QSignalBlocker block(edtFilterTexto);
        edtFilterTexto->setText(state.Texto);
    }
    const QSignalBlocker block(chkFilterValoresEnCero);
    chkFilterValoresEnCero->setChecked(state.EnCero);
}

void TFilterPanel::ReadFields(TFilterState& state) const
{
    state.Precio = {NumberOf(edtFilterPrecioDesde), NumberOf(edtFilterPrecioHasta)};
    state.Moneda = std::max(cboFilterMoneda->currentIndex(), 0);
    state.Ingreso = {edtFilterIngresoDesde->date(), edtFilterIngresoHasta->date()};
    state.Modificado = {edtFilterModDesde->date(), edtFilterModHasta->date()};
    const auto range = [](const TRangeEdits& pair) { return TFilterRange{NumberOf(pair.From), NumberOf(pair.To)}; };
    state.SupTno = range(m_tno);
    state.SupCub = range(m_cub);
    state.Dormitorios = range(m_dorm);
    state.Ambientes = range(m_amb);
    state.Banos = range(m_banos);
    state.Plantas = range(m_plantas);
    state.Anio = range(m_ano);
    state.Dependencias = chkFilterDepend->Value();
    state.Cochera = chkFilterCochera->Value();
    state.Telefono = chkFilterTel->Value();
    state.AEstrenar = chkFilterAEstrenar->Value();
    state.Texto = edtFilterTexto->text();
    state.EnCero = chkFilterValoresEnCero->isChecked();
}

void TFilterPanel::ShowList(int list)
{
    if (list < 1 || list > FilterList::Count)
        return;
    m_shownList = list;
    m_listButtons[size_t(list - 1)]->setChecked(true);
    m_typeAhead.clear();

    // Clicks and keys that arrive while the list refills must not toggle anything.
    m_filling = true;
    const QSignalBlocker block(lstboxFilter1);
    lstboxFilter1->clear();
    const bool enabled = IsFilterListEnabled(m_state, list);
    if (enabled) {
        m_entries = LoadFilterList(list, m_state);
        for (const TFilterEntry& entry : m_entries) {
            auto* item = new QListWidgetItem(entry.Text, lstboxFilter1);
            item->setData(Qt::UserRole, entry.Code);
        }
        for (int position = 0; position < m_entries.size(); ++position)
            PaintEntry(position);
    } else {
        m_entries.clear();
        const QStringList lines =
            list == FilterList::Calle
                ? QStringList{u"No se pueden seleccionar calles si en \"Tipo de ubicación\""_s,
                              u"ha seleccionado \"Propiedades en Barrios Cerrados\"."_s}
                : QStringList{u"No se pueden seleccionar barrios cerrados si en \"Tipo de ubicación\""_s,
                              u"ha seleccionado \"Propiedades a la Calle\". "_s};
        for (const QString& line : lines)
            new QListWidgetItem(line, lstboxFilter1);
    }
    lstboxFilter1->setEnabled(enabled);
    lstboxFilter1->setWordWrap(!enabled);
    btnFilterSelectAll->setEnabled(enabled && list != FilterList::Ubicacion && list != FilterList::Estado);
    btnFilterDeselectAll->setEnabled(enabled);
    if (lstboxFilter1->count() > 0)
        lstboxFilter1->setCurrentRow(0);
    m_filling = false;
}

void TFilterPanel::PaintEntry(int position)
{
    QListWidgetItem* item = lstboxFilter1->item(position);
    if (!item)
        return;
    const bool checked = m_state.Set(m_shownList).contains(position);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    QFont font = lstboxFilter1->font();
    font.setBold(checked);
    item->setFont(font);
    item->setForeground(checked ? Colors::AccentRed : QColor(Qt::black));
}

void TFilterPanel::ToggleEntry(int position)
{
    if (m_filling || position < 0 || position >= m_entries.size() || !lstboxFilter1->isEnabled())
        return;
    ToggleFilterEntry(m_state, m_shownList, position, m_entries[position].Code);
    SetsChanged(m_shownList == FilterList::Ubicacion || m_shownList == FilterList::Edificacion);
}

void TFilterPanel::SelectAll()
{
    if (SelectAllFilterEntries(m_state, m_shownList, m_entries))
        SetsChanged(m_shownList == FilterList::Edificacion);
}

void TFilterPanel::DeselectAll()
{
    if (!IsFilterListEnabled(m_state, m_shownList))
        return;
    DeselectAllFilterEntries(m_state, m_shownList);
    SetsChanged(m_shownList == FilterList::Ubicacion || m_shownList == FilterList::Edificacion);
}

void TFilterPanel::SetsChanged(bool buildingTypesChanged)
{
    for (int position = 0; position < m_entries.size(); ++position)
        PaintEntry(position);
    UpdateListButtons();
    if (buildingTypesChanged)
        UpdateFeatureFields();
}

void TFilterPanel::UpdateListButtons()
{
    for (int list = 1; list <= FilterList::Count; ++list) {
        QPushButton* button = m_listButtons[size_t(list - 1)];
        const bool chosen = !m_state.Set(list).empty();
        QFont font = button->font();
        font.setBold(chosen);
        button->setFont(font);
        button->setIcon(chosen ? SelectedIcon() : QIcon());
        button->setProperty("selected", chosen);
    }
}

void TFilterPanel::UpdateFeatureFields()
{
    const QList<int> types = m_state.Codes(FilterList::Edificacion);
    const auto applies = [&](const QString& key) {
        return types.isEmpty() ||
               std::any_of(types.begin(), types.end(), [&](int type) { return FieldApplies(key, type); });
    };
    const struct {
        QString key;
        const TRangeEdits* pair;
    } pairs[] = {{u"Dormitorios"_s, &m_dorm},  {u"Ambientes"_s, &m_amb},   {u"Baños"_s, &m_banos},
                 {u"Sup. Cubierta"_s, &m_cub}, {u"Plantas"_s, &m_plantas}, {u"Año"_s, &m_ano}};
    for (const auto& p : pairs) {
        const bool enabled = applies(p.key);
        p.pair->From->setEnabled(enabled);
        p.pair->To->setEnabled(enabled);
        p.pair->Caption->setEnabled(enabled);
        if (!enabled) {
            SetNumber(p.pair->From, 0);
            SetNumber(p.pair->To, p.pair == &m_ano ? m_env.DataYear() : 0);
        }
    }
    const struct {
        QString key;
        TTriStateBox* box;
    } boxes[] = {{u"Dependencias"_s, chkFilterDepend},
                 {u"Cochera"_s, chkFilterCochera},
                 {u"Teléfono"_s, chkFilterTel},
                 {u"A estrenar"_s, chkFilterAEstrenar}};
    for (const auto& b : boxes) {
        const bool enabled = applies(b.key);
        b.box->setEnabled(enabled);
        if (auto* label = findChild<QLabel*>(u"lbl"_s + b.box->objectName().mid(3)))
            label->setEnabled(enabled);
        if (!enabled)
            b.box->SetTriState(-1);
    }
}

void TFilterPanel::TypeAhead(QChar c)
{
    if (!m_typeAheadClock.isValid() || m_typeAheadClock.elapsed() > kTypeAheadPauseMs)
        m_typeAhead.clear();
    m_typeAheadClock.start();
    m_typeAhead += c;
    const QString prefix = m_typeAhead.toUpper();
    for (int row = 0; row < lstboxFilter1->count(); ++row)
        if (lstboxFilter1->item(row)->text().toUpper().startsWith(prefix)) {
            lstboxFilter1->setCurrentRow(row);
            lstboxFilter1->scrollToItem(lstboxFilter1->item(row));
            return;
        }
}

bool TFilterPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lstboxFilter1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        if (text.size() == 1 && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            const QChar c = text[0];
            if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) {
                TypeAhead(c);
                return true;
            }
            if (c == u' ') {
                ToggleEntry(lstboxFilter1->currentRow());
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFilterPanel::DateEdited(QDateEdit* edit, bool lowerBound)
{
    const QDate date = edit->date();
    const QSignalBlocker block(edit);
    if (lowerBound && (!date.isValid() || date < FilterBaseDate()))
        edit->setDate(FilterBaseDate());
    else if (!lowerBound && (!date.isValid() || date > m_env.DataDate))
        edit->setDate(m_env.DataDate);
}

void TFilterPanel::YearEditFinished(QLineEdit* edit, bool lowerBound)
{
    const QString text = edit->text().trimmed();
    if (text.isEmpty() ? lowerBound : KindAcceptsText(6, text, 4))
        return;
    const QSignalBlocker block(edit);
    if (lowerBound)
        edit->clear();
    else
        edit->setText(QString::number(m_env.DataYear()));
}

void TFilterPanel::ApplyClicked()
{
    // Moving the focus lets the field being edited finish (thousands, year check).
    edtFilterPrecioDesde->setFocus();
    QApplication::processEvents();

    Q_EMIT Applying();
    RefreshEnv();
    TFilterState state = State();
    NormaliseFilter(state, m_env);
    m_state = state;
    WriteFields(state);
    UpdateFeatureFields();
    if (!IsSearchableText(state.Texto)) {
        ShowInformation(
            u"El texto a buscar en la descripción tiene caracteres que no se pueden buscar o es "
            u"demasiado largo (hasta %1 caracteres). Corríjalo e intente nuevamente."_s.arg(kFilterTextMax));
        edtFilterTexto->setFocus();
        return;
    }
    if (!IsFilterActive(state, m_env)) {
        ShowInformation(u"El filtro está vacío: elija al menos un criterio antes de aplicarlo."_s);
        return;
    }
    TFilterQuery query;
    try {
        query = BuildFilterStatement(state, m_env);
    } catch (const std::exception& e) {
        WriteLog(u"$8004"_s, QString::fromUtf8(e.what()));
        return;
    }
    Q_EMIT Apply(query);
}

void TFilterPanel::ExamineClipboard()
{
    const QClipboard* clipboard = QApplication::clipboard();
    m_clipboardCodes = clipboard ? ClipboardCodeList(clipboard->text()) : QString();
    if (m_clipboardCodes.isEmpty()) {
        btnFilterClipboard->hide();
        return;
    }
    const int count = int(m_clipboardCodes.count(u',')) + 1;
    btnFilterClipboard->setText(count == 1 ? u"Ver la propiedad copiada"_s
                                           : u"Ver las %1 propiedades copiadas"_s.arg(count));
    btnFilterClipboard->setToolTip(m_clipboardCodes);
    btnFilterClipboard->show();
}

// --- Stored searches ------------------------------------------------------------------------

namespace {

const QString kStoredCaption = u"Búsquedas guardadas"_s;
const QString kClientPrefix = u"Búsqueda para "_s;
const QString kEmptyFilterSave = u"El filtro está vacío: elija al menos un criterio antes de guardarlo."_s;
const QString kClientSaved = u"La búsqueda del cliente se guardó correctamente."_s;
const QString kClientSaveFailed = u"No se pudo guardar la búsqueda del cliente."_s;
const QString kDeleteQuestion = u"¿Desea eliminar la búsqueda guardada \"%1\"?"_s;
const QString kDeleteFailed = u"No se pudo eliminar la búsqueda guardada."_s;
const QString kLoadFailed = u"Error al cargar el filtro almacenado."_s;
const QString kSearchGone = u"La búsqueda ya no existe: puede haber sido eliminada en otro equipo."_s;
const QString kDateCaption = u"Guardada el "_s;
const QString kUserCaption = u"Por "_s;

// The two pictures of the list: a funnel for the user's own searches, a person for a
// client's.
QPixmap StoredPicture(bool client)
{
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Colors::ServiceBlue);
    if (client) {
        painter.drawEllipse(QRectF(5, 1.5, 6, 6));
        painter.drawRoundedRect(QRectF(2.5, 9, 11, 6), 3, 3);
    } else {
        painter.drawPolygon(QPolygonF({QPointF(1.5, 2), QPointF(14.5, 2), QPointF(9.5, 8.5), QPointF(9.5, 14),
                                       QPointF(6.5, 12.5), QPointF(6.5, 8.5)}));
    }
    return picture;
}

// The stored-search rows are drawn by their own widgets: the list paints only the row's
// background and its selection beneath them, never the item's text a second time.
class TRowBackgroundDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem background = option;
        initStyleOption(&background, index);
        background.text.clear();
        background.icon = QIcon();
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);
    }
};

} // namespace

void TFilterPanel::BuildStoredSearchControls(QWidget* content, QVBoxLayout* column)
{
    layoutStoredSrch = new QWidget(content);
    layoutStoredSrch->setObjectName(u"layoutStoredSrch"_s);
    auto* stored = new QVBoxLayout(layoutStoredSrch);
    stored->setContentsMargins(0, 0, 0, 0);
    stored->setSpacing(4);
    auto* caption = new QLabel(kStoredCaption, layoutStoredSrch);
    caption->setObjectName(u"lblStoredSrch"_s);
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    stored->addWidget(caption);
    lstboxStoredSrch = new QListWidget(layoutStoredSrch);
    lstboxStoredSrch->setObjectName(u"lstboxStoredSrch"_s);
    lstboxStoredSrch->setSelectionMode(QAbstractItemView::SingleSelection);
    lstboxStoredSrch->setFixedHeight(118);
    lstboxStoredSrch->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lstboxStoredSrch->setItemDelegate(new TRowBackgroundDelegate(lstboxStoredSrch));
    stored->addWidget(lstboxStoredSrch);
    column->addWidget(layoutStoredSrch);

    // The client view: whose search is on show, when and by whom it was stored.
    layoutFilterClient = new QWidget(content);
    layoutFilterClient->setObjectName(u"layoutFilterClient"_s);
    auto* client = new QVBoxLayout(layoutFilterClient);
    client->setContentsMargins(8, 6, 8, 6);
    client->setSpacing(2);
    auto* clientCaption = new QLabel(u"Búsqueda del cliente"_s, layoutFilterClient);
    clientCaption->setObjectName(u"lblFilterCliCaption"_s);
    lblFilterCliName = new QLabel(layoutFilterClient);
    lblFilterCliName->setObjectName(u"lblFilterCliName"_s);
    QFont large = bold;
    if (large.pointSize() > 0)
        large.setPointSize(large.pointSize() + 2);
    else
        large.setPixelSize(large.pixelSize() + 3);
    lblFilterCliName->setFont(large);
    lblFilterCliName->setWordWrap(true);
    lblFilterCliDate = new QLabel(layoutFilterClient);
    lblFilterCliDate->setObjectName(u"lblFilterCliDate"_s);
    lblFilterCliUser = new QLabel(layoutFilterClient);
    lblFilterCliUser->setObjectName(u"lblFilterCliUser"_s);
    lblFilterCliUser->setWordWrap(true);
    for (QLabel* label : {clientCaption, lblFilterCliName, lblFilterCliDate, lblFilterCliUser})
        client->addWidget(label);
    layoutFilterClient->setStyleSheet(
        u"QWidget#layoutFilterClient { background: #E8F0F6; border: 1px solid #01548E; border-radius: 4px; }"_s);
    layoutFilterClient->hide();
    column->addWidget(layoutFilterClient);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    btnFilterSave = Button(u"btnFilterSave"_s, u"Guardar filtro"_s, content);
    btnStoredSrchLoad = Button(u"btnStoredSrchLoad"_s, u"Cargar"_s, content);
    btnStoredSrchDel = Button(u"btnStoredSrchDel"_s, u"Eliminar"_s, content);
    btnFilterSave->setToolTip(u"Guarda el filtro actual como una búsqueda"_s);
    btnStoredSrchLoad->setToolTip(u"Carga en el filtro la búsqueda elegida"_s);
    btnStoredSrchDel->setToolTip(u"Elimina la búsqueda elegida"_s);
    buttons->addWidget(btnFilterSave, 1);
    buttons->addWidget(btnStoredSrchLoad);
    buttons->addWidget(btnStoredSrchDel);
    column->addLayout(buttons);
    StoredSearchChosen();
}

void TFilterPanel::RefreshStoredSearches(bool keepChoice)
{
    const int previous = lstboxStoredSrch->currentRow();
    const bool keep =
        keepChoice && previous >= 0 && lstboxStoredSrch->currentItem() && lstboxStoredSrch->currentItem()->isSelected();
    const std::pair<int, int> chosen = keep && previous < m_stored.size()
                                           ? std::pair{m_stored[previous].Kind, m_stored[previous].Code}
                                           : std::pair{0, 0};
    const QSignalBlocker block(lstboxStoredSrch);
    lstboxStoredSrch->clear();
    m_stored.clear();
    if (!DB() || !ListStoredSearches(CurrentAgencyCode(), SessionUserCode, m_stored))
        m_stored.clear();
    const TNewMatchCounts counts = DB() ? NewMatchCounts(CurrentAgencyCode()) : TNewMatchCounts();
    static const QPixmap own = StoredPicture(false);
    static const QPixmap client = StoredPicture(true);
    try {
        for (int row = 0; row < m_stored.size(); ++row) {
            const TStoredSrchData& entry = m_stored[row];
            const QString text = entry.Kind == SrchClient ? kClientPrefix + entry.Name : entry.Name;
            auto* item = new QListWidgetItem(text, lstboxStoredSrch);
            item->setData(Qt::UserRole, entry.Code);
            item->setToolTip(text);
            // The row is drawn by its widget (picture, name, new matches); the item keeps the
            // text for the keyboard's type-ahead and for whoever reads the list.
            auto* line = new QWidget;
            line->setObjectName(u"itemBusquedasFiltro"_s);
            auto* layout = new QHBoxLayout(line);
            layout->setContentsMargins(4, 1, 4, 1);
            layout->setSpacing(6);
            auto* picture = new QLabel(line);
            picture->setObjectName(entry.Kind == SrchClient ? u"imgFilterStoredCli"_s : u"imgFilterStoredFil"_s);
            picture->setPixmap(entry.Kind == SrchClient ? client : own);
            auto* name = new QLabel(line);
            name->setObjectName(u"lblStoredSrchName"_s);
            name->setText(name->fontMetrics().elidedText(text, Qt::ElideRight, 230));
            layout->addWidget(picture);
            layout->addWidget(name, 1);
            const int fresh = counts.value({entry.Kind, entry.Code});
            if (fresh > 0) {
                auto* news = new QPushButton(fresh == 1 ? u"1 nueva"_s : u"%1 nuevas"_s.arg(fresh), line);
                news->setObjectName(u"btnStoredSrchNew"_s);
                news->setToolTip(u"Ver las propiedades nuevas para esta búsqueda"_s);
                news->setCursor(Qt::PointingHandCursor);
                news->setStyleSheet(u"QPushButton { background: #F81C1C; color: white; border: none; "
                                    u"border-radius: 8px; padding: 1px 8px; font-weight: bold; }"_s);
                name->setText(name->fontMetrics().elidedText(text, Qt::ElideRight, 230 - news->sizeHint().width() - 6));
                connect(news, &QPushButton::clicked, this, [this, row] { ShowNewMatches(row); });
                layout->addWidget(news);
            }
            item->setSizeHint(QSize(0, std::max(line->sizeHint().height(), 24)));
            lstboxStoredSrch->setItemWidget(item, line);
        }
    } catch (const std::exception& e) {
        WriteLog(u"$2044"_s, QString::fromUtf8(e.what()));
        FatalError(kLoadFailed);
        return;
    }
    // Nothing stays chosen after a new list, unless asked to keep the user's choice (new
    // alert counts must not take it away).
    for (int row = 0; row < m_stored.size() && chosen.first != 0; ++row)
        if (m_stored[row].Kind == chosen.first && m_stored[row].Code == chosen.second)
            lstboxStoredSrch->setCurrentRow(row);
    if (chosen.first == 0)
        lstboxStoredSrch->setCurrentRow(-1);
    StoredSearchChosen();
}

void TFilterPanel::ResetStoredSearches()
{
    LeaveClientView();
    lstboxStoredSrch->setCurrentRow(-1);
    RefreshStoredSearches();
}

void TFilterPanel::StoredSearchChosen()
{
    // The chosen row's name in the selection's text colour, like any list's.
    for (int row = 0; row < lstboxStoredSrch->count(); ++row)
        if (QWidget* line = lstboxStoredSrch->itemWidget(lstboxStoredSrch->item(row)))
            if (auto* name = line->findChild<QLabel*>(u"lblStoredSrchName"_s))
                name->setForegroundRole(lstboxStoredSrch->item(row)->isSelected() ? QPalette::HighlightedText
                                                                                  : QPalette::WindowText);
    QListWidgetItem* item = lstboxStoredSrch->currentItem();
    const bool chosen = item && item->isSelected() && lstboxStoredSrch->currentRow() < m_stored.size();
    btnStoredSrchLoad->setEnabled(chosen);
    btnStoredSrchDel->setEnabled(chosen);
}

bool TFilterPanel::ApplyStoredText(const QString& parameters)
{
    const QString problem = StoredSearchTextProblem(parameters);
    if (!problem.isEmpty()) {
        WriteLog(u"$2045"_s, u"Stored search refused: "_s + parameters.left(300));
        ShowError(problem);
        return false;
    }
    RefreshEnv();
    TFilterState state = ApplySearchParameters(parameters, m_env);
    m_shownList = FilterList::Estado;
    SetState(state);
    return true;
}

void TFilterPanel::LoadStoredSearch(int row)
{
    if (row < 0 || row >= m_stored.size())
        return;
    const TStoredSrchData entry = m_stored[row];
    Reset(false);
    QString parameters;
    if (entry.Kind == SrchClient) {
        TClientSearch search;
        if (!ReadClientSearch(CurrentAgencyCode(), entry.Code, search)) {
            LeaveClientView();
            ShowError(kSearchGone);
            RefreshStoredSearches();
            return;
        }
        m_client = {true, entry.Code, entry.Name, search.Date, search.UserName};
        parameters = search.Parameters;
    } else {
        LeaveClientView();
        if (!ReadStoredSearchParameters(entry.Code, parameters))
            parameters.clear();
    }
    RefreshClientHeader();
    ApplyStoredText(parameters);
    lstboxStoredSrch->setCurrentRow(row);
    StoredSearchChosen();
}

void TFilterPanel::OpenClientView(int clientCode, const QString& clientName)
{
    Reset(false);
    TClientSearch search;
    if (!ReadClientSearch(CurrentAgencyCode(), clientCode, search)) {
        ShowError(kSearchGone);
        return;
    }
    // A client without a search yet: the name says so until the first one is saved.
    const bool none = search.Parameters.isEmpty();
    m_client = {true, clientCode, none ? clientName + u" *"_s : clientName, search.Date, search.UserName};
    RefreshClientHeader();
    if (!none)
        ApplyStoredText(search.Parameters);
}

void TFilterPanel::LeaveClientView()
{
    m_client = {};
    RefreshClientHeader();
}

void TFilterPanel::RefreshClientHeader()
{
    layoutFilterClient->setVisible(m_client.Active);
    layoutStoredSrch->setVisible(!m_client.Active);
    if (!m_client.Active)
        return;
    lblFilterCliName->setText(m_client.Name);
    lblFilterCliDate->setText(
        m_client.Date.isValid() ? kDateCaption + FormatDateTimeText(u"dd/mm/yyyy hh:nn"_s, m_client.Date) : QString());
    lblFilterCliUser->setText(m_client.User.isEmpty() ? QString() : kUserCaption + m_client.User);
    lblFilterCliDate->setVisible(m_client.Date.isValid());
    lblFilterCliUser->setVisible(!m_client.User.isEmpty());
}

void TFilterPanel::SaveFilter()
{
    // Moving the focus lets the field being edited finish, as for "Aplicar".
    btnFilterSave->setFocus();
    QApplication::processEvents();
    RefreshEnv();
    TFilterState state = State();
    NormaliseFilter(state, m_env);
    m_state = state;
    WriteFields(state);
    UpdateFeatureFields();
    if (!IsFilterActive(state, m_env)) {
        ShowInformation(kEmptyFilterSave);
        return;
    }
    if (!IsSearchableText(state.Texto)) {
        ShowInformation(
            u"El texto a buscar en la descripción tiene caracteres que no se pueden buscar o es "
            u"demasiado largo (hasta %1 caracteres). Corríjalo e intente nuevamente."_s.arg(kFilterTextMax));
        edtFilterTexto->setFocus();
        return;
    }
    if (const QString problem = StoredSearchSaveProblem(state.Texto); !problem.isEmpty()) {
        ShowInformation(problem);
        edtFilterTexto->setFocus();
        return;
    }
    const QString parameters = ComposeSearchParameters(state, m_env);
    if (parameters.isEmpty()) {
        FatalError(FilterSaveText::SaveFailed);
        return;
    }
    const int agency = CurrentAgencyCode();
    if (m_client.Active) {
        if (!WriteClientSearch(agency, m_client.Code, parameters, SessionUserCode)) {
            FatalError(kClientSaveFailed);
            return;
        }
        ClearNewMatches(agency, SrchClient, m_client.Code);
        ShowInformation(kClientSaved);
        TClientSearch search;
        ReadClientSearch(agency, m_client.Code, search);
        if (const qsizetype mark = m_client.Name.indexOf(u" *"_s); mark >= 0)
            m_client.Name.remove(mark, 2);
        m_client.Date = search.Date.isValid() ? search.Date : QDateTime::currentDateTime();
        m_client.User = search.UserName;
        RefreshClientHeader();
        RefreshStoredSearches();
        return;
    }
    std::unique_ptr<TfrmFilterSave> own;
    TfrmFilterSave* dialog = FilterSaveDialog();
    if (!dialog) {
        own = std::make_unique<TfrmFilterSave>(window());
        dialog = own.get();
    }
    if (!dialog->Execute(parameters, agency, SessionUserCode, window()))
        return;
    // A replaced search's old matches no longer stand for what it searches now.
    if (dialog->SavedCode() != 0)
        ClearNewMatches(agency, dialog->SavedKind(), dialog->SavedCode());
    RefreshStoredSearches();
}

void TFilterPanel::DeleteStoredSearch()
{
    const int row = lstboxStoredSrch->currentRow();
    if (row < 0 || row >= m_stored.size())
        return;
    const TStoredSrchData entry = m_stored[row];
    const QString shown = entry.Kind == SrchClient ? kClientPrefix + entry.Name : entry.Name;
    if (!AskConfirmation(kDeleteQuestion.arg(shown)))
        return;
    Reset(true);
    const int agency = CurrentAgencyCode();
    bool deleted = false;
    try {
        // The matches go first: afterwards the search's row may be gone, and with it the key.
        ClearNewMatches(agency, entry.Kind, entry.Code);
        deleted = entry.Kind == SrchClient ? ClearClientSearch(agency, entry.Code)
                                           : ::DeleteStoredSearch(entry.Code, agency, SessionUserCode);
    } catch (const std::exception& e) {
        WriteLog(u"$2048"_s, QString::fromUtf8(e.what()));
        FatalError(kDeleteFailed);
        return;
    }
    if (!deleted) {
        ShowError(kDeleteFailed);
        return;
    }
    if (m_client.Active && entry.Kind == SrchClient && m_client.Code == entry.Code)
        LeaveClientView();
    lstboxStoredSrch->setCurrentRow(-1);
    RefreshStoredSearches();
}

void TFilterPanel::ShowNewMatches(int row)
{
    if (row < 0 || row >= m_stored.size())
        return;
    const TStoredSrchData entry = m_stored[row];
    const int agency = CurrentAgencyCode();
    const QString codes = NewMatchCodes(agency, entry.Kind, entry.Code);
    // Seen once shown: the count goes, the properties stay where they are.
    ClearNewMatches(agency, entry.Kind, entry.Code);
    RefreshStoredSearches();
    if (!codes.isEmpty())
        Q_EMIT CodeListApply(codes);
}
