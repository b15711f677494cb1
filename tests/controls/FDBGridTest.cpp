#include "controls/DataSource.h"
#include "controls/FDBGrid.h"
#include "dataset/ClientDataSet.h"
#include "platform/ModalRunner.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QMessageBox>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Collects what QAbstractItemModelTester complains about.
QStringList* g_warnings = nullptr;
void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (g_warnings && type != QtDebugMsg && type != QtInfoMsg)
        g_warnings->append(msg);
}

struct WarningCatcher {
    QStringList warnings;
    QtMessageHandler previous;
    WarningCatcher()
    {
        g_warnings = &warnings;
        previous = qInstallMessageHandler(collectWarnings);
    }
    ~WarningCatcher()
    {
        qInstallMessageHandler(previous);
        g_warnings = nullptr;
    }
};

struct Candidates {
    TClientDataSet ds{"cdsData"};
    TField* tick;
    TField* name;
    TField* amount;

    Candidates()
    {
        tick = ds.AddField("MA001", ftString, 1);
        name = ds.AddField("MA002", ftString, 10);
        amount = ds.AddField("MA016", ftBCD, 2);
        ds.CreateDataSet();
    }
    void add(const char* n, const char* amt, const char* t = "N")
    {
        ds.Append();
        tick->SetAsString(t);
        name->SetAsString(n);
        amount->SetAsString(amt);
        ds.Post();
    }
};

// Answers every modal window with its first button and remembers the texts.
struct DialogRecorder {
    QStringList texts;
    ModalRunFn previous;
    DialogRecorder()
    {
        previous = SetModalRunner([this](QWidget* w, const std::function<int()>&) {
            if (auto* box = qobject_cast<QMessageBox*>(w))
                texts.append(box->text());
            return 0;
        });
    }
    ~DialogRecorder() { SetModalRunner(previous); }
};

QColor pixel(const QImage& img, int x, int y)
{
    return QColor(img.pixel(x, y));
}

bool inkIn(const QImage& img, int x0, int x1, const QColor& background)
{
    for (int x = x0; x < x1; ++x)
        for (int y = 0; y < img.height(); ++y)
            if (pixel(img, x, y) != background)
                return true;
    return false;
}

} // namespace

TEST(DataSource, PassesTheModelTesterThroughEveryKindOfChange)
{
    WarningCatcher catcher;
    Candidates c;
    TDataSource source;
    QAbstractItemModelTester tester(&source, QAbstractItemModelTester::FailureReportingMode::Warning);
    source.SetDataSet(&c.ds);
    int current = -2;
    QObject::connect(&source, &TDataSource::currentRowChanged, [&](int row) { current = row; });

    c.add("S3", "3");
    c.add("S1", "1");
    c.add("S2", "2");
    EXPECT_EQ(source.rowCount(), 3);
    EXPECT_EQ(source.columnCount(), 3);
    EXPECT_EQ(source.headerData(1, Qt::Horizontal).toString(), "MA002");
    c.name->SetDisplayLabel("供应商编号");
    EXPECT_EQ(source.headerData(1, Qt::Horizontal).toString(), "供应商编号");

    c.ds.SetIndexFieldNames("MA002");
    EXPECT_EQ(source.index(0, 1).data().toString(), "S1");
    c.ds.First();
    c.ds.Edit();
    c.name->SetAsString("S9"); // moves to the end on post
    c.ds.Post();
    EXPECT_EQ(source.index(2, 1).data().toString(), "S9");
    EXPECT_EQ(current, 2);
    c.ds.Delete();
    EXPECT_EQ(source.rowCount(), 2);
    {
        ControlsDisabledScope quiet(c.ds);
        for (int i = 0; i < 20; ++i)
            c.add(("T" + std::to_string(i)).c_str(), "1");
        EXPECT_EQ(source.rowCount(), 2); // the view hears of the load at its end
    }
    EXPECT_EQ(source.rowCount(), 22);
    c.amount->SetVisible(false);
    EXPECT_EQ(source.columnCount(), 2);
    c.ds.EmptyDataSet();
    EXPECT_EQ(source.rowCount(), 0);
    c.add("S1", "1");
    c.ds.Close();
    EXPECT_EQ(source.rowCount(), 0);
    c.ds.Open();
    EXPECT_EQ(source.rowCount(), 1);

    // Editing through the model goes through the field's checks.
    c.ds.SetIndexFieldNames("");
    EXPECT_TRUE(source.setData(source.index(0, 1), "S7"));
    EXPECT_EQ(c.name->AsString(), "S7");
    EXPECT_FALSE(source.setData(source.index(0, 1), "FAR TOO LONG"));
    EXPECT_FALSE(source.LastError().isEmpty());
    EXPECT_EQ(c.ds.State(), dsBrowse);
    EXPECT_EQ(source.index(0, 1).data().toString(), "S7");
    c.name->SetReadOnly(true);
    EXPECT_FALSE(source.flags(source.index(0, 1)) & Qt::ItemIsEditable);

    EXPECT_TRUE(catcher.warnings.isEmpty()) << catcher.warnings.join("\n").toStdString();
}

