#include "batch/BaseBatchCF.h"
#include "platform/ModalRunner.h"
#include "plugin/DLLBTCtrller.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> journal;

// A job form that records its own handlers, so that the order against the controller's
// events can be checked.
class RecordingForm : public TfrmBaseBatch {
public:
    explicit RecordingForm(QWidget* owner) : TfrmBaseBatch(owner) { setObjectName(QStringLiteral("frmWOFB07")); }

    // The controller is under test here, not the form's initialisation: take the session
    // and accept it (a test program holding the form also initialises it once at once).
    bool InitSession(const Variant& session) override
    {
        UserCode = QString::fromStdString(VarToStr(session[0]));
        CompanyCode = QString::fromStdString(VarToStr(session[1]));
        DatabaseName = QString::fromStdString(VarToStr(session[2]));
        ProgramCode = ProgramCodeFromModule(ModuleFileName);
        return true;
    }

    // A job whose own reading of handed-in values fails.
    bool ApplyValues(const Variant&) override { throw Exception("the job could not read the values"); }

protected:
    void FormShow(QObject* s) override
    {
        TfrmBaseBatch::FormShow(s);
        journal.push_back("own show");
    }
    void FormHide(QObject* s) override
    {
        TfrmBaseBatch::FormHide(s);
        journal.push_back("own hide");
    }
    void FormDestroy(QObject* s) override
    {
        TfrmBaseBatch::FormDestroy(s);
        journal.push_back("own destroy");
    }
};

TfrmBaseBatch* createRecordingForm(QWidget* owner)
{
    return TQVForm::Create<RecordingForm>(owner);
}

Variant session()
{
    return Variant::list({"DS", "DEMO", "DEMODB", std::int64_t(0), Variant()});
}

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

class Controller : public ::testing::Test {
protected:
    void SetUp() override
    {
        journal.clear();
        savedClass = frmBaseBatchClass;
        frmBaseBatchClass = &createRecordingForm;
        controller.reset(GetController());
        controller->OnEvent = [](std::int32_t code, TDLLBaseController*) { journal.push_back(std::to_string(code)); };
    }
    void TearDown() override
    {
        controller.reset();
        settle();
        frmBaseBatchClass = savedClass;
        SetModalRunner({});
    }
    TDLLBTCtrller* ctrl() { return static_cast<TDLLBTCtrller*>(controller.get()); }

    TfrmBaseBatchClass savedClass = nullptr;
    std::unique_ptr<TDLLBaseController> controller;
};

} // namespace

TEST_F(Controller, EverySlotAnswersHarmlesslyWithoutAForm)
{
    std::string version = "unchanged";
    controller->GetFormVersion(version);
    EXPECT_EQ(version, "unchanged");
    EXPECT_EQ(controller->GetFormVisible(), 0);
    controller->SetFormVisible(-1);
    EXPECT_EQ(controller->GetFormHandle(), 0u);
    EXPECT_EQ(controller->ApplyParams(Variant::list({1, 2})), -1);
    EXPECT_EQ(controller->ExecCommand(5, 0, Variant::list({1})), -1);
    EXPECT_EQ(controller->ShowFormModal().toInt(), 2);
    controller->FreeForm();
    Variant info = "untouched";
    EXPECT_EQ(controller->GetSessionInfo(info), -1);
    EXPECT_EQ(info.toString(), "untouched");
    EXPECT_TRUE(controller->IsFormFree());
    EXPECT_TRUE(journal.empty());
}

TEST_F(Controller, OpenFormCreatesBeforeInitialisingAndAnswersTheForm)
{
    EXPECT_EQ(controller->OpenForm(session()), 0);
    ASSERT_FALSE(controller->IsFormFree());
    EXPECT_EQ(journal, std::vector<std::string>{"256"});
    std::string version;
    controller->GetFormVersion(version);
    EXPECT_EQ(version, "870401-0.00.00");
    EXPECT_FALSE(ctrl()->Form->isVisible()) << "the form is created hidden";
    EXPECT_NE(controller->GetFormHandle(), 0u);
    EXPECT_EQ(ctrl()->Form->objectName(), QStringLiteral("frmWOFB07"));
}

