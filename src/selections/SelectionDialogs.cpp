#include "selections/SelectionDialogs.h"

#include "core/Bugs.h"
#include "core/MiscFunc.h"
#include "core/UserMessages.h"
#include "db/InstallContext.h"
#include "records/ClientList.h"
#include "records/PropertyTexts.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QValidator>

using namespace Qt::StringLiterals;

namespace SelectionText {
const QString InvalidName = u"El nombre de la selección no es válido."_s;
const QString NameTaken = u"El nombre ya existe, por favor elija otro."_s;
const QString SaveFailed = u"Se produjo un error al guardar la selección."_s;
const QString EditFailed = u"No se pudieron guardar las modificaciones de la selección."_s;
const QString DuplicateFailed = u"Se produjo un error al duplicar las selecciones."_s;
const QString JoinFailed = u"Se produjo un error al unir las selecciones."_s;
const QString JoinFailedDetail = u"No se creó la selección unida; las selecciones originales no cambiaron."_s;
const QString DeleteOriginalFailed = u"No se pudo eliminar la selección original."_s;
const QString LoadSelectionsFailed1 = u"Se produjo un error al cargar las selecciones. (1)"_s;
const QString LoadSelectionsFailed2 = u"Se produjo un error al cargar las selecciones. (2)"_s;
const QString ShareFailed = u"Se produjo un error al comprtir las selecciones."_s;
const QString OthersLoadFailed = u"Se produjo un error al cargar las selecciones de otros usuarios."_s;
const QString OthersSaveFailed = u"Se produjo un error al guardar las selecciones de otros usuarios."_s;
const QString NoClient = u"(Sin cliente)"_s;
} // namespace SelectionText

namespace {

QPointer<TfrmSelectShare> g_share;
QPointer<TfrmSelectOthers> g_others;

// A typed or pasted character the program does not take in a name is dropped.
class TGeneralTextValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& position) const override
    {
        QString kept;
        int at = position;
        for (int i = 0; i < input.size(); ++i) {
            if (IsGeneralText(input.at(i)))
                kept += input.at(i);
            else if (i < position)
                --at;
        }
        input = kept;
        position = std::max(0, at);
        return Acceptable;
    }
};

QPushButton* Button(QWidget* parent, const QString& name, const QString& text)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

QLabel* Caption(QWidget* parent, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

QHBoxLayout* ButtonRow(QPushButton* ok, QPushButton* cancel)
{
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

} // namespace

TfrmSelectShare* SelectShareDialog()
{
    return g_share;
}

TfrmSelectOthers* SelectOthersDialog()
{
    return g_others;
}

TSelectionDialog::TSelectionDialog(const QString& name, const QString& title, QWidget* parent) : QDialog(parent)
{
    setObjectName(name);
    setWindowTitle(QString());
    setModal(true);
    setFixedWidth(400);
    m_column = new QVBoxLayout(this);
    lblTitle = new QLabel(title, this);
    lblTitle->setObjectName(u"lblTitle"_s);
    QFont font = lblTitle->font();
    font.setPointSize(13);
    font.setBold(true);
    lblTitle->setFont(font);
    lblTitle->setStyleSheet(u"color: #01548E;"_s);
    m_column->addWidget(lblTitle);
    lblMsg = new QLabel(this);
    lblMsg->setObjectName(u"lblMsg"_s);
    lblMsg->setWordWrap(true);
    lblMsg->setStyleSheet(u"color: #EA1515; font-weight: bold;"_s);
}

void TSelectionDialog::ShowMsg(const QString& text)
{
    lblMsg->setText(text);
}

QString TSelectionDialog::CheckName(QLineEdit* edit, const QString& unchanged)
{
    const QString name = edit->text().trimmed();
    edit->setText(name);
    if (name.isEmpty() || !IsGeneralText(name))
        return SelectionText::InvalidName;
    if ((unchanged.isNull() || name != unchanged) && Selections::NameExists(name))
        return SelectionText::NameTaken;
    return {};
}

void TSelectionDialog::FillClients(QComboBox* combo, int client)
{
    combo->clear();
    combo->addItem(SelectionText::NoClient, 0);
    QList<TClientEntry> clients;
    LoadClientList(CurrentAgencyCode(), clients);
    for (const TClientEntry& c : std::as_const(clients)) {
        combo->addItem(EscapeAmpersands(c.Name), c.Code);
        if (c.Code == client)
            combo->setCurrentIndex(combo->count() - 1);
    }
}

int TSelectionDialog::ChosenClient(QComboBox* combo)
{
    return combo->currentIndex() < 1 ? -1 : combo->currentData().toInt();
}

QLineEdit* TSelectionDialog::NameEdit(const QString& name)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(name);
    edit->setMaxLength(Selections::kNameLength);
    edit->setValidator(new TGeneralTextValidator(edit));
    return edit;
}