TEST(DataSource, ForgetsADataSetThatIsDestroyed)
{
    TDataSource source;
    {
        Candidates c;
        c.add("S1", "1");
        source.SetDataSet(&c.ds);
        EXPECT_EQ(source.rowCount(), 1);
    }
    EXPECT_EQ(source.DataSet(), nullptr);
    EXPECT_EQ(source.rowCount(), 0);
}

TEST(CurrencyStyle, CurrencyNamesTakeSemicolonsAndDecimals)
{
    TCurrencyStyle style;
    int changes = 0;
    style.OnChange = [&](QObject*) { ++changes; };
    style.SetCurrencyNames("AMT;TAX=0\nFEE = 3;BAD=x");
    EXPECT_EQ(style.CurrencyNames(), "AMT\nTAX=0\nFEE = 3\nBAD=x");
    int d = -1;
    EXPECT_TRUE(style.IsCurrencyField("amt", &d));
    EXPECT_EQ(d, 2);
    EXPECT_TRUE(style.IsCurrencyField("TAX", &d));
    EXPECT_EQ(d, 0);
    EXPECT_TRUE(style.IsCurrencyField("FEE", &d));
    EXPECT_EQ(d, 3);
    EXPECT_TRUE(style.IsCurrencyField("BAD", &d));
    EXPECT_EQ(d, 2);
    EXPECT_FALSE(style.IsCurrencyField("MA002"));
    style.SetDecimalNumber(4);
    EXPECT_TRUE(style.IsCurrencyField("AMT", &d));
    EXPECT_EQ(d, 4);
    EXPECT_EQ(changes, 2);
}

