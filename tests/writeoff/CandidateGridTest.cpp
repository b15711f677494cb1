// The clerk's hands on the candidate list: ticking by double click and Space, ordering by a
// title, the find box with the totals, and the layout kept for the next time.

#include "WriteOffFixture.h"
#include "export/CsvRecords.h"

#include "controls/Buttons.h"
#include "controls/DataSource.h"
#include "controls/ExtPage.h"
#include "controls/FDBGrid.h"
#include "jobform/FormLayout.h"

#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QSettings>
#include <QTabBar>
#include <QTest>

#include <map>
#include <set>

namespace {

QPoint cellCentre(TFDBGrid* grid, int row, int column)
{
    static_cast<QAbstractItemView*>(grid)->scrollTo(grid->model()->index(row, column));
    return grid->visualRect(grid->model()->index(row, column)).center();
}

void clickTitle(TFDBGrid* grid, int column)
{
    QHeaderView* titles = grid->horizontalHeader();
    const int x = titles->sectionViewportPosition(column) + titles->sectionSize(column) / 2;
    QTest::mouseClick(titles->viewport(), Qt::LeftButton, {}, QPoint(x, titles->height() / 2));
}

} // namespace

class CandidateGrid : public WriteOffForm {
protected:
    void SetUp() override
    {
        QFile::remove(FormLayout::FileOf(QString::fromStdString(installation->user), QStringLiteral("WOFB07")));
        WriteOffForm::SetUp();
    }
    void TearDown() override
    {
        WriteOffForm::TearDown();
        QFile::remove(FormLayout::FileOf(QString::fromStdString(installation->user), QStringLiteral("WOFB07")));
    }
    int column(const char* field) const { return form->dsData->ColumnOfField(QString::fromLatin1(field)); }
    bool ticked(int row) const { return cell(row, "MA001") == "Y"; }
    // The document keys of the rows in sight, in their order.
    std::vector<std::string> keys() const
    {
        std::vector<std::string> out;
        for (int r = 0; r < form->cdsData->RecordCount(); ++r)
            out.push_back(cell(r, "MA005") + cell(r, "MA006"));
        return out;
    }
    // Closes the form as the user does and opens the job again.
    void reopen(const std::function<void()>& meanwhile = {})
    {
        form->close();
        settleEvents();
        if (form)
            form->Free();
        settleEvents();
        if (meanwhile)
            meanwhile();
        form = TQVForm::Create<TfrmWOFB07>(nullptr);
        form->SetModuleFileName(QStringLiteral("/opt/qv/WOFB07C.so"));
        form->SessionObject = Variant(std::static_pointer_cast<Dispatch>(std::make_shared<HostSession>()));
        ASSERT_TRUE(form->InitSession(Variant::list(
            {installation->user, installation->company, installation->database, std::int64_t(0), Variant()})));
        form->show();
        settleEvents();
    }
};

TEST_F(CandidateGrid, DoubleClickAndSpaceTickTheRowFromAnyColumn)
{
    toLastPage(0);
    TFDBGrid* grid = form->grdResult;
    ASSERT_GT(form->cdsData->RecordCount(), 3);
    const int name = column("MA003");

    // A double click on the supplier's name ticks its row, once; another unticks it.
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(grid, 1, name));
    EXPECT_TRUE(ticked(1));
    EXPECT_EQ(form->TotalCount(), 1);
    EXPECT_EQ(form->TotalOriginal(), amount(1, "MA016"));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(grid, 1, name));
    EXPECT_FALSE(ticked(1));
    EXPECT_EQ(form->TotalCount(), 0);

    // Space in a column that is not the tick's ticks and unticks the current row.
    grid->setFocus();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(grid, 2, column("MA016")));
    ASSERT_EQ(form->cdsData->RecNo(), 3);
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_TRUE(ticked(2));
    EXPECT_EQ(form->TotalLocal(), amount(2, "MA017"));
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_TRUE(ticked(3));
    EXPECT_EQ(form->TotalCount(), 2);
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_FALSE(ticked(3));
    EXPECT_EQ(form->TotalCount(), 1);
}

