#include "config/RunTimeProps.h"

#include <QFont>
#include <QGroupBox>
#include <QMenu>
#include <QMetaEnum>
#include <QObject>
#include <QPalette>
#include <QRegularExpression>
#include <QStringList>
#include <QWidget>

namespace {

// A colour given as a colour, a colour text ("clRed", "$00FFFFAF") or a colour number.
bool colorFromValue(const QVariant& value, QColor& c)
{
    bool ok = true;
    if (value.metaType().id() == QMetaType::QColor)
        c = value.value<QColor>();
    else if (value.metaType().id() == QMetaType::QString)
        ok = ColorFromText(value.toString(), c);
    else
        c = TColorToQColor(value.toInt(&ok));
    return ok && c.isValid();
}
const char* const kSubComponent = "_q_qvSubComponent";
const char* const kSubComponentOf = "_q_qvSubComponentOf";
const char* const kFontCharset = "_q_qvFontCharset";

bool same(const QString& a, const char* b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

// --- Names every control of the system publishes --------------------------------------

enum class Std { None, Hint, Left, Top, Width, Height, Name, TabStop, Color, Caption };

Std standardName(const QObject* object, const QString& name)
{
    if (same(name, "Name"))
        return Std::Name;
    const auto* w = qobject_cast<const QWidget*>(object);
    if (!w)
        return Std::None;
    static const std::pair<const char*, Std> names[] = {
        {"Hint", Std::Hint}, {"Left", Std::Left}, {"Top", Std::Top}, {"Width", Std::Width},
        {"Height", Std::Height}, {"TabStop", Std::TabStop}, {"Color", Std::Color},
    };
    for (const auto& [n, s] : names)
        if (same(name, n))
            return s;
    // A window's caption is its title bar, a group box's the title on its frame.
    if ((w->isWindow() || qobject_cast<const QGroupBox*>(w)) && same(name, "Caption"))
        return Std::Caption;
    return Std::None;
}

QVariant readStandard(const QObject* object, Std s)
{
    const auto* w = qobject_cast<const QWidget*>(object);
    switch (s) {
    case Std::None: return {};
    case Std::Name: return object->objectName();
    case Std::Hint: return w->toolTip();
    case Std::Left: return w->x();
    case Std::Top: return w->y();
    case Std::Width: return w->width();
    case Std::Height: return w->height();
    case Std::TabStop: return bool(w->focusPolicy() & Qt::TabFocus);
    case Std::Color: return w->palette().color(w->backgroundRole());
    case Std::Caption:
        if (const auto* g = qobject_cast<const QGroupBox*>(w); g && !w->isWindow())
            return g->title();
        return w->windowTitle();
    }
    return {};
}

bool writeStandard(QObject* object, Std s, const QVariant& value)
{
    auto* w = qobject_cast<QWidget*>(object);
    bool ok = true;
    switch (s) {
    case Std::None:
        return false;
    case Std::Name:
        object->setObjectName(value.toString());
        return true;
    case Std::Hint:
        w->setToolTip(value.toString());
        return true;
    case Std::Caption:
        if (auto* g = qobject_cast<QGroupBox*>(w); g && !w->isWindow())
            g->setTitle(value.toString());
        else
            w->setWindowTitle(value.toString());
        return true;
    case Std::Color: {
        QColor c;
        if (!colorFromValue(value, c))
            return false;
        QPalette p = w->palette();
        p.setColor(w->backgroundRole(), c);
        w->setPalette(p);
        w->setAutoFillBackground(true);
        return true;
    }
    case Std::TabStop: {
        const bool on = value.metaType().id() == QMetaType::QString ? same(value.toString().trimmed(), "True")
                                                                    : value.toBool();
        Qt::FocusPolicy policy = w->focusPolicy();
        policy = on ? Qt::FocusPolicy(policy | Qt::TabFocus) : Qt::FocusPolicy(policy & ~Qt::TabFocus);
        w->setFocusPolicy(policy);
        return true;
    }
    case Std::Left:
    case Std::Top:
    case Std::Width:
    case Std::Height: {
        const int n = value.toString().trimmed().toInt(&ok);
        if (!ok)
            return false;
        QRect r = w->geometry();
        if (s == Std::Left)
            r.moveLeft(n);
        else if (s == Std::Top)
            r.moveTop(n);
        else if (s == Std::Width)
            r.setWidth(std::max(0, n));
        else
            r.setHeight(std::max(0, n));
        w->setGeometry(r);
        return true;
    }
    }
    return false;
}

// --- Conversions between texts and property types --------------------------------------

bool readBool(const QVariant& v, bool& out)
{
    if (v.metaType().id() == QMetaType::QString) {
        const QString t = v.toString().trimmed();
        if (same(t, "True") || t == QLatin1String("1")) {
            out = true;
            return true;
        }
        if (same(t, "False") || t == QLatin1String("0")) {
            out = false;
            return true;
        }
        return false;
    }
    if (!v.canConvert<bool>())
        return false;
    out = v.toBool();
    return true;
}

bool enumValue(const QMetaEnum& e, const QVariant& v, int& out)
{
    bool ok = false;
    if (v.metaType().id() == QMetaType::QString) {
        const QString text = v.toString().trimmed();
        const int number = text.toInt(&ok);
        if (ok) {
            out = number;
        } else if (e.isFlag()) {
            // Set text as the system writes it: "[fsBold,fsItalic]" or "fsBold|fsItalic".
            QString keys = text;
            if (keys.startsWith(QLatin1Char('[')) && keys.endsWith(QLatin1Char(']')))
                keys = keys.mid(1, keys.size() - 2);
            int value = 0;
            for (const QString& part : keys.split(QRegularExpression(QStringLiteral("[,|]")), Qt::SkipEmptyParts)) {
                bool found = false;
                for (int i = 0; i < e.keyCount() && !found; ++i)
                    if (same(part.trimmed(), e.key(i))) {
                        value |= e.value(i);
                        found = true;
                    }
                if (!found)
                    return false;
            }
            out = value;
            return true;
        } else {
            for (int i = 0; i < e.keyCount(); ++i)
                if (same(text, e.key(i))) {
                    out = e.value(i);
                    return true;
                }
            return false;
        }
    } else {
        out = v.toInt(&ok);
        if (!ok)
            return false;
    }
    return e.isFlag() || e.valueToKey(out) != nullptr;
}

bool isOrdinalType(int id)
{
    switch (id) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Bool:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::QChar:
    case QMetaType::QColor:
        return true;
    default:
        return false;
    }
}

// The value in the property's own type; false when it does not convert.
bool toPropertyType(const QMetaProperty& p, const QVariant& value, QVariant& out)
{
    if (p.isEnumType()) {
        int n = 0;
        if (!enumValue(p.enumerator(), value, n))
            return false;
        out = n;
        return true;
    }
    const int id = p.metaType().id();
    const bool isText = value.metaType().id() == QMetaType::QString;
    switch (id) {
    case QMetaType::QString:
        if (value.metaType().id() == QMetaType::QStringList) {
            out = value.toStringList().join(QStringLiteral("\r\n"));
            return true;
        }
        out = value.toString();
        return true;
    case QMetaType::QStringList: {
        if (isText) {
            QString t = value.toString();
            t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            QStringList lines = t.split(QLatin1Char('\n'));
            if (!lines.isEmpty() && lines.last().isEmpty())
                lines.removeLast(); // a trailing line break ends the last line, as a string list reads its text
            out = lines;
            return true;
        }
        if (!value.canConvert<QStringList>())
            return false;
        out = value.toStringList();
        return true;
    }
    case QMetaType::Bool: {
        bool b = false;
        if (!readBool(value, b))
            return false;
        out = b;
        return true;
    }
    case QMetaType::QColor: {
        QColor c;
        if (!colorFromValue(value, c))
            return false;
        out = c;
        return true;
    }
    case QMetaType::QFont:
        if (value.metaType().id() == QMetaType::QFont) {
            out = value;
            return true;
        }
        return false;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float: {
        QVariant v = isText ? QVariant(value.toString().trimmed()) : value;
        if (!v.convert(p.metaType()))
            return false;
        out = v;
        return true;
    }
    default:
        break;
    }
    if (p.metaType().flags() & QMetaType::PointerToQObject) {
        if (isText)
            return false;
        QObject* o = value.isValid() ? value.value<QObject*>() : nullptr;
        if (o && !o->metaObject()->inherits(p.metaType().metaObject()))
            return false;
        out = QVariant(p.metaType(), &o);
        return true;
    }
    QVariant v = value;
    if (!v.convert(p.metaType()))
        return false;
    out = v;
    return true;
}

QString toText(const QMetaProperty& p, const QVariant& v)
{
    if (p.isValid() && p.isEnumType()) {
        const QMetaEnum e = p.enumerator();
        const int n = v.toInt();
        return e.isFlag() ? QString::fromLatin1(e.valueToKeys(n)) : QString::fromLatin1(e.valueToKey(n));
    }
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QColor:
        return ColorToText(v.value<QColor>());
    case QMetaType::QStringList:
        return v.toStringList().join(QStringLiteral("\r\n"));
    case QMetaType::QFont:
        return v.value<QFont>().family();
    default:
        break;
    }
    if (v.metaType().flags() & QMetaType::PointerToQObject) {
        const QObject* o = v.value<QObject*>();
        return o ? o->objectName() : QString();
    }
    return v.toString();
}

