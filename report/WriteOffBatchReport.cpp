#include "report/WriteOffBatchReport.h"

#include "dataset/DisplayFormat.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <map>
#include <vector>

BatchReportError::~BatchReportError() = default;

namespace {

constexpr const char* kFontFamily = "WenQuanYi Micro Hei";
constexpr const char* kFontFile = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

// Millimetres of the A4 page.
constexpr double kMarginX = 15, kMarginY = 12;
constexpr double kColumnGap = 2.5;
constexpr double kBodyPoints = 8.5, kInfoPoints = 9, kTitlePoints = 13, kSectionPoints = 10;
constexpr double kSmallestPoints = 5; // the documents' table shrinks to fit, not below

enum class Word {
    Title, Company, Batch, Page, Type, Type1, Type2, Type3, WriteOffDate, TransferSupplier, RanBy, RanAt,
    How, Direct, Queued, Documents, LocalCurrency, Status, NotReversed, Reversed, DocumentsTitle, No,
    Supplier, DocType, DocNo, DocDate, Currency, Amount, LocalAmount, TotalsTitle, Count, MadeTitle, Kind,
    Transfer, Refund, RemovedByReversal, ReversedMark, Last
};

// In the order of Word; "%s" where a value goes.
constexpr std::array<Wording3, std::size_t(Word::Last)> kWords{{
    {"应付账款转销批次报表", "應付帳款轉銷批次報表", "Write-off batch report"},
    {"公司", "公司", "Company"},
    {"批次", "批次", "Batch"},
    {"第 %s 页, 共 %s 页", "第 %s 頁, 共 %s 頁", "Page %s of %s"},
    {"转销类型", "轉銷類型", "Write-off type"},
    {"应付款转销", "應付款轉銷", "Payables write-off"},
    {"其他应付款转销", "其他應付款轉銷", "Other payables write-off"},
    {"预付款转销", "預付款轉銷", "Prepayments write-off"},
    {"转销日期", "轉銷日期", "Write-off date"},
    {"转销供应商", "轉銷供應商", "Transfer supplier"},
    {"执行人", "執行人", "Run by"},
    {"执行时间", "執行時間", "Run at"},
    {"处理方式", "處理方式", "How it ran"},
    {"直接处理", "直接處理", "Run directly"},
    {"后台处理 (作业 %s)", "背景處理 (作業 %s)", "Run in background (job %s)"},
    {"单据笔数", "單據筆數", "Documents"},
    {"本币", "本幣", "Local currency"},
    {"状态", "狀態", "Status"},
    {"有效, 未撤销", "有效, 未撤銷", "In force, not reversed"},
    {"已撤销: %s, %s", "已撤銷: %s, %s", "Reversed by %s at %s"},
    {"转销单据", "轉銷單據", "Documents written off"},
    {"序号", "序號", "No."},
    {"供应商", "供應商", "Supplier"},
    {"单别", "單別", "Type"},
    {"单号", "單號", "Doc. no."},
    {"单据日期", "單據日期", "Date"},
    {"币种", "幣別", "Cur."},
    {"原币转销金额", "原幣轉銷金額", "Write-off"},
    {"本币转销金额", "本幣轉銷金額", "Write-off (local)"},
    {"各币种合计", "各幣別合計", "Totals by currency"},
    {"笔数", "筆數", "Documents"},
    {"转销产生的单据", "轉銷產生的單據", "Documents the run made"},
    {"种类", "種類", "Kind"},
    {"转销单 (其他应付)", "轉銷單 (其他應付)", "Transfer (other payable)"},
    {"退款单", "退款單", "Refund"},
    {"撤销时已删除", "撤銷時已刪除", "removed by the reversal"},
    {"已撤销", "已撤銷", "reversed"},
}};

class Words {
public:
    explicit Words(HostLanguage language) : language_(language) {}
    QString operator()(Word w, std::initializer_list<QString> values = {}) const
    {
        QString text = QString::fromUtf8(kWords[std::size_t(w)].in(language_));
        qsizetype from = 0; // after the last value: a value's own "%s" stays as it is
        for (const QString& v : values) {
            const qsizetype at = text.indexOf(QLatin1String("%s"), from);
            if (at < 0)
                break;
            text.replace(at, 2, v);
            from = at + v.size();
        }
        return text;
    }

private:
    HostLanguage language_;
};

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

// "2024/06/30" of yyyymmdd; anything else as it is.
QString shownDate(const std::string& d)
{
    if (d.size() != 8 || d.find_first_not_of("0123456789") != std::string::npos)
        return q(d);
    return q(d.substr(0, 4) + "/" + d.substr(4, 2) + "/" + d.substr(6, 2));
}

// "2024/06/30 14:05:09" of a stamp yyyymmddhhnnss...
QString shownMoment(const std::string& s)
{
    if (s.size() < 14 || s.find_first_not_of("0123456789") != std::string::npos)
        return q(s);
    return shownDate(s.substr(0, 8)) + q(" " + s.substr(8, 2) + ":" + s.substr(10, 2) + ":" + s.substr(12, 2));
}

QString who(const std::string& code, const std::string& name)
{
    return q(name.empty() ? code : code + " " + name);
}

QString amountText(const Decimal& amount, int decimals)
{
    return q(ShownAmountText(amount, decimals));
}

QString fontFamily()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw BatchReportError("The batch report needs a QGuiApplication");
    const QString wanted = QString::fromLatin1(kFontFamily);
    if (QFontDatabase::families().contains(wanted))
        return wanted;
    const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(kFontFile));
    const QStringList loaded = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
    if (loaded.isEmpty())
        throw BatchReportError(std::string("The font ") + kFontFamily + " is not installed (" + kFontFile
                               + ", Debian's fonts-wqy-microhei)");
    return loaded.first();
}

