// Helpers for the widget suites: finding a form's widgets by object name,
// acting inside a modal loop, and showing a form ready for keyboard input.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <functional>

#include "framework/widgets/Widgets.h"

namespace ztl::test {

// The widget of class W named Name inside Form's window (null when absent).
template <class W>
W* Find(TForm& Form, const char* Name) {
  return GetFormWidget(Form)->findChild<W*>(QString::fromLatin1(Name));
}

// Runs Action once the modal loop that is about to start is running, with
// the modal window.
inline void WhenModal(std::function<void(QWidget* Window)> Action) {
  QTimer::singleShot(0, [Action] {
    QWidget* Window = QApplication::activeModalWidget();
    ASSERT_NE(Window, nullptr);
    Action(Window);
  });
}

// Shows Form without a modal loop and waits until its window is active, so
// that focus and shortcuts behave as on a desktop.
inline QWidget* ShowActive(TForm& Form) {
  Form.Show();
  QWidget* Window = GetFormWidget(Form);
  Window->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(Window));
  return Window;
}

} // namespace ztl::test
