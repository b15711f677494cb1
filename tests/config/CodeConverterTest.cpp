// The code converter: values by conversion type and mode, the form conversion with its
// fonts and styles, message dialogs.

#include "L10nInstall.h"

#include "config/CodeConverter.h"
#include "config/RunTimeProps.h"
#include "controls/Buttons.h"
#include "controls/QvrEdit.h"
#include "controls/SelectPnl.h"
#include "platform/ModalRunner.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QMessageBox>
#include <QTableWidget>
#include <QToolTip>

#include <gtest/gtest.h>

#include <memory>

namespace {

const char* const kGB = "应付账款";
const char* const kBig5 = "應付賬款";

// A form of the kinds of component the conversion treats.
struct ConvertibleForm {
    ConvertibleForm()
    {
        form = std::make_unique<QWidget>();
        form->setWindowTitle(QStringLiteral("应付账款转销作业"));
        edit = new TQvEdit(form.get());
        edit->setObjectName(QStringLiteral("ed01"));
        edit->SetCaption(QStringLiteral("供应商"));
        edit->SetHint(QStringLiteral("输入供应商代号"));
        list = new TQvComboBox(form.get());
        list->setObjectName(QStringLiteral("cbo01"));
        list->SetStyle(TQvComboBox::csDropDownList);
        list->SetItems({QStringLiteral("应付账款"), QStringLiteral("其他应付款"), QStringLiteral("预付账款")});
        list->SetItemIndex(1);
        editable = new TQvComboBox(form.get());
        editable->setObjectName(QStringLiteral("cbo02"));
        editable->SetItems({QStringLiteral("币别")});
        panel = new TSelectPanel(form.get());
        panel->setObjectName(QStringLiteral("sp03"));
        panel->SetCaption(QStringLiteral("单据号码"));
        panel->SetChildHints({QStringLiteral("起始单号"), QStringLiteral("截止单号")});
        panel->SetBeginWords({QStringLiteral("从")});
        grid = new QTableWidget(1, 1, form.get());
        grid->setObjectName(QStringLiteral("grd01"));
        grid->setItem(0, 0, new QTableWidgetItem(QStringLiteral("转销")));
        button = new TBitBtn(form.get());
        button->setObjectName(QStringLiteral("btnOk"));
        button->SetCaption(QStringLiteral("确定"));
        edit->SetText(QStringLiteral("华东"));
        group = new QGroupBox(QStringLiteral("循环模式"), form.get());
        group->setObjectName(QStringLiteral("gbCycle"));
        grid->setHorizontalHeaderLabels({QStringLiteral("单号")});
        keep = new TQvEdit(form.get());
        keep->setObjectName(QStringLiteral("edKeep"));
        keep->SetCaption(QStringLiteral("供应商"));
        keep->SetHint(QStringLiteral("供应商"));
    }
    std::unique_ptr<QWidget> form;
    TQvEdit* edit;
    TQvComboBox* list;
    TQvComboBox* editable;
    TSelectPanel* panel;
    QTableWidget* grid;
    TBitBtn* button;
    QGroupBox* group;
    TQvEdit* keep;
};

} // namespace

