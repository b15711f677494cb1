#include "controls/QvSpin.h"

#include <QLineEdit>

#include <climits>

TQvSpinEdit::TQvSpinEdit(QWidget* parent) : TQvControl<QSpinBox>(parent)
{
    resize(121, 22);
    applyRange();
    // The editor's own signal: the box reports only texts it can read as a value.
    connect(lineEdit(), &QLineEdit::textChanged, this, [this](const QString& t) { changed(t); });
}

QString TQvSpinEdit::SignRule(const QString& text)
{
    if (text.size() > 1 && (text.indexOf(QLatin1Char('+'), 1) > 0 || text.indexOf(QLatin1Char('-'), 1) > 0))
        return text.left(text.size() - 1);
    return text;
}

QValidator::State TQvSpinEdit::validate(QString& input, int& pos) const
{
    // Intermediate texts the rule can mend are let through; the rule then mends them.
    if (SignRule(input) != input)
        return QValidator::Intermediate;
    return QSpinBox::validate(input, pos);
}

void TQvSpinEdit::changed(const QString& text)
{
    if (inRule_)
        return;
    const QString mended = SignRule(text);
    if (mended != text) {
        inRule_ = true;
        lineEdit()->setText(mended);
        inRule_ = false;
    }
    if (!lineEdit()->text().trimmed().isEmpty())
        Fire(OnChange, this);
}

QString TQvSpinEdit::Text() const
{
    return lineEdit()->text();
}

void TQvSpinEdit::SetText(const QString& text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (ok)
        setValue(v);
    else
        lineEdit()->setText(text);
}

void TQvSpinEdit::SetMinValue(int v)
{
    min_ = v;
    applyRange();
}

void TQvSpinEdit::SetMaxValue(int v)
{
    max_ = v;
    applyRange();
}

void TQvSpinEdit::applyRange()
{
    // Both 0: no limits; an upper limit below the lower one is none either.
    if (min_ == 0 && max_ == 0)
        setRange(INT_MIN, INT_MAX);
    else
        setRange(min_, max_ >= min_ ? max_ : INT_MAX);
}
