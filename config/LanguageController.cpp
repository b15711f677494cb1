#include "config/LanguageController.h"

#include "config/RunTimeProps.h"
#include "platform/ProcessOnce.h"
#include "support/AlertLog.h"
#include "support/BriskoINI.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMetaEnum>
#include <QTreeWidget>
#include <QWidget>


LanguageControllerError::~LanguageControllerError() = default;
TComponentRead::~TComponentRead() = default;

namespace {

// Component names and text keys go into XPath: only XML names may, so that a strange
// name finds nothing instead of changing the expression.
bool isXmlName(const QString& name)
{
    if (name.isEmpty())
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        const bool start = c.isLetter() || c == QLatin1Char('_');
        const bool rest = start || c.isDigit() || c == QLatin1Char('-') || c == QLatin1Char('.');
        if (i == 0 ? !start : !rest)
            return false;
    }
    return true;
}

// A language folder or file the interface cannot use is said once per process: the forms
// ask for it at every text.
void reportUnusable(const QString& path, const char* why)
{
    if (!FirstTimeInProcess("unusable language path " + path.toStdString()))
        return;
    WriteAlertLog("LanguageController",
                  (path + QStringLiteral(": ") + QLatin1String(why) + QStringLiteral("; the built-in texts are shown"))
                      .toStdString());
}

pugi::xml_node firstElement(const pugi::xml_document& document, const QString& name)
{
    if (!isXmlName(name))
        return {};
    try {
        return document.select_node(("//" + name.toStdString()).c_str()).node();
    } catch (const pugi::xpath_exception&) {
        return {};
    }
}

// The first element of that name inside another.
pugi::xml_node firstElementIn(const pugi::xml_node& outer, const QString& name)
{
    if (!outer || !isXmlName(name))
        return {};
    try {
        return outer.select_node((".//" + name.toStdString()).c_str()).node();
    } catch (const pugi::xpath_exception&) {
        return {};
    }
}

// "Items_3" → ("Items", 3); "Caption" → ("Caption", -1).
std::pair<QString, int> splitIndex(const QString& part)
{
    const qsizetype us = part.lastIndexOf(QLatin1Char('_'));
    if (us > 0 && us + 1 < part.size()) {
        bool ok = false;
        const int index = part.mid(us + 1).toInt(&ok);
        if (ok && index >= 0 && part.mid(us + 1).front().isDigit())
            return {part.left(us), index};
    }
    return {part, -1};
}

