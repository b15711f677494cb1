#pragma once
// The write-off form opened against a demo installation (session services, application
// server in this process, demo database), every dialog answered and remembered, and a
// read-only connection to the company database to check what the form shows.

#include "host/DemoInstall.h"
#include "host/HostSession.h"
#include "dataset/ClientDataSet.h"
#include "db/Db.h"
#include "platform/ModalRunner.h"
#include "writeoff/WOFB07CF.h"
#include "writeoff/WOFB07Query.h"

#include "config/QtVariant.h"
#include "controls/MaskEdit.h"
#include "controls/QvrEdit.h"
#include "controls/SelectPnl.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "TestPaths.h"

#include <algorithm>
#include <memory>
#include <string>

inline void settleEvents()
{
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// "1234567.50" as a display format "#,##0.00" shows it: "1,234,567.50".
inline std::string withThousands(std::string fixed)
{
    const std::size_t point = std::min(fixed.find('.'), fixed.size());
    const std::size_t digits = fixed.front() == '-' ? 1 : 0;
    for (std::size_t at = point; at > digits + 3; at -= 3)
        fixed.insert(at - 3, 1, ',');
    return fixed;
}

// One demo installation per test suite: a suite that writes off owns its own.
class WriteOffForm : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = new QTemporaryDir;
        installation = new DemoInstallation(
            DemoInstall::Prepare(folder->filePath(QStringLiteral("demo")).toStdString(), TestBinDir()));
        DemoInstall::UseEnvironment(*installation);
    }
    static void TearDownTestSuite()
    {
        delete installation;
        delete folder;
        installation = nullptr;
        folder = nullptr;
    }
    void SetUp() override
    {
        previous = SetModalRunner([this](QWidget* w, const std::function<int()>&) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box)
                dialogs << box->text();
            // A question is answered as the test says, by default as a clerk who goes on.
            return box && box->button(QMessageBox::Yes) ? questionAnswer : mrOk;
        });
        openForm();
    }
    // The form as the host opens it: created, initialised with the session and shown.
    void openForm()
    {
        form = TQVForm::Create<TfrmWOFB07>(nullptr);
        form->SetModuleFileName(QStringLiteral("/opt/qv/WOFB07C.so"));
        form->SessionObject = Variant(std::static_pointer_cast<Dispatch>(std::make_shared<HostSession>()));
        opened = form->InitSession(Variant::list({installation->user, installation->company, installation->database,
                                                  std::int64_t(0), Variant()}));
        form->show();
        settleEvents();
    }
    void TearDown() override
    {
        if (form)
            form->Free();
        settleEvents();
        SetModalRunner(previous);
    }

    // A connection to the company database for the checks.
    DbConnection& company()
    {
        if (!db) {
            db = std::make_unique<DbConnection>();
            db->openSqlite(installation->folder + "server/data/" + installation->database + ".db");
        }
        return *db;
    }

    // From the first page to the last with a supplier range, for a type and currency.
    void toLastPage(int type, const QString& currency = QStringLiteral("RMB"), const QString& from = QStringLiteral("A001"),
                    const QString& to = QStringLiteral("A007"))
    {
        form->cbo01->SetItemIndex(type);
        form->BtnNextClick(form->BtnNext);
        ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgNext) << form->MessageCodes.toStdString();
        form->ed04->SetText(currency);
        form->ed04Exit(form->ed04);
        form->sp05->SetStyle(TSelectPanel::sp_Range);
        form->sp05->edBegin->SetText(from);
        form->sp05->edFinal->SetText(to);
        form->BtnNextClick(form->BtnNext);
        ASSERT_EQ(form->CurrentPage, TfrmWOFB07::pgLast) << form->MessageCodes.toStdString();
    }
    // Ticks or unticks one row of the grid's data set as the grid's check box does.
    void tick(int row, bool on)
    {
        TClientDataSet& data = *form->cdsData;
        data.SetRecNo(row + 1);
        data.Edit();
        data.FieldByName("MA001")->SetAsString(on ? "Y" : "N");
        data.Post();
    }
    std::string cell(int row, const char* field) const { return form->cdsData->FieldByName(field)->TextAt(row); }
    Decimal amount(int row, const char* field) const
    {
        const FieldValue v = form->cdsData->FieldByName(field)->DataAt(row);
        const Decimal* d = std::get_if<Decimal>(&v);
        return d ? *d : Decimal();
    }

    static QTemporaryDir* folder;
    static DemoInstallation* installation;
    QPointer<TfrmWOFB07> form;
    bool opened = false;
    QStringList dialogs;
    int questionAnswer = mrYes;
    ModalRunFn previous;
    std::unique_ptr<DbConnection> db;
};
