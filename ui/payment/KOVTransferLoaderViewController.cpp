#include "ui/payment/KOVTransferLoaderViewController.h"

#include <QPainter>
#include <QTextLayout>
#include <cmath>

#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/Anchors.h"
#include "platform/ui/View.h"
#include "ui/look/KOVFontColors.h"
#include "ui/look/KOVFontManager.h"
#include "ui/look/KOVTheme.h"

namespace kova {

using platform::anchor;
using platform::Attr;

namespace {

constexpr int s_indicatorTop = 15;
constexpr int s_indicatorSide = 50;
constexpr int s_textGap = 16;

// The loader's text: the message and the dots that have come in the
// ordinary colour, the dots still to come in the dots colour, wrapped at
// word boundaries (or anywhere, for a word wider than the loader) and
// centred line by line.
class LoaderText : public QWidget {
public:
    explicit LoaderText(QWidget *parent) : QWidget(parent)
    {
        setFont(KOVFontManager::font(KOVFontManager::regular(), 14));
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    void setText(const QString &text, int faintFrom)
    {
        m_text = text;
        m_faintFrom = faintFrom;
        update();
    }

    int lineCount(int width) const
    {
        QTextLayout layout(m_text, font());
        return int(lay(layout, width).size());
    }

    int heightForWidth(int width) const override
    {
        QTextLayout layout(m_text, font());
        const QList<QTextLine> lines = lay(layout, width);
        return lines.isEmpty() ? QFontMetrics(font()).height() : int(std::ceil(lines.last().rect().bottom()));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QTextLayout layout(m_text, font());
        QTextCharFormat faint;
        faint.setForeground(KOVTransferLoaderViewController::faintDotsColor());
        QTextCharFormat plain;
        plain.setForeground(KOVTransferLoaderViewController::messageColor());
        layout.setFormats({QTextLayout::FormatRange{0, int(m_faintFrom), plain},
                           QTextLayout::FormatRange{int(m_faintFrom), int(m_text.size() - m_faintFrom), faint}});
        lay(layout, width());
        QPainter painter(this);
        painter.setRenderHint(QPainter::TextAntialiasing);
        layout.draw(&painter, QPointF(0, 0));
    }

private:
    static QList<QTextLine> lay(QTextLayout &layout, int width)
    {
        QTextOption option(Qt::AlignHCenter);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        QList<QTextLine> lines;
        qreal y = 0;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0, y));
            y += line.height();
            lines.append(line);
        }
        layout.endLayout();
        return lines;
    }

    QString m_text;
    qsizetype m_faintFrom = 0;
};

} // namespace

QColor KOVTransferLoaderViewController::messageColor()
{
    return KOVFontColors::b100();
}

QColor KOVTransferLoaderViewController::faintDotsColor()
{
    return KOVTheme::loaderDotsColor();
}

KOVTransferLoaderViewController::KOVTransferLoaderViewController()
{
    setModalPresentationStyle(platform::ModalPresentationStyle::Alert);
}

void KOVTransferLoaderViewController::loadView()
{
    auto *box = new platform::View;
    box->setBackgroundColor(Qt::white);
    box->setCornerRadius(14);
    box->setIntrinsicContentSize(QSize(width, 130));

    // The platform's grey spinner, in its 50-point frame.
    m_indicator = new platform::ActivityIndicator(box, platform::ActivityIndicator::Style::Medium);
    m_indicator->setFixedSize(s_indicatorSide, s_indicatorSide);
    anchor(m_indicator, Attr::CenterX, box, Attr::CenterX);
    anchor(m_indicator, Attr::Top, box, Attr::Top, s_indicatorTop);
    m_indicator->startAnimating();

    m_messageView = new LoaderText(box);
    setView(box);
    refresh();
}

void KOVTransferLoaderViewController::setMessage(const QString &message, int visibleDots, int faintDots)
{
    m_message = message;
    m_visibleDots = visibleDots;
    m_faintDots = faintDots;
    refresh();
}

QString KOVTransferLoaderViewController::shownText() const
{
    return m_message + QString(m_visibleDots, QLatin1Char('.')) + QString(m_faintDots, QLatin1Char('.'));
}

void KOVTransferLoaderViewController::reserveRoomFor(const QStringList &messages)
{
    // Measured once here rather than on every tick of the dots.
    const int textWidth = width - 2 * textMargin;
    LoaderText probe(nullptr);
    m_reservedHeight = 0;
    for (const QString &message : messages) {
        probe.setText(message + QStringLiteral("..."), 0);
        m_reservedHeight = std::max(m_reservedHeight, probe.heightForWidth(textWidth));
    }
    refresh();
}

int KOVTransferLoaderViewController::messageLineCount() const
{
    auto *text = static_cast<LoaderText *>(m_messageView);
    return text ? text->lineCount(width - 2 * textMargin) : 0;
}

void KOVTransferLoaderViewController::refresh()
{
    auto *text = static_cast<LoaderText *>(m_messageView);
    if (!text)
        return;
    const QString shown = shownText();
    text->setText(shown, shown.size() - m_faintDots);
    const int textWidth = width - 2 * textMargin;
    const int height = std::max(text->heightForWidth(textWidth), m_reservedHeight);
    const int top = s_indicatorTop + s_indicatorSide + s_textGap;
    text->setGeometry(textMargin, top, textWidth, height);
    // The loader grows with a message that wraps, and keeps its one-line
    // height otherwise.
    const int oneLine = QFontMetrics(text->font()).height();
    if (auto *box = qobject_cast<platform::View *>(view()))
        box->setIntrinsicContentSize(QSize(width, 130 + std::max(0, height - oneLine)));
}

} // namespace kova