namespace {

// Ten columns of 11 pixels with 1-pixel lines: 119 pixels, no leftover.
struct Ledger {
    TCurrencyStyle style;
    static constexpr int W = 119, H = 20, ColW = 11;
    Ledger()
    {
        style.Set_Enabled(true);
        style.SetFixColWidth(false);
        style.SetDigitalNumber(10);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(11);
        style.SetCurrencyFont(f);
    }
    QImage draw(const QString& value, int decimals = 2)
    {
        QImage img(W, H, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        p.setPen(Qt::black);
        style.DrawCell(&p, QRect(0, 0, W, H), value, decimals, Qt::white);
        return img;
    }
    // Columns 1..10 from the left; the line after column i is at x = (i - 1) * 12 + 11.
    static int colLeft(int k) { return (k - 1) * (ColW + 1); }
    static int lineAfter(int i) { return colLeft(i) + ColW; }
    bool digitIn(const QImage& img, int k) { return inkIn(img, colLeft(k), colLeft(k) + ColW, Qt::white); }
};

} // namespace

TEST(CurrencyStyle, DrawsOneDigitPerColumnWithDecimalAndThousandsLines)
{
    Ledger l;
    const QImage img = l.draw("12345678.9");
    for (int k = 1; k <= 10; ++k)
        EXPECT_TRUE(l.digitIn(img, k)) << "column " << k;
    EXPECT_EQ(pixel(img, Ledger::lineAfter(8), 10), QColor(255, 0, 0));  // decimal point
    EXPECT_EQ(pixel(img, Ledger::lineAfter(5), 10), QColor(0, 128, 0));  // thousands
    EXPECT_EQ(pixel(img, Ledger::lineAfter(2), 10), QColor(0, 128, 0));  // millions
    EXPECT_EQ(pixel(img, Ledger::lineAfter(1), 10), QColor(192, 192, 192));
    EXPECT_EQ(pixel(img, Ledger::lineAfter(9), 10), QColor(192, 192, 192));
    // Another eight-digit number looks different: the digits are really drawn.
    EXPECT_NE(img, l.draw("87654321.09"));

    // Nine integer digits do not fit: every column shows "#", whatever the digits were.
    const QImage nine = l.draw("123456789");
    for (int k = 1; k <= 10; ++k)
        EXPECT_TRUE(l.digitIn(nine, k)) << "column " << k;
    EXPECT_EQ(nine, l.draw("987654321.99"));
    EXPECT_NE(nine, img);

    // Small numbers sit right: the columns left of them stay empty.
    const QImage small = l.draw("12.5");
    for (int k = 1; k <= 6; ++k)
        EXPECT_FALSE(l.digitIn(small, k)) << "column " << k;
    for (int k = 7; k <= 10; ++k)
        EXPECT_TRUE(l.digitIn(small, k)) << "column " << k;

    // Zero with ZeroEmpty and unreadable text (zero) show only the lines.
    for (const char* v : {"0", "0.00", "abc"}) {
        const QImage zero = l.draw(v);
        for (int k = 1; k <= 10; ++k)
            EXPECT_FALSE(l.digitIn(zero, k)) << v << " column " << k;
        EXPECT_EQ(pixel(zero, Ledger::lineAfter(8), 10), QColor(255, 0, 0));
    }
    l.style.SetZeroEmpty(false);
    EXPECT_TRUE(l.digitIn(l.draw("0"), 8));
    EXPECT_FALSE(l.digitIn(l.draw("0"), 7));
}

TEST(CurrencyStyle, SignSymbolAndDecimalsTakeTheirColumns)
{
    Ledger l;
    // The sign takes a column of its own.
    EXPECT_TRUE(l.digitIn(l.draw("-1234567.89"), 1));
    EXPECT_EQ(l.draw("-12345678.9"), l.draw("99999999999"));
    l.style.SetShowNegativeSign(false);
    EXPECT_FALSE(l.digitIn(l.draw("-1234567.89"), 1));
    EXPECT_EQ(l.draw("-1234567.89"), l.draw("1234567.89"));
    l.style.SetShowNegativeSign(true);

    // A symbol needs a column too; aligned, it stands in the leftmost one.
    l.style.SetCurrencySymbol(QStringLiteral("$"));
    const QImage sym = l.draw("1234.5");
    EXPECT_TRUE(l.digitIn(sym, 4));
    EXPECT_FALSE(l.digitIn(sym, 3));
    EXPECT_EQ(l.draw("12345678.9"), l.draw("99999999.99")); // no room for the symbol: "#"
    l.style.SetCurrencySymbolAligned(true);
    const QImage aligned = l.draw("1234.5");
    EXPECT_TRUE(l.digitIn(aligned, 1));
    EXPECT_FALSE(l.digitIn(aligned, 4));
    l.style.SetCurrencySymbol(QString());

    // No decimals: no red line inside, the last column holds units.
    const QImage whole = l.draw("1234", 0);
    EXPECT_TRUE(l.digitIn(whole, 10));
    EXPECT_FALSE(l.digitIn(whole, 6));
    EXPECT_EQ(pixel(whole, Ledger::lineAfter(7), 10), QColor(0, 128, 0));
    for (int i = 1; i < 10; ++i)
        EXPECT_NE(pixel(whole, Ledger::lineAfter(i), 10), QColor(255, 0, 0));

    // Negative colour: the whole cell.
    l.style.SetShowNegativeColor(true);
    EXPECT_EQ(pixel(l.draw("-5"), 3, 1), QColor(255, 0, 0));
    EXPECT_EQ(pixel(l.draw("5"), 3, 1), QColor(255, 255, 255));
}

TEST(CurrencyStyle, FixedColumnWidthCountsTheColumnsThatFit)
{
    Ledger l;
    l.style.SetFixColWidth(true);
    const int colW = QFontMetrics(l.style.CurrencyFont()).horizontalAdvance(QLatin1Char('0')) + 1;
    l.draw("1");
    EXPECT_EQ(l.style.DigitalNumber(), Ledger::W / (colW + 1));
}

namespace {

struct GridFixture {
    Candidates c;
    TDataSource source;
    TFDBGrid grid;

