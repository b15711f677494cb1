// A small job library for the end-to-end checks: program WOFB08, form frmWOFB08, bound
// through frmBaseBatchClass as a real job library binds its form. Its first page holds a
// document date, a supplier range and a currency; OK checks the date, the required fields
// and the currency and hands the job to the job service, whose number the host then sees
// in the controller's ResultValue.

#include "batch/BaseBatchCF.h"
#include "controls/ExtPage.h"
#include "controls/MaskEdit.h"
#include "controls/QvrEdit.h"
#include "controls/SelectPnl.h"
#include "plugin/DLLBTCtrller.h"

#include "config/QtVariant.h"

#include <cstdio>

namespace {

class TfrmWOFB08 : public TfrmBaseBatch {
public:
    explicit TfrmWOFB08(QWidget* owner) : TfrmBaseBatch(owner)
    {
        setObjectName(QStringLiteral("frmWOFB08"));
        edDocDate = new TMaskEdit(tsOption1);
        edDocDate->setObjectName(QStringLiteral("edDocDate"));
        edDocDate->setGeometry(80, 10, 100, 22);
        spSupplier = new TSelectPanel(tsOption1);
        spSupplier->setObjectName(QStringLiteral("spSupplier"));
        spSupplier->SetCaption(QStringLiteral("供应商"));
        spSupplier->move(10, 40);
        edCurrency = new TQvEdit(tsOption1);
        edCurrency->setObjectName(QStringLiteral("edCurrency"));
        edCurrency->SetCaption(QStringLiteral("币别"));
        edCurrency->setGeometry(80, 100, 60, 22);
    }

    void InitJob() override
    {
        TfrmBaseBatch::InitJob();
        SetOptionCount(3);
        AddDateFields(QStringLiteral("edDocDate"));
        SetRequiredFields(QStringLiteral("edCurrency,spSupplier"));
    }

    bool CollectOptionTexts(Variant& texts, int index) override
    {
        if (!TfrmBaseBatch::CollectOptionTexts(texts, index))
            return false;
        texts[1] = Variant::list({"单据日期", "edDocDate"});
        texts[2] = Variant::list({QStrToVar(spSupplier->Caption()), "spSupplier"});
        texts[3] = Variant::list({QStrToVar(edCurrency->Caption()), "edCurrency"});
        return true;
    }

    bool CollectOptionValues(Variant& values, int index) override
    {
        if (!TfrmBaseBatch::CollectOptionValues(values, index))
            return false;
        values[1] = QStrToVar(DateTextToCompact(edDocDate->Text()));
        PutPanelValue(spSupplier, values, 2);
        values[3] = QStrToVar(edCurrency->Text().trimmed());
        return true;
    }

protected:
    void FormShow(QObject* sender) override
    {
        TfrmBaseBatch::FormShow(sender);
        // What a host running the job unattended can read from its output.
        std::printf("caption: %s\n", Caption().toUtf8().constData());
        std::fflush(stdout);
    }

    // The job's own checks come first; the run-options form then hands the job to the
    // job service and closes the form.
    void btnOkClick(QObject* sender) override
    {
        QString code;
        if (!CheckDateField(edDocDate, false, &code)) {
            ReportMessage(code);
            return;
        }
        const QString currency = edCurrency->Text().trimmed();
        Variant row;
        if (!ValidateValue(QStringLiteral("CMSMF"), QStringLiteral("01"), false, row, Variant::list({QStrToVar(currency)}))) {
            ReportMessage(QStringLiteral("E;000001;") + currency);
            return;
        }
        TfrmBaseBatch::btnOkClick(sender);
    }

private:
    TMaskEdit* edDocDate;
    TSelectPanel* spSupplier;
    TQvEdit* edCurrency;
};

TfrmBaseBatch* CreateWOFB08(QWidget* owner)
{
    return TQVForm::Create<TfrmWOFB08>(owner);
}

const bool bound = (frmBaseBatchClass = &CreateWOFB08, true);

} // namespace
