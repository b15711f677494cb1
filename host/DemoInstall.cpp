#include "host/DemoInstall.h"

#include "host/FileCheck.h"

#include "platform/Exception.h"
#include "platform/InstallLayout.h"
#include "platform/SystemInfo.h"
#include "support/BriskoINI.h"
#include "platform/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cstdlib>
#include <optional>

namespace {

// The demo company, its database and the user the setup program creates.
constexpr const char* kDemoUser = "DS";
constexpr const char* kDemoCompany = "01";
constexpr const char* kDemoDatabase = "DEMO";
constexpr const char* kSystemDatabase = "QVSYS";

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

void ensureFolder(const QString& path)
{
    if (!QDir().mkpath(path))
        throw Exception("Cannot create the folder " + path.toStdString());
}

void writeText(const QString& path, const QString& text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw Exception("Cannot write " + path.toStdString() + ": " + f.errorString().toStdString());
    const QByteArray bytes = text.toUtf8();
    if (f.write(bytes) != bytes.size())
        throw Exception("Cannot write " + path.toStdString() + ": " + f.errorString().toStdString());
}

// Moves what stands in the way to a free "<path>.broken" name, so that nothing is lost.
void moveAside(const QString& path)
{
    QString to = path + QStringLiteral(".broken");
    for (int n = 2; QFileInfo(to).exists() || QFileInfo(to).isSymLink(); ++n)
        to = path + QStringLiteral(".broken-%1").arg(n);
    if (!QFile::rename(path, to))
        throw Exception("Cannot move " + path.toStdString() + " aside to " + to.toStdString());
}

// The installation's own record of what it mended, by path below its folder.
class Repairs {
public:
    Repairs(QString folder, std::vector<std::string>& list) : folder_(std::move(folder)), list_(list) {}
    void add(const QString& path, const std::string& what)
    {
        list_.push_back(QString(path).remove(0, folder_.size()).toStdString() + " " + what);
    }

private:
    QString folder_;
    std::vector<std::string>& list_;
};

// A folder below the installation's (which ends with "/"); a thing that is no folder
// where one of its parts should be is moved aside first.
void ensureSubFolder(const QString& folder, const QString& relative, Repairs& repairs)
{
    QString partial = folder;
    for (const QString& part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        partial += part;
        const QFileInfo info(partial);
        if ((info.exists() || info.isSymLink()) && !info.isDir()) {
            moveAside(partial);
            repairs.add(partial, "was no folder (moved aside)");
        }
        partial += QLatin1Char('/');
    }
    ensureFolder(partial);
}

// A file of the installation that must be there: written when missing; a thing that
// cannot be read as a file is moved aside, and an empty file (when mustHaveContent) is
// written again.
void ensureFile(const QString& path, const QString& text, bool mustHaveContent, bool existed, Repairs& repairs)
{
    const FileStatus status = CheckFile(path.toStdString());
    if (status.state == FileState::Readable && (status.size > 0 || !mustHaveContent))
        return;
    if (status.state == FileState::Unusable) {
        moveAside(path);
        repairs.add(path, status.reason + " (moved aside, written again)");
    } else if (status.state == FileState::Readable) {
        repairs.add(path, "was empty (written again)");
    } else if (existed) {
        repairs.add(path, "was missing (written again)");
    }
    writeText(path, text);
}


// Points link at target, replacing an older link; nothing when the target does not exist.
void refreshLink(const QString& target, const QString& link)
{
    if (!QFileInfo::exists(target))
        return;
    const QFileInfo info(link);
    if (info.isSymLink()) {
        if (info.symLinkTarget() == QFileInfo(target).absoluteFilePath())
            return;
        QFile::remove(link);
    } else if (info.exists()) {
        return; // a real file or folder the user put there stays
    }
    if (!QFile::link(target, link))
        throw Exception("Cannot link " + link.toStdString() + " to " + target.toStdString());
}

// The server holds a copy of the build's server library, not a link: a server describes and
// sends only files below its own library folder. The copy keeps the build's time stamp
// (the download compares stamps) and is made again, beside and renamed over the old one (a
// running server keeps the file it loaded), when the build's copy differs.
void refreshCopy(const QString& source, const QString& copy)
{
    const QFileInfo from(source);
    if (!from.exists())
        return;
    const QFileInfo to(copy);
    if (!to.isSymLink() && to.isFile() && to.size() == from.size() && to.lastModified() == from.lastModified())
        return;
    const QString part = copy + QStringLiteral(".part");
    QFile::remove(part);
    QFile out(part);
    if (!QFile::copy(source, part) || !out.open(QIODevice::ReadWrite) ||
        !out.setFileTime(from.lastModified(), QFileDevice::FileModificationTime))
        throw Exception("Cannot copy " + source.toStdString() + " to " + copy.toStdString());
    out.close();
    if (to.isSymLink() || to.exists())
        QFile::remove(copy);
    if (!QFile::rename(part, copy))
        throw Exception("Cannot copy " + source.toStdString() + " to " + copy.toStdString());
}

QString registryText(const QString& folder)
{
    return QStringLiteral("; Machine keys of the demo installation (QV_REGISTRY).\n"
                          "[Software\\QVR\\Brisko]\n"
                          "ClientPath=%1client/\n"
                          "ServerPath=%1server/\n"
                          "ProfileType=0\n"
                          "\n"
                          "; The libraries are local: no new-file download.\n"
                          "[Software\\Varn\\Hollet]\n"
                          "GoAhead=0\n")
        .arg(folder);
}

QString clientIniText()
{
    return QStringLiteral("[Client Components]\n"
                          "LangType=CHS\n"
                          "\n"
                          "[CodePage]\n"
                          "; 936 simplified Chinese, 950 traditional Chinese, 437 English\n"
                          "UICodePage=936\n"
                          "DBCodePage=936\n"
                          "\n"
                          "[Server Information]\n"
                          "ComputerName=127.0.0.1\n"
                          "ServerPort=211\n"
                          "SupportCallBack=0\n");
}

QString serverIniText()
{
    return QStringLiteral("[CodePage]\n"
                          "UICodePage=936\n"
                          "DBCodePage=936\n"
                          "\n"
                          "[DBE Setting]\n"
                          "MainDBType=SQLITE\n"
                          "; folder of the database files, relative to this folder\n"
                          "MainServerName=data\n"
                          "MainDBName=%1\n"
                          "MainUserName=sa\n"
                          "\n"
                          "[DBPasswordCtrl]\n"
                          "ComputerName=127.0.0.1\n"
                          "ServerPort=211\n")
        .arg(QLatin1String(kSystemDatabase));
}

QString phrasesText()
{
    return QStringLiteral("; Common phrases offered by the phrase picker: [Common] for everyone,\n"
                          "; [User <code>] for one user.\n"
                          "[Common]\n"
                          "1=月末应付款转销\n"
                          "2=供应商余额转入\n"
                          "3=预付款退回\n"
                          "4=其他应付款冲销\n");
}

QString helpText()
{
    return QStringLiteral(
        "<html><head><meta charset=\"utf-8\"><title>WOFB07</title></head><body>\n"
        "<h2>应付款批次转销作业 (WOFB07)</h2>\n"
        "<p>将供应商的未核销应付款、其他应付款或预付款转销到另一个供应商。</p>\n"
        "<ol>\n"
        "<li>选择转销类型并输入转销日期 (须在已开账的月份内)。</li>\n"
        "<li>选择单据日期、币种、供应商, 以及要转销的单据 (可不选)。</li>\n"
        "<li>在清单中勾选要转销的单据, 输入转销批号与转销供应商; 预付款转销还须输入退款单别。</li>\n"
        "<li>按 \"直接处理\" 立即执行, 或按 \"后台处理\" 送入作业队列。</li>\n"
        "</ol>\n"
        "<p>F2: 开窗查询; F1: 本说明。</p>\n"
        "<hr><p><i>Payable write-off: moves the open payables, other payables or prepayments of "
        "suppliers to a transfer supplier, at once or through the job queue.</i></p>\n"
        "</body></html>\n");
}

QString classTableText(const QString& binDir)
{
    return QStringLiteral("; Automation classes by ProgID (QV_CLASS_TABLE), from the build in %1.\n"
                          "[Classes]\n"
                          "ReportCounterS.dmReportCounter=%1/ReportCounterS.so\n"
                          "VostelWorkCenter.Manager=%1/VostelWorkCenter.so\n")
        .arg(binDir);
}

// The setup program fills a folder of its own; the files move into place only when it
// succeeded, the system database last, so that a broken run is never taken for an
// installation.
void createDatabases(const QString& setup, const QString& serverFolder, const QString& dataFolder)
{
    if (!QFileInfo(setup).isExecutable())
        throw Exception("The setup program " + setup.toStdString() + " is missing: build the target qvsetup");
    const QString staging = dataFolder + QStringLiteral(".new");
    QDir(staging).removeRecursively();
    ensureFolder(staging);

    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(serverFolder);
    p.start(setup, {QStringLiteral("--folder"), staging, QStringLiteral("--system-db"), QLatin1String(kSystemDatabase),
                    QStringLiteral("--company"), QLatin1String(kDemoCompany), QStringLiteral("--company-db"),
                    QLatin1String(kDemoDatabase)});
    if (!p.waitForStarted(10000))
        throw Exception("Cannot start " + setup.toStdString() + ": " + p.errorString().toStdString());
    p.waitForFinished(-1);
    const QString output = QString::fromLocal8Bit(p.readAll()).trimmed();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        QDir(staging).removeRecursively();
        throw Exception("The setup program failed: " + output.toStdString());
    }

