// The run-options form: its components, the required groups, the field checks, the
// periodic page and its date rules, the job request and its submission, the notification
// choice and the rights.

#include "BatchFixture.h"

#include "support/RunSchedule.h"

TEST_F(BatchFormTest, TheComponentsHaveTheirTextsLimitsAndDefaults)
{
    ASSERT_TRUE(open());
    EXPECT_EQ(form->rdoRealTime->Caption(), QStringLiteral("实时生成信息"));
    EXPECT_EQ(form->rdoRealTime->Hint(), QStringLiteral("信息需要立即生成"));
    EXPECT_EQ(form->rdoQueue->Hint(), QStringLiteral("排入工作队列等候运行"));
    EXPECT_EQ(form->rdoExceptTime->Caption(), QStringLiteral("在下列时间生成信息"));
    EXPECT_TRUE(form->rdoQueue->Checked()) << "the queue is the default";
    EXPECT_FALSE(form->pnlTime->isEnabled());
    EXPECT_FALSE(form->btnNotify->isEnabled());
    EXPECT_EQ(form->btnNotify->Hint().left(9), QStringLiteral("选择需要通知的用户"));
    EXPECT_FALSE(form->grpAlarm->isVisibleTo(form->tsOption2));
    EXPECT_EQ(form->grpGenTime->title(), QStringLiteral("运行方式")) << "the batch form's caption";
    EXPECT_EQ(form->btnOk->Caption(), QStringLiteral("后台处理"));
    EXPECT_EQ(form->btnQuery->Caption(), QStringLiteral("直接处理"));
    EXPECT_EQ(form->chkLog->Caption(), QStringLiteral("生成Log文档"));
    EXPECT_EQ(form->btnPeriod->Caption(), QStringLiteral("周期性"));
    EXPECT_EQ(form->btnPeriod->Hint(), QStringLiteral("周期性工作设置"));
    EXPECT_FALSE(form->tsPeriodOption->TabVisible());
    EXPECT_EQ(form->tsPeriodOption->Caption(), QStringLiteral("周期性设置"));
    EXPECT_EQ(form->miOKExit->text(), QStringLiteral("处理后直接退出作业(&C)"));
    EXPECT_EQ(form->miOKNoExit->text(), QStringLiteral("处理后并不退出作业(&B)"));
    EXPECT_TRUE(form->rdoEveryday->Checked());
    EXPECT_TRUE(form->rdomonth_1->Checked());
    EXPECT_TRUE(form->rbCycleRang_1->Checked());
    const std::vector<std::tuple<TQvSpinEdit*, int, int>> limits{
        {form->meDay, 1, 999},       {form->meWeek, 1, 99},        {form->meMonth_M1, 1, 99},
        {form->meMonth_D, 1, 31},    {form->meMonth_M2, 1, 99},    {form->meCycleRang_2, 1, 999},
        {form->sePeriodHour, 0, 23}, {form->sePeriodMin, 0, 59},   {form->seDay1, -99, 99},
        {form->seDay2, -999, 999},   {form->seDay_E1, -99, 99},    {form->seDay_B2, -999, 999},
        {form->edHour, 0, 23},       {form->edMin, 0, 59},         {form->edSec, 0, 59}};
    for (const auto& [spin, low, high] : limits) {
        EXPECT_EQ(spin->MinValue(), low) << spin->objectName().toStdString();
        EXPECT_EQ(spin->MaxValue(), high) << spin->objectName().toStdString();
    }
    EXPECT_EQ(form->edEveryHour->maxLength(), 6);
    EXPECT_EQ(form->cboDayofWeek->Items().first(), QStringLiteral("星期日"));
    EXPECT_EQ(form->cbo1Month_M2->Items().last(), QStringLiteral("最后"));
    EXPECT_EQ(form->cboDay_B2->Items(), (QStringList{"加/减", "第一天", "最后一天"}));
    EXPECT_EQ(form->cboDay1->Items(), (QStringList{"周", "月"}));
    EXPECT_EQ(form->EnvCount, 12);
    EXPECT_EQ(form->JobKind, QStringLiteral("B"));
    EXPECT_EQ(form->OptionCount, 6) << "four of the job's own, the log flag and the print date";
    EXPECT_EQ(form->SqlType, 3);
}

