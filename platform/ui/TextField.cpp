#include "platform/ui/TextField.h"
#include "platform/ui/ViewHelpers.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QPointer>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionFrame>

namespace kova::platform {

namespace {

// A field's height and margins come from its widget style: one style of our
// own, so the host's choice of style neither moves nor redraws a screen.
QStyle *fieldStyle()
{
    static QPointer<QStyle> style;
    if (!style) {
        style = QStyleFactory::create(QStringLiteral("Fusion"));
        if (style)
            style->setParent(QCoreApplication::instance());
    }
    return style;
}

} // namespace

TextField::TextField(QWidget *parent) : QLineEdit(parent)
{
    if (QStyle *style = fieldStyle())
        setStyle(style);
    setFrame(false);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    connect(this, &QLineEdit::textEdited, this, &TextField::editingChanged);
    connect(this, &QLineEdit::returnPressed, this, &TextField::returnKey);
}

void TextField::setTextColor(const QColor &color)
{
    m_textColor = color;
    QPalette p = palette();
    p.setColor(QPalette::Text, color);
    setPalette(p);
}

QSize TextField::sizeHint() const
{
    return measuredByOwnStyle(QLineEdit::sizeHint());
}

QSize TextField::minimumSizeHint() const
{
    return measuredByOwnStyle(QLineEdit::minimumSizeHint());
}

QSize TextField::measuredByOwnStyle(QSize hint) const
{
    // Under a host's style sheet Qt measures the field through the sheet's
    // style, which frames it otherwise than the field's own: the field keeps
    // the size its own style gives it, so nothing around it moves. A field
    // with a sheet of its own is measured by that sheet, host or no host.
    QStyle *own = fieldStyle();
    if (!own || style() == own || !styleSheet().isEmpty())
        return hint;
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QSize contents(100, 20);
    return hint - style()->sizeFromContents(QStyle::CT_LineEdit, &option, contents, this)
        + own->sizeFromContents(QStyle::CT_LineEdit, &option, contents, this);
}

void TextField::setLeftView(QWidget *view)
{
    delete m_leftView;
    m_leftView = view;
    if (view) {
        view->setParent(this);
        view->show();
    }
    const int left = view ? view->sizeHint().width() + 4 : 0;
    setTextMargins(left, 0, 0, 0);
    if (view)
        view->setGeometry(0, (height() - view->sizeHint().height()) / 2, view->sizeHint().width(), view->sizeHint().height());
}

void TextField::changeEvent(QEvent *event)
{
    QLineEdit::changeEvent(event);
    // The field's own colour stands over what a style sheet hands down.
    if (event->type() == QEvent::PaletteChange)
        keepPaletteColor(this, QPalette::Text, m_textColor);
}

void TextField::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    emit editingDidBegin();
}

void TextField::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    emit editingDidEnd();
}

void TextField::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    if (m_leftView) {
        const QSize hint = m_leftView->sizeHint();
        m_leftView->setGeometry(0, (height() - hint.height()) / 2, hint.width(), hint.height());
    }
}

} // namespace kova::platform
