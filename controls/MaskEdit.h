#pragma once
// TMaskEdit: an edit whose text follows an edit mask ("9999/99/99;1; "), by the rules of
// the support library's mask engine (support/EditMask.h): typed characters overwrite
// their positions, literals are stepped over, Delete and Backspace blank positions, and
// Text reads what the mask saves. Without a mask it is a plain edit.
//
// TOrvMaskEdit is the select panel's edit: while ReMasking is set it raises no change
// notification (the panel re-masks it without the form noticing).

#include "controls/QvControl.h"

#include "support/EditMask.h"

#include <QLineEdit>

class TMaskEdit : public TQvControl<QLineEdit> {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(QString EditText READ EditText WRITE SetEditText)
    Q_PROPERTY(QString EditMask READ EditMask WRITE SetEditMask)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
    Q_PROPERTY(bool TabStop READ TabStop WRITE SetTabStop)
    Q_PROPERTY(bool ReadOnly READ isReadOnly WRITE setReadOnly)
    Q_PROPERTY(int MaxLength READ MaxLength WRITE SetMaxLength)
    Q_PROPERTY(QString ImeName READ ImeName WRITE SetImeName)

public:
    explicit TMaskEdit(QWidget* parent = nullptr);

    // The text as the mask saves it: literals kept or not, blank positions as spaces.
    QString Text() const;
    void SetText(const QString& text);
    // The text as shown, blanks as the mask's blank character.
    QString EditText() const { return QLineEdit::text(); }
    void SetEditText(const QString& text);
    QString EditMask() const { return QString::fromStdString(mask_.text()); }
    // Keeps the text, laid out again under the new mask.
    void SetEditMask(const QString& mask);
    const ::EditMask& Mask() const { return mask_; }
    bool IsMasked() const { return mask_.isMasked(); }
    // 0 is no limit.
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int n);
    QString ImeName() const { return imeName_; }
    void SetImeName(const QString& name) { imeName_ = name; }

    // Blanks every editable position (the text of an empty edit under the mask).
    void Clear();

protected:
    QPalette::ColorRole colorRole() const override { return QPalette::Base; }
    void defaultKeyPress(QKeyEvent* event) override;
    // Whether a text change is reported as OnChange.
    virtual bool ReportsChange() const { return true; }

private:
    void typeText(const QString& text);
    void clearSelectionOrAt(int position, bool backwards);
    void setEditTextQuietly(const QString& text, int cursor);

    ::EditMask mask_;
    int maxLength_ = 0;
    QString imeName_;
};

class TOrvMaskEdit : public TMaskEdit {
    Q_OBJECT

public:
    explicit TOrvMaskEdit(QWidget* parent = nullptr) : TMaskEdit(parent) {}

    bool ReMasking() const { return reMasking_; }
    void SetReMasking(bool on) { reMasking_ = on; }

protected:
    bool ReportsChange() const override { return !reMasking_; }

private:
    bool reMasking_ = false;
};
