#include "sync/TfrmToS.h"

#include "core/MiscFunc.h"
#include "core/UserMessages.h"

#include <QCheckBox>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include <utility>

using namespace Qt::StringLiterals;

QString TfrmToS::PresetSaveFileName;

namespace {

const QString kTermsTitle = u"Términos y Condiciones de uso del servicio"_s;
const QString kChangeLogTitle = u"Novedades de esta versión"_s;
constexpr int kButtonGap = 16;

} // namespace

TfrmToS::TfrmToS(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"TfrmToS"_s);
    setWindowTitle(kTermsTitle);
    setModal(true);

    lblTitle2 = new QLabel(u"Manifieste su conformidad con el siguiente documento"_s, this);
    lblTitle2->setObjectName(u"lblTitle2"_s);
    QFont titleFont = lblTitle2->font();
    titleFont.setBold(true);
    lblTitle2->setFont(titleFont);

    mmoTOS = new QPlainTextEdit(this);
    mmoTOS->setObjectName(u"mmoTOS"_s);
    mmoTOS->setReadOnly(true);
    mmoTOS->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    chkAgree = new QCheckBox(u"Acepto los Términos y Condiciones de uso de Vodadez Korvel."_s, this);
    chkAgree->setObjectName(u"chkAgree"_s);

    m_buttonPanel = new QWidget(this);
    m_buttonPanel->setFixedHeight(40);
    m_buttonPanel->installEventFilter(this);
    btnOk = new QPushButton(u"Aceptar"_s, m_buttonPanel);
    btnOk->setObjectName(u"btnOk"_s);
    btnCancel = new QPushButton(u"Rechazar"_s, m_buttonPanel);
    btnCancel->setObjectName(u"btnCancel"_s);
    btnSave = new QPushButton(u"Guardar"_s, m_buttonPanel);
    btnSave->setObjectName(u"btnSave"_s);
    btnPrint = new QPushButton(u"Imprimir"_s, m_buttonPanel);
    btnPrint->setObjectName(u"btnPrint"_s);
    btnPrint->hide();
    for (QPushButton* button : {btnOk, btnCancel, btnSave, btnPrint}) {
        button->resize(110, 30);
        button->setAutoDefault(false);
    }

    dlgSave = new QFileDialog(this);
    dlgSave->setObjectName(u"dlgSave"_s);
    dlgSave->setAcceptMode(QFileDialog::AcceptSave);
    dlgSave->setNameFilter(u"Archivos de texto (*.txt)"_s);
    dlgSave->setDefaultSuffix(u"txt"_s);

    connect(chkAgree, &QCheckBox::toggled, btnOk, &QPushButton::setEnabled);
    connect(btnOk, &QPushButton::clicked, this, [this] {
        if (chkAgree->isChecked())
            accept();
    });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnSave, &QPushButton::clicked, this, &TfrmToS::Save);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblTitle2);
    layout->addWidget(mmoTOS, 1);
    layout->addWidget(chkAgree);
    layout->addWidget(m_buttonPanel);

    resize(800, 560);
    SetMode(ModeAcceptance);
    chkAgree->setFocus();
}

void TfrmToS::SetMode(int mode)
{
    m_mode = mode;
    const bool accepting = mode == ModeAcceptance;
    lblTitle2->setVisible(accepting);
    chkAgree->setVisible(accepting);
    btnCancel->setVisible(accepting);
    chkAgree->setChecked(!accepting);
    btnOk->setEnabled(!accepting);
    setWindowTitle(mode == ModeChangeLog ? kChangeLogTitle : kTermsTitle);
    setWindowIcon(mode == ModeChangeLog ? style()->standardIcon(QStyle::SP_FileDialogInfoView) : QIcon());
    PlaceButtons();
}

void TfrmToS::Fill(const QString& text, const QDate& date, double version)
{
    mmoTOS->setPlainText(text);
    mmoTOS->appendPlainText(u"Versión: "_s + FormatTwoDecimals(version));
    mmoTOS->appendPlainText(u"Fecha: "_s + date.toString(u"dd/MM/yyyy"_s));
    for (int i = 0; i < 5; ++i)
        mmoTOS->appendPlainText(QString());
    mmoTOS->moveCursor(QTextCursor::Start);
}

void TfrmToS::PlaceButtons()
{
    const int width = m_buttonPanel->width();
    const int top = (m_buttonPanel->height() - btnOk->height()) / 2;
    btnSave->move(0, top);
    btnPrint->move(btnSave->width() + kButtonGap, top);
    if (m_mode == ModeAcceptance) {
        btnCancel->move(width - btnCancel->width(), top);
        btnOk->move(btnCancel->x() - kButtonGap - btnOk->width(), top);
    } else {
        btnOk->move((width - btnOk->width()) / 2, top);
    }
}

bool TfrmToS::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_buttonPanel && event->type() == QEvent::Resize)
        PlaceButtons();
    return QDialog::eventFilter(watched, event);
}

void TfrmToS::showEvent(QShowEvent* event)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

QString TfrmToS::ChooseSaveFile()
{
    if (!PresetSaveFileName.isEmpty())
        return std::exchange(PresetSaveFileName, QString());
    if (dlgSave->exec() != QDialog::Accepted || dlgSave->selectedFiles().isEmpty())
        return {};
    return dlgSave->selectedFiles().constFirst();
}

void TfrmToS::Save()
{
    const QString fileName = ChooseSaveFile();
    if (fileName.isEmpty())
        return;
    QFile file(fileName);
    const QByteArray lines = mmoTOS->toPlainText().replace(u'\n', u"\r\n"_s).toUtf8() + "\r\n";
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(lines) != lines.size())
        ShowError(u"No se pudo guardar el documento en "_s + fileName);
}
