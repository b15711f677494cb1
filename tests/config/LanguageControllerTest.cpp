// Language files: the folder by code page, property paths, string lists, combo boxes,
// exclusions, single texts and the controller's errors.

#include "L10nInstall.h"

#include "config/LanguageController.h"
#include "controls/QvrEdit.h"
#include "controls/SelectPnl.h"

#include <QDir>
#include <QFile>
#include <QComboBox>
#include <QGroupBox>
#include <QTableWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

// A memo: its text is a string list.
class TTestMemo : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QStringList Lines MEMBER lines)
    Q_PROPERTY(int MaxLength MEMBER maxLength)

public:
    using QWidget::QWidget;
    QStringList lines;
    int maxLength = 0;
};

namespace {

struct LangForm {
    LangForm()
    {
        form = std::make_unique<QWidget>();
        form->setObjectName(QStringLiteral("frmTest"));
        form->setWindowTitle(QStringLiteral("测试"));
        edit = new TQvEdit(form.get());
        edit->setObjectName(QStringLiteral("ed01"));
        edit->SetCaption(QStringLiteral("供应商"));
        combo = new TQvComboBox(form.get());
        combo->setObjectName(QStringLiteral("cbo01"));
        combo->SetStyle(TQvComboBox::csDropDownList);
        combo->SetItems({QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三")});
        combo->SetItemIndex(2);
        memo = new TTestMemo(form.get());
        memo->setObjectName(QStringLiteral("mmNote"));
        memo->lines = {QStringLiteral("甲"), QStringLiteral("乙")};
        panel = new QWidget(form.get());
        panel->setObjectName(QStringLiteral("pnlTop"));
        panel->setToolTip(QStringLiteral("面板"));
        inner = new TQvEdit(panel);
        inner->setObjectName(QStringLiteral("ed02"));
        list = new QTreeWidget(form.get());
        list->setObjectName(QStringLiteral("lvRows"));
        list->setHeaderLabels({QStringLiteral("代号"), QStringLiteral("名称")});
        list->addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("S01"), QStringLiteral("华东")}));
        group = new QGroupBox(QStringLiteral("循环模式"), form.get());
        group->setObjectName(QStringLiteral("gbCycle"));
        plain = new QComboBox(group);
        plain->setObjectName(QStringLiteral("cboUnit"));
        plain->addItems({QStringLiteral("周"), QStringLiteral("月")});
        table = new QTableWidget(0, 2, form.get());
        table->setObjectName(QStringLiteral("grdRows"));
        table->setHorizontalHeaderLabels({QStringLiteral("单号"), QStringLiteral("状态")});
    }
    std::unique_ptr<QWidget> form;
    TQvEdit* edit;
    TQvComboBox* combo;
    TTestMemo* memo;
    QWidget* panel;
    TQvEdit* inner;
    QTreeWidget* list;
    QGroupBox* group;
    QComboBox* plain;
    QTableWidget* table;
};

const char* const kFile = R"(<?xml version="1.0" encoding="UTF-8"?>
<frmTest Caption="Test form">
  <ed01 Caption="Supplier" Hint="Supplier code"/>
  <cbo01 Items_5="Sixth" Items_0="One"/>
  <mmNote Lines="ignored" Lines_3="Fourth"/>
  <pnlTop Hint="Top panel"/>
  <ed02 Caption="Inner"/>
  <lvRows Columns_1.Caption="Name" Items_0.Caption="Row" Columns_7.Caption="none"/>
  <gbCycle Caption="Recurrence"/>
  <cboUnit Items_0="Week" Items_1="Month" Items_2="none"/>
  <grdRows Columns_1.Caption="Status"/>
  <group><ed01 Caption="Second element"/></group>
  <Nothing Caption="no such component"/>
</frmTest>
)";

} // namespace

