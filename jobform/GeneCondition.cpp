#include "jobform/GeneCondition.h"

#include "config/Dialogs.h"
#include "config/QtVariant.h"
#include "config/RunTimeProps.h"
#include "controls/Buttons.h"
#include "controls/CaptionRoom.h"
#include "controls/DBLabel.h"
#include "controls/QvSpin.h"
#include "controls/SelectPnl.h"
#include "jobform/BaseGene.h"
#include "jobform/BaseGeneU.h"
#include "jobform/SchemeValues.h"
#include "platform/CodePage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

constexpr int kRequiredColour = 11534335;

QString fieldsJoined(const QStringList& fields)
{
    return fields.join(SchemeValues::kField);
}

} // namespace

TfrmGeneCondition::TfrmGeneCondition(const QString& dateFields, int leaveOut, TfrmBaseGene* owner)
    : TQVForm(owner), form_(*owner), dateFields_(dateFields)
{
    setObjectName(QStringLiteral("frmGeneCondition"));
    setWindowFlags(Qt::Dialog);
    SetCaption(form_.windowTitle());

    auto* top = new QVBoxLayout(this);
    auto* nameRow = new QHBoxLayout;
    auto* lblConName = new QLabel(form_.DisplayConvert(QStringLiteral("方案名称")), this);
    lblConName->setObjectName(QStringLiteral("lblConName"));
    nameRow->addWidget(lblConName);
    edConName = new QLineEdit(this);
    edConName->setObjectName(QStringLiteral("edConName"));
    edConName->setMaxLength(20);
    QPalette required = edConName->palette();
    required.setColor(QPalette::Base, TColorToQColor(kRequiredColour));
    edConName->setPalette(required);
    nameRow->addWidget(edConName, 1);
    top->addLayout(nameRow);

    gbDateFields = new QGroupBox(form_.DisplayConvert(QStringLiteral("日期字段")), this);
    gbDateFields->setObjectName(QStringLiteral("gbDateFields"));
    auto* group = new QVBoxLayout(gbDateFields);
    cbodatecondition = new QComboBox(gbDateFields);
    cbodatecondition->setObjectName(QStringLiteral("cbodatecondition"));
    group->addWidget(cbodatecondition);

    pnSp = new QWidget(gbDateFields);
    pnSp->setObjectName(QStringLiteral("pnSp"));
    auto* sp = new QVBoxLayout(pnSp);
    sp->setContentsMargins(0, 0, 0, 0);
    sp->addWidget(buildRule(pnSp, QStringLiteral("B"), QStringLiteral("起始日期"), begin_, QStringLiteral("spDate_B"),
                            QStringLiteral("seSetDay_B1"), QStringLiteral("cboSetDay_B1"), QStringLiteral("cboSetDay_B2"),
                            QStringLiteral("seSetDay_B2")));
    sp->addWidget(buildRule(pnSp, QStringLiteral("E"), QStringLiteral("截止日期"), end_, QStringLiteral("spDate_E"),
                            QStringLiteral("seSetDay_E1"), QStringLiteral("cboSetDay_E1"), QStringLiteral("cboSetDay_E2"),
                            QStringLiteral("seSetDay_E2")));
    spDate_B = begin_.tie, seSetDay_B1 = begin_.count, cboSetDay_B1 = begin_.unit, cboSetDay_B2 = begin_.adjust,
    seSetDay_B2 = begin_.days;
    spDate_E = end_.tie, seSetDay_E1 = end_.count, cboSetDay_E1 = end_.unit, cboSetDay_E2 = end_.adjust,
    seSetDay_E2 = end_.days;
    group->addWidget(pnSp);

    pnEdit = new QWidget(gbDateFields);
    pnEdit->setObjectName(QStringLiteral("pnEdit"));
    auto* ed = new QVBoxLayout(pnEdit);
    ed->setContentsMargins(0, 0, 0, 0);
    ed->addWidget(buildRule(pnEdit, QString(), QStringLiteral("变动日期"), single_, QStringLiteral("edSetDate"),
                            QStringLiteral("seSetDay1"), QStringLiteral("cboSetDay1"), QStringLiteral("cboSetDay2"),
                            QStringLiteral("seSetDay2")));
    edSetDate = single_.tie, seSetDay1 = single_.count, cboSetDay1 = single_.unit, cboSetDay2 = single_.adjust,
    seSetDay2 = single_.days;
    group->addWidget(pnEdit);
    top->addWidget(gbDateFields);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btnOk = new TBitBtn(this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->SetCaption(form_.DisplayConvert(QStringLiteral("确定(&O)")));
    btnOk->OnClick = [this](QObject*) { btnOkClick(); };
    btnCancel = new TBitBtn(this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->SetCaption(form_.DisplayConvert(QStringLiteral("取消(&C)")));
    btnCancel->OnClick = [this](QObject*) { btnCancelClick(); };
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    top->addLayout(buttons);

    // Rules are made afresh and switched off each time the dialog opens.
    form_.DateRules.clear();
    Variant texts;
    if (form_.OptionCount >= form_.OptionBase) {
        // As the parameter packet collects them: slots 1 to OptionCount, the job's own first.
        texts = Variant::array(1, form_.OptionCount);
        try {
            form_.CollectOptionTexts(texts, form_.OptionCount - form_.OptionBase);
        } catch (const std::exception&) {
        }
    }
    const QStringList names = namesOf(dateFields);
    const int ruled = std::max(0, int(names.size()) - leaveOut);
    for (int i = 0; i < ruled; ++i) {
        auto* control = qobject_cast<QWidget*>(form_.FindComponent(names[i]));
        if (!control)
            continue;
        if (auto* panel = qobject_cast<TSelectPanel*>(control)) {
            cbodatecondition->addItem(panel->Caption());
            form_.DateRules << fieldsJoined({QStringLiteral("0"), names[i], QStringLiteral("N"), QStringLiteral("0"),
                                             QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                                             QStringLiteral("N"), QStringLiteral("0"), QStringLiteral("0"),
                                             QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("D")});
        } else {
            cbodatecondition->addItem(captionOf(control, texts));
            form_.DateRules << fieldsJoined({QStringLiteral("1"), names[i], QStringLiteral("N"), QStringLiteral("0"),
                                             QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                                             QStringLiteral("D")});
        }
        entries_ << names[i];
    }
    connect(cbodatecondition, &QComboBox::currentIndexChanged, this, [this](int i) { showEntry(i); });
    if (entries_.isEmpty()) {
        gbDateFields->setEnabled(false);
        pnEdit->hide();
    } else {
        cbodatecondition->setCurrentIndex(0);
        showEntry(0);
    }
}

QWidget* TfrmGeneCondition::buildRule(QWidget* parent, const QString& prefix, const QString& caption,
                                      RuleControls& rc, const QString& tieName, const QString& countName,
                                      const QString& unitName, const QString& adjustName, const QString& daysName)
{
    auto* row = new QWidget(parent);
    // Named by their rule, so that language files reach them.
    const auto label = [&](const char* name, const QString& text) {
        auto* l = new QLabel(form_.DisplayConvert(text), row);
        l->setObjectName(QLatin1String(name) + (prefix.isEmpty() ? QString() : QLatin1Char('_') + prefix));
        return l;
    };
    auto* grid = new QHBoxLayout(row);
    grid->setContentsMargins(0, 0, 0, 0);
    rc.tie = new QCheckBox(form_.DisplayConvert(caption), row);
    rc.tie->setObjectName(tieName);
    grid->addWidget(rc.tie);
    grid->addWidget(label("lblRunDay", QStringLiteral("=预定运行日")));
    const auto spin = [&](const QString& name, int limit, int chars) {
        auto* s = new TQvSpinEdit(row);
        s->setObjectName(name);
        s->SetMinValue(-limit);
        s->SetMaxValue(limit);
        s->SetValue(0);
        s->setMaximumWidth(s->fontMetrics().horizontalAdvance(QString(chars + 2, QLatin1Char('0'))) + 24);
        s->installEventFilter(this);
        connect(s, &QSpinBox::valueChanged, this, [this] { writeBack(); });
        return s;
    };
    const auto combo = [&](const QString& name, const QStringList& items) {
        auto* c = new QComboBox(row);
        c->setObjectName(name);
        for (const QString& i : items)
            c->addItem(form_.DisplayConvert(i));
        c->setCurrentIndex(0);
        connect(c, &QComboBox::currentIndexChanged, this, [this] { writeBack(); });
        return c;
    };
    rc.count = spin(countName, 99, 3);
    rc.unit = combo(unitName, {QStringLiteral("周"), QStringLiteral("月")});
    rc.adjust = combo(adjustName, {QStringLiteral("加/减"), QStringLiteral("第一天"), QStringLiteral("最后一天")});
    rc.days = spin(daysName, 999, 4);
    grid->addWidget(rc.count);
    grid->addWidget(rc.unit);
    grid->addWidget(rc.adjust);
    grid->addWidget(rc.days);
    grid->addWidget(label("lblDays", QStringLiteral("天")));
    connect(rc.tie, &QCheckBox::toggled, this, [this] { writeBack(); });
    return row;
}

QString TfrmGeneCondition::captionOf(QWidget* control, const Variant& texts) const
{
    const QString name = control->objectName();
    if (texts.isArray())
        for (int i = texts.lowBound(); i <= texts.highBound(); ++i) {
            const Variant& t = texts[i];
            if (t.isArray() && t.count() >= 2 && VarToQStr(t[t.lowBound() + 1]).compare(name, Qt::CaseInsensitive) == 0 &&
                !VarToQStr(t[t.lowBound()]).isEmpty())
                return VarToQStr(t[t.lowBound()]);
        }
    if (HasProperty(control, QStringLiteral("Caption"))) {
        const QString own = GetStringProperty(control, QStringLiteral("Caption"));
        if (!own.isEmpty())
            return own;
    }
    for (TDBLabel* label : form_.findChildren<TDBLabel*>())
        if (label->FocusControl() == control && !label->Caption().isEmpty())
            return label->Caption();
    return name;
}

void TfrmGeneCondition::showEntry(int index)
{
    if (index < 0 || index >= form_.DateRules.size())
        return;
    const QStringList fields = form_.DateRules[index].split(SchemeValues::kField);
    loading_ = true;
    const bool range = fields.value(0) == QLatin1String("0");
    pnSp->setVisible(range);
    pnEdit->setVisible(!range);
    if (range) {
        const bool full = fields.value(12) == QLatin1String("D");
        loadRule(begin_, fields, 2, full);
        loadRule(end_, fields, 7, full);
    } else {
        loadRule(single_, fields, 2, fields.value(7) == QLatin1String("D"));
    }
    loading_ = false;
}

void TfrmGeneCondition::loadRule(const RuleControls& rc, const QStringList& f, int first, bool fullDate)
{
    rc.tie->setChecked(f.value(first) == QLatin1String("Y"));
    rc.count->SetValue(f.value(first + 1).toInt());
    rc.unit->setCurrentIndex(std::clamp(f.value(first + 2).toInt(), 0, 1));
    rc.adjust->setCurrentIndex(std::clamp(f.value(first + 3).toInt(), 0, 2));
    rc.days->SetValue(f.value(first + 4).toInt());
    enableRule(rc, fullDate, first == 7);
}

void TfrmGeneCondition::enableRule(const RuleControls& rc, bool fullDate, bool endOfRange)
{
    const bool on = rc.tie->isChecked();
    rc.count->setEnabled(on);
    rc.unit->setEnabled(on && fullDate);
    rc.adjust->setEnabled(on && fullDate);
    rc.days->setEnabled(on && fullDate && rc.adjust->currentIndex() == 0);
    // A condition of months moves by months only.
    if (!fullDate && endOfRange)
        rc.unit->setCurrentIndex(1);
}

void TfrmGeneCondition::writeBack()
{
    if (loading_)
        return;
    const int index = cbodatecondition->currentIndex();
    if (index < 0 || index >= form_.DateRules.size())
        return;
    QStringList f = form_.DateRules[index].split(SchemeValues::kField);
    const auto put = [&](const RuleControls& rc, int first) {
        f[first] = rc.tie->isChecked() ? QStringLiteral("Y") : QStringLiteral("N");
        f[first + 1] = QString::number(rc.count->Value());
        f[first + 2] = QString::number(rc.unit->currentIndex());
        f[first + 3] = QString::number(rc.adjust->currentIndex());
        f[first + 4] = QString::number(rc.days->Value());
    };
    loading_ = true;
    if (f.value(0) == QLatin1String("0") && f.size() >= 13) {
        const bool full = f[12] == QLatin1String("D");
        enableRule(begin_, full, false);
        enableRule(end_, full, true);
        put(begin_, 2);
        put(end_, 7);
    } else if (f.size() >= 8) {
        enableRule(single_, f[7] == QLatin1String("D"), false);
        put(single_, 2);
    }
    loading_ = false;
    form_.DateRules[index] = fieldsJoined(f);
}

void TfrmGeneCondition::TextsApplied()
{
    MakeRoomForCaptions(this);
}

bool TfrmGeneCondition::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut)
        if (auto* spin = qobject_cast<TQvSpinEdit*>(watched))
            leaveSpin(spin);
    return TQVForm::eventFilter(watched, event);
}