TEST_F(BatchFormTest, EachChoiceReplacesOnlyTheOptionGroup)
{
    ASSERT_TRUE(open());
    EXPECT_EQ(names(form->RequiredFields), (QStringList{"edFirst"}));
    form->edDate->SetText(QStringLiteral("2024/03/05"));

    form->rdoExceptTime->SetChecked(true);
    EXPECT_TRUE(form->pnlTime->isEnabled());
    EXPECT_EQ(names(form->RequiredFields), (QStringList{"edDate", "edFirst"}));
    form->rdoRealTime->SetChecked(true);
    EXPECT_FALSE(form->pnlTime->isEnabled());
    EXPECT_EQ(names(form->RequiredFields), (QStringList{"edFirst"}));

    // The job replacing its own list keeps the option group.
    form->rdoExceptTime->SetChecked(true);
    form->SetRequiredFields(QStringLiteral("edDocDate"));
    EXPECT_EQ(names(form->RequiredFields), (QStringList{"edDocDate", "edDate"}));
    form->SetRequiredFields(QStringLiteral("edFirst"));

    pressPeriod();
    ASSERT_TRUE(form->btnPeriod->Down());
    EXPECT_TRUE(form->rdoExceptTime->Checked());
    EXPECT_FALSE(form->grpGenTime->isEnabled());
    EXPECT_EQ(names(form->RequiredFields), (QStringList{"meDay", "meStartDate", "edDate", "edFirst"}));
    form->rdoEveryWeek->SetChecked(true);
    EXPECT_TRUE(names(form->RequiredFields).contains(QStringLiteral("meWeek")));
    EXPECT_FALSE(names(form->RequiredFields).contains(QStringLiteral("meDay")));
    form->rdoEveryMonth->SetChecked(true);
    EXPECT_TRUE(names(form->RequiredFields).contains(QStringLiteral("meMonth_D")));
    form->rdomonth_2->SetChecked(true);
    EXPECT_TRUE(names(form->RequiredFields).contains(QStringLiteral("meMonth_M2")));
    EXPECT_FALSE(names(form->RequiredFields).contains(QStringLiteral("meMonth_D")));
    form->rbEveryHour->SetChecked(true);
    EXPECT_TRUE(names(form->RequiredFields).contains(QStringLiteral("edEveryHour")));
    form->rbCycleRang_2->SetChecked(true);
    EXPECT_TRUE(names(form->RequiredFields).contains(QStringLiteral("meCycleRang_2")));
    form->rbCycleRang_3->SetChecked(true);
    EXPECT_TRUE(names(form->RequiredFields).contains(QStringLiteral("meEndDate")));
    EXPECT_FALSE(names(form->RequiredFields).contains(QStringLiteral("meCycleRang_2")));
    form->rbCycleRang_1->SetChecked(true);
    EXPECT_FALSE(names(form->RequiredFields).contains(QStringLiteral("meEndDate")));
    EXPECT_EQ(names(form->RequiredFields).count(QStringLiteral("edFirst")), 1) << "the job's own entry is never doubled";

    pressPeriod();
    ASSERT_FALSE(form->btnPeriod->Down());
    EXPECT_TRUE(form->rdoQueue->Checked());
    EXPECT_TRUE(form->grpGenTime->isEnabled());
    EXPECT_EQ(names(form->RequiredFields), (QStringList{"edFirst"})) << "the schedule's controls are no longer required";
    form->rdoRealTime->SetChecked(true);
    EXPECT_EQ(names(form->RequiredFields), (QStringList{"edFirst"})) << "nor after a run-mode choice with btnPeriod up";
}

TEST_F(BatchFormTest, NumberFieldsAreMendedOnLeaving)
{
    ASSERT_TRUE(open());
    const auto leave = [](TQvSpinEdit* spin, const QString& text) {
        spin->findChild<QLineEdit*>()->setText(text);
        Fire(spin->OnExit, spin);
        return spin->Text();
    };
    for (TQvSpinEdit* spin : {form->meDay, form->meWeek, form->meMonth_M1, form->meMonth_M2, form->meCycleRang_2}) {
        EXPECT_EQ(leave(spin, QString()), QStringLiteral("1")) << spin->objectName().toStdString();
        EXPECT_EQ(leave(spin, QStringLiteral("0")), QStringLiteral("1")) << spin->objectName().toStdString();
        EXPECT_EQ(leave(spin, QStringLiteral("5")), QStringLiteral("5")) << spin->objectName().toStdString();
    }
    EXPECT_EQ(leave(form->meMonth_D, QStringLiteral("45")), QStringLiteral("31"));
    EXPECT_EQ(leave(form->meMonth_D, QStringLiteral("0")), QStringLiteral("1"));
    EXPECT_EQ(leave(form->meMonth_D, QStringLiteral("15")), QStringLiteral("15"));
    for (TQvSpinEdit* spin : {form->sePeriodHour, form->sePeriodMin, form->seDay1, form->seDay2, form->seDay_B1,
                              form->seDay_B2, form->seDay_E1, form->seDay_E2}) {
        EXPECT_EQ(leave(spin, QString()), QStringLiteral("0")) << spin->objectName().toStdString();
        EXPECT_EQ(leave(spin, QStringLiteral("-")), QStringLiteral("0")) << spin->objectName().toStdString();
    }
    EXPECT_EQ(leave(form->seDay2, QStringLiteral("-7")), QStringLiteral("-7"));

    form->edEveryHour->SetText(QStringLiteral("0"));
    Fire(form->edEveryHour->OnExit, form->edEveryHour);
    EXPECT_EQ(form->edEveryHour->Text(), QStringLiteral("1"));
    form->edEveryHour->SetText(QString());
    for (const QChar c : QStringLiteral("1a.5.x"))
        QTest::keyClick(form->edEveryHour, c.toLatin1());
    EXPECT_EQ(form->edEveryHour->Text(), QStringLiteral("1.5")) << "digits and one dot only";
}