    const QString systemFile = QLatin1String(kSystemDatabase) + QStringLiteral(".db");
    QStringList files = QDir(staging).entryList(QDir::Files);
    files.removeAll(systemFile);
    files.append(systemFile);
    for (const QString& name : files) {
        const QString to = dataFolder + QLatin1Char('/') + name;
        QFile::remove(to);
        if (!QFile::rename(staging + QLatin1Char('/') + name, to))
            throw Exception("Cannot move " + name.toStdString() + " into " + dataFolder.toStdString());
    }
    QDir(staging).removeRecursively();
}

// Sets key=value in a section of an ini text, adding the key or the section when missing.
QString withIniValue(const QString& text, const QString& section, const QString& key, const QString& value)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    qsizetype sectionAt = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString t = lines[i].trimmed();
        if (t.startsWith(QLatin1Char('['))) {
            if (sectionAt >= 0) {
                // After the section's last line, before the blank lines that part it from the next.
                qsizetype at = i;
                while (at > sectionAt + 1 && lines[at - 1].trimmed().isEmpty())
                    --at;
                lines.insert(at, key + QLatin1Char('=') + value);
                return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
            }
            if (t.compare(QLatin1Char('[') + section + QLatin1Char(']'), Qt::CaseInsensitive) == 0)
                sectionAt = i;
            continue;
        }
        if (sectionAt >= 0 && t.section(QLatin1Char('='), 0, 0).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
            lines[i] = key + QLatin1Char('=') + value;
            return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
        }
    }
    if (sectionAt < 0)
        lines << QString() << QLatin1Char('[') + section + QLatin1Char(']');
    lines << key + QLatin1Char('=') + value;
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString readText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The PostgreSQL server of a demo: "Host=..;Port=..;Database=..;User=..;Password=..".
struct PgTarget {
    QString host = QStringLiteral("127.0.0.1");
    QString port = QStringLiteral("5432");
    QString database, user, password;
};

