#pragma once

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

// Runs handle on the next modal window once it is up, from inside its own event loop, so a
// test can look at a dialog that a command opens with exec() and then close it. When no
// modal window appears within about two seconds, handle gets nullptr.
inline void OnNextModal(std::function<void(QWidget*)> handle, QWidget* notThis = nullptr) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, handle, notThis] {
        QWidget* modal = QApplication::activeModalWidget();
        if ((modal && modal != notThis && modal->isVisible()) || ++*tries > 200) {
            timer->stop();
            timer->deleteLater();
            handle(modal != notThis ? modal : nullptr);
        }
    });
    timer->start(10);
}

// The text of a message box, or empty when the window is not one.
inline QString MessageText(QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    return box ? box->text() : QString();
}
