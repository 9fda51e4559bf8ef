#include "sync/TfrmSyncDlg.h"

#include "core/Config.h"
#include "sync/Upload.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

const QString kNotes = u"Los siguientes cambios realizados en este equipo todavía no se enviaron al servidor."_s;
const QString kOffer = u"Puede enviarlos ahora y el programa se cerrará al terminar la actualización."_s;

} // namespace

TfrmSyncDlg::TfrmSyncDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"TfrmSyncDlg"_s);
    setWindowTitle(Config::AppTitle);
    setModal(true);

    lblTitle = new QLabel(u"Cambios pendientes de envío"_s, this);
    lblTitle->setObjectName(u"lblTitle"_s);
    QFont title = lblTitle->font();
    title.setPointSize(14);
    title.setBold(true);
    lblTitle->setFont(title);
    lblNotes = new QLabel(kNotes, this);
    lblNotes->setObjectName(u"lblNotes"_s);
    lblNotes->setWordWrap(true);

    mmoChanges = new QPlainTextEdit(this);
    mmoChanges->setObjectName(u"mmoChanges"_s);
    mmoChanges->setReadOnly(true);
    // The same family as the synchronisation log.
    mmoChanges->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    btnOk = new QPushButton(u"Actualizar y salir"_s, this);
    btnOk->setObjectName(u"btnOk"_s);
    btnCancel = new QPushButton(u"Cancelar"_s, this);
    btnCancel->setObjectName(u"btnCancel"_s);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblTitle);
    layout->addWidget(lblNotes);
    layout->addWidget(mmoChanges, 1);
    layout->addLayout(buttons);
    setFixedWidth(800);
    resize(800, 520);
}

void TfrmSyncDlg::setMode(bool OnlyShow)
{
    m_onlyShow = OnlyShow;
}

void TfrmSyncDlg::showEvent(QShowEvent* event)
{
    btnOk->setVisible(!m_onlyShow);
    btnCancel->setText(m_onlyShow ? u"Cerrar"_s : u"Cancelar"_s);
    lblNotes->setText(m_onlyShow ? kNotes : kNotes + u"\n\n"_s + kOffer);
    mmoChanges->setPlainText(PendingChangesList() + u"\r\n\r\n"_s + PendingChangesSummary() + u"\r\n\r\n"_s);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}
