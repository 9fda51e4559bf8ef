#include "records/TfrmDlg.h"

#include "core/MiscFunc.h"
#include "records/ReasonLists.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>

using namespace Qt::StringLiterals;

namespace {

constexpr int kClientWidth = 400;
constexpr int kMargin = 12;
constexpr int kIconSize = 48;
constexpr int kTextLeft = kMargin + kIconSize + kMargin;
constexpr int kListHeight = 150;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 30;
constexpr QRgb kWithdrawNoteColour = 0xFFF5070C;

const QString kWithdrawLocalTitle = u"Eliminar propiedad"_s;
const QString kWithdrawLocalNote = u"Esta propiedad todavía no fue enviada al servidor: se eliminará por completo "_s
                                   u"junto con sus fotos. Esta operación no se puede deshacer."_s;
const QString kWithdrawTitle = u"Dar de baja la propiedad"_s;
const QString kWithdrawNote = u"La propiedad %1 dejará de estar vigente. Seleccione el motivo de la baja."_s;
const QString kSuspendTitle = u"Suspender la propiedad"_s;
const QString kSuspendNote = u"La propiedad %1 quedará suspendida. Seleccione el motivo de la suspensión."_s;
const QString kRecoverTitle = u"Recuperar la propiedad"_s;
const QString kRecoverNote = u"Se solicitará al servidor que la propiedad %1 vuelva a estar vigente."_s;

} // namespace

TfrmDlg::TfrmDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"TfrmDlg"_s);
    setWindowTitle(QString());
    setModal(true);

    imgIcon = new QLabel(this);
    imgIcon->setObjectName(u"imgIcon"_s);
    imgIcon->setGeometry(kMargin, kMargin, kIconSize, kIconSize);

    lblTitle = new QLabel(this);
    lblTitle->setObjectName(u"lblTitle"_s);
    QFont titleFont = lblTitle->font();
    titleFont.setPointSize(titleFont.pointSize() + 4);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    lblTitle->setGeometry(kTextLeft, kMargin, kClientWidth - kTextLeft - kMargin, 26);

    lblNote = new QLabel(this);
    lblNote->setObjectName(u"lblNote"_s);
    lblNote->setWordWrap(true);
    lblNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_notePalette = lblNote->palette();

    lstboxReasons = new QListWidget(this);
    lstboxReasons->setObjectName(u"lstboxReasons"_s);
    lstboxReasons->setSelectionMode(QAbstractItemView::SingleSelection);
    lstboxReasons->hide();
    connect(lstboxReasons, &QListWidget::itemSelectionChanged, this, &TfrmDlg::TakeSelectedReason);
    // Picking a reason with a double click is the answer itself.
    connect(lstboxReasons, &QListWidget::itemDoubleClicked, this, [this] {
        if (m_reasonCode != -1)
            accept();
    });

    btnCancel = new QPushButton(u"Cancelar"_s, this);
    btnCancel->setObjectName(u"btnCancel"_s);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    btnOk = new QPushButton(u"Aceptar"_s, this);
    btnOk->setObjectName(u"btnOk"_s);
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);

    ArrangeControls();
}

bool TfrmDlg::SetMode(int mode)
{
    if (mode < ModeWithdraw || mode > ModeRecover)
        return false;
    m_mode = mode;
    QStyle::StandardPixmap icon = QStyle::SP_TrashIcon;
    QString title;
    QString note;
    bool withList = false;
    TReasonKind kind = TReasonKind::Withdrawal;
    const QString code = FormatCode(m_propCode);
    switch (mode) {
    case ModeWithdraw:
        if (IsLocalCode(m_propCode)) {
            title = kWithdrawLocalTitle;
            note = kWithdrawLocalNote;
        } else {
            title = kWithdrawTitle;
            note = kWithdrawNote.arg(code);
            withList = true;
        }
        break;
    case ModeSuspend:
        icon = QStyle::SP_BrowserStop;
        title = kSuspendTitle;
        note = kSuspendNote.arg(code);
        withList = true;
        kind = TReasonKind::Standby;
        break;
    default:
        icon = QStyle::SP_BrowserReload;
        title = kRecoverTitle;
        note = kRecoverNote.arg(code);
        break;
    }

    imgIcon->setPixmap(style()->standardIcon(icon).pixmap(kIconSize, kIconSize));
    lblTitle->setText(title);
    lblNote->setText(note);
    QPalette palette = m_notePalette;
    if (mode == ModeWithdraw)
        palette.setColor(QPalette::WindowText, QColor::fromRgba(kWithdrawNoteColour));
    lblNote->setPalette(palette);

    bool loaded = true;
    lstboxReasons->clear();
    if (withList) {
        std::vector<TReason> reasons;
        loaded = LoadReasons(kind, reasons);
        for (const TReason& reason : reasons) {
            auto* item = new QListWidgetItem(reason.Name, lstboxReasons);
            item->setData(Qt::UserRole, reason.Code);
        }
    }
    lstboxReasons->setVisible(withList);
    TakeSelectedReason();
    ArrangeControls();
    return loaded;
}

void TfrmDlg::TakeSelectedReason()
{
    m_reasonCode = -1;
    if (!lstboxReasons->isHidden()) {
        const QList<QListWidgetItem*> selected = lstboxReasons->selectedItems();
        if (!selected.isEmpty()) {
            bool ok = false;
            const int code = selected.first()->data(Qt::UserRole).toString().trimmed().toInt(&ok);
            if (ok)
                m_reasonCode = code;
        }
    }
    // With a list on show the answer is a reason: "Aceptar" waits for one.
    btnOk->setEnabled(lstboxReasons->isHidden() || m_reasonCode != -1);
}

void TfrmDlg::ArrangeControls()
{
    const int textWidth = kClientWidth - kTextLeft - kMargin;
    const int noteTop = lblTitle->geometry().bottom() + 1 + 6;
    const int noteHeight = std::max(lblNote->heightForWidth(textWidth), lblNote->fontMetrics().height());
    lblNote->setGeometry(kTextLeft, noteTop, textWidth, noteHeight);
    int above = std::max(lblNote->geometry().bottom(), imgIcon->geometry().bottom()) + 1;
    if (!lstboxReasons->isHidden()) {
        lstboxReasons->setGeometry(kMargin, above + kMargin, kClientWidth - 2 * kMargin, kListHeight);
        above = lstboxReasons->geometry().bottom() + 1;
    }
    const int buttonsTop = above + 24;
    btnOk->setGeometry(kClientWidth - kMargin - kButtonWidth, buttonsTop, kButtonWidth, kButtonHeight);
    btnCancel->setGeometry(btnOk->x() - 8 - kButtonWidth, buttonsTop, kButtonWidth, kButtonHeight);
    setFixedSize(kClientWidth, btnOk->geometry().bottom() + 1 + 12);
}

void TfrmDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    TakeSelectedReason();
    const int screenWidth = ScreenWidth();
    const int screenHeight = ScreenHeight();
    if (!parentWidget() && screenWidth > 0 && screenHeight > 0)
        move((screenWidth - width()) / 2, (screenHeight - height()) / 2);
}
