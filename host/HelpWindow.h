#pragma once
// The host's help (the session object's CallHelp): a job's help topic is a page in the
// client installation, Help/<system>/<topic>.html (or .htm, .txt), shown in a reading
// window through the modal runner. A topic without a page says so in a message window.
//
// Children by object name: "txtHelp", "btnClose".

#include "support/MessageCatalogue.h"

#include <QDialog>

#include <string>

class QTextBrowser;

class HelpWindow : public QDialog {
    Q_OBJECT

public:
    HelpWindow(const QString& title, const QString& fileName, HostLanguage language, QWidget* parent = nullptr);
    QTextBrowser* browser() const { return browser_; }

    // The page of a topic, empty when the installation has none. system and topic are
    // taken as names, never as paths.
    static std::string TopicFile(const std::string& clientPath, const std::string& system, const std::string& topic);
    // Shows the topic; false when there is no page (the user is told so).
    static bool ShowTopic(const std::string& clientPath, const std::string& system, const std::string& topic,
                          HostLanguage language);

private:
    QTextBrowser* browser_;
};