bool same(const QString& a, const char* b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

// The n-th node of a tree in node order (parents before their children).
QTreeWidgetItem* nodeAt(QTreeWidget* tree, int n)
{
    int seen = 0;
    std::function<QTreeWidgetItem*(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* item) -> QTreeWidgetItem* {
        if (seen++ == n)
            return item;
        for (int i = 0; i < item->childCount(); ++i)
            if (QTreeWidgetItem* found = walk(item->child(i)))
                return found;
        return nullptr;
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        if (QTreeWidgetItem* found = walk(tree->topLevelItem(i)))
            return found;
    return nullptr;
}

bool isListView(const QTreeWidget* tree)
{
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        if (tree->topLevelItem(i)->childCount() > 0)
            return false;
    return true;
}

// How many lines a language file may add to a string list.
constexpr qsizetype kMaxPaddedLines = 1000;

void fail(QStringList& failures, const QObject* component, const QString& path, const QString& value)
{
    failures << QStringLiteral("%1.%2=%3").arg(component->objectName(), path, value);
}

// Where the walk along an attribute's path stopped: the object, or an item or a column of
// it; left when a step went past the component itself.
struct PathEnd {
    QObject* current = nullptr;
    QTreeWidgetItem* item = nullptr;
    int column = -1;
    bool left = false;
};

// Walks the parts before the last one; false when that is all there is to do (nothing to
// set, or a part of a font set).
bool walkPath(QObject* component, const QString& path, const QString& value, const QStringList& parts, PathEnd& at,
              QStringList& failures)
{
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const auto [name, index] = splitIndex(parts[i]);
        if (index >= 0) {
            if (!same(name, "Items") && !same(name, "Columns"))
                return false;
            auto* tree = qobject_cast<QTreeWidget*>(at.current);
            auto* view = qobject_cast<QAbstractItemView*>(at.current);
            if (!view || at.item || at.column >= 0)
                continue; // no such collection here: the current object stays
            if (same(name, "Columns")) {
                // A table's columns are its model's: a data grid's titles are its fields' labels.
                if (index < (tree ? tree->columnCount() : view->model() ? view->model()->columnCount() : 0)) {
                    at.column = index;
                    at.left = true;
                }
            } else if (!tree) {
                continue;
            } else if (QTreeWidgetItem* found = isListView(tree) ? tree->topLevelItem(index) : nodeAt(tree, index)) {
                at.item = found;
                at.left = true;
            }
            continue;
        }
        if (at.item || at.column >= 0)
            return false;
        const QMetaProperty p = FindProperty(at.current, name);
        if (p.isValid() && p.metaType().id() == QMetaType::QFont) {
            // The rest names a part of the font ("Font.Name").
            const QString rest = parts.mid(i).join(QLatin1Char('.'));
            if (!SetPropertyPathText(at.current, rest, value))
                fail(failures, component, path, value);
            return false;
        }
        QObject* next = p.isValid() && (p.metaType().flags() & QMetaType::PointerToQObject)
                            ? p.read(at.current).value<QObject*>()
                            : nullptr;
        if (!next)
            return false;
        at.current = next;
        at.left = true;
    }
    return true;
}

// The text of a tree item (its first column) or of a column's title.
void setItemText(QObject* component, const QString& path, const QString& value, const QString& name,
                 const PathEnd& at, QStringList& failures)
{
    if (at.item) {
        if (same(name, "Caption") || same(name, "Text"))
            at.item->setText(0, value);
        return;
    }
    if (!same(name, "Caption") && !same(name, "Text"))
        return;
    if (auto* tree = qobject_cast<QTreeWidget*>(at.current))
        tree->headerItem()->setText(at.column, value);
    else if (auto* view = qobject_cast<QAbstractItemView*>(at.current);
             !view->model()->setHeaderData(at.column, Qt::Horizontal, value))
        fail(failures, component, path, value);
}

// The last part names a property of the object, a line of a string list or of a combo box.
void setPropertyText(QObject* component, const QString& path, const QString& value, const QString& name, int index,
                     const PathEnd& at, QStringList& failures)
{
    if (same(name, "Name") || same(name, "objectName")) {
        // Components are found by their names, by the form's code and by every file read
        // after this one: a text never renames one.
        fail(failures, component, path, value);
        return;
    }
    const QMetaProperty p = FindProperty(at.current, name);
    auto* combo = qobject_cast<QComboBox*>(at.current);
    if (!p.isValid() && combo && same(name, "Items") && index >= 0 && !at.left) {
        // A plain combo box's lines, which it does not publish as a list.
        if (index < combo->count())
            combo->setItemText(index, value);
        return;
    }
    if (!p.isValid()) {
        // The names every control answers (a window's Caption, Hint, Left ...); others are
        // unknown and skipped. Events take no text.
        if (index < 0 && HasProperty(at.current, name) && !FindNotifyEvent(at.current, name.toStdString())
            && !SetPropertyValue(at.current, name, value))
            fail(failures, component, path, value);
        return;
    }
    if (p.metaType().id() == QMetaType::QStringList) {
        // A line of a string list; the list as a whole takes no text.
        if (at.left || index < 0)
            return;
        QStringList lines = p.read(at.current).toStringList();
        // A line far past the end is no text for the list: padding up to it would make a
        // list of millions of lines out of one attribute.
        if (index >= lines.size() + kMaxPaddedLines) {
            fail(failures, component, path, value);
            return;
        }
        while (lines.size() <= index)
            lines << QString();
        lines[index] = value;
        if (!p.isWritable() || !p.write(at.current, lines))
            fail(failures, component, path, value);
        return;
    }
    if (index >= 0)
        return;
    const QString text = p.isEnumType() ? value.trimmed() : value;
    if (!p.isWritable() || !SetPropertyValue(at.current, name, text))
        fail(failures, component, path, value);
}

} // namespace

// --- Readers -------------------------------------------------------------------------------

