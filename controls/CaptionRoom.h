#pragma once
// Room for captions once a form's texts are set (language files, conversion): the forms
// place their controls by coordinates made for Chinese captions, and an English caption
// is often wider. A caption never shrinks; it widens to its text, and a control that it
// would then cover moves right along its row, taking its caption label and look-up
// button with it. Controls that stood in one column before stay in one column. A panel
// grows to hold what moved; a row kept by a layout gets the spacing its captions need.

class QWidget;

void MakeRoomForCaptions(QWidget* root);
