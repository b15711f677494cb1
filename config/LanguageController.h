#pragma once
// Language resources: the texts of a form class replaced at run time from an XML file per
// class and language, <client folder>/MultiLanguage/{CHS,CHT,ENG}/<class>.Lng (the folder
// by the interface code page 936, 950, 437).
//
// A file's root element's attributes apply to the form itself; an element named as a
// component (the first one in the document) holds that component's texts; each attribute
// is a property path and its value ("Caption", "Items_3", "Columns_1.Caption",
// "Font.Name"). Besides the published properties: a group box's Caption is its title, a
// combo box's Items_n its n-th line, Columns_n.Caption the title of column n of a list or
// table (of a data grid: its field's DisplayLabel). The parts of a composite control
// stand inside its element (<sp05><lblBegin Text="..."/></sp05>). An element named as a
// text key carries that text in its attribute Msg.
//
// TQvLangController opens a file (or XML given inline) and hands out the reader that walks
// a component and its components; TReaderFactory gives each component its reader (combo
// boxes keep their chosen index). Unknown components, properties and indexes are skipped;
// a value a property cannot take is counted in the reader's Failures.

#include "config/DesignType.h"
#include "platform/Exception.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <pugixml.hpp>

#include <functional>
#include <memory>

class LanguageControllerError : public Exception {
public:
    using Exception::Exception;
    ~LanguageControllerError() override;
};

using TLoadComponentEvent = std::function<void(QObject* component, const pugi::xml_node& componentNode)>;
using TLangNotifyEvent = std::function<void(QObject* sender)>;

// Applies one element's attributes to one component.
class TComponentRead {
public:
    virtual ~TComponentRead();
    // Property paths that named a known property which would not take the value.
    virtual void Apply(QObject* component, const pugi::xml_node& element, QStringList& failures);

protected:
    static void ApplyAttribute(QObject* component, const QString& path, const QString& value, QStringList& failures);
};

// Combo boxes keep their selected index across the reading.
class TCustomComboBoxRead : public TComponentRead {
public:
    void Apply(QObject* component, const pugi::xml_node& element, QStringList& failures) override;
};

class TReaderFactory {
public:
    static std::unique_ptr<TComponentRead> Create(QObject* component);
};

class TLangReader {
public:
    TLangReader(const pugi::xml_document& document, QStringList excludeControls, TLoadComponentEvent before,
                TLoadComponentEvent after);

    // The component (a form: its root element first), then every component it owns, each
    // followed by its parts (config/RunTimeProps.h SubComponents), whose elements stand
    // inside the component's element (<sp03><edBegin Hint="..."/></sp03>).
    void ReadComponent(QObject* component);
    void SetExcludeControls(const QStringList& names) { exclude_ = names; }
    // What the readings so far could not apply ("ed01.Font.Height=big").
    const QStringList& Failures() const { return failures_; }

private:
    void apply(QObject* component, const pugi::xml_node& element);
    // Applies the component's element and answers it (also for an excluded component).
    pugi::xml_node readOne(QObject* component, bool isRoot);
    void readParts(QObject* component, const pugi::xml_node& element);
    bool isExcluded(const QString& name) const;

    const pugi::xml_document& document_;
    QStringList exclude_;
    TLoadComponentEvent before_;
    TLoadComponentEvent after_;
    QStringList failures_;
};

class TLanguageController : public QObject {
    Q_OBJECT

public:
    explicit TLanguageController(QObject* owner = nullptr);
    ~TLanguageController() override;

    QString FileName() const { return fileName_; }
    void SetFileName(const QString& fileName);
    QStringList XMLText() const { return xmlText_; }
    void SetXMLText(const QStringList& text);
    QStringList ExcludeControls() const { return exclude_; }
    void SetExcludeControls(const QStringList& names);

    // True while a document with a root element is loaded. Opening raises
    // LanguageControllerError: "Cannot Find File %s!" without a file name, the parser's
    // reason for a file that is missing or not well-formed.
    bool Active() const;
    void SetActive(bool active);
    // Raises "No active LanguageController!" while closed.
    TLangReader& Reader();

    TLangNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TLoadComponentEvent BeforeLoadComponent, AfterLoadComponent;

private:
    void open();
    void close();

    QString fileName_;
    QStringList xmlText_;
    QStringList exclude_;
    std::unique_ptr<pugi::xml_document> document_;
    std::unique_ptr<TLangReader> reader_;
};

class TQvLangController : public TLanguageController {
    Q_OBJECT

public:
    explicit TQvLangController(QObject* owner = nullptr);

    TDesignType DesignType() const { return designType_; }
    void SetDesignType(TDesignType type);
    QString LangPackageName() const { return packageName_; }
    // Names the file: language folder + name + ".Lng" (closes the controller when it changes).
    void SetLangPackageName(const QString& name);

    // <installation>/MultiLanguage/<code>/ of the interface code page (936 CHS, 950 CHT,
    // 437 ENG); empty when the code page has none or the folder does not exist or cannot be
    // read (which the alert log "LanguageController" says, once per folder in a process).
    static QString LanguageFolder(TDesignType type);
    // The language code of a code page ("CHS", "CHT", "ENG"), empty for any other.
    static QString LanguageCode(const QString& codePage);
    // The Msg attribute of the first element named key in the package's file; the default
    // when there is no file, no such element or the file cannot be read. Never raises.
    static void GetLangText(TDesignType type, const QString& packageName, const QString& key, QString& text,
                            const QString& defaultText);

private:
    TDesignType designType_ = dtClient;
    QString packageName_;
    QString folder_;
    bool folderKnown_ = false;
};
