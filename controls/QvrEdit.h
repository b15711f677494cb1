#pragma once
// The captioned edit family. TQvEdit, TQvDBEdit and TQvComboBox carry their own caption
// label ("EditLabel", placed by LabelPosition and LabelSpacing beside the control, in the
// control's parent); the button edits add a look-up button ("F2Button") right of the
// edit that asks the owner form for a look-up of the edit (config/LookupRequest.h), or
// calls OnDialog instead when that is set.
//
// The label and the button are sub-components: they follow the control's parent, enabled
// state and visibility, and when one is destroyed first the control forgets it.

#include "controls/GSpdBtn.h"
#include "controls/QvControl.h"
#include "config/DisabledGlyph.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

enum TLabelPosition { lpAbove, lpBelow, lpLeft, lpRight };

// A sub-component that lives beside its control in the control's parent (a caption
// label, a look-up button): it follows the control's parent, enabled state, visibility
// and bounds, and is destroyed with the link.
class TCompanionLink : public QObject {
    Q_OBJECT
public:
    TCompanionLink(QWidget* control, QWidget* companion);
    ~TCompanionLink() override;
    // Places the companion by the control's bounds.
    virtual void Realign() = 0;
    QWidget* Companion() const { return companion_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Control events the companion needs beyond the common ones.
    virtual void controlEvent(QEvent*) {}

    QWidget* control_;

private:
    void follow();

    QPointer<QWidget> companion_;
};

// Keeps a label beside a control.
class TCaptionLabelLink : public TCompanionLink {
    Q_OBJECT
public:
    explicit TCaptionLabelLink(QWidget* control);

    QLabel* Label() const { return label_; }
    QString Caption() const { return label_ ? label_->text() : QString(); }
    void SetCaption(const QString& caption);
    TLabelPosition Position() const { return position_; }
    void SetPosition(TLabelPosition position);
    int Spacing() const { return spacing_; }
    // A negative spacing is ignored.
    void SetSpacing(int spacing);
    void Realign() override;

protected:
    void controlEvent(QEvent* event) override;

private:
    TCaptionLabelLink(QWidget* control, QLabel* label);

    QPointer<QLabel> label_;
    TLabelPosition position_ = lpLeft;
    int spacing_ = 4;
};

// Keeps a look-up button beside an edit and answers its click.
class TEditButtonLink : public TCompanionLink {
    Q_OBJECT
public:
    // onDialog: the edit's OnDialog event.
    TEditButtonLink(QWidget* edit, TNotifyEvent* onDialog);

    TGSpeedButton* Button() const { return button_; }
    int Spacing() const { return spacing_; }
    void SetSpacing(int spacing);
    void Realign() override;

private:
    TEditButtonLink(QWidget* edit, TNotifyEvent* onDialog, TGSpeedButton* button);
    void clicked();

    TNotifyEvent* onDialog_;
    QPointer<TGSpeedButton> button_;
    int spacing_ = 2;
};

class TQvEdit : public TQvControl<QLineEdit> {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(TLabelPosition LabelPosition READ LabelPosition WRITE SetLabelPosition)
    Q_PROPERTY(int LabelSpacing READ LabelSpacing WRITE SetLabelSpacing)
    Q_PROPERTY(QLabel* EditLabel READ EditLabel)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
    Q_PROPERTY(bool TabStop READ TabStop WRITE SetTabStop)
    Q_PROPERTY(bool ReadOnly READ isReadOnly WRITE setReadOnly)
    Q_PROPERTY(int MaxLength READ MaxLength WRITE SetMaxLength)
    Q_PROPERTY(QString ImeName READ ImeName WRITE SetImeName)
    Q_PROPERTY(TEditCharCase CharCase READ CharCase WRITE SetCharCase)

public:
    enum TLabelPosition { lpAbove = ::lpAbove, lpBelow = ::lpBelow, lpLeft = ::lpLeft, lpRight = ::lpRight };
    Q_ENUM(TLabelPosition)
    enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };
    Q_ENUM(TEditCharCase)

    explicit TQvEdit(QWidget* parent = nullptr);

