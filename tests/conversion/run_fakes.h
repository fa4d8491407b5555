// A scripted conversion component and a recording main window for the tests of the run.
#pragma once

#include "conversion/component_error.h"
#include "conversion/conversion_run.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

namespace runtest {

using namespace quillotone;

// What one conversion call does: progress values delivered 10 ms apart (at 100 the output is
// written, holding the source's path), then an error code when `error` is set. `hang` stops after the
// progress values (the test stops it). `throwText` makes the call itself throw.
struct Script {
    std::vector<int> progress{40, 100};
    int error = 0;
    QString throwText;
};

struct Call {
    int format;
    QString source, destination;
    qint64 atMs;
    int instance = 0;
};

// Shared by the several components of a run that converts files at once.
struct FakePool {
    QElapsedTimer clock;
    std::vector<Call> calls;
    int stops = 0;
    int running = 0, mostRunning = 0;
    std::function<Script(const QString& source)> scriptFor; // the default script without one
    FakePool() { clock.start(); }
};

class FakeConvert final : public IAudioConvert {
public:
    FakeConvert(FakePool* shared = nullptr, int instance = 0) : pool(shared), instance_(instance) {
        clock.start();
    }
    FakePool* pool;
    std::deque<Script> scripts; // one per call; an empty queue completes at once
    std::vector<Call> calls;
    int stops = 0;
    QElapsedTimer clock;

    void SetMp3Format(int32_t, int32_t, int32_t) override {}
    void SetOggFormat(int32_t, int32_t, int32_t, int32_t, int32_t, int16_t) override {}
    void SetWavFormat(int32_t, int32_t, int32_t) override {}
    void SetWmaProfile(int32_t) override {}
    int32_t WmaProfile() const override { return 1; }
    QString Mp3FormatDescription() const override { return {}; }
    QString OggFormatDescription() const override { return {}; }
    QString WavFormatDescription() const override { return {}; }
    QString WmaProfileDescription() const override { return {}; }
    void ConvertToMp3(const QString& s, const QString& d) override { start(0, s, d); }
    void ConvertToOgg(const QString& s, const QString& d) override { start(1, s, d); }
    void ConvertToWav(const QString& s, const QString& d) override { start(2, s, d); }
    void ConvertToWma(const QString& s, const QString& d) override { start(3, s, d); }
    void StopConversion() override {
        ++stops;
        if (pool) ++pool->stops;
        ended();
        ++generation_; // nothing of the stopped conversion arrives any more
    }
    IAudioConvertLameMp3Encoder& Mp3Encoder() override { throw ComponentError("no encoder"); }
    void SetCreationSetting(int32_t) override {}

private:
    void start(int format, const QString& s, const QString& d) {
        Script script;
        if (!scripts.empty()) {
            script = scripts.front();
            scripts.pop_front();
        }
        if (pool && pool->scriptFor) script = pool->scriptFor(s);
        if (!script.throwText.isEmpty()) throw ComponentError(script.throwText.toStdString());
        calls.push_back({format, s, d, clock.elapsed(), instance_});
        if (pool) {
            pool->calls.push_back({format, s, d, pool->clock.elapsed(), instance_});
            running_ = true;
            pool->mostRunning = std::max(pool->mostRunning, ++pool->running);
        }
        const int gen = ++generation_;
        int delay = 10;
        for (int p : script.progress) {
            QTimer::singleShot(delay, this, [this, gen, p, s, d] {
                if (gen != generation_) return;
                if (p >= 100) {
                    QFile out(d);
                    if (out.open(QIODevice::WriteOnly)) out.write(s.toUtf8());
                    ended();
                }
                emit OnConvertBlock(p);
            });
            delay += 10;
        }
        if (script.error != 0)
            QTimer::singleShot(delay, this, [this, gen, code = script.error] {
                if (gen != generation_) return;
                ended();
                emit OnError(code);
            });
    }
    void ended() {
        if (pool && running_) --pool->running;
        running_ = false;
    }
    int generation_ = 0;
    int instance_ = 0;
    bool running_ = false;
};

class FakeHost final : public IConversionRunHost {
public:
    std::vector<NamingRow> rows;
    std::vector<int> marks;
    RunSettings settings;
    std::deque<bool> answers;               // to the overwrite question; Yes when empty
    std::deque<OverwriteAnswer> allAnswers; // taken first, when given
    QStringList log;
    QString caption = "Convert &Now";
    bool progressVisible = false;
    bool controlsEnabled = true;
    int progress = 0;
    qint64 lastQuestionMs = -1;
    QElapsedTimer* clock = nullptr;

    void addRow(const QString& source) {
        NamingRow r;
        r.source = source;
        rows.push_back(r);
        marks.push_back(0);
    }

    int RowCount() const override { return int(rows.size()); }
    NamingRow RowCells(int row) const override { return rows.at(size_t(row)); }
    void SetMark(int row, RowMark mark) override {
        marks.at(size_t(row)) = int(mark);
        log << QString("mark %1 %2").arg(row).arg(int(mark));
    }
    void ScrollToRow(int row) override { log << QString("scroll %1").arg(row); }
    RunSettings Settings() const override { return settings; }
    void ApplyEncoderSettings() override { log << "apply"; }
    void SetCaption(const QString& c) override {
        caption = c;
        log << "caption " + c;
    }
    void SetProgressVisible(bool v) override {
        progressVisible = v;
        log << (v ? "progress shown" : "progress hidden");
    }
    void SetProgressValue(int p) override { progress = p; }
    void SetRunControlsEnabled(bool e) override {
        controlsEnabled = e;
        log << (e ? "controls on" : "controls off");
    }
    bool AskYesNo(const QString& title, const QString& text) override {
        if (clock) lastQuestionMs = clock->elapsed();
        log << "ask " + title + ": " + text;
        bool yes = answers.empty() ? true : answers.front();
        if (!answers.empty()) answers.pop_front();
        return yes;
    }
    OverwriteAnswer AskOverwrite(const QString& title, const QString& text) override {
        if (allAnswers.empty()) return IConversionRunHost::AskOverwrite(title, text);
        log << "ask " + title + ": " + text;
        const OverwriteAnswer a = allAnswers.front();
        allAnswers.pop_front();
        return a;
    }
    void ShowErrorBox(const QString& title, const QString& text) override {
        log << "error " + title + ": " + text;
    }
    void ShowPlainMessage(const QString& text) override { log << "plain " + text; }
    void ExploreFolder(const QString& folder) override { log << "explore " + folder; }
    void ShowGeneralError(const QString& text) override { log << "general " + text; }
    void RowFinished(const RowResult& r) override {
        static const char* const names[] = {"converted", "skipped", "failed"};
        log << QString("row %1 %2 %3 -> %4: %5")
                       .arg(r.row)
                       .arg(names[int(r.outcome)], r.source, r.destination, r.reason) +
                   (r.notCarried.isEmpty() ? QString() : "; not carried: " + r.notCarried.join(", "));
    }

    QStringList matching(const QString& start) const {
        QStringList out;
        for (const QString& line : log)
            if (line.startsWith(start)) out << line;
        return out;
    }
};

// Processes events until `done` holds or `ms` pass; false on time-out.
inline bool waitFor(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

inline void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace runtest
