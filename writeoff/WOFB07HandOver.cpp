#include "writeoff/WOFB07HandOver.h"
#include "writeoff/WOFB07CF.h"

#include "config/Dialogs.h"
#include "config/QtVariant.h"
#include "controls/Buttons.h"
#include "dataset/ClientDataSet.h"
#include "writeoff/WOFB07Query.h"

#include <QFrame>

#include <string>
#include <vector>

namespace {

// BtnNext pressed for a hand-over: the values handed in for the new page are set
// again after its defaults; false when the page did not change or a value was refused.
bool stepForward(TfrmWOFB07& form, QWidget* by)
{
    const int before = form.CurrentPage;
    form.BtnNextClick(by);
    if (form.CurrentPage == before)
        return false;
    // The page's own defaults (the end of the document dates is the write-off date, the
    // last page's entries are empty) give way to what was handed in.
    return form.ApplyAgainWithin(form.CurrentPage == TfrmWOFB07::pgNext ? form.pnlNext : form.pnlLast)
           && !form.HandOverChecksRefused();
}

} // namespace

namespace WOFB07HandOver {

bool PressStep(TfrmWOFB07& form, QWidget* control, const Variant& value)
{
    // A value refused by its check already: a step would only say it again.
    if (form.HandOverChecksRefused())
        return false;
    // The number of presses (true is one); a press whose page check refuses stops.
    int presses = 0;
    try {
        presses = value.type() == VarType::Bool ? int(value.toBool()) : value.toInt();
    } catch (const std::exception&) {
        presses = -1;
    }
    if (presses < 0 || presses > 2) {
        form.RefuseParam(control->objectName());
        return false;
    }
    for (int i = 0; i < presses; ++i) {
        if (control == form.BtnNext) {
            if (!stepForward(form, control))
                return false;
            continue;
        }
        const int before = form.CurrentPage;
        form.btnpriorClick(control);
        if (form.CurrentPage == before)
            return false;
    }
    return true;
}

bool ListAndTick(TfrmWOFB07& form, const Variant& value)
{
    // A value refused by its check already: the walk would only say it again.
    if (form.HandOverChecksRefused())
        return false;
    if (form.CurrentPage == TfrmWOFB07::pgLast)
        form.btnFilterClick(form.btnFilter);
    for (int step = 0; step < 2 && form.CurrentPage != TfrmWOFB07::pgLast; ++step)
        if (!stepForward(form, form.btnFilter))
            return false;

    std::vector<std::string> keys;
    if (value.isArray()) {
        for (int i = value.lowBound(); i <= value.highBound(); ++i)
            keys.push_back(VarToStr(value[i]));
    } else if (!value.isEmptyOrNull()) {
        keys.push_back(VarToStr(value));
    }
    if (keys.size() == 1 && keys.front() == "*") {
        if (form.cdsData->RecordCount() == 0)
            form.ShowMessageDialog(form.GetText(QStringLiteral("sNoCandidates"), QStringLiteral("没有待冲销的单据")),
                                   mtInformation, {mbOK});
        form.btnALLClick(form.btnFilter);
        return true;
    }
    std::vector<std::string> missing;
    const std::vector<int> rows = RowsOfDocumentKeys(*form.cdsData, keys, missing);
    if (!missing.empty()) {
        QStringList names;
        for (const std::string& key : missing)
            names << QString::fromStdString(key);
        form.ShowMessageDialog(form.GetText(QStringLiteral("sNotListed"), QStringLiteral("下列单据不在待冲销清单中: %1"))
                                   .arg(names.join(QStringLiteral(", "))),
                               mtError, {mbOK});
        return false;
    }
    for (int row : rows) {
        form.cdsData->SetRecNo(row + 1);
        form.cdsData->Edit();
        form.cdsData->FieldByName("MA001")->SetAsString("Y");
        form.cdsData->Post();
    }
    form.cdsData->First();
    return true;
}

} // namespace WOFB07HandOver