TEST_F(CandidateGrid, ATitleOrdersUpThenDownThenBackToTheListsOwnOrder)
{
    toLastPage(0);
    TFDBGrid* grid = form->grdResult;
    const int n = form->cdsData->RecordCount();
    ASSERT_GT(n, 3);
    const std::vector<std::string> own = keys();
    const auto amounts = [&] {
        std::vector<Decimal> out;
        for (int r = 0; r < n; ++r)
            out.push_back(amount(r, "MA016"));
        return out;
    };
    ASSERT_FALSE(std::is_sorted(amounts().begin(), amounts().end())) << "the demo's amounts come in no order";
    // The current document stays the current one whatever the order.
    form->cdsData->SetRecNo(2);
    const std::string current = cell(1, "MA005") + cell(1, "MA006");
    const auto currentKey = [&] {
        const int r = form->cdsData->RecNo() - 1;
        return cell(r, "MA005") + cell(r, "MA006");
    };

    clickTitle(grid, column("MA016"));
    std::vector<Decimal> up = amounts();
    EXPECT_TRUE(std::is_sorted(up.begin(), up.end()));
    EXPECT_EQ(grid->SortField(), QStringLiteral("MA016"));
    EXPECT_FALSE(grid->SortDescending());
    EXPECT_EQ(currentKey(), current);

    clickTitle(grid, column("MA016"));
    std::vector<Decimal> down = amounts();
    EXPECT_TRUE(std::is_sorted(down.rbegin(), down.rend()));
    EXPECT_TRUE(grid->SortDescending());

    clickTitle(grid, column("MA016"));
    EXPECT_EQ(keys(), own);
    EXPECT_EQ(form->cdsData->IndexFieldNames(), "MA002;MA005;MA006;MA008");
    EXPECT_TRUE(grid->SortField().isEmpty());
    // The tick column orders nothing: a tick would send its row away.
    clickTitle(grid, column("MA001"));
    EXPECT_TRUE(grid->SortField().isEmpty());
    EXPECT_EQ(keys(), own);

    // Ticks and totals do not care for the order; a new list comes in its own.
    clickTitle(grid, column("MA003"));
    form->cdsData->First();
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(form->TotalOriginal(), amount(0, "MA016"));
    form->btnFilterClick(form->btnFilter);
    EXPECT_EQ(keys(), own);
    EXPECT_TRUE(grid->SortField().isEmpty());
}

TEST_F(CandidateGrid, TheFindBoxNarrowsTheRowsWhileTheTotalsKeepEveryTick)
{
    toLastPage(0);
    const int n = form->cdsData->RecordCount();
    ASSERT_GT(n, 5);
    // One ticked row of some supplier and a row of another, ticked too.
    const std::string supplier = cell(0, "MA002");
    int other = -1;
    for (int r = 0; r < n && other < 0; ++r)
        if (cell(r, "MA002") != supplier)
            other = r;
    ASSERT_GE(other, 0);
    tick(0, true);
    tick(other, true);
    const Decimal hidden = amount(other, "MA016");
    const Decimal original = amount(0, "MA016") + hidden;
    const Decimal local = amount(0, "MA017") + amount(other, "MA017");
    const std::string otherKey = cell(other, "MA005") + cell(other, "MA006");

    // The supplier's code in small letters: only its rows are in sight.
    QTest::keyClicks(form->edFind, QString::fromStdString(supplier).toLower());
    const int shown = form->cdsData->RecordCount();
    ASSERT_GT(shown, 0);
    ASSERT_LT(shown, n);
    for (int r = 0; r < shown; ++r)
        EXPECT_EQ(cell(r, "MA002"), supplier);
    EXPECT_EQ(form->TotalCount(), 2);
    EXPECT_EQ(form->TotalOriginal(), original);
    EXPECT_EQ(form->TotalLocal(), local);
    EXPECT_TRUE(form->lblHiddenTicked->isVisibleTo(form));
    EXPECT_EQ(form->lblHiddenTicked->text(), QStringLiteral("选中的单据有 1 笔不在筛选结果中"));
    // The hand-over takes the hidden row as well.
    const Variant chosen = form->ChosenDocuments();
    std::set<std::string> sent;
    for (int i = chosen.lowBound(); i <= chosen.highBound(); ++i)
        sent.insert(VarToStr(chosen[i]));
    EXPECT_EQ(sent.size(), 2u);
    EXPECT_TRUE(sent.count(otherKey));
    EXPECT_EQ(form->cdsData->RecordCount(), shown);

    // "全选" ticks the rows in sight and no others.
    QTest::mouseClick(form->btnALL, Qt::LeftButton);
    Decimal visible;
    for (int r = 0; r < shown; ++r) {
        EXPECT_TRUE(ticked(r));
        visible += amount(r, "MA016");
    }
    EXPECT_EQ(form->TotalCount(), shown + 1);
    EXPECT_EQ(form->TotalOriginal(), visible + hidden);

    // An amount as the grid shows it, with or without its thousands separators.
    form->edFind->clear();
    EXPECT_EQ(form->cdsData->RecordCount(), n);
    EXPECT_FALSE(form->lblHiddenTicked->isVisibleTo(form));
    int big = -1;
    for (int r = 0; r < n && big < 0; ++r)
        if (QString::fromStdString(form->cdsData->FieldByName("MA016")->DisplayTextAt(r)).contains(QLatin1Char(',')))
            big = r;
    ASSERT_GE(big, 0) << "an amount of four digits or more";
    const QString shownAmount = QString::fromStdString(form->cdsData->FieldByName("MA016")->DisplayTextAt(big));
    const std::string bigKey = cell(big, "MA005") + cell(big, "MA006");
    for (QString text : {shownAmount, QString(shownAmount).remove(QLatin1Char(','))}) {
        form->edFind->clear();
        QTest::keyClicks(form->edFind, text);
        const std::vector<std::string> found = keys();
        EXPECT_NE(std::find(found.begin(), found.end(), bigKey), found.end()) << text.toStdString();
        EXPECT_LT(int(found.size()), n) << text.toStdString();
    }
    // "全不选" in the find leaves the ticks out of sight; every tick counts again once shown.
    QTest::mouseClick(form->BtnAllNo, Qt::LeftButton);
    form->edFind->clear();
    int ticks = 0;
    Decimal sum;
    for (int r = 0; r < n; ++r)
        if (ticked(r)) {
            ++ticks;
            sum += amount(r, "MA016");
        }
    EXPECT_EQ(form->TotalCount(), ticks);
    EXPECT_EQ(form->TotalOriginal(), sum);
}

