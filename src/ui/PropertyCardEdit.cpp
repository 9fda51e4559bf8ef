// The card's edit mode: the form in which the agency creates, modifies and copies its own
// listings, and the action column that leads into it.
#include "ui/PropertyCard.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/UserMessages.h"
#include "core/uTypes.h"
#include "db/DBSchema.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "records/BrokerData.h"
#include "records/PhotoFiles.h"
#include "records/PropertyLocation.h"
#include "records/PropertyTexts.h"
#include "records/TfrmDlg.h"
#include "records/UserData.h"
#include "sync/Requests.h"
#include "sync/Session.h"
#include "sync/Sync.h"
#include "ui/PhotoArea.h"
#include "ui/TfrmLocation.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

TCardEditServices& Services()
{
    static TCardEditServices services;
    return services;
}

const QString kLocalCodeText = u"(Sin asignar)"_s;
const QString kNoOwner = u"- Sin propietario asignado -"_s;
const QString kSomePhotosNotCopied = u"Algunas fotos de la propiedad no pudieron copiarse."_s;
const QString kRecoveryQuestion = u"¿Desea solicitar la recuperación de esta propiedad?"_s;
const QString kAddressLevels[] = {u"Con dirección redondeada"_s, u"Con dirección exacta"_s, u"Sin dirección"_s};

// Positions of the action column: each button has its slot, 36 pixels apart, and keeps
// it while hidden.
constexpr int kActionStep = 36;
constexpr int kActionWidth = 96;

QPushButton* ActionButton(QWidget* parent, const QString& name, const QString& text)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    b->setFixedSize(kActionWidth, kActionStep - 4);
    return b;
}

QComboBox* Combo(const QString& name, QWidget* parent)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    // As narrow as the field it replaces: long names must not push the columns apart.
    c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c->setMinimumContentsLength(4);
    c->hide();
    return c;
}

// Puts a combo in the same place of its layout as the display field it stands in for.
void Twin(QWidget* field, QComboBox* combo)
{
    QWidget* parent = field->parentWidget();
    combo->setParent(parent);
    if (auto* grid = qobject_cast<QGridLayout*>(parent->layout())) {
        const int index = grid->indexOf(field);
        if (index >= 0) {
            int row = 0, column = 0, rows = 0, columns = 0;
            grid->getItemPosition(index, &row, &column, &rows, &columns);
            grid->addWidget(combo, row, column, rows, columns);
            return;
        }
    }
    // Inside nested layouts: find the box that holds it.
    for (QLayout* layout : parent->findChildren<QLayout*>()) {
        if (auto* box = qobject_cast<QBoxLayout*>(layout)) {
            const int index = box->indexOf(field);
            if (index >= 0) {
                box->insertWidget(index + 1, combo, box->stretch(index));
                return;
            }
        }
        if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
            const int index = grid->indexOf(field);
            if (index >= 0) {
                int row = 0, column = 0, rows = 0, columns = 0;
                grid->getItemPosition(index, &row, &column, &rows, &columns);
                grid->addWidget(combo, row, column, rows, columns);
                return;
            }
        }
    }
}

void SelectData(QComboBox* combo, int value)
{
    const int index = combo->findData(value);
    combo->setCurrentIndex(index >= 0 ? index : (combo->count() > 0 ? 0 : -1));
}

int DataOf(const QComboBox* combo)
{
    return combo->currentIndex() >= 0 ? combo->currentData().toInt() : 0;
}

// A reference list into a combo, each item carrying its code.
void FillReference(QComboBox* combo, const QString& code, const QString& sql)
{
    combo->clear();
    std::unique_ptr<TResultSet> rows;
    if (!DB() || !DB()->QueryNoCount(sql, rows) || !rows) {
        WriteLog(code, TakeDbLastError());
        return;
    }
    for (rows->First(); !rows->Eof(); rows->Next())
        combo->addItem(DecodeHtmlEntities(rows->AsStringAt(1).trimmed()), int(rows->AsInt64At(0)));
}

bool IsWithdrawn(qint64 code)
{
    return ReadCount(
               u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Codigo` = %1 AND `Prop_Estado` = 1;"_s.arg(code)) > 0;
}

bool IsSuspended(qint64 code)
{
    return ReadCount(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Codigo` = %1 AND `Prop_Estado` = 2 AND "
                     u"IFNULL(`Standby_Codigo`, 1) > 1;"_s.arg(code)) > 0;
}

} // namespace

void TPropertyCard::SetEditServices(TCardEditServices services)
{
    Services() = std::move(services);
}

TPhotoCommit TPropertyCard::PhotoCommit()
{
    if (Services().Photos.Statements || Services().Photos.Undo)
        return Services().Photos;
    TPhotoCommit photos;
    photos.Statements = [this](int) { return rectPropEditPhotos->CommitStatements(); };
    photos.AfterCommit = [this](int) { rectPropEditPhotos->AfterCommit(); };
    photos.Undo = [this] { rectPropEditPhotos->Undo(); };
    return photos;
}

bool TPropertyCard::ChooseLocation(TPropertyLocation& location)
{
    TLocationCodes codes;
    codes.Country = location.Country;
    codes.Province = location.Province;
    codes.District = location.District;
    codes.Locality = location.Locality;
    codes.Zone = location.Zone;
    codes.Street = location.Street;
    codes.Neighbourhood = location.Neighbourhood;
    // The street or neighbourhood choice of the form decides what the second step looks for.
    const bool neighbourhood = cboPropCalleBarrio->currentIndex() == 1;
    QString locationText, placeText;
    TfrmLocation dialog(this);
    if (!dialog.Execute(codes, neighbourhood, locationText, placeText))
        return false;
    location.Country = codes.Country;
    location.Province = codes.Province;
    location.District = codes.District;
    location.Locality = codes.Locality;
    location.Zone = codes.Zone;
    location.Street = codes.Street;
    location.Neighbourhood = codes.Neighbourhood;
    location.Path = locationText.isEmpty() ? LocationDisplayPath(codes) : locationText;
    location.StreetName = placeText;
    return true;
}

int TPropertyCard::CurrentRole() const
{
    TUserData user;
    return LoadUser(CurrentAgencyCode(), SessionUserCode, user) ? user.Role : 2;
}

