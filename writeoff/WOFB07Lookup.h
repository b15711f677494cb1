#pragma once
// The write-off form's look-ups (F2): the date picker for the write-off date and the
// document dates, the currency, the transfer supplier and the refund document type from
// the look-up window, suppliers into sp05, and the documents of each kind into the
// document panels sp06 to sp09 (type and number joined with "-").

class QWidget;
class TfrmWOFB07;

// The look-up of control, after the inherited F2 handling; a control without one is left.
void WOFB07Lookup(TfrmWOFB07& form, QWidget* control);
