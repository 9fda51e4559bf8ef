#include "ui/EditKinds.h"

#include "core/MiscFunc.h"
#include "db/InstallContext.h"
#include "ui/Style.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

using namespace Qt::StringLiterals;

bool IsNumericKind(int tag)
{
    return tag == 1 || tag == 101 || tag == 6;
}

bool KindAcceptsChar(int tag, QChar c)
{
    switch (tag) {
    case 1:
    case 101:
    case 6:
        return InCharClass(c, TCharClass::Digits);
    case 2:
        return InCharClass(c, TCharClass::Alphanumeric);
    case 3:
        return InCharClass(c, TCharClass::GeneralText);
    case 4:
        return InCharClass(c, TCharClass::NameText);
    case 5:
        return InCharClass(c, TCharClass::EmailChars);
    default:
        return true;
    }
}

bool KindAcceptsText(int tag, const QString& text, int maxLength)
{
    if (text.isEmpty())
        return true;
    switch (tag) {
    case 1:
    case 101:
        return IsDigits(text, maxLength, true);
    case 2:
        return IsAlphanumeric(text);
    case 3:
        return IsGeneralText(text);
    case 4:
        return IsNameText(text);
    case 5:
        return IsEmail(text);
    case 6:
        return IsYear(text);
    default:
        return true;
    }
}

TEditKindFilter::TEditKindFilter(QObject* parent) : QObject(parent) {}

void TEditKindFilter::Watch(QLineEdit* edit, bool thousands)
{
    edit->installEventFilter(this);
    edit->setProperty("thousands", thousands);
    // The length limit counts digits; the separators shown outside editing need room too.
    const int digits = edit->maxLength() > 0 && edit->maxLength() < 32767 ? edit->maxLength() : 9;
    edit->setProperty("digits", digits);
    if (thousands)
        edit->setMaxLength(digits + (digits - 1) / 3);
    connect(edit, &QLineEdit::textEdited, this, [this, edit] { TextChanged(edit); });
    connect(edit, &QLineEdit::textChanged, this, [this, edit] {
        // Pasted or set text: checked as a whole.
        if (!edit->hasFocus())
            return;
        TextChanged(edit);
    });
}

void TEditKindFilter::TextChanged(QLineEdit* edit)
{
    if (m_checking && !m_checking())
        return;
    const int tag = edit->property("tag").toInt();
    const int digits = edit->property("digits").toInt();
    // A year is judged when the field is left: while typing, "1" is on its way to "1990".
    if (tag == 6 && edit->hasFocus()) {
        if (edit->text().size() <= 4 && AllInClass(edit->text(), TCharClass::Digits))
            return;
    } else if (KindAcceptsText(tag, edit->text(), digits > 0 ? digits : 9)) {
        return;
    }
    if (edit->objectName() == u"edtFilterAnoHasta"_s)
        edit->setText(QString::number(LastSyncTime().date().year()));
    else
        edit->clear();
}

bool TEditKindFilter::eventFilter(QObject* watched, QEvent* event)
{
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (!edit)
        return QObject::eventFilter(watched, event);
    const int tag = edit->property("tag").toInt();
    const bool thousands = edit->property("thousands").toBool() && !edit->isReadOnly();
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
            QCoreApplication::sendEvent(edit, &tab);
            return true;
        }
        const QString typed = key->text();
        if (typed.size() == 1 && typed[0].isPrint() && !(key->modifiers() & Qt::ControlModifier) &&
            !KindAcceptsChar(tag, typed[0]))
            return true;
        break;
    }
    case QEvent::FocusIn:
        if (thousands) {
            QString text = edit->text().remove(u'.');
            if (text == u"0"_s && IsNumericKind(tag))
                text.clear();
            edit->setText(text);
        }
        break;
    case QEvent::FocusOut:
        if (tag == 6 && !KindAcceptsText(tag, edit->text(), 4) && (!m_checking || m_checking())) {
            if (edit->objectName() == u"edtFilterAnoHasta"_s)
                edit->setText(QString::number(LastSyncTime().date().year()));
            else
                edit->clear();
        }
        if (thousands) {
            QString text = edit->text().remove(u'.');
            if (text == u"0"_s && IsNumericKind(tag))
                text.clear();
            edit->setText(text.isEmpty() ? text : FormatThousandsText(text));
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

TTriStateBox::TTriStateBox(QWidget* parent) : QWidget(parent)
{
    setFixedSize(13, 13);
    setCursor(Qt::PointingHandCursor);
    setProperty("tag", m_value);
}

void TTriStateBox::SetTriState(int value)
{
    m_value = value >= -1 && value <= 1 ? value : -1;
    setProperty("tag", m_value);
    update();
}

void TTriStateBox::mousePressEvent(QMouseEvent*)
{
    if (!isEnabled())
        return;
    SetTriState(m_value == 1 ? -1 : m_value + 1);
    Q_EMIT Changed(m_value);
}

void TTriStateBox::enterEvent(QEnterEvent*)
{
    m_hover = true;
    update();
}

void TTriStateBox::leaveEvent(QEvent*)
{
    m_hover = false;
    update();
}

void TTriStateBox::paintEvent(QPaintEvent*)
{
    static const QPixmap sprite = AppPicture(u"imgTriState"_s);
    QPainter painter(this);
    const int column = m_value + 1;
    const int row = !isEnabled() ? 2 : m_hover ? 1 : 0;
    painter.drawPixmap(rect(), sprite, QRect(column * 13, row * 13, 13, 13));
}
