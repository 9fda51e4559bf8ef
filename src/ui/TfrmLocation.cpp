#include "ui/TfrmLocation.h"

#include "core/MiscFunc.h"
#include "db/uDB.h"
#include "ui/Style.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace LocationText {
const QString KeywordTooShort = u"Escriba al menos 3 letras de lo que busca."_s;
const QString SelectionMissing = u"Seleccione un elemento del listado."_s;
const QString Incomplete =
    u"La ubicación elegida no está completa: elija una localidad y una calle o un barrio cerrado."_s;
const QString SearchFailed = u"No se pudo realizar la búsqueda."_s;
const QString NothingFound = u"No se encontró nada con esa palabra clave."_s;
} // namespace LocationText

namespace {

constexpr int kClientWidth = 600;

const QString kNoteLocation =
    u"Ingrese una palabra clave de la localidad, ciudad o zona que está buscando, haga click en \"Buscar "
    u"ubicación\", seleccione la ubicación deseada del listado y haga click en \"Siguiente\""_s;
const QString kNoteStreet =
    u"Ingrese una palabra clave de la calle que está buscando, haga click en \"Buscar calle\", seleccione la "
    u"calle deseada del listado y haga click en \"Finalizar\""_s;
const QString kNoteNeighbourhood =
    u"Ingrese una palabra clave del barrio que está buscando, haga click en \"Buscar barrio\", seleccione el "
    u"barrio deseado del listado y haga click en \"Finalizar\""_s;

QLineEdit* KeywordEdit(const QString& name, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaxLength(60);
    edit->setPlaceholderText(u"Palabra clave"_s);
    return edit;
}

} // namespace

