#include "platform/ui/Label.h"
#include "platform/ui/ViewHelpers.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRegularExpression>
#include <QStyle>
#include <QTextLayout>
#include <cmath>

namespace kova::platform {

namespace {

// The height of a text wrapped at word boundaries, and inside a word only
// where a word is wider than a line: lines stacked as the painter stacks them.
int wrappedAnywhereHeight(QString text, const QFont &font, int width)
{
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    const qreal leading = QFontMetricsF(font).leading();
    qreal height = -leading;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        height = std::ceil(height + leading) + line.height();
    }
    layout.endLayout();
    return int(std::ceil(height));
}

} // namespace

Label::Label(QWidget *parent) : QLabel(parent)
{
    // Text from data or the server is never markup.
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setOpenExternalLinks(false);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

Label::Label(const QString &text, QWidget *parent) : Label(parent)
{
    setText(text);
}

void Label::setText(const QString &text)
{
    m_text = text;
    refresh();
}

void Label::setTextColor(const QColor &color)
{
    m_textColor = color;
    QPalette p = palette();
    p.setColor(QPalette::WindowText, color);
    setPalette(p);
}

void Label::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    // The label's own colour stands over what a style sheet hands down.
    if (event->type() == QEvent::PaletteChange)
        keepPaletteColor(this, QPalette::WindowText, m_textColor);
}

void Label::setNumberOfLines(int lines)
{
    m_lines = lines;
    setWordWrap(lines != 1);
    refresh();
}

void Label::setTextAlignment(Qt::Alignment alignment)
{
    setAlignment((alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter);
}

QSize Label::intrinsicContentSize() const
{
    const QFontMetrics metrics(font());
    if (m_lines == 1 || m_text.isEmpty())
        return QSize(metrics.horizontalAdvance(m_text) + 1, m_text.isEmpty() ? 0 : metrics.height());
    const int width = this->width() > 0 ? this->width() : 390;
    return QSize(width, heightForWidth(width));
}

QSize Label::sizeHint() const
{
    return intrinsicContentSize();
}

QSize Label::minimumSizeHint() const
{
    return QSize(0, 0);
}

int Label::heightForWidth(int width) const
{
    const QFontMetrics metrics(font());
    if (m_lines == 1)
        return m_text.isEmpty() ? 0 : metrics.height();
    int height = 0;
    if (hasWordWiderThan(width)) {
        height = wrappedAnywhereHeight(m_text, font(), std::max(1, width));
    } else {
        const QRect box = metrics.boundingRect(QRect(0, 0, std::max(1, width), 100000),
                                               Qt::TextWordWrap | static_cast<int>(alignment()), m_text);
        height = box.height();
    }
    if (m_lines > 1)
        height = std::min(height, m_lines * metrics.lineSpacing());
    return height;
}

bool Label::hasWordWiderThan(int width) const
{
    if (m_lines == 1 || width <= 0)
        return false;
    const QFontMetrics metrics(font());
    static const QRegularExpression space(QStringLiteral("\\s+"));
    for (const QString &word : m_text.split(space, Qt::SkipEmptyParts))
        if (metrics.horizontalAdvance(word) > width)
            return true;
    return false;
}

void Label::paintEvent(QPaintEvent *event)
{
    const QRect box = contentsRect();
    const bool wrapsWithinWords = hasWordWiderThan(box.width());
    if (!wrapsWithinWords && !isUnderStyleSheet(this)) {
        QLabel::paintEvent(event);
        return;
    }
    if (!wrapsWithinWords) {
        // What QLabel draws, with the label's own palette: under a style
        // sheet QLabel would take its text colour from the sheet's rules.
        QPainter painter(this);
        const QString shown = QLabel::text();
        const bool rightToLeft = shown.isRightToLeft();
        int flags = int(QStyle::visualAlignment(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight, alignment()))
            | (rightToLeft ? Qt::TextForceRightToLeft : Qt::TextForceLeftToRight);
        if (wordWrap())
            flags |= Qt::TextWordWrap;
        style()->drawItemText(&painter, box, flags, palette(), isEnabled(), shown, foregroundRole());
        return;
    }
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    QTextOption option(alignment());
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    painter.drawText(QRectF(box), m_text, option);
}

void Label::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    if (m_lines == 1)
        refresh();
}

void Label::refresh()
{
    QString shown = m_text;
    if (m_lines == 1 && width() > 0)
        shown = QFontMetrics(font()).elidedText(m_text, Qt::ElideRight, width());
    QLabel::setText(shown);
    updateGeometry();
}

} // namespace kova::platform
