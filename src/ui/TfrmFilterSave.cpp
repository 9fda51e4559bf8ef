#include "ui/TfrmFilterSave.h"

#include "core/Bugs.h"
#include "core/MiscFunc.h"
#include "records/ClientSearch.h"
#include "ui/Style.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace FilterSaveText {
const QString InvalidName = u"El nombre de la búsqueda no es válido."_s;
const QString NameTaken = u"El nombre ya existe, por favor elija otro."_s;
const QString ChooseEntry = u"Elija la búsqueda que desea reemplazar."_s;
const QString SaveFailed = u"Se produjo un error al guardar la búsqueda."_s;
} // namespace FilterSaveText

namespace {

constexpr int kWidth = 400;
QPointer<TfrmFilterSave> g_instance;

} // namespace

TfrmFilterSave* FilterSaveDialog()
{
    return g_instance.data();
}

TfrmFilterSave::TfrmFilterSave(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"TfrmFilterSave"_s);
    setWindowTitle(QString());
    setModal(true);
    setFixedWidth(kWidth);
    if (!g_instance)
        g_instance = this;

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 14, 16, 14);
    column->setSpacing(8);

    lblTitle = new QLabel(u"Guardar filtro"_s, this);
    lblTitle->setObjectName(u"lblTitle"_s);
    // The program's font is set in pixels: a point size would read as -1 here.
    QFont titleFont = lblTitle->font();
    if (titleFont.pointSize() > 0)
        titleFont.setPointSize(titleFont.pointSize() + 4);
    else
        titleFont.setPixelSize(titleFont.pixelSize() + 5);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    column->addWidget(lblTitle);

    // Each choice above its field, so that the field has the dialog's whole width for long
    // client names.
    auto* choices = new QGridLayout;
    choices->setHorizontalSpacing(0);
    choices->setVerticalSpacing(4);
    choices->setColumnMinimumWidth(0, 22);
    rbNew = new QRadioButton(u"Nuevo filtro"_s, this);
    rbNew->setObjectName(u"rbNew"_s);
    edtFilterName = new QLineEdit(this);
    edtFilterName->setObjectName(u"edtFilterName"_s);
    edtFilterName->setMaxLength(kStoredSearchNameMax);
    edtFilterName->setPlaceholderText(u"Nombre de la búsqueda"_s);
    rbReplace = new QRadioButton(u"Reemplazar existente"_s, this);
    rbReplace->setObjectName(u"rbReplace"_s);
    cboStoredFilters = new QComboBox(this);
    cboStoredFilters->setObjectName(u"cboStoredFilters"_s);
    cboStoredFilters->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cboStoredFilters->setMinimumContentsLength(16);
    choices->addWidget(rbNew, 0, 0, 1, 2);
    choices->addWidget(edtFilterName, 1, 1);
    choices->setRowMinimumHeight(2, 6);
    choices->addWidget(rbReplace, 3, 0, 1, 2);
    choices->addWidget(cboStoredFilters, 4, 1);
    choices->setColumnStretch(1, 1);
    column->addLayout(choices);
    auto* group = new QButtonGroup(this);
    group->addButton(rbNew);
    group->addButton(rbReplace);

    lblMsg = new QLabel(this);
    lblMsg->setObjectName(u"lblMsg"_s);
    lblMsg->setWordWrap(true);
    QPalette palette = lblMsg->palette();
    palette.setColor(QPalette::WindowText, Colors::ErrorRed);
    lblMsg->setPalette(palette);
    QFont bold = lblMsg->font();
    bold.setBold(true);
    lblMsg->setFont(bold);
    lblMsg->setMinimumHeight(lblMsg->fontMetrics().height() * 2);
    column->addWidget(lblMsg);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btnOk = new QPushButton(u"Aceptar"_s, this);
    btnOk->setObjectName(u"btnOk"_s);
    btnOk->setDefault(true);
    btnCancel = new QPushButton(u"Cancelar"_s, this);
    btnCancel->setObjectName(u"btnCancel"_s);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    column->addLayout(buttons);

    connect(rbNew, &QRadioButton::toggled, this, &TfrmFilterSave::ChoiceChanged);
    connect(btnOk, &QPushButton::clicked, this, &TfrmFilterSave::Accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmFilterSave::~TfrmFilterSave() = default;

bool TfrmFilterSave::Execute(const QString& parameters, int agency, int user, QWidget* owner)
{
    // Created before any window it could belong to: it opens over the window that asks.
    if (owner && parentWidget() != owner)
        setParent(owner, windowFlags() | Qt::Dialog);
    m_parameters = parameters;
    m_agency = agency;
    m_user = user;
    m_savedKind = m_savedCode = 0;
    if (!ListStoredSearches(agency, user, m_entries)) {
        FatalError(u"Error al cargar el filtro almacenado."_s);
        return false;
    }
    cboStoredFilters->clear();
    for (const TStoredSrchData& entry : m_entries)
        cboStoredFilters->addItem(entry.Kind == SrchClient ? u"Búsqueda para "_s + entry.Name : entry.Name);
    cboStoredFilters->setCurrentIndex(m_entries.isEmpty() ? -1 : 0);
    // Nothing to replace: the choice would only lead to a message.
    rbReplace->setEnabled(!m_entries.isEmpty());
    edtFilterName->clear();
    lblMsg->clear();
    rbNew->setChecked(true);
    ChoiceChanged();
    edtFilterName->setFocus();
    return exec() == QDialog::Accepted;
}

void TfrmFilterSave::ChoiceChanged()
{
    const bool fresh = rbNew->isChecked();
    edtFilterName->setEnabled(fresh);
    cboStoredFilters->setEnabled(!fresh);
    (fresh ? static_cast<QWidget*>(edtFilterName) : cboStoredFilters)->setFocus();
}

void TfrmFilterSave::ShowMessage(const QString& text)
{
    lblMsg->setText(text);
}

void TfrmFilterSave::Accept()
{
    lblMsg->clear();
    if (rbNew->isChecked()) {
        const QString name = edtFilterName->text().trimmed();
        edtFilterName->setText(name);
        if (name.isEmpty() || !IsGeneralText(name)) {
            ShowMessage(FilterSaveText::InvalidName);
            edtFilterName->setFocus();
            return;
        }
        if (StoredSearchNameExists(m_agency, m_user, name)) {
            ShowMessage(FilterSaveText::NameTaken);
            edtFilterName->setFocus();
            return;
        }
        int code = 0;
        if (!InsertStoredSearch(m_agency, m_user, name, m_parameters, &code)) {
            FatalError(FilterSaveText::SaveFailed);
            reject();
            return;
        }
        m_savedKind = SrchOwn;
        m_savedCode = code;
        accept();
        return;
    }
    const int index = cboStoredFilters->currentIndex();
    if (index < 0 || index >= m_entries.size()) {
        ShowMessage(FilterSaveText::ChooseEntry);
        return;
    }
    const TStoredSrchData& entry = m_entries[index];
    const bool saved = entry.Kind == SrchClient ? WriteClientSearch(m_agency, entry.Code, m_parameters, m_user)
                                                : UpdateStoredSearch(entry.Code, m_agency, m_user, m_parameters);
    if (!saved) {
        FatalError(FilterSaveText::SaveFailed);
        reject();
        return;
    }
    m_savedKind = entry.Kind;
    m_savedCode = entry.Code;
    accept();
}
