#include "jobform/SchemeList.h"

#include "config/Dialogs.h"
#include "config/QtVariant.h"
#include "controls/BmpLibrary.h"
#include "jobform/BaseGene.h"
#include "jobform/GeneKeys.h"
#include "jobform/SchemeValues.h"
#include "platform/Automation.h"
#include "dataset/ClientDataSet.h"
#include "platform/CodePage.h"
#include "platform/OleDate.h"
#include "support/Dates.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QHeaderView>
#include <QToolButton>
#include <QTreeWidget>

#include <stdexcept>

namespace {

// A name's bytes in the database's code page, as the server counts them.
int nameBytes(const TfrmBaseGene& form, const QString& name)
{
    int codePage = form.DBCodePage().toInt();
    if (!IsSupportedCodePage(codePage))
        codePage = 936;
    return int(Utf8ToCodePage(name.toStdString(), codePage).size());
}

struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

// The server's answer: an error text, empty on success.
void raiseUnlessEmpty(const Variant& answer)
{
    const QString text = answer.isEmptyOrNull() ? QString() : VarToQStr(answer);
    if (!text.isEmpty())
        throw std::runtime_error(text.toStdString());
}

Variant serverCall(Variant& server, const char* member, std::vector<Variant> args)
{
    return server.invoke(member, args);
}


} // namespace

TSchemeList::TSchemeList(TfrmBaseGene& form) : form_(form) {}

void TSchemeList::Connect()
{
    TfrmBaseGene* f = &form_;
    QObject::connect(f->btnInsert, &QToolButton::clicked, f, [f] { f->btnInsertClick(f->btnInsert); });
    QObject::connect(f->btnOpen, &QToolButton::clicked, f, [f] { f->btnOpenClick(f->btnOpen); });
    QObject::connect(f->btnDelete, &QToolButton::clicked, f, [f] { f->btnDeleteClick(f->btnDelete); });
    QObject::connect(f->ToolButton1, &QToolButton::clicked, f, [f] { f->ToolButton1Click(f->ToolButton1); });
    const QList<QAction*> operations = f->muOperation->actions();
    QObject::connect(operations[0], &QAction::triggered, f, [f] { f->btnOpenClick(f->btnOpen); });
    QObject::connect(operations[1], &QAction::triggered, f, [f] { f->btnDeleteClick(f->btnDelete); });
    const char* const views[] = {"ViewIconExecute", "ViewSmallIconExecute", "ViewListExecute", "ViewReportExecute"};
    const QList<QAction*> viewActions = f->mnList->actions();
    for (int i = 0; i < viewActions.size() && i < 4; ++i) {
        const char* method = views[i];
        QObject::connect(viewActions[i], &QAction::triggered, f, [f, method] { QMetaObject::invokeMethod(f, method); });
    }
    QTreeWidget* list = f->lstCondition;
    // Sorted by caption, also when a rename moves an item.
    list->setSortingEnabled(true);
    list->sortByColumn(0, Qt::AscendingOrder);
    list->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    QObject::connect(list, &QTreeWidget::itemDoubleClicked, f, [f] { f->btnOpenClick(f->lstCondition); });
    QObject::connect(list, &QTreeWidget::itemChanged, f, [f](QTreeWidgetItem* item, int column) {
        if (column != 0)
            return;
        const QString old = item->data(0, Qt::UserRole).toString();
        if (item->text(0) == old)
            return;
        const QSignalBlocker quiet(f->lstCondition);
        f->lstConditionEdited(item, old);
    });
}

const QIcon& TSchemeList::schemeImage()
{
    if (image_.isNull()) {
        // The glyph of saving: a scheme is a saved set of conditions.
        for (const int side : {18, 24}) {
            QImage glyph;
            if (LoadBmp(glyph, 5, side))
                image_.addPixmap(QPixmap::fromImage(glyph));
        }
    }
    return image_;
}

