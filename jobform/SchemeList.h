#pragma once
// The left panel of a job form: the user's condition schemes for this job, kept by the
// application server (LoadTable and the provider pvdConSave). Opening one applies it,
// a caption edited in place renames it, and delete removes it after a confirmation.

#include <QIcon>
#include <QString>

class QTreeWidgetItem;
class TfrmBaseGene;

class TSchemeList {
public:
    // The four views of mnList and ToolButton1, in their order.
    enum View { Icon, SmallIcon, List, Report };
    // At most this many bytes in the database's code page.
    static constexpr int MaxNameBytes = 20;

    explicit TSchemeList(TfrmBaseGene& form);

    // The panel's buttons, menus and the list's own events call the form's handlers.
    void Connect();

    // LoadSchemeList: false (and the list empty) when the server refused.
    bool Load();
    bool Save(const QString& properties, const QString& name, bool replace);
    // The values of the selected scheme into the controls ("R"/"200235" when they do not fit).
    void OpenSelected();
    void DeleteSelected();
    // lstConditionEdited: the caption of item was edited from oldName.
    void Renamed(QTreeWidgetItem* item, const QString& oldName);

    View view() const { return view_; }
    void SetView(View view);

private:
    void fillFromProvider();
    // Image 0 of ImageList1 (18 pixels) and ImageList2 (24): every scheme carries it.
    const QIcon& schemeImage();

    TfrmBaseGene& form_;
    View view_ = Icon;
    QIcon image_;
};
