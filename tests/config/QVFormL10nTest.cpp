// The base form's localisation: its converter and language controller, the language files
// of its class chain on show, texts by key, and files that cannot be applied.

#include "L10nInstall.h"

#include "config/QVForm.h"
#include "controls/QvrEdit.h"
#include "controls/SelectPnl.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

class TTestBaseForm : public TQVForm {
    Q_OBJECT
public:
    TTestBaseForm()
    {
        edit = new TQvEdit(this);
        edit->setObjectName(QStringLiteral("ed01"));
        edit->SetCaption(QStringLiteral("供应商"));
        panel = new TSelectPanel(this);
        panel->setObjectName(QStringLiteral("sp01"));
        panel->SetStyle(TSelectPanel::sp_Range);
    }
    TQvEdit* edit;
    TSelectPanel* panel;
};

class TTestDerivedForm : public TTestBaseForm {
    Q_OBJECT
};

namespace {

struct Shown {
    explicit Shown(TQVForm* f) : form(f) { form->show(); }
    ~Shown() { form->Free(); }
    TQVForm* form;
};

QString alertLog(const L10nInstall& install)
{
    QDir log(QString::fromStdString(install.client("Log")));
    QString all;
    for (const QString& name : log.entryList({QStringLiteral("Alert_LanguageController_*.log")})) {
        QFile f(log.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            all += QString::fromUtf8(f.readAll());
    }
    return all;
}

} // namespace

TEST(FormTranslation, TheClassChainAppliesMostBasicFirst)
{
    L10nInstall install("437");
    install.write("MultiLanguage/ENG/TQVForm.Lng", R"(<TQVForm Caption="Base"><ed01 Hint="From the base" Caption="Base edit"/></TQVForm>)");
    install.write("MultiLanguage/ENG/TTestBaseForm.Lng", R"(<TTestBaseForm><btnDelete Hint="Delete scheme"/>)"
                                                         R"(<ed01 Caption="Supplier"/><sHello Msg="Hello"/>)"
                                                         R"(<sp01><edBegin Hint="First code"/><lblFinal Text="to"/></sp01>)"
                                                         R"(</TTestBaseForm>)");
    install.write("MultiLanguage/ENG/TTestDerivedForm.Lng", R"(<TTestDerivedForm Caption="Write-off"/>)");
    auto* form = TQVForm::Create<TTestDerivedForm>();
    EXPECT_EQ(TQVForm::TranslationChain(form, true, false),
              (QStringList{QStringLiteral("TQVForm"), QStringLiteral("TTestBaseForm"), QStringLiteral("TTestDerivedForm")}));
    EXPECT_EQ(TQVForm::TranslationChain(form, true, true),
              (QStringList{QStringLiteral("TTestBaseForm"), QStringLiteral("TTestDerivedForm")}));
    EXPECT_EQ(TQVForm::TranslationChain(form, false, false), QStringList{QStringLiteral("TTestDerivedForm")});
    {
        Shown shown(form);
        EXPECT_EQ(form->Caption(), QStringLiteral("Write-off")) << "the own class's file comes last";
        EXPECT_EQ(form->edit->Caption(), QStringLiteral("Supplier"));
        EXPECT_EQ(form->edit->Hint(), QStringLiteral("From the base"));
        EXPECT_EQ(form->edit->font().family(), QStringLiteral("Tahoma")) << "an English interface";
        // The parts of a select panel are read from inside its element, and only there:
        // a form's own btnDelete is no panel's.
        EXPECT_EQ(form->panel->edBegin->Hint(), QStringLiteral("First code"));
        const auto* lblFinal = form->panel->findChild<QLabel*>(QStringLiteral("lblFinal"));
        ASSERT_NE(lblFinal, nullptr);
        EXPECT_EQ(lblFinal->text(), QStringLiteral("to"));
        const auto* btnDelete = form->panel->findChild<QWidget*>(QStringLiteral("btnDelete"));
        ASSERT_NE(btnDelete, nullptr);
        EXPECT_EQ(btnDelete->toolTip(), QStringLiteral("多选-删除一笔信息"));
        QString text;
        form->GetText(QStringLiteral("TTestBaseForm"), QStringLiteral("sHello"), text, true, QStringLiteral("你好"));
        EXPECT_EQ(text, QStringLiteral("Hello"));
        form->GetText(QStringLiteral("TTestBaseForm"), QStringLiteral("sBye"), text, true, QStringLiteral("再见"));
        EXPECT_EQ(text, QStringLiteral("再见"));
        // The derived files alone leave what only the base file says.
        form->edit->SetHint(QString());
        form->TranslateDerived(form, true);
        EXPECT_EQ(form->edit->Hint(), QString());
        EXPECT_FALSE(form->LangController->Active());
    }
    EXPECT_TRUE(alertLog(install).isEmpty());
}

TEST(FormTranslation, ABrokenFileIsSkippedWithOneAlertLine)
{
    L10nInstall install("437");
    install.write("MultiLanguage/ENG/TQVForm.Lng", R"(<TQVForm><ed01 Caption="Supplier"</TQVForm>)");
    install.write("MultiLanguage/ENG/TTestBaseForm.Lng", R"(<TTestBaseForm Caption="Job"><ed01 Hint="Code" LabelSpacing="wide"/></TTestBaseForm>)");
    auto* form = TQVForm::Create<TTestDerivedForm>();
    {
        Shown shown(form);
        EXPECT_TRUE(form->isVisible()) << "the form opens";
        EXPECT_EQ(form->Caption(), QStringLiteral("Job"));
        EXPECT_EQ(form->edit->Caption(), QStringLiteral("供应商"));
        EXPECT_EQ(form->edit->Hint(), QStringLiteral("Code"));
    }
    const QStringList lines = alertLog(install).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << alertLog(install).toStdString();
    EXPECT_TRUE(lines[0].contains(QStringLiteral("TQVForm.Lng"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("TTestBaseForm.Lng")) && lines[1].contains(QStringLiteral("ed01.LabelSpacing=wide")))
        << lines[1].toStdString();
}

TEST(FormTranslation, ATraditionalInterfaceConvertsOnceAndServiceValuesFollow)
{
    L10nInstall install("950", "936");
    auto* form = TQVForm::Create<TTestDerivedForm>();
    form->SetCaption(QStringLiteral("应付账款"));
    EXPECT_FALSE(form->ConvertedFlag);
    form->ConvertOnce();
    EXPECT_TRUE(form->ConvertedFlag);
    EXPECT_EQ(form->edit->Caption(), QStringLiteral("供應商"));
    // Converting again changes nothing that was set since.
    form->edit->SetCaption(QStringLiteral("币别"));
    form->ConvertOnce();
    EXPECT_EQ(form->edit->Caption(), QStringLiteral("币别"));
    EXPECT_EQ(form->IncomingConvert(Variant("汇率")).toString(), "匯率");
    EXPECT_EQ(form->OutgoingConvert(Variant("匯率")).toString(), "汇率");
    QString text;
    form->GetText(QStringLiteral("TTestBaseForm"), QStringLiteral("sNone"), text, true, QStringLiteral("单据"));
    EXPECT_EQ(text, QStringLiteral("單據")) << "the default is shown converted";
    EXPECT_EQ(form->FindComponent(QStringLiteral("QvConverter")), form->QvConverter);
    form->Free();
}

#include "QVFormL10nTest.moc"
