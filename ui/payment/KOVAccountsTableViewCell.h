#pragma once

#include <QColor>

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include "platform/ui/TableView.h"

namespace kova {

namespace platform {
class ImageView;
class Label;
class StackView;
class View;
} // namespace platform

// One row of the account picker: a card with the bank's logo, the account
// type, an update line, the balance and the shortened number; or, for a
// login whose accounts are still being fetched, a shimmering placeholder.
class KOVAccountsTableViewCell : public platform::TableViewCell {
    Q_OBJECT
public:
    // The corner mask: top-left 1, top-right 2, bottom-left 4, bottom-right 8.
    enum Corner : int { TopLeft = 1, TopRight = 2, BottomLeft = 4, BottomRight = 8, AllCorners = 15 };

    explicit KOVAccountsTableViewCell(QWidget *parent = nullptr);

    const QString &bankName() const { return m_bankName; }
    void setBankName(const QString &bankName);
    const QString &accountType() const { return m_accountType; }
    void setAccountType(const QString &accountType);
    const QString &balance() const { return m_balance; }
    void setBalance(const QString &balance);
    const QString &accountNumber() const { return m_accountNumber; }
    void setAccountNumber(const QString &accountNumber);
    const QString &accountID() const { return m_accountID; }
    void setAccountID(const QString &accountID) { m_accountID = accountID; }
    const QUrl &logoURL() const { return m_logoURL; }
    void setLogoURL(const QUrl &url);
    int roundedCorners() const { return m_roundedCorners; }
    void setRoundedCorners(int corners);
    bool isBalanceLoading() const { return m_isBalanceLoading; }
    void setIsBalanceLoading(bool loading);
    bool isShimmering() const { return m_isShimmering; }
    void setIsShimmering(bool shimmering);
    // Countdown mode: seconds since 1970 of the moment.
    void setTimeLeft(double secondsSince1970);
    void setActivationDate(double secondsSince1970);

    void setSelected(bool selected) override;
    void prepareForReuse() override;

    platform::View *selectedView() const { return m_selectedView; }
    platform::View *baseView() const { return m_baseView; }
    platform::ImageView *logoImageView() const { return m_logo; }
    platform::View *logoBackground() const { return m_logoBackground; }
    platform::Label *updateLabel() const { return m_updateLabel; }
    platform::Label *typeLabel() const { return m_typeLabel; }
    platform::Label *numberLabel() const { return m_numberLabel; }
    platform::Label *balanceLabel() const { return m_balanceLabel; }
    platform::Label *loadingLabel() const { return m_loadingLabel; }
    platform::View *shimmeringView() const { return m_shimmeringView; }
    // The corners the base view is drawn with now (the mask takes effect on
    // a later turn).
    int appliedCorners() const;

    // The number as the row shows it.
    static QString shortenedNumber(const QString &number);
    // The account type's own grey, darker than the update line's.
    static QColor typeColor() { return QColor::fromRgbF(0.338f, 0.363f, 0.404f, 1.0f); }

private:
    void stopCountdown();

    QString m_bankName;
    QString m_accountType;
    QString m_balance;
    QString m_accountNumber;
    QString m_accountID;
    QUrl m_logoURL;
    int m_roundedCorners = 0;
    bool m_isBalanceLoading = false;
    bool m_isShimmering = false;

    platform::View *m_baseView;
    platform::View *m_selectedView;
    platform::View *m_logoBackground;
    platform::ImageView *m_logo;
    platform::Label *m_updateLabel;
    platform::Label *m_typeLabel;
    platform::Label *m_numberLabel;
    platform::Label *m_balanceLabel;
    platform::Label *m_loadingLabel;
    platform::View *m_shimmeringView;
    QList<platform::StackView *> m_stacks;
    QTimer m_countdown;
};

} // namespace kova
