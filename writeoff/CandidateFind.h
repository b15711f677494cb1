#pragma once
// What the find box above the candidate list looks for: the supplier's code or name, the
// document's number (also with its type before it, joined or with "-"), or an amount as
// the grid shows it, with or without its thousands separators ("1,200" and "1200" both
// find 1,200.00). Case does not matter; a part of the text is enough.

#include <QString>

class TClientDataSet;
class TField;

class CandidateFind {
public:
    CandidateFind(const TClientDataSet& candidates, const QString& text);

    bool IsEmpty() const { return text_.isEmpty(); }
    // Whether the record the data set's fields read now is one the text finds.
    bool Matches() const;

private:
    bool contains(const TField* field) const;

    QString text_;
    QString number_;   // the text as an amount, without thousands separators; empty if it is none
    const TField* supplier_;
    const TField* name_;
    const TField* type_;
    const TField* document_;
    const TField* amounts_[4];
};
