#include "ui/PropertyCard.h"

#include "ui/PhotoArea.h"

#include "core/Bugs.h"
#include "core/MiscFunc.h"
#include "core/UserMessages.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "records/PropertyTexts.h"
#include "search/Marks.h"
#include "search/PropertyQuery.h"
#include "sync/Session.h"
#include "sync/SyncData.h"
#include "ui/MapService.h"
#include "ui/Style.h"
#include "ui/TfrmViewer.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QEventLoop>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

const QString kLoadFailed = u"Error al cargar los datos de la propiedad \r\n[CODE P02]"_s;
const QString kDetailsFailed = u"Error al cargar los datos de la propiedad \r\n[CODE P03]"_s;
const QString kDetailFailed = u"Error al cargar los datos de la propiedad  [CODE P04]"_s;
const QString kNotFound = u"No se encontró la dirección."_s;
const QString kFetching = u"Obteniendo datos..."_s;
const QString kPhotosOffline = u"No hay conexión con el servicio de Korvel: las fotografías de esta propiedad "
                               u"no se pudieron descargar.\n\nIntente nuevamente cuando vuelva la conexión."_s;
const QString kPhotosNotOnService = u"El servicio de Korvel todavía no tiene los archivos de las fotografías de "
                                    u"esta propiedad.\n\nIntente nuevamente más tarde."_s;
const QString kSomePhotosNotOnService = u"No se pudieron descargar %1 de las %2 fotografías de esta propiedad: "
                                        u"el servicio de Korvel todavía no tiene sus archivos."_s;
const QString kYouTubeWatch = u"https://www.youtube.com/watch?v="_s;
const QString kVimeoWatch = u"https://vimeo.com/"_s;

constexpr int kPhotoWidth = 299;
constexpr int kThumbWidth = 155, kThumbHeight = 116, kThumbStep = 163, kThumbRowStep = 124;

QLineEdit* Field(const QString& name, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    return edit;
}

QLabel* Caption(const QString& name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

// Long addresses and names in narrow display fields: the font steps down (to 9 px at
// least) until the whole text fits, and comes back up when the field grows again; the
// full text is also the tooltip.
class TFitText : public QObject {
public:
    using QObject::QObject;
    static constexpr int Largest = 12, Smallest = 9;

    static void Watch(QLineEdit* edit)
    {
        static TFitText* fit = new TFitText(qApp);
        edit->installEventFilter(fit);
    }
    // The field's own style (colours of the status badge) without the font size.
    static void SetStyle(QLineEdit* edit, const QString& style)
    {
        edit->setProperty("fitStyle", style);
        Fit(edit);
    }
    static void Fit(QLineEdit* edit)
    {
        const QString style = edit->property("fitStyle").toString();
        const QString text = edit->text();
        const int room = edit->contentsRect().width() - edit->textMargins().left() - edit->textMargins().right() - 8;
        int size = Largest;
        QFont font = edit->font();
        for (; size > Smallest; --size) {
            font.setPixelSize(size);
            if (text.isEmpty() || QFontMetrics(font).horizontalAdvance(text) <= room)
                break;
        }
        const QString sheet = u"QLineEdit { %1 font-size: %2px; }"_s.arg(style).arg(size);
        if (edit->styleSheet() != sheet)
            edit->setStyleSheet(sheet);
        edit->setToolTip(text);
        edit->setCursorPosition(0);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            if (auto* edit = qobject_cast<QLineEdit*>(watched))
                Fit(edit);
        return false;
    }
};

} // namespace

QString VideoWatchUrl(const QString& propVideo)
{
    const QString provider = propVideo.section(u',', 0, 0).trimmed().toLower();
    const QString id = propVideo.section(u',', 1).trimmed();
    if (id.isEmpty())
        return {};
    if (provider == u"youtube"_s)
        return kYouTubeWatch + id;
    if (provider == u"vimeo"_s)
        return kVimeoWatch + id;
    return {};
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}

TPropertyCard::TPropertyCard(QWidget* parent) : QWidget(parent)
{
    setObjectName(u"PropertyCard"_s);
    BuildControls();
}

TPropertyCard::~TPropertyCard() = default;

