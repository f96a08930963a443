#pragma once

#include <QPointer>
#include <memory>

#include "platform/ui/View.h"
#include "ui/look/AnimatedFramesView.h"

namespace kova {

class ButtonTableFooterView;
namespace platform {
class Button;
}

class ButtonTableFooterViewDelegate {
public:
    virtual ~ButtonTableFooterViewDelegate() = default;
    virtual void buttonTableFooterViewDidTapButton(ButtonTableFooterView &footer) = 0;
};

// The wide action button at the foot of a list. A tap hands over to the
// delegate and puts the loading animation in the button's place; with no
// delegate a tap does nothing.
class ButtonTableFooterView : public platform::View {
    Q_OBJECT
public:
    explicit ButtonTableFooterView(QWidget *parent = nullptr);

    void buttonTapped();
    // The title for the normal state, in the system's bold 16-point font.
    void setTitle(const QString &title);
    // The button's colour, at half strength while disabled.
    void setColor(const QColor &color);
    bool isEnabled() const { return m_isEnabled; }
    void setIsEnabled(bool enabled);

    std::shared_ptr<ButtonTableFooterViewDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<ButtonTableFooterViewDelegate> delegate) { m_delegate = std::move(delegate); }
    platform::Button *button() const { return m_button; }
    // Made by the first tap: 120 points square on the footer's centre, drawn
    // whole over the footer's edges (it lives in an overhang frame, not in
    // the footer), shown while the footer is and gone with it.
    AnimatedFramesView *animatedImageView() const { return m_animatedImageView; }

private:
    std::weak_ptr<ButtonTableFooterViewDelegate> m_delegate;
    bool m_isEnabled = false;
    platform::Button *m_button = nullptr;
    QPointer<AnimatedFramesView> m_animatedImageView;
};

} // namespace kova