void TPropertyCard::BuildEditControls()
{
    // --- Action column.
    const QStringList captions = {u"Nueva\npropiedad"_s,       u"Modificar\npropiedad"_s, u"Suspender\npropiedad"_s,
                                  u"Dar de baja\npropiedad"_s, u"Recuperar\npropiedad"_s, u"Copiar\npropiedad"_s};
    btnPropNew = ActionButton(layoutPropActions, u"btnPropNew"_s, captions[0]);
    btnPropMod = ActionButton(layoutPropActions, u"btnPropMod"_s, captions[1]);
    btnPropSuspend = ActionButton(layoutPropActions, u"btnPropSuspend"_s, captions[2]);
    btnPropDel = ActionButton(layoutPropActions, u"btnPropDel"_s, captions[3]);
    btnPropRecovery = ActionButton(layoutPropActions, u"btnPropRecovery"_s, captions[4]);
    btnPropCopy = ActionButton(layoutPropActions, u"btnPropCopy"_s, captions[5]);
    btnPropSave = ActionButton(layoutPropActions, u"btnPropSave"_s, u"Guardar"_s);
    btnPropCancel = ActionButton(layoutPropActions, u"btnPropCancel"_s, u"Cancelar"_s);
    layoutPropActions->setFixedWidth(kActionWidth + 4);
    connect(btnPropNew, &QPushButton::clicked, this, [this] { StartEdit(EditNew); });
    connect(btnPropMod, &QPushButton::clicked, this, [this] { StartEdit(EditModify); });
    connect(btnPropCopy, &QPushButton::clicked, this, [this] { StartEdit(EditCopy); });
    connect(btnPropSave, &QPushButton::clicked, this, [this] { SaveEdit(); });
    connect(btnPropCancel, &QPushButton::clicked, this, [this] { CancelEdit(); });
    connect(btnPropSuspend, &QPushButton::clicked, this, [this] { SuspendProperty(); });
    connect(btnPropDel, &QPushButton::clicked, this, [this] { WithdrawProperty(); });
    connect(btnPropRecovery, &QPushButton::clicked, this, [this] { RequestRecovery(); });

    // --- Form header.
    auto* header = new QVBoxLayout(layoutPropFormHeader);
    header->setContentsMargins(0, 0, 0, 4);
    lblPropFormTitle = new QLabel(layoutPropFormHeader);
    lblPropFormTitle->setObjectName(u"lblPropFormTitle"_s);
    lblPropFormTitle->setStyleSheet(u"font-size: 15px; font-weight: bold; color: #01548E;"_s);
    lblPropFormNotes = new QLabel(
        u"Recuerde que según los \"Términos y Condiciones\" de uso del sistema que aceptó al instalar el programa, "
        u"todos los datos de la propiedad deben ser reales y exactos."_s,
        layoutPropFormHeader);
    lblPropFormNotes->setObjectName(u"lblPropFormNotes"_s);
    lblPropFormNotes->setWordWrap(true);
    lblPropFormTerms =
        new QLabel(u"<a href=\"#\">Para volver a leer los \"Términos y Condiciones\" haga click aquí.</a>"_s,
                   layoutPropFormHeader);
    lblPropFormTerms->setObjectName(u"lblPropFormTerms"_s);
    connect(lblPropFormTerms, &QLabel::linkActivated, this, [this] {
        ShowInformation(u"Los \"Términos y Condiciones\" pueden leerse desde el menú de ayuda del programa."_s);
    });
    header->addWidget(lblPropFormTitle);
    header->addWidget(lblPropFormNotes);
    header->addWidget(lblPropFormTerms);
    layoutPropFormHeader->hide();

    // --- Combos that stand in for display fields.
    cboPropMoneda = Combo(u"cboPropMoneda"_s, this);
    cboPropEdif = Combo(u"cboPropEdif"_s, this);
    cboPropSitu = Combo(u"cboPropSitu"_s, this);
    cboPropPlazo = Combo(u"cboPropPlazo"_s, this);
    cboPropEstado = Combo(u"cboPropEstado"_s, this);
    cboPropSellerName = Combo(u"cboPropSellerName"_s, this);
    Twin(edtPropMoneda, cboPropMoneda);
    Twin(edtPropEdif, cboPropEdif);
    Twin(edtPropSitu, cboPropSitu);
    Twin(edtPropPlazo, cboPropPlazo);
    Twin(edtPropEstado, cboPropEstado);
    Twin(edtPropSellerName, cboPropSellerName);
    for (const char* days : {"1", "7", "15", "30"})
        cboPropPlazo->addItem(QString::fromLatin1(days), QString::fromLatin1(days).toInt());

    // Public or private, beside the status.
    auto* grid = qobject_cast<QGridLayout*>(tabGeneral->layout()->itemAt(0)->layout());
    lblPropTipo = new QLabel(u"Tipo"_s, tabGeneral);
    lblPropTipo->setObjectName(u"lblPropTipo"_s);
    cboPropTipo = Combo(u"cboPropTipo"_s, tabGeneral);
    cboPropTipo->addItem(u"Privada"_s, 0);
    cboPropTipo->addItem(u"Pública"_s, 1);
    lblPropTipo->hide();
    if (grid) {
        for (int column = 0; column < 5; ++column)
            grid->setColumnStretch(column, 1);
        grid->addWidget(lblPropTipo, 0, 2);
        grid->addWidget(cboPropTipo, 1, 2);
    }

    // Street or neighbourhood and the location path, in the place of the five location
    // fields of the display.
    layoutPropUbicacion = new QWidget(tabGeneral);
    layoutPropUbicacion->setObjectName(u"layoutPropUbicacion"_s);
    auto* where = new QHBoxLayout(layoutPropUbicacion);
    where->setContentsMargins(0, 0, 0, 0);
    cboPropCalleBarrio = new QComboBox(layoutPropUbicacion);
    cboPropCalleBarrio->setObjectName(u"cboPropCalleBarrio"_s);
    cboPropCalleBarrio->addItem(u"Calle"_s, 0);
    cboPropCalleBarrio->addItem(u"Barrio cerrado"_s, 1);
    auto* whereCaption = new QLabel(u"Ubicación"_s, layoutPropUbicacion);
    whereCaption->setObjectName(u"lblPropUbicacion"_s);
    edtPropUbicacion = new QLineEdit(layoutPropUbicacion);
    edtPropUbicacion->setObjectName(u"edtPropUbicacion"_s);
    edtPropUbicacion->setReadOnly(true);
    btnPropLocation = new QPushButton(u"Elegir ubicación..."_s, layoutPropUbicacion);
    btnPropLocation->setObjectName(u"btnPropLocation"_s);
    btnPropLocation->setAutoDefault(false);
    where->addWidget(cboPropCalleBarrio);
    where->addWidget(whereCaption);
    where->addWidget(edtPropUbicacion, 1);
    where->addWidget(btnPropLocation);
    layoutPropUbicacion->hide();
    if (grid) {
        const int index = grid->indexOf(edtProptLoc);
        int row = 0, column = 0, rows = 0, columns = 0;
        grid->getItemPosition(index, &row, &column, &rows, &columns);
        grid->addWidget(layoutPropUbicacion, row, 0, 1, 5);
    }
    connect(btnPropLocation, &QPushButton::clicked, this, [this] {
        TPropertyLocation location = m_editBase.Location;
        if (Services().ChooseLocation ? Services().ChooseLocation(this, location) : ChooseLocation(location)) {
            m_editBase.Location = location;
            edtPropUbicacion->setText(location.Path);
            edtPropCalleBarrio->setText(location.StreetName);
        }
    });
    connect(cboPropCalleBarrio, &QComboBox::currentIndexChanged, this, [this] {
        if (m_filling || m_editMode == 0)
            return;
        EditTypeChanged();
    });

    // --- Owner on the private tab.
    auto* privateLayout = qobject_cast<QVBoxLayout*>(tabPrivateInfo->layout());
    auto* ownerCaption = new QLabel(u"Propietario"_s, tabPrivateInfo);
    ownerCaption->setObjectName(u"lblPropCliNombre"_s);
    cboPropCliNombre = new QComboBox(tabPrivateInfo);
    cboPropCliNombre->setObjectName(u"cboPropCliNombre"_s);
    lblPropCliDatos = new QLabel(tabPrivateInfo);
    lblPropCliDatos->setObjectName(u"lblPropCliDatos"_s);
    lblPropCliDatos->setWordWrap(true);
    auto* notesCaption = new QLabel(u"Notas de la propiedad"_s, tabPrivateInfo);
    notesCaption->setObjectName(u"lblPropInfoPrivada"_s);
    privateLayout->insertWidget(0, ownerCaption);
    privateLayout->insertWidget(1, cboPropCliNombre);
    privateLayout->insertWidget(2, lblPropCliDatos);
    privateLayout->insertWidget(3, notesCaption);
    for (QWidget* w : {static_cast<QWidget*>(ownerCaption), static_cast<QWidget*>(cboPropCliNombre),
                       static_cast<QWidget*>(lblPropCliDatos)})
        w->hide();
    connect(cboPropCliNombre, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling)
            ShowOwnerDetails();
    });

    // --- Publication options under the photo.
    rectPublicationOptions = new QWidget(tabGeneral);
    rectPublicationOptions->setObjectName(u"rectPublicationOptions"_s);
    auto* publication = new QVBoxLayout(rectPublicationOptions);
    publication->setContentsMargins(4, 4, 4, 4);
    auto* publicationTitle = new QLabel(u"Opciones de publicación"_s, rectPublicationOptions);
    publicationTitle->setStyleSheet(u"font-weight: bold;"_s);
    chkPropPublicarKV = new QCheckBox(u"Publicar en Vodadez Korvel Web"_s, rectPublicationOptions);
    chkPropPublicarKV->setObjectName(u"chkPropPublicarKV"_s);
    cboPropPublicarDireccion = new QComboBox(rectPublicationOptions);
    cboPropPublicarDireccion->setObjectName(u"cboPropPublicarDireccion"_s);
    for (const QString& level : kAddressLevels)
        cboPropPublicarDireccion->addItem(level);
    chkPropPublicarZP = new QCheckBox(u"Publicar en Zonaprop"_s, rectPublicationOptions);
    chkPropPublicarZP->setObjectName(u"chkPropPublicarZP"_s);
    publication->addWidget(publicationTitle);
    publication->addWidget(chkPropPublicarKV);
    publication->addWidget(cboPropPublicarDireccion);
    publication->addWidget(chkPropPublicarZP);
    rectPublicationOptions->hide();
    if (auto* photoColumn = qobject_cast<QVBoxLayout*>(tabGeneral->layout()->itemAt(1)->layout()))
        photoColumn->insertWidget(photoColumn->count() - 1, rectPublicationOptions);
    // Where an own listing is published, under the photo in display mode.
    layoutPropPublication = new QWidget(tabGeneral);
    layoutPropPublication->setObjectName(u"layoutPropPublication"_s);
    auto* status = new QVBoxLayout(layoutPropPublication);
    status->setContentsMargins(4, 4, 4, 4);
    imgPropKV = new TClickLabel(layoutPropPublication);
    imgPropKV->setObjectName(u"imgPropKV"_s);
    imgPropStatusZP = new TClickLabel(layoutPropPublication);
    imgPropStatusZP->setObjectName(u"imgPropStatusZP"_s);
    lblPropWebApp =
        new QLabel(u"<a href=\"#\">Ingresar a Vodadez Korvel Web para gestionar la publicación en otros portales</a>"_s,
                   layoutPropPublication);
    lblPropWebApp->setObjectName(u"lblPropWebApp"_s);
    lblPropWebApp->setWordWrap(true);
    status->addWidget(imgPropKV);
    status->addWidget(imgPropStatusZP);
    status->addWidget(lblPropWebApp);
    layoutPropPublication->hide();
    if (auto* photoColumn = qobject_cast<QVBoxLayout*>(tabGeneral->layout()->itemAt(1)->layout()))
        photoColumn->insertWidget(photoColumn->count() - 1, layoutPropPublication);
    connect(imgPropKV, &TClickLabel::clicked, this, [this] {
        if (!imgPropKV->property("linked").toBool() || IsLocalCode(m_code))
            return;
        QString url;
        const QString error = RequestShareLink(CurrentSessionValues(), int(m_code), 18, url);
        if (!error.isEmpty()) {
            ShowError(error);
            return;
        }
        ShellOpen(QUrl::fromPercentEncoding(url.toUtf8()));
    });
    connect(lblPropWebApp, &QLabel::linkActivated, this, [] {
        const QUrl service(Config::ServiceUrl());
        ShellOpen(service.scheme() + u"://"_s + service.authority() + u"/web/"_s);
    });
    connect(imgPropStatusZP, &TClickLabel::clicked, this, [this] {
        if (!m_portalStatus.isEmpty())
            ShowInformation(m_portalStatus);
    });

    connect(chkPropPublicarKV, &QCheckBox::toggled, this, [this](bool on) {
        if (!on) {
            cboPropPublicarDireccion->setCurrentIndex(AddressRounded);
            chkPropPublicarZP->setChecked(false);
        }
        cboPropPublicarDireccion->setEnabled(on);
        chkPropPublicarZP->setEnabled(on);
    });

    connect(cboPropEdif, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling && m_editMode != 0)
            EditTypeChanged();
    });
    connect(cboPropSitu, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling && m_editMode != 0)
            EditTypeChanged();
    });
    connect(cboPropSellerName, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling)
            ShowSellerContact();
    });
    UpdateActions();
}

