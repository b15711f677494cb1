// The look-ups of the write-off form: F2 on each control, the second page's document lists
// kept to its choices, several rows at once, codes found without regard to case.

#include "WriteOffFixture.h"
#include "PgTestServer.h"

#include "controls/SelectPnl.h"
#include "host/LookupWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Codes typed in lower case are found and shown as stored, whichever database serves.
void codesAreFoundWithoutRegardToCase(TfrmWOFB07* form)
{
    form->BtnNextClick(form->BtnNext);
    ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgNext);
    form->ed04->SetText(QStringLiteral("rmb"));
    form->ed04Exit(form->ed04);
    EXPECT_FALSE(form->ValidationFailed) << form->MessageCodes.toStdString();
    EXPECT_EQ(form->ed04->Text(), QStringLiteral("RMB"));
    form->sp05->SetUserChoice(true);
    form->sp05->edBegin->SetText(QStringLiteral("A001"));
    form->sp05->edFinal->SetText(QStringLiteral("A003"));
    form->BtnNextClick(form->BtnNext);
    ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgLast) << form->MessageCodes.toStdString();
    EXPECT_GT(form->cdsData->RecordCount(), 0) << "the candidates of RMB";
    form->ed11->SetText(QStringLiteral("a005"));
    form->ed11Exit(form->ed11);
    EXPECT_FALSE(form->ValidationFailed) << form->MessageCodes.toStdString();
    EXPECT_EQ(form->ed11->Text(), QStringLiteral("A005"));
    EXPECT_FALSE(form->lbl11C->text().isEmpty());
}

} // namespace

TEST_F(WriteOffForm, CodesAreFoundWithoutRegardToCase)
{
    codesAreFoundWithoutRegardToCase(form);
}

// The same on a demo installation whose databases a PostgreSQL server keeps.
class WriteOffFormOnPostgres : public WriteOffForm {
protected:
    static void SetUpTestSuite()
    {
        if (PgConnectBase().empty())
            return;
        pg = new PgTestDatabase;
        folder = new QTemporaryDir;
        const DbServerLogin l = PgTestLogin(pg->name());
        installation = new DemoInstallation(DemoInstall::Prepare(
            folder->filePath(QStringLiteral("demo")).toStdString(), TestBinDir(),
            "Host=" + l.host + ";Port=" + l.port + ";Database=" + l.database + ";User=" + l.user));
        DemoInstall::UseEnvironment(*installation);
    }
    static void TearDownTestSuite()
    {
        WriteOffForm::TearDownTestSuite();
        delete pg;
        pg = nullptr;
    }
    void SetUp() override
    {
        QV_SKIP_WITHOUT_PG();
        WriteOffForm::SetUp();
    }
    void TearDown() override
    {
        if (!PgConnectBase().empty())
            WriteOffForm::TearDown();
    }
    static PgTestDatabase* pg;
};

PgTestDatabase* WriteOffFormOnPostgres::pg = nullptr;

TEST_F(WriteOffFormOnPostgres, CodesAreFoundWithoutRegardToCase)
{
    ASSERT_TRUE(installation->onPostgres);
    codesAreFoundWithoutRegardToCase(form);
}

