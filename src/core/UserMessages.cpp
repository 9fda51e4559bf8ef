#include "core/UserMessages.h"

#include "core/Config.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

namespace {

TMessageAnswerer* g_answerer = nullptr;

// A short question would give a box narrower than its own title: window managers draw
// titles larger and bold, beside their buttons, and cut the rest off. The box is kept wide
// enough for the whole title.
void KeepTitleWhole(QMessageBox& box)
{
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    QFont title = box.font();
    title.setBold(true);
    if (title.pointSizeF() > 0)
        title.setPointSizeF(title.pointSizeF() * 1.25);
    else
        title.setPixelSize(title.pixelSize() * 5 / 4);
    const int width = QFontMetrics(title).horizontalAdvance(box.windowTitle()) + 140;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

bool Show(TMessageKind kind, const QString& text)
{
    const QString caption = Config::AppTitle;
    if (g_answerer)
        return g_answerer->Answer(kind, caption, text);
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return false;
    }
    QMessageBox box;
    box.setWindowTitle(caption);
    box.setText(text);
    switch (kind) {
    case TMessageKind::Information:
        box.setIcon(QMessageBox::Information);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case TMessageKind::Error:
        box.setIcon(QMessageBox::Critical);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case TMessageKind::Confirmation:
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("Sí"));
        box.button(QMessageBox::No)->setText(QStringLiteral("No"));
        box.setDefaultButton(QMessageBox::No);
        break;
    case TMessageKind::CloseWarning:
        box.setIcon(QMessageBox::Warning);
        box.addButton(Config::CloseButtonText, QMessageBox::RejectRole);
        break;
    }
    KeepTitleWhole(box);
    const int result = box.exec();
    return kind == TMessageKind::Confirmation ? result == QMessageBox::Yes : true;
}

} // namespace

void SetMessageAnswerer(TMessageAnswerer* answerer)
{
    g_answerer = answerer;
}

void ShowInformation(const QString& text)
{
    Show(TMessageKind::Information, text);
}

void ShowError(const QString& text)
{
    Show(TMessageKind::Error, text);
}

bool AskConfirmation(const QString& text)
{
    return Show(TMessageKind::Confirmation, text);
}

void ShowCloseWarning(const QString& text)
{
    Show(TMessageKind::CloseWarning, text);
}
