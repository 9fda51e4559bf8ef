#include "ui/TfrmMain.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/UserMessages.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "records/BrokerData.h"
#include "search/Marks.h"
#include "selections/Selections.h"
#include "sync/Requests.h"
#include "sync/Session.h"
#include "sync/TWidgetTransferSinks.h"
#include "sync/TfrmSyncDlg.h"
#include "sync/Upload.h"
#include "ui/FilterPanel.h"
#include "ui/LabelTrimming.h"
#include "ui/PropertyList.h"
#include "ui/Screen.h"
#include "ui/Style.h"
#include "ui/TfrmSplash.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

using namespace Qt::StringLiterals;

namespace MainText {
const QString OfflineTitle = u"Sin conexión"_s;
const QString OfflineHint = u"Haga click para reconectar"_s;
const QString Connecting = u"Conectando..."_s;
const QString OnlineTitle = u"Actualizar"_s;
const QString PleaseWait = u"Actualizando los datos, por favor espere..."_s;
const QString Finished = u"Los datos se actualizaron correctamente."_s;
const QString UploadFailed = u"No se pudieron enviar los cambios pendientes."_s;
const QString SyncFailed = u"No se pudieron actualizar los datos."_s;
const QString Validated = u"La instalación fue validada correctamente."_s;
const QString Closing = u"El sistema se cerrará en %1 segundos..."_s;
const QString Continuing = u"Continuando en %1 segundos..."_s;
const QString MaintenanceHint = u"El servicio volverá a estar disponible en unos minutos. Intente nuevamente más "
                                u"tarde."_s;
const QString CloseQuestion = u"¿Desea salir del sistema?"_s;
const QString PendingWarning = u"Hay cambios que todavía no se enviaron al servicio."_s;
const QString KeepMarks = u"¿Desea conservar las propiedades marcadas para la próxima sesión?"_s;
const QString WaitForSync = u"Debe esperar a que termine la actualización"_s;
const QString SaveProperty = u"Debe guardar o cancelar la carga de la propiedad"_s;
const QString SaveClient = u"Debe guardar o cancelar la carga del cliente"_s;
const QString SaveUser = u"Debe guardar o cancelar la carga del usuario"_s;
const QString SecondLine = u"para poder cerrar el sistema."_s;
const QString InitFailed = u"No se pudo preparar la ventana principal del sistema.\n\n"
                           u"Cierre el sistema e intente nuevamente."_s;
const QString HelpMissing = u"No se encontró el documento de ayuda del sistema."_s;
const QString HelpNoViewer = u"No se pudo abrir el documento de ayuda: no hay en este equipo un programa para "
                             u"abrir archivos PDF.\n\nEl documento está en:\n%1"_s;
const QString BackOnline = u"Se restableció la conexión con el servicio de Korvel.\n\n"
                           u"Haga click en \"Actualizar\" para actualizar los datos."_s;
const QString StillOffline = u"No se pudo conectar con el servicio de Korvel.\n\n"
                             u"El sistema sigue trabajando sin conexión y volverá a intentarlo automáticamente "
                             u"dentro de %1 minutos."_s;
const QString CaptionPattern = u"%1 - %2 - %3"_s;
const QString KeyIncomplete = u"Complete la clave de validación y el código de seguridad."_s;
const QString KeyInvalid = u"La clave de validación solo puede tener letras y números."_s;
const QString CodeInvalid = u"El código de seguridad no es correcto."_s;
} // namespace MainText