// --- Fonts inside paths -----------------------------------------------------------------

QVariant readFontPart(const QObject* owner, const QFont& font, const QString& part)
{
    if (same(part, "Name"))
        return font.family();
    if (same(part, "Size"))
        return font.pointSize() > 0 ? font.pointSize() : qRound(font.pixelSize() * 72.0 / 96.0);
    if (same(part, "Height"))
        return font.pixelSize() > 0 ? -font.pixelSize() : -qRound(font.pointSizeF() * 96.0 / 72.0);
    if (same(part, "Charset"))
        return FontCharset(owner);
    if (same(part, "Color")) {
        if (const auto* w = qobject_cast<const QWidget*>(owner))
            return w->palette().color(w->foregroundRole());
        return {};
    }
    if (same(part, "Style")) {
        QStringList s;
        if (font.bold())
            s << QStringLiteral("fsBold");
        if (font.italic())
            s << QStringLiteral("fsItalic");
        if (font.underline())
            s << QStringLiteral("fsUnderline");
        if (font.strikeOut())
            s << QStringLiteral("fsStrikeOut");
        return QStringLiteral("[%1]").arg(s.join(QLatin1Char(',')));
    }
    return {};
}

bool writeFontPart(QObject* owner, const QMetaProperty& p, const QString& part, const QVariant& value)
{
    QFont font = p.read(owner).value<QFont>();
    bool ok = true;
    if (same(part, "Name")) {
        const QString name = value.toString().trimmed();
        if (name.isEmpty())
            return false;
        font.setFamily(name);
    } else if (same(part, "Size")) {
        const int n = value.toString().trimmed().toInt(&ok);
        if (!ok || n <= 0)
            return false;
        font.setPointSize(n);
    } else if (same(part, "Height")) {
        const int n = value.toString().trimmed().toInt(&ok);
        if (!ok || n == 0)
            return false;
        // Negative heights are character heights in pixels; positive ones include the
        // internal leading, which Qt does not separate: both become pixel sizes.
        font.setPixelSize(std::abs(n));
    } else if (same(part, "Charset")) {
        const int n = value.toString().trimmed().toInt(&ok);
        if (!ok)
            return false;
        SetFontCharset(owner, n);
        return true;
    } else if (same(part, "Color")) {
        auto* w = qobject_cast<QWidget*>(owner);
        QColor c;
        if (!w || !colorFromValue(value, c))
            return false;
        QPalette pal = w->palette();
        pal.setColor(QPalette::WindowText, c);
        pal.setColor(QPalette::Text, c);
        pal.setColor(QPalette::ButtonText, c);
        w->setPalette(pal);
        return true;
    } else if (same(part, "Style")) {
        const QString t = value.toString();
        font.setBold(t.contains(QLatin1String("fsBold"), Qt::CaseInsensitive));
        font.setItalic(t.contains(QLatin1String("fsItalic"), Qt::CaseInsensitive));
        font.setUnderline(t.contains(QLatin1String("fsUnderline"), Qt::CaseInsensitive));
        font.setStrikeOut(t.contains(QLatin1String("fsStrikeOut"), Qt::CaseInsensitive));
    } else {
        return false;
    }
    return p.write(owner, font);
}

