#include "jobform/BaseGeneU.h"

#include <QFileInfo>

namespace {

// Year digits of a date edit: four for codes 1-3, two for 4, three for 5.
int yearWidth(int code)
{
    switch (DateInput::normalisedCode(code)) {
    case 4: return 2;
    case 5: return 3;
    default: return 4;
    }
}

bool dayFirstOrder(int code)
{
    const int c = DateInput::normalisedCode(code);
    return c == 2 || c == 3;
}

// A part of a date text read as a whole number; -1 when it is none.
int partValue(const QString& part)
{
    bool ok = false;
    const int value = part.trimmed().toInt(&ok);
    return ok ? value : -1;
}

QString compactDate(int year, int month, int day)
{
    return QString::asprintf("%d%.2d%.2d", year, month, day);
}

} // namespace

namespace DateInput {

int normalisedCode(int code)
{
    return code >= 1 && code <= 5 ? code : 1;
}

QString dateMask(int code, const QString& s)
{
    const QString year(yearWidth(code), QLatin1Char('9'));
    if (dayFirstOrder(code))
        return QStringLiteral("99") + s + QStringLiteral("99") + s + year + QStringLiteral(";1; ");
    return year + s + QStringLiteral("99") + s + QStringLiteral("99;1; ");
}

QString monthMask(int code, const QString& s)
{
    const QString year(yearWidth(code), QLatin1Char('9'));
    if (dayFirstOrder(code))
        return QStringLiteral("99") + s + year + QStringLiteral(";1; ");
    return year + s + QStringLiteral("99;1; ");
}

QString blankDate(int code, const QString& s)
{
    const QString year(yearWidth(code), QLatin1Char(' '));
    const QString two(2, QLatin1Char(' '));
    if (dayFirstOrder(code))
        return two + s + two + s + year;
    return year + s + two + s + two;
}

QString blankMonth(int code, const QString& s)
{
    const QString year(yearWidth(code), QLatin1Char(' '));
    const QString two(2, QLatin1Char(' '));
    if (dayFirstOrder(code))
        return two + s + year;
    return year + s + two;
}

QString dateTextToCompact(const QString& text, int code, const QString& s)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed == blankDate(code, s).trimmed())
        return QString();
    if (s.isEmpty())
        return text;
    // First and second part end at a separator; the third is the rest.
    const qsizetype first = trimmed.indexOf(s);
    const qsizetype second = first < 0 ? -1 : trimmed.indexOf(s, first + s.size());
    if (second < 0)
        return text;
    const int a = partValue(trimmed.left(first));
    const int b = partValue(trimmed.mid(first + s.size(), second - first - s.size()));
    const int c = partValue(trimmed.mid(second + s.size()));
    if (a == -1 || b == -1 || c == -1)
        return text;
    switch (normalisedCode(code)) {
    case 2: return compactDate(c, a, b);
    case 3: return compactDate(c, b, a);
    case 4:
    case 5: return compactDate(a + 1911, b, c);
    default: return compactDate(a, b, c);
    }
}

QString monthTextToCompact(const QString& text, int code, const QString& s)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed == blankMonth(code, s).trimmed())
        return QString();
    const qsizetype cut = s.isEmpty() ? -1 : trimmed.indexOf(s);
    const int a = partValue(cut < 0 ? trimmed : trimmed.left(cut));
    const int b = cut < 0 ? -1 : partValue(trimmed.mid(cut + s.size()));
    if (a == 0 || b == 0)
        return text;
    switch (normalisedCode(code)) {
    case 2:
    case 3: return QString::asprintf("%d%.2d", b, a);
    case 4:
    case 5: return QString::asprintf("%d%.2d", a + 1911, b);
    default: return QString::asprintf("%d%.2d", a, b);
    }
}

} // namespace DateInput