TfrmLocation::TfrmLocation(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"TfrmLocation"_s);
    setWindowTitle(u"Ubicación de la propiedad"_s);
    setModal(true);
    setFixedWidth(kClientWidth);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 14, 16, 14);
    column->setSpacing(8);
    auto* heading = new QHBoxLayout;
    lblTitle = new QLabel(this);
    lblTitle->setObjectName(u"lblTitle"_s);
    QFont titleFont = lblTitle->font();
    if (titleFont.pointSize() > 0)
        titleFont.setPointSize(titleFont.pointSize() + 4);
    else
        titleFont.setPixelSize(titleFont.pixelSize() + 5);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    lblStep = new QLabel(this);
    lblStep->setObjectName(u"lblStep"_s);
    heading->addWidget(lblTitle);
    heading->addWidget(lblStep);
    heading->addStretch(1);
    column->addLayout(heading);
    lblNote = new QLabel(this);
    lblNote->setObjectName(u"lblNote"_s);
    lblNote->setWordWrap(true);
    column->addWidget(lblNote);

    pages = new QStackedWidget(this);
    pages->setObjectName(u"pages"_s);
    auto page = [&](QLineEdit*& edit, QPushButton*& search, QListWidget*& list, const QString& suffix) {
        auto* widget = new QWidget(pages);
        auto* layout = new QVBoxLayout(widget);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* row = new QHBoxLayout;
        edit = KeywordEdit(u"edt"_s + suffix + u"Keyword"_s, widget);
        search = new QPushButton(widget);
        search->setObjectName(u"btnSearch"_s + suffix);
        search->setAutoDefault(false);
        row->addWidget(edit, 1);
        row->addWidget(search);
        layout->addLayout(row);
        list = new QListWidget(widget);
        list->setObjectName(u"lstbox"_s + suffix + u"s"_s);
        list->setMinimumHeight(260);
        layout->addWidget(list, 1);
        pages->addWidget(widget);
    };
    page(edtLocationKeyword, btnSearchLocation, lstboxLocations, u"Location"_s);
    page(edtPlaceKeyword, btnSearchPlace, lstboxPlaces, u"Place"_s);
    btnSearchLocation->setText(u"Buscar ubicación"_s);
    column->addWidget(pages, 1);

    lblMsg = new QLabel(this);
    lblMsg->setObjectName(u"lblMsg"_s);
    lblMsg->setWordWrap(true);
    column->addWidget(lblMsg);

    auto* buttons = new QHBoxLayout;
    btnCancel = new QPushButton(u"Cancelar"_s, this);
    btnCancel->setObjectName(u"btnCancel"_s);
    btnPrevious = new QPushButton(u"Anterior"_s, this);
    btnPrevious->setObjectName(u"btnPrevious"_s);
    btnNext = new QPushButton(u"Siguiente"_s, this);
    btnNext->setObjectName(u"btnNext"_s);
    btnFinish = new QPushButton(u"Finalizar"_s, this);
    btnFinish->setObjectName(u"btnFinish"_s);
    for (QPushButton* b : {btnCancel, btnPrevious, btnNext, btnFinish})
        b->setAutoDefault(false);
    buttons->addWidget(btnCancel);
    buttons->addStretch(1);
    buttons->addWidget(btnPrevious);
    buttons->addWidget(btnNext);
    buttons->addWidget(btnFinish);
    column->addLayout(buttons);

    connect(btnSearchLocation, &QPushButton::clicked, this, [this] { SearchLocation(); });
    connect(edtLocationKeyword, &QLineEdit::returnPressed, this, [this] { SearchLocation(); });
    connect(btnSearchPlace, &QPushButton::clicked, this, [this] { SearchPlace(); });
    connect(edtPlaceKeyword, &QLineEdit::returnPressed, this, [this] { SearchPlace(); });
    connect(lstboxLocations, &QListWidget::currentRowChanged, this, [this] { UpdateButtons(); });
    connect(lstboxPlaces, &QListWidget::currentRowChanged, this, [this] { UpdateButtons(); });
    connect(lstboxLocations, &QListWidget::itemDoubleClicked, this, [this] { btnNext->click(); });
    connect(lstboxPlaces, &QListWidget::itemDoubleClicked, this, [this] { btnFinish->click(); });
    connect(btnNext, &QPushButton::clicked, this, [this] {
        if (lstboxLocations->currentRow() < 0) {
            ShowMessage(LocationText::SelectionMissing, true);
            return;
        }
        ShowStep(2);
    });
    connect(btnPrevious, &QPushButton::clicked, this, [this] { ShowStep(1); });
    connect(btnFinish, &QPushButton::clicked, this, [this] { Finish(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfrmLocation::Execute(TLocationCodes& codes, bool neighbourhood, QString& locationText, QString& placeText)
{
    m_neighbourhood = neighbourhood;
    m_codes = codes;
    btnSearchPlace->setText(neighbourhood ? u"Buscar barrio"_s : u"Buscar calle"_s);
    edtLocationKeyword->clear();
    edtPlaceKeyword->clear();
    lstboxLocations->clear();
    lstboxPlaces->clear();
    m_locations.clear();
    m_places.clear();
    if (codes.Complete()) {
        // The current location and street, found again the way the user found them.
        const QString locality =
            ReadValue(u"W_Localidades"_s, u"Loc_Nombre"_s, u"Loc_Codigo"_s, QString::number(codes.Locality));
        edtLocationKeyword->setText(locality);
        if (SearchLocation())
            for (int i = 0; i < m_locations.size(); ++i) {
                const TLocationEntry& e = m_locations.at(i);
                if (e.Locality == codes.Locality && e.Zone == (codes.Zone > 0 ? codes.Zone : 1)) {
                    lstboxLocations->setCurrentRow(i);
                    break;
                }
            }
        const int place = neighbourhood ? codes.Neighbourhood : codes.Street;
        edtPlaceKeyword->setText(PlaceName(place, neighbourhood));
        if (SearchPlace())
            for (int i = 0; i < m_places.size(); ++i)
                if (m_places.at(i).Code == place) {
                    lstboxPlaces->setCurrentRow(i);
                    break;
                }
    }
    ShowMessage(QString(), false);
    ShowStep(1);
    edtLocationKeyword->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    codes = m_codes;
    locationText = m_locationText;
    placeText = m_placeText;
    return true;
}

void TfrmLocation::ShowStep(int step)
{
    pages->setCurrentIndex(step - 1);
    lblStep->setText(step == 1 ? u"(Paso 1/2)"_s : u"(Paso 2/2)"_s);
    if (step == 1) {
        lblTitle->setText(u"Buscar ubicación"_s);
        lblNote->setText(kNoteLocation);
        edtLocationKeyword->setFocus();
    } else {
        lblTitle->setText(m_neighbourhood ? u"Buscar barrio cerrado"_s : u"Buscar calle"_s);
        lblNote->setText(m_neighbourhood ? kNoteNeighbourhood : kNoteStreet);
        edtPlaceKeyword->setFocus();
    }
    ShowMessage(QString(), false);
    UpdateButtons();
}

bool TfrmLocation::SearchLocation()
{
    if (LocationKeyword(edtLocationKeyword->text()).size() < kMinLocationKeyword) {
        ShowMessage(LocationText::KeywordTooShort, true);
        return false;
    }
    lstboxLocations->clear();
    if (!SearchLocations(edtLocationKeyword->text(), m_locations)) {
        ShowMessage(LocationText::SearchFailed, true);
        return false;
    }
    for (const TLocationEntry& e : std::as_const(m_locations))
        lstboxLocations->addItem(e.Text);
    ShowMessage(m_locations.size() > 1 ? QString() : LocationText::NothingFound, false);
    UpdateButtons();
    return true;
}

bool TfrmLocation::SearchPlace()
{
    if (LocationKeyword(edtPlaceKeyword->text()).size() < kMinLocationKeyword) {
        ShowMessage(LocationText::KeywordTooShort, true);
        return false;
    }
    lstboxPlaces->clear();
    if (!SearchPlaces(edtPlaceKeyword->text(), m_neighbourhood, m_places)) {
        ShowMessage(LocationText::SearchFailed, true);
        return false;
    }
    for (const TPlaceEntry& e : std::as_const(m_places))
        lstboxPlaces->addItem(e.Text);
    ShowMessage(m_places.size() > 1 ? QString() : LocationText::NothingFound, false);
    UpdateButtons();
    return true;
}

void TfrmLocation::UpdateButtons()
{
    const bool first = pages->currentIndex() == 0;
    btnPrevious->setVisible(!first);
    btnNext->setVisible(first);
    btnFinish->setVisible(!first);
    btnNext->setEnabled(lstboxLocations->currentRow() >= 0);
    btnFinish->setEnabled(lstboxLocations->currentRow() >= 0 && lstboxPlaces->currentRow() >= 0);
}

void TfrmLocation::Finish()
{
    const int location = lstboxLocations->currentRow();
    const int place = lstboxPlaces->currentRow();
    if (location < 0 || location >= m_locations.size() || place < 0 || place >= m_places.size()) {
        ShowMessage(LocationText::SelectionMissing, true);
        return;
    }
    const TLocationEntry& l = m_locations.at(location);
    TLocationCodes codes;
    codes.Country = l.Country;
    codes.Province = l.Province;
    codes.District = l.District;
    codes.Locality = l.Locality;
    codes.Zone = l.Zone;
    (m_neighbourhood ? codes.Neighbourhood : codes.Street) = m_places.at(place).Code;
    if (!codes.Complete()) {
        ShowMessage(LocationText::Incomplete, true);
        return;
    }
    m_codes = codes;
    m_locationText = l.Text;
    m_placeText = m_places.at(place).Text;
    accept();
}

void TfrmLocation::ShowMessage(const QString& text, bool error)
{
    QPalette palette = lblMsg->palette();
    palette.setColor(QPalette::WindowText, error ? Colors::ErrorRed : Colors::MessageGrey);
    lblMsg->setPalette(palette);
    QFont font = lblMsg->font();
    font.setBold(error);
    lblMsg->setFont(font);
    lblMsg->setText(text);
}