// F2 on a control opens the host's look-up of its table; the row taken fills the control.
TEST_F(WriteOffForm, F2LooksUpEachControlsTable)
{
    QStringList lookups;
    int rowToTake = 0;
    ModalRunFn mine = [&](QWidget* w, const std::function<int()>&) {
        if (auto* lookup = qobject_cast<LookupWindow*>(w)) {
            lookups << lookup->windowTitle();
            if (lookup->visibleRows() <= rowToTake)
                return int(QDialog::Rejected);
            lookup->grid()->setCurrentIndex(lookup->grid()->model()->index(rowToTake, 0));
            return int(QDialog::Accepted);
        }
        if (auto* box = qobject_cast<QMessageBox*>(w))
            dialogs << box->text();
        return 1;
    };
    const ModalRunFn fixture = SetModalRunner(mine);
    QApplication::setActiveWindow(form);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    const auto pressF2 = [&](QWidget* control) {
        control->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
        settleEvents();
    };
    const auto exists = [&](const char* sql, const QString& key) {
        return company().scalar(sql, {{"K", key.toStdString()}}).toInt() > 0;
    };

    form->BtnNextClick(form->BtnNext);
    ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgNext);
    form->ed04->SetText(QString());
    pressF2(form->ed04);
    EXPECT_FALSE(form->ed04->Text().isEmpty()) << lookups.join(QStringLiteral(" | ")).toStdString();
    EXPECT_TRUE(exists("SELECT COUNT(*) FROM CMSMF WHERE MF001=:K", form->ed04->Text().trimmed())) << form->ed04->Text().toStdString();

    form->sp05->SetStyle(TSelectPanel::sp_Range);
    rowToTake = 1;
    pressF2(form->sp05->edBegin);
    const QString supplier = form->sp05->edBegin->Text().trimmed();
    EXPECT_TRUE(exists("SELECT COUNT(*) FROM PURMA WHERE MA001=:K", supplier)) << supplier.toStdString();

    // A document of the purchase invoices: type and number joined with "-".
    form->sp06->SetStyle(TSelectPanel::sp_Range);
    rowToTake = 0;
    pressF2(form->sp06->edBegin);
    // The mask keeps no literals: the text is type (4) and number joined.
    const QString doc = form->sp06->edBegin->Text();
    EXPECT_EQ(company().scalar("SELECT COUNT(*) FROM ACPTA WHERE TA001=:T AND TA002=:N",
                               {{"T", doc.left(4).trimmed().toStdString()}, {"N", doc.mid(4).trimmed().toStdString()}}).toInt(), 1)
        << doc.toStdString();

    form->sp05->edBegin->SetText(QStringLiteral("A001"));
    form->sp05->edFinal->SetText(QStringLiteral("A007"));
    form->sp06->edBegin->SetText(QString());
    form->ed04->SetText(QStringLiteral("RMB"));
    form->BtnNextClick(form->BtnNext);
    ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgLast) << form->MessageCodes.toStdString();
    pressF2(form->ed11);
    EXPECT_TRUE(exists("SELECT COUNT(*) FROM PURMA WHERE MA001=:K", form->ed11->Text().trimmed())) << form->ed11->Text().toStdString();
    EXPECT_EQ(lookups.size(), 4) << lookups.join(QStringLiteral(" | ")).toStdString();
    SetModalRunner(fixture);
}