TEST_F(BatchFormTest, AnEndDateBeforeTheStartIsRefusedOnLeaving)
{
    ASSERT_TRUE(open());
    form->rbCycleRang_3->SetChecked(true);
    form->meStartDate->SetText(QStringLiteral("2024/03/06"));
    form->meEndDate->SetText(QStringLiteral("2024/03/01"));
    form->ValidationFailed = false;
    form->meEndDateExit(form->meEndDate);
    EXPECT_TRUE(form->ValidationFailed);
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("退出日期 不可早于 开始日期!"));

    // Dates are compared as dates whatever order the user shows them in.
    dialogs.shown.clear();
    form->ValidationFailed = false;
    session->counter->settings[0].second = "2";
    form->SysInfoLoaded = false;
    form->GetSystemSetting(QString());
    form->meStartDate->SetText(QStringLiteral("12/30/2024"));
    form->meEndDate->SetText(QStringLiteral("01/05/2025"));
    form->meEndDateExit(form->meEndDate);
    EXPECT_FALSE(form->ValidationFailed);
    EXPECT_TRUE(dialogs.shown.empty());
    form->meEndDate->SetText(QStringLiteral("01/05/2023"));
    EXPECT_TRUE(form->rbCycleRang_3->Checked()) << "changing the date chooses it";
    form->rbCycleRang_1->SetChecked(true);
    form->meEndDateExit(form->meEndDate);
    EXPECT_FALSE(form->ValidationFailed) << "only an end date that is chosen";
}

TEST_F(BatchFormTest, ThePeriodicPageListsTheDateConditionsOnceAndKeepsTheirRules)
{
    ASSERT_TRUE(open());
    pressPeriod();
    EXPECT_TRUE(form->tsPeriodOption->TabVisible());
    EXPECT_EQ(form->pgOption->ActivePage(), form->tsPeriodOption);
    EXPECT_EQ(form->meStartDate->Text(), today());
    EXPECT_EQ(form->edDate->Text(), today());
    ASSERT_EQ(form->cbocondition->count(), 3);
    EXPECT_EQ(form->cbocondition->itemText(0), QStringLiteral("单据日期"));
    EXPECT_EQ(form->cbocondition->itemText(1), QStringLiteral("单据区间"));
    EXPECT_EQ(form->cbocondition->itemText(2), QStringLiteral("月份"));
    EXPECT_TRUE(form->gbDynamicFields->isEnabled());
    ASSERT_EQ(form->DateRuleList.size(), 3);
    EXPECT_EQ(RuleFields(form->DateRuleList[0]), (QStringList{"1", "edDocDate", "N", "0", "0", "0", "0", "D"}));
    EXPECT_EQ(RuleFields(form->DateRuleList[1]),
              (QStringList{"0", "spDocDate", "N", "0", "0", "0", "0", "N", "0", "0", "0", "0", "D"}));
    EXPECT_EQ(RuleFields(form->DateRuleList[2]), (QStringList{"1", "edMonth", "N", "0", "1", "0", "0", "M"}))
        << "a year-and-month condition moves by months";
    EXPECT_EQ(form->cbocondition->ItemIndex(), 0);
    EXPECT_FALSE(form->pnSp->isVisibleTo(form->gbDynamicFields));
    EXPECT_TRUE(form->pnEdit->isVisibleTo(form->gbDynamicFields));

    // The user sets a rule and a weekly cycle, goes back up and down again.
    form->cbocondition->SetItemIndex(0);
    form->cboconditionChange(form->cbocondition);
    form->edChangeDate->Click();
    form->seDay1Enter(form->seDay1);
    form->seDay1->SetText(QStringLiteral("2"));
    EXPECT_EQ(RuleFields(form->DateRuleList[0]).mid(2, 2), (QStringList{"Y", "2"}));
    form->rdoEveryWeek->SetChecked(true);
    form->meDay->SetText(QStringLiteral("9"));
    pressPeriod();
    pressPeriod();
    ASSERT_EQ(form->DateRuleList.size(), 3) << "the lines are made only the first time";
    EXPECT_EQ(RuleFields(form->DateRuleList[0]).mid(2, 2), (QStringList{"Y", "2"}));
    EXPECT_EQ(form->meDay->Text(), QStringLiteral("9")) << "the controls keep their values";
    EXPECT_TRUE(form->pnWeek->isVisibleTo(form->gbCycleStyle)) << "the chosen cycle's panel is shown again";
    EXPECT_FALSE(form->pnDay->isVisibleTo(form->gbCycleStyle));
    EXPECT_TRUE(names(form->RequiredFields).contains(QStringLiteral("meWeek")));
}

