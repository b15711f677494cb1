#include "batch/Notify.h"
#include "batch/PortalAnswer.h"

#include "batch/LibXml.h"
#include "batch/PortalUser.h"
#include "config/Dialogs.h"
#include "config/Keys.h"
#include "config/QtVariant.h"
#include "controls/BmpLibrary.h"
#include "controls/Buttons.h"
#include "jobform/BaseGene.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

namespace {

const char* const kDeclaration = "<?xml version=\"1.0\" encoding=\"GB2312\"?>";

std::string u8(const QString& s)
{
    return s.toStdString();
}

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

// Column 0 edits with an ellipsis button that starts the look-up; column 4 picks from the
// type list; columns 5 to 7 from "Y" and "N".
class ReceiveDelegate : public QStyledItemDelegate {
public:
    explicit ReceiveDelegate(TfrmNotify* dialog) : QStyledItemDelegate(dialog), dialog_(dialog) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (index.column() == 0) {
            auto* edit = new QLineEdit(parent);
            edit->setObjectName(QStringLiteral("grReceiveEditor"));
            edit->setToolTip(dialog_->me04->toPlainText().section(QLatin1Char('\n'), 0, 0));
            QAction* more = edit->addAction(QIcon(), QLineEdit::TrailingPosition);
            more->setText(QStringLiteral("…"));
            more->setObjectName(QStringLiteral("grReceiveEllipsis"));
            QObject::connect(more, &QAction::triggered, dialog_, [d = dialog_] { d->grReceiveEditButtonClick(); });
            return edit;
        }
        if (index.column() >= 4) {
            auto* box = new QComboBox(parent);
            if (index.column() == 4)
                box->addItems({QString(), dialog_->TypeLine()});
            else
                box->addItems({QString(), QStringLiteral("Y"), QStringLiteral("N")});
            return box;
        }
        return QStyledItemDelegate::createEditor(parent, option, index);
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            box->setCurrentIndex(std::max(0, box->findText(index.data().toString())));
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            model->setData(index, box->currentText());
            return;
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }

private:
    TfrmNotify* dialog_;
};

} // namespace

void TReceiveGrid::EndEdit(bool keep)
{
    QWidget* editor = indexWidget(currentIndex());
    if (!editor)
        editor = focusWidget();
    if (!editor || editor == this)
        return;
    if (keep)
        commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

QString PortalRequest(const QString& userCode, const QString& companyCode, const QString& systemCodePage)
{
    const QString locale = systemCodePage == QLatin1String("936")   ? QStringLiteral("zh_CN")
                           : systemCodePage == QLatin1String("950") ? QStringLiteral("zh_TW")
                                                                    : QStringLiteral("ch_US");
    // The user code and company go into attributes: quote what XML would misread.
    const auto attr = [](QString s) { return s.toHtmlEscaped(); };
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Request>   <Access>     <Authentication user=\"") +
           attr(userCode) + QStringLiteral("\" password=\"\"/> ") +
           QStringLiteral("    <Connection application=\"ZELKO\" source=\"\"/> ") +
           QStringLiteral("    <Organization name=\"") + attr(companyCode) + QStringLiteral("\"/> ") +
           QStringLiteral("    <Locale language=\"") + locale + QStringLiteral("\"/> ") + QStringLiteral("  </Access> ") +
           QStringLiteral("  <RequestContent/> ") + QStringLiteral("</Request>");
}