void TPropertyCard::BuildControls()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);

    layoutPropNav = new QWidget(this);
    layoutPropNav->setObjectName(u"layoutPropNav"_s);
    auto* nav = new QHBoxLayout(layoutPropNav);
    nav->setContentsMargins(0, 0, 0, 0);
    const auto navButton = [&](const QString& name, const QString& text) {
        auto* b = new QPushButton(text, layoutPropNav);
        b->setObjectName(name);
        b->setFixedWidth(36);
        return b;
    };
    btnPropNavFirst = navButton(u"btnPropNavFirst"_s, u"|<"_s);
    btnPropNavLeft = navButton(u"btnPropNavLeft"_s, u"<"_s);
    lblPropNav = Caption(u"lblPropNav"_s, QString(), layoutPropNav);
    lblPropNav->setAlignment(Qt::AlignCenter);
    lblPropNav->setMinimumWidth(120);
    btnPropNavRight = navButton(u"btnPropNavRight"_s, u">"_s);
    btnPropNavLast = navButton(u"btnPropNavLast"_s, u">|"_s);
    // The card's mark toggle, its picture beside its word.
    imgPropMark = new QLabel(layoutPropNav);
    imgPropMark->setObjectName(u"imgPropMark"_s);
    btnPropMark = new QPushButton(u"Marcar"_s, layoutPropNav);
    btnPropMark->setObjectName(u"btnPropMark"_s);
    btnPropMark->setAutoDefault(false);
    nav->addWidget(imgPropMark);
    nav->addWidget(btnPropMark);
    connect(btnPropMark, &QPushButton::clicked, this, [this] {
        if (m_code <= 0)
            return;
        const bool marked = Marks().IsMarked(m_code);
        if (!(marked ? Marks().Unmark(m_code) : Marks().Mark(m_code))) {
            FatalError(u"Error al indicar los ítems marcados."_s);
            return;
        }
        ShowMarkState();
        Q_EMIT MarksChanged(Marks().Count());
    });
    nav->addStretch();
    for (QWidget* w :
         std::initializer_list<QWidget*>{btnPropNavFirst, btnPropNavLeft, lblPropNav, btnPropNavRight, btnPropNavLast})
        nav->addWidget(w);
    connect(btnPropNavFirst, &QPushButton::clicked, this, &TPropertyCard::NavigateFirst);
    connect(btnPropNavLeft, &QPushButton::clicked, this, &TPropertyCard::NavigatePrevious);
    connect(btnPropNavRight, &QPushButton::clicked, this, &TPropertyCard::NavigateNext);
    connect(btnPropNavLast, &QPushButton::clicked, this, &TPropertyCard::NavigateLast);
    outer->addWidget(layoutPropNav);

    // The form's header, shown only while editing.
    layoutPropFormHeader = new QWidget(this);
    layoutPropFormHeader->setObjectName(u"layoutPropFormHeader"_s);
    outer->addWidget(layoutPropFormHeader);

    // The tabs with the action column beside them.
    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(body, 1);
    tabsProp = new QTabWidget(this);
    tabsProp->setObjectName(u"tabsProp"_s);
    body->addWidget(tabsProp, 1);
    layoutPropActions = new QWidget(this);
    layoutPropActions->setObjectName(u"layoutPropActions"_s);
    body->addWidget(layoutPropActions);
    const auto page = [&](const QString& name, const QString& caption) {
        auto* w = new QWidget;
        w->setObjectName(name);
        tabsProp->addTab(w, caption);
        return w;
    };
    tabGeneral = page(u"tabGeneral"_s, u"  Datos generales  "_s);
    tabMoreInfo = page(u"tabMoreInfo"_s, u"  Más información  "_s);
    tabImages = page(u"tabImages"_s, u"  Imágenes  "_s);
    tabMap = page(u"tabMap"_s, u"  Mapa  "_s);
    tabPrivateInfo = page(u"tabPrivateInfo"_s, u"  Información privada  "_s);
    connect(tabsProp, &QTabWidget::currentChanged, this, &TPropertyCard::TabChanged);

    // --- General data: fields on the left, the photo on the right.
    auto* general = new QHBoxLayout(tabGeneral);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(3);
    general->addLayout(grid, 1);
    int row = 0;
    // Caption above field, several pairs per line.
    const auto pair = [&](int r, int column, QLabel* caption, QWidget* field, int span = 1) {
        grid->addWidget(caption, r, column, 1, span);
        grid->addWidget(field, r + 1, column, 1, span);
    };
    edtPropCodigo = Field(u"edtPropCodigo"_s, tabGeneral);
    edtPropCodigoInterno = Field(u"edtPropCodigoInterno"_s, tabGeneral);
    edtPropEstado = Field(u"edtPropEstado"_s, tabGeneral);
    edtPropIngreso = Field(u"edtPropIngreso"_s, tabGeneral);
    edtPropModificado = Field(u"edtPropModificado"_s, tabGeneral);
    pair(row, 0, Caption(u"lblPropCodigo"_s, u"Código"_s, tabGeneral), edtPropCodigo);
    pair(row, 1, Caption(u"lblPropCodigoInterno"_s, u"Código interno"_s, tabGeneral), edtPropCodigoInterno);
    pair(row, 3, Caption(u"lblPropIngreso"_s, u"Ingreso"_s, tabGeneral), edtPropIngreso);
    pair(row, 4, Caption(u"lblPropModificado"_s, u"Modificado"_s, tabGeneral), edtPropModificado);
    row += 2;
    edtPropEdif = Field(u"edtPropEdif"_s, tabGeneral);
    edtPropSitu = Field(u"edtPropSitu"_s, tabGeneral);
    edtPropPlazo = Field(u"edtPropPlazo"_s, tabGeneral);
    edtPropMoneda = Field(u"edtPropMoneda"_s, tabGeneral);
    edtPropPrecio = Field(u"edtPropPrecio"_s, tabGeneral);
    lblPropPlazo = Caption(u"lblPropPlazo"_s, u"Plazo"_s, tabGeneral);
    pair(row, 0, Caption(u"lblPropEdif"_s, u"Edificación"_s, tabGeneral), edtPropEdif);
    pair(row, 1, Caption(u"lblPropSitu"_s, u"Operación"_s, tabGeneral), edtPropSitu);
    pair(row, 2, lblPropPlazo, edtPropPlazo);
    pair(row, 3, Caption(u"lblPropMoneda"_s, u"Moneda"_s, tabGeneral), edtPropMoneda);
    pair(row, 4, Caption(u"lblPropPrecio"_s, u"Precio"_s, tabGeneral), edtPropPrecio);
    row += 2;

    // The address line is placed by hand: the rest field follows whichever field ends the
    // number part, which changes with the building type.
    layoutPropAddr = new QWidget(tabGeneral);
    layoutPropAddr->setObjectName(u"layoutPropAddr"_s);
    layoutPropAddr->setMinimumHeight(42);
    lblPropCalleBarrio = Caption(u"lblPropCalleBarrio"_s, StreetCaption(false), layoutPropAddr);
    lblPropNum = Caption(u"lblPropNum"_s, NumberCaption(false), layoutPropAddr);
    lblPropPiso = Caption(u"lblPropPiso"_s, u"Piso"_s, layoutPropAddr);
    lblPropDto = Caption(u"lblPropDto"_s, u"U.F."_s, layoutPropAddr);
    lblPropOtros = Caption(u"lblPropOtros"_s, u"Resto"_s, layoutPropAddr);
    edtPropCalleBarrio = Field(u"edtPropCalleBarrio"_s, layoutPropAddr);
    edtPropNum = Field(u"edtPropNum"_s, layoutPropAddr);
    edtPropPiso = Field(u"edtPropPiso"_s, layoutPropAddr);
    edtPropDto = Field(u"edtPropDto"_s, layoutPropAddr);
    edtPropOtros = Field(u"edtPropOtros"_s, layoutPropAddr);
    grid->addWidget(layoutPropAddr, row++, 0, 1, 5);

    edtProptLoc = Field(u"edtProptLoc"_s, tabGeneral);
    edtPropZon = Field(u"edtPropZon"_s, tabGeneral);
    edtPropPart = Field(u"edtPropPart"_s, tabGeneral);
    edtPropProv = Field(u"edtPropProv"_s, tabGeneral);
    edtPropPais = Field(u"edtPropPais"_s, tabGeneral);
    pair(row, 0, Caption(u"lblProptLoc"_s, u"Localidad"_s, tabGeneral), edtProptLoc);
    pair(row, 1, Caption(u"lblPropZon"_s, u"Zona"_s, tabGeneral), edtPropZon);
    pair(row, 2, Caption(u"lblPropPart"_s, u"Partido"_s, tabGeneral), edtPropPart);
    pair(row, 3, Caption(u"lblPropProv"_s, u"Provincia"_s, tabGeneral), edtPropProv);
    pair(row, 4, Caption(u"lblPropPais"_s, u"País"_s, tabGeneral), edtPropPais);
    row += 2;

    edtPropSupTno = Field(u"edtPropSupTno"_s, tabGeneral);
    edtPropSupCub = Field(u"edtPropSupCub"_s, tabGeneral);
    edtPropPlantas = Field(u"edtPropPlantas"_s, tabGeneral);
    edtPropBanos = Field(u"edtPropBanos"_s, tabGeneral);
    edtPropDorm = Field(u"edtPropDorm"_s, tabGeneral);
    edtPropAno = Field(u"edtPropAno"_s, tabGeneral);
    lblPropSupTno = Caption(u"lblPropSupTno"_s, SurfaceLabel(0, false), tabGeneral);
    lblPropSupCub = Caption(u"lblPropSupCub"_s, u"Sup. Cubierta"_s, tabGeneral);
    lblPropPlantas = Caption(u"lblPropPlantas"_s, u"Plantas"_s, tabGeneral);
    lblPropBanos = Caption(u"lblPropBanos"_s, u"Baños"_s, tabGeneral);
    lblPropDorm = Caption(u"lblPropDorm"_s, RoomsLabel(0, true), tabGeneral);
    lblPropAno = Caption(u"lblPropAno"_s, YearCaption(false), tabGeneral);
    pair(row, 0, lblPropSupTno, edtPropSupTno);
    pair(row, 1, lblPropSupCub, edtPropSupCub);
    pair(row, 2, lblPropPlantas, edtPropPlantas);
    pair(row, 3, lblPropDorm, edtPropDorm);
    pair(row, 4, lblPropBanos, edtPropBanos);
    row += 2;
    pair(row, 0, lblPropAno, edtPropAno);
    auto* checks = new QHBoxLayout;
    const auto check = [&](const QString& name, const QString& text) {
        auto* box = new QCheckBox(text, tabGeneral);
        box->setObjectName(name);
        // Display mode: a click is undone at once.
        connect(box, &QCheckBox::clicked, box, [this, box](bool on) {
            if (m_editMode == 0)
                box->setChecked(!on);
        });
        checks->addWidget(box);
        return box;
    };
    chkPropDepend = check(u"chkPropDepend"_s, u"Dependencias"_s);
    chkPropCochera = check(u"chkPropCochera"_s, u"Cochera"_s);
    chkPropTel = check(u"chkPropTel"_s, u"Teléfono"_s);
    chkPropAEstrenar = check(u"chkPropAEstrenar"_s, u"A estrenar"_s);
    checks->addStretch();
    grid->addLayout(checks, row + 1, 1, 1, 4);
    row += 2;

    edtPropInmoNombre = Field(u"edtPropInmoNombre"_s, tabGeneral);
    edtPropInmoTel = Field(u"edtPropInmoTel"_s, tabGeneral);
    edtPropInmoEmail = Field(u"edtPropInmoEmail"_s, tabGeneral);
    pair(row, 0, Caption(u"lblPropInmoNombre"_s, u"Inmobiliaria"_s, tabGeneral), edtPropInmoNombre, 2);
    pair(row, 2, Caption(u"lblPropInmoTel"_s, u"Teléfono"_s, tabGeneral), edtPropInmoTel);
    pair(row, 3, Caption(u"lblPropInmoEmail"_s, u"E-mail"_s, tabGeneral), edtPropInmoEmail, 2);
    row += 2;
    edtPropSellerName = Field(u"edtPropSellerName"_s, tabGeneral);
    edtPropSellerTel = Field(u"edtPropSellerTel"_s, tabGeneral);
    edtPropSellerEmail = Field(u"edtPropSellerEmail"_s, tabGeneral);
    pair(row, 0, Caption(u"lblPropSellerName"_s, u"Vendedor"_s, tabGeneral), edtPropSellerName, 2);
    pair(row, 2, Caption(u"lblPropSellerTel"_s, u"Teléfono"_s, tabGeneral), edtPropSellerTel);
    pair(row, 3, Caption(u"lblPropSellerEmail"_s, u"E-mail"_s, tabGeneral), edtPropSellerEmail, 2);
    for (QLineEdit* edit : {edtPropEstado, edtPropInmoNombre, edtPropInmoEmail, edtPropSellerName, edtPropSellerEmail})
        TFitText::Watch(edit);
    row += 2;
    mmoPropDesc = new QPlainTextEdit(tabGeneral);
    mmoPropDesc->setObjectName(u"mmoPropDesc"_s);
    mmoPropDesc->setReadOnly(true);
    grid->addWidget(Caption(u"lblPropDesc"_s, u"Descripción"_s, tabGeneral), row++, 0, 1, 5);
    grid->addWidget(mmoPropDesc, row++, 0, 1, 5);
    grid->setRowStretch(row - 1, 1);

    auto* photoColumn = new QVBoxLayout;
    general->addLayout(photoColumn);
    // The status badge heads the photo: a withdrawal reason such as "Vendida por otra
    // inmobiliaria" needs more room than a field column has.
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(Caption(u"lblPropEstado"_s, u"Estado"_s, tabGeneral));
    statusRow->addWidget(edtPropEstado, 1);
    photoColumn->addLayout(statusRow);
    imgPropPhoto = new TClickLabel(tabGeneral);
    imgPropPhoto->setObjectName(u"imgPropPhoto"_s);
    imgPropPhoto->setFixedSize(kPhotoWidth, kPhotoWidth * 3 / 4);
    imgPropPhoto->setAlignment(Qt::AlignCenter);
    connect(imgPropPhoto, &TClickLabel::clicked, this, [this] {
        if (!m_photoLoaded)
            return;
        const int index = m_photoIndex;
        tabsProp->setCurrentWidget(tabImages);
        m_photoIndex = index;
    });
    photoColumn->addWidget(imgPropPhoto);
    // In the edit form the photo area stands where the photo is: add, delete, rotate, or drop files.
    rectPropEditPhotos = new TPhotoArea(tabGeneral);
    rectPropEditPhotos->setObjectName(u"rectPropEditPhotos"_s);
    // Smaller than the shown photo: the form's buttons and publication options share the column.
    rectPropEditPhotos->SetPhotoSize(QSize(240, 180));
    rectPropEditPhotos->hide();
    photoColumn->addWidget(rectPropEditPhotos);
    auto* photoNav = new QHBoxLayout;
    btnPropImgPrior = new QPushButton(u"<"_s, tabGeneral);
    btnPropImgPrior->setObjectName(u"btnPropImgPrior"_s);
    lblPropImgIndex = Caption(u"lblPropImgIndex"_s, u"0 / 0"_s, tabGeneral);
    lblPropImgIndex->setAlignment(Qt::AlignCenter);
    btnPropImgNext = new QPushButton(u">"_s, tabGeneral);
    btnPropImgNext->setObjectName(u"btnPropImgNext"_s);
    photoNav->addWidget(btnPropImgPrior);
    photoNav->addWidget(lblPropImgIndex, 1);
    photoNav->addWidget(btnPropImgNext);
    photoColumn->addLayout(photoNav);
    connect(btnPropImgPrior, &QPushButton::clicked, this, [this] {
        m_photos = FetchPhotos(CurrentSessionValues(), QString::number(m_code), false, false);
        ShowPhoto(m_photoIndex - 1);
    });
    connect(btnPropImgNext, &QPushButton::clicked, this, [this] {
        m_photos = FetchPhotos(CurrentSessionValues(), QString::number(m_code), false, false);
        ShowPhoto(m_photoIndex + 1);
    });
    lblPropPhotoDownload = Caption(u"lblPropPhotoDownload"_s, u"<a href=\"#\">Descargar fotografías</a>"_s, tabGeneral);
    lblPropPhotoDownload->setAlignment(Qt::AlignCenter);
    connect(lblPropPhotoDownload, &QLabel::linkActivated, this, [this] { DownloadPhotos(); });
    photoColumn->addWidget(lblPropPhotoDownload);
    btnPropPlayVideo = new QPushButton(u"Ver video"_s, tabGeneral);
    btnPropPlayVideo->setObjectName(u"btnPropPlayVideo"_s);
    connect(btnPropPlayVideo, &QPushButton::clicked, this, [this] { OpenVideo(); });
    photoColumn->addWidget(btnPropPlayVideo);
    photoColumn->addStretch();

    // --- Photo strip: a fixed container centred in the tab.
    rectPropPhotoStrip = new QWidget(tabImages);
    rectPropPhotoStrip->setObjectName(u"rectPropPhotoStrip"_s);
    rectPropPhotoStrip->setFixedSize(815, 372);

    // --- Map.
    imgPropMap = new TClickLabel(tabMap);
    imgPropMap->setObjectName(u"imgPropMap"_s);
    imgPropMap->setAlignment(Qt::AlignCenter);
    imgPropMap->setText(kFetching);
    lblPropMapAddress = Caption(u"lblPropMapAddress"_s, QString(), tabMap);
    lblPropMapAddress->setStyleSheet(u"background: rgba(255,255,255,220); padding: 3px;"_s);
    imgPropMapBadge = Caption(u"imgPropMapBadge"_s, QString(), tabMap);
    imgPropMapBadge->setPixmap(AppPicture(u"imgMapBadge"_s));
    imgPropMapApprox = Caption(u"imgPropMapApprox"_s, QString(), tabMap);
    imgPropMapApprox->setPixmap(AppPicture(u"imgMapApprox"_s));
    imgPropMapApprox->setAttribute(Qt::WA_TransparentForMouseEvents);
    for (QLabel* w : {static_cast<QLabel*>(imgPropMap), lblPropMapAddress, imgPropMapBadge}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this, [this, w](const QPoint& at) {
            QMenu* menu = MapMenu(this);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(w->mapToGlobal(at));
        });
    }
    imgPropMapBadge->hide();
    imgPropMapApprox->hide();
    connect(imgPropMap, &TClickLabel::clicked, this, [this] {
        if (!m_coordinates.isEmpty())
            OpenUrl(DirectionsMapUrl(m_coordinates));
    });

    // --- Private data.
    auto* privateLayout = new QVBoxLayout(tabPrivateInfo);
    mmoPropInfoPrivada = new QPlainTextEdit(tabPrivateInfo);
    mmoPropInfoPrivada->setObjectName(u"mmoPropInfoPrivada"_s);
    mmoPropInfoPrivada->setReadOnly(true);
    privateLayout->addWidget(mmoPropInfoPrivada);

    for (QWidget* w : {layoutPropAddr, tabMap, tabImages})
        w->installEventFilter(this);
    BuildEditControls();
    SetNavigation(0, 0);
    ClearFields();
}