namespace {

constexpr int kMinWidth = 1008;
constexpr int kMinHeight = 526;
constexpr int kTallHeight = 718;

QPointer<TfrmMain> g_main;

struct TButtonSpec {
    const char* name;
    const char* suffix;
    const char* caption;
    int tag;
};

const TButtonSpec kButtons[] = {
    {"btnFLProps", "Props", "Propiedades", 1},
    {"btnFLNews", "News", "Avisos", 2},
    {"btnFLBrokers", "Brokers", "Inmobiliarias", 3},
    {"btnFLClients", "Clients", "Clientes", 4},
    {"btnFLUpdate", "Update", "Actualizar", 5},
    {"btnFLConfig", "Config", "", 6},
    {"btnFLHelp", "Help", "", 7},
};

QLabel* Label(QWidget* parent, const QString& name, const QString& text = QString())
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QWidget* Section(QWidget* parent, const QString& name, const QString& title)
{
    auto* section = new QWidget(parent);
    section->setObjectName(name);
    auto* layout = new QVBoxLayout(section);
    auto* heading = Label(section, u"lblTitle"_s + name.mid(6), title);
    SetStyleRole(heading, u"title"_s);
    layout->addWidget(heading);
    return section;
}

} // namespace

TfrmMain* MainWindow()
{
    return g_main.data();
}

QString FetchHelpDocument(double helpVersion, double& newVersion)
{
    newVersion = helpVersion;
    return RequestHelpFile(CurrentSessionValues(), helpVersion, newVersion);
}