TfrmNotify::TfrmNotify(TfrmBaseGene* owner, const QString& portalStartup, const QString& portalServiceAddress)
    : TfrmQVDialog(owner), PortalStartup(portalStartup), PortalServiceAddress(portalServiceAddress), job_(*owner)
{
    setObjectName(QStringLiteral("frmNotify"));
    SetCaption(QStringLiteral("被通知人"));
    auto* layout = new QVBoxLayout(this);
    me01 = new QPlainTextEdit(this);
    me01->setObjectName(QStringLiteral("me01"));
    me01->setPlainText(QStringLiteral("1.系统用户\n5.Portal用户"));
    me01->hide();
    me04 = new QPlainTextEdit(this);
    me04->setObjectName(QStringLiteral("me04"));
    me04->setPlainText(QStringLiteral("[F2]系统用户开窗"));
    me04->hide();

    grReceive = new TReceiveGrid(this);
    grReceive->setObjectName(QStringLiteral("grReceive"));
    grReceive->setColumnCount(Columns);
    QStringList headers{QStringLiteral("收件人"), QStringLiteral("姓名"), QStringLiteral("手机号码"),
                        QStringLiteral("邮箱地址"), QStringLiteral("类型"), QStringLiteral("消息"),
                        QStringLiteral("短信"), QStringLiteral("邮件")};
    grReceive->setHorizontalHeaderLabels(headers);
    grReceive->setItemDelegate(new ReceiveDelegate(this));
    grReceive->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                               QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    grReceive->verticalHeader()->hide();
    // All eight columns in sight: the mobile number, the type and the three Y/N flags as
    // wide as what they hold, the address taking what is left, the others a width of their
    // own the user may change.
    QHeaderView* titles = grReceive->horizontalHeader();
    titles->setDefaultSectionSize(84);
    titles->setMinimumSectionSize(52); // room for a flag's drop-down
    titles->setSectionResizeMode(3, QHeaderView::Stretch);
    for (int c = 5; c < Columns; ++c)
        titles->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    titles->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    titles->setSectionResizeMode(4, QHeaderView::ResizeToContents);
    layout->addWidget(grReceive, 1);
    AddOkCancelRow(layout, BitBtn1, BitBtn2);
    BitBtn1->OnClick = [this](QObject*) { BitBtn1Click(); };
    // Adding and removing a recipient in sight, not only by keys a clerk has to know.
    const auto rowButton = [this](const char* name, const QString& caption, int glyph) {
        auto* b = new TBitBtn(this);
        b->setObjectName(QString::fromLatin1(name));
        b->SetCaption(caption);
        QImage image;
        if (LoadBmp(image, glyph))
            b->SetGlyph(image);
        return b;
    };
    btnAdd = rowButton("btnAdd", QStringLiteral("增加(&A)"), 3);
    btnAdd->SetHint(QStringLiteral("增加一位被通知人"));
    btnAdd->OnClick = [this](QObject*) { btnAddClick(); };
    btnRemove = rowButton("btnRemove", QStringLiteral("删除(&D)"), 47);
    btnRemove->SetHint(QStringLiteral("删除所在的一行"));
    btnRemove->OnClick = [this](QObject*) { btnRemoveClick(); };
    if (auto* row = qobject_cast<QBoxLayout*>(layout->itemAt(layout->count() - 1)->layout())) {
        row->insertWidget(0, btnAdd);
        row->insertWidget(1, btnRemove);
    }
    setRows(2);
    resize(720, 300);
}

bool TfrmNotify::PortalOn() const
{
    return PortalStartup == QLatin1String("Y") && !PortalServiceAddress.isEmpty();
}

QString TfrmNotify::TypeLine() const
{
    // The list's lines are translated: the type is found by its number.
    const QString number = PortalOn() ? QStringLiteral("5") : QStringLiteral("1");
    for (const QString& line : me01->toPlainText().split(QLatin1Char('\n')))
        if (line.startsWith(number))
            return line;
    return number;
}

void TfrmNotify::KeyedTexts()
{
    for (int c = 0; c < Columns; ++c) {
        QTableWidgetItem* title = grReceive->horizontalHeaderItem(c);
        if (!title)
            continue;
        QString text;
        // "Cells" + column + "0" ("%10" would be read as the tenth argument).
        GetText(QStringLiteral("TfrmNotify"), QStringLiteral("Cells%1").arg(c) + QLatin1Char('0'), text, false,
                title->text());
        title->setText(text);
    }
    // The glyph is drawn beside the caption, which the button's own size leaves out.
    for (TBitBtn* b : {btnAdd, btnRemove})
        b->setMinimumWidth(b->sizeHint().width() + b->Glyph().width() + 8);
    // Recipients loaded before the dialog showed carry the type line of the untranslated list.
    for (int r = 1; r < RowCount(); ++r)
        if (!Cell(4, r).isEmpty())
            SetCell(4, r, TypeLine());
}

int TfrmNotify::RowCount() const
{
    return grReceive->rowCount() + 1;
}

void TfrmNotify::setRows(int rows)
{
    grReceive->setRowCount(std::max(1, rows - 1));
}