TEST(LanguageController, FilesApplyByComponentAndPath)
{
    LangForm f;
    TLanguageController c;
    c.SetXMLText(QString::fromUtf8(kFile).split(QLatin1Char('\n')));
    c.SetExcludeControls({QStringLiteral(" PNLTOP ")});
    c.SetActive(true);
    ASSERT_TRUE(c.Active());
    QStringList seen;
    c.BeforeLoadComponent = [&](QObject* o, const pugi::xml_node&) { seen << o->objectName(); };
    c.SetActive(true); // events are taken when the reader is made
    c.Reader().ReadComponent(f.form.get());

    EXPECT_EQ(f.form->windowTitle(), QStringLiteral("Test form"));
    // The first of two elements of a name counts.
    EXPECT_EQ(f.edit->Caption(), QStringLiteral("Supplier"));
    EXPECT_EQ(f.edit->Hint(), QStringLiteral("Supplier code"));
    // Items_5 on three items: two empty ones between, the chosen index kept.
    EXPECT_EQ(f.combo->Items(), (QStringList{QStringLiteral("One"), QStringLiteral("二"), QStringLiteral("三"), QString(),
                                             QString(), QStringLiteral("Sixth")}));
    EXPECT_EQ(f.combo->ItemIndex(), 2);
    // Lines without an index changes nothing; with one it pads.
    EXPECT_EQ(f.memo->lines, (QStringList{QStringLiteral("甲"), QStringLiteral("乙"), QString(), QStringLiteral("Fourth")}));
    // The excluded panel keeps its text; the edit on it is translated.
    EXPECT_EQ(f.panel->toolTip(), QStringLiteral("面板"));
    EXPECT_EQ(f.inner->Caption(), QStringLiteral("Inner"));
    // A column and an item of a list view; a column beyond the end is skipped.
    EXPECT_EQ(f.list->headerItem()->text(1), QStringLiteral("Name"));
    EXPECT_EQ(f.list->headerItem()->text(0), QStringLiteral("代号"));
    EXPECT_EQ(f.list->topLevelItem(0)->text(0), QStringLiteral("Row"));
    // A group box's title, a plain combo box's lines, a table's column title.
    EXPECT_EQ(f.group->title(), QStringLiteral("Recurrence"));
    EXPECT_EQ(f.plain->count(), 2);
    EXPECT_EQ(f.plain->itemText(1), QStringLiteral("Month"));
    EXPECT_EQ(f.table->horizontalHeaderItem(1)->text(), QStringLiteral("Status"));
    EXPECT_EQ(f.table->horizontalHeaderItem(0)->text(), QStringLiteral("单号"));
    EXPECT_TRUE(c.Reader().Failures().isEmpty()) << c.Reader().Failures().join(QLatin1Char(';')).toStdString();
    EXPECT_TRUE(seen.contains(QStringLiteral("frmTest")));
    EXPECT_FALSE(seen.contains(QStringLiteral("pnlTop")));
}

