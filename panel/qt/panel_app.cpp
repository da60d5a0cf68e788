#include "panel_app.h"

#include <QFile>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace zelkor::qt {

namespace {

long PeakResidentKilobytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

}  // namespace

std::optional<int> AnswerInfoOption(int argc, char** argv, const char* nameAndVersion, const char* usage) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", nameAndVersion);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
    }
    return std::nullopt;
}

int RunPanel(PanelWindow& window) {
    window.Initialize();
    if (qEnvironmentVariableIsSet("ZELKOR_PANEL_EXIT_WHEN_FILLED")) {
        // Runs once the loop has shown and painted the window.
        QTimer::singleShot(0, &window, [&window] {
            const double now =
                std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
            std::fprintf(stderr, "panel shown and filled at %.6f s, peak RSS %ld kB\n", now, PeakResidentKilobytes());
            window.done(1);
        });
    }
    window.exec();
    return 0;
}

}  // namespace zelkor::qt
