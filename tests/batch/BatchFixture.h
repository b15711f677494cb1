#pragma once
// A batch job under test: a small job derived from TfrmBaseBatch with a text, a day date,
// a date range and a year-month condition, opened against a fake session and a fake job
// service that records every call, with every dialog answered and recorded.

#include "jobform/JobFormFixture.h"

#include "batch/BaseBatchCF.h"
#include "batch/BaseOptU.h"
#include "controls/BtChkBox.h"
#include "controls/Buttons.h"
#include "controls/QvRadioButton.h"
#include "controls/QvSpin.h"
#include "platform/OleDate.h"
#include "support/Dates.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>

class FakeJobService : public DispatchObject {
public:
    FakeJobService()
    {
        defineMethod("SQLType", [](std::span<Variant>) { return Variant(3); });
        defineMethod("GetPower", [this](std::span<Variant> args) {
            calls.push_back({"GetPower", {args.begin(), args.end()}});
            return rights;
        });
        defineMethod("Request", [this](std::span<Variant> args) {
            calls.push_back({"Request", {args.begin(), args.end()}});
            if (raise)
                throw Exception("connection lost");
            return Variant(requestAnswer);
        });
        defineMethod("Request1", [this](std::span<Variant> args) {
            calls.push_back({"Request1", {args.begin(), args.end()}});
            return Variant(request1Answer);
        });
        defineMethod("ExecSvrDLL", [this](std::span<Variant> args) {
            calls.push_back({"ExecSvrDLL", {args.begin(), args.end()}});
            return Variant(execAnswer);
        });
        defineMethod("ErrorDescript", [this](std::span<Variant>) { return Variant(error); });
        defineMethod("UpdateStatus1", [this](std::span<Variant> args) {
            calls.push_back({"UpdateStatus1", {args.begin(), args.end()}});
            return Variant("");
        });
        defineMethod("QueueNotifications", [this](std::span<Variant> args) {
            calls.push_back({"QueueNotifications", {args.begin(), args.end()}});
            return Variant("");
        });
    }
    const RecordedCall* last(const std::string& name) const
    {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it)
            if (it->name == name)
                return &*it;
        return nullptr;
    }
    int count(const std::string& name) const
    {
        int n = 0;
        for (const RecordedCall& c : calls)
            n += c.name == name;
        return n;
    }

    Variant rights = Variant::list({"Y", "Y", "Y", "Y", "Y", "Y", "N", "", "DS"});
    std::string requestAnswer = "20240306000007";
    std::string request1Answer = "20240306000008";
    std::string execAnswer;
    std::string error = "程序代号不正确";
    bool raise = false;
    std::vector<RecordedCall> calls;
};

class BatchJob : public TfrmBaseBatch {
public:
    explicit BatchJob(bool dates = true) : TfrmBaseBatch(nullptr), dates_(dates)
    {
        setObjectName(QStringLiteral("frmWOFB07"));
        edFirst = new TQvEdit(tsOption1);
        edFirst->setObjectName(QStringLiteral("edFirst"));
        edFirst->setGeometry(80, 10, 100, 22);
        edDocDate = new TMaskEdit(tsOption1);
        edDocDate->setObjectName(QStringLiteral("edDocDate"));
        edDocDate->setGeometry(80, 40, 100, 22);
        spDocDate = new TSelectPanel(tsOption1);
        spDocDate->setObjectName(QStringLiteral("spDocDate"));
        spDocDate->SetCaption(QStringLiteral("单据区间"));
        spDocDate->move(10, 70);
        edMonth = new TMaskEdit(tsOption1);
        edMonth->setObjectName(QStringLiteral("edMonth"));
        edMonth->setGeometry(80, 140, 100, 22);
    }

