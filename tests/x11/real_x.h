// Helpers for the tests that show the real windows and dialogs on an X server under a window manager
// (scripts/with-xserver): the program's own parts, clicks and keys delivered the way the window
// system delivers them, answers to dialogs from a timer, drops, and the close request a window
// manager sends.
#pragma once

#include "app/main_window.h"
#include "app/settings_parts.h"
#include "app/window_run.h"
#include "app/window_tag_editor.h"
#include "conversion/convert_component.h"
#include "conversion/information_component.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

namespace realx {

inline std::string text(const QString& s) {
    return s.toStdString();
}

inline QString qpath(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

// The window's parts as the program wires them: the real components, the inspector and quality
// drop-down, the run and the tag editor.
inline quillotone::MainWindowParts ProgramParts() {
    using namespace quillotone;
    MainWindowParts parts;
    parts.createConvert = [] { return std::unique_ptr<IAudioConvert>(std::make_unique<TAudioConvert>()); };
    parts.createFurtherConvert = parts.createConvert;
    parts.createInformation = [] {
        return std::unique_ptr<IAudioInformation2>(std::make_unique<TAudioInformation2>());
    };
    AddSettingsParts(parts);
    AddRunPart(parts);
    AddTagEditorPart(parts);
    return parts;
}

// Processes events until `done` holds; false after `ms`.
inline bool waitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(10);
    }
    return true;
}

// A top-level window is up when the window manager has mapped it and the server has exposed it.
inline bool isUp(QWidget* w) {
    return w && w->isVisible() && w->windowHandle() && w->windowHandle()->isExposed();
}

// A left click at `pos` of `widget`, delivered to its window as a mouse event from the window system,
// so a disabled or blocked control ignores it as it would ignore the user.
inline void clickAt(QWidget* widget, QPoint pos) {
    ASSERT_NE(widget, nullptr);
    QWidget* top = widget->window();
    ASSERT_NE(top->windowHandle(), nullptr);
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, widget->mapTo(top, pos));
}

// A click on a tab's title.
inline void clickTab(QTabWidget* tabs, int index) {
    ASSERT_NE(tabs, nullptr);
    clickAt(tabs->tabBar(), tabs->tabBar()->tabRect(index).center());
}

// A left click in the middle of `button`, which should be there to click.
inline void click(QAbstractButton* button) {
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isVisible()) << "\"" << text(button->text()) << "\" is not visible";
    EXPECT_TRUE(button->isEnabled()) << "\"" << text(button->text()) << "\" is disabled";
    clickAt(button, button->rect().center());
}

// Types `keys` into an edit as key presses, after selecting what it holds so that they replace it.
inline void typeInto(QWidget* edit, const QString& keys) {
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->isEnabled());
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, keys);
}

// The button of a message box that answers `which`.
inline QAbstractButton* button(QWidget& dialog, QMessageBox::StandardButton which) {
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    return box ? box->button(which) : nullptr;
}

// Picks files in Qt's own file dialog as a user does: their names typed into the name field, Enter.
inline void pickFiles(QWidget& dialog, const QStringList& paths) {
    auto* files = qobject_cast<QFileDialog*>(&dialog);
    ASSERT_NE(files, nullptr) << "not the file dialog: " << text(dialog.windowTitle());
    auto* name = files->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    QString typed;
    for (const QString& p : paths)
        typed += (typed.isEmpty() ? "\"" : " \"") + p + "\"";
    typeInto(name, typed);
    QTest::keyClick(name, Qt::Key_Return);
}

// Drops local files on `target` as a file manager does: the drag enters with a list of URLs, then
// drops there. False when the target refused them.
inline bool dropFiles(QWidget* target, const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls << QUrl::fromLocalFile(p);
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint pos = target->rect().center();
    QDragEnterEvent enter(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(pos), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

// Asks the window manager to close `window`, as its close button does: openbox then sends the
// window WM_DELETE_WINDOW, which Qt turns into a close event.
inline void requestClose(QWidget& window) {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_NE(x11, nullptr);
    xcb_connection_t* c = x11->connection();
    const char name[] = "_NET_CLOSE_WINDOW";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    ASSERT_NE(atom, nullptr);
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window.winId());
    event.type = atom->atom;
    event.data.data32[0] = XCB_CURRENT_TIME;
    event.data.data32[1] = 2; // the request comes from the user
    free(atom);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c);
}