// A font with its measures on the PDF's device.
struct Face {
    QFont font;
    QFontMetricsF metrics;
    Face(const QString& family, double points, QPaintDevice* device) : font(sized(family, points)), metrics(font, device)
    {
    }
    static QFont sized(const QString& family, double points)
    {
        QFont f(family);
        f.setPointSizeF(points);
        return f;
    }
};

// A table's columns: where each starts, how wide, whether its texts end at its right edge.
struct Column {
    double x = 0, width = 0;
    bool right = false;
};

// What the body holds, in order; each kind knows its height.
enum class Item : std::uint8_t { Info, Gap, Section, DocHead, Doc, TotalHead, Total, MadeHead, Made, Note };

struct Placed {
    Item kind;
    int index; // the info line, section or row
    double y;  // from the top of the page's body
};

class Report {
public:
    Report(const WriteOffBatchRecord& r, HostLanguage language, QPaintDevice& device, const QString& family,
           double mm);
    int pages() const { return int(pageStarts_.size()); }
    void paint(QPainter& p, QPdfWriter& writer) const;

private:
    void prepareInfo();
    void prepareDocuments();
    void prepareSmallTables();
    std::vector<Column> columnsOf(const std::vector<double>& widths, const std::vector<bool>& right,
                                  int stretch) const;
    void layOut();
    double heightOf(Item kind) const;
    void paintHeader(QPainter& p, int page) const;
    void paintItem(QPainter& p, const Placed& item, double top) const;
    void paintRow(QPainter& p, const std::vector<Column>& columns, const QStringList& cells, double y,
                  const Face& face, bool rule) const;

    const WriteOffBatchRecord& r_;
    Words words_;
    double mm_; // device units per millimetre
    double width_ = 0, height_ = 0;
    QPaintDevice* device_;
    Face info_, title_, section_, body_, table_;
    std::vector<std::pair<QString, QString>> infoLines_;
    std::vector<QString> sections_;
    QStringList docHead_, totalHead_, madeHead_;
    std::vector<QStringList> docs_, totals_, made_;
    std::vector<Column> docColumns_, totalColumns_, madeColumns_;
    double headerHeight_ = 0;
    std::vector<Placed> items_;
    std::vector<std::size_t> pageStarts_;
};

Report::Report(const WriteOffBatchRecord& r, HostLanguage language, QPaintDevice& device, const QString& family,
               double mm)
    : r_(r), words_(language), mm_(mm), width_(device.width()), height_(device.height()), device_(&device),
      info_(family, kInfoPoints, &device), title_(family, kTitlePoints, &device),
      section_(family, kSectionPoints, &device), body_(family, kBodyPoints, &device),
      table_(family, kBodyPoints, &device)
{
    headerHeight_ = title_.metrics.height() + 2 * info_.metrics.height() + 3 * mm_;
    prepareInfo();
    prepareDocuments();
    prepareSmallTables();
    layOut();
}

