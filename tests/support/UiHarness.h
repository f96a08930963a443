#pragma once

// Driving screens the way a person would, offscreen:
//   auto window = kova::test::makeWindow(root);   // 390 x 844, shown, the key window
//   kova::test::pumpUntil([&] { return screen->isVisible(); });
//   kova::test::tap(button); kova::test::type(field, "1234"); kova::test::pressKey(field, Qt::Key_Return);
//   kova::test::swipeDown(window.get());           // the user's close of the top sheet
//   kova::test::showKeyboard(300);                 // posts the keyboard notifications
//   kova::test::grabPng(window.get(), "mfa-code"); // writes <screens dir>/mfa-code.png
// Screenshots go to KOVA_SCREENS_DIR when set (the screens command sets it),
// else to the test's data directory.

#include <QImage>
#include <QString>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>

#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace kova::platform {
class ViewController;
}

namespace kova::test {

struct WindowDeleter {
    void operator()(platform::Window *window) const;
};
using WindowPtr = std::unique_ptr<platform::Window, WindowDeleter>;

// A shown 390 x 844 window with `root` as its root controller, handed to the
// UI layer as the key window.
WindowPtr makeWindow(std::shared_ptr<platform::ViewController> root = nullptr);

// Runs the main loop until the condition holds or the deadline passes.
bool pumpUntil(const std::function<bool()> &condition,
               std::chrono::milliseconds deadline = std::chrono::seconds(20));
// Runs the loop a few turns, for work posted to later turns.
void pump(int turns = 5);

// A click at the centre of the widget (or at `point` in its coordinates).
void tap(QWidget *widget);
void tap(QWidget *widget, const QPoint &point);
// A person's double click, delivered where the window's input filters see
// it, on a button that may be moving under the pointer.
void doubleClick(QWidget *widget);
// Focuses the widget and types the text key by key.
void type(QWidget *widget, const QString &text);
void pressKey(QWidget *widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// A drag down on the top sheet of the window, from its top edge.
void swipeDown(platform::Window *window, int distance = 200);
// Keyboard notifications with an end frame of `height` at the window's bottom.
void showKeyboard(int height = 336);
void hideKeyboard();

// Lays out and renders the widget (the window: the whole composition).
QImage grab(QWidget *widget);
// Writes the grab as <dir>/<name>.png and returns the path ("" on failure).
QString grabPng(QWidget *widget, const QString &name);
QString screensDirectory();

// The colour at a point of a grab, in the widget's coordinates.
QColor pixelAt(QWidget *widget, const QPoint &point);

} // namespace kova::test
