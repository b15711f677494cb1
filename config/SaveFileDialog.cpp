#include "config/SaveFileDialog.h"

#include "platform/ModalRunner.h"

#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>

namespace {

QString filterOf(const SaveFileType& type)
{
    return QStringLiteral("%1 (*.%2)").arg(type.name, type.suffix);
}

void setTexts(QFileDialog& dialog, const SaveFileTexts& texts)
{
    const auto set = [&dialog](QFileDialog::DialogLabel label, const QString& text) {
        if (!text.isEmpty())
            dialog.setLabelText(label, text);
    };
    if (!texts.title.isEmpty())
        dialog.setWindowTitle(texts.title);
    set(QFileDialog::LookIn, texts.lookIn);
    set(QFileDialog::FileName, texts.fileName);
    set(QFileDialog::FileType, texts.fileType);
    set(QFileDialog::Accept, texts.save);
    set(QFileDialog::Reject, texts.cancel);
}

} // namespace

SaveFileChoice AskSaveFile(QWidget* parent, const SaveFileTexts& texts, const QList<SaveFileType>& types,
                           const QString& folder, const QString& suggestedName)
{
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    setTexts(dialog, texts);
    QStringList filters;
    for (const SaveFileType& type : types)
        filters << filterOf(type);
    dialog.setNameFilters(filters);
    dialog.setDirectory(folder);
    // Qt's own words are English without its translations: no column titles, and places
    // by their folder names.
    dialog.setViewMode(QFileDialog::List);
    QList<QUrl> places{QUrl::fromLocalFile(QDir::homePath())};
    if (QDir(folder) != QDir::home())
        places << QUrl::fromLocalFile(folder);
    dialog.setSidebarUrls(places);
    dialog.selectFile(suggestedName);
    if (RunModal(&dialog, [&dialog] { return dialog.exec(); }) != QDialog::Accepted)
        return {};
    const QString chosen = dialog.selectedFiles().value(0);
    if (chosen.isEmpty() || QFileInfo(chosen).isDir())
        return {};
    SaveFileChoice choice;
    const QString suffix = QFileInfo(chosen).suffix();
    for (int i = 0; i < types.size() && choice.type < 0; ++i)
        if (suffix.compare(types[i].suffix, Qt::CaseInsensitive) == 0)
            choice.type = i;
    choice.path = chosen;
    if (choice.type < 0 && !types.isEmpty()) {
        // A name without a type's suffix gets the suffix of the type chosen.
        choice.type = std::max(0, int(filters.indexOf(dialog.selectedNameFilter())));
        choice.path += QLatin1Char('.') + types[choice.type].suffix;
    }
    return choice;
}
