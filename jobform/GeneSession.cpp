#include "jobform/GeneSession.h"
#include "jobform/BaseGene.h"
#include "jobform/ServerAccess.h"
#include "jobform/SocketConnection.h"

#include "config/QtVariant.h"
#include "controls/MaskEdit.h"

namespace {

// The session a form gets when a program rather than the host shell holds it: the demo
// installation's administrator, company and company database, so that its settings and
// title load. It has all five elements: a shorter one would make the form close itself
// at once.
const char* const kTestUser = "DS";
const char* const kTestCompany = "01";
const char* const kTestDatabase = "DEMO";

} // namespace

TGeneSession::TGeneSession(TfrmBaseGene& form) : form_(form) {}

Variant TGeneSession::TestSession()
{
    return Variant::list({kTestUser, kTestCompany, kTestDatabase, std::int64_t(0), Variant()});
}

bool TGeneSession::Enter(const Variant& session)
{
    try {
        if (!form_.CompanyCode.isEmpty())
            return false;
        form_.PageEnterControls.clear();
        form_.DateRules.clear();
        form_.SavedColours.clear();
        form_.SysInfoCache.clear();
        form_.SysInfoLoaded = false;
        form_.server_->ClearServices();
        form_.OptionBase = 1;
        form_.ReportRawError(QString());
        form_.edPrintDate->SetText(QString());
        form_.CommandArray = Variant::null();
        form_.ApplyByName = true;
        form_.ApplyDone = false;

        const int low = session.isArray() ? session.lowBound() : 0;
        const int count = session.isArray() ? session.count() : 0;
        const auto element = [&](int i) { return i < count ? session[low + i] : Variant(); };
        form_.HostWindow = count > 3 && !element(3).isEmptyOrNull() ? std::uintptr_t(element(3).toInt64()) : 0;
        if (count > 4) {
            form_.SessionExtra = element(4);
        } else {
            form_.ReportMessage(QStringLiteral("E;000038"));
            form_.PostClose();
        }

        form_.hide();
        form_.UserCode = VarToQStr(element(0));
        form_.CompanyCode = VarToQStr(element(1));
        form_.DatabaseName = VarToQStr(element(2));

        form_.InitServices();

        if (form_.objectName().mid(3, 3).compare(form_.ProgramCode.left(3), Qt::CaseInsensitive) != 0) {
            form_.ReportMessage(QStringLiteral("E;000036"));
            form_.PostClose();
            return false;
        }

        form_.MainMidas->Close();
        bool connected = false;
        if (form_.ConfigureConnection(form_.MainMidas, form_.ObjBroker)) {
            form_.BeforeConnect(form_.MainMidas);
            connected = !form_.MainMidas->ServerName().isEmpty() && form_.ConnectAppServer();
        }
        if (!connected) {
            form_.ReportMessage(QStringLiteral("E;000006"));
            form_.PostClose();
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        form_.ReportRawError(QString::fromUtf8(e.what()));
        return false;
    }
}

void TGeneSession::ReadProgramName()
{
    try {
        Variant row;
        if (form_.ValidateValue(QStringLiteral("ADMMB"), QStringLiteral("01"), false, row,
                                Variant::list({QStrToVar(form_.ProgramCode)}))) {
            const bool english = form_.EnglishInterface() && row.isArray() && row.count() > 7;
            form_.ProgramName = VarToQStr(row.isArray() ? row[row.lowBound() + (english ? 7 : 0)] : row);
        } else {
            form_.ProgramName.clear();
        }
    } catch (const std::exception&) {
        form_.ProgramName = form_.ProgramCode;
    }
    // Read before the form converts what it reads: a traditional interface on a simplified
    // database shows the job's name in its own characters.
    if (!form_.ConvertedFlag)
        form_.ProgramName = VarToQStr(form_.IncomingConvert(QStrToVar(form_.ProgramName)));
}
