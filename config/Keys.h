#pragma once
// Keys as the system's handlers see them: Windows virtual-key codes (F2 is 113, Esc 27)
// and the shift state, so that key handlers read as the system describes them.

#include <QChar>
#include <QFlags>

#include <functional>

class QObject;
class QKeyEvent;

enum : int {
    VK_BACK = 8, VK_TAB = 9, VK_RETURN = 13, VK_SHIFT = 16, VK_CONTROL = 17, VK_MENU = 18,
    VK_ESCAPE = 27, VK_SPACE = 32, VK_PRIOR = 33, VK_NEXT = 34, VK_END = 35, VK_HOME = 36,
    VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40, VK_INSERT = 45, VK_DELETE = 46,
    VK_F1 = 112, VK_F2 = 113, VK_F3 = 114, VK_F4 = 115, VK_F5 = 116, VK_F6 = 117,
    VK_F7 = 118, VK_F8 = 119, VK_F9 = 120, VK_F10 = 121, VK_F11 = 122, VK_F12 = 123,
};

enum TShiftStateFlag { ssShift = 1, ssAlt = 2, ssCtrl = 4 };
Q_DECLARE_FLAGS(TShiftState, TShiftStateFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TShiftState)

// A key handler may change the key; 0 means the key was handled and goes no further.
using TKeyEvent = std::function<void(QObject* sender, int& key, TShiftState shift)>;
// A character handler may change the character; QChar() means it was handled.
using TKeyPressEvent = std::function<void(QObject* sender, QChar& key)>;

// The virtual-key code of a Qt key (0 when it has none).
int VirtualKeyFromQt(int qtKey);
// The Qt key of a virtual-key code (0 when it has none).
int QtKeyFromVirtualKey(int vk);
TShiftState ShiftStateFromQt(Qt::KeyboardModifiers modifiers);
Qt::KeyboardModifiers QtModifiersFromShiftState(TShiftState shift);
// The character a key press types, as the system's key-press handlers get it: Enter is
// #13, Esc #27, Backspace #8, Tab #9; QChar() when the press types nothing.
QChar KeyPressChar(const QKeyEvent* event);
