#include "batch/BaseOptU.h"

#include "config/QtVariant.h"
#include "support/MessageText.h"

QString JoinRequiredGroups(const QStringList& groups)
{
    QString joined;
    for (const QString& group : groups)
        if (!group.isEmpty())
            joined += group + QLatin1Char(',');
    return joined;
}

QString NonZeroOr(const QString& text, const QString& fallback)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok && value != 0 ? text : fallback;
}

QString MonthDayCheck(const QString& text)
{
    const QString checked = NonZeroOr(text, QStringLiteral("1"));
    return checked.trimmed().toInt() >= 32 ? QStringLiteral("31") : checked;
}

QString EveryHourCheck(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok && value != 0 ? text : QStringLiteral("1");
}

bool EveryHourKeyAccepted(QChar key, const QString& text)
{
    if (key.isDigit() || key == QChar(8))
        return true;
    return key == QLatin1Char('.') && !text.isEmpty() && !text.contains(QLatin1Char('.'));
}

namespace {
QStringList ruleParts(const DateRule& r)
{
    return {r.moves ? QStringLiteral("Y") : QStringLiteral("N"), QString::number(r.count), QString::number(r.unit),
            QString::number(r.mode), QString::number(r.days)};
}
int intField(const QStringList& fields, int n)
{
    return n >= 1 && n <= fields.size() ? fields[n - 1].trimmed().toInt() : 0;
}
} // namespace

QString SingleRuleLine(const QString& name, const DateRule& rule, const QString& granularity)
{
    return (QStringList{QStringLiteral("1"), name} + ruleParts(rule) + QStringList{granularity})
        .join(RuleFieldSeparator);
}

QString RangeRuleLine(const QString& name, const DateRule& start, const DateRule& end, const QString& granularity)
{
    return (QStringList{QStringLiteral("0"), name} + ruleParts(start) + ruleParts(end) + QStringList{granularity})
        .join(RuleFieldSeparator);
}

QStringList RuleFields(const QString& line)
{
    return line.split(RuleFieldSeparator);
}

bool IsRangeRule(const QString& line)
{
    return RuleFields(line).value(0) == QLatin1String("0");
}

DateRule RuleAt(const QStringList& fields, int first)
{
    DateRule r;
    r.moves = fields.value(first - 1) == QLatin1String("Y");
    r.count = intField(fields, first + 1);
    r.unit = intField(fields, first + 2);
    r.mode = intField(fields, first + 3);
    r.days = intField(fields, first + 4);
    return r;
}

QString RuleGranularity(const QString& line)
{
    return RuleFields(line).value(IsRangeRule(line) ? 12 : 7);
}

QString RuleWithoutIndex(const QString& line)
{
    const QStringList fields = RuleFields(line);
    return fields.mid(0, IsRangeRule(line) ? 13 : 8).join(RuleFieldSeparator);
}

Variant MakePeriodValue(int hour, int minute, const Variant& schedule, int rangeKind, const QString& start,
                        const QString& runs, const QString& end)
{
    Variant range;
    if (rangeKind == 1)
        range = Variant::list({QStrToVar(start), 1, QStrToVar(runs.trimmed())});
    else if (rangeKind == 2)
        range = Variant::list({QStrToVar(start), 2, QStrToVar(end)});
    else
        range = Variant::list({QStrToVar(start), 0});
    return Variant::list({"Y", QStrToVar(QString::asprintf("%.2d:%.2d", hour, minute)), schedule, range});
}

QString WordServerMessages(const QString& texts, const QString& uiCodePage)
{
    return QString::fromStdString(WordMessages(texts.toStdString(), LanguageOfCodePage(uiCodePage.trimmed().toInt())));
}
