// Room for captions after the texts change: order, columns and companions kept.

#include "controls/CaptionRoom.h"
#include "controls/QvrEdit.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

TEST(CaptionRoom, WiderCaptionsPushTheirRowsAlongKeepingOrderColumnsAndCompanions)
{
    QWidget page;
    page.resize(400, 120);
    auto* panel = new QWidget(&page); // placed by hand, as the forms place their rows
    panel->setGeometry(0, 0, 300, 110);
    // Row 1: a caption and a combo whose own caption label is empty.
    auto* condition = new QLabel(QStringLiteral("条件:"), panel);
    condition->setGeometry(8, 4, 40, 20);
    auto* combo = new TQvComboBox(panel);
    combo->setGeometry(60, 4, 100, 22);
    combo->SetLabelSpacing(60); // its empty label stands left of the row's caption
    // Row 2: a caption, an edit in the same column, and an edit with a caption of its own.
    auto* from = new QLabel(QStringLiteral("从"), panel);
    from->setGeometry(8, 40, 40, 20);
    auto* edit = new QLineEdit(panel);
    edit->setGeometry(60, 40, 80, 22);
    auto* batch = new TQvEdit(panel);
    batch->SetCaption(QStringLiteral("批号"));
    batch->setGeometry(200, 40, 60, 22);
    page.show();

    // The English texts arrive, as the language files set them on show.
    condition->setText(QStringLiteral("Condition of the run:"));
    from->setText(QStringLiteral("From"));
    batch->SetCaption(QStringLiteral("Write-off batch no."));
    MakeRoomForCaptions(&page);

    EXPECT_GE(condition->width(), condition->sizeHint().width()) << "a caption widens to its text";
    EXPECT_GT(combo->x(), condition->geometry().right()) << "the combo stays right of its caption";
    EXPECT_EQ(edit->x(), combo->x()) << "what stood in one column stays in one";
    EXPECT_GT(batch->EditLabel()->x(), edit->geometry().right()) << "a caption label moves with its control";
    EXPECT_EQ(batch->EditLabel()->geometry().right() + 1 + batch->LabelSpacing(), batch->x());
    EXPECT_GE(panel->width(), batch->geometry().right() + 1) << "the panel grows to hold what moved";
    EXPECT_EQ(from->x(), 8) << "nothing moves that need not";
}
