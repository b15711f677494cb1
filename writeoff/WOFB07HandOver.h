#pragma once
// The write-off form's buttons as a hand-over (ApplyParams) presses them, how a write-off
// is scripted: BtnNext and btnprior take the number of presses, and btnFilter walks the
// pages as a person walks them (their checks report and stop), lists the candidates and
// ticks the documents of its value: "*" every one, else the listed keys (type and number);
// a key that is not listed reports and stops.

class QWidget;
class TfrmWOFB07;
class Variant;

namespace WOFB07HandOver {

// BtnNext or btnprior pressed value times (true is one, at most two); false when a press
// changed no page or a value was refused.
bool PressStep(TfrmWOFB07& form, QWidget* control, const Variant& value);
// btnFilter: to the last page, the candidates listed, the documents of value ticked.
bool ListAndTick(TfrmWOFB07& form, const Variant& value);

} // namespace WOFB07HandOver
