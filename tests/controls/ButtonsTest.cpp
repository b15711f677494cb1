// Glyph buttons, F2 buttons and the bitmap check box, driven by real clicks and keys.

#include "GuiTestSupport.h"

#include "config/LookupRequest.h"
#include "controls/BmpLibrary.h"
#include "controls/BtChkBox.h"
#include "controls/F2Button.h"
#include "controls/GSpdBtn.h"
#include "controls/MaskEdit.h"

#include <QLineEdit>

namespace {

TEST(GSpeedButton, GlyphByNumber)
{
    TGSpeedButton b;
    b.SetGlyphIndex(8);
    EXPECT_FALSE(b.Glyph().isNull());
    EXPECT_EQ(b.Caption(), QString());
    EXPECT_EQ(b.NumGlyphs(), 1);

    // Glyph 4 carries its own disabled image.
    b.SetGlyphIndex(4);
    EXPECT_EQ(b.NumGlyphs(), 2);
    EXPECT_EQ(b.Glyph().width(), 2 * b.Glyph().height());

    // Above the library's highest number: no glyph, the number as caption.
    b.SetGlyphIndex(GetMaxBmpID() + 1);
    EXPECT_TRUE(b.Glyph().isNull());
    EXPECT_EQ(b.Caption(), QString::number(GetMaxBmpID() + 1));

    b.SetGlyphIndex(9);
    EXPECT_FALSE(b.Glyph().isNull());
    b.SetGlyphIndex(0);
    EXPECT_TRUE(b.Glyph().isNull());
}

TEST(GSpeedButton, DisabledShowsSecondImage)
{
    TGSpeedButton b;
    b.SetGlyphIndex(4);
    const QImage enabled = b.CurrentGlyph();
    b.setEnabled(false);
    const QImage disabled = b.CurrentGlyph();
    EXPECT_EQ(disabled, GlyphPart(b.Glyph(), 2, 1));
    EXPECT_NE(enabled, disabled);
}

TEST(BmpLibrary, GlyphsAreClearAtBothSizes)
{
    for (int n : {4, 8, 9, 47}) {
        for (int size : {18, 24}) {
            QImage img;
            ASSERT_TRUE(LoadBmp(img, n, size)) << n;
            EXPECT_EQ(img.height(), size);
            EXPECT_EQ(img.width(), n == 4 ? 2 * size : size);
            EXPECT_EQ(qAlpha(img.pixel(0, size - 1)), 0) << "transparent corner of glyph " << n;
            int opaque = 0;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    opaque += qAlpha(img.pixel(x, y)) > 128 ? 1 : 0;
            // Something is drawn, and not a filled square.
            EXPECT_GT(opaque, size * size / 10) << n;
            EXPECT_LT(opaque, size * size) << n;
        }
    }
    QImage none;
    EXPECT_FALSE(LoadBmp(none, 0));
    EXPECT_FALSE(LoadBmp(none, GetMaxBmpID() + 1));
    EXPECT_TRUE(none.isNull());
    for (const char* name : {"CHECKED", "GRAYED", "UNCHECKED", "checked"})
        EXPECT_FALSE(LoadBmpResource(QLatin1String(name)).isNull()) << name;
    EXPECT_TRUE(LoadBmpResource(QStringLiteral("TICKED")).isNull());
    EXPECT_NE(LoadBmpResource(QStringLiteral("CHECKED")), LoadBmpResource(QStringLiteral("UNCHECKED")));
}

class F2ButtonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form.showActive();
        edit = new QLineEdit(form.get());
        edit->setGeometry(10, 10, 100, 21);
        other = new QLineEdit(form.get());
        other->setGeometry(10, 50, 100, 21);
        edit->show();
        other->show();
        other->setFocus();
    }

    FormHolder<> form;
    QLineEdit* edit = nullptr;
    QLineEdit* other = nullptr;
};

TEST_F(F2ButtonTest, ClickFocusesControlAndSendsLookup)
{
    auto* b = new TF2Button(form.get());
    b->show();
    QStringList order;
    b->OnClick = [&](QObject*) { order << QStringLiteral("click:%1").arg(form->lookups.size()); };
    b->SetF2Control(edit);
    // Aligned: as high as the edit, square, Gap to its right.
    EXPECT_EQ(b->geometry(), QRect(10 + 100 + 2, 10, 21, 21));
    EXPECT_TRUE(b->Flat());
    EXPECT_EQ(b->GlyphIndex(), 8);

    QTest::mouseClick(b, Qt::LeftButton);
    ASSERT_EQ(form->lookups.size(), 1);
    EXPECT_EQ(form->lookups.first(), edit);
    EXPECT_TRUE(edit->hasFocus());
    // The click event comes first.
    EXPECT_EQ(order, QStringList{QStringLiteral("click:0")});
}

