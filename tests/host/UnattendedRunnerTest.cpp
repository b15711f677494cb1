// Without a person every modal window is answered at once with its default and told.

#include "host/UnattendedRunner.h"

#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class Unattended {
public:
    Unattended()
    {
        previous_ = SetModalRunner(UnattendedRunner([this](const std::string& line, bool problem) {
            lines.push_back(line);
            problems += problem ? 1 : 0;
        }));
    }
    ~Unattended() { SetModalRunner(previous_); }
    std::vector<std::string> lines;
    int problems = 0;

private:
    ModalRunFn previous_;
};

// Runs a box as the message dialogs do and answers the standard button that was clicked.
QMessageBox::StandardButton ask(QMessageBox::StandardButtons buttons, const QString& text = QStringLiteral("?"),
                                QMessageBox::Icon icon = QMessageBox::Question)
{
    QMessageBox box(icon, QStringLiteral("应付账款转销作业"), text, buttons);
    RunModal(&box, [&box] { return box.exec(); });
    return box.clickedButton() ? box.standardButton(box.clickedButton()) : QMessageBox::NoButton;
}

} // namespace

TEST(UnattendedRunner, AMessageBoxIsAnsweredWithCancelElseNoElseOkAndItsTextIsTold)
{
    Unattended u;
    EXPECT_EQ(ask(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel), QMessageBox::Cancel);
    EXPECT_EQ(ask(QMessageBox::Ok | QMessageBox::Cancel), QMessageBox::Cancel);
    EXPECT_EQ(ask(QMessageBox::Yes | QMessageBox::No), QMessageBox::No);
    EXPECT_EQ(ask(QMessageBox::Ok, QStringLiteral("无法连接应用服务器!\r\n请检查设置")), QMessageBox::Ok);
    ASSERT_EQ(u.lines.size(), 4u);
    EXPECT_EQ(u.lines[0], "message \"应付账款转销作业\": ? [answered Cancel]");
    EXPECT_EQ(u.lines[2], "message \"应付账款转销作业\": ? [answered No]");
    EXPECT_EQ(u.lines[3], "message \"应付账款转销作业\": 无法连接应用服务器!\n请检查设置 [answered OK]");
    EXPECT_EQ(u.problems, 0) << "questions are no problems";
}

TEST(UnattendedRunner, ErrorsAndWarningsAreToldAsProblems)
{
    Unattended u;
    ask(QMessageBox::Ok, QStringLiteral("done"), QMessageBox::Information);
    EXPECT_EQ(u.problems, 0);
    ask(QMessageBox::Ok, QStringLiteral("E;000013"), QMessageBox::Critical);
    ask(QMessageBox::Ok, QStringLiteral("W;000014"), QMessageBox::Warning);
    EXPECT_EQ(u.problems, 2);
}

TEST(UnattendedRunner, OtherWindowsAreCancelledWithoutBeingShown)
{
    Unattended u;
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Look-up"));
    bool ran = false;
    EXPECT_EQ(RunModal(&dialog, [&] { ran = true; return dialog.exec(); }), int(QDialog::Rejected));
    QWidget form;
    form.setWindowTitle(QStringLiteral("Run options"));
    EXPECT_EQ(RunModal(&form, [&] { ran = true; return 1; }), 2) << "the forms' cancel result";
    EXPECT_FALSE(ran);
    ASSERT_EQ(u.lines.size(), 2u);
    EXPECT_NE(u.lines[0].find("dialog \"Look-up\""), std::string::npos) << u.lines[0];
    EXPECT_NE(u.lines[1].find("window \"Run options\""), std::string::npos) << u.lines[1];
    EXPECT_NE(u.lines[1].find("[answered Cancel]"), std::string::npos) << u.lines[1];
}

TEST(UnattendedRunner, ABoxWhoseButtonIsIgnoredStillEnds)
{
    Unattended u;
    QMessageBox box(QMessageBox::Information, QStringLiteral("t"), QStringLiteral("x"), QMessageBox::Ok);
    // The button does nothing: the runner closes the box after its grace time.
    box.button(QMessageBox::Ok)->disconnect();
    bool rescued = false;
    QTimer::singleShot(10000, &box, [&] {
        rescued = true;
        box.done(0);
    });
    RunModal(&box, [&box] { return box.exec(); });
    EXPECT_FALSE(rescued) << "the box waited for a person";
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(u.lines.size(), 1u);
}
