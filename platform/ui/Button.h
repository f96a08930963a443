#pragma once

// Usage:
//   auto *b = new Button(parent);
//   b->setTitle("Continue"); b->setTitleColor(Qt::white, Button::State::Normal);
//   b->setBackgroundImage(colorImage(accent), Button::State::Normal);
//   b->setBackgroundImage(colorImage(faded), Button::State::Disabled);
//   b->setCornerRadius(16); QObject::connect(b, &Button::clicked, ...);
// The state's own value is used when set, else the Normal one. The
// background image is stretched over the whole button and clipped to the
// rounded corners.

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QMap>
#include <QMargins>

namespace kova::platform {

class Button : public QAbstractButton {
    Q_OBJECT
public:
    enum class State { Normal, Highlighted, Disabled, Selected };

    explicit Button(QWidget *parent = nullptr);

    State state() const;
    void setTitle(const QString &title, State state = State::Normal);
    QString titleForState(State state) const;
    QString currentTitle() const { return titleForState(state()); }
    void setTitleColor(const QColor &color, State state = State::Normal);
    QColor titleColorForState(State state) const;
    void setBackgroundImage(const QImage &image, State state = State::Normal);
    QImage backgroundImageForState(State state) const;
    void setImage(const QImage &image, State state = State::Normal);
    QImage imageForState(State state) const;
    void setTitleFont(const QFont &font);
    QFont titleFont() const { return font(); }
    void setCornerRadius(qreal radius);
    qreal cornerRadius() const { return m_cornerRadius; }
    void setContentEdgeInsets(const QMargins &insets);
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);

    // The title's one-line size plus the content insets.
    QSize titleIntrinsicSize() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    template <typename T>
    T lookup(const QMap<State, T> &map, State state) const;

    QMap<State, QString> m_titles;
    QMap<State, QColor> m_titleColors;
    QMap<State, QImage> m_backgrounds;
    QMap<State, QImage> m_images;
    qreal m_cornerRadius = 0;
    QMargins m_insets{8, 6, 8, 6};
    bool m_selected = false;
};

} // namespace kova::platform
