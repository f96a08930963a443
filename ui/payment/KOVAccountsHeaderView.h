#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QString>
#include <memory>

#include "platform/ui/View.h"

namespace kova {

class KOVAccountsHeaderView;
namespace platform {
class ActivityIndicator;
class ImageView;
class Label;
class StackView;
} // namespace platform

class KOVAccountsHeaderViewDelegate {
public:
    virtual ~KOVAccountsHeaderViewDelegate() = default;
    virtual void accountsHeaderViewDidTapUpdateAtSection(KOVAccountsHeaderView &header, int section) = 0;
};

// The head of one section of the account picker: an optional title line,
// the bank's name, Update or a spinner, and for an empty list a card that
// says to try again. It only maps each setting to its views.
class KOVAccountsHeaderView : public platform::View {
    Q_OBJECT
public:
    static inline const QString reuseIdentifier = QStringLiteral("accountsHeaderView");

    explicit KOVAccountsHeaderView(QWidget *parent = nullptr);

    std::shared_ptr<KOVAccountsHeaderViewDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<KOVAccountsHeaderViewDelegate> delegate) { m_delegate = std::move(delegate); }
    const QString &title() const { return m_title; }
    void setTitle(const QString &title);
    const QString &body() const { return m_body; }
    void setBody(const QString &body);
    int section() const { return m_section; }
    void setSection(int section) { m_section = section; }
    bool isRefreshing() const { return m_isRefreshing; }
    void setIsRefreshing(bool refreshing);
    bool showEmptyAccountsView() const { return m_showEmptyAccountsView; }
    void setShowEmptyAccountsView(bool show);
    bool refreshingEnabled() const { return m_refreshingEnabled; }
    void setRefreshingEnabled(bool enabled);
    const QColor &themeColor() const { return m_themeColor; }
    void setThemeColor(const QColor &color);

    void refreshButtonTapped();

    platform::Label *headerLabel() const { return m_headerLabel; }
    platform::Label *bodyLabel() const { return m_bodyLabel; }
    QWidget *separator() const { return m_separator; }
    platform::View *noAccountsView() const { return m_noAccountsView; }
    platform::Label *noAccountsHeaderLabel() const { return m_noAccountsHeaderLabel; }
    platform::Label *noAccountsBodyLabel() const { return m_noAccountsBodyLabel; }
    platform::ImageView *noAccountsImageView() const { return m_noAccountsImage; }
    QAbstractButton *refreshButton() const { return m_refreshButton; }
    platform::ActivityIndicator *activityIndicatorView() const { return m_activityIndicatorView; }

    QSize sizeHint() const override;

private:
    std::weak_ptr<KOVAccountsHeaderViewDelegate> m_delegate;
    QString m_title;
    QString m_body;
    int m_section = 0;
    bool m_isRefreshing = false;
    bool m_showEmptyAccountsView = false;
    bool m_refreshingEnabled = false;
    QColor m_themeColor;

    platform::View *m_baseView;
    platform::Label *m_headerLabel;
    platform::Label *m_bodyLabel;
    QWidget *m_separator;
    platform::StackView *m_stackView;
    platform::View *m_noAccountsView;
    platform::ImageView *m_noAccountsImage;
    platform::Label *m_noAccountsHeaderLabel;
    platform::Label *m_noAccountsBodyLabel;
    QAbstractButton *m_refreshButton;
    platform::ActivityIndicator *m_activityIndicatorView;
};

} // namespace kova
