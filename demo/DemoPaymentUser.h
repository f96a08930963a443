#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "demo/DemoScreens.h"

namespace kova {
class KOVBankConnection;
} // namespace kova

// Plays the person in the payment flow the SDK opens for a transfer with no
// account and no amount: picks the first account on the picker, continues,
// types the amount on the pad, sends, watches the loader and closes the
// success screen. Each screen it reaches is reported by name.
class DemoPaymentUser : public QObject {
public:
    using Reached = std::function<void(const QString &screen)>;

    explicit DemoPaymentUser(QObject *parent = nullptr);
    void play(std::shared_ptr<kova::KOVBankConnection> connection, const QString &amount, Reached reached);
    void stop() { m_watch.stop(); }

private:
    enum class Stage { Picker, Pad, Loader, Result, Done };
    void look();
    // The person has seen the screen (none: passed it unseen) and moves on.
    void reach(const QString &screen, Stage next);

    QTimer m_watch;
    Stage m_stage = Stage::Done;
    std::shared_ptr<kova::KOVBankConnection> m_connection;
    QString m_amount;
    DemoSteady m_steady{700};
    DemoSteady m_loaderSteady{0}; // shown only while the bank answers
    bool m_typed = false;
    Reached m_reached;
};