TEST_F(CandidateGrid, TheWindowAndTheColumnsAreAsTheUserLeftThem)
{
    toLastPage(0);
    TFDBGrid* grid = form->grdResult;
    // The tick buttons belong to the grid: not on the other tab.
    EXPECT_TRUE(form->btnALL->isVisible());
    auto* tabs = form->pgOption->findChild<QTabBar*>();
    ASSERT_TRUE(tabs);
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    settleEvents();
    ASSERT_EQ(form->pgOption->ActivePage(), form->tsOption2);
    EXPECT_FALSE(form->btnALL->isVisible());
    EXPECT_FALSE(form->BtnAllNo->isVisible());
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    settleEvents();
    EXPECT_TRUE(form->btnALL->isVisible());

    // A width the user drags stays over a new list; a title dragged elsewhere moves its column.
    QHeaderView* titles = grid->horizontalHeader();
    titles->resizeSection(column("MA003"), 61);
    titles->moveSection(column("MA009"), column("MA003"));
    settleEvents();
    EXPECT_EQ(column("MA009"), 2);
    EXPECT_EQ(column("MA003"), 3);
    form->btnFilterClick(form->btnFilter);
    EXPECT_EQ(grid->columnWidth(column("MA003")), 61);
    const int fittedWidth = grid->columnWidth(column("MA016"));
    form->setGeometry(40, 50, 700, 480);
    const QRect place = form->geometry();

    reopen();
    grid = form->grdResult;
    EXPECT_EQ(form->geometry(), place);
    EXPECT_EQ(column("MA009"), 2);
    EXPECT_EQ(grid->columnWidth(column("MA003")), 61);
    EXPECT_FALSE(form->btnALL->isVisible()) << "the first page";
    toLastPage(0);
    EXPECT_EQ(column("MA009"), 2);
    EXPECT_EQ(grid->columnWidth(column("MA003")), 61);
    EXPECT_EQ(grid->columnWidth(column("MA016")), fittedWidth) << "widths the user left alone are fitted";

    // A place off every screen, or a size out of reason, is passed over: the window opens
    // where it can be reached.
    const QString file = FormLayout::FileOf(QString::fromStdString(installation->user), QStringLiteral("WOFB07"));
    for (const QRect& bad : {QRect(-5000, -5000, 700, 480), QRect(40, 50, 30, 20), QRect(40, 50, 99999, 480)}) {
        reopen([&] {
            QSettings ini(file, QSettings::IniFormat);
            ini.setValue(QStringLiteral("Layout/Left"), bad.left());
            ini.setValue(QStringLiteral("Layout/Top"), bad.top());
            ini.setValue(QStringLiteral("Layout/Width"), bad.width());
            ini.setValue(QStringLiteral("Layout/Height"), bad.height());
        });
        const QRect screen = form->screen()->availableGeometry();
        EXPECT_EQ(form->size(), QSize(960, 540)) << bad.width();
        EXPECT_TRUE(screen.intersects(form->geometry())) << bad.left();
    }
}