void TPropertyCard::UpdateActions()
{
    const bool editing = m_editMode != 0;
    const bool shown = m_code > 0;
    const bool own = shown && m_code / 100000 == CurrentAgencyCode()
                         ? true
                         : shown && ReadCount(u"SELECT COUNT(*) FROM "
                                              u"`W_Propiedades` WHERE "
                                              u"`Prop_Codigo` = %1 AND "
                                              u"`Inmo_Codigo` = %2;"_s.arg(m_code)
                                                  .arg(CurrentAgencyCode())) > 0;
    const bool readOnly = CurrentRole() == 2;
    const bool withdrawn = own && IsWithdrawn(m_code);
    const bool suspended = own && IsSuspended(m_code);

    btnPropSave->setVisible(editing);
    btnPropCancel->setVisible(editing);
    const bool column = !editing && own;
    // Another agency's listing has nothing to act on: its fields take the column's width.
    layoutPropActions->setVisible(editing || own);
    btnPropNew->setVisible(column);
    btnPropMod->setVisible(column);
    btnPropSuspend->setVisible(column);
    btnPropDel->setVisible(column && !withdrawn);
    btnPropRecovery->setVisible(column && withdrawn);
    btnPropCopy->setVisible(column);
    btnPropNew->setEnabled(!readOnly);
    btnPropMod->setEnabled(!withdrawn && !readOnly);
    btnPropSuspend->setEnabled(!withdrawn && !suspended && !readOnly);
    btnPropDel->setEnabled(!readOnly);
    btnPropRecovery->setEnabled(!readOnly);
    btnPropCopy->setEnabled(!readOnly);
    btnPropMark->setVisible(!editing);
    imgPropMark->setVisible(!editing);

    // Slots: new, modify, suspend, withdraw or recover, two for the mark and the report
    // (beside the navigation in this window), then copy.
    const auto place = [](QWidget* w, int slot) { w->move(0, slot * kActionStep); };
    place(btnPropNew, 0);
    place(btnPropMod, 1);
    place(btnPropSuspend, 2);
    place(btnPropDel, 3);
    place(btnPropRecovery, 3);
    place(btnPropCopy, 6);
    place(btnPropSave, 0);
    place(btnPropCancel, 1);
    layoutPropActions->setMinimumHeight(7 * kActionStep);
    if (layoutPropPublication)
        ShowPublicationStatus();
}