TEST(CodeConverter, ValuesByTypeTextsArraysAndTheRest)
{
    L10nInstall install("950");
    const TCodeConverter c;
    ASSERT_NE(c.Translator(), nullptr);
    EXPECT_EQ(c.ConvertValue(2, Variant(kGB)).toString(), kBig5);
    EXPECT_EQ(c.ConvertValue(1, Variant(kBig5)).toString(), kGB);
    for (int type : {0, 3, 4})
        EXPECT_EQ(c.ConvertValue(type, Variant(kGB)).toString(), kGB) << type;
    EXPECT_TRUE(c.ConvertValue(2, Variant()).isEmpty());
    EXPECT_TRUE(c.ConvertValue(2, Variant::null()).isNull());
    EXPECT_EQ(c.ConvertValue(2, Variant(42)), Variant(42));
    // A text in a code page comes back as Unicode text, converted.
    EXPECT_EQ(c.ConvertValue(2, Variant::ansi(Utf8ToCodePage(kGB, 936), 936)).toString(), kBig5);

    // One dimension, with an array inside: every text converted, the rest kept; the
    // original is left as it was.
    const Variant row = Variant::list({kGB, 3.5, Variant::list({"供应商", Variant::null()})});
    const Variant one = c.ConvertValue(2, row);
    EXPECT_EQ(one[0].toString(), kBig5);
    EXPECT_EQ(one[1], Variant(3.5));
    EXPECT_EQ(one[2][0].toString(), "供應商");
    EXPECT_TRUE(one[2][1].isNull());
    EXPECT_EQ(row[0].toString(), kGB);

    // Two dimensions, bounds kept, every cell.
    Variant table = Variant::array2(1, 2, 0, 1);
    table.at(1, 0) = "发票";
    table.at(1, 1) = 7;
    table.at(2, 0) = "付款";
    table.at(2, 1) = Variant::list({"汇率"});
    const Variant two = c.ConvertValue(2, table);
    EXPECT_EQ(two.dimCount(), 2);
    EXPECT_EQ(two.lowBound(1), 1);
    EXPECT_EQ(two.lowBound(2), 0);
    EXPECT_EQ(two.at(1, 0).toString(), "發票");
    EXPECT_EQ(two.at(1, 1), Variant(7));
    EXPECT_EQ(two.at(2, 0).toString(), "付款");
    EXPECT_EQ(two.at(2, 1)[0].toString(), "匯率");
}

TEST(CodeConverter, TraditionalInterfaceOnAGBDatabase)
{
    // Mode 2 with DBConvertMode 2: typed text goes to the database GB, values read back
    // are shown Big5.
    L10nInstall install("950", "936");
    const TCodeConverter c;
    EXPECT_EQ(c.UIConvertMode(), 2);
    EXPECT_EQ(c.DBConvertMode(), 2);
    EXPECT_EQ(c.DisplayConvert(QString::fromUtf8(kGB)), QString::fromUtf8(kBig5));
    EXPECT_EQ(c.ReverseDisplayConvert(QString::fromUtf8(kBig5)), QString::fromUtf8(kGB));
    EXPECT_EQ(c.OutgoingConvert(Variant(kBig5)).toString(), kGB);
    EXPECT_EQ(c.IncomingConvert(Variant(kGB)).toString(), kBig5);
    EXPECT_EQ(c.GBToBIG5Text(QString()), QString());
    EXPECT_EQ(c.BIG5ToGBText(QString::fromUtf8(kBig5)), QString::fromUtf8(kGB));
}

TEST(CodeConverter, GBInterfaceOnABig5DatabaseStillConverts)
{
    // Mode 0 with DBConvertMode 1: the interface needs nothing, the database does.
    L10nInstall install("936", "950");
    const TCodeConverter c;
    EXPECT_EQ(c.UIConvertMode(), 0);
    EXPECT_EQ(c.DBConvertMode(), 1);
    EXPECT_EQ(c.DisplayConvert(QString::fromUtf8(kGB)), QString::fromUtf8(kGB));
    EXPECT_EQ(c.IncomingConvert(Variant(kBig5)).toString(), kGB);
    EXPECT_EQ(c.OutgoingConvert(Variant(kGB)).toString(), kBig5);
    // The form's texts stay as they are.
    ConvertibleForm f;
    TCodeConverter(f.form.get()).ConvertForm(f.form.get(), nullptr, true);
    EXPECT_EQ(f.edit->Caption(), QStringLiteral("供应商"));
    EXPECT_EQ(f.list->Style(), TQvComboBox::csDropDownList);
}

TEST(CodeConverter, WithoutConversionNothingIsLoadedOrChanged)
{
    L10nInstall install("936", "936");
    const TCodeConverter c(nullptr, "NoSuchTranslator.so"); // never loaded
    EXPECT_EQ(c.Translator(), nullptr);
    EXPECT_EQ(c.IncomingConvert(Variant(kBig5)).toString(), kBig5);
    EXPECT_EQ(c.OutgoingConvert(Variant(kGB)).toString(), kGB);
    EXPECT_THROW(c.GBToBIG5Text(QStringLiteral("x")), Exception);
}

