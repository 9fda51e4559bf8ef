#pragma once

#include "sync/Sync.h"
#include "sync/SyncData.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class TFilterPanel;
class TPropertyCard;
class TPropertyList;

// The result modes of the property view.
enum TResultMode {
    TRMNone = 0,
    TRMAmpliado = 1,
    TRMResumido = 2,
    TRMFicha = 3,
    TRMOwnAmpliado = 4,
    TRMOwnResumido = 5,
    TRMSrchAmpliado = 6,
    TRMSrchResumido = 7,
    TRMMarkAmpliado = 8,
    TRMMarkResumido = 9,
    TRMSelecciones = 10,
    TRMSelecPropAmpliado = 11,
    TRMSelecPropResumido = 12,
};

// One first-level button: picture, caption and the counter under it.
struct TFirstLevelButton {
    QPushButton* button = nullptr;
    QLabel* icon = nullptr;
    QLabel* title = nullptr;
    QLabel* counter = nullptr;
};

// The window the user works in: seven first-level buttons, one section at a time.
class TfrmMain : public QWidget, public TConnectionTimers, public TPhotoDownloadPanel {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    enum TSection {
        SecProps = 1,
        SecNews = 2,
        SecBrokers = 3,
        SecClients = 4,
        SecSync = 5,
        SecConfig = 6,
        SecHelp = 7,
        SecPropLayout = 8
    };

    void ShowSection(int tag);
    void RefreshCounters();
    void RefreshCaption();
    void ShowEmptyList(int kind);
    void HideEmptyList();
    // What a first-level button does when released.
    void FirstLevelRelease(int tag);
    int CurrentSection() const { return m_section; }

    // Connection state and synchronisation.
    void SetConnectionState(int state);
    int ConnectionState() const { return m_connectionState; }
    // The connection test; true when the service answered.
    bool TestConnection();
    // The connection test the user asked for with a click, and a word on its outcome.
    void TestConnectionAsked();
    void SyncRun();
    void ShowSyncMessage(const QString& text, bool icon, bool close, bool alert);
    void ValidateAndSync();
    QString CaptchaDigestKept() const { return m_captchaDigest; }

    // The property view's keys: first, previous, next and last property.
    enum TPropertyStep { StepFirst, StepPrevious, StepNext, StepLast };

    // TConnectionTimers
    void StartResetTimer() override;
    void StopResetTimer() override;
    void StartConnectionTestTimer() override;
    void ShowOffline() override;
    // TPhotoDownloadPanel
    TTransferSinks* ShowPanel() override;
    void HidePanel() override;

    // Whether a property, client or user form has unsaved input (the close request asks).
    bool PropEditing = false;
    bool CliEditing = false;
    bool UserEditing = false;
    int ResultMode = TRMNone;
    // Milliseconds between the steps of the end-of-run count-down; tests shorten it.
    static inline int CountDownStepMs = 1000;
    int PreviousResultMode = TRMNone;

    QWidget* layoutMain = nullptr;
    QWidget* layoutFirstLevel = nullptr;
    QLabel* imgBackground = nullptr;
    QWidget* layoutContent = nullptr;
    QPushButton* btnFLProps = nullptr;
    QPushButton* btnFLNews = nullptr;
    QPushButton* btnFLBrokers = nullptr;
    QPushButton* btnFLClients = nullptr;
    QPushButton* btnFLUpdate = nullptr;
    QPushButton* btnFLConfig = nullptr;
    QPushButton* btnFLHelp = nullptr;
    QLabel* icoBtnUpdate = nullptr;
    QLabel* titBtnUpdate = nullptr;
    QLabel* msgBtnUpdate = nullptr;
    QPushButton* rectBadge = nullptr;
    QLabel* lblBadge = nullptr;

    QWidget* layoutProps = nullptr;
    TPropertyList* PropertyList = nullptr;
    TPropertyCard* PropertyCard = nullptr;
    TFilterPanel* FilterPanel = nullptr;
    QPushButton* btnPropCardBack = nullptr;
    QPushButton* btnSLPropMarks = nullptr;
    QLabel* lblBtnPropMarks2 = nullptr;
    QPushButton* btnSLPropSelections = nullptr;
    QLabel* lblBtnPropSelections2 = nullptr;
    QCheckBox* chkConfigMarkVisitedProps = nullptr;
    QWidget* layoutNews = nullptr;
    QWidget* layoutBrokers = nullptr;
    QWidget* layoutClients = nullptr;
    QWidget* layoutSync = nullptr;
    QWidget* layoutConfig = nullptr;
    QLineEdit* edtPropSearch = nullptr;
    QLineEdit* edtNewsSearch = nullptr;
    QLineEdit* edtBrokersSearch = nullptr;
    QLineEdit* edtClientsSearch = nullptr;
    QLabel* lblUsersCount = nullptr;
    QPushButton* btnUsrChgCre = nullptr;
    QPushButton* btnViewTerms = nullptr;