    void InitJob() override
    {
        TfrmBaseBatch::InitJob();
        SetOptionCount(4);
        if (dates_) {
            AddDateFields(QStringLiteral("edDocDate,spDocDate"));
            MonthFields = QStringLiteral("edMonth");
        }
        SetRequiredFields(QStringLiteral("edFirst"));
    }
    bool CollectOptionTexts(Variant& texts, int index) override
    {
        if (!TfrmBaseBatch::CollectOptionTexts(texts, index))
            return false;
        texts[1] = Variant::list({"首项", "edFirst"});
        texts[2] = Variant::list({"单据日期", "edDocDate"});
        texts[3] = Variant::list({"单据区间", "spDocDate"});
        texts[4] = Variant::list({"月份", "edMonth"});
        return true;
    }
    bool CollectOptionValues(Variant& values, int index) override
    {
        if (!TfrmBaseBatch::CollectOptionValues(values, index))
            return false;
        values[1] = QStrToVar(edFirst->Text());
        values[2] = QStrToVar(DateTextToCompact(edDocDate->Text()));
        PutDateRange(spDocDate->edBegin->Text(), spDocDate->edFinal->Text(), values, 3);
        values[4] = QStrToVar(MonthTextToCompact(edMonth->Text()));
        return true;
    }

    TQvEdit* edFirst;
    TMaskEdit* edDocDate;
    TSelectPanel* spDocDate;
    TMaskEdit* edMonth;

private:
    bool dates_;
};

class BatchFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetFormatSettings();
        session = std::make_shared<FakeSession>();
        session->counter->settings = {{"Sys001", "1"}, {"Sys002", "/"}, {"QVR002", "华东示范电子有限公司"}};
        session->validator->rows["ADMMB/WOFB07"] =
            Variant::list({"应付账款转销作业", "WOF", "B", "N", "應付賬款轉銷作業", "WOFB07C", "x", "A/P Write-off Batch"});
        session->messages = {{"E000005", "%s 日期或时间不正确! %s"}, {"E000013", "作业登记失败! %s"},
                             {"E000037", "必须输入"},           {"E100082", "%s 不可早于 %s!"},
                             {"I000004", "作业已送出, 作业编号: %s"}, {"I000009", "请检查开始日期"},
                             {"I000010", "和执行时间。"}};
        service = std::make_shared<FakeJobService>();
        RegisterOleClass(TfrmBaseOpt::JobServiceName, [this] { return service; });
    }
    void TearDown() override
    {
        if (form)
            form->Free();
        settle();
        UnregisterOleClass(TfrmBaseOpt::JobServiceName);
        session->calls.clear();
        session->counter->calls.clear();
        session->validator->calls.clear();
        session->f2Window->calls.clear();
        service->calls.clear();
        resetFormatSettings();
    }

    bool open(bool dates = true)
    {
        form = TQVForm::Create<BatchJob>(dates);
        form->SetModuleFileName(QStringLiteral("/opt/qv/WOFB07C.so"));
        form->SessionObject = Variant(DispatchPtr(session));
        return form->InitSession(Variant::list({"DS", "01", "DEMO", std::int64_t(0), "extra"}));
    }

    // Presses btnPeriod as a user does (through the required-field hook, so the job's
    // own required field is filled first).
    void pressPeriod()
    {
        if (form->edFirst->Text().isEmpty())
            form->edFirst->SetText(QStringLiteral("x"));
        form->btnPeriod->click();
        settle();
    }
    // A periodic job every other Friday at 07:00 from 2030-03-06: first run 2030-03-15.
    void everyOtherFridayAtSeven()
    {
        pressPeriod();
        form->rdoEveryWeek->SetChecked(true);
        form->cboDayofWeek->SetItemIndex(5);
        form->meWeek->SetText(QStringLiteral("2"));
        form->meStartDate->SetText(QStringLiteral("2030/03/06"));
        form->sePeriodHour->SetText(QStringLiteral("7"));
    }
    static QString today(const char* separator = "/")
    {
        return QString::fromStdString(DateToDisplayText(1, separator, Today()));
    }
    static QString compactToday() { return QString::fromStdString(dateToCompact(Today())); }
    QStringList names(const QString& list) const
    {
        QStringList out;
        for (const QString& e : list.split(QLatin1Char(',')))
            if (!e.section(QLatin1Char(';'), 0, 0).trimmed().isEmpty())
                out << e.section(QLatin1Char(';'), 0, 0).trimmed();
        return out;
    }

    TestInstall install;
    DialogLog dialogs;
    std::shared_ptr<FakeSession> session;
    std::shared_ptr<FakeJobService> service;
    QPointer<BatchJob> form;
};