void TPropertyCard::ShowPublicationStatus()
{
    m_portalStatus.clear();
    const bool own = m_code > 0 && m_editMode == 0 &&
                     ReadCount(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Codigo` = %1 AND `Inmo_Codigo` = "
                               u"%2;"_s.arg(m_code)
                                   .arg(CurrentAgencyCode())) > 0;
    layoutPropPublication->setVisible(own);
    if (!own)
        return;
    const auto badge = [](QLabel* label, const QString& text, const char* colour, bool linked) {
        label->setText(text);
        label->setStyleSheet(u"QLabel { color: white; background: %1; padding: 3px 6px; font-weight: bold; }"_s.arg(
            QLatin1StringView(colour)));
        label->setCursor(linked ? Qt::PointingHandCursor : Qt::ArrowCursor);
        label->setProperty("linked", linked);
        // The padding comes with the style sheet: the height must be taken after it applies.
        label->ensurePolished();
        label->setMinimumHeight(label->sizeHint().height());
    };
    const bool published =
        ReadCount(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Codigo` = %1 AND `publicarEnKorvel` = 1;"_s.arg(
            m_code)) > 0;
    if (IsLocalCode(m_code))
        badge(imgPropKV, u"Sin enviar al servicio"_s, "#808080", false);
    else if (published)
        badge(imgPropKV, u"Publicada en Vodadez Korvel Web"_s, "#2E8B57", true);
    else
        badge(imgPropKV, u"No publicada en Vodadez Korvel Web"_s, "#A0A0A0", false);
    lblPropWebApp->setVisible(published && !IsLocalCode(m_code));

    std::unique_ptr<TResultSet> portal;
    if (!DB() ||
        !DB()->QueryNoCount(u"SELECT `ZP_Publicar`, `ZP_Estado`, `ZP_Mensaje`, `ZP_Fecha` FROM `W_Zonaprop` "
                            u"WHERE `Prop_Codigo` = %1;"_s.arg(m_code),
                            portal) ||
        !portal || portal->RecordCount() == 0) {
        if (DB() && !portal)
            WriteLog(u"$2088"_s, TakeDbLastError());
        badge(imgPropStatusZP, u"No publicada en Zonaprop"_s, "#A0A0A0", false);
        return;
    }
    const QString word = portal->AsString(u"ZP_Estado"_s).trimmed().toUpper();
    const bool pending = word.startsWith(u"PENDIENTE"_s);
    const bool asked = portal->AsInteger(u"ZP_Publicar"_s) != 0;
    badge(imgPropStatusZP, u"Zonaprop: "_s + (word.isEmpty() ? u"SIN ESTADO"_s : word),
          pending ? "#E0A000" : (asked ? "#2E8B57" : "#A0A0A0"), true);
    QString text = u"Estado actual: "_s + word;
    if (pending)
        text += u" (la solicitud se envía en la próxima sincronización)"_s;
    const QString message = portal->AsString(u"ZP_Mensaje"_s);
    if (!message.trimmed().isEmpty())
        text += u"\r\n\r\nMensaje de Zonaprop: "_s + SanitizeText(DecodeHtmlEntities(message), true);
    const QDateTime when = portal->AsDateTime(u"ZP_Fecha"_s);
    if (when.isValid() && when.date() >= QDate(1992, 8, 1))
        text += u"\r\n\r\nFecha: "_s + DisplayDateTime(when);
    m_portalStatus = u"Estado de la publicación en Zonaprop\r\n\r\n"_s + text +
                     u"\r\n\r\n\r\nIMPORTANTE: \r\nANTE CUALQUIER DUDA CON RESPECTO AL ESTADO DE PUBLICACIÓN DE LA "
                     u"PROPIEDAD COMUNÍQUESE CON ZONAPROP AL TELÉFONO 0810-222-9767."_s;
}

