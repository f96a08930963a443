#include "ui/mfa/MFAWarningLabel.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPainterPath>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <cmath>

namespace kova {

MFAWarningLabel::MFAWarningLabel(QWidget *parent) : KOVLabel(parent)
{
    m_document.setDocumentMargin(0);
    setNumberOfLines(0);
    setTextAlignment(Qt::AlignHCenter);
}

void MFAWarningLabel::setRuns(const QList<Run> &runs)
{
    m_runs = runs;
    QString joined;
    for (const Run &run : runs)
        joined += run.text;
    setText(joined);
    rebuild();
    updateGeometry();
    update();
}

void MFAWarningLabel::rebuild()
{
    m_document.clear();
    QTextCursor cursor(&m_document);
    QTextBlockFormat block;
    block.setAlignment(Qt::AlignHCenter);
    cursor.setBlockFormat(block);
    for (const Run &run : m_runs) {
        QTextCharFormat format;
        format.setFont(run.font);
        format.setForeground(run.color);
        cursor.insertText(run.text, format);
    }
}

qreal MFAWarningLabel::textHeight(int width) const
{
    m_document.setTextWidth(std::max(1, width));
    return m_document.size().height();
}

QSize MFAWarningLabel::intrinsicContentSize() const
{
    m_document.setTextWidth(-1);
    const QSizeF natural = m_document.size();
    return QSize(int(std::ceil(natural.width())), int(std::ceil(natural.height() * 1.5)));
}

QSize MFAWarningLabel::sizeHint() const
{
    return intrinsicContentSize();
}

QSize MFAWarningLabel::minimumSizeHint() const
{
    return QSize(0, heightForWidth(width()));
}

int MFAWarningLabel::heightForWidth(int width) const
{
    return int(std::ceil(textHeight(width) * 1.5));
}

void MFAWarningLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), m_cornerRadius, m_cornerRadius);
    painter.setClipPath(shape);
    painter.fillPath(shape, m_background);
    const qreal height = textHeight(width());
    painter.translate(0, (this->height() - height) / 2);
    m_document.drawContents(&painter);
}

} // namespace kova
