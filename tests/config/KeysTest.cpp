// Key codes as the system's handlers see them.

#include "config/Keys.h"

#include <QKeyEvent>

#include <gtest/gtest.h>

namespace {

TEST(Keys, VirtualKeysRoundTrip)
{
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_F2), 113);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_F12), VK_F12);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Escape), 27);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Enter), VK_RETURN);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Backtab), VK_TAB);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_V), 'V');
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_7), '7');
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Eacute), 0);
    for (int vk : {int(VK_BACK), int(VK_TAB), int(VK_RETURN), int(VK_ESCAPE), int(VK_SPACE), int(VK_PRIOR),
                   int(VK_NEXT), int(VK_END), int(VK_HOME), int(VK_LEFT), int(VK_UP), int(VK_RIGHT), int(VK_DOWN),
                   int(VK_INSERT), int(VK_DELETE), int(VK_F1), int(VK_F2), int(VK_F10), int('A'), int('Z'), int('0')})
        EXPECT_EQ(VirtualKeyFromQt(QtKeyFromVirtualKey(vk)), vk) << vk;
    EXPECT_EQ(QtKeyFromVirtualKey(0), 0);
}

TEST(Keys, ShiftStates)
{
    const TShiftState s = ShiftStateFromQt(Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_TRUE(s & ssShift);
    EXPECT_TRUE(s & ssCtrl);
    EXPECT_FALSE(s & ssAlt);
    EXPECT_EQ(QtModifiersFromShiftState(s), Qt::ShiftModifier | Qt::ControlModifier);
}

TEST(Keys, KeyPressCharacters)
{
    const QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    EXPECT_EQ(KeyPressChar(&enter), QChar(13));
    const QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, QString(QChar(27)));
    EXPECT_EQ(KeyPressChar(&esc), QChar(27));
    const QKeyEvent chinese(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("核"));
    EXPECT_EQ(KeyPressChar(&chinese), QChar(0x6838));
    // Ctrl+C types nothing; F2 types nothing.
    const QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, QStringLiteral("\x03"));
    EXPECT_TRUE(KeyPressChar(&copy).isNull());
    const QKeyEvent f2(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
    EXPECT_TRUE(KeyPressChar(&f2).isNull());
}

} // namespace