void TPropertyCard::SetEditLayout(bool editing)
{
    layoutPropFormHeader->setVisible(editing);
    layoutPropNav->setVisible(!editing);
    const auto swap = [editing](QWidget* display, QWidget* edit) {
        display->setVisible(!editing);
        edit->setVisible(editing);
    };
    swap(edtPropMoneda, cboPropMoneda);
    swap(edtPropEstado, cboPropEstado);
    lblPropTipo->setVisible(editing);
    cboPropTipo->setVisible(editing);
    const bool choosesType = editing && m_editMode != EditModify;
    edtPropEdif->setVisible(!choosesType);
    cboPropEdif->setVisible(choosesType);
    edtPropSitu->setVisible(!choosesType);
    cboPropSitu->setVisible(choosesType);
    cboPropCalleBarrio->setEnabled(choosesType);
    const bool choosesSeller = editing && CurrentRole() == 3;
    edtPropSellerName->setVisible(!choosesSeller);
    cboPropSellerName->setVisible(choosesSeller);
    for (QWidget* w : tabGeneral->findChildren<QWidget*>()) {
        const QString name = w->objectName();
        if (name == u"lblProptLoc"_s || name == u"lblPropZon"_s || name == u"lblPropPart"_s ||
            name == u"lblPropProv"_s || name == u"lblPropPais"_s)
            w->setVisible(!editing);
    }
    for (QLineEdit* e : {edtProptLoc, edtPropZon, edtPropPart, edtPropProv, edtPropPais})
        e->setVisible(!editing);
    layoutPropUbicacion->setVisible(editing);
    rectPublicationOptions->setVisible(editing);
    if (editing)
        layoutPropPublication->hide();
    for (QLineEdit* e : {edtPropCodigoInterno, edtPropPrecio, edtPropNum, edtPropPiso, edtPropDto, edtPropOtros,
                         edtPropSupTno, edtPropSupCub, edtPropPlantas, edtPropDorm, edtPropBanos, edtPropAno}) {
        e->setReadOnly(!editing);
        // The style sheet tells read-only fields apart by that property: it must be read again.
        e->style()->unpolish(e);
        e->style()->polish(e);
    }
    mmoPropDesc->setReadOnly(!editing);
    mmoPropInfoPrivada->setReadOnly(!editing);
    edtPropPrecio->setMaxLength(editing ? 15 : 32767);
    edtPropNum->setMaxLength(editing ? 6 : 32767);
    edtPropAno->setMaxLength(editing ? 4 : 32767);
    for (QWidget* w : tabPrivateInfo->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->objectName() == u"lblPropCliNombre"_s || w == cboPropCliNombre || w == lblPropCliDatos)
            w->setVisible(editing);
    tabsProp->setTabVisible(tabsProp->indexOf(tabImages), !editing && m_photoCount > 0);
    tabsProp->setTabVisible(tabsProp->indexOf(tabMap), !editing);
    tabsProp->setTabVisible(tabsProp->indexOf(tabMoreInfo), editing);
    tabsProp->setTabVisible(tabsProp->indexOf(tabPrivateInfo), true);
    lblPropPhotoDownload->setVisible(!editing);
    imgPropPhoto->setVisible(!editing);
    rectPropEditPhotos->setVisible(editing);
    // The photo area of the form takes over the browsing of the photos.
    for (QWidget* w : {static_cast<QWidget*>(btnPropImgPrior), static_cast<QWidget*>(btnPropImgNext),
                       static_cast<QWidget*>(lblPropImgIndex)})
        w->setVisible(!editing);
    btnPropPlayVideo->setVisible(!editing && !m_video.isEmpty());
}

