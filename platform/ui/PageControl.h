#pragma once

// Usage: `auto *dots = new PageControl(parent); dots->setNumberOfPages(3);
// dots->setCurrentPage(1);` A tap on a dot's side moves one page and emits
// valueChanged.

#include <QColor>
#include <QWidget>

namespace kova::platform {

class PageControl : public QWidget {
    Q_OBJECT
public:
    explicit PageControl(QWidget *parent = nullptr);

    int numberOfPages() const { return m_pages; }
    void setNumberOfPages(int pages);
    int currentPage() const { return m_current; }
    void setCurrentPage(int page);
    void setPageIndicatorTintColor(const QColor &color);
    void setCurrentPageIndicatorTintColor(const QColor &color);
    void setHidesForSinglePage(bool hides);
    QSize sizeHint() const override;

signals:
    void valueChanged(int page);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    int m_pages = 0;
    int m_current = 0;
    QColor m_tint{255, 255, 255, 90};
    QColor m_currentTint{Qt::white};
    bool m_hidesForSinglePage = false;
};

} // namespace kova::platform
