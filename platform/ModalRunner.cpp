#include "platform/ModalRunner.h"

namespace {
ModalRunFn& current()
{
    static ModalRunFn runner;
    return runner;
}
} // namespace

int RunModal(QWidget* window, const std::function<int()>& run)
{
    // A copy: the runner may replace itself while it runs.
    const ModalRunFn runner = current();
    return runner ? runner(window, run) : run();
}

ModalRunFn SetModalRunner(ModalRunFn runner)
{
    ModalRunFn previous = std::move(current());
    current() = std::move(runner);
    return previous;
}
