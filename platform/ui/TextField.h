#pragma once

// Usage:
//   auto *f = new TextField(parent);
//   f->setPlaceholder("Code"); f->setLeftView(icon);
//   connect(f, &TextField::editingChanged, ...);   // user edits only
//   connect(f, &TextField::returnKey, ...);
// A QLineEdit; editingChanged is the user's edit (textEdited), never a
// programmatic setText.

#include <QColor>
#include <QLineEdit>

namespace kova::platform {

class TextField : public QLineEdit {
    Q_OBJECT
public:
    explicit TextField(QWidget *parent = nullptr);

    void setPlaceholder(const QString &text) { setPlaceholderText(text); }
    void setTextColor(const QColor &color);
    // A widget shown inside the field at its left edge (owned by the field).
    void setLeftView(QWidget *view);
    QWidget *leftView() const { return m_leftView; }
    void setSecureTextEntry(bool secure) { setEchoMode(secure ? QLineEdit::Password : QLineEdit::Normal); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void editingChanged(const QString &text);
    void editingDidBegin();
    void editingDidEnd();
    void returnKey();

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QSize measuredByOwnStyle(QSize hint) const;

    QWidget *m_leftView = nullptr;
    QColor m_textColor;
};

} // namespace kova::platform