    GridFixture()
    {
        c.add("S1", "100.10");
        c.add("S2", "0.20");
        c.add("S3", "5");
        source.SetDataSet(&c.ds);
        grid.SetDataSource(&source);
        grid.SetControlType({QStringLiteral("MA001;CheckBox;Y;N")});
        grid.resize(400, 260);
        grid.show();
        QApplication::processEvents();
    }
    QImage shot()
    {
        QApplication::processEvents();
        return grid.viewport()->grab().toImage();
    }
    // A point inside a cell, clear of its text and lines.
    QPoint spot(int row, int column)
    {
        return QPoint(grid.columnViewportPosition(column) + grid.columnWidth(column) - 4,
                      grid.rowViewportPosition(row) + 3);
    }
    QPoint blankSpot(int k, int column)
    {
        const int top = grid.rowViewportPosition(2) + grid.rowHeight(2);
        return QPoint(grid.columnViewportPosition(column) + 4, top + k * grid.DefaultRowHeight() + 3);
    }
};

} // namespace

TEST(FDBGrid, DrawsRecordsAndBlankRowsInAlternatingColoursAndTheCurrentInFocusColour)
{
    GridFixture f;
    f.c.ds.Last();
    const QImage img = f.shot();
    TFDBGridColors* colors = f.grid.GridColors();
    EXPECT_EQ(colors->OddRecColor(), QColor(251, 255, 236));
    EXPECT_EQ(colors->EvenRecColor(), QColor(206, 249, 231));
    EXPECT_EQ(colors->FocusRecColor(), QColor(183, 220, 242));
    EXPECT_EQ(pixel(img, f.spot(0, 1).x(), f.spot(0, 1).y()), colors->OddRecColor());
    EXPECT_EQ(pixel(img, f.spot(1, 1).x(), f.spot(1, 1).y()), colors->EvenRecColor());
    EXPECT_EQ(pixel(img, f.spot(2, 1).x(), f.spot(2, 1).y()), colors->FocusRecColor());
    // Blank rows go on from record 3: 4 even, 5 odd.
    EXPECT_EQ(pixel(img, f.blankSpot(0, 1).x(), f.blankSpot(0, 1).y()), colors->EvenRecColor());
    EXPECT_EQ(pixel(img, f.blankSpot(1, 1).x(), f.blankSpot(1, 1).y()), colors->OddRecColor());

    // Moving the data set moves the focus colour; the old current row gets its own back.
    f.c.ds.First();
    const QImage moved = f.shot();
    EXPECT_EQ(pixel(moved, f.spot(0, 1).x(), f.spot(0, 1).y()), colors->FocusRecColor());
    EXPECT_EQ(pixel(moved, f.spot(2, 1).x(), f.spot(2, 1).y()), colors->OddRecColor());

    colors->SetEvenRecColor(QColor(10, 20, 30));
    const QImage recoloured = f.shot();
    EXPECT_EQ(pixel(recoloured, f.spot(1, 1).x(), f.spot(1, 1).y()), QColor(10, 20, 30));

    f.grid.SetGrawGridInBlank(false);
    const QImage noBlank = f.shot();
    EXPECT_NE(pixel(noBlank, f.blankSpot(1, 1).x(), f.blankSpot(1, 1).y()), colors->OddRecColor());
}

TEST(FDBGrid, DrawsMoneyColumnsAsLedger)
{
    GridFixture f;
    f.c.ds.Last();
    f.grid.CHNCurrencyFields()->SetCurrencyNames("MA016");
    f.grid.CHNCurrencyFields()->SetFixColWidth(false);
    f.grid.setColumnWidth(2, 120);
    const QImage plain = f.shot();
    f.grid.CHNCurrencyFields()->Set_Enabled(true);
    const QImage ledger = f.shot();
    const QRect cell = f.grid.visualRect(f.source.index(0, 2));
    // The red decimal line appears inside the money cell only once the style is on.
    auto hasRed = [&](const QImage& img) {
        for (int x = cell.left(); x < cell.right(); ++x)
            if (pixel(img, x, cell.center().y()) == QColor(255, 0, 0))
                return true;
        return false;
    };
    EXPECT_FALSE(hasRed(plain));
    EXPECT_TRUE(hasRed(ledger));
}

TEST(FDBGrid, ChecksBoxesOnlyWhileEditingIsAllowedAndFollowsTheDataSet)
{
    GridFixture f;
    Decimal total;
    f.c.tick->OnValidate = [&](TField* s) {
        if (s->AsString() == "Y")
            total += s->DataSet()->FieldByName("MA016")->AsDecimal();
        else
            total -= s->DataSet()->FieldByName("MA016")->AsDecimal();
    };
    const QPoint box0 = f.grid.visualRect(f.source.index(0, 0)).center();
    const QPoint box1 = f.grid.visualRect(f.source.index(1, 0)).center();

    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, box1);
    EXPECT_EQ(f.c.ds.RecNo(), 2); // the click moved the data set
    EXPECT_EQ(f.c.tick->AsString(), "N"); // editing is off

