#include "writeoff/CandidateExport.h"
#include "writeoff/WOFB07CF.h"

#include "config/SaveFileDialog.h"
#include "controls/GridTable.h"
#include "dataset/ClientDataSet.h"
#include "export/CsvExport.h"
#include "export/XlsxExport.h"
#include "platform/OleDate.h"
#include "support/Dates.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString text(TfrmBaseGene& form, const char* key, const char* simplified)
{
    return form.GetText(QStringLiteral("TfrmWOFB07"), QString::fromLatin1(key), QString::fromUtf8(simplified));
}

// The spreadsheet's pattern for the user's date order; the years of codes 4 and 5 (less
// 1911) are shown as the calendar's, which a date cell holds.
std::string datePattern(int code, const std::string& separator)
{
    const std::string s = separator == "-" || separator == "." ? separator : "/";
    if (code == 2)
        return "mm" + s + "dd" + s + "yyyy";
    if (code == 3)
        return "dd" + s + "mm" + s + "yyyy";
    return "yyyy" + s + "mm" + s + "dd";
}

// The folder the last export went to, for the next one.
QString& lastFolder()
{
    static QString folder;
    return folder;
}

void reportFailure(TfrmBaseGene& form, const ExportError& e)
{
    const QString detail = QString::fromStdString(e.detail());
    QString message;
    switch (e.reason()) {
    case ExportError::CannotWrite:
        message = text(form, "sExportCannotWrite", "无法写入文件: %1");
        break;
    case ExportError::TooLarge:
        message = text(form, "sExportTooLarge", "列表超出电子表格的限度: %1");
        break;
    case ExportError::NoSuchDate:
        message = text(form, "sExportNoSuchDate", "日期不存在: %1");
        break;
    }
    form.ShowMessageDialog(message.arg(detail), mtError, {mbOK});
}

} // namespace

namespace CandidateExport {

ExportTable Table(TfrmWOFB07& form)
{
    const int code = form.GetDateFormat();
    const std::string separator = form.GetDateSeparator().toStdString();
    GridDateColumn documentDate;
    documentDate.field = QStringLiteral("MA008");
    documentDate.format = datePattern(code, separator.substr(0, 1));
    documentDate.read = [code, separator](std::string_view shown, ExportDate& date) {
        const double days = DisplayTextToDate(shown, code, separator);
        if (days == 0)
            return false;
        const CivilDate d = DecodeDateTime(days);
        date = ExportDate{d.year, d.month, d.day};
        return true;
    };
    // A pending edit of the grid is in the list first.
    form.cdsData->CheckBrowseMode();
    return GridTable(*form.grdResult, {documentDate});
}

SaveFileChoice AskFile(TfrmBaseGene& form, QWidget* parent, const QString& title, const QList<SaveFileType>& types,
                       const QString& name)
{
    SaveFileTexts texts{title,
                        text(form, "sExportLookIn", "保存在:"),
                        text(form, "sExportFileName", "文件名:"),
                        text(form, "sExportFileType", "保存类型:"),
                        text(form, "sExportSave", "保存"),
                        text(form, "sExportCancel", "取消")};
    const QString folder = lastFolder().isEmpty() ? QDir::homePath() : lastFolder();
    SaveFileChoice choice = AskSaveFile(parent, texts, types, folder, name);
    if (choice.path.isEmpty())
        return choice;
    lastFolder() = QFileInfo(choice.path).absolutePath();
    if (QFileInfo::exists(choice.path)
        && form.ShowMessageDialog(text(form, "sExportReplace", "%1 已存在, 要替换它吗?").arg(choice.path), mtConfirmation,
                                  {mbYes, mbNo}) != mrYes)
        return {};
    return choice;
}

void Save(TfrmBaseGene& form, QWidget* parent, const QString& title, const QString& name,
          const std::function<ExportTable()>& table)
{
    const QList<SaveFileType> types{{text(form, "sExportXlsx", "Excel 工作簿"), QStringLiteral("xlsx")},
                                    {text(form, "sExportCsv", "CSV (逗号分隔, UTF-8)"), QStringLiteral("csv")}};
    const SaveFileChoice choice = AskFile(form, parent, title, types, name);
    if (choice.path.isEmpty())
        return;
    try {
        const std::string path = QFile::encodeName(choice.path).toStdString();
        const ExportResult result =
            choice.type == 0 ? WriteXlsx(table(), path, {form.ProgramCode.toStdString()}) : WriteCsv(table(), path);
        if (result.amountsAsText > 0)
            form.ShowMessageDialog(text(form, "sExportAmountsAsText",
                                        "%1 个金额超过 15 位有效数字, 按原样以文字写入 (第一个在 %2)")
                                       .arg(result.amountsAsText)
                                       .arg(QString::fromStdString(result.firstAmountAsText)),
                                   mtInformation, {mbOK});
    } catch (const ExportError& e) {
        reportFailure(form, e);
    } catch (const std::exception& e) {
        form.ShowMessageDialog(text(form, "sExportCannotWrite", "无法写入文件: %1").arg(QString::fromUtf8(e.what())),
                               mtError, {mbOK});
    }
}

void Run(TfrmWOFB07& form)
{
    const QString name = form.ProgramCode + QLatin1Char('-') + QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    Save(form, &form, text(form, "sExportTitle", "导出候选单据"), name, [&form] { return Table(form); });
}

std::string DatePattern(int code, const std::string& separator)
{
    return datePattern(code, separator);
}

} // namespace CandidateExport