TEST(LanguageController, AValueAPropertyCannotTakeIsCountedAndTheRestApplies)
{
    LangForm f;
    TLanguageController c;
    c.SetXMLText({QStringLiteral("<frmTest><mmNote MaxLength=\"lots\"/><ed01 Font.Name=\"Tahoma\" Caption=\"After\" Nonsense.Deep=\"x\"/></frmTest>")});
    c.SetActive(true);
    c.Reader().ReadComponent(f.form.get());
    EXPECT_EQ(c.Reader().Failures(), QStringList{QStringLiteral("mmNote.MaxLength=lots")});
    EXPECT_EQ(f.memo->maxLength, 0);
    EXPECT_EQ(f.edit->font().family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(f.edit->Caption(), QStringLiteral("After"));
}

TEST(LanguageController, ALineFarPastTheEndOfAListIsCountedNotPadded)
{
    // Found by the language-file fuzz target: Items_2000000 made a combo box of two
    // million items and took seconds and a gigabyte.
    LangForm f;
    TLanguageController c;
    c.SetXMLText({QStringLiteral("<frmTest><cbo01 Items_2000000=\"far\" Items_4=\"near\"/>"
                                 "<mmNote Lines_2147483647=\"farther\"/></frmTest>")});
    c.SetActive(true);
    c.Reader().ReadComponent(f.form.get());
    EXPECT_EQ(c.Reader().Failures(), (QStringList{QStringLiteral("cbo01.Items_2000000=far"),
                                                  QStringLiteral("mmNote.Lines_2147483647=farther")}));
    EXPECT_EQ(f.combo->Items().size(), 5) << "the near line is padded to as before";
    EXPECT_EQ(f.combo->Items().back(), QStringLiteral("near"));
    EXPECT_EQ(f.memo->lines.size(), 2);
}

TEST(LanguageController, AFileNeverRenamesAComponent)
{
    // Found by the language-file fuzz target: "Items_0.Name" on a combo box left the walk on
    // the combo box and renamed it, so the form's code and every later file lost it.
    LangForm f;
    TLanguageController c;
    c.SetXMLText({QStringLiteral("<frmTest Name=\"frmOther\"><cbo01 Items_0.Name=\"z\" Hint=\"kept\"/>"
                                 "<ed01 name=\"y\" Caption=\"After\"/><mmNote Font.Name=\"Tahoma\"/></frmTest>")});
    c.SetActive(true);
    c.Reader().ReadComponent(f.form.get());
    EXPECT_EQ(f.form->objectName(), QStringLiteral("frmTest"));
    EXPECT_EQ(f.combo->objectName(), QStringLiteral("cbo01"));
    EXPECT_EQ(f.edit->objectName(), QStringLiteral("ed01"));
    EXPECT_EQ(f.combo->toolTip(), QStringLiteral("kept"));
    EXPECT_EQ(f.edit->Caption(), QStringLiteral("After"));
    EXPECT_EQ(f.memo->font().family(), QStringLiteral("Tahoma")) << "a font's Name is no component's name";
    // Each refusal is counted (the root element applies twice: to the form, and by its name).
    const QStringList failures = c.Reader().Failures();
    for (const char* refused : {"frmTest.Name=frmOther", "cbo01.Items_0.Name=z", "ed01.name=y"})
        EXPECT_TRUE(failures.contains(QLatin1String(refused))) << refused;
    EXPECT_FALSE(failures.contains(QLatin1String("mmNote.Font.Name=Tahoma")));
}

TEST(LanguageController, OpeningAndReadingErrors)
{
    TLanguageController c;
    try {
        c.SetActive(true);
        FAIL();
    } catch (const LanguageControllerError& e) {
        EXPECT_STREQ(e.what(), "Cannot Find File !");
    }
    try {
        c.Reader();
        FAIL();
    } catch (const LanguageControllerError& e) {
        EXPECT_STREQ(e.what(), "No active LanguageController!");
    }
    c.SetXMLText({QStringLiteral("<frmTest><ed01 Caption=\"x\"></frmTest>")});
    EXPECT_THROW(c.SetActive(true), LanguageControllerError);
    EXPECT_FALSE(c.Active());
    c.SetFileName(QStringLiteral("/no/such/folder/TfrmNone.Lng"));
    EXPECT_TRUE(c.XMLText().isEmpty()) << "a file name clears the inline text";
    EXPECT_THROW(c.SetActive(true), LanguageControllerError);
}

TEST(LangFolder, ByTheInterfaceCodePage)
{
    {
        L10nInstall install("936");
        install.write("MultiLanguage/CHS/TfrmTest.Lng", "<TfrmTest><sHello Msg=\"你好\"/><sHello Msg=\"second\"/></TfrmTest>");
        EXPECT_EQ(TQvLangController::LanguageFolder(dtClient), QString::fromStdString(install.client("MultiLanguage/CHS/")));
        TQvLangController c;
        c.SetLangPackageName(QStringLiteral("TfrmTest"));
        EXPECT_EQ(c.FileName(), QString::fromStdString(install.client("MultiLanguage/CHS/TfrmTest.Lng")));
        QString text;
        TQvLangController::GetLangText(dtClient, QStringLiteral("TfrmTest"), QStringLiteral("sHello"), text, QStringLiteral("d"));
        EXPECT_EQ(text, QStringLiteral("你好"));
        TQvLangController::GetLangText(dtClient, QStringLiteral("TfrmTest"), QStringLiteral("sNone"), text, QStringLiteral("d"));
        EXPECT_EQ(text, QStringLiteral("d"));
        TQvLangController::GetLangText(dtClient, QStringLiteral("TfrmTest"), QStringLiteral("a]|//*"), text, QStringLiteral("d"));
        EXPECT_EQ(text, QStringLiteral("d")) << "a key that is no name finds nothing";
        TQvLangController::GetLangText(dtClient, QStringLiteral("TfrmOther"), QStringLiteral("sHello"), text, QStringLiteral("d"));
        EXPECT_EQ(text, QStringLiteral("d"));
        // A traditional interface without its folder has none.
        L10nInstall traditional("950");
        EXPECT_EQ(TQvLangController::LanguageFolder(dtClient), QString());
    }
    {
        // Code page 1252 has no language: the file name is the package's alone.
        L10nInstall install("1252");
        EXPECT_EQ(TQvLangController::LanguageCode(QStringLiteral("1252")), QString());
        EXPECT_EQ(TQvLangController::LanguageFolder(dtClient), QString());
        TQvLangController c;
        c.SetLangPackageName(QStringLiteral("TfrmTest"));
        EXPECT_EQ(c.FileName(), QStringLiteral("TfrmTest.Lng"));
    }
}

namespace {

// What the alert logs "LanguageController" below the client folder hold.
std::string languageLog(const L10nInstall& install)
{
    std::string all;
    const QDir logs(QString::fromStdString(install.client("Log")));
    for (const QString& name : logs.entryList({QStringLiteral("Alert_LanguageController_*")}, QDir::Files)) {
        QFile f(logs.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            all += f.readAll().toStdString();
    }
    return all;
}

std::size_t occurrences(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(LangFolder, AFolderThatCannotBeUsedIsLoggedOnceAndTheBuiltInTextsStay)
{
    {
        L10nInstall install("437");
        const std::string folder = install.client("MultiLanguage/ENG/");
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(TQvLangController::LanguageFolder(dtClient), QString());
            QString text;
            TQvLangController::GetLangText(dtClient, QStringLiteral("TfrmTest"), QStringLiteral("sHello"), text,
                                           QStringLiteral("你好"));
            EXPECT_EQ(text, QStringLiteral("你好"));
        }
        EXPECT_EQ(occurrences(languageLog(install), folder + ": the language folder does not exist"), 1u)
            << languageLog(install);
    }
    {
        L10nInstall install("950");
        install.write("MultiLanguage/CHT", "a file where the folder should be");
        EXPECT_EQ(TQvLangController::LanguageFolder(dtClient), QString());
        EXPECT_NE(languageLog(install).find(install.client("MultiLanguage/CHT/") + ": the language folder is no folder"),
                  std::string::npos)
            << languageLog(install);
    }
    {
        // A file that is not XML gives the built-in text and is named once.
        L10nInstall install("437");
        install.write("MultiLanguage/ENG/TfrmTest.Lng", "<TfrmTest><sHello Msg=\"Hello\"></TfrmTest");
        for (int i = 0; i < 3; ++i) {
            QString text;
            TQvLangController::GetLangText(dtClient, QStringLiteral("TfrmTest"), QStringLiteral("sHello"), text,
                                           QStringLiteral("你好"));
            EXPECT_EQ(text, QStringLiteral("你好"));
        }
        EXPECT_EQ(occurrences(languageLog(install), install.client("MultiLanguage/ENG/TfrmTest.Lng") + ": "), 1u)
            << languageLog(install);
    }
    {
        // Code page 1252 has no language, so no folder is missing.
        L10nInstall install("1252");
        EXPECT_EQ(TQvLangController::LanguageFolder(dtClient), QString());
        EXPECT_EQ(languageLog(install), "");
    }
    if (::geteuid() != 0) {
        // (Root reads every folder.)
        L10nInstall install("936");
        install.write("MultiLanguage/CHS/TfrmTest.Lng", "<TfrmTest><sHello Msg=\"你好\"/></TfrmTest>");
        const std::string folder = install.client("MultiLanguage/CHS/");
        ASSERT_EQ(::chmod(folder.c_str(), 0), 0);
        EXPECT_EQ(TQvLangController::LanguageFolder(dtClient), QString());
        ::chmod(folder.c_str(), 0755);
        EXPECT_NE(languageLog(install).find(folder + ": the language folder cannot be read"), std::string::npos)
            << languageLog(install);
    }
}

#include "LanguageControllerTest.moc"