TEST_F(BatchFormTest, AJobWithoutDateConditionsHasNoRulesButStillSendsTheirArray)
{
    ASSERT_TRUE(open(false));
    pressPeriod();
    EXPECT_EQ(form->cbocondition->count(), 0);
    EXPECT_FALSE(form->gbDynamicFields->isEnabled());
    form->edFirst->SetText(QStringLiteral("x"));
    ASSERT_TRUE(form->CollectParams())  << form->MessageTexts.toStdString();
    const Variant& packet = form->ParamPacket;
    ASSERT_EQ(packet.highBound(), 4);
    EXPECT_EQ(packet[4].highBound(), 0);
    EXPECT_EQ(packet[4][0].toInt(), 0);
    EXPECT_EQ(VarToStr(packet[3][0]), "Y");
}

TEST_F(BatchFormTest, RuleEditingIsWrittenBackToTheLine)
{
    ASSERT_TRUE(open());
    pressPeriod();
    // The range: start moves to the first day of the week, end to the month's last day.
    form->cbocondition->SetItemIndex(1);
    form->cboconditionChange(form->cbocondition);
    EXPECT_TRUE(form->pnSp->isVisibleTo(form->gbDynamicFields));
    EXPECT_FALSE(form->pnEdit->isVisibleTo(form->gbDynamicFields));
    EXPECT_FALSE(form->seDay_B1->isEnabled()) << "a rule that does not move is not edited";
    form->spChangeDate_B->Click();
    EXPECT_TRUE(form->seDay_B1->isEnabled());
    EXPECT_TRUE(form->seDay_B2->isEnabled());
    form->seDay_B1Enter(form->cboDay_B2);
    form->cboDay_B2->SetItemIndex(1);
    Fire(form->cboDay_B2->OnChange, form->cboDay_B2);
    EXPECT_FALSE(form->seDay_B2->isEnabled()) << "days are added only in the add-or-subtract mode";
    form->spChangeDate_E->Click();
    form->cboDay_E1->SetItemIndex(1);
    Fire(form->cboDay_E1->OnChange, form->cboDay_E1);
    form->cboDay_E2->SetItemIndex(2);
    Fire(form->cboDay_E2->OnChange, form->cboDay_E2);
    EXPECT_EQ(RuleFields(form->DateRuleList[1]),
              (QStringList{"0", "spDocDate", "Y", "0", "0", "1", "0", "Y", "0", "1", "2", "0", "D"}));

    // Without entering a rule control a change is not stored.
    form->cbocondition->SetItemIndex(0);
    form->cboconditionChange(form->cbocondition);
    EXPECT_FALSE(form->RuleEditing);
    form->seDay1->SetText(QStringLiteral("5"));
    EXPECT_EQ(RuleFields(form->DateRuleList[0]).value(3), QStringLiteral("0"));

    // A year-and-month rule moves only by its count.
    form->cbocondition->SetItemIndex(2);
    form->cboconditionChange(form->cbocondition);
    form->edChangeDate->Click();
    EXPECT_TRUE(form->seDay1->isEnabled());
    EXPECT_FALSE(form->cboDay1->isEnabled());
    EXPECT_FALSE(form->cboDay2->isEnabled());
    EXPECT_FALSE(form->seDay2->isEnabled());
    EXPECT_EQ(RuleFields(form->DateRuleList[2]).value(2), QStringLiteral("Y"));
}

