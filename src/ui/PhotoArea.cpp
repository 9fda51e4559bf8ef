#include "ui/PhotoArea.h"

#include "core/UserMessages.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int kShownWidth = 400;
constexpr int kShownHeight = 300;

const QStringList kImageSuffixes = {u"jpg"_s, u"jpeg"_s, u"png"_s, u"bmp"_s, u"gif"_s};

QPushButton* Button(const QString& name, const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

TPhotoArea::TPhotoArea(QWidget* parent) : QWidget(parent)
{
    setObjectName(u"rectPropEditPhotos"_s);
    setAcceptDrops(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    imgPropEditPhoto = new QLabel(this);
    imgPropEditPhoto->setObjectName(u"imgPropEditPhoto"_s);
    imgPropEditPhoto->setFixedSize(kShownWidth, kShownHeight);
    imgPropEditPhoto->setAlignment(Qt::AlignCenter);
    imgPropEditPhoto->setWordWrap(true);
    imgPropEditPhoto->setFrameShape(QFrame::StyledPanel);
    column->addWidget(imgPropEditPhoto, 0, Qt::AlignHCenter);

    auto* navigation = new QHBoxLayout;
    btnPropPhotoPrev = Button(u"btnPropPhotoPrev"_s, u"<"_s, this);
    btnPropPhotoPrev->setToolTip(u"Foto anterior"_s);
    lblPropPhotoPosition = new QLabel(this);
    lblPropPhotoPosition->setObjectName(u"lblPropPhotoPosition"_s);
    lblPropPhotoPosition->setAlignment(Qt::AlignCenter);
    lblPropPhotoPosition->setMinimumWidth(lblPropPhotoPosition->fontMetrics().horizontalAdvance(u"Foto 15 de 15"_s) +
                                          8);
    btnPropPhotoNext = Button(u"btnPropPhotoNext"_s, u">"_s, this);
    btnPropPhotoNext->setToolTip(u"Foto siguiente"_s);
    navigation->addStretch(1);
    navigation->addWidget(btnPropPhotoPrev);
    navigation->addWidget(lblPropPhotoPosition);
    navigation->addWidget(btnPropPhotoNext);
    navigation->addStretch(1);
    column->addLayout(navigation);

    auto* actions = new QHBoxLayout;
    btnPropAddPhoto = Button(u"btnPropAddPhoto"_s, u"Agregar fotos"_s, this);
    btnPropDelPhoto = Button(u"btnPropDelPhoto"_s, u"Eliminar foto"_s, this);
    btnPropRotPhoto = Button(u"btnPropRotPhoto"_s, u"Rotar foto"_s, this);
    btnPropRotPhoto->setToolTip(u"Gira 90° las fotografías agregadas durante esta edición"_s);
    actions->addStretch(1);
    actions->addWidget(btnPropAddPhoto);
    actions->addWidget(btnPropDelPhoto);
    actions->addWidget(btnPropRotPhoto);
    actions->addStretch(1);
    column->addLayout(actions);

    connect(btnPropPhotoPrev, &QPushButton::clicked, this, [this] { ShowIndex(m_store.CurrentIndex() - 1); });
    connect(btnPropPhotoNext, &QPushButton::clicked, this, [this] { ShowIndex(m_store.CurrentIndex() + 1); });
    connect(btnPropAddPhoto, &QPushButton::clicked, this, [this] { AddClicked(); });
    connect(btnPropDelPhoto, &QPushButton::clicked, this, [this] { DeleteClicked(); });
    connect(btnPropRotPhoto, &QPushButton::clicked, this, [this] { RotateClicked(); });
    Refresh();
}

bool TPhotoArea::Begin(qint64 propertyCode, int mode)
{
    const bool ok = m_store.Begin(propertyCode, mode);
    Refresh();
    return ok;
}

void TPhotoArea::AfterCommit()
{
    m_store.AfterCommit();
    Refresh();
}

void TPhotoArea::Undo()
{
    m_store.Undo();
    Refresh();
}

void TPhotoArea::SetPhotoSize(const QSize& size)
{
    imgPropEditPhoto->setFixedSize(size);
    Refresh();
}

void TPhotoArea::ShowIndex(int index)
{
    m_store.SetCurrentIndex(index);
    Refresh();
}

void TPhotoArea::AddFiles(const QStringList& files)
{
    if (!m_store.Active() || files.isEmpty())
        return;
    const QStringList messages = m_store.Add(files);
    Refresh();
    if (!messages.isEmpty())
        ShowError(messages.join(u"\n\n"_s));
}

void TPhotoArea::AddClicked()
{
    if (m_store.Count() >= TPropertyPhotos::kMaxPhotos) {
        ShowInformation(PhotoText::PhotoLimit);
        return;
    }
    m_store.CommitRotation();
    const QStringList files = QFileDialog::getOpenFileNames(
        this, u"Agregar fotografías"_s, QString(),
        u"Imágenes (*.jpg *.jpeg *.png *.bmp *.gif);;Imagen JPG (*.jpg);;Imagen JPEG (*.jpeg);;Imagen PNG "
        u"(*.png);;Imagen BMP (*.bmp);;Imagen GIF (*.gif)"_s);
    AddFiles(files);
}

void TPhotoArea::DeleteClicked()
{
    QString error;
    if (!m_store.DeleteCurrent(error))
        ShowError(error);
    Refresh();
}

void TPhotoArea::RotateClicked()
{
    QString error;
    if (!m_store.RotateCurrent(error))
        ShowInformation(error);
    Refresh();
}

void TPhotoArea::Refresh()
{
    const int count = m_store.Active() ? m_store.Count() : 0;
    const int index = m_store.CurrentIndex();
    const bool any = count > 0;
    if (any) {
        const QPixmap picture(m_store.CurrentFile());
        if (picture.isNull())
            imgPropEditPhoto->setText(u"No se pudo mostrar la fotografía."_s);
        else
            imgPropEditPhoto->setPixmap(
                picture.scaled(imgPropEditPhoto->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
        lblPropPhotoPosition->setText(u"Foto %1 de %2"_s.arg(index + 1).arg(count));
    } else {
        imgPropEditPhoto->setPixmap(QPixmap());
        imgPropEditPhoto->setText(u"La propiedad no tiene fotografías. Haga click en \"Agregar fotos\" o arrastre "
                                  u"aquí archivos de imagen."_s);
        lblPropPhotoPosition->setText(QString());
    }
    btnPropPhotoPrev->setEnabled(any && index > 0);
    btnPropPhotoNext->setEnabled(any && index < count - 1);
    btnPropAddPhoto->setEnabled(m_store.Active());
    btnPropDelPhoto->setEnabled(any);
    btnPropRotPhoto->setEnabled(any);
    Q_EMIT PhotosChanged(count);
}

QStringList TPhotoArea::DroppedImages(const QMimeData* data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls()) {
        const QString path = url.toLocalFile();
        if (!path.isEmpty() && kImageSuffixes.contains(QFileInfo(path).suffix().toLower()))
            files << path;
    }
    return files;
}

void TPhotoArea::dragEnterEvent(QDragEnterEvent* event)
{
    if (m_store.Active() && !DroppedImages(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TPhotoArea::dragMoveEvent(QDragMoveEvent* event)
{
    if (m_store.Active() && !DroppedImages(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TPhotoArea::dropEvent(QDropEvent* event)
{
    const QStringList files = DroppedImages(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    AddFiles(files);
}
