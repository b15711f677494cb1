#include "host/ServerNotice.h"

#include "platform/ModalRunner.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

namespace {

constexpr Wording3 kTitle{"应用服务器", "應用伺服器", "Application server"};
constexpr Wording3 kLead{"应用服务器无法完成这项查询:", "應用伺服器無法完成這項查詢:",
                         "The application server could not answer this query:"};

} // namespace

std::string ServerNotice::Text(const std::string& reason, HostLanguage language)
{
    return std::string(kLead.in(language)) + "\n" + reason;
}

void ServerNotice::Show(const std::string& reason, HostLanguage language)
{
    const std::string text = Text(reason, language);
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "%s\n", text.c_str());
        return;
    }
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kTitle.in(language)), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.setObjectName(QStringLiteral("msgServerFailure"));
    RunModal(&box, [&box] { return box.exec(); });
}
