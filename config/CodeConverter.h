#pragma once
// TCodeConverter: the simplified/traditional conversion of one form. The program's texts
// are simplified Chinese; a traditional interface (UICodePage 950) sees them converted,
// and texts on their way to and from a database of the other script are converted too.
// The character conversion is the translator library's (config/TranslatorU.h); this
// component decides what goes which way, and sets the fonts a converted form shows.
//
// Modes come from the client configuration when the converter is made (BriskoC.ini):
//   UIConvertMode 0 nothing, 2 interface 950 (program texts GB to Big5), 4 interface 936 on
//   a 950 system (texts stay, the title bar is converted).
//   DBConvertMode 0 nothing, 1 UI 936 / database 950, 2 UI 950 / database 936.
// Conversion types (ConvertValue): 1 Big5 to GB, 2 GB to Big5, anything else none.

#include "config/DesignType.h"
#include "config/Dialogs.h"
#include "config/TranslatorU.h"
#include "platform/Variant.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <memory>
#include <string>
#include <unordered_map>

class QFont;
class QWidget;

class TCodeConverter : public QObject {
    Q_OBJECT

public:
    // Reads the client configuration. A translator is made when either mode needs one;
    // its load errors (TTranslator) reach the caller when the interface needs it. A GB
    // interface on a Big5 database opens without it: the alert log "CodeConverter" says so
    // once in a process, and values pass unconverted.
    explicit TCodeConverter(QObject* owner = nullptr, const std::string& translatorLibrary = TTranslator::LibraryName);
    ~TCodeConverter() override;

    QString SystemCodePage() const { return systemCodePage_; }
    QString UICodePage() const { return uiCodePage_; }
    QString DBCodePage() const { return dbCodePage_; }
    quint8 UIConvertMode() const { return uiConvertMode_; }
    quint8 DBConvertMode() const { return dbConvertMode_; }
    // Changing it later reloads nothing, as the configuration was read when made.
    TDesignType DesignType() const { return designType_; }
    void SetDesignType(TDesignType type) { designType_ = type; }
    const TTranslator* Translator() const { return translator_.get(); }

    // A copy of value; texts converted by type, one-dimensional arrays element by element
    // (nested arrays too), two-dimensional ones cell by cell. Empty, Null and other kinds
    // come back as they are.
    Variant ConvertValue(int type, const Variant& value) const;
    QString ConvertValue(int type, const QString& text) const;

    Variant DisplayConvert(const Variant& value) const { return ConvertValue(uiConvertMode_, value); }
    QString DisplayConvert(const QString& text) const { return ConvertValue(uiConvertMode_, text); }
    // Back from the interface's script to the program's; a failing conversion keeps the value.
    Variant ReverseDisplayConvert(const Variant& value) const;
    QString ReverseDisplayConvert(const QString& text) const;
    // Database to interface, and back; the outgoing one keeps the value when it fails.
    Variant IncomingConvert(const Variant& value) const { return ConvertValue(dbConvertMode_, value); }
    QString IncomingConvert(const QString& text) const { return ConvertValue(dbConvertMode_, text); }
    Variant OutgoingConvert(const Variant& value) const;
    QString OutgoingConvert(const QString& text) const;

    // Direct conversions; raise Exception without a translator.
    QString BIG5ToGBText(const QString& text) const;
    QString GBToBIG5Text(const QString& text) const;

    // The font of a mode: SimSun, charset 134 (GB2312) for 0, 1 and 4, 136 (Big5) for 2 and 3.
    static void ApplyModeFont(quint8 mode, QFont& font, int& charset);
    // The same on a control's Font property and its charset.
    static void ApplyModeFont(quint8 mode, QObject* control);

    // A message dialog of the owner form: nothing for an empty text (answers mrNone); six
    // blanks after the text in a GB interface or on a GB system; a minimised owner is
    // restored first; the owner's caption; the mode's font.
    int ShowMessageDialog(const QString& text, TMsgDlgType type, std::initializer_list<TMsgDlgBtn> buttons);

    // Converts a form's texts and fonts for display (does nothing in UIConvertMode 0).
    // Exception lines: component name, then (separated by character 3) the properties that
    // stay; a line of a name alone leaves that component untouched.
    void ConvertForm(QWidget* form, const QStringList* exceptions, bool includeGrids);
    QStringList& Exceptions() { return exceptions_; }

private:
    using TextCache = std::unordered_map<std::string, std::string>;
    Variant convertVariant(int type, const Variant& value, TextCache& cache) const;
    std::string convertText(int type, const std::string& text) const;
    void convertTextProperty(QObject* component, const QString& name) const;
    void convertListProperty(QObject* component, const QString& name) const;
    void convertComponent(QObject* component, const QString& keep) const;
    void convertClassSpecific(QObject* component, bool includeGrids) const;

    std::unique_ptr<TTranslator> translator_;
    QString systemCodePage_ = QStringLiteral("936");
    QString uiCodePage_ = QStringLiteral("936");
    QString dbCodePage_ = QStringLiteral("936");
    quint8 uiConvertMode_ = 0;
    quint8 dbConvertMode_ = 0;
    TDesignType designType_ = dtClient;
    QStringList exceptions_;
};
