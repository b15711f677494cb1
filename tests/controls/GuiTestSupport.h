#pragma once
// Helpers of the GUI tests: a shown, active test form that records look-up requests,
// and a modal runner that answers every dialog and remembers what it showed.

#include "config/QVForm.h"
#include "platform/ModalRunner.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

class TestForm : public TQVForm {
public:
    explicit TestForm(QWidget* owner = nullptr) : TQVForm(owner) { resize(480, 320); }

    QList<QPointer<QWidget>> lookups;
    QStringList keys; // what the preview saw, in order
    std::function<void(int& key)> onKeyDown;
    std::function<void(QChar& key)> onKeyPress;
    bool escapes = false;

    bool LookupRequest(QWidget* control) override
    {
        lookups.append(control);
        return true;
    }
    void FormKeyDown(QObject* sender, int& key, TShiftState shift) override
    {
        TQVForm::FormKeyDown(sender, key, shift);
        keys << QStringLiteral("down %1").arg(key);
        if (onKeyDown)
            onKeyDown(key);
    }
    void FormKeyPress(QObject* sender, QChar& key) override
    {
        TQVForm::FormKeyPress(sender, key);
        keys << QStringLiteral("press %1").arg(key.unicode());
        if (onKeyPress)
            onKeyPress(key);
    }
    bool HandleEscape() override
    {
        escapes = true;
        return TQVForm::HandleEscape();
    }
};

// Owns a form for one test and frees it the way forms are freed.
template <class F = TestForm>
class FormHolder {
public:
    FormHolder() : form_(TQVForm::Create<F>()) {}
    ~FormHolder()
    {
        if (form_)
            form_->Free();
    }
    F* operator->() const { return form_; }
    F* get() const { return form_; }
    // Shows the form and makes it the active window, so that focus moves as for a user.
    void showActive()
    {
        form_->show();
        QApplication::setActiveWindow(form_);
        form_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form_));
    }

private:
    QPointer<F> form_;
};

// Answers every modal window with a fixed result and records the texts of message boxes.
class DialogRecorder {
public:
    explicit DialogRecorder(int answer = 1)
    {
        previous_ = SetModalRunner([this, answer](QWidget* window, const std::function<int()>&) {
            if (auto* box = qobject_cast<QMessageBox*>(window))
                texts << box->text();
            else
                texts << QStringLiteral("<%1>").arg(QString::fromLatin1(window->metaObject()->className()));
            return answer;
        });
    }
    ~DialogRecorder() { SetModalRunner(previous_); }

    QStringList texts;

private:
    ModalRunFn previous_;
};
