#include "core/UserMessages.h"

#include "core/Config.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

namespace {

TMessageAnswerer* g_answerer = nullptr;

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