TEST_F(Controller, ShowAndHideEventsFollowTheFormsOwnHandlers)
{
    controller->OpenForm(session());
    journal.clear();
    controller->SetFormVisible(-1);
    EXPECT_EQ(controller->GetFormVisible(), -1);
    controller->SetFormVisible(0);
    EXPECT_EQ(controller->GetFormVisible(), 0);
    EXPECT_EQ(journal, (std::vector<std::string>{"own show", "272", "own hide", "288"}));
}

TEST_F(Controller, SecondOpenFormHooksTheFormOnlyOnce)
{
    controller->OpenForm(session());
    controller->OpenForm(session());
    journal.clear();
    controller->SetFormVisible(-1);
    EXPECT_EQ(journal, (std::vector<std::string>{"own show", "272"}));
}

TEST_F(Controller, FreeFormRunsTheOwnDestroyHandlerBeforeEvent304)
{
    controller->OpenForm(session());
    ctrl()->Form->JobSubmitted = 1;
    ctrl()->Form->LastRequestNo = "20261208001";
    journal.clear();
    controller->FreeForm();
    EXPECT_EQ(journal, (std::vector<std::string>{"own destroy", "304"}));
    EXPECT_TRUE(controller->IsFormFree());
    EXPECT_EQ(controller->ResultCode, 1);
    EXPECT_EQ(controller->ResultValue.toString(), "20261208001");
}

TEST_F(Controller, DestroyingTheControllerFreesItsForm)
{
    controller->OpenForm(session());
    journal.clear();
    controller.reset();
    EXPECT_EQ(journal, (std::vector<std::string>{"own destroy", "304"}));
}

TEST_F(Controller, AFormClosingItselfIsFreedAndReported)
{
    controller->OpenForm(session());
    controller->SetFormVisible(-1);
    journal.clear();
    ctrl()->Form->close();
    settle();
    EXPECT_TRUE(controller->IsFormFree());
    EXPECT_EQ(journal, (std::vector<std::string>{"own hide", "288", "own destroy", "304"}));
}

// A host that frees the controller from its event-304 callback, whether it freed the form
// itself or the user closed it: the result is there when the event comes, and nothing of
// the controller is used afterwards (the sanitizer build sees any use).
TEST_F(Controller, AHostMayFreeTheControllerInsideEvent304)
{
    for (const bool userCloses : {false, true}) {
        SCOPED_TRACE(userCloses ? "the user closes the form" : "the host frees the form");
        TDLLBaseController* owned = controller ? controller.release() : GetController();
        ASSERT_EQ(owned->OpenForm(session()), 0);
        auto* batch = static_cast<TDLLBTCtrller*>(owned);
        batch->Form->JobSubmitted = 1;
        batch->Form->LastRequestNo = "20261208002";
        journal.clear();
        std::int32_t code = -1;
        std::string value;
        bool freeInside = false;
        owned->OnEvent = [&, userCloses](std::int32_t event, TDLLBaseController* c) {
            journal.push_back(std::to_string(event));
            if (event != evFormDestroy)
                return;
            code = c->ResultCode;
            value = c->ResultValue.toString();
            freeInside = c->IsFormFree();
            delete c;
            journal.push_back(userCloses ? "freed after the close" : "freed");
        };
        if (userCloses) {
            batch->Form->close();
            settle();
        } else {
            owned->FreeForm();
        }
        EXPECT_EQ(journal, (std::vector<std::string>{"own destroy", "304", userCloses ? "freed after the close" : "freed"}));
        EXPECT_EQ(code, 1);
        EXPECT_EQ(value, "20261208002");
        EXPECT_TRUE(freeInside) << "the controller holds no form once the event comes";
    }
}

