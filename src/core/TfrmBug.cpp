#include "core/TfrmBug.h"

#include "core/Config.h"
#include "core/uTypes.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>

using namespace Qt::StringLiterals;

namespace {

constexpr int kClientWidth = 400;
constexpr int kHeaderHeight = 64;

QPixmap HeaderPicture(const QColor& colour)
{
    QPixmap picture(kClientWidth, kHeaderHeight);
    picture.fill(colour);
    return picture;
}

QLabel* MakeLabel(QWidget* parent, const QString& name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    return label;
}

void SetTitleColour(QLabel* label, QRgb argb)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor::fromRgba(argb));
    label->setPalette(palette);
}

} // namespace

TfrmBug::TfrmBug(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"TfrmBug"_s);
    setWindowTitle(Config::AppTitle);
    setModal(true);

    imgErrorHeader = MakeLabel(this, u"imgErrorHeader"_s);
    imgErrorHeader->setPixmap(HeaderPicture(QColor(0xF2, 0xF2, 0xF2)));
    imgErrorHeader->setGeometry(0, 0, kClientWidth, kHeaderHeight);
    imgBugHeader = MakeLabel(this, u"imgBugHeader"_s);
    imgBugHeader->setPixmap(HeaderPicture(QColor(0xB0, 0x1C, 0x1C)));
    // Both headers and icons share one place; the mode decides which pair shows.
    imgBugHeader->setGeometry(imgErrorHeader->geometry());

    const int iconSize = 40;
    imgErrorIcon = MakeLabel(this, u"imgErrorIcon"_s);
    imgErrorIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(iconSize, iconSize));
    imgErrorIcon->setGeometry(12, (kHeaderHeight - iconSize) / 2, iconSize, iconSize);
    imgBugIcon = MakeLabel(this, u"imgBugIcon"_s);
    imgBugIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(iconSize, iconSize));
    imgBugIcon->setGeometry(imgErrorIcon->geometry());

    lblTitle = MakeLabel(this, u"lblTitle"_s);
    lblTitle->setText(u"Se produjo un error"_s);
    QFont titleFont = lblTitle->font();
    titleFont.setPointSize(16);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    lblTitle->setGeometry(64, 0, kClientWidth - 76, kHeaderHeight);

    lblIntro = MakeLabel(this, u"lblIntro"_s);
    lblIntro->setWordWrap(true);
    lblIntro->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblIntro->setGeometry(12, kHeaderHeight + 12, kClientWidth - 24, 72);

    lblMessageCaption = MakeLabel(this, u"lblMessageCaption"_s);
    lblMessageCaption->setText(u"Mensaje de error"_s);
    lblMessageCaption->setGeometry(12, lblIntro->geometry().bottom() + 8, kClientWidth - 24, 18);

    mmoMessage = new QPlainTextEdit(this);
    mmoMessage->setObjectName(u"mmoMessage"_s);
    mmoMessage->setReadOnly(true);
    mmoMessage->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    mmoMessage->setGeometry(12, lblMessageCaption->geometry().bottom() + 4, kClientWidth - 24, 100);

    btnClose = new QPushButton(u"Cerrar el sistema"_s, this);
    btnClose->setObjectName(u"btnClose"_s);
    btnClose->resize(140, 30);
    btnClose->move((kClientWidth - btnClose->width()) / 2, mmoMessage->geometry().bottom() + 16);
    connect(btnClose, &QPushButton::clicked, this, [this] {
        ForceClose = true;
        done(QDialog::Rejected);
    });

    setFixedSize(kClientWidth, btnClose->geometry().bottom() + 1 + 12);
}

void TfrmBug::HideOtherWindows()
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        if (window != this && window->isVisible())
            window->hide();
}

void TfrmBug::ShowErrorMode(const QString& message)
{
    HideOtherWindows();
    imgErrorHeader->show();
    imgErrorIcon->show();
    imgBugHeader->hide();
    imgBugIcon->hide();
    imgErrorHeader->lower();
    lblTitle->setText(u"Error"_s);
    SetTitleColour(lblTitle, 0xFF000000);
    lblIntro->setText(u"Se produjo un error al ejecutar un proceso del sistema.\n"_s
                      u"Cierre el programa y vuelva a realizar la operación que produjo el error.\n"_s
                      u"Si el problema persiste comuníquese con nuestro soporte técnico."_s);
    lblMessageCaption->show();
    mmoMessage->show();
    mmoMessage->clear();
    mmoMessage->setPlainText(message);
}

void TfrmBug::ShowUnexpectedMode()
{
    HideOtherWindows();
    imgBugHeader->show();
    imgBugIcon->show();
    imgErrorHeader->hide();
    imgErrorIcon->hide();
    imgBugHeader->lower();
    lblTitle->setText(u"Error inesperado"_s);
    SetTitleColour(lblTitle, 0xFFFFFFFF);
    QFont introFont = lblIntro->font();
    introFont.setPixelSize(13);
    lblIntro->setFont(introFont);
    lblIntro->resize(lblIntro->width(), 193);
    lblIntro->setText(u"Se produjo un error inesperado.\n\n"_s
                      u"Cierre el programa y vuelva a realizar la operación que produjo el error.\n\n"_s
                      u"Si el problema persiste comuníquese con nuestro soporte técnico."_s);
    lblMessageCaption->hide();
    mmoMessage->hide();
}

namespace {

class TBugWindowHandler final : public TFatalHandler {
public:
    void ShowBug(TBugMode mode, const QString& message) override
    {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            return;
        TfrmBug window;
        if (mode == TBugMode::Error)
            window.ShowErrorMode(message);
        else
            window.ShowUnexpectedMode();
        window.exec();
    }
    // The window has been closed: the program ends here, before the failed caller goes on.
    void Terminate() override { EndProcessAfterFatalError(); }
};

} // namespace

void InstallBugWindowHandler()
{
    static TBugWindowHandler handler;
    SetFatalHandler(&handler);
}