TfrmMain::TfrmMain(QWidget* parent) : QWidget(parent)
{
    g_main = this;
    setObjectName(u"TfrmMain"_s);
    setWindowTitle(Config::MainCaption);
    setWindowFlags(Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setMinimumSize(kMinWidth, kMinHeight);
    setWindowIcon(AppIcon(u"imgAppIcon"_s));

    layoutMain = new QWidget(this);
    layoutMain->setObjectName(u"layoutMain"_s);
    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(0, 0, 0, 0);
    main->addWidget(layoutMain);
    auto* column = new QVBoxLayout(layoutMain);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    BuildFirstLevelRow();
    column->addWidget(layoutFirstLevel);
    layoutContent = new QWidget(layoutMain);
    layoutContent->setObjectName(u"layoutContent"_s);
    column->addWidget(layoutContent, 1);
    auto* content = new QVBoxLayout(layoutContent);
    content->setContentsMargins(8, 8, 8, 4);
    imgBackground = Label(layoutContent, u"imgBackground"_s);
    imgBackground->setPixmap(AppPicture(u"imgBackground"_s));
    imgBackground->setAlignment(Qt::AlignCenter);
    content->addWidget(imgBackground);
    BuildSections();
    for (QWidget* section : m_sections)
        content->addWidget(section);
    BuildOverlays();

    timerStart = new QTimer(this);
    timerStart->setObjectName(u"timerStart"_s);
    timerStart->setSingleShot(true);
    connect(timerStart, &QTimer::timeout, this, &TfrmMain::Start);
    timerResetSyncErrors = new QTimer(this);
    timerResetSyncErrors->setObjectName(u"timerResetSyncErrors"_s);
    connect(timerResetSyncErrors, &QTimer::timeout, this, [this] {
        timerResetSyncErrors->stop();
        ResetConsecutiveFailures();
    });
    timerTestConnection = new QTimer(this);
    timerTestConnection->setObjectName(u"timerTestConnection"_s);
    connect(timerTestConnection, &QTimer::timeout, this, [this] {
        timerTestConnection->stop();
        TestConnection();
    });
    timerCountDown = new QTimer(this);
    timerCountDown->setObjectName(u"timerCountDown"_s);
    connect(timerCountDown, &QTimer::timeout, this, &TfrmMain::CountDownTick);

    // The initial layout: nothing but the background until the start timer.
    for (QWidget* section : m_sections)
        section->hide();
    rectPhotoDwl->hide();
    rectEmptyList->hide();
    layoutFirstLevel->hide();
    const QSize screen = ScreenSize();
    resize(kMinWidth, screen.height() < kMinHeight ? kMinHeight : std::min(screen.height(), kTallHeight));
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    SetConnectionState(1);
    ApplyLabelTrimming(this, LabelTrimming);

    SetConnectionTimers(this);
    SetPhotoDownloadPanel(this);
    SetAfterSyncRefresh([this] {
        RefreshCounters();
        // The data date, and with it the filter's ranges, moved with the import.
        if (timerStart->property("done").toBool())
            FilterPanel->DataChanged();
    });
}

TfrmMain::~TfrmMain()
{
    SetConnectionTimers(nullptr);
    SetPhotoDownloadPanel(nullptr);
    SetAfterSyncRefresh({});
}

void TfrmMain::BuildFirstLevelRow()
{
    layoutFirstLevel = new QWidget(layoutMain);
    layoutFirstLevel->setObjectName(u"layoutFirstLevel"_s);
    auto* row = new QHBoxLayout(layoutFirstLevel);
    row->setContentsMargins(8, 4, 8, 4);
    for (const TButtonSpec& spec : kButtons) {
        TFirstLevelButton b;
        const QString suffix = QString::fromLatin1(spec.suffix);
        b.button = new QPushButton(layoutFirstLevel);
        b.button->setObjectName(QString::fromLatin1(spec.name));
        b.button->setProperty("tag", spec.tag);
        SetStyleRole(b.button, u"firstLevel"_s);
        b.button->setCheckable(spec.tag != SecHelp);
        b.button->setMinimumSize(spec.tag >= SecConfig ? 64 : 132, 64);
        b.button->setFocusPolicy(Qt::NoFocus);
        auto* inner = new QVBoxLayout(b.button);
        inner->setContentsMargins(6, 4, 6, 4);
        inner->setSpacing(0);
        b.icon = Label(b.button, u"icoBtn"_s + suffix);
        b.icon->setAlignment(Qt::AlignCenter);
        if (spec.tag != SecSync)
            b.icon->setPixmap(AppPicture(u"imgFL"_s + suffix, QSize(32, 32)));
        b.title = Label(b.button, u"titBtn"_s + suffix, QString::fromUtf8(spec.caption));
        b.title->setAlignment(Qt::AlignCenter);
        SetStyleRole(b.title, u"firstLevelTitle"_s);
        b.counter = Label(b.button, u"msgBtn"_s + suffix);
        b.counter->setAlignment(Qt::AlignCenter);
        SetStyleRole(b.counter, u"firstLevelCounter"_s);
        for (QLabel* label : {b.icon, b.title, b.counter}) {
            label->setAttribute(Qt::WA_TransparentForMouseEvents);
            inner->addWidget(label);
        }
        if (spec.tag >= SecConfig) {
            b.title->hide();
            b.counter->hide();
        }
        const int tag = spec.tag;
        connect(b.button, &QPushButton::clicked, this, [this, tag] { FirstLevelRelease(tag); });
        row->addWidget(b.button);
        if (spec.tag == SecSync)
            row->addStretch(1);
        m_buttons.push_back(b);
    }
    btnFLProps = m_buttons[0].button;
    btnFLNews = m_buttons[1].button;
    btnFLBrokers = m_buttons[2].button;
    btnFLClients = m_buttons[3].button;
    btnFLUpdate = m_buttons[4].button;
    btnFLConfig = m_buttons[5].button;
    btnFLHelp = m_buttons[6].button;
    icoBtnUpdate = m_buttons[4].icon;
    titBtnUpdate = m_buttons[4].title;
    msgBtnUpdate = m_buttons[4].counter;

    // The pending-changes badge sits on the update button's corner.
    rectBadge = new QPushButton(btnFLUpdate);
    rectBadge->setObjectName(u"rectBadge"_s);
    rectBadge->setFocusPolicy(Qt::NoFocus);
    rectBadge->setFlat(true);
    lblBadge = Label(rectBadge, u"lblBadge"_s);
    SetStyleRole(lblBadge, u"badge"_s);
    lblBadge->setAlignment(Qt::AlignCenter);
    lblBadge->setAttribute(Qt::WA_TransparentForMouseEvents);
    rectBadge->hide();
    connect(rectBadge, &QPushButton::clicked, this, [this] {
        TfrmSyncDlg dialog(this);
        dialog.setMode(true);
        dialog.exec();
    });
}

void TfrmMain::BuildSections()
{
    layoutProps = Section(layoutContent, u"layoutProps"_s, u"Propiedades"_s);
    edtPropSearch = new QLineEdit(layoutProps);
    edtPropSearch->setObjectName(u"edtPropSearch"_s);
    edtPropSearch->setMaxLength(16);
    edtPropSearch->setPlaceholderText(u"Código de la propiedad"_s);
    edtPropSearch->setToolTip(u"Escriba el código (por ejemplo 0007-00012) o el código interno y presione Enter."_s);
    edtPropSearch->setFixedWidth(220);

    layoutNews = Section(layoutContent, u"layoutNews"_s, u"Avisos"_s);
    edtNewsSearch = new QLineEdit(layoutNews);
    edtNewsSearch->setObjectName(u"edtNewsSearch"_s);
    layoutNews->layout()->addWidget(edtNewsSearch);

    layoutBrokers = Section(layoutContent, u"layoutBrokers"_s, u"Inmobiliarias"_s);
    edtBrokersSearch = new QLineEdit(layoutBrokers);
    edtBrokersSearch->setObjectName(u"edtBrokersSearch"_s);
    layoutBrokers->layout()->addWidget(edtBrokersSearch);

    layoutClients = Section(layoutContent, u"layoutClients"_s, u"Clientes"_s);
    edtClientsSearch = new QLineEdit(layoutClients);
    edtClientsSearch->setObjectName(u"edtClientsSearch"_s);
    edtClientsSearch->setMaxLength(20);
    layoutClients->layout()->addWidget(edtClientsSearch);

    BuildSyncSection();

    layoutConfig = Section(layoutContent, u"layoutConfig"_s, u"Configuración"_s);
    lblUsersCount = Label(layoutConfig, u"lblUsersCount"_s);
    layoutConfig->layout()->addWidget(lblUsersCount);

    AddSectionControls();
    m_sections = {layoutProps, layoutNews, layoutBrokers, layoutClients, layoutSync, layoutConfig};
}

void TfrmMain::BuildOverlays()
{
    rectEmptyList = new QWidget(layoutContent);
    rectEmptyList->setObjectName(u"rectEmptyList"_s);
    auto* empty = new QVBoxLayout(rectEmptyList);
    imgEmptyList = Label(rectEmptyList, u"imgEmptyList"_s);
    lblEmptyList = Label(rectEmptyList, u"lblEmptyList"_s);
    imgEmptyList->setAlignment(Qt::AlignCenter);
    lblEmptyList->setAlignment(Qt::AlignCenter);
    empty->addWidget(imgEmptyList);
    empty->addWidget(lblEmptyList);

    rectPhotoDwl = new QWidget(this);
    rectPhotoDwl->setObjectName(u"rectPhotoDwl"_s);
    rectPhotoDwl->setProperty("role", u"overlay"_s);
    rectPhotoDwl->setAutoFillBackground(true);
    auto* overlay = new QVBoxLayout(rectPhotoDwl);
    lblPhotoDwl = Label(rectPhotoDwl, u"lblPhotoDwl"_s, u"Descargando fotos..."_s);
    pbarPhotoDwl = new QProgressBar(rectPhotoDwl);
    pbarPhotoDwl->setObjectName(u"pbarPhotoDwl"_s);
    pbarPhotoDwl->setTextVisible(false);
    btnPhotoDwlCancel = new QPushButton(u"Cancelar"_s, rectPhotoDwl);
    btnPhotoDwlCancel->setObjectName(u"btnPhotoDwlCancel"_s);
    btnPhotoDwlCancel->setProperty("tag", 1);
    connect(btnPhotoDwlCancel, &QPushButton::clicked, this, [] { CancelTransfer(); });
    overlay->addWidget(lblPhotoDwl);
    overlay->addWidget(pbarPhotoDwl);
    overlay->addWidget(btnPhotoDwlCancel, 0, Qt::AlignCenter);
    rectPhotoDwl->setFixedSize(360, 110);
}

void TfrmMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_closing && !timerStart->property("done").toBool()) {
        timerStart->setInterval(250);
        timerStart->start();
    }
}