    QWidget* rectEmptyList = nullptr;
    QLabel* imgEmptyList = nullptr;
    QLabel* lblEmptyList = nullptr;

    QWidget* rectPhotoDwl = nullptr;
    QLabel* lblPhotoDwl = nullptr;
    QProgressBar* pbarPhotoDwl = nullptr;
    QPushButton* btnPhotoDwlCancel = nullptr;

    // Synchronisation section.
    QWidget* rectSyncTop = nullptr;
    QWidget* layoutSyncMsg = nullptr;
    QLabel* lblSyncMessage = nullptr;
    QLabel* imgSyncMessageAlert = nullptr;
    QLabel* imgSyncMessageOk = nullptr;
    QPushButton* btnSyncMsgClose = nullptr;
    QWidget* layoutSyncFW = nullptr;
    QLineEdit* edtSyncFwKey = nullptr;
    QLineEdit* edtSyncFwCode = nullptr;
    QLabel* imgSyncFWCaptcha = nullptr;
    QPushButton* btnSyncFWLogin = nullptr;
    QWidget* layoutSyncUpd = nullptr;
    QProgressBar* pbarSync = nullptr;
    QPushButton* btnSyncCancel = nullptr;
    QLabel* lblSyncStatus = nullptr;
    QWidget* rectSyncBottom = nullptr;
    QLabel* lblSyncDBVer = nullptr;
    QLabel* lblSyncPropCount = nullptr;
    QLabel* lblSyncLastSync = nullptr;
    QLabel* lblSyncAppVer = nullptr;
    QLabel* lblSyncOSVer = nullptr;
    QLabel* lblSyncInternetStatus = nullptr;
    QLabel* lblSyncKorvelStatus = nullptr;
    QLabel* lblSyncPublicIP = nullptr;
    QPlainTextEdit* mmoSyncLog = nullptr;

    QTimer* timerStart = nullptr;
    QTimer* timerResetSyncErrors = nullptr;
    QTimer* timerTestConnection = nullptr;
    QTimer* timerCountDown = nullptr;

Q_SIGNALS:
    // Page Up / Page Down / Home / End while the property layout shows a list or a card.
    void PropertyStep(int step);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildFirstLevelRow();
    void BuildSections();
    void BuildSyncSection();
    void BuildOverlays();
    void AddSectionControls();
    void AddConfigEntries();
    // The credentials dialog for the logged-in user (the agency's administrator only).
    void ChangeCredentials();
    // The card of a list row (mode 3), and back to the list it came from.
    void OpenCard(int record);
    void CloseCard();
    void RefreshMarksCounter(int count);
    // "Marcadas" (current, available) and the captions of "Selecciones".
    void RefreshListButtons();
    void SelectionsButton();
    // The marks question of a new search: keep the marks for it, or clear them.
    void AskAboutMarks();
    // The property view as the data and the user leave it: filter, lists, quick filter.
    void PrepareProperties();
    void SetFilterTabOrder();
    void Start();
    bool Initialise();
    bool CloseRequest();
    void CloseWindow();
    void PressOnly(QPushButton* button);
    void SetFirstLevelEnabled(bool enabled);
    void FitFirstLevelButtons();
    void StopCountDown();
    void CountDownTick();
    void FillSyncInfo();
    void RefreshSyncDataInfo();
    void NewSyncCaptcha();
    void HelpAction();
    std::vector<QPushButton*> FirstLevelButtons() const;

    std::vector<TFirstLevelButton> m_buttons;
    std::vector<QWidget*> m_sections;
    int m_section = 0;
    int m_connectionState = 1;
    QString m_captchaDigest;
    // Lines that must survive the clearing of the run's log (the validation just granted).
    QString m_syncLogCarry;
    QPointer<QWidget> m_focusBeforePanel;
    QElapsedTimer m_runWatch;
    bool m_closing = false;
};

// The main window of this run; null before it exists and after it is gone.
TfrmMain* MainWindow();

// The help document: asks the service for a newer one than helpVersion and writes it into
// the data folder. "" on success, with the service's version in newVersion.
QString FetchHelpDocument(double helpVersion, double& newVersion);

// Texts of the main window.
namespace MainText {
extern const QString OfflineTitle, OfflineHint, Connecting, OnlineTitle;
extern const QString PleaseWait, Finished, UploadFailed, SyncFailed, Validated, Closing, Continuing;
extern const QString MaintenanceHint, CloseQuestion, PendingWarning, KeepMarks;
extern const QString WaitForSync, SaveProperty, SaveClient, SaveUser, SecondLine;
extern const QString InitFailed, HelpMissing, HelpNoViewer, CaptionPattern;
extern const QString BackOnline, StillOffline;
extern const QString KeyIncomplete, KeyInvalid, CodeInvalid;
} // namespace MainText