void TfrmGeneCondition::leaveSpin(TQvSpinEdit* spin)
{
    if (spin == seSetDay2)
        return;
    bool ok = false;
    const int v = spin->Text().trimmed().toInt(&ok);
    if (!ok || v == 0)
        spin->SetValue(0);
}

void TfrmGeneCondition::btnOkClick()
{
    const QString name = edConName->text().trimmed();
    if (name.isEmpty()) {
        form_.ShowMessageDialog(form_.GetText(QStringLiteral("TfrmGeneCondition"), QStringLiteral("sEmptyProjName"),
                                              QStringLiteral("方案名不可空白!")),
                                mtError, {mbOK});
        edConName->setFocus();
        return;
    }
    const int codePage = IsSupportedCodePage(form_.DBCodePage().toInt()) ? form_.DBCodePage().toInt() : 936;
    if (Utf8ToCodePage(name.toStdString(), codePage).size() > 20) {
        form_.ShowMessageDialog(form_.GetText(QStringLiteral("sProjNameError"), QStringLiteral("方案名长度不可大于20!")),
                                mtError, {mbOK});
        edConName->setFocus();
        return;
    }
    Variant found;
    const bool exists = form_.ValidateValue(QStringLiteral("GENES"), QStringLiteral("01"), false, found,
                                            Variant::list({QStrToVar(edConName->text()), QStrToVar(form_.UserCode),
                                                           QStrToVar(form_.ProgramCode)}));
    replace_ = false;
    if (exists) {
        if (form_.ShowMessageDialog(form_.GetText(QStringLiteral("TfrmGeneCondition"), QStringLiteral("sReplaceProj"),
                                                  QStringLiteral("此方案名已存在！是否将原来的方案替换为此方案?")),
                                    mtConfirmation, {mbOK, mbCancel}) != mrOk) {
            edConName->setFocus();
            return;
        }
        replace_ = true;
    }
    name_ = name;
    SetModalResult(mrOk);
}

void TfrmGeneCondition::btnCancelClick()
{
    name_.clear();
    SetModalResult(mrCancel);
}

Variant TfrmGeneCondition::Result() const
{
    if (ModalResult() != mrOk || name_.isEmpty())
        return Variant::list({"", "", ""});
    return Variant::list({QStrToVar(name_), QStrToVar(dateFields_), Variant(replace_)});
}