TEST_F(F2ButtonTest, DisabledControlGetsNoLookup)
{
    auto* b = new TF2Button(form.get());
    b->show();
    b->SetF2Control(edit);
    edit->setEnabled(false);
    QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_TRUE(form->lookups.isEmpty());
    EXPECT_TRUE(other->hasFocus());

    // No control at all: only the click.
    auto* lone = new TF2Button(form.get());
    lone->show();
    int clicks = 0;
    lone->OnClick = [&](QObject*) { ++clicks; };
    QTest::mouseClick(lone, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(form->lookups.isEmpty());
}

TEST_F(F2ButtonTest, SecondButtonOnOneControlIsRefused)
{
    DialogRecorder dialogs;
    auto* first = new TF2Button(form.get());
    auto* second = new TF2Button(form.get());
    first->SetF2Control(edit);
    second->SetF2Control(edit);
    EXPECT_EQ(second->F2Control(), nullptr);
    EXPECT_EQ(first->F2Control(), edit);
    EXPECT_EQ(dialogs.texts, QStringList{QStringLiteral("不能同时有两个 F2Button 指到同一个 Edit.")});

    // The same button again is no conflict, and the other control is free.
    first->SetF2Control(edit);
    second->SetF2Control(other);
    EXPECT_EQ(second->F2Control(), other);
    EXPECT_EQ(dialogs.texts.size(), 1);

    // Once the first lets go, the control is free for the second.
    first->SetF2Control(nullptr);
    second->SetF2Control(edit);
    EXPECT_EQ(second->F2Control(), edit);
    EXPECT_EQ(dialogs.texts.size(), 1);
}

TEST_F(F2ButtonTest, DestroyedControlIsForgotten)
{
    auto* b = new TF2Button(form.get());
    b->SetF2Control(edit);
    delete edit;
    edit = nullptr;
    EXPECT_EQ(b->F2Control(), nullptr);
    b->show();
    QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_TRUE(form->lookups.isEmpty());
}

TEST(LookupRequest, UnansweredByPlainWindow)
{
    QWidget window;
    auto* edit = new QLineEdit(&window);
    EXPECT_FALSE(SendLookupRequest(edit));
    EXPECT_FALSE(SendLookupRequest(nullptr));
}

TEST(BitCheckBox, CyclesWithoutGrey)
{
    FormHolder<> form;
    form.showActive();
    auto* box = new TBitCheckBox(form.get());
    box->SetCaption(QStringLiteral("区间选择"));
    box->show();
    int clicks = 0;
    box->OnClick = [&](QObject*) { ++clicks; };
    EXPECT_EQ(box->size(), QSize(97, 17));
    EXPECT_EQ(box->State(), TBitCheckBox::cbUnchecked);
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(box->State(), TBitCheckBox::cbChecked);
    EXPECT_TRUE(box->Checked());
    EXPECT_TRUE(box->hasFocus());
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_EQ(box->State(), TBitCheckBox::cbUnchecked);
    EXPECT_EQ(clicks, 2);
}

TEST(BitCheckBox, CyclesThroughGrey)
{
    FormHolder<> form;
    form.showActive();
    auto* box = new TBitCheckBox(form.get());
    box->SetAllowGrayed(true);
    box->show();
    QList<TBitCheckBox::TCheckBoxState> seen;
    box->OnClick = [&](QObject*) { seen << box->State(); };
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(seen, (QList<TBitCheckBox::TCheckBoxState>{TBitCheckBox::cbGrayed, TBitCheckBox::cbChecked,
                                                          TBitCheckBox::cbUnchecked}));
    // Each state shows its own image.
    box->SetState(TBitCheckBox::cbGrayed);
    const QImage grey = box->StateImage();
    box->SetState(TBitCheckBox::cbChecked);
    EXPECT_NE(box->StateImage(), grey);
    // A release outside the box is no click.
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(500, 5));
    EXPECT_EQ(box->State(), TBitCheckBox::cbChecked);
}

TEST(BitCheckBox, OwnGlyphStripsAndResetToLibrary)
{
    TBitCheckBox box;
    QImage strip(26, 13, QImage::Format_ARGB32);
    strip.fill(Qt::red);
    box.SetCheckedGlyph(strip);
    EXPECT_EQ(box.CheckedNumGlyphs(), 2);
    box.SetChecked(true);
    box.setEnabled(false);
    EXPECT_EQ(box.StateImage(), GlyphPart(strip, 2, 1));
    box.SetCheckedGlyph(QImage());
    EXPECT_EQ(box.CheckedGlyph(), LoadBmpResource(QStringLiteral("CHECKED")));
    EXPECT_EQ(box.CheckedNumGlyphs(), 1);
}

} // namespace
