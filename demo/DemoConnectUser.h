#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "core/KOVConnectDelegate.h"
#include "demo/DemoScreens.h"

// Plays the person on the hosted connect page: presents the connect screen,
// waits for the page to say it is ready, chooses the bank, types the user
// name and password into the page and submits, then hears the outcome as the
// host's connect delegate.
class DemoConnectUser : public QObject,
                        public kova::KOVConnectDelegate,
                        public std::enable_shared_from_this<DemoConnectUser> {
public:
    using Done = std::function<void(const QString &bankID, std::shared_ptr<kova::KOVBankConnection> connection,
                                    const QString &error)>;

    explicit DemoConnectUser(QObject *parent = nullptr);
    // Made with make_shared: the SDK holds its delegate weakly.
    void link(const QString &bankID, const QString &username, const QString &password, Done done);

    void connectDidSuccessfullyConnectToBankID(const QString &bankID,
                                               std::shared_ptr<kova::KOVBankConnection> connection) override;
    void connectDidFailConnectingToBankID(const QString &bankID, const QString &error) override;
    void connectDidDismiss() override;

private:
    void look();
    void finish(const QString &bankID, std::shared_ptr<kova::KOVBankConnection> connection, const QString &error);

    QTimer m_watch;
    DemoSteady m_steady{1500}; // the engine paints the page a while after it has loaded
    QString m_bankID;
    QString m_script;
    Done m_done;
};
