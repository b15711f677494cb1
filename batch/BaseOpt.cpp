#include "batch/BaseOpt.h"
#include "jobform/SocketConnection.h"

#include "config/QtVariant.h"
#include "config/RunTimeProps.h"
#include "platform/OleDate.h"
#include "support/Dates.h"

namespace {
// A run-option control's Checked or Down state; false while the form has no such control.
bool isOn(const TfrmBaseOpt* form, const char* name, const char* property)
{
    QObject* control = form->FindComponent(QLatin1String(name));
    return control && GetPropertyValue(control, QLatin1String(property)).toBool();
}
} // namespace

TfrmBaseOpt::TfrmBaseOpt(QWidget* owner) : TfrmBaseGene(owner) {}

void TfrmBaseOpt::InitJob()
{
    TfrmBaseGene::InitJob();
    AddDateFields(QStringLiteral("edDate,meStartDate,meEndDate"));
    EnvCount = 12;
    FeatureFlags = 4;
}

void TfrmBaseOpt::BeforeConnect(TSocketConnection* connection)
{
    TfrmBaseGene::BeforeConnect(connection);
    connection->SetServerName(QLatin1String(JobServiceName));
}

void TfrmBaseOpt::HandleF2Key(int key, QWidget* control)
{
    TfrmBaseGene::HandleF2Key(key, control);
    if (!control)
        return;
    // The run time and the cycle's first and last day have the date picker too.
    for (const char* name : {"edDate", "meStartDate", "meEndDate"})
        if (control == FindComponent(QLatin1String(name))) {
            SetStringProperty(control, QStringLiteral("Text"), PickDate(GetStringProperty(control, QStringLiteral("Text"))));
            return;
        }
}

bool TfrmBaseOpt::CollectEnvironment(Variant& environment)
{
    if (!TfrmBaseGene::CollectEnvironment(environment))
        return false;
    try {
        if (isOn(this, "btnPeriod", "Down"))
            environment[9] = QStrToVar(JobKind.toLower());
        environment[11] = Variant::date(Now());
        // The queue is the default run mode.
        if (isOn(this, "rdoRealTime", "Checked")) {
            environment[10] = 1;
        } else if (!isOn(this, "rdoExceptTime", "Checked")) {
            environment[10] = 0;
        } else {
            environment[10] = 2;
            const auto number = [this](const char* name, bool& ok) {
                QObject* control = FindComponent(QLatin1String(name));
                return control ? GetStringProperty(control, QStringLiteral("Text")).trimmed().toInt(&ok) : (ok = false, 0);
            };
            QObject* dateEdit = FindComponent(QStringLiteral("edDate"));
            const double day = dateEdit ? DisplayTextToDate(Utf8(GetStringProperty(dateEdit, QStringLiteral("Text"))),
                                                            GetDateFormat(), Utf8(GetDateSeparator()))
                                        : 0;
            bool hourOk = false, minuteOk = false, secondOk = false;
            const int hour = number("edHour", hourOk);
            const int minute = number("edMin", minuteOk);
            const int second = number("edSec", secondOk);
            if (day == 0 || !hourOk || !minuteOk || !secondOk || hour < 0 || hour > 23 || minute < 0 || minute > 59
                || second < 0 || second > 59) {
                environment[10] = 0;
                ReportMessage(QStringLiteral("E;000005;") + GetMessageText(QStringLiteral("I"), QStringLiteral("000009"))
                              + GetMessageText(QStringLiteral("I"), QStringLiteral("000010")));
                return false;
            }
            environment[11] = Variant::date(day + EncodeTime(hour, minute, second));
        }
        environment[12] = QStrToVar(isOn(this, "chkNotify", "Checked") ? NotifyRecipients : QString());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