TEST_F(BatchFormTest, AOneTimeRequestHasTheRunModeSlots)
{
    ASSERT_TRUE(open());
    form->edFirst->SetText(QStringLiteral("x"));
    ASSERT_TRUE(form->CollectParams());
    Variant packet = form->ParamPacket;
    ASSERT_EQ(packet.highBound(), 2);
    const Variant& env = packet[0];
    ASSERT_EQ(env.highBound(), 12);
    EXPECT_EQ(VarToStr(env[9]), "B");
    EXPECT_EQ(env[10].toInt(), 0);
    EXPECT_EQ(env[11].type(), VarType::Date);
    EXPECT_EQ(VarToStr(env[12]), "");
    EXPECT_EQ(VarToStr(packet[1][5][1]), "chkLog") << "the log flag comes before the print date";
    EXPECT_EQ(VarToStr(packet[2][5]), "N");
    EXPECT_EQ(VarToStr(packet[1][6][1]), "edPrintDate");

    form->rdoRealTime->SetChecked(true);
    form->chkLog->SetChecked(true);
    form->chkNotify->Click();
    ASSERT_TRUE(form->CollectParams());
    EXPECT_EQ(form->ParamPacket[0][10].toInt(), 1);
    EXPECT_EQ(VarToStr(form->ParamPacket[2][5]), "Y");
    EXPECT_EQ(VarToStr(form->ParamPacket[0][12]),
              "<?xml version=\"1.0\" encoding=\"GB2312\"?><Root><R1 ID=\"DS\" Name=\"\" Type=\"1\" Msg=\"YNN\"/></Root>")
        << "with nobody chosen the user alone is told, as a system user while the portal is off";
    EXPECT_TRUE(form->btnNotify->isEnabled());

    form->rdoExceptTime->SetChecked(true);
    form->edDate->SetText(QStringLiteral("2024/03/05"));
    form->edHour->SetText(QStringLiteral("23"));
    form->edMin->SetText(QStringLiteral("5"));
    form->edSec->SetText(QStringLiteral("0"));
    ASSERT_TRUE(form->CollectParams());
    EXPECT_EQ(form->ParamPacket[0][10].toInt(), 2);
    const CivilDate at = DecodeDateTime(form->ParamPacket[0][11].toDate());
    EXPECT_EQ((std::vector<int>{at.year, at.month, at.day, at.hour, at.minute}), (std::vector<int>{2024, 3, 5, 23, 5}));

    form->edDate->SetText(QStringLiteral("2024/03"));
    EXPECT_FALSE(form->CollectParams()) << "a date that cannot be read";
    EXPECT_TRUE(form->MessageCodes.contains(QStringLiteral("E;000005;")));
    ASSERT_FALSE(dialogs.shown.empty());
    // Named by the group the run date is in, with what to look at.
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("运行方式 日期或时间不正确! 请检查开始日期和执行时间。"));
}