void TSchemeList::fillFromProvider()
{
    TClientDataSet& ds = *form_.ClientDataSet1;
    ds.Close();
    const Variant answer = serverCall(form_.AppServer, "AS_GetRecords", {Variant("pvdConSave")});
    if (!answer.isArray() || answer.count() < 2)
        throw std::runtime_error(VarToQStr(serverCall(form_.AppServer, "ErrorDescript", {})).toStdString());
    const Variant names = answer[answer.lowBound()];
    const Variant rows = answer[answer.lowBound() + 1];
    // The provider's columns are always the same six; the fields are made once.
    if (ds.FieldCount() == 0)
        for (int i = names.lowBound(); i <= names.highBound(); ++i)
            ds.AddField(names[i].toString(), ftString, 0); // no bound: the server's texts are kept whole
    if (!ds.FindField("NCONDITION") || !ds.FindField("SCONDITION") || !ds.FindField("VCONDITION"))
        throw std::runtime_error("The provider pvdConSave answered other columns");
    ds.CreateDataSet();
    ds.SetIndexFieldNames("NCONDITION;CREATOR;PROGRAMME");
    if (rows.isArray())
        for (int r = rows.lowBound(); r <= rows.highBound(); ++r) {
            ds.Append();
            for (int c = 0; c < ds.FieldCount(); ++c)
                ds.Fields(c)->SetValue(rows[r][rows[r].lowBound() + c]);
            ds.Post();
        }
}

bool TSchemeList::Load()
{
    if (!form_.AppServer.isDispatch())
        return false;
    // An application server that keeps no schemes: the panel says so instead of failing
    // each time the form opens.
    const auto* object = dynamic_cast<const DispatchObject*>(form_.AppServer.toDispatch().get());
    if (object && !object->hasMember("LoadTable")) {
        const QString why = form_.GetText(QStringLiteral("sNoSchemes"), QStringLiteral("此应用服务器不保存条件方案"));
        for (QWidget* w : {static_cast<QWidget*>(form_.btnInsert), static_cast<QWidget*>(form_.btnOpen),
                           static_cast<QWidget*>(form_.btnDelete)}) {
            w->setEnabled(false);
            w->setToolTip(why);
        }
        form_.lstCondition->setToolTip(why);
        return false;
    }
    QTreeWidget* list = form_.lstCondition;
    BusyCursor busy;
    // Filling the list is no renaming.
    const QSignalBlocker quiet(list);
    list->setUpdatesEnabled(false);
    const View shown = view_;
    SetView(List);
    list->clear();
    const auto restore = [&] {
        SetView(shown);
        list->setUpdatesEnabled(true);
    };
    try {
        raiseUnlessEmpty(serverCall(form_.AppServer, "LoadTable", {Variant::list({QStrToVar(form_.UserCode), QStrToVar(form_.ProgramCode)})}));
        fillFromProvider();
        TClientDataSet& ds = *form_.ClientDataSet1;
        for (ds.First(); !ds.Eof(); ds.Next()) {
            auto* item = new QTreeWidgetItem(list);
            item->setFlags(item->flags() | Qt::ItemIsEditable);
            item->setIcon(0, schemeImage());
            item->setText(0, VarToQStr(form_.IncomingConvert(Variant(ds.FieldByName("NCONDITION")->AsString()))));
            const std::string created = ds.FieldByName("CREATE_DATE")->AsString();
            if (IsValidCompactDate(created))
                item->setText(1, QString::fromStdString(DateToDisplayText(
                                     form_.GetDateFormat(), form_.GetDateSeparator().toStdString(), CompactToDate(created))));
            item->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
            item->setData(0, Qt::UserRole, item->text(0));
        }
        restore();
        return true;
    } catch (const std::exception& e) {
        list->clear();
        restore();
        throw std::runtime_error(e.what());
    }
}

bool TSchemeList::Save(const QString& properties, const QString& name, bool replace)
{
    try {
        const QString values = SchemeValues::Build(form_, properties);
        Variant record = Variant::array(0, 6);
        record[0] = form_.OutgoingConvert(QStrToVar(name));
        record[1] = QStrToVar(form_.UserCode);
        record[2] = Variant(dateToCompact(Today()));
        record[3] = QStrToVar(form_.ProgramCode);
        record[4] = QStrToVar(form_.SchemeProperties);
        record[5] = form_.OutgoingConvert(QStrToVar(values));
        record[6] = Variant(replace);
        raiseUnlessEmpty(serverCall(form_.AppServer, "InsertConTable", {record}));
        return true;
    } catch (const std::exception& e) {
        form_.ShowMessageDialog(QString::fromStdString(e.what()), mtError, {mbOK});
        return false;
    }
}

