#include "config/CodeConverter.h"

#include "config/QtVariant.h"
#include "config/RunTimeProps.h"
#include "platform/Exception.h"
#include "support/AlertLog.h"
#include "support/BriskoINI.h"

#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QToolTip>
#include <QTreeWidget>
#include <QWidget>

#include <atomic>

namespace {

// On the heap, not literal: the font cache keeps it after an unloaded plug-in.
const QString kSimSun = QString::fromLatin1("SimSun");

// The text properties a component's generic step converts, in their order.
const char* const kTextProperties[] = {"Caption", "Hint", "ButtonHint", "PlainText"};
const char* const kLaterTextProperties[] = {"Text"};
// Combo-box styles as the controls publish them.
constexpr int csDropDownList = 2, csOwnerDrawFixed = 3;

bool isType(const QMetaProperty& p, QMetaType::Type type)
{
    return p.isValid() && p.metaType().id() == type;
}

bool excluded(const QString& keep, const char* property)
{
    return keep.contains(QString::fromLatin1(property).toUpper());
}

void convertTreeItem(QTreeWidgetItem* item, const std::function<QString(const QString&)>& convert)
{
    for (int c = 0; c < item->columnCount(); ++c)
        if (!item->text(c).isEmpty())
            item->setText(c, convert(item->text(c)));
    for (int i = 0; i < item->childCount(); ++i)
        convertTreeItem(item->child(i), convert);
}

// Every form makes a converter: the alert log hears of a missing translator once in a
// process.
void reportMissingTranslator(const std::string& why)
{
    static std::atomic<bool> reported{false};
    if (reported.exchange(true))
        return;
    WriteAlertLog("CodeConverter",
                  why + "; the database's texts pass between the interface and the database unconverted");
}

} // namespace

TCodeConverter::TCodeConverter(QObject* owner, const std::string& translatorLibrary) : QObject(owner)
{
    const TBriskoIniC ini;
    systemCodePage_ = QString::fromStdString(ini.SystemCodePage);
    uiCodePage_ = QString::fromStdString(ini.UICodePage);
    dbCodePage_ = QString::fromStdString(ini.DBCodePage);
    uiConvertMode_ = ini.UIConvertMode;
    dbConvertMode_ = ini.DBConvertMode;
    // A GB interface on a Big5 database needs the translator as much as a Big5 interface
    // does: without it the database's texts would pass unconverted both ways. Such an
    // interface shows its own texts without it, so there a missing translator is said
    // once and the values pass as they are; a Big5 interface cannot do without.
    if (uiConvertMode_ != 0) {
        translator_ = std::make_unique<TTranslator>(translatorLibrary);
    } else if (dbConvertMode_ != 0) {
        try {
            translator_ = std::make_unique<TTranslator>(translatorLibrary);
        } catch (const std::exception& e) {
            reportMissingTranslator(e.what());
        }
    }
}

TCodeConverter::~TCodeConverter() = default;

std::string TCodeConverter::convertText(int type, const std::string& text) const
{
    if (text.empty())
        return text;
    return type == 1 ? translator_->BIG5ToGB(text) : translator_->GBToBIG5(text);
}

Variant TCodeConverter::convertVariant(int type, const Variant& value, TextCache& cache) const
{
    if (value.isString()) {
        // Result sets repeat their texts (names, kinds): each distinct one is converted once.
        std::string text = value.toString();
        if (const auto found = cache.find(text); found != cache.end())
            return Variant(found->second);
        std::string converted = convertText(type, text);
        if (cache.size() < 100000)
            cache.emplace(std::move(text), converted);
        return Variant(std::move(converted));
    }
    if (!value.isArray())
        return value;
    Variant copy = value;
    if (value.dimCount() == 1) {
        for (int i = value.lowBound(1); i <= value.highBound(1); ++i) {
            const Variant& element = value[i];
            if (element.isString() || element.isArray())
                copy[i] = convertVariant(type, element, cache);
        }
    } else if (value.dimCount() == 2) {
        for (int i = value.lowBound(1); i <= value.highBound(1); ++i)
            for (int j = value.lowBound(2); j <= value.highBound(2); ++j) {
                const Variant& cell = value.at(i, j);
                if (cell.isString() || cell.isArray())
                    copy.at(i, j) = convertVariant(type, cell, cache);
            }
    }
    return copy;
}

Variant TCodeConverter::ConvertValue(int type, const Variant& value) const
{
    if ((type != 1 && type != 2) || !translator_ || value.isEmptyOrNull())
        return value;
    TextCache cache;
    return convertVariant(type, value, cache);
}

QString TCodeConverter::ConvertValue(int type, const QString& text) const
{
    if ((type != 1 && type != 2) || !translator_ || text.isEmpty())
        return text;
    return QString::fromStdString(convertText(type, text.toStdString()));
}

namespace {
int reverseOf(quint8 mode)
{
    return mode == 1 ? 2 : mode == 2 ? 1 : 0;
}
} // namespace

