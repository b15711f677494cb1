// WOFB07C.so loaded by file name, driven through the published header alone, as a host
// shell drives it.

#include "platform/Automation.h"
#include "TempInstall.h"
#include "platform/DynLib.h"
#include "platform/ModalRunner.h"
#include "plugin/DLLBaseCtrller.h"

#include <QCoreApplication>
#include <elf.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

// Names of the functions a shared library defines in its dynamic symbol table.
std::vector<std::string> exportedFunctions(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> names;
    if (image.size() < sizeof(Elf64_Ehdr))
        return names;
    const auto* eh = reinterpret_cast<const Elf64_Ehdr*>(image.data());
    const auto* sections = reinterpret_cast<const Elf64_Shdr*>(image.data() + eh->e_shoff);
    for (int i = 0; i < eh->e_shnum; ++i) {
        if (sections[i].sh_type != SHT_DYNSYM)
            continue;
        const Elf64_Shdr& strtab = sections[sections[i].sh_link];
        const auto* syms = reinterpret_cast<const Elf64_Sym*>(image.data() + sections[i].sh_offset);
        const std::size_t count = sections[i].sh_size / sizeof(Elf64_Sym);
        for (std::size_t k = 0; k < count; ++k)
            if (syms[k].st_shndx != SHN_UNDEF && ELF64_ST_TYPE(syms[k].st_info) == STT_FUNC)
                names.emplace_back(image.data() + strtab.sh_offset + syms[k].st_name);
    }
    return names;
}

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

class PluginContract : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The job form connects while it initialises: an installation whose server is
        // this machine, an application server object, and dialogs answered by OK.
        install.registry("[Software\\QVR\\Brisko]\nClientPath=" + install.dir() + "\n");
        install.write("BriskoC.ini", "[Server Information]\nComputerName=127.0.0.1\n");
        RegisterOleClass("ReportCounterS.dmReportCounter", [] { return std::make_shared<AppServer>(); });
        previousRunner = SetModalRunner([](QWidget*, const std::function<int()>&) { return 1; });

        module = LoadLibrary(QV_PLUGIN_FILE);
        ASSERT_NE(module, nullptr) << LastLibraryError();
        getController = reinterpret_cast<TGetController>(GetProcAddress(module, "GetController"));
        ASSERT_NE(getController, nullptr);
    }
    void TearDown() override
    {
        settle();
        FreeLibrary(module);
        SetModalRunner(previousRunner);
        UnregisterOleClass("ReportCounterS.dmReportCounter");
    }
    class AppServer : public DispatchObject {};
    HMODULE module = nullptr;
    TGetController getController = nullptr;
    TempInstall install;
    ModalRunFn previousRunner;
};

} // namespace

TEST_F(PluginContract, GetControllerIsTheOnlyExportedFunction)
{
    EXPECT_EQ(exportedFunctions(QV_PLUGIN_FILE), std::vector<std::string>{"GetController"});
    EXPECT_EQ(GetProcAddress(module, "frmBaseBatchClass"), nullptr);
}

TEST_F(PluginContract, ALibraryFormLivesThroughItsEvents)
{
    std::unique_ptr<TDLLBaseController> c(getController());
    std::vector<int> events;
    c->OnEvent = [&](std::int32_t code, TDLLBaseController* sender) {
        EXPECT_EQ(sender, c.get());
        events.push_back(code);
    };
    EXPECT_TRUE(c->IsFormFree());
    ASSERT_EQ(c->OpenForm(Variant::list({"DS", "DEMO", "DEMO", std::int64_t(0), Variant()})), 0);
    ASSERT_FALSE(c->IsFormFree());
    Variant info;
    ASSERT_EQ(c->GetSessionInfo(info), 0);
    EXPECT_EQ(info[2].toString(), "WOFB07") << "the program code comes from the library's file name";
    c->SetFormVisible(-1);
    EXPECT_EQ(c->GetFormVisible(), -1);
    c->FreeForm();
    EXPECT_TRUE(c->IsFormFree());
    EXPECT_EQ(events, (std::vector<int>{evFormCreated, evFormShow, evFormDestroy}));
    EXPECT_EQ(c->ResultCode, rcNothing);
    EXPECT_TRUE(c->ResultValue.isEmpty());
}

TEST_F(PluginContract, AShortSessionClosesTheForm)
{
    std::unique_ptr<TDLLBaseController> c(getController());
    c->OpenForm(Variant::list({"DS", "DEMO", "DEMO"}));
    settle();
    EXPECT_TRUE(c->IsFormFree());
}
