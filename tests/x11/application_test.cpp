// The application's display of an error that escapes an event handler, on a real desktop: also over
// a window that is disabled while it works, the box can be closed.
#include "app/application.h"
#include "real_x.h"

#include <stdexcept>

namespace {

using namespace quillotone;

TEST(Application, AnErrorWhileTheWindowIsDisabledIsShownOnAnEnabledBox) {
    ASSERT_NE(qobject_cast<TApplication*>(qApp), nullptr);
    QWidget window;
    window.resize(300, 200);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.setEnabled(false); // as while files are added

    realx::DialogAnswers dialogs;
    dialogs.Then("the error", [&](QWidget& d) {
        auto* box = qobject_cast<QMessageBox*>(&d);
        ASSERT_NE(box, nullptr) << realx::text(d.windowTitle());
        EXPECT_EQ(box->text(), "The disk went away");
        EXPECT_TRUE(box->isEnabled()) << "the message is drawn disabled";
        realx::click(box->button(QMessageBox::Ok));
    });
    QTimer::singleShot(0, &window, [] { throw std::runtime_error("The disk went away"); });
    EXPECT_TRUE(realx::waitFor([&] { return dialogs.Done(); }));
}

} // namespace
