#include "controls/MaskEdit.h"

#include <QApplication>
#include <QClipboard>

TMaskEdit::TMaskEdit(QWidget* parent) : TQvControl<QLineEdit>(parent)
{
    resize(121, 21);
    // Drops and the input method would bypass the mask.
    setAcceptDrops(false);
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (ReportsChange())
            Fire(OnChange, this);
    });
}

QString TMaskEdit::Text() const
{
    const QString shown = QLineEdit::text();
    if (!mask_.isMasked())
        return shown;
    return QString::fromStdString(mask_.textFromEditText(shown.toStdString()));
}

void TMaskEdit::SetText(const QString& text)
{
    if (!mask_.isMasked()) {
        QLineEdit::setText(maxLength_ > 0 ? text.left(maxLength_) : text);
        return;
    }
    QLineEdit::setText(QString::fromStdString(mask_.editTextFromText(text.toStdString())));
}

void TMaskEdit::SetEditText(const QString& text)
{
    if (!mask_.isMasked()) {
        SetText(text);
        return;
    }
    // An edit text is taken position by position; what does not fit a position is blank.
    std::string edit = mask_.clearedEditText();
    const std::u32string typed = text.toStdU32String();
    for (int i = 0; i < mask_.length() && i < int(typed.size()); ++i) {
        if (!mask_.isEditable(i))
            continue;
        if (auto c = mask_.acceptChar(i, typed[std::size_t(i)])) {
            std::u32string e = QString::fromStdString(edit).toStdU32String();
            e[std::size_t(i)] = *c;
            edit = QString::fromStdU32String(e).toStdString();
        }
    }
    QLineEdit::setText(QString::fromStdString(edit));
}

void TMaskEdit::SetEditMask(const QString& mask)
{
    const QString old = Text();
    mask_ = ::EditMask(mask.toStdString());
    // Qt's own mask and length limit never apply: the mask engine keeps the text.
    QLineEdit::setMaxLength(32767);
    SetText(old);
}

void TMaskEdit::SetMaxLength(int n)
{
    maxLength_ = std::max(0, n);
    if (!mask_.isMasked() && maxLength_ > 0 && QLineEdit::text().size() > maxLength_)
        QLineEdit::setText(QLineEdit::text().left(maxLength_));
}

void TMaskEdit::Clear()
{
    if (mask_.isMasked())
        QLineEdit::setText(QString::fromStdString(mask_.clearedEditText()));
    else
        QLineEdit::clear();
}

void TMaskEdit::setEditTextQuietly(const QString& text, int cursor)
{
    if (text != QLineEdit::text())
        QLineEdit::setText(text);
    setCursorPosition(std::clamp(cursor, 0, int(text.size())));
}

void TMaskEdit::typeText(const QString& text)
{
    QString edit = QLineEdit::text();
    int cursor = cursorPosition();
    if (hasSelectedText()) {
        const int start = selectionStart();
        edit = QString::fromStdString(mask_.clearRange(edit.toStdString(), start, int(selectedText().size())));
        cursor = start;
    }
    for (char32_t ch : text.toStdU32String()) {
        const auto typed = mask_.typeChar(edit.toStdString(), cursor, ch);
        if (!typed)
            break;
        edit = QString::fromStdString(typed->editText);
        cursor = typed->cursor;
    }
    setEditTextQuietly(edit, cursor);
}

void TMaskEdit::clearSelectionOrAt(int position, bool backwards)
{
    const QString edit = QLineEdit::text();
    if (hasSelectedText()) {
        const int start = selectionStart();
        setEditTextQuietly(
            QString::fromStdString(mask_.clearRange(edit.toStdString(), start, int(selectedText().size()))), start);
        return;
    }
    const int at = backwards ? mask_.previousEditable(position) : mask_.nextEditable(position);
    if (at < 0 || at >= mask_.length()) {
        if (backwards)
            setCursorPosition(std::max(0, position - 1));
        return;
    }
    setEditTextQuietly(QString::fromStdString(mask_.clearRange(edit.toStdString(), at, 1)), backwards ? at : position);
}

void TMaskEdit::defaultKeyPress(QKeyEvent* event)
{
    if (!mask_.isMasked() || isReadOnly()) {
        if (!mask_.isMasked() && maxLength_ > 0 && !event->text().isEmpty() && event->text().at(0).isPrint()
            && !hasSelectedText() && QLineEdit::text().size() >= maxLength_) {
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        typeText(QApplication::clipboard()->text());
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Cut)) {
        copy();
        clearSelectionOrAt(cursorPosition(), false);
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) {
        event->accept();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Backspace:
        clearSelectionOrAt(cursorPosition(), true);
        event->accept();
        return;
    case Qt::Key_Delete:
        clearSelectionOrAt(cursorPosition(), false);
        event->accept();
        return;
    default:
        break;
    }
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        typeText(text);
        event->accept();
        return;
    }
    // Moving, selecting and copying as any edit.
    QLineEdit::keyPressEvent(event);
}