PgTarget readPgTarget(const std::string& text)
{
    PgTarget t;
    for (const QString& part : q(text).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (part.trimmed().isEmpty())
            continue;
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        if (eq < 0)
            throw Exception("--postgres: \"" + part.toStdString() + "\" has no value");
        const QString key = part.left(eq).trimmed().toLower();
        const QString value = part.mid(eq + 1).trimmed();
        if (key == QLatin1String("host"))
            t.host = value;
        else if (key == QLatin1String("port"))
            t.port = value;
        else if (key == QLatin1String("database"))
            t.database = value;
        else if (key == QLatin1String("user"))
            t.user = value;
        else if (key == QLatin1String("password"))
            t.password = part.mid(eq + 1);
        else
            throw Exception("--postgres: unknown key \"" + part.left(eq).toStdString() +
                            "\" (Host, Port, Database, User, Password)");
    }
    if (t.database.isEmpty())
        throw Exception("--postgres names no Database=");
    // The values go into an ini file and a connection text: nothing that would split them.
    for (const QString* v : {&t.host, &t.port, &t.database, &t.user})
        if (v->contains(QLatin1Char('\n')) || v->contains(QLatin1Char('\r')) || v->contains(QLatin1Char(';')))
            throw Exception("--postgres: a value holds a line break or a semicolon");
    bool portOk = false;
    const int port = t.port.toInt(&portOk);
    if (!portOk || port <= 0 || port > 65535)
        throw Exception("--postgres: Port=" + t.port.toStdString() + " is no port number");
    return t;
}

