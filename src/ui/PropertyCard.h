#pragma once

#include <QLabel>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

#include "records/OwnProperty.h"

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class TPhotoArea;
class TResultSet;

// The watch page of a video stored as "provider,id"; empty for an unknown provider.
QString VideoWatchUrl(const QString& propVideo);

// A label that reports clicks, for the photo, the strip's images and the map.
class TClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    // The full picture behind a thumbnail, for the viewer.
    QPixmap fullPicture;
Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// What the card's edit mode borrows from the photo area and the location dialog. Until
// they are plugged in, the location button says so and a property is saved without photo
// changes.
struct TCardEditServices {
    // Lets the user pick the location; false when nothing was chosen.
    std::function<bool(QWidget* parent, TPropertyLocation& location)> ChooseLocation;
    TPhotoCommit Photos;
};

// The card of one property: its fields, extra details, photos, map and video, and the
// edit mode in which the agency creates, modifies and copies its own listings. The result
// list owns the position; the card asks it to move by its signals.
class TPropertyCard : public QWidget {
    Q_OBJECT
public:
    static void SetEditServices(TCardEditServices services);

    explicit TPropertyCard(QWidget* parent = nullptr);
    ~TPropertyCard() override;

    // Reads the property and fills the card; false (with the message shown) when it fails.
    bool ShowProperty(qint64 code);
    // "Prop: position / count" and the navigation buttons that stay inside the list.
    void SetNavigation(int position, int count);

    qint64 PropertyCode() const { return m_code; }
    int PhotoIndex() const { return m_photoIndex; }
    int PhotoCount() const { return m_photoCount; }
    bool PhotoLoaded() const { return m_photoLoaded; }
    QString MapCoordinates() const { return m_coordinates; }
    QString MapFoundLabel() const { return m_foundLabel; }

    void ShowPhoto(int index);
    // "Marcar" or "Desmarcar", as the shown property is.
    void ShowMarkState();
    void DownloadPhotos();
    void BuildPhotoStrip();
    void OpenViewer(int index);
    void LoadMap();
    // The map's context menu, built for where it is shown.
    QMenu* MapMenu(QWidget* parent);

    // Navigation.
    QWidget* layoutPropNav = nullptr;
    QPushButton* btnPropNavFirst = nullptr;
    QPushButton* btnPropNavLeft = nullptr;
    QLabel* lblPropNav = nullptr;
    QPushButton* btnPropNavRight = nullptr;
    QPushButton* btnPropNavLast = nullptr;
    QPushButton* btnPropMark = nullptr;
    QLabel* imgPropMark = nullptr;

    QTabWidget* tabsProp = nullptr;
    QWidget* tabGeneral = nullptr;
    QWidget* tabMoreInfo = nullptr;
    QWidget* tabImages = nullptr;
    QWidget* tabMap = nullptr;
    QWidget* tabPrivateInfo = nullptr;

    // General data.
    QLineEdit *edtPropCodigo = nullptr, *edtPropCodigoInterno = nullptr, *edtPropEstado = nullptr;
    QLineEdit *edtPropEdif = nullptr, *edtPropSitu = nullptr, *edtPropPlazo = nullptr;
    QLineEdit *edtPropMoneda = nullptr, *edtPropPrecio = nullptr;
    QLabel *lblPropCalleBarrio = nullptr, *lblPropNum = nullptr, *lblPropDto = nullptr, *lblPropPlazo = nullptr;
    QWidget* layoutPropAddr = nullptr;
    QLineEdit *edtPropCalleBarrio = nullptr, *edtPropNum = nullptr, *edtPropPiso = nullptr, *edtPropDto = nullptr,
              *edtPropOtros = nullptr;
    QLabel *lblPropPiso = nullptr, *lblPropOtros = nullptr;
    QLineEdit *edtProptLoc = nullptr, *edtPropZon = nullptr, *edtPropPart = nullptr, *edtPropProv = nullptr,
              *edtPropPais = nullptr;
    QLabel *lblPropSupTno = nullptr, *lblPropSupCub = nullptr, *lblPropPlantas = nullptr, *lblPropBanos = nullptr,
           *lblPropDorm = nullptr, *lblPropAno = nullptr;
    QLineEdit *edtPropSupTno = nullptr, *edtPropSupCub = nullptr, *edtPropPlantas = nullptr, *edtPropBanos = nullptr,
              *edtPropDorm = nullptr, *edtPropAno = nullptr;
    QLineEdit *edtPropIngreso = nullptr, *edtPropModificado = nullptr;
    QLineEdit *edtPropInmoNombre = nullptr, *edtPropInmoTel = nullptr, *edtPropInmoEmail = nullptr;
    QLineEdit *edtPropSellerName = nullptr, *edtPropSellerTel = nullptr, *edtPropSellerEmail = nullptr;
    QCheckBox *chkPropDepend = nullptr, *chkPropCochera = nullptr, *chkPropTel = nullptr, *chkPropAEstrenar = nullptr;
    QPlainTextEdit* mmoPropDesc = nullptr;