TMessageCode parseMessageCode(const QString& code)
{
    TMessageCode result;
    const qsizetype typeEnd = code.indexOf(QLatin1Char(';'));
    result.type = typeEnd < 0 ? code : code.left(typeEnd);
    QString rest = typeEnd < 0 ? QString() : code.mid(typeEnd + 1);
    const qsizetype numberEnd = rest.indexOf(QLatin1Char(';'));
    result.number = numberEnd < 0 ? rest : rest.left(numberEnd);
    rest = numberEnd < 0 ? QString() : rest.mid(numberEnd + 1);

    bool ok = false;
    const int number = result.number.trimmed().toInt(&ok);
    result.show = ok && number > 0;
    if (!result.show)
        result.number.remove(0, 1);

    // Parameters: one slot at least; a trailing ";" closes the last one.
    QStringList params = rest.split(QLatin1Char(';'));
    if (params.size() > 1 && params.last().isEmpty())
        params.removeLast();
    if (params.size() > int(result.params.size())) {
        const QStringList surplus = params.mid(qsizetype(result.params.size()) - 1);
        params = params.mid(0, qsizetype(result.params.size()) - 1);
        params.append(surplus.join(QLatin1Char(';')));
    }
    for (qsizetype i = 0; i < params.size(); ++i)
        result.params[std::size_t(i)] = Variant(params[i].toStdString());
    return result;
}

QString helpTopicOf(const QString& programCode)
{
    const QString code = programCode.toUpper();
    qsizetype pos = 3; // letter 4
    if (pos >= code.size())
        return QString();
    QString topic;
    switch (code[pos].unicode()) {
    case 'A': topic = QStringLiteral("6"); ++pos; break;
    case 'M': topic = QStringLiteral("8"); ++pos; break;
    default: topic = QStringLiteral("1"); break;
    }
    if (pos >= code.size())
        return QString();
    if (code[pos] == QLatin1Char('B'))
        topic += QLatin1Char('3');
    else if (code[pos] == QLatin1Char('R'))
        topic += QLatin1Char('2');
    else
        return QString();
    return topic + programCode.right(2) + QStringLiteral("0000");
}

int optionCountAfter(int n, int optionBase, int currentCount)
{
    return optionBase >= currentCount ? n + optionBase : n;
}

namespace {
// The file name without its folder; "\\" separates folders too, as in the suite's own paths.
QString fileNameOf(const QString& path)
{
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}
} // namespace

bool isLibraryFile(const QString& moduleFileName)
{
    const QString suffix = QFileInfo(fileNameOf(moduleFileName)).suffix();
    return suffix.compare(QLatin1String("dll"), Qt::CaseInsensitive) == 0
        || suffix.compare(QLatin1String("so"), Qt::CaseInsensitive) == 0;
}

QString programCodeFromModule(const QString& moduleFileName)
{
    const QString name = QFileInfo(fileNameOf(moduleFileName)).completeBaseName();
    const qsizetype drop = isLibraryFile(moduleFileName) ? 1 : 2;
    const qsizetype keep = std::max<qsizetype>(std::min<qsizetype>(6, name.size()), name.size() - drop);
    return name.left(keep).toUpper();
}

bool TRequiredItem::checked() const
{
    if (flag.compare(QLatin1String("N"), Qt::CaseInsensitive) == 0)
        return false;
    bool number = false;
    flag.trimmed().toInt(&number);
    return !number;
}

QList<TRequiredItem> parseRequiredFields(const QString& list)
{
    QList<TRequiredItem> items;
    for (const QString& raw : list.split(QLatin1Char(','))) {
        const QStringList fields = raw.split(QLatin1Char(';'));
        TRequiredItem item;
        item.name = fields.value(0).trimmed();
        if (item.name.isEmpty())
            continue;
        item.flag = fields.value(1).trimmed();
        bool ok = false;
        const int part = fields.value(2).trimmed().toInt(&ok);
        item.part = ok && part >= 1 && part <= 3 ? part : 0;
        items.append(item);
    }
    return items;
}

bool nameListed(const QString& list, const QString& name)
{
    return !name.isEmpty() && list.contains(name, Qt::CaseInsensitive);
}

QStringList namesOf(const QString& list)
{
    QStringList names;
    for (const QString& part : list.split(QLatin1Char(','))) {
        const QString name = part.trimmed();
        if (!name.isEmpty())
            names.append(name);
    }
    return names;
}