void Report::prepareInfo()
{
    const WriteOffBatchSummary& s = r_.summary;
    static constexpr Word types[] = {Word::Type1, Word::Type2, Word::Type3};
    const QString type = s.type >= 1 && s.type <= 3 ? words_(types[s.type - 1]) : QString::number(s.type);
    infoLines_ = {
        {words_(Word::Type), type},
        {words_(Word::WriteOffDate), shownDate(s.writeOffDate)},
        {words_(Word::TransferSupplier), who(s.transferSupplier, s.transferSupplierName)},
        {words_(Word::RanBy), who(s.ranBy, s.ranByName)},
        {words_(Word::RanAt), shownMoment(s.ranAt)},
        {words_(Word::How), s.queued ? words_(Word::Queued, {q(s.requestNo)}) : words_(Word::Direct)},
        {words_(Word::Documents), QString::number(s.documents)},
        {words_(Word::LocalCurrency), q(s.localCurrency)},
        {words_(Word::Status), s.reversed ? words_(Word::Reversed, {who(s.reversedBy, s.reversedByName),
                                                                    shownMoment(s.reversedAt)})
                                          : words_(Word::NotReversed)},
    };
    sections_ = {words_(Word::DocumentsTitle), words_(Word::TotalsTitle), words_(Word::MadeTitle)};
}

// The documents' cells, and columns that fit their widest texts; the supplier takes the
// rest. Where even that does not fit (amounts of many digits) the table's font shrinks.
void Report::prepareDocuments()
{
    std::map<std::string, int> decimals;
    for (const WriteOffBatchTotal& t : r_.summary.totals)
        decimals[t.currency] = t.decimals;
    docHead_ = {words_(Word::No),     words_(Word::Supplier), words_(Word::DocType),  words_(Word::DocNo),
                words_(Word::DocDate), words_(Word::Currency), words_(Word::Amount), words_(Word::LocalAmount)};
    docs_.reserve(r_.documents.size());
    for (std::size_t i = 0; i < r_.documents.size(); ++i) {
        const WriteOffBatchDocument& d = r_.documents[i];
        const auto it = decimals.find(d.currency);
        docs_.push_back({QString::number(i + 1), who(d.supplier, d.supplierName), q(d.type), q(d.number),
                         shownDate(d.date), q(d.currency), amountText(d.original, it == decimals.end() ? 2 : it->second),
                         amountText(d.local, r_.summary.localDecimals)});
    }
    const int columns = int(docHead_.size());
    std::vector<double> widths(std::size_t(columns), 0);
    const QFontMetricsF& m = body_.metrics;
    auto widen = [&](const QStringList& cells) {
        for (int c = 0; c < columns; ++c)
            if (c != 1)
                widths[std::size_t(c)] = std::max(widths[std::size_t(c)], m.horizontalAdvance(cells[c]));
    };
    widen(docHead_);
    for (const QStringList& row : docs_)
        widen(row);
    widths[1] = 30 * mm_; // the least a supplier's name needs
    double needed = (columns - 1) * kColumnGap * mm_;
    for (double w : widths)
        needed += w;
    if (needed > width_) {
        const double scale = std::max(kSmallestPoints / kBodyPoints, width_ / needed);
        table_ = Face(body_.font.family(), kBodyPoints * scale, device_);
        for (double& w : widths)
            w *= scale;
    }
    docColumns_ = columnsOf(widths, {true, false, false, false, false, false, true, true}, 1);
}

void Report::prepareSmallTables()
{
    const WriteOffBatchSummary& s = r_.summary;
    totalHead_ = {words_(Word::Currency), words_(Word::Count), words_(Word::Amount), words_(Word::LocalAmount)};
    for (const WriteOffBatchTotal& t : s.totals)
        totals_.push_back({q(t.currency), QString::number(t.documents), amountText(t.original, t.decimals),
                           amountText(t.local, s.localDecimals)});
    madeHead_ = {words_(Word::Kind),     words_(Word::DocType), words_(Word::DocNo),
                 words_(Word::Currency), words_(Word::Amount),  words_(Word::LocalAmount)};
    std::map<std::string, int> decimals;
    for (const WriteOffBatchTotal& t : s.totals)
        decimals[t.currency] = t.decimals;
    for (const WriteOffMadeDocument& m : r_.made)
        made_.push_back({words_(m.refund ? Word::Refund : Word::Transfer), q(m.type), q(m.number), q(m.currency),
                         amountText(m.original, decimals.count(m.currency) ? decimals[m.currency] : 2),
                         amountText(m.local, s.localDecimals)});
    const QFontMetricsF& m = body_.metrics;
    auto widthsOf = [&](const QStringList& head, const std::vector<QStringList>& rows) {
        std::vector<double> widths(std::size_t(head.size()), 0);
        for (qsizetype c = 0; c < head.size(); ++c) {
            widths[std::size_t(c)] = m.horizontalAdvance(head[c]);
            for (const QStringList& row : rows)
                widths[std::size_t(c)] = std::max(widths[std::size_t(c)], m.horizontalAdvance(row[c]));
        }
        return widths;
    };
    totalColumns_ = columnsOf(widthsOf(totalHead_, totals_), {false, true, true, true}, -1);
    madeColumns_ = columnsOf(widthsOf(madeHead_, made_), {false, false, false, false, true, true}, -1);
}

