#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <memory>

namespace kova {

class KOVBankConnection;
class KOVConnectDelegate;

// The connect entry: shows the hosted connect page over the host's top
// screen. The screens provider makes it; without one no connect object can
// be made.
class KOVConnect {
public:
    virtual ~KOVConnect() = default;

    // Null (and logged) when no connect screen is available in this build.
    static std::shared_ptr<KOVConnect> initWithClientUserID(const QString &clientUserID);

    const std::weak_ptr<KOVConnectDelegate> &delegate() const { return m_delegate; }
    // Also hands the delegate on to a screen already shown.
    virtual void setDelegate(std::weak_ptr<KOVConnectDelegate> delegate) { m_delegate = std::move(delegate); }

    const QString &clientUserID() const { return m_clientUserID; }
    void setClientUserID(const QString &clientUserID) { m_clientUserID = clientUserID; }
    // The valid stored connections of this client user, freshly built.
    QList<std::shared_ptr<KOVBankConnection>> getConnections() const;

    virtual void presentWithBankID(const QString &bankID) = 0;
    virtual void dismissWithCompletion(std::function<void()> completion) = 0;
    // Whether its screen is up or on its way up (not once it is leaving).
    virtual bool isShowing() const { return false; }

private:
    std::weak_ptr<KOVConnectDelegate> m_delegate;
    QString m_clientUserID;
};

} // namespace kova
