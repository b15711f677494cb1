#pragma once
// Run-time property helpers: published properties of any component read and written by
// name, as the framework does when it saves condition schemes ("control.property"),
// applies language files, hands parameters over or swaps event handlers.
//
// Names compare without regard to case (an exact match wins). Properties are the
// meta-object's declared ones only: Qt's setProperty would silently create a dynamic
// property for an unknown name, which these helpers never do. Every widget also answers a
// few names that all the system's controls publish (Hint, Left, Top, Width, Height, Name,
// TabStop, Color, Caption of a window or a group box) where its class does not declare
// them itself.
// Events are the TEventSource members of config/Events.h.
//
// Every helper does nothing, or returns an empty text, 0 or false, when the object is
// absent, the name is empty or no such property exists.

#include "config/Events.h"

#include <QColor>
#include <QList>
#include <QMetaProperty>
#include <QString>
#include <QVariant>

class QObject;
class QWidget;

TNotifyEvent GetMethodProperty(QObject* object, const QString& name);
bool SetMethodProperty(QObject* object, const QString& name, const TNotifyEvent& handler);
QString GetStringProperty(const QObject* object, const QString& name);
bool SetStringProperty(QObject* object, const QString& name, const QString& value);
// Integers, Booleans (0 or 1), enumerations (their value), colours (as TColor values).
int GetOrdinalProperty(const QObject* object, const QString& name);
bool SetOrdinalProperty(QObject* object, const QString& name, int value);
// True for a published property or event of that name.
bool HasProperty(const QObject* object, const QString& name);

// The declared property of that name (invalid when there is none).
QMetaProperty FindProperty(const QObject* object, const QString& name);
// Any published value by name, as a QVariant (invalid when there is none).
QVariant GetPropertyValue(const QObject* object, const QString& name);
// Sets a published value; the value is converted to the property's type (enumerations
// and colours accept their names). False when there is no such property or the value
// does not convert.
bool SetPropertyValue(QObject* object, const QString& name, const QVariant& value);

// Components. A component is a named object below its owner; the children of the
// system's composite controls (the label of a captioned edit, the panels and buttons of a
// select panel) are sub-components: they belong to their control, not to the form.
void SetSubComponent(QObject* object, bool subComponent = true);
bool IsSubComponent(const QObject* object);
// A sub-component that lives outside its control (the caption label beside an edit).
void SetSubComponentOf(QObject* object, const QObject* control);
// The parts of a component, in creation order: the sub-components below it (and theirs)
// and those beside it that belong to it.
QList<QObject*> SubComponents(const QObject* component);
// The components an owner holds, in creation order (sub-components excluded).
QList<QObject*> OwnedComponents(const QObject* owner);
// A component of the owner by name, case-insensitively; also a named sub-component of
// the owner itself. nullptr when there is none.
QObject* FindComponent(const QObject* owner, const QString& name);

// Property paths: "Caption", "edDate.Text", "Font.Name", "grdResult.GridColors.OddRecColor".
// The first part may name a component of the root; further parts name object-valued
// properties (or sub-components); a font property is followed by Name, Size, Height,
// Charset, Color or Style.
QVariant GetPropertyPath(const QObject* root, const QString& path);
bool SetPropertyPath(QObject* root, const QString& path, const QVariant& value);
QString GetPropertyPathText(const QObject* root, const QString& path);
bool SetPropertyPathText(QObject* root, const QString& path, const QString& text);

// Fonts carry a character set (134 GB2312, 136 Big5, 1 default); Qt's fonts have none,
// so the control keeps it beside its font.
int FontCharset(const QObject* control);
void SetFontCharset(QObject* control, int charset);

// Colours as the system writes them: TColor values (0x00BBGGRR; 0x80000000 + n are the
// system's named colours) and names such as "clRed" or "clBtnFace".
QColor TColorToQColor(int color);
int QColorToTColor(const QColor& color);
// Reads "clRed", "$00FF0000", "#ff0000" or a decimal TColor; false when unreadable.
bool ColorFromText(const QString& text, QColor& color);
QString ColorToText(const QColor& color);
constexpr int clBtnFace = int(0x8000000F), clWindow = int(0x80000005), clWindowText = int(0x80000008),
              clHighlight = int(0x8000000D), clBtnShadow = int(0x80000010), clBtnHighlight = int(0x80000014),
              clActiveCaption = int(0x80000002), clInactiveCaption = int(0x80000003),
              clCaptionText = int(0x80000009), clInactiveCaptionText = int(0x80000013);