void TComponentRead::ApplyAttribute(QObject* component, const QString& path, const QString& value,
                                    QStringList& failures)
{
    QStringList parts = path.split(QLatin1Char('.'));
    while (parts.size() > 1 && parts.back().isEmpty())
        parts.removeLast(); // a trailing "." ends the walk
    PathEnd at;
    at.current = component;
    if (!walkPath(component, path, value, parts, at, failures))
        return;

    const auto [name, index] = splitIndex(parts.back());
    if (at.item || at.column >= 0) {
        setItemText(component, path, value, name, at, failures);
        return;
    }
    setPropertyText(component, path, value, name, index, at, failures);
}

void TComponentRead::Apply(QObject* component, const pugi::xml_node& element, QStringList& failures)
{
    for (const pugi::xml_attribute& a : element.attributes())
        ApplyAttribute(component, QString::fromUtf8(a.name()), QString::fromUtf8(a.value()), failures);
}

void TCustomComboBoxRead::Apply(QObject* component, const pugi::xml_node& element, QStringList& failures)
{
    auto* combo = qobject_cast<QComboBox*>(component);
    const int index = combo ? combo->currentIndex() : -1;
    TComponentRead::Apply(component, element, failures);
    if (combo && index < combo->count())
        combo->setCurrentIndex(index);
}

std::unique_ptr<TComponentRead> TReaderFactory::Create(QObject* component)
{
    if (qobject_cast<QComboBox*>(component))
        return std::make_unique<TCustomComboBoxRead>();
    return std::make_unique<TComponentRead>();
}

TLangReader::TLangReader(const pugi::xml_document& document, QStringList excludeControls, TLoadComponentEvent before,
                         TLoadComponentEvent after)
    : document_(document), exclude_(std::move(excludeControls)), before_(std::move(before)), after_(std::move(after))
{
}