bool isComponentName(const QObject* o)
{
    const QString n = o->objectName();
    return !n.isEmpty() && !n.startsWith(QLatin1String("qt_"));
}

void collectComponents(const QObject* parent, QList<QObject*>& out)
{
    for (QObject* child : parent->children()) {
        if (IsSubComponent(child))
            continue;
        if (isComponentName(child))
            out.append(child);
        // A separate window (a dialog the form holds) keeps its own components; a pop-up
        // menu's items are the form's.
        const auto* w = qobject_cast<const QWidget*>(child);
        if (w && w->isWindow() && !qobject_cast<const QMenu*>(w))
            continue;
        collectComponents(child, out);
    }
}

QObject* findSubComponent(const QObject* parent, const QString& name)
{
    for (QObject* child : parent->children()) {
        if (IsSubComponent(child) && child->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return child;
        if (!IsSubComponent(child))
            continue;
        if (QObject* deeper = findSubComponent(child, name))
            return deeper;
    }
    return nullptr;
}

// Walks a path to the object and last part it names. A font part leaves fontProperty set
// and part naming the font's member.
struct PathTarget {
    QObject* object = nullptr;
    QString part;
    QMetaProperty fontProperty;
};

bool walkPath(const QObject* root, const QString& path, PathTarget& target)
{
    if (!root || path.trimmed().isEmpty())
        return false;
    const QStringList parts = path.trimmed().split(QLatin1Char('.'));
    auto* current = const_cast<QObject*>(root);
    for (int i = 0; i + 1 < parts.size(); ++i) {
        const QString& part = parts.at(i);
        const QMetaProperty p = FindProperty(current, part);
        if (p.isValid() && (p.metaType().flags() & QMetaType::PointerToQObject)) {
            QObject* next = p.read(current).value<QObject*>();
            if (!next)
                return false;
            current = next;
            continue;
        }
        if (p.isValid() && p.metaType().id() == QMetaType::QFont && i + 2 == parts.size()) {
            target.object = current;
            target.part = parts.last();
            target.fontProperty = p;
            return true;
        }
        QObject* next = FindComponent(current, part);
        if (!next)
            return false;
        current = next;
    }
    target.object = current;
    target.part = parts.last();
    return !target.part.isEmpty();
}
} // namespace