// The look-ups of the second page: a list panel takes every row picked with Ctrl and
// Shift, and a document look-up offers only the documents of the suppliers and currency
// chosen on the page, dated as the user reads dates, amounts at the right.
TEST_F(WriteOffForm, SecondPageLookupsKeepToItsChoicesAndTakeSeveralRows)
{
    std::function<void(LookupWindow*)> drive;
    const ModalRunFn fixture = SetModalRunner([&](QWidget* w, const std::function<int()>& run) {
        auto* lookup = qobject_cast<LookupWindow*>(w);
        if (!lookup) {
            if (auto* box = qobject_cast<QMessageBox*>(w))
                dialogs << box->text();
            return 1;
        }
        QPointer<LookupWindow> open(lookup);
        QTimer::singleShot(0, lookup, [&, open] {
            if (open)
                drive(open);
        });
        QTimer::singleShot(5000, lookup, [open] {
            if (open && open->isVisible()) {
                ADD_FAILURE() << "the look-up was left open";
                open->reject();
            }
        });
        return run();
    });
    // The look-up windows are real: the form is active again before each key.
    const auto pressF2 = [&](QWidget* control) {
        QApplication::setActiveWindow(form);
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form));
        control->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), control);
        QTest::keyClick(control, Qt::Key_F2);
        settleEvents();
    };
    const auto clickRow = [](QTableView* grid, int row, Qt::KeyboardModifiers modifiers) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, modifiers,
                          grid->visualRect(grid->model()->index(row, 1)).center());
    };

    form->BtnNextClick(form->BtnNext);
    ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgNext);
    form->ed04->SetText(QStringLiteral("USD"));
    form->ed04Exit(form->ed04);
    QTest::mouseClick(form->sp05->TypeCheckBox(), Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_FALSE(form->sp05->IsRangeMode());
    form->sp05->ListBox->ClearItems();
    // Suppliers in code order: B001 (row 7), Shift to B003 (row 9), Ctrl on A001 (row 0).
    QStringList offered;
    drive = [&](LookupWindow* w) {
        QTableView* grid = w->grid();
        for (int r = 0; r < grid->model()->rowCount(); ++r)
            offered << grid->model()->index(r, 0).data().toString();
        clickRow(grid, 7, Qt::NoModifier);
        clickRow(grid, 9, Qt::ShiftModifier);
        clickRow(grid, 0, Qt::ControlModifier);
        QTest::keyClick(grid, Qt::Key_Return);
    };
    pressF2(form->sp05->ListBox);
    ASSERT_GE(offered.size(), 10);
    QStringList listed;
    for (const QStringList& row : form->sp05->ListBox->Rows())
        listed << row.value(0);
    EXPECT_EQ(listed, (QStringList{offered[0], offered[7], offered[8], offered[9]}));

    // The purchase invoices of those suppliers in USD, and only those.
    std::vector<std::vector<QString>> shown;
    Qt::Alignment amountAlignment;
    drive = [&](LookupWindow* w) {
        QAbstractItemModel* m = w->grid()->model();
        for (int r = 0; r < m->rowCount(); ++r) {
            std::vector<QString> row;
            for (int c = 0; c < m->columnCount(); ++c)
                row.push_back(m->index(r, c).data().toString());
            shown.push_back(row);
        }
        if (m->rowCount() > 0)
            amountAlignment = Qt::Alignment(m->index(0, 6).data(Qt::TextAlignmentRole).toInt());
        QTest::keyClick(w->filterBox(), Qt::Key_Return);
    };
    pressF2(form->sp06->edBegin);
    const std::string inScope = "FROM ACPTA JOIN CMSMQ ON MQ001=TA001 WHERE MQ003 IN ('71','7A') AND TA024='Y' "
                                "AND TA087='1' AND TA008='USD' AND TA004 IN ('" +
                                listed.join(QStringLiteral("','")).toStdString() + "')";
    const int expected = company().scalar("SELECT COUNT(*) " + inScope).toInt();
    ASSERT_GT(expected, 0) << "the demo has USD invoices of these suppliers";
    EXPECT_EQ(int(shown.size()), expected);
    for (const std::vector<QString>& row : shown) {
        EXPECT_TRUE(listed.contains(row[3])) << row[3].toStdString();
        EXPECT_EQ(row[5], QStringLiteral("USD"));
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}/\\d{2}/\\d{2}$")).match(row[2]).hasMatch())
            << row[2].toStdString();
    }
    EXPECT_TRUE(amountAlignment & Qt::AlignRight);
    // The largest amount with its thousands separators, as the write-off grid shows amounts.
    const std::string largest =
        company().scalar("SELECT printf('%.2f', MAX(COALESCE(TA028, 0) + COALESCE(TA029, 0))) " + inScope).toString();
    bool found = false;
    for (const std::vector<QString>& row : shown)
        found = found || row[6] == QString::fromStdString(withThousands(largest));
    EXPECT_TRUE(found) << withThousands(largest);
    // Enter took the first row at once.
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(form->sp06->edBegin->Text().trimmed(), (shown[0][0] + shown[0][1]).trimmed());
    SetModalRunner(fixture);
}