    QString Text() const { return text(); }
    void SetText(const QString& text) { setText(text); }
    QString Caption() const { return label_->Caption(); }
    void SetCaption(const QString& caption) { label_->SetCaption(caption); }
    TLabelPosition LabelPosition() const { return TLabelPosition(label_->Position()); }
    void SetLabelPosition(TLabelPosition p) { label_->SetPosition(::TLabelPosition(p)); }
    int LabelSpacing() const { return label_->Spacing(); }
    void SetLabelSpacing(int s) { label_->SetSpacing(s); }
    QLabel* EditLabel() const { return label_->Label(); }
    int MaxLength() const { return maxLength() == 32767 ? 0 : maxLength(); }
    void SetMaxLength(int n) { setMaxLength(n > 0 ? n : 32767); }
    QString ImeName() const { return imeName_; }
    void SetImeName(const QString& name) { imeName_ = name; }
    // The case of every text the edit takes, however it arrives (typed, pasted, set).
    TEditCharCase CharCase() const { return charCase_; }
    void SetCharCase(TEditCharCase charCase);

protected:
    QPalette::ColorRole colorRole() const override { return QPalette::Base; }

private:
    TCaptionLabelLink* label_;
    QString imeName_;
    TEditCharCase charCase_ = ecNormal;
};

// A data-aware edit: shows the field DataField of the current record of DataSource (a
// TDataSource or any model that publishes the field's column by name) and writes it back
// when the user leaves the edit. It shows the field's display text (its display format)
// except while the user edits it; it is read-only when set so or when the field is.
class TQvDBEdit : public TQvEdit {
    Q_OBJECT
    Q_PROPERTY(QObject* DataSource READ DataSource WRITE SetDataSource)
    Q_PROPERTY(QString DataField READ DataField WRITE SetDataField)

public:
    explicit TQvDBEdit(QWidget* parent = nullptr);

    QObject* DataSource() const { return dataSource_; }
    void SetDataSource(QObject* source);
    QString DataField() const { return dataField_; }
    void SetDataField(const QString& field);

    // Shows the field's value again.
    void Refresh();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int fieldColumn() const;
    int currentRow() const;

    QPointer<QObject> dataSource_;
    QString dataField_;
    bool modified_ = false;
    // What the owner asked for; a field's own read-only flag adds to it, never undoes it.
    bool readOnly_ = false;
    bool refreshing_ = false;
    QList<QMetaObject::Connection> connections_;
};

class TQvBtnEdit : public TQvEdit {
    Q_OBJECT
    Q_PROPERTY(int ButtonSpacing READ ButtonSpacing WRITE SetButtonSpacing)
    Q_PROPERTY(int GlyphIndex READ GlyphIndex WRITE SetGlyphIndex)
    Q_PROPERTY(QString ButtonHint READ ButtonHint WRITE SetButtonHint)
    Q_PROPERTY(TGSpeedButton* F2Button READ F2Button)

public:
    explicit TQvBtnEdit(QWidget* parent = nullptr);

    int ButtonSpacing() const { return button_->Spacing(); }
    void SetButtonSpacing(int s) { button_->SetSpacing(s); }
    int GlyphIndex() const { return F2Button() ? F2Button()->GlyphIndex() : 0; }
    void SetGlyphIndex(int n);
    QString ButtonHint() const { return F2Button() ? F2Button()->Hint() : QString(); }
    void SetButtonHint(const QString& hint);
    TGSpeedButton* F2Button() const { return button_->Button(); }

    // Set: called with the edit instead of the look-up request.
    TNotifyEvent OnDialog;
    TNotifyEvent* notifyEvent(std::string_view name) override;

private:
    TEditButtonLink* button_;
};

class TQvBtnDBEdit : public TQvDBEdit, public TGlyphButtonHost {
    Q_OBJECT
    Q_PROPERTY(int ButtonSpacing READ ButtonSpacing WRITE SetButtonSpacing)
    Q_PROPERTY(int GlyphIndex READ GlyphIndex WRITE SetGlyphIndex)
    Q_PROPERTY(QString ButtonHint READ ButtonHint WRITE SetButtonHint)
    Q_PROPERTY(TGSpeedButton* F2Button READ F2Button)

public:
    explicit TQvBtnDBEdit(QWidget* parent = nullptr);

