#include "host/RunFile.h"

#include "host/FileCheck.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cmath>
#include <limits>

namespace {

// The packet's markers of a range and of a list value.
constexpr char kRange[] = "\x04";
constexpr char kList[] = "\x05";

bool toVariant(const QJsonValue& json, Variant& out, QString& problem);

bool scalar(const QJsonValue& json, Variant& out, QString& problem)
{
    switch (json.type()) {
    case QJsonValue::Null:
        out = Variant::null();
        return true;
    case QJsonValue::Bool:
        out = Variant(json.toBool());
        return true;
    case QJsonValue::String:
        out = Variant(json.toString().toStdString());
        return true;
    case QJsonValue::Double: {
        const double d = json.toDouble();
        // JSON numbers are doubles: only whole ones are taken, so that an amount is never
        // handed over as a binary fraction (write it as text).
        if (std::floor(d) != d || std::fabs(d) > double(std::numeric_limits<std::int32_t>::max())) {
            problem = QStringLiteral("%1 is not a whole number (write amounts and long numbers as text)")
                          .arg(QString::number(d, 'g', 15));
            return false;
        }
        out = Variant(std::int32_t(d));
        return true;
    }
    default:
        problem = QStringLiteral("a value is neither text, number, true/false nor null");
        return false;
    }
}

bool listOf(const QJsonArray& items, const char* marker, Variant& out, QString& problem)
{
    std::vector<Variant> values;
    if (marker)
        values.emplace_back(std::string(marker));
    for (const QJsonValue& item : items) {
        Variant v;
        if (!toVariant(item, v, problem))
            return false;
        values.push_back(std::move(v));
    }
    out = Variant::list(std::move(values));
    return true;
}

bool toVariant(const QJsonValue& json, Variant& out, QString& problem)
{
    if (json.isArray())
        return listOf(json.toArray(), nullptr, out, problem);
    if (!json.isObject())
        return scalar(json, out, problem);
    const QJsonObject object = json.toObject();
    if (object.size() == 1 && object.contains(QStringLiteral("list"))) {
        if (!object.value(QStringLiteral("list")).isArray()) {
            problem = QStringLiteral("\"list\" takes an array");
            return false;
        }
        return listOf(object.value(QStringLiteral("list")).toArray(), kList, out, problem);
    }
    const QJsonValue from = object.value(QStringLiteral("from")), to = object.value(QStringLiteral("to"));
    if (object.isEmpty() || object.size() != int(!from.isUndefined()) + int(!to.isUndefined())) {
        problem = QStringLiteral("an object value takes {\"from\": ..., \"to\": ...} or {\"list\": [...]}");
        return false;
    }
    Variant low, high;
    if (!scalar(from.isUndefined() ? QJsonValue(QString()) : from, low, problem)
        || !scalar(to.isUndefined() ? QJsonValue(QString()) : to, high, problem))
        return false;
    out = Variant::list({std::string(kRange), low, high});
    return true;
}

// The first name the object at the top of a JSON text gives twice; QJsonObject keeps only
// the last of them, so the text itself is read. The text is known to be a JSON object.
QString repeatedName(const QByteArray& text)
{
    QSet<QString> names;
    int depth = 0;
    bool expectName = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '{' || c == '[') {
            ++depth;
            expectName = depth == 1 && c == '{';
        } else if (c == '}' || c == ']') {
            --depth;
        } else if (c == ',') {
            expectName = depth == 1;
        } else if (c == '"') {
            const qsizetype start = i;
            for (++i; i < text.size() && text[i] != '"'; ++i)
                if (text[i] == '\\')
                    ++i;
            if (!expectName)
                continue;
            expectName = false;
            // The name as JSON reads it, escapes and all.
            const QJsonArray decoded = QJsonDocument::fromJson("[" + text.mid(start, i - start + 1) + "]").array();
            const QString name = decoded.isEmpty() ? QString() : decoded.first().toString();
            if (names.contains(name))
                return name;
            names.insert(name);
        }
    }
    return QString();
}

} // namespace

RunFile ParseRunFile(const QByteArray& text, const QString& source)
{
    RunFile file;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        file.problem = QStringLiteral("%1: not JSON at byte %2: %3").arg(source).arg(error.offset).arg(error.errorString());
        return file;
    }
    if (!doc.isObject()) {
        file.problem = QStringLiteral("%1: the parameters are not a JSON object").arg(source);
        return file;
    }
    if (const QString name = repeatedName(text); !name.isNull()) {
        file.problem = QStringLiteral("%1: \"%2\" is given more than once").arg(source, name);
        return file;
    }
    const QJsonObject object = doc.object();
    const QJsonValue command = object.value(QStringLiteral("command"));
    const double c = command.toDouble(-1);
    if (!command.isDouble() || (c != 0 && c != 1 && c != 5)) {
        file.problem = QStringLiteral("%1: \"command\" is missing or not one of 0 (set the values only), 1 (put the job "
                                      "into the queue), 5 (run it at once)")
                           .arg(source);
        return file;
    }
    std::vector<Variant> texts, values;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() == QLatin1String("command"))
            continue;
        Variant value;
        QString problem;
        if (!toVariant(it.value(), value, problem)) {
            file.problem = QStringLiteral("%1: \"%2\": %3").arg(source, it.key(), problem);
            return file;
        }
        const std::string name = it.key().toStdString();
        texts.push_back(Variant::list({name, name}));
        values.push_back(std::move(value));
    }
    file.packet = Variant::list(
        {std::int32_t(c), Variant::list({true, Variant::list({Variant::list(std::move(texts)), Variant::list(std::move(values))})})});
    return file;
}

RunFile ReadRunFile(const QString& path)
{
    const FileStatus status = CheckFile(path.toStdString());
    if (status.state != FileState::Readable) {
        RunFile file;
        file.readable = false;
        file.problem = QStringLiteral("%1 %2").arg(path, status.state == FileState::Missing
                                                              ? QStringLiteral("does not exist")
                                                              : QString::fromStdString(status.reason));
        return file;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        RunFile file;
        file.readable = false;
        file.problem = QStringLiteral("%1 cannot be read: %2").arg(path, f.errorString());
        return file;
    }
    return ParseRunFile(f.readAll(), path);
}