    int dbl = 0;
    f.grid.OnDblClick = [&](QObject*) {
        TFDBGrid::TDBGridOptions o = f.grid.Options();
        f.grid.SetOptions(o | TFDBGrid::dgEditing);
        ++dbl;
    };
    QTest::mouseDClick(f.grid.viewport(), Qt::LeftButton, {}, box1);
    EXPECT_EQ(dbl, 1);
    EXPECT_EQ(f.c.tick->AsString(), "N");
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, box1);
    EXPECT_EQ(f.c.tick->AsString(), "Y");
    EXPECT_EQ(f.c.ds.State(), dsBrowse);
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, box0);
    EXPECT_EQ(f.c.ds.RecNo(), 1);
    EXPECT_EQ(f.c.tick->AsString(), "Y");
    f.grid.setFocus();
    QTest::keyClick(&f.grid, Qt::Key_Space);
    EXPECT_EQ(f.c.tick->AsString(), "N");
    QTest::keyClick(&f.grid, Qt::Key_Space);
    EXPECT_EQ(total.toFixed(), "100.30");

    // The tick is drawn from the data.
    const QRect r2 = f.grid.visualRect(f.source.index(2, 0));
    const QImage before = f.shot().copy(r2);
    f.c.ds.Last();
    f.c.ds.Edit();
    f.c.tick->SetAsString("Y");
    f.c.ds.Post();
    f.c.ds.First();
    EXPECT_NE(before, f.shot().copy(r2));
    EXPECT_EQ(total.toFixed(), "105.30");

    // A refused tick is shown and changes nothing.
    f.c.tick->OnValidate = [](TField*) { throw DataSetError("不能选择"); };
    DialogRecorder dialogs;
    QTest::keyClick(&f.grid, Qt::Key_Space);
    EXPECT_EQ(f.c.tick->AsString(), "Y");
    EXPECT_EQ(dialogs.texts, QStringList{QStringLiteral("不能选择")});
    EXPECT_EQ(f.c.ds.State(), dsBrowse);

    // Locate in the data set moves the grid's current row.
    f.c.ds.Locate("MA002", "S3");
    EXPECT_EQ(f.grid.currentIndex().row(), 2);
    f.grid.SetReadOnly(true);
    QTest::keyClick(&f.grid, Qt::Key_Space);
    EXPECT_EQ(f.c.tick->AsString(), "Y");
}

