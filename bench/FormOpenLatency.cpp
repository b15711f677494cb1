// P3: from loading WOFB07C.so to the job window being visible, per interface language of
// the demo installation (CHS, CHT, ENG), median of 20 opens each. Goal: 250 ms or less.
// Each open loads the library, gets the controller, opens the form with the demo session
// and shows it; the form is freed and the library let go before the next.

#include "host/DemoInstall.h"
#include "host/HostSession.h"
#include "platform/DynLib.h"
#include "platform/ModalRunner.h"
#include "plugin/DLLBaseCtrller.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

QWidget* windowOf(HWND handle)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->internalWinId() && HWND(w->winId()) == handle)
            return w;
    return nullptr;
}

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// Milliseconds of one open; negative when the window did not appear.
double openOnce(const DemoInstallation& demo, const std::string& library)
{
    const auto start = std::chrono::steady_clock::now();
    HMODULE module = LoadLibrary(library);
    if (!module)
        return -1;
    auto get = reinterpret_cast<TGetController>(GetProcAddress(module, "GetController"));
    std::unique_ptr<TDLLBaseController> controller(get());
    controller->Environment = Variant(std::make_shared<HostSession>());
    double ms = -1;
    if (controller->OpenForm(Variant::list({demo.user, demo.company, demo.database, std::int64_t(0), Variant()})) == 0) {
        controller->SetFormVisible(-1);
        QWidget* window = windowOf(controller->GetFormHandle());
        while (window && !window->isVisible())
            QCoreApplication::processEvents();
        if (window)
            ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        controller->FreeForm();
    }
    controller.reset();
    settle();
    FreeLibrary(module);
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetModalRunner([](QWidget*, const std::function<int()>&) { return 1; });
    QTemporaryDir folder;
    const std::string bin = QV_BENCH_BIN_DIR;
    const DemoInstallation demo = DemoInstall::Prepare(folder.filePath(QStringLiteral("demo")).toStdString(), bin);
    DemoInstall::UseEnvironment(demo);
    bool met = true;
    for (const char* language : {"CHS", "CHT", "ENG"}) {
        DemoInstall::SetLanguage(demo, language);
        std::vector<double> times;
        for (int i = 0; i < 20; ++i) {
            const double ms = openOnce(demo, bin + "/WOFB07C.so");
            if (ms < 0) {
                std::fprintf(stderr, "formopen: the job did not open (%s)\n", language);
                return 1;
            }
            times.push_back(ms);
        }
        std::sort(times.begin(), times.end());
        const double median = (times[9] + times[10]) / 2;
        met = met && median <= 250;
        std::printf("P3 open to visible, %s: median %.1f ms, min %.1f ms, max %.1f ms (goal <= 250 ms)\n", language, median,
                    times.front(), times.back());
    }
    return met ? 0 : 1;
}
