#include "host/DatePicker.h"

#include <QCalendarWidget>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QDate kFirstDay(1753, 1, 1);
const QDate kLastDay(9999, 12, 31);

} // namespace

DatePicker::DatePicker(const QDate& start, bool rocYears, HostLanguage language, QWidget* parent)
    : QDialog(parent), rocYears_(rocYears), language_(language)
{
    setObjectName(QStringLiteral("frmInputDay"));
    static constexpr Wording3 title{"日期快手", "日期快手", "Pick a date"};
    setWindowTitle(QString::fromUtf8(title.in(language)));

    calendar_ = new QCalendarWidget(this);
    calendar_->setObjectName(QStringLiteral("calendar"));
    // Month and weekday names in the interface's language, not the machine's.
    calendar_->setLocale(localeOf(language));
    calendar_->setDateRange(kFirstDay, kLastDay);
    calendar_->setGridVisible(true);
    calendar_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    const QDate first = start.isValid() && start >= kFirstDay && start <= kLastDay ? start : QDate::currentDate();
    calendar_->setSelectedDate(first);
    // A double click or Enter on a day takes it.
    connect(calendar_, &QCalendarWidget::activated, this, [this](const QDate&) { accept(); });
    connect(calendar_, &QCalendarWidget::selectionChanged, this, &DatePicker::showSelected);

    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("lblDate"));

    static constexpr Wording3 today{"今天(&T)", "今天(&T)", "&Today"};
    static constexpr Wording3 ok{"确定", "確定", "OK"};
    static constexpr Wording3 cancel{"取消", "取消", "Cancel"};
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* btnToday = buttons->addButton(QString::fromUtf8(today.in(language)), QDialogButtonBox::ResetRole);
    btnToday->setObjectName(QStringLiteral("btnToday"));
    btnToday->setAutoDefault(false);
    QPushButton* btnOk = buttons->addButton(QString::fromUtf8(ok.in(language)), QDialogButtonBox::AcceptRole);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    QPushButton* btnCancel = buttons->addButton(QString::fromUtf8(cancel.in(language)), QDialogButtonBox::RejectRole);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnToday, &QPushButton::clicked, this, [this] { calendar_->setSelectedDate(QDate::currentDate()); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(calendar_);
    layout->addWidget(label_);
    layout->addWidget(buttons);
    showSelected();
    calendar_->setFocus();
}

QLocale DatePicker::localeOf(HostLanguage language)
{
    switch (language) {
    case HostLanguage::Simplified:
        return QLocale(QLocale::Chinese, QLocale::SimplifiedHanScript, QLocale::China);
    case HostLanguage::Traditional:
        return QLocale(QLocale::Chinese, QLocale::TraditionalHanScript, QLocale::Taiwan);
    case HostLanguage::English:
        break;
    }
    return QLocale(QLocale::English, QLocale::UnitedStates);
}

QDate DatePicker::selectedDate() const
{
    return calendar_->selectedDate();
}

QString DatePicker::compactText(const QDate& date)
{
    return date.isValid() ? date.toString(QStringLiteral("yyyyMMdd")) : QString();
}

QDate DatePicker::fromCompactText(const QString& text)
{
    const QString t = text.trimmed();
    if (t.size() != 8)
        return {};
    for (QChar c : t)
        if (c < u'0' || c > u'9')
            return {};
    const QDate d(t.left(4).toInt(), t.mid(4, 2).toInt(), t.right(2).toInt());
    if (!d.isValid() || d < kFirstDay || d > kLastDay)
        return {};
    return d;
}

QString DatePicker::displayText(const QDate& date, bool rocYears, HostLanguage language)
{
    if (!date.isValid())
        return {};
    if (!rocYears)
        return date.toString(QStringLiteral("yyyy/MM/dd"));
    // Years before 1912 have no count of their own; show the common era.
    if (date.year() < 1912)
        return date.toString(QStringLiteral("yyyy/MM/dd"));
    static constexpr Wording3 roc{"民国 %1 年 %2 月 %3 日", "民國 %1 年 %2 月 %3 日", "ROC %1/%2/%3"};
    return QString::fromUtf8(roc.in(language))
        .arg(date.year() - 1911)
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.day(), 2, 10, QLatin1Char('0'));
}

void DatePicker::showSelected()
{
    label_->setText(displayText(calendar_->selectedDate(), rocYears_, language_));
}