QString TfrmNotify::Cell(int c, int r) const
{
    const QTableWidgetItem* item = r >= 1 ? grReceive->item(r - 1, c) : nullptr;
    return item ? item->text() : QString();
}

void TfrmNotify::SetCell(int c, int r, const QString& text)
{
    if (r < 1 || r >= RowCount())
        return;
    QTableWidgetItem* item = grReceive->item(r - 1, c);
    if (!item)
        grReceive->setItem(r - 1, c, item = new QTableWidgetItem);
    item->setText(text);
}

void TfrmNotify::LoadRecipients(const QString& xml)
{
    setRows(2);
    for (int c = 0; c < Columns; ++c)
        SetCell(c, 1, QString());
    const auto doc = LoadXmlText(u8(xml));
    const pugi::xml_node root = doc->document_element();
    if (!root)
        return;
    // Every "R" + number child, in number order: a list saved with a gap keeps everyone.
    std::map<long, pugi::xml_node> recipients;
    for (pugi::xml_node child : root.children()) {
        const std::string name = child.name();
        if (name.size() < 2 || name[0] != 'R' || !std::all_of(name.begin() + 1, name.end(), ::isdigit))
            continue;
        const long n = std::strtol(name.c_str() + 1, nullptr, 10);
        recipients.emplace(n, child);
    }
    setRows(std::max(2, int(recipients.size()) + 1));
    int row = 1;
    for (const auto& [n, r] : recipients) {
        SetCell(0, row, q(GetAttributeText(r, "ID")));
        SetCell(1, row, q(GetAttributeText(r, "Name")));
        SetCell(2, row, q(GetAttributeText(r, "Mob")));
        SetCell(3, row, q(GetAttributeText(r, "Mail")));
        const QString type = q(GetAttributeText(r, "Type"));
        if (!type.isEmpty() && TypeLine().startsWith(type.left(1)))
            SetCell(4, row, TypeLine());
        // The three positions are kept: what is not "Y" reads as "N".
        const QString msg = q(GetAttributeText(r, "Msg"));
        for (int k = 0; k < 3; ++k)
            if (k < msg.size())
                SetCell(5 + k, row, msg[k] == QLatin1Char('Y') ? QStringLiteral("Y") : QStringLiteral("N"));
        ++row;
    }
}

QString TfrmNotify::BuildRecipients() const
{
    const auto doc = LoadXmlText(std::string(kDeclaration) + "<Root/>");
    pugi::xml_node root = doc->document_element();
    int last = 0;
    for (int r = 1; r < RowCount(); ++r)
        if (!Cell(0, r).trimmed().isEmpty())
            last = r;
    int written = 0;
    for (int a = 1; a <= last; ++a) {
        if (Cell(0, a).trimmed().isEmpty())
            continue;
        pugi::xml_node e = FindOrAddNode(root, "R" + std::to_string(a), true);
        SetAttributeText(e, "ID", u8(Cell(0, a)));
        SetAttributeText(e, "Name", u8(Cell(1, a)));
        if (!Cell(2, a).isEmpty())
            SetAttributeText(e, "Mob", u8(Cell(2, a)));
        if (!Cell(3, a).isEmpty())
            SetAttributeText(e, "Mail", u8(Cell(3, a)));
        if (!Cell(4, a).isEmpty())
            SetAttributeText(e, "Type", u8(Cell(4, a).left(1)));
        // An empty flag is written as "N", so that the later flags keep their places.
        QString msg;
        for (int k = 5; k <= 7; ++k)
            msg += Cell(k, a) == QLatin1String("Y") ? QLatin1Char('Y') : QLatin1Char('N');
        SetAttributeText(e, "Msg", u8(msg));
        ++written;
    }
    if (written == 0)
        return QStringLiteral("N");
    return QString::fromLatin1(kDeclaration) + q(XmlText(root));
}

void TfrmNotify::BitBtn1Click()
{
    if (grReceive->Editing())
        grReceive->EndEdit(true);
    ResultText = BuildRecipients();
    SetModalResult(mrOk);
}

bool TfrmNotify::editingRecipient() const
{
    return grReceive->Editing() && grReceive->currentColumn() == 0 &&
           grReceive->currentRow() >= 0;
}