TEST(CodeConverter, AMissingTranslatorLibraryStopsTheConverter)
{
    L10nInstall install("950");
    try {
        TCodeConverter c(nullptr, "NoSuchTranslator.so");
        FAIL() << "made without its translator";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Load Library NoSuchTranslator.so Error!");
    }
}

TEST(CodeConverter, AGBInterfaceOpensWithoutItsTranslatorAndSaysSoOnce)
{
    // A GB interface on a Big5 database: its forms open without the translator (each form
    // makes a converter), the values pass unconverted, the alert log hears of it once.
    L10nInstall install("936", "950");
    for (int form = 0; form < 2; ++form) {
        std::unique_ptr<TCodeConverter> c;
        ASSERT_NO_THROW(c = std::make_unique<TCodeConverter>(nullptr, "NoSuchTranslator.so"));
        EXPECT_EQ(c->DBConvertMode(), 1);
        EXPECT_EQ(c->Translator(), nullptr);
        EXPECT_EQ(c->IncomingConvert(Variant(kBig5)).toString(), kBig5);
        EXPECT_EQ(c->OutgoingConvert(Variant(kGB)).toString(), kGB);
    }
    QDir log(QString::fromStdString(install.client("Log")));
    QString lines;
    for (const QString& name : log.entryList({QStringLiteral("Alert_CodeConverter_*.log")})) {
        QFile f(log.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            lines += QString::fromUtf8(f.readAll());
    }
    EXPECT_EQ(lines.count(QStringLiteral("\r\n")), 1) << lines.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("NoSuchTranslator.so"))) << lines.toStdString();
}

TEST(CodeConverter, FontRuleByMode)
{
    for (auto [mode, charset] : {std::pair{0, 134}, {1, 134}, {2, 136}, {3, 136}, {4, 134}}) {
        QFont font(QStringLiteral("Tahoma"));
        int got = 0;
        TCodeConverter::ApplyModeFont(quint8(mode), font, got);
        EXPECT_EQ(font.family(), QStringLiteral("SimSun")) << mode;
        EXPECT_EQ(got, charset) << mode;
    }
}

TEST(CodeConverter, TraditionalInterfaceConvertsTheWholeForm)
{
    L10nInstall install("950");
    ConvertibleForm f;
    TCodeConverter c(f.form.get());
    c.Exceptions() = {QStringLiteral("EDKEEP") + QChar(3) + QStringLiteral("HINT")};
    c.ConvertForm(f.form.get(), &c.Exceptions(), true);
    // On a system that is not Big5 the title bar keeps the program's text.
    EXPECT_EQ(f.form->windowTitle(), QStringLiteral("应付账款转销作业"));
    EXPECT_EQ(f.edit->Caption(), QStringLiteral("供應商"));
    EXPECT_EQ(f.edit->Hint(), QStringLiteral("輸入供應商代號"));
    EXPECT_EQ(f.edit->Text(), QStringLiteral("華東")) << "the edit's own text beside its caption";
    EXPECT_EQ(f.button->Caption(), QStringLiteral("確定"));
    EXPECT_EQ(f.edit->font().family(), QStringLiteral("SimSun"));
    EXPECT_EQ(FontCharset(f.edit), 136);
    // The list keeps its choice and is drawn with the form's font; the editable box stays
    // editable.
    EXPECT_EQ(f.list->Items(), (QStringList{QStringLiteral("應付賬款"), QStringLiteral("其他應付款"), QStringLiteral("預付賬款")}));
    EXPECT_EQ(f.list->ItemIndex(), 1);
    EXPECT_EQ(f.list->Style(), TQvComboBox::csOwnerDrawFixed);
    EXPECT_EQ(f.editable->Style(), TQvComboBox::csDropDown);
    EXPECT_TRUE(f.editable->isEditable());
    EXPECT_EQ(f.editable->Items(), QStringList{QStringLiteral("幣別")});
    EXPECT_EQ(f.panel->Caption(), QStringLiteral("單據號碼"));
    EXPECT_EQ(f.panel->ChildHints().mid(0, 2), (QStringList{QStringLiteral("起始單號"), QStringLiteral("截止單號")}));
    EXPECT_EQ(f.panel->BeginWords(), QStringList{QStringLiteral("從")});
    EXPECT_EQ(f.grid->item(0, 0)->text(), QStringLiteral("轉銷"));
    EXPECT_EQ(f.grid->horizontalHeaderItem(0)->text(), QStringLiteral("單號"));
    EXPECT_EQ(f.group->title(), QStringLiteral("循環模式"));
    // The exception line names the property that stays.
    EXPECT_EQ(f.keep->Caption(), QStringLiteral("供應商"));
    EXPECT_EQ(f.keep->Hint(), QStringLiteral("供应商"));
    EXPECT_EQ(QToolTip::font().family(), QStringLiteral("SimSun"));

    // A line of the name alone leaves the component untouched; grids only when asked.
    ConvertibleForm g;
    const QStringList untouched{QStringLiteral("ed01")};
    c.ConvertForm(g.form.get(), &untouched, false);
    EXPECT_EQ(g.edit->Caption(), QStringLiteral("供应商"));
    EXPECT_EQ(g.edit->Hint(), QStringLiteral("输入供应商代号"));
    EXPECT_EQ(g.grid->item(0, 0)->text(), QStringLiteral("转销"));
    EXPECT_EQ(g.keep->Hint(), QStringLiteral("供應商"));
}

