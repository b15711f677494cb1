#pragma once
// The dialog that asks where to save a file, run through the process's modal runner
// (platform/ModalRunner.h) so that a test answers it as the clerk would: the runner gets
// the QFileDialog, picks a type and a file, and returns QDialog::Accepted.
//
// Qt's own file dialog with the form's texts on its labels and buttons (a desktop's
// dialog would speak the desktop's language, not the job's). It does not ask before
// replacing a file: the caller asks in the job's words.

#include <QList>
#include <QString>

class QWidget;

struct SaveFileTexts {
    QString title, lookIn, fileName, fileType, save, cancel;
};

// A type offered: "Excel 工作簿" and "xlsx".
struct SaveFileType {
    QString name;
    QString suffix;
};

struct SaveFileChoice {
    QString path; // empty: cancelled
    int type = -1;
};

// The file chosen and its type: the type its suffix names when it names one of the types,
// else the type chosen in the dialog, whose suffix the name then gets.
SaveFileChoice AskSaveFile(QWidget* parent, const SaveFileTexts& texts, const QList<SaveFileType>& types,
                           const QString& folder, const QString& suggestedName);