bool TPropertyCard::StartEdit(int mode)
{
    if (mode < EditNew || mode > EditCopy || m_editMode != 0)
        return false;
    if (CurrentRole() == 2) {
        ShowInformation(OwnPropertyText::NoPermission);
        return false;
    }
    TOwnPropertyInput input;
    if (mode != EditNew) {
        if (m_code <= 0 || !LoadOwnPropertyInput(int(m_code), input) ||
            ReadCount(
                u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Codigo` = %1 AND `Inmo_Codigo` = %2;"_s.arg(m_code)
                    .arg(CurrentAgencyCode())) == 0) {
            ShowInformation(OwnPropertyText::NoPermission);
            return false;
        }
        // Every photo must be here: a copy copies the files, and a save keeps them.
        std::unique_ptr<TResultSet> photos;
        if (DB() &&
            DB()->QueryNoCount(u"SELECT `Foto_Codigo` FROM `W_Fotos` WHERE `Prop_Codigo` = %1 AND "
                               u"IFNULL(`Sync_Tipo`, '') <> 'B';"_s.arg(m_code),
                               photos) &&
            photos)
            for (photos->First(); !photos->Eof(); photos->Next())
                if (!QFileInfo::exists(PhotoFileName(m_code, photos->AsInt64(u"Foto_Codigo"_s)))) {
                    ShowInformation(OwnPropertyText::PhotosMustBeDownloaded);
                    return false;
                }
    }
    int code = int(m_code);
    if (mode != EditModify) {
        if (!NextLocalCode(u"W_Propiedades"_s, u"Prop_Codigo"_s, code)) {
            ShowError(OwnPropertyText::CouldNotCreate);
            return false;
        }
    }
    if (mode == EditCopy) {
        bool allCopied = true;
        CopyPhotos(int(m_code), code, allCopied);
        if (!allCopied)
            ShowInformation(kSomePhotosNotCopied);
    }
    if (mode == EditNew) {
        input = TOwnPropertyInput();
        input.Seller = SessionUserCode;
    }
    if (mode != EditModify) {
        input.Standby = 1;
        input.Public = 1;
        input.PublishOnService = true;
        input.AddressLevel = AddressRounded;
        input.PortalRequest = false;
        input.EntryDate = QDateTime();
        input.GenerationCode.clear();
        input.Seller = SessionUserCode;
    }
    input.Mode = mode;
    input.Code = code;
    m_returnCode = m_code;
    m_editCode = code;
    m_editMode = mode;
    // A copy's photos were copied above as new ones of the copy, so a cancel removes them.
    rectPropEditPhotos->Begin(code, mode);
    m_editBase = input;
    lblPropFormTitle->setText(mode == EditModify ? u"Formulario de modificación de propiedades"_s
                                                 : u"Formulario de alta de propiedades"_s);
    SetEditLayout(true);
    FillEditForm(input);
    tabsProp->setCurrentWidget(tabGeneral);
    UpdateActions();
    edtPropPrecio->setFocus();
    Q_EMIT EditModeChanged(true);
    return true;
}

void TPropertyCard::FillEditForm(const TOwnPropertyInput& in)
{
    m_filling = true;
    FillReference(cboPropMoneda, u"$2089"_s,
                  u"SELECT `Moneda_Codigo`, `Moneda_Nombre` FROM `W_Monedas` ORDER BY `Moneda_Codigo`;"_s);
    FillReference(cboPropEdif, u"$2090"_s,
                  u"SELECT `Edif_Codigo`, `Edif_Nombre` FROM `W_Edificaciones` ORDER BY `Edif_Nombre`;"_s);
    FillReference(cboPropSitu, u"$2091"_s,
                  u"SELECT `Situ_Codigo`, `Situ_Nombre` FROM `W_Situaciones` ORDER BY `Situ_Codigo`;"_s);
    FillReference(cboPropEstado, u"$2094"_s,
                  u"SELECT `Standby_Codigo`, `Standby_Nombre` FROM `W_MotivosStandby` ORDER BY `Standby_Codigo`;"_s);
    cboPropSellerName->clear();
    QList<TListEntry> sellers;
    LoadSellers(CurrentAgencyCode(), sellers);
    for (const TListEntry& s : sellers)
        cboPropSellerName->addItem(s.Name, s.Code);
    cboPropCliNombre->clear();
    cboPropCliNombre->addItem(kNoOwner, 0);
    QList<TListEntry> owners;
    LoadOwners(CurrentAgencyCode(), owners);
    for (const TListEntry& o : owners)
        cboPropCliNombre->addItem(o.Name, o.Code);

    SelectData(cboPropMoneda, in.Currency);
    SelectData(cboPropEdif, in.BuildingType);
    SelectData(cboPropSitu, in.Operation);
    SelectData(cboPropEstado, in.Standby);
    SelectData(cboPropPlazo, in.Term > 0 ? in.Term : 30);
    SelectData(cboPropTipo, in.Public);
    SelectData(cboPropSellerName, in.Seller);
    SelectData(cboPropCliNombre, in.Owner);
    cboPropCalleBarrio->setCurrentIndex(in.OnStreet ? 0 : 1);

    if (m_editMode == EditNew) {
        ClearFields();
        ShowPhoto(0);
        edtPropInmoNombre->setText(CurrentBroker.Name.section(u'|', 0, 0).trimmed());
        edtPropInmoTel->setText(CurrentBroker.Phone.trimmed());
        edtPropInmoEmail->setText(CurrentBroker.Email.trimmed());
    }
    edtPropCodigo->setText(m_editMode == EditModify ? FormatCode(in.Code) : kLocalCodeText);
    if (m_editMode != EditModify)
        edtPropIngreso->setText(kLocalCodeText);
    edtPropModificado->setText(kLocalCodeText);
    edtPropEdif->setText(cboPropEdif->currentText());
    edtPropSitu->setText(cboPropSitu->currentText());
    edtPropCodigoInterno->setText(in.InternalCode);
    edtPropPrecio->setText(in.Price.isEmpty() ? QString() : FormatThousands(in.Price.toLongLong()));
    edtPropNum->setText(in.Number);
    edtPropPiso->setText(in.Floor);
    edtPropDto->setText(in.Unit);
    edtPropOtros->setText(in.Rest);
    edtPropSupTno->setText(in.LandSurface);
    edtPropSupCub->setText(in.CoveredSurface);
    edtPropPlantas->setText(in.Floors);
    edtPropDorm->setText(in.Rooms);
    edtPropBanos->setText(in.Baths);
    edtPropAno->setText(in.Year);
    mmoPropDesc->setPlainText(in.Description);
    mmoPropInfoPrivada->setPlainText(in.PrivateNotes);
    chkPropDepend->setChecked(in.Dependency);
    chkPropTel->setChecked(in.Phone);
    chkPropCochera->setChecked(in.Garage);
    chkPropAEstrenar->setChecked(in.BrandNew);
    if (in.Location.Path.isEmpty()) {
        QStringList path;
        for (QLineEdit* e : {edtPropPais, edtPropProv, edtPropPart, edtProptLoc, edtPropZon})
            if (!e->text().trimmed().isEmpty())
                path << e->text().trimmed();
        edtPropUbicacion->setText(path.join(u" > "_s));
    } else {
        edtPropUbicacion->setText(in.Location.Path);
    }
    chkPropPublicarKV->setChecked(true);
    chkPropPublicarKV->setChecked(in.PublishOnService);
    cboPropPublicarDireccion->setCurrentIndex(in.AddressLevel);
    chkPropPublicarZP->setChecked(in.PublishOnService && in.PortalRequest);
    cboPropPublicarDireccion->setEnabled(in.PublishOnService);
    chkPropPublicarZP->setEnabled(in.PublishOnService);
    ApplyBuildingType(in.BuildingType, !in.OnStreet, in.Operation);
    std::vector<TExtraDetail> details = in.Details;
    if (details.empty())
        ::LoadExtraDetails(in.BuildingType, 0, details);
    BuildDetailEditors(details);
    m_filling = false;
    ShowSellerContact();
    ShowOwnerDetails();
}

void TPropertyCard::BuildDetailEditors(const std::vector<TExtraDetail>& details)
{
    qDeleteAll(tabMoreInfo->findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
    int x = 7, y = 10;
    const int bottom = std::max(200, tabsProp->height() - 80);
    for (const TExtraDetail& d : details) {
        if (y + 46 > bottom) {
            x += 177;
            y = 10;
        }
        const QString name = (d.IsCombo ? u"MASDATO_COMBO_"_s : u"MASDATO_TEXT_"_s) + QString::number(d.Code);
        auto* caption = new QLabel(EscapeAmpersands(d.Caption), tabMoreInfo);
        caption->setObjectName(u"lbl"_s + name);
        caption->setGeometry(x, y, 165, 16);
        caption->show();
        QWidget* field = nullptr;
        if (d.IsCombo) {
            auto* combo = new QComboBox(tabMoreInfo);
            combo->addItem(QString());
            combo->addItems(d.Options);
            combo->setCurrentIndex(d.Option + 1);
            field = combo;
        } else {
            auto* edit = new QLineEdit(d.Text, tabMoreInfo);
            edit->setMaxLength(200);
            field = edit;
        }
        field->setObjectName(name);
        field->setProperty("caption", d.Caption);
        field->setProperty("options", d.Options);
        field->setGeometry(x, y + 16, 165, 24);
        field->show();
        y += 46;
    }
}

void TPropertyCard::EditTypeChanged()
{
    const int type = DataOf(cboPropEdif);
    const bool onStreet = cboPropCalleBarrio->currentIndex() == 0;
    ApplyBuildingType(type, !onStreet, DataOf(cboPropSitu));
    if (m_editMode != EditModify && type != m_editBase.BuildingType) {
        m_editBase.BuildingType = type;
        std::vector<TExtraDetail> details;
        ::LoadExtraDetails(type, 0, details);
        BuildDetailEditors(details);
    }
}

void TPropertyCard::ShowSellerContact()
{
    const int seller =
        cboPropSellerName->isVisible() || CurrentRole() == 3 ? DataOf(cboPropSellerName) : SessionUserCode;
    TUserData user;
    const bool known = seller > 0 && LoadUser(CurrentAgencyCode(), seller, user);
    if (!cboPropSellerName->isVisible())
        edtPropSellerName->setText(known ? user.Name.trimmed() : QString());
    edtPropSellerTel->setText(known ? user.Phone.trimmed() : QString());
    edtPropSellerEmail->setText(known ? user.Email.trimmed() : QString());
}

void TPropertyCard::ShowOwnerDetails()
{
    const int owner = DataOf(cboPropCliNombre);
    if (owner <= 0) {
        lblPropCliDatos->clear();
        return;
    }
    std::unique_ptr<TResultSet> row;
    if (!DB() || !DB()->QueryNoCount(u"SELECT * FROM `W_Clientes` WHERE `Cli_Codigo` = %1;"_s.arg(owner), row) ||
        !row || row->RecordCount() == 0) {
        lblPropCliDatos->clear();
        return;
    }
    QStringList lines;
    const std::pair<const char*, const char*> parts[] = {{"Nombre", "Cli_Nombre"},    {"Domicilio", "Cli_Domicilio"},
                                                         {"Código postal", "Cli_CP"}, {"Localidad", "Cli_Localidad"},
                                                         {"Teléfono", "Cli_Te"},      {"E-mail", "Cli_email"},
                                                         {"Notas", "Cli_Notas"}};
    for (const auto& [caption, column] : parts)
        lines << QString::fromUtf8(caption) + u": "_s + row->AsString(QString::fromLatin1(column)).trimmed();
    lblPropCliDatos->setText(lines.join(u'\n'));
}

TOwnPropertyInput TPropertyCard::CollectInput() const
{
    TOwnPropertyInput in = m_editBase;
    in.Mode = m_editMode;
    in.Code = m_editCode;
    in.BuildingType = DataOf(cboPropEdif);
    in.Operation = DataOf(cboPropSitu);
    in.Currency = DataOf(cboPropMoneda);
    in.Term = DataOf(cboPropPlazo);
    in.Standby = DataOf(cboPropEstado);
    in.Public = DataOf(cboPropTipo);
    in.OnStreet = cboPropCalleBarrio->currentIndex() == 0;
    in.InternalCode = edtPropCodigoInterno->text();
    in.Price = edtPropPrecio->text();
    in.Number = edtPropNum->text();
    in.Floor = edtPropPiso->isVisibleTo(this) ? edtPropPiso->text() : QString();
    in.Unit = edtPropDto->isVisibleTo(this) ? edtPropDto->text() : QString();
    in.Rest = edtPropOtros->text();
    in.LandSurface = edtPropSupTno->text();
    in.CoveredSurface = edtPropSupCub->text();
    in.Floors = edtPropPlantas->text();
    in.Rooms = edtPropDorm->text();
    in.Baths = edtPropBanos->text();
    in.Year = edtPropAno->text();
    in.Description = mmoPropDesc->toPlainText();
    in.PrivateNotes = mmoPropInfoPrivada->toPlainText();
    in.Dependency = chkPropDepend->isChecked();
    in.Phone = chkPropTel->isChecked();
    in.Garage = chkPropCochera->isChecked();
    in.BrandNew = chkPropAEstrenar->isChecked();
    in.Seller = DataOf(cboPropSellerName);
    in.Owner = DataOf(cboPropCliNombre);
    in.PublishOnService = chkPropPublicarKV->isChecked();
    in.AddressLevel = cboPropPublicarDireccion->currentIndex();
    in.PortalRequest = chkPropPublicarZP->isChecked();
    in.Details.clear();
    for (QWidget* w : tabMoreInfo->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QString name = w->objectName();
        if (!name.startsWith(u"MASDATO_"_s))
            continue;
        TExtraDetail d;
        d.Code = name.section(u'_', 2).toInt();
        d.Caption = w->property("caption").toString();
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            d.IsCombo = true;
            d.Options = w->property("options").toStringList();
            d.Option = combo->currentIndex() - 1;
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            d.Text = edit->text();
        }
        in.Details.push_back(d);
    }
    return in;
}

bool TPropertyCard::SaveEdit()
{
    if (m_editMode == 0)
        return false;
    const TOwnPropertyInput input = CollectInput();
    int saved = 0;
    QString error;
    QString field;
    const auto caption = [this](const QString& name) {
        if (name == u"mmoPropDesc"_s || name == u"mmoPropInfoPrivada"_s || !name.startsWith(u"edt"_s))
            return QString();
        auto* label = findChild<QLabel*>(u"lbl"_s + name.mid(3));
        return label ? label->text() : QString();
    };
    const TPhotoCommit photos = PhotoCommit();
    if (!SaveOwnProperty(input, SessionUserCode, CurrentRole(), &photos, saved, error, &field, caption)) {
        ShowError(error);
        if (!field.isEmpty()) {
            QWidget* target = field == u"edtPropUbicacion"_s ? btnPropLocation : findChild<QWidget*>(field);
            if (!target && field.startsWith(u"detail:"_s))
                target = tabMoreInfo->findChild<QWidget*>(u"MASDATO_TEXT_"_s + field.section(u':', 1));
            if (target) {
                for (QWidget* page : {tabGeneral, tabMoreInfo, tabPrivateInfo})
                    if (page->isAncestorOf(target))
                        tabsProp->setCurrentWidget(page);
                target->setFocus();
            }
        }
        return false;
    }
    LeaveEdit(saved);
    Q_EMIT PropertiesChanged(saved);
    return true;
}

void TPropertyCard::CancelEdit()
{
    if (m_editMode == 0)
        return;
    if (const TPhotoCommit photos = PhotoCommit(); photos.Undo)
        photos.Undo();
    LeaveEdit(m_returnCode);
}

void TPropertyCard::LeaveEdit(qint64 show)
{
    SetEditLayout(false);
    m_editMode = 0;
    m_editCode = 0;
    Q_EMIT EditModeChanged(false);
    if (show > 0)
        ShowProperty(show);
    else
        UpdateActions();
}

bool TPropertyCard::CopyPhotos(int from, int to, bool& allCopied)
{
    allCopied = true;
    std::unique_ptr<TResultSet> photos;
    if (!DB() ||
        !DB()->QueryNoCount(u"SELECT `Foto_Codigo`, `Foto_Orden` FROM `W_Fotos` WHERE `Prop_Codigo` = %1 "
                            u"AND IFNULL(`Sync_Tipo`, '') <> 'B' ORDER BY `Foto_Orden`, `Foto_Codigo`;"_s.arg(from),
                            photos) ||
        !photos)
        return false;
    for (photos->First(); !photos->Eof(); photos->Next()) {
        int photo = 0;
        const QString source = PhotoFileName(from, photos->AsInt64(u"Foto_Codigo"_s));
        if (!NextLocalCode(u"W_Fotos"_s, u"Foto_Codigo"_s, photo)) {
            allCopied = false;
            continue;
        }
        const QString target = PhotoFileName(to, photo);
        if (!CopyFileOver(source, target)) {
            allCopied = false;
            continue;
        }
        if (!DB()->ExecNoCount(u"INSERT INTO `W_Fotos` (`Foto_Codigo`, `Prop_Codigo`, `Foto_Orden`, `Sync_Tipo`) "
                               u"VALUES (%1, %2, %3, NULL);"_s.arg(photo)
                                   .arg(to)
                                   .arg(photos->AsInt64(u"Foto_Orden"_s)))) {
            WriteLog(u"$2081"_s, TakeDbLastError());
            QFile::remove(target);
            allCopied = false;
        }
    }
    return true;
}

void TPropertyCard::SuspendProperty()
{
    if (m_code <= 0 || CurrentRole() == 2) {
        ShowInformation(OwnPropertyText::NoPermission);
        return;
    }
    TfrmDlg dialog(this);
    dialog.SetPropCode(int(m_code));
    if (!dialog.SetMode(TfrmDlg::ModeSuspend) || dialog.exec() != QDialog::Accepted)
        return;
    if (dialog.ReasonCode() < 0) {
        ShowInformation(u"Debe elegir el motivo de la suspensión; la propiedad no se suspendió."_s);
        return;
    }
    if (!::SuspendProperty(int(m_code), dialog.ReasonCode(), SessionUserCode)) {
        ShowError(OwnPropertyText::CouldNotSuspend);
        return;
    }
    ShowProperty(m_code);
    Q_EMIT PropertiesChanged(m_code);
}

void TPropertyCard::WithdrawProperty()
{
    if (m_code <= 0 || CurrentRole() == 2) {
        ShowInformation(OwnPropertyText::NoPermission);
        return;
    }
    TfrmDlg dialog(this);
    dialog.SetPropCode(int(m_code));
    if (!dialog.SetMode(TfrmDlg::ModeWithdraw) || dialog.exec() != QDialog::Accepted)
        return;
    // A listing never sent goes whatever reason was picked.
    const bool local = IsLocalCode(m_code);
    if (!local && dialog.ReasonCode() < 0) {
        ShowInformation(u"Debe elegir el motivo de la baja; la propiedad no se dio de baja."_s);
        return;
    }
    QString error;
    if (!::WithdrawProperty(int(m_code), dialog.ReasonCode(), SessionUserCode, error)) {
        ShowError(error);
        return;
    }
    if (local) {
        m_code = 0;
        ClearFields();
        UpdateActions();
        Q_EMIT PropertiesChanged(0);
        return;
    }
    ShowProperty(m_code);
    Q_EMIT PropertiesChanged(m_code);
}

void TPropertyCard::RequestRecovery()
{
    if (m_code <= 0 || IsLocalCode(m_code) || CurrentRole() == 2) {
        ShowInformation(OwnPropertyText::NoPermission);
        return;
    }
    TfrmDlg dialog(this);
    dialog.SetPropCode(int(m_code));
    if (!dialog.SetMode(TfrmDlg::ModeRecover) || dialog.exec() != QDialog::Accepted)
        return;
    const QString error = RequestPropertyRecovery(CurrentSessionValues(), int(m_code));
    if (!error.isEmpty()) {
        ShowError(error);
        return;
    }
    ShowInformation(OwnPropertyText::RecoveryRequested);
}