TEST(CodeConverter, GBInterfaceOnABig5System)
{
    // Mode 4: the title bar turns Big5, everything else stays GB in the GB font, and drop
    // down lists are drawn by the form.
    L10nInstall install("936", "936", 950);
    ConvertibleForm f;
    TCodeConverter c(f.form.get());
    EXPECT_EQ(c.UIConvertMode(), 4);
    c.ConvertForm(f.form.get(), nullptr, true);
    EXPECT_EQ(f.form->windowTitle(), QStringLiteral("應付賬款轉銷作業"));
    EXPECT_EQ(f.edit->Caption(), QStringLiteral("供应商"));
    EXPECT_EQ(f.panel->ChildHints().value(0), QStringLiteral("起始单号"));
    EXPECT_EQ(f.edit->font().family(), QStringLiteral("SimSun"));
    EXPECT_EQ(FontCharset(f.edit), 134);
    EXPECT_EQ(f.list->Style(), TQvComboBox::csOwnerDrawFixed);
    EXPECT_EQ(f.list->ItemIndex(), 1);
    EXPECT_EQ(f.grid->item(0, 0)->text(), QStringLiteral("转销"));
}

TEST(CodeConverter, MessageDialogsOfAGBInterfaceCarrySixBlanks)
{
    struct Shown {
        QString text, caption, font;
    };
    std::vector<Shown> shown;
    const ModalRunFn previous = SetModalRunner([&](QWidget* w, const std::function<int()>&) {
        if (auto* box = qobject_cast<QMessageBox*>(w))
            shown.push_back({box->text(), box->windowTitle(), box->font().family()});
        return int(mrOk);
    });
    {
        L10nInstall install("936");
        QWidget form;
        form.setWindowTitle(QStringLiteral("应付账款转销作业"));
        TCodeConverter c(&form);
        EXPECT_EQ(c.ShowMessageDialog(QString(), mtWarning, {mbOK}), mrNone);
        EXPECT_TRUE(shown.empty()) << "an empty text shows nothing";
        form.showMinimized();
        EXPECT_EQ(c.ShowMessageDialog(QStringLiteral("日期错误"), mtWarning, {mbOK}), mrOk);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, QStringLiteral("日期错误      "));
        EXPECT_EQ(shown[0].caption, QStringLiteral("应付账款转销作业"));
        EXPECT_EQ(shown[0].font, QStringLiteral("SimSun"));
        EXPECT_FALSE(form.isMinimized()) << "a minimised owner is restored";
    }
    {
        L10nInstall install("950");
        QWidget form;
        TCodeConverter c(&form);
        c.ShowMessageDialog(QStringLiteral("日期錯誤"), mtWarning, {mbOK});
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown[1].text, QStringLiteral("日期錯誤")) << "no blanks for Big5 on a system that is not GB";
    }
    SetModalRunner(previous);
}