QMetaProperty FindProperty(const QObject* object, const QString& name)
{
    if (!object || name.isEmpty())
        return {};
    const QMetaObject* mo = object->metaObject();
    const int exact = mo->indexOfProperty(name.toLatin1().constData());
    if (exact >= 0)
        return mo->property(exact);
    for (int i = 0; i < mo->propertyCount(); ++i)
        if (same(name, mo->property(i).name()))
            return mo->property(i);
    return {};
}

namespace {
// The property a name stands for: a declared one of exactly that name, else one without
// regard to case, except that the names every control publishes win over QWidget's own
// properties (Qt's read-only "width" must not hide the system's Width).
struct Resolved {
    QMetaProperty property;
    Std standard = Std::None;
};

Resolved resolve(const QObject* object, const QString& name)
{
    Resolved r;
    if (!object || name.isEmpty())
        return r;
    const int exact = object->metaObject()->indexOfProperty(name.toLatin1().constData());
    if (exact >= 0) {
        r.property = object->metaObject()->property(exact);
        return r;
    }
    r.property = FindProperty(object, name);
    const Std standard = standardName(object, name);
    const bool qtOwn = r.property.isValid() && r.property.propertyIndex() < QWidget::staticMetaObject.propertyCount()
                    && object->isWidgetType();
    if (standard != Std::None && (!r.property.isValid() || qtOwn)) {
        r.property = QMetaProperty();
        r.standard = standard;
    }
    return r;
}
} // namespace

