#include "writeoff/RunBatchNote.h"

#include "controls/Buttons.h"
#include "controls/QvRadioButton.h"
#include "controls/QvrEdit.h"
#include "platform/OleDate.h"
#include "support/RunSchedule.h"
#include "writeoff/WOFB07CF.h"

#include <QLabel>

#include <algorithm>

namespace {

constexpr int kMaxBatchNo = 13;

bool periodic(const TfrmWOFB07& f)
{
    return f.btnPeriod && f.btnPeriod->Down();
}

// The first run's key, and whether it is a run date; empty while the schedule is incomplete.
QString firstRunKey(TfrmWOFB07& f, bool& dated)
{
    RunPeriod period;
    std::string why;
    if (!ReadRunPeriod(f.PeriodValue(), period, why))
        return {};
    dated = period.kind != 3;
    // As the job service will reckon it when the job is handed over now.
    const double now = Now();
    const int runMode = f.rdoRealTime->Checked() ? 1 : 2;
    const double first = FirstQueuedRun(&period, runMode, now, now);
    return first > 0 ? QString::fromStdString(PeriodicRunKey(period, first, 1)) : QString();
}

} // namespace

namespace RunBatchNote {

QString NumberToCheck(TfrmWOFB07& f, const QString& text, QString& refusal)
{
    refusal.clear();
    if (!periodic(f))
        return text;
    if (text.size() > kMaxPrefix) {
        refusal = QStringLiteral("E;200686;%1;%2").arg(text).arg(kMaxPrefix);
        return {};
    }
    bool dated = true;
    const QString key = firstRunKey(f, dated);
    return key.isEmpty() ? QString() : text + QLatin1Char('-') + key;
}

void Refresh(TfrmWOFB07& f)
{
    QLabel* note = f.lblRunBatch;
    QWidget* row = note->parentWidget();
    if (!periodic(f)) {
        note->hide();
        row->setMinimumHeight(note->y());
        f.ed10->SetMaxLength(kMaxBatchNo);
        return;
    }
    // What is typed already stays, too long or not: leaving the field says so.
    f.ed10->SetMaxLength(std::max<int>(kMaxPrefix, f.ed10->Text().size()));
    bool dated = true;
    const QString key = firstRunKey(f, dated);
    const QString prefix = f.ed10->Text().trimmed();
    const QString example = (prefix.isEmpty() ? QStringLiteral("…") : prefix) + QLatin1Char('-')
                          + (key.isEmpty() ? QString(8, QLatin1Char('?')) : key);
    const QString text = dated ? f.GetText(QStringLiteral("TfrmWOFB07"), QStringLiteral("sRunBatchDate"),
                                           QStringLiteral("每次运行的批号加上运行日期, 第一次运行的批号: %1"))
                               : f.GetText(QStringLiteral("TfrmWOFB07"), QStringLiteral("sRunBatchNumber"),
                                           QStringLiteral("每次运行的批号加上运行序号, 第一次运行的批号: %1"));
    note->setText(text.arg(example));
    note->adjustSize();
    row->setMinimumHeight(note->y() + note->height() + 2);
    note->show();
}

} // namespace RunBatchNote
