#pragma once
// The write-off form's resource: the three pages with their controls, the page buttons of
// the bottom panel, the grid and the totals box, with captions, hints, places and event
// bindings. Kept apart from the form's behaviour, as the form resource was.

class TfrmWOFB07;

void BuildWriteOffControls(TfrmWOFB07& form);
