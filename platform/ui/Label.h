#pragma once

// Usage: `auto *l = new Label(parent); l->setText(serverText);
// l->setFont(...); l->setTextColor(...); l->setNumberOfLines(0);`
// Plain text only: whatever the text holds (tags, entities) is shown as
// typed, never interpreted. numberOfLines 0 wraps without limit; 1 (the
// default) keeps one line and elides at the end.

#include <QColor>
#include <QLabel>

namespace kova::platform {

class Label : public QLabel {
    Q_OBJECT
public:
    explicit Label(QWidget *parent = nullptr);
    explicit Label(const QString &text, QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const { return m_text; }
    QColor textColor() const { return m_textColor; }
    void setTextColor(const QColor &color);
    int numberOfLines() const { return m_lines; }
    void setNumberOfLines(int lines);
    // Qt::AlignLeft (default), Qt::AlignHCenter, Qt::AlignRight.
    void setTextAlignment(Qt::Alignment alignment);

    // The size the text needs (one line, or wrapped to the current width).
    virtual QSize intrinsicContentSize() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    int heightForWidth(int width) const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    // Whether a wrapped text holds a word wider than `width`: such a word is
    // broken across lines, as a reference number in a bank's question must
    // be read whole.
    bool hasWordWiderThan(int width) const;

    QString m_text;
    QColor m_textColor;
    int m_lines = 1;
};

} // namespace kova::platform