// ---- Save the marks

TfrmSelectSave::TfrmSelectSave(const QList<qint64>& marks, QWidget* parent)
    : TSelectionDialog(u"TfrmSelectSave"_s, u"Guardar selección "_s, parent)
{
    for (qint64 code : marks)
        m_marks << QString::number(code);
    rbNew = new QRadioButton(u"Crear una nueva"_s, this);
    rbNew->setObjectName(u"rbNew"_s);
    edtSelectName = NameEdit(u"edtSelectName"_s);
    rbAdd = new QRadioButton(u"Agregar a una existente"_s, this);
    rbAdd->setObjectName(u"rbAdd"_s);
    cboSelections = new QComboBox(this);
    cboSelections->setObjectName(u"cboSelections"_s);
    cboClient = new QComboBox(this);
    cboClient->setObjectName(u"cboClient"_s);
    btnSave = Button(this, u"btnSave"_s, u"Guardar"_s);
    btnCancel = Button(this, u"btnCancel"_s, u"Cancelar"_s);
    btnSave->setDefault(true);

    m_column->addWidget(rbNew, 0, Qt::AlignLeft);
    m_column->addWidget(edtSelectName);
    m_column->addWidget(rbAdd, 0, Qt::AlignLeft);
    m_column->addWidget(cboSelections);
    m_column->addWidget(Caption(this, u"Cliente asociado"_s));
    m_column->addWidget(cboClient);
    m_column->addWidget(lblMsg);
    m_column->addLayout(ButtonRow(btnSave, btnCancel));

    QList<TSelectionEntry> own;
    Selections::OwnActive(own);
    for (const TSelectionEntry& s : std::as_const(own))
        cboSelections->addItem(EscapeAmpersands(s.Name), s.Code);
    cboSelections->setCurrentIndex(own.isEmpty() ? -1 : 0);
    // Without a selection of his own there is nothing to add to.
    rbAdd->setEnabled(!own.isEmpty());
    if (own.isEmpty())
        rbAdd->setToolTip(u"Todavía no tiene selecciones guardadas."_s);
    FillClients(cboClient, 0);
    rbNew->setChecked(true);
    connect(rbNew, &QRadioButton::toggled, this, &TfrmSelectSave::ChoiceChanged);
    connect(rbAdd, &QRadioButton::toggled, this, &TfrmSelectSave::ChoiceChanged);
    connect(btnSave, &QPushButton::clicked, this, &TfrmSelectSave::Save);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    ChoiceChanged();
    setTabOrder(edtSelectName, cboSelections);
    setTabOrder(cboSelections, cboClient);
    // A new name is what the user types first.
    edtSelectName->setFocus();
}

void TfrmSelectSave::ChoiceChanged()
{
    const bool create = rbNew->isChecked();
    edtSelectName->setEnabled(create);
    cboSelections->setEnabled(!create);
    (create ? static_cast<QWidget*>(edtSelectName) : cboSelections)->setFocus();
}

void TfrmSelectSave::Save()
{
    ShowMsg({});
    const int client = ChosenClient(cboClient);
    bool saved = false;
    if (rbAdd->isChecked()) {
        if (cboSelections->currentIndex() < 0)
            return;
        saved = Selections::Save(QString(), client, m_marks, cboSelections->currentData().toLongLong(), false);
    } else {
        const QString message = CheckName(edtSelectName);
        if (!message.isEmpty()) {
            ShowMsg(message);
            return;
        }
        saved = Selections::Save(edtSelectName->text(), client, m_marks, -1, true);
    }
    if (!saved) {
        FatalError(SelectionText::SaveFailed);
        return;
    }
    accept();
}

// ---- Edit