// Columns side by side from the left; the stretch column (if any) takes what is left.
std::vector<Column> Report::columnsOf(const std::vector<double>& widths, const std::vector<bool>& right,
                                      int stretch) const
{
    std::vector<Column> columns(widths.size());
    double used = 0;
    for (double w : widths)
        used += w + kColumnGap * mm_;
    const double extra = std::max(0.0, width_ - used + kColumnGap * mm_);
    double x = 0;
    for (std::size_t c = 0; c < widths.size(); ++c) {
        columns[c] = {x, widths[c] + (int(c) == stretch ? extra : 0), right[c]};
        x += columns[c].width + kColumnGap * mm_;
    }
    return columns;
}

double Report::heightOf(Item kind) const
{
    switch (kind) {
    case Item::Info:
        return info_.metrics.height() * 1.3;
    case Item::Gap:
        return 4 * mm_;
    case Item::Section:
        return section_.metrics.height() * 1.5;
    case Item::Doc:
    case Item::DocHead:
        return table_.metrics.height() * 1.3;
    default:
        return body_.metrics.height() * 1.3;
    }
}

// Items one after another, a page full at a time. A table's head comes again on each page
// its rows go on to; a section's title keeps its head and first row on its page.
void Report::layOut()
{
    const double body = height_ - headerHeight_;
    double y = 0;
    Item head = Item::Gap; // the head of the table whose rows are being placed, if any
    pageStarts_ = {0};
    auto place = [&](Item kind, int index, double keep = 0) {
        const double h = heightOf(kind);
        if (y > 0 && y + h + keep > body) {
            pageStarts_.push_back(items_.size());
            y = 0;
            if (kind == Item::Gap)
                return;
            const bool row = kind == Item::Doc || kind == Item::Total || kind == Item::Made || kind == Item::Note;
            if (row && head != Item::Gap) {
                items_.push_back({head, 0, y});
                y += heightOf(head);
            }
        }
        items_.push_back({kind, index, y});
        y += h;
    };
    for (std::size_t i = 0; i < infoLines_.size(); ++i)
        place(Item::Info, int(i));
    auto table = [&](int section, Item headKind, Item rowKind, std::size_t rows) {
        place(Item::Gap, 0);
        head = Item::Gap;
        place(Item::Section, section, heightOf(headKind) + heightOf(rowKind));
        place(headKind, 0);
        head = headKind;
        for (std::size_t i = 0; i < rows; ++i)
            place(rowKind, int(i));
    };
    table(0, Item::DocHead, Item::Doc, docs_.size());
    table(1, Item::TotalHead, Item::Total, totals_.size());
    if (!made_.empty()) {
        table(2, Item::MadeHead, Item::Made, made_.size());
        if (r_.summary.reversed)
            place(Item::Note, 0);
    }
}

void Report::paint(QPainter& p, QPdfWriter& writer) const
{
    for (int page = 0; page < pages(); ++page) {
        if (page > 0)
            writer.newPage();
        paintHeader(p, page);
        const std::size_t end = page + 1 < pages() ? pageStarts_[std::size_t(page) + 1] : items_.size();
        for (std::size_t i = pageStarts_[std::size_t(page)]; i < end; ++i)
            paintItem(p, items_[i], headerHeight_);
    }
}