TEST(FDBGrid, FixedColumnsStayWhenTheGridScrollsSideways)
{
    GridFixture f;
    f.grid.resize(160, 200);
    for (int c = 0; c < 3; ++c)
        f.grid.setColumnWidth(c, 90);
    f.grid.SetFixedCols(1);
    f.grid.SetOptions(f.grid.Options() | TFDBGrid::dgEditing);
    QApplication::processEvents();
    auto* frozen = f.grid.findChild<QTableView*>();
    ASSERT_NE(frozen, nullptr);
    EXPECT_TRUE(frozen->isVisible());
    EXPECT_EQ(frozen->width(), 90);
    EXPECT_TRUE(frozen->isColumnHidden(1));

    // Going to the last column scrolls the grid; the tick column stays in front.
    f.grid.setCurrentIndex(f.source.index(0, 2));
    QApplication::processEvents();
    EXPECT_GT(f.grid.horizontalScrollBar()->value(), 0);
    EXPECT_GE(f.grid.columnViewportPosition(2), frozen->width());
    EXPECT_EQ(frozen->columnViewportPosition(0), 0);

    // A click on the fixed tick column moves the record and ticks it.
    const QPoint box = frozen->visualRect(f.source.index(1, 0)).center();
    QTest::mouseClick(frozen->viewport(), Qt::LeftButton, {}, box);
    EXPECT_EQ(f.c.ds.RecNo(), 2);
    EXPECT_EQ(f.c.tick->AsString(), "Y");
    const QImage img = frozen->viewport()->grab().toImage();
    const QRect r = frozen->visualRect(f.source.index(1, 0));
    EXPECT_EQ(QColor(img.pixel(r.right() - 3, r.top() + 3)), f.grid.GridColors()->FocusRecColor());

    f.grid.SetFixedCols(0);
    EXPECT_FALSE(frozen->isVisible());
}

TEST(FDBGrid, FixedColumnsAreLaidOutBeforeTheGridIsShown)
{
    QWidget area;
    Candidates c;
    c.add("S1", "1");
    TDataSource source;
    source.SetDataSet(&c.ds);
    auto* grid = new TFDBGrid(&area);
    grid->SetDataSource(&source);
    grid->setGeometry(0, 0, 300, 150);
    grid->setColumnWidth(0, 40);
    grid->setColumnWidth(1, 70);
    grid->SetFixedCols(2);
    area.show();
    QApplication::processEvents();
    auto* frozen = grid->findChild<QTableView*>();
    ASSERT_NE(frozen, nullptr);
    EXPECT_EQ(frozen->width(), 110);
    EXPECT_EQ(frozen->x(), grid->frameWidth() + grid->verticalHeader()->width());
    EXPECT_EQ(frozen->height(), grid->viewport()->height() + grid->horizontalHeader()->height());
}

TEST(FDBGrid, FollowsRecordsTheDataSetAddsMovesAndDeletes)
{
    GridFixture f;
    f.c.ds.Last();
    f.c.ds.Delete(); // the current row goes away under the view
    EXPECT_EQ(f.c.ds.RecordCount(), 2);
    EXPECT_EQ(f.c.ds.RecNo(), 2);
    EXPECT_EQ(f.grid.currentIndex().row(), 1);
    f.c.ds.SetIndexFieldNames("MA002");
    f.c.add("S0", "1");
    EXPECT_EQ(f.c.ds.RecNo(), 1);
    EXPECT_EQ(f.grid.currentIndex().row(), 0);
    f.c.ds.Edit();
    f.c.name->SetAsString("S9"); // moves to the end
    f.c.ds.Post();
    EXPECT_EQ(f.c.ds.RecNo(), 3);
    EXPECT_EQ(f.grid.currentIndex().row(), 2);
    EXPECT_EQ(f.c.name->AsString(), "S9");
    f.c.ds.First();
    f.c.ds.Delete();
    EXPECT_EQ(f.c.ds.RecNo(), 1);
    EXPECT_EQ(f.grid.currentIndex().row(), 0);
    EXPECT_EQ(f.c.name->AsString(), "S2");
}
