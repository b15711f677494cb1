#pragma once
// The run-options form's resource: every component TfrmBaseOpt adds, with its caption,
// hint, limits, default and place. Kept apart from the form's behaviour, as the form
// resource was.

class TfrmBaseOpt;

void BuildRunOptionControls(TfrmBaseOpt& form);
