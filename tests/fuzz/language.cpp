// Language files (.Lng) read into a real form, the write-off job's. The form is made once;
// every input is a language file the controller opens and its reader applies to the form
// and all its components. Properties: a broken file raises LanguageControllerError only,
// and no file adds, removes or renames a component.

#include "FuzzSupport.h"

#include "config/LanguageController.h"
#include "writeoff/WOFB07CF.h"

#include <QApplication>

#include <vector>

namespace {

TfrmWOFB07* g_form = nullptr;
std::vector<QString> g_names;

std::vector<QString> names()
{
    std::vector<QString> out;
    for (QObject* o : g_form->findChildren<QObject*>())
        out.push_back(o->objectName());
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    g_form = TQVForm::Create<TfrmWOFB07>();
    g_names = names();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    TQvLangController controller;
    controller.SetXMLText(text.split(QLatin1Char('\n')));
    try {
        controller.SetActive(true);
    } catch (const LanguageControllerError&) {
        return 0;
    }
    if (!controller.Active())
        return 0;
    TLangReader& reader = controller.Reader();
    reader.ReadComponent(g_form);
    (void)reader.Failures();
    controller.SetActive(false);
    fuzz::check(names() == g_names, "a language file leaves the form's components as they are");
    return 0;
}
