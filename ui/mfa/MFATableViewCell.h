#pragma once

#include <QPointer>

#include "platform/ui/TableView.h"

namespace kova {

// A row of the prompt screen: one prepared view, 90% of the row's width,
// with 8 points above and below. Never highlighted when tapped.
class MFATableViewCell : public platform::TableViewCell {
    Q_OBJECT
public:
    explicit MFATableViewCell(QWidget *parent = nullptr);

    void setSelected(bool selected) override;
    // Takes `view` into the row. The view of the row's previous use goes
    // back to `home` first (unless another row has taken it meanwhile), so a
    // reused cell never shows two rows at once.
    void setRowView(QWidget *view, QWidget *home);
    QWidget *rowView() const { return m_rowView; }

    static constexpr int Margin = 8;

private:
    QPointer<QWidget> m_rowView;
};

} // namespace kova
