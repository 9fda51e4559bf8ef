#include "ui/TfrmVideoAdd.h"

#include "records/PropertyPhotos.h"
#include "ui/Style.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

TfrmVideoAdd::TfrmVideoAdd(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"TfrmVideoAdd"_s);
    setWindowTitle(u"Video"_s);
    setModal(true);
    setFixedWidth(420);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 14, 16, 14);
    column->setSpacing(8);
    lblTitle = new QLabel(u"Agregar video"_s, this);
    lblTitle->setObjectName(u"lblTitle"_s);
    QFont titleFont = lblTitle->font();
    if (titleFont.pointSize() > 0)
        titleFont.setPointSize(titleFont.pointSize() + 4);
    else
        titleFont.setPixelSize(titleFont.pixelSize() + 5);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    column->addWidget(lblTitle);

    auto* providers = new QHBoxLayout;
    const auto provider = [&](QRadioButton*& radio, QToolButton*& logo, const QString& name, const QString& text) {
        radio = new QRadioButton(text, this);
        radio->setObjectName(u"rb"_s + name);
        logo = new QToolButton(this);
        logo->setObjectName(u"img"_s + name);
        logo->setAutoRaise(true);
        logo->setIcon(QIcon(AppPicture(u"img"_s + name, QSize(48, 32))));
        logo->setIconSize(QSize(48, 32));
        logo->setToolTip(text);
        providers->addWidget(logo);
        providers->addWidget(radio);
        providers->addSpacing(16);
        connect(logo, &QToolButton::clicked, radio, [radio] { radio->setChecked(true); });
        connect(radio, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                edtVideoID->clear(); // an id of one provider means nothing to the other
        });
    };
    edtVideoID = new QLineEdit(this);
    provider(rbYouTube, imgYouTube, u"YouTube"_s, u"YouTube"_s);
    provider(rbVimeo, imgVimeo, u"Vimeo"_s, u"Vimeo"_s);
    providers->addStretch(1);
    column->addLayout(providers);

    auto* field = new QHBoxLayout;
    auto* caption = new QLabel(u"ID del video"_s, this);
    caption->setObjectName(u"lblVideoID"_s);
    edtVideoID->setObjectName(u"edtVideoID"_s);
    edtVideoID->setMaxLength(PropertyVideo::kMaxIdLength);
    // Keys that cannot be part of an identifier are not taken at all.
    edtVideoID->setValidator(new QRegularExpressionValidator(QRegularExpression(u"[A-Za-z0-9_ -]{0,40}"_s), this));
    caption->setBuddy(edtVideoID);
    field->addWidget(caption);
    field->addWidget(edtVideoID, 1);
    column->addLayout(field);
    lblMsg = new QLabel(this);
    lblMsg->setObjectName(u"lblMsg"_s);
    lblMsg->setWordWrap(true);
    QPalette palette = lblMsg->palette();
    palette.setColor(QPalette::WindowText, Colors::ErrorRed);
    lblMsg->setPalette(palette);
    column->addWidget(lblMsg);

    auto* buttons = new QHBoxLayout;
    btnDelete = new QPushButton(u"Eliminar"_s, this);
    btnDelete->setObjectName(u"btnDelete"_s);
    btnCancel = new QPushButton(u"Cancelar"_s, this);
    btnCancel->setObjectName(u"btnCancel"_s);
    btnOk = new QPushButton(u"Aceptar"_s, this);
    btnOk->setObjectName(u"btnOk"_s);
    btnOk->setDefault(true);
    buttons->addWidget(btnDelete);
    buttons->addStretch(1);
    buttons->addWidget(btnCancel);
    buttons->addWidget(btnOk);
    column->addLayout(buttons);

    connect(btnOk, &QPushButton::clicked, this, [this] { Accept(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnDelete, &QPushButton::clicked, this, [this] {
        m_value.clear();
        accept();
    });
}

bool TfrmVideoAdd::Execute(QString& value)
{
    QString provider, id;
    PropertyVideo::Split(value, provider, id);
    (provider == PropertyVideo::Vimeo ? rbVimeo : rbYouTube)->setChecked(true);
    edtVideoID->setText(id);
    lblMsg->clear();
    edtVideoID->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    value = m_value;
    return true;
}

void TfrmVideoAdd::Accept()
{
    const QString value =
        PropertyVideo::Value(rbVimeo->isChecked() ? PropertyVideo::Vimeo : PropertyVideo::YouTube, edtVideoID->text());
    if (value.isEmpty()) {
        lblMsg->setText(PhotoText::InvalidVideoId);
        edtVideoID->setFocus();
        return;
    }
    m_value = value;
    accept();
}
