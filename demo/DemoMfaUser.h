#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

#include "demo/DemoScreens.h"

// Plays the person at the bank's prompt sheet: once armed, it waits for the
// sheet to come up in the demo's window, types the code key by key into its
// first field and taps Confirm, as someone holding the phone would.
class DemoMfaUser : public QObject {
public:
    using Answered = std::function<void(const QString &question)>;

    explicit DemoMfaUser(QObject *parent = nullptr);
    void arm(const QString &code, Answered answered);

private:
    void look();

    QTimer m_watch;
    DemoSteady m_steady{700};
    QString m_code;
    Answered m_answered;
};
