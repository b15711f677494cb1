// Language files (.Lng) read into a real form, the write-off job's. The form is made once;
// every input is a language file the controller opens and its reader applies to the form
// and all its components. Properties: a broken file raises LanguageControllerError only,
// and no file adds, removes or renames a component.

#include "FuzzSupport.h"

#include "config/LanguageController.h"
#include "writeoff/WOFB07CF.h"

#include <QApplication>

#include <algorithm>
#include <vector>

namespace {

TfrmWOFB07* g_form = nullptr;
std::vector<QString> g_names;

// The form's components: its named children. The toolkit makes unnamed helpers (and
// "qt_" ones) when it needs them, e.g. a combo box's popup once items change; they are
// no components.
std::vector<QString> names()
{
    std::vector<QString> out;
    for (QObject* o : g_form->findChildren<QObject*>()) {
        const QString name = o->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")))
            out.push_back(name);
    }
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
    const std::vector<QString> now = names();
    if (now != g_names) {
        QString diff = QStringLiteral("%1 components before, %2 after").arg(g_names.size()).arg(now.size());
        for (std::size_t i = 0; i < std::max(now.size(), g_names.size()); ++i)
            if (i >= now.size() || i >= g_names.size() || now[i] != g_names[i]) {
                diff += QStringLiteral("; first difference at %1: '%2' became '%3'")
                            .arg(i)
                            .arg(i < g_names.size() ? g_names[i] : QString())
                            .arg(i < now.size() ? now[i] : QString());
                break;
            }
        fuzz::fail("a language file leaves the form's components as they are", diff.toStdString());
    }
    return 0;
}