    // Main photo.
    TClickLabel* imgPropPhoto = nullptr;
    // The edit form's photos (add, delete, rotate, drop files), where the photo stands.
    TPhotoArea* rectPropEditPhotos = nullptr;
    QPushButton* btnPropImgPrior = nullptr;
    QPushButton* btnPropImgNext = nullptr;
    QLabel* lblPropImgIndex = nullptr;
    QLabel* lblPropPhotoDownload = nullptr;
    QPushButton* btnPropPlayVideo = nullptr;

    // Photo strip.
    QWidget* rectPropPhotoStrip = nullptr;

    // Map.
    TClickLabel* imgPropMap = nullptr;
    QLabel* lblPropMapAddress = nullptr;
    QLabel* imgPropMapBadge = nullptr;
    QLabel* imgPropMapApprox = nullptr;

    QPlainTextEdit* mmoPropInfoPrivada = nullptr;

    // --- Edit mode.
    // 0 display, 1 new, 2 modify, 3 copy.
    int EditMode() const { return m_editMode; }
    bool StartEdit(int mode);
    bool SaveEdit();
    void CancelEdit();
    void SuspendProperty();
    void WithdrawProperty();
    void RequestRecovery();
    // The action column for the shown property, the card's mode and the user's role.
    void UpdateActions();

    QWidget* layoutPropActions = nullptr;
    QPushButton *btnPropNew = nullptr, *btnPropMod = nullptr, *btnPropSuspend = nullptr, *btnPropDel = nullptr,
                *btnPropRecovery = nullptr, *btnPropCopy = nullptr, *btnPropSave = nullptr, *btnPropCancel = nullptr;
    QWidget* layoutPropFormHeader = nullptr;
    QLabel *lblPropFormTitle = nullptr, *lblPropFormNotes = nullptr, *lblPropFormTerms = nullptr;
    QComboBox *cboPropMoneda = nullptr, *cboPropEdif = nullptr, *cboPropSitu = nullptr, *cboPropEstado = nullptr,
              *cboPropPlazo = nullptr, *cboPropTipo = nullptr, *cboPropSellerName = nullptr,
              *cboPropCliNombre = nullptr, *cboPropCalleBarrio = nullptr;
    QLabel* lblPropTipo = nullptr;
    QLineEdit* edtPropUbicacion = nullptr;
    QPushButton* btnPropLocation = nullptr;
    QWidget* layoutPropUbicacion = nullptr;
    QLabel* lblPropCliDatos = nullptr;
    QWidget* rectPublicationOptions = nullptr;
    QCheckBox *chkPropPublicarKV = nullptr, *chkPropPublicarZP = nullptr;
    // Display mode, own listings: where the listing is published.
    QWidget* layoutPropPublication = nullptr;
    TClickLabel *imgPropKV = nullptr, *imgPropStatusZP = nullptr;
    QLabel* lblPropWebApp = nullptr;
    // The text imgPropStatusZP shows when clicked; empty without a portal record.
    QString PortalStatusText() const { return m_portalStatus; }
    QComboBox* cboPropPublicarDireccion = nullptr;

Q_SIGNALS:
    // Edit mode began (true) or ended (false).
    void EditModeChanged(bool editing);
    // A property was saved, suspended, withdrawn or deleted; code 0 when it is gone.
    void PropertiesChanged(qint64 code);
    void NavigateFirst();
    void NavigatePrevious();
    void NavigateNext();
    void NavigateLast();
    // The card's toggle marked or unmarked its property.
    void MarksChanged(int count);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The photo changes a save commits and a cancel undoes: the photo area's, unless a
    // service was installed in its place.
    TPhotoCommit PhotoCommit();
    bool ChooseLocation(TPropertyLocation& location);
    void BuildControls();
    void ClearFields();
    void FillFields(const TResultSet& row);
    void ApplyBuildingType(const TResultSet& row);
    void ApplyBuildingType(int type, bool gated, int operation);
    void BuildEditControls();
    void SetEditLayout(bool editing);
    void FillEditForm(const TOwnPropertyInput& input);
    TOwnPropertyInput CollectInput() const;
    void BuildDetailEditors(const std::vector<TExtraDetail>& details);
    void EditTypeChanged();
    void ShowSellerContact();
    void ShowOwnerDetails();
    void LeaveEdit(qint64 show);
    int CurrentRole() const;
    bool CopyPhotos(int from, int to, bool& allCopied);
    void ShowPublicationStatus();
    bool LoadExtraDetails();
    void PlaceRestField();
    void PlaceMapOverlays();
    void OpenVideo();
    void TabChanged(int index);

    qint64 m_code = 0;
    int m_editMode = 0;
    int m_editCode = 0;
    // The shown property when the edit began, to come back to on cancel.
    qint64 m_returnCode = 0;
    TOwnPropertyInput m_editBase;
    QString m_portalStatus;
    bool m_filling = false;
    QString m_video;
    QStringList m_photos;
    int m_photoIndex = 0;
    int m_photoCount = 0;
    bool m_photoLoaded = false;
    bool m_stripBuilt = false;
    // Map results belong to the shown property.
    bool m_mapDone = false;
    bool m_mapBusy = false;
    QString m_coordinates;
    QString m_foundLabel;
    QPixmap m_mapPicture;
};
