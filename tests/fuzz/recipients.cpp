// Recipient XML as the recipient dialog reads it (a real dialog over a real job form), with
// the suite's declaration rules (NormaliseXmlHeader) first. Property: the XML the dialog
// builds from what it read reads back to the same recipients.

#include "FuzzSupport.h"

#include "batch/LibXml.h"
#include "batch/Notify.h"
#include "jobform/BaseGene.h"

#include <QApplication>

namespace {

// The recipients of built XML in order, each as its attributes (the element names number
// the rows the dialog had, so they may differ).
std::string recipients(const QString& xml)
{
    std::string out;
    const auto doc = LoadXmlText(xml.toStdString());
    for (pugi::xml_node r : doc->document_element().children()) {
        for (pugi::xml_attribute a : r.attributes())
            out += std::string(a.name()) + "=" + a.value() + ";";
        out += "\n";
    }
    return out;
}

TfrmBaseGene* g_owner = nullptr;
TfrmNotify* g_dialog = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    g_owner = TQVForm::Create<TfrmBaseGene>();
    g_dialog = TQVForm::Create<TfrmNotify>(g_owner, QStringLiteral("N"), QString());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    (void)NormaliseXmlHeader(text);
    if (const auto doc = LoadXmlText(text); doc->document_element())
        (void)XmlText(doc->document_element());

    g_dialog->LoadRecipients(QString::fromUtf8(text.data(), qsizetype(text.size())));
    const QString built = g_dialog->BuildRecipients();
    g_dialog->LoadRecipients(built);
    const QString again = g_dialog->BuildRecipients();
    fuzz::check(recipients(again) == recipients(built), "recipient XML the dialog built reads back the same",
                built.toStdString() + "\n" + again.toStdString());
    return 0;
}