TEST_F(BatchFormTest, APeriodicRequestCarriesThePeriodTheIndexedRulesAndRolledDates)
{
    ASSERT_TRUE(open());
    form->edFirst->SetText(QStringLiteral("x"));
    form->edDocDate->SetText(QStringLiteral("2020/01/01"));
    form->spDocDate->edBegin->SetText(QStringLiteral("2020/01/01"));
    form->spDocDate->edFinal->SetText(QStringLiteral("2020/01/31"));
    form->edMonth->SetText(QStringLiteral("2020/01"));
    pressPeriod();
    // Every week on Monday at 08:30 from Wednesday 2030-03-06: the first run is 2030-03-11.
    form->rdoEveryWeek->SetChecked(true);
    form->cboDayofWeek->SetItemIndex(1);
    form->sePeriodHour->SetText(QStringLiteral("8"));
    form->sePeriodMin->SetText(QStringLiteral("30"));
    form->meStartDate->SetText(QStringLiteral("2030/03/06"));
    // The day date moves to the last day of the next month, the range start to the first
    // day of the run's week, the year and month one month back.
    form->DateRuleList[0] = SingleRuleLine(QStringLiteral("edDocDate"), {true, 1, 1, 2, 0}, QStringLiteral("D"));
    form->DateRuleList[1] =
        RangeRuleLine(QStringLiteral("spDocDate"), {true, 0, 0, 1, 0}, {false, 0, 0, 0, 0}, QStringLiteral("D"))
        + RuleFieldSeparator + QStringLiteral("3");
    form->DateRuleList[2] = SingleRuleLine(QStringLiteral("edMonth"), {true, -1, 1, 0, 0}, QStringLiteral("M"));

    for (int submission = 0; submission < 2; ++submission) {
        ASSERT_TRUE(form->CollectParams());
        const Variant& packet = form->ParamPacket;
        ASSERT_EQ(packet.highBound(), 4);
        const Variant& env = packet[0];
        EXPECT_EQ(VarToStr(env[9]), "b");
        EXPECT_EQ(env[10].toInt(), 2);
        const CivilDate at = DecodeDateTime(env[11].toDate());
        EXPECT_EQ((std::vector<int>{at.year, at.month, at.day, at.hour, at.minute}), (std::vector<int>{2030, 3, 11, 8, 30}));
        EXPECT_EQ(form->FirstRunDate, QStringLiteral("20300311"));
        const Variant& period = packet[3];
        EXPECT_EQ(VarToStr(period[1]), "08:30");
        EXPECT_EQ(period[2][0].toInt(), 1);
        EXPECT_EQ(VarToStr(period[2][1][0]), "1");
        EXPECT_EQ(period[2][1][1].toInt(), 1);
        EXPECT_EQ(VarToStr(period[3][0]), "20300306");
        EXPECT_EQ(period[3][1].toInt(), 0);
        const Variant& rules = packet[4];
        ASSERT_EQ(rules.highBound(), 3);
        EXPECT_EQ(rules[0].toInt(), 3);
        EXPECT_EQ(RuleFields(VarToQStr(rules[1])).value(8), QStringLiteral("2"));
        EXPECT_EQ(RuleFields(VarToQStr(rules[2])).size(), 14) << "one index, also after an earlier submission";
        EXPECT_EQ(RuleFields(VarToQStr(rules[2])).value(13), QStringLiteral("3"));
        EXPECT_EQ(RuleFields(VarToQStr(rules[3])).value(8), QStringLiteral("4"));
        EXPECT_EQ(VarToQStr(rules[1]), form->DateRuleList[0]) << "the line keeps its index";
        const Variant& values = packet[2];
        EXPECT_EQ(VarToStr(values[2]), "20300430");
        EXPECT_EQ(VarToStr(values[3][1]), "20300310");
        EXPECT_EQ(VarToStr(values[3][2]), "20200131") << "the end does not move";
        EXPECT_EQ(VarToStr(values[4]), "203002");
        EXPECT_EQ(VarToStr(values[1]), "x");
    }

    // The other two ends of the cycle.
    form->meCycleRang_2->SetText(QStringLiteral("4"));
    Fire(form->meCycleRang_2->OnChange, form->meCycleRang_2);
    EXPECT_TRUE(form->rbCycleRang_2->Checked()) << "changing the number chooses it";
    ASSERT_TRUE(form->CollectParams());
    EXPECT_EQ(form->ParamPacket[3][3][1].toInt(), 1);
    EXPECT_EQ(VarToStr(form->ParamPacket[3][3][2]), "4");
    form->rbCycleRang_3->SetChecked(true);
    form->meEndDate->SetText(QStringLiteral("2030/12/31"));
    ASSERT_TRUE(form->CollectParams());
    EXPECT_EQ(form->ParamPacket[3][3][1].toInt(), 2);
    EXPECT_EQ(VarToStr(form->ParamPacket[3][3][2]), "20301231");

    // Hourly: the run is now, the dates move from the start that lies ahead.
    form->rbEveryHour->SetChecked(true);
    form->edEveryHour->SetText(QStringLiteral("1.5"));
    ASSERT_TRUE(form->CollectParams());
    EXPECT_NEAR(form->ParamPacket[0][11].toDate(), Now(), 0.01);
    EXPECT_EQ(form->ParamPacket[3][2][1].toDouble(), 1.5);
    EXPECT_EQ(VarToStr(form->ParamPacket[2][2]), "20300430");
}

TEST_F(BatchFormTest, TheNextRunsFollowTheSchedule)
{
    ASSERT_TRUE(open());
    everyOtherFridayAtSeven();
    const QString shown = form->lblNextRuns->text();
    EXPECT_TRUE(shown.contains(QStringLiteral("2030/03/15 07:00, 2030/03/29 07:00, 2030/04/12 07:00, 2030/04/26 07:00, "
                                              "2030/05/10 07:00")))
        << shown.toStdString();
    form->meCycleRang_2->SetText(QStringLiteral("2"));
    Fire(form->meCycleRang_2->OnChange, form->meCycleRang_2);
    EXPECT_TRUE(form->lblNextRuns->text().endsWith(QStringLiteral("2030/03/15 07:00, 2030/03/29 07:00")))
        << form->lblNextRuns->text().toStdString();
    form->meStartDate->SetText(QString());
    EXPECT_TRUE(form->lblNextRuns->text().contains(QStringLiteral("请输入完整的循环设置")));
}

TEST_F(BatchFormTest, OkSubmitsShowsTheNumberAndClosesOrStays)
{
    ASSERT_TRUE(open());
    form->show();
    form->edFirst->SetText(QStringLiteral("x"));
    form->btnOk->click();
    const RecordedCall* request = service->last("Request");
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(VarToStr(request->args[0][0][1]), "WOFB07");
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().text,
              QStringLiteral("作业已送出, 作业编号: 20240306000007\n作业将在工作队列中尽快运行。"));
    EXPECT_EQ(form->JobSubmitted, 1);
    EXPECT_EQ(VarToStr(form->LastRequestNo), "20240306000007");
    settle();
    EXPECT_TRUE(form.isNull()) << "the form closes after the submission";
}

