#pragma once

// Answers modal dialogs as a person would, each once it is up: window tests name a dialog
// class and what to do with it, and the driver acts when that dialog becomes the active
// modal window.

#include <QApplication>
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <map>

class DialogDriver : public QObject {
public:
    using TAction = std::function<void(QWidget*)>;
    DialogDriver()
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
        m_timer.start();
    }
    void On(const char* className, TAction action) { m_actions[QByteArray(className)] = std::move(action); }
    void Forget(const char* className) { m_actions.erase(QByteArray(className)); }
    QStringList seen;

private:
    void Poll()
    {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || !dialog->isVisible() || dialog->property("driven").toBool())
            return;
        const QByteArray name = dialog->metaObject()->className();
        const auto found = m_actions.find(name);
        if (found == m_actions.end())
            return;
        dialog->setProperty("driven", true);
        seen << QString::fromLatin1(name);
        // Acting from a fresh call keeps this poll from nesting inside the dialog's work.
        QPointer<QWidget> target(dialog);
        TAction action = found->second;
        QTimer::singleShot(0, this, [target, action] {
            if (target)
                action(target);
        });
    }
    QTimer m_timer;
    std::map<QByteArray, TAction> m_actions;
};
