#pragma once

// Usage: screens observe the four keyboard notifications through
// NotificationCenter::defaultCenter() and read the end frame (a QRect in
// window coordinates) from userInfo[Keyboard::FrameEndUserInfoKey]. Nothing
// on the desktop raises a software keyboard, so hosts on devices and the tests
// post them with Keyboard::post… .

#include <QRect>
#include <QString>

namespace kova::platform::Keyboard {

inline const QString WillShowNotification = QStringLiteral("UIKeyboardWillShowNotification");
inline const QString DidShowNotification = QStringLiteral("UIKeyboardDidShowNotification");
inline const QString WillHideNotification = QStringLiteral("UIKeyboardWillHideNotification");
inline const QString DidHideNotification = QStringLiteral("UIKeyboardDidHideNotification");
inline const QString FrameEndUserInfoKey = QStringLiteral("UIKeyboardFrameEndUserInfoKey");
inline const QString AnimationDurationUserInfoKey = QStringLiteral("UIKeyboardAnimationDurationUserInfoKey");

// Posts will-show then did-show with the end frame (window coordinates).
void postShow(const QRect &endFrame, double duration = 0.25);
// Posts will-hide then did-hide; the end frame lies below the window.
void postHide(const QRect &endFrame, double duration = 0.25);
// The frame of the last show, or an empty rect while hidden.
QRect currentFrame();

} // namespace kova::platform::Keyboard
