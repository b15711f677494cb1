#include "jobform/FormLayout.h"

#include "controls/DataSource.h"
#include "controls/FDBGrid.h"
#include "support/BriskoINI.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <exception>

namespace {

// A user code as a folder name: what a file system could take otherwise is spelt out.
QString folderName(const QString& code)
{
    QString out;
    for (const QChar c : code.trimmed()) {
        if (c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('-'))
            out += c;
        else
            out += QStringLiteral("%%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return out;
}

constexpr int kMaxSide = 20000;

} // namespace

namespace FormLayout {

QString FileOf(const QString& userCode, const QString& programCode)
{
    if (userCode.trimmed().isEmpty() || programCode.trimmed().isEmpty())
        return QString();
    try {
        const TBriskoIniC ini;
        if (ini.ClientPath.empty())
            return QString();
        return QString::fromStdString(ini.ClientPath) + QStringLiteral("Profile/") + folderName(userCode)
               + QLatin1Char('/') + folderName(programCode) + QStringLiteral(".ini");
    } catch (const std::exception&) {
        return QString();
    }
}

QRect UsableGeometry(const QRect& stored, const QList<QRect>& screens, const QSize& minimum, const QSize& own)
{
    const int minW = std::max(minimum.width(), 200), minH = std::max(minimum.height(), 150);
    if (stored.width() < minW || stored.height() < minH || stored.width() > kMaxSide || stored.height() > kMaxSide)
        return QRect();
    // The top edge, where the title is, must lie on a screen for some room to be grabbed.
    const QRect title(stored.left(), stored.top(), stored.width(), 24);
    for (const QRect& screen : screens) {
        const QRect reach = screen.intersected(title);
        if (stored.top() < screen.top() || reach.width() < 120 || reach.height() < 20)
            continue;
        QRect fitted = stored;
        fitted.setWidth(std::min(stored.width(), std::max(screen.width(), own.width())));
        fitted.setHeight(std::min(stored.height(), std::max(screen.bottom() - stored.top() + 1, own.height())));
        if (fitted.height() < minH)
            continue;
        return fitted;
    }
    return QRect();
}

void Save(const QString& file, const QWidget* window, const QList<TFDBGrid*>& grids)
{
    if (file.isEmpty() || !window)
        return;
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSettings ini(file, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("Layout"));
    const QRect place = window->isMaximized() ? window->normalGeometry() : window->geometry();
    ini.setValue(QStringLiteral("Left"), place.left());
    ini.setValue(QStringLiteral("Top"), place.top());
    ini.setValue(QStringLiteral("Width"), place.width());
    ini.setValue(QStringLiteral("Height"), place.height());
    ini.setValue(QStringLiteral("Maximized"), window->isMaximized());
    for (const TFDBGrid* grid : grids)
        if (grid && !grid->objectName().isEmpty())
            ini.setValue(grid->objectName(), grid->ColumnLayout());
    ini.endGroup();
}

void Restore(const QString& file, QWidget* window, const QList<TFDBGrid*>& grids)
{
    if (file.isEmpty() || !window || !QFileInfo::exists(file))
        return;
    QSettings ini(file, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("Layout"));
    bool ok[4] = {};
    const QRect stored(ini.value(QStringLiteral("Left")).toInt(&ok[0]), ini.value(QStringLiteral("Top")).toInt(&ok[1]),
                       ini.value(QStringLiteral("Width")).toInt(&ok[2]), ini.value(QStringLiteral("Height")).toInt(&ok[3]));
    if (ok[0] && ok[1] && ok[2] && ok[3]) {
        QList<QRect> screens;
        for (const QScreen* s : QGuiApplication::screens())
            screens << s->availableGeometry();
        const QRect place = UsableGeometry(stored, screens, window->minimumSize(), window->size());
        if (!place.isEmpty()) {
            window->setGeometry(place);
            if (ini.value(QStringLiteral("Maximized")).toBool())
                window->setWindowState(window->windowState() | Qt::WindowMaximized);
        }
    }
    for (TFDBGrid* grid : grids)
        if (grid && !grid->objectName().isEmpty() && ini.contains(grid->objectName()))
            grid->SetColumnLayout(ini.value(grid->objectName()).toStringList());
    ini.endGroup();
}

} // namespace FormLayout
