#include "writeoff/WOFB07Lookup.h"

#include "config/QtVariant.h"
#include "controls/MaskEdit.h"
#include "controls/QvrEdit.h"
#include "controls/SelectPnl.h"
#include "writeoff/WOFB07CF.h"

#include <QStringList>

#include <vector>

namespace {

TSelectPanel* panelOf(const TfrmWOFB07& form, QWidget* control)
{
    for (QWidget* w = control; w && w != &form; w = w->parentWidget())
        if (auto* panel = qobject_cast<TSelectPanel*>(w))
            return panel;
    return nullptr;
}

// The first value of a look-up answer, however deep its rows are.
QString firstValue(const Variant& result)
{
    Variant v = result;
    while (v.isArray() && v.count() > 0) {
        const Variant inner = v[v.lowBound()];
        v = inner;
    }
    return v.isEmptyOrNull() || v.isArray() ? QString() : VarToQStr(v);
}

void lookupInto(TfrmWOFB07& form, TQvEdit* edit, const QString& table, const Variant& keys)
{
    Variant result;
    form.LookupData(table, QStringLiteral("01"), result, false, edit->Text(), keys);
    const QString value = firstValue(result);
    if (!value.isEmpty())
        edit->SetText(value);
}

void documentLookup(TfrmWOFB07& form, TSelectPanel* panel, QWidget* control, const QString& table, const QString& kind)
{
    QString text;
    if (auto* edit = qobject_cast<TMaskEdit*>(control))
        text = edit->EditText();
    const QStringList parts = text.split(QLatin1Char('-'));
    const QString type = parts.value(0).trimmed();
    const QString number = parts.value(1).trimmed();
    // Only documents of the suppliers and the currency chosen on this page are offered.
    std::vector<Variant> keys{"1", "1", QStrToVar(type), QStrToVar(number), QStrToVar(form.ed04->Text().trimmed())};
    if (form.sp05->IsRangeMode()) {
        keys.insert(keys.end(), {"R", QStrToVar(form.sp05->edBegin->Text().trimmed()),
                                 QStrToVar(form.sp05->edFinal->Text().trimmed())});
    } else {
        keys.push_back("L");
        for (const QStringList& row : form.sp05->ListBox->Rows())
            if (!row.isEmpty() && !row.first().trimmed().isEmpty())
                keys.push_back(QStrToVar(row.first().trimmed()));
    }
    Variant result;
    form.LookupData(table, kind, result, !panel->IsRangeMode(), QString(), Variant::list(std::move(keys)));
    if (result.isEmptyOrNull() || !result.isArray())
        return;
    QStringList joined;
    for (int r = result.lowBound(); r <= result.highBound(); ++r) {
        const Variant& row = result[r];
        if (!row.isArray()) {
            joined << VarToQStr(row).trimmed();
            continue;
        }
        QStringList values;
        for (int i = row.lowBound(); i <= row.highBound(); ++i)
            values << VarToQStr(row[i]).trimmed();
        joined << values.join(QLatin1Char('-'));
    }
    if (panel->IsRangeMode()) {
        if (auto* edit = qobject_cast<TMaskEdit*>(control); edit && !joined.isEmpty())
            edit->SetEditText(joined.first());
    } else {
        for (const QString& entry : joined)
            panel->AddValues({entry});
    }
}

} // namespace

void WOFB07Lookup(TfrmWOFB07& form, QWidget* control)
{
    if (control == form.ed02) {
        form.ed02->SetText(form.PickDate(form.ed02->Text()));
    } else if (control == form.sp03->edBegin || control == form.sp03->edFinal) {
        auto* edit = static_cast<TMaskEdit*>(control);
        edit->SetText(form.PickDate(edit->Text()));
    } else if (control == form.ed04) {
        lookupInto(form, form.ed04, QStringLiteral("CMSMF"), Variant::list({""}));
    } else if (control == form.ed11) {
        lookupInto(form, form.ed11, QStringLiteral("PURMA"), Variant::list({""}));
    } else if (control == form.ed12) {
        lookupInto(form, form.ed12, QStringLiteral("CMSMQ"), Variant::list({"7D", QStrToVar(form.UserCode)}));
    } else if (TSelectPanel* panel = panelOf(form, control)) {
        QString text;
        if (auto* edit = qobject_cast<TMaskEdit*>(control))
            text = edit->Text();
        // In list mode the window takes several suppliers at once.
        if (panel == form.sp05)
            form.LookupIntoPanel(control, QStringLiteral("PURMA"), QStringLiteral("01"), !panel->IsRangeMode(), text,
                                 Variant::list({""}));
        else if (panel == form.sp06)
            documentLookup(form, panel, control, QStringLiteral("ACPTA"), QStringLiteral("15"));
        else if (panel == form.sp07)
            documentLookup(form, panel, control, QStringLiteral("ACPTA"), QStringLiteral("16"));
        else if (panel == form.sp08)
            documentLookup(form, panel, control, QStringLiteral("ACPTI"), QStringLiteral("05"));
        else if (panel == form.sp09)
            documentLookup(form, panel, control, QStringLiteral("ACPTK"), QStringLiteral("10"));
    }
}
