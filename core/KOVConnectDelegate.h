#pragma once

#include <QString>
#include <memory>

namespace kova {

class KOVBankConnection;

// What the host hears from the connect screen. Every method has a default
// that does nothing; "responds to" is whether the host overrode it, which the
// SDK asks before each call.
class KOVConnectDelegate {
public:
    virtual ~KOVConnectDelegate() = default;

    virtual void connectDidSuccessfullyConnectToBankID(const QString &bankID,
                                                       std::shared_ptr<KOVBankConnection> connection)
    {
        (void)bankID;
        (void)connection;
    }
    virtual void connectDidFailConnectingToBankID(const QString &bankID, const QString &error)
    {
        (void)bankID;
        (void)error;
    }
    virtual void connectDidDismiss() {}
    virtual void connectDidRequestBank(const QString &bank, const QString &iban)
    {
        (void)bank;
        (void)iban;
    }

    enum class Method { DidSuccessfullyConnect, DidFailConnecting, DidDismiss, DidRequestBank };
    virtual bool respondsTo(Method) const { return true; }
};

} // namespace kova
