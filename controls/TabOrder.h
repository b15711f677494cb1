#pragma once
// The tab order of the forms' resources: a control's position among the children of its
// parent in the focus chain, 0 first. A child that holds other controls moves with them.

class QWidget;

// -1 for a control without a parent.
int TabOrder(const QWidget* control);
// Moves the control to the position (clamped to the children there are); the other
// children keep their order.
void SetTabOrder(QWidget* control, int position);
