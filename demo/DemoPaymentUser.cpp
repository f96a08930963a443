#include "demo/DemoPaymentUser.h"

#include "core/connections/KOVBankConnection.h"
#include "platform/ui/Application.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "ui/look/KOVButton.h"
#include "ui/messages/MessageViewController.h"
#include "ui/payment/KOVAccountsViewController.h"
#include "ui/payment/KOVAutoFlowNavigationController.h"
#include "ui/payment/KOVNumPadDisplayViewController.h"
#include "ui/payment/KOVScreensAutoFlow.h"
#include "ui/payment/KOVTransferLoaderViewController.h"

using namespace kova;

DemoPaymentUser::DemoPaymentUser(QObject *parent) : QObject(parent)
{
    m_watch.setInterval(20);
    connect(&m_watch, &QTimer::timeout, this, &DemoPaymentUser::look);
}

void DemoPaymentUser::play(std::shared_ptr<KOVBankConnection> connection, const QString &amount, Reached reached)
{
    m_connection = std::move(connection);
    m_amount = amount;
    m_reached = std::move(reached);
    m_stage = Stage::Picker;
    m_typed = false;
    m_watch.start();
}

void DemoPaymentUser::reach(const QString &screen, Stage next)
{
    m_steady.held(false);
    m_stage = next;
    if (!screen.isEmpty())
        m_reached(screen);
}

void DemoPaymentUser::look()
{
    const auto flow = m_connection ? std::dynamic_pointer_cast<KOVScreensAutoFlow>(m_connection->autoFlow()) : nullptr;
    const auto coordinator = flow ? flow->autoFlowNavigationController() : nullptr;
    const auto top = platform::Application::shared().presentationAnchor();
    // A person acts on a screen once it has settled, not while it slides in.
    const bool settled = top && top->isVisible() && !top->isBeingPresented();
    switch (m_stage) {
    case Stage::Picker: {
        const auto picker = coordinator ? coordinator->accountsViewController() : nullptr;
        if (!m_steady.held(settled && picker && picker->isVisible() && picker->tableView()
                           && picker->refreshingUserIDs().isEmpty() && picker->tableView()->numberOfRows(0) > 0))
            return;
        picker->tableView()->tapRow({0, 0});
        reach(QStringLiteral("picker"), Stage::Pad);
        picker->confirmButton()->click();
        return;
    }
    case Stage::Pad: {
        const auto pad = coordinator ? coordinator->numPadDisplayViewController() : nullptr;
        if (!m_steady.held(settled && pad && pad->isVisible()))
            return;
        if (!m_typed) {
            typeKeyByKey(pad->amountLabel(), m_amount);
            m_typed = true;
        }
        if (!pad->confirmButton()->isEnabled())
            return;
        reach(QStringLiteral("pad"), Stage::Loader);
        pad->confirmButton()->click();
        return;
    }
    case Stage::Loader: {
        const auto loader = coordinator ? coordinator->alert() : nullptr;
        if (m_loaderSteady.held(loader && loader->isVisible() && !loader->isBeingPresented())) {
            reach(QStringLiteral("loader"), Stage::Result);
        } else if (std::dynamic_pointer_cast<MessageViewController>(top)) {
            // The answer came before the loader had settled.
            reach(QString(), Stage::Result);
        }
        return;
    }
    case Stage::Result: {
        const auto result = std::dynamic_pointer_cast<MessageViewController>(top);
        if (!m_steady.held(settled && result != nullptr))
            return;
        m_watch.stop();
        reach(QStringLiteral("success"), Stage::Done);
        result->button()->click();
        return;
    }
    case Stage::Done:
        m_watch.stop();
        return;
    }
}
