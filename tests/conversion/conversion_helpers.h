// Runs one conversion of the real component to its end through the Qt event loop.
#pragma once

#include "conversion/convert_component.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <vector>

namespace testutil {

struct ConversionEvents {
    std::vector<int> progress;
    std::vector<int> errors;
    bool timedOut = false;
    int result() const { return errors.empty() ? 0 : errors.front(); }
};

enum class Target { Mp3, Ogg, Wav, Wma };

inline void startConversion(quillotone::IAudioConvert& c, Target t, const QString& src, const QString& dst) {
    switch (t) {
    case Target::Mp3:
        c.ConvertToMp3(src, dst);
        break;
    case Target::Ogg:
        c.ConvertToOgg(src, dst);
        break;
    case Target::Wav:
        c.ConvertToWav(src, dst);
        break;
    case Target::Wma:
        c.ConvertToWma(src, dst);
        break;
    }
}

// Converts and waits for 100 or an error (at most timeoutMs), then a little longer to catch
// anything that arrives after the end.
inline ConversionEvents convertAndWait(quillotone::IAudioConvert& c, Target t, const std::string& src,
                                       const std::string& dst, int timeoutMs = 60000) {
    ConversionEvents ev;
    QEventLoop loop;
    auto a = QObject::connect(&c, &quillotone::IAudioConvert::OnConvertBlock, [&](int p) {
        ev.progress.push_back(p);
        if (p >= 100) loop.quit();
    });
    auto b = QObject::connect(&c, &quillotone::IAudioConvert::OnError, [&](int code) {
        ev.errors.push_back(code);
        loop.quit();
    });
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, [&] {
        ev.timedOut = true;
        loop.quit();
    });
    timeout.start(timeoutMs);
    startConversion(c, t, QString::fromStdString(src), QString::fromStdString(dst));
    loop.exec();
    // late events would land here
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 50)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QObject::disconnect(a);
    QObject::disconnect(b);
    return ev;
}

} // namespace testutil