void TPropertyCard::SetNavigation(int position, int count)
{
    lblPropNav->setText(u"Prop: %1 / %2"_s.arg(position).arg(count));
    btnPropNavFirst->setEnabled(position > 1);
    btnPropNavLeft->setEnabled(position > 1);
    btnPropNavRight->setEnabled(position < count);
    btnPropNavLast->setEnabled(position < count);
}

void TPropertyCard::ShowMarkState()
{
    const bool marked = Marks().IsMarked(m_code);
    btnPropMark->setText(marked ? u"Desmarcar"_s : u"Marcar"_s);
    imgPropMark->setText(marked ? u"☑"_s : u"☐"_s);
    imgPropMark->setStyleSheet(marked ? u"color: #01548E; font-size: 16px;"_s : u"color: #808080; font-size: 16px;"_s);
}

void TPropertyCard::ClearFields()
{
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        edit->clear();
    for (QCheckBox* box : {chkPropDepend, chkPropCochera, chkPropTel, chkPropAEstrenar})
        box->setChecked(false);
    TFitText::SetStyle(edtPropEstado, QString());
    mmoPropDesc->clear();
    mmoPropInfoPrivada->clear();
    qDeleteAll(tabMoreInfo->findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
    qDeleteAll(rectPropPhotoStrip->findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
    m_stripBuilt = false;
    m_photos.clear();
    m_photoIndex = 0;
    m_photoCount = 0;
    m_photoLoaded = false;
    m_video.clear();
    m_mapDone = false;
    m_coordinates.clear();
    m_foundLabel.clear();
    m_mapPicture = QPixmap();
    imgPropMap->setPixmap(QPixmap());
    imgPropMap->setText(kFetching);
    lblPropMapAddress->clear();
    imgPropMapBadge->hide();
    imgPropMapApprox->hide();
}

bool TPropertyCard::ShowProperty(qint64 code)
{
    std::unique_ptr<TResultSet> row;
    TDataBase* db = DB();
    const QString sql = PropertyQuerySql() + u"WHERE `W_Propiedades`.`Prop_Codigo`=%1;"_s.arg(code);
    if (!db || !db->QueryNoCount(sql, row) || !row || row->RecordCount() == 0) {
        WriteLog(u"$8017"_s, u"Prop=%1 %2"_s.arg(code).arg(TakeDbLastError()));
        ShowError(kLoadFailed);
        return false;
    }
    m_filling = true;
    m_code = code;
    if (m_editMode != 0)
        SetEditLayout(false);
    m_editMode = 0;
    ShowMarkState();
    tabsProp->blockSignals(true);
    ClearFields();
    FillFields(*row);
    tabsProp->setCurrentWidget(tabGeneral);
    tabsProp->blockSignals(false);
    m_filling = false;
    UpdateActions();
    return true;
}

void TPropertyCard::FillFields(const TResultSet& row)
{
    edtPropCodigo->setText(FormatCode(m_code));
    edtPropCodigoInterno->setText(PropText(row, u"Prop_CodigoInterno"_s));
    edtPropMoneda->setText(CurrencyNameText(row));
    edtPropPrecio->setText(PriceText(row));
    edtPropEdif->setText(DecodeHtmlEntities(PropText(row, u"Edif_Nombre"_s)));
    edtPropSitu->setText(DecodeHtmlEntities(PropText(row, u"Situ_Nombre"_s)));
    edtPropPlazo->setText(PropText(row, u"Prop_Plazo"_s));
    const bool gated = PropInteger(row, u"Barrio_Codigo"_s) > 0;
    edtPropCalleBarrio->setText(gated ? PropText(row, u"Barrio_Nombre"_s)
                                      : ReorderStreetName(PropText(row, u"Calle_Nombre"_s)));
    edtPropNum->setText(NumberText(row, u"Prop_Numero"_s));
    edtPropPiso->setText(PropText(row, u"Prop_Piso"_s).trimmed());
    edtPropDto->setText(PropText(row, u"Prop_Dto"_s).trimmed());
    edtPropOtros->setText(PropText(row, u"Prop_Resto"_s).trimmed());
    edtProptLoc->setText(PropText(row, u"Loc_Nombre"_s));
    edtPropZon->setText(PropText(row, u"Zon_Nombre"_s));
    edtPropPart->setText(PropText(row, u"Part_Nombre"_s));
    edtPropProv->setText(PropText(row, u"Prov_Nombre"_s));
    edtPropPais->setText(PropText(row, u"Pais_Nombre"_s));
    edtPropSupTno->setText(NumberText(row, u"Prop_SupTno"_s));
    edtPropSupCub->setText(NumberText(row, u"Prop_SupCub"_s));
    edtPropPlantas->setText(NumberText(row, u"Prop_Plantas"_s));
    edtPropBanos->setText(NumberText(row, u"Prop_Banos"_s));
    edtPropDorm->setText(RoomsValue(row));
    edtPropAno->setText(AgeText(row));
    edtPropIngreso->setText(DisplayDateTime(PropDateTime(row, u"Prop_FechaAlta"_s)));
    edtPropModificado->setText(DisplayDateTime(PropDateTime(row, u"Prop_FechaMod"_s)));
    edtPropInmoNombre->setText(AgencyNameText(row).trimmed());
    edtPropInmoTel->setText(PropText(row, u"Inmo_Te"_s).trimmed());
    edtPropInmoEmail->setText(PropText(row, u"Inmo_email"_s).trimmed());
    edtPropSellerName->setText(PropText(row, u"Vend_Nombre"_s).trimmed());
    edtPropSellerTel->setText(PropText(row, u"Vend_Te"_s).trimmed());
    edtPropSellerEmail->setText(PropText(row, u"Vend_email"_s).trimmed());
    mmoPropDesc->setPlainText(DescriptionText(row));
    QTextCursor caret = mmoPropDesc->textCursor();
    caret.movePosition(QTextCursor::Start);
    mmoPropDesc->setTextCursor(caret);
    chkPropDepend->setChecked(PropBoolean(row, u"Prop_Depn"_s));
    chkPropCochera->setChecked(PropBoolean(row, u"Prop_Cochera"_s));
    chkPropTel->setChecked(PropBoolean(row, u"Prop_Te"_s));
    chkPropAEstrenar->setChecked(PropBoolean(row, u"Prop_aEstrenar"_s));

    const TPropertyStatus status = StatusText(row, false);
    const TStatusBadge badge = StatusBadge(status);
    edtPropEstado->setText(status.text);
    TFitText::SetStyle(edtPropEstado,
                       u"background: %1; color: %2; font-weight: bold;"_s.arg(QColor::fromRgba(badge.background).name(),
                                                                              QColor::fromRgba(badge.text).name()));
    for (QLineEdit* edit : {edtPropInmoNombre, edtPropInmoEmail, edtPropSellerName, edtPropSellerEmail})
        TFitText::Fit(edit);

    ApplyBuildingType(row);

    const bool ownAgency = PropInteger(row, u"Inmo_Codigo"_s) == CurrentAgencyCode();
    mmoPropInfoPrivada->setPlainText(ownAgency ? PropText(row, u"Prop_InformacionPrivada"_s) : QString());
    tabsProp->setTabVisible(tabsProp->indexOf(tabPrivateInfo), ownAgency);

    tabsProp->setTabVisible(tabsProp->indexOf(tabMoreInfo), LoadExtraDetails());

    // The card opens on the first photo; the count is that of all the property's photos.
    m_photoCount = 0;
    if (TDataBase* db = DB()) {
        std::unique_ptr<TResultSet> count;
        if (db->QueryNoCount(
                u"SELECT COUNT(*) AS `N` FROM `W_Fotos` WHERE `Prop_Codigo`=%1 AND IFNULL(`Sync_Tipo`, '') <> 'B';"_s
                    .arg(m_code),
                count) &&
            count)
            m_photoCount = count->AsInteger(u"N"_s);
    }
    m_photos = FetchPhotos(CurrentSessionValues(), QString::number(m_code), true, false);
    ShowPhoto(0);
    tabsProp->setTabVisible(tabsProp->indexOf(tabImages), m_photoCount > 0);
    tabsProp->setTabVisible(tabsProp->indexOf(tabMap), true);

    m_video = PropText(row, u"Prop_Video"_s).trimmed();
    btnPropPlayVideo->setVisible(!m_video.isEmpty());
}

void TPropertyCard::ApplyBuildingType(const TResultSet& row)
{
    ApplyBuildingType(int(PropInteger(row, u"Edif_Codigo"_s)), PropInteger(row, u"Barrio_Codigo"_s) > 0,
                      int(PropInteger(row, u"Situ_Codigo"_s)));
}

void TPropertyCard::ApplyBuildingType(int type, bool gated, int operation)
{
    lblPropCalleBarrio->setText(StreetCaption(gated));
    lblPropNum->setText(NumberCaption(gated));
    lblPropDorm->setText(RoomsLabel(type, true));
    lblPropDto->setText(UnitLabel(type));
    lblPropSupTno->setText(SurfaceLabel(type, false));
    lblPropAno->setText(YearCaption(m_editMode != 0));

    const auto applies = [&](QWidget* caption, QWidget* field, bool on) {
        caption->setVisible(on);
        field->setVisible(on);
        if (!on) {
            if (auto* edit = qobject_cast<QLineEdit*>(field))
                edit->clear();
        }
    };
    applies(lblPropDorm, edtPropDorm, RoomsApply(type));
    applies(lblPropBanos, edtPropBanos, FieldApplies(u"Baños"_s, type));
    applies(lblPropSupCub, edtPropSupCub, FieldApplies(u"Sup. Cubierta"_s, type));
    applies(lblPropPlantas, edtPropPlantas, FieldApplies(u"Plantas"_s, type));
    applies(lblPropAno, edtPropAno, FieldApplies(u"Año"_s, type));
    const std::pair<QCheckBox*, QString> boxes[] = {{chkPropDepend, u"Dependencias"_s},
                                                    {chkPropCochera, u"Cochera"_s},
                                                    {chkPropTel, u"Teléfono"_s},
                                                    {chkPropAEstrenar, u"A estrenar"_s}};
    for (const auto& [box, key] : boxes) {
        const bool on = FieldApplies(key, type);
        box->setVisible(on);
        if (!on)
            box->setChecked(false);
    }
    const bool floor = FieldApplies(u"Piso"_s, type);
    applies(lblPropPiso, edtPropPiso, floor);
    applies(lblPropDto, edtPropDto, floor);
    const bool term = TermApplies(operation, TTermRule::Card);
    lblPropPlazo->setVisible(term);
    edtPropPlazo->setVisible(term && m_editMode == 0);
    if (cboPropPlazo)
        cboPropPlazo->setVisible(term && m_editMode != 0);
    if (!term)
        edtPropPlazo->clear();
    PlaceRestField();
}

// Street, number, floor and unit at fixed widths; the rest takes what is left.
void TPropertyCard::PlaceRestField()
{
    const int captionHeight = 16, fieldHeight = 24;
    int x = 0;
    const auto place = [&](QLabel* caption, QLineEdit* field, int width) {
        caption->setGeometry(x, 0, width, captionHeight);
        field->setGeometry(x, captionHeight, width, fieldHeight);
        x += width + 3;
    };
    place(lblPropCalleBarrio, edtPropCalleBarrio, 220);
    place(lblPropNum, edtPropNum, 70);
    if (edtPropPiso->isVisibleTo(this)) {
        place(lblPropPiso, edtPropPiso, 50);
        place(lblPropDto, edtPropDto, 50);
    }
    const int width = std::max(40, layoutPropAddr->width() - 17 - x);
    place(lblPropOtros, edtPropOtros, width);
}

bool TPropertyCard::LoadExtraDetails()
{
    std::unique_ptr<TResultSet> rows;
    TDataBase* db = DB();
    const QString sql =
        u"SELECT `W_DetalleEdif`.`DetalleEdif_Codigo`, `W_DetalleEdif`.`DetalleEdif_Nombre`, "
        u"`W_DetalleEdif`.`DetalleEdif_Opciones`, `W_TipoCampos`.`TipoCampo_Nombre`, `W_MasDatos`.`MasDato_Valor` "
        u"FROM `W_MasDatos` INNER JOIN `W_DetalleEdif` ON `W_MasDatos`.`DetalleEdif_Codigo` = "
        u"`W_DetalleEdif`.`DetalleEdif_Codigo` INNER JOIN `W_TipoCampos` ON `W_DetalleEdif`.`TipoCampo_Codigo` = "
        u"`W_TipoCampos`.`TipoCampo_Codigo` WHERE `W_MasDatos`.`Prop_Codigo`=%1 AND "
        u"IFNULL(`W_MasDatos`.`Sync_Tipo`, '') <> 'B' ORDER BY "
        u"`W_DetalleEdif`.`DetalleEdif_Nombre`;"_s.arg(m_code);
    if (!db || !db->QueryNoCount(sql, rows) || !rows) {
        WriteLog(u"$2074"_s, TakeDbLastError());
        ShowError(kDetailsFailed);
        return false;
    }
    // Columns of label and field, top to bottom, a new column before the tab's bottom.
    const int bottom = tabsProp->height() - 73 - tabMoreInfo->mapTo(tabsProp, QPoint(0, 0)).y();
    int x = 7, y = 10, count = 0;
    for (rows->First(); !rows->Eof(); rows->Next()) {
        const QString type = rows->AsString(u"TipoCampo_Nombre"_s).trimmed().toUpper();
        const QString name = u"MASDATO_"_s + type + u'_' + rows->AsString(u"DetalleEdif_Codigo"_s);
        if (tabMoreInfo->findChild<QWidget*>(name))
            continue;
        QString value = rows->AsString(u"MasDato_Valor"_s);
        if (type == u"COMBO"_s) {
            bool ok = false;
            const int index = value.trimmed().toInt(&ok);
            const QStringList options = rows->AsString(u"DetalleEdif_Opciones"_s).split(u'/');
            value = ok && index >= 0 && index < options.size() ? options.at(index) : QString();
        } else if (type != u"TEXT"_s) {
            WriteLog(u"$8018"_s, u"Tipo de campo desconocido: "_s + type);
            ShowError(kDetailFailed);
            continue;
        }
        if (count > 0 && y + 46 > bottom) {
            x += 177;
            y = 10;
        }
        auto* caption = new QLabel(EscapeAmpersands(rows->AsString(u"DetalleEdif_Nombre"_s)), tabMoreInfo);
        caption->setObjectName(u"lbl"_s + name);
        caption->setGeometry(x, y, 165, 16);
        caption->show();
        QLineEdit* field = Field(name, tabMoreInfo);
        field->setText(value);
        field->setCursorPosition(0);
        field->setGeometry(x, y + 16, 165, 24);
        field->show();
        y += 46;
        ++count;
    }
    return count > 0;
}

void TPropertyCard::ShowPhoto(int index)
{
    if (!m_photos.isEmpty())
        m_photoIndex = qBound(0, index, int(m_photos.size()) - 1);
    else
        m_photoIndex = 0;
    QPixmap picture;
    m_photoLoaded = false;
    if (m_photos.isEmpty()) {
        picture = AppPicture(u"imgNoPhoto"_s);
    } else if (picture.load(m_photos.at(m_photoIndex)) && !picture.isNull()) {
        m_photoLoaded = true;
    } else {
        picture = AppPicture(u"imgPhotoAvailable"_s);
    }
    imgPropPhoto->setPixmap(picture.scaled(imgPropPhoto->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    imgPropPhoto->setCursor(m_photoLoaded ? Qt::PointingHandCursor : Qt::ArrowCursor);
    lblPropImgIndex->setText(m_photoCount > 0 ? u"%1 / %2"_s.arg(m_photoIndex + 1).arg(m_photoCount) : u"0 / 0"_s);
    btnPropImgPrior->setEnabled(m_photoIndex > 0);
    btnPropImgNext->setEnabled(m_photoIndex < m_photoCount - 1);
    lblPropPhotoDownload->setVisible(!m_photoLoaded && m_photoCount > 0);
}

void TPropertyCard::DownloadPhotos()
{
    const bool online = SyncEnabled;
    m_photos = FetchPhotos(CurrentSessionValues(), QString::number(m_code), false, true);
    ShowPhoto(0);
    m_stripBuilt = false;
    BuildPhotoStrip();
    int missing = 0;
    for (const QString& path : std::as_const(m_photos))
        missing += QFileInfo::exists(path) ? 0 : 1;
    if (missing == 0)
        return;
    // A click that brings nothing must say why: offline, or the service has no files.
    if (!online || !SyncEnabled)
        ShowInformation(kPhotosOffline);
    else if (missing == m_photos.size())
        ShowInformation(kPhotosNotOnService);
    else
        ShowInformation(kSomePhotosNotOnService.arg(missing).arg(m_photos.size()));
}

void TPropertyCard::BuildPhotoStrip()
{
    try {
        qDeleteAll(rectPropPhotoStrip->findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
        m_photos = FetchPhotos(CurrentSessionValues(), QString::number(m_code), false, false);
        int x = 0, y = 0;
        const auto next = [&] {
            x += kThumbStep;
            if (x + kThumbWidth > rectPropPhotoStrip->width()) {
                x = 0;
                y += kThumbRowStep;
            }
        };
        for (int i = 0; i < m_photos.size(); ++i) {
            auto* thumb = new TClickLabel(rectPropPhotoStrip);
            thumb->setObjectName(u"imgPhotoThumb"_s + QString::number(i));
            thumb->setProperty("tag", i);
            thumb->setGeometry(x, y, kThumbWidth, kThumbHeight);
            thumb->setAlignment(Qt::AlignCenter);
            QPixmap picture;
            if (!picture.load(m_photos.at(i)) || picture.isNull())
                picture = AppPicture(u"imgPhotoAvailable"_s);
            thumb->fullPicture = picture;
            thumb->setPixmap(picture.scaled(thumb->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
            thumb->setCursor(Qt::PointingHandCursor);
            connect(thumb, &TClickLabel::clicked, this, [this, i] { OpenViewer(i); });
            thumb->show();
            next();
        }
        const QString watch = VideoWatchUrl(m_video);
        if (!watch.isEmpty()) {
            auto* video = new TClickLabel(rectPropPhotoStrip);
            video->setObjectName(u"imgPhotoThumbVideo"_s);
            video->setProperty("tag", watch);
            video->setGeometry(x, y, kThumbWidth, kThumbHeight);
            video->setPixmap(AppPicture(m_video.section(u',', 0, 0).trimmed().toLower() == u"vimeo"_s ? u"imgVimeo"_s
                                                                                                      : u"imgYouTube"_s,
                                        QSize(kThumbWidth, kThumbHeight)));
            video->setCursor(Qt::PointingHandCursor);
            connect(video, &TClickLabel::clicked, this, [watch] { OpenUrl(watch); });
            video->show();
        }
        m_stripBuilt = true;
    } catch (const std::exception& e) {
        WriteLog(u"$8014"_s, QString::fromUtf8(e.what()));
    }
}

void TPropertyCard::OpenViewer(int index)
{
    QList<QPixmap> pictures;
    for (int i = 0;; ++i) {
        auto* thumb = rectPropPhotoStrip->findChild<TClickLabel*>(u"imgPhotoThumb"_s + QString::number(i));
        if (!thumb)
            break;
        pictures << thumb->fullPicture;
    }
    if (pictures.isEmpty())
        return;
    QPointer<TfrmViewer> viewer = new TfrmViewer(pictures, index, this);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    QEventLoop wait;
    connect(viewer, &QDialog::finished, &wait, &QEventLoop::quit);
    viewer->show();
    viewer->activateWindow();
    wait.exec();
}

void TPropertyCard::TabChanged(int index)
{
    if (m_filling)
        return;
    QWidget* page = tabsProp->widget(index);
    if (page == tabImages && !m_stripBuilt)
        BuildPhotoStrip();
    else if (page == tabMap && !m_mapDone)
        LoadMap();
}

void TPropertyCard::LoadMap()
{
    if (m_mapBusy || m_mapDone || m_code == 0)
        return;
    m_mapBusy = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{m_mapBusy};

    std::unique_ptr<TResultSet> row;
    TDataBase* db = DB();
    if (!db || !db->QueryNoCount(PropertyQuerySql() + u"WHERE `W_Propiedades`.`Prop_Codigo`=%1;"_s.arg(m_code), row) ||
        !row || row->RecordCount() == 0)
        return;
    m_mapDone = true;
    const auto decimal = [](QString text) { return text.trimmed().replace(u',', u'.'); };
    QString lat, lon, caption;
    bool exact = false;
    const bool gated = PropInteger(*row, u"Barrio_Codigo"_s) > 0;
    const QString barrioLat = decimal(PropText(*row, u"Barrio_Latitud"_s)),
                  barrioLon = decimal(PropText(*row, u"Barrio_Longitud"_s));
    const QString propLat = decimal(PropText(*row, u"Prop_Latitud"_s)),
                  propLon = decimal(PropText(*row, u"Prop_Longitud"_s));
    if (gated && !barrioLat.isEmpty() && !barrioLon.isEmpty()) {
        lat = barrioLat;
        lon = barrioLon;
        exact = true;
        caption = u"Barrio "_s + PropText(*row, u"Barrio_Nombre"_s) + u" ("_s + lat + u',' + lon + u')';
    } else if (!gated && !propLat.isEmpty() && !propLon.isEmpty()) {
        lat = propLat;
        lon = propLon;
        exact = true;
        caption = u"Ubicación ingresada manualmente ("_s + lat + u',' + lon + u')';
    } else {
        const TGeocodeResult found = Geocode(GeocodeQueryFor(*row));
        if (found.ok) {
            lat = found.latitude;
            lon = found.longitude;
            exact = found.exact;
            m_foundLabel = found.label;
            caption = found.label;
            if (!gated) {
                if (!found.district.isEmpty())
                    caption += u" ["_s + found.district + u']';
                caption += u" ("_s + lat + u',' + lon + u')';
            }
        } else {
            caption = kNotFound;
        }
    }
    lblPropMapAddress->setText(caption);
    lblPropMapAddress->adjustSize();
    if (lat.isEmpty()) {
        imgPropMap->setText(QString());
        PlaceMapOverlays();
        return;
    }
    m_coordinates = lat + u',' + lon;
    const QImage map = FetchStaticMap(lat, lon);
    m_mapPicture = QPixmap::fromImage(map);
    imgPropMap->setText(QString());
    imgPropMap->setPixmap(m_mapPicture);
    imgPropMap->setCursor(Qt::PointingHandCursor);
    imgPropMapBadge->show();
    imgPropMapApprox->setVisible(!exact);
    PlaceMapOverlays();
}

QMenu* TPropertyCard::MapMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setObjectName(u"mnuPropMap"_s);
    QAction* copyLabel = menu->addAction(u"Copiar dirección encontrada"_s, this,
                                         [this] { QApplication::clipboard()->setText(m_foundLabel); });
    copyLabel->setEnabled(!m_foundLabel.isEmpty());
    QAction* copyCoordinates =
        menu->addAction(u"Copiar coordenadas"_s, this, [this] { QApplication::clipboard()->setText(m_coordinates); });
    QAction* search = menu->addAction(u"Ver en Google Maps"_s, this, [this] { OpenUrl(SearchMapUrl(m_coordinates)); });
    copyCoordinates->setEnabled(!m_coordinates.isEmpty());
    search->setEnabled(!m_coordinates.isEmpty());
    return menu;
}

void TPropertyCard::PlaceMapOverlays()
{
    const QRect area = tabMap->rect();
    imgPropMap->setGeometry(area);
    lblPropMapAddress->move(8, 8);
    lblPropMapAddress->raise();
    imgPropMapBadge->adjustSize();
    imgPropMapBadge->move(area.width() - imgPropMapBadge->width() - 8, area.height() - imgPropMapBadge->height() - 8);
    imgPropMapBadge->raise();
    imgPropMapApprox->adjustSize();
    imgPropMapApprox->move(area.center() - imgPropMapApprox->rect().center());
    imgPropMapApprox->raise();
}

void TPropertyCard::OpenVideo()
{
    const QString watch = VideoWatchUrl(m_video);
    if (!watch.isEmpty())
        OpenUrl(watch);
}

// The hand-placed parts follow the size of the widget they sit in.
bool TPropertyCard::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        if (watched == layoutPropAddr)
            PlaceRestField();
        else if (watched == tabMap)
            PlaceMapOverlays();
        else if (watched == tabImages)
            rectPropPhotoStrip->move((tabImages->width() - rectPropPhotoStrip->width()) / 2 + 4, 13);
    }
    return QWidget::eventFilter(watched, event);
}
