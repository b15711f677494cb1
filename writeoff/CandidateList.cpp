#include "writeoff/CandidateList.h"
#include "writeoff/WOFB07CF.h"

#include "config/QtVariant.h"
#include "controls/QvrEdit.h"
#include "dataset/ClientDataSet.h"
#include "writeoff/CandidateFind.h"
#include "writeoff/WOFB07Query.h"

#include <QLabel>

#include <memory>
#include <vector>

namespace {

void showHiddenTicked(TfrmWOFB07& form)
{
    // The ticks in sight subtracted from the count of every tick.
    int hidden = 0;
    if (form.cdsData->Active() && form.cdsData->Filtered()) {
        TField* tick = form.cdsData->FieldByName("MA001");
        int shown = 0;
        for (int row = 0; row < form.cdsData->RecordCount(); ++row)
            shown += tick->TextAt(row) == "Y" ? 1 : 0;
        hidden = form.TotalCount() - shown;
    }
    form.lblHiddenTicked->setText(form.GetText(QStringLiteral("TfrmWOFB07"), QStringLiteral("sHiddenTicked"),
                                               QStringLiteral("选中的单据有 %1 笔不在筛选结果中"))
                                      .arg(hidden));
    form.lblHiddenTicked->setVisible(hidden > 0);
}

void addToTotals(TfrmWOFB07& form, const Decimal& original, const Decimal& local, int count)
{
    form.cdsSum->Edit();
    TField* sumOriginal = form.cdsSum->FieldByName("MA021");
    TField* sumLocal = form.cdsSum->FieldByName("MA022");
    TField* sumCount = form.cdsSum->FieldByName("MA023");
    sumOriginal->SetAsDecimal(sumOriginal->AsDecimal() + original);
    sumLocal->SetAsDecimal(sumLocal->AsDecimal() + local);
    sumCount->SetAsInteger(sumCount->AsInteger() + count);
    form.cdsSum->Post();
}

} // namespace