// The caption the window manager was given for `window`: its _NET_WM_NAME property on the server.
inline QString wmName(QWidget& window) {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) return {};
    xcb_connection_t* c = x11->connection();
    auto atom = [c](const char* name) {
        xcb_intern_atom_reply_t* r =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(r);
        return a;
    };
    const xcb_atom_t netWmName = atom("_NET_WM_NAME"), utf8 = atom("UTF8_STRING");
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, xcb_window_t(window.winId()), netWmName, utf8, 0, 1024), nullptr);
    QString name;
    if (reply) {
        name = QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply)),
                                 xcb_get_property_value_length(reply));
        free(reply);
    }
    return name;
}

// The first visible top-level window of type T, for dialogs shown without blocking.
template <class T> QWidget* visibleWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<T*>(w) && w->isVisible()) return w;
    return nullptr;
}

// Answers dialogs in the order they come: each answer gets its dialog once it is up (by default the
// active modal dialog). The answer runs from the event loop, so it may open further dialogs. A dialog
// still open a few seconds after its answer, or a modal one that no answer expects, fails the test
// and is closed, so a dialog that cannot be closed ends the test instead of hanging it.
class DialogAnswers final : public QObject {
public:
    using Answer = std::function<void(QWidget&)>;
    using Find = std::function<QWidget*()>;

    DialogAnswers() {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start();
    }
    ~DialogAnswers() override {
        for (const Step& s : steps_)
            ADD_FAILURE() << "no dialog came for \"" << s.what << "\"";
    }

    // `what` names the dialog in failures.
    void Then(std::string what, Answer answer, Find find = &QApplication::activeModalWidget) {
        steps_.push_back({std::move(what), std::move(answer), std::move(find)});
    }
    // Every answer has been given and its dialog has closed.
    bool Done() const { return steps_.empty() && !current_; }

    static constexpr int StuckMs = 5000;

private:
    struct Step {
        std::string what;
        Answer answer;
        Find find;
    };

    static std::string describe(QWidget& w) {
        std::string s = "\"" + text(w.windowTitle()) + "\" (" + w.metaObject()->className() + ")";
        if (auto* box = qobject_cast<QMessageBox*>(&w)) s += ": " + text(box->text());
        return s;
    }

    static void forceClose(QWidget& w) {
        if (auto* d = qobject_cast<QDialog*>(&w))
            d->done(QDialog::Rejected);
        else
            w.close();
    }

    void poll() {
        if (current_ && !current_->isVisible()) current_ = nullptr;
        QWidget* modal = QApplication::activeModalWidget();
        // A modal dialog over the answered one was opened by the answer: it is the next to answer.
        if (current_ && (!modal || modal == current_)) {
            if (since_.elapsed() > StuckMs) {
                ADD_FAILURE() << "\"" << currentWhat_
                              << "\" stayed open after its answer: " << describe(*current_);
                forceClose(*current_);
                current_ = nullptr;
            }
            return;
        }
        if (steps_.empty()) {
            if (!modal) {
                stray_ = nullptr;
            } else if (stray_ != modal) {
                stray_ = modal;
                since_.start();
            } else if (since_.elapsed() > StuckMs) {
                ADD_FAILURE() << "a dialog that no answer expects: " << describe(*modal);
                forceClose(*modal);
            }
            return;
        }
        QWidget* dialog = steps_.front().find();
        if (!isUp(dialog)) return;
        Step step = std::move(steps_.front());
        steps_.pop_front();
        current_ = dialog;
        currentWhat_ = step.what;
        since_.start();
        QPointer<QWidget> target = dialog;
        QTimer::singleShot(0, this, [target, answer = std::move(step.answer)] {
            if (target) answer(*target);
        });
    }

    QTimer timer_;
    std::deque<Step> steps_;
    QPointer<QWidget> current_;
    QPointer<QWidget> stray_;
    std::string currentWhat_;
    QElapsedTimer since_;
};

} // namespace realx
