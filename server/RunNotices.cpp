#include "server/RunNotices.h"

#include "serverdb/ServerDatabase.h"
#include "support/ServerLog.h"
#include "support/JobClock.h"
#include "support/Helpers.h"
#include "support/MessageText.h"

NotificationContent RunNoticeContent(const JobRecord& job, const std::string& programName, const RunEnd& end)
{
    const std::string program = job.programCode + (programName.empty() ? "" : " " + programName);
    const std::string run = end.runNumber > 0 ? " 第 " + std::to_string(end.runNumber) + " 次运行" : " ";
    const std::string at = ShownStamp(MomentStamp(end.at));
    NotificationContent c;
    c.receivers = trimText(job.recipients);
    c.title = (end.ok ? "作业完成: " : "作业失败: ") + program;
    c.text = "作业 " + job.number + " (" + program + ")" + run
             + (end.ok ? "已于 " + at + " 完成。"
                             + (end.summary.empty() ? "" : " " + WordMessages(end.summary, HostLanguage::Simplified, "; "))
                       : "于 " + at + " 失败: " + WordMessages(end.result, HostLanguage::Simplified, "; "));
    return c;
}

DeliveryOutcome TellRunRecipients(ServerDatabase& db, const JobRecord& job, const RunEnd& end)
{
    if (trimText(job.recipients).empty())
        return {};
    DbConnection& conn = db.connection();
    db.useCompanyDatabase(job.databaseName);
    const Variant name = conn.scalar("SELECT MB002 FROM ADMMB WHERE MB001 = :P", {{"P", job.programCode}});
    const DeliveryOutcome d =
        DeliverToRecipients(conn, job.ownerCode, job.companyCode, RunNoticeContent(job, VarToStr(name), end));
    for (const std::string& f : d.failures)
        WriteServerLog("qvappserver: job " + job.number + ": a recipient was not told: " + f);
    return d;
}