// qvsetup makes the schemas when either is missing; true when it made them, false when
// both were there. The password reaches it through PGPASSWORD, not its command line.
bool createSchemas(const QString& setup, const QString& serverFolder, const PgTarget& t)
{
    if (!QFileInfo(setup).isExecutable())
        throw Exception("The setup program " + setup.toStdString() + " is missing: build the target qvsetup");
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(serverFolder);
    if (!t.password.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PGPASSWORD"), t.password);
        p.setProcessEnvironment(env);
    }
    const QString server = QStringLiteral("Host=%1;Port=%2;Database=%3;User=%4").arg(t.host, t.port, t.database, t.user);
    p.start(setup, {QStringLiteral("--database"), QStringLiteral("postgresql"), QStringLiteral("--server"), server,
                    QStringLiteral("--if-missing"), QStringLiteral("--system-db"), QLatin1String(kSystemDatabase),
                    QStringLiteral("--company"), QLatin1String(kDemoCompany), QStringLiteral("--company-db"),
                    QLatin1String(kDemoDatabase)});
    if (!p.waitForStarted(10000))
        throw Exception("Cannot start " + setup.toStdString() + ": " + p.errorString().toStdString());
    p.waitForFinished(-1);
    const QString output = QString::fromLocal8Bit(p.readAll()).trimmed();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw Exception("The setup program failed on " + server.toStdString() + ": " + output.toStdString());
    return !output.startsWith(QLatin1String("Kept"));
}

// Names the server in [DBE Setting] of BriskoS.ini, keeping the rest of the file.
void pointServerAt(const QString& serverIni, const PgTarget& t)
{
    QString text = readText(serverIni);
    text.remove(QStringLiteral("; folder of the database files, relative to this folder\n"));
    const QString dbe = QStringLiteral("DBE Setting");
    text = withIniValue(text, dbe, QStringLiteral("MainDBType"), QStringLiteral("POSTGRESQL"));
    text = withIniValue(text, dbe, QStringLiteral("MainServerName"), t.host + QLatin1Char(':') + t.port);
    text = withIniValue(text, dbe, QStringLiteral("PostgresDatabase"), t.database);
    text = withIniValue(text, dbe, QStringLiteral("MainDBName"), QLatin1String(kSystemDatabase));
    text = withIniValue(text, dbe, QStringLiteral("MainUserName"), t.user);
    text = withIniValue(text, dbe, QStringLiteral("XXXXXX"),
                        t.password.isEmpty() ? QString() : q(EncodePassword(t.password.toStdString())));
    writeText(serverIni, text);
}

bool serverIsOnPostgres(const QString& serverIni)
{
    const QString type = q(IniFile(serverIni.toStdString()).ReadString("DBE Setting", "MainDBType", "")).trimmed().toUpper();
    return type == QLatin1String("POSTGRESQL") || type == QLatin1String("PGSQL");
}

} // namespace

std::string DemoInstall::DefaultFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!data.isEmpty() && QDir().mkpath(data))
        return (data + QStringLiteral("/qvr-demo/")).toStdString();
    return "/tmp/qvr-demo-" + GetUserName() + "/";
}