Variant TCodeConverter::ReverseDisplayConvert(const Variant& value) const
{
    try {
        return ConvertValue(reverseOf(uiConvertMode_), value);
    } catch (const std::exception&) {
        return value;
    }
}

QString TCodeConverter::ReverseDisplayConvert(const QString& text) const
{
    try {
        return ConvertValue(reverseOf(uiConvertMode_), text);
    } catch (const std::exception&) {
        return text;
    }
}

Variant TCodeConverter::OutgoingConvert(const Variant& value) const
{
    try {
        return ConvertValue(reverseOf(dbConvertMode_), value);
    } catch (const std::exception&) {
        return value;
    }
}

QString TCodeConverter::OutgoingConvert(const QString& text) const
{
    try {
        return ConvertValue(reverseOf(dbConvertMode_), text);
    } catch (const std::exception&) {
        return text;
    }
}

QString TCodeConverter::BIG5ToGBText(const QString& text) const
{
    if (!translator_)
        throw Exception("No translator: the interface needs no conversion");
    return text.isEmpty() ? QString() : QString::fromStdString(translator_->BIG5ToGB(text.toStdString()));
}

QString TCodeConverter::GBToBIG5Text(const QString& text) const
{
    if (!translator_)
        throw Exception("No translator: the interface needs no conversion");
    return text.isEmpty() ? QString() : QString::fromStdString(translator_->GBToBIG5(text.toStdString()));
}

void TCodeConverter::ApplyModeFont(quint8 mode, QFont& font, int& charset)
{
    font.setFamily(kSimSun);
    charset = mode == 2 || mode == 3 ? 136 : 134;
}

void TCodeConverter::ApplyModeFont(quint8 mode, QObject* control)
{
    const QMetaProperty p = FindProperty(control, QStringLiteral("Font"));
    if (!isType(p, QMetaType::QFont))
        return;
    QFont font = p.read(control).value<QFont>();
    int charset = 0;
    ApplyModeFont(mode, font, charset);
    p.write(control, font);
    SetFontCharset(control, charset);
}

int TCodeConverter::ShowMessageDialog(const QString& text, TMsgDlgType type, std::initializer_list<TMsgDlgBtn> buttons)
{
    if (text.isEmpty())
        return mrNone;
    QString shown = text;
    // The system's dialog measured GB text short; the blanks keep its last characters in view.
    if (uiCodePage_ == QLatin1String("936") || systemCodePage_ == QLatin1String("936"))
        shown += QStringLiteral("      ");
    auto* form = qobject_cast<QWidget*>(parent());
    if (form && form->isMinimized())
        form->showNormal();
    QFont font = form ? form->font() : QApplication::font();
    int charset = 0;
    ApplyModeFont(uiConvertMode_, font, charset);
    return MessageDlg(shown, type, QList<TMsgDlgBtn>(buttons), form, form ? form->windowTitle() : QString(), {}, &font);
}

void TCodeConverter::convertTextProperty(QObject* component, const QString& name) const
{
    const QMetaProperty p = FindProperty(component, name);
    if (!isType(p, QMetaType::QString) || !p.isWritable())
        return;
    const QString converted = DisplayConvert(p.read(component).toString());
    if (!converted.isEmpty())
        p.write(component, converted);
}

void TCodeConverter::convertListProperty(QObject* component, const QString& name) const
{
    const QMetaProperty p = FindProperty(component, name);
    if (!isType(p, QMetaType::QStringList) || !p.isWritable())
        return;
    const QStringList lines = p.read(component).toStringList();
    if (lines.isEmpty())
        return;
    // The whole text at once, as the list's text property gives it.
    const QString converted = DisplayConvert(lines.join(QLatin1Char('\n')));
    auto* combo = qobject_cast<QComboBox*>(component);
    const int index = combo ? combo->currentIndex() : -1;
    p.write(component, converted.split(QLatin1Char('\n')));
    if (combo && index < combo->count())
        combo->setCurrentIndex(index);
}

void TCodeConverter::convertComponent(QObject* component, const QString& keep) const
{
    for (const char* font : {"Font", "TitleFont"})
        if (!excluded(keep, font)) {
            const QMetaProperty p = FindProperty(component, QString::fromLatin1(font));
            if (isType(p, QMetaType::QFont) && p.isWritable()) {
                QFont f = p.read(component).value<QFont>();
                int charset = 0;
                ApplyModeFont(uiConvertMode_, f, charset);
                p.write(component, f);
                SetFontCharset(component, charset);
            }
        }
    // A text that followed the caption (a button's Text is its Caption) is not converted twice.
    const QString textBefore = GetStringProperty(component, QStringLiteral("Text"));
    for (const char* name : kTextProperties)
        if (!excluded(keep, name))
            convertTextProperty(component, QString::fromLatin1(name));
    // A list view's items are its rows: the class step converts them column by column.
    if (!excluded(keep, "Items") && !qobject_cast<QTreeWidget*>(component))
        convertListProperty(component, QStringLiteral("Items"));
    if (!excluded(keep, "Lines"))
        convertListProperty(component, QStringLiteral("Lines"));
    // An editable combo box's text is one of its items or the user's own.
    const bool textIsCaption = !textBefore.isEmpty() && GetStringProperty(component, QStringLiteral("Text")) != textBefore;
    if (!excluded(keep, "Text") && !qobject_cast<QComboBox*>(component) && !textIsCaption)
        for (const char* name : kLaterTextProperties)
            convertTextProperty(component, QString::fromLatin1(name));
    if (!excluded(keep, "Style")) {
        // A drop-down list is drawn by the form's font either way; an editable drop-down
        // keeps its style so that the user can still type into it.
        auto* combo = qobject_cast<QComboBox*>(component);
        const QMetaProperty style = FindProperty(component, QStringLiteral("Style"));
        if (combo && style.isValid() && GetOrdinalProperty(component, QStringLiteral("Style")) == csDropDownList) {
            const int index = combo->currentIndex();
            SetOrdinalProperty(component, QStringLiteral("Style"), csOwnerDrawFixed);
            if (combo->currentIndex() < 0 && index >= 0)
                combo->setCurrentIndex(index);
        }
    }
}

