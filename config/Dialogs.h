#pragma once
// Message dialogs. Every one is shown through the process's modal runner
// (platform/ModalRunner.h), so that tests answer them without a person and see what was
// shown: the runner gets the QMessageBox itself as the window.

#include <QString>

#include <initializer_list>

class QWidget;

// Modal results.
constexpr int mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6,
              mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10;

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };

// Shows a message dialog and returns the modal result of the button pressed (mrCancel
// when it was closed otherwise). The caption defaults to the parent window's title, else
// the application's name.
int MessageDlg(const QString& text, TMsgDlgType type, std::initializer_list<TMsgDlgBtn> buttons,
               QWidget* parent = nullptr, const QString& caption = QString());
// A plain message with an OK button.
void ShowMessage(const QString& text, QWidget* parent = nullptr);

// The modal result a dialog button stands for.
int ModalResultOf(TMsgDlgBtn button);
