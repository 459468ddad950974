// Shows the main window on a bench (offscreen unless a platform is named), waits for its
// first refresh and saves what it shows as a PNG:
//   mcc-panel-screenshot OUT.png [BENCH]
#include "panel/MCCForm.h"

#include "platform/standin.h"

#include <QApplication>
#include <QFile>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUT.png [BENCH]\n", argv[0]);
        return 64;
    }
    if (argc == 3)
        qputenv("MORVANE_BENCH", argv[2]);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    standin::startup();

    QApplication app(argc, argv);
    MorvaneControlCenter::MCCForm form;
    form.show();

    const QString out = QFile::decodeName(argv[1]);
    int status = 1;
    // The first refresh runs 500 ms after construction.
    QTimer::singleShot(900, &form, [&] {
        if (form.grab().save(out, "PNG"))
            status = 0;
        else
            std::fprintf(stderr, "cannot write %s\n", argv[1]);
        app.quit();
    });
    app.exec();
    return status;
}
