#pragma once
// Message dialogs. Every one is shown through the process's modal runner
// (platform/ModalRunner.h), so that tests answer them without a person and see what was
// shown: the runner gets the QMessageBox itself as the window.

#include <QList>
#include <QString>

#include <functional>
#include <initializer_list>
#include <optional>

class QFont;
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
// The same with the captions of the buttons given by buttonCaption (an empty answer keeps
// the English caption). The dialog takes the font given, else the font of its parent's window.
// A default button given is the one Enter presses (and an unattended run answers).
int MessageDlg(const QString& text, TMsgDlgType type, const QList<TMsgDlgBtn>& buttons, QWidget* parent,
               const QString& caption, const std::function<QString(TMsgDlgBtn)>& buttonCaption,
               const QFont* font = nullptr, std::optional<TMsgDlgBtn> defaultButton = std::nullopt);
// A plain message with an OK button.
void ShowMessage(const QString& text, QWidget* parent = nullptr);

// The modal result a dialog button stands for.
int ModalResultOf(TMsgDlgBtn button);
// The button's name as the system's dialogs name it ("Yes", "OK", "NoToAll", ...).
QString ButtonName(TMsgDlgBtn button);
// The English caption of a button, the same whatever the desktop's theme says.
QString EnglishButtonCaption(TMsgDlgBtn button);
