#include "jobform/BaseGene.h"
#include "config/QtVariant.h"

#include <QFileInfo>

namespace {
// The session a form gets when a program rather than the host shell holds it.
const char* const kTestUser = "DS";
const char* const kTestCompany = "DEMO";
} // namespace

TfrmBaseGene::TfrmBaseGene(QWidget* owner) : TQVForm(owner)
{
    resize(509, 355);
    FormVersion = QStringLiteral("870401-0.00.00");
}

void TfrmBaseGene::SetModuleFileName(const QString& fileName)
{
    ModuleFileName = fileName;
    if (!IsLibraryMode())
        // The host window and the extra element too: a session of three elements would
        // make the form close itself at once.
        InitSession(Variant::list({kTestUser, kTestCompany, kTestCompany, std::int64_t(0), Variant()}));
}

bool TfrmBaseGene::IsLibraryMode() const
{
    const QString suffix = QFileInfo(ModuleFileName).suffix();
    return suffix.compare(QLatin1String("dll"), Qt::CaseInsensitive) == 0
        || suffix.compare(QLatin1String("so"), Qt::CaseInsensitive) == 0;
}

QString TfrmBaseGene::ProgramCodeFromModule(const QString& moduleFileName)
{
    const QFileInfo info(moduleFileName);
    const QString suffix = info.suffix();
    const bool library = suffix.compare(QLatin1String("dll"), Qt::CaseInsensitive) == 0
                      || suffix.compare(QLatin1String("so"), Qt::CaseInsensitive) == 0;
    QString name = info.completeBaseName();
    const int drop = library ? 1 : 2;
    const int keep = std::max<int>(qMin<qsizetype>(6, name.size()), int(name.size()) - drop);
    return name.left(keep).toUpper();
}

bool TfrmBaseGene::InitSession(const Variant& session)
{
    try {
        if (!CompanyCode.isEmpty())
            return false;
        CommandArray = Variant::null();
        ApplyByName = true;
        ApplyDone = false;
        const int high = session.isArray() ? session.highBound() : -1;
        HostWindow = high >= 3 ? std::uintptr_t(session[3].toInt64()) : 0;
        if (high >= 4) {
            SessionExtra = session[4];
        } else {
            // A session without its fifth element cannot serve a job: the form closes
            // once control is back in the event loop; initialisation goes on meanwhile.
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        }
        hide();
        UserCode = high >= 0 ? VarToQStr(session[0]) : QString();
        CompanyCode = high >= 1 ? VarToQStr(session[1]) : QString();
        DatabaseName = high >= 2 ? VarToQStr(session[2]) : QString();
        ProgramCode = ProgramCodeFromModule(ModuleFileName);
        ServerClassName = ProgramCode + QStringLiteral("S.Class1");
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void TfrmBaseGene::ApplyParams(const Variant& packet)
{
    CommandArray = packet.isArray() && packet.highBound() >= 1 ? packet[1] : Variant();
}

void TfrmBaseGene::FormClose(QObject* sender, TCloseAction& action)
{
    TQVForm::FormClose(sender, action);
    action = caFree;
}
