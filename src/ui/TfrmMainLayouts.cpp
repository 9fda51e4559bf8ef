// The sections whose own behaviour comes with later work: their controls exist under
// their names, empty, so the shell can show, size and switch them already.
#include "ui/TfrmMain.h"

#include "core/MiscFunc.h"
#include "core/UserMessages.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "search/Marks.h"
#include "ui/EditKinds.h"
#include "ui/FilterPanel.h"
#include "ui/PropertyCard.h"
#include "ui/PropertyList.h"
#include "ui/Style.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// Page Up and Page Down step through the properties also where the focus is on a control
// that would otherwise scroll with them (the result list, the card's description); on
// the list Home and End go to the first and the last page.
class TPropertyKeys : public QObject {
public:
    TPropertyKeys(TfrmMain* window, QWidget* list, QWidget* description)
        : QObject(window), m_window(window), m_list(list)
    {
        list->installEventFilter(this);
        description->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier))
            return false;
        int step = -1;
        switch (key->key()) {
        case Qt::Key_PageUp:
            step = TfrmMain::StepPrevious;
            break;
        case Qt::Key_PageDown:
            step = TfrmMain::StepNext;
            break;
        case Qt::Key_Home:
            step = watched == m_list ? TfrmMain::StepFirst : -1;
            break;
        case Qt::Key_End:
            step = watched == m_list ? TfrmMain::StepLast : -1;
            break;
        default:
            break;
        }
        if (step < 0 || !m_window->layoutProps->isVisible())
            return false;
        Q_EMIT m_window->PropertyStep(step);
        return true;
    }

private:
    TfrmMain* m_window;
    QObject* m_list;
};

QWidget* NamedControl(QWidget* parent, const QString& name)
{
    QWidget* w = nullptr;
    if (name.startsWith(u"btn"_s))
        w = new QPushButton(name.mid(3), parent);
    else if (name.startsWith(u"edt"_s))
        w = new QLineEdit(parent);
    else if (name.startsWith(u"cbo"_s))
        w = new QComboBox(parent);
    else if (name.startsWith(u"chk"_s))
        w = new QCheckBox(parent);
    else if (name.startsWith(u"lstbox"_s))
        w = new QListWidget(parent);
    else if (name.startsWith(u"mmo"_s))
        w = new QPlainTextEdit(parent);
    else if (name.startsWith(u"tabs"_s))
        w = new QTabWidget(parent);
    else if (name.startsWith(u"radio"_s))
        w = new QRadioButton(parent);
    else if (name.startsWith(u"pbar"_s))
        w = new QProgressBar(parent);
    else if (name.startsWith(u"rect"_s) || name.startsWith(u"layout"_s))
        w = new QWidget(parent);
    else
        w = new QLabel(parent);
    w->setObjectName(name);
    return w;
}

// Lists go in the wide column on the left; the rest in a grid beside them.
void AddNamedControls(QWidget* section, const QStringList& names)
{
    auto* body = new QWidget(section);
    body->setObjectName(section->objectName() + u"Body"_s);
    auto* row = new QHBoxLayout(body);
    row->setContentsMargins(0, 0, 0, 0);
    auto* lists = new QVBoxLayout;
    auto* side = new QWidget(body);
    auto* grid = new QGridLayout(side);
    int at = 0;
    for (const QString& name : names) {
        QWidget* control = NamedControl(body, name);
        if (qobject_cast<QListWidget*>(control) || qobject_cast<QPlainTextEdit*>(control)) {
            lists->addWidget(control, 1);
            continue;
        }
        control->setParent(side);
        if (qobject_cast<QLabel*>(control) || qobject_cast<QPushButton*>(control)) {
            grid->addWidget(control, at, 0, 1, 2);
        } else {
            auto* caption = new QLabel(name.mid(3), side);
            caption->setObjectName(u"cap"_s + name);
            SetStyleRole(caption, u"subtitle"_s);
            grid->addWidget(caption, at, 0);
            grid->addWidget(control, at, 1);
        }
        ++at;
    }
    grid->setRowStretch(at, 1);
    auto* scroll = new QScrollArea(body);
    scroll->setWidget(side);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    row->addLayout(lists, 3);
    row->addWidget(scroll, 2);
    static_cast<QVBoxLayout*>(section->layout())->addWidget(body, 1);
}

} // namespace

void TfrmMain::OpenCard(int record)
{
    TResultSet* rows = PropertyList->ResultSet();
    if (!rows || record < 0 || record >= rows->RecordCount())
        return;
    rows->Seek(record);
    const qint64 code = rows->AsInt64(u"Prop_Codigo"_s);
    if (ResultMode != TRMFicha) {
        PreviousResultMode = PropertyList->CurrentMode();
        ResultMode = TRMFicha;
    }
    PropertyList->hide();
    layoutProps->findChild<QWidget*>(u"rectFilter"_s)->hide();
    PropertyCard->show();
    btnPropCardBack->show();
    // Cards seen while dimming is on fade in the lists.
    if (ReadSetting(Setting::MarkVisitedProps) == u"True"_s)
        Marks().Visit(code);
    PropertyCard->ShowProperty(code);
    PropertyCard->SetNavigation(record + 1, rows->RecordCount());
}

