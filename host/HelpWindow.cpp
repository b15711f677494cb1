#include "host/HelpWindow.h"

#include "platform/ModalRunner.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// A name for a file: letters, digits, "_" and "-" only, so that nothing climbs out of the
// help folder.
bool isPlainName(const std::string& s)
{
    if (s.empty() || s.size() > 64)
        return false;
    for (char c : s) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
                        c == '-';
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

HelpWindow::HelpWindow(const QString& title, const QString& fileName, HostLanguage language, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(title);
    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("txtHelp"));
    browser_->setOpenLinks(true);
    browser_->setSearchPaths({QFileInfo(fileName).absolutePath()});
    if (fileName.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive)) {
        QFile f(fileName);
        if (f.open(QIODevice::ReadOnly))
            browser_->setPlainText(QString::fromUtf8(f.readAll()));
    } else {
        browser_->setSource(QUrl::fromLocalFile(fileName));
    }

    static constexpr Wording3 close{"关闭", "關閉", "Close"};
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* btnClose = buttons->addButton(QString::fromUtf8(close.in(language)), QDialogButtonBox::RejectRole);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_, 1);
    layout->addWidget(buttons);
    resize(640, 480);
}

std::string HelpWindow::TopicFile(const std::string& clientPath, const std::string& system, const std::string& topic)
{
    if (clientPath.empty() || !isPlainName(system) || !isPlainName(topic))
        return {};
    for (const char* ext : {".html", ".htm", ".txt"}) {
        const std::string file = clientPath + "Help/" + system + "/" + topic + ext;
        if (QFileInfo(QString::fromStdString(file)).isFile())
            return file;
    }
    return {};
}

bool HelpWindow::ShowTopic(const std::string& clientPath, const std::string& system, const std::string& topic,
                           HostLanguage language)
{
    static constexpr Wording3 title{"说明", "說明", "Help"};
    const std::string file = TopicFile(clientPath, system, topic);
    if (file.empty()) {
        static constexpr Wording3 none{"没有这个主题的说明: %1 %2", "沒有這個主題的說明: %1 %2",
                                       "There is no help for topic %1 %2."};
        QMessageBox box(QMessageBox::Information, QString::fromUtf8(title.in(language)),
                        QString::fromUtf8(none.in(language)).arg(QString::fromStdString(system), QString::fromStdString(topic)),
                        QMessageBox::Ok);
        box.setObjectName(QStringLiteral("msgNoHelp"));
        RunModal(&box, [&box] { return box.exec(); });
        return false;
    }
    HelpWindow window(QString::fromUtf8(title.in(language)) + QStringLiteral(" - ") + QString::fromStdString(system) +
                          QLatin1Char(' ') + QString::fromStdString(topic),
                      QString::fromStdString(file), language);
    RunModal(&window, [&window] { return window.exec(); });
    return true;
}
