#include "ui/LabelTrimming.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QTextDocument>

namespace {

const char* const kTrimming = "textTrimming";

class TLabelTrimmer : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        auto* label = qobject_cast<QLabel*>(watched);
        if (!label || !label->property(kTrimming).toBool() || label->wordWrap() || !label->pixmap().isNull())
            return false;
        const QString text = label->text();
        const bool rich =
            label->textFormat() == Qt::RichText || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
        if (text.isEmpty() || rich || text.contains(u'\n'))
            return false;
        const int inset = label->margin() + std::max(0, label->indent());
        const QRect area = label->contentsRect().adjusted(inset, label->margin(), -inset, -label->margin());
        const QFontMetrics metrics(label->font());
        if (metrics.horizontalAdvance(text) <= area.width())
            return false;
        QPainter painter(label);
        QStyleOption option;
        option.initFrom(label);
        label->style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, label);
        label->style()->drawItemText(&painter, area,
                                     int(QStyle::visualAlignment(label->layoutDirection(), label->alignment())),
                                     label->palette(), label->isEnabled(),
                                     metrics.elidedText(text, Qt::ElideRight, area.width()), label->foregroundRole());
        return true;
    }
};

TLabelTrimmer& Trimmer()
{
    static TLabelTrimmer trimmer;
    return trimmer;
}

} // namespace

void SetLabelTrimming(QLabel* label, bool on)
{
    label->setProperty(kTrimming, on);
    label->removeEventFilter(&Trimmer());
    if (on)
        label->installEventFilter(&Trimmer());
    label->update();
}

void ApplyLabelTrimming(QWidget* window, bool on)
{
    for (QLabel* label : window->findChildren<QLabel*>())
        SetLabelTrimming(label, on);
}

bool LabelTrimmed(const QLabel* label)
{
    return label->property(kTrimming).toBool();
}