void TSchemeList::OpenSelected()
{
    QTreeWidgetItem* item = form_.lstCondition->currentItem();
    if (!item || !form_.ClientDataSet1->Active())
        return;
    const Variant keys = Variant::list({form_.OutgoingConvert(QStrToVar(item->text(0))), QStrToVar(form_.UserCode),
                                        QStrToVar(form_.ProgramCode)});
    if (!form_.ClientDataSet1->Locate("NCONDITION;CREATOR;PROGRAMME", keys))
        return;
    bool applied = false;
    {
        BusyCursor busy;
        TClientDataSet& ds = *form_.ClientDataSet1;
        applied = form_.ApplyScheme(QString::fromStdString(ds.FieldByName("SCONDITION")->AsString()),
                                    VarToQStr(form_.IncomingConvert(Variant(ds.FieldByName("VCONDITION")->AsString()))));
    }
    if (!applied)
        form_.ShowCodedMessage(QStringLiteral("R"), QStringLiteral("200235"));
    form_.AfterSchemeApplied();
    // The scheme's conditions are where the clerk starts from, not something entered.
    if (applied)
        form_.keys_->TakeSnapshot();
}

void TSchemeList::DeleteSelected()
{
    QTreeWidgetItem* item = form_.lstCondition->currentItem();
    if (!item)
        return;
    const QString name = item->text(0);
    if (form_.ShowMessageDialog(form_.GetText(QStringLiteral("sDeleteProj"), QStringLiteral("确实要删除此方案吗？")) + name,
                                mtConfirmation, {mbYes, mbNo}) != mrYes)
        return;
    raiseUnlessEmpty(serverCall(form_.AppServer, 
        "DeleteConTable", {Variant::list({form_.OutgoingConvert(QStrToVar(name)), QStrToVar(form_.UserCode),
                                          QStrToVar(form_.ProgramCode)})}));
    Load();
}

void TSchemeList::Renamed(QTreeWidgetItem* item, const QString& oldName)
{
    if (!item)
        return;
    const QString typed = item->text(0);
    const QString name = typed.trimmed();
    const auto refuse = [&](const char* key, const QString& text) {
        form_.ShowMessageDialog(form_.GetText(QString::fromLatin1(key), text), mtError, {mbOK});
        item->setText(0, oldName);
    };
    if (name.isEmpty())
        return refuse("sProjNameEmpty", QStringLiteral("方案名不可空白!"));
    if (nameBytes(form_, typed) > MaxNameBytes)
        return refuse("sProjNameError", QStringLiteral("方案名长度不可大于20!"));
    QTreeWidget* list = form_.lstCondition;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i) != item && list->topLevelItem(i)->text(0) == name)
            return refuse("sProjNameExist", QStringLiteral("此方案名称已经存在！"));
    item->setText(0, name);
    if (name == oldName)
        return;
    const auto keys = [&](const QString& n) {
        return Variant::list({form_.OutgoingConvert(QStrToVar(n)), QStrToVar(form_.UserCode), QStrToVar(form_.ProgramCode)});
    };
    const Variant answer = serverCall(form_.AppServer, "ChangeConName", {keys(oldName), keys(name)});
    const QString error = answer.isEmptyOrNull() ? QString() : VarToQStr(answer);
    if (!error.isEmpty()) {
        form_.ShowMessageDialog(form_.GetText(QStringLiteral("sFailedRename"), QStringLiteral("更改方案名失败!")), mtError,
                                {mbOK});
        item->setText(0, oldName);
        throw std::runtime_error(error.toStdString());
    }
    item->setData(0, Qt::UserRole, name);
    TClientDataSet& ds = *form_.ClientDataSet1;
    if (ds.Active() && ds.Locate("NCONDITION;CREATOR;PROGRAMME", keys(oldName))) {
        ds.Edit();
        ds.FieldByName("NCONDITION")->SetValue(form_.OutgoingConvert(QStrToVar(name)));
        ds.Post();
    }
}

void TSchemeList::SetView(View view)
{
    view_ = view;
    QTreeWidget* list = form_.lstCondition;
    // Details show both columns under their headers; the other views show the names, the
    // icon views with their image at two sizes.
    list->setHeaderHidden(view != Report);
    list->setColumnHidden(1, view != Report);
    const int side = view == Icon ? 24 : 18;
    list->setIconSize(QSize(side, side));
    if (view == Report)
        for (int c = 0; c < 2; ++c)
            list->resizeColumnToContents(c);
}