void Report::paintHeader(QPainter& p, int page) const
{
    const QFontMetricsF& title = title_.metrics;
    const QFontMetricsF& info = info_.metrics;
    p.setFont(title_.font);
    p.drawText(QPointF(0, title.ascent()), words_(Word::Title));
    p.setFont(info_.font);
    const QString pageText = words_(Word::Page, {QString::number(page + 1), QString::number(pages())});
    p.drawText(QPointF(width_ - info.horizontalAdvance(pageText), title.ascent()), pageText);
    const double line = title.height() + info.ascent() + mm_;
    const QString company = words_(Word::Company) + QStringLiteral(": ") + who(r_.companyCode, r_.companyName);
    p.drawText(QPointF(0, line), company);
    // Whoever holds any page sees that the batch no longer stands.
    const QString batch = words_(Word::Batch) + QStringLiteral(": ") + q(r_.summary.batchKey())
                          + (r_.summary.reversed ? " (" + words_(Word::ReversedMark) + ")" : QString());
    p.drawText(QPointF(width_ - info.horizontalAdvance(batch), line), batch);
    const double rule = title.height() + info.height() + 2 * mm_;
    p.drawLine(QPointF(0, rule), QPointF(width_, rule));
}

void Report::paintItem(QPainter& p, const Placed& item, double top) const
{
    const double y = top + item.y;
    switch (item.kind) {
    case Item::Info: {
        const auto& [label, value] = infoLines_[std::size_t(item.index)];
        p.setFont(info_.font);
        const double base = y + info_.metrics.ascent();
        p.drawText(QPointF(0, base), label);
        p.drawText(QPointF(32 * mm_, base), value);
        break;
    }
    case Item::Gap:
        break;
    case Item::Section:
        p.setFont(section_.font);
        p.drawText(QPointF(0, y + section_.metrics.ascent() + 0.25 * section_.metrics.height()),
                   sections_[std::size_t(item.index)]);
        break;
    case Item::DocHead:
        paintRow(p, docColumns_, docHead_, y, table_, true);
        break;
    case Item::Doc:
        paintRow(p, docColumns_, docs_[std::size_t(item.index)], y, table_, false);
        break;
    case Item::TotalHead:
        paintRow(p, totalColumns_, totalHead_, y, body_, true);
        break;
    case Item::Total:
        paintRow(p, totalColumns_, totals_[std::size_t(item.index)], y, body_, false);
        break;
    case Item::MadeHead:
        paintRow(p, madeColumns_, madeHead_, y, body_, true);
        break;
    case Item::Made:
        paintRow(p, madeColumns_, made_[std::size_t(item.index)], y, body_, false);
        break;
    case Item::Note:
        p.setFont(body_.font);
        p.drawText(QPointF(0, y + body_.metrics.ascent()), "(" + words_(Word::RemovedByReversal) + ")");
        break;
    }
}

// One row of a table; a head gets a rule under it. A text wider than its column (only a
// supplier's name can be) is cut with an ellipsis.
void Report::paintRow(QPainter& p, const std::vector<Column>& columns, const QStringList& cells, double y,
                      const Face& face, bool rule) const
{
    p.setFont(face.font);
    const QFontMetricsF& m = face.metrics;
    const double base = y + m.ascent();
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const Column& col = columns[c];
        QString text = cells[qsizetype(c)];
        double w = m.horizontalAdvance(text);
        if (w > col.width) {
            text = m.elidedText(text, Qt::ElideRight, col.width);
            w = m.horizontalAdvance(text);
        }
        p.drawText(QPointF(col.right ? col.x + col.width - w : col.x, base), text);
    }
    if (rule) {
        const double under = y + m.height() * 1.15;
        p.drawLine(QPointF(0, under), QPointF(width_, under));
    }
}

} // namespace

int WriteWriteOffBatchReport(const WriteOffBatchRecord& record, HostLanguage language, const std::string& file)
{
    QSaveFile out(QString::fromStdString(file));
    if (!out.open(QIODevice::WriteOnly))
        throw BatchReportError("The report " + file + " cannot be written: " + out.errorString().toStdString());
    int pages = 0;
    {
        QPdfWriter writer(&out);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(kMarginX, kMarginY, kMarginX, kMarginY), QPageLayout::Millimeter);
        writer.setTitle(QString::fromStdString(record.summary.batchKey()));
        writer.setCreator(QStringLiteral("WOFB07"));
        const double mm = writer.resolution() / 25.4;
        const Report report(record, language, writer, fontFamily(), mm);
        pages = report.pages();
        QPainter painter;
        if (!painter.begin(&writer))
            throw BatchReportError("The report " + file + " cannot be written: the PDF writer did not start");
        report.paint(painter, writer);
        if (!painter.end())
            throw BatchReportError("The report " + file + " could not be finished");
    }
    if (!out.commit())
        throw BatchReportError("The report " + file + " cannot be written: " + out.errorString().toStdString());
    return pages;
}