void TfrmMain::Start()
{
    timerStart->stop();
    timerStart->setProperty("done", true);
    if (TfrmSplash* splash = Splash())
        splash->deleteLater();
    RefreshCaption();
    if (!Initialise()) {
        FatalError(MainText::InitFailed);
        return;
    }
    layoutFirstLevel->show();
    imgBackground->hide();
    if (!SyncEnabled || SkipAutoSync) {
        StartupSyncPending = false;
        PressOnly(btnFLNews);
        ShowSection(SecNews);
    } else {
        PressOnly(btnFLUpdate);
        ShowSection(SecSync);
    }
}

bool TfrmMain::Initialise()
{
    try {
        SyncInProgress = false;
        PropEditing = CliEditing = UserEditing = false;
        TimerIntervals().FailureReset = std::chrono::milliseconds(300000);
        TimerIntervals().ConnectionTest = std::chrono::milliseconds(900000);
        ResultMode = PreviousResultMode = TRMNone;
        PropertyList->ResetStates();
        // The user's marks, as the rows and the close request see them.
        Marks().Reload(CurrentAgencyCode(), SessionUserCode);
        Marks().ClearVisited();
        RefreshMarksCounter(Marks().Count());
        PropertyList->SetSelectionCount(Selections::CountListed());
        {
            const QSignalBlocker silent(chkConfigMarkVisitedProps);
            chkConfigMarkVisitedProps->setChecked(ReadSetting(Setting::MarkVisitedProps) == u"True"_s);
        }
        PrepareProperties();
        SetFilterTabOrder();
        // Maximum lengths of the input fields that exist so far.
        static const std::pair<const char*, int> lengths[] = {
            {"edtPropSearch", 16}, {"edtClientsSearch", 20},       {"edtUsersSearch", 20},      {"edtSyncFwKey", 8},
            {"edtSyncFwCode", 4},  {"edtConfigConnectTimeout", 6}, {"edtConfigReadTimeout", 6},
        };
        for (const auto& [name, length] : lengths)
            if (auto* edit = findChild<QLineEdit*>(QString::fromLatin1(name)))
                edit->setMaxLength(length);
        RefreshCounters();
        return true;
    } catch (const std::exception& e) {
        WriteLog(u"$8003"_s, QString::fromUtf8(e.what()));
        return false;
    }
}