TEST_F(BatchFormTest, APeriodicSubmissionSaysWhenItRunsFirstAndNext)
{
    ASSERT_TRUE(open());
    form->show();
    form->edFirst->SetText(QStringLiteral("x"));
    everyOtherFridayAtSeven();
    form->btnOk->click();
    ASSERT_EQ(service->count("Request"), 1);
    ASSERT_FALSE(dialogs.shown.empty());
    // The moments the preview gives, the first the one the job service queues it for.
    EXPECT_EQ(dialogs.shown.back().text,
              QStringLiteral("作业已送出, 作业编号: 20240306000007\n作业第一次于 2030/03/15 07:00 运行。\n"
                             "以后: 2030/03/29 07:00, 2030/04/12 07:00, 2030/04/26 07:00"));
}

TEST_F(BatchFormTest, TheOkMenuStaysOpenForAnotherSubmission)
{
    ASSERT_TRUE(open());
    form->show();
    form->edFirst->SetText(QStringLiteral("x"));
    form->miOKNoExit->trigger();
    settle();
    ASSERT_FALSE(form.isNull());
    EXPECT_FALSE(form->ExitAfterOk);
    EXPECT_EQ(service->count("Request"), 1);
    service->requestAnswer = "20240306000009";
    form->btnOk->click();
    settle();
    ASSERT_FALSE(form.isNull());
    EXPECT_EQ(VarToStr(form->LastRequestNo), "20240306000009");
    form->miOKExit->trigger();
    settle();
    EXPECT_TRUE(form.isNull());
    EXPECT_EQ(service->count("Request"), 3);
}

TEST_F(BatchFormTest, ARefusedJobIsReportedAndTheFormStays)
{
    ASSERT_TRUE(open());
    form->show();
    form->edFirst->SetText(QStringLiteral("x"));
    service->requestAnswer = "error";
    form->btnOk->click();
    settle();
    ASSERT_FALSE(form.isNull());
    EXPECT_EQ(form->JobSubmitted, 0);
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("作业登记失败! 程序代号不正确"));
    service->raise = true;
    form->btnOk->click();
    settle();
    ASSERT_FALSE(form.isNull());
    EXPECT_EQ(form->JobSubmitted, 0);

    // A required field left empty sends nothing.
    service->raise = false;
    form->edFirst->SetText(QString());
    const int before = service->count("Request");
    form->btnOk->click();
    EXPECT_EQ(service->count("Request"), before);
    form->btnCancel->click();
    EXPECT_EQ(form->JobSubmitted, 2);
}

TEST_F(BatchFormTest, NotifyReadsThePortalSettingsAndOpensTheRecipientDialog)
{
    ASSERT_TRUE(open());
    session->counter->answer = Variant::list({Variant::list({"Y"})});
    form->chkNotify->Click();
    EXPECT_TRUE(form->btnNotify->isEnabled());
    const QString defaults = form->NotifyRecipients;
    EXPECT_TRUE(defaults.contains(QStringLiteral("ID=\"DS\""))) << "the current user is told by default";
    session->counter->calls.clear();
    dialogs.answer = mrCancel;
    form->btnNotifyClick(form->btnNotify);
    ASSERT_EQ(session->counter->calls.size(), 2u);
    EXPECT_EQ(VarToStr(session->counter->calls[0].args[1][0]), "SELECT MA003 FROM QVRINTMA WHERE MA001='StartupPortal' ");
    EXPECT_EQ(VarToStr(session->counter->calls[1].args[1][0]), "SELECT MA003 FROM QVRINTMA WHERE MA001='Portal WS' ");
    EXPECT_EQ(form->PortalStartup, QStringLiteral("Y"));
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("<TfrmNotify>"));
    EXPECT_EQ(form->NotifyRecipients, defaults) << "Cancel keeps the list";
}

TEST_F(BatchFormTest, WithoutRightsTheFormSaysSoAndOffersNoRun)
{
    service->rights = Variant();
    ASSERT_TRUE(open());
    const RecordedCall* power = service->last("GetPower");
    ASSERT_NE(power, nullptr);
    EXPECT_EQ(VarToStr(power->args[0][0]), "DEMO");
    EXPECT_EQ(VarToStr(power->args[0][1]), "DS");
    EXPECT_EQ(VarToStr(power->args[0][2]), "WOFB07");
    EXPECT_TRUE(form->lblRights->isVisibleTo(form->Panel1));
    EXPECT_FALSE(form->lblRights->text().isEmpty());
    EXPECT_FALSE(form->btnOk->isEnabled());
    EXPECT_FALSE(form->btnQuery->isEnabled());
    EXPECT_FALSE(form->btnPeriod->isEnabled());
    form->edFirst->SetText(QStringLiteral("x"));
    form->btnOk->click();
    form->RunCommand(5);
    settle();
    EXPECT_EQ(service->count("Request") + service->count("Request1"), 0);
}

