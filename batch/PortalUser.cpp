#include "batch/PortalUser.h"

#include "config/Dialogs.h"
#include "config/QtVariant.h"
#include "controls/Buttons.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

TfrmPortalUser::TfrmPortalUser(QWidget* owner, const Variant& users) : TfrmQVDialog(owner)
{
    setObjectName(QStringLiteral("frmPortalUser"));
    SetCaption(QStringLiteral("Portal 用户信息查询"));
    auto* layout = new QVBoxLayout(this);
    grUser = new QTableWidget(this);
    grUser->setObjectName(QStringLiteral("grUser"));
    grUser->setColumnCount(2);
    grUser->setHorizontalHeaderLabels({QStringLiteral("用户编号"), QStringLiteral("用户名称")});
    grUser->setSelectionBehavior(QAbstractItemView::SelectRows);
    grUser->setSelectionMode(QAbstractItemView::SingleSelection);
    grUser->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grUser->horizontalHeader()->setStretchLastSection(true);
    if (users.isArray()) {
        grUser->setRowCount(users.count());
        for (int i = users.lowBound(); i <= users.highBound(); ++i) {
            const Variant& u = users[i];
            const int row = i - users.lowBound();
            for (int c = 0; c < 2; ++c) {
                const QString text = u.isArray() && u.count() > c ? VarToQStr(u[u.lowBound() + c]) : QString();
                grUser->setItem(row, c, new QTableWidgetItem(text));
            }
        }
    }
    if (grUser->rowCount() > 0)
        grUser->setCurrentCell(0, 0);
    layout->addWidget(grUser, 1);
    AddOkCancelRow(layout, BitBtn1, BitBtn2);
    BitBtn1->OnClick = [this](QObject*) { SetModalResult(mrOk); };
    connect(grUser, &QTableWidget::cellDoubleClicked, this, [this] { SetModalResult(mrOk); });
    resize(360, 300);
}

void TfrmPortalUser::FormClose(QObject* sender, TCloseAction& action)
{
    TfrmQVDialog::FormClose(sender, action);
    const int row = grUser->currentRow();
    if (row >= 0)
        Chosen = Variant::list({QStrToVar(grUser->item(row, 0)->text()), QStrToVar(grUser->item(row, 1)->text())});
}

bool PickPortalUser(QWidget* owner, const Variant& users, Variant& chosen)
{
    auto* dialog = TQVForm::Create<TfrmPortalUser>(owner, users);
    const int result = dialog->ShowModal();
    // A run that never closed the window (an unattended answer) still reads the row.
    if (!dialog->Chosen.isArray() && dialog->grUser->currentRow() >= 0) {
        const int row = dialog->grUser->currentRow();
        dialog->Chosen = Variant::list(
            {QStrToVar(dialog->grUser->item(row, 0)->text()), QStrToVar(dialog->grUser->item(row, 1)->text())});
    }
    const bool ok = result == mrOk && dialog->Chosen.isArray();
    chosen = ok ? dialog->Chosen : Variant("");
    dialog->Free();
    return ok;
}
