// The property section's controls, the sections still to come, and the configuration
// section's entries to the access data and the terms.
#include "ui/TfrmMain.h"

#include "core/MiscFunc.h"
#include "core/UserMessages.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "records/UserData.h"
#include "search/Marks.h"
#include "selections/Selections.h"
#include "sync/Session.h"
#include "sync/Terms.h"
#include "sync/TfrmUserCredentials.h"
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

const QString kNotAdministrator = u"Solo el administrador de la inmobiliaria puede cambiar los datos de acceso."_s;
const QString kCredentialsChanged = u"Los datos de acceso se cambiaron correctamente.\n\n"
                                    u"Use el nuevo usuario y la nueva contraseña la próxima vez que ingrese."_s;
const QString kUserUnreadable = u"No se pudieron obtener los datos del usuario"_s;

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

QLabel* Heading(QWidget* parent, const QString& name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    SetStyleRole(label, u"subtitle"_s);
    return label;
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
    RefreshListButtons();
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
    RefreshListButtons();
}

void TfrmMain::RefreshListButtons()
{
    const int mode = ResultMode == TRMFicha ? PreviousResultMode : PropertyList->CurrentMode();
    const bool marksShown =
        ResultMode != TRMFicha && (mode == TRMMarkAmpliado || mode == TRMMarkResumido ||
                                   (mode == TRMNone && (PropertyList->PreviousMode() == TRMMarkAmpliado ||
                                                        PropertyList->PreviousMode() == TRMMarkResumido)));
    btnSLPropMarks->setChecked(marksShown);
    btnSLPropMarks->setEnabled(Marks().Count() > 0 || marksShown);
    btnSLPropMarks->setToolTip(btnSLPropMarks->isEnabled() ? QString() : u"No hay propiedades marcadas"_s);
    const bool fromSelection = ResultMode == TRMFicha && (PreviousResultMode == TRMSelecPropAmpliado ||
                                                          PreviousResultMode == TRMSelecPropResumido);
    QString second;
    if (fromSelection) {
        btnSLPropSelections->setText(u"Volver"_s);
        second = u"al listado"_s;
    } else {
        btnSLPropSelections->setText(u"Selecciones"_s);
        second = PropertyList->SelectionsClient() > 0 && mode == TRMSelecciones
                     ? u"Ver todas"_s
                     : PluralText(u"%s guardada"_s, u"%s guardadas"_s, std::max(0, PropertyList->SelectionCount()));
    }
    lblBtnPropSelections2->setText(second);
}

void TfrmMain::SelectionsButton()
{
    // From a card opened in a selection's properties: back to that list.
    if (ResultMode == TRMFicha &&
        (PreviousResultMode == TRMSelecPropAmpliado || PreviousResultMode == TRMSelecPropResumido)) {
        CloseCard();
        RefreshListButtons();
        return;
    }
    const bool shown = PropertyList->CurrentMode() == TRMSelecciones;
    if (PropertyList->SelectionCount() > 0 || shown || Selections::AnythingSharedWithMe()) {
        CloseCard();
        PropertyList->ShowSelections();
        return;
    }
    ShowInformation(u"Todavía no hay selecciones guardadas. Marque propiedades y use \"Guardar\" en la lista de "
                    u"marcadas para crear una."_s);
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
    RefreshListButtons();
}

void TfrmMain::AddSectionControls()
{
    // "Marcadas" with its counter, beside the quick search.
    auto* marksRow = new QHBoxLayout;
    btnSLPropMarks = new QPushButton(u"Marcadas"_s, layoutProps);
    btnSLPropMarks->setObjectName(u"btnSLPropMarks"_s);
    lblBtnPropMarks2 = new QLabel(layoutProps);
    lblBtnPropMarks2->setObjectName(u"lblBtnPropMarks2"_s);
    // "Marcadas" shows as current while the marked list is shown.
    btnSLPropMarks->setCheckable(true);
    btnSLPropMarks->setStyleSheet(u"QPushButton:checked { background: #01548E; color: white; }"_s);
    marksRow->addWidget(btnSLPropMarks);
    marksRow->addWidget(lblBtnPropMarks2);
    marksRow->addSpacing(16);
    btnSLPropSelections = new QPushButton(u"Selecciones"_s, layoutProps);
    btnSLPropSelections->setObjectName(u"btnSLPropSelections"_s);
    lblBtnPropSelections2 = new QLabel(layoutProps);
    lblBtnPropSelections2->setObjectName(u"lblBtnPropSelections2"_s);
    marksRow->addWidget(btnSLPropSelections);
    marksRow->addWidget(lblBtnPropSelections2);
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
        RefreshListButtons();
    });
    connect(btnSLPropSelections, &QPushButton::clicked, this, &TfrmMain::SelectionsButton);
    connect(PropertyList, &TPropertyList::SelectionsChanged, this, &TfrmMain::RefreshListButtons);
    connect(PropertyList, &TPropertyList::ListShown, this, &TfrmMain::RefreshListButtons);
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
    connect(PropertyCard, &TPropertyCard::MarksChanged, this, &TfrmMain::RefreshMarksCounter);
    // While the card is a form, the way back to the list is its Cancel button, and the
    // close request asks to finish the edit first.
    connect(PropertyCard, &TPropertyCard::EditModeChanged, this, [this](bool editing) {
        PropEditing = editing;
        btnPropCardBack->setVisible(!editing && ResultMode == TRMFicha);
    });
    connect(PropertyList, &TPropertyList::RowOpened, this, [this](qint64, int record) { OpenCard(record); });
    // A saved, suspended or withdrawn listing: the own list is read again and the card
    // stands on the listing in it; a listing gone for good leaves the card for the list.
    connect(PropertyCard, &TPropertyCard::PropertiesChanged, this, [this](qint64 code) {
        if (ResultMode != TRMFicha || (PreviousResultMode != TRMOwnAmpliado && PreviousResultMode != TRMOwnResumido))
            return;
        PropertyList->ShowOwnProperties(PropertyListText::OwnFailed);
        TResultSet* rows = PropertyList->ResultSet();
        for (int record = 0; rows && code > 0 && record < rows->RecordCount(); ++record) {
            rows->Seek(record);
            if (rows->AsInt64(u"Prop_Codigo"_s) == code) {
                OpenCard(record);
                return;
            }
        }
        CloseCard();
    });
    connect(PropertyList, &TPropertyList::OwnRowAction, this, [this](qint64 code, int action) {
        TResultSet* rows = PropertyList->ResultSet();
        if (!rows)
            return;
        for (int record = 0; record < rows->RecordCount(); ++record) {
            rows->Seek(record);
            if (rows->AsInt64(u"Prop_Codigo"_s) != code)
                continue;
            OpenCard(record);
            if (PropertyCard->PropertyCode() != code)
                return;
            if (action == 0)
                PropertyCard->StartEdit(EditModify);
            else if (action == 1)
                PropertyCard->WithdrawProperty();
            else
                PropertyCard->RequestRecovery();
            return;
        }
    });
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
    // Messages, agencies and clients come with their own work: until then each shows its
    // title and nothing a user could mistake for a working control.
    for (QLineEdit* search : {edtNewsSearch, edtBrokersSearch, edtClientsSearch})
        search->hide();
    for (QWidget* section : {layoutNews, layoutBrokers, layoutClients})
        static_cast<QVBoxLayout*>(section->layout())->addStretch(1);
    AddConfigEntries();

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