void TfrmMain::PrepareProperties()
{
    // The panel was built before the data was open: its lists, currencies and date ranges
    // come from the data and the user now known.
    FilterPanel->Reset(true);
    FilterPanel->ResetStoredSearches();
    edtPropSearch->clear();
    const int stored = ReadSetting(Setting::DefaultOwnFilter).toInt();
    QComboBox* fastFilter = PropertyList->cboOwnFastFilter;
    fastFilter->setCurrentIndex(stored >= 0 && stored < fastFilter->count() ? stored : 0);
}

void TfrmMain::SetFilterTabOrder()
{
    static const char* const order[] = {
        "edtPropSearch",         "edtFilterPrecioDesde",  "edtFilterPrecioHasta", "cboFilterMoneda",
        "edtFilterIngresoDesde", "edtFilterIngresoHasta", "edtFilterModDesde",    "edtFilterModHasta",
        "edtFilterTnoDesde",     "edtFilterTnoHasta",     "edtFilterCubDesde",    "edtFilterCubHasta",
        "edtFilterDormDesde",    "edtFilterDormHasta",    "edtFilterAmbDesde",    "edtFilterAmbHasta",
        "edtFilterPlantasDesde", "edtFilterPlantasHasta", "edtFilterBanosDesde",  "edtFilterBanosHasta",
        "edtFilterAnoDesde",     "edtFilterAnoHasta",     "edtFilterTexto",       "chkFilterValoresEnCero"};
    QWidget* previous = nullptr;
    for (const char* name : order) {
        QWidget* field = findChild<QWidget*>(QString::fromLatin1(name));
        if (!field)
            throw std::runtime_error(std::string("missing filter field ") + name);
        if (previous)
            setTabOrder(previous, field);
        previous = field;
    }
}

