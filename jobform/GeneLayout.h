#pragma once
// The job form core's components as the form resource lays them out: the scheme list on the
// left with its bar and menus, the option pages with the print date, OK and Cancel below,
// the server connection and the scheme records. The form binds their events itself.

class TfrmBaseGene;

void BuildGeneComponents(TfrmBaseGene& f);