TEST_F(Controller, SessionInfoIsAlwaysFourElements)
{
    controller->OpenForm(Variant::list({"", "C1", "DB", std::int64_t(0), Variant()}));
    Variant info;
    ASSERT_EQ(controller->GetSessionInfo(info), 0);
    ASSERT_TRUE(info.isArray());
    EXPECT_EQ(info.lowBound(), 0);
    EXPECT_EQ(info.highBound(), 3);
    EXPECT_EQ(info[0].toString(), "");
    EXPECT_EQ(info[1].toString(), "C1");
    EXPECT_TRUE(info[0].isString()) << "empty texts are still texts";
}

TEST_F(Controller, ParamsMustBeAnArray)
{
    controller->OpenForm(session());
    ctrl()->Form->CommandArray = "before";
    EXPECT_EQ(controller->ApplyParams(Variant()), -1);
    EXPECT_EQ(controller->ApplyParams(Variant::null()), -1);
    EXPECT_EQ(controller->ApplyParams(Variant(7)), -1);
    EXPECT_EQ(ctrl()->Form->CommandArray.toString(), "before") << "a refused packet does not reach the form";
    EXPECT_EQ(controller->ApplyParams(Variant::list({0, Variant::list({"x"})})), 0);
}

TEST_F(Controller, ExecCommandHandsCodeFiveOnAsTheCommandArray)
{
    controller->OpenForm(session());
    ctrl()->Form->CommandArray = "before";
    EXPECT_EQ(controller->ExecCommand(4, 0, Variant::list({3})), -1);
    EXPECT_EQ(controller->ExecCommand(6, 0, Variant::list({3})), -1);
    EXPECT_EQ(ctrl()->Form->CommandArray.toString(), "before");
    const Variant params = Variant::list({3, "x"});
    EXPECT_EQ(controller->ExecCommand(5, 99, params), 0);
    EXPECT_EQ(ctrl()->Form->CommandArray, params);
}

TEST_F(Controller, ExceptionsOfTheFormStayInsideTheController)
{
    controller->OpenForm(session());
    const Variant byPosition = Variant::list({false, Variant::list({Variant::list({"x"})})});
    EXPECT_EQ(controller->ApplyParams(Variant::list({3, byPosition})), -1);
    EXPECT_EQ(controller->ExecCommand(5, 0, byPosition), -1);
    EXPECT_FALSE(controller->IsFormFree());
}

TEST_F(Controller, ShowFormModalAnswersTheModalResult)
{
    controller->OpenForm(session());
    SetModalRunner([](QWidget* w, const std::function<int()>& run) {
        QTimer::singleShot(0, w, [w] { static_cast<TQVForm*>(w)->SetModalResult(mrOk); });
        return run();
    });
    EXPECT_EQ(controller->ShowFormModal().toInt(), mrOk);
    settle();
    EXPECT_TRUE(controller->IsFormFree()) << "a job form frees itself when it closes";
}

TEST_F(Controller, SetFormVisibleFalseLeavesTheWindowStateAlone)
{
    controller->OpenForm(session());
    controller->SetFormVisible(-1);
    ctrl()->Form->setWindowState(Qt::WindowMaximized);
    controller->SetFormVisible(0);
    EXPECT_FALSE(ctrl()->Form->isVisible());
    EXPECT_EQ(ctrl()->Form->windowState(), Qt::WindowMaximized);
}

TEST(ControllerBinding, MissingClassesRaiseTheInternalErrors)
{
    const TDLLBaseControllerClass savedController = DLLControllerClass;
    DLLControllerClass = nullptr;
    try {
        delete GetController();
        ADD_FAILURE() << "GetController without a controller class";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "QVR DLL Internal Error :\rNot Assign \"DLLControllerClass\" varible");
    }
    DLLControllerClass = savedController;

    const TfrmBaseBatchClass savedForm = frmBaseBatchClass;
    frmBaseBatchClass = nullptr;
    std::unique_ptr<TDLLBaseController> c(GetController());
    try {
        c->OpenForm(session());
        ADD_FAILURE() << "OpenForm without a form class";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "QVR DLL Internal Error :\rNot Assign \"frmBaseBatchClass\" varible");
    }
    EXPECT_TRUE(c->IsFormFree());
    frmBaseBatchClass = savedForm;
}