QVariant GetPropertyValue(const QObject* object, const QString& name)
{
    const Resolved r = resolve(object, name);
    if (r.property.isValid())
        return r.property.read(object);
    return r.standard != Std::None ? readStandard(object, r.standard) : QVariant();
}

bool SetPropertyValue(QObject* object, const QString& name, const QVariant& value)
{
    const Resolved r = resolve(object, name);
    if (!r.property.isValid())
        return r.standard != Std::None && writeStandard(object, r.standard, value);
    if (!r.property.isWritable())
        return false;
    QVariant converted;
    if (!toPropertyType(r.property, value, converted))
        return false;
    return r.property.write(object, converted);
}

TNotifyEvent GetMethodProperty(QObject* object, const QString& name)
{
    if (!object || name.isEmpty())
        return {};
    const QByteArray n = name.toLatin1();
    TNotifyEvent* e = FindNotifyEvent(object, std::string_view(n.constData(), std::size_t(n.size())));
    return e ? *e : TNotifyEvent();
}

bool SetMethodProperty(QObject* object, const QString& name, const TNotifyEvent& handler)
{
    if (!object || name.isEmpty())
        return false;
    const QByteArray n = name.toLatin1();
    TNotifyEvent* e = FindNotifyEvent(object, std::string_view(n.constData(), std::size_t(n.size())));
    if (!e)
        return false;
    *e = handler;
    return true;
}

QString GetStringProperty(const QObject* object, const QString& name)
{
    const Resolved r = resolve(object, name);
    if (r.property.isValid())
        return toText(r.property, r.property.read(object));
    const QVariant v = GetPropertyValue(object, name);
    return v.isValid() ? toText(QMetaProperty(), v) : QString();
}

bool SetStringProperty(QObject* object, const QString& name, const QString& value)
{
    return SetPropertyValue(object, name, QVariant(value));
}

int GetOrdinalProperty(const QObject* object, const QString& name)
{
    const Resolved r = resolve(object, name);
    if (r.property.isValid() && !r.property.isEnumType() && !isOrdinalType(r.property.metaType().id()))
        return 0;
    const QVariant v = GetPropertyValue(object, name);
    if (!v.isValid() || (!r.property.isValid() && !isOrdinalType(v.metaType().id())))
        return 0;
    if (v.metaType().id() == QMetaType::QColor)
        return QColorToTColor(v.value<QColor>());
    if (v.metaType().id() == QMetaType::QChar)
        return v.toChar().unicode();
    return v.toInt();
}

bool SetOrdinalProperty(QObject* object, const QString& name, int value)
{
    const Resolved r = resolve(object, name);
    if (r.property.isValid()) {
        if (!r.property.isEnumType() && !isOrdinalType(r.property.metaType().id()))
            return false;
    } else {
        const QVariant current = GetPropertyValue(object, name);
        if (!current.isValid() || !isOrdinalType(current.metaType().id()))
            return false;
    }
    return SetPropertyValue(object, name, QVariant(value));
}

bool HasProperty(const QObject* object, const QString& name)
{
    if (!object || name.isEmpty())
        return false;
    const Resolved r = resolve(object, name);
    if (r.property.isValid() || r.standard != Std::None)
        return true;
    const QByteArray n = name.toLatin1();
    return FindNotifyEvent(const_cast<QObject*>(object), std::string_view(n.constData(), std::size_t(n.size())))
        != nullptr;
}

void SetSubComponent(QObject* object, bool subComponent)
{
    if (object)
        object->setProperty(kSubComponent, subComponent ? QVariant(true) : QVariant());
}

bool IsSubComponent(const QObject* object)
{
    return object && object->property(kSubComponent).toBool();
}