namespace CandidateList {

void Reset(TfrmWOFB07& form)
{
    form.cdsSum->EmptyDataSet();
    form.cdsSum->Append();
    form.cdsSum->FieldByName("MA001")->SetAsString("11");
    form.cdsSum->FieldByName("MA021")->SetAsDecimal(Decimal());
    form.cdsSum->FieldByName("MA022")->SetAsDecimal(Decimal());
    form.cdsSum->FieldByName("MA023")->SetAsInteger(0);
    form.cdsSum->Post();
    form.cdsSum->Open();
    form.cdsData->EmptyDataSet();
    showHiddenTicked(form);
}

void Load(TfrmWOFB07& form)
{
    // A new list is seen whole.
    if (!form.edFind->text().isEmpty()) {
        const QSignalBlocker quiet(form.edFind);
        form.edFind->clear();
    }
    form.cdsData->OnFilterRecord = nullptr;
    form.cdsData->SetFiltered(false);
    Reset(form);
    CandidateFilter filter{form.cbo01->ItemIndex(), form.FilterValues};
    form.CandidateSql = QString::fromStdString(::CandidateSql(filter));
    {
        // The answer comes in parts that are let go once listed, so that 100,000
        // candidates are never held twice; the grid hears of them once.
        ControlsDisabledScope quiet(*form.cdsData);
        const int dateFormat = form.GetDateFormat();
        const std::string separator = Utf8(form.GetDateSeparator());
        const std::int64_t rows = form.QueryInParts(
            form.CandidateSql, QString::fromLatin1(kCandidateFieldList), Variant(), kCandidatePartRows,
            [&](Variant& part) {
                if (part.isArray())
                    LoadCandidates(*form.cdsData, std::move(part), dateFormat, separator);
                return true;
            });
        // A query that failed after some parts (a bound of the server) lists nothing rather
        // than a part of the candidates; the server's notice says why.
        if (rows < 0)
            form.cdsData->EmptyDataSet();
    }
    form.cdsData->FieldByName("MA008")->SetEditMask(Utf8(form.DateMask()));
    form.cdsData->SetIndexFieldNames("MA002;MA005;MA006;MA008");
    form.cdsData->Open();
    form.cdsData->First();
}

void ApplyFind(TfrmWOFB07& form)
{
    if (form.cdsData->Active()) {
        auto find = std::make_shared<CandidateFind>(*form.cdsData, form.edFind->text());
        if (find->IsEmpty()) {
            form.cdsData->OnFilterRecord = nullptr;
            form.cdsData->SetFiltered(false);
        } else {
            form.cdsData->OnFilterRecord = [find](TClientDataSet*) { return find->Matches(); };
            form.cdsData->SetFiltered(true);
        }
    }
    showHiddenTicked(form);
}

void TickChanged(TfrmWOFB07& form, TField* sender)
{
    if (form.cdsData->State() == dsInsert)
        return;
    // Only a change of the tick counts: setting a row to what it already holds would
    // otherwise count it twice or take it off twice.
    const int row = form.cdsData->RecNo() - 1;
    const FieldValue stored = row >= 0 ? sender->DataAt(row) : FieldValue();
    const std::string* old = std::get_if<std::string>(&stored);
    const bool was = old && *old == "Y";
    const bool now = sender->AsString() == "Y";
    if (was == now)
        return;
    const Decimal original = form.cdsData->FieldByName("MA016")->AsDecimal();
    const Decimal local = form.cdsData->FieldByName("MA017")->AsDecimal();
    if (now)
        addToTotals(form, original, local, 1);
    else
        addToTotals(form, -original, -local, -1);
}

void SetTicks(TfrmWOFB07& form, const QString& value)
{
    if (!form.cdsData->Active() || form.cdsData->IsEmpty())
        return;
    form.cdsData->CheckBrowseMode();
    // What ticking the rows does to the totals, summed in the same walk rather than
    // validated row by row: a row already as asked for counts nothing.
    const bool tick = value == QStringLiteral("Y");
    TField* mark = form.cdsData->FieldByName("MA001");
    TField* original = form.cdsData->FieldByName("MA016");
    TField* local = form.cdsData->FieldByName("MA017");
    Decimal changeOriginal, changeLocal;
    const int changeCount = form.cdsData->SetFieldOfEveryRecord(mark, Utf8(value), [&](int row) {
        changeOriginal += original->DecimalAt(row);
        changeLocal += local->DecimalAt(row);
    });
    form.cdsData->Last(); // where walking the rows would leave the cursor

    if (changeCount == 0)
        return;
    if (tick)
        addToTotals(form, changeOriginal, changeLocal, changeCount);
    else
        addToTotals(form, -changeOriginal, -changeLocal, -changeCount);
}

Variant ChosenDocuments(TfrmWOFB07& form)
{
    if (form.TotalCount() < 1 || !form.cdsData->Active() || form.cdsData->IsEmpty())
        return Variant::list({"NN"});
    const std::string type = form.cdsData->FieldByName("MA005")->AsString();
    const std::string number = form.cdsData->FieldByName("MA006")->AsString();
    std::vector<Variant> keys;
    {
        ControlsDisabledScope quiet(*form.cdsData);
        // Every ticked row goes, those the find box hides too.
        const bool filtered = form.cdsData->Filtered();
        if (filtered)
            form.cdsData->SetFiltered(false);
        TField* tick = form.cdsData->FieldByName("MA001");
        TField* t = form.cdsData->FieldByName("MA005");
        TField* n = form.cdsData->FieldByName("MA006");
        // Sized by the ticks found, whatever the count says.
        for (int row = 0; row < form.cdsData->RecordCount(); ++row)
            if (tick->TextAt(row) == "Y")
                keys.push_back(QStrToVar(QString::fromStdString(t->TextAt(row)).trimmed()
                                         + QString::fromStdString(n->TextAt(row)).trimmed()));
        if (filtered)
            form.cdsData->SetFiltered(true);
        form.cdsData->Locate("MA005;MA006", Variant::list({type, number}), loCaseInsensitive);
    }
    if (keys.empty())
        return Variant::list({"NN"});
    return Variant::list(std::move(keys));
}

} // namespace CandidateList
