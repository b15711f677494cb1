#include "jobform/GeneKeys.h"
#include "jobform/BaseGene.h"
#include "jobform/JobMessages.h"

#include "config/Dialogs.h"
#include "controls/ExtPage.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTableView>
#include <QTextEdit>

namespace {

// A widget Tab would stop at on the page.
bool isField(QWidget* page, QWidget* w)
{
    return page->isAncestorOf(w) && w->isEnabled() && w->isVisibleTo(page) && (w->focusPolicy() & Qt::TabFocus);
}

} // namespace

TGeneKeys::TGeneKeys(TfrmBaseGene& form) : form_(form) {}

void TGeneKeys::KeyDown(int& key, TShiftState shift)
{
    const bool ctrl = shift.testFlag(ssCtrl);
    switch (key) {
    case VK_ESCAPE:
        // The same end as Cancel and the window's close button.
        key = 0;
        form_.close();
        return;
    case VK_F1:
        form_.ShowHelp();
        return;
    case VK_F2:
        form_.HandleF2Key(VK_F2, form_.FocusedControl());
        // Handled: a date field would otherwise ask for its picker a second time.
        key = 0;
        return;
    case VK_TAB:
        if (ctrl) {
            form_.pgOption->SelectNextPage(!shift.testFlag(ssShift));
            key = 0;
        }
        return;
    case VK_PRIOR:
    case VK_NEXT:
        if (ctrl) {
            form_.pgOption->SelectNextPage(key == VK_NEXT);
            key = 0;
        }
        return;
    default:
        break;
    }
    if (key == 'V' && ctrl && shift.testFlag(ssAlt)) {
        key = 0;
        const QFileInfo info(form_.ModuleFileName);
        form_.MessageDialog(QStringLiteral("%1\r%2 bytes\r%3")
                                .arg(QDir::toNativeSeparators(info.absoluteFilePath()))
                                .arg(info.size())
                                .arg(info.lastModified().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"))),
                            mtInformation, {mbOK});
    }
}

bool TGeneKeys::Enter(QWidget* focus)
{
    // A push button takes Enter as a click, as the form's own rules have it; a check box
    // or a radio button is a field like any other.
    if (qobject_cast<QAbstractButton*>(focus) && !qobject_cast<QCheckBox*>(focus) && !qobject_cast<QRadioButton*>(focus))
        return false;
    for (QWidget* w = focus; w && w != &form_; w = w->parentWidget()) {
        auto* grid = qobject_cast<QTableView*>(w);
        if (!grid || !grid->model())
            continue;
        QAbstractItemModel* model = grid->model();
        const QModelIndex current = grid->currentIndex();
        int row = current.isValid() ? current.row() : 0;
        int column = current.isValid() ? current.column() + 1 : 0;
        if (column >= model->columnCount()) {
            column = 0;
            ++row;
            if (row >= model->rowCount() && !model->insertRows(model->rowCount(), 1))
                row = model->rowCount() - 1;
        }
        if (row >= 0 && row < model->rowCount())
            grid->setCurrentIndex(model->index(row, column));
        return true;
    }
    int line = -1;
    if (auto* memo = qobject_cast<QPlainTextEdit*>(focus))
        line = memo->textCursor().blockNumber();
    else if (auto* rich = qobject_cast<QTextEdit*>(focus))
        line = rich->textCursor().blockNumber();
    if (line == 0 || line == 1)
        return false;
    TExtPageControl* pages = form_.pgOption;
    if (form_.ControlInList(TQVForm::ControlOf(focus)) && pages->ActivePageIndex() < pages->PageCount() - 1) {
        pages->SelectNextPage(true);
        return true;
    }
    QWidget* page = pages->ActivePage();
    if (page && page->isAncestorOf(focus))
        return enterOnPage(page, focus);
    // From outside the page (its tab, the scheme list) Enter goes into the page's fields.
    form_.FocusFirstControl();
    return true;
}

bool TGeneKeys::enterOnPage(QWidget* page, QWidget* focus)
{
    // The next field is the one Tab reaches, as long as Tab stays on the page.
    for (QWidget* w = focus->nextInFocusChain(); w && w != focus; w = w->nextInFocusChain()) {
        if (!(w->focusPolicy() & Qt::TabFocus) || !w->isEnabled() || !w->isVisibleTo(&form_))
            continue;
        if (!isField(page, w))
            break;
        w->setFocus(Qt::TabFocusReason);
        return true;
    }
    // The page's last field: Enter steps forward. The field is left first, as Tab would
    // leave it, so that its check speaks once and a refusal keeps the clerk there.
    QPointer<QAbstractButton> forward = form_.StepForwardButton();
    if (forward && forward->isVisibleTo(&form_) && forward->isEnabled()) {
        if (!form_.ExitActiveControl(forward, [this] { return form_.ValidationFailed; }))
            return true;
        if (forward && forward->isVisibleTo(&form_) && forward->isEnabled())
            forward->click();
        return true;
    }
    // No step forward here: on to the next page's fields, or round to this one's first.
    if (!form_.pgOption->SelectNextPage(true))
        form_.FocusFirstControl();
    return true;
}

void TGeneKeys::TakeSnapshot()
{
    snapshot_ = form_.ConditionSnapshot();
    snapshotTaken_ = true;
}

bool TGeneKeys::ConditionsEntered()
{
    return snapshotTaken_ && !(form_.ConditionSnapshot() == snapshot_);
}

bool TGeneKeys::CloseAllowed()
{
    if (byForm_)
        return true;
    if (ConditionsEntered()) {
        QString text = form_.GetMessageText(QStringLiteral("Q"), QStringLiteral("000001"));
        if (text.trimmed().isEmpty())
            text = form_.DisplayConvert(QStringLiteral("放弃已输入的条件?"));
        if (form_.messages_->ShowMessageDialog(text, mtConfirmation, {mbYes, mbNo}, mbNo) != mrYes)
            return false;
    }
    form_.UserCancelled();
    return true;
}