bool TLangReader::isExcluded(const QString& name) const
{
    const QString wanted = name.trimmed();
    for (const QString& e : exclude_)
        if (e.trimmed().compare(wanted, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

void TLangReader::apply(QObject* component, const pugi::xml_node& element)
{
    if (before_)
        before_(component, element);
    TReaderFactory::Create(component)->Apply(component, element, failures_);
    if (after_)
        after_(component, element);
}

pugi::xml_node TLangReader::readOne(QObject* component, bool isRoot)
{
    if (isRoot) {
        auto* w = qobject_cast<QWidget*>(component);
        if (w && w->isWindow())
            apply(component, document_.document_element());
    }
    const QString name = component->objectName();
    const pugi::xml_node element = firstElement(document_, name);
    if (element && !isExcluded(name))
        apply(component, element);
    return element;
}

void TLangReader::readParts(QObject* component, const pugi::xml_node& element)
{
    // A part's texts stand inside its control's element: the parts of every select panel
    // share their names (edBegin, btnDelete), with each other and with a form's own
    // components, so a part never takes an element of the whole file.
    if (!element)
        return;
    for (QObject* part : SubComponents(component)) {
        const QString name = part->objectName();
        if (name.isEmpty() || isExcluded(name))
            continue;
        if (const pugi::xml_node own = firstElementIn(element, name))
            apply(part, own);
    }
}

void TLangReader::ReadComponent(QObject* component)
{
    if (!component)
        return;
    readParts(component, readOne(component, true));
    // The components it owns, flat and in order, each with its parts: an excluded one's
    // own are read all the same.
    for (QObject* owned : OwnedComponents(component))
        readParts(owned, readOne(owned, false));
}

// --- Controller ----------------------------------------------------------------------------

TLanguageController::TLanguageController(QObject* owner) : QObject(owner) {}
TLanguageController::~TLanguageController() = default;

void TLanguageController::SetFileName(const QString& fileName)
{
    if (fileName == fileName_)
        return;
    fileName_ = fileName;
    xmlText_.clear();
    SetActive(false);
}

void TLanguageController::SetXMLText(const QStringList& text)
{
    xmlText_ = text;
    if (!xmlText_.isEmpty())
        fileName_.clear();
    SetActive(false);
}

void TLanguageController::SetExcludeControls(const QStringList& names)
{
    exclude_ = names;
    if (reader_)
        reader_->SetExcludeControls(names);
}

bool TLanguageController::Active() const
{
    return document_ && document_->document_element();
}

void TLanguageController::SetActive(bool active)
{
    if (active)
        open();
    else if (document_ || reader_)
        close();
}

void TLanguageController::open()
{
    if (BeforeOpen)
        BeforeOpen(this);
    if (document_ || reader_)
        close();
    auto document = std::make_unique<pugi::xml_document>();
    pugi::xml_parse_result result;
    if (!xmlText_.isEmpty()) {
        const std::string text = xmlText_.join(QLatin1Char('\n')).toStdString();
        result = document->load_buffer(text.data(), text.size());
    } else if (fileName_.isEmpty()) {
        throw LanguageControllerError(QStringLiteral("Cannot Find File %1!").arg(fileName_).toStdString());
    } else {
        result = document->load_file(QFile::encodeName(fileName_).constData());
    }
    if (!result)
        throw LanguageControllerError(std::string(result.description()) +
                                      (result.status == pugi::status_file_not_found || result.status == pugi::status_io_error
                                           ? ": " + fileName_.toStdString()
                                           : " at offset " + std::to_string(result.offset)));
    if (!document->document_element())
        throw LanguageControllerError("No document element found");
    document_ = std::move(document);
    reader_ = std::make_unique<TLangReader>(*document_, exclude_, BeforeLoadComponent, AfterLoadComponent);
    if (AfterOpen)
        AfterOpen(this);
}

void TLanguageController::close()
{
    if (BeforeClose)
        BeforeClose(this);
    reader_.reset();
    document_.reset();
    if (AfterClose)
        AfterClose(this);
}

TLangReader& TLanguageController::Reader()
{
    if (!Active() || !reader_)
        throw LanguageControllerError("No active LanguageController!");
    return *reader_;
}

// --- The suite's controller ----------------------------------------------------------------

TQvLangController::TQvLangController(QObject* owner) : TLanguageController(owner) {}

void TQvLangController::SetDesignType(TDesignType type)
{
    if (type != designType_)
        folderKnown_ = false;
    designType_ = type;
}

void TQvLangController::SetLangPackageName(const QString& name)
{
    if (name == packageName_ && folderKnown_)
        return;
    packageName_ = name;
    if (!folderKnown_) {
        folder_ = LanguageFolder(designType_);
        folderKnown_ = true;
    }
    SetFileName(folder_ + name + QStringLiteral(".Lng"));
}

QString TQvLangController::LanguageCode(const QString& codePage)
{
    const QString cp = codePage.trimmed();
    if (cp == QLatin1String("936"))
        return QStringLiteral("CHS");
    if (cp == QLatin1String("950"))
        return QStringLiteral("CHT");
    if (cp == QLatin1String("437"))
        return QStringLiteral("ENG");
    return QString();
}

QString TQvLangController::LanguageFolder(TDesignType type)
{
    QString path, codePage;
    if (type == dtServer) {
        const TBriskoIniS ini;
        path = QString::fromStdString(ini.ServerPath);
        codePage = QString::fromStdString(ini.UICodePage);
    } else {
        const TBriskoIniC ini;
        path = QString::fromStdString(ini.ClientPath);
        codePage = QString::fromStdString(ini.UICodePage);
    }
    const QString code = LanguageCode(codePage);
    if (code.isEmpty() || path.isEmpty())
        return QString();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    const QString folder = path + QStringLiteral("MultiLanguage/") + code + QLatin1Char('/');
    const QFileInfo info(folder);
    if (!info.isDir()) {
        // (A file of that name: the name without its separator exists.)
        reportUnusable(folder, QFileInfo::exists(folder.chopped(1)) ? "the language folder is no folder"
                                                                           : "the language folder does not exist");
        return QString();
    }
    if (!info.isReadable() || !info.isExecutable()) {
        reportUnusable(folder, "the language folder cannot be read");
        return QString();
    }
    return folder;
}

void TQvLangController::GetLangText(TDesignType type, const QString& packageName, const QString& key, QString& text,
                                    const QString& defaultText)
{
    text = defaultText;
    const QString file = LanguageFolder(type) + packageName + QStringLiteral(".Lng");
    if (!isXmlName(key) || !QFileInfo(file).isFile())
        return;
    pugi::xml_document document;
    if (const pugi::xml_parse_result loaded = document.load_file(QFile::encodeName(file).constData()); !loaded) {
        reportUnusable(file, loaded.description());
        return;
    }
    try {
        const pugi::xpath_node found = document.select_node(("//" + key.toStdString() + "/@Msg").c_str());
        if (found.attribute())
            text = QString::fromUtf8(found.attribute().value());
    } catch (const pugi::xpath_exception&) {
        text = defaultText;
    }
}