void TfrmMain::AddConfigEntries()
{
    auto* column = static_cast<QVBoxLayout*>(layoutConfig->layout());
    auto* users = new QWidget(layoutConfig);
    users->setObjectName(u"rectConfigUsers"_s);
    auto* usersColumn = new QVBoxLayout(users);
    usersColumn->setContentsMargins(0, 8, 0, 8);
    usersColumn->addWidget(Heading(users, u"lblConfigUsersTitle"_s, u"Usuarios"_s));
    lblUsersCount->setParent(users);
    usersColumn->addWidget(lblUsersCount);
    btnUsrChgCre = new QPushButton(u"Cambiar usuario y contraseña"_s, users);
    btnUsrChgCre->setObjectName(u"btnUsrChgCre"_s);
    usersColumn->addWidget(btnUsrChgCre, 0, Qt::AlignLeft);
    connect(btnUsrChgCre, &QPushButton::clicked, this, &TfrmMain::ChangeCredentials);
    column->addWidget(users);

    auto* lists = new QWidget(layoutConfig);
    lists->setObjectName(u"rectConfigLists"_s);
    auto* listsColumn = new QVBoxLayout(lists);
    listsColumn->setContentsMargins(0, 8, 0, 8);
    listsColumn->addWidget(Heading(lists, u"lblConfigListsTitle"_s, u"Listados"_s));
    chkConfigMarkVisitedProps = new QCheckBox(u"Atenuar las propiedades vistas"_s, lists);
    chkConfigMarkVisitedProps->setObjectName(u"chkConfigMarkVisitedProps"_s);
    chkConfigMarkVisitedProps->setToolTip(
        u"Las propiedades cuya ficha ya abrió desde que ingresó se muestran atenuadas en los listados."_s);
    listsColumn->addWidget(chkConfigMarkVisitedProps, 0, Qt::AlignLeft);
    connect(chkConfigMarkVisitedProps, &QCheckBox::clicked, this, [this](bool on) {
        WriteSetting(Setting::MarkVisitedProps, on ? u"1"_s : u"0"_s);
        Marks().ClearVisited();
    });
    column->addWidget(lists);

    auto* terms = new QWidget(layoutConfig);
    terms->setObjectName(u"rectConfigTerms"_s);
    auto* termsColumn = new QVBoxLayout(terms);
    termsColumn->setContentsMargins(0, 8, 0, 8);
    termsColumn->addWidget(Heading(terms, u"lblConfigTermsTitle"_s, u"Términos y Condiciones"_s));
    btnViewTerms = new QPushButton(u"Leer los Términos y Condiciones de uso"_s, terms);
    btnViewTerms->setObjectName(u"btnViewTerms"_s);
    termsColumn->addWidget(btnViewTerms, 0, Qt::AlignLeft);
    connect(btnViewTerms, &QPushButton::clicked, this, [this] { ViewTerms(this); });
    column->addWidget(terms);
    column->addStretch(1);
}

void TfrmMain::ChangeCredentials()
{
    // Only the agency's main user may change access data; anyone else is told so.
    TUserData user;
    if (!LoadUser(CurrentAgencyCode(), SessionUserCode, user)) {
        ShowError(kUserUnreadable);
        return;
    }
    if (user.Role != 3) {
        ShowInformation(kNotAdministrator);
        return;
    }
    TfrmUserCredentials dialog(this);
    dialog.usrCode = SessionUserCode;
    if (dialog.exec() != QDialog::Accepted)
        return;
    ApplyCredentialsChange(dialog.usrCode, dialog.newUser, dialog.newPassword);
    RefreshCaption();
    ShowInformation(kCredentialsChanged);
}