void SetSubComponentOf(QObject* object, const QObject* control)
{
    SetSubComponent(object);
    if (object)
        object->setProperty(kSubComponentOf, QVariant::fromValue(reinterpret_cast<quintptr>(control)));
}

namespace {

bool belongsTo(const QObject* part, const QObject* component)
{
    const QVariant of = part->property(kSubComponentOf);
    return !of.isValid() || of.value<quintptr>() == reinterpret_cast<quintptr>(component);
}

void collectParts(const QObject* component, const QObject* container, QList<QObject*>& out)
{
    for (QObject* child : container->children()) {
        if (!IsSubComponent(child) || !belongsTo(child, component))
            continue;
        out.append(child);
        collectParts(child, child, out);
    }
}

} // namespace

QList<QObject*> SubComponents(const QObject* component)
{
    QList<QObject*> out;
    if (!component)
        return out;
    collectParts(component, component, out);
    // Parts that live beside the component, in its parent.
    if (const QObject* parent = component->parent())
        for (QObject* sibling : parent->children())
            if (sibling != component && IsSubComponent(sibling) && sibling->property(kSubComponentOf).isValid()
                && belongsTo(sibling, component)) {
                out.append(sibling);
                collectParts(sibling, sibling, out);
            }
    return out;
}

QList<QObject*> OwnedComponents(const QObject* owner)
{
    QList<QObject*> out;
    if (owner)
        collectComponents(owner, out);
    return out;
}

QObject* FindComponent(const QObject* owner, const QString& name)
{
    if (!owner || name.trimmed().isEmpty())
        return nullptr;
    const QString wanted = name.trimmed();
    for (QObject* c : OwnedComponents(owner))
        if (c->objectName().compare(wanted, Qt::CaseInsensitive) == 0)
            return c;
    return findSubComponent(owner, wanted);
}

QVariant GetPropertyPath(const QObject* root, const QString& path)
{
    PathTarget t;
    if (!walkPath(root, path, t))
        return {};
    if (t.fontProperty.isValid())
        return readFontPart(t.object, t.fontProperty.read(t.object).value<QFont>(), t.part);
    return GetPropertyValue(t.object, t.part);
}

bool SetPropertyPath(QObject* root, const QString& path, const QVariant& value)
{
    PathTarget t;
    if (!walkPath(root, path, t))
        return false;
    if (t.fontProperty.isValid())
        return writeFontPart(t.object, t.fontProperty, t.part, value);
    return SetPropertyValue(t.object, t.part, value);
}

QString GetPropertyPathText(const QObject* root, const QString& path)
{
    PathTarget t;
    if (!walkPath(root, path, t))
        return {};
    if (t.fontProperty.isValid()) {
        const QVariant v = readFontPart(t.object, t.fontProperty.read(t.object).value<QFont>(), t.part);
        return toText(QMetaProperty(), v);
    }
    return GetStringProperty(t.object, t.part);
}

bool SetPropertyPathText(QObject* root, const QString& path, const QString& text)
{
    return SetPropertyPath(root, path, QVariant(text));
}

int FontCharset(const QObject* control)
{
    if (!control)
        return 0;
    const QVariant v = control->property(kFontCharset);
    return v.isValid() ? v.toInt() : 1; // DEFAULT_CHARSET
}

void SetFontCharset(QObject* control, int charset)
{
    if (control)
        control->setProperty(kFontCharset, charset);
}

// --- Colours ------------------------------------------------------------------------------

