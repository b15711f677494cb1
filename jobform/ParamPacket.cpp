#include "jobform/ParamPacket.h"
#include "jobform/BaseGene.h"
#include "jobform/ControlValues.h"
#include "jobform/JobMessages.h"

#include "config/QtVariant.h"
#include "controls/Buttons.h"

#include <QPointer>

#include <algorithm>

TParamPacket::TParamPacket(TfrmBaseGene& form) : form_(form) {}

bool TParamPacket::Collect()
{
    if (form_.EnvCount <= 0 || (form_.OptionCount <= 0 && !form_.ApplyDone)) {
        form_.ShowCodedMessage(QStringLiteral("I"), QStringLiteral("000003"));
        return false;
    }
    Variant environment = Variant::array(1, form_.EnvCount);
    Variant texts = Variant::array(1, std::max(form_.OptionCount, 0));
    Variant values = Variant::array(1, std::max(form_.OptionCount, 0));

    // The array came back as large as declared and with every slot filled.
    const auto complete = [this](const Variant& array, int count, const QString& name) {
        const int high = array.isArray() ? array.highBound() : -1;
        if (high != count) {
            form_.ShowCodedMessage(QStringLiteral("W"), QStringLiteral("000002"), {},
                                   {QStrToVar(name), count, high});
            return false;
        }
        for (int i = array.lowBound(); i <= high; ++i)
            if (array[i].isEmpty()) {
                form_.ShowCodedMessage(QStringLiteral("W"), QStringLiteral("000003"), {},
                                       {QStrToVar(name), count, i});
                return false;
            }
        return true;
    };

    const int own = form_.OptionCount - form_.OptionBase;
    if (!form_.CollectOptionTexts(texts, own)
        || !complete(texts, form_.OptionCount,
                     form_.GetText(QStringLiteral("sOption"), QStringLiteral("选择条件文字"))))
        return false;
    if (!form_.CollectOptionValues(values, own)
        || !complete(values, form_.OptionCount,
                     form_.GetText(QStringLiteral("sOptionInf"), QStringLiteral("选择条件信息"))))
        return false;
    if (!form_.CollectEnvironment(environment)
        || !complete(environment, form_.EnvCount,
                     form_.GetText(QStringLiteral("sEnvSetting"), QStringLiteral("环境设置"))))
        return false;

    Variant packet = Variant::array(0, 2);
    packet[0] = environment;
    packet[1] = form_.OutgoingConvert(texts);
    packet[2] = form_.OutgoingConvert(values);
    form_.ParamPacket = packet;
    return true;
}

TApplyOutcome TParamPacket::Apply(const Variant& packet)
{
    // [command, [by-name flag, [option texts, option values]]]: the command array is what a
    // job request carries, so a host can run a job unattended by handing in its request.
    form_.CommandArray = packet.isArray() && packet.count() > 1 ? packet[packet.lowBound() + 1] : Variant();
    int command = 0;
    bool passed = false;
    bool checked = true;
    if (packet.isArray()) {
        try {
            const Variant& first = packet[packet.lowBound()];
            command = first.toInt();
        } catch (const std::exception&) {
            command = 0;
        }
        form_.ApplyRunFlag = command == 0 || command == 1;
        form_.ApplyDone = false;
        problemsBefore_ = form_.messages_->ProblemsShown();
        passed = form_.values_->ApplyCommandArray(form_.CommandArray);
        checked = !ChecksRefused();
        form_.ApplyDone = passed && checked && command != 0;
    }

    if (!form_.ConvertedFlag) {
        form_.ConvertOnce();
        if (form_.SystemCodePage() == QLatin1String("950")) {
            form_.ProgramName = form_.DisplayConvert(form_.ProgramName);
            if (!form_.IsLibraryMode())
                form_.ProgramName +=
                    form_.GetText(QStringLiteral("sExeVer"), QStringLiteral("[您现在运行的是Exe版本!]"));
            form_.SetCaption(form_.ProgramName + QLatin1Char('[') + form_.CompanyTitle + QLatin1Char(']'));
        }
    }
    if (!passed && (!packet.isArray() || form_.values_->Refused()))
        return TApplyOutcome::Refused;
    if (!passed || !checked)
        return TApplyOutcome::CheckRefused;
    if (command == 0)
        return TApplyOutcome::Taken;

    QPointer<TfrmBaseGene> self(&form_);
    const int handedOver = form_.HandOvers;
    if (command > 2) {
        form_.RunCommand(command);
    } else if (form_.btnOk->isEnabled()) {
        form_.btnOk->click();
    } else {
        // Nobody at the screen could press it either.
        form_.ShowMessageDialog(
            form_.GetText(QStringLiteral("sOkDisabled"), QStringLiteral("作业无法送出: %1")).arg(form_.OkRefusal()),
            mtWarning, {mbOK});
    }
    if (!self)
        return TApplyOutcome::Taken;
    return form_.HandOvers != handedOver ? TApplyOutcome::Taken : TApplyOutcome::NothingHandedOver;
}

bool TParamPacket::ChecksRefused() const
{
    return form_.messages_->ProblemsShown() != problemsBefore_;
}