    int ButtonSpacing() const { return button_->Spacing(); }
    void SetButtonSpacing(int s) { button_->SetSpacing(s); }
    int GlyphIndex() const { return F2Button() ? F2Button()->GlyphIndex() : 0; }
    void SetGlyphIndex(int n);
    QString ButtonHint() const { return F2Button() ? F2Button()->Hint() : QString(); }
    void SetButtonHint(const QString& hint);
    TGSpeedButton* F2Button() const { return button_->Button(); }

    TNotifyEvent OnDialog;
    TNotifyEvent* notifyEvent(std::string_view name) override;
    // The form draws the disabled image of this edit's button.
    QList<TGlyphButton*> DisabledGlyphButtons() override;

private:
    TEditButtonLink* button_;
};

class TQvComboBox : public TQvControl<QComboBox> {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(QStringList Items READ Items WRITE SetItems)
    Q_PROPERTY(QStringList Values READ Values WRITE SetValues)
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE SetItemIndex)
    Q_PROPERTY(TComboBoxStyle Style READ Style WRITE SetStyle)
    Q_PROPERTY(int DropDownCount READ DropDownCount WRITE SetDropDownCount)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(TLabelPosition LabelPosition READ LabelPosition WRITE SetLabelPosition)
    Q_PROPERTY(int LabelSpacing READ LabelSpacing WRITE SetLabelSpacing)
    Q_PROPERTY(QLabel* EditLabel READ EditLabel)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
    Q_PROPERTY(bool TabStop READ TabStop WRITE SetTabStop)
    Q_PROPERTY(QString ImeName READ ImeName WRITE SetImeName)

public:
    enum TLabelPosition { lpAbove = ::lpAbove, lpBelow = ::lpBelow, lpLeft = ::lpLeft, lpRight = ::lpRight };
    Q_ENUM(TLabelPosition)
    enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
    Q_ENUM(TComboBoxStyle)

    explicit TQvComboBox(QWidget* parent = nullptr);

    // The edit text, or the chosen item's text for a list-only box. Setting it on a
    // list-only box chooses the item of that text (none when there is no such item).
    QString Text() const { return currentText(); }
    void SetText(const QString& text);
    QStringList Items() const;
    // The selected item stays selected when its text is still there.
    void SetItems(const QStringList& items);
    int ItemIndex() const { return currentIndex(); }
    void SetItemIndex(int index);
    // The stored codes of the items, line by line: a mapped combo shows a code as its item.
    QStringList Values() const { return values_; }
    void SetValues(const QStringList& values) { values_ = values; }
    // The item of the first line whose value is the code; the code itself when none is.
    QString ItemOfValue(const QString& code) const;
    TComboBoxStyle Style() const { return style_; }
    void SetStyle(TComboBoxStyle style);
    int DropDownCount() const { return maxVisibleItems(); }
    void SetDropDownCount(int n) { setMaxVisibleItems(std::max(1, n)); }
    QString Caption() const { return label_->Caption(); }
    void SetCaption(const QString& caption) { label_->SetCaption(caption); }
    TLabelPosition LabelPosition() const { return TLabelPosition(label_->Position()); }
    void SetLabelPosition(TLabelPosition p) { label_->SetPosition(::TLabelPosition(p)); }
    int LabelSpacing() const { return label_->Spacing(); }
    void SetLabelSpacing(int s) { label_->SetSpacing(s); }
    QLabel* EditLabel() const { return label_->Label(); }
    QString ImeName() const { return imeName_; }
    void SetImeName(const QString& name) { imeName_ = name; }

    TNotifyEvent OnDropDown;
    TNotifyEvent* notifyEvent(std::string_view name) override;

protected:
    QPalette::ColorRole colorRole() const override { return QPalette::Base; }
    void showPopup() override;

private:
    TCaptionLabelLink* label_;
    TComboBoxStyle style_ = csDropDown;
    QString imeName_;
    QStringList values_;
};