namespace {
struct NamedColor {
    const char* name;
    unsigned value;
};
constexpr NamedColor kColors[] = {
    {"clBlack", 0x000000}, {"clMaroon", 0x000080}, {"clGreen", 0x008000}, {"clOlive", 0x008080},
    {"clNavy", 0x800000}, {"clPurple", 0x800080}, {"clTeal", 0x808000}, {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0}, {"clRed", 0x0000FF}, {"clLime", 0x00FF00}, {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000}, {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00}, {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0}, {"clSkyBlue", 0xF0CAA6}, {"clCream", 0xF0FBFF}, {"clMedGray", 0xA4A0A0},
    {"clScrollBar", 0x80000000}, {"clBackground", 0x80000001}, {"clActiveCaption", 0x80000002},
    {"clInactiveCaption", 0x80000003}, {"clMenu", 0x80000004}, {"clWindow", 0x80000005},
    {"clWindowFrame", 0x80000006}, {"clMenuText", 0x80000007}, {"clWindowText", 0x80000008},
    {"clCaptionText", 0x80000009}, {"clActiveBorder", 0x8000000A}, {"clInactiveBorder", 0x8000000B},
    {"clAppWorkSpace", 0x8000000C}, {"clHighlight", 0x8000000D}, {"clHighlightText", 0x8000000E},
    {"clBtnFace", 0x8000000F}, {"clBtnShadow", 0x80000010}, {"clGrayText", 0x80000011},
    {"clBtnText", 0x80000012}, {"clInactiveCaptionText", 0x80000013}, {"clBtnHighlight", 0x80000014},
    {"cl3DDkShadow", 0x80000015}, {"cl3DLight", 0x80000016}, {"clInfoText", 0x80000017},
    {"clInfoBk", 0x80000018},
};

QColor systemColor(int index)
{
    const QPalette p;
    switch (index) {
    case 0x02: return QColor(0x0A, 0x24, 0x6A);    // active caption
    case 0x03: return QColor(0x80, 0x80, 0x80);    // inactive caption
    case 0x09: return Qt::white;                   // caption text
    case 0x13: return QColor(0xD4, 0xD0, 0xC8);    // inactive caption text
    case 0x04: return p.color(QPalette::Window);
    case 0x05: return p.color(QPalette::Base);
    case 0x06: return p.color(QPalette::Shadow);
    case 0x07:
    case 0x08: return p.color(QPalette::Text);
    case 0x0D: return p.color(QPalette::Highlight);
    case 0x0E: return p.color(QPalette::HighlightedText);
    case 0x0F: return p.color(QPalette::Button);
    case 0x10: return p.color(QPalette::Dark);
    case 0x11: return p.color(QPalette::Disabled, QPalette::Text);
    case 0x12: return p.color(QPalette::ButtonText);
    case 0x14: return p.color(QPalette::Light);
    case 0x15: return p.color(QPalette::Shadow);
    case 0x16: return p.color(QPalette::Midlight);
    case 0x17: return p.color(QPalette::ToolTipText);
    case 0x18: return p.color(QPalette::ToolTipBase);
    default: return p.color(QPalette::Window);
    }
}
} // namespace

QColor TColorToQColor(int color)
{
    const auto v = unsigned(color);
    if (v & 0x80000000u)
        return systemColor(int(v & 0xFF));
    if (v == 0x1FFFFFFFu) // clNone
        return QColor(Qt::transparent);
    if (v == 0x20000000u) // clDefault
        return QColor();
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

int QColorToTColor(const QColor& color)
{
    if (!color.isValid())
        return 0x20000000;
    if (color.alpha() == 0)
        return 0x1FFFFFFF;
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

bool ColorFromText(const QString& text, QColor& color)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    for (const NamedColor& c : kColors)
        if (same(t, c.name)) {
            color = TColorToQColor(int(c.value));
            return true;
        }
    bool ok = false;
    if (t.startsWith(QLatin1Char('$'))) {
        const uint v = t.mid(1).toUInt(&ok, 16);
        if (ok)
            color = TColorToQColor(int(v));
        return ok;
    }
    if (t.startsWith(QLatin1Char('#'))) {
        color = QColor(t);
        return color.isValid();
    }
    const long long v = t.toLongLong(&ok);
    if (!ok || v < INT32_MIN || v > UINT32_MAX)
        return false;
    color = TColorToQColor(int(static_cast<unsigned>(v)));
    return true;
}

QString ColorToText(const QColor& color)
{
    const int v = QColorToTColor(color);
    for (const NamedColor& c : kColors)
        if (c.value < 0x80000000u && int(c.value) == v)
            return QString::fromLatin1(c.name);
    return QStringLiteral("$%1").arg(uint(v), 8, 16, QLatin1Char('0')).toUpper();
}