DemoInstallation DemoInstall::Prepare(const std::string& folderArg, const std::string& binDirArg,
                                      const std::string& postgres)
{
    // A wrong server text is refused before anything is written.
    const std::optional<PgTarget> pg = postgres.empty() ? std::nullopt : std::optional<PgTarget>(readPgTarget(postgres));
    QString folder = QDir(q(folderArg.empty() ? DefaultFolder() : folderArg)).absolutePath();
    const QString binDir = QDir(q(binDirArg)).absolutePath();
    ensureFolder(folder);
    folder = QFileInfo(folder).canonicalFilePath() + QLatin1Char('/');

    const QString client = folder + QStringLiteral("client/");
    const QString server = folder + QStringLiteral("server/");
    const QString data = server + QStringLiteral("data");
    DemoInstallation d;
    Repairs repairs(folder, d.repaired);
    // An installation that was there before: what is missing now was lost.
    const bool existed = QFileInfo::exists(folder + QStringLiteral("registry.ini")) ||
                         QFileInfo(folder + QStringLiteral("registry.ini")).isSymLink();
    ensureSubFolder(folder, QStringLiteral("client/Help/WOF"), repairs);
    ensureSubFolder(folder, QStringLiteral("server/S_PKG"), repairs);
    ensureSubFolder(folder, QStringLiteral("server/data"), repairs);

    d.folder = folder.toStdString();
    d.registryFile = (folder + QStringLiteral("registry.ini")).toStdString();
    d.classTable = (folder + QStringLiteral("classes.ini")).toStdString();
    d.user = kDemoUser;
    d.company = kDemoCompany;
    d.database = kDemoDatabase;

    // Files a user may change are written once, and again only when broken.
    ensureFile(q(d.registryFile), registryText(folder), true, existed, repairs);
    ensureFile(client + QStringLiteral("BriskoC.ini"), clientIniText(), true, existed, repairs);
    ensureFile(client + QStringLiteral("Phrase.ini"), phrasesText(), false, existed, repairs);
    ensureFile(client + QStringLiteral("Help/WOF/13070000.html"), helpText(), false, existed, repairs);
    ensureFile(server + QStringLiteral("BriskoS.ini"), serverIniText(), true, existed, repairs);
    if (const FileStatus s = CheckFile(d.classTable); s.state == FileState::Unusable) {
        moveAside(q(d.classTable));
        repairs.add(q(d.classTable), s.reason + " (moved aside)");
    }
    writeText(q(d.classTable), classTableText(binDir));
    refreshCopy(q(SuiteServerLibraryFolder(binDir.toStdString())) + QStringLiteral("WOFB07S.so"),
                server + QStringLiteral("S_PKG/WOFB07S.so"));
    refreshLink(q(SuiteDataFolder()) + QStringLiteral("MultiLanguage"), client + QStringLiteral("MultiLanguage"));

    const QString serverIni = server + QStringLiteral("BriskoS.ini");
    // On PostgreSQL the schemas are made first, so that the settings never name a server
    // that lacks them.
    if (pg) {
        d.createdDatabases = createSchemas(q(SuiteProgram("qvsetup", binDir.toStdString())), server, *pg);
        pointServerAt(serverIni, *pg);
    }
    d.onPostgres = serverIsOnPostgres(serverIni);
    if (d.onPostgres)
        return d;

    // Both databases are made together; one without the other is broken.
    bool makeDatabases = false;
    for (const char* name : {kSystemDatabase, kDemoDatabase}) {
        const QString file = data + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".db");
        const std::string why = DatabaseFileProblem(file.toStdString());
        if (why.empty())
            continue;
        makeDatabases = true;
        if (CheckFile(file.toStdString()).state == FileState::Unusable)
            moveAside(file);
        if (existed)
            repairs.add(file, why);
    }
    if (makeDatabases) {
        createDatabases(q(SuiteProgram("qvsetup", binDir.toStdString())), server, data);
        d.createdDatabases = true;
    }
    return d;
}

void DemoInstall::UseEnvironment(const DemoInstallation& installation)
{
    setenv("QV_REGISTRY", installation.registryFile.c_str(), 1);
    setenv("QV_CLASS_TABLE", installation.classTable.c_str(), 1);
}


int DemoInstall::LanguageCodePage(const std::string& language)
{
    const QString l = q(language).trimmed().toUpper();
    return l == QLatin1String("CHS") ? 936 : l == QLatin1String("CHT") ? 950 : l == QLatin1String("ENG") ? 437 : 0;
}

void DemoInstall::SetLanguage(const DemoInstallation& installation, const std::string& language)
{
    const int codePage = LanguageCodePage(language);
    if (!codePage)
        throw Exception("unknown language \"" + language + "\": CHS, CHT or ENG");
    for (const char* file : {"client/BriskoC.ini", "server/BriskoS.ini"}) {
        const QString path = q(installation.folder) + QLatin1String(file);
        QFile f(path);
        QString text;
        if (f.open(QIODevice::ReadOnly))
            text = QString::fromUtf8(f.readAll());
        f.close();
        text = withIniValue(text, QStringLiteral("CodePage"), QStringLiteral("UICodePage"), QString::number(codePage));
        if (QLatin1String(file) == QLatin1String("client/BriskoC.ini"))
            text = withIniValue(text, QStringLiteral("Client Components"), QStringLiteral("LangType"),
                                q(language).trimmed().toUpper());
        writeText(path, text);
    }
}
