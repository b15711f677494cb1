// gallery [--save FILE.png]: shows every control; with --save draws the window offscreen
// into a PNG and quits.

#include "controls/gallery/Gallery.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    QString saveTo;
    for (int i = 1; i + 1 < argc; ++i)
        if (QString::fromLocal8Bit(argv[i]) == QLatin1String("--save"))
            saveTo = QString::fromLocal8Bit(argv[i + 1]);
    if (!saveTo.isEmpty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto* form = TQVForm::Create<TfrmGallery>();
    form->adjustSize();
    form->show();
    if (saveTo.isEmpty()) {
        const int rc = QApplication::exec();
        form->Free();
        return rc;
    }
    QApplication::processEvents();
    const bool saved = form->grab().save(saveTo, "PNG");
    form->Free();
    if (!saved) {
        std::fprintf(stderr, "gallery: cannot write %s\n", saveTo.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
