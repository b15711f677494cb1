#pragma once
// TfrmNotify ("被通知人"): the recipients told when a job has finished, edited in a grid
// and kept as recipient XML. Recipients are system users (the F2 look-up over QVRMA) or,
// when the company runs its portal, users of the portal's web service.

#include "batch/QVDialog.h"

#include <QStringList>

#include <QTableWidget>

class QPlainTextEdit;
class TBitBtn;
class TfrmBaseGene;

// The recipient grid: tells whether a cell is being edited, and ends the edit.
class TReceiveGrid : public QTableWidget {
    Q_OBJECT

public:
    using QTableWidget::QTableWidget;
    bool Editing() const { return state() == EditingState; }
    // Takes the editor's text into its cell (or drops it) and closes the editor.
    void EndEdit(bool keep);
};

class TfrmNotify : public TfrmQVDialog {
    Q_OBJECT

public:
    static constexpr int Columns = 8;

    // owner: the job form whose user, company and look-up the dialog uses.
    TfrmNotify(TfrmBaseGene* owner, const QString& portalStartup, const QString& portalServiceAddress);

    TReceiveGrid* grReceive = nullptr;
    QPlainTextEdit* me01 = nullptr;   // the type list
    QPlainTextEdit* me04 = nullptr;   // the hint of a recipient cell
    TBitBtn* BitBtn1 = nullptr;       // OK
    TBitBtn* BitBtn2 = nullptr;       // Cancel
    TBitBtn* btnAdd = nullptr;        // a new row, filled from the look-up
    TBitBtn* btnRemove = nullptr;     // the current row goes

    QString PortalStartup;
    QString PortalServiceAddress;
    // The recipient XML OK built ("N" for an empty list).
    QString ResultText;

    bool PortalOn() const;
    // The one line of the type list (me01) the dialog offers: "5." the portal's users when
    // the portal is on, else "1." the system's.
    QString TypeLine() const;

    void LoadRecipients(const QString& xml);
    QString BuildRecipients() const;
    void BitBtn1Click();
    // F2 in the recipient column while editing.
    void grReceiveEditButtonClick();
    // A row at the end of the grid, its recipient looked up at once.
    void btnAddClick();
    // The current row goes; an empty grid keeps one empty row.
    void btnRemoveClick();
    // The portal's answer, empty on any failure (told to the user).
    QString CallPortalService();
    // Row r of the grid (1-based; row 0 is the header), column c.
    QString Cell(int c, int r) const;
    void SetCell(int c, int r, const QString& text);
    int RowCount() const;  // with the header row

    void F2Action(QWidget* control) override;

protected:
    void FormKeyDown(QObject* sender, int& key, TShiftState shift) override;
    // The column titles: keys "Cells00" .. "Cells70" of "TfrmNotify" (column, header row).
    void KeyedTexts() override;

private:
    void setRows(int rows);
    bool editingRecipient() const;

    TfrmBaseGene& job_;
};

// Shows the dialog for the recipient XML; OK answers the new XML, Cancel the old one.
QString EditRecipients(TfrmBaseGene* owner, const QString& recipients, const QString& portalStartup,
                       const QString& portalServiceAddress);
// The settings "StartupPortal" and "Portal WS" of QVRINTMA; what cannot be read stays.
void ReadPortalSettings(TfrmBaseGene& owner, QString& portalStartup, QString& portalServiceAddress);
// The list a job's notification starts with: the signed-on user with name, mobile and
// mail as the users table has them, of the type the dialog offers, told by message.
QString DefaultRecipients(TfrmBaseGene& owner, const QString& portalStartup, const QString& portalServiceAddress);
// The request of the portal's user list for a user of a company; the locale by the
// system code page ("936" zh_CN, "950" zh_TW, else ch_US).
QString PortalRequest(const QString& userCode, const QString& companyCode, const QString& systemCodePage);