void TfrmNotify::F2Action(QWidget* control)
{
    const bool inGrid = control && (control == grReceive || grReceive->isAncestorOf(control));
    if (inGrid && editingRecipient())
        grReceiveEditButtonClick();
    else
        TfrmQVDialog::F2Action(control);
}

void TfrmNotify::FormKeyDown(QObject* sender, int& key, TShiftState shift)
{
    QWidget* focused = focusWidget();
    const bool inGrid = focused && (focused == grReceive || grReceive->isAncestorOf(focused));
    if (inGrid && key == VK_DOWN && grReceive->currentRow() == grReceive->rowCount() - 1 &&
        !qobject_cast<QComboBox*>(focused)) {
        if (grReceive->Editing())
            grReceive->EndEdit(true);
        grReceive->setRowCount(grReceive->rowCount() + 1);
        grReceive->setCurrentCell(grReceive->rowCount() - 1, grReceive->currentColumn());
        key = 0;
        return;
    }
    if (inGrid && key == VK_DELETE && (shift & ssCtrl) && grReceive->currentRow() >= 0) {
        btnRemoveClick();
        key = 0;
        return;
    }
    TfrmQVDialog::FormKeyDown(sender, key, shift);
}

void TfrmNotify::btnAddClick()
{
    if (grReceive->Editing())
        grReceive->EndEdit(true);
    // The empty last row is the new one; otherwise one more.
    int row = grReceive->rowCount() - 1;
    if (row < 0 || !Cell(0, row + 1).trimmed().isEmpty()) {
        grReceive->setRowCount(grReceive->rowCount() + 1);
        row = grReceive->rowCount() - 1;
    }
    grReceive->setCurrentCell(row, 0);
    grReceive->setFocus();
    grReceiveEditButtonClick();
}

void TfrmNotify::btnRemoveClick()
{
    if (grReceive->Editing())
        grReceive->EndEdit(false);
    if (grReceive->currentRow() < 0)
        return;
    grReceive->removeRow(grReceive->currentRow());
    if (grReceive->rowCount() == 0)
        grReceive->setRowCount(1);
    grReceive->setFocus();
}

void TfrmNotify::grReceiveEditButtonClick()
{
    const int row = grReceive->currentRow() + 1;
    if (row < 1)
        return;
    // The editor's text would overwrite what the look-up puts in the cell.
    if (grReceive->Editing())
        grReceive->EndEdit(false);
    grReceive->setFocus();
    if (!PortalOn()) {
        Variant result;
        job_.LookupData(QStringLiteral("QVRMA"), QStringLiteral("04"), result, false, QString(), Variant());
        if (!result.isArray() || result.count() == 0)
            return;
        Variant first = result[result.lowBound()];
        if (!first.isArray())
            first = result;
        const auto value = [&](int i) { return i < first.count() ? VarToQStr(first[first.lowBound() + i]) : QString(); };
        if (value(0).isEmpty())
            return;
        for (int c = 0; c < 4; ++c)
            SetCell(c, row, value(c));
        SetCell(4, row, TypeLine());
        SetCell(5, row, QStringLiteral("Y"));
        return;
    }
    const QString answer = CallPortalService();
    if (answer.isEmpty())
        return;
    const PortalAnswer read = ReadPortalAnswer(u8(answer));
    std::vector<Variant> users;
    for (const PortalUserRecord& u : read.users)
        users.push_back(Variant::list({Variant(u.id), Variant(u.name)}));
    if (read.skipped > 0)
        MessageDlg(QStringLiteral("Portal: %1 records without an Id were skipped.").arg(read.skipped), mtWarning, {mbOK}, this);
    Variant list = users.empty() ? Variant() : Variant::array(0, int(users.size()) - 1);
    for (std::size_t i = 0; i < users.size(); ++i)
        list[int(i)] = users[i];
    Variant chosen;
    if (!PickPortalUser(this, list, chosen) || !chosen.isArray())
        return;
    SetCell(0, row, VarToQStr(chosen[chosen.lowBound()]));
    SetCell(1, row, VarToQStr(chosen[chosen.lowBound() + 1]));
    SetCell(4, row, TypeLine());
    SetCell(5, row, QStringLiteral("Y"));
}

