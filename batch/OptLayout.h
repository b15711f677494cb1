#pragma once
// The run-options form's resource: every component TfrmBaseOpt adds, with its caption,
// hint, limits, default, place and event bindings. Kept apart from the form's behaviour, as the form
// resource was.

class TfrmBaseOpt;

void BuildRunOptionControls(TfrmBaseOpt& form);
// The resource's event bindings: each component's events call the form's handlers.
void BindRunOptionHandlers(TfrmBaseOpt& form);
