#pragma once
// A user's layout of a job's window: its place and size and its grids' column widths and
// order. It is kept per installation and user, beside the user's profile of the client:
// <client folder>Profile/<user code>/<program code>.ini, section [Layout]. A stored place
// that lies off every screen, a size out of reason or an unreadable entry is passed over,
// so the window always opens where it can be reached.

#include <QList>
#include <QRect>
#include <QString>

class QWidget;
class TFDBGrid;

namespace FormLayout {

// The file of a user's layout of a program; empty without a client installation.
QString FileOf(const QString& userCode, const QString& programCode);

// Writes the window's place and size (its normal place while maximized) and the grids'
// layouts (TFDBGrid::ColumnLayout, by object name). Failures are not the user's concern.
void Save(const QString& file, const QWidget* window, const QList<TFDBGrid*>& grids);

// Puts the window and the grids as the file says, before the window is shown.
void Restore(const QString& file, QWidget* window, const QList<TFDBGrid*>& grids);

// A stored place the window may take on these screens, no larger than the screen it lies
// on or the window's own size; an empty rect when its title would not be within reach.
QRect UsableGeometry(const QRect& stored, const QList<QRect>& screens, const QSize& minimum, const QSize& own);

} // namespace FormLayout