TfrmSelectEdit::TfrmSelectEdit(qint64 code, const QString& name, QWidget* parent)
    : TSelectionDialog(u"TfrmSelectEdit"_s, u"Editar selección "_s, parent), m_code(code), m_name(name)
{
    edtSelectName = NameEdit(u"edtSelectName"_s);
    edtSelectName->setText(name);
    cboClient = new QComboBox(this);
    cboClient->setObjectName(u"cboClient"_s);
    btnSave = Button(this, u"btnSave"_s, u"Guardar"_s);
    btnCancel = Button(this, u"btnCancel"_s, u"Cancelar"_s);
    btnSave->setDefault(true);
    m_column->addWidget(Caption(this, u"Nombre"_s));
    m_column->addWidget(edtSelectName);
    m_column->addWidget(Caption(this, u"Cliente asociado"_s));
    m_column->addWidget(cboClient);
    m_column->addWidget(lblMsg);
    m_column->addLayout(ButtonRow(btnSave, btnCancel));
    FillClients(cboClient, Selections::ClientOf(code));
    connect(btnSave, &QPushButton::clicked, this, &TfrmSelectEdit::Save);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    edtSelectName->setFocus();
}

void TfrmSelectEdit::Save()
{
    ShowMsg({});
    const QString message = CheckName(edtSelectName, m_name);
    if (!message.isEmpty()) {
        ShowMsg(message);
        return;
    }
    if (!Selections::Edit(m_code, edtSelectName->text(), ChosenClient(cboClient))) {
        FatalError(SelectionText::EditFailed);
        return;
    }
    accept();
}

// ---- Duplicate or join

TfrmSelectMerge::TfrmSelectMerge(const QList<qint64>& codes, QWidget* parent)
    : TSelectionDialog(u"TfrmSelectMerge"_s, u"Manipular selecciones"_s, parent), m_codes(codes)
{
    rbDuplicate = new QRadioButton(u"Duplicar las selecciones"_s, this);
    rbDuplicate->setObjectName(u"rbDuplicate"_s);
    rbJoin = new QRadioButton(u"Unir las selecciones"_s, this);
    rbJoin->setObjectName(u"rbJoin"_s);
    edtNewName = NameEdit(u"edtNewName"_s);
    edtNewName->setPlaceholderText(u"Nuevo nombre"_s);
    chkDelete = new QCheckBox(u"Eliminar las selecciones originales"_s, this);
    chkDelete->setObjectName(u"chkDelete"_s);
    btnApply = Button(this, u"btnApply"_s, u"Aplicar"_s);
    btnCancel = Button(this, u"btnCancel"_s, u"Cancelar"_s);
    btnApply->setDefault(true);
    m_column->addWidget(Caption(this, u"Elija la acción que desea realizar con las selecciones marcadas:"_s));
    m_column->addWidget(rbDuplicate, 0, Qt::AlignLeft);
    m_column->addWidget(rbJoin, 0, Qt::AlignLeft);
    auto* nameRow = new QHBoxLayout;
    nameRow->setContentsMargins(20, 0, 0, 0);
    auto* nameCaption = Caption(this, u"Nuevo nombre"_s);
    nameCaption->setWordWrap(false);
    nameRow->addWidget(nameCaption);
    nameRow->addWidget(edtNewName, 1);
    m_column->addLayout(nameRow);
    auto* deleteRow = new QHBoxLayout;
    deleteRow->setContentsMargins(20, 0, 0, 0);
    deleteRow->addWidget(chkDelete, 0, Qt::AlignLeft);
    m_column->addLayout(deleteRow);
    m_column->addWidget(lblMsg);
    m_column->addLayout(ButtonRow(btnApply, btnCancel));
    rbJoin->setEnabled(codes.size() > 1);
    if (codes.size() < 2)
        rbJoin->setToolTip(u"Para unir, marque más de una selección."_s);
    rbDuplicate->setChecked(true);
    connect(rbDuplicate, &QRadioButton::toggled, this, &TfrmSelectMerge::ChoiceChanged);
    connect(rbJoin, &QRadioButton::toggled, this, &TfrmSelectMerge::ChoiceChanged);
    connect(btnApply, &QPushButton::clicked, this, &TfrmSelectMerge::Apply);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    ChoiceChanged();
    rbDuplicate->setFocus();
}

void TfrmSelectMerge::ChoiceChanged()
{
    const bool join = rbJoin->isChecked() && m_codes.size() > 1;
    edtNewName->setEnabled(join);
    chkDelete->setEnabled(join);
}

