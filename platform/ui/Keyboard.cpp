#include "platform/ui/Keyboard.h"

#include "platform/ui/NotificationCenter.h"

namespace kova::platform::Keyboard {
namespace {
QRect s_frame;

void postPair(const QString &will, const QString &did, const QRect &endFrame, double duration)
{
    const QVariantMap info{{FrameEndUserInfoKey, endFrame}, {AnimationDurationUserInfoKey, duration}};
    NotificationCenter::defaultCenter().post(will, info);
    NotificationCenter::defaultCenter().post(did, info);
}
} // namespace

void postShow(const QRect &endFrame, double duration)
{
    s_frame = endFrame;
    postPair(WillShowNotification, DidShowNotification, endFrame, duration);
}

void postHide(const QRect &endFrame, double duration)
{
    s_frame = QRect();
    postPair(WillHideNotification, DidHideNotification, endFrame, duration);
}

QRect currentFrame()
{
    return s_frame;
}

} // namespace kova::platform::Keyboard
