#pragma once
// Answers the modal windows of a test: each window runs its own modal loop, and the
// driver acts inside that loop like a user (key presses, clicks). A window the driver
// leaves open is rejected after a few seconds, so that a broken test fails instead of
// hanging.

#include "platform/ModalRunner.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

class ModalDriver {
public:
    explicit ModalDriver(std::function<void(QWidget*)> drive) : drive_(std::move(drive))
    {
        previous_ = SetModalRunner([this](QWidget* window, const std::function<int()>& run) {
            ++shown;
            titles.push_back(window->windowTitle());
            QPointer<QWidget> w(window);
            QTimer::singleShot(0, window, [this, w] {
                if (w)
                    drive_(w);
            });
            QTimer::singleShot(5000, window, [w] {
                if (auto* d = qobject_cast<QDialog*>(w.data()); d && d->isVisible()) {
                    ADD_FAILURE() << "the driver left the window open";
                    d->reject();
                }
            });
            return run();
        });
    }
    ~ModalDriver() { SetModalRunner(previous_); }

    int shown = 0;
    QStringList titles;

private:
    std::function<void(QWidget*)> drive_;
    ModalRunFn previous_;
};