void TCodeConverter::convertClassSpecific(QObject* component, bool includeGrids) const
{
    const auto convert = [this](const QString& s) { return DisplayConvert(s); };
    if (auto* tree = qobject_cast<QTreeWidget*>(component)) {
        // List views (the select panel's list among them) always, as their rows are texts.
        if (QTreeWidgetItem* header = tree->headerItem())
            for (int c = 0; c < header->columnCount(); ++c)
                header->setText(c, convert(header->text(c)));
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            convertTreeItem(tree->topLevelItem(i), convert);
    }
    if (HasProperty(component, QStringLiteral("ChildHints"))) {
        // A select panel: its hints, range words and list.
        for (const char* name : {"ChildHints", "BeginWords", "FinalWords", "ColumnCaptions"})
            convertListProperty(component, QString::fromLatin1(name));
        convertTextProperty(component, QStringLiteral("HintWord"));
    }
    if (auto* group = qobject_cast<QGroupBox*>(component); group && !FindProperty(group, QStringLiteral("Caption")).isValid())
        group->setTitle(convert(group->title()));
    if (auto* combo = qobject_cast<QComboBox*>(component)) {
        // A plain combo box does not publish its lines as Items.
        if (!FindProperty(combo, QStringLiteral("Items")).isValid())
            for (int i = 0; i < combo->count(); ++i)
                combo->setItemText(i, convert(combo->itemText(i)));
        if (!combo->isEditable() && HasProperty(component, QStringLiteral("Style"))) {
            SetOrdinalProperty(component, QStringLiteral("Style"), csOwnerDrawFixed);
            if (combo->currentIndex() < 0 && combo->count() > 0)
                combo->setCurrentIndex(0);
        }
    }
    if (!includeGrids)
        return;
    if (auto* grid = qobject_cast<QTableWidget*>(component))
        for (int r = 0; r < grid->rowCount(); ++r)
            for (int c = 0; c < grid->columnCount(); ++c)
                if (QTableWidgetItem* item = grid->item(r, c); item && !item->text().isEmpty())
                    item->setText(convert(item->text()));
    // The column titles of every table, also a data grid's (its fields' labels).
    auto* view = qobject_cast<QTableView*>(component);
    if (QAbstractItemModel* model = view ? view->model() : nullptr)
        for (int c = 0; c < model->columnCount(); ++c) {
            const QString title = model->headerData(c, Qt::Horizontal).toString();
            if (const QString converted = convert(title); converted != title)
                model->setHeaderData(c, Qt::Horizontal, converted);
        }
}

void TCodeConverter::ConvertForm(QWidget* form, const QStringList* exceptions, bool includeGrids)
{
    if (!form || !translator_ || uiConvertMode_ == 0)
        return;
    // The title bar is drawn in the system's own code page, also when the texts stay GB.
    if (systemCodePage_ == QLatin1String("950"))
        form->setWindowTitle(GBToBIG5Text(form->windowTitle()));
    convertTextProperty(form, QStringLiteral("Hint"));
    convertTextProperty(form, QStringLiteral("ButtonHint"));
    QFont hintFont = QToolTip::font();
    int charset = 0;
    ApplyModeFont(uiConvertMode_, hintFont, charset);
    QToolTip::setFont(hintFont);

    for (QObject* component : OwnedComponents(form)) {
        const QString name = component->objectName().toUpper();
        bool listed = false;
        if (exceptions && !name.isEmpty())
            for (const QString& line : *exceptions) {
                const QStringList fields = line.split(QChar(3));
                if (fields.value(0).trimmed().toUpper() != name)
                    continue;
                listed = true;
                if (fields.size() > 1)
                    convertComponent(component, line.mid(fields.value(0).size()).toUpper());
                break;
            }
        if (listed)
            continue;
        convertComponent(component, QString());
        if (uiConvertMode_ == 1 || uiConvertMode_ == 2)
            convertClassSpecific(component, includeGrids);
    }
}
