#pragma once

#include <QLabel>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

#include <memory>

class QCheckBox;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
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

// The card of one property in display mode: its fields, extra details, photos, map and
// video. The result list owns the position; the card asks it to move by its signals.
class TPropertyCard : public QWidget {
    Q_OBJECT
public:
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

Q_SIGNALS:
    void NavigateFirst();
    void NavigatePrevious();
    void NavigateNext();
    void NavigateLast();
    // The card's toggle marked or unmarked its property.
    void MarksChanged(int count);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void ClearFields();
    void FillFields(const TResultSet& row);
    void ApplyBuildingType(const TResultSet& row);
    bool LoadExtraDetails();
    void PlaceRestField();
    void PlaceMapOverlays();
    void OpenVideo();
    void TabChanged(int index);

    qint64 m_code = 0;
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
