#include "writeoff/CandidateFind.h"

#include "dataset/ClientDataSet.h"

CandidateFind::CandidateFind(const TClientDataSet& candidates, const QString& text)
    : text_(text.trimmed()),
      supplier_(candidates.FieldByName("MA002")),
      name_(candidates.FieldByName("MA003")),
      type_(candidates.FieldByName("MA005")),
      document_(candidates.FieldByName("MA006")),
      amounts_{candidates.FieldByName("MA016"), candidates.FieldByName("MA017"), candidates.FieldByName("MA021"),
               candidates.FieldByName("MA022")}
{
    QString number = text_;
    number.remove(QLatin1Char(','));
    bool digits = !number.isEmpty();
    for (const QChar c : number)
        digits = digits && (c.isDigit() || c == QLatin1Char('.') || c == QLatin1Char('-'));
    if (digits)
        number_ = number;
}

bool CandidateFind::contains(const TField* field) const
{
    return QString::fromStdString(field->AsString()).contains(text_, Qt::CaseInsensitive);
}

bool CandidateFind::Matches() const
{
    if (text_.isEmpty())
        return true;
    if (contains(supplier_) || contains(name_) || contains(document_))
        return true;
    const QString type = QString::fromStdString(type_->AsString()).trimmed();
    const QString document = QString::fromStdString(document_->AsString()).trimmed();
    if ((type + document).contains(text_, Qt::CaseInsensitive)
        || (type + QLatin1Char('-') + document).contains(text_, Qt::CaseInsensitive))
        return true;
    if (number_.isEmpty())
        return false;
    // Amounts as shown, the separators left out on both sides.
    for (const TField* amount : amounts_) {
        QString shown = QString::fromStdString(amount->DisplayText());
        shown.remove(QLatin1Char(','));
        if (shown.contains(number_))
            return true;
    }
    return false;
}