void TfrmMain::AskAboutMarks()
{
    if (Marks().Count() > 0 &&
        !AskConfirmation(u"¿Desea conservar las propiedades marcadas para la nueva búsqueda?"_s)) {
        Marks().Clear();
        RefreshMarksCounter(0);
    }
}

void TfrmMain::RefreshMarksCounter(int count)
{
    lblBtnPropMarks2->setText(PluralText(u"%s propiedad"_s, u"%s propiedades"_s, count));
    btnSLPropMarks->setEnabled(count > 0);
}

void TfrmMain::CloseCard()
{
    if (ResultMode != TRMFicha)
        return;
    PropertyCard->hide();
    btnPropCardBack->hide();
    PropertyList->show();
    layoutProps->findChild<QWidget*>(u"rectFilter"_s)->show();
    ResultMode = PreviousResultMode;
    // The list opens again on the page of the card's property, and keeps that property in
    // view when its size settles.
    if (TResultSet* rows = PropertyList->ResultSet())
        PropertyList->ShowRecord(rows->Row());
}

void TfrmMain::AddSectionControls()
{
    // "Marcadas" with its counter, beside the quick search.
    auto* marksRow = new QHBoxLayout;
    btnSLPropMarks = new QPushButton(u"Marcadas"_s, layoutProps);
    btnSLPropMarks->setObjectName(u"btnSLPropMarks"_s);
    lblBtnPropMarks2 = new QLabel(layoutProps);
    lblBtnPropMarks2->setObjectName(u"lblBtnPropMarks2"_s);
    marksRow->addWidget(btnSLPropMarks);
    marksRow->addWidget(lblBtnPropMarks2);
    marksRow->addStretch(1);
    auto* searchCaption = new QLabel(u"Buscar por código:"_s, layoutProps);
    searchCaption->setObjectName(u"lblPropSearch"_s);
    searchCaption->setBuddy(edtPropSearch);
    marksRow->addWidget(searchCaption);
    marksRow->addWidget(edtPropSearch);
    static_cast<QVBoxLayout*>(layoutProps->layout())->addLayout(marksRow);

    // The property list takes the section's width; the filter's controls wait beside it.
    PropertyList = new TPropertyList(layoutProps);
    connect(PropertyList, &TPropertyList::MarksChanged, this, &TfrmMain::RefreshMarksCounter);
    connect(btnSLPropMarks, &QPushButton::clicked, this, [this] {
        CloseCard();
        PropertyList->ShowMarked();
    });
    auto* props = new QHBoxLayout;
    props->addWidget(PropertyList, 3);
    static_cast<QVBoxLayout*>(layoutProps->layout())->addLayout(props, 1);
    // The filter panel beside the list; its search shows in the list's search family.
    auto* filter = new TFilterPanel(layoutProps);
    filter->setObjectName(u"rectFilter"_s);
    FilterPanel = filter;
    // Before the filter is judged: the previous search and the quick-search text go, and
    // the user settles the marks (an empty filter still asks).
    connect(filter, &TFilterPanel::Applying, this, [this] {
        PropertyList->ClearState(TListFamily::Search);
        edtPropSearch->clear();
        AskAboutMarks();
    });
    connect(filter, &TFilterPanel::Apply, this, [this](const TFilterQuery& query) {
        int mode = ModeForNewList(TListFamily::Search, PresentationSetting());
        if (mode == TRMNone)
            mode = TRMAmpliado;
        PropertyList->ShowStatement(TListFamily::Search, query.BaseSql, query.OrderBy, query.SortKey, mode,
                                    PropertyListText::FilterFailed);
    });
    connect(filter, &TFilterPanel::CodeListApply, this, [this](const QString& codes) {
        AskAboutMarks();
        edtPropSearch->clear();
        FilterPanel->Reset(false);
        PropertyList->CodeListSearch(codes);
    });
    // Codes copied in another program while the section is open are offered at once.
    if (QClipboard* clipboard = QApplication::clipboard())
        connect(clipboard, &QClipboard::dataChanged, this, [this] {
            if (layoutProps->isVisible())
                FilterPanel->ExamineClipboard();
        });
    connect(filter, &TFilterPanel::Cancelled, this,
            [this] { PropertyList->ShowOwnProperties(PropertyListText::OwnFailed); });
    filter->setFixedWidth(340);
    props->addWidget(filter, 0);
    PropertyCard = new TPropertyCard(layoutProps);
    PropertyCard->hide();
    btnPropCardBack = new QPushButton(u"Volver al listado"_s, layoutProps);
    btnPropCardBack->setObjectName(u"btnPropCardBack"_s);
    btnPropCardBack->hide();
    props->addWidget(PropertyCard, 4);
    static_cast<QVBoxLayout*>(layoutProps->layout())->addWidget(btnPropCardBack, 0, Qt::AlignLeft);
    connect(btnPropCardBack, &QPushButton::clicked, this, &TfrmMain::CloseCard);
    connect(PropertyList, &TPropertyList::RowOpened, this, [this](qint64, int record) { OpenCard(record); });
    const auto step = [this](int delta, bool absolute) {
        TResultSet* rows = PropertyList->ResultSet();
        if (!rows || rows->RecordCount() == 0)
            return;
        const int target = absolute ? (delta < 0 ? 0 : rows->RecordCount() - 1) : rows->Row() + delta;
        OpenCard(std::clamp(target, 0, rows->RecordCount() - 1));
    };
    connect(PropertyCard, &TPropertyCard::NavigateFirst, this, [step] { step(-1, true); });
    connect(PropertyCard, &TPropertyCard::NavigatePrevious, this, [step] { step(-1, false); });
    connect(PropertyCard, &TPropertyCard::NavigateNext, this, [step] { step(1, false); });
    connect(PropertyCard, &TPropertyCard::NavigateLast, this, [step] { step(1, true); });
    connect(this, &TfrmMain::PropertyStep, PropertyList, [this](int step) {
        if (ResultMode != TRMFicha) {
            PropertyList->Navigate(step);
            return;
        }
        static const char* const signalsByStep[] = {"NavigateFirst", "NavigatePrevious", "NavigateNext",
                                                    "NavigateLast"};
        QMetaObject::invokeMethod(PropertyCard, signalsByStep[std::clamp(step, 0, 3)]);
    });
    new TPropertyKeys(this, PropertyList->lstboxResult, PropertyCard->mmoPropDesc);
    connect(edtPropSearch, &QLineEdit::returnPressed, PropertyList, [this] {
        if (edtPropSearch->text().trimmed().isEmpty())
            return;
        FilterPanel->Reset(false);
        PropertyList->QuickSearch(edtPropSearch->text());
    });
    // Codes are typed with letters, digits, blanks and "-" only; a pasted text with anything
    // else is no code at all.
    edtPropSearch->installEventFilter(this);
    connect(edtPropSearch, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!text.isEmpty() && !IsCodeChars(text))
            edtPropSearch->clear();
    });
    connect(PropertyList, &TPropertyList::Cancelled, this, [this] {
        edtPropSearch->clear();
        PropertyList->ShowOwnProperties(PropertyListText::OwnFailed);
    });
    AddNamedControls(layoutNews,
                     {u"lstboxNewsList"_s, u"mmoNewsMessageCuerpo"_s, u"lblNewsHeaderFrom"_s, u"lblNewsHeaderTo"_s,
                      u"lblNewsHeaderSubject"_s, u"btnNewsSLContact"_s, u"btnNewsSLReport"_s, u"lblBillingTitle"_s,
                      u"lblBillingLastMonth"_s, u"lblBillingLastDate"_s, u"lblBillingLastValue"_s,
                      u"lblBillingBalance"_s, u"lblBillingNote1"_s, u"lblBillingNote4"_s, u"lblBillingUpdate"_s,
                      u"btnReportPayment"_s});
    AddNamedControls(layoutBrokers, {u"lstboxBrokers"_s, u"cboBrokersSearch"_s, u"edtInmoCod"_s, u"edtInmoName"_s,
                                     u"edtInmoDom"_s, u"edtInmoTel"_s, u"edtInmoMail"_s, u"edtInmoWeb"_s,
                                     u"edtInmoMartillero"_s, u"edtInmoMatricula"_s, u"btnBrokersSLEMail"_s});
    AddNamedControls(layoutClients, {u"lstboxClients"_s, u"cboCliSearch"_s, u"cboCliTipo"_s, u"btnCliFiltro"_s,
                                     u"btnCliSelec"_s, u"btnCliVerProps"_s});
    AddNamedControls(layoutConfig,
                     {u"lstboxUsers"_s, u"edtUsersSearch"_s, u"cboUsersSearch"_s, u"cboUserRole"_s,
                      u"btnUsersVerProps"_s, u"cboConfigDefaultListType"_s, u"cboConfigDefaultOwnFilter"_s,
                      u"cboConfigOptimizeDays"_s, u"cboConfigPhotoDownloadMode"_s, u"chkConfigDefragDB"_s,
                      u"chkConfigMarkVisitedProps"_s, u"chkConfigUseDirect2D"_s, u"edtConfigConnectTimeout"_s,
                      u"edtConfigReadTimeout"_s, u"btnConfigOptimizeDB"_s, u"btnConfigRestoreTimeouts"_s,
                      u"lblConfigLastOptimization"_s});

    // The shared input kinds of the fields that exist so far: (name, tag, thousands).
    auto* kinds = new TEditKindFilter(this);
    kinds->SetChecking([this] { return layoutProps->isVisible() || PropEditing || CliEditing || UserEditing; });
    static const struct {
        const char* name;
        int tag;
        bool thousands;
    } fields[] = {{"edtConfigConnectTimeout", 1, false}, {"edtConfigReadTimeout", 1, false}};
    for (const auto& f : fields)
        if (auto* edit = findChild<QLineEdit*>(QString::fromLatin1(f.name))) {
            edit->setProperty("tag", f.tag);
            kinds->Watch(edit, f.thousands);
        }
}