void TfrmSelectMerge::Apply()
{
    ShowMsg({});
    if (m_codes.isEmpty())
        return;
    if (rbJoin->isChecked() ? Join() : Duplicate())
        accept();
}

bool TfrmSelectMerge::Duplicate()
{
    const QDateTime now = QDateTime::currentDateTime();
    for (qint64 code : std::as_const(m_codes)) {
        const std::optional<QString> name = Selections::FreeDuplicateName(Selections::NameOf(code), now);
        QStringList members;
        if (!name || !Selections::Members({code}, members) || !Selections::Save(*name, -1, members, -1, true)) {
            ShowError(SelectionText::DuplicateFailed);
            return false;
        }
    }
    return true;
}

bool TfrmSelectMerge::Join()
{
    const QString message = CheckName(edtNewName);
    if (!message.isEmpty()) {
        ShowMsg(message);
        return false;
    }
    QStringList members;
    if (!Selections::Members(m_codes, members) || !Selections::Save(edtNewName->text(), -1, members, -1, true)) {
        ShowError(SelectionText::JoinFailed + u"\n\n"_s + SelectionText::JoinFailedDetail);
        return false;
    }
    if (!chkDelete->isChecked())
        return true;
    QList<qint64> others;
    for (qint64 code : std::as_const(m_codes)) {
        if (!Selections::IsOwnActive(code)) {
            others << code;
            continue;
        }
        if (!Selections::Delete(code)) {
            ShowError(SelectionText::DeleteOriginalFailed);
            return false;
        }
    }
    if (!Selections::Withdraw(others)) {
        ShowError(SelectionText::DeleteOriginalFailed);
        return false;
    }
    return true;
}

// ---- Share

