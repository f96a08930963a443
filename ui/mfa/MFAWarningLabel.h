#pragma once

#include <QFont>
#include <QList>
#include <QTextDocument>

#include "ui/look/KOVLabel.h"

namespace kova {

// The banner that warns the user off their bank's own app: runs of text,
// each in its own font and colour, set as plain text (never markup) and
// wrapped together, centred, 1.5 times as tall as the text.
class MFAWarningLabel : public KOVLabel {
    Q_OBJECT
public:
    struct Run {
        QString text;
        QFont font;
        QColor color;
    };

    explicit MFAWarningLabel(QWidget *parent = nullptr);

    void setRuns(const QList<Run> &runs);
    const QList<Run> &runs() const { return m_runs; }
    // Paints the rounded background behind the text.
    void setBackgroundColor(const QColor &color) { m_background = color; update(); }
    QColor backgroundColor() const { return m_background; }
    void setCornerRadius(qreal radius) { m_cornerRadius = radius; update(); }
    qreal cornerRadius() const { return m_cornerRadius; }

    QSize intrinsicContentSize() const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void rebuild();
    qreal textHeight(int width) const;

    QList<Run> m_runs;
    QColor m_background = Qt::transparent;
    qreal m_cornerRadius = 0;
    mutable QTextDocument m_document;
};

} // namespace kova