void TfrmMain::RefreshCaption()
{
    setWindowTitle(
        MainText::CaptionPattern.arg(Config::AppInfoText, CurrentBroker.Name,
                                     CurrentUser.DisplayName.isEmpty() ? CurrentUser.Name : CurrentUser.DisplayName));
}

void TfrmMain::RefreshCounters()
{
    const int agency = CurrentAgencyCode();
    m_buttons[0].counter->setText(
        PluralText(u"%s propiedad"_s, u"%s propiedades"_s,
                   ReadCount(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Estado`=2;"_s)));
    m_buttons[1].counter->setText(PluralText(u"%s mensaje"_s, u"%s mensajes"_s,
                                             ReadCount(u"SELECT COUNT(*) FROM `W_Mensajes` WHERE `Msg_Activo`=1 AND "
                                                       u"`Inmo_Codigo` IN (-1, %1);"_s.arg(agency))));
    m_buttons[2].counter->setText(
        PluralText(u"%s asociada"_s, u"%s asociadas"_s,
                   ReadCount(u"SELECT COUNT(*) FROM `W_Inmobiliarias` WHERE IFNULL(`Inmo_FechaBaja`, \"\") = \"\" OR "
                             u"`Inmo_FechaBaja` < IFNULL(`Inmo_FechaReingreso`, \"\");"_s)));
    m_buttons[3].counter->setText(
        PluralText(u"%s cliente"_s, u"%s clientes"_s,
                   ReadCount(u"SELECT COUNT(*) FROM `W_Clientes` WHERE `Inmo_Codigo`=%1 AND "
                             u"`Cli_Activo`=1 AND `Cli_Estado` IN (\"OK\",\"AM\");"_s.arg(agency))));
    lblUsersCount->setText(
        PluralText(u"%s activo"_s, u"%s activos"_s,
                   ReadCount(u"SELECT COUNT(*) FROM `W_Usuarios` WHERE `Inmo_Codigo`=%1 AND "
                             u"`Usuario_Activo`=1 AND `Usuario_Estado` IN (\"OK\",\"AM\");"_s.arg(agency))));
    SetConnectionState(SyncEnabled ? 1 : 0);

    int pending = 0;
    if (DB() && HasPendingChanges(&pending) && pending > 0) {
        lblBadge->setText(QString::number(pending));
        const int characters = pending < 10 ? 1 : pending < 100 ? 2 : 3;
        rectBadge->setProperty("characters", characters);
        const QPixmap background = AppPicture(u"imgBadge"_s + QString::number(characters));
        rectBadge->setFixedSize(background.isNull() ? QSize(12 + 8 * characters, 20) : background.size());
        rectBadge->setIcon(QIcon(background));
        rectBadge->setIconSize(rectBadge->size());
        lblBadge->setGeometry(rectBadge->rect());
        rectBadge->move(btnFLUpdate->width() - rectBadge->width() - 2, 2);
        rectBadge->show();
        rectBadge->raise();
    } else {
        rectBadge->setProperty("characters", 0);
        rectBadge->hide();
    }
}

std::vector<QPushButton*> TfrmMain::FirstLevelButtons() const
{
    std::vector<QPushButton*> list;
    for (const TFirstLevelButton& b : m_buttons)
        list.push_back(b.button);
    return list;
}

void TfrmMain::PressOnly(QPushButton* button)
{
    for (QPushButton* b : FirstLevelButtons())
        b->setChecked(b == button && b->isCheckable());
}

void TfrmMain::SetFirstLevelEnabled(bool enabled)
{
    for (QPushButton* b : FirstLevelButtons())
        b->setEnabled(enabled);
}

void TfrmMain::FirstLevelRelease(int tag)
{
    if (tag == SecHelp) {
        StopCountDown();
        HelpAction();
        return;
    }
    StopCountDown();
    QPushButton* button = m_buttons[size_t(tag - 1)].button;
    if (tag == SecSync && titBtnUpdate->text() == MainText::OfflineTitle)
        button->setChecked(false);
    else
        PressOnly(button);
    ShowSection(tag);
}

void TfrmMain::ShowSection(int tag)
{
    if (tag == SecSync && titBtnUpdate->text() == MainText::OfflineTitle) {
        TestConnectionAsked();
        return;
    }
    const QList<QLineEdit*> searches{edtPropSearch, edtNewsSearch, edtBrokersSearch, edtClientsSearch};
    for (QLineEdit* edit : searches)
        edit->blockSignals(true);
    HideEmptyList();
    for (QWidget* section : m_sections)
        section->hide();
    switch (tag) {
    case SecProps:
        layoutProps->show();
        CloseCard();
        // The section opens on the agency's own listings.
        PropertyList->ShowOwnProperties(PropertyListText::OwnFailed);
        FilterPanel->ExamineClipboard();
        break;
    case SecPropLayout:
        layoutProps->show();
        break;
    case SecNews:
        layoutNews->show();
        break;
    case SecBrokers:
        layoutBrokers->show();
        break;
    case SecClients:
        layoutClients->show();
        break;
    case SecSync:
        layoutSync->show();
        break;
    case SecConfig:
        layoutConfig->show();
        break;
    default:
        break;
    }
    m_section = tag;
    for (QLineEdit* edit : searches)
        edit->blockSignals(false);
    if (tag == SecSync)
        SyncRun();
}

void TfrmMain::ShowEmptyList(int kind)
{
    static const char* const texts[] = {"No se encontraron mensajes",         "No se encontraron inmobiliarias",
                                        "No se encontraron clientes",         "No se encontraron usuarios",
                                        "No se han encontrado propiedades",   "No se han encontrado propiedades",
                                        "No hay propiedades marcadas",        "No hay selecciones guardadas",
                                        "No hay propiedades en la selección", "No hay registros"};
    const int index = kind >= 0 && kind <= 9 ? kind : 9;
    lblEmptyList->setText(QString::fromUtf8(texts[index]));
    // Lists with a side panel keep the placeholder left of it and below their top bar.
    const QRect area = layoutContent->rect();
    const QRect target = index <= 3 ? QRect(0, 102, area.width() * 2 / 3, area.height() - 102)
                                    : QRect(0, 164, area.width(), area.height() - 164);
    rectEmptyList->adjustSize();
    rectEmptyList->move(target.center() - rectEmptyList->rect().center());
    rectEmptyList->show();
    rectEmptyList->raise();
}

void TfrmMain::HideEmptyList()
{
    rectEmptyList->hide();
}

void TfrmMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (width() < kMinWidth || height() < kMinHeight)
        resize(std::max(width(), kMinWidth), std::max(height(), kMinHeight));
    rectPhotoDwl->move((width() - rectPhotoDwl->width()) / 2, (height() - rectPhotoDwl->height()) / 2);
}

void TfrmMain::keyPressEvent(QKeyEvent* event)
{
    if (layoutProps->isVisible()) {
        const std::pair<int, TPropertyStep> keys[] = {{Qt::Key_PageUp, StepPrevious},
                                                      {Qt::Key_PageDown, StepNext},
                                                      {Qt::Key_End, StepLast},
                                                      {Qt::Key_Home, StepFirst}};
        for (const auto& [key, step] : keys)
            if (event->key() == key) {
                Q_EMIT PropertyStep(step);
                return;
            }
    }
    QWidget::keyPressEvent(event);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == edtPropSearch && event->type() == QEvent::KeyPress) {
        const QString typed = static_cast<QKeyEvent*>(event)->text();
        if (!typed.isEmpty() && typed.at(0).isPrint() && !IsCodeChars(typed))
            return true;
    }
    if (watched == imgSyncFWCaptcha && event->type() == QEvent::MouseButtonPress) {
        edtSyncFwCode->clear();
        NewSyncCaptcha();
        return true;
    }
    if ((watched == edtSyncFwKey || watched == edtSyncFwCode) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == edtSyncFwKey)
                edtSyncFwCode->setFocus();
            else
                ValidateAndSync();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

TTransferSinks* TfrmMain::ShowPanel()
{
    static std::unique_ptr<TWidgetTransferSinks> sinks;
    sinks = std::make_unique<TWidgetTransferSinks>(pbarPhotoDwl, lblPhotoDwl, nullptr, btnPhotoDwlCancel);
    // Disabling the content takes the focus from it; the user's place is given back after.
    m_focusBeforePanel = QApplication::focusWidget();
    layoutMain->setEnabled(false);
    rectPhotoDwl->show();
    rectPhotoDwl->raise();
    return sinks.get();
}

void TfrmMain::HidePanel()
{
    rectPhotoDwl->hide();
    layoutMain->setEnabled(true);
    if (m_focusBeforePanel && m_focusBeforePanel->isVisible())
        m_focusBeforePanel->setFocus(Qt::OtherFocusReason);
    m_focusBeforePanel = nullptr;
}

void TfrmMain::HelpAction()
{
    if (!QFile::exists(HelpDocumentFile()))
        WriteSetting(Setting::HelpVersion, u"0"_s);
    const QString title = lblPhotoDwl->text();
    lblPhotoDwl->setText(u"Descargando la ayuda del sistema..."_s);
    TTransferSinks* sinks = ShowPanel();
    SetTransferSinks(sinks);
    double version = 0;
    const QString error = FetchHelpDocument(ParseDotFloat(ReadSetting(Setting::HelpVersion)), version);
    SetTransferSinks(nullptr);
    HidePanel();
    lblPhotoDwl->setText(title);
    if (!error.isEmpty())
        ShowError(error);
    else
        WriteSetting(Setting::HelpVersion, FloatToDotText(version));
    if (!QFile::exists(HelpDocumentFile()))
        ShowError(MainText::HelpMissing);
    else if (!ShellOpen(HelpDocumentFile()))
        ShowError(MainText::HelpNoViewer.arg(QDir::toNativeSeparators(HelpDocumentFile())));
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    if (!CloseRequest()) {
        event->ignore();
        return;
    }
    event->accept();
    CloseWindow();
}

bool TfrmMain::CloseRequest()
{
    const QString code = u"$8001"_s;
    if (ForceClose) {
        WriteLog(code, u"Cierre del sistema."_s);
        return true;
    }
    if (SyncInProgress) {
        ShowInformation(MainText::WaitForSync + u'\n' + MainText::SecondLine);
        return false;
    }
    for (const auto& [editing, text] :
         {std::pair{PropEditing, MainText::SaveProperty}, std::pair{CliEditing, MainText::SaveClient},
          std::pair{UserEditing, MainText::SaveUser}})
        if (editing) {
            ShowInformation(text + u'\n' + MainText::SecondLine);
            return false;
        }
    const bool pending = DB() && HasPendingChanges();
    if (SyncEnabled && !CloseAfterSync && pending) {
        TfrmSyncDlg dialog(this);
        dialog.setMode(false);
        CloseAfterSync = dialog.exec() == QDialog::Accepted;
        if (CloseAfterSync) {
            PressOnly(btnFLUpdate);
            ShowSection(SecSync);
        }
        return false;
    }
    const QString question =
        pending ? MainText::PendingWarning + u"\n\n"_s + MainText::CloseQuestion : MainText::CloseQuestion;
    if (!AskConfirmation(question))
        return false;
    if (Marks().Count() > 0 && !AskConfirmation(MainText::KeepMarks))
        Marks().Clear();
    WriteLog(code, u"Cierre del sistema."_s);
    return true;
}

void TfrmMain::CloseWindow()
{
    m_closing = true;
    PropertyList->FreeResultSet();
    WriteLog(u"$8002"_s, u"Cerrando la ventana principal."_s);
    CloseDatabase();
    deleteLater();
}
