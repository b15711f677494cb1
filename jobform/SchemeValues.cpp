#include "jobform/SchemeValues.h"

#include "config/RunTimeProps.h"
#include "controls/BtChkBox.h"
#include "controls/SelectPnl.h"
#include "jobform/BaseGene.h"
#include "jobform/BaseGeneU.h"
#include "platform/OleDate.h"
#include "support/Dates.h"
#include "support/ScheduleRules.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QMap>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTextEdit>
#include <QMetaEnum>
#include <QMetaProperty>

#include <stdexcept>

namespace SchemeValues {

namespace {

std::string u8(const QString& s)
{
    return s.toStdString();
}

// A property of a kind no scheme sets: the application ends there, and counts as done.
struct StopApplying : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Item {
    QWidget* control = nullptr;
    QString name, property;
};

// "control.property", split at the first "."; an item without either part has no control.
Item itemOf(TfrmBaseGene& form, const QString& text)
{
    Item item;
    const int dot = text.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return item;
    item.name = text.left(dot).trimmed();
    item.property = text.mid(dot + 1).trimmed();
    if (item.name.isEmpty() || item.property.isEmpty())
        return item;
    item.control = qobject_cast<QWidget*>(form.FindComponent(item.name));
    return item;
}

QStringList itemsOf(const QString& properties)
{
    QStringList items = properties.split(QLatin1Char(';'));
    for (QString& i : items)
        i = i.trimmed();
    // "a;b;" names two items, not three.
    if (!items.isEmpty() && items.last().isEmpty())
        items.removeLast();
    return items;
}

// The rule whose second field is the control's name.
QStringList ruleOf(const TfrmBaseGene& form, const QString& name)
{
    for (const QString& line : form.DateRules) {
        const QStringList fields = line.split(kField);
        if (fields.size() > 1 && fields[1].compare(name, Qt::CaseInsensitive) == 0)
            return fields;
    }
    return {};
}

bool isRangeRule(const QStringList& rule)
{
    return rule.value(0) == QLatin1String("0") && rule.size() >= 13;
}

bool isSingleRule(const QStringList& rule)
{
    return rule.value(0) == QLatin1String("1") && rule.size() >= 8;
}

// A rule that ties a date (or a range's begin or end) to the run date.
bool isTied(const QStringList& rule)
{
    return (isSingleRule(rule) && rule[2] == QLatin1String("Y"))
           || (isRangeRule(rule) && (rule[2] == QLatin1String("Y") || rule[7] == QLatin1String("Y")));
}

// The tied date of the rule whose tie field is first, as a run today rolls it (a year and
// month for a rule of that granularity). An empty saved date stays empty, as a rule leaves
// it; saved is kept when the rule cannot be read.
QString rolledToToday(const QStringList& rule, int first, const QString& saved)
{
    if (saved.isEmpty())
        return saved;
    const QString granularity = isRangeRule(rule) ? rule[12] : rule[7];
    std::string base = dateToCompact(Today());
    if (granularity == QLatin1String("M"))
        base = base.substr(0, 6);
    const QString n = rule[first + 1], unit = rule[first + 2], mode = rule[first + 3], days = rule[first + 4];
    if (n == QLatin1String("0") && mode == QLatin1String("0") && days == QLatin1String("0"))
        return QString::fromStdString(base);
    const std::string moved = RelativeDate(base, u8(n), u8(unit), u8(days), u8(mode));
    return moved.empty() ? saved : QString::fromStdString(moved);
}

// The saved line of a control whose dates are tied to the run date, with those dates
// rolled to today: a scheme saved as "the last day of the previous month" opens with the
// previous month of the day it is opened.
QString rolledLine(QWidget* control, const QString& line, const QStringList& rule)
{
    if (!qobject_cast<TSelectPanel*>(control)) {
        if (!isSingleRule(rule) || rule[2] != QLatin1String("Y"))
            return line;
        return rolledToToday(rule, 2, line);
    }
    QStringList f = line.split(kField);
    int at = 0;
    if (f.value(0) == QLatin1String("sp_Range") && f.size() >= 3)
        at = 1;
    else if (f.value(0) == QLatin1String("sp_UserChoice") && f.value(1) == QLatin1String("True") && f.size() >= 4)
        at = 2;
    if (!at || !isRangeRule(rule))
        return line;
    if (rule[2] == QLatin1String("Y"))
        f[at] = rolledToToday(rule, 2, f[at]);
    if (rule[7] == QLatin1String("Y"))
        f[at + 1] = rolledToToday(rule, 7, f[at + 1]);
    return f.join(kField);
}

QString shownDate(TfrmBaseGene& form, const QString& compact)
{
    if (compact.isEmpty() || !IsValidCompactDate(u8(compact)))
        return compact;
    return QString::fromStdString(
        DateToDisplayText(form.GetDateFormat(), u8(form.GetDateSeparator()), CompactToDate(u8(compact))));
}

QString shownMonth(TfrmBaseGene& form, const QString& compact)
{
    const QString day = compact + QStringLiteral("01");
    if (compact.isEmpty() || !IsValidCompactDate(u8(day)))
        return compact;
    return QString::fromStdString(
        MonthToDisplayText(form.GetDateFormat(), u8(form.GetDateSeparator()), CompactToDate(u8(day))));
}

QString rangeLine(TfrmBaseGene& form, TSelectPanel* panel, const QStringList& rule)
{
    QString begin = panel->edBegin->Text(), end = panel->edFinal->Text();
    if (!rule.isEmpty()) {
        begin = ApplyDateRule(form.DateTextToCompact(begin), rule, 2);
        end = ApplyDateRule(form.DateTextToCompact(end), rule, 7);
    }
    return begin + kField + end;
}

QString panelLine(TfrmBaseGene& form, TSelectPanel* panel)
{
    QStringList rule;
    if (nameListed(form.DateFields, panel->objectName())) {
        // A date panel the dialog gave no rule keeps nothing, and opening leaves it alone.
        rule = ruleOf(form, panel->objectName());
        if (rule.isEmpty())
            return {};
    }
    switch (panel->Style()) {
    case TSelectPanel::sp_Range:
        return QStringLiteral("sp_Range") + kField + rangeLine(form, panel, rule);
    case TSelectPanel::sp_Discrete:
        return QStringLiteral("sp_Discrete") + kField + EncodeList(panel);
    case TSelectPanel::sp_UserChoice:
        if (panel->UserChoice())
            return QStringLiteral("sp_UserChoice") + kField + QStringLiteral("True") + kField +
                   rangeLine(form, panel, rule);
        return QStringLiteral("sp_UserChoice") + kField + QStringLiteral("False") + kField + EncodeList(panel);
    }
    return {};
}

QString controlLine(TfrmBaseGene& form, const Item& item)
{
    if (auto* panel = qobject_cast<TSelectPanel*>(item.control))
        return panelLine(form, panel);
    if (!HasProperty(item.control, item.property)) {
        if (auto* combo = qobject_cast<QComboBox*>(item.control))
            return QString::number(combo->currentIndex());
        return {};
    }
    const QMetaProperty meta = FindProperty(item.control, item.property);
    const QVariant value = GetPropertyValue(item.control, item.property);
    if (meta.isValid() && meta.isEnumType()) {
        const char* key = meta.enumerator().valueToKey(value.toInt());
        return key ? QString::fromLatin1(key) : QString::number(value.toInt());
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Char:
    case QMetaType::QChar:
        return QString::number(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(value.toDouble(), 'g', 17);
    default:
        break;
    }
    const QString text = value.toString();
    if (nameListed(form.DateFields, item.name)) {
        const QStringList rule = ruleOf(form, item.name);
        return rule.isEmpty() ? QString() : ApplyDateRule(form.DateTextToCompact(text), rule, 2);
    }
    if (nameListed(form.MonthFields, item.name))
        return form.MonthTextToCompact(text);
    return text;
}

void setMask(QWidget* control, const QString& mask)
{
    if (HasProperty(control, QStringLiteral("EditMask")))
        SetStringProperty(control, QStringLiteral("EditMask"), mask);
}

void applyRange(TfrmBaseGene& form, TSelectPanel* panel, const QStringList& f, int at)
{
    QString begin = f.value(at), end = f.value(at + 1);
    if (nameListed(form.DateFields, panel->objectName())) {
        panel->SetEditMask(form.DateMask());
        begin = shownDate(form, begin);
        end = shownDate(form, end);
    }
    panel->edBegin->SetText(begin);
    panel->edFinal->SetText(end);
}

// False when the line's kind is none the panel knows: the item is skipped.
bool applyPanel(TfrmBaseGene& form, TSelectPanel* panel, const QString& line)
{
    const QStringList f = line.split(kField);
    const QString kind = f.value(0);
    if (kind == QLatin1String("sp_Range")) {
        applyRange(form, panel, f, 1);
    } else if (kind == QLatin1String("sp_Discrete")) {
        DecodeList(panel, f.value(1));
    } else if (kind == QLatin1String("sp_UserChoice")) {
        const bool range = f.value(1) == QLatin1String("True");
        if (!range && f.value(1) != QLatin1String("False"))
            throw std::runtime_error("parse spSaveValue error");
        panel->SetUserChoice(range);
        if (range)
            applyRange(form, panel, f, 2);
        else
            DecodeList(panel, f.value(2));
    } else {
        return false;
    }
    return true;
}

// Throws with what could not be set.
void applyProperty(TfrmBaseGene& form, const Item& item, const QString& line)
{
    const QMetaProperty meta = FindProperty(item.control, item.property);
    const QVariant current = GetPropertyValue(item.control, item.property);
    const QString where = item.name + QLatin1Char('.') + item.property;
    const auto fail = [&](const char* why) {
        throw std::runtime_error(u8(where + QStringLiteral(": ") + QString::fromLatin1(why) + QStringLiteral(" \"") +
                                    line + QLatin1Char('"')));
    };
    QVariant value;
    if (meta.isValid() && meta.isEnumType()) {
        bool ok = false;
        const int v = meta.enumerator().keyToValue(u8(line).c_str(), &ok);
        if (!ok)
            fail("no value of that name");
        value = v;
    } else {
        bool ok = true;
        switch (current.typeId()) {
        case QMetaType::Bool:
            if (line.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
                value = true;
            else if (line.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
                value = false;
            else
                fail("not True or False");
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Char:
        case QMetaType::QChar:
            value = line.toLongLong(&ok);
            if (!ok)
                fail("not an integer");
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            value = line.toDouble(&ok);
            if (!ok)
                fail("not a number");
            break;
        case QMetaType::QString:
            if (nameListed(form.DateFields, item.name)) {
                setMask(item.control, form.DateMask());
                value = shownDate(form, line);
            } else if (nameListed(form.MonthFields, item.name)) {
                setMask(item.control, form.MonthMask());
                value = shownMonth(form, line);
            } else {
                value = line;
            }
            break;
        default:
            throw StopApplying(u8(where + QStringLiteral(" is of a kind no scheme sets; the rest was not applied")));
        }
    }
    if (!SetPropertyValue(item.control, item.property, value))
        fail("does not take");
}

} // namespace

QString PropertiesOf(const QWidget* container)
{
    QString out;
    for (QWidget* w : container->findChildren<QWidget*>()) {
        const QString name = w->objectName();
        if (name.isEmpty() || qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTextEdit*>(w))
            continue;
        bool inner = false;
        for (QWidget* up = w->parentWidget(); up && up != container; up = up->parentWidget())
            if (qobject_cast<TSelectPanel*>(up) || qobject_cast<QComboBox*>(up) || qobject_cast<QAbstractSpinBox*>(up))
                inner = true;
        if (inner)
            continue;
        QString suffix;
        if (qobject_cast<TSelectPanel*>(w))
            suffix = QStringLiteral(".style");
        else if (qobject_cast<QComboBox*>(w) || w->inherits("TQvRadioGroup"))
            suffix = QStringLiteral(".itemindex");
        // Check boxes and radio buttons; a push or look-up button holds no condition.
        else if (qobject_cast<TBitCheckBox*>(w) || qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w))
            suffix = QStringLiteral(".checked");
        else if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w))
            suffix = QStringLiteral(".text");
        if (!suffix.isEmpty())
            out += name + suffix + QLatin1Char(';');
    }
    return out;
}

QString EncodeList(const TSelectPanel* panel)
{
    QString out;
    for (const QStringList& row : panel->ListBox->Rows()) {
        out += row.value(0);
        for (int i = 1; i < row.size(); ++i)
            out += kSubItem + row[i];
        out += kItemEnd;
    }
    return out;
}

void DecodeList(TSelectPanel* panel, const QString& text)
{
    if (!text.isEmpty() && !text.endsWith(kItemEnd))
        throw std::runtime_error("parse spSaveValue error");
    QStringList items = text.split(kItemEnd);
    items.removeLast();
    panel->ListBox->ClearItems();
    for (const QString& item : items)
        panel->ListBox->AddValues(item.split(kSubItem));
}

QString ApplyDateRule(const QString& compact, const QStringList& rule, int first)
{
    if (compact.isEmpty() || rule.size() < first + 5 || rule[first] != QLatin1String("Y"))
        return compact;
    const QString n = rule[first + 1], unit = rule[first + 2], mode = rule[first + 3], days = rule[first + 4];
    if (n == QLatin1String("0") && mode == QLatin1String("0") && days == QLatin1String("0"))
        return compact;
    // A year and month moves by months only; the rule functions know.
    const std::string moved = RelativeDate(u8(compact), u8(n), u8(unit), u8(days), u8(mode));
    return moved.empty() ? compact : QString::fromStdString(moved);
}

QString Build(TfrmBaseGene& form, const QString& properties)
{
    const QString end = QStringLiteral("\r\n");
    QString out;
    QStringList tied;
    for (const QString& text : itemsOf(properties)) {
        const Item item = itemOf(form, text);
        out += (item.control ? controlLine(form, item) : QString()) + end;
        if (item.control && nameListed(form.DateFields, item.name)) {
            const QStringList rule = ruleOf(form, item.name);
            if (isTied(rule))
                tied << rule.join(kField);
        }
    }
    // The rules of tied dates follow the lines; a reader that knows only the lines
    // takes the dates as they were moved on saving.
    for (const QString& rule : tied)
        out += rule + end;
    return out;
}

bool Apply(TfrmBaseGene& form, const QString& properties, const QString& values, QString* failure)
{
    const QStringList items = itemsOf(properties);
    QStringList lines = values.split(QStringLiteral("\r\n"));
    // A values text ends with CR LF: the piece after the last one is no line.
    if (values.endsWith(QStringLiteral("\r\n")))
        lines.removeLast();
    QMap<QString, QStringList> rules;
    for (qsizetype i = items.size(); i < lines.size(); ++i) {
        const QStringList rule = lines[i].split(kField);
        if (isTied(rule))
            rules.insert(rule[1].toLower(), rule);
    }
    try {
        for (qsizetype i = 0; i < items.size() && i < lines.size(); ++i) {
            const Item item = itemOf(form, items[i]);
            if (!item.control)
                continue;
            const auto rule = rules.constFind(item.name.toLower());
            const QString line = rule == rules.cend() ? lines[i] : rolledLine(item.control, lines[i], *rule);
            form.BeforeApplyValue(item.control, line);
            if (auto* panel = qobject_cast<TSelectPanel*>(item.control)) {
                if (!applyPanel(form, panel, line))
                    continue;
            } else if (HasProperty(item.control, item.property)) {
                applyProperty(form, item, line);
            } else if (auto* combo = qobject_cast<QComboBox*>(item.control)) {
                bool ok = false;
                const int index = line.toInt(&ok);
                if (!ok || index < -1 || index >= combo->count())
                    throw std::runtime_error(u8(item.name + QStringLiteral(": no item ") + line));
                combo->setCurrentIndex(index);
            }
            form.AfterApplyValue(item.control, line);
        }
        return true;
    } catch (const StopApplying& e) {
        if (failure)
            *failure = QString::fromStdString(e.what());
        return true;
    } catch (const std::exception& e) {
        if (failure)
            *failure = QString::fromStdString(e.what());
        return false;
    }
}

} // namespace SchemeValues
