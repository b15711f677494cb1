// The language files of the demo installation on the real job: an English interface
// leaves no Chinese text on the form, a traditional one shows traditional characters.

#include "host/DemoInstall.h"
#include "host/HostSession.h"
#include "platform/DynLib.h"
#include "platform/ModalRunner.h"
#include "plugin/DLLBaseCtrller.h"

#include "TestPaths.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

bool hasChinese(const QString& s)
{
    for (QChar c : s)
        if (c.unicode() >= 0x3400 && c.unicode() <= 0x9FFF)
            return true;
    return false;
}

// "name.what: text" for every text of the window that a person reads.
QStringList visibleTexts(QWidget* window)
{
    QStringList out;
    auto add = [&](QObject* o, const char* what, const QString& text) {
        if (!text.isEmpty())
            out << QStringLiteral("%1.%2: %3").arg(o->objectName(), QLatin1String(what), text);
    };
    for (QWidget* w : window->findChildren<QWidget*>()) {
        add(w, "Hint", w->toolTip());
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            add(w, "Caption", b->text());
        if (auto* l = qobject_cast<QLabel*>(w))
            add(w, "Caption", l->text());
        if (auto* c = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < c->count(); ++i)
                add(w, "Items", c->itemText(i));
        if (auto* t = qobject_cast<QTabWidget*>(w))
            for (int i = 0; i < t->count(); ++i)
                add(w, "Tab", t->tabText(i));
        if (auto* tree = qobject_cast<QTreeWidget*>(w))
            for (int c = 0; c < tree->columnCount(); ++c)
                add(w, "Column", tree->headerItem()->text(c));
    }
    return out;
}

class LanguageFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        installation = DemoInstall::Prepare(folder.filePath(QStringLiteral("demo")).toStdString(), TestBinDir());
        DemoInstall::UseEnvironment(installation);
        previous = SetModalRunner([this](QWidget* w, const std::function<int()>&) {
            dialogs << w->windowTitle();
            return 1;
        });
    }
    void TearDown() override
    {
        if (controller) {
            controller->FreeForm();
            controller.reset();
        }
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
        }
        if (module)
            FreeLibrary(module);
        SetModalRunner(previous);
    }
    QWidget* open(const std::string& language)
    {
        DemoInstall::SetLanguage(installation, language);
        module = LoadLibrary(TestBinDir() + "/WOFB07C.so");
        EXPECT_NE(module, nullptr) << LastLibraryError();
        if (!module)
            return nullptr;
        auto get = reinterpret_cast<TGetController>(GetProcAddress(module, "GetController"));
        controller.reset(get());
        controller->Environment = Variant(std::make_shared<HostSession>());
        const int opened = controller->OpenForm(
            Variant::list({installation.user, installation.company, installation.database, std::int64_t(0), Variant()}));
        EXPECT_EQ(opened, 0) << dialogs.join(QLatin1Char('\n')).toStdString();
        controller->SetFormVisible(-1);
        QCoreApplication::processEvents();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->internalWinId() && HWND(w->winId()) == controller->GetFormHandle())
                return w;
        return nullptr;
    }

    QTemporaryDir folder;
    DemoInstallation installation;
    HMODULE module = nullptr;
    std::unique_ptr<TDLLBaseController> controller;
    QStringList dialogs;
    ModalRunFn previous;
};

} // namespace

TEST_F(LanguageFiles, AnEnglishFormLeavesNoChineseText)
{
    QWidget* window = open("ENG");
    ASSERT_NE(window, nullptr);
    QStringList chinese;
    for (const QString& t : visibleTexts(window))
        if (hasChinese(t))
            chinese << t;
    EXPECT_TRUE(chinese.isEmpty()) << "Chinese left on the English form:\n" << chinese.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(visibleTexts(window).contains(QStringLiteral("btnOk.Caption: Run in background")));
}

TEST_F(LanguageFiles, ATraditionalFormShowsTraditionalCharacters)
{
    QWidget* window = open("CHT");
    ASSERT_NE(window, nullptr);
    const QStringList texts = visibleTexts(window);
    EXPECT_TRUE(texts.contains(QStringLiteral("tsOption2.Tab: 系統選項")) || texts.contains(QStringLiteral("pgOption.Tab: 系統選項")))
        << texts.join(QLatin1Char('\n')).toStdString();
    for (const QString& t : texts)
        for (const char* simplified : {"系统", "条件", "确定", "删除"})
            EXPECT_FALSE(t.contains(QString::fromUtf8(simplified))) << t.toStdString();
}