QString TfrmNotify::CallPortalService()
{
    if (PortalServiceAddress.isEmpty())
        return {};
    const QString request = PortalRequest(job_.UserCode, job_.CompanyCode, job_.SystemCodePage());
    std::string result;
    try {
        result = InvokeWebService(u8(PortalServiceAddress), "PORTAL.getAllUser", u8(request));
    } catch (const WebServiceError& e) {
        ShowMessage(QStringLiteral("Call portal webservice error! ") + q(e.what()) + QStringLiteral("\n\rResult:") +
                        q(e.result),
                    this);
        return {};
    }
    if (result.empty())
        return {};
    const PortalAnswer read = ReadPortalAnswer(result);
    // What came instead of an answer (an error page, say), shortened for the message.
    const auto start = [&] { return q(result).left(200); };
    if (read.status == PortalAnswer::Status::NotXml) {
        ShowMessage(QStringLiteral("Call portal webservice error! \n\rThe answer is not XML: ") + start(), this);
        return {};
    }
    if (read.status == PortalAnswer::Status::Failed) {
        // An error page that happens to be well-formed has no Status to describe it.
        ShowMessage(QStringLiteral("Call portal webservice error! \n\r") +
                        (read.description.empty() ? QStringLiteral("The answer has no success status: ") + start()
                                                  : q(read.description)),
                    this);
        return {};
    }
    return q(result);
}

namespace {

// The first row of a SimpleSQL answer; empty when there is none.
std::vector<QString> firstRowOf(TfrmBaseGene& owner, Variant args)
{
    Variant answer;
    owner.CallServerMethod(QStringLiteral("SimpleSQL"), args, answer);
    std::vector<QString> values;
    if (!answer.isArray() || answer.count() == 0 || !answer[answer.lowBound()].isArray())
        return values;
    for (const Variant& v : answer[answer.lowBound()].elements())
        values.push_back(v.isEmptyOrNull() ? QString() : VarToQStr(v).trimmed());
    return values;
}

} // namespace

void ReadPortalSettings(TfrmBaseGene& owner, QString& portalStartup, QString& portalServiceAddress)
{
    const auto setting = [&owner](const char* sql, QString& into) {
        const std::vector<QString> row = firstRowOf(owner, Variant::list({sql, "MA003"}));
        if (!row.empty())
            into = row.front();
    };
    setting("SELECT MA003 FROM QVRINTMA WHERE MA001='StartupPortal' ", portalStartup);
    setting("SELECT MA003 FROM QVRINTMA WHERE MA001='Portal WS' ", portalServiceAddress);
}

QString DefaultRecipients(TfrmBaseGene& owner, const QString& portalStartup, const QString& portalServiceAddress)
{
    const std::vector<QString> user = firstRowOf(
        owner, Variant::list({"SELECT MA002, MA003, MA004 FROM QVRMA WHERE MA001 = :USER", "MA002,MA003,MA004",
                              Variant::list({Variant::list({"USER", QStrToVar(owner.UserCode)})})}));
    const auto doc = LoadXmlText(std::string(kDeclaration) + "<Root/>");
    pugi::xml_node r = FindOrAddNode(doc->document_element(), "R1", true);
    SetAttributeText(r, "ID", u8(owner.UserCode));
    SetAttributeText(r, "Name", user.empty() ? std::string() : u8(user[0]));
    if (user.size() > 1 && !user[1].isEmpty())
        SetAttributeText(r, "Mob", u8(user[1]));
    if (user.size() > 2 && !user[2].isEmpty())
        SetAttributeText(r, "Mail", u8(user[2]));
    // The type the recipient dialog offers, so that the row reads as one it adds.
    const bool portal = portalStartup == QLatin1String("Y") && !portalServiceAddress.isEmpty();
    SetAttributeText(r, "Type", portal ? "5" : "1");
    SetAttributeText(r, "Msg", "YNN");
    return QString::fromLatin1(kDeclaration) + q(XmlText(doc->document_element()));
}

QString EditRecipients(TfrmBaseGene* owner, const QString& recipients, const QString& portalStartup,
                       const QString& portalServiceAddress)
{
    auto* dialog = TQVForm::Create<TfrmNotify>(owner, portalStartup, portalServiceAddress);
    dialog->LoadRecipients(recipients);
    QString answer = recipients;
    if (dialog->ShowModal() == mrOk && !dialog->ResultText.isEmpty())
        answer = dialog->ResultText;
    dialog->Free();
    return answer;
}