TEST_F(BatchFormTest, RightsWithoutQueueingOrDirectRunsTakeThoseButtonsAway)
{
    service->rights = Variant::list({"Y", "Y", "N", "N", "Y", "Y", "N", "", "U002"});
    ASSERT_TRUE(open());
    EXPECT_FALSE(form->btnOk->isEnabled());
    EXPECT_FALSE(form->btnQuery->isEnabled());
    EXPECT_TRUE(form->btnPeriod->isEnabled());
    EXPECT_FALSE(form->lblRights->isVisibleTo(form->Panel1));
}

TEST_F(BatchFormTest, TheRightsReachTheJobFormCore)
{
    service->rights = Variant::list({"Y", "Y", "Y", "Y", "Y", "Y", "N", "MR009=华东", "DS"});
    ASSERT_TRUE(open());
    EXPECT_EQ(form->SchemeProperties, QStringLiteral("edFirst.text;edDocDate.text;spDocDate.style;edMonth.text;"));
    EXPECT_TRUE(form->pnlCondition->isVisibleTo(form));
    EXPECT_EQ(session->validator->baseLimited, "MR009=华东") << "the user's data limit goes with every check";
}

TEST_F(BatchFormTest, RunOnceNowIsTheClerksChoiceAndTheFormSaysWhatFollows)
{
    ASSERT_TRUE(open());
    form->show();
    form->edFirst->SetText(QStringLiteral("x"));
    everyOtherFridayAtSeven();
    EXPECT_FALSE(form->chkRunFirstNow->Checked()) << "by the schedule only unless asked";
    form->chkRunFirstNow->Click();
    EXPECT_TRUE(form->lblNextRuns->text().endsWith(
        QStringLiteral("提交时, 2030/03/15 07:00, 2030/03/29 07:00, 2030/04/12 07:00, 2030/04/26 07:00")))
        << form->lblNextRuns->text().toStdString();

    form->btnOk->click();
    const RecordedCall* request = service->last("Request");
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->args[0][0][10].toInt(), 1) << "one run at once, then by the schedule";
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().text,
              QStringLiteral("作业已送出, 作业编号: 20240306000007\n作业提交后立即运行一次。\n"
                             "以后: 2030/03/15 07:00, 2030/03/29 07:00, 2030/04/12 07:00"));
}

TEST_F(BatchFormTest, AHandOverSetsUpThePeriodicPageAndARuleAsTheClerkDoes)
{
    ASSERT_TRUE(open());
    form->show();
    std::vector<Variant> texts, values;
    const auto give = [&](const char* name, Variant value) {
        texts.push_back(Variant::list({name, name}));
        values.push_back(std::move(value));
    };
    give("edFirst", "x");
    give("btnPeriod", true);
    give("rdoEveryWeek", true);
    give("meWeek", 2);
    give("cboDayofWeek", 5);
    give("sePeriodHour", 7);
    give("meStartDate", "20300306");
    give("chkRunFirstNow", true);
    // The rule of one entry by its controls: the last day of the next month.
    give("cbocondition", "edDocDate");
    give("edChangeDate", true);
    give("seDay1", 1);
    give("cboDay1", 1);
    give("cboDay2", 2);
    const Variant packet = Variant::list({1, Variant::list({true, Variant::list({Variant::list(texts), Variant::list(values)})})});
    EXPECT_EQ(form->ApplyParams(packet), TApplyOutcome::Taken);

    const RecordedCall* request = service->last("Request");
    ASSERT_NE(request, nullptr);
    const Variant& sent = request->args[0];
    EXPECT_EQ(sent[0][10].toInt(), 1) << "one run at once";
    EXPECT_EQ(sent[3][2][0].toInt(), 1) << "weekly";
    EXPECT_EQ(VarToStr(sent[3][2][1][0]), "2");
    EXPECT_EQ(sent[3][2][1][1].toInt(), 5);
    EXPECT_EQ(VarToStr(sent[3][1]), "07:00");
    EXPECT_EQ(VarToStr(sent[3][3][0]), "20300306");
    EXPECT_EQ(RuleWithoutIndex(VarToQStr(sent[4][1])),
              SingleRuleLine(QStringLiteral("edDocDate"), {true, 1, 1, 2, 0}, QStringLiteral("D")));

    // Without btnPeriod the page's values would go nowhere: refused by name.
    settle();
    if (form)
        form->Free();
    settle();
    ASSERT_TRUE(open());
    const Variant alone = Variant::list(
        {1, Variant::list({true, Variant::list({Variant::list({Variant::list({"meWeek", "meWeek"})}), Variant::list({2})})})});
    EXPECT_EQ(form->ApplyParams(alone), TApplyOutcome::Refused);
    EXPECT_EQ(service->count("Request"), 1);
}