TfrmSelectShare::TfrmSelectShare(QWidget* parent)
    : TSelectionDialog(u"TfrmSelectShare"_s, u"Compartir selecciones"_s, parent)
{
    g_share = this;
    lstboxSelections = new QListWidget(this);
    lstboxSelections->setObjectName(u"lstboxSelections"_s);
    lstboxSelections->setSelectionMode(QAbstractItemView::NoSelection);
    lstboxSelections->setMaximumHeight(110);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(u"scrollUsers"_s);
    scroll->setWidgetResizable(true);
    scroll->setMinimumHeight(120);
    rectUsers = new QWidget(scroll);
    rectUsers->setObjectName(u"rectUsers"_s);
    new QVBoxLayout(rectUsers);
    scroll->setWidget(rectUsers);
    btnApply = Button(this, u"btnApply"_s, u"Aplicar"_s);
    btnCancel = Button(this, u"btnCancel"_s, u"Cancelar"_s);
    m_column->addWidget(Caption(this, u"Se van a compartir las siguientes selecciones:"_s));
    m_column->addWidget(lstboxSelections);
    m_column->addWidget(Caption(this, u"Se compartirán con los siguientes usuarios:"_s));
    m_column->addWidget(scroll, 1);
    m_column->addWidget(lblMsg);
    m_column->addLayout(ButtonRow(btnApply, btnCancel));
    connect(btnApply, &QPushButton::clicked, this, &TfrmSelectShare::Apply);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfrmSelectShare::Prepare(const QList<qint64>& codes)
{
    Clear();
    ShowMsg({});
    m_codes = codes;
    QList<TShareSelectionItem> items;
    if (!Selections::ShareSelections(codes, items)) {
        ShowError(SelectionText::LoadSelectionsFailed1);
        return false;
    }
    for (const TShareSelectionItem& item : std::as_const(items)) {
        QString text = item.Name + u" ("_s + PluralText(u"%s propiedad"_s, u"%s propiedades"_s, item.Properties);
        if (!item.Client.isEmpty())
            text += u" - Cliente: "_s + item.Client;
        lstboxSelections->addItem(text + u')');
    }
    if (!Selections::ShareUsers(codes, m_users)) {
        ShowError(SelectionText::LoadSelectionsFailed2);
        return false;
    }
    auto* column = static_cast<QVBoxLayout*>(rectUsers->layout());
    for (int i = 0; i < m_users.size(); ++i) {
        auto* box = new QCheckBox(m_users[i].Name, rectUsers);
        box->setObjectName(u"chkUser%1"_s.arg(m_users[i].Code));
        box->setTristate(true);
        const auto show = [box](int state) {
            box->setCheckState(state == 1 ? Qt::Checked : state == 0 ? Qt::Unchecked : Qt::PartiallyChecked);
        };
        show(m_users[i].State);
        // Partial and none both go to all; all goes to none.
        connect(box, &QCheckBox::clicked, this, [this, i, show] {
            TSharedUsersData& user = m_users[i];
            user.State = user.State == 1 ? 0 : 1;
            show(user.State);
        });
        // As wide as its name: a click beside it must not change it.
        column->addWidget(box, 0, Qt::AlignLeft);
        m_boxes << box;
    }
    if (m_users.isEmpty())
        column->addWidget(Caption(rectUsers, u"No hay otros usuarios activos en la inmobiliaria."_s));
    column->addStretch(1);
    btnApply->setEnabled(!m_users.isEmpty());
    return true;
}

QCheckBox* TfrmSelectShare::UserBox(int userCode) const
{
    return rectUsers->findChild<QCheckBox*>(u"chkUser%1"_s.arg(userCode));
}

void TfrmSelectShare::Apply()
{
    if (!Selections::Share(m_codes, m_users)) {
        ShowError(SelectionText::ShareFailed);
        return;
    }
    accept();
}

void TfrmSelectShare::done(int result)
{
    Clear();
    QDialog::done(result);
}

void TfrmSelectShare::Clear()
{
    lstboxSelections->clear();
    m_codes.clear();
    m_users.clear();
    m_boxes.clear();
    QLayoutItem* item = nullptr;
    while ((item = rectUsers->layout()->takeAt(0))) {
        delete item->widget();
        delete item;
    }
}

// ---- Shared by others

TfrmSelectOthers::TfrmSelectOthers(QWidget* parent)
    : TSelectionDialog(u"TfrmSelectOthers"_s, u"Selecciones de otros usuarios"_s, parent)
{
    g_others = this;
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setMinimumHeight(160);
    rectOthers = new QWidget(scroll);
    rectOthers->setObjectName(u"rectOthers"_s);
    new QVBoxLayout(rectOthers);
    scroll->setWidget(rectOthers);
    btnApply = Button(this, u"btnApply"_s, u"Aplicar"_s);
    btnCancel = Button(this, u"btnCancel"_s, u"Cancelar"_s);
    m_column->addWidget(Caption(this, u"Las siguientes selecciones fueron compartidas por otros usuarios de su "
                                      u"inmobiliaria, seleccione las que desea ver."_s));
    m_column->addWidget(scroll, 1);
    m_column->addWidget(lblMsg);
    m_column->addLayout(ButtonRow(btnApply, btnCancel));
    connect(btnApply, &QPushButton::clicked, this, &TfrmSelectOthers::Apply);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfrmSelectOthers::Prepare(std::optional<qint64> only)
{
    QLayoutItem* item = nullptr;
    while ((item = rectOthers->layout()->takeAt(0))) {
        delete item->widget();
        delete item;
    }
    if (!Selections::OthersSelections(only, m_rows)) {
        ShowError(SelectionText::OthersLoadFailed);
        return false;
    }
    auto* column = static_cast<QVBoxLayout*>(rectOthers->layout());
    for (int i = 0; i < m_rows.size(); ++i) {
        auto* row = new QWidget(rectOthers);
        row->setObjectName(u"rowOther%1"_s.arg(m_rows[i].Code));
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        auto* box = new QCheckBox(u"Ver"_s, row);
        box->setObjectName(u"chkSee"_s);
        box->setChecked(m_rows[i].Accepted);
        connect(box, &QCheckBox::toggled, this, [this, i](bool on) { m_rows[i].Accepted = on; });
        auto* text = new QLabel(u"%1 (de %2)"_s.arg(m_rows[i].Name, m_rows[i].Owner), row);
        text->setObjectName(u"txtName"_s);
        text->setWordWrap(true);
        line->addWidget(box);
        line->addWidget(text, 1);
        column->addWidget(row);
    }
    if (m_rows.isEmpty())
        column->addWidget(Caption(rectOthers, u"Ningún otro usuario compartió selecciones con usted."_s));
    column->addStretch(1);
    btnApply->setEnabled(!m_rows.isEmpty());
    return true;
}

void TfrmSelectOthers::Apply()
{
    if (!Selections::Accept(m_rows)) {
        FatalError(SelectionText::OthersSaveFailed);
        return;
    }
    accept();
}