TEST_F(CandidateGrid, TheExportHasTheListAsTheClerkSeesIt)
{
    toLastPage(0);
    TFDBGrid* grid = form->grdResult;
    const int n = form->cdsData->RecordCount();
    ASSERT_GT(n, 5);
    // The clerk orders by the amount, highest first, moves the currency beside the code,
    // ticks the first and third rows and looks for one supplier's documents.
    clickTitle(grid, column("MA016"));
    clickTitle(grid, column("MA016"));
    grid->horizontalHeader()->moveSection(column("MA009"), column("MA003"));
    settleEvents();
    grid->setFocus();
    for (int row : {0, 2}) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(grid, row, column("MA003")));
        QTest::keyClick(grid, Qt::Key_Space);
    }
    QTest::keyClicks(form->edFind, QString::fromStdString(cell(0, "MA002")).trimmed());
    const int shown = grid->model()->rowCount();
    ASSERT_GT(shown, 1);
    ASSERT_LT(shown, n);

    // The save dialog answered as the clerk does: a name, and the type from the list.
    const QTemporaryDir out;
    QString typeChosen = QStringLiteral("CSV");
    QString nameTyped = out.filePath(QStringLiteral("候选"));
    SetModalRunner([&](QWidget* w, const std::function<int()>&) {
        if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
            for (const QString& filter : dialog->nameFilters())
                if (filter.startsWith(typeChosen))
                    dialog->selectNameFilter(filter);
            dialog->selectFile(nameTyped);
            return int(QDialog::Accepted);
        }
        if (auto* box = qobject_cast<QMessageBox*>(w))
            dialogs << box->text();
        return questionAnswer;
    });
    QTest::mouseClick(form->btnExport, Qt::LeftButton);
    EXPECT_TRUE(dialogs.isEmpty()) << dialogs.join(QLatin1Char('\n')).toStdString();

    const CsvFile csv = ReadCsv(out.filePath(QStringLiteral("候选.csv")).toStdString());
    ASSERT_EQ(int(csv.records.size()), shown + 1);
    // The titles as the grid shows them, in its order, in the interface language.
    const QAbstractItemModel* model = grid->model();
    QHeaderView* titles = grid->horizontalHeader();
    ASSERT_EQ(int(csv.records[0].size()), model->columnCount());
    EXPECT_EQ(csv.records[0][0], "选择");
    std::map<std::string, int> at; // field -> place in the file
    for (int v = 0; v < titles->count(); ++v) {
        const int c = titles->logicalIndex(v);
        EXPECT_EQ(csv.records[0][std::size_t(v)], model->headerData(c, Qt::Horizontal).toString().toStdString());
        at[form->dsData->FieldOfColumn(c)->FieldName()] = v;
    }
    EXPECT_EQ(at["MA009"], 2);
    // The rows in sight, in the grid's order, the ticks with them and the amounts exact.
    for (int r = 0; r < shown; ++r) {
        const auto& record = csv.records[std::size_t(r) + 1];
        const auto shownText = [&](const char* field) {
            return model->index(r, column(field)).data().toString().toStdString();
        };
        EXPECT_EQ(record[std::size_t(at["MA006"])], shownText("MA006")) << r;
        EXPECT_EQ(record[std::size_t(at["MA003"])], shownText("MA003")) << r;
        EXPECT_EQ(record[std::size_t(at["MA001"])], ticked(r) ? "TRUE" : "FALSE") << r;
        EXPECT_EQ(Decimal::parse(record[std::size_t(at["MA016"])]), amount(r, "MA016")) << r;
        QString date = QString::fromStdString(record[std::size_t(at["MA008"])]);
        EXPECT_EQ(date.remove(QLatin1Char('-')), QString::fromStdString(shownText("MA008")).remove(QLatin1Char('/')));
    }
    EXPECT_EQ(csv.records[1][std::size_t(at["MA001"])], "TRUE");
    EXPECT_TRUE(std::is_sorted(csv.records.begin() + 1, csv.records.end(), [&](const auto& a, const auto& b) {
        return Decimal::parse(b[std::size_t(at["MA016"])]) < Decimal::parse(a[std::size_t(at["MA016"])]);
    }));

    // The same name again is replaced only when the clerk says so; the XLSX type gives a workbook.
    const QByteArray before = [&] {
        QFile f(out.filePath(QStringLiteral("候选.csv")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    form->edFind->clear();
    questionAnswer = mrNo;
    QTest::mouseClick(form->btnExport, Qt::LeftButton);
    ASSERT_EQ(dialogs.size(), 1);
    EXPECT_TRUE(dialogs[0].contains(QStringLiteral("候选.csv"))) << dialogs[0].toStdString();
    QFile again(out.filePath(QStringLiteral("候选.csv")));
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), before);
    typeChosen = QStringLiteral("Excel");
    QTest::mouseClick(form->btnExport, Qt::LeftButton);
    QFile workbook(out.filePath(QStringLiteral("候选.xlsx")));
    ASSERT_TRUE(workbook.open(QIODevice::ReadOnly));
    EXPECT_TRUE(workbook.read(2) == "PK");
}
