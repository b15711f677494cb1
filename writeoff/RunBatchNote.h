#pragma once
// A periodic write-off's batch number is a prefix: each run posts under prefix + "-" + its
// run key, the run date (the run number for hourly cycles), so that no run finds its
// number used by the run before. While btnPeriod is down the batch field takes the prefix
// alone, a note under it shows the first run's number, and the used-number check looks
// that number up.

#include <QString>

class TfrmWOFB07;

namespace RunBatchNote {

// The longest prefix: the 13 characters of a batch number less "-" and the 8 of the key.
constexpr int kMaxPrefix = 4;

// The number the used-number check looks up for the field's text: the text itself, or
// while btnPeriod is down the first run's number (empty when the schedule gives no run
// yet). refusal: the message when the text is too long for a prefix.
QString NumberToCheck(TfrmWOFB07& form, const QString& text, QString& refusal);
// Shows the note and limits the field while btnPeriod is down; as before while it is up.
void Refresh(TfrmWOFB07& form);

} // namespace RunBatchNote
